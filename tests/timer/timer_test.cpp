#include "corvex/timer/timer.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "corvex/event/eventqueue.h"
#include "corvex/system/platformhost.h"
#include "corvex/system/system.h"
#include "tests/runtime/test_helpers.h"

namespace cvx {
namespace {

// Records the TimerTick events (and any other dispatched object) while alive.
class TickRecorder {
 public:
  TickRecorder() {
    Active() = this;
    AttachHook(EventDispatchHook, Hook, nullptr, 1000);
  }
  ~TickRecorder() {
    DetachHook(EventDispatchHook, Hook);
    Active() = nullptr;
  }
  TickRecorder(const TickRecorder&) = delete;
  TickRecorder& operator=(const TickRecorder&) = delete;

  // The fields are copied at dispatch: the event queue later overwrites the
  // data of a queued tick that a newer tick coalesces into.
  struct Seen {
    Ref<TObject> object;
    int id;
    int data;
    TObject* sender;
  };
  std::vector<Seen> seen;
  std::vector<int> TickData(TTicker* from) const {
    std::vector<int> data;
    for (const Seen& s : seen)
      if (s.id == TimerTick && s.sender == from) data.push_back(s.data);
    return data;
  }

 private:
  static TickRecorder*& Active() {
    static TickRecorder* active = nullptr;
    return active;
  }
  static Ref<TObject> Hook(int, TObject* data, TObject*) {
    if (!Active()) return data;
    TEvent* event = As<TEvent>(data);
    Active()->seen.push_back(
        {data, event ? event->id : -1, event ? event->data : 0, event ? event->sender.Get() : nullptr});
    return data;
  }
};

class TimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitTimers();
    InitEventQueue();
    // The real SDL host: these tests need SDL's timer thread and queue.
    ASSERT_TRUE(RefCast<TPlatformHostSystem>(CurrentHostSystem()));
    PumpSystem();
    ClearEventQueue();
  }
  void TearDown() override {
    PumpSystem();
    ClearEventQueue();
  }
};

TEST_F(TimerTest, TicksMadeWhileNobodyPumpsArriveInOrderOnTheNextPump) {
  TickRecorder recorder;
  Ref<TTicker> ticker = MakeTicker(10.0f, nullptr);
  ASSERT_NE(ticker->handle, 0);
  SDL_Delay(550);  // no pumping: the ticks wait in SDL's queue
  EXPECT_EQ(ticker->TickCount(), 0);
  PumpSystem();
  std::vector<int> data = recorder.TickData(ticker.Get());
  // About five; the bounds leave room for a busy machine.
  ASSERT_GE(data.size(), 2u);
  EXPECT_LE(data.size(), 7u);
  for (std::size_t i = 0; i < data.size(); ++i) EXPECT_EQ(data[i], static_cast<int>(i) + 1);
  EXPECT_EQ(ticker->TickCount(), static_cast<int>(data.size()));
  // In the event queue the untaken ticks of one ticker are one event with the latest count.
  EXPECT_EQ(QueuedEventCount(), 1);
  ASSERT_EQ(TakeEvent(), TimerTick);
  EXPECT_EQ(TakenEventData(), ticker->TickCount());
  EXPECT_EQ(TakenEventSender().Get(), ticker.Get());
  ticker->Halt();
}

TEST_F(TimerTest, WaitTicksReportsEverythingCountedSinceItLastReturned) {
  Ref<TTicker> ticker = MakeTicker(50.0f, nullptr);
  ASSERT_NE(ticker->handle, 0);
  SDL_Delay(120);  // several tick events pile up unpumped
  int first = ticker->WaitTicks();
  EXPECT_GE(first, 2);
  EXPECT_EQ(ticker->waitMark, ticker->TickCount());
  // Ticks counted by other pumping are included, and the call still waits
  // for at least one further tick.
  SDL_Delay(60);
  PumpSystem();
  int counted = ticker->TickCount() - ticker->waitMark;
  EXPECT_GE(counted, 1);
  int second = ticker->WaitTicks();
  EXPECT_GE(second, counted + 1);
  EXPECT_EQ(ticker->waitMark, ticker->TickCount());
  ticker->Halt();
}

TEST_F(TimerTest, ASuppliedEventObjectIsDispatchedUnchangedAtEveryTick) {
  TickRecorder recorder;
  Ref<TEvent> own = TEvent::Make(TimerTick, nullptr, 77, 0, 0, 0, nullptr);
  Ref<TTicker> ticker = MakeTicker(100.0f, own.Get());
  while (ticker->TickCount() < 3) ticker->WaitTicks();
  ticker->Halt();
  int dispatched = 0;
  for (const TickRecorder::Seen& s : recorder.seen) {
    if (s.object.Get() == own.Get()) {
      ++dispatched;
      EXPECT_EQ(s.data, 77);
    }
  }
  EXPECT_EQ(dispatched, ticker->TickCount());
  EXPECT_EQ(own->data, 77);
  EXPECT_TRUE(recorder.TickData(ticker.Get()).empty());
}

TEST_F(TimerTest, HaltTwiceIsHarmlessAndLateTicksAreIgnored) {
  TickRecorder recorder;
  Ref<TTicker> ticker = MakeTicker(200.0f, nullptr);
  int clock = ticker->clockNumber;
  ASSERT_EQ(RunningTicker(clock).Get(), ticker.Get());
  SDL_Delay(40);  // tick events queued before the halt
  ticker->Halt();
  EXPECT_EQ(ticker->handle, 0);
  EXPECT_TRUE(ticker->selfRef.IsNull());
  EXPECT_TRUE(ticker->tickEvent.IsNull());
  ticker->Halt();
  EXPECT_EQ(ticker->handle, 0);
  PumpSystem();
  EXPECT_EQ(ticker->TickCount(), 0);
  EXPECT_TRUE(recorder.TickData(ticker.Get()).empty());
  EXPECT_TRUE(RunningTicker(clock).IsNull());
  // A halted ticker does not wait for ever.
  EXPECT_EQ(ticker->WaitTicks(), 0);
}

TEST_F(TimerTest, ARunningTickerKeepsItselfAliveUntilHalted) {
  int clock = 0;
  {
    Ref<TTicker> ticker = MakeTicker(100.0f, nullptr);
    clock = ticker->clockNumber;
  }
  ReclaimMemory();
  Ref<TTicker> running = RunningTicker(clock);
  ASSERT_TRUE(running);
  while (running->TickCount() < 2) running->WaitTicks();
  running->Halt();
}

TEST_F(TimerTest, TickOfAFreedTickerIsIgnored) {
  int clock = 0;
  {
    Ref<TTicker> ticker = MakeTicker(100.0f, nullptr);
    clock = ticker->clockNumber;
    ticker->Halt();
  }
  ReclaimMemory();
  // A tick event of that ticker arrives late.
  SDL_Event late{};
  late.type = TickEventType();
  late.user.code = clock;
  ASSERT_EQ(SDL_PushEvent(&late), 1);
  TickRecorder recorder;
  PumpSystem();
  EXPECT_TRUE(recorder.seen.empty());
}

TEST_F(TimerTest, PeriodsThatAreNotAWholePositiveNumberOfMillisecondsNeverStart) {
  EXPECT_EQ(StartTickerClock(2000.0f, nullptr), 0);
  Ref<TTicker> tooFast = MakeTicker(1500.0f, nullptr);
  EXPECT_EQ(tooFast->handle, 0);
  EXPECT_EQ(MakeTicker(0.0f, nullptr)->handle, 0);
  EXPECT_EQ(MakeTicker(-10.0f, nullptr)->handle, 0);
  EXPECT_EQ(MakeTicker(std::nanf(""), nullptr)->handle, 0);
  EXPECT_EQ(MakeTicker(1e-9f, nullptr)->handle, 0);
  // Such a ticker never ticks, and waiting on it returns instead of hanging.
  EXPECT_EQ(tooFast->WaitTicks(), 0);
  tooFast->Halt();
  // 1000 Hz is the fastest clock that starts (a period of 1 ms).
  Ref<TTicker> fastest = MakeTicker(1000.0f, nullptr);
  EXPECT_NE(fastest->handle, 0);
  fastest->Halt();
}

// Counts its own destruction.
class TFreedFlag final : public TObject {
 public:
  explicit TFreedFlag(bool* freed) : freed_(freed) {}
  ~TFreedFlag() override { *freed_ = true; }

 private:
  bool* freed_;
};

// A ticker whose clock cannot start, with an event object, dropped at once.
__attribute__((noinline)) void DropTickerThatNeverStarts(bool* freed) {
  Ref<TTicker> ticker = MakeTicker(5000.0f, new TFreedFlag(freed));
  EXPECT_EQ(ticker->handle, 0);
}

TEST_F(TimerTest, ATickerThatNeverStartedIsFreedWithItsEvent) {
  // It does not hold itself: nothing would ever halt it and let it go.
  bool freed = false;
  for (int i = 0; i < 3 && !freed; ++i) {
    DropTickerThatNeverStarts(&freed);
    testing_support::CleanPass();
    testing_support::CleanPass();
  }
  EXPECT_TRUE(freed);
}

TEST(TickerPeriod, ThePeriodIsTheTruncatedMillisecondCount) {
  EXPECT_EQ(TickerPeriodMillis(60.0f), 16);
  EXPECT_EQ(TickerPeriodMillis(10.0f), 100);
  EXPECT_EQ(TickerPeriodMillis(0.5f), 2000);
  EXPECT_EQ(TickerPeriodMillis(1000.0f), 1);
  EXPECT_EQ(TickerPeriodMillis(999.0f), 1);
  EXPECT_EQ(TickerPeriodMillis(1001.0f), 0);
  EXPECT_EQ(TickerPeriodMillis(0.0f), 0);
  EXPECT_EQ(TickerPeriodMillis(-1.0f), 0);
  EXPECT_EQ(TickerPeriodMillis(std::nanf("")), 0);
  EXPECT_EQ(TickerPeriodMillis(1e-9f), 0);
}

TEST_F(TimerTest, TwoTickersCountIndependently) {
  TickRecorder recorder;
  Ref<TTicker> slow = MakeTicker(20.0f, nullptr);
  Ref<TTicker> fast = MakeTicker(100.0f, nullptr);
  while (slow->TickCount() < 2) slow->WaitTicks();
  slow->Halt();
  fast->Halt();
  EXPECT_GT(fast->TickCount(), slow->TickCount());
  std::vector<int> slowData = recorder.TickData(slow.Get());
  std::vector<int> fastData = recorder.TickData(fast.Get());
  for (std::size_t i = 0; i < slowData.size(); ++i) EXPECT_EQ(slowData[i], static_cast<int>(i) + 1);
  for (std::size_t i = 0; i < fastData.size(); ++i) EXPECT_EQ(fastData[i], static_cast<int>(i) + 1);
}

}  // namespace
}  // namespace cvx
