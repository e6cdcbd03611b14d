// The bad-input catalogue (docs/bad-inputs.md) through polykin-cli, as a user
// meets it: every row gets a clear message and a non-zero exit code, and no
// file that existed before is lost or truncated.

#include "params/uIniFile.h"

#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace CliTest;

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// A copy of the runnable living example with some keys changed.
std::string EditedExample(const TTempDir& dir, const std::string& name,
                          const std::vector<std::array<std::string, 3>>& changes) {
  const std::string path = dir / name;
  std::filesystem::copy_file(Example("living-caprolactone.kpx"), path,
                             std::filesystem::copy_options::overwrite_existing);
  Params::TIniFile file(path);
  for (const auto& [section, key, value] : changes) file.WriteString(section, key, value);
  return path;
}

// A hand-written free-radical file with some keys changed, for prepare.
std::string EditedHandwritten(const TTempDir& dir, const std::string& name,
                              const std::vector<std::array<std::string, 3>>& changes) {
  const std::string path = dir / name;
  std::filesystem::copy_file(Fixture("prepare-freeradical-handwritten.kpx"), path,
                             std::filesystem::copy_options::overwrite_existing);
  Params::TIniFile file(path);
  for (const auto& [section, key, value] : changes) file.WriteString(section, key, value);
  return path;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(BadInput, BinaryGarbageAsAParameterFile) {
  TTempDir dir;
  std::mt19937 random(7);
  std::string garbage(4096, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  WriteBytes(dir / "garbage.kpx", garbage);

  TProcessResult r = RunCli("run garbage.kpx --out out", dir.Path());
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_TRUE(Has(r.Err, "is not a Valid Parameters File!")) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out"));

  r = RunCli("prepare garbage.kpx --out new.kpx", dir.Path());
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_TRUE(Has(r.Err, "Process Type not Selected!")) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "new.kpx"));
  EXPECT_EQ(ReadText(dir / "garbage.kpx"), garbage) << "the input is never touched";
}

TEST(BadInput, AFileWithOnlyTheValidityMarker) {
  TTempDir dir;
  WriteBytes(dir / "marker.kpx", "[Propago\xAE Parameters File]\r\nFileValid=1\r\n");
  // The marker passes; the memory check finds no estimate to read and says
  // so, exit code 1, no run.
  const TProcessResult r = RunCli("run marker.kpx --out out --seed 1", dir.Path());
  EXPECT_EQ(r.ExitCode, 1) << r.Out << r.Err;
  EXPECT_TRUE(Has(r.Err, "Error: '' is not a valid floating point value")) << r.Err;
  EXPECT_FALSE(Has(r.Out, "Simulation Started at: ")) << r.Out;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out" / "summary.json"));
}

TEST(BadInput, NegativeAndHugeMoleculeNumbers) {
  TTempDir dir;
  // Negative numbers in a runnable file: the allocation refuses them.
  const std::string negative =
      EditedExample(dir, "negative.kpx", {{"SimulationParameters", "MonomerANumber", "-5"}});
  TProcessResult r = RunCli("run negative.kpx --out neg --seed 1", dir.Path());
  EXPECT_NE(r.ExitCode, 0) << r.Out;
  EXPECT_TRUE(Has(r.Out, "Memory Allocation Error!")) << r.Out;

  EXPECT_TRUE(Has(r.Out, "Invalid MonomerANumber in the Parameters File: -5")) << r.Out;

  // Beyond 32 bits: refused with its text (the profile reader alone would
  // have read it as 0, a run without monomer).
  EditedExample(dir, "huge.kpx", {{"SimulationParameters", "MonomerANumber", "99999999999"}});
  r = RunCli("run huge.kpx --out huge --seed 1", dir.Path());
  EXPECT_EQ(r.ExitCode, 1) << r.Out;
  EXPECT_TRUE(Has(r.Out, "Invalid MonomerANumber in the Parameters File: 99999999999")) << r.Out;
  EXPECT_TRUE(Has(r.Out, "Memory Allocation Error!")) << r.Out;
  EXPECT_FALSE(Has(r.Out, "Simulation Started at: ")) << r.Out;

  // Amounts that make more molecules than a run can hold: validation says so.
  EditedHandwritten(dir, "amount.kpx", {{"Components", "MonomerAAmount", "1E300"}});
  r = RunCli("prepare amount.kpx --out amount-out.kpx", dir.Path());
  EXPECT_EQ(r.ExitCode, 2) << r.Err;
  EXPECT_TRUE(Has(r.Err, "Error: ")) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "amount-out.kpx"));
  EditedHandwritten(dir, "minus.kpx", {{"Components", "MonomerAAmount", "-30"}});
  r = RunCli("prepare minus.kpx --out minus-out.kpx", dir.Path());
  EXPECT_EQ(r.ExitCode, 2) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "minus-out.kpx"));
}

TEST(BadInput, NotANumberInfinityAndOverflowInRateFields) {
  TTempDir dir;
  for (const std::string value : {"NaN", "Inf", "1e999", "-INF"}) {
    SCOPED_TRACE(value);
    // The run's per-event constants.
    EditedExample(dir, "rate.kpx", {{"SimulationRates", "A*A", value}});
    TProcessResult r = RunCli("run rate.kpx --out rate --seed 1", dir.Path());
    EXPECT_EQ(r.ExitCode, 1) << r.Out;
    EXPECT_TRUE(Has(r.Err, "A*A") || Has(r.Err, "'" + value + "'")) << r.Err;
    EXPECT_FALSE(Has(r.Out, "Simulation Finished Succesfully")) << r.Out;
    std::filesystem::remove_all(dir.Path() / "rate");

    // The chemist's constants, checked by prepare.
    EditedHandwritten(dir, "chem.kpx", {{"ChemicalRates", "A*A", value}});
    r = RunCli("prepare chem.kpx --out chem-out.kpx", dir.Path());
    EXPECT_EQ(r.ExitCode, 2) << r.Err;
    EXPECT_TRUE(Has(r.Err, "is not a valid floating point value")) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "chem-out.kpx"));
  }
}

TEST(BadInput, CheckPointsOutOfOrder) {
  TTempDir dir;
  EditedHandwritten(dir, "order.kpx", {{"CheckingPoints", "2", "100"}});  // 0, 900, 100, 2700, 3600
  TProcessResult r = RunCli("prepare order.kpx --out order-out.kpx", dir.Path());
  EXPECT_EQ(r.ExitCode, 2) << r.Err;
  EXPECT_TRUE(Has(r.Err, "Value in Line 2 must be Lower than the Next Ones")) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "order-out.kpx"));

  // A runnable file edited by hand afterwards: the run refuses the list
  // (0, 10, 12.1758, 1, ...: line 3 is above line 4).
  EditedExample(dir, "run-order.kpx", {{"CheckingPoints", "3", "1"}});
  r = RunCli("run run-order.kpx --out out --seed 1", dir.Path());
  EXPECT_EQ(r.ExitCode, 1) << r.Out;
  EXPECT_TRUE(Has(r.Out, "Value in Line 3 must be Lower than the Next Ones")) << r.Out;
  EXPECT_TRUE(Has(r.Out, "Memory Allocation Error!")) << r.Out;
  EXPECT_FALSE(Has(r.Out, "Simulation Started at: ")) << r.Out;
}

TEST(BadInput, AProcessTypeWithoutAKernelIsRefusedByRunAndPrepare) {
  // 257 once ran the free-radical kernel and 7 "completed" with nothing
  // simulated; now neither runs nor is prepared.
  TTempDir dir;
  const std::string kinds = " is not a Process Type (0 living, 1 free radical, 2 ATRP, 3 living reversible)";
  for (const char* type : {"7", "257", "-1"}) {
    EditedExample(dir, "typed.kpx", {{{"General", "ProcessType", type}}});
    const TProcessResult run = RunCli("run typed.kpx --out out --seed 1", dir.Path());
    EXPECT_EQ(run.ExitCode, 2) << type << run.Err;
    EXPECT_TRUE(Has(run.Err, std::string("Error: ProcessType ") + type + kinds)) << run.Err;
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out")) << type;
  }
  EditedHandwritten(dir, "hand.kpx", {{{"General", "ProcessType", "7"}}});
  const TProcessResult prepared = RunCli("prepare hand.kpx --out new.kpx", dir.Path());
  EXPECT_EQ(prepared.ExitCode, 2) << prepared.Err;
  EXPECT_TRUE(Has(prepared.Err, "ProcessType 7" + kinds)) << prepared.Err;
  EXPECT_TRUE(Has(prepared.Err, "General/ProcessType")) << prepared.Err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "new.kpx"));
}

TEST(BadInput, AFirstCheckPointOtherThanZeroIsRefusedByRunAndPrepare) {
  TTempDir dir;
  const std::string message = "The First Checking Point must be 0 (the Start of the Run), not 5";
  EditedExample(dir, "late.kpx", {{{"CheckingPoints", "0", "5"}}});
  const TProcessResult run = RunCli("run late.kpx --out out --seed 1", dir.Path());
  EXPECT_EQ(run.ExitCode, 2) << run.Err;
  EXPECT_TRUE(Has(run.Err, "Error: " + message)) << run.Err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out"));
  EditedHandwritten(dir, "hand.kpx", {{{"CheckingPoints", "0", "5"}}});
  const TProcessResult prepared = RunCli("prepare hand.kpx --out new.kpx", dir.Path());
  EXPECT_EQ(prepared.ExitCode, 2) << prepared.Err;
  EXPECT_TRUE(Has(prepared.Err, message)) << prepared.Err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "new.kpx"));
}

TEST(BadInput, AFormulaOfABillionAtomsGetsItsMass) {
  TTempDir dir;
  // C1000000000 as monomer A: 10^9 x 12.0107359 g/mol, computed at once.
  EditedHandwritten(dir, "big.kpx", {{"Components", "MonomerAFormula", "C1000000000"}});
  const TProcessResult r = RunCli("prepare big.kpx --out big-out.kpx", dir.Path());
  // The weight amount (30 g) is now a few nanomoles: validation may warn or
  // refuse, but the molar mass written (when written) is the right one.
  if (r.ExitCode == 0) {
    Params::TIniFile out(dir / "big-out.kpx");
    EXPECT_NEAR(std::stod(out.ReadString("Components", "MonomerAMolWeight", "0")), 12010735896.8, 1.0);
  } else {
    EXPECT_EQ(r.ExitCode, 2) << r.Err;
    EXPECT_TRUE(Has(r.Err, "Error: ")) << r.Err;
  }
}

TEST(BadInput, UnwritableOutputFolder) {
  TTempDir dir;
  WriteBytes(dir / "plain-file", "x");
  // A folder below a plain file cannot be created.
  TProcessResult r = RunCli("run '" + Example("living-caprolactone.kpx") + "' --out plain-file/out --seed 1",
                            dir.Path());
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_TRUE(Has(r.Err, "plain-file/out")) << r.Err;

  std::filesystem::copy_file(Fixture("prepare-living-handwritten.kpx"), dir / "in.kpx");
  r = RunCli("prepare in.kpx --out plain-file/new.kpx", dir.Path());
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_TRUE(Has(r.Err, "plain-file/new.kpx")) << r.Err;
}

TEST(BadInput, AFullDiskDuringSaveKeepsTheOldFile) {
  TTempDir dir;
  // The file-size limit stands in for a full disk: writes beyond 1 KiB fail
  // with EFBIG (the signal that would otherwise end the program is ignored).
  const std::string full = "trap '' XFSZ; ulimit -f 1; ";
  std::filesystem::copy_file(Fixture("prepare-freeradical-handwritten.kpx"), dir / "in.kpx");
  const std::string old = "[Old]\r\nkept=1\r\n";
  WriteBytes(dir / "out.kpx", old);
  TProcessResult r = RunCli("prepare in.kpx --out out.kpx", dir.Path());
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const std::string prepared = ReadText(dir / "out.kpx");
  ASSERT_GT(prepared.size(), 1024u) << "the saved file must be larger than the limit";
  WriteBytes(dir / "out.kpx", old);
  const std::string command = "cd '" + dir.Path().string() + "' && (" + full + "'" PROPAGON_CLI
                              "' prepare in.kpx --out out.kpx) >/dev/null 2>'" + (dir / "err") + "'";
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << ReadText(dir / "err");
  EXPECT_TRUE(Has(ReadText(dir / "err"), "Unable to write to")) << ReadText(dir / "err");
  EXPECT_EQ(ReadText(dir / "out.kpx"), old) << "the old file survives whole";

  // The run's tables: a complete earlier result stays complete.
  r = RunCli("run '" + Example("living-caprolactone.kpx") + "' --out res --seed 1 --quiet", dir.Path());
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const std::string checkpoints = ReadText(dir.Path() / "res" / "checkpoints.tsv");
  ASSERT_GT(checkpoints.size(), 1024u);
  // The message log too: it grows through the run beside log.txt and
  // replaces it only when complete.
  const std::string log = ReadText(dir.Path() / "res" / "log.txt");
  ASSERT_GT(log.size(), 1024u);
  const std::string rerun = "cd '" + dir.Path().string() + "' && (" + full + "'" PROPAGON_CLI "' run '" +
                            Example("living-caprolactone.kpx") + "' --out res --seed 2 --quiet) >/dev/null 2>'" +
                            (dir / "err") + "'";
  const int rerunStatus = std::system(rerun.c_str());
  EXPECT_TRUE(WIFEXITED(rerunStatus) && WEXITSTATUS(rerunStatus) == 1) << ReadText(dir / "err");
  // The first table that does not fit is named where it stands, and the
  // folder of the earlier run is kept as a whole.
  EXPECT_TRUE(Has(ReadText(dir / "err"), "Unable to write to res/")) << ReadText(dir / "err");
  EXPECT_TRUE(Has(ReadText(dir / "err"), "The results of the earlier run in \"res\" are kept")) << ReadText(dir / "err");
  EXPECT_EQ(ReadText(dir.Path() / "res" / "checkpoints.tsv"), checkpoints) << "never a truncated table";
  EXPECT_EQ(ReadText(dir.Path() / "res" / "log.txt"), log) << "never a truncated log";
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path()))
    EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
}

TEST(BadInput, AParameterFileOverTheSizeLimitIsRefusedUnread) {
  TTempDir dir;
  // A valid beginning, then 300 MB (sparse: no disk is used, and a reader
  // that went through it would take many seconds and gigabytes).
  std::filesystem::copy_file(Example("living-caprolactone.kpx"), dir / "huge.kpx");
  std::filesystem::resize_file(dir / "huge.kpx", 300u << 20);
  TProcessResult r = RunCli("run huge.kpx --out out", dir.Path());
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_TRUE(Has(r.Err, "is too large for a Parameters File: 300.0 MB (the limit is 32 MB)")) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out"));
  r = RunCli("prepare huge.kpx --out new.kpx", dir.Path());
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_TRUE(Has(r.Err, "is too large for a Parameters File")) << r.Err;
  EXPECT_TRUE(Has(r.Err, "Nothing was written.")) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "new.kpx"));

  // At the limit the file is read as any other (it is not a valid one here).
  std::filesystem::resize_file(dir / "huge.kpx", 16u << 20);
  r = RunCli("run huge.kpx --out out --seed 1 --quiet", dir.Path());
  EXPECT_FALSE(Has(r.Err, "too large")) << r.Err;
}

TEST(BadInput, ALibraryFileThatIsNotALibrary) {
  TTempDir dir;
  WriteBytes(dir / "libMaldi.so", "this is a text file, not a shared library\n");
  std::filesystem::copy_file(Fixture("prepare-living-handwritten.kpx"), dir / "in.kpx");
  const std::string before = ReadText(dir / "in.kpx");
  const TProcessResult r = RunCli("prepare in.kpx --library '" + (dir / "libMaldi.so") + "'", dir.Path());
  EXPECT_EQ(r.ExitCode, 3);
  EXPECT_TRUE(Has(r.Err, dir / "libMaldi.so")) << r.Err;
  EXPECT_EQ(ReadText(dir / "in.kpx"), before);
}

} // namespace
