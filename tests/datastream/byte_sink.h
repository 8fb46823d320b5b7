// A growable in-memory stream for the data stream tests: writes append at the
// position, reads take from it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "corvex/stream/stream.h"

namespace cvx::testing_data {

using Bytes = std::vector<std::uint8_t>;

class TByteSink final : public TByteStream {
 public:
  explicit TByteSink(Bytes initial = {}) : data(std::move(initial)) {}
  std::int32_t Position() override { return pos; }
  std::int32_t Size() override { return static_cast<std::int32_t>(data.size()); }
  std::int32_t Seek(std::int32_t p) override {
    pos = std::clamp<std::int32_t>(p, 0, Size());
    return pos;
  }
  std::int32_t Read(void* buffer, std::int32_t count) override {
    std::int32_t n = std::min(count, Size() - pos);
    if (n <= 0) return 0;
    std::copy_n(data.begin() + pos, n, static_cast<std::uint8_t*>(buffer));
    pos += n;
    return n;
  }
  std::int32_t Write(const void* buffer, std::int32_t count) override {
    if (count <= 0) return 0;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    if (static_cast<std::size_t>(pos) + count > data.size()) data.resize(pos + count);
    std::copy_n(bytes, count, data.begin() + pos);
    pos += count;
    return count;
  }
  Bytes data;
  std::int32_t pos = 0;
};

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }
inline Bytes Int32Bytes(std::int32_t v) {
  auto u = static_cast<std::uint32_t>(v);
  return {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u >> 16),
          static_cast<std::uint8_t>(u >> 24)};
}

}  // namespace cvx::testing_data
