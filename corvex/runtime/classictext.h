/// @file
/// Classic text functions over String: 1-based positions, filling to a width
/// with spaces, and fixed-width hexadecimal and binary forms of integers. Cutting
/// goes through Slice, so positions outside the text read as spaces.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/string.h"

namespace cvx {

/// count characters from 1-based position pos; count < 0 takes the rest.
String MidText(const String& s, std::int32_t pos, std::int32_t count = -1);
/// The 1-based position of the first sub at or after from, or 0.
std::int32_t FindText(const String& s, const String& sub, std::int32_t from = 1);
/// @{
/// The first / last n characters (all of s when it is shorter).
String LeftText(const String& s, std::int32_t n);
String RightText(const String& s, std::int32_t n);
/// @}
/// s cut to n characters, or followed by spaces up to n.
String PadToWidth(const String& s, std::int32_t n);
/// The last n characters, or s preceded by spaces up to n.
String AlignRight(const String& s, std::int32_t n);
/// s with every sub replaced by with.
String ReplaceText(const String& s, const String& sub, const String& with);
String HexText(std::int32_t value);       ///< 8 capital hexadecimal digits
String BinaryText(std::int32_t value);    ///< 32 binary digits
String HexText64(std::int64_t value);     ///< 16 digits
String BinaryText64(std::int64_t value);  ///< 64 digits

/// Module initialiser; runs once.
void InitClassicText();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
