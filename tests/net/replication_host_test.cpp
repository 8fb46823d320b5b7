#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "corvex/net/replication.h"
#include "corvex/runtime/log.h"
#include "tests/net/loopback_server.h"

namespace cvx {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string ErrorText(const std::function<void()>& action) {
  try {
    action();
  } catch (const TRuntimeError& error) {
    return error.what();
  }
  return "";
}

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

Bytes Frame(int type, int id, const Bytes& data) {
  auto length = static_cast<int>(data.size()) + 2;
  // Built in one buffer of the final size (gcc 12 misreads an insert that
  // grows a four-byte vector as an overflow).
  Bytes frame(4 + data.size());
  frame[0] = static_cast<std::uint8_t>(length >> 8);
  frame[1] = static_cast<std::uint8_t>(length);
  frame[2] = static_cast<std::uint8_t>(type << 4 | id >> 8);
  frame[3] = static_cast<std::uint8_t>(id);
  std::copy(data.begin(), data.end(), frame.begin() + 4);
  return frame;
}

// The other end of a host's connection, spoken byte by byte by the test. Its
// handshake bytes are sent before the host accepts, so that everything runs on
// the main thread: the host finds them waiting.
class RawPeer {
 public:
  explicit RawPeer(int port, const Bytes& hello = {1, 15, 2, 14, 0, 0}) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    Send(hello);
  }
  ~RawPeer() { Close(); }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  bool Connected() const { return connected_; }
  void Send(const Bytes& bytes) { testing::SendAll(fd_, std::string(bytes.begin(), bytes.end())); }
  // Exactly n bytes, or fewer when they do not come within the wait.
  Bytes Receive(std::size_t n) {
    Bytes got;
    while (got.size() < n) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, testing::kWaitMs) <= 0) break;
      std::uint8_t buffer[4096];
      ssize_t part = recv(fd_, buffer, std::min(sizeof buffer, n - got.size()), 0);
      if (part <= 0) break;
      got.insert(got.end(), buffer, buffer + part);
    }
    return got;
  }
  // The next frame: header and data.
  Bytes ReceiveFrame() {
    Bytes header = Receive(4);
    if (header.size() < 4) return header;
    Bytes data = Receive(static_cast<std::size_t>((header[0] << 8 | header[1]) - 2));
    header.insert(header.end(), data.begin(), data.end());
    return header;
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

int ListenPort(TVyrnetHost* host) { return host->ListeningSocket()->OwnPort(); }

// Accepts the pending connection (bounded wait).
Ref<TVyrnetPeer> Accept(TVyrnetHost* host) {
  for (int i = 0; i < 100; ++i) {
    if (Ref<TVyrnetPeer> peer = host->AcceptPeer()) return peer;
    Pause(5);
  }
  return nullptr;
}

// Syncs until the condition holds (bounded).
template <class Condition>
bool SyncUntil(TVyrnetHost* host, Condition condition) {
  for (int i = 0; i < 400; ++i) {
    host->Sync();
    if (condition()) return true;
    Pause(5);
  }
  return false;
}

struct Connected {
  Ref<TVyrnetHost> host = TVyrnetHost::Create();
  std::unique_ptr<RawPeer> raw;
  Ref<TVyrnetPeer> peer;
  bool ok = false;
  Connected() {
    InitReplication();
    if (!host->Listen(0)) return;
    raw = std::make_unique<RawPeer>(ListenPort(host.Get()));
    peer = Accept(host.Get());
    Bytes hello = raw->Receive(6);
    ok = peer && hello.size() == 6 && hello[0] == 1 && hello[1] == 15 && hello[2] == 2 && hello[3] == 14;
  }
  ~Connected() { host->CloseHost(); }
};

TEST(ReplicationHost, IdsAreTheLowestFreeAndRunOut) {
  Ref<TVyrnetHost> host = TVyrnetHost::Create();
  Ref<TVyrnetObject> first = host->NewObject();
  Ref<TVyrnetObject> second = host->NewObject();
  EXPECT_EQ(first->Id(), 1);
  EXPECT_EQ(second->Id(), 2);
  first->Close();  // never announced: gone at once
  host->Sync();
  EXPECT_EQ(host->Objects()->Length(), 1);
  EXPECT_EQ(host->NewObject()->Id(), 1);
  for (int i = 3; i < kVyrnetIds; ++i) host->NewObject();
  EXPECT_EQ(host->Objects()->Length(), kVyrnetIds - 1);
  EXPECT_EQ(ErrorText([&] { host->NewObject(); }), "Out of Vyrnet object IDs");
  EXPECT_EQ(ErrorText([&] { ObjectsOfKind(host.Get(), 4); }), "Unknown object state");
  EXPECT_EQ(ObjectsOfKind(host.Get(), 0), host->Objects());
  EXPECT_EQ(ObjectsOfKind(host.Get(), 3), host->ClosedObjects());
  for (TVyrnetObject* o : Each<TVyrnetObject>(host->Objects().Get())) o->Close();
  host->Sync();
  EXPECT_EQ(host->Objects()->Length(), 0);
}

TEST(ReplicationHost, APeerThatUsesUpTheIdsIsDroppedWithAWarning) {
  Connected c;
  ASSERT_TRUE(c.ok);
  std::vector<std::string> warnings;
  SetLogSink([&](LogLevel level, std::string_view message) {
    if (level == LogLevel::Warning) warnings.emplace_back(message);
  });
  Ref<TVyrnetObject> own = c.host->NewObject();
  // The peer's creations take every id this host has left (4,094)...
  Bytes burst;
  for (int id = 1; id < kVyrnetIds - 1; ++id) {
    Bytes frame = Frame(1, id, {0x80, 1});
    burst.insert(burst.end(), frame.begin(), frame.end());
  }
  c.raw->Send(burst);
  int created = 0;
  for (int i = 0; i < 400 && created < kVyrnetIds - 2; ++i) {
    c.host->Sync();
    created += c.host->CreatedObjects()->Length();
    if (created < kVyrnetIds - 2) Pause(5);
  }
  ASSERT_EQ(created, kVyrnetIds - 2);
  // ...so the host's own next object has none: that is the host's error.
  EXPECT_EQ(ErrorText([&] { c.host->NewObject(); }), "Out of Vyrnet object IDs");
  EXPECT_EQ(ErrorText([&] { c.host->AllocateId(); }), "Out of Vyrnet object IDs");
  EXPECT_TRUE(warnings.empty());

  // One creation more cannot be mapped: the peer goes, Sync does not raise,
  // and the log names the peer and the cause.
  const std::string name = "127.0.0.1:" + std::to_string(c.peer->StreamSocket()->PeerPort());
  c.raw->Send(Frame(1, kVyrnetIds - 1, {0x80, 1}));
  EXPECT_TRUE(SyncUntil(c.host.Get(), [&] { return c.host->Peers()->Length() == 0; }));
  SetLogSink(nullptr);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find(name), std::string::npos) << warnings[0];
  EXPECT_NE(warnings[0].find("used up this host's object ids"), std::string::npos) << warnings[0];
  // Its objects are closed and their ids free again.
  EXPECT_EQ(c.host->ClosedObjects()->Length(), kVyrnetIds - 2);
  c.host->Sync();
  EXPECT_EQ(c.host->Objects()->Length(), 1);
  EXPECT_EQ(c.host->NewObject()->Id(), 2);
}

TEST(ReplicationHost, HandshakeWithAWrongAnswerFailsAndShutsTheSocket) {
  InitReplication();
  Ref<TVyrnetHost> host = TVyrnetHost::Create();
  ASSERT_EQ(host->Listen(0), 1);
  EXPECT_EQ(host->Listen(0), 0);  // one listening socket only
  {
    RawPeer raw(ListenPort(host.Get()), {1, 15, 2, 13, 0, 0});
    EXPECT_FALSE(Accept(host.Get()));
  }
  {
    RawPeer raw(ListenPort(host.Get()), {1, 15, 2});  // too short, then gone
    raw.Close();
    EXPECT_FALSE(Accept(host.Get()));
  }
  EXPECT_EQ(host->Peers()->Length(), 0);
  EXPECT_FALSE(host->ConnectPeer("127.0.0.1"_s, testing::FreePort()));
  EXPECT_FALSE(host->ConnectPeer("no-such-host.invalid"_s, 80));
  host->CloseHost();
}

TEST(ReplicationHost, MirrorsAnnouncementsAndAnnouncesItsOwnObjects) {
  Connected c;
  ASSERT_TRUE(c.ok);
  // The peer creates its object 7 with two slots.
  c.raw->Send(Frame(1, 7, {0xA2, 0x01, 0x2C, 0x63, 0, 2, 'h', 'i'}));
  ASSERT_TRUE(SyncUntil(c.host.Get(), [&] { return c.host->CreatedObjects()->Length() == 1; }));
  Ref<TVyrnetObject> mirrored;
  for (TVyrnetObject* o : Each<TVyrnetObject>(c.host->CreatedObjects().Get())) mirrored = o;
  ASSERT_TRUE(mirrored);
  EXPECT_EQ(mirrored->GetInt(2), 300);
  EXPECT_EQ(mirrored->GetText(3).ToStd(), "hi");
  EXPECT_EQ(mirrored->Owner(), c.peer.Get());
  EXPECT_EQ(c.peer->RemoteToLocal(7), mirrored->Id());
  EXPECT_EQ(c.peer->LocalToRemote(mirrored->Id()), 7);

  // An own object goes out with this host's id and every slot written.
  Ref<TVyrnetObject> own = c.host->NewObject();
  own->SetInt(0, 255);
  own->SetFloat(1, 1.0f);
  c.host->Sync();
  EXPECT_EQ(c.raw->ReceiveFrame(), Frame(1, own->Id(), {0x80, 255, 0x41, 0x3C, 0x00}));
  own->SetInt(0, 65536);
  c.host->Sync();
  EXPECT_EQ(c.raw->ReceiveFrame(), Frame(2, own->Id(), {0x20, 0, 1, 0, 0}));

  // A change and a closing by the peer, named by its own id.
  c.raw->Send(Frame(2, 7, {0x82, 9}));
  ASSERT_TRUE(SyncUntil(c.host.Get(), [&] { return c.host->ModifiedObjects()->Length() == 1; }));
  EXPECT_EQ(mirrored->GetInt(2), 9);
  c.raw->Send(Frame(3, 7, {}));
  ASSERT_TRUE(SyncUntil(c.host.Get(), [&] { return c.host->ClosedObjects()->Length() == 1; }));
  EXPECT_FALSE(c.host->ObjectById(mirrored->Id()));
  EXPECT_EQ(c.peer->RemoteToLocal(7), 0);
  c.host->Sync();
  EXPECT_FALSE(c.host->Objects()->Holds(mirrored.Get()));

  own->Close();
  c.host->Sync();
  EXPECT_EQ(c.raw->ReceiveFrame(), Frame(3, own->Id(), {}));
  EXPECT_GT(BytesSentTotal(), 0);
  EXPECT_GT(BytesReceivedTotal(), 0);
}

TEST(ReplicationHost, TargetedMessagesReachOwnObjectsAndGoToOwners) {
  Connected c;
  ASSERT_TRUE(c.ok);
  Ref<TVyrnetObject> own = c.host->NewObject();
  c.host->Sync();
  c.raw->ReceiveFrame();
  c.raw->Send(Frame(5, own->Id(), {0x84, 42}));
  ASSERT_TRUE(SyncUntil(c.host.Get(), [&] { return HostMessages(c.host.Get())->Length() == 1; }));
  for (TVyrnetObject* m : Each<TVyrnetObject>(c.host->Messages().Get())) {
    EXPECT_EQ(m->GetInt(4), 42);
    EXPECT_EQ(m->Id(), own->Id());
    EXPECT_EQ(m->State(), kVyrnetMessageObject);
  }
  // A target that lives on the peer: the message carries the peer's id for it.
  c.raw->Send(Frame(1, 300, {}));
  ASSERT_TRUE(SyncUntil(c.host.Get(), [&] { return c.host->CreatedObjects()->Length() == 1; }));
  Ref<TVyrnetObject> mirrored;
  for (TVyrnetObject* o : Each<TVyrnetObject>(c.host->CreatedObjects().Get())) mirrored = o;
  Ref<TVyrnetObject> note = c.host->NewMessageObject();
  note->SetText(0, "go"_s);
  c.host->SendToObject(note.Get(), mirrored.Get());
  EXPECT_EQ(c.raw->ReceiveFrame(), Frame(5, 300, {0x60, 0, 2, 'g', 'o'}));
  // To an own target nothing is sent; to a free id nothing is delivered.
  c.host->SendToObject(note.Get(), own.Get());
  c.raw->Send(Frame(5, 4000, {0x84, 1}));
  c.raw->Send(Frame(2, 300, {}));  // something to wait for
  ASSERT_TRUE(SyncUntil(c.host.Get(), [&] { return c.host->ModifiedObjects()->Length() == 1; }));
  EXPECT_EQ(c.host->Messages()->Length(), 0);
}

TEST(ReplicationHost, MalformedFramesDropThePeerAndCloseItsObjects) {
  struct Case {
    const char* what;
    Bytes frame;
  };
  std::vector<Case> cases = {
      {"length field below 2", {0x00, 0x01, 0x10, 0x09}},
      {"slot entry past the data", Frame(2, 7, {0x20, 1, 2})},
      {"invalid kind", Frame(2, 7, {0xE1, 0})},
      {"bad data in a creation", Frame(1, 8, {0x60, 0xFF, 0xFF})},
  };
  for (const Case& bad : cases) {
    SCOPED_TRACE(bad.what);
    Connected c;
    ASSERT_TRUE(c.ok);
    c.raw->Send(Frame(1, 7, {0x81, 5}));
    ASSERT_TRUE(SyncUntil(c.host.Get(), [&] { return c.host->CreatedObjects()->Length() == 1; }));
    Ref<TVyrnetObject> mirrored;
    for (TVyrnetObject* o : Each<TVyrnetObject>(c.host->CreatedObjects().Get())) mirrored = o;
    int id = mirrored->Id();
    c.raw->Send(bad.frame);
    ASSERT_TRUE(SyncUntil(c.host.Get(), [&] { return c.host->Peers()->Length() == 0; }));
    EXPECT_TRUE(c.host->ClosedObjects()->Holds(mirrored.Get()));
    EXPECT_EQ(mirrored->GetInt(1), 5);  // nothing of the bad frame was applied
    EXPECT_FALSE(c.host->ObjectById(id));
    c.host->Sync();
    EXPECT_EQ(c.host->Objects()->Length(), 0);
  }
}

TEST(ReplicationHost, APeerCannotTouchObjectsItDoesNotOwn) {
  Connected c;
  ASSERT_TRUE(c.ok);
  Ref<TVyrnetObject> own = c.host->NewObject();
  own->SetInt(0, 1);
  c.host->Sync();
  c.raw->ReceiveFrame();
  // Our own id, unmapped on the peer's side: neither a change nor a closing applies.
  c.raw->Send(Frame(2, own->Id(), {0x80, 99}));
  c.raw->Send(Frame(3, own->Id(), {}));
  c.raw->Send(Frame(9, own->Id(), {0x80, 99}));  // no such type
  c.raw->Send(Frame(1, 0, {}));                  // id 0 cannot be mapped
  ASSERT_TRUE(SyncUntil(c.host.Get(), [&] { return c.host->Peers()->Length() == 0; }));
  EXPECT_EQ(own->GetInt(0), 1);
  EXPECT_EQ(own->State(), kVyrnetSynced);
  EXPECT_EQ(c.host->ObjectById(own->Id()), own);
}

TEST(ReplicationHost, PartialFramesWaitAndPeerLossIsDetected) {
  Connected c;
  ASSERT_TRUE(c.ok);
  Bytes frame = Frame(1, 12, {0x60, 0, 3, 'a', 'b', 'c'});
  c.raw->Send(Bytes(frame.begin(), frame.begin() + 2));
  c.host->Sync();
  c.raw->Send(Bytes(frame.begin() + 2, frame.begin() + 7));
  Pause(20);
  c.host->Sync();
  EXPECT_EQ(c.host->CreatedObjects()->Length(), 0);
  c.raw->Send(Bytes(frame.begin() + 7, frame.end()));
  ASSERT_TRUE(SyncUntil(c.host.Get(), [&] { return c.host->CreatedObjects()->Length() == 1; }));
  // A peer that goes away in the middle of its next frame is still noticed.
  c.raw->Send(Bytes(frame.begin(), frame.begin() + 5));
  c.raw->Close();
  ASSERT_TRUE(SyncUntil(c.host.Get(), [&] { return c.host->ClosedObjects()->Length() == 1; }));
  EXPECT_EQ(c.host->Peers()->Length(), 0);
  c.host->Sync();
  EXPECT_EQ(c.host->Objects()->Length(), 0);
}

TEST(ReplicationHost, NewPeersLearnEverythingAndAnnouncementsAreRelayed) {
  Connected c;
  ASSERT_TRUE(c.ok);
  Ref<TVyrnetObject> own = c.host->NewObject();
  own->SetInt(0, 3);
  c.host->Sync();
  c.raw->ReceiveFrame();
  c.raw->Send(Frame(1, 7, {0x81, 5}));
  ASSERT_TRUE(SyncUntil(c.host.Get(), [&] { return c.host->CreatedObjects()->Length() == 1; }));
  Ref<TVyrnetObject> mirrored;
  for (TVyrnetObject* o : Each<TVyrnetObject>(c.host->CreatedObjects().Get())) mirrored = o;
  c.host->Sync();  // the mirrored object is now announced and unchanged

  RawPeer second(ListenPort(c.host.Get()));
  Ref<TVyrnetPeer> peer2 = Accept(c.host.Get());
  ASSERT_TRUE(peer2);
  EXPECT_EQ(second.Receive(6).size(), 6u);
  // Own and mirrored objects, in list order, under this host's ids.
  EXPECT_EQ(second.ReceiveFrame(), Frame(1, own->Id(), {0x80, 3}));
  EXPECT_EQ(second.ReceiveFrame(), Frame(1, mirrored->Id(), {0x81, 5}));

  // A change from the first peer reaches the second under this host's id,
  // and is not echoed back to the first.
  c.raw->Send(Frame(2, 7, {0x81, 6}));
  EXPECT_TRUE(SyncUntil(c.host.Get(), [&] { return c.host->ModifiedObjects()->Length() == 1; }));
  EXPECT_EQ(second.ReceiveFrame(), Frame(2, mirrored->Id(), {0x81, 6}));
  // When the first peer goes, the second hears that its object closed.
  c.raw->Close();
  EXPECT_TRUE(SyncUntil(c.host.Get(), [&] { return c.host->ClosedObjects()->Length() == 1; }));
  EXPECT_EQ(second.ReceiveFrame(), Frame(3, mirrored->Id(), {}));
  EXPECT_EQ(c.host->Peers()->Length(), 1);
}

}  // namespace
}  // namespace cvx
