// Whole-pixmap operations: colour-key masking, mirroring and resampling.
#include <cmath>
#include <cstring>
#include <vector>

#include "corvex/pixmap/pixmap.h"

namespace cvx {

namespace {

// The pixmap itself when it is already in the hub format, else a converted copy.
Ref<TPixmap> AsRGBA(const Ref<TPixmap>& pixmap) {
  if (pixmap->format == PIXFMT_RGBA8888) return pixmap;
  return pixmap->ConvertTo(PIXFMT_RGBA8888);
}

}  // namespace

Ref<TPixmap> PixmapMask(const Ref<TPixmap>& pixmap, int red, int green, int blue) {
  TPixmap* s = pixmap.Get();
  if (!s) ThrowNullObjectError();
  const int w = s->width, h = s->height;
  Ref<TPixmap> d = PixmapCreate(w, h, PIXFMT_RGBA8888, 4);
  if (w <= 0 || h <= 0) return d;

  // The key is compared as one word: the three colour bytes of an RGBA pixel
  // against the key's. A key component outside 0..255 matches no pixel.
  const bool keyPossible = red >= 0 && red <= 255 && green >= 0 && green <= 255 && blue >= 0 && blue <= 255;
  const std::uint8_t keyBytes[4] = {static_cast<std::uint8_t>(red), static_cast<std::uint8_t>(green),
                                    static_cast<std::uint8_t>(blue), 0};
  const std::uint8_t colourBytes[4] = {255, 255, 255, 0};
  std::uint32_t key, colourMask, alphaBits;
  std::memcpy(&key, keyBytes, 4);
  std::memcpy(&colourMask, colourBytes, 4);
  alphaBits = ~colourMask;
  auto word = [](const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  };
  auto isKey = [&](const std::uint8_t* p) { return keyPossible && (word(p) & colourMask) == key; };

  // Rows in RGBA: the source's own rows when it is RGBA already, else three
  // converted rows that roll down the image (no whole converted copy).
  const bool direct = s->format == PIXFMT_RGBA8888;
  std::vector<std::uint8_t> ring(direct ? 0 : static_cast<std::size_t>(w) * 4 * 3);
  auto ringRow = [&](int y) { return ring.data() + static_cast<std::size_t>(y % 3) * w * 4; };
  auto rowAt = [&](int y) -> const std::uint8_t* { return direct ? s->PixelAddress(0, y) : ringRow(y); };
  auto convertRow = [&](int y) {
    if (!direct) ConvertPixelRunToRGBA(s->PixelAddress(0, y), s->format, ringRow(y), w);
  };
  convertRow(0);

  for (int y = 0; y < h; ++y) {
    // Row y + 1 takes the slot of row y - 2, which no pixel needs any more.
    if (y + 1 < h) convertRow(y + 1);
    const std::uint8_t* above = y > 0 ? rowAt(y - 1) : nullptr;
    const std::uint8_t* row = rowAt(y);
    const std::uint8_t* below = y + 1 < h ? rowAt(y + 1) : nullptr;
    std::uint8_t* out = d->PixelAddress(0, y);
    for (int x = 0; x < w; ++x, out += 4) {
      if (!isKey(row + x * 4)) {
        const std::uint32_t opaque = word(row + x * 4) | alphaBits;
        std::memcpy(out, &opaque, 4);
        continue;
      }
      // A transparent pixel takes its visible neighbours' colour, so that
      // filtering at the edge of the shape does not bleed the key colour in.
      int n = 0, sumR = 0, sumG = 0, sumB = 0;
      const int x0 = x > 0 ? x - 1 : 0, x1 = x + 1 < w ? x + 1 : x;
      for (const std::uint8_t* line : {above, row, below}) {
        if (!line) continue;
        for (int nx = x0; nx <= x1; ++nx) {
          const std::uint8_t* q = line + nx * 4;
          if (isKey(q)) continue;
          ++n, sumR += q[0], sumG += q[1], sumB += q[2];
        }
      }
      if (n > 0) {
        out[0] = static_cast<std::uint8_t>(sumR / n);
        out[1] = static_cast<std::uint8_t>(sumG / n);
        out[2] = static_cast<std::uint8_t>(sumB / n);
      } else {
        out[0] = out[1] = out[2] = 0;
      }
      out[3] = 0;
    }
  }
  return d;
}

Ref<TPixmap> PixmapFlipX(const Ref<TPixmap>& pixmap) {
  TPixmap* p = pixmap.Get();
  if (!p) ThrowNullObjectError();
  Ref<TPixmap> d = PixmapCreate(p->width, p->height, p->format, 4);
  const int bytes = PixelFormatSize(p->format);
  for (int y = 0; y < p->height; ++y) {
    const std::uint8_t* from = p->PixelAddress(0, y);
    std::uint8_t* to = d->PixelAddress(0, y);
    for (int i = 0; i < p->width; ++i) std::memcpy(to + i * bytes, from + (p->width - 1 - i) * bytes, bytes);
  }
  return d;
}

Ref<TPixmap> PixmapFlipY(const Ref<TPixmap>& pixmap) {
  TPixmap* p = pixmap.Get();
  if (!p) ThrowNullObjectError();
  Ref<TPixmap> d = PixmapCreate(p->width, p->height, p->format, 4);
  for (int i = 0; i < p->height; ++i) {
    CopyPixelRun(p->PixelAddress(0, p->height - 1 - i), d->PixelAddress(0, i), p->format, p->width);
  }
  return d;
}

namespace {

// Where one destination coordinate samples the source: the first source index,
// the weight of the next one, and whether there is a next one.
struct Tap {
  int index;
  float weight;
  bool step;
};

Tap SampleTap(int i, float scale, int sourceSize) {
  float s = (static_cast<float>(i) + 0.5f) * scale - 0.5f;
  float f = std::floor(s);
  if (f < 0.0f) return {0, 0.0f, false};
  if (f >= static_cast<float>(sourceSize - 1)) return {sourceSize - 1, 0.0f, false};
  return {static_cast<int>(f), s - f, true};
}

}  // namespace

Ref<TPixmap> PixmapResize(const Ref<TPixmap>& pixmap, int newWidth, int newHeight) {
  Ref<TPixmap> s = AsRGBA(pixmap);
  Ref<TPixmap> d = PixmapCreate(newWidth, newHeight, pixmap->format, 4);
  const int sw = s->width, sh = s->height;
  if (sw <= 0 || sh <= 0) {
    // Nothing to sample from: a cleared result rather than reads before row 0.
    for (int i = 0; i < newHeight; ++i) std::memset(d->PixelAddress(0, i), 0, newWidth * PixelFormatSize(d->format));
    return d;
  }
  const float scaleY = static_cast<float>(sh) / static_cast<float>(newHeight);
  const float scaleX = static_cast<float>(sw) / static_cast<float>(newWidth);

  std::vector<Tap> columns(static_cast<std::size_t>(newWidth));
  for (int j = 0; j < newWidth; ++j) columns[j] = SampleTap(j, scaleX, sw);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(newWidth) * 4);

  for (int i = 0; i < newHeight; ++i) {
    const Tap ty = SampleTap(i, scaleY, sh);
    const std::uint8_t* top = s->PixelAddress(0, ty.index);
    const std::uint8_t* bottom = ty.step ? top + s->pitch : top;
    std::uint8_t* out = row.data();
    for (int j = 0; j < newWidth; ++j, out += 4) {
      const Tap& tx = columns[j];
      const int c0 = tx.index * 4;
      const int c1 = tx.step ? c0 + 4 : c0;
      for (int k = 0; k < 4; ++k) {
        int p00 = top[c0 + k], p10 = top[c1 + k], p01 = bottom[c0 + k], p11 = bottom[c1 + k];
        float upper = static_cast<float>(p00) + static_cast<float>(p10 - p00) * tx.weight;
        float lower = static_cast<float>(p01) + static_cast<float>(p11 - p01) * tx.weight;
        out[k] = static_cast<std::uint8_t>(static_cast<int>(upper + (lower - upper) * ty.weight));
      }
    }
    ConvertPixelRun(row.data(), PIXFMT_RGBA8888, d->PixelAddress(0, i), d->format, newWidth);
  }
  return d;
}

}  // namespace cvx
