// GLDrawString: screen-space text in the current context with the built-in
// 8x16 font, independent of the 2D layer. The font lives in one mipmapped
// texture of the shared context, made on first use and kept: the shared
// context never goes away, so the texture serves every later display.
#include <GL/gl.h>

#include <cstdint>

#include "corvex/glgraphics/glgraphics.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/stream/embed.h"

namespace cvx {

namespace {

constexpr int kGlyphWidth = 8;
constexpr int kGlyphHeight = 16;
constexpr int kFirstCode = 32;
constexpr int kCodeCount = 96;
constexpr int kFontTableSize = kGlyphHeight * kCodeCount;  // 1536
constexpr double kCellWidth = 0.0078125;                   // 8 of the texture's 1024 columns

GLuint fontTexture = 0;

// The font as a 1024x16 RGBA pixmap: set bits opaque white, the rest (and the
// columns past 767) transparent black.
Ref<TPixmap> FontPixmap() {
  Ref<TPixmap> pixmap = PixmapCreate(1024, kGlyphHeight, PIXFMT_RGBA8888, 4);
  for (int y = 0; y < kGlyphHeight; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(pixmap->PixelAddress(0, y));
    for (int x = 0; x < 1024; ++x) row[x] = 0;
  }
  EmbeddedBlob* blob = EmbedLookup("gldrawtextfont.bin"_s);
  if (!blob) return pixmap;
  const auto* table = static_cast<const std::uint8_t*>(blob->Address());
  int size = blob->Size() < kFontTableSize ? blob->Size() : kFontTableSize;
  for (int r = 0; r < kGlyphHeight; ++r) {
    auto* row = reinterpret_cast<std::uint32_t*>(pixmap->PixelAddress(0, r));
    for (int c = 0; c < kCodeCount; ++c) {
      int index = r * kCodeCount + c;
      if (index >= size) continue;
      std::uint8_t bits = table[index];
      for (int k = 0; k < kGlyphWidth; ++k)
        if (bits & (1 << k)) row[c * kGlyphWidth + k] = 0xFFFFFFFFu;
    }
  }
  return pixmap;
}

int NextPowerOfTwo(int n) {
  int p = 1;
  while (p < n && p < (1 << 30)) p <<= 1;
  return p;
}

void UploadLevel(int level, TPixmap* pixmap) {
  glPixelStorei(GL_UNPACK_ROW_LENGTH, pixmap->pitch / 4);
  glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, pixmap->width, pixmap->height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               pixmap->pixels);
}

// Runs in the shared context (ToggleSharedContext around it).
GLuint MakeFontTexture() {
  Ref<TPixmap> pixmap = FontPixmap();
  GLint previousTexture = 0, previousRowLength = 0, previousAlignment = 4;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousTexture);
  glGetIntegerv(GL_UNPACK_ROW_LENGTH, &previousRowLength);
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &previousAlignment);
  GLuint texture = 0;
  try {
    int tw = 0, th = 0;
    FitTextureSize(pixmap->width, pixmap->height, tw, th);
    if (tw != pixmap->width || th != pixmap->height) pixmap = PixmapResize(pixmap, tw, th);
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    UploadLevel(0, pixmap.Get());
    for (int level = 1, w = tw, h = th; w > 1 || h > 1; ++level) {
      if (w > 1) w /= 2;
      if (h > 1) h /= 2;
      Ref<TPixmap> scaled = PixmapResize(pixmap, w, h);
      UploadLevel(level, scaled.Get());
    }
  } catch (...) {
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previousTexture));
    glPixelStorei(GL_UNPACK_ROW_LENGTH, previousRowLength);
    glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
    if (texture) glDeleteTextures(1, &texture);
    throw;
  }
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previousTexture));
  glPixelStorei(GL_UNPACK_ROW_LENGTH, previousRowLength);
  glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
  return texture;
}

void EnsureFontTexture() {
  if (fontTexture) return;
  Ref<TGLDisplayDriver> driver = GLDisplayDriver();
  driver->ToggleSharedContext();
  try {
    fontTexture = MakeFontTexture();
  } catch (...) {
    driver->ToggleSharedContext();
    throw;
  }
  driver->ToggleSharedContext();
}

}  // namespace

// ---- Texture size ---------------------------------------------------------------
// The one rule for every texture the GL drivers make.

void FitTextureSize(int width, int height, int& tw, int& th) {
  tw = NextPowerOfTwo(width);
  th = NextPowerOfTwo(height);
  for (;;) {
    glTexImage2D(GL_PROXY_TEXTURE_2D, 0, 4, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    GLint fitted = 0;
    glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &fitted);
    if (fitted != 0) return;
    if (tw == 1 && th == 1) throw TRuntimeError("Unable to calculate tex size");
    if (tw > 1) tw /= 2;
    if (th > 1) th /= 2;
  }
}

void GLDrawString(const String& text, int x, int y) {
  if (!GLCurrentContext()) return;  // no context to draw into
  GLFlushQueuedDrawing();            // queued 2D drawing lies below the text
  EnsureFontTexture();

  glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_TRANSFORM_BIT | GL_VIEWPORT_BIT);
  GLint viewport[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, viewport);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, viewport[2], viewport[3], 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glDisable(GL_CULL_FACE);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, fontTexture);

  glBegin(GL_QUADS);
  for (std::int32_t i = 0; i < text.Length(); ++i, x += kGlyphWidth) {
    int code = text.Units()[i];
    if (code < kFirstCode || code >= kFirstCode + kCodeCount) continue;
    double u0 = (code - kFirstCode) * kCellWidth, u1 = u0 + kCellWidth;
    double x0 = x, x1 = x + kGlyphWidth, y0 = y, y1 = y + kGlyphHeight;
    glTexCoord2d(u0, 0);
    glVertex2d(x0, y0);
    glTexCoord2d(u1, 0);
    glVertex2d(x1, y0);
    glTexCoord2d(u1, 1);
    glVertex2d(x1, y1);
    glTexCoord2d(u0, 1);
    glVertex2d(x0, y1);
  }
  glEnd();

  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();
}

}  // namespace cvx
