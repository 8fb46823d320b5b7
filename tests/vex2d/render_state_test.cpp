// The render state and drawing front end, checked through a recording driver.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "corvex/graphics/graphics.h"
#include "corvex/vex2d/collision.h"
#include "corvex/vex2d/glyphfont.h"
#include "corvex/vex2d/image.h"
#include "corvex/vex2d/vex2d.h"
#include "tests/vex2d/fake_driver.h"

namespace cvx::testing {
extern int flagsBeforeFirstActivation;
}

namespace cvx {
namespace {

using testing::CallLog;
using testing::FrameDraws;
using testing::Transformed;

class RenderState : public ::testing::Test {
 protected:
  void SetUp() override { testing::ResetDrawState(); }
  testing::TFakeVex2DDriver* driver() { return testing::FakeDriver(); }
};

Ref<TImage> SolidImage(int w, int h, int frames = 1) {
  Ref<TImage> image = TImage::New(w, h, frames, 0, 0, 0, 0);
  for (int f = 0; f < frames; ++f) image->LockPixmap(f, 1, 1);
  return image;
}

TEST_F(RenderState, FirstActivationAppliesDefaultsInOrderThenClearsBothBuffers) {
  EXPECT_EQ(testing::flagsBeforeFirstActivation, 0);
  Ref<TGraphics> second = driver()->NewGraphics(320, 200, 0, 0, 0);
  SetImageMaskColor(1, 2, 3);
  SetAutoCentreHandle(1);
  SetDefaultImageFlags(0);
  CallLog().clear();
  MakeGraphicsCurrent(second.Get());
  const std::vector<std::string> expected = {"MakeCurrent",
                                             "ApplyBlend 1",
                                             "ApplyColor 255 255 255",
                                             "ApplyClearColor 0 0 0",
                                             "ApplyAlpha 1",
                                             "ApplyViewport 0 0 320 200",
                                             "ApplyTransform 1 0 0 1",
                                             "ApplyLineWidth 1",
                                             "ClearTarget",
                                             "Present 0",
                                             "ClearTarget",
                                             "Present 0"};
  EXPECT_EQ(CallLog(), expected);
  int r, g, b;
  GetImageMaskColor(r, g, b);
  EXPECT_EQ(r + g + b, 0);
  EXPECT_EQ(GetAutoCentreHandle(), 0);
  EXPECT_EQ(GetDefaultImageFlags(), ImageMasked + ImageFiltered);
  EXPECT_EQ(GetDrawFont(), DefaultFont());
  EXPECT_TRUE(DefaultFont());
  EXPECT_EQ(CurrentVex2DGraphics(), second.Get());

  // Once validated, making it current again sends no defaults.
  MakeGraphicsCurrent(testing::FakeGraphics());
  CallLog().clear();
  MakeGraphicsCurrent(second.Get());
  EXPECT_EQ(CallLog(), std::vector<std::string>{"MakeCurrent"});
}

TEST_F(RenderState, ActivatingSomethingThatIsNotA2DGraphicsLeavesNoCurrent) {
  ActivateVex2DGraphics(nullptr);
  EXPECT_EQ(CurrentVex2DGraphics(), nullptr);
  EXPECT_EQ(CurrentVex2DDriver(), nullptr);
  Ref<TGraphics> plain(new testing::TFakeGraphics(driver(), 1, 1));  // not a 2D graphics
  ActivateVex2DGraphics(plain.Get());
  EXPECT_EQ(CurrentVex2DGraphics(), nullptr);
  ActivateVex2DGraphics(testing::FakeGraphics());
  EXPECT_EQ(CurrentVex2DDriver(), driver());
}

TEST_F(RenderState, MatrixFollowsRotationAndScale) {
  SetDrawRotation(90);
  TVex2DGraphics* g = CurrentVex2DGraphics();
  EXPECT_NEAR(g->ix, 0, 1e-6);
  EXPECT_NEAR(g->iy, -1, 1e-6);
  EXPECT_NEAR(g->jx, 1, 1e-6);
  EXPECT_NEAR(g->jy, 0, 1e-6);
  // The local point (10, 0) lands ten pixels below the translation point.
  testing::Point p = Transformed(driver()->matrix, 10, 0, 50, 60);
  EXPECT_NEAR(p.x, 50, 1e-5);
  EXPECT_NEAR(p.y, 70, 1e-5);

  SetDrawTransform(30, 2, 3);
  const float c = std::cos(30 * M_PI / 180), s = std::sin(30 * M_PI / 180);
  EXPECT_NEAR(driver()->matrix[0], c * 2, 1e-5);
  EXPECT_NEAR(driver()->matrix[1], -s * 3, 1e-5);
  EXPECT_NEAR(driver()->matrix[2], s * 2, 1e-5);
  EXPECT_NEAR(driver()->matrix[3], c * 3, 1e-5);
  float sx, sy;
  GetDrawScale(sx, sy);
  EXPECT_EQ(sx, 2);
  EXPECT_EQ(sy, 3);
  EXPECT_EQ(GetDrawRotation(), 30);
}

TEST_F(RenderState, HandleAppliesToShapesAndTextButNotToImagesOrPoints) {
  SetDrawHandle(8, 8);
  float hx, hy;
  GetDrawHandle(hx, hy);
  EXPECT_EQ(hx, 8);
  EXPECT_EQ(hy, 8);
  FillRect(100, 100, 16, 16);
  ASSERT_EQ(CallLog().back(), "RenderRect -8 -8 8 8 100 100");
  testing::Point a = Transformed(driver()->matrix, -8, -8, 100, 100);
  testing::Point b = Transformed(driver()->matrix, 8, 8, 100, 100);
  EXPECT_EQ(a.x, 92);
  EXPECT_EQ(a.y, 92);
  EXPECT_EQ(b.x, 108);
  EXPECT_EQ(b.y, 108);

  FillOval(10, 20, 30, 40);
  EXPECT_EQ(CallLog().back(), "RenderOval -8 -8 22 32 10 20");
  SetDrawOrigin(1, 2);
  PlotPoint(5, 5);
  EXPECT_EQ(CallLog().back(), "RenderPoint 6 7");
  StrokeLine(10, 10, 20, 15, 0);
  EXPECT_EQ(CallLog().back(), "RenderLine -8 -8 2 -3 11 12");
  CallLog().clear();
  StrokeLine(10, 10, 20, 15, 1);
  ASSERT_EQ(CallLog().size(), 2u);
  EXPECT_EQ(CallLog()[1], "RenderPoint 13 9");  // end point (20, 15) moved by the handle and origin

  Array<float> xy = NewArray<float>(6);
  FillPoly(xy.Get());
  EXPECT_EQ(CallLog().back(), "RenderPoly 6 -8 -8 1 2");

  Ref<TImage> image = SolidImage(10, 6);
  PlaceImageHandle(image.Get(), 2, 3);
  BlitImage(image.Get(), 50, 60);
  ASSERT_EQ(FrameDraws().size(), 1u);
  const testing::FrameDraw& d = FrameDraws()[0];
  EXPECT_EQ(d.x0, -2);
  EXPECT_EQ(d.y0, -3);
  EXPECT_EQ(d.x1, 8);
  EXPECT_EQ(d.y1, 3);
  EXPECT_EQ(d.tx, 51);
  EXPECT_EQ(d.ty, 62);

  BlitImageRect(image.Get(), 0, 0, 20, 30);
  EXPECT_EQ(FrameDraws().back().x1, 18);  // the image handle is not scaled
  EXPECT_EQ(FrameDraws().back().y1, 27);

  // Text: the pen starts at the position moved by origin and handle.
  FrameDraws().clear();
  DrawString("A", 30, 40);
  ASSERT_EQ(FrameDraws().size(), 1u);
  EXPECT_EQ(FrameDraws()[0].tx, 30 + 1 - 8);
  EXPECT_EQ(FrameDraws()[0].ty, 40 + 2 - 8);
}

TEST_F(RenderState, DrawingHandleIsRotatedWithTheText) {
  SetDrawHandle(8, 0);
  SetDrawRotation(90);
  DrawString("A", 100, 100);
  ASSERT_EQ(FrameDraws().size(), 1u);
  EXPECT_NEAR(FrameDraws()[0].tx, 100, 1e-5);
  EXPECT_NEAR(FrameDraws()[0].ty, 92, 1e-5);
}

TEST_F(RenderState, ScaleTwoDoublesImagesAroundTheirHandleAndText) {
  Ref<TImage> image = SolidImage(10, 10);
  CentreImageHandle(image.Get());
  SetDrawScale(2, 2);
  BlitImage(image.Get(), 100, 100);
  const testing::FrameDraw& d = FrameDraws().back();
  testing::Point a = Transformed(&d.ix, d.x0, d.y0, d.tx, d.ty);
  testing::Point b = Transformed(&d.ix, d.x1, d.y1, d.tx, d.ty);
  EXPECT_EQ(a.x, 90);
  EXPECT_EQ(a.y, 90);
  EXPECT_EQ(b.x, 110);
  EXPECT_EQ(b.y, 110);

  FrameDraws().clear();
  DrawString("ab", 0, 0);
  ASSERT_EQ(FrameDraws().size(), 2u);
  EXPECT_EQ(FrameDraws()[1].tx, 16);  // the pen advances 16 per character
  testing::Point corner = Transformed(&FrameDraws()[1].ix, 8, 16, 0, 0);
  EXPECT_EQ(corner.x, 16);  // each quad 16 x 32
  EXPECT_EQ(corner.y, 32);
}

TEST_F(RenderState, SettersStoreWhatGettersReturn) {
  SetDrawColor(300, -5, 7);  // passed through unclamped
  int r, g, b;
  GetDrawColor(r, g, b);
  EXPECT_EQ(r, 300);
  EXPECT_EQ(g, -5);
  EXPECT_EQ(b, 7);
  EXPECT_EQ(CallLog().back(), "ApplyColor 300 -5 7");
  SetClearColor(1, 2, 3);
  GetClearColor(r, g, b);
  EXPECT_EQ(r * 100 + g * 10 + b, 123);
  SetDrawAlpha(0.25f);
  EXPECT_EQ(GetDrawAlpha(), 0.25f);
  SetBlendMode(BlendAdditive);
  EXPECT_EQ(GetBlendMode(), BlendAdditive);
  SetDrawLineWidth(3);
  EXPECT_EQ(GetDrawLineWidth(), 3);
  SetDrawViewport(1, 2, 3, 4);
  int x, y, w, h;
  GetDrawViewport(x, y, w, h);
  EXPECT_EQ(x * 1000 + y * 100 + w * 10 + h, 1234);
  SetDrawOrigin(5, 6);
  float ox, oy;
  GetDrawOrigin(ox, oy);
  EXPECT_EQ(ox, 5);
  EXPECT_EQ(oy, 6);
  SetDrawHandle(3, 4);
  float hx, hy;
  GetDrawHandle(hx, hy);
  EXPECT_EQ(hx, 3);
  EXPECT_EQ(hy, 4);
  EXPECT_EQ(CurrentVex2DGraphics()->handleOffsetX, -3);

  SetDefaultImageFlags(5);
  SetDefaultImageFlags(-1);
  EXPECT_EQ(GetDefaultImageFlags(), 5);

  Ref<TGlyphFont> other = TGlyphFont::BuiltIn();
  SetDrawFont(other.Get());
  EXPECT_EQ(GetDrawFont(), other);
  SetDrawFont(nullptr);
  EXPECT_EQ(GetDrawFont(), DefaultFont());
}

TEST_F(RenderState, ReapplyStateResendsInItsOrder) {
  SetDrawColor(1, 2, 3);
  SetDrawAlpha(0.5f);
  SetClearColor(4, 5, 6);
  SetDrawLineWidth(2);
  SetDrawTransform(0, 2, 2);
  SetDrawViewport(7, 8, 9, 10);
  SetBlendMode(BlendAlpha);
  CallLog().clear();
  CurrentVex2DGraphics()->ReapplyState();
  const std::vector<std::string> expected = {
      "ApplyColor 1 2 3",       "ApplyAlpha 0.5",         "ApplyClearColor 4 5 6",  "ApplyLineWidth 2",
      "ApplyTransform 2 0 0 2", "ApplyTransform 2 0 0 2", "ApplyViewport 7 8 9 10", "ApplyBlend 3"};
  EXPECT_EQ(CallLog(), expected);
}

TEST_F(RenderState, StringMetricsOfTheBuiltInFont) {
  EXPECT_EQ(StringWidth("abc"), 24);
  EXPECT_EQ(StringHeight(), 16);
  EXPECT_EQ(StringWidth("Hello"), 40);
  // Characters outside 32..127 take no space.
  EXPECT_EQ(StringWidth(String::OfUtf8("a\tb\xC3\xA9")), 16);
  EXPECT_EQ(StringWidth(""), 0);
}

TEST_F(RenderState, TiledImagesStartAtTheColumnThatReachesTheViewport) {
  Ref<TImage> image = SolidImage(32, 32);
  BlitImageTiled(image.Get(), -64, 0);
  ASSERT_FALSE(FrameDraws().empty());
  EXPECT_EQ(FrameDraws()[0].tx, 0);
  EXPECT_EQ(FrameDraws()[0].ty, 0);
  // 640 x 480 viewport: 20 columns, 15 rows.
  EXPECT_EQ(FrameDraws().size(), 20u * 15u);

  FrameDraws().clear();
  BlitImageTiled(image.Get(), -63, 0.25f);
  EXPECT_EQ(FrameDraws()[0].tx, -31);
  EXPECT_EQ(FrameDraws()[0].ty, 0.25f);  // the sub-pixel part stays
  EXPECT_EQ(FrameDraws().size(), 21u * 15u);

  // Tiles are drawn unrotated and unscaled, and the matrix comes back after.
  SetDrawTransform(45, 2, 2);
  FrameDraws().clear();
  CallLog().clear();
  BlitImageTiled(image.Get(), 5, 5);
  EXPECT_EQ(CallLog().front(), "ApplyTransform 1 0 0 1");
  EXPECT_EQ(FrameDraws()[0].ix, 1);
  EXPECT_EQ(FrameDraws()[0].iy, 0);
  EXPECT_EQ(FrameDraws()[0].tx, 5 - 32);
  EXPECT_NE(driver()->matrix[0], 1);

  // A smaller viewport bounds the tiles; the image handle shifts them.
  PlaceImageHandle(image.Get(), 4, 0);
  SetDrawTransform(0, 1, 1);
  SetDrawViewport(100, 100, 40, 40);
  FrameDraws().clear();
  BlitImageTiled(image.Get(), 0, 0);
  // Columns from -4 stepping 32: the first reaching x = 100 is 92.
  EXPECT_EQ(FrameDraws()[0].tx, 92);
  EXPECT_EQ(FrameDraws().size(), 4u);  // 92, 124 x 96, 128
}

TEST_F(RenderState, TiledImagesWithoutPixelsOrAPlaceDrawNothing) {
  Ref<TImage> empty = TImage::New(0, 0, 1, 0, 0, 0, 0);
  BlitImageTiled(empty.Get(), 0, 0);
  EXPECT_TRUE(FrameDraws().empty());
  Ref<TImage> image = SolidImage(8, 8);
  BlitImageTiled(image.Get(), std::nanf(""), 0);
  BlitImageTiled(image.Get(), 0, 3e30f);
  EXPECT_TRUE(FrameDraws().empty());
  EXPECT_EQ(CallLog().back(), "ApplyTransform 1 0 0 1");  // the matrix is restored
}

TEST_F(RenderState, TiledImagesInViewportsAtTheEndsOfTheIntRange) {
  Ref<TImage> image = SolidImage(32, 32);
  constexpr int kMin = std::numeric_limits<int>::min(), kMax = std::numeric_limits<int>::max();
  // Off the graphics altogether: nothing can be seen, nothing is drawn.
  SetDrawViewport(kMin, kMin, 10, 10);
  BlitImageTiled(image.Get(), 0, 0);
  SetDrawViewport(kMax - 5, kMax - 5, 10, 10);
  BlitImageTiled(image.Get(), 0, 0);
  EXPECT_TRUE(FrameDraws().empty());
  // A viewport reaching over the whole int range draws the tiles of the
  // 640 x 480 graphics, aligned to the image as ever.
  SetDrawViewport(kMin, kMin, kMax, kMax);
  BlitImageTiled(image.Get(), 0, 0);
  EXPECT_TRUE(FrameDraws().empty());  // it ends at -1, left of the graphics
  SetDrawViewport(-1000000000, -1000000000, kMax, kMax);
  BlitImageTiled(image.Get(), -63, 0);
  ASSERT_FALSE(FrameDraws().empty());
  EXPECT_EQ(FrameDraws()[0].tx, -31);
  EXPECT_EQ(FrameDraws()[0].ty, 0);
  EXPECT_EQ(FrameDraws().size(), 21u * 15u);
}

TEST_F(RenderState, PixmapOperationsGoStraightToTheDriver) {
  SetDrawOrigin(100, 100);
  Ref<TPixmap> pixmap = PixmapCreate(4, 4, PIXFMT_RGBA8888);
  BlitPixmap(pixmap.Get(), 3, 4);
  EXPECT_EQ(CallLog().back(), "RenderPixmap 3 4");  // no origin
  driver()->capture = pixmap;
  EXPECT_EQ(ReadPixmap(1, 2, 3, 4), pixmap);
  EXPECT_EQ(CallLog().back(), "CapturePixmap 1 2 3 4");
  ClearScreen();
  EXPECT_EQ(CallLog().back(), "ClearTarget");
}

TEST_F(RenderState, CaptureImageMasksMaskedImagesWithTheModuleColour) {
  Ref<TPixmap> shot = PixmapCreate(2, 1, PIXFMT_RGBA8888);
  shot->SetPixel(0, 0, 0xFF0A141Eu);  // the key colour (10, 20, 30)
  shot->SetPixel(1, 0, 0xFF646464u);
  driver()->capture = shot;
  SetImageMaskColor(10, 20, 30);
  Ref<TImage> masked = NewImage(2, 1, 1, ImageMasked);
  Ref<TImage> plain = NewImage(2, 1, 1, 0);
  CaptureImage(masked.Get(), 5, 6);
  EXPECT_EQ(CallLog().back(), "CapturePixmap 5 6 2 1");
  CaptureImage(plain.Get(), 5, 6);
  Ref<TPixmap> m = masked->LockPixmap(0, 1, 0);
  EXPECT_EQ(m->GetPixel(0, 0) >> 24, 0u);
  EXPECT_EQ(m->GetPixel(1, 0), 0xFF646464u);
  EXPECT_EQ(plain->LockPixmap(0, 1, 0), shot);
}

TEST_F(RenderState, NullImagesAndPixmapsRaiseTheNullObjectError) {
  EXPECT_THROW(BlitImage(nullptr, 0, 0), TRuntimeError);
  EXPECT_THROW(BlitImageRect(nullptr, 0, 0, 1, 1), TRuntimeError);
  EXPECT_THROW(BlitImageTiled(nullptr, 0, 0), TRuntimeError);
  EXPECT_THROW(CaptureImage(nullptr, 0, 0), TRuntimeError);
  EXPECT_THROW(BlitPixmap(nullptr, 0, 0), TRuntimeError);
  EXPECT_THROW(FillPoly(nullptr), TRuntimeError);
  EXPECT_THROW(CentreImageHandle(nullptr), TRuntimeError);
  EXPECT_THROW(ImageWidthOf(nullptr), TRuntimeError);
  EXPECT_THROW(ProbeImage(nullptr, 0, 0, 0, 1, 1, nullptr), TRuntimeError);
  // The matrix comes back even when tiling fails.
  EXPECT_EQ(driver()->matrix[0], 1);
}

}  // namespace
}  // namespace cvx
