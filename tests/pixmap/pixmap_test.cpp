#include "corvex/pixmap/pixmap.h"

#include <gtest/gtest.h>

#include <cstring>

#include "corvex/pixmap/pixmapdatatype.h"
#include "corvex/stream/memorystream.h"
#include "tests/pixmap/imagefiles.h"

namespace cvx {
namespace {

using test::Bytes;
using test::PixelOf;
using test::Rgba;

TEST(Pixmap, AllocateRoundsRowsToTheAlignment) {
  Ref<TPixmap> p = PixmapCreate(3, 2, PIXFMT_RGB888, 4);
  EXPECT_EQ(p->pitch, 12);
  EXPECT_EQ(p->capacity, 24);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p->pixels) % 16, 0u);
  EXPECT_EQ(PixmapCreate(5, 1, PIXFMT_I8, 4)->pitch, 8);
  EXPECT_EQ(PixmapCreate(5, 1, PIXFMT_I8, 1)->pitch, 5);
  EXPECT_EQ(PixmapCreate(5, 1, PIXFMT_I8, 0)->pitch, 5);  // below 1 counts as 1
  EXPECT_EQ(PixmapCreate(3, 1, PIXFMT_RGBA8888, 16)->pitch, 16);
  Ref<TPixmap> empty = PixmapCreate(0, 0, PIXFMT_I8, 4);
  EXPECT_EQ(empty->capacity, 0);
}

TEST(Pixmap, AllocateRefusesImpossibleRequests) {
  EXPECT_THROW(PixmapCreate(-1, 4, PIXFMT_I8, 4), TRuntimeError);
  EXPECT_THROW(PixmapCreate(4, 4, 0, 4), TRuntimeError);
  EXPECT_THROW(PixmapCreate(4, 4, 7, 4), TRuntimeError);
  EXPECT_THROW(PixmapCreate(65536, 65536, PIXFMT_RGBA8888, 4), TRuntimeError);
  // A huge align must not overflow the size worked out from it; a row longer
  // than a pitch can hold leaves a pixmap without rows a pitch of 0, not a
  // truncated one, and such a pixmap copies without overflowing its row size.
  EXPECT_THROW(PixmapCreate(0x7FFFFFFF, 0x7FFFFFFF, PIXFMT_RGBA8888, 1 << 30), TRuntimeError);
  EXPECT_THROW(PixmapCreate(0x7FFFFFFF, 1, PIXFMT_RGBA8888, 4), TRuntimeError);
  Ref<TPixmap> wide = PixmapCreate(0x7FFFFFFF, 0, PIXFMT_RGBA8888, 4);
  EXPECT_EQ(wide->pitch, 0);
  EXPECT_EQ(wide->capacity, 0);
  EXPECT_EQ(PixmapClone(wide)->width, 0x7FFFFFFF);
}

TEST(Pixmap, NewPixmapIsAllZeroAndWrapBorrows) {
  Ref<TPixmap> blank = new TPixmap();
  EXPECT_EQ(blank->pixels, nullptr);
  EXPECT_EQ(blank->width + blank->height + blank->pitch + blank->format + blank->capacity, 0);
  EXPECT_EQ(blank->GetPixel(0, 0), 0u);  // no format: 0, nothing read

  std::uint8_t memory[8] = {};
  Ref<TPixmap> w = PixmapCreateStatic(memory, 2, 2, 4, PIXFMT_I8);
  EXPECT_EQ(w->capacity, -1);
  EXPECT_EQ(PixmapPixelAddress(w, 1, 1), memory + 5);
  PixmapSetPixel(w, 1, 1, 0xFF303030);
  EXPECT_EQ(memory[5], 0x30);
}

TEST(Pixmap, GetAndSetPixelUseTheFormatsByteOrder) {
  Ref<TPixmap> a8 = PixmapCreate(1, 1, PIXFMT_A8, 4);
  a8->pixels[0] = 0x40;
  EXPECT_EQ(a8->GetPixel(0, 0), 0x40FFFFFFu);

  Ref<TPixmap> bgra = PixmapCreate(1, 1, PIXFMT_BGRA8888, 4);
  bgra->SetPixel(0, 0, 0x80102030);
  EXPECT_EQ(Bytes(bgra->pixels, bgra->pixels + 4), Bytes({0x30, 0x20, 0x10, 0x80}));
  std::uint32_t word;
  std::memcpy(&word, bgra->pixels, 4);
  EXPECT_EQ(word, 0x80102030u);  // a BGRA pixel is the little-endian ARGB word

  struct Case {
    int format;
    Bytes stored;
    std::uint32_t read;
  };
  const Case cases[] = {
      {PIXFMT_I8, {0x20}, 0xFF202020},
      {PIXFMT_A8, {0x80}, 0x80FFFFFF},
      {PIXFMT_BGR888, {0x30, 0x20, 0x10}, 0xFF102030},
      {PIXFMT_RGB888, {0x10, 0x20, 0x30}, 0xFF102030},
      {PIXFMT_BGRA8888, {0x30, 0x20, 0x10, 0x80}, 0x80102030},
      {PIXFMT_RGBA8888, {0x10, 0x20, 0x30, 0x80}, 0x80102030},
  };
  for (const Case& c : cases) {
    Ref<TPixmap> p = PixmapCreate(2, 2, c.format, 4);
    std::memset(p->pixels, 0xEE, static_cast<std::size_t>(p->capacity));
    p->SetPixel(1, 1, 0x80102030);
    EXPECT_EQ(Bytes(p->PixelAddress(1, 1), p->PixelAddress(1, 1) + c.stored.size()), c.stored) << c.format;
    EXPECT_EQ(p->GetPixel(1, 1), c.read) << c.format;
    EXPECT_EQ(p->PixelAddress(0, 1)[0], 0xEE) << "neighbour touched, format " << c.format;
  }
}

TEST(Pixmap, SubWindowSharesMemoryAndKeepsItsParent) {
  Ref<TPixmap> parent = test::PatternPixmap(6, 5, PIXFMT_RGB888);
  Ref<TPixmap> window = PixmapSubWindow(parent, 2, 1, 3, 2);
  EXPECT_EQ(window->pitch, parent->pitch);
  EXPECT_EQ(window->capacity, -1);
  EXPECT_EQ(window->Parent(), parent.Get());
  EXPECT_EQ(window->GetPixel(0, 0), parent->GetPixel(2, 1));
  window->SetPixel(2, 1, 0xFF0A0B0C);
  EXPECT_EQ(parent->GetPixel(4, 2), 0xFF0A0B0Cu);

  // The window alone keeps the parent (and so its rows) alive.
  parent = nullptr;
  ASSERT_NE(window->Parent(), nullptr);
  EXPECT_EQ(window->Parent()->RefCount() & ~kQueuedMark, 1u);
  EXPECT_EQ(window->GetPixel(2, 1), 0xFF0A0B0Cu);
}

TEST(Pixmap, CloneCopiesRowsIntoItsOwnMemory) {
  Ref<TPixmap> source = test::PatternPixmap(7, 3, PIXFMT_BGR888);
  Ref<TPixmap> window = source->SubWindow(1, 1, 5, 2);
  Ref<TPixmap> copy = PixmapClone(window);
  EXPECT_EQ(copy->width, 5);
  EXPECT_EQ(copy->pitch, 16);
  EXPECT_GE(copy->capacity, 0);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 5; ++x) EXPECT_EQ(copy->GetPixel(x, y), source->GetPixel(x + 1, y + 1));
  }
  copy->SetPixel(0, 0, 0);
  EXPECT_NE(source->GetPixel(1, 1), copy->GetPixel(0, 0));
}

TEST(Pixmap, ConvertToEveryFormatKeepsWhatTheFormatCanHold) {
  Ref<TPixmap> source = test::PatternPixmap(9, 4, PIXFMT_RGBA8888);
  for (int f = PIXFMT_I8; f <= PIXFMT_RGBA8888; ++f) {
    Ref<TPixmap> c = PixmapConvert(source, f);
    ASSERT_EQ(c->format, f);
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 9; ++x) {
        Rgba want = PixelOf(source, x, y), got = PixelOf(c, x, y);
        if (f == PIXFMT_I8) {
          int grey = (want.r + want.g + want.b) / 3;
          want = {grey, grey, grey, 255};
        } else if (f == PIXFMT_A8) {
          want = {255, 255, 255, want.a};
        } else if (PixelFormatAlphaBits[f] == 0) {
          want.a = 255;
        }
        ASSERT_EQ(got, want) << "format " << f << " at " << x << "," << y;
      }
    }
  }
}

TEST(Pixmap, PasteFromConvertsIntoTheRectangleOnly) {
  Ref<TPixmap> target = PixmapCreate(5, 4, PIXFMT_BGRA8888, 4);
  std::memset(target->pixels, 0, static_cast<std::size_t>(target->capacity));
  Ref<TPixmap> source = test::PatternPixmap(2, 3, PIXFMT_RGB888);
  target->PasteFrom(source.Get(), 2, 1);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) {
      bool inside = x >= 2 && x < 4 && y >= 1 && y < 4;
      EXPECT_EQ(target->GetPixel(x, y), inside ? source->GetPixel(x - 2, y - 1) : 0u) << x << "," << y;
    }
  }
}

TEST(Pixmap, PasteFromItsOwnRowsReadsThemBeforeWritingThem) {
  // A pixmap pasted into itself (or through a window over its own rows) must
  // come out as if the source had been copied first.
  auto numbered = [] {
    Ref<TPixmap> p = PixmapCreate(6, 6, PIXFMT_I8, 4);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x) p->PixelAddress(x, y)[0] = static_cast<std::uint8_t>(y * 16 + x);
    return p;
  };
  Ref<TPixmap> down = numbered();
  down->PasteFrom(down->SubWindow(0, 0, 4, 4).Get(), 1, 2);  // down and right
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(down->PixelAddress(x + 1, y + 2)[0], y * 16 + x) << x << "," << y;
  Ref<TPixmap> up = numbered();
  up->PasteFrom(up->SubWindow(2, 1, 4, 5).Get(), 0, 0);  // up and left
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(up->PixelAddress(x, y)[0], (y + 1) * 16 + x + 2) << x << "," << y;
}

TEST(Pixmap, DataTypeWritesSizeFormatAndRowsWithoutPadding) {
  EXPECT_EQ(PixmapDataType()->TypeName(), "CVX.Pixmap.TPixmap");
  Ref<TPixmap> p = test::PatternPixmap(3, 2, PIXFMT_RGB888);  // rows of 9 bytes, pitch 12
  EXPECT_EQ(p->DataTypeOf().Get(), PixmapDataType());
  Bytes space(64, 0xEE);
  Ref<TMemoryStream> out = CreateMemoryStream(space.data(), 64, 0, 1);
  PixmapDataType()->WriteData(p.Get(), out.Get());
  ASSERT_EQ(out->Position(), 12 + 18);
  EXPECT_EQ(Bytes(space.begin(), space.begin() + 12), Bytes({3, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0}));
  EXPECT_EQ(Bytes(space.begin() + 12, space.begin() + 21), Bytes(p->pixels, p->pixels + 9));

  Ref<TMemoryStream> in = CreateMemoryStream(space.data(), 30, 1, 0);
  Ref<TPixmap> back = RefCast<TPixmap>(PixmapDataType()->ReadData(in.Get()));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->pitch, 12);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(back->GetPixel(x, y), p->GetPixel(x, y));
  }
}

TEST(Pixmap, DataTypeRefusesACorruptBody) {
  for (const Bytes& body :
       {Bytes{3, 0, 0, 0, 2, 0, 0, 0, 9, 0, 0, 0}, Bytes{0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 4, 0, 0, 0},
        Bytes{0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0, 6, 0, 0, 0}}) {
    Ref<TMemoryStream> in = test::ReadStream(body);
    EXPECT_THROW(PixmapDataType()->ReadData(in.Get()), TRuntimeError);
  }
}

}  // namespace
}  // namespace cvx
