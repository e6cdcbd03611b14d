// Inputs that used to give a result without a word, through polykin-cli: a
// cation that does not parse, a damaged ISOTOPE.DAT, validations that passed
// nonsense, a check-point list cut short.

#include "cli/uRunCommand.h"
#include "params/uIniFile.h"

#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace CliTest;
namespace fs = std::filesystem;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Edited(const TTempDir& dir, const std::string& from, const std::string& name,
                   const std::vector<std::array<std::string, 3>>& changes) {
  const std::string path = dir / name;
  fs::copy_file(from, path, fs::copy_options::overwrite_existing);
  Params::TIniFile file(path);
  for (const auto& [section, key, value] : changes) file.WriteString(section, key, value);
  return path;
}

TEST(InputChecks, ACationThatDoesNotParseIsRefusedBeforeTheRun) {
  TTempDir dir;
  fs::copy_file(Example("living-caprolactone.kpx"), dir / "living.kpx");
  for (const char* cation : {"Xx+", "((((", "Na+Na+"}) {
    SCOPED_TRACE(cation);
    // In-process, with the libMaldi.so beside the test program.
    Cli::TRunOptions options;
    options.File = dir / "living.kpx";
    options.OutDir = dir / "out";
    options.Seed = 1;
    options.Maldi = std::string(cation) + ":2000";
    std::ostringstream out, err;
    EXPECT_EQ(Cli::RunParameterFile(options, out, err), Cli::ExitError);
    EXPECT_EQ(err.str(), std::string("Error: --maldi: The cation \"") + cation +
                             "\" is not a formula of the isotope table (for example Na+, K+ or H+)\n");
    EXPECT_FALSE(fs::exists(dir.Path() / "out")) << "refused before the run";

    // The program itself: exit 1 before the run, the library's reason on the
    // error stream.
    const TProcessResult r = RunCli(std::string("run living.kpx --out out --seed 1 --maldi '") + cation + ":2000'",
                                    dir.Path());
    EXPECT_EQ(r.ExitCode, 1) << r.Out << r.Err;
    EXPECT_FALSE(r.Err.empty());
    EXPECT_FALSE(fs::exists(dir.Path() / "out"));
  }
}

// polykin-cli and libMaldi.so copied into a folder of their own, with the
// ISOTOPE.DAT given beside them.
fs::path ProgramWithIsotopeTable(const TTempDir& dir, const std::string& table) {
  const fs::path bin = dir.Path() / "bin";
  fs::create_directories(bin);
  const fs::path built = fs::path(PROPAGON_CLI).parent_path();
  fs::copy_file(PROPAGON_CLI, bin / "polykin-cli");
  fs::copy_file(built / "libMaldi.so", bin / "libMaldi.so");
  std::ofstream(bin / "ISOTOPE.DAT", std::ios::binary) << table;
  return bin / "polykin-cli";
}

TProcessResult RunProgram(const fs::path& program, const std::string& arguments, const fs::path& cwd) {
  const fs::path out = cwd / ".stdout", err = cwd / ".stderr";
  const std::string command = "cd '" + cwd.string() + "' && '" + program.string() + "' " + arguments + " >'" +
                              out.string() + "' 2>'" + err.string() + "' </dev/null";
  const int status = std::system(command.c_str());
  TProcessResult result;
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.Out = ReadText(out);
  result.Err = ReadText(err);
  return result;
}

TEST(InputChecks, ADamagedIsotopeTableGivesNoSpectrumAndNamesTheFault) {
  TTempDir dir;
  fs::copy_file(Example("living-caprolactone.kpx"), dir / "living.kpx");
  // Truncated after the hydrogen block: carbon and hydrogen are sound, sodium
  // is missing, so the cation is refused before the run.
  const std::string table = "C\n12.0 0.9893\n13.0033548378 0.0107\n\nH\n1.0078250321 0.999885\n2.014101778 -0.000115\n";
  const fs::path program = ProgramWithIsotopeTable(dir, table);
  TProcessResult r = RunProgram(program, "run living.kpx --out out --seed 1 --maldi Na+:2000", dir.Path());
  EXPECT_EQ(r.ExitCode, 1) << r.Out << r.Err;
  EXPECT_TRUE(Has(r.Err, "ISOTOPE.DAT cannot be used: line 7: \"2.014101778 -0.000115\" of element H is not an "
                         "isotope line"))
      << r.Err;
  EXPECT_FALSE(fs::exists(dir.Path() / "out"));

  // The same table without the damaged line but without sodium either.
  std::ofstream(program.parent_path() / "ISOTOPE.DAT", std::ios::binary)
      << "C\n12.0 0.9893\n13.0033548378 0.0107\n\nH\n1.0078250321 0.999885\n2.014101778 0.000115\n";
  r = RunProgram(program, "run living.kpx --out out --seed 1 --maldi Na+:2000", dir.Path());
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_TRUE(Has(r.Err, "'Na' is not an element")) << r.Err;
}

TEST(InputChecks, PrepareNamesTheFieldOrCauseOfEveryFailedValidation) {
  TTempDir dir;
  const std::string handwritten = Fixture("prepare-freeradical-handwritten.kpx");
  struct TCase {
    std::vector<std::array<std::string, 3>> Changes;
    std::string Message;
  };
  const std::vector<TCase> cases = {
      {{{"General", "MixtureVolume", "0"}, {"General", "TotalVolume", "-100"}},
       "The Total Volume must not be Negative: -100"},
      {{{"Components", "MonomerALength", "-2"}}, "The Length of MonomerA must not be Negative: -2"},
      {{{"Components", "MonomerBAmount", "-5"}}, "Negative Amount for MonomerB: -5"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Message);
    Edited(dir, handwritten, "bad.kpx", c.Changes);
    const TProcessResult r = RunCli("prepare bad.kpx --out new.kpx", dir.Path());
    EXPECT_EQ(r.ExitCode, 2) << r.Out << r.Err;
    EXPECT_TRUE(Has(r.Err, c.Message)) << r.Err;
    EXPECT_TRUE(Has(r.Err, "Nothing was written.")) << r.Err;
    EXPECT_FALSE(fs::exists(dir.Path() / "new.kpx"));
  }
}

TEST(InputChecks, ARunOfAListCutShortSaysSoInItsLog) {
  TTempDir dir;
  const std::string path = dir / "cut.kpx";
  fs::copy_file(Example("living-caprolactone.kpx"), path);
  {
    Params::TIniFile file(path);
    const int written = file.ReadInteger("Controls", "CheckingPointsNumber", 0);
    ASSERT_GT(written, 12);
    for (int n = 12; n < written; ++n) file.DeleteKey("CheckingPoints", std::to_string(n));
  }
  const TProcessResult r = RunCli("run cut.kpx --out out --seed 1", dir.Path());
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  const std::string log = ReadText(dir.Path() / "out" / "log.txt");
  EXPECT_TRUE(Has(log, "Warning: the CheckingPoints list stops after 12 points, but the file was written with "))
      << log;
}

} // namespace
