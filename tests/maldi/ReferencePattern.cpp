#include "tests/maldi/ReferencePattern.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ReferenceMaldi {

using Maldi::Composition;
using Maldi::Pattern;
using Maldi::Peak;

Pattern Convolute(const Pattern& g, const Pattern& f) {
  if (g.empty() || f.empty())
    return {};
  const std::size_t size = g.size() + f.size() - 1;
  Pattern result(size);
  for (std::size_t k = 0; k < size; ++k) {
    double sumW = 0.0;
    double sumM = 0.0;
    const std::size_t from = k + 1 > f.size() ? k + 1 - f.size() : 0;
    const std::size_t to = std::min(k, g.size() - 1);
    for (std::size_t i = from; i <= to; ++i) {
      const double w = g[i].abundance * f[k - i].abundance;
      sumW += w;
      sumM += w * (f[k - i].mass + g[i].mass);
    }
    result[k].abundance = sumW;
    result[k].mass = sumW != 0.0 ? sumM / sumW : Maldi::PlaceholderMass;
  }
  return result;
}

void Prune(Pattern& pattern, double limit) {
  while (!pattern.empty() && pattern.front().abundance <= limit)
    pattern.erase(pattern.begin());
  while (!pattern.empty() && pattern.back().abundance <= limit)
    pattern.pop_back();
}

Pattern CalculatePattern(const Composition& composition, const Maldi::IsotopeTable& table,
                         double limit) {
  for (const auto& entry : composition)
    if (entry.second < 0)
      return {};
  Pattern result{Peak{0.0, 1.0}};
  for (const auto& [element, count] : composition) {
    Maldi::PowerList powers{table.elements[element].front()};
    auto n = uint32_t(count);
    if (n == 0)
      continue;
    for (std::size_t k = 0;; ++k) {
      if (powers.size() == k) {
        Pattern square = Convolute(powers[k - 1], powers[k - 1]);
        Prune(square, limit);
        powers.push_back(square);
      }
      if (n & 1U) {
        result = Convolute(result, powers[k]);
        Prune(result, limit);
      }
      n >>= 1;
      if (n == 0)
        break;
    }
  }
  return result;
}

namespace {

void PutInt32(std::string& out, int32_t value) {
  char raw[4];
  std::memcpy(raw, &value, 4); // the test machines are little-endian
  out.append(raw, 4);
}

void PutDouble(std::string& out, double value) {
  char raw[8];
  std::memcpy(raw, &value, 8);
  out.append(raw, 8);
}

Composition Sum(Composition sum, const Composition& addend, int scale) {
  for (const auto& [element, count] : addend)
    sum[element] += count * scale;
  return sum;
}

} // namespace

std::string TableFile(TRecords kind, int n, const Composition& a, const Composition& b,
                      const Composition& endGroups, const Composition& cation,
                      const Maldi::IsotopeTable& table) {
  constexpr double limit = 1e-8;
  std::string file;
  const Composition largest = Sum(Sum(Sum(cation, endGroups, 1), a, n), b, n);
  const Pattern heaviest = CalculatePattern(largest, table, limit);
  PutInt32(file, heaviest.empty() ? 0 : int32_t(std::trunc(heaviest.back().mass)) + 1);
  PutInt32(file, n);
  Composition accumulatedA;
  for (int i = 0; i <= n; ++i) {
    Composition working = Sum(Sum(cation, accumulatedA, 1), endGroups, 1);
    for (int j = 0; j <= n; ++j) {
      Composition molecule = working;
      if (kind == TRecords::AbstractedPattern)
        molecule[1] -= 1;
      Pattern pattern = CalculatePattern(molecule, table, limit);
      double largestAbundance = 0.0;
      std::size_t highest = 0;
      for (std::size_t k = 0; k < pattern.size(); ++k)
        if (pattern[k].abundance > largestAbundance) {
          largestAbundance = pattern[k].abundance;
          highest = k;
        }
      if (kind == TRecords::HighestPeak) {
        PutDouble(file, largestAbundance > 0.0 ? pattern[highest].mass : 0.0);
      } else if (largestAbundance <= 0.0) {
        PutInt32(file, 0);
      } else {
        const double factor = 100.0 / largestAbundance;
        PutInt32(file, int32_t(pattern.size()));
        for (Peak& peak : pattern) {
          peak.abundance = peak.abundance * factor;
          PutDouble(file, peak.mass);
          PutDouble(file, peak.abundance);
        }
      }
      working = Sum(working, b, 1);
    }
    accumulatedA = Sum(accumulatedA, a, 1);
  }
  return file;
}

} // namespace ReferenceMaldi
