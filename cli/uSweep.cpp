#include "cli/uSweep.h"

#include "cli/uEnsemble.h"
#include "cli/uOverrides.h"
#include "cli/uPrepareCommand.h"
#include "cli/uReplicas.h"
#include "params/uAtomicFile.h"
#include "params/uIniFile.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>

namespace Cli {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t MaxCombinations = 100000;


// The error lines of `prepare`, on one line each, for the report of a skipped run.
std::string Indented(const std::string& text) {
  std::string result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line != "Nothing was written.") result += "  " + line + "\n";
  return result;
}

// sbatch reads a quoted directive value whole, so the logs may go into a
// folder with blanks; a '"' cannot be quoted there, and such a folder keeps
// Slurm's default (slurm-JOB_TASK.out in the submitting folder).
std::string OutputDirective(const fs::path& dir) {
  const std::string path = (dir / "slurm-%A_%a.out").string();
  if (path.find_first_of("\"\n") != std::string::npos) return "";
  return "#SBATCH --output=\"" + path + "\"\n";
}

std::string SlurmScript(const fs::path& dir, std::size_t lines) {
  std::ostringstream s;
  s << "#!/bin/bash\n"
    << "# A Slurm job array over the lines of jobs.txt: task i runs line i.\n"
    << "#   sbatch " << ShellQuote((dir / "sweep.sbatch").string()) << "\n"
    << "# Add #SBATCH lines for your site (partition, account, time, memory) below.\n"
    << "#SBATCH --job-name=propagon-sweep\n"
    << "#SBATCH --array=1-" << lines << "\n"
    << "#SBATCH --ntasks=1\n"
    << "#SBATCH --cpus-per-task=1\n"
    << OutputDirective(dir)
    << "set -euo pipefail\n"
    << "jobs=" << ShellQuote((dir / "jobs.txt").string()) << "\n"
    << ": \"${SLURM_ARRAY_TASK_ID:?run this script with sbatch, or set SLURM_ARRAY_TASK_ID}\"\n"
    << "line=$(sed -n \"${SLURM_ARRAY_TASK_ID}p\" \"$jobs\")\n"
    << "if [ -z \"$line\" ]; then\n"
    << "  echo \"no line ${SLURM_ARRAY_TASK_ID} in $jobs\" >&2\n"
    << "  exit 1\n"
    << "fi\n"
    << "exec bash -c \"$line\"\n";
  return s.str();
}


} // namespace

std::string ShellQuote(const std::string& word) {
  std::string quoted = "'";
  for (const char c : word) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

bool ParseSweepAxis(const std::string& text, TSweepAxis& axis, std::string& error) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos) {
    error = "--set \"" + text + "\": expected Section/Key=value1,value2,...";
    return false;
  }
  axis.Name = text.substr(0, equals);
  std::string section, key;
  if (!ParseOverrideName(axis.Name, section, key, error)) {
    error = "--set " + error;
    return false;
  }
  axis.Values.clear();
  std::istringstream values(text.substr(equals + 1));
  for (std::string value; std::getline(values, value, ',');) axis.Values.push_back(value);
  if (!text.empty() && text.back() == ',') axis.Values.push_back("");
  for (const std::string& v : axis.Values) {
    if (v.empty() || v.find_first_of(" \t\r\n") != std::string::npos) {
      error = "--set \"" + text + "\": every value must be one word, none empty (the decimal separator is \".\")";
      return false;
    }
  }
  if (axis.Values.empty()) {
    error = "--set \"" + text + "\": no values";
    return false;
  }
  return true;
}

int RunSweepCommand(const TSweepOptions& options, std::ostream& out, std::ostream& err) {
  std::error_code ec;
  if (!fs::is_regular_file(options.BaseFile, ec)) {
    err << "Error: Cannot read the parameter file \"" << options.BaseFile << "\"\n";
    return 1;
  }
  std::vector<TSweepAxis> axes;
  for (const std::string& set : options.Sets) {
    TSweepAxis axis;
    std::string error;
    if (!ParseSweepAxis(set, axis, error)) {
      err << "Error: " << error << '\n';
      return 1;
    }
    for (const TSweepAxis& other : axes)
      if (Params::FoldName(other.Name) == Params::FoldName(axis.Name)) {
        err << "Error: --set " << axis.Name << " is given twice\n";
        return 1;
      }
    axes.push_back(std::move(axis));
  }
  std::vector<TOverride> first;
  for (const TSweepAxis& axis : axes) {
    TOverride o;
    std::string error;
    ParseOverrideName(axis.Name, o.Section, o.Key, error);
    o.Value = axis.Values.front();
    first.push_back(o);
  }
  if (std::string error; !CheckOverrides(options.BaseFile, first, error)) {
    err << "Error: " << error << '\n';
    return 2;
  }
  std::size_t count = 1;
  for (const TSweepAxis& axis : axes) {
    count *= axis.Values.size();
    if (count > MaxCombinations) {
      err << "Error: more than " << MaxCombinations << " combinations; split the sweep\n";
      return 1;
    }
  }
  // Earlier results are never overwritten.
  const fs::path dir = fs::absolute(options.OutDir, ec);
  if (fs::exists(dir, ec) && (!fs::is_directory(dir, ec) || !fs::is_empty(dir, ec))) {
    err << "Error: \"" << options.OutDir << "\" is not an empty folder; a sweep writes into a new or empty one\n";
    return 1;
  }
  fs::create_directories(dir, ec);
  if (ec) {
    err << "Error: Cannot create the output folder \"" << options.OutDir << "\": " << ec.message() << '\n';
    return 1;
  }

  const std::string library = options.LibraryPath.empty() ? DefaultMaldiLibraryPath() : options.LibraryPath;
  const std::uint32_t firstSeed = options.Seed ? *options.Seed : TickSeed();
  std::ostringstream manifest, jobs;
  manifest << "run\tstatus\tseed\treplicas";
  for (const TSweepAxis& axis : axes) manifest << '\t' << axis.Name;
  manifest << '\n';
  std::size_t prepared = 0;
  for (std::size_t k = 0; k < count; ++k) {
    // Combination k: the last --set varies fastest.
    std::vector<TOverride> overrides = first;
    std::string description;
    for (std::size_t a = axes.size(), rest = k; a-- > 0;) {
      overrides[a].Value = axes[a].Values[rest % axes[a].Values.size()];
      rest /= axes[a].Values.size();
    }
    for (std::size_t a = 0; a < axes.size(); ++a)
      description += (a ? ", " : "") + axes[a].Name + "=" + overrides[a].Value;
    const std::string name = NumberedName("run_", k, count);
    const fs::path folder = dir / name;
    const std::uint32_t seed = ReplicaSeed(firstSeed, static_cast<unsigned>(k * options.Replicas));
    fs::create_directories(folder, ec);
    std::ostringstream prepareOut, prepareErr;
    const int code = ec ? 1 : PrepareWithOverrides(options.BaseFile, (folder / "params.kpx").string(), overrides,
                                                   library, prepareOut, prepareErr);
    if (code == 3) {
      err << prepareErr.str();
      return 3;
    }
    manifest << name << '\t' << (code == 0 ? "prepared" : "skipped") << '\t' << seed << '\t' << options.Replicas;
    for (const TOverride& o : overrides) manifest << '\t' << o.Value;
    manifest << '\n';
    if (code != 0) {
      err << "Skipped " << name << " (" << description << "): it does not validate\n" << Indented(prepareErr.str());
      fs::remove_all(folder, ec);
      continue;
    }
    ++prepared;
    jobs << ShellQuote(options.Program) << " run " << ShellQuote((folder / "params.kpx").string()) << " --out "
         << ShellQuote((folder / "results").string()) << " --seed " << seed << " --quiet";
    if (options.Replicas > 1) jobs << " --replicas " << options.Replicas << " --jobs 1";
    jobs << '\n';
  }
  try {
    WriteTextFile(dir / "sweep.tsv", manifest.str());
    WriteTextFile(dir / "jobs.txt", jobs.str());
    if (prepared > 0) WriteTextFile(dir / "sweep.sbatch", SlurmScript(dir, prepared));
  } catch (const std::exception& e) {
    err << "Error: " << e.what() << '\n';
    return 1;
  }
  out << "Prepared " << prepared << " of " << count << " combinations into \"" << dir.string() << "\"\n";
  if (prepared == 0) {
    err << "Error: no combination validated; nothing to run\n";
    return 2;
  }
  out << "Run them with GNU parallel:  parallel -j 2 < " << ShellQuote((dir / "jobs.txt").string()) << "\n"
      << "or as a Slurm job array:     sbatch " << ShellQuote((dir / "sweep.sbatch").string()) << "\n"
      << "then merge the results:      polykin-cli collect " << ShellQuote(dir.string()) << "\n";
  return 0;
}

void AddSweepCommand(CLI::App& app) {
  auto options = std::make_shared<TSweepOptions>();
  auto seed = std::make_shared<std::int64_t>(-1);
  CLI::App* command = app.add_subcommand(
      "sweep", "Write one prepared parameter file per combination of values, with jobs.txt for GNU parallel and a "
               "Slurm job-array script");
  command->add_option("base", options->BaseFile, "The parameter file the runs start from")->required()->type_name("BASE.kpx");
  command->add_option("--set", options->Sets,
                      "Section/Key=v1,v2,...: the values of one typed key (repeatable; every combination is run)")
      ->required()
      ->type_name("SECTION/KEY=VALUES");
  command->add_option("--replicas", options->Replicas, "Replicas per combination (run --replicas N)")
      ->type_name("N")
      ->check(CLI::Range(1u, 100000u));
  command->add_option("--seed", *seed, "Seed of the first run; run K gets S + (K-1) N (default: the tick counter)")
      ->type_name("S")
      ->check(CLI::Range(std::int64_t{0}, std::int64_t{4294967295}));
  command->add_option("--out", options->OutDir, "The sweep folder (new or empty)")->required()->type_name("DIR");
  command->add_option("--library", options->LibraryPath,
                      "The isotopic library for molar masses (default: libMaldi.so beside the program)");
  command->footer(
      "Writes DIR/run_K/params.kpx for every combination that validates (the others are reported and\n"
      "skipped), DIR/sweep.tsv (run, status, seed, replicas, the swept values), DIR/jobs.txt (one\n"
      "polykin-cli run command per line) and DIR/sweep.sbatch (a Slurm job array over those lines).\n"
      "  parallel -j 2 < DIR/jobs.txt      or      sbatch DIR/sweep.sbatch\n"
      "  polykin-cli collect DIR           merges the finished runs into DIR/collected.tsv\n"
      "Values are separated by \",\": write decimals with \".\".\n"
      "Exit codes: 0 written; 1 bad usage or output refused (DIR must be new or empty); 2 no combination\n"
      "validated or a key the base file does not have; 3 the isotopic library is missing.");
  command->callback([options, seed] {
    TSweepOptions o = *options;
    if (*seed >= 0) o.Seed = static_cast<std::uint32_t>(*seed);
    std::error_code ec;
    o.Program = fs::read_symlink("/proc/self/exe", ec).string();
    if (const int code = RunSweepCommand(o, std::cout, std::cerr); code != 0) throw CLI::RuntimeError(code);
  });
}

} // namespace Cli
