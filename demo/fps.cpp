#include "corvex/system/system.h"
#include "demo/demo.h"
#include "demo/particle.h"

namespace demo {

using namespace cvx;

namespace {

std::int32_t gWindowStart = 0;
std::int32_t gFrameCount = 0;
std::int32_t gFPS = 0;

}  // namespace

std::int32_t CountFPS() {
  const std::int32_t now = Millis();
  if (MillisSince(now, gWindowStart) < 1000) {
    gFrameCount += 1;
  } else {
    // The frame that closes a window counts in neither window.
    gFPS = gFrameCount;
    gFrameCount = 0;
    gWindowStart = Millis();
  }
  return gFPS;
}

void ResetFPSCounter() {
  gWindowStart = 0;
  gFrameCount = 0;
  gFPS = 0;
}

}  // namespace demo
