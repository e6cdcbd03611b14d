#pragma once
// Isotopic patterns: the probability of each nominal mass of a molecule with
// the abundance-weighted mean exact mass of the molecules that have it.
//
// Method: the pattern of n atoms of one element is built from the patterns of
// 2^k atoms (each the self-convolution of the one before), one factor per set
// bit of n; molecules multiply the patterns of their elements in ascending
// element index. After every convolution, peaks at or below an absolute
// abundance limit are pruned from both ends. Every step is a fixed sequence
// of double operations, so a pattern is reproducible to the last bit.

#include "maldi/uFormulaParser.h"
#include "maldi/uIsotopeTable.h"

#include <cstddef>
#include <vector>

namespace Maldi {

// The element of which abstracted patterns lose one atom: the second block of
// ISOTOPE.DAT, hydrogen.
inline constexpr uint32_t AbstractedElement = 1;

// Pruning limits of the library's operations.
inline constexpr double MolarMassLimit = 1e-9;
inline constexpr double SpectrumLimit = 1e-8;

// Peak k of the result sums g[i] x f[k - i] over i in increasing order; its
// mass is the abundance-weighted mean of the summed masses, PlaceholderMass
// where the summed abundance is 0. Empty when g or f is empty.
Pattern Convolute(const Pattern& g, const Pattern& f);

// Drops peaks with abundance <= limit from the front, then from the back.
// Inner peaks stay whatever their abundance (placeholders included).
void Prune(Pattern& pattern, double limit);

// Sum of mass x abundance over every peak: the average molar mass in g/mol
// when the abundances of each element of the table add up to 1.
double MolarMass(const Pattern& pattern);

// True when the composition describes a molecule: no negative count and no
// atoms of an element the table does not hold.
bool HasPattern(const Composition& composition, const IsotopeTable& table);

// Computes patterns of many compositions against one loaded table. The
// patterns of 2^k atoms of each element do not depend on the molecule, so they
// are computed once per element and kept for the calculator's lifetime; the
// products are then exactly those of the from-scratch algorithm. The table must
// outlive the calculator and stay unchanged.
class TPatternCalculator {
public:
  TPatternCalculator(const IsotopeTable& table, double limit);

  // The pattern of `composition`, pruned at the limit. Empty when the
  // composition has no pattern (see HasPattern) or every peak was pruned.
  // The empty composition gives the single peak (0.0, 1.0).
  Pattern Calculate(const Composition& composition);

  // The pattern of `composition` with one atom of AbstractedElement removed.
  Pattern CalculateAbstracted(const Composition& composition);

  double Limit() const { return FLimit; }

private:
  // Peaks as two parallel arrays, the form the convolution loop vectorizes.
  struct TArrays {
    std::vector<double> Mass;
    std::vector<double> Abundance;
    std::size_t Size() const { return Abundance.size(); }
  };

  const TArrays& Power(uint32_t element, std::size_t k);
  // out = Prune(Convolute(g, f)); out must not be g or f.
  void ConvolutePruned(const TArrays& g, const TArrays& f, TArrays& out);

  const IsotopeTable& FTable;
  double FLimit;
  std::vector<std::vector<TArrays>> FPowers; // [element][k], filled on demand
  TArrays FResult, FNext;
  std::vector<double> FSumW, FSumM;
};

// One-shot forms of the calculator.
Pattern CalculatePattern(const Composition& composition, const IsotopeTable& table, double limit);

// Molecules with more atoms than this get their molar mass from the average
// masses of their elements: the pattern of a huge molecule takes seconds per
// element (tenths of a second for 10^5 atoms of xenon), and its tails, pruned at MolarMassLimit in every convolution,
// take a growing share of the abundance with them (C1000000000 came out
// 2.6 % light).
inline constexpr int64_t LargeMoleculeAtoms = 10000;

// Average molar mass of `composition` (g/mol): MolarMass of its pattern pruned
// at MolarMassLimit, or for more than LargeMoleculeAtoms atoms the sum of
// count x abundance-weighted mean isotope mass. 0.0 when it has no pattern.
double CompositionMolarMass(const Composition& composition, const IsotopeTable& table);
// Removes one atom of AbstractedElement for the calculation; the composition
// is restored (an entry created for it stays, at its old count) before return.
Pattern CalculateAbstractedPattern(Composition& composition, const IsotopeTable& table, double limit);

} // namespace Maldi
