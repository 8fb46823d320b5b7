// The memory-backed streams (memory, bank) answer typed reads and text lines
// from their bytes directly, and the file stream takes lines from the stdio
// buffer. Each must give exactly what the general TByteStream reads give over
// the same bytes: the same values, positions and errors, at every offset up to
// and past the end.
#include <cstring>
#include <string>
#include <vector>

#include "corvex/stream/bankstream.h"
#include "corvex/stream/filestream.h"
#include "corvex/stream/memorystream.h"
#include "tests/stream/temp_dir.h"
#include "tests/stream/test_streams.h"

namespace cvx {
namespace {

using testing_streams::Bytes;
using testing_streams::Scripted;
using testing_streams::Std;

// Line ends, carriage returns and zero bytes in awkward places; every byte
// value below 32 that ReadTextLine treats specially occurs next to another.
Bytes Sample() {
  std::string text = "ab\r\ncd\n\r\rx\0y\n\n\r\nlast\r";
  Bytes bytes(text.begin(), text.end());
  bytes.insert(bytes.begin() + 9, 0);
  for (int i = 0; i < 7; ++i) bytes.push_back(static_cast<std::uint8_t>(0xF0 + i));
  return bytes;
}

// What one operation at one offset gives: its value (or error text), and the
// position after it.
std::string Outcome(TByteStream* s, std::int32_t at, int op) {
  s->Seek(at);
  std::string result;
  try {
    std::uint8_t buffer[6] = {9, 9, 9, 9, 9, 9};
    switch (op) {
      case 0: result = std::to_string(s->ReadUInt8()); break;
      case 1: result = std::to_string(s->ReadUInt16()); break;
      case 2: result = std::to_string(s->ReadInt32()); break;
      case 3: result = std::to_string(s->ReadInt64()); break;
      case 4: {
        float f = s->ReadFloat32();
        std::uint32_t bits;
        std::memcpy(&bits, &f, 4);
        result = std::to_string(bits);
        break;
      }
      case 5: {
        double d = s->ReadFloat64();
        std::uint64_t bits;
        std::memcpy(&bits, &d, 8);
        result = std::to_string(bits);
        break;
      }
      case 6:
        result = std::to_string(s->ReadExact(buffer, 5));
        for (std::uint8_t b : buffer) result += "," + std::to_string(b);
        break;
      case 7: result = std::to_string(s->SkipExact(3)); break;
      case 8: result = "[" + Std(s->ReadText(4)) + "]"; break;
      case 9: result = "[" + Std(s->ReadTextLine()) + "]"; break;
      default: break;
    }
  } catch (const std::exception& error) {
    result = std::string("raised ") + error.what();
  }
  return result + " @" + std::to_string(s->Position());
}

constexpr int kOperations = 10;

void ExpectSameAsGeneralReads(TByteStream* reference, TByteStream* direct, const char* what) {
  for (std::int32_t at = 0; at <= reference->Size(); ++at) {
    for (int op = 0; op < kOperations; ++op) {
      EXPECT_EQ(Outcome(direct, at, op), Outcome(reference, at, op)) << what << ", offset " << at << ", op " << op;
    }
  }
}

TEST(DirectReads, MemoryAndBankStreamsMatchTheGeneralReadsAtEveryOffset) {
  Bytes bytes = Sample();
  auto size = static_cast<std::int32_t>(bytes.size());
  // One byte per Read: the general loops at their slowest.
  Ref<testing_streams::TScriptedStream> reference = Scripted(bytes);
  reference->maxChunk = 1;

  Ref<TMemoryStream> memory = CreateMemoryStream(bytes.data(), size, 1, 0);
  ExpectSameAsGeneralReads(reference.Get(), memory.Get(), "memory stream");

  Ref<TBank> bank = NewBank(size);
  std::memcpy(BankAddress(bank.Get()), bytes.data(), bytes.size());
  Ref<TBankByteStream> banked = NewBankByteStream(bank.Get());
  ExpectSameAsGeneralReads(reference.Get(), banked.Get(), "bank stream");
}

TEST(DirectReads, AnUnreadableMemoryStreamRaisesLikeAStalledOne) {
  Bytes bytes = Sample();
  Ref<testing_streams::TScriptedStream> stalled = Scripted(bytes);
  stalled->stallAt = 0;  // Read brings nothing although the end is not reached
  Ref<TMemoryStream> writeOnly = CreateMemoryStream(bytes.data(), static_cast<std::int32_t>(bytes.size()), 0, 1);
  ExpectSameAsGeneralReads(stalled.Get(), writeOnly.Get(), "write-only memory stream");
}

TEST(DirectReads, ABankStreamFollowsItsBankAcrossResizes) {
  Ref<TBank> bank = NewBank(8);
  for (int i = 0; i < 8; ++i) BankAddress(bank.Get())[i] = static_cast<std::uint8_t>(i + 1);
  Ref<TBankByteStream> s = NewBankByteStream(bank.Get());
  EXPECT_EQ(s->ReadInt32(), 0x04030201);
  // Shrunk under the stream: the next value is cut at the new end.
  BankResize(bank.Get(), 6);
  EXPECT_EQ(s->ReadInt32(), 0x0605);
  EXPECT_TRUE(s->AtEnd());
  // Shrunk below the position: nothing is there to read.
  BankResize(bank.Get(), 2);
  testing_streams::ExpectError<TStreamReadError>([&] { s->ReadUInt8(); }, "Error reading from stream");
  EXPECT_EQ(Std(s->ReadTextLine()), "");
  // Grown again: the bytes after the position are read from the new memory.
  BankResize(bank.Get(), 64);
  BankSetInt64At(bank.Get(), 6, 0x1122334455667788);
  EXPECT_EQ(s->ReadInt64(), 0x1122334455667788);
  EXPECT_EQ(s->Position(), 14);

  Ref<TBankByteStream> none = TBankByteStream::Create(nullptr);
  testing_streams::ExpectError<TRuntimeError>([&] { none->ReadInt32(); },
                                              "Attempt to access field or method of Null object");
}

class DirectFileReads : public testing_streams::TempDir {};

TEST_F(DirectFileReads, FileLinesMatchTheGeneralReads) {
  Bytes bytes = Sample();
  WriteFile("sample.bin", std::string(bytes.begin(), bytes.end()));
  Ref<TFileStream> file = TFileStream::OpenCFile(String(PathOf("sample.bin")), 1, 0);
  ASSERT_TRUE(file);
  Ref<testing_streams::TScriptedStream> reference = Scripted(bytes);
  reference->maxChunk = 1;
  ExpectSameAsGeneralReads(reference.Get(), file.Get(), "file stream");
  file->Close();
  EXPECT_EQ(Std(file->ReadTextLine()), "");
}

TEST_F(DirectFileReads, LongLinesAndLinesAfterWritesOnOneHandle) {
  // Longer than the line buffer, with a CR LF pair split across its edge.
  std::string longLine(255, 'a');
  longLine += "\r";
  longLine += std::string(300, 'b');
  WriteFile("long.txt", longLine + "\r\nshort\nend");
  Ref<TFileStream> file = TFileStream::OpenCFile(String(PathOf("long.txt")), 1, 1);
  ASSERT_TRUE(file);
  std::string expected(255, 'a');
  expected += std::string(300, 'b');
  EXPECT_EQ(Std(file->ReadTextLine()), expected);
  EXPECT_EQ(file->Position(), 558);
  EXPECT_EQ(Std(file->ReadTextLine()), "short");
  // A write between two line reads: the next line starts after what was written.
  file->WriteUInt8('E');
  EXPECT_EQ(Std(file->ReadTextLine()), "nd");
  EXPECT_TRUE(file->AtEnd());
  file->Close();
  EXPECT_EQ(ReadFile("long.txt").substr(564), "End");
}

}  // namespace
}  // namespace cvx
