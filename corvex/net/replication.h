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

/// Value slots per object.
inline constexpr int kVyrnetSlots = 32;
/// Object ids are 1 to kVyrnetIds - 1.
inline constexpr int kVyrnetIds = 4096;
/// Largest slot data one announcement may carry, in bytes.
inline constexpr std::int32_t kVyrnetMaxData = 65520;
/// How long AddPeer waits for the other side's handshake bytes.
inline constexpr int kVyrnetHandshakeWaitMs = 5000;

/// Object states.
enum : int {
  /// @{
  /// The state of a TVyrnetObject (TVyrnetObject::State).
  kVyrnetGone = -1,
  kVyrnetCreated = 1,
  kVyrnetModified = 2,
  kVyrnetClosing = 3,
  kVyrnetSynced = 4,
  kVyrnetMessageObject = 5,
  /// @}
};

/// Slot kinds: the top three bits of a slot entry's first byte.
enum : int {
  /// @{
  /// The kind of a TVyrnetSlot (TVyrnetSlot::Kind).
  kSlotEmpty = 0,
  kSlotInt32 = 1,
  kSlotReal = 2,
  kSlotText = 3,
  kSlotInt8 = 4,
  kSlotInt16 = 5,
  /// @}
};

/// @{
/// Conversions between float and IEEE 754 half precision (the wire form of a
/// real slot): round half up at the eleventh mantissa bit, overflow to infinity,
/// below 2^-15 to signed zero. Neither fails.
std::uint16_t FloatToHalf(float value);
float HalfToFloat(std::uint16_t half);
/// @}

/// One typed value of a replicated object: empty, an integer (8, 16 or 32 bits
/// on the wire), a real (half precision on the wire) or a text.
class TVyrnetSlot : public TObject {
 public:
  /// The kind follows the range: negative or above 65535 is a 32-bit integer,
  /// 0..255 an 8-bit one, the rest a 16-bit one.
  /// Sets an integer; the kind follows the range: negative or above 65535 is a
  /// 32-bit integer, 0..255 an 8-bit one, the rest a 16-bit one.
  virtual void SetIntValue(std::int32_t value);
  /// Sets a real (sent as half precision).
  virtual void SetFloatValue(float value);
  /// Sets a text.
  virtual void SetTextValue(const String& text);
  /// @{
  /// The value last set of each kind (0, 0 or empty when never set).
  virtual std::int32_t IntValue() { return intValue_; }
  virtual float FloatValue() { return floatValue_; }
  virtual String TextValue() { return textValue_; }
  /// @}
  /// The slot's kind, one of the kSlot constants.
  int Kind() const noexcept { return kind_; }
  /// Only for tests and tools that need a kind the setters never choose.
  void ForceKind(int kind) noexcept { kind_ = kind; }

 private:
  int kind_ = kSlotEmpty;
  std::int32_t intValue_ = 0;
  float floatValue_ = 0;
  String textValue_;
};

/// One framed message between peers: an object id, a message type and its bytes.
class TVyrnetMessage : public TObject {
 public:
  /// A message of the given id and type carrying data.
  TVyrnetMessage(int id, int type, Array<std::uint8_t> data);
  /// The object id the message is about.
  int id;
  /// The message type (the object state it announces, or a user message type).
  int type;
  /// The message's bytes (encoded slots for an announcement).
  Array<std::uint8_t> data;
};

/// A replicated object: an id and kVyrnetSlots typed value slots, owned by this
/// host (owner null) or mirrored from a peer. Slot indexes outside 0 to 31 raise
/// the array index error.
class TVyrnetObject : public TObject {
 public:
  /// The object's state, one of the kVyrnet state constants.
  virtual int State() { return state_; }
  /// Closes the object: created becomes gone, modified and synced become closing
  /// (announced at the next Sync); raises TRuntimeError "Illegal object state" for
  /// any other state.
  virtual void Close();
  /// @{
  /// Set a slot's value and mark it changed for the next Sync.
  virtual void SetInt(int index, std::int32_t value);
  virtual void SetFloat(int index, float value);
  virtual void SetText(int index, const String& text);
  /// @}
  /// @{
  /// A slot's value (0, 0 or empty when it holds another kind).
  virtual std::int32_t GetInt(int index);
  virtual float GetFloat(int index);
  virtual String GetText(int index);
  /// @}
  /// Marks the slot changed (an announced object becomes modified).
  virtual Ref<TVyrnetSlot> WriteSlot(int index);
  /// The announcement this host owes for the object, or null; then clears the
  /// change mask and moves the state on.
  virtual Ref<TVyrnetMessage> BuildSyncMessage();
  /// Applies an announcement from the owner's peer (slot data, state); a null
  /// message raises the null object error.
  virtual void ApplyMessage(TVyrnetMessage* message);
  /// @{
  /// The announcement of the object's creation (all slots), closing, or a message
  /// to the object targetId, made for sending.
  virtual Ref<TVyrnetMessage> CreateMessage();
  virtual Ref<TVyrnetMessage> CloseMessage();
  virtual Ref<TVyrnetMessage> TargetedMessage(int targetId);
  /// @}
  /// The slot entries of the slots in mask; raises TRuntimeError "Vyrnet message
  /// data too large" above kVyrnetMaxData bytes.
  virtual Array<std::uint8_t> EncodeSlots(std::uint32_t mask);
  /// Applies through the setters. Raises "Invalid Vyrnet data type" for a
  /// kind 0, 6 or 7 entry and "Corrupt Vyrnet message" when an entry runs past
  /// the end; nothing is read beyond the bytes.
  virtual void DecodeSlots(TArray<std::uint8_t>* bytes);

  /// A new object with every slot empty.
  static Ref<TVyrnetObject> Create(int id, int state, TVyrnetHost* host, TVyrnetPeer* owner);

  /// The object's id on this host.
  int Id() const noexcept { return id_; }
  /// The peer the object is mirrored from, or null for an own object.
  TVyrnetPeer* Owner() const noexcept { return owner_.Get(); }
  /// The host the object belongs to (null after CloseHost).
  TVyrnetHost* Host() const noexcept { return host_.Get(); }
  /// The slots changed since the last announcement, one bit per slot.
  std::uint32_t ModifiedMask() const noexcept { return mask_; }
  /// @{
  /// A reference the application keeps with the object (null until set).
  Ref<TObject> UserReference() const { return user_; }
  void SetUserReference(const Ref<TObject>& user) { user_ = user; }
  /// @}
  /// The slot at index; an index outside 0 to 31 raises the array index error.
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

/// A connection to another host: a stream socket for frames, the object id maps
/// between the two hosts, and traffic counters.
class TVyrnetPeer : public TObject {
 public:
  /// True (1) while the stream socket is open and connected.
  virtual int IsConnected();
  /// Shuts both sockets.
  virtual void Close();
  /// @{
  /// The peer's sockets (null once closed).
  virtual Ref<TNetSocket> StreamSocket() { return stream_; }
  virtual Ref<TNetSocket> DatagramSocket() { return datagram_; }
  /// @}
  /// @{
  /// Records (or forgets) that the local id stands for the peer's remote id.
  virtual void MapIds(int local, int remote);
  virtual void UnmapId(int local);
  /// @}
  /// @{
  /// Move exactly n bytes. Return 1 when all n bytes moved and 0 when the peer has
  /// gone; raise TRuntimeError "Vyrnet Recv Error" / "Vyrnet Send Error" when a
  /// live connection moved fewer.
  virtual int ReceiveExact(void* buffer, std::int32_t n);
  virtual int SendExact(const void* buffer, std::int32_t n);
  /// @}
  /// The next whole message, or null until one has arrived (never blocks on a
  /// partial frame). A frame whose length field is below 2 drops the peer.
  virtual Ref<TVyrnetMessage> ReceiveMessage();
  /// Sends one message as a frame (nothing once the peer is closed); raises
  /// TRuntimeError "Vyrnet message data too large" when it does not fit a frame,
  /// and the null object error for a null message.
  virtual void SendMessage(TVyrnetMessage* message);

  /// A peer over connected sockets (the datagram socket may be null).
  static Ref<TVyrnetPeer> Create(TNetSocket* streamSocket, TNetSocket* datagramSocket);

  /// @{
  /// The peer's id for a local id and the local id for one of the peer's (0 when
  /// unmapped).
  int LocalToRemote(int local) const { return localToRemote_[local & (kVyrnetIds - 1)]; }
  int RemoteToLocal(int remote) const { return remoteToLocal_[remote & (kVyrnetIds - 1)]; }
  /// @}
  /// @{
  /// Bytes received from and sent to this peer.
  std::int64_t BytesReceived() const noexcept { return received_; }
  std::int64_t BytesSent() const noexcept { return sent_; }
  /// @}

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

/// One replication host: its own objects, its peers and what the last Sync
/// brought.
class TVyrnetHost : public TObject {
 public:
  /// A host with no objects and no peers (Create is the usual way).
  TVyrnetHost();

  /// Exchanges one frame's announcements with every peer (see the file comment)
  /// and refills the created, modified, closed and messages lists. A peer whose
  /// data does not add up is dropped, not raised.
  virtual void Sync();
  /// Shuts the listening socket and every peer. It also clears the objects'
  /// host references (Host () is null afterwards): objects and host refer to
  /// each other, and a host dropped without CloseHost stays in memory with them.
  virtual void CloseHost();
  /// Sends a message to every peer but exceptPeer (which may be null); a null
  /// message raises the null object error.
  virtual void Broadcast(TVyrnetMessage* message, TVyrnetPeer* exceptPeer);
  /// The handshake over a connected stream socket; null (both sockets shut)
  /// when the other side does not answer it in time or answers wrongly.
  virtual Ref<TVyrnetPeer> AddPeer(TNetSocket* socket);
  /// @{
  /// The lists of TVyrnetObject: all objects; those the last Sync created,
  /// modified or closed; and the peers (TVyrnetPeer).
  virtual Ref<TList> Objects() { return objects_; }
  virtual Ref<TList> Peers() { return peers_; }
  virtual Ref<TList> CreatedObjects() { return created_; }
  virtual Ref<TList> ModifiedObjects() { return modified_; }
  virtual Ref<TList> ClosedObjects() { return closed_; }
  /// @}
  /// A new own object, announced at the next Sync; raises TRuntimeError "Out of
  /// Vyrnet object IDs" when every id is taken.
  virtual Ref<TVyrnetObject> NewObject();
  /// A new own object that is only a target for messages (never announced); raises
  /// as NewObject.
  virtual Ref<TVyrnetObject> NewMessageObject();
  /// Sends the message object's slots to target's owner at once, as a message
  /// to the target's id on that host. A target owned by this host gets nothing
  /// (no message is sent or delivered); a null object raises the null object
  /// error.
  virtual void SendToObject(TVyrnetObject* messageObject, TVyrnetObject* target);
  /// Starts listening for peers on a TCP port; 1 on success, 0 when the host
  /// already listens or the port cannot be bound.
  virtual int Listen(int port);
  /// The next waiting peer after its handshake, or null when none is waiting.
  virtual Ref<TVyrnetPeer> AcceptPeer();
  /// Connects to a host listening at host:port; null when the name does not
  /// resolve, the connection fails or the handshake fails.
  virtual Ref<TVyrnetPeer> ConnectPeer(const String& host, int port);
  /// A free object id; raises TRuntimeError "Out of Vyrnet object IDs" when 1 to
  /// 4095 are all taken.
  virtual int AllocateId();
  /// @{
  /// Enters an object under its id, or removes it.
  virtual void RegisterObject(TVyrnetObject* object);
  virtual void UnregisterObject(TVyrnetObject* object);
  /// @}

  /// A new host.
  static Ref<TVyrnetHost> Create();

  /// The TVyrnetMessage list of messages the last Sync delivered to own objects.
  Ref<TList> Messages() { return messages_; }
  /// The listening socket, or null before Listen.
  Ref<TNetSocket> ListeningSocket() { return listening_; }
  /// The object with that id, or null.
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

/// One of the host's lists: 0 all objects, 1 created, 2 modified, 3 closed;
/// raises TRuntimeError "Unknown object state" otherwise, and the null object
/// error for a null host.
Ref<TList> ObjectsOfKind(TVyrnetHost* host, int kind);
/// The host's Messages list; a null host raises the null object error.
Ref<TList> HostMessages(TVyrnetHost* host);
/// @{
/// Traffic of every peer since the program started.
std::int64_t BytesReceivedTotal();
std::int64_t BytesSentTotal();
/// @}

/// Module initialiser: starts the socket module it needs.
void InitReplication();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
