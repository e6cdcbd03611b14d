// The main window's run control under stress: many Perform / Pause / Resume /
// Stop / Clear cycles at random moments, then closing. Each run starts once
// and ends once, and the window always ends in the state its buttons show.

#include "engine/uSimThread.h"
#include "params/uNumberFormat.h"
#include "tests/gui/ShellTestSupport.h"

#include <QAction>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

#include <random>

namespace {

using ShellTest::TMainFormFixture;
using ShellTest::WaitUntil;

class MainFormStress : public TMainFormFixture {};

TEST_F(MainFormStress, RapidRunControlCyclesStartAndEndEachRunOnce) {
  Propagon::TSeparatorGuard separators('.', ',');
  Shell::TMainForm& f = Form();
  f.FormShow();
  FDialogs.OpenFileAnswer = CopyFixture("living-small.kpx");
  f.aOpenParam->trigger();
  ASSERT_TRUE(f.aPerformSimulation->isEnabled());

  QSignalSpy started(&f, &Shell::TMainForm::RunStarted);
  QSignalSpy ended(&f, &Shell::TMainForm::RunEnded);
  std::mt19937 random(424242); // fixed: a failure can be repeated
  std::uniform_int_distribution<int> action(0, 5), millis(0, 4);
  for (int cycle = 0; cycle < 20; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    ASSERT_TRUE(f.aPerformSimulation->isEnabled());
    f.aPerformSimulation->trigger();
    ASSERT_EQ(started.count(), cycle + 1); // the previous run has ended: this one starts at once
    for (int step = 0; step < 4; ++step) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, millis(random));
      if (!f.SimulationRunning())
        break;
      switch (action(random)) {
      case 0:
      case 1:
        if (f.aPauseSimulation->isEnabled())
          f.aPauseSimulation->trigger(); // pause, or resume a pause
        break;
      case 2:
        QThread::msleep(static_cast<unsigned long>(millis(random)));
        break;
      default:
        break;
      }
    }
    // Stop at whatever moment this is (the run may even have finished).
    if (f.aStopSimulation->isEnabled())
      f.aStopSimulation->trigger();
    // Closing is refused while the last step is still to come.
    if (cycle % 3 == 0 && f.SimulationRunning()) {
      EXPECT_FALSE(f.FormCloseQuery());
    }
    if (cycle % 2 == 1)
      f.aClear->trigger(); // waits for the run's end, then clears
    ASSERT_TRUE(WaitUntil([&] { return !f.SimulationRunning(); }));
    ASSERT_TRUE(WaitUntil([&] { return ended.count() == started.count(); }));
    EXPECT_EQ(started.count(), cycle + 1);
    EXPECT_EQ(ended.count(), cycle + 1) << "the end-of-run handler runs exactly once per run";
    EXPECT_FALSE(Engine::SimulationRunning());
    if (cycle % 2 == 1) {
      // Clear disables Perform until a file is opened again.
      EXPECT_FALSE(f.aPerformSimulation->isEnabled());
      f.aOpenParam->trigger();
    }
  }
  // The window is usable and may be closed.
  EXPECT_TRUE(f.aPerformSimulation->isEnabled());
  EXPECT_TRUE(f.FormCloseQuery());
}

} // namespace
