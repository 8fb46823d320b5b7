// The driver's vertex queue: frames drawn with it and without it agree pixel
// for pixel, it collects what shares a texture into few draws, and it is
// drawn out before anything reads the frame or makes GL calls of its own.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "corvex/glgraphics/glgraphics.h"
#include "tests/glvex2d/frame_compare.h"
#include "tests/glvex2d/gl_fixture.h"

namespace cvx {
namespace {

using testing::Rgb;
using testing::SameWithAndWithoutQueue;

class GLQueue : public ::testing::Test {
 protected:
  void SetUp() override { testing::ResetDisplay(); }
  void TearDown() override {
    SetGLBatching(1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }
};

// A picture with every channel varying, alpha included, so that filtering,
// blending and colour modulation all show in the result.
Ref<TImage> GradientImage(int w, int h, int flags) {
  Ref<TPixmap> p = PixmapCreate(w, h, PIXFMT_RGBA8888);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::uint32_t a = static_cast<std::uint32_t>(255 * (x + y) / (w + h - 2));
      const std::uint32_t r = static_cast<std::uint32_t>(255 * x / (w - 1)), g = static_cast<std::uint32_t>(255 * y / (h - 1));
      p->SetPixel(x, y, (a << 24) | (r << 16) | (g << 8) | ((x * 7 + y * 13) & 0xFF));
    }
  return TImage::FromSource(Ref<TObject>(p), flags, 0, 0, 0);
}

const int kBlends[] = {BlendMasked, BlendSolid, BlendAlpha, BlendAdditive, BlendMultiply};

TEST_F(GLQueue, SpritesAgreeForEveryBlendRotationScaleAndHandle) {
  Ref<TImage> filtered = GradientImage(37, 23, ImageFiltered);          // padded texture
  Ref<TImage> mipmapped = GradientImage(64, 64, ImageFiltered | ImageMipmapped);
  Ref<TImage> nearest = GradientImage(16, 40, 0);
  CentreImageHandle(mipmapped.Get());
  PlaceImageHandle(nearest.Get(), 3.25f, 17.5f);
  const float rotations[] = {0, 30, 45, 90, 137.5f, -200};
  const float scales[][2] = {{1, 1}, {0.5f, 0.5f}, {2.3f, 1.7f}, {-1, 1}, {0.13f, 0.07f}};
  const float handles[][2] = {{0, 0}, {11.5f, 5}, {-3.3f, 8.1f}};
  for (int blend : kBlends) {
    auto draw = [&] {
      SetBlendMode(blend);
      int k = 0;
      for (float rotation : rotations)
        for (const auto& scale : scales)
          for (const auto& handle : handles) {
            SetDrawHandle(handle[0], handle[1]);  // no effect on images, but on the text below
            SetDrawTransform(rotation, scale[0], scale[1]);
            SetDrawColor(255 - 20 * (k % 7), 128 + 9 * (k % 13), 40 * (k % 6));
            SetDrawAlpha(0.15f + 0.05f * static_cast<float>(k % 17));
            const float x = 30.0f + static_cast<float>((k * 53) % 580) + 0.37f * static_cast<float>(k % 3);
            const float y = 30.0f + static_cast<float>((k * 31) % 420) + 0.61f * static_cast<float>(k % 5);
            TImage* image = k % 3 == 0 ? filtered.Get() : (k % 3 == 1 ? mipmapped.Get() : nearest.Get());
            BlitImage(image, x, y);
            if (k % 10 == 0) DrawString("Qx", x, y);
            ++k;
          }
      SetDrawTransform(0, 1, 1);
      SetDrawHandle(0, 0);
    };
    EXPECT_TRUE(SameWithAndWithoutQueue(draw, testing::kWidth, testing::kHeight)) << "blend " << blend;
  }
}

TEST_F(GLQueue, ShapesAgreeMixedWithSpritesAndStateChanges) {
  Ref<TImage> image = GradientImage(20, 20, ImageFiltered);
  Ref<TArray<float>> star = NewArray<float>(10);
  const float points[] = {0, -30, 9, -9, 30, 0, 9, 9, 0, 30};
  for (int i = 0; i < 10; ++i) (*star)[i] = points[i];
  for (int blend : kBlends) {
    auto draw = [&] {
      SetBlendMode(blend);
      for (int k = 0; k < 24; ++k) {
        const float x = 20.0f + static_cast<float>(k * 25), y = 20.0f + static_cast<float>((k * 37) % 400);
        SetDrawTransform(static_cast<float>(k * 15), 1.0f + 0.1f * static_cast<float>(k % 4), 1);
        SetDrawColor(60 + k * 8, 255 - k * 9, 100);
        SetDrawAlpha(0.3f + 0.025f * static_cast<float>(k));
        SetDrawHandle(static_cast<float>(k % 5), 2.5f);
        FillRect(x, y, 14.5f, 9);
        FillOval(x + 5, y + 30, 22, 13);
        FillPoly(star.Get());
        SetDrawOrigin(x, y + 60);
        FillPoly(star.Get());
        SetDrawOrigin(0, 0);
        StrokeLine(x, y, x + 40, y + 17, k % 2);
        PlotPoint(x + 3, y + 45);
        PlotPoint(x + 4.5f, y + 46.5f);
        BlitImage(image.Get(), x + 10, y + 10);
        if (k == 8) SetDrawLineWidth(3);
        if (k == 12) SetDrawViewport(50, 40, 400, 300);
        if (k == 16) SetBlendMode(BlendAlpha);
        if (k == 20) SetDrawViewport(0, 0, testing::kWidth, testing::kHeight);
        BlitImageTiled(image.Get(), static_cast<float>(k), 0);
      }
      SetDrawLineWidth(1);
      SetDrawTransform(0, 1, 1);
      SetDrawHandle(0, 0);
    };
    EXPECT_TRUE(SameWithAndWithoutQueue(draw, testing::kWidth, testing::kHeight)) << "blend " << blend;
  }
}

TEST_F(GLQueue, SpritesOfOneTextureShareOneDraw) {
  Ref<TImage> a = GradientImage(8, 8, 0), b = GradientImage(8, 8, 0);
  TGLVex2DDriver* d = GLVex2DDriver();
  SetBlendMode(BlendAlpha);
  for (int k = 0; k < 100; ++k) {
    SetDrawAlpha(0.01f * static_cast<float>(k));  // colour changes stay in the vertices
    SetDrawScale(1.0f + 0.01f * static_cast<float>(k), 1);
    BlitImage(a.Get(), static_cast<float>(k * 5), 10);
  }
  EXPECT_EQ(d->batch.VertexCount(), 400);
  EXPECT_EQ(d->batch.RunCount(), 1);
  // Another texture, a blend mode or a shape without texture starts a new batch.
  BlitImage(b.Get(), 0, 100);
  EXPECT_EQ(d->batch.VertexCount(), 4);
  FillRect(0, 200, 4, 4);
  FillRect(10, 200, 4, 4);
  EXPECT_EQ(d->batch.VertexCount(), 8);
  EXPECT_EQ(d->batch.RunCount(), 1);
  SetBlendMode(BlendAdditive);
  EXPECT_TRUE(d->batch.Empty());
  // Polygons stay one run each; lines and points follow in their own runs.
  SetDrawAlpha(1);
  FillOval(0, 300, 20, 20);
  FillOval(30, 300, 20, 20);
  StrokeLine(0, 400, 50, 400, 1);
  EXPECT_EQ(d->batch.RunCount(), 4);
  EXPECT_EQ(Rgb(10, 310), 0xFFFFFFu);  // reading draws them out
  EXPECT_EQ(Rgb(40, 310), 0xFFFFFFu);
  EXPECT_TRUE(d->batch.Empty());
  SetDrawScale(1, 1);
}

TEST_F(GLQueue, ATextureDroppedWhileQueuedIsDrawnFirst) {
  Ref<TImage> red = testing::FlatImage(16, 16, 0xFFFF0000u);
  BlitImage(red.Get(), 100, 100);
  ASSERT_FALSE(GLVex2DDriver()->batch.Empty());
  red = nullptr;  // the frame deletes its texture
  EXPECT_EQ(Rgb(108, 108), 0xFF0000u);
}

TEST_F(GLQueue, QueuedDrawingLiesBelowGLDrawStringAndTakesItsColour) {
  SetBlendMode(BlendSolid);
  SetDrawColor(0, 0, 255);
  FillRect(0, 0, 100, 40);
  SetDrawColor(255, 0, 0);
  FillRect(0, 40, 100, 40);
  // The text takes the current colour, the last one set.
  GLDrawString("MMMMMMMM"_s, 0, 0);
  Ref<TPixmap> shot = ReadPixmap(0, 0, 64, 16);
  int red = 0, blue = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 64; ++x) {
      const std::uint32_t c = shot->GetPixel(x, y) & 0xFFFFFFu;
      red += c == 0xFF0000u;
      blue += c == 0x0000FFu;
    }
  EXPECT_GT(red, 50);   // the text
  EXPECT_EQ(blue, 0);   // solid text cells cover the rectangle drawn before them
  SetDrawColor(255, 255, 255);
}

TEST_F(GLQueue, OwnGLCallsAfterFlushGLVex2DComeOnTop) {
  SetBlendMode(BlendSolid);
  SetDrawColor(0, 255, 0);
  FillRect(0, 0, 50, 50);
  FlushGLVex2D();
  glColor4ub(255, 0, 255, 255);
  glBegin(GL_QUADS);
  glVertex2f(10, 10);
  glVertex2f(20, 10);
  glVertex2f(20, 20);
  glVertex2f(10, 20);
  glEnd();
  EXPECT_EQ(Rgb(15, 15), 0xFF00FFu);
  EXPECT_EQ(Rgb(30, 30), 0x00FF00u);
  SetDrawColor(255, 255, 255);
}

TEST_F(GLQueue, SwitchedOffEveryPrimitiveIsDrawnAtOnce) {
  SetGLBatching(0);
  EXPECT_EQ(GLBatching(), 0);
  FillRect(0, 0, 10, 10);
  EXPECT_TRUE(GLVex2DDriver()->batch.Empty());
  EXPECT_EQ(Rgb(5, 5), 0xFFFFFFu);
  SetGLBatching(1);
  EXPECT_EQ(GLBatching(), 1);
}

}  // namespace
}  // namespace cvx
