// Scene 1's arrows from a joystick (SDL's virtual pads through the real
// system pump), and the keyboard's arrows unchanged beside it.
#include "demo/controls.h"

#include <gtest/gtest.h>

#include "corvex/event/eventqueue.h"
#include "corvex/input/input.h"
#include "corvex/input/joystick.h"
#include "corvex/platform/joystickdevice.h"
#include "corvex/system/system.h"
#include "demo/scene.h"

namespace cvx {
namespace {

class StickArrowsTest : public testing::Test {
 protected:
  void SetUp() override {
    InitSystem();
    InitEventQueue();
    InitJoysticks();
    PumpSystem();
    ReadStickArrows();
  }
  void TearDown() override {
    for (int port = 0; port < kJoystickPorts; ++port)
      if (JoystickInstance(port) >= 0) DetachVirtualJoystick(JoystickInstance(port));
    PumpSystem();
    ClearEventQueue();
    ReadStickArrows();
  }
  int Plug() {
    const int index = AttachVirtualJoystick(2, 4, 1);
    EXPECT_GE(index, 0);
    PumpSystem();
    for (int port = 0; port < kJoystickPorts; ++port)
      if (JoystickInstance(port) >= 0) return JoystickInstance(port);
    ADD_FAILURE() << "the virtual pad was not attached";
    return -1;
  }
};

TEST_F(StickArrowsTest, WithoutAJoystickTheArrowsAreTheKeysAlone) {
  for (int key : {ArrowLeftKey, ArrowRightKey, ArrowUpKey, ArrowDownKey}) {
    EXPECT_FALSE(ArrowHeld(key));
    EXPECT_EQ(ArrowPressCount(key), 0);
  }
}

TEST_F(StickArrowsTest, TiltingTheStickHoldsAnArrowAndCountsOnePress) {
  const int pad = Plug();
  ASSERT_GE(pad, 0);
  ASSERT_TRUE(SetVirtualJoystickAxis(pad, 1, -1.0f));  // stick up
  ReadStickArrows();
  EXPECT_TRUE(ArrowHeld(ArrowUpKey));
  EXPECT_FALSE(ArrowHeld(ArrowDownKey));
  EXPECT_EQ(ArrowPressCount(ArrowUpKey), 1);
  // Held on: no second press until the stick comes back and tilts again.
  ReadStickArrows();
  EXPECT_TRUE(ArrowHeld(ArrowUpKey));
  EXPECT_EQ(ArrowPressCount(ArrowUpKey), 0);
  // A small tilt (below half-way) is no arrow.
  ASSERT_TRUE(SetVirtualJoystickAxis(pad, 1, -0.3f));
  ReadStickArrows();
  EXPECT_FALSE(ArrowHeld(ArrowUpKey));
  ASSERT_TRUE(SetVirtualJoystickAxis(pad, 1, 1.0f));
  ASSERT_TRUE(SetVirtualJoystickAxis(pad, 0, 1.0f));
  ReadStickArrows();
  EXPECT_TRUE(ArrowHeld(ArrowDownKey));
  EXPECT_TRUE(ArrowHeld(ArrowRightKey));
  EXPECT_FALSE(ArrowHeld(ArrowLeftKey));
  EXPECT_EQ(ArrowPressCount(ArrowDownKey), 1);
}

TEST_F(StickArrowsTest, TheHatHoldsArrowsToo) {
  const int pad = Plug();
  ASSERT_GE(pad, 0);
  ASSERT_TRUE(SetVirtualJoystickHat(pad, 0, 8));  // left
  ReadStickArrows();
  EXPECT_TRUE(ArrowHeld(ArrowLeftKey));
  EXPECT_EQ(ArrowPressCount(ArrowLeftKey), 1);
  ASSERT_TRUE(SetVirtualJoystickHat(pad, 0, 0));
  ReadStickArrows();
  EXPECT_FALSE(ArrowHeld(ArrowLeftKey));
}

}  // namespace
}  // namespace cvx
