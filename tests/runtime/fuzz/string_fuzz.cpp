// libFuzzer target: the String operations and the classic text functions on
// arbitrary texts and extreme positions. The input is a header (a mode byte and
// four numbers, each either raw or one of the extremes: 0, +-1, INT_MAX,
// INT_MIN, the text's length and its neighbours) and then up to three texts
// separated by FF bytes (the first as Latin-1 bytes or as UTF-8). Every result
// is checked against a plain model of what the header documents; a mismatch
// aborts, and so does any exception other than a TRuntimeError.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "corvex/runtime/classictext.h"
#include "corvex/runtime/startup.h"
#include "corvex/runtime/string.h"

namespace {

using namespace cvx;
using std::int32_t;
using std::int64_t;
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
// Results longer than this are not asked for: padding to a width of a few
// hundred million is a legitimate, huge string.
constexpr int64_t kLargestResult = 1 << 16;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "string_fuzz: %s\n", what);
  std::abort();
}

void Expect(bool ok, const char* what) {
  if (!ok) Fail(what);
}

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  // A number: raw, or one of the extremes and the neighbours of length.
  int32_t Number(int32_t length) {
    const std::uint8_t pick = Byte();
    std::uint32_t raw = 0;
    for (int i = 0; i < 4; ++i) raw = raw << 8 | Byte();
    switch (pick % 16) {
      case 0: return 0;
      case 1: return 1;
      case 2: return -1;
      case 3: return kMax;
      case 4: return kMin;
      case 5: return kMax - 1;
      case 6: return kMin + 1;
      case 7: return length;
      case 8: return length + 1;
      case 9: return length - 1;
      case 10: return -length;
      case 11: return static_cast<int32_t>(raw % 64) - 32;
      default: return static_cast<int32_t>(raw);
    }
  }
  std::string_view Rest() const { return {reinterpret_cast<const char*>(data_ + at_), size_ - at_}; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

std::u16string U(const String& s) { return std::u16string(s.Units(), s.Units() + s.Length()); }

// The model of Slice: units start..end-1, spaces outside the text.
std::u16string ModelSlice(const std::u16string& s, int64_t start, int64_t end) {
  std::u16string out;
  for (int64_t p = start; p < end; ++p)
    out.push_back(p >= 0 && p < static_cast<int64_t>(s.size()) ? s[static_cast<std::size_t>(p)] : u' ');
  return out;
}

int32_t ModelIndexOf(const std::u16string& s, const std::u16string& sub, int32_t start) {
  const int64_t n = static_cast<int64_t>(s.size()), m = static_cast<int64_t>(sub.size());
  for (int64_t i = start < 0 ? 0 : start; i + m <= n; ++i)
    if (s.compare(static_cast<std::size_t>(i), sub.size(), sub) == 0) return static_cast<int32_t>(i);
  return -1;
}

int32_t ModelLastIndexOf(const std::u16string& s, const std::u16string& sub, int32_t start) {
  const int64_t n = static_cast<int64_t>(s.size()), m = static_cast<int64_t>(sub.size());
  for (int64_t i = std::min(n - start, n - m); i >= 0; --i)
    if (s.compare(static_cast<std::size_t>(i), sub.size(), sub) == 0) return static_cast<int32_t>(i);
  return -1;
}

// A strict reading of OfUtf8's contract: sequences of two to four bytes with
// their continuation bytes decode (as two surrogates beyond U+FFFF, up to
// U+10FFFF); any other byte is one U+FFFD.
std::u16string ModelOfUtf8(std::string_view b) {
  std::u16string out;
  std::size_t i = 0;
  while (i < b.size()) {
    const unsigned c = static_cast<unsigned char>(b[i]);
    const int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < b.size();
    std::uint32_t value = extra > 0 ? c & (0x3Fu >> extra) : c;
    for (int k = 1; ok && k <= extra; ++k) {
      const unsigned cont = static_cast<unsigned char>(b[i + static_cast<std::size_t>(k)]);
      if ((cont & 0xC0) != 0x80) ok = false;
      value = value << 6 | (cont & 0x3F);
    }
    if (ok && value > 0x10FFFF) ok = false;
    if (!ok) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(extra) + 1;
    if (value >= 0x10000) {
      value -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(value));
    }
  }
  return out;
}

// AsDouble hands the C library the low byte of every unit (string_test.cpp
// pins that U+0131 reads as "1"), so a digit is a unit whose low byte is one.
bool HasAsciiDigit(const String& s) {
  for (int32_t i = 0; i < s.Length(); ++i)
    if ((s.Units()[i] & 0xFF) >= u'0' && (s.Units()[i] & 0xFF) <= u'9') return true;
  return false;
}

void CheckNumbers(const String& s, Input& in) {
  (void)s.AsInt();
  (void)s.AsLong();
  (void)s.AsFloat();
  const double d = s.AsDouble();
  // A number needs a digit: a text without one reads as 0 (or as an infinity
  // or NaN that atof spells out in letters).
  if (std::isfinite(d) && d != 0 && !HasAsciiDigit(s)) Fail("a text without a digit read as a nonzero number");
  // Writing a number and reading it back gives it again.
  const int32_t i = in.Number(s.Length());
  int64_t l = static_cast<int64_t>(static_cast<std::uint32_t>(in.Number(0))) << 32 |
              static_cast<std::uint32_t>(in.Number(0));
  Expect(String::OfInt(i).AsInt() == i, "OfInt then AsInt changed the value");
  Expect(String::OfLong(l).AsLong() == l, "OfLong then AsLong changed the value");
  Expect(("$"_s + HexText(i)).AsInt() == i, "HexText then AsInt changed the value");
  Expect(("%"_s + BinaryText(i)).AsInt() == i, "BinaryText then AsInt changed the value");
  Expect(("$"_s + HexText64(l)).AsLong() == l, "HexText64 then AsLong changed the value");
  Expect(("%"_s + BinaryText64(l)).AsLong() == l, "BinaryText64 then AsLong changed the value");
  Expect(HexText(i).Length() == 8 && BinaryText(i).Length() == 32, "the fixed-width forms have the wrong width");
  Expect((" -"_s + String::OfInt(i < 0 ? -(i + 1) : i)).AsInt() == -(i < 0 ? -(i + 1) : i),
         "a signed text after spaces read differently");
  double dv;
  std::memcpy(&dv, &l, sizeof dv);
  float fv;
  std::memcpy(&fv, &i, sizeof fv);
  const double dback = String::OfDouble(dv).AsDouble();
  Expect(std::isnan(dv) ? std::isnan(dback) : dback == dv, "OfDouble then AsDouble changed the value");
  const float fback = String::OfFloat(fv).AsFloat();
  Expect(std::isnan(fv) ? std::isnan(fback) : fback == fv, "OfFloat then AsFloat changed the value");
}

void CheckCase(const String& s) {
  const String lower = s.Lowered(), upper = s.Uppered();
  Expect(lower.Length() == s.Length() && upper.Length() == s.Length(), "a case change changed the length");
  for (int32_t i = 0; i < s.Length(); ++i) {
    const char16_t c = s.Units()[i];
    const char16_t lo = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    const char16_t up = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
    Expect(lower.Units()[i] == lo && upper.Units()[i] == up, "a case change touched more than A-Z / a-z");
  }
  const String stripped = s.Stripped();
  Expect(stripped.Length() <= s.Length(), "Stripped made the text longer");
  if (!stripped.IsEmpty())
    Expect(stripped.Units()[0] > 32 && stripped.Units()[stripped.Length() - 1] > 32, "Stripped left a space");
  const AnsiText ansi = s.AsAnsi();
  const std::string std = s.ToStd();
  Expect(static_cast<int32_t>(std.size()) == s.Length() && ansi[s.Length()] == 0, "AsAnsi / ToStd have the wrong size");
  for (int32_t i = 0; i < s.Length(); ++i)
    Expect(ansi[i] == static_cast<char>(s.Units()[i] & 0xFF) && std[static_cast<std::size_t>(i)] == ansi[i],
           "AsAnsi / ToStd lost a low byte");
}

void CheckUtf8(const String& s, std::string_view raw) {
  Expect(String::OfUtf8(s.ToUtf8()) == s, "a text through UTF-8 and back changed");
  Expect(U(String::OfUtf8(raw)) == ModelOfUtf8(raw), "OfUtf8 decoded bytes otherwise than documented");
}

void CheckSearch(const String& s, const String& sub, const String& with, Input& in) {
  const std::u16string us = U(s), usub = U(sub), uwith = U(with);
  const int32_t start = in.Number(s.Length());
  // The models are quadratic; keep them to texts they finish quickly.
  if (static_cast<int64_t>(us.size()) * (usub.size() + 1) > 4000000) return;
  const int32_t at = s.IndexOf(sub, start);
  Expect(at == ModelIndexOf(us, usub, start), "IndexOf found another position");
  const int32_t last = s.LastIndexOf(sub, start);
  Expect(last == ModelLastIndexOf(us, usub, start), "LastIndexOf found another position");
  const int32_t found = FindText(s, sub, start);
  Expect(found == ModelIndexOf(us, usub, static_cast<int32_t>(std::max<int64_t>(int64_t{start} - 1, kMin))) + 1,
         "FindText found another position");
  // Substituted: predicted length first, so a huge result is not asked for.
  if (!usub.empty()) {
    int64_t count = 0;
    for (int32_t i = ModelIndexOf(us, usub, 0); i >= 0; i = ModelIndexOf(us, usub, i + static_cast<int32_t>(usub.size())))
      ++count;
    const int64_t length = static_cast<int64_t>(us.size()) + count * (static_cast<int64_t>(uwith.size()) - usub.size());
    if (length <= kLargestResult) {
      std::u16string model;
      std::size_t from = 0;
      for (std::size_t i; (i = us.find(usub, from)) != std::u16string::npos; from = i + usub.size())
        model += us.substr(from, i - from) + uwith;
      model += us.substr(from);
      Expect(U(s.Substituted(sub, with)) == model, "Substituted gave another text");
      Expect(U(ReplaceText(s, sub, with)) == model, "ReplaceText gave another text");
    }
  } else {
    Expect(s.Substituted(sub, with) == s, "Substituting an empty text changed the text");
  }
}

void CheckCuts(const String& s, Input& in) {
  const std::u16string us = U(s);
  const int64_t len = s.Length();
  const int32_t a = in.Number(s.Length()), b = in.Number(s.Length());
  const int64_t sliceLength = int64_t{b} - a;
  if (sliceLength <= kLargestResult) {
    const String slice = Slice(s, a, b);
    Expect(U(slice) == ModelSlice(us, a, b), "Slice gave another text");
  }
  // MidText: count units from 1-based pos, the rest for a negative count (then
  // padded with spaces from a position before the text, as Slice pads; a
  // count of 0 or more only takes what lies in the text).
  if (b >= 0 || int64_t{a} - 1 >= -kLargestResult) {
    std::u16string model;
    if (a <= len) {
      if (b < 0) {
        model = ModelSlice(us, int64_t{a} - 1, len);
      } else {
        const int64_t start = std::max<int64_t>(int64_t{a} - 1, 0);
        const int64_t end = std::min<int64_t>(len, int64_t{a} - 1 + b);
        if (end > start) model = us.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
      }
    }
    const String mid = MidText(s, a, b);
    Expect(U(mid) == model, "MidText gave another text");
  }
  {
    const int64_t n = std::clamp<int64_t>(a, 0, len);
    Expect(U(LeftText(s, a)) == us.substr(0, static_cast<std::size_t>(n)), "LeftText gave another text");
    Expect(U(RightText(s, a)) == us.substr(static_cast<std::size_t>(len - n)), "RightText gave another text");
  }
  if (a <= kLargestResult) {
    const int64_t width = a < 0 ? 0 : a;
    const String padded = PadToWidth(s, a);
    Expect(U(padded) == ModelSlice(us, 0, width), "PadToWidth gave another text");
    const String aligned = AlignRight(s, a);
    Expect(U(aligned) == ModelSlice(us, len - width, len), "AlignRight gave another text");
  }
  if (b >= kMin + 1 && b <= kMax) (void)OfChar(b);
  Expect(OfChar(a).Length() == 1 && OfChar(a).Units()[0] == static_cast<char16_t>(a), "OfChar lost the low bits");
  try {
    (void)s[a];
    Expect(a >= 0 && a < len, "an index outside the text did not raise");
  } catch (const TRuntimeError&) {
    Expect(a < 0 || a >= len, "an index inside the text raised");
  }
}

void CheckJoin(const String& a, const String& b) {
  const String joined = a + b;
  Expect(joined.Length() == a.Length() + b.Length(), "a + b has the wrong length");
  String grown = a;
  grown += b;
  grown += a;
  Expect(U(grown) == U(a) + U(b) + U(a), "+= gave another text");
  const int32_t ab = String::Compare(a, b), ba = String::Compare(b, a);
  Expect((ab < 0) == (ba > 0) && (ab == 0) == (ba == 0), "Compare is not antisymmetric");
  Expect((ab == 0) == (U(a) == U(b)), "Compare disagrees with equality");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  cvx::RuntimeStartup(*argc, *argv);
  cvx::InitClassicText();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  {
    Input header(data, size < 48 ? size : 48);
    const std::uint8_t mode = header.Byte();
    std::string_view rest = size > 48 ? std::string_view(reinterpret_cast<const char*>(data + 48), size - 48) : "";
    std::string_view parts[3];
    for (auto& part : parts) {
      const std::size_t cut = rest.find('\xFF');
      part = rest.substr(0, cut);
      rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    }
    const String s = (mode & 1) ? String::OfUtf8(parts[0]) : String(parts[0]);
    const String sub = (mode & 2) ? String::OfUtf8(parts[1]) : String(parts[1]);
    const String with = String(parts[2]);
    try {
      CheckNumbers(s, header);
      CheckCase(s);
      CheckUtf8(s, parts[0]);
      CheckSearch(s, sub, with, header);
      CheckCuts(s, header);
      CheckJoin(s, sub);
    } catch (const TRuntimeError& error) {
      std::fprintf(stderr, "string_fuzz: unexpected runtime error: %s\n", error.what());
      std::abort();
    }
  }
  cvx::ReclaimMemory();
  return 0;
}
