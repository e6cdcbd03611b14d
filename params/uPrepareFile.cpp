#include "params/uPrepareFile.h"

#include "params/uErrors.h"
#include "params/uFileSizeLimit.h"
#include "params/uParamFile.h"

#include <fstream>
#include <sys/stat.h>

namespace Params {

TPrepareResult PrepareParameterFile(const std::string& input, const std::string& output,
                                    const TMolMassLookup& lookup, TMessageReporter& reporter) {
  TPrepareResult result;
  struct stat st {};
  if (::stat(input.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !std::ifstream(input).good()) {
    result.Message = "Cannot read the parameter file \"" + input + "\"";
    return result;
  }
  if (const std::string tooLarge = ParameterFileSizeError(input); !tooLarge.empty()) {
    result.Message = tooLarge;
    return result;
  }
  TProcessValues values;
  LoadParameterValues(TParameterFile(input), values, lookup, reporter);

  TValidationState state;
  result.Validation = ValidateParameters(values, state, TValidationContext{reporter, lookup});
  switch (result.Validation.Result) {
  case TValidationResult::Valid:
    break;
  case TValidationResult::Error:
    result.ExitCode = 2;
    result.Message = result.Validation.ErrorKind + "\r\n" + result.Validation.ErrorMessage;
    return result;
  case TValidationResult::Invalid:
    result.ExitCode = 2;
    result.Message = "The parameters are not valid: " +
                     (result.Validation.ErrorMessage.empty() ? std::string("see the messages above")
                                                             : result.Validation.ErrorMessage);
    return result;
  }
  try {
    SaveParameterFile(output, values, state, lookup, reporter);
  } catch (const Propagon::EPropagonError& e) {
    result.ExitCode = dynamic_cast<const Propagon::EIniFileException*>(&e) ? 1 : 2;
    result.Message = e.FullText();
    return result;
  }
  result.ExitCode = 0;
  return result;
}

} // namespace Params
