/// @file
/// The registry of sample decoders and the loading of a sample from a url.
#pragma once

#include "corvex/audio/pcmsample.h"
#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/object.h"
#include "corvex/stream/stream.h"

namespace cvx {

/// A sample decoder; PcmSampleLoad asks each in turn.
class TPcmDecoder : public TObject {
 public:
  /// Links the new decoder in at the head of the list, where it stays for the
  /// life of the program.
  TPcmDecoder();

  /// The sample held in the stream, or null when the data is not this
  /// decoder's format or cannot be decoded.
  virtual Ref<TPcmSample> DecodeSample(TByteStream* stream) = 0;

  /// The next (older) decoder, or nullptr at the end of the list.
  TPcmDecoder* Next() const noexcept { return next_.Get(); }

 private:
  Ref<TPcmDecoder> next_;
};

/// The newest decoder (the first one asked), or nullptr.
TPcmDecoder* FirstPcmDecoder() noexcept;

/// Opens the url for reading and asks every decoder, newest first, from the
/// stream's starting position. A stream error inside a decoder means "not this
/// format" and the next one is asked. Null when the url does not open or no
/// decoder accepts the data; "Stream is not seekable" when the stream has no
/// position. A url that does not open, or data no decoder reads, logs one
/// warning saying so.
Ref<TPcmSample> PcmSampleLoad(const Ref<TObject>& url);
/// PcmSampleLoad for a stream the caller has opened itself and reports on
/// itself: the same decoders in the same order, without the warning.
Ref<TPcmSample> PcmSampleDecode(TByteStream* stream);
/// PcmSampleLoad of a url given as text.
inline Ref<TPcmSample> PcmSampleLoad(const String& url) { return PcmSampleLoad(Ref<TObject>(url)); }

/// The audio samples module.
void InitAudioSamples();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
