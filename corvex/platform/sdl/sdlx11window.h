// What the SDL backend asks of X11 directly, below SDL: whether a window
// manager runs, a window's size, and taking a window off the screen at once. Only the SDL
// backend includes this header.
#pragma once

#include "corvex/runtime/api_begin.h"

struct SDL_Window;

namespace cvx::detail {

// True when a window manager that follows the desktop window conventions runs
// on window's display (its check window names itself, from the root window
// and from itself). False off X11 and when window is null.
bool X11WindowManagerRuns(SDL_Window* window);

// The client area's size as the X server has it (an attached window's owner
// may have resized it behind SDL). False off X11 or when the server does not
// answer; the sizes are left alone then.
bool X11ClientSize(SDL_Window* window, int* width, int* height);

// Unmaps window's X window and waits until the server has done it; nothing
// off X11.
void X11UnmapWindow(SDL_Window* window);

}  // namespace cvx::detail

#include "corvex/runtime/api_end.h"
