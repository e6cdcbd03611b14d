#pragma once
// The library's operations in C++ form, with the isotope table path passed in.
// The exported C functions (maldi/Maldi.h) call these with the ISOTOPE.DAT
// beside the library; tests call them with tables of their own.

#include <cstdint>
#include <string>

namespace Maldi {

// Largest n of a table: (n + 1)^2 records must stay countable in 32 bits
// (46341^2 is beyond), and even this many records fill tens of gigabytes.
inline constexpr int32_t MaxUnits = 46339;

enum class TRecordKind {
  Pattern,           // PrepareSpectrum
  AbstractedPattern, // PrepareAbstractedSpectrum: one hydrogen atom less
  HighestPeak        // PrepareHighestPeaks
};

struct TSpectrumRequest {
  int32_t N = 0;
  std::u16string FormulaA;
  std::u16string FormulaB;
  std::u16string EndGroups;
  std::u16string Cation;
  std::string FileName; // UTF-8 path
};

// Average molar mass of `formula` in g/mol; 0.0 when the table cannot be read
// or used (see EnsureIsotopeTable), the formula does not parse, one of its
// elements has no usable pattern, or it has no pattern. Messages go to the wide
// error stream.
double CalcMolMassWith(const std::u16string& formula, const std::string& isotopeFile);

// Writes the table file of `request`; 1 on success, 0 when no complete table
// was written (table unreadable, damaged or without carbon and hydrogen; a
// formula that does not parse or uses an element without a pattern: no file
// touched, the element or line named on the wide error stream; n negative or
// above MaxUnits; file not creatable or not writable). Throws
// std::overflow_error for atom counts beyond 32 bits, before touching the file.
int32_t PrepareTableWith(TRecordKind kind, const TSpectrumRequest& request,
                         const std::string& isotopeFile);

} // namespace Maldi
