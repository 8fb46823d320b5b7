// What the driver's queue holds for a sprite or a shape: every corner where
// the matrix puts it, summed in the order the immediate path rounds it in,
// the frame's texture rectangle, and the colour and alpha bytes that were
// current when the primitive was drawn. Frames compared with the queue on and
// off run the same vertex code on both sides, so these are checked here.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/glvex2d/gl_fixture.h"

namespace cvx {
namespace {

class GLQueuedVertices : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetDisplay();
    SetBlendMode(BlendAlpha);
  }
  void TearDown() override {
    GLVex2DDriver()->Flush();
    SetDrawTransform(0, 1, 1);
    SetDrawOrigin(0, 0);
    SetDrawColor(255, 255, 255);
    SetDrawAlpha(1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }
};

// A 37x23 picture: its texture is padded to 64x32, so the frame's texture
// rectangle does not end at 1.
Ref<TImage> PaddedImage() {
  Ref<TPixmap> p = PixmapCreate(37, 23, PIXFMT_RGBA8888);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) p->SetPixel(x, y, 0xFF000000u | static_cast<std::uint32_t>(x * 5 + y));
  return TImage::FromSource(Ref<TObject>(p), ImageFiltered, 0, 0, 0);
}

void ExpectColour(const GLBatchVertex& v, int red, int green, int blue, int alpha) {
  EXPECT_EQ(v.rgba[0], red);
  EXPECT_EQ(v.rgba[1], green);
  EXPECT_EQ(v.rgba[2], blue);
  EXPECT_EQ(v.rgba[3], alpha);
}

TEST_F(GLQueuedVertices, SpriteCornersFollowTheMatrixAndTheFrameRectangle) {
  Ref<TImage> image = PaddedImage();
  PlaceImageHandle(image.Get(), 3.25f, 17.5f);
  SetDrawOrigin(5.5f, -2);
  SetDrawColor(10, 200, 77);
  SetDrawAlpha(0.4f);
  TGLVex2DDriver* d = GLVex2DDriver();
  const float rotations[] = {0, 30, 137.5f, -200};
  const float scales[][2] = {{1, 1}, {1.7f, 0.6f}, {-0.13f, 2.9f}};
  for (float rotation : rotations)
    for (const auto& scale : scales) {
      SetDrawTransform(rotation, scale[0], scale[1]);
      d->Flush();
      BlitImage(image.Get(), 101.37f, 57.61f);
      ASSERT_EQ(d->batch.VertexCount(), 4);
      auto* frame = dynamic_cast<TGLTextureFrame*>(image->FrameFor(0).Get());
      ASSERT_NE(frame, nullptr);
      EXPECT_FLOAT_EQ(frame->s1, 37.0f / 64.0f);
      EXPECT_FLOAT_EQ(frame->t1, 23.0f / 32.0f);
      const float tx = 101.37f + 5.5f, ty = 57.61f - 2;
      const float lx[] = {-3.25f, 37 - 3.25f, 37 - 3.25f, -3.25f};
      const float ly[] = {-17.5f, -17.5f, 23 - 17.5f, 23 - 17.5f};
      const float s[] = {frame->s0, frame->s1, frame->s1, frame->s0};
      const float t[] = {frame->t0, frame->t0, frame->t1, frame->t1};
      for (int k = 0; k < 4; ++k) {
        const GLBatchVertex& v = d->batch.Vertices()[k];
        // Exact equality: a corner that rounds differently moves edge pixels.
        EXPECT_EQ(v.x, lx[k] * d->ix + ly[k] * d->iy + tx) << "corner " << k << " rotation " << rotation;
        EXPECT_EQ(v.y, lx[k] * d->jx + ly[k] * d->jy + ty) << "corner " << k << " rotation " << rotation;
        EXPECT_EQ(v.s, s[k]);
        EXPECT_EQ(v.t, t[k]);
        ExpectColour(v, 10, 200, 77, 102);  // alpha 0.4 is byte 102, truncated
      }
    }
}

TEST_F(GLQueuedVertices, EveryPrimitiveKeepsTheColourItWasDrawnWith) {
  Ref<TImage> image = PaddedImage();
  TGLVex2DDriver* d = GLVex2DDriver();
  const int colours[][4] = {{255, 0, 0, 255}, {0, 255, 0, 127}, {1, 2, 3, 0}, {250, 128, 7, 63}};
  for (const auto& c : colours) {
    SetDrawColor(c[0], c[1], c[2]);
    SetDrawAlpha(static_cast<float>(c[3]) / 255.0f + 0.001f);
    BlitImage(image.Get(), 10, 10);
  }
  ASSERT_EQ(d->batch.VertexCount(), 16);
  for (int q = 0; q < 4; ++q)
    for (int k = 0; k < 4; ++k) ExpectColour(d->batch.Vertices()[q * 4 + k], colours[q][0], colours[q][1], colours[q][2], colours[q][3]);
  // Shapes take the packed colour too; out-of-range components are clamped.
  d->Flush();
  SetDrawColor(300, -5, 64);
  SetDrawAlpha(2);
  FillRect(0, 0, 8, 8);
  StrokeLine(0, 0, 10, 3, 0);
  ASSERT_EQ(d->batch.VertexCount(), 6);
  for (int k = 0; k < 6; ++k) ExpectColour(d->batch.Vertices()[k], 255, 0, 64, 255);
  // Drawn out, the last quad shows its colour.
  EXPECT_EQ(testing::Rgb(4, 6), 0xFF0040u);
}

}  // namespace
}  // namespace cvx
