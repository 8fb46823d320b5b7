/// @file
/// String: the runtime's immutable UTF-16 text.
///
/// A String is a handle to a counted TStringBody (an object like any other, so
/// a Ref<TObject> can hold a string and a list of strings sorts by text). The
/// handle is never null: "no text" is the shared empty string. Operations that
/// would make a zero-length string return the shared empty string.
///
///   String a = "FPS = ";            // counted copy of the bytes
///   String b = "FPS = "_s;          // static literal, never freed
///   String c = a + String::OfInt(60);
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/blocks.h"
#include "corvex/runtime/memory.h"
#include "corvex/runtime/object.h"

namespace cvx {

/// The string object: the common header, the length, then the code units.
/// Its block counts as sizeof(TStringBody) + 2 * length bytes (a block that
/// += made may hold more, room for the text to grow into).
class TStringBody final : public TObject {
 public:
  /// The number of UTF-16 code units.
  std::int32_t Length() const noexcept { return static_cast<std::int32_t>(lengthWord_ & kLengthMask); }
  /// @{
  /// The code units (not zero-terminated).
  const char16_t* Units() const noexcept { return reinterpret_cast<const char16_t*>(this + 1); }
  char16_t* MutableUnits() noexcept { return reinterpret_cast<char16_t*>(this + 1); }
  /// @}

  String ToString() override;
  /// Text order for strings; other objects by address.
  std::intptr_t Compare(TObject* other) override;

  /// A new counted body of the given length with its units uninitialised.
  static TStringBody* Allocate(std::int32_t length);
  /// Frees a body made by Allocate (its block holds the units too).
  static void operator delete(TStringBody* body, std::destroying_delete_t);

  /// Static bodies (literals, the shared empty string).
  TStringBody(StaticTag tag, std::uint32_t count, std::int32_t length) noexcept
      : TObject(tag, count), lengthWord_(static_cast<std::uint32_t>(length)) {}

 private:
  friend class String;
  // The length word keeps the length in its low 30 bits (no string reaches
  // 2^30 units) and, in the top two, which of the small room sizes a block
  // made by += holds; 0 is a block of its length's own size class or a system
  // block, whose room the allocator knows.
  static constexpr std::uint32_t kLengthMask = 0x3FFFFFFF;
  static constexpr int kRoomShift = 30;
  TStringBody(std::int32_t length, std::uint32_t roomCode) noexcept
      : lengthWord_(static_cast<std::uint32_t>(length) | roomCode << kRoomShift) {}
  // A counted body of the given length (units uninitialised) whose block has
  // memory for at least roomLength units, which it sets roomUnits to; it
  // counts as the length's block.
  static TStringBody* AllocateWithRoom(std::int32_t length, std::int64_t roomLength, std::int32_t& roomUnits);
  std::uint32_t lengthWord_;
};
static_assert(sizeof(TStringBody) % alignof(char16_t) == 0);

/// @{
/// Zero-terminated copies of a string's text from the system allocator (AsAnsi,
/// AsWide).
using AnsiText = std::unique_ptr<char[], SystemBlockDeleter>;
using WideText = std::unique_ptr<char16_t[], SystemBlockDeleter>;
/// @}

/// The runtime's immutable UTF-16 text, a counted reference to a TStringBody
/// (never null: the empty string is a shared body). Copying is cheap.
class String {
 public:
  String() noexcept;         ///< the shared empty string
  String(const char* ansi);  ///< one unit per byte; nullptr gives ""
  /// @{
  /// One unit per byte of bytes.
  String(std::string_view bytes);
  String(const std::string& bytes) : String(std::string_view(bytes)) {}
  /// @}
  /// @{
  /// The string a body holds (null gives the empty string).
  explicit String(TStringBody* body) noexcept;
  explicit String(Ref<TStringBody> body) noexcept;
  /// @}

  /// The number of code units.
  std::int32_t Length() const noexcept { return body_.Get()->Length(); }
  /// True when Length() is 0.
  bool IsEmpty() const noexcept { return Length() == 0; }
  /// The code units (not zero-terminated).
  const char16_t* Units() const noexcept { return body_.Get()->Units(); }
  /// The unit at index i; raises the array-index error outside 0..Length-1.
  char16_t operator[](std::int32_t i) const;
  /// The body (never null).
  TStringBody* Body() const noexcept { return body_.Get(); }

  /// Appends b; returns *this. The text stays immutable to everyone else: when
  /// another counted reference holds the old text, it keeps it, exactly as
  /// with *this = *this + b. When this handle is its only holder, the text
  /// grows in place into the room its block has (a block made by += has room
  /// for as much again), so a loop of += copies each piece about once. A raw
  /// Body() pointer kept from before sees the longer text.
  String& operator+=(const String& b);

  /// Operations in slot order.
  std::int32_t IndexOf(const String& sub, std::int32_t start = 0) const;
  /// The position of the last occurrence of sub that starts at most Length() -
  /// start, or -1.
  std::int32_t LastIndexOf(const String& sub, std::int32_t start = 0) const;
  /// The text without leading and trailing units up to 32 (spaces, controls).
  String Stripped() const;
  /// The text with every occurrence of find replaced by with.
  String Substituted(const String& find, const String& with) const;
  /// @{
  /// The text with the ASCII letters A-Z lowered / a-z raised.
  String Lowered() const;
  String Uppered() const;
  /// @}
  /// @{
  /// The number the text starts with (leading spaces skipped; integers may be
  /// written %binary or $hex); 0 when it does not
  /// start with one. Never raises.
  std::int32_t AsInt() const;
  std::int64_t AsLong() const;
  float AsFloat() const;
  double AsDouble() const;
  /// @}
  AnsiText AsAnsi() const;  ///< zero-terminated, low 8 bits of every unit
  WideText AsWide() const;  ///< zero-terminated copy of the units

  /// @{
  /// The decimal text of value.
  static String OfInt(std::int32_t value);
  static String OfLong(std::int64_t value);
  /// @}
  static String OfFloat(float value);    ///< "%#.9g"
  static String OfDouble(double value);  ///< "%#.17lg"
  /// @{
  /// A string from zero-terminated bytes (one unit per byte) or units; nullptr
  /// gives the empty string.
  static String OfAnsi(const char* bytes);
  static String OfWide(const char16_t* units);
  /// @}
  /// @{
  /// A string from count bytes (one unit per byte) or count units.
  static String OfBytes(const void* bytes, std::int32_t count);
  static String OfUnits(const char16_t* units, std::int32_t count);
  /// @}
  /// One unit per element of an array of bytes, 16-bit shorts or ints (ints
  /// keep their low 16 bits); any other object gives the empty string.
  static String OfArray(const Ref<TObject>& array);

  /// Text comparison: the first differing unit's difference, else the length difference.
  static std::int32_t Compare(const String& a, const String& b) noexcept;

  /// The 8-bit text as a std::string (low 8 bits of every unit), for C++ code
  /// and messages; the same conversion as AsAnsi.
  std::string ToStd() const;
  /// UTF-8 encoding of the text, for libraries that take UTF-8 (SDL, FreeType).
  std::string ToUtf8() const;
  /// Decodes UTF-8 (characters beyond U+FFFF as surrogate pairs; a malformed byte,
  /// among them the lead of a form past U+10FFFF, becomes U+FFFD). Never raises.
  static String OfUtf8(std::string_view utf8);

  /// A string held as an object.
  operator Ref<TObject>() const noexcept { return Ref<TObject>(body_.Get()); }
  /// The string an object is, or the empty string when the object is not a string.
  static String FromObject(TObject* object) noexcept;
  /// The string an object is, or the empty string.
  static String FromObject(const Ref<TObject>& object) noexcept { return FromObject(object.Get()); }
  /// True when object is a string body.
  static bool IsString(TObject* object) noexcept;

  /// @{
  /// Text comparisons (Compare).
  friend bool operator==(const String& a, const String& b) noexcept { return Compare(a, b) == 0; }
  friend bool operator==(const String& a, const char* b) { return a == String(b); }
  friend bool operator<(const String& a, const String& b) noexcept { return Compare(a, b) < 0; }
  /// @}

 private:
  // Every += that the inline path cannot finish: a body of another holder or
  // one without the room, the empty string, a text that grows too long.
  String& Append(const String& b);
  Ref<TStringBody> body_;
};

namespace detail {
// The body that += made or grew last and the units its block holds, so that
// a loop of += onto one string finds its room with one comparison. Cleared
// when that body is freed.
extern const TStringBody* appendBody;
extern std::int32_t appendRoom;

// Copies n units. A short piece, what += is mostly given, is copied with two
// loads and two stores (which may overlap each other) rather than a call; all
// loads come before the stores.
inline void CopyUnits(char16_t* to, const char16_t* from, std::int32_t n) noexcept {
  const auto bytes = sizeof(char16_t) * static_cast<std::size_t>(n);
  auto* out = reinterpret_cast<unsigned char*>(to);
  const auto* in = reinterpret_cast<const unsigned char*>(from);
  if (bytes >= 8 && bytes <= 16) {
    std::uint64_t head, tail;
    std::memcpy(&head, in, 8);
    std::memcpy(&tail, in + bytes - 8, 8);
    std::memcpy(out, &head, 8);
    std::memcpy(out + bytes - 8, &tail, 8);
  } else if (bytes == 4 || bytes == 6) {
    std::uint32_t head, tail;
    std::memcpy(&head, in, 4);
    std::memcpy(&tail, in + bytes - 4, 4);
    std::memcpy(out, &head, 4);
    std::memcpy(out + bytes - 4, &tail, 4);
  } else if (bytes == 2) {
    *to = *from;
  } else {
    std::memcpy(to, from, bytes);
  }
}
}  // namespace detail

inline String& String::operator+=(const String& b) {
  TStringBody* body = body_.Get();
  const std::int32_t length = body->Length();
  const std::int32_t added = b.Length();
  // Only this handle counts the body (static bodies have counts that never
  // come near 1), so nobody else can see it change.
  if (body == detail::appendBody && (body->RefCount() & ~kQueuedMark) == 1 && added <= detail::appendRoom - length &&
      2 * added <= std::numeric_limits<int>::max() - blocks::allocatedBytes) {
    // When b is this very text its `added` units are copied after themselves:
    // the ranges do not overlap.
    detail::CopyUnits(body->MutableUnits() + length, b.Units(), added);
    body->lengthWord_ += static_cast<std::uint32_t>(added);
    blocks::allocatedBytes += 2 * added;
    return *this;
  }
  return Append(b);
}

/// The text of a followed by b.
String Concat(const String& a, const String& b);
/// Units start..end-1 of s; positions outside s read as spaces.
String Slice(const String& s, std::int32_t start, std::int32_t end);
/// The one-unit string of a code unit (low 16 bits of code).
String OfChar(std::int32_t code);
/// The text of a followed by b (Concat).
inline String operator+(const String& a, const String& b) { return Concat(a, b); }

/// Raises a TRuntimeError with the given text.
[[noreturn]] void Throw(const String& text);

// Static literals: "text"_s is a String whose body is never freed.
namespace detail {
template <std::size_t N>
struct LiteralText {
  constexpr LiteralText(const char (&text)[N]) {
    for (std::size_t i = 0; i < N; ++i) chars[i] = text[i];
  }
  char chars[N];
};
template <std::size_t N>
struct LiteralStorage {
  explicit LiteralStorage(const char* text) noexcept
      : body(TObject::StaticTag{}, kImmortalCount, static_cast<std::int32_t>(N - 1)) {
    for (std::size_t i = 0; i + 1 < N; ++i) units[i] = static_cast<unsigned char>(text[i]);
  }
  TStringBody body;
  char16_t units[N];
};
}  // namespace detail

/// A static literal: "text"_s is a String whose body is made once and never
/// freed (one unit per byte).
template <detail::LiteralText text>
String operator""_s() {
  constexpr std::size_t n = sizeof(text.chars);
  if constexpr (n <= 1) {
    return String();
  } else {
    // Built in place and never destroyed, so the literal outlives every
    // global that may still hold it while the program ends.
    alignas(detail::LiteralStorage<n>) static unsigned char buffer[sizeof(detail::LiteralStorage<n>)];
    static detail::LiteralStorage<n>* storage = ::new (buffer) detail::LiteralStorage<n>(text.chars);
    return String(&storage->body);
  }
}

}  // namespace cvx

#include "corvex/runtime/api_end.h"
