// polykin-cli run, end to end: the program is started on the examples and on
// broken files exactly as a user starts it, and its outputs are checked
// against each other and against the chains it reports.

#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace CliTest;

const std::string CheckPointsHeader =
    "checkpoint\ttime_s\tinitiator\tdead_chains\tmonomer_A\tmonomer_B\tconversion\tA_centers\tB_centers\tAA\tAB\tBA\tBB"
    "\tDPn\tDPw\tDPz\tdispersity\tMn\tMw";

// Molar masses of the examples' files (g/mol): initiator end groups C3H8O,
// ε-caprolactone C6H10O2, L-lactide C6H8O4, as the files store them.
constexpr double MI = 60.0951, MA = 114.1426, MB = 144.1256;

TEST(CliRun, HomopolymerExampleWritesEveryOutput) {
  TTempDir dir;
  const TProcessResult run = RunCli("run '" + Example("living-caprolactone.kpx") + "' --out out --seed 11", dir.Path());
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const std::filesystem::path out = dir.Path() / "out";

  // The log on the standard output and in log.txt, with the seed used.
  EXPECT_EQ(ReadText(out / "log.txt"), run.Out);
  EXPECT_NE(run.Out.find("Random Seed: 11\n"), std::string::npos);
  EXPECT_NE(run.Out.find("Check Point: 40; Time:= 21600\n"), std::string::npos);
  EXPECT_NE(run.Out.find("The Window Can be Closed!\n"), std::string::npos);
  EXPECT_EQ(run.Err, "") << "no terminal: no progress bar";

  // One row per check point from 0 (41 in the file).
  const TTable cp = ReadTable(out / "checkpoints.tsv");
  ASSERT_EQ(Lines(ReadText(out / "checkpoints.tsv"))[0], CheckPointsHeader);
  ASSERT_EQ(cp.Rows.size(), 41u);
  EXPECT_EQ(cp.Rows[0], (std::vector<std::string>{"0", "0", "1000", "0", "100000", "0", "0", "0", "0", "0", "0", "0",
                                                  "0", "0", "0", "0", "1", "0", "0"}));
  EXPECT_EQ(cp.Rows[1][1], "10") << "the scheduled time of check point 1";
  EXPECT_EQ(cp.Rows[40][1], "21600");
  for (std::size_t k = 1; k < cp.Rows.size(); ++k) {
    // Homopolymer: every dyad is AA, every centre an A* (the initiator ends
    // are all used up once the conversion is a few percent: 1000 chains take
    // their first unit long before 1 % of 100000 monomers are gone).
    EXPECT_EQ(cp.Number(k, "AA"), 1.0);
    EXPECT_EQ(cp.Number(k, "A_centers") + cp.Number(k, "initiator"), 1000.0);
    EXPECT_DOUBLE_EQ(cp.Number(k, "conversion"), 1.0 - cp.Number(k, "monomer_A") / 100000.0);
    EXPECT_GE(cp.Number(k, "conversion"), cp.Number(k - 1, "conversion"));
    EXPECT_GE(cp.Number(k, "dispersity"), 1.0);
    EXPECT_GE(cp.Number(k, "Mw"), cp.Number(k, "Mn"));
  }
  // First-order consumption, -ln(1 - x) = kp [I]0 t with kp [I]0 = 0.5 x 0.01
  // = 0.005 1/s: x = 1 - exp(-0.05) = 0.0488 at 10 s (5000 attempts, each
  // using a free mer with probability = free fraction). The spread of the
  // count is about sqrt(5000 x 0.05) = 16 mers, 1.6e-4 in conversion; the
  // tolerance is six times that.
  EXPECT_NEAR(cp.Number(1, "conversion"), 1.0 - std::exp(-0.05), 0.001);

  // Final DP histogram: DP 0 to the largest, all 1000 chains.
  const TTable dp = ReadTable(out / "dp_distribution.tsv");
  ASSERT_EQ(dp.Header, (std::vector<std::string>{"DP", "chains"}));
  double chains = 0, units = 0;
  for (std::size_t i = 0; i < dp.Rows.size(); ++i) {
    ASSERT_EQ(std::stoi(dp.Rows[i][0]), static_cast<int>(i));
    chains += std::stod(dp.Rows[i][1]);
    units += i * std::stod(dp.Rows[i][1]);
  }
  EXPECT_EQ(chains, 1000.0);
  EXPECT_NE(dp.Rows.back()[1], "0") << "ends at the largest DP";
  EXPECT_EQ(units, 100000.0 - cp.Number(40, "monomer_A"));

  // Mass histogram: the non-empty bins only; a homopolymer chain of DP n
  // weighs 60.0951 + 114.1426 n and sits in bin Trunc of that.
  const TTable mass = ReadTable(out / "mass_distribution.tsv");
  ASSERT_EQ(mass.Header, (std::vector<std::string>{"mass", "number", "weight"}));
  double counted = 0;
  for (std::size_t i = 0; i < mass.Rows.size(); ++i) {
    const double bin = mass.Number(i, "mass"), number = mass.Number(i, "number"), weight = mass.Number(i, "weight");
    ASSERT_GT(number, 0.0);
    const double each = weight / number;
    EXPECT_EQ(std::floor(each), bin);
    const double n = std::round((each - MI) / MA);
    EXPECT_NEAR(each, MI + MA * n, 1e-6);
    counted += number;
  }
  EXPECT_EQ(counted, 1000.0 - std::stod(dp.Rows[0][1]));

  const auto summary = ReadSummary(out / "summary.json");
  EXPECT_EQ(summary.at("process_type"), "0");
  EXPECT_EQ(summary.at("chains"), "1000");
  EXPECT_EQ(summary.at("checkpoints"), "41");
  EXPECT_EQ(summary.at("seed"), "11");
  EXPECT_EQ(summary.at("status"), "\"completed\"");
  // 21600 s at 0.002 s per attempt: 10.8 million attempts (the last one
  // crosses 21600 by rounding: the count is within one of 10800000).
  EXPECT_NEAR(std::stod(summary.at("steps")), 10800000.0, 1.0);
  EXPECT_GT(std::stod(summary.at("steps_per_second")), 0.0);
  EXPECT_EQ(std::stod(summary.at("Mn")), cp.Number(40, "Mn"));
  EXPECT_EQ(std::stod(summary.at("DPn")), cp.Number(40, "DPn"));
  EXPECT_EQ(std::stod(summary.at("conversion")), cp.Number(40, "conversion"));
  EXPECT_FALSE(std::filesystem::exists(out / "chains.tsv")) << "only with --chains";
}

TEST(CliRun, CopolymerChainsAgreeWithEveryTable) {
  TTempDir dir;
  const TProcessResult run =
      RunCli("run '" + Example("living-caprolactone-lactide.kpx") + "' --out out --seed 3 --chains --quiet", dir.Path());
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(run.Out, "") << "--quiet";
  const std::filesystem::path out = dir.Path() / "out";
  EXPECT_NE(ReadText(out / "log.txt").find("Check Point: 30; Time:= 7200\n"), std::string::npos);

  const TTable chains = ReadTable(out / "chains.tsv");
  ASSERT_EQ(chains.Header, (std::vector<std::string>{"chain", "DP", "head", "sequence"}));
  ASSERT_EQ(chains.Rows.size(), 1000u);
  std::map<int, int> histogram;
  double a = 0, b = 0, sumM = 0, sumM2 = 0, grown = 0;
  double dyads[4] = {0, 0, 0, 0};
  for (std::size_t i = 0; i < chains.Rows.size(); ++i) {
    const std::vector<std::string>& row = chains.Rows[i];
    ASSERT_EQ(row.size(), 4u);
    EXPECT_EQ(std::stoi(row[0]), static_cast<int>(i) + 1);
    const std::string& sequence = row[3];
    ASSERT_EQ(static_cast<int>(sequence.size()), std::stoi(row[1]));
    EXPECT_EQ(row[2], "0") << "living chains never write their head byte";
    ++histogram[std::stoi(row[1])];
    double nB = 0;
    for (std::size_t p = 0; p < sequence.size(); ++p) {
      ASSERT_TRUE(sequence[p] == 'A' || sequence[p] == 'B');
      nB += sequence[p] == 'B';
      if (p > 0) dyads[2 * (sequence[p - 1] == 'B') + (sequence[p] == 'B')] += 1;
    }
    a += static_cast<double>(sequence.size()) - nB;
    b += nB;
    if (!sequence.empty()) {
      const double m = MI + nB * MB + (static_cast<double>(sequence.size()) - nB) * MA;
      sumM += m;
      sumM2 += m * m;
      ++grown;
    }
  }

  // The last check point's record is the final state (the run ended there).
  const TTable cp = ReadTable(out / "checkpoints.tsv");
  ASSERT_EQ(cp.Rows.size(), 31u);
  const std::size_t last = 30;
  EXPECT_EQ(a, 49999.0 - cp.Number(last, "monomer_A")) << "monomer A conserved";
  EXPECT_EQ(b, 50002.0 - cp.Number(last, "monomer_B")) << "monomer B conserved";
  const double pairs = dyads[0] + dyads[1] + dyads[2] + dyads[3];
  const char* names[4] = {"AA", "AB", "BA", "BB"};
  for (int j = 0; j < 4; ++j) EXPECT_NEAR(cp.Number(last, names[j]), dyads[j] / pairs, 1e-12) << names[j];
  // Mn and Mw of the chains (living: initiator end groups + units).
  EXPECT_NEAR(cp.Number(last, "Mn"), sumM / grown, 1e-9 * sumM / grown);
  EXPECT_NEAR(cp.Number(last, "Mw"), sumM2 / sumM, 1e-9 * sumM2 / sumM);

  const TTable dp = ReadTable(out / "dp_distribution.tsv");
  for (const auto& [d, n] : histogram) EXPECT_EQ(std::stoi(dp.Rows.at(static_cast<std::size_t>(d))[1]), n) << "DP " << d;
  // Centres: every grown chain ends in A or B, the rest are bare initiator.
  EXPECT_EQ(cp.Number(last, "A_centers") + cp.Number(last, "B_centers"), grown);
  EXPECT_EQ(cp.Number(last, "initiator"), 1000.0 - grown);
}

TEST(CliRun, TheSameSeedGivesByteIdenticalResults) {
  TTempDir dir;
  const std::string file = "'" + Example("living-caprolactone-lactide.kpx") + "'";
  ASSERT_EQ(RunCli("run " + file + " --out first --seed 77 --chains --quiet", dir.Path()).ExitCode, 0);
  ASSERT_EQ(RunCli("run " + file + " --out second --seed 77 --chains --quiet", dir.Path()).ExitCode, 0);
  ASSERT_EQ(RunCli("run " + file + " --out other --seed 78 --chains --quiet", dir.Path()).ExitCode, 0);
  const std::filesystem::path first = dir.Path() / "first", second = dir.Path() / "second";
  for (const char* name : {"checkpoints.tsv", "dp_distribution.tsv", "mass_distribution.tsv", "chains.tsv"}) {
    EXPECT_FALSE(ReadText(first / name).empty()) << name;
    EXPECT_EQ(ReadText(first / name), ReadText(second / name)) << name;
  }
  EXPECT_NE(ReadText(first / "chains.tsv"), ReadText(dir.Path() / "other" / "chains.tsv"));

  // The summary differs only in its timings.
  auto withoutTimings = [](std::map<std::string, std::string> s) {
    for (const char* key : {"wall_seconds", "events_per_second", "steps_per_second"}) EXPECT_EQ(s.erase(key), 1u) << key;
    return s;
  };
  EXPECT_EQ(withoutTimings(ReadSummary(first / "summary.json")), withoutTimings(ReadSummary(second / "summary.json")));
}

TEST(CliRun, RefusesFilesAsTheMainWindowDoes) {
  TTempDir dir;
  // No true validity marker: the main window's message, exit code 2.
  TProcessResult run = RunCli("run '" + Fixture("run-invalid-marker.kpx") + "' --out a", dir.Path());
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_NE(run.Err.find("\"" + Fixture("run-invalid-marker.kpx") + "\"\nis not a Valid Parameters File!"),
            std::string::npos)
      << run.Err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "a")) << "nothing is created for a refused file";

  // Stored requirement above the free memory: the report and the warning,
  // exit code 3, no run.
  run = RunCli("run '" + Fixture("run-memory-too-high.kpx") + "' --out b", dir.Path());
  EXPECT_EQ(run.ExitCode, 3);
  EXPECT_NE(run.Err.find("To Low Memory for the Specified Set of Parameters!"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("Try to Adjust Parameters or Close Some Programs!"), std::string::npos);
  EXPECT_NE(run.Out.find("Required Memory: 8 789 062 500 000 000 kB"), std::string::npos) << run.Out;
  EXPECT_EQ(run.Out.find("Simulation Thread Created Succesfully"), std::string::npos);

  // A file that is not there.
  run = RunCli("run nowhere.kpx", dir.Path());
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_NE(run.Err.find("nowhere.kpx"), std::string::npos);

  // Command-line mistakes are "any other error" too.
  EXPECT_EQ(RunCli("run", dir.Path()).ExitCode, 1);
  EXPECT_EQ(RunCli("run '" + Example("living-caprolactone.kpx") + "' --seed -4", dir.Path()).ExitCode, 1);
  EXPECT_EQ(RunCli("", dir.Path()).ExitCode, 1);
}

TEST(CliRun, AFailedRunStillWritesItsResultsAndExitsWithOne) {
  TTempDir dir;
  const TProcessResult run = RunCli("run '" + Fixture("run-unreadable-rate.kpx") + "' --out out --seed 1", dir.Path());
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_NE(run.Out.find("Simulation Error: Rate constant \"A*A\" is missing or not a number\n"), std::string::npos)
      << run.Out;
  EXPECT_NE(run.Out.find("Simulation Finished at: "), std::string::npos);
  EXPECT_NE(run.Err.find("Rate constant \"A*A\" is missing or not a number"), std::string::npos);
  const auto summary = ReadSummary(dir.Path() / "out" / "summary.json");
  EXPECT_EQ(summary.at("status"), "\"failed\"");
  EXPECT_EQ(summary.at("checkpoints"), "0") << "the kernel failed before recording check point 0";
  EXPECT_EQ(Lines(ReadText(dir.Path() / "out" / "checkpoints.tsv")).size(), 1u) << "the header only";
}

TEST(CliRun, WritesIntoTheDefaultFolderAndReportsATickSeed) {
  TTempDir dir;
  const TProcessResult run = RunCli("run '" + Example("living-caprolactone.kpx") + "' --quiet", dir.Path());
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const std::filesystem::path out = dir.Path() / "living-caprolactone-results";
  ASSERT_TRUE(std::filesystem::exists(out / "summary.json"));
  // Without --seed the tick counter seeds the run; the seed is reported both
  // in the log and in the summary, so the run can be repeated.
  const std::string seed = ReadSummary(out / "summary.json").at("seed");
  EXPECT_NE(ReadText(out / "log.txt").find("Random Seed: " + seed + "\n"), std::string::npos);
}

TEST(CliRun, HelpDocumentsOptionsOutputsAndExitCodes) {
  TTempDir dir;
  const TProcessResult help = RunCli("run --help", dir.Path());
  EXPECT_EQ(help.ExitCode, 0);
  for (const char* text : {"--out", "--seed", "--chains", "--quiet", "checkpoints.tsv", "dp_distribution.tsv",
                           "mass_distribution.tsv", "summary.json", "chains.tsv", "log.txt", "steps_per_second",
                           "Exit codes", "progress bar"})
    EXPECT_NE(help.Out.find(text), std::string::npos) << text;
  EXPECT_NE(RunCli("--help", dir.Path()).Out.find("run"), std::string::npos);
}

} // namespace
