// A 2D driver that draws nothing and records every call it gets, so that the
// front end's arithmetic can be checked without a display.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "corvex/pixmap/pixmap.h"
#include "corvex/vex2d/image.h"
#include "corvex/vex2d/vex2d.h"

namespace cvx::testing {

// Calls recorded as text, e.g. "RenderRect -8 -8 8 8 100 100".
inline std::vector<std::string>& CallLog() {
  static std::vector<std::string> log;
  return log;
}

inline std::string Fmt(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(v) == 0 ? 0.0 : static_cast<double>(v));
  return text;
}
inline void Record(std::string call, std::initializer_list<float> args = {}) {
  for (float a : args) call += " " + Fmt(a);
  CallLog().push_back(call);
}

// Render calls of fake frames, with the matrix current at the call.
struct FrameDraw {
  int frameId;
  float x0, y0, x1, y1, tx, ty;
  float ix, iy, jx, jy;
};
inline std::vector<FrameDraw>& FrameDraws() {
  static std::vector<FrameDraw> draws;
  return draws;
}

class TFakeFrame final : public TImageFrame {
 public:
  explicit TFakeFrame(int id, const float* matrix) : id(id), matrix(matrix) {}
  void Render(float x0, float y0, float x1, float y1, float tx, float ty) override {
    FrameDraws().push_back({id, x0, y0, x1, y1, tx, ty, matrix[0], matrix[1], matrix[2], matrix[3]});
  }
  int id;
  const float* matrix;
};

class TFakeGraphics final : public TGraphics {
 public:
  TFakeGraphics(TDisplayDriver* driver, int w, int h) : driver(driver), width(w), height(h) {}
  Ref<TDisplayDriver> OwnerDriver() override { return driver; }
  void QuerySettings(int& w, int& h, int& d, int& hz, int& f) override {
    w = width;
    h = height;
    d = 0;
    hz = 0;
    f = 0;
  }
  void ReleaseGraphics() override { released = true; }
  TDisplayDriver* driver;
  int width, height;
  bool released = false;
};

class TFakeVex2DDriver final : public TVex2DDriver {
 public:
  float matrix[4] = {1, 0, 0, 1};
  int framesMade = 0;
  Ref<TPixmap> capture;  // what CapturePixmap hands out

  GraphicsModeArray ListModes() override { return NewArray<Ref<TGraphicsMode>>(0); }
  Ref<TGraphics> BindWindow(void*, int) override { return nullptr; }
  Ref<TGraphics> NewGraphics(int w, int h, int, int, int) override {
    return TVex2DGraphics::Create(new TFakeGraphics(this, w, h), this);
  }
  void MakeCurrent(TGraphics* graphics) override {
    Record("MakeCurrent");
    ActivateVex2DGraphics(graphics);
  }
  void Present(int sync) override { Record("Present", {static_cast<float>(sync)}); }

  Ref<TImageFrame> CreateFrame(TPixmap*, int flags) override {
    Record("CreateFrame", {static_cast<float>(flags)});
    return Ref<TImageFrame>(new TFakeFrame(++framesMade, matrix));
  }
  void ApplyBlend(int mode) override { Record("ApplyBlend", {static_cast<float>(mode)}); }
  void ApplyAlpha(float alpha) override { Record("ApplyAlpha", {alpha}); }
  void ApplyColor(int r, int g, int b) override {
    Record("ApplyColor", {static_cast<float>(r), static_cast<float>(g), static_cast<float>(b)});
  }
  void ApplyClearColor(int r, int g, int b) override {
    Record("ApplyClearColor", {static_cast<float>(r), static_cast<float>(g), static_cast<float>(b)});
  }
  void ApplyViewport(int x, int y, int w, int h) override {
    Record("ApplyViewport",
           {static_cast<float>(x), static_cast<float>(y), static_cast<float>(w), static_cast<float>(h)});
  }
  void ApplyTransform(float ix, float iy, float jx, float jy) override {
    matrix[0] = ix;
    matrix[1] = iy;
    matrix[2] = jx;
    matrix[3] = jy;
    Record("ApplyTransform", {ix, iy, jx, jy});
  }
  void ApplyLineWidth(float w) override { Record("ApplyLineWidth", {w}); }
  void ClearTarget() override { Record("ClearTarget"); }
  void RenderPoint(float x, float y) override { Record("RenderPoint", {x, y}); }
  void RenderLine(float x0, float y0, float x1, float y1, float tx, float ty) override {
    Record("RenderLine", {x0, y0, x1, y1, tx, ty});
  }
  void RenderRect(float x0, float y0, float x1, float y1, float tx, float ty) override {
    Record("RenderRect", {x0, y0, x1, y1, tx, ty});
  }
  void RenderOval(float x0, float y0, float x1, float y1, float tx, float ty) override {
    Record("RenderOval", {x0, y0, x1, y1, tx, ty});
  }
  void RenderPoly(TArray<float>* xy, float hx, float hy, float tx, float ty) override {
    Record("RenderPoly", {static_cast<float>(xy->Length()), hx, hy, tx, ty});
  }
  void RenderPixmap(TPixmap*, int x, int y) override {
    Record("RenderPixmap", {static_cast<float>(x), static_cast<float>(y)});
  }
  Ref<TPixmap> CapturePixmap(int x, int y, int w, int h) override {
    Record("CapturePixmap",
           {static_cast<float>(x), static_cast<float>(y), static_cast<float>(w), static_cast<float>(h)});
    return capture;
  }
};

// Where the driver's current matrix takes a local point.
struct Point {
  float x, y;
};
inline Point Transformed(const float* m, float px, float py, float tx, float ty) {
  return {px * m[0] + py * m[1] + tx, px * m[2] + py * m[3] + ty};
}

// The fake driver, selected as graphics driver, with one 640x480 graphics
// made current (activated once for the whole program).
TFakeVex2DDriver* FakeDriver();
TVex2DGraphics* FakeGraphics();
// Resets the drawing state between tests (defaults, as on first activation).
void ResetDrawState();

}  // namespace cvx::testing
