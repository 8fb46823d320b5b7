#include "corvex/stream/stream.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <string>

namespace cvx {

static_assert(std::endian::native == std::endian::little, "the typed stream operations assume a little-endian host");

// ---- TStreamBase ------------------------------------------------------------

int TStreamBase::AtEnd() { return Position() == Size(); }
std::int32_t TStreamBase::Position() { return -1; }
std::int32_t TStreamBase::Size() { return 0; }
std::int32_t TStreamBase::Seek(std::int32_t) { return -1; }
void TStreamBase::Flush() {}
void TStreamBase::Close() {}
std::int32_t TStreamBase::Read(void*, std::int32_t) { throw TRuntimeError("Stream is not readable"); }
std::int32_t TStreamBase::Write(const void*, std::int32_t) { throw TRuntimeError("Stream is not writeable"); }

// ---- TByteStream ------------------------------------------------------------

std::int32_t TByteStream::ReadExact(void* buffer, std::int32_t count) {
  auto* at = static_cast<std::uint8_t*>(buffer);
  std::int32_t remaining = count;
  while (remaining > 0 && !AtEnd()) {
    std::int32_t n = Read(at, remaining);
    if (n <= 0) throw TStreamReadError();
    n = std::min(n, remaining);
    at += n;
    remaining -= n;
  }
  return count;
}

std::int32_t TByteStream::WriteExact(const void* buffer, std::int32_t count) {
  const auto* at = static_cast<const std::uint8_t*>(buffer);
  std::int32_t remaining = count;
  while (remaining > 0) {
    std::int32_t n = Write(at, remaining);
    if (n <= 0) throw TStreamWriteError();
    n = std::min(n, remaining);
    at += n;
    remaining -= n;
  }
  return count;
}

std::int32_t TByteStream::SkipExact(std::int32_t count) {
  std::uint8_t scratch[1024];
  std::int32_t remaining = count;
  while (remaining > 0 && !AtEnd()) {
    std::int32_t n = Read(scratch, std::min<std::int32_t>(remaining, sizeof scratch));
    if (n <= 0) throw TStreamReadError();
    remaining -= std::min(n, remaining);
  }
  return count;
}

namespace {

// The typed values: read into a cleared buffer so that bytes missing at the
// end of the stream read as zero.
template <class T>
T ReadValue(TByteStream* stream) {
  unsigned char bytes[sizeof(T)] = {};
  stream->ReadExact(bytes, sizeof(T));
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

template <class T>
void WriteValue(TByteStream* stream, T value) {
  unsigned char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  stream->WriteExact(bytes, sizeof(T));
}

// The text as one byte per character (the low 8 bits of each unit).
std::string LowBytes(const String& text) {
  std::string bytes(static_cast<std::size_t>(text.Length()), '\0');
  const char16_t* units = text.Units();
  for (std::int32_t i = 0; i < text.Length(); ++i) bytes[i] = static_cast<char>(units[i] & 0xFF);
  return bytes;
}

}  // namespace

int TByteStream::ReadUInt8() { return ReadValue<std::uint8_t>(this); }
void TByteStream::WriteUInt8(int value) { WriteValue(this, static_cast<std::uint8_t>(value)); }
int TByteStream::ReadUInt16() { return ReadValue<std::uint16_t>(this); }
void TByteStream::WriteUInt16(int value) { WriteValue(this, static_cast<std::uint16_t>(value)); }
std::int32_t TByteStream::ReadInt32() { return ReadValue<std::int32_t>(this); }
void TByteStream::WriteInt32(std::int32_t value) { WriteValue(this, value); }
std::int64_t TByteStream::ReadInt64() { return ReadValue<std::int64_t>(this); }
void TByteStream::WriteInt64(std::int64_t value) { WriteValue(this, value); }
float TByteStream::ReadFloat32() { return ReadValue<float>(this); }
void TByteStream::WriteFloat32(float value) { WriteValue(this, value); }
double TByteStream::ReadFloat64() { return ReadValue<double>(this); }
void TByteStream::WriteFloat64(double value) { WriteValue(this, value); }

String TByteStream::ReadTextLine() {
  std::string line;
  for (;;) {
    std::uint8_t byte = 0;
    if (Read(&byte, 1) != 1) break;
    if (byte == 0 || byte == 10) break;
    if (byte == 13) continue;
    line.push_back(static_cast<char>(byte));
  }
  return String::OfBytes(line.data(), static_cast<std::int32_t>(line.size()));
}

int TByteStream::WriteTextLine(const String& text) {
  std::string bytes = LowBytes(text);
  auto length = static_cast<std::int32_t>(bytes.size());
  if (Write(bytes.data(), length) != length) return 0;
  static const std::uint8_t kLineEnd[2] = {13, 10};
  return Write(kLineEnd, 2) == 2;
}

String TByteStream::ReadText(std::int32_t length) {
  if (length <= 0) return String();
  // The longest string (string.cpp): a longer text could not be made, so it
  // raises before a buffer of that many bytes is made and the stream read.
  constexpr std::int32_t kLongestString = (std::numeric_limits<std::int32_t>::max() - 64) / 2;
  if (length > kLongestString) throw TRuntimeError("String too long");
  Array<std::uint8_t> bytes = NewArray<std::uint8_t>(length);
  ReadExact(bytes->Data(), length);
  return String::OfBytes(bytes->Data(), length);
}

void TByteStream::WriteText(const String& text) {
  std::string bytes = LowBytes(text);
  WriteExact(bytes.data(), static_cast<std::int32_t>(bytes.size()));
}

void detail::ReadThroughLoop(TByteStream* stream, void* bytes, std::int32_t count) {
  stream->TByteStream::ReadExact(bytes, count);
}

std::int32_t detail::TextLineLength(const std::uint8_t* bytes, std::int32_t available, bool* carriageReturn) noexcept {
  // Only bytes below 14 can end a line or be a CR. Eight bytes at a time: the
  // mask has the top bit of every byte below 14 set, and of none before the
  // first such byte (a false mark can only follow a true one, through the
  // borrow), so its lowest mark is exactly the first byte to look at.
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  std::int32_t at = 0;
  bool cr = false;
  for (;;) {
    while (available - at >= 8) {
      std::uint64_t word;
      std::memcpy(&word, bytes + at, 8);
      const std::uint64_t below14 = (word - kOnes * 14) & ~word & (kOnes * 0x80);
      if (below14) {
        at += std::countr_zero(below14) >> 3;  // the host is little-endian: the lowest byte comes first
        break;
      }
      at += 8;
    }
    if (at >= available) break;
    const std::uint8_t byte = bytes[at];
    if (byte == 10 || byte == 0) break;
    cr |= byte == 13;
    ++at;
  }
  *carriageReturn = cr;
  return at;
}

String detail::TextLineIn(const std::uint8_t* bytes, std::int32_t available, std::int32_t* consumed) {
  bool carriageReturn = false;
  const std::int32_t end = TextLineLength(bytes, available, &carriageReturn);
  *consumed = end < available ? end + 1 : end;
  if (!carriageReturn) return String::OfBytes(bytes, end);
  std::string line;
  line.reserve(static_cast<std::size_t>(end));
  for (std::int32_t i = 0; i < end; ++i)
    if (bytes[i] != 13) line.push_back(static_cast<char>(bytes[i]));
  return String::OfBytes(line.data(), static_cast<std::int32_t>(line.size()));
}

Ref<TObject> TByteStream::ReadSerialized() { throw TRuntimeError("Unable to read object"); }
void TByteStream::WriteSerialized(TObject*) { throw TRuntimeError("Unable to write object"); }

// ---- TStreamRelay -------------------------------------------------------------

int TStreamRelay::AtEnd() { return inner_->AtEnd(); }
std::int32_t TStreamRelay::Position() { return inner_->Position(); }
std::int32_t TStreamRelay::Size() { return inner_->Size(); }
std::int32_t TStreamRelay::Seek(std::int32_t position) { return inner_->Seek(position); }
void TStreamRelay::Flush() { inner_->Flush(); }
void TStreamRelay::Close() { inner_->Close(); }
std::int32_t TStreamRelay::Read(void* buffer, std::int32_t count) { return inner_->Read(buffer, count); }
std::int32_t TStreamRelay::Write(const void* buffer, std::int32_t count) { return inner_->Write(buffer, count); }
int TStreamRelay::ReadUInt8() { return inner_->ReadUInt8(); }
void TStreamRelay::WriteUInt8(int value) { inner_->WriteUInt8(value); }
int TStreamRelay::ReadUInt16() { return inner_->ReadUInt16(); }
void TStreamRelay::WriteUInt16(int value) { inner_->WriteUInt16(value); }
std::int32_t TStreamRelay::ReadInt32() { return inner_->ReadInt32(); }
void TStreamRelay::WriteInt32(std::int32_t value) { inner_->WriteInt32(value); }
float TStreamRelay::ReadFloat32() { return inner_->ReadFloat32(); }
void TStreamRelay::WriteFloat32(float value) { inner_->WriteFloat32(value); }
double TStreamRelay::ReadFloat64() { return inner_->ReadFloat64(); }
void TStreamRelay::WriteFloat64(double value) { inner_->WriteFloat64(value); }
String TStreamRelay::ReadTextLine() { return inner_->ReadTextLine(); }
int TStreamRelay::WriteTextLine(const String& text) { return inner_->WriteTextLine(text); }
String TStreamRelay::ReadText(std::int32_t length) { return inner_->ReadText(length); }
void TStreamRelay::WriteText(const String& text) { inner_->WriteText(text); }
Ref<TObject> TStreamRelay::ReadSerialized() { return inner_->ReadSerialized(); }
void TStreamRelay::WriteSerialized(TObject* object) { inner_->WriteSerialized(object); }
void TStreamRelay::SetInner(TByteStream* stream) {
  // A relay that reached itself through its inner streams would pass every
  // call round until the stack overflows (and the streams would hold each
  // other for good).
  for (TByteStream* inner = stream; inner;) {
    if (inner == this) throw TRuntimeError("Stream relay would relay to itself");
    auto* relay = dynamic_cast<TStreamRelay*>(inner);
    inner = relay ? relay->Inner() : nullptr;
  }
  inner_ = stream;
}

// ---- TBorrowedStream ----------------------------------------------------------

void TBorrowedStream::Close() { SetInner(nullptr); }

Ref<TBorrowedStream> TBorrowedStream::Borrow(TByteStream* stream) {
  return Ref<TBorrowedStream>(new TBorrowedStream(stream));
}

// ---- Free functions -----------------------------------------------------------

namespace {
template <class T>
T* Checked(T* stream) {
  if (!stream) ThrowNullObjectError();
  return stream;
}
}  // namespace

int StreamAtEnd(TStreamBase* stream) { return Checked(stream)->AtEnd(); }
std::int32_t StreamPosition(TStreamBase* stream) { return Checked(stream)->Position(); }
std::int32_t StreamSize(TStreamBase* stream) { return Checked(stream)->Size(); }
std::int32_t StreamSeek(TStreamBase* stream, std::int32_t position) { return Checked(stream)->Seek(position); }
void StreamFlush(TStreamBase* stream) { Checked(stream)->Flush(); }
void StreamClose(TStreamBase* stream) { Checked(stream)->Close(); }

int StreamReadUInt8(TByteStream* stream) { return Checked(stream)->ReadUInt8(); }
void StreamWriteUInt8(TByteStream* stream, int value) { Checked(stream)->WriteUInt8(value); }
int StreamReadUInt16(TByteStream* stream) { return Checked(stream)->ReadUInt16(); }
void StreamWriteUInt16(TByteStream* stream, int value) { Checked(stream)->WriteUInt16(value); }
std::int32_t StreamReadInt32(TByteStream* stream) { return Checked(stream)->ReadInt32(); }
void StreamWriteInt32(TByteStream* stream, std::int32_t value) { Checked(stream)->WriteInt32(value); }
std::int64_t StreamReadInt64(TByteStream* stream) { return Checked(stream)->ReadInt64(); }
void StreamWriteInt64(TByteStream* stream, std::int64_t value) { Checked(stream)->WriteInt64(value); }
float StreamReadFloat32(TByteStream* stream) { return Checked(stream)->ReadFloat32(); }
void StreamWriteFloat32(TByteStream* stream, float value) { Checked(stream)->WriteFloat32(value); }
double StreamReadFloat64(TByteStream* stream) { return Checked(stream)->ReadFloat64(); }
void StreamWriteFloat64(TByteStream* stream, double value) { Checked(stream)->WriteFloat64(value); }
String StreamReadTextLine(TByteStream* stream) { return Checked(stream)->ReadTextLine(); }
int StreamWriteTextLine(TByteStream* stream, const String& text) { return Checked(stream)->WriteTextLine(text); }
String StreamReadText(TByteStream* stream, std::int32_t length) { return Checked(stream)->ReadText(length); }
void StreamWriteText(TByteStream* stream, const String& text) { Checked(stream)->WriteText(text); }

namespace {
constexpr std::int32_t kDefaultCopyBuffer = 4096;
}

void StreamCopy(TStreamBase* from, TByteStream* to, std::int32_t bufferSize) {
  Checked(from);
  Checked(to);
  if (bufferSize < 1) bufferSize = kDefaultCopyBuffer;
  Array<std::uint8_t> buffer = NewArray<std::uint8_t>(bufferSize);
  while (!from->AtEnd()) {
    std::int32_t n = from->Read(buffer->Data(), bufferSize);
    // A source that brings nothing yet is not at its end would loop forever.
    if (n <= 0) break;
    to->WriteExact(buffer->Data(), std::min(n, bufferSize));
  }
}

std::int32_t StreamCopyBytes(TByteStream* from, TByteStream* to, std::int32_t count, std::int32_t bufferSize) {
  Checked(from);
  Checked(to);
  if (bufferSize < 1) bufferSize = kDefaultCopyBuffer;
  Array<std::uint8_t> buffer = NewArray<std::uint8_t>(std::max<std::int32_t>(1, std::min(count, bufferSize)));
  std::int32_t copied = 0;
  while (count > 0) {
    std::int32_t n = std::min(count, bufferSize);
    // ReadExact's loop, counting what actually arrived: bytes past the end of
    // the source are not there to copy.
    std::int32_t got = 0;
    while (got < n && !from->AtEnd()) {
      std::int32_t r = from->Read(buffer->Data() + got, n - got);
      if (r <= 0) throw TStreamReadError();
      got += std::min(r, n - got);
    }
    if (got > 0) to->WriteExact(buffer->Data(), got);
    copied += got;
    if (got < n) break;
    count -= n;
  }
  return copied;
}

}  // namespace cvx
