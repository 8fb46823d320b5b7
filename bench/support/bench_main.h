// The benchmark programs' common body: the runtime starts as in a real program
// (the collector needs the main thread's stack), then Google Benchmark runs.
#pragma once

#include <benchmark/benchmark.h>

#include "corvex/runtime/startup.h"

namespace cvx {

inline int RunBenchmarks(int argc, char** argv, void (*beforeRun)() = nullptr) {
  RuntimeStartup(argc, argv);
  if (beforeRun) beforeRun();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace cvx
