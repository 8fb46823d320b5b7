// The headless 2D driver drawing into memory: coverage, the transform and the
// handle, blend modes, images, the viewport, reading and writing pixels.
#include "corvex/platform/headless/headlessvex2d.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "corvex/graphics/graphics.h"
#include "corvex/platform/choice.h"
#include "corvex/vex2d/image.h"
#include "corvex/vex2d/vex2d.h"

namespace cvx {
namespace {

constexpr int kWidth = 64, kHeight = 48;

class HeadlessDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    InitHeadlessPlatform();
    if (!OpenedGraphics()) {
      ASSERT_TRUE(OpenGraphics(kWidth, kHeight, 0, 0, 0));
    }
    Reset(0, 0, 0);
  }
  static void Reset(int red, int green, int blue) {
    SetBlendMode(BlendSolid);
    SetDrawColor(255, 255, 255);
    SetDrawAlpha(1);
    SetDrawOrigin(0, 0);
    SetDrawHandle(0, 0);
    SetDrawViewport(0, 0, kWidth, kHeight);
    SetDrawTransform(0, 1, 1);
    SetDrawLineWidth(1);
    SetClearColor(red, green, blue);
    ClearScreen();
  }
};

std::uint32_t Rgb(int x, int y) { return ReadPixmap(x, y, 1, 1)->GetPixel(0, 0) & 0xFFFFFFu; }

// The canvas as rows of '#' (lit: not the background colour) and '.'.
std::string Picture(int x0, int y0, int w, int h, std::uint32_t background = 0) {
  std::string rows;
  for (int y = y0; y < y0 + h; ++y) {
    for (int x = x0; x < x0 + w; ++x) rows += Rgb(x, y) == background ? '.' : '#';
    rows += '\n';
  }
  return rows;
}

int Channel(std::uint32_t rgb, int shift) { return static_cast<int>((rgb >> shift) & 0xFF); }
void ExpectNear(std::uint32_t rgb, int r, int g, int b, int tolerance = 1) {
  EXPECT_NEAR(Channel(rgb, 16), r, tolerance) << std::hex << rgb;
  EXPECT_NEAR(Channel(rgb, 8), g, tolerance) << std::hex << rgb;
  EXPECT_NEAR(Channel(rgb, 0), b, tolerance) << std::hex << rgb;
}

TEST_F(HeadlessDrawing, RectanglesCoverThePixelsWhoseCentresTheyHold) {
  FillRect(1, 1, 3, 2);
  FillRect(5.4f, 1.6f, 1, 1);  // covers the centre (5.5, 2.5) only
  EXPECT_EQ(Picture(0, 0, 8, 4),
            "........\n"
            ".###....\n"
            ".###.#..\n"
            "........\n");
}

TEST_F(HeadlessDrawing, HandleScaleAndRotationPlaceRectangles) {
  SetDrawHandle(1, 1);
  SetDrawScale(2, 1);
  FillRect(4, 2, 2, 2);  // local (-1,-1)-(1,1) scaled in x: (2,1)-(6,3)
  SetDrawTransform(90, 1, 1);
  SetDrawHandle(0, 0);
  FillRect(10, 1, 3, 2);  // (x, y) -> (-y, x): x 8..9, y 1..3
  EXPECT_EQ(Picture(0, 0, 12, 5),
            "............\n"
            "..####..##..\n"
            "..####..##..\n"
            "........##..\n"
            "............\n");
}

TEST_F(HeadlessDrawing, TrianglesSharingAnEdgeDrawItOnce) {
  // Additive blending would show a doubly drawn pixel as 200.
  SetBlendMode(BlendAdditive);
  SetDrawColor(100, 100, 100);
  SetDrawTransform(33, 1.3f, 0.7f);
  FillRect(30, 20, 14, 9);
  SetDrawTransform(0, 1, 1);
  FillRect(0, 0, 5, 5);
  FillRect(5, 0, 5, 5);
  int lit = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const std::uint32_t c = Rgb(x, y);
      if (c == 0) continue;
      ++lit;
      EXPECT_EQ(c, 0x646464u) << x << "," << y;
    }
  EXPECT_GT(lit, 50 + 100);
}

TEST_F(HeadlessDrawing, EachBlendModeOverAKnownBackground) {
  Reset(100, 100, 100);
  SetDrawColor(200, 50, 0);
  SetDrawAlpha(0.5f);  // alpha byte 127
  const int modes[] = {BlendSolid, BlendAlpha, BlendAdditive, BlendMultiply};
  for (int i = 0; i < 4; ++i) {
    SetBlendMode(modes[i]);
    FillRect(static_cast<float>(10 * i), 0, 5, 5);
  }
  ExpectNear(Rgb(2, 2), 200, 50, 0);
  ExpectNear(Rgb(12, 2), 150, 75, 50);
  ExpectNear(Rgb(22, 2), 200, 125, 100);
  ExpectNear(Rgb(32, 2), 78, 20, 0);
  SetBlendMode(BlendMasked);
  FillRect(40, 0, 5, 5);
  SetDrawAlpha(0.6f);
  FillRect(50, 0, 5, 5);
  ExpectNear(Rgb(42, 2), 100, 100, 100, 0);
  ExpectNear(Rgb(52, 2), 200, 50, 0, 0);
}

TEST_F(HeadlessDrawing, ImagesTakeTheNearestTexelTimesTheColour) {
  Ref<TPixmap> p = PixmapCreate(2, 1, PIXFMT_RGBA8888);
  p->SetPixel(0, 0, 0xFFFF0000u);
  p->SetPixel(1, 0, 0x7000FF00u);  // alpha below one half
  Ref<TImage> image = TImage::FromSource(Ref<TObject>(p), 0, 0, 0, 0);
  SetDrawScale(4, 4);
  SetDrawColor(128, 255, 255);
  BlitImage(image.Get(), 10, 10);  // 8 x 4 pixels
  ExpectNear(Rgb(10, 10), 128, 0, 0);
  ExpectNear(Rgb(13, 13), 128, 0, 0);
  ExpectNear(Rgb(14, 10), 0, 255, 0);
  EXPECT_EQ(Rgb(18, 10), 0u);
  EXPECT_EQ(Rgb(10, 14), 0u);
  // Masked: the low-alpha half is not drawn.
  ClearScreen();
  SetBlendMode(BlendMasked);
  BlitImage(image.Get(), 10, 10);
  ExpectNear(Rgb(11, 11), 128, 0, 0);
  EXPECT_EQ(Rgb(15, 11), 0u);
  // Flipped by a negative scale: the right texel comes first.
  ClearScreen();
  SetBlendMode(BlendSolid);
  SetDrawScale(-4, 4);
  BlitImage(image.Get(), 30, 10);  // covers x 22..29
  ExpectNear(Rgb(22, 11), 0, 255, 0);
  ExpectNear(Rgb(29, 11), 128, 0, 0);
}

TEST_F(HeadlessDrawing, TheViewportBoundsDrawingAndClearing) {
  SetDrawViewport(2, 1, 3, 2);
  SetClearColor(0, 0, 255);
  ClearScreen();
  SetDrawColor(255, 0, 0);
  FillRect(0, 0, 4, 4);
  EXPECT_EQ(Picture(0, 0, 6, 4),
            "......\n"
            "..###.\n"
            "..###.\n"
            "......\n");
  EXPECT_EQ(Rgb(4, 1), 0x0000FFu);
  EXPECT_EQ(Rgb(2, 1), 0xFF0000u);
}

TEST_F(HeadlessDrawing, LinesLeaveTheirLastPixelToTheFrontEnd) {
  StrokeLine(1, 1, 5, 1, 0);
  StrokeLine(1, 3, 5, 3, 1);
  StrokeLine(7, 0, 7, 3, 0);
  PlotPoint(9, 2);
  EXPECT_EQ(Picture(0, 0, 10, 4),
            ".......#..\n"
            ".####..#..\n"
            ".......#.#\n"
            ".#####....\n");
}

TEST_F(HeadlessDrawing, OvalsAndPolygons) {
  FillOval(0, 0, 10, 10);
  EXPECT_NE(Rgb(5, 5), 0u);
  EXPECT_NE(Rgb(0, 5), 0u);
  EXPECT_EQ(Rgb(0, 0), 0u);
  EXPECT_EQ(Rgb(9, 9), 0u);
  Ref<TArray<float>> xy = NewArray<float>(6);
  const float points[] = {20, 0, 30, 0, 20, 10};
  for (int k = 0; k < 6; ++k) (*xy)[k] = points[k];
  FillPoly(xy.Get());
  EXPECT_NE(Rgb(21, 1), 0u);
  EXPECT_EQ(Rgb(28, 8), 0u);
}

TEST_F(HeadlessDrawing, PixmapsGoInUnblendedAndComeBackOutsideAsNothing) {
  Ref<TPixmap> p = PixmapCreate(2, 2, PIXFMT_RGBA8888);
  p->SetPixel(0, 0, 0x10203040u);
  p->SetPixel(1, 0, 0xFF0000FFu);
  p->SetPixel(0, 1, 0xFF00FF00u);
  p->SetPixel(1, 1, 0xFFFF0000u);
  SetBlendMode(BlendAlpha);
  BlitPixmap(p.Get(), kWidth - 1, 0);  // half outside
  Ref<TPixmap> back = ReadPixmap(kWidth - 2, 0, 3, 2);
  EXPECT_EQ(back->GetPixel(1, 0), 0x10203040u);  // alpha and all, not blended
  EXPECT_EQ(back->GetPixel(1, 1), 0xFF00FF00u);
  EXPECT_EQ(back->GetPixel(0, 0), 0xFF000000u);  // cleared black
  EXPECT_EQ(back->GetPixel(2, 0), 0u);           // outside the canvas
}

TEST_F(HeadlessDrawing, PresentKeepsACopyAndBadSizesGiveNoCanvas) {
  FillRect(0, 0, 1, 1);
  FlipFrame(0);
  auto* vex = dynamic_cast<TVex2DGraphics*>(OpenedGraphics().Get());
  ASSERT_NE(vex, nullptr);
  auto* canvas = dynamic_cast<THeadlessCanvas*>(vex->graphics.Get());
  ASSERT_NE(canvas, nullptr);
  ASSERT_TRUE(canvas->presented);
  EXPECT_EQ(canvas->presented->GetPixel(0, 0) & 0xFFFFFFu, 0xFFFFFFu);
  ClearScreen();
  EXPECT_EQ(canvas->presented->GetPixel(0, 0) & 0xFFFFFFu, 0xFFFFFFu);
  EXPECT_FALSE(HeadlessVex2DDriver()->NewGraphics(0, 10, 0, 0, 0));
  EXPECT_FALSE(HeadlessVex2DDriver()->NewGraphics(10, 1 << 20, 0, 0, 0));
  EXPECT_EQ(HeadlessVex2DDriver()->ToString(), "Headless"_s);
}

}  // namespace
}  // namespace cvx
