// Takes the pictures of the documentation: the main window on a first start
// and, for each parameter file given, the main window during the run and
// every plot window after it.
//
// Usage: polykin_screenshots OUTPUT_FOLDER PROGRAM_FOLDER FILE.kpx...
//   PROGRAM_FOLDER holds libMaldi.so and ISOTOPE.DAT (the build's bin folder).
//
// The program runs the real main window with its own settings in a temporary
// folder, answers every dialog without asking, and saves PNG files named
// after the file and the window ("living-caprolactone-running.png", ...).
// Run it under Xvfb (tools/docs-screenshots.sh) or with QT_QPA_PLATFORM=offscreen.

#include "params/uParamFile.h"
#include "plots/uPlotsCreation.h"
#include "shell/uIntro.h"
#include "shell/uMainForm.h"
#include "shell/uMyIniFile.h"
#include "shell/uPlotSelection.h"
#include "shell/uShellDialogs.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

// Dialogs that never wait for a user: messages go to the terminal.
class TAutoDialogs : public Shell::TShellDialogs {
public:
  QString GetOpenFileName(const QString&, const QString&, const QString&) override { return {}; }
  QString BrowseForLibrary(const QString&, const QString&) override { return {}; }
  void ShowMessage(const QString& text) override { std::printf("message: %s\n", qPrintable(text)); }
  int ExecModal(QDialog*) override { return QDialog::Rejected; }
  int OpenDocument(const QString&) override { return 0; }
  void ShowInformation(const std::string& text) override { std::printf("information: %s\n", text.c_str()); }
  void ShowWarning(const std::string& text) override { std::printf("warning: %s\n", text.c_str()); }
  void ShowError(const std::string& text) override { std::printf("error: %s\n", text.c_str()); }
  bool AskConfirmation(const std::string&) override { return false; }
};

bool WaitUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms)
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

void Settle(int ms = 300) {
  WaitUntil([] { return false; }, ms);
}

bool Save(const QPixmap& picture, const QString& file) {
  const bool ok = picture.save(file, "PNG");
  std::printf("%s %s\n", ok ? "wrote" : "FAILED to write", qPrintable(file));
  return ok;
}

struct TSession {
  QTemporaryDir Folder;
  std::unique_ptr<Shell::TMyIniFile> Settings;
  TAutoDialogs Dialogs;
  std::unique_ptr<Shell::TMainForm> Form;
};

std::unique_ptr<TSession> Start(const QString& programFolder, bool allPlots) {
  auto s = std::make_unique<TSession>();
  s->Settings = std::make_unique<Shell::TMyIniFile>(s->Folder.filePath("polykin.ini").toStdString());
  s->Settings->WriteString("Propagon", "MALDILibraryName", (programFolder + "/libMaldi.so").toStdString());
  s->Settings->WriteInteger("Propagon", "Left", 0);
  s->Settings->WriteInteger("Propagon", "Top", 0);
  s->Settings->WriteInteger("Propagon", "Width", 1100);
  s->Settings->WriteInteger("Propagon", "Height", 720);
  if (allPlots) {
    s->Settings->WriteBool("Propagon", "HideIntro", true);
    for (int slot = 0; slot < Plots::TPlotsListForm::SlotCount; ++slot)
      s->Settings->WriteBool(Plots::TPlotsListForm::ListSection, Plots::TPlotsListForm::EntryText(slot).toStdString(),
                             true);
  }
  Shell::TMainFormOptions options;
  options.ExeDir = programFolder;
  options.Settings = s->Settings.get();
  options.Dialogs = &s->Dialogs;
  s->Form = std::make_unique<Shell::TMainForm>(options);
  s->Form->show();
  Settle();
  return s;
}

} // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Propagon");
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER PROGRAM_FOLDER FILE.kpx...\n", argv[0]);
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  const QString programFolder = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
  bool ok = true;

  {
    // First start: no settings, the introduction window over the main window.
    auto s = Start(programFolder, false);
    s->Form->FormShow();
    Settle();
    QPixmap picture = s->Form->grab();
    if (Shell::TIntroForm* intro = s->Form->IntroForm()) {
      QPainter p(&picture);
      const QPixmap introPicture = intro->grab();
      p.drawPixmap((picture.width() - introPicture.width()) / 2, (picture.height() - introPicture.height()) / 2,
                   introPicture);
      p.setPen(QPen(Qt::darkGray, 1));
      p.drawRect((picture.width() - introPicture.width()) / 2, (picture.height() - introPicture.height()) / 2,
                 introPicture.width() - 1, introPicture.height() - 1);
    }
    ok = Save(picture, out + "/first-start.png") && ok;
  }

  for (int i = 3; i < argc; ++i) {
    const QString file = QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath();
    const QString base = out + "/" + QFileInfo(file).completeBaseName();
    auto s = Start(programFolder, true);
    Shell::TMainForm& f = *s->Form;
    f.OpenParameterFileByName(file);
    if (!f.aPerformSimulation->isEnabled()) {
      std::fprintf(stderr, "%s cannot be run\n", qPrintable(file));
      ok = false;
      continue;
    }
    // During the run: paused at about half of the check points, the
    // conversion chart in front.
    f.aPerformSimulation->trigger();
    const int high = static_cast<int>(
        f.RunParameterFile()->ReadSection("CheckingPoints").size()) - 1;
    WaitUntil([&] { return f.CurrentCheckPoint() >= high / 2 || !f.SimulationRunning(); }, 600000);
    if (f.SimulationRunning()) {
      f.aPauseSimulation->trigger();
      WaitUntil([&] { return f.SimulationHeld() || !f.SimulationRunning(); }, 60000);
    }
    for (QDockWidget* page : f.TabOrder())
      if (page->windowTitle() == "Conversion")
        f.ActivatePage(page);
    Settle();
    ok = Save(f.grab(), base + "-running.png") && ok;
    if (f.SimulationHeld())
      f.aPauseSimulation->trigger();
    WaitUntil([&] { return !f.SimulationRunning(); }, 1800000);
    Settle(800);
    // Every page after the run.
    for (QDockWidget* page : f.TabOrder()) {
      f.ActivatePage(page);
      Settle();
      QString name = page->windowTitle().toLower();
      name.replace(QRegularExpression("[^a-z0-9]+"), "-");
      while (name.endsWith('-'))
        name.chop(1);
      ok = Save(f.grab(), base + "-" + name + ".png") && ok;
    }
    f.close();
  }
  return ok ? 0 : 1;
}
