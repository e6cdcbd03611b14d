// polykin-cli run --replicas: independent seeds in separate processes, and
// the ensemble tables of what they recorded.

#include "cli/uEnsemble.h"
#include "cli/uReplicas.h"
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace {

using namespace CliTest;

TEST(CliReplicas, AReplicaIsTheSingleRunWithItsSeed) {
  TTempDir dir;
  const std::string file = PreparedLiving(dir);
  const TProcessResult replicas = RunCli("run '" + file + "' --replicas 3 --jobs 2 --seed 40 --out ens", dir.Path());
  ASSERT_EQ(replicas.ExitCode, 0) << replicas.Err;
  EXPECT_NE(replicas.Out.find("seeds 40 to 42"), std::string::npos) << replicas.Out;
  const TProcessResult single = RunCli("run '" + file + "' --seed 41 --out single --quiet", dir.Path());
  ASSERT_EQ(single.ExitCode, 0) << single.Err;
  for (const char* table : {"checkpoints.tsv", "dp_distribution.tsv", "mass_distribution.tsv", "sec.tsv"})
    EXPECT_EQ(ReadText(dir.Path() / "ens/replica_2" / table), ReadText(dir.Path() / "single" / table)) << table;
  EXPECT_NE(ReadText(dir.Path() / "ens/replica_1/checkpoints.tsv"), ReadText(dir.Path() / "ens/replica_2/checkpoints.tsv"));

  const TTable list = ReadTable(dir.Path() / "ens/ensemble/replicas.tsv");
  ASSERT_EQ(list.Rows.size(), 3u);
  EXPECT_EQ(list.Rows[1], (std::vector<std::string>{"2", "41", "0", "completed", "replica_2"}));

  // The mean table against the replicas' own rows.
  const TTable mean = ReadTable(dir.Path() / "ens/ensemble/checkpoints_mean.tsv");
  ASSERT_EQ(mean.Header.size(), 3u + 2u * 17u);
  EXPECT_EQ(mean.Header[3], "initiator_mean");
  EXPECT_EQ(mean.Header[4], "initiator_sem");
  std::vector<double> conversion;
  for (const char* r : {"replica_1", "replica_2", "replica_3"})
    conversion.push_back(ReadTable(dir.Path() / "ens" / r / "checkpoints.tsv").Number(1, "conversion"));
  const Cli::TMeanError expected = Cli::MeanAndError(conversion);
  EXPECT_DOUBLE_EQ(mean.Number(1, "conversion_mean"), expected.Mean);
  EXPECT_DOUBLE_EQ(mean.Number(1, "conversion_sem"), expected.Error);
  EXPECT_GT(expected.Error, 0.0);
  EXPECT_EQ(mean.Number(1, "replicas"), 3.0);

  // The pooled DP histogram holds the chains of all three.
  double chains = 0.0;
  const TTable dp = ReadTable(dir.Path() / "ens/ensemble/dp_distribution.tsv");
  for (std::size_t i = 0; i < dp.Rows.size(); ++i) chains += dp.Number(i, "chains");
  EXPECT_EQ(chains, 3.0 * 1000.0);
}

TEST(CliReplicas, TheStandardErrorShrinksAsOneOverTheRootOfTheReplicas) {
  TTempDir dir;
  const std::string file = PreparedLiving(dir);
  const auto sem = [&](int n, const std::string& out) {
    const TProcessResult run =
        RunCli("run '" + file + "' --replicas " + std::to_string(n) + " --jobs 2 --seed 1000 --out " + out, dir.Path());
    if (run.ExitCode != 0) throw std::runtime_error(run.Err);
    // Summed over the check points after 0, for a steadier figure.
    const TTable mean = ReadTable(dir.Path() / out / "ensemble/checkpoints_mean.tsv");
    double sum = 0.0;
    for (std::size_t i = 1; i < mean.Rows.size(); ++i) sum += mean.Number(i, "conversion_sem") + mean.Number(i, "DPn_sem") / 100.0;
    return sum;
  };
  const double few = sem(6, "six");
  const double many = sem(24, "many");
  // sqrt(24 / 6) = 2; the spread of a standard deviation from 6 samples is about 30 %.
  EXPECT_GT(few / many, 1.3);
  EXPECT_LT(few / many, 3.0);
}

TEST(CliReplicas, FailedReplicasAreReportedAndTheFileIsCheckedFirst) {
  TTempDir dir;
  const TProcessResult failed =
      RunCli("run '" + Fixture("run-unreadable-rate.kpx") + "' --replicas 2 --seed 1 --out bad", dir.Path());
  EXPECT_EQ(failed.ExitCode, 1);
  EXPECT_NE(failed.Err.find("Error: replica 1 (seed 1) exited with code 1"), std::string::npos) << failed.Err;
  EXPECT_NE(failed.Err.find("The simulation ended early"), std::string::npos) << failed.Err;
  const TTable list = ReadTable(dir.Path() / "bad/ensemble/replicas.tsv");
  ASSERT_EQ(list.Rows.size(), 2u);
  EXPECT_EQ(list.Rows[0][3], "failed");

  const TProcessResult invalid = RunCli("run '" + Fixture("run-invalid-marker.kpx") + "' --replicas 2", dir.Path());
  EXPECT_EQ(invalid.ExitCode, 2);
  EXPECT_NE(invalid.Err.find("is not a Valid Parameters File!"), std::string::npos);
  EXPECT_EQ(RunCli("run '" + Fixture("run-endless.kpx") + "' --replicas 0", dir.Path()).ExitCode, 1);
  EXPECT_EQ(RunCli("run '" + Fixture("run-endless.kpx") + "' --replicas 2 --jobs 0", dir.Path()).ExitCode, 1);
  const TProcessResult jobsAlone = RunCli("run '" + Fixture("run-endless.kpx") + "' --jobs 2", dir.Path());
  EXPECT_EQ(jobsAlone.ExitCode, 1);
  EXPECT_NE(jobsAlone.Err.find("--jobs requires --replicas"), std::string::npos) << jobsAlone.Err;
}

TEST(CliReplicas, AStopReachesEveryRunningReplica) {
  TTempDir dir;
  // Only the parent gets the signal (no terminal): it passes the stop on.
  const std::string command = "'" PROPAGON_CLI "' run '" + Fixture("run-endless.kpx") +
                              "' --replicas 3 --jobs 2 --seed 5 --out stopped >/dev/null 2>'" + (dir / "err") + "'";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::chdir(dir.Path().c_str());
    ::execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  ::kill(child, SIGINT);
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  // A replica run that does not end fails the test instead of hanging it.
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(20)) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      FAIL() << "the replicas did not stop";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130) << ReadText(dir.Path() / "err");
  const TTable list = ReadTable(dir.Path() / "stopped/ensemble/replicas.tsv");
  ASSERT_EQ(list.Rows.size(), 3u);
  EXPECT_EQ(list.Rows[0][3], "stopped");
  EXPECT_EQ(list.Rows[1][3], "stopped");
  EXPECT_EQ(list.Rows[2][3], "not run");
  // Each stopped replica wrote its results up to the stop.
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "stopped/replica_1/checkpoints.tsv"));
}

TEST(CliReplicas, OneReplicaIsAnEnsembleOfOne) {
  TTempDir dir;
  const std::string file = PreparedLiving(dir);
  const TProcessResult run = RunCli("run '" + file + "' --replicas 1 --seed 3 --out one", dir.Path());
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const TTable mean = ReadTable(dir.Path() / "one/ensemble/checkpoints_mean.tsv");
  EXPECT_EQ(mean.Rows.at(1).at(mean.Column("conversion_sem")), "nan");
  EXPECT_EQ(mean.Number(1, "conversion_mean"), ReadTable(dir.Path() / "one/replica_1/checkpoints.tsv").Number(1, "conversion"));
}

TEST(CliEnsemble, MeanAndErrorOfFewValues) {
  const Cli::TMeanError two = Cli::MeanAndError({1.0, 3.0});
  EXPECT_DOUBLE_EQ(two.Mean, 2.0);
  EXPECT_DOUBLE_EQ(two.Error, 1.0); // s = sqrt(2), / sqrt(2)
  EXPECT_TRUE(std::isnan(Cli::MeanAndError({5.0}).Error));
  EXPECT_EQ(Cli::ReplicaFolderName(0, 12), "replica_01");
  EXPECT_EQ(Cli::ReplicaFolderName(11, 12), "replica_12");
  EXPECT_EQ(Cli::ReplicaSeed(4294967295u, 1), 0u);
}

TEST(CliEnsemble, ATableWithAMissingFieldIsRefusedWithItsLine) {
  TTempDir dir;
  std::ofstream(dir / "t.tsv") << "a\tb\n1\t2\n3\n";
  try {
    Cli::ReadTextTable(dir.Path() / "t.tsv");
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("line 3: 1 fields, the header has 2"), std::string::npos) << e.what();
  }
  EXPECT_THROW(Cli::WriteEnsemble({}, dir.Path() / "e"), std::runtime_error);
}

} // namespace
