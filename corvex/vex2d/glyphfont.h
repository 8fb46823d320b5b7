/// @file
/// Image fonts: every glyph is a small TImage drawn through its frame, so text
/// follows the current colour, alpha, blend, rotation and scale. A font is
/// either the built-in 8x16 font (the embedded table "corvexfont.bin") or wraps
/// a source font produced by the chain of font loaders.
#pragma once

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/array.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"
#include "corvex/vex2d/image.h"

namespace cvx {

/// Style bit: smoothed fonts get filtered, mipmapped glyph images.
inline constexpr int FontSmoothing = 4;

/// One glyph of a source font.
class TGlyphSource : public TObject {
 public:
  virtual Ref<TPixmap> GlyphPixels() = 0;  ///< or null for a glyph without pixels
  /// How far the pen moves after the glyph, in pixels.
  virtual float AdvanceWidth() = 0;
  /// The glyph picture's offset from the pen position and its size.
  virtual void Bounds(int& x, int& y, int& width, int& height) = 0;
};

/// A source font made by a font loader.
class TFontSource : public TObject {
 public:
  /// The style bits the font was loaded with (FontSmoothing ...).
  virtual int FontStyle() = 0;
  /// The distance between two lines, in pixels.
  virtual int LineHeight() = 0;
  /// The number of glyphs (indexes 0 to GlyphCount() - 1).
  virtual int GlyphCount() = 0;
  virtual int GlyphIndexOf(int code) = 0;  ///< -1 when the font has no glyph for the code
  /// The glyph at an index from GlyphIndexOf.
  virtual Ref<TGlyphSource> GlyphAt(int index) = 0;
};

/// A font loader, linked into the loader chain by RegisterFontLoader.
class TFontOpener : public TObject {
 public:
  /// The next loader of the chain, or null.
  Ref<TFontOpener> next;
  /// The font at url in a pixel size and style, or null when this loader cannot
  /// read it (the chain then asks the next one).
  virtual Ref<TFontSource> LoadFontSource(const String& url, int size, int style) = 0;
};

/// One glyph of a TGlyphFont, drawn through its image.
class TImageGlyph : public TObject {
 public:
  Ref<TImage> image;  ///< null for a glyph without pixels
  /// How far the pen moves after the glyph.
  float advance = 0;
  /// @{
  /// Offset of the picture from the pen position.
  int x = 0, y = 0;
  /// @}
  /// @{
  /// The size of the picture.
  int width = 0, height = 0;
  /// @}

  /// The glyph's image, or null for a glyph without pixels.
  virtual Ref<TImage> GlyphImage();
  /// The advance.
  virtual float AdvanceWidth();
  /// The picture's offset and size.
  virtual void Bounds(int& outX, int& outY, int& outWidth, int& outHeight);
};

/// An image font: what DrawString draws with (SetDrawFont).
class TGlyphFont : public TObject {
 public:
  Ref<TFontSource> source;  ///< null for the built-in font
  /// The glyphs made so far (null entries not yet made).
  Array<Ref<TImageGlyph>> glyphs;
  /// The image flags of the glyph images (filtered and mipmapped when smoothed).
  int imageFlags = 0;

  /// @{
  /// The source font's answers (the built-in font: style 0, 16-pixel lines, 256
  /// glyphs, a glyph per 8-bit code).
  virtual int FontStyle();
  virtual int LineHeight();
  virtual int GlyphCount();
  virtual int GlyphIndexOf(int code);
  /// @}
  /// The glyph, made on first request.
  virtual Ref<TImageGlyph> GlyphAt(int index);
  /// (x, y) is the pen position of the first glyph in screen space; ix..jy the
  /// current matrix, which the driver applies to every glyph quad.
  virtual void RenderString(const String& text, float x, float y, float ix, float iy, float jx, float jy);

  /// Null when no loader can open the font.
  static Ref<TGlyphFont> FromSource(const String& url, int size, int style);
  /// A new built-in 8x16 font made from "corvexfont.bin".
  static Ref<TGlyphFont> BuiltIn();
};

/// Links a loader at the front of the chain (once).
void RegisterFontLoader(TFontOpener* loader);
/// The first non-null answer of the loaders from the front of the chain.
Ref<TFontSource> LoadFontSource(const String& url, int size, int style);
/// The font at url through the loader chain (TGlyphFont::FromSource); null when
/// no loader can open it.
Ref<TGlyphFont> OpenImageFont(const String& url, int size, int style);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
