/// @file
/// Names for the key codes that key events and polled input use (the Windows
/// virtual-key numbering, US layout), and for the mouse buttons. The numbers
/// themselves stay valid everywhere: cvx::key::Escape is simply 27.
#pragma once
#include "corvex/runtime/api_begin.h"

namespace cvx {

/// Key codes: the Windows virtual-key numbers of the keys, US layout.
namespace key {
/// @{
/// The key code of the key the name says.
inline constexpr int Backspace = 8;
inline constexpr int Tab = 9;
inline constexpr int Clear = 12;
inline constexpr int Enter = 13;
inline constexpr int Shift = 16;  ///< either Shift, where the side does not matter
inline constexpr int Control = 17;
inline constexpr int Alt = 18;
inline constexpr int Pause = 19;
inline constexpr int CapsLock = 20;
inline constexpr int Escape = 27;
inline constexpr int Space = 32;
inline constexpr int PageUp = 33;
inline constexpr int PageDown = 34;
inline constexpr int End = 35;
inline constexpr int Home = 36;
inline constexpr int Left = 37;
inline constexpr int Up = 38;
inline constexpr int Right = 39;
inline constexpr int Down = 40;
inline constexpr int Select = 41;
inline constexpr int Execute = 43;
inline constexpr int PrintScreen = 44;
inline constexpr int Insert = 45;
inline constexpr int Delete = 46;
inline constexpr int Help = 47;
/// The digit row: Digit0 to Digit9 are '0' to '9'; the letters A to Z are 'A' to 'Z'.
inline constexpr int Digit0 = 48;
inline constexpr int Digit1 = 49;
inline constexpr int Digit2 = 50;
inline constexpr int Digit3 = 51;
inline constexpr int Digit4 = 52;
inline constexpr int Digit5 = 53;
inline constexpr int Digit6 = 54;
inline constexpr int Digit7 = 55;
inline constexpr int Digit8 = 56;
inline constexpr int Digit9 = 57;
inline constexpr int A = 65, B = 66, C = 67, D = 68, E = 69, F = 70, G = 71, H = 72, I = 73, J = 74, K = 75, L = 76,
                     M = 77, N = 78, O = 79, P = 80, Q = 81, R = 82, S = 83, T = 84, U = 85, V = 86, W = 87, X = 88,
                     Y = 89, Z = 90;
inline constexpr int LeftSystem = 91;  ///< the Windows (GUI) keys
inline constexpr int RightSystem = 92;
inline constexpr int Apps = 93;
inline constexpr int Numpad0 = 96;
inline constexpr int Numpad1 = 97;
inline constexpr int Numpad2 = 98;
inline constexpr int Numpad3 = 99;
inline constexpr int Numpad4 = 100;
inline constexpr int Numpad5 = 101;
inline constexpr int Numpad6 = 102;
inline constexpr int Numpad7 = 103;
inline constexpr int Numpad8 = 104;
inline constexpr int Numpad9 = 105;
inline constexpr int NumpadMultiply = 106;
inline constexpr int NumpadAdd = 107;
inline constexpr int NumpadSeparator = 108;
inline constexpr int NumpadSubtract = 109;
inline constexpr int NumpadDecimal = 110;
inline constexpr int NumpadDivide = 111;
inline constexpr int F1 = 112, F2 = 113, F3 = 114, F4 = 115, F5 = 116, F6 = 117, F7 = 118, F8 = 119, F9 = 120,
                     F10 = 121, F11 = 122, F12 = 123;
inline constexpr int NumLock = 144;
inline constexpr int ScrollLock = 145;
inline constexpr int LeftShift = 160;
inline constexpr int RightShift = 161;
inline constexpr int LeftControl = 162;
inline constexpr int RightControl = 163;
inline constexpr int LeftAlt = 164;
inline constexpr int RightAlt = 165;
inline constexpr int Semicolon = 186;
inline constexpr int Equals = 187;
inline constexpr int Comma = 188;
inline constexpr int Minus = 189;
inline constexpr int Period = 190;
inline constexpr int Slash = 191;
inline constexpr int Tilde = 192;  ///< the key left of 1
inline constexpr int OpenBracket = 219;
inline constexpr int Backslash = 220;
inline constexpr int CloseBracket = 221;
inline constexpr int Quote = 222;
/// @}
}  // namespace key

/// Mouse button numbers, as the mouse functions of corvex/input/input.h take them.
namespace mouse {
inline constexpr int Left = 1;    ///< the left (primary) button
inline constexpr int Right = 2;   ///< the right (secondary) button
inline constexpr int Middle = 3;  ///< the middle button or pressed wheel
}  // namespace mouse

}  // namespace cvx

#include "corvex/runtime/api_end.h"
