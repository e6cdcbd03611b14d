// The GPC-style views of a most-probable (Flory) distribution written into
// the histograms: per decade, the weight fraction peaks at M = 2 Mn and has
// the area of the per-g/mol curve; the averages of the trace are Mn, Mw and
// Mz = sum w M^2 / sum w M, with Mp at 2 Mn; the molar-mass scale's ticks.

#include "plots/calc/uMassDistrCalc.h"
#include "plots/calc/uMolarMassViews.h"
#include "plots/calc/uSECTrace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct TFlory {
  std::vector<double> Number, Weight;
  double Mn = 0, Mw = 0, Mz = 0;
};

// DPn 150 of styrene (104.15 g/mol, or a heavier unit) with an 82.1 g/mol
// end, 10^6 chains.
TFlory Flory(double unit = 104.15) {
  TFlory f;
  const double p = 1.0 - 1.0 / 150.0;
  const std::size_t maxDP = 6000;
  f.Number.assign(static_cast<std::size_t>(maxDP * unit + 200), 0.0);
  f.Weight.assign(f.Number.size(), 0.0);
  double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
  for (std::size_t n = 1; n < maxDP; ++n) {
    const double chains = std::round(1e6 * (1.0 - p) * std::pow(p, static_cast<double>(n - 1)));
    const double m = unit * static_cast<double>(n) + 82.1;
    const auto bin = static_cast<std::size_t>(m);
    f.Number[bin] += chains;
    f.Weight[bin] += chains * m;
    s0 += chains;
    s1 += chains * m;
    s2 += chains * m * m;
    s3 += chains * m * m * m;
  }
  f.Mn = s1 / s0;
  f.Mw = s2 / s1;
  f.Mz = s3 / s2;
  return f;
}

TEST(MolarMassViews, PerDecadeTheWeightFractionPeaksAtTwiceMnWithTheSameArea) {
  const TFlory f = Flory();
  Plots::TMassDistrCalc calc;
  calc.SetHistograms(f.Number, f.Weight, f.Mn, f.Mw);
  calc.Smooth(Plots::ResolutionInitial); // as the window shows it first
  const Plots::TLogMassCurves curves = Plots::LogMassCurves(calc);
  ASSERT_GT(curves.M.size(), 200u);
  ASSERT_LE(curves.M.size(), 1000u);
  EXPECT_GE(curves.M.front(), 100.0); // from the first normalised bin
  EXPECT_TRUE(std::is_sorted(curves.M.begin(), curves.M.end()));
  // Evenly spaced in log M where the bins allow it.
  const std::size_t k = curves.M.size() - 3;
  EXPECT_NEAR(std::log10(curves.M[k + 1] / curves.M[k]), std::log10(curves.M[k] / curves.M[k - 1]), 1e-4);

  // The curves follow the most probable distribution per decade: with
  // n(M) = (1 - p) p^((M - 82.1)/104.15 - 1) / 104.15 chains per g/mol,
  // n(log M) = ln 10 M n(M) and w(log M) = n(log M) M / Mn (about
  // ln 10 (M/Mn) exp(-M/Mn) and ln 10 (M/Mn)^2 exp(-M/Mn), peaking at Mn and
  // 2 Mn), within 3 % of their peaks: the discrete chain masses, one monomer
  // apart, read as a curve.
  const double ln10 = std::log(10.0);
  const double p = 1.0 - 1.0 / 150.0;
  int compared = 0;
  for (std::size_t k = 0; k < curves.M.size(); ++k) {
    const double m = curves.M[k];
    const double x = m / f.Mn;
    if (x < 0.3 || x > 5.0)
      continue;
    ++compared;
    const double nLog = ln10 * m * (1.0 - p) * std::pow(p, (m - 82.1) / 104.15 - 1.0) / 104.15;
    EXPECT_NEAR(curves.NumberLog[k], nLog, 0.03 * ln10 * std::exp(-1.0)) << m;
    EXPECT_NEAR(curves.WeightLog[k], nLog * x, 0.03 * ln10 * 4.0 * std::exp(-2.0)) << m;
  }
  EXPECT_GT(compared, 100);

  // Area over log10 M (trapezoids on the samples) equals the area of SW
  // over M from 100 g/mol on.
  double areaLog = 0.0;
  for (std::size_t k = 1; k < curves.M.size(); ++k)
    areaLog += 0.5 * (curves.WeightLog[k] + curves.WeightLog[k - 1]) * std::log10(curves.M[k] / curves.M[k - 1]);
  double area = 0.0;
  for (std::size_t i = 100; i + 1 < calc.SW().size(); ++i)
    area += calc.SW()[i];
  EXPECT_NEAR(areaLog, area, 0.02 * area);
  EXPECT_NEAR(area, 1.0, 0.01);
  double numberArea = 0.0;
  for (std::size_t i = 100; i + 1 < calc.SN().size(); ++i)
    numberArea += calc.SN()[i];
  EXPECT_NEAR(numberArea, 1.0, 0.01) << "number curve";

  // Nothing smoothed yet: nothing to show.
  EXPECT_TRUE(Plots::LogMassCurves(Plots::TMassDistrCalc()).M.empty());
}

// Units of 1000 g/mol: the mass axis passes the curves' bound and the grid
// gets coarser; the view per decade keeps its masses and its area.
TEST(MolarMassViews, ACoarserGridKeepsTheMassesAndTheArea) {
  const TFlory f = Flory(1000.0);
  Plots::TMassDistrCalc calc;
  calc.SetHistograms(f.Number, f.Weight, f.Mn, f.Mw);
  calc.Smooth(Plots::ResolutionInitial);
  ASSERT_GT(calc.GridStep(), 1.0);
  const Plots::TLogMassCurves curves = Plots::LogMassCurves(calc);
  ASSERT_GT(curves.M.size(), 100u);
  EXPECT_GE(curves.M.front(), 100.0);
  EXPECT_LE(curves.M.back(), static_cast<double>(f.Number.size()));
  const auto peak = std::max_element(curves.WeightLog.begin(), curves.WeightLog.end());
  EXPECT_NEAR(curves.M[static_cast<std::size_t>(peak - curves.WeightLog.begin())] / (2.0 * f.Mn), 1.0, 0.1);
  double areaLog = 0.0;
  for (std::size_t k = 1; k < curves.M.size(); ++k)
    areaLog += 0.5 * (curves.WeightLog[k] + curves.WeightLog[k - 1]) * std::log10(curves.M[k] / curves.M[k - 1]);
  EXPECT_NEAR(areaLog, 1.0, 0.03);
}

TEST(MolarMassViews, TraceAveragesGiveMpMnMwMzAndTheDispersity) {
  const TFlory f = Flory();
  Plots::TSECTrace trace;
  EXPECT_EQ(Plots::TraceAverages(trace).Mz, 0.0); // empty
  ASSERT_TRUE(trace.AggregateMasses(f.Weight.data(), f.Weight.size()));
  trace.SetAverages(f.Mn, f.Mw);
  trace.Broaden(Plots::BroadeningSigma(Plots::BroadeningInitial));
  const Plots::TMolarMassAverages a = Plots::TraceAverages(trace);
  EXPECT_EQ(a.Mn, f.Mn);
  EXPECT_EQ(a.Mw, f.Mw);
  EXPECT_NEAR(a.Mz / f.Mz, 1.0, 0.005); // cell centres, 0.005 decades wide
  EXPECT_NEAR(a.Dispersity, f.Mw / f.Mn, 1e-12);
  EXPECT_NEAR(a.Mp / (2.0 * f.Mn), 1.0, 0.05);
  EXPECT_GT(a.Mz, a.Mw);
  const std::string text = Plots::AveragesText(a);
  EXPECT_EQ(text.rfind("Mp = ", 0), 0u) << text;
  EXPECT_NE(text.find("Mz = "), std::string::npos);
  EXPECT_NE(text.find(" g/mol  \xC4\x90 = 1.9"), std::string::npos) << text; // Đ
}

TEST(MolarMassViews, ScaleTicksAtEveryDecadeWithTwoAndFiveBetween) {
  const auto ticks = Plots::MolarMassScaleTicks(5);
  ASSERT_EQ(ticks.size(), 5u + 2u * 4u);
  EXPECT_EQ(ticks[0].first, 1.0);
  EXPECT_EQ(ticks[0].second, "10");
  EXPECT_NEAR(ticks[1].first, 1.0 + std::log10(2.0), 1e-12);
  EXPECT_TRUE(ticks[1].second.empty());
  EXPECT_EQ(ticks[6].second, "1000");
  EXPECT_EQ(ticks[9].second, "10\u2074");
  EXPECT_EQ(ticks.back().first, 5.0);
  EXPECT_TRUE(Plots::MolarMassScaleTicks(0).empty());
}

} // namespace
