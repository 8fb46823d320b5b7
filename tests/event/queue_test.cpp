#include <gtest/gtest.h>

#include <vector>

#include "corvex/event/eventqueue.h"
#include "corvex/system/system.h"
#include "tests/support/scripted_host.h"

namespace cvx {
namespace {

int gHookSaw = 0;
Ref<TObject> CountKeyDowns(int, TObject* data, TObject*) {
  if (TEvent* event = As<TEvent>(data); event && event->id == KeyDown) ++gHookSaw;
  return data;
}

class EventQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitEventQueue();
    host_ = new ScriptedHost();
    previous_ = SetHostSystem(host_.Get());
    ClearEventQueue();
  }
  void TearDown() override {
    ClearEventQueue();
    SetHostSystem(previous_.Get());
  }
  static void Post(int id, TObject* sender, int data, int x = 0, int y = 0) {
    PostSystemEvent(id, sender, data, 0, x, y, nullptr);
  }
  Ref<ScriptedHost> host_;
  Ref<THostSystem> previous_;
};

TEST_F(EventQueueTest, MovesAreNotCoalescedButTicksOfOneSenderAre) {
  Ref<TEvent> timer = TEvent::Make(0, nullptr, 0, 0, 0, 0, nullptr);
  for (int i = 1; i <= 30; ++i) Post(MouseMove, nullptr, 0, i, i);
  EXPECT_EQ(QueuedEventCount(), 30);
  for (int i = 1; i <= 30; ++i) Post(TimerTick, timer.Get(), i);
  EXPECT_EQ(QueuedEventCount(), 31);
  for (int i = 1; i <= 30; ++i) {
    ASSERT_EQ(TakeEvent(), MouseMove);
    EXPECT_EQ(TakenEventX(), i);
  }
  EXPECT_EQ(TakeEvent(), TimerTick);
  EXPECT_EQ(TakenEventData(), 30);
  EXPECT_EQ(TakenEventSender().Get(), timer.Get());
  EXPECT_EQ(TakeEvent(), 0);
}

TEST_F(EventQueueTest, CoalescedEventKeepsItsPlaceAndTakesTheNewestFields) {
  Ref<TEvent> a = TEvent::Make(0, nullptr, 0, 0, 0, 0, nullptr);
  Ref<TEvent> b = TEvent::Make(0, nullptr, 0, 0, 0, 0, nullptr);
  Post(KeyDown, nullptr, 65);
  Post(TimerTick, a.Get(), 1);
  Post(WindowSize, nullptr, 0, 640, 480);
  Post(TimerTick, b.Get(), 7);  // another sender: a queued event of its own
  PostSystemEvent(TimerTick, a.Get(), 2, 5, 6, 7, "x"_s.Body());
  Post(WindowSize, nullptr, 0, 800, 600);
  Post(GadgetAction, nullptr, 1);
  Post(GadgetAction, nullptr, 2);
  Post(WindowMove, nullptr, 0, 1, 1);
  Post(WindowMove, nullptr, 0, 2, 2);
  Post(KeyDown, nullptr, 65);  // key events never coalesce
  ASSERT_EQ(QueuedEventCount(), 7);
  EXPECT_EQ(TakeEvent(), KeyDown);
  EXPECT_EQ(TakeEvent(), TimerTick);
  EXPECT_EQ(TakenEventSender().Get(), a.Get());
  EXPECT_EQ(TakenEventData(), 2);
  EXPECT_EQ(TakenEventMods(), 5);
  EXPECT_EQ(TakenEventX(), 6);
  EXPECT_EQ(TakenEventY(), 7);
  EXPECT_EQ(TakenEventText().ToStd(), "x");
  EXPECT_EQ(TakeEvent(), WindowSize);
  EXPECT_EQ(TakenEventX(), 800);
  EXPECT_EQ(TakenEventY(), 600);
  EXPECT_EQ(TakeEvent(), TimerTick);
  EXPECT_EQ(TakenEventData(), 7);
  EXPECT_EQ(TakeEvent(), GadgetAction);
  EXPECT_EQ(TakenEventData(), 2);
  EXPECT_EQ(TakeEvent(), WindowMove);
  EXPECT_EQ(TakenEventX(), 2);
  EXPECT_EQ(TakeEvent(), KeyDown);
  EXPECT_EQ(QueuedEventCount(), 0);
}

TEST_F(EventQueueTest, TakenTickNoLongerCoalescesWithNewTicks) {
  Ref<TEvent> timer = TEvent::Make(0, nullptr, 0, 0, 0, 0, nullptr);
  Post(TimerTick, timer.Get(), 1);
  ASSERT_EQ(TakeEvent(), TimerTick);
  Post(TimerTick, timer.Get(), 2);
  EXPECT_EQ(TakenEventData(), 1);  // the taken event is not touched
  EXPECT_EQ(QueuedEventCount(), 1);
}

TEST_F(EventQueueTest, FullQueueDropsThe257thEventWhileHooksStillSeeIt) {
  gHookSaw = 0;
  AttachHook(EventDispatchHook, CountKeyDowns, nullptr, 0);
  for (int i = 0; i < 256; ++i) Post(KeyDown, nullptr, i);
  EXPECT_EQ(QueuedEventCount(), 256);
  Post(KeyDown, nullptr, 999);
  EXPECT_EQ(QueuedEventCount(), 256);
  EXPECT_EQ(gHookSaw, 257);
  DetachHook(EventDispatchHook, CountKeyDowns);
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(TakeEvent(), KeyDown);
    ASSERT_EQ(TakenEventData(), i);
  }
  EXPECT_EQ(TakeEvent(), 0);
}

TEST_F(EventQueueTest, FullQueueStillUpdatesACoalescingTwin) {
  Ref<TEvent> timer = TEvent::Make(0, nullptr, 0, 0, 0, 0, nullptr);
  Post(TimerTick, timer.Get(), 1);
  for (int i = 0; i < 255; ++i) Post(MouseMove, nullptr, 0, i, i);
  ASSERT_EQ(QueuedEventCount(), 256);
  Post(TimerTick, timer.Get(), 9);
  ASSERT_EQ(TakeEvent(), TimerTick);
  EXPECT_EQ(TakenEventData(), 9);
}

TEST_F(EventQueueTest, RingWrapsAroundItsSlots) {
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 200; ++i) Post(KeyUp, nullptr, round * 1000 + i);
    for (int i = 0; i < 200; ++i) {
      ASSERT_EQ(TakeEvent(), KeyUp);
      ASSERT_EQ(TakenEventData(), round * 1000 + i);
    }
  }
}

TEST_F(EventQueueTest, EmptyQueuePumpsOnceAndThenGivesTheEmptyEvent) {
  Post(KeyDown, nullptr, 1);
  ASSERT_EQ(TakeEvent(), KeyDown);
  int pumpsBefore = host_->pumps;
  EXPECT_EQ(TakeEvent(), 0);
  EXPECT_EQ(host_->pumps, pumpsBefore + 1);
  EXPECT_EQ(TakenEventId(), 0);
  EXPECT_EQ(TakenEventData(), 0);
  EXPECT_TRUE(TakenEventSender().IsNull());
  EXPECT_TRUE(TakenEventExtra().IsNull());
  EXPECT_EQ(TakenEventSenderHandle(), 0);
  EXPECT_TRUE(TakenEventText().IsEmpty());
  EXPECT_TRUE(PeekQueuedEvent().IsNull());
}

TEST_F(EventQueueTest, NonEmptyQueueTakesWithoutPumping) {
  Post(KeyDown, nullptr, 1);
  int pumpsBefore = host_->pumps;
  EXPECT_EQ(TakeEvent(), KeyDown);
  EXPECT_EQ(host_->pumps, pumpsBefore);
}

TEST_F(EventQueueTest, TakeAndPeekPumpForPendingEvents) {
  host_->pending.push_back(TEvent::Make(KeyChar, nullptr, 'z', 0, 0, 0, nullptr));
  Ref<TEvent> peeked = PeekQueuedEvent();
  ASSERT_TRUE(peeked);
  EXPECT_EQ(peeked->data, 'z');
  EXPECT_EQ(QueuedEventCount(), 1);  // peeking does not take
  EXPECT_EQ(TakeEvent(), KeyChar);
  EXPECT_EQ(TakenEvent().Get(), peeked.Get());
}

TEST_F(EventQueueTest, AwaitEventWaitsThroughThePumpUntilSomethingIsQueued) {
  host_->pending.push_back(TEvent::Make(AppTerminate, nullptr, 0, 0, 0, 0, nullptr));
  EXPECT_EQ(AwaitEvent(), AppTerminate);
  EXPECT_EQ(host_->waits, 1);
}

// Carries the result of a call made inside a hook.
struct ResultBox final : TObject {
  int result = -1;
};

Ref<TObject> AwaitInsideHook(int, TObject* data, TObject* context) {
  TEvent* event = As<TEvent>(data);
  if (event && event->id == AppOpenFile) static_cast<ResultBox*>(context)->result = AwaitEvent();
  return data;
}

TEST_F(EventQueueTest, AwaitEventInsideAPumpDoesNotWaitForEver) {
  Ref<ResultBox> box = new ResultBox();
  AttachHook(EventDispatchHook, AwaitInsideHook, box.Get(), 100);
  host_->pending.push_back(TEvent::Make(AppOpenFile, nullptr, 0, 0, 0, 0, nullptr));
  PumpSystem();
  DetachHook(EventDispatchHook, AwaitInsideHook);
  EXPECT_EQ(box->result, 0);
}

TEST_F(EventQueueTest, QueueHookPassesNonEventsAsNull) {
  // The queue hook is last in the chain, so its result is what CallHooks gives.
  EXPECT_TRUE(CallHooks(EventDispatchHook, "not an event"_s.Body()).IsNull());
  EXPECT_EQ(QueuedEventCount(), 0);
  Ref<TEvent> event = TEvent::Make(KeyDown, nullptr, 0, 0, 0, 0, nullptr);
  EXPECT_EQ(CallHooks(EventDispatchHook, event.Get()).Get(), event.Get());
}

TEST_F(EventQueueTest, SenderHandlesAreGivenOnFirstRequestAndKept) {
  Ref<TEvent> first = TEvent::Make(0, nullptr, 0, 0, 0, 0, nullptr);
  Ref<TEvent> second = TEvent::Make(0, nullptr, 0, 0, 0, 0, nullptr);
  Post(KeyDown, first.Get(), 1);
  Post(KeyDown, second.Get(), 2);
  Post(KeyDown, first.Get(), 3);
  ASSERT_EQ(TakeEvent(), KeyDown);
  int a = TakenEventSenderHandle();
  EXPECT_GT(a, 0);
  EXPECT_EQ(TakenEventSenderHandle(), a);
  ASSERT_EQ(TakeEvent(), KeyDown);
  int b = TakenEventSenderHandle();
  EXPECT_EQ(b, a + 1);
  ASSERT_EQ(TakeEvent(), KeyDown);
  EXPECT_EQ(TakenEventSenderHandle(), a);
  EXPECT_EQ(HandleObject(a).Get(), first.Get());
  EXPECT_EQ(HandleObject(b).Get(), second.Get());
  EXPECT_TRUE(HandleObject(0).IsNull());
  EXPECT_TRUE(HandleObject(b + 1000).IsNull());
  // Handles hold their objects: they survive the program dropping them.
  TObject* raw = second.Get();
  second = nullptr;
  ReclaimMemory();
  EXPECT_EQ(HandleObject(b).Get(), raw);
}

TEST_F(EventQueueTest, ManyHandlesGrowTheTable) {
  std::vector<int> handles;
  for (int i = 0; i < 200; ++i) {
    Ref<TEvent> object = TEvent::Make(i, nullptr, 0, 0, 0, 0, nullptr);
    handles.push_back(ObjectHandle(object.Get()));
  }
  for (int i = 1; i < 200; ++i) EXPECT_EQ(handles[i], handles[i - 1] + 1);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(RefCast<TEvent>(HandleObject(handles[i]))->id, i);
}

}  // namespace
}  // namespace cvx
