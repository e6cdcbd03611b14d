#pragma once
// What every consumer of a parameter file checks before it runs it: the
// process type names one of the four kernels, and the check points start at
// 0, the initial state recorded before any event.
//
// The main window and `polykin-cli run` ask RunnableFileProblem when they
// open a file, the engine refuses the same files when it sizes a run, and the
// validation of the editor and of `polykin-cli prepare` refuses them with the
// same texts.

#include <cstdint>
#include <string>
#include <vector>

namespace Params {

class TParameterFile;

// "" for 0..3; otherwise "ProcessType 7 is not a Process Type (0 living,
// 1 free radical, 2 ATRP, 3 living reversible)".
std::string ProcessTypeProblem(std::int64_t type);
// The same for the text of the key: an absent or empty key is type 0, as the
// engine has always read it; a text that is not an integer is refused by
// its text.
std::string ProcessTypeTextProblem(const std::string& text);
// "" when the first check point is 0; otherwise "The First Checking Point
// must be 0 (the Start of the Run), not 5".
std::string FirstCheckPointProblem(double firstTime);

// The process type and the first check point of a file, "" when both are
// sound. A check point that cannot be read is left to the run, which names it.
std::string RunnableFileProblem(const TParameterFile& file);

} // namespace Params
