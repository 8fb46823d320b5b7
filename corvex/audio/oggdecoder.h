/// @file
/// Ogg Vorbis decoder over libvorbisfile, reading through the stream.
#pragma once

#include "corvex/audio/pcmdecoder.h"
#include "corvex/runtime/api_begin.h"

namespace cvx {

/// The Ogg Vorbis sample decoder.
class TOggDecoder : public TPcmDecoder {
 public:
  /// A 16-bit little-endian mono or stereo sample of the whole stream; null
  /// when the data is not Ogg Vorbis, does not decode to its announced length,
  /// or has more than two channels.
  Ref<TPcmSample> DecodeSample(TByteStream* stream) override;
};

/// TOggDecoder's decode of stream (from its position); null as there, and for a
/// null stream.
Ref<TPcmSample> PcmSampleLoadOgg(TByteStream* stream);

/// Registers the Ogg Vorbis decoder (once).
void InitOggDecoder();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
