// libFuzzer target: the WAVE decoder on arbitrary bytes. It must give a
// sample or null, never raise (a memory stream has no stream errors), and a
// sample must hold exactly the frames of a data chunk that fits the input.
#include <cstddef>
#include <cstdint>

#include "corvex/audio/wavdecoder.h"
#include "corvex/runtime/startup.h"
#include "corvex/stream/memorystream.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  cvx::RuntimeStartup(*argc, *argv);
  cvx::InitWavDecoder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cvx;
  {
    Ref<TMemoryStream> stream = CreateMemoryStream(data, static_cast<std::int32_t>(size), 1, 0);
    Ref<TPcmSample> sample = PcmSampleLoadWav(stream.Get());
    if (sample) {
      if (!IsPcmFormat(sample->format) || sample->length < 0 || sample->ByteCount() > static_cast<std::int64_t>(size))
        __builtin_trap();
      unsigned sum = 0;
      for (std::int64_t i = 0; i < sample->ByteCount(); ++i) sum += sample->samples[i];
      volatile unsigned sink = sum;
      (void)sink;
    }
  }
  ReclaimMemory();
  return 0;
}
