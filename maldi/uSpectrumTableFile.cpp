#include "maldi/uSpectrumTableFile.h"

#include <ostream>
#include <type_traits>

namespace Maldi {

namespace {

// Index of the first peak with the largest abundance, taking a peak only when
// strictly larger than every one before (so the lightest of equal peaks wins);
// -1 when no abundance is above 0.
std::ptrdiff_t HighestPeak(const Pattern& pattern) {
  double largest = 0.0;
  std::ptrdiff_t index = -1;
  for (std::size_t k = 0; k < pattern.size(); ++k) {
    if (pattern[k].abundance > largest) {
      largest = pattern[k].abundance;
      index = std::ptrdiff_t(k);
    }
  }
  return index;
}

} // namespace

namespace {

// Little-endian bytes of `value` at `at`.
template <class T>
void PutLittleEndian(char* at, T value) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(at, &value, sizeof value);
  } else {
    using Bits = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
    const auto bits = std::bit_cast<Bits>(value);
    for (std::size_t k = 0; k < sizeof value; ++k)
      at[k] = char((bits >> (8 * k)) & 0xFF);
  }
}

} // namespace

void AppendInt32(std::string& out, int32_t value) {
  char raw[4];
  PutLittleEndian(raw, value);
  out.append(raw, 4);
}

void AppendDouble(std::string& out, double value) {
  char raw[8];
  PutLittleEndian(raw, value);
  out.append(raw, 8);
}

void AppendPatternRecord(std::string& out, Pattern& pattern) {
  const std::ptrdiff_t highest = HighestPeak(pattern);
  if (highest < 0) {
    // Nothing to scale to 100: no molecule, or a table element without any
    // positive abundance. The reader takes count 0 as a record without peaks.
    AppendInt32(out, 0);
    return;
  }
  const double factor = 100.0 / pattern[std::size_t(highest)].abundance;
  const std::size_t start = out.size();
  out.resize(start + RecordCountSize + PeakRecordSize * pattern.size());
  char* at = out.data() + start;
  PutLittleEndian(at, int32_t(pattern.size()));
  at += RecordCountSize;
  for (Peak& peak : pattern) {
    peak.abundance *= factor;
    PutLittleEndian(at, peak.mass);
    PutLittleEndian(at + 8, peak.abundance);
    at += PeakRecordSize;
  }
}

void AppendHighestPeakRecord(std::string& out, const Pattern& pattern) {
  const std::ptrdiff_t highest = HighestPeak(pattern);
  AppendDouble(out, highest < 0 ? 0.0 : pattern[std::size_t(highest)].mass);
}

void WritePatternRecord(std::ostream& stream, Pattern& pattern) {
  std::string bytes;
  AppendPatternRecord(bytes, pattern);
  stream.write(bytes.data(), std::streamsize(bytes.size()));
}

void WriteHighestPeakRecord(std::ostream& stream, const Pattern& pattern) {
  std::string bytes;
  AppendHighestPeakRecord(bytes, pattern);
  stream.write(bytes.data(), std::streamsize(bytes.size()));
}

} // namespace Maldi
