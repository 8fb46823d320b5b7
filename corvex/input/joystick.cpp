#include "corvex/input/joystick.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <utility>

#include "corvex/event/event.h"
#include "corvex/input/input.h"
#include "corvex/platform/joystickdevice.h"
#include "corvex/runtime/log.h"
#include "corvex/system/system.h"

namespace cvx {

namespace {

// Buttons beyond this many count no hits (their state still reads).
constexpr int kCountedButtons = 64;

struct Port {
  int instance = -1;
  std::array<int, kCountedButtons> hits{};
};

std::array<Port, kJoystickPorts> gPorts;
bool gStarted = false;
float gDeadZone = 0.15f;

Port* PortOf(int port) {
  if (port < 0 || port >= kJoystickPorts || gPorts[port].instance < 0) return nullptr;
  return &gPorts[port];
}

int PortOfInstance(int instance) {
  for (int p = 0; p < kJoystickPorts; ++p)
    if (gPorts[p].instance == instance) return p;
  return -1;
}

void Attached(int deviceIndex) {
  const int instance = OpenJoystickDevice(deviceIndex);
  if (instance < 0) return;
  if (PortOfInstance(instance) >= 0) {  // already known: give back the second opening
    CloseJoystickDevice(instance);
    return;
  }
  for (int p = 0; p < kJoystickPorts; ++p) {
    if (gPorts[p].instance >= 0) continue;
    gPorts[p] = Port{};
    gPorts[p].instance = instance;
    PostEvent(JoystickAttach, nullptr, p, 0, 0, 0, nullptr);
    return;
  }
  LogWarning("Joysticks: a device was plugged in but all %d ports are taken", kJoystickPorts);
  CloseJoystickDevice(instance);
}

void Detached(int instance) {
  const int p = PortOfInstance(instance);
  if (p < 0) return;
  CloseJoystickDevice(instance);
  gPorts[p] = Port{};
  PostEvent(JoystickDetach, nullptr, p, 0, 0, 0, nullptr);
}

void ButtonPressed(int instance, int button) {
  const int p = PortOfInstance(instance);
  if (p >= 0 && button >= 0 && button < kCountedButtons) ++gPorts[p].hits[button];
}

Port* Query(int port) {
  InitJoysticks();
  if (AutoPumpInput) PumpSystem();
  return PortOf(port);
}

}  // namespace

void InitJoysticks() {
  // A platform that refused once is not asked at every query.
  static bool refused = false;
  if (gStarted || refused) return;
  InitInput();
  JoystickListener listener;
  listener.attached = Attached;
  listener.detached = Detached;
  listener.buttonPressed = ButtonPressed;
  std::string whyNot;
  if (!StartJoystickDevices(listener, whyNot)) {
    LogWarning("Joysticks: none can be read: %s", whyNot.c_str());
    refused = true;
    return;
  }
  gStarted = true;
}

void ShutdownJoysticks() {
  if (!gStarted) return;
  for (int p = 0; p < kJoystickPorts; ++p)
    if (gPorts[p].instance >= 0) Detached(gPorts[p].instance);
  StopJoystickDevices();
  gStarted = false;
}

int CountJoysticks() {
  Query(0);
  return static_cast<int>(std::count_if(gPorts.begin(), gPorts.end(), [](const Port& p) { return p.instance >= 0; }));
}

int JoystickAttached(int port) { return Query(port) ? 1 : 0; }

String JoystickName(int port) {
  Port* p = Query(port);
  return p ? String(JoystickDeviceName(p->instance).c_str()) : String();
}

int JoystickAxisCount(int port) {
  Port* p = Query(port);
  return p ? JoystickDeviceAxes(p->instance) : 0;
}
int JoystickButtonCount(int port) {
  Port* p = Query(port);
  return p ? JoystickDeviceButtons(p->instance) : 0;
}
int JoystickHatCount(int port) {
  Port* p = Query(port);
  return p ? JoystickDeviceHats(p->instance) : 0;
}

float JoystickAxis(int port, int axis) {
  Port* p = Query(port);
  if (!p) return 0;
  const float raw = JoystickDeviceAxis(p->instance, axis);
  const float size = std::fabs(raw);
  if (size <= gDeadZone) return 0;
  return std::copysign(std::min(1.0f, (size - gDeadZone) / (1.0f - gDeadZone)), raw);
}

int JoystickDown(int port, int button) {
  Port* p = Query(port);
  return p && JoystickDeviceButton(p->instance, button) ? 1 : 0;
}

int JoystickHits(int port, int button) {
  Port* p = Query(port);
  if (!p || button < 0 || button >= kCountedButtons) return 0;
  return std::exchange(p->hits[button], 0);
}

int JoystickHat(int port, int hat) {
  Port* p = Query(port);
  return p ? JoystickDeviceHat(p->instance, hat) : 0;
}

void FlushJoysticks() {
  Query(0);
  for (Port& p : gPorts) p.hits.fill(0);
}

void SetJoystickDeadZone(float zone) { gDeadZone = zone == zone ? std::clamp(zone, 0.0f, 0.99f) : 0.15f; }
float JoystickDeadZone() { return gDeadZone; }

int JoystickInstance(int port) {
  Port* p = PortOf(port);
  return p ? p->instance : -1;
}

}  // namespace cvx
