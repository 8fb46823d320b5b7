// The memory-backed streams (memory, bank) answer typed reads and text lines
// from their bytes directly, and the file stream takes lines from the stdio
// buffer. Each must give exactly what the general TByteStream reads give over
// the same bytes: the same values, positions and errors, at every offset up to
// and past the end.
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <utility>
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

// The line scanner looks at eight bytes at a time; against a byte-by-byte
// scan it must find the same end and the same CR at every start and length,
// over bytes where the ones that matter (0, LF, CR), their neighbours (1..14)
// and the high ones (whose borrow could mislead a word-wide test) are dense.
TEST(DirectReads, TheLineScannerMatchesAByteByByteScan) {
  std::mt19937 random(11);
  const std::uint8_t kinds[] = {0, 10, 13, 1, 9, 11, 12, 14, 15, 'a', 0x7F, 0x80, 0x8D, 0x8E, 0xFF};
  for (int round = 0; round < 200; ++round) {
    std::vector<std::uint8_t> bytes(40);
    const int special = 1 + round % 12;  // from dense to rare line ends
    for (auto& b : bytes) b = random() % special == 0 ? kinds[random() % 3] : kinds[3 + random() % 12];
    for (std::int32_t from = 0; from < 40; ++from) {
      for (std::int32_t available = 0; from + available <= 40; ++available) {
        std::int32_t end = 0;
        bool cr = false;
        while (end < available && bytes[from + end] != 10 && bytes[from + end] != 0) cr |= bytes[from + end++] == 13;
        bool scannedCr = !cr;
        ASSERT_EQ(detail::TextLineLength(bytes.data() + from, available, &scannedCr), end) << from << "+" << available;
        ASSERT_EQ(scannedCr, cr) << from << "+" << available;
      }
    }
  }
}

TEST(DirectReads, AnUnreadableMemoryStreamRaisesLikeAStalledOne) {
  Bytes bytes = Sample();
  Ref<testing_streams::TScriptedStream> stalled = Scripted(bytes);
  stalled->stallAt = 0;  // Read brings nothing although the end is not reached
  Ref<TMemoryStream> writeOnly = CreateMemoryStream(bytes.data(), static_cast<std::int32_t>(bytes.size()), 0, 1);
  ExpectSameAsGeneralReads(stalled.Get(), writeOnly.Get(), "write-only memory stream");
}

// A block of bytes behind the primitives alone, so that every typed read it
// answers is TByteStream's general loop: the model the memory stream's own
// reads must match.
class TPlainBlockStream : public TByteStream {
 public:
  TPlainBlockStream(Bytes bytes, bool readable, bool writeable)
      : bytes(std::move(bytes)), readable(readable), writeable(writeable) {}
  std::int32_t Position() override { return pos; }
  std::int32_t Size() override { return static_cast<std::int32_t>(bytes.size()); }
  int AtEnd() override { return pos == Size(); }
  std::int32_t Seek(std::int32_t p) override {
    pos = std::clamp<std::int32_t>(p, 0, Size());
    return pos;
  }
  std::int32_t Read(void* buffer, std::int32_t count) override {
    const std::int32_t n = readable ? std::min(count, Size() - pos) : 0;
    if (n <= 0) return 0;
    std::memcpy(buffer, bytes.data() + pos, static_cast<std::size_t>(n));
    pos += n;
    return n;
  }
  std::int32_t Write(const void* buffer, std::int32_t count) override {
    const std::int32_t n = writeable ? std::min(count, Size() - pos) : 0;
    if (n <= 0) return 0;
    std::memcpy(bytes.data() + pos, buffer, static_cast<std::size_t>(n));
    pos += n;
    return n;
  }
  Bytes bytes;
  bool readable;
  bool writeable;
  std::int32_t pos = 0;
};

// One step of a random walk over a stream: a seek, a write or a read, chosen
// and parameterised by roll. Returns what it gave and where it left the stream.
std::string Step(TByteStream* s, std::uint32_t roll) {
  std::string result;
  const std::int32_t amount = static_cast<std::int32_t>(roll / 16 % 9) - 1;  // -1 .. 7
  try {
    switch (roll % 16) {
      case 0: result = "seek " + std::to_string(s->Seek(static_cast<std::int32_t>(roll / 16 % 48) - 4)); break;
      case 1: {
        const std::uint8_t bytes[7] = {0xA1, 0x0A, 0x0D, 0x00, 0x7F, 0xFE, 0x33};
        result = "write " + std::to_string(s->Write(bytes, amount));
        break;
      }
      case 2: s->WriteInt32(static_cast<std::int32_t>(roll)); break;
      case 3: s->WriteUInt8(static_cast<int>(roll >> 8)); break;
      case 4: result = std::to_string(s->ReadUInt8()); break;
      case 5: result = std::to_string(s->ReadUInt16()); break;
      case 6: case 7: result = std::to_string(s->ReadInt32()); break;
      case 8: result = std::to_string(s->ReadInt64()); break;
      case 9: {
        const double d = s->ReadFloat64();
        std::uint64_t bits;
        std::memcpy(&bits, &d, 8);
        result = std::to_string(bits);
        break;
      }
      case 10: {
        const float f = s->ReadFloat32();
        std::uint32_t bits;
        std::memcpy(&bits, &f, 4);
        result = std::to_string(bits);
        break;
      }
      case 11: {
        std::uint8_t buffer[8] = {5, 5, 5, 5, 5, 5, 5, 5};
        result = std::to_string(s->ReadExact(buffer, amount));
        for (std::uint8_t b : buffer) result += "," + std::to_string(b);
        break;
      }
      case 12: result = std::to_string(s->SkipExact(amount)); break;
      case 13: result = "[" + Std(s->ReadText(amount)) + "]"; break;
      case 14: result = "[" + Std(s->ReadTextLine()) + "]"; break;
      default: result = "at end " + std::to_string(s->AtEnd()); break;
    }
  } catch (const std::exception& error) {
    result = std::string("raised ") + error.what();
  }
  return result + " @" + std::to_string(s->Position());
}

// Reads mixed with writes and seeks, up to and past the end of the block, on
// streams that can be read, written or both: each step gives what the general
// reads give, and the block ends up holding the same bytes.
TEST(DirectReads, MemoryStreamReadsMatchAfterSeeksAndWrites) {
  const Bytes sample = Sample();
  const auto size = static_cast<std::int32_t>(sample.size());
  std::uint32_t state = 12345;
  for (auto [readable, writeable] : {std::pair{true, true}, {true, false}, {false, true}}) {
    TPlainBlockStream* model = new TPlainBlockStream(sample, readable, writeable);
    Ref<TByteStream> reference(model);
    Bytes block = sample;
    Ref<TMemoryStream> memory = CreateMemoryStream(block.data(), size, readable, writeable);
    for (int i = 0; i < 20000; ++i) {
      state = state * 1664525u + 1013904223u;  // a fixed sequence, so a failure repeats
      const std::uint32_t roll = state >> 8;
      ASSERT_EQ(Step(memory.Get(), roll), Step(reference.Get(), roll))
          << "readable " << readable << ", writeable " << writeable << ", step " << i << ", roll " << roll;
    }
    EXPECT_EQ(block, model->bytes);
  }
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

// A bank that shows only the first three of its bytes.
class TShortBank : public TBank {
 public:
  std::int32_t BankLength() override { return 3; }
};

TEST(DirectReads, ABankStreamAsksADerivedBankForItsBytes) {
  Ref<TShortBank> bank = new TShortBank();
  bank->Resize(8);
  for (int i = 0; i < 8; ++i) bank->TBank::BankAddress()[i] = static_cast<std::uint8_t>(i + 1);
  Ref<TBankByteStream> s = NewBankByteStream(bank.Get());
  EXPECT_EQ(s->ReadUInt16(), 0x0201);
  // Cut at the third byte, as the bank's own length says.
  EXPECT_EQ(s->ReadInt32(), 0x03);
  EXPECT_TRUE(s->AtEnd());
  s->Seek(0);
  EXPECT_EQ(s->ReadInt64(), 0x030201);
  EXPECT_EQ(s->Position(), 3);
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
