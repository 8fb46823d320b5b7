// Draws the same frame with the driver's queue on and off and compares the
// two back buffers pixel for pixel.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "corvex/glvex2d/glvex2d.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/vex2d/vex2d.h"

namespace cvx::testing {

// The background every frame starts from: not black, so that multiplying
// blends show too.
inline constexpr std::uint32_t kBackground = 0x285aa0u;

// The frame that draw leaves in a width x height back buffer (cleared to
// kBackground first), drawn with queuing on (batching != 0) or off.
inline Ref<TPixmap> DrawnFrame(const std::function<void()>& draw, int batching, int width, int height) {
  SetGLBatching(batching);
  SetClearColor(0x28, 0x5a, 0xa0);
  ClearScreen();
  draw();
  Ref<TPixmap> shot = ReadPixmap(0, 0, width, height);
  SetGLBatching(1);
  return shot;
}

// Success when both frames agree everywhere; otherwise the count of
// differing pixels, the first of them, and whether anything was drawn at all.
inline ::testing::AssertionResult SameFrames(TPixmap* immediate, TPixmap* queued) {
  int differing = 0, lit = 0;
  std::string first;
  for (int y = 0; y < immediate->height; ++y) {
    for (int x = 0; x < immediate->width; ++x) {
      const std::uint32_t a = immediate->GetPixel(x, y) & 0xFFFFFFu, b = queued->GetPixel(x, y) & 0xFFFFFFu;
      if (a != kBackground) ++lit;
      if (a == b) continue;
      if (differing++ == 0) {
        char text[96];
        std::snprintf(text, sizeof text, "(%d, %d): immediate %06x, queued %06x", x, y, a, b);
        first = text;
      }
    }
  }
  if (lit == 0) return ::testing::AssertionFailure() << "nothing was drawn";
  if (differing == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << differing << " pixels differ, first at " << first;
}

inline ::testing::AssertionResult SameWithAndWithoutQueue(const std::function<void()>& draw, int width, int height) {
  Ref<TPixmap> immediate = DrawnFrame(draw, 0, width, height);
  Ref<TPixmap> queued = DrawnFrame(draw, 1, width, height);
  return SameFrames(immediate.Get(), queued.Get());
}

}  // namespace cvx::testing
