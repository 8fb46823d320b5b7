// Joysticks through SDL's virtual devices and the real system pump: ports,
// hot-plug events, axes with the dead zone, buttons as states and hits, hats.
#include "corvex/input/joystick.h"

#include <gtest/gtest.h>

#include "corvex/event/eventqueue.h"
#include "corvex/input/input.h"
#include "corvex/platform/joystickdevice.h"
#include "corvex/system/system.h"

namespace cvx {
namespace {

class JoystickTest : public testing::Test {
 protected:
  void SetUp() override {
    InitSystem();
    InitEventQueue();
    InitJoysticks();
    SetJoystickDeadZone(0.15f);
    PumpSystem();
    ClearEventQueue();
  }
  void TearDown() override {
    for (int port = 0; port < kJoystickPorts; ++port)
      if (JoystickInstance(port) >= 0) DetachVirtualJoystick(JoystickInstance(port));
    PumpSystem();
    ClearEventQueue();
  }

  // Plugs in a virtual pad and returns its port, checking the event.
  int Plug(int axes = 4, int buttons = 8, int hats = 1) {
    EXPECT_GE(AttachVirtualJoystick(axes, buttons, hats), 0);
    PumpSystem();
    EXPECT_EQ(TakeEvent(), JoystickAttach);
    return TakenEventData();
  }
};

TEST_F(JoystickTest, APluggedPadTakesTheLowestFreePortAndUnpluggingFreesIt) {
  EXPECT_EQ(CountJoysticks(), 0);
  EXPECT_EQ(Plug(2, 4, 0), 0);
  EXPECT_EQ(Plug(6, 12, 1), 1);
  EXPECT_EQ(CountJoysticks(), 2);
  EXPECT_EQ(JoystickAxisCount(1), 6);
  EXPECT_EQ(JoystickButtonCount(1), 12);
  EXPECT_EQ(JoystickHatCount(1), 1);
  EXPECT_EQ(JoystickAxisCount(0), 2);
  EXPECT_FALSE(JoystickName(0).IsEmpty());
  EXPECT_EQ(EventName(JoystickAttach), String("JoystickAttach"));

  ASSERT_TRUE(DetachVirtualJoystick(JoystickInstance(0)));
  PumpSystem();
  EXPECT_EQ(TakeEvent(), JoystickDetach);
  EXPECT_EQ(TakenEventData(), 0);
  EXPECT_EQ(JoystickAttached(0), 0);
  EXPECT_EQ(JoystickAttached(1), 1);
  EXPECT_EQ(CountJoysticks(), 1);
  EXPECT_EQ(JoystickName(0), String());
  // The port left free is taken again; the other pad keeps its own.
  EXPECT_EQ(Plug(), 0);
  EXPECT_EQ(JoystickAxisCount(1), 6);
}

TEST_F(JoystickTest, AxesReadZeroInsideTheDeadZoneAndStretchOutsideIt) {
  const int port = Plug();
  const int id = JoystickInstance(port);
  ASSERT_TRUE(SetVirtualJoystickAxis(id, 0, 0.1f));
  ASSERT_TRUE(SetVirtualJoystickAxis(id, 1, -0.575f));
  ASSERT_TRUE(SetVirtualJoystickAxis(id, 2, 1.0f));
  ASSERT_TRUE(SetVirtualJoystickAxis(id, 3, -1.0f));
  EXPECT_EQ(JoystickAxis(port, 0), 0.0f);
  EXPECT_NEAR(JoystickAxis(port, 1), -0.5f, 1e-3f);
  EXPECT_EQ(JoystickAxis(port, 2), 1.0f);
  EXPECT_EQ(JoystickAxis(port, 3), -1.0f);
  SetJoystickDeadZone(0);
  EXPECT_NEAR(JoystickAxis(port, 0), 0.1f, 1e-3f);
  SetJoystickDeadZone(5);
  EXPECT_FLOAT_EQ(JoystickDeadZone(), 0.99f);
  // Outside the tables and on free ports: zero.
  EXPECT_EQ(JoystickAxis(port, 4), 0.0f);
  EXPECT_EQ(JoystickAxis(port, -1), 0.0f);
  EXPECT_EQ(JoystickAxis(port + 1, 0), 0.0f);
  EXPECT_EQ(JoystickAxis(-1, 0), 0.0f);
  EXPECT_EQ(JoystickAxis(kJoystickPorts, 0), 0.0f);
}

TEST_F(JoystickTest, ButtonsReadAsStatesAndAsHitsThatTheQueryResets) {
  const int port = Plug();
  const int id = JoystickInstance(port);
  for (int press = 0; press < 3; ++press) {
    ASSERT_TRUE(SetVirtualJoystickButton(id, 2, true));
    PumpSystem();
    EXPECT_EQ(JoystickDown(port, 2), 1);
    ASSERT_TRUE(SetVirtualJoystickButton(id, 2, false));
    PumpSystem();
  }
  EXPECT_EQ(JoystickDown(port, 2), 0);
  EXPECT_EQ(JoystickHits(port, 2), 3);
  EXPECT_EQ(JoystickHits(port, 2), 0);
  EXPECT_EQ(JoystickHits(port, 1), 0);
  ASSERT_TRUE(SetVirtualJoystickButton(id, 5, true));
  PumpSystem();
  FlushJoysticks();
  EXPECT_EQ(JoystickHits(port, 5), 0);
  EXPECT_EQ(JoystickDown(port, 5), 1);
  EXPECT_EQ(JoystickDown(port, 99), 0);
  EXPECT_EQ(JoystickHits(port, -1), 0);
}

TEST_F(JoystickTest, HatsReadAsDirectionMasks) {
  const int port = Plug();
  const int id = JoystickInstance(port);
  ASSERT_TRUE(SetVirtualJoystickHat(id, 0, 1 | 2));
  EXPECT_EQ(JoystickHat(port, 0), 3);
  ASSERT_TRUE(SetVirtualJoystickHat(id, 0, 4));
  EXPECT_EQ(JoystickHat(port, 0), 4);
  EXPECT_EQ(JoystickHat(port, 1), 0);
}

TEST_F(JoystickTest, QueriesWithoutAutoPumpSeeNoNewInput) {
  const int port = Plug();
  AutoPumpInput = 0;
  ASSERT_TRUE(SetVirtualJoystickAxis(JoystickInstance(port), 0, 1.0f));
  EXPECT_EQ(JoystickAxis(port, 0), 0.0f);
  PumpSystem();
  EXPECT_EQ(JoystickAxis(port, 0), 1.0f);
  AutoPumpInput = 1;
}

}  // namespace
}  // namespace cvx
