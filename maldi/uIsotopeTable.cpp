#include "maldi/uIsotopeTable.h"

#include "maldi/uDiagnostics.h"

#include <dlfcn.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
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
  damage.clear();
}

namespace {

// True when the line starts like a number (an isotope line was meant), even
// one that ReadNumber refuses (NaN, infinite).
bool StartsWithNumber(const std::string& line) {
  std::size_t pos = 0;
  while (pos < line.size() && IsBlank(line[pos]))
    ++pos;
  if (pos < line.size() && (line[pos] == '+' || line[pos] == '-'))
    ++pos;
  if (pos < line.size() && line[pos] == '.')
    ++pos;
  if (pos >= line.size())
    return false;
  const char c = line[pos];
  if (c >= '0' && c <= '9')
    return true;
  const std::string rest = line.substr(pos, 3);
  return rest == "nan" || rest == "NaN" || rest == "NAN" || rest == "inf" || rest == "Inf" || rest == "INF";
}

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (const char16_t c : text)
    out += c < 0x80 ? char(c) : '?';
  return out;
}

} // namespace

void ReadIsotopeTable(std::istream& input, IsotopeTable& table) {
  table.Clear();
  bool expectSymbol = true;
  std::string line;
  std::size_t lineNumber = 0;
  std::u16string symbol;
  const auto damaged = [&](const std::string& what) {
    if (table.damage.empty())
      table.damage = "line " + std::to_string(lineNumber) + ": " + what;
  };
  while (std::getline(input, line)) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (expectSymbol) {
      if (table.elements.size() >= MaxElements) {
        damaged("more than " + std::to_string(MaxElements) + " elements");
        break;
      }
      // A symbol met again names the newer block; the older one stays in
      // `elements` but cannot be reached from a formula any more.
      symbol = FirstWord(line);
      table.symbols[symbol] = int32_t(table.elements.size());
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
      if (StartsWithNumber(line))
        damaged("\"" + line.substr(0, 60) + "\" of element " + Narrow(symbol) +
                " is not an isotope line (a mass above 0 and an abundance from 0 to 1)");
      expectSymbol = true;
      continue;
    }
    Pattern& isotopes = table.elements.back().front();
    if (!isotopes.empty()) {
      // Nominal masses without an isotope between two that have one are held
      // by placeholder peaks, so entry k stays k units above entry 0.
      const double gap = mass - isotopes.back().mass - 0.5;
      if (gap > MaxIsotopeGap) {
        damaged("element " + Narrow(symbol) + " has isotopes more than " + std::to_string(int(MaxIsotopeGap)) +
                " u apart");
        expectSymbol = true;
        continue;
      }
      // A step down needs no placeholders (and a huge one must not reach the
      // conversion, which would overflow).
      const auto missing = gap > 0.0 ? static_cast<std::size_t>(std::trunc(gap)) : std::size_t(0);
      if (isotopes.size() + missing + 1 > MaxPatternEntries) {
        damaged("element " + Narrow(symbol) + " spans more than " + std::to_string(MaxPatternEntries) +
                " nominal masses");
        expectSymbol = true;
        continue;
      }
      isotopes.insert(isotopes.end(), missing, Peak{PlaceholderMass, 0.0});
    }
    isotopes.push_back(Peak{mass, abundance});
  }
}

bool LoadIsotopeTable(const std::string& path, IsotopeTable& table) {
  std::ifstream input(path, std::ios::in | std::ios::binary);
  if (!input.is_open())
    return false;
  input.seekg(0, std::ios::end);
  const std::streamoff size = input.tellg();
  input.seekg(0, std::ios::beg);
  if (size > std::streamoff(MaxTableBytes)) {
    table.Clear();
    table.damage = "the file holds " + std::to_string(size) + " bytes, more than an isotope table needs (" +
                   std::to_string(MaxTableBytes) + ")";
    return true;
  }
  ReadIsotopeTable(input, table);
  return true;
}

std::string ElementName(const IsotopeTable& table, uint32_t element) {
  for (const auto& [symbol, index] : table.symbols)
    if (index >= 0 && uint32_t(index) == element)
      return Narrow(symbol);
  return "#" + std::to_string(element);
}

std::string ElementProblem(const IsotopeTable& table, uint32_t element) {
  if (element >= table.elements.size() || table.elements[element].empty() ||
      table.elements[element].front().empty())
    return "element " + ElementName(table, element) + " has no isotopes";
  double sum = 0.0;
  for (const Peak& peak : table.elements[element].front())
    sum += peak.abundance;
  if (!(sum >= 0.99 && sum <= 1.01)) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", sum);
    return "the abundances of element " + ElementName(table, element) + " add up to " + text + ", not 1";
  }
  return {};
}

std::string TableProblem(const IsotopeTable& table) {
  if (!table.damage.empty())
    return table.damage;
  const auto carbon = table.symbols.find(u"C");
  if (carbon == table.symbols.end())
    return "it has no carbon (C)";
  if (std::string problem = ElementProblem(table, uint32_t(carbon->second)); !problem.empty())
    return problem;
  const auto hydrogen = table.symbols.find(u"H");
  if (hydrogen == table.symbols.end())
    return "it has no hydrogen (H)";
  if (hydrogen->second != 1)
    return "hydrogen (H) is block " + std::to_string(hydrogen->second + 1) + ", not the second block";
  return ElementProblem(table, 1);
}

bool EnsureIsotopeTable(const std::string& path, IsotopeTable& table) {
  if (!LoadIsotopeTable(path, table)) {
    WriteDiagnostic(u"Could not open isotope file: \n");
    return false;
  }
  if (const std::string problem = TableProblem(table); !problem.empty()) {
    WriteDiagnostic(u"ISOTOPE.DAT cannot be used: " + FromNarrow(problem) + u"\n");
    return false;
  }
  return true;
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
