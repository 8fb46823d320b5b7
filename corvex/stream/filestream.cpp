#include "corvex/stream/filestream.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <string>

namespace cvx {

namespace {

std::int32_t ClampPosition(long value) {
  if (value < 0) return 0;
  if (value > INT32_MAX) return INT32_MAX;
  return static_cast<std::int32_t>(value);
}

std::string SlashedPath(const String& path) {
  std::string bytes = path.ToStd();
  for (char& c : bytes)
    if (c == '\\') c = '/';
  return bytes;
}

}  // namespace

TFileStream::~TFileStream() {
  if (owned_ && file_) std::fclose(file_);
}

std::int32_t TFileStream::Position() { return pos_; }
std::int32_t TFileStream::Size() { return size_; }

std::int32_t TFileStream::Seek(std::int32_t position) {
  if (!file_) return pos_;
  std::fseek(file_, position, SEEK_SET);
  pos_ = ClampPosition(std::ftell(file_));
  last_ = LastTransfer::kNone;  // a seek lets the next transfer go either way
  return pos_;
}

void TFileStream::Flush() {
  if (file_) std::fflush(file_);
}

void TFileStream::Close() {
  if (!file_) return;
  Flush();
  std::fclose(file_);
  pos_ = 0;
  size_ = 0;
  file_ = nullptr;
  last_ = LastTransfer::kNone;
}

void TFileStream::PrepareFor(LastTransfer next) {
  // A read that follows a write (or the reverse) on one FILE needs a
  // positioning call in between; without it the transfer is undefined.
  if (last_ != LastTransfer::kNone && last_ != next) std::fseek(file_, 0, SEEK_CUR);
  last_ = next;
}

std::int32_t TFileStream::Read(void* buffer, std::int32_t count) {
  if (!file_ || count <= 0) return 0;
  PrepareFor(LastTransfer::kRead);
  auto n = static_cast<std::int32_t>(std::fread(buffer, 1, static_cast<std::size_t>(count), file_));
  pos_ += n;
  return n;
}

std::int32_t TFileStream::Write(const void* buffer, std::int32_t count) {
  if (!file_ || count <= 0) return 0;
  PrepareFor(LastTransfer::kWrite);
  auto n = static_cast<std::int32_t>(std::fwrite(buffer, 1, static_cast<std::size_t>(count), file_));
  pos_ += n;
  if (pos_ > size_) size_ = pos_;
  return n;
}

Ref<TFileStream> TFileStream::OpenCFile(const String& path, int readable, int writeable) {
  const char* how = "rb";
  int mode = kModeRead;
  if (readable && writeable) {
    how = "r+b";
    mode = kModeReadWrite;
  } else if (writeable) {
    how = "wb";
    mode = kModeWrite;
  }
  std::string name = SlashedPath(path);
  if (name.empty()) return nullptr;
  std::FILE* file = std::fopen(name.c_str(), how);
  if (!file) return nullptr;
  // stdio opens directories for reading on this platform; they are not files.
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
    std::fclose(file);
    errno = EISDIR;
    return nullptr;
  }
  Ref<TFileStream> stream = FromFileHandle(file, mode);
  stream->owned_ = true;
  return stream;
}

Ref<TFileStream> TFileStream::FromFileHandle(std::FILE* file, int mode) {
  if (!file) return nullptr;
  Ref<TFileStream> stream(new TFileStream());
  stream->file_ = file;
  stream->mode_ = mode;
  long start = std::ftell(file);
  if (start >= 0 && std::fseek(file, 0, SEEK_END) == 0) {
    stream->size_ = ClampPosition(std::ftell(file));
    std::fseek(file, start, SEEK_SET);
    stream->pos_ = ClampPosition(start);
  }
  // A handle that cannot seek (a pipe) keeps position and size 0.
  return stream;
}

// ---- CasedPath ------------------------------------------------------------------

namespace {

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode));
}

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string FindCased(const std::string& path) {
  if (path.empty()) return std::string();
  if (Exists(path)) return path;
  // The last "/" at or before the second-to-last character: a trailing "/"
  // stays part of the name.
  std::string::size_type slash = std::string::npos;
  if (path.size() >= 2) slash = path.rfind('/', path.size() - 2);
  std::string prefix;
  std::string directory = ".";
  std::string name = path;
  if (slash == 0) {
    // An absolute path's first component is searched in the root directory.
    prefix.assign(1, '/');
    directory.assign(1, '/');
    name = path.substr(1);
  } else if (slash != std::string::npos) {
    prefix = FindCased(path.substr(0, slash));
    if (prefix.empty()) return std::string();
    directory = prefix;
    name = path.substr(slash + 1);
  }
  DIR* dir = opendir(directory.c_str());
  if (!dir) return std::string();
  std::string wanted = LowerAscii(name);
  std::string found;
  while (dirent* entry = readdir(dir)) {
    if (LowerAscii(entry->d_name) == wanted) {
      found = entry->d_name;
      break;
    }
  }
  closedir(dir);
  if (found.empty()) return std::string();
  if (prefix.empty()) return found;
  if (prefix == "/") return "/" + found;
  return prefix + "/" + found;
}

}  // namespace

String CasedPath(const String& path) { return String(FindCased(path.ToStd())); }

}  // namespace cvx
