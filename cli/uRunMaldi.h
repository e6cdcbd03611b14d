#pragma once
// `polykin-cli run FILE.kpx --maldi CATION:UPPER`: the simulated MALDI-ToF
// spectrum of the run's product, made after the run by the same code and
// library as the MALDI window, written as two tables:
//
//   maldi.tsv         mz, then one column per curve of the process type
//                     (I~~I, I~H, I~=, I~X), in chains per 0.1 m/z point
//   maldi_labels.tsv  mz, curve, label ("i+j": units of A and of B) of every
//                     labelled main peak
//
// The library's table files go to a private folder under the temporary
// directory, removed afterwards, so parallel runs and the desktop program
// never read each other's tables.

#include <filesystem>
#include <string>

namespace Engine {
class TSimState;
}
namespace Params {
class TParameterFile;
}

namespace Cli {

struct TMaldiRequest {
  std::string Cation;     // as typed ("Na+"); the trailing "+" is dropped for the library
  std::string UpperLimit; // m/z, "." or the locale's separator
  int LabelLevel = 20;    // the window's default label level
};

// Parses "CATION:UPPER" ("Na+:5000", "K:2500.5"). False with a message for a
// missing colon, an empty cation or an upper limit that is not a positive number.
bool ParseMaldiRequest(const std::string& text, TMaldiRequest& request, std::string& error);

// The cation must be a formula the library at `libraryPath` can weigh; false
// with a message naming it. Checked before the run, so a spectrum is never
// made without its cation. A library that cannot be loaded is not judged
// here (the spectrum after the run reports it).
bool CheckMaldiCation(const TMaldiRequest& request, const std::string& libraryPath, std::string& error);

// Loads the library at `libraryPath`, calculates the spectrum of the store
// and writes both tables into `outDir`. False with the reason (also in the
// message log) when no spectrum could be made or written.
bool WriteMaldiResults(const TMaldiRequest& request, const std::string& libraryPath,
                       const Params::TParameterFile& file, const Engine::TSimState& state,
                       const std::filesystem::path& outDir, std::string& error);

} // namespace Cli
