// Image fonts: the built-in font from its table, text layout, the loader chain.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "corvex/pixmap/pixmap.h"
#include "corvex/stream/embed.h"
#include "corvex/vex2d/glyphfont.h"
#include "corvex/vex2d/image.h"
#include "corvex/vex2d/vex2d.h"
#include "tests/vex2d/fake_driver.h"

namespace cvx {
namespace {

using testing::FrameDraws;

class Fonts : public ::testing::Test {
 protected:
  void SetUp() override { testing::ResetDrawState(); }
};

TEST_F(Fonts, BuiltInGlyphsFollowTheEmbeddedTable) {
  ASSERT_EQ(EmbedSize("corvexfont.bin"_s), 1536);
  const auto* table = static_cast<const unsigned char*>(EmbedAddress("corvexfont.bin"_s));
  Ref<TGlyphFont> font = TGlyphFont::BuiltIn();
  EXPECT_EQ(font->GlyphCount(), 96);
  EXPECT_EQ(font->LineHeight(), 16);
  EXPECT_EQ(font->FontStyle(), 0);
  EXPECT_EQ(font->imageFlags, 0);
  int ink = 0;
  for (int code : {'A', 'g', '~', '0'}) {
    Ref<TImageGlyph> glyph = font->GlyphAt(font->GlyphIndexOf(code));
    ASSERT_TRUE(glyph);
    EXPECT_EQ(glyph->AdvanceWidth(), 8.0f);
    int x, y, w, h;
    glyph->Bounds(x, y, w, h);
    EXPECT_EQ(w * 100 + h, 816);
    Ref<TImage> image = glyph->GlyphImage();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->flags, 0);
    Ref<TPixmap> p = image->LockPixmap(0, 1, 0);
    for (int r = 0; r < 16; ++r) {
      for (int k = 0; k < 8; ++k) {
        const bool set = table[r * 96 + (code - 32)] & (1 << k);
        ink += set;
        EXPECT_EQ(p->GetPixel(k, r), set ? 0xFFFFFFFFu : 0u) << char(code) << " row " << r << " col " << k;
      }
    }
  }
  EXPECT_GT(ink, 40);  // the table really has glyphs
  // The space is empty.
  Ref<TPixmap> space = font->GlyphAt(0)->GlyphImage()->LockPixmap(0, 1, 0);
  for (int r = 0; r < 16; ++r)
    for (int k = 0; k < 8; ++k) EXPECT_EQ(space->GetPixel(k, r), 0u);
  EXPECT_EQ(font->GlyphIndexOf(31), -1);
  EXPECT_EQ(font->GlyphIndexOf(128), -1);
  EXPECT_EQ(font->GlyphIndexOf(127), 95);
}

TEST_F(Fonts, FiveLetterWordIsLaidOutEightPixelsApart) {
  DrawString("Hello", 10, 20);
  ASSERT_EQ(FrameDraws().size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(FrameDraws()[i].tx, 10 + 8 * i);
    EXPECT_EQ(FrameDraws()[i].ty, 20);
    EXPECT_EQ(FrameDraws()[i].x1, 8);
    EXPECT_EQ(FrameDraws()[i].y1, 16);
  }
  EXPECT_EQ(StringWidth("Hello"), 40);

  FrameDraws().clear();
  SetDrawRotation(90);
  DrawString("abc", 100, 100);
  ASSERT_EQ(FrameDraws().size(), 3u);
  EXPECT_NEAR(FrameDraws()[2].tx, 100, 1e-5);
  EXPECT_NEAR(FrameDraws()[2].ty, 116, 1e-5);  // the text runs downward

  // A space advances and draws an empty quad; characters without a glyph neither.
  SetDrawRotation(0);
  FrameDraws().clear();
  DrawString(String::OfUtf8("a \t\xC3\xA9z"), 0, 0);
  ASSERT_EQ(FrameDraws().size(), 3u);
  EXPECT_EQ(FrameDraws()[2].tx, 16);
}

// A source font with glyphs of varying advance and offset.
class TTestGlyph final : public TGlyphSource {
 public:
  explicit TTestGlyph(int index) : index(index) {}
  Ref<TPixmap> GlyphPixels() override {
    if (index == 1) return nullptr;
    Ref<TPixmap> p = PixmapCreate(3, 5, PIXFMT_A8);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 3; ++x) p->SetPixel(x, y, 0xFF000000u);
    return p;
  }
  float AdvanceWidth() override { return 4.6f + static_cast<float>(index); }
  void Bounds(int& x, int& y, int& w, int& h) override {
    x = 1;
    y = -3;
    w = 3;
    h = 5;
  }
  int index;
};

class TTestSource final : public TFontSource {
 public:
  int FontStyle() override { return 4; }
  int LineHeight() override { return 11; }
  int GlyphCount() override { return 3; }
  int GlyphIndexOf(int code) override { return (code >= 'a' && code <= 'c') ? code - 'a' : (code == 'z' ? 7 : -1); }
  Ref<TGlyphSource> GlyphAt(int index) override {
    ++asked;
    return Ref<TGlyphSource>(new TTestGlyph(index));
  }
  int asked = 0;
};

class TTestOpener final : public TFontOpener {
 public:
  explicit TTestOpener(String name) : name(name) {}
  Ref<TFontSource> LoadFontSource(const String& url, int, int) override {
    ++calls;
    if (url != name) return nullptr;
    last = new TTestSource();
    return last;
  }
  String name;
  int calls = 0;
  Ref<TTestSource> last;
};

TEST_F(Fonts, LoaderChainAsksNewestFirstAndLinksEachLoaderOnce) {
  Ref<TTestOpener> older(new TTestOpener("shared"));
  Ref<TTestOpener> newer(new TTestOpener("shared"));
  RegisterFontLoader(older.Get());
  RegisterFontLoader(newer.Get());
  RegisterFontLoader(older.Get());  // already linked: no loop, no move
  EXPECT_TRUE(LoadFontSource("shared", 12, 0));
  EXPECT_EQ(newer->calls, 1);
  EXPECT_EQ(older->calls, 0);
  EXPECT_FALSE(OpenImageFont("nobody has it", 12, 0));
  EXPECT_EQ(older->calls, 1);
  EXPECT_EQ(newer->calls, 2);
}

// A source whose glyph a, b and c advance by NaN, 3e9 and -3e9 pixels.
class TOddAdvanceGlyph final : public TGlyphSource {
 public:
  explicit TOddAdvanceGlyph(float advance) : advance(advance) {}
  Ref<TPixmap> GlyphPixels() override { return nullptr; }
  float AdvanceWidth() override { return advance; }
  void Bounds(int& x, int& y, int& w, int& h) override { x = y = w = h = 0; }
  float advance;
};

class TOddAdvanceSource final : public TFontSource {
 public:
  int FontStyle() override { return 0; }
  int LineHeight() override { return 10; }
  int GlyphCount() override { return 4; }
  int GlyphIndexOf(int code) override { return (code >= 'a' && code <= 'd') ? code - 'a' : -1; }
  Ref<TGlyphSource> GlyphAt(int index) override {
    const float advances[4] = {std::nanf(""), 3e9f, -3e9f, 5};
    return Ref<TGlyphSource>(new TOddAdvanceGlyph(advances[index]));
  }
};

TEST_F(Fonts, WidthsOfAdvancesWithoutAnIntStayInRange) {
  Ref<TGlyphFont> font(new TGlyphFont());
  font->source = new TOddAdvanceSource();
  font->glyphs = NewArray<Ref<TImageGlyph>>(4);
  SetDrawFont(font.Get());
  EXPECT_EQ(StringWidth("dad"), 10);  // NaN adds nothing
  EXPECT_EQ(StringWidth("b"), std::numeric_limits<int>::max());
  EXPECT_EQ(StringWidth("c"), std::numeric_limits<int>::min());
  EXPECT_EQ(StringWidth("bb"), std::numeric_limits<int>::max());
}

TEST_F(Fonts, LoadedFontsMakeGlyphsLazilyAndLayThemOutByTheirBounds) {
  Ref<TTestOpener> opener(new TTestOpener("test-font"));
  RegisterFontLoader(opener.Get());
  Ref<TGlyphFont> smooth = OpenImageFont("test-font", 10, FontSmoothing);
  ASSERT_TRUE(smooth);
  EXPECT_EQ(smooth->imageFlags, ImageFiltered + ImageMipmapped);
  EXPECT_EQ(smooth->LineHeight(), 11);
  EXPECT_EQ(smooth->FontStyle(), 4);
  EXPECT_EQ(smooth->GlyphCount(), 3);
  EXPECT_EQ(opener->last->asked, 0);

  Ref<TGlyphFont> font = OpenImageFont("test-font", 10, 0);
  EXPECT_EQ(font->imageFlags, 0);
  Ref<TImageGlyph> a = font->GlyphAt(0);
  EXPECT_EQ(font->GlyphAt(0), a);
  EXPECT_EQ(opener->last->asked, 1);
  EXPECT_EQ(a->advance, 4.6f);
  EXPECT_EQ(a->x, 1);
  EXPECT_EQ(a->y, -3);
  ASSERT_TRUE(a->image);
  EXPECT_EQ(a->image->width, 3);
  EXPECT_FALSE(font->GlyphAt(1)->image);  // no pixels, no image
  EXPECT_FALSE(font->GlyphAt(7));         // beyond the glyph array

  SetDrawFont(font.Get());
  EXPECT_EQ(StringHeight(), 11);
  // Widths accumulate as integers: 4.6 -> 4, 4 + 5.6 -> 9, 9 + 6.6 -> 15.
  EXPECT_EQ(StringWidth("abc"), 15);
  EXPECT_EQ(StringWidth("z?"), 0);

  FrameDraws().clear();
  DrawString("ab", 10, 20);
  ASSERT_EQ(FrameDraws().size(), 1u);  // b has no picture
  EXPECT_EQ(FrameDraws()[0].tx, 11);
  EXPECT_EQ(FrameDraws()[0].ty, 17);
  FrameDraws().clear();
  DrawString("aa", 10, 20);
  EXPECT_FLOAT_EQ(FrameDraws()[1].tx, 11 + 4.6f);

  // Glyph offsets go through the matrix and are truncated toward zero.
  SetDrawScale(1.5f, 1.5f);
  FrameDraws().clear();
  DrawString("a", 0, 0);
  EXPECT_EQ(FrameDraws()[0].tx, 1);   // trunc(1.5)
  EXPECT_EQ(FrameDraws()[0].ty, -4);  // trunc(-4.5)

  // A matrix without an int offset (huge or not a number) still lays the
  // glyphs out, as whatever that matrix makes of them.
  SetDrawScale(1e30f, 1e30f);
  FrameDraws().clear();
  DrawString("a", 0, 0);
  ASSERT_EQ(FrameDraws().size(), 1u);
  EXPECT_FLOAT_EQ(FrameDraws()[0].tx, 1e30f);
  EXPECT_FLOAT_EQ(FrameDraws()[0].ty, -3e30f);
  SetDrawScale(1, 1);
  SetDrawRotation(std::nanf(""));
  FrameDraws().clear();
  DrawString("aa", 0, 0);
  ASSERT_EQ(FrameDraws().size(), 2u);
  EXPECT_TRUE(std::isnan(FrameDraws()[1].tx));
  SetDrawFont(nullptr);
  FrameDraws().clear();
  DrawString("Hi", 0, 0);  // the built-in glyphs sit at offset 0: 0 x NaN is NaN too
  EXPECT_EQ(FrameDraws().size(), 2u);
}

}  // namespace
}  // namespace cvx
