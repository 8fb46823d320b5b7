// Render state, the 2D matrix and the drawing operations of the 2D layer.
#include "corvex/vex2d/vex2d.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "corvex/graphics/graphics.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/stream/embed.h"
#include "corvex/stream/url.h"
#include "corvex/vex2d/collision.h"
#include "corvex/vex2d/glyphfont.h"
#include "corvex/vex2d/image.h"

namespace cvx {

namespace embedded {
extern const unsigned char vex2d_corvexfont[];
extern const std::size_t vex2d_corvexfont_size;
}  // namespace embedded

void InitImages();  // image.cpp

namespace {

Ref<TVex2DGraphics> gCurrent;
Ref<TVex2DDriver> gDriver;
Ref<TGlyphFont> gDefaultFont;
int gMaskRed = 0, gMaskGreen = 0, gMaskBlue = 0;
int gAutoCentre = 0;
int gDefaultImageFlags = 0;

// The setters work on one object so that ReapplyState can resend the state of
// the object it is called on; the public setters pass the current object.
// Particles change scale for every sprite while the rotation mostly stays,
// so the sine and cosine of the last angle are kept.
float gSinCosAngle = 0, gSin = 0, gCos = 1;

void UpdateTransformOf(TVex2DGraphics* g) {
  if (g->rotation != gSinCosAngle) {
    const double radians = g->rotation * (M_PI / 180.0);
    gSin = static_cast<float>(std::sin(radians));
    gCos = static_cast<float>(std::cos(radians));
    gSinCosAngle = g->rotation;
  }
  const float s = gSin, c = gCos;
  g->ix = c * g->scaleX;
  g->iy = -s * g->scaleY;
  g->jx = s * g->scaleX;
  g->jy = c * g->scaleY;
  g->driver->ApplyTransform(g->ix, g->iy, g->jx, g->jy);
  SetCollisionMatrix(g->ix, g->iy, g->jx, g->jy);
}

void SetColorOf(TVex2DGraphics* g, int red, int green, int blue) {
  g->colorRed = red;
  g->colorGreen = green;
  g->colorBlue = blue;
  g->driver->ApplyColor(red, green, blue);
}
void SetAlphaOf(TVex2DGraphics* g, float alpha) {
  g->alpha = alpha;
  g->driver->ApplyAlpha(alpha);
}
void SetClearColorOf(TVex2DGraphics* g, int red, int green, int blue) {
  g->clearRed = red;
  g->clearGreen = green;
  g->clearBlue = blue;
  g->driver->ApplyClearColor(red, green, blue);
}
void SetBlendOf(TVex2DGraphics* g, int mode) {
  g->blend = mode;
  g->driver->ApplyBlend(mode);
}
void SetLineWidthOf(TVex2DGraphics* g, float width) {
  g->lineWidth = width;
  g->driver->ApplyLineWidth(width);
}
void SetViewportOf(TVex2DGraphics* g, int x, int y, int width, int height) {
  g->viewportX = x;
  g->viewportY = y;
  g->viewportWidth = width;
  g->viewportHeight = height;
  g->driver->ApplyViewport(x, y, width, height);
}
void SetFontOf(TVex2DGraphics* g, TGlyphFont* font) { g->font = font ? Ref<TGlyphFont>(font) : gDefaultFont; }

TVex2DGraphics* Current() { return gCurrent.operator->(); }

// Borrowed arguments get the same null check as a Ref would give them.
template <class T>
T* Need(T* object) {
  if (!object) ThrowNullObjectError();
  return object;
}
TVex2DDriver* Driver() { return gDriver.operator->(); }

}  // namespace

// ---- TVex2DGraphics -----------------------------------------------------------

Ref<TDisplayDriver> TVex2DGraphics::OwnerDriver() { return driver; }

void TVex2DGraphics::QuerySettings(int& width, int& height, int& depth, int& hertz, int& flags) {
  if (!graphics) {
    width = height = depth = hertz = flags = 0;
    return;
  }
  graphics->QuerySettings(width, height, depth, hertz, flags);
}

void TVex2DGraphics::ReleaseGraphics() {
  if (graphics) graphics->ReleaseGraphics();
  graphics = nullptr;
  driver = nullptr;
}

void TVex2DGraphics::ReapplyState() {
  SetColorOf(this, colorRed, colorGreen, colorBlue);
  SetAlphaOf(this, alpha);
  SetClearColorOf(this, clearRed, clearGreen, clearBlue);
  SetLineWidthOf(this, lineWidth);
  UpdateTransformOf(this);  // rotation
  UpdateTransformOf(this);  // scale
  SetViewportOf(this, viewportX, viewportY, viewportWidth, viewportHeight);
  // Origin, handle and font have no driver call; they are already stored.
  SetFontOf(this, font.Get());
  SetBlendOf(this, blend);
}

Ref<TVex2DGraphics> TVex2DGraphics::Create(TGraphics* graphics, TVex2DDriver* driver) {
  Ref<TVex2DGraphics> g(new TVex2DGraphics());
  g->graphics = graphics;
  g->driver = driver;
  g->validated = 0;
  return g;
}

// ---- Module ---------------------------------------------------------------------

void InitVex2D() {
  static bool done = false;
  if (done) return;
  done = true;
  InitGraphics();  // brings in events, the system driver and polled input
  InitStream();
  InitEmbed();
  InitPixmap();
  EmbedRegister("corvexfont.bin"_s, embedded::vex2d_corvexfont,
                static_cast<std::int32_t>(embedded::vex2d_corvexfont_size));
  InitImages();
  InitCollisionLayers();
}

TVex2DGraphics* CurrentVex2DGraphics() noexcept { return gCurrent.Get(); }
TVex2DDriver* CurrentVex2DDriver() noexcept { return gDriver.Get(); }

void ActivateVex2DGraphics(TGraphics* graphics) {
  auto* g = dynamic_cast<TVex2DGraphics*>(graphics);
  Ref<TDisplayDriver> owner = g ? g->OwnerDriver() : nullptr;
  auto* d = dynamic_cast<TVex2DDriver*>(owner.Get());
  if (!g || !d) {
    gCurrent = nullptr;
    gDriver = nullptr;
    return;
  }
  gCurrent = g;
  gDriver = d;
  if (g->validated) return;
  if (!gDefaultFont) gDefaultFont = TGlyphFont::BuiltIn();
  SetBlendMode(BlendMasked);
  SetDrawColor(255, 255, 255);
  SetClearColor(0, 0, 0);
  SetImageMaskColor(0, 0, 0);
  SetDrawAlpha(1.0f);
  SetDrawOrigin(0, 0);
  SetDrawHandle(0, 0);
  SetDrawViewport(0, 0, CurrentGraphicsWidth(), CurrentGraphicsHeight());
  SetDrawTransform(0, 1.0f, 1.0f);
  SetDrawLineWidth(1.0f);
  SetAutoCentreHandle(0);
  SetDefaultImageFlags(ImageMasked + ImageFiltered);
  SetDrawFont(gDefaultFont.Get());
  // Both buffers start cleared.
  ClearScreen();
  FlipFrame(0);
  ClearScreen();
  FlipFrame(0);
  g->validated = 1;
}

void UpdateTransform() { UpdateTransformOf(Current()); }

// ---- Setters --------------------------------------------------------------------

void SetDrawColor(int red, int green, int blue) { SetColorOf(Current(), red, green, blue); }
void SetDrawAlpha(float alpha) { SetAlphaOf(Current(), alpha); }
void SetClearColor(int red, int green, int blue) { SetClearColorOf(Current(), red, green, blue); }
void SetBlendMode(int mode) { SetBlendOf(Current(), mode); }
void SetDrawLineWidth(float width) { SetLineWidthOf(Current(), width); }
void SetDrawViewport(int x, int y, int width, int height) { SetViewportOf(Current(), x, y, width, height); }

void SetDrawRotation(float degrees) {
  Current()->rotation = degrees;
  UpdateTransform();
}
void SetDrawScale(float x, float y) {
  TVex2DGraphics* g = Current();
  g->scaleX = x;
  g->scaleY = y;
  UpdateTransform();
}
void SetDrawTransform(float degrees, float scaleX, float scaleY) {
  TVex2DGraphics* g = Current();
  g->rotation = degrees;
  g->scaleX = scaleX;
  g->scaleY = scaleY;
  UpdateTransform();
}
void SetDrawOrigin(float x, float y) {
  TVex2DGraphics* g = Current();
  g->originX = x;
  g->originY = y;
}
void SetDrawHandle(float x, float y) {
  TVex2DGraphics* g = Current();
  g->handleOffsetX = -x;
  g->handleOffsetY = -y;
}
void SetDrawFont(TGlyphFont* font) { SetFontOf(Current(), font); }
void SetImageMaskColor(int red, int green, int blue) {
  gMaskRed = red;
  gMaskGreen = green;
  gMaskBlue = blue;
}
void SetAutoCentreHandle(int flag) { gAutoCentre = flag; }
void SetDefaultImageFlags(int flags) {
  if (flags != -1) gDefaultImageFlags = flags;
}

// ---- Getters --------------------------------------------------------------------

void GetDrawColor(int& red, int& green, int& blue) {
  TVex2DGraphics* g = Current();
  red = g->colorRed;
  green = g->colorGreen;
  blue = g->colorBlue;
}
float GetDrawAlpha() { return Current()->alpha; }
void GetClearColor(int& red, int& green, int& blue) {
  TVex2DGraphics* g = Current();
  red = g->clearRed;
  green = g->clearGreen;
  blue = g->clearBlue;
}
int GetBlendMode() { return Current()->blend; }
float GetDrawLineWidth() { return Current()->lineWidth; }
void GetDrawViewport(int& x, int& y, int& width, int& height) {
  TVex2DGraphics* g = Current();
  x = g->viewportX;
  y = g->viewportY;
  width = g->viewportWidth;
  height = g->viewportHeight;
}
float GetDrawRotation() { return Current()->rotation; }
void GetDrawScale(float& x, float& y) {
  TVex2DGraphics* g = Current();
  x = g->scaleX;
  y = g->scaleY;
}
void GetDrawOrigin(float& x, float& y) {
  TVex2DGraphics* g = Current();
  x = g->originX;
  y = g->originY;
}
void GetDrawHandle(float& x, float& y) {
  TVex2DGraphics* g = Current();
  x = -g->handleOffsetX;
  y = -g->handleOffsetY;
}
Ref<TGlyphFont> GetDrawFont() { return Current()->font; }
void GetImageMaskColor(int& red, int& green, int& blue) {
  red = gMaskRed;
  green = gMaskGreen;
  blue = gMaskBlue;
}
int GetAutoCentreHandle() noexcept { return gAutoCentre; }
int GetDefaultImageFlags() noexcept { return gDefaultImageFlags; }
Ref<TGlyphFont> DefaultFont() { return gDefaultFont; }

// ---- Drawing --------------------------------------------------------------------

void ClearScreen() { Driver()->ClearTarget(); }

void PlotPoint(float x, float y) {
  TVex2DGraphics* g = Current();
  Driver()->RenderPoint(x + g->originX, y + g->originY);
}

void StrokeLine(float x0, float y0, float x1, float y1, int lastPixel) {
  TVex2DGraphics* g = Current();
  const float hx = g->handleOffsetX, hy = g->handleOffsetY;
  const float tx = x0 + g->originX, ty = y0 + g->originY;
  const float px = hx + x1 - x0, py = hy + y1 - y0;
  Driver()->RenderLine(hx, hy, px, py, tx, ty);
  if (lastPixel != 0) Driver()->RenderPoint(px * g->ix + py * g->iy + tx, px * g->jx + py * g->jy + ty);
}

void FillRect(float x, float y, float width, float height) {
  TVex2DGraphics* g = Current();
  const float hx = g->handleOffsetX, hy = g->handleOffsetY;
  Driver()->RenderRect(hx, hy, hx + width, hy + height, x + g->originX, y + g->originY);
}

void FillOval(float x, float y, float width, float height) {
  TVex2DGraphics* g = Current();
  const float hx = g->handleOffsetX, hy = g->handleOffsetY;
  Driver()->RenderOval(hx, hy, hx + width, hy + height, x + g->originX, y + g->originY);
}

void FillPoly(TArray<float>* xy) {
  TVex2DGraphics* g = Current();
  Driver()->RenderPoly(Need(xy), g->handleOffsetX, g->handleOffsetY, g->originX, g->originY);
}

void DrawString(const String& text, float x, float y) {
  TVex2DGraphics* g = Current();
  const float hx = g->handleOffsetX, hy = g->handleOffsetY;
  g->font->RenderString(text, x + g->originX + hx * g->ix + hy * g->iy, y + g->originY + hx * g->jx + hy * g->jy, g->ix,
                        g->iy, g->jx, g->jy);
}

int StringWidth(const String& text) {
  TGlyphFont* font = Current()->font.operator->();
  int width = 0;
  for (std::int32_t i = 0; i < text.Length(); ++i) {
    const int index = font->GlyphIndexOf(text.Units()[i]);
    if (index < 0) continue;
    Ref<TImageGlyph> glyph = font->GlyphAt(index);
    if (!glyph) continue;
    // The int width of a sum beyond the int range is its nearest end; an
    // advance that is not a number adds nothing.
    const float sum = static_cast<float>(width) + glyph->AdvanceWidth();
    if (sum >= 2147483648.0f) {
      width = std::numeric_limits<int>::max();
    } else if (sum < -2147483648.0f) {
      width = std::numeric_limits<int>::min();
    } else if (sum == sum) {
      width = static_cast<int>(sum);
    }
  }
  return width;
}

int StringHeight() { return Current()->font->LineHeight(); }

void BlitImage(TImage* image, float x, float y, int frame) {
  Need(image);
  BlitImageRect(image, x, y, static_cast<float>(image->width), static_cast<float>(image->height), frame);
}

void BlitImageRect(TImage* image, float x, float y, float width, float height, int frame) {
  TVex2DGraphics* g = Current();
  Ref<TImageFrame> f = Need(image)->FrameFor(frame);
  const float hx = image->handleX, hy = image->handleY;
  f->Render(-hx, -hy, width - hx, height - hy, x + g->originX, y + g->originY);
}

void BlitImageTiled(TImage* image, float x, float y, int frame) {
  TVex2DGraphics* g = Current();
  Need(image);
  // The drawing matrix comes back however the tiling ends: a frame index out
  // of range raises, and must not leave everything drawn afterwards unrotated
  // and unscaled.
  struct RestoreTransform {
    RestoreTransform() = default;
    RestoreTransform(const RestoreTransform&) = delete;
    RestoreTransform& operator=(const RestoreTransform&) = delete;
    ~RestoreTransform() { UpdateTransform(); }
  };
  Driver()->ApplyTransform(1, 0, 0, 1);
  const RestoreTransform restore;
  const int w = image->width, h = image->height;
  const float fx = x + g->originX - image->handleX;
  const float fy = y + g->originY - image->handleY;
  // A position that is not a number or beyond the int range cannot be
  // aligned to; nothing is drawn for it.
  const bool placeable = std::fabs(fx) < 1.0e9f && std::fabs(fy) < 1.0e9f;
  if (w > 0 && h > 0 && placeable) {
    Ref<TImageFrame> f = image->FrameFor(frame);
    // In 64 bits: a viewport may lie anywhere in the int range.
    std::int64_t vx = g->viewportX, vy = g->viewportY;
    std::int64_t vxEnd = vx + g->viewportWidth, vyEnd = vy + g->viewportHeight;
    // Tiles beyond the graphics cannot be seen; a viewport far larger than it
    // would otherwise take billions of them.
    const int gw = CurrentGraphicsWidth(), gh = CurrentGraphicsHeight();
    if (gw > 0 && gh > 0) {
      vx = std::max<std::int64_t>(vx, 0);
      vy = std::max<std::int64_t>(vy, 0);
      vxEnd = std::min<std::int64_t>(vxEnd, gw);
      vyEnd = std::min<std::int64_t>(vyEnd, gh);
    }
    const float floorX = std::floor(fx), floorY = std::floor(fy);
    const float fracX = fx - floorX, fracY = fy - floorY;
    // The first column is the last one (stepping by the image width from the
    // image's own position) that still reaches into the viewport.
    auto start = [](float floorPos, std::int64_t viewStart, int size) {
      const std::int64_t base = viewStart - size + 1;
      std::int64_t r = static_cast<std::int64_t>(static_cast<double>(floorPos) - static_cast<double>(base)) % size;
      if (r < 0) r += size;
      return base + r;
    };
    const std::int64_t startX = start(floorX, vx, w), startY = start(floorY, vy, h);
    for (std::int64_t ty = startY; ty < vyEnd; ty += h) {
      for (std::int64_t tx = startX; tx < vxEnd; tx += w) {
        f->Render(0, 0, static_cast<float>(w), static_cast<float>(h), static_cast<float>(tx) + fracX,
                  static_cast<float>(ty) + fracY);
      }
    }
  }
}

void BlitPixmap(TPixmap* pixmap, int x, int y) { Driver()->RenderPixmap(Need(pixmap), x, y); }

Ref<TPixmap> ReadPixmap(int x, int y, int width, int height) { return Driver()->CapturePixmap(x, y, width, height); }

void CaptureImage(TImage* image, int x, int y, int frame) {
  Need(image);
  Ref<TPixmap> pixmap = Driver()->CapturePixmap(x, y, image->width, image->height);
  if (image->flags & ImageMasked) pixmap = PixmapMask(pixmap.Get(), gMaskRed, gMaskGreen, gMaskBlue);
  image->StorePixmap(frame, pixmap);
}

}  // namespace cvx
