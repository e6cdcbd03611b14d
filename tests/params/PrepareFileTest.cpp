#include "params/uMemoryCheck.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"
#include "params/uParamSetting.h"
#include "params/uPrepareFile.h"
#include "tests/params/ProcessValues.h"
#include "tests/params/RecordingReporter.h"
#include "tests/params/TempDir.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace Params;
using ParamsTest::ReadBytes;
using ParamsTest::TRecordingReporter;
using ParamsTest::TTempDir;

std::string Fixture(const std::string& name) { return std::string(PROPAGON_TEST_DATA) + "/" + name; }

class PrepareFile : public ::testing::Test {
protected:
  PrepareFile() { SetAvailableMemorySource([] { return std::int64_t{1} << 40; }); }
  ~PrepareFile() override { SetAvailableMemorySource({}); }
  TPrepareResult Prepare(const std::string& input, const std::string& output) {
    return PrepareParameterFile(input, output, ParamsTest::FakeMolMass(), FReporter);
  }
  Propagon::TSeparatorGuard FGuard{'.', ','};
  TestSupport::TLogCapture FLog;
  TRecordingReporter FReporter;
  TTempDir FDir;
};

struct TCase {
  const char* File;
  int Type;
  std::vector<std::pair<const char*, const char*>> Keys;  // section, key the engine needs for the type
};

TEST_F(PrepareFile, HandWrittenFilesOfEveryTypeBecomeRunnable) {
  const std::vector<TCase> cases = {
      {"prepare-living-handwritten.kpx", 0, {{"ChemicalRates", "TimeInterval"}, {"SimulationRates", "B*Bc"}}},
      {"prepare-freeradical-handwritten.kpx",
       1,
       {{"General", "ExpectedChainsN"}, {"SimulationRates", "InitDecomposit"}, {"SimulationRates", "RecombBB"}}},
      {"prepare-atrp-handwritten.kpx",
       2,
       {{"SimulationParameters", "ActivatorNumber"}, {"SimulationParameters", "OxidizedActivatorNumber"},
        {"SimulationRates", "DeactB"}, {"Components", "InitiatorAttachMolWeight"}}},
      {"prepare-reversible-handwritten.kpx", 3, {{"SimulationRates", "BB*"}, {"SimulationRates", "I*A"}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File);
    const auto out = FDir.File(c.File);
    const TPrepareResult result = Prepare(Fixture(c.File), out);
    ASSERT_EQ(result.ExitCode, 0) << result.Message;
    TParameterFile file(out);
    TRecordingReporter quiet;
    EXPECT_TRUE(file.CheckFileValid(quiet));
    EXPECT_EQ(file.ReadInteger("General", "ProcessType", -1), c.Type);
    EXPECT_GT(file.ReadInteger("SimulationParameters", "InitiatorNumber", 0), 0);
    // At least the allowance for the program itself.
    EXPECT_GT(file.ReadLocalFloat("SimulationParameters", "RequiredMemory"), static_cast<double>(MemoryBase));
    EXPECT_GT(file.ReadLocalFloat("Components", "MonomerAMolWeight"), 0.0);
    for (const auto& [section, key] : c.Keys)
      EXPECT_NO_THROW(file.ReadLocalFloat(section, key)) << section << "/" << key;
    int high = 0;
    std::vector<double> times;
    file.ReadCheckingPointsArray(high, times);
    EXPECT_GE(high, 1);
    // Preparing the prepared file changes nothing.
    const std::string once = ReadBytes(out);
    ASSERT_EQ(Prepare(out, out).ExitCode, 0);
    EXPECT_EQ(ReadBytes(out), once);
  }
}

TEST_F(PrepareFile, TheSumOfComponentsIsComputedAndWritten) {
  const auto out = FDir.File("reversible.kpx");
  ASSERT_EQ(Prepare(Fixture("prepare-reversible-handwritten.kpx"), out).ExitCode, 0);
  TParameterFile file(out);
  // 50 mL solvent + 11.4 g / 1.03 g/mL = 11.068 mL of caprolactone + 0 mL of B.
  EXPECT_EQ(file.ReadString("General", "TotalVolume", ""), "61.07");
  EXPECT_EQ(file.ReadString("Components", "MonomerAVolume", ""), "11.068");
  // Monomer: 11.4 g / 114.14 g/mol = 0.099877 mol for 0.001 mol initiator: 99877 per 1000.
  EXPECT_EQ(file.ReadInteger("SimulationParameters", "MonomerANumber", 0), 99877);
  // A depropagation rate left out is 0, as the editor's field shows it, and not
  // the 1.0 its engine reader takes for an empty value.
  EXPECT_EQ(file.ReadString("SimulationRates", "BB*", ""), "0");
  EXPECT_EQ(file.ReadString("SimulationRates", "AA*", ""), "0.5");
}

TEST_F(PrepareFile, InPlaceKeepsTheCommentsAndAddsTheMarker) {
  const auto out = FDir.File("living.kpx");
  ParamsTest::WriteBytes(out, ReadBytes(Fixture("prepare-living-handwritten.kpx")));
  ASSERT_EQ(Prepare(out, out).ExitCode, 0);
  const std::string text = ReadBytes(out);
  EXPECT_EQ(text.rfind("; Ring-opening polymerization", 0), 0u);
  EXPECT_NE(text.find("[Propago\xAE Parameters File]\r\nFileValid=1\r\n"), std::string::npos);
  EXPECT_NE(text.find("A*A=0.5"), std::string::npos);  // separator adapted on reading, kept as text
}

TEST_F(PrepareFile, BrokenFilesAreRejectedWithTheirMessage) {
  const auto out = FDir.File("never.kpx");
  TPrepareResult result = Prepare(Fixture("prepare-broken-initiator-number.kpx"), out);
  EXPECT_EQ(result.ExitCode, 2);
  EXPECT_EQ(result.Message, "EConvertError\r\n'12.5' is not a valid integer value");
  EXPECT_EQ(result.Validation.Field, "General/InitiatorNumber");
  EXPECT_TRUE(FReporter.Contains("error: EConvertError\r\n'12.5' is not a valid integer value"));

  result = Prepare(Fixture("prepare-broken-no-process-type.kpx"), out);
  EXPECT_EQ(result.ExitCode, 2);
  EXPECT_EQ(result.Message, "EMathError\r\nProcess Type not Selected!");

  result = Prepare(FDir.File("absent.kpx"), out);
  EXPECT_EQ(result.ExitCode, 1);
  EXPECT_EQ(result.Message, "Cannot read the parameter file \"" + FDir.File("absent.kpx") + "\"");
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(PrepareFile, ComponentErrorsAndRefusedWritesWriteNothing) {
  // Without the library every formula is invalid: validation fails, nothing written.
  const auto out = FDir.File("nolib.kpx");
  TPrepareResult result =
      PrepareParameterFile(Fixture("prepare-living-handwritten.kpx"), out, TMolMassLookup{}, FReporter);
  EXPECT_EQ(result.ExitCode, 2);
  // The first cause is named.
  EXPECT_EQ(result.Message, "The parameters are not valid: Invalid Formula for \"Initiator Formula\"");
  EXPECT_FALSE(std::filesystem::exists(out));

  const auto refused = FDir.File("no/folder/out.kpx");
  result = Prepare(Fixture("prepare-living-handwritten.kpx"), refused);
  EXPECT_EQ(result.ExitCode, 1);
  EXPECT_EQ(result.Message, "EIniFileException\r\nUnable to write to " + refused);
}

} // namespace
