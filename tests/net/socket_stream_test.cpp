#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "corvex/net/socketstream.h"
#include "corvex/stream/url.h"
#include "tests/net/loopback_server.h"

namespace cvx {
namespace {

using testing::FreePort;
using testing::LoopbackServer;
using testing::OpenDescriptors;
using testing::ReadUntil;
using testing::SendAll;

// Everything the stream gives until its end, read the way url loaders do.
std::string ReadToEnd(TByteStream* stream) {
  std::string body;
  while (!stream->AtEnd()) {
    char buffer[256];
    std::int32_t n = stream->Read(buffer, sizeof buffer);
    if (n <= 0) break;
    body.append(buffer, static_cast<std::size_t>(n));
  }
  return body;
}

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

TEST(SocketStream, ReadsAcrossPartialArrivalsUntilThePeerCloses) {
  InitSockets();
  LoopbackServer server([](int fd) {
    SendAll(fd, "hel");
    Pause(50);
    SendAll(fd, "lo world");
  });
  ASSERT_TRUE(server.Ok());
  Ref<TSocketByteStream> stream = TSocketByteStream::ConnectTcp("127.0.0.1"_s, server.Port());
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->Size(), 0);
  EXPECT_EQ(stream->Position(), -1);
  EXPECT_EQ(stream->Seek(5), -1);
  char buffer[11] = {};
  EXPECT_EQ(stream->ReadExact(buffer, 11), 11);
  EXPECT_EQ(std::string(buffer, 11), "hello world");
  server.Join();
  // The peer has closed: AtEnd closes the stream, which lets go of its socket.
  Ref<TNetSocket> socket = stream->Socket();
  EXPECT_EQ(stream->AtEnd(), 1);
  EXPECT_FALSE(stream->Socket());
  EXPECT_EQ(socket->Handle(), -1);
  // A closed stream reads nothing; ReadExact stops at the end without raising.
  EXPECT_EQ(stream->Read(buffer, 4), 0);
  EXPECT_EQ(stream->ReadExact(buffer, 4), 4);
  stream->Close();
}

TEST(SocketStream, WritesReachThePeerAndTypedReadsBlockForTheirBytes) {
  LoopbackServer server([](int fd) {
    std::string got = ReadUntil(fd, "\n");
    SendAll(fd, got);  // echo
    Pause(30);
    SendAll(fd, std::string("\x01\x02\x03\x04", 4));
  });
  ASSERT_TRUE(server.Ok());
  Ref<TByteStream> stream = OpenUrlStream("tcp::127.0.0.1:"_s + String::OfInt(server.Port()), 1, 1);
  ASSERT_TRUE(stream);
  ASSERT_EQ(stream->WriteTextLine("ping"_s), 1);
  EXPECT_EQ(stream->ReadTextLine().ToStd(), "ping");
  EXPECT_EQ(stream->ReadInt32(), 0x04030201);
  stream->Close();
}

TEST(SocketStream, ClosingAStreamThatDoesNotOwnItsSocketLeavesItOpen) {
  LoopbackServer server([](int fd) { ReadUntil(fd, "never"); });
  ASSERT_TRUE(server.Ok());
  Ref<TNetSocket> socket = NewTcpSocket();
  ASSERT_EQ(socket->ConnectTo(0x7F000001, server.Port()), 1);
  Ref<TSocketByteStream> borrowed = TSocketByteStream::Wrap(socket.Get(), 0);
  borrowed->Close();
  EXPECT_GE(socket->Handle(), 0);
  Ref<TSocketByteStream> owning = TSocketByteStream::Wrap(socket.Get(), 1);
  owning->Close();
  EXPECT_EQ(socket->Handle(), -1);
  EXPECT_EQ(owning->AtEnd(), 1);
}

TEST(SocketStream, FailedConnectionsGiveNullAndLeaveNoSocketOpen) {
  int before = OpenDescriptors();
  int port = FreePort();
  EXPECT_FALSE(TSocketByteStream::ConnectTcp("127.0.0.1"_s, port));
  EXPECT_FALSE(TSocketByteStream::ConnectTcp("no-such-host.invalid"_s, port));
  EXPECT_FALSE(OpenUrlStream("tcp::127.0.0.1:"_s + String::OfInt(port), 1, 0));
  EXPECT_FALSE(OpenHttpUrl("no-such-host.invalid/index.html"_s));
  EXPECT_EQ(OpenDescriptors(), before);
}

// ---- HTTP ----------------------------------------------------------------------------

struct HttpExchange {
  std::string request;
  std::string body;
  bool opened = false;
};

// Serves `response` after reading the request; closes the connection after it.
HttpExchange Exchange(const std::string& response, const String& path, const String& host = "127.0.0.1"_s) {
  HttpExchange result;
  LoopbackServer server([&](int fd) {
    result.request = ReadUntil(fd, "\r\n\r\n");
    SendAll(fd, response);
  });
  if (!server.Ok()) return result;
  Ref<TSocketByteStream> stream = TSocketByteStream::ConnectTcp("127.0.0.1"_s, server.Port());
  if (!stream) return result;
  Ref<TSocketByteStream> body = HttpGet(stream.Get(), host, path);
  result.opened = static_cast<bool>(body);
  if (body) result.body = ReadToEnd(body.Get());
  stream->Close();
  server.Join();
  return result;
}

TEST(Http, SendsAGetWithAHostLineAndSkipsTheHeaders) {
  HttpExchange x = Exchange("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 9\r\n\r\nline1\r\n\r\nx",
                            "/dir/file.txt"_s, "example.org"_s);
  ASSERT_TRUE(x.opened);
  EXPECT_EQ(x.request, "GET /dir/file.txt HTTP/1.0\r\nHost: example.org\r\n\r\n");
  // Blank lines inside the body are body, not header ends.
  EXPECT_EQ(x.body, "line1\r\n\r\nx");
}

TEST(Http, BareLineFeedsAndMalformedStatusLinesAreSkippedAlike) {
  HttpExchange lf = Exchange("HTTP/1.0 404 Not Found\nServer: tiny\n\nmissing", "/"_s);
  ASSERT_TRUE(lf.opened);
  EXPECT_EQ(lf.body, "missing");
  HttpExchange garbage = Exchange("\x01\x02 not a status line\r\n\r\npayload", "/"_s);
  ASSERT_TRUE(garbage.opened);
  EXPECT_EQ(garbage.body, "payload");
  // A header line cut by a 0 byte ends there; the rest of it is the next line.
  HttpExchange zero =
      Exchange(std::string("HTTP/1.0 200 OK\r\nA: b", 21) + std::string(1, '\0') + "B: c\r\n\r\nok", "/"_s);
  ASSERT_TRUE(zero.opened);
  EXPECT_EQ(zero.body, "ok");
}

TEST(Http, ResponsesThatEndEarlyGiveAStreamAtItsEnd) {
  HttpExchange noEnd = Exchange("HTTP/1.0 200 OK\r\nContent-Type: text/plain", "/"_s);
  EXPECT_TRUE(noEnd.opened);
  EXPECT_EQ(noEnd.body, "");
  HttpExchange nothing = Exchange("", "/"_s);
  EXPECT_TRUE(nothing.opened);
  EXPECT_EQ(nothing.body, "");
}

TEST(Http, HeadersWithoutALineEndAreBounded) {
  // A peer streaming bytes with no line end must not be read forever.
  HttpExchange endless = Exchange("HTTP/1.0 200 OK\r\nX: " + std::string(kMaxHttpHeaderBytes + 100, 'a'), "/"_s);
  EXPECT_FALSE(endless.opened);
  // Just inside the bound is still a response.
  HttpExchange large =
      Exchange("HTTP/1.0 200 OK\r\nX: " + std::string(kMaxHttpHeaderBytes - 100, 'a') + "\r\n\r\nb", "/"_s);
  EXPECT_TRUE(large.opened);
  EXPECT_EQ(large.body, "b");
}

TEST(Http, TheUrlOpenerUsesPortEighty) {
  InitSockets();
  HttpExchange x;
  LoopbackServer server(
      [&](int fd) {
        x.request = ReadUntil(fd, "\r\n\r\n");
        SendAll(fd, "HTTP/1.0 200 OK\r\n\r\nhello");
      },
      80);
  if (!server.Ok()) GTEST_SKIP() << "port 80 is not free here";
  Ref<TByteStream> stream = OpenUrlStream("http::127.0.0.1/a/b?c=d"_s, 1, 0);
  ASSERT_TRUE(stream);
  EXPECT_EQ(ReadToEnd(stream.Get()), "hello");
  server.Join();
  EXPECT_EQ(x.request, "GET /a/b?c=d HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
  stream->Close();
}

}  // namespace
}  // namespace cvx
