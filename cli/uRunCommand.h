#pragma once
// `polykin-cli run FILE.kpx [--out DIR] [--seed N] [--chains] [--quiet] [--maldi CATION:UPPER]`:
// opens a parameter file as the main window does (validity marker, stored
// memory requirement), runs the simulation with the same engine and
// check-point cycle, and writes the results into a folder.

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace Cli {

// Exit codes of `run`.
inline constexpr int ExitSuccess = 0;
inline constexpr int ExitError = 1;       // any other error (the message says which)
inline constexpr int ExitInvalidFile = 2; // no true validity marker
inline constexpr int ExitLowMemory = 3;   // stored requirement above the free memory
inline constexpr int ExitInterrupted = 130; // stopped (Ctrl+C); results written up to the stop
// (the program itself ends with 128 + the signal: 143 for SIGTERM, 129 for SIGHUP)

struct TRunOptions {
  std::string File;
  std::string OutDir;               // empty: "<file stem>-results" in the current folder
  std::optional<std::uint32_t> Seed; // empty: the millisecond tick counter
  bool Chains = false;              // also write chains.tsv
  bool Quiet = false;               // no log lines on the output stream
  bool Progress = false;            // progress bar on the error stream
  std::string Maldi;                // "CATION:UPPER": also write the MALDI spectrum (maldi.tsv)
  // Set (asynchronously) to stop the run as the Stop button does.
  const std::atomic<bool>* Interrupt = nullptr;
};

// Runs one parameter file. Log lines go to `out` (unless Quiet) and to
// DIR/log.txt; DIR is replaced as a whole once the outputs are complete
// (TResultsFolder); messages that the desktop program shows in boxes, and errors,
// go to `err`. Returns one of the exit codes above.
int RunParameterFile(const TRunOptions& options, std::ostream& out, std::ostream& err);

// Registers the `run` sub-command (options, help text, and the callback that
// calls RunParameterFile and ends the program with its exit code).
void AddRunCommand(CLI::App& app);

} // namespace Cli
