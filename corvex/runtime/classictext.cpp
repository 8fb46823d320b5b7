#include "corvex/runtime/classictext.h"

#include <algorithm>
#include <limits>

namespace cvx {
namespace {

// Positions are worked out in 64 bits and brought back into the string's
// range, so extreme arguments cut or pad instead of overflowing.
std::int32_t Clamp32(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

String SliceWide(const String& s, std::int64_t start, std::int64_t end) {
  if (end <= start) return String();
  return Slice(s, Clamp32(start), Clamp32(end));
}

String Digits(std::uint32_t value, int bitsPerDigit) {
  int count = 32 / bitsPerDigit;
  std::uint32_t mask = (1u << bitsPerDigit) - 1;
  char text[32];
  for (int i = 0; i < count; ++i) {
    std::uint32_t digit = (value >> (32 - bitsPerDigit * (i + 1))) & mask;
    text[i] = static_cast<char>(digit < 10 ? digit + 48 : digit + 55);
  }
  return String(std::string_view(text, static_cast<std::size_t>(count)));
}

}  // namespace

String MidText(const String& s, std::int32_t pos, std::int32_t count) {
  std::int64_t len = s.Length();
  if (len < pos) return String();
  std::int64_t start = static_cast<std::int64_t>(pos) - 1;
  std::int64_t end;
  if (count >= 0) {
    std::int64_t n = count;
    if (start < 0) {
      n += start;
      start = 0;
    }
    end = start + std::min(len - start, n);
  } else {
    end = len;
  }
  return SliceWide(s, start, end);
}

std::int32_t FindText(const String& s, const String& sub, std::int32_t from) {
  std::int64_t start = static_cast<std::int64_t>(from) - 1;
  return s.IndexOf(sub, Clamp32(start)) + 1;
}

String LeftText(const String& s, std::int32_t n) { return SliceWide(s, 0, std::min<std::int64_t>(n, s.Length())); }

String RightText(const String& s, std::int32_t n) {
  std::int64_t len = s.Length();
  return SliceWide(s, len - std::min<std::int64_t>(n, len), len);
}

String PadToWidth(const String& s, std::int32_t n) { return SliceWide(s, 0, n); }

String AlignRight(const String& s, std::int32_t n) {
  std::int64_t len = s.Length();
  return SliceWide(s, len - n, len);
}

String ReplaceText(const String& s, const String& sub, const String& with) { return s.Substituted(sub, with); }

String HexText(std::int32_t value) { return Digits(static_cast<std::uint32_t>(value), 4); }

String BinaryText(std::int32_t value) { return Digits(static_cast<std::uint32_t>(value), 1); }

String HexText64(std::int64_t value) {
  auto bits = static_cast<std::uint64_t>(value);
  return HexText(static_cast<std::int32_t>(bits >> 32)) + HexText(static_cast<std::int32_t>(bits & 0xFFFFFFFFu));
}

String BinaryText64(std::int64_t value) {
  auto bits = static_cast<std::uint64_t>(value);
  return BinaryText(static_cast<std::int32_t>(bits >> 32)) + BinaryText(static_cast<std::int32_t>(bits & 0xFFFFFFFFu));
}

void InitClassicText() {
  static bool done = false;
  if (done) return;
  done = true;
}

}  // namespace cvx
