#pragma once
// How much polymer a free-radical run can form by its last check point, for
// the memory estimate: with the chain store holding only the units formed, a
// low-conversion run needs far less than one byte per monomer molecule.
//
// The bound comes from the deterministic (mean-field) kinetics of a run that
// is faster in every respect than the one described: every radical propagates
// with the largest propagation constant, primary radicals start chains at once
// (no waiting for their first monomer), and every pair of chain radicals
// terminates with the smallest termination constant of the pairs that can
// meet. More radicals living longer and growing faster consume more monomer,
// so its conversion is at least the described run's; a margin covers the
// run's random scatter about the mean.

#include <cstdint>

namespace Params {

// Per-event constants of a free-radical run, as "SimulationRates" holds them.
struct TFreeRadicalGrowth {
  double kAA = 0, kAB = 0, kBA = 0, kBB = 0; // propagation
  double ktAA = 0, ktAB = 0, ktBB = 0;       // termination of a pair, disproportionation + recombination
  double kd = 0;                             // decomposition, 1/s
  double f = 0;                              // efficiency
  double tLast = 0;                          // last check point, s
};

// Monomer units chains can hold at tLast: at most NA + NB, never below the
// mean-field value of the faster run described above (plus its margin).
// Non-finite or negative inputs give NA + NB.
std::int64_t FreeRadicalUnitsBound(const TFreeRadicalGrowth& growth, std::int64_t NI, std::int64_t NA,
                                   std::int64_t NB);

// Chain slots a free-radical run can hand out by tLast: the mean 2 f N_I
// (1 - exp(-kd tLast)) with eight standard deviations of its binomial scatter,
// at most 2 N_I.
std::int64_t FreeRadicalStartedChainsBound(std::int64_t NI, double f, double kd, double tLast);

} // namespace Params
