#include <gtest/gtest.h>

#include <cstring>

#include "corvex/pixmap/pixmap.h"
#include "tests/pixmap/imagefiles.h"

namespace cvx {
namespace {

using test::Bytes;
using test::PixelOf;
using test::Rgba;

Ref<TPixmap> Filled(int w, int h, int format, std::uint32_t argb) {
  Ref<TPixmap> p = PixmapCreate(w, h, format, 4);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) p->SetPixel(x, y, argb);
  }
  return p;
}

TEST(PixmapMask, AllKeyColourGivesAllZeroBytes) {
  Ref<TPixmap> m = PixmapMask(Filled(4, 3, PIXFMT_RGB888, 0xFFFF00FF), 255, 0, 255);
  ASSERT_EQ(m->format, PIXFMT_RGBA8888);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(Bytes(m->PixelAddress(0, y), m->PixelAddress(4, y)), Bytes(16, 0));
}

TEST(PixmapMask, KeyPixelsTakeTheAverageOfVisibleNeighbours) {
  Ref<TPixmap> p = Filled(3, 3, PIXFMT_BGR888, 0xFF0A141E);  // (10, 20, 30)
  p->SetPixel(1, 1, 0xFF000000);
  Ref<TPixmap> m = PixmapMask(p, 0, 0, 0);
  EXPECT_EQ(PixelOf(m, 1, 1), (Rgba{10, 20, 30, 0}));
  EXPECT_EQ(PixelOf(m, 0, 0), (Rgba{10, 20, 30, 255}));

  // A corner key pixel with three visible neighbours: (30+0+60)/3 etc., key
  // neighbours left out of the average.
  Ref<TPixmap> q = Filled(3, 2, PIXFMT_RGBA8888, 0x00000000);
  q->SetPixel(1, 0, 0x11030609);  // visible; its alpha is replaced by 255
  q->SetPixel(1, 1, 0x22060C13);
  Ref<TPixmap> n = PixmapMask(q, 0, 0, 0);
  EXPECT_EQ(PixelOf(n, 0, 0), (Rgba{(3 + 6) / 2, (6 + 12) / 2, (9 + 19) / 2, 0}));
  EXPECT_EQ(PixelOf(n, 1, 0), (Rgba{3, 6, 9, 255}));
  EXPECT_EQ(PixelOf(n, 2, 1), (Rgba{(3 + 6) / 2, (6 + 12) / 2, (9 + 19) / 2, 0}));
}

TEST(PixmapMask, RgbaInputWithAlphaIsMadeOpaqueAndNotChanged) {
  Ref<TPixmap> p = test::PatternPixmap(5, 5, PIXFMT_RGBA8888);
  Bytes before(p->pixels, p->pixels + p->capacity);
  Ref<TPixmap> m = PixmapMask(p, 1, 2, 3);  // no pixel has this colour
  EXPECT_EQ(Bytes(p->pixels, p->pixels + p->capacity), before);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 5; ++x) {
      Rgba want = PixelOf(p, x, y);
      want.a = 255;
      EXPECT_EQ(PixelOf(m, x, y), want);
    }
  }
}

// The masking rules written out plainly over a converted copy: visible pixels
// turn opaque, key pixels transparent with the mean colour of their visible
// 3x3 neighbours (black when there are none).
Ref<TPixmap> MaskModel(const Ref<TPixmap>& source, int red, int green, int blue) {
  Ref<TPixmap> s = source->ConvertTo(PIXFMT_RGBA8888);
  Ref<TPixmap> d = PixmapCreate(s->width, s->height, PIXFMT_RGBA8888, 4);
  auto key = [&](int x, int y) {
    const std::uint8_t* p = s->PixelAddress(x, y);
    return p[0] == red && p[1] == green && p[2] == blue;
  };
  for (int y = 0; y < s->height; ++y) {
    for (int x = 0; x < s->width; ++x) {
      const std::uint8_t* p = s->PixelAddress(x, y);
      std::uint8_t* o = d->PixelAddress(x, y);
      if (!key(x, y)) {
        o[0] = p[0], o[1] = p[1], o[2] = p[2], o[3] = 255;
        continue;
      }
      int n = 0, r = 0, g = 0, b = 0;
      for (int ny = y - 1; ny <= y + 1; ++ny)
        for (int nx = x - 1; nx <= x + 1; ++nx) {
          if (nx < 0 || ny < 0 || nx >= s->width || ny >= s->height || key(nx, ny)) continue;
          const std::uint8_t* q = s->PixelAddress(nx, ny);
          ++n, r += q[0], g += q[1], b += q[2];
        }
      o[0] = static_cast<std::uint8_t>(n ? r / n : 0);
      o[1] = static_cast<std::uint8_t>(n ? g / n : 0);
      o[2] = static_cast<std::uint8_t>(n ? b / n : 0);
      o[3] = 0;
    }
  }
  return d;
}

TEST(PixmapMask, MatchesThePlainRulesInEveryFormatAndShape) {
  std::uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
  const int sizes[][2] = {{1, 1}, {1, 6}, {6, 1}, {2, 2}, {7, 4}, {33, 5}, {64, 3}};
  for (int format = PIXFMT_I8; format <= PIXFMT_RGBA8888; ++format) {
    for (const auto& size : sizes) {
      Ref<TPixmap> p = PixmapCreate(size[0], size[1], format, 4);
      // The key is what the format makes of grey 0x40; about half the pixels
      // carry it, in runs and at every edge.
      p->SetPixel(0, 0, 0xFF404040);
      const std::uint32_t keyArgb = p->GetPixel(0, 0);
      for (int y = 0; y < size[1]; ++y)
        for (int x = 0; x < size[0]; ++x)
          p->SetPixel(x, y, next() % 2 ? keyArgb : (next() | 0xFF000000u));
      const int r = keyArgb >> 16 & 255, g = keyArgb >> 8 & 255, b = keyArgb & 255;
      Ref<TPixmap> got = PixmapMask(p, r, g, b), want = MaskModel(p, r, g, b);
      ASSERT_EQ(got->width, size[0]);
      for (int y = 0; y < size[1]; ++y)
        ASSERT_EQ(Bytes(got->PixelAddress(0, y), got->PixelAddress(size[0], y)),
                  Bytes(want->PixelAddress(0, y), want->PixelAddress(size[0], y)))
            << "format " << format << ", " << size[0] << "x" << size[1] << ", row " << y;
    }
  }
  // A key component outside 0..255 matches nothing: every pixel turns opaque.
  Ref<TPixmap> q = Filled(3, 3, PIXFMT_RGB888, 0xFF000000);
  Ref<TPixmap> m = PixmapMask(q, 256, 0, 0);
  EXPECT_EQ(PixelOf(m, 1, 1), (Rgba{0, 0, 0, 255}));
  EXPECT_EQ(PixelOf(PixmapMask(q, -256, 0, 0), 2, 2), (Rgba{0, 0, 0, 255}));
}

TEST(PixmapFlip, MirrorsInEveryFormat) {
  for (int f = PIXFMT_I8; f <= PIXFMT_RGBA8888; ++f) {
    Ref<TPixmap> p = test::PatternPixmap(5, 3, f);
    Ref<TPixmap> x = PixmapFlipX(p), y = PixmapFlipY(p);
    ASSERT_EQ(x->format, f);
    ASSERT_EQ(y->format, f);
    for (int j = 0; j < 3; ++j) {
      for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(x->GetPixel(i, j), p->GetPixel(4 - i, j)) << f;
        EXPECT_EQ(y->GetPixel(i, j), p->GetPixel(i, 2 - j)) << f;
      }
    }
    Ref<TPixmap> twice = PixmapFlipX(x);
    for (int j = 0; j < 3; ++j) {
      EXPECT_EQ(Bytes(twice->PixelAddress(0, j), twice->PixelAddress(5, j)),
                Bytes(p->PixelAddress(0, j), p->PixelAddress(5, j)));
    }
  }
}

TEST(PixmapFlip, WindowWithWidePitch) {
  Ref<TPixmap> parent = test::PatternPixmap(10, 10, PIXFMT_RGB888);
  Ref<TPixmap> w = parent->SubWindow(3, 2, 4, 5);
  Ref<TPixmap> y = PixmapFlipY(w);
  EXPECT_EQ(y->pitch, 12);
  for (int j = 0; j < 5; ++j) {
    for (int i = 0; i < 4; ++i) EXPECT_EQ(y->GetPixel(i, j), parent->GetPixel(3 + i, 2 + 4 - j));
  }
}

TEST(PixmapResize, OnePixelIsRepeated) {
  Ref<TPixmap> p = Filled(1, 1, PIXFMT_RGB888, 0xFF405060);
  Ref<TPixmap> r = PixmapResize(p, 4, 4);
  ASSERT_EQ(r->format, PIXFMT_RGB888);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(r->GetPixel(x, y), 0xFF405060u);
  }
}

TEST(PixmapResize, UpscalesWithHalfPixelCentresAndClampedEdges) {
  Ref<TPixmap> p = PixmapCreate(2, 1, PIXFMT_I8, 4);
  p->pixels[0] = 0, p->pixels[1] = 255;
  Ref<TPixmap> r = PixmapResize(p, 4, 1);
  EXPECT_EQ(Bytes(r->pixels, r->pixels + 4), Bytes({0, 63, 191, 255}));

  // The same along columns.
  Ref<TPixmap> c = PixmapCreate(1, 2, PIXFMT_A8, 4);
  c->PixelAddress(0, 0)[0] = 0, c->PixelAddress(0, 1)[0] = 255;
  Ref<TPixmap> rc = PixmapResize(c, 1, 4);
  Bytes column;
  for (int y = 0; y < 4; ++y) column.push_back(rc->PixelAddress(0, y)[0]);
  EXPECT_EQ(column, Bytes({0, 63, 191, 255}));
}

TEST(PixmapResize, BilinearInTwoDimensionsTruncates) {
  // 2 x 2 red channel 0, 100 / 200, 255 sampled at the centre of a 3 x 3
  // result: sx = sy = 1.5 * 2/3 - 0.5 = 0.5 (computed as float).
  Ref<TPixmap> p = PixmapCreate(2, 2, PIXFMT_RGBA8888, 4);
  p->SetPixel(0, 0, 0xFF000000), p->SetPixel(1, 0, 0xFF640000);
  p->SetPixel(0, 1, 0xFFC80000), p->SetPixel(1, 1, 0xFFFF0000);
  Ref<TPixmap> r = PixmapResize(p, 3, 3);
  float s = (1.0f + 0.5f) * (2.0f / 3.0f) - 0.5f;
  float top = 0 + 100 * s, bottom = 200 + 55 * s;
  EXPECT_EQ(PixelOf(r, 1, 1).r, static_cast<int>(top + (bottom - top) * s));
  EXPECT_EQ(PixelOf(r, 1, 1).a, 255);
  EXPECT_EQ(PixelOf(r, 0, 0).r, 0);  // clamped corners keep their pixels
  EXPECT_EQ(PixelOf(r, 2, 2).r, 255);
  EXPECT_EQ(PixelOf(r, 2, 0).r, 100);
}

TEST(PixmapResize, ShrinkingSamplesAtMostFourPixels) {
  // A 4 x 1 row 0, 0, 255, 255 halved: centres at 0.5 and 2.5 blend
  // neighbours 0/1 and 2/3 only, never across the middle.
  Ref<TPixmap> p = PixmapCreate(4, 1, PIXFMT_I8, 4);
  std::memcpy(p->pixels, "\x00\x00\xFF\xFF", 4);
  Ref<TPixmap> r = PixmapResize(p, 2, 1);
  EXPECT_EQ(Bytes(r->pixels, r->pixels + 2), Bytes({0, 255}));
}

TEST(PixmapResize, KeepsTheFormatAndHandlesAnEmptySource) {
  Ref<TPixmap> p = test::PatternPixmap(8, 6, PIXFMT_BGRA8888);
  Ref<TPixmap> same = PixmapResize(p, 8, 6);
  ASSERT_EQ(same->format, PIXFMT_BGRA8888);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 8; ++x) EXPECT_EQ(same->GetPixel(x, y), p->GetPixel(x, y));
  }
  Ref<TPixmap> empty = PixmapCreate(0, 0, PIXFMT_RGB888, 4);
  Ref<TPixmap> r = PixmapResize(empty, 3, 2);
  EXPECT_EQ(r->width, 3);
  for (int y = 0; y < 2; ++y) EXPECT_EQ(Bytes(r->PixelAddress(0, y), r->PixelAddress(3, y)), Bytes(9, 0));
}

}  // namespace
}  // namespace cvx
