// The platform's mouse pointer.
//
// The SDL backend is corvex/platform/sdl/sdlpointer.cpp.
#pragma once

#include "corvex/runtime/api_begin.h"

namespace cvx {

// Moves the pointer to a client position of the active window (screen
// coordinates without one); nothing without video.
void PlatformWarpPointer(int x, int y);

// Shows (visible != 0) or hides the pointer. The platform keeps a single
// state, so calls never nest.
void PlatformSetPointerVisible(int visible);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
