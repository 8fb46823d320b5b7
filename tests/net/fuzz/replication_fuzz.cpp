// libFuzzer target: after a good handshake, a peer sends arbitrary bytes and
// then closes. Sync must neither raise nor hang: whatever it cannot use is
// dropped, and the peer is gone once its bytes are spent.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "corvex/net/replication.h"
#include "corvex/runtime/startup.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  cvx::RuntimeStartup(*argc, *argv);
  cvx::InitReplication();
  return 0;
}

namespace {

void Drain(int fd) {
  std::uint8_t buffer[4096];
  while (recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cvx;
  if (size > 60000) return 0;  // stays within the socket buffer, so the write cannot block
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
  const std::uint8_t hello[6] = {1, 15, 2, 14, 0, 0};
  bool written = send(fds[1], hello, sizeof hello, MSG_NOSIGNAL) == 6 &&
                 send(fds[1], data, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
  shutdown(fds[1], SHUT_WR);
  {
    Ref<TVyrnetHost> host = TVyrnetHost::Create();
    Ref<TVyrnetObject> own = host->NewObject();  // a target for messages and a victim for forgeries
    own->SetInt(0, 1);
    host->Sync();
    Ref<TVyrnetPeer> peer = written ? host->AddPeer(TNetSocket::FromHandle(fds[0], 1).Get()) : nullptr;
    if (!peer) {
      close(fds[0]);
    } else {
      for (int i = 0; i < 64 && host->Peers()->Length() > 0; ++i) {
        host->Sync();
        Drain(fds[1]);
      }
      if (host->Peers()->Length() > 0) __builtin_trap();  // the bytes are spent: the peer must be gone
      if (own->GetInt(0) != 1 || host->ObjectById(own->Id()) != own) __builtin_trap();
    }
    host->CloseHost();
  }
  close(fds[1]);
  ReclaimMemory();
  return 0;
}
