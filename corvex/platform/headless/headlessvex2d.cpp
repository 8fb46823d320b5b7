// The headless 2D driver: a small rasteriser that follows the OpenGL driver.
#include "corvex/platform/headless/headlessvex2d.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace cvx {

namespace {

Ref<THeadlessVex2DDriver> gDriver;

// As in the GL driver: more segments add nothing and would stall a frame.
constexpr int kMaxOvalSegments = 1 << 16;
// Larger canvases would take gigabytes; no display offers them either.
constexpr int kMaxCanvasSide = 16384;

int ClampByte(int value) { return value < 0 ? 0 : (value > 255 ? 255 : value); }

struct Vertex {
  double x, y;
};

struct Rgba {
  int r, g, b, a;
};

// value * factor / 255 rounded, as an 8-bit fixed-point pipeline does.
int Scale(int value, int factor) { return (value * factor + 127) / 255; }

// The pixels of the canvas the fragments of one primitive may touch.
struct Clip {
  int x0, y0, x1, y1;  // x1, y1 exclusive
};

Clip ClipOf(const THeadlessVex2DDriver& d) {
  const int w = d.target->back->width, h = d.target->back->height;
  return {std::max(d.scissorX, 0), std::max(d.scissorY, 0), std::min(d.scissorX + d.scissorWidth, w),
          std::min(d.scissorY + d.scissorHeight, h)};
}

// Writes one fragment through the blend mode.
void Blend(const THeadlessVex2DDriver& d, int x, int y, Rgba s) {
  std::uint8_t* p = d.target->back->PixelAddress(x, y);
  switch (d.blend) {
    case BlendMasked:
      if (s.a < 128) return;  // the alpha test at 0.5
      break;
    case BlendAlpha:
      s = {Scale(s.r, s.a) + Scale(p[0], 255 - s.a), Scale(s.g, s.a) + Scale(p[1], 255 - s.a),
           Scale(s.b, s.a) + Scale(p[2], 255 - s.a), Scale(s.a, s.a) + Scale(p[3], 255 - s.a)};
      break;
    case BlendAdditive:
      s = {Scale(s.r, s.a) + p[0], Scale(s.g, s.a) + p[1], Scale(s.b, s.a) + p[2], Scale(s.a, s.a) + p[3]};
      break;
    case BlendMultiply:
      s = {Scale(p[0], s.r), Scale(p[1], s.g), Scale(p[2], s.b), Scale(p[3], s.a)};
      break;
    default:  // BlendSolid and none: the fragment replaces the pixel
      break;
  }
  p[0] = static_cast<std::uint8_t>(ClampByte(s.r));
  p[1] = static_cast<std::uint8_t>(ClampByte(s.g));
  p[2] = static_cast<std::uint8_t>(ClampByte(s.b));
  p[3] = static_cast<std::uint8_t>(ClampByte(s.a));
}

Rgba DrawColor(const THeadlessVex2DDriver& d) { return {d.color[0], d.color[1], d.color[2], d.color[3]}; }

// Edge function: twice the signed area of (a, b, p).
double Edge(const Vertex& a, const Vertex& b, double px, double py) {
  return (b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x);
}

// A pixel on an edge belongs to the triangle only for top and left edges, so
// that triangles sharing an edge cover each of its pixels once.
bool OwnsTies(const Vertex& a, const Vertex& b) { return (a.y == b.y && b.x < a.x) || b.y > a.y; }

// Fills the triangle's pixels (centres inside), shade(px, py) giving each
// fragment's colour at the centre (px, py); a shade returning false drops it.
template <class Shade>
void FillTriangle(const THeadlessVex2DDriver& d, Vertex a, Vertex b, Vertex c, Shade shade) {
  double area = Edge(a, b, c.x, c.y);
  if (!(std::fabs(area) > 0) || !std::isfinite(area)) return;  // degenerate or not a number
  if (area < 0) std::swap(b, c);                               // one winding for the tie rule
  const Clip clip = ClipOf(d);
  const double minX = std::min({a.x, b.x, c.x}), maxX = std::max({a.x, b.x, c.x});
  const double minY = std::min({a.y, b.y, c.y}), maxY = std::max({a.y, b.y, c.y});
  const int x0 = static_cast<int>(std::max<double>(clip.x0, std::floor(minX - 0.5)));
  const int x1 = static_cast<int>(std::min<double>(clip.x1, std::ceil(maxX + 0.5)));
  const int y0 = static_cast<int>(std::max<double>(clip.y0, std::floor(minY - 0.5)));
  const int y1 = static_cast<int>(std::min<double>(clip.y1, std::ceil(maxY + 0.5)));
  const bool tieAB = OwnsTies(a, b), tieBC = OwnsTies(b, c), tieCA = OwnsTies(c, a);
  auto inside = [](double e, bool ties) { return e > 0 || (e == 0 && ties); };
  for (int y = y0; y < y1; ++y) {
    const double py = y + 0.5;
    for (int x = x0; x < x1; ++x) {
      const double px = x + 0.5;
      if (!inside(Edge(a, b, px, py), tieAB) || !inside(Edge(b, c, px, py), tieBC) ||
          !inside(Edge(c, a, px, py), tieCA))
        continue;
      Rgba fragment;
      if (shade(px, py, fragment)) Blend(d, x, y, fragment);
    }
  }
}

// A convex polygon (or whatever the points give) as the fan from its first point.
template <class Shade>
void FillFan(const THeadlessVex2DDriver& d, const std::vector<Vertex>& points, Shade shade) {
  for (std::size_t k = 2; k < points.size(); ++k) FillTriangle(d, points[0], points[k - 1], points[k], shade);
}

Vertex Transformed(const THeadlessVex2DDriver& d, float px, float py, float tx, float ty) {
  return {static_cast<double>(px * d.ix + py * d.iy + tx), static_cast<double>(px * d.jx + py * d.jy + ty)};
}

bool Ready(const THeadlessVex2DDriver& d) { return d.target && d.target->back; }

}  // namespace

// ---- THeadlessCanvas ------------------------------------------------------------------

THeadlessCanvas::THeadlessCanvas(TDisplayDriver* owner, int w, int h, int d, int hz, int f)
    : driver(owner), width(w), height(h), depth(d), hertz(hz), flags(f) {
  back = PixmapCreate(w, h, PIXFMT_RGBA8888, 4);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = back->PixelAddress(0, y);
    for (int x = 0; x < w; ++x) {
      row[4 * x] = row[4 * x + 1] = row[4 * x + 2] = 0;
      row[4 * x + 3] = 255;
    }
  }
}

Ref<TDisplayDriver> THeadlessCanvas::OwnerDriver() { return driver; }

void THeadlessCanvas::QuerySettings(int& w, int& h, int& d, int& hz, int& f) {
  if (!back) {
    w = h = d = hz = f = 0;
    return;
  }
  w = width;
  h = height;
  d = depth;
  hz = hertz;
  f = flags;
}

void THeadlessCanvas::ReleaseGraphics() {
  if (gDriver && gDriver->target.Get() == this) gDriver->target = nullptr;
  back = nullptr;
  presented = nullptr;
}

// ---- THeadlessFrame ----------------------------------------------------------------------

void THeadlessFrame::Render(float x0, float y0, float x1, float y1, float tx, float ty) {
  THeadlessVex2DDriver& d = *HeadlessVex2DDriver();
  if (!Ready(d) || !texels) return;
  const double det = static_cast<double>(d.ix) * d.jy - static_cast<double>(d.iy) * d.jx;
  const double spanX = static_cast<double>(x1) - x0, spanY = static_cast<double>(y1) - y0;
  if (det == 0 || spanX == 0 || spanY == 0 || !std::isfinite(det)) return;
  TPixmap* tex = texels.Get();
  const Rgba tint = DrawColor(d);
  // Each fragment's local point, by the inverse of the matrix, picks the
  // nearest texel as the GL does with its interpolated texture coordinate.
  auto shade = [&](double px, double py, Rgba& out) {
    const double sx = px - tx, sy = py - ty;
    const double lx = (d.jy * sx - d.iy * sy) / det, ly = (-d.jx * sx + d.ix * sy) / det;
    const int u = std::clamp(static_cast<int>(std::floor((lx - x0) / spanX * tex->width)), 0, tex->width - 1);
    const int v = std::clamp(static_cast<int>(std::floor((ly - y0) / spanY * tex->height)), 0, tex->height - 1);
    const std::uint8_t* t = tex->PixelAddress(u, v);
    out = {Scale(t[0], tint.r), Scale(t[1], tint.g), Scale(t[2], tint.b), Scale(t[3], tint.a)};
    return true;
  };
  const Vertex p0 = Transformed(d, x0, y0, tx, ty), p1 = Transformed(d, x1, y0, tx, ty);
  const Vertex p2 = Transformed(d, x1, y1, tx, ty), p3 = Transformed(d, x0, y1, tx, ty);
  FillFan(d, {p0, p1, p2, p3}, shade);
}

// ---- THeadlessVex2DDriver: display driver slots ---------------------------------------

String THeadlessVex2DDriver::ToString() { return "Headless"_s; }

GraphicsModeArray THeadlessVex2DDriver::ListModes() {
  GraphicsModeArray modes = NewArray<Ref<TGraphicsMode>>(1);
  (*modes)[0] = new TGraphicsMode(1024, 768, 32, 60);
  return modes;
}

Ref<TGraphics> THeadlessVex2DDriver::BindWindow(void*, int) { return nullptr; }

Ref<TGraphics> THeadlessVex2DDriver::NewGraphics(int width, int height, int depth, int hertz, int flags) {
  if (width < 1 || height < 1 || width > kMaxCanvasSide || height > kMaxCanvasSide) return nullptr;
  Ref<TGraphics> canvas(new THeadlessCanvas(this, width, height, depth, hertz, flags));
  return TVex2DGraphics::Create(canvas.Get(), this);
}

void THeadlessVex2DDriver::MakeCurrent(TGraphics* graphics) {
  auto* g = dynamic_cast<TVex2DGraphics*>(graphics);
  auto* canvas = g ? dynamic_cast<THeadlessCanvas*>(g->graphics.Get()) : nullptr;
  if (!canvas) {
    target = nullptr;
    return;
  }
  target = canvas;
  blend = 0;
  scissorX = scissorY = 0;
  scissorWidth = canvas->width;
  scissorHeight = canvas->height;
  ActivateVex2DGraphics(g);
  ApplyViewport(g->viewportX, g->viewportY, g->viewportWidth, g->viewportHeight);
  ApplyTransform(g->ix, g->iy, g->jx, g->jy);
  ApplyColor(g->colorRed, g->colorGreen, g->colorBlue);
  ApplyAlpha(g->alpha);
}

void THeadlessVex2DDriver::Present(int) {
  if (!Ready(*this)) return;
  target->presented = target->back->Clone();
  ++target->presents;
}

bool THeadlessVex2DDriver::CanWaitForRetrace() { return false; }

// ---- THeadlessVex2DDriver: 2D slots ------------------------------------------------------

Ref<TImageFrame> THeadlessVex2DDriver::CreateFrame(TPixmap* pixmap, int) {
  if (!pixmap) ThrowNullObjectError();
  Ref<THeadlessFrame> frame(new THeadlessFrame());
  if (pixmap->width > 0 && pixmap->height > 0) frame->texels = PixmapConvert(Ref<TPixmap>(pixmap), PIXFMT_RGBA8888);
  return frame;
}

void THeadlessVex2DDriver::ApplyBlend(int mode) { blend = mode; }

void THeadlessVex2DDriver::ApplyAlpha(float alpha) {
  if (alpha > 1) alpha = 1;
  if (!(alpha >= 0)) alpha = 0;  // negative or not a number
  color[3] = static_cast<unsigned char>(static_cast<int>(alpha * 255));
}

void THeadlessVex2DDriver::ApplyColor(int red, int green, int blue) {
  color[0] = static_cast<unsigned char>(ClampByte(red));
  color[1] = static_cast<unsigned char>(ClampByte(green));
  color[2] = static_cast<unsigned char>(ClampByte(blue));
}

void THeadlessVex2DDriver::ApplyClearColor(int red, int green, int blue) {
  clearColor[0] = static_cast<unsigned char>(ClampByte(red));
  clearColor[1] = static_cast<unsigned char>(ClampByte(green));
  clearColor[2] = static_cast<unsigned char>(ClampByte(blue));
  clearColor[3] = 255;
}

void THeadlessVex2DDriver::ApplyViewport(int x, int y, int width, int height) {
  scissorX = x;
  scissorY = y;
  scissorWidth = std::max(width, 0);
  scissorHeight = std::max(height, 0);
}

void THeadlessVex2DDriver::ApplyTransform(float newIx, float newIy, float newJx, float newJy) {
  ix = newIx;
  iy = newIy;
  jx = newJx;
  jy = newJy;
}

void THeadlessVex2DDriver::ApplyLineWidth(float width) { lineWidth = width; }

void THeadlessVex2DDriver::ClearTarget() {
  if (!Ready(*this)) return;
  const Clip clip = ClipOf(*this);
  for (int y = clip.y0; y < clip.y1; ++y)
    for (int x = clip.x0; x < clip.x1; ++x) std::memcpy(target->back->PixelAddress(x, y), clearColor, 4);
}

void THeadlessVex2DDriver::RenderPoint(float x, float y) {
  if (!Ready(*this)) return;
  const double px = std::floor(static_cast<double>(x) + 0.5), py = std::floor(static_cast<double>(y) + 0.5);
  const Clip clip = ClipOf(*this);
  if (!(px >= clip.x0 && px < clip.x1 && py >= clip.y0 && py < clip.y1)) return;
  Blend(*this, static_cast<int>(px), static_cast<int>(py), DrawColor(*this));
}

void THeadlessVex2DDriver::RenderLine(float x0, float y0, float x1, float y1, float tx, float ty) {
  if (!Ready(*this)) return;
  // The GL driver moves both ends to the pixel centres.
  const Vertex a = Transformed(*this, x0, y0, tx + 0.5f, ty + 0.5f);
  const Vertex b = Transformed(*this, x1, y1, tx + 0.5f, ty + 0.5f);
  const double dx = b.x - a.x, dy = b.y - a.y;
  if (!std::isfinite(dx) || !std::isfinite(dy) || (dx == 0 && dy == 0)) return;
  const bool xMajor = std::fabs(dx) >= std::fabs(dy);
  // A line of width n covers n pixels across its minor axis at each step of
  // its major axis; the last pixel is left out, as the GL leaves it.
  const int thickness = std::max(1, static_cast<int>(std::lround(lineWidth)));
  const double start = xMajor ? a.x : a.y, end = xMajor ? b.x : b.y;
  const double step = end > start ? 1 : -1;
  const double length = std::fabs(end - start);
  if (length > 4.0 * kMaxCanvasSide) return;  // far beyond any canvas
  const Clip clip = ClipOf(*this);
  const Rgba c = DrawColor(*this);
  // Pixel centres along the major axis from the one the line starts in.
  double centre = std::floor(start) + 0.5;
  if ((centre - start) * step < 0) centre += step;
  for (; (end - centre) * step > 0; centre += step) {
    const double t = (centre - start) / (end - start);
    const double minor = xMajor ? a.y + t * dy : a.x + t * dx;
    const int first = static_cast<int>(std::floor(minor)) - (thickness - 1) / 2;
    const int major = static_cast<int>(std::floor(centre));
    for (int k = 0; k < thickness; ++k) {
      const int px = xMajor ? major : first + k, py = xMajor ? first + k : major;
      if (px >= clip.x0 && px < clip.x1 && py >= clip.y0 && py < clip.y1) Blend(*this, px, py, c);
    }
  }
}

void THeadlessVex2DDriver::RenderRect(float x0, float y0, float x1, float y1, float tx, float ty) {
  if (!Ready(*this)) return;
  const Rgba c = DrawColor(*this);
  auto flat = [c](double, double, Rgba& out) {
    out = c;
    return true;
  };
  FillFan(*this,
          {Transformed(*this, x0, y0, tx, ty), Transformed(*this, x1, y0, tx, ty), Transformed(*this, x1, y1, tx, ty),
           Transformed(*this, x0, y1, tx, ty)},
          flat);
}

void THeadlessVex2DDriver::RenderOval(float x0, float y0, float x1, float y1, float tx, float ty) {
  if (!Ready(*this)) return;
  const float xr = (x1 - x0) * 0.5f, yr = (y1 - y0) * 0.5f;
  const float cx = x0 + xr, cy = y0 + yr;
  const float extent = std::fabs(xr) + std::fabs(yr);
  if (!std::isfinite(extent) || !std::isfinite(cx) || !std::isfinite(cy)) return;
  int n = extent >= static_cast<float>(kMaxOvalSegments) ? kMaxOvalSegments : static_cast<int>(extent);
  if (n < 12) n = 12;
  n &= ~3;
  std::vector<Vertex> points;
  points.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double theta = (static_cast<double>(i) * 360.0 / n) * (M_PI / 180.0);
    const float px = cx + static_cast<float>(std::cos(theta)) * xr;
    const float py = cy - static_cast<float>(std::sin(theta)) * yr;
    points.push_back(Transformed(*this, px, py, tx, ty));
  }
  const Rgba c = DrawColor(*this);
  FillFan(*this, points, [c](double, double, Rgba& out) {
    out = c;
    return true;
  });
}

void THeadlessVex2DDriver::RenderPoly(TArray<float>* xy, float handleX, float handleY, float tx, float ty) {
  if (!xy || !Ready(*this)) return;
  const int count = xy->Length();
  if (count < 6 || (count & 1)) return;
  const float* p = xy->Data();
  std::vector<Vertex> points;
  points.reserve(static_cast<std::size_t>(count / 2));
  for (int k = 0; k < count; k += 2) points.push_back(Transformed(*this, p[k] + handleX, p[k + 1] + handleY, tx, ty));
  const Rgba c = DrawColor(*this);
  FillFan(*this, points, [c](double, double, Rgba& out) {
    out = c;
    return true;
  });
}

void THeadlessVex2DDriver::RenderPixmap(TPixmap* pixmap, int x, int y) {
  if (!pixmap) ThrowNullObjectError();
  if (!Ready(*this)) return;
  // An unblended copy, clipped by the viewport like any other fragment.
  Ref<TPixmap> source = PixmapConvert(Ref<TPixmap>(pixmap), PIXFMT_RGBA8888);
  const Clip clip = ClipOf(*this);
  for (int row = 0; row < source->height; ++row) {
    const std::int64_t py = static_cast<std::int64_t>(y) + row;
    if (py < clip.y0 || py >= clip.y1) continue;
    for (int col = 0; col < source->width; ++col) {
      const std::int64_t px = static_cast<std::int64_t>(x) + col;
      if (px < clip.x0 || px >= clip.x1) continue;
      std::memcpy(target->back->PixelAddress(static_cast<int>(px), static_cast<int>(py)),
                  source->PixelAddress(col, row), 4);
    }
  }
}

Ref<TPixmap> THeadlessVex2DDriver::CapturePixmap(int x, int y, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  Ref<TPixmap> pixmap = PixmapCreate(width, height, PIXFMT_RGBA8888, 4);
  for (int row = 0; row < height; ++row) {
    std::uint8_t* out = pixmap->PixelAddress(0, row);
    std::memset(out, 0, static_cast<std::size_t>(width) * 4);
    if (!Ready(*this)) continue;
    const std::int64_t py = static_cast<std::int64_t>(y) + row;
    if (py < 0 || py >= target->back->height) continue;
    for (int col = 0; col < width; ++col) {
      const std::int64_t px = static_cast<std::int64_t>(x) + col;
      if (px < 0 || px >= target->back->width) continue;
      std::memcpy(out + 4 * col, target->back->PixelAddress(static_cast<int>(px), static_cast<int>(py)), 4);
    }
  }
  return pixmap;
}

// ---- Module ------------------------------------------------------------------------------

THeadlessVex2DDriver* HeadlessVex2DDriver() {
  if (!gDriver) gDriver = new THeadlessVex2DDriver();
  return gDriver.Get();
}

Ref<TPixmap> HeadlessBackBuffer() {
  THeadlessVex2DDriver* d = HeadlessVex2DDriver();
  return d->target ? d->target->back : Ref<TPixmap>();
}

void InitHeadlessVex2D() {
  static bool done = false;
  if (done) return;
  done = true;
  InitVex2D();
  SelectGraphicsDriver(HeadlessVex2DDriver(), FlagBackBuffer);
}

}  // namespace cvx
