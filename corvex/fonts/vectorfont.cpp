// Font faces through FreeType, glyphs rendered once into alpha pixmaps.
#include "corvex/fonts/vectorfont.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H

#include <algorithm>
#include <cstring>
#include <string>

#include "corvex/pixmap/pixelformat.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/error.h"
#include "corvex/runtime/filesystemname.h"
#include "corvex/runtime/log.h"
#include "corvex/stream/url.h"
#include "corvex/vex2d/vex2d.h"

namespace cvx {
namespace {

// Above FreeType's 16-bit pixels-per-em nothing can be sized; starting the
// search lower keeps a huge request from stepping down a billion sizes.
constexpr int kLargestPixelSize = 0xFFFF;

// The address of the bitmap's top row; a negative pitch means rows run upward in memory.
const std::uint8_t* TopRow(const FT_Bitmap& bitmap) {
  const std::uint8_t* buffer = bitmap.buffer;
  if (bitmap.pitch < 0) buffer += static_cast<std::ptrdiff_t>(bitmap.rows - 1) * -bitmap.pitch;
  return buffer;
}

// 8-bit grey levels 0 .. levels - 1 as alpha 0 .. 255.
Ref<TPixmap> AlphaFromGrey(const FT_Bitmap& bitmap, int levels) {
  const int width = static_cast<int>(bitmap.width), rows = static_cast<int>(bitmap.rows);
  Ref<TPixmap> pixmap = TPixmap::Allocate(width, rows, PIXFMT_A8, 4);
  const std::uint8_t* row = TopRow(bitmap);
  for (int r = 0; r < rows; ++r, row += bitmap.pitch) {
    std::uint8_t* out = pixmap->PixelAddress(0, r);
    if (levels == 256) {
      std::memcpy(out, row, static_cast<std::size_t>(width));
    } else {
      for (int x = 0; x < width; ++x)
        out[x] = static_cast<std::uint8_t>(std::min(row[x], std::uint8_t(levels - 1)) * 255 / (levels - 1));
    }
  }
  return pixmap;
}

// One bit per pixel, most significant bit first: 255 where set, 0 elsewhere.
Ref<TPixmap> AlphaFromMono(const FT_Bitmap& bitmap) {
  const int width = static_cast<int>(bitmap.width), rows = static_cast<int>(bitmap.rows);
  Ref<TPixmap> pixmap = TPixmap::Allocate(width, rows, PIXFMT_A8, 4);
  const std::uint8_t* row = TopRow(bitmap);
  for (int r = 0; r < rows; ++r, row += bitmap.pitch) {
    std::uint8_t* out = pixmap->PixelAddress(0, r);
    for (int x = 0; x < width; ++x) out[x] = (row[x / 8] & (0x80 >> (x % 8))) ? 255 : 0;
  }
  return pixmap;
}

// Any other bitmap FreeType hands back (2- and 4-bit grey, colour) goes
// through its own conversion to 8-bit grey first.
Ref<TPixmap> AlphaFromOther(FT_Library library, const FT_Bitmap& bitmap) {
  FT_Bitmap grey;
  FT_Bitmap_Init(&grey);
  Ref<TPixmap> pixmap;
  if (FT_Bitmap_Convert(library, &bitmap, &grey, 1) == 0 && grey.width == bitmap.width && grey.rows == bitmap.rows) {
    // Colour bitmaps convert to full-range coverage; the others keep their level count.
    const int levels = bitmap.pixel_mode == FT_PIXEL_MODE_BGRA ? 256 : std::max(2, static_cast<int>(grey.num_grays));
    pixmap = AlphaFromGrey(grey, levels);
  }
  FT_Bitmap_Done(library, &grey);
  return pixmap;
}

}  // namespace

// ---- TVectorGlyph -------------------------------------------------------------

Ref<TPixmap> TVectorGlyph::GlyphPixels() { return pixels; }
float TVectorGlyph::AdvanceWidth() { return advance; }
void TVectorGlyph::Bounds(int& outX, int& outY, int& outWidth, int& outHeight) {
  outX = x;
  outY = y;
  outWidth = width;
  outHeight = height;
}

// ---- TVectorFontSource --------------------------------------------------------

TVectorFontSource::~TVectorFontSource() {
  if (face) FT_Done_Face(face);
  if (library) FT_Done_FreeType(library);
}

int TVectorFontSource::FontStyle() { return style; }
int TVectorFontSource::LineHeight() { return lineHeight; }
int TVectorFontSource::GlyphCount() { return glyphs ? glyphs->Length() : 0; }

int TVectorFontSource::GlyphIndexOf(int code) {
  if (!face || code < 0) return -1;
  return static_cast<int>(FT_Get_Char_Index(face, static_cast<FT_ULong>(code))) - 1;
}

Ref<TGlyphSource> TVectorFontSource::GlyphAt(int index) {
  if (!face || index < 0 || index >= GlyphCount()) return nullptr;
  if (Ref<TVectorGlyph> made = (*glyphs)[index]) return made;
  Ref<TVectorGlyph> glyph = new TVectorGlyph();
  (*glyphs)[index] = glyph;
  if (FT_Load_Glyph(face, static_cast<FT_UInt>(index + 1), FT_LOAD_RENDER) != 0) return glyph;
  FT_GlyphSlot slot = face->glyph;
  const FT_Bitmap& bitmap = slot->bitmap;
  glyph->x = slot->bitmap_left;
  glyph->y = ascender - slot->bitmap_top;
  glyph->width = static_cast<int>(bitmap.width);
  glyph->height = static_cast<int>(bitmap.rows);
  glyph->advance = static_cast<float>(slot->advance.x / 64);
  if (glyph->width == 0 || glyph->height == 0 || !bitmap.buffer) return glyph;
  try {
    switch (bitmap.pixel_mode) {
      case FT_PIXEL_MODE_GRAY:
        glyph->pixels =
            AlphaFromGrey(bitmap, bitmap.num_grays >= 2 && bitmap.num_grays <= 256 ? bitmap.num_grays : 256);
        break;
      case FT_PIXEL_MODE_MONO:
        glyph->pixels = AlphaFromMono(bitmap);
        break;
      default:
        glyph->pixels = AlphaFromOther(library, bitmap);
        break;
    }
  } catch (...) {
    // A bitmap too large for a pixmap leaves the glyph without pixels.
    glyph->pixels = nullptr;
  }
  return glyph;
}

// ---- Opening --------------------------------------------------------------------

namespace {

// The face's size nearest at or below size pixels and the font made from it;
// null when there is none. The font already holds the library and face.
Ref<TVectorFontSource> SizeFont(const Ref<TVectorFontSource>& font, int size) {
  FT_Face face = font->face;
  // A bitmap-only face sizes only to one of its strikes: requests above the
  // largest one step down to it at once.
  int limit = kLargestPixelSize;
  if (!FT_IS_SCALABLE(face)) {
    limit = 0;
    for (int i = 0; i < face->num_fixed_sizes; ++i)
      limit = std::max(limit, static_cast<int>((face->available_sizes[i].y_ppem + 32) >> 6));
  }
  size = std::min(size, limit);
  while (size > 0 && FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size)) != 0) --size;
  if (size <= 0 || !face->size) {  // the face and library go with the font
    LogWarning("OpenVectorFont: the font \"%s\" has no pixel size to offer",
               face->family_name ? face->family_name : "?");
    return nullptr;
  }

  const FT_Size_Metrics& metrics = face->size->metrics;
  font->lineHeight = static_cast<int>(metrics.height >> 6);
  font->ascender = static_cast<int>(metrics.ascender >> 6);
  font->descender = static_cast<int>(metrics.descender >> 6);
  font->glyphs = NewArray<Ref<TVectorGlyph>>(static_cast<std::int32_t>(std::max<FT_Long>(face->num_glyphs, 0)));
  return font;
}

// FreeType's name for an error when it was built with them, else its number.
std::string FreeTypeReason(FT_Error error) {
  if (const char* text = FT_Error_String(error)) return text;
  return "FreeType error " + std::to_string(error);
}

Ref<TVectorFontSource> NewFont(int style) {
  Ref<TVectorFontSource> font = new TVectorFontSource();
  font->style = style;
  if (const FT_Error error = FT_Init_FreeType(&font->library); error != 0) {
    font->library = nullptr;
    LogWarning("OpenVectorFont: FreeType did not start: %s", FreeTypeReason(error).c_str());
    return nullptr;
  }
  return font;
}

}  // namespace

Ref<TVectorFontSource> OpenVectorFontBytes(const Array<std::uint8_t>& bytes, int size, int style) {
  if (!bytes || bytes->Length() == 0 || size <= 0) {
    LogWarning("OpenVectorFont: %s", size <= 0 ? "the pixel size must be above 0" : "no font bytes were given");
    return nullptr;
  }
  Ref<TVectorFontSource> font = NewFont(style);
  if (!font) return nullptr;
  font->fontData = bytes;
  FT_Face face = nullptr;
  if (const FT_Error error = FT_New_Memory_Face(font->library, bytes->Data(), bytes->Length(), 0, &face); error != 0) {
    LogWarning("OpenVectorFont: %d bytes are not a font FreeType reads: %s", bytes->Length(),
               FreeTypeReason(error).c_str());
    return nullptr;
  }
  font->face = face;
  return SizeFont(font, size);
}

Ref<TVectorFontSource> OpenVectorFont(const String& url, int size, int style) {
  if (url.IsEmpty() || size <= 0) {
    LogWarning("OpenVectorFont: %s", url.IsEmpty() ? "no font file was named" : "the pixel size must be above 0");
    return nullptr;
  }
  if (url.IndexOf("::"_s) > 0) {
    Array<std::uint8_t> bytes;
    try {
      bytes = UrlLoadBytes(url);
    } catch (const TRuntimeError&) {
      return nullptr;  // the url does not open or cannot be read
    }
    return OpenVectorFontBytes(bytes, size, style);
  }
  // FreeType reads the name only up to a 0 byte, so it would open another file.
  if (!IsWholeFileSystemName(url)) {
    LogWarning("OpenVectorFont: the name holds a 0 byte, so it names no file");
    return nullptr;
  }
  Ref<TVectorFontSource> font = NewFont(style);
  if (!font) return nullptr;
  const std::string path = FileSystemName(url.Substituted("\\"_s, "/"_s));
  FT_Face face = nullptr;
  if (const FT_Error error = FT_New_Face(font->library, path.c_str(), 0, &face); error != 0) {
    const char* why = error == FT_Err_Cannot_Open_Resource ? "the file does not open" : "FreeType cannot read it";
    LogWarning("OpenVectorFont \"%s\": %s (%s)", path.c_str(), why, FreeTypeReason(error).c_str());
    return nullptr;
  }
  font->face = face;
  return SizeFont(font, size);
}

Ref<TFontSource> TVectorFontOpener::LoadFontSource(const String& url, int size, int style) {
  if (url.IsEmpty()) return nullptr;
  return OpenVectorFont(url, size, style);
}

void InitVectorFonts() {
  static bool done = false;
  if (done) return;
  done = true;
  InitVex2D();
  InitStream();
  InitPixmap();
  RegisterFontLoader(new TVectorFontOpener());
}

}  // namespace cvx
