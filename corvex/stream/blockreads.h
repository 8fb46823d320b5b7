// Reads answered straight from a block of memory, for the streams whose bytes
// all lie in memory (memory streams, bank streams). They give what the loops
// of TByteStream give over such a stream's Read, without a virtual call per
// value or per byte:
// - at the end nothing is read and values read as zero;
// - a value cut short by the end keeps zero bytes for what is missing;
// - bytes left but not readable (or a position past the block's end) raise
//   TStreamReadError, as a Read that brings nothing before the end does.
#pragma once

#include <cstdint>
#include <cstring>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/string.h"
#include "corvex/stream/stream.h"

namespace cvx::blockreads {

// ReadExact over data[pos .. size): returns count; pos moves past what was copied.
inline std::int32_t ReadExact(const std::uint8_t* data, std::int32_t& pos, std::int32_t size, bool readable,
                              void* buffer, std::int32_t count) {
  if (count <= 0 || pos == size) return count;
  if (!readable || pos > size) throw TStreamReadError();
  const std::int32_t n = count < size - pos ? count : size - pos;
  std::memcpy(buffer, data + pos, static_cast<std::size_t>(n));
  pos += n;
  return count;
}

// One value of T in the host's byte order.
template <class T>
inline T ReadValue(const std::uint8_t* data, std::int32_t& pos, std::int32_t size, bool readable) {
  T value;
  if (readable && pos >= 0 && size - pos >= static_cast<std::int32_t>(sizeof(T))) {
    std::memcpy(&value, data + pos, sizeof(T));
    pos += static_cast<std::int32_t>(sizeof(T));
    return value;
  }
  unsigned char bytes[sizeof(T)] = {};
  ReadExact(data, pos, size, readable, bytes, sizeof(T));
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

// TByteStream::ReadTextLine over the block: up to LF, a 0 byte or the end
// (the terminator consumed), CR bytes dropped. Nothing is read when the
// stream is not readable.
String ReadTextLine(const std::uint8_t* data, std::int32_t& pos, std::int32_t size, bool readable);

}  // namespace cvx::blockreads

#include "corvex/runtime/api_end.h"
