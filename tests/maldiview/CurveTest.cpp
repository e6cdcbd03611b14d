// Building curves from table files: the axis, the nearest point, the labels,
// skipped peaks, damaged files, and the output tables.

#include "MaldiViewTestSupport.h"

#include "maldiview/uMALDISpectrum.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using namespace MaldiView;
using namespace MaldiViewTest;

// A count table of side n + 1 with `count` chains at the given cells.
TDistribData Counts(std::int32_t n, std::initializer_list<std::tuple<int, int, int>> cells) {
  TDistribData table;
  table.Resize(n);
  for (const auto& [a, b, count] : cells)
    for (int k = 0; k < count; ++k)
      table.Add(a, b);
  return table;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(MaldiCurve, AxisOfUpperLimit1000) {
  std::vector<double> axis;
  BuildAxis(1000.0, axis);
  // P = trunc(10 x 1000) = 10000: points 0.0, 0.1, ... 1000.0.
  ASSERT_EQ(axis.size(), 10001u);
  EXPECT_DOUBLE_EQ(axis.front(), 0.0);
  EXPECT_DOUBLE_EQ(axis[1], 0.1);
  EXPECT_DOUBLE_EQ(axis.back(), 1000.0);
  EXPECT_EQ(AxisHigh(12.34), 123);
}

TEST(MaldiCurve, PeaksLandOnTheNearestPointAndCountChains) {
  TTempDir dir;
  // Molecule (1, 0): main peak at 5.26 (100 %) and a second one at 6.26 (50 %);
  // 4 chains of it. trunc(52.6 + 0.5) = 53 -> m/z 5.3; 6.26 -> 63.
  WriteBytes(dir.File("t.tmp"), TableBytes(1, [](int i, int j) {
               return i == 1 && j == 0 ? TPeaks{{5.26, 100.0}, {6.26, 50.0}} : TPeaks{{1.0, 100.0}};
             }));
  TCurveData curve;
  std::int32_t n = 0;
  std::string error;
  ASSERT_TRUE(SetData_Isotopic(dir.File("t.tmp"), Counts(1, {{1, 0, 4}}), 100.0, 2, curve, n, error)) << error;
  EXPECT_EQ(n, 1);
  EXPECT_TRUE(curve.Active);
  ASSERT_EQ(curve.Intensities.size(), 1001u);
  // 4 chains x 100 % -> 4 chains at the main peak, 4 x 50 % -> 2 at the next.
  EXPECT_DOUBLE_EQ(curve.Intensities[53], 4.0);
  EXPECT_DOUBLE_EQ(curve.Intensities[63], 2.0);
  EXPECT_DOUBLE_EQ(curve.Intensities[52], 0.0);
  // Molecules without chains add nothing (the 1.0 peaks of the others).
  EXPECT_DOUBLE_EQ(curve.Intensities[10], 0.0);
  EXPECT_EQ(curve.Label(53), "1+0");
  EXPECT_EQ(curve.Label(63), ""); // not the most abundant peak
  EXPECT_EQ(curve.Labels.size(), 1u);
}

TEST(MaldiCurve, LabelNeedsTheLevelWhenTheMainPeakArrives) {
  TTempDir dir;
  // At m/z 50: molecule (0, 0) arrives first with 10 chains (below level 20,
  // no label), then (0, 1) with 15 more chains of its main peak: 25 >= 20,
  // labelled "0+1". At m/z 60: (1, 0) brings 5 chains at its main peak (no
  // label), then (1, 1) raises the point by 40 x 50 % = 20 with a minor
  // peak, which is no reason for a label either.
  WriteBytes(dir.File("t.tmp"), TableBytes(1, [](int i, int j) {
               if (i == 0)
                 return TPeaks{{50.0, 100.0}};
               if (j == 0)
                 return TPeaks{{60.0, 100.0}};
               return TPeaks{{59.0, 100.0}, {60.0, 50.0}};
             }));
  TCurveData curve;
  std::int32_t n = 0;
  std::string error;
  ASSERT_TRUE(SetData_Isotopic(dir.File("t.tmp"), Counts(1, {{0, 0, 10}, {0, 1, 15}, {1, 0, 5}, {1, 1, 40}}), 100.0,
                               20, curve, n, error))
      << error;
  EXPECT_DOUBLE_EQ(curve.Intensities[500], 25.0);
  EXPECT_EQ(curve.Label(500), "0+1");
  EXPECT_DOUBLE_EQ(curve.Intensities[600], 25.0);
  EXPECT_EQ(curve.Label(600), "");
  EXPECT_EQ(curve.Label(590), "1+1"); // 40 chains at its own main peak
}

TEST(MaldiCurve, PeaksBeyondTheLimitAndPlaceholdersAreSkipped) {
  TTempDir dir;
  // 99.97 -> trunc(999.7 + 0.5) = 1000 = P, kept; 100.02 > upper limit;
  // the placeholder -10000000 lies off the axis.
  WriteBytes(dir.File("t.tmp"), TableBytes(0, [](int, int) {
               return TPeaks{{-10000000.0, 0.0}, {99.97, 100.0}, {100.02, 60.0}};
             }));
  TCurveData curve;
  std::int32_t n = 0;
  std::string error;
  ASSERT_TRUE(SetData_Isotopic(dir.File("t.tmp"), Counts(0, {{0, 0, 3}}), 100.0, 2, curve, n, error)) << error;
  ASSERT_EQ(curve.Intensities.size(), 1001u);
  EXPECT_DOUBLE_EQ(curve.Intensities[1000], 3.0);
  double total = 0.0;
  for (double v : curve.Intensities)
    total += v;
  EXPECT_DOUBLE_EQ(total, 3.0);
}

TEST(MaldiCurve, MissingShortAndForeignFilesAreRefusedWithTheirName) {
  TTempDir dir;
  TCurveData curve;
  curve.Active = true;
  curve.Intensities = {7.0};
  std::int32_t n = 5;
  std::string error;
  const TDistribData counts = Counts(1, {{0, 0, 1}});

  EXPECT_FALSE(SetData_Isotopic(dir.File("absent.tmp"), counts, 10.0, 2, curve, n, error));
  EXPECT_NE(error.find("absent.tmp"), std::string::npos) << error;

  // A table whose last record was cut off.
  std::string bytes = TableBytes(1, [](int, int) { return TPeaks{{1.0, 100.0}}; });
  WriteBytes(dir.File("short.tmp"), bytes.substr(0, bytes.size() - 5));
  EXPECT_FALSE(SetData_Isotopic(dir.File("short.tmp"), counts, 10.0, 2, curve, n, error));
  EXPECT_NE(error.find("short.tmp\" is damaged"), std::string::npos) << error;

  // A table of n = 3 against counts up to 1: left from another calculation.
  WriteBytes(dir.File("foreign.tmp"), TableBytes(3, [](int, int) { return TPeaks{{1.0, 100.0}}; }));
  EXPECT_FALSE(SetData_Isotopic(dir.File("foreign.tmp"), counts, 10.0, 2, curve, n, error));
  EXPECT_NE(error.find("another calculation"), std::string::npos) << error;

  // Nothing of the curve was touched by the failures.
  EXPECT_EQ(curve.Intensities, std::vector<double>{7.0});
  EXPECT_EQ(n, 5);
}

// A spectrum whose tables were "prepared" by hand in a folder of its own.
struct TPreparedSpectrum {
  TTempDir Dir;
  TMALDISpectrum Spectrum;
  TPreparedSpectrum() {
    Spectrum.TempDir = Dir.Folder();
    Spectrum.UpperLimitValue = 50.0;
    Spectrum.N = 1;
    Spectrum.LabelLevel = 2;
    for (int c = 0; c < CurveCount; ++c) {
      // Curve c: molecule (1, 0) with 10 (c + 1) chains, main peak at 10 (c + 1) + 0.5.
      Spectrum.Tables[static_cast<std::size_t>(c)] = Counts(1, {{1, 0, 10 * (c + 1)}});
      WriteBytes(Dir.File(CurveDesigns[static_cast<std::size_t>(c)].FileName), TableBytes(1, [c](int, int) {
                   return TPeaks{{10.0 * (c + 1) + 0.5, 100.0}};
                 }));
    }
  }
};

TEST(MaldiCurve, AtrpBuildsFourCurvesAndTheOutputTables) {
  TPreparedSpectrum p;
  std::string error;
  ASSERT_TRUE(p.Spectrum.BuildCurves(Engine::ptATRP, error)) << error;
  EXPECT_EQ(p.Spectrum.ActiveCurves(), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(p.Spectrum.Axis.size(), 501u);
  // Curve 2 (I~=): 30 chains at m/z 30.5 (index 305), labelled.
  EXPECT_DOUBLE_EQ(p.Spectrum.Curves[2].Intensities[305], 30.0);
  EXPECT_EQ(p.Spectrum.Curves[2].Label(305), "1+0");

  ASSERT_TRUE(p.Spectrum.WriteSpectrumFile(p.Dir.File("maldi.tsv"), error)) << error;
  ASSERT_TRUE(p.Spectrum.WriteLabelsFile(p.Dir.File("maldi_labels.tsv"), error)) << error;
  const std::string spectrum = ReadText(p.Dir.File("maldi.tsv"));
  EXPECT_EQ(spectrum.substr(0, spectrum.find('\n')), "mz\tI~~I\tI~H\tI~=\tI~X");
  EXPECT_NE(spectrum.find("\n10.5\t10\t0\t0\t0\n"), std::string::npos);
  EXPECT_NE(spectrum.find("\n40.5\t0\t0\t0\t40\n"), std::string::npos);
  // Header plus 501 rows.
  EXPECT_EQ(std::count(spectrum.begin(), spectrum.end(), '\n'), 502);
  EXPECT_EQ(ReadText(p.Dir.File("maldi_labels.tsv")),
            "mz\tcurve\tlabel\n10.5\tI~~I\t1+0\n20.5\tI~H\t1+0\n30.5\tI~=\t1+0\n40.5\tI~X\t1+0\n");

  // A full disk (a file-size limit of 64 bytes, below both tables) is
  // reported and leaves the tables written before whole, beside no leftovers.
  const std::string labels = ReadText(p.Dir.File("maldi_labels.tsv"));
  const std::size_t entries = std::distance(std::filesystem::directory_iterator(p.Dir.Folder()),
                                            std::filesystem::directory_iterator());
  {
    TestSupport::TFileSizeLimit full(64);
    EXPECT_FALSE(p.Spectrum.WriteSpectrumFile(p.Dir.File("maldi.tsv"), error));
    EXPECT_EQ(error, "Unable to write to " + p.Dir.File("maldi.tsv"));
    EXPECT_FALSE(p.Spectrum.WriteLabelsFile(p.Dir.File("maldi_labels.tsv"), error));
  }
  EXPECT_EQ(ReadText(p.Dir.File("maldi.tsv")), spectrum);
  EXPECT_EQ(ReadText(p.Dir.File("maldi_labels.tsv")), labels);
  EXPECT_EQ(static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(p.Dir.Folder()),
                                                   std::filesystem::directory_iterator())),
            entries);
}

TEST(MaldiCurve, AShortTableStopsTheBuildAndKeepsTheCurvesBuiltBefore) {
  TPreparedSpectrum p;
  std::string error;
  ASSERT_TRUE(p.Spectrum.BuildCurves(Engine::ptATRP, error)) << error;
  // The I~= table is cut short before the next build (another program, a
  // full disk): curves 0 and 1 are rebuilt, 2 and 3 stay as they were but
  // are no longer shown.
  const std::string third = p.Dir.File("Maldi3.tmp");
  std::filesystem::resize_file(third, 10);
  p.Spectrum.LabelLevel = 100;
  TestSupport::TLogCapture log;
  EXPECT_FALSE(p.Spectrum.RebuildLabels(error));
  EXPECT_TRUE(log.HasPrefix("The MALDI table file \"" + third + "\" is damaged"));
  EXPECT_EQ(p.Spectrum.ActiveCurves(), (std::vector<int>{0, 1}));
  EXPECT_EQ(p.Spectrum.Curves[0].Label(105), ""); // rebuilt at level 100: 10 chains no longer labelled
  EXPECT_EQ(p.Spectrum.Curves[2].Label(305), "1+0"); // kept from before
  EXPECT_DOUBLE_EQ(p.Spectrum.Curves[3].Intensities[405], 40.0);
}

TEST(MaldiCurve, LivingBuildsOnlyI_X) {
  TPreparedSpectrum p;
  std::remove(p.Dir.File("Maldi1.tmp").c_str()); // not needed for a living run
  std::string error;
  ASSERT_TRUE(p.Spectrum.BuildCurves(Engine::ptLiving, error)) << error;
  EXPECT_EQ(p.Spectrum.ActiveCurves(), (std::vector<int>{3}));
  ASSERT_TRUE(p.Spectrum.WriteSpectrumFile(p.Dir.File("maldi.tsv"), error));
  const std::string spectrum = ReadText(p.Dir.File("maldi.tsv"));
  EXPECT_EQ(spectrum.substr(0, spectrum.find('\n')), "mz\tI~X");
  EXPECT_FALSE(p.Spectrum.WriteSpectrumFile(p.Dir.File("no-such-folder/maldi.tsv"), error));
  EXPECT_NE(error.find("Unable to write to"), std::string::npos);
}

} // namespace
