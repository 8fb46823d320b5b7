// Pixmap benchmarks.
//
// PNG: PixmapLoad of a 1024 x 768 RGB picture from an "incbin::" url (the
// decoder list, the TGA decoder's refusal first, stream reads through a
// borrowed view) against libpng decoding the same bytes straight from memory
// into a malloc'd buffer. The ratio of the two is the framework's overhead.
// Resampling and pixel-run conversion report megapixels per second.
#include <benchmark/benchmark.h>
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/support/bench_main.h"
#include "corvex/pixmap/jpeg/jpegloader.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/pixmap/png/pngloader.h"
#include "corvex/pixmap/tga/tgaloader.h"
#include "corvex/runtime/startup.h"
#include "corvex/stream/embed.h"
#include "corvex/stream/memorystream.h"

namespace cvx {
namespace {

constexpr int kWidth = 1024, kHeight = 768;

// A picture with smooth gradients and a little noise, so that it compresses
// about as well as a drawn background does.
Ref<TPixmap> Picture(int format) {
  Ref<TPixmap> p = PixmapCreate(kWidth, kHeight, format, 4);
  std::uint32_t seed = 12345;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      seed = seed * 1103515245u + 12345u;
      std::uint32_t noise = (seed >> 16) & 15;
      std::uint32_t r = (x / 4 + noise) & 255, g = (y / 3 + noise) & 255, b = ((x + y) / 7) & 255;
      p->SetPixel(x, y, 0xFF000000u | r << 16 | g << 8 | b);
    }
  }
  return p;
}

std::vector<std::uint8_t>& PngBytes() {
  static std::vector<std::uint8_t> bytes = [] {
    std::vector<std::uint8_t> space(8 << 20);
    Ref<TMemoryStream> sink = CreateMemoryStream(space.data(), static_cast<std::int32_t>(space.size()), 0, 1);
    PixmapSavePNG(Picture(PIXFMT_RGB888), Ref<TObject>(sink), 6);
    space.resize(static_cast<std::size_t>(sink->Position()));
    EmbedRegister("bench/picture.png", space.data(), static_cast<std::int32_t>(space.size()));
    return space;
  }();
  return bytes;
}

void Setup() {
  static bool done = false;
  if (done) return;
  done = true;
  InitPixmap();
  InitJPEGLoader();
  InitPNGLoader();
  InitTGALoader();
  PngBytes();
}

void BM_PixmapLoadPngIncbin(benchmark::State& state) {
  Setup();
  for (auto _ : state) {
    Ref<TPixmap> p = PixmapLoad("incbin::bench/picture.png"_s);
    if (!p || p->width != kWidth) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(p->pixels);
    p = nullptr;
    ReclaimMemory();
  }
  state.counters["bytes"] = static_cast<double>(PngBytes().size());
}
BENCHMARK(BM_PixmapLoadPngIncbin)->Unit(benchmark::kMillisecond);

struct MemoryReader {
  const std::uint8_t* at;
  std::size_t left;
};

void ReadFromMemory(png_structp png, png_bytep data, png_size_t length) {
  auto* in = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (length > in->left) png_error(png, "short");
  std::memcpy(data, in->at, length);
  in->at += length;
  in->left -= length;
}

bool DecodeDirect(png_structp png, png_infop info, std::uint8_t** pixels) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  png_set_strip_16(png);
  png_set_expand(png);
  png_read_update_info(png, info);
  png_uint_32 h = png_get_image_height(png, info);
  png_size_t rowBytes = png_get_rowbytes(png, info);
  *pixels = static_cast<std::uint8_t*>(std::malloc(rowBytes * h));
  std::vector<png_bytep> rows(h);
  for (png_uint_32 y = 0; y < h; ++y) rows[y] = *pixels + rowBytes * y;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  return true;
}

void BM_LibpngDirect(benchmark::State& state) {
  Setup();
  const std::vector<std::uint8_t>& bytes = PngBytes();
  for (auto _ : state) {
    MemoryReader in{bytes.data(), bytes.size()};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_read_fn(png, &in, ReadFromMemory);
    std::uint8_t* pixels = nullptr;
    if (!DecodeDirect(png, info, &pixels)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(pixels);
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(pixels);
  }
}
BENCHMARK(BM_LibpngDirect)->Unit(benchmark::kMillisecond);

void MegapixelRate(benchmark::State& state, double pixelsPerIteration) {
  state.counters["MP/s"] = benchmark::Counter(pixelsPerIteration / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// Args: source format, destination width and height.
void BM_PixmapResize(benchmark::State& state) {
  Setup();
  Ref<TPixmap> source = Picture(static_cast<int>(state.range(0)));
  const int w = static_cast<int>(state.range(1)), h = static_cast<int>(state.range(2));
  for (auto _ : state) {
    Ref<TPixmap> r = PixmapResize(source, w, h);
    benchmark::DoNotOptimize(r->pixels);
    r = nullptr;
    ReclaimMemory();
  }
  MegapixelRate(state, static_cast<double>(w) * h);
}
BENCHMARK(BM_PixmapResize)
    ->Args({PIXFMT_RGBA8888, 512, 384})
    ->Args({PIXFMT_RGBA8888, 2048, 1536})
    ->Args({PIXFMT_RGB888, 800, 600})
    ->Unit(benchmark::kMillisecond);

// Args: source format, destination format; one 1024 x 768 picture as rows.
void BM_ConvertPixelRun(benchmark::State& state) {
  const int from = static_cast<int>(state.range(0)), to = static_cast<int>(state.range(1));
  std::vector<std::uint8_t> source(static_cast<std::size_t>(kWidth) * kHeight * 4, 0x5A);
  std::vector<std::uint8_t> target(source.size());
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y) {
      const std::size_t row = static_cast<std::size_t>(y) * kWidth;
      ConvertPixelRun(source.data() + row * PixelFormatBytes[from], from, target.data() + row * PixelFormatBytes[to],
                      to, kWidth);
    }
    benchmark::DoNotOptimize(target.data());
  }
  MegapixelRate(state, static_cast<double>(kWidth) * kHeight);
}
BENCHMARK(BM_ConvertPixelRun)
    ->Args({PIXFMT_RGBA8888, PIXFMT_RGBA8888})
    ->Args({PIXFMT_RGB888, PIXFMT_RGBA8888})
    ->Args({PIXFMT_BGRA8888, PIXFMT_RGBA8888})
    ->Args({PIXFMT_RGBA8888, PIXFMT_I8})
    ->Args({PIXFMT_BGR888, PIXFMT_RGB888});

}  // namespace
}  // namespace cvx

int main(int argc, char** argv) { return cvx::RunBenchmarks(argc, argv); }
