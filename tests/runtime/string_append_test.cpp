// String += grows a text in place when its handle is the only holder, and
// otherwise behaves as *this = *this + b: the text others hold never changes,
// the result is the concatenation, and the live-memory counter sees the
// string's block as header plus units at every length.
#include <gtest/gtest.h>

#include <cstdint>
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

TEST(StringAppend, ShortPiecesOfEveryLengthAreCopiedWhole) {
  // Short pieces are copied by length bands of their own: every length up to
  // past the longest short copy, onto texts of every room size, and appended
  // to themselves while their block has room.
  for (int n = 1; n <= 20; ++n) {
    std::u16string units;
    for (int k = 0; k < n; ++k) units += static_cast<char16_t>(u'A' + (k * 7 + n) % 50);
    const String piece = String::OfUnits(units.data(), n);
    String text = "<"_s + ">"_s;
    std::u16string expected = u"<>";
    for (int i = 0; i < 70; ++i) {
      text += piece;
      expected += units;
      ASSERT_EQ(Text(text), expected) << n << " units, piece " << i;
    }
    String self;
    self += piece;
    self += piece;  // moves out of the shared piece into a block with room
    self += self;
    EXPECT_EQ(Text(self), units + units + units + units) << n;
    EXPECT_EQ(Text(piece), units);
  }
}

TEST(StringAppend, AHolderTakenBetweenAppendsKeepsItsText) {
  String text = "ab"_s + "cd"_s;
  text += "ef"_s;  // now in a block with room
  text += "gh"_s;  // grown in place
  String copy = text;
  text += "ij"_s;
  EXPECT_EQ(copy, "abcdefgh"_s);
  EXPECT_EQ(text, "abcdefghij"_s);
  Ref<TObject> held = text;
  text += "kl"_s;
  EXPECT_EQ(String::FromObject(held), "abcdefghij"_s);
  EXPECT_EQ(text, "abcdefghijkl"_s);
  // Once the other holder lets go, the text grows in place again.
  copy = text;
  copy = String();
  const TStringBody* before = text.Body();
  text += "m"_s;
  EXPECT_EQ(text.Body(), before);
  EXPECT_EQ(text, "abcdefghijklm"_s);
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

// Kept outside the stack, which the pass scans.
std::uintptr_t roomBlockAddress = 0;

__attribute__((noinline)) void MakeTextWithRoom() {
  String text = "0123"_s + "4567"_s;  // 16 + 2 * 8 bytes
  text += "ab"_s;                     // moves: counts 36 bytes, holds 64
  roomBlockAddress = reinterpret_cast<std::uintptr_t>(text.Body());
}

TEST_F(StringAppendMemory, ABlockWithRoomGoesBackToTheSizeClassItHolds) {
  int before = AllocatedBytes();
  MakeTextWithRoom();
  Settle();
  EXPECT_EQ(AllocatedBytes(), before);
  // Freed blocks come back first from their class: the text's block is one
  // of 64 bytes, not of the 48 its counted size would take.
  void* classOfItsCount = AllocateBlock(36);
  void* classItHolds = AllocateBlock(64);
  EXPECT_NE(reinterpret_cast<std::uintptr_t>(classOfItsCount), roomBlockAddress);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(classItHolds), roomBlockAddress);
  FreeBlock(classItHolds, 64);
  FreeBlock(classOfItsCount, 36);
}

std::uintptr_t droppedBlockAddress = 0;

__attribute__((noinline)) void GrowALargeTextAndDrop() {
  String text = Slice("a"_s, 0, 300);
  text += Slice("b"_s, 0, 60);  // past what the first block holds: moves into one with room for twice as much
  droppedBlockAddress = reinterpret_cast<std::uintptr_t>(text.Body());
}

__attribute__((noinline)) void AppendToAFreshLargeText() {
  // A plain block, which the system allocator may place where the dropped
  // one was.
  String text = Slice("c"_s, 0, 400);  // "c" and 399 spaces
  const TStringBody* before = text.Body();
  for (int i = 0; i < 5; ++i) text += "0123456789"_s;
  EXPECT_NE(text.Body(), before);  // its block cannot hold 450 units
  std::u16string expected = u"c" + std::u16string(399, u' ');
  for (int i = 0; i < 5; ++i) expected += u"0123456789";
  EXPECT_EQ(Text(text), expected);
}

TEST_F(StringAppendMemory, AFreedTextsRoomIsForgotten) {
  int before = AllocatedBytes();
  GrowALargeTextAndDrop();
  Settle();
  // A text made later at the same address has a block of its own size: the
  // room += remembered for the freed one must not be taken for it.
  EXPECT_NE(reinterpret_cast<std::uintptr_t>(detail::appendBody), droppedBlockAddress);
  AppendToAFreshLargeText();
  Settle();
  EXPECT_EQ(AllocatedBytes(), before);
}

}  // namespace
}  // namespace cvx
