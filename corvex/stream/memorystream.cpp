#include "corvex/stream/memorystream.h"

#include <cstring>

namespace cvx {

std::int32_t TMemoryStream::Position() { return pos_; }
std::int32_t TMemoryStream::Size() { return size_; }
int TMemoryStream::AtEnd() { return pos_ == size_; }

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

std::int32_t TMemoryStream::ReadExact(void* buffer, std::int32_t count) {
  if (readable_ && count > 0 && count <= size_ - pos_) {
    std::memcpy(buffer, data_ + pos_, static_cast<std::size_t>(count));
    pos_ += count;
    return count;
  }
  return TByteStream::ReadExact(buffer, count);
}

std::int32_t TMemoryStream::SkipExact(std::int32_t count) {
  if (readable_ && count > 0 && count <= size_ - pos_) {
    pos_ += count;
    return count;
  }
  return TByteStream::SkipExact(count);
}

String TMemoryStream::ReadTextLine() {
  // An unreadable stream gives no bytes, so its line is empty.
  if (!readable_) return String();
  std::int32_t consumed = 0;
  String line = detail::TextLineIn(data_ + pos_, size_ - pos_, &consumed);
  pos_ += consumed;
  return line;
}

String TMemoryStream::ReadText(std::int32_t length) {
  if (readable_ && length > 0 && length <= size_ - pos_) {
    String text = String::OfBytes(data_ + pos_, length);
    pos_ += length;
    return text;
  }
  return TByteStream::ReadText(length);
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
