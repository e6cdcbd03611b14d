// Cost of one random draw: the program's generator (block regeneration,
// identical sequence) against std::mt19937, raw and as the deviates the
// kernels use. Each benchmark draws in a loop and keeps the values alive, so
// the figure per iteration is the cost per draw including the loop.

#include "engine/uranmt.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

void BM_StdMt19937(benchmark::State& state) {
  std::mt19937 generator(5489u);
  for (auto _ : state) benchmark::DoNotOptimize(generator());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StdMt19937);

void BM_RandomInt32(benchmark::State& state) {
  Engine::RandomSeed(5489u);
  for (auto _ : state) benchmark::DoNotOptimize(Engine::RandomInt32());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RandomInt32);

// std::mt19937 turned into the same [0, 1) deviate by hand.
void BM_StdMt19937Uniform(benchmark::State& state) {
  std::mt19937 generator(5489u);
  for (auto _ : state)
    benchmark::DoNotOptimize(static_cast<double>(static_cast<std::uint32_t>(generator()) ^ 0x80000000u) * 0x1p-32);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StdMt19937Uniform);

// The library's own conversion, for scale.
void BM_StdUniformRealDistribution(benchmark::State& state) {
  std::mt19937 generator(5489u);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  for (auto _ : state) benchmark::DoNotOptimize(uniform(generator));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StdUniformRealDistribution);

void BM_RandomUniform(benchmark::State& state) {
  Engine::RandomSeed(5489u);
  for (auto _ : state) benchmark::DoNotOptimize(Engine::RandomUniform());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RandomUniform);

void BM_RandomIndex(benchmark::State& state) {
  Engine::RandomSeed(5489u);
  for (auto _ : state) benchmark::DoNotOptimize(Engine::RandomIndex(100000));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RandomIndex);

// The waiting time of the Gillespie kernels: one open deviate and a logarithm.
void BM_RandomExponential(benchmark::State& state) {
  Engine::RandomSeed(5489u);
  for (auto _ : state) benchmark::DoNotOptimize(Engine::RandomExponential(2.5));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RandomExponential);

// A whole regeneration of the 624-word state with its tempering.
void BM_Refill(benchmark::State& state) {
  Engine::TMersenneTwister generator(5489u);
  for (auto _ : state) {
    generator.Refill();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * Engine::TMersenneTwister::StateSize);
}
BENCHMARK(BM_Refill);

} // namespace
