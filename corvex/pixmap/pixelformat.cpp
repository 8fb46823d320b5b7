#include "corvex/pixmap/pixelformat.h"

#include <cstring>

namespace cvx {

void CopyPixelRun(const void* source, void* destination, int format, int count) {
  int bytes = PixelFormatSize(format);
  if (count <= 0 || bytes == 0) return;
  std::memmove(destination, source, static_cast<std::size_t>(count) * static_cast<std::size_t>(bytes));
}

// Each pixel's bytes are read into locals before any is written, so a run
// converted in place (same address, same pixel size) comes out right.
void ConvertPixelRunToRGBA(const void* source, int sourceFormat, void* destination, int count) {
  const auto* s = static_cast<const std::uint8_t*>(source);
  auto* d = static_cast<std::uint8_t*>(destination);
  switch (sourceFormat) {
    case PIXFMT_I8:
      // Backwards: the output is wider than the input, so in place this never
      // overwrites a byte before it has been read.
      for (int i = count - 1; i >= 0; --i) {
        std::uint8_t v = s[i];
        d[i * 4 + 0] = v;
        d[i * 4 + 1] = v;
        d[i * 4 + 2] = v;
        d[i * 4 + 3] = 255;
      }
      break;
    case PIXFMT_A8:
      for (int i = count - 1; i >= 0; --i) {
        std::uint8_t a = s[i];
        d[i * 4 + 0] = 255;
        d[i * 4 + 1] = 255;
        d[i * 4 + 2] = 255;
        d[i * 4 + 3] = a;
      }
      break;
    case PIXFMT_BGR888:
      for (int i = count - 1; i >= 0; --i) {
        std::uint8_t b = s[i * 3], g = s[i * 3 + 1], r = s[i * 3 + 2];
        d[i * 4 + 0] = r;
        d[i * 4 + 1] = g;
        d[i * 4 + 2] = b;
        d[i * 4 + 3] = 255;
      }
      break;
    case PIXFMT_RGB888:
      for (int i = count - 1; i >= 0; --i) {
        std::uint8_t r = s[i * 3], g = s[i * 3 + 1], b = s[i * 3 + 2];
        d[i * 4 + 0] = r;
        d[i * 4 + 1] = g;
        d[i * 4 + 2] = b;
        d[i * 4 + 3] = 255;
      }
      break;
    case PIXFMT_BGRA8888:
      for (int i = 0; i < count; ++i) {
        std::uint8_t b = s[i * 4], g = s[i * 4 + 1], r = s[i * 4 + 2], a = s[i * 4 + 3];
        d[i * 4 + 0] = r;
        d[i * 4 + 1] = g;
        d[i * 4 + 2] = b;
        d[i * 4 + 3] = a;
      }
      break;
    case PIXFMT_RGBA8888:
      CopyPixelRun(source, destination, PIXFMT_RGBA8888, count);
      break;
    default:
      break;
  }
}

void ConvertPixelRunFromRGBA(const void* source, void* destination, int destinationFormat, int count) {
  const auto* s = static_cast<const std::uint8_t*>(source);
  auto* d = static_cast<std::uint8_t*>(destination);
  switch (destinationFormat) {
    case PIXFMT_I8:
      for (int i = 0; i < count; ++i) {
        d[i] = static_cast<std::uint8_t>((s[i * 4] + s[i * 4 + 1] + s[i * 4 + 2]) / 3);
      }
      break;
    case PIXFMT_A8:
      for (int i = 0; i < count; ++i) d[i] = s[i * 4 + 3];
      break;
    case PIXFMT_BGR888:
      for (int i = 0; i < count; ++i) {
        std::uint8_t r = s[i * 4], g = s[i * 4 + 1], b = s[i * 4 + 2];
        d[i * 3 + 0] = b;
        d[i * 3 + 1] = g;
        d[i * 3 + 2] = r;
      }
      break;
    case PIXFMT_RGB888:
      for (int i = 0; i < count; ++i) {
        std::uint8_t r = s[i * 4], g = s[i * 4 + 1], b = s[i * 4 + 2];
        d[i * 3 + 0] = r;
        d[i * 3 + 1] = g;
        d[i * 3 + 2] = b;
      }
      break;
    case PIXFMT_BGRA8888:
      for (int i = 0; i < count; ++i) {
        std::uint8_t r = s[i * 4], g = s[i * 4 + 1], b = s[i * 4 + 2], a = s[i * 4 + 3];
        d[i * 4 + 0] = b;
        d[i * 4 + 1] = g;
        d[i * 4 + 2] = r;
        d[i * 4 + 3] = a;
      }
      break;
    case PIXFMT_RGBA8888:
      CopyPixelRun(source, destination, PIXFMT_RGBA8888, count);
      break;
    default:
      break;
  }
}

void ConvertPixelRun(const void* source, int sourceFormat, void* destination, int destinationFormat, int count) {
  if (count <= 0 || !IsPixelFormat(sourceFormat) || !IsPixelFormat(destinationFormat)) return;
  if (sourceFormat == destinationFormat) {
    CopyPixelRun(source, destination, sourceFormat, count);
  } else if (sourceFormat == PIXFMT_RGBA8888) {
    ConvertPixelRunFromRGBA(source, destination, destinationFormat, count);
  } else if (destinationFormat == PIXFMT_RGBA8888) {
    ConvertPixelRunToRGBA(source, sourceFormat, destination, count);
  } else {
    // Two steps through an RGBA buffer, a slice at a time so that no run
    // length needs a heap block.
    constexpr int kSlice = 512;
    alignas(16) std::uint8_t hub[kSlice * 4];
    const auto* s = static_cast<const std::uint8_t*>(source);
    auto* d = static_cast<std::uint8_t*>(destination);
    int sourceBytes = PixelFormatBytes[sourceFormat];
    int destinationBytes = PixelFormatBytes[destinationFormat];
    for (int done = 0; done < count; done += kSlice) {
      int n = count - done < kSlice ? count - done : kSlice;
      ConvertPixelRunToRGBA(s + static_cast<std::ptrdiff_t>(done) * sourceBytes, sourceFormat, hub, n);
      ConvertPixelRunFromRGBA(hub, d + static_cast<std::ptrdiff_t>(done) * destinationBytes, destinationFormat, n);
    }
  }
}

}  // namespace cvx
