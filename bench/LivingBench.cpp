// Attempts per second of the living kernel on one core.
//
// The reference system is the one the kernel was tuned for: 10^3 chains and
// 10^6 mers (DP 1000 at full conversion), P(I*A) = P(A*A) = 1 and segment
// exchange with P(A*Ac) = 10^-4. An attempt is three random numbers, two
// table reads and the acceptance test; a propagation or a transfer adds the
// writes of the event. Two phases are timed separately because their mix of
// attempts differs:
//  * Growth: 5 x 10^6 attempts from the start, 99.3 % conversion (most
//    attempts propagate early, most are refused late);
//  * Whole: 3 x 10^7 attempts, growth followed by a long exchange phase in
//    which nearly every attempt picks a unit in a chain and is refused or
//    moves a segment.
// The figure to read is attempts_per_second (target 3 x 10^7 on one core).
//
// Run: bin/living_bench

#include "engine/uDataStruct.h"
#include "engine/uKernels.h"
#include "engine/uSimThread.h"
#include "bench/BenchRunSupport.h"
#include "params/uParamFile.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using namespace Engine;

void RunLiving(benchmark::State& bench, std::int32_t chains, std::int32_t mers, double attempts) {
  TRunDescription description;
  description.ProcessType = ptLiving;
  description.InitiatorNumber = chains;
  description.MonomerANumber = mers;
  description.MonomerAMolWeight = 114.1426;
  description.InitiatorMolWeight = 60.0951;
  // One attempt per second of simulated time; ten check points.
  for (int k = 0; k <= 10; ++k) description.CheckPointTime.push_back(attempts * k / 10.0);
  TLivingRates rates;
  rates.TimeInterval = 1.0;
  rates.P[2][0] = 1.0; // A* + free A
  rates.P[2][2] = 1.0; // I* + free A
  rates.P[0][0] = 1e-4; // A* attacks an A unit of another chain
  rates.P[0][2] = 1e-4; // I* does too

  const BenchSupport::TRunTotals totals =
      BenchSupport::TimeWholeRuns(bench, description, [&](TSimRun& run) { SimulateLiving(run, rates); });
  const std::uint64_t steps = totals.Steps, events = totals.Events;
  bench.counters["attempts"] = benchmark::Counter(static_cast<double>(steps) / bench.iterations());
  bench.counters["attempts_per_second"] = benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
  bench.counters["events_per_second"] = benchmark::Counter(static_cast<double>(events), benchmark::Counter::kIsRate);
}

void BM_LivingGrowth(benchmark::State& bench) { RunLiving(bench, 1000, 1000000, 5e6); }
BENCHMARK(BM_LivingGrowth)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

void BM_LivingWhole(benchmark::State& bench) { RunLiving(bench, 1000, 1000000, 3e7); }
BENCHMARK(BM_LivingWhole)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

} // namespace
