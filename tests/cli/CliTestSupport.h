#pragma once
// Running polykin-cli as a user does, and reading what it wrote.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace CliTest {

class TTempDir {
public:
  TTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "propagon-cli-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    FPath = pattern;
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::filesystem::path& Path() const { return FPath; }
  std::string operator/(const std::string& name) const { return (FPath / name).string(); }

private:
  std::filesystem::path FPath;
};

inline std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline std::vector<std::string> Split(const std::string& line, char separator = '\t') {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, separator)) fields.push_back(field);
  if (!line.empty() && line.back() == separator) fields.push_back("");
  return fields;
}

// A tab-separated table: header and rows of fields.
struct TTable {
  std::vector<std::string> Header;
  std::vector<std::vector<std::string>> Rows;
  std::size_t Column(const std::string& name) const {
    for (std::size_t i = 0; i < Header.size(); ++i)
      if (Header[i] == name) return i;
    throw std::runtime_error("no column " + name);
  }
  double Number(std::size_t row, const std::string& name) const { return std::stod(Rows.at(row).at(Column(name))); }
};

inline TTable ReadTable(const std::filesystem::path& file) {
  TTable table;
  const std::vector<std::string> lines = Lines(ReadText(file));
  if (lines.empty()) return table;
  table.Header = Split(lines[0]);
  for (std::size_t i = 1; i < lines.size(); ++i) table.Rows.push_back(Split(lines[i]));
  return table;
}

// The flat "key": value pairs of summary.json, values as written.
inline std::map<std::string, std::string> ReadSummary(const std::filesystem::path& file) {
  std::map<std::string, std::string> values;
  for (const std::string& line : Lines(ReadText(file))) {
    const auto open = line.find('"');
    if (open == std::string::npos) continue;
    const auto close = line.find('"', open + 1);
    const auto colon = line.find(':', close);
    std::string value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ')) value.erase(0, 1);
    while (!value.empty() && (value.back() == ',' || value.back() == ' ')) value.pop_back();
    values[line.substr(open + 1, close - open - 1)] = value;
  }
  return values;
}

struct TProcessResult {
  int ExitCode = -1;
  std::string Out;
  std::string Err;
};

// Runs the program with the arguments (already quoted for the shell) in the
// folder `cwd`, capturing both streams.
inline TProcessResult RunCli(const std::string& arguments, const std::filesystem::path& cwd) {
  const std::filesystem::path out = cwd / ".stdout", err = cwd / ".stderr";
  const std::string command = "cd '" + cwd.string() + "' && '" PROPAGON_CLI "' " + arguments + " >'" + out.string() +
                              "' 2>'" + err.string() + "' </dev/null";
  const int status = std::system(command.c_str());
  TProcessResult result;
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.Out = ReadText(out);
  result.Err = ReadText(err);
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return result;
}

inline std::string Example(const std::string& name) { return std::string(PROPAGON_EXAMPLES) + "/" + name; }
inline std::string Fixture(const std::string& name) { return std::string(PROPAGON_TEST_DATA) + "/" + name; }

// The hand-written living file (no segment exchange: a Poisson distribution
// of chain lengths), prepared into `dir` as living.kpx.
inline std::string PreparedLiving(const TTempDir& dir) {
  const TProcessResult prepared =
      RunCli("prepare '" + Fixture("prepare-living-handwritten.kpx") + "' --out living.kpx", dir.Path());
  if (prepared.ExitCode != 0) throw std::runtime_error(prepared.Err);
  return dir / "living.kpx";
}

} // namespace CliTest
