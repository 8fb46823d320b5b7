#include "corvex/net/socketstream.h"

#include "corvex/stream/openers.h"
#include "corvex/stream/url.h"

namespace cvx {

int TSocketByteStream::AtEnd() {
  if (!socket_) return 1;
  if (socket_->IsConnected()) return 0;
  Close();
  return 1;
}

void TSocketByteStream::Close() {
  if (!socket_) return;
  if (autoClose_ == 1) socket_->Shut();
  socket_ = nullptr;
}

std::int32_t TSocketByteStream::Read(void* buffer, std::int32_t count) {
  if (!socket_) return 0;
  return socket_->ReceiveBytes(buffer, count, 0);
}

std::int32_t TSocketByteStream::Write(const void* buffer, std::int32_t count) {
  if (!socket_) return 0;
  return socket_->SendBytes(buffer, count, 0);
}

Ref<TNetSocket> TSocketByteStream::Socket() { return socket_; }

Ref<TSocketByteStream> TSocketByteStream::Wrap(TNetSocket* socket, int autoClose) {
  Ref<TSocketByteStream> stream = new TSocketByteStream();
  stream->socket_ = socket;
  stream->autoClose_ = autoClose;
  return stream;
}

Ref<TSocketByteStream> TSocketByteStream::ConnectTcp(const String& host, int port) {
  std::int32_t address = ResolveHostAddress(host, 0);
  if (address == 0) return nullptr;
  Ref<TNetSocket> socket = TNetSocket::NewTcp();
  if (!socket) return nullptr;
  if (socket->ConnectTo(address, port)) return Wrap(socket.Get(), 1);
  socket->Shut();
  return nullptr;
}

// ---- Url openers ----------------------------------------------------------------------

namespace {

// Reads one header line (LF or a 0 byte ends it, CR is dropped). Returns its
// length, -1 at the end of the stream before any byte, or -2 when `budget`
// (what may still be read, lowered by every byte taken) runs out.
std::int32_t SkipHeaderLine(TSocketByteStream* stream, std::int32_t& budget) {
  std::int32_t length = 0;
  for (;;) {
    if (budget <= 0) return -2;
    std::uint8_t byte = 0;
    if (stream->Read(&byte, 1) != 1) return length > 0 ? length : -1;
    --budget;
    if (byte == 0 || byte == 10) return length;
    if (byte != 13) ++length;
  }
}

}  // namespace

Ref<TSocketByteStream> OpenTcpUrl(const String& path) {
  std::int32_t colon = path.IndexOf(":"_s);
  if (colon < 0) return TSocketByteStream::ConnectTcp(path, 80);
  String host = Slice(path, 0, colon);
  String port = Slice(path, colon + 1, path.Length());
  return TSocketByteStream::ConnectTcp(host, port.AsInt());
}

Ref<TSocketByteStream> OpenHttpUrl(const String& path) {
  std::int32_t slash = path.IndexOf("/"_s);
  String host = slash < 0 ? path : Slice(path, 0, slash);
  String request = slash < 0 ? "/"_s : Slice(path, slash, path.Length());
  Ref<TSocketByteStream> stream = TSocketByteStream::ConnectTcp(host, 80);
  if (!stream) return nullptr;
  return HttpGet(stream.Get(), host, request);
}

Ref<TSocketByteStream> HttpGet(TSocketByteStream* stream, const String& host, const String& request) {
  if (!stream) return nullptr;
  if (!stream->WriteTextLine("GET "_s + request + " HTTP/1.0"_s) || !stream->WriteTextLine("Host: "_s + host) ||
      !stream->WriteTextLine(String())) {
    stream->Close();
    return nullptr;
  }
  // The status line and the headers are dropped unread, up to the empty line
  // or the end of the response. The headers are bounded, so that a peer that
  // streams bytes without ever ending its headers cannot keep us reading.
  std::int32_t budget = kMaxHttpHeaderBytes;
  for (;;) {
    std::int32_t length = SkipHeaderLine(stream, budget);
    if (length == -2) {
      stream->Close();
      return nullptr;
    }
    if (length <= 0) break;
  }
  return stream;
}

namespace {

bool socketsReady = false;

}  // namespace

void InitSockets() {
  if (socketsReady) return;
  socketsReady = true;
  InitStream();
  // The stream module keeps the "tcp" and "http" openers in their place in
  // the opener list; they connect through these.
  SetNetworkUrlConnects([](const String& path) { return Ref<TByteStream>(OpenTcpUrl(path)); },
                        [](const String& path) { return Ref<TByteStream>(OpenHttpUrl(path)); });
}

}  // namespace cvx
