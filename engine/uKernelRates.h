#pragma once
// Rate constants of the free-radical, ATRP and living reversible kernels, and
// entry points that run those kernels on constants already at hand.
//
// SimulateFreeRadical(run) and its siblings (uKernels.h) read the constants
// from the run's parameter file and call the overloads below; tests and
// benchmarks call the overloads directly on a store sized with
// TSimState::AllocateMemory(TRunDescription).
//
// All constants are per molecule, as the parameter file's
// "SimulationRates" section holds them: a bimolecular constant is the molar
// constant times the concentration of one simulated molecule (so a count x
// count product times the constant is a number of events per second), a
// unimolecular one is in 1/s. Termination constants are per ordered pair of
// radicals: n (n - 1) k events per second among n radicals of one kind.

#include "engine/uSimThread.h"

namespace Params {
class TParameterFile;
}

namespace Engine {

struct TFreeRadicalRates {
  double kAA = 0, kAB = 0, kBA = 0, kBB = 0; // "A*A", "A*B", "B*A", "B*B"
  double kIA = 0, kIB = 0;                   // "I*A", "I*B"
  double kdAA = 0, kdAB = 0, kdBB = 0;       // "DisprAA", "DisprAB", "DisprBB"
  double kcAA = 0, kcAB = 0, kcBB = 0;       // "RecombAA", "RecombAB", "RecombBB"
  double kd = 0;                             // "InitDecomposit", 1/s
  double f = 0;                              // "InitiationEfficiency"
};

struct TATRPRates {
  double kAA = 0, kAB = 0, kBA = 0, kBB = 0; // propagation
  double kIA = 0, kIB = 0;                   // first unit on an activated initiator
  double kaI = 0, kaA = 0, kaB = 0;          // "ActivI", "ActivA", "ActivB": R-X + L
  double kdeI = 0, kdeA = 0, kdeB = 0;       // "DeactI", "DeactA", "DeactB": R* + LX
  double kdAA = 0, kdAB = 0, kdBB = 0;       // disproportionation
  double kcAA = 0, kcAB = 0, kcBB = 0;       // recombination
};

struct TReversibleRates {
  double kIA = 0, kIB = 0;                   // first unit on a bare initiator end
  double kAA = 0, kAB = 0, kBA = 0, kBB = 0; // addition to an A- or B-terminated end
  // Release of the terminal unit from the end dyad (penultimate, terminal), 1/s.
  double kIAr = 0, kIBr = 0, kAAr = 0, kABr = 0, kBAr = 0, kBBr = 0; // "IA*", "IB*", "AA*", "AB*", "BA*", "BB*"
};

// Read from "SimulationRates" with ReadLocalFloat (either decimal separator).
// A missing or malformed value throws EConvertError naming the key ("Rate
// constant "A*A" is missing or not a number"); a negative or non-finite
// constant cannot describe a reaction and throws std::invalid_argument naming
// the key. Either ends the run.
TFreeRadicalRates ReadFreeRadicalRates(const Params::TParameterFile& file);
TATRPRates ReadATRPRates(const Params::TParameterFile& file);
TReversibleRates ReadReversibleRates(const Params::TParameterFile& file);

// The kernels on given constants: InitializeRun, the check-point cycle, the
// end-of-run log lines. The store must have been sized for the process type.
// Before the first event each refuses, with std::invalid_argument naming the
// key, a constant so large that a channel's rate could pass the largest
// double (the clock would never move).
void SimulateFreeRadical(TSimRun& run, const TFreeRadicalRates& rates);
void SimulateATRP(TSimRun& run, const TATRPRates& rates);
void SimulateLivingReversible(TSimRun& run, const TReversibleRates& rates);

// The living reversible kernel's slice adaptation: after a slice with
// `events` events among `chains` chains, the next slice length. The target is
// half an event per chain: more events shorten the slice in proportion
// (chains x 0.5 / events), fewer lengthen it by 2 %.
double AdaptReversibleSlice(double slice, std::int64_t events, std::int32_t chains) noexcept;

} // namespace Engine
