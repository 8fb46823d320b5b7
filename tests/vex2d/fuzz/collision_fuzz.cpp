// libFuzzer target: the collision layers on arbitrary images, matrices, places,
// frames and masks. Every probe must return (an array of ids, or the null
// object or array index error for a null image or a frame out of range) in a
// bounded time; the layers are emptied after each input, so the quads of one
// input go back to the pool for the next.
//
// Input: a header of 3 bytes (two image sizes of 1 to 16 x 1 to 16, or 0 for
// an image without pixels), the pixels' alpha bits, then records of 29 bytes:
// an operation byte, 4 bytes of masks, 4 floats of matrix and 2 of place (and
// size). Matrix entries beyond 64 are wrapped unless the operation's top bit is set.
#include <cmath>
#include <cstring>

#include "corvex/runtime/error.h"
#include "corvex/vex2d/collision.h"
#include "corvex/vex2d/image.h"
#include "tests/pixmap/fuzz/fuzzsupport.h"

namespace {

using namespace cvx;

struct Reader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
  bool More() const { return at < size; }
  std::uint8_t Byte() { return at < size ? data[at++] : 0; }
  std::uint32_t Word() {
    std::uint32_t w = 0;
    for (int i = 0; i < 4; ++i) w |= static_cast<std::uint32_t>(Byte()) << (8 * i);
    return w;
  }
  float Float() {
    const std::uint32_t w = Word();
    float f;
    std::memcpy(&f, &w, sizeof f);
    return f;
  }
};

Ref<TImage> MakeImage(Reader& in, std::uint8_t size, int format) {
  const int w = size & 15, h = (size >> 4) & 15;
  if (w == 0 || h == 0) return TImage::New(w, h, 1 + (size >> 7), 0, 0, 0, 0);
  Ref<TPixmap> p = PixmapCreate(w, h, format);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; x += 8) {
      const std::uint8_t bits = in.Byte();
      for (int k = 0; k < 8 && x + k < w; ++k) p->SetPixel(x + k, y, (bits >> k) & 1 ? 0xFFFFFFFFu : 0x00FFFFFFu);
    }
  }
  return TImage::FromSource(Ref<TObject>(p), 0, 0, 0, 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  cvx::fuzz::Start(argc, argv);
  cvx::InitCollisionLayers();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cvx;
  {
    Reader in{data, size};
    static const int kFormats[] = {PIXFMT_RGBA8888, PIXFMT_A8, PIXFMT_RGB888, PIXFMT_I8};
    const std::uint8_t sizes[2] = {in.Byte(), in.Byte()};
    const int format = kFormats[in.Byte() & 3];
    Ref<TImage> images[2] = {MakeImage(in, sizes[0], format), MakeImage(in, sizes[1], PIXFMT_RGBA8888)};
    int records = 0;
    while (in.More() && records++ < 16) {
      const std::uint8_t op = in.Byte();
      const std::uint32_t masks = in.Word();
      const std::uint32_t collide = (masks & 0x10000u) ? 0xFFFFFFFFu : (1u << (masks & 31));
      const std::uint32_t write = (masks & 0x20000u) ? 0xFFFFFFFFu : ((masks >> 8) & 0xFFu);
      float m[4];
      for (float& v : m) v = in.Float();
      const float x = in.Float(), y = in.Float();
      // Huge finite scales are bounded in time but slow under the sanitizers:
      // only records with the top operation bit keep them.
      if (!(op & 0x80)) {
        for (float& v : m) {
          if (std::isfinite(v) && std::fabs(v) > 64) v = std::fmod(v, 64.0f);
        }
      }
      SetCollisionMatrix(m[0], m[1], m[2], m[3]);
      TImage* image = images[op & 1].Get();
      const int frame = static_cast<int>(static_cast<std::int8_t>(masks >> 24)) % 3;
      try {
        ObjectArray hits;  // kept until the next record, as a caller would
        switch ((op >> 1) % 5) {
          case 0:
            hits = ProbeImage(image, x, y, frame, collide, write, Ref<TObject>(image));
            break;
          case 1:
            hits = ProbeRect(x, y, m[0], m[1], collide, write, nullptr);
            break;
          case 2:
            ImagesOverlap(images[0].Get(), x, y, frame, images[1].Get(), y, x, 0);
            break;
          case 3:
            ClearLayers(masks);
            break;
          default:
            hits = ProbeImage(nullptr, x, y, 0, collide, write, nullptr);
            break;
        }
      } catch (const TRuntimeError&) {
        // A null image or a frame out of range.
      }
    }
    ClearLayers(0);
  }
  fuzz::Finish();
  return 0;
}
