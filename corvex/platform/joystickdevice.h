/// @file
/// Joystick and game-controller devices as the input module sees them, with no
/// platform type in sight. Devices are named by the platform's instance id,
/// which stays the same for as long as the device is attached and is never
/// reused for another. The SDL backend is corvex/platform/sdl/sdljoystick.cpp.
///
/// Changes arrive through the system pump: while the devices are started, each
/// attach, detach and button press the platform reports during a pump reaches
/// the listener given to StartJoystickDevices.
#pragma once

#include <string>

#include "corvex/runtime/api_begin.h"

namespace cvx {

/// What the input module is told about the devices (see the file comment).
struct JoystickListener {
  void (*attached)(int deviceIndex) = nullptr;  ///< a device appeared (also those present at start)
  void (*detached)(int instance) = nullptr;  ///< an open device went away
  void (*buttonPressed)(int instance, int button) = nullptr;  ///< a button of an open device went down
};

/// Starts the platform's joystick and game-controller support. False, with the
/// reason in whyNot, when it does not start. Calling it again replaces the
/// listener.
bool StartJoystickDevices(const JoystickListener& listener, std::string& whyNot);
/// Closes every open device and stops the platform's support; the listener is
/// no longer called.
void StopJoystickDevices();

/// Devices attached now; device indexes run from 0 to the count - 1 and change
/// as devices come and go.
int JoystickDeviceCount();
/// Opens the device at a device index and returns its instance id, or -1.
int OpenJoystickDevice(int deviceIndex);
/// Closes an open device; an instance that is not open is ignored.
void CloseJoystickDevice(int instance);

/// Queries of an open device; "" / 0 for an instance that is not open.
/// A game controller the platform knows answers with its controller name.
std::string JoystickDeviceName(int instance);
/// @{
/// The number of axes, buttons and hats; 0 for an instance that is not open.
int JoystickDeviceAxes(int instance);
int JoystickDeviceButtons(int instance);
int JoystickDeviceHats(int instance);
/// @}
float JoystickDeviceAxis(int instance, int axis);  ///< -1..1, raw (no dead zone)
/// True while the button is held.
bool JoystickDeviceButton(int instance, int button);
int JoystickDeviceHat(int instance, int hat);  ///< 1 up, 2 right, 4 down, 8 left, or'ed

/// Virtual devices, which act as real ones: for tests, and for programs that
/// feed a pad's input themselves. Attach returns the new device index, or -1.
int AttachVirtualJoystick(int axes, int buttons, int hats);
/// Unplugs a virtual device; false when instance is not one.
bool DetachVirtualJoystick(int instance);
/// @{
/// Set a virtual device's axis (-1..1), button or hat mask; false when instance
/// is not a virtual device or the index is out of range.
bool SetVirtualJoystickAxis(int instance, int axis, float value);
bool SetVirtualJoystickButton(int instance, int button, bool down);
bool SetVirtualJoystickHat(int instance, int hat, int mask);
/// @}

}  // namespace cvx

#include "corvex/runtime/api_end.h"
