// Collision layers: quads written into 32 layers, probed by scan-converting
// pairs of quads row by row and sampling the images' pixmaps.
#include "corvex/vex2d/collision.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "corvex/pixmap/pixmap.h"
#include "corvex/vex2d/image.h"
#include "corvex/vex2d/vex2d.h"

namespace cvx {

namespace {

Array<Ref<TQuad>> gLayers;  // one singly linked list per layer, newest first
Ref<TQuad> gPool;           // free quads, reused before any is allocated
float gIx = 0, gIy = 0, gJx = 0, gJy = 0;
std::vector<int> gScratchSpan;  // grown to the longest overlap span met so far

// Coordinates beyond this (or not finite) cannot be scan-converted with int
// rows and columns; such quads collide with nothing.
constexpr float kCoordinateLimit = 1.0e9f;
// The longest piece of an overlap span tested at once.
constexpr int kScratchLimit = 4096;
// The most pixels of two quads' common box that are tested one by one. Beyond
// it the rows and columns are sampled at a spacing that keeps about
// kSampleSide x kSampleSide of them, but never further apart than half the
// narrowest texel on the screen, so that two hugely scaled images whose solid
// pixels never meet take a bounded time instead of hours, and no texel is
// passed over.
constexpr double kExactPixelLimit = 1 << 22;
constexpr double kSampleSide = 2048;
// The most pixels a test of a box past kExactPixelLimit walks to sample every
// texel: beyond it (images stretched far one way only) the grid above serves.
constexpr double kTexelSampleLimit = 1 << 23;

Array<Ref<TQuad>>& Layers() {
  InitCollisionLayers();
  return gLayers;
}

Ref<TQuad> TakeQuad() {
  Ref<TQuad> quad = gPool;
  if (!quad) return Ref<TQuad>(new TQuad());
  gPool = quad->next;
  quad->next = nullptr;
  return quad;
}

void ReturnQuad(const Ref<TQuad>& quad) {
  quad->id = nullptr;
  quad->pixmap = nullptr;
  quad->next = gPool;
  gPool = quad;
}

int Trunc(float value) { return static_cast<int>(value); }

// Scan-conversion state of one convex polygon of (x, y, attributes...) vertices.
struct RPoly {
  TPixmap* pixmap = nullptr;
  std::vector<float> vertices;
  int valuesPerVertex = 0;
  int vertexCount = 0;
  int valueCount = 0;
  float left[4] = {}, leftStep[4] = {}, right[4] = {}, rightStep[4] = {};
  int leftIndex = 0, rightIndex = 0;  // value offsets of the edges' bottom vertices
  int topRow = 0;
  int state = 0;  // 0 waiting, 1 active, 2 finished

  float Y(int offset) const { return vertices[static_cast<std::size_t>(offset + 1)]; }
};

// Reverses the vertex order when every fan triangle turns the non-negative
// way, so that the backward walk always finds the left edge.
void EnsureWinding(std::vector<float>& v, int valuesPerVertex) {
  const int n = static_cast<int>(v.size()) / valuesPerVertex;
  if (n < 3) return;
  auto x = [&](int i) { return v[static_cast<std::size_t>(i * valuesPerVertex)]; };
  auto y = [&](int i) { return v[static_cast<std::size_t>(i * valuesPerVertex + 1)]; };
  int nonNegative = 0;
  for (int i = 2; i < n; ++i) {
    const float cross = (x(i) - x(i - 1)) * (y(i - 1) - y(0)) - (x(i - 1) - x(0)) * (y(i) - y(i - 1));
    if (cross > -1.0f) ++nonNegative;  // trunc(cross) >= 0, without converting huge values
  }
  if (nonNegative != n - 2) return;
  for (int a = 0, b = n - 1; a < b; ++a, --b) {
    for (int k = 0; k < valuesPerVertex; ++k) {
      std::swap(v[static_cast<std::size_t>(a * valuesPerVertex + k)],
                v[static_cast<std::size_t>(b * valuesPerVertex + k)]);
    }
  }
}

// The row callback of the overlap test: columns trunc(left x) up to, not
// including, trunc(right x) of the first two active polygons.
//
// Texels are read with GetPixel, which gives the ARGB value of any pixel
// format: the two 32-bit formats carry their own alpha, while formats without
// alpha (I8, RGB888, BGR888) read as opaque and A8 as its alpha byte. A raw
// 32-bit read would misread 24-bit and 8-bit pixmaps and run past their rows.
// Columns are tested every columnStep-th one from the span's start.
int SpanOverlapTest(RPoly** active, int count, int columnStep) {
  if (count < 2) return 0;
  RPoly* a = active[0];
  RPoly* b = active[1];
  const int aLeft = Trunc(a->left[0]), aRight = Trunc(a->right[0]);
  const int bLeft = Trunc(b->left[0]), bRight = Trunc(b->right[0]);
  if (aRight <= bLeft || bRight <= aLeft) return 0;
  const int start = std::max(aLeft, bLeft);
  const int end = std::min(aRight, bRight);
  if (end <= start) return 0;
  // Two solid rectangles sharing a column collide; no need to walk the span.
  if (!a->pixmap && !b->pixmap) return -1;
  // The common span is walked in pieces of at most kScratchLimit tested
  // columns, so that a hugely scaled image cannot make the scratch span grow
  // without bound; the answer is the same as for one piece.
  const std::int64_t samples = (static_cast<std::int64_t>(end) - start + columnStep - 1) / columnStep;
  for (std::int64_t first = 0; first < samples; first += kScratchLimit) {
    const auto span = static_cast<std::size_t>(std::min<std::int64_t>(samples - first, kScratchLimit));
    const std::int64_t pieceStart = start + first * columnStep;
    if (gScratchSpan.size() < span) gScratchSpan.resize(span);
    std::fill_n(gScratchSpan.begin(), span, 0);
    for (int p = 0; p < 2; ++p) {
      RPoly* poly = active[p];
      if (!poly->pixmap) {
        for (std::size_t c = 0; c < span; ++c) {
          if (gScratchSpan[c]) return -1;
          gScratchSpan[c] = -1;
        }
        continue;
      }
      const int left = Trunc(poly->left[0]);
      const int width = Trunc(poly->right[0]) - left;
      if (width < 1) continue;
      const float du = (poly->right[2] - poly->left[2]) / static_cast<float>(width);
      const float dv = (poly->right[3] - poly->left[3]) / static_cast<float>(width);
      const float offset = static_cast<float>(pieceStart - left) + 0.5f;
      float u = poly->left[2] + du * offset;
      float v = poly->left[3] + dv * offset;
      const float uStep = du * static_cast<float>(columnStep), vStep = dv * static_cast<float>(columnStep);
      TPixmap* pixmap = poly->pixmap;
      const int pw = pixmap->width, ph = pixmap->height;
      for (std::size_t c = 0; c < span; ++c, u += uStep, v += vStep) {
        const float cu = u >= 0 ? std::min(u, 1.0f) : 0.0f;
        const float cv = v >= 0 ? std::min(v, 1.0f) : 0.0f;
        // u or v of exactly 1 would index one past the last texel.
        const int tx = std::min(Trunc(cu * static_cast<float>(pw)), pw - 1);
        const int ty = std::min(Trunc(cv * static_cast<float>(ph)), ph - 1);
        if (tx < 0 || ty < 0) continue;  // an empty pixmap has no solid texel
        if (pixmap->GetPixel(tx, ty) & 0x80000000u) {
          if (gScratchSpan[c]) return -1;
          gScratchSpan[c] = 1;
        }
      }
    }
  }
  return 0;
}

// Walks from an edge's bottom vertex to the next edge reaching below row y,
// and samples it at the centre of row y (the scan may start below the edge's
// top). Returns false when the polygon is finished.
bool AdvanceEdge(RPoly& p, int y, bool leftSide) {
  int& index = leftSide ? p.leftIndex : p.rightIndex;
  float* values = leftSide ? p.left : p.right;
  float* steps = leftSide ? p.leftStep : p.rightStep;
  const int stride = leftSide ? -p.valuesPerVertex : p.valuesPerVertex;
  auto step = [&](int i) {
    i += stride;
    if (i < 0) i += p.valueCount;
    if (i >= p.valueCount) i -= p.valueCount;
    return i;
  };
  int top = index;
  int bottom;
  for (;;) {
    const int next = step(top);
    if (Trunc(p.Y(next)) > y) {
      bottom = next;
      break;
    }
    top = next;
    if (top == index) return false;  // came back: nothing below this row
  }
  const int height = Trunc(p.Y(bottom)) - Trunc(p.Y(top));
  if (height < 1) return false;
  const float rows = static_cast<float>(y - Trunc(p.Y(top))) + 0.5f;
  for (int k = 0; k < p.valuesPerVertex; ++k) {
    const float from = p.vertices[static_cast<std::size_t>(top + k)];
    const float to = p.vertices[static_cast<std::size_t>(bottom + k)];
    steps[k] = (to - from) / static_cast<float>(height);
    values[k] = from + steps[k] * rows;  // sample at the row centre
  }
  index = bottom;
  return true;
}

// The narrowest width, in pixels, of one texel of the quad's pixmap as the
// quad lays it on the screen (a parallelogram); infinity for a quad without a
// pixmap (solid all over) and for one without area (a line covers no whole
// texel, so sampling it can miss nothing a pixel walk would find).
double NarrowestTexelWidth(const float* vertices, const TPixmap* pixmap) {
  if (!pixmap) return std::numeric_limits<double>::infinity();
  // Vertices are x, y, u, v; u and v run 0..1 over the pixmap.
  auto side = [&](int to, double& dx, double& dy) {
    dx = static_cast<double>(vertices[to * 4]) - vertices[0];
    dy = static_cast<double>(vertices[to * 4 + 1]) - vertices[1];
    const double du = (static_cast<double>(vertices[to * 4 + 2]) - vertices[2]) * pixmap->width;
    const double dv = (static_cast<double>(vertices[to * 4 + 3]) - vertices[3]) * pixmap->height;
    return std::hypot(du, dv);  // texels along the side
  };
  double ax, ay, bx, by;
  const double texelsA = side(1, ax, ay), texelsB = side(3, bx, by);
  if (!(texelsA > 0) || !(texelsB > 0)) return std::numeric_limits<double>::infinity();
  ax /= texelsA, ay /= texelsA, bx /= texelsB, by /= texelsB;
  const double area = std::abs(ax * by - ay * bx);
  const double longest = std::max(std::hypot(ax, ay), std::hypot(bx, by));
  if (!(area > 0) || !(longest > 0)) return std::numeric_limits<double>::infinity();
  return area / longest;
}

// Scan conversion of the two quads' polygons; the callback's first negative
// answer ends the scan and is the result.
int ScanPolygons(const float* vertices0, TPixmap* pixmap0, const float* vertices1, TPixmap* pixmap1) {
  constexpr int kValuesPerVertex = 4;
  RPoly polys[2];
  const float* sources[2] = {vertices0, vertices1};
  TPixmap* pixmaps[2] = {pixmap0, pixmap1};
  // Only the rows both polygons cover can hold a common pixel: the scan runs
  // over those alone, so that a quad a billion rows tall probed against a
  // small one takes the small one's rows, not the tall one's.
  int minRow = 0, maxRow = 0;
  for (int i = 0; i < 2; ++i) {
    RPoly& p = polys[i];
    p.pixmap = pixmaps[i];
    p.vertices.assign(sources[i], sources[i] + 16);
    p.valuesPerVertex = kValuesPerVertex;
    p.vertexCount = 4;
    p.valueCount = 16;
    EnsureWinding(p.vertices, kValuesPerVertex);
    int top = 0, bottomRow = 0;
    for (int v = 0; v < p.vertexCount; ++v) {
      const int row = Trunc(p.Y(v * kValuesPerVertex));
      if (row < Trunc(p.Y(top))) top = v * kValuesPerVertex;
      if (v == 0 || row > bottomRow) bottomRow = row;
    }
    p.leftIndex = p.rightIndex = top;
    p.topRow = Trunc(p.Y(top));
    if (i == 0 || p.topRow > minRow) minRow = p.topRow;
    if (i == 0 || bottomRow < maxRow) maxRow = bottomRow;
  }
  RPoly* active[2];
  int activeCount = 0;
  auto removeActive = [&](RPoly* p) {
    for (int k = 0; k < activeCount; ++k) {
      if (active[k] == p) {
        for (int m = k + 1; m < activeCount; ++m) active[m - 1] = active[m];
        --activeCount;
        return;
      }
    }
  };
  // A common box of more than kExactPixelLimit pixels is sampled (see there).
  int rowStep = 1, columnStep = 1;
  {
    float left0 = vertices0[0], right0 = vertices0[0], left1 = vertices1[0], right1 = vertices1[0];
    for (int v = 1; v < 4; ++v) {
      left0 = std::min(left0, vertices0[v * 4]);
      right0 = std::max(right0, vertices0[v * 4]);
      left1 = std::min(left1, vertices1[v * 4]);
      right1 = std::max(right1, vertices1[v * 4]);
    }
    const double columns = static_cast<double>(std::min(right0, right1)) - std::max(left0, left1) + 1;
    const double rows = static_cast<double>(maxRow) - minRow;
    if (columns > 0 && rows > 0 && columns * rows > kExactPixelLimit) {
      rowStep = static_cast<int>(std::ceil(rows / kSampleSide));
      columnStep = static_cast<int>(std::ceil(columns / kSampleSide));
      // Never further apart than half a texel's narrowest width, within
      // kTexelSampleLimit: every texel still gets a sample, so images at
      // about their own size keep the pixel walk's answer.
      const double texel = std::min(NarrowestTexelWidth(vertices0, pixmap0), NarrowestTexelWidth(vertices1, pixmap1));
      if (texel < 2.0 * kSampleSide * kSampleSide) {
        const int most = std::max(1, static_cast<int>(texel / 2));
        const int texelRowStep = std::min(rowStep, most), texelColumnStep = std::min(columnStep, most);
        if (std::ceil(rows / texelRowStep) * std::ceil(columns / texelColumnStep) <= kTexelSampleLimit) {
          rowStep = texelRowStep;
          columnStep = texelColumnStep;
        }
      }
    }
  }
  for (int y = minRow; y < maxRow; y += rowStep) {
    for (RPoly& p : polys) {
      if (p.state == 2 || (p.state == 0 && p.topRow > y)) continue;
      if (y >= Trunc(p.Y(p.leftIndex))) {
        if (!AdvanceEdge(p, y, true)) {
          removeActive(&p);
          p.state = 2;
          continue;
        }
        if (p.state == 0) {
          p.state = 1;
          active[activeCount++] = &p;
        }
      }
      if (y >= Trunc(p.Y(p.rightIndex))) {
        if (!AdvanceEdge(p, y, false)) {
          removeActive(&p);
          p.state = 2;
          continue;
        }
        if (p.state == 0) {
          p.state = 1;
          active[activeCount++] = &p;
        }
      }
    }
    if (activeCount != 0) {
      const int answer = SpanOverlapTest(active, activeCount, columnStep);
      if (answer < 0) return answer;
    }
    for (int k = 0; k < activeCount; ++k) {
      RPoly* p = active[k];
      for (int v = 0; v < p->valuesPerVertex; ++v) {
        p->left[v] += p->leftStep[v] * static_cast<float>(rowStep);
        p->right[v] += p->rightStep[v] * static_cast<float>(rowStep);
      }
    }
  }
  return 0;
}

bool Scannable(const TQuad& q) {
  for (float v : q.vertices) {
    if (!(std::fabs(v) <= kCoordinateLimit)) return false;
  }
  return true;
}

bool QuadsOverlap(const TQuad& a, const TQuad& b) {
  if (!(a.maxX >= b.minX && a.maxY >= b.minY && a.minX <= b.maxX && a.minY <= b.maxY)) return false;
  if (!Scannable(a) || !Scannable(b)) return false;
  return ScanPolygons(a.vertices, a.pixmap.Get(), b.vertices, b.pixmap.Get()) < 0;
}

ObjectArray ProbeAndWrite(const Ref<TQuad>& quad, std::uint32_t collideMask, std::uint32_t writeMask) {
  Array<Ref<TQuad>>& layers = Layers();
  ObjectArray hits = NewArray<Ref<TObject>>(0);
  std::int32_t count = 0;
  for (int k = 0; k < CollisionLayerCount; ++k) {
    if (!(collideMask & (1u << k))) continue;
    for (TQuad* q = (*layers)[k].Get(); q; q = q->next.Get()) {
      if (!QuadsOverlap(*quad, *q)) continue;
      if (count == hits->Length()) {
        ObjectArray grown = NewArray<Ref<TObject>>(static_cast<std::int32_t>((count + 4) * 1.2));
        for (std::int32_t i = 0; i < count; ++i) (*grown)[i] = (*hits)[i];
        hits = grown;
      }
      (*hits)[count++] = q->id;
    }
  }
  for (int k = 0; k < CollisionLayerCount; ++k) {
    if (!(writeMask & (1u << k))) continue;
    Ref<TQuad> copy = TakeQuad();
    copy->id = quad->id;
    copy->pixmap = quad->pixmap;
    std::copy(std::begin(quad->vertices), std::end(quad->vertices), std::begin(copy->vertices));
    copy->minX = quad->minX;
    copy->minY = quad->minY;
    copy->maxX = quad->maxX;
    copy->maxY = quad->maxY;
    copy->next = (*layers)[k];
    (*layers)[k] = copy;
  }
  if (count == hits->Length()) return hits;
  ObjectArray trimmed = NewArray<Ref<TObject>>(count);
  for (std::int32_t i = 0; i < count; ++i) (*trimmed)[i] = (*hits)[i];
  return trimmed;
}

ObjectArray ProbeQuad(TPixmap* pixmap, float x, float y, float width, float height, float hx, float hy,
                      std::uint32_t collideMask, std::uint32_t writeMask, const Ref<TObject>& id) {
  float ox = 0, oy = 0;
  if (TVex2DGraphics* g = CurrentVex2DGraphics()) {
    ox = g->originX;
    oy = g->originY;
  }
  const float tx = x + ox, ty = y + oy;
  auto mapX = [&](float px, float py) { return tx + px * gIx + py * gIy; };
  auto mapY = [&](float px, float py) { return ty + px * gJx + py * gJy; };
  Ref<TQuad> quad = TakeQuad();
  quad->id = id;
  quad->pixmap = pixmap;
  quad->SetCorners(mapX(hx, hy), mapY(hx, hy), mapX(hx + width, hy), mapY(hx + width, hy),
                   mapX(hx + width, hy + height), mapY(hx + width, hy + height), mapX(hx, hy + height),
                   mapY(hx, hy + height));
  ObjectArray hits = ProbeAndWrite(quad, collideMask, writeMask);
  ReturnQuad(quad);  // the layers hold copies; the probe quad goes back to the pool
  return hits;
}

}  // namespace

void TQuad::SetCorners(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3) {
  const float corners[8] = {x0, y0, x1, y1, x2, y2, x3, y3};
  static constexpr float kUV[8] = {0, 0, 1, 0, 1, 1, 0, 1};
  for (int i = 0; i < 4; ++i) {
    vertices[i * 4 + 0] = corners[i * 2];
    vertices[i * 4 + 1] = corners[i * 2 + 1];
    vertices[i * 4 + 2] = kUV[i * 2];
    vertices[i * 4 + 3] = kUV[i * 2 + 1];
  }
  minX = std::min(std::min(x0, x1), std::min(x2, x3));
  maxX = std::max(std::max(x0, x1), std::max(x2, x3));
  minY = std::min(std::min(y0, y1), std::min(y2, y3));
  maxY = std::max(std::max(y0, y1), std::max(y2, y3));
}

void InitCollisionLayers() {
  if (gLayers) return;
  gLayers = NewArray<Ref<TQuad>>(CollisionLayerCount);
}

void SetCollisionMatrix(float ix, float iy, float jx, float jy) noexcept {
  gIx = ix;
  gIy = iy;
  gJx = jx;
  gJy = jy;
}

ObjectArray ProbeImage(TImage* image, float x, float y, int frame, std::uint32_t collideMask, std::uint32_t writeMask,
                       const Ref<TObject>& id) {
  if (!image) ThrowNullObjectError();
  Ref<TPixmap> pixmap = image->LockPixmap(frame, 1, 0);
  return ProbeQuad(pixmap.Get(), x, y, static_cast<float>(image->width), static_cast<float>(image->height),
                   -image->handleX, -image->handleY, collideMask, writeMask, id);
}

ObjectArray ProbeRect(float x, float y, float width, float height, std::uint32_t collideMask, std::uint32_t writeMask,
                      const Ref<TObject>& id) {
  return ProbeQuad(nullptr, x, y, width, height, 0, 0, collideMask, writeMask, id);
}

void ClearLayers(std::uint32_t mask) {
  Array<Ref<TQuad>>& layers = Layers();
  for (int k = 0; k < CollisionLayerCount; ++k) {
    if (mask != 0 && !(mask & (1u << k))) continue;
    Ref<TQuad> head = (*layers)[k];
    if (!head) continue;
    (*layers)[k] = nullptr;
    // The whole list goes in front of the pool; its ids and pixmaps are let go
    // so that a cleared layer keeps nothing alive.
    TQuad* last = head.Get();
    for (;;) {
      last->id = nullptr;
      last->pixmap = nullptr;
      if (!last->next) break;
      last = last->next.Get();
    }
    last->next = gPool;
    gPool = head;
  }
}

int ImagesOverlap(TImage* image1, float x1, float y1, int frame1, TImage* image2, float x2, float y2, int frame2) {
  ClearLayers(1u << 31);
  ProbeImage(image1, x1, y1, frame1, 0, 1u << 31, nullptr);
  return ProbeImage(image2, x2, y2, frame2, 1u << 31, 0, nullptr)->Length() > 0 ? 1 : 0;
}

int ImagesOverlapTransformed(TImage* image1, float x1, float y1, int frame1, float rotation1, float scaleX1,
                             float scaleY1, TImage* image2, float x2, float y2, int frame2, float rotation2,
                             float scaleX2, float scaleY2) {
  // The drawing transform comes back however the probes end (a null image or
  // a bad frame index raises).
  struct Restore {
    float rotation = GetDrawRotation();
    float scaleX = 0, scaleY = 0;
    Restore() { GetDrawScale(scaleX, scaleY); }
    ~Restore() {
      SetDrawRotation(rotation);
      SetDrawScale(scaleX, scaleY);
    }
    Restore(const Restore&) = delete;
    Restore& operator=(const Restore&) = delete;
  } restore;
  ClearLayers(1u << 31);
  SetDrawRotation(rotation1);
  SetDrawScale(scaleX1, scaleY1);
  ProbeImage(image1, x1, y1, frame1, 0, 1u << 31, nullptr);
  SetDrawRotation(rotation2);
  SetDrawScale(scaleX2, scaleY2);
  return ProbeImage(image2, x2, y2, frame2, 1u << 31, 0, nullptr)->Length() > 0 ? 1 : 0;
}

int LayerQuadCount(int layer) {
  int n = 0;
  for (TQuad* q = (*Layers())[layer].Get(); q; q = q->next.Get()) ++n;
  return n;
}

int QuadPoolCount() {
  int n = 0;
  for (TQuad* q = gPool.Get(); q; q = q->next.Get()) ++n;
  return n;
}

}  // namespace cvx
