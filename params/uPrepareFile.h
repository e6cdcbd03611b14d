#pragma once
// Turns a parameter file that holds only what a user types (General,
// Components, ChemicalRates, Controls, CheckingPoints) into a runnable one:
// the same open, validation and save as the parameter editor's, without a
// window. `polykin-cli prepare` runs it.

#include "params/uParamSetting.h"
#include "params/uValidation.h"

#include <string>

namespace Params {

class TMessageReporter;

struct TPrepareResult {
  // 0 written; 1 input unreadable or output refused; 2 the parameters did not validate.
  int ExitCode = 1;
  // What went wrong (empty when written): the error text, or why nothing was written.
  std::string Message;
  TValidationOutcome Validation;
};

// Reads `input` as the editor reads a file it opens (its validity marker is
// not required: a hand-written file has none yet), validates it as
// "Validate..." does, and on success saves it to `output` as the editor's
// save does ("FileValid" 1, derived sections recomputed). `output` may be the
// input itself; keys of an existing output that the save does not write stay.
// Warnings and errors reach `reporter`; log lines go to the message log.
TPrepareResult PrepareParameterFile(const std::string& input, const std::string& output,
                                    const TMolMassLookup& lookup, TMessageReporter& reporter);

} // namespace Params
