#include "params/uErrors.h"
#include "params/uMemoryCheck.h"
#include "params/uParamFile.h"
#include "params/uParamSetting.h"
#include "tests/params/RecordingReporter.h"
#include "tests/params/TempDir.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

namespace {

using namespace Params;
using ParamsTest::TRecordingReporter;

// Fixes the free memory the check sees, and the 32-on-64 flag.
class MemoryCheck : public ::testing::Test {
protected:
  void SetFree(std::int64_t bytes) {
    SetAvailableMemorySource([bytes] { return bytes; });
  }
  void TearDown() override {
    SetAvailableMemorySource({});
    SetWow64Detected(false);
  }
  TRecordingReporter FReporter;
  TestSupport::TLogCapture FLog;
};

TEST_F(MemoryCheck, RequiredEqualToAvailableIsEnoughOneByteMoreIsNot) {
  SetFree(1048576000);  // 1 024 000 kB
  EXPECT_FALSE(CheckMemory(1048576000, FReporter));
  EXPECT_TRUE(FReporter.Messages.empty());
  ASSERT_EQ(FLog.Lines().size(), 1u);
  EXPECT_EQ(FLog.Lines()[0],
            "Available Memory: 1 024 000 kB\r\nRequired Memory: 1 024 000 kB\r\nRemained Memory: 0 kB");

  EXPECT_TRUE(CheckMemory(1048576001, FReporter));
  // Remained: -1 byte / 1024 truncates toward zero, so 0 kB still.
  const std::string text =
      "Available Memory: 1 024 000 kB\r\nRequired Memory: 1 024 000 kB\r\nRemained Memory: 0 kB\r\n"
      "To Low Memory for the Specified Set of Parameters!\r\nTry to Adjust Parameters or Close Some Programs!";
  ASSERT_EQ(FReporter.Messages.size(), 1u);
  EXPECT_EQ(FReporter.Messages[0], "warning: " + text);
  EXPECT_EQ(FLog.Lines().back(), text);
}

TEST_F(MemoryCheck, ThirtyTwoBitProgramOnSixGigabytesSeesTwoGigabytes) {
  SetFree(6LL * 1024 * 1024 * 1024);
  SetWow64Detected(true);
  EXPECT_FALSE(CheckMemory(1000000000, FReporter));
  // 2147483647 / 1024 = 2097151.99 -> 2 097 151; 1e9 / 1024 = 976562.5 -> 976 562;
  // (2147483647 - 1e9) / 1024 = 1120589.5 -> 1 120 589.
  EXPECT_EQ(FLog.Lines().back(),
            "Available Memory: 2 097 151 kB\r\nRequired Memory: 976 562 kB\r\nRemained Memory: 1 120 589 kB");
}

TEST_F(MemoryCheck, SixtyFourBitCountsAreNotCappedAndNegativeRemaindersShow) {
  // 3 GiB free, 5 GiB required: -2 GiB = -2097152 kB remain.
  EXPECT_EQ(MemoryReport(3221225472LL, 5368709120LL),
            "Available Memory: 3 145 728 kB\r\nRequired Memory: 5 242 880 kB\r\nRemained Memory: -2 097 152 kB\r\n"
            "To Low Memory for the Specified Set of Parameters!\r\nTry to Adjust Parameters or Close Some Programs!");
  // 1000 - 3047 = -2047 bytes: -1.99 kB truncated toward zero is -1.
  EXPECT_NE(MemoryReport(1000, 3047).find("Remained Memory: -1 kB"), std::string::npos);
}

TEST_F(MemoryCheck, StoredRequirementIsReadWholeAbove2GiB) {
  ParamsTest::TTempDir dir;
  const auto name = dir.File("big.kpx");
  ParamsTest::WriteBytes(name, "[SimulationParameters]\r\nRequiredMemory=3221225472\r\n");
  SetFree(4LL * 1024 * 1024 * 1024);
  TParameterFile file(name);
  EXPECT_FALSE(CheckRequiredMemory(file, FReporter));
  // 3221225472 / 1024 = 3145728 kB; a 32-bit reading would have wrapped to -1073741824.
  EXPECT_NE(FLog.Lines().back().find("Required Memory: 3 145 728 kB"), std::string::npos);

  SetFree(3221225471LL);
  EXPECT_TRUE(CheckRequiredMemory(file, FReporter));

  ParamsTest::WriteBytes(name, "[SimulationParameters]\r\nRequiredMemory=lots\r\n");
  EXPECT_THROW(CheckRequiredMemory(file, FReporter), Propagon::EConvertError);
}

TEST_F(MemoryCheck, AStoredRequirementBelowTheFilesOwnEstimateIsNotTrusted) {
  ParamsTest::TTempDir dir;
  const auto name = dir.File("edited.kpx");
  // 10^5 chains and 10^6 monomer molecules; the file claims 1 byte (edited
  // by hand after its validation). Free memory just below the estimate.
  ParamsTest::WriteBytes(name, "[General]\r\nProcessType=0\r\n[SimulationParameters]\r\nRequiredMemory=1\r\n"
                               "InitiatorNumber=100000\r\nMonomerANumber=1000000\r\n[CheckingPoints]\r\n0=0\r\n1=10\r\n");
  const std::int64_t estimate = EstimateRequiredMemory(0, 100000, 1000000, 0, 1);
  ASSERT_GT(estimate, 1024);
  SetFree(estimate - 1);
  TParameterFile file(name);
  EXPECT_EQ(EstimateRequiredMemoryOfFile(file), estimate);
  EXPECT_TRUE(CheckRequiredMemory(file, FReporter));
  ASSERT_GE(FLog.Lines().size(), 2u);
  EXPECT_NE(FLog.Lines()[0].find("The stored memory requirement (0 kB) is below the estimate"), std::string::npos)
      << FLog.Lines()[0];
  EXPECT_NE(FLog.Lines().back().find("To Low Memory"), std::string::npos);

  // A stored value at or above the estimate stands as it is, without a word.
  const std::size_t before = FLog.Lines().size();
  ParamsTest::WriteBytes(name, "[General]\r\nProcessType=0\r\n[SimulationParameters]\r\nInitiatorNumber=100000\r\n"
                               "MonomerANumber=1000000\r\nRequiredMemory=" + std::to_string(estimate + 5) + "\r\n");
  SetFree(estimate + 5);
  EXPECT_FALSE(CheckRequiredMemory(TParameterFile(name), FReporter));
  ASSERT_EQ(FLog.Lines().size(), before + 1);
  EXPECT_EQ(FLog.Lines().back().find("The stored"), std::string::npos);

  // Numbers the run refuses with its own message count as none here.
  ParamsTest::WriteBytes(name, "[SimulationParameters]\r\nInitiatorNumber=-7\r\nMonomerANumber=99999999999\r\n"
                               "MonomerBNumber=5\r\n");
  EXPECT_EQ(EstimateRequiredMemoryOfFile(TParameterFile(name)), EstimateRequiredMemory(0, 0, 0, 5, 0));
}

// A control-group tree as the kernel shows it, under a test folder.
class CgroupMemory : public ::testing::Test {
protected:
  void Write(const std::string& relative, const std::string& text) {
    const std::filesystem::path file = FDir.Path() / relative;
    std::filesystem::create_directories(file.parent_path());
    ParamsTest::WriteBytes(file.string(), text);
  }
  std::string Root() const { return FDir.Path().string(); }
  ParamsTest::TTempDir FDir;
};

constexpr std::int64_t GiB = 1024LL * 1024 * 1024;

TEST_F(CgroupMemory, Version2TakesTheTightestLimitAlongTheAncestorsLessTheWorkingSet) {
  Write("cgroup.controllers", "memory\n");
  // The slice allows 2 GiB, of which 1 GiB is used, a quarter of it page cache
  // that can be dropped: 2 - 0.75 = 1.25 GiB left. The group itself has no limit.
  Write("user.slice/memory.max", std::to_string(2 * GiB) + "\n");
  Write("user.slice/memory.current", std::to_string(GiB) + "\n");
  Write("user.slice/memory.stat", "anon 1\nfile 2\ninactive_file " + std::to_string(GiB / 4) + "\nactive_file 3\n");
  Write("user.slice/run.scope/memory.max", "max\n");
  Write("user.slice/run.scope/memory.current", "4096\n");
  EXPECT_EQ(CgroupAvailableMemory("0::/user.slice/run.scope\n", Root()), 2 * GiB - 3 * GiB / 4);

  // A tighter limit below it wins.
  Write("user.slice/run.scope/memory.max", std::to_string(GiB / 2) + "\n");
  EXPECT_EQ(CgroupAvailableMemory("0::/user.slice/run.scope\n", Root()), GiB / 2 - 4096);

  // Used beyond the limit: nothing left, never a negative amount.
  Write("user.slice/run.scope/memory.current", std::to_string(GiB) + "\n");
  EXPECT_EQ(CgroupAvailableMemory("0::/user.slice/run.scope\n", Root()), 0);

  // No limit anywhere: -1.
  EXPECT_EQ(CgroupAvailableMemory("0::/\n", Root()), -1);
  EXPECT_EQ(CgroupAvailableMemory("", Root()), -1);
}

TEST_F(CgroupMemory, Version1InAContainerAndTheHybridLayout) {
  // The kernel names the host's path; the container sees its own group at
  // the mount's root. 2 GiB limit, 1 GiB used, 256 MiB inactive cache.
  Write("memory/memory.limit_in_bytes", std::to_string(2 * GiB) + "\n");
  Write("memory/memory.usage_in_bytes", std::to_string(GiB) + "\n");
  Write("memory/memory.stat", "cache 5\ninactive_file 1\ntotal_inactive_file " + std::to_string(GiB / 4) + "\n");
  const std::string self = "5:devices:/docker/abc\n4:memory:/docker/abc\n1:cpu,cpuacct:/docker/abc\n0::/\n";
  EXPECT_EQ(CgroupAvailableMemory(self, Root()), 2 * GiB - 3 * GiB / 4);

  // v1's "no limit" is 2^63 rounded down to a page.
  Write("memory/memory.limit_in_bytes", "9223372036854771712\n");
  EXPECT_EQ(CgroupAvailableMemory(self, Root()), -1);

  // Hybrid: v2 mounted at "unified" beside the v1 controllers.
  Write("unified/app/memory.max", std::to_string(GiB) + "\n");
  Write("unified/app/memory.current", "0\n");
  EXPECT_EQ(CgroupAvailableMemory("4:memory:/docker/abc\n0::/app\n", Root()), GiB);

  // Garbage in the files or the list reads as no limit.
  Write("unified/app/memory.max", "lots\n");
  EXPECT_EQ(CgroupAvailableMemory("4:memory:/docker/abc\n0::/app\nno colons here\n", Root()), -1);
}

TEST_F(MemoryCheck, SystemReportsFreeMemoryAndA64BitBuildIsNotWow64) {
  EXPECT_GT(AvailablePhysicalMemory(), 0);
  EXPECT_FALSE(IsWow64());
  EXPECT_TRUE(FLog.Lines().empty());  // nothing logged when not detected
}

} // namespace
