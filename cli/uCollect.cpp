#include "cli/uSweep.h"

#include "cli/uEnsemble.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <ostream>
#include <sstream>

namespace Cli {

namespace fs = std::filesystem;

namespace {

// "completed", "stopped", "failed", or "" when summary.json has no status.
std::string SummaryStatus(const fs::path& file) {
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    const std::size_t key = line.find("\"status\":");
    if (key == std::string::npos) continue;
    const std::size_t open = line.find('"', key + 9);
    const std::size_t close = open == std::string::npos ? open : line.find('"', open + 1);
    if (close != std::string::npos) return line.substr(open + 1, close - open - 1);
  }
  return "";
}

// Where a run's table is, or why there is none ("" when it is usable).
std::string RunProblem(const fs::path& results, unsigned replicas, fs::path& table) {
  std::error_code ec;
  if (replicas > 1) {
    table = results / "ensemble" / "checkpoints_mean.tsv";
    const fs::path list = results / "ensemble" / "replicas.tsv";
    if (!fs::exists(list, ec)) return "missing (no " + (results.filename() / "ensemble/replicas.tsv").string() + ")";
    const TTextTable replicasTable = ReadTextTable(list);
    std::size_t column = 0;
    while (column < replicasTable.Header.size() && replicasTable.Header[column] != "status") ++column;
    std::size_t bad = 0;
    for (const auto& row : replicasTable.Rows)
      if (column >= row.size() || row[column] != "completed") ++bad;
    if (bad > 0) return "failed (" + std::to_string(bad) + " of " + std::to_string(replicasTable.Rows.size()) +
                        " replicas did not complete)";
    if (!fs::exists(table, ec)) return "missing (no ensemble table)";
    return "";
  }
  table = results / "checkpoints.tsv";
  const fs::path summary = results / "summary.json";
  if (!fs::exists(summary, ec) || !fs::exists(table, ec)) return "missing (no results)";
  const std::string status = SummaryStatus(summary);
  if (status != "completed") return (status.empty() ? std::string("failed") : status) + " (summary.json: status \"" + status + "\")";
  return "";
}

} // namespace

int RunCollectCommand(const std::string& dirText, std::ostream& out, std::ostream& err) {
  const fs::path dir(dirText);
  TTextTable manifest;
  try {
    manifest = ReadTextTable(dir / "sweep.tsv");
  } catch (const std::exception& e) {
    err << "Error: \"" << dirText << "\" is not a sweep folder: " << e.what() << '\n';
    return 1;
  }
  if (manifest.Header.size() < 4 || manifest.Header[0] != "run" || manifest.Header[1] != "status" ||
      manifest.Header[3] != "replicas") {
    err << "Error: " << (dir / "sweep.tsv").string() << " is not the table polykin-cli sweep writes\n";
    return 1;
  }
  const std::vector<std::string> swept(manifest.Header.begin() + 4, manifest.Header.end());
  std::vector<std::string> header;
  std::ostringstream rows;
  std::size_t collected = 0, problems = 0, prepared = 0;
  for (const auto& row : manifest.Rows) {
    if (row[1] != "prepared") continue;
    ++prepared;
    fs::path table;
    std::string problem;
    TTextTable runTable;
    try {
      const unsigned replicas = static_cast<unsigned>(std::stoul(row[3]));
      problem = RunProblem(dir / row[0] / "results", replicas, table);
      if (problem.empty()) runTable = ReadTextTable(table);
    } catch (const std::exception& e) {
      problem = std::string("failed (") + e.what() + ")";
    }
    if (problem.empty() && !header.empty() && runTable.Header != header)
      problem = "failed (the columns of " + table.string() + " differ from the other runs')";
    if (!problem.empty()) {
      err << row[0] << ": " << problem << '\n';
      ++problems;
      continue;
    }
    if (header.empty()) header = runTable.Header;
    for (const auto& r : runTable.Rows) {
      rows << row[0];
      for (std::size_t c = 4; c < row.size(); ++c) rows << '\t' << row[c];
      for (const std::string& field : r) rows << '\t' << field;
      rows << '\n';
    }
    ++collected;
  }
  if (collected == 0) {
    err << "Error: none of the " << prepared << " runs has finished; nothing collected\n";
    return problems > 0 ? 4 : 1;
  }
  std::ostringstream text;
  text << "run";
  for (const std::string& name : swept) text << '\t' << name;
  for (const std::string& name : header) text << '\t' << name;
  text << '\n' << rows.str();
  try {
    WriteTextFile(dir / "collected.tsv", text.str());
  } catch (const std::exception& e) {
    err << "Error: " << e.what() << '\n';
    return 1;
  }
  out << "Collected " << collected << " of " << prepared << " runs into \"" << (dir / "collected.tsv").string() << "\"\n";
  if (problems > 0) {
    err << problems << " of " << prepared << " runs missing or failed (listed above)\n";
    return 4;
  }
  return 0;
}

void AddCollectCommand(CLI::App& app) {
  auto dir = std::make_shared<std::string>();
  CLI::App* command =
      app.add_subcommand("collect", "Merge the finished runs of a sweep folder into DIR/collected.tsv");
  command->add_option("dir", *dir, "The folder polykin-cli sweep wrote")->required()->type_name("DIR");
  command->footer(
      "collected.tsv: run, one column per swept key, then the columns of the run's checkpoints.tsv (with\n"
      "replicas: of ensemble/checkpoints_mean.tsv), one row per run and check point. Runs that are missing,\n"
      "failed or stopped are listed on the error stream and left out.\n"
      "Exit codes: 0 every run collected; 1 not a sweep folder or nothing finished; 4 some runs missing or\n"
      "failed (the others are in the table).");
  command->callback([dir] {
    if (const int code = RunCollectCommand(*dir, std::cout, std::cerr); code != 0) throw CLI::RuntimeError(code);
  });
}

} // namespace Cli
