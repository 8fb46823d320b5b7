/// @file
/// Ogg Vorbis decoded piece by piece from bytes in memory, for sounds that play
/// while they decode. It holds no framework object (the bytes are shared with
/// the sound through a std::shared_ptr), so the streaming thread may own it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/runtime/api_begin.h"

namespace cvx::audio {

/// Encoded Ogg Vorbis bytes, shared between the sound and its decoders.
using EncodedBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

/// True when the bytes end exactly with a complete Ogg page that carries the
/// end-of-stream mark; false for data cut short (or with anything after the
/// last page).
bool OggEndsWithFinalPage(const std::vector<std::uint8_t>& bytes);

/// Decodes Ogg Vorbis from bytes in memory piece by piece (see the file comment).
class OggStreamDecoder {
 public:
  OggStreamDecoder();
  ~OggStreamDecoder();
  OggStreamDecoder(const OggStreamDecoder&) = delete;
  OggStreamDecoder& operator=(const OggStreamDecoder&) = delete;

  /// False, with the reason in whyNot, when the bytes are not a mono or stereo
  /// Ogg Vorbis stream that ends with its final page.
  bool Open(EncodedBytes bytes, std::string& whyNot);

  /// @{
  /// The stream's channels, frames per second and length in frames (as the last
  /// page announces); 0 before Open.
  int Channels() const noexcept { return channels_; }
  int Rate() const noexcept { return rate_; }
  std::int64_t Length() const noexcept { return length_; }
  /// @}

  /// Decodes up to frames interleaved float frames into out (Channels() floats
  /// each). The count written; 0 at the end of the stream; -1 on damaged data
  /// or a change of layout inside a chained stream, after which every call
  /// gives -1.
  int Read(float* out, int frames);
  /// Back to the first frame; false (and failed from then on) when seeking fails.
  bool Rewind();

  /// @{
  /// Whether decoding failed, and why.
  bool Failed() const noexcept { return failed_; }
  const std::string& Failure() const noexcept { return failure_; }
  /// @}

 private:
  struct State;
  std::unique_ptr<State> state_;
  int channels_ = 0;
  int rate_ = 0;
  std::int64_t length_ = 0;
  bool failed_ = false;
  std::string failure_;
};

}  // namespace cvx::audio

#include "corvex/runtime/api_end.h"
