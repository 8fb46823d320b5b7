// libpng reports errors by calling the error function, which must not return.
// Ours jumps back to the setjmp of the stage that made the call; each stage is
// a small function with nothing but plain values in its frame, so the jump
// skips no destructor. Stream errors raised inside the read and write
// callbacks are caught there, kept, and raised again once libpng's structures
// are destroyed.
#include "corvex/pixmap/png/pngloader.h"

#include <png.h>

#include <csetjmp>
#include <exception>
#include <vector>

#include "corvex/pixmap/decodefailure.h"
#include "corvex/pixmap/streamread.h"
#include "corvex/stream/stream.h"
#include "corvex/stream/url.h"

namespace cvx {

namespace {

constexpr std::int64_t kDeflateMaxRatio = 1032;

struct PngIo {
  TByteStream* stream;
  std::exception_ptr error;
};

// The signature matched before libpng is asked, so its message is the reason
// this PNG does not decode.
[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
  NotePixmapDecodeFailure("PNG", message ? message : "libpng error");
  png_longjmp(png, 1);
}
void OnPngWarning(png_structp, png_const_charp) {}

void ReadCallback(png_structp png, png_bytep data, png_size_t length) {
  auto* io = static_cast<PngIo*>(png_get_io_ptr(png));
  bool complete = false;
  try {
    auto want = static_cast<std::int32_t>(length);
    complete = ReadAvailable(io->stream, data, want) == want;
  } catch (...) {
    io->error = std::current_exception();
  }
  // A file cut short is a libpng error (null result), not garbage bytes.
  if (!complete) png_error(png, "read failed");
}

void WriteCallback(png_structp png, png_bytep data, png_size_t length) {
  auto* io = static_cast<PngIo*>(png_get_io_ptr(png));
  try {
    io->stream->WriteExact(data, static_cast<std::int32_t>(length));
  } catch (...) {
    io->error = std::current_exception();
  }
  if (io->error) png_error(png, "write failed");
}

void FlushCallback(png_structp png) {
  auto* io = static_cast<PngIo*>(png_get_io_ptr(png));
  try {
    io->stream->Flush();
  } catch (...) {
    io->error = std::current_exception();
  }
  if (io->error) png_error(png, "flush failed");
}

// Reads the header chunks and sets the transforms that bring every file to
// 8 bits per channel: grey, RGB or RGBA.
// fileBytes: the image's filtered rows as the file stores them, before
// compression.
bool ReadInfoStage(png_structp png, png_infop info, std::int64_t* fileBytes) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_sig_bytes(png, 8);
  png_set_user_limits(png, kMaxDecodedSide, kMaxDecodedSide);
  png_read_info(png, info);
  *fileBytes = (static_cast<std::int64_t>(png_get_rowbytes(png, info)) + 1) * png_get_image_height(png, info);
  png_set_strip_16(png);
  png_set_expand(png);
  int colourType = png_get_color_type(png, info);
  // Grey with alpha (or with a transparent grey value) becomes g, g, g, a.
  if (colourType == PNG_COLOR_TYPE_GRAY_ALPHA ||
      (colourType == PNG_COLOR_TYPE_GRAY && png_get_valid(png, info, PNG_INFO_tRNS))) {
    png_set_gray_to_rgb(png);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  return true;
}

bool ReadImageStage(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  return true;
}

// libpng's read structures, destroyed however DecodePng leaves (the stages'
// jumps never pass this frame).
struct PngReader {
  png_structp png = nullptr;
  png_infop info = nullptr;
  PngReader() {
    png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (png) info = png_create_info_struct(png);
  }
  ~PngReader() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;
};

Ref<TPixmap> DecodePng(TByteStream* stream) {
  png_byte signature[8] = {};
  if (ReadAvailable(stream, signature, 8) < 8 || png_sig_cmp(signature, 0, 8) != 0) return nullptr;

  PngIo io{stream, nullptr};
  Ref<TPixmap> pixmap;
  {
    PngReader reader;
    png_structp png = reader.png;
    png_infop info = reader.info;
    if (!png || !info) return nullptr;
    png_set_read_fn(png, &io, ReadCallback);
    std::int64_t fileBytes = 0;
    if (ReadInfoStage(png, info, &fileBytes)) {
      png_uint_32 width = 0, height = 0;
      int bitDepth = 0, colourType = 0;
      png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
      int format = 0;
      if (colourType == PNG_COLOR_TYPE_GRAY) format = PIXFMT_I8;
      if (colourType == PNG_COLOR_TYPE_RGB) format = PIXFMT_RGB888;
      if (colourType == PNG_COLOR_TYPE_RGB_ALPHA) format = PIXFMT_RGBA8888;
      // Deflate packs at most 1032 bytes into one, so a file much shorter than
      // that bound is a header claiming an image its data cannot fill.
      const std::int64_t imageBytes = std::int64_t{width} * height * PixelFormatBytes[format];
      if (bitDepth == 8 && format != 0 && PixmapDecodeSizeAllowed(width, height) &&
          png_get_rowbytes(png, info) == width * static_cast<png_uint_32>(PixelFormatBytes[format]) &&
          PixmapDataCanFill(StreamBytesLeft(stream), imageBytes, fileBytes / kDeflateMaxRatio)) {
        // libpng writes straight into the pixmap's rows.
        Ref<TPixmap> image = PixmapCreate(static_cast<int>(width), static_cast<int>(height), format, 4);
        std::vector<png_bytep> rows(height);
        for (png_uint_32 y = 0; y < height; ++y) rows[y] = image->PixelAddress(0, static_cast<int>(y));
        if (ReadImageStage(png, rows.data())) pixmap = image;
      }
    }
  }
  if (io.error) std::rethrow_exception(io.error);
  return pixmap;
}

struct PngWriteJob {
  png_uint_32 width;
  png_uint_32 height;
  int colourType;
  int transforms;
  int compression;
  png_bytepp rows;
};

struct PngWriter {
  png_structp png = nullptr;
  png_infop info = nullptr;
  PngWriter() {
    png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (png) info = png_create_info_struct(png);
  }
  ~PngWriter() {
    if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
  }
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;
};

bool WriteStage(png_structp png, png_infop info, const PngWriteJob* job) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_compression_level(png, job->compression);
  png_set_IHDR(png, info, job->width, job->height, 8, job->colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_rows(png, info, job->rows);
  png_write_png(png, info, job->transforms, nullptr);
  return true;
}

// Closes the stream whatever happens; an error of the body wins over one of Close.
template <class Body>
auto WithStream(const Ref<TByteStream>& stream, Body body) {
  try {
    auto result = body();
    stream->Close();
    return result;
  } catch (...) {
    try {
      stream->Close();
    } catch (...) {
    }
    throw;
  }
}

}  // namespace

Ref<TPixmap> PixmapLoadPNG(const Ref<TObject>& url) {
  Ref<TByteStream> stream = OpenUrlForReading(url);
  if (!stream) return nullptr;
  return WithStream(stream, [&] { return DecodePng(stream.Get()); });
}

int PixmapSavePNG(const Ref<TPixmap>& pixmap, const Ref<TObject>& url, int compression) {
  Ref<TPixmap> source = pixmap;
  if (!source) ThrowNullObjectError();
  if (!IsPixelFormat(source->format)) return 0;  // no pixels to speak of
  int colourType = PNG_COLOR_TYPE_RGB_ALPHA, transforms = PNG_TRANSFORM_IDENTITY;
  switch (source->format) {
    case PIXFMT_I8:
      colourType = PNG_COLOR_TYPE_GRAY;
      break;
    case PIXFMT_RGB888:
      colourType = PNG_COLOR_TYPE_RGB;
      break;
    case PIXFMT_BGR888:
      colourType = PNG_COLOR_TYPE_RGB;
      transforms = PNG_TRANSFORM_BGR;
      break;
    case PIXFMT_RGBA8888:
      break;
    case PIXFMT_BGRA8888:
      transforms = PNG_TRANSFORM_BGR;
      break;
    default:
      source = source->ConvertTo(PIXFMT_RGBA8888);
      break;
  }
  // What libpng would refuse is refused before the url is opened: opening a
  // file for writing empties it, and the old picture would be lost for nothing.
  if (source->width <= 0 || source->height <= 0 || compression < -1 || compression > 9) return 0;
  Ref<TByteStream> stream = OpenUrlForWriting(url);
  if (!stream) return 0;
  return WithStream(stream, [&]() -> int {
    std::vector<png_bytep> rows(static_cast<std::size_t>(source->height > 0 ? source->height : 0));
    for (std::size_t y = 0; y < rows.size(); ++y) rows[y] = source->PixelAddress(0, static_cast<int>(y));
    PngIo io{stream.Get(), nullptr};
    bool written = false;
    {
      PngWriter writer;
      if (!writer.png || !writer.info) return 0;
      png_set_write_fn(writer.png, &io, WriteCallback, FlushCallback);
      PngWriteJob job{static_cast<png_uint_32>(source->width),
                      static_cast<png_uint_32>(source->height),
                      colourType,
                      transforms,
                      compression,
                      rows.data()};
      written = source->width > 0 && source->height > 0 && WriteStage(writer.png, writer.info, &job);
    }
    if (io.error) std::rethrow_exception(io.error);
    return written ? 1 : 0;
  });
}

Ref<TPixmap> TPngDecoder::DecodePixmap(TByteStream* stream) {
  return PixmapLoadPNG(Ref<TObject>(static_cast<TObject*>(stream)));
}

void InitPNGLoader() {
  static bool done = false;
  if (done) return;
  done = true;
  InitPixmap();
  new TPngDecoder();
}

}  // namespace cvx
