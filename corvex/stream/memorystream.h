/// @file
/// A stream over a block of memory it does not own (embedded resources, caller
/// buffers). Writes never grow the block; Flush and Close do nothing.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"
#include "corvex/stream/stream.h"

namespace cvx {

/// A stream over a block of memory it does not own (see the file comment).
class TMemoryStream : public TByteStream {
 public:
  std::int32_t Position() override;
  std::int32_t Size() override;
  /// Clamped to 0..Size.
  std::int32_t Seek(std::int32_t position) override;
  /// 0 when the stream is not readable (or not writeable) or count <= 0;
  /// otherwise cut to the bytes left in the block.
  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;

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
