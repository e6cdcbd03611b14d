// The main window driven as a user would, through its actions: a real run of
// a small living polymerization through the whole state table, the log and
// the status line, closing refused during a run, the settings it writes,
// the library messages, the command-line rule, documents and tab docking.

#include "tests/gui/ShellTestSupport.h"

#include "engine/uDataStruct.h"
#include "params/uIniFile.h"
#include "params/uMemoryCheck.h"
#include "params/uNumberFormat.h"
#include "shell/About.h"
#include "shell/uIntro.h"
#include "shell/uPlotSelection.h"
#include "tests/support/FileSizeLimit.h"
#include "plots/uChartForm.h"
#include "charts/uChart.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QDockWidget>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>

namespace {

using ShellTest::TMainFormFixture;
using ShellTest::WaitUntil;

// One row of the state table: Perform, Pause, Stop, Open, Clear and
// Parameter Settings (the last two always agree).
struct TButtons {
  bool Perform, Pause, Stop, Open, ClearAndSettings;
};

void ExpectButtons(const Shell::TMainForm& f, TButtons b, const char* state) {
  SCOPED_TRACE(state);
  EXPECT_EQ(f.aPerformSimulation->isEnabled(), b.Perform);
  EXPECT_EQ(f.aPauseSimulation->isEnabled(), b.Pause);
  EXPECT_EQ(f.aStopSimulation->isEnabled(), b.Stop);
  EXPECT_EQ(f.aOpenParam->isEnabled(), b.Open);
  EXPECT_EQ(f.aClear->isEnabled(), b.ClearAndSettings);
  EXPECT_EQ(f.aParamSettings->isEnabled(), b.ClearAndSettings);
}

constexpr TButtons NoFile{false, false, false, true, true};
constexpr TButtons Loaded{true, false, false, true, true};
constexpr TButtons Running{false, true, true, false, false};
constexpr TButtons Ended{true, false, false, true, true};
constexpr TButtons Cleared{false, false, false, true, true};

// The status line gives Mn its unit.
const QString ZeroSummary = "Time= 0.00s  Conv= 0.000  Mn= 0 g/mol";

int IndexOf(const QStringList& lines, const QString& line) { return static_cast<int>(lines.indexOf(line)); }

int IndexOfPrefix(const QStringList& lines, const QString& prefix) {
  for (int i = 0; i < lines.size(); ++i)
    if (lines[i].startsWith(prefix))
      return i;
  return -1;
}

class MainForm : public TMainFormFixture {
protected:
  void SetUp() override {
    TMainFormFixture::SetUp();
    // The fixture's numbers are written with '.'.
    FSeparators = std::make_unique<Propagon::TSeparatorGuard>('.', ',');
  }
  void TearDown() override {
    TMainFormFixture::TearDown();
    FSeparators.reset();
  }
  // Opens the fixture through the open dialog.
  QString OpenFixture(const QString& name) {
    const QString file = CopyFixture(name);
    FDialogs.OpenFileAnswer = file;
    Form().aOpenParam->trigger();
    return file;
  }
  std::unique_ptr<Propagon::TSeparatorGuard> FSeparators;
};

TEST_F(MainForm, RunGoesThroughEveryStateOfTheTable) {
  Shell::TMainForm& f = Form();
  f.FormShow();
  ExpectButtons(f, NoFile, "no file");

  const QString file = OpenFixture("living-small.kpx");
  ExpectButtons(f, Loaded, "file loaded");
  EXPECT_EQ(f.windowTitle(), "Propagon [living-small.kpx]");
  EXPECT_NE(IndexOf(f.LogLines(), "Loading the File \"" + file + "\" ..."), -1);
  EXPECT_NE(IndexOf(f.LogLines(), "Press the Start Button!"), -1);
  EXPECT_EQ(Ini("Propagon", "ParametersPath"), FExeDir.toStdString());
  EXPECT_EQ(FDialogs.LastFilter, "Propagon Parameters (*.kpx)");

  // The run's first act is a blocking call to this thread (live-view flags),
  // so it cannot get anywhere before the event loop runs: the pause asked
  // for here holds it at its first gate, whatever the machine's speed.
  QSignalSpy started(&f, &Shell::TMainForm::RunStarted);
  f.aPerformSimulation->trigger();
  ASSERT_EQ(started.count(), 1);
  ExpectButtons(f, Running, "running");
  EXPECT_TRUE(f.SimulationRunning());
  EXPECT_EQ(f.aStopSimulation->toolTip(), "Stops the Simulation");

  // Closing is refused with the message while the run goes on.
  EXPECT_FALSE(f.FormCloseQuery());
  ASSERT_EQ(FDialogs.Messages.size(), 1);
  EXPECT_EQ(FDialogs.Messages[0], "Simulation in Progress!\nPress the Stop Button to Finish!");

  f.aPauseSimulation->trigger();
  EXPECT_EQ(f.aPauseSimulation->toolTip(), "Continue Simulation");
  ASSERT_TRUE(WaitUntil([&] { return f.SimulationHeld(); }));
  ExpectButtons(f, Running, "paused");
  // The summary of the pause: still at check point 0 (its first scheduled
  // time, 0.5 s, cannot be reached before the first event), no conversion.
  EXPECT_TRUE(f.StatusText().startsWith("Time= 0.00s  Conv= 0.000  Mn= ")) << f.StatusText().toStdString();

  f.aPauseSimulation->trigger(); // resume
  EXPECT_EQ(f.aPauseSimulation->toolTip(), "Pause Simulation");
  ASSERT_TRUE(WaitUntil([&] { return !f.SimulationHeld(); }));
  ExpectButtons(f, Running, "resumed");

  // Hold it again so that Stop certainly finds it going.
  f.aPauseSimulation->trigger();
  ASSERT_TRUE(WaitUntil([&] { return f.SimulationHeld() || !f.SimulationRunning(); }));
  ASSERT_TRUE(f.SimulationRunning());
  f.aStopSimulation->trigger();
  ExpectButtons(f, Ended, "stopped");
  EXPECT_EQ(f.aStopSimulation->toolTip(), "Simulation is Stopped!");
  const QStringList afterStop = f.LogLines();
  const int terminated = IndexOf(afterStop, "Simulation Terminated by User!");
  ASSERT_NE(terminated, -1);
  EXPECT_EQ(afterStop.value(terminated + 1), "Complete the Last Step...");
  EXPECT_EQ(afterStop.value(terminated + 2), "");
  // The last step is not done before the window thread serves the run
  // again: closing is refused, now without a message.
  EXPECT_TRUE(f.SimulationRunning());
  EXPECT_FALSE(f.FormCloseQuery());
  EXPECT_EQ(FDialogs.Messages.size(), 1);

  QSignalSpy ended(&f, &Shell::TMainForm::RunEnded);
  ASSERT_TRUE(WaitUntil([&] { return ended.count() == 1; }));
  EXPECT_FALSE(f.SimulationRunning());
  ExpectButtons(f, Ended, "ended");
  const QStringList log = f.LogLines();
  const int finished = IndexOfPrefix(log, "Simulation Finished at: ");
  ASSERT_NE(finished, -1);
  EXPECT_GT(finished, terminated);
  EXPECT_GT(IndexOf(log, "The Window Can be Closed!"), finished);
  EXPECT_TRUE(f.FormCloseQuery());

  f.aClear->trigger();
  ExpectButtons(f, Cleared, "cleared");
  EXPECT_EQ(f.StatusText(), ZeroSummary);
}

TEST_F(MainForm, RunToTheEndLogsEveryCheckPointAndTheSummaryAndSavesTheLog) {
  Shell::TMainForm& f = Form();
  OpenFixture("living-small.kpx");
  QSignalSpy ended(&f, &Shell::TMainForm::RunEnded);
  f.aPerformSimulation->trigger();
  ASSERT_TRUE(WaitUntil([&] { return ended.count() == 1; }));
  ExpectButtons(f, Ended, "ended");

  const QStringList log = f.LogLines();
  const int start = IndexOfPrefix(log, "Simulation Started at: ");
  const int first = IndexOf(log, "Check Point: 1; Time:= 0.5");
  const int last = IndexOf(log, "Check Point: 10; Time:= 5");
  const int finished = IndexOfPrefix(log, "Simulation Finished at: ");
  ASSERT_NE(start, -1);
  EXPECT_LT(start, first);
  EXPECT_LT(first, last);
  EXPECT_LT(last, finished);
  EXPECT_LT(finished, IndexOf(log, "The Window Can be Closed!"));
  // The summary of check point 10: its scheduled time 5 s, written "5.00s";
  // 10000 monomers of which the run converts a good part (every attempt
  // that picks a free monomer propagates), so Mn is well above 0.
  const QString status = f.StatusText();
  ASSERT_TRUE(status.startsWith("Time= 5.00s  Conv= ")) << status.toStdString();
  const QStringList parts = status.split("  ");
  ASSERT_EQ(parts.size(), 3);
  const double conversion = parts[1].mid(6).toDouble();
  EXPECT_GT(conversion, 0.0);
  EXPECT_LE(conversion, 1.0);
  EXPECT_TRUE(parts[2].endsWith(" g/mol")) << status.toStdString();
  EXPECT_GT(parts[2].mid(4).section(' ', 0, 0).toDouble(), 0.0);
  EXPECT_EQ(f.CurrentCheckPoint(), 10);
  EXPECT_TRUE(f.RunHasTakenPlace());

  // The log is saved at close under the program's name, ".log".
  Restart();
  QFile saved(FExeDir + "polykin.log");
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly | QIODevice::Text));
  const QStringList savedLines = QString::fromUtf8(saved.readAll()).split('\n');
  EXPECT_NE(IndexOf(savedLines, "Check Point: 10; Time:= 5"), -1);
  EXPECT_NE(IndexOf(savedLines, "The Window Can be Closed!"), -1);
}

TEST_F(MainForm, ALogThatCannotBeSavedWholeLeavesTheLogOfTheSessionBefore) {
  const QString logFile = FExeDir + "polykin.log";
  const QByteArray old = QByteArray(3000, 'o') + "\n";
  {
    QFile before(logFile);
    ASSERT_TRUE(before.open(QIODevice::WriteOnly));
    before.write(old);
  }
  Shell::TMainForm& f = Form();
  f.MessageMemo()->appendPlainText(QString(3000, QChar('n')));
  {
    // A 1 KiB file-size limit stands in for a full disk at close.
    TestSupport::TFileSizeLimit full(1024);
    Restart();
  }
  QFile saved(logFile);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(saved.readAll(), old) << "not truncated";
  EXPECT_TRUE(QDir(FExeDir).entryList({QStringLiteral("polykin.log?*")}, QDir::Files | QDir::Hidden).isEmpty());

  // With room on the disk the next close replaces it.
  Form().MessageMemo()->appendPlainText(QStringLiteral("second session"));
  Restart();
  saved.close();
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly | QIODevice::Text));
  EXPECT_TRUE(QString::fromUtf8(saved.readAll()).contains(QStringLiteral("second session")));
}

TEST_F(MainForm, PerformAndClearDuringTheLastStepWaitForTheEndOfTheRun) {
  Shell::TMainForm& f = Form();
  OpenFixture("living-small.kpx");
  QSignalSpy started(&f, &Shell::TMainForm::RunStarted);
  QSignalSpy ended(&f, &Shell::TMainForm::RunEnded);
  f.aPerformSimulation->trigger();
  f.aPauseSimulation->trigger();
  ASSERT_TRUE(WaitUntil([&] { return f.SimulationHeld(); }));
  f.aStopSimulation->trigger();

  // Perform is enabled at once, but the stopped run still owns the store.
  ASSERT_TRUE(f.aPerformSimulation->isEnabled());
  f.aPerformSimulation->trigger();
  EXPECT_EQ(started.count(), 1); // not yet
  EXPECT_NE(IndexOf(f.LogLines(), "Waiting for the Last Step of the Simulation to Complete..."), -1);

  // After the end-of-run handling, the second run starts by itself.
  ASSERT_TRUE(WaitUntil([&] { return started.count() == 2; }));
  EXPECT_EQ(ended.count(), 1);
  EXPECT_TRUE(f.SimulationRunning());
  f.aPauseSimulation->trigger();
  ASSERT_TRUE(WaitUntil([&] { return f.SimulationHeld() || !f.SimulationRunning(); }));
  f.aStopSimulation->trigger();

  // Clear asked for now waits as well, then clears.
  f.aClear->trigger();
  ASSERT_TRUE(WaitUntil([&] { return ended.count() == 2; }));
  ASSERT_TRUE(WaitUntil([&] { return f.StatusText() == ZeroSummary; }));
  ExpectButtons(f, Cleared, "cleared after the run");
  EXPECT_FALSE(Engine::SimState().CheckPointRecordsAllocated());
}

TEST_F(MainForm, InvalidFilesNeverEnablePerform) {
  Shell::TMainForm& f = Form();
  const QString file = OpenFixture("not-validated.kpx");
  ASSERT_EQ(FDialogs.Informations.size(), 1u);
  EXPECT_EQ(FDialogs.Informations[0], "\"" + file.toStdString() + "\"\r\nis not a Valid Parameters File!");
  ExpectButtons(f, NoFile, "refused file");

  // A file without a memory estimate cannot be checked, so it is not run.
  OpenFixture("no-memory-estimate.kpx");
  EXPECT_FALSE(f.aPerformSimulation->isEnabled());
  EXPECT_NE(IndexOf(f.LogLines(), "The File has no Memory Estimate! Please Validate It in the Parameter Settings!"), -1);

  // A file that became invalid on disk after it was opened: Perform refuses.
  const QString valid = OpenFixture("living-small.kpx");
  ASSERT_TRUE(f.aPerformSimulation->isEnabled());
  QFile::remove(valid);
  QFile::copy(ShellTest::TestData + "/shell/not-validated.kpx", valid);
  f.aPerformSimulation->trigger();
  EXPECT_FALSE(f.SimulationRunning());
  EXPECT_EQ(f.LogLines().last(), "Not Valid Parameter File! Please Validate It!");
}

TEST_F(MainForm, AFileNoKernelCanRunIsRefusedWhenOpened) {
  // A process type without a kernel, or check points that do not start at
  // 0, would "complete" a run with nothing simulated: the file is refused
  // with its reason as soon as it is opened, and Perform stays off.
  Shell::TMainForm& f = Form();
  const struct {
    const char* Section;
    const char* Key;
    const char* Value;
    std::string Reason;
  } cases[] = {
      {"General", "ProcessType", "257",
       "ProcessType 257 is not a Process Type (0 living, 1 free radical, 2 ATRP, 3 living reversible)"},
      {"CheckingPoints", "0", "5", "The First Checking Point must be 0 (the Start of the Run), not 5"}};
  for (const auto& c : cases) {
    const QString file = CopyFixture("living-small.kpx");
    Params::TIniFile(file.toStdString()).WriteString(c.Section, c.Key, c.Value);
    FDialogs.Errors.clear();
    FDialogs.OpenFileAnswer = file;
    f.aOpenParam->trigger();
    ASSERT_EQ(FDialogs.Errors.size(), 1u) << c.Reason;
    EXPECT_EQ(FDialogs.Errors[0], c.Reason);
    EXPECT_NE(IndexOf(f.LogLines(), QString::fromStdString(c.Reason)), -1);
    EXPECT_FALSE(f.aPerformSimulation->isEnabled()) << c.Reason;
    f.aPerformSimulation->trigger();
    EXPECT_FALSE(f.SimulationRunning());
  }
}

TEST_F(MainForm, TooLittleMemoryWarnsAndKeepsPerformDisabled) {
  // The fixture asks for 20000000 bytes; 1 MB free is too little.
  Params::SetAvailableMemorySource([] { return std::int64_t{1000000}; });
  Shell::TMainForm& f = Form();
  OpenFixture("living-small.kpx");
  Params::SetAvailableMemorySource({});
  ASSERT_EQ(FDialogs.Warnings.size(), 1u);
  EXPECT_NE(FDialogs.Warnings[0].find("To Low Memory for the Specified Set of Parameters!"), std::string::npos);
  EXPECT_FALSE(f.aPerformSimulation->isEnabled());
  EXPECT_EQ(IndexOf(f.LogLines(), "Press the Start Button!"), -1);
}

TEST_F(MainForm, LibraryWithoutCalcMolMassIsReportedAndSearchStaysEnabled) {
  InstallLibrary("no-molmass", true);
  Shell::TMainForm& f = Form();
  EXPECT_NE(IndexOf(f.LogLines(), "Edition of Process Parameters not Allowed!"), -1);
  EXPECT_TRUE(f.aBrowseForMALDIFolder->isEnabled());
  EXPECT_FALSE(f.MaldiBinding().MolMassAvailable());
  EXPECT_TRUE(f.MaldiBinding().SpectrumAvailable());
  EXPECT_EQ(Ini("Propagon", "MALDILibraryName"), (FExeDir + "libMaldi.so").toStdString());

  // Search MALDI DLL starts beside the program; a complete library then
  // switches it off.
  FDialogs.LibraryAnswer = ShellTest::FakeMaldiDir + "/complete/libMaldi.so";
  f.aBrowseForMALDIFolder->trigger();
  EXPECT_EQ(FDialogs.LastBrowseTitle, "Searching for MALDI ToF DLL");
  EXPECT_EQ(FDialogs.LibraryFolders.value(0), FExeDir);
  EXPECT_TRUE(f.MaldiBinding().MolMassAvailable());
  EXPECT_FALSE(f.aBrowseForMALDIFolder->isEnabled());
  EXPECT_EQ(Ini("Propagon", "MALDILibraryName"), FDialogs.LibraryAnswer.toStdString());
}

TEST_F(MainForm, MissingIsotopeTableAndMissingLibraryAreReported) {
  InstallLibrary("no-isotope-table", false);
  {
    Shell::TMainForm& f = Form();
    const int line = IndexOf(f.LogLines(), "Error: Cannot Find \"ISOTOPE.DAT\"!");
    ASSERT_NE(line, -1);
    EXPECT_EQ(f.LogLines().value(line + 1), "Please keep it together with \"libMaldi.so\"");
    EXPECT_TRUE(f.MaldiBinding().MolMassAvailable());
    // Without its table the library cannot compute a spectrum: the user can
    // still pick another one.
    EXPECT_TRUE(f.aBrowseForMALDIFolder->isEnabled());
  }
  Restart();
  // No library beside the program: the stored name is tried (it is the file
  // just removed), and both lines are logged.
  QFile::remove(FExeDir + "libMaldi.so");
  Shell::TMainForm& f = Form();
  EXPECT_NE(IndexOf(f.LogLines(), "Error: Library File \"libMaldi.so\" not Exists!"), -1);
  EXPECT_NE(IndexOf(f.LogLines(), "Please locate it by Menu/File/MALDI DLL"), -1);
  EXPECT_NE(IndexOf(f.LogLines(), "Error: Unable to Load Library from File \"" + FExeDir + "libMaldi.so\"!"), -1);
  EXPECT_TRUE(f.aBrowseForMALDIFolder->isEnabled());
}

TEST_F(MainForm, FirstStartPlacementIntroAndSettingsSurviveARestart) {
  Shell::TMainForm& f = Form();
  // First start: the default position, the introduction window.
  EXPECT_EQ(f.geometry().topLeft(), QPoint(200, 100));
  EXPECT_GE(f.width(), 300);
  EXPECT_GE(f.height(), 200);
  f.FormShow();
  ASSERT_NE(f.IntroForm(), nullptr);
  EXPECT_EQ(f.IntroForm()->windowTitle(), "Introduction");
  EXPECT_FALSE(f.aShowIntro->isEnabled());
  EXPECT_FALSE(f.IntroForm()->HideIntro()->isChecked());

  // Ticking the box writes HideIntro=1 at once.
  f.IntroForm()->HideIntro()->click();
  EXPECT_EQ(Ini("Propagon", "HideIntro"), "1");
  f.IntroForm()->OKButton()->click();
  ASSERT_TRUE(WaitUntil([&] { return f.IntroForm() == nullptr; }));
  EXPECT_TRUE(f.aShowIntro->isEnabled());

  // Within the 800 x 600 screen of the offscreen platform (bounds beyond it
  // are pulled back onto the screen).
  f.setGeometry(240, 130, 520, 400);
  Restart();
  EXPECT_EQ(Ini("Propagon", "IsDocked"), "0");
  EXPECT_EQ(Ini("Propagon", "Left"), "240");
  EXPECT_EQ(Ini("Propagon", "Top"), "130");
  EXPECT_EQ(Ini("Propagon", "Width"), "520");
  EXPECT_EQ(Ini("Propagon", "Height"), "400");

  Shell::TMainForm& again = Form();
  EXPECT_EQ(again.geometry(), QRect(240, 130, 520, 400));
  again.FormShow();
  EXPECT_EQ(again.IntroForm(), nullptr);
  // Intro Screen still opens it, with the box ticked.
  again.aShowIntro->trigger();
  ASSERT_NE(again.IntroForm(), nullptr);
  again.IntroForm()->show();
  EXPECT_TRUE(again.IntroForm()->HideIntro()->isChecked());
}

TEST_F(MainForm, CommandLineLooksInTheCurrentFolderThenBesideTheProgram) {
  QTemporaryDir cwd;
  const QString previous = QDir::currentPath();
  QDir::setCurrent(cwd.path());
  // run1.txt named in a folder that does not hold it: run1.kpx of the
  // current folder is opened.
  QFile::copy(ShellTest::TestData + "/shell/living-small.kpx", cwd.filePath("run1.kpx"));
  QFile::copy(ShellTest::TestData + "/shell/living-small.kpx", FExeDir + "run1.kpx");
  {
    Shell::TMainForm& f = Form({"/elsewhere/run1.txt"});
    f.FormShow();
    EXPECT_EQ(f.ParameterFileName(), QFileInfo(cwd.filePath("run1.kpx")).absoluteFilePath());
    EXPECT_TRUE(f.aPerformSimulation->isEnabled());
  }
  Restart();
  // Not in the current folder: the one beside the program.
  QFile::remove(cwd.filePath("run1.kpx"));
  {
    Shell::TMainForm& f = Form({"run1"});
    f.FormShow();
    EXPECT_EQ(f.ParameterFileName(), QFileInfo(FExeDir + "run1.kpx").absoluteFilePath());
    EXPECT_EQ(f.ParametersPath(), FExeDir);
  }
  Restart();
  // Neither: nothing is opened, and the log says where it looked.
  {
    Shell::TMainForm& f = Form({"missing.kpx"});
    f.FormShow();
    EXPECT_TRUE(f.ParameterFileName().isEmpty());
    EXPECT_NE(IndexOfPrefix(f.LogLines(), "Parameter file \"missing.kpx\" not found"), -1);
  }
  Restart();
  QDir::setCurrent(previous);
}

TEST_F(MainForm, DocumentsOpenFromTheCurrentFolderOrBesideTheProgram) {
  QTemporaryDir cwd;
  const QString previous = QDir::currentPath();
  QDir::setCurrent(cwd.path());
  Shell::TMainForm& f = Form();
  f.aShowDemo->trigger();
  f.aShowManual->trigger();
  EXPECT_EQ(f.LogLines().value(f.LogLines().size() - 2), "Open html Error: 2"); // ENOENT
  EXPECT_EQ(f.LogLines().last(), "Open PDF Error: 2");

  QDir(FExeDir).mkdir("Docs");
  QFile demo(FExeDir + "Docs/propagon_demo.html");
  ASSERT_TRUE(demo.open(QIODevice::WriteOnly));
  demo.write("<html></html>");
  demo.close();
  const int lines = static_cast<int>(f.LogLines().size());
  f.aShowDemo->trigger();
  EXPECT_EQ(FDialogs.Documents.last(), FExeDir + "Docs/propagon_demo.html");
  EXPECT_EQ(f.LogLines().size(), lines);

  // The current folder comes first.
  QDir(cwd.path()).mkdir("Docs");
  QFile::copy(FExeDir + "Docs/propagon_demo.html", cwd.filePath("Docs/propagon_demo.html"));
  f.aShowDemo->trigger();
  EXPECT_EQ(QFileInfo(FDialogs.Documents.last()).absoluteFilePath(),
            QFileInfo(cwd.filePath("Docs/propagon_demo.html")).absoluteFilePath());
  Restart();
  QDir::setCurrent(previous);
}

TEST_F(MainForm, AboutBoxShowsVersionAndMemory) {
  Shell::TMainForm& f = Form();
  QString version;
  FDialogs.OnModal = [&](QDialog* d) {
    if (auto* about = qobject_cast<Shell::TAboutBox*>(d))
      version = about->Version()->text();
  };
  f.aAbout->trigger();
  ASSERT_EQ(FDialogs.ModalTitles.value(0), "About Propago®");
  EXPECT_EQ(version, QString::fromStdString("Version " + Shell::BuildVersion()));

  Propagon::TSeparatorGuard separators('.', ',');
  // MemTotal 16384000 kB -> 16,384,000 KB; MemAvailable 4096000 kB ->
  // (16384000 - 4096000) * 100 / 16384000 = 75 % in use.
  Shell::TAboutBox box(&f, QCoreApplication::applicationFilePath(), ShellTest::TestData + "/shell/meminfo-16GB.txt");
  EXPECT_EQ(box.ProductName()->text(), "Propagon");
  EXPECT_EQ(box.PhysMem()->text(), "16,384,000 KB");
  EXPECT_EQ(box.FreeRes()->text(), "75 %");
  // The licences of what it is built with, the isotope data's source, and
  // the system it runs on.
  auto* credits = box.findChild<QLabel*>("Credits");
  ASSERT_NE(credits, nullptr);
  EXPECT_TRUE(credits->text().contains("Qt " + QString::fromLatin1(qVersion()) + " (GNU LGPL v3"));
  EXPECT_TRUE(credits->text().contains("QCustomPlot 2.1"));
  EXPECT_TRUE(credits->text().contains("NIST"));
  QStringList texts;
  for (QLabel* label : box.findChildren<QLabel*>())
    texts << label->text();
  EXPECT_TRUE(texts.contains("Physical Memory Available to Linux:"));
  EXPECT_FALSE(texts.join('\n').contains("Windows"));
}

TEST_F(MainForm, DockedWindowsKeepTheirTagOrderAndFloatAndComeBack) {
  Shell::TMainForm& f = Form();
  f.show();
  auto make = [](const QString& caption) {
    auto* w = new QWidget;
    w->setWindowTitle(caption);
    return w;
  };
  QWidget* conversion = make("Conversion");
  QWidget* chains = make("Chains");
  QWidget* dyads = make("Dyads");
  // Tags are slot + 1 of the plot selection.
  f.DockForm(dyads, 6);
  f.DockForm(chains, 1);
  f.DockForm(conversion, 3);
  auto titles = [&] {
    QStringList t;
    for (QDockWidget* d : f.TabOrder())
      t << d->windowTitle();
    return t;
  };
  // [Messages] + Dyads(6) -> index 1; Chains(1) -> 1; Conversion(3): appended
  // at 3, moved left while 3 < index: stays at 3.
  EXPECT_EQ(titles(), (QStringList{"Messages", "Chains", "Dyads", "Conversion"}));
  // The tab bar of the window shows the same order.
  QStringList shown;
  for (QTabBar* bar : f.findChildren<QTabBar*>())
    if (bar->count() == 4)
      for (int i = 0; i < bar->count(); ++i)
        shown << bar->tabText(i);
  EXPECT_EQ(shown, titles());

  // Floated through the menu: out of the tab order, placement recorded.
  f.ActivatePage(f.DockOf(dyads));
  f.aFloatPage->trigger();
  EXPECT_TRUE(Shell::IsFloating(dyads));
  EXPECT_EQ(titles(), (QStringList{"Messages", "Chains", "Conversion"}));
  f.DockOf(dyads)->setGeometry(300, 220, 500, 320);
  FSettings->SaveFormPlacement(dyads, "Dyads");
  EXPECT_EQ(Ini("Dyads", "IsDocked"), "0");
  EXPECT_EQ(Ini("Dyads", "Left"), "300");
  EXPECT_EQ(Ini("Dyads", "Width"), "500");
  EXPECT_FALSE(FSettings->ReadIsDocked(f.DockOf(dyads)));

  // Docked again: back at the place its tag asks for.
  f.aDockAllPlots->trigger();
  EXPECT_FALSE(Shell::IsFloating(dyads));
  EXPECT_EQ(titles(), (QStringList{"Messages", "Chains", "Conversion", "Dyads"}));
  FSettings->SaveFormPlacement(dyads, "Dyads");
  EXPECT_EQ(Ini("Dyads", "IsDocked"), "1");

  // FloatForm gives the stored bounds.
  f.FloatForm(chains, QRect(210, 110, 310, 210));
  EXPECT_EQ(f.DockOf(chains)->geometry(), QRect(210, 110, 310, 210));
  f.ReleaseForm(chains);
  delete chains;
  EXPECT_EQ(titles(), (QStringList{"Messages", "Conversion", "Dyads"}));
}

TEST(MainFormTabs, InsertIndexFollowsTheTagWithinTheTabs) {
  // Appended last among n tabs, moved left while tag < index.
  EXPECT_EQ(Shell::TMainForm::TabInsertIndex(5, 2), 1);  // [Msg] + new: last
  EXPECT_EQ(Shell::TMainForm::TabInsertIndex(1, 4), 1);
  EXPECT_EQ(Shell::TMainForm::TabInsertIndex(2, 4), 2);
  EXPECT_EQ(Shell::TMainForm::TabInsertIndex(9, 4), 3);  // beyond the end: stays last
  EXPECT_EQ(Shell::TMainForm::TabInsertIndex(0, 4), 0);  // never past the first tab
  EXPECT_EQ(Shell::TMainForm::TabInsertIndex(3, 1), 0);
}

} // namespace

namespace {

// The plot windows chosen last time come back at start as tabs, a run fills
// them through the main window (the live views with per-event calls), and
// their placement is recorded at close.
TEST_F(MainForm, PlotWindowsOfTheLastSessionDockAsTabsAndFollowTheRun) {
  {
    Params::TIniFile ini(IniFile().toStdString());
    ini.WriteBool("DefinedPlotsList", "Conversion", true);
    ini.WriteBool("DefinedPlotsList", "Chains Structure", true);
    ini.WriteBool("DefinedPlotsList", "DP Distribution", true);
  }
  Shell::TMainForm& f = Form();
  f.show();
  ASSERT_NE(f.PlotSelection(), nullptr);
  QStringList titles;
  for (QDockWidget* d : f.TabOrder())
    titles << d->windowTitle();
  // Tags 1 (Chains), 2 (DP Dist.) and 3 (Conversion) after Messages.
  EXPECT_EQ(titles, (QStringList{"Messages", "Chains", "DP Dist.", "Conversion"}));
  EXPECT_EQ(f.ActivePage(), f.MessagesPage());

  // The magnifier actions show only while the microstructure view is the tab.
  EXPECT_FALSE(f.aMicrostructureEnlarge->isVisible());
  f.ActivatePage(f.TabOrder()[1]);
  EXPECT_TRUE(f.aMicrostructureEnlarge->isVisible());
  EXPECT_TRUE(f.aMicrostructureRestore->isVisible());
  f.ActivatePage(f.TabOrder()[3]);
  EXPECT_FALSE(f.aMicrostructureEnlarge->isVisible());

  auto* kinetics = qobject_cast<Plots::TChartForm*>(f.TabOrder()[3]->widget());
  ASSERT_NE(kinetics, nullptr);
  OpenFixture("living-small.kpx");
  // "SelectedPage" names the tab Perform brings to the front; the end of the
  // run shows the Messages page again.
  FSettings->WriteInteger("Propagon", "SelectedPage", 3);
  f.ShowMessagesPage();
  QSignalSpy ended(&f, &Shell::TMainForm::RunEnded);
  f.aPerformSimulation->trigger();
  EXPECT_EQ(f.ActivePage(), f.TabOrder()[3]);
  ASSERT_TRUE(WaitUntil([&] { return ended.count() == 1; }, 120000));
  EXPECT_EQ(f.ActivePage(), f.MessagesPage());
  // Check points 0 to 10: eleven points in the conversion curve.
  ASSERT_GE(kinetics->AChart->SeriesCount(), 1);
  EXPECT_EQ(kinetics->AChart->PointCount(0), 11);

  // Clear empties the charts.
  f.aClear->trigger();
  EXPECT_EQ(kinetics->AChart->PointCount(0), 0);

  Restart();
  EXPECT_EQ(Ini("Conversion", "IsDocked"), "1");
  EXPECT_EQ(Ini("Chains", "IsDocked"), "1");
}

} // namespace
