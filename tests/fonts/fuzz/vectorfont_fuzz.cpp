// libFuzzer target: arbitrary bytes as a font file. Opening gives a font or
// null; every glyph of the first few is rendered and each pixel byte read, so
// the sanitizers see a bitmap copied out of bounds. An exception is a crash.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "corvex/fonts/vectorfont.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/startup.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  cvx::RuntimeStartup(*argc, *argv);
  cvx::InitVectorFonts();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cvx;
  if (size == 0) return 0;
  {
    // The first byte picks a small pixel size, which keeps renders quick.
    const int pixels = 1 + data[0] % 24;
    Array<std::uint8_t> bytes = NewArray<std::uint8_t>(static_cast<std::int32_t>(size - 1));
    if (size > 1) std::memcpy(bytes->Data(), data + 1, size - 1);
    Ref<TVectorFontSource> font = OpenVectorFontBytes(bytes, pixels, 0);
    if (font) {
      unsigned sum = 0;
      const int count = font->GlyphCount() < 64 ? font->GlyphCount() : 64;
      for (int i = -1; i <= count; ++i) {
        Ref<TGlyphSource> glyph = font->GlyphAt(i);
        if (!glyph) continue;
        int x, y, w, h;
        glyph->Bounds(x, y, w, h);
        Ref<TPixmap> map = glyph->GlyphPixels();
        if (!map) continue;
        if (map->width != w || map->height != h) __builtin_trap();
        for (int r = 0; r < h; ++r)
          for (int c = 0; c < w; ++c) sum += *map->PixelAddress(c, r);
      }
      sum += static_cast<unsigned>(font->GlyphIndexOf('A') + font->LineHeight());
      volatile unsigned sink = sum;
      (void)sink;
    }
  }
  ReclaimMemory();
  return 0;
}
