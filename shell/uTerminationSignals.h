#pragma once
// SIGTERM and SIGHUP for the desktop program: a session that logs out, a
// system that shuts down or a `kill` from a terminal end the program as the
// user would: a run going on is stopped as Stop does and completes its step,
// the window closes normally (placement and message log saved, temporary
// files removed by their owners), and the program exits with 128 + the
// signal's number (143, 129). A second signal of the same kind ends the
// program at once.
//
// The handler only writes the signal's number into a socket pair; the
// window thread reads it through a QSocketNotifier, so everything else
// happens on the window thread between two events.

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace Shell {

class TMainForm;

class TTerminationSignals : public QObject {
public:
  // Leaves the event loop with the exit code (the program: QApplication::exit).
  using TQuit = std::function<void(int exitCode)>;

  // Installs the handlers for the life of this object (one at a time).
  TTerminationSignals(TMainForm& form, TQuit quit);
  ~TTerminationSignals() override;
  TTerminationSignals(const TTerminationSignals&) = delete;
  TTerminationSignals& operator=(const TTerminationSignals&) = delete;

  // What a signal's arrival does: stop the run if one goes on, then close
  // the window and quit with 128 + signal. Public for the tests.
  void Terminate(int signal);

  // The first signal that arrived; 0 while none.
  int ReceivedSignal() const { return FSignal; }

private:
  void ReadSignal();
  void CloseAndQuit();

  TMainForm& FForm;
  TQuit FQuit;
  QSocketNotifier* FNotifier = nullptr;
  int FSignal = 0;
  bool FWaitingForRun = false;
};

} // namespace Shell
