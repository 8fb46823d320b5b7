// One node of the headless replication test, as its own process on the
// headless platform: "server" listens on a free port (printed on standard
// output), waits for two clients and relays between them; "client <port>
// <number>" joins, publishes an object of its own, and waits until it sees
// the server's object and the other client's. Each node paces itself on the
// platform clock and draws every object it knows into its in-memory display,
// then checks the pixels. The exit status says how far a node got (0: all).
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "corvex/graphics/graphics.h"
#include "corvex/net/replication.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/platform/choice.h"
#include "corvex/runtime/list.h"
#include "corvex/runtime/startup.h"
#include "corvex/system/system.h"
#include "corvex/vex2d/vex2d.h"

namespace {

using namespace cvx;

constexpr int kTimeoutMillis = 20000;
constexpr int kFrameMillis = 5;

// Every object the host knows, own and mirrored, as a 4x4 square at the
// position in its slots 1 and 2.
void DrawWorld(TVyrnetHost* host) {
  SetClearColor(0, 0, 0);
  ClearScreen();
  SetDrawColor(255, 255, 255);
  for (TVyrnetObject* object : Each<TVyrnetObject>(host->Objects().Get()))
    FillRect(static_cast<float>(object->GetInt(1)), static_cast<float>(object->GetInt(2)), 4, 4);
  FlipFrame(0);
}

bool Lit(int x, int y) { return (ReadPixmap(x + 1, y + 1, 1, 1)->GetPixel(0, 0) & 0xFFFFFFu) != 0; }

// Syncs one frame at a time until done() holds or the time is up.
template <class Done>
bool RunFramesUntil(TVyrnetHost* host, Done done) {
  const int start = Millis();
  while (Millis() - start < kTimeoutMillis) {
    host->Sync();
    DrawWorld(host);
    if (done()) return true;
    PumpSystem();
    Pause(kFrameMillis);
  }
  return false;
}

bool Knows(TVyrnetHost* host, const String& text) {
  for (TVyrnetObject* object : Each<TVyrnetObject>(host->Objects().Get()))
    if (object->GetText(0) == text) return true;
  return false;
}

int Server() {
  Ref<TVyrnetHost> host = TVyrnetHost::Create();
  if (host->Listen(0) != 1) return 10;
  std::printf("%d\n", host->ListeningSocket()->OwnPort());
  std::fflush(stdout);
  Ref<TVyrnetObject> world = host->NewObject();
  world->SetText(0, "world"_s);
  world->SetInt(1, 10);
  world->SetInt(2, 10);
  int peers = 0;
  const int start = Millis();
  while (peers < 2 && Millis() - start < kTimeoutMillis) {
    if (host->AcceptPeer()) ++peers;
    host->Sync();
    Pause(kFrameMillis);
  }
  if (peers < 2) return 11;
  // Both clients' objects arrive, and are closed again when they leave.
  if (!RunFramesUntil(host.Get(), [&] { return Knows(host.Get(), "client 1"_s) && Knows(host.Get(), "client 2"_s); }))
    return 12;
  if (!Lit(10, 10) || !Lit(30, 10) || !Lit(50, 10)) return 13;
  if (!RunFramesUntil(host.Get(), [&] { return host->Objects()->Length() == 1; })) return 14;
  host->CloseHost();
  return 0;
}

int Client(int port, int number) {
  Ref<TVyrnetHost> host = TVyrnetHost::Create();
  if (!host->ConnectPeer("127.0.0.1"_s, port)) return 20;
  Ref<TVyrnetObject> own = host->NewObject();
  own->SetText(0, "client "_s + String::OfInt(number));
  own->SetInt(1, 10 + 20 * number);
  own->SetInt(2, 10);
  const String other = "client "_s + String::OfInt(3 - number);
  if (!RunFramesUntil(host.Get(), [&] { return Knows(host.Get(), "world"_s) && Knows(host.Get(), other); }))
    return 21;
  if (!Lit(10, 10) || !Lit(30, 10) || !Lit(50, 10) || Lit(70, 10)) return 22;
  // Leaving: the own object is closed, then this client waits until the other
  // one has left too, so that neither leaves before the other has seen it.
  own->Close();
  if (!RunFramesUntil(host.Get(), [&] { return !Knows(host.Get(), other); })) return 23;
  host->CloseHost();
  return 0;
}

int NodeMain(int argc, char** argv) {
  if (InitPlatform(PlatformAuto, true) != PlatformHeadless) return 2;
  InitReplication();
  if (!OpenGraphics(80, 24, 0, 0, 0)) return 3;
  if (argc >= 2 && std::string_view(argv[1]) == "server") return Server();
  if (argc >= 4 && std::string_view(argv[1]) == "client") return Client(std::atoi(argv[2]), std::atoi(argv[3]));
  return 4;
}

}  // namespace

int main(int argc, char** argv) {
  cvx::RuntimeStartup(argc, argv);
  return cvx::RunGuarded(NodeMain, argc, argv);
}
