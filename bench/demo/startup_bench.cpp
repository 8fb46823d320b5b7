// The demo's start-up: the wall-clock time from starting the program to the
// end of a run that presents one frame (`corvex-demo --frames 1`): loading
// the GL, opening the full-screen display, decoding and uploading the
// pictures, building scene 1 and its first frame, then the normal shutdown.
// The shutdown is counted too, so the figure is an upper bound of the time to
// the first presented frame.
//
// It is measured twice: on the bare display, and with a window manager
// (openbox) running on it as on a desktop. Without one, SDL waits 100 ms for
// the full-screen window's geometry to change before it gives up.
//
// Run under Xvfb:  xvfb-run -a -s "-screen 0 1024x768x24" ./bench_demo --benchmark_filter=Startup
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

extern char** environ;

namespace {

// Starts program (found on PATH) with no arguments; 0 when it could not be.
pid_t Spawn(const char* program) {
  char name[64];
  std::snprintf(name, sizeof name, "%s", program);
  char* argv[] = {name, nullptr};
  // Quiet: a window manager reports its missing menus.
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, program, &quiet, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&quiet);
  return spawned == 0 ? pid : 0;
}

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

void TimeDemoRuns(benchmark::State& state) {
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

void BM_DemoStartup(benchmark::State& state) {
  if (!std::getenv("DISPLAY")) {
    state.SkipWithError("needs an X display");
    return;
  }
  TimeDemoRuns(state);
}
// A few whole program runs; the page cache is warm after the first.
BENCHMARK(BM_DemoStartup)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_DemoStartupUnderWindowManager(benchmark::State& state) {
  if (!std::getenv("DISPLAY")) {
    state.SkipWithError("needs an X display");
    return;
  }
  const pid_t manager = Spawn("openbox");
  if (manager == 0) {
    state.SkipWithError("openbox could not be started");
    return;
  }
  sleep(1);  // the manager takes over the display before the first run
  int status = 0;
  if (waitpid(manager, &status, WNOHANG) == manager) {
    state.SkipWithError("openbox ended at once (another window manager runs?)");
    return;
  }
  TimeDemoRuns(state);
  kill(manager, SIGTERM);
  waitpid(manager, &status, 0);
}
BENCHMARK(BM_DemoStartupUnderWindowManager)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
