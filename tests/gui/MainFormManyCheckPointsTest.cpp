// A parameter file with a million check points in the desktop program: it
// loads at once, its run starts, Stop ends it and the window may close.

#include "tests/gui/ShellTestSupport.h"

#include "params/uNumberFormat.h"
#include "params/uParamFile.h"

#include <QAction>
#include <QElapsedTimer>
#include <QSignalSpy>

#include <cstdio>

namespace {

using ShellTest::TMainFormFixture;
using ShellTest::WaitUntil;

class MainFormManyCheckPoints : public TMainFormFixture {};

TEST_F(MainFormManyCheckPoints, AMillionCheckPointsLoadTheRunStopsAndTheWindowCloses) {
  Propagon::TSeparatorGuard dot('.', ',');
  const QString file = CopyFixture("living-small.kpx");
  {
    Params::TParameterFile ini(file.toStdString());
    std::vector<std::string> lines;
    ini.ReadCheckingPoints(lines);
    ASSERT_FALSE(lines.empty());
    const double last = Propagon::StrToFloat(lines.back());
    constexpr int Count = 1000000;
    lines.assign(Count, "");
    for (int n = 0; n < Count; ++n)
      lines[static_cast<std::size_t>(n)] = Propagon::FormatFixed(last * n / (Count - 1), 6, 4);
    ini.WriteCheckingPoints(lines);
  }
  Shell::TMainForm& f = Form();
  QSignalSpy ended(&f, &Shell::TMainForm::RunEnded);
  QElapsedTimer timer;
  timer.start();
  FDialogs.OpenFileAnswer = file;
  f.aOpenParam->trigger();
  const qint64 opened = timer.elapsed();
  ASSERT_TRUE(f.aPerformSimulation->isEnabled());

  timer.restart();
  f.aPerformSimulation->trigger();
  // Reading the list on the simulation thread took hours (a scan of the file
  // per key); the bounds leave room for a loaded machine.
  ASSERT_TRUE(WaitUntil([&] { return f.LogLines().filter("Check Point: 1; ").size() == 1; }, 20000));
  const qint64 firstPoint = timer.elapsed();
  std::printf("1e6 check points: opened in %lld ms, first check point after %lld ms\n",
              static_cast<long long>(opened), static_cast<long long>(firstPoint));
  EXPECT_LT(opened, 10000);

  f.aStopSimulation->trigger();
  ASSERT_TRUE(WaitUntil([&] { return ended.count() == 1; }, 20000)) << "Stop ends the run";
  EXPECT_TRUE(f.FormCloseQuery()) << "the window may close";
}

} // namespace
