// libFuzzer target: the JPEG decoder on arbitrary bytes. It must return a
// pixmap or null (a memory stream raises no stream errors); anything else,
// an exception included, is a crash.
#include "corvex/pixmap/jpeg/jpegloader.h"
#include "tests/pixmap/fuzz/fuzzsupport.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  cvx::fuzz::Start(argc, argv);
  cvx::InitJPEGLoader();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cvx;
  {
    Ref<TMemoryStream> stream = fuzz::StreamOver(data, size);
    fuzz::Check(PixmapLoadJPEG(stream.Get()));
  }
  fuzz::Finish();
  return 0;
}
