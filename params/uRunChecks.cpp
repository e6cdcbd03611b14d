#include "params/uRunChecks.h"

#include "params/uNumberFormat.h"
#include "params/uParamFile.h"

#include <exception>

namespace Params {

namespace {

const char* const ProcessTypeList = " is not a Process Type (0 living, 1 free radical, 2 ATRP, 3 living reversible)";

bool Blank(const std::string& text) { return text.find_first_not_of(" \t\r") == std::string::npos; }

} // namespace

std::string ProcessTypeProblem(std::int64_t type) {
  if (type >= 0 && type <= 3) return {};
  return "ProcessType " + std::to_string(type) + ProcessTypeList;
}

std::string ProcessTypeTextProblem(const std::string& text) {
  if (Blank(text)) return {};
  std::int64_t type = 0;
  if (!Propagon::TryStrToInt64(text, type)) return "ProcessType \"" + text + "\"" + ProcessTypeList;
  return ProcessTypeProblem(type);
}

std::string FirstCheckPointProblem(double firstTime) {
  if (firstTime == 0.0) return {};
  return "The First Checking Point must be 0 (the Start of the Run), not " + Propagon::FormatGeneral(firstTime, 15);
}

std::string RunnableFileProblem(const TParameterFile& file) {
  if (std::string problem = ProcessTypeTextProblem(file.ReadString(GeneralSection, "ProcessType", ""));
      !problem.empty())
    return problem;
  try {
    std::vector<double> times;
    int high = -1;
    file.ReadCheckingPointsArray(high, times);
    if (!times.empty()) return FirstCheckPointProblem(times.front());
  } catch (const std::exception&) {
    // An unreadable check point is named by the run itself.
  }
  return {};
}

} // namespace Params
