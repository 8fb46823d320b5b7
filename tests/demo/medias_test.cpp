// The six embedded pictures: registered in order, decodable, of the right
// sizes and formats, and drawn the way the demo relies on (tiling layers, a
// far layer without the mask colour, level cells 0 and 11, soft particle edges).
#include <cmath>
#include <cstdlib>

#include "corvex/pixmap/pixelformat.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/stream/embed.h"
#include "tests/demo/demo_fixture.h"

namespace cvx::test {
namespace {

using MediasTest = DemoTest;

struct Argb {
  int a, r, g, b;
};
Argb At(const Ref<TPixmap>& p, int x, int y) {
  std::uint32_t v = PixmapGetPixel(p, x, y);
  return {static_cast<int>(v >> 24), static_cast<int>((v >> 16) & 255), static_cast<int>((v >> 8) & 255),
          static_cast<int>(v & 255)};
}
bool IsBlack(Argb c) { return c.r == 0 && c.g == 0 && c.b == 0; }
int Distance(Argb p, Argb q) { return std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b); }

// Mean colour difference between columns a and b.
double ColumnDifference(const Ref<TPixmap>& p, int a, int b) {
  double sum = 0;
  for (int y = 0; y < p->height; ++y) sum += Distance(At(p, a, y), At(p, b, y));
  return sum / p->height;
}

TEST_F(MediasTest, SixPicturesAreRegisteredInTheirOrder) {
  const char* names[] = {"Medias/Fond_Plan_1.png", "Medias/Fond_Plan_2.png", "Medias/Play_All_Glued2.png",
                         "Medias/fire.tga",        "Medias/bluspark.png",    "Medias/smoke1.png"};
  for (const char* name : names) EXPECT_GT(EmbedSize(String(name)), 0) << name;
  // The table is newest first: from smoke1 back to Fond_Plan_1.
  EmbeddedBlob* blob = EmbedLookup("Medias/smoke1.png"_s);
  for (int i = 5; i >= 0; --i) {
    ASSERT_NE(blob, nullptr);
    EXPECT_EQ(blob->Name(), String(names[i]));
    blob = blob->Next();
  }
}

TEST_F(MediasTest, BackgroundLayersTileAndMaskAsIntended) {
  Ref<TPixmap> far = PixmapLoad("incbin::Medias/Fond_Plan_2.png"_s);
  Ref<TPixmap> near = PixmapLoad("incbin::Medias/Fond_Plan_1.png"_s);
  ASSERT_TRUE(far);
  ASSERT_TRUE(near);
  for (const Ref<TPixmap>& p : {far, near}) {
    EXPECT_EQ(p->width, 1024);
    EXPECT_EQ(p->height, 768);
    EXPECT_EQ(p->format, PIXFMT_RGB888);
    // The right edge runs on into the left edge as smoothly as neighbouring
    // columns run into each other.
    double typical = 0;
    for (int x = 100; x < 1000; x += 100) typical += ColumnDifference(p, x, x + 1) / 9;
    EXPECT_LT(ColumnDifference(p, 1023, 0), 3 * typical + 2);
  }
  // The far layer never uses the mask colour: nothing of it turns transparent.
  int farBlack = 0;
  for (int y = 0; y < 768; ++y)
    for (int x = 0; x < 1024; ++x) farBlack += IsBlack(At(far, x, y));
  EXPECT_EQ(farBlack, 0);
  // Its sky is a deep blue.
  Argb sky = At(far, 10, 10);
  EXPECT_GT(sky.b, sky.r);
  // The near layer is black (see-through) above its silhouette and opaque at the bottom.
  int topBlack = 0, bottomBlack = 0;
  for (int x = 0; x < 1024; ++x) {
    topBlack += IsBlack(At(near, x, 5));
    bottomBlack += IsBlack(At(near, x, 760));
  }
  EXPECT_EQ(topBlack, 1024);
  EXPECT_EQ(bottomBlack, 0);
}

TEST_F(MediasTest, StripHasLevelCellsAndTiltsBetweenThem) {
  Ref<TPixmap> strip = PixmapLoad("incbin::Medias/Play_All_Glued2.png"_s);
  ASSERT_TRUE(strip);
  EXPECT_EQ(strip->width, 2816);
  EXPECT_EQ(strip->height, 128);
  EXPECT_EQ(strip->format, PIXFMT_RGB888);
  auto cellDifference = [&](int a, int b) {
    long sum = 0;
    for (int y = 0; y < 128; ++y)
      for (int x = 0; x < 128; ++x) sum += Distance(At(strip, a * 128 + x, y), At(strip, b * 128 + x, y));
    return sum;
  };
  EXPECT_EQ(cellDifference(0, 11), 0);  // both level
  for (int cell = 1; cell <= 10; ++cell) {
    EXPECT_GT(cellDifference(cell - 1, cell), 0) << cell;
    EXPECT_EQ(cellDifference(cell, cell), 0);
  }
  for (int cell = 12; cell <= 21; ++cell) EXPECT_GT(cellDifference(cell - 1, cell), 0) << cell;
  // Tilting further changes more: the last cell is farther from level than the first step.
  EXPECT_GT(cellDifference(0, 10), cellDifference(0, 1));
  EXPECT_GT(cellDifference(11, 21), cellDifference(11, 12));
  // On black, with the craft near the middle of every cell.
  for (int cell = 0; cell < 22; ++cell) {
    EXPECT_TRUE(IsBlack(At(strip, cell * 128, 0)));
    EXPECT_TRUE(IsBlack(At(strip, cell * 128 + 127, 127)));
    EXPECT_FALSE(IsBlack(At(strip, cell * 128 + 64, 66))) << cell;
  }
}

TEST_F(MediasTest, ParticlePicturesHaveSoftEdges) {
  Ref<TPixmap> fire = PixmapLoad("incbin::Medias/fire.tga"_s);
  ASSERT_TRUE(fire);
  EXPECT_EQ(fire->width, 64);
  EXPECT_EQ(fire->height, 64);
  ASSERT_EQ(PixelFormatAlphaBits[fire->format], 8);
  EXPECT_EQ(At(fire, 0, 0).a, 0);
  EXPECT_EQ(At(fire, 63, 63).a, 0);
  EXPECT_EQ(At(fire, 32, 0).a, 0);
  Argb heart = At(fire, 32, 34);
  EXPECT_GT(heart.a, 200);
  EXPECT_GT(heart.r, 200);
  EXPECT_GT(heart.g, 150);                 // orange-yellow
  EXPECT_LT(At(fire, 32, 50).a, heart.a);  // alpha falls toward the edge
  // The flame stands upright: its tip (the slower falloff) is at the top.
  EXPECT_GT(At(fire, 32, 10).a, At(fire, 32, 58).a);

  Ref<TPixmap> spark = PixmapLoad("incbin::Medias/bluspark.png"_s);
  ASSERT_TRUE(spark);
  EXPECT_EQ(spark->width, 64);
  EXPECT_EQ(spark->format, PIXFMT_RGB888);
  EXPECT_TRUE(IsBlack(At(spark, 0, 0)));
  EXPECT_TRUE(IsBlack(At(spark, 63, 0)));
  Argb glow = At(spark, 32, 20);
  EXPECT_GT(glow.b, glow.r);  // blue around a white heart
  EXPECT_GT(At(spark, 32, 32).r, 150);

  Ref<TPixmap> smoke = PixmapLoad("incbin::Medias/smoke1.png"_s);
  ASSERT_TRUE(smoke);
  EXPECT_EQ(smoke->width, 128);
  EXPECT_EQ(smoke->height, 128);
  Argb corner = At(smoke, 0, 0), middle = At(smoke, 64, 64);
  EXPECT_TRUE(IsBlack(corner));
  EXPECT_GT(middle.r, 80);
  EXPECT_LT(std::abs(middle.r - middle.b), 16);  // grey
  if (PixelFormatAlphaBits[smoke->format] == 8) {
    EXPECT_EQ(corner.a, 0);
    EXPECT_GT(middle.a, 100);
  }
}

}  // namespace
}  // namespace cvx::test
