#include "corvex/runtime/string.h"

#include <locale.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

#include "corvex/runtime/array.h"
#include "corvex/runtime/blocks.h"

namespace cvx {

namespace detail {
const TStringBody* appendBody = nullptr;
std::int32_t appendRoom = 0;
}  // namespace detail

namespace {

constexpr std::int64_t kLongestString = (std::numeric_limits<std::int32_t>::max() - 64) / 2;

// Numbers are always written and read with "." as the decimal point, whatever
// locale a library may have switched the program to.
locale_t ClassicLocale() {
  static locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return classic;
}

class ClassicNumbers {
 public:
  ClassicNumbers() : saved_(ClassicLocale() ? uselocale(ClassicLocale()) : static_cast<locale_t>(nullptr)) {}
  ~ClassicNumbers() {
    if (saved_) uselocale(saved_);
  }
  ClassicNumbers(const ClassicNumbers&) = delete;
  ClassicNumbers& operator=(const ClassicNumbers&) = delete;

 private:
  locale_t saved_;
};

// The block bytes a body of the given length counts as.
constexpr std::ptrdiff_t BodyBytes(std::int64_t length) {
  return static_cast<std::ptrdiff_t>(sizeof(TStringBody)) + 2 * static_cast<std::ptrdiff_t>(length);
}

// The units a block of the given bytes holds after the header.
std::int32_t UnitsIn(std::ptrdiff_t bytes) {
  return static_cast<std::int32_t>(std::min<std::ptrdiff_t>((bytes - BodyBytes(0)) / 2, kLongestString));
}

// The block sizes that the room codes of a small body made by += name (code 0:
// the body's own size class). Each step about doubles the room, and the
// largest is the largest small block.
constexpr std::ptrdiff_t kRoomBytes[4] = {0, 64, 128, blocks::kLargestSmallBlock};

// The shared empty string: a static body that is never freed.
TStringBody& EmptyBody() {
  // Never destroyed: globals may still hold it while the program ends.
  alignas(TStringBody) static unsigned char buffer[sizeof(TStringBody)];
  static TStringBody* body = ::new (buffer) TStringBody(TObject::StaticTag{}, kSharedCount, 0);
  return *body;
}

// A new string of the given length, its units filled by the caller.
// Zero length gives the shared empty string.
String MakeString(std::int64_t length, char16_t*& units) {
  if (length <= 0) {
    units = nullptr;
    return String();
  }
  // The block size (header + 2 * length) must stay a valid allocation size.
  if (length > kLongestString) throw TRuntimeError("String too long");
  TStringBody* body = TStringBody::Allocate(static_cast<std::int32_t>(length));
  units = body->MutableUnits();
  return String(body);
}

String FromBytes(const unsigned char* bytes, std::int32_t count) {
  char16_t* units;
  String s = MakeString(count, units);
  for (std::int32_t i = 0; i < count; ++i) units[i] = bytes[i];
  return s;
}

template <class Int>
String DecimalText(Int value, const char* minText) {
  using Unsigned = std::make_unsigned_t<Int>;
  if (value == std::numeric_limits<Int>::min()) return String(minText);
  char digits[24];
  int n = 0;
  Unsigned magnitude = value < 0 ? static_cast<Unsigned>(-value) : static_cast<Unsigned>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  char text[26];
  int t = 0;
  if (value < 0) text[t++] = '-';
  while (n) text[t++] = digits[--n];
  return String(std::string_view(text, static_cast<std::size_t>(t)));
}

// %binary, $hex or decimal after optional white space and sign; wraps on overflow.
template <class Int>
Int ParseInteger(const String& s) {
  using Unsigned = std::make_unsigned_t<Int>;
  const char16_t* u = s.Units();
  std::int32_t n = s.Length(), i = 0;
  while (i < n && u[i] < 256 && std::isspace(static_cast<unsigned char>(u[i]))) ++i;
  if (i >= n) return 0;
  char16_t first = u[i];
  if (first == '+' || first == '-') ++i;
  if (i >= n) return 0;
  Unsigned value = 0;
  if (u[i] == '%') {
    for (++i; i < n && (u[i] == '0' || u[i] == '1'); ++i) value = value * 2 + (u[i] - '0');
  } else if (u[i] == '$') {
    for (++i; i < n; ++i) {
      char16_t c = u[i];
      int digit;
      if (c >= '0' && c <= '9')
        digit = c - '0';
      else if (c >= 'a' && c <= 'f')
        digit = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        digit = c - 'A' + 10;
      else
        break;
      value = value * 16 + static_cast<Unsigned>(digit);
    }
  } else {
    for (; i < n && u[i] >= '0' && u[i] <= '9'; ++i) value = value * 10 + (u[i] - '0');
  }
  if (first == '-') value = static_cast<Unsigned>(0) - value;
  return static_cast<Int>(value);
}

bool MatchesAt(const char16_t* s, const char16_t* sub, std::int32_t subLength) {
  return std::memcmp(s, sub, sizeof(char16_t) * static_cast<std::size_t>(subLength)) == 0;
}

}  // namespace

// ---- TStringBody ---------------------------------------------------------------

TStringBody* TStringBody::Allocate(std::int32_t length) {
  void* block = TObject::operator new(sizeof(TStringBody) + sizeof(char16_t) * static_cast<std::size_t>(length));
  return ::new (block) TStringBody(length, 0);
}

TStringBody* TStringBody::AllocateWithRoom(std::int32_t length, std::int64_t roomLength, std::int32_t& roomUnits) {
  const std::ptrdiff_t size = BodyBytes(length);
  const std::ptrdiff_t wanted = BodyBytes(std::clamp<std::int64_t>(roomLength, length, kLongestString));
  if (size <= blocks::kLargestSmallBlock) {
    // The smallest room size that holds what is wanted; the largest is the
    // largest small block, which holds any small size.
    std::uint32_t code = 1;
    while (code < 3 && kRoomBytes[code] < wanted) ++code;
    void* block = blocks::AllocateObjectWithRoom(static_cast<std::size_t>(size), static_cast<std::size_t>(kRoomBytes[code]));
    roomUnits = UnitsIn(kRoomBytes[code]);
    return ::new (block) TStringBody(length, code);
  }
  void* block = blocks::AllocateObjectWithRoom(static_cast<std::size_t>(size), static_cast<std::size_t>(wanted));
  roomUnits = UnitsIn(blocks::LargeRoom(block));
  return ::new (block) TStringBody(length, 0);
}

void TStringBody::operator delete(TStringBody* body, std::destroying_delete_t) {
  const std::ptrdiff_t size = BodyBytes(body->Length());
  const std::ptrdiff_t room = kRoomBytes[body->lengthWord_ >> kRoomShift];
  if (body == detail::appendBody) detail::appendBody = nullptr;
  body->~TStringBody();
  blocks::FreeObjectWithRoom(body, static_cast<std::size_t>(size), static_cast<std::size_t>(room));
}

String TStringBody::ToString() { return String(this); }

std::intptr_t TStringBody::Compare(TObject* other) {
  if (auto* text = dynamic_cast<TStringBody*>(other)) return String::Compare(String(this), String(text));
  return TObject::Compare(other);
}

// ---- String --------------------------------------------------------------------

String::String() noexcept : body_(&EmptyBody()) {}
String::String(TStringBody* body) noexcept : body_(body ? body : &EmptyBody()) {}
String::String(Ref<TStringBody> body) noexcept : body_(body ? std::move(body) : Ref<TStringBody>(&EmptyBody())) {}
String::String(const char* ansi) : String(OfAnsi(ansi)) {}
String::String(std::string_view bytes)
    : String(FromBytes(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<std::int32_t>(bytes.size()))) {
}

char16_t String::operator[](std::int32_t i) const {
  if (i < 0 || i >= Length()) ThrowArrayIndexError();
  return Units()[i];
}

// Positions are compared as n - m and worked out in 64 bits, so a start near
// either end of the int range finds nothing instead of wrapping into the text.
std::int32_t String::IndexOf(const String& sub, std::int32_t start) const {
  std::int32_t n = Length(), m = sub.Length();
  if (start < 0) start = 0;
  for (std::int32_t i = start; i <= n - m; ++i) {
    if (MatchesAt(Units() + i, sub.Units(), m)) return i;
  }
  return -1;
}

std::int32_t String::LastIndexOf(const String& sub, std::int32_t start) const {
  std::int32_t n = Length(), m = sub.Length();
  std::int64_t from = std::min<std::int64_t>(static_cast<std::int64_t>(n) - start, n - m);
  if (from < 0) return -1;
  for (auto i = static_cast<std::int32_t>(from); i >= 0; --i) {
    if (MatchesAt(Units() + i, sub.Units(), m)) return i;
  }
  return -1;
}

String String::Stripped() const {
  std::int32_t n = Length(), first = 0, last = n;
  while (first < n && Units()[first] <= 32) ++first;
  while (last > first && Units()[last - 1] <= 32) --last;
  if (first == 0 && last == n) return *this;
  return Slice(*this, first, last);
}

String String::Substituted(const String& find, const String& with) const {
  std::int32_t m = find.Length();
  if (m == 0) return *this;
  std::int32_t at = IndexOf(find, 0);
  if (at < 0) return *this;
  // The length is counted first, in 64 bits: a text of many matches and a
  // long replacement would otherwise grow far past the longest string (or
  // the memory) before MakeString could refuse it.
  std::int64_t length = Length();
  for (std::int32_t k = at; k >= 0; k = IndexOf(find, k + m)) {
    length += static_cast<std::int64_t>(with.Length()) - m;
    if (length > kLongestString) throw TRuntimeError("String too long");
  }
  std::u16string out;
  out.reserve(static_cast<std::size_t>(length));
  std::int32_t from = 0;
  while (at >= 0) {
    out.append(Units() + from, Units() + at);
    out.append(with.Units(), with.Units() + with.Length());
    from = at + m;
    at = IndexOf(find, from);
  }
  out.append(Units() + from, Units() + Length());
  return OfUnits(out.data(), static_cast<std::int32_t>(out.size()));
}

String String::Lowered() const {
  char16_t* units;
  String s = MakeString(Length(), units);
  for (std::int32_t i = 0; i < Length(); ++i) {
    char16_t c = Units()[i];
    units[i] = (c >= 65 && c <= 90) ? static_cast<char16_t>(c | 0x20) : c;
  }
  return s;
}

String String::Uppered() const {
  char16_t* units;
  String s = MakeString(Length(), units);
  for (std::int32_t i = 0; i < Length(); ++i) {
    char16_t c = Units()[i];
    units[i] = (c >= 97 && c <= 122) ? static_cast<char16_t>(c & ~0x20) : c;
  }
  return s;
}

std::int32_t String::AsInt() const { return ParseInteger<std::int32_t>(*this); }
std::int64_t String::AsLong() const { return ParseInteger<std::int64_t>(*this); }
float String::AsFloat() const { return static_cast<float>(AsDouble()); }
double String::AsDouble() const {
  AnsiText text = AsAnsi();
  ClassicNumbers classic;
  return std::atof(text.get());
}

AnsiText String::AsAnsi() const {
  AnsiText text(static_cast<char*>(SystemAllocate(static_cast<std::size_t>(Length()) + 1)));
  for (std::int32_t i = 0; i < Length(); ++i) text[i] = static_cast<char>(Units()[i] & 0xFF);
  text[Length()] = 0;
  return text;
}

WideText String::AsWide() const {
  WideText text(static_cast<char16_t*>(SystemAllocate(sizeof(char16_t) * (static_cast<std::size_t>(Length()) + 1))));
  std::memcpy(text.get(), Units(), sizeof(char16_t) * static_cast<std::size_t>(Length()));
  text[Length()] = 0;
  return text;
}

String String::OfInt(std::int32_t value) { return DecimalText<std::int32_t>(value, "-2147483648"); }
String String::OfLong(std::int64_t value) { return DecimalText<std::int64_t>(value, "-9223372036854775808"); }

String String::OfFloat(float value) {
  char text[64];
  {
    ClassicNumbers classic;
    std::snprintf(text, sizeof text, "%#.9g", static_cast<double>(value));
  }
  return String(text);
}

String String::OfDouble(double value) {
  char text[400];
  {
    ClassicNumbers classic;
    std::snprintf(text, sizeof text, "%#.17lg", value);
  }
  return String(text);
}

String String::OfAnsi(const char* bytes) {
  if (!bytes) return String();
  return FromBytes(reinterpret_cast<const unsigned char*>(bytes), static_cast<std::int32_t>(std::strlen(bytes)));
}

String String::OfWide(const char16_t* units) {
  if (!units) return String();
  std::int32_t n = 0;
  while (units[n]) ++n;
  return OfUnits(units, n);
}

String String::OfBytes(const void* bytes, std::int32_t count) {
  if (!bytes || count <= 0) return String();
  return FromBytes(static_cast<const unsigned char*>(bytes), count);
}

String String::OfUnits(const char16_t* source, std::int32_t count) {
  if (!source || count <= 0) return String();
  char16_t* units;
  String s = MakeString(count, units);
  std::memcpy(units, source, sizeof(char16_t) * static_cast<std::size_t>(count));
  return s;
}

namespace {
template <class Element, unsigned kMask = 0xFFFF>
bool UnitsOfArray(TObject* object, String& out) {
  auto* array = dynamic_cast<TArray<Element>*>(object);
  if (!array) return false;
  char16_t* units;
  out = MakeString(array->Length(), units);
  for (std::int32_t i = 0; i < array->Length(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned>(array->Data()[i]) & kMask);
  return true;
}
}  // namespace

String String::OfArray(const Ref<TObject>& array) {
  String out;
  TObject* object = array.Get();
  if (!object) return out;
  UnitsOfArray<std::uint8_t>(object, out) || UnitsOfArray<std::int8_t, 0xFF>(object, out) ||
      UnitsOfArray<char, 0xFF>(object, out) || UnitsOfArray<std::uint16_t>(object, out) ||
      UnitsOfArray<std::int16_t>(object, out) || UnitsOfArray<char16_t>(object, out) ||
      UnitsOfArray<std::int32_t>(object, out) || UnitsOfArray<std::uint32_t>(object, out);
  return out;
}

std::int32_t String::Compare(const String& a, const String& b) noexcept {
  std::int32_t n = a.Length() < b.Length() ? a.Length() : b.Length();
  const char16_t* x = a.Units();
  const char16_t* y = b.Units();
  for (std::int32_t i = 0; i < n; ++i) {
    if (x[i] != y[i]) return static_cast<std::int32_t>(x[i]) - static_cast<std::int32_t>(y[i]);
  }
  return a.Length() - b.Length();
}

std::string String::ToStd() const {
  std::string out(static_cast<std::size_t>(Length()), '\0');
  for (std::int32_t i = 0; i < Length(); ++i) out[static_cast<std::size_t>(i)] = static_cast<char>(Units()[i] & 0xFF);
  return out;
}

std::string String::ToUtf8() const {
  std::string out;
  const char16_t* u = Units();
  std::int32_t n = Length();
  for (std::int32_t i = 0; i < n; ++i) {
    std::uint32_t c = u[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && u[i + 1] >= 0xDC00 && u[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00u);
      ++i;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

String String::OfUtf8(std::string_view utf8) {
  std::u16string out;
  std::size_t i = 0, n = utf8.size();
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(utf8[k]); };
  while (i < n) {
    std::uint32_t c = byte(i);
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + static_cast<std::size_t>(extra) >= n + (extra == 0 ? 1 : 0)) {
      out += u'\uFFFD';  // a stray or cut-off byte
      ++i;
      continue;
    }
    if (extra > 0) {
      c &= 0x3Fu >> extra;
      bool ok = true;
      for (int k = 1; k <= extra; ++k) {
        std::uint32_t b = byte(i + static_cast<std::size_t>(k));
        if ((b & 0xC0) != 0x80) ok = false;
        c = (c << 6) | (b & 0x3F);
      }
      // Four-byte forms reach 1FFFFF hex; past 10FFFF there is no character
      // (nor a surrogate pair to hold it).
      if (c > 0x10FFFF) ok = false;
      if (!ok) {
        out += u'\uFFFD';
        ++i;
        continue;
      }
    }
    i += static_cast<std::size_t>(extra) + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return OfUnits(out.data(), static_cast<std::int32_t>(out.size()));
}

bool String::IsString(TObject* object) noexcept { return dynamic_cast<TStringBody*>(object) != nullptr; }

String String::FromObject(TObject* object) noexcept { return String(dynamic_cast<TStringBody*>(object)); }

// ---- Runtime functions ---------------------------------------------------------

String Concat(const String& a, const String& b) {
  if (a.IsEmpty()) return b;
  if (b.IsEmpty()) return a;
  char16_t* units;
  String s = MakeString(static_cast<std::int64_t>(a.Length()) + b.Length(), units);
  std::memcpy(units, a.Units(), sizeof(char16_t) * static_cast<std::size_t>(a.Length()));
  std::memcpy(units + a.Length(), b.Units(), sizeof(char16_t) * static_cast<std::size_t>(b.Length()));
  return s;
}

String& String::Append(const String& b) {
  const std::int32_t added = b.Length();
  if (added == 0) return *this;
  TStringBody* body = body_.Get();
  const std::int32_t length = body->Length();
  if (length == 0) return *this = b;
  const std::int64_t total = static_cast<std::int64_t>(length) + added;
  if (total > kLongestString) throw TRuntimeError("String too long");
  if ((body->RefCount() & ~kQueuedMark) == 1) {
    // The room of a body that the inline path did not know (made by another
    // operation, or grown by += before another body was).
    const std::ptrdiff_t size = BodyBytes(length);
    const std::uint32_t code = body->lengthWord_ >> TStringBody::kRoomShift;
    const std::int32_t room = code                                 ? UnitsIn(kRoomBytes[code])
                              : size <= blocks::kLargestSmallBlock ? UnitsIn(16 * blocks::SizeClass(size))
                                                                   : UnitsIn(blocks::LargeRoom(body));
    if (total <= room) {
      if (2 * added > std::numeric_limits<int>::max() - blocks::allocatedBytes) {
        throw TRuntimeError("Memory block too large");
      }
      std::memcpy(body->MutableUnits() + length, b.Units(), sizeof(char16_t) * static_cast<std::size_t>(added));
      body->lengthWord_ += static_cast<std::uint32_t>(added);
      blocks::allocatedBytes += 2 * added;
      detail::appendBody = body;
      detail::appendRoom = room;
      return *this;
    }
  }
  std::int32_t room = 0;
  TStringBody* grown = TStringBody::AllocateWithRoom(static_cast<std::int32_t>(total), 2 * total, room);
  std::memcpy(grown->MutableUnits(), body->Units(), sizeof(char16_t) * static_cast<std::size_t>(length));
  std::memcpy(grown->MutableUnits() + length, b.Units(), sizeof(char16_t) * static_cast<std::size_t>(added));
  // Set once the block is made: making it may run a pass, which clears them.
  detail::appendBody = grown;
  detail::appendRoom = room;
  body_ = grown;
  return *this;
}

String Slice(const String& s, std::int32_t start, std::int32_t end) {
  std::int64_t length = static_cast<std::int64_t>(end) - start;
  if (length <= 0) return String();
  if (start == 0 && end == s.Length()) return s;
  char16_t* units;
  String out = MakeString(length, units);
  for (std::int32_t k = 0; k < length; ++k) {
    std::int64_t p = static_cast<std::int64_t>(start) + k;
    units[k] = (p >= 0 && p < s.Length()) ? s.Units()[p] : u' ';
  }
  return out;
}

String OfChar(std::int32_t code) {
  char16_t unit = static_cast<char16_t>(code);
  return String::OfUnits(&unit, 1);
}

void Throw(const String& text) { throw TRuntimeError(text.ToStd()); }

}  // namespace cvx
