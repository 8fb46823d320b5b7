#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "corvex/pixmap/png/pngloader.h"
#include "corvex/stream/memorystream.h"
#include "tests/pixmap/imagefiles.h"

namespace cvx {
namespace {

using test::Bytes;
using test::PixelOf;
using test::PngSpec;
using test::Rgba;

std::uint32_t Crc32(const std::uint8_t* data, std::size_t n) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return ~crc;
}

PngSpec Png(int width, int height, int bitDepth, int colourType) {
  PngSpec s;
  s.width = width, s.height = height, s.bitDepth = bitDepth, s.colourType = colourType;
  return s;
}

Ref<TPixmap> LoadPng(const Bytes& bytes) {
  test::InitDecoders();
  return PixmapLoadPNG(Ref<TObject>(test::ReadStream(bytes)));
}

TEST(PngLoader, OneBitGreyScalesToBlackAndWhite) {
  PngSpec s = Png(9, 2, 1, PNG_COLOR_TYPE_GRAY);
  s.rows = {0b10110000, 0b10000000, 0b00000000, 0b00000000};  // 2 bytes per row
  Ref<TPixmap> p = LoadPng(test::EncodePng(s));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->format, PIXFMT_I8);
  const Bytes want = {255, 0, 255, 255, 0, 0, 0, 0, 255};
  EXPECT_EQ(Bytes(p->pixels, p->pixels + 9), want);
  EXPECT_EQ(Bytes(p->PixelAddress(0, 1), p->PixelAddress(9, 1)), Bytes(9, 0));
}

TEST(PngLoader, PaletteImagesBecomeRgbOrRgbaWithTransparency) {
  PngSpec s = Png(3, 1, 8, PNG_COLOR_TYPE_PALETTE);
  s.palette = {10, 20, 30, 40, 50, 60, 70, 80, 90};
  s.rows = {2, 0, 1};
  Ref<TPixmap> rgb = LoadPng(test::EncodePng(s));
  ASSERT_TRUE(rgb);
  EXPECT_EQ(rgb->format, PIXFMT_RGB888);
  EXPECT_EQ(Bytes(rgb->pixels, rgb->pixels + 9), Bytes({70, 80, 90, 10, 20, 30, 40, 50, 60}));

  s.trns = {0, 128};  // entry 2 keeps alpha 255
  Ref<TPixmap> rgba = LoadPng(test::EncodePng(s));
  ASSERT_TRUE(rgba);
  EXPECT_EQ(rgba->format, PIXFMT_RGBA8888);
  EXPECT_EQ(PixelOf(rgba, 0, 0), (Rgba{70, 80, 90, 255}));
  EXPECT_EQ(PixelOf(rgba, 1, 0), (Rgba{10, 20, 30, 0}));
  EXPECT_EQ(PixelOf(rgba, 2, 0), (Rgba{40, 50, 60, 128}));
}

TEST(PngLoader, SixteenBitSamplesKeepTheirHighByte) {
  PngSpec s = Png(2, 1, 16, PNG_COLOR_TYPE_RGB_ALPHA);
  s.rows = {0x12, 0xFF, 0x34, 0x01, 0x56, 0x80, 0x78, 0x7F, 0xFF, 0xFF, 0x00, 0xFF, 0x80, 0x00, 0x01, 0x00};
  Ref<TPixmap> p = LoadPng(test::EncodePng(s));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->format, PIXFMT_RGBA8888);
  EXPECT_EQ(Bytes(p->pixels, p->pixels + 8), Bytes({0x12, 0x34, 0x56, 0x78, 0xFF, 0x00, 0x80, 0x01}));
}

TEST(PngLoader, GreyAlphaAndGreyWithTransparentValueBecomeRgba) {
  PngSpec s = Png(2, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA);
  s.rows = {0x80, 0x40, 0x10, 0xFF};
  Ref<TPixmap> p = LoadPng(test::EncodePng(s));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->format, PIXFMT_RGBA8888);
  EXPECT_EQ(Bytes(p->pixels, p->pixels + 8), Bytes({0x80, 0x80, 0x80, 0x40, 0x10, 0x10, 0x10, 0xFF}));

  PngSpec g = Png(2, 1, 8, PNG_COLOR_TYPE_GRAY);
  g.rows = {7, 9};
  g.trns = {0, 9};
  Ref<TPixmap> q = LoadPng(test::EncodePng(g));
  ASSERT_TRUE(q);
  EXPECT_EQ(q->format, PIXFMT_RGBA8888);
  EXPECT_EQ(PixelOf(q, 0, 0), (Rgba{7, 7, 7, 255}));
  EXPECT_EQ(PixelOf(q, 1, 0), (Rgba{9, 9, 9, 0}));
}

TEST(PngLoader, InterlacedImagesDecodeLikePlainOnes) {
  PngSpec s = Png(13, 11, 8, PNG_COLOR_TYPE_RGB);
  for (int i = 0; i < 13 * 11 * 3; ++i) s.rows.push_back(static_cast<std::uint8_t>(i * 31 + i / 7));
  Ref<TPixmap> plain = LoadPng(test::EncodePng(s));
  s.interlaced = true;
  Ref<TPixmap> interlaced = LoadPng(test::EncodePng(s));
  ASSERT_TRUE(plain);
  ASSERT_TRUE(interlaced);
  for (int y = 0; y < 11; ++y) {
    EXPECT_EQ(Bytes(interlaced->PixelAddress(0, y), interlaced->PixelAddress(13, y)),
              Bytes(s.rows.begin() + y * 39, s.rows.begin() + y * 39 + 39));
    EXPECT_EQ(interlaced->GetPixel(12, y), plain->GetPixel(12, y));
  }
}

// Every format saved and read back: grey, RGB and RGBA keep their bytes; BGR
// orders are swapped on writing; A8 becomes white RGBA.
TEST(PngSave, RoundTripsEveryFormat) {
  const int wantFormat[7] = {
      0, PIXFMT_I8, PIXFMT_RGBA8888, PIXFMT_RGB888, PIXFMT_RGB888, PIXFMT_RGBA8888, PIXFMT_RGBA8888};
  for (int f = PIXFMT_I8; f <= PIXFMT_RGBA8888; ++f) {
    Ref<TPixmap> source = test::PatternPixmap(17, 5, f);
    Bytes file = test::SavePngBytes(source, f);  // compression levels 1..6 along the way
    ASSERT_FALSE(file.empty()) << f;
    Ref<TPixmap> back = LoadPng(file);
    ASSERT_TRUE(back) << f;
    EXPECT_EQ(back->format, wantFormat[f]) << f;
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 17; ++x) ASSERT_EQ(back->GetPixel(x, y), source->GetPixel(x, y)) << f << " " << x << "," << y;
    }
  }
}

TEST(PngSave, WindowRowsAreWrittenWithoutTheirPadding) {
  Ref<TPixmap> parent = test::PatternPixmap(20, 20, PIXFMT_BGR888);
  Ref<TPixmap> window = parent->SubWindow(5, 3, 7, 9);
  Ref<TPixmap> back = LoadPng(test::SavePngBytes(window, 0));
  ASSERT_TRUE(back);
  ASSERT_EQ(back->width, 7);
  ASSERT_EQ(back->height, 9);
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 7; ++x) ASSERT_EQ(back->GetPixel(x, y), parent->GetPixel(5 + x, 3 + y));
  }
}

TEST(PngSave, FailuresReportFalse) {
  Ref<TPixmap> p = test::PatternPixmap(2, 2, PIXFMT_RGB888);
  EXPECT_EQ(PixmapSavePNG(p, "no/such/dir/out.png"_s), 0);
  EXPECT_TRUE(test::SavePngBytes(PixmapCreate(0, 3, PIXFMT_RGB888, 4)).empty());
  EXPECT_TRUE(test::SavePngBytes(p, 42).empty());                        // not a zlib level
  EXPECT_TRUE(test::SavePngBytes(Ref<TPixmap>(new TPixmap())).empty());  // no format

  // A sink that fills up: the stream error comes out, libpng is cleaned up.
  Bytes space(40);
  Ref<TMemoryStream> small = CreateMemoryStream(space.data(), 40, 0, 1);
  EXPECT_THROW(PixmapSavePNG(test::PatternPixmap(64, 64, PIXFMT_RGBA8888), Ref<TObject>(small), 0), TStreamError);
}

TEST(PngSave, AnImageLibpngWouldRefuseLeavesTheFileAsItWas) {
  // Opening a file for writing empties it: a save that is bound to fail must
  // find that out first, not after the old picture is gone.
  const std::string path =
      (std::filesystem::temp_directory_path() / ("corvex-png-keep-" + std::to_string(::getpid()))).string();
  auto contents = [&] {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  std::ofstream(path, std::ios::binary) << "precious";
  EXPECT_EQ(PixmapSavePNG(PixmapCreate(0, 3, PIXFMT_RGB888, 4), String(path)), 0);
  EXPECT_EQ(contents(), "precious");
  EXPECT_EQ(PixmapSavePNG(PixmapCreate(3, 0, PIXFMT_I8, 4), String(path)), 0);
  EXPECT_EQ(contents(), "precious");
  EXPECT_EQ(PixmapSavePNG(test::PatternPixmap(2, 2, PIXFMT_RGB888), String(path), 42), 0);
  EXPECT_EQ(contents(), "precious");
  EXPECT_EQ(PixmapSavePNG(test::PatternPixmap(2, 2, PIXFMT_RGB888), String(path), -2), 0);
  EXPECT_EQ(contents(), "precious");
  EXPECT_FALSE(test::SavePngBytes(test::PatternPixmap(2, 2, PIXFMT_RGB888), -1).empty());  // zlib's default
  EXPECT_EQ(PixmapSavePNG(test::PatternPixmap(2, 2, PIXFMT_RGB888), String(path), 9), 1);
  EXPECT_NE(contents(), "precious");
  std::remove(path.c_str());
}

TEST(PngLoader, RejectsWhatIsNotAWholePng) {
  Bytes good = test::SavePngBytes(test::PatternPixmap(16, 16, PIXFMT_RGB888));
  ASSERT_TRUE(LoadPng(good));
  EXPECT_FALSE(LoadPng(Bytes(good.begin(), good.begin() + 7)));  // short signature
  for (std::size_t cut : {8ul, 20ul, 33ul, 50ul, good.size() / 2, good.size() - 1}) {
    EXPECT_FALSE(LoadPng(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)))) << cut;
  }
  Bytes corrupt = good;
  corrupt[40] ^= 0x55;  // inside the image data: its checksum no longer matches
  EXPECT_FALSE(LoadPng(corrupt));
  Bytes notPng = good;
  notPng[1] = 'Q';
  EXPECT_FALSE(LoadPng(notPng));
}

TEST(PngLoader, RefusesHugeDimensionsWithoutAllocatingThem) {
  // A valid IHDR for 30000 x 30000 RGBA (3.6 GB) followed by nothing.
  Bytes file = test::SavePngBytes(test::PatternPixmap(1, 1, PIXFMT_RGBA8888));
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
  };
  put32(16, 30000);
  put32(20, 30000);
  put32(29, Crc32(file.data() + 12, 17));
  EXPECT_FALSE(LoadPng(file));
}

TEST(PngLoader, LeavesAGivenStreamOpenAtItsEnd) {
  Bytes file = test::SavePngBytes(test::PatternPixmap(3, 3, PIXFMT_I8));
  Ref<TMemoryStream> stream = test::ReadStream(file);
  ASSERT_TRUE(PixmapLoadPNG(Ref<TObject>(stream)));
  EXPECT_EQ(stream->Position(), static_cast<std::int32_t>(file.size()));
  stream->Seek(0);
  EXPECT_TRUE(PixmapLoadPNG(Ref<TObject>(stream)));  // still usable
}

}  // namespace
}  // namespace cvx
