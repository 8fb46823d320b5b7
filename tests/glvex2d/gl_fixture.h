// One 640x480 window opened through the OpenGL 2D driver for the whole
// program, with helpers that read the back buffer.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "corvex/glvex2d/glvex2d.h"
#include "corvex/graphics/graphics.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/vex2d/image.h"
#include "corvex/vex2d/vex2d.h"

namespace cvx::testing {

inline constexpr int kWidth = 640;
inline constexpr int kHeight = 480;

inline void EnsureDisplay() {
  InitGLVex2D();
  if (!OpenedGraphics()) OpenGraphics(kWidth, kHeight, 0, 0, 0);
}

// The drawing state of a fresh display, and a cleared back buffer.
inline void ResetDisplay(int red = 0, int green = 0, int blue = 0) {
  EnsureDisplay();
  SetBlendMode(BlendMasked);
  SetDrawColor(255, 255, 255);
  SetDrawAlpha(1);
  SetDrawOrigin(0, 0);
  SetDrawHandle(0, 0);
  SetDrawViewport(0, 0, kWidth, kHeight);
  SetDrawTransform(0, 1, 1);
  SetDrawFont(nullptr);
  SetImageMaskColor(0, 0, 0);
  SetClearColor(red, green, blue);
  ClearScreen();
}

// The back buffer's colour at (x, y) as 0xRRGGBB.
inline std::uint32_t Rgb(int x, int y) { return ReadPixmap(x, y, 1, 1)->GetPixel(0, 0) & 0xFFFFFFu; }

inline int Channel(std::uint32_t rgb, int shift) { return static_cast<int>((rgb >> shift) & 0xFF); }

// An image of one colour (ARGB) everywhere.
inline Ref<TImage> FlatImage(int w, int h, std::uint32_t argb, int flags = 0) {
  Ref<TPixmap> p = PixmapCreate(w, h, PIXFMT_RGBA8888);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p->SetPixel(x, y, argb);
  return TImage::FromSource(Ref<TObject>(p), flags, 0, 0, 0);
}

}  // namespace cvx::testing
