#include "cli/uReplicas.h"

#include "cli/uEnsemble.h"
#include "cli/uRunCommand.h"
#include "params/uAtomicFile.h"
#include "params/uMessageReporter.h"
#include "params/uParamFile.h"
#include "params/uRunChecks.h"

#include <CLI/CLI.hpp>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <thread>

extern char** environ;

namespace Cli {

namespace fs = std::filesystem;

namespace {

struct TReplica {
  unsigned Index = 0;
  std::uint32_t Seed = 0;
  fs::path Folder;
  fs::path ErrorFile;
  pid_t Pid = -1;
  int ExitCode = -1; // -1: not run
  std::chrono::steady_clock::time_point StopSent{};
  bool Interrupted = false;
};

std::string StatusText(int code) {
  switch (code) {
  case -1: return "not run";
  case ExitSuccess: return "completed";
  case ExitInterrupted: return "stopped";
  default: return "failed";
  }
}

// Starts one replica; its output is not wanted (quiet), its error stream goes to a file.
pid_t Spawn(const std::string& program, const std::vector<std::string>& arguments, const fs::path& errorFile,
            std::string& error) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    error = "Cannot start \"" + program + "\": " + std::strerror(rc);
    return -1;
  }
  return pid;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Bar(unsigned done, unsigned running, unsigned failed, unsigned total) {
  constexpr unsigned width = 24;
  const unsigned filled = total ? done * width / total : width;
  std::string bar = "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]";
  char text[120];
  std::snprintf(text, sizeof text, " %u/%u replicas done, %u running%s", done, total, running,
                failed ? (", " + std::to_string(failed) + " failed").c_str() : "");
  return bar + text;
}

void WriteReplicaList(const std::vector<TReplica>& replicas, const fs::path& path) {
  Propagon::TAtomicFile file(path.string());
  if (!file.IsOpen()) throw std::runtime_error("Unable to write to " + path.string());
  file.Stream() << "replica\tseed\texit_code\tstatus\tfolder\n";
  for (const TReplica& r : replicas)
    file.Stream() << r.Index + 1 << '\t' << r.Seed << '\t' << r.ExitCode << '\t' << StatusText(r.ExitCode) << '\t'
                  << r.Folder.filename().string() << '\n';
  if (!file.Commit()) throw std::runtime_error("Unable to write to " + path.string());
}


} // namespace

std::uint32_t ReplicaSeed(std::uint32_t first, unsigned k) { return first + static_cast<std::uint32_t>(k); }

std::string NumberedName(const std::string& prefix, std::size_t k, std::size_t count) {
  const std::string number = std::to_string(k + 1);
  const std::size_t width = std::to_string(count).size();
  return prefix + std::string(width > number.size() ? width - number.size() : 0, '0') + number;
}

std::uint32_t TickSeed() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<std::uint32_t>(ms.count());
}


TReplicaOutcome RunReplicas(const TReplicaOptions& options, std::ostream& out, std::ostream& err) {
  TReplicaOutcome outcome;
  const auto fail = [&outcome](int code) {
    outcome.Code = code;
    return outcome;
  };
  std::error_code ec;
  if (!fs::is_regular_file(options.File, ec)) {
    err << "Error: Cannot open \"" << options.File << "\": no such file" << std::endl;
    return fail(ExitError);
  }
  if (options.Replicas < 1) {
    err << "Error: --replicas must be at least 1" << std::endl;
    return fail(ExitError);
  }
  {
    Params::TStreamReporter reporter(err);
    const Params::TParameterFile file(options.File);
    if (!file.CheckFileValid(reporter)) return fail(ExitInvalidFile);
    // Refused here once rather than by every replica.
    if (const std::string problem = Params::RunnableFileProblem(file); !problem.empty()) {
      err << "Error: " << problem << std::endl;
      return fail(ExitInvalidFile);
    }
  }
  const fs::path outDir = options.OutDir.empty()
                              ? fs::current_path() / (fs::path(options.File).stem().string() + "-results")
                              : fs::path(options.OutDir);
  fs::create_directories(outDir, ec);
  if (ec || !fs::is_directory(outDir)) {
    err << "Error: Cannot create the output folder \"" << outDir.string() << "\": " << ec.message() << std::endl;
    return fail(ExitError);
  }
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const unsigned jobs = std::min(options.Jobs == 0 ? cores : options.Jobs, options.Replicas);
  outcome.FirstSeed = options.Seed ? *options.Seed : TickSeed();

  std::vector<TReplica> replicas(options.Replicas);
  for (unsigned k = 0; k < options.Replicas; ++k) {
    TReplica& r = replicas[k];
    r.Index = k;
    r.Seed = ReplicaSeed(outcome.FirstSeed, k);
    r.Folder = outDir / ReplicaFolderName(k, options.Replicas);
    r.ErrorFile = outDir / (ReplicaFolderName(k, options.Replicas) + ".stderr.txt");
    outcome.Folders.push_back(r.Folder.string());
  }
  if (!options.Quiet)
    out << "Running " << options.Replicas << " replicas of \"" << fs::absolute(options.File).string() << "\", "
        << jobs << " at a time; seeds " << replicas.front().Seed << " to " << replicas.back().Seed << std::endl;

  unsigned next = 0, running = 0, done = 0, failed = 0;
  bool stopping = false;
  std::string spawnError;
  auto lastDraw = std::chrono::steady_clock::now() - std::chrono::seconds(1);
  const auto more = [&] { return (!stopping && next < replicas.size()) || running > 0; };
  while (more()) {
    if (!stopping && options.StopRequested && options.StopRequested()) stopping = true;
    while (!stopping && running < jobs && next < replicas.size()) {
      TReplica& r = replicas[next++];
      std::vector<std::string> arguments = {"run", options.File, "--out", r.Folder.string(), "--seed",
                                            std::to_string(r.Seed), "--quiet"};
      arguments.insert(arguments.end(), options.ReplicaArguments.begin(), options.ReplicaArguments.end());
      r.Pid = Spawn(options.Program, arguments, r.ErrorFile, spawnError);
      if (r.Pid < 0) {
        err << "Error: " << spawnError << std::endl;
        r.ExitCode = ExitError;
        ++failed;
        ++done;
        stopping = true;
        break;
      }
      ++running;
    }
    const auto now = std::chrono::steady_clock::now();
    for (TReplica& r : replicas) {
      if (r.Pid < 0) continue;
      int status = 0;
      const pid_t ended = ::waitpid(r.Pid, &status, WNOHANG);
      if (ended == r.Pid) {
        r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.Pid = -1;
        --running;
        ++done;
        if (r.ExitCode != ExitSuccess && r.ExitCode != ExitInterrupted) ++failed;
      } else if (stopping && r.StopSent == std::chrono::steady_clock::time_point{}) {
        r.StopSent = now;
      } else if (stopping && !r.Interrupted && now - r.StopSent > std::chrono::seconds(1)) {
        // Ctrl+C on a terminal reaches the replicas by itself; a stop from
        // elsewhere (Python, a signal to this process alone) is passed on.
        ::kill(r.Pid, SIGINT);
        r.Interrupted = true;
      }
    }
    if (options.Progress && now - lastDraw >= std::chrono::milliseconds(250)) {
      err << '\r' << Bar(done, running, failed, options.Replicas) << "\033[K" << std::flush;
      lastDraw = now;
    }
    if (more()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (options.Progress) err << "\r\033[K" << std::flush;

  std::vector<fs::path> finished;
  for (const TReplica& r : replicas) {
    const std::string errors = ReadAll(r.ErrorFile);
    if (r.ExitCode == ExitSuccess) finished.push_back(r.Folder);
    else if (r.ExitCode != -1 && r.ExitCode != ExitInterrupted)
      err << "Error: replica " << r.Index + 1 << " (seed " << r.Seed << ") exited with code " << r.ExitCode
          << (errors.empty() ? "" : ":\n" + errors) << (errors.empty() || errors.back() == '\n' ? "" : "\n");
    if (errors.empty()) fs::remove(r.ErrorFile, ec);
  }
  try {
    const fs::path ensemble = outDir / "ensemble";
    fs::create_directories(ensemble, ec);
    WriteReplicaList(replicas, ensemble / "replicas.tsv");
    if (!finished.empty()) {
      WriteEnsemble(finished, ensemble);
      outcome.EnsembleDir = ensemble.string();
    }
  } catch (const std::exception& e) {
    err << "Error: " << e.what() << std::endl;
    return fail(ExitError);
  }
  if (!options.Quiet) {
    out << finished.size() << " of " << options.Replicas << " replicas completed";
    if (!outcome.EnsembleDir.empty()) out << "; ensemble written to \"" << outcome.EnsembleDir << "\"";
    out << std::endl;
  }
  if (stopping && failed == 0) return fail(ExitInterrupted);
  return fail(failed > 0 || finished.empty() ? ExitError : ExitSuccess);
}

std::shared_ptr<TReplicaCliOptions> AddReplicaOptions(CLI::App& run) {
  auto options = std::make_shared<TReplicaCliOptions>();
  CLI::Option* replicas = run.add_option("--replicas", options->Replicas,
                 "Run N independent replicas with the seeds S, S+1, ... (S from --seed, or drawn and reported), "
                 "each into DIR/replica_K, and write their mean and standard error into DIR/ensemble")
      ->type_name("N")
      ->check(CLI::Range(1u, 100000u));
  replicas->each([options](const std::string&) { options->Given = true; });
  run.add_option("--jobs", options->Jobs,
                 "With --replicas: run J replicas at a time, each in its own process (default: the number of cores)")
      ->type_name("J")
      ->check(CLI::Range(1u, 1024u))
      ->needs(replicas);
  run.footer(run.get_footer() +
             "\n\nWith --replicas N, DIR holds replica_1 ... replica_N (the folders of single runs with\n"
             "the seeds S ... S+N-1) and ensemble/: checkpoints_mean.tsv (checkpoint, time_s, replicas, then\n"
             "C_mean and C_sem, the mean and its standard error, for every other column C of checkpoints.tsv),\n"
             "dp_distribution.tsv and mass_distribution.tsv (the replicas' histograms added up) and\n"
             "replicas.tsv (replica, seed, exit_code, status, folder). Exit code 1 when a replica failed.");
  return options;
}

int RunReplicasCommand(const TRunOptions& run, const TReplicaCliOptions& replicas, std::ostream& out,
                       std::ostream& err) {
  TReplicaOptions options;
  options.File = run.File;
  options.OutDir = run.OutDir;
  options.Replicas = replicas.Replicas;
  options.Jobs = replicas.Jobs;
  options.Seed = run.Seed;
  if (run.Chains) options.ReplicaArguments.push_back("--chains");
  if (!run.Maldi.empty()) options.ReplicaArguments.insert(options.ReplicaArguments.end(), {"--maldi", run.Maldi});
  std::error_code ec;
  options.Program = fs::read_symlink("/proc/self/exe", ec).string();
  if (ec) {
    err << "Error: Cannot find this program to start the replicas: " << ec.message() << std::endl;
    return ExitError;
  }
  options.Progress = run.Progress;
  options.Quiet = run.Quiet;
  const std::atomic<bool>* interrupt = run.Interrupt;
  options.StopRequested = [interrupt] { return interrupt != nullptr && interrupt->load(); };
  return RunReplicas(options, out, err).Code;
}

} // namespace Cli
