#include "params/uLogMessage.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

namespace {

TEST(LogMessage, LinesReachTheInstalledSinkInOrder) {
  TestSupport::TLogCapture capture;
  Propagon::LogMessage("Reading Memory Requirements...");
  Propagon::LogMessage("Allocate Memory ...");
  ASSERT_EQ(capture.Lines().size(), 2u);
  EXPECT_EQ(capture.IndexOf("Reading Memory Requirements..."), 0);
  EXPECT_EQ(capture.IndexOf("Allocate Memory ..."), 1);
}

TEST(LogMessage, GuardRestoresThePreviousSinkAndNestedSinksDoNotLeak) {
  TestSupport::TLogCapture outer;
  {
    TestSupport::TLogCapture inner;
    Propagon::LogMessage("inner line");
    EXPECT_TRUE(inner.Contains("inner line"));
  }
  Propagon::LogMessage("outer line");
  EXPECT_FALSE(outer.Contains("inner line"));
  EXPECT_TRUE(outer.Contains("outer line"));
}

TEST(LogMessage, WithoutSinkLinesAreDropped) {
  Propagon::TLogSink* previous = Propagon::SetLogSink(nullptr);
  Propagon::LogMessage("nobody listens");  // must not crash
  EXPECT_EQ(Propagon::SetLogSink(previous), nullptr);
}

} // namespace
