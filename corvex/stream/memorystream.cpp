#include "corvex/stream/memorystream.h"

#include <cstring>

namespace cvx {

std::int32_t TMemoryStream::Position() { return static_cast<std::int32_t>(cursor_ - data_); }
std::int32_t TMemoryStream::Size() { return size_; }
int TMemoryStream::AtEnd() { return cursor_ == data_ + size_; }

std::int32_t TMemoryStream::Seek(std::int32_t position) {
  if (position < 0) position = 0;
  if (position > size_) position = size_;
  cursor_ = data_ + position;
  return position;
}

// The transfers move rather than copy: the caller's buffer may lie in the
// block itself (a bank filled from a stream over its own bytes).
std::int32_t TMemoryStream::Read(void* buffer, std::int32_t count) {
  if (count <= 0 || !readable_) return 0;
  if (count > Left()) count = Left();
  if (count <= 0) return 0;
  std::memmove(buffer, cursor_, static_cast<std::size_t>(count));
  cursor_ += count;
  return count;
}

std::int32_t TMemoryStream::Write(const void* buffer, std::int32_t count) {
  if (count <= 0 || !writeable_) return 0;
  if (count > Left()) count = Left();
  if (count <= 0) return 0;
  std::memmove(cursor_, buffer, static_cast<std::size_t>(count));
  cursor_ += count;
  return count;
}

std::int32_t TMemoryStream::ReadExact(void* buffer, std::int32_t count) {
  if (CanRead(count)) {
    std::memmove(buffer, cursor_, static_cast<std::size_t>(count));
    cursor_ += count;
    return count;
  }
  return TByteStream::ReadExact(buffer, count);
}

std::int32_t TMemoryStream::SkipExact(std::int32_t count) {
  if (CanRead(count)) {
    cursor_ += count;
    return count;
  }
  return TByteStream::SkipExact(count);
}

String TMemoryStream::ReadTextLine() {
  // An unreadable stream gives no bytes, so its line is empty.
  if (!readable_) return String();
  std::int32_t consumed = 0;
  String line = detail::TextLineIn(cursor_, Left(), &consumed);
  cursor_ += consumed;
  return line;
}

String TMemoryStream::ReadText(std::int32_t length) {
  if (CanRead(length)) {
    String text = String::OfBytes(cursor_, length);
    cursor_ += length;
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
  stream->cursor_ = stream->data_;
  stream->readable_ = readable ? 1 : 0;
  stream->writeable_ = writeable ? 1 : 0;
  stream->readEnd_ = stream->readable_ ? stream->data_ + stream->size_ : stream->data_;
  return stream;
}

Ref<TMemoryStream> CreateMemoryStream(const void* address, std::int32_t size, int readable, int writeable) {
  return TMemoryStream::Create(address, size, readable, writeable);
}

}  // namespace cvx
