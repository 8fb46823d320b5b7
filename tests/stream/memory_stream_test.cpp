#include "corvex/stream/memorystream.h"

#include <limits>

#include "tests/stream/test_streams.h"

namespace cvx {
namespace {

using testing_streams::Bytes;
using testing_streams::ExpectError;

// A length no string can hold (more than about 2^30 units) raises "String too
// long" before anything is read or allocated: it used to make a buffer of that
// many bytes (a gigabyte or two) and take the stream's bytes, and only then
// fail to make the string. A long length a string can hold keeps the zeros
// past the end.
TEST(MemoryStream, ReadTextOfALengthNoStringHoldsRaisesFirst) {
  const std::uint8_t block[4] = {'a', 'b', 'c', 'd'};
  Ref<TMemoryStream> s = CreateMemoryStream(block, 4, 1, 0);
  for (std::int32_t length : {std::int32_t{1} << 30, std::numeric_limits<std::int32_t>::max() - 7,
                              std::numeric_limits<std::int32_t>::max()}) {
    try {
      s->ReadText(length);
      ADD_FAILURE() << "no error for length " << length;
    } catch (const TRuntimeError& error) {
      EXPECT_STREQ(error.what(), "String too long") << length;
    }
    EXPECT_EQ(s->Position(), 0) << length;
  }
  String text = s->ReadText(6);
  ASSERT_EQ(text.Length(), 6);
  EXPECT_EQ(text[3], u'd');
  EXPECT_EQ(text[5], 0);
}

TEST(MemoryStream, SeeksAreClampedToTheBlock) {
  std::uint8_t block[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  Ref<TMemoryStream> s = CreateMemoryStream(block, 10, 1, 0);
  EXPECT_EQ(s->Position(), 0);
  EXPECT_EQ(s->Size(), 10);
  EXPECT_EQ(s->Seek(-5), 0);
  EXPECT_FALSE(s->AtEnd());
  EXPECT_EQ(s->Seek(99), 10);
  EXPECT_TRUE(s->AtEnd());
  EXPECT_EQ(s->Seek(6), 6);
  std::uint8_t out[8] = {};
  EXPECT_EQ(s->Read(out, 8), 4);
  EXPECT_EQ(out[0], 6);
  EXPECT_EQ(out[3], 9);
  EXPECT_EQ(s->Read(out, 8), 0);
  EXPECT_EQ(s->Read(out, 0), 0);
  EXPECT_EQ(s->Read(out, -1), 0);
  s->Close();  // nothing to close: the block is not owned
  EXPECT_EQ(s->Seek(2), 2);
  EXPECT_EQ(s->ReadUInt8(), 2);
}

TEST(MemoryStream, WritesStayInsideTheBlock) {
  std::uint8_t block[4] = {};
  Ref<TMemoryStream> s = CreateMemoryStream(block, 4, 1, 1);
  s->Seek(2);
  std::uint8_t in[3] = {7, 8, 9};
  EXPECT_EQ(s->Write(in, 3), 2);
  EXPECT_EQ(s->Size(), 4);  // never grows
  EXPECT_EQ(block[2], 7);
  EXPECT_EQ(block[3], 8);
  EXPECT_EQ(s->Write(in, 1), 0);
  ExpectError<TStreamWriteError>([&] { s->WriteUInt8(1); }, "Error writing to stream");
  s->Seek(0);
  s->WriteUInt16(0xBEEF);
  EXPECT_EQ(block[0], 0xEF);
  EXPECT_EQ(block[1], 0xBE);
}

TEST(MemoryStream, ReadOnlyAndWriteOnlyRaiseTheStreamErrors) {
  std::uint8_t block[4] = {1, 2, 3, 4};
  Ref<TMemoryStream> readOnly = CreateMemoryStream(block, 4, 1, 0);
  ExpectError<TStreamWriteError>([&] { readOnly->WriteInt32(5); }, "Error writing to stream");
  EXPECT_EQ(block[0], 1);

  Ref<TMemoryStream> writeOnly = CreateMemoryStream(block, 4, 0, 1);
  ExpectError<TStreamReadError>([&] { writeOnly->ReadInt32(); }, "Error reading from stream");
  // At its end an unreadable stream reads nothing and raises nothing.
  writeOnly->Seek(4);
  EXPECT_EQ(writeOnly->ReadInt32(), 0);
}

TEST(MemoryStream, MissingBlockOrNegativeSizeIsEmpty) {
  Ref<TMemoryStream> none = CreateMemoryStream(nullptr, 100, 1, 1);
  EXPECT_EQ(none->Size(), 0);
  EXPECT_TRUE(none->AtEnd());
  std::uint8_t byte = 0;
  EXPECT_EQ(none->Read(&byte, 1), 0);
  Ref<TMemoryStream> negative = CreateMemoryStream(&byte, -3, 1, 0);
  EXPECT_EQ(negative->Size(), 0);
  EXPECT_EQ(negative->Seek(1), 0);
}

}  // namespace
}  // namespace cvx
