#include "maldi/uIsotopePattern.h"

#include <algorithm>

namespace Maldi {

namespace {

// Hot loops are built twice, for AVX2 and for the x86-64 baseline, and the
// loader picks the one the processor runs. Both execute the same IEEE
// multiplications, additions and divisions lane by lane, so they produce
// the same bits; only the number of lanes differs.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define MALDI_HOT_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define MALDI_HOT_LOOP
#endif

// sumW[k] and sumM[k] (k < lg + lf - 1, zeroed by the caller) receive, for
// i = 0 ... lg - 1 in this order, w = g[i] x f[k - i] and w x (f mass + g mass).
// Running i outside and k inside adds to every k in increasing i, which is the
// textbook order of the sum, and leaves the inner loop free of a carried
// dependency so that the compiler can vectorize it across k. Terms outside
// a peak's range are never added, so no zero term changes a sign or a bit.
MALDI_HOT_LOOP
void ConvoluteSums(const double* __restrict gMass, const double* __restrict gAbundance, std::size_t lg,
                   const double* __restrict fMass, const double* __restrict fAbundance, std::size_t lf,
                   double* __restrict sumW, double* __restrict sumM) {
  for (std::size_t i = 0; i < lg; ++i) {
    const double a = gAbundance[i];
    const double m = gMass[i];
    double* __restrict w = sumW + i;
    double* __restrict s = sumM + i;
    for (std::size_t j = 0; j < lf; ++j) {
      const double product = a * fAbundance[j];
      w[j] += product;
      s[j] += product * (fMass[j] + m);
    }
  }
}

// mass[k] = sumM[k] / sumW[k], or PlaceholderMass where nothing was summed.
MALDI_HOT_LOOP
void MeanMasses(const double* __restrict sumM, const double* __restrict sumW, std::size_t size,
                double* __restrict mass) {
  for (std::size_t k = 0; k < size; ++k) {
    const double mean = sumM[k] / sumW[k];
    mass[k] = sumW[k] != 0.0 ? mean : PlaceholderMass;
  }
}

// Range [first, last) left after pruning the sums at `limit`. The tests are
// written as "not at or below the limit" so that a NaN abundance is kept, as
// the peak-by-peak removal keeps it.
std::pair<std::size_t, std::size_t> KeptRange(const std::vector<double>& sumW, std::size_t size,
                                              double limit) {
  std::size_t first = 0;
  while (first < size && sumW[first] <= limit)
    ++first;
  std::size_t last = size;
  while (last > first && sumW[last - 1] <= limit)
    --last;
  return {first, last};
}

double MeanMass(double sumM, double sumW) { return sumW != 0.0 ? sumM / sumW : PlaceholderMass; }

} // namespace

Pattern Convolute(const Pattern& g, const Pattern& f) {
  if (g.empty() || f.empty())
    return {};
  const std::size_t size = g.size() + f.size() - 1;
  std::vector<double> gMass(g.size()), gAbundance(g.size()), fMass(f.size()), fAbundance(f.size());
  for (std::size_t i = 0; i < g.size(); ++i) {
    gMass[i] = g[i].mass;
    gAbundance[i] = g[i].abundance;
  }
  for (std::size_t j = 0; j < f.size(); ++j) {
    fMass[j] = f[j].mass;
    fAbundance[j] = f[j].abundance;
  }
  std::vector<double> sumW(size, 0.0), sumM(size, 0.0);
  ConvoluteSums(gMass.data(), gAbundance.data(), g.size(), fMass.data(), fAbundance.data(), f.size(),
                sumW.data(), sumM.data());
  Pattern result(size);
  for (std::size_t k = 0; k < size; ++k)
    result[k] = Peak{MeanMass(sumM[k], sumW[k]), sumW[k]};
  return result;
}

void Prune(Pattern& pattern, double limit) {
  std::size_t first = 0;
  while (first < pattern.size() && pattern[first].abundance <= limit)
    ++first;
  pattern.erase(pattern.begin(), pattern.begin() + std::ptrdiff_t(first));
  while (!pattern.empty() && pattern.back().abundance <= limit)
    pattern.pop_back();
}

double MolarMass(const Pattern& pattern) {
  double sum = 0.0;
  for (const Peak& peak : pattern)
    sum += peak.mass * peak.abundance;
  return sum;
}

bool HasPattern(const Composition& composition, const IsotopeTable& table) {
  for (const auto& [element, count] : composition) {
    // A negative count (H-1, or a hydrogen removed from a molecule without
    // one) describes no molecule; read as an unsigned number it would give a
    // meaningless pattern of billions of atoms.
    if (count < 0)
      return false;
    if (count > 0 && element >= table.elements.size())
      return false;
  }
  return true;
}

TPatternCalculator::TPatternCalculator(const IsotopeTable& table, double limit)
    : FTable(table), FLimit(limit), FPowers(table.elements.size()) {}

const TPatternCalculator::TArrays& TPatternCalculator::Power(uint32_t element, std::size_t k) {
  std::vector<TArrays>& powers = FPowers[element];
  if (powers.empty()) {
    // Entry 0, the isotopes of one atom as read, is not pruned.
    const Pattern& isotopes = FTable.elements[element].front();
    TArrays one;
    for (const Peak& peak : isotopes) {
      one.Mass.push_back(peak.mass);
      one.Abundance.push_back(peak.abundance);
    }
    powers.push_back(std::move(one));
  }
  while (powers.size() <= k) {
    TArrays next;
    ConvolutePruned(powers.back(), powers.back(), next);
    powers.push_back(std::move(next));
  }
  return powers[k];
}

void TPatternCalculator::ConvolutePruned(const TArrays& g, const TArrays& f, TArrays& out) {
  out.Mass.clear();
  out.Abundance.clear();
  if (g.Size() == 0 || f.Size() == 0)
    return;
  const std::size_t size = g.Size() + f.Size() - 1;
  FSumW.assign(size, 0.0);
  FSumM.assign(size, 0.0);
  ConvoluteSums(g.Mass.data(), g.Abundance.data(), g.Size(), f.Mass.data(), f.Abundance.data(),
                f.Size(), FSumW.data(), FSumM.data());
  const auto [first, last] = KeptRange(FSumW, size, FLimit);
  out.Abundance.assign(FSumW.begin() + std::ptrdiff_t(first), FSumW.begin() + std::ptrdiff_t(last));
  out.Mass.resize(last - first);
  MeanMasses(FSumM.data() + first, FSumW.data() + first, last - first, out.Mass.data());
}

Pattern TPatternCalculator::Calculate(const Composition& composition) {
  if (!HasPattern(composition, FTable))
    return {};
  FResult.Mass.assign(1, 0.0);
  FResult.Abundance.assign(1, 1.0);
  for (const auto& [element, count] : composition) {
    // Counts are positive here; the set bits of the count pick the patterns
    // of 2^k atoms to multiply in, lowest power first.
    auto remaining = uint32_t(count);
    for (std::size_t k = 0; remaining != 0; ++k, remaining >>= 1) {
      if ((remaining & 1U) == 0)
        continue;
      ConvolutePruned(FResult, Power(element, k), FNext);
      std::swap(FResult, FNext);
    }
  }
  Pattern result(FResult.Size());
  for (std::size_t k = 0; k < result.size(); ++k)
    result[k] = Peak{FResult.Mass[k], FResult.Abundance[k]};
  return result;
}

Pattern TPatternCalculator::CalculateAbstracted(const Composition& composition) {
  // Without an atom of the element to remove there is no such molecule.
  const auto found = composition.find(AbstractedElement);
  if (found == composition.end() || found->second <= 0)
    return {};
  Composition reduced = composition;
  --reduced[AbstractedElement];
  return Calculate(reduced);
}

Pattern CalculatePattern(const Composition& composition, const IsotopeTable& table, double limit) {
  return TPatternCalculator(table, limit).Calculate(composition);
}

Pattern CalculateAbstractedPattern(Composition& composition, const IsotopeTable& table, double limit) {
  // The entry is created (at 0) as the callers of this form expect; the
  // calculation itself runs on a copy, so an exception cannot leave the
  // composition changed.
  composition.try_emplace(AbstractedElement, 0);
  return TPatternCalculator(table, limit).CalculateAbstracted(composition);
}

double CompositionMolarMass(const Composition& composition, const IsotopeTable& table) {
  if (!HasPattern(composition, table))
    return 0.0;
  int64_t atoms = 0;
  for (const auto& [element, count] : composition)
    atoms += count;
  if (atoms <= LargeMoleculeAtoms)
    return MolarMass(CalculatePattern(composition, table, MolarMassLimit));
  double mass = 0.0;
  for (const auto& [element, count] : composition) {
    if (count == 0)
      continue;
    double weighted = 0.0, total = 0.0;
    for (const Peak& isotope : table.elements[element].front()) {
      weighted += isotope.mass * isotope.abundance;
      total += isotope.abundance;
    }
    if (!(total > 0.0))
      return 0.0; // an element without abundance has no pattern either
    mass += double(count) * (weighted / total);
  }
  return mass;
}

} // namespace Maldi
