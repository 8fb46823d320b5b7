#include <gtest/gtest.h>
#include <time.h>

#include <climits>
#include <regex>

#include "corvex/system/platformhost.h"
#include "corvex/system/system.h"
#include "tests/system/sdl_test_support.h"

namespace cvx {
namespace {

void ExpectAbstract(void (*call)(THostSystem&)) {
  Ref<THostSystem> host = new THostSystem();
  try {
    call(*host);
    ADD_FAILURE() << "expected the abstract-method error";
  } catch (const TRuntimeError& error) {
    EXPECT_STREQ(error.what(), "Attempt to call abstract method");
  }
}

TEST(HostSystem, EveryOperationOfTheBaseClassIsAbstract) {
  ExpectAbstract([](THostSystem& h) { h.Pump(); });
  ExpectAbstract([](THostSystem& h) { h.PumpWait(); });
  ExpectAbstract([](THostSystem& h) { h.Millis(); });
  ExpectAbstract([](THostSystem& h) { h.Pause(1); });
  ExpectAbstract([](THostSystem& h) { h.WarpPointer(1, 2); });
  ExpectAbstract([](THostSystem& h) { h.SetPointerVisible(1); });
  ExpectAbstract([](THostSystem& h) { h.AlertBox("a", 0); });
  ExpectAbstract([](THostSystem& h) { h.ConfirmBox("a", 0); });
  ExpectAbstract([](THostSystem& h) { h.ProceedBox("a", 1); });
  ExpectAbstract([](THostSystem& h) { h.ChooseFile("t", "png", 0, ""); });
  ExpectAbstract([](THostSystem& h) { h.ChooseFolder("t", ""); });
  ExpectAbstract([](THostSystem& h) { h.LaunchURL("http://example.invalid/"); });
}

// Counts pumps and tries to pump again from inside one.
class ReentrantHost final : public THostSystem {
 public:
  void Pump() override {
    ++pumps;
    busySeen = PumpIsBusy();
    PumpSystem();
    PumpSystemWait();
    if (throwNext) {
      throwNext = false;
      throw TRuntimeError("pump failed");
    }
  }
  void PumpWait() override {
    ++waits;
    PumpSystem();
  }
  int Millis() override { return 0; }
  void Pause(int) override {}
  int pumps = 0;
  int waits = 0;
  int busySeen = 0;
  bool throwNext = false;
};

class HostSwap : public ::testing::Test {
 protected:
  void Install(THostSystem* host) { previous_ = SetHostSystem(host); }
  void TearDown() override {
    if (previous_) SetHostSystem(previous_.Get());
  }
  Ref<THostSystem> previous_;
};

using PumpGuard = HostSwap;

TEST_F(PumpGuard, APumpStartedInsideAPumpDoesNothing) {
  Ref<ReentrantHost> host = new ReentrantHost();
  Install(host.Get());
  EXPECT_EQ(PumpIsBusy(), 0);
  PumpSystem();
  EXPECT_EQ(host->pumps, 1);
  EXPECT_EQ(host->waits, 0);
  EXPECT_EQ(host->busySeen, 1);
  PumpSystemWait();
  EXPECT_EQ(host->waits, 1);
  EXPECT_EQ(host->pumps, 1);
  EXPECT_EQ(PumpIsBusy(), 0);
}

TEST_F(PumpGuard, AFailingPumpClearsTheBusyFlag) {
  Ref<ReentrantHost> host = new ReentrantHost();
  Install(host.Get());
  host->throwNext = true;
  EXPECT_THROW(PumpSystem(), TRuntimeError);
  EXPECT_EQ(PumpIsBusy(), 0);
  PumpSystem();
  EXPECT_EQ(host->pumps, 2);
}

using VirtualClock = HostSwap;

TEST_F(VirtualClock, MillisAndPauseGoThroughTheInstalledHost) {
  Ref<TVirtualClockHost> clock = new TVirtualClockHost(nullptr, 1000);
  Install(clock.Get());
  EXPECT_EQ(CurrentHostSystem().Get(), clock.Get());
  EXPECT_EQ(Millis(), 1000);
  Pause(16);
  EXPECT_EQ(Millis(), 1016);
  Pause(0);
  Pause(-5);
  EXPECT_EQ(Millis(), 1016);
  EXPECT_EQ(clock->PauseCalls(), 3);
  EXPECT_EQ(clock->LastPause(), -5);
  EXPECT_EQ(clock->PausedMillis(), 16);
  clock->Advance(4);
  EXPECT_EQ(Millis(), 1020);
  // The 32-bit clock wraps.
  clock->SetMillis(INT_MAX);
  clock->Advance(2);
  EXPECT_EQ(Millis(), INT_MIN + 1);
}

TEST_F(VirtualClock, EverythingElseGoesToTheInnerHostOrGivesTheCancelResult) {
  Ref<ReentrantHost> inner = new ReentrantHost();
  Ref<TVirtualClockHost> clock = new TVirtualClockHost(inner.Get());
  Install(clock.Get());
  PumpSystem();
  PumpSystemWait();  // a virtual clock never blocks: it pumps
  EXPECT_EQ(inner->pumps, 2);
  EXPECT_EQ(inner->waits, 0);
  EXPECT_EQ(clock->PumpCalls(), 2);
  Ref<TVirtualClockHost> bare = new TVirtualClockHost();
  SetHostSystem(bare.Get());
  PumpSystem();
  EXPECT_EQ(ConfirmBox("?", 0), 0);
  EXPECT_EQ(ProceedBox("?", 0), -1);
  EXPECT_TRUE(ChooseFile("t", "png", 0, "").IsEmpty());
  EXPECT_TRUE(ChooseFolder("t", "").IsEmpty());
  AlertBox("!", 1);
  WarpPointer(1, 1);
  HidePointer();
  LaunchURL("x");
}

TEST_F(VirtualClock, InstallingTheNullObjectKeepsTheCurrentHost) {
  Ref<TVirtualClockHost> clock = new TVirtualClockHost(nullptr, 5);
  Install(clock.Get());
  EXPECT_EQ(SetHostSystem(nullptr).Get(), clock.Get());
  EXPECT_EQ(Millis(), 5);
}

TEST(PlatformHost, TheInitialHostIsThePlatformHostWithARealClock) {
  InitSystem();
  Ref<THostSystem> host = CurrentHostSystem();
  ASSERT_TRUE(RefCast<TPlatformHostSystem>(host));
  int before = Millis();
  Pause(5);
  int after = Millis();
  EXPECT_GE(after - before, 5);
}

// The clock counts from the system's start, not from the program's: the
// frame counter's first one-second window must be long closed at start-up.
TEST(PlatformHost, MillisCountsFromTheSystemsStart) {
  InitSystem();
  timespec now{};
  ASSERT_EQ(clock_gettime(CLOCK_MONOTONIC, &now), 0);
  auto system = static_cast<std::uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
  auto millis = static_cast<std::uint32_t>(Millis());
  EXPECT_LE(static_cast<std::int32_t>(millis - system), 50);
  EXPECT_GE(static_cast<std::int32_t>(millis - system), 0);
}

TEST(PlatformHost, PointerVisibilityDoesNotNest) {
  testing_support::StartDummyVideo();
  Ref<THostSystem> host = new TPlatformHostSystem();
  Ref<THostSystem> previous = SetHostSystem(host.Get());
  HidePointer();
  HidePointer();
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  ShowPointer();
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
  SetHostSystem(previous.Get());
}

TEST(DateAndTime, TextsHaveTheirFormats) {
  EXPECT_TRUE(std::regex_match(DateString().ToStd(), std::regex("[0-3][0-9] [A-Z][a-z][a-z] [0-9]{4}")))
      << DateString().ToStd();
  EXPECT_TRUE(std::regex_match(TimeString().ToStd(), std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]")))
      << TimeString().ToStd();
}

TEST(VirtualClockHost, PauseUntilPausesForWhatIsLeftOnTheWrappingClock) {
  Ref<TVirtualClockHost> clock = new TVirtualClockHost(nullptr, 0x7FFFFFFE);
  clock->PauseUntil(static_cast<int>(0x80000003u));  // across the sign wrap: 5 ms ahead
  EXPECT_EQ(clock->LastPause(), 5);
  EXPECT_EQ(clock->Millis(), static_cast<int>(0x80000003u));
  const int calls = clock->PauseCalls();
  clock->PauseUntil(clock->Millis());       // due now
  clock->PauseUntil(static_cast<int>(static_cast<unsigned>(clock->Millis()) - 40u));  // already past
  EXPECT_EQ(clock->PauseCalls(), calls);
}

}  // namespace
}  // namespace cvx
