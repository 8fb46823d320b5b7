// Shared set-up of the decoder fuzz targets: the runtime starts as in a
// program (the collector needs the main thread's stack), decoded sizes are
// capped low so that each input stays quick, and every decoded pixel is read
// so that the sanitizers see any byte the decoder left out of bounds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/startup.h"
#include "corvex/stream/memorystream.h"

namespace cvx::fuzz {

inline void Start(int* argc, char*** argv) {
  RuntimeStartup(*argc, *argv);
  InitPixmap();
  SetPixmapDecodeLimit(1 << 16);
}

inline Ref<TMemoryStream> StreamOver(const std::uint8_t* data, std::size_t size) {
  return CreateMemoryStream(data, static_cast<std::int32_t>(size), 1, 0);
}

// Reads every pixel byte and checks the pixmap is one a caller can use.
inline void Check(const Ref<TPixmap>& pixmap) {
  if (!pixmap) return;
  if (pixmap->width < 1 || pixmap->height < 1 || !IsPixelFormat(pixmap->format)) __builtin_trap();
  unsigned sum = 0;
  const int rowBytes = pixmap->width * PixelFormatBytes[pixmap->format];
  for (int y = 0; y < pixmap->height; ++y) {
    const std::uint8_t* row = pixmap->PixelAddress(0, y);
    for (int i = 0; i < rowBytes; ++i) sum += row[i];
  }
  volatile unsigned sink = sum;
  (void)sink;
}

// Frees the input's objects (and pixel memory) before the next one.
inline void Finish() { ReclaimMemory(); }

}  // namespace cvx::fuzz
