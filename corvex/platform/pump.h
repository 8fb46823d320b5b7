// The platform's message pump as the system driver sees it: starting the
// platform's event and timer services, emptying its queue (each message goes
// to the window it names, which translates it into TEvents and dispatches
// them), and the modifier state those events carry.
//
// The interface names no platform type: the SDL backend is
// corvex/platform/sdl/sdlpump.cpp, with the translation in sdltranslate.cpp.
#pragma once

#include <string>

#include "corvex/runtime/api_begin.h"

namespace cvx {

// Starts the platform's event and timer services (not video: see video.h).
// True when they run (also when they already did); false with the platform's
// reason in whyNot.
bool StartPlatformEvents(std::string& whyNot);

// Hands every pending platform message to its window or receiver, without
// waiting.
void PumpPlatformEvents();
// Waits until a platform message has arrived, then as PumpPlatformEvents.
void WaitPlatformEvents();

// The modifier mask (ModShift | ModControl | ModAlt | ModSystem) carried by
// the events the window translation produces (also declared in
// corvex/system/system.h, where programs read it).
extern int ModifierMask;

// Rebuilds ModifierMask from the platform's current modifier state.
void RefreshModifiers();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
