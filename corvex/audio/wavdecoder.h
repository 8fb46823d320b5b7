/// @file
/// RIFF WAVE decoder: uncompressed PCM, 8 or 16 bits, mono or stereo.
#pragma once

#include "corvex/audio/pcmdecoder.h"
#include "corvex/runtime/api_begin.h"

namespace cvx {

/// The RIFF WAVE sample decoder.
class TWavDecoder : public TPcmDecoder {
 public:
  /// Null for anything but a PCM WAVE file of a supported format, and for a
  /// file whose data chunk runs past the end of the stream.
  Ref<TPcmSample> DecodeSample(TByteStream* stream) override;
};

/// TWavDecoder's decode of stream (from its position); null as there.
Ref<TPcmSample> PcmSampleLoadWav(TByteStream* stream);

/// Registers the WAVE decoder (once).
void InitWavDecoder();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
