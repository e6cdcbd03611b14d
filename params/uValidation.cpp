#include "params/uValidation.h"

#include "params/uGrowthBound.h"

#include <optional>

#include "params/uErrors.h"
#include "params/uLogMessage.h"
#include "params/uMemoryCheck.h"
#include "params/uMessageReporter.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"
#include "params/uRunChecks.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Params {

namespace {

constexpr std::int64_t MaxInteger = 2147483647;

std::string Key(int component, const char* suffix) {
  return std::string(ComponentsSection) + "/" + ComponentNames[static_cast<std::size_t>(component)] + suffix;
}

// The editor shows the Density field for amounts given by volume, and for
// monomers given by weight when the mixture volume is the sum of the
// components; elsewhere the density takes no part and is not checked.
bool DensityUsed(const TProcessValues& values, int component) {
  const int units = values.Components[static_cast<std::size_t>(component)].Units;
  if (units == cuVolume)
    return true;
  return units == cuWeight && values.CheckVolumesCalcMode() &&
         (component == ciMonomerA || component == ciMonomerB);
}

void ExceedsMaximalInteger(const char* name) {
  throw Propagon::EMathError(std::string(name) + " Molecules Number Exceeds the Maximal Integer!");
}

// A negative rate constant would turn into a negative event probability, and
// check points out of order or a list without a final time leave the run
// nothing sensible to do; the editor's fields catch these as they are typed,
// a file written by hand is caught here.
void CheckRatesAndCheckingPoints(const TProcessValues& values) {
  const std::string rates = std::string(ChemicalRatesSection) + "/";
  const auto nonNegative = [&](const std::string& text, const std::string& key) {
    if (FieldValue(text, rates + key) < 0.0) {
      Propagon::EMathError error("NonNegative Value Required");
      error.SetField(rates + key);
      throw error;
    }
  };
  const int type = values.ProcessType;
  for (std::size_t k = 0; k < (type == 0 ? 12u : 6u); ++k)
    nonNegative(values.Propagation[k], PropagationKeys[k]);
  for (std::size_t k = 0; k < 6; ++k) {
    if (type == 1 || type == 2)
      nonNegative(values.Termination[k], TerminationKeys[k]);
    if (type == 2)
      nonNegative(values.Activation[k], ActivationKeys[k]);
    if (type == 3)
      nonNegative(values.Depropagation[k], DepropagationKeys[k]);
  }
  if (type == 1) {
    nonNegative(values.InitDecomposit, "InitDecomposit");
    nonNegative(values.InitiationEfficiency, "InitiationEfficiency");
  }

  const std::string section = CheckingPointsSection;
  std::vector<std::string> lines;  // empty lines are not saved, so not checked
  for (const std::string& line : values.CheckingPoints)
    if (line.find_first_not_of(" \t") != std::string::npos)
      lines.push_back(line);
  if (lines.size() < 2) {
    Propagon::EMathError error("At least two Checking Points are Required: the start 0 and the final time");
    error.SetField(section);
    throw error;
  }
  double previous = 0.0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string field = section + "/" + std::to_string(i);
    const double t = FieldValue(lines[i], field);
    if (t < 0.0) {
      Propagon::EMathError error("NonNegative Value Required");
      error.SetField(field);
      throw error;
    }
    if (i > 0 && t < previous) {
      Propagon::EMathError error("Value in Line " + std::to_string(i) + " must be Lower than the Next Ones");
      error.SetField(field);
      throw error;
    }
    previous = t;
  }
}

// Fields the rules above never look at the sign of: each is refused by name.
void RefuseNegative(const std::string& text, const std::string& field, const std::string& label) {
  if (FieldValue(text, field) < 0.0) {
    Propagon::EMathError error(label + " must not be Negative: " + text);
    error.SetField(field);
    throw error;
  }
}

// A negative total volume turns every concentration negative (and the
// simulated volume with it).
void CheckTotalVolume(const TProcessValues& values) {
  if (!values.CheckVolumesCalcMode())
    RefuseNegative(values.TotalVolume, std::string(GeneralSection) + "/TotalVolume", "The Total Volume");
}

// Bonds built into the main chain per unit.
void CheckLengths(const TProcessValues& values) {
  for (int component : {ciInitiator, ciMonomerA, ciMonomerB, ciActivator}) {
    if (component == ciActivator && values.ProcessType != 2)
      continue;
    const std::string name = ComponentNames[static_cast<std::size_t>(component)];
    RefuseNegative(values.Components[static_cast<std::size_t>(component)].Length, Key(component, "Length"),
                   "The Length of " + name);
  }
}

// No selection (-1) is the editor's own case; any other value outside 0..3
// comes from a file and is named.
[[noreturn]] void RefuseProcessType(int type) {
  Propagon::EMathError error(type == -1 ? std::string("Process Type not Selected!") : ProcessTypeProblem(type));
  error.SetField(std::string(GeneralSection) + "/ProcessType");
  throw error;
}

// Check point 0 is the initial state of the run; the editor's generator
// always starts there, a list typed or written by hand may not.
void CheckFirstCheckingPoint(const TProcessValues& values) {
  for (const std::string& line : values.CheckingPoints) {
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    const std::string field = std::string(CheckingPointsSection) + "/0";
    if (const std::string problem = FirstCheckPointProblem(FieldValue(line, field)); !problem.empty()) {
      Propagon::EMathError error(problem);
      error.SetField(field);
      throw error;
    }
    return;
  }
}

} // namespace

double CheckFormula(TProcessValues& values, int component, bool attachedGroup, const TMolMassLookup& lookup,
                    TMessageReporter& reporter) {
  TComponentValues& c = values.Components[static_cast<std::size_t>(component)];
  const std::string& text = attachedGroup ? c.AttachedGroup : c.Formula;
  double mass = 0.0;
  if (text.find_first_not_of(" \t") == std::string::npos)
    ShowInvalidFormula(component, attachedGroup, reporter);
  else
    mass = CalcFormulaMass(text, component, attachedGroup, lookup, reporter);
  if (!attachedGroup)
    c.MolarMass = mass;
  return mass;
}

bool CheckComponent(TProcessValues& values, int component, const TMolMassLookup& lookup,
                    TMessageReporter& reporter, std::string* cause) {
  TComponentValues& c = values.Components[static_cast<std::size_t>(component)];
  const std::string name = ComponentNames[static_cast<std::size_t>(component)];
  std::string reason;  // the message that names why the component is invalid
  bool invalid = CheckFormula(values, component, false, lookup, reporter) == 0.0;
  if (invalid)
    reason = "Invalid Formula for \"" + name + " Formula\"";  // its box has been shown
  if (component == ciInitiator && CheckFormula(values, component, true, lookup, reporter) == 0.0) {
    if (!invalid)
      reason = "Invalid Formula for \"" + name + " Attached Group\"";
    invalid = true;
  }
  const auto amount = [&] { return FieldValue(c.Amount, Key(component, "Amount")); };
  std::string unshown;  // an amount or density fault no box below names
  if (!invalid) {
    invalid = amount() < 0.0;
    if (invalid) {
      unshown = "Negative Amount for " + name + ": " + c.Amount;
    } else if (DensityUsed(values, component)) {
      invalid = FieldValue(c.Density, Key(component, "Density")) <= 0.0;
      if (invalid)
        unshown = "Invalid Density for " + name + ": " + c.Density + " (a density above 0 is required)";
    }
  }
  const std::string densityOrVolume = "Invalid Density or Volume for " + name;
  const auto box = [&](const std::string& text) {
    reporter.ShowError(text);
    if (!unshown.empty()) {
      reason = unshown;  // more precise than the box
      unshown.clear();
    }
  };
  if (values.CheckVolumesCalcMode()) {
    if (component == ciMonomerA && invalid)
      box(densityOrVolume);
    else if (component == ciMonomerB && invalid && amount() != 0.0)
      box(densityOrVolume);
  } else if (c.Units == cuVolume) {
    if (component == ciMonomerA && amount() <= 0.0)
      reporter.ShowError("Invalid Volume of MonomerA");  // a warning only: the component stays valid
    else if (component == ciMonomerB && invalid && amount() != 0.0)
      box(densityOrVolume);
  }
  // A component refused without any box of the rules above still says why.
  if (!unshown.empty()) {
    reporter.ShowError(unshown);
    reason = unshown;
  }
  if (cause && invalid && cause->empty())
    *cause = reason;
  return invalid;
}

TValidationOutcome ValidateParameters(TProcessValues& values, TValidationState& state,
                                      const TValidationContext& context) {
  TMessageReporter& reporter = context.Reporter;
  TValidationOutcome outcome;
  try {
    state.ValidationFailed = false;
    if (values.ProcessType < 0 || values.ProcessType > 3)
      RefuseProcessType(values.ProcessType);

    for (int component : {ciInitiator, ciMonomerA, ciMonomerB})
      state.ValidationFailed =
          CheckComponent(values, component, context.Lookup, reporter, &outcome.ErrorMessage) ||
          state.ValidationFailed;
    CheckTotalVolume(values);
    CheckLengths(values);

    try {
      state.NI = Propagon::StrToInt(values.InitiatorNumber);
    } catch (Propagon::EConvertError& e) {
      e.SetField(std::string(GeneralSection) + "/InitiatorNumber");
      throw;
    }
    state.I0 = GetConcentration(values, ciInitiator);
    values.CheckingPointsNumber = static_cast<int>(std::count_if(
        values.CheckingPoints.begin(), values.CheckingPoints.end(),
        [](const std::string& line) { return line.find_first_not_of(" \t") != std::string::npos; }));
    if (state.NI < 1)
      throw Propagon::EMathError("Required an Integer Value>0");

    state.NA = GetMoleculesNumber(values, state, ciMonomerA);
    if (state.NA >= MaxInteger)
      ExceedsMaximalInteger("MonomerA");
    state.NB = GetMoleculesNumber(values, state, ciMonomerB);
    if (state.NB >= MaxInteger)
      ExceedsMaximalInteger("MonomerB");
    if (state.NA + state.NB >= MaxInteger)
      ExceedsMaximalInteger("Monomers");

    const std::string rates = std::string(ChemicalRatesSection) + "/";
    CheckRatesAndCheckingPoints(values);
    CheckFirstCheckingPoint(values);
    switch (values.ProcessType) {
    case 0: {
      // One event stands for 1 / (kmax I0 (N_A + N_B)) seconds: without a
      // constant or without monomer there is no time scale.
      double kmax = 0.0;
      for (std::size_t k = 0; k < PropagationKeys.size(); ++k)
        kmax = std::max(kmax, FieldValue(values.Propagation[k], rates + PropagationKeys[k]));
      if (kmax == 0.0)
        throw Propagon::EMathError(
            "All Propagation and Chain Transfer Rate Constants are 0! Living Polymerization has no Time Scale");
      if (state.NA + state.NB <= 0)
        throw Propagon::EMathError("No Monomer Molecules! Living Polymerization has no Time Scale");
      break;
    }
    case 1: {
      double ktmax = 0.0;
      for (std::size_t k = 0; k < TerminationKeys.size(); ++k)
        ktmax = std::max(ktmax, FieldValue(values.Termination[k], rates + TerminationKeys[k]));
      const double kd = FieldValue(values.InitDecomposit, rates + "InitDecomposit");
      const double square = Divide(kd * state.I0, ktmax);
      if (square < 0.0)
        throw Propagon::EInvalidOp();
      const double radicals = std::sqrt(square);
      if (Divide(static_cast<double>(state.NI) * radicals, state.I0) < 1.0)
        reporter.ShowWarning("[R*] is very low!\n\rAn effect of confined volume will appear\n\rfor current settings");
      break;
    }
    case 2: {
      state.ValidationFailed =
          CheckComponent(values, ciActivator, context.Lookup, reporter, &outcome.ErrorMessage) ||
          state.ValidationFailed;
      state.NL = GetMoleculesNumber(values, state, ciActivator);
      if (state.NL > MaxInteger)
        ExceedsMaximalInteger("Activator");
      const TComponentValues& activator = values.Components[ciActivator];
      const std::string oxidized = std::string(ComponentsSection) + "/ActivatorOxidized";
      RefuseNegative(activator.Oxidized, oxidized, "The Oxidized share of the Activator");
      const double ratio = FieldValue(activator.Oxidized, oxidized);
      state.NLX = RoundMolecules(ratio * static_cast<double>(state.NL));
      if (state.NLX > MaxInteger)
        ExceedsMaximalInteger("OxidizedActivator");
      break;
    }
    default:
      break;
    }

    std::int64_t high = context.CheckPointsHigh;
    if (high < 0)
      high = std::max<std::int64_t>(0, static_cast<std::int64_t>(values.CheckingPointsNumber) - 1);
    std::optional<TFreeRadicalGrowth> growth;
    if (values.ProcessType == 1) growth = FreeRadicalGrowthOf(values, state);
    const std::int64_t estimate = EstimateRequiredMemory(values.ProcessType, state.NI, state.NA, state.NB, high,
                                                         growth ? &*growth : nullptr);

    if (!state.ValidationFailed) {
      state.ValidationFailed = CheckMemory(estimate, reporter);
      if (state.ValidationFailed)
        outcome.ErrorMessage = "Not enough memory for the run";  // the memory check's box says how much
    }
    if (state.ValidationFailed) {
      outcome.Result = TValidationResult::Invalid;
      return outcome;
    }
    state.RequiredMemoryEstimate = estimate;
    reporter.ShowInformation("All Parameters are Valid!");
    Propagon::LogMessage("All Parameters are Valid!");
    outcome.Result = TValidationResult::Valid;
    return outcome;
  } catch (const Propagon::EPropagonError& e) {
    outcome.Result = TValidationResult::Error;
    outcome.ErrorKind = e.KindName();
    outcome.ErrorMessage = e.what();
    outcome.Field = e.Field();
    reporter.ShowError(e.FullText());
    return outcome;
  }
}

} // namespace Params
