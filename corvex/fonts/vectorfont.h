/// @file
/// Vector fonts: font files FreeType reads (TrueType, OpenType, Type 1, BDF,
/// PCF ...) as a source for the image fonts. A font is opened by path, or by
/// url when the text has a protocol ("incbin::fonts/sans.ttf"), and sized in
/// pixels; each glyph is rendered on first request into a PIXFMT_A8 pixmap.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/array.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"
#include "corvex/vex2d/glyphfont.h"

/// FreeType's handles, without its headers.
struct FT_LibraryRec_;
struct FT_FaceRec_;

namespace cvx {

class TPixmap;

/// One glyph of a vector font, rendered by FreeType.
class TVectorGlyph : public TGlyphSource {
 public:
  Ref<TPixmap> pixels;  ///< null for a glyph without pixels (a space, a failed render)
  float advance = 0;    ///< pixels
  /// Placement of the bitmap relative to the pen position and the line's top.
  /// @{
  int x = 0, y = 0, width = 0, height = 0;
  /// @}

  Ref<TPixmap> GlyphPixels() override;
  float AdvanceWidth() override;
  void Bounds(int& outX, int& outY, int& outWidth, int& outHeight) override;
};

/// A font file opened through FreeType at one pixel size.
class TVectorFontSource : public TFontSource {
 public:
  FT_LibraryRec_* library = nullptr;  ///< one FreeType instance per font
  /// The FreeType face.
  FT_FaceRec_* face = nullptr;
  /// The style bits it was opened with.
  int style = 0;
  int lineHeight = 0;  ///< pixels, from the size metrics
  /// Pixels from the line's top to the baseline.
  int ascender = 0;
  int descender = 0;  ///< negative below the baseline
  /// The glyphs rendered so far (null entries not yet rendered).
  Array<Ref<TVectorGlyph>> glyphs;
  /// The whole font file when it was read through a url (FreeType reads the
  /// face from it for as long as the font lives).
  Array<std::uint8_t> fontData;

  ~TVectorFontSource() override;

  int FontStyle() override;
  int LineHeight() override;
  int GlyphCount() override;
  /// FreeType's glyph index for the character code, minus 1: -1 when the face has none.
  int GlyphIndexOf(int code) override;
  /// The glyph for an index of GlyphIndexOf, rendered on the first request;
  /// null outside 0 .. GlyphCount - 1.
  Ref<TGlyphSource> GlyphAt(int index) override;
};

/// Null when the font cannot be read or has no size at or below size pixels
/// (a bitmap font offers its nearest smaller strike), and for a file name
/// holding a 0 byte (it names no file).
Ref<TVectorFontSource> OpenVectorFont(const String& url, int size, int style);
/// The same from a whole font file in memory, which the font keeps.
Ref<TVectorFontSource> OpenVectorFontBytes(const Array<std::uint8_t>& bytes, int size, int style);

/// The font loader of this module, linked into the image fonts' loader chain.
class TVectorFontOpener : public TFontOpener {
 public:
  Ref<TFontSource> LoadFontSource(const String& url, int size, int style) override;
};

/// Runs the vector font module's initialiser: registers TVectorFontOpener once.
void InitVectorFonts();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
