#include "corvex/process/pipestream.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

namespace cvx {

namespace {

void CloseHandle(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// write() with SIGPIPE held back: a child that has closed its input must give
// a failed write, not end this program. A SIGPIPE raised by this write is
// taken off the pending set before the mask is restored.
ssize_t WriteWithoutSigpipe(int fd, const void* buffer, std::size_t count) {
  sigset_t pipeOnly, previous, pending;
  sigemptyset(&pipeOnly);
  sigaddset(&pipeOnly, SIGPIPE);
  sigpending(&pending);
  const bool wasPending = sigismember(&pending, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
  ssize_t n;
  do {
    n = ::write(fd, buffer, count);
  } while (n < 0 && errno == EINTR);
  const int savedErrno = errno;
  if (n < 0 && errno == EPIPE && !wasPending) {
    const timespec zero{0, 0};
    while (sigtimedwait(&pipeOnly, nullptr, &zero) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = savedErrno;
  return n;
}

}  // namespace

TPipeByteStream::~TPipeByteStream() {
  CloseHandle(readHandle_);
  CloseHandle(writeHandle_);
}

void TPipeByteStream::Close() {
  CloseHandle(readHandle_);
  CloseHandle(writeHandle_);
}

bool TPipeByteStream::PipeEnded() {
  if (readHandle_ < 0) return true;
  // A pipe whose writers have all gone polls as hung up, with or without data
  // left in it; only an empty one has nothing more to give.
  pollfd entry{readHandle_, POLLIN, 0};
  int n;
  do {
    n = ::poll(&entry, 1, 0);
  } while (n < 0 && errno == EINTR);
  if (n <= 0 || (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0) return false;
  int waiting = 0;
  return ::ioctl(readHandle_, FIONREAD, &waiting) < 0 || waiting <= 0;
}

int TPipeByteStream::AtEnd() { return buffered_ == 0 && PipeEnded() ? 1 : 0; }

std::int32_t TPipeByteStream::ReadPipe(void* buffer, std::int32_t count) {
  if (readHandle_ < 0 || count <= 0) return 0;
  ssize_t n;
  do {
    n = ::read(readHandle_, buffer, static_cast<std::size_t>(count));
  } while (n < 0 && errno == EINTR);
  return n > 0 ? static_cast<std::int32_t>(n) : 0;
}

std::int32_t TPipeByteStream::Read(void* buffer, std::int32_t count) {
  if (count <= 0) return 0;
  if (buffered_ > 0) {
    // Bytes the line reader has taken from the pipe are the oldest ones.
    const std::int32_t n = count < buffered_ ? count : buffered_;
    std::memcpy(buffer, lineBuffer_, static_cast<std::size_t>(n));
    std::memmove(lineBuffer_, lineBuffer_ + n, static_cast<std::size_t>(buffered_ - n));
    buffered_ -= n;
    return n;
  }
  return ReadPipe(buffer, count);
}

std::int32_t TPipeByteStream::Write(const void* buffer, std::int32_t count) {
  if (writeHandle_ < 0 || count <= 0) return 0;
  const ssize_t n = WriteWithoutSigpipe(writeHandle_, buffer, static_cast<std::size_t>(count));
  return n > 0 ? static_cast<std::int32_t>(n) : 0;
}

std::int32_t TPipeByteStream::BytesAvailable() {
  if (readHandle_ < 0) return 0;
  int waiting = 0;
  if (::ioctl(readHandle_, FIONREAD, &waiting) < 0 || waiting < 0) return 0;
  return waiting;
}

Array<std::uint8_t> TPipeByteStream::ReadAvailable() {
  const std::int32_t waiting = BytesAvailable();
  Array<std::uint8_t> bytes = NewArray<std::uint8_t>(buffered_ + waiting);
  std::int32_t filled = 0;
  if (buffered_ > 0) {
    std::memcpy(bytes->Data(), lineBuffer_, static_cast<std::size_t>(buffered_));
    filled = buffered_;
    buffered_ = 0;
  }
  // FIONREAD counted these bytes, so the reads do not block.
  while (filled < bytes->Length()) {
    const std::int32_t n = ReadPipe(bytes->Data() + filled, bytes->Length() - filled);
    if (n <= 0) break;
    filled += n;
  }
  if (filled == bytes->Length()) return bytes;
  Array<std::uint8_t> shorter = NewArray<std::uint8_t>(filled);
  if (filled > 0) std::memcpy(shorter->Data(), bytes->Data(), static_cast<std::size_t>(filled));
  return shorter;
}

String TPipeByteStream::ReadTextLine() {
  std::int32_t waiting = BytesAvailable();
  if (waiting > 0) {
    if (waiting > kLineBufferSize - buffered_) waiting = kLineBufferSize - buffered_;
    if (waiting <= 0) throw TRuntimeError("PipeStream ReadBuffer Overflow");
    buffered_ += ReadPipe(lineBuffer_ + buffered_, waiting);
  }
  const void* lf = std::memchr(lineBuffer_, '\n', static_cast<std::size_t>(buffered_));
  std::int32_t end;
  if (lf) {
    end = static_cast<std::int32_t>(static_cast<const std::uint8_t*>(lf) - lineBuffer_);
  } else if (buffered_ > 0 && PipeEnded()) {
    // The writer has gone: no line feed can come, the bytes held are the last line.
    end = buffered_;
  } else {
    return String();
  }
  std::int32_t stop = end;
  if (stop > 0 && lineBuffer_[stop - 1] == '\r') --stop;
  const std::int32_t start = lineBuffer_[0] == '\r' && stop > 0 ? 1 : 0;
  String line = stop > start ? String::OfBytes(lineBuffer_ + start, stop - start) : String();
  const std::int32_t taken = end < buffered_ ? end + 1 : end;
  buffered_ -= taken;
  std::memmove(lineBuffer_, lineBuffer_ + taken, static_cast<std::size_t>(buffered_));
  return line;
}

Ref<TPipeByteStream> TPipeByteStream::Wrap(int readHandle, int writeHandle) {
  Ref<TPipeByteStream> stream(new TPipeByteStream());
  stream->readHandle_ = readHandle >= 0 ? readHandle : -1;
  stream->writeHandle_ = writeHandle >= 0 ? writeHandle : -1;
  return stream;
}

Ref<TPipeByteStream> PipeStreamWrap(int readHandle, int writeHandle) {
  return TPipeByteStream::Wrap(readHandle, writeHandle);
}
std::int32_t PipeBytesAvailable(TPipeByteStream* stream) { return Ref<TPipeByteStream>(stream)->BytesAvailable(); }
Array<std::uint8_t> PipeReadAvailable(TPipeByteStream* stream) { return Ref<TPipeByteStream>(stream)->ReadAvailable(); }
String PipeReadTextLine(TPipeByteStream* stream) { return Ref<TPipeByteStream>(stream)->ReadTextLine(); }

}  // namespace cvx
