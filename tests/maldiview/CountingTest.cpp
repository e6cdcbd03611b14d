// Counting the chains of the store by composition and chain end.

#include "MaldiViewTestSupport.h"

#include "maldiview/uMALDISpectrum.h"

#include <gtest/gtest.h>

namespace {

using namespace MaldiView;
using namespace MaldiViewTest;

TEST(MaldiCounting, CurvesPerProcessType) {
  EXPECT_EQ(CurvesOfProcess(0), (std::vector<int>{3}));
  EXPECT_EQ(CurvesOfProcess(1), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(CurvesOfProcess(2), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_TRUE(CurvesOfProcess(3).empty());
  EXPECT_STREQ(CurveDesigns[0].Title, "I~~I");
  EXPECT_STREQ(CurveDesigns[3].FileName, "Maldi4.tmp");
}

TEST(MaldiCounting, FreeRadicalAlternatesOverTheWholeStore) {
  Engine::TSimState& s = Store(Engine::ptFreeRadical, 8);
  // Chains 1, 3, 5, 6 have composition (3 A, 1 B); 2 and 7 other
  // compositions; 4 is a recombination product; 8 never grew.
  SetChain(s, 1, "AABA");
  SetChain(s, 2, "AA");
  SetChain(s, 3, "BAAA");
  SetChain(s, 4, "AAAABB", 2);
  SetChain(s, 5, "ABAA");
  SetChain(s, 6, "AAAB");
  SetChain(s, 7, "B");
  TCountTables tables;
  PrepareABDistribution(s, 10, tables);
  // The non-combined chains 1, 2, 3, 5, 6, 7 go in turn to I~H, I~=, I~H,
  // I~=, I~H, I~=: of the four (3 A, 1 B) chains, 1, 3 and 6 land in I~H and
  // 5 in I~= (not two and two, as counting per composition would give).
  EXPECT_EQ(tables[1].At(3, 1), 3u);
  EXPECT_EQ(tables[2].At(3, 1), 1u);
  EXPECT_EQ(tables[2].At(2, 0), 1u); // chain 2
  EXPECT_EQ(tables[2].At(0, 1), 1u); // chain 7
  EXPECT_EQ(tables[0].At(4, 2), 1u); // chain 4, recombined
  EXPECT_EQ(tables[0].Total() + tables[1].Total() + tables[2].Total(), 7u);
  EXPECT_TRUE(tables[3].Empty()); // no I~X curve for free radical
}

TEST(MaldiCounting, FourChainsOfOneCompositionShareOutTwoAndTwo) {
  Engine::TSimState& s = Store(Engine::ptFreeRadical, 4);
  for (int c = 1; c <= 4; ++c)
    SetChain(s, c, "AAB");
  TCountTables tables;
  PrepareABDistribution(s, 5, tables);
  // Chains 1 and 3 to I~H, 2 and 4 to I~=.
  EXPECT_EQ(tables[1].At(2, 1), 2u);
  EXPECT_EQ(tables[2].At(2, 1), 2u);
}

TEST(MaldiCounting, AtrpLivingChainsAreCappedOnes) {
  Engine::TSimState& s = Store(Engine::ptATRP, 4);
  SetChain(s, 1, "AAA");
  SetChain(s, 2, "AAA");
  SetChain(s, 3, "AAAAAA", 2);
  SetChain(s, 4, "AA");
  s.ChainLiving.assign(5, 0);
  s.ChainLiving[1] = 1;
  TCountTables tables;
  PrepareABDistribution(s, 10, tables);
  EXPECT_EQ(tables[3].At(3, 0), 1u); // chain 1, still capped by the halogen
  EXPECT_EQ(tables[1].At(3, 0), 1u); // chain 2, first dead non-combined
  EXPECT_EQ(tables[0].At(6, 0), 1u); // chain 3, recombined
  EXPECT_EQ(tables[2].At(2, 0), 1u); // chain 4, second dead non-combined
}

TEST(MaldiCounting, LivingCountsAllGrownChainsAndSkipsLongOnes) {
  Engine::TSimState& s = Store(Engine::ptLiving, 5);
  SetChain(s, 1, Units(3, 0));
  SetChain(s, 2, Units(4, 0)); // 4 units of A > n = 3: not counted
  SetChain(s, 3, Units(0, 4)); // 4 units of B > n: not counted
  SetChain(s, 4, Units(3, 3)); // DP 6, but 3 of each: counted
  TCountTables tables;
  PrepareABDistribution(s, 3, tables);
  EXPECT_EQ(tables[3].N(), 3);
  EXPECT_EQ(tables[3].At(3, 0), 1u);
  EXPECT_EQ(tables[3].At(3, 3), 1u);
  EXPECT_EQ(tables[3].Total(), 2u); // chain 5 has DP 0
  for (int c = 0; c < 3; ++c)
    EXPECT_TRUE(tables[static_cast<std::size_t>(c)].Empty()) << c;
}

TEST(MaldiCounting, ReversibleCountsNothing) {
  Engine::TSimState& s = Store(Engine::ptLivingReversible, 2);
  SetChain(s, 1, "AA");
  TCountTables tables;
  tables[3].Resize(2); // left from an earlier spectrum
  PrepareABDistribution(s, 3, tables);
  for (const TDistribData& t : tables)
    EXPECT_TRUE(t.Empty());
}

TEST(MaldiCounting, CellsHoldMoreThan65535Chains) {
  // 70000 chains of one composition: a 16-bit cell would wrap to 4464.
  constexpr std::int32_t chains = 70000;
  Engine::TSimState& s = Store(Engine::ptLiving, chains);
  for (std::int32_t c = 1; c <= chains; ++c)
    SetChain(s, c, "A");
  TCountTables tables;
  PrepareABDistribution(s, 2, tables);
  EXPECT_EQ(tables[3].At(1, 0), 70000u);
  s.FreeAll();
}

} // namespace
