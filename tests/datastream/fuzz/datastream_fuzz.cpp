// libFuzzer target: a data stream reading objects from arbitrary bytes, either
// directly or through a UTF-8 text stream (the first byte chooses). Reading
// must give objects or raise a runtime error; anything else is a crash. When
// the first object reads whole from binary data, every strict prefix of its
// bytes must raise: a stream cut short never reads as a smaller object.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/startup.h"
#include "corvex/stream/bank.h"
#include "corvex/stream/datastream.h"
#include "corvex/stream/memorystream.h"
#include "corvex/stream/textstream.h"

namespace {

// Text streams keep the pairs of their raw bytes without a mark at the end
// (see datastream.h), so the prefixes are checked on the binary form.
void CheckEveryPrefixRaises(const std::uint8_t* data, std::int32_t length) {
  using namespace cvx;
  for (std::int32_t cut = 0; cut < length; ++cut) {
    Ref<TByteStream> bytes = CreateMemoryStream(data, cut, 1, 0);
    Ref<TDataStream> in = TDataStream::Create(bytes.Get());
    bool raised = false;
    try {
      in->ReadSerialized();
    } catch (const TRuntimeError&) {
      raised = true;
    }
    if (!raised) {
      std::fprintf(stderr, "an object read from %d of its %d bytes\n", cut, length);
      std::abort();
    }
  }
}

}  // namespace

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
    const bool text = data[0] & 1;
    Ref<TByteStream> bytes = CreateMemoryStream(data + 1, static_cast<std::int32_t>(size - 1), 1, 0);
    Ref<TByteStream> source = bytes;
    if (text) source = TCharsetStream::Create(bytes.Get(), EncodingUtf8);
    Ref<TDataStream> in = TDataStream::Create(source.Get());
    try {
      for (int i = 0; i < 8 && !in->AtEnd(); ++i) {
        in->ReadSerialized();
        if (i == 0 && !text) CheckEveryPrefixRaises(data + 1, bytes->Position());
      }
    } catch (const TRuntimeError&) {
      // Malformed data is reported, which is what it should be.
    }
  }
  ReclaimMemory();
  return 0;
}
