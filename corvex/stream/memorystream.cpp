#include "corvex/stream/memorystream.h"

#include <cstring>

namespace cvx {

std::int32_t TMemoryStream::Position() { return pos_; }
std::int32_t TMemoryStream::Size() { return size_; }

std::int32_t TMemoryStream::Seek(std::int32_t position) {
  if (position < 0) position = 0;
  if (position > size_) position = size_;
  pos_ = position;
  return pos_;
}

std::int32_t TMemoryStream::Read(void* buffer, std::int32_t count) {
  if (count <= 0 || !readable_) return 0;
  if (count > size_ - pos_) count = size_ - pos_;
  if (count <= 0) return 0;
  std::memcpy(buffer, data_ + pos_, static_cast<std::size_t>(count));
  pos_ += count;
  return count;
}

std::int32_t TMemoryStream::Write(const void* buffer, std::int32_t count) {
  if (count <= 0 || !writeable_) return 0;
  if (count > size_ - pos_) count = size_ - pos_;
  if (count <= 0) return 0;
  std::memcpy(data_ + pos_, buffer, static_cast<std::size_t>(count));
  pos_ += count;
  return count;
}

Ref<TMemoryStream> TMemoryStream::Create(const void* address, std::int32_t size, int readable, int writeable) {
  Ref<TMemoryStream> stream(new TMemoryStream());
  // Without a block there is nothing to transfer, whatever size was claimed.
  stream->size_ = (address && size > 0) ? size : 0;
  // The caller vouches that the block is writable when it asks for writes.
  stream->data_ = static_cast<std::uint8_t*>(const_cast<void*>(address));
  stream->readable_ = readable ? 1 : 0;
  stream->writeable_ = writeable ? 1 : 0;
  return stream;
}

Ref<TMemoryStream> CreateMemoryStream(const void* address, std::int32_t size, int readable, int writeable) {
  return TMemoryStream::Create(address, size, readable, writeable);
}

}  // namespace cvx
