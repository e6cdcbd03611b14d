// The desktop program meets SIGTERM and SIGHUP as the user's Stop and close:
// a run is stopped and completes its step, the window closes with its log
// saved, and the program quits with 128 + the signal. And a damaged
// libMaldi.so beside the program does not take it down at start-up.

#include "params/uNumberFormat.h"
#include "shell/uTerminationSignals.h"
#include "tests/gui/ShellTestSupport.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <csignal>
#include <cstdlib>
#include <optional>

namespace {

using namespace ShellTest;

class TerminationSignals : public TMainFormFixture {
protected:
  void SetUp() override {
    TMainFormFixture::SetUp();
    FSeparators = std::make_unique<Propagon::TSeparatorGuard>('.', ',');
  }
  void TearDown() override {
    FSignals.reset();
    TMainFormFixture::TearDown();
    FSeparators.reset();
  }
  void Install() {
    FSignals = std::make_unique<Shell::TTerminationSignals>(Form(), [this](int code) { FQuitCode = code; });
  }
  QString SavedLog() {
    QFile file(FExeDir + "polykin.log");
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
      return {};
    return QString::fromUtf8(file.readAll());
  }
  std::unique_ptr<Propagon::TSeparatorGuard> FSeparators;
  std::unique_ptr<Shell::TTerminationSignals> FSignals;
  std::optional<int> FQuitCode;
};

TEST_F(TerminationSignals, TermDuringAPausedRunStopsItThenClosesAndQuitsWith143) {
  Shell::TMainForm& f = Form();
  Install();
  const QString file = CopyFixture("living-small.kpx");
  FDialogs.OpenFileAnswer = file;
  f.aOpenParam->trigger();
  f.aPerformSimulation->trigger();
  f.aPauseSimulation->trigger();
  ASSERT_TRUE(WaitUntil([&] { return f.SimulationHeld() || !f.SimulationRunning(); }));
  ASSERT_TRUE(f.SimulationRunning()) << "the run must still be going for this test";

  ::raise(SIGTERM); // handled: the test process goes on
  ASSERT_TRUE(WaitUntil([&] { return FQuitCode.has_value(); }));
  EXPECT_EQ(*FQuitCode, 143);
  EXPECT_EQ(FSignals->ReceivedSignal(), SIGTERM);
  EXPECT_FALSE(f.SimulationRunning());
  EXPECT_FALSE(f.isVisible());
  const QStringList lines = f.LogLines();
  const int received = static_cast<int>(lines.indexOf(QRegularExpression("^Received signal 15.*the program ends$")));
  const int stopped = static_cast<int>(lines.indexOf("Simulation Terminated by User!"));
  ASSERT_NE(received, -1) << lines.join('\n').toStdString();
  EXPECT_GT(stopped, received);
  EXPECT_NE(lines.indexOf(QRegularExpression("^Simulation Finished at: .*")), -1);
  // The window closed as at a normal end: the log was saved with the stop in it.
  EXPECT_TRUE(SavedLog().contains("Simulation Terminated by User!"));
}

TEST_F(TerminationSignals, HangUpWithoutARunClosesAndQuitsWith129) {
  Shell::TMainForm& f = Form();
  f.show();
  Install();
  ::raise(SIGHUP);
  ASSERT_TRUE(WaitUntil([&] { return FQuitCode.has_value(); }));
  EXPECT_EQ(*FQuitCode, 129);
  EXPECT_FALSE(f.isVisible());
  EXPECT_TRUE(SavedLog().contains("Received signal 1"));
  // A second request while on the way out changes nothing.
  FSignals->Terminate(SIGTERM);
  EXPECT_EQ(FSignals->ReceivedSignal(), SIGHUP);
}

TEST_F(TerminationSignals, ATruncatedLibraryBesideTheProgramDoesNotEndItAtStartUp) {
  // A real library cut short inside its segments: loading it in the process
  // would end the process with SIGBUS.
  QFile real(FakeMaldiDir + "/complete/libMaldi.so");
  ASSERT_TRUE(real.open(QIODevice::ReadOnly));
  QFile cut(FExeDir + "libMaldi.so");
  ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
  cut.write(real.read(1000));
  cut.close();
  QFile::copy(FakeMaldiDir + "/complete/ISOTOPE.DAT", FExeDir + "ISOTOPE.DAT");

  Shell::TMainForm& f = Form();
  const QStringList lines = f.LogLines();
  EXPECT_NE(lines.indexOf(QRegularExpression("^Reason: not a usable library: loading it in a test process ended "
                                             "with (signal 7|exit code).*")),
            -1)
      << lines.join('\n').toStdString();
  EXPECT_FALSE(f.MaldiBinding().Loaded());
  EXPECT_TRUE(f.aBrowseForMALDIFolder->isEnabled());

  // Still usable: a good library picked afterwards binds.
  FDialogs.LibraryAnswer = FakeMaldiDir + "/complete/libMaldi.so";
  f.aBrowseForMALDIFolder->trigger();
  EXPECT_TRUE(f.MaldiBinding().MolMassAvailable());
  EXPECT_FALSE(f.aBrowseForMALDIFolder->isEnabled());
}

// The program itself, in a folder of its own (it writes polykin.ini and its
// log beside itself), under a file-size limit of 0: every write to a file
// fails. It must neither die of SIGXFSZ (status 153) nor hang on, and SIGTERM
// ends it through its window.
TEST(TerminationSignalsProgram, UnderAFileSizeLimitTheProgramStaysUpAndEndsOnTermWith143) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  ASSERT_TRUE(QFile::copy(PROPAGON_POLYKIN, dir.filePath("polykin")));
  const std::string folder = dir.path().toStdString();
  // Only the program and its shell carry the limit; what they say goes
  // through a pipe (never limited) into out.txt: the program's id, its
  // messages and, when it has ended, its exit status.
  const std::string inner = "ulimit -f 0; QT_QPA_PLATFORM=offscreen ./polykin 2>&1 & echo pid=$!; wait $!; echo rc=$?";
  const std::string line = "cd '" + folder + "' && (sh -c '" + inner + "' 2>&1 | cat > out.txt) & sleep 3; cd '" +
                           folder + "' && kill -TERM $(sed -n 's/^pid=//p' out.txt); wait";
  ASSERT_EQ(std::system(line.c_str()), 0);
  QFile out(dir.filePath("out.txt"));
  ASSERT_TRUE(out.open(QIODevice::ReadOnly | QIODevice::Text));
  const QString text = QString::fromUtf8(out.readAll());
  EXPECT_TRUE(text.contains("rc=143")) << text.toStdString();
  // The log could not be saved: said so, not a crash.
  EXPECT_TRUE(text.contains("Unable to write to " + dir.filePath("polykin.log"))) << text.toStdString();
}

} // namespace
