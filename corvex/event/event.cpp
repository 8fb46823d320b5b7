#include "corvex/event/event.h"

namespace cvx {

int EventDispatchHook = -1;

void InitEvents() {
  static bool done = false;
  if (done) return;
  done = true;
  InitHooks();
  EventDispatchHook = ReserveHookId();
}

Ref<TEvent> TEvent::Make(int id, TObject* sender, int data, int mods, int x, int y, TObject* extra) {
  Ref<TEvent> event = new TEvent();
  event->id = id;
  event->sender = sender;
  event->data = data;
  event->mods = mods;
  event->x = x;
  event->y = y;
  event->extra = extra;
  return event;
}

void TEvent::Dispatch() {
  InitEvents();
  CallHooks(EventDispatchHook, this);
}

String EventName(int id) {
  switch (id) {
    case AppSuspend:
      return "AppSuspend"_s;
    case AppResume:
      return "AppResume"_s;
    case AppTerminate:
      return "AppTerminate"_s;
    case AppOpenFile:
      return "AppOpenFile"_s;
    case JoystickAttach:
      return "JoystickAttach"_s;
    case JoystickDetach:
      return "JoystickDetach"_s;
    case KeyDown:
      return "KeyDown"_s;
    case KeyUp:
      return "KeyUp"_s;
    case KeyChar:
      return "KeyChar"_s;
    case MouseDown:
      return "MouseDown"_s;
    case MouseUp:
      return "MouseUp"_s;
    case MouseMove:
      return "MouseMove"_s;
    case MouseWheel:
      return "MouseWheel"_s;
    case MouseEnter:
      return "MouseEnter"_s;
    case MouseLeave:
      return "MouseLeave"_s;
    case TimerTick:
      return "TimerTick"_s;
    case GadgetAction:
      return "GadgetAction"_s;
    case GadgetPaint:
      return "GadgetPaint"_s;
    case GadgetSelect:
      return "GadgetSelect"_s;
    case GadgetMenu:
      return "GadgetMenu"_s;
    case GadgetOpen:
      return "GadgetOpen"_s;
    case GadgetClose:
      return "GadgetClose"_s;
    case GadgetDone:
      return "GadgetDone"_s;
    case WindowMove:
      return "WindowMove"_s;
    case WindowSize:
      return "WindowSize"_s;
    case WindowClose:
      return "WindowClose"_s;
    case WindowActivate:
      return "WindowActivate"_s;
    case WindowAccept:
      return "WindowAccept"_s;
    case MenuAction:
      return "MenuAction"_s;
    default:
      return String();
  }
}

String TEvent::ToString() {
  String name = EventName(id);
  if (name.IsEmpty()) name = "Unknown Event, id="_s + String::OfInt(id);
  return name + ": data="_s + String::OfInt(data) + ", mods="_s + String::OfInt(mods) + ", x="_s + String::OfInt(x) +
         ", y="_s + String::OfInt(y) + ", extra=\""_s + String::FromObject(extra.Get()) + "\""_s;
}

void PostEvent(int id, TObject* sender, int data, int mods, int x, int y, TObject* extra) {
  TEvent::Make(id, sender, data, mods, x, y, extra)->Dispatch();
}

}  // namespace cvx
