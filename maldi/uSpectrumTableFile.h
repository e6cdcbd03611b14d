#pragma once
// SpectrumTableFile: the binary tables of isotopic patterns that the library
// writes and the MALDI view reads. Little-endian, no padding, no signature.
//
//   offset 0  int32  mass ceiling: trunc(heaviest peak mass of the heaviest
//                    molecule) + 1, in u (0 when that molecule has no pattern)
//   offset 4  int32  n: largest number of units of each monomer
//   offset 8  (n + 1)^2 records, i = 0 ... n outer, j = 0 ... n inner; record
//             (i, j) belongs to cation + end groups + i A + j B.
//
// Pattern record (PrepareSpectrum, PrepareAbstractedSpectrum):
//   int32 count, then count x { double mass (u; -10000000 for a placeholder),
//   double intensity (abundance x 100 / largest abundance of the record) }.
//   count is 0 for a molecule without a pattern (negative atom count).
// Highest-peak record (PrepareHighestPeaks):
//   double mass of the first peak with the largest abundance (0.0 without one).
//
// The reading half is header-only and free of the library's other code, so
// the program can use it without linking anything of the library.

#include <bit>
#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <string>
#include <vector>

#include "maldi/uIsotopeTable.h"

namespace Maldi {

inline constexpr std::size_t TableHeaderSize = 8;
inline constexpr std::size_t PeakRecordSize = 16;        // mass + intensity
inline constexpr std::size_t RecordCountSize = 4;        // int32 count
inline constexpr std::size_t HighestPeakRecordSize = 8;  // one double

// ---- writing (library side) -------------------------------------------------

void AppendInt32(std::string& out, int32_t value);
void AppendDouble(std::string& out, double value);

// Appends the pattern record of `pattern`, scaling its abundances in place to
// intensities (largest = 100). A pattern without a positive abundance is
// written as count 0.
void AppendPatternRecord(std::string& out, Pattern& pattern);
// Appends the mass of the first most abundant peak (0.0 when there is none).
void AppendHighestPeakRecord(std::string& out, const Pattern& pattern);

// The same records written to a binary stream.
void WritePatternRecord(std::ostream& stream, Pattern& pattern);
void WriteHighestPeakRecord(std::ostream& stream, const Pattern& pattern);

// ---- reading (program side) --------------------------------------------------

struct TTablePeak {
  double Mass = 0.0;
  double Intensity = 0.0; // percent of the record's most abundant peak
};

struct TSpectrumTable {
  int32_t MassCeiling = 0;
  int32_t N = 0;
  // (N + 1)^2 records in file order; Record(i, j) picks one.
  std::vector<std::vector<TTablePeak>> Records;
  const std::vector<TTablePeak>& Record(int32_t i, int32_t j) const {
    return Records[std::size_t(i) * std::size_t(N + 1) + std::size_t(j)];
  }
};

namespace TableDetail {

inline bool TakeBytes(const std::string& bytes, std::size_t& pos, void* out, std::size_t size) {
  if (bytes.size() - pos < size)
    return false;
  std::memcpy(out, bytes.data() + pos, size);
  pos += size;
  return true;
}

inline bool TakeInt32(const std::string& bytes, std::size_t& pos, int32_t& value) {
  unsigned char raw[4];
  if (!TakeBytes(bytes, pos, raw, 4))
    return false;
  value = int32_t(uint32_t(raw[0]) | uint32_t(raw[1]) << 8 | uint32_t(raw[2]) << 16 |
                  uint32_t(raw[3]) << 24);
  return true;
}

inline bool TakeDouble(const std::string& bytes, std::size_t& pos, double& value) {
  unsigned char raw[8];
  if (!TakeBytes(bytes, pos, raw, 8))
    return false;
  uint64_t bits = 0;
  for (int k = 7; k >= 0; --k)
    bits = bits << 8 | raw[k];
  value = std::bit_cast<double>(bits);
  return true;
}

} // namespace TableDetail

// Decodes a pattern-record table held in `bytes`. Returns false with a reason
// in `error` for a negative n or a file that ends before its last record; a
// record with count <= 0 has no peaks. The reason names the record.
inline bool ReadPatternTable(const std::string& bytes, TSpectrumTable& table, std::string& error) {
  using namespace TableDetail;
  table = TSpectrumTable{};
  std::size_t pos = 0;
  if (!TakeInt32(bytes, pos, table.MassCeiling) || !TakeInt32(bytes, pos, table.N)) {
    error = "the file is shorter than its header";
    return false;
  }
  if (table.N < 0) {
    error = "the file gives a negative number of units";
    return false;
  }
  const uint64_t side = uint64_t(table.N) + 1;
  // Each record takes at least 4 bytes: a larger count means a damaged file,
  // and checking it first avoids reserving memory for records that are not there.
  if (side * side > (bytes.size() - pos) / RecordCountSize) {
    error = "the file ends before its last record";
    return false;
  }
  table.Records.resize(side * side);
  for (std::size_t r = 0; r < table.Records.size(); ++r) {
    int32_t count = 0;
    if (!TakeInt32(bytes, pos, count)) {
      error = "the file ends in record " + std::to_string(r);
      return false;
    }
    if (count <= 0)
      continue;
    if (uint64_t(count) > (bytes.size() - pos) / PeakRecordSize) {
      error = "the file ends in record " + std::to_string(r);
      return false;
    }
    auto& peaks = table.Records[r];
    peaks.resize(std::size_t(count));
    for (TTablePeak& peak : peaks) {
      TakeDouble(bytes, pos, peak.Mass);
      TakeDouble(bytes, pos, peak.Intensity);
    }
  }
  return true;
}

// Decodes a highest-peak table: one mass per molecule, in file order.
inline bool ReadHighestPeakTable(const std::string& bytes, int32_t& massCeiling, int32_t& n,
                                 std::vector<double>& masses, std::string& error) {
  using namespace TableDetail;
  masses.clear();
  std::size_t pos = 0;
  if (!TakeInt32(bytes, pos, massCeiling) || !TakeInt32(bytes, pos, n)) {
    error = "the file is shorter than its header";
    return false;
  }
  if (n < 0) {
    error = "the file gives a negative number of units";
    return false;
  }
  const uint64_t records = (uint64_t(n) + 1) * (uint64_t(n) + 1);
  if (records > (bytes.size() - pos) / HighestPeakRecordSize) {
    error = "the file ends before its last record";
    return false;
  }
  masses.resize(records);
  for (double& mass : masses)
    TakeDouble(bytes, pos, mass);
  return true;
}

} // namespace Maldi
