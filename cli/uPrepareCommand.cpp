#include "cli/uPrepareCommand.h"

#include "params/uErrors.h"
#include "params/uLogMessage.h"
#include "params/uMessageReporter.h"
#include "params/uNumberFormat.h"
#include "params/uPrepareFile.h"
#include "shell/uMaldiBinding.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <memory>
#include <ostream>

namespace Cli {

namespace {

// Message texts carry CR LF (and one LF CR) line breaks for the desktop
// program's boxes; a terminal wants one newline per break.
std::string TerminalText(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n') && text[i + 1] != c)
        ++i;
      out += '\n';
    } else {
      out += c;
    }
  }
  return out;
}

class TStreamLogSink : public Propagon::TLogSink {
public:
  explicit TStreamLogSink(std::ostream& out) : FOut(out) {}
  void LogLine(const std::string& line) override { FOut << TerminalText(line) << '\n'; }

private:
  std::ostream& FOut;
};

// Warnings and errors to the error stream. Information boxes are not repeated:
// their texts reach the log as well.
class TPrepareReporter : public Params::TMessageReporter {
public:
  explicit TPrepareReporter(std::ostream& err) : FErr(err) {}
  void ShowInformation(const std::string&) override {}
  void ShowWarning(const std::string& text) override { FErr << "Warning: " << TerminalText(text) << '\n'; }
  void ShowError(const std::string& text) override { FErr << "Error: " << TerminalText(text) << '\n'; }
  bool AskConfirmation(const std::string& text) override {
    FErr << TerminalText(text) << " (no one to answer: No)\n";
    return false;
  }

private:
  std::ostream& FErr;
};

} // namespace

std::string DefaultMaldiLibraryPath() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  const auto folder = ec ? std::filesystem::current_path(ec) : exe.parent_path();
  return (folder / Shell::MaldiLibraryFileName).string();
}

int RunPrepareCommand(const TPrepareOptions& options, std::ostream& out, std::ostream& err) {
  Propagon::InitDecimalSeparator();
  TStreamLogSink sink(out);
  Propagon::TLogSinkGuard logGuard(&sink);

  // The parameter file is saved by replacing it; through a link it would
  // rewrite whatever file the link names, perhaps one of another user.
  const std::string output = options.OutputFile.empty() ? options.InputFile : options.OutputFile;
  std::error_code ec;
  if (std::filesystem::is_symlink(output, ec)) {
    err << "Error: \"" << output << "\" is a symbolic link; polykin-cli does not write through links "
        << "(remove the link or name another file with --out)\n"
        << "Nothing was written.\n";
    return 1;
  }

  const std::string library = options.LibraryPath.empty() ? DefaultMaldiLibraryPath() : options.LibraryPath;
  Shell::TMaldiBinding binding;
  binding.CheckMALDILibrary(library);
  if (!binding.MolMassAvailable()) {
    err << "Error: the molar masses of the formulas cannot be computed: the isotopic library \"" << library
        << "\" is missing, not a usable library or does not export CalcMolMass.\n"
        << "Build the Maldi library (it is placed beside polykin-cli) or name it with --library PATH.\n";
    return 3;
  }

  TPrepareReporter reporter(err);
  const Params::TPrepareResult result =
      Params::PrepareParameterFile(options.InputFile, output, binding.MolMassLookup(), reporter);
  if (result.ExitCode == 0) {
    out << "Prepared \"" << output << "\"\n";
    return 0;
  }
  if (!result.Validation.Field.empty())
    err << "  (in " << result.Validation.Field << " of \"" << options.InputFile << "\")\n";
  const bool shownByValidation =
      result.Validation.Result == Params::TValidationResult::Error && !result.Validation.ErrorKind.empty();
  if (!shownByValidation)
    err << "Error: " << TerminalText(result.Message) << '\n';
  err << "Nothing was written.\n";
  return result.ExitCode;
}

void AddPrepareCommand(CLI::App& app) {
  auto options = std::make_shared<TPrepareOptions>();
  CLI::App* command = app.add_subcommand(
      "prepare", "Validate a parameter file written by hand and save it runnable, as the parameter editor does");
  command->add_option("FILE", options->InputFile, "Parameter file (.kpx) to prepare")->required();
  command->add_option("--out", options->OutputFile, "Write the prepared file here instead of over FILE");
  command->add_option("--library", options->LibraryPath,
                      "The isotopic library for molar masses (default: libMaldi.so beside the program)");
  command->callback([options] {
    if (const int code = RunPrepareCommand(*options, std::cout, std::cerr); code != 0)
      throw CLI::RuntimeError(code);
  });
}

} // namespace Cli
