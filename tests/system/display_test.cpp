// The whole road from the X server to polled input: a plain SDL window whose
// procedure translates its events, real key presses and pointer moves made
// with xdotool, read back through the polled-input queries.
#include <gtest/gtest.h>
// After GoogleTest: X11's headers define macros (None, Bool ...) that clash with its names.
#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdlib>
#include <string>

#include "corvex/input/input.h"
#include "corvex/runtime/startup.h"
#include "corvex/system/sdlhost.h"

namespace cvx {
namespace {

int PlainWindowProc(const SDL_Event& event) {
  TranslateWindowMessage(event, nullptr);
  return 1;
}

// Polls (through the queries' own pumping) until the condition holds or the
// time is up.
template <class Condition>
bool Eventually(Condition condition, Uint32 timeoutMs = 5000) {
  Uint32 start = SDL_GetTicks();
  while (!condition()) {
    if (SDL_GetTicks() - start > timeoutMs) return false;
    SDL_Delay(10);
  }
  return true;
}

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

class DisplayInput : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitInput();
    if (!std::getenv("DISPLAY") || !Shell("command -v xdotool >/dev/null 2>&1")) return;
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
    window_ = SDL_CreateWindow("Corvex input test", 40, 40, 320, 240, SDL_WINDOW_SHOWN);
    if (!window_) return;
    RegisterWindowProcedure(SDL_GetWindowID(window_), PlainWindowProc);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window_, &info) && info.subsystem == SDL_SYSWM_X11)
      xid_ = std::to_string(static_cast<unsigned long>(info.info.x11.window));
  }
  static void TearDownTestSuite() {
    StopInputPolling();
    if (window_) {
      UnregisterWindowProcedure(SDL_GetWindowID(window_));
      SDL_DestroyWindow(window_);
      window_ = nullptr;
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  void SetUp() override {
    if (!window_ || xid_.empty()) GTEST_SKIP() << "no X display with xdotool";
    StartInputPolling(nullptr);
    // Without a window manager nobody hands out the focus: ask for it.
    SDL_RaiseWindow(window_);
    ASSERT_TRUE(Eventually([] {
      PumpSystem();
      if (SDL_GetKeyboardFocus() == window_) return true;
      Shell("xdotool windowfocus " + xid_ + " >/dev/null 2>&1");
      return false;
    })) << "the test window never got the keyboard focus";
    ResetKeys();
    ResetPointer();
  }

  static SDL_Window* window_;
  static std::string xid_;
};
SDL_Window* DisplayInput::window_ = nullptr;
std::string DisplayInput::xid_;

TEST_F(DisplayInput, KeyPressesAreCountedAndTyped) {
  ASSERT_TRUE(Shell("xdotool key --delay 20 a a a"));
  int presses = 0;
  EXPECT_TRUE(Eventually([&] {
    presses += KeyPressCount('A');
    return presses >= 3;
  }));
  EXPECT_EQ(presses, 3);
  EXPECT_EQ(KeyIsDown('A'), 0);
  // The text input of the same presses.
  std::string typed;
  EXPECT_TRUE(Eventually([&] {
    while (int ch = NextTypedChar()) typed += static_cast<char>(ch);
    return typed.size() >= 3;
  }));
  EXPECT_EQ(typed, "aaa");
  ASSERT_TRUE(Shell("xdotool key Escape"));
  EXPECT_TRUE(Eventually([] { return KeyPressCount(27) == 1; }));
}

TEST_F(DisplayInput, HeldKeysReadAsDownWithTheirSideSpecificCodes) {
  ASSERT_TRUE(Shell("xdotool keydown shift"));
  EXPECT_TRUE(Eventually([] { return KeyIsDown(160) == 1; }));
  EXPECT_EQ(KeyIsDown(16), 0);
  ASSERT_TRUE(Shell("xdotool keydown Control_R"));
  EXPECT_TRUE(Eventually([] { return KeyIsDown(163) == 1; }));
  ASSERT_TRUE(Shell("xdotool keyup Control_R keyup shift"));
  EXPECT_TRUE(Eventually([] { return KeyIsDown(160) == 0 && KeyIsDown(163) == 0; }));
  EXPECT_EQ(KeyPressCount(160), 1);
  EXPECT_EQ(KeyPressCount(163), 1);
}

TEST_F(DisplayInput, PointerMovesAndClicksArriveInClientCoordinates) {
  ASSERT_TRUE(Shell("xdotool mousemove --window " + xid_ + " 30 45"));
  EXPECT_TRUE(Eventually([] { return PointerX() == 30 && PointerY() == 45; })) << PointerX() << "," << PointerY();
  ASSERT_TRUE(Shell("xdotool mousemove --window " + xid_ + " 250 180"));
  EXPECT_TRUE(Eventually([] { return PointerX() == 250 && PointerY() == 180; })) << PointerX() << "," << PointerY();
  ASSERT_TRUE(Shell("xdotool click 1"));
  int clicks = 0;
  EXPECT_TRUE(Eventually([&] {
    clicks += ButtonPressCount(1);
    return clicks >= 1 && ButtonIsDown(1) == 0;
  }));
  EXPECT_EQ(clicks, 1);
  // The click did not move the pointer.
  EXPECT_EQ(PointerX(), 250);
  EXPECT_EQ(PointerY(), 180);
}

TEST_F(DisplayInput, WarpPointerMovesToAClientPositionOfTheActiveWindow) {
  WarpPointer(60, 70);
  EXPECT_TRUE(Eventually([] { return PointerX() == 60 && PointerY() == 70; })) << PointerX() << "," << PointerY();
}

// Answers the message box that is about to open: waits (up to 10 s) for a
// window with the application title, focuses it and presses the key. The
// box's name is UTF-8 text, which xdotool's name search does not read, so
// the window is found in xwininfo's tree.
void AnswerBoxWith(const char* key) {
  std::string command = "(for i in $(seq 200); do w=$(xwininfo -root -tree | awk '/\"" + AppTitle().ToStd() +
                        "\"/ {print $1; exit}'); if [ -n \"$w\" ]; then xdotool windowfocus --sync $w key " + key +
                        " && exit; fi; sleep 0.05; done) >/dev/null 2>&1 &";
  Shell(command);
}

TEST_F(DisplayInput, MessageBoxesAnswerWithTheirButtons) {
  AnswerBoxWith("Escape");
  EXPECT_EQ(ProceedBox("Proceed?", 1), -1);
  AnswerBoxWith("Return");
  EXPECT_EQ(ProceedBox("Proceed?", 0), 1);
  AnswerBoxWith("Return");
  EXPECT_EQ(ConfirmBox("Confirm?", 0), 1);
  AnswerBoxWith("Escape");
  EXPECT_EQ(ConfirmBox("Confirm?", 1), 0);
  AnswerBoxWith("Return");
  AlertBox("Done", 0);
}

}  // namespace
}  // namespace cvx
