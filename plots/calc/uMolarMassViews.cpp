#include "plots/calc/uMolarMassViews.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Plots {

TLogMassCurves LogMassCurves(const TMassDistrCalc& calc, int points) {
  TLogMassCurves curves;
  const std::vector<double>& sn = calc.SN();
  const std::vector<double>& sw = calc.SW();
  // Shown bins 0 … b-1, as in the per-g/mol view.
  const long last = std::min<long>(calc.LastIndex() - 1, static_cast<long>(std::min(sn.size(), sw.size())) - 1);
  if (last < 1 || points < 1)
    return curves;
  // Point i stands for i x step g/mol, its values are fractions per g/mol.
  // Below the first normalised point the curves are counts, not fractions.
  const double step = calc.GridStep() > 0.0 ? calc.GridStep() : 1.0;
  const long normalized = static_cast<long>(std::ceil(static_cast<double>(NormalizationStart) / step));
  const long first = last > normalized ? std::max(1L, normalized) : 1;
  // Intervals of bins evenly spaced in log M (at least one bin each): the
  // fraction in an interval over its width in decades. Summing rather than
  // sampling keeps chains that occupy only every hundredth bin (one monomer
  // mass apart) from reading as spikes and gaps.
  //
  // A homopolymer occupies a run of bins per monomer mass (about 100 g/mol
  // apart) when the moving average is narrower than that: an interval then
  // spans at least eight such periods, or it would read as peaks and gaps
  // where the chains are merely discrete.
  long runs = 0, occupied = 0, firstOccupied = -1, lastOccupied = -1;
  for (long i = first; i <= last; ++i) {
    if (!(sw[static_cast<std::size_t>(i)] > 0.0))
      continue;
    ++occupied;
    if (i == first || !(sw[static_cast<std::size_t>(i - 1)] > 0.0))
      ++runs;
    if (firstOccupied < 0)
      firstOccupied = i;
    lastOccupied = i;
  }
  long minimumBins = 1;
  if (runs > 1 && occupied < 0.9 * static_cast<double>(lastOccupied - firstOccupied + 1))
    minimumBins = 8 * std::max(1L, (lastOccupied - firstOccupied) / (runs - 1));
  const double lo = std::log10(static_cast<double>(first));
  const double hi = std::log10(static_cast<double>(last + 1));
  const double logStep = (hi - lo) / points;
  long from = first;
  for (int k = 1; k <= points && from <= last; ++k) {
    long to = k == points ? last + 1 : std::max(from + minimumBins, std::lround(std::pow(10.0, lo + k * logStep)));
    if (to > last + 1 || last + 1 - to < minimumBins)
      to = last + 1; // no short interval at the end
    if (to <= from)
      continue;
    double n = 0.0, w = 0.0;
    for (long i = from; i < std::min(to, last + 1); ++i) {
      n += sn[static_cast<std::size_t>(i)];
      w += sw[static_cast<std::size_t>(i)];
    }
    const double decades = std::log10(static_cast<double>(to) / static_cast<double>(from));
    curves.M.push_back(step * std::sqrt(static_cast<double>(from) * static_cast<double>(to)));
    curves.NumberLog.push_back(n * step / decades);
    curves.WeightLog.push_back(w * step / decades);
    from = to;
    // Skip the steps the interval already covered.
    while (k < points && std::lround(std::pow(10.0, lo + (k + 1) * logStep)) <= from)
      ++k;
  }
  return curves;
}

TMolarMassAverages TraceAverages(const TSECTrace& trace) {
  TMolarMassAverages a;
  if (!trace.HasWeight())
    return a;
  a.Mn = trace.Mn();
  a.Mw = trace.Mw();
  a.Dispersity = a.Mn > 0.0 ? a.Mw / a.Mn : 0.0;
  const double h = trace.Decades() / static_cast<double>(SECGridLast);
  double first = 0.0, second = 0.0;
  for (int k = 0; k <= SECGridLast; ++k) {
    const double w = trace.Wg()[static_cast<std::size_t>(k)];
    if (w == 0.0)
      continue;
    const double m = std::pow(10.0, trace.X()[static_cast<std::size_t>(k)] + h / 2.0);
    first += w * m;
    second += w * m * m;
  }
  a.Mz = first > 0.0 ? second / first : 0.0;
  const auto& y = trace.Y();
  const auto peak = std::max_element(y.begin(), y.end() - 1); // the last grid point is not shown
  if (*peak > 0.0)
    a.Mp = std::pow(10.0, trace.X()[static_cast<std::size_t>(peak - y.begin())]);
  return a;
}

std::string AveragesText(const TMolarMassAverages& a) {
  char text[200];
  std::snprintf(text, sizeof text, "Mp = %.0f  Mn = %.0f  Mw = %.0f  Mz = %.0f g/mol  \xC4\x90 = %.2f", a.Mp, a.Mn,
                a.Mw, a.Mz, a.Dispersity);
  return text;
}

std::vector<std::pair<double, std::string>> MolarMassScaleTicks(int decades) {
  std::vector<std::pair<double, std::string>> ticks;
  for (int d = 1; d <= decades; ++d) {
    static const char* const superscripts[] = {"\u2070", "\u00b9", "\u00b2", "\u00b3", "\u2074",
                                               "\u2075", "\u2076", "\u2077", "\u2078", "\u2079"};
    std::string power;
    for (char c : std::to_string(d))
      power += superscripts[c - '0'];
    const std::string label =
        d <= 3 ? std::to_string(static_cast<long>(std::lround(std::pow(10.0, d)))) : "10" + power;
    ticks.emplace_back(static_cast<double>(d), label);
    if (d < decades) {
      ticks.emplace_back(d + std::log10(2.0), std::string());
      ticks.emplace_back(d + std::log10(5.0), std::string());
    }
  }
  return ticks;
}

} // namespace Plots
