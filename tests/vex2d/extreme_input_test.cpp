// Drawing, image fonts and collision layers on bad and extreme input: nothing
// crashes, hangs or grows without bound, and the state afterwards is sound.
#include <gtest/gtest.h>

#include <chrono>
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
  const auto start = std::chrono::steady_clock::now();
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
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 20.0);
}

}  // namespace
}  // namespace cvx
