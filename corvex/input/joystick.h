/// @file
/// Polled joysticks: up to 16 devices, each on a port 0 to 15 that it keeps
/// while attached. A device plugged in takes the lowest free port and posts a
/// JoystickAttach event (data = the port); one unplugged frees its port and
/// posts JoystickDetach. Both events pass through the dispatch chain, so they
/// reach the event queue and any hook. Devices present when the joysticks
/// start are attached the same way during the first pump.
///
/// Axes read as -1..1 after a dead zone: values whose size is below it read 0,
/// and the rest is stretched so that the zone's edge is 0 and full travel 1.
/// Buttons read as held states and as hit counts (presses since the last
/// JoystickHits of that button), like KeyDown and KeyHit. Hats read as a mask:
/// 1 up, 2 right, 4 down, 8 left.
///
/// Every query pumps the system driver first while AutoPumpInput is non-zero.
/// Ports and indexes out of range, and free ports, read 0 (and "" for names).
#pragma once

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/string.h"

namespace cvx {

/// The number of ports (0 to 15).
inline constexpr int kJoystickPorts = 16;

/// Starts the platform's joystick support, after the input module (every query
/// calls it). When it cannot start, the log says why once and every query reads 0.
void InitJoysticks();
/// Detaches every device (with their events) and stops the platform support;
/// the next query starts it again, attaching the devices still plugged in.
void ShutdownJoysticks();

/// The number of attached devices.
int CountJoysticks();
/// 1 when a device is on the port.
int JoystickAttached(int port);
/// The device's name ("" for a free port).
String JoystickName(int port);
/// @{
/// The number of axes, buttons and hats of the device on the port.
int JoystickAxisCount(int port);
int JoystickButtonCount(int port);
int JoystickHatCount(int port);
/// @}

/// An axis, -1..1 after the dead zone.
float JoystickAxis(int port, int axis);
/// 1 while the button is held.
int JoystickDown(int port, int button);
/// Presses of the button since the last JoystickHits of it (then 0 again).
int JoystickHits(int port, int button);
/// A hat's mask: 1 up, 2 right, 4 down, 8 left.
int JoystickHat(int port, int hat);
/// Forgets every hit count.
void FlushJoysticks();

/// The dead zone, 0 to 0.99 (start value 0.15); out of range values are clamped.
void SetJoystickDeadZone(float zone);
/// The dead zone in force.
float JoystickDeadZone();

/// The platform's instance id of the device on a port, or -1.
int JoystickInstance(int port);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
