/// @file
/// Streams over standard I/O files, and the case-insensitive path lookup.
#pragma once

#include <cstdint>
#include <cstdio>

#include "corvex/runtime/api_begin.h"
#include "corvex/stream/stream.h"

namespace cvx {

/// A stream over a standard I/O file (see the file comment).
class TFileStream : public TByteStream {
 public:
  /// 1 read, 2 write, 3 read and write: the mode the file was opened with.
  enum : int { kModeRead = 1, kModeWrite = 2, kModeReadWrite = 3 };

  /// A file stream opened by OpenCFile and dropped without Close is closed
  /// when it is destroyed, so that its handle and buffered bytes are not lost.
  /// Handles given to FromFileHandle stay the caller's until Close.
  ~TFileStream() override;

  /// True (1) when the position is at the size, as the base class has it, but
  /// from the stream's own fields: a loop over the lines asks before each one.
  int AtEnd() override;
  std::int32_t Position() override;
  std::int32_t Size() override;
  /// Clamped to 0..Size when the file is only read; a written file may be
  /// positioned past its end.
  std::int32_t Seek(std::int32_t position) override;
  void Flush() override;
  /// Flushes and closes the file; a second Close does nothing.
  void Close() override;
  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;
  // Takes the line from the stdio buffer a byte at a time (no call per byte).
  String ReadTextLine() override;

  /// "\" in the path becomes "/". fopen mode "r+b" when both flags are set
  /// (the file must exist), "wb" when only writeable (truncates or creates),
  /// otherwise "rb". A path that does not open, names a directory, or holds a 0
  /// byte (which would cut it short at that byte) gives null.
  static Ref<TFileStream> OpenCFile(const String& path, int readable, int writeable);
  /// Wraps an open handle at its current position; Close will fclose it.
  /// A null handle gives null.
  static Ref<TFileStream> FromFileHandle(std::FILE* file, int mode);

  /// The file, or nullptr once closed.
  std::FILE* File() const noexcept { return file_; }
  /// The mode (kModeRead, kModeWrite or kModeReadWrite).
  int Mode() const noexcept { return mode_; }

 private:
  /// stdio needs a seek between a read and a following write (and back).
  enum class LastTransfer { kNone, kRead, kWrite };
  void PrepareFor(LastTransfer next);

  std::int32_t pos_ = 0;
  std::int32_t size_ = 0;
  std::FILE* file_ = nullptr;
  int mode_ = 0;
  bool owned_ = false;
  LastTransfer last_ = LastTransfer::kNone;
};

/// The existing path whose components match path ignoring the case of A-Z, or
/// the empty text when there is none. An existing path is returned unchanged.
String CasedPath(const String& path);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
