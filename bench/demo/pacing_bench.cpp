// Frame pacing at 60 Hz: the standard deviation of the intervals between the
// ends of 240 frames, each frame a clear and a present.
//
//   BM_FlipFramePacing      FlipFrame(-1) on the opened full-screen display
//                           (software pacing where the retrace cannot be
//                           waited for, as under Xvfb)
//   BM_DeadlineSleepPacing  the same frames presented at once (FlipFrame(0)),
//                           each followed by clock_nanosleep to an absolute
//                           deadline on the same whole-millisecond schedule,
//                           frame n at start + n * 1000 / 60 ms
//
// The schedule's own 16/17 ms cadence has a deviation of about 0.47 ms; what
// a pacer adds to that is its error. Run under Xvfb (see bench_demo).
#include <time.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "corvex/glvex2d/glvex2d.h"
#include "corvex/graphics/graphics.h"
#include "corvex/vex2d/vex2d.h"
#include "demo/scene.h"

namespace {

using namespace cvx;

constexpr int kFrames = 240;
constexpr int kHertz = 60;

bool EnsureDisplay() {
  if (OpenedGraphics()) return true;
  InitGLVex2D();
  return OpenGraphics(demo::ScreenWidth, demo::ScreenHeight, demo::ScreenDepth, kHertz, 0) != nullptr;
}

double DeviationMs(const std::vector<std::chrono::steady_clock::time_point>& ends) {
  std::vector<double> intervals;
  for (std::size_t i = 1; i < ends.size(); ++i)
    intervals.push_back(std::chrono::duration<double, std::milli>(ends[i] - ends[i - 1]).count());
  double mean = 0;
  for (double v : intervals) mean += v;
  mean /= static_cast<double>(intervals.size());
  double sum = 0;
  for (double v : intervals) sum += (v - mean) * (v - mean);
  return std::sqrt(sum / static_cast<double>(intervals.size()));
}

template <typename PaceOneFrame>
void MeasurePacing(benchmark::State& state, PaceOneFrame pace) {
  if (!std::getenv("DISPLAY")) {
    state.SkipWithError("needs an X display");
    return;
  }
  if (!EnsureDisplay()) {
    state.SkipWithError("cannot open the display");
    return;
  }
  double sigma = 0;
  for (auto _ : state) {
    std::vector<std::chrono::steady_clock::time_point> ends;
    ends.reserve(kFrames);
    for (int i = 0; i < 10; ++i) pace(i);  // settle into the schedule
    for (int frame = 0; frame < kFrames; ++frame) {
      ClearScreen();
      pace(frame);
      ends.push_back(std::chrono::steady_clock::now());
    }
    sigma += DeviationMs(ends);
  }
  state.counters["sigma_ms"] = benchmark::Counter(sigma, benchmark::Counter::kAvgIterations);
}

void BM_FlipFramePacing(benchmark::State& state) {
  MeasurePacing(state, [](int) { FlipFrame(-1); });
}
BENCHMARK(BM_FlipFramePacing)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_DeadlineSleepPacing(benchmark::State& state) {
  timespec start{};
  long frame = 0;
  bool started = false;
  MeasurePacing(state, [&](int) {
    if (!started) {
      clock_gettime(CLOCK_MONOTONIC, &start);
      started = true;
    }
    FlipFrame(0);
    ++frame;
    const long long due = static_cast<long long>(start.tv_sec) * 1000000000LL + start.tv_nsec +
                          frame * 1000 / kHertz * 1000000LL;
    timespec deadline{static_cast<time_t>(due / 1000000000LL), static_cast<long>(due % 1000000000LL)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) != 0) {
    }
  });
}
BENCHMARK(BM_DeadlineSleepPacing)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
