// BMP files are read strictly forward: file header, the 40-byte info header,
// the palette, then the pixel rows, bottom row first (top row first when the
// height is negative). Rows are padded to 4 bytes.
#include "corvex/pixmap/bmp/bmploader.h"

#include <cstdint>
#include <vector>

#include "corvex/stream/endianstream.h"
#include "corvex/stream/stream.h"

namespace cvx {

namespace {

constexpr std::int64_t kFileHeaderBytes = 14;
constexpr std::int64_t kInfoHeaderBytes = 40;
// Longer info headers (the V4 and V5 layouts) are skipped up to this size;
// a larger value is taken as noise and ignored.
constexpr std::int64_t kMaxInfoHeaderBytes = 1024;

struct BmpHeader {
  std::int32_t dataOffset;
  std::int32_t infoSize;
  std::int32_t width;
  std::int32_t height;
  int bitsPerPixel;
  std::int32_t coloursUsed;
};

BmpHeader ReadHeader(TByteStream* in) {
  BmpHeader h{};
  in->ReadInt32();  // file size
  in->ReadInt32();  // two reserved words
  h.dataOffset = in->ReadInt32();
  h.infoSize = in->ReadInt32();
  h.width = in->ReadInt32();
  h.height = in->ReadInt32();
  in->ReadUInt16();  // planes
  h.bitsPerPixel = in->ReadUInt16();
  in->ReadInt32();  // compression
  in->ReadInt32();  // image size
  in->ReadInt32();  // horizontal resolution
  in->ReadInt32();  // vertical resolution
  h.coloursUsed = in->ReadInt32();
  in->ReadInt32();  // important colours
  if (h.coloursUsed == 0) h.coloursUsed = static_cast<std::int32_t>(1u << (h.bitsPerPixel & 31));
  return h;
}

std::int64_t PaddedRowBytes(int bitsPerPixel, std::int64_t width) {
  switch (bitsPerPixel) {
    case 1:
      return ((width + 7) / 8 + 3) & ~std::int64_t{3};
    case 4:
      return ((width + 1) / 2 + 3) & ~std::int64_t{3};
    case 8:
      return (width + 3) & ~std::int64_t{3};
    case 24:
      return (width * 3 + 3) & ~std::int64_t{3};
    default:  // 32
      return width * 4;
  }
}

}  // namespace

Ref<TPixmap> PixmapLoadBMP(TByteStream* stream) {
  if (!stream) ThrowNullObjectError();
  std::uint8_t signature[2] = {0, 0};
  stream->ReadExact(signature, 2);
  if (signature[0] != 'B' || signature[1] != 'M') return nullptr;

  Ref<TByteStream> in = LittleEndianView(stream);
  const BmpHeader h = ReadHeader(in.Get());
  const int bpp = h.bitsPerPixel;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return nullptr;
  // Plainly broken files are refused rather than clamped: no pixels, sizes past
  // the decode limit, or more palette entries than the depth can index.
  const std::int64_t width = h.width;
  const bool topDown = h.height < 0;
  const std::int64_t height = topDown ? -static_cast<std::int64_t>(h.height) : h.height;
  if (!PixmapDecodeSizeAllowed(width, height)) return nullptr;
  if ((bpp == 4 && (h.coloursUsed < 0 || h.coloursUsed > 16)) ||
      (bpp == 8 && (h.coloursUsed < 0 || h.coloursUsed > 256))) {
    return nullptr;
  }

  std::int64_t position = kFileHeaderBytes + kInfoHeaderBytes;
  if (h.infoSize > kInfoHeaderBytes && h.infoSize <= kMaxInfoHeaderBytes) {
    in->SkipExact(h.infoSize - static_cast<std::int32_t>(kInfoHeaderBytes));
    position += h.infoSize - kInfoHeaderBytes;
  }

  // Palette entries are blue, green, red, reserved; unused entries stay black.
  std::uint8_t palette[256 * 4] = {};
  if (bpp == 1) {
    for (int i = 0; i < 2; ++i) {
      std::int32_t entry = in->ReadInt32();
      for (int k = 0; k < 4; ++k) palette[i * 4 + k] = static_cast<std::uint8_t>(entry >> (8 * k));
    }
    position += 8;
  } else if (bpp == 4 || bpp == 8) {
    in->ReadExact(palette, h.coloursUsed * 4);
    position += h.coloursUsed * 4;
  }
  // Pixel rows placed further on (bit-field masks, gaps) are reached by skipping.
  if (h.dataOffset > position) in->SkipExact(static_cast<std::int32_t>(h.dataOffset - position));

  const int format = bpp == 32 ? PIXFMT_BGRA8888 : PIXFMT_BGR888;
  const std::int64_t rowBytes = PaddedRowBytes(bpp, width);
  // The rows are stored uncompressed, so the pixel data the header declares
  // must (mostly) be there before its pixmap is allocated.
  if (!PixmapDataCanFill(StreamBytesLeft(stream), width * height * PixelFormatBytes[format], rowBytes * height)) {
    return nullptr;
  }
  Ref<TPixmap> pixmap = PixmapCreate(static_cast<int>(width), static_cast<int>(height), format, 4);
  // Cleared once: a file that ends early leaves the previous row's bytes
  // (zeros at first), never uninitialised memory.
  std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes), 0);
  std::vector<std::uint8_t> expanded(bpp <= 8 ? static_cast<std::size_t>(width) * 4 : 0);
  const int w = static_cast<int>(width);

  for (std::int64_t i = 0; i < height; ++i) {
    const int y = static_cast<int>(topDown ? i : height - 1 - i);
    in->ReadExact(row.data(), static_cast<std::int32_t>(rowBytes));
    std::uint8_t* target = pixmap->PixelAddress(0, y);
    switch (bpp) {
      case 1:
      case 4:
      case 8:
        for (int x = 0; x < w; ++x) {
          int index;
          if (bpp == 1) {
            index = (row[x / 8] >> (7 - x % 8)) & 1;
          } else if (bpp == 4) {
            index = x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 15;
          } else {
            index = row[x];
          }
          const std::uint8_t* entry = palette + index * 4;
          std::uint8_t* out = expanded.data() + x * 4;
          out[0] = entry[0], out[1] = entry[1], out[2] = entry[2], out[3] = entry[3];
        }
        ConvertPixelRun(expanded.data(), PIXFMT_BGRA8888, target, format, w);
        break;
      case 24:
        ConvertPixelRun(row.data(), PIXFMT_BGR888, target, format, w);
        break;
      default:
        ConvertPixelRun(row.data(), PIXFMT_BGRA8888, target, format, w);
        break;
    }
  }
  return pixmap;
}

Ref<TPixmap> TBmpDecoder::DecodePixmap(TByteStream* stream) { return PixmapLoadBMP(stream); }

void InitBMPLoader() {
  static bool done = false;
  if (done) return;
  done = true;
  InitPixmap();
  new TBmpDecoder();
}

}  // namespace cvx
