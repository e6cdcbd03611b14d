// polykin, the desktop program.
//
// Start-up: the settings file is opened first, before the application object
// exists (so a broken display setup still finds it); then the application
// title, the main window and the event loop. SIGXFSZ is ignored and SIGTERM
// and SIGHUP end the program through the window (uTerminationSignals.h). Shut-down is the main window's:
// placement and log saved at close, settings flushed, run and library
// released when it is destroyed.

#include "params/ui/uParamEditorLauncher.h"
#include "shell/uMainForm.h"
#include "shell/uMyIniFile.h"
#include "shell/uShellDialogs.h"
#include "shell/uTerminationSignals.h"

#include <QApplication>

#include <unistd.h>

#include <climits>
#include <csignal>
#include <filesystem>
#include <string>

namespace {

// Folder of the program file; the symbolic link of an installation (bin/polykin)
// is followed, so the library and documents beside the real file are found.
std::string ProgramFolder(const char* argv0) {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  std::filesystem::path exe;
  if (n > 0) {
    buffer[n] = '\0';
    exe = buffer;
  } else {
    std::error_code ec;
    exe = std::filesystem::weakly_canonical(std::filesystem::absolute(argv0), ec);
  }
  return exe.parent_path().string() + "/";
}

} // namespace

int main(int argc, char** argv) {
  // A file-size limit makes the write fail (EFBIG), which every writer
  // reports, instead of ending the program with temporary files left behind.
  std::signal(SIGXFSZ, SIG_IGN);
  const std::string exeDir = ProgramFolder(argc > 0 ? argv[0] : "polykin");
  const Shell::TSettingsLocation location = Shell::SettingsLocation(exeDir, "polykin");
  Shell::TMyIniFile settings(location.SettingsFile);

  QApplication app(argc, argv);
  QApplication::setApplicationName(Shell::ApplicationTitle);
  QApplication::setApplicationDisplayName(Shell::ApplicationTitle);
  QApplication::setDesktopFileName("propagon");

  Shell::TQtShellDialogs dialogs;
  Shell::TMainFormOptions options;
  options.ExeDir = QString::fromStdString(exeDir);
  options.Arguments = app.arguments().mid(1);
  options.Settings = &settings;
  options.Dialogs = &dialogs;
  options.LogFileName = QString::fromStdString(location.LogFile);

  Shell::TMainForm mainForm(options);
  mainForm.SetParameterEditor(&Params::ExecParameterEditor);
  // SIGTERM and SIGHUP stop a run as Stop does and close the window.
  Shell::TTerminationSignals termination(mainForm, [](int code) { QApplication::exit(code); });
  mainForm.show();
  int result = app.exec();
  settings.UpdateFile();
  if (termination.ReceivedSignal() != 0)
    result = 128 + termination.ReceivedSignal();
  return result;
}
