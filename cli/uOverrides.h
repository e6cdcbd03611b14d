#pragma once
// Parameter files with some of their typed values changed: "Section/Key"
// = value pairs written over a copy of a base file, which is then prepared
// exactly as `polykin-cli prepare` prepares it. The sweep writes one such
// file per combination; the Python module's prepare() takes them as keywords.

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace Cli {

struct TOverride {
  std::string Section;
  std::string Key;
  std::string Value;
};

// "Section/Key" split at its first '/'. False, with a message naming the
// text, when either part is empty.
bool ParseOverrideName(const std::string& name, std::string& section, std::string& key, std::string& error);

// Checks the overrides against the base file before anything is written:
// only the sections a user types may be changed (General, Components,
// ChemicalRates, Controls, CheckingPoints), and the key must already be in
// the base file, or be one of the known rate constants for ChemicalRates
// (rates left out count as 0). A misspelt key would otherwise be written,
// ignored by the run and reported nowhere. The value must not be empty.
bool CheckOverrides(const std::string& baseFile, const std::vector<TOverride>& overrides, std::string& error);

// Copies `baseFile` to `outputFile`, writes the overrides into the copy and
// prepares it in place (the messages of `prepare` go to `out` and `err`).
// Returns the exit code of `prepare` (0 written, 1 unreadable or refused,
// 2 not valid, 3 no molar-mass library); a refused override gives 2 with
// its message on `err`. On a failure the copy may stay behind: the caller
// owns the output and removes it.
int PrepareWithOverrides(const std::string& baseFile, const std::string& outputFile,
                         const std::vector<TOverride>& overrides, const std::string& libraryPath, std::ostream& out,
                         std::ostream& err);

} // namespace Cli
