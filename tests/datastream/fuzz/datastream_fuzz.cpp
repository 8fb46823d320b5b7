// libFuzzer target: a data stream reading objects from arbitrary bytes, either
// directly or through a UTF-8 text stream (the first byte chooses). Reading
// must give objects or raise a runtime error; anything else is a crash.
#include <cstddef>
#include <cstdint>

#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/startup.h"
#include "corvex/stream/bank.h"
#include "corvex/stream/datastream.h"
#include "corvex/stream/memorystream.h"
#include "corvex/stream/textstream.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  cvx::RuntimeStartup(*argc, *argv);
  cvx::InitPixmap();
  cvx::InitBanks();
  cvx::InitDataStreams();
  cvx::SetPixmapDecodeLimit(1 << 16);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cvx;
  if (size < 1) return 0;
  {
    Ref<TByteStream> bytes = CreateMemoryStream(data + 1, static_cast<std::int32_t>(size - 1), 1, 0);
    if (data[0] & 1) bytes = TCharsetStream::Create(bytes.Get(), EncodingUtf8);
    Ref<TDataStream> in = TDataStream::Create(bytes.Get());
    try {
      for (int i = 0; i < 8 && !in->AtEnd(); ++i) in->ReadSerialized();
    } catch (const TRuntimeError&) {
      // Malformed data is reported, which is what it should be.
    }
  }
  ReclaimMemory();
  return 0;
}
