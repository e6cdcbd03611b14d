#pragma once
// How polykin-cli meets the signals a user or a system sends it.
//
// - SIGXFSZ (a file-size limit reached) is ignored: the write fails with
//   EFBIG, the writer says "Unable to write to FILE" and the earlier file
//   stays, instead of the program dying with temporary files left behind.
// - SIGINT, SIGTERM and SIGHUP stop a run as the Stop button does: the run
//   completes its step, the results recorded so far are written, temporary
//   files are removed, and the program ends with 128 + the signal's number
//   (130, 143, 129). A second signal of the same kind ends it at once.

#include <atomic>

namespace Cli {

// Installs the dispositions above for the whole program (call once, first).
void InstallSignalHandlers();

// Set when one of the stopping signals has arrived.
const std::atomic<bool>& StopRequested();
// The first stopping signal that arrived, 0 while none.
int StopSignal();
// The program's exit code: 128 + StopSignal() for a command that succeeded
// or was stopped by the signal, otherwise `code` as it is.
int ExitCodeAfterSignal(int code);

} // namespace Cli
