// The main window as a person uses it from the desktop: plot windows closed
// by their frame come back, files named by a launcher, bounds from another
// screen, the examples, the recent files, dropped files, the keys of a run,
// its pause mark, its progress and its closing notice.

#include "tests/gui/ShellTestSupport.h"

#include "maldiview/uMALDIForm.h"
#include "plots/uPlotsCreation.h"
#include "shell/uPlotSelection.h"
#include "shell/uRecentFiles.h"
#include "shell/uRunProgress.h"

#include <QAction>
#include <QDockWidget>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QSignalSpy>
#include <QTabBar>
#include <QToolButton>
#include <QTest>
#include <QUrl>

namespace {

using ShellTest::TMainFormFixture;
using ShellTest::WaitUntil;

class MainFormDesktop : public TMainFormFixture {
protected:
  QStringList Titles() {
    QStringList t;
    for (QDockWidget* d : Form().TabOrder())
      t << d->windowTitle();
    return t;
  }
  // The titles the window's tab bar shows (the bar with `count` tabs).
  QStringList ShownTabs(int count) {
    QStringList shown;
    for (QTabBar* bar : Form().findChildren<QTabBar*>())
      if (bar->isVisible() && bar->count() == count)
        for (int i = 0; i < bar->count(); ++i)
          shown << bar->tabText(i);
    return shown;
  }
  void SelectPlots(std::initializer_list<const char*> entries) {
    Params::TIniFile ini(IniFile().toStdString());
    for (const char* e : entries)
      ini.WriteBool("DefinedPlotsList", e, true);
  }
};

// The close box of a docked tab and of a floating frame close the window
// itself: placement saved, hidden, and Show All Plots brings it back where
// it was.
TEST_F(MainFormDesktop, PlotWindowClosedByItsFrameIsSavedHiddenAndComesBack) {
  SelectPlots({"Conversion", "Dyads", "SEC Plot"});
  Shell::TMainForm& f = Form();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  ASSERT_EQ(Titles(), (QStringList{"Messages", "Conversion", "Dyads", "SEC Plot"}));
  Plots::TPlotsListForm& list = f.PlotSelection()->ListForm();
  QWidget* dyads = list.PlotWindow(Plots::TPlotsListForm::slDyads);
  QDockWidget* dyadsFrame = f.DockOf(dyads);
  ASSERT_NE(dyadsFrame, nullptr);

  // Docked: the tab's close box.
  f.ActivatePage(dyadsFrame);
  FSettings->WriteString("Dyads", "IsDocked", "unknown");
  dyadsFrame->close();
  EXPECT_EQ(Ini("Dyads", "IsDocked"), "1");
  EXPECT_FALSE(dyads->isVisible());
  EXPECT_FALSE(dyadsFrame->isVisible());
  EXPECT_EQ(Titles(), (QStringList{"Messages", "Conversion", "SEC Plot"}));
  EXPECT_EQ(f.ActivePage(), f.MessagesPage());
  EXPECT_EQ(ShownTabs(3), Titles());

  // Floating: the frame's close box records the bounds.
  QWidget* sec = list.PlotWindow(Plots::TPlotsListForm::slSEC);
  f.FloatForm(sec, QRect(220, 150, 400, 300));
  QDockWidget* secFrame = f.DockOf(sec);
  ASSERT_TRUE(secFrame->isFloating());
  secFrame->close();
  EXPECT_EQ(Ini("SEC Plot", "IsDocked"), "0");
  EXPECT_EQ(Ini("SEC Plot", "Left"), std::to_string(secFrame->geometry().x()));
  EXPECT_EQ(Ini("SEC Plot", "Width"), "400");
  EXPECT_FALSE(secFrame->isVisible());

  // Dock All leaves closed windows closed and the Messages page in front.
  f.aDockAllPlots->trigger();
  EXPECT_FALSE(secFrame->isVisible());
  EXPECT_EQ(f.ActivePage(), f.MessagesPage());

  // Show All Plots: the docked one at the tab its tag asks for, the
  // floating one floating again.
  f.aShowAllPlots->trigger();
  EXPECT_TRUE(dyads->isVisible());
  EXPECT_TRUE(dyadsFrame->isVisible());
  EXPECT_EQ(Titles(), (QStringList{"Messages", "Conversion", "Dyads"}));
  EXPECT_EQ(ShownTabs(3), Titles());
  EXPECT_TRUE(secFrame->isVisible());
  EXPECT_TRUE(secFrame->isFloating());
  EXPECT_TRUE(sec->isVisible());

  // Closing the form itself (as the program's end does) hides its frame too.
  dyads->close();
  EXPECT_FALSE(dyadsFrame->isVisible());
  EXPECT_EQ(Titles(), (QStringList{"Messages", "Conversion"}));

  // Dock All brings the floating one in after the Messages page, which
  // stays first in the tab bar and is the page shown.
  f.aDockAllPlots->trigger();
  EXPECT_EQ(Titles(), (QStringList{"Messages", "Conversion", "SEC Plot"}));
  EXPECT_EQ(ShownTabs(3), Titles());
  EXPECT_EQ(f.ActivePage(), f.MessagesPage());
}

TEST_F(MainFormDesktop, AnArgumentNamingAnExistingFileOpensThatFile) {
  QTemporaryDir cwd, elsewhere;
  const QString previous = QDir::currentPath();
  QDir::setCurrent(cwd.path());
  // A file of the same name in the current folder must not win over the
  // absolute path a desktop launcher passes.
  const QString decoy = CopyFixture("living-small.kpx", cwd.path());
  const QString wanted = CopyFixture("living-small.kpx", elsewhere.path());
  {
    Shell::TMainForm& f = Form({wanted});
    f.FormShow();
    EXPECT_EQ(f.ParameterFileName(), QFileInfo(wanted).absoluteFilePath());
    EXPECT_EQ(f.ParametersPath(), QFileInfo(wanted).absolutePath() + "/");
  }
  Restart();
  // A name that exists nowhere as given still goes through the lookups.
  {
    Shell::TMainForm& f = Form({"/nowhere/living-small.txt"});
    f.FormShow();
    EXPECT_EQ(f.ParameterFileName(), QFileInfo(decoy).absoluteFilePath());
  }
  Restart();
  QDir::setCurrent(previous);
}

TEST_F(MainFormDesktop, BoundsOffTheScreenArePulledFullyOntoIt) {
  const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
  {
    // Stored at 150 % on a larger screen: the status line would be out of reach.
    Params::TIniFile ini(IniFile().toStdString());
    ini.WriteInteger("Propagon", "Left", avail.right() - 100);
    ini.WriteInteger("Propagon", "Top", avail.bottom() - 50);
    ini.WriteInteger("Propagon", "Width", avail.width() + 400);
    ini.WriteInteger("Propagon", "Height", 500);
    ini.WriteBool("DefinedPlotsList", "Conversion", true);
    ini.WriteBool("Conversion", "IsDocked", false);
    ini.WriteInteger("Conversion", "Left", -900);
    ini.WriteInteger("Conversion", "Top", avail.bottom() - 20);
    ini.WriteInteger("Conversion", "Width", 400);
    ini.WriteInteger("Conversion", "Height", 300);
  }
  Shell::TMainForm& f = Form();
  EXPECT_TRUE(avail.contains(f.geometry())) << f.geometry().x() << "," << f.geometry().y();
  EXPECT_EQ(f.height(), 500);
  QWidget* conversion = f.PlotSelection()->ListForm().PlotWindow(Plots::TPlotsListForm::slKinetics);
  QDockWidget* frame = f.DockOf(conversion);
  ASSERT_TRUE(frame && frame->isFloating());
  EXPECT_TRUE(avail.contains(frame->geometry()));
  EXPECT_EQ(frame->geometry().size(), QSize(400, 300));
}

TEST_F(MainFormDesktop, OpenExampleStartsInTheExamplesFolder) {
  Shell::TMainForm& f = Form();
  // The build finds the source tree's examples.
  const QString source = QDir::cleanPath(QStringLiteral(PROPAGON_EXAMPLES_DIR));
  EXPECT_EQ(f.ExamplesFolder(), source);
  FDialogs.OpenFileAnswer = source + "/living-caprolactone.kpx";
  f.aOpenExample->trigger();
  EXPECT_EQ(FDialogs.OpenFileFolders.value(0), source);
  EXPECT_EQ(f.ParameterFileName(), source + "/living-caprolactone.kpx");
  EXPECT_TRUE(f.aPerformSimulation->isEnabled());

  // An installation's share/propagon/examples comes first.
  QDir(FExeDir).mkpath("../share/propagon/examples");
  const QString installed = QDir::cleanPath(FExeDir + "../share/propagon/examples");
  QFile::copy(source + "/living-caprolactone.kpx", installed + "/living-caprolactone.kpx");
  EXPECT_EQ(f.ExamplesFolder(), installed);
  QDir(installed).removeRecursively();
}

TEST_F(MainFormDesktop, RecentFilesAreKeptNewestFirstAndDropped) {
  QStringList files;
  for (const char* name : {"a.kpx", "b.kpx"}) {
    files << FExeDir + name;
    QFile::copy(ShellTest::TestData + "/shell/living-small.kpx", files.last());
  }
  {
    Shell::TMainForm& f = Form();
    for (const QString& file : files) {
      FDialogs.OpenFileAnswer = file;
      f.aOpenParam->trigger();
    }
    FDialogs.OpenFileAnswer = files[0]; // again: moves to the top, not twice
    f.aOpenParam->trigger();
    EXPECT_EQ(f.RecentFiles(), (QStringList{files[0], files[1]}));
  }
  Restart();
  Shell::TMainForm& f = Form();
  EXPECT_EQ(f.RecentFiles(), (QStringList{files[0], files[1]}));
  emit f.RecentFilesMenu->aboutToShow();
  const QList<QAction*> entries = f.RecentFilesMenu->actions();
  ASSERT_EQ(entries.size(), 2);
  EXPECT_EQ(entries[0]->text(), "&1 a.kpx");
  entries[1]->trigger();
  EXPECT_EQ(f.ParameterFileName(), files[1]);
  EXPECT_EQ(f.RecentFiles().first(), files[1]);

  // A file gone since: a line in the log, and off the list.
  QFile::remove(files[0]);
  f.OpenRecentFile(1);
  EXPECT_EQ(f.ParameterFileName(), files[1]);
  EXPECT_EQ(f.RecentFiles(), QStringList{files[1]});
  EXPECT_TRUE(f.LogLines().last().contains("does not Exist any more")) << f.LogLines().last().toStdString();

  // No more than eight.
  for (int i = 0; i < 10; ++i)
    Shell::TRecentFiles(*FSettings).Add(FExeDir + QString("n%1.kpx").arg(i));
  EXPECT_EQ(f.RecentFiles().size(), 8);
  EXPECT_EQ(f.RecentFiles().first(), FExeDir + "n9.kpx");
}

TEST_F(MainFormDesktop, ADroppedParameterFileOpens) {
  const QString file = CopyFixture("living-small.kpx");
  Shell::TMainForm& f = Form();
  f.show();
  auto drop = [&](const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&f, &enter);
    const bool accepted = enter.isAccepted();
    QDropEvent dropEvent(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&f, &dropEvent);
    return accepted;
  };
  // Not a parameter file: refused.
  EXPECT_FALSE(drop({QUrl::fromLocalFile(FExeDir + "notes.txt")}));
  EXPECT_TRUE(f.ParameterFileName().isEmpty());
  EXPECT_TRUE(drop({QUrl::fromLocalFile(FExeDir + "notes.txt"), QUrl::fromLocalFile(file)}));
  EXPECT_EQ(f.ParameterFileName(), file);
  EXPECT_TRUE(f.aPerformSimulation->isEnabled());
}

// The keys of a run, the checked Pause with "Paused" in the status line, the
// progress between check points, and the notice at the end.
TEST_F(MainFormDesktop, AHintTakesThePlaceOfTheStatusTextAlsoWhenARunEndsUnderIt) {
  // The mouse rests on Perform through a whole run: its hint stands in the
  // status line, and the run's time, conversion and Mn must not be drawn
  // under it; when the hint goes they are there, up to date.
  Shell::TMainForm& f = Form();
  f.show();
  QLabel* status = f.findChild<QLabel*>("StatusText");
  ASSERT_NE(status, nullptr);
  FDialogs.OpenFileAnswer = CopyFixture("living-small.kpx");
  f.aOpenParam->trigger();
  QSignalSpy ended(&f, &Shell::TMainForm::RunEnded);
  f.statusBar()->showMessage(f.aPerformSimulation->statusTip());
  EXPECT_FALSE(status->isVisible());
  f.aPerformSimulation->trigger();
  ASSERT_TRUE(WaitUntil([&] { return ended.count() == 1; }, 120000));
  // The action enabled again under the mouse sends its hint once more.
  f.statusBar()->showMessage(f.aPerformSimulation->statusTip());
  QCoreApplication::processEvents();
  EXPECT_FALSE(status->isVisible());
  f.statusBar()->clearMessage();
  EXPECT_TRUE(status->isVisible());
  EXPECT_TRUE(status->text().startsWith("Time= ")) << status->text().toStdString();
}

TEST_F(MainFormDesktop, RunKeysPauseMarkProgressAndClosingNotice) {
  Shell::TMainForm& f = Form();
  EXPECT_EQ(f.aPerformSimulation->shortcut(), QKeySequence(Qt::Key_F9));
  EXPECT_EQ(f.aPauseSimulation->shortcut(), QKeySequence(Qt::Key_F10));
  EXPECT_EQ(f.aStopSimulation->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F9));
  EXPECT_EQ(f.aFileExit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  EXPECT_EQ(f.aShowManual->shortcut(), QKeySequence(Qt::Key_F1));

  FDialogs.OpenFileAnswer = CopyFixture("living-small.kpx");
  f.aOpenParam->trigger();
  QSignalSpy ended(&f, &Shell::TMainForm::RunEnded);
  f.aPerformSimulation->trigger();
  EXPECT_FALSE(f.aPauseSimulation->isChecked());
  EXPECT_TRUE(f.RunProgress()->Bar()->isVisibleTo(&f));
  f.aPauseSimulation->trigger();
  EXPECT_TRUE(f.aPauseSimulation->isChecked());
  ASSERT_TRUE(WaitUntil([&] { return f.SimulationHeld(); }));
  f.RunProgress()->Sample();
  EXPECT_TRUE(f.RunProgress()->Text().contains("Paused")) << f.RunProgress()->Text().toStdString();
  EXPECT_TRUE(f.RunProgress()->Text().contains("check point 1 of 10")) << f.RunProgress()->Text().toStdString();
  f.aPauseSimulation->trigger();
  EXPECT_FALSE(f.aPauseSimulation->isChecked());
  ASSERT_TRUE(WaitUntil([&] { return ended.count() == 1; }, 120000));
  EXPECT_FALSE(f.aPauseSimulation->isChecked());
  EXPECT_FALSE(f.RunProgress()->Bar()->isVisibleTo(&f));
  const QString notice = f.RunProgress()->Text();
  EXPECT_TRUE(notice.startsWith("Run finished in ")) << notice.toStdString();
  EXPECT_TRUE(notice.endsWith(" events")) << notice.toStdString();
  EXPECT_TRUE(f.LogLines().contains(notice));
}

// The docked MALDI window's Calculate button is usable as soon as a run has
// ended: the first click counts.
TEST_F(MainFormDesktop, DockedMaldiCalculateIsEnabledWhenTheRunEnds) {
  InstallLibrary("complete", true);
  SelectPlots({"MALDI Spectrum"});
  Shell::TMainForm& f = Form();
  f.show();
  auto* maldi = qobject_cast<MaldiView::TMALDIForm*>(
      f.PlotSelection()->ListForm().PlotWindow(Plots::TPlotsListForm::slMALDI));
  ASSERT_NE(maldi, nullptr);
  f.ActivatePage(f.DockOf(maldi));
  FDialogs.OpenFileAnswer = CopyFixture("living-small.kpx");
  f.aOpenParam->trigger();
  QSignalSpy ended(&f, &Shell::TMainForm::RunEnded);
  f.aPerformSimulation->trigger();
  EXPECT_FALSE(maldi->ButtonCalcMALDI->isEnabled());
  ASSERT_TRUE(WaitUntil([&] { return ended.count() == 1; }, 120000));
  EXPECT_TRUE(maldi->ButtonCalcMALDI->isEnabled());
}

TEST(RunProgress, BarFollowsTheClockBetweenCheckPointsAndSaysWhatSlowsTheRun) {
  Shell::TRunProgress progress;
  Shell::TProgressSample next;
  progress.Begin({0.0, 10.0, 30.0}, [&](Shell::TProgressSample& s) {
    s = next;
    return true;
  });
  next.Time = 5.0;
  progress.Sample();
  EXPECT_EQ(progress.Bar()->value(), 500);
  EXPECT_TRUE(progress.Text().startsWith("t= 5 s of 10 s (check point 1 of 2)")) << progress.Text().toStdString();
  next.Time = 25.0;
  next.CheckPoint = 1;
  next.LiveView = true;
  progress.Sample();
  EXPECT_EQ(progress.Bar()->value(), 750);
  EXPECT_TRUE(progress.Text().contains("live view on")) << progress.Text().toStdString();
  next.CheckPoint = 2;
  progress.Sample();
  EXPECT_EQ(progress.Bar()->value(), 1000);
  progress.End();
  EXPECT_TRUE(progress.Bar()->isHidden());

  EXPECT_EQ(Shell::PowerOfTenText(2.06e7), QString::fromUtf8("2.1\u00b710^7"));
  EXPECT_EQ(Shell::PowerOfTenText(9.96e5), QString::fromUtf8("1.0\u00b710^6"));
  EXPECT_EQ(Shell::PowerOfTenText(1234), "1234");
}

} // namespace
