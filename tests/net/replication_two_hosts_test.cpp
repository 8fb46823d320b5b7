// Two real hosts: the second runs in a forked child, because the handshake of
// each side waits for the other's bytes and one thread cannot be both.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "corvex/net/replication.h"

namespace cvx {
namespace {

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

template <class Condition>
bool SyncUntil(TVyrnetHost* host, Condition condition) {
  for (int i = 0; i < 600; ++i) {
    host->Sync();
    if (condition()) return true;
    Pause(5);
  }
  return false;
}

Ref<TVyrnetObject> LastOf(const Ref<TList>& list) {
  Ref<TVyrnetObject> last;
  for (TVyrnetObject* o : Each<TVyrnetObject>(list.Get())) last = o;
  return last;
}

// The child's side; its exit status says how far it got.
int RunSecondHost(int port) {
  try {
    Ref<TVyrnetHost> host = TVyrnetHost::Create();
    if (!host->ConnectPeer("127.0.0.1"_s, port)) return 1;
    Ref<TVyrnetObject> fromA;
    if (!SyncUntil(host.Get(), [&] {
          fromA = LastOf(host->CreatedObjects());
          return fromA && fromA->GetText(0) == "from A"_s;
        }))
      return 2;
    Ref<TVyrnetObject> own = host->NewObject();
    own->SetFloat(1, 2.5f);
    own->SetInt(2, 70000);
    if (!SyncUntil(host.Get(), [&] {
          Ref<TVyrnetObject> message = LastOf(HostMessages(host.Get()));
          return message && message->GetInt(0) == 11 && message->Id() == own->Id();
        }))
      return 3;
    own->Close();
    if (!SyncUntil(host.Get(), [&] { return host->ClosedObjects()->Holds(fromA.Get()); })) return 4;
    host->CloseHost();
    return 0;
  } catch (...) {
    return 9;
  }
}

TEST(ReplicationTwoHosts, ObjectsMessagesAndClosingsGoBothWays) {
  InitReplication();
  Ref<TVyrnetHost> host = TVyrnetHost::Create();
  ASSERT_EQ(host->Listen(0), 1);
  int port = host->ListeningSocket()->OwnPort();
  Ref<TVyrnetObject> own = host->NewObject();
  own->SetText(0, "from A"_s);
  host->Sync();

  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(RunSecondHost(port));

  Ref<TVyrnetPeer> peer;
  for (int i = 0; i < 1000 && !peer; ++i) {
    peer = host->AcceptPeer();
    if (!peer) Pause(5);
  }
  EXPECT_TRUE(peer);
  Ref<TVyrnetObject> fromB;
  EXPECT_TRUE(SyncUntil(host.Get(), [&] {
    fromB = LastOf(host->CreatedObjects());
    return static_cast<bool>(fromB);
  }));
  if (fromB) {
    EXPECT_EQ(fromB->GetFloat(1), 2.5f);
    EXPECT_EQ(fromB->GetInt(2), 70000);
    Ref<TVyrnetObject> note = host->NewMessageObject();
    note->SetInt(0, 11);
    host->SendToObject(note.Get(), fromB.Get());
    EXPECT_TRUE(SyncUntil(host.Get(), [&] { return host->ClosedObjects()->Holds(fromB.Get()); }));
  }
  own->Close();
  host->Sync();

  int status = -1;
  for (int i = 0; i < 2000; ++i) {
    if (waitpid(child, &status, WNOHANG) == child) break;
    host->Sync();
    Pause(5);
  }
  if (waitpid(child, nullptr, WNOHANG) == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  host->CloseHost();
}

}  // namespace
}  // namespace cvx
