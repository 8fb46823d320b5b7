// Image files the tests build themselves: byte builders for TGA and BMP,
// libpng and libjpeg encoders writing to memory, and memory streams over them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "corvex/pixmap/pixmap.h"
#include "corvex/stream/memorystream.h"

namespace cvx::test {

using Bytes = std::vector<std::uint8_t>;

// The decoders of a running program, registered in its order (BMP with the
// pixmap module, then JPEG, PNG, TGA).
void InitDecoders();

// A read-only stream over the bytes (which must outlive it).
Ref<TMemoryStream> ReadStream(const Bytes& bytes);

// Little-endian byte builder.
struct ByteWriter {
  Bytes bytes;
  ByteWriter& U8(int v);
  ByteWriter& U16(int v);
  ByteWriter& U32(std::uint32_t v);
  ByteWriter& Raw(const Bytes& more);
};

// A PNG written with libpng from packed rows (rowBytes each). palette: RGB
// triples; trns: the tRNS chunk's bytes (palette alphas, or a 16-bit grey or
// RGB value in PNG byte order).
struct PngSpec {
  int width = 0;
  int height = 0;
  int bitDepth = 8;
  int colourType = 0;
  bool interlaced = false;
  Bytes rows;  // height rows, packed, in PNG sample order
  Bytes palette;
  Bytes trns;
};
Bytes EncodePng(const PngSpec& spec);

// A JPEG written with libjpeg's compressor. components 1 (grey), 3 (RGB) or
// 4 (CMYK); pixels packed width * components per row.
Bytes EncodeJpeg(int width, int height, int components, const Bytes& pixels, int quality = 95,
                 bool progressive = false);

// PixmapSavePNG into memory; empty when the save reported failure.
Bytes SavePngBytes(const Ref<TPixmap>& pixmap, int compression = 6);

// The pixel as r, g, b, a bytes of its ARGB value.
struct Rgba {
  int r, g, b, a;
  bool operator==(const Rgba&) const = default;
};
Rgba PixelOf(const Ref<TPixmap>& pixmap, int x, int y);
std::string ToString(const Rgba& c);

// A pixmap of the format whose pixel (x, y) is set to Pattern (x, y).
std::uint32_t Pattern(int x, int y);
Ref<TPixmap> PatternPixmap(int width, int height, int format);

}  // namespace cvx::test
