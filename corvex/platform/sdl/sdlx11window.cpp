// X11 requests made beside SDL on its windows' display connection.
#include "corvex/platform/sdl/sdlx11window.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace cvx::detail {

namespace {

Display* DisplayOf(SDL_Window* window, Window* xwindow) {
  if (!window) return nullptr;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
  if (xwindow) *xwindow = info.info.x11.window;
  return info.info.x11.display;
}

// A check window left behind by a window manager that has gone raises
// BadWindow; Xlib's default handler would end the program for it.
bool xRequestFailed = false;
int NoteXError(Display*, XErrorEvent*) {
  xRequestFailed = true;
  return 0;
}

// The window named by of's _NET_SUPPORTING_WM_CHECK, or None.
Window CheckWindowOf(Display* display, Window of, Atom check) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  Window named = None;
  if (XGetWindowProperty(display, of, check, 0, 1, False, XA_WINDOW, &type, &format, &count, &after, &data) ==
          Success &&
      type == XA_WINDOW && format == 32 && count == 1 && data) {
    named = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
  }
  if (data) XFree(data);
  return named;
}

}  // namespace

bool X11WindowManagerRuns(SDL_Window* window) {
  Display* display = DisplayOf(window, nullptr);
  if (!display) return false;
  const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  XSync(display, False);
  xRequestFailed = false;
  int (*previous)(Display*, XErrorEvent*) = XSetErrorHandler(NoteXError);
  const Window manager = CheckWindowOf(display, DefaultRootWindow(display), check);
  const bool runs = manager != None && CheckWindowOf(display, manager, check) == manager;
  XSync(display, False);
  XSetErrorHandler(previous);
  return runs && !xRequestFailed;
}

bool X11ClientSize(SDL_Window* window, int* width, int* height) {
  Window xwindow = 0;
  Display* display = DisplayOf(window, &xwindow);
  XWindowAttributes attributes;
  if (!display || !XGetWindowAttributes(display, xwindow, &attributes)) return false;
  *width = attributes.width;
  *height = attributes.height;
  return true;
}

void X11UnmapWindow(SDL_Window* window) {
  Window xwindow = 0;
  Display* display = DisplayOf(window, &xwindow);
  if (!display) return;
  XUnmapWindow(display, xwindow);
  XSync(display, False);
}

}  // namespace cvx::detail
