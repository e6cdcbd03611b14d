#pragma once
// `polykin-cli run FILE --replicas N [--jobs J]`: N independent runs of one
// parameter file with the seeds S, S+1, ..., S+N-1 (S from --seed, or drawn
// from the millisecond tick counter and logged), J at a time, each in its own
// process (the simulation state is program-wide) started as
//   polykin-cli run FILE --out DIR/replica_K --seed S+K-1 --quiet [--chains] [--maldi ...]
// then the ensemble tables of the finished ones in DIR/ensemble/ (uEnsemble.h)
// and ensemble/replicas.tsv (replica, seed, exit_code, status).
//
// A replica's error stream goes to DIR/replica_K.stderr.txt (removed when
// empty) and is shown when it fails. Exit code: 0 all replicas completed; 1
// some failed (the ensemble holds the others) or nothing could be written;
// 2 not a valid parameter file; 130 stopped (Ctrl+C reaches the replicas,
// which stop as the Stop button does; no new one is started).

#include "cli/uRunCommand.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace Cli {

struct TReplicaOptions {
  std::string File;
  std::string OutDir; // empty: "<file stem>-results" in the current folder
  unsigned Replicas = 1;
  unsigned Jobs = 0;  // 0: the number of cores
  std::optional<std::uint32_t> Seed;
  std::vector<std::string> ReplicaArguments; // added to every replica's command (--chains, --maldi X)
  std::string Program;                      // polykin-cli
  bool Progress = false;                    // progress bar over the replicas on the error stream
  bool Quiet = false;                       // no log lines on the output stream
  // Polled about ten times a second; true stops the replicas.
  std::function<bool()> StopRequested;
};

struct TReplicaOutcome {
  int Code = 0;
  std::uint32_t FirstSeed = 0;
  std::vector<std::string> Folders; // every replica's folder, in order
  std::string EnsembleDir;          // empty when no ensemble was written
};

TReplicaOutcome RunReplicas(const TReplicaOptions& options, std::ostream& out, std::ostream& err);

// The seed of replica k (0-based): first + k, modulo 2^32.
std::uint32_t ReplicaSeed(std::uint32_t first, unsigned k);
// prefix + K with K = k + 1, zero-padded to the width of `count`: the
// folders replica_K of the replicas and run_K of a sweep sort in order.
std::string NumberedName(const std::string& prefix, std::size_t k, std::size_t count);
inline std::string ReplicaFolderName(unsigned k, unsigned count) { return NumberedName("replica_", k, count); }
// A first seed when none is given: the millisecond tick counter, as a run's.
std::uint32_t TickSeed();

// The command-line hook of `run`: registers --replicas and --jobs on the
// sub-command; Requested() (--replicas given, even as 1) tells the callback
// to hand the run to RunReplicas.
struct TReplicaCliOptions {
  unsigned Replicas = 1;
  unsigned Jobs = 0;
  bool Given = false;
  bool Requested() const { return Given; }
};
// Also adds the replica outputs to the help text (after the footer of `run`).
std::shared_ptr<TReplicaCliOptions> AddReplicaOptions(CLI::App& run);

// The callback's side: the options of `run` turned into a replica run of
// this program (/proc/self/exe), its stop flag polled.
int RunReplicasCommand(const TRunOptions& run, const TReplicaCliOptions& replicas, std::ostream& out,
                       std::ostream& err);

} // namespace Cli
