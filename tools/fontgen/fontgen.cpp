// fontgen: makes the built-in 8x16 glyph table from a PSF console font.
//
//   fontgen <font.psf[.gz]> <table.bin>
//
// The table holds the characters 32 to 127 as 16 rows of 96 bytes: byte
// r * 96 + c is pixel row r (0 = top) of character 32 + c, and bit k is pixel
// column k with bit 0 the leftmost column (PSF stores the leftmost column in
// the top bit, so every row byte is mirrored). The space cell is left empty.
// Characters are looked up through the font's Unicode table when it has one,
// otherwise by glyph index; a character the font lacks stays empty.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kFirst = 32;
constexpr int kCount = 96;
constexpr int kRows = 16;

struct Font {
  int glyphCount = 0;
  int bytesPerGlyph = 0;
  int width = 0;
  int height = 0;
  const std::uint8_t* glyphs = nullptr;
  std::map<std::uint32_t, int> glyphOfCode;  // from the Unicode table
};

bool ReadAll(const char* path, std::vector<std::uint8_t>& out) {
  gzFile file = gzopen(path, "rb");  // reads plain files as they are
  if (!file) return false;
  std::uint8_t buffer[65536];
  int n;
  while ((n = gzread(file, buffer, sizeof buffer)) > 0) out.insert(out.end(), buffer, buffer + n);
  bool ok = n == 0;
  gzclose(file);
  return ok;
}

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// PSF1 tables: per glyph, 16-bit little-endian code points; 0xFFFE starts a
// multi-character sequence (ignored), 0xFFFF ends the glyph's entry.
void ReadPsf1Table(const std::uint8_t* p, const std::uint8_t* end, Font& font) {
  int glyph = 0;
  bool inSequence = false;
  for (; p + 1 < end && glyph < font.glyphCount; p += 2) {
    std::uint32_t unit = p[0] | (p[1] << 8);
    if (unit == 0xFFFF) {
      ++glyph;
      inSequence = false;
    } else if (unit == 0xFFFE) {
      inSequence = true;
    } else if (!inSequence) {
      font.glyphOfCode.emplace(unit, glyph);
    }
  }
}

// PSF2 tables: per glyph, UTF-8 code points; 0xFE starts a sequence, 0xFF ends the entry.
void ReadPsf2Table(const std::uint8_t* p, const std::uint8_t* end, Font& font) {
  int glyph = 0;
  bool inSequence = false;
  while (p < end && glyph < font.glyphCount) {
    std::uint8_t b = *p;
    if (b == 0xFF) {
      ++glyph;
      inSequence = false;
      ++p;
      continue;
    }
    if (b == 0xFE) {
      inSequence = true;
      ++p;
      continue;
    }
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    std::uint32_t code = extra == 0 ? b : b & (0x3F >> extra);
    ++p;
    for (int i = 0; i < extra && p < end; ++i, ++p) code = (code << 6) | (*p & 0x3F);
    if (!inSequence) font.glyphOfCode.emplace(code, glyph);
  }
}

bool ParseFont(const std::vector<std::uint8_t>& data, Font& font, std::string& error) {
  const std::uint8_t* base = data.data();
  const std::uint8_t* end = base + data.size();
  if (data.size() >= 4 && base[0] == 0x36 && base[1] == 0x04) {
    int mode = base[2];
    font.glyphCount = (mode & 1) ? 512 : 256;
    font.bytesPerGlyph = base[3];
    font.width = 8;
    font.height = base[3];
    font.glyphs = base + 4;
    std::size_t need = 4 + static_cast<std::size_t>(font.glyphCount) * font.bytesPerGlyph;
    if (data.size() < need) return error = "truncated PSF1 font", false;
    if (mode & 6) ReadPsf1Table(base + need, end, font);
    return true;
  }
  if (data.size() >= 32 && Le32(base) == 0x864AB572u) {
    std::uint32_t headerSize = Le32(base + 8), flags = Le32(base + 12);
    font.glyphCount = static_cast<int>(Le32(base + 16));
    font.bytesPerGlyph = static_cast<int>(Le32(base + 20));
    font.height = static_cast<int>(Le32(base + 24));
    font.width = static_cast<int>(Le32(base + 28));
    if (font.glyphCount <= 0 || font.glyphCount > 65536 || font.bytesPerGlyph <= 0 || font.bytesPerGlyph > 4096)
      return error = "implausible PSF2 header", false;
    std::size_t need = headerSize + static_cast<std::size_t>(font.glyphCount) * font.bytesPerGlyph;
    if (headerSize < 32 || data.size() < need) return error = "truncated PSF2 font", false;
    font.glyphs = base + headerSize;
    if (flags & 1) ReadPsf2Table(base + need, end, font);
    return true;
  }
  return error = "not a PSF font", false;
}

std::uint8_t Mirror(std::uint8_t b) {
  std::uint8_t r = 0;
  for (int k = 0; k < 8; ++k)
    if (b & (0x80 >> k)) r |= static_cast<std::uint8_t>(1 << k);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fontgen <font.psf[.gz]> <table.bin>\n");
    return 2;
  }
  std::vector<std::uint8_t> data;
  if (!ReadAll(argv[1], data)) {
    std::fprintf(stderr, "fontgen: cannot read %s\n", argv[1]);
    return 1;
  }
  Font font;
  std::string error;
  if (!ParseFont(data, font, error)) {
    std::fprintf(stderr, "fontgen: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  if (font.width != 8 || font.height != kRows || font.bytesPerGlyph != kRows) {
    std::fprintf(stderr, "fontgen: %s is %dx%d, an 8x16 font is needed\n", argv[1], font.width, font.height);
    return 1;
  }
  std::vector<std::uint8_t> table(kRows * kCount, 0);
  int missing = 0;
  for (int c = 1; c < kCount; ++c) {  // cell 0 (space) stays empty
    std::uint32_t code = static_cast<std::uint32_t>(kFirst + c);
    int glyph = static_cast<int>(code);
    if (!font.glyphOfCode.empty()) {
      auto found = font.glyphOfCode.find(code);
      glyph = found == font.glyphOfCode.end() ? -1 : found->second;
    }
    if (glyph < 0 || glyph >= font.glyphCount) {
      ++missing;
      continue;
    }
    const std::uint8_t* bits = font.glyphs + static_cast<std::size_t>(glyph) * font.bytesPerGlyph;
    for (int r = 0; r < kRows; ++r) table[r * kCount + c] = Mirror(bits[r]);
  }
  FILE* out = std::fopen(argv[2], "wb");
  if (!out || std::fwrite(table.data(), 1, table.size(), out) != table.size() || std::fclose(out) != 0) {
    std::fprintf(stderr, "fontgen: cannot write %s\n", argv[2]);
    return 1;
  }
  std::printf("fontgen: wrote %zu bytes to %s (%d characters not in the font, left empty)\n", table.size(), argv[2],
              missing);
  return 0;
}
