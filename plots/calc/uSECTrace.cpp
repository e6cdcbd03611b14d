#include "plots/calc/uSECTrace.h"

#include "engine/uDataStruct.h"
#include "params/uAtomicFile.h"
#include "params/uNumberFormat.h"
#include "plots/calc/uMassDistrCalc.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <ostream>
#include <numbers>

namespace Plots {

double BroadeningSigma(int position) {
  const int p = std::clamp(position, BroadeningMinimum, BroadeningMaximum);
  return std::pow(10.0, static_cast<double>(p) / 100.0) / 1000.0;
}

std::string BroadeningLabelText(double sigma) { return Propagon::FormatFloat("Broadening = 0.0000", sigma); }

std::string AverageMarkText(bool weightAverage, double value) {
  return Propagon::FormatFloat(weightAverage ? "Mw = 0" : "Mn = 0", value);
}

std::vector<std::pair<double, std::string>> ElutionVolumeLabels(int labelCount) {
  std::vector<std::pair<double, std::string>> labels;
  const int last = labelCount - 1; // N
  for (int k = 0; k <= last; ++k)
    labels.emplace_back(static_cast<double>(k), std::to_string(last - k + 4));
  return labels;
}

TSECTrace::TSECTrace() = default;

bool TSECTrace::AggregateMasses(const double* weight, std::size_t count) {
  FNeedsAggregation = false;
  FWg.fill(0.0);
  FHasWeight = false;
  // m: the heaviest occupied bin. Bin 0 (chains lighter than 1 g/mol) has no
  // place on a logarithmic grid and is left out, as everywhere below.
  std::size_t m = count;
  while (m > 1 && weight[m - 1] == 0.0)
    --m;
  if (m <= 1)
    return false;
  --m;

  FDecades = static_cast<int>(std::trunc(std::log10(static_cast<double>(m)) + 1.5));
  const double h = static_cast<double>(FDecades) / SECGridLast;
  for (int k = 0; k <= SECGridLast; ++k)
    FX[static_cast<std::size_t>(k)] = k * h;

  // The cell of mass j is trunc(log10(j) / h). Cells are runs of consecutive
  // masses, so instead of a logarithm per bin the first mass of each cell is
  // found (exactly, by the same formula) and the bins of a run are summed.
  const double inverseStep = 1.0 / h;
  const auto cellOf = [inverseStep](std::size_t j) {
    return static_cast<int>(std::trunc(std::log10(static_cast<double>(j)) * inverseStep));
  };
  const auto firstOfCell = [&](int c) {
    const double guess = std::floor(std::pow(10.0, c * h));
    std::size_t j = guess < 1.0 ? 1 : (guess > static_cast<double>(m) ? m + 1 : static_cast<std::size_t>(guess));
    while (j > 1 && cellOf(j - 1) >= c)
      --j;
    while (j <= m && cellOf(j) < c)
      ++j;
    return j;
  };
  std::size_t j = 1;
  while (j <= m) {
    const int c = std::min(cellOf(j), SECGridLast);
    const std::size_t end = c >= SECGridLast ? m + 1 : std::max(j + 1, firstOfCell(c + 1));
    double sum = 0.0;
    for (; j < end; ++j)
      sum += weight[j];
    FWg[static_cast<std::size_t>(c)] += sum;
    if (sum != 0.0)
      FHasWeight = true;
  }
  return FHasWeight;
}

bool TSECTrace::AggregateMasses(const std::vector<Engine::TMassBin>& bins) {
  FNeedsAggregation = false;
  FWg.fill(0.0);
  FHasWeight = false;
  // The heaviest bin with weight at 1 g/mol or more, as in the arrays above.
  auto top = bins.end();
  while (top != bins.begin() && (std::prev(top)->Weight == 0.0 || std::prev(top)->Mass < 1.0))
    --top;
  if (top == bins.begin() || std::prev(top)->Mass < 1.0)
    return false;
  const double m = std::prev(top)->Mass;
  FDecades = static_cast<int>(std::trunc(std::log10(m) + 1.5));
  const double h = static_cast<double>(FDecades) / SECGridLast;
  for (int k = 0; k <= SECGridLast; ++k)
    FX[static_cast<std::size_t>(k)] = k * h;
  const double inverseStep = 1.0 / h;
  // Bins of one cell follow each other: summed first, then added to the
  // cell, as the runs of the arrays are.
  int cell = -1;
  double sum = 0.0;
  const auto flush = [&] {
    if (cell < 0)
      return;
    FWg[static_cast<std::size_t>(cell)] += sum;
    if (sum != 0.0)
      FHasWeight = true;
  };
  for (auto bin = bins.begin(); bin != top; ++bin) {
    if (bin->Mass < 1.0)
      continue;
    const int c = std::min(static_cast<int>(std::trunc(std::log10(bin->Mass) * inverseStep)), SECGridLast);
    if (c != cell) {
      flush();
      cell = c;
      sum = 0.0;
    }
    sum += bin->Weight;
  }
  flush();
  return FHasWeight;
}

bool TSECTrace::AggregateFrom(Engine::TSimState& state) {
  state.NeedsAggregation.store(false, std::memory_order_relaxed);
  FMn = state.Mn;
  FMw = state.Mw;
  return AggregateMasses(state.MassHistogram.Bins);
}

double TSECTrace::Broaden(double sigma) {
  FY.fill(0.0);
  if (!(sigma > 0.0) || !std::isfinite(sigma))
    return 0.0;
  const double h = FDecades > 0 ? static_cast<double>(FDecades) / SECGridLast : 0.0;
  if (sigma != FWeightsSigma || h != FWeightsStep) {
    const double b = -0.5 / (sigma * sigma);
    for (int d = -SECKernelReach; d <= SECKernelReach; ++d) {
      const double distance = d * h;
      FWeights[static_cast<std::size_t>(d + SECKernelReach)] = std::exp(b * distance * distance);
    }
    FWeightsSigma = sigma;
    FWeightsStep = h;
  }
  const double a = 1.0 / (std::sqrt(2.0 * std::numbers::pi) * std::numbers::ln10 * sigma);

  double yMax = 0.0;
  for (int k = SECFirstComputed; k <= SECGridLast; ++k) {
    const int first = std::max(0, k - SECKernelReach);
    const int last = std::min(k + SECKernelReach, SECGridLast);
    const double* weights = FWeights.data() + (first - k + SECKernelReach);
    const double* cells = FWg.data() + first;
    double s = 0.0;
    for (int i = 0; i <= last - first; ++i)
      s += weights[i] * cells[i];
    const double y = a * s;
    FY[static_cast<std::size_t>(k)] = y;
    if (y > yMax)
      yMax = y;
  }
  // Division rather than multiplication by 1/yMax: the highest point then
  // becomes exactly 1.
  if (yMax > 0.0)
    for (double& y : FY)
      y /= yMax;
  return yMax;
}

} // namespace Plots

namespace Plots {

void WriteSECTable(std::ostream& out, const TSECTrace& trace) {
  out << "log10_M\tsignal\n";
  for (int k = 0; k < SECGridLast; ++k) {
    const std::size_t i = static_cast<std::size_t>(k);
    out << CurveNumber(trace.X()[i]) << '\t' << CurveNumber(trace.Y()[i]) << '\n';
  }
}

TCurveFileResult SaveSECTrace(Engine::TSimState& state, const std::string& fileName, int position) {
  const bool ready = MassHistogramsReady(state);
  TSECTrace trace;
  if (ready) {
    trace.AggregateFrom(state);
    trace.Broaden(BroadeningSigma(position));
  }
  // Replaced whole or not at all: a failed write keeps an earlier file.
  Propagon::TAtomicFile file(fileName);
  if (!file.IsOpen())
    return TCurveFileResult::WriteFailed;
  if (ready)
    WriteSECTable(file.Stream(), trace);
  else
    file.Stream() << "log10_M\tsignal\n";
  if (!file.Commit())
    return TCurveFileResult::WriteFailed;
  return ready ? TCurveFileResult::Written : TCurveFileResult::NothingToShow;
}

} // namespace Plots
