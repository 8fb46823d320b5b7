// The demo's costs: one frame of scene 2 at its steady state (HUD texts,
// update and draw of the smoke and spark emitters, glFinish so that the GL's
// work is counted; no flip, whose pacing would swamp it), and the particle
// engine alone (UpdateEmitters) with 10, 100 and 1000 smoke emitters at their
// steady state of about 80 particles each, giving the cost per particle.
//
// Both run on a virtual clock stepped by one 60 Hz frame per iteration, so
// that particles live as many frames as in the real demo.
//
// Run under Xvfb:  xvfb-run -a -s "-screen 0 1024x768x24" ./bench_demo
// (the engine benchmarks also run without a display).
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "corvex/glvex2d/glvex2d.h"
#include "corvex/graphics/graphics.h"
#include "corvex/input/input.h"
#include "corvex/pixmap/png/pngloader.h"
#include "corvex/pixmap/tga/tgaloader.h"
#include "corvex/random/random.h"
#include "corvex/runtime/memory.h"
#include "corvex/runtime/startup.h"
#include "corvex/system/system.h"
#include "corvex/vex2d/vex2d.h"
#include "demo/demo.h"
#include "demo/emitter.h"
#include "demo/scene.h"

namespace {

using namespace cvx;
using namespace demo;

// 60 Hz in whole milliseconds: 17, 17, 16, ...
int FrameMillis(long frame) { return static_cast<int>((frame + 1) * 1000 / 60 - frame * 1000 / 60); }

int ParticleCount() {
  int n = 0;
  for (TEmitter* e : Each<TEmitter>(EmitterList.Get())) n += ListLength(e->particles.Get());
  return n;
}

void RemoveAllEmitters() {
  for (TEmitter* e : Each<TEmitter>(EmitterList.Get())) RemoveEmitter(e, 1);
}

void BM_SceneTwoFrame(benchmark::State& state) {
  if (!std::getenv("DISPLAY")) {
    state.SkipWithError("needs an X display");
    return;
  }
  static Ref<TGraphics> display;
  static Ref<TImage> smokeImage, sparkImage;
  if (!display) {
    InitGLVex2D();
    InitPNGLoader();
    InitTGALoader();
    display = OpenGraphics(ScreenWidth, ScreenHeight, ScreenDepth, 60, 0);
    if (!display) {
      state.SkipWithError("cannot open the display");
      return;
    }
    RegisterDemoMedias();
    smokeImage = OpenImage("incbin::Medias/smoke1.png"_s, -1);
    sparkImage = OpenImage("incbin::Medias/bluspark.png"_s, -1);
  }
  Ref<TVirtualClockHost> clock(new TVirtualClockHost(CurrentHostSystem().Get(), Millis()));
  Ref<THostSystem> previous = SetHostSystem(clock.Get());
  EmitterList = NewList();
  ResetFPSCounter();
  Ref<TEmitter> smoke = CreateSmokeEmitter(smokeImage);
  Ref<TEmitter> spark = CreateSparkEmitter(sparkImage);
  long frame = 0;
  auto oneFrame = [&] {
    clock->Advance(FrameMillis(frame++));
    DrawString(SceneTwoMemoryText(AllocatedBytes()), 0, 20);
    DrawString(FPSText(CountFPS()), 0, 40);
    DrawString(EmitterCountText(ListLength(EmitterList.Get())), 0, 80);
    DrawString("Appuyer sur ESPACE pour supprimer un emetteur"_s, 0, 748);
    SetEmitterPosition(spark, 300 + static_cast<int>(frame % 200), 400);
    UpdateEmitters();
    DrawEmitters();
    glFinish();
    ClearScreen();
  };
  for (int i = 0; i < 300; ++i) oneFrame();  // the steady state
  int particles = 0;
  for (auto _ : state) {
    oneFrame();
    particles = ParticleCount();
  }
  state.counters["particles"] = particles;
  FlipFrame(0);
  RemoveAllEmitters();
  SetHostSystem(previous.Get());
}
BENCHMARK(BM_SceneTwoFrame)->Unit(benchmark::kMicrosecond);

void BM_ParticleEngine(benchmark::State& state) {
  InitInput();
  InitRandom();
  Ref<TVirtualClockHost> clock(new TVirtualClockHost(nullptr, 100000));
  Ref<THostSystem> previous = SetHostSystem(clock.Get());
  EmitterList = NewList();
  Ref<TImage> image = TImage::New(128, 128, 1, 0, 0, 0, 0);
  const int emitters = static_cast<int>(state.range(0));
  for (int i = 0; i < emitters; ++i) {
    Ref<TEmitter> e = CreateSmokeEmitter(image);
    SetEmitterPosition(e, (i * 37) % 1024, (i * 53) % 768);
  }
  long frame = 0;
  for (int i = 0; i < 120; ++i) {
    clock->Advance(FrameMillis(frame++));
    UpdateEmitters();
  }
  long particlesUpdated = 0;
  int particles = 0;
  for (auto _ : state) {
    clock->Advance(FrameMillis(frame++));
    UpdateEmitters();
    particles = ParticleCount();
    particlesUpdated += particles;
  }
  state.counters["particles"] = particles;
  // Seconds per particle update (spawning and freeing included).
  state.counters["per_particle"] = benchmark::Counter(static_cast<double>(particlesUpdated),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  RemoveAllEmitters();
  SetHostSystem(previous.Get());
}
BENCHMARK(BM_ParticleEngine)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  cvx::RuntimeStartup(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (cvx::OpenedGraphics()) cvx::ShutGraphics();
  return 0;
}
