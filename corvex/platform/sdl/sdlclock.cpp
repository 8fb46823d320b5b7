// The clock and sleep of the SDL platform.
#include <SDL.h>
#include <time.h>

#include <cstdint>

#include "corvex/platform/clock.h"

namespace cvx {

// Milliseconds since the system started, not since SDL started: programs time
// windows and schedules from it.
int PlatformMillis() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<int>(static_cast<std::uint32_t>(ms));
}

void PlatformSleep(int ms) {
  if (ms > 0) SDL_Delay(static_cast<Uint32>(ms));
}

}  // namespace cvx
