#include <gtest/gtest.h>

#include "corvex/pixmap/tga/tgaloader.h"
#include "corvex/stream/stream.h"
#include "tests/pixmap/imagefiles.h"

namespace cvx {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::PixelOf;
using test::Rgba;

ByteWriter TgaHeader(int type, int width, int height, int depth, int idLength = 0, int colourMapType = 0) {
  ByteWriter w;
  w.U8(idLength).U8(colourMapType).U8(type).U16(0).U16(0).U8(0).U16(0).U16(0).U16(width).U16(height).U8(depth).U8(8);
  return w;
}

Ref<TPixmap> LoadTga(const Bytes& bytes) { return PixmapLoadTGA(test::ReadStream(bytes).Get()); }

TEST(TgaLoader, UncompressedRowsAreStoredBottomUp) {
  ByteWriter w = TgaHeader(2, 2, 2, 24, 3);
  w.U8('a').U8('b').U8('c');                  // image ID, skipped
  w.U8(0).U8(0).U8(255).U8(0).U8(0).U8(255);  // first stored row: red (b, g, r)
  w.U8(255).U8(0).U8(0).U8(255).U8(0).U8(0);  // second: blue
  Ref<TPixmap> p = LoadTga(w.bytes);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->format, PIXFMT_RGB888);
  EXPECT_EQ(PixelOf(p, 0, 0), (Rgba{0, 0, 255, 255}));
  EXPECT_EQ(PixelOf(p, 1, 0), (Rgba{0, 0, 255, 255}));
  EXPECT_EQ(PixelOf(p, 0, 1), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(PixelOf(p, 1, 1), (Rgba{255, 0, 0, 255}));
}

TEST(TgaLoader, FifteenAndSixteenBitPixels) {
  ByteWriter w16 = TgaHeader(2, 3, 1, 16);
  w16.U16(0x7FFF).U16(0xFFFF).U16(0x03E0);
  Ref<TPixmap> p = LoadTga(w16.bytes);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->format, PIXFMT_RGBA8888);
  EXPECT_EQ(PixelOf(p, 0, 0), (Rgba{248, 248, 248, 255}));
  EXPECT_EQ(PixelOf(p, 1, 0), (Rgba{248, 248, 248, 0}));
  EXPECT_EQ(PixelOf(p, 2, 0), (Rgba{0, 248, 0, 255}));

  ByteWriter w15 = TgaHeader(2, 2, 1, 15);
  w15.U16(0x7C00).U16(0x801F);  // bit 15 means nothing at depth 15
  Ref<TPixmap> q = LoadTga(w15.bytes);
  ASSERT_TRUE(q);
  EXPECT_EQ(q->format, PIXFMT_RGB888);
  EXPECT_EQ(PixelOf(q, 0, 0), (Rgba{248, 0, 0, 255}));
  EXPECT_EQ(PixelOf(q, 1, 0), (Rgba{0, 0, 248, 255}));
}

TEST(TgaLoader, ThirtyTwoBitKeepsAlpha) {
  ByteWriter w = TgaHeader(2, 2, 1, 32);
  w.U8(1).U8(2).U8(3).U8(4).U8(5).U8(6).U8(7).U8(8);
  Ref<TPixmap> p = LoadTga(w.bytes);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->format, PIXFMT_RGBA8888);
  EXPECT_EQ(PixelOf(p, 0, 0), (Rgba{3, 2, 1, 4}));
  EXPECT_EQ(PixelOf(p, 1, 0), (Rgba{7, 6, 5, 8}));
}

TEST(TgaLoader, RunAndRawPackets) {
  ByteWriter w = TgaHeader(10, 7, 1, 24);
  w.U8(0x83).U8(10).U8(20).U8(30);                                   // run of 4
  w.U8(0x02).U8(1).U8(2).U8(3).U8(4).U8(5).U8(6).U8(7).U8(8).U8(9);  // 3 literals
  Ref<TPixmap> p = LoadTga(w.bytes);
  ASSERT_TRUE(p);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(PixelOf(p, x, 0), (Rgba{30, 20, 10, 255})) << x;
  EXPECT_EQ(PixelOf(p, 4, 0), (Rgba{3, 2, 1, 255}));
  EXPECT_EQ(PixelOf(p, 6, 0), (Rgba{9, 8, 7, 255}));

  ByteWriter w32 = TgaHeader(10, 3, 1, 32);
  w32.U8(0x01).U8(1).U8(2).U8(3).U8(4).U8(5).U8(6).U8(7).U8(8).U8(0x80).U8(9).U8(9).U8(9).U8(0);
  Ref<TPixmap> q = LoadTga(w32.bytes);
  ASSERT_TRUE(q);
  EXPECT_EQ(PixelOf(q, 1, 0), (Rgba{7, 6, 5, 8}));
  EXPECT_EQ(PixelOf(q, 2, 0), (Rgba{9, 9, 9, 0}));

  ByteWriter w16 = TgaHeader(10, 2, 1, 16);
  w16.U8(0x81).U16(0x801F);
  Ref<TPixmap> r = LoadTga(w16.bytes);
  ASSERT_TRUE(r);
  EXPECT_EQ(PixelOf(r, 1, 0), (Rgba{0, 0, 248, 0}));
}

// A packet longer than the rest of its row carries on into the next row
// (the row above in the pixmap); the excess past the last row is dropped.
TEST(TgaLoader, PacketsRunningPastTheRowCarryOver) {
  ByteWriter w = TgaHeader(10, 3, 2, 24);
  w.U8(0x83).U8(1).U8(1).U8(1);                                      // 4 pixels: row 0 (bottom) and the first of row 1
  w.U8(0x02).U8(2).U8(2).U8(2).U8(3).U8(3).U8(3).U8(4).U8(4).U8(4);  // 3 literals, 1 too many
  Ref<TPixmap> p = LoadTga(w.bytes);
  ASSERT_TRUE(p);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(PixelOf(p, x, 1), (Rgba{1, 1, 1, 255})) << x;
  EXPECT_EQ(PixelOf(p, 0, 0), (Rgba{1, 1, 1, 255}));
  EXPECT_EQ(PixelOf(p, 1, 0), (Rgba{2, 2, 2, 255}));
  EXPECT_EQ(PixelOf(p, 2, 0), (Rgba{3, 3, 3, 255}));
}

TEST(TgaLoader, RejectsHeadersItDoesNotRead) {
  Bytes pixels(4 * 4 * 4, 0);
  auto load = [&](ByteWriter w) { return LoadTga(w.Raw(pixels).bytes); };
  EXPECT_TRUE(load(TgaHeader(2, 4, 4, 32)));
  EXPECT_FALSE(load(TgaHeader(2, 4097, 1, 24)));
  EXPECT_FALSE(load(TgaHeader(2, 1, 4097, 24)));
  EXPECT_FALSE(load(TgaHeader(2, 4, 0, 24)));
  EXPECT_FALSE(load(TgaHeader(2, 0, 4, 24)));
  EXPECT_FALSE(load(TgaHeader(2, 4, 4, 8)));
  EXPECT_FALSE(load(TgaHeader(2, 4, 4, 24, 0, 1)));
  EXPECT_FALSE(load(TgaHeader(1, 4, 4, 24)));  // colour-mapped without a colour map
  EXPECT_FALSE(load(TgaHeader(3, 4, 4, 24)));  // grey
  EXPECT_FALSE(load(TgaHeader(11, 4, 4, 24)));
  EXPECT_TRUE(load(TgaHeader(2, 4096, 1, 24)));
}

TEST(TgaLoader, ShortFilesKeepEarlierBufferContents) {
  ByteWriter w = TgaHeader(2, 2, 3, 24);
  w.U8(9).U8(8).U8(7).U8(6).U8(5).U8(4);  // only the first stored row
  Ref<TPixmap> p = LoadTga(w.bytes);
  ASSERT_TRUE(p);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(PixelOf(p, 1, y), (Rgba{4, 5, 6, 255})) << y;

  ByteWriter r = TgaHeader(10, 4096, 64, 32);  // a run-length file with no data at all
  Ref<TPixmap> q = LoadTga(r.bytes);
  ASSERT_TRUE(q);
  EXPECT_EQ(q->GetPixel(4095, 0), 0u);
}

// Counts the reads a decoder asks of a stream.
class TCountingStream final : public TStreamRelay {
 public:
  using TStreamRelay::TStreamRelay;
  std::int32_t Read(void* buffer, std::int32_t count) override {
    ++reads;
    return TStreamRelay::Read(buffer, count);
  }
  int ReadUInt16() override {
    ++reads;
    return TStreamRelay::ReadUInt16();
  }
  int reads = 0;
};

TEST(TgaLoader, RowsPastTheEndOfTheDataAreNotRead) {
  // 2048 x 512 at 16 bits (4 MiB as RGBA, small enough to decode unchecked)
  // with one pixel of data: the other rows repeat the first.
  ByteWriter w = TgaHeader(2, 2048, 512, 16);
  w.U16(0x7C00);  // red
  Bytes file = w.bytes;
  Ref<TMemoryStream> memory = test::ReadStream(file);
  Ref<TCountingStream> counting(new TCountingStream(memory.Get()));
  Ref<TPixmap> p = PixmapLoadTGA(counting.Get());
  ASSERT_TRUE(p);
  EXPECT_EQ(PixelOf(p, 0, 0), (Rgba{248, 0, 0, 255}));
  EXPECT_EQ(PixelOf(p, 0, 511), (Rgba{248, 0, 0, 255}));
  EXPECT_LT(counting->reads, 2 * 2048 + 64);
}

}  // namespace
}  // namespace cvx
