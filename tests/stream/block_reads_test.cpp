// Memory and bank streams answer typed reads and text lines from their bytes
// directly; every answer must equal what the TByteStream loops over Read give
// for the same bytes (the scripted stream keeps those loops).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "corvex/stream/bank.h"
#include "corvex/stream/bankstream.h"
#include "corvex/stream/filestream.h"
#include "corvex/stream/memorystream.h"
#include "tests/stream/temp_dir.h"
#include "tests/stream/test_streams.h"

namespace cvx {
namespace {

using testing_streams::Bytes;

// One read applied to a stream, its result as text ("throws" for a stream
// error) followed by the position it left.
using Op = std::function<std::string(TByteStream*)>;

std::string Apply(const Op& op, TByteStream* s) {
  std::string result;
  try {
    result = op(s);
  } catch (const TStreamReadError&) {
    result = "throws";
  }
  return result + " @" + std::to_string(s->Position());
}

template <class T>
std::string Bits(T value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof value);
  return std::to_string(bits);
}

std::string Units(const String& text) {
  std::string out;
  for (std::int32_t i = 0; i < text.Length(); ++i) out += std::to_string(text.Units()[i]) + ",";
  return out;
}

const std::vector<std::pair<const char*, Op>>& Ops() {
  static const std::vector<std::pair<const char*, Op>> ops = {
      {"u8", [](TByteStream* s) { return std::to_string(s->ReadUInt8()); }},
      {"u16", [](TByteStream* s) { return std::to_string(s->ReadUInt16()); }},
      {"i32", [](TByteStream* s) { return std::to_string(s->ReadInt32()); }},
      {"i64", [](TByteStream* s) { return std::to_string(s->ReadInt64()); }},
      {"f32", [](TByteStream* s) { return Bits(s->ReadFloat32()); }},
      {"f64", [](TByteStream* s) { return Bits(s->ReadFloat64()); }},
      {"line", [](TByteStream* s) { return Units(s->ReadTextLine()); }},
      {"text3", [](TByteStream* s) { return Units(s->ReadText(3)); }},
      {"exact5", [](TByteStream* s) {
         std::uint8_t b[5] = {9, 9, 9, 9, 9};
         const std::int32_t n = s->ReadExact(b, 5);
         std::string out = std::to_string(n) + ":";
         for (std::uint8_t x : b) out += std::to_string(x) + ",";
         return out;
       }},
      {"end", [](TByteStream* s) { return std::to_string(s->AtEnd()); }},
  };
  return ops;
}

// Bytes with lines ended by LF, CR LF, a 0 byte and the end of the data.
Bytes Sample() {
  const std::string text = std::string("ab\r\ncd\nx\ry\0tail\r", 17) + "\xff\x80\x7f\x01";
  return Bytes(text.begin(), text.end());
}

// Every start position, then every op repeated to past the end, on each stream kind.
TEST(BlockReads, TypedReadsAndLinesMatchTheLoopsOverRead) {
  const Bytes data = Sample();
  const auto size = static_cast<std::int32_t>(data.size());
  for (const auto& [name, op] : Ops()) {
    for (std::int32_t start = 0; start <= size; ++start) {
      Ref<testing_streams::TScriptedStream> reference = testing_streams::Scripted(data);
      Ref<TMemoryStream> memory = CreateMemoryStream(data.data(), size, 1, 0);
      Ref<TBank> bank = NewBank(size);
      std::memcpy(BankAddress(bank.Get()), data.data(), data.size());
      Ref<TBankByteStream> banked = NewBankByteStream(bank.Get());
      reference->Seek(start);
      memory->Seek(start);
      banked->Seek(start);
      for (int k = 0; k < 8; ++k) {
        const std::string expected = Apply(op, reference.Get());
        EXPECT_EQ(Apply(op, memory.Get()), expected) << name << " from " << start << " step " << k;
        EXPECT_EQ(Apply(op, banked.Get()), expected) << name << " from " << start << " step " << k;
      }
    }
  }
}

TEST(BlockReads, UnreadableBytesRaiseOnlyBeforeTheEnd) {
  const Bytes data = Sample();
  const auto size = static_cast<std::int32_t>(data.size());
  for (const auto& [name, op] : Ops()) {
    for (std::int32_t start : {0, size - 1, size}) {
      // A write-only memory stream reads like a stream whose Read brings nothing.
      Ref<testing_streams::TScriptedStream> reference = testing_streams::Scripted(data);
      reference->stallAt = 0;
      std::vector<std::uint8_t> block = data;
      Ref<TMemoryStream> memory = CreateMemoryStream(block.data(), size, 0, 1);
      reference->Seek(start);
      memory->Seek(start);
      EXPECT_EQ(Apply(op, memory.Get()), Apply(op, reference.Get())) << name << " from " << start;
    }
  }
}

TEST(BlockReads, ABankThatShrankUnderItsStreamRaisesLikeRead) {
  // Position past the bank's new end: not at the end, yet Read brings nothing.
  Ref<TBank> bank = NewBank(16);
  Ref<TBankByteStream> s = NewBankByteStream(bank.Get());
  s->Seek(12);
  bank->Resize(8);
  EXPECT_EQ(s->AtEnd(), 0);
  EXPECT_THROW(s->ReadInt32(), TStreamReadError);
  EXPECT_THROW(s->ReadUInt8(), TStreamReadError);
  EXPECT_EQ(s->ReadTextLine().Length(), 0);
  EXPECT_EQ(s->Position(), 12);
}

// The file stream reads its lines from stdio's buffer; lines, the values
// between them and the position agree with the loop over Read, and a write
// after a line still lands where the line ended.
class FileLines : public testing_streams::TempDir {};

TEST_F(FileLines, LinesMatchTheLoopOverReadAndKeepThePosition) {
  const Bytes data = Sample();
  WriteFile("lines", std::string(data.begin(), data.end()));
  for (const char* mix : {"line", "i32", "u8"}) {
    Ref<TFileStream> file = TFileStream::OpenCFile(String(PathOf("lines")), 1, 0);
    Ref<testing_streams::TScriptedStream> reference = testing_streams::Scripted(data);
    const Op& line = Ops()[6].second;
    const Op* other = nullptr;
    for (const auto& [name, op] : Ops())
      if (std::string(name) == mix) other = &op;
    for (int k = 0; k < 8; ++k) {
      EXPECT_EQ(Apply(line, file.Get()), Apply(line, reference.Get())) << mix << " step " << k;
      EXPECT_EQ(Apply(*other, file.Get()), Apply(*other, reference.Get())) << mix << " step " << k;
    }
    file->Close();
  }
  Ref<TFileStream> both = TFileStream::OpenCFile(String(PathOf("lines")), 1, 1);
  EXPECT_EQ(Units(both->ReadTextLine()), Units("ab"_s));
  both->WriteText("ZZ"_s);
  EXPECT_EQ(both->Position(), 6);
  both->Close();
  EXPECT_EQ(ReadFile("lines").substr(0, 7), "ab\r\nZZ\n");
  // A write-only file reads no line.
  Ref<TFileStream> writeOnly = TFileStream::OpenCFile(String(PathOf("w")), 0, 1);
  EXPECT_EQ(writeOnly->ReadTextLine().Length(), 0);
  EXPECT_EQ(writeOnly->Position(), 0);
  writeOnly->Close();
}

}  // namespace
}  // namespace cvx
