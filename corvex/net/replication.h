/// @file
/// Replication of shared objects between hosts over TCP.
///
/// A host owns some objects and mirrors those of its peers. An object is an id
/// (1..4095) and 32 typed value slots. Once per frame Sync announces the own
/// objects that were created, changed or closed to every peer, applies what the
/// peers announced, relays each announcement to the other peers and delivers
/// targeted messages to own objects. After Sync the created, modified, closed
/// and messages lists tell the application what arrived.
///
/// Everything read from a peer is checked before it is applied: a frame whose
/// length or slot data does not add up drops that peer (its connection is shut,
/// and the next Sync lists its objects as closed); it never reaches an object.
#pragma once

#include <cstdint>

#include "corvex/net/socket.h"
#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/array.h"
#include "corvex/runtime/list.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"

namespace cvx {

class TVyrnetHost;
class TVyrnetPeer;

inline constexpr int kVyrnetSlots = 32;
inline constexpr int kVyrnetIds = 4096;
inline constexpr std::int32_t kVyrnetMaxData = 65520;
/// How long AddPeer waits for the other side's handshake bytes.
inline constexpr int kVyrnetHandshakeWaitMs = 5000;

/// Object states.
enum : int {
  kVyrnetGone = -1,
  kVyrnetCreated = 1,
  kVyrnetModified = 2,
  kVyrnetClosing = 3,
  kVyrnetSynced = 4,
  kVyrnetMessageObject = 5,
};

/// Slot kinds: the top three bits of a slot entry's first byte.
enum : int {
  kSlotEmpty = 0,
  kSlotInt32 = 1,
  kSlotReal = 2,
  kSlotText = 3,
  kSlotInt8 = 4,
  kSlotInt16 = 5,
};

/// IEEE 754 half precision: round half up at the eleventh mantissa bit,
/// overflow to infinity, below 2^-15 to signed zero.
std::uint16_t FloatToHalf(float value);
float HalfToFloat(std::uint16_t half);

class TVyrnetSlot : public TObject {
 public:
  /// The kind follows the range: negative or above 65535 is a 32-bit integer,
  /// 0..255 an 8-bit one, the rest a 16-bit one.
  virtual void SetIntValue(std::int32_t value);
  virtual void SetFloatValue(float value);
  virtual void SetTextValue(const String& text);
  virtual std::int32_t IntValue() { return intValue_; }
  virtual float FloatValue() { return floatValue_; }
  virtual String TextValue() { return textValue_; }
  int Kind() const noexcept { return kind_; }
  /// Only for tests and tools that need a kind the setters never choose.
  void ForceKind(int kind) noexcept { kind_ = kind; }

 private:
  int kind_ = kSlotEmpty;
  std::int32_t intValue_ = 0;
  float floatValue_ = 0;
  String textValue_;
};

class TVyrnetMessage : public TObject {
 public:
  TVyrnetMessage(int id, int type, Array<std::uint8_t> data);
  int id;
  int type;
  Array<std::uint8_t> data;
};

class TVyrnetObject : public TObject {
 public:
  virtual int State() { return state_; }
  /// 1 -> gone, 2 and 4 -> closing, 3 stays; "Illegal object state" otherwise.
  virtual void Close();
  virtual void SetInt(int index, std::int32_t value);
  virtual void SetFloat(int index, float value);
  virtual void SetText(int index, const String& text);
  virtual std::int32_t GetInt(int index);
  virtual float GetFloat(int index);
  virtual String GetText(int index);
  /// Marks the slot changed (an announced object becomes modified).
  virtual Ref<TVyrnetSlot> WriteSlot(int index);
  /// The announcement this host owes for the object, or null; then clears the
  /// change mask and moves the state on.
  virtual Ref<TVyrnetMessage> BuildSyncMessage();
  virtual void ApplyMessage(TVyrnetMessage* message);
  virtual Ref<TVyrnetMessage> CreateMessage();
  virtual Ref<TVyrnetMessage> CloseMessage();
  virtual Ref<TVyrnetMessage> TargetedMessage(int targetId);
  /// "Vyrnet message data too large" above kVyrnetMaxData bytes.
  virtual Array<std::uint8_t> EncodeSlots(std::uint32_t mask);
  /// Applies through the setters. Raises "Invalid Vyrnet data type" for a
  /// kind 0, 6 or 7 entry and "Corrupt Vyrnet message" when an entry runs past
  /// the end; nothing is read beyond the bytes.
  virtual void DecodeSlots(TArray<std::uint8_t>* bytes);

  static Ref<TVyrnetObject> Create(int id, int state, TVyrnetHost* host, TVyrnetPeer* owner);

  int Id() const noexcept { return id_; }
  TVyrnetPeer* Owner() const noexcept { return owner_.Get(); }
  TVyrnetHost* Host() const noexcept { return host_.Get(); }
  std::uint32_t ModifiedMask() const noexcept { return mask_; }
  Ref<TObject> UserReference() const { return user_; }
  void SetUserReference(const Ref<TObject>& user) { user_ = user; }
  Ref<TVyrnetSlot> Slot(int index) const { return slots_[index]; }

 private:
  friend class TVyrnetHost;
  int id_ = 0;
  int state_ = 0;
  Ref<TVyrnetHost> host_;
  Ref<TVyrnetPeer> owner_;
  Ref<TObject> user_;
  Array<Ref<TVyrnetSlot>> slots_;
  std::uint32_t mask_ = 0;
};

/// True when bytes is a well-formed run of slot entries (what DecodeSlots
/// accepts without raising).
bool ValidSlotData(TArray<std::uint8_t>* bytes);

class TVyrnetPeer : public TObject {
 public:
  virtual int IsConnected();
  /// Shuts both sockets.
  virtual void Close();
  virtual Ref<TNetSocket> StreamSocket() { return stream_; }
  virtual Ref<TNetSocket> DatagramSocket() { return datagram_; }
  virtual void MapIds(int local, int remote);
  virtual void UnmapId(int local);
  /// 1 when all n bytes moved; 0 when the peer has gone; "Vyrnet Recv Error" /
  /// "Vyrnet Send Error" when a live connection moved fewer.
  virtual int ReceiveExact(void* buffer, std::int32_t n);
  virtual int SendExact(const void* buffer, std::int32_t n);
  /// The next whole message, or null until one has arrived (never blocks on a
  /// partial frame). A frame whose length field is below 2 drops the peer.
  virtual Ref<TVyrnetMessage> ReceiveMessage();
  virtual void SendMessage(TVyrnetMessage* message);

  static Ref<TVyrnetPeer> Create(TNetSocket* streamSocket, TNetSocket* datagramSocket);

  int LocalToRemote(int local) const { return localToRemote_[local & (kVyrnetIds - 1)]; }
  int RemoteToLocal(int remote) const { return remoteToLocal_[remote & (kVyrnetIds - 1)]; }
  std::int64_t BytesReceived() const noexcept { return received_; }
  std::int64_t BytesSent() const noexcept { return sent_; }

 private:
  Ref<TNetSocket> stream_;
  Ref<TNetSocket> socket_;
  Ref<TNetSocket> datagram_;
  Array<std::int32_t> localToRemote_;
  Array<std::int32_t> remoteToLocal_;
  Ref<TVyrnetMessage> pending_;
  std::int32_t pendingLength_ = 0;
  /// 64 bits: a long session passes 2^31 bytes.
  std::int64_t received_ = 0;
  std::int64_t sent_ = 0;
};

class TVyrnetHost : public TObject {
 public:
  TVyrnetHost();

  virtual void Sync();
  /// Shuts the listening socket and every peer. It also clears the objects'
  /// host references (Host () is null afterwards): objects and host refer to
  /// each other, and a host dropped without CloseHost stays in memory with them.
  virtual void CloseHost();
  virtual void Broadcast(TVyrnetMessage* message, TVyrnetPeer* exceptPeer);
  /// The handshake over a connected stream socket; null (both sockets shut)
  /// when the other side does not answer it in time or answers wrongly.
  virtual Ref<TVyrnetPeer> AddPeer(TNetSocket* socket);
  virtual Ref<TList> Objects() { return objects_; }
  virtual Ref<TList> Peers() { return peers_; }
  virtual Ref<TList> CreatedObjects() { return created_; }
  virtual Ref<TList> ModifiedObjects() { return modified_; }
  virtual Ref<TList> ClosedObjects() { return closed_; }
  virtual Ref<TVyrnetObject> NewObject();
  virtual Ref<TVyrnetObject> NewMessageObject();
  virtual void SendToObject(TVyrnetObject* messageObject, TVyrnetObject* target);
  virtual int Listen(int port);
  virtual Ref<TVyrnetPeer> AcceptPeer();
  virtual Ref<TVyrnetPeer> ConnectPeer(const String& host, int port);
  /// "Out of Vyrnet object IDs" when 1..4095 are all taken.
  virtual int AllocateId();
  virtual void RegisterObject(TVyrnetObject* object);
  virtual void UnregisterObject(TVyrnetObject* object);

  static Ref<TVyrnetHost> Create();

  Ref<TList> Messages() { return messages_; }
  Ref<TNetSocket> ListeningSocket() { return listening_; }
  Ref<TVyrnetObject> ObjectById(int id) const;

 private:
  void HandleMessage(TVyrnetPeer* peer, TVyrnetMessage* message);
  void DropPeerObjects(TVyrnetPeer* peer);

  Array<Ref<TVyrnetObject>> byId_;
  Ref<TNetSocket> listening_;
  Ref<TList> peers_;
  Ref<TList> objects_;
  Ref<TList> created_;
  Ref<TList> modified_;
  Ref<TList> closed_;
  Ref<TList> messages_;
};

/// 0 all objects, 1 created, 2 modified, 3 closed; "Unknown object state" otherwise.
Ref<TList> ObjectsOfKind(TVyrnetHost* host, int kind);
Ref<TList> HostMessages(TVyrnetHost* host);
/// Traffic of every peer since the program started.
std::int64_t BytesReceivedTotal();
std::int64_t BytesSentTotal();

void InitReplication();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
