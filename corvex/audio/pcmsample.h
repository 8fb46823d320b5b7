/// @file
/// Audio samples: blocks of PCM frames in one of six formats with a playback
/// rate, and the conversion between the formats.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/object.h"

namespace cvx {

// Format ids as stored in TPcmSample::format.
inline constexpr int PCM_MONO8 = 1;       ///< unsigned 8-bit
inline constexpr int PCM_MONO16LE = 2;    ///< signed 16-bit, low byte first
inline constexpr int PCM_MONO16BE = 3;    ///< signed 16-bit, high byte first
inline constexpr int PCM_STEREO8 = 4;     ///< left, right: unsigned 8-bit
inline constexpr int PCM_STEREO16LE = 5;  ///< left, right: signed 16-bit, low byte first
inline constexpr int PCM_STEREO16BE = 6;  ///< left, right: signed 16-bit, high byte first

/// Bytes of one frame, indexed by format id (id 0 has none).
inline constexpr int PcmBytesPerFrame[7] = {0, 1, 2, 2, 2, 4, 4};

/// True for the format ids PCM_MONO8 to PCM_STEREO16BE.
inline bool IsPcmFormat(int format) noexcept { return format >= PCM_MONO8 && format <= PCM_STEREO16BE; }

/// Converts count frames. Every conversion between different formats passes
/// through PCM_STEREO16BE. A format outside 1..6 raises
/// "Unimplemented sample format conversion"; count <= 0 does nothing.
void ConvertPcmFrames(const void* source, int sourceFormat, void* destination, int destinationFormat,
                      std::int32_t count);

/// A block of PCM frames in one of the PCM formats, with a playback rate.
class TPcmSample : public TObject {
 public:
  ~TPcmSample() override;

  /// A new sample with the same length, hertz, format and bytes.
  virtual Ref<TPcmSample> Copy();
  /// A new sample with the same length and hertz in the given format.
  virtual Ref<TPcmSample> ConvertTo(int format);

  /// A sample owning length * bytes-per-frame bytes, 16-byte aligned and not
  /// cleared. An unknown format or a negative length raises a runtime error.
  static Ref<TPcmSample> PcmSampleNew(std::int32_t length, std::int32_t hertz, int format);
  /// A sample over memory it does not own (capacity -1); the memory must
  /// outlive the sample.
  static Ref<TPcmSample> PcmSampleWrap(void* address, std::int32_t length, std::int32_t hertz, int format);

  /// The byte count of the frames: length * bytes-per-frame.
  std::int64_t ByteCount() const noexcept;

  std::uint8_t* samples = nullptr;  ///< frame 0
  std::int32_t length = 0;          ///< frames
  /// Playback rate in frames per second.
  std::int32_t hertz = 0;
  /// One of the PCM format ids.
  int format = 0;
  std::int64_t capacity = -1;  ///< bytes owned, or -1 when the memory is someone else's
};

/// @{
/// Module functions: PcmSampleNew, PcmSampleWrap, Copy and ConvertTo of
/// TPcmSample, which raise as those do; a null sample raises the null object
/// error.
Ref<TPcmSample> PcmSampleNew(std::int32_t length, std::int32_t hertz, int format);
Ref<TPcmSample> PcmSampleWrap(void* address, std::int32_t length, std::int32_t hertz, int format);
Ref<TPcmSample> PcmSampleCopy(TPcmSample* sample);
Ref<TPcmSample> PcmSampleConvert(TPcmSample* sample, int format);
/// @}

}  // namespace cvx

#include "corvex/runtime/api_end.h"
