#include "cli/uCliSignals.h"

#include "cli/uRunCommand.h"

#include <csignal>

namespace Cli {

namespace {

std::atomic<bool> GStopRequested{false};
std::atomic<int> GStopSignal{0};

extern "C" void OnStopSignal(int signal) {
  int none = 0;
  GStopSignal.compare_exchange_strong(none, signal);
  GStopRequested.store(true);
  // A second signal of this kind ends the program at once.
  std::signal(signal, SIG_DFL);
}

} // namespace

void InstallSignalHandlers() {
  std::signal(SIGXFSZ, SIG_IGN);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Blocking calls (waits, writes) go on after the handler has run.
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
  }
}

const std::atomic<bool>& StopRequested() { return GStopRequested; }

int StopSignal() { return GStopSignal.load(); }

int ExitCodeAfterSignal(int code) {
  // An error the command met is reported as such; a run that completed or
  // stopped ends with the signal's code.
  const int signal = StopSignal();
  return signal != 0 && (code == ExitSuccess || code == ExitInterrupted) ? 128 + signal : code;
}

} // namespace Cli
