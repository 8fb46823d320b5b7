#include "corvex/audio/pcmdecoder.h"

#include <string>

#include "corvex/runtime/log.h"
#include "corvex/stream/url.h"

namespace cvx {

namespace {

// The head of the decoder list; each decoder holds the next one.
Ref<TPcmDecoder> firstDecoder;

}  // namespace

TPcmDecoder::TPcmDecoder() {
  next_ = firstDecoder;
  firstDecoder = this;
}

TPcmDecoder* FirstPcmDecoder() noexcept { return firstDecoder.Get(); }

Ref<TPcmSample> PcmSampleDecode(TByteStream* stream) {
  InitAudioSamples();
  const std::int32_t start = stream->Position();
  if (start == -1) throw TRuntimeError("Stream is not seekable");
  Ref<TPcmSample> sample;
  for (TPcmDecoder* decoder = FirstPcmDecoder(); decoder && !sample; decoder = decoder->Next()) {
    stream->Seek(start);
    try {
      sample = decoder->DecodeSample(stream);
    } catch (const TStreamError&) {
      // Not this decoder's format: the next one is asked.
    }
  }
  return sample;
}

Ref<TPcmSample> PcmSampleLoad(const Ref<TObject>& url) {
  InitAudioSamples();
  Ref<TByteStream> stream = OpenUrlForReading(url);
  if (!stream) return nullptr;  // the url's own warning says why
  Ref<TPcmSample> sample;
  try {
    sample = PcmSampleDecode(stream.Get());
  } catch (...) {
    stream->Close();
    throw;
  }
  stream->Close();
  if (!sample) {
    String text = String::FromObject(url.Get());
    LogWarning("PcmSampleLoad %s: no decoder (WAVE, Ogg Vorbis) recognised the data",
               text.IsEmpty() ? "a stream" : ("\"" + text.ToStd() + "\"").c_str());
  }
  return sample;
}

void InitAudioSamples() {
  static bool done = false;
  if (done) return;
  done = true;
  InitStream();
}

}  // namespace cvx
