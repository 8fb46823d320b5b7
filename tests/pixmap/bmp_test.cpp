#include <gtest/gtest.h>

#include "corvex/pixmap/bmp/bmploader.h"
#include "tests/pixmap/imagefiles.h"

namespace cvx {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::PixelOf;
using test::Rgba;

struct BmpFile {
  int width = 1;
  int height = 1;
  int bitsPerPixel = 24;
  std::uint32_t coloursUsed = 0;
  std::uint32_t infoSize = 40;
  std::uint32_t dataOffset = 0;
  Bytes extraHeader;  // after the 40 bytes, before the palette
  Bytes palette;
  Bytes rows;

  Bytes Build() const {
    ByteWriter w;
    w.U8('B').U8('M').U32(0).U32(0).U32(dataOffset).U32(infoSize);
    w.U32(static_cast<std::uint32_t>(width)).U32(static_cast<std::uint32_t>(height)).U16(1).U16(bitsPerPixel);
    w.U32(0).U32(0).U32(2835).U32(2835).U32(coloursUsed).U32(0);
    return w.Raw(extraHeader).Raw(palette).Raw(rows).bytes;
  }
};

BmpFile Bmp(int width, int height, int bitsPerPixel = 24, std::uint32_t coloursUsed = 0) {
  BmpFile f;
  f.width = width, f.height = height, f.bitsPerPixel = bitsPerPixel, f.coloursUsed = coloursUsed;
  return f;
}

Ref<TPixmap> LoadBmp(const Bytes& bytes) { return PixmapLoadBMP(test::ReadStream(bytes).Get()); }

TEST(BmpLoader, OneBitRowsArePaddedToFourBytes) {
  BmpFile f = Bmp(9, 2, 1, 2);
  f.palette = {0, 0, 0, 0, 255, 255, 255, 0};
  f.rows = {0b10000000, 0b10000000, 0xEE, 0xEE,   // bottom row: pixels 0 and 8 white
            0b01111111, 0b00000000, 0xEE, 0xEE};  // top row
  Ref<TPixmap> p = LoadBmp(f.Build());
  ASSERT_TRUE(p);
  EXPECT_EQ(p->format, PIXFMT_BGR888);
  const Rgba white{255, 255, 255, 255}, black{0, 0, 0, 255};
  EXPECT_EQ(PixelOf(p, 0, 1), white);
  EXPECT_EQ(PixelOf(p, 1, 1), black);
  EXPECT_EQ(PixelOf(p, 8, 1), white);  // the top bit of the second byte
  EXPECT_EQ(PixelOf(p, 0, 0), black);
  EXPECT_EQ(PixelOf(p, 7, 0), white);
  EXPECT_EQ(PixelOf(p, 8, 0), black);
}

TEST(BmpLoader, FourBitPaletteSizeFollowsColoursUsed) {
  // Colours used 0: a full 16-entry (64-byte) palette.
  BmpFile full = Bmp(3, 1, 4);
  for (int i = 0; i < 16; ++i)
    full.palette.insert(full.palette.end(), {std::uint8_t(i), std::uint8_t(i * 2), std::uint8_t(i * 3), 0});
  full.rows = {0x1F, 0x20, 0, 0};
  Ref<TPixmap> p = LoadBmp(full.Build());
  ASSERT_TRUE(p);
  EXPECT_EQ(PixelOf(p, 0, 0), (Rgba{3, 2, 1, 255}));
  EXPECT_EQ(PixelOf(p, 1, 0), (Rgba{45, 30, 15, 255}));
  EXPECT_EQ(PixelOf(p, 2, 0), (Rgba{6, 4, 2, 255}));

  // Colours used 2: 8 palette bytes, and the rows begin right after them.
  BmpFile two = Bmp(2, 1, 4, 2);
  two.palette = {10, 20, 30, 0, 40, 50, 60, 0};
  two.rows = {0x10, 0, 0, 0};
  Ref<TPixmap> q = LoadBmp(two.Build());
  ASSERT_TRUE(q);
  EXPECT_EQ(PixelOf(q, 0, 0), (Rgba{60, 50, 40, 255}));
  EXPECT_EQ(PixelOf(q, 1, 0), (Rgba{30, 20, 10, 255}));
}

TEST(BmpLoader, EightBitIndexesThePaletteAndDropsItsFourthByte) {
  BmpFile f = Bmp(5, 1, 8, 3);
  f.palette = {1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99};
  f.rows = {2, 1, 0, 2, 200, 0, 0, 0};  // 200: past the palette read, black
  Ref<TPixmap> p = LoadBmp(f.Build());
  ASSERT_TRUE(p);
  EXPECT_EQ(p->format, PIXFMT_BGR888);
  EXPECT_EQ(PixelOf(p, 0, 0), (Rgba{9, 8, 7, 255}));
  EXPECT_EQ(PixelOf(p, 1, 0), (Rgba{6, 5, 4, 255}));
  EXPECT_EQ(PixelOf(p, 2, 0), (Rgba{3, 2, 1, 255}));
  EXPECT_EQ(PixelOf(p, 4, 0), (Rgba{0, 0, 0, 255}));
}

TEST(BmpLoader, TwentyFourBitRowPadding) {
  BmpFile one = Bmp(1, 2);
  one.rows = {1, 2, 3, 0xEE, 4, 5, 6, 0xEE};
  Ref<TPixmap> p = LoadBmp(one.Build());
  ASSERT_TRUE(p);
  EXPECT_EQ(PixelOf(p, 0, 1), (Rgba{3, 2, 1, 255}));
  EXPECT_EQ(PixelOf(p, 0, 0), (Rgba{6, 5, 4, 255}));

  BmpFile four = Bmp(4, 2);
  for (int i = 0; i < 24; ++i) four.rows.push_back(static_cast<std::uint8_t>(i));
  Ref<TPixmap> q = LoadBmp(four.Build());
  ASSERT_TRUE(q);
  EXPECT_EQ(PixelOf(q, 3, 1), (Rgba{11, 10, 9, 255}));
  EXPECT_EQ(PixelOf(q, 0, 0), (Rgba{14, 13, 12, 255}));
}

TEST(BmpLoader, ThirtyTwoBitKeepsTheFourthByteAsAlpha) {
  BmpFile f = Bmp(2, 1, 32);
  f.rows = {1, 2, 3, 4, 5, 6, 7, 8};
  Ref<TPixmap> p = LoadBmp(f.Build());
  ASSERT_TRUE(p);
  EXPECT_EQ(p->format, PIXFMT_BGRA8888);
  EXPECT_EQ(Bytes(p->pixels, p->pixels + 8), f.rows);
}

TEST(BmpLoader, NegativeHeightMeansTopDownRows) {
  BmpFile f = Bmp(1, -2);
  f.rows = {1, 2, 3, 0, 4, 5, 6, 0};
  Ref<TPixmap> p = LoadBmp(f.Build());
  ASSERT_TRUE(p);
  EXPECT_EQ(p->height, 2);
  EXPECT_EQ(PixelOf(p, 0, 0), (Rgba{3, 2, 1, 255}));
  EXPECT_EQ(PixelOf(p, 0, 1), (Rgba{6, 5, 4, 255}));
}

TEST(BmpLoader, LongerInfoHeadersAndDataOffsetsAreSkippedForward) {
  // A 108-byte info header, then 32-bit rows placed 4 bytes further on.
  BmpFile f = Bmp(1, 1, 32);
  f.infoSize = 108;
  f.dataOffset = 14 + 108 + 4;
  f.extraHeader = Bytes(68 + 4, 0x77);
  f.rows = {10, 20, 30, 40};
  Ref<TPixmap> p = LoadBmp(f.Build());
  ASSERT_TRUE(p);
  EXPECT_EQ(PixelOf(p, 0, 0), (Rgba{30, 20, 10, 40}));

  // An offset pointing back into the header is ignored: rows follow the palette.
  BmpFile back = Bmp(1, 1);
  back.dataOffset = 10;
  back.rows = {1, 2, 3, 0};
  EXPECT_EQ(PixelOf(LoadBmp(back.Build()), 0, 0), (Rgba{3, 2, 1, 255}));
}

TEST(BmpLoader, RefusesBrokenHeaders) {
  auto load = [](BmpFile f) {
    f.rows.resize(64, 0);
    f.palette.resize(f.bitsPerPixel <= 8 ? 1024 : 0, 0);
    return LoadBmp(f.Build());
  };
  EXPECT_TRUE(load(Bmp(2, 2)));
  EXPECT_FALSE(load(Bmp(2, 2, 16)));
  EXPECT_FALSE(load(Bmp(2, 2, 0)));
  EXPECT_FALSE(load(Bmp(0, 2)));
  EXPECT_FALSE(load(Bmp(2, 0)));
  EXPECT_FALSE(load(Bmp(-2, 2)));
  EXPECT_FALSE(load(Bmp(100000, 100000)));
  EXPECT_FALSE(load(Bmp(2, 2, 4, 17)));
  EXPECT_FALSE(load(Bmp(2, 2, 8, 257)));
  EXPECT_FALSE(load(Bmp(2, 2, 8, 0x80000000u)));
  EXPECT_TRUE(load(Bmp(2, 2, 8, 256)));
  EXPECT_FALSE(LoadBmp({'B', 'X', 0, 0}));
  EXPECT_FALSE(LoadBmp({}));
}

TEST(BmpLoader, ShortFilesAndWideRowsStillDecode) {
  BmpFile f = Bmp(2, 3);
  f.rows = {1, 2, 3, 4, 5, 6, 0, 0};  // one of three rows
  Ref<TPixmap> p = LoadBmp(f.Build());
  ASSERT_TRUE(p);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(PixelOf(p, 1, y), (Rgba{6, 5, 4, 255})) << y;

  // Rows longer than 65532 bytes are read at their real length.
  BmpFile wide = Bmp(30000, 2);
  wide.rows.assign(90000 * 2, 0);
  wide.rows[90000 + 89999] = 77;  // red of the last pixel of the top row
  Ref<TPixmap> q = LoadBmp(wide.Build());
  ASSERT_TRUE(q);
  EXPECT_EQ(PixelOf(q, 29999, 0).r, 77);
  EXPECT_EQ(PixelOf(q, 29999, 1).r, 0);
}

TEST(BmpLoader, SomethingElseStartingWithBMIsReadAsABmp) {
  Bytes text = {'B', 'M', ' ', 'i', 's', ' ', 'n', 'o', 't', ' ', 'a', ' ', 'b', 'i', 't', 'm', 'a', 'p'};
  EXPECT_FALSE(LoadBmp(text));  // its "header" asks for 0 bits per pixel
}

}  // namespace
}  // namespace cvx
