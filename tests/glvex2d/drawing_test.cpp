// Drawing through the OpenGL 2D driver, read back from the back buffer.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "corvex/stream/embed.h"
#include "tests/glvex2d/gl_fixture.h"

namespace cvx {
namespace {

using testing::Channel;
using testing::FlatImage;
using testing::Rgb;

class GLDrawing : public ::testing::Test {
 protected:
  void SetUp() override { testing::ResetDisplay(); }
  void TearDown() override { EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)); }
};

void ExpectNear(std::uint32_t rgb, int r, int g, int b, int tolerance = 2) {
  EXPECT_NEAR(Channel(rgb, 16), r, tolerance) << std::hex << rgb;
  EXPECT_NEAR(Channel(rgb, 8), g, tolerance) << std::hex << rgb;
  EXPECT_NEAR(Channel(rgb, 0), b, tolerance) << std::hex << rgb;
}

TEST_F(GLDrawing, EachBlendModeOverAKnownBackground) {
  testing::ResetDisplay(100, 100, 100);
  SetDrawColor(200, 50, 0);
  SetDrawAlpha(0.5f);  // alpha byte 127
  const int modes[] = {BlendSolid, BlendAlpha, BlendAdditive, BlendMultiply};
  for (int i = 0; i < 4; ++i) {
    SetBlendMode(modes[i]);
    FillRect(static_cast<float>(20 * i), 0, 10, 10);
  }
  ExpectNear(Rgb(5, 5), 200, 50, 0);      // solid: the colour as it is
  ExpectNear(Rgb(25, 5), 150, 75, 50);    // alpha: half and half
  ExpectNear(Rgb(45, 5), 200, 125, 100);  // additive: background plus colour x alpha
  ExpectNear(Rgb(65, 5), 78, 20, 0);      // multiply: background x colour
  // Masked draws only where alpha is at least 0.5 (127 / 255 is below it).
  SetBlendMode(BlendMasked);
  FillRect(100, 0, 10, 10);
  SetDrawAlpha(0.6f);
  FillRect(120, 0, 10, 10);
  ExpectNear(Rgb(105, 5), 100, 100, 100);
  ExpectNear(Rgb(125, 5), 200, 50, 0);
}

TEST_F(GLDrawing, ColourAndAlphaAreClamped) {
  SetBlendMode(BlendSolid);
  SetDrawColor(300, -20, 128);
  FillRect(0, 0, 4, 4);
  ExpectNear(Rgb(1, 1), 255, 0, 128, 0);
  TGLVex2DDriver* d = GLVex2DDriver();
  SetDrawAlpha(0.5f);
  EXPECT_EQ(d->color[3], 127);
  SetDrawAlpha(2);
  EXPECT_EQ(d->color[3], 255);
  SetDrawAlpha(-1);
  EXPECT_EQ(d->color[3], 0);
  SetDrawAlpha(std::nanf(""));
  EXPECT_EQ(d->color[3], 0);
  SetClearColor(400, 10, -3);
  ClearScreen();
  ExpectNear(Rgb(300, 300), 255, 10, 0, 1);
}

TEST_F(GLDrawing, MaskedImagesDropAlphaBelowOneHalf) {
  testing::ResetDisplay(0, 0, 80);
  Ref<TPixmap> p = PixmapCreate(2, 1, PIXFMT_RGBA8888);
  p->SetPixel(0, 0, 0x70FF0000u);  // alpha 0.44
  p->SetPixel(1, 0, 0x90FF0000u);  // alpha 0.56
  Ref<TImage> image = TImage::FromSource(Ref<TObject>(p), 0, 0, 0, 0);
  SetDrawScale(10, 10);
  BlitImage(image.Get(), 100, 100);
  ExpectNear(Rgb(105, 105), 0, 0, 80, 0);
  ExpectNear(Rgb(115, 105), 255, 0, 0, 0);

  // A 24-bit picture loaded masked loses its key colour.
  Ref<TPixmap> rgb = PixmapCreate(2, 1, PIXFMT_RGB888);
  rgb->SetPixel(0, 0, 0xFF000000u);  // black: the mask colour
  rgb->SetPixel(1, 0, 0xFF00FF00u);
  Ref<TImage> keyed = OpenImage(Ref<TObject>(rgb), ImageMasked);
  BlitImage(keyed.Get(), 200, 100);
  ExpectNear(Rgb(205, 105), 0, 0, 80, 0);
  ExpectNear(Rgb(215, 105), 0, 255, 0, 0);
}

TEST_F(GLDrawing, DrawingHandleShiftsARectangle) {
  SetDrawHandle(8, 8);
  FillRect(100, 100, 16, 16);
  EXPECT_EQ(Rgb(92, 92), 0xFFFFFFu);
  EXPECT_EQ(Rgb(107, 107), 0xFFFFFFu);
  EXPECT_EQ(Rgb(91, 92), 0u);
  EXPECT_EQ(Rgb(92, 91), 0u);
  EXPECT_EQ(Rgb(108, 107), 0u);
  EXPECT_EQ(Rgb(107, 108), 0u);
}

TEST_F(GLDrawing, RotationNinetyTurnsLocalXDownward) {
  SetDrawRotation(90);
  // Local x 0..10, y 0..2 lands on screen x 198..200, y 200..210.
  FillRect(200, 200, 10, 2);
  EXPECT_EQ(Rgb(199, 205), 0xFFFFFFu);
  EXPECT_EQ(Rgb(198, 209), 0xFFFFFFu);
  EXPECT_EQ(Rgb(205, 200), 0u);
  EXPECT_EQ(Rgb(199, 211), 0u);
  EXPECT_EQ(Rgb(200, 205), 0u);
}

// The bounding box of lit pixels in a region.
struct Box {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
};
Box Ink(int x, int y, int w, int h) {
  Ref<TPixmap> shot = ReadPixmap(x, y, w, h);
  Box box;
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i)
      if (shot->GetPixel(i, j) & 0xFFFFFFu) {
        box.x0 = std::min(box.x0, i);
        box.y0 = std::min(box.y0, j);
        box.x1 = std::max(box.x1, i);
        box.y1 = std::max(box.y1, j);
      }
  return box;
}

TEST_F(GLDrawing, ScaleTwoDoublesImagesAndText) {
  Ref<TImage> red = FlatImage(8, 8, 0xFFFF0000u);
  SetDrawScale(2, 2);
  BlitImage(red.Get(), 300, 300);
  EXPECT_EQ(Rgb(300, 300), 0xFF0000u);
  EXPECT_EQ(Rgb(315, 315), 0xFF0000u);
  EXPECT_EQ(Rgb(316, 315), 0u);
  EXPECT_EQ(Rgb(315, 316), 0u);

  // Around the image's own handle.
  CentreImageHandle(red.Get());
  BlitImage(red.Get(), 400, 300);
  EXPECT_EQ(Rgb(392, 292), 0xFF0000u);
  EXPECT_EQ(Rgb(407, 307), 0xFF0000u);
  EXPECT_EQ(Rgb(391, 292), 0u);

  SetDrawScale(1, 1);
  DrawString("W", 10, 10);
  SetDrawScale(2, 2);
  DrawString("W", 110, 10);
  Box one = Ink(10, 10, 40, 40), two = Ink(110, 10, 40, 40);
  ASSERT_GE(one.x1, 0);
  EXPECT_EQ(two.x0, one.x0 * 2);
  EXPECT_EQ(two.y0, one.y0 * 2);
  EXPECT_EQ(two.x1 - two.x0 + 1, (one.x1 - one.x0 + 1) * 2);
  EXPECT_EQ(two.y1 - two.y0 + 1, (one.y1 - one.y0 + 1) * 2);
}

TEST_F(GLDrawing, TiledImagesStartWhereTheirColumnsReachTheViewport) {
  // Column 0 of the tile is green, the rest blue.
  Ref<TPixmap> p = PixmapCreate(32, 32, PIXFMT_RGBA8888);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) p->SetPixel(x, y, x == 0 ? 0xFF00FF00u : 0xFF0000FFu);
  Ref<TImage> tile = TImage::FromSource(Ref<TObject>(p), 0, 0, 0, 0);
  BlitImageTiled(tile.Get(), -64, 0);
  EXPECT_EQ(Rgb(0, 10), 0x00FF00u);
  EXPECT_EQ(Rgb(1, 10), 0x0000FFu);
  EXPECT_EQ(Rgb(32, 470), 0x00FF00u);
  EXPECT_EQ(Rgb(639, 479), 0x0000FFu);
  BlitImageTiled(tile.Get(), -63, 0);
  EXPECT_EQ(Rgb(0, 10), 0x0000FFu);
  EXPECT_EQ(Rgb(1, 10), 0x00FF00u);
  EXPECT_EQ(Rgb(33, 10), 0x00FF00u);
  // Only the viewport is covered.
  testing::ResetDisplay();
  SetDrawViewport(100, 100, 50, 50);
  BlitImageTiled(tile.Get(), 0, 0);
  EXPECT_EQ(Rgb(99, 120), 0u);
  EXPECT_EQ(Rgb(128, 120), 0x00FF00u);
  EXPECT_EQ(Rgb(149, 149), 0x0000FFu);
  EXPECT_EQ(Rgb(150, 120), 0u);
}

TEST_F(GLDrawing, BuiltInFontDrawsEachGlyphInItsCell) {
  const auto* table = static_cast<const unsigned char*>(EmbedAddress("corvexfont.bin"_s));
  ASSERT_NE(table, nullptr);
  const char* word = "Hello";
  DrawString(word, 10, 20);
  Ref<TPixmap> shot = ReadPixmap(10, 20, 40, 16);
  for (int i = 0; i < 5; ++i) {
    for (int r = 0; r < 16; ++r) {
      for (int k = 0; k < 8; ++k) {
        const bool ink = table[r * 96 + (word[i] - 32)] & (1 << k);
        EXPECT_EQ((shot->GetPixel(i * 8 + k, r) & 0xFFFFFFu) != 0, ink) << word[i] << " row " << r << " col " << k;
      }
    }
  }
  // Nothing outside the five cells.
  EXPECT_EQ(Ink(0, 0, 10, 60).x1, -1);
  EXPECT_EQ(Ink(50, 0, 40, 60).x1, -1);
  // Text takes the drawing colour.
  SetDrawColor(0, 255, 0);
  DrawString("#", 300, 300);
  Box box = Ink(300, 300, 8, 16);
  ASSERT_GE(box.x1, 0);
  EXPECT_EQ(Rgb(300 + box.x0, 300 + box.y0) & 0xFF00FFu, 0u);
}

// Vertex counts of the polygons drawn while feedback mode is on.
std::vector<int> PolygonSizes(void (*draw)()) {
  std::vector<GLfloat> buffer(4096);
  glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_2D, buffer.data());
  FlushGLVex2D();  // the render mode is a GL call of our own
  glRenderMode(GL_FEEDBACK);
  draw();
  FlushGLVex2D();
  const GLint n = glRenderMode(GL_RENDER);
  std::vector<int> sizes;
  for (GLint i = 0; i < n;) {
    const int token = static_cast<int>(buffer[static_cast<std::size_t>(i)]);
    if (token == GL_POLYGON_TOKEN) {
      const int count = static_cast<int>(buffer[static_cast<std::size_t>(i + 1)]);
      sizes.push_back(count);
      i += 2 + count * 2;
    } else {
      break;
    }
  }
  return sizes;
}

// The vertex count of one convex polygon, which the GL may hand back whole or
// as a fan of triangles (n - 2 of them); -1 when it is neither.
int OneConvexPolygon(const std::vector<int>& sizes) {
  if (sizes.size() == 1) return sizes[0];
  for (int s : sizes)
    if (s != 3) return -1;
  return sizes.empty() ? -1 : static_cast<int>(sizes.size()) + 2;
}

TEST_F(GLDrawing, OvalsHaveSegmentsByTheirSize) {
  EXPECT_EQ(OneConvexPolygon(PolygonSizes([] { FillOval(100, 100, 4, 4); })), 12);
  EXPECT_EQ(OneConvexPolygon(PolygonSizes([] { FillOval(100, 100, 100, 60); })), 80);
  EXPECT_EQ(OneConvexPolygon(PolygonSizes([] { FillOval(100, 100, 30, 7); })), 16);  // 15 + 3 = 18 -> 16
  FillOval(100, 100, 100, 60);
  EXPECT_EQ(Rgb(150, 130), 0xFFFFFFu);
  EXPECT_EQ(Rgb(101, 101), 0u);
  EXPECT_EQ(Rgb(198, 130), 0xFFFFFFu);
  EXPECT_EQ(Rgb(150, 158), 0xFFFFFFu);
  EXPECT_EQ(Rgb(150, 161), 0u);
}

TEST_F(GLDrawing, PolygonsPointsAndLines) {
  Array<float> triangle = NewArray<float>(6);
  const float xy[] = {0, 0, 20, 0, 0, 20};
  for (int i = 0; i < 6; ++i) (*triangle)[i] = xy[i];
  SetDrawOrigin(300, 300);
  FillPoly(triangle.Get());
  EXPECT_EQ(Rgb(302, 302), 0xFFFFFFu);
  EXPECT_EQ(Rgb(318, 318), 0u);
  // Too few or an odd number of values draw nothing.
  EXPECT_TRUE(PolygonSizes([] {
                Array<float> two = NewArray<float>(4);
                FillPoly(two.Get());
                Array<float> odd = NewArray<float>(7);
                FillPoly(odd.Get());
              }).empty());
  SetDrawOrigin(0, 0);
  PlotPoint(10, 10);
  EXPECT_EQ(Rgb(10, 10), 0xFFFFFFu);
  EXPECT_EQ(Rgb(11, 10), 0u);
  EXPECT_EQ(Rgb(10, 11), 0u);
  StrokeLine(20, 50, 60, 50, 1);
  EXPECT_EQ(Rgb(20, 50), 0xFFFFFFu);
  EXPECT_EQ(Rgb(40, 50), 0xFFFFFFu);
  EXPECT_EQ(Rgb(60, 50), 0xFFFFFFu);  // the last pixel
  EXPECT_EQ(Rgb(40, 51), 0u);
}

TEST_F(GLDrawing, ViewportScissorsDrawingAndClearing) {
  SetDrawViewport(10, 20, 100, 50);
  GLint box[4];
  glGetIntegerv(GL_SCISSOR_BOX, box);
  EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
  EXPECT_EQ(box[0], 10);
  EXPECT_EQ(box[1], 480 - 20 - 50);
  EXPECT_EQ(box[2], 100);
  EXPECT_EQ(box[3], 50);
  SetClearColor(0, 0, 255);
  ClearScreen();
  EXPECT_EQ(Rgb(10, 20), 0x0000FFu);
  EXPECT_EQ(Rgb(109, 69), 0x0000FFu);
  EXPECT_EQ(Rgb(9, 20), 0u);
  EXPECT_EQ(Rgb(110, 69), 0u);
  FillRect(0, 0, 640, 480);
  EXPECT_EQ(Rgb(50, 50), 0xFFFFFFu);
  EXPECT_EQ(Rgb(200, 200), 0u);
  SetDrawViewport(0, 0, 640, 480);
  EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
}

TEST_F(GLDrawing, PlacesAtTheEndsOfTheIntRangeDrawAndReadNothing) {
  // Rows are counted from the bottom for GL; the conversion must not overflow,
  // and nothing on the screen changes.
  constexpr int kMin = std::numeric_limits<int>::min(), kMax = std::numeric_limits<int>::max();
  Ref<TPixmap> p = PixmapCreate(16, 8, PIXFMT_RGBA8888);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) p->SetPixel(x, y, 0xFFFFFFFFu);
  BlitPixmap(p.Get(), 0, kMin);
  BlitPixmap(p.Get(), 0, kMax);
  EXPECT_EQ(ReadPixmap(0, kMin, 4, 4)->width, 4);
  EXPECT_EQ(ReadPixmap(0, kMax, 4, 4)->height, 4);
  SetDrawViewport(0, kMin, 10, 10);
  FillRect(0, 0, 640, 480);
  SetDrawViewport(0, kMax - 5, 10, kMax);
  FillRect(0, 0, 640, 480);
  SetDrawViewport(0, 0, 640, 480);
  EXPECT_EQ(Rgb(0, 0), 0u);
  EXPECT_EQ(Rgb(5, 470), 0u);
  EXPECT_EQ(Rgb(639, 479), 0u);
}

TEST_F(GLDrawing, PixmapsComeBackAsTheyWereDrawn) {
  Ref<TPixmap> p = PixmapCreate(16, 8, PIXFMT_RGB888);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x)
      p->SetPixel(x, y, 0xFF000000u | std::uint32_t(y * 30) << 16 | std::uint32_t(x * 15) << 8 | 7u);
  SetDrawOrigin(500, 500);  // pixmaps take no origin
  SetBlendMode(BlendAlpha);
  BlitPixmap(p.Get(), 50, 60);
  EXPECT_EQ(GetBlendMode(), BlendAlpha);
  EXPECT_EQ(GLVex2DDriver()->lastBlend, BlendAlpha);
  Ref<TPixmap> back = ReadPixmap(50, 60, 16, 8);
  ASSERT_EQ(back->width, 16);
  ASSERT_EQ(back->height, 8);
  EXPECT_EQ(back->format, PIXFMT_RGBA8888);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x)
      ASSERT_EQ(back->GetPixel(x, y) & 0xFFFFFFu, p->GetPixel(x, y) & 0xFFFFFFu) << x << "," << y;
  // Top row first: the pixmap's row 0 is the screen row 60.
  EXPECT_EQ(Rgb(50, 60), p->GetPixel(0, 0) & 0xFFFFFFu);
  EXPECT_EQ(Rgb(50, 67), p->GetPixel(0, 7) & 0xFFFFFFu);
  EXPECT_EQ(Rgb(50, 68), 0u);

  // Capturing into a masked image masks it with the module colour.
  Ref<TImage> grab = NewImage(16, 8, 1, ImageMasked);
  SetImageMaskColor(0, 0, 7);
  CaptureImage(grab.Get(), 50, 60);
  Ref<TPixmap> stored = grab->LockPixmap(0, 1, 0);
  EXPECT_EQ(stored->GetPixel(0, 0) >> 24, 0u);  // (0, 0, 7) was the key
  EXPECT_EQ(stored->GetPixel(1, 0), 0xFF000F07u);
}

}  // namespace
}  // namespace cvx
