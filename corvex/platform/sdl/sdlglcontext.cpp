// The OpenGL context layer over SDL windows and GL contexts.
//
// Every context is created while the hidden shared context is current, with
// SDL_GL_SHARE_WITH_CURRENT_CONTEXT set, so textures made in the shared
// context serve every window. Creating a context makes it current inside SDL;
// the layer puts back the context it has recorded as current right after, so
// creation never changes what the program draws into.
#include <SDL.h>

#include "corvex/platform/glcontext.h"
#include "corvex/platform/sdl/sdlevents.h"
#include "corvex/platform/sdl/sdlx11window.h"
#include "corvex/platform/video.h"
#include "corvex/runtime/error.h"
#include "corvex/runtime/log.h"
#include "corvex/runtime/startup.h"

namespace cvx {

namespace {

// The SDL window of a record (its opaque platform window).
SDL_Window* WindowOf(const GLContext* c) { return static_cast<SDL_Window*>(c->window); }

GLContext* contextList = nullptr;
GLContext* sharedContext = nullptr;
GLContext* currentContext = nullptr;
SDL_Window* fullScreenWindow = nullptr;
int swapState = -1;
long swapIntervalCalls = 0;
int lastSwapInterval = -1;
bool retraceWaitRefused = false;
void (*queuedDrawingFlush)() = nullptr;

// SDL reports pixel formats; a 4-byte format counts as 32 bits per pixel.
int BitsPerPixel(Uint32 format) {
  if (SDL_BYTESPERPIXEL(format) == 4) return 32;
  return static_cast<int>(SDL_BITSPERPIXEL(format));
}

// The pixel-format request: at least one bit of every buffer the flags ask
// for, none of the others.
void RequestPixelFormat(int flags) {
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 1);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 1);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 1);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, (flags & GLRequestBackBuffer) ? 1 : 0);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, (flags & GLRequestAlphaBuffer) ? 1 : 0);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, (flags & GLRequestDepthBuffer) ? 1 : 0);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, (flags & GLRequestStencilBuffer) ? 1 : 0);
  int accum = (flags & GLRequestAccumBuffer) ? 1 : 0;
  SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, accum);
  SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, accum);
  SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, accum);
  SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, accum);
}

// Puts the recorded current context back at the platform level.
void RestoreRecordedCurrent() {
  if (currentContext)
    SDL_GL_MakeCurrent(WindowOf(currentContext), currentContext->renderContext);
  else
    SDL_GL_MakeCurrent(nullptr, nullptr);
}

void MakeSharedCurrentAtPlatform() { SDL_GL_MakeCurrent(WindowOf(sharedContext), sharedContext->renderContext); }

// The shared context: a single-buffered 1x1 context in a hidden borderless
// window, made once and kept for the program's life. Without a video
// subsystem or a GL context there is nothing to share with, and every
// creation reports failure.
bool EnsureSharedContext() {
  if (sharedContext) return true;
  std::string reason;
  if (!StartVideo(&reason)) {
    LogWarning("no display could be opened: %s", reason.c_str());
    return false;
  }
  RequestPixelFormat(0);
  SDL_Window* window = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS);
  if (!window) {
    LogWarning("no OpenGL window could be opened on the display: %s", SDL_GetError());
    return false;
  }
  SDL_GLContext context = SDL_GL_CreateContext(window);
  if (!context) {
    LogWarning("no OpenGL context could be made on the display: %s", SDL_GetError());
    SDL_DestroyWindow(window);
    return false;
  }
  auto* record = new GLContext;
  record->mode = ContextShared;
  record->width = 1;
  record->height = 1;
  record->window = window;
  record->renderContext = context;
  sharedContext = record;
  RestoreRecordedCurrent();
  return true;
}

// A context for window sharing the shared context's objects, or nullptr.
void* CreateSharingContext(SDL_Window* window) {
  MakeSharedCurrentAtPlatform();
  SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
  SDL_GLContext context = SDL_GL_CreateContext(window);
  SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
  RestoreRecordedCurrent();
  return context;
}

void Link(GLContext* record) {
  record->next = contextList;
  contextList = record;
}

bool Unlink(GLContext* record) {
  for (GLContext** link = &contextList; *link; link = &(*link)->next) {
    if (*link == record) {
      *link = record->next;
      record->next = nullptr;
      return true;
    }
  }
  return false;
}

bool Listed(GLContext* record) {
  for (GLContext* c = contextList; c; c = c->next)
    if (c == record) return true;
  return false;
}

GLContext* ContextOfWindowId(Uint32 id) {
  if (id == 0) return nullptr;
  for (GLContext* c = contextList; c; c = c->next)
    if (WindowOf(c) && SDL_GetWindowID(WindowOf(c)) == id) return c;
  return nullptr;
}

// The display mode matching the context exactly (refresh rate included when
// asked), applied full screen. False when there is none or SDL refuses it.
bool ApplyDisplayMode(GLContext* c, bool withRefreshRate) {
  int display = SDL_GetWindowDisplayIndex(WindowOf(c));
  if (display < 0) display = 0;
  int count = SDL_GetNumDisplayModes(display);
  for (int i = 0; i < count; ++i) {
    SDL_DisplayMode mode;
    if (SDL_GetDisplayMode(display, i, &mode) != 0) continue;
    if (mode.w != c->width || mode.h != c->height || BitsPerPixel(mode.format) != c->depth) continue;
    if (withRefreshRate && mode.refresh_rate != c->hertz) continue;
    if (SDL_SetWindowDisplayMode(WindowOf(c), &mode) != 0) return false;
    return SDL_SetWindowFullscreen(WindowOf(c), SDL_WINDOW_FULLSCREEN) == 0;
  }
  return false;
}

// A full-screen window that gets the focus takes the display mode: first with
// its refresh rate, then without. Vertical sync follows whether the refresh
// rate is the one asked for.
void TakeDisplayMode(GLContext* c) {
  if (c->mode != ContextFullScreen || WindowOf(c) == fullScreenWindow) return;
  bool withRate = c->hertz != 0;
  SDL_ClearError();
  bool ok = ApplyDisplayMode(c, withRate);
  if (!ok && withRate) {
    withRate = false;
    ok = ApplyDisplayMode(c, false);
  }
  if (!ok) {
    LogWarning("display mode %dx%d, %d bits, %d Hz could not be set: %s", c->width, c->height, c->depth, c->hertz,
               *SDL_GetError() ? SDL_GetError() : "the display has no such mode");
    throw TRuntimeError("GLGraphicsDriver failed to set display mode");
  }
  fullScreenWindow = WindowOf(c);
  GLContextSetSwapInterval(withRate ? 1 : 0);
}

// The full-screen window gives the desktop its mode back when it loses the
// focus, and is minimised. A window that is going away is taken off the
// screen first: SDL, leaving full screen, waits up to 100 ms for a mapped
// window's geometry to change, and leaves an unmapped one at once (nor does
// the window flash up in its windowed size).
void GiveBackDisplayMode(GLContext* c, bool closing = false) {
  if (!WindowOf(c) || WindowOf(c) != fullScreenWindow) return;
  if (closing) detail::X11UnmapWindow(WindowOf(c));
  SDL_SetWindowFullscreen(WindowOf(c), 0);
  if (!closing) SDL_MinimizeWindow(WindowOf(c));
  GLContextSetSwapInterval(0);
  fullScreenWindow = nullptr;
}

void ReadClientSize(GLContext* c) {
  if (detail::X11ClientSize(WindowOf(c), &c->width, &c->height)) return;
  SDL_GetWindowSize(WindowOf(c), &c->width, &c->height);
}

}  // namespace

int GLContextListModes(std::int32_t* modes, int capacity) {
  if (!modes || capacity <= 0) return 0;
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return 0;
  int available = SDL_GetNumDisplayModes(0);
  int count = 0;
  for (int i = 0; i < available && count < capacity; ++i) {
    SDL_DisplayMode mode;
    if (SDL_GetDisplayMode(0, i, &mode) != 0) break;
    int bits = BitsPerPixel(mode.format);
    if (bits < 16) continue;
    modes[count * 4 + 0] = mode.w;
    modes[count * 4 + 1] = mode.h;
    modes[count * 4 + 2] = bits;
    modes[count * 4 + 3] = mode.refresh_rate;
    ++count;
  }
  return count;
}

GLContext* GLContextCreate(int width, int height, int depth, int hertz, int flags) {
  if (width <= 0 || height <= 0) return nullptr;
  if (!EnsureSharedContext()) return nullptr;
  bool fullScreen = depth != 0;
  RequestPixelFormat(flags);
  Uint32 style = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | (fullScreen ? SDL_WINDOW_BORDERLESS : 0);
  // A full-screen window starts where it will be, unless a window manager
  // will put it there: SDL, going full screen, waits up to 100 ms for the
  // window's geometry to change, which the manager's move then ends at once.
  const bool managerPlaces = fullScreen && detail::X11WindowManagerRuns(WindowOf(sharedContext));
  int x = fullScreen && !managerPlaces ? 0 : 32, y = fullScreen && !managerPlaces ? 0 : 32;
  std::string title = AppTitle().ToUtf8();
  SDL_Window* window = SDL_CreateWindow(title.c_str(), x, y, width, height, style);
  if (!window) {  // also when no visual matches the request
    LogWarning("a %dx%d %s window could not be made: %s", width, height, fullScreen ? "full-screen" : "windowed",
               SDL_GetError());
    return nullptr;
  }
  void* context = CreateSharingContext(window);
  if (!context) {
    LogWarning("no OpenGL context could be made for a %dx%d window: %s", width, height, SDL_GetError());
    SDL_DestroyWindow(window);
    return nullptr;
  }
  auto* record = new GLContext;
  record->mode = fullScreen ? ContextFullScreen : ContextWindowed;
  record->width = width;
  record->height = height;
  record->depth = depth;
  record->hertz = hertz;
  record->flags = flags;
  record->window = window;
  record->renderContext = context;
  Link(record);
  RegisterWindowProcedure(SDL_GetWindowID(window), GLContextWindowProc);
  SDL_ShowWindow(window);
  // Showing a window gives it the focus, and a full-screen window takes the
  // display mode then. SDL reports focus later through the pump (if the
  // window system sends it at all), so the window procedure's focus handling
  // runs here.
  if (fullScreen) {
    SDL_RaiseWindow(window);
    try {
      TakeDisplayMode(record);
    } catch (...) {
      GLContextClose(record);
      throw;
    }
  }
  return record;
}

GLContext* GLContextAttach(void* nativeWindow, int flags) {
  if (!nativeWindow) return nullptr;
  if (!EnsureSharedContext()) return nullptr;
  RequestPixelFormat(flags);
  SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
  SDL_Window* window = SDL_CreateWindowFrom(nativeWindow);
  if (!window) {
    LogWarning("the native window %p could not be bound: %s", nativeWindow, SDL_GetError());
    return nullptr;
  }
  void* context = CreateSharingContext(window);
  if (!context) {
    LogWarning("no OpenGL context could be made for the native window %p: %s", nativeWindow, SDL_GetError());
    SDL_DestroyWindow(window);  // only SDL's record: the foreign window stays
    return nullptr;
  }
  auto* record = new GLContext;
  record->mode = ContextAttached;
  record->flags = flags;
  record->window = window;
  record->renderContext = context;
  ReadClientSize(record);
  Link(record);
  RegisterWindowProcedure(SDL_GetWindowID(window), GLContextWindowProc);
  return record;
}

void GLContextSettings(GLContext* context, int& width, int& height, int& depth, int& hertz, int& flags) {
  if (!context) {
    width = height = depth = hertz = flags = 0;
    return;
  }
  if (context->mode == ContextAttached) ReadClientSize(context);
  width = context->width;
  height = context->height;
  depth = context->depth;
  hertz = context->hertz;
  flags = context->flags;
}

void SetGLQueuedDrawingFlush(void (*flush)()) { queuedDrawingFlush = flush; }

void GLFlushQueuedDrawing() {
  if (queuedDrawingFlush) queuedDrawingFlush();
}

void GLContextClose(GLContext* context) {
  if (!context || !Listed(context)) return;
  GLFlushQueuedDrawing();
  if (context == currentContext) GLContextMakeCurrent(nullptr);
  if (SDL_GL_GetCurrentContext() == context->renderContext) SDL_GL_MakeCurrent(nullptr, nullptr);
  SDL_GL_DeleteContext(context->renderContext);
  context->renderContext = nullptr;
  // The record stays listed while its window goes, as the window procedure
  // still handles it then: a full-screen window gives the display mode back.
  GiveBackDisplayMode(context, /*closing=*/true);
  Uint32 id = SDL_GetWindowID(WindowOf(context));
  UnregisterWindowProcedure(id);
  ForgetPointerWindow(id);
  SDL_DestroyWindow(WindowOf(context));  // for an attached window only SDL's record of it
  context->window = nullptr;
  Unlink(context);
  delete context;
}

void GLContextMakeCurrent(GLContext* context) {
  if (context == currentContext) return;
  GLFlushQueuedDrawing();
  currentContext = context;
  RestoreRecordedCurrent();
}

void GLContextPresent(int sync) {
  if (!currentContext) return;
  GLFlushQueuedDrawing();
  int wanted = sync != 0 ? 1 : 0;
  if (wanted != swapState) {
    swapState = wanted;
    GLContextSetSwapInterval(wanted);
  }
  SDL_GL_SwapWindow(WindowOf(currentContext));
}

void GLContextToggleShared() {
  if (!EnsureSharedContext()) return;
  GLFlushQueuedDrawing();
  if (SDL_GL_GetCurrentContext() != sharedContext->renderContext)
    MakeSharedCurrentAtPlatform();
  else
    RestoreRecordedCurrent();
}

void GLContextSetSwapInterval(int interval) {
  ++swapIntervalCalls;
  lastSwapInterval = interval ? 1 : 0;
  // Fails without swap control; a refused request to wait is remembered so
  // that the retrace measurement need not time presents that cannot wait.
  const bool accepted = SDL_GL_SetSwapInterval(interval ? 1 : 0) == 0;
  if (interval) retraceWaitRefused = !accepted;
}

bool GLContextCanWaitForRetrace() { return !retraceWaitRefused; }

void GLContextPrepare() {
  // The window procedure decides what a full-screen window does when it loses
  // the focus (give the mode back, minimise); SDL must not do it on its own.
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
}

int GLContextWindowProc(const SDL_Event& event) {
  GLContext* c = ContextOfWindowId(EventWindowId(event));
  if (!c) return 1;
  TranslateWindowMessage(event, nullptr);
  switch (event.type) {
    case SDL_WINDOWEVENT:
      switch (event.window.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          TakeDisplayMode(c);
          return 0;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          GiveBackDisplayMode(c);
          return 0;
        case SDL_WINDOWEVENT_EXPOSED:
          return 0;  // nothing is drawn outside the frame loop
        default:
          return 1;
      }
    case SDL_MOUSEBUTTONDOWN:
      if (!fullScreenWindow) SDL_CaptureMouse(SDL_TRUE);
      return 0;
    case SDL_MOUSEBUTTONUP:
      if (!fullScreenWindow) SDL_CaptureMouse(SDL_FALSE);
      return 0;
    default:
      return 1;
  }
}

GLContext* GLContextList() { return contextList; }
GLContext* GLSharedContext() { return sharedContext; }
GLContext* GLCurrentContext() { return currentContext; }
void* GLFullScreenWindow() { return fullScreenWindow; }
int GLSwapState() { return swapState; }
long GLSwapIntervalCalls() { return swapIntervalCalls; }
int GLLastSwapInterval() { return lastSwapInterval; }

int GLContextCount() {
  int n = 0;
  for (GLContext* c = contextList; c; c = c->next) ++n;
  return n;
}

}  // namespace cvx
