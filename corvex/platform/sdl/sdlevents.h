// The SDL backend's own view of the message pump: the window procedure
// registry through which the pump hands each SDL event to its window, the
// translation of SDL events of framework windows into TEvents, modifier
// state, pointer enter/leave tracking and the scancode to virtual-key table.
// Only the backend (and its tests) include this header; the rest of the
// framework pumps through corvex/platform/pump.h.
//
// Routing done by the pump (DeliverSystemEvent):
//   - an event that names a window (SDL window id) goes to the procedure
//     registered for that window; events of windows with no procedure are
//     dropped, as a foreign window's messages would be;
//   - an event without a window (the timer's user events, for example) goes to
//     the procedure registered for its SDL event type, if any.
// A window procedure normally calls TranslateWindowMessage(event, nullptr)
// first and then does its own handling.
#pragma once

#include <cstdint>

#include "corvex/platform/pump.h"
#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/object.h"

union SDL_Event;
struct SDL_Window;

namespace cvx {

// ---- Window procedures ------------------------------------------------------

/// Returns 0 when the event was handled, 1 when it gets default handling (the
/// pump ignores the result).
using WindowProcedure = int (*)(const SDL_Event& event);
/// Handles an event that names no window.
using SystemEventProcedure = void (*)(const SDL_Event& event);

/// Registers (or replaces) the procedure of an SDL window id; nullptr removes it.
void RegisterWindowProcedure(std::uint32_t windowId, WindowProcedure procedure);
/// Removes the procedure of a window id (nothing when there is none).
void UnregisterWindowProcedure(std::uint32_t windowId);
/// The procedure of a window id, or nullptr.
WindowProcedure FindWindowProcedure(std::uint32_t windowId);

/// Registers (or replaces) the procedure for window-less events of one SDL
/// event type (for example a type from SDL_RegisterEvents); nullptr removes it.
void RegisterSystemEventProcedure(std::uint32_t eventType, SystemEventProcedure procedure);

/// The SDL window id an event names, or 0 when it names none.
std::uint32_t EventWindowId(const SDL_Event& event);

/// What the pump does with one SDL event (see the routing above).
void DeliverSystemEvent(const SDL_Event& event);

// The window the program works in: the one with the keyboard focus, else the
// one under the pointer, else the framework window registered last; null
// without video.
SDL_Window* ActiveWindow();

// The window procedure of every window of the GL context layer
// (sdlglcontext.cpp). Returns 0 when the event was handled, 1 when it gets
// default handling.
int GLContextWindowProc(const SDL_Event& event);

// ---- Translation --------------------------------------------------------------

/// Turns one SDL event of a framework window into at most one TEvent (plus the
/// MouseEnter/MouseLeave of pointer tracking) and dispatches it; sender is the
/// object the events name (the graphics window passes nullptr).
///   window close -> AppTerminate; focus gained/lost -> AppResume/AppSuspend,
///   except when the focus moves from one framework window to another (the
///   application keeps the user's attention: no event, no keys forgotten);
///   key down/up -> KeyDown/KeyUp with the virtual-key code (Shift, Control,
///   Alt as 160 to 165; repeats and unmapped keys dropped); text input ->
///   one KeyChar per UTF-16 unit, and Backspace, Tab, Enter and Escape give
///   KeyChar 8, 9, 13, 27 as they do on the original platform; buttons ->
///   MouseDown/MouseUp 1 left, 2 right, 3 middle (capturing the mouse);
///   motion -> MouseMove after enter/leave tracking; wheel -> MouseWheel steps.
void TranslateWindowMessage(const SDL_Event& event, TObject* sender);

// The mask of an SDL modifier state (KMOD_...).
int ModifierMaskOf(unsigned sdlModState);

/// The Windows virtual-key code of an SDL scancode (US layout), 0 for none.
/// Left/right Shift, Control and Alt give 160 to 165, the GUI keys 91 and 92.
int VirtualKeyOfScancode(int scancode);
/// The code a key event reports: VirtualKeyOfScancode, except that the keypad's
/// digit and decimal keys with Num Lock off report the editing and arrow keys
/// they then act as (Home, Up, Page Up, ..., Insert, Delete; keypad 5 is Clear).
int VirtualKeyOfKey(int scancode, unsigned sdlModState);

/// Enter/leave tracking: target is the window the pointer is now over (0 for
/// none), (x, y) the position in the target's client coordinates. When the
/// target differs from the tracked window, the tracked window gets MouseLeave
/// (its sender, the pointer in its client coordinates), then the target becomes
/// tracked and gets MouseEnter with this sender at (x, y).
void TrackPointerWindow(std::uint32_t targetWindowId, int x, int y, TObject* sender);
/// The tracked window id (0 for none), for inspection; ForgetPointerWindow
/// forgets it without any event (when a window is destroyed).
std::uint32_t TrackedPointerWindow();
/// Forgets the tracked window, without any event, when it is windowId.
void ForgetPointerWindow(std::uint32_t windowId);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
