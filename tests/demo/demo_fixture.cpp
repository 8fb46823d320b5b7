#include "tests/demo/demo_fixture.h"

#include "corvex/event/event.h"
#include "corvex/input/input.h"
#include "corvex/pixmap/png/pngloader.h"
#include "corvex/pixmap/tga/tgaloader.h"
#include "corvex/random/random.h"
#include "demo/demo.h"
#include "demo/scene.h"

namespace cvx::test {

namespace {

class TRecordingFrame final : public TImageFrame {
 public:
  explicit TRecordingFrame(TRecordingVex2DDriver* driver) : driver_(driver) {}
  void Render(float x0, float y0, float x1, float y1, float tx, float ty) override {
    TRecordingVex2DDriver* d = driver_.Get();
    d->blits.push_back({d->blend, d->alpha, d->ix, d->iy, d->jx, d->jy, x0, y0, x1, y1, tx, ty});
  }

 private:
  Ref<TRecordingVex2DDriver> driver_;
};

}  // namespace

Ref<TImageFrame> TRecordingVex2DDriver::CreateFrame(TPixmap*, int) {
  return Ref<TImageFrame>(new TRecordingFrame(this));
}

void DemoTest::SetUp() {
  InitInput();
  InitVex2D();
  InitPNGLoader();
  InitTGALoader();
  InitRandom();
  RegisterDemoMedias();
  AutoPumpInput = 0;
  StartInputPolling(nullptr);
  ResetKeys();
  clock = new TVirtualClockHost(nullptr, 100000);
  previousHost_ = SetHostSystem(clock.Get());
  SeedRandom(4660);
  EmitterList = NewList();
  LayerList = NewList();
  ActorList = NewList();
  FireEmitter = nullptr;
  ResetFPSCounter();
}

void DemoTest::TearDown() {
  ResetKeys();
  ResetPointer();
  if (previousHost_) SetHostSystem(previousHost_.Get());
  if (driver) ActivateVex2DGraphics(nullptr);
  EmitterList = nullptr;
  LayerList = nullptr;
  ActorList = nullptr;
  FireEmitter = nullptr;
}

void DemoTest::PressKey(int key) { PostEvent(KeyDown, nullptr, key, 0, 0, 0, nullptr); }
void DemoTest::ReleaseKey(int key) { PostEvent(KeyUp, nullptr, key, 0, 0, 0, nullptr); }
void DemoTest::MovePointer(int x, int y) { PostEvent(MouseMove, nullptr, 0, 0, x, y, nullptr); }

void DemoTest::UseRecordingDriver() {
  driver = new TRecordingVex2DDriver();
  Ref<TVex2DGraphics> g = TVex2DGraphics::Create(nullptr, driver.Get());
  // Marked as already set up: activation then only makes it current, and the
  // test gives it the display's opening state itself.
  g->validated = 1;
  ActivateVex2DGraphics(g.Get());
  SetBlendMode(BlendMasked);
  SetDrawAlpha(1);
  SetDrawTransform(0, 1, 1);
  driver->blits.clear();
}

Ref<TImage> DemoTest::PlainImage(int width, int height) { return TImage::New(width, height, 1, 0, 0, 0, 0); }

}  // namespace cvx::test
