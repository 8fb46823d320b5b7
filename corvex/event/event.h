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
inline constexpr int AppSuspend = 257;
inline constexpr int AppResume = 258;
inline constexpr int AppTerminate = 259;
inline constexpr int AppOpenFile = 260;
/// A joystick was plugged in or out; data is its port (0 to 15).
inline constexpr int JoystickAttach = 261;
inline constexpr int JoystickDetach = 262;
inline constexpr int KeyDown = 513;
inline constexpr int KeyUp = 514;
inline constexpr int KeyChar = 515;
inline constexpr int MouseDown = 1025;
inline constexpr int MouseUp = 1026;
inline constexpr int MouseMove = 1027;
inline constexpr int MouseWheel = 1028;
inline constexpr int MouseEnter = 1029;
inline constexpr int MouseLeave = 1030;
inline constexpr int TimerTick = 2049;
inline constexpr int GadgetAction = 8193;
inline constexpr int GadgetPaint = 8194;
inline constexpr int GadgetSelect = 8195;
inline constexpr int GadgetMenu = 8196;
inline constexpr int GadgetOpen = 8197;
inline constexpr int GadgetClose = 8198;
inline constexpr int GadgetDone = 8199;
inline constexpr int WindowMove = 16385;
inline constexpr int WindowSize = 16386;
inline constexpr int WindowClose = 16387;
inline constexpr int WindowActivate = 16388;
inline constexpr int WindowAccept = 16389;
inline constexpr int MenuAction = 32769;

/// Modifier mask bits carried by events.
inline constexpr int ModShift = 1;
inline constexpr int ModControl = 2;
inline constexpr int ModAlt = 4;
inline constexpr int ModSystem = 8;  ///< either Windows (GUI) key

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

  int id = 0;
  Ref<TObject> sender;  ///< the object the event concerns, or null
  int data = 0;         ///< key code, character, button, wheel steps or tick count
  int mods = 0;         ///< modifier mask at the time (ModShift ...)
  int x = 0;            ///< pointer position in client coordinates, where the kind has one
  int y = 0;
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
