#include "params/uErrors.h"
#include "params/uMemoryCheck.h"
#include "params/uParamFile.h"
#include "tests/params/RecordingReporter.h"
#include "tests/params/TempDir.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

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

TEST_F(MemoryCheck, SystemReportsFreeMemoryAndA64BitBuildIsNotWow64) {
  EXPECT_GT(AvailablePhysicalMemory(), 0);
  EXPECT_FALSE(IsWow64());
  EXPECT_TRUE(FLog.Lines().empty());  // nothing logged when not detected
}

} // namespace
