#include "cli/uRunMaldi.h"

#include "engine/uDataStruct.h"
#include "maldiview/uMALDIRequest.h"
#include "maldiview/uMALDISpectrum.h"
#include "params/uLogMessage.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"
#include "shell/uMaldiBinding.h"

#include <chrono>
#include <cstdlib>
#include <vector>

namespace Cli {

bool ParseMaldiRequest(const std::string& text, TMaldiRequest& request, std::string& error) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) {
    error = "--maldi wants CATION:UPPER (for example Na+:5000), not \"" + text + "\"";
    return false;
  }
  TMaldiRequest parsed;
  parsed.Cation = text.substr(0, colon);
  parsed.UpperLimit = text.substr(colon + 1);
  if (MaldiView::CationFormula(parsed.Cation).empty()) {
    error = "--maldi: the cation is empty (for example Na+:5000)";
    return false;
  }
  double upper = 0.0;
  if (!MaldiView::ParseUpperLimit(parsed.UpperLimit, upper, error) || !(upper > 0.0) ||
      upper > MaldiView::MaxUpperLimit) {
    error = "--maldi: the upper limit \"" + parsed.UpperLimit + "\" is not a positive m/z up to " +
            Propagon::FormatFloat("0", MaldiView::MaxUpperLimit);
    return false;
  }
  request = parsed;
  return true;
}

bool CheckMaldiCation(const TMaldiRequest& request, const std::string& libraryPath, std::string& error) {
  Shell::TMaldiBinding binding;
  binding.CheckMALDILibrary(libraryPath);
  if (MaldiView::CheckCation(binding, request.Cation, error))
    return true;
  error = "--maldi: " + error;
  return false;
}

bool WriteMaldiResults(const TMaldiRequest& request, const std::string& libraryPath,
                       const Params::TParameterFile& file, const Engine::TSimState& state,
                       const std::filesystem::path& outDir, std::string& error) {
  Shell::TMaldiBinding binding;
  binding.CheckMALDILibrary(libraryPath);
  if (!binding.SpectrumAvailable()) {
    error = "No MALDI spectrum: the library \"" + libraryPath + "\" could not be used (see the log)";
    Propagon::LogMessage(error);
    return false;
  }
  MaldiView::TTableFolder folder;
  if (!folder.Valid()) {
    error = "No MALDI spectrum: cannot create a folder for its tables in " + MaldiView::TemporaryDirectory();
    Propagon::LogMessage(error);
    return false;
  }
  MaldiView::TMALDISpectrum spectrum;
  spectrum.TempDir = folder.Folder();
  spectrum.Cation = MaldiView::CationFormula(request.Cation);
  spectrum.UpperLimit = request.UpperLimit;
  spectrum.LabelLevel = request.LabelLevel;
  Propagon::LogMessage("Calculating MALDI spectrum...");
  const auto start = std::chrono::steady_clock::now();
  if (!spectrum.Calculate(binding, file, state, error))
    return false;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  Propagon::LogMessage("MALDI spectrum up to m/z " + request.UpperLimit + " with " + request.Cation + ": " +
                       std::to_string(spectrum.ActiveCurves().size()) + " curves, n = " +
                       std::to_string(spectrum.N) + ", " + Propagon::FormatFloat("0.00", seconds) + " s");
  if (!spectrum.WriteSpectrumFile((outDir / "maldi.tsv").string(), error) ||
      !spectrum.WriteLabelsFile((outDir / "maldi_labels.tsv").string(), error)) {
    Propagon::LogMessage(error);
    return false;
  }
  return true;
}

} // namespace Cli
