// Three hosts on this one thread: an owner, a hub linked to it, and a host that
// joins late, either at the hub or at the owner, at each point of an object's
// life. Whenever it joins, it must end up with every live object exactly once.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "corvex/net/replication.h"

namespace cvx {
namespace {

constexpr std::int32_t kLoopback = 0x7F000001;
constexpr std::uint8_t kHello[6] = {1, 15, 2, 14, 0, 0};

// Links joiner to listener (which listens). Each side's handshake waits for
// the other's bytes, so the accepting side is handed a hello in advance, and
// the joiner's own hello, which then arrives at the accepting side, is taken
// off that stream before anything reads it as a frame.
bool Link(TVyrnetHost* listener, TVyrnetHost* joiner) {
  Ref<TNetSocket> socket = TNetSocket::NewTcp();
  if (!socket->ConnectTo(kLoopback, listener->ListeningSocket()->OwnPort())) return false;
  if (socket->SendBytes(kHello, sizeof kHello, 0) != sizeof kHello) return false;
  Ref<TVyrnetPeer> accepted;
  for (int i = 0; i < 100 && !accepted; ++i) {
    accepted = listener->AcceptPeer();
    if (!accepted) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (!accepted || !joiner->AddPeer(socket.Get())) return false;
  std::uint8_t hello[sizeof kHello];
  std::int32_t got = 0;
  while (got < 6) {
    std::int32_t part = accepted->StreamSocket()->ReceiveBytes(hello + got, 6 - got, 0);
    if (part <= 0) return false;
    got += part;
  }
  return true;
}

// Where in the object's life the late host joins.
enum class Point { BeforeCreate, Created, OwnerSynced, HubReceived, HubSynced, Updated, Closed, CloseSynced };

const char* PointName(Point point) {
  const char* names[] = {"before create",
                         "after create",
                         "after the owner's Sync",
                         "after the hub received it",
                         "after the hub's next Sync",
                         "after an update",
                         "after close",
                         "after the close went out"};
  return names[static_cast<int>(point)];
}

struct Trio {
  Ref<TVyrnetHost> owner = TVyrnetHost::Create();
  Ref<TVyrnetHost> hub = TVyrnetHost::Create();
  Ref<TVyrnetHost> late = TVyrnetHost::Create();
  // Every object the late host was told of, and how often.
  std::vector<Ref<TVyrnetObject>> lateCreated;

  Trio() {
    InitReplication();
    owner->Listen(0);
    hub->Listen(0);
  }
  ~Trio() {
    owner->CloseHost();
    hub->CloseHost();
    late->CloseHost();
  }
  void SyncAll(int rounds = 1) {
    for (int round = 0; round < rounds; ++round) {
      owner->Sync();
      hub->Sync();
      late->Sync();
      for (TVyrnetObject* o : Each<TVyrnetObject>(late->CreatedObjects().Get())) lateCreated.emplace_back(o);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  // The late host's live objects.
  std::vector<Ref<TVyrnetObject>> LateLive() {
    std::vector<Ref<TVyrnetObject>> live;
    for (TVyrnetObject* o : Each<TVyrnetObject>(late->Objects().Get())) {
      if (o->State() != kVyrnetGone && o->State() != kVyrnetClosing) live.emplace_back(o);
    }
    return live;
  }
};

// Runs the object's life on the owner, joining the late host at the point.
// The object is created first and a bystander after it, so the bystander's
// id on the owner is not its id on the late host.
void LiveThrough(Point joinAt, bool atHub) {
  SCOPED_TRACE(std::string(atHub ? "at the hub, " : "at the owner, ") + PointName(joinAt));
  Trio trio;
  ASSERT_TRUE(Link(trio.owner.Get(), trio.hub.Get()));
  auto joinIf = [&](Point point) {
    if (point == joinAt) {
      ASSERT_TRUE(Link(atHub ? trio.hub.Get() : trio.owner.Get(), trio.late.Get()));
    }
  };
  joinIf(Point::BeforeCreate);
  Ref<TVyrnetObject> object = trio.owner->NewObject();
  object->SetInt(0, 1);
  object->SetText(1, "first"_s);
  Ref<TVyrnetObject> bystander = trio.owner->NewObject();
  bystander->SetInt(0, 99);
  joinIf(Point::Created);
  trio.owner->Sync();
  joinIf(Point::OwnerSynced);
  trio.hub->Sync();
  joinIf(Point::HubReceived);
  trio.hub->Sync();
  joinIf(Point::HubSynced);
  object->SetInt(0, 2);
  trio.owner->Sync();
  trio.hub->Sync();
  joinIf(Point::Updated);
  const bool closes = joinAt == Point::Closed || joinAt == Point::CloseSynced;
  if (closes) {
    object->Close();
    joinIf(Point::Closed);
    trio.owner->Sync();
    trio.hub->Sync();
    joinIf(Point::CloseSynced);
  }
  trio.SyncAll(20);

  // The bystander once, the object once unless it closed before the join,
  // the live ones whole and current.
  int bystanders = 0, objects = 0;
  for (const Ref<TVyrnetObject>& o : trio.lateCreated) (o->GetInt(0) == 99 ? bystanders : objects) += 1;
  EXPECT_EQ(bystanders, 1);
  // The owner stops offering an object when it is closed, the hub when the
  // closing reaches it.
  const bool closedBeforeJoin = joinAt == Point::CloseSynced || (joinAt == Point::Closed && !atHub);
  EXPECT_EQ(objects, closedBeforeJoin ? 0 : 1);
  int liveBystanders = 0, liveObjects = 0;
  for (const Ref<TVyrnetObject>& o : trio.LateLive()) {
    if (o->GetInt(0) == 99) {
      ++liveBystanders;
      continue;
    }
    ++liveObjects;
    EXPECT_EQ(o->GetInt(0), 2);
    EXPECT_EQ(o->GetText(1), "first"_s);
  }
  EXPECT_EQ(liveBystanders, 1);
  EXPECT_EQ(liveObjects, closes ? 0 : 1);

  // Later changes and the closing still reach it.
  bystander->SetInt(1, 7);
  trio.SyncAll(20);
  for (const Ref<TVyrnetObject>& o : trio.LateLive()) {
    if (o->GetInt(0) == 99) {
      EXPECT_EQ(o->GetInt(1), 7);
    }
  }
  bystander->Close();
  if (!closes) object->Close();
  trio.SyncAll(20);
  EXPECT_TRUE(trio.LateLive().empty());
}

TEST(ReplicationLateJoin, EveryLiveObjectArrivesOnceWheneverAHostJoins) {
  for (bool atHub : {true, false}) {
    for (Point point : {Point::BeforeCreate, Point::Created, Point::OwnerSynced, Point::HubReceived, Point::HubSynced,
                        Point::Updated, Point::Closed, Point::CloseSynced}) {
      LiveThrough(point, atHub);
    }
  }
}

}  // namespace
}  // namespace cvx
