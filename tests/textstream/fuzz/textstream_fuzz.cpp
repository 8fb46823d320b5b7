// libFuzzer target: arbitrary bytes read through a text stream. The first byte
// picks the encoding (the four of EncodingOfProtocol, or an unknown one) and
// the way of reading (lines, characters, counted texts, hexadecimal bytes,
// numbers, a mix). Reading must give text or raise a runtime error; anything
// else is a crash. What is read is checked where that is cheap:
//   - a line holds no unit 0, 10 or 13 (they end it or are dropped);
//   - a counted text has at most the units asked for, a hexadecimal read at
//     most the bytes asked for, and neither goes past the end of the data;
//   - a text written back in the stream's encoding reads back as the same
//     units (Latin-1 only when every unit is below 256);
//   - bytes written as hexadecimal, and numbers written as text, read back.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "corvex/runtime/startup.h"
#include "corvex/stream/bankstream.h"
#include "corvex/stream/memorystream.h"
#include "corvex/stream/textstream.h"

namespace {

using namespace cvx;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "textstream_fuzz: %s\n", what);
  std::abort();
}

const int kEncodings[] = {EncodingLatin1, EncodingUtf8, EncodingUtf16BE, EncodingUtf16LE, 0, 77};

// A fresh text stream over a new bank.
Ref<TCharsetStream> BankText(int encoding, Ref<TBankByteStream>& bank) {
  bank = NewBankByteStream(nullptr);
  return TCharsetStream::Create(bank.Get(), encoding);
}

bool Representable(const String& text, int encoding) {
  if (encoding == EncodingLatin1) {
    for (std::int32_t i = 0; i < text.Length(); ++i)
      if (text.Units()[i] > 255) return false;
    return true;
  }
  return encoding == EncodingUtf8 || encoding == EncodingUtf16BE || encoding == EncodingUtf16LE;
}

// The text written in the encoding reads back as the same units.
void CheckTextRoundTrip(const String& text, int encoding) {
  if (!Representable(text, encoding)) return;
  Ref<TBankByteStream> bank;
  Ref<TCharsetStream> out = BankText(encoding, bank);
  out->WriteText(text);
  bank->Seek(0);
  String back = out->ReadText(text.Length());
  if (!(back == text)) Fail("a text written in its encoding read back differently");
  if (!out->AtEnd()) Fail("a text written in its encoding left bytes behind when read back");
}

// A line written with WriteTextLine reads back whole.
void CheckLineRoundTrip(const String& line, int encoding) {
  if (!Representable(line, encoding)) return;
  Ref<TBankByteStream> bank;
  Ref<TCharsetStream> out = BankText(encoding, bank);
  out->WriteTextLine(line);
  out->WriteTextLine(line);
  bank->Seek(0);
  if (!(out->ReadTextLine() == line)) Fail("a line written in its encoding read back differently");
  if (!(out->ReadTextLine() == line)) Fail("a second line written in its encoding read back differently");
  if (!out->AtEnd()) Fail("two lines read back left bytes behind");
}

void CheckLine(const String& line) {
  for (std::int32_t i = 0; i < line.Length(); ++i) {
    const char16_t c = line.Units()[i];
    if (c == 0 || c == 10 || c == 13) Fail("a line holds a unit that ends lines or is dropped from them");
  }
}

void CheckBytesRoundTrip(const std::uint8_t* bytes, std::int32_t count, int encoding) {
  Ref<TBankByteStream> bank;
  Ref<TCharsetStream> out = BankText(encoding, bank);
  out->Write(bytes, count);
  out->WriteTextLine("end"_s);
  bank->Seek(0);
  std::vector<std::uint8_t> back(static_cast<std::size_t>(count) + 1);
  if (out->Read(back.data(), count) != count) Fail("bytes written as hexadecimal read back short");
  if (std::memcmp(back.data(), bytes, static_cast<std::size_t>(count)) != 0)
    Fail("bytes written as hexadecimal read back differently");
  if (Representable(String(), encoding) && !(out->ReadTextLine() == "end"_s))
    Fail("the line after hexadecimal bytes read back differently");
}

void CheckNumbersRoundTrip(std::int64_t seed, int encoding) {
  if (!Representable(String(), encoding)) return;
  Ref<TBankByteStream> bank;
  Ref<TCharsetStream> out = BankText(encoding, bank);
  const auto i32 = static_cast<std::int32_t>(seed);
  double f64;
  std::memcpy(&f64, &seed, sizeof f64);
  float f32;
  std::memcpy(&f32, &i32, sizeof f32);
  out->WriteInt32(i32);
  out->WriteInt64(seed);
  out->WriteFloat64(f64);
  out->WriteFloat32(f32);
  bank->Seek(0);
  if (out->ReadInt32() != i32) Fail("an Int32 written as text read back differently");
  if (out->ReadInt64() != seed) Fail("an Int64 written as text read back differently");
  const double d = out->ReadFloat64();
  if (std::isnan(f64) ? !std::isnan(d) : d != f64) Fail("a Float64 written as text read back differently");
  const float f = out->ReadFloat32();
  if (std::isnan(f32) ? !std::isnan(f) : f != f32) Fail("a Float32 written as text read back differently");
}

void ReadAll(const std::uint8_t* data, std::int32_t size, int encoding, int mode, int count) {
  Ref<TMemoryStream> bytes = CreateMemoryStream(data, size, 1, 0);
  Ref<TCharsetStream> in = TCharsetStream::Create(bytes.Get(), encoding);
  for (int step = 0; step < 4096 && !in->AtEnd(); ++step) {
    const std::int32_t before = bytes->Position();
    int kind = mode == 6 ? (step + count) % 6 : mode;
    switch (kind) {
      case 0: {
        String line = in->ReadTextLine();
        CheckLine(line);
        if (step < 64) CheckLineRoundTrip(line, encoding);
        break;
      }
      case 1: {
        const int c = in->DecodeChar();
        if (c < 0 || c > 0xFFFF) Fail("a character outside 0..65535 was decoded");
        break;
      }
      case 2: {
        const std::int32_t length = count % 300 == 0 ? std::numeric_limits<std::int32_t>::max() : count % 300;
        String text = in->ReadText(length);
        if (text.Length() > length) Fail("a counted text is longer than asked");
        if (step < 64) CheckTextRoundTrip(text, encoding);
        break;
      }
      case 3: {
        std::uint8_t buffer[80];
        const std::int32_t n = in->Read(buffer, count % 81);
        if (n < 0 || n > count % 81) Fail("a hexadecimal read gave a count outside 0..asked");
        break;
      }
      case 4: {
        (void)in->ReadInt32();
        (void)in->ReadFloat64();
        break;
      }
      default: {
        String text = in->ReadText(count % 17 + 1);
        if (step < 64) CheckTextRoundTrip(text, encoding);
        break;
      }
    }
    if (bytes->Position() < before || bytes->Position() > size) Fail("the position went back or past the end");
    if (bytes->Position() == before && !in->AtEnd() && kind != 3) Fail("a read took no byte before the end");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  cvx::RuntimeStartup(*argc, *argv);
  cvx::InitTextStreams();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > (1u << 20)) return 0;
  {
    const int encoding = kEncodings[data[0] % 6];
    const int mode = (data[0] / 6) % 7;
    const int count = data[1];
    const auto* body = data + 2;
    const auto length = static_cast<std::int32_t>(size - 2);
    try {
      ReadAll(body, length, encoding, mode, count);
    } catch (const TRuntimeError&) {
      // Malformed hexadecimal lines are reported, which is what they should be.
    }
    CheckBytesRoundTrip(body, length < 200 ? length : 200, encoding);
    std::int64_t seed = 0;
    std::memcpy(&seed, body, length < 8 ? static_cast<std::size_t>(length) : 8);
    CheckNumbersRoundTrip(seed, encoding);
  }
  cvx::ReclaimMemory();
  return 0;
}
