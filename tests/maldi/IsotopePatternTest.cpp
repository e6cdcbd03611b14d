// Convolution, pruning and whole patterns: closed-form binomial patterns,
// placeholders, molar masses against IUPAC standard atomic weights, and the
// fast calculator against the textbook algorithm bit for bit.

#include "maldi/uIsotopePattern.h"
#include "maldi/uSpectrumTableFile.h"

#include "tests/maldi/MaldiTestSupport.h"
#include "tests/maldi/ReferencePattern.h"

#include <cmath>
#include <cstring>
#include <random>

namespace {

using Maldi::Composition;
using Maldi::Pattern;
using Maldi::Peak;
using Maldi::PlaceholderMass;

const Maldi::IsotopeTable& Table() { return MaldiTest::BuiltTable(); }

Composition Formula(const std::u16string& formula) {
  Composition composition;
  Parser::ParseFormula(formula, Table().symbols, composition);
  return composition;
}

const Pattern& Isotopes(const std::u16string& symbol) {
  return Table().elements[std::size_t(Table().symbols.at(symbol))].front();
}

bool SameBits(const Pattern& a, const Pattern& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Peak)) == 0);
}

TEST(Convolute, SumsProductsPerNominalMassWithMeanMasses) {
  // Two two-peak patterns: k = 1 collects 0.5 x 0.2 (mass 1 + 11) and
  // 0.5 x 0.8 (mass 2 + 10); both sum to mass 12, total abundance 0.5.
  const Pattern g{{1.0, 0.5}, {2.0, 0.5}};
  const Pattern f{{10.0, 0.8}, {11.0, 0.2}};
  const Pattern result = Maldi::Convolute(g, f);
  ASSERT_EQ(result.size(), 3U);
  EXPECT_DOUBLE_EQ(result[0].abundance, 0.4);
  EXPECT_DOUBLE_EQ(result[0].mass, 11.0);
  EXPECT_DOUBLE_EQ(result[1].abundance, 0.5);
  EXPECT_DOUBLE_EQ(result[1].mass, 12.0);
  EXPECT_DOUBLE_EQ(result[2].abundance, 0.1);
  EXPECT_DOUBLE_EQ(result[2].mass, 13.0);
  // Unequal masses on one nominal position average by abundance:
  // (0.25 x 20.0 + 0.75 x 20.4) / 1.0 = 20.3.
  const Pattern mixed = Maldi::Convolute(Pattern{{0.0, 1.0}, {0.0, 1.0}}, Pattern{{20.4, 0.75}, {20.0, 0.25}});
  EXPECT_DOUBLE_EQ(mixed[1].mass, 20.3);

  // A position that no pair of peaks reaches with weight becomes a placeholder.
  const Pattern gap = Maldi::Convolute(Pattern{{1.0, 0.5}, {PlaceholderMass, 0.0}, {3.0, 0.5}},
                                       Pattern{{10.0, 1.0}});
  ASSERT_EQ(gap.size(), 3U);
  EXPECT_EQ(gap[1].mass, PlaceholderMass);
  EXPECT_EQ(gap[1].abundance, 0.0);
  EXPECT_TRUE(Maldi::Convolute(Pattern{}, f).empty());
  EXPECT_TRUE(Maldi::Convolute(g, Pattern{}).empty());
  // Same bits as the textbook k-by-k sum on patterns with many terms per k.
  const Pattern carbon20 = ReferenceMaldi::CalculatePattern(Formula(u"C20"), Table(), 0.0);
  const Pattern bromine9 = ReferenceMaldi::CalculatePattern(Formula(u"Br9"), Table(), 0.0);
  EXPECT_TRUE(SameBits(Maldi::Convolute(carbon20, bromine9), ReferenceMaldi::Convolute(carbon20, bromine9)));
}

TEST(Prune, DropsPeaksAtOrBelowTheLimitFromBothEndsOnly) {
  Pattern pattern{{1, 1e-9}, {2, 0.5}, {3, 0.0}, {4, 0.5}, {5, 1e-8}, {6, 1e-10}};
  Maldi::Prune(pattern, 1e-8);
  ASSERT_EQ(pattern.size(), 3U);
  EXPECT_EQ(pattern.front().mass, 2.0);
  EXPECT_EQ(pattern[1].abundance, 0.0) << "inner peaks stay, whatever their abundance";
  Pattern faint{{1, 1e-9}, {2, 1e-9}};
  Maldi::Prune(faint, 1e-8);
  EXPECT_TRUE(faint.empty());
}

TEST(CalculatePattern, GivesBinomialPatternsOfCarbon) {
  // With p = 0.0107 (13C) and q = 0.9893 (12C): C2 has q^2, 2pq, p^2 at 24, 25, 26;
  // C3 has q^3, 3pq^2, 3p^2q, p^3 (1.2e-6, above the limit).
  const double q = Isotopes(u"C")[0].abundance;
  const double p = Isotopes(u"C")[1].abundance;
  const double m13 = Isotopes(u"C")[1].mass;
  EXPECT_EQ(q, 0.9893);
  const Pattern empty = Maldi::CalculatePattern({}, Table(), 1e-8);
  ASSERT_EQ(empty.size(), 1U);
  EXPECT_EQ(empty[0].mass, 0.0);
  EXPECT_EQ(empty[0].abundance, 1.0);
  EXPECT_EQ(Maldi::MolarMass(empty), 0.0);

  const Pattern c1 = Maldi::CalculatePattern(Formula(u"C"), Table(), 1e-8);
  ASSERT_EQ(c1.size(), 2U);
  EXPECT_DOUBLE_EQ(c1[0].mass, 12.0);
  EXPECT_DOUBLE_EQ(c1[1].abundance, p);

  const Pattern c2 = Maldi::CalculatePattern(Formula(u"C2"), Table(), 1e-8);
  ASSERT_EQ(c2.size(), 3U);
  EXPECT_DOUBLE_EQ(c2[0].abundance, q * q);
  EXPECT_DOUBLE_EQ(c2[1].abundance, 2 * p * q);
  EXPECT_DOUBLE_EQ(c2[2].abundance, p * p);
  EXPECT_DOUBLE_EQ(c2[1].mass, 12.0 + m13);
  EXPECT_DOUBLE_EQ(c2[2].mass, 2 * m13);

  const Pattern c3 = Maldi::CalculatePattern(Formula(u"C3"), Table(), 1e-8);
  ASSERT_EQ(c3.size(), 4U);
  EXPECT_DOUBLE_EQ(c3[1].abundance, 3 * p * q * q);
  EXPECT_DOUBLE_EQ(c3[3].abundance, p * p * p);
  EXPECT_DOUBLE_EQ(c3[3].mass, 3 * m13);
  // At a limit above p^3 the last peak goes.
  EXPECT_EQ(Maldi::CalculatePattern(Formula(u"C3"), Table(), 2e-6).size(), 3U);
  // Everything at or below the limit: nothing left.
  EXPECT_TRUE(Maldi::CalculatePattern(Formula(u"C"), Table(), 1.0).empty());
}

TEST(CalculatePattern, KeepsPlaceholdersWhereNoIsotopeCombinationFalls) {
  // Bromine has 79Br and 81Br only. NaBr (23Na is the only sodium isotope)
  // therefore has nothing at nominal mass 103; Br2 has nothing at 159 and 161.
  const Pattern& br = Isotopes(u"Br");
  ASSERT_EQ(br.size(), 3U);
  const Pattern naBr = Maldi::CalculatePattern(Formula(u"NaBr"), Table(), 1e-8);
  ASSERT_EQ(naBr.size(), 3U);
  EXPECT_EQ(naBr[1].mass, PlaceholderMass);
  EXPECT_EQ(naBr[1].abundance, 0.0);

  // Br2: a79^2 at 158, 2 a79 a81 at 160 (the largest, 0.49993), a81^2 at 162.
  const Pattern br2 = Maldi::CalculatePattern(Formula(u"Br2"), Table(), 1e-8);
  ASSERT_EQ(br2.size(), 5U);
  EXPECT_EQ(br2[1].mass, PlaceholderMass);
  EXPECT_EQ(br2[3].mass, PlaceholderMass);
  EXPECT_DOUBLE_EQ(br2[2].abundance, 2 * br[0].abundance * br[2].abundance);
  EXPECT_DOUBLE_EQ(br2[2].mass, br[0].mass + br[2].mass);
  std::string record;
  Maldi::AppendHighestPeakRecord(record, br2);
  double highest = 0.0;
  std::memcpy(&highest, record.data(), 8);
  EXPECT_DOUBLE_EQ(highest, br[0].mass + br[2].mass);

  // In HBr the position between the bromine isotopes is filled by 79Br-2H.
  const Pattern hBr = Maldi::CalculatePattern(Formula(u"HBr"), Table(), 1e-8);
  for (const Peak& peak : hBr)
    EXPECT_GT(peak.mass, 79.0);
}

TEST(CalculatePattern, GivesNoPatternForNegativeCounts) {
  // Read as unsigned, H-1 would be 4294967295 hydrogen atoms.
  EXPECT_TRUE(Maldi::CalculatePattern(Formula(u"CH-1"), Table(), 1e-8).empty());
  // Abstracting a hydrogen from CF4 (no hydrogen) leaves no molecule; the
  // composition comes back with the hydrogen entry at 0.
  Composition cf4 = Formula(u"CF4");
  EXPECT_TRUE(Maldi::CalculateAbstractedPattern(cf4, Table(), 1e-8).empty());
  EXPECT_EQ(cf4.at(Maldi::AbstractedElement), 0);
  EXPECT_EQ(cf4.size(), 3U);
  // CH4 less one hydrogen is CH3.
  Composition ch4 = Formula(u"CH4");
  EXPECT_TRUE(SameBits(Maldi::CalculateAbstractedPattern(ch4, Table(), 1e-8),
                       Maldi::CalculatePattern(Formula(u"CH3"), Table(), 1e-8)));
  EXPECT_EQ(ch4, Formula(u"CH4"));
  // An element index the table does not hold has no pattern either.
  EXPECT_TRUE(Maldi::CalculatePattern(Composition{{100000, 1}}, Table(), 1e-8).empty());
}

TEST(MolarMass, MatchesIupacStandardAtomicWeights) {
  // Standard atomic weights: C 12.011, H 1.008, O 15.999, Na 22.990, Cl 35.45.
  auto molarMass = [](const std::u16string& formula) {
    return Maldi::MolarMass(Maldi::CalculatePattern(Formula(formula), Table(), Maldi::MolarMassLimit));
  };
  EXPECT_NEAR(molarMass(u"C8H8"), 104.15, 0.01);  // 8 x 12.011 + 8 x 1.008
  EXPECT_NEAR(molarMass(u"C5H8O2"), 100.12, 0.01); // 5 x 12.011 + 8 x 1.008 + 2 x 15.999
  EXPECT_NEAR(molarMass(u"H2O"), 18.015, 0.01);
  EXPECT_NEAR(molarMass(u"NaCl"), 58.44, 0.01);
  // A polymer of 100 styrene units with butyl and H ends, C804H810, against the
  // hand sum of the table's own atomic weights (the IUPAC intervals round
  // them up: 12.011 and 1.008 would give 10473.32):
  // C 12 x 0.9893 + 13.0033548378 x 0.0107 = 12.0107359...,
  // H 1.0078250321 x 0.999885 + 2.014101778 x 0.000115 = 1.0079407...,
  // 804 x 12.0107359 + 810 x 1.0079407 = 10473.0636; pruning at 1e-9 loses far less.
  EXPECT_NEAR(molarMass(u"C4H9(C8H8)100H"), 10473.0636, 1e-3);
}

TEST(MolarMass, MostAbundantPeakOfC100IsTheFirst13CPeak) {
  // q^100 = 0.3411 for 12C100 but 100 p q^99 = 0.3689 for one 13C, so the
  // highest peak is 99 x 12 + 13.0033548378 = 1201.0033548378.
  Pattern c100 = Maldi::CalculatePattern(Formula(u"C100"), Table(), 1e-8);
  std::string record;
  Maldi::AppendHighestPeakRecord(record, c100);
  double highest = 0.0;
  std::memcpy(&highest, record.data(), 8);
  EXPECT_NEAR(highest, 1201.0033548378, 1e-9);
}

TEST(CalculatePattern, ElementOrderOfTheTableChangesOnlyRoundingAndPruning) {
  const Maldi::IsotopeTable ch = MaldiTest::TableFromText(
      "C\n12.0 0.9893\n13.0033548378 0.0107\n\nH\n1.0078250321 0.999885\n2.014101778 0.000115\n");
  const Maldi::IsotopeTable hc = MaldiTest::TableFromText(
      "H\n1.0078250321 0.999885\n2.014101778 0.000115\n\nC\n12.0 0.9893\n13.0033548378 0.0107\n");
  const Pattern first = Maldi::CalculatePattern(Composition{{0, 80}, {1, 82}}, ch, 1e-8);
  const Pattern second = Maldi::CalculatePattern(Composition{{0, 82}, {1, 80}}, hc, 1e-8);
  // Pruning at 1e-8 after every convolution cuts different tails in the two
  // orders, so abundances may differ by a few times the limit; the masses of
  // peaks well above it agree to far better than a part per million.
  ASSERT_EQ(first.size(), second.size());
  for (std::size_t k = 0; k < first.size(); ++k) {
    EXPECT_NEAR(first[k].abundance, second[k].abundance, 1e-7);
    if (first[k].abundance > 1e-4) {
      EXPECT_NEAR(first[k].mass, second[k].mass, 1e-6);
    }
  }
}

TEST(PatternCalculator, ReproducesTheTextbookAlgorithmBitForBit) {
  // Random molecules over light and heavy elements, with gaps (Br, Sn, S) and
  // many isotopes (Sn, Xe), through one calculator so that its kept powers are
  // reused across molecules of different size.
  const std::u16string symbols[] = {u"C", u"H", u"N", u"O", u"S", u"Br", u"Sn", u"Si", u"Cl", u"Xe", u"Na"};
  std::mt19937 random(20240611);
  for (const double limit : {1e-8, 1e-9, 0.0}) {
    Maldi::TPatternCalculator calculator(Table(), limit);
    for (int trial = 0; trial < 150; ++trial) {
      Composition molecule;
      for (const auto& symbol : symbols) {
        const auto roll = random() % 100;
        const int32_t count = roll < 40 ? 0 : roll < 90 ? int32_t(random() % 40) : int32_t(random() % 700);
        // Unpruned patterns grow with every atom; keep those molecules small.
        if (count > 0 && (limit > 0.0 || count < 12))
          molecule[uint32_t(Table().symbols.at(symbol))] = count;
      }
      const Pattern expected = ReferenceMaldi::CalculatePattern(molecule, Table(), limit);
      ASSERT_TRUE(SameBits(calculator.Calculate(molecule), expected)) << "trial " << trial << " limit " << limit;
      ASSERT_TRUE(SameBits(Maldi::CalculatePattern(molecule, Table(), limit), expected));
    }
  }
}

} // namespace
