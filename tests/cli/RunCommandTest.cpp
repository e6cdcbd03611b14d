// The pieces of `run` called in-process: the DP averages of the check-point
// table, the number format of the output files, the summary's JSON, and an
// interrupted run (the Ctrl+C path).

#include "cli/uRunCommand.h"
#include "cli/uRunResults.h"
#include "engine/uSimThread.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/support/FileSizeLimit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <sstream>

namespace {

using namespace CliTest;

TEST(CliResults, DPAveragesAsTheDPChartComputesThem) {
  // n(10) = 3, n(20) = 1: S0 = 4, S1 = 50, S2 = 700, S3 = 11000, so
  // DPn = 12.5, DPw = 14, DPz = 11000/700 = 15.714..., dispersity 14/12.5 = 1.12.
  Engine::TIntegerArray histogram(100, 0);
  histogram[10] = 3;
  histogram[20] = 1;
  histogram[0] = 500; // chains without units do not count
  const Cli::TDPAverages a = Cli::DPAverages(histogram);
  EXPECT_EQ(a.DPn, 12.5);
  EXPECT_EQ(a.DPw, 14.0);
  EXPECT_DOUBLE_EQ(a.DPz, 11000.0 / 700.0);
  EXPECT_DOUBLE_EQ(a.Dispersity, 1.12);

  // No chain grown: 0, 0, 0 and a dispersity of 1, not 0/0.
  const Cli::TDPAverages none = Cli::DPAverages(Engine::TIntegerArray(100, 0));
  EXPECT_EQ(none.DPn, 0.0);
  EXPECT_EQ(none.DPz, 0.0);
  EXPECT_EQ(none.Dispersity, 1.0);

  // The largest run allowed, 2^31 - 1 units in chains of DP 32767, stays
  // exact in the 64-bit sums: 65537 chains of DP 32767 give DPz = 32767.
  Engine::TIntegerArray large(32768, 0);
  large[32767] = 65537;
  const Cli::TDPAverages big = Cli::DPAverages(large);
  EXPECT_EQ(big.DPz, 32767.0);
  EXPECT_EQ(big.Dispersity, 1.0);
}

TEST(CliResults, NumbersReadBackExactlyWithAPoint) {
  for (double value : {0.0, 0.1, 1.0 / 3.0, 21600.0, 1e-5, 2.77773919806669E-5, 12985.577407507519, 1e300})
    EXPECT_EQ(std::stod(Cli::FormatNumber(value)), value) << Cli::FormatNumber(value);
  EXPECT_EQ(Cli::FormatNumber(0.1), "0.1");
  EXPECT_EQ(Cli::FormatNumber(100.0), "100");
  EXPECT_EQ(Cli::FormatNumber(std::numeric_limits<double>::quiet_NaN()), "nan");

  // JSON has no NaN: such a figure becomes null; texts are escaped.
  TTempDir dir;
  Cli::TRunSummary summary;
  summary.Conversion = std::numeric_limits<double>::quiet_NaN();
  summary.Status = "say \"stopped\"";
  Cli::WriteSummary(dir.Path() / "summary.json", summary);
  const auto values = ReadSummary(dir.Path() / "summary.json");
  EXPECT_EQ(values.at("conversion"), "null");
  EXPECT_EQ(values.at("steps_per_second"), "0") << "no division by a zero wall time";
  EXPECT_NE(ReadText(dir.Path() / "summary.json").find("\"status\": \"say \\\"stopped\\\"\""), std::string::npos);
  EXPECT_THROW(Cli::WriteSummary(dir.Path() / "missing" / "summary.json", summary), std::runtime_error);
}

TEST(CliRunCommand, InterruptStopsTheRunAndKeepsItsResults) {
  // A run that would take hours; the interrupt (what Ctrl+C sets) is
  // already raised, so the command stops it as the Stop button does: the
  // living kernel records the state reached under check point 1 and ends.
  TTempDir dir;
  std::atomic<bool> interrupt{true};
  Cli::TRunOptions options;
  options.File = Fixture("run-endless.kpx");
  options.OutDir = (dir.Path() / "out").string();
  options.Seed = 5;
  options.Interrupt = &interrupt;
  std::ostringstream out, err;
  EXPECT_EQ(Cli::RunParameterFile(options, out, err), Cli::ExitInterrupted);
  EXPECT_FALSE(Engine::SimulationRunning());
  const std::string log = out.str();
  const auto terminated = log.find("Simulation Terminated by User!\nComplete the Last Step...\n\n");
  ASSERT_NE(terminated, std::string::npos) << log;
  EXPECT_LT(terminated, log.find("Check Point: 1; Time:= 1E0012\n"));
  EXPECT_NE(log.find("Simulation Finished at: "), std::string::npos);

  const auto summary = ReadSummary(dir.Path() / "out" / "summary.json");
  EXPECT_EQ(summary.at("status"), "\"stopped\"");
  EXPECT_EQ(summary.at("checkpoints"), "2");
  EXPECT_EQ(summary.at("seed"), "5");
  const TTable cp = ReadTable(dir.Path() / "out" / "checkpoints.tsv");
  ASSERT_EQ(cp.Rows.size(), 2u);
  // Recorded under check point 1 with its scheduled time (shortest form).
  EXPECT_EQ(cp.Rows[1][1], "1e+12");
}

TEST(CliRunCommand, ATableThatCannotBeWrittenLeavesTheOthersAndTheLog) {
  // Room for 64 KiB per file: the smoothed curve of the caprolactone example
  // (about 280 KB, a window of 21 g/mol around each of some 300 chain masses)
  // cannot be written, every other table is below 20 KB. A whole run, so the
  // sizes do not depend on how fast the machine is. The run reports the
  // failure, and every other table and the log are still written (no earlier
  // results stand in that folder).
  TTempDir dir;
  const std::filesystem::path outDir = dir.Path() / "out";
  Cli::TRunOptions options;
  options.File = Example("living-caprolactone.kpx");
  options.OutDir = outDir.string();
  options.Seed = 5;
  std::ostringstream out, err;
  {
    TestSupport::TFileSizeLimit full(64 << 10);
    EXPECT_EQ(Cli::RunParameterFile(options, out, err), Cli::ExitError);
  }
  EXPECT_NE(err.str().find("Unable to write to " + (outDir / "mass_distribution_smoothed.tsv").string()),
            std::string::npos)
      << err.str();
  for (const char* name : {"checkpoints.tsv", "dp_distribution.tsv", "mass_distribution.tsv", "sec.tsv",
                           "summary.json", "log.txt"})
    EXPECT_TRUE(std::filesystem::is_regular_file(outDir / name)) << name;
  EXPECT_NE(ReadText(outDir / "log.txt").find("Writing mass_distribution_smoothed.tsv Failed: "), std::string::npos);
  EXPECT_NE(ReadText(outDir / "log.txt").find("The Window Can be Closed!"), std::string::npos);

  // A folder under a table's name in the output folder holds someone's
  // files: the folder, replaced whole by a run, is refused and kept.
  std::filesystem::remove_all(outDir);
  std::filesystem::create_directories(outDir / "sec.tsv");
  std::ofstream(outDir / "sec.tsv" / "keep") << "x";
  std::ostringstream out2, err2;
  EXPECT_EQ(Cli::RunParameterFile(options, out2, err2), Cli::ExitError);
  EXPECT_NE(err2.str().find("holds \"sec.tsv\""), std::string::npos) << err2.str();
  EXPECT_EQ(ReadText(outDir / "sec.tsv" / "keep"), "x");
}

TEST(CliRunCommand, RefusesAnUnwritableOutputFolder) {
  TTempDir dir;
  const std::filesystem::path blocker = dir.Path() / "file";
  std::ofstream(blocker) << "not a folder";
  Cli::TRunOptions options;
  options.File = Example("living-caprolactone.kpx");
  options.OutDir = (blocker / "out").string();
  std::ostringstream out, err;
  EXPECT_EQ(Cli::RunParameterFile(options, out, err), Cli::ExitError);
  EXPECT_NE(err.str().find("Cannot create the output folder"), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), "");
}

} // namespace
