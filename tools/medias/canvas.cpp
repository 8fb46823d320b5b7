#include "canvas.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace medias {

Colour Mix(Colour a, Colour b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Colour Scale(Colour c, float k) { return {c.r * k, c.g * k, c.b * k}; }
Colour Add(Colour a, Colour b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }

float Clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

float SmoothStep(float edge0, float edge1, float x) {
  float t = Clamp01((x - edge0) / (edge1 - edge0));
  return t * t * (3 - 2 * t);
}

std::uint32_t Hash(std::int32_t x, std::int32_t y, std::uint32_t seed) {
  std::uint32_t h = seed * 0x9E3779B9u;
  h ^= static_cast<std::uint32_t>(x) * 0x85EBCA6Bu;
  h = (h << 13) | (h >> 19);
  h ^= static_cast<std::uint32_t>(y) * 0xC2B2AE35u;
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  return h;
}

float HashUnit(std::int32_t x, std::int32_t y, std::uint32_t seed) {
  return static_cast<float>(Hash(x, y, seed) >> 8) / 16777216.0f;
}

float ValueNoise(float x, float y, std::uint32_t seed, int periodX) {
  float fx = std::floor(x), fy = std::floor(y);
  auto ix = static_cast<std::int32_t>(fx), iy = static_cast<std::int32_t>(fy);
  float tx = x - fx, ty = y - fy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  auto wrap = [periodX](std::int32_t v) {
    if (periodX <= 0) return v;
    v %= periodX;
    return v < 0 ? v + periodX : v;
  };
  float a = HashUnit(wrap(ix), iy, seed), b = HashUnit(wrap(ix + 1), iy, seed);
  float c = HashUnit(wrap(ix), iy + 1, seed), d = HashUnit(wrap(ix + 1), iy + 1, seed);
  float top = a + (b - a) * tx, bottom = c + (d - c) * tx;
  return top + (bottom - top) * ty;
}

float Fractal(float x, float y, int octaves, std::uint32_t seed, int periodX) {
  float sum = 0, weight = 1, total = 0;
  for (int i = 0; i < octaves; ++i) {
    sum += ValueNoise(x, y, seed + static_cast<std::uint32_t>(i) * 101u, periodX) * weight;
    total += weight;
    weight *= 0.5f;
    x *= 2;
    y *= 2;
    if (periodX > 0) periodX *= 2;
  }
  return sum / total;
}

Canvas::Canvas(int width, int height)
    : width_(width),
      height_(height),
      rgb_(static_cast<std::size_t>(width) * height),
      alpha_(static_cast<std::size_t>(width) * height, 0.0f) {}

void Canvas::AddLight(int x, int y, Colour c, bool wrapX) {
  if (wrapX) {
    x %= width_;
    if (x < 0) x += width_;
  }
  if (x < 0 || x >= width_ || y < 0 || y >= height_) return;
  At(x, y) = Add(At(x, y), c);
}

std::uint8_t ToByte(float v) { return static_cast<std::uint8_t>(std::lround(Clamp01(v) * 255.0f)); }

std::vector<std::uint8_t> Canvas::ToRgb8() const {
  std::vector<std::uint8_t> out;
  out.reserve(rgb_.size() * 3);
  for (const Colour& c : rgb_) {
    out.push_back(ToByte(c.r));
    out.push_back(ToByte(c.g));
    out.push_back(ToByte(c.b));
  }
  return out;
}

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Writes rows of `rowBytes` bytes through libpng; the caller has set up IHDR
// (and PLTE) through `setup`.
template <class Setup>
bool WritePng(const std::string& path, int height, std::size_t rowBytes, const std::uint8_t* data, Setup setup) {
  File file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    std::perror(path.c_str());
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  std::vector<png_bytep> rows(static_cast<std::size_t>(height));
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fprintf(stderr, "%s: PNG encoding failed\n", path.c_str());
    return false;
  }
  png_init_io(png, file.get());
  png_set_compression_level(png, 9);
  setup(png, info);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(data + rowBytes * y);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WritePngRgb(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb) {
  return WritePng(path, height, static_cast<std::size_t>(width) * 3, rgb.data(), [&](png_structp png, png_infop info) {
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  });
}

bool WritePngPalette(const std::string& path, int width, int height, const std::vector<std::uint8_t>& indices,
                     const std::vector<Colour>& palette, const std::vector<float>& opacity) {
  std::vector<png_color> entries;
  for (const Colour& c : palette) entries.push_back({ToByte(c.r), ToByte(c.g), ToByte(c.b)});
  std::vector<png_byte> alphas;
  for (float a : opacity) alphas.push_back(ToByte(a));
  return WritePng(path, height, static_cast<std::size_t>(width), indices.data(), [&](png_structp png, png_infop info) {
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, entries.data(), static_cast<int>(entries.size()));
    if (!alphas.empty()) png_set_tRNS(png, info, alphas.data(), static_cast<int>(alphas.size()), nullptr);
  });
}

bool WriteTga32(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgba) {
  std::vector<std::uint8_t> bytes(18, 0);
  bytes[2] = 2;  // uncompressed true colour
  bytes[12] = static_cast<std::uint8_t>(width & 0xFF);
  bytes[13] = static_cast<std::uint8_t>(width >> 8);
  bytes[14] = static_cast<std::uint8_t>(height & 0xFF);
  bytes[15] = static_cast<std::uint8_t>(height >> 8);
  bytes[16] = 32;    // bits per pixel
  bytes[17] = 0x08;  // 8 alpha bits, origin at the lower left: rows bottom-up
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
      bytes.push_back(p[2]);
      bytes.push_back(p[1]);
      bytes.push_back(p[0]);
      bytes.push_back(p[3]);
    }
  }
  // Version 2 footer: no extension area, no developer directory.
  for (int i = 0; i < 8; ++i) bytes.push_back(0);
  const char signature[] = "TRUEVISION-XFILE.";
  bytes.insert(bytes.end(), signature, signature + sizeof signature);  // with its NUL
  File file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    std::perror(path.c_str());
    return false;
  }
  return std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
}

}  // namespace medias
