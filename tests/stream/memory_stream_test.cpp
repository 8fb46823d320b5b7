#include "corvex/stream/memorystream.h"
#include "tests/stream/test_streams.h"

namespace cvx {
namespace {

using testing_streams::Bytes;
using testing_streams::ExpectError;

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
