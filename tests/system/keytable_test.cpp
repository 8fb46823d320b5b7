#include <SDL.h>
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "corvex/input/keycodes.h"
#include "corvex/platform/sdl/sdlevents.h"

namespace cvx {
namespace {

// The names a program uses are the codes the translation produces.
TEST(KeyTable, NamedCodesAreWhatKeysTranslateTo) {
  const std::pair<int, int> named[] = {
      {SDL_SCANCODE_ESCAPE, key::Escape},       {SDL_SCANCODE_RETURN, key::Enter},
      {SDL_SCANCODE_SPACE, key::Space},         {SDL_SCANCODE_BACKSPACE, key::Backspace},
      {SDL_SCANCODE_TAB, key::Tab},             {SDL_SCANCODE_LEFT, key::Left},
      {SDL_SCANCODE_RIGHT, key::Right},         {SDL_SCANCODE_UP, key::Up},
      {SDL_SCANCODE_DOWN, key::Down},           {SDL_SCANCODE_HOME, key::Home},
      {SDL_SCANCODE_END, key::End},             {SDL_SCANCODE_PAGEUP, key::PageUp},
      {SDL_SCANCODE_PAGEDOWN, key::PageDown},   {SDL_SCANCODE_INSERT, key::Insert},
      {SDL_SCANCODE_DELETE, key::Delete},       {SDL_SCANCODE_A, key::A},
      {SDL_SCANCODE_Z, key::Z},                 {SDL_SCANCODE_0, key::Digit0},
      {SDL_SCANCODE_9, key::Digit9},            {SDL_SCANCODE_F1, key::F1},
      {SDL_SCANCODE_F12, key::F12},             {SDL_SCANCODE_KP_0, key::Numpad0},
      {SDL_SCANCODE_KP_DIVIDE, key::NumpadDivide}, {SDL_SCANCODE_LSHIFT, key::LeftShift},
      {SDL_SCANCODE_RCTRL, key::RightControl}, {SDL_SCANCODE_RALT, key::RightAlt},
      {SDL_SCANCODE_LGUI, key::LeftSystem},    {SDL_SCANCODE_GRAVE, key::Tilde},
      {SDL_SCANCODE_APOSTROPHE, key::Quote},   {SDL_SCANCODE_NUMLOCKCLEAR, key::NumLock},
  };
  for (const auto& [scancode, code] : named) EXPECT_EQ(VirtualKeyOfScancode(scancode), code) << scancode;
}

TEST(KeyTable, LettersDigitsAndFunctionKeys) {
  for (int i = 0; i < 26; ++i) EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_A + i), 'A' + i);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_1), '1');
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_9), '9');
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_0), '0');
  for (int i = 0; i < 12; ++i) EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_F1 + i), 112 + i);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_F13 + i), 124 + i);
}

TEST(KeyTable, EditingNavigationAndControlKeys) {
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_BACKSPACE), 8);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_TAB), 9);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_RETURN), 13);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_PAUSE), 19);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_CAPSLOCK), 20);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_ESCAPE), 27);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_SPACE), 32);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_PAGEUP), 33);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_PAGEDOWN), 34);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_END), 35);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_HOME), 36);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_LEFT), 37);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_UP), 38);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_RIGHT), 39);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_DOWN), 40);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_PRINTSCREEN), 44);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_INSERT), 45);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_DELETE), 46);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_APPLICATION), 93);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_NUMLOCKCLEAR), 144);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_SCROLLLOCK), 145);
}

TEST(KeyTable, PunctuationAsOnAUsKeyboard) {
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_SEMICOLON), 186);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_EQUALS), 187);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_COMMA), 188);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_MINUS), 189);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_PERIOD), 190);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_SLASH), 191);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_GRAVE), 192);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_LEFTBRACKET), 219);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_BACKSLASH), 220);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_RIGHTBRACKET), 221);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_APOSTROPHE), 222);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_NONUSBACKSLASH), 226);
}

TEST(KeyTable, NumericKeypadFollowsNumLock) {
  const int digits[] = {SDL_SCANCODE_KP_0, SDL_SCANCODE_KP_1, SDL_SCANCODE_KP_2, SDL_SCANCODE_KP_3, SDL_SCANCODE_KP_4,
                        SDL_SCANCODE_KP_5, SDL_SCANCODE_KP_6, SDL_SCANCODE_KP_7, SDL_SCANCODE_KP_8, SDL_SCANCODE_KP_9};
  const int withoutNumLock[] = {45, 35, 40, 34, 37, 12, 39, 36, 38, 33};
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(VirtualKeyOfKey(digits[i], KMOD_NUM), 96 + i);
    EXPECT_EQ(VirtualKeyOfKey(digits[i], KMOD_NONE), withoutNumLock[i]);
  }
  EXPECT_EQ(VirtualKeyOfKey(SDL_SCANCODE_KP_PERIOD, KMOD_NUM), 110);
  EXPECT_EQ(VirtualKeyOfKey(SDL_SCANCODE_KP_PERIOD, KMOD_NONE), 46);
  // The operators do not depend on Num Lock.
  for (unsigned mod : {unsigned(KMOD_NONE), unsigned(KMOD_NUM)}) {
    EXPECT_EQ(VirtualKeyOfKey(SDL_SCANCODE_KP_MULTIPLY, mod), 106);
    EXPECT_EQ(VirtualKeyOfKey(SDL_SCANCODE_KP_PLUS, mod), 107);
    EXPECT_EQ(VirtualKeyOfKey(SDL_SCANCODE_KP_MINUS, mod), 109);
    EXPECT_EQ(VirtualKeyOfKey(SDL_SCANCODE_KP_DIVIDE, mod), 111);
    EXPECT_EQ(VirtualKeyOfKey(SDL_SCANCODE_KP_ENTER, mod), 13);
    EXPECT_EQ(VirtualKeyOfKey(SDL_SCANCODE_A, mod), 'A');
  }
}

TEST(KeyTable, EveryKeyOfAFullKeyboardHasACodeAndTheMainBlockNoDuplicates) {
  // A through keypad period is the whole 105-key keyboard except the modifiers.
  std::set<int> seen;
  for (int scancode = SDL_SCANCODE_A; scancode <= SDL_SCANCODE_KP_PERIOD; ++scancode) {
    int code = VirtualKeyOfScancode(scancode);
    EXPECT_GE(code, 1) << SDL_GetScancodeName(static_cast<SDL_Scancode>(scancode));
    EXPECT_LE(code, 255);
    if (scancode != SDL_SCANCODE_NONUSHASH && scancode != SDL_SCANCODE_KP_ENTER) {
      EXPECT_TRUE(seen.insert(code).second) << "duplicate code " << code;
    }
  }
  for (int scancode = SDL_SCANCODE_LCTRL; scancode <= SDL_SCANCODE_RGUI; ++scancode) {
    EXPECT_TRUE(seen.insert(VirtualKeyOfScancode(scancode)).second);
  }
  // The generic Shift, Control and Alt codes never appear.
  EXPECT_EQ(seen.count(16) + seen.count(17) + seen.count(18), 0u);
}

TEST(KeyTable, ScancodesOutsideTheTableHaveNoCode) {
  EXPECT_EQ(VirtualKeyOfScancode(SDL_SCANCODE_UNKNOWN), 0);
  EXPECT_EQ(VirtualKeyOfScancode(-1), 0);
  EXPECT_EQ(VirtualKeyOfScancode(SDL_NUM_SCANCODES), 0);
  EXPECT_EQ(VirtualKeyOfScancode(100000), 0);
}

}  // namespace
}  // namespace cvx
