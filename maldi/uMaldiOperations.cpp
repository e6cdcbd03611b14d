#include "maldi/uMaldiOperations.h"

#include "maldi/uDiagnostics.h"
#include "maldi/uFormulaParser.h"
#include "maldi/uIsotopePattern.h"
#include "maldi/uIsotopeTable.h"
#include "maldi/uSpectrumTableFile.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace Maldi {

namespace {

// Parses one formula of a call. A formula that does not parse is reported
// with its role: a spectrum or mass made without part of the molecule would
// look right and be wrong.
bool Parse(const std::u16string& formula, const char16_t* role, const IsotopeTable& table,
           Composition& composition) {
  try {
    Parser::ParseFormula(formula, table.symbols, composition);
  } catch (const Parser::Error& error) {
    WriteDiagnostic(error.Message());
    if (role != nullptr)
      WriteDiagnostic(u"No spectrum table: " + std::u16string(role) + u" is not a formula of ISOTOPE.DAT\n");
    composition.clear();
    return false;
  }
  return true;
}

// Every element the formulas use must give a pattern.
bool ElementsUsable(const Composition& composition, const IsotopeTable& table) {
  for (const auto& [element, count] : composition) {
    (void)count;
    if (const std::string problem = ElementProblem(table, element); !problem.empty()) {
      WriteDiagnostic(u"ISOTOPE.DAT cannot be used: " + FromNarrow(problem) + u"\n");
      return false;
    }
  }
  return true;
}

// The molecule cation + end groups + i A + j B.
Composition Molecule(const Composition& ends, const Composition& a, const Composition& b, int32_t i,
                     int32_t j) {
  Composition molecule = ends;
  AddComposition(molecule, a, i);
  AddComposition(molecule, b, j);
  std::erase_if(molecule, [](const auto& entry) { return entry.second == 0; });
  return molecule;
}

int32_t MassCeiling(const Pattern& heaviest) {
  if (heaviest.empty())
    return 0;
  const double ceiling = std::trunc(heaviest.back().mass) + 1.0;
  if (!(ceiling < double(std::numeric_limits<int32_t>::max())))
    return std::numeric_limits<int32_t>::max();
  if (ceiling < double(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  return int32_t(ceiling);
}

// Buffered binary output that remembers whether every byte reached the file.
class TTableWriter {
public:
  explicit TTableWriter(const std::string& path) : FFile(std::fopen(path.c_str(), "wb")) {}
  ~TTableWriter() {
    if (FFile != nullptr)
      std::fclose(FFile);
  }
  TTableWriter(const TTableWriter&) = delete;
  TTableWriter& operator=(const TTableWriter&) = delete;

  bool IsOpen() const { return FFile != nullptr; }
  std::string& Buffer() { return FBuffer; }
  void FlushIfFull() {
    if (FBuffer.size() >= FlushSize)
      Flush();
  }
  // Writes what is buffered and closes the file; false when anything failed.
  bool Close() {
    Flush();
    const bool closed = std::fclose(FFile) == 0;
    FFile = nullptr;
    return FGood && closed;
  }

private:
  static constexpr std::size_t FlushSize = 1 << 20;
  void Flush() {
    if (!FBuffer.empty() && std::fwrite(FBuffer.data(), 1, FBuffer.size(), FFile) != FBuffer.size())
      FGood = false;
    FBuffer.clear();
  }

  std::FILE* FFile;
  std::string FBuffer;
  bool FGood = true;
};

// The molecules and encoded records of one row of the table.
struct TRowEntry {
  Composition Molecule;
  std::string Record;
};

// A record already encoded for the same molecule in this row or the previous
// one. Tables often repeat molecules: every record of a row when formula B is
// empty, the previous row shifted by one when B equals A, the previous row
// when A is empty. Two rows bound the memory however large n is.
const std::string* RepeatedRecord(const Composition& molecule, const std::vector<TRowEntry>& current,
                                  const std::vector<TRowEntry>& previous) {
  const std::size_t j = current.size();
  if (j > 0 && current[j - 1].Molecule == molecule)
    return &current[j - 1].Record;
  if (j + 1 < previous.size() && previous[j + 1].Molecule == molecule)
    return &previous[j + 1].Record;
  if (j < previous.size() && previous[j].Molecule == molecule)
    return &previous[j].Record;
  return nullptr;
}

} // namespace

double CalcMolMassWith(const std::u16string& formula, const std::string& isotopeFile) {
  IsotopeTable table;
  if (!EnsureIsotopeTable(isotopeFile, table))
    return 0.0;
  Composition composition;
  if (!Parse(formula, nullptr, table, composition) || !ElementsUsable(composition, table))
    return 0.0;
  return CompositionMolarMass(composition, table);
}

int32_t PrepareTableWith(TRecordKind kind, const TSpectrumRequest& request,
                         const std::string& isotopeFile) {
  IsotopeTable table;
  if (!EnsureIsotopeTable(isotopeFile, table))
    return 0;
  Composition a, b, endGroups, cation;
  if (!Parse(request.FormulaA, u"formula A", table, a) || !Parse(request.FormulaB, u"formula B", table, b) ||
      !Parse(request.EndGroups, u"the end groups", table, endGroups) ||
      !Parse(request.Cation, u"the cation", table, cation))
    return 0;
  for (const Composition* used : {&a, &b, &endGroups, &cation})
    if (!ElementsUsable(*used, table))
      return 0;

  const int32_t n = request.N;
  if (n < 0 || n > MaxUnits) {
    WriteDiagnostic(u"Invalid number of units: " + FromNarrow(std::to_string(n)) + u"\n");
    return 0;
  }
  Composition ends = cation;
  AddComposition(ends, endGroups);
  // Counts are linear in i and j, so the four corners of the table bound every
  // molecule; checking them first keeps an overflow from leaving half a file.
  for (const int32_t i : {0, n})
    for (const int32_t j : {0, n})
      Molecule(ends, a, b, i, j);

  TPatternCalculator calculator(table, SpectrumLimit);
  // The ceiling always comes from the plain pattern of the heaviest molecule.
  const int32_t ceiling = MassCeiling(calculator.Calculate(Molecule(ends, a, b, n, n)));

  const std::string& fileName = request.FileName;
  TTableWriter writer(fileName);
  if (!writer.IsOpen()) {
    WriteDiagnostic(u"Could not create spectrum table file: " + FromNarrow(fileName) + u"\n");
    return 0;
  }
  std::string& out = writer.Buffer();
  AppendInt32(out, ceiling);
  AppendInt32(out, n);

  // The molecules cation + end groups + i A + j B, built by adding units as
  // the loops advance.
  std::vector<TRowEntry> previous, current;
  previous.reserve(std::size_t(n) + 1);
  current.reserve(std::size_t(n) + 1);
  Composition rowStart = ends;
  for (int32_t i = 0; i <= n; ++i) {
    current.clear();
    Composition working = rowStart;
    for (int32_t j = 0; j <= n; ++j) {
      Composition molecule = working;
      if (kind == TRecordKind::AbstractedPattern) {
        // One hydrogen atom less; without one there is no such molecule and
        // the pattern comes out empty.
        int32_t& hydrogen = molecule[AbstractedElement];
        hydrogen = hydrogen > std::numeric_limits<int32_t>::min() ? hydrogen - 1 : hydrogen;
      }
      std::erase_if(molecule, [](const auto& entry) { return entry.second == 0; });
      std::string record;
      if (const std::string* repeated = RepeatedRecord(molecule, current, previous)) {
        record = *repeated;
      } else {
        Pattern pattern = calculator.Calculate(molecule);
        if (kind == TRecordKind::HighestPeak)
          AppendHighestPeakRecord(record, pattern);
        else
          AppendPatternRecord(record, pattern);
      }
      out += record;
      current.push_back(TRowEntry{std::move(molecule), std::move(record)});
      writer.FlushIfFull();
      if (j < n)
        AddComposition(working, b);
    }
    std::swap(previous, current);
    if (i < n)
      AddComposition(rowStart, a);
  }
  if (!writer.Close()) {
    WriteDiagnostic(u"Could not write spectrum table file: " + FromNarrow(fileName) + u"\n");
    return 0;
  }
  return 1;
}

} // namespace Maldi
