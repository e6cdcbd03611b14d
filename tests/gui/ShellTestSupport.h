#pragma once
// Helpers of the shell tests: dialogs that answer from a script and record
// what they were asked, a fixture folder that plays the program's folder,
// and waiting for a condition while the window thread serves the run.

#include "shell/uMainForm.h"
#include "shell/uMyIniFile.h"
#include "shell/uShellDialogs.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ShellTest {

inline const QString TestData = QStringLiteral(PROPAGON_TEST_DATA);
inline const QString FakeMaldiDir = QStringLiteral(PROPAGON_FAKE_MALDI_DIR);

class TScriptedDialogs : public Shell::TShellDialogs {
public:
  // Answers.
  QString OpenFileAnswer;
  QString LibraryAnswer;
  bool ConfirmAnswer = false;
  // Documents that "open" (others give the error of a missing file).
  std::function<int(const QString&)> Viewer = [](const QString& f) { return QFile::exists(f) ? 0 : ENOENT; };

  // What was asked.
  QStringList OpenFileFolders;
  QStringList LibraryFolders;
  QStringList Messages;
  std::vector<std::string> Informations, Warnings, Errors;
  QStringList ModalTitles;
  QStringList Documents;

  QString GetOpenFileName(const QString& folder, const QString& selected, const QString& filter) override {
    OpenFileFolders << folder;
    LastFilter = filter;
    LastSelected = selected;
    return OpenFileAnswer;
  }
  QString BrowseForLibrary(const QString& title, const QString& folder) override {
    LastBrowseTitle = title;
    LibraryFolders << folder;
    return LibraryAnswer;
  }
  void ShowMessage(const QString& text) override { Messages << text; }
  int ExecModal(QDialog* dialog) override {
    ModalTitles << dialog->windowTitle();
    if (OnModal)
      OnModal(dialog);
    return QDialog::Rejected;
  }
  int OpenDocument(const QString& fileName) override {
    Documents << fileName;
    return Viewer(fileName);
  }
  void ShowInformation(const std::string& text) override { Informations.push_back(text); }
  void ShowWarning(const std::string& text) override { Warnings.push_back(text); }
  void ShowError(const std::string& text) override { Errors.push_back(text); }
  bool AskConfirmation(const std::string&) override { return ConfirmAnswer; }

  QString LastFilter, LastSelected, LastBrowseTitle;
  std::function<void(QDialog*)> OnModal;
};

// Spins the window thread's event loop until `done` holds or `ms` passed.
// A real run needs its queued calls served; the limit only guards a hang.
inline bool WaitUntil(const std::function<bool()>& done, int ms = 30000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms)
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(1);
  }
  return true;
}

// A folder that plays the program's folder, with its own polykin.ini, and a
// main window on it (created on demand, so a test may prepare the folder).
class TMainFormFixture : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(FDir.isValid());
    FExeDir = FDir.path() + "/";
  }
  void TearDown() override {
    if (FForm && FForm->SimulationRunning()) {
      FForm->aStopSimulationExecute();
      WaitUntil([&] { return !FForm->SimulationRunning(); });
    }
    FForm.reset();
    FSettings.reset();
  }

  QString IniFile() const { return FExeDir + "polykin.ini"; }

  Shell::TMainForm& Form(const QStringList& arguments = {}) {
    if (!FForm) {
      FSettings = std::make_unique<Shell::TMyIniFile>(IniFile().toStdString());
      Shell::TMainFormOptions options;
      options.ExeDir = FExeDir;
      options.Arguments = arguments;
      options.Settings = FSettings.get();
      options.Dialogs = &FDialogs;
      options.LogFileName = FExeDir + "polykin.log";
      FForm = std::make_unique<Shell::TMainForm>(options);
    }
    return *FForm;
  }
  // Closes and destroys the window as the program's end does, keeping the
  // folder: the next Form() is the next start.
  void Restart() {
    if (FForm) {
      FForm->close();
      FForm.reset();
    }
    FSettings.reset();
  }

  // Copies a fixture into the program's folder (or `folder`).
  QString CopyFixture(const QString& name, const QString& folder = {}) {
    const QString target = (folder.isEmpty() ? FExeDir : folder + "/") + QFileInfo(name).fileName();
    QFile::remove(target);
    EXPECT_TRUE(QFile::copy(TestData + "/shell/" + name, target)) << target.toStdString();
    return target;
  }
  // Copies a stand-in library variant beside the program as libMaldi.so.
  void InstallLibrary(const QString& variant, bool withIsotopeTable) {
    QFile::copy(FakeMaldiDir + "/" + variant + "/libMaldi.so", FExeDir + "libMaldi.so");
    if (withIsotopeTable)
      QFile::copy(FakeMaldiDir + "/complete/ISOTOPE.DAT", FExeDir + "ISOTOPE.DAT");
  }

  std::string Ini(const std::string& section, const std::string& key, const std::string& def = "<absent>") {
    Params::TIniFile ini(IniFile().toStdString());
    return ini.ReadString(section, key, def);
  }

  QTemporaryDir FDir;
  QString FExeDir;
  TScriptedDialogs FDialogs;
  std::unique_ptr<Shell::TMyIniFile> FSettings;
  std::unique_ptr<Shell::TMainForm> FForm;
};

} // namespace ShellTest
