#pragma once
// From the laboratory description of a process to the parameters of its
// stochastic simulation, on plain values.
//
// TProcessValues holds what the parameter editor holds: the texts of its
// fields as the user typed them (with the user's decimal separator) and the
// selections of its radio groups. The editor window copies its fields into
// it and back; the command line fills it from a file. Everything here works
// on these values only, so both front ends compute and write exactly the same.
//
// A numeric field whose text is empty counts as 0 (the editor shows "0" in
// an emptied field); any other text that is not a number raises
// Propagon::EConvertError "'<text>' is not a valid floating point value",
// with Field() naming the key of the field. Divisions by zero raise
// Propagon::EZeroDivide (x/0) or Propagon::EInvalidOp (0/0), results beyond
// double range Propagon::EOverflow.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Params {

struct TFreeRadicalGrowth;

class TParameterFile;
class TMessageReporter;

inline constexpr double AvogadroNumber = 6.02214179E23;
inline constexpr std::int64_t MaxDP = 32767;
// Allowance in the memory estimate for what a run needs besides its
// simulation state (program text, libraries, buffers of the result files),
// bytes. The desktop program's windows are already resident when the free
// memory is read, so they are not counted again.
inline constexpr std::int64_t MemoryBase = 6 * 1024 * 1024;

// Component panel indices (ComponentNames).
enum TComponentIndex : int { ciSolvent = 0, ciInitiator = 1, ciMonomerA = 2, ciMonomerB = 3, ciActivator = 4 };
// Units of a component's Amount field; -1 when none is selected.
enum TComponentUnits : int { cuNone = -1, cuVolume = 0, cuWeight = 1, cuMoles = 2, cuConcentration = 3 };

// Molar mass in g/mol of a chemical formula, 0 when the formula is invalid.
// An empty function stands for a library without "CalcMolMass".
using TMolMassLookup = std::function<double(const std::string& formula)>;

struct TComponentValues {
  int Units = cuNone;
  std::string Amount;         // in the unit chosen
  std::string Density = "1";  // g/cm3
  std::string Volume;         // mL: computed, or typed for moles and concentration
  std::string Oxidized;       // activator: oxidized activator per activator molecule
  std::string Formula;        // unit formula for the monomers
  std::string Length = "2";   // bonds built into the main chain per unit
  std::string AttachedGroup;  // initiator: the group attached to a chain end
  double MolarMass = 0.0;     // of Formula, g/mol; 0 until computed or when invalid
  bool operator==(const TComponentValues&) const = default;
};

struct TProcessValues {
  int ProcessType = -1;    // 0 living, 1 free radical, 2 ATRP, 3 living reversible
  int MixtureVolume = -1;  // 0 total volume known, 1 sum of the components
  std::string TotalVolume;      // mL
  std::string InitiatorNumber;  // molecules to simulate (a 32-bit integer)
  std::array<TComponentValues, 5> Components;
  std::array<std::string, 12> Propagation;   // by PropagationKeys
  std::array<std::string, 6> Termination;    // by TerminationKeys
  std::array<std::string, 6> Activation;     // by ActivationKeys
  std::array<std::string, 6> Depropagation;  // by DepropagationKeys
  std::string InitDecomposit;        // kd, 1/s
  std::string InitiationEfficiency;  // f
  int CheckingPointsMethod = -1;     // 0 by conversion, 1 by time
  int CheckingPointsDistr = -1;      // 0 linear, 1 logarithmic
  int CheckingPointsNumber = 1;      // points number of the generator
  std::vector<std::string> CheckingPoints;  // times in s, as listed

  // True in the sum-of-components volume mode.
  bool CheckVolumesCalcMode() const { return MixtureVolume == 1; }
  bool operator==(const TProcessValues&) const = default;
};

// What a validation computed, kept for the saves that follow it.
struct TValidationState {
  bool ValidationFailed = false;
  double I0 = 0.0;  // initial initiator concentration, mol/L
  std::int64_t NI = 0, NA = 0, NB = 0, NL = 0, NLX = 0;
  std::int64_t RequiredMemoryEstimate = 0;  // bytes, of the last successful validation
};

// The value of a numeric field text (empty counts as 0); `field` names it in errors.
double FieldValue(const std::string& text, const std::string& field);

// Division that raises EZeroDivide for x/0 and EInvalidOp for 0/0, and
// EOverflow when the quotient is beyond double range.
double Divide(double numerator, double denominator);

// Volume of one component in mL for the sum-of-components mode; refreshes the
// component's Volume text. Weight: amount / density, written with "0.###" and
// read back, so rounded to three decimals. Volume or no unit: the amount.
// Moles or concentration: the typed Volume.
double GetComponentVolume(TProcessValues& values, int component);

// Volume of the mixture in L. Sum mode: solvent + monomer A + monomer B
// volumes, TotalVolume refreshed with "##0.00" (the unrounded sum is used).
double GetVolume(TProcessValues& values);

// Concentration of a component in the mixture, mol/L (the solvent: 0).
double GetConcentration(TProcessValues& values, int component);

// Simulated molecules of monomer A, monomer B or the activator:
// round-half-even(c x V x N_Av x N_I / (V x I0 x N_Av)), using state.NI and state.I0.
std::int64_t GetMoleculesNumber(TProcessValues& values, const TValidationState& state, int component);

// Rounds a molecule number half to even; EInvalidOp for NaN, EOverflow beyond 64 bits.
std::int64_t RoundMolecules(double value);

// Bytes a run can make resident (the "RequiredMemory" of a parameter file),
// built from what the run's structures touch, not from their reserved size.
// With C chain slots (N_I; 2 N_I in free radical), S chains that can start,
// U units they can hold and H + 1 check points:
//   C x (10 bytes of per-chain arrays + the process's lists: 12 free radical,
//        25 ATRP, 1 living reversible)
//   + S x 256 for the store's first block of each chain that starts
//   + U + what the store's later blocks and block table can touch for them
//   + 88 bytes per possible mass bin (S, or at most 3 x 32768 for a
//     homopolymer)
//   + for the living kernel 16 per mer record (N_A + N_B + 1)
//   + 256 x (H + 1) + 4 x 32768 (DP distribution) + MemoryBase.
// S = C and U = N_A + N_B, except for a free-radical run with its rates
// (growth): then S and U are the bounds of uGrowthBound.h. The sequence store
// is backed lazily and hands out its later blocks in the order chains reach
// them, so a chain's 32768 possible positions are not counted.
std::int64_t EstimateRequiredMemory(int processType, std::int64_t NI, std::int64_t NA, std::int64_t NB,
                                    std::int64_t checkPointsHigh, const TFreeRadicalGrowth* growth = nullptr);

// The per-event constants, efficiency and last check point of a free-radical
// description, as the prepared file will hold them (for the estimate).
TFreeRadicalGrowth FreeRadicalGrowthOf(const TProcessValues& values, const TValidationState& state);

// Number of primary radicals formed by t_last in the free-radical run:
// 2 x round(f x N_I x (1 - exp(-kd x t_last))). Every decomposition consumes
// its molecule (the initiator decays with kd) and a fraction f of them give
// two radicals.
std::int64_t ExpectedChainsNumber(std::int64_t NI, double f, double kd, double tLast);

// The final time: the last checking point (0 without any).
double LastCheckingPoint(const TProcessValues& values);

// Writes "SimulationParameters", the derived rates of "SimulationRates",
// "MaxRateConstant"/"TimeInterval" (type 0) and "ExpectedChainsN" (type 1).
void SaveSimulationParameters(TParameterFile& file, TProcessValues& values, const TValidationState& state);

// The whole save of the editor, in its order: validity marker, General,
// Components, SimulationParameters, Controls, ChemicalRates, the copies of the
// depropagation rates, CheckingPoints. The initiator's attached group mass is
// computed anew through `lookup` (an invalid group is reported like during
// validation). One disk write: an error on the way (a field that is not a
// number, a refused write) leaves the file as it was and is rethrown.
// A process type outside 0..3 raises EMathError and writes nothing.
void SaveParameterFile(const std::string& fileName, TProcessValues& values, const TValidationState& state,
                       const TMolMassLookup& lookup, TMessageReporter& reporter);

// The open of the editor, after the validity check: everything the editor
// reads back (General, Components with the molar masses of non-empty
// formulas through `lookup`, ChemicalRates, Controls, CheckingPoints).
// "SimulationParameters" and "SimulationRates" are not read. Empty texts of
// the number fields the editor shows (TotalVolume, the rate fields of the
// process type) become "0", as the editor's fields show them.
void LoadParameterValues(const TParameterFile& file, TProcessValues& values, const TMolMassLookup& lookup,
                         TMessageReporter& reporter);

// ---- component checks (shared with validation) ---------------------------

// Molar mass of a formula through the library; without "CalcMolMass" logs
// "Function not Assigned! Error in \"libMaldi.so\"!" and gives 0. A result not
// above 0 shows the invalid-formula message for the field.
double CalcFormulaMass(const std::string& formula, int component, bool attachedGroup,
                       const TMolMassLookup& lookup, TMessageReporter& reporter);

// "Invalid Formula for \"MonomerA Formula\"" (or "... Attached Group\""), to
// the log and as an error box.
void ShowInvalidFormula(int component, bool attachedGroup, TMessageReporter& reporter);

} // namespace Params
