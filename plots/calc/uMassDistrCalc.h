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
// Threading: TakeHistograms copies the histograms at a moment when the
// simulation state may be read (inside an observer call, while paused, at the
// end of the run); Smooth works on that copy only, so it may run at any time
// on the owner's thread, also while the run is rebuilding the state's
// histograms. SmoothState reads the state directly and keeps no copy (after
// a run, when nothing can change the state).

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
// First index (g/mol) whose smoothed values are divided by the totals.
inline constexpr std::size_t NormalizationStart = 100;

// The state holds mass histograms worth showing: the run has records, some
// chain has grown (DPDistribution[0] differs from ChainsNumber, the test the
// chain statistics use) and the three mass arrays exist with equal lengths.
bool MassHistogramsReady(const Engine::TSimState& state);

// The moving average with running sums, in one pass (O(b), whatever w).
// `n` and `w` have equal lengths b + 1; sn and sw are resized to b + 1.
// `width` is clamped to 1 … 100.
void SmoothDistributions(const std::vector<double>& n, const std::vector<double>& w, int width,
                         std::vector<double>& sn, std::vector<double>& sw);

class TMassDistrCalc {
public:
  // Copies MassAxis, the two histograms, Mn and Mw from the state when
  // MassHistogramsReady; otherwise keeps what it holds and returns false.
  bool TakeHistograms(const Engine::TSimState& state);
  // The same from given arrays (equal lengths; the mass axis is 0, 1, 2 …).
  void SetHistograms(std::vector<double> number, std::vector<double> weight, double mn, double mw);
  // SN and SW straight from the state's histograms, without keeping a copy
  // (HasHistograms is false afterwards): for a state that cannot change until
  // the next calculation. False, with nothing changed, while
  // MassHistogramsReady is false.
  bool SmoothState(const Engine::TSimState& state, int width);
  // Forgets the histograms (Clear).
  void Reset();
  bool HasHistograms() const { return !FNumber.empty(); }

  // SN and SW for moving-average width `width` from the held histograms.
  // Nothing happens without histograms.
  void Smooth(int width);

  // b + 1 entries each once Smooth has run.
  const std::vector<double>& SN() const { return FSN; }
  const std::vector<double>& SW() const { return FSW; }
  // The held copy of the mass axis (empty after SmoothState).
  const std::vector<double>& MassAxis() const { return FMassAxis; }
  double Mn() const { return FMn; }
  double Mw() const { return FMw; }
  // b, the last index of the mass axis of the last histograms (-1 before any).
  long LastIndex() const { return static_cast<long>(FBins) - 1; }
  int Width() const { return FWidth; }

private:
  std::vector<double> FMassAxis, FNumber, FWeight;
  std::vector<double> FSN, FSW;
  double FMn = 0.0;
  double FMw = 0.0;
  std::size_t FBins = 0;
  int FWidth = 0;
};

// The text of a number in the curve files: the shortest text that reads
// back as the same double, "." as decimal separator whatever the locale
// (as every table of the command line); "nan", "inf", "-inf".
std::string CurveNumber(double value);

// What writing a curve file came to.
enum class TCurveFileResult { Written, NothingToShow, WriteFailed };

// The table of the chart, tab-separated for scripts: the header
// "mass\tnumber\tweight", then one line per shown point i = 0 … b-1 (the
// last mass bin is not shown, as in the chart). Numbers in CurveNumber's
// text.
void WriteSmoothedTable(std::ostream& out, const TMassDistrCalc& calc);

// The smoothed distributions of the state's histograms at resolution `width`
// written to `fileName` ("mass_distribution_smoothed.tsv" of the command
// line). While MassHistogramsReady is false the file holds the header alone
// and NothingToShow is returned; WriteFailed when it cannot be written.
TCurveFileResult SaveSmoothedDistributions(const Engine::TSimState& state, const std::string& fileName,
                                           int width = ResolutionInitial);

} // namespace Plots
