/// @file
/// A stream over a block of memory it does not own (embedded resources, caller
/// buffers). Writes never grow the block; Flush and Close do nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "corvex/runtime/api_begin.h"
#include "corvex/stream/stream.h"

namespace cvx {

/// A stream over a block of memory it does not own (see the file comment).
class TMemoryStream : public TByteStream {
 public:
  std::int32_t Position() override;
  std::int32_t Size() override;
  int AtEnd() override;
  // Clamped to 0..Size.
  std::int32_t Seek(std::int32_t position) override;
  /// 0 when the stream is not readable (or not writeable) or count <= 0;
  /// otherwise cut to the bytes left in the block.
  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;

  std::int32_t ReadExact(void* buffer, std::int32_t count) override;
  std::int32_t SkipExact(std::int32_t count) override;
  int ReadUInt8() final { return Take<std::uint8_t>(); }
  int ReadUInt16() final { return Take<std::uint16_t>(); }
  std::int32_t ReadInt32() final { return Take<std::int32_t>(); }
  std::int64_t ReadInt64() final { return Take<std::int64_t>(); }
  float ReadFloat32() final { return Take<float>(); }
  double ReadFloat64() final { return Take<double>(); }
  // Scans the block for the line's end instead of reading byte by byte.
  String ReadTextLine() override;
  String ReadText(std::int32_t length) override;

  /// A stream at position 0 over size bytes at address. The memory must be
  /// writable when writeable is set. A negative size counts as 0.
  static Ref<TMemoryStream> Create(const void* address, std::int32_t size, int readable, int writeable);

  /// The first byte of the block.
  const std::uint8_t* Data() const noexcept { return data_; }
  /// @{
  /// 1 when the stream may be read / written.
  int Readable() const noexcept { return readable_; }
  int Writeable() const noexcept { return writeable_; }
  /// @}

 private:
  // The fast side of the typed reads: one compare, against an end that is
  // the block's end when the stream is readable and its start when not, so
  // that an unreadable stream, and a value the end cuts short, go to the
  // general path in one test. The cursor is a pointer (not an offset from
  // data_) so that a read loads, checks and moves it without the block's
  // address.
  template <class T>
  T Take() {
    if (readEnd_ - cursor_ >= static_cast<std::ptrdiff_t>(sizeof(T))) [[likely]] {
      T value;
      std::memcpy(&value, cursor_, sizeof(T));
      cursor_ += sizeof(T);
      return value;
    }
    return TakeThroughLoop<T>();
  }

  // Out of line and cold, so that the fast side keeps its registers and
  // the loop around it stays small.
  template <class T>
  [[gnu::noinline, gnu::cold]] T TakeThroughLoop() {
    return detail::ValueThroughLoop<T>(this);
  }

  // True when count bytes can be read at once from the cursor.
  bool CanRead(std::int32_t count) const noexcept { return count > 0 && count <= readEnd_ - cursor_; }
  // The bytes from the cursor to the block's end.
  std::int32_t Left() const noexcept { return static_cast<std::int32_t>(data_ + size_ - cursor_); }

  std::uint8_t* data_ = nullptr;
  std::uint8_t* cursor_ = nullptr;
  // data_ + size_ when the stream is readable, data_ when it is not.
  const std::uint8_t* readEnd_ = nullptr;
  std::int32_t size_ = 0;
  int readable_ = 0;
  int writeable_ = 0;
};

/// TMemoryStream::Create.
Ref<TMemoryStream> CreateMemoryStream(const void* address, std::int32_t size, int readable, int writeable);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
