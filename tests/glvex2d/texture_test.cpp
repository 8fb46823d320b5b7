// Texture frames: fitting, the one-texel border, mipmaps, state caches, and
// frames made again after the display is reopened.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "corvex/glgraphics/glgraphics.h"
#include "corvex/runtime/object.h"
#include "tests/glvex2d/gl_fixture.h"

namespace cvx {
namespace {

using testing::FlatImage;
using testing::Rgb;

class GLTextures : public ::testing::Test {
 protected:
  void SetUp() override { testing::ResetDisplay(); }
  void TearDown() override { EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)); }
};

// The RGBA texels of a texture's level 0 (read in the current context, which
// shares textures with the one they were made in).
std::vector<std::uint32_t> Texels(int name, int w, int h) {
  std::vector<std::uint32_t> texels(static_cast<std::size_t>(w * h));
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(name));
  GLVex2DDriver()->boundTexture = name;  // keep the cache honest
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  return texels;
}

GLint LevelWidth(int name, int level) {
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(name));
  GLVex2DDriver()->boundTexture = name;
  GLint w = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
  return w;
}

TEST_F(GLTextures, OddSizedImagesGetAPowerOfTwoTextureWithABorder) {
  // Memory of the texture's size left dirty, so that a margin the driver does
  // not clear shows.
  {
    Ref<TPixmap> dirty = PixmapCreate(128, 64, PIXFMT_RGBA8888, 4);
    std::memset(dirty->pixels, 0x5A, static_cast<std::size_t>(dirty->capacity));
  }
  ReclaimMemory();
  // Every pixel distinct: red = x, green = y.
  Ref<TPixmap> p = PixmapCreate(100, 50, PIXFMT_RGB888);
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 100; ++x) p->SetPixel(x, y, 0xFF000000u | std::uint32_t(x) << 16 | std::uint32_t(y) << 8 | 9u);
  Ref<TImage> image = TImage::FromSource(Ref<TObject>(p), 0, 0, 0, 0);
  auto* frame = dynamic_cast<TGLTextureFrame*>(image->FrameFor(0).Get());
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->s0, 0);
  EXPECT_EQ(frame->t0, 0);
  EXPECT_EQ(frame->s1, 0.78125f);
  EXPECT_EQ(frame->t1, 0.78125f);
  EXPECT_EQ(frame->sequence, GraphicsSequence());
  EXPECT_EQ(LevelWidth(frame->texture, 0), 128);
  std::vector<std::uint32_t> t = Texels(frame->texture, 128, 64);
  auto at = [&](int x, int y) { return t[static_cast<std::size_t>(y * 128 + x)]; };  // bytes r, g, b, a
  auto rgba = [](int r, int g, int b, int a) {
    return std::uint32_t(r) | std::uint32_t(g) << 8 | std::uint32_t(b) << 16 | std::uint32_t(a) << 24;
  };
  EXPECT_EQ(at(0, 0), rgba(0, 0, 9, 255));
  EXPECT_EQ(at(99, 49), rgba(99, 49, 9, 255));
  for (int y = 0; y < 50; ++y) ASSERT_EQ(at(100, y), at(99, y)) << y;  // column 100 repeats 99
  for (int x = 0; x < 100; ++x) ASSERT_EQ(at(x, 50), at(x, 49)) << x;  // row 50 repeats 49
  EXPECT_EQ(at(100, 50), at(99, 49));
  EXPECT_EQ(at(101, 0), 0u);
  EXPECT_EQ(at(127, 63), 0u);
  EXPECT_EQ(at(0, 51), 0u);
  EXPECT_EQ(at(101, 51), 0u);
  int dirtyMargin = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x)
      if ((x > 100 || y > 50) && at(x, y) != 0u) ++dirtyMargin;
  EXPECT_EQ(dirtyMargin, 0);

  // Drawn, it shows the image and not the margin.
  SetBlendMode(BlendSolid);
  BlitImage(image.Get(), 10, 10);
  EXPECT_EQ(Rgb(10, 10), 0x000009u);
  EXPECT_EQ(Rgb(109, 59), 0x633109u);
  EXPECT_EQ(Rgb(110, 10), 0u);
}

TEST_F(GLTextures, PowerOfTwoImagesUseTheirPixelsDirectly) {
  Ref<TPixmap> p = PixmapCreate(64, 64, PIXFMT_BGRA8888);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) p->SetPixel(x, y, 0x80000000u | std::uint32_t(x * 4) << 16 | std::uint32_t(y));
  Ref<TImage> image = TImage::FromSource(Ref<TObject>(p), 0, 0, 0, 0);
  auto* frame = dynamic_cast<TGLTextureFrame*>(image->FrameFor(0).Get());
  EXPECT_EQ(frame->s1, 1.0f);
  EXPECT_EQ(frame->t1, 1.0f);
  std::vector<std::uint32_t> t = Texels(frame->texture, 64, 64);
  EXPECT_EQ(t[static_cast<std::size_t>(5 * 64 + 3)], std::uint32_t(12) | 0u << 8 | 5u << 16 | 0x80u << 24);
}

TEST_F(GLTextures, SizesBeyondTheLimitAreHalvedTogether) {
  GLint limit = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &limit);
  ASSERT_GE(limit, 64);
  int tw, th;
  FitTextureSize(100, 50, tw, th);
  EXPECT_EQ(tw, 128);
  EXPECT_EQ(th, 64);
  FitTextureSize(1, 1, tw, th);
  EXPECT_EQ(tw * th, 1);
  // Twice the limit by 10: 2 limit x 16 does not fit; both halve to limit x 8.
  FitTextureSize(limit * 2 - 48, 10, tw, th);
  EXPECT_EQ(tw, limit);
  EXPECT_EQ(th, 8);
}

TEST_F(GLTextures, MipmappedFramesHaveEveryLevel) {
  Ref<TImage> image = FlatImage(16, 4, 0xFF20C040u, ImageMipmapped | ImageFiltered);
  auto* frame = dynamic_cast<TGLTextureFrame*>(image->FrameFor(0).Get());
  EXPECT_EQ(LevelWidth(frame->texture, 0), 16);
  EXPECT_EQ(LevelWidth(frame->texture, 2), 4);
  EXPECT_EQ(LevelWidth(frame->texture, 4), 1);  // 16x4, 8x2, 4x1, 2x1, 1x1
  GLint minFilter = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
  EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);
  // Drawn small, it samples the smaller levels, which hold the same colour.
  SetBlendMode(BlendSolid);
  SetDrawScale(0.25f, 0.25f);
  BlitImage(image.Get(), 200, 200);
  EXPECT_EQ(Rgb(201, 200), 0x20C040u);
}

TEST_F(GLTextures, FiltersFollowTheImageFlags) {
  Ref<TImage> plain = FlatImage(4, 4, 0xFFFFFFFFu, 0);
  Ref<TImage> filtered = FlatImage(4, 4, 0xFFFFFFFFu, ImageFiltered);
  GLint mag = 0;
  LevelWidth(dynamic_cast<TGLTextureFrame*>(plain->FrameFor(0).Get())->texture, 0);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag);
  EXPECT_EQ(mag, GL_NEAREST);
  LevelWidth(dynamic_cast<TGLTextureFrame*>(filtered->FrameFor(0).Get())->texture, 0);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag);
  EXPECT_EQ(mag, GL_LINEAR);
  GLint wrap = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
  EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);
}

TEST_F(GLTextures, BlendAndTextureCachesSkipRepeatedState) {
  TGLVex2DDriver* d = GLVex2DDriver();
  SetBlendMode(BlendAlpha);
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  // A second identical blend issues nothing: a change made behind the
  // driver's back stays.
  glDisable(GL_BLEND);
  SetBlendMode(BlendAlpha);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  // Making the graphics current again forgets the caches.
  MakeGraphicsCurrent(OpenedGraphics().Get());
  EXPECT_EQ(d->lastBlend, 0);
  EXPECT_EQ(d->boundTexture, 0);
  EXPECT_EQ(d->texturing, 0);
  SetBlendMode(BlendAlpha);
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  SetBlendMode(BlendMultiply);
  GLint dst = 0;
  glGetIntegerv(GL_BLEND_DST, &dst);
  EXPECT_EQ(dst, GL_ZERO);
  SetBlendMode(BlendMasked);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));

  // Texturing goes on with the first image and off with the first shape only.
  Ref<TImage> image = FlatImage(4, 4, 0xFFFFFFFFu);
  // Queued primitives set the GL state they need when they are drawn out.
  BlitImage(image.Get(), 0, 0);
  FlushGLVex2D();
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_EQ(d->boundTexture, dynamic_cast<TGLTextureFrame*>(image->FrameFor(0).Get())->texture);
  glDisable(GL_TEXTURE_2D);  // behind the driver's back
  BlitImage(image.Get(), 0, 0);
  FlushGLVex2D();
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  d->texturing = 0;
  BlitImage(image.Get(), 0, 0);
  FlushGLVex2D();
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  FillRect(0, 0, 1, 1);
  FlushGLVex2D();
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_EQ(d->texturing, 0);
}

TEST_F(GLTextures, FramesAreMadeAgainAfterTheDisplayIsReopened) {
  Ref<TImage> image = FlatImage(8, 8, 0xFF00FF00u);
  Ref<TImageFrame> first = image->FrameFor(0);
  BlitImage(image.Get(), 20, 20);
  EXPECT_EQ(image->FrameFor(0), first);
  EXPECT_EQ(Rgb(20, 20), 0x00FF00u);
  const int sequence = GraphicsSequence();

  ShutGraphics();
  EXPECT_EQ(CurrentVex2DGraphics() != nullptr, true);  // the old object stays recorded until the next activation
  ASSERT_TRUE(OpenGraphics(testing::kWidth, testing::kHeight, 0, 0, 0));
  EXPECT_EQ(GraphicsSequence(), sequence + 2);
  testing::ResetDisplay();
  BlitImage(image.Get(), 20, 20);
  Ref<TImageFrame> second = image->FrameFor(0);
  EXPECT_NE(second, first);
  EXPECT_EQ(dynamic_cast<TGLTextureFrame*>(second.Get())->sequence, GraphicsSequence());
  EXPECT_EQ(Rgb(20, 20), 0x00FF00u);
  EXPECT_EQ(Rgb(28, 20), 0u);
  EXPECT_EQ(image->FrameFor(0), second);
}

// Makes a frame's texture and drops the frame again; returns the texture
// name. Kept out of line so that no reference to the frame stays in the
// caller's stack words, which the collector scans.
[[gnu::noinline]] int MakeAndDropFrame(TImage* image, bool fromOlderDisplay) {
  auto* frame = dynamic_cast<TGLTextureFrame*>(image->FrameFor(0).Get());
  const int name = frame->texture;
  if (fromOlderDisplay) frame->sequence = GraphicsSequence() - 1;
  image->LockPixmap(0, 1, 1);  // writing invalidates and releases the frame
  return name;
}

[[gnu::noinline]] void ScrubStack() {
  volatile char junk[4096];
  for (char& c : const_cast<char(&)[4096]>(junk)) c = 0;
}

TEST_F(GLTextures, ReleasedFramesDeleteOnlyTexturesOfThePresentDisplay) {
  Ref<TImage> image = FlatImage(4, 4, 0xFFFFFFFFu);
  const int current = MakeAndDropFrame(image.Get(), false);
  const int older = MakeAndDropFrame(image.Get(), true);
  ScrubStack();
  ReclaimMemory();
  EXPECT_FALSE(glIsTexture(static_cast<GLuint>(current)));
  EXPECT_TRUE(glIsTexture(static_cast<GLuint>(older)));
  const GLuint name = static_cast<GLuint>(older);
  glDeleteTextures(1, &name);
}

TEST_F(GLTextures, TheDriverWrapsGLGraphicsAndSelectsItself) {
  TGLVex2DDriver* d = GLVex2DDriver();
  EXPECT_EQ(d->ToString(), "OpenGL"_s);
  EXPECT_EQ(CurrentGraphicsDriver().Get(), d);
  auto* g = dynamic_cast<TVex2DGraphics*>(OpenedGraphics().Get());
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->OwnerDriver().Get(), d);
  EXPECT_EQ(g->validated, 1);
  int w, h, depth, hertz, flags;
  g->QuerySettings(w, h, depth, hertz, flags);
  EXPECT_EQ(w, testing::kWidth);
  EXPECT_EQ(h, testing::kHeight);
  EXPECT_TRUE(flags & FlagBackBuffer);
  GLdouble projection[16];
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  EXPECT_NEAR(projection[0], 2.0 / testing::kWidth, 1e-9);
  EXPECT_NEAR(projection[5], -2.0 / testing::kHeight, 1e-9);
}

}  // namespace
}  // namespace cvx
