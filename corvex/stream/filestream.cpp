#include "corvex/stream/filestream.h"

#include <algorithm>

#include <dirent.h>
#include <stdio_ext.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <string>

#include "corvex/runtime/filesystemname.h"

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
int TFileStream::AtEnd() { return pos_ == size_ ? 1 : 0; }
std::int32_t TFileStream::Size() { return size_; }

std::int32_t TFileStream::Seek(std::int32_t position) {
  if (!file_) return pos_;
  // A file only read cannot pass its end, as a memory or bank stream cannot:
  // a position past it would never be at the end, and every read there would
  // raise. A written file may (the next write leaves a gap of zeros).
  if (mode_ == kModeRead) position = std::clamp(position, 0, size_);
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

namespace {

// Holds a handle's stdio lock while it lives (when `take`); released however
// the line ends, a raising allocation included.
class HandleLock {
 public:
  HandleLock(std::FILE* file, bool take) : file_(take ? file : nullptr) {
    if (file_) flockfile(file_);
  }
  ~HandleLock() {
    if (file_) funlockfile(file_);
  }
  HandleLock(const HandleLock&) = delete;
  HandleLock& operator=(const HandleLock&) = delete;

 private:
  std::FILE* file_;
};

// The line at stdio's read position, when it lies whole in the buffer with its
// terminator: the String is made from the buffer itself, with no copy through
// a local buffer and no call per byte. False (nothing taken) when the buffer
// holds no line end (it is empty, or the line goes on past it), or when the C
// library keeps its buffer out of reach.
bool LineFromBuffer(std::FILE* file, String* line, std::int32_t* consumed) {
#if defined(__GLIBC__)
  // glibc's get area: the bytes [_IO_read_ptr, _IO_read_end) are read but not
  // yet taken (getc takes them one at a time); moving the pointer takes them.
  const auto* at = reinterpret_cast<const std::uint8_t*>(file->_IO_read_ptr);
  const auto* end = reinterpret_cast<const std::uint8_t*>(file->_IO_read_end);
  if (!at || at >= end) return false;
  const auto available = static_cast<std::size_t>(end - at);
  if (available > static_cast<std::size_t>(INT32_MAX)) return false;
  bool carriageReturn = false;
  const auto length =
      static_cast<std::size_t>(detail::TextLineLength(at, static_cast<std::int32_t>(available), &carriageReturn));
  // Without its end in the buffer the line goes on in the file.
  if (length == available) return false;
  if (carriageReturn) {
    *line = detail::TextLineIn(at, static_cast<std::int32_t>(length + 1), consumed);
  } else {
    *line = String::OfBytes(at, static_cast<std::int32_t>(length));
    *consumed = static_cast<std::int32_t>(length + 1);
  }
  file->_IO_read_ptr += *consumed;
  return true;
#else
  (void)file;
  (void)line;
  (void)consumed;
  return false;
#endif
}

}  // namespace

String TFileStream::ReadTextLine() {
  if (!file_) return String();
  PrepareFor(LastTransfer::kRead);
  // A handle of the caller's may be shared with other threads: locked once
  // for the whole line (the stream's own handles lock nothing).
  HandleLock lock(file_, !owned_);
  String line;
  std::int32_t consumed = 0;
  if (LineFromBuffer(file_, &line, &consumed)) {
    pos_ += consumed;
    return line;
  }
  // The line ends past stdio's buffer (or the buffer is empty): byte by byte,
  // stdio refilling as it goes. Short lines fit the local buffer; a longer
  // one continues in `spill`.
  char local[256];
  std::int32_t used = 0;
  std::string spill;
  for (;;) {
    int byte = getc_unlocked(file_);
    if (byte == EOF) break;
    ++consumed;
    if (byte == 0 || byte == 10) break;
    if (byte == 13) continue;
    if (used == static_cast<std::int32_t>(sizeof local)) {
      spill.append(local, sizeof local);
      used = 0;
    }
    local[used++] = static_cast<char>(byte);
  }
  pos_ += consumed;
  if (spill.empty()) return String::OfBytes(local, used);
  spill.append(local, static_cast<std::size_t>(used));
  return String::OfBytes(spill.data(), static_cast<std::int32_t>(spill.size()));
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
  // Cut short at a 0 byte the name would open (or truncate) another file.
  if (!IsWholeFileSystemName(path)) return nullptr;
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
  // The stream owns this handle and only the main thread uses streams, so
  // stdio need not lock it on every call.
  __fsetlocking(file, FSETLOCKING_BYCALLER);
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
