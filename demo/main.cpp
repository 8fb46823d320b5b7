// The particle demo's entry: Corvex starts, the demo runs its two scenes, and
// the process ends with status 0 (1 when no display could be opened). An
// uncaught runtime error prints its text on standard error and gives status 1.
#include "corvex/app/app.h"
#include "demo/demo.h"

namespace {

int DemoMain(int, char**) { return demo::RunDemo() ? 0 : 1; }

}  // namespace

int main(int argc, char** argv) { return cvx::RunProgram(argc, argv, DemoMain); }
