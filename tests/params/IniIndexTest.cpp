// The INI file's index: lookups must answer exactly as a plain scan of the
// lines does (first of equal sections and keys, case-insensitive names), also
// after writes that move lines, and long check-point lists must load in
// linear time.

#include "params/uIniFile.h"
#include "params/uParamFile.h"
#include "tests/params/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using ParamsTest::TTempDir;
using ParamsTest::WriteBytes;

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c + 32);
  return s;
}

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos)
    return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// The rules of the file format read the slow way: scan for the first header
// of the section, then for the first key line in it. ASCII names only.
std::optional<std::string> ScanRead(const std::string& text, const std::string& section, const std::string& key) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  const auto header = [](const std::string& line, std::string& name) {
    const std::string t = Trim(line);
    if (t.empty() || t[0] != '[')
      return false;
    const auto close = t.find(']');
    name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
  };
  std::string name;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!header(lines[i], name) || Lower(name) != Lower(section))
      continue;
    for (std::size_t j = i + 1; j < lines.size() && !header(lines[j], name); ++j) {
      const auto eq = lines[j].find('=');
      if (eq == std::string::npos)
        continue;
      const std::string k = Trim(lines[j].substr(0, eq));
      if (k.empty() || k[0] == ';' || k[0] == '[')
        continue;
      if (Lower(k) == Lower(key))
        return Trim(lines[j].substr(eq + 1));
    }
    return std::nullopt;  // only the first section of a name counts
  }
  return std::nullopt;
}

TEST(IniIndex, AnswersAsAScanOfTheLinesDoesAlsoAfterWritesThatMoveLines) {
  const std::vector<std::string> sections = {"General", "general", "Components", "CheckingPoints", " Controls "};
  const std::vector<std::string> keys = {"A", "a", "B", "0", "1", "2", " c ", ";x", "[y", "Key"};
  std::mt19937 random(1811);
  const auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
  TTempDir dir;
  const std::string name = dir.File("index.ini");
  for (int trial = 0; trial < 40; ++trial) {
    std::string text;
    for (int line = 0; line < 40; ++line) {
      switch (random() % 6) {
      case 0: text += "[" + pick(sections) + "]"; break;
      case 1: text += ""; break;
      case 2: text += "; comment=1"; break;
      default: text += pick(keys) + "=" + std::to_string(random() % 100); break;
      }
      text += (random() % 3 == 0) ? "\n" : "\r\n";
    }
    WriteBytes(name, text);
    Params::TIniFile ini(name);
    for (int step = 0; step < 30; ++step) {
      const std::string section = Trim(pick(sections)), key = Trim(pick(keys));
      switch (random() % 5) {
      case 0: ini.WriteString(section, key, "w" + std::to_string(step)); break;
      case 1: ini.DeleteKey(section, key); break;
      case 2: {
        if (random() % 4 == 0)
          ini.EraseSection(section);
        break;
      }
      default: break;
      }
      const std::string onDisk = ParamsTest::ReadBytes(name);
      for (const std::string& s : sections)
        for (const std::string& k : keys) {
          const std::optional<std::string> expected = ScanRead(onDisk, Trim(s), Trim(k));
          ASSERT_EQ(ini.ValueExists(Trim(s), Trim(k)), expected.has_value())
              << "trial " << trial << " step " << step << " [" << s << "] " << k << "\n" << onDisk;
          if (expected) {
            ASSERT_EQ(ini.ReadString(Trim(s), Trim(k), "?"), *expected) << "trial " << trial << " step " << step;
          }
        }
    }
  }
}

std::string CheckPointsFile(int count, const std::string& extra = "") {
  std::string text = "[Propago\xAE Parameters File]\r\nFileValid=1\r\n[Controls]\r\nCheckingPointsNumber=" +
                     std::to_string(count) + "\r\n" + extra + "[CheckingPoints]\r\n";
  text.reserve(text.size() + static_cast<std::size_t>(count) * 20);
  for (int n = 0; n < count; ++n)
    text += std::to_string(n) + "=" + std::to_string(n) + ".5\r\n";
  return text;
}

TEST(IniIndex, AMillionCheckPointsLoadInLinearTime) {
  TTempDir dir;
  const std::string name = dir.File("million.kpx");
  constexpr int Count = 1000000;
  WriteBytes(name, CheckPointsFile(Count));
  const auto start = std::chrono::steady_clock::now();
  const Params::TParameterFile file(name);
  int high = -1;
  std::vector<double> times;
  file.ReadCheckingPointsArray(high, times);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(high, Count - 1);
  EXPECT_EQ(times.front(), 0.5);
  EXPECT_EQ(times.back(), Count - 1 + 0.5);
  // Well under a second on an idle machine (a scan per key took hours); the
  // bound leaves room for a loaded one and for sanitizer builds.
  EXPECT_LT(seconds, 10.0);
  std::printf("1e6 check points read in %.3f s\n", seconds);

  // Writing such a list back is linear too: every key is appended at the end.
  std::vector<std::string> lines(100000);
  for (std::size_t n = 0; n < lines.size(); ++n)
    lines[n] = std::to_string(n);
  const auto writeStart = std::chrono::steady_clock::now();
  Params::TParameterFile out(dir.File("written.kpx"));
  out.WriteCheckingPoints(lines);
  const double written = std::chrono::duration<double>(std::chrono::steady_clock::now() - writeStart).count();
  EXPECT_LT(written, 10.0);
  std::vector<std::string> back;
  Params::TParameterFile(dir.File("written.kpx")).ReadCheckingPoints(back);
  EXPECT_EQ(back, lines);
}

TEST(CheckingPointsListWarning, NamesACutListAndAGapButNotAWholeList) {
  TTempDir dir;
  const std::string name = dir.File("points.kpx");
  WriteBytes(name, CheckPointsFile(41));
  EXPECT_EQ(Params::TParameterFile(name).CheckingPointsListWarning(), "");

  // Cut inside its list: 12 of the 41 points the editor wrote.
  std::string cut = CheckPointsFile(41);
  cut.resize(cut.find("12=12.5"));
  WriteBytes(name, cut);
  EXPECT_EQ(Params::TParameterFile(name).CheckingPointsListWarning(),
            "Warning: the CheckingPoints list stops after 12 points, but the file was written with 41 "
            "(Controls/CheckingPointsNumber); the run uses the first 12 points");

  // A gap: key 5 missing, keys up to 40 present.
  std::string gap = CheckPointsFile(41);
  gap.erase(gap.find("5=5.5\r\n"), 7);
  WriteBytes(name, gap);
  const Params::TParameterFile file(name);
  EXPECT_EQ(file.CheckingPointsListWarning(),
            "Warning: the CheckingPoints list has a gap: key 5 is missing, so keys up to 40 are not used; the "
            "run uses the first 5 points");
  int high = -1;
  std::vector<double> times;
  file.ReadCheckingPointsArray(high, times);
  EXPECT_EQ(high, 4);  // reading still stops at the first missing number
}

} // namespace
