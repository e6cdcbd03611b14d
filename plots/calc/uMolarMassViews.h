#pragma once
// Molar-mass views the way GPC software shows them, built on the public
// curves of uMassDistrCalc.h and uSECTrace.h (never on the state's raw
// arrays):
//
// - the distributions on a logarithmic molar-mass axis, w(log M) and
//   n(log M): the fraction per decade (w(log M) = ln 10 · M · w(M) for a
//   smooth curve), from the smoothed per-g/mol curves SW and SN, so the area
//   under w(log M) over log10 M is the area under SW over M;
// - the averages of a trace: the peak molar mass Mp, Mn, Mw, Mz and the
//   dispersity Đ = Mw / Mn;
// - the ticks of a molar-mass scale over an axis in log10 M.
//
// Qt-free, no state: any thread.

#include "plots/calc/uMassDistrCalc.h"
#include "plots/calc/uSECTrace.h"

#include <string>
#include <utility>
#include <vector>

namespace Plots {

struct TLogMassCurves {
  std::vector<double> M;        // molar mass, g/mol (log-spaced samples)
  std::vector<double> NumberLog; // n(log M)
  std::vector<double> WeightLog; // w(log M)
};

// SN and SW of `calc` gathered into about `points` intervals evenly spaced in
// log M, from the first normalised point (100 g/mol, or the first point when
// every chain is lighter) to the last shown one: each interval's fraction
// over its width in decades, at the interval's geometric mean mass. Each
// occupied point stands for the points up to the next occupied one, so the
// discrete masses of a homopolymer read as a curve, and an interval spans at
// least one period of them. The area over log10 M is the area of SW over M.
// Empty before Smooth has run.
TLogMassCurves LogMassCurves(const TMassDistrCalc& calc, int points = 1000);

struct TMolarMassAverages {
  double Mp = 0.0; // where the trace peaks
  double Mn = 0.0;
  double Mw = 0.0;
  double Mz = 0.0;
  double Dispersity = 0.0; // Mw / Mn (0 without Mn)
};

// Mn and Mw as the trace holds them; Mz from its aggregated weight (cell
// centres); Mp at the trace's highest point. All 0 while the trace is empty.
TMolarMassAverages TraceAverages(const TSECTrace& trace);

// "Mp = 12345  Mn = 10234  Mw = 14567  Mz = 18900 g/mol  Đ = 1.42"
std::string AveragesText(const TMolarMassAverages& averages);

// Ticks of a molar-mass scale for an axis in log10 M over 0 … decades: a
// labelled tick at every decade from 10 g/mol ("10", "100", "1000", "10⁴",
// …, UTF-8) and unlabelled ones at 2 and 5 times each decade.
std::vector<std::pair<double, std::string>> MolarMassScaleTicks(int decades);

} // namespace Plots
