// Joysticks over SDL2's joystick and game-controller calls. The events come
// out of SDL's queue in the system pump, routed here by type.
#include <SDL.h>

#include <algorithm>

#include "corvex/platform/joystickdevice.h"
#include "corvex/platform/sdl/sdlevents.h"

namespace cvx {

namespace {

JoystickListener gListener;
bool gStarted = false;

SDL_Joystick* Find(int instance) { return gStarted ? SDL_JoystickFromInstanceID(instance) : nullptr; }

void OnDeviceAdded(const SDL_Event& event) {
  if (gListener.attached) gListener.attached(event.jdevice.which);
}
void OnDeviceRemoved(const SDL_Event& event) {
  if (gListener.detached) gListener.detached(event.jdevice.which);
}
void OnButtonDown(const SDL_Event& event) {
  if (gListener.buttonPressed) gListener.buttonPressed(event.jbutton.which, event.jbutton.button);
}

}  // namespace

bool StartJoystickDevices(const JoystickListener& listener, std::string& whyNot) {
  gListener = listener;
  if (gStarted) return true;
  if (SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) != 0) {
    whyNot = std::string("SDL's joystick subsystem did not start: ") + SDL_GetError();
    return false;
  }
  SDL_JoystickEventState(SDL_ENABLE);
  RegisterSystemEventProcedure(SDL_JOYDEVICEADDED, OnDeviceAdded);
  RegisterSystemEventProcedure(SDL_JOYDEVICEREMOVED, OnDeviceRemoved);
  RegisterSystemEventProcedure(SDL_JOYBUTTONDOWN, OnButtonDown);
  gStarted = true;
  return true;
}

void StopJoystickDevices() {
  if (!gStarted) return;
  RegisterSystemEventProcedure(SDL_JOYDEVICEADDED, nullptr);
  RegisterSystemEventProcedure(SDL_JOYDEVICEREMOVED, nullptr);
  RegisterSystemEventProcedure(SDL_JOYBUTTONDOWN, nullptr);
  gStarted = false;
  gListener = JoystickListener{};
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
}

int JoystickDeviceCount() { return gStarted ? std::max(0, SDL_NumJoysticks()) : 0; }

int OpenJoystickDevice(int deviceIndex) {
  if (!gStarted) return -1;
  SDL_Joystick* joystick = SDL_JoystickOpen(deviceIndex);
  return joystick ? SDL_JoystickInstanceID(joystick) : -1;
}

void CloseJoystickDevice(int instance) {
  if (SDL_Joystick* joystick = Find(instance)) SDL_JoystickClose(joystick);
}

std::string JoystickDeviceName(int instance) {
  SDL_Joystick* joystick = Find(instance);
  if (!joystick) return "";
  for (int i = 0; i < SDL_NumJoysticks(); ++i)
    if (SDL_JoystickGetDeviceInstanceID(i) == instance && SDL_IsGameController(i))
      if (const char* name = SDL_GameControllerNameForIndex(i)) return name;
  const char* name = SDL_JoystickName(joystick);
  return name ? name : "";
}

int JoystickDeviceAxes(int instance) {
  SDL_Joystick* joystick = Find(instance);
  return joystick ? std::max(0, SDL_JoystickNumAxes(joystick)) : 0;
}
int JoystickDeviceButtons(int instance) {
  SDL_Joystick* joystick = Find(instance);
  return joystick ? std::max(0, SDL_JoystickNumButtons(joystick)) : 0;
}
int JoystickDeviceHats(int instance) {
  SDL_Joystick* joystick = Find(instance);
  return joystick ? std::max(0, SDL_JoystickNumHats(joystick)) : 0;
}

float JoystickDeviceAxis(int instance, int axis) {
  SDL_Joystick* joystick = Find(instance);
  if (!joystick || axis < 0 || axis >= SDL_JoystickNumAxes(joystick)) return 0;
  // -32768..32767 onto -1..1 with both ends reached.
  const int raw = SDL_JoystickGetAxis(joystick, axis);
  return raw < 0 ? raw / 32768.0f : raw / 32767.0f;
}

bool JoystickDeviceButton(int instance, int button) {
  SDL_Joystick* joystick = Find(instance);
  if (!joystick || button < 0 || button >= SDL_JoystickNumButtons(joystick)) return false;
  return SDL_JoystickGetButton(joystick, button) != 0;
}

int JoystickDeviceHat(int instance, int hat) {
  SDL_Joystick* joystick = Find(instance);
  if (!joystick || hat < 0 || hat >= SDL_JoystickNumHats(joystick)) return 0;
  // SDL's hat bits are these: up 1, right 2, down 4, left 8.
  return SDL_JoystickGetHat(joystick, hat) & 0x0F;
}

int AttachVirtualJoystick(int axes, int buttons, int hats) {
  if (!gStarted) return -1;
  return SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, axes, buttons, hats);
}

bool DetachVirtualJoystick(int instance) {
  if (!gStarted) return false;
  for (int i = 0; i < SDL_NumJoysticks(); ++i)
    if (SDL_JoystickGetDeviceInstanceID(i) == instance) return SDL_JoystickDetachVirtual(i) == 0;
  return false;
}

bool SetVirtualJoystickAxis(int instance, int axis, float value) {
  SDL_Joystick* joystick = Find(instance);
  const float clamped = value == value ? std::clamp(value, -1.0f, 1.0f) : 0.0f;
  const auto raw = static_cast<Sint16>(clamped < 0 ? clamped * 32768.0f : clamped * 32767.0f);
  return joystick && SDL_JoystickSetVirtualAxis(joystick, axis, raw) == 0;
}

bool SetVirtualJoystickButton(int instance, int button, bool down) {
  SDL_Joystick* joystick = Find(instance);
  return joystick && SDL_JoystickSetVirtualButton(joystick, button, down ? SDL_PRESSED : SDL_RELEASED) == 0;
}

bool SetVirtualJoystickHat(int instance, int hat, int mask) {
  SDL_Joystick* joystick = Find(instance);
  return joystick && SDL_JoystickSetVirtualHat(joystick, hat, static_cast<Uint8>(mask & 0x0F)) == 0;
}

}  // namespace cvx
