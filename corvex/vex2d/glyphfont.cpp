// Image fonts: the built-in 8x16 font and fonts over a loaded source font.
#include "corvex/vex2d/glyphfont.h"

#include <cmath>

#include "corvex/pixmap/pixmap.h"
#include "corvex/stream/embed.h"
#include "corvex/vex2d/image.h"

namespace cvx {

namespace {

Ref<TFontOpener> gFirstLoader;

constexpr int kBuiltInGlyphs = 96;  // codes 32 to 127
constexpr int kBuiltInWidth = 8;
constexpr int kBuiltInHeight = 16;
constexpr int kFontTableSize = kBuiltInGlyphs * kBuiltInHeight;

}  // namespace

// ---- TImageGlyph ------------------------------------------------------------------

Ref<TImage> TImageGlyph::GlyphImage() { return image; }
float TImageGlyph::AdvanceWidth() { return advance; }
void TImageGlyph::Bounds(int& outX, int& outY, int& outWidth, int& outHeight) {
  outX = x;
  outY = y;
  outWidth = width;
  outHeight = height;
}

// ---- TGlyphFont -------------------------------------------------------------------

int TGlyphFont::FontStyle() { return source ? source->FontStyle() : 0; }
int TGlyphFont::LineHeight() { return source ? source->LineHeight() : kBuiltInHeight; }
int TGlyphFont::GlyphCount() { return glyphs ? glyphs->Length() : 0; }

int TGlyphFont::GlyphIndexOf(int code) {
  if (source) return source->GlyphIndexOf(code);
  return (code >= 32 && code <= 127) ? code - 32 : -1;
}

Ref<TImageGlyph> TGlyphFont::GlyphAt(int index) {
  // A source that answers an index outside its own glyph count gets no glyph
  // rather than an array error in the middle of a frame.
  if (index < 0 || index >= GlyphCount()) return nullptr;
  if ((*glyphs)[index] || !source) return (*glyphs)[index];
  Ref<TImageGlyph> glyph(new TImageGlyph());
  (*glyphs)[index] = glyph;
  Ref<TGlyphSource> from = source->GlyphAt(index);
  if (!from) return glyph;
  glyph->advance = from->AdvanceWidth();
  from->Bounds(glyph->x, glyph->y, glyph->width, glyph->height);
  if (Ref<TPixmap> pixels = from->GlyphPixels()) {
    glyph->image = TImage::FromSource(Ref<TObject>(pixels->Clone()), imageFlags, 0, 0, 0);
  }
  return glyph;
}

void TGlyphFont::RenderString(const String& text, float x, float y, float ix, float iy, float jx, float jy) {
  for (std::int32_t i = 0; i < text.Length(); ++i) {
    const int index = GlyphIndexOf(text.Units()[i]);
    if (index < 0) continue;
    Ref<TImageGlyph> glyph = GlyphAt(index);
    if (!glyph) continue;
    // The glyph's offset in whole pixels, truncated in float: a matrix of
    // huge or non-finite values (a scale of 1e30, a NaN rotation) has no int.
    const float gx = std::trunc(static_cast<float>(glyph->x) * ix + static_cast<float>(glyph->y) * iy);
    const float gy = std::trunc(static_cast<float>(glyph->x) * jx + static_cast<float>(glyph->y) * jy);
    if (Ref<TImage> image = glyph->GlyphImage()) {
      image->FrameFor(0)->Render(0, 0, static_cast<float>(image->width), static_cast<float>(image->height), x + gx,
                                 y + gy);
    }
    const float advance = glyph->AdvanceWidth();
    x += advance * ix;
    y += advance * jx;
  }
}

Ref<TGlyphFont> TGlyphFont::FromSource(const String& url, int size, int style) {
  Ref<TFontSource> source = LoadFontSource(url, size, style);
  if (!source) return nullptr;
  Ref<TGlyphFont> font(new TGlyphFont());
  font->source = source;
  const int count = source->GlyphCount();
  font->glyphs = NewArray<Ref<TImageGlyph>>(count > 0 ? count : 0);
  font->imageFlags = (style & FontSmoothing) ? ImageFiltered + ImageMipmapped : 0;
  return font;
}

Ref<TGlyphFont> TGlyphFont::BuiltIn() {
  Ref<TGlyphFont> font(new TGlyphFont());
  font->imageFlags = 0;
  font->glyphs = NewArray<Ref<TImageGlyph>>(kBuiltInGlyphs);
  const auto* table = static_cast<const unsigned char*>(EmbedAddress("corvexfont.bin"_s));
  // A missing or short table gives blank glyphs rather than reads past its end.
  const bool usable = table && EmbedSize("corvexfont.bin"_s) >= kFontTableSize;
  Ref<TPixmap> sheet = PixmapCreate(kBuiltInGlyphs * kBuiltInWidth, kBuiltInHeight, PIXFMT_RGBA8888, 4);
  for (int r = 0; r < kBuiltInHeight; ++r) {
    for (int c = 0; c < kBuiltInGlyphs; ++c) {
      const int bits = usable ? table[r * kBuiltInGlyphs + c] : 0;
      for (int k = 0; k < 8; ++k) {
        sheet->SetPixel(c * kBuiltInWidth + k, r, (bits & (1 << k)) ? 0xFFFFFFFFu : 0u);
      }
    }
  }
  for (int c = 0; c < kBuiltInGlyphs; ++c) {
    Ref<TImageGlyph> glyph(new TImageGlyph());
    glyph->advance = 8.0f;
    glyph->x = 0;
    glyph->y = 0;
    glyph->width = kBuiltInWidth;
    glyph->height = kBuiltInHeight;
    Ref<TPixmap> cell = sheet->SubWindow(c * kBuiltInWidth, 0, kBuiltInWidth, kBuiltInHeight)->Clone();
    glyph->image = TImage::FromSource(Ref<TObject>(cell), 0, 0, 0, 0);
    (*font->glyphs)[c] = glyph;
  }
  return font;
}

// ---- Loader chain -----------------------------------------------------------------

void RegisterFontLoader(TFontOpener* loader) {
  if (!loader) return;
  for (TFontOpener* l = gFirstLoader.Get(); l; l = l->next.Get()) {
    if (l == loader) return;  // already linked
  }
  loader->next = gFirstLoader;
  gFirstLoader = loader;
}

Ref<TFontSource> LoadFontSource(const String& url, int size, int style) {
  for (Ref<TFontOpener> l = gFirstLoader; l; l = l->next) {
    if (Ref<TFontSource> source = l->LoadFontSource(url, size, style)) return source;
  }
  return nullptr;
}

Ref<TGlyphFont> OpenImageFont(const String& url, int size, int style) {
  return TGlyphFont::FromSource(url, size, style);
}

}  // namespace cvx
