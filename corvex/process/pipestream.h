/// @file
/// A stream over the two ends of anonymous pipes, with a line reader that
/// never blocks.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/array.h"
#include "corvex/stream/stream.h"

namespace cvx {

/// A stream over the two ends of anonymous pipes (see the file comment).
class TPipeByteStream : public TByteStream {
 public:
  /// The size of the line reader's buffer.
  static constexpr std::int32_t kLineBufferSize = 4096;

  ~TPipeByteStream() override;

  /// 1 when no more bytes can come: none is held by the line reader and the
  /// read end is absent or closed, or the pipe is empty and every writer has
  /// closed it (a child that has exited); never waits.
  int AtEnd() override;
  /// Closes both descriptors that are present.
  void Close() override;
  /// Bytes kept by ReadTextLine come first, then the pipe (which may block
  /// until data arrives). 0 on failure, at the end, or without a read end.
  std::int32_t Read(void* buffer, std::int32_t count) override;
  /// 0 on failure (a closed reader included) or without a write end. Like Read,
  /// it may block: while the pipe is full, until the reader takes bytes or goes.
  std::int32_t Write(const void* buffer, std::int32_t count) override;
  /// The next complete line without its CR LF / LF, or the empty text when no
  /// complete line has arrived yet; never waits. Once every writer has closed
  /// the pipe, the bytes left after the last line feed are the last line. Raises
  /// "PipeStream ReadBuffer Overflow" when 4096 bytes without a line end are
  /// held and more are waiting.
  String ReadTextLine() override;

  /// Bytes waiting in the pipe, found without blocking (0 on failure).
  virtual std::int32_t BytesAvailable();
  /// Every byte that can be had without blocking: the bytes kept by the line
  /// reader, then those waiting in the pipe (the empty array when none).
  virtual Array<std::uint8_t> ReadAvailable();
  /// A stream over the given descriptors, which it then owns; -1 for an end
  /// that is absent.
  static Ref<TPipeByteStream> Wrap(int readHandle, int writeHandle);

  /// @{
  /// The descriptors, -1 for an absent or closed end.
  int ReadHandle() const noexcept { return readHandle_; }
  int WriteHandle() const noexcept { return writeHandle_; }
  /// @}
  /// Bytes read ahead by the line reader and not yet taken.
  std::int32_t Buffered() const noexcept { return buffered_; }

 private:
  /// True when the pipe can give nothing more (see AtEnd), bytes held aside.
  bool PipeEnded();
  /// Straight from the pipe, past the line buffer.
  std::int32_t ReadPipe(void* buffer, std::int32_t count);

  std::uint8_t lineBuffer_[kLineBufferSize];
  std::int32_t buffered_ = 0;
  int readHandle_ = -1;
  int writeHandle_ = -1;
};

/// @{
/// Module functions: Wrap, BytesAvailable, ReadAvailable and ReadTextLine of the
/// stream; a null stream raises the null object error.
Ref<TPipeByteStream> PipeStreamWrap(int readHandle, int writeHandle);
std::int32_t PipeBytesAvailable(TPipeByteStream* stream);
Array<std::uint8_t> PipeReadAvailable(TPipeByteStream* stream);
String PipeReadTextLine(TPipeByteStream* stream);
/// @}

}  // namespace cvx

#include "corvex/runtime/api_end.h"
