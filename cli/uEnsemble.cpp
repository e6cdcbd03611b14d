#include "cli/uEnsemble.h"

#include "cli/uRunResults.h"
#include "params/uAtomicFile.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <stdexcept>

namespace Cli {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return fields;
}

double ParseNumber(const std::string& text, const fs::path& file) {
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size())
    throw std::runtime_error("\"" + text + "\" in " + file.string() + " is not a number");
  return value;
}

std::vector<std::vector<double>> NumberRows(const TTextTable& table, const fs::path& file) {
  std::vector<std::vector<double>> rows;
  for (const auto& row : table.Rows) {
    std::vector<double>& numbers = rows.emplace_back();
    for (const std::string& field : row) numbers.push_back(ParseNumber(field, file));
  }
  return rows;
}

// Whole numbers as whole numbers (a count of 100000 chains, not "1e+05").
std::string CountText(double value) {
  if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 9.0e15)
    return std::to_string(static_cast<long long>(value));
  return FormatNumber(value);
}

std::ostream& Open(Propagon::TAtomicFile& file) {
  if (!file.IsOpen()) throw std::runtime_error("Unable to write to " + file.FileName());
  return file.Stream();
}

void Commit(Propagon::TAtomicFile& file) {
  if (!file.Commit()) throw std::runtime_error("Unable to write to " + file.FileName());
}

void WriteMeanTable(const std::vector<fs::path>& folders, const fs::path& path) {
  std::vector<std::string> header;
  std::vector<std::vector<std::vector<double>>> tables;
  for (const fs::path& folder : folders) {
    const fs::path file = folder / "checkpoints.tsv";
    const TTextTable table = ReadTextTable(file);
    if (header.empty()) header = table.Header;
    if (table.Header != header || header.size() < 2 || header[0] != "checkpoint" || header[1] != "time_s")
      throw std::runtime_error("The columns of " + file.string() + " differ from those of the other replicas");
    tables.push_back(NumberRows(table, file));
  }
  std::size_t rows = 0;
  for (const auto& t : tables) rows = std::max(rows, t.size());

  Propagon::TAtomicFile file(path.string());
  std::ostream& out = Open(file);
  out << "checkpoint\ttime_s\treplicas";
  for (std::size_t c = 2; c < header.size(); ++c) out << '\t' << header[c] << "_mean\t" << header[c] << "_sem";
  out << '\n';
  for (std::size_t r = 0; r < rows; ++r) {
    // A stopped replica may end early: each row averages the replicas that reached it.
    std::vector<const std::vector<double>*> reached;
    for (const auto& t : tables)
      if (r < t.size()) reached.push_back(&t[r]);
    out << CountText((*reached[0])[0]) << '\t' << FormatNumber((*reached[0])[1]) << '\t' << reached.size();
    for (std::size_t c = 2; c < header.size(); ++c) {
      std::vector<double> values;
      for (const auto* row : reached) values.push_back((*row)[c]);
      const TMeanError m = MeanAndError(values);
      out << '\t' << CountText(m.Mean) << '\t' << CountText(m.Error);
    }
    out << '\n';
  }
  Commit(file);
}

// Adds up the rows of one table of every replica, keyed by its first column.
std::map<double, std::vector<double>> Pooled(const std::vector<fs::path>& folders, const std::string& name,
                                             const std::vector<std::string>& header) {
  std::map<double, std::vector<double>> sums;
  for (const fs::path& folder : folders) {
    const fs::path file = folder / name;
    const TTextTable table = ReadTextTable(file);
    if (table.Header != header) throw std::runtime_error("The columns of " + file.string() + " are not the expected ones");
    for (const auto& row : NumberRows(table, file)) {
      std::vector<double>& sum = sums[row[0]];
      sum.resize(row.size() - 1, 0.0);
      for (std::size_t c = 1; c < row.size(); ++c) sum[c - 1] += row[c];
    }
  }
  return sums;
}

void WritePooled(const std::vector<fs::path>& folders, const std::string& name, const std::vector<std::string>& header,
                 const fs::path& path) {
  const auto sums = Pooled(folders, name, header);
  Propagon::TAtomicFile file(path.string());
  std::ostream& out = Open(file);
  for (std::size_t c = 0; c < header.size(); ++c) out << (c ? "\t" : "") << header[c];
  out << '\n';
  for (const auto& [key, values] : sums) {
    out << CountText(key);
    for (double v : values) out << '\t' << CountText(v);
    out << '\n';
  }
  Commit(file);
}

} // namespace

TTextTable ReadTextTable(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("Cannot read " + path.string());
  TTextTable table;
  std::string line;
  std::size_t number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::vector<std::string> fields = SplitFields(line);
    if (table.Header.empty()) {
      table.Header = std::move(fields);
    } else if (fields.size() != table.Header.size()) {
      throw std::runtime_error(path.string() + ", line " + std::to_string(number) + ": " +
                               std::to_string(fields.size()) + " fields, the header has " +
                               std::to_string(table.Header.size()));
    } else {
      table.Rows.push_back(std::move(fields));
    }
  }
  if (table.Header.empty()) throw std::runtime_error(path.string() + " is empty");
  return table;
}

void WriteTextFile(const fs::path& path, const std::string& text) {
  Propagon::TAtomicFile file(path.string());
  Open(file) << text;
  Commit(file);
}

TMeanError MeanAndError(const std::vector<double>& values) {
  TMeanError result;
  const double n = static_cast<double>(values.size());
  if (values.empty()) return {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()};
  double sum = 0.0;
  for (double v : values) sum += v;
  result.Mean = sum / n;
  if (values.size() < 2) {
    result.Error = std::numeric_limits<double>::quiet_NaN();
    return result;
  }
  double squares = 0.0;
  for (double v : values) squares += (v - result.Mean) * (v - result.Mean);
  result.Error = std::sqrt(squares / (n - 1.0)) / std::sqrt(n);
  return result;
}

void WriteEnsemble(const std::vector<fs::path>& replicaFolders, const fs::path& ensembleDir) {
  if (replicaFolders.empty()) throw std::runtime_error("No replica has finished: there is no ensemble to write");
  std::error_code ec;
  fs::create_directories(ensembleDir, ec);
  if (ec || !fs::is_directory(ensembleDir))
    throw std::runtime_error("Cannot create the output folder \"" + ensembleDir.string() + "\": " + ec.message());
  WriteMeanTable(replicaFolders, ensembleDir / "checkpoints_mean.tsv");
  WritePooled(replicaFolders, "dp_distribution.tsv", {"DP", "chains"}, ensembleDir / "dp_distribution.tsv");
  WritePooled(replicaFolders, "mass_distribution.tsv", {"mass", "number", "weight"},
              ensembleDir / "mass_distribution.tsv");
}

} // namespace Cli
