#include "cli/uRunCommand.h"

#include "cli/uCliSignals.h"
#include "cli/uPrepareCommand.h"
#include "cli/uResultsFolder.h"
#include "cli/uReplicas.h"
#include "cli/uRunMaldi.h"
#include "cli/uRunResults.h"
#include "cli/uRunSession.h"
#include "engine/uSimThread.h"
#include "params/uAtomicFile.h"
#include "params/uErrors.h"
#include "params/uLogMessage.h"
#include "params/uMemoryCheck.h"
#include "params/uMessageReporter.h"
#include "params/uParamFile.h"
#include "params/uRunChecks.h"
#include "plots/calc/uSECTrace.h"

#include <CLI/CLI.hpp>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <new>
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
  // Goes on with a committed log: its text so far is copied into a new
  // temporary file, which replaces it again at the next CommitFile.
  bool ReopenFile(const fs::path& path) {
    std::ifstream earlier(path, std::ios::binary);
    auto file = std::make_unique<Propagon::TAtomicFile>(path.string());
    if (!earlier || !file->IsOpen()) return false;
    file->Stream() << earlier.rdbuf();
    std::lock_guard lock(FMutex);
    FFile = std::move(file);
    return static_cast<bool>(FFile->Stream());
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

// What a run left in its fresh folder.
struct TFolderRunOutcome {
  int Code = ExitError;
  // The tables describe a run that started and did not fail, and every one
  // was written whole: they may replace the results of an earlier run.
  bool Complete = false;
};

// The run itself and its tables, with the log sink installed. Tables go into
// the folder's fresh copy; messages name them where they will stand.
TFolderRunOutcome RunWithLog(const TRunOptions& options, Params::TParameterFile& file,
                             Params::TStreamReporter& reporter, const TResultsFolder& folder, TCliLogSink& sink,
                             std::ostream& err) {
  TFolderRunOutcome outcome;
  TRunSessionOptions session;
  session.Seed = options.Seed;
  session.StopRequested = [&options] { return options.Interrupt != nullptr && options.Interrupt->load(); };
  if (options.Progress)
    session.Progress = [&sink](const TRunProgress& p) {
      sink.DrawBar(ProgressBar(p.Fraction, p.Time, p.LastTime, p.EventsPerSecond, p.Summary));
    };
  const TRunOutcome run = ExecuteRun(file, reporter, session);
  sink.ClearBar();
  if (!run.Started) {
    if (!run.Error.empty()) err << "Error: " << run.Error << std::endl;
    outcome.Code = run.Code;
    return outcome;
  }

  // Results. A run that failed or was stopped still writes what it recorded.
  Engine::TSimState& state = Engine::SimState();
  const TRunSummary& summary = run.Summary;
  // Each table is written on its own: one that fails (a full disk, too
  // little memory) is reported, and the others are still written. Messages
  // name the files where they will stand.
  const fs::path outDir = folder.Staging();
  bool written = true;
  const auto write = [&](const char* name, const std::function<void(const fs::path&)>& writer) {
    const fs::path path = outDir / name;
    try {
      writer(path);
    } catch (const std::bad_alloc&) {
      Propagon::LogMessage(std::string("Writing ") + name + " Failed: Out of Memory");
      err << "Error: Unable to write to " << folder.InTarget(path.string()) << ": out of memory" << std::endl;
      written = false;
    } catch (const std::exception& e) {
      Propagon::LogMessage(std::string("Writing ") + name + " Failed: " + folder.InTarget(e.what()));
      err << "Error: " << folder.InTarget(e.what()) << std::endl;
      written = false;
    }
  };
  const auto curve = [](Plots::TCurveFileResult result, const fs::path& path) {
    if (result == Plots::TCurveFileResult::WriteFailed) throw std::runtime_error("Unable to write to " + path.string());
  };
  write("checkpoints.tsv", [&](const fs::path& path) { WriteCheckPoints(path, run.Rows); });
  write("dp_distribution.tsv", [&](const fs::path& path) { WriteDPDistribution(path, state); });
  write("mass_distribution.tsv", [&](const fs::path& path) { WriteMassDistribution(path, state); });
  // The curves of the SEC and molar-mass distribution charts at their
  // initial track-bar settings (broadening position 100, resolution 21).
  write("sec.tsv", [&](const fs::path& path) { curve(Plots::SaveSECTrace(state, path.string()), path); });
  write("mass_distribution_smoothed.tsv",
        [&](const fs::path& path) { curve(Plots::SaveSmoothedDistributions(state, path.string()), path); });
  if (options.Chains) write("chains.tsv", [&](const fs::path& path) { WriteChains(path, state); });
  write("summary.json", [&](const fs::path& path) { WriteSummary(path, summary); });
  if (!written) return outcome;
  if (run.Failed) {
    err << "Error: The simulation ended early: " << run.FailureMessage << std::endl;
    return outcome;
  }
  outcome.Complete = true;
  outcome.Code = run.Code;
  return outcome;
}
// The spectrum of the run's product, written into the results folder once the
// run's own outputs stand there: whatever the library does, they are safe.
int WriteMaldiAfterTheRun(const TMaldiRequest& maldi, const Params::TParameterFile& file, const fs::path& outDir,
                          TCliLogSink& sink, std::ostream& err) {
  const fs::path log = outDir / "log.txt";
  if (!sink.ReopenFile(log)) {
    err << "Error: Unable to write to " << log.string() << std::endl;
    return ExitError;
  }
  int code = ExitSuccess;
  {
    Propagon::TLogSinkGuard logGuard(&sink);
    const Engine::TSimState& state = Engine::SimState();
    std::string error;
    if (state.LargestDP() <= 0) {
      Propagon::LogMessage("No MALDI spectrum: no chain has grown");
    } else if (!WriteMaldiResults(maldi, DefaultMaldiLibraryPath(), file, state, outDir, error)) {
      err << "Error: " << error << std::endl;
      code = ExitError;
    }
  }
  if (!sink.CommitFile()) {
    err << "Error: Unable to write to " << log.string() << std::endl;
    code = ExitError;
  }
  return code;
}

void SayEarlierResultsKept(const TResultsFolder& folder, std::ostream& err) {
  if (folder.HadEarlier())
    err << "The results of the earlier run in \"" << folder.Target().string() << "\" are kept" << std::endl;
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
  // A process type without a kernel or check points not starting at 0: no run.
  if (const std::string problem = Params::RunnableFileProblem(file); !problem.empty()) {
    err << "Error: " << problem << std::endl;
    return ExitInvalidFile;
  }

  const fs::path outDir = options.OutDir.empty() ? DefaultOutDir(options.File) : fs::path(options.OutDir);
  TResultsFolder folder;
  std::string error;
  if (!folder.Prepare(outDir, error)) {
    err << "Error: " << error << std::endl;
    return ExitError;
  }
  const fs::path log = outDir / "log.txt";
  TCliLogSink sink(out, err, options.Quiet);
  if (!sink.OpenFile(folder.Staging() / "log.txt")) {
    err << "Error: Unable to write to " << log.string() << std::endl;
    return ExitError;
  }
  TFolderRunOutcome outcome;
  {
    Propagon::TLogSinkGuard logGuard(&sink);
    // Whatever ends the run, the log written so far is kept.
    try {
      outcome = RunWithLog(options, file, reporter, folder, sink, err);
    } catch (const std::bad_alloc&) {
      Propagon::LogMessage("Out of Memory! The Run Ends Here.");
      err << "Error: out of memory" << std::endl;
      outcome = TFolderRunOutcome{};
    } catch (const std::exception& e) {
      Propagon::LogMessage(std::string("Error: ") + folder.InTarget(e.what()));
      err << "Error: " << folder.InTarget(e.what()) << std::endl;
      outcome = TFolderRunOutcome{};
    }
    // A run that did not get as far as complete tables leaves the results of
    // an earlier run as they were; with no earlier results, what it wrote
    // (its log above all) is the best account of what happened.
    if (!outcome.Complete && folder.HadEarlier()) {
      folder.Discard();
      SayEarlierResultsKept(folder, err);
      return outcome.Code;
    }
    Propagon::LogMessage("Results written to \"" + outDir.string() + "\"");
  }
  // The log replaces an earlier run's log.txt only once it is written whole,
  // and the folder replaces the earlier folder only with every file in it.
  if (!sink.CommitFile()) {
    err << "Error: Unable to write to " << log.string() << std::endl;
    folder.Discard();
    SayEarlierResultsKept(folder, err);
    return ExitError;
  }
  if (!folder.Commit(error)) {
    err << "Error: " << error << std::endl;
    SayEarlierResultsKept(folder, err);
    return ExitError;
  }
  if (!options.Maldi.empty()) {
    const int code = WriteMaldiAfterTheRun(maldi, file, outDir, sink, err);
    if (code != ExitSuccess) return code;
  }
  return outcome.Code;
}

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
      "while it is a terminal. Ctrl+C, SIGTERM and SIGHUP stop the run as the Stop button does; a second one\n"
      "ends the program. The results go into a fresh folder beside DIR that replaces DIR as a whole once\n"
      "they are complete: a run that fails keeps the results of an earlier run in DIR. An existing DIR must\n"
      "belong to you and hold nothing but the results of a run.\n"
      "\n"
      "Written into DIR (numbers with \".\" and full precision, tab-separated):\n"
      "  checkpoints.tsv        one row per recorded check point from 0: checkpoint, time_s (scheduled),\n"
      "                         initiator, dead_chains, monomer_A, monomer_B, conversion, A_centers,\n"
      "                         B_centers, AA, AB, BA, BB (dyad fractions), DPn, DPw, DPz, dispersity\n"
      "                         (from the DP histogram over DP >= 1), Mn, Mw (g/mol)\n"
      "  dp_distribution.tsv    DP, chains: the final DP histogram from 0 to the largest DP\n"
      "  mass_distribution.tsv  mass, number, weight: the non-empty bins of the final mass histograms\n"
      "  mass_distribution_smoothed.tsv  mass, number, weight: the curves of the mass distribution chart\n"
      "                         (moving average over 21 g/mol, divided by the totals from 100 g/mol on):\n"
      "                         the rows that carry them, every point off zero with the zero on either\n"
      "                         side of each stretch and the axis ends; a point left out is 0\n"
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
      "130, 143, 129 stopped by Ctrl+C, SIGTERM, SIGHUP (the results up to the stop are written).");
  const auto replicas = AddReplicaOptions(*run);
  run->callback([options, seed, replicas] {
    TRunOptions o = *options;
    if (*seed >= 0) o.Seed = static_cast<std::uint32_t>(*seed);
    o.Progress = ::isatty(STDERR_FILENO) != 0;
    o.Interrupt = &StopRequested();
    const int code = replicas->Requested() ? RunReplicasCommand(o, *replicas, std::cout, std::cerr)
                                           : RunParameterFile(o, std::cout, std::cerr);
    if (code != ExitSuccess) throw CLI::RuntimeError(code);
  });
}

} // namespace Cli
