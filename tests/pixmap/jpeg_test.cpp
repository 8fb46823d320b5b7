#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "corvex/pixmap/jpeg/jpegloader.h"
#include "tests/pixmap/imagefiles.h"

namespace cvx {
namespace {

using test::Bytes;

Ref<TPixmap> LoadJpeg(const Bytes& bytes) { return PixmapLoadJPEG(test::ReadStream(bytes).Get()); }

// Smooth pictures, so that a lossy round trip stays within a few levels.
Bytes Gradient(int width, int height, int components) {
  Bytes pixels;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < components; ++c)
        pixels.push_back(static_cast<std::uint8_t>(std::min(255, x * 3 + y * 2 + c * 20)));
    }
  }
  return pixels;
}

int MaxDifference(const Ref<TPixmap>& p, const Bytes& pixels, int components) {
  int worst = 0;
  for (int y = 0; y < p->height; ++y) {
    for (int x = 0; x < p->width * components; ++x) {
      int d = std::abs(p->PixelAddress(0, y)[x] - pixels[static_cast<std::size_t>(y * p->width * components + x)]);
      worst = std::max(worst, d);
    }
  }
  return worst;
}

TEST(JpegLoader, GreyscaleLoadsAsI8) {
  Bytes pixels = Gradient(37, 21, 1);
  Ref<TPixmap> p = LoadJpeg(test::EncodeJpeg(37, 21, 1, pixels));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->format, PIXFMT_I8);
  EXPECT_EQ(p->width, 37);
  EXPECT_EQ(p->height, 21);
  EXPECT_LE(MaxDifference(p, pixels, 1), 8);
}

TEST(JpegLoader, ColourLoadsAsRgbInRedGreenBlueOrder) {
  Bytes pixels = Gradient(40, 24, 3);
  for (bool progressive : {false, true}) {
    Ref<TPixmap> p = LoadJpeg(test::EncodeJpeg(40, 24, 3, pixels, 95, progressive));
    ASSERT_TRUE(p) << progressive;
    EXPECT_EQ(p->format, PIXFMT_RGB888);
    EXPECT_LE(MaxDifference(p, pixels, 3), 12) << progressive;
  }
  // A pure red picture stays red, not blue.
  Bytes red;
  for (int i = 0; i < 16 * 16; ++i) red.insert(red.end(), {255, 0, 0});
  Ref<TPixmap> r = LoadJpeg(test::EncodeJpeg(16, 16, 3, red));
  ASSERT_TRUE(r);
  std::uint32_t v = r->GetPixel(8, 8);
  EXPECT_GT(v >> 16 & 255, 240u);
  EXPECT_LT(v & 255, 16u);
}

TEST(JpegLoader, CmykIsRefused) {
  Bytes pixels = Gradient(16, 16, 4);
  EXPECT_FALSE(LoadJpeg(test::EncodeJpeg(16, 16, 4, pixels)));
}

TEST(JpegLoader, NotJpegEmptyAndCorruptGiveNull) {
  EXPECT_FALSE(LoadJpeg({}));
  EXPECT_FALSE(LoadJpeg(Bytes(300, 0x42)));
  Bytes good = test::EncodeJpeg(32, 32, 3, Gradient(32, 32, 3));
  EXPECT_FALSE(LoadJpeg(Bytes(good.begin(), good.begin() + 100)));  // ends inside the headers
  Bytes broken = good;
  broken[1] = 0x00;  // no start-of-image marker
  EXPECT_FALSE(LoadJpeg(broken));
}

TEST(JpegLoader, AFileCutInsideTheImageStillDecodes) {
  Bytes pixels = Gradient(64, 64, 3);
  Bytes good = test::EncodeJpeg(64, 64, 3, pixels);
  Ref<TPixmap> p = LoadJpeg(Bytes(good.begin(), good.end() - static_cast<std::ptrdiff_t>(good.size() / 4)));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->width, 64);
  EXPECT_LE(std::abs(p->PixelAddress(0, 0)[0] - pixels[0]), 12);  // the first rows arrived
}

TEST(JpegLoader, HugeDeclaredSizeIsRefusedBeforeDecoding) {
  Bytes file = test::EncodeJpeg(8, 8, 1, Gradient(8, 8, 1));
  // Patch the frame header (FFC0): height and width to 60000 x 60000.
  for (std::size_t i = 0; i + 8 < file.size(); ++i) {
    if (file[i] == 0xFF && file[i + 1] == 0xC0) {
      file[i + 5] = 0xEA, file[i + 6] = 0x60, file[i + 7] = 0xEA, file[i + 8] = 0x60;
      break;
    }
  }
  EXPECT_FALSE(LoadJpeg(file));
}

}  // namespace
}  // namespace cvx
