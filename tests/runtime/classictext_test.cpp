#include "corvex/runtime/classictext.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "tests/runtime/test_helpers.h"

namespace cvx {
namespace {

class ClassicText : public testing::Test {
 protected:
  void SetUp() override { InitClassicText(); }
  String hello = "hello";
  String ab = "ab";
};

TEST_F(ClassicText, MidText) {
  EXPECT_EQ(MidText(hello, 2, 3), "ell");
  EXPECT_EQ(MidText(hello, 6), "");
  EXPECT_EQ(MidText(hello, 0, 2), "h");
  EXPECT_EQ(MidText(hello, 1), "hello");
  EXPECT_EQ(MidText(hello, 5), "o");
  EXPECT_EQ(MidText(hello, 4, 10), "lo");
  EXPECT_EQ(MidText(hello, 2, 0), "");
  EXPECT_EQ(MidText(hello, -1), "  hello");  // a negative start with count -1 pads
  EXPECT_EQ(MidText(hello, -1, 2), "");      // the count is used up before position 1
  EXPECT_EQ(MidText(hello, -1, 4), "he");    // positions -1 to 2
  EXPECT_EQ(MidText(hello, INT32_MIN, INT32_MAX), "");
  EXPECT_EQ(MidText(hello, 1, INT32_MAX), "hello");
  EXPECT_EQ(MidText(String(), 1), "");
}

TEST_F(ClassicText, FindText) {
  EXPECT_EQ(FindText(hello, "l"), 3);
  EXPECT_EQ(FindText(hello, "l", 4), 4);
  EXPECT_EQ(FindText(hello, "l", 5), 0);
  EXPECT_EQ(FindText(hello, "xyz"), 0);
  EXPECT_EQ(FindText(hello, "h", 0), 1);
  EXPECT_EQ(FindText(hello, "h", INT32_MIN), 1);
  EXPECT_EQ(FindText(hello, "", 3), 3);
}

TEST_F(ClassicText, WidthsAndEnds) {
  EXPECT_EQ(LeftText(ab, 5), "ab");
  EXPECT_EQ(PadToWidth(ab, 5), "ab   ");
  EXPECT_EQ(AlignRight(ab, 5), "   ab");
  EXPECT_EQ(RightText(ab, 5), "ab");
  EXPECT_EQ(LeftText(hello, 2), "he");
  EXPECT_EQ(RightText(hello, 2), "lo");
  EXPECT_EQ(PadToWidth(hello, 3), "hel");
  EXPECT_EQ(AlignRight(hello, 3), "llo");
  EXPECT_EQ(LeftText(hello, -1), "");
  EXPECT_EQ(RightText(hello, -1), "");
  EXPECT_EQ(PadToWidth(hello, 0), "");
  EXPECT_EQ(AlignRight(hello, INT32_MIN), "");
  EXPECT_EQ(RightText(hello, INT32_MIN), "");
  EXPECT_EQ(ReplaceText("a,b,c", ",", ";*."), "a;*.b;*.c");
}

TEST_F(ClassicText, FixedWidthNumbers) {
  EXPECT_EQ(HexText(255), "000000FF");
  EXPECT_EQ(HexText(-1), "FFFFFFFF");
  EXPECT_EQ(HexText(0), "00000000");
  EXPECT_EQ(HexText(0x1A2B3C4D), "1A2B3C4D");
  EXPECT_EQ(HexText(INT32_MIN), "80000000");
  EXPECT_EQ(BinaryText(5), std::string(29, '0') + "101");
  EXPECT_EQ(BinaryText(-1), std::string(32, '1'));
  EXPECT_EQ(BinaryText(INT32_MIN), "1" + std::string(31, '0'));
  EXPECT_EQ(HexText64(0x0123456789ABCDEFll), "0123456789ABCDEF");
  EXPECT_EQ(HexText64(-2), "FFFFFFFFFFFFFFFE");
  EXPECT_EQ(BinaryText64(5), std::string(61, '0') + "101");
  EXPECT_EQ(BinaryText64(INT64_MIN), "1" + std::string(63, '0'));
  EXPECT_EQ(BinaryText64(0x100000000ll), std::string(31, '0') + "1" + std::string(32, '0'));
}

}  // namespace
}  // namespace cvx
