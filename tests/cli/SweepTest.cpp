// polykin-cli sweep and collect: one prepared file per combination, the job
// list run for real through GNU parallel, the Slurm array script checked and
// its body run as Slurm would, and the merged table.

#include "cli/uSweep.h"
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

using namespace CliTest;

// The value of a key in a parameter file, as written.
std::string KeyValue(const std::filesystem::path& file, const std::string& key) {
  for (std::string line : Lines(ReadText(file))) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  return "<absent>";
}

int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CliSweep, WritesOnePreparedFilePerCombinationAndSkipsTheInvalidOnes) {
  TTempDir dir;
  const std::string base = PreparedLiving(dir);
  const TProcessResult sweep = RunCli("sweep '" + base +
                                          "' --set General/InitiatorNumber=500,12.5 --set 'ChemicalRates/A*A=0.5,2,4'"
                                          " --seed 7 --out s",
                                      dir.Path());
  ASSERT_EQ(sweep.ExitCode, 0) << sweep.Err;
  EXPECT_NE(sweep.Out.find("Prepared 3 of 6 combinations"), std::string::npos) << sweep.Out;
  EXPECT_NE(sweep.Err.find("Skipped run_4 (General/InitiatorNumber=12.5, ChemicalRates/A*A=0.5): it does not validate"),
            std::string::npos)
      << sweep.Err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "s/run_4"));

  const TTable manifest = ReadTable(dir.Path() / "s/sweep.tsv");
  ASSERT_EQ(manifest.Header, (std::vector<std::string>{"run", "status", "seed", "replicas", "General/InitiatorNumber",
                                                       "ChemicalRates/A*A"}));
  ASSERT_EQ(manifest.Rows.size(), 6u);
  EXPECT_EQ(manifest.Rows[1], (std::vector<std::string>{"run_2", "prepared", "8", "1", "500", "2"}));
  EXPECT_EQ(manifest.Rows[5][1], "skipped");

  // Each file is what prepare writes from the base with the values set.
  const auto file = dir.Path() / "s/run_3/params.kpx";
  EXPECT_EQ(KeyValue(file, "A*A"), "4");
  EXPECT_EQ(KeyValue(file, "InitiatorNumber"), "500");
  EXPECT_EQ(KeyValue(file, "FileValid"), "1");
  std::filesystem::copy_file(base, dir.Path() / "by-hand.kpx");
  {
    std::string text = ReadText(dir.Path() / "by-hand.kpx");
    text.replace(text.find("InitiatorNumber=1000"), 20, "InitiatorNumber=500");
    text.replace(text.find("A*A=0.5"), 7, "A*A=4");
    std::ofstream(dir.Path() / "by-hand.kpx", std::ios::binary | std::ios::trunc) << text;
  }
  ASSERT_EQ(RunCli("prepare by-hand.kpx", dir.Path()).ExitCode, 0);
  EXPECT_EQ(ReadText(file), ReadText(dir.Path() / "by-hand.kpx"));

  const std::vector<std::string> jobs = Lines(ReadText(dir.Path() / "s/jobs.txt"));
  ASSERT_EQ(jobs.size(), 3u);
  EXPECT_NE(jobs[2].find(" run '" + (dir.Path() / "s/run_3/params.kpx").string() + "' --out '" +
                         (dir.Path() / "s/run_3/results").string() + "' --seed 9 --quiet"),
            std::string::npos)
      << jobs[2];
}

TEST(CliSweep, RunsThroughGnuParallelAndIsCollected) {
  if (Shell("command -v parallel >/dev/null") != 0) GTEST_SKIP() << "GNU parallel is not installed (apt install parallel)";
  TTempDir dir;
  const std::string base = PreparedLiving(dir);
  // A folder name the shell must quote.
  ASSERT_EQ(RunCli("sweep '" + base +
                       "' --set Components/InitiatorAmount=0.01,0.02 --set 'ChemicalRates/A*A=0.5,1' --replicas 2"
                       " --seed 3 --out \"it's a sweep\"",
                   dir.Path())
                .ExitCode,
            0);
  const std::filesystem::path sweep = dir.Path() / "it's a sweep";
  ASSERT_EQ(Shell("parallel -j 2 < " + Cli::ShellQuote((sweep / "jobs.txt").string()) + " >/dev/null 2>&1"), 0);
  const TProcessResult collect = RunCli("collect \"it's a sweep\"", dir.Path());
  ASSERT_EQ(collect.ExitCode, 0) << collect.Err;
  EXPECT_NE(collect.Out.find("Collected 4 of 4 runs"), std::string::npos);

  const TTable table = ReadTable(sweep / "collected.tsv");
  ASSERT_GE(table.Header.size(), 6u);
  EXPECT_EQ(table.Header[0], "run");
  EXPECT_EQ(table.Header[1], "Components/InitiatorAmount");
  EXPECT_EQ(table.Header[2], "ChemicalRates/A*A");
  EXPECT_EQ(table.Header[3], "checkpoint");
  const TTable run3 = ReadTable(sweep / "run_3/results/ensemble/checkpoints_mean.tsv");
  ASSERT_EQ(table.Rows.size(), 4 * run3.Rows.size());
  const std::size_t first = 2 * run3.Rows.size();
  EXPECT_EQ(table.Rows[first][0], "run_3");
  EXPECT_EQ(table.Rows[first][1], "0.02");
  EXPECT_EQ(table.Rows[first][2], "0.5");
  for (std::size_t i = 0; i < run3.Rows.size(); ++i)
    EXPECT_EQ(std::vector<std::string>(table.Rows[first + i].begin() + 3, table.Rows[first + i].end()), run3.Rows[i]);
  // More initiator, shorter chains: the swept value reached the run.
  const std::size_t last = run3.Rows.size() - 1;
  EXPECT_LT(table.Number(first + last, "DPn_mean"), table.Number(last, "DPn_mean"));
  // Replica seeds follow the runs: run 3 has 3 + 2 x 2 = 7 and 8.
  EXPECT_EQ(ReadTable(sweep / "run_3/results/ensemble/replicas.tsv").Rows[1][1], "8");
}

TEST(CliSweep, TheSlurmArrayScriptRunsItsLineAsSlurmWould) {
  TTempDir dir;
  const std::string base = PreparedLiving(dir);
  ASSERT_EQ(RunCli("sweep '" + base + "' --set 'ChemicalRates/A*A=0.5,1,2' --seed 1 --out s", dir.Path()).ExitCode, 0);
  const std::string script = (dir.Path() / "s/sweep.sbatch").string();
  EXPECT_EQ(Shell("bash -n '" + script + "'"), 0);
  const std::string text = ReadText(script);
  EXPECT_NE(text.find("#SBATCH --array=1-3\n"), std::string::npos) << text;
  // The environment of array task 2 (sbatch also sets the job ids).
  ASSERT_EQ(Shell("cd '" + dir.Path().string() +
                  "' && SLURM_ARRAY_TASK_ID=2 SLURM_ARRAY_JOB_ID=77 SLURM_JOB_ID=78 bash '" + script + "' >/dev/null"),
            0);
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "s/run_2/results/checkpoints.tsv"));
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "s/run_1/results"));
  EXPECT_EQ(ReadSummary(dir.Path() / "s/run_2/results/summary.json")["seed"], "2");
  EXPECT_EQ(Shell("SLURM_ARRAY_TASK_ID=4 bash '" + script + "' 2>/dev/null"), 1);
  EXPECT_NE(Shell("bash '" + script + "' 2>/dev/null"), 0);

  // collect: one run done, two missing, then one of them failed.
  TProcessResult collect = RunCli("collect s", dir.Path());
  EXPECT_EQ(collect.ExitCode, 4);
  EXPECT_NE(collect.Err.find("run_1: missing"), std::string::npos) << collect.Err;
  EXPECT_NE(collect.Err.find("2 of 3 runs missing or failed"), std::string::npos) << collect.Err;
  EXPECT_EQ(ReadTable(dir.Path() / "s/collected.tsv").Rows.size(), 3u);
  ASSERT_EQ(Shell("cd '" + dir.Path().string() + "' && SLURM_ARRAY_TASK_ID=3 bash '" + script + "' >/dev/null"), 0);
  {
    std::string summary = ReadText(dir.Path() / "s/run_3/results/summary.json");
    summary.replace(summary.find("\"completed\""), 11, "\"failed\"");
    std::ofstream(dir.Path() / "s/run_3/results/summary.json", std::ios::trunc) << summary;
  }
  collect = RunCli("collect s", dir.Path());
  EXPECT_EQ(collect.ExitCode, 4);
  EXPECT_NE(collect.Err.find("run_3: failed"), std::string::npos) << collect.Err;
}

TEST(CliSweep, BadRequestsAreRefusedAndLoseNothing) {
  TTempDir dir;
  const std::string base = PreparedLiving(dir);
  std::filesystem::create_directory(dir.Path() / "busy");
  std::ofstream(dir.Path() / "busy/keep.txt") << "earlier results";
  TProcessResult r = RunCli("sweep '" + base + "' --set 'ChemicalRates/A*A=1,2' --out busy", dir.Path());
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("is not an empty folder"), std::string::npos) << r.Err;
  EXPECT_EQ(ReadText(dir.Path() / "busy/keep.txt"), "earlier results");

  r = RunCli("sweep '" + base + "' --set Components/InitiatorAmout=1,2 --out a", dir.Path());
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("there is no key InitiatorAmout in [Components]"), std::string::npos) << r.Err;
  r = RunCli("sweep '" + base + "' --set 'ChemicalRates/A*A' --out b", dir.Path());
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("expected Section/Key=value1,value2"), std::string::npos) << r.Err;
  r = RunCli("sweep '" + base + "' --set 'ChemicalRates/A*A=1,,2' --out c", dir.Path());
  EXPECT_EQ(r.ExitCode, 1);
  r = RunCli("sweep '" + base + "' --set 'ChemicalRates/A*A=1' --set 'chemicalrates/a*a=2' --out d", dir.Path());
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("is given twice"), std::string::npos) << r.Err;
  r = RunCli("sweep '" + base + "' --set General/InitiatorNumber=12.5 --out e", dir.Path());
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("no combination validated"), std::string::npos) << r.Err;
  r = RunCli("sweep no-such.kpx --set 'ChemicalRates/A*A=1' --out f", dir.Path());
  EXPECT_EQ(r.ExitCode, 1);

  r = RunCli("collect busy", dir.Path());
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("is not a sweep folder"), std::string::npos) << r.Err;
}

TEST(CliSweep, ShellQuotingKeepsEveryCharacter) {
  EXPECT_EQ(Cli::ShellQuote("plain"), "'plain'");
  EXPECT_EQ(Cli::ShellQuote("it's"), "'it'\\''s'");
  EXPECT_EQ(Cli::ShellQuote("$HOME `x` \"y\""), "'$HOME `x` \"y\"'");
}

} // namespace
