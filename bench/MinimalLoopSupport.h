#pragma once
// What the minimal loops of bench/whole-run.sh share: the program's random
// deviates from std::mt19937, unordered radical lists with swap-remove, one
// growable byte vector per chain, the check points of a prepared file, the
// DP averages taken at each check point and the one summary line printed.
// Written as the shortest code a competent programmer would write, so that
// the comparison charges to the program everything it adds around the
// algorithm.

#include "params/uParamFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace MinimalLoop {

inline constexpr std::size_t MaxDP = 32767;

using TList = std::vector<std::int32_t>;
using TChains = std::vector<std::vector<std::uint8_t>>;

inline std::mt19937 Generator;

// [0, 1) and (0, 1) from one 32-bit output, as the program forms them.
inline double UniformOf(std::uint32_t r) { return static_cast<double>(r ^ 0x80000000u) * 0x1p-32; }
inline double Uniform() { return UniformOf(Generator()); }
inline double Open() { return (static_cast<double>(Generator() ^ 0x80000000u) + 0.5) * 0x1p-32; }

inline std::int32_t Pick(const TList& list) {
  return static_cast<std::int32_t>(Uniform() * static_cast<double>(list.size()));
}

// Removes the radical at place o (the last one takes its place) and returns it.
inline std::int32_t Remove(TList& list, std::int32_t o) {
  const std::int32_t chain = list[static_cast<std::size_t>(o)];
  list[static_cast<std::size_t>(o)] = list.back();
  list.pop_back();
  return chain;
}

// Moves the chain at place o of `from` to the end of `to`; returns it.
inline std::int32_t MoveAt(TList& from, std::int32_t o, TList& to) {
  const std::int32_t chain = Remove(from, o);
  to.push_back(chain);
  return chain;
}

inline bool Full(const TChains& chains, std::int32_t c) { return chains[static_cast<std::size_t>(c)].size() >= MaxDP; }

// Joins chain y onto x head to head (y's units reversed); a product of MaxDP
// units or more is refused, as in the program.
inline void Recombine(TChains& chains, std::int32_t x, std::int32_t y) {
  auto& cx = chains[static_cast<std::size_t>(x)];
  auto& cy = chains[static_cast<std::size_t>(y)];
  if (cx.size() + cy.size() < MaxDP) {
    cx.insert(cx.end(), cy.rbegin(), cy.rend());
    std::vector<std::uint8_t>().swap(cy);
  }
}

// The growth channels free radical and ATRP share, numbered alike: 1 A* + A,
// 2 A* + B, 3 B* + A, 4 B* + B, 5 I* + A, 6 I* + B. The radical is picked
// from its list; one that changes kind moves to the other list. A chain at the
// longest length the program holds (32767 units) is refused the unit: nothing
// changes, as in the program.
inline void Grow(int channel, TChains& chains, TList& activeI, TList& activeA, TList& activeB, std::int64_t& nA,
                 std::int64_t& nB) {
  const std::uint8_t kind = channel == 2 || channel == 4 || channel == 6 ? 1 : 0;
  std::int64_t& monomer = kind == 0 ? nA : nB;
  if (channel == 1 || channel == 4) {
    TList& list = channel == 1 ? activeA : activeB;
    const std::int32_t c = list[static_cast<std::size_t>(Pick(list))];
    if (Full(chains, c)) return;
    --monomer;
    chains[static_cast<std::size_t>(c)].push_back(kind);
    return;
  }
  TList& from = channel == 2 ? activeA : channel == 3 ? activeB : activeI;
  TList& to = kind == 1 ? activeB : activeA;
  const std::int32_t o = Pick(from);
  if (Full(chains, from[static_cast<std::size_t>(o)])) return;
  --monomer;
  chains[static_cast<std::size_t>(MoveAt(from, o, to))].push_back(kind);
}

// Termination of two radicals, the second picked after the first has left its
// list; a recombination joins them.
inline void Terminate(TChains& chains, TList& first, TList& second, bool recombination) {
  const std::int32_t x = Remove(first, Pick(first));
  const std::int32_t y = Remove(second, Pick(second));
  if (recombination) Recombine(chains, x, y);
}

// The check-point times of the file (index 0 … high) and the generator seeded
// from the command line (default 1).
inline std::vector<double> Start(const Params::TParameterFile& file, int argc, char** argv) {
  std::vector<double> checkPoints;
  int highIndex = -1;
  file.ReadCheckingPointsArray(highIndex, checkPoints);
  checkPoints.resize(static_cast<std::size_t>(highIndex + 1));
  Generator.seed(argc > 2 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 1u);
  return checkPoints;
}

// Number- and weight-average DP of the grown chains, as a check point takes them.
struct TAverages {
  double DPn = 0.0, DPw = 0.0;
};
inline TAverages Averages(const TChains& chains) {
  double s1 = 0.0, s2 = 0.0, n = 0.0;
  for (const auto& c : chains) {
    if (c.empty()) continue;
    const double dp = static_cast<double>(c.size());
    n += 1.0;
    s1 += dp;
    s2 += dp * dp;
  }
  return {n > 0 ? s1 / n : 0.0, s1 > 0 ? s2 / s1 : 0.0};
}

inline void PrintSummary(std::uint64_t events, double monomer0, double monomerLeft, const TAverages& dp) {
  std::printf("events=%llu conversion=%.6f DPn=%.3f DPw=%.3f\n", static_cast<unsigned long long>(events),
              monomer0 > 0 ? 1.0 - monomerLeft / monomer0 : 0.0, dp.DPn, dp.DPw);
}

} // namespace MinimalLoop
