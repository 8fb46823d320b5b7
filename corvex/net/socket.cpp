#include "corvex/net/socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "corvex/runtime/log.h"

namespace cvx {

namespace {

constexpr int kMaxReadyHandles = 64;

sockaddr_in MakeAddress(std::int32_t address, int port) {
  sockaddr_in record{};
  record.sin_family = AF_INET;
  record.sin_port = htons(static_cast<std::uint16_t>(port));
  record.sin_addr.s_addr = htonl(static_cast<std::uint32_t>(address));
  return record;
}

// Address and port of a record filled by getsockname / getpeername.
void ReadAddress(const sockaddr_in& record, std::int32_t& address, int& port) {
  address = static_cast<std::int32_t>(ntohl(record.sin_addr.s_addr));
  port = ntohs(record.sin_port);
}

// What poll reports for each kind of wait, in the meaning select gives it:
// an end of stream or an error makes a handle readable and writable, and the
// error kind waits for urgent data.
constexpr short kReadEvents = POLLIN | POLLHUP | POLLERR;
constexpr short kWriteEvents = POLLOUT | POLLHUP | POLLERR;
constexpr short kErrorEvents = POLLPRI;

// Appends the looked-at handles of one array; false for a negative handle.
bool AddWaits(std::vector<pollfd>& waits, const int* handles, int count, short events) {
  for (int i = 0; i < std::min(count, kMaxReadyHandles); ++i) {
    if (handles[i] < 0) return false;
    waits.push_back(pollfd{handles[i], events, 0});
  }
  return true;
}

// Replaces the handles that are not ready with 0; counts the ready ones.
// first is the array's first entry in waits.
int KeepReady(const std::vector<pollfd>& waits, std::size_t first, int* handles, int count, short wanted) {
  int ready = 0;
  for (int i = 0; i < count; ++i) {
    if (i < kMaxReadyHandles && (waits[first + static_cast<std::size_t>(i)].revents & wanted) != 0) {
      ++ready;
    } else {
      handles[i] = 0;
    }
  }
  return ready;
}

int WaitReadable(int handle, int timeout) {
  int handles[1] = {handle};
  int ready = SocketReadiness(handles, 1, nullptr, 0, nullptr, 0, timeout);
  return ready > 0 && handles[0] == handle;
}

}  // namespace

int SocketReadiness(int* readHandles, int readCount, int* writeHandles, int writeCount, int* errorHandles,
                    int errorCount, int timeout) {
  // poll, not select: an fd_set cannot hold descriptors from FD_SETSIZE on,
  // and a program with many files open gets such descriptors for its sockets.
  std::vector<pollfd> waits;
  const std::size_t readFirst = 0;
  if (!AddWaits(waits, readHandles, readCount, POLLIN)) return -1;
  const std::size_t writeFirst = waits.size();
  if (!AddWaits(waits, writeHandles, writeCount, POLLOUT)) return -1;
  const std::size_t errorFirst = waits.size();
  if (!AddWaits(waits, errorHandles, errorCount, POLLPRI)) return -1;
  int polled;
  do {
    polled = poll(waits.data(), static_cast<nfds_t>(waits.size()), timeout < 0 ? -1 : timeout);
  } while (polled < 0 && errno == EINTR && timeout < 0);
  if (polled < 0) return polled;
  for (const pollfd& wait : waits) {
    // A descriptor that is not open: select fails the whole wait with EBADF.
    if (wait.revents & POLLNVAL) {
      errno = EBADF;
      return -1;
    }
  }
  return KeepReady(waits, readFirst, readHandles, readCount, kReadEvents) +
         KeepReady(waits, writeFirst, writeHandles, writeCount, kWriteEvents) +
         KeepReady(waits, errorFirst, errorHandles, errorCount, kErrorEvents);
}

// ---- TNetSocket -----------------------------------------------------------------

namespace {

// Every socket object alive, for ShutAllSockets.
std::mutex liveSocketsLock;
std::unordered_set<TNetSocket*>& LiveSockets() {
  static auto* sockets = new std::unordered_set<TNetSocket*>();
  return *sockets;
}

}  // namespace

TNetSocket::TNetSocket() {
  std::lock_guard<std::mutex> hold(liveSocketsLock);
  LiveSockets().insert(this);
}

TNetSocket::~TNetSocket() {
  {
    std::lock_guard<std::mutex> hold(liveSocketsLock);
    LiveSockets().erase(this);
  }
  if (handle_ >= 0 && autoClose_ == 1) close(handle_);
}

int ShutAllSockets() noexcept {
  // Shut under the lock, without taking references: a socket being collected
  // is already out of the set, and Shut itself makes or drops no socket.
  std::lock_guard<std::mutex> hold(liveSocketsLock);
  int shut = 0;
  for (TNetSocket* socket : LiveSockets()) {
    if (socket->Handle() < 0 || socket->AutoClose() != 1) continue;
    try {
      socket->Shut();
      ++shut;
    } catch (...) {
    }
  }
  return shut;
}

std::int32_t TNetSocket::SendBytes(const void* buffer, std::int32_t count, int flags) {
  if (handle_ < 0 || count <= 0) return 0;
  ssize_t sent = send(handle_, buffer, static_cast<std::size_t>(count), flags | MSG_NOSIGNAL);
  return sent < 0 ? 0 : static_cast<std::int32_t>(sent);
}

std::int32_t TNetSocket::ReceiveBytes(void* buffer, std::int32_t size, int flags) {
  if (handle_ < 0 || size <= 0) return 0;
  ssize_t got;
  do {
    got = recv(handle_, buffer, static_cast<std::size_t>(size), flags);
  } while (got < 0 && errno == EINTR);
  return got < 0 ? 0 : static_cast<std::int32_t>(got);
}

void TNetSocket::Shut() {
  if (handle_ < 0) return;
  if (autoClose_ == 1) close(handle_);
  handle_ = ownAddress_ = ownPort_ = peerAddress_ = peerPort_ = -1;
}

int TNetSocket::IsConnected() {
  if (handle_ < 0) return 0;
  if (!WaitReadable(handle_, 0)) return 1;
  if (BytesWaiting() > 0) return 1;
  Shut();
  return 0;
}

int TNetSocket::BindPort(int port) {
  if (handle_ < 0 || port < 0 || port > 65535) return 0;
  sockaddr_in record = MakeAddress(INADDR_ANY, port);
  if (bind(handle_, reinterpret_cast<sockaddr*>(&record), sizeof record) != 0) {
    LogWarning("cannot bind a socket to port %d: %s", port, std::strerror(errno));
    return 0;
  }
  RefreshOwnName();
  return 1;
}

int TNetSocket::ConnectTo(std::int32_t address, int port) {
  if (handle_ < 0 || port < 0 || port > 65535) return 0;
  sockaddr_in record = MakeAddress(address, port);
  if (connect(handle_, reinterpret_cast<sockaddr*>(&record), sizeof record) != 0) {
    const int error = errno;
    LogWarning("cannot connect to %s:%d: %s", AddressToText(address).ToStd().c_str(), port, std::strerror(error));
    return 0;
  }
  RefreshOwnName();
  RefreshPeerName();
  return 1;
}

int TNetSocket::StartListening(int backlog) {
  if (handle_ < 0) return 0;
  if (listen(handle_, backlog) == 0) return 1;
  LogWarning("cannot listen on port %d: %s", ownPort_, std::strerror(errno));
  return 0;
}

Ref<TNetSocket> TNetSocket::AcceptWait(int timeout) {
  if (handle_ < 0 || !WaitReadable(handle_, timeout)) return nullptr;
  int accepted = accept(handle_, nullptr, nullptr);
  // 0 is a valid descriptor here (a program may run with its stdin closed).
  if (accepted < 0) return nullptr;
  return FromHandle(accepted, 1);
}

std::int32_t TNetSocket::BytesWaiting() {
  if (handle_ < 0) return 0;
  int waiting = 0;
  if (ioctl(handle_, FIONREAD, &waiting) != 0) return 0;
  return waiting;
}

void TNetSocket::SetNoDelay(int flag) {
  if (handle_ < 0) return;
  std::int32_t value = flag;
  setsockopt(handle_, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value);
}

void TNetSocket::RefreshOwnName() {
  sockaddr_in record{};
  socklen_t length = sizeof record;
  if (handle_ < 0 || getsockname(handle_, reinterpret_cast<sockaddr*>(&record), &length) != 0) {
    ownAddress_ = ownPort_ = 0;
    return;
  }
  ReadAddress(record, ownAddress_, ownPort_);
}

void TNetSocket::RefreshPeerName() {
  sockaddr_in record{};
  socklen_t length = sizeof record;
  if (handle_ < 0 || getpeername(handle_, reinterpret_cast<sockaddr*>(&record), &length) != 0) {
    peerAddress_ = peerPort_ = 0;
    return;
  }
  ReadAddress(record, peerAddress_, peerPort_);
}

Ref<TNetSocket> TNetSocket::FromHandle(int handle, int autoClose) {
  if (handle < 0) return nullptr;
  Ref<TNetSocket> socket = new TNetSocket();
  socket->handle_ = handle;
  socket->autoClose_ = autoClose;
  socket->RefreshOwnName();
  socket->RefreshPeerName();
  return socket;
}

Ref<TNetSocket> TNetSocket::NewUdp() {
  int handle = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (handle < 0) {
    LogWarning("cannot make a UDP socket: %s", std::strerror(errno));
    return nullptr;
  }
  return FromHandle(handle, 1);
}

Ref<TNetSocket> TNetSocket::NewTcp() {
  int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (handle < 0) {
    LogWarning("cannot make a TCP socket: %s", std::strerror(errno));
    return nullptr;
  }
  return FromHandle(handle, 1);
}

// ---- Free functions ---------------------------------------------------------------

Ref<TNetSocket> NewUdpSocket() { return TNetSocket::NewUdp(); }
Ref<TNetSocket> NewTcpSocket() { return TNetSocket::NewTcp(); }
void SocketShut(TNetSocket* socket) { Ref<TNetSocket>(socket)->Shut(); }
int SocketBindPort(TNetSocket* socket, int port) { return Ref<TNetSocket>(socket)->BindPort(port); }
int SocketConnectTo(TNetSocket* socket, std::int32_t address, int port) {
  return Ref<TNetSocket>(socket)->ConnectTo(address, port);
}
int SocketStartListening(TNetSocket* socket, int backlog) { return Ref<TNetSocket>(socket)->StartListening(backlog); }
Ref<TNetSocket> SocketAcceptWait(TNetSocket* socket, int timeout) {
  return Ref<TNetSocket>(socket)->AcceptWait(timeout);
}
int SocketIsConnected(TNetSocket* socket) { return Ref<TNetSocket>(socket)->IsConnected(); }
std::int32_t SocketBytesWaiting(TNetSocket* socket) { return Ref<TNetSocket>(socket)->BytesWaiting(); }
std::int32_t SocketOwnAddress(TNetSocket* socket) { return Ref<TNetSocket>(socket)->OwnAddress(); }
int SocketOwnPort(TNetSocket* socket) { return Ref<TNetSocket>(socket)->OwnPort(); }
std::int32_t SocketPeerAddress(TNetSocket* socket) { return Ref<TNetSocket>(socket)->PeerAddress(); }
int SocketPeerPort(TNetSocket* socket) { return Ref<TNetSocket>(socket)->PeerPort(); }

// ---- Addresses ----------------------------------------------------------------------

String AddressToText(std::int32_t address) {
  auto bits = static_cast<std::uint32_t>(address);
  String text = String::OfInt(static_cast<std::int32_t>(bits >> 24));
  for (int shift = 16; shift >= 0; shift -= 8) {
    text = text + "."_s + String::OfInt(static_cast<std::int32_t>((bits >> shift) & 255));
  }
  return text;
}

Array<std::int32_t> ResolveHostAddresses(const String& host) {
  // getaddrinfo is the reentrant lookup; asking for IPv4 stream addresses
  // gives each address once, in the resolver's order.
  std::string name = host.ToStd();
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* answer = nullptr;
  if (name.empty() || name.find('\0') != std::string::npos) return NewArray<std::int32_t>(0);
  if (const int failed = getaddrinfo(name.c_str(), nullptr, &hints, &answer); failed != 0) {
    LogWarning("cannot look up host \"%s\": %s", name.c_str(),
               failed == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(failed));
    return NewArray<std::int32_t>(0);
  }
  std::int32_t count = 0;
  for (addrinfo* at = answer; at; at = at->ai_next) {
    if (at->ai_family == AF_INET && at->ai_addrlen >= sizeof(sockaddr_in)) ++count;
  }
  Array<std::int32_t> addresses = NewArray<std::int32_t>(count);
  std::int32_t index = 0;
  for (addrinfo* at = answer; at; at = at->ai_next) {
    if (at->ai_family != AF_INET || at->ai_addrlen < sizeof(sockaddr_in)) continue;
    sockaddr_in record;
    std::memcpy(&record, at->ai_addr, sizeof record);
    addresses[index++] = static_cast<std::int32_t>(ntohl(record.sin_addr.s_addr));
  }
  freeaddrinfo(answer);
  return addresses;
}

std::int32_t ResolveHostAddress(const String& host, int index) {
  if (index < 0) return 0;
  Array<std::int32_t> addresses = ResolveHostAddresses(host);
  return index < addresses->Length() ? addresses[index] : 0;
}

String ResolveAddressName(std::int32_t address) {
  sockaddr_in record = MakeAddress(address, 0);
  char name[NI_MAXHOST];
  if (getnameinfo(reinterpret_cast<sockaddr*>(&record), sizeof record, name, sizeof name, nullptr, 0, NI_NAMEREQD) !=
      0) {
    return String();
  }
  return String::OfAnsi(name);
}

}  // namespace cvx
