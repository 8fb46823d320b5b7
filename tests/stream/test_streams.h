// Streams with scripted behaviour for the tests: short reads, reads that bring
// nothing before the end, writes that stop accepting, and call counters.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "corvex/stream/stream.h"

namespace cvx::testing_streams {

using Bytes = std::vector<std::uint8_t>;

class TScriptedStream : public TByteStream {
 public:
  explicit TScriptedStream(Bytes data = {}) : data(std::move(data)) {}

  std::int32_t Position() override { return pos; }
  std::int32_t Size() override { return static_cast<std::int32_t>(data.size()); }
  std::int32_t Seek(std::int32_t p) override {
    pos = std::clamp<std::int32_t>(p, 0, Size());
    return pos;
  }
  void Close() override { ++closes; }
  std::int32_t Read(void* buffer, std::int32_t count) override {
    ++reads;
    if (pos >= stallAt) return 0;
    std::int32_t n = std::min({count, Size() - pos, maxChunk, stallAt - pos});
    if (n <= 0) return 0;
    std::copy_n(data.begin() + pos, n, static_cast<std::uint8_t*>(buffer));
    pos += n;
    return n;
  }
  std::int32_t Write(const void* buffer, std::int32_t count) override {
    ++writes;
    std::int32_t n = std::min(count, writeRoom);
    if (n <= 0) return 0;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    written.insert(written.end(), bytes, bytes + n);
    writeRoom -= n;
    return n;
  }

  Bytes data;
  Bytes written;
  std::int32_t pos = 0;
  std::int32_t maxChunk = 1 << 30;   // most bytes one Read hands out
  std::int32_t stallAt = 1 << 30;    // from here on Read returns 0 without being at the end
  std::int32_t writeRoom = 1 << 30;  // bytes Write still accepts
  int reads = 0;
  int writes = 0;
  int closes = 0;
};

inline Ref<TScriptedStream> Scripted(Bytes data = {}) {
  return Ref<TScriptedStream>(new TScriptedStream(std::move(data)));
}

// Runs fn and expects it to raise E with exactly this text.
template <class E>
void ExpectError(const std::function<void()>& fn, const std::string& text) {
  try {
    fn();
    ADD_FAILURE() << "expected an error \"" << text << "\"";
  } catch (const E& error) {
    EXPECT_EQ(std::string(error.what()), text);
  } catch (const std::exception& other) {
    ADD_FAILURE() << "wrong error type, text \"" << other.what() << "\"";
  }
}

inline std::string Std(const String& s) { return s.ToStd(); }

}  // namespace cvx::testing_streams
