/// @file
/// Events: records of what happens outside the program's own code (keyboard,
/// mouse, application, timer, window and gadget notifications), dispatched
/// synchronously by running them through the hook chain EventDispatchHook.
#pragma once

#include "corvex/event/hook.h"
#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/string.h"

namespace cvx {

/// Event ids, grouped by source in blocks of 256 + n (application), 512 + n
/// (keyboard), 1024 + n (mouse), 2048 + n (timer), 8192 + n (gadget),
/// 16384 + n (window) and 32768 + n (menu). The gadget, window and menu ids are
/// reserved names with no producer in the framework.
inline constexpr int AppSuspend = 257;  ///< the program lost the user's attention (focus left it, or it was minimised)
inline constexpr int AppResume = 258;  ///< the application has the user's attention again
inline constexpr int AppTerminate = 259;  ///< the user asked the program to end (a quit request)
inline constexpr int AppOpenFile = 260;  ///< a file was dropped on the program; extra is its path
/// A joystick was plugged in or out; data is its port (0 to 15).
inline constexpr int JoystickAttach = 261;
inline constexpr int JoystickDetach = 262;  ///< a joystick was unplugged; data is its port
inline constexpr int KeyDown = 513;  ///< a key went down; data is its key code (cvx::key)
inline constexpr int KeyUp = 514;  ///< a key went up; data is its key code
inline constexpr int KeyChar = 515;  ///< a character was typed; data is its code
inline constexpr int MouseDown = 1025;  ///< a button went down; data is its number (cvx::mouse)
inline constexpr int MouseUp = 1026;  ///< a button went up; data is its number
inline constexpr int MouseMove = 1027;  ///< the pointer moved to (x, y)
inline constexpr int MouseWheel = 1028;  ///< the wheel turned; data is the steps, positive away from the user
inline constexpr int MouseEnter = 1029;  ///< the pointer entered a window
inline constexpr int MouseLeave = 1030;  ///< the pointer left a window
inline constexpr int TimerTick = 2049;  ///< a ticker ticked; sender is the TTicker, data its tick count
inline constexpr int GadgetAction = 8193;  ///< reserved name
inline constexpr int GadgetPaint = 8194;  ///< reserved name
inline constexpr int GadgetSelect = 8195;  ///< reserved name
inline constexpr int GadgetMenu = 8196;  ///< reserved name
inline constexpr int GadgetOpen = 8197;  ///< reserved name
inline constexpr int GadgetClose = 8198;  ///< reserved name
inline constexpr int GadgetDone = 8199;  ///< reserved name
inline constexpr int WindowMove = 16385;  ///< reserved name
inline constexpr int WindowSize = 16386;  ///< reserved name
inline constexpr int WindowClose = 16387;  ///< reserved name
inline constexpr int WindowActivate = 16388;  ///< reserved name
inline constexpr int WindowAccept = 16389;  ///< reserved name
inline constexpr int MenuAction = 32769;  ///< reserved name

/// Modifier mask bits carried by events.
inline constexpr int ModShift = 1;  ///< either Shift key
inline constexpr int ModControl = 2;  ///< either Control key
inline constexpr int ModAlt = 4;  ///< either Alt key
inline constexpr int ModSystem = 8;  ///< either Windows (GUI) key

/// One event: what happened (id), to what (sender) and its details. Events are
/// dispatched through the EventDispatchHook chain and queued by the event queue.
class TEvent final : public TObject {
 public:
  /// A new event with these fields (sender and extra retained).
  static Ref<TEvent> Make(int id, TObject* sender, int data, int mods, int x, int y, TObject* extra);

  /// CallHooks(EventDispatchHook, this); the chain's result is dropped.
  void Dispatch();

  /// "KeyDown: data=27, mods=0, x=0, y=0, extra=\"\"": the event's name (or
  /// "Unknown Event, id=<id>"), its numbers, and the extra object's text
  /// between quotation marks when it is a string.
  String ToString() override;

  int id = 0;  ///< what happened: one of the event ids above
  Ref<TObject> sender;  ///< the object the event concerns, or null
  int data = 0;         ///< key code, character, button, wheel steps or tick count
  int mods = 0;         ///< modifier mask at the time (ModShift ...)
  int x = 0;            ///< pointer position in client coordinates, where the kind has one
  int y = 0;  ///< see x
  Ref<TObject> extra;  ///< any further object, or null
};

/// The name of an event id ("KeyDown"), or the empty string for an unknown id.
String EventName(int id);

/// The hook id through which every event is dispatched; -1 until InitEvents.
/// Callers always use this variable, never a fixed number.
extern int EventDispatchHook;

/// Runs once: the hooks, then reserves EventDispatchHook.
void InitEvents();

/// Make followed by Dispatch.
void PostEvent(int id, TObject* sender, int data, int mods, int x, int y, TObject* extra);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
