#include "tests/pixmap/imagefiles.h"

#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <stdexcept>

#include "corvex/pixmap/jpeg/jpegloader.h"
#include "corvex/pixmap/png/pngloader.h"
#include "corvex/pixmap/tga/tgaloader.h"

namespace cvx::test {

void InitDecoders() {
  InitPixmap();
  InitJPEGLoader();
  InitPNGLoader();
  InitTGALoader();
}

Ref<TMemoryStream> ReadStream(const Bytes& bytes) {
  return CreateMemoryStream(bytes.data(), static_cast<std::int32_t>(bytes.size()), 1, 0);
}

ByteWriter& ByteWriter::U8(int v) {
  bytes.push_back(static_cast<std::uint8_t>(v));
  return *this;
}
ByteWriter& ByteWriter::U16(int v) { return U8(v & 255).U8((v >> 8) & 255); }
ByteWriter& ByteWriter::U32(std::uint32_t v) {
  return U16(static_cast<int>(v & 0xFFFF)).U16(static_cast<int>(v >> 16));
}
ByteWriter& ByteWriter::Raw(const Bytes& more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
  return *this;
}

namespace {

void AppendToVector(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

bool WritePng(png_structp png, png_infop info, const PngSpec& spec, std::vector<png_bytep>& rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, spec.width, spec.height, spec.bitDepth, spec.colourType,
               spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  for (std::size_t i = 0; i + 2 < spec.palette.size(); i += 3) {
    palette.push_back({spec.palette[i], spec.palette[i + 1], spec.palette[i + 2]});
  }
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!spec.trns.empty()) {
    if (spec.colourType == PNG_COLOR_TYPE_PALETTE) {
      png_set_tRNS(png, info, spec.trns.data(), static_cast<int>(spec.trns.size()), nullptr);
    } else {
      png_color_16 value{};
      value.gray = static_cast<png_uint_16>(spec.trns[0] << 8 | spec.trns[1]);
      if (spec.trns.size() >= 6) {
        value.red = value.gray;
        value.green = static_cast<png_uint_16>(spec.trns[2] << 8 | spec.trns[3]);
        value.blue = static_cast<png_uint_16>(spec.trns[4] << 8 | spec.trns[5]);
      }
      png_set_tRNS(png, info, nullptr, 0, &value);
    }
  }
  png_set_rows(png, info, rows.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  return true;
}

}  // namespace

Bytes EncodePng(const PngSpec& spec) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, AppendToVector, nullptr);
  const std::size_t rowBytes = spec.rows.size() / static_cast<std::size_t>(spec.height);
  std::vector<png_bytep> rows;
  Bytes copy = spec.rows;
  for (int y = 0; y < spec.height; ++y) rows.push_back(copy.data() + rowBytes * y);
  bool ok = WritePng(png, info, spec, rows);
  png_destroy_write_struct(&png, &info);
  if (!ok) throw std::runtime_error("test PNG could not be written");
  return out;
}

Bytes EncodeJpeg(int width, int height, int components, const Bytes& pixels, int quality, bool progressive) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = components;
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  Bytes rowCopy(static_cast<std::size_t>(width * components));
  while (cinfo.next_scanline < cinfo.image_height) {
    const std::uint8_t* from = pixels.data() + static_cast<std::size_t>(width * components) * cinfo.next_scanline;
    rowCopy.assign(from, from + width * components);
    JSAMPROW row = rowCopy.data();
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return out;
}

Bytes SavePngBytes(const Ref<TPixmap>& pixmap, int compression) {
  Bytes space(1 << 22);
  Ref<TMemoryStream> sink = CreateMemoryStream(space.data(), static_cast<std::int32_t>(space.size()), 0, 1);
  if (!PixmapSavePNG(pixmap, Ref<TObject>(sink), compression)) return {};
  space.resize(static_cast<std::size_t>(sink->Position()));
  return space;
}

Rgba PixelOf(const Ref<TPixmap>& pixmap, int x, int y) {
  std::uint32_t v = pixmap->GetPixel(x, y);
  return {static_cast<int>(v >> 16 & 255), static_cast<int>(v >> 8 & 255), static_cast<int>(v & 255),
          static_cast<int>(v >> 24)};
}

std::string ToString(const Rgba& c) {
  return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + "," + std::to_string(c.a) +
         ")";
}

std::uint32_t Pattern(int x, int y) {
  auto r = static_cast<std::uint32_t>(x * 37 + y * 11) & 255, g = static_cast<std::uint32_t>(x * 5 + y * 91) & 255;
  auto b = static_cast<std::uint32_t>(x * y + 7) & 255, a = static_cast<std::uint32_t>(255 - x * 13 - y) & 255;
  return a << 24 | r << 16 | g << 8 | b;
}

Ref<TPixmap> PatternPixmap(int width, int height, int format) {
  Ref<TPixmap> p = PixmapCreate(width, height, format, 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) p->SetPixel(x, y, Pattern(x, y));
  }
  return p;
}

}  // namespace cvx::test
