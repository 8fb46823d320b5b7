// The demo's start-up: the wall-clock time from starting the program to the
// end of a run that presents one frame (`corvex-demo --frames 1`): loading
// the GL, opening the full-screen display, decoding and uploading the
// pictures, building scene 1 and its first frame, then the normal shutdown.
// The shutdown is counted too, so the figure is an upper bound of the time to
// the first presented frame.
//
// Run under Xvfb:  xvfb-run -a -s "-screen 0 1024x768x24" ./bench_demo --benchmark_filter=Startup
#include <spawn.h>
#include <sys/wait.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>

extern char** environ;

namespace {

// True when the program ran and ended with status 0.
bool RunDemoOneFrame() {
  char program[] = CORVEX_DEMO_PROGRAM;
  char frames[] = "--frames";
  char one[] = "1";
  char* argv[] = {program, frames, one, nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_DemoStartup(benchmark::State& state) {
  if (!std::getenv("DISPLAY")) {
    state.SkipWithError("needs an X display");
    return;
  }
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (!RunDemoOneFrame()) {
      state.SkipWithError("corvex-demo --frames 1 failed");
      return;
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.counters["seconds"] = benchmark::Counter(seconds, benchmark::Counter::kAvgIterations);
}
// A few whole program runs; the page cache is warm after the first.
BENCHMARK(BM_DemoStartup)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
