// Every String and classic-text function that takes a position or a count,
// swept over the extreme and edge values around each text's length. Each
// result is checked against the documented rule worked out in 64 bits; a
// result too long to make is the "String too long" error, never a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "corvex/runtime/classictext.h"
#include "corvex/runtime/string.h"
#include "tests/runtime/test_helpers.h"

namespace cvx {
namespace {

using Wide = std::int64_t;

// Results longer than this cannot be made (the block size would overflow).
constexpr Wide kLongest = (Wide{INT32_MAX} - 64) / 2;

std::vector<std::int32_t> EdgeValues(std::int32_t length) {
  return {INT32_MIN, -1, 0, 1, length - 1, length, length + 1, INT32_MAX};
}

// The units at positions [start, end) of text, spaces outside it; nullopt when
// too long to make.
std::optional<std::u16string> Cut(const std::u16string& text, Wide start, Wide end) {
  if (end <= start) return std::u16string();
  if (end - start > kLongest) return std::nullopt;
  std::u16string out;
  for (Wide p = start; p < end; ++p)
    out += (p >= 0 && p < static_cast<Wide>(text.size())) ? text[static_cast<std::size_t>(p)] : u' ';
  return out;
}

bool MatchesAt(const std::u16string& text, const std::u16string& sub, Wide at) {
  return text.compare(static_cast<std::size_t>(at), sub.size(), sub) == 0;
}

Wide FirstAtOrAfter(const std::u16string& text, const std::u16string& sub, Wide start) {
  Wide n = static_cast<Wide>(text.size()), m = static_cast<Wide>(sub.size());
  for (Wide i = std::max<Wide>(start, 0); i <= n - m; ++i)
    if (MatchesAt(text, sub, i)) return i;
  return -1;
}

// LastIndexOf's start counts back from the end of the text.
Wide LastFrom(const std::u16string& text, const std::u16string& sub, Wide fromEnd) {
  Wide n = static_cast<Wide>(text.size()), m = static_cast<Wide>(sub.size());
  for (Wide i = std::min(n - fromEnd, n - m); i >= 0; --i)
    if (MatchesAt(text, sub, i)) return i;
  return -1;
}

std::u16string Units(const String& s) { return std::u16string(s.Units(), s.Units() + s.Length()); }

// Calls make and compares with the expected text; nullopt expects the
// "String too long" error.
template <class Make>
void ExpectText(const std::optional<std::u16string>& expected, Make make, const std::string& what) {
  if (!expected) {
    EXPECT_THROW(make(), TRuntimeError) << what;
    return;
  }
  try {
    EXPECT_EQ(Units(make()), *expected) << what;
  } catch (const TRuntimeError& e) {
    ADD_FAILURE() << what << " raised " << e.what();
  }
}

struct Case {
  const char* text;
  std::vector<const char*> subs;
};

const Case kCases[] = {
    {"hello", {"l", "lo", "", "hello", "hello!", "h"}},
    {"abab", {"ab", "b", "", "abab"}},
    {"", {"", "a"}},
};

TEST(PositionSweep, SearchesFindNothingBeyondTheText) {
  for (const Case& c : kCases) {
    String s = c.text;
    std::u16string text = Units(s);
    for (const char* subText : c.subs) {
      String sub = subText;
      std::u16string subUnits = Units(sub);
      for (std::int32_t v : EdgeValues(s.Length())) {
        std::string what = std::string("\"") + c.text + "\" \"" + subText + "\" at " + std::to_string(v);
        EXPECT_EQ(s.IndexOf(sub, v), FirstAtOrAfter(text, subUnits, v)) << "IndexOf " << what;
        EXPECT_EQ(s.LastIndexOf(sub, v), LastFrom(text, subUnits, v)) << "LastIndexOf " << what;
        EXPECT_EQ(FindText(s, sub, v), FirstAtOrAfter(text, subUnits, Wide{v} - 1) + 1) << "FindText " << what;
      }
    }
  }
}

TEST(PositionSweep, CutsAndPadsStayInRange) {
  for (const Case& c : kCases) {
    String s = c.text;
    std::u16string text = Units(s);
    const Wide len = s.Length();
    for (std::int32_t v : EdgeValues(s.Length())) {
      std::string what = std::string("\"") + c.text + "\" " + std::to_string(v);
      EXPECT_EQ(Units(LeftText(s, v)), text.substr(0, static_cast<std::size_t>(std::clamp<Wide>(v, 0, len))))
          << "LeftText " << what;
      Wide right = std::clamp<Wide>(v, 0, len);
      EXPECT_EQ(Units(RightText(s, v)), text.substr(static_cast<std::size_t>(len - right))) << "RightText " << what;
      ExpectText(
          Cut(text, 0, v), [&] { return PadToWidth(s, v); }, "PadToWidth " + what);
      ExpectText(
          Cut(text, len - v, len), [&] { return AlignRight(s, v); }, "AlignRight " + what);
      if (v >= 0 && v < len) {
        EXPECT_EQ(s[v], text[static_cast<std::size_t>(v)]);
      } else {
        EXPECT_THROW(s[v], TRuntimeError) << "[] " << what;
      }
      for (std::int32_t w : EdgeValues(s.Length())) {
        std::string both = what + " " + std::to_string(w);
        ExpectText(
            Cut(text, v, w), [&] { return Slice(s, v, w); }, "Slice " + both);
        // MidText: count characters from 1-based position pos (v); a negative
        // count takes the rest, with positions before the text as spaces.
        std::optional<std::u16string> mid;
        if (len < v) {
          mid = std::u16string();
        } else if (w < 0) {
          mid = Cut(text, Wide{v} - 1, len);
        } else {
          mid = Cut(text, std::max<Wide>(Wide{v} - 1, 0), std::min<Wide>(Wide{v} - 1 + w, len));
        }
        ExpectText(
            mid, [&] { return MidText(s, v, w); }, "MidText " + both);
      }
    }
  }
}

TEST(PositionSweep, CountsOfUnitsAndBytes) {
  const char16_t units[] = u"abc";
  const char bytes[] = "abc";
  for (std::int32_t count : {INT32_MIN, -1, 0, 1, 2, 3}) {
    std::u16string expected(units, static_cast<std::size_t>(std::max(count, 0)));
    EXPECT_EQ(Units(String::OfUnits(units, count)), expected) << count;
    EXPECT_EQ(Units(String::OfBytes(bytes, count)), expected) << count;
  }
}

}  // namespace
}  // namespace cvx
