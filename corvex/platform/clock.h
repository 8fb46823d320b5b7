// The platform's millisecond clock and sleep.
//
// The SDL backend is corvex/platform/sdl/sdlclock.cpp.
#pragma once

#include "corvex/runtime/api_begin.h"

namespace cvx {

// Milliseconds since the system started, on 32 bits (wrapping after 49 days).
int PlatformMillis();

// Suspends the calling thread for ms milliseconds; nothing for ms <= 0.
void PlatformSleep(int ms);

// Suspends the calling thread until PlatformMillis() reads millis, waking at
// the start of that millisecond; nothing when it is not ahead (on the wrapping
// clock).
void PlatformSleepUntil(int millis);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
