#include "corvex/stream/textstream.h"

#include <cstdio>
#include <string>

#include "corvex/stream/openers.h"
#include "corvex/stream/url.h"

namespace cvx {

namespace {

constexpr std::int32_t kHexBytesPerLine = 32;
constexpr char kHexDigits[] = "0123456789ABCDEF";

Ref<TCharsetStream> consoleStream;

// Upper-case digits; nothing is validated, so other characters give
// arbitrary values rather than errors.
int HexValue(int digit) { return digit <= '9' ? digit - '0' : digit - 55; }

// Standard input and output as one byte stream without a position.
class TConsoleByteStream final : public TByteStream {
 public:
  // Looks at the next input byte without taking it, so that a line read
  // at the end of the input stops instead of failing.
  int AtEnd() override {
    int c = std::getc(stdin);
    if (c == EOF) return 1;
    std::ungetc(c, stdin);
    return 0;
  }
  std::int32_t Read(void* buffer, std::int32_t count) override {
    if (count <= 0) return 0;
    return static_cast<std::int32_t>(std::fread(buffer, 1, static_cast<std::size_t>(count), stdin));
  }
  std::int32_t Write(const void* buffer, std::int32_t count) override {
    if (count <= 0) return 0;
    return static_cast<std::int32_t>(std::fwrite(buffer, 1, static_cast<std::size_t>(count), stdout));
  }
  void Flush() override { std::fflush(stdout); }
};

class TTextOpener final : public TStreamOpener {
 public:
  Ref<TByteStream> OpenUrl(TObject*, const String& protocol, const String& path, int readable, int writeable) override {
    int encoding = EncodingOfProtocol(protocol);
    if (encoding == 0) return nullptr;
    Ref<TByteStream> inner = OpenUrlStream(path, readable, writeable);
    if (!inner) return nullptr;
    return TCharsetStream::Create(inner.Get(), encoding);
  }
};

}  // namespace

int EncodingOfProtocol(const String& protocol) {
  if (protocol == "latin1"_s) return EncodingLatin1;
  if (protocol == "utf8"_s) return EncodingUtf8;
  if (protocol == "utf16be"_s) return EncodingUtf16BE;
  if (protocol == "utf16le"_s) return EncodingUtf16LE;
  return 0;
}

Ref<TCharsetStream> TCharsetStream::Create(TByteStream* stream, int encoding) {
  Ref<TCharsetStream> text = new TCharsetStream();
  text->encoding_ = encoding;
  text->SetInner(stream);
  return text;
}

int TCharsetStream::ReadRawByte() { return inner_->ReadUInt8(); }
void TCharsetStream::WriteRawByte(int value) { inner_->WriteUInt8(value); }

int TCharsetStream::DecodeChar() {
  // Characters are 16-bit units: the arithmetic of malformed UTF-8 can give
  // values below 0 or above FFFF hex, which keep their low 16 bits, so that a
  // line never holds a unit that would have ended it (EF C0 8A is 1000A hex,
  // which is a line feed).
  return DecodeCode() & 0xFFFF;
}

int TCharsetStream::DecodeCode() {
  switch (encoding_) {
    case EncodingLatin1:
      return ReadRawByte();
    case EncodingUtf8: {
      int a = ReadRawByte();
      if (a < 128) return a;
      if (a < 224) {
        int b = ReadRawByte();
        return (a - 192) * 64 + (b - 128);
      }
      if (a < 240) {
        int b = ReadRawByte();
        int c = ReadRawByte();
        return (a - 224) * 4096 + (b - 128) * 64 + (c - 128);
      }
      ReadRawByte();
      ReadRawByte();
      return 0;
    }
    case EncodingUtf16BE: {
      int a = ReadRawByte();
      int b = ReadRawByte();
      return a * 256 + b;
    }
    case EncodingUtf16LE: {
      int a = ReadRawByte();
      int b = ReadRawByte();
      return a + b * 256;
    }
    default:
      ReadRawByte();
      return 0;
  }
}

void TCharsetStream::EncodeChar(int code) {
  const int c = code & 0xFFFF;  // characters are 16-bit units
  switch (encoding_) {
    case EncodingLatin1:
      WriteRawByte(c & 0xFF);
      break;
    case EncodingUtf8:
      if (c < 128) {
        WriteRawByte(c);
      } else if (c < 2048) {
        WriteRawByte((c / 64) | 0xC0);
        WriteRawByte((c % 64) | 0x80);
      } else {
        WriteRawByte((c / 4096) | 0xE0);
        WriteRawByte(((c / 64) % 64) | 0x80);
        WriteRawByte((c % 64) | 0x80);
      }
      break;
    case EncodingUtf16BE:
      WriteRawByte(c / 256);
      WriteRawByte(c & 0xFF);
      break;
    case EncodingUtf16LE:
      WriteRawByte(c & 0xFF);
      WriteRawByte(c / 256);
      break;
    default:
      break;
  }
}

void TCharsetStream::EndHexLineWrite() {
  if (hexCount_ == 0) return;
  WriteRawByte(13);
  WriteRawByte(10);
  hexCount_ = 0;
}

void TCharsetStream::EndHexLineRead() {
  if (hexCount_ == 0) return;
  int b = ReadRawByte();
  if (b == 13) b = ReadRawByte();
  if (b != 10) throw TRuntimeError("Malformed line terminator");
  hexCount_ = 0;
}

std::int32_t TCharsetStream::Write(const void* buffer, std::int32_t count) {
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  for (std::int32_t i = 0; i < count; ++i) {
    WriteRawByte(kHexDigits[bytes[i] >> 4]);
    WriteRawByte(kHexDigits[bytes[i] & 15]);
    if (++hexCount_ == kHexBytesPerLine) EndHexLineWrite();
  }
  return count < 0 ? 0 : count;
}

std::int32_t TCharsetStream::Read(void* buffer, std::int32_t count) {
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  std::int32_t n = 0;
  // Past the end of the data there are no digits: decoding the zeros the
  // inner stream hands out there would invent bytes.
  while (n < count && !AtEnd()) {
    if (hexCount_ == kHexBytesPerLine) {
      EndHexLineRead();
      if (AtEnd()) break;
    }
    int high = ReadRawByte();
    int low = ReadRawByte();
    bytes[n++] = static_cast<std::uint8_t>(HexValue(high) * 16 + HexValue(low));
    ++hexCount_;
  }
  return n;
}

String TCharsetStream::ReadTextLine() {
  EndHexLineRead();
  std::u16string line;
  while (!AtEnd()) {
    int c = DecodeChar();
    if (c == 0 || c == 10) break;
    if (c == 13) continue;
    if (line.size() == line.capacity()) line.reserve(line.size() + 1024);
    line.push_back(static_cast<char16_t>(c));
  }
  return String::OfUnits(line.data(), static_cast<std::int32_t>(line.size()));
}

int TCharsetStream::WriteTextLine(const String& text) {
  WriteText(text);
  WriteText("\r\n"_s);
  return 1;
}

String TCharsetStream::ReadText(std::int32_t length) {
  EndHexLineRead();
  std::u16string text;
  for (std::int32_t i = 0; i < length; ++i) {
    // A length read from corrupt data must not make a huge text of zeros:
    // the text stops where the data does.
    if (AtEnd()) break;
    text.push_back(static_cast<char16_t>(DecodeChar()));
  }
  return String::OfUnits(text.data(), static_cast<std::int32_t>(text.size()));
}

void TCharsetStream::WriteText(const String& text) {
  EndHexLineWrite();
  String keep = text;
  for (std::int32_t i = 0; i < keep.Length(); ++i) EncodeChar(keep.Units()[i]);
}

// A text stream holds numbers as their decimal text: the byte widths of the
// binary streams do not apply, so every typed write reads back as the value
// it was given (WriteUInt8(300) is the line "300", not the low byte's "44").
int TCharsetStream::ReadUInt8() { return ReadTextLine().AsInt(); }
void TCharsetStream::WriteUInt8(int value) { WriteTextLine(String::OfInt(value)); }
int TCharsetStream::ReadUInt16() { return ReadTextLine().AsInt(); }
void TCharsetStream::WriteUInt16(int value) { WriteTextLine(String::OfInt(value)); }
std::int32_t TCharsetStream::ReadInt32() { return ReadTextLine().AsInt(); }
void TCharsetStream::WriteInt32(std::int32_t value) { WriteTextLine(String::OfInt(value)); }
std::int64_t TCharsetStream::ReadInt64() { return ReadTextLine().AsLong(); }
void TCharsetStream::WriteInt64(std::int64_t value) { WriteTextLine(String::OfLong(value)); }
float TCharsetStream::ReadFloat32() { return ReadTextLine().AsFloat(); }
void TCharsetStream::WriteFloat32(float value) { WriteTextLine(String::OfFloat(value)); }
double TCharsetStream::ReadFloat64() { return ReadTextLine().AsDouble(); }
void TCharsetStream::WriteFloat64(double value) { WriteTextLine(String::OfDouble(value)); }

TCharsetStream* ConsoleStream() {
  InitTextStreams();
  return consoleStream.Get();
}

void PrintLine(const String& text) {
  TCharsetStream* console = ConsoleStream();
  console->WriteTextLine(text);
  console->Flush();
}

String ReadConsoleLine(const String& prompt) {
  TCharsetStream* console = ConsoleStream();
  console->WriteText(prompt);
  console->Flush();
  return console->ReadTextLine();
}

void detail::CreateTextOpener() { new TTextOpener(); }

void InitTextStreams() {
  static bool done = false;
  if (done) return;
  done = true;
  InitStream();
  consoleStream = TCharsetStream::Create(Ref<TByteStream>(new TConsoleByteStream()).Get(), EncodingUtf8);
}

}  // namespace cvx
