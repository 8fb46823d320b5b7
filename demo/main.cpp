// The particle demo's entry: Corvex starts, the demo runs its two scenes, and
// the process ends with status 0 (1 when no display could be opened). An
// uncaught runtime error prints its text on standard error and gives status 1.
//
//   corvex-demo               the two scenes, Escape moves on
//   corvex-demo --frames N    N frames of the first scene, then the end
#include <cstdlib>
#include <cstring>

#include "corvex/app/app.h"
#include "demo/demo.h"

namespace {

int FrameLimit(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--frames") == 0) return std::atoi(argv[i + 1]);
  return 0;
}

int DemoMain(int argc, char** argv) { return demo::RunDemo(FrameLimit(argc, argv)) ? 0 : 1; }

}  // namespace

int main(int argc, char** argv) { return cvx::RunProgram(argc, argv, DemoMain); }
