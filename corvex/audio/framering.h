/// @file
/// A ring of float frames between one producer thread and one consumer thread
/// (the streaming thread and the audio thread), without locks: each side owns
/// its counter and reads the other's with acquire ordering.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "corvex/runtime/api_begin.h"

namespace cvx::audio {

/// A ring of float frames between one producer thread and one consumer thread
/// (see the file comment); lock-free, never allocating after construction.
class FrameRing {
 public:
  /// capacityFrames is rounded up to a power of two.
  FrameRing(int channels, int capacityFrames);

  /// Floats per frame.
  int Channels() const noexcept { return channels_; }
  /// Frames the ring holds (a power of two).
  std::int64_t Capacity() const noexcept { return mask_ + 1; }

  /// Consumer side.
  std::int64_t Readable() const noexcept {
    return written_.load(std::memory_order_acquire) - read_.load(std::memory_order_relaxed);
  }
  /// The k-th readable frame (k < Readable()).
  const float* Frame(std::int64_t k) const noexcept {
    return data_.data() + ((read_.load(std::memory_order_relaxed) + k) & mask_) * channels_;
  }
  /// Consumer side: drops the first frames readable frames (at most Readable()).
  void Consume(std::int64_t frames) noexcept {
    read_.store(read_.load(std::memory_order_relaxed) + frames, std::memory_order_release);
  }
  /// True once the producer has written its last frame.
  bool Ended() const noexcept { return ended_.load(std::memory_order_acquire); }

  /// Producer side.
  std::int64_t Writable() const noexcept {
    return Capacity() - (written_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire));
  }
  /// Appends frames (at most Writable()).
  void Write(const float* frames, std::int64_t count) noexcept;
  /// Producer side: no more frames will come.
  void MarkEnded() noexcept { ended_.store(true, std::memory_order_release); }

 private:
  int channels_;
  std::int64_t mask_;
  std::vector<float> data_;
  std::atomic<std::int64_t> written_{0};
  std::atomic<std::int64_t> read_{0};
  std::atomic<bool> ended_{false};
};

}  // namespace cvx::audio

#include "corvex/runtime/api_end.h"
