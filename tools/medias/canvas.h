// Small drawing kit for the picture generator: an RGBA float canvas, seeded
// hash noise that can wrap horizontally (so that backgrounds tile), and the
// PNG and TGA writers. Everything is deterministic: no clock, no rand().
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace medias {

struct Colour {
  float r = 0, g = 0, b = 0;
};

Colour Mix(Colour a, Colour b, float t);
Colour Scale(Colour c, float k);
Colour Add(Colour a, Colour b);

float Clamp01(float v);
float SmoothStep(float edge0, float edge1, float x);

// A 32-bit integer hash of (x, y, seed), well mixed.
std::uint32_t Hash(std::int32_t x, std::int32_t y, std::uint32_t seed);
// Uniform in [0, 1) from the hash.
float HashUnit(std::int32_t x, std::int32_t y, std::uint32_t seed);

// Smooth value noise in [0, 1). `periodX` > 0 makes it repeat every periodX
// lattice cells along x.
float ValueNoise(float x, float y, std::uint32_t seed, int periodX = 0);
// Sum of octaves of value noise; each octave doubles the frequency (and the
// period, so the wrap survives), the result stays in [0, 1).
float Fractal(float x, float y, int octaves, std::uint32_t seed, int periodX = 0);

class Canvas {
 public:
  Canvas(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }

  Colour& At(int x, int y) { return rgb_[static_cast<std::size_t>(y) * width_ + x]; }
  float& AlphaAt(int x, int y) { return alpha_[static_cast<std::size_t>(y) * width_ + x]; }
  const Colour& At(int x, int y) const { return rgb_[static_cast<std::size_t>(y) * width_ + x]; }
  float AlphaAt(int x, int y) const { return alpha_[static_cast<std::size_t>(y) * width_ + x]; }

  // Adds light to a pixel; x wraps around the width when `wrapX` is set,
  // pixels outside the canvas are ignored otherwise.
  void AddLight(int x, int y, Colour c, bool wrapX);

  // 8-bit RGB, rows top to bottom.
  std::vector<std::uint8_t> ToRgb8() const;

 private:
  int width_, height_;
  std::vector<Colour> rgb_;
  std::vector<float> alpha_;
};

// Converts a channel in 0..1 to 0..255 with rounding.
std::uint8_t ToByte(float v);

// Writers: each returns false (after printing why) when the file cannot be written.
bool WritePngRgb(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb);
// `opacity` (one 0..1 entry per palette entry, or empty) becomes a tRNS chunk.
bool WritePngPalette(const std::string& path, int width, int height, const std::vector<std::uint8_t>& indices,
                     const std::vector<Colour>& palette, const std::vector<float>& opacity);
// Uncompressed true-colour TGA, 32 bits with 8 alpha bits, rows stored bottom-up,
// with the version 2 footer. `bgra` is given top to bottom.
bool WriteTga32(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgba);

}  // namespace medias
