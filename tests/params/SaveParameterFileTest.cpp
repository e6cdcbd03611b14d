#include "params/uErrors.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"
#include "params/uParamSetting.h"
#include "tests/params/ProcessValues.h"
#include "tests/params/RecordingReporter.h"
#include "tests/params/TempDir.h"

#include <gtest/gtest.h>

namespace {

using namespace Params;
using ParamsTest::ReadBytes;
using ParamsTest::TRecordingReporter;
using ParamsTest::TTempDir;
using Strings = std::vector<std::string>;

class SaveParameterFileTest : public ::testing::Test {
protected:
  TValidationState Validated(TProcessValues& v) {
    TValidationState s;
    s.NI = 1000;
    s.I0 = GetConcentration(v, ciInitiator);
    s.NA = GetMoleculesNumber(v, s, ciMonomerA);
    s.NB = GetMoleculesNumber(v, s, ciMonomerB);
    s.RequiredMemoryEstimate = 375712852;
    return s;
  }
  Propagon::TSeparatorGuard FGuard{'.', ','};
  TTempDir FDir;
  TRecordingReporter FReporter;
};

TEST_F(SaveParameterFileTest, WritesSectionsAndKeysInTheEditorsOrder) {
  TProcessValues v = ParamsTest::FreeRadicalByConcentration();
  const TValidationState s = Validated(v);
  const auto name = FDir.File("fr.kpx");
  SaveParameterFile(name, v, s, ParamsTest::FakeMolMass(), FReporter);
  EXPECT_TRUE(FReporter.Messages.empty());
  TParameterFile file(name);
  EXPECT_EQ(file.ReadSections(), (Strings{"Propago\xC2\xAE Parameters File", "General", "Components",
                                          "SimulationParameters", "SimulationRates", "ChemicalRates", "Controls",
                                          "CheckingPoints"}));
  EXPECT_EQ(file.ReadSection("General"),
            (Strings{"ProcessType", "ProcessName", "MixtureVolume", "InitiatorNumber", "TotalVolume",
                     "ExpectedChainsN"}));
  const Strings components = file.ReadSection("Components");
  EXPECT_EQ(Strings(components.begin(), components.begin() + 14),
            (Strings{"SolventDensity", "SolventUnits", "SolventAmount", "SolventVolume", "InitiatorFormula",
                     "InitiatorLength", "InitiatorMolWeight", "InitiatorAttachedGroup", "InitiatorAttachMolWeight",
                     "InitiatorConcentr", "InitiatorDensity", "InitiatorUnits", "InitiatorAmount",
                     "InitiatorVolume"}));
  EXPECT_EQ(components.back(), "ActivatorVolume");
  EXPECT_EQ(file.ReadSection("SimulationParameters"),
            (Strings{"RequiredMemory", "InitiatorNumber", "MonomerANumber", "MonomerBNumber", "IniConc",
                     "SimVolume", "ScalingCoeff"}));
  // Rates as typed: the derived ones first, then centre by centre with columns A, B, Ac, Bc.
  EXPECT_EQ(file.ReadSection("ChemicalRates"),
            (Strings{"InitDecomposit", "InitiationEfficiency", "I*A", "I*B", "I*Ac", "I*Bc", "A*A", "A*B", "A*Ac",
                     "A*Bc", "B*A", "B*B", "B*Ac", "B*Bc", "DisprAA", "DisprAB", "DisprBB", "RecombAA", "RecombAB",
                     "RecombBB"}));
  EXPECT_EQ(file.ReadSection("Controls"),
            (Strings{"CheckingPointsMethod", "CheckingPointsDistr", "CheckingPointsNumber"}));
  EXPECT_EQ(file.ReadString("Components", "InitiatorMolWeight", ""), "164.2100");
  EXPECT_EQ(file.ReadString("Components", "InitiatorAttachMolWeight", ""), "68.1000");
  EXPECT_EQ(file.ReadString("Components", "MonomerBConcentr", ""), "0.5000");
  EXPECT_EQ(file.ReadString("Components", "ActivatorMolWeight", ""), "0.0000");  // no formula
  EXPECT_FALSE(file.ValueExists("Components", "SolventFormula"));
  EXPECT_EQ(file.ReadString("General", "ProcessName", ""), "Free Radical Copolymerization");
  TRecordingReporter quiet;
  EXPECT_TRUE(file.CheckFileValid(quiet));
}

TEST_F(SaveParameterFileTest, ALivingSaveOverAFreeRadicalFileKeepsItsForeignKeys) {
  TProcessValues v = ParamsTest::FreeRadicalByConcentration();
  const auto name = FDir.File("over.kpx");
  SaveParameterFile(name, v, Validated(v), ParamsTest::FakeMolMass(), FReporter);
  v.ProcessType = 0;
  SaveParameterFile(name, v, Validated(v), ParamsTest::FakeMolMass(), FReporter);
  TParameterFile file(name);
  EXPECT_EQ(file.ReadInteger("General", "ProcessType", -1), 0);
  EXPECT_EQ(file.ReadString("General", "ProcessName", ""), "Ring Opening Polymerization");
  EXPECT_EQ(file.ReadInteger("General", "ExpectedChainsN", -1), 20);         // kept
  EXPECT_EQ(file.ReadString("ChemicalRates", "InitDecomposit", ""), "1E-5");  // kept
  EXPECT_EQ(file.ReadString("SimulationRates", "RecombBB", ""), "600");      // kept
  EXPECT_TRUE(file.ValueExists("ChemicalRates", "TimeInterval"));            // added
  EXPECT_EQ(file.ReadString("SimulationRates", "A*A", ""), "0.25");          // now relative: 100 / 400
}

TEST_F(SaveParameterFileTest, TheDepropagationRatesAreCopiedForLivingReversible) {
  TProcessValues v = ParamsTest::FreeRadicalByConcentration();
  v.ProcessType = 3;
  v.Depropagation = {"0.1", "0.2", "0.3", "0.4", "0.5", "0.6"};
  const auto name = FDir.File("lr.kpx");
  SaveParameterFile(name, v, Validated(v), ParamsTest::FakeMolMass(), FReporter);
  TParameterFile file(name);
  EXPECT_EQ(file.ReadString("SimulationRates", "BB*", ""), "0.6");
  EXPECT_EQ(file.ReadString("ChemicalRates", "IA*", ""), "0.1");
  EXPECT_FALSE(file.ValueExists("ChemicalRates", "DisprAA"));
  EXPECT_FALSE(file.ValueExists("General", "ExpectedChainsN"));
}

TEST_F(SaveParameterFileTest, AFailedSaveLeavesTheFileAsItWas) {
  TProcessValues v = ParamsTest::FreeRadicalByConcentration();
  const auto name = FDir.File("keep.kpx");
  SaveParameterFile(name, v, Validated(v), ParamsTest::FakeMolMass(), FReporter);
  const std::string before = ReadBytes(name);
  TValidationState s = Validated(v);
  v.Termination[4] = "5E7x";  // a rate that is no number stops the save
  try {
    SaveParameterFile(name, v, s, ParamsTest::FakeMolMass(), FReporter);
    FAIL() << "the save went through";
  } catch (const Propagon::EConvertError& e) {
    EXPECT_STREQ(e.what(), "'5E7x' is not a valid floating point value");
    EXPECT_EQ(e.Field(), "ChemicalRates/RecombAB");
  }
  EXPECT_EQ(ReadBytes(name), before);
  v.ProcessType = -1;
  EXPECT_THROW(SaveParameterFile(name, v, s, ParamsTest::FakeMolMass(), FReporter), Propagon::EMathError);
  EXPECT_EQ(ReadBytes(name), before);
}

TEST_F(SaveParameterFileTest, FailedValidationIsWrittenAsAnInvalidFile) {
  TProcessValues v = ParamsTest::FreeRadicalByConcentration();
  TValidationState s = Validated(v);
  s.ValidationFailed = true;
  const auto name = FDir.File("invalid.kpx");
  SaveParameterFile(name, v, s, ParamsTest::FakeMolMass(), FReporter);
  EXPECT_FALSE(TParameterFile(name).CheckFileValid(FReporter));
}

TEST_F(SaveParameterFileTest, WhatIsSavedLoadsBackAsTheSameValues) {
  TProcessValues v = ParamsTest::FreeRadicalByConcentration();
  v.CheckingPoints = {"0", "", "1000,5", "2000"};  // an empty line and the other separator
  const auto name = FDir.File("back.kpx");
  SaveParameterFile(name, v, Validated(v), ParamsTest::FakeMolMass(), FReporter);
  TProcessValues loaded;
  LoadParameterValues(TParameterFile(name), loaded, ParamsTest::FakeMolMass(), FReporter);
  EXPECT_TRUE(FReporter.Messages.empty());
  EXPECT_EQ(loaded.ProcessType, 1);
  EXPECT_EQ(loaded.InitiatorNumber, "1000");
  EXPECT_EQ(loaded.Termination, v.Termination);
  EXPECT_EQ(loaded.Propagation, v.Propagation);
  EXPECT_EQ(loaded.InitDecomposit, "1E-5");
  EXPECT_EQ(loaded.CheckingPoints, (Strings{"0", "1000.5", "2000"}));
  EXPECT_EQ(loaded.CheckingPointsNumber, 3);
  EXPECT_EQ(loaded.Components[ciInitiator].AttachedGroup, "C4H6N");
  EXPECT_DOUBLE_EQ(loaded.Components[ciMonomerA].MolarMass, 104.15);
  EXPECT_EQ(loaded.Components[ciActivator].Units, -1);
  EXPECT_EQ(loaded.Components[ciActivator].Length, "2");
}

TEST_F(SaveParameterFileTest, LoadingReportsEachInvalidFormulaOnce) {
  const auto name = FDir.File("bad.kpx");
  ParamsTest::WriteBytes(name, "[Components]\r\nMonomerAFormula=Xx9\r\nMonomerBFormula=C8H8\r\n");
  TProcessValues loaded;
  LoadParameterValues(TParameterFile(name), loaded, ParamsTest::FakeMolMass(), FReporter);
  EXPECT_EQ(FReporter.Messages, (Strings{"error: Invalid Formula for \"MonomerA Formula\""}));
  EXPECT_EQ(loaded.Components[ciMonomerA].MolarMass, 0.0);
  EXPECT_EQ(loaded.Components[ciMonomerB].MolarMass, 104.15);
  EXPECT_EQ(loaded.Components[ciMonomerB].Density, "");  // absent: empty, as the editor reads it
}

} // namespace
