// The whole road from the X server to polled input: a plain SDL window whose
// procedure translates its events, real key presses and pointer moves made
// with xdotool, read back through the polled-input queries.
#include <gtest/gtest.h>
// After GoogleTest: X11's headers define macros (None, Bool ...) that clash with its names.
#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "corvex/input/input.h"
#include "corvex/platform/sdl/sdlevents.h"
#include "corvex/runtime/log.h"
#include "corvex/runtime/startup.h"
#include "corvex/system/system.h"

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

// Answers the message box that is about to open, from a background shell:
// waits (up to 10 s) for a window with the application title, then focuses
// it and presses the key again every 0.2 s until that window is gone, since
// a key sent while the box is still being mapped is lost. The box's name is
// UTF-8 text, which xdotool's name search does not read, so the window is
// found in xwininfo's tree. Finished() waits for the shell, so the next
// box's answer can never land on this box's closing window.
class BoxAnswer {
 public:
  explicit BoxAnswer(const char* key) : done_(::testing::TempDir() + "corvex-box-answered") {
    std::remove(done_.c_str());
    std::string find = "xwininfo -root -tree | awk '/\"" + AppTitle().ToStd() + "\"/ {print $1; exit}'";
    Shell("(for i in $(seq 200); do w=$(" + find + "); [ -n \"$w\" ] && break; sleep 0.05; done; " +
          "for i in $(seq 50); do [ -z \"$w\" ] && break; xwininfo -id $w >/dev/null 2>&1 || break; " +
          "xdotool windowfocus $w key " + key + "; sleep 0.2; done; touch " + done_ + ") >/dev/null 2>&1 &");
  }
  bool Finished() {
    return Eventually([&] { return std::ifstream(done_).good(); }, 20000);
  }

 private:
  std::string done_;
};

TEST_F(DisplayInput, MessageBoxesAnswerWithTheirButtons) {
  struct Case {
    const char* key;
    int (*box)(const String&, int);
    const char* text;
    int serious;
    int expected;
  };
  const Case cases[] = {
      {"Escape", ProceedBox, "Proceed?", 1, -1},
      {"Return", ProceedBox, "Proceed?", 0, 1},
      {"Return", ConfirmBox, "Confirm?", 0, 1},
      {"Escape", ConfirmBox, "Confirm?", 1, 0},
  };
  // A box that cannot be shown (no X core fonts, for one) says why in the log.
  std::string warnings;
  SetLogSink([&](LogLevel, std::string_view line) { warnings += std::string(line) + "\n"; });
  for (const Case& c : cases) {
    BoxAnswer answer(c.key);
    EXPECT_EQ(c.box(String(c.text), c.serious), c.expected) << c.text << " answered with " << c.key;
    ASSERT_TRUE(answer.Finished());
  }
  BoxAnswer answer("Return");
  AlertBox("Done", 0);
  EXPECT_TRUE(answer.Finished());
  SetLogSink(nullptr);
  EXPECT_EQ(warnings, "");
}

}  // namespace
}  // namespace cvx
