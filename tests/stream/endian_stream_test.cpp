#include <cstring>

#include "corvex/stream/embed.h"
#include "corvex/stream/endianstream.h"
#include "corvex/stream/url.h"
#include "tests/stream/test_streams.h"

namespace cvx {
namespace {

using testing_streams::Bytes;
using testing_streams::Scripted;
using testing_streams::Std;

TEST(EndianView, BigEndianReadsOfEveryWidth) {
  auto inner =
      Scripted({0x12, 0x34, 0x56, 0x78, 0x12, 0x34, 0x56, 0x78, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xFF,
                0xFE, 0x3F, 0x80, 0x00, 0x00, 0xC0, 0x00, 0,    0,    0,    0,    0,    0,    0xAB, 'h',  'i',  10});
  Ref<TByteStream> big = BigEndianView(inner.Get());
  EXPECT_EQ(big->ReadInt32(), 0x12345678);
  EXPECT_EQ(big->ReadUInt16(), 0x1234);
  EXPECT_EQ(big->ReadUInt16(), 0x5678);
  EXPECT_EQ(big->ReadInt64(), 0x0102030405060708LL);
  EXPECT_EQ(big->ReadUInt16(), 0xFFFE);
  EXPECT_EQ(big->ReadFloat32(), 1.0f);
  EXPECT_EQ(big->ReadFloat64(), -2.0);
  EXPECT_EQ(big->ReadUInt8(), 0xAB);  // single bytes and text pass through unchanged
  EXPECT_EQ(Std(big->ReadTextLine()), "hi");
  EXPECT_TRUE(big->AtEnd());
}

TEST(EndianView, LittleEndianViewIsTheStreamItself) {
  auto inner = Scripted({0x12, 0x34, 0x56, 0x78});
  Ref<TByteStream> little = LittleEndianView(inner.Get());
  EXPECT_EQ(little.Get(), inner.Get());
  EXPECT_EQ(little->ReadInt32(), 0x78563412);
  little->Close();
  EXPECT_EQ(inner->closes, 1);
  EXPECT_EQ(LittleEndianView(nullptr).Get(), nullptr);
  EXPECT_EQ(BigEndianView(nullptr).Get(), nullptr);
  EXPECT_EQ(TSwapStream::Create(nullptr).Get(), nullptr);
}

TEST(EndianView, BigEndianWritesOfEveryWidth) {
  auto inner = Scripted();
  Ref<TByteStream> big = BigEndianView(inner.Get());
  big->WriteUInt16(1);
  big->WriteUInt16(70000);  // low 16 bits: 0x1170
  big->WriteInt32(-2);
  big->WriteInt64(0x0102030405060708LL);
  big->WriteFloat32(1.0f);
  big->WriteFloat64(-2.0);
  big->WriteUInt8(0x1AB);
  EXPECT_EQ(inner->written, (Bytes{0x00, 0x01, 0x11, 0x70, 0xFF, 0xFF, 0xFF, 0xFE, 1, 2, 3, 4, 5, 6,   7,
                                   8,    0x3F, 0x80, 0,    0,    0xC0, 0,    0,    0, 0, 0, 0, 0, 0xAB}));
  inner->data = inner->written;
  EXPECT_EQ(big->ReadUInt16(), 1);
  EXPECT_EQ(big->ReadUInt16(), 0x1170);
  EXPECT_EQ(big->ReadInt32(), -2);
  EXPECT_EQ(big->ReadInt64(), 0x0102030405060708LL);
  EXPECT_EQ(big->ReadFloat32(), 1.0f);
  EXPECT_EQ(big->ReadFloat64(), -2.0);
  EXPECT_EQ(big->ReadUInt8(), 0xAB);
}

TEST(EndianView, ValueCutShortByTheEndKeepsZeroLowBytes) {
  auto inner = Scripted({0x12, 0x34});
  EXPECT_EQ(BigEndianView(inner.Get())->ReadInt32(), 0x12340000);
}

TEST(EndianView, SwapsAndClose) {
  auto inner = Scripted();
  Ref<TSwapStream> swap = TSwapStream::Create(inner.Get());
  std::uint8_t b[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  swap->Swap2(b);
  EXPECT_EQ(b[0], 2);
  EXPECT_EQ(b[1], 1);
  swap->Swap4(b);
  EXPECT_EQ(std::memcmp(b, "\x04\x03\x01\x02\x05\x06\x07\x08", 8), 0);
  swap->Swap8(b);
  EXPECT_EQ(std::memcmp(b, "\x08\x07\x06\x05\x02\x01\x03\x04", 8), 0);
  swap->Close();  // closing the view closes the stream it wraps
  EXPECT_EQ(inner->closes, 1);
}

TEST(EndianView, UrlProtocols) {
  static const std::uint8_t kBytes[] = {0x12, 0x34, 0x56, 0x78};
  EmbedRegister("endian-test.bin", kBytes, 4);
  Ref<TByteStream> big = OpenUrlForReading("BigEndian::incbin::endian-test.bin");
  ASSERT_FALSE(big.IsNull());
  EXPECT_NE(dynamic_cast<TSwapStream*>(big.Get()), nullptr);
  EXPECT_EQ(big->ReadInt32(), 0x12345678);
  big->Close();
  Ref<TByteStream> little = OpenUrlForReading("littleendian::incbin::endian-test.bin");
  ASSERT_FALSE(little.IsNull());
  EXPECT_EQ(dynamic_cast<TSwapStream*>(little.Get()), nullptr);
  EXPECT_EQ(little->ReadInt32(), 0x78563412);
  EXPECT_TRUE(OpenUrlForReading("bigendian::incbin::no-such-blob").IsNull());
  EXPECT_TRUE(OpenUrlForReading("littleendian::incbin::no-such-blob").IsNull());
  EXPECT_TRUE(OpenUrlForReading("bigendian::").IsNull());
}

}  // namespace
}  // namespace cvx
