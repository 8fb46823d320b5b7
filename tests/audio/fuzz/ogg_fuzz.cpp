// libFuzzer target: the Ogg Vorbis decoder on arbitrary bytes. It must give
// a sample or null (a memory stream raises no stream errors); a sample is
// 16-bit mono or stereo, and every one of its bytes is read so that the
// sanitizers see any left out of bounds.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/audio/oggdecoder.h"
#include "corvex/audio/oggstream.h"
#include "corvex/runtime/startup.h"
#include "corvex/stream/memorystream.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  cvx::RuntimeStartup(*argc, *argv);
  cvx::InitOggDecoder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cvx;
  {
    Ref<TMemoryStream> stream = CreateMemoryStream(data, static_cast<std::int32_t>(size), 1, 0);
    Ref<TPcmSample> sample = PcmSampleLoadOgg(stream.Get());
    if (sample) {
      if ((sample->format != PCM_MONO16LE && sample->format != PCM_STEREO16LE) || sample->length < 0) __builtin_trap();
      unsigned sum = 0;
      for (std::int64_t i = 0; i < sample->ByteCount(); ++i) sum += sample->samples[i];
      volatile unsigned sink = sum;
      (void)sink;
    }
  }
  {
    auto bytes = std::make_shared<const std::vector<std::uint8_t>>(data, data + size);
    audio::OggStreamDecoder decoder;
    std::string whyNot;
    if (decoder.Open(bytes, whyNot)) {
      if (decoder.Channels() < 1 || decoder.Channels() > 2) __builtin_trap();
      std::vector<float> piece(static_cast<std::size_t>(1024 * decoder.Channels()));
      for (int pass = 0; pass < 2; ++pass) {
        for (;;) {
          const int got = decoder.Read(piece.data(), 1024);
          if (got <= 0) break;
          for (int i = 0; i < got * decoder.Channels(); ++i)
            if (!(piece[static_cast<std::size_t>(i)] >= -1.0f && piece[static_cast<std::size_t>(i)] <= 1.0f))
              __builtin_trap();
        }
        if (!decoder.Rewind()) break;
      }
    }
  }
  ReclaimMemory();
  return 0;
}
