#include "maldi/uIsotopeTable.h"

#include "maldi/uDiagnostics.h"

#include <dlfcn.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <istream>

namespace Maldi {

namespace {

// How many entries (powers of two of the atom count) each element's list is
// expected to grow to; reserving them spares reallocations later.
constexpr std::size_t ReservedPowers = 8;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

// Reads a C-locale floating-point number (optional sign, optional exponent)
// after optional white space, advancing `pos`. Infinite and NaN values are not
// numbers an isotope table can hold and count as unreadable.
bool ReadNumber(const std::string& line, std::size_t& pos, double& value) {
  while (pos < line.size() && IsBlank(line[pos]))
    ++pos;
  const char* first = line.data() + pos;
  const char* last = line.data() + line.size();
  if (first < last && *first == '+' && first + 1 < last && *(first + 1) != '-')
    ++first;
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
  if (error != std::errc() || !std::isfinite(value))
    return false;
  pos = std::size_t(end - line.data());
  return true;
}

std::u16string FirstWord(const std::string& line) {
  std::size_t pos = 0;
  while (pos < line.size() && IsBlank(line[pos]))
    ++pos;
  std::u16string word;
  while (pos < line.size() && !IsBlank(line[pos]))
    word += char16_t(static_cast<unsigned char>(line[pos++]));
  return word;
}

} // namespace

void IsotopeTable::Clear() {
  elements.clear();
  symbols.clear();
}

void ReadIsotopeTable(std::istream& input, IsotopeTable& table) {
  table.Clear();
  bool expectSymbol = true;
  std::string line;
  while (std::getline(input, line)) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (expectSymbol) {
      // A symbol met again names the newer block; the older one stays in
      // `elements` but cannot be reached from a formula any more.
      table.symbols[FirstWord(line)] = int32_t(table.elements.size());
      PowerList powers;
      powers.reserve(ReservedPowers);
      powers.emplace_back();
      table.elements.push_back(std::move(powers));
      expectSymbol = false;
      continue;
    }
    std::size_t pos = 0;
    double mass = 0.0;
    double abundance = 0.0;
    // An abundance is a fraction; anything else (or a mass that is not
    // positive) is a damaged line, and the sums of a pattern built from it
    // would overflow to infinities and NaN molar masses.
    if (!ReadNumber(line, pos, mass) || !ReadNumber(line, pos, abundance) || !(mass > 0.0) ||
        !(abundance >= 0.0 && abundance <= 1.0)) {
      expectSymbol = true;
      continue;
    }
    Pattern& isotopes = table.elements.back().front();
    if (!isotopes.empty()) {
      // Nominal masses without an isotope between two that have one are held
      // by placeholder peaks, so entry k stays k units above entry 0.
      const double gap = mass - isotopes.back().mass - 0.5;
      if (gap > MaxIsotopeGap) {
        expectSymbol = true;
        continue;
      }
      // A step down needs no placeholders (and a huge one must not reach the
      // conversion, which would overflow).
      const auto missing = gap > 0.0 ? static_cast<long>(std::trunc(gap)) : 0L;
      for (long k = 0; k < missing; ++k)
        isotopes.push_back(Peak{PlaceholderMass, 0.0});
    }
    isotopes.push_back(Peak{mass, abundance});
  }
}

bool LoadIsotopeTable(const std::string& path, IsotopeTable& table) {
  std::ifstream input(path, std::ios::in | std::ios::binary);
  if (!input.is_open())
    return false;
  ReadIsotopeTable(input, table);
  return true;
}

bool EnsureIsotopeTable(const std::string& path, IsotopeTable& table) {
  if (LoadIsotopeTable(path, table))
    return true;
  WriteDiagnostic(u"Could not open isotope file: \n");
  return false;
}

std::string ModuleFolder() {
  std::string modulePath;
  Dl_info info{};
  // Any address inside this module names the file it was loaded from, under
  // whatever name the host chose for it.
  if (dladdr(reinterpret_cast<void*>(&ModuleFolder), &info) != 0 && info.dli_fname != nullptr &&
      info.dli_fname[0] != '\0') {
    // A module loaded by a relative name keeps that name; resolve it while the
    // working folder is most likely still the one it was loaded from.
    if (char* resolved = ::realpath(info.dli_fname, nullptr)) {
      modulePath = resolved;
      std::free(resolved);
    }
  }
  if (modulePath.empty()) {
    std::string buffer(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length > 0 && std::size_t(length) < buffer.size())
      modulePath.assign(buffer.data(), std::size_t(length));
  }
  const std::size_t slash = modulePath.rfind('/');
  if (slash == std::string::npos)
    return {};
  return modulePath.substr(0, slash + 1);
}

std::string IsotopeFilePath() { return ModuleFolder() + "ISOTOPE.DAT"; }

} // namespace Maldi
