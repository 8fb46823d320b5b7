/// @file
/// A connected socket seen as a byte stream, and TCP connections by host name.
///
/// Reads and writes block until the platform moves something. The stream has
/// no size (0) and no position (-1), so loaders read it until AtEnd. Once the
/// peer has closed, AtEnd closes the stream and answers 1.
#pragma once

#include <cstdint>

#include "corvex/net/socket.h"
#include "corvex/runtime/api_begin.h"
#include "corvex/stream/stream.h"

namespace cvx {

/// A connected socket seen as a byte stream; at its end once the peer has closed.
class TSocketByteStream : public TByteStream {
 public:
  int AtEnd() override;
  /// Shuts the socket when the stream owns it (autoClose 1), then lets go of it.
  void Close() override;
  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;

  /// The socket, or null once the stream is closed.
  virtual Ref<TNetSocket> Socket();

  /// A stream over socket (null for a null socket); with autoClose 1 closing the
  /// stream shuts the socket.
  static Ref<TSocketByteStream> Wrap(TNetSocket* socket, int autoClose);
  /// The first address of host, connected on port; null when the name does not
  /// resolve or the connection fails (no socket stays open then).
  static Ref<TSocketByteStream> ConnectTcp(const String& host, int port);

 private:
  Ref<TNetSocket> socket_;
  int autoClose_ = 0;
};

/// The "tcp" opener's path: "host" (port 80) or "host:port".
Ref<TSocketByteStream> OpenTcpUrl(const String& path);
/// The "http" opener's path: "host" or "host/request/path". Sends an HTTP/1.0
/// GET and skips the status line and headers; the stream is positioned at the
/// first byte of the body. Null when the connection fails, or when the
/// headers run past kMaxHttpHeaderBytes without an empty line.
Ref<TSocketByteStream> OpenHttpUrl(const String& path);
/// The most header bytes OpenHttpUrl reads before it gives up.
inline constexpr std::int32_t kMaxHttpHeaderBytes = 65536;
/// The request and header skipping of OpenHttpUrl over a connected stream:
/// the stream itself, at the body, or null (the stream closed) when the
/// request cannot be sent or the headers are too long.
Ref<TSocketByteStream> HttpGet(TSocketByteStream* stream, const String& host, const String& request);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
