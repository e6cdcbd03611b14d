#pragma once
// The straightforward pattern algorithm, written out step by step as the
// textbook describes it: for every element a private list of powers that is
// built anew, peak sums taken k by k with i increasing, pruning after every
// convolution. The library computes the same numbers faster; tests and the
// benchmark compare it against this, byte for byte.

#include "maldi/uFormulaParser.h"
#include "maldi/uIsotopeTable.h"

#include <string>

namespace ReferenceMaldi {

Maldi::Pattern Convolute(const Maldi::Pattern& g, const Maldi::Pattern& f);
void Prune(Maldi::Pattern& pattern, double limit);
// Negative counts give the empty pattern (no molecule).
Maldi::Pattern CalculatePattern(const Maldi::Composition& composition,
                                const Maldi::IsotopeTable& table, double limit);

enum class TRecords { Pattern, AbstractedPattern, HighestPeak };

// The whole table file as bytes, molecule by molecule from scratch, records
// encoded field by field.
std::string TableFile(TRecords kind, int n, const Maldi::Composition& a, const Maldi::Composition& b,
                      const Maldi::Composition& endGroups, const Maldi::Composition& cation,
                      const Maldi::IsotopeTable& table);

} // namespace ReferenceMaldi
