#include "corvex/net/socket.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "tests/net/loopback_server.h"
#include "tests/runtime/test_helpers.h"
#include "tests/support/log_capture.h"

namespace cvx {
namespace {

using testing::FreePort;
using testing::LoopbackServer;
using testing::OpenDescriptors;
using testing::ReadUntil;
using testing::SendAll;

constexpr std::int32_t kLoopback = 0x7F000001;

TEST(Addresses, TextAndLookupsKeepTheDottedByteOrder) {
  InitSockets();
  EXPECT_EQ(AddressToText(kLoopback).ToStd(), "127.0.0.1");
  // The top bit set: the address is still read as four unsigned bytes.
  EXPECT_EQ(AddressToText(static_cast<std::int32_t>(0xC0A8FE01u)).ToStd(), "192.168.254.1");
  EXPECT_EQ(AddressToText(-1).ToStd(), "255.255.255.255");

  Array<std::int32_t> dotted = ResolveHostAddresses("127.0.0.1"_s);
  ASSERT_EQ(dotted->Length(), 1);
  EXPECT_EQ(dotted[0], kLoopback);
  EXPECT_EQ(ResolveHostAddress("10.1.2.3"_s, 0), 0x0A010203);
  EXPECT_EQ(ResolveHostAddress("10.1.2.3"_s, 1), 0);
  EXPECT_EQ(ResolveHostAddress("10.1.2.3"_s, -1), 0);

  Array<std::int32_t> local = ResolveHostAddresses("localhost"_s);
  bool hasLoopback = false;
  for (std::int32_t address : *local) hasLoopback |= address == kLoopback;
  EXPECT_TRUE(hasLoopback);
}

TEST(Addresses, NamesThatDoNotResolveGiveNothing) {
  EXPECT_EQ(ResolveHostAddresses("no-such-host.invalid"_s)->Length(), 0);
  EXPECT_EQ(ResolveHostAddresses(String())->Length(), 0);
  for (int index = -1; index < 3; ++index) EXPECT_EQ(ResolveHostAddress("no-such-host.invalid"_s, index), 0);
  EXPECT_FALSE(ResolveAddressName(kLoopback).IsEmpty());
}

TEST(Sockets, ListenAcceptTransferAndPeerClose) {
  Ref<TNetSocket> server = NewTcpSocket();
  ASSERT_TRUE(server);
  EXPECT_EQ(server->AutoClose(), 1);
  ASSERT_EQ(SocketBindPort(server.Get(), 0), 1);
  int port = SocketOwnPort(server.Get());
  ASSERT_GT(port, 0);
  ASSERT_EQ(SocketStartListening(server.Get(), 4), 1);
  // No pending connection: null at once.
  EXPECT_FALSE(SocketAcceptWait(server.Get(), 0));

  Ref<TNetSocket> client = NewTcpSocket();
  ASSERT_EQ(SocketConnectTo(client.Get(), kLoopback, port), 1);
  EXPECT_EQ(SocketPeerAddress(client.Get()), kLoopback);
  EXPECT_EQ(SocketPeerPort(client.Get()), port);
  EXPECT_EQ(SocketOwnAddress(client.Get()), kLoopback);

  Ref<TNetSocket> accepted = SocketAcceptWait(server.Get(), 5000);
  ASSERT_TRUE(accepted);
  EXPECT_EQ(accepted->PeerPort(), client->OwnPort());
  EXPECT_EQ(accepted->OwnPort(), port);
  EXPECT_EQ(SocketIsConnected(accepted.Get()), 1);
  EXPECT_EQ(SocketBytesWaiting(accepted.Get()), 0);

  const char message[] = "0123456789";
  ASSERT_EQ(client->SendBytes(message, 10, 0), 10);
  // Partial reads: a small buffer takes what fits and leaves the rest waiting.
  char buffer[16] = {};
  std::int32_t first = accepted->ReceiveBytes(buffer, 4, 0);
  ASSERT_GE(first, 1);
  ASSERT_LE(first, 4);
  std::int32_t got = first;
  while (got < 10) {
    std::int32_t n = accepted->ReceiveBytes(buffer + got, 10 - got, 0);
    ASSERT_GT(n, 0);
    got += n;
  }
  EXPECT_EQ(std::memcmp(buffer, message, 10), 0);

  // Data still waiting keeps a socket connected even after the peer closed.
  ASSERT_EQ(client->SendBytes("xy", 2, 0), 2);
  SocketShut(client.Get());
  EXPECT_EQ(client->Handle(), -1);
  EXPECT_EQ(client->PeerPort(), -1);
  EXPECT_EQ(client->OwnAddress(), -1);
  EXPECT_EQ(SocketIsConnected(client.Get()), 0);
  EXPECT_EQ(accepted->IsConnected(), 1);
  EXPECT_EQ(accepted->ReceiveBytes(buffer, 16, 0), 2);
  // Now readable with nothing waiting: the peer is gone and the socket is shut.
  EXPECT_EQ(accepted->IsConnected(), 0);
  EXPECT_EQ(accepted->Handle(), -1);
  EXPECT_EQ(accepted->PeerAddress(), -1);
  // A shut socket transfers nothing and answers every query with 0.
  EXPECT_EQ(accepted->ReceiveBytes(buffer, 16, 0), 0);
  EXPECT_EQ(accepted->SendBytes(buffer, 16, 0), 0);
  EXPECT_EQ(accepted->BytesWaiting(), 0);
  EXPECT_EQ(accepted->BindPort(0), 0);
  EXPECT_EQ(accepted->ConnectTo(kLoopback, port), 0);
  EXPECT_FALSE(accepted->AcceptWait(0));
  accepted->Shut();  // twice is harmless
  server->Shut();
}

TEST(Sockets, SendingToAClosedPeerFailsWithoutKillingTheProcess) {
  LoopbackServer peer([](int) {});
  ASSERT_TRUE(peer.Ok());
  Ref<TNetSocket> client = NewTcpSocket();
  ASSERT_EQ(client->ConnectTo(kLoopback, peer.Port()), 1);
  peer.Join();
  // The first sends may still be buffered; once the reset arrives a send
  // fails, which must come back as 0 rather than as SIGPIPE.
  char block[4096] = {};
  int zeroes = 0;
  for (int i = 0; i < 200 && zeroes == 0; ++i) {
    if (client->SendBytes(block, sizeof block, 0) == 0) ++zeroes;
  }
  EXPECT_EQ(zeroes, 1);
  client->Shut();
}

TEST(Sockets, ConnectionRefusedLeavesTheSocketUsableAndReportsFailure) {
  int before = OpenDescriptors();
  Ref<TNetSocket> client = NewTcpSocket();
  EXPECT_EQ(client->ConnectTo(kLoopback, FreePort()), 0);
  EXPECT_GE(client->Handle(), 0);  // still open until shut
  client->Shut();
  EXPECT_EQ(OpenDescriptors(), before);
  // Ports outside 0..65535 are refused before any platform call.
  Ref<TNetSocket> other = NewTcpSocket();
  EXPECT_EQ(other->ConnectTo(kLoopback, 70000), 0);
  EXPECT_EQ(other->BindPort(-1), 0);
  other->Shut();
}

TEST(Sockets, FailuresLogTheSystemsReason) {
  test::LogCapture log(LogLevel::Warning);
  Ref<TNetSocket> client = NewTcpSocket();
  const int port = FreePort();
  EXPECT_EQ(client->ConnectTo(kLoopback, port), 0);
  ASSERT_EQ(log.Warnings().size(), 1u);
  EXPECT_NE(log.Warnings()[0].find("127.0.0.1:" + std::to_string(port) + ": Connection refused"), std::string::npos)
      << log.Warnings()[0];
  client->Shut();

  Ref<TNetSocket> first = NewTcpSocket();
  ASSERT_EQ(first->BindPort(0), 1);
  ASSERT_EQ(first->StartListening(4), 1);
  Ref<TNetSocket> second = NewTcpSocket();
  EXPECT_EQ(second->BindPort(first->OwnPort()), 0);
  ASSERT_EQ(log.Warnings().size(), 2u);
  EXPECT_NE(log.Warnings()[1].find("Address already in use"), std::string::npos) << log.Warnings()[1];
  first->Shut();
  second->Shut();

  EXPECT_EQ(ResolveHostAddresses("no-such-host.invalid"_s)->Length(), 0);
  ASSERT_EQ(log.Warnings().size(), 3u);
  EXPECT_NE(log.Warnings()[2].find("\"no-such-host.invalid\""), std::string::npos) << log.Warnings()[2];
}

TEST(Sockets, ShutOnlyForgetsAHandleItDoesNotOwn) {
  Ref<TNetSocket> owner = NewUdpSocket();
  ASSERT_TRUE(owner);
  Ref<TNetSocket> borrowed = TNetSocket::FromHandle(owner->Handle(), 0);
  ASSERT_TRUE(borrowed);
  int handle = owner->Handle();
  borrowed->Shut();
  EXPECT_EQ(borrowed->Handle(), -1);
  EXPECT_NE(fcntl(handle, F_GETFD), -1);  // still open
  owner->Shut();
  EXPECT_EQ(fcntl(handle, F_GETFD), -1);
  EXPECT_FALSE(TNetSocket::FromHandle(-1, 1));
}

TEST(Sockets, UdpBindsToAnyFreePortAndConnects) {
  Ref<TNetSocket> a = NewUdpSocket();
  Ref<TNetSocket> b = NewUdpSocket();
  ASSERT_EQ(a->BindPort(0), 1);
  ASSERT_EQ(b->BindPort(0), 1);
  EXPECT_GT(a->OwnPort(), 0);
  ASSERT_EQ(a->ConnectTo(kLoopback, b->OwnPort()), 1);
  EXPECT_EQ(a->PeerPort(), b->OwnPort());
  EXPECT_EQ(a->SendBytes("ping", 4, 0), 4);
  char buffer[8] = {};
  EXPECT_EQ(b->ReceiveBytes(buffer, 8, 0), 4);
  EXPECT_STREQ(buffer, "ping");
  a->Shut();
  b->Shut();
}

TEST(Sockets, ReadinessMarksOnlyReadyHandles) {
  Ref<TNetSocket> server = NewTcpSocket();
  ASSERT_EQ(server->BindPort(0), 1);
  ASSERT_EQ(server->StartListening(4), 1);
  Ref<TNetSocket> client = NewTcpSocket();
  ASSERT_EQ(client->ConnectTo(kLoopback, server->OwnPort()), 1);
  Ref<TNetSocket> accepted = server->AcceptWait(5000);
  ASSERT_TRUE(accepted);

  int readable[2] = {client->Handle(), accepted->Handle()};
  EXPECT_EQ(SocketReadiness(readable, 2, nullptr, 0, nullptr, 0, 0), 0);
  EXPECT_EQ(readable[0], 0);
  EXPECT_EQ(readable[1], 0);

  ASSERT_EQ(client->SendBytes("z", 1, 0), 1);
  int again[2] = {client->Handle(), accepted->Handle()};
  int writable[1] = {client->Handle()};
  EXPECT_EQ(SocketReadiness(again, 2, writable, 1, nullptr, 0, 5000), 2);
  EXPECT_EQ(again[0], 0);
  EXPECT_EQ(again[1], accepted->Handle());
  EXPECT_EQ(writable[0], client->Handle());
  // A handle the platform sets cannot hold is an error, not memory corruption.
  int huge[1] = {1 << 20};
  EXPECT_LT(SocketReadiness(huge, 1, nullptr, 0, nullptr, 0, 0), 0);

  accepted->Shut();
  client->Shut();
  server->Shut();
}

// Opens /dev/null until count descriptors are held (closed again on leaving),
// so that the sockets opened afterwards get numbers an fd_set cannot hold.
class ManyOpenFiles {
 public:
  explicit ManyOpenFiles(int count) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    saved_ = limit;
    const rlim_t wanted = static_cast<rlim_t>(count) + 64;
    if (limit.rlim_cur < wanted && (limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= wanted)) {
      limit.rlim_cur = wanted;
      setrlimit(RLIMIT_NOFILE, &limit);
    }
    for (int i = 0; i < count; ++i) {
      int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
      if (fd < 0) break;
      files_.push_back(fd);
    }
  }
  ~ManyOpenFiles() {
    for (int fd : files_) close(fd);
    setrlimit(RLIMIT_NOFILE, &saved_);
  }
  ManyOpenFiles(const ManyOpenFiles&) = delete;
  ManyOpenFiles& operator=(const ManyOpenFiles&) = delete;
  int Count() const { return static_cast<int>(files_.size()); }

 private:
  rlimit saved_{};
  std::vector<int> files_;
};

TEST(Sockets, DescriptorsAboveTheSelectLimitWaitAndTransfer) {
  ManyOpenFiles files(1100);
  ASSERT_EQ(files.Count(), 1100) << "the descriptor limit could not be raised";
  Ref<TNetSocket> server = NewTcpSocket();
  ASSERT_TRUE(server);
  ASSERT_GE(server->Handle(), 1024);
  ASSERT_EQ(server->BindPort(0), 1);
  ASSERT_EQ(server->StartListening(4), 1);
  Ref<TNetSocket> client = NewTcpSocket();
  ASSERT_EQ(client->ConnectTo(kLoopback, server->OwnPort()), 1);
  Ref<TNetSocket> accepted = server->AcceptWait(5000);
  ASSERT_TRUE(accepted);
  EXPECT_GE(accepted->Handle(), 1024);

  // Nothing sent yet: still connected, nothing readable.
  EXPECT_EQ(accepted->IsConnected(), 1);
  int quiet[1] = {accepted->Handle()};
  EXPECT_EQ(SocketReadiness(quiet, 1, nullptr, 0, nullptr, 0, 0), 0);
  EXPECT_EQ(quiet[0], 0);

  ASSERT_EQ(client->SendBytes("ping", 4, 0), 4);
  int readable[1] = {accepted->Handle()};
  int writable[1] = {client->Handle()};
  EXPECT_EQ(SocketReadiness(readable, 1, writable, 1, nullptr, 0, 5000), 2);
  EXPECT_EQ(readable[0], accepted->Handle());
  EXPECT_EQ(writable[0], client->Handle());
  char got[8] = {};
  ASSERT_EQ(accepted->ReceiveBytes(got, sizeof got, 0), 4);
  EXPECT_EQ(std::string(got, 4), "ping");
  ASSERT_EQ(accepted->SendBytes("pong", 4, 0), 4);
  ASSERT_EQ(client->ReceiveBytes(got, sizeof got, 0), 4);
  EXPECT_EQ(std::string(got, 4), "pong");

  // The peer closing is seen through the same wait.
  client->Shut();
  EXPECT_EQ(accepted->IsConnected(), 0);
  server->Shut();
}

TEST(Sockets, FreeFunctionsOnTheNullObjectRaise) {
  EXPECT_THROW(SocketIsConnected(nullptr), TRuntimeError);
  EXPECT_THROW(SocketShut(nullptr), TRuntimeError);
}

bool DescriptorOpen(int handle) { return fcntl(handle, F_GETFD) != -1; }

__attribute__((noinline)) int MakeAndDropTcpSocket() {
  Ref<TNetSocket> socket = NewTcpSocket();
  return socket ? socket->Handle() : -1;
}

// A program that drops its sockets without shutting them would otherwise run
// out of descriptors; one that ends gets every socket it owns closed.
TEST(SocketLifetime, DroppedSocketsAreClosedAndShutAllClosesOnlyOwnedOnes) {
  const int dropped = MakeAndDropTcpSocket();
  ASSERT_GE(dropped, 0);
  testing_support::CleanPass();
  EXPECT_FALSE(DescriptorOpen(dropped)) << "a collected socket kept its descriptor";

  Ref<TNetSocket> owned = NewTcpSocket();
  ASSERT_TRUE(owned);
  ASSERT_EQ(owned->BindPort(0), 1);
  ASSERT_EQ(owned->StartListening(4), 1);
  const int ownedHandle = owned->Handle();
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  Ref<TNetSocket> borrowed = TNetSocket::FromHandle(pipeEnds[0], 0);
  ASSERT_TRUE(borrowed);

  EXPECT_GE(ShutAllSockets(), 1);
  EXPECT_EQ(owned->Handle(), -1);
  EXPECT_FALSE(DescriptorOpen(ownedHandle));
  // A socket that only borrows its handle is neither shut nor closed.
  EXPECT_EQ(borrowed->Handle(), pipeEnds[0]);
  EXPECT_TRUE(DescriptorOpen(pipeEnds[0]));
  close(pipeEnds[0]);
  close(pipeEnds[1]);
}

}  // namespace
}  // namespace cvx
