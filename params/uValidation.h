#pragma once
// Validation of a process description before it may be saved or run: the
// component data (formulas, amounts, densities), the simulated molecule
// numbers against the 32-bit range, the free-radical steady state, the
// memory estimate against the free memory.
//
// One function over the plain values of uParamSetting.h, used unchanged by
// the parameter editor ("Validate...") and by `polykin-cli prepare`.
// Messages go through the reporter: message boxes in the editor, the error
// stream on the command line.

#include "params/uParamSetting.h"

#include <cstdint>
#include <string>

namespace Params {

class TMessageReporter;

struct TValidationContext {
  TMessageReporter& Reporter;
  // "CalcMolMass" of the loaded library; empty when the library lacks it.
  TMolMassLookup Lookup;
  // Highest check point index for the memory estimate; -1 takes the highest
  // index of the values' checking-points list (0 for an empty list).
  std::int64_t CheckPointsHigh = -1;
};

enum class TValidationResult {
  Valid,    // all checks passed: "All Parameters are Valid!" shown and logged
  Invalid,  // a component error or too little memory (state.ValidationFailed)
  Error     // an error ended the validation; its box has been shown
};

struct TValidationOutcome {
  TValidationResult Result = TValidationResult::Error;
  std::string ErrorKind;     // "EConvertError", "EMathError", "EZeroDivide", ...
  std::string ErrorMessage;  // the error's message; for Invalid, what made it invalid
  std::string Field;         // the key the error is about, when known
};

// The component checks of one panel (Initiator, MonomerA, MonomerB, Activator):
// formulas through the library (MolarMass updated), then amount and density,
// with the panel's error boxes; a fault no box of the panel's rules names
// (a negative amount, a density of 0) gets a box of its own. Returns true when
// the component is invalid; then an empty `cause` receives the message that
// names why.
bool CheckComponent(TProcessValues& values, int component, const TMolMassLookup& lookup,
                    TMessageReporter& reporter, std::string* cause = nullptr);

// Checks one formula field (the Formula field or the initiator's attached
// group): an empty field is an invalid formula. For the Formula field the mass
// becomes the component's MolarMass. Returns the mass (0 when invalid).
double CheckFormula(TProcessValues& values, int component, bool attachedGroup, const TMolMassLookup& lookup,
                    TMessageReporter& reporter);

// The whole validation. Sets state (ValidationFailed, I0, the molecule numbers
// as it proceeds, RequiredMemoryEstimate on success) and the values'
// CheckingPointsNumber; an error ends it with the box "<kind>\r\n<message>".
// Beyond the editor's own rules it refuses a description without a process
// type, and a living polymerization without any non-zero propagation or
// chain-transfer constant or without monomer (no time scale).
TValidationOutcome ValidateParameters(TProcessValues& values, TValidationState& state,
                                      const TValidationContext& context);

} // namespace Params
