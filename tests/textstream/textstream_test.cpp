#include "corvex/stream/textstream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "corvex/stream/bank.h"
#include "corvex/stream/bankstream.h"
#include "corvex/stream/url.h"

namespace cvx {
namespace {

class TextStreamTest : public ::testing::Test {
 protected:
  void SetUp() override { InitTextStreams(); }

  Ref<TCharsetStream> Over(int encoding, const std::string& bytes = "") {
    bank = NewBank(static_cast<std::int32_t>(bytes.size()));
    if (!bytes.empty()) std::memcpy(bank->BankAddress(), bytes.data(), bytes.size());
    return TCharsetStream::Create(NewBankByteStream(bank.Get()).Get(), encoding);
  }
  std::string Written() const {
    return std::string(reinterpret_cast<const char*>(bank->BankAddress()), bank->BankLength());
  }
  Ref<TBank> bank;
};

String Units(std::initializer_list<char16_t> units) {
  std::u16string s(units);
  return String::OfUnits(s.data(), static_cast<std::int32_t>(s.size()));
}

TEST_F(TextStreamTest, NumbersAreDecimalLines) {
  Ref<TCharsetStream> text = Over(EncodingUtf8);
  text->WriteInt32(-5);
  EXPECT_EQ(Written(), "-5\r\n");
  text->WriteUInt16(70000);
  text->WriteInt64(-1234567890123LL);
  text->WriteFloat64(0.25);
  text->WriteUInt8(300);
  text->Seek(0);
  EXPECT_EQ(text->ReadInt32(), -5);
  EXPECT_EQ(text->ReadUInt16(), 70000);
  EXPECT_EQ(text->ReadInt64(), -1234567890123LL);
  EXPECT_EQ(text->ReadFloat64(), 0.25);
  EXPECT_EQ(text->ReadUInt8(), 300);
  EXPECT_TRUE(text->AtEnd());
}

TEST_F(TextStreamTest, SmallWidthsWriteTheValueGivenAndReadItBack) {
  Ref<TCharsetStream> text = Over(EncodingUtf8);
  text->WriteUInt8(300);
  text->WriteUInt16(-1);
  text->WriteUInt8(-7);
  EXPECT_EQ(Written(), "300\r\n-1\r\n-7\r\n");
  text->Seek(0);
  EXPECT_EQ(text->ReadUInt8(), 300);
  EXPECT_EQ(text->ReadUInt16(), -1);
  EXPECT_EQ(text->ReadUInt8(), -7);
}

TEST_F(TextStreamTest, EncodingsRoundTripAndWriteTheirBytes) {
  const String sample = Units({u'A', 0xE9, 0x20AC, 0x7FF, 0x800, 0xFFFF});
  struct Case {
    int encoding;
    std::string bytesOfA;
  };
  for (const Case& c : {Case{EncodingUtf8, "A"}, Case{EncodingUtf16BE, std::string("\0A", 2)},
                        Case{EncodingUtf16LE, std::string("A\0", 2)}}) {
    Ref<TCharsetStream> text = Over(c.encoding);
    text->WriteText("A"_s);
    EXPECT_EQ(Written(), c.bytesOfA) << c.encoding;
    text->WriteTextLine(sample);
    text->WriteTextLine("second"_s);
    text->Seek(0);
    EXPECT_EQ(text->ReadText(1), "A"_s);
    EXPECT_TRUE(text->ReadTextLine() == sample) << c.encoding;
    EXPECT_EQ(text->ReadTextLine(), "second"_s);
    EXPECT_TRUE(text->AtEnd());
  }
  Ref<TCharsetStream> utf8 = Over(EncodingUtf8);
  utf8->WriteText(Units({0xE9, 0x20AC}));
  EXPECT_EQ(Written(), "\xC3\xA9\xE2\x82\xAC");

  Ref<TCharsetStream> latin = Over(EncodingLatin1);
  latin->WriteText(Units({0xE9, 0x20AC}));
  EXPECT_EQ(Written(), "\xE9\xAC");  // the high byte is lost
}

TEST_F(TextStreamTest, MalformedInputDecodesWithoutFailing) {
  // A four-byte lead gives character 0, which ends the line.
  Ref<TCharsetStream> text = Over(EncodingUtf8,
                                  "ab\xF0\x9F\x98\x80"
                                  "cd\n");
  EXPECT_EQ(text->ReadTextLine(), "ab"_s);
  // The left-over continuation byte reads as a two-byte lead, taking the c.
  String rest = text->ReadTextLine();
  ASSERT_EQ(rest.Length(), 2);
  EXPECT_EQ(rest[1], u'd');
  EXPECT_TRUE(text->AtEnd());
  // A lone continuation byte and a sequence cut by the end.
  Ref<TCharsetStream> cut = Over(EncodingUtf8, "x\xC3");
  String line = cut->ReadTextLine();
  ASSERT_EQ(line.Length(), 2);
  EXPECT_EQ(line[0], u'x');
  EXPECT_TRUE(cut->AtEnd());
  // An odd byte count in UTF-16: the last half-character takes a zero byte.
  Ref<TCharsetStream> odd = Over(EncodingUtf16LE, std::string("A\0B", 3));
  EXPECT_EQ(odd->ReadTextLine(), "AB"_s);
  Ref<TCharsetStream> none = Over(0, "xyz");
  none->WriteText("ignored"_s);
  EXPECT_EQ(Written(), "xyz");
  EXPECT_EQ(none->ReadTextLine(), ""_s);  // every character is 0
}

// Malformed UTF-8 decodes to values past FFFF hex or below 0; the characters
// are their low 16 bits, and a line ends at one that is a line feed instead of
// holding it.
TEST_F(TextStreamTest, MalformedUtf8DecodesTo16BitCharacters) {
  Ref<TCharsetStream> text = Over(EncodingUtf8, "a\xEF\xC0\x8A" "b\n");
  EXPECT_EQ(text->ReadTextLine(), "a"_s);
  EXPECT_EQ(text->ReadTextLine(), "b"_s);
  EXPECT_TRUE(text->AtEnd());
  // A continuation byte as a lead: (80 - C0) * 40 + (63 - 80) hex is negative.
  Ref<TCharsetStream> low = Over(EncodingUtf8, "\x80" "c" "\xEF\xFF\xFF");
  EXPECT_EQ(low->DecodeChar(), (-64 * 64 + (0x63 - 128)) & 0xFFFF);
  EXPECT_EQ(low->DecodeChar(), (15 * 4096 + 127 * 64 + 127) & 0xFFFF);
  EXPECT_TRUE(low->AtEnd());
}

TEST_F(TextStreamTest, RawBytesAreHexLinesOf32) {
  Ref<TCharsetStream> text = Over(EncodingLatin1);
  std::uint8_t bytes[33];
  for (int i = 0; i < 33; ++i) bytes[i] = static_cast<std::uint8_t>(i * 8 + 1);
  text->WriteExact(bytes, 33);
  std::string out = Written();
  ASSERT_EQ(out.size(), 64u + 2 + 2);
  EXPECT_EQ(out.substr(0, 4), "0109");
  EXPECT_EQ(out.substr(64, 2), "\r\n");
  EXPECT_EQ(out.substr(66), "01");  // 32 * 8 + 1 = 257, low 8 bits
  text->WriteTextLine("t"_s);
  EXPECT_EQ(Written().substr(66), "01\r\nt\r\n");

  text->Seek(0);
  std::uint8_t back[33] = {};
  text->ReadExact(back, 33);
  EXPECT_EQ(std::memcmp(back, bytes, 33), 0);
  EXPECT_EQ(text->ReadTextLine(), "t"_s);

  std::uint8_t two[2] = {};
  Over(EncodingUtf8, "0AFF")->ReadExact(two, 2);
  EXPECT_EQ(two[0], 10);
  EXPECT_EQ(two[1], 255);
  Over(EncodingUtf8, "0aff")->ReadExact(two, 2);
  EXPECT_NE(two[0], 10);  // lower-case digits are not understood
}

TEST_F(TextStreamTest, HexReadsStopAtTheEndAndCheckLineEnds) {
  std::uint8_t buffer[8];
  std::memset(buffer, 0x77, sizeof buffer);
  Ref<TCharsetStream> text = Over(EncodingLatin1, "41");
  EXPECT_EQ(text->Read(buffer, 8), 1);
  EXPECT_EQ(buffer[0], 0x41);
  EXPECT_EQ(buffer[1], 0x77);

  std::string line(64, '0');
  std::uint8_t row[33];
  Ref<TCharsetStream> lf = Over(EncodingLatin1, line + "\n" + "12");
  EXPECT_EQ(lf->Read(row, 33), 33);
  EXPECT_EQ(row[32], 0x12);
  Ref<TCharsetStream> bad = Over(EncodingLatin1, line + "\r" + "12");
  try {
    bad->Read(row, 33);
    FAIL() << "no error";
  } catch (const TRuntimeError& e) {
    EXPECT_STREQ(e.what(), "Malformed line terminator");
  }
}

TEST_F(TextStreamTest, ProtocolsOpenTextStreamsOverTheirPath) {
  char pattern[] = "/tmp/corvex-text-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string path = std::string(pattern) + "/t.txt";
  for (const char* protocol : {"latin1", "UTF8", "utf16be", "utf16le"}) {
    String url = String(protocol) + "::"_s + String(path);
    Ref<TByteStream> out = OpenUrlForWriting(url);
    ASSERT_TRUE(RefCast<TCharsetStream>(out)) << protocol;
    out->WriteTextLine("h\xE9llo"_s);
    out->WriteInt32(42);
    out->Close();
    Ref<TByteStream> in = OpenUrlForReading(url);
    ASSERT_TRUE(in);
    EXPECT_EQ(in->ReadTextLine(), "h\xE9llo"_s) << protocol;
    EXPECT_EQ(in->ReadInt32(), 42);
    in->Close();
  }
  EXPECT_EQ(UrlLoadText(String(path)).Length(), 2 * (7 + 4));  // UTF-16: two bytes a character
  EXPECT_FALSE(OpenUrlForReading(String("utf8::") + String(std::string(pattern) + "/missing")));
  std::remove(path.c_str());
  rmdir(pattern);
}

TEST_F(TextStreamTest, ConsolePrintsUtf8Lines) {
  ASSERT_TRUE(ConsoleStream());
  EXPECT_EQ(ConsoleStream()->Encoding(), EncodingUtf8);
  ::testing::internal::CaptureStdout();
  PrintLine(Units({u'o', 0xE9}));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "o\xC3\xA9\r\n");
}

}  // namespace
}  // namespace cvx
