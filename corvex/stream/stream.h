/// @file
/// Streams: every byte source or sink of the framework.
///
/// TStreamBase has the eight primitives (AtEnd .. Write); TByteStream builds the
/// typed operations on them, so a stream class that only implements the
/// primitives gets every typed read and write. Numbers are stored in the host's
/// byte order, which is little-endian (see endianstream.h for the other view).
///
/// Reads that reach the end of the stream before the requested count are not
/// errors: ReadExact returns the requested count and leaves the rest of the
/// buffer as it was, and the typed reads clear their value first, so a value cut
/// short by the end keeps zero bytes. A Read or Write that transfers nothing
/// before the end raises TStreamReadError / TStreamWriteError.
#pragma once

#include <cstdint>
#include <cstring>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/array.h"
#include "corvex/runtime/error.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"

namespace cvx {

// ---- Errors -------------------------------------------------------------------

/// Every stream transfer failure. Derives from TRuntimeError so that a caller
/// catching runtime errors also catches these.
class TStreamError : public TRuntimeError {
 public:
  /// An error with the text "Stream error".
  TStreamError() : TRuntimeError("Stream error") {}

 protected:
  /// An error with the given text, for the derived errors.
  explicit TStreamError(std::string text) : TRuntimeError(std::move(text)) {}
};

/// Raised when a Read transfers nothing before the end of the stream, and by
/// the typed reads of a stream that cannot be read.
class TStreamReadError : public TStreamError {
 public:
  TStreamReadError() : TStreamError("Error reading from stream") {}
};

/// Raised when a Write transfers nothing, and by the typed writes of a stream
/// that cannot be written.
class TStreamWriteError : public TStreamError {
 public:
  TStreamWriteError() : TStreamError("Error writing to stream") {}
};

// ---- The primitives -------------------------------------------------------------

/// The eight primitives every stream implements. The base class is a stream
/// that holds nothing: it is at its end, has no position and cannot seek.
class TStreamBase : public TObject {
 public:
  /// True (1) when no more bytes can be read: Position() equals Size(). The
  /// base class is always at its end.
  virtual int AtEnd();
  /// The current byte offset, or -1 when the stream has no position.
  virtual std::int32_t Position();
  /// The number of bytes in the stream, or -1 when it has no size.
  virtual std::int32_t Size();
  /// Moves to a byte offset. Returns the new position, or -1 when the stream
  /// cannot seek.
  virtual std::int32_t Seek(std::int32_t position);
  /// Writes out what the stream buffers; does nothing in a stream without a buffer.
  virtual void Flush();
  /// Flushes and releases what the stream holds (a file, a socket); later
  /// transfers fail. Closing twice does nothing.
  virtual void Close();
  /// Reads up to count bytes into buffer. May transfer fewer bytes than asked;
  /// returns the number read, 0 when nothing could be transferred. The base
  /// class raises TRuntimeError "Stream is not readable".
  virtual std::int32_t Read(void* buffer, std::int32_t count);
  /// Writes up to count bytes from buffer; returns the number written, 0 when
  /// nothing could be transferred. The base class raises TRuntimeError
  /// "Stream is not writeable".
  virtual std::int32_t Write(const void* buffer, std::int32_t count);

  /// The stream as a TByteStream, or nullptr when it has no typed operations.
  /// Data types ask this of the stream they are handed for every object: it
  /// answers without the class-tree walk of a cast.
  virtual class TByteStream* AsByteStream() noexcept { return nullptr; }
};

// ---- The typed operations -------------------------------------------------------

/// A stream with the typed reads and writes, built on the primitives. Typed
/// reads raise TStreamReadError and typed writes TStreamWriteError when the
/// underlying Read or Write transfers nothing.
class TByteStream : public TStreamBase {
 public:
  /// This stream.
  TByteStream* AsByteStream() noexcept final { return this; }

  /// Loop over Read until count bytes or the end; returns count either way.
  virtual std::int32_t ReadExact(void* buffer, std::int32_t count);
  /// Loop over Write; returns count.
  virtual std::int32_t WriteExact(const void* buffer, std::int32_t count);
  /// Reads and drops count bytes (1024 at a time); returns count.
  virtual std::int32_t SkipExact(std::int32_t count);

  virtual int ReadUInt8();              ///< Reads one byte: 0..255.
  virtual void WriteUInt8(int value);   ///< Writes the low 8 bits of value.
  virtual int ReadUInt16();             ///< Reads two bytes: 0..65535.
  virtual void WriteUInt16(int value);  ///< Writes the low 16 bits of value.
  /// @{
  /// Reads or writes one number of the named type in the host's byte order
  /// (little-endian). A read cut short by the end of the stream keeps zero bytes
  /// in the missing part; one that gets nothing raises TStreamReadError, a
  /// write that writes nothing raises TStreamWriteError.
  virtual std::int32_t ReadInt32();
  virtual void WriteInt32(std::int32_t value);
  virtual std::int64_t ReadInt64();
  virtual void WriteInt64(std::int64_t value);
  virtual float ReadFloat32();
  virtual void WriteFloat32(float value);
  virtual double ReadFloat64();
  virtual void WriteFloat64(double value);
  /// @}

  /// One line of 8-bit text: ends at LF, at a 0 byte or at the end of the data
  /// (the terminator is consumed); CR bytes are dropped wherever they occur.
  virtual String ReadTextLine();
  /// The text's low bytes, then CR LF; true only when both were written whole.
  virtual int WriteTextLine(const String& text);
  /// length bytes, one character per byte. A length longer than a string can
  /// be (about 2^30) raises "String too long" before anything is read.
  virtual String ReadText(std::int32_t length);
  /// One byte per character (low 8 bits), no terminator, no length.
  virtual void WriteText(const String& text);

  /// @{
  /// Reads or writes one object graph. Object support belongs to data streams
  /// (TDataStream); here they raise TRuntimeError "Unable to read object" /
  /// "Unable to write object".
  virtual Ref<TObject> ReadSerialized();
  virtual void WriteSerialized(TObject* object);
  /// @}
};

namespace detail {
// The length of the text line at the start of bytes (available of them): the
// index of the first LF or 0 byte, or available when there is none.
// *carriageReturn tells whether a CR byte comes before that end.
std::int32_t TextLineLength(const std::uint8_t* bytes, std::int32_t available, bool* carriageReturn) noexcept;

// The text line at the start of bytes (available of them) as ReadTextLine
// reads it, for streams that hold their bytes in memory; *consumed gets the
// bytes the line takes, its terminator included.
String TextLineIn(const std::uint8_t* bytes, std::int32_t available, std::int32_t* consumed);

// Reads count bytes through TByteStream's own ReadExact loop (not the
// stream's override), for streams whose fast typed reads hand a value the end
// cuts short, or an unreadable stream, back to the general path. Kept out of
// line: it is the cold side of those reads.
void ReadThroughLoop(TByteStream* stream, void* bytes, std::int32_t count);

// The value of type T read that way; bytes the end cuts off stay zero.
template <class T>
T ValueThroughLoop(TByteStream* stream) {
  unsigned char bytes[sizeof(T)] = {};
  ReadThroughLoop(stream, bytes, sizeof(T));
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}
}  // namespace detail

// ---- Relays ---------------------------------------------------------------------

/// Forwards to an inner stream. ReadExact, WriteExact, SkipExact, ReadInt64 and
/// WriteInt64 keep the TByteStream loops, which call this relay's own Read and
/// Write, so a filter that overrides Read or Write filters them too. A relay
/// never closes its inner stream on its own.
class TStreamRelay : public TByteStream {
 public:
  /// A relay with no inner stream (set one with SetInner).
  TStreamRelay() = default;
  /// A relay that holds a reference to inner.
  explicit TStreamRelay(TByteStream* inner) : inner_(inner) {}

  int AtEnd() override;
  std::int32_t Position() override;
  std::int32_t Size() override;
  std::int32_t Seek(std::int32_t position) override;
  void Flush() override;
  void Close() override;
  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;

  int ReadUInt8() override;
  void WriteUInt8(int value) override;
  int ReadUInt16() override;
  void WriteUInt16(int value) override;
  std::int32_t ReadInt32() override;
  void WriteInt32(std::int32_t value) override;
  float ReadFloat32() override;
  void WriteFloat32(float value) override;
  double ReadFloat64() override;
  void WriteFloat64(double value) override;
  String ReadTextLine() override;
  int WriteTextLine(const String& text) override;
  String ReadText(std::int32_t length) override;
  void WriteText(const String& text) override;
  Ref<TObject> ReadSerialized() override;
  void WriteSerialized(TObject* object) override;

  /// Takes a reference to the new stream and drops the old one. A stream that
  /// is this relay, or relays to it, raises TRuntimeError "Stream relay would
  /// relay to itself" and the old stream stays.
  virtual void SetInner(TByteStream* stream);

  /// The inner stream, or null when there is none.
  TByteStream* Inner() const noexcept { return inner_.Get(); }

 protected:
  /// The inner stream (null when there is none).
  Ref<TByteStream> inner_;
};

/// A relay whose Close only lets go of the inner stream, leaving it open.
class TBorrowedStream : public TStreamRelay {
 public:
  using TStreamRelay::TStreamRelay;
  /// Lets go of the inner stream without closing it.
  void Close() override;
  /// A relay over stream that leaves it open when the relay is closed.
  static Ref<TBorrowedStream> Borrow(TByteStream* stream);
};

// ---- Free functions -----------------------------------------------------------
// Each takes the stream as its first argument; a null stream raises the null
// object error.

/// @{
/// Runs the stream method of the same name (AtEnd, Position, Size, Seek, Flush,
/// Close, the typed reads and writes) on stream and returns what it returns; a
/// null stream raises the null object error (ThrowNullObjectError), a failed transfer TStreamReadError or
/// TStreamWriteError as the method does.
int StreamAtEnd(TStreamBase* stream);
std::int32_t StreamPosition(TStreamBase* stream);
std::int32_t StreamSize(TStreamBase* stream);
std::int32_t StreamSeek(TStreamBase* stream, std::int32_t position);
void StreamFlush(TStreamBase* stream);
void StreamClose(TStreamBase* stream);

int StreamReadUInt8(TByteStream* stream);
void StreamWriteUInt8(TByteStream* stream, int value);
int StreamReadUInt16(TByteStream* stream);
void StreamWriteUInt16(TByteStream* stream, int value);
std::int32_t StreamReadInt32(TByteStream* stream);
void StreamWriteInt32(TByteStream* stream, std::int32_t value);
std::int64_t StreamReadInt64(TByteStream* stream);
void StreamWriteInt64(TByteStream* stream, std::int64_t value);
float StreamReadFloat32(TByteStream* stream);
void StreamWriteFloat32(TByteStream* stream, float value);
double StreamReadFloat64(TByteStream* stream);
void StreamWriteFloat64(TByteStream* stream, double value);
String StreamReadTextLine(TByteStream* stream);
int StreamWriteTextLine(TByteStream* stream, const String& text);
String StreamReadText(TByteStream* stream, std::int32_t length);
void StreamWriteText(TByteStream* stream, const String& text);
/// @}

/// Copies until `from` is at its end (or a Read brings nothing, so that a source
/// that never ends cannot hang the copy). bufferSize < 1 uses 4096.
void StreamCopy(TStreamBase* from, TByteStream* to, std::int32_t bufferSize = 4096);

/// Copies count bytes, bufferSize at a time. Stops early when `from` ends, so
/// that nothing but the source's own bytes reaches `to`; returns the number of
/// bytes copied. bufferSize < 1 uses 4096.
std::int32_t StreamCopyBytes(TByteStream* from, TByteStream* to, std::int32_t count, std::int32_t bufferSize = 4096);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
