// Check-point statistics of a full chain store: milliseconds per CalcDyads,
// per CalcMassDistributions, per B count of every chain, and per
// CalcCheckPointStatistics (both with one reading of the store, as a run's
// check point does).
//
// The store holds about 2e7 units, as a free-radical run of 1e5 initiator
// molecules does by its end: 1e5 chains of 1..399 units (mean 200), a random
// copolymer with runs of equal units so all four dyads occur. Chain lengths
// are spread so that chains end anywhere inside a 256-position block.
// Run: bin/chain_stats_bench

#include "engine/uDataStruct.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

namespace {

using namespace Engine;

TSimState& FilledStore() {
  static TSimState* state = [] {
    auto* s = new TSimState;
    TRunDescription run;
    run.ProcessType = ptLiving;
    run.InitiatorNumber = 100000;
    run.MonomerANumber = 10000000;
    run.MonomerBNumber = 10000000;
    run.MonomerAMolWeight = 104.15;
    run.MonomerBMolWeight = 100.12;
    run.InitiatorMolWeight = 164.21;
    run.CheckPointTime = {0.0, 1.0};
    s->AllocateMemory(run);
    s->FixedSeed = 1u;
    s->InitializeRun();
    std::mt19937 rng(7u);
    std::uint8_t kind = UnitA;
    for (std::int32_t chain = 1; chain <= s->ChainsNumber; ++chain) {
      const std::int32_t length = 1 + static_cast<std::int32_t>(rng() % 399);
      for (std::int32_t k = 0; k < length; ++k) {
        if (rng() % 4 == 0) kind = static_cast<std::uint8_t>(rng() % 2);
        s->Propagate(chain, kind);
      }
    }
    return s;
  }();
  return *state;
}

void BM_CalcDyads(benchmark::State& st) {
  TSimState& s = FilledStore();
  for (auto _ : st) {
    s.CalcDyads(1);
    benchmark::DoNotOptimize(s.CPDyads[0][1]);
  }
  std::int64_t units = 0;
  for (std::int32_t i = 1; i <= s.ChainsNumber; ++i) units += s.ChainDP[static_cast<std::size_t>(i)];
  st.counters["units"] = static_cast<double>(units);
}
BENCHMARK(BM_CalcDyads)->Unit(benchmark::kMillisecond);

void BM_CalcMassDistributions(benchmark::State& st) {
  TSimState& s = FilledStore();
  for (auto _ : st) {
    s.CalcMassDistributions();
    benchmark::DoNotOptimize(s.Mw);
  }
}
BENCHMARK(BM_CalcMassDistributions)->Unit(benchmark::kMillisecond);

void BM_CalcCheckPointStatistics(benchmark::State& st) {
  TSimState& s = FilledStore();
  for (auto _ : st) {
    s.CalcCheckPointStatistics(1);
    benchmark::DoNotOptimize(s.Mw);
  }
}
BENCHMARK(BM_CalcCheckPointStatistics)->Unit(benchmark::kMillisecond);

void BM_CountBAllChains(benchmark::State& st) {
  TSimState& s = FilledStore();
  for (auto _ : st) {
    std::int64_t b = 0;
    for (std::int32_t i = 1; i <= s.ChainsNumber; ++i) b += s.ChainUnits.CountB(i, s.ChainDP[static_cast<std::size_t>(i)]);
    benchmark::DoNotOptimize(b);
  }
}
BENCHMARK(BM_CountBAllChains)->Unit(benchmark::kMillisecond);

} // namespace
