// Textured 64x64 sprites with per-sprite scale and alpha, half alpha-blended
// and half additive, the way particles are drawn: through the 2D layer
// (BlitImage), through raw OpenGL immediate mode, through a hand-written
// batched GL program (vertex arrays, one draw per blend mode), and through SDL2's own renderer (SDL_RenderCopyEx).
// Every frame ends with glFinish so that the GL's work is counted, not only the calls.
// The four draw the same pixels: the same quads (SDL gets them as float
// rectangles), the same alpha bytes, the same texture and blend functions, and
// the counter lit_pixels (the pixels of the first frame that are not the
// black background) shows it in every run.
//
// Run under Xvfb:  xvfb-run -a -s "-screen 0 1024x768x24" ./bench_vex2d
// The counter us_per_sprite is the time of one sprite; compare the three
// within one run.
#include <GL/gl.h>
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "bench/support/bench_main.h"
#include "corvex/glgraphics/glgraphics.h"
#include "corvex/glvex2d/glvex2d.h"
#include "corvex/graphics/graphics.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/startup.h"
#include "corvex/vex2d/image.h"
#include "corvex/vex2d/vex2d.h"

namespace {

using namespace cvx;

constexpr int kWidth = 640, kHeight = 480, kSprite = 64;

struct Sprite {
  float x, y, scale, alpha;
};

// The same sprites for every variant: positions over the screen, scales in
// [minScale, maxScale), alphas in [0.1, 1).
std::vector<Sprite> MakeSprites(int n, float minScale, float maxScale) {
  std::vector<Sprite> sprites(static_cast<std::size_t>(n));
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<float>(seed >> 8) / 16777216.0f;
  };
  for (Sprite& s : sprites) {
    s.x = next() * kWidth;
    s.y = next() * kHeight;
    s.scale = minScale + next() * (maxScale - minScale);
    s.alpha = 0.1f + next() * 0.9f;
  }
  return sprites;
}

// A soft round spot, as particle pictures are.
std::vector<std::uint8_t> SpotPixels() {
  std::vector<std::uint8_t> rgba(kSprite * kSprite * 4);
  for (int y = 0; y < kSprite; ++y) {
    for (int x = 0; x < kSprite; ++x) {
      const float dx = (x + 0.5f - kSprite / 2.0f) / (kSprite / 2.0f),
                  dy = (y + 0.5f - kSprite / 2.0f) / (kSprite / 2.0f);
      const float a = std::max(0.0f, 1.0f - std::sqrt(dx * dx + dy * dy));
      std::uint8_t* p = &rgba[static_cast<std::size_t>((y * kSprite + x) * 4)];
      p[0] = 255;
      p[1] = static_cast<std::uint8_t>(128 + 127 * a);
      p[2] = 64;
      p[3] = static_cast<std::uint8_t>(255 * a);
    }
  }
  return rgba;
}

// ---- The 2D layer ---------------------------------------------------------------------

Ref<TImage> spot;

void UseCorvexContext() {
  InitGLVex2D();
  if (!OpenedGraphics()) {
    OpenGraphics(kWidth, kHeight, 0, 0, 0);
    std::vector<std::uint8_t> rgba = SpotPixels();
    Ref<TPixmap> pixmap = PixmapCreate(kSprite, kSprite, PIXFMT_RGBA8888);
    for (int y = 0; y < kSprite; ++y)
      std::copy_n(&rgba[static_cast<std::size_t>(y * kSprite * 4)], kSprite * 4, pixmap->PixelAddress(0, y));
    spot = OpenImage(Ref<TObject>(pixmap), ImageFiltered);
    CentreImageHandle(spot.Get());
  }
  // Another renderer may have switched the platform's context; take ours
  // back and let the driver forget its caches.
  auto* g = dynamic_cast<TVex2DGraphics*>(OpenedGraphics().Get());
  auto* gl = dynamic_cast<TGLContextGraphics*>(g->graphics.Get());
  SDL_GL_MakeCurrent(static_cast<SDL_Window*>(gl->Context()->window), gl->Context()->renderContext);
  MakeGraphicsCurrent(g);
  GLVex2DDriver()->MakeCurrent(g);
}

// The sprites' alpha as the 2D layer turns a drawing alpha into a byte
// (truncated), so that every variant blends with the same values.
std::uint8_t AlphaByte(float alpha) { return static_cast<std::uint8_t>(static_cast<int>(alpha * 255)); }

// The pixels of the current GL context's back buffer that are not black:
// equal counts mean that the variants covered the same pixels.
void CountLitPixels(benchmark::State& state) {
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(kWidth * kHeight * 4));
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  double lit = 0;
  for (std::size_t i = 0; i < rgba.size(); i += 4) lit += (rgba[i] | rgba[i + 1] | rgba[i + 2]) != 0;
  state.counters["lit_pixels"] = lit;
}

void SetPerSprite(benchmark::State& state, int sprites) {
  state.counters["us_per_sprite"] = benchmark::Counter(
      static_cast<double>(sprites) * 1e-6, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Vex2D(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const float scale = static_cast<float>(state.range(1)) / 100.0f;
  UseCorvexContext();
  const std::vector<Sprite> alpha = MakeSprites(n, scale * 0.5f, scale * 1.5f);
  const std::vector<Sprite> light = MakeSprites(n + 1, scale * 0.5f, scale * 1.5f);
  auto drawFrame = [&] {
    ClearScreen();
    SetBlendMode(BlendAlpha);
    for (const Sprite& s : alpha) {
      SetDrawAlpha(s.alpha);
      SetDrawScale(s.scale, s.scale);
      BlitImage(spot.Get(), s.x, s.y);
    }
    SetBlendMode(BlendAdditive);
    for (int i = 0; i < n; ++i) {
      const Sprite& s = light[static_cast<std::size_t>(i)];
      SetDrawAlpha(s.alpha);
      SetDrawScale(s.scale, s.scale);
      BlitImage(spot.Get(), s.x, s.y);
    }
    // The driver queues what it draws; a program that calls the GL itself
    // hands the queue over first (without this the additive half would wait
    // for the next frame's ClearScreen, outside the glFinish).
    FlushGLVex2D();
    glFinish();
  };
  drawFrame();  // the first frame pays for uploads and shader set-up
  CountLitPixels(state);
  for (auto _ : state) drawFrame();
  SetDrawScale(1, 1);
  SetDrawAlpha(1);
  SetPerSprite(state, 2 * n);
}

// ---- Raw OpenGL immediate mode ---------------------------------------------------------------

void DrawRaw(const Sprite& s, float s1, float t1) {
  const float half = kSprite * 0.5f * s.scale;
  glColor4ub(255, 255, 255, AlphaByte(s.alpha));
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex2f(s.x - half, s.y - half);
  glTexCoord2f(s1, 0);
  glVertex2f(s.x + half, s.y - half);
  glTexCoord2f(s1, t1);
  glVertex2f(s.x + half, s.y + half);
  glTexCoord2f(0, t1);
  glVertex2f(s.x - half, s.y + half);
  glEnd();
}

void BM_RawGL(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const float scale = static_cast<float>(state.range(1)) / 100.0f;
  UseCorvexContext();
  auto* frame = dynamic_cast<TGLTextureFrame*>(spot->FrameFor(0).Get());
  const std::vector<Sprite> alpha = MakeSprites(n, scale * 0.5f, scale * 1.5f);
  const std::vector<Sprite> light = MakeSprites(n + 1, scale * 0.5f, scale * 1.5f);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(frame->texture));
  glDisable(GL_ALPHA_TEST);
  glEnable(GL_BLEND);
  auto drawFrame = [&] {
    glClear(GL_COLOR_BUFFER_BIT);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (const Sprite& s : alpha) DrawRaw(s, frame->s1, frame->t1);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    for (int i = 0; i < n; ++i) DrawRaw(light[static_cast<std::size_t>(i)], frame->s1, frame->t1);
    glFinish();
  };
  drawFrame();  // the first frame pays for uploads and shader set-up
  CountLitPixels(state);
  for (auto _ : state) drawFrame();
  SetPerSprite(state, 2 * n);
}

// ---- Hand-written batched OpenGL ------------------------------------------------------------

// What a batching driver should come close to: every quad of one blend mode in
// client-side vertex arrays (position, texture coordinate, colour) and one
// glDrawArrays for them.
struct BatchVertex {
  float x, y, s, t;
  std::uint8_t rgba[4];
};

void AppendQuad(std::vector<BatchVertex>& out, const Sprite& s, float s1, float t1) {
  const float half = kSprite * 0.5f * s.scale;
  const std::uint8_t a = AlphaByte(s.alpha);
  out.push_back({s.x - half, s.y - half, 0, 0, {255, 255, 255, a}});
  out.push_back({s.x + half, s.y - half, s1, 0, {255, 255, 255, a}});
  out.push_back({s.x + half, s.y + half, s1, t1, {255, 255, 255, a}});
  out.push_back({s.x - half, s.y + half, 0, t1, {255, 255, 255, a}});
}

void DrawBatch(const std::vector<BatchVertex>& batch) {
  glVertexPointer(2, GL_FLOAT, sizeof(BatchVertex), &batch[0].x);
  glTexCoordPointer(2, GL_FLOAT, sizeof(BatchVertex), &batch[0].s);
  glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(BatchVertex), batch[0].rgba);
  glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(batch.size()));
}

void BM_BatchedGL(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const float scale = static_cast<float>(state.range(1)) / 100.0f;
  UseCorvexContext();
  auto* frame = dynamic_cast<TGLTextureFrame*>(spot->FrameFor(0).Get());
  const std::vector<Sprite> alpha = MakeSprites(n, scale * 0.5f, scale * 1.5f);
  const std::vector<Sprite> light = MakeSprites(n + 1, scale * 0.5f, scale * 1.5f);
  std::vector<BatchVertex> batch;
  batch.reserve(static_cast<std::size_t>(4 * n));
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(frame->texture));
  glDisable(GL_ALPHA_TEST);
  glEnable(GL_BLEND);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  auto drawFrame = [&] {
    glClear(GL_COLOR_BUFFER_BIT);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    batch.clear();
    for (const Sprite& s : alpha) AppendQuad(batch, s, frame->s1, frame->t1);
    DrawBatch(batch);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    batch.clear();
    for (int i = 0; i < n; ++i) AppendQuad(batch, light[static_cast<std::size_t>(i)], frame->s1, frame->t1);
    DrawBatch(batch);
    glFinish();
  };
  drawFrame();  // the first frame pays for uploads and shader set-up
  CountLitPixels(state);
  for (auto _ : state) drawFrame();
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  SetPerSprite(state, 2 * n);
}

// ---- SDL2's renderer ---------------------------------------------------------------------

SDL_Window* sdlWindow = nullptr;
SDL_Renderer* sdlRenderer = nullptr;
SDL_Texture* sdlSpot = nullptr;

bool UseSdlRenderer(benchmark::State& state) {
  if (!sdlRenderer) {
    UseCorvexContext();  // SDL's video subsystem is up once the display is
    sdlWindow = SDL_CreateWindow("sdl renderer", 0, 0, kWidth, kHeight, SDL_WINDOW_SHOWN);
    if (sdlWindow) sdlRenderer = SDL_CreateRenderer(sdlWindow, -1, SDL_RENDERER_ACCELERATED);
    if (!sdlRenderer) {
      state.SkipWithError("SDL_CreateRenderer failed");
      return false;
    }
    sdlSpot = SDL_CreateTexture(sdlRenderer, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STATIC, kSprite, kSprite);
    std::vector<std::uint8_t> rgba = SpotPixels();
    SDL_UpdateTexture(sdlSpot, nullptr, rgba.data(), kSprite * 4);
    // Linear both ways; the 2D layer's spot is ImageFiltered without
    // ImageMipmapped (linear magnification, nearest minification), which is
    // what the comparison pairs with it. llvmpipe has to choose between the
    // two filters for every pixel, which SDL's texture does not ask for.
    SDL_SetTextureScaleMode(sdlSpot, SDL_ScaleModeLinear);
  }
  SDL_RendererInfo info;
  SDL_GetRendererInfo(sdlRenderer, &info);
  state.SetLabel(info.name);
  return true;
}

// The quad of the other variants as a float rectangle: whole-pixel
// rectangles (SDL_RenderCopyEx) would cut every size down to an integer and
// cover fewer pixels (two fifths less area for the sprites of a pixel or two).
void DrawSdl(const Sprite& s) {
  const float half = kSprite * 0.5f * s.scale;
  const SDL_FRect dst = {s.x - half, s.y - half, 2 * half, 2 * half};
  SDL_SetTextureAlphaMod(sdlSpot, AlphaByte(s.alpha));
  SDL_RenderCopyExF(sdlRenderer, sdlSpot, nullptr, &dst, 0.0, nullptr, SDL_FLIP_NONE);
}

void BM_SdlRenderer(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const float scale = static_cast<float>(state.range(1)) / 100.0f;
  if (!UseSdlRenderer(state)) return;
  const std::vector<Sprite> alpha = MakeSprites(n, scale * 0.5f, scale * 1.5f);
  const std::vector<Sprite> light = MakeSprites(n + 1, scale * 0.5f, scale * 1.5f);
  auto drawFrame = [&] {
    SDL_SetRenderDrawColor(sdlRenderer, 0, 0, 0, 255);
    SDL_RenderClear(sdlRenderer);
    SDL_SetTextureBlendMode(sdlSpot, SDL_BLENDMODE_BLEND);
    for (const Sprite& s : alpha) DrawSdl(s);
    SDL_SetTextureBlendMode(sdlSpot, SDL_BLENDMODE_ADD);
    for (int i = 0; i < n; ++i) DrawSdl(light[static_cast<std::size_t>(i)]);
    SDL_RenderFlush(sdlRenderer);
    glFinish();  // the renderer's context is current after the flush
  };
  drawFrame();  // the first frame pays for uploads and shader set-up
  CountLitPixels(state);
  for (auto _ : state) drawFrame();
  SetPerSprite(state, 2 * n);
}

}  // namespace

// Arguments: sprites per blend mode, mean scale in percent (3: sprites of a
// pixel or two, so the per-sprite cost of the calls shows; 25: small sprites;
// 100: full 64x64 sprites, bound by the rasteriser's fill rate).
// The three variants are registered side by side for each size so that the
// load of a shared machine hits them alike. Times are wall-clock: the GL
// rasterises on its own threads and glFinish waits for them.
void RegisterSpriteBenchmarks() {
  for (int n : {500, 2000}) {
    for (int scale : {3, 25, 100}) {
      benchmark::RegisterBenchmark("BM_Vex2D", BM_Vex2D)
          ->Args({n, scale})
          ->UseRealTime()
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark("BM_RawGL", BM_RawGL)
          ->Args({n, scale})
          ->UseRealTime()
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark("BM_BatchedGL", BM_BatchedGL)
          ->Args({n, scale})
          ->UseRealTime()
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark("BM_SdlRenderer", BM_SdlRenderer)
          ->Args({n, scale})
          ->UseRealTime()
          ->Unit(benchmark::kMillisecond);
    }
  }
}

int main(int argc, char** argv) { return cvx::RunBenchmarks(argc, argv, RegisterSpriteBenchmarks); }
