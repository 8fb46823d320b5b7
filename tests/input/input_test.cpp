#include "corvex/input/input.h"

#include <gtest/gtest.h>

#include <vector>

#include "corvex/event/event.h"
#include "corvex/system/system.h"
#include "tests/support/scripted_host.h"

namespace cvx {
namespace {

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitInput();
    host_ = new ScriptedHost();
    previous_ = SetHostSystem(host_.Get());
    AutoPumpInput = 1;
    StartInputPolling(nullptr);
  }
  void TearDown() override {
    StopInputPolling();
    AutoPumpInput = 1;
    SetHostSystem(previous_.Get());
  }
  // Dispatches at once, as a window procedure inside the pump would.
  static void Post(int id, int data, int x = 0, int y = 0, TObject* sender = nullptr) {
    PostSystemEvent(id, sender, data, 0, x, y, nullptr);
  }
  Ref<ScriptedHost> host_;
  Ref<THostSystem> previous_;
};

TEST_F(InputTest, PressesBetweenTwoQueriesAreCountedAndTheQueryResetsThem) {
  EXPECT_EQ(KeyPressCount(32), 0);
  for (int i = 0; i < 3; ++i) {
    host_->Line(KeyDown, 32);
    host_->Line(KeyUp, 32);
  }
  EXPECT_EQ(KeyPressCount(32), 3);
  EXPECT_EQ(KeyPressCount(32), 0);
  EXPECT_EQ(KeyIsDown(32), 0);
}

TEST_F(InputTest, ASecondDownWithoutAnUpCountsNoPress) {
  Post(KeyDown, 65);
  Post(KeyDown, 65);
  EXPECT_EQ(KeyIsDown(65), 1);
  EXPECT_EQ(KeyPressCount(65), 1);
  Post(KeyUp, 65);
  EXPECT_EQ(KeyIsDown(65), 0);
  EXPECT_EQ(KeyPressCount(65), 0);  // the up does not touch the count
  // Other keys are independent.
  Post(KeyDown, 160);
  Post(KeyDown, 163);
  EXPECT_EQ(KeyIsDown(160) + KeyIsDown(163), 2);
  EXPECT_EQ(KeyIsDown(16), 0);
}

TEST_F(InputTest, FocusChangesForgetHeldKeysPressesAndButtons) {
  Post(KeyDown, 37);
  Post(MouseDown, 1, 5, 5);
  Post(MouseMove, 0, 40, 30);
  Post(MouseWheel, 2);
  Post(AppSuspend, 0);
  EXPECT_EQ(AppIsSuspended(), 1);
  EXPECT_EQ(KeyIsDown(37), 0);
  EXPECT_EQ(KeyPressCount(37), 0);
  EXPECT_EQ(ButtonIsDown(1), 0);
  EXPECT_EQ(ButtonPressCount(1), 0);
  EXPECT_EQ(PointerWheel(), 0);
  EXPECT_EQ(PointerX(), 40);  // the position is kept
  Post(KeyDown, 38);
  Post(KeyChar, 'x');
  Post(AppResume, 0);
  EXPECT_EQ(AppIsSuspended(), 0);
  EXPECT_EQ(KeyIsDown(38), 0);
  EXPECT_EQ(KeyPressCount(38), 0);
  EXPECT_EQ(NextTypedChar(), 0);
}

TEST_F(InputTest, TypedCharactersQueueUpTo256AndDropTheRest) {
  for (int i = 0; i < 300; ++i) Post(KeyChar, 1000 + i);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(NextTypedChar(), 1000 + i);
  EXPECT_EQ(NextTypedChar(), 0);
  // Reading made room again.
  Post(KeyChar, 'k');
  EXPECT_EQ(NextTypedChar(), 'k');
}

TEST_F(InputTest, TypedCharacterRingWrapsPastItsSize) {
  int next = 1;
  int expected = 1;
  for (int round = 0; round < 5; ++round) {
    for (int i = 0; i < 200; ++i) Post(KeyChar, next++);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(NextTypedChar(), expected++);
  }
  EXPECT_EQ(NextTypedChar(), 0);
  // A full ring after wrapping still keeps exactly 256.
  for (int i = 0; i < 260; ++i) Post(KeyChar, 5000 + i);
  int count = 0;
  while (int ch = NextTypedChar()) {
    EXPECT_EQ(ch, 5000 + count);
    ++count;
  }
  EXPECT_EQ(count, 256);
}

TEST_F(InputTest, ResetKeysEmptiesTheRingAndAlwaysPumps) {
  AutoPumpInput = 0;
  Post(KeyChar, 'a');
  Post(KeyDown, 70);
  host_->Line(KeyDown, 71);  // delivered by ResetKeys' own pump, then cleared
  int pumps = host_->pumps;
  ResetKeys();
  EXPECT_EQ(host_->pumps, pumps + 1);
  EXPECT_EQ(NextTypedChar(), 0);
  EXPECT_EQ(KeyIsDown(70), 0);
  EXPECT_EQ(KeyIsDown(71), 0);
  EXPECT_EQ(KeyPressCount(71), 0);
}

TEST_F(InputTest, WheelAccumulatesAndResetPointerKeepsThePosition) {
  Post(MouseMove, 0, 12, 34);
  Post(MouseWheel, 1);
  Post(MouseWheel, 1);
  Post(MouseWheel, -1);
  EXPECT_EQ(PointerWheel(), 1);
  Post(MouseDown, 2, 12, 34);
  ResetPointer();
  EXPECT_EQ(PointerWheel(), 0);
  EXPECT_EQ(ButtonIsDown(2), 0);
  EXPECT_EQ(ButtonPressCount(2), 0);
  EXPECT_EQ(PointerX(), 12);
  EXPECT_EQ(PointerY(), 34);
}

TEST_F(InputTest, OnlyMovesMoveThePointer) {
  Post(MouseMove, 0, 100, 200);
  Post(MouseDown, 1, 300, 400);
  Post(MouseUp, 1, 310, 410);
  Post(MouseEnter, 0, 500, 600);
  Post(MouseLeave, 0, 700, 800);
  EXPECT_EQ(PointerX(), 100);
  EXPECT_EQ(PointerY(), 200);
  EXPECT_EQ(ButtonPressCount(1), 1);
  EXPECT_EQ(ButtonPressCount(1), 0);
  Post(MouseMove, 0, -3, 900);
  EXPECT_EQ(PointerX(), -3);
  EXPECT_EQ(PointerY(), 900);
}

TEST_F(InputTest, ButtonsAreCountedLikeKeys) {
  Post(MouseDown, 3);
  Post(MouseDown, 3);
  EXPECT_EQ(ButtonIsDown(3), 1);
  Post(MouseUp, 3);
  Post(MouseDown, 3);
  Post(MouseUp, 3);
  EXPECT_EQ(ButtonIsDown(3), 0);
  EXPECT_EQ(ButtonPressCount(3), 2);
  EXPECT_EQ(ButtonPressCount(1) + ButtonPressCount(2), 0);
}

TEST_F(InputTest, WithoutAutoPumpQueriesReturnUnchangedValues) {
  Post(MouseMove, 0, 77, 88);
  AutoPumpInput = 0;
  host_->Line(KeyDown, 32);
  host_->Line(KeyChar, 'c');
  host_->Line(MouseMove, 0, 9, 9);
  host_->Line(MouseDown, 1);
  host_->Line(MouseWheel, 5);
  host_->Line(AppSuspend, 0);
  host_->Line(AppTerminate, 0);
  int pumps = host_->pumps;
  EXPECT_EQ(KeyPressCount(32), 0);
  EXPECT_EQ(KeyIsDown(32), 0);
  EXPECT_EQ(NextTypedChar(), 0);
  EXPECT_EQ(PointerX(), 77);
  EXPECT_EQ(PointerY(), 88);
  EXPECT_EQ(PointerWheel(), 0);
  EXPECT_EQ(ButtonPressCount(1), 0);
  EXPECT_EQ(ButtonIsDown(1), 0);
  EXPECT_EQ(AppIsSuspended(), 0);
  EXPECT_EQ(AppQuitRequested(), 0);
  EXPECT_EQ(host_->pumps, pumps);
  // The program's own pump brings them in.
  PumpSystem();
  EXPECT_EQ(KeyIsDown(32), 0);  // AppSuspend came after the key and cleared it
  EXPECT_EQ(AppIsSuspended(), 1);
  EXPECT_EQ(AppQuitRequested(), 1);
}

TEST_F(InputTest, QuitRequestIsClearedByReadingIt) {
  Post(AppTerminate, 0);
  EXPECT_EQ(AppQuitRequested(), 1);
  EXPECT_EQ(AppQuitRequested(), 0);
}

TEST_F(InputTest, QueriesOutsideTheTablesReadZero) {
  Post(KeyDown, 300);
  Post(KeyDown, -1);
  Post(MouseDown, 4);
  EXPECT_EQ(KeyIsDown(300), 0);
  EXPECT_EQ(KeyPressCount(-1), 0);
  EXPECT_EQ(ButtonIsDown(4), 0);
  EXPECT_EQ(ButtonPressCount(-2), 0);
  EXPECT_EQ(KeyIsDown(255), 0);
}

TEST_F(InputTest, SenderFilterTakesOnlyTheChosenSender) {
  StopInputPolling();
  Ref<TEvent> mine = TEvent::Make(0, nullptr, 0, 0, 0, 0, nullptr);
  Ref<TEvent> other = TEvent::Make(0, nullptr, 0, 0, 0, 0, nullptr);
  StartInputPolling(mine.Get());
  Post(KeyDown, 1, 0, 0, other.Get());
  Post(KeyDown, 2, 0, 0, nullptr);
  Post(KeyDown, 3, 0, 0, mine.Get());
  EXPECT_EQ(KeyIsDown(1), 0);
  EXPECT_EQ(KeyIsDown(2), 0);
  EXPECT_EQ(KeyIsDown(3), 1);
  // Starting again while started changes nothing, not even the filter.
  StartInputPolling(nullptr);
  Post(KeyDown, 4, 0, 0, other.Get());
  EXPECT_EQ(KeyIsDown(4), 0);
}

TEST_F(InputTest, StoppingDetachesTheHookAndForgetsEverything) {
  Post(KeyDown, 50);
  Post(MouseWheel, 3);
  StopInputPolling();
  EXPECT_EQ(InputPollingStarted(), 0);
  EXPECT_EQ(KeyIsDown(50), 0);
  EXPECT_EQ(PointerWheel(), 0);
  Post(KeyDown, 51);
  EXPECT_EQ(KeyIsDown(51), 0);
  StopInputPolling();  // harmless when stopped
  StartInputPolling(nullptr);
  EXPECT_EQ(InputPollingStarted(), 1);
  Post(KeyDown, 51);
  EXPECT_EQ(KeyIsDown(51), 1);
}

Ref<TObject> gAfterInput;
Ref<TObject> SeeAfterInput(int, TObject* data, TObject*) {
  gAfterInput = data;
  return data;
}

TEST_F(InputTest, TheHookPassesEveryEventOnUnchanged) {
  AttachHook(EventDispatchHook, SeeAfterInput, nullptr, -1);
  Ref<TEvent> event = TEvent::Make(KeyDown, nullptr, 90, 0, 0, 0, nullptr);
  event->Dispatch();
  EXPECT_EQ(gAfterInput.Get(), event.Get());
  EXPECT_EQ(CallHooks(EventDispatchHook, "text"_s.Body()).Get(), "text"_s.Body());
  DetachHook(EventDispatchHook, SeeAfterInput);
  gAfterInput = nullptr;
}

Ref<TObject> QueryInsideHook(int, TObject* data, TObject*) {
  if (TEvent* event = As<TEvent>(data); event && event->id == KeyUp) {
    // Inside the pump the query reads the current state.
    EXPECT_EQ(KeyIsDown(event->data), 0);
    EXPECT_EQ(PumpIsBusy(), 1);
  }
  return data;
}

TEST_F(InputTest, QueriesInsideAHookReadTheCurrentState) {
  AttachHook(EventDispatchHook, QueryInsideHook, nullptr, -5);
  host_->Line(KeyDown, 33);
  host_->Line(KeyUp, 33);
  host_->Line(KeyDown, 34);
  PumpSystem();
  DetachHook(EventDispatchHook, QueryInsideHook);
  EXPECT_EQ(KeyIsDown(34), 1);
}

TEST_F(InputTest, WaitsReturnTheFirstPressAfterTheirReset) {
  Post(KeyDown, 20);  // forgotten by the wait's reset
  host_->onWait.push_back(TEvent::Make(KeyChar, nullptr, 'w', 0, 0, 0, nullptr));
  host_->onWait.push_back(TEvent::Make(KeyDown, nullptr, 90, 0, 0, 0, nullptr));
  EXPECT_EQ(WaitAnyKey(), 90);
  EXPECT_EQ(host_->waits, 2);
  host_->onWait.push_back(TEvent::Make(KeyDown, nullptr, 13, 0, 0, 0, nullptr));
  host_->onWait.push_back(TEvent::Make(KeyChar, nullptr, 'q', 0, 0, 0, nullptr));
  EXPECT_EQ(WaitTypedChar(), 'q');
  host_->onWait.push_back(TEvent::Make(MouseDown, nullptr, 3, 0, 0, 0, nullptr));
  EXPECT_EQ(WaitAnyButton(), 3);
}

TEST_F(InputTest, WaitAnyKeyGivesTheLowestOfSeveralCodes) {
  host_->onWait.push_back(TEvent::Make(KeyDown, nullptr, 200, 0, 0, 0, nullptr));
  host_->pending.clear();
  // Two keys in one wait: a scripted pump with both.
  struct Both {
    static Ref<TObject> Add(int, TObject* data, TObject*) {
      if (TEvent* e = As<TEvent>(data); e && e->id == KeyDown && e->data == 200)
        PostSystemEvent(KeyDown, nullptr, 7, 0, 0, 0, nullptr);
      return data;
    }
  };
  AttachHook(EventDispatchHook, Both::Add, nullptr, 10);
  EXPECT_EQ(WaitAnyKey(), 7);
  DetachHook(EventDispatchHook, Both::Add);
  EXPECT_EQ(KeyPressCount(200), 1);  // the other press is still there
}

int gWaitResult = -1;
Ref<TObject> WaitInsideHook(int, TObject* data, TObject*) {
  if (TEvent* event = As<TEvent>(data); event && event->id == AppOpenFile) gWaitResult = WaitAnyKey();
  return data;
}

TEST_F(InputTest, WaitingInsideAPumpReturnsAtOnce) {
  AttachHook(EventDispatchHook, WaitInsideHook, nullptr, 10);
  host_->Line(AppOpenFile, 0);
  PumpSystem();
  DetachHook(EventDispatchHook, WaitInsideHook);
  EXPECT_EQ(gWaitResult, 0);
}

}  // namespace
}  // namespace cvx
