#include "corvex/filesystem/filesystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "corvex/runtime/filesystemname.h"
#include "corvex/runtime/log.h"
#include "corvex/stream/bank.h"
#include "corvex/stream/bankstream.h"
#include "corvex/stream/url.h"

namespace cvx {

namespace {

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool IsDriveRoot(const String& path) {
  return path.Length() == 3 && IsLetter(path[0]) && path[1] == u':' && path[2] == u'/';
}

bool EndsWithSlash(const String& path) { return path.Length() > 0 && path[path.Length() - 1] == u'/'; }

std::int32_t LastIndexOfChar(const String& path, char16_t c) {
  for (std::int32_t i = path.Length() - 1; i >= 0; --i)
    if (path[i] == c) return i;
  return -1;
}

// The index of the last "." that no "/" follows, or -1.
std::int32_t ExtensionDot(const String& path) {
  std::int32_t dot = LastIndexOfChar(path, u'.');
  if (dot < 0 || LastIndexOfChar(path, u'/') > dot) return -1;
  return dot;
}

bool StatOf(const String& path, struct stat& info) {
  String normal = NormalisePath(path, false);
  if (normal.IsEmpty() || !IsWholeFileSystemName(normal)) return false;
  return ::stat(normal.AsAnsi().get(), &info) == 0;
}

int KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return PathFile;
  if (S_ISDIR(mode)) return PathDirectory;
  return PathMissing;
}

// Logs why a path operation failed; errno is read before anything else runs.
bool Failed(const char* what, const String& path) {
  int error = errno;
  LogWarning("%s %s: %s", what, path.AsAnsi().get(), std::strerror(error));
  return false;
}

// True (after a warning) when the system cannot take the name whole: cut at
// its 0 byte it would name another file, which must not be changed instead.
bool Unnameable(const char* what, const String& path) {
  if (IsWholeFileSystemName(path)) return false;
  LogWarning("%s %s: the name holds a 0 byte, so it names no file", what, path.AsAnsi().get());
  return true;
}

// The result a function reports, with the warning when it is false: `error`
// is the errno of the call that should have made it true.
bool Checked(bool succeeded, int error, const char* what, const String& path) {
  if (succeeded) return true;
  errno = error;
  return Failed(what, path);
}

bool IsDotEntry(const char* name) { return name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2])); }

// Empties the open directory `directory` (the descriptor is closed here).
// Every entry is reached through its directory's descriptor by the name the
// directory gave, never as a path put back together and normalised again, so
// a name such as "..\\x" stays inside the tree; links are removed as
// themselves, never followed. `shown` is the directory's path for warnings.
bool RemoveContentsAt(int directory, const String& shown) {
  DIR* listing = ::fdopendir(directory);
  if (!listing) {
    Failed("cannot list directory", shown);
    ::close(directory);
    return false;
  }
  bool removedAll = true;
  std::vector<std::string> names;
  errno = 0;
  // The names are read first: removing entries while readdir walks the same
  // directory may skip or repeat some.
  while (dirent* entry = ::readdir(listing)) {
    if (!IsDotEntry(entry->d_name)) names.emplace_back(entry->d_name);
    errno = 0;
  }
  if (errno != 0) removedAll = Failed("cannot list directory", shown);
  for (const std::string& name : names) {
    String entryShown = shown + "/"_s + String(name);
    struct stat info;
    if (::fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) removedAll = Failed("cannot inspect", entryShown);
      continue;
    }
    if (S_ISDIR(info.st_mode)) {
      int child = ::openat(directory, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child < 0) {
        removedAll = Failed("cannot open directory", entryShown);
        continue;
      }
      if (!RemoveContentsAt(child, entryShown)) removedAll = false;
      if (::unlinkat(directory, name.c_str(), AT_REMOVEDIR) != 0)
        removedAll = Failed("cannot remove directory", entryShown);
    } else if (::unlinkat(directory, name.c_str(), 0) != 0 && errno != ENOENT) {
      removedAll = Failed("cannot remove", entryShown);
    }
  }
  ::closedir(listing);  // closes `directory` too
  return removedAll;
}

}  // namespace

String NormalisePath(const String& path, bool isDirectory) {
  if (path.IsEmpty()) return path;
  String result = path.Substituted("\\"_s, "/"_s);
  if (result.Length() >= 2 && result[1] == u':' && (result.Length() == 2 || result[2] != u'/')) {
    result = Slice(result, 0, 2) + "/"_s + Slice(result, 2, result.Length());
  }
  if (isDirectory) result = TrimTrailingSlash(result);
  return result;
}

String TrimTrailingSlash(const String& path) {
  if (path.Length() > 1 && !IsDriveRoot(path) && EndsWithSlash(path)) return Slice(path, 0, path.Length() - 1);
  return path;
}

String AbsolutePath(const String& path) {
  if (path.IsEmpty() || path == "."_s) return WorkingDirectory();
  String normal = NormalisePath(path, false);
  String result;
  String rest;
  if (normal[0] == u'/') {
    result = "/"_s;
    rest = Slice(normal, 1, normal.Length());
  } else if (normal.Length() >= 3 && IsDriveRoot(Slice(normal, 0, 3))) {
    result = Slice(normal, 0, 3);
    rest = Slice(normal, 3, normal.Length());
  } else {
    result = WorkingDirectory();
    // Without a working directory (it was removed, or is too long to tell) a
    // relative path has no absolute form; "" + "/" would make it one under the root.
    if (result.IsEmpty()) return result;
    rest = normal;
  }
  rest = rest + "/"_s;
  std::int32_t start = 0;
  for (std::int32_t i = 0; i < rest.Length(); ++i) {
    if (rest[i] != u'/') continue;
    String part = Slice(rest, start, i);
    start = i + 1;
    if (part.IsEmpty() || part == "."_s) continue;
    if (part == ".."_s) {
      String parent = DirectoryOf(result);
      if (parent == String(BadDirectory)) return String(BadDirectory);
      // The parent of "/a" is the root itself, not an empty (relative) path.
      if (parent.IsEmpty() && result.Length() > 0 && result[0] == u'/') parent = "/"_s;
      result = parent;
      continue;
    }
    if (!EndsWithSlash(result)) result = result + "/"_s;
    result = result + part;
  }
  return result;
}

String WorkingDirectory() {
  char buffer[1024];
  if (!::getcwd(buffer, sizeof buffer)) return String();
  buffer[sizeof buffer - 1] = 0;
  return NormalisePath(String(buffer), false);
}

bool SetWorkingDirectory(const String& path) {
  String normal = NormalisePath(path, true);
  if (normal.IsEmpty() || Unnameable("cannot change to directory", normal)) return false;
  if (::chdir(normal.AsAnsi().get()) == 0) return true;
  return Failed("cannot change to directory", normal);
}

int PathKind(const String& path) {
  struct stat info;
  return StatOf(path, info) ? KindOfMode(info.st_mode) : PathMissing;
}

std::int64_t PathSize(const String& path) {
  struct stat info;
  return StatOf(path, info) ? static_cast<std::int64_t>(info.st_size) : -1;
}

std::int64_t PathModifiedTime(const String& path) {
  struct stat info;
  return StatOf(path, info) ? static_cast<std::int64_t>(info.st_mtime) : 0;
}

int PathPermissions(const String& path) {
  struct stat info;
  return StatOf(path, info) ? static_cast<int>(info.st_mode & 0x1FF) : -1;
}

bool SetPathPermissions(const String& path, int mode) {
  String normal = NormalisePath(path, false);
  if (normal.IsEmpty() || Unnameable("cannot set permissions of", normal)) return false;
  if (::chmod(normal.AsAnsi().get(), static_cast<mode_t>(mode & 0x1FF)) == 0) return true;
  return Failed("cannot set permissions of", normal);
}

bool MakeEmptyFile(const String& path) {
  String normal = NormalisePath(path, false);
  if (normal.IsEmpty() || Unnameable("cannot make file", normal)) return false;
  std::remove(normal.AsAnsi().get());
  std::FILE* file = std::fopen(normal.AsAnsi().get(), "wb");
  int error = errno;
  if (file) std::fclose(file);
  return Checked(PathKind(normal) == PathFile, error, "cannot make file", normal);
}

bool MakeDirectory(const String& path, bool recurse) {
  String normal = NormalisePath(path, true);
  if (normal.IsEmpty() || Unnameable("cannot make directory", normal)) return false;
  if (!recurse) {
    int error = ::mkdir(normal.AsAnsi().get(), 0777) == 0 ? 0 : errno;
    return Checked(PathKind(normal) == PathDirectory, error, "cannot make directory", normal);
  }
  String absolute = AbsolutePath(normal);
  if (absolute == String(BadDirectory) || absolute.IsEmpty()) {
    LogWarning("cannot make directory %s: %s", normal.AsAnsi().get(),
               absolute.IsEmpty() ? "the working directory is unknown" : "it climbs above its root");
    return false;
  }
  String walk = absolute + "/"_s;
  for (std::int32_t i = 0; i < walk.Length(); ++i) {
    if (walk[i] != u'/') continue;
    String prefix = Slice(walk, 0, i + 1);
    int kind = PathKind(prefix);
    if (kind == PathDirectory) continue;
    String directory = Slice(prefix, 0, i);
    if (kind == PathFile) {
      errno = ENOTDIR;
      return Failed("cannot make directory", directory);
    }
    int error = ::mkdir(directory.AsAnsi().get(), 0777) == 0 ? 0 : errno;
    if (!Checked(PathKind(directory) == PathDirectory, error, "cannot make directory", directory)) return false;
  }
  return true;
}

bool RemoveFile(const String& path) {
  String normal = NormalisePath(path, false);
  if (normal.IsEmpty() || Unnameable("cannot remove", normal)) return false;
  // unlink, not remove: remove would also take an empty directory away.
  int error = ::unlink(normal.AsAnsi().get()) == 0 ? 0 : errno;
  struct stat info;
  return Checked(::lstat(normal.AsAnsi().get(), &info) != 0, error, "cannot remove", normal);
}

bool RemoveDirectory(const String& path, bool recurse) {
  String normal = NormalisePath(path, true);
  if (normal.IsEmpty() || Unnameable("cannot remove directory", normal)) return false;
  AnsiText name = normal.AsAnsi();
  if (recurse) {
    struct stat info;
    if (::lstat(name.get(), &info) != 0) return Failed("cannot remove directory", normal);
    // A link, even one to a directory, is removed as itself: its target is
    // not part of the tree.
    if (S_ISLNK(info.st_mode)) {
      if (::unlink(name.get()) != 0) return Failed("cannot remove", normal);
      return PathKind(normal) == PathMissing;
    }
    int directory = ::open(name.get(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (directory < 0) return Failed("cannot open directory", normal);
    if (!RemoveContentsAt(directory, normal)) return false;
  }
  int error = ::rmdir(name.get()) == 0 ? 0 : errno;
  return Checked(PathKind(normal) == PathMissing, error, "cannot remove directory", normal);
}

bool RenamePath(const String& from, const String& to) {
  String a = NormalisePath(from, false);
  String b = NormalisePath(to, false);
  if (a.IsEmpty() || b.IsEmpty() || Unnameable("cannot rename", a) || Unnameable("cannot rename to", b)) return false;
  if (std::rename(a.AsAnsi().get(), b.AsAnsi().get()) == 0) return true;
  return Failed("cannot rename", a + " to "_s + b);
}

TDirectoryListing::~TDirectoryListing() { Close(); }

String TDirectoryListing::Next() {
  if (!dir_) return String();
  dirent* entry = ::readdir(static_cast<DIR*>(dir_));
  if (!entry) return String();
  return String(entry->d_name);
}

void TDirectoryListing::Close() {
  if (dir_) ::closedir(static_cast<DIR*>(dir_));
  dir_ = nullptr;
}

Ref<TDirectoryListing> OpenDirectoryListing(const String& path) {
  String normal = NormalisePath(path, true);
  if (normal.IsEmpty() || Unnameable("cannot list directory", normal)) return nullptr;
  DIR* dir = ::opendir(normal.AsAnsi().get());
  if (!dir) {
    Failed("cannot list directory", normal);
    return nullptr;
  }
  return Ref<TDirectoryListing>(new TDirectoryListing(dir));
}

String NextDirectoryEntry(TDirectoryListing* listing) { return Ref<TDirectoryListing>(listing)->Next(); }
void CloseDirectoryListing(TDirectoryListing* listing) { Ref<TDirectoryListing>(listing)->Close(); }

Array<String> ListDirectory(const String& path, bool skipDots) {
  Ref<TDirectoryListing> listing = OpenDirectoryListing(path);
  if (!listing) return NewArray<String>(0);
  std::vector<String> names;
  for (String name = listing->Next(); !name.IsEmpty(); name = listing->Next()) {
    if (skipDots && (name == "."_s || name == ".."_s)) continue;
    names.push_back(name);
  }
  listing->Close();
  Array<String> result = NewArray<String>(static_cast<std::int32_t>(names.size()));
  for (std::size_t i = 0; i < names.size(); ++i) (*result)[static_cast<std::int32_t>(i)] = names[i];
  return result;
}

// The name functions read the path as every other path function does, with
// "\\" as "/" ("dir\\file.png" names file.png in dir).
String FileNameOf(const String& path) {
  String normal = NormalisePath(path, false);
  std::int32_t slash = LastIndexOfChar(normal, u'/');
  return slash < 0 ? normal : Slice(normal, slash + 1, normal.Length());
}

String WithoutExtension(const String& path) {
  String normal = NormalisePath(path, false);
  std::int32_t dot = ExtensionDot(normal);
  return dot < 0 ? normal : Slice(normal, 0, dot);
}

String BaseNameOf(const String& path) { return FileNameOf(WithoutExtension(path)); }

String ExtensionOf(const String& path) {
  String normal = NormalisePath(path, false);
  std::int32_t dot = ExtensionDot(normal);
  return dot < 0 ? String() : Slice(normal, dot + 1, normal.Length());
}

String DirectoryOf(const String& path) {
  String normal = NormalisePath(path, false);
  std::int32_t slash = LastIndexOfChar(normal, u'/');
  if (slash < 0 || slash == normal.Length() - 1) return String(BadDirectory);
  return NormalisePath(Slice(normal, 0, slash), false);
}

Ref<TByteStream> OpenFileStream(const Ref<TObject>& url, int readable, int writeable) {
  InitFileSystem();
  Ref<TByteStream> stream = OpenUrlStream(url, readable, writeable);
  if (!stream || stream->Position() != -1) return stream;
  Ref<TBank> bank;
  try {
    bank = TBank::Load(Ref<TObject>(stream));
  } catch (...) {
    stream->Close();
    throw;
  }
  stream->Close();
  return NewBankByteStream(bank.Get());
}

Ref<TByteStream> OpenReadFile(const Ref<TObject>& url) { return OpenFileStream(url, 1, 0); }
Ref<TByteStream> OpenWriteFile(const Ref<TObject>& url) { return OpenFileStream(url, 0, 1); }
void CloseFileStream(TByteStream* stream) { Ref<TByteStream>(stream)->Close(); }

void InitFileSystem() {
  static bool done = false;
  if (done) return;
  done = true;
  InitStream();
  InitBanks();
}

}  // namespace cvx
