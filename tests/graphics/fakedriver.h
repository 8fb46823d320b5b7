// A display driver that draws nothing: it records what the graphics module
// asks of it and, on a virtual clock, lets a present take as long as a test
// says.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "corvex/graphics/graphics.h"
#include "corvex/system/system.h"

namespace cvx::test {

class TFakeDriver;

class TFakeGraphics final : public TGraphics {
 public:
  TFakeGraphics(TFakeDriver* owner, int w, int h, int d, int hz, int f);
  Ref<TDisplayDriver> OwnerDriver() override;
  void QuerySettings(int& w, int& h, int& d, int& hz, int& f) override;
  void ReleaseGraphics() override;

  bool released = false;
  int width, height, depth, hertz, flags;

 private:
  Ref<TDisplayDriver> owner_;
};

struct PresentCall {
  int sync;
  int at;  // virtual time when the present started
};

class TFakeDriver final : public TDisplayDriver {
 public:
  explicit TFakeDriver(TVirtualClockHost* clock) : clock_(clock) {}

  GraphicsModeArray ListModes() override {
    ++listModesCalls;
    GraphicsModeArray a = NewArray<Ref<TGraphicsMode>>(static_cast<int>(modes.size()));
    for (int i = 0; i < static_cast<int>(modes.size()); ++i)
      (*a)[i] = new TGraphicsMode(modes[i][0], modes[i][1], modes[i][2], modes[i][3]);
    return a;
  }
  Ref<TGraphics> BindWindow(void*, int f) override {
    lastFlags = f;
    return Ref<TGraphics>(new TFakeGraphics(this, 320, 200, 0, 0, f));
  }
  Ref<TGraphics> NewGraphics(int w, int h, int d, int hz, int f) override {
    lastFlags = f;
    ++newGraphicsCalls;
    if (failCreate) return nullptr;
    return Ref<TGraphics>(new TFakeGraphics(this, w, h, d, hz, f));
  }
  void MakeCurrent(TGraphics* g) override {
    log.push_back(g ? "current" : "current(null)");
    current = g;
  }
  // A frame's drawing is rendered when it is finished or, at the latest,
  // when it is presented: either way it takes renderCost ms.
  void FinishFrame() override {
    log.push_back("finish");
    Render();
  }
  void Present(int sync) override {
    Render();
    rendered = false;
    int now = clock_->Millis();
    presents.push_back({sync, now});
    log.push_back("present(" + std::to_string(sync) + ")");
    if (presentCost) clock_->Advance(presentCost(sync));
  }
  bool CanWaitForRetrace() override { return canWaitForRetrace; }

  std::vector<std::vector<int>> modes;
  std::vector<PresentCall> presents;
  std::vector<std::string> log;
  std::function<int(int)> presentCost;  // ms a present of this sync takes
  int renderCost = 0;                   // ms the frame's drawing takes to render
  bool rendered = false;                // the frame so far is rendered
  int listModesCalls = 0;
  int newGraphicsCalls = 0;
  int lastFlags = -1;
  bool failCreate = false;
  bool canWaitForRetrace = true;  // what the driver says of its presents
  Ref<TGraphics> current;

 private:
  void Render() {
    if (!rendered && renderCost) clock_->Advance(renderCost);
    rendered = true;
  }
  TVirtualClockHost* clock_;
};

inline TFakeGraphics::TFakeGraphics(TFakeDriver* owner, int w, int h, int d, int hz, int f)
    : width(w), height(h), depth(d), hertz(hz), flags(f), owner_(owner) {}
inline Ref<TDisplayDriver> TFakeGraphics::OwnerDriver() { return owner_; }
inline void TFakeGraphics::QuerySettings(int& w, int& h, int& d, int& hz, int& f) {
  w = width;
  h = height;
  d = depth;
  hz = hertz;
  f = flags;
}
inline void TFakeGraphics::ReleaseGraphics() { released = true; }

// An inner host for the virtual clock that remembers where the pointer was sent.
class TPointerHost final : public THostSystem {
 public:
  void Pump() override {}
  void PumpWait() override {}
  void WarpPointer(int x, int y) override {
    warpX = x;
    warpY = y;
    ++warps;
  }
  void SetPointerVisible(int) override {}
  int warpX = -1, warpY = -1, warps = 0;
};

}  // namespace cvx::test
