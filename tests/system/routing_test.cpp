#include <gtest/gtest.h>

#include "corvex/platform/sdl/sdlevents.h"
#include "tests/system/sdl_test_support.h"

namespace cvx {
namespace {

using namespace testing_support;

std::vector<Uint32> gWindowProcCalls;
int RecordingWindowProc(const SDL_Event& event) {
  gWindowProcCalls.push_back(EventWindowId(event));
  return 0;
}

int TranslatingWindowProc(const SDL_Event& event) {
  TranslateWindowMessage(event, nullptr);
  return 1;
}

std::vector<Sint32> gTypeProcCodes;
void RecordingTypeProc(const SDL_Event& event) { gTypeProcCodes.push_back(event.user.code); }

class RoutingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitSystem();
    // Whatever SDL has pending from earlier tests is not ours.
    host_ = CurrentHostSystem();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    gWindowProcCalls.clear();
    gTypeProcCodes.clear();
  }
  void TearDown() override {
    UnregisterWindowProcedure(kWindow);
    UnregisterWindowProcedure(kOtherWindow);
  }
  static constexpr Uint32 kWindow = 7001;  // ids no real window has
  static constexpr Uint32 kOtherWindow = 7002;
  Ref<THostSystem> host_;
};

TEST_F(RoutingTest, EventsGoToTheProcedureOfTheirWindowOnly) {
  RegisterWindowProcedure(kWindow, RecordingWindowProc);
  EXPECT_EQ(FindWindowProcedure(kWindow), &RecordingWindowProc);
  EXPECT_EQ(FindWindowProcedure(kOtherWindow), nullptr);
  DeliverSystemEvent(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_A, 0, kWindow));
  DeliverSystemEvent(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_A, 0, kOtherWindow));  // a foreign window: dropped
  DeliverSystemEvent(MotionEvent(kWindow, 1, 1));
  EXPECT_EQ(gWindowProcCalls, (std::vector<Uint32>{kWindow, kWindow}));
  UnregisterWindowProcedure(kWindow);
  DeliverSystemEvent(MotionEvent(kWindow, 1, 1));
  EXPECT_EQ(gWindowProcCalls.size(), 2u);
  RegisterWindowProcedure(kWindow, RecordingWindowProc);
  RegisterWindowProcedure(kWindow, nullptr);  // null removes
  EXPECT_EQ(FindWindowProcedure(kWindow), nullptr);
}

TEST_F(RoutingTest, WindowLessEventsGoToTheProcedureOfTheirType) {
  Uint32 type = SDL_RegisterEvents(1);
  ASSERT_NE(type, static_cast<Uint32>(-1));
  SDL_Event event{};
  event.type = type;
  event.user.code = 42;
  DeliverSystemEvent(event);  // nothing registered yet
  RegisterSystemEventProcedure(type, RecordingTypeProc);
  DeliverSystemEvent(event);
  event.user.windowID = kWindow;  // a user event naming a window goes to that window
  RegisterWindowProcedure(kWindow, RecordingWindowProc);
  DeliverSystemEvent(event);
  RegisterSystemEventProcedure(type, nullptr);
  event.user.windowID = 0;
  DeliverSystemEvent(event);
  EXPECT_EQ(gTypeProcCodes, (std::vector<Sint32>{42}));
  EXPECT_EQ(gWindowProcCalls, (std::vector<Uint32>{kWindow}));
}

TEST_F(RoutingTest, ThePumpEmptiesSdlsQueueThroughTheProcedures) {
  Uint32 type = SDL_RegisterEvents(1);
  RegisterSystemEventProcedure(type, RecordingTypeProc);
  RegisterWindowProcedure(kWindow, TranslatingWindowProc);
  EventRecorder recorder;
  for (int i = 1; i <= 3; ++i) {
    SDL_Event user{};
    user.type = type;
    user.user.code = i;
    ASSERT_EQ(SDL_PushEvent(&user), 1);
  }
  SDL_Event key = KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE, 0, kWindow);
  ASSERT_EQ(SDL_PushEvent(&key), 1);
  PumpSystem();
  EXPECT_EQ(gTypeProcCodes, (std::vector<Sint32>{1, 2, 3}));
  ASSERT_EQ(recorder.Ids(), (std::vector<int>{KeyDown, KeyChar}));
  EXPECT_EQ(recorder.events[0]->data, 27);
  SDL_Event left;
  EXPECT_EQ(SDL_PeepEvents(&left, 1, SDL_PEEKEVENT, type, type), 0);
  RegisterSystemEventProcedure(type, nullptr);
}

TEST_F(RoutingTest, PumpWaitReturnsOnceAnEventHasArrived) {
  Uint32 type = SDL_RegisterEvents(1);
  RegisterSystemEventProcedure(type, RecordingTypeProc);
  SDL_Event user{};
  user.type = type;
  user.user.code = 9;
  SDL_PushEvent(&user);
  PumpSystemWait();
  EXPECT_EQ(gTypeProcCodes, (std::vector<Sint32>{9}));
  RegisterSystemEventProcedure(type, nullptr);
}

TEST(EventWindowIds, EachKindNamesItsWindowOrNone) {
  EXPECT_EQ(EventWindowId(KeyEvent(SDL_KEYUP, SDL_SCANCODE_A, 0, 11)), 11u);
  EXPECT_EQ(EventWindowId(MotionEvent(12, 0, 0)), 12u);
  EXPECT_EQ(EventWindowId(ButtonEvent(SDL_MOUSEBUTTONUP, 1, 13, 0, 0)), 13u);
  EXPECT_EQ(EventWindowId(WindowEvent(SDL_WINDOWEVENT_CLOSE, 14)), 14u);
  EXPECT_EQ(EventWindowId(WheelEvent(15, 1, 1.0f)), 15u);
  EXPECT_EQ(EventWindowId(TextEvent(16, "x")), 16u);
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  EXPECT_EQ(EventWindowId(quit), 0u);
}

}  // namespace
}  // namespace cvx
