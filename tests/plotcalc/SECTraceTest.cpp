// The simulated SEC trace: broadening width and its label, aggregation on
// the logarithmic grid, the Gaussian broadening and its normalisation, the
// elution-volume labels and the table the command line writes.

#include "engine/uDataStruct.h"
#include "params/uNumberFormat.h"
#include "plots/calc/uSECTrace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Plots::TSECTrace;

// Restores the process-wide decimal separator after a test changed it.
class TSeparatorGuard {
public:
  TSeparatorGuard() : FSaved(Propagon::DecimalSeparator()) {}
  ~TSeparatorGuard() { Propagon::SetDecimalSeparator(FSaved); }

private:
  char FSaved;
};

TEST(SECBroadening, WidthFollowsTheTrackBarOnALogScale) {
  // sigma = 10^(p/100) / 1000.
  EXPECT_DOUBLE_EQ(Plots::BroadeningSigma(100), 0.01);
  EXPECT_DOUBLE_EQ(Plots::BroadeningSigma(200), 0.1);
  EXPECT_NEAR(Plots::BroadeningSigma(1), 0.0010233, 1e-7); // 10^0.01 / 1000
  EXPECT_DOUBLE_EQ(Plots::BroadeningSigma(0), Plots::BroadeningSigma(1));
  EXPECT_DOUBLE_EQ(Plots::BroadeningSigma(999), 0.1);
}

TEST(SECBroadening, LabelShowsFourDecimalsWithTheLocaleSeparator) {
  TSeparatorGuard guard;
  Propagon::SetDecimalSeparator('.');
  EXPECT_EQ(Plots::BroadeningLabelText(Plots::BroadeningSigma(100)), "Broadening = 0.0100");
  EXPECT_EQ(Plots::BroadeningLabelText(Plots::BroadeningSigma(200)), "Broadening = 0.1000");
  EXPECT_EQ(Plots::BroadeningLabelText(Plots::BroadeningSigma(1)), "Broadening = 0.0010");
  Propagon::SetDecimalSeparator(',');
  EXPECT_EQ(Plots::BroadeningLabelText(0.01), "Broadening = 0,0100");
}

TEST(SECBroadening, AverageMarksReadTheRoundedAverages) {
  EXPECT_EQ(Plots::AverageMarkText(false, 12345.4), "Mn = 12345");
  EXPECT_EQ(Plots::AverageMarkText(true, 23455.6), "Mw = 23456");
}

TEST(SECAggregation, HeaviestChainFixesTheGridAndEachMassItsCell) {
  // Heaviest chain 25 000 g/mol: D = trunc(log10(25000) + 1.5) = trunc(5.898)
  // = 5, h = 0.005; 12 000 g/mol: log10 = 4.0792, / 0.005 = 815.8 -> cell 815.
  std::vector<double> w(25001, 0.0);
  w[12000] = 12000.0;
  w[25000] = 50000.0; // two chains
  TSECTrace trace;
  EXPECT_TRUE(trace.NeedsAggregation());
  ASSERT_TRUE(trace.AggregateMasses(w.data(), w.size()));
  EXPECT_FALSE(trace.NeedsAggregation());
  EXPECT_EQ(trace.Decades(), 5);
  EXPECT_DOUBLE_EQ(trace.X()[1000], 5.0);
  EXPECT_DOUBLE_EQ(trace.X()[815], 815 * 0.005);
  EXPECT_EQ(trace.Wg()[815], 12000.0);
  // 25 000: log10 = 4.3979 / 0.005 = 879.6 -> 879.
  EXPECT_EQ(trace.Wg()[879], 50000.0);
  EXPECT_EQ(std::accumulate(trace.Wg().begin(), trace.Wg().end(), 0.0), 62000.0);
}

TEST(SECAggregation, ConservesWeightAndMatchesTheCellFormulaForEveryMass) {
  // Masses 1 … 200 000 with random weights, and every exact power of ten,
  // where the cell boundary is most delicate.
  std::vector<double> w(200001, 0.0);
  std::mt19937 random(3);
  for (std::size_t j = 1; j < w.size(); ++j)
    if (random() % 3 == 0)
      w[j] = static_cast<double>(j) * static_cast<double>(1 + random() % 4);
  for (std::size_t j : {1u, 10u, 100u, 1000u, 10000u, 100000u})
    w[j] = static_cast<double>(j);
  w[0] = 123.0; // bin 0 has no place on a logarithmic grid
  TSECTrace trace;
  ASSERT_TRUE(trace.AggregateMasses(w.data(), w.size()));
  // D = trunc(log10(200000) + 1.5) = trunc(6.801) = 6, h = 0.006.
  ASSERT_EQ(trace.Decades(), 6);
  std::vector<double> expected(Plots::SECGridPoints, 0.0);
  const double inverseStep = 1.0 / 0.006;
  for (std::size_t j = 1; j < w.size(); ++j)
    expected[static_cast<std::size_t>(std::trunc(std::log10(static_cast<double>(j)) * inverseStep))] += w[j];
  for (int k = 0; k < Plots::SECGridPoints; ++k)
    ASSERT_NEAR(trace.Wg()[static_cast<std::size_t>(k)], expected[static_cast<std::size_t>(k)],
                1e-9 * expected[static_cast<std::size_t>(k)])
        << "cell " << k;
  const double total = std::accumulate(w.begin() + 1, w.end(), 0.0);
  EXPECT_NEAR(std::accumulate(trace.Wg().begin(), trace.Wg().end(), 0.0), total, 1e-12 * total);
}

TEST(SECAggregation, CellsBelowTheLightestChainStayEmpty) {
  std::vector<double> w(5001, 0.0);
  w[3000] = 3000.0;
  w[5000] = 5000.0;
  TSECTrace trace;
  ASSERT_TRUE(trace.AggregateMasses(w.data(), w.size()));
  // D = trunc(3.699 + 1.5) = 5, h = 0.005: 3000 -> trunc(3.4771 / 0.005) = 695.
  for (int k = 0; k < 695; ++k)
    ASSERT_EQ(trace.Wg()[static_cast<std::size_t>(k)], 0.0) << k;
  EXPECT_EQ(trace.Wg()[695], 3000.0);
}

TEST(SECAggregation, NoChainLeavesAnEmptyGrid) {
  std::vector<double> w(300, 0.0);
  w[0] = 5.0;
  TSECTrace trace;
  EXPECT_FALSE(trace.AggregateMasses(w.data(), w.size()));
  EXPECT_FALSE(trace.HasWeight());
  EXPECT_EQ(trace.Broaden(0.01), 0.0);
  for (double y : trace.Y())
    EXPECT_EQ(y, 0.0);
  EXPECT_FALSE(trace.AggregateMasses(w.data(), 0));
}

TEST(SECTrace, NormalisedToExactlyOneWithNothingBelowPoint100) {
  std::vector<double> w(30001, 0.0);
  std::mt19937 random(5);
  for (std::size_t j = 20; j < w.size(); j += 1 + random() % 50)
    w[j] = static_cast<double>(j);
  TSECTrace trace;
  ASSERT_TRUE(trace.AggregateMasses(w.data(), w.size()));
  for (int p : {1, 37, 100, 163, 200}) {
    ASSERT_GT(trace.Broaden(Plots::BroadeningSigma(p)), 0.0);
    const double maximum = *std::max_element(trace.Y().begin(), trace.Y().end());
    EXPECT_EQ(maximum, 1.0) << p;
    for (int k = 0; k < Plots::SECFirstComputed; ++k)
      ASSERT_EQ(trace.Y()[static_cast<std::size_t>(k)], 0.0) << k;
    for (double y : trace.Y())
      ASSERT_GE(y, 0.0);
  }
}

TEST(SECTrace, OneCellBroadensIntoAGaussianOfWidthSigma) {
  // All weight in the cell of 10 000 g/mol; D = trunc(4 + 1.5) = 5, h = 0.005,
  // cell trunc(4 / 0.005) = 800. With sigma = 0.01 = 2 cells the trace is
  // exp(-d^2 / 8) at d cells from 800: exp(-0.5) at d = 2, exp(-2) at d = 4.
  std::vector<double> w(10001, 0.0);
  w[10000] = 10000.0;
  TSECTrace trace;
  ASSERT_TRUE(trace.AggregateMasses(w.data(), w.size()));
  ASSERT_EQ(trace.Wg()[800], 10000.0);
  trace.Broaden(0.01);
  EXPECT_EQ(trace.Y()[800], 1.0);
  EXPECT_NEAR(trace.Y()[802], std::exp(-0.5), 1e-12);
  EXPECT_NEAR(trace.Y()[798], std::exp(-0.5), 1e-12);
  EXPECT_NEAR(trace.Y()[804], std::exp(-2.0), 1e-12);
  // Beyond 100 cells the kernel is cut off.
  EXPECT_EQ(trace.Y()[901], 0.0);
  // A wider Gaussian, sigma = 0.1 = 20 cells: exp(-0.5) at d = 20. The same
  // grid, another width: the weights are recomputed.
  trace.Broaden(0.1);
  EXPECT_NEAR(trace.Y()[820], std::exp(-0.5), 1e-12);
  trace.Broaden(0.01);
  EXPECT_NEAR(trace.Y()[802], std::exp(-0.5), 1e-12);
}

TEST(SECTrace, ElutionVolumeLabelsCountDownFromLPlus3) {
  const auto labels = Plots::ElutionVolumeLabels(6);
  ASSERT_EQ(labels.size(), 6u);
  // Label k at log10 M = k reads L + 3 - k = 9 - k.
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(labels[static_cast<std::size_t>(k)].first, k);
    EXPECT_EQ(labels[static_cast<std::size_t>(k)].second, std::to_string(9 - k));
  }
  EXPECT_TRUE(Plots::ElutionVolumeLabels(0).empty());
}

TEST(SECTrace, AggregationFromTheStateTakesAveragesAndClearsItsFlag) {
  Engine::TSimState s;
  s.MassHistogram.Begin(1001.0);
  s.MassHistogram.Add(1000.0, 1000.0);
  s.MassHistogram.Finish();
  s.Mn = 1000.0;
  s.Mw = 1000.0;
  s.NeedsAggregation = true;
  TSECTrace trace;
  ASSERT_TRUE(trace.AggregateFrom(s));
  EXPECT_FALSE(s.NeedsAggregation.load());
  EXPECT_EQ(trace.Mn(), 1000.0);
  EXPECT_EQ(trace.Decades(), 4); // trunc(3 + 1.5)
}

TEST(SECTrace, TableHoldsTheThousandShownPoints) {
  std::vector<double> w(10001, 0.0);
  w[10000] = 10000.0;
  TSECTrace trace;
  trace.AggregateMasses(w.data(), w.size());
  trace.Broaden(0.01);
  std::ostringstream out;
  Plots::WriteSECTable(out, trace);
  std::istringstream in(out.str());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  ASSERT_EQ(lines.size(), 1001u); // header + points 0 … 999
  EXPECT_EQ(lines[0], "log10_M\tsignal");
  EXPECT_EQ(lines[1], "0\t0");
  EXPECT_EQ(lines[801], "4\t1"); // point 800: X = 800 * 0.005, the peak
}

} // namespace

namespace {

TEST(SECTrace, SparseBinsAggregateAsTheWholeArrays) {
  // Weights over five decades, with empty stretches and a bin at mass 0.
  std::mt19937 random(5);
  std::vector<double> w(200001, 0.0);
  std::vector<Engine::TMassBin> bins;
  for (std::size_t j = 0; j < w.size(); j += 1 + random() % 900) {
    w[j] = static_cast<double>(j) + 0.25 * static_cast<double>(random() % 4);
    bins.push_back(Engine::TMassBin{static_cast<double>(j), 1.0, w[j]});
  }
  TSECTrace arrays, sparse;
  ASSERT_TRUE(arrays.AggregateMasses(w.data(), w.size()));
  ASSERT_TRUE(sparse.AggregateMasses(bins));
  EXPECT_EQ(sparse.Decades(), arrays.Decades());
  EXPECT_EQ(sparse.X(), arrays.X());
  EXPECT_EQ(sparse.Wg(), arrays.Wg());
  // Nothing at 1 g/mol or more: nothing to aggregate.
  EXPECT_FALSE(sparse.AggregateMasses(std::vector<Engine::TMassBin>{{0.0, 1.0, 0.5}}));
}

} // namespace
