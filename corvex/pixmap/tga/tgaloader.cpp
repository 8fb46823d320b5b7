// TGA files: an 18-byte little-endian header, the image ID, then the rows,
// the bottom row first. Each row is decoded into a buffer of ARGB words
// (blue, green, red, alpha in memory) and converted into the pixmap.
#include "corvex/pixmap/tga/tgaloader.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "corvex/stream/endianstream.h"
#include "corvex/stream/stream.h"

namespace cvx {

namespace {

constexpr int kMaxSide = 4096;

struct TgaHeader {
  std::uint8_t idLength;
  std::uint8_t colourMapType;
  std::uint8_t imageType;
  std::uint16_t colourMapFirst;
  std::uint16_t colourMapLength;
  std::uint8_t colourMapEntrySize;
  std::uint16_t xOrigin;
  std::uint16_t yOrigin;
  std::uint16_t width;
  std::uint16_t height;
  std::uint8_t pixelDepth;
  std::uint8_t descriptor;
};

TgaHeader ReadHeader(TByteStream* in) {
  std::uint8_t first[8] = {};
  in->ReadExact(first, 8);
  TgaHeader h{};
  h.idLength = first[0];
  h.colourMapType = first[1];
  h.imageType = first[2];
  h.colourMapFirst = static_cast<std::uint16_t>(first[3] | first[4] << 8);
  h.colourMapLength = static_cast<std::uint16_t>(first[5] | first[6] << 8);
  h.colourMapEntrySize = first[7];
  h.xOrigin = static_cast<std::uint16_t>(in->ReadUInt16());
  h.yOrigin = static_cast<std::uint16_t>(in->ReadUInt16());
  h.width = static_cast<std::uint16_t>(in->ReadUInt16());
  h.height = static_cast<std::uint16_t>(in->ReadUInt16());
  h.pixelDepth = static_cast<std::uint8_t>(in->ReadUInt8());
  h.descriptor = static_cast<std::uint8_t>(in->ReadUInt8());
  return h;
}

// 5-bit channels widen by a shift: 31 becomes 248. At depth 16 a set top bit
// means transparent.
std::uint32_t FromPacked16(int v, int depth) {
  std::uint32_t alpha = depth == 16 && (v & 0x8000) ? 0 : 255;
  std::uint32_t red = (v >> 7) & 0xF8, green = (v >> 2) & 0xF8, blue = (v << 3) & 0xF8;
  return alpha << 24 | red << 16 | green << 8 | blue;
}

std::uint32_t FromBGR(const std::uint8_t* p) {
  return 0xFF000000u | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
}

class TgaRowReader {
 public:
  TgaRowReader(TByteStream* in, int depth, int width)
      : in_(in),
        depth_(depth),
        words_(static_cast<std::size_t>(width), 0),
        bytes_(static_cast<std::size_t>(width) * 3, 0) {}

  std::uint32_t* Words() noexcept { return words_.data(); }

  // count literal pixels into the word buffer from pixel at.
  void ReadLiteral(int at, int count) {
    std::uint32_t* out = words_.data() + at;
    switch (depth_) {
      case 24:
        in_->ReadExact(bytes_.data(), count * 3);
        for (int i = 0; i < count; ++i) out[i] = FromBGR(bytes_.data() + i * 3);
        break;
      case 32:
        in_->ReadExact(out, count * 4);
        break;
      default:
        for (int i = 0; i < count; ++i) out[i] = FromPacked16(in_->ReadUInt16(), depth_);
        break;
    }
  }

  std::uint32_t ReadOne() {
    std::uint8_t p[4] = {};
    switch (depth_) {
      case 24:
        in_->ReadExact(p, 3);
        return FromBGR(p);
      case 32: {
        in_->ReadExact(p, 4);
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
      }
      default:
        return FromPacked16(in_->ReadUInt16(), depth_);
    }
  }

  // One run-length row. A packet may run past the end of the row: its excess
  // carries into the next row, as TGA writers that pack across rows expect
  // (and for rows that end on packet boundaries this is plain row-by-row
  // decoding). Pixels past the last row are dropped.
  void ReadRunLengthRow() {
    const int width = static_cast<int>(words_.size());
    int x = 0;
    while (x < width) {
      if (pending_ == 0) {
        int header = in_->ReadUInt8();
        pending_ = (header & 0x7F) + 1;
        isRun_ = (header & 0x80) != 0;
        if (isRun_) runValue_ = ReadOne();
      }
      int n = pending_ < width - x ? pending_ : width - x;
      if (isRun_) {
        for (int i = 0; i < n; ++i) words_[x + i] = runValue_;
      } else {
        ReadLiteral(x, n);
      }
      pending_ -= n;
      x += n;
    }
  }

 private:
  TByteStream* in_;
  int depth_;
  std::vector<std::uint32_t> words_;
  std::vector<std::uint8_t> bytes_;
  int pending_ = 0;
  bool isRun_ = false;
  std::uint32_t runValue_ = 0;
};

}  // namespace

Ref<TPixmap> PixmapLoadTGA(TByteStream* stream) {
  if (!stream) ThrowNullObjectError();
  Ref<TByteStream> in = LittleEndianView(stream);
  const TgaHeader h = ReadHeader(in.Get());
  const int depth = h.pixelDepth;
  // Type 1 (colour-mapped) is refused as well: it needs a colour map, and a
  // colour map type other than 0 is refused already.
  if (h.colourMapType != 0 || (h.imageType != 2 && h.imageType != 10)) return nullptr;
  if (depth != 15 && depth != 16 && depth != 24 && depth != 32) return nullptr;
  if (h.width < 1 || h.width > kMaxSide || h.height < 1 || h.height > kMaxSide) return nullptr;
  if (!PixmapDecodeSizeAllowed(h.width, h.height)) return nullptr;

  const int width = h.width, height = h.height;
  const int format = depth == 16 || depth == 32 ? PIXFMT_RGBA8888 : PIXFMT_RGB888;
  // The fewest bytes such an image takes: every pixel stored, or for run
  // length one packet (header and one pixel) per 128 pixels.
  const std::int64_t pixels = std::int64_t{width} * height, pixelBytes = (depth + 7) / 8;
  const std::int64_t minimumData = h.imageType == 10 ? (pixels + 127) / 128 * (1 + pixelBytes) : pixels * pixelBytes;
  if (!PixmapDataCanFill(StreamBytesLeft(stream), pixels * PixelFormatBytes[format], h.idLength + minimumData)) {
    return nullptr;
  }
  Ref<TPixmap> pixmap = PixmapCreate(width, height, format, 4);
  in->SkipExact(h.idLength);

  TgaRowReader reader(in.Get(), depth, width);
  for (int y = height - 1; y >= 0; --y) {
    // Once the data has ended, the remaining rows repeat the buffer as it
    // stands, without a read per pixel that could only come back empty.
    if (!in->AtEnd()) {
      if (h.imageType == 10) {
        reader.ReadRunLengthRow();
      } else {
        reader.ReadLiteral(0, width);
      }
    }
    ConvertPixelRun(reader.Words(), PIXFMT_BGRA8888, pixmap->PixelAddress(0, y), format, width);
  }
  return pixmap;
}

Ref<TPixmap> TTgaDecoder::DecodePixmap(TByteStream* stream) { return PixmapLoadTGA(stream); }

void InitTGALoader() {
  static bool done = false;
  if (done) return;
  done = true;
  InitPixmap();
  new TTgaDecoder();
}

}  // namespace cvx
