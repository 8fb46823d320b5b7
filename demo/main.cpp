#include <cstdio>

#include "corvex/runtime/memory.h"
#include "corvex/runtime/startup.h"

namespace {
int DemoMain(int, char**) {
  std::printf("Memoire allouee : %d\n", cvx::AllocatedBytes());
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  cvx::RuntimeStartup(argc, argv);
  return cvx::RunGuarded(DemoMain, argc, argv);
}
