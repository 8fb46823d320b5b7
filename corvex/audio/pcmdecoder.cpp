#include "corvex/audio/pcmdecoder.h"

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

Ref<TPcmSample> PcmSampleLoad(const Ref<TObject>& url) {
  InitAudioSamples();
  Ref<TByteStream> stream = OpenUrlForReading(url);
  if (!stream) return nullptr;
  Ref<TPcmSample> sample;
  try {
    const std::int32_t start = stream->Position();
    if (start == -1) throw TRuntimeError("Stream is not seekable");
    for (TPcmDecoder* decoder = FirstPcmDecoder(); decoder && !sample; decoder = decoder->Next()) {
      stream->Seek(start);
      try {
        sample = decoder->DecodeSample(stream.Get());
      } catch (const TStreamError&) {
        // Not this decoder's format: the next one is asked.
      }
    }
  } catch (...) {
    stream->Close();
    throw;
  }
  stream->Close();
  return sample;
}

void InitAudioSamples() {
  static bool done = false;
  if (done) return;
  done = true;
  InitStream();
}

}  // namespace cvx
