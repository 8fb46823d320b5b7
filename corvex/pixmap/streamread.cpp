#include "corvex/pixmap/streamread.h"

#include <algorithm>

#include "corvex/stream/stream.h"

namespace cvx {

std::int32_t ReadAvailable(TByteStream* stream, void* buffer, std::int32_t count) {
  auto* at = static_cast<std::uint8_t*>(buffer);
  std::int32_t got = 0;
  while (got < count && !stream->AtEnd()) {
    std::int32_t n = stream->Read(at + got, count - got);
    if (n <= 0) throw TStreamReadError();
    got += std::min(n, count - got);
  }
  return got;
}

}  // namespace cvx
