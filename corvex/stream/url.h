/// @file
/// Opening streams by url.
///
/// A url is a stream object, a file path, or protocol "::" path
/// ("incbin::Medias/fire.tga", "bigendian::incbin::data.bin", "tcp::host:8080").
/// The protocol is everything before the first "::", with A-Z lowered; the path
/// is the rest, letter case kept, and may itself be a url (filters nest that way).
/// A text without "::" is opened as a file; no opener is asked (a name holding a
/// 0 byte names no file and gives null). Anything else is
/// offered to the stream openers, newest first; the first stream returned wins,
/// and a url no opener answers gives null (never an exception).
///
/// A module adds a protocol by creating one opener in its initialiser:
///
///   class TMyOpener final : public TStreamOpener {
///     Ref<TByteStream> OpenUrl(TObject* url, const String& protocol, const String& path,
///                              int readable, int writeable) override {
///       if (protocol != "mine"_s) return nullptr;
///       ...
///     }
///   };
///   void InitMine() { ...guard...; InitStream(); new TMyOpener(); }
#pragma once

#include <string>

#include <cstdint>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/array.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"
#include "corvex/stream/stream.h"

namespace cvx {

/// A url opener: turns "protocol::path" urls (or url objects) into streams.
/// OpenUrlStream asks the openers from the newest on.
class TStreamOpener : public TObject {
 public:
  /// Links the new opener in at the head of the list, where it stays for the
  /// life of the program.
  TStreamOpener();

  /// A stream for the url, or null when this opener does not handle it.
  /// url is the object given to OpenUrlStream (a text, a bank ...).
  virtual Ref<TByteStream> OpenUrl(TObject* url, const String& protocol, const String& path, int readable,
                                   int writeable) = 0;

  /// The next (older) opener, or nullptr at the end of the list.
  TStreamOpener* Next() const noexcept { return next_.Get(); }

 private:
  Ref<TStreamOpener> next_;
};

/// The newest opener (the first one asked), or nullptr.
TStreamOpener* FirstStreamOpener() noexcept;

/// An opener that recognises a url but cannot open it (a missing file, an
/// unknown embedded name, a refused connection) says why here before it
/// returns null; OpenUrlStream puts the reason in the one warning it logs for
/// a url that does not open. Never raises.
void NoteStreamOpenFailure(const std::string& why);

/// @{
/// Opens a url: a stream given as url comes back borrowed (closing the result
/// leaves it open), whatever the flags; otherwise each opener is asked in turn
/// and a plain path opens as a file. Null when nothing opens it (with one
/// logged warning that says why), and for a url that nests more than 64
/// stream filters.
Ref<TByteStream> OpenUrlStream(const Ref<TObject>& url, int readable, int writeable);
inline Ref<TByteStream> OpenUrlStream(const String& url, int readable, int writeable) {
  return OpenUrlStream(Ref<TObject>(url), readable, writeable);
}
/// @}
/// @{
/// OpenUrlStream for reading only; null when the url does not open.
Ref<TByteStream> OpenUrlForReading(const Ref<TObject>& url);
inline Ref<TByteStream> OpenUrlForReading(const String& url) { return OpenUrlForReading(Ref<TObject>(url)); }
/// @}
/// @{
/// OpenUrlStream for writing only; null when the url does not open.
Ref<TByteStream> OpenUrlForWriting(const Ref<TObject>& url);
inline Ref<TByteStream> OpenUrlForWriting(const String& url) { return OpenUrlForWriting(Ref<TObject>(url)); }
/// @}

/// The split OpenUrlStream applies: true when text holds "::"; protocol is the
/// lowered part before the first "::", path the part after it.
bool SplitUrl(const String& text, String& protocol, String& path);

// Whole-url transfers. The loads and saves of bytes and text do not test the
// opened stream: a url that does not open raises the null object error. Each
// closes its stream, also when a transfer raises.

/// @{
/// Every byte the url holds; a url that does not open raises the null object
/// error, and one whose bytes do not fit in memory (or in an array of at most
/// 2^31 - 1 bytes) raises a TRuntimeError.
Array<std::uint8_t> UrlLoadBytes(const Ref<TObject>& url);
inline Array<std::uint8_t> UrlLoadBytes(const String& url) { return UrlLoadBytes(Ref<TObject>(url)); }
/// @}
/// @{
/// Writes every byte to the url, replacing what it held; a url that does not
/// open raises the null object error.
void UrlSaveBytes(const Array<std::uint8_t>& bytes, const Ref<TObject>& url);
inline void UrlSaveBytes(const Array<std::uint8_t>& bytes, const String& url) {
  UrlSaveBytes(bytes, Ref<TObject>(url));
}
/// @}
/// @{
/// The url's bytes as text, each byte one character (0..255); a url that
/// does not open raises the null object error.
String UrlLoadText(const Ref<TObject>& url);
inline String UrlLoadText(const String& url) { return UrlLoadText(Ref<TObject>(url)); }
/// @}
/// @{
/// Writes the text, one byte per character (low 8 bits); a url that does not
/// open raises the null object error.
void UrlSaveText(const String& text, const Ref<TObject>& url);
inline void UrlSaveText(const String& text, const String& url) { UrlSaveText(text, Ref<TObject>(url)); }
/// @}
/// @{
/// Objects through the stream's ReadSerialized / WriteSerialized (data
/// streams: "data::<url>"). A url that does not open gives null / does nothing.
Ref<TObject> UrlLoadObject(const Ref<TObject>& url);
inline Ref<TObject> UrlLoadObject(const String& url) { return UrlLoadObject(Ref<TObject>(url)); }
void UrlSaveObject(TObject* object, const Ref<TObject>& url);
inline void UrlSaveObject(TObject* object, const String& url) { UrlSaveObject(object, Ref<TObject>(url)); }
/// @}

/// The stream module: the embedded resources ("incbin") and the endian views
/// ("bigendian", "littleendian"). OpenUrlStream runs it on first use.
void InitStream();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
