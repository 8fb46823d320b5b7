#include "corvex/audio/streambytes.h"

#include <algorithm>
#include <climits>

namespace cvx::audio {

std::int64_t ReadAtMost(TByteStream* stream, void* buffer, std::int64_t count) {
  auto* at = static_cast<std::uint8_t*>(buffer);
  std::int64_t done = 0;
  while (done < count && !stream->AtEnd()) {
    const auto piece = static_cast<std::int32_t>(std::min<std::int64_t>(count - done, INT_MAX));
    const std::int32_t n = stream->Read(at + done, piece);
    if (n <= 0) break;
    done += std::min<std::int64_t>(n, piece);
  }
  return done;
}

std::int64_t BytesLeft(TByteStream* stream) {
  const std::int32_t position = stream->Position();
  const std::int32_t size = stream->Size();
  if (position < 0 || size < 0 || size < position) return -1;
  return static_cast<std::int64_t>(size) - position;
}

}  // namespace cvx::audio
