#include <gtest/gtest.h>

#include "corvex/platform/sdl/sdlevents.h"
#include "tests/system/sdl_test_support.h"

namespace cvx {
namespace {

using namespace testing_support;

// Two dummy windows side by side: A at (100, 50) and B at (400, 50), each
// 200 x 150.
class TranslateTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    StartDummyVideo();
    windowA_ = SDL_CreateWindow("A", 100, 50, 200, 150, SDL_WINDOW_HIDDEN);
    windowB_ = SDL_CreateWindow("B", 400, 50, 200, 150, SDL_WINDOW_HIDDEN);
    ASSERT_NE(windowA_, nullptr) << SDL_GetError();
    ASSERT_NE(windowB_, nullptr) << SDL_GetError();
  }
  static void TearDownTestSuite() {
    SDL_DestroyWindow(windowA_);
    SDL_DestroyWindow(windowB_);
  }
  void SetUp() override {
    a_ = SDL_GetWindowID(windowA_);
    b_ = SDL_GetWindowID(windowB_);
    ForgetPointerWindow(TrackedPointerWindow());
    ModifierMask = 0;
  }

  void Translate(const SDL_Event& event, TObject* sender = nullptr) { TranslateWindowMessage(event, sender); }

  static SDL_Window* windowA_;
  static SDL_Window* windowB_;
  Uint32 a_ = 0;
  Uint32 b_ = 0;
  EventRecorder recorder_;
};
SDL_Window* TranslateTest::windowA_ = nullptr;
SDL_Window* TranslateTest::windowB_ = nullptr;

void ExpectEvent(const Ref<TEvent>& event, int id, int data, int mods, int x = 0, int y = 0) {
  ASSERT_TRUE(event);
  EXPECT_EQ(event->id, id) << event->ToString().ToStd();
  EXPECT_EQ(event->data, data) << event->ToString().ToStd();
  EXPECT_EQ(event->mods, mods) << event->ToString().ToStd();
  EXPECT_EQ(event->x, x) << event->ToString().ToStd();
  EXPECT_EQ(event->y, y) << event->ToString().ToStd();
  EXPECT_TRUE(event->extra.IsNull());
}

TEST_F(TranslateTest, SideSpecificModifierKeysCarryTheirCodeAndMask) {
  struct Case {
    SDL_Scancode scancode;
    Uint16 mod;
    int code;
    int mask;
  };
  const Case cases[] = {{SDL_SCANCODE_LSHIFT, KMOD_LSHIFT, 160, 1}, {SDL_SCANCODE_RSHIFT, KMOD_RSHIFT, 161, 1},
                        {SDL_SCANCODE_LCTRL, KMOD_LCTRL, 162, 2},   {SDL_SCANCODE_RCTRL, KMOD_RCTRL, 163, 2},
                        {SDL_SCANCODE_LALT, KMOD_LALT, 164, 4},     {SDL_SCANCODE_RALT, KMOD_RALT, 165, 4},
                        {SDL_SCANCODE_LGUI, KMOD_LGUI, 91, 8},      {SDL_SCANCODE_RGUI, KMOD_RGUI, 92, 8}};
  for (const Case& c : cases) {
    recorder_.Clear();
    Translate(KeyEvent(SDL_KEYDOWN, c.scancode, c.mod, a_));
    Translate(KeyEvent(SDL_KEYUP, c.scancode, KMOD_NONE, a_));
    ASSERT_EQ(recorder_.events.size(), 2u) << c.code;
    ExpectEvent(recorder_.events[0], KeyDown, c.code, c.mask);
    ExpectEvent(recorder_.events[1], KeyUp, c.code, 0);
  }
}

TEST_F(TranslateTest, ModifiersHeldTogetherAddUpAndStayOnOtherKeys) {
  Translate(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_A, KMOD_LSHIFT | KMOD_RCTRL | KMOD_LALT | KMOD_NUM, a_));
  ASSERT_EQ(recorder_.events.size(), 1u);
  ExpectEvent(recorder_.events[0], KeyDown, 'A', 7);
  EXPECT_EQ(ModifierMask, 7);
  // Later events of other kinds carry the mask of the last key event.
  Translate(ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, a_, 3, 4));
  ExpectEvent(recorder_.events.back(), MouseDown, 1, 7, 3, 4);
}

TEST_F(TranslateTest, RepeatedKeyDownsAreDroppedAndUnmappedKeysProduceNothing) {
  Translate(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_SPACE, 0, a_));
  Translate(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_SPACE, 0, a_, 1));
  Translate(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_SPACE, 0, a_, 1));
  Translate(KeyEvent(SDL_KEYUP, SDL_SCANCODE_SPACE, 0, a_));
  Translate(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_INTERNATIONAL1, 0, a_));
  Translate(KeyEvent(SDL_KEYUP, SDL_SCANCODE_INTERNATIONAL1, 0, a_));
  Translate(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_UNKNOWN, 0, a_));
  ASSERT_EQ(recorder_.events.size(), 2u);
  ExpectEvent(recorder_.events[0], KeyDown, 32, 0);
  ExpectEvent(recorder_.events[1], KeyUp, 32, 0);
}

TEST_F(TranslateTest, ControlKeysTypeTheirCharactersIncludingRepeats) {
  Translate(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE, 0, a_));
  ASSERT_EQ(recorder_.Ids(), (std::vector<int>{KeyDown, KeyChar}));
  ExpectEvent(recorder_.events[1], KeyChar, 27, 0);
  recorder_.Clear();
  Translate(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_BACKSPACE, 0, a_));
  Translate(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_BACKSPACE, 0, a_, 1));
  EXPECT_EQ(recorder_.Ids(), (std::vector<int>{KeyDown, KeyChar, KeyChar}));
  recorder_.Clear();
  Translate(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_KP_ENTER, KMOD_LSHIFT, a_));
  Translate(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_TAB, 0, a_));
  ASSERT_EQ(recorder_.events.size(), 4u);
  ExpectEvent(recorder_.events[0], KeyDown, 13, 1);
  ExpectEvent(recorder_.events[1], KeyChar, 13, 1);
  ExpectEvent(recorder_.events[3], KeyChar, 9, 0);
  // With Control or Alt held they type nothing; plain letters come from text input.
  recorder_.Clear();
  Translate(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_RETURN, KMOD_LCTRL, a_));
  Translate(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE, KMOD_RALT, a_));
  Translate(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_Q, 0, a_));
  EXPECT_EQ(recorder_.Ids(), (std::vector<int>{KeyDown, KeyDown, KeyDown}));
}

TEST_F(TranslateTest, TextInputGivesOneKeyCharPerUtf16Unit) {
  Translate(TextEvent(a_, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"));  // a, e acute, euro, a face beyond the BMP
  ASSERT_EQ(recorder_.events.size(), 5u);
  const int units[] = {'a', 0xE9, 0x20AC, 0xD83D, 0xDE00};
  for (int i = 0; i < 5; ++i) ExpectEvent(recorder_.events[i], KeyChar, units[i], 0);
}

TEST_F(TranslateTest, ButtonsAreNumberedLeftRightMiddleAndCarryThePosition) {
  Translate(ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, a_, 10, 20));
  Translate(ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, a_, 11, 21));
  Translate(ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, a_, -5, 300));
  Translate(ButtonEvent(SDL_MOUSEBUTTONUP, SDL_BUTTON_MIDDLE, a_, 12, 22));
  Translate(ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_X1, a_, 0, 0));
  Translate(ButtonEvent(SDL_MOUSEBUTTONUP, SDL_BUTTON_X2, a_, 0, 0));
  ASSERT_EQ(recorder_.events.size(), 4u);
  ExpectEvent(recorder_.events[0], MouseDown, 1, 0, 10, 20);
  ExpectEvent(recorder_.events[1], MouseDown, 2, 0, 11, 21);
  ExpectEvent(recorder_.events[2], MouseDown, 3, 0, -5, 300);
  ExpectEvent(recorder_.events[3], MouseUp, 3, 0, 12, 22);
}

TEST_F(TranslateTest, WheelStepsAreSignedAndHalfANotchGivesZero) {
  Translate(WheelEvent(a_, 1, 1.0f));
  Translate(WheelEvent(a_, -1, -1.0f));
  Translate(WheelEvent(a_, 0, 0.5f));
  Translate(WheelEvent(a_, 2, 2.0f, SDL_MOUSEWHEEL_FLIPPED));
  Translate(WheelEvent(a_, 0, 0.0f, SDL_MOUSEWHEEL_NORMAL, 3));  // horizontal only: nothing
  ASSERT_EQ(recorder_.events.size(), 4u);
  ExpectEvent(recorder_.events[0], MouseWheel, 1, 0);
  ExpectEvent(recorder_.events[1], MouseWheel, -1, 0);
  ExpectEvent(recorder_.events[2], MouseWheel, 0, 0);
  ExpectEvent(recorder_.events[3], MouseWheel, -2, 0);
}

TEST_F(TranslateTest, WindowEventsBecomeApplicationEvents) {
  Translate(WindowEvent(SDL_WINDOWEVENT_CLOSE, a_));
  Translate(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST, a_));
  Translate(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED, a_));
  Translate(WindowEvent(SDL_WINDOWEVENT_MOVED, a_));
  Translate(WindowEvent(SDL_WINDOWEVENT_EXPOSED, a_));
  EXPECT_EQ(recorder_.Ids(), (std::vector<int>{AppTerminate, AppSuspend, AppResume}));
}

int IgnoreEvent(const SDL_Event&) { return 1; }

// Focus moving between two windows of the program is not the application
// losing the user's attention; focus leaving for a foreign window is.
TEST_F(TranslateTest, FocusMovingBetweenOwnWindowsIsNeitherSuspendNorResume) {
  RegisterWindowProcedure(a_, IgnoreEvent);
  RegisterWindowProcedure(b_, IgnoreEvent);
  SDL_FlushEvent(SDL_WINDOWEVENT);
  SDL_Event gained = WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED, b_);
  ASSERT_EQ(SDL_PushEvent(&gained), 1) << SDL_GetError();
  Translate(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST, a_));
  SDL_FlushEvent(SDL_WINDOWEVENT);
  Translate(gained);
  EXPECT_TRUE(recorder_.Ids().empty());

  // Then to a window that is not the program's: a suspension, and back.
  Translate(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST, b_));
  Translate(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED, a_));
  EXPECT_EQ(recorder_.Ids(), (std::vector<int>{AppSuspend, AppResume}));
  UnregisterWindowProcedure(a_);
  UnregisterWindowProcedure(b_);
}

TEST_F(TranslateTest, EventsNameTheGivenSender) {
  Ref<TEvent> sender = TEvent::Make(0, nullptr, 0, 0, 0, 0, nullptr);
  Translate(KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_B, 0, a_), sender.Get());
  Translate(WindowEvent(SDL_WINDOWEVENT_CLOSE, a_), sender.Get());
  ASSERT_EQ(recorder_.events.size(), 2u);
  EXPECT_EQ(recorder_.events[0]->sender.Get(), sender.Get());
  EXPECT_EQ(recorder_.events[1]->sender.Get(), sender.Get());
}

TEST_F(TranslateTest, MoveIntoTheClientAreaGivesEnterBeforeMoveAndOnlyOnce) {
  ModifierMask = 1;  // enter and leave carry no modifiers, the move does
  Translate(MotionEvent(a_, 10, 20));
  Translate(MotionEvent(a_, 11, 21));
  ASSERT_EQ(recorder_.Ids(), (std::vector<int>{MouseEnter, MouseMove, MouseMove}));
  ExpectEvent(recorder_.events[0], MouseEnter, 0, 0, 10, 20);
  ExpectEvent(recorder_.events[1], MouseMove, 0, 1, 10, 20);
  ExpectEvent(recorder_.events[2], MouseMove, 0, 1, 11, 21);
  EXPECT_EQ(TrackedPointerWindow(), a_);
}

TEST_F(TranslateTest, CapturedMoveOutOfTheWindowGivesLeaveThenTheOutsideMove) {
  Ref<TEvent> entrySender = TEvent::Make(0, nullptr, 0, 0, 0, 0, nullptr);
  Translate(MotionEvent(a_, 199, 149), entrySender.Get());  // the last pixel is inside
  recorder_.Clear();
  Translate(MotionEvent(a_, 250, 30));
  ASSERT_EQ(recorder_.Ids(), (std::vector<int>{MouseLeave, MouseMove}));
  ExpectEvent(recorder_.events[0], MouseLeave, 0, 0, 250, 30);
  // The leave names the sender recorded when the pointer entered.
  EXPECT_EQ(recorder_.events[0]->sender.Get(), entrySender.Get());
  ExpectEvent(recorder_.events[1], MouseMove, 0, 0, 250, 30);
  EXPECT_EQ(TrackedPointerWindow(), 0u);
  // Further outside moves give no more leaves; coming back gives an enter.
  recorder_.Clear();
  Translate(MotionEvent(a_, 200, 10));
  Translate(MotionEvent(a_, -1, 10));
  Translate(MotionEvent(a_, 0, 0));
  EXPECT_EQ(recorder_.Ids(), (std::vector<int>{MouseMove, MouseMove, MouseEnter, MouseMove}));
}

TEST_F(TranslateTest, MovingFromOneWindowToAnotherLeavesTheFirstInItsOwnCoordinates) {
  Translate(MotionEvent(a_, 5, 5));
  recorder_.Clear();
  Translate(MotionEvent(b_, 5, 6));  // screen (405, 56) = (305, 6) in A
  ASSERT_EQ(recorder_.Ids(), (std::vector<int>{MouseLeave, MouseEnter, MouseMove}));
  ExpectEvent(recorder_.events[0], MouseLeave, 0, 0, 305, 6);
  ExpectEvent(recorder_.events[1], MouseEnter, 0, 0, 5, 6);
  EXPECT_EQ(TrackedPointerWindow(), b_);
}

TEST_F(TranslateTest, LeaveNotificationCountsOnlyForTheTrackedWindow) {
  Translate(MotionEvent(a_, 5, 5));
  recorder_.Clear();
  Translate(WindowEvent(SDL_WINDOWEVENT_LEAVE, b_));
  EXPECT_TRUE(recorder_.events.empty());
  Translate(WindowEvent(SDL_WINDOWEVENT_ENTER, a_));
  EXPECT_TRUE(recorder_.events.empty());
  Translate(WindowEvent(SDL_WINDOWEVENT_LEAVE, a_));
  ASSERT_EQ(recorder_.Ids(), (std::vector<int>{MouseLeave}));
  EXPECT_EQ(recorder_.events[0]->mods, 0);
  EXPECT_EQ(TrackedPointerWindow(), 0u);
  Translate(WindowEvent(SDL_WINDOWEVENT_LEAVE, a_));
  EXPECT_EQ(recorder_.events.size(), 1u);
}

TEST_F(TranslateTest, ForgettingTheTrackedWindowGivesNoLeave) {
  Translate(MotionEvent(a_, 5, 5));
  recorder_.Clear();
  UnregisterWindowProcedure(a_);  // what a closing window does
  EXPECT_EQ(TrackedPointerWindow(), 0u);
  Translate(MotionEvent(b_, 1, 1));
  EXPECT_EQ(recorder_.Ids(), (std::vector<int>{MouseEnter, MouseMove}));
}

TEST_F(TranslateTest, TrackPointerWindowDirectly) {
  TrackPointerWindow(a_, 7, 8, nullptr);
  TrackPointerWindow(a_, 9, 9, nullptr);
  ASSERT_EQ(recorder_.Ids(), (std::vector<int>{MouseEnter}));
  ExpectEvent(recorder_.events[0], MouseEnter, 0, 0, 7, 8);
  TrackPointerWindow(0, 0, 0, nullptr);
  EXPECT_EQ(recorder_.Ids(), (std::vector<int>{MouseEnter, MouseLeave}));
  TrackPointerWindow(0, 0, 0, nullptr);
  EXPECT_EQ(recorder_.events.size(), 2u);
}

TEST(ModifierMask, SdlModifierStatesMapToTheFourBits) {
  EXPECT_EQ(ModifierMaskOf(KMOD_NONE), 0);
  EXPECT_EQ(ModifierMaskOf(KMOD_RSHIFT), 1);
  EXPECT_EQ(ModifierMaskOf(KMOD_LCTRL | KMOD_RCTRL), 2);
  EXPECT_EQ(ModifierMaskOf(KMOD_RALT), 4);
  EXPECT_EQ(ModifierMaskOf(KMOD_LGUI), 8);
  EXPECT_EQ(ModifierMaskOf(KMOD_SHIFT | KMOD_CTRL | KMOD_ALT | KMOD_GUI | KMOD_CAPS | KMOD_NUM | KMOD_MODE), 15);
  SDL_SetModState(static_cast<SDL_Keymod>(KMOD_LSHIFT | KMOD_RALT));
  RefreshModifiers();
  EXPECT_EQ(ModifierMask, 5);
  SDL_SetModState(KMOD_NONE);
  RefreshModifiers();
  EXPECT_EQ(ModifierMask, 0);
}

}  // namespace
}  // namespace cvx
