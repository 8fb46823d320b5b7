/// @file
/// Streamed sounds: each playing streamed sound has a feed (its own decoder and
/// a ring of decoded frames), and one streaming thread keeps every feed's ring
/// topped up while the audio thread drains it. Decoding never happens on the
/// audio thread, because libvorbis allocates as it decodes.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "corvex/audio/framering.h"
#include "corvex/audio/oggstream.h"
#include "corvex/runtime/api_begin.h"

namespace cvx::audio {

/// The decoder and ring of one playing streamed sound.
class StreamFeed {
 public:
  /// About 0.75 s of frames at 44.1 kHz.
  static constexpr int kRingFrames = 32768;

  /// A feed that starts again at the end when loop is true.
  explicit StreamFeed(bool loop);

  /// False, with the reason, when the bytes do not open as a stream.
  bool Open(EncodedBytes bytes, std::string& whyNot);
  /// Decodes until the ring is full or the stream has ended (rewinding first
  /// when looping). Only the thread that owns the feed calls it: the main
  /// thread before the feed is handed to the streamer, the streamer after.
  void Fill();

  /// The ring the mixer voice reads.
  FrameRing* Ring() noexcept { return ring_.get(); }
  /// @{
  /// The decoded stream's channels and frames per second.
  int Channels() const noexcept { return decoder_.Channels(); }
  int Rate() const noexcept { return decoder_.Rate(); }
  /// @}
  /// Set by Fill when decoding failed; the ring is then ended.
  bool Failed() const noexcept { return failed_.load(std::memory_order_acquire); }
  /// Why decoding failed ("" while it has not).
  const std::string& Failure() const noexcept { return decoder_.Failure(); }

 private:
  bool loop_;
  OggStreamDecoder decoder_;
  std::unique_ptr<FrameRing> ring_;
  std::vector<float> piece_;
  std::atomic<bool> failed_{false};
};

/// The streaming thread: it keeps every added feed's ring filled.
class Streamer {
 public:
  Streamer();
  ~Streamer();  ///< stops the thread
  /// @{
  /// Hands a feed to the thread / takes it off the thread's list (a fill under
  /// way keeps its own reference, so the feed lives until it ends).
  void Add(std::shared_ptr<StreamFeed> feed);
  void Remove(const StreamFeed* feed);
  /// @}

 private:
  void Run();

  std::mutex lock_;
  std::condition_variable wake_;
  std::vector<std::shared_ptr<StreamFeed>> feeds_;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace cvx::audio

#include "corvex/runtime/api_end.h"
