// The program's reader of the library's binary spectrum tables: both record
// kinds on the same bytes, and every record the decoded table claims to have.

#include "maldi/uSpectrumTableFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  Maldi::TSpectrumTable table;
  std::string error;
  if (Maldi::ReadPatternTable(bytes, table, error)) {
    const std::size_t side = std::size_t(table.N) + 1;
    if (table.Records.size() != side * side)
      std::abort();
    double sum = 0.0;
    for (std::int32_t i = 0; i <= table.N; ++i)
      for (std::int32_t j = 0; j <= table.N; ++j)
        for (const Maldi::TTablePeak& peak : table.Record(i, j))
          sum += peak.Intensity;
    (void)sum;
  } else if (error.empty()) {
    std::abort();
  }
  std::int32_t ceiling = 0, n = 0;
  std::vector<double> masses;
  error.clear();
  if (Maldi::ReadHighestPeakTable(bytes, ceiling, n, masses, error)) {
    if (masses.size() != (std::size_t(n) + 1) * (std::size_t(n) + 1))
      std::abort();
  } else if (error.empty()) {
    std::abort();
  }
  return 0;
}
