#include "plots/calc/uMolarMassViews.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Plots {

TLogMassCurves LogMassCurves(const TMassDistrCalc& calc, int points) {
  TLogMassCurves curves;
  const std::vector<double>& sn = calc.SN();
  const std::vector<double>& sw = calc.SW();
  // Shown points 0 … b-1, as in the per-g/mol view.
  const long last = std::min<long>(calc.LastIndex() - 1, static_cast<long>(std::min(sn.size(), sw.size())) - 1);
  if (last < 1 || points < 1)
    return curves;
  // Point i stands for i x step g/mol, its values are fractions per g/mol.
  // Below the first normalised point the curves are counts, not fractions.
  const double step = calc.GridStep() > 0.0 ? calc.GridStep() : 1.0;
  const long normalized = static_cast<long>(std::ceil(static_cast<double>(NormalizationStart) / step));
  const long first = last > normalized ? std::max(1L, normalized) : 1;

  // Cells: every occupied point stands for the points up to the next one.
  // A homopolymer occupies a run of points per monomer mass (about 100 g/mol
  // apart) when the moving average is narrower than that; spread over their
  // cells, the chains fill the gaps, and an interval that takes part of a
  // cell takes that part of its chains instead of all or nothing.
  struct TCell {
    long From, To; // the points it stands for
    double N, W;
    long Last;     // its last occupied point
  };
  std::vector<TCell> cells;
  long runs = 0;
  for (long i = first; i <= last; ++i) {
    const double n = sn[static_cast<std::size_t>(i)];
    const double w = sw[static_cast<std::size_t>(i)];
    if (!(n > 0.0) && !(w > 0.0))
      continue;
    if (cells.empty() || cells.back().To != i)
      ++runs;
    if (!cells.empty())
      cells.back().To = i;
    cells.push_back({i, i + 1, n, w, i});
  }
  if (cells.empty())
    return curves;
  cells.back().To = last + 1;
  // The intervals span at least one period of such runs, else they would
  // alternate between a run and a gap.
  const long occupiedSpan = cells.back().From - cells.front().From + 1;
  long minimumPoints = 1;
  if (runs > 1 && static_cast<double>(cells.size()) < 0.9 * static_cast<double>(occupiedSpan)) {
    minimumPoints = std::max(1L, (cells.back().From - cells.front().From) / (runs - 1));
    // A run (the moving average spreads one chain mass over w points) is
    // one cell: its chains stand for the points up to the next run.
    std::vector<TCell> merged;
    for (const TCell& c : cells) {
      if (!merged.empty() && c.From == merged.back().Last + 1) {
        merged.back().N += c.N;
        merged.back().W += c.W;
        merged.back().To = c.To;
        merged.back().Last = c.From;
      } else {
        merged.push_back(c);
      }
    }
    cells.swap(merged);
  }

  const double lo = std::log10(static_cast<double>(first));
  const double hi = std::log10(static_cast<double>(last + 1));
  const double logStep = (hi - lo) / points;
  std::size_t cell = 0;
  long from = first;
  for (int k = 1; k <= points && from <= last; ++k) {
    long to = k == points ? last + 1 : std::max(from + minimumPoints, std::lround(std::pow(10.0, lo + k * logStep)));
    if (to > last + 1 || last + 1 - to < minimumPoints)
      to = last + 1; // no short interval at the end
    double n = 0.0, w = 0.0;
    while (cell < cells.size() && cells[cell].To <= from)
      ++cell;
    for (std::size_t c = cell; c < cells.size() && cells[c].From < to; ++c) {
      const long overlap = std::min(to, cells[c].To) - std::max(from, cells[c].From);
      if (overlap <= 0)
        continue;
      const double share = static_cast<double>(overlap) / static_cast<double>(cells[c].To - cells[c].From);
      n += cells[c].N * share;
      w += cells[c].W * share;
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
