#include "params/uMemoryCheck.h"
#include "params/uNumberFormat.h"
#include "params/uValidation.h"
#include "tests/params/ProcessValues.h"
#include "tests/params/RecordingReporter.h"
#include "tests/support/LogCapture.h"

#include "params/uGrowthBound.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using namespace Params;
using ParamsTest::TRecordingReporter;
using Strings = std::vector<std::string>;

constexpr std::int64_t Terabyte = 1LL << 40;

class Validation : public ::testing::Test {
protected:
  Validation() { SetFree(Terabyte); }
  ~Validation() override { SetAvailableMemorySource({}); }
  void SetFree(std::int64_t bytes) {
    SetAvailableMemorySource([bytes] { return bytes; });
  }
  TValidationOutcome Validate(TProcessValues& v, TMolMassLookup lookup = ParamsTest::FakeMolMass()) {
    FReporter.Messages.clear();
    return ValidateParameters(v, FState, TValidationContext{FReporter, std::move(lookup)});
  }
  bool Shown(const std::string& message) const { return FReporter.Contains(message); }

  Propagon::TSeparatorGuard FGuard{'.', ','};
  TestSupport::TLogCapture FLog;
  TRecordingReporter FReporter;
  TValidationState FState;
  TProcessValues FValues = ParamsTest::FreeRadicalByConcentration();
};

TEST_F(Validation, AValidDescriptionIsAcceptedAndItsStateKept) {
  const auto outcome = Validate(FValues);
  ASSERT_EQ(outcome.Result, TValidationResult::Valid);
  EXPECT_FALSE(FState.ValidationFailed);
  EXPECT_EQ(FState.NI, 1000);
  EXPECT_DOUBLE_EQ(FState.I0, 0.01);
  EXPECT_EQ(FState.NA, 100000);
  EXPECT_EQ(FState.NB, 50000);
  // Free radical copolymer, N_I = 1000 (2001 chain slots), 150000 monomer
  // molecules, three check points (H = 2): the estimate with the rates of
  // the description, no more than without them.
  const TFreeRadicalGrowth growth = FreeRadicalGrowthOf(FValues, FState);
  EXPECT_EQ(FState.RequiredMemoryEstimate, EstimateRequiredMemory(1, 1000, 100000, 50000, 2, &growth));
  EXPECT_LE(FState.RequiredMemoryEstimate, EstimateRequiredMemory(1, 1000, 100000, 50000, 2));
  EXPECT_GT(FState.RequiredMemoryEstimate, MemoryBase);
  EXPECT_EQ(FValues.CheckingPointsNumber, 3);
  EXPECT_TRUE(Shown("information: All Parameters are Valid!"));
  EXPECT_TRUE(FLog.Contains("All Parameters are Valid!"));
  EXPECT_TRUE(FLog.HasPrefix("Available Memory: "));  // the memory report is always logged
}

TEST_F(Validation, InitiatorNumberMustBeAPositiveInteger) {
  for (const char* number : {"0", "-5"}) {
    FValues.InitiatorNumber = number;
    const auto outcome = Validate(FValues);
    EXPECT_EQ(outcome.Result, TValidationResult::Error);
    EXPECT_EQ(FReporter.Messages, (Strings{"error: EMathError\r\nRequired an Integer Value>0"})) << number;
  }
  FValues.InitiatorNumber = "12.5";
  const auto outcome = Validate(FValues);
  EXPECT_EQ(outcome.ErrorKind, "EConvertError");
  EXPECT_EQ(outcome.Field, "General/InitiatorNumber");
  EXPECT_EQ(FReporter.Messages, (Strings{"error: EConvertError\r\n'12.5' is not a valid integer value"}));
}

TEST_F(Validation, MoleculeNumbersMustFitThirtyTwoBits) {
  // N_I = 1 at I0 = 1 mol/L: the monomer concentration is the molecule number.
  FValues.ProcessType = 3;
  FValues.InitiatorNumber = "1";
  FValues.Components[ciInitiator].Amount = "1";
  FValues.Components[ciMonomerB].Amount = "0";
  FValues.Components[ciMonomerA].Amount = "2147483646";
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Valid);
  EXPECT_EQ(FState.NA, 2147483646);
  FValues.Components[ciMonomerA].Amount = "2147483647";
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Error);
  EXPECT_TRUE(Shown("error: EMathError\r\nMonomerA Molecules Number Exceeds the Maximal Integer!"));
  // Each monomer fits, the sum does not.
  FValues.Components[ciMonomerA].Amount = "2000000000";
  FValues.Components[ciMonomerB].Amount = "200000000";
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Error);
  EXPECT_TRUE(Shown("error: EMathError\r\nMonomers Molecules Number Exceeds the Maximal Integer!"));
}

TEST_F(Validation, ActivatorBoundIsOneHigherThanTheMonomerBound) {
  FValues.ProcessType = 2;
  FValues.InitiatorNumber = "1";
  FValues.Components[ciInitiator].Amount = "1";
  FValues.Activation = {"1", "1", "1", "1E7", "1E7", "1E7"};
  TComponentValues& activator = FValues.Components[ciActivator];
  activator = {cuConcentration, "2147483647", "1", "", "1", "CuBr", "2", "", 143.45};
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Valid);
  EXPECT_EQ(FState.NL, 2147483647);
  EXPECT_EQ(FState.NLX, 2147483647);  // ratio 1
  activator.Oxidized = "0.25";  // 2147483647 x 0.25 = 536870911.75 -> 536870912
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Valid);
  EXPECT_EQ(FState.NLX, 536870912);
  activator.Amount = "2147483648";
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Error);
  EXPECT_TRUE(Shown("error: EMathError\r\nActivator Molecules Number Exceeds the Maximal Integer!"));
  activator.Amount = "2147483647";
  activator.Oxidized = "1.5";
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Error);
  EXPECT_TRUE(Shown("error: EMathError\r\nOxidizedActivator Molecules Number Exceeds the Maximal Integer!"));
}

TEST_F(Validation, FewRadicalsInTheSimulatedVolumeOnlyWarn) {
  // I0 = 0.01, kd = 1E-5, all kt = 1E8: R = sqrt(1E-5 x 0.01 / 1E8) = 3.16E-8 mol/L.
  FValues.InitDecomposit = "1E-5";
  FValues.Termination.fill("1E8");
  const std::string warning = "warning: [R*] is very low!\n\rAn effect of confined volume will appear\n\rfor current settings";
  FValues.InitiatorNumber = "1000000";  // 1E6 x 3.16E-8 / 0.01 = 3.2 radicals: no warning
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Valid);
  EXPECT_FALSE(Shown(warning));
  FValues.InitiatorNumber = "100000";  // 0.32 radicals: warning, and the validation goes on
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Valid);
  EXPECT_TRUE(Shown(warning));
  EXPECT_TRUE(Shown("information: All Parameters are Valid!"));
}

TEST_F(Validation, ArithmeticFaultsAreShownWithTheirKind) {
  FValues.Termination.fill("0");  // kd x I0 / 0
  EXPECT_EQ(Validate(FValues).ErrorKind, "EZeroDivide");
  EXPECT_TRUE(Shown("error: EZeroDivide\r\nFloating point division by zero"));
  FValues.InitDecomposit = "0";  // 0 / 0
  EXPECT_EQ(Validate(FValues).ErrorKind, "EInvalidOp");
  EXPECT_TRUE(Shown("error: EInvalidOp\r\nInvalid floating point operation"));
  FValues = ParamsTest::FreeRadicalByConcentration();
  FValues.Components[ciMonomerA].Amount = "1E300";  // 1E300 x V x N_Av overflows
  EXPECT_EQ(Validate(FValues).ErrorKind, "EOverflow");
  EXPECT_TRUE(Shown("error: EOverflow\r\nFloating point overflow"));
  FValues = ParamsTest::FreeRadicalByConcentration();
  FValues.Components[ciInitiator].Amount = "0";  // I0 = 0: the scale divides by zero
  EXPECT_EQ(Validate(FValues).ErrorKind, "EZeroDivide");
}

TEST_F(Validation, DescriptionsWithoutTypeOrTimeScaleAreRefused) {
  FValues.ProcessType = -1;
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Error);
  EXPECT_TRUE(Shown("error: EMathError\r\nProcess Type not Selected!"));

  // A type read from a file that no kernel runs is named, with its key.
  for (const int type : {7, 257, -2}) {
    FValues.ProcessType = type;
    const TValidationOutcome outcome = Validate(FValues);
    EXPECT_EQ(outcome.Result, TValidationResult::Error) << type;
    EXPECT_EQ(outcome.ErrorMessage, "ProcessType " + std::to_string(type) +
                                        " is not a Process Type (0 living, 1 free radical, 2 ATRP, 3 living reversible)");
    EXPECT_EQ(outcome.Field, "General/ProcessType");
  }

  FValues.ProcessType = 0;
  FValues.Propagation.fill("0");
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Error);
  EXPECT_TRUE(Shown("error: EMathError\r\nAll Propagation and Chain Transfer Rate Constants are 0! "
                    "Living Polymerization has no Time Scale"));
  FValues.Propagation[7] = "5";  // chain transfer alone gives a time scale
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Valid);
  FValues.Components[ciMonomerA].Amount = "0";
  FValues.Components[ciMonomerB].Amount = "0";
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Error);
  EXPECT_TRUE(Shown("error: EMathError\r\nNo Monomer Molecules! Living Polymerization has no Time Scale"));
}

TEST_F(Validation, HandWrittenRatesAndCheckingPointsAreChecked) {
  FValues.Termination[2] = "-1";
  auto outcome = Validate(FValues);
  EXPECT_EQ(outcome.ErrorMessage, "NonNegative Value Required");
  EXPECT_EQ(outcome.Field, "ChemicalRates/DisprBB");
  FValues = ParamsTest::FreeRadicalByConcentration();
  FValues.CheckingPoints = {"0", "10", "5", "20"};
  outcome = Validate(FValues);
  EXPECT_EQ(outcome.ErrorMessage, "Value in Line 2 must be Lower than the Next Ones");
  FValues.CheckingPoints = {"0", "", "10", "10", "20"};  // empty lines skipped, equal neighbours pass
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Valid);
  EXPECT_EQ(FValues.CheckingPointsNumber, 4);
  FValues.CheckingPoints = {"0"};
  outcome = Validate(FValues);
  EXPECT_EQ(outcome.Field, "CheckingPoints");
  // Check point 0 is the start of the run.
  FValues.CheckingPoints = {"", "5", "10"};
  outcome = Validate(FValues);
  EXPECT_EQ(outcome.Result, TValidationResult::Error);
  EXPECT_EQ(outcome.ErrorMessage, "The First Checking Point must be 0 (the Start of the Run), not 5");
  EXPECT_EQ(outcome.Field, "CheckingPoints/0");
  FValues.CheckingPoints = {"0.0000", "5", "10"};
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Valid);
}

TEST_F(Validation, MonomerBMayBeAbsentButNeedsAFormula) {
  FValues.Components[ciMonomerB].Amount = "0";
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Valid);
  EXPECT_EQ(FState.NB, 0);
  FValues.Components[ciMonomerB].Formula = "";
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Invalid);
  EXPECT_TRUE(FState.ValidationFailed);
  EXPECT_TRUE(Shown("error: Invalid Formula for \"MonomerB Formula\""));
  EXPECT_FALSE(Shown("information: All Parameters are Valid!"));
}

TEST_F(Validation, ComponentChecksInTheSumOfComponentsMode) {
  FValues.MixtureVolume = 1;
  FValues.Components[ciSolvent] = {cuVolume, "80", "1", "", "", "", "2", "", 0.0};
  FValues.Components[ciMonomerA] = {cuWeight, "10", "0", "", "", "C8H8", "2", "", 0.0};
  // Density 0: the component box, then its volume 10 g / 0 ends the validation.
  EXPECT_EQ(Validate(FValues).ErrorKind, "EZeroDivide");
  EXPECT_TRUE(Shown("error: Invalid Density or Volume for MonomerA"));
  EXPECT_TRUE(FState.ValidationFailed);
  // Given in moles, the density is not used and not checked.
  FValues.Components[ciMonomerA] = {cuMoles, "0.1", "", "10", "", "C8H8", "2", "", 0.0};
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Valid);
  EXPECT_EQ(FValues.TotalVolume, "90.00");  // 80 mL solvent + 10 mL typed for A + 0 for B
}

TEST_F(Validation, VolumeOfMonomerAInTheTotalKnownModeIsOnlyAWarning) {
  FValues.Components[ciMonomerA] = {cuVolume, "0", "0.9", "", "", "C8H8", "2", "", 0.0};
  const auto outcome = Validate(FValues);
  EXPECT_TRUE(Shown("error: Invalid Volume of MonomerA"));
  EXPECT_EQ(outcome.Result, TValidationResult::Valid);
  EXPECT_EQ(FState.NA, 0);
}

TEST_F(Validation, InvalidFormulasAndAMissingLibrary) {
  FValues.Components[ciInitiator].AttachedGroup = "Q";
  EXPECT_EQ(Validate(FValues).Result, TValidationResult::Invalid);
  EXPECT_TRUE(Shown("error: Invalid Formula for \"Initiator Attached Group\""));
  EXPECT_TRUE(FLog.Contains("Invalid Formula for \"Initiator Attached Group\""));

  FValues = ParamsTest::FreeRadicalByConcentration();
  EXPECT_EQ(Validate(FValues, TMolMassLookup{}).Result, TValidationResult::Invalid);
  int notAssigned = 0;
  for (const auto& line : FLog.Lines())
    notAssigned += line == "Function not Assigned! Error in \"libMaldi.so\"!";
  EXPECT_EQ(notAssigned, 4);  // initiator formula and group, monomers A and B
  EXPECT_EQ(FValues.Components[ciMonomerA].MolarMass, 0.0);
}

TEST_F(Validation, MolarMassesBeyondTheFiniteRangeAreInvalidFormulas) {
  // A library answer that no chain mass could be built from: infinite, or so
  // large that MaxDP units and the square for Mw would overflow.
  for (const double mass : {std::numeric_limits<double>::infinity(), 1e306, -1.0}) {
    FValues = ParamsTest::FreeRadicalByConcentration();
    const TMolMassLookup fake = ParamsTest::FakeMolMass();
    const TMolMassLookup lookup = [&](const std::string& formula) {
      return formula == FValues.Components[ciMonomerA].Formula ? mass : fake(formula);
    };
    EXPECT_EQ(Validate(FValues, lookup).Result, TValidationResult::Invalid) << mass;
    EXPECT_TRUE(Shown("error: Invalid Formula for \"MonomerA Formula\"")) << mass;
  }
  FValues = ParamsTest::FreeRadicalByConcentration();
  const TMolMassLookup fake = ParamsTest::FakeMolMass();
  const TMolMassLookup large = [&](const std::string& formula) {
    return formula == FValues.Components[ciMonomerA].Formula ? 1e12 : fake(formula);
  };
  EXPECT_EQ(Validate(FValues, large).Result, TValidationResult::Valid);
}

TEST_F(Validation, TooLittleMemoryFailsWithTheMemoryWarning) {
  SetFree(6000000);  // 6 MB is less than the 6 MiB allowance alone
  const auto outcome = Validate(FValues);
  EXPECT_EQ(outcome.Result, TValidationResult::Invalid);
  EXPECT_TRUE(FState.ValidationFailed);
  ASSERT_FALSE(FReporter.Messages.empty());
  EXPECT_EQ(FReporter.Messages.back().rfind("warning: Available Memory: 5 859 kB", 0), 0u);  // 6E6 / 1024
  EXPECT_FALSE(Shown("information: All Parameters are Valid!"));
  EXPECT_EQ(FState.RequiredMemoryEstimate, 0);  // unchanged by a failed validation
}

TEST_F(Validation, AnErrorLeavesTheFailureFlagAsItWas) {
  FValues.Components[ciMonomerA].Formula = "Xx";  // A is invalid: the flag is set...
  FValues.Components[ciMonomerB].Amount = "x";    // ...then B's amount ends the validation
  const auto outcome = Validate(FValues);
  EXPECT_EQ(outcome.Result, TValidationResult::Error);
  EXPECT_EQ(outcome.Field, "Components/MonomerBAmount");
  EXPECT_TRUE(FState.ValidationFailed);
  EXPECT_TRUE(Shown("error: Invalid Formula for \"MonomerA Formula\""));  // stays shown
  EXPECT_TRUE(Shown("error: EConvertError\r\n'x' is not a valid floating point value"));
}

TEST_F(Validation, NegativeTotalVolumeOxidizedShareAndLengthAreRefusedByName) {
  FValues.TotalVolume = "-100";
  auto outcome = Validate(FValues);
  EXPECT_EQ(outcome.Result, TValidationResult::Error);
  EXPECT_EQ(outcome.Field, "General/TotalVolume");
  EXPECT_TRUE(Shown("error: EMathError\r\nThe Total Volume must not be Negative: -100"));
  EXPECT_FALSE(Shown("information: All Parameters are Valid!"));

  FValues = ParamsTest::FreeRadicalByConcentration();
  FValues.Components[ciMonomerB].Length = "-2";
  outcome = Validate(FValues);
  EXPECT_EQ(outcome.Field, "Components/MonomerBLength");
  EXPECT_TRUE(Shown("error: EMathError\r\nThe Length of MonomerB must not be Negative: -2"));

  // ATRP: the activator with a negative oxidized share.
  FValues = ParamsTest::FreeRadicalByConcentration();
  FValues.ProcessType = 2;
  FValues.Components[ciActivator] = {cuConcentration, "0.01", "1", "", "-0.5", "CuBr", "2", "", 0.0};
  FValues.Activation = {"1", "1", "1", "1E7", "1E7", "1E7"};
  const auto withCopper = [](const std::string& formula) {
    return formula == "CuBr" ? 143.45 : ParamsTest::FakeMolMass()(formula);
  };
  outcome = Validate(FValues, withCopper);
  EXPECT_EQ(outcome.Field, "Components/ActivatorOxidized");
  EXPECT_TRUE(Shown("error: EMathError\r\nThe Oxidized share of the Activator must not be Negative: -0.5"));
  FValues.Components[ciActivator].Oxidized = "0.5";
  EXPECT_EQ(Validate(FValues, withCopper).Result, TValidationResult::Valid);
  EXPECT_EQ(FState.NLX, FState.NL / 2);
}

TEST_F(Validation, EveryFailingComponentCheckNamesItsCause) {
  // Given as a concentration, a negative amount has no box of the panel's rules.
  FValues.Components[ciMonomerA].Amount = "-1";
  auto outcome = Validate(FValues);
  EXPECT_EQ(outcome.Result, TValidationResult::Invalid);
  EXPECT_EQ(outcome.ErrorMessage, "Negative Amount for MonomerA: -1");
  EXPECT_TRUE(Shown("error: Negative Amount for MonomerA: -1"));
  // The initiator too (the arithmetic that follows from it may end the validation).
  FValues = ParamsTest::FreeRadicalByConcentration();
  FValues.Components[ciInitiator].Amount = "-0.01";
  EXPECT_NE(Validate(FValues).Result, TValidationResult::Valid);
  EXPECT_TRUE(Shown("error: Negative Amount for Initiator: -0.01"));

  // A volume with a density of 0, total volume known: no box of its own before.
  FValues = ParamsTest::FreeRadicalByConcentration();
  FValues.Components[ciMonomerA] = {cuVolume, "10", "0", "", "", "C8H8", "2", "", 0.0};
  outcome = Validate(FValues);
  EXPECT_EQ(outcome.Result, TValidationResult::Invalid);
  EXPECT_EQ(outcome.ErrorMessage, "Invalid Density for MonomerA: 0 (a density above 0 is required)");
  EXPECT_TRUE(Shown("error: Invalid Density for MonomerA: 0 (a density above 0 is required)"));

  // Where the panel's box already stands, it is not doubled; the cause is the precise one.
  FValues = ParamsTest::FreeRadicalByConcentration();
  FValues.Components[ciMonomerB] = {cuVolume, "5", "-1", "", "", "C5H8O2", "2", "", 0.0};
  outcome = Validate(FValues);
  EXPECT_EQ(outcome.ErrorMessage, "Invalid Density for MonomerB: -1 (a density above 0 is required)");
  EXPECT_TRUE(Shown("error: Invalid Density or Volume for MonomerB"));
  EXPECT_FALSE(Shown("error: Invalid Density for MonomerB: -1 (a density above 0 is required)"));

  // Too little memory names itself too.
  FValues = ParamsTest::FreeRadicalByConcentration();
  SetFree(6000000);  // less than the allowance alone
  EXPECT_EQ(Validate(FValues).ErrorMessage, "Not enough memory for the run");
}

} // namespace
