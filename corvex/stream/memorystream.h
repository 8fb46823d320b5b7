/// @file
/// A stream over a block of memory it does not own (embedded resources, caller
/// buffers). Writes never grow the block; Flush and Close do nothing.
#pragma once

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
  template <class T>
  T Take() {
    if (readable_ && size_ - pos_ >= static_cast<std::int32_t>(sizeof(T))) {
      T value;
      std::memcpy(&value, data_ + pos_, sizeof(T));
      pos_ += static_cast<std::int32_t>(sizeof(T));
      return value;
    }
    return detail::ValueThroughLoop<T>(this);
  }

  std::int32_t pos_ = 0;
  std::int32_t size_ = 0;
  std::uint8_t* data_ = nullptr;
  int readable_ = 0;
  int writeable_ = 0;
};

/// TMemoryStream::Create.
Ref<TMemoryStream> CreateMemoryStream(const void* address, std::int32_t size, int readable, int writeable);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
