#include "corvex/runtime/string.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>

#include "corvex/runtime/array.h"
#include "corvex/runtime/list.h"
#include "tests/runtime/test_helpers.h"

namespace cvx {
namespace {

bool IsSharedEmpty(const String& s) { return s.Body() == String().Body() && s.Length() == 0; }

TEST(StringNumbers, IntegersToText) {
  EXPECT_EQ(String::OfInt(0), "0");
  EXPECT_EQ(String::OfInt(-2147483647 - 1), "-2147483648");
  EXPECT_EQ(String::OfInt(-45), "-45");
  EXPECT_EQ(String::OfInt(2147483647), "2147483647");
  EXPECT_EQ(String::OfInt(1000), "1000");
  EXPECT_EQ(String::OfLong(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(String::OfLong(INT64_MAX), "9223372036854775807");
  EXPECT_EQ(String::OfLong(-1234567890123), "-1234567890123");
}

TEST(StringNumbers, RealsKeepAllSignificantDigits) {
  EXPECT_EQ(String::OfFloat(1.5f), "1.50000000");
  EXPECT_EQ(String::OfFloat(0.1f), "0.100000001");
  EXPECT_EQ(String::OfFloat(100.0f), "100.000000");
  EXPECT_EQ(String::OfFloat(0.0f), "0.00000000");
  EXPECT_EQ(String::OfFloat(-2.0f), "-2.00000000");
  EXPECT_EQ(String::OfFloat(1e20f), "1.00000002e+20");
  EXPECT_EQ(String::OfDouble(0.5), "0.50000000000000000");
  EXPECT_EQ(String::OfDouble(0.1), "0.10000000000000001");
  EXPECT_EQ(String::OfDouble(1e300), "1.0000000000000001e+300");
}

TEST(StringNumbers, ParsingIntegers) {
  EXPECT_EQ(String("  42abc").AsInt(), 42);
  EXPECT_EQ(String("-$FF").AsInt(), -255);
  EXPECT_EQ(String("$ff").AsInt(), 255);
  EXPECT_EQ(String("%101").AsInt(), 5);
  EXPECT_EQ(String("-%11").AsInt(), -3);
  EXPECT_EQ(String("%102").AsInt(), 2);
  EXPECT_EQ(String("abc").AsInt(), 0);
  EXPECT_EQ(String("-").AsInt(), 0);
  EXPECT_EQ(String("$").AsInt(), 0);
  EXPECT_EQ(String("").AsInt(), 0);
  EXPECT_EQ(String(" \t\r\n").AsInt(), 0);
  EXPECT_EQ(String("+7").AsInt(), 7);
  EXPECT_EQ(String("\t\n\v\f 12").AsInt(), 12);
  EXPECT_EQ(String("- 5").AsInt(), 0);  // no space after the sign
  EXPECT_EQ(String("12 34").AsInt(), 12);
  EXPECT_EQ(String("1.9").AsInt(), 1);
  // No wider white space than the C library's: a no-break space stops parsing.
  EXPECT_EQ(String::OfUnits(u"\u00A05", 2).AsInt(), 0);
  EXPECT_EQ(String::OfUnits(u"\u20005", 2).AsInt(), 0);
}

TEST(StringNumbers, ParsingWrapsOnOverflow) {
  EXPECT_EQ(String("4294967297").AsInt(), 1);
  EXPECT_EQ(String("2147483648").AsInt(), INT32_MIN);
  EXPECT_EQ(String("-2147483648").AsInt(), INT32_MIN);
  EXPECT_EQ(String("$FFFFFFFF").AsInt(), -1);
  EXPECT_EQ(String("$123456789").AsInt(), 0x23456789);
  EXPECT_EQ(String("$FFFFFFFFFFFFFFFF").AsLong(), -1);
  EXPECT_EQ(String("9223372036854775807").AsLong(), INT64_MAX);
  EXPECT_EQ(String("-9223372036854775808").AsLong(), INT64_MIN);
  EXPECT_EQ(String("$FFFFFFFF").AsLong(), 0xFFFFFFFFll);
}

TEST(StringNumbers, ParsingReals) {
  EXPECT_EQ(String("1.5").AsFloat(), 1.5f);
  EXPECT_EQ(String("  -2.25e3x").AsDouble(), -2250.0);
  EXPECT_EQ(String("abc").AsDouble(), 0.0);
  EXPECT_EQ(String("0.1").AsFloat(), 0.1f);
  // Only the low byte of a unit reaches the C library: U+0131 reads as "1".
  EXPECT_EQ(String::OfUnits(u"\u0131.5", 3).AsDouble(), 1.5);
}

TEST(StringText, SliceFillsWithSpaces) {
  String abc = "abc";
  EXPECT_EQ(Slice(abc, -1, 2), " ab");
  EXPECT_EQ(Slice(abc, 2, 5), "c  ");
  EXPECT_TRUE(IsSharedEmpty(Slice(abc, 2, 2)));
  EXPECT_TRUE(IsSharedEmpty(Slice(abc, 3, 1)));
  EXPECT_EQ(Slice(abc, -3, -1), "  ");
  EXPECT_EQ(Slice(abc, 0, 3).Body(), abc.Body());
  EXPECT_EQ(Slice(String(), 0, 2), "  ");
}

TEST(StringText, Searching) {
  String hello = "hello";
  EXPECT_EQ(hello.IndexOf("l"), 2);
  EXPECT_EQ(hello.IndexOf("l", 3), 3);
  EXPECT_EQ(hello.IndexOf("l", 4), -1);
  EXPECT_EQ(hello.IndexOf("lo"), 3);
  EXPECT_EQ(hello.IndexOf("hello!"), -1);
  EXPECT_EQ(hello.IndexOf(""), 0);
  EXPECT_EQ(hello.IndexOf("", 5), 5);
  EXPECT_EQ(hello.IndexOf("", 6), -1);
  String path = "C:\\dir\\file";
  EXPECT_EQ(path.LastIndexOf("\\", 0), 6);
  String twice = "abcabc";
  EXPECT_EQ(twice.LastIndexOf("abc", 0), 3);
  EXPECT_EQ(twice.LastIndexOf("abc", 1), 3);  // from index 5, at most 3
  EXPECT_EQ(twice.LastIndexOf("abc", 4), 0);  // from index 2
  EXPECT_EQ(twice.LastIndexOf("abc", 7), -1);
  EXPECT_EQ(twice.LastIndexOf("x", 0), -1);
  EXPECT_EQ(String().LastIndexOf("a", 0), -1);
}

TEST(StringText, StrippedSubstitutedAndCase) {
  EXPECT_TRUE(IsSharedEmpty(String(" \t \t ").Stripped()));
  EXPECT_EQ(String("  x y \n").Stripped(), "x y");
  String plain = "xy";
  EXPECT_EQ(plain.Stripped().Body(), plain.Body());
  EXPECT_EQ(String("a,b,c").Substituted(",", ";*."), "a;*.b;*.c");
  EXPECT_EQ(plain.Substituted("", "z").Body(), plain.Body());
  EXPECT_EQ(plain.Substituted("q", "z").Body(), plain.Body());
  EXPECT_EQ(String("aaa").Substituted("aa", "b"), "ba");  // left to right, no overlap
  EXPECT_TRUE(IsSharedEmpty(String("aa").Substituted("a", "")));
  String mixed = String::OfUnits(u"AbZ\u00C9\u00E9[`{@", 9);
  EXPECT_EQ(mixed.Lowered(), String::OfUnits(u"abz\u00C9\u00E9[`{@", 9));
  EXPECT_EQ(mixed.Uppered(), String::OfUnits(u"ABZ\u00C9\u00E9[`{@", 9));
  EXPECT_TRUE(IsSharedEmpty(String().Lowered()));
}

TEST(StringText, CompareByUnits) {
  EXPECT_EQ(String::Compare("ab", "abc"), -1);
  EXPECT_EQ(String::Compare("b", "abc"), 1);
  EXPECT_EQ(String::Compare("abc", "abc"), 0);
  EXPECT_EQ(String::Compare("", "a"), -1);
  EXPECT_EQ(String::Compare(String::OfUnits(u"\uFFFF", 1), "a"), 0xFFFF - 'a');
  // As objects, strings order by text; against another kind of object by address.
  Ref<TObject> a = String("ab"), b = String("abc");
  EXPECT_EQ(a->Compare(b.Get()), -1);
  EXPECT_EQ(a->ToString().Body(), a.Get());
  Ref<TList> list = NewList();
  EXPECT_NE(a->Compare(list.Get()), 0);
}

TEST(StringText, SingleUnitsAndConcatenation) {
  EXPECT_EQ(OfChar(65), "A");
  EXPECT_EQ(OfChar(0x263A).Units()[0], 0x263A);
  EXPECT_EQ(OfChar(0x1263A).Units()[0], 0x263A);  // a code unit keeps 16 bits
  String abc = "abc";
  EXPECT_EQ((abc + String()).Body(), abc.Body());
  EXPECT_EQ((String() + abc).Body(), abc.Body());
  EXPECT_EQ(String("FPS = ") + String::OfInt(60), "FPS = 60");
  EXPECT_EQ(abc[2], u'c');
  EXPECT_THROW(abc[3], TRuntimeError);
  EXPECT_THROW(abc[-1], TRuntimeError);
}

TEST(StringText, HugeResultsAreRefused) {
  EXPECT_THROW(Slice("a", 0, INT32_MAX), TRuntimeError);
  EXPECT_THROW(Slice("a", INT32_MIN, INT32_MAX), TRuntimeError);
}

// A substitution whose result no string can hold raises "String too long"
// once the matches are counted, before any of it is built: it used to build
// the whole text (here 2^31 units, 4 GB) and only then refuse it.
TEST(StringText, SubstitutionTooLongRaisesBeforeBuilding) {
  const std::u16string many(1 << 16, u'a');
  const std::u16string longWith(1 << 15, u'b');
  const String text = String::OfUnits(many.data(), static_cast<std::int32_t>(many.size()));
  const String with = String::OfUnits(longWith.data(), static_cast<std::int32_t>(longWith.size()));
  try {
    (void)text.Substituted("a"_s, with);
    ADD_FAILURE() << "no error";
  } catch (const TRuntimeError& error) {
    EXPECT_STREQ(error.what(), "String too long");
  }
  EXPECT_EQ(String("abab").Substituted("b"_s, "xyz"_s), String("axyzaxyz"));
}

TEST(StringBytes, AnsiAndWide) {
  String text = String("A") + OfChar(0x141) + OfChar(0xE9);
  AnsiText ansi = text.AsAnsi();
  EXPECT_EQ(std::strlen(ansi.get()), 3u);
  EXPECT_EQ(static_cast<unsigned char>(ansi[1]), 0x41);  // the high byte is lost
  EXPECT_EQ(static_cast<unsigned char>(ansi[2]), 0xE9);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(ansi.get()) % 16, 0u);
  WideText wide = text.AsWide();
  EXPECT_EQ(wide[1], 0x141);
  EXPECT_EQ(wide[3], 0);
  EXPECT_EQ(String::OfWide(wide.get()), text);
  EXPECT_EQ(text.ToStd(), std::string("AA\xE9"));
  EXPECT_EQ(String().AsAnsi()[0], 0);
}

TEST(StringBytes, FromBytesAndUnits) {
  EXPECT_TRUE(IsSharedEmpty(String::OfAnsi(nullptr)));
  EXPECT_TRUE(IsSharedEmpty(String::OfWide(nullptr)));
  EXPECT_TRUE(IsSharedEmpty(String::OfAnsi("")));
  EXPECT_EQ(String::OfAnsi("\xFF\x01"), String::OfUnits(u"\u00FF\u0001", 2));
  const unsigned char bytes[] = {'a', 0, 'b'};
  String withZero = String::OfBytes(bytes, 3);
  EXPECT_EQ(withZero.Length(), 3);
  EXPECT_EQ(withZero[1], 0);
  EXPECT_TRUE(IsSharedEmpty(String::OfBytes(bytes, 0)));
  EXPECT_TRUE(IsSharedEmpty(String::OfBytes(bytes, -1)));
  EXPECT_EQ(String::OfUnits(u"xyz", 2), "xy");
}

TEST(StringBytes, FromArrays) {
  Array<std::uint8_t> bytes = NewArray<std::uint8_t>(2);
  bytes[0] = 'H';
  bytes[1] = 'i';
  EXPECT_EQ(String::OfArray(bytes), "Hi");
  Array<std::int32_t> ints = NewArray<std::int32_t>(2);
  ints[0] = 0x10041;  // ints keep their low 16 bits
  ints[1] = -1;
  EXPECT_EQ(String::OfArray(ints), String::OfUnits(u"A\uFFFF", 2));
  Array<std::uint16_t> shorts = NewArray<std::uint16_t>(1);
  shorts[0] = 0x263A;
  EXPECT_EQ(String::OfArray(shorts), String::OfUnits(u"\u263A", 1));
  Array<std::int8_t> signedBytes = NewArray<std::int8_t>(1);
  signedBytes[0] = -1;
  EXPECT_EQ(String::OfArray(signedBytes), String::OfUnits(u"\u00FF", 1));
  EXPECT_TRUE(IsSharedEmpty(String::OfArray(NewArray<double>(3))));
  EXPECT_TRUE(IsSharedEmpty(String::OfArray(NewArray<Ref<TObject>>(3))));
  EXPECT_TRUE(IsSharedEmpty(String::OfArray(NewArray<std::uint8_t>(0))));
  EXPECT_TRUE(IsSharedEmpty(String::OfArray(nullptr)));
  EXPECT_TRUE(IsSharedEmpty(String::OfArray(String("text"))));
}

TEST(StringBytes, Utf8RoundTrip) {
  String text = String::OfUnits(u"a\u00E9\u20AC\U0001F600", 5);
  EXPECT_EQ(text.ToUtf8(), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(String::OfUtf8(text.ToUtf8()), text);
  EXPECT_EQ(String::OfUtf8("\xFF"
                           "a\xC3"),
            String::OfUnits(u"\uFFFDa\uFFFD", 3));
  EXPECT_EQ(String::OfUtf8("\xE2\x28\xA1"), String::OfUnits(u"\uFFFD(\uFFFD", 3));
}

// Four-byte forms reach 1FFFFF hex, past the last character (10FFFF hex): such
// a sequence is malformed, one U+FFFD per byte, not a pair of units that are
// no surrogate pair (F4 90 80 80 gave DC00 DC00).
TEST(StringBytes, Utf8PastTheLastCharacterIsMalformed) {
  EXPECT_EQ(String::OfUtf8("\xF4\x8F\xBF\xBF"), String::OfUnits(u"\U0010FFFF", 2));
  EXPECT_EQ(String::OfUtf8("a\xF4\x90\x80\x80"), String::OfUnits(u"a\uFFFD\uFFFD\uFFFD\uFFFD", 5));
  EXPECT_EQ(String::OfUtf8("\xF7\xBF\xBF\xBFz"), String::OfUnits(u"\uFFFD\uFFFD\uFFFD\uFFFDz", 5));
}

TEST(StringObjects, LiteralsAndEmptyAreStatic) {
  String literal = "abc"_s;
  EXPECT_GE(literal.Body()->RefCount(), kImmortalCount);
  testing_support::Settle();
  EXPECT_EQ("abc"_s, "abc");
  EXPECT_EQ("abc"_s.Body(), literal.Body());
  EXPECT_TRUE(IsSharedEmpty(""_s));
  EXPECT_GE(String().Body()->RefCount(), kSharedCount);
  EXPECT_TRUE(String::IsString(literal.Body()));
  EXPECT_EQ(String::FromObject(nullptr), "");
  Ref<TObject> asObject = literal;
  EXPECT_EQ(String::FromObject(asObject.Get()).Body(), literal.Body());
}

}  // namespace
}  // namespace cvx
