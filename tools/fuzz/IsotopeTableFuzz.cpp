// The isotope-table reader on arbitrary text, then what the library does with
// a table it has read: parse a few formulas against it and compute their
// patterns (the table's powers are built from whatever was read).

#include "maldi/uFormulaParser.h"
#include "maldi/uIsotopePattern.h"
#include "maldi/uIsotopeTable.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 65536)
    return -1;
  std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
  Maldi::IsotopeTable table;
  Maldi::ReadIsotopeTable(input, table);
  for (const auto& [symbol, index] : table.symbols)
    if (index < 0 || std::size_t(index) >= table.elements.size())
      std::abort();
  // The reader's bounds hold whatever the text: no element spans more than
  // MaxPatternEntries nominal masses, and a table the library would use has
  // only fractions as abundances and sound carbon and hydrogen.
  if (table.elements.size() > Maldi::MaxElements)
    std::abort();
  const bool usable = Maldi::TableProblem(table).empty();
  for (const Maldi::PowerList& element : table.elements) {
    if (element.front().size() > Maldi::MaxPatternEntries)
      std::abort();
    for (const Maldi::Peak& peak : element.front())
      if (usable && !(peak.abundance >= 0.0 && peak.abundance <= 1.0))
        std::abort();
  }
  if (usable && (table.symbols.count(u"C") != 1 || table.symbols.at(u"H") != 1))
    std::abort();
  // A formula of the symbols that were read, and the usual monomer.
  std::u16string own;
  for (const auto& [symbol, index] : table.symbols) {
    if (own.size() > 64)
      break;
    own += u"[" + symbol + u"]3";
  }
  for (const std::u16string& formula : {own, std::u16string(u"C8H8"), std::u16string(u"(CH2)40H-1")}) {
    Maldi::Composition composition;
    try {
      Parser::ParseFormula(formula, table.symbols, composition);
    } catch (const Parser::Error&) {
      continue;
    } catch (const std::overflow_error&) {
      continue;
    }
    Maldi::TPatternCalculator calculator(table, Maldi::SpectrumLimit);
    const Maldi::Pattern pattern = calculator.Calculate(composition);
    const double mass = Maldi::MolarMass(pattern);
    if (std::isnan(mass))
      std::abort();
    (void)calculator.CalculateAbstracted(composition);
    if (std::isnan(Maldi::CompositionMolarMass(composition, table)))
      std::abort();
  }
  return 0;
}
