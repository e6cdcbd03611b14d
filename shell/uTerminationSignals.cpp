#include "shell/uTerminationSignals.h"

#include "params/uLogMessage.h"
#include "shell/uMainForm.h"

#include <QAction>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include <sys/socket.h>
#include <unistd.h>

namespace Shell {

namespace {

int GSocket[2] = {-1, -1};

extern "C" void OnTerminationSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(GSocket[0], &byte, 1);
  // A second signal of this kind ends the program at once.
  std::signal(signal, SIG_DFL);
  errno = saved;
}

constexpr int Signals[] = {SIGTERM, SIGHUP};

} // namespace

TTerminationSignals::TTerminationSignals(TMainForm& form, TQuit quit) : FForm(form), FQuit(std::move(quit)) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, GSocket) != 0)
    return;
  FNotifier = new QSocketNotifier(GSocket[1], QSocketNotifier::Read, this);
  QObject::connect(FNotifier, &QSocketNotifier::activated, this, [this] { ReadSignal(); });
  for (const int signal : Signals) {
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
  }
}

TTerminationSignals::~TTerminationSignals() {
  for (const int signal : Signals)
    std::signal(signal, SIG_DFL);
  delete FNotifier;
  for (int& fd : GSocket) {
    if (fd >= 0)
      ::close(fd);
    fd = -1;
  }
}

void TTerminationSignals::ReadSignal() {
  unsigned char byte = 0;
  while (::read(GSocket[1], &byte, 1) == 1)
    Terminate(byte);
}

void TTerminationSignals::Terminate(int signal) {
  if (FSignal != 0)
    return; // already on the way out
  FSignal = signal;
  const char* name = ::strsignal(signal);
  Propagon::LogMessage("Received signal " + std::to_string(signal) + (name ? std::string(" (") + name + ")" : "") +
                       ": the program ends");
  if (!FForm.SimulationRunning()) {
    CloseAndQuit();
    return;
  }
  // As the Stop button (unless the run is already completing its last step
  // after Stop); the window closes once the run has ended.
  FWaitingForRun = true;
  QObject::connect(&FForm, &TMainForm::RunEnded, this, [this] {
    if (FWaitingForRun) {
      FWaitingForRun = false;
      CloseAndQuit();
    }
  });
  if (FForm.aStopSimulation->isEnabled())
    FForm.aStopSimulationExecute();
}

void TTerminationSignals::CloseAndQuit() {
  FForm.close();
  if (FQuit)
    FQuit(128 + FSignal);
}

} // namespace Shell
