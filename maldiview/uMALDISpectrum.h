#pragma once
// Simulated MALDI-ToF spectra of the chain store, without any window.
//
// The chains are sorted by the kind of their ends and counted by composition
// (units of monomer A, units of monomer B); the Maldi library writes, for every
// composition up to n units of each monomer, the isotopic pattern of the
// molecule cation + end groups + i A + j B into a table file; adding
// count x pattern on an m/z axis with 10 points per unit gives one curve per
// kind of chain end. Ions are singly charged (m/z is the mass of the molecule
// with its cation) and peaks are not broadened: each isotopic peak adds to the
// axis point nearest its mass. With intensities in percent of the most abundant
// peak, the main peak of a molecule adds its number of chains, so the vertical
// axis counts chains.
//
// The four kinds of chain end (curves 0..3, shown per process type):
//
//   curve  title   table file    end groups (Components keys)          chains counted
//   0      I~~I    Maldi1.tmp    FR: InitiatorFormula,                 recombination products
//                                ATRP: InitiatorAttachedGroup twice
//   1      I~H     Maldi2.tmp    InitiatorAttachedGroup + H            the other dead chains,
//   2      I~=     Maldi3.tmp    InitiatorAttachedGroup, one H less    shared out alternately
//   3      I~X     Maldi4.tmp    living: InitiatorAttachedGroup,       living: all chains;
//                                ATRP: InitiatorFormula                ATRP: chains not terminated
//
// Used by the MALDI window and by `polykin-cli run --maldi`. Not thread-safe:
// one spectrum is computed at a time; the library calls (RunTableJob) may run
// on a worker thread while the caller's thread waits, everything that reads
// the chain store or logs runs on the caller's thread.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace Engine {
class TSimState;
}
namespace Params {
class TParameterFile;
}
namespace Shell {
class TMaldiBinding;
}

namespace MaldiView {

// Axis points per unit of m/z.
inline constexpr int PointsPerUnit = 10;
inline constexpr int CurveCount = 4;

struct TCurveDesign {
  const char* Title;
  const char* FileName;
};
inline constexpr std::array<TCurveDesign, CurveCount> CurveDesigns{{
    {"I~~I", "Maldi1.tmp"},
    {"I~H", "Maldi2.tmp"},
    {"I~=", "Maldi3.tmp"},
    {"I~X", "Maldi4.tmp"},
}};

// The curves (0-based, in table-file order) of a process type: living 3;
// free radical 0, 1, 2; ATRP 0 … 3; none for living reversible (its chains
// have no defined end groups) and for unknown types.
std::vector<int> CurvesOfProcess(int processType);

// Folder of the table files, with a trailing '/': the environment variable
// TEMP (what the Windows program used), else TMPDIR, else /tmp. A desktop
// session on Linux normally sets neither of the first two.
std::string TemporaryDirectory();

// The smaller unit molar mass used to size the tables: min(MA, MB); a mass
// that is not positive (a monomer B left empty) is replaced by the other one.
// 0 when neither is positive.
double SmallestUnitMass(double massA, double massB);

// n = trunc(upperLimit / SmallestUnitMass) + 1: the largest number of units of
// either monomer for which patterns are prepared. False with a message when
// both unit masses are 0, when the upper limit is not a positive number up to
// MaxUpperLimit, or when n would exceed MaxUnitLimit.
bool UnitLimit(double upperLimit, double massA, double massB, std::int32_t& n, std::string& error);
// Largest n accepted. The library's work and the count tables grow with
// (n + 1)^2: n = 2000 already means 4 million patterns per table file (about
// half an hour), far beyond the mass range where isotopes are resolved.
inline constexpr std::int32_t MaxUnitLimit = 2000;
// Largest upper limit accepted (2 million axis points per curve).
inline constexpr double MaxUpperLimit = 200000.0;

// The upper-limit text converted with the locale's decimal separator (a '.'
// or ',' is accepted too). False with the conversion message otherwise.
bool ParseUpperLimit(const std::string& text, double& upperLimit, std::string& error);

// The cation as it goes to the library: the text without its last character
// when that is "+" ("K+" -> "K", "Na" -> "Na", "" -> "").
std::string CationFormula(const std::string& text);

// ---- the estimate shown before a calculation ---------------------------------

enum class TEstimateLevel { Normal, Long, VeryLong }; // button face, yellow (> 10 s), red (> 60 s)

struct TPreparationEstimate {
  std::int64_t Species = 0; // patterns the library computes, (n + 1)^2 per table file
  double Seconds = 0.0;     // Species x 0.0005 s
  TEstimateLevel Level = TEstimateLevel::Normal;
  // "Number of Species = 441\r\nApprox. Preparation Time = 0.2s"
  std::string Text;
};

// k = trunc(upperLimit / SmallestUnitMass) + 1; species = k^2, x 3 for free
// radical, x 4 for ATRP. False (estimate untouched) when there is no positive
// unit mass or the upper limit is not a number >= 0.
bool EstimatePreparation(double upperLimit, double massA, double massB, int processType,
                         TPreparationEstimate& estimate);
TEstimateLevel EstimateLevel(double seconds);

// ---- counting the chains -------------------------------------------------------

// Chains counted by composition, [units of A][units of B], 0 … n each. Cells
// are 32-bit: a free-radical run easily puts more than 65535 chains into one
// composition.
class TDistribData {
public:
  void Resize(std::int32_t n); // (n + 1) x (n + 1) zeros
  void Release();
  bool Empty() const { return FCells.empty(); }
  std::int32_t N() const { return FN; }
  std::uint32_t At(std::int32_t a, std::int32_t b) const {
    return FCells[static_cast<std::size_t>(a) * static_cast<std::size_t>(FN + 1) + static_cast<std::size_t>(b)];
  }
  void Add(std::int32_t a, std::int32_t b) {
    ++FCells[static_cast<std::size_t>(a) * static_cast<std::size_t>(FN + 1) + static_cast<std::size_t>(b)];
  }
  // Sum of all cells.
  std::uint64_t Total() const;

private:
  std::int32_t FN = -1;
  std::vector<std::uint32_t> FCells;
};
using TCountTables = std::array<TDistribData, CurveCount>;

// Fills the tables of the process type's curves from the chain store and
// releases the others. Chains of DP 0 and chains with more than n units of A
// or of B are not counted. Free radical: recombination products (head byte 2)
// go to table 0; the other chains, in chain order over the whole store, go
// alternately to tables 1 and 2, the first to table 1. ATRP: chains not
// terminated go to table 3, the rest as for free radical. Living: all to
// table 3.
void PrepareABDistribution(const Engine::TSimState& state, std::int32_t n, TCountTables& tables);

// ---- the library's tables -------------------------------------------------------

// What the library is asked for: one call per curve of the process type.
struct TTableJob {
  std::int32_t N = 0;
  std::string FormulaA;
  std::string FormulaB;
  std::string Cation; // without a trailing "+"
  std::string Directory; // with a trailing '/'
  std::vector<int> Curves;
  std::array<std::string, CurveCount> EndGroups;
};

// The job of a process type from the "Components" section of the parameter
// file. Its Curves are empty for a process type without tables.
TTableJob MakeTableJob(const Params::TParameterFile& file, int processType, std::int32_t n,
                       const std::string& cation, const std::string& directory);

struct TTableResult {
  // Result of the last library call: 1 when its table was written. 0 when no
  // call was made (living reversible), a call failed, or the run was cancelled.
  int ExitCode = 0;
  bool Cancelled = false;
  std::string Error; // why there is no spectrum (empty after success)
};

// Before each table: (tables done, tables in all); returning false cancels the
// rest (a call already running cannot be interrupted).
using TTableProgress = std::function<bool(int done, int total)>;

// Calls the library once per curve of the job, in file order, stopping at the
// first failure: PrepareSpectrum, or PrepareAbstractedSpectrum for curve 2
// (one hydrogen less). Logs nothing and reads no simulation state, so it may
// run on a worker thread while the caller keeps its window responsive.
TTableResult RunTableJob(const Shell::TMaldiBinding& binding, const TTableJob& job,
                         const TTableProgress& progress = {});

// ---- building the curves -----------------------------------------------------

struct TCurveData {
  bool Active = false;
  std::vector<double> Intensities; // one per axis point, in chains
  // "i+j" at the labelled main peaks, by axis index; every other point has
  // an empty label.
  std::map<std::int32_t, std::string> Labels;
  std::string Label(std::int32_t k) const {
    const auto it = Labels.find(k);
    return it == Labels.end() ? std::string() : it->second;
  }
};

// P = trunc(PointsPerUnit x upperLimit): the axis has P + 1 points k / 10.
std::int64_t AxisHigh(double upperLimit);
// Rebuilds `axis` with P + 1 points x_k = k x 0.1.
void BuildAxis(double upperLimit, std::vector<double>& axis);

// Reads table file `fileName` and builds `curve` on the axis of `upperLimit`:
// for every molecule (i, j) with chains in `table`, each isotopic peak of mass
// m <= upperLimit adds table[i][j] x intensity / 100 to the point
// trunc(10 m + 0.5); where that point reaches `labelLevel` with the most
// abundant peak of the molecule (|intensity - 100| < 0.1) it is labelled "i+j".
// `n` receives the n of the file. False with a message naming the file when it
// cannot be read, is short or damaged, or holds more units than `table`
// (curve and n are then unchanged).
bool SetData_Isotopic(const std::string& fileName, const TDistribData& table, double upperLimit,
                      int labelLevel, TCurveData& curve, std::int32_t& n, std::string& error);

// Label level from the text of the level field: the integer, raised by 1 when
// it is 1 or less. False (level unchanged) for a text that is not an integer.
bool ParseLabelLevel(const std::string& text, int& level);

// ---- the whole calculation ----------------------------------------------------------

// A spectrum and everything it was made from: the state of the MALDI window
// and of `polykin-cli run --maldi`.
class TMALDISpectrum {
public:
  std::string UpperLimit; // text, locale decimal separator
  std::string Cation;     // without trailing "+"
  int LabelLevel = 20;
  std::string TempDir = TemporaryDirectory();
  int ProcessType = -1;   // of the last successful table preparation
  std::int32_t N = 0;
  double UpperLimitValue = 0.0;
  std::vector<double> Axis;
  std::array<TCurveData, CurveCount> Curves;
  TCountTables Tables;

  // Step 3 of a recalculation: n from the upper limit and the unit masses of
  // the store. False with a message (nothing changed) otherwise.
  bool ComputeUnitLimit(const Engine::TSimState& state, std::string& error);

  // The table files for the store's process type: the job, the library calls
  // and the log line "Prepare MALDI Exit Code = <code>". Living reversible
  // logs code 0 and the reason. Returns the exit code (1: go on).
  int SaveTemporarySpectrum(const Shell::TMaldiBinding& binding, const Params::TParameterFile& file,
                            const Engine::TSimState& state);
  // The job for the store's process type (for a caller that runs the library
  // itself) and the logging of its result (as SaveTemporarySpectrum does).
  TTableJob MakeJob(const Params::TParameterFile& file, const Engine::TSimState& state) const;
  static int FinishTables(const TTableResult& result);

  void PrepareABDistribution(const Engine::TSimState& state);

  // Deactivates all curves, then builds those of `processType` from their
  // table files in order. Stops at the first file that cannot be read: its
  // message goes to the log (and to `error`), the curves built before it stay
  // active, the failed and later ones stay as they were but inactive.
  bool BuildCurves(int processType, std::string& error);

  // The label level changed: rebuild the active curves' process type from
  // the table files (the counts are not recomputed).
  bool RebuildLabels(std::string& error);

  // The whole recalculation without dialogs: unit limit, tables, counting,
  // curves. False with the reason in the log (and `error`) when no new
  // spectrum was made; the curves of the previous one then stay.
  bool Calculate(const Shell::TMaldiBinding& binding, const Params::TParameterFile& file,
                 const Engine::TSimState& state, std::string& error);

  // Releases the axis, curves and count tables.
  void Release();

  // ---- output ----
  // The active curves, in curve order.
  std::vector<int> ActiveCurves() const;
  // Tab-separated table: "mz" and one column per active curve (its title),
  // one row per axis point; lines end with "\n", numbers with ".".
  bool WriteSpectrumFile(const std::string& path, std::string& error) const;
  // "mz\tcurve\tlabel" and one row per label of the active curves.
  bool WriteLabelsFile(const std::string& path, std::string& error) const;
};

} // namespace MaldiView
