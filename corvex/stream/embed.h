/// @file
/// Embedded resources: named blocks of bytes compiled into the program, opened
/// read-only through "incbin::<name>" urls (names match exactly, case included).
///
/// A module embeds a file with the build step and registers it in its
/// initialiser, before anything opens it:
///
///   # CMakeLists.txt of the module
///   corvex_embed(corvex_mymodule corvex/mymodule/logo.png mymodule_logo)
///
///   // mymodule.cpp
///   namespace cvx::embedded {
///   extern const unsigned char mymodule_logo[];
///   extern const std::size_t mymodule_logo_size;
///   }
///   void InitMyModule() {
///     static bool done = false;
///     if (done) return;
///     done = true;
///     InitEmbed();
///     EmbedRegister("logo.png", embedded::mymodule_logo,
///                   static_cast<std::int32_t>(embedded::mymodule_logo_size));
///   }
///
///   Ref<TByteStream> s = OpenUrlForReading("incbin::logo.png");   // url.h
///
/// Entries are never removed, and the bytes are never copied or freed: they
/// belong to the program image.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"

namespace cvx {

/// One entry of the embedded table (a singly linked list, newest first).
class EmbeddedBlob final : public TObject {
 public:
  /// The next (older) entry, or nullptr.
  EmbeddedBlob* Next() const noexcept { return next_.Get(); }
  /// The name it was registered under.
  const String& Name() const noexcept { return name_; }
  /// @{
  /// The bytes and their number.
  const void* Address() const noexcept { return address_; }
  std::int32_t Size() const noexcept { return size_; }
  /// @}

 private:
  friend int EmbedRegister(const String& name, const void* address, std::int32_t size);
  Ref<EmbeddedBlob> next_;
  String name_;
  const void* address_ = nullptr;
  std::int32_t size_ = 0;
};

/// 1 when added; 0 when the name is already registered (the first entry stays).
int EmbedRegister(const String& name, const void* address, std::int32_t size);
/// The entry registered under exactly this name, or nullptr.
EmbeddedBlob* EmbedLookup(const String& name);
/// The entry's bytes, or nullptr when the name is not registered.
const void* EmbedAddress(const String& name);
/// The entry's size, or 0 when the name is not registered.
std::int32_t EmbedSize(const String& name);
/// The newest entry (the head of the table), or nullptr.
EmbeddedBlob* FirstEmbeddedBlob() noexcept;

/// The embedded resources module: registers the "incbin" opener.
void InitEmbed();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
