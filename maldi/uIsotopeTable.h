#pragma once
// The table of elements and their natural isotopes, read from ISOTOPE.DAT.
//
// File format (plain 8-bit text, lines ending in LF or CR LF, numbers in the C
// locale): blocks of one symbol line (first word = element symbol, rest
// ignored), then one line per isotope "mass abundance [anything]" in ascending
// mass, then one line that does not start with two numbers (normally blank),
// which ends the block. Block k becomes element index k; the second block is
// hydrogen. An isotope line needs a positive mass and an abundance from 0 to 1;
// a line with other numbers ends the block like any other text.

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace Maldi {

// Mass of a peak that stands for a nominal mass with no isotope on it.
inline constexpr double PlaceholderMass = -10000000.0;

// Gaps wider than this many nominal units between two isotopes of one
// element are taken as a malformed line (they would only fill memory with
// placeholders; the widest real gap is a few units).
inline constexpr double MaxIsotopeGap = 1000.0;

struct Peak {
  double mass = 0.0;      // u; exact isotope mass or abundance-weighted mean
  double abundance = 0.0; // fraction, as read or as computed
};

// Entry k lies k nominal mass units above entry 0.
using Pattern = std::vector<Peak>;

// Entry k, where present, is the pattern of 2^k atoms of one element.
using PowerList = std::vector<Pattern>;

// Bounds of a sane table: the widest natural element spans 13 nominal
// masses, the whole shipped table is about 30 kB. A table beyond them
// (thousands of isotopes 1000 u apart) is refused instead of taking minutes
// and gigabytes per call.
inline constexpr std::size_t MaxPatternEntries = 64;
inline constexpr std::size_t MaxTableBytes = 1 << 20;
inline constexpr std::size_t MaxElements = 1000;

struct IsotopeTable {
  std::vector<PowerList> elements;            // by element index (block order)
  std::map<std::u16string, int32_t> symbols;  // symbol -> element index
  // The first damaged line met while reading ("line 7: ..."), empty for a
  // sound file: a line that starts with a number but is no isotope line
  // (a negative or NaN number, an abundance above 1, a single number), or
  // an element beyond the bounds above. The lines are still read as the
  // format says; the library refuses to work with such a table.
  std::string damage;
  void Clear();
};

// Reads blocks from `input` into `table` (cleared first). Never fails: text that
// is not a table ends a block, as described at the top of this file.
void ReadIsotopeTable(std::istream& input, IsotopeTable& table);

// Opens `path` and reads it into `table`. When the file cannot be opened the
// table keeps its contents and the result is false. A file larger than
// MaxTableBytes is not read: the table is left empty with its damage set.
bool LoadIsotopeTable(const std::string& path, IsotopeTable& table);

// Why `element` cannot give patterns: no isotopes, or abundances that do not
// add up to 1 (within 1 %: all 0, a part missing). Empty when it can.
std::string ElementProblem(const IsotopeTable& table, uint32_t element);

// Why the table as a whole cannot be used: its damage, no usable carbon, or
// no usable hydrogen as the second block (the abstracted spectra remove
// element 1). Empty when it can.
std::string TableProblem(const IsotopeTable& table);

// LoadIsotopeTable that reports a failure on the wide error stream with
// "Could not open isotope file: " and a line end, and refuses (false, with
// "ISOTOPE.DAT cannot be used: " and the TableProblem) a table that cannot
// give carbon and hydrogen or was damaged.
bool EnsureIsotopeTable(const std::string& path, IsotopeTable& table);

// The symbol of an element for messages ("C", or "#5" for an index without one).
std::string ElementName(const IsotopeTable& table, uint32_t element);

// Full path of ISOTOPE.DAT beside the module holding this code (the shared
// library, found through the dynamic loader); beside the running program when
// the loader cannot tell.
std::string IsotopeFilePath();

// Folder (with trailing '/') of the module that holds this code, or of the
// program as a fallback; empty when neither can be found.
std::string ModuleFolder();

} // namespace Maldi
