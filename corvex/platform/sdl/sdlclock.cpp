// The clock and sleep of the SDL platform.
#include <SDL.h>
#include <time.h>

#include <cerrno>
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

// An absolute sleep on the clock PlatformMillis reads: a relative sleep of
// the remaining whole milliseconds would wake up to a millisecond off, by the
// fraction of the current millisecond already gone.
void PlatformSleepUntil(int millis) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto nowMs = static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
  const auto ahead = static_cast<std::int32_t>(static_cast<std::uint32_t>(millis) - static_cast<std::uint32_t>(nowMs));
  if (ahead <= 0) return;
  const std::int64_t dueMs = nowMs + ahead;
  timespec due{static_cast<time_t>(dueMs / 1000), static_cast<long>(dueMs % 1000) * 1000000L};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) {
  }
}

}  // namespace cvx
