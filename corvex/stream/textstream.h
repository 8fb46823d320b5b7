/// @file
/// Text streams: a filter that stores everything as text in one encoding.
/// Lines and strings are encoded characters, numbers are decimal text lines,
/// and raw bytes (Read, Write and the exact transfers built on them) are
/// hexadecimal digit pairs, 32 bytes to a line. The url protocols "latin1",
/// "utf8", "utf16be" and "utf16le" open one over the url that follows.
///
/// The console is a UTF-8 text stream over standard input and output.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"
#include "corvex/stream/stream.h"

namespace cvx {

inline constexpr int EncodingLatin1 = 1;  ///< one byte per character, 0 to 255
inline constexpr int EncodingUtf8 = 2;  ///< UTF-8
inline constexpr int EncodingUtf16BE = 3;  ///< UTF-16, high byte first
inline constexpr int EncodingUtf16LE = 4;  ///< UTF-16, low byte first

/// A text stream: a relay that reads and writes everything as text in one
/// encoding (see the file comment). Numbers are written as decimal text lines
/// and read back from one (0 when the line holds no number).
class TCharsetStream : public TStreamRelay {
 public:
  /// Raw bytes as hexadecimal digits. A read that meets the end of the data
  /// stops there and returns the bytes it decoded.
  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;

  /// UInt8 and UInt16 keep their low 8 / 16 bits on both sides, as the binary
  /// forms do.
  int ReadUInt8() override;
  void WriteUInt8(int value) override;
  int ReadUInt16() override;
  void WriteUInt16(int value) override;
  std::int32_t ReadInt32() override;
  void WriteInt32(std::int32_t value) override;
  std::int64_t ReadInt64() override;
  void WriteInt64(std::int64_t value) override;
  float ReadFloat32() override;
  void WriteFloat32(float value) override;
  double ReadFloat64() override;
  void WriteFloat64(double value) override;
  /// Ends at character 0 or 10 or at the end of the data; 13 is dropped.
  String ReadTextLine() override;
  /// The text, then CR LF, all encoded.
  int WriteTextLine(const String& text) override;
  /// length characters, fewer when the data ends first.
  String ReadText(std::int32_t length) override;
  void WriteText(const String& text) override;

  /// One character in the stream's encoding, 0 to 65535. Invalid UTF-8 is
  /// decoded arithmetically without an error, keeping the low 16 bits of the
  /// result (so EF C0 8A, 1000A hex, is a line feed); a lead byte of F0 hex or
  /// more (after consuming two more bytes) gives 0. An unknown encoding
  /// consumes one byte and gives 0.
  virtual int DecodeChar();
  /// Latin-1 keeps the low 8 bits; an unknown encoding writes nothing.
  virtual void EncodeChar(int code);
  /// A text stream over stream in an encoding (an Encoding constant).
  static Ref<TCharsetStream> Create(TByteStream* stream, int encoding);
  /// @{
  /// One byte of the inner stream, past the encoding (its ReadUInt8 /
  /// WriteUInt8); a null inner stream raises the null object error.
  virtual int ReadRawByte();
  virtual void WriteRawByte(int value);
  /// @}
  /// Closes an open hexadecimal line: CR LF or LF, anything else raises the
  /// text "Malformed line terminator".
  virtual void EndHexLineRead();
  /// Ends an open hexadecimal line with CR LF.
  virtual void EndHexLineWrite();

  /// The stream's encoding.
  int Encoding() const noexcept { return encoding_; }

 private:
  // DecodeChar's arithmetic before the low 16 bits are kept.
  int DecodeCode();
  int encoding_ = 0;
  std::int32_t hexCount_ = 0;
};

/// The encoding of a url protocol ("latin1", "utf8", "utf16be", "utf16le"), or 0.
int EncodingOfProtocol(const String& protocol);

/// The UTF-8 text stream over standard input and output.
TCharsetStream* ConsoleStream();
/// The line, CR LF, then a flush.
void PrintLine(const String& text);
/// Writes the prompt, flushes, then reads one line of standard input (empty
/// at the end of the input).
String ReadConsoleLine(const String& prompt);

/// The text stream openers and the console stream.
void InitTextStreams();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
