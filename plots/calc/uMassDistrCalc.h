#pragma once
// The smoothed number and weight distributions of the molar masses, without
// any window: the computation behind the molar-mass distribution chart and
// the command line's "mass_distribution_smoothed.tsv".
//
// Input are the mass histograms of the chain statistics (TSimState):
// N(i) = NumberDistribution[i], chains whose molar mass truncated to a whole
// number is i; W(i) = WeightDistribution[i], the sum of their masses; the
// mass axis M(i) = MassAxis[i] = i g/mol for i = 0 … b; and Mn, Mw.
//
// Output, for a moving-average width w (1 … 100):
//   SN[i] = (N(i-w+1) + … + N(i)) / w / TN,   SW likewise with W and TW,
// for i = w … b, with TN (TW) the number of chains (their mass) counted from
// bin w on. SN[0 … w-1] = SW[0 … w-1] = 0. Only entries from index 100 on are
// divided by TN (TW): below 100 g/mol the values stay per bin, so a
// distribution made only of such light chains is shown unnormalised.
//
// The curves are computed from the sparse histograms (only bins that hold
// chains are stored) on a grid of at most MaxCurvePoints points: every g/mol
// (the curve above, point for point) while the mass axis has at most that
// many points, otherwise bins of `Step` g/mol, with the values divided by the
// step so they stay fractions per g/mol. The smoothing visits only the points
// whose window holds chains; every other point is 0.
//
// Threading: TakeHistograms copies the histograms at a moment when the
// simulation state may be read (inside an observer call, while paused, at the
// end of the run); Smooth works on that copy only, so it may run at any time
// on the owner's thread, also while the run is rebuilding the state's
// histograms. SmoothState reads the state directly and keeps no copy (after
// a run, when nothing can change the state).

#include "engine/uMassHistogram.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

namespace Engine {
class TSimState;
}

namespace Plots {

// The resolution track bar: averaged points (moving-average width).
inline constexpr int ResolutionMinimum = 1;
inline constexpr int ResolutionMaximum = 100;
inline constexpr int ResolutionInitial = 21;
// First mass (g/mol) whose smoothed values are divided by the totals.
inline constexpr std::size_t NormalizationStart = 100;
// Most points a curve has: a chain of MaxDP units of 128 g/mol still gets
// one point per g/mol.
inline constexpr std::size_t MaxCurvePoints = std::size_t{1} << 22;

// Where the curve's points lie: point i at i x Step g/mol, i = 0 … Points-1.
struct TCurveGrid {
  double Step = 1.0;
  std::size_t Points = 0;
};
// The grid of a mass axis of `axisLength` points (0 … axisLength-1 g/mol).
TCurveGrid CurveGridOf(double axisLength);

// The state holds mass histograms worth showing: the run has records, some
// chain has grown (DPDistribution[0] differs from ChainsNumber, the test the
// chain statistics use) and the histograms exist.
bool MassHistogramsReady(const Engine::TSimState& state);

// The moving average with running sums over whole arrays, in one pass (O(b),
// whatever w). `n` and `w` have equal lengths b + 1; sn and sw are resized
// to b + 1. `width` is clamped to 1 … 100. The reference the sparse
// smoothing below agrees with.
void SmoothDistributions(const std::vector<double>& n, const std::vector<double>& w, int width,
                         std::vector<double>& sn, std::vector<double>& sw);

// The histogram's bins on `grid`: Mass becomes the point index; bins that
// share a point are summed in increasing mass.
std::vector<Engine::TMassBin> GridBins(const std::vector<Engine::TMassBin>& bins, const TCurveGrid& grid);

// The smoothing of SmoothDistributions on sparse bins (Mass = point index,
// increasing, all below grid.Points): calls visit(i, sn, sw) in increasing i
// for every point i >= w whose window holds chains; SN and SW are 0 at every
// other point. Cost proportional to
// the bins times w, not to the points.
template <class Visit>
void SmoothSparse(const std::vector<Engine::TMassBin>& bins, const TCurveGrid& grid, int width, Visit&& visit);

class TMassDistrCalc {
public:
  // Copies the histograms, Mn and Mw from the state when MassHistogramsReady;
  // otherwise keeps what it holds and returns false.
  bool TakeHistograms(const Engine::TSimState& state);
  // The same from whole arrays N(i), W(i) (equal lengths; the mass axis is
  // 0, 1, 2 …).
  void SetHistograms(std::vector<double> number, std::vector<double> weight, double mn, double mw);
  // SN and SW straight from the state's histograms, without keeping a copy
  // (HasHistograms is false afterwards): for a state that cannot change until
  // the next calculation. False, with nothing changed, while
  // MassHistogramsReady is false.
  bool SmoothState(const Engine::TSimState& state, int width);
  // Forgets the histograms (Clear).
  void Reset();
  bool HasHistograms() const { return !FHistogram.Empty(); }

  // SN and SW for moving-average width `width` from the held histograms.
  // Nothing happens without histograms.
  void Smooth(int width);

  // grid.Points entries each once Smooth has run.
  const std::vector<double>& SN() const { return FSN; }
  const std::vector<double>& SW() const { return FSW; }
  // The grid of the last histograms: point i is i x GridStep() g/mol.
  double GridStep() const { return FGrid.Step; }
  double Mn() const { return FMn; }
  double Mw() const { return FMw; }
  // b, the last point of the grid of the last histograms (-1 before any).
  long LastIndex() const { return static_cast<long>(FGrid.Points) - 1; }
  int Width() const { return FWidth; }

private:
  void SmoothBins(const Engine::TMassHistogram& histogram, int width);
  Engine::TMassHistogram FHistogram;
  std::vector<double> FSN, FSW;
  TCurveGrid FGrid;
  double FMn = 0.0;
  double FMw = 0.0;
  int FWidth = 0;
};

// The text of a number in the curve files: the shortest text that reads
// back as the same double, "." as decimal separator whatever the locale
// (as every table of the command line); "nan", "inf", "-inf".
std::string CurveNumber(double value);
// The same text into `text` (room for 32 characters); returns its length.
std::size_t CurveNumberText(double value, char* text);

// What writing a curve file came to.
enum class TCurveFileResult { Written, NothingToShow, WriteFailed };

// The table of the chart, tab-separated for scripts: the header
// "mass\tnumber\tweight", then the rows that carry the curve of the shown
// points i = 0 … b-1 (the last mass bin is not shown, as in the chart):
// every point where either curve is off zero, the zero point just before and
// just after each stretch of them, and the first and last point. A line
// through the rows is the chart's curve; a point left out is 0 in both
// columns. Numbers in CurveNumber's text.
void WriteSmoothedTable(std::ostream& out, const TMassDistrCalc& calc);

// The same table straight from sparse histograms, point by point as it is
// written: no array of the curve's length is made.
void WriteSmoothedTable(std::ostream& out, const Engine::TMassHistogram& histogram, int width);

// The smoothed distributions of the state's histograms at resolution `width`
// written to `fileName` ("mass_distribution_smoothed.tsv" of the command
// line), streamed from the histograms. While MassHistogramsReady is false the
// file holds the header alone and NothingToShow is returned; WriteFailed
// when it cannot be written.
TCurveFileResult SaveSmoothedDistributions(const Engine::TSimState& state, const std::string& fileName,
                                           int width = ResolutionInitial);

} // namespace Plots

// ---------------------------------------------------------------------------

namespace Plots {

template <class Visit>
void SmoothSparse(const std::vector<Engine::TMassBin>& bins, const TCurveGrid& grid, int width, Visit&& visit) {
  const std::size_t count = grid.Points;
  const std::size_t span = static_cast<std::size_t>(std::clamp(width, 1, 100));
  if (count <= span)
    return;
  const auto index = [](const Engine::TMassBin& bin) { return static_cast<std::size_t>(bin.Mass); };

  // The totals count the chains from point w on, in two partial sums by the
  // parity of i - w, as SmoothDistributions adds them.
  double totalN = 0.0, totalW = 0.0, oddN = 0.0, oddW = 0.0;
  for (const Engine::TMassBin& bin : bins) {
    const std::size_t i = index(bin);
    if (i < span || i >= count)
      continue;
    if ((i - span) % 2 == 0) {
      totalN += bin.Number;
      totalW += bin.Weight;
    } else {
      oddN += bin.Number;
      oddW += bin.Weight;
    }
  }
  totalN += oddN;
  totalW += oddW;
  if (totalN == 0.0)
    totalN = 1.0;
  if (totalW == 0.0)
    totalW = 1.0;
  const double inverseWidth = 1.0 / static_cast<double>(span);
  const double inverseN = 1.0 / totalN;
  const double inverseW = 1.0 / totalW;
  const double perStep = 1.0 / grid.Step;
  const std::size_t firstNormalized =
      std::clamp<std::size_t>(static_cast<std::size_t>(std::ceil(static_cast<double>(NormalizationStart) / grid.Step)),
                              span, count);

  // The window is primed with points 0 … w-1; emptyFrom is the point from
  // which the window holds nothing (last point with chains + w).
  double sN = 0.0, sW = 0.0;
  std::size_t emptyFrom = 0;
  auto in = bins.begin();
  for (; in != bins.end() && index(*in) < span; ++in) {
    sN += in->Number;
    sW += in->Weight;
    emptyFrom = index(*in) + span;
  }
  auto out = bins.begin(); // the next bin to leave the window, at its index + w
  std::size_t i = span;
  while (i < count) {
    const bool entering = in != bins.end() && index(*in) == i;
    if (i >= emptyFrom && !entering) {
      // Nothing in the window up to the next bin: every point there is 0,
      // and every bin before it has left the window.
      sN = sW = 0.0;
      out = in;
      if (in == bins.end())
        break;
      i = index(*in);
      continue;
    }
    double nIn = 0.0, wIn = 0.0, nOut = 0.0, wOut = 0.0;
    if (entering) {
      nIn = in->Number;
      wIn = in->Weight;
      ++in;
    }
    if (out != bins.end() && index(*out) + span == i) {
      nOut = out->Number;
      wOut = out->Weight;
      ++out;
    }
    sN += nIn - nOut;
    sW += wIn - wOut;
    if (nIn != 0.0 || wIn != 0.0)
      emptyFrom = i + span;
    // An empty window is exactly empty: no rounding residue is left.
    if (i >= emptyFrom)
      sN = sW = 0.0;
    const bool normalized = i >= firstNormalized;
    visit(i, sN * inverseWidth * (normalized ? inverseN : 1.0) * perStep,
          sW * inverseWidth * (normalized ? inverseW : 1.0) * perStep);
    ++i;
  }
}

} // namespace Plots
