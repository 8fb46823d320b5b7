// The headless host: its clock and sleeps, and the queue of events it hands
// out at their due times.
#include "corvex/platform/headless/headlesshost.h"

#include <gtest/gtest.h>

#include <vector>

#include "corvex/event/hook.h"

namespace cvx {
namespace {

// Records the data of the events dispatched while it lives.
class EventLog {
 public:
  EventLog() {
    InitEvents();
    current = this;
    AttachHook(EventDispatchHook, &EventLog::Record, nullptr, 0);
  }
  ~EventLog() {
    DetachHook(EventDispatchHook, &EventLog::Record);
    current = nullptr;
  }
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  std::vector<int> data;
  THeadlessHostSystem* repostTo = nullptr;  // posts a follow-up for each event seen

 private:
  static inline EventLog* current = nullptr;
  static Ref<TObject> Record(int, TObject* payload, TObject*) {
    auto* event = dynamic_cast<TEvent*>(payload);
    if (event && current) {
      current->data.push_back(event->data);
      if (current->repostTo && event->data < 100)
        current->repostTo->Post(TEvent::Make(KeyDown, nullptr, event->data + 100, 0, 0, 0, nullptr).Get());
    }
    return Ref<TObject>(payload);
  }
};

Ref<TEvent> Key(int data) { return TEvent::Make(KeyDown, nullptr, data, 0, 0, 0, nullptr); }

TEST(HeadlessHost, ClockStartsNearZeroAndPausesReallySleep) {
  Ref<THeadlessHostSystem> host = new THeadlessHostSystem();
  const int start = host->Millis();
  EXPECT_GE(start, 0);
  EXPECT_LT(start, 1000);
  host->Pause(30);
  EXPECT_GE(host->Millis() - start, 30);
  const int before = host->Millis();
  host->Pause(0);
  host->Pause(-5);
  EXPECT_LT(host->Millis() - before, 1000);
}

TEST(HeadlessHost, PumpHandsOutDueEventsInDueThenPostingOrder) {
  EventLog log;
  Ref<THeadlessHostSystem> host = new THeadlessHostSystem();
  host->PostAfter(40, Key(3).Get());
  host->Post(Key(1).Get());
  host->PostAfter(-10, Key(2).Get());  // a negative delay is "now", after the earlier post
  host->Post(nullptr);
  EXPECT_EQ(host->PendingCount(), 3);
  host->Pump();
  EXPECT_EQ(log.data, (std::vector<int>{1, 2}));
  EXPECT_EQ(host->PendingCount(), 1);
  // Waiting sleeps until the later event is due rather than a whole slice at a time.
  host->waitSliceMillis = 1000;
  const int before = host->Millis();
  while (log.data.size() < 3) host->PumpWait();
  EXPECT_EQ(log.data, (std::vector<int>{1, 2, 3}));
  EXPECT_GE(host->Millis() - before, 30);
  EXPECT_LT(host->Millis() - before, 900);
}

TEST(HeadlessHost, EventsPostedWhileDispatchingWaitForTheNextPump) {
  EventLog log;
  Ref<THeadlessHostSystem> host = new THeadlessHostSystem();
  log.repostTo = host.Get();
  host->Post(Key(7).Get());
  host->Pump();
  EXPECT_EQ(log.data, (std::vector<int>{7}));
  host->Pump();
  EXPECT_EQ(log.data, (std::vector<int>{7, 107}));
  host->PostAfter(10000, Key(9).Get());
  host->ClearPending();
  EXPECT_EQ(host->PendingCount(), 0);
}

TEST(HeadlessHost, PumpsReachTheInnerHostAndAnEmptyWaitReturns) {
  Ref<TVirtualClockHost> inner = new TVirtualClockHost();
  Ref<THeadlessHostSystem> host = new THeadlessHostSystem(inner.Get());
  host->waitSliceMillis = 5;
  host->Pump();
  host->PumpWait();  // nothing queued: one slice, then the inner host's events
  EXPECT_EQ(inner->PumpCalls(), 2);
  EXPECT_EQ(host->Inner(), Ref<THostSystem>(inner));
}

TEST(HeadlessHost, BoxesGiveTheirCancelResultsAndRequestersNothing) {
  Ref<THeadlessHostSystem> host = new THeadlessHostSystem();
  host->AlertBox("x"_s, 1);
  EXPECT_EQ(host->ConfirmBox("x"_s, 0), 0);
  EXPECT_EQ(host->ProceedBox("x"_s, 0), -1);
  EXPECT_TRUE(host->ChooseFile("t"_s, "png"_s, 0, ""_s).IsEmpty());
  EXPECT_TRUE(host->ChooseFolder("t"_s, ""_s).IsEmpty());
  host->LaunchURL("http://localhost/"_s);
  host->WarpPointer(12, 34);
  host->SetPointerVisible(0);
  EXPECT_EQ(host->pointerX, 12);
  EXPECT_EQ(host->pointerY, 34);
  EXPECT_EQ(host->pointerVisible, 0);
}

}  // namespace
}  // namespace cvx
