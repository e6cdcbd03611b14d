#include "params/uErrors.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"
#include "params/uParamSetting.h"
#include "params/uGrowthBound.h"
#include "tests/params/ProcessValues.h"
#include "tests/params/RecordingReporter.h"
#include "tests/params/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace Params;
using ParamsTest::TRecordingReporter;
using ParamsTest::TTempDir;

class Conversion : public ::testing::Test {
protected:
  Propagon::TSeparatorGuard FGuard{'.', ','};
};

TValidationState StateFor(TProcessValues& v, std::int64_t ni) {
  TValidationState s;
  s.NI = ni;
  s.I0 = GetConcentration(v, ciInitiator);
  s.NA = GetMoleculesNumber(v, s, ciMonomerA);
  s.NB = GetMoleculesNumber(v, s, ciMonomerB);
  return s;
}

TEST_F(Conversion, ScaleAndMoleculeNumbersOfTheWorkedExample) {
  TProcessValues v = ParamsTest::FreeRadicalByConcentration();
  TValidationState s = StateFor(v, 1000);
  // 1000 initiator molecules at 0.01 mol/L; 1 mol/L of A is 100 times as many.
  EXPECT_EQ(s.NA, 100000);
  EXPECT_EQ(s.NB, 50000);
  // Whatever the mixture volume, including none at all.
  for (const char* volume : {"1", "250", "0"}) {
    v.TotalVolume = volume;
    EXPECT_EQ(GetMoleculesNumber(v, s, ciMonomerA), 100000) << volume;
  }
  TTempDir dir;
  TParameterFile file(dir.File("a.kpx"));
  SaveSimulationParameters(file, v, s);
  // ScalingCoeff = I0 / N_I = 0.01 / 1000; SimVolume = 1000 / 0.01 / 6.02214179E23 = 1.6605E-19 L.
  EXPECT_EQ(file.ReadString("SimulationParameters", "ScalingCoeff", ""), "1E-5");
  EXPECT_EQ(file.ReadString("SimulationParameters", "SimVolume", ""), "1.661E-19");
  EXPECT_EQ(file.ReadString("SimulationParameters", "IniConc", ""), "0.01");
  EXPECT_EQ(file.ReadInteger("SimulationParameters", "MonomerANumber", 0), 100000);
}

TEST_F(Conversion, ComponentVolumesInTheSumOfComponentsMode) {
  TProcessValues v;
  v.MixtureVolume = 1;
  v.Components[ciMonomerA] = {cuWeight, "10", "0.9", "", "", "C8H8", "2", "", 104.15};
  v.Components[ciSolvent] = {cuVolume, "50", "1", "", "", "", "2", "", 0.0};
  v.Components[ciMonomerB] = {cuMoles, "0.1", "1", "12.5", "", "C5H8O2", "2", "", 100.12};
  // 10 g / 0.9 g/mL = 11.1111 mL, kept with three decimals.
  EXPECT_DOUBLE_EQ(GetComponentVolume(v, ciMonomerA), 11.111);
  EXPECT_EQ(v.Components[ciMonomerA].Volume, "11.111");
  // Solvent by volume copies its amount; B by moles uses the typed volume.
  // Sum 50 + 11.111 + 12.5 = 73.611 mL, shown as "73.61".
  EXPECT_DOUBLE_EQ(GetVolume(v), 0.073611);
  EXPECT_EQ(v.TotalVolume, "73.61");
  EXPECT_EQ(v.Components[ciSolvent].Volume, "50");
  // Concentration of A: 10 g / 104.15 g/mol / 0.073611 L.
  EXPECT_NEAR(GetConcentration(v, ciMonomerA), 10 / 104.15 / 0.073611, 1e-12);
  EXPECT_EQ(GetConcentration(v, ciSolvent), 0.0);
}

TEST_F(Conversion, ConcentrationByUnit) {
  TProcessValues v;
  v.MixtureVolume = 0;
  v.TotalVolume = "500";  // 0.5 L
  TComponentValues& a = v.Components[ciMonomerA];
  a = {cuVolume, "52.08", "0.906", "", "", "C8H8", "2", "", 104.15};
  // 0.906 g/mL x 52.08 mL / 104.15 g/mol / 0.5 L
  EXPECT_NEAR(GetConcentration(v, ciMonomerA), 0.906 * 52.08 / 104.15 / 0.5, 1e-12);
  a.Units = cuWeight;
  EXPECT_NEAR(GetConcentration(v, ciMonomerA), 52.08 / 104.15 / 0.5, 1e-12);
  a.Units = cuMoles;
  EXPECT_NEAR(GetConcentration(v, ciMonomerA), 52.08 / 0.5, 1e-12);
  a.Units = cuConcentration;
  EXPECT_EQ(GetConcentration(v, ciMonomerA), 52.08);
  a.Units = cuNone;
  EXPECT_EQ(GetConcentration(v, ciMonomerA), 52.08);
  a.Amount = "";  // an emptied field holds 0
  EXPECT_EQ(GetConcentration(v, ciMonomerA), 0.0);
  a.Amount = "abc";
  try {
    GetConcentration(v, ciMonomerA);
    FAIL() << "no conversion error";
  } catch (const Propagon::EConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid floating point value");
    EXPECT_EQ(e.Field(), "Components/MonomerAAmount");
  }
}

TEST_F(Conversion, ArithmeticFaultsAreRaisedByKind) {
  TProcessValues v;
  v.TotalVolume = "0";
  v.Components[ciMonomerA] = {cuMoles, "1", "1", "", "", "C8H8", "2", "", 104.15};
  EXPECT_THROW(GetConcentration(v, ciMonomerA), Propagon::EZeroDivide);  // 1 mol / 0 L
  v.Components[ciMonomerA].Amount = "0";
  EXPECT_THROW(GetConcentration(v, ciMonomerA), Propagon::EInvalidOp);   // 0 mol / 0 L
  v.TotalVolume = "1";
  v.Components[ciMonomerA] = {cuWeight, "5", "1", "", "", "", "2", "", 0.0};
  EXPECT_THROW(GetConcentration(v, ciMonomerA), Propagon::EZeroDivide);  // zero molar mass
  EXPECT_THROW(Divide(1e300, 1e-300), Propagon::EOverflow);
}

TEST_F(Conversion, MoleculeNumbersRoundHalfToEven) {
  TProcessValues v;
  v.TotalVolume = "0";  // all concentrations: N = N_I x c / I0 exactly
  v.Components[ciMonomerA] = {cuConcentration, "1", "1", "", "", "C8H8", "2", "", 104.15};
  TValidationState s;
  s.I0 = 2;
  s.NI = 5;  // 5 x 1 / 2 = 2.5 -> 2
  EXPECT_EQ(GetMoleculesNumber(v, s, ciMonomerA), 2);
  s.NI = 7;  // 3.5 -> 4
  EXPECT_EQ(GetMoleculesNumber(v, s, ciMonomerA), 4);
  EXPECT_EQ(RoundMolecules(2.5), 2);
  EXPECT_EQ(RoundMolecules(3.5), 4);
  EXPECT_THROW(RoundMolecules(1e19), Propagon::EOverflow);
}

TEST_F(Conversion, LivingRatesAreScaledByTheLargestConstant) {
  TProcessValues v = ParamsTest::FreeRadicalByConcentration();
  v.ProcessType = 0;
  v.Propagation = {"0", "2", "0", "0", "10", "0", "0", "0", "0", "0", "0", "0"};
  TValidationState s = StateFor(v, 1000);
  TTempDir dir;
  TParameterFile file(dir.File("living.kpx"));
  SaveSimulationParameters(file, v, s);
  EXPECT_EQ(file.ReadString("ChemicalRates", "MaxRateConstant", ""), "10");
  EXPECT_EQ(file.ReadString("SimulationRates", "A*A", ""), "0.2");  // 2 / 10
  EXPECT_EQ(file.ReadString("SimulationRates", "A*B", ""), "1");    // 10 / 10
  EXPECT_EQ(file.ReadString("SimulationRates", "I*A", ""), "0");
  EXPECT_EQ(file.ReadString("SimulationRates", "B*Bc", ""), "0");   // all twelve are written
  // TimeInterval = 1 / (kmax x I0 x (N_A + N_B)) = 1 / (10 x 0.01 x 150000).
  EXPECT_DOUBLE_EQ(file.ReadLocalFloat("ChemicalRates", "TimeInterval"), 1.0 / 10 / 0.01 / 150000);
  EXPECT_FALSE(file.ValueExists("General", "ExpectedChainsN"));

  // No time scale without a constant: nothing infinite is ever written.
  v.Propagation.fill("0");
  TParameterFile zero(dir.File("zero.kpx"));
  EXPECT_THROW(SaveSimulationParameters(zero, v, s), Propagon::EZeroDivide);
}

TEST_F(Conversion, FreeRadicalRatesAndExpectedChains) {
  TProcessValues v = ParamsTest::FreeRadicalByConcentration();
  TValidationState s = StateFor(v, 1000);
  TTempDir dir;
  TParameterFile file(dir.File("fr.kpx"));
  SaveSimulationParameters(file, v, s);
  // Bimolecular constants x ScalingCoeff (1E-5): 1E7 -> 100, 100 -> 0.001.
  EXPECT_EQ(file.ReadString("SimulationRates", "DisprAA", ""), "100");
  EXPECT_EQ(file.ReadString("SimulationRates", "RecombBB", ""), "600");
  EXPECT_EQ(file.ReadString("SimulationRates", "A*A", ""), "0.001");
  EXPECT_FALSE(file.ValueExists("SimulationRates", "I*Ac"));  // transfer only in type 0
  EXPECT_EQ(file.ReadString("SimulationRates", "InitDecomposit", ""), "1E-5");  // unimolecular: as typed
  EXPECT_EQ(file.ReadString("ChemicalRates", "InitiationEfficiency", ""), "0.5");
  // 2 x round(0.5 x 1000 x (1 - exp(-1E-5 x 2000))) = 2 x round(9.90) = 20.
  EXPECT_EQ(file.ReadInteger("General", "ExpectedChainsN", -1), 20);
  EXPECT_EQ(file.ReadSection("SimulationRates"), (std::vector<std::string>{
                "DisprAA", "RecombAA", "DisprAB", "RecombAB", "DisprBB", "RecombBB", "InitDecomposit",
                "InitiationEfficiency", "I*A", "A*A", "B*A", "I*B", "A*B", "B*B"}));
}

TEST_F(Conversion, ExpectedChainsCountWhatTheKernelStarts) {
  // kd = 0 or t_last = 0: nothing decomposed.
  EXPECT_EQ(ExpectedChainsNumber(1000, 0.5, 0.0, 100.0), 0);
  EXPECT_EQ(ExpectedChainsNumber(1000, 0.5, 1e-3, 0.0), 0);
  // f = 0.5, kd t = 1: every decomposition consumes its molecule, so the
  // decomposed fraction is 1 - exp(-1) = 0.632, and half of those molecules
  // start two chains: 2 x round(316.06) = 632 (with the efficiency in the
  // exponent, as if a caged pair kept its molecule, it would be 786).
  EXPECT_EQ(ExpectedChainsNumber(1000, 0.5, 1e-3, 1000.0), 632);
  EXPECT_EQ(ExpectedChainsNumber(1000, 1.0, 1e3, 1e3), 2000);  // everything decomposed
  EXPECT_EQ(ExpectedChainsNumber(1000, 0.6, 1e3, 1e3), 1200);  // everything decomposed, 60 % escape
  EXPECT_EQ(ExpectedChainsNumber(1000, 0.0, 1e-3, 1000.0), 0); // no radical escapes the cage
}

TEST_F(Conversion, MemoryEstimateByProcessType) {
  // What every run holds whatever its rates: the per-slot arrays, a first
  // block per chain that can start, one byte per unit, the living kernel's
  // mer records, and the fixed allowance.
  const std::int64_t living = EstimateRequiredMemory(0, 1000, 100000, 0, 10);
  EXPECT_GE(living, 1001 * (10 + 128) + 100000 + 100001 * 16 + MemoryBase);
  // ATRP and living reversible only add their lists to the same chains.
  EXPECT_EQ(EstimateRequiredMemory(2, 1000, 0, 0, 0) - EstimateRequiredMemory(3, 1000, 0, 0, 0), 1001 * 24);
  // A copolymer may give every chain its own mass bin; a homopolymer at most
  // three per chain length.
  EXPECT_EQ(EstimateRequiredMemory(2, 1000000, 10, 10, 0) - EstimateRequiredMemory(2, 1000000, 20, 0, 0),
            (1000001 - 3 * 32768) * 88);
  // Long chains cost their table row and a partly used block beyond their
  // units: 1001 slots that 10^7 units can all make long, against 10^3 units
  // that can make seven chains pass 128 units.
  EXPECT_EQ(EstimateRequiredMemory(2, 1000, 10000000, 0, 0) - EstimateRequiredMemory(2, 1000, 1000, 0, 0),
            (10000000 - 1000) + (1001 - 7) * (128 + 1024));
}

TEST_F(Conversion, FreeRadicalEstimateFollowsWhatTheRatesCanForm) {
  // The reference system at 10^6 initiator molecules: 8.7e8 styrene
  // molecules, kd = 1e-5 1/s, f = 1, one hour; about 28 % conversion and
  // 7 x 10^4 chains started of 2 x 10^6 slots.
  TFreeRadicalGrowth g;
  g.kAA = 1e-5;
  g.ktAA = 0.1;
  g.kd = 1e-5;
  g.f = 1.0;
  g.tLast = 3600;
  const std::int64_t withoutRates = EstimateRequiredMemory(1, 1000000, 870000000, 0, 10);
  const std::int64_t withRates = EstimateRequiredMemory(1, 1000000, 870000000, 0, 10, &g);
  EXPECT_GT(withoutRates, 870000000 + 2000001LL * 266);
  EXPECT_LT(withRates, withoutRates / 2);
  // Still at least the units that form and the per-slot arrays.
  EXPECT_GT(withRates, static_cast<std::int64_t>(0.28 * 870000000) + 2000001LL * 22);
  // Rates that consume every monomer molecule give back the estimate without
  // rates as far as the units go.
  g.kAA = 1.0;
  g.ktAA = 0.0;
  const std::int64_t fast = EstimateRequiredMemory(1, 1000000, 870000000, 0, 10, &g);
  EXPECT_GT(fast, 870000000);
  EXPECT_LE(fast, withoutRates);
  // Unusable rates fall back to every slot and every monomer molecule.
  g.kd = std::nan("");
  EXPECT_EQ(EstimateRequiredMemory(1, 1000000, 870000000, 0, 10, &g), withoutRates);
}

TEST_F(Conversion, FreeRadicalUnitsBoundAgainstClosedForms) {
  // Instant initiation and no termination: 2 f N_I radicals grow at kp M
  // each, M = M0 exp(-kp 2 f N_I t).
  TFreeRadicalGrowth g;
  g.kAA = 1e-6;
  g.kd = 1e3;
  g.f = 0.5;
  g.tLast = 10;
  const double m0 = 1e7;
  const double formed = m0 * -std::expm1(-g.kAA * 2 * 0.5 * 1000 * 10);
  const double bound = static_cast<double>(FreeRadicalUnitsBound(g, 1000, 10000000, 0));
  EXPECT_GE(bound, formed);
  EXPECT_LT(bound, formed * 1.2);
  // Constant initiation (kd t << 1) against termination: n = sqrt(f kd N_I / kt)
  // steady radicals (kt per ordered pair, two radicals per event).
  TFreeRadicalGrowth s;
  s.kAA = 1e-7;
  s.ktAA = 1e-2;
  s.kd = 1e-6;
  s.f = 1;
  s.tLast = 1000;
  const double n = std::sqrt(1 * 1e-6 * 1e6 / 1e-2);
  const double steady = 1e8 * -std::expm1(-s.kAA * n * s.tLast);
  const double steadyBound = static_cast<double>(FreeRadicalUnitsBound(s, 1000000, 100000000, 0));
  EXPECT_GE(steadyBound, steady * 0.98); // the start-up before the steady state is shorter than 1 s
  EXPECT_LT(steadyBound, steady * 1.2);
  // Never more than the monomer.
  s.kAA = 10;
  EXPECT_EQ(FreeRadicalUnitsBound(s, 1000000, 100000000, 0), 100000000);
  // Chains started: the binomial mean with its scatter, at most every slot.
  EXPECT_GE(FreeRadicalStartedChainsBound(1000000, 1.0, 1e-5, 3600), 2 * 35359);
  EXPECT_LT(FreeRadicalStartedChainsBound(1000000, 1.0, 1e-5, 3600), 2 * 35359 + 4000);
  EXPECT_EQ(FreeRadicalStartedChainsBound(1000, 1.0, 1e3, 1e3), 2000);
}

TEST_F(Conversion, RequiredMemoryAbove2GiBIsWrittenWhole) {
  TProcessValues v = ParamsTest::FreeRadicalByConcentration();
  TValidationState s = StateFor(v, 1000);
  s.RequiredMemoryEstimate = 3221225472LL;  // 3 GiB
  TTempDir dir;
  TParameterFile file(dir.File("big.kpx"));
  SaveSimulationParameters(file, v, s);
  EXPECT_EQ(file.ReadString("SimulationParameters", "RequiredMemory", ""), "3221225472");
}

} // namespace
