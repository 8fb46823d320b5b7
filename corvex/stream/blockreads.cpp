// Text lines read straight from a block of memory.
#include "corvex/stream/blockreads.h"

#include <string>

namespace cvx::blockreads {

String ReadTextLine(const std::uint8_t* data, std::int32_t& pos, std::int32_t size, bool readable) {
  if (!readable || pos < 0 || pos >= size) return String();
  const std::uint8_t* start = data + pos;
  const std::uint8_t* end = data + size;
  const std::uint8_t* at = start;
  bool carriageReturns = false;
  while (at < end && *at != 10 && *at != 0) {
    carriageReturns |= *at == 13;
    ++at;
  }
  const auto length = static_cast<std::int32_t>(at - start);
  // The terminator, when there is one, is consumed with the line.
  pos += length + (at < end ? 1 : 0);
  if (!carriageReturns) return String::OfBytes(start, length);
  std::string kept;
  kept.reserve(static_cast<std::size_t>(length));
  for (const std::uint8_t* p = start; p < at; ++p)
    if (*p != 13) kept.push_back(static_cast<char>(*p));
  return String::OfBytes(kept.data(), static_cast<std::int32_t>(kept.size()));
}

}  // namespace cvx::blockreads
