#pragma once
// Run-time binding of the isotopic-spectrum library (libMaldi.so).
//
// The program is not linked against the library: it loads it by file name
// when it starts and whenever the user picks another file, and looks the four
// C entry points up by name. Everything that needs the library (molar masses
// of formulas in the parameter editor and in `polykin-cli prepare`, MALDI
// spectra) asks this binding first: `MolMassAvailable()` and
// `SpectrumAvailable()` say which entry points the loaded file exports, and
// the typed calls below return the library's own failure values when the
// entry point is missing, so a caller never calls through a null pointer.
//
// Problems are reported as lines of the message log only; the program stays
// usable without the library.
//
// Threading: the library is not re-entrant. Create, check and call the
// binding on one thread (the window thread in the desktop program).
//
// No Qt in here: the command-line runner uses the same binding.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Shell {

// File name of the library on this platform; it replaces the Windows name in
// the file-name checks and in every message about the library.
inline constexpr const char* MaldiLibraryFileName = "libMaldi.so";
// The isotope table that must lie beside the library.
inline constexpr const char* IsotopeTableFileName = "ISOTOPE.DAT";

// The C entry points. Strings are NUL-terminated UTF-16 that the caller owns
// and the library only reads during the call.
using TCalcMolMassProc = double (*)(const char16_t* formula);
// PrepareSpectrum, PrepareAbstractedSpectrum and PrepareHighestPeaks:
// (n, formula A, formula B, end groups, cation, table file name) -> 1 when the
// table was written, 0 when the isotope table could not be loaded.
using TPrepareTableProc = std::int32_t (*)(std::int32_t n, const char16_t* formulaA,
                                           const char16_t* formulaB, const char16_t* endGroups,
                                           const char16_t* cation, const char16_t* fileName);

// UTF-8 -> UTF-16 for the library's string arguments. Malformed UTF-8
// sequences become U+FFFD, so a bad byte can never run past the terminator.
std::u16string Utf8ToUtf16(const std::string& text);

class TMaldiBinding {
public:
  // Receives the library path whenever it is to be remembered as the
  // settings value "MALDILibraryName" (the desktop program writes it to
  // polykin.ini; the command line passes nothing).
  using TRecordLibraryName = std::function<void(const std::string& path)>;

  explicit TMaldiBinding(TRecordLibraryName recordLibraryName = {});
  ~TMaldiBinding(); // releases every library loaded through this binding
  TMaldiBinding(const TMaldiBinding&) = delete;
  TMaldiBinding& operator=(const TMaldiBinding&) = delete;

  // Loads and examines the library at `path` (a full file name), logging each
  // problem found:
  //   - no file at path: "Error: Library File \"libMaldi.so\" not Exists!..."
  //     (the load is still attempted, and the path still recorded);
  //   - loaded, but no ISOTOPE.DAT beside it: an error line, flags unchanged by it;
  //   - "PrepareSpectrum" / "CalcMolMass" missing: "MALDI Spectrum not Allowed!" /
  //     "Edition of Process Parameters not Allowed!";
  //   - load failed: "Error: Unable to Load Library from File \"<path>\"!..."
  //     followed by the loader's own reason; the previously loaded library
  //     (if any) and its flags stay in force. The file is first loaded in a
  //     short child process (ProbeLibrary); one that ends that process (a
  //     truncated or corrupted file) is never loaded here, and the reason
  //     reads "not a usable library: ...".
  void CheckMALDILibrary(const std::string& path);

  // A library is loaded (the most recent successful load).
  bool Loaded() const { return FHandle != nullptr; }
  // File name of the loaded library (empty when none).
  const std::string& LibraryPath() const { return FLibraryPath; }
  // The loaded library exports "PrepareSpectrum" / "CalcMolMass".
  bool SpectrumAvailable() const { return FSpectrumAvailable; }
  bool MolMassAvailable() const { return FMolMassAvailable; }
  // Enabled state of "Search MALDI DLL": on unless a library with both entry
  // points is loaded.
  bool SearchEnabled() const;

  // Looks up any exported name in the loaded library; nullptr when there is
  // no library or no such export.
  void* Symbol(const char* name) const;

  // Average molar mass in g/mol of a formula; 0.0 when the formula is
  // invalid, the isotope table is missing, or the entry point is not there.
  double CalcMolMass(const std::string& formula) const;
  // CalcMolMass bound to this binding, for code that only needs a lookup
  // (validation, the component editor, the command line). The binding must
  // outlive the returned function.
  std::function<double(const std::string&)> MolMassLookup() const;

  // The table operations; 0 when the entry point is missing (no table written).
  int PrepareSpectrum(int n, const std::string& formulaA, const std::string& formulaB,
                      const std::string& endGroups, const std::string& cation,
                      const std::string& fileName) const;
  int PrepareAbstractedSpectrum(int n, const std::string& formulaA, const std::string& formulaB,
                                const std::string& endGroups, const std::string& cation,
                                const std::string& fileName) const;
  int PrepareHighestPeaks(int n, const std::string& formulaA, const std::string& formulaB,
                          const std::string& endGroups, const std::string& cation,
                          const std::string& fileName) const;

  // Releases every library loaded through this binding and clears the flags
  // (program exit; function pointers obtained earlier become invalid).
  void Release();

private:
  int CallTable(const char* name, int n, const std::string& formulaA, const std::string& formulaB,
                const std::string& endGroups, const std::string& cation,
                const std::string& fileName) const;
  void Record(const std::string& path) const;

  TRecordLibraryName FRecordLibraryName;
  void* FHandle = nullptr;
  std::string FLibraryPath;
  // Every handle ever opened: a newer load replaces FHandle but the older
  // library stays mapped until Release(), because code may still hold a
  // pointer into it.
  std::vector<void*> FOpened;
  bool FSpectrumAvailable = false;
  bool FMolMassAvailable = false;
};

// The binding the desktop program (or the command line) has installed, for
// windows that are created far from the main window (MALDI view, component
// editor). nullptr when none is installed.
TMaldiBinding* ActiveMaldiBinding();
// Installs `binding` (nullptr removes it) and returns the previous one.
TMaldiBinding* SetActiveMaldiBinding(TMaldiBinding* binding);

} // namespace Shell
