#include "demo/controls.h"

#include "corvex/input/input.h"
#include "corvex/input/joystick.h"
#include "demo/scene.h"

namespace cvx {

namespace {

constexpr float kTilt = 0.5f;
constexpr int kHatUp = 1, kHatRight = 2, kHatDown = 4, kHatLeft = 8;

int gHeld = 0;     // the directions the stick holds now, as hat bits
int gPressed = 0;  // the directions it started to hold at the last reading

int HatBitOf(int key) {
  if (key == ArrowUpKey) return kHatUp;
  if (key == ArrowRightKey) return kHatRight;
  if (key == ArrowDownKey) return kHatDown;
  if (key == ArrowLeftKey) return kHatLeft;
  return 0;
}

int StickDirections() {
  for (int port = 0; port < kJoystickPorts; ++port) {
    if (!JoystickAttached(port)) continue;
    int held = JoystickHatCount(port) > 0 ? JoystickHat(port, 0) : 0;
    if (JoystickAxisCount(port) >= 2) {
      const float x = JoystickAxis(port, 0);
      const float y = JoystickAxis(port, 1);
      if (x <= -kTilt) held |= kHatLeft;
      if (x >= kTilt) held |= kHatRight;
      if (y <= -kTilt) held |= kHatUp;
      if (y >= kTilt) held |= kHatDown;
    }
    return held;
  }
  return 0;
}

}  // namespace

void ReadStickArrows() {
  const int now = StickDirections();
  gPressed = now & ~gHeld;
  gHeld = now;
}

bool ArrowHeld(int key) { return KeyIsDown(key) || (gHeld & HatBitOf(key)) != 0; }

int ArrowPressCount(int key) { return KeyPressCount(key) + ((gPressed & HatBitOf(key)) != 0 ? 1 : 0); }

}  // namespace cvx
