// corvex-medias [output directory]: draws the demo's six pictures.
//
//   Fond_Plan_2.png      1024x768 RGB   far layer: night sky, stars, moon, distant mountains
//   Fond_Plan_1.png      1024x768 RGB   near layer: hills, pines and a ruined keep on black
//   Play_All_Glued2.png  2816x128 RGB   22 cells of a small craft: level in 0 and 11,
//                                       nose down step by step in 1..10, up in 12..21
//   fire.tga             64x64 RGBA     soft flame blob, alpha falling to 0 at its edge
//   bluspark.png         64x64 RGB      blue-white glow on black
//   smoke1.png           128x128 palette  grey puff on black
//
// Both layers repeat every 1024 pixels (all horizontal noise wraps), so two
// copies side by side join without a seam. Black is the mask colour of the
// masked images: the far layer never uses it, the near layer is black wherever
// the far layer must show through, and the sprite's own dark parts are lifted
// just above it.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "canvas.h"

namespace {

using medias::Add;
using medias::Canvas;
using medias::Clamp01;
using medias::Colour;
using medias::Fractal;
using medias::HashUnit;
using medias::Mix;
using medias::Scale;
using medias::SmoothStep;

constexpr float kPi = 3.14159265358979f;
constexpr int kLayerWidth = 1024;
constexpr int kLayerHeight = 768;

Colour Rgb(int r, int g, int b) { return {r / 255.0f, g / 255.0f, b / 255.0f}; }

// Horizontal distance on a ring of the layer's width.
float WrappedDx(float a, float b) {
  float d = std::fmod(a - b, static_cast<float>(kLayerWidth));
  if (d > kLayerWidth / 2) d -= kLayerWidth;
  if (d < -kLayerWidth / 2) d += kLayerWidth;
  return d;
}

// ---- far layer --------------------------------------------------------------

Canvas DrawFarLayer() {
  Canvas c(kLayerWidth, kLayerHeight);
  const Colour zenith = Rgb(5, 9, 32), middle = Rgb(18, 30, 78), horizon = Rgb(52, 68, 128);
  for (int y = 0; y < kLayerHeight; ++y) {
    float t = static_cast<float>(y) / 560.0f;
    Colour sky =
        t < 0.7f ? Mix(zenith, middle, SmoothStep(0, 0.7f, t)) : Mix(middle, horizon, SmoothStep(0.7f, 1.0f, t));
    for (int x = 0; x < kLayerWidth; ++x) c.At(x, y) = sky;
  }

  // A faint band of distant stars winding across the sky.
  for (int y = 0; y < 560; ++y) {
    for (int x = 0; x < kLayerWidth; ++x) {
      float centre = 230.0f + 110.0f * std::sin(2 * kPi * x / kLayerWidth + 0.6f);
      float d = (y - centre) / 75.0f;
      float band = std::exp(-d * d);
      float clouds = Fractal(x * 16.0f / kLayerWidth, y / 64.0f, 5, 11, 16);
      float glow = band * SmoothStep(0.35f, 0.8f, clouds) * 0.16f;
      c.At(x, y) = Add(c.At(x, y), Scale(Rgb(150, 160, 220), glow));
    }
  }

  // The moon with its halo.
  const float moonX = 780, moonY = 118, moonR = 26;
  for (int y = 0; y < 360; ++y) {
    for (int x = 0; x < kLayerWidth; ++x) {
      float dx = WrappedDx(static_cast<float>(x), moonX), dy = y - moonY;
      float d = std::sqrt(dx * dx + dy * dy);
      if (d < moonR + 1) {
        float edge = Clamp01(moonR + 0.5f - d);
        float maria = Fractal((dx + 40) / 9.0f, (dy + 40) / 9.0f, 3, 23);
        float limb = 1.0f - 0.25f * (d / moonR) * (d / moonR);
        Colour surface = Scale(Mix(Rgb(236, 236, 222), Rgb(180, 186, 196), SmoothStep(0.45f, 0.75f, maria)), limb);
        c.At(x, y) = Mix(c.At(x, y), surface, edge);
      }
      if (d >= moonR - 1)
        c.At(x, y) = Add(c.At(x, y), Scale(Rgb(120, 140, 200), 0.35f * std::exp(-(d - moonR) / 38.0f)));
    }
  }

  // Stars: mostly faint points, a few bright ones with a soft glow and rays.
  for (int i = 0; i < 1400; ++i) {
    float sx = HashUnit(i, 1, 5) * kLayerWidth;
    float sy = HashUnit(i, 2, 5) * 580;
    float u = HashUnit(i, 3, 5);
    float brightness = 0.12f + 0.88f * u * u * u * u;
    float tint = HashUnit(i, 4, 5);
    Colour colour = tint < 0.6f ? Rgb(225, 232, 255) : (tint < 0.85f ? Rgb(255, 255, 255) : Rgb(255, 236, 200));
    float fade = 1.0f - SmoothStep(380, 580, sy);  // haze near the horizon
    float mdx = WrappedDx(sx, moonX), mdy = sy - moonY;
    if (mdx * mdx + mdy * mdy < 60 * 60) continue;  // the moon outshines them
    brightness *= fade;
    int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
    if (brightness > 0.55f) {
      for (int dy = -4; dy <= 4; ++dy) {
        for (int dx = -4; dx <= 4; ++dx) {
          float r2 = static_cast<float>(dx * dx + dy * dy);
          float glow = std::exp(-r2 / 1.6f) * brightness;
          if (dx == 0 || dy == 0) glow += brightness * 0.35f * std::exp(-std::fabs(static_cast<float>(dx + dy)) / 1.5f);
          c.AddLight(ix + dx, iy + dy, Scale(colour, glow), true);
        }
      }
    } else {
      c.AddLight(ix, iy, Scale(colour, brightness), true);
      c.AddLight(ix + 1, iy, Scale(colour, brightness * 0.25f), true);
      c.AddLight(ix, iy + 1, Scale(colour, brightness * 0.25f), true);
    }
  }

  // Two ranges of mountains, the farther one paler in the haze. Each range is
  // a row of peaks; a pixel belongs to the nearest peak whose flank covers it.
  // Flanks facing the moon (on the right) are lit, the others in shade, with
  // gullies running down the slopes and snow on the nearer range's summits.
  struct Range {
    int peaks;
    std::uint32_t seed;
    float apexLow, apexHigh;  // apex heights (y) range
    Colour lit, shade;
    bool snow;
  };
  const Range ranges[] = {
      {7, 31, 360, 440, Rgb(52, 70, 128), Rgb(30, 42, 92), false},
      {9, 47, 430, 520, Rgb(36, 50, 104), Rgb(14, 21, 56), true},
  };
  for (const Range& r : ranges) {
    struct Peak {
      float x, apex, slopeLeft, slopeRight, depth;
    };
    std::vector<Peak> peaks;
    for (int i = 0; i < r.peaks; ++i) {
      float x = (i + 0.25f + 0.5f * HashUnit(i, 0, r.seed)) * kLayerWidth / r.peaks;
      float apex = r.apexLow + (r.apexHigh - r.apexLow) * HashUnit(i, 1, r.seed);
      peaks.push_back({x, apex, 0.55f + 0.5f * HashUnit(i, 2, r.seed), 0.55f + 0.5f * HashUnit(i, 3, r.seed),
                       HashUnit(i, 4, r.seed)});
    }
    for (int x = 0; x < kLayerWidth; ++x) {
      // Rough ridge lines: periodic noise added to every flank.
      float rough = (Fractal(x * 32.0f / kLayerWidth, 0.5f, 4, r.seed + 3, 32) - 0.5f) * 26.0f;
      for (int y = 0; y < kLayerHeight; ++y) {
        const Peak* owner = nullptr;
        float ownerTop = 0, ownerDx = 0;
        for (const Peak& p : peaks) {
          float dx = WrappedDx(static_cast<float>(x), p.x);
          float top = p.apex + std::fabs(dx) * (dx < 0 ? p.slopeLeft : p.slopeRight) + rough;
          if (y >= top && (!owner || p.depth < owner->depth)) {
            owner = &p;
            ownerTop = top;
            ownerDx = dx;
          }
        }
        if (!owner) continue;
        float below = y - ownerTop;
        // The crest between the two flanks wanders as it runs down.
        float crest = (Fractal(y / 24.0f, owner->x / 50.0f, 3, r.seed + 9) - 0.5f) * (10.0f + below * 0.5f);
        bool litSide = ownerDx > crest;
        float gully = Fractal((ownerDx + below * (ownerDx < 0 ? 0.6f : -0.6f)) / 5.0f, below / 40.0f, 3, r.seed + 13);
        Colour rock = litSide ? r.lit : r.shade;
        rock = Scale(rock, 0.82f + 0.36f * gully);
        // Faces darken a little toward their feet.
        rock = Mix(rock, r.shade, SmoothStep(0, 220, below) * (litSide ? 0.5f : 0.2f));
        if (r.snow) {
          float snowDepth = 22.0f + 40.0f * Fractal(x * 64.0f / kLayerWidth, 0.3f, 2, r.seed + 17, 64);
          float summit = SmoothStep(r.apexHigh + 10, r.apexLow, ownerTop);  // higher crests hold more snow
          if (below < snowDepth * summit * (0.55f + 0.6f * gully))
            rock = Mix(rock, litSide ? Rgb(196, 210, 240) : Rgb(110, 126, 176), 0.85f);
        }
        // Mist gathering toward the valleys.
        float mist = SmoothStep(520, 700, static_cast<float>(y)) * 0.45f;
        c.At(x, y) = Mix(rock, Rgb(44, 58, 110), mist);
      }
    }
  }
  // Never pure black: black is the mask colour.
  for (int y = 0; y < kLayerHeight; ++y) {
    for (int x = 0; x < kLayerWidth; ++x) {
      Colour& p = c.At(x, y);
      if (p.b < 0.05f) p.b = 0.05f;
    }
  }
  return c;
}

// ---- near layer -------------------------------------------------------------

struct Mask {
  std::vector<unsigned char> bits = std::vector<unsigned char>(static_cast<std::size_t>(kLayerWidth) * kLayerHeight, 0);
  void Set(int x, int y, unsigned char v = 1) {
    x %= kLayerWidth;
    if (x < 0) x += kLayerWidth;
    if (y < 0 || y >= kLayerHeight) return;
    bits[static_cast<std::size_t>(y) * kLayerWidth + x] = v;
  }
  bool Get(int x, int y) const {
    x %= kLayerWidth;
    if (x < 0) x += kLayerWidth;
    if (y < 0 || y >= kLayerHeight) return y >= kLayerHeight;
    return bits[static_cast<std::size_t>(y) * kLayerWidth + x] != 0;
  }
};

float GroundTop(float x) {
  float u = x * 5.0f / kLayerWidth;
  return 650.0f - 95.0f * Fractal(u, 0.5f, 4, 61, 5);
}

void Pine(Mask& m, int x, float baseY, float height, std::uint32_t seed) {
  int trunkTop = static_cast<int>(baseY - height * 0.25f);
  for (int y = trunkTop; y <= static_cast<int>(baseY) + 4; ++y)
    for (int dx = -1; dx <= 1; ++dx) m.Set(x + dx, y);
  const int tiers = 3 + static_cast<int>(HashUnit(static_cast<int>(seed), 1, 71) * 2);
  for (int t = 0; t < tiers; ++t) {
    float tierBottom = baseY - height * (0.18f + 0.8f * t / tiers);
    float tierTop = tierBottom - height * 0.42f;
    float halfWidth = height * (0.30f - 0.05f * t);
    for (int y = static_cast<int>(tierTop); y <= static_cast<int>(tierBottom); ++y) {
      float k = (y - tierTop) / (tierBottom - tierTop);
      float w = halfWidth * k;
      // Ragged needles along the edges.
      float rag = HashUnit(x * 7 + y, t, seed) * 2.5f;
      for (int dx = static_cast<int>(-w - rag); dx <= static_cast<int>(w + rag); ++dx) m.Set(x + dx, y);
    }
  }
}

void RoundTree(Mask& m, int x, float baseY, float height, std::uint32_t seed) {
  for (int y = static_cast<int>(baseY - height * 0.5f); y <= static_cast<int>(baseY) + 4; ++y)
    for (int dx = -2; dx <= 2; ++dx) m.Set(x + dx, y);
  float crownR = height * 0.32f;
  for (int b = 0; b < 7; ++b) {
    float cx = x + (HashUnit(b, 1, seed) - 0.5f) * crownR * 1.4f;
    float cy = baseY - height * 0.62f + (HashUnit(b, 2, seed) - 0.5f) * crownR * 1.1f;
    float r = crownR * (0.55f + 0.4f * HashUnit(b, 3, seed));
    for (int y = static_cast<int>(cy - r - 3); y <= static_cast<int>(cy + r + 3); ++y) {
      for (int xx = static_cast<int>(cx - r - 3); xx <= static_cast<int>(cx + r + 3); ++xx) {
        float dx = xx - cx, dy = y - cy;
        float edge = r + 2.5f * (Fractal(xx / 3.0f, y / 3.0f, 2, seed) - 0.5f);
        if (dx * dx + dy * dy <= edge * edge) m.Set(xx, y);
      }
    }
  }
}

// A broken keep with a lancet window and a stretch of arcaded wall.
void Ruins(Mask& m, int left) {
  auto column = [&](int x, float top, float bottom) {
    for (int y = static_cast<int>(top); y <= static_cast<int>(bottom); ++y) m.Set(x, y);
  };
  // Keep: 70 wide, broken top, a few crenels left on its left side.
  const int keepLeft = left, keepWidth = 70;
  float keepBase = GroundTop(keepLeft + keepWidth / 2.0f) + 10;
  for (int i = 0; i < keepWidth; ++i) {
    float broken =
        i < 26 ? (((i / 7) % 2 == 0) ? 0.0f : 9.0f) : 18.0f + 55.0f * SmoothStep(26, 70, i) + 10 * HashUnit(i, 0, 83);
    column(keepLeft + i, keepBase - 250 + broken, keepBase + 30);
  }
  // Lancet window and an arrow slit, cut back to black.
  for (int y = 0; y < 60; ++y) {
    float halfWidth = y < 12 ? 9.0f * std::sqrt(y / 12.0f) : 9.0f;
    for (int dx = static_cast<int>(-halfWidth); dx <= static_cast<int>(halfWidth); ++dx)
      m.Set(keepLeft + 35 + dx, static_cast<int>(keepBase - 200) + y, 0);
  }
  for (int y = 0; y < 26; ++y)
    m.Set(keepLeft + 20, static_cast<int>(keepBase - 110) + y, 0),
        m.Set(keepLeft + 21, static_cast<int>(keepBase - 110) + y, 0);
  // Arcaded wall to the right of the keep, crumbling toward its far end.
  const int wallLeft = keepLeft + keepWidth, wallWidth = 150;
  for (int i = 0; i < wallWidth; ++i) {
    float base = GroundTop(static_cast<float>(wallLeft + i)) + 10;
    float top = keepBase - 120 + 60 * SmoothStep(60, 150, i) + 14 * HashUnit(i / 4, 1, 89);
    column(wallLeft + i, top, base);
    // Round arches, 30 wide, every 45 pixels.
    int inArch = i % 45;
    if (inArch >= 8 && inArch < 38) {
      float ax = inArch - 23.0f;
      float archTop = keepBase - 75 + 15 - std::sqrt(std::max(0.0f, 225.0f - ax * ax));
      for (int y = static_cast<int>(archTop);
           y < static_cast<int>(base) - 2 && y < static_cast<int>(GroundTop(static_cast<float>(wallLeft + i))) - 1; ++y)
        m.Set(wallLeft + i, y, 0);
    }
  }
}

Canvas DrawNearLayer() {
  Mask m;
  for (int x = 0; x < kLayerWidth; ++x) {
    float top = GroundTop(static_cast<float>(x));
    for (int y = static_cast<int>(top); y < kLayerHeight; ++y) m.Set(x, y);
    // Grass tufts along the crest.
    if (HashUnit(x, 0, 97) < 0.45f) {
      int blade = 1 + static_cast<int>(HashUnit(x, 1, 97) * 7);
      for (int y = 0; y < blade; ++y) m.Set(x, static_cast<int>(top) - y);
    }
  }
  const int ruinsLeft = 420;
  Ruins(m, ruinsLeft);
  // Trees: eight groves of pines with a few broad trees, none in front of the ruins.
  for (int grove = 0; grove < 8; ++grove) {
    float centre = grove * 128.0f + 64.0f + (HashUnit(grove, 0, 101) - 0.5f) * 60.0f;
    int trees = 3 + static_cast<int>(HashUnit(grove, 1, 101) * 4);
    for (int t = 0; t < trees; ++t) {
      int i = grove * 16 + t;
      int ix = static_cast<int>(centre + (HashUnit(i, 1, 103) - 0.5f) * 120.0f + kLayerWidth) % kLayerWidth;
      if (ix > ruinsLeft - 30 && ix < ruinsLeft + 240) continue;
      float h = 45.0f + 95.0f * HashUnit(i, 2, 103);
      float base = GroundTop(static_cast<float>(ix)) + 6;
      if (HashUnit(i, 3, 103) < 0.8f)
        Pine(m, ix, base, h, 200u + static_cast<std::uint32_t>(i));
      else
        RoundTree(m, ix, base, h * 0.9f, 300u + static_cast<std::uint32_t>(i));
    }
  }

  Canvas c(kLayerWidth, kLayerHeight);
  for (int y = 0; y < kLayerHeight; ++y) {
    for (int x = 0; x < kLayerWidth; ++x) {
      if (!m.Get(x, y)) continue;  // stays black: the far layer shows
      // Distance to the silhouette's upper edge, for the moonlit rim.
      int rim = 0;
      while (rim < 4 && m.Get(x, y - rim - 1)) ++rim;
      float grain = Fractal(x / 8.0f, y / 8.0f, 3, 113, kLayerWidth / 8);
      float depth = SmoothStep(520, 768, static_cast<float>(y));
      Colour body = Mix(Rgb(20, 27, 44), Rgb(9, 12, 22), depth);
      body = Scale(body, 0.85f + 0.3f * grain);
      if (rim < 4) body = Mix(body, Rgb(70, 88, 132), (4 - rim) / 4.0f * 0.75f);
      c.At(x, y) = body;
    }
  }
  return c;
}

// ---- player strip -------------------------------------------------------------

constexpr int kCell = 128;
constexpr int kFrames = 22;

struct Point {
  float x, y;
};

bool InPolygon(const std::vector<Point>& poly, float x, float y) {
  bool inside = false;
  for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
    if ((poly[i].y > y) != (poly[j].y > y) &&
        x < (poly[j].x - poly[i].x) * (y - poly[i].y) / (poly[j].y - poly[i].y) + poly[i].x)
      inside = !inside;
  }
  return inside;
}

// The craft at rest, facing right, in cell coordinates. Returns whether (u, v)
// is on it and its colour there.
bool Craft(float u, float v, Colour& out) {
  static const std::vector<Point> fin = {{22, 61}, {44, 61}, {33, 36}, {24, 36}};
  static const std::vector<Point> wing = {{46, 71}, {82, 71}, {62, 85}, {40, 85}};
  static const std::vector<Point> tailplane = {{20, 68}, {38, 68}, {28, 75}, {18, 75}};

  // Exhaust glow inside the nozzle (the fire trail starts here).
  if (u >= 13 && u < 18 && v >= 62 && v < 72) {
    float k = 1.0f - std::fabs(v - 67) / 5.0f;
    out = Mix(Rgb(230, 90, 20), Rgb(255, 236, 150), k);
    return true;
  }
  // Nozzle: a dark metal collar with two bright rings.
  if (u >= 17 && u < 26 && v >= 60 && v < 74) {
    float ring = (static_cast<int>(u) == 19 || static_cast<int>(u) == 23) ? 0.18f : 0.0f;
    float shade = 1.0f - std::fabs(v - 66) / 9.0f;
    out = Add(Scale(Rgb(70, 74, 88), 0.6f + 0.5f * shade), {ring, ring, ring});
    return true;
  }
  // Canopy: glass with a highlight toward its front top.
  {
    float du = (u - 80) / 16.0f, dv = (v - 57) / 8.0f;
    if (du * du + dv * dv <= 1 && v < 61) {
      float h = Clamp01(1.0f - std::sqrt((u - 86) * (u - 86) + (v - 53) * (v - 53)) / 10.0f);
      out = Mix(Rgb(20, 70, 130), Rgb(190, 235, 255), h);
      if (du * du + dv * dv > 0.8f) out = Rgb(60, 66, 80);  // frame
      return true;
    }
  }
  // Near-side wing, over the hull.
  if (InPolygon(wing, u, v)) {
    float k = (v - 71) / 14.0f;
    out = Mix(Rgb(150, 156, 172), Rgb(70, 76, 94), k);
    if (v < 72.5f) out = Rgb(200, 206, 218);                                           // leading edge catches the light
    if (u > 68 - (v - 71) * 1.4f && u < 74 - (v - 71) * 1.4f) out = Rgb(200, 40, 32);  // roundel band
    return true;
  }
  // Hull: rounded at the rear, pointed at the nose, lit from above.
  if (u >= 24 && u <= 112) {
    float t = (u - 66) / 46.0f;
    float half = t < 0 ? 12.0f * std::sqrt(std::max(0.0f, 1 - t * t)) : 12.0f * (1 - t * t);
    half = std::max(half, u < 30 ? 8.0f : 0.0f);
    float centre = 66 + (t > 0 ? t * t * 3.0f : 0.0f);  // the nose droops a little
    if (std::fabs(v - centre) <= half) {
      float s = (v - (centre - half)) / (2 * half);
      out = Mix(Rgb(226, 230, 238), Rgb(72, 78, 96), std::pow(s, 0.8f));
      if (s > 0.12f && s < 0.24f) out = Add(out, {0.08f, 0.08f, 0.08f});
      if (v >= 67 && v < 70 && u > 30 && u < 106) out = Rgb(210, 44, 34);                  // stripe
      if (static_cast<int>(u) == 52 || static_cast<int>(u) == 96) out = Scale(out, 0.7f);  // panel seams
      return true;
    }
  }
  if (InPolygon(fin, u, v)) {
    out = Mix(Rgb(170, 176, 190), Rgb(110, 116, 134), (v - 36) / 25.0f);
    if (v < 42) out = Rgb(210, 44, 34);
    return true;
  }
  if (InPolygon(tailplane, u, v)) {
    out = Rgb(120, 126, 142);
    return true;
  }
  return false;
}

float TiltDegrees(int frame) {
  if (frame >= 1 && frame <= 10) return 3.0f * frame;           // nose down
  if (frame >= 12 && frame <= 21) return -3.0f * (frame - 11);  // nose up
  return 0.0f;
}

std::vector<std::uint8_t> DrawStrip() {
  const int width = kCell * kFrames;
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * kCell * 3, 0);
  const float pivotX = 64, pivotY = 66;
  const int sub = 4;
  for (int f = 0; f < kFrames; ++f) {
    float a = TiltDegrees(f) * kPi / 180.0f;
    float ca = std::cos(a), sa = std::sin(a);
    for (int py = 0; py < kCell; ++py) {
      for (int px = 0; px < kCell; ++px) {
        Colour sum;
        int hits = 0;
        for (int j = 0; j < sub; ++j) {
          for (int i = 0; i < sub; ++i) {
            float dx = px + (i + 0.5f) / sub - pivotX, dy = py + (j + 0.5f) / sub - pivotY;
            // Back from screen to the craft's own frame: rotate by -a.
            float u = pivotX + ca * dx + sa * dy, v = pivotY - sa * dx + ca * dy;
            Colour c;
            if (Craft(u, v, c)) {
              sum = Add(sum, c);
              ++hits;
            }
          }
        }
        // Coverage of at least half the pixel makes it part of the craft; its
        // colour is the average of the covered samples only, so the masked
        // edge has no dark fringe.
        if (hits * 2 < sub * sub) continue;
        Colour c = Scale(sum, 1.0f / hits);
        std::size_t at = (static_cast<std::size_t>(py) * width + f * kCell + px) * 3;
        rgb[at] = medias::ToByte(c.r);
        rgb[at + 1] = medias::ToByte(c.g);
        rgb[at + 2] = std::max<std::uint8_t>(medias::ToByte(c.b), 8);  // never the mask colour
      }
    }
  }
  return rgb;
}

// ---- particles ------------------------------------------------------------------

std::vector<std::uint8_t> DrawFire() {
  const int n = 64;
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(n) * n * 4);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      float dx = (x + 0.5f - 32) / 28.0f;
      float dy = (y + 0.5f - 35) / 27.0f;
      if (dy < 0) dy /= 1.1f;  // a little taller above its heart, like a flame
      float r = std::sqrt(dx * dx + dy * dy);
      r += (Fractal(x / 7.0f, y / 7.0f, 3, 131) - 0.5f) * 0.18f * r;
      float alpha = std::pow(Clamp01(1.0f - r), 1.1f);
      Colour c = r < 0.45f ? Mix(Rgb(255, 250, 205), Rgb(255, 190, 60), SmoothStep(0.0f, 0.45f, r))
                           : Mix(Rgb(255, 170, 40), Rgb(235, 80, 10), SmoothStep(0.45f, 1.0f, r));
      std::size_t at = (static_cast<std::size_t>(y) * n + x) * 4;
      rgba[at] = medias::ToByte(c.r);
      rgba[at + 1] = medias::ToByte(c.g);
      rgba[at + 2] = medias::ToByte(c.b);
      rgba[at + 3] = medias::ToByte(alpha);
    }
  }
  return rgba;
}

std::vector<std::uint8_t> DrawSpark() {
  const int n = 64;
  Canvas c(n, n);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      float dx = (x + 0.5f - 32) / 32.0f, dy = (y + 0.5f - 32) / 32.0f;
      float d = std::sqrt(dx * dx + dy * dy);
      if (d >= 1) continue;
      float fall = (1 - d) * (1 - d);
      float core = std::exp(-(d / 0.13f) * (d / 0.13f));
      float glow = fall;
      float rays = (std::exp(-std::pow(dy * 26, 2.0f)) + std::exp(-std::pow(dx * 26, 2.0f))) * fall * fall;
      Colour p = Scale(Rgb(255, 255, 255), core * 0.7f);
      p = Add(p, Scale(Rgb(60, 130, 255), glow * 0.6f));
      p = Add(p, Scale(Rgb(170, 210, 255), rays * 0.4f));
      c.At(x, y) = p;
    }
  }
  return c.ToRgb8();
}

std::vector<std::uint8_t> DrawSmoke() {
  const int n = 128;
  std::vector<std::uint8_t> indices(static_cast<std::size_t>(n) * n, 0);
  struct Blob {
    float x, y, r;
  };
  std::vector<Blob> blobs;
  for (int i = 0; i < 9; ++i) {
    float a = HashUnit(i, 0, 151) * 2 * kPi, d = 12.0f + 14.0f * HashUnit(i, 1, 151);
    blobs.push_back({64 + std::cos(a) * d, 64 + std::sin(a) * d, 16.0f + 10.0f * HashUnit(i, 2, 151)});
  }
  blobs.push_back({64, 64, 26});
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      float density = 0;
      for (const Blob& b : blobs) {
        float dx = x + 0.5f - b.x, dy = y + 0.5f - b.y;
        density += std::exp(-(dx * dx + dy * dy) / (b.r * b.r));
      }
      float billow = Fractal(x / 10.0f, y / 10.0f, 4, 157);
      density *= 0.25f + 1.2f * billow * billow;
      float edge = std::sqrt((x + 0.5f - 64) * (x + 0.5f - 64) + (y + 0.5f - 64) * (y + 0.5f - 64)) / 64.0f;
      density *= 1.0f - SmoothStep(0.3f, 1.0f, edge);
      float grey = Clamp01(1.0f - std::exp(-density * 0.9f)) * 0.85f;
      indices[static_cast<std::size_t>(y) * n + x] = medias::ToByte(grey);
    }
  }
  return indices;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = argc > 1 ? argv[1] : "demo/Medias";
  auto path = [&](const char* name) { return dir + "/" + name; };
  // Smoke palette: entry i is a puff density. Its grey darkens toward the thin
  // edge (so the picture reads as a puff on black) and its opacity follows the
  // density, so that alpha-blended puffs fade out softly instead of leaving
  // dark rims over one another.
  std::vector<Colour> greys;
  std::vector<float> opacity;
  for (int i = 0; i < 256; ++i) {
    float density = i / 255.0f;
    greys.push_back(Scale(Rgb(196, 198, 204), std::sqrt(density)));
    opacity.push_back(density);
  }
  greys[0] = Rgb(0, 0, 0);

  bool ok = true;
  ok &= medias::WritePngRgb(path("Fond_Plan_2.png"), kLayerWidth, kLayerHeight, DrawFarLayer().ToRgb8());
  ok &= medias::WritePngRgb(path("Fond_Plan_1.png"), kLayerWidth, kLayerHeight, DrawNearLayer().ToRgb8());
  ok &= medias::WritePngRgb(path("Play_All_Glued2.png"), kCell * kFrames, kCell, DrawStrip());
  ok &= medias::WriteTga32(path("fire.tga"), 64, 64, DrawFire());
  ok &= medias::WritePngRgb(path("bluspark.png"), 64, 64, DrawSpark());
  ok &= medias::WritePngPalette(path("smoke1.png"), 128, 128, DrawSmoke(), greys, opacity);
  if (!ok) {
    std::fprintf(stderr, "corvex-medias: some pictures could not be written\n");
    return 1;
  }
  return 0;
}
