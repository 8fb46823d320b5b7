// The cost of a glyph's first request (FreeType renders it into a pixmap)
// against a later one (the stored glyph), at two sizes. Compare within one
// run as ratios.
#include <benchmark/benchmark.h>

#include "bench/support/bench_main.h"
#include "corvex/fonts/vectorfont.h"

namespace cvx {
namespace {

const char* const kSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

void BM_FirstRender(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  Ref<TVectorFontSource> font = OpenVectorFont(kSans, size, 0);
  if (!font) {
    state.SkipWithError("DejaVu Sans is not installed");
    return;
  }
  int index = 0;
  for (auto _ : state) {
    if (index == font->GlyphCount()) {
      state.PauseTiming();
      font = OpenVectorFont(kSans, size, 0);
      index = 0;
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(font->GlyphAt(index++).Get());
  }
}
BENCHMARK(BM_FirstRender)->Arg(16)->Arg(48);

void BM_StoredGlyph(benchmark::State& state) {
  Ref<TVectorFontSource> font = OpenVectorFont(kSans, static_cast<int>(state.range(0)), 0);
  if (!font) {
    state.SkipWithError("DejaVu Sans is not installed");
    return;
  }
  const int index = font->GlyphIndexOf('A');
  font->GlyphAt(index);
  for (auto _ : state) benchmark::DoNotOptimize(font->GlyphAt(index).Get());
}
BENCHMARK(BM_StoredGlyph)->Arg(16)->Arg(48);

}  // namespace
}  // namespace cvx

int main(int argc, char** argv) { return cvx::RunBenchmarks(argc, argv, cvx::InitVectorFonts); }
