#include "corvex/fonts/vectorfont.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "corvex/filesystem/filesystem.h"
#include "corvex/pixmap/pixelformat.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/filesystemname.h"
#include "corvex/stream/embed.h"
#include "corvex/vex2d/glyphfont.h"
#include "corvex/vex2d/image.h"
#include "tests/support/log_capture.h"

namespace cvx {
namespace {

const char* const kSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// A bitmap font with a single 12-pixel strike holding an 8x10 "A" (its
// last rows lopsided, so that a reversed bit order shows).
const char* const kStrikeFont =
    "STARTFONT 2.1\n"
    "FONT -corvex-strike-medium-r-normal--12-120-75-75-c-80-iso10646-1\n"
    "SIZE 12 75 75\n"
    "FONTBOUNDINGBOX 8 12 0 -2\n"
    "STARTPROPERTIES 5\n"
    "PIXEL_SIZE 12\n"
    "FONT_ASCENT 10\n"
    "FONT_DESCENT 2\n"
    "CHARSET_REGISTRY \"ISO10646\"\n"
    "CHARSET_ENCODING \"1\"\n"
    "ENDPROPERTIES\n"
    "CHARS 1\n"
    "STARTCHAR A\n"
    "ENCODING 65\n"
    "SWIDTH 666 0\n"
    "DWIDTH 8 0\n"
    "BBX 8 10 0 0\n"
    "BITMAP\n"
    "18\n24\n42\n42\n7E\n42\n42\n42\n83\nC0\n"
    "ENDCHAR\n"
    "ENDFONT\n";
const unsigned char kStrikeRows[10] = {0x18, 0x24, 0x42, 0x42, 0x7E, 0x42, 0x42, 0x42, 0x83, 0xC0};

class VectorFontTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { InitVectorFonts(); }
  void SetUp() override {
    char pattern[] = "/tmp/corvex-fonts-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    ASSERT_EQ(access(kSans, R_OK), 0) << "the DejaVu fonts (fonts-dejavu-core) are not installed";
  }
  void TearDown() override {
    for (const std::string& file : files) unlink(file.c_str());
    rmdir(dir.c_str());
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    files.push_back(path);
    return path;
  }
  static Ref<TVectorGlyph> Glyph(const Ref<TVectorFontSource>& font, int code) {
    return RefCast<TVectorGlyph>(font->GlyphAt(font->GlyphIndexOf(code)));
  }
  std::string dir;
  std::vector<std::string> files;
};

// FreeType reads a name only up to a 0 byte: "font.ttf\0.txt" would open
// font.ttf. Such a name names no file and opens no font.
TEST_F(VectorFontTest, ANameHoldingAZeroByteOpensNothing) {
  const String sans(kSans);
  ASSERT_TRUE(OpenVectorFont(sans, 16, 0));
  const String cut = sans + String(std::string_view("\0", 1)) + String(".txt");
  EXPECT_FALSE(OpenVectorFont(cut, 16, 0));
}

TEST_F(VectorFontTest, OpensATrueTypeFileAtAPixelSize) {
  Ref<TVectorFontSource> font = OpenVectorFont(kSans, 16, 3);
  ASSERT_TRUE(font);
  EXPECT_EQ(font->FontStyle(), 3);
  // DejaVu Sans: ascender 1901, descender -483 and height 2384 units of 2048
  // per em (14.85, -3.77 and 18.6 pixels), which FreeType fits to whole pixels.
  EXPECT_EQ(font->ascender, 15);
  EXPECT_EQ(font->descender, -4);
  EXPECT_EQ(font->LineHeight(), 19);
  EXPECT_GT(font->GlyphCount(), 3000);
  EXPECT_GE(font->GlyphIndexOf('A'), 0);
  EXPECT_NE(font->GlyphIndexOf('A'), font->GlyphIndexOf('B'));
  // Characters the face lacks.
  EXPECT_EQ(font->GlyphIndexOf(0x10FFFD), -1);
  EXPECT_EQ(font->GlyphIndexOf(-5), -1);
  // Indexes outside the glyph table give no glyph.
  EXPECT_FALSE(font->GlyphAt(-1));
  EXPECT_FALSE(font->GlyphAt(font->GlyphCount()));
}

TEST_F(VectorFontTest, RendersAnAntiAliasedA) {
  Ref<TVectorFontSource> font = OpenVectorFont(kSans, 16, 0);
  ASSERT_TRUE(font);
  Ref<TVectorGlyph> a = Glyph(font, 'A');
  ASSERT_TRUE(a);
  int x, y, width, height;
  a->Bounds(x, y, width, height);
  // The capital stands on the baseline and reaches the cap height (about 11.7 pixels).
  EXPECT_GE(width, 9);
  EXPECT_LE(width, 12);
  EXPECT_GE(height, 11);
  EXPECT_LE(height, 13);
  EXPECT_EQ(y + height, font->ascender);
  EXPECT_GE(x, -1);
  EXPECT_LE(x, 1);
  // 1401 units, 10.9 pixels: whole pixels after hinting and truncation.
  EXPECT_EQ(a->AdvanceWidth(), static_cast<float>(static_cast<int>(a->AdvanceWidth())));
  EXPECT_GE(a->AdvanceWidth(), 10.0f);
  EXPECT_LE(a->AdvanceWidth(), 11.0f);
  Ref<TPixmap> pixels = a->GlyphPixels();
  ASSERT_TRUE(pixels);
  EXPECT_EQ(pixels->format, PIXFMT_A8);
  EXPECT_EQ(pixels->width, width);
  EXPECT_EQ(pixels->height, height);
  int full = 0, empty = 0, partial = 0;
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) {
      const int alpha = *pixels->PixelAddress(c, r);
      full += alpha == 255;
      empty += alpha == 0;
      partial += alpha > 0 && alpha < 255;
    }
  }
  EXPECT_GT(full, 10);
  EXPECT_GT(empty, 10);
  EXPECT_GT(partial, 0);  // smoothed edges
  // The apex is at the middle of the top row, the feet at the bottom corners.
  EXPECT_GT(*pixels->PixelAddress(width / 2, 0), 100);
  EXPECT_EQ(*pixels->PixelAddress(0, 0), 0);
  EXPECT_GT(*pixels->PixelAddress(0, height - 1) + *pixels->PixelAddress(1, height - 1), 100);
}

TEST_F(VectorFontTest, GlyphsAreRenderedOnceAndScaleWithSize) {
  Ref<TVectorFontSource> small = OpenVectorFont(kSans, 16, 0);
  Ref<TVectorFontSource> large = OpenVectorFont(kSans, 48, 0);
  ASSERT_TRUE(small && large);
  const int index = small->GlyphIndexOf('A');
  Ref<TGlyphSource> first = small->GlyphAt(index);
  Ref<TGlyphSource> again = small->GlyphAt(index);
  EXPECT_EQ(first, again);
  EXPECT_EQ(first->GlyphPixels(), again->GlyphPixels());
  EXPECT_EQ(RefCast<TVectorGlyph>(small->glyphs[index]), first);
  EXPECT_FALSE(small->glyphs[index + 1]);  // untouched entries stay unmade
  int x, y, smallWidth, smallHeight, largeWidth, largeHeight;
  first->Bounds(x, y, smallWidth, smallHeight);
  Glyph(large, 'A')->Bounds(x, y, largeWidth, largeHeight);
  EXPECT_NEAR(largeHeight, 3 * smallHeight, 3);
  EXPECT_NEAR(largeWidth, 3 * smallWidth, 4);
  EXPECT_EQ(large->LineHeight(), 56);
}

TEST_F(VectorFontTest, SpaceHasAnAdvanceButNoPixels) {
  Ref<TVectorFontSource> font = OpenVectorFont(kSans, 16, 0);
  ASSERT_TRUE(font);
  Ref<TVectorGlyph> space = Glyph(font, ' ');
  ASSERT_TRUE(space);
  EXPECT_EQ(space->AdvanceWidth(), 5.0f);  // 651 units
  EXPECT_FALSE(space->GlyphPixels());
  int x, y, width, height;
  space->Bounds(x, y, width, height);
  EXPECT_EQ(width, 0);
  EXPECT_EQ(height, 0);
}

TEST_F(VectorFontTest, BitmapStrikeIsFoundBelowTheRequestedSize) {
  const std::string path = Write("strike.bdf", kStrikeFont);
  Ref<TVectorFontSource> font = OpenVectorFont(path.c_str(), 16, 0);
  ASSERT_TRUE(font);
  EXPECT_EQ(font->LineHeight(), 12);
  EXPECT_EQ(font->ascender, 10);
  EXPECT_EQ(font->descender, -2);
  ASSERT_TRUE(OpenVectorFont(path.c_str(), 1000000000, 0));  // steps down at once
  EXPECT_FALSE(OpenVectorFont(path.c_str(), 11, 0));         // no strike at or below 11
  EXPECT_EQ(font->GlyphIndexOf('B'), -1);
  // A 1-bit glyph becomes alpha 255 where a bit is set, 0 elsewhere.
  Ref<TVectorGlyph> a = Glyph(font, 'A');
  ASSERT_TRUE(a);
  int x, y, width, height;
  a->Bounds(x, y, width, height);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(width, 8);
  EXPECT_EQ(height, 10);
  EXPECT_EQ(a->AdvanceWidth(), 8.0f);
  Ref<TPixmap> pixels = a->GlyphPixels();
  ASSERT_TRUE(pixels);
  EXPECT_EQ(pixels->format, PIXFMT_A8);
  EXPECT_EQ(pixels->pitch % 4, 0);
  for (int r = 0; r < 10; ++r) {
    for (int c = 0; c < 8; ++c) {
      EXPECT_EQ(*pixels->PixelAddress(c, r), (kStrikeRows[r] & (0x80 >> c)) ? 255 : 0) << c << "," << r;
    }
  }
}

TEST_F(VectorFontTest, UnreadableFontsGiveNullAndOneWarningEach) {
  test::LogCapture log(LogLevel::Warning);
  std::string noise(4096, '\0');
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * 131 + 7);
  EXPECT_FALSE(OpenVectorFont(Write("noise.ttf", noise).c_str(), 16, 0));
  // A TrueType header whose tables are cut off.
  std::ifstream in(kSans, std::ios::binary);
  std::string head(600, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  EXPECT_FALSE(OpenVectorFont(Write("cut.ttf", head).c_str(), 16, 0));
  EXPECT_FALSE(OpenVectorFont(Write("empty.ttf", "").c_str(), 16, 0));
  EXPECT_FALSE(OpenVectorFont((dir + "/missing.ttf").c_str(), 16, 0));
  EXPECT_FALSE(OpenVectorFont(""_s, 16, 0));
  EXPECT_FALSE(OpenVectorFont(kSans, 0, 0));
  EXPECT_FALSE(OpenVectorFont(kSans, -3, 0));
  // Urls that do not open or hold nothing are not raised.
  EXPECT_FALSE(OpenVectorFont("incbin::no/such/font.ttf"_s, 16, 0));
  EXPECT_FALSE(OpenVectorFont("nosuchprotocol::font.ttf"_s, 16, 0));
  static const unsigned char nothing[1] = {0};
  EmbedRegister("tests/fonts/nothing.ttf"_s, nothing, 0);
  EXPECT_FALSE(OpenVectorFont("incbin::tests/fonts/nothing.ttf"_s, 16, 0));

  const std::vector<std::string> warnings = log.Warnings();
  ASSERT_EQ(warnings.size(), 10u);
  EXPECT_NE(warnings[0].find("noise.ttf\": FreeType cannot read it"), std::string::npos) << warnings[0];
  EXPECT_NE(warnings[3].find("missing.ttf\": the file does not open"), std::string::npos) << warnings[3];
  EXPECT_NE(warnings[5].find("pixel size must be above 0"), std::string::npos) << warnings[5];
  EXPECT_NE(warnings[7].find("no embedded file is named"), std::string::npos) << warnings[7];
  EXPECT_NE(warnings[9].find("no font bytes"), std::string::npos) << warnings[9];
}

TEST_F(VectorFontTest, AFontNamedAsItsDirectoryListsItOpens) {
  std::ifstream in(kSans, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Write("Caf\xC3\xA9.ttf", bytes);  // "Café.ttf" as a UTF-8 system names it
  Array<String> names = ListDirectory(String(dir), true);
  ASSERT_EQ(names->Length(), 1);
  String path = String(dir) + "/"_s + (*names)[0];
  EXPECT_TRUE(OpenReadFile(path)) << "the file stream opens the listed name";
  EXPECT_TRUE(OpenVectorFont(path, 16, 0)) << "and so does the font";
  EXPECT_EQ(FileSystemName(path), dir + "/Caf\xC3\xA9.ttf");
  EXPECT_EQ(FileSystemName(StringOfFileSystemName(FileSystemName(path))), FileSystemName(path));
}

TEST_F(VectorFontTest, UrlLoadsTheFontIntoMemory) {
  std::ifstream in(kSans, std::ios::binary);
  static const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_GT(bytes.size(), 100000u);
  EmbedRegister("tests/fonts/DejaVuSans.ttf"_s, bytes.data(), static_cast<std::int32_t>(bytes.size()));
  Ref<TVectorFontSource> fromUrl = OpenVectorFont("incbin::tests/fonts/DejaVuSans.ttf"_s, 16, 0);
  Ref<TVectorFontSource> fromPath = OpenVectorFont(kSans, 16, 0);
  ASSERT_TRUE(fromUrl && fromPath);
  ASSERT_TRUE(fromUrl->fontData);
  EXPECT_EQ(fromUrl->fontData->Length(), static_cast<std::int32_t>(bytes.size()));
  EXPECT_FALSE(fromPath->fontData);
  EXPECT_EQ(fromUrl->GlyphCount(), fromPath->GlyphCount());
  int a[4], b[4];
  Glyph(fromUrl, 'g')->Bounds(a[0], a[1], a[2], a[3]);
  Glyph(fromPath, 'g')->Bounds(b[0], b[1], b[2], b[3]);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(a[i], b[i]);
  EXPECT_GT(a[1] + a[3], fromUrl->ascender);  // the descender of "g" goes below the baseline
}

TEST_F(VectorFontTest, ImageFontsOpenFontFilesThroughTheLoaderChain) {
  Ref<TFontSource> source = LoadFontSource(kSans, 16, 0);
  ASSERT_TRUE(RefCast<TVectorFontSource>(source));
  Ref<TFontOpener> opener = new TVectorFontOpener();
  EXPECT_FALSE(opener->LoadFontSource(""_s, 16, 0));
  Ref<TGlyphFont> font = OpenImageFont(kSans, 16, 0);
  ASSERT_TRUE(font);
  EXPECT_EQ(font->LineHeight(), 19);
  Ref<TImageGlyph> a = font->GlyphAt(font->GlyphIndexOf('A'));
  ASSERT_TRUE(a);
  EXPECT_TRUE(a->GlyphImage());
  EXPECT_EQ(a->AdvanceWidth(), RefCast<TVectorFontSource>(source)->GlyphAt(font->GlyphIndexOf('A'))->AdvanceWidth());
  Ref<TImageGlyph> space = font->GlyphAt(font->GlyphIndexOf(' '));
  ASSERT_TRUE(space);
  EXPECT_FALSE(space->GlyphImage());
}

}  // namespace
}  // namespace cvx
