// libFuzzer target: the whole PixmapLoad chain on arbitrary bytes, reached as
// a program reaches an image: a stream object, a file path, or a url through
// the stream openers (the endian views, nested, with the protocol's letter
// case varied, and a protocol nobody opens). Every decoder is registered as in
// a program, so each input meets them all in their order. The input's size
// picks the route, so the image files of the decoders' corpora seed it as
// they are. It must give a pixmap or null; anything else is a crash, and the
// memory and time limits of its test catch a decoder that allocates or loops
// far beyond what its data can fill.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "corvex/pixmap/jpeg/jpegloader.h"
#include "corvex/pixmap/png/pngloader.h"
#include "corvex/pixmap/tga/tgaloader.h"
#include "corvex/stream/url.h"
#include "tests/pixmap/fuzz/fuzzsupport.h"

namespace {

std::string imagePath;

void RemoveImageFile() { std::remove(imagePath.c_str()); }

bool WriteImageFile(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(imagePath.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  cvx::fuzz::Start(argc, argv);
  cvx::InitJPEGLoader();
  cvx::InitPNGLoader();
  cvx::InitTGALoader();
  // Above the size a decoder allocates unchecked, so that the bound against
  // the data a stream still holds is what keeps each input small.
  cvx::SetPixmapDecodeLimit(1 << 22);
  char path[] = "/tmp/corvex_pixmapload_fuzz_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) std::abort();
  close(fd);
  imagePath = path;
  std::atexit(RemoveImageFile);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cvx;
  {
    const String path = String(imagePath.c_str());
    Ref<TObject> url;
    switch (size % 6) {
      case 0:
        url = fuzz::StreamOver(data, size);
        break;
      case 1:
        url = path;
        break;
      case 2:
        url = "littleendian::"_s + path;
        break;
      case 3:
        url = "BigEndian::"_s + path;
        break;
      case 4:
        url = "littleendian::bigendian::"_s + path;
        break;
      default:
        url = "nosuchprotocol::"_s + path;
        break;
    }
    if (size % 6 != 0 && !WriteImageFile(data, size)) std::abort();
    Ref<TPixmap> pixmap = PixmapLoad(url);
    if (pixmap && size % 6 == 5) __builtin_trap();  // no opener answers that protocol
    fuzz::Check(pixmap);
  }
  fuzz::Finish();
  return 0;
}
