#pragma once
// Process descriptions for the conversion and validation tests, and a molar
// mass lookup standing in for the isotopic library.

#include "params/uParamSetting.h"

#include <map>
#include <string>

namespace ParamsTest {

// Average molar masses (g/mol) of the formulas the tests use; anything else is
// an invalid formula (0), as the library answers.
inline Params::TMolMassLookup FakeMolMass() {
  static const std::map<std::string, double> masses = {
      {"C8H8", 104.15},     // styrene
      {"C5H8O2", 100.12},   // methyl methacrylate
      {"C8H12N4", 164.21},  // AIBN
      {"C4H6N", 68.10},     // its attached fragment
      {"CuBr", 143.45},     // ATRP activator
      {"C3H6O2", 74.08},    // a lactone unit
      {"C7H8O", 108.14},    // benzyl alcohol
      {"C7H7O", 107.13},    // benzyloxy end group
      {"C6H10O2", 114.14},  // caprolactone
      {"C6H11BrO2", 195.05},  // ethyl 2-bromoisobutyrate
      {"C6H11O2", 115.15},  // its attached fragment
  };
  return [](const std::string& formula) {
    const auto it = masses.find(formula);
    return it == masses.end() ? 0.0 : it->second;
  };
}

// A free-radical copolymerization given entirely by concentrations:
// [I] = 0.01 mol/L, [A] = 1 mol/L, [B] = 0.5 mol/L, 1000 initiator molecules.
inline Params::TProcessValues FreeRadicalByConcentration() {
  using namespace Params;
  TProcessValues v;
  v.ProcessType = 1;
  v.MixtureVolume = 0;
  v.TotalVolume = "100";
  v.InitiatorNumber = "1000";
  v.Components[ciInitiator] = {cuConcentration, "0.01", "1", "", "", "C8H12N4", "2", "C4H6N", 164.21};
  v.Components[ciMonomerA] = {cuConcentration, "1", "1", "", "", "C8H8", "2", "", 104.15};
  v.Components[ciMonomerB] = {cuConcentration, "0.5", "1", "", "", "C5H8O2", "2", "", 100.12};
  v.Propagation = {"0", "100", "200", "0", "300", "400", "0", "0", "0", "0", "0", "0"};
  v.Termination = {"1E7", "2E7", "3E7", "4E7", "5E7", "6E7"};
  v.InitDecomposit = "1E-5";
  v.InitiationEfficiency = "0.5";
  v.CheckingPointsMethod = 1;
  v.CheckingPointsDistr = 0;
  v.CheckingPointsNumber = 3;
  v.CheckingPoints = {"0.0000", "1000.0000", "2000.0000"};
  return v;
}

} // namespace ParamsTest
