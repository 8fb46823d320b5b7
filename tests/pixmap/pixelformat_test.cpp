#include <gtest/gtest.h>

#include <cstring>

#include "corvex/pixmap/pixmap.h"
#include "tests/pixmap/imagefiles.h"

namespace cvx {
namespace {

using test::Bytes;

TEST(PixelFormat, TablesDescribeEveryFormat) {
  for (int f = PIXFMT_I8; f <= PIXFMT_RGBA8888; ++f) {
    EXPECT_EQ(PixelFormatBits[f], PixelFormatBytes[f] * 8) << f;
    EXPECT_EQ(PixelFormatBits[f], PixelFormatRedBits[f] * 3 + PixelFormatAlphaBits[f] + (f == PIXFMT_I8 ? 8 : 0)) << f;
    EXPECT_EQ(PixelFormatRedBits[f], PixelFormatGreenBits[f]);
    EXPECT_EQ(PixelFormatRedBits[f], PixelFormatBlueBits[f]);
  }
  EXPECT_EQ(PixelFormatBytes[0], 0);
  EXPECT_EQ(PixelFormatAlphaBits[PIXFMT_A8], 8);
  EXPECT_EQ(PixelFormatAlphaBits[PIXFMT_RGB888], 0);
  EXPECT_EQ(PixelFormatSize(7), 0);
  EXPECT_EQ(PixelFormatSize(-1), 0);
}

// Every source format into the hub, with the byte orders of the format table.
TEST(PixelFormat, ConvertsEachFormatToTheHub) {
  struct Case {
    int format;
    Bytes in;
    Bytes rgba;
  };
  const Case cases[] = {
      {PIXFMT_I8, {77}, {77, 77, 77, 255}},          {PIXFMT_A8, {77}, {255, 255, 255, 77}},
      {PIXFMT_BGR888, {1, 2, 3}, {3, 2, 1, 255}},    {PIXFMT_RGB888, {1, 2, 3}, {1, 2, 3, 255}},
      {PIXFMT_BGRA8888, {1, 2, 3, 4}, {3, 2, 1, 4}}, {PIXFMT_RGBA8888, {1, 2, 3, 4}, {1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    Bytes out(4, 0xEE);
    ConvertPixelRun(c.in.data(), c.format, out.data(), PIXFMT_RGBA8888, 1);
    EXPECT_EQ(out, c.rgba) << "format " << c.format;
  }
}

TEST(PixelFormat, ConvertsFromTheHubToEachFormat) {
  const Bytes hub = {10, 20, 31, 99};
  struct Case {
    int format;
    Bytes out;
  };
  const Case cases[] = {
      {PIXFMT_I8, {20}},  // (10 + 20 + 31) / 3 truncates
      {PIXFMT_A8, {99}},
      {PIXFMT_BGR888, {31, 20, 10}},
      {PIXFMT_RGB888, {10, 20, 31}},
      {PIXFMT_BGRA8888, {31, 20, 10, 99}},
  };
  for (const Case& c : cases) {
    Bytes out(c.out.size() + 1, 0xEE);
    ConvertPixelRun(hub.data(), PIXFMT_RGBA8888, out.data(), c.format, 1);
    EXPECT_EQ(Bytes(out.begin(), out.end() - 1), c.out) << "format " << c.format;
    EXPECT_EQ(out.back(), 0xEE) << "wrote past the pixel, format " << c.format;
  }
}

TEST(PixelFormat, GreyIsTheTruncatedMeanOfTheChannels) {
  const Bytes rgb = {10, 20, 30};
  std::uint8_t grey = 0;
  ConvertPixelRun(rgb.data(), PIXFMT_RGB888, &grey, PIXFMT_I8, 1);
  EXPECT_EQ(grey, 20);
  const Bytes rgba = {1, 1, 0, 9};
  ConvertPixelRun(rgba.data(), PIXFMT_RGBA8888, &grey, PIXFMT_I8, 1);
  EXPECT_EQ(grey, 0);
}

TEST(PixelFormat, GreyRoundTripsThroughTheHubAndAlphaBecomesWhite) {
  Bytes grey(256), hub(256 * 4), back(256, 0);
  for (int i = 0; i < 256; ++i) grey[i] = static_cast<std::uint8_t>(i);
  ConvertPixelRun(grey.data(), PIXFMT_I8, hub.data(), PIXFMT_RGBA8888, 256);
  ConvertPixelRun(hub.data(), PIXFMT_RGBA8888, back.data(), PIXFMT_I8, 256);
  EXPECT_EQ(back, grey);
  ConvertPixelRun(grey.data(), PIXFMT_A8, back.data(), PIXFMT_I8, 256);
  EXPECT_EQ(back, Bytes(256, 255));
}

// Runs longer than the internal slice, between two non-hub formats, in place
// and into a separate buffer.
TEST(PixelFormat, LongRunsBetweenNonHubFormats) {
  const int n = 1500;
  Bytes bgr(n * 3);
  for (int i = 0; i < n * 3; ++i) bgr[i] = static_cast<std::uint8_t>(i * 7 + i / 3);
  Bytes rgb(n * 3);
  ConvertPixelRun(bgr.data(), PIXFMT_BGR888, rgb.data(), PIXFMT_RGB888, n);
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(rgb[i * 3], bgr[i * 3 + 2]) << i;
    ASSERT_EQ(rgb[i * 3 + 1], bgr[i * 3 + 1]) << i;
    ASSERT_EQ(rgb[i * 3 + 2], bgr[i * 3]) << i;
  }
  Bytes inPlace = bgr;
  ConvertPixelRun(inPlace.data(), PIXFMT_BGR888, inPlace.data(), PIXFMT_RGB888, n);
  EXPECT_EQ(inPlace, rgb);

  Bytes bgra(n * 4), rgba(n * 4);
  for (int i = 0; i < n * 4; ++i) bgra[i] = static_cast<std::uint8_t>(i * 13);
  ConvertPixelRun(bgra.data(), PIXFMT_BGRA8888, rgba.data(), PIXFMT_RGBA8888, n);
  ConvertPixelRun(bgra.data(), PIXFMT_BGRA8888, bgra.data(), PIXFMT_RGBA8888, n);
  EXPECT_EQ(bgra, rgba);
}

TEST(PixelFormat, InvalidFormatsAndEmptyRunsLeaveTheDestinationAlone) {
  Bytes src = {1, 2, 3, 4}, dst = {9, 9, 9, 9};
  ConvertPixelRun(src.data(), 0, dst.data(), PIXFMT_RGBA8888, 1);
  ConvertPixelRun(src.data(), PIXFMT_RGBA8888, dst.data(), 7, 1);
  ConvertPixelRun(src.data(), PIXFMT_RGBA8888, dst.data(), PIXFMT_BGRA8888, 0);
  CopyPixelRun(src.data(), dst.data(), 0, 1);
  EXPECT_EQ(dst, Bytes({9, 9, 9, 9}));
  CopyPixelRun(src.data(), dst.data(), PIXFMT_RGB888, 1);
  EXPECT_EQ(dst, Bytes({1, 2, 3, 9}));
}

}  // namespace
}  // namespace cvx
