/// @file
/// The C-level OpenGL context layer over SDL: context records, the context
/// list, the hidden 1x1 shared context every other context shares textures
/// with, full-screen display-mode switching driven by window focus, and the
/// swap-interval state of the present operation.
///
/// Every SDL event of a window made here goes through the window procedure:
/// first to TranslateWindowMessage of the system driver (with no sender), then
/// to the handling of focus, mouse capture and display modes.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"

struct SDL_Window;
union SDL_Event;

namespace cvx {

/// What a context record stands for (GLContext::mode).
enum GLContextMode : int {
  ContextShared = 0,      ///< the hidden shared context
  ContextAttached = 1,    ///< a window owned by the caller
  ContextWindowed = 2,    ///< a captioned window of our own
  ContextFullScreen = 3,  ///< a borderless window owning the display mode while focused
};

/// One record of the context layer: a window (or a foreign window, or the hidden
/// shared one) with its OpenGL context and the settings it was made with.
struct GLContext {
  GLContext* next = nullptr;  ///< next record in the context list (newest first)
  /// One of the GLContextMode values.
  int mode = ContextShared;
  int width = 0;   ///< client width in pixels
  int height = 0;  ///< client height in pixels
  int depth = 0;   ///< bits per pixel requested (0 for windowed and attached)
  int hertz = 0;   ///< refresh rate requested (0 = none)
  int flags = 0;   ///< graphics flags (FlagBackBuffer ...)
  /// The SDL window, or nullptr once destroyed.
  SDL_Window* window = nullptr;
  void* renderContext = nullptr;  ///< the SDL_GLContext
};

/// Up to capacity modes of 16 or more bits per pixel, as (width, height,
/// bits per pixel, refresh rate) in records of four ints; returns the count.
int GLContextListModes(std::int32_t* modes, int capacity);
/// A new window and context (full screen when depth != 0, else windowed with
/// the client area at (32, 32)), or nullptr. Raises "GLGraphicsDriver failed
/// to set display mode" when a full-screen window cannot get its mode.
GLContext* GLContextCreate(int width, int height, int depth, int hertz, int flags);
/// A context drawing into a native window (an X11 window id), or nullptr.
GLContext* GLContextAttach(void* nativeWindow, int flags);
/// Settings of a context; an attached one first re-reads its window's size.
void GLContextSettings(GLContext* context, int& width, int& height, int& depth, int& hertz, int& flags);
/// Closes a listed context and its window; an unlisted one is ignored.
void GLContextClose(GLContext* context);
/// Makes the context (or none, for nullptr) current.
void GLContextMakeCurrent(GLContext* context);
/// Swaps the current context's buffers; sets the swap interval first when
/// (sync != 0) differs from the last present. Nothing without a current context.
void GLContextPresent(int sync);
/// Switches the platform's current context between the shared one and the
/// recorded current one; the recorded current context does not change.
void GLContextToggleShared();
/// Sets the swap interval (0 or 1) of the platform's current context.
void GLContextSetSwapInterval(int interval);

/// The window procedure of every window made here. Returns 0 when the event
/// was handled, 1 when it gets default handling.
int GLContextWindowProc(const SDL_Event& event);

// State of the layer, for drivers and inspection.
GLContext* GLContextList();        ///< newest first
GLContext* GLSharedContext();      ///< nullptr until first needed
GLContext* GLCurrentContext();     ///< the context last made current
SDL_Window* GLFullScreenWindow();  ///< the window owning the display mode, or nullptr
int GLSwapState();                 ///< last sync given to present as 0/1, -1 before the first
int GLContextCount();              ///< length of the context list
long GLSwapIntervalCalls();        ///< how often the swap interval has been set
int GLLastSwapInterval();          ///< the interval set last (-1 before the first)

}  // namespace cvx

#include "corvex/runtime/api_end.h"
