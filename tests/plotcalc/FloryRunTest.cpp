// The curves of a most-probable (Flory) distribution: first one written
// into the histograms directly, then the chains of a free-radical run
// terminated by disproportionation at low conversion. For that
// distribution the weight fraction per decade, the SEC trace, peaks at
// M = 2 Mn = Mw, and Mw / Mn = 2.

#include "engine/uDataStruct.h"
#include "plots/calc/uMassDistrCalc.h"
#include "plots/calc/uSECTrace.h"
#include "tests/support/CurveTable.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/FloryRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// log10 M at the highest point of the trace.
double PeakLog10(const Plots::TSECTrace& trace) {
  const auto& y = trace.Y();
  const auto top = std::max_element(y.begin(), y.end());
  return trace.X()[static_cast<std::size_t>(top - y.begin())];
}

TEST(FloryDistribution, WrittenIntoTheHistogramsPeaksAtMw) {
  // Chains of DP n with probability (1 - p) p^(n-1), p = 1 - 1/150 (DPn =
  // 150), of styrene (104.15 g/mol) with one AIBN fragment (82.1 g/mol):
  // M = 104.15 n + 82.1, Mn about 15 700 g/mol. One million chains, counts
  // rounded per DP, DP up to 40 DPn.
  const double p = 1.0 - 1.0 / 150.0;
  const std::size_t maxDP = 6000;
  std::vector<double> number(static_cast<std::size_t>(maxDP * 104.15 + 200), 0.0), weight(number.size(), 0.0);
  double s0 = 0, s1 = 0, s2 = 0;
  for (std::size_t n = 1; n < maxDP; ++n) {
    const double chains = std::round(1e6 * (1.0 - p) * std::pow(p, static_cast<double>(n - 1)));
    const double m = 104.15 * static_cast<double>(n) + 82.1;
    const std::size_t bin = static_cast<std::size_t>(m);
    number[bin] += chains;
    weight[bin] += chains * m;
    s0 += chains;
    s1 += chains * m;
    s2 += chains * m * m;
  }
  const double mn = s1 / s0, mw = s2 / s1;
  // Discrete, without end groups, Mw / Mn = 1 + p = 1.993; the end group
  // lowers it a little and rounding the counts trims the tail.
  ASSERT_NEAR(mw / mn, 1.99, 0.02);

  Plots::TSECTrace trace;
  ASSERT_TRUE(trace.AggregateMasses(weight.data(), weight.size()));
  trace.SetAverages(mn, mw);
  trace.Broaden(Plots::BroadeningSigma(Plots::BroadeningInitial));
  EXPECT_NEAR(PeakLog10(trace), std::log10(mw), 0.05);
  // 2 Mn is Mw for this distribution: the peak is well off Mn (0.3 decade).
  EXPECT_GT(PeakLog10(trace) - std::log10(mn), 0.2);

  // The smoothed weight distribution per g/mol peaks near Mn instead
  // (w(M) ~ M exp(-M/Mn) has its maximum at M = Mn).
  Plots::TMassDistrCalc calc;
  calc.SetHistograms(number, weight, mn, mw);
  calc.Smooth(Plots::ResolutionMaximum); // 100 g/mol: one DP per window
  const auto& sw = calc.SW();
  const auto top = std::max_element(sw.begin(), sw.end()) - sw.begin();
  EXPECT_NEAR(static_cast<double>(top), mn, 0.1 * mn);
}

// Free radical at low conversion with DPn 150 (constants and their
// derivation in tests/support/FloryRun.h): the chains form a most-probable
// distribution.
class TFreeRadicalRun : public ::testing::Test {
protected:
  void SetUp() override {
    TestSupport::SimulateFloryFreeRadical();
    Engine::TSimState& s = Engine::SimState();
    s.NeedsAggregation = false;
    s.CalcMassDistributions();
  }
  void TearDown() override { Engine::SimState().FreeAll(); }
};

TEST_F(TFreeRadicalRun, GivesAMostProbableDistributionAndItsTrace) {
  Engine::TSimState& s = Engine::SimState();
  ASSERT_TRUE(Plots::MassHistogramsReady(s));
  // The chain statistics flag the rebuilt histograms for the SEC trace.
  EXPECT_TRUE(s.NeedsAggregation.load());
  const double dispersity = s.Mw / s.Mn;
  EXPECT_NEAR(dispersity, 2.0, 0.1) << "Mn " << s.Mn << " Mw " << s.Mw;
  // DPn near the kinetic chain length 150 (104 g/mol units plus end groups).
  EXPECT_NEAR(s.Mn / 104.15, 150.0, 30.0);

  Plots::TSECTrace trace;
  ASSERT_TRUE(trace.AggregateFrom(s));
  EXPECT_FALSE(s.NeedsAggregation.load());
  // The top of a Flory trace is flat (1.3 % lower 0.05 decade off the
  // peak), while at sigma = 0.01 (two cells) the trace of ten thousand chains
  // still shows their cell-by-cell scatter of a few per cent, which decides
  // where its highest point falls. The widest setting, sigma = 0.1 (twenty
  // cells), averages the scatter out and shows the peak of the distribution.
  trace.Broaden(Plots::BroadeningSigma(Plots::BroadeningMaximum));
  EXPECT_NEAR(PeakLog10(trace), std::log10(s.Mw), 0.05) << "Mw " << s.Mw;
  // The default width still shows the peak near Mw, well above Mn.
  trace.Broaden(Plots::BroadeningSigma(Plots::BroadeningInitial));
  EXPECT_NEAR(PeakLog10(trace), std::log10(s.Mw), 0.15) << "Mw " << s.Mw;
  EXPECT_GT(PeakLog10(trace), std::log10(s.Mn) + 0.15);
}

TEST_F(TFreeRadicalRun, CurveFilesHoldTheChartsTables) {
  Engine::TSimState& s = Engine::SimState();
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("propagon-curves-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string sec = (folder / "sec.tsv").string();
  const std::string smoothed = (folder / "mass_distribution_smoothed.tsv").string();
  EXPECT_EQ(Plots::SaveSECTrace(s, sec), Plots::TCurveFileResult::Written);
  EXPECT_EQ(Plots::SaveSmoothedDistributions(s, smoothed), Plots::TCurveFileResult::Written);

  std::ifstream secIn(sec);
  std::string line;
  int lines = 0;
  double peakX = 0.0;
  std::getline(secIn, line);
  EXPECT_EQ(line, "log10_M\tsignal");
  while (std::getline(secIn, line)) {
    ++lines;
    double x = 0, y = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf\t%lf", &x, &y), 2) << line;
    if (y == 1.0)
      peakX = x;
  }
  EXPECT_EQ(lines, 1000);
  // Track-bar position 100, sigma = 0.01: the peak near Mw (see above).
  EXPECT_NEAR(peakX, std::log10(s.Mw), 0.15);

  // The table is the window's curve at its initial resolution, on every
  // mass bin but the last (the arrays hold b + 1 bins), from fewer rows.
  std::ifstream smoothIn(smoothed, std::ios::binary);
  const std::string table((std::istreambuf_iterator<char>(smoothIn)), std::istreambuf_iterator<char>());
  EXPECT_EQ(table.substr(0, table.find('\n')), "mass\tnumber\tweight");
  Plots::TMassDistrCalc window;
  ASSERT_TRUE(window.TakeHistograms(s));
  window.Smooth(Plots::ResolutionInitial);
  const std::size_t shown = static_cast<std::size_t>(s.MassHistogram.AxisLength) - 1;
  const TestSupport::TCurveOfTable curve = TestSupport::CurveOfTable(table, shown, window.GridStep());
  ASSERT_TRUE(curve.Readable);
  EXPECT_EQ(curve.SN, std::vector<double>(window.SN().begin(), window.SN().begin() + static_cast<long>(shown)));
  EXPECT_EQ(curve.SW, std::vector<double>(window.SW().begin(), window.SW().begin() + static_cast<long>(shown)));
  EXPECT_LT(curve.Mass.size(), shown);

  // A full disk (a 1 KiB file-size limit; both tables are larger) is
  // reported, and the files written before stay whole beside no leftovers.
  const auto readAll = [](const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  const std::string secBefore = readAll(sec);
  const std::string smoothedBefore = readAll(smoothed);
  ASSERT_GT(secBefore.size(), 1024u);
  ASSERT_GT(smoothedBefore.size(), 1024u);
  {
    TestSupport::TFileSizeLimit full(1024);
    EXPECT_EQ(Plots::SaveSECTrace(s, sec), Plots::TCurveFileResult::WriteFailed);
    EXPECT_EQ(Plots::SaveSmoothedDistributions(s, smoothed), Plots::TCurveFileResult::WriteFailed);
  }
  EXPECT_EQ(readAll(sec), secBefore);
  EXPECT_EQ(readAll(smoothed), smoothedBefore);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 2);

  // A file that cannot be created is reported, not taken for success.
  EXPECT_EQ(Plots::SaveSECTrace(s, (folder / "missing" / "sec.tsv").string()), Plots::TCurveFileResult::WriteFailed);
  std::filesystem::remove_all(folder);

  // Nothing to show: the header alone, so scripts find the file all the same.
  s.FreeAll();
  std::filesystem::create_directories(folder);
  EXPECT_EQ(Plots::SaveSECTrace(s, sec), Plots::TCurveFileResult::NothingToShow);
  EXPECT_EQ(Plots::SaveSmoothedDistributions(s, smoothed), Plots::TCurveFileResult::NothingToShow);
  std::ifstream emptySec(sec);
  std::string all((std::istreambuf_iterator<char>(emptySec)), std::istreambuf_iterator<char>());
  EXPECT_EQ(all, "log10_M\tsignal\n");
  std::ifstream emptySmoothed(smoothed);
  all.assign((std::istreambuf_iterator<char>(emptySmoothed)), std::istreambuf_iterator<char>());
  EXPECT_EQ(all, "mass\tnumber\tweight\n");
  std::filesystem::remove_all(folder);
}

} // namespace
