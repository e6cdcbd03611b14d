// Formula parser and the molar mass of the parsed formula, exactly the steps
// of CalcMolMass, with the committed isotope table read once.
//
// Input bytes are UTF-8 text; bytes that are not UTF-8 are taken one by one as
// Latin-1 characters, so every byte string reaches the scanner.

#include "maldi/uFormulaParser.h"
#include "maldi/uIsotopePattern.h"
#include "maldi/uIsotopeTable.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

const Maldi::IsotopeTable& Table() {
  static const Maldi::IsotopeTable table = [] {
    Maldi::IsotopeTable t;
    if (!Maldi::LoadIsotopeTable(PROPAGON_ISOTOPE_FILE, t))
      std::abort();
    return t;
  }();
  return table;
}

std::u16string Decode(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  for (std::size_t k = 0; k < size;) {
    const std::uint8_t b = data[k];
    if (b >= 0xC2 && b <= 0xDF && k + 1 < size && (data[k + 1] & 0xC0) == 0x80) {
      text.push_back(char16_t((b & 0x1F) << 6 | (data[k + 1] & 0x3F)));
      k += 2;
    } else if (b >= 0xE0 && b <= 0xEF && k + 2 < size && (data[k + 1] & 0xC0) == 0x80 &&
               (data[k + 2] & 0xC0) == 0x80) {
      text.push_back(char16_t((b & 0x0F) << 12 | (data[k + 1] & 0x3F) << 6 | (data[k + 2] & 0x3F)));
      k += 3;
    } else {
      text.push_back(char16_t(b));
      ++k;
    }
  }
  return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096)
    return -1;
  const Maldi::IsotopeTable& table = Table();
  const std::u16string formula = Decode(data, size);
  Maldi::Composition composition;
  try {
    Parser::ParseFormula(formula, table.symbols, composition);
  } catch (const Parser::Error& error) {
    // Every message names the formula and places a caret under it.
    if (error.Message().find(u'^') == std::u16string::npos)
      std::abort();
    return 0;
  } catch (const std::overflow_error&) {
    return 0; // counts beyond 32 bits: documented refusal
  }
  for (const auto& [element, count] : composition)
    if (element >= table.elements.size() || count == 0)
      std::abort();
  const double mass = Maldi::CompositionMolarMass(composition, table);
  if (!std::isfinite(mass) || mass < 0.0)
    std::abort();
  return 0;
}
