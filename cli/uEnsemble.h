#pragma once
// The ensemble of a replica run: what N independent runs of one parameter
// file (different seeds) have in common, written into DIR/ensemble/.
//
//   checkpoints_mean.tsv  checkpoint, time_s, replicas (the runs that reached
//                         the row), then for every other column C of
//                         checkpoints.tsv: C_mean and C_sem, the mean over the
//                         replicas and its standard error s / sqrt(n) (s the
//                         sample standard deviation; "nan" for one replica)
//   dp_distribution.tsv   DP, chains: the replicas' DP histograms added up
//   mass_distribution.tsv mass, number, weight: their mass histograms added
//                         up bin by bin
//
// The pooled distributions hold N times the chains of one run: divide by
// `replicas` for the histogram of an average run.

#include <filesystem>
#include <string>
#include <vector>

namespace Cli {

// A table as the command writes them: a header line and tab-separated fields.
struct TTextTable {
  std::vector<std::string> Header;
  std::vector<std::vector<std::string>> Rows;
};
// Throws std::runtime_error naming the file when it is missing, empty or has
// a row whose field count differs from the header's.
TTextTable ReadTextTable(const std::filesystem::path& path);

// Writes `text` as the whole file (temporary file, flushed, renamed); throws
// std::runtime_error "Unable to write to FILE" when it cannot.
void WriteTextFile(const std::filesystem::path& path, const std::string& text);

// The mean and its standard error of some values ("nan" error for fewer than two).
struct TMeanError {
  double Mean = 0.0;
  double Error = 0.0;
};
TMeanError MeanAndError(const std::vector<double>& values);

// Reads the tables of the replica folders and writes the three ensemble
// tables into `ensembleDir` (created). Throws std::runtime_error with the
// file at fault (a missing or unreadable table, headers that differ).
void WriteEnsemble(const std::vector<std::filesystem::path>& replicaFolders, const std::filesystem::path& ensembleDir);

} // namespace Cli
