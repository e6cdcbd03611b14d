#pragma once
// The simulated SEC (size-exclusion chromatography) trace, without any
// window: the computation behind the SEC chart and the command line's
// "sec.tsv".
//
// The weight histogram of the chain statistics, W(j) = the summed masses of
// the chains whose molar mass truncated to a whole number is j, is regrouped
// on a grid of G + 1 = 1001 points equally spaced in log10 M (AggregateMasses)
// and broadened with a Gaussian of width sigma decades (Broaden):
//
//   D = trunc(log10(m) + 1.5), m the heaviest occupied bin; h = D / 1000;
//   X[k] = k h;  Wg[k] = sum of W(j), j >= 1, with trunc(log10(j) / h) = k;
//   Y[k] = A sum_{|j-k| <= 100} exp(-(X[j]-X[k])^2 / (2 sigma^2)) Wg[j], k >= 100,
//   then Y / max Y, so the highest point is exactly 1; Y[0 … 99] = 0.
//
// Wg[k] is the polymer mass per cell of constant width in log M, so the trace
// is the weight distribution per decade, as a refractive-index detector on a
// column calibrated in log M records it.
//
// Threading: a TSECTrace owns its arrays. AggregateMasses reads a weight
// histogram and must run when the simulation state may be read (inside an
// observer call, while paused, after the run); Broaden works on the owned
// arrays only and may run at any time on the owner's thread.

#include "plots/calc/uMassDistrCalc.h"

#include "engine/uMassHistogram.h"

#include <array>
#include <cstddef>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace Engine {
class TSimState;
}

namespace Plots {

// G, the index of the last grid point.
inline constexpr int SECGridLast = 1000;
inline constexpr int SECGridPoints = SECGridLast + 1;
// Grid points on each side within which the Gaussian is summed.
inline constexpr int SECKernelReach = 100;
// The first grid point of the trace that is computed (the ones below stay 0).
inline constexpr int SECFirstComputed = 100;
// The broadening track bar.
inline constexpr int BroadeningMinimum = 1;
inline constexpr int BroadeningMaximum = 200;
inline constexpr int BroadeningInitial = 100;

// sigma = 10^(p/100) / 1000 decades for track-bar position p: 0.00102 at 1,
// 0.01 at 100, 0.1 at 200.
double BroadeningSigma(int position);
// "Broadening = " and sigma with four decimals (the locale's separator).
std::string BroadeningLabelText(double sigma);
// "Mn = 12345" / "Mw = 23456": the average rounded to a whole number.
std::string AverageMarkText(bool weightAverage, double value);

// Custom labels of the bottom axis: with L labels, label k (k = 0 … L-1)
// stands at log10 M = k and reads L + 3 - k, an elution volume that grows
// towards low masses. No labels for L <= 0.
std::vector<std::pair<double, std::string>> ElutionVolumeLabels(int labelCount);

class TSECTrace {
public:
  using TGrid = std::array<double, SECGridPoints>;

  TSECTrace();

  // The weight histogram must be aggregated again before the next trace.
  bool NeedsAggregation() const { return FNeedsAggregation; }
  void SetNeedsAggregation() { FNeedsAggregation = true; }

  // Rebuilds X and Wg from weight[0 … count-1] and clears NeedsAggregation.
  // Without any weight at j >= 1, Wg is all 0, X keeps its values and false
  // is returned.
  bool AggregateMasses(const double* weight, std::size_t count);
  // The same from sparse histogram bins (increasing mass): the same cells and
  // sums, with a cost proportional to the bins.
  bool AggregateMasses(const std::vector<Engine::TMassBin>& bins);
  // AggregateMasses from the state's mass histogram, and takes Mn and Mw;
  // also clears the state's NeedsAggregation. The state must be readable.
  bool AggregateFrom(Engine::TSimState& state);

  void SetAverages(double mn, double mw) {
    FMn = mn;
    FMw = mw;
  }
  double Mn() const { return FMn; }
  double Mw() const { return FMw; }

  // Y for width sigma (decades). The 201 Gaussian weights depend only on the
  // grid distance j - k and are computed once per width. Returns the
  // maximum before normalisation (0: nothing to show, Y all 0).
  double Broaden(double sigma);

  // D, the whole decades the grid spans (0 before the first aggregation).
  int Decades() const { return FDecades; }
  const TGrid& X() const { return FX; }
  const TGrid& Wg() const { return FWg; }
  const TGrid& Y() const { return FY; }
  // Some weight has been aggregated (Wg holds something).
  bool HasWeight() const { return FHasWeight; }

private:
  TGrid FX{};
  TGrid FWg{};
  TGrid FY{};
  std::array<double, 2 * SECKernelReach + 1> FWeights{};
  double FWeightsSigma = -1.0;
  double FWeightsStep = -1.0;
  double FMn = 0.0;
  double FMw = 0.0;
  int FDecades = 0;
  bool FNeedsAggregation = true;
  bool FHasWeight = false;
};

// The trace as the chart shows it, tab-separated for scripts: the header
// "log10_M\tsignal", then (X[k], Y[k]) for k = 0 … 999, numbers in
// CurveNumber's text.
void WriteSECTable(std::ostream& out, const TSECTrace& trace);

// Aggregates the state's weight histogram, broadens it at track-bar
// position `position` and writes the table to `fileName` ("sec.tsv" of the
// command line). While the state holds no mass histograms worth showing
// (MassHistogramsReady) the file holds the header alone and NothingToShow is
// returned; WriteFailed when it cannot be written.
TCurveFileResult SaveSECTrace(Engine::TSimState& state, const std::string& fileName,
                              int position = BroadeningInitial);

} // namespace Plots
