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

struct IsotopeTable {
  std::vector<PowerList> elements;            // by element index (block order)
  std::map<std::u16string, int32_t> symbols;  // symbol -> element index
  void Clear();
};

// Reads blocks from `input` into `table` (cleared first). Never fails: text that
// is not a table ends a block, as described at the top of this file.
void ReadIsotopeTable(std::istream& input, IsotopeTable& table);

// Opens `path` and reads it into `table`. When the file cannot be opened the
// table keeps its contents and the result is false.
bool LoadIsotopeTable(const std::string& path, IsotopeTable& table);

// LoadIsotopeTable that reports a failure on the wide error stream with
// "Could not open isotope file: " and a line end.
bool EnsureIsotopeTable(const std::string& path, IsotopeTable& table);

// Full path of ISOTOPE.DAT beside the module holding this code (the shared
// library, found through the dynamic loader); beside the running program when
// the loader cannot tell.
std::string IsotopeFilePath();

// Folder (with trailing '/') of the module that holds this code, or of the
// program as a fallback; empty when neither can be found.
std::string ModuleFolder();

} // namespace Maldi
