// The C-level OpenGL context layer of the platform: context records, the
// context list, the hidden 1x1 shared context every other context shares
// textures with, display modes and full-screen mode switching driven by window
// focus, and the swap-interval state of the present operation.
//
// Every platform message of a window made here goes through the layer's window
// procedure: first to the translation into TEvents (with no sender), then to
// the handling of focus, mouse capture and display modes.
//
// The interface names no platform type (a window is the platform's opaque
// handle): the SDL backend is corvex/platform/sdl/sdlglcontext.cpp.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"

namespace cvx {

// The buffers a pixel-format request asks for: the same bits as the graphics
// flags (FlagBackBuffer ... in corvex/graphics/graphics.h).
inline constexpr int GLRequestBackBuffer = 2;
inline constexpr int GLRequestAlphaBuffer = 4;
inline constexpr int GLRequestDepthBuffer = 8;
inline constexpr int GLRequestStencilBuffer = 16;
inline constexpr int GLRequestAccumBuffer = 32;

enum GLContextMode : int {
  ContextShared = 0,      // the hidden shared context
  ContextAttached = 1,    // a window owned by the caller
  ContextWindowed = 2,    // a captioned window of our own
  ContextFullScreen = 3,  // a borderless window owning the display mode while focused
};

/// One GL context the layer made, with the window it draws into.
struct GLContext {
  GLContext* next = nullptr;      ///< next record in the context list (newest first)
  int mode = ContextShared;       ///< ContextShared, ContextAttached, ContextWindowed or ContextFullScreen
  int width = 0;                  ///< client width in pixels
  int height = 0;                 ///< client height in pixels
  int depth = 0;                  ///< bits per pixel requested (0 for windowed and attached)
  int hertz = 0;                  ///< refresh rate requested (0 = none)
  int flags = 0;                  ///< graphics flags (FlagBackBuffer ...)
  void* window = nullptr;         ///< the platform's window
  void* renderContext = nullptr;  ///< the platform's GL context
};

// Up to capacity modes of 16 or more bits per pixel, as (width, height,
// bits per pixel, refresh rate) in records of four ints; returns the count.
int GLContextListModes(std::int32_t* modes, int capacity);
// A new window and context (full screen when depth != 0, else windowed with
// the client area at (32, 32)), or nullptr. Raises "GLGraphicsDriver failed
// to set display mode" when a full-screen window cannot get its mode.
GLContext* GLContextCreate(int width, int height, int depth, int hertz, int flags);
// A context drawing into a native window (an X11 window id), or nullptr.
GLContext* GLContextAttach(void* nativeWindow, int flags);
// Settings of a context; an attached one first re-reads its window's size.
void GLContextSettings(GLContext* context, int& width, int& height, int& depth, int& hertz, int& flags);
// Closes a listed context and its window; an unlisted one is ignored.
void GLContextClose(GLContext* context);
// Makes the context (or none, for nullptr) current.
void GLContextMakeCurrent(GLContext* context);
// Swaps the current context's buffers; sets the swap interval first when
// (sync != 0) differs from the last present. Nothing without a current context.
void GLContextPresent(int sync);
// Switches the platform's current context between the shared one and the
// recorded current one; the recorded current context does not change.
void GLContextToggleShared();
// Sets the swap interval (0 or 1) of the platform's current context.
void GLContextSetSwapInterval(int interval);
// False when the platform refused the last request to swap on the vertical
// retrace (an X server without swap control, such as Xvfb): a present cannot
// wait then. True before any request and after an accepted one.
bool GLContextCanWaitForRetrace();

// A driver that queues drawing registers here the function that draws what
// it holds (null: none). The layer runs it before it switches, presents or
// closes contexts, and GLDrawString before it draws.
void SetGLQueuedDrawingFlush(void (*flush)());
// Runs the registered function, if any.
void GLFlushQueuedDrawing();
// Runs once before the first context: the layer's window procedure, not the
// platform, decides what a full-screen window does when it loses the focus.
void GLContextPrepare();

// State of the layer, for drivers and inspection.
GLContext* GLContextList();     // newest first
GLContext* GLSharedContext();   // nullptr until first needed
GLContext* GLCurrentContext();  // the context last made current
void* GLFullScreenWindow();     // the window owning the display mode, or nullptr
int GLSwapState();              // last sync given to present as 0/1, -1 before the first
int GLContextCount();           // length of the context list
long GLSwapIntervalCalls();     // how often the swap interval has been set
int GLLastSwapInterval();       // the interval set last (-1 before the first)

}  // namespace cvx

#include "corvex/runtime/api_end.h"
