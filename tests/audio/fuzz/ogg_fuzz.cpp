// libFuzzer target: the Ogg Vorbis decoder on arbitrary bytes. It must give
// a sample or null (a memory stream raises no stream errors); a sample is
// 16-bit mono or stereo, and every one of its bytes is read so that the
// sanitizers see any left out of bounds.
#include <cstddef>
#include <cstdint>

#include "corvex/audio/oggdecoder.h"
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
  ReclaimMemory();
  return 0;
}
