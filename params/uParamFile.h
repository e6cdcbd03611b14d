#pragma once
// The process parameter file (.kpx): one complete description of a
// polymerization process, what the user typed into the parameter editor and
// the quantities derived from it for the simulation. It is the only channel
// between the editor and the engine.
//
// TParameterFile is an INI file (see TIniFile for the on-disk rules) with the
// readers that accept either decimal separator, the check-point list and the
// validity marker. Keys and sections are named by the constants below.

#include "params/uIniFile.h"

#include <array>
#include <string>
#include <vector>

namespace Params {

// Largest molar mass of a component or fragment, g/mol, that validation and
// the run accept: the mass of a chain of MaxDP such units and its square
// (for Mw) stay finite.
inline constexpr double MaxMolarMass = 1e100;

class TMessageReporter;

// The validity marker section; "®" is U+00AE in memory, the byte 0xAE on disk.
inline constexpr const char* FileValidSection = "Propago\xC2\xAE Parameters File";
inline constexpr const char* FileValidKey = "FileValid";

inline constexpr const char* GeneralSection = "General";
inline constexpr const char* ComponentsSection = "Components";
inline constexpr const char* SimulationParametersSection = "SimulationParameters";
inline constexpr const char* ChemicalRatesSection = "ChemicalRates";
inline constexpr const char* SimulationRatesSection = "SimulationRates";
inline constexpr const char* ControlsSection = "Controls";
inline constexpr const char* CheckingPointsSection = "CheckingPoints";

// Centres I*, A*, B* reacting with A, B, and chain transfer to A (Ac) and B (Bc);
// index = 3 x column + centre.
inline constexpr std::array<const char*, 12> PropagationKeys = {
    "I*A", "A*A", "B*A", "I*B", "A*B", "B*B", "I*Ac", "A*Ac", "B*Ac", "I*Bc", "A*Bc", "B*Bc"};
// Disproportionation and recombination of A*+A*, A*+B*, B*+B*.
inline constexpr std::array<const char*, 6> TerminationKeys = {"DisprAA",  "DisprAB",  "DisprBB",
                                                               "RecombAA", "RecombAB", "RecombBB"};
// ATRP activation and deactivation of I, A, B ends.
inline constexpr std::array<const char*, 6> ActivationKeys = {"ActivI", "ActivA", "ActivB",
                                                              "DeactI", "DeactA", "DeactB"};
// Depropagation XY* -> X* + Y, named by the last two units.
inline constexpr std::array<const char*, 6> DepropagationKeys = {"IA*", "AA*", "BA*", "IB*", "AB*", "BB*"};
// Component panels 0..4.
inline constexpr std::array<const char*, 5> ComponentNames = {"Solvent", "Initiator", "MonomerA", "MonomerB",
                                                              "Activator"};
// Process types 0..3.
inline constexpr std::array<const char*, 4> ProcessNames = {
    "Ring Opening Polymerization", "Free Radical Copolymerization", "Controlled Radical Copolymerization",
    "Living Reversible Copolymerization"};

class TParameterFile : public TIniFile {
public:
  // Never fails: an absent file reads as empty.
  explicit TParameterFile(std::string fileName);

  // A file over MaxParameterFileSize is refused with its error box first,
  // unread (uFileSizeLimit.h). Reads "FileValid" (default false). When false, shows the information box
  // "\"<file name>\"\r\nis not a Valid Parameters File!" through `reporter`.
  bool CheckFileValid(TMessageReporter& reporter) const;
  void SetFileValid(bool valid);

  // Reads the text (absent: empty), replaces its last '.' or ',' by the current
  // decimal separator and converts. Not a number (the empty text included):
  // Propagon::EConvertError "'<adapted text>' is not a valid floating point value".
  double ReadLocalFloat(const std::string& section, const std::string& key) const;
  // The text with its separator adapted, not converted (absent: empty).
  std::string ReadLocalString(const std::string& section, const std::string& key) const;

  // The "CheckingPoints" keys 0, 1, 2, ... up to the first missing one, each
  // with its separator adapted. `lines` is cleared first.
  void ReadCheckingPoints(std::vector<std::string>& lines) const;
  // The same keys as reals (ReadLocalFloat); highIndex = count - 1 (-1 for none).
  void ReadCheckingPointsArray(int& highIndex, std::vector<double>& values) const;
  // A warning for a list that stops before the number of points the editor
  // wrote beside it ("Controls"/"CheckingPointsNumber"), or that has a gap
  // (numbered keys after the first missing one); empty when the list is whole.
  std::string CheckingPointsListWarning() const;
  // Empties "CheckingPoints", then writes the non-blank lines under 0, 1, 2, ...
  // without gaps. One disk write.
  void WriteCheckingPoints(const std::vector<std::string>& lines);
};

} // namespace Params
