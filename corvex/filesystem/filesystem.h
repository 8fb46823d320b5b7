/// @file
/// Paths and files. One path convention for the whole framework: forward
/// slashes, a drive letter followed by ":" and "/", and no trailing slash on
/// directories. Every function normalises the path it is given first
/// (directory functions also drop a trailing slash). Queries of a missing path
/// answer 0, -1 or false; nothing here raises for a path that does not exist.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/array.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"
#include "corvex/stream/stream.h"

namespace cvx {

// PathKind results.
inline constexpr int PathMissing = 0;  ///< missing, or neither file nor directory
inline constexpr int PathFile = 1;
inline constexpr int PathDirectory = 2;

/// DirectoryOf a path that has no parent (a root), and AbsolutePath of one
/// that climbs above its root.
inline constexpr const char* BadDirectory = "<bad_dir>";

/// "\" becomes "/", C: becomes C:/ and C:foo becomes C:/foo; with isDirectory
/// a trailing slash is dropped (roots keep theirs).
String NormalisePath(const String& path, bool isDirectory);
String TrimTrailingSlash(const String& path);
/// With "." and ".." resolved against the working directory.
String AbsolutePath(const String& path);
String WorkingDirectory();
bool SetWorkingDirectory(const String& path);

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
bool MakeDirectory(const String& path, bool recurse);
/// True when afterwards nothing exists there.
bool RemoveFile(const String& path);
bool RemoveDirectory(const String& path, bool recurse);
bool RenamePath(const String& from, const String& to);

/// An open directory listing; closed by CloseDirectoryListing or when the
/// object goes.
class TDirectoryListing final : public TObject {
 public:
  explicit TDirectoryListing(void* dir) : dir_(dir) {}
  ~TDirectoryListing() override;
  /// The next entry name, empty at the end.
  String Next();
  void Close();

 private:
  void* dir_;
};

/// Null when the directory cannot be opened.
Ref<TDirectoryListing> OpenDirectoryListing(const String& path);
String NextDirectoryEntry(TDirectoryListing* listing);
void CloseDirectoryListing(TDirectoryListing* listing);
/// Entry names in listing order ("." and ".." left out with skipDots); an
/// empty array when the directory cannot be opened.
Array<String> ListDirectory(const String& path, bool skipDots);

String FileNameOf(const String& path);
String WithoutExtension(const String& path);
String BaseNameOf(const String& path);
String DirectoryOf(const String& path);
String ExtensionOf(const String& path);

/// A stream that can seek: a source without a position (a socket, an http
/// body) is read whole into a bank first. Null when the url does not open.
Ref<TByteStream> OpenFileStream(const Ref<TObject>& url, int readable, int writeable);
Ref<TByteStream> OpenReadFile(const Ref<TObject>& url);
Ref<TByteStream> OpenWriteFile(const Ref<TObject>& url);
void CloseFileStream(TByteStream* stream);

void InitFileSystem();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
