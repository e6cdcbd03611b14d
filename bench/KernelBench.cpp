// Events per second of the free-radical, ATRP and living reversible kernels on
// one core, whole runs including the check-point records.
//
// Free radical, the reference system: kd = 1e-5 1/s, f = 1, kIA = kAA = 1000
// L/(mol s), disproportionation 1e7 L/(mol s), [M]0 = 8.7 mol/L, [I]0 = 0.01
// mol/L, to 3600 s, with 1e5 and 1e6 initiator molecules (about 2e7 and 2e8
// events). One simulated molecule stands for [I]0 / N_I mol/L, so every
// bimolecular constant is multiplied by that to give the per-molecule value.
//
// ATRP, the same monomer and propagation with an alkyl halide at 0.01 mol/L,
// activator 0.01 mol/L, 5 % deactivator, ka = 1, kda = 1e7 L/(mol s).
//
// Living reversible: chain-steps per second (waiting times drawn), 1e5 chains
// near equilibrium with depropagation.
//
// Arguments: molecules, check points. Every check point also computes the
// molar-mass statistics and dyads of the whole store, as a run does.
// Run: bin/kernel_bench --benchmark_filter=FreeRadical/100000

#include "engine/uDataStruct.h"
#include "engine/uKernelRates.h"
#include "engine/uSimThread.h"
#include "bench/BenchRunSupport.h"
#include "params/uParamFile.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using namespace Engine;

TRunDescription Describe(std::uint8_t type, std::int32_t initiators, double monomerPerInitiator, double tEnd,
                         int checkPoints) {
  TRunDescription run;
  run.ProcessType = type;
  run.InitiatorNumber = initiators;
  run.MonomerANumber = static_cast<std::int32_t>(initiators * monomerPerInitiator);
  run.MonomerAMolWeight = 104.15;
  run.InitiatorMolWeight = 164.21;
  for (int k = 0; k <= checkPoints; ++k) run.CheckPointTime.push_back(tEnd * k / checkPoints);
  return run;
}

// Runs one whole simulation per iteration; reports events and events/s.
template <class Rates>
void RunKernel(benchmark::State& bench, const TRunDescription& description, const Rates& rates,
               void (*kernel)(TSimRun&, const Rates&)) {
  const BenchSupport::TRunTotals totals =
      BenchSupport::TimeWholeRuns(bench, description, [&](TSimRun& run) { kernel(run, rates); });
  const std::uint64_t events = totals.Events, steps = totals.Steps;
  bench.counters["events"] = benchmark::Counter(static_cast<double>(events) / bench.iterations());
  bench.counters["events_per_second"] = benchmark::Counter(static_cast<double>(events), benchmark::Counter::kIsRate);
  bench.counters["steps_per_second"] = benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
}

void BM_FreeRadical(benchmark::State& bench) {
  const std::int32_t initiators = static_cast<std::int32_t>(bench.range(0));
  const double scale = 0.01 / initiators; // mol/L of one simulated molecule
  TFreeRadicalRates r;
  r.kd = 1e-5;
  r.f = 1.0;
  r.kIA = 1000.0 * scale;
  r.kAA = 1000.0 * scale;
  r.kdAA = 1e7 * scale;
  RunKernel(bench, Describe(ptFreeRadical, initiators, 8.7 / 0.01, 3600.0, static_cast<int>(bench.range(1))), r, &SimulateFreeRadical);
}
BENCHMARK(BM_FreeRadical)->Args({100000, 1})->Args({100000, 10})->Args({1000000, 10})->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

void BM_ATRP(benchmark::State& bench) {
  const std::int32_t initiators = static_cast<std::int32_t>(bench.range(0));
  const double scale = 0.01 / initiators;
  TATRPRates r;
  r.kIA = r.kAA = 1000.0 * scale;
  r.kaI = r.kaA = 1.0 * scale;
  r.kdeI = r.kdeA = 1e7 * scale;
  r.kdAA = 1e7 * scale;
  TRunDescription d = Describe(ptATRP, initiators, 8.7 / 0.01, 3600.0, static_cast<int>(bench.range(1)));
  d.ActivatorNumber = initiators;
  d.OxidizedActivatorNumber = initiators / 20;
  RunKernel(bench, d, r, &SimulateATRP);
}
BENCHMARK(BM_ATRP)->Args({100000, 1})->Args({100000, 10})->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

void BM_LivingReversible(benchmark::State& bench) {
  const std::int32_t chains = static_cast<std::int32_t>(bench.range(0));
  // 1 mol/L chain ends would be absurd; what matters is the ratio: 200 monomer
  // molecules per chain, equilibrium monomer kdp / kp = 50 per chain.
  TReversibleRates r;
  const double kp = 1.0 / chains;
  r.kIA = r.kAA = kp;
  r.kIAr = r.kAAr = 50.0;
  TRunDescription d = Describe(ptLivingReversible, chains, 200.0, 20.0, static_cast<int>(bench.range(1)));
  RunKernel(bench, d, r, &SimulateLivingReversible);
}
BENCHMARK(BM_LivingReversible)->Args({100000, 1})->Args({100000, 10})->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

} // namespace
