#include "cli/uRunCommand.h"

#include "cli/uPrepareCommand.h"
#include "cli/uRunMaldi.h"
#include "cli/uRunResults.h"
#include "engine/uSimThread.h"
#include "params/uAtomicFile.h"
#include "params/uErrors.h"
#include "params/uLogMessage.h"
#include "params/uMemoryCheck.h"
#include "params/uMessageReporter.h"
#include "params/uParamFile.h"
#include "plots/calc/uSECTrace.h"

#include <CLI/CLI.hpp>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <ostream>
#include <vector>

namespace Cli {

namespace {

namespace fs = std::filesystem;

// The message log of a command-line run: every line to the output stream
// (unless quiet) and to log.txt. Lines come from the simulation thread and
// from this one; a progress bar on the error stream is cleared before a line
// is printed and redrawn afterwards by the progress loop.
class TCliLogSink : public Propagon::TLogSink {
public:
  TCliLogSink(std::ostream& out, std::ostream& err, bool quiet) : FOut(out), FErr(err), FQuiet(quiet) {}

  // The log is written beside log.txt and replaces it at the end (CommitFile),
  // so a run that cannot write its log keeps the one of the run before.
  bool OpenFile(const fs::path& path) {
    FFile = std::make_unique<Propagon::TAtomicFile>(path.string());
    return FFile->IsOpen();
  }
  bool CommitFile() {
    std::lock_guard lock(FMutex);
    return FFile != nullptr && FFile->Commit();
  }

  void LogLine(const std::string& line) override {
    // The log's own line breaks are CR LF; a text file on this system and the
    // terminal want one newline.
    std::string text;
    text.reserve(line.size() + 1);
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '\r' && i + 1 < line.size() && line[i + 1] == '\n') continue;
      text += line[i];
    }
    text += '\n';
    std::lock_guard lock(FMutex);
    if (FFile != nullptr && FFile->IsOpen()) FFile->Stream() << text << std::flush;
    if (FQuiet) return;
    if (FBarShown) {
      FErr << "\r\033[K" << std::flush;
      FBarShown = false;
    }
    FOut << text << std::flush;
  }

  void DrawBar(const std::string& bar) {
    std::lock_guard lock(FMutex);
    FErr << '\r' << bar << "\033[K" << std::flush;
    FBarShown = true;
  }
  void ClearBar() {
    std::lock_guard lock(FMutex);
    if (FBarShown) FErr << "\r\033[K" << std::flush;
    FBarShown = false;
  }

private:
  std::ostream& FOut;
  std::ostream& FErr;
  bool FQuiet;
  std::unique_ptr<Propagon::TAtomicFile> FFile;
  std::mutex FMutex;
  bool FBarShown = false;
};

// The recorder, plus the end of Execute as an event the command waits for.
class TCommandObserver : public TRunRecorder {
public:
  using TRunRecorder::TRunRecorder;
  std::mutex Mutex;
  std::condition_variable Changed;
  bool Returned = false;

  void ExecuteReturned() override {
    {
      std::lock_guard lock(Mutex);
      Returned = true;
    }
    Changed.notify_all();
  }
};

std::string ProgressBar(double fraction, double time, double lastTime, double eventsPerSecond, const std::string& summary) {
  if (!(fraction >= 0.0)) fraction = 0.0;
  if (fraction > 1.0) fraction = 1.0;
  constexpr int width = 24;
  const int filled = static_cast<int>(fraction * width);
  std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                    std::string(static_cast<std::size_t>(width - filled), '.') + "]";
  char text[160];
  std::snprintf(text, sizeof text, " %5.1f%%  t= %.6g / %.6g s  %.3g events/s  ", 100.0 * fraction, time, lastTime,
                eventsPerSecond);
  return bar + text + summary;
}

fs::path DefaultOutDir(const std::string& file) { return fs::current_path() / (fs::path(file).stem().string() + "-results"); }

} // namespace

namespace {

// The run itself, its results and their messages, with the log sink installed.
int RunWithLog(const TRunOptions& options, const TMaldiRequest& maldi, Params::TParameterFile& file,
               Params::TStreamReporter& reporter, const fs::path& outDir, TCliLogSink& sink, std::ostream& err) {
  Propagon::LogMessage("Loading the File \"" + fs::absolute(options.File).string() + "\" ...");
  try {
    if (Params::CheckRequiredMemory(file, reporter)) return ExitLowMemory;
  } catch (const std::exception& e) {
    err << "Error: " << e.what() << std::endl;
    return ExitError;
  }

  // Last scheduled time, for the progress bar (read here, not from the state
  // the simulation thread is filling).
  double lastTime = 0.0;
  try {
    int high = -1;
    std::vector<double> times;
    file.ReadCheckingPointsArray(high, times);
    if (!times.empty()) lastTime = times.back();
  } catch (const std::exception&) {
    // The run reports an unreadable check point itself.
  }

  Engine::TSimState& state = Engine::SimState();
  if (Engine::SimulationRunning()) {
    err << "Error: A simulation is still running" << std::endl;
    return ExitError;
  }
  state.FreeAllocatedMemory();
  state.FixedSeed = options.Seed;
  TCommandObserver observer(state);
  observer.OnRunInitialized = [&state] { Propagon::LogMessage("Random Seed: " + std::to_string(state.SeedUsed)); };

  Propagon::LogMessage("Creating Simulation Thread...");
  bool interrupted = false;
  Engine::TSimThread thread(file, observer, state);
  thread.Start();
  {
    auto lastDraw = std::chrono::steady_clock::now();
    std::uint64_t lastEvents = 0;
    double eventsPerSecond = 0.0;
    std::unique_lock lock(observer.Mutex);
    while (!observer.Returned) {
      observer.Changed.wait_for(lock, std::chrono::milliseconds(100));
      if (options.Interrupt != nullptr && options.Interrupt->load() && !interrupted) {
        interrupted = true;
        // As the Stop button: the run completes its step and ends.
        Propagon::LogMessage("Simulation Terminated by User!");
        Propagon::LogMessage("Complete the Last Step...");
        Propagon::LogMessage("");
        thread.Terminate();
      }
      if (options.Progress && !observer.Returned) {
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - lastDraw).count();
        if (seconds >= 0.25) {
          const std::uint64_t events = thread.Run().Events();
          eventsPerSecond = static_cast<double>(events - lastEvents) / seconds;
          lastEvents = events;
          lastDraw = now;
          const double time = thread.Run().ProgressTime();
          sink.DrawBar(ProgressBar(lastTime > 0.0 ? time / lastTime : 1.0, time, lastTime, eventsPerSecond,
                                   observer.LastSummary()));
        }
      }
    }
  }
  thread.WaitFor();
  sink.ClearBar();
  thread.OnSimulationEnd();

  // Results. A run that failed or was stopped still writes what it recorded.
  TRunSummary summary;
  summary.ProcessType = state.ProcessType;
  summary.Chains = state.ChainsNumber;
  summary.CheckPoints = observer.Rows().size();
  summary.Seed = state.SeedUsed;
  summary.Steps = thread.Run().Steps();
  summary.Events = thread.Run().Events();
  summary.WallSeconds = thread.WallSeconds();
  if (!observer.Rows().empty()) {
    const TCheckPointRow& last = observer.Rows().back();
    summary.Conversion = last.Conversion;
    summary.DPn = last.DP.DPn;
    summary.Dispersity = last.DP.Dispersity;
  }
  if (state.LargestDP() > 0) {
    summary.Mn = state.Mn;
    summary.Mw = state.Mw;
  }
  summary.Status = thread.Failed() ? "failed" : interrupted ? "stopped" : "completed";
  try {
    WriteCheckPoints(outDir / "checkpoints.tsv", observer.Rows());
    WriteDPDistribution(outDir / "dp_distribution.tsv", state);
    WriteMassDistribution(outDir / "mass_distribution.tsv", state);
    // The curves of the SEC and molar-mass distribution charts at their
    // initial track-bar settings (broadening position 100, resolution 21).
    for (const char* name : {"sec.tsv", "mass_distribution_smoothed.tsv"}) {
      const std::filesystem::path path = outDir / name;
      const Plots::TCurveFileResult written = name[0] == 's' ? Plots::SaveSECTrace(state, path.string())
                                                             : Plots::SaveSmoothedDistributions(state, path.string());
      if (written == Plots::TCurveFileResult::WriteFailed) throw std::runtime_error("Unable to write to " + path.string());
    }
    if (options.Chains) WriteChains(outDir / "chains.tsv", state);
    WriteSummary(outDir / "summary.json", summary);
  } catch (const std::exception& e) {
    err << "Error: " << e.what() << std::endl;
    return ExitError;
  }
  if (!options.Maldi.empty() && state.LargestDP() > 0) {
    std::string error;
    if (!WriteMaldiResults(maldi, DefaultMaldiLibraryPath(), file, state, outDir, error)) {
      err << "Error: " << error << std::endl;
      return ExitError;
    }
  } else if (!options.Maldi.empty()) {
    Propagon::LogMessage("No MALDI spectrum: no chain has grown");
  }
  Propagon::LogMessage("Results written to \"" + outDir.string() + "\"");

  if (thread.Failed()) {
    err << "Error: The simulation ended early: " << thread.ErrorMessage() << std::endl;
    return ExitError;
  }
  return interrupted ? ExitInterrupted : ExitSuccess;
}

} // namespace

int RunParameterFile(const TRunOptions& options, std::ostream& out, std::ostream& err) {
  Params::TStreamReporter reporter(err);

  std::error_code ec;
  if (!fs::is_regular_file(options.File, ec)) {
    err << "Error: Cannot open \"" << options.File << "\": no such file" << std::endl;
    return ExitError;
  }
  // A spectrum request that cannot be met is refused before the run.
  TMaldiRequest maldi;
  if (!options.Maldi.empty()) {
    std::string error;
    if (!ParseMaldiRequest(options.Maldi, maldi, error) ||
        !CheckMaldiCation(maldi, DefaultMaldiLibraryPath(), error)) {
      err << "Error: " << error << std::endl;
      return ExitError;
    }
  }
  Params::TParameterFile file(options.File);
  // The validity marker, with the message the main window shows in its box.
  if (!file.CheckFileValid(reporter)) return ExitInvalidFile;

  const fs::path outDir = options.OutDir.empty() ? DefaultOutDir(options.File) : fs::path(options.OutDir);
  fs::create_directories(outDir, ec);
  if (ec || !fs::is_directory(outDir)) {
    err << "Error: Cannot create the output folder \"" << outDir.string() << "\": " << ec.message() << std::endl;
    return ExitError;
  }
  TCliLogSink sink(out, err, options.Quiet);
  if (!sink.OpenFile(outDir / "log.txt")) {
    err << "Error: Unable to write to " << (outDir / "log.txt").string() << std::endl;
    return ExitError;
  }
  int code = ExitSuccess;
  {
    Propagon::TLogSinkGuard logGuard(&sink);
    code = RunWithLog(options, maldi, file, reporter, outDir, sink, err);
  }
  // Like the tables, the log replaces an earlier run's log.txt only once it
  // is written whole.
  if (!sink.CommitFile()) {
    err << "Error: Unable to write to " << (outDir / "log.txt").string() << std::endl;
    if (code == ExitSuccess) code = ExitError;
  }
  return code;
}

namespace {

std::atomic<bool> GInterrupted{false};

extern "C" void OnInterrupt(int) {
  GInterrupted.store(true);
  // A second Ctrl+C ends the program at once.
  std::signal(SIGINT, SIG_DFL);
}

} // namespace

void AddRunCommand(CLI::App& app) {
  auto options = std::make_shared<TRunOptions>();
  auto seed = std::make_shared<std::int64_t>(-1);
  CLI::App* run = app.add_subcommand("run", "Simulate a parameter file (.kpx) and write its results into a folder");
  run->add_option("file", options->File, "Parameter file (.kpx), as written by the parameter editor")
      ->required()
      ->type_name("FILE.kpx");
  run->add_option("--out", options->OutDir, "Output folder (default: <file stem>-results in the current folder)")
      ->type_name("DIR");
  run->add_option("--seed", *seed,
                  "Seed of the random generator, 0..4294967295 (default: the millisecond tick counter); "
                  "the seed used is always reported")
      ->type_name("N")
      ->check(CLI::Range(std::int64_t{0}, std::int64_t{4294967295}));
  run->add_flag("--chains", options->Chains, "Also write chains.tsv with the sequence of every chain");
  run->add_flag("--quiet", options->Quiet, "Do not print the message log (it is still written to DIR/log.txt)");
  run->add_option("--maldi", options->Maldi,
                  "After the run, also write the simulated MALDI-ToF spectrum up to m/z UPPER with the cation "
                  "CATION (for example Na+:5000): maldi.tsv and maldi_labels.tsv")
      ->type_name("CATION:UPPER");
  run->footer(
      "The file is checked as the desktop program does when it opens it: the validity marker and the stored\n"
      "memory requirement. The message log goes to the standard output and to DIR/log.txt; a progress bar\n"
      "(simulated time against the last check point, events per second) is drawn on the standard error\n"
      "while it is a terminal. Ctrl+C stops the run as the Stop button does; a second one ends the program.\n"
      "\n"
      "Written into DIR (numbers with \".\" and full precision, tab-separated):\n"
      "  checkpoints.tsv        one row per recorded check point from 0: checkpoint, time_s (scheduled),\n"
      "                         initiator, dead_chains, monomer_A, monomer_B, conversion, A_centers,\n"
      "                         B_centers, AA, AB, BA, BB (dyad fractions), DPn, DPw, DPz, dispersity\n"
      "                         (from the DP histogram over DP >= 1), Mn, Mw (g/mol)\n"
      "  dp_distribution.tsv    DP, chains: the final DP histogram from 0 to the largest DP\n"
      "  mass_distribution.tsv  mass, number, weight: the non-empty bins of the final mass histograms\n"
      "  mass_distribution_smoothed.tsv  mass, number, weight: the curves of the mass distribution chart\n"
      "                         (moving average over 21 g/mol, divided by the totals from 100 g/mol on)\n"
      "  sec.tsv                log10_M, signal: the simulated SEC trace (Gaussian broadening 0.01 decade,\n"
      "                         highest point 1)\n"
      "  summary.json           process_type, chains, checkpoints, seed, steps (attempts), events (reactions),\n"
      "                         wall_seconds, events_per_second, steps_per_second, conversion, Mn, Mw, DPn,\n"
      "                         dispersity, status (completed, stopped or failed)\n"
      "  chains.tsv             with --chains: chain, DP, head (head byte), sequence (letters A and B)\n"
      "  maldi.tsv              with --maldi: mz, then the chains per 0.1 m/z point of each curve of the\n"
      "                         process type (I~~I recombined, I~H and I~= disproportionated, I~X capped or\n"
      "                         living chains), isotopic patterns from libMaldi.so beside the program\n"
      "  maldi_labels.tsv       with --maldi: mz, curve, label (i+j: units of A and B) of the main peaks\n"
      "  log.txt                the message log\n"
      "\n"
      "Exit codes: 0 success; 1 any other error (missing file, unreadable value, failed run, unwritable\n"
      "output); 2 not a valid parameter file; 3 too little free memory for the stored requirement;\n"
      "130 stopped by Ctrl+C (the results up to the stop are written).");
  run->callback([options, seed] {
    TRunOptions o = *options;
    if (*seed >= 0) o.Seed = static_cast<std::uint32_t>(*seed);
    o.Progress = ::isatty(STDERR_FILENO) != 0;
    GInterrupted.store(false);
    o.Interrupt = &GInterrupted;
    std::signal(SIGINT, OnInterrupt);
    const int code = RunParameterFile(o, std::cout, std::cerr);
    std::signal(SIGINT, SIG_DFL);
    if (code != ExitSuccess) throw CLI::RuntimeError(code);
  });
}

} // namespace Cli
