// The smoothed molar-mass distributions: moving average with running sums,
// normalisation from 100 g/mol on, the guards on the simulation state and
// the table the command line writes.

#include "engine/uDataStruct.h"
#include "plots/calc/uMassDistrCalc.h"
#include "tests/support/CurveTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Plots::SmoothDistributions;
using Plots::TMassDistrCalc;

// A histogram of b + 1 bins with the given chain counts; W(i) = i * N(i)
// (every chain of bin i weighs exactly i g/mol).
struct THistogram {
  std::vector<double> N, W;
  explicit THistogram(std::size_t bins) : N(bins, 0.0), W(bins, 0.0) {}
  void Add(std::size_t bin, double chains) {
    N[bin] += chains;
    W[bin] += chains * static_cast<double>(bin);
  }
};

// The definition written out: mean of bins i-w+1 … i (those that exist),
// divided by the total counted from bin w on when i >= 100.
double DirectSmoothed(const std::vector<double>& h, std::size_t i, std::size_t w) {
  if (i < w)
    return 0.0;
  double sum = 0.0;
  for (std::size_t j = i + 1 - w; j <= i; ++j)
    sum += h[j];
  double total = 0.0;
  for (std::size_t j = w; j < h.size(); ++j)
    total += h[j];
  if (total == 0.0)
    total = 1.0;
  const double mean = sum / static_cast<double>(w);
  return i >= 100 ? mean / total : mean;
}

TEST(SmoothDistributions, WidthOneIsThePlainNormalisedHistogram) {
  THistogram h(501);
  h.Add(150, 3);
  h.Add(151, 1);
  h.Add(400, 4);
  std::vector<double> sn, sw;
  SmoothDistributions(h.N, h.W, 1, sn, sw);
  ASSERT_EQ(sn.size(), 501u);
  ASSERT_EQ(sw.size(), 501u);
  // TN = 3 + 1 + 4 = 8 chains; TW = 450 + 151 + 1600 = 2201 g/mol.
  EXPECT_DOUBLE_EQ(sn[150], 3.0 / 8.0);
  EXPECT_DOUBLE_EQ(sn[151], 1.0 / 8.0);
  EXPECT_DOUBLE_EQ(sn[400], 4.0 / 8.0);
  EXPECT_DOUBLE_EQ(sw[150], 450.0 / 2201.0);
  EXPECT_DOUBLE_EQ(sw[400], 1600.0 / 2201.0);
  for (std::size_t i : {0u, 1u, 149u, 152u, 399u, 500u}) {
    EXPECT_EQ(sn[i], 0.0) << i;
    EXPECT_EQ(sw[i], 0.0) << i;
  }
}

TEST(SmoothDistributions, MovingFrom21To51ZeroesTheFirst51Entries) {
  THistogram h(2001);
  std::mt19937 random(7);
  for (std::size_t i = 30; i < 1900; ++i)
    h.Add(i, static_cast<double>(random() % 5));
  TMassDistrCalc calc;
  calc.SetHistograms(h.N, h.W, 0.0, 0.0);
  calc.Smooth(21);
  // Bins 30 … 50 are occupied, so with w = 21 entries 30 … 50 are not 0.
  EXPECT_GT(calc.SN()[40], 0.0);
  calc.Smooth(51);
  for (std::size_t i = 0; i < 51; ++i) {
    EXPECT_EQ(calc.SN()[i], 0.0) << i;
    EXPECT_EQ(calc.SW()[i], 0.0) << i;
  }
  for (std::size_t i = 51; i < 2001; i += 37) {
    EXPECT_NEAR(calc.SN()[i], DirectSmoothed(h.N, i, 51), 1e-12 * (1.0 + DirectSmoothed(h.N, i, 51))) << i;
    EXPECT_NEAR(calc.SW()[i], DirectSmoothed(h.W, i, 51), 1e-12 * (1.0 + DirectSmoothed(h.W, i, 51))) << i;
  }
}

TEST(SmoothDistributions, RunningSumsAgreeWithTheDirectMeanForEveryWidth) {
  THistogram h(5001);
  std::mt19937 random(11);
  // Sparse occupation with gaps longer than the window, so the tails and
  // empty stretches are exercised too.
  for (std::size_t i = 120; i < 4000; ++i)
    if (random() % 7 == 0 && (i / 500) % 2 == 0)
      h.Add(i, 1.0 + static_cast<double>(random() % 3));
  std::vector<double> sn, sw;
  for (int w : {1, 2, 21, 50, 99, 100}) {
    SmoothDistributions(h.N, h.W, w, sn, sw);
    for (std::size_t i = 0; i < h.N.size(); ++i) {
      const double en = DirectSmoothed(h.N, i, static_cast<std::size_t>(w));
      const double ew = DirectSmoothed(h.W, i, static_cast<std::size_t>(w));
      ASSERT_NEAR(sn[i], en, 1e-12 * (1.0 + en)) << "w " << w << " i " << i;
      ASSERT_NEAR(sw[i], ew, 1e-12 * (1.0 + ew)) << "w " << w << " i " << i;
      // Where the window holds no chain the value is exactly 0, not a
      // rounding residue of the masses that passed through it.
      if (en == 0.0) {
        ASSERT_EQ(sn[i], 0.0) << "w " << w << " i " << i;
      }
      if (ew == 0.0) {
        ASSERT_EQ(sw[i], 0.0) << "w " << w << " i " << i;
      }
    }
  }
}

TEST(SmoothDistributions, ChainsBelow100GramsPerMoleStayUnnormalised) {
  THistogram h(120);
  h.Add(40, 2);
  h.Add(60, 6);
  std::vector<double> sn, sw;
  SmoothDistributions(h.N, h.W, 1, sn, sw);
  // Below index 100 nothing is divided: the values are the counts and masses.
  EXPECT_EQ(sn[40], 2.0);
  EXPECT_EQ(sn[60], 6.0);
  EXPECT_EQ(sw[60], 360.0);
  SmoothDistributions(h.N, h.W, 10, sn, sw);
  // The mean of bins 51 … 60 holds the 6 chains of bin 60: 6 / 10.
  EXPECT_DOUBLE_EQ(sn[60], 0.6);
  EXPECT_DOUBLE_EQ(sn[69], 0.6);
  EXPECT_EQ(sn[70], 0.0);
}

TEST(SmoothDistributions, ChainsLighterThanTheWidthAreAveragedNotSubtracted) {
  // A chain in bin 5 and one in bin 200, w = 21. Averaging windows that start
  // from empty sums would subtract bin 5 without having added it and make
  // every value from bin 26 on too low by 1/21 (negative where nothing is).
  THistogram h(301);
  h.Add(5, 1);
  h.Add(200, 1);
  std::vector<double> sn, sw;
  SmoothDistributions(h.N, h.W, 21, sn, sw);
  EXPECT_DOUBLE_EQ(sn[21], 1.0 / 21.0); // window 1 … 21 holds bin 5
  EXPECT_DOUBLE_EQ(sn[25], 1.0 / 21.0); // window 5 … 25
  EXPECT_EQ(sn[26], 0.0);               // window 6 … 26
  // From bin 21 on one chain is counted: TN = 1, so the peak is 1/21.
  EXPECT_DOUBLE_EQ(sn[200], 1.0 / 21.0);
  EXPECT_DOUBLE_EQ(sw[200], (200.0 / 21.0) / 200.0);
  for (double v : sn)
    EXPECT_GE(v, 0.0);
}

TEST(SmoothDistributions, OutOfRangeWidthsAndTinyHistogramsAreHarmless) {
  THistogram h(10);
  h.Add(3, 1);
  std::vector<double> sn, sw;
  SmoothDistributions(h.N, h.W, 500, sn, sw); // clamped to 100 > b: all zero
  ASSERT_EQ(sn.size(), 10u);
  for (double v : sn)
    EXPECT_EQ(v, 0.0);
  SmoothDistributions(h.N, h.W, 0, sn, sw); // clamped to 1
  EXPECT_EQ(sn[3], 1.0);
  SmoothDistributions({}, {}, 21, sn, sw);
  EXPECT_TRUE(sn.empty());
}

// A state with records and mass histograms, as the chain statistics leave it.
void PrepareState(Engine::TSimState& s) {
  s.ChainsNumber = 4;
  s.CheckPointsHigh = 1;
  s.CPInitiator.assign(2, 4);
  s.DPDistribution.assign(Engine::MaxDP + 1, 0);
  s.DPDistribution[0] = 2; // two of the four chains have grown
  s.DPDistribution[3] = 2;
  s.MassHistogram.Begin(6.0);
  s.MassHistogram.Add(5.0, 5.0);
  s.MassHistogram.Add(4.0, 4.0);
  s.MassHistogram.Finish();
  s.Mn = 4.5;
  s.Mw = 41.0 / 9.0;
}

TEST(MassDistrCalc, TakesHistogramsOnlyWhenThereIsSomethingToShow) {
  Engine::TSimState s;
  TMassDistrCalc calc;
  EXPECT_FALSE(calc.TakeHistograms(s)); // no records
  PrepareState(s);
  s.DPDistribution[0] = s.ChainsNumber; // no chain has grown yet
  EXPECT_FALSE(calc.TakeHistograms(s));
  EXPECT_FALSE(calc.HasHistograms());
  s.DPDistribution[0] = 2;
  s.MassHistogram.Release(); // no histograms yet
  EXPECT_FALSE(calc.TakeHistograms(s));
  PrepareState(s);
  ASSERT_TRUE(calc.TakeHistograms(s));
  EXPECT_EQ(calc.LastIndex(), 5);
  EXPECT_EQ(calc.Mn(), 4.5);

  // The copy is the calculator's own: the state may be rebuilt meanwhile.
  s.MassHistogram.Release();
  calc.Smooth(1);
  EXPECT_EQ(calc.SN()[4], 1.0); // below 100: the plain count
  EXPECT_EQ(calc.SN().size(), 6u);

  // A failing guard keeps the earlier copy.
  s.CheckPointsHigh = -1;
  EXPECT_FALSE(calc.TakeHistograms(s));
  EXPECT_EQ(calc.LastIndex(), 5);
  calc.Reset();
  EXPECT_FALSE(calc.HasHistograms());
  calc.Smooth(21); // nothing to smooth: nothing happens
  EXPECT_TRUE(calc.SN().empty());
}

TEST(MassDistrCalc, SmoothingTheStateDirectlyKeepsNoCopy) {
  Engine::TSimState s;
  PrepareState(s);
  TMassDistrCalc copied, direct;
  ASSERT_TRUE(copied.TakeHistograms(s));
  copied.Smooth(2);
  ASSERT_TRUE(direct.SmoothState(s, 2));
  EXPECT_EQ(direct.SN(), copied.SN());
  EXPECT_EQ(direct.SW(), copied.SW());
  EXPECT_EQ(direct.LastIndex(), 5);
  EXPECT_EQ(direct.Mw(), s.Mw);
  EXPECT_FALSE(direct.HasHistograms());
  EXPECT_EQ(direct.GridStep(), 1.0);
  // A copy taken earlier is dropped by a direct calculation.
  ASSERT_TRUE(copied.SmoothState(s, 2));
  EXPECT_FALSE(copied.HasHistograms());
  s.DPDistribution[0] = s.ChainsNumber;
  EXPECT_FALSE(direct.SmoothState(s, 2));
  EXPECT_EQ(direct.LastIndex(), 5);
}

TEST(MassDistrCalc, TableKeepsTheRowsThatCarryTheCurveWithAPointDecimalSeparator) {
  THistogram h(201);
  h.Add(150, 2);
  h.Add(160, 2);
  TMassDistrCalc calc;
  calc.SetHistograms(h.N, h.W, 155.0, 155.3);
  calc.Smooth(1);
  std::ostringstream out;
  Plots::WriteSmoothedTable(out, calc);
  std::istringstream in(out.str());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  // Points 0 … 199 are shown (the last bin, 200, is not): the first and last
  // point, and each point off zero with the zero on either side of it.
  const std::vector<std::string> expected = {
      "mass\tnumber\tweight", "0\t0\t0", "149\t0\t0",
      // TN = 4 chains, TW = 300 + 320 = 620 g/mol: 2/4 and 300/620.
      "150\t0.5\t" + Plots::CurveNumber(300.0 / 620.0), "151\t0\t0", "159\t0\t0",
      "160\t0.5\t" + Plots::CurveNumber(320.0 / 620.0), "161\t0\t0", "199\t0\t0"};
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(Plots::CurveNumber(0.1), "0.1");
  EXPECT_EQ(Plots::CurveNumber(1.0 / 3.0), "0.3333333333333333");
  EXPECT_EQ(Plots::CurveNumber(1e-7), "1e-07");
  EXPECT_EQ(Plots::CurveNumber(std::nan("")), "nan");
  EXPECT_EQ(Plots::CurveNumber(-HUGE_VAL), "-inf");
}

TEST(MassDistrCalc, TableOfAnEmptyCurveStillSpansTheAxis) {
  // Chains only in bin 0, which no window from point w on reaches: every
  // shown point is 0.
  THistogram h(301);
  h.N[0] = 5;
  TMassDistrCalc calc;
  calc.SetHistograms(h.N, h.W, 0.0, 0.0);
  calc.Smooth(21);
  std::ostringstream out;
  Plots::WriteSmoothedTable(out, calc);
  EXPECT_EQ(out.str(), "mass\tnumber\tweight\n0\t0\t0\n299\t0\t0\n");
  // Curves off zero at the first and at the last shown point.
  THistogram edges(301);
  edges.Add(1, 1);
  edges.Add(299, 1);
  calc.SetHistograms(edges.N, edges.W, 150.0, 298.0);
  calc.Smooth(1);
  std::ostringstream both;
  Plots::WriteSmoothedTable(both, calc);
  const TestSupport::TCurveOfTable curve = TestSupport::CurveOfTable(both.str(), 300);
  ASSERT_TRUE(curve.Readable);
  EXPECT_EQ(curve.Mass, (std::vector<double>{0, 1, 2, 298, 299}));
  EXPECT_EQ(curve.SN, std::vector<double>(calc.SN().begin(), calc.SN().end() - 1));
}

} // namespace

namespace {

// A random histogram with gaps longer than any window, light chains below
// the window and below 100 g/mol, and masses that are not whole numbers.
THistogram RandomHistogram(std::size_t bins, unsigned seed) {
  THistogram h(bins);
  std::mt19937 random(seed);
  for (std::size_t i = 0; i < bins; ++i)
    if (random() % 5 == 0 && (i / 300) % 3 != 1) {
      const double chains = 1.0 + static_cast<double>(random() % 4);
      h.N[i] += chains;
      h.W[i] += chains * (static_cast<double>(i) + 0.001 * static_cast<double>(random() % 1000));
    }
  return h;
}

} // namespace

TEST(SparseSmoothing, EqualsTheWholeArraysToTheLastBit) {
  for (unsigned seed : {1u, 2u, 3u}) {
    const THistogram h = RandomHistogram(4000 + seed * 77, seed);
    TMassDistrCalc calc;
    calc.SetHistograms(h.N, h.W, 0.0, 0.0);
    for (int w : {1, 2, 21, 64, 100}) {
      std::vector<double> sn, sw;
      SmoothDistributions(h.N, h.W, w, sn, sw);
      calc.Smooth(w);
      EXPECT_EQ(calc.SN(), sn) << "seed " << seed << " w " << w;
      EXPECT_EQ(calc.SW(), sw) << "seed " << seed << " w " << w;
    }
  }
}

TEST(SparseSmoothing, StreamedTableEqualsTheTableOfTheArrays) {
  const THistogram h = RandomHistogram(3000, 9);
  TMassDistrCalc calc;
  calc.SetHistograms(h.N, h.W, 0.0, 0.0);
  Engine::TMassHistogram histogram;
  histogram.Begin(3000.0);
  for (std::size_t i = 0; i < 3000; ++i)
    if (h.N[i] != 0.0)
      histogram.Bins.push_back(Engine::TMassBin{static_cast<double>(i), h.N[i], h.W[i]});
  for (int w : {1, 21, 100}) {
    calc.Smooth(w);
    std::ostringstream arrays, streamed;
    Plots::WriteSmoothedTable(arrays, calc);
    Plots::WriteSmoothedTable(streamed, histogram, w);
    EXPECT_EQ(streamed.str(), arrays.str()) << w;
    // Lines through the rows are the curve at every shown point, and the
    // table leaves out the long stretches at zero.
    const TestSupport::TCurveOfTable curve = TestSupport::CurveOfTable(streamed.str(), 2999);
    ASSERT_TRUE(curve.Readable);
    EXPECT_EQ(curve.SN, std::vector<double>(calc.SN().begin(), calc.SN().end() - 1)) << w;
    EXPECT_EQ(curve.SW, std::vector<double>(calc.SW().begin(), calc.SW().end() - 1)) << w;
    EXPECT_LT(curve.Mass.size(), 2999u) << w;
  }
}

TEST(SparseSmoothing, AxisBeyondTheBoundGetsACoarserGridOfBoundedSize) {
  // Within the bound: one point per g/mol.
  EXPECT_EQ(Plots::CurveGridOf(static_cast<double>(Plots::MaxCurvePoints)).Step, 1.0);
  EXPECT_EQ(Plots::CurveGridOf(static_cast<double>(Plots::MaxCurvePoints)).Points, Plots::MaxCurvePoints);
  // A monomer of 1e12 g/mol: two chains of 3 and 5 units.
  Engine::TMassHistogram histogram;
  histogram.Begin(std::trunc(5 * 1e12 + 2 * 10.0) + 100.0);
  histogram.Add(3e12 + 10.0, 3e12 + 10.0);
  histogram.Add(5e12 + 10.0, 5e12 + 10.0);
  histogram.Finish();
  const Plots::TCurveGrid grid = Plots::CurveGridOf(histogram.AxisLength);
  EXPECT_LE(grid.Points, Plots::MaxCurvePoints);
  EXPECT_GE(grid.Step * static_cast<double>(grid.Points), histogram.AxisLength);
  EXPECT_EQ(Plots::GridBins(histogram.Bins, grid).size(), 2u);
  TMassDistrCalc calc;
  Engine::TSimState s;
  s.ChainsNumber = 2;
  s.CheckPointsHigh = 0;
  s.CPInitiator.assign(1, 2);
  s.DPDistribution.assign(Engine::MaxDP + 1, 0);
  s.DPDistribution[3] = s.DPDistribution[5] = 1;
  s.MassHistogram = histogram;
  ASSERT_TRUE(calc.SmoothState(s, 1));
  ASSERT_EQ(calc.SN().size(), grid.Points);
  EXPECT_EQ(calc.GridStep(), grid.Step);
  // Still a fraction per g/mol: over the whole curve the number fractions
  // add up to one chain in all.
  double area = 0.0;
  for (double v : calc.SN())
    area += v * grid.Step;
  EXPECT_NEAR(area, 1.0, 1e-12);
  const std::size_t point = static_cast<std::size_t>(std::floor((3e12 + 10.0) / grid.Step));
  EXPECT_GT(calc.SN()[point], 0.0);
}
