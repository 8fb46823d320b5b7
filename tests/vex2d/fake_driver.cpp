#include "tests/vex2d/fake_driver.h"

#include "corvex/graphics/graphics.h"

namespace cvx::testing {

namespace {
Ref<TFakeVex2DDriver> driver;
Ref<TGraphics> graphics;
}  // namespace

int flagsBeforeFirstActivation = -2;

TFakeVex2DDriver* FakeDriver() {
  if (!driver) {
    InitVex2D();
    // What images get before any 2D graphics has been activated.
    flagsBeforeFirstActivation = GetDefaultImageFlags();
    driver = new TFakeVex2DDriver();
    SelectGraphicsDriver(driver.Get(), 0);
    graphics = driver->NewGraphics(640, 480, 0, 0, 0);
    MakeGraphicsCurrent(graphics.Get());
  }
  return driver.Get();
}

TVex2DGraphics* FakeGraphics() {
  FakeDriver();
  return static_cast<TVex2DGraphics*>(graphics.Get());
}

void ResetDrawState() {
  FakeDriver();
  if (CurrentGraphics() != graphics) MakeGraphicsCurrent(graphics.Get());
  ActivateVex2DGraphics(graphics.Get());
  SetBlendMode(BlendMasked);
  SetDrawColor(255, 255, 255);
  SetClearColor(0, 0, 0);
  SetImageMaskColor(0, 0, 0);
  SetDrawAlpha(1);
  SetDrawOrigin(0, 0);
  SetDrawHandle(0, 0);
  SetDrawViewport(0, 0, 640, 480);
  SetDrawTransform(0, 1, 1);
  SetDrawLineWidth(1);
  SetAutoCentreHandle(0);
  SetDefaultImageFlags(3);
  SetDrawFont(nullptr);
  CallLog().clear();
  FrameDraws().clear();
}

}  // namespace cvx::testing
