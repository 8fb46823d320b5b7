// Two processes replicating objects over loopback: the host moves a ball, a
// guest process mirrors it with an object of its own, and the host sees the
// guest's object follow.
//
// Shows: a replication host that listens and accepts a peer, one that
// connects; objects with typed slots; Sync once a frame, after which the
// created, modified and closed lists say what arrived; closing an object.
// The program starts its own guest as a child process. No window is needed.
//
//   example-replication [--frames N]   the host (N moves, 120 by default)
//   example-replication --guest PORT   the guest (started by the host)
#include <corvex/app/app.h>
#include <corvex/net/replication.h>
#include <corvex/net/socket.h>
#include <corvex/process/childprocess.h>
#include <corvex/runtime/list.h>
#include <corvex/runtime/startup.h>
#include <corvex/system/system.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

using namespace cvx;

namespace {

// Slot layout of both objects: 0 the name, 1 and 2 the position.
constexpr int kName = 0, kX = 1, kY = 2;

// The first object in a list with this name, or null.
TVyrnetObject* Named(TList* objects, const String& name) {
  for (auto cursor = objects->Cursor(); cursor->HasMore();) {
    auto* object = As<TVyrnetObject>(cursor->NextItem().Get());
    if (object && object->GetText(kName) == name) return object;
  }
  return nullptr;
}

// The guest: mirrors the host's "ball" in its own "echo" until the ball closes.
int Guest(int port) {
  Ref<TVyrnetHost> host = TVyrnetHost::Create();
  if (!host->ConnectPeer("127.0.0.1"_s, port)) {
    std::fprintf(stderr, "cannot reach the host on port %d\n", port);
    return 1;
  }
  Ref<TVyrnetObject> ball, echo;
  int updates = 0;
  for (const int start = Millis(); Millis() - start < 20000; Pause(5)) {
    host->Sync();
    if (!ball) ball = Named(host->CreatedObjects().Get(), "ball"_s);
    if (ball && Named(host->ClosedObjects().Get(), "ball"_s)) break;
    if (ListEmpty(host->Peers().Get())) return 1;  // the host went away
    if (!ball) continue;
    if (!echo) {
      echo = host->NewObject();
      echo->SetText(kName, "echo"_s);
    }
    // Every write is announced at the next Sync, even of the value a slot
    // already holds, so the echo is written only when the ball has moved.
    if (echo->GetInt(kX) != ball->GetInt(kX) || echo->GetInt(kY) != ball->GetInt(kY)) {
      echo->SetInt(kX, ball->GetInt(kX));
      echo->SetInt(kY, ball->GetInt(kY));
      ++updates;
    }
  }
  std::printf("echoed %d positions\n", updates);
  return ball ? 0 : 1;
}

int Host(int moves) {
  Ref<TVyrnetHost> host = TVyrnetHost::Create();
  // Port 0: the system picks a free one, which the guest is told.
  if (!host->Listen(0)) return 1;
  const int port = SocketOwnPort(host->ListeningSocket().Get());
  const String command = Concat(Concat("\""_s, AppFile()), Concat("\" --guest "_s, String::OfInt(port)));
  Ref<TChildProcess> guest = LaunchChildProcess(command, 0);
  if (!guest) return 1;

  Ref<TVyrnetPeer> peer;
  for (const int start = Millis(); !peer && Millis() - start < 10000; Pause(5)) peer = host->AcceptPeer();
  if (!peer) {
    std::fprintf(stderr, "the guest did not connect\n");
    return 1;
  }
  Ref<TVyrnetObject> ball = host->NewObject();
  ball->SetText(kName, "ball"_s);

  // Move the ball, then keep syncing until the echo has caught up (for at
  // most five seconds).
  int x = 0, y = 0, echoX = -1, echoY = -1, stopped = 0;
  for (int frame = 0; frame < moves || Millis() - stopped < 5000; ++frame, Pause(5)) {
    if (frame < moves) {
      x = 10 + frame * 3;
      y = 100 + (frame % 20) * 2;
      ball->SetInt(kX, x);
      ball->SetInt(kY, y);
      stopped = Millis();
    }
    host->Sync();
    TVyrnetObject* echo = Named(host->Objects().Get(), "echo"_s);
    if (echo) echoX = echo->GetInt(kX), echoY = echo->GetInt(kY);
    if (frame >= moves && echoX == x && echoY == y) break;
  }
  std::printf("the ball ended at (%d, %d), its echo at (%d, %d)\n", x, y, echoX, echoY);

  // Closing is announced at the next Sync; the guest then ends.
  ball->Close();
  host->Sync();
  for (const int start = Millis(); guest->IsRunning() && Millis() - start < 5000;) Pause(5);
  // What the guest printed, on either stream.
  for (TPipeByteStream* stream : {guest->standardStream.Get(), guest->errorStream.Get()})
    for (String line = stream->ReadTextLine(); !line.IsEmpty(); line = stream->ReadTextLine())
      std::printf("  guest: %s\n", line.ToStd().c_str());
  host->CloseHost();
  const bool ok = echoX == x && echoY == y && guest->ExitCode() == 0;
  std::printf("%s\n", ok ? "replicated both ways" : "the replication FAILED");
  return ok ? 0 : 1;
}

int Main(int argc, char** argv) {
  int moves = 120;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--guest") == 0) return Guest(std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--frames") == 0) moves = std::atoi(argv[i + 1]);
  }
  return Host(moves);
}

}  // namespace

int main(int argc, char** argv) { return RunProgram(argc, argv, Main); }
