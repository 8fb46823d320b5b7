/// @file
/// IPv4 sockets over the BSD socket interface, host-name resolution and the
/// readiness test.
///
/// Addresses are 32-bit integers in host order whose most significant byte is
/// the first number of the dotted form (127.0.0.1 is 0x7F000001). No operation
/// raises: failures come back as 0, the null object or the empty text. Every
/// call blocks the calling thread (connect, send, receive, lookups); there is
/// no internal thread.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/array.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"

namespace cvx {

/// One IPv4 socket (TCP or UDP) over a platform descriptor. No method raises:
/// failures answer 0 or the null object.
class TNetSocket : public TObject {
 public:
  /// A socket with no descriptor (Handle() is 0; use NewTcp, NewUdp or FromHandle).
  TNetSocket();
  /// A socket that closes on Shut (autoClose 1) and was never shut is closed
  /// when it is collected, so that dropped sockets do not use up descriptors.
  ~TNetSocket() override;

  /// Platform send / receive; a negative result becomes 0. Sending to a peer
  /// that has gone answers 0 instead of raising SIGPIPE.
  virtual std::int32_t SendBytes(const void* buffer, std::int32_t count, int flags);
  /// Blocks until something arrives or the peer closes (0).
  virtual std::int32_t ReceiveBytes(void* buffer, std::int32_t size, int flags);
  /// Closes the platform socket when autoClose is 1, then every field reads -1.
  virtual void Shut();
  /// 0 when shut; a socket that is readable with nothing waiting (the peer has
  /// closed) is shut and answers 0.
  virtual int IsConnected();
  /// Binds to the port on every local address; 1 on success.
  virtual int BindPort(int port);
  /// Connects to address:port (blocking); 1 on success, 0 on failure.
  virtual int ConnectTo(std::int32_t address, int port);
  /// Starts listening for connections (backlog 0 takes the system's default); 1 on
  /// success, 0 on failure.
  virtual int StartListening(int backlog);
  /// Waits up to timeout ms (negative: forever) for a connection; the
  /// accepted socket (closing on Shut) or null.
  virtual Ref<TNetSocket> AcceptWait(int timeout);
  /// Bytes readable without blocking; 0 when the query fails.
  virtual std::int32_t BytesWaiting();
  /// Turns Nagle's algorithm off (flag != 0) or on for a TCP socket; a failure is
  /// ignored.
  virtual void SetNoDelay(int flag);

  /// The platform descriptor (-1 once shut).
  int Handle() const noexcept { return handle_; }
  /// @{
  /// The local and the remote address and port, as last refreshed (-1 once shut).
  std::int32_t OwnAddress() const noexcept { return ownAddress_; }
  int OwnPort() const noexcept { return ownPort_; }
  std::int32_t PeerAddress() const noexcept { return peerAddress_; }
  int PeerPort() const noexcept { return peerPort_; }
  /// @}
  /// 1 when Shut closes the descriptor, 0 when the socket only borrows it.
  int AutoClose() const noexcept { return autoClose_; }

  /// @{
  /// Reads the local / remote address and port from the system again (0 when
  /// unknown).
  virtual void RefreshOwnName();
  virtual void RefreshPeerName();
  /// @}

  /// Null when handle < 0.
  static Ref<TNetSocket> FromHandle(int handle, int autoClose);
  /// @{
  /// A new UDP / TCP socket that closes on Shut, or null when the system has no
  /// descriptor left.
  static Ref<TNetSocket> NewUdp();
  static Ref<TNetSocket> NewTcp();
  /// @}

 private:
  int handle_ = 0;
  int autoClose_ = 0;
  std::int32_t ownAddress_ = 0;
  int ownPort_ = 0;
  std::int32_t peerAddress_ = 0;
  int peerPort_ = 0;
};

/// @{
/// Module functions: each runs the TNetSocket method of the same name (NewUdp,
/// NewTcp, Shut, BindPort, ConnectTo ...) and returns what it returns; a null
/// socket raises the null object error.
Ref<TNetSocket> NewUdpSocket();
Ref<TNetSocket> NewTcpSocket();
void SocketShut(TNetSocket* socket);
int SocketBindPort(TNetSocket* socket, int port);
int SocketConnectTo(TNetSocket* socket, std::int32_t address, int port);
int SocketStartListening(TNetSocket* socket, int backlog);
Ref<TNetSocket> SocketAcceptWait(TNetSocket* socket, int timeout);
int SocketIsConnected(TNetSocket* socket);
std::int32_t SocketBytesWaiting(TNetSocket* socket);
std::int32_t SocketOwnAddress(TNetSocket* socket);
int SocketOwnPort(TNetSocket* socket);
std::int32_t SocketPeerAddress(TNetSocket* socket);
int SocketPeerPort(TNetSocket* socket);
/// @}

/// "127.0.0.1" for 0x7F000001.
String AddressToText(std::int32_t address);
/// Every IPv4 address of the name, in the lookup's order; empty when the lookup
/// fails or does not answer with IPv4 addresses.
Array<std::int32_t> ResolveHostAddresses(const String& host);
/// Element index of ResolveHostAddresses, or 0 (also for index < 0, without a lookup).
std::int32_t ResolveHostAddress(const String& host, int index);
/// The host name of the address, or "" when the reverse lookup fails.
String ResolveAddressName(std::int32_t address);

/// Waits until one of the handles is ready or timeout ms have passed (negative:
/// forever). Handles that are not ready are replaced with 0 in their arrays;
/// arrays may be null when their count is 0. At most 64 handles per array are
/// looked at, and any descriptor number may be among them. The result is the
/// number of ready handles (a handle counts once per array it is ready in),
/// negative on error (also for a negative handle or one that is not open).
int SocketReadiness(int* readHandles, int readCount, int* writeHandles, int writeCount, int* errorHandles,
                    int errorCount, int timeout);

/// The socket module and the "tcp" and "http" url openers.
void InitSockets();

/// Shuts every socket still open that closes on Shut (autoClose 1); sockets
/// that only borrow a handle are left alone. StopCorvex calls it. Returns how
/// many it shut.
int ShutAllSockets() noexcept;

}  // namespace cvx

#include "corvex/runtime/api_end.h"
