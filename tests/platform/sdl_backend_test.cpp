// The SDL backend through the platform interfaces alone, with no display:
// tick clocks through the pump, the clock and sleep, and the video, pointer
// and GL context calls that must fail quietly when no display can be opened.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "corvex/platform/clock.h"
#include "corvex/platform/glcontext.h"
#include "corvex/platform/pointer.h"
#include "corvex/platform/pump.h"
#include "corvex/platform/tickclock.h"
#include "corvex/platform/video.h"

namespace cvx {
namespace {

std::vector<int>& Ticks() {
  static std::vector<int> ticks;
  return ticks;
}
void RecordTick(int clockNumber) { Ticks().push_back(clockNumber); }

class SdlBackendTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // No display server may be found, whatever the shell running the test has.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    std::string whyNot;
    ASSERT_TRUE(StartPlatformEvents(whyNot)) << whyNot;
    ASSERT_TRUE(InitTickClocks(RecordTick));
  }
  void SetUp() override {
    PumpPlatformEvents();
    Ticks().clear();
  }
};

TEST_F(SdlBackendTest, TickClocksReachTheReceiverThroughThePumpUntilStopped) {
  EXPECT_NE(TickClockMessageType(), 0u);
  // A second registration keeps the first receiver and type.
  std::uint32_t type = TickClockMessageType();
  EXPECT_TRUE(InitTickClocks(nullptr));
  EXPECT_EQ(TickClockMessageType(), type);

  int id = StartTickClock(5, 42);
  ASSERT_NE(id, 0);
  int start = PlatformMillis();
  while (Ticks().size() < 3 && PlatformMillis() - start < 5000) WaitPlatformEvents();
  StopTickClock(id);
  ASSERT_GE(Ticks().size(), 3u);
  for (int number : Ticks()) EXPECT_EQ(number, 42);

  // Once stopped and drained, no tick comes any more.
  PlatformSleep(20);
  PumpPlatformEvents();
  Ticks().clear();
  PlatformSleep(30);
  PumpPlatformEvents();
  EXPECT_TRUE(Ticks().empty());
}

TEST_F(SdlBackendTest, ClocksThatCannotRunAreRefused) {
  EXPECT_EQ(StartTickClock(0, 1), 0);
  EXPECT_EQ(StartTickClock(-16, 1), 0);
  StopTickClock(0);  // nothing
}

TEST_F(SdlBackendTest, SleepWaitsOnTheMillisecondClockAndNotForNothing) {
  int before = PlatformMillis();
  PlatformSleep(30);
  int slept = PlatformMillis() - before;
  EXPECT_GE(slept, 30);
  before = PlatformMillis();
  PlatformSleep(0);
  PlatformSleep(-100);
  EXPECT_LT(PlatformMillis() - before, 20);
}

TEST_F(SdlBackendTest, SleepUntilWakesOnTheDueMillisecondAndNotBefore) {
  // The clock wraps: times are worked out on unsigned 32 bits.
  auto later = [](int t, unsigned ms) { return static_cast<int>(static_cast<unsigned>(t) + ms); };
  auto since = [](int t) { return static_cast<int>(static_cast<unsigned>(PlatformMillis()) - static_cast<unsigned>(t)); };
  for (int i = 0; i < 5; ++i) {
    const int due = later(PlatformMillis(), 7);
    PlatformSleepUntil(due);
    EXPECT_GE(since(due), 0);  // never a millisecond early
  }
  // A due time already past (also across the clock's wrap) returns at once.
  const int before = PlatformMillis();
  PlatformSleepUntil(later(before, 0u - 5u));
  PlatformSleepUntil(later(before, 0x80000001u));
  EXPECT_LT(since(before), 20);
}

TEST_F(SdlBackendTest, WithoutADisplayVideoAndContextsFailQuietly) {
  std::string reason;
  EXPECT_FALSE(StartVideo(&reason));
  EXPECT_NE(reason.find("neither DISPLAY nor WAYLAND_DISPLAY is set"), std::string::npos) << reason;
  EXPECT_FALSE(VideoRunning());

  std::int32_t modes[16] = {};
  EXPECT_EQ(GLContextListModes(modes, 4), 0);
  EXPECT_EQ(GLContextCreate(640, 480, 0, 0, GLRequestBackBuffer), nullptr);
  EXPECT_EQ(GLContextAttach(reinterpret_cast<void*>(1), 0), nullptr);
  EXPECT_EQ(GLContextCount(), 0);
  EXPECT_EQ(GLSharedContext(), nullptr);
  GLContextPresent(1);  // no current context: nothing
  EXPECT_EQ(GLSwapState(), -1);
  int width = 1, height = 1, depth = 1, hertz = 1, flags = 1;
  GLContextSettings(nullptr, width, height, depth, hertz, flags);
  EXPECT_EQ(width + height + depth + hertz + flags, 0);

  PlatformWarpPointer(10, 10);  // no video: nothing
}

}  // namespace
}  // namespace cvx
