#include "corvex/input/input.h"

#include <array>

#include "corvex/event/event.h"
#include "corvex/system/system.h"

namespace cvx {

int AutoPumpInput = 1;

namespace {

std::array<int, kInputKeyCount> gKeyStates{};
std::array<int, kInputKeyCount> gKeyPresses{};
std::array<int, kTypedCharRingSize> gTypedChars{};
unsigned gCharPut = 0;  // put - get is the number of characters queued
unsigned gCharGet = 0;
std::array<int, kInputButtonCount> gButtonStates{};
std::array<int, kInputButtonCount> gButtonPresses{};
int gPointerX = 0;
int gPointerY = 0;
int gPointerWheel = 0;
int gSuspended = 0;
int gQuitRequested = 0;
int gStarted = 0;
Ref<TObject> gSenderFilter;

void AutoPump() {
  InitInput();
  if (AutoPumpInput) PumpSystem();
}

bool IsKey(int key) { return key >= 0 && key < kInputKeyCount; }
bool IsButton(int button) { return button >= 0 && button < kInputButtonCount; }

void ClearKeys() {
  gCharPut = gCharGet = 0;
  gKeyStates.fill(0);
  gKeyPresses.fill(0);
}

void ClearPointer() {
  gButtonStates.fill(0);
  gButtonPresses.fill(0);
  gPointerWheel = 0;
}

void Press(int* states, int* presses, int index) {
  // A second down without an up counts no press.
  if (states[index] == 0) {
    states[index] = 1;
    ++presses[index];
  }
}

Ref<TObject> InputHook(int, TObject* data, TObject*) {
  TEvent* event = As<TEvent>(data);
  if (!event) return data;
  if (gSenderFilter && event->sender.Get() != gSenderFilter.Get()) return data;
  switch (event->id) {
    case AppSuspend:
    case AppResume:
      // No key stays held across a focus change, and presses made before it
      // are forgotten. (ResetKeys' own pump does nothing inside this pump.)
      ResetKeys();
      ResetPointer();
      gSuspended = event->id == AppSuspend ? 1 : 0;
      break;
    case AppTerminate:
      gQuitRequested = 1;
      break;
    case KeyDown:
      if (IsKey(event->data)) Press(gKeyStates.data(), gKeyPresses.data(), event->data);
      break;
    case KeyUp:
      if (IsKey(event->data)) gKeyStates[event->data] = 0;
      break;
    case KeyChar:
      if (gCharPut - gCharGet < static_cast<unsigned>(kTypedCharRingSize)) {
        gTypedChars[gCharPut % kTypedCharRingSize] = event->data;
        ++gCharPut;
      }
      break;
    case MouseDown:
      if (IsButton(event->data)) Press(gButtonStates.data(), gButtonPresses.data(), event->data);
      break;
    case MouseUp:
      if (IsButton(event->data)) gButtonStates[event->data] = 0;
      break;
    case MouseMove:
      gPointerX = event->x;
      gPointerY = event->y;
      break;
    case MouseWheel:
      gPointerWheel += event->data;
      break;
    default:
      break;
  }
  return data;  // the hook never consumes events
}

}  // namespace

void InitInput() {
  static bool done = false;
  if (done) return;
  done = true;
  InitEvents();
  InitSystem();
  ClearKeys();
  ClearPointer();
  gPointerX = gPointerY = 0;
  gSuspended = gQuitRequested = gStarted = 0;
  gSenderFilter = nullptr;
  AutoPumpInput = 1;
}

void StartInputPolling(TObject* sender) {
  InitInput();
  if (gStarted) return;
  gSenderFilter = sender;
  ResetKeys();
  ResetPointer();
  AttachHook(EventDispatchHook, InputHook, nullptr, 0);
  gStarted = 1;
}

void StopInputPolling() {
  InitInput();
  if (!gStarted) return;
  DetachHook(EventDispatchHook, InputHook);
  ResetKeys();
  ResetPointer();
  gSenderFilter = nullptr;
  gStarted = 0;
}

int InputPollingStarted() { return gStarted; }

int KeyPressCount(int key) {
  AutoPump();
  if (!IsKey(key)) return 0;
  int count = gKeyPresses[key];
  gKeyPresses[key] = 0;
  return count;
}

int KeyIsDown(int key) {
  AutoPump();
  return IsKey(key) ? gKeyStates[key] : 0;
}

int NextTypedChar() {
  AutoPump();
  if (gCharPut == gCharGet) return 0;
  int ch = gTypedChars[gCharGet % kTypedCharRingSize];
  ++gCharGet;
  return ch;
}

void ResetKeys() {
  InitInput();
  PumpSystem();
  ClearKeys();
}

int PointerX() {
  AutoPump();
  return gPointerX;
}

int PointerY() {
  AutoPump();
  return gPointerY;
}

int PointerWheel() {
  AutoPump();
  return gPointerWheel;
}

int ButtonPressCount(int button) {
  AutoPump();
  if (!IsButton(button)) return 0;
  int count = gButtonPresses[button];
  gButtonPresses[button] = 0;
  return count;
}

int ButtonIsDown(int button) {
  AutoPump();
  return IsButton(button) ? gButtonStates[button] : 0;
}

void ResetPointer() {
  InitInput();
  PumpSystem();
  ClearPointer();
}

int WaitAnyKey() {
  ResetKeys();
  while (!PumpIsBusy()) {
    PumpSystemWait();
    for (int key = 1; key < kInputKeyCount; ++key)
      if (KeyPressCount(key)) return key;
  }
  return 0;
}

int WaitTypedChar() {
  ResetKeys();
  while (!PumpIsBusy()) {
    PumpSystemWait();
    if (int ch = NextTypedChar()) return ch;
  }
  return 0;
}

int WaitAnyButton() {
  ResetPointer();
  while (!PumpIsBusy()) {
    PumpSystemWait();
    for (int button = 1; button < kInputButtonCount; ++button)
      if (ButtonPressCount(button)) return button;
  }
  return 0;
}

int AppIsSuspended() {
  AutoPump();
  return gSuspended;
}

int AppQuitRequested() {
  AutoPump();
  int requested = gQuitRequested;
  gQuitRequested = 0;
  return requested;
}

}  // namespace cvx
