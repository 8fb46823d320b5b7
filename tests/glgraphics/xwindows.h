// X11 queries for the tests, kept apart because Xlib's macros clash with
// GoogleTest's names.
#pragma once

struct SDL_Window;

namespace cvx::test {

struct XGeometry {
  int x = -1, y = -1, width = 0, height = 0;
};

// The client area's place on the screen, as the X server has it.
XGeometry ClientGeometry(SDL_Window* window);
// Top-level windows on the screen of the window's display.
int TopLevelWindowCount(SDL_Window* window);
// The X window behind an SDL window (0 off X11).
unsigned long NativeWindowOf(SDL_Window* window);

// A plain X window of the caller (not SDL's) on the window's display.
unsigned long CreateNativeWindow(SDL_Window* sameDisplay, int width, int height);
void ResizeNativeWindow(SDL_Window* sameDisplay, unsigned long window, int width, int height);
bool NativeWindowExists(SDL_Window* sameDisplay, unsigned long window);
void DestroyNativeWindow(SDL_Window* sameDisplay, unsigned long window);

}  // namespace cvx::test
