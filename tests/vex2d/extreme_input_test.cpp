// Drawing, image fonts and collision layers on bad and extreme input: nothing
// crashes, hangs or grows without bound, and the state afterwards is sound.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/error.h"
#include "corvex/vex2d/collision.h"
#include "corvex/vex2d/glyphfont.h"
#include "corvex/vex2d/image.h"
#include "corvex/vex2d/vex2d.h"
#include "tests/vex2d/fake_driver.h"

namespace cvx {
namespace {

class ExtremeInput : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetDrawState();
    ClearLayers(0);
  }
};

// An image whose pixels are opaque where solid(x, y) holds, transparent elsewhere.
template <class F>
Ref<TImage> ImageOf(int w, int h, F solid) {
  Ref<TPixmap> p = PixmapCreate(w, h, PIXFMT_RGBA8888);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p->SetPixel(x, y, solid(x, y) ? 0xFFFFFFFFu : 0x00FFFFFFu);
  return TImage::FromSource(Ref<TObject>(p), 0, 0, 0, 0);
}

TEST_F(ExtremeInput, TiledImageWithAFrameOutOfRangeKeepsTheDrawingMatrix) {
  SetDrawTransform(90, 2, 3);
  const TVex2DGraphics* g = testing::FakeGraphics();
  const float expected[4] = {g->ix, g->iy, g->jx, g->jy};
  Ref<TImage> image = ImageOf(4, 4, [](int, int) { return true; });
  for (int frame : {1, -1, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()}) {
    EXPECT_THROW(BlitImageTiled(image.Get(), 0, 0, frame), TRuntimeError);
    const float* m = testing::FakeDriver()->matrix;
    EXPECT_EQ(m[0], expected[0]);
    EXPECT_EQ(m[1], expected[1]);
    EXPECT_EQ(m[2], expected[2]);
    EXPECT_EQ(m[3], expected[3]);
  }
}

TEST_F(ExtremeInput, HugelyScaledImagesAreTestedInBoundedTime) {
  // Scaled 100000 times, two 2x2 images cover 40 billion pixels each; tested
  // pixel by pixel, a pair whose solid texels never meet took minutes.
  Ref<TImage> bottomRight = ImageOf(2, 2, [](int x, int y) { return x == 1 && y == 1; });
  Ref<TImage> topLeft = ImageOf(2, 2, [](int x, int y) { return x == 0 && y == 0; });
  EXPECT_EQ(ImagesOverlapTransformed(bottomRight.Get(), 0, 0, 0, 0, 1e5f, 1e5f, topLeft.Get(), 0, 0, 0, 0, 1e5f, 1e5f),
            0);
  EXPECT_EQ(
      ImagesOverlapTransformed(bottomRight.Get(), 0, 0, 0, 30, 1e5f, 1e5f, topLeft.Get(), 0, 0, 0, -30, 1e5f, 1e5f), 0);
  // Where the solid texels do share a large part, it is still found, also
  // rotated.
  EXPECT_EQ(ImagesOverlapTransformed(bottomRight.Get(), 0, 0, 0, 0, 1e5f, 1e5f, topLeft.Get(), 1.5e5f, 1.5e5f, 0, 0,
                                     1e5f, 1e5f),
            1);
  EXPECT_EQ(
      ImagesOverlapTransformed(bottomRight.Get(), 0, 0, 0, 10, 1e5f, 1e5f, topLeft.Get(), 0, 1.5e5f, 0, 10, 1e5f, 1e5f),
      1);
  // A rectangle a billion pixels square against a transparent image as large.
  Ref<TImage> clear = ImageOf(1, 1, [](int, int) { return false; });
  SetDrawScale(9e8f, 9e8f);
  ProbeImage(clear.Get(), 0, 0, 0, 0, 1, nullptr);
  SetDrawScale(1, 1);
  EXPECT_EQ(ProbeRect(0, 0, 9e8f, 9e8f, 1, 0, nullptr)->Length(), 0);
}

// Large images drawn at their own size or a little larger are still tested
// pixel by pixel: a single solid texel shared by two of them is found
// wherever it lies, also turned.
TEST_F(ExtremeInput, LargeImagesNotScaledFarUpStayPixelExact) {
  // Every case has a common box of 2100 x 2100 pixels (4.4 million).
  for (int at : {300, 301}) {
    for (int scale : {1, 2, 4}) {
      for (float angle : {0.0f, 30.0f}) {
        // Turned at their own size, a texel need not hold the centre of any pixel.
        if (angle != 0 && scale < 4) continue;
        const int side = 2100 / scale;
        Ref<TImage> a = ImageOf(side, side, [at](int x, int y) { return x == at && y == at + 100; });
        Ref<TImage> b = ImageOf(side, side, [at](int x, int y) { return x == at && y == at + 100; });
        EXPECT_EQ(ImagesOverlapTransformed(a.Get(), 0, 0, 0, angle, float(scale), float(scale), b.Get(), 0, 0, 0, angle,
                                           float(scale), float(scale)),
                  1)
            << "pixel " << at << " scale " << scale << " angle " << angle;
      }
    }
  }
}

}  // namespace
}  // namespace cvx
