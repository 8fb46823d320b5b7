// The particle demo's entry: the runtime starts, the demo runs its two scenes,
// and the process ends with status 0. An uncaught runtime error prints its
// text on standard error and gives a non-zero status.
#include "corvex/graphics/graphics.h"
#include "corvex/runtime/startup.h"
#include "demo/demo.h"

namespace {

int DemoMain(int, char**) {
  cvx::RunDemo();
  // Gives the display back (its mode and window) before the process ends.
  cvx::ShutGraphics();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  cvx::RuntimeStartup(argc, argv);
  return cvx::RunGuarded(DemoMain, argc, argv);
}
