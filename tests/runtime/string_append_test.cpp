// String += grows a text in place when its handle is the only holder, and
// otherwise behaves as *this = *this + b: the text others hold never changes,
// the result is the concatenation, and the live-memory counter sees the
// string's block as header plus units at every length.
#include <gtest/gtest.h>

#include <string>

#include "corvex/runtime/memory.h"
#include "corvex/runtime/string.h"
#include "tests/runtime/test_helpers.h"

namespace cvx {
namespace {

using testing_support::ReclaimModeGuard;
using testing_support::Settle;

std::u16string Text(const String& s) { return std::u16string(s.Units(), static_cast<std::size_t>(s.Length())); }

String Piece(int i) { return String::OfInt(i) + "|"_s; }

TEST(StringAppend, ManyPiecesGiveTheConcatenationAcrossEveryBlockSize) {
  String text;
  std::u16string expected;
  for (int i = 0; i < 3000; ++i) {
    text += Piece(i);
    expected += Text(Piece(i));
    ASSERT_EQ(text.Length(), static_cast<std::int32_t>(expected.size()));
  }
  EXPECT_EQ(Text(text), expected);
  // Appending a text to itself copies its old units after them.
  String twice = text;
  String self = "ab"_s + "c"_s;
  self += self;
  EXPECT_EQ(self, "abcabc"_s);
  twice += twice;
  EXPECT_EQ(Text(twice), expected + expected);
  EXPECT_EQ(Text(text), expected);  // held apart from twice, so unchanged
}

TEST(StringAppend, OtherHoldersKeepTheOldText) {
  String a = "abc"_s + "def"_s;
  String b = a;
  b += "!"_s;
  EXPECT_EQ(a, "abcdef"_s);
  EXPECT_EQ(b, "abcdef!"_s);

  String c = "xy"_s + "z"_s;
  Ref<TObject> asObject = c;  // a counted holder that is not a String handle
  c += "123"_s;
  EXPECT_EQ(String::FromObject(asObject), "xyz"_s);
  EXPECT_EQ(c, "xyz123"_s);

  // Literals and the empty string are shared statics: never grown.
  String literal = "literal"_s;
  literal += "s"_s;
  EXPECT_EQ("literal"_s, String("literal"));
  EXPECT_EQ(literal, "literals"_s);
  String empty;
  empty += String();
  EXPECT_TRUE(empty.IsEmpty());
  empty += "e"_s;
  EXPECT_EQ(String(), String(""));
  EXPECT_EQ(empty, "e"_s);
}

TEST(StringAppend, ATextHeldOnlyByItsHandleGrowsInPlace) {
  String text = String(std::string(200, 'a'));  // a block above the small sizes
  // Each move leaves room for as much again, so 2000 appends of one unit
  // move the text a handful of times, not once per append.
  int moves = 0;
  for (int i = 0; i < 2000; ++i) {
    const TStringBody* before = text.Body();
    text += i == 0 ? "b"_s : "c"_s;
    moves += text.Body() != before;
  }
  EXPECT_LE(moves, 6);
  EXPECT_EQ(text.Length(), 2200);
  EXPECT_EQ(text[199], u'a');
  EXPECT_EQ(text[200], u'b');
  EXPECT_EQ(text[2199], u'c');
}

class StringAppendMemory : public testing_support::QuietHeap {
 protected:
  ReclaimModeGuard mode_{0};  // passes only where the test runs them
};

// The pieces are made in a frame of their own, which has returned (and is
// overwritten) before the pass that counts what is left.
__attribute__((noinline)) void AppendPiece(String& text, int i, int before) {
  text += Piece(i);
  // Earlier bodies and pieces wait for a pass; the live text itself is
  // counted as header plus units whatever room its block has.
  EXPECT_GE(AllocatedBytes() - before, 16 + 2 * text.Length());
}

__attribute__((noinline)) void AppendAndCount(int before) {
  String text;
  for (int i = 0; i < 400; ++i) AppendPiece(text, i, before);
  Settle();
  EXPECT_EQ(AllocatedBytes() - before, 16 + 2 * text.Length());
}

TEST_F(StringAppendMemory, TheCounterSeesHeaderPlusUnitsAndReturnsToItsStart) {
  int before = AllocatedBytes();
  AppendAndCount(before);
  Settle();
  EXPECT_EQ(AllocatedBytes(), before);
}

}  // namespace
}  // namespace cvx
