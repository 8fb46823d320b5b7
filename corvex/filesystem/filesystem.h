/// @file
/// Paths and files. One path convention for the whole framework: forward
/// slashes, a drive letter followed by ":" and "/", and no trailing slash on
/// directories. Every function normalises the path it is given first
/// (directory functions also drop a trailing slash). Queries of a missing path
/// answer 0, -1 or false; nothing here raises for a path that does not exist.
/// A path holding a 0 byte (IsWholeFileSystemName) names no file: queries
/// answer as for a missing path and every other function fails (false or
/// null, with a logged warning) without touching the file its first part names.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/array.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"
#include "corvex/stream/stream.h"

namespace cvx {

/// @name PathKind results
/// @{
inline constexpr int PathMissing = 0;  ///< missing, or neither file nor directory
inline constexpr int PathFile = 1;       ///< a file
inline constexpr int PathDirectory = 2;  ///< a directory
/// @}

/// DirectoryOf a path that has no parent (a root), and AbsolutePath of one
/// that climbs above its root.
inline constexpr const char* BadDirectory = "<bad_dir>";

/// "\" becomes "/", C: becomes C:/ and C:foo becomes C:/foo; with isDirectory
/// a trailing slash is dropped (roots keep theirs).
String NormalisePath(const String& path, bool isDirectory);
/// The path without its trailing slash (a root keeps it); no normalisation.
String TrimTrailingSlash(const String& path);
/// With "." and ".." resolved against the working directory; "" for a relative
/// path when the working directory cannot be told (WorkingDirectory gives "").
String AbsolutePath(const String& path);
/// The working directory, normalised; "" when the system cannot tell it.
String WorkingDirectory();
/// Changes the working directory; false (with a logged warning) when it cannot.
bool SetWorkingDirectory(const String& path);

/// PathFile, PathDirectory or PathMissing.
int PathKind(const String& path);
/// Bytes, or -1 for a missing path.
std::int64_t PathSize(const String& path);
/// Seconds since 1970, or 0 for a missing path.
std::int64_t PathModifiedTime(const String& path);
/// mode & 0x1FF, or -1 for a missing path.
int PathPermissions(const String& path);
/// Sets the permission bits; true on success.
bool SetPathPermissions(const String& path, int mode);

/// Replaces whatever is there by an empty file.
bool MakeEmptyFile(const String& path);
/// Makes a directory (with recurse, also the missing parents); true when the
/// directory exists afterwards, false with a logged warning otherwise.
bool MakeDirectory(const String& path, bool recurse);
/// Removes a file (a link as itself); true when afterwards nothing exists
/// there. A directory is left alone: false, with a logged warning.
bool RemoveFile(const String& path);
/// Removes a directory (with recurse, also everything in it, without following
/// links); true when nothing exists there afterwards, false with a logged
/// warning otherwise.
bool RemoveDirectory(const String& path, bool recurse);
/// Renames or moves a file or directory; false with a logged warning when it
/// cannot.
bool RenamePath(const String& from, const String& to);

/// An open directory listing; closed by CloseDirectoryListing or when the
/// object goes.
class TDirectoryListing final : public TObject {
 public:
  /// A listing over an open system directory handle (a DIR*), which it then owns.
  explicit TDirectoryListing(void* dir) : dir_(dir) {}
  ~TDirectoryListing() override;
  /// The next entry name, empty at the end.
  String Next();
  /// Closes the listing (Next then gives ""); closing twice does nothing.
  void Close();

 private:
  void* dir_;
};

/// Null when the directory cannot be opened.
Ref<TDirectoryListing> OpenDirectoryListing(const String& path);
/// @{
/// Next and Close of the listing; a null listing raises the null object error.
String NextDirectoryEntry(TDirectoryListing* listing);
void CloseDirectoryListing(TDirectoryListing* listing);
/// @}
/// Entry names in listing order ("." and ".." left out with skipDots); an
/// empty array when the directory cannot be opened.
Array<String> ListDirectory(const String& path, bool skipDots);

/// The part after the last slash (the whole path without one).
String FileNameOf(const String& path);
/// The path without the extension of its last part (and the dot).
String WithoutExtension(const String& path);
/// The file name without its extension.
String BaseNameOf(const String& path);
/// The normalised parent directory; BadDirectory for a path that has no parent.
String DirectoryOf(const String& path);
/// The extension of the last part without the dot, or "" when it has none.
String ExtensionOf(const String& path);

/// A stream that can seek: a source without a position (a socket, an http
/// body) is read whole into a bank first. Null when the url does not open.
Ref<TByteStream> OpenFileStream(const Ref<TObject>& url, int readable, int writeable);
/// @{
/// OpenFileStream for reading / writing only; null when the url does not open.
Ref<TByteStream> OpenReadFile(const Ref<TObject>& url);
Ref<TByteStream> OpenWriteFile(const Ref<TObject>& url);
/// @}
/// Closes the stream; a null stream raises the null object error.
void CloseFileStream(TByteStream* stream);

/// Module initialiser (and that of the streams it uses); runs once.
void InitFileSystem();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
