// A connection to another host: id mapping, exact transfers and message frames.
#include <poll.h>

#include "corvex/net/replication.h"

namespace cvx {

namespace {
std::int64_t receivedTotal = 0;
std::int64_t sentTotal = 0;

constexpr int kHeaderBytes = 4;

// True when the other side has finished sending. Bytes it left behind keep a
// socket readable, so IsConnected alone would never notice a peer that closed
// in the middle of a frame.
bool SenderFinished(TNetSocket* socket) {
  pollfd p{socket->Handle(), POLLRDHUP, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}
}  // namespace

std::int64_t BytesReceivedTotal() { return receivedTotal; }
std::int64_t BytesSentTotal() { return sentTotal; }

Ref<TVyrnetPeer> TVyrnetPeer::Create(TNetSocket* streamSocket, TNetSocket* datagramSocket) {
  Ref<TVyrnetPeer> peer = new TVyrnetPeer();
  peer->stream_ = streamSocket;
  peer->socket_ = streamSocket;
  peer->datagram_ = datagramSocket;
  peer->localToRemote_ = NewArray<std::int32_t>(kVyrnetIds);
  peer->remoteToLocal_ = NewArray<std::int32_t>(kVyrnetIds);
  return peer;
}

int TVyrnetPeer::IsConnected() { return socket_ && socket_->IsConnected(); }

void TVyrnetPeer::Close() {
  if (socket_) socket_->Shut();
  if (datagram_) datagram_->Shut();
  pending_ = nullptr;
}

void TVyrnetPeer::MapIds(int local, int remote) {
  localToRemote_[local] = remote;
  remoteToLocal_[remote] = local;
}

void TVyrnetPeer::UnmapId(int local) {
  int remote = localToRemote_[local];
  localToRemote_[local] = 0;
  remoteToLocal_[remote] = 0;
}

int TVyrnetPeer::ReceiveExact(void* buffer, std::int32_t n) {
  std::int32_t got = stream_ ? stream_->ReceiveBytes(buffer, n, 0) : 0;
  received_ += got;
  receivedTotal += got;
  if (got == n) return 1;
  if (IsConnected()) Throw("Vyrnet Recv Error"_s);
  return 0;
}

int TVyrnetPeer::SendExact(const void* buffer, std::int32_t n) {
  std::int32_t put = stream_ ? stream_->SendBytes(buffer, n, 0) : 0;
  sent_ += put;
  sentTotal += put;
  if (put == n) return 1;
  if (IsConnected()) Throw("Vyrnet Send Error"_s);
  return 0;
}

Ref<TVyrnetMessage> TVyrnetPeer::ReceiveMessage() {
  if (!stream_ || stream_->Handle() < 0) return nullptr;
  if (!pending_) {
    if (stream_->BytesWaiting() < kHeaderBytes) {
      if (SenderFinished(stream_.Get())) Close();  // the frame can never complete
      return nullptr;
    }
    std::uint8_t header[kHeaderBytes];
    if (!ReceiveExact(header, kHeaderBytes)) return nullptr;
    std::int32_t length = (header[0] << 8 | header[1]) - 2;
    if (length < 0) {
      // The length counts its own two bytes; less cannot be framed, and
      // nothing after it can be trusted.
      Close();
      return nullptr;
    }
    int type = header[2] >> 4;
    int id = (header[2] & 15) << 8 | header[3];
    // Creations carry the sender's own id, which the host maps; other
    // announcements name an object by the sender's id, translated here. An
    // id that was never mapped names no object here (0): taken as it stands
    // it could hit another object of the same peer, as when a peer that
    // joined late hears of a closing whose creation it never saw.
    if (type != kVyrnetMessageObject && type != kVyrnetCreated) id = remoteToLocal_[id];
    pending_ = new TVyrnetMessage(id, type, nullptr);
    pendingLength_ = length;
  }
  if (pendingLength_ > 0 && stream_->BytesWaiting() < pendingLength_) {
    if (SenderFinished(stream_.Get())) Close();
    return nullptr;
  }
  Ref<TVyrnetMessage> message = std::move(pending_);
  pending_ = nullptr;
  if (pendingLength_ == 0) return message;
  Array<std::uint8_t> data = NewArray<std::uint8_t>(pendingLength_);
  if (!ReceiveExact(data->Data(), pendingLength_)) return nullptr;
  message->data = data;
  return message;
}

void TVyrnetPeer::SendMessage(TVyrnetMessage* message) {
  if (!message) ThrowNullObjectError();
  if (!stream_ || stream_->Handle() < 0) return;
  int wireId = message->id;
  if (message->type == kVyrnetMessageObject) wireId = localToRemote_[message->id & (kVyrnetIds - 1)];
  std::int32_t length = message->data->Length();
  // Relayed data may be longer than what EncodeSlots makes; anything the
  // 16-bit length field can hold is framed.
  if (length + 2 > 0xFFFF) Throw("Vyrnet message data too large"_s);
  Array<std::uint8_t> frame = NewArray<std::uint8_t>(kHeaderBytes + length);
  std::uint8_t* at = frame->Data();
  at[0] = static_cast<std::uint8_t>((length + 2) >> 8);
  at[1] = static_cast<std::uint8_t>(length + 2);
  at[2] = static_cast<std::uint8_t>((message->type & 15) << 4 | (wireId >> 8 & 15));
  at[3] = static_cast<std::uint8_t>(wireId);
  for (std::int32_t i = 0; i < length; ++i) at[kHeaderBytes + i] = message->data[i];
  SendExact(at, kHeaderBytes + length);
}

}  // namespace cvx
