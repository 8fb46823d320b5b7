// libFuzzer target: the PNG decoder on arbitrary bytes. It must return a
// pixmap or null (a memory stream raises no stream errors); anything else,
// an exception included, is a crash.
#include "corvex/pixmap/png/pngloader.h"
#include "tests/pixmap/fuzz/fuzzsupport.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  cvx::fuzz::Start(argc, argv);
  cvx::InitPNGLoader();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cvx;
  {
    Ref<TMemoryStream> stream = fuzz::StreamOver(data, size);
    fuzz::Check(PixmapLoadPNG(Ref<TObject>(stream)));
  }
  fuzz::Finish();
  return 0;
}
