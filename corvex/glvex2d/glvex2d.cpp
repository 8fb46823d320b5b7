// The OpenGL 2D driver.
#include "corvex/glvex2d/glvex2d.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "corvex/glgraphics/glgraphics.h"
#include "corvex/graphics/graphics.h"
#include "corvex/pixmap/pixmap.h"

namespace cvx {

namespace {

// GL counts rows from the bottom: the row of a rectangle's bottom edge, worked
// out in 64 bits (a top near either end of the int range) and kept within the
// ints GL takes; a rectangle that far off the target shows nothing either way.
GLint BottomRow(std::int64_t targetHeight, std::int64_t top, std::int64_t height) {
  return static_cast<GLint>(std::clamp<std::int64_t>(targetHeight - top - height, std::numeric_limits<GLint>::min(),
                                                     std::numeric_limits<GLint>::max()));
}

Ref<TGLVex2DDriver> gDriver;

// More segments than this add nothing visible and would stall the frame for
// absurdly large (or corrupt) oval sizes.
constexpr int kMaxOvalSegments = 1 << 16;

int ClampByte(int value) { return value < 0 ? 0 : (value > 255 ? 255 : value); }

// Makes the shared context current for the lifetime of the object and
// switches back also when texture creation raises.
class SharedContextScope {
 public:
  SharedContextScope() { GLDisplayDriver()->ToggleSharedContext(); }
  ~SharedContextScope() { GLDisplayDriver()->ToggleSharedContext(); }
  SharedContextScope(const SharedContextScope&) = delete;
  SharedContextScope& operator=(const SharedContextScope&) = delete;
};

// The pixels of a tw x th texture for a pixmap of w x h (after resampling):
// the image at (0, 0) with a one-texel border of repeated last column and row,
// so that filtering at the image's edges does not blend in the transparent
// margin; the rest stays transparent black.
Ref<TPixmap> PaddedPixmap(TPixmap* image, int tw, int th) {
  const int w = image->width, h = image->height;
  Ref<TPixmap> texture = PixmapCreate(tw, th, PIXFMT_RGBA8888, 4);
  auto clear = [&texture, tw](int x, int y) {
    if (x < tw) std::fill_n(texture->PixelAddress(x, y), static_cast<std::size_t>(tw - x) * 4, 0);
  };
  if (w <= 0 || h <= 0) {
    for (int y = 0; y < th; ++y) clear(0, y);
    return texture;
  }
  // Only what the image and its repeated last column and row leave free is
  // cleared: writing a large texture twice costs more than its decoding.
  for (int y = 0; y < th; ++y) clear(y <= h ? w + 1 : 0, y);
  texture->PasteFrom(image, 0, 0);
  if (w < tw) texture->PasteFrom(image->SubWindow(w - 1, 0, 1, h).Get(), w, 0);
  if (h < th) texture->PasteFrom(image->SubWindow(0, h - 1, w, 1).Get(), 0, h);
  if (w < tw && h < th) texture->PasteFrom(image->SubWindow(w - 1, h - 1, 1, 1).Get(), w, h);
  return texture;
}

// Makes one level of the bound texture from an RGBA pixmap of that level's size.
void UploadLevel(TPixmap* pixmap, int level) {
  glPixelStorei(GL_UNPACK_ROW_LENGTH, pixmap->pitch / PixelFormatBytes[pixmap->format]);
  glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, pixmap->width, pixmap->height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               pixmap->pixels);
}

}  // namespace

// ---- TGLTextureFrame --------------------------------------------------------------

TGLTextureFrame::~TGLTextureFrame() {
  // A texture of an older display is left alone: the display it belonged to
  // is gone and its name may already serve another texture.
  if (texture != 0 && sequence == GraphicsSequence()) {
    // Queued quads of this texture are drawn while it still exists.
    TGLVex2DDriver* d = gDriver.Get();
    if (d && !d->batch.Empty() && d->batch.Texture() == texture) d->Flush();
    const GLuint name = static_cast<GLuint>(texture);
    glDeleteTextures(1, &name);
  }
}

void TGLTextureFrame::Render(float x0, float y0, float x1, float y1, float tx, float ty) {
  TGLVex2DDriver* d = gDriver.Get();
  // The products are worked out before the queue hands out room and the
  // colour is read once: the vertex stores could alias the driver's fields,
  // which would otherwise be reloaded after every store. Each corner is
  // still summed as x * ix + y * iy + tx, so that positions round as before.
  const float ix = d->ix, iy = d->iy, jx = d->jx, jy = d->jy;
  const float x0i = x0 * ix, x1i = x1 * ix, y0i = y0 * iy, y1i = y1 * iy;
  const float x0j = x0 * jx, x1j = x1 * jx, y0j = y0 * jy, y1j = y1 * jy;
  const GLBatchColor rgba = d->PackedColor();
  const float u0 = s0, v0 = t0, u1 = s1, v1 = t1;
  GLBatchVertex* v = d->BeginPrimitive(GL_QUADS, texture, 4);
  SetBatchVertex(v, x0i + y0i + tx, x0j + y0j + ty, u0, v0, rgba);
  SetBatchVertex(v + 1, x1i + y0i + tx, x1j + y0j + ty, u1, v0, rgba);
  SetBatchVertex(v + 2, x1i + y1i + tx, x1j + y1j + ty, u1, v1, rgba);
  SetBatchVertex(v + 3, x0i + y1i + tx, x0j + y1j + ty, u0, v1, rgba);
  d->EndPrimitive();
}

// ---- TGLVex2DDriver: display driver slots ---------------------------------------------

String TGLVex2DDriver::ToString() { return "OpenGL"_s; }

GraphicsModeArray TGLVex2DDriver::ListModes() { return GLDisplayDriver()->ListModes(); }

Ref<TGraphics> TGLVex2DDriver::BindWindow(void* windowHandle, int flags) {
  Ref<TGraphics> g = GLDisplayDriver()->BindWindow(windowHandle, flags);
  if (!g) return nullptr;
  return TVex2DGraphics::Create(g.Get(), this);
}

Ref<TGraphics> TGLVex2DDriver::NewGraphics(int width, int height, int depth, int hertz, int flags) {
  Ref<TGraphics> g = GLDisplayDriver()->NewGraphics(width, height, depth, hertz, flags);
  if (!g) return nullptr;
  return TVex2DGraphics::Create(g.Get(), this);
}

void TGLVex2DDriver::MakeCurrent(TGraphics* graphics) {
  // What is queued belongs to the context that is current now.
  FlushForOutside();
  auto* g = dynamic_cast<TVex2DGraphics*>(graphics);
  if (!g) {
    GLDisplayDriver()->MakeCurrent(nullptr);
    return;
  }
  GLDisplayDriver()->MakeCurrent(g->graphics.Get());
  arraysEnabled = 0;  // client state belongs to each context
  lastBlend = 0;
  boundTexture = 0;
  texturing = 0;
  glDisable(GL_TEXTURE_2D);
  const int w = CurrentGraphicsWidth(), h = CurrentGraphicsHeight();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, w, h, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glViewport(0, 0, w, h);
  ActivateVex2DGraphics(g);
  ApplyViewport(g->viewportX, g->viewportY, g->viewportWidth, g->viewportHeight);
  ApplyTransform(g->ix, g->iy, g->jx, g->jy);
  ApplyColor(g->colorRed, g->colorGreen, g->colorBlue);
  ApplyAlpha(g->alpha);
}

void TGLVex2DDriver::Present(int sync) {
  FlushForOutside();
  GLDisplayDriver()->Present(sync);
}

void TGLVex2DDriver::FinishFrame() {
  FlushForOutside();
  GLDisplayDriver()->FinishFrame();
}

bool TGLVex2DDriver::CanWaitForRetrace() { return GLDisplayDriver()->CanWaitForRetrace(); }

// ---- TGLVex2DDriver: 2D slots -------------------------------------------------------

Ref<TImageFrame> TGLVex2DDriver::CreateFrame(TPixmap* pixmap, int flags) {
  if (!pixmap) ThrowNullObjectError();
  // Queued primitives go to the current context before the shared one takes over.
  FlushForOutside();
  SharedContextScope shared;
  int tw, th;
  FitTextureSize(pixmap->width, pixmap->height, tw, th);
  const int w = std::min(pixmap->width, tw), h = std::min(pixmap->height, th);
  Ref<TPixmap> source(pixmap);
  if (w < pixmap->width || h < pixmap->height) source = PixmapResize(pixmap, w, h);
  if (w < tw || h < th) {
    source = PaddedPixmap(source.Get(), tw, th);
  } else if (source->format != PIXFMT_RGBA8888) {
    source = PixmapConvert(source.Get(), PIXFMT_RGBA8888);
  }

  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, (flags & ImageFiltered) ? GL_LINEAR : GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                  (flags & ImageMipmapped) ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST);
  const bool mipmapped = (flags & ImageMipmapped) != 0;
  // Each level is made from its pixels in one call: making the storage empty
  // first has the GL clear every byte that the upload then overwrites.
  for (int level = 0;; ++level) {
    UploadLevel(source.Get(), level);
    if (!mipmapped) break;
    const int pw = source->width, ph = source->height;
    if (pw <= 1 && ph <= 1) break;
    source = PixmapResize(source.Get(), pw >= 2 ? pw / 2 : pw, ph >= 2 ? ph / 2 : ph);
  }
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);

  Ref<TGLTextureFrame> frame(new TGLTextureFrame());
  frame->texture = static_cast<int>(name);
  frame->s0 = frame->t0 = 0;
  frame->s1 = static_cast<float>(w) / static_cast<float>(tw);
  frame->t1 = static_cast<float>(h) / static_cast<float>(th);
  frame->sequence = GraphicsSequence();
  return frame;
}

void TGLVex2DDriver::ApplyBlend(int mode) {
  if (mode == lastBlend) return;
  Flush();
  lastBlend = mode;
  switch (mode) {
    case BlendMasked:
      glDisable(GL_BLEND);
      glEnable(GL_ALPHA_TEST);
      glAlphaFunc(GL_GEQUAL, 0.5f);
      break;
    case BlendSolid:
      glDisable(GL_BLEND);
      glDisable(GL_ALPHA_TEST);
      break;
    case BlendAlpha:
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      glDisable(GL_ALPHA_TEST);
      break;
    case BlendAdditive:
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE);
      glDisable(GL_ALPHA_TEST);
      break;
    case BlendMultiply:
      glEnable(GL_BLEND);
      glBlendFunc(GL_DST_COLOR, GL_ZERO);
      glDisable(GL_ALPHA_TEST);
      break;
    default:
      glDisable(GL_BLEND);
      glDisable(GL_ALPHA_TEST);
      break;
  }
}

void TGLVex2DDriver::ApplyAlpha(float alpha) {
  if (alpha > 1) alpha = 1;
  if (!(alpha >= 0)) alpha = 0;  // negative or not a number
  color[3] = static_cast<unsigned char>(static_cast<int>(alpha * 255));
  SendColor();
}

void TGLVex2DDriver::ApplyColor(int red, int green, int blue) {
  color[0] = static_cast<unsigned char>(ClampByte(red));
  color[1] = static_cast<unsigned char>(ClampByte(green));
  color[2] = static_cast<unsigned char>(ClampByte(blue));
  SendColor();
}

void TGLVex2DDriver::ApplyClearColor(int red, int green, int blue) {
  glClearColor(static_cast<float>(ClampByte(red)) / 255.0f, static_cast<float>(ClampByte(green)) / 255.0f,
               static_cast<float>(ClampByte(blue)) / 255.0f, 1.0f);
}

void TGLVex2DDriver::ApplyViewport(int x, int y, int width, int height) {
  Flush();
  const int gw = CurrentGraphicsWidth(), gh = CurrentGraphicsHeight();
  if (x == 0 && y == 0 && width == gw && height == gh) {
    glDisable(GL_SCISSOR_TEST);
    return;
  }
  glEnable(GL_SCISSOR_TEST);
  // GL counts rows from the bottom; a negative size would be a GL error.
  glScissor(x, BottomRow(gh, y, height), std::max(width, 0), std::max(height, 0));
}

void TGLVex2DDriver::ApplyTransform(float newIx, float newIy, float newJx, float newJy) {
  ix = newIx;
  iy = newIy;
  jx = newJx;
  jy = newJy;
}

void TGLVex2DDriver::ApplyLineWidth(float width) {
  Flush();
  // The GL refuses a width that is not positive (or not a number) with an
  // error and keeps the width before it; such lines are drawn as thin as any.
  glLineWidth(width > 0 ? width : 1.0f);
}

void TGLVex2DDriver::ClearTarget() {
  Flush();
  glClear(GL_COLOR_BUFFER_BIT);
}

void TGLVex2DDriver::UseTexture(int name) {
  if (name != boundTexture) {
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(name));
    boundTexture = name;
  }
  if (!texturing) {
    glEnable(GL_TEXTURE_2D);
    texturing = 1;
  }
}

void TGLVex2DDriver::DisableTexturing() {
  if (texturing) {
    glDisable(GL_TEXTURE_2D);
    texturing = 0;
  }
}

void TGLVex2DDriver::SendColor() {
  // Queued vertices carry their colour; the GL's current colour is only
  // needed once something draws without the queue.
  if (batching) {
    colorPending = 1;
  } else {
    glColor4ubv(color);
    colorPending = 0;
  }
}

void TGLVex2DDriver::FlushQueued() {
  const int texture = batch.Texture();
  if (texture != 0) {
    UseTexture(texture);
  } else {
    DisableTexturing();
  }
  if (!arraysEnabled) {
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    arraysEnabled = 1;
  }
  batch.Draw();
  // Drawing with a colour array leaves the current colour undefined.
  colorPending = 1;
}

void TGLVex2DDriver::FlushForOutside() {
  Flush();
  if (arraysEnabled) {
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    arraysEnabled = 0;
  }
  if (colorPending) {
    glColor4ubv(color);
    colorPending = 0;
  }
}

GLBatchVertex* TGLVex2DDriver::BeginImmediate(GLenum mode, int texture, int n) {
  if (scratch_.size() < static_cast<std::size_t>(n)) scratch_.resize(static_cast<std::size_t>(n));
  scratchMode_ = mode;
  scratchTexture_ = texture;
  scratchCount_ = n;
  return scratch_.data();
}

void TGLVex2DDriver::EndImmediate() {
  const GLBatchVertex* v = scratch_.data();
  if (scratchTexture_ != 0) {
    UseTexture(scratchTexture_);
    glBegin(scratchMode_);
    for (int k = 0; k < scratchCount_; ++k) {
      glTexCoord2f(v[k].s, v[k].t);
      glVertex2f(v[k].x, v[k].y);
    }
  } else {
    DisableTexturing();
    glBegin(scratchMode_);
    for (int k = 0; k < scratchCount_; ++k) glVertex2f(v[k].x, v[k].y);
  }
  glEnd();
}

void TGLVex2DDriver::RenderPoint(float x, float y) {
  GLBatchVertex* v = BeginPrimitive(GL_POINTS, 0, 1);
  SetVertex(v, x + 0.5f, y + 0.5f);
  EndPrimitive();
}

void TGLVex2DDriver::RenderLine(float x0, float y0, float x1, float y1, float tx, float ty) {
  GLBatchVertex* v = BeginPrimitive(GL_LINES, 0, 2);
  SetVertex(v, x0 * ix + y0 * iy + tx + 0.5f, x0 * jx + y0 * jy + ty + 0.5f);
  SetVertex(v + 1, x1 * ix + y1 * iy + tx + 0.5f, x1 * jx + y1 * jy + ty + 0.5f);
  EndPrimitive();
}

void TGLVex2DDriver::RenderRect(float x0, float y0, float x1, float y1, float tx, float ty) {
  GLBatchVertex* v = BeginPrimitive(GL_QUADS, 0, 4);
  SetVertex(v, x0 * ix + y0 * iy + tx, x0 * jx + y0 * jy + ty);
  SetVertex(v + 1, x1 * ix + y0 * iy + tx, x1 * jx + y0 * jy + ty);
  SetVertex(v + 2, x1 * ix + y1 * iy + tx, x1 * jx + y1 * jy + ty);
  SetVertex(v + 3, x0 * ix + y1 * iy + tx, x0 * jx + y1 * jy + ty);
  EndPrimitive();
}

void TGLVex2DDriver::RenderOval(float x0, float y0, float x1, float y1, float tx, float ty) {
  const float xr = (x1 - x0) * 0.5f, yr = (y1 - y0) * 0.5f;
  const float cx = x0 + xr, cy = y0 + yr;
  const float extent = std::fabs(xr) + std::fabs(yr);
  if (!std::isfinite(extent) || !std::isfinite(cx) || !std::isfinite(cy)) return;
  int n = extent >= static_cast<float>(kMaxOvalSegments) ? kMaxOvalSegments : static_cast<int>(extent);
  if (n < 12) n = 12;
  n &= ~3;
  GLBatchVertex* v = BeginPrimitive(GL_POLYGON, 0, n);
  for (int i = 0; i < n; ++i) {
    const double theta = (static_cast<double>(i) * 360.0 / n) * (M_PI / 180.0);
    const float px = cx + static_cast<float>(std::cos(theta)) * xr;
    const float py = cy - static_cast<float>(std::sin(theta)) * yr;
    SetVertex(v + i, px * ix + py * iy + tx, px * jx + py * jy + ty);
  }
  EndPrimitive();
}

void TGLVex2DDriver::RenderPoly(TArray<float>* xy, float handleX, float handleY, float tx, float ty) {
  if (!xy) return;
  const int count = xy->Length();
  if (count < 6 || (count & 1)) return;
  const float* p = xy->Data();
  GLBatchVertex* v = BeginPrimitive(GL_POLYGON, 0, count / 2);
  for (int k = 0; k < count; k += 2) {
    const float px = p[k] + handleX, py = p[k + 1] + handleY;
    SetVertex(v + k / 2, px * ix + py * iy + tx, px * jx + py * jy + ty);
  }
  EndPrimitive();
}

void TGLVex2DDriver::RenderPixmap(TPixmap* pixmap, int x, int y) {
  if (!pixmap) ThrowNullObjectError();
  Flush();
  const int last = lastBlend;
  DisableTexturing();
  ApplyBlend(BlendSolid);
  Ref<TPixmap> flipped = PixmapFlipY(pixmap);
  if (flipped->format != PIXFMT_RGBA8888) flipped = PixmapConvert(flipped.Get(), PIXFMT_RGBA8888);
  // (0, 0) is the top-left corner under the projection; moving by
  // (x, -y - height) window pixels puts the raster position on the target's
  // bottom-left corner, from where glDrawPixels fills rows upward.
  glRasterPos2i(0, 0);
  glBitmap(0, 0, 0, 0, static_cast<float>(x), static_cast<float>(-static_cast<std::int64_t>(y) - flipped->height),
           nullptr);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, flipped->pitch / 4);
  glDrawPixels(flipped->width, flipped->height, GL_RGBA, GL_UNSIGNED_BYTE, flipped->pixels);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  ApplyBlend(last);
}

Ref<TPixmap> TGLVex2DDriver::CapturePixmap(int x, int y, int width, int height) {
  Flush();
  const int last = lastBlend;
  ApplyBlend(BlendSolid);
  width = std::max(width, 0);
  height = std::max(height, 0);
  Ref<TPixmap> pixmap = PixmapCreate(width, height, PIXFMT_RGBA8888, 4);
  if (width > 0 && height > 0) {
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(x, BottomRow(CurrentGraphicsHeight(), y, height), width, height, GL_RGBA, GL_UNSIGNED_BYTE,
                 pixmap->pixels);
  }
  Ref<TPixmap> flipped = PixmapFlipY(pixmap.Get());
  ApplyBlend(last);
  return flipped;
}

// ---- Module ---------------------------------------------------------------------------

TGLVex2DDriver* GLVex2DDriver() {
  if (!gDriver) {
    gDriver = new TGLVex2DDriver();
    const char* setting = std::getenv("CORVEX_GL_BATCH");
    if (setting && std::strcmp(setting, "0") == 0) gDriver->batching = 0;
  }
  return gDriver.Get();
}

void SetGLBatching(int on) {
  TGLVex2DDriver* d = GLVex2DDriver();
  d->FlushForOutside();
  d->batching = on != 0 ? 1 : 0;
}

int GLBatching() { return GLVex2DDriver()->batching; }

void FlushGLVex2D() {
  if (gDriver) gDriver->FlushForOutside();
}

void InitGLVex2D() {
  static bool done = false;
  if (done) return;
  done = true;
  InitVex2D();
  InitGLGraphics();
  TGLVex2DDriver* driver = GLVex2DDriver();
  driver->color[0] = driver->color[1] = driver->color[2] = driver->color[3] = 255;
  // The context layer and its text routine draw what is queued before they touch GL.
  SetGLQueuedDrawingFlush(&FlushGLVex2D);
  SelectGraphicsDriver(driver, FlagBackBuffer);
}

}  // namespace cvx
