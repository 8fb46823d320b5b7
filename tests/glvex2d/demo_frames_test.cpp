// The demo's two scenes, drawn as the demo draws them, give the same frames
// with the driver's vertex queue on and off. Each frame's state is drawn
// twice (drawing changes none of it), once each way.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include "corvex/glvex2d/glvex2d.h"
#include "corvex/graphics/graphics.h"
#include "corvex/input/input.h"
#include "corvex/pixmap/png/pngloader.h"
#include "corvex/pixmap/tga/tgaloader.h"
#include "corvex/random/random.h"
#include "corvex/system/system.h"
#include "corvex/vex2d/vex2d.h"
#include "demo/demo.h"
#include "demo/emitter.h"
#include "demo/scene.h"
#include "tests/glvex2d/frame_compare.h"

namespace cvx {
namespace {

using namespace demo;

using testing::DrawnFrame;
using testing::SameFrames;

// 60 Hz in whole milliseconds: 17, 17, 16, ...
int FrameMillis(long frame) { return static_cast<int>((frame + 1) * 1000 / 60 - frame * 1000 / 60); }

class DemoFrames : public ::testing::Test {
 protected:
  void SetUp() override {
    InitGLVex2D();
    InitPNGLoader();
    InitTGALoader();
    InitRandom();
    if (!OpenedGraphics()) {
      ASSERT_TRUE(OpenGraphics(ScreenWidth, ScreenHeight, 0, 0, 0));
    }
    RegisterDemoMedias();
    clock = new TVirtualClockHost(nullptr, 100000);
    previous = SetHostSystem(clock.Get());
    SeedRandom(4660);
    EmitterList = NewList();
    LayerList = NewList();
    ActorList = NewList();
    ResetFPSCounter();
  }
  void TearDown() override {
    for (TEmitter* e : Each<TEmitter>(EmitterList.Get())) RemoveEmitter(e, 1);
    EmitterList = LayerList = ActorList = nullptr;
    FireEmitter = nullptr;
    SetHostSystem(previous.Get());
    SetGLBatching(1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }

  // Steps the clock a frame, updates, and compares the frame drawn both ways
  // every `every` frames.
  void Run(int frames, int every, void (*update)(), void (*draw)()) {
    int compared = 0;
    for (long frame = 0; frame < frames; ++frame) {
      clock->Advance(FrameMillis(frame));
      update();
      if (frame % every != every - 1) continue;
      Ref<TPixmap> immediate = DrawnFrame(draw, 0, ScreenWidth, ScreenHeight);
      Ref<TPixmap> queued = DrawnFrame(draw, 1, ScreenWidth, ScreenHeight);
      ASSERT_TRUE(SameFrames(immediate.Get(), queued.Get())) << "frame " << frame;
      ++compared;
    }
    EXPECT_GT(compared, 0);
  }

  Ref<TVirtualClockHost> clock;
  Ref<THostSystem> previous;
};

void DrawText(const String& text, int x, int y) { DrawString(text, static_cast<float>(x), static_cast<float>(y)); }

TEST_F(DemoFrames, SceneOneLayersCraftAndFire) {
  Ref<TImage> near = OpenImage("incbin::Medias/Fond_Plan_1.png"_s, -1);
  Ref<TImage> far = OpenImage("incbin::Medias/Fond_Plan_2.png"_s, -1);
  Ref<TImage> fire = OpenImage("incbin::Medias/fire.tga"_s, -1);
  ActorList->PushBack(Ref<TObject>(new TPlayer()));
  FireEmitter = CreateFireEmitter(fire);
  CreateScrollLayer(far, 0, 0, -2);
  CreateScrollLayer(near, 0, 0, -3);
  Run(
      90, 30, UpdateScene,
      [] {
        DrawScene();
        DrawText(SceneOneMemoryText(123456), 0, 20);
        DrawText(FPSText(60), 0, 40);
        DrawText("Appuyer sur ESC pour la suite"_s, 0, 748);
      });
}

TEST_F(DemoFrames, SceneTwoSmokeAndSparks) {
  static Ref<TEmitter> spark;
  Ref<TEmitter> smoke = CreateSmokeEmitter(OpenImage("incbin::Medias/smoke1.png"_s, -1));
  spark = CreateSparkEmitter(OpenImage("incbin::Medias/bluspark.png"_s, -1));
  static long step = 0;
  Run(
      240, 60,
      [] {
        ++step;
        SetEmitterPosition(spark, 300 + static_cast<int>(step % 200), 400 - static_cast<int>(step % 150));
        UpdateEmitters();
      },
      [] {
        // The texts come first, so the particles cover them.
        DrawText(SceneTwoMemoryText(654321), 0, 20);
        DrawText(FPSText(59), 0, 40);
        DrawText(EmitterCountText(ListLength(EmitterList.Get())), 0, 80);
        DrawText("Appuyer sur ESPACE pour supprimer un emetteur"_s, 0, 748);
        DrawEmitters();
      });
  spark = nullptr;
}

}  // namespace
}  // namespace cvx
