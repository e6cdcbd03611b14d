#include "plots/calc/uMassDistrCalc.h"

#include "engine/uDataStruct.h"
#include "params/uAtomicFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ostream>
#include <string>

namespace Plots {

TCurveGrid CurveGridOf(double axisLength) {
  TCurveGrid grid;
  if (!(axisLength >= 1.0))
    return grid;
  if (axisLength <= static_cast<double>(MaxCurvePoints)) {
    grid.Points = static_cast<std::size_t>(axisLength);
    return grid;
  }
  grid.Step = std::ceil(axisLength / static_cast<double>(MaxCurvePoints));
  grid.Points = std::min(MaxCurvePoints, static_cast<std::size_t>(std::ceil(axisLength / grid.Step)));
  return grid;
}

bool MassHistogramsReady(const Engine::TSimState& state) {
  if (!state.CheckPointRecordsAllocated() || state.DPDistribution.empty())
    return false;
  if (state.DPDistribution[0] == state.ChainsNumber)
    return false;
  return !state.MassHistogram.Empty();
}

std::vector<Engine::TMassBin> GridBins(const std::vector<Engine::TMassBin>& bins, const TCurveGrid& grid) {
  std::vector<Engine::TMassBin> points;
  points.reserve(bins.size());
  for (const Engine::TMassBin& bin : bins) {
    const double point = grid.Step == 1.0 ? bin.Mass : std::floor(bin.Mass / grid.Step);
    if (!(point >= 0.0) || point >= static_cast<double>(grid.Points))
      continue;
    if (!points.empty() && points.back().Mass == point) {
      points.back().Number += bin.Number;
      points.back().Weight += bin.Weight;
    } else {
      points.push_back(Engine::TMassBin{point, bin.Number, bin.Weight});
    }
  }
  return points;
}

void SmoothDistributions(const std::vector<double>& n, const std::vector<double>& w, int width,
                         std::vector<double>& sn, std::vector<double>& sw) {
  const std::size_t count = std::min(n.size(), w.size());
  const std::size_t span = static_cast<std::size_t>(std::clamp(width, 1, 100));
  sn.resize(count);
  sw.resize(count);
  const std::size_t zeroed = std::min(span, count);
  std::fill(sn.begin(), sn.begin() + static_cast<std::ptrdiff_t>(zeroed), 0.0);
  std::fill(sw.begin(), sw.begin() + static_cast<std::ptrdiff_t>(zeroed), 0.0);
  if (count <= span)
    return;
  const double* nData = n.data();
  const double* wData = w.data();
  double* snData = sn.data();
  double* swData = sw.data();

  // The totals count the chains from bin w on; summed first, so the values
  // are divided as they are made.
  // Two partial sums each: one running sum would make every addition wait
  // for the one before (a million of them at 10^6 g/mol).
  double totalN = 0.0, totalW = 0.0, oddN = 0.0, oddW = 0.0;
  std::size_t i = span;
  for (; i + 2 <= count; i += 2) {
    totalN += nData[i];
    totalW += wData[i];
    oddN += nData[i + 1];
    oddW += wData[i + 1];
  }
  if (i < count) {
    totalN += nData[i];
    totalW += wData[i];
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

  // The window of bin i holds bins i-w+1 … i. It is primed with bins 0 … w-1,
  // so the first average (at i = w) covers bins 1 … w; starting the sums at
  // zero instead would subtract chains lighter than w g/mol that were never
  // added and shift the whole curve down by their share.
  double sN = 0.0, sW = 0.0;
  // The window of bin i is empty when the last bin holding any chain lies at
  // i - w or before; kept as that bin's index + w (0: none yet).
  std::size_t emptyFrom = 0;
  for (std::size_t i = 0; i < span; ++i) {
    sN += nData[i];
    sW += wData[i];
    emptyFrom = (nData[i] != 0.0 || wData[i] != 0.0) ? i + span : emptyFrom;
  }
  // Below index 100 the means stay per bin; from 100 on they are divided by
  // the totals (a distribution of chains lighter than 100 g/mol is shown
  // unnormalised).
  const auto average = [&](std::size_t from, std::size_t to, double scaleN, double scaleW) {
    for (std::size_t i = from; i < to; ++i) {
      const double nIn = nData[i], wIn = wData[i];
      sN += nIn - nData[i - span];
      sW += wIn - wData[i - span];
      emptyFrom = (nIn != 0.0 || wIn != 0.0) ? i + span : emptyFrom;
      // An empty window is exactly empty: no rounding residue of the masses
      // that passed through it is left in the tails.
      if (i >= emptyFrom) {
        sN = 0.0;
        sW = 0.0;
      }
      snData[i] = sN * inverseWidth * scaleN;
      swData[i] = sW * inverseWidth * scaleW;
    }
  };
  const std::size_t normalized = std::clamp<std::size_t>(NormalizationStart, span, count);
  average(span, normalized, 1.0, 1.0);
  average(normalized, count, inverseN, inverseW);
}

bool TMassDistrCalc::TakeHistograms(const Engine::TSimState& state) {
  if (!MassHistogramsReady(state))
    return false;
  FHistogram.Bins = state.MassHistogram.Bins;
  FHistogram.AxisLength = state.MassHistogram.AxisLength;
  FGrid = CurveGridOf(FHistogram.AxisLength);
  FMn = state.Mn;
  FMw = state.Mw;
  return true;
}

bool TMassDistrCalc::SmoothState(const Engine::TSimState& state, int width) {
  if (!MassHistogramsReady(state))
    return false;
  // No copy is kept: release an earlier one.
  FHistogram.Release();
  FGrid = CurveGridOf(state.MassHistogram.AxisLength);
  FMn = state.Mn;
  FMw = state.Mw;
  SmoothBins(state.MassHistogram, width);
  return true;
}

void TMassDistrCalc::SetHistograms(std::vector<double> number, std::vector<double> weight, double mn, double mw) {
  const std::size_t count = std::min(number.size(), weight.size());
  FHistogram.Release();
  for (std::size_t i = 0; i < count; ++i)
    if (number[i] != 0.0 || weight[i] != 0.0)
      FHistogram.Bins.push_back(Engine::TMassBin{static_cast<double>(i), number[i], weight[i]});
  FHistogram.AxisLength = static_cast<double>(count);
  FGrid = CurveGridOf(FHistogram.AxisLength);
  FMn = mn;
  FMw = mw;
}

void TMassDistrCalc::Reset() {
  FHistogram.Release();
  FSN.clear();
  FSW.clear();
  FGrid = TCurveGrid{};
  FMn = FMw = 0.0;
  FWidth = 0;
}

void TMassDistrCalc::Smooth(int width) {
  if (!HasHistograms())
    return;
  SmoothBins(FHistogram, width);
}

void TMassDistrCalc::SmoothBins(const Engine::TMassHistogram& histogram, int width) {
  FWidth = std::clamp(width, ResolutionMinimum, ResolutionMaximum);
  FSN.assign(FGrid.Points, 0.0);
  FSW.assign(FGrid.Points, 0.0);
  const auto fill = [this](std::size_t i, double sn, double sw) {
    FSN[i] = sn;
    FSW[i] = sw;
  };
  if (FGrid.Step == 1.0)
    SmoothSparse(histogram.Bins, FGrid, FWidth, fill);
  else
    SmoothSparse(GridBins(histogram.Bins, FGrid), FGrid, FWidth, fill);
}

} // namespace Plots

namespace Plots {

std::string CurveNumber(double value) {
  char text[32];
  const std::size_t length = CurveNumberText(value, text);
  return std::string(text, length);
}

std::size_t CurveNumberText(double value, char* text) {
  if (!std::isfinite(value)) {
    const char* word = std::isnan(value) ? "nan" : value > 0 ? "inf" : "-inf";
    const std::size_t length = std::char_traits<char>::length(word);
    std::copy(word, word + length, text);
    return length;
  }
  return static_cast<std::size_t>(std::to_chars(text, text + 32, value).ptr - text);
}

namespace {

// One line "mass\tnumber\tweight\n" formed in place and handed to the stream
// in one write: no string per number (the streams are buffered already).
void WriteCurveRow(std::ostream& out, double mass, double number, double weight) {
  char line[3 * 32 + 3];
  std::size_t length = CurveNumberText(mass, line);
  line[length++] = '\t';
  length += CurveNumberText(number, line + length);
  line[length++] = '\t';
  length += CurveNumberText(weight, line + length);
  line[length++] = '\n';
  out.write(line, static_cast<std::streamsize>(length));
}

// The rows of a curve that carry its information, fed its points in
// increasing order (a point not fed is 0): every point off zero, the zero
// point on either side of each stretch of them, and the first and last
// point. Lines drawn through the rows are the curve drawn through every
// point: between two kept zeros the curve is flat at zero.
class TInformativeRows {
public:
  TInformativeRows(std::ostream& out, std::size_t shown, double step) : FOut(out), FShown(shown), FStep(step) {}

  void Point(std::size_t i, double number, double weight) {
    if (i >= FShown)
      return;
    const bool offZero = number != 0.0 || weight != 0.0;
    if (FHavePrevious) {
      const bool adjacent = i == FPrevious + 1;
      SettlePrevious(adjacent && offZero);
      Gap(FPrevious + 1, i, FPreviousOffZero, offZero);
      FPreviousLeftOffZero = adjacent && FPreviousOffZero;
    } else {
      Gap(0, i, false, offZero);
      FPreviousLeftOffZero = false;
    }
    FHavePrevious = true;
    FPrevious = i;
    FPreviousNumber = number;
    FPreviousWeight = weight;
    FPreviousOffZero = offZero;
  }

  void Finish() {
    if (FShown == 0)
      return;
    if (FHavePrevious) {
      SettlePrevious(false);
      Gap(FPrevious + 1, FShown, FPreviousOffZero, false);
    } else {
      Gap(0, FShown, false, false);
    }
  }

private:
  // The previous point, now that it is known whether its right neighbour is
  // off zero.
  void SettlePrevious(bool rightOffZero) {
    if (FPreviousOffZero || FPreviousLeftOffZero || rightOffZero || FPrevious == 0 || FPrevious + 1 == FShown)
      WriteCurveRow(FOut, Mass(FPrevious), FPreviousNumber, FPreviousWeight);
  }
  // Zero points from … to-1 between a point (off zero or not) and the next
  // one: only the neighbours of points off zero and the ends are kept.
  void Gap(std::size_t from, std::size_t to, bool leftOffZero, bool rightOffZero) {
    std::size_t last = from; // first point not yet written
    const auto zero = [&](std::size_t j) {
      if (j >= from && j < to && j >= last) {
        WriteCurveRow(FOut, Mass(j), 0.0, 0.0);
        last = j + 1;
      }
    };
    if (from == 0)
      zero(0);
    if (leftOffZero)
      zero(from);
    if (rightOffZero && to > 0)
      zero(to - 1);
    if (FShown > 0)
      zero(FShown - 1);
  }
  double Mass(std::size_t i) const { return static_cast<double>(i) * FStep; }

  std::ostream& FOut;
  std::size_t FShown;
  double FStep;
  bool FHavePrevious = false;
  std::size_t FPrevious = 0;
  double FPreviousNumber = 0.0, FPreviousWeight = 0.0;
  bool FPreviousOffZero = false, FPreviousLeftOffZero = false;
};

} // namespace

void WriteSmoothedTable(std::ostream& out, const TMassDistrCalc& calc) {
  out << "mass\tnumber\tweight\n";
  const long last = calc.LastIndex();
  const std::vector<double>& sn = calc.SN();
  const std::vector<double>& sw = calc.SW();
  if (last < 0 || sn.size() != static_cast<std::size_t>(last) + 1 || sw.size() != sn.size())
    return;
  TInformativeRows rows(out, static_cast<std::size_t>(last), calc.GridStep());
  for (std::size_t i = 0; i < static_cast<std::size_t>(last); ++i)
    if (sn[i] != 0.0 || sw[i] != 0.0)
      rows.Point(i, sn[i], sw[i]);
  rows.Finish();
}

void WriteSmoothedTable(std::ostream& out, const Engine::TMassHistogram& histogram, int width) {
  out << "mass\tnumber\tweight\n";
  const TCurveGrid grid = CurveGridOf(histogram.AxisLength);
  if (grid.Points == 0)
    return;
  // Points 0 … b-1 (the last is not shown, as in the chart); points the
  // smoothing does not visit are 0.
  TInformativeRows rows(out, grid.Points - 1, grid.Step);
  const auto point = [&](std::size_t i, double sn, double sw) { rows.Point(i, sn, sw); };
  const int span = std::clamp(width, ResolutionMinimum, ResolutionMaximum);
  if (grid.Step == 1.0)
    SmoothSparse(histogram.Bins, grid, span, point);
  else
    SmoothSparse(GridBins(histogram.Bins, grid), grid, span, point);
  rows.Finish();
}

TCurveFileResult SaveSmoothedDistributions(const Engine::TSimState& state, const std::string& fileName, int width) {
  const bool ready = MassHistogramsReady(state);
  // Replaced whole or not at all: a failed write keeps an earlier file.
  Propagon::TAtomicFile file(fileName);
  if (!file.IsOpen())
    return TCurveFileResult::WriteFailed;
  if (ready)
    WriteSmoothedTable(file.Stream(), state.MassHistogram, width);
  else
    file.Stream() << "mass\tnumber\tweight\n";
  if (!file.Commit())
    return TCurveFileResult::WriteFailed;
  return ready ? TCurveFileResult::Written : TCurveFileResult::NothingToShow;
}

} // namespace Plots
