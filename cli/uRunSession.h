#pragma once
// One simulation of an opened parameter file, from the memory check to the
// end-of-run handler, as `polykin-cli run` performs it. The command line and
// the Python module both run through it, so the same seed gives the same
// numbers in both.
//
// ExecuteRun works on the program-wide simulation state: after it returns,
// Engine::SimState() holds the final distributions and chains until the next
// run, and the caller reads or writes them from there. The calling thread
// waits for the simulation thread, waking about ten times a second to poll
// StopRequested and to draw the progress.

#include "cli/uRunResults.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Params {
class TMessageReporter;
class TParameterFile;
} // namespace Params

namespace Cli {

struct TRunProgress {
  double Fraction = 0.0;        // simulated time against the last scheduled check point, 0..1
  double Time = 0.0;            // simulated time reached, s
  double LastTime = 0.0;        // last scheduled check-point time, s
  double EventsPerSecond = 0.0; // since the previous report
  std::string Summary;          // "Time= ...  Conv= ...  Mn= ..." of the last check point
};

struct TRunSessionOptions {
  std::optional<std::uint32_t> Seed; // empty: the millisecond tick counter
  // Polled on the calling thread while the run goes on; true stops the run as
  // the Stop button does (asked once; the run then completes its step).
  std::function<bool()> StopRequested;
  // Called on the calling thread at most once every ProgressInterval seconds.
  std::function<void(const TRunProgress&)> Progress;
  double ProgressInterval = 0.25;
};

struct TRunOutcome {
  // ExitSuccess, ExitError, ExitLowMemory or ExitInterrupted (uRunCommand.h).
  int Code = 0;
  // The run never started (Code tells why; Error holds the message, if any).
  bool Started = false;
  std::string Error;
  bool Interrupted = false;
  bool Failed = false;         // the run ended early; FailureMessage says why
  std::string FailureMessage;
  std::vector<TCheckPointRow> Rows;
  TRunSummary Summary;
};

// Logs "Loading the File ...", checks the stored memory requirement (its
// report goes to `reporter`), runs the simulation to its end and records the
// check points and the summary.
TRunOutcome ExecuteRun(Params::TParameterFile& file, Params::TMessageReporter& reporter,
                       const TRunSessionOptions& options);

} // namespace Cli
