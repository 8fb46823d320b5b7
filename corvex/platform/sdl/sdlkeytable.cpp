// SDL scancodes (USB HID usages, independent of the keyboard layout) to the
// Windows virtual-key codes the framework's key tables are indexed by, for a
// US layout.
#include <SDL_scancode.h>

#include <array>

#include "corvex/platform/sdl/sdlevents.h"

namespace cvx {

namespace {

struct KeyPair {
  int scancode;
  int virtualKey;
};

constexpr KeyPair kKeyPairs[] = {
    // Whole-keyboard keys with a fixed place.
    {SDL_SCANCODE_RETURN, 13},
    {SDL_SCANCODE_ESCAPE, 27},
    {SDL_SCANCODE_BACKSPACE, 8},
    {SDL_SCANCODE_TAB, 9},
    {SDL_SCANCODE_SPACE, 32},
    {SDL_SCANCODE_CAPSLOCK, 20},
    {SDL_SCANCODE_PRINTSCREEN, 44},
    {SDL_SCANCODE_SCROLLLOCK, 145},
    {SDL_SCANCODE_PAUSE, 19},
    {SDL_SCANCODE_INSERT, 45},
    {SDL_SCANCODE_HOME, 36},
    {SDL_SCANCODE_PAGEUP, 33},
    {SDL_SCANCODE_DELETE, 46},
    {SDL_SCANCODE_END, 35},
    {SDL_SCANCODE_PAGEDOWN, 34},
    {SDL_SCANCODE_RIGHT, 39},
    {SDL_SCANCODE_LEFT, 37},
    {SDL_SCANCODE_DOWN, 40},
    {SDL_SCANCODE_UP, 38},
    {SDL_SCANCODE_NUMLOCKCLEAR, 144},
    {SDL_SCANCODE_APPLICATION, 93},
    {SDL_SCANCODE_MENU, 93},
    {SDL_SCANCODE_EXECUTE, 43},
    {SDL_SCANCODE_HELP, 47},
    {SDL_SCANCODE_SELECT, 41},
    {SDL_SCANCODE_CANCEL, 3},
    {SDL_SCANCODE_CLEAR, 12},
    {SDL_SCANCODE_RETURN2, 13},
    {SDL_SCANCODE_CRSEL, 247},
    {SDL_SCANCODE_EXSEL, 248},
    {SDL_SCANCODE_SLEEP, 95},
    {SDL_SCANCODE_LANG1, 21},
    {SDL_SCANCODE_LANG2, 25},
    // Punctuation as on a US keyboard (the VK_OEM_ codes).
    {SDL_SCANCODE_SEMICOLON, 186},
    {SDL_SCANCODE_EQUALS, 187},
    {SDL_SCANCODE_COMMA, 188},
    {SDL_SCANCODE_MINUS, 189},
    {SDL_SCANCODE_PERIOD, 190},
    {SDL_SCANCODE_SLASH, 191},
    {SDL_SCANCODE_GRAVE, 192},
    {SDL_SCANCODE_LEFTBRACKET, 219},
    {SDL_SCANCODE_BACKSLASH, 220},
    {SDL_SCANCODE_NONUSHASH, 220},
    {SDL_SCANCODE_RIGHTBRACKET, 221},
    {SDL_SCANCODE_APOSTROPHE, 222},
    {SDL_SCANCODE_NONUSBACKSLASH, 226},
    // Numeric keypad (with Num Lock on; see VirtualKeyOfKey for Num Lock off).
    {SDL_SCANCODE_KP_0, 96},
    {SDL_SCANCODE_KP_1, 97},
    {SDL_SCANCODE_KP_2, 98},
    {SDL_SCANCODE_KP_3, 99},
    {SDL_SCANCODE_KP_4, 100},
    {SDL_SCANCODE_KP_5, 101},
    {SDL_SCANCODE_KP_6, 102},
    {SDL_SCANCODE_KP_7, 103},
    {SDL_SCANCODE_KP_8, 104},
    {SDL_SCANCODE_KP_9, 105},
    {SDL_SCANCODE_KP_MULTIPLY, 106},
    {SDL_SCANCODE_KP_PLUS, 107},
    {SDL_SCANCODE_KP_COMMA, 108},
    {SDL_SCANCODE_SEPARATOR, 108},
    {SDL_SCANCODE_KP_MINUS, 109},
    {SDL_SCANCODE_KP_PERIOD, 110},
    {SDL_SCANCODE_KP_DECIMAL, 110},
    {SDL_SCANCODE_KP_DIVIDE, 111},
    {SDL_SCANCODE_KP_ENTER, 13},
    {SDL_SCANCODE_KP_EQUALS, 146},
    // Modifiers: side-specific Shift, Control and Alt; the two Windows keys.
    {SDL_SCANCODE_LSHIFT, 160},
    {SDL_SCANCODE_RSHIFT, 161},
    {SDL_SCANCODE_LCTRL, 162},
    {SDL_SCANCODE_RCTRL, 163},
    {SDL_SCANCODE_LALT, 164},
    {SDL_SCANCODE_RALT, 165},
    {SDL_SCANCODE_LGUI, 91},
    {SDL_SCANCODE_RGUI, 92},
    // Media and browser keys.
    {SDL_SCANCODE_MUTE, 173},
    {SDL_SCANCODE_AUDIOMUTE, 173},
    {SDL_SCANCODE_VOLUMEDOWN, 174},
    {SDL_SCANCODE_VOLUMEUP, 175},
    {SDL_SCANCODE_AUDIONEXT, 176},
    {SDL_SCANCODE_AUDIOPREV, 177},
    {SDL_SCANCODE_AUDIOSTOP, 178},
    {SDL_SCANCODE_AUDIOPLAY, 179},
    {SDL_SCANCODE_MAIL, 180},
    {SDL_SCANCODE_MEDIASELECT, 181},
    {SDL_SCANCODE_COMPUTER, 182},
    {SDL_SCANCODE_CALCULATOR, 183},
    {SDL_SCANCODE_AC_BACK, 166},
    {SDL_SCANCODE_AC_FORWARD, 167},
    {SDL_SCANCODE_AC_REFRESH, 168},
    {SDL_SCANCODE_STOP, 169},
    {SDL_SCANCODE_AC_STOP, 169},
    {SDL_SCANCODE_AC_SEARCH, 170},
    {SDL_SCANCODE_AC_BOOKMARKS, 171},
    {SDL_SCANCODE_AC_HOME, 172},
    {SDL_SCANCODE_WWW, 172},
};

struct KeyTable {
  std::array<unsigned char, SDL_NUM_SCANCODES> codes{};
  constexpr KeyTable() {
    for (int i = 0; i < 26; ++i) codes[SDL_SCANCODE_A + i] = static_cast<unsigned char>('A' + i);
    // The digit row runs 1..9 then 0.
    for (int i = 0; i < 9; ++i) codes[SDL_SCANCODE_1 + i] = static_cast<unsigned char>('1' + i);
    codes[SDL_SCANCODE_0] = '0';
    for (int i = 0; i < 12; ++i) codes[SDL_SCANCODE_F1 + i] = static_cast<unsigned char>(112 + i);   // F1-F12
    for (int i = 0; i < 12; ++i) codes[SDL_SCANCODE_F13 + i] = static_cast<unsigned char>(124 + i);  // F13-F24
    for (const KeyPair& pair : kKeyPairs) codes[pair.scancode] = static_cast<unsigned char>(pair.virtualKey);
  }
};

constexpr KeyTable kKeyTable;

}  // namespace

int VirtualKeyOfScancode(int scancode) {
  if (scancode < 0 || scancode >= SDL_NUM_SCANCODES) return 0;
  return kKeyTable.codes[scancode];
}

}  // namespace cvx
