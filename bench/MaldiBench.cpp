// Spectrum tables of the Maldi library: the library's table operation against
// the from-scratch algorithm (every record's powers rebuilt), reported as the
// mean time per record (us_per_record). The program's settings dialog
// budgets 0.5 ms per isotopic pattern.
//
// Molecules: polystyrene-like units C8H8, end groups C4H9 + H, cation Na,
// n = 40, so (n + 1)^2 = 1681 records per table.

#include "maldi/uIsotopeTable.h"
#include "maldi/uMaldiOperations.h"

#include "tests/maldi/ReferencePattern.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace {

constexpr int32_t UnitsN = 40;
constexpr double RecordsPerTable = double(UnitsN + 1) * double(UnitsN + 1);

const Maldi::IsotopeTable& Table() {
  static const Maldi::IsotopeTable table = [] {
    Maldi::IsotopeTable loaded;
    Maldi::LoadIsotopeTable(MALDI_ISOTOPE_FILE, loaded);
    return loaded;
  }();
  return table;
}

Maldi::Composition Formula(const std::u16string& formula) {
  Maldi::Composition composition;
  Parser::ParseFormula(formula, Table().symbols, composition);
  return composition;
}

std::string TableFilePath() {
  return (std::filesystem::temp_directory_path() / ("maldi-bench-" + std::to_string(::getpid()) + ".tmp")).string();
}

void ReportPerRecord(benchmark::State& state) {
  state.counters["us_per_record"] = benchmark::Counter(
      RecordsPerTable * 1e-6, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The library's operation, file included, for a given formula B.
void LibraryTable(benchmark::State& state, Maldi::TRecordKind kind, const std::u16string& formulaB) {
  Maldi::TSpectrumRequest request;
  request.N = UnitsN;
  request.FormulaA = u"C8H8";
  request.FormulaB = formulaB;
  request.EndGroups = u"C4H9H";
  request.Cation = u"Na";
  request.FileName = TableFilePath();
  for (auto _ : state)
    benchmark::DoNotOptimize(Maldi::PrepareTableWith(kind, request, MALDI_ISOTOPE_FILE));
  std::remove(request.FileName.c_str());
  ReportPerRecord(state);
}

// The from-scratch algorithm, bytes built in memory (no file).
void ReferenceTable(benchmark::State& state, const std::u16string& formulaB) {
  const Maldi::Composition a = Formula(u"C8H8");
  const Maldi::Composition b = Formula(formulaB);
  const Maldi::Composition ends = Formula(u"C4H9H");
  const Maldi::Composition cation = Formula(u"Na");
  for (auto _ : state)
    benchmark::DoNotOptimize(
        ReferenceMaldi::TableFile(ReferenceMaldi::TRecords::Pattern, UnitsN, a, b, ends, cation, Table()));
  ReportPerRecord(state);
}

// Styrene-co-methyl methacrylate: every record a different molecule, so no
// record is reused and this is the cost of computing patterns.
void BM_Library_Copolymer(benchmark::State& state) { LibraryTable(state, Maldi::TRecordKind::Pattern, u"C5H8O2"); }
void BM_Reference_Copolymer(benchmark::State& state) { ReferenceTable(state, u"C5H8O2"); }
// Homopolymer, formula B empty: each row repeats one molecule.
void BM_Library_Homopolymer(benchmark::State& state) { LibraryTable(state, Maldi::TRecordKind::Pattern, u""); }
void BM_Reference_Homopolymer(benchmark::State& state) { ReferenceTable(state, u""); }
// Both monomers C8H8: record (i, j) is the molecule of record (i + 1, j - 1).
void BM_Library_SameUnits(benchmark::State& state) { LibraryTable(state, Maldi::TRecordKind::Pattern, u"C8H8"); }
void BM_Library_AbstractedCopolymer(benchmark::State& state) {
  LibraryTable(state, Maldi::TRecordKind::AbstractedPattern, u"C5H8O2");
}

BENCHMARK(BM_Library_Copolymer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_Copolymer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Library_Homopolymer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_Homopolymer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Library_SameUnits)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Library_AbstractedCopolymer)->Unit(benchmark::kMillisecond);

} // namespace
