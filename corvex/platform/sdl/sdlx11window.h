// What the SDL backend asks of X11 directly, below SDL: whether a window
// manager runs, and taking a window off the screen at once. Only the SDL
// backend includes this header.
#pragma once

#include "corvex/runtime/api_begin.h"

struct SDL_Window;

namespace cvx::detail {

// True when a window manager that follows the desktop window conventions runs
// on window's display (its check window names itself, from the root window
// and from itself). False off X11 and when window is null.
bool X11WindowManagerRuns(SDL_Window* window);

// Unmaps window's X window and waits until the server has done it; nothing
// off X11.
void X11UnmapWindow(SDL_Window* window);

}  // namespace cvx::detail

#include "corvex/runtime/api_end.h"
