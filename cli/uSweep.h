#pragma once
// Parameter studies on an existing scheduler.
//
// `polykin-cli sweep BASE.kpx --set "Section/Key=v1,v2,..." [--set ...]
//  [--replicas N] [--seed S] --out DIR` writes, for every combination of the
// values (the first --set varies slowest), DIR/run_K/params.kpx: the base
// file with those values, prepared exactly as `prepare` does (a combination
// that does not validate is reported and skipped). Beside them:
//   sweep.tsv     run, status (prepared or skipped), seed, replicas, then one
//                 column per --set with its value: what `collect` reads
//   jobs.txt      one `polykin-cli run` command per prepared run, for GNU
//                 parallel: parallel -j J < DIR/jobs.txt
//   sweep.sbatch  a Slurm job array whose task i runs line i of jobs.txt:
//                 sbatch DIR/sweep.sbatch
// Run K has the seed S + (K-1) N (its replicas S + (K-1) N ... + N - 1), so a
// rerun of a line gives the same numbers. DIR must be new or empty.
//
// `polykin-cli collect DIR` merges the finished runs into DIR/collected.tsv:
// run, the swept values, then the columns of each run's checkpoints.tsv (or,
// with replicas, ensemble/checkpoints_mean.tsv), one row per run and check
// point; runs that are missing, failed or stopped are reported and left out.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace Cli {

// One --set: the name "Section/Key" and its values.
struct TSweepAxis {
  std::string Name;
  std::vector<std::string> Values;
};
// Parses "Section/Key=v1,v2,..." (values without blanks around them; "." as
// the decimal separator, since "," separates the values).
bool ParseSweepAxis(const std::string& text, TSweepAxis& axis, std::string& error);

struct TSweepOptions {
  std::string BaseFile;
  std::vector<std::string> Sets;
  unsigned Replicas = 1;
  std::optional<std::uint32_t> Seed;
  std::string OutDir;
  std::string LibraryPath; // empty: libMaldi.so beside the program
  std::string Program;     // the polykin-cli the job lines start
};

// Exit codes: 0 written (skipped combinations are reported); 1 bad usage or
// an output refused; 2 no combination validated, or a --set names a key the
// base file does not have; 3 the molar-mass library is missing.
int RunSweepCommand(const TSweepOptions& options, std::ostream& out, std::ostream& err);

// Exit codes: 0 every prepared run collected; 1 not a sweep folder, or
// nothing to collect; 4 some runs missing or failed (the table holds the others).
int RunCollectCommand(const std::string& dir, std::ostream& out, std::ostream& err);

// A word quoted for the POSIX shell ('...' with ' written as '\'').
std::string ShellQuote(const std::string& word);

void AddSweepCommand(CLI::App& app);
void AddCollectCommand(CLI::App& app);

} // namespace Cli
