#pragma once
// One whole simulation per benchmark iteration, timed without the allocation.

#include "engine/uDataStruct.h"
#include "engine/uSimThread.h"
#include "params/uParamFile.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace BenchSupport {

struct TRunTotals {
  std::uint64_t Events = 0;
  std::uint64_t Steps = 0;
};

// Allocates the store for `description` with a fixed seed before each
// iteration (not timed), then times `kernel(run)`. Returns the summed counts.
template <class Kernel>
TRunTotals TimeWholeRuns(benchmark::State& bench, const Engine::TRunDescription& description, Kernel&& kernel) {
  Engine::TSimState& s = Engine::SimState();
  const Params::TParameterFile noFile("");
  TRunTotals totals;
  for (auto _ : bench) {
    bench.PauseTiming();
    s.FreeAll();
    s.FixedSeed = 20240601u;
    s.AllocateMemory(description);
    Engine::TRunControl control;
    Engine::TSimRun run(s, noFile, control);
    bench.ResumeTiming();
    kernel(run);
    totals.Events += run.Events();
    totals.Steps += run.Steps();
  }
  s.FreeAll();
  return totals;
}

} // namespace BenchSupport
