// The platform's video: the display server that windows, display modes and GL
// contexts (glcontext.h) need.
//
// The SDL backend is corvex/platform/sdl/sdlvideo.cpp.
#pragma once

#include <string>

#include "corvex/runtime/api_begin.h"

namespace cvx {

// Starts the platform's video on a display the user can see: X11 when DISPLAY
// is set, Wayland when WAYLAND_DISPLAY is, never an off-screen or dummy driver
// (on which a program would run with nobody to see it), unless
// SDL_VIDEODRIVER names a driver. True when it runs (also when it already
// did); false with the reason, the platform's own included, in *reason.
bool StartVideo(std::string* reason = nullptr);

// Whether the platform's video runs.
bool VideoRunning();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
