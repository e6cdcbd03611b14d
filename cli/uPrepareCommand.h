#pragma once
// `polykin-cli prepare FILE.kpx [--out NEW.kpx] [--library PATH]`
//
// Turns a parameter file written in a text editor (what the parameter editor
// reads back when it opens a file: General, Components, ChemicalRates,
// Controls, CheckingPoints) into a runnable one: validated as "Validate..."
// does, then saved exactly as the editor saves, with "FileValid" 1 and the
// derived sections recomputed. Molar masses of the formulas come from the
// isotopic library, loaded from beside the program unless --library names it.
//
// Exit codes: 0 written; 1 input unreadable, output refused or bad usage;
// 2 the parameters did not validate (warnings and errors on the error
// stream); 3 the library or its "CalcMolMass" is missing.

#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace Cli {

struct TPrepareOptions {
  std::string InputFile;
  std::string OutputFile;   // empty: write back into InputFile
  std::string LibraryPath;  // empty: libMaldi.so beside the program
};

// Registers the sub-command on `app`; a non-zero exit code leaves the
// program through CLI::RuntimeError(code).
void AddPrepareCommand(CLI::App& app);

// Runs the command: log lines and the result go to `out`, warnings and errors to `err`.
int RunPrepareCommand(const TPrepareOptions& options, std::ostream& out, std::ostream& err);

// libMaldi.so in the folder of the running program.
std::string DefaultMaldiLibraryPath();

} // namespace Cli
