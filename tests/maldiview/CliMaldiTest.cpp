// `polykin-cli run … --maldi CATION:UPPER`: the option's text, and the
// program started as a user starts it on an ATRP file prepared by hand.

#include "MaldiViewTestSupport.h"

#include "cli/uRunMaldi.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

namespace {

using namespace MaldiViewTest;

TEST(CliMaldiOption, CationAndUpperLimit) {
  Cli::TMaldiRequest request;
  std::string error;
  ASSERT_TRUE(Cli::ParseMaldiRequest("Na+:5000", request, error)) << error;
  EXPECT_EQ(request.Cation, "Na+");
  EXPECT_EQ(request.UpperLimit, "5000");
  ASSERT_TRUE(Cli::ParseMaldiRequest("K:2500.5", request, error)) << error;
  EXPECT_EQ(request.Cation, "K");
  for (const char* bad : {"Na+", ":5000", "+:5000", "Na+:", "Na+:abc", "Na+:-10", "Na+:0", "Na+:1e9"}) {
    error.clear();
    EXPECT_FALSE(Cli::ParseMaldiRequest(bad, request, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  EXPECT_EQ(request.Cation, "K"); // left as it was
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CliMaldiOption, RunWritesTheSpectrumTables) {
  TTempDir dir;
  const std::string cli = PROPAGON_CLI;
  ASSERT_EQ(Shell("'" + cli + "' prepare '" + std::string(PROPAGON_TEST_DATA) + "/prepare-atrp-handwritten.kpx' --out '" +
                  dir.File("atrp.kpx") + "' > /dev/null 2>&1"),
            0);
  ASSERT_EQ(Shell("'" + cli + "' run '" + dir.File("atrp.kpx") + "' --out '" + dir.File("out") +
                  "' --seed 5 --quiet --maldi Na+:2500 2> '" + dir.File("err.txt") + "'"),
            0)
      << ReadText(dir.File("err.txt"));
  const std::string spectrum = ReadText(dir.File("out/maldi.tsv"));
  std::istringstream lines(spectrum);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "mz\tI~~I\tI~H\tI~=\tI~X"); // ATRP: all four kinds of chain end
  // P = 10 x 2500: rows for m/z 0.0 … 2500.0.
  std::size_t rows = 0;
  std::map<std::string, std::vector<double>> byMz;
  while (std::getline(lines, line)) {
    ++rows;
    std::istringstream fields(line);
    std::string mz;
    std::getline(fields, mz, '\t');
    std::vector<double> values;
    for (std::string v; std::getline(fields, v, '\t');)
      values.push_back(std::stod(v));
    byMz[mz] = values;
  }
  EXPECT_EQ(rows, 25001u);
  // Every label stands on a point of its curve that reaches the level (20).
  const std::string labels = ReadText(dir.File("out/maldi_labels.tsv"));
  std::istringstream labelLines(labels);
  std::getline(labelLines, line);
  EXPECT_EQ(line, "mz\tcurve\tlabel");
  const std::map<std::string, int> column{{"I~~I", 0}, {"I~H", 1}, {"I~=", 2}, {"I~X", 3}};
  int labelled = 0;
  while (std::getline(labelLines, line)) {
    std::istringstream fields(line);
    std::string mz, curve, label;
    std::getline(fields, mz, '\t');
    std::getline(fields, curve, '\t');
    std::getline(fields, label, '\t');
    ASSERT_TRUE(byMz.count(mz)) << line;
    EXPECT_GE(byMz[mz][static_cast<std::size_t>(column.at(curve))], 20.0 - 1e-6) << line;
    EXPECT_NE(label.find('+'), std::string::npos) << line;
    ++labelled;
  }
  EXPECT_GT(labelled, 3);
  EXPECT_NE(ReadText(dir.File("out/log.txt")).find("Prepare MALDI Exit Code = 1"), std::string::npos);
}

TEST(CliMaldiOption, ABadRequestIsRefusedBeforeTheRun) {
  TTempDir dir;
  const std::string cli = PROPAGON_CLI;
  EXPECT_EQ(Shell("'" + cli + "' run '" + std::string(PROPAGON_TEST_DATA) + "/shell/living-small.kpx' --out '" +
                  dir.File("out") + "' --maldi Na+ 2> '" + dir.File("err.txt") + "'"),
            1);
  EXPECT_NE(ReadText(dir.File("err.txt")).find("CATION:UPPER"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.File("out")));
}

} // namespace
