// What the demo's logic tests share: a virtual clock the test advances, input
// fed as events (no pumping), fresh demo lists, and a 2D driver that records
// the render state each blit is made with instead of drawing.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "corvex/pixmap/pixmap.h"  // the image header needs the complete pixmap class
#include "corvex/runtime/list.h"
#include "corvex/system/system.h"
#include "corvex/vex2d/image.h"
#include "corvex/vex2d/vex2d.h"

namespace demo {}

namespace cvx::test {

// The demo's own names (namespace demo) read as they do in the demo's code.
using namespace ::demo;

struct BlitRecord {
  int blend;
  float alpha;
  float ix, iy, jx, jy;  // the matrix in force
  float x0, y0, x1, y1;  // local rectangle (handle applied)
  float tx, ty;          // translation
};

class TRecordingVex2DDriver final : public TVex2DDriver {
 public:
  Ref<TImageFrame> CreateFrame(TPixmap* pixmap, int flags) override;
  void ApplyBlend(int mode) override { blend = mode; }
  void ApplyAlpha(float a) override { alpha = a; }
  void ApplyColor(int, int, int) override {}
  void ApplyClearColor(int, int, int) override {}
  void ApplyViewport(int, int, int, int) override {}
  void ApplyTransform(float a, float b, float c, float d) override {
    ix = a;
    iy = b;
    jx = c;
    jy = d;
  }
  void ApplyLineWidth(float) override {}
  void ClearTarget() override {}
  void RenderPoint(float, float) override {}
  void RenderLine(float, float, float, float, float, float) override {}
  void RenderRect(float, float, float, float, float, float) override {}
  void RenderOval(float, float, float, float, float, float) override {}
  void RenderPoly(TArray<float>*, float, float, float, float) override {}
  void RenderPixmap(TPixmap*, int, int) override {}
  Ref<TPixmap> CapturePixmap(int, int, int, int) override { return nullptr; }
  GraphicsModeArray ListModes() override { return NewArray<Ref<TGraphicsMode>>(0); }
  Ref<TGraphics> BindWindow(void*, int) override { return nullptr; }
  Ref<TGraphics> NewGraphics(int, int, int, int, int) override { return nullptr; }
  void MakeCurrent(TGraphics*) override {}
  void Present(int) override {}

  int blend = 0;
  float alpha = 0;
  float ix = 1, iy = 0, jx = 0, jy = 1;
  std::vector<BlitRecord> blits;
};

class DemoTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Feeds key events through the dispatch chain, as the window would.
  static void PressKey(int key);
  static void ReleaseKey(int key);
  static void MovePointer(int x, int y);

  // Makes the recording driver's 2D graphics current, with the state the
  // display has when it opens (masked blend, alpha 1, scale 1).
  void UseRecordingDriver();

  // A plain 64 x 64 image that needs no decoding.
  static Ref<TImage> PlainImage(int width = 64, int height = 64);

  Ref<TVirtualClockHost> clock;
  Ref<TRecordingVex2DDriver> driver;

 private:
  Ref<THostSystem> previousHost_;
};

}  // namespace cvx::test
