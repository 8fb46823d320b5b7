// The replicating host: ids, peers, the handshake and the Sync pass.
#include <chrono>
#include <string>

#include "corvex/net/replication.h"
#include "corvex/runtime/log.h"

namespace cvx {

namespace {

constexpr std::uint8_t kHello[4] = {1, 15, 2, 14};
constexpr int kHandshakeBytes = 6;

// Up to n bytes, waiting at most waitMs for them in all.
std::int32_t ReceiveWithin(TNetSocket* socket, std::uint8_t* buffer, std::int32_t n, int waitMs) {
  std::int32_t got = 0;
  using Clock = std::chrono::steady_clock;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  while (got < n && socket->Handle() >= 0) {
    auto left =
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    if (left < 0) break;
    int handles[1] = {socket->Handle()};
    if (SocketReadiness(handles, 1, nullptr, 0, nullptr, 0, left) <= 0 || handles[0] == 0) break;
    std::int32_t part = socket->ReceiveBytes(buffer + got, n - got, 0);
    if (part <= 0) break;
    got += part;
  }
  return got;
}

bool socketsOfReplicationReady = false;

// "address:port" of the peer's connection, for the log.
std::string PeerName(TVyrnetPeer* peer) {
  Ref<TNetSocket> stream = peer->StreamSocket();
  if (!stream || stream->Handle() < 0) return "(closed connection)";
  return AddressToText(stream->PeerAddress()).ToStd() + ":" + std::to_string(stream->PeerPort());
}

}  // namespace

TVyrnetHost::TVyrnetHost()
    : byId_(NewArray<Ref<TVyrnetObject>>(kVyrnetIds)),
      peers_(NewList()),
      objects_(NewList()),
      created_(NewList()),
      modified_(NewList()),
      closed_(NewList()),
      messages_(NewList()) {}

Ref<TVyrnetHost> TVyrnetHost::Create() { return new TVyrnetHost(); }

Ref<TVyrnetObject> TVyrnetHost::ObjectById(int id) const {
  if (id < 0 || id >= kVyrnetIds) return nullptr;
  return byId_[id];
}

int TVyrnetHost::AllocateId() {
  for (int id = 1; id < kVyrnetIds; ++id) {
    if (!byId_[id]) return id;
  }
  Throw("Out of Vyrnet object IDs"_s);
}

void TVyrnetHost::RegisterObject(TVyrnetObject* object) { byId_[Ref<TVyrnetObject>(object)->Id()] = object; }

void TVyrnetHost::UnregisterObject(TVyrnetObject* object) {
  int id = Ref<TVyrnetObject>(object)->Id();
  if (byId_[id] == object) byId_[id] = nullptr;
}

Ref<TVyrnetObject> TVyrnetHost::NewObject() {
  Ref<TVyrnetObject> object = TVyrnetObject::Create(AllocateId(), kVyrnetCreated, this, nullptr);
  RegisterObject(object.Get());
  objects_->PushBack(object);
  return object;
}

Ref<TVyrnetObject> TVyrnetHost::NewMessageObject() {
  return TVyrnetObject::Create(0, kVyrnetMessageObject, this, nullptr);
}

void TVyrnetHost::SendToObject(TVyrnetObject* messageObject, TVyrnetObject* target) {
  Ref<TVyrnetObject> to = target;
  if (TVyrnetPeer* owner = to->Owner()) {
    Ref<TVyrnetMessage> message = Ref<TVyrnetObject>(messageObject)->TargetedMessage(to->Id());
    owner->SendMessage(message.Get());
  }
}

void TVyrnetHost::Broadcast(TVyrnetMessage* message, TVyrnetPeer* exceptPeer) {
  if (!message) ThrowNullObjectError();
  for (TVyrnetPeer* peer : Each<TVyrnetPeer>(peers_.Get())) {
    if (peer != exceptPeer) peer->SendMessage(message);
  }
}

Ref<TVyrnetPeer> TVyrnetHost::AddPeer(TNetSocket* socket) {
  Ref<TNetSocket> stream = socket;
  if (!stream || stream->Handle() < 0) return nullptr;
  stream->SetNoDelay(1);
  Ref<TNetSocket> datagram = TNetSocket::NewUdp();
  int port = 0;
  if (datagram && datagram->BindPort(0)) port = datagram->OwnPort();
  std::uint8_t hello[kHandshakeBytes] = {kHello[0],
                                         kHello[1],
                                         kHello[2],
                                         kHello[3],
                                         static_cast<std::uint8_t>(port >> 8),
                                         static_cast<std::uint8_t>(port)};
  std::uint8_t answer[kHandshakeBytes] = {};
  bool ok = stream->SendBytes(hello, kHandshakeBytes, 0) == kHandshakeBytes;
  // The answer is waited for with a bound: a peer that stays silent must not
  // hold the host forever.
  ok = ok && ReceiveWithin(stream.Get(), answer, kHandshakeBytes, kVyrnetHandshakeWaitMs) == kHandshakeBytes;
  for (int i = 0; ok && i < 4; ++i) ok = answer[i] == kHello[i];
  if (!ok) {
    stream->Shut();
    if (datagram) datagram->Shut();
    return nullptr;
  }
  if (datagram) datagram->ConnectTo(stream->PeerAddress(), answer[4] << 8 | answer[5]);
  Ref<TVyrnetPeer> peer = TVyrnetPeer::Create(stream.Get(), datagram.Get());
  peers_->PushBack(peer);
  // The new peer gets every live object once, whole. An own object still in
  // its created state is left to the next Sync, which announces it to every
  // peer; a mirrored one is sent now in any live state, because Sync never
  // announces mirrored objects and their owner's creation has already been
  // relayed to the peers there were then.
  for (TVyrnetObject* object : Each<TVyrnetObject>(objects_.Get())) {
    const int state = object->State();
    if (state == kVyrnetSynced || state == kVyrnetModified || (state == kVyrnetCreated && object->Owner())) {
      Ref<TVyrnetMessage> message = object->CreateMessage();
      peer->SendMessage(message.Get());
    }
  }
  return peer;
}

int TVyrnetHost::Listen(int port) {
  if (listening_) return 0;
  Ref<TNetSocket> socket = TNetSocket::NewTcp();
  if (!socket) return 0;
  if (socket->BindPort(port) && socket->StartListening(0)) {
    listening_ = socket;
    return 1;
  }
  socket->Shut();
  return 0;
}

Ref<TVyrnetPeer> TVyrnetHost::AcceptPeer() {
  if (!listening_) return nullptr;
  Ref<TNetSocket> socket = listening_->AcceptWait(0);
  if (!socket) return nullptr;
  return AddPeer(socket.Get());
}

Ref<TVyrnetPeer> TVyrnetHost::ConnectPeer(const String& host, int port) {
  std::int32_t address = ResolveHostAddress(host, 0);
  if (address == 0) return nullptr;
  Ref<TNetSocket> socket = TNetSocket::NewTcp();
  if (!socket) return nullptr;
  if (!socket->ConnectTo(address, port)) {
    socket->Shut();
    return nullptr;
  }
  return AddPeer(socket.Get());
}

void TVyrnetHost::CloseHost() {
  if (listening_) listening_->Shut();
  listening_ = nullptr;
  for (TVyrnetPeer* peer : Each<TVyrnetPeer>(peers_.Get())) peer->Close();
  // Objects point back at their host; letting go of those references here is
  // what allows a closed host and its objects to be reclaimed.
  for (TVyrnetObject* object : Each<TVyrnetObject>(objects_.Get())) object->host_ = nullptr;
}

void TVyrnetHost::DropPeerObjects(TVyrnetPeer* peer) {
  for (TVyrnetObject* object : Each<TVyrnetObject>(objects_.Get())) {
    if (object->Owner() != peer || object->State() == kVyrnetGone) continue;
    Ref<TVyrnetMessage> message = object->CloseMessage();
    Broadcast(message.Get(), peer);
    closed_->PushBack(object);
    if (object->State() != kVyrnetClosing) object->Close();
    // The id is free at once, as for a closing announced by the peer itself.
    UnregisterObject(object);
  }
}

void TVyrnetHost::HandleMessage(TVyrnetPeer* peer, TVyrnetMessage* message) {
  // The slot data is checked before anything is created or applied: a peer
  // that sends what cannot be decoded is dropped.
  if (!ValidSlotData(message->data.Get())) {
    peer->Close();
    return;
  }
  Ref<TVyrnetObject> object;
  switch (message->type) {
    case kVyrnetMessageObject: {
      Ref<TVyrnetObject> target = ObjectById(message->id);
      if (!target) return;
      if (TVyrnetPeer* owner = target->Owner()) {
        owner->SendMessage(message);
        return;
      }
      Ref<TVyrnetObject> delivered = TVyrnetObject::Create(message->id, kVyrnetMessageObject, this, nullptr);
      messages_->PushBack(delivered);
      delivered->ApplyMessage(message);
      return;
    }
    case kVyrnetCreated: {
      int freeId = 0;
      for (int id = 1; id < kVyrnetIds && !freeId; ++id) {
        if (!byId_[id]) freeId = id;
      }
      if (message->id == 0 || freeId == 0) {
        // An id this host cannot map: the peer's view can no longer be kept.
        // A remote peer must not make Sync raise, so it is dropped, and the
        // log says which one and why.
        LogWarning("Replication: dropped peer %s: %s", PeerName(peer).c_str(),
                   message->id == 0 ? "it announced a creation under object id 0"
                                    : "its creations used up this host's object ids (1..4095)");
        peer->Close();
        return;
      }
      object = TVyrnetObject::Create(freeId, kVyrnetCreated, this, peer);
      RegisterObject(object.Get());
      peer->MapIds(object->Id(), message->id);
      message->id = object->Id();
      objects_->PushBack(object);
      created_->PushBack(object);
      break;
    }
    case kVyrnetModified:
    case kVyrnetClosing:
      object = ObjectById(message->id);
      // Only the peer an object came from may change or close it.
      if (!object || object->Owner() != peer || object->State() == kVyrnetGone) return;
      (message->type == kVyrnetModified ? modified_ : closed_)->PushBack(object);
      break;
    default:
      return;  // no such announcement: nothing to apply it to
  }
  Broadcast(message, peer);
  object->ApplyMessage(message);
  if (message->type == kVyrnetClosing) {
    peer->UnmapId(object->Id());
    UnregisterObject(object.Get());
  }
}

void TVyrnetHost::Sync() {
  created_->RemoveAll();
  modified_->RemoveAll();
  closed_->RemoveAll();
  messages_->RemoveAll();

  for (auto cursor = objects_->Cursor(); cursor->HasMore();) {
    Ref<TObject> item = cursor->NextItem();
    auto* object = dynamic_cast<TVyrnetObject*>(item.Get());
    if (!object) continue;
    Ref<TVyrnetMessage> message = object->BuildSyncMessage();
    if (message) Broadcast(message.Get(), object->Owner());
    if (object->State() == kVyrnetGone) {
      if (!object->Owner()) UnregisterObject(object);
      objects_->Erase(object);
      object->host_ = nullptr;  // the host no longer holds it: no cycle is left behind
    }
  }

  for (auto cursor = peers_->Cursor(); cursor->HasMore();) {
    Ref<TObject> item = cursor->NextItem();
    auto* peer = dynamic_cast<TVyrnetPeer*>(item.Get());
    if (!peer || peer->IsConnected()) continue;
    DropPeerObjects(peer);
    peer->Close();
    peers_->Erase(peer);
  }

  for (TVyrnetPeer* peer : Each<TVyrnetPeer>(peers_.Get())) {
    for (Ref<TVyrnetMessage> message = peer->ReceiveMessage(); message; message = peer->ReceiveMessage()) {
      HandleMessage(peer, message.Get());
    }
  }
}

Ref<TList> ObjectsOfKind(TVyrnetHost* host, int kind) {
  Ref<TVyrnetHost> h = host;
  switch (kind) {
    case 0:
      return h->Objects();
    case 1:
      return h->CreatedObjects();
    case 2:
      return h->ModifiedObjects();
    case 3:
      return h->ClosedObjects();
    default:
      Throw("Unknown object state"_s);
  }
}

Ref<TList> HostMessages(TVyrnetHost* host) { return Ref<TVyrnetHost>(host)->Messages(); }

void InitReplication() {
  if (socketsOfReplicationReady) return;
  socketsOfReplicationReady = true;
  InitSockets();
  InitList();
}

}  // namespace cvx
