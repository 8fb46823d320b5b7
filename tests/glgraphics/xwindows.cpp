#include "tests/glgraphics/xwindows.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

namespace cvx::test {

namespace {

bool Info(SDL_Window* window, Display*& display, ::Window& xwindow) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  display = info.info.x11.display;
  xwindow = info.info.x11.window;
  return true;
}

}  // namespace

XGeometry ClientGeometry(SDL_Window* window) {
  XGeometry g;
  Display* display;
  ::Window xwindow;
  if (!Info(window, display, xwindow)) return g;
  XSync(display, False);
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, xwindow, &attributes)) return g;
  ::Window child;
  XTranslateCoordinates(display, xwindow, DefaultRootWindow(display), 0, 0, &g.x, &g.y, &child);
  g.width = attributes.width;
  g.height = attributes.height;
  return g;
}

int TopLevelWindowCount(SDL_Window* window) {
  Display* display;
  ::Window xwindow;
  if (!Info(window, display, xwindow)) return -1;
  ::Window root, parent, *children = nullptr;
  unsigned count = 0;
  XSync(display, False);
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return -1;
  if (children) XFree(children);
  return static_cast<int>(count);
}

unsigned long NativeWindowOf(SDL_Window* window) {
  Display* display;
  ::Window xwindow;
  return Info(window, display, xwindow) ? xwindow : 0;
}

unsigned long CreateNativeWindow(SDL_Window* sameDisplay, int width, int height) {
  Display* display;
  ::Window xwindow;
  if (!Info(sameDisplay, display, xwindow)) return 0;
  ::Window w = XCreateSimpleWindow(display, DefaultRootWindow(display), 10, 10, width, height, 0, 0, 0);
  XMapWindow(display, w);
  XSync(display, False);
  return w;
}

void ResizeNativeWindow(SDL_Window* sameDisplay, unsigned long window, int width, int height) {
  Display* display;
  ::Window xwindow;
  if (!Info(sameDisplay, display, xwindow)) return;
  XResizeWindow(display, window, width, height);
  XSync(display, False);
}

namespace {
bool badWindow = false;
int NoteBadWindow(Display*, XErrorEvent*) {
  badWindow = true;
  return 0;
}
}  // namespace

bool NativeWindowExists(SDL_Window* sameDisplay, unsigned long window) {
  Display* display;
  ::Window xwindow;
  if (!Info(sameDisplay, display, xwindow)) return false;
  XSync(display, False);
  // A window that is gone raises BadWindow, which Xlib's own handler would
  // end the program for.
  badWindow = false;
  int (*previous)(Display*, XErrorEvent*) = XSetErrorHandler(NoteBadWindow);
  XWindowAttributes attributes;
  const bool answered = XGetWindowAttributes(display, window, &attributes) != 0;
  XSync(display, False);
  XSetErrorHandler(previous);
  return answered && !badWindow;
}

void DestroyNativeWindow(SDL_Window* sameDisplay, unsigned long window) {
  Display* display;
  ::Window xwindow;
  if (!Info(sameDisplay, display, xwindow)) return;
  XDestroyWindow(display, window);
  XSync(display, False);
}

}  // namespace cvx::test
