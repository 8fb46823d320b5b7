// Collision layers: rectangles, images with transparent parts, layer order,
// rotated and scaled quads.
#include "corvex/vex2d/collision.h"

#include <gtest/gtest.h>

#include <cmath>

#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/error.h"
#include "corvex/vex2d/image.h"
#include "corvex/vex2d/vex2d.h"
#include "tests/vex2d/fake_driver.h"

namespace cvx {
namespace {

class Collision : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetDrawState();
    ClearLayers(0);
  }
};

std::vector<std::string> Ids(const ObjectArray& hits) {
  std::vector<std::string> ids;
  for (const Ref<TObject>& id : *hits) ids.push_back(String::FromObject(id.Get()).ToStd());
  return ids;
}

// An image whose pixels are opaque where solid(x, y) holds, transparent elsewhere.
template <class F>
Ref<TImage> ImageOf(int w, int h, F solid, int format = PIXFMT_RGBA8888) {
  Ref<TPixmap> p = PixmapCreate(w, h, format);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p->SetPixel(x, y, solid(x, y) ? 0xFFFFFFFFu : 0x00FFFFFFu);
  return TImage::FromSource(Ref<TObject>(p), 0, 0, 0, 0);
}

TEST_F(Collision, RectanglesCollideWhereTheyShareAPixel) {
  ProbeRect(0, 0, 10, 10, 0, 1, "a"_s);
  EXPECT_EQ(Ids(ProbeRect(5, 5, 10, 10, 1, 0, "b"_s)), std::vector<std::string>{"a"});
  // Spans end before trunc(right x): touching edges do not collide.
  EXPECT_TRUE(Ids(ProbeRect(10, 0, 10, 10, 1, 0, "c"_s)).empty());
  EXPECT_TRUE(Ids(ProbeRect(0, 10, 10, 10, 1, 0, "c"_s)).empty());
  EXPECT_EQ(Ids(ProbeRect(9, 9, 10, 10, 1, 0, "d"_s)).size(), 1u);
  EXPECT_TRUE(Ids(ProbeRect(30, 30, 5, 5, 1, 0, "e"_s)).empty());
  // A thin rectangle fully inside the other.
  EXPECT_EQ(Ids(ProbeRect(2, 2, 3, 3, 1, 0, "f"_s)).size(), 1u);
}

TEST_F(Collision, MasksSelectWhatIsTestedAndWhatIsWritten) {
  // Collide mask 0 only writes.
  EXPECT_TRUE(Ids(ProbeRect(0, 0, 10, 10, 0, 1u << 3, "w"_s)).empty());
  EXPECT_EQ(LayerQuadCount(3), 1);
  // Write mask 0 only tests.
  EXPECT_EQ(Ids(ProbeRect(0, 0, 10, 10, 1u << 3, 0, "t"_s)).size(), 1u);
  EXPECT_EQ(LayerQuadCount(3), 1);
  // A quad written to a layer is not tested against itself in the same call.
  EXPECT_EQ(Ids(ProbeRect(0, 0, 10, 10, 1u << 3, 1u << 3, "both"_s)), std::vector<std::string>{"w"});
  EXPECT_EQ(LayerQuadCount(3), 2);
  // One write mask may fill several layers.
  ProbeRect(0, 0, 1, 1, 0, 0x5u, "x"_s);
  EXPECT_EQ(LayerQuadCount(0), 1);
  EXPECT_EQ(LayerQuadCount(2), 1);
}

TEST_F(Collision, IdsComeBackInLayerOrderThenNewestFirst) {
  ProbeRect(0, 0, 10, 10, 0, 1u << 5, "five-old"_s);
  ProbeRect(0, 0, 10, 10, 0, 1u << 1, "one"_s);
  ProbeRect(0, 0, 10, 10, 0, 1u << 5, "five-new"_s);
  ProbeRect(0, 0, 10, 10, 0, 1u << 31, "thirty-one"_s);
  ProbeRect(50, 50, 10, 10, 0, 1u << 5, "far"_s);
  const std::vector<std::string> expected = {"one", "five-new", "five-old", "thirty-one"};
  EXPECT_EQ(Ids(ProbeRect(1, 1, 2, 2, 0xFFFFFFFFu, 0, nullptr)), expected);
  EXPECT_EQ(Ids(ProbeRect(1, 1, 2, 2, 1u << 5, 0, nullptr)), (std::vector<std::string>{"five-new", "five-old"}));
  // More hits than the first growth step holds.
  for (int i = 0; i < 20; ++i) ProbeRect(0, 0, 10, 10, 0, 1u << 7, String::OfInt(i));
  EXPECT_EQ(ProbeRect(1, 1, 2, 2, 1u << 7, 0, nullptr)->Length(), 20);
}

TEST_F(Collision, ClearLayersEmptiesSelectedLayersIntoThePool) {
  for (int k = 0; k < 32; ++k) ProbeRect(0, 0, 1, 1, 0, 1u << k, nullptr);
  const int pool = QuadPoolCount();
  ClearLayers(5);
  EXPECT_EQ(LayerQuadCount(0), 0);
  EXPECT_EQ(LayerQuadCount(1), 1);
  EXPECT_EQ(LayerQuadCount(2), 0);
  EXPECT_EQ(QuadPoolCount(), pool + 2);
  ClearLayers(0);
  for (int k = 0; k < 32; ++k) EXPECT_EQ(LayerQuadCount(k), 0) << k;
  EXPECT_EQ(QuadPoolCount(), pool + 32);
  // New quads come from the pool before any is allocated.
  ProbeRect(0, 0, 1, 1, 0, 1, nullptr);
  EXPECT_EQ(QuadPoolCount(), pool + 31);
}

TEST_F(Collision, TransparentPartsDoNotCollide) {
  // Left half opaque; right half transparent.
  Ref<TImage> left = ImageOf(10, 10, [](int x, int) { return x < 5; });
  Ref<TImage> right = ImageOf(10, 10, [](int x, int) { return x >= 5; });
  // Boxes overlap only where the first is transparent.
  EXPECT_EQ(ImagesOverlap(left.Get(), 0, 0, 0, left.Get(), 5, 0, 0), 0);
  EXPECT_EQ(ImagesOverlap(left.Get(), 0, 0, 0, right.Get(), 2, 0, 0), 0);
  EXPECT_EQ(ImagesOverlap(right.Get(), 0, 0, 0, left.Get(), 2, 0, 0), 1);
  EXPECT_EQ(ImagesOverlap(left.Get(), 0, 0, 0, left.Get(), 4, 0, 0), 1);
  // An image against a rectangle.
  ProbeImage(right.Get(), 0, 0, 0, 0, 1, "img"_s);
  EXPECT_TRUE(Ids(ProbeRect(0, 0, 5, 10, 1, 0, nullptr)).empty());
  EXPECT_EQ(Ids(ProbeRect(4, 3, 2, 2, 1, 0, nullptr)).size(), 1u);
}

TEST_F(Collision, AlphaIsReadFromTheTopBitOfAnyPixelFormat) {
  // Half-transparent pixels (alpha 127) are empty, alpha 128 is solid.
  Ref<TPixmap> soft = PixmapCreate(4, 4, PIXFMT_BGRA8888);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) soft->SetPixel(x, y, x < 2 ? 0x7FFFFFFFu : 0x80000000u);
  Ref<TImage> image = TImage::FromSource(Ref<TObject>(soft), 0, 0, 0, 0);
  ProbeImage(image.Get(), 0, 0, 0, 0, 1, "soft"_s);
  EXPECT_TRUE(Ids(ProbeRect(0, 0, 2, 4, 1, 0, nullptr)).empty());
  EXPECT_EQ(Ids(ProbeRect(2, 0, 1, 1, 1, 0, nullptr)).size(), 1u);

  // Formats without alpha are solid everywhere; A8 is its alpha byte.
  ClearLayers(0);
  Ref<TImage> grey = TImage::FromSource(Ref<TObject>(PixmapCreate(4, 4, PIXFMT_I8)), 0, 0, 0, 0);
  Ref<TImage> rgb = TImage::FromSource(Ref<TObject>(PixmapCreate(3, 3, PIXFMT_RGB888)), 0, 0, 0, 0);
  EXPECT_EQ(ImagesOverlap(grey.Get(), 0, 0, 0, rgb.Get(), 3, 3, 0), 1);
  Ref<TPixmap> a8 = PixmapCreate(4, 4, PIXFMT_A8);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) a8->SetPixel(x, y, y < 2 ? 0 : 0xFF000000u);
  Ref<TImage> alphaOnly = TImage::FromSource(Ref<TObject>(a8), 0, 0, 0, 0);
  EXPECT_EQ(ImagesOverlap(alphaOnly.Get(), 0, 0, 0, grey.Get(), 0, -2, 0), 0);
  EXPECT_EQ(ImagesOverlap(alphaOnly.Get(), 0, 0, 0, grey.Get(), 0, -1, 0), 1);
}

TEST_F(Collision, SolidTexelsOnTheLastColumnAndRowAreFound) {
  // Only the last column and the last row are solid.
  Ref<TImage> edge = ImageOf(8, 8, [](int x, int y) { return x == 7 || y == 7; });
  EXPECT_EQ(ImagesOverlap(edge.Get(), 0, 0, 0, edge.Get(), 7, 0, 0), 1);
  ProbeImage(edge.Get(), 0, 0, 0, 0, 1, "edge"_s);
  EXPECT_EQ(Ids(ProbeRect(7, 0, 1, 1, 1, 0, nullptr)).size(), 1u);
  EXPECT_TRUE(Ids(ProbeRect(0, 0, 7, 7, 1, 0, nullptr)).empty());
}

TEST_F(Collision, ImagesOverlapLeavesTheFirstImageInLayer31) {
  Ref<TImage> a = ImageOf(4, 4, [](int, int) { return true; });
  ProbeRect(100, 100, 1, 1, 0, 1u << 31, "stale"_s);
  EXPECT_EQ(ImagesOverlap(a.Get(), 0, 0, 0, a.Get(), 50, 50, 0), 0);
  EXPECT_EQ(LayerQuadCount(31), 1);
  EXPECT_EQ(ProbeRect(1, 1, 1, 1, 1u << 31, 0, nullptr)->Length(), 1);
  EXPECT_EQ(ProbeRect(100, 100, 1, 1, 1u << 31, 0, nullptr)->Length(), 0);  // the stale quad is gone
}

TEST_F(Collision, QuadsFollowTheImageHandleOriginRotationAndScale) {
  Ref<TImage> bar = ImageOf(20, 2, [](int, int) { return true; });
  // Unrotated the bar lies along x; rotated 90 it hangs down from (50, 50).
  ProbeRect(49, 60, 4, 4, 0, 1, "below"_s);
  ProbeRect(60, 49, 4, 4, 0, 1, "right"_s);
  EXPECT_EQ(Ids(ProbeImage(bar.Get(), 50, 50, 0, 1, 0, nullptr)), std::vector<std::string>{"right"});
  SetDrawRotation(90);
  EXPECT_EQ(Ids(ProbeImage(bar.Get(), 50, 50, 0, 1, 0, nullptr)), std::vector<std::string>{"below"});
  // Scale 2 stretches it to 40 pixels.
  SetDrawRotation(0);
  ProbeRect(85, 50, 2, 2, 0, 1u << 1, "far"_s);
  EXPECT_TRUE(Ids(ProbeImage(bar.Get(), 50, 50, 0, 2, 0, nullptr)).empty());
  SetDrawScale(2, 2);
  EXPECT_EQ(Ids(ProbeImage(bar.Get(), 50, 50, 0, 2, 0, nullptr)), std::vector<std::string>{"far"});
  // Mirrored (negative scale) quads wind the other way and still scan.
  SetDrawScale(-1, 1);
  ProbeRect(35, 50, 2, 2, 0, 1u << 2, "mirror"_s);
  EXPECT_EQ(Ids(ProbeImage(bar.Get(), 50, 50, 0, 4, 0, nullptr)), std::vector<std::string>{"mirror"});
  // Handle and origin move the quad: centred, the bar covers x 40..59.
  SetDrawScale(1, 1);
  CentreImageHandle(bar.Get());
  EXPECT_TRUE(Ids(ProbeImage(bar.Get(), 50, 50, 0, 4, 0, nullptr)).empty());
  SetDrawOrigin(-10, 0);
  EXPECT_EQ(Ids(ProbeImage(bar.Get(), 50, 50, 0, 4, 0, nullptr)), std::vector<std::string>{"mirror"});
  SetDrawOrigin(100, 0);
  EXPECT_TRUE(Ids(ProbeImage(bar.Get(), 50, 50, 0, 4, 0, nullptr)).empty());
}

TEST_F(Collision, TransformedPairTestRestoresTheDrawingTransform) {
  // A cross: a horizontal bar against a vertical one made by rotating it.
  Ref<TImage> bar = ImageOf(30, 2, [](int, int) { return true; });
  CentreImageHandle(bar.Get());
  SetDrawTransform(10, 3, 4);
  EXPECT_EQ(ImagesOverlapTransformed(bar.Get(), 100, 100, 0, 0, 1, 1, bar.Get(), 100, 110, 0, 90, 1, 1), 1);
  EXPECT_EQ(ImagesOverlapTransformed(bar.Get(), 100, 100, 0, 0, 1, 1, bar.Get(), 100, 110, 0, 0, 1, 1), 0);
  // Rotated 45 degrees the second bar reaches 10.6 pixels up and down at scale 1 ...
  EXPECT_EQ(ImagesOverlapTransformed(bar.Get(), 100, 100, 0, 0, 1, 1, bar.Get(), 100, 113, 0, 45, 1, 1), 0);
  // ... and twice that at scale 2.
  EXPECT_EQ(ImagesOverlapTransformed(bar.Get(), 100, 100, 0, 0, 1, 1, bar.Get(), 100, 113, 0, 45, 2, 2), 1);
  EXPECT_EQ(GetDrawRotation(), 10);
  float sx, sy;
  GetDrawScale(sx, sy);
  EXPECT_EQ(sx, 3);
  EXPECT_EQ(sy, 4);
  // A null second image raises, and the transform is still restored.
  EXPECT_THROW(ImagesOverlapTransformed(bar.Get(), 100, 100, 0, 0, 1, 1, nullptr, 100, 110, 0, 45, 2, 2), TRuntimeError);
  EXPECT_EQ(GetDrawRotation(), 10);
  GetDrawScale(sx, sy);
  EXPECT_EQ(sx, 3);
  EXPECT_EQ(sy, 4);
}

TEST_F(Collision, VeryWideSpansAreTestedPieceByPiece) {
  // Stretched to 10000 pixels: the left half transparent, the right half solid.
  Ref<TImage> half = ImageOf(2, 1, [](int x, int) { return x == 1; });
  SetDrawScale(5000, 1);
  ProbeImage(half.Get(), 0, 0, 0, 0, 1, "wide"_s);
  SetDrawScale(1, 1);
  EXPECT_TRUE(Ids(ProbeRect(4000, 0, 10, 1, 1, 0, nullptr)).empty());
  EXPECT_EQ(Ids(ProbeRect(9000, 0, 10, 1, 1, 0, nullptr)).size(), 1u);
  EXPECT_EQ(Ids(ProbeRect(4995, 0, 10, 1, 1, 0, nullptr)).size(), 1u);
  // Two stretched images: the common span of 9900 columns is solid in both
  // only from column 5100 on, beyond the first piece.
  EXPECT_EQ(ImagesOverlapTransformed(half.Get(), 0, 0, 0, 0, 5000, 1, half.Get(), 100, 0, 0, 0, 5000, 1), 1);
  // Mirrored, the second one is solid where the first is not.
  EXPECT_EQ(ImagesOverlapTransformed(half.Get(), 0, 0, 0, 0, 5000, 1, half.Get(), 10000, 0, 0, 0, -5000, 1), 0);
}

TEST_F(Collision, TallQuadsAreSampledRightFarBelowTheirTop) {
  // Stretched to 40 million rows: only the bottom quarter is solid. Probes near
  // the bottom read the bottom texels (a scan that stepped down every row from
  // the top drifted to the middle of the picture long before it got there).
  Ref<TImage> tall = ImageOf(1, 4, [](int, int y) { return y == 3; });
  SetDrawScale(1, 1e7f);
  ProbeImage(tall.Get(), 0, 0, 0, 0, 1, "tall"_s);
  SetDrawScale(1, 1);
  EXPECT_EQ(Ids(ProbeRect(0, 3.9e7f, 1, 4, 1, 0, nullptr)), std::vector<std::string>{"tall"});
  EXPECT_TRUE(Ids(ProbeRect(0, 2.4e7f, 1, 4, 1, 0, nullptr)).empty());
  // A rectangle a billion rows tall against a small image far down its side.
  ClearLayers(0);
  Ref<TImage> small = ImageOf(8, 8, [](int x, int) { return x < 4; });
  ProbeImage(small.Get(), 0, 1e7f, 0, 0, 1, "small"_s);
  EXPECT_EQ(Ids(ProbeRect(0, -9e8f, 2, 9.2e8f, 1, 0, nullptr)), std::vector<std::string>{"small"});
  EXPECT_TRUE(Ids(ProbeRect(5, -9e8f, 2, 9.2e8f, 1, 0, nullptr)).empty());
}

TEST_F(Collision, DegenerateQuadsCollideWithNothing) {
  ProbeRect(0, 0, 100, 100, 0, 1, "big"_s);
  EXPECT_TRUE(Ids(ProbeRect(10, 10, 0, 0, 1, 0, nullptr)).empty());
  EXPECT_TRUE(Ids(ProbeRect(std::nanf(""), 10, 5, 5, 1, 0, nullptr)).empty());
  Ref<TImage> empty = TImage::New(0, 0, 1, 0, 0, 0, 0);
  EXPECT_TRUE(Ids(ProbeImage(empty.Get(), 10, 10, 0, 1, 0, nullptr)).empty());
}

}  // namespace
}  // namespace cvx
