#include "corvex/audio/framering.h"

#include <algorithm>
#include <cstring>

namespace cvx::audio {

FrameRing::FrameRing(int channels, int capacityFrames) : channels_(channels) {
  std::int64_t capacity = 1;
  while (capacity < capacityFrames) capacity <<= 1;
  mask_ = capacity - 1;
  data_.assign(static_cast<std::size_t>(capacity * channels), 0.0f);
}

void FrameRing::Write(const float* frames, std::int64_t count) noexcept {
  std::int64_t at = written_.load(std::memory_order_relaxed);
  while (count > 0) {
    const std::int64_t slot = at & mask_;
    const std::int64_t run = std::min(count, Capacity() - slot);
    std::memcpy(data_.data() + slot * channels_, frames, static_cast<std::size_t>(run * channels_) * sizeof(float));
    frames += run * channels_;
    at += run;
    count -= run;
  }
  written_.store(at, std::memory_order_release);
}

}  // namespace cvx::audio
