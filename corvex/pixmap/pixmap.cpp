#include "corvex/pixmap/pixmap.h"

#include <cstring>
#include <limits>

#include "corvex/runtime/memory.h"

namespace cvx {

TPixmap::~TPixmap() {
  if (capacity >= 0 && pixels) SystemFree(pixels);
}

std::uint8_t* TPixmap::PixelAddress(int x, int y) {
  return pixels + static_cast<std::ptrdiff_t>(y) * pitch + static_cast<std::ptrdiff_t>(x) * PixelFormatSize(format);
}

Ref<TPixmap> TPixmap::SubWindow(int x, int y, int w, int h) {
  Ref<TPixmap> window = WrapPixels(PixelAddress(x, y), w, h, pitch, format);
  // Holding the parent means a window can never outlive the rows it points at.
  window->parent_ = this;
  return window;
}

Ref<TPixmap> TPixmap::Clone() {
  Ref<TPixmap> copy = Allocate(width, height, format, 4);
  const auto rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(PixelFormatSize(format));
  for (int y = 0; y < height; ++y) std::memcpy(copy->PixelAddress(0, y), PixelAddress(0, y), rowBytes);
  return copy;
}

namespace {

// The bytes a pixmap's rows span, from the lowest address to one past the
// highest (empty for a pixmap without pixels).
struct ByteSpan {
  std::uintptr_t first = 0, end = 0;
};
ByteSpan RowSpan(TPixmap* pixmap, int x, int y, int width, int height, int format) {
  const std::int64_t rowBytes = static_cast<std::int64_t>(width) * PixelFormatSize(format);
  if (!pixmap->pixels || width <= 0 || height <= 0 || rowBytes <= 0) return {};
  // Worked out as numbers: a rectangle off the pixmap is no address to form.
  const auto base = reinterpret_cast<std::uintptr_t>(pixmap->pixels);
  const std::int64_t left = static_cast<std::int64_t>(x) * PixelFormatSize(format);
  const std::int64_t top = static_cast<std::int64_t>(y) * pixmap->pitch + left;
  const std::int64_t bottom = (static_cast<std::int64_t>(y) + height - 1) * pixmap->pitch + left;
  const std::int64_t low = top < bottom ? top : bottom, high = top < bottom ? bottom : top;
  return {base + static_cast<std::uintptr_t>(low), base + static_cast<std::uintptr_t>(high + rowBytes)};
}

}  // namespace

void TPixmap::PasteFrom(TPixmap* source, int x, int y) {
  if (!source) ThrowNullObjectError();
  // Pasting a pixmap's rows into themselves (the pixmap itself, or a window
  // over its rows) would overwrite rows still to be read: they are copied first.
  const ByteSpan from = RowSpan(source, 0, 0, source->width, source->height, source->format);
  const ByteSpan to = RowSpan(this, x, y, source->width, source->height, format);
  if (from.first < to.end && to.first < from.end) {
    Ref<TPixmap> copy = source->Clone();
    PasteFrom(copy.Get(), x, y);
    return;
  }
  for (int i = 0; i < source->height; ++i) {
    ConvertPixelRun(source->PixelAddress(0, i), source->format, PixelAddress(x, y + i), format, source->width);
  }
}

Ref<TPixmap> TPixmap::ConvertTo(int newFormat) {
  Ref<TPixmap> converted = Allocate(width, height, newFormat, 4);
  for (int y = 0; y < height; ++y) {
    ConvertPixelRun(PixelAddress(0, y), format, converted->PixelAddress(0, y), newFormat, width);
  }
  return converted;
}

std::uint32_t TPixmap::GetPixel(int x, int y) {
  if (!IsPixelFormat(format)) return 0;
  const std::uint8_t* p = PixelAddress(x, y);
  auto argb = [](std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
  };
  switch (format) {
    case PIXFMT_I8:
      return argb(255, p[0], p[0], p[0]);
    case PIXFMT_A8:
      return argb(p[0], 255, 255, 255);
    case PIXFMT_BGR888:
      return argb(255, p[2], p[1], p[0]);
    case PIXFMT_RGB888:
      return argb(255, p[0], p[1], p[2]);
    case PIXFMT_BGRA8888:
      return argb(p[3], p[2], p[1], p[0]);
    default:  // PIXFMT_RGBA8888
      return argb(p[3], p[0], p[1], p[2]);
  }
}

void TPixmap::SetPixel(int x, int y, std::uint32_t argb) {
  if (!IsPixelFormat(format)) return;
  auto a = static_cast<std::uint8_t>(argb >> 24);
  auto r = static_cast<std::uint8_t>(argb >> 16);
  auto g = static_cast<std::uint8_t>(argb >> 8);
  auto b = static_cast<std::uint8_t>(argb);
  std::uint8_t* p = PixelAddress(x, y);
  switch (format) {
    case PIXFMT_I8:
      p[0] = static_cast<std::uint8_t>((r + g + b) / 3);
      break;
    case PIXFMT_A8:
      p[0] = a;
      break;
    case PIXFMT_BGR888:
      p[0] = b, p[1] = g, p[2] = r;
      break;
    case PIXFMT_RGB888:
      p[0] = r, p[1] = g, p[2] = b;
      break;
    case PIXFMT_BGRA8888:
      p[0] = b, p[1] = g, p[2] = r, p[3] = a;
      break;
    default:  // PIXFMT_RGBA8888
      p[0] = r, p[1] = g, p[2] = b, p[3] = a;
      break;
  }
}

Ref<TPixmap> TPixmap::Allocate(int width, int height, int format, int align) {
  if (width < 0 || height < 0) throw TRuntimeError("Invalid pixmap size");
  if (!IsPixelFormat(format)) throw TRuntimeError("Invalid pixel format");
  if (align < 1) align = 1;
  std::int64_t rowBytes = static_cast<std::int64_t>(width) * PixelFormatBytes[format];
  std::int64_t pitch = (rowBytes + align - 1) / align * align;
  // The pitch is checked first: below 2^31 its product with the height cannot
  // overflow. A pixmap without rows (an empty one read back from a data
  // stream may be 2^31 - 1 wide) has no row to step over: its pitch is 0.
  if (pitch > std::numeric_limits<std::int32_t>::max()) {
    if (height != 0) throw TRuntimeError("Pixmap too large");
    pitch = 0;
  }
  std::int64_t bytes = pitch * height;
  if (bytes > std::numeric_limits<std::int32_t>::max()) throw TRuntimeError("Pixmap too large");
  Ref<TPixmap> pixmap = new TPixmap();
  pixmap->pixels = static_cast<std::uint8_t*>(SystemAllocate(static_cast<std::size_t>(bytes)));
  if (!pixmap->pixels) throw TRuntimeError("Unable to allocate pixmap");
  pixmap->width = width;
  pixmap->height = height;
  pixmap->pitch = static_cast<std::int32_t>(pitch);
  pixmap->format = format;
  pixmap->capacity = static_cast<std::int32_t>(bytes);
  return pixmap;
}

Ref<TPixmap> TPixmap::WrapPixels(void* pixels, int width, int height, int pitch, int format) {
  Ref<TPixmap> pixmap = new TPixmap();
  pixmap->pixels = static_cast<std::uint8_t*>(pixels);
  pixmap->width = width;
  pixmap->height = height;
  pixmap->pitch = pitch;
  pixmap->format = format;
  pixmap->capacity = -1;
  return pixmap;
}

// ---- Free functions -----------------------------------------------------------

Ref<TPixmap> PixmapCreate(int width, int height, int format, int align) {
  return TPixmap::Allocate(width, height, format, align);
}
Ref<TPixmap> PixmapCreateStatic(void* pixels, int width, int height, int pitch, int format) {
  return TPixmap::WrapPixels(pixels, width, height, pitch, format);
}
Ref<TPixmap> PixmapClone(const Ref<TPixmap>& pixmap) { return pixmap->Clone(); }
Ref<TPixmap> PixmapConvert(const Ref<TPixmap>& pixmap, int format) { return pixmap->ConvertTo(format); }
int PixmapGetWidth(const Ref<TPixmap>& pixmap) { return pixmap->width; }
int PixmapGetHeight(const Ref<TPixmap>& pixmap) { return pixmap->height; }
int PixmapGetPitch(const Ref<TPixmap>& pixmap) { return pixmap->pitch; }
int PixmapGetFormat(const Ref<TPixmap>& pixmap) { return pixmap->format; }
std::uint8_t* PixmapPixelAddress(const Ref<TPixmap>& pixmap, int x, int y) { return pixmap->PixelAddress(x, y); }
Ref<TPixmap> PixmapSubWindow(const Ref<TPixmap>& pixmap, int x, int y, int w, int h) {
  return pixmap->SubWindow(x, y, w, h);
}
std::uint32_t PixmapGetPixel(const Ref<TPixmap>& pixmap, int x, int y) { return pixmap->GetPixel(x, y); }
void PixmapSetPixel(const Ref<TPixmap>& pixmap, int x, int y, std::uint32_t argb) { pixmap->SetPixel(x, y, argb); }

}  // namespace cvx
