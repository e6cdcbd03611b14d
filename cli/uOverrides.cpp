#include "cli/uOverrides.h"

#include "cli/uPrepareCommand.h"
#include "params/uErrors.h"
#include "params/uParamFile.h"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <sstream>

namespace Cli {

namespace {

bool IsRateKey(const std::string& key) {
  const std::string folded = Params::FoldName(key);
  const auto matches = [&folded](const auto& keys) {
    return std::any_of(keys.begin(), keys.end(), [&folded](const char* k) { return Params::FoldName(k) == folded; });
  };
  return matches(Params::PropagationKeys) || matches(Params::TerminationKeys) || matches(Params::ActivationKeys) ||
         matches(Params::DepropagationKeys);
}

bool IsTypedSection(const std::string& section) {
  const std::string folded = Params::FoldName(section);
  for (const char* s : {Params::GeneralSection, Params::ComponentsSection, Params::ChemicalRatesSection,
                        Params::ControlsSection, Params::CheckingPointsSection})
    if (Params::FoldName(s) == folded) return true;
  return false;
}

} // namespace

bool ParseOverrideName(const std::string& name, std::string& section, std::string& key, std::string& error) {
  const std::size_t slash = name.find('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == name.size()) {
    error = "\"" + name + "\" is not of the form Section/Key (for example ChemicalRates/A*A)";
    return false;
  }
  section = name.substr(0, slash);
  key = name.substr(slash + 1);
  return true;
}

bool CheckOverrides(const std::string& baseFile, const std::vector<TOverride>& overrides, std::string& error) {
  const Params::TParameterFile base(baseFile);
  for (const TOverride& o : overrides) {
    const std::string name = o.Section + "/" + o.Key;
    if (!IsTypedSection(o.Section)) {
      error = "\"" + name + "\": only the typed sections General, Components, ChemicalRates, Controls and "
              "CheckingPoints can be changed (the others are derived from them)";
      return false;
    }
    const bool rate = Params::FoldName(o.Section) == Params::FoldName(Params::ChemicalRatesSection) && IsRateKey(o.Key);
    if (!rate && !base.ValueExists(o.Section, o.Key)) {
      error = "\"" + name + "\": there is no key " + o.Key + " in [" + o.Section + "] of \"" + baseFile + "\"";
      return false;
    }
    if (o.Value.empty() || o.Value.find_first_of("\r\n") != std::string::npos) {
      error = "\"" + name + "\": the value must be one line of text, not empty";
      return false;
    }
  }
  return true;
}

int PrepareWithOverrides(const std::string& baseFile, const std::string& outputFile,
                         const std::vector<TOverride>& overrides, const std::string& libraryPath, std::ostream& out,
                         std::ostream& err) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(baseFile, ec)) {
    err << "Error: Cannot read the parameter file \"" << baseFile << "\"\n";
    return 1;
  }
  std::string error;
  if (!CheckOverrides(baseFile, overrides, error)) {
    err << "Error: " << error << '\n';
    return 2;
  }
  // The overrides are written into a copy beside the output, which is
  // prepared in place and only then renamed over the output: a combination
  // that does not validate must not leave behind a file that still carries
  // the base file's validity marker and derived values.
  const std::string work = outputFile + ".overrides-part";
  const auto discard = [&work] {
    std::error_code ignored;
    std::filesystem::remove(work, ignored);
  };
  std::filesystem::copy_file(baseFile, work, std::filesystem::copy_options::overwrite_existing, ec);
  if (ec) {
    err << "Error: Unable to write to " << outputFile << ": " << ec.message() << '\n';
    discard();
    return 1;
  }
  try {
    Params::TParameterFile copy(work);
    copy.BeginUpdate();
    for (const TOverride& o : overrides) copy.WriteString(o.Section, o.Key, o.Value);
    copy.SetFileValid(false);
    copy.EndUpdate();
  } catch (const Propagon::EPropagonError& e) {
    err << "Error: " << e.what() << '\n';
    discard();
    return 1;
  }
  TPrepareOptions prepare;
  prepare.InputFile = work;
  prepare.LibraryPath = libraryPath;
  std::ostringstream prepareOut, prepareErr;
  const int code = RunPrepareCommand(prepare, prepareOut, prepareErr);
  // The messages name the file the values came from, not the working copy.
  std::string errors = prepareErr.str();
  for (std::size_t at = errors.find(work); at != std::string::npos; at = errors.find(work, at + baseFile.size()))
    errors.replace(at, work.size(), baseFile);
  err << errors;
  if (code == 0) {
    std::filesystem::rename(work, outputFile, ec);
    if (ec) {
      err << "Error: Unable to write to " << outputFile << ": " << ec.message() << '\n';
      discard();
      return 1;
    }
    // prepare names the file it wrote: the output, not the working copy.
    std::string text = prepareOut.str();
    const std::string written = "Prepared \"" + work + "\"";
    if (const std::size_t at = text.find(written); at != std::string::npos)
      text.replace(at, written.size(), "Prepared \"" + outputFile + "\"");
    out << text;
    return 0;
  }
  out << prepareOut.str();
  discard();
  return code;
}

} // namespace Cli
