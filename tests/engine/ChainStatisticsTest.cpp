// Dyad fractions and molar-mass distributions computed from the chain store.

#include "engine/uDataStruct.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace Engine;

// MA = 100, MB = 50, MI = 10 g/mol unless a test says otherwise.
TRunDescription MakeRun(std::uint8_t type, std::int32_t initiators) {
  TRunDescription run;
  run.ProcessType = type;
  run.InitiatorNumber = initiators;
  run.MonomerANumber = 100000;
  run.MonomerBNumber = 100000;
  run.MonomerAMolWeight = 100.0;
  run.MonomerBMolWeight = 50.0;
  run.InitiatorMolWeight = 10.0;
  run.InitiatorAttachMolWeight = 80.0;
  run.CheckPointTime = {0.0, 10.0};
  return run;
}

struct TStore {
  TSimState S;
  explicit TStore(const TRunDescription& run) {
    S.AllocateMemory(run);
    S.FixedSeed = 1u;
    S.InitializeRun();
  }
  void Grow(std::int32_t chain, std::initializer_list<std::uint8_t> kinds) {
    for (std::uint8_t k : kinds) ASSERT_TRUE(S.Propagate(chain, k));
  }
};

// ---------------------------------------------------------------------------
// Dyads

TEST(Dyads, FractionsOfAllNeighbourPairs) {
  TStore store(MakeRun(ptLiving, 4));
  store.Grow(1, {UnitA, UnitA, UnitB, UnitA}); // AA, AB, BA
  store.Grow(2, {UnitB, UnitB});               // BB
  store.Grow(3, {UnitB});                      // DP 1: no pair
  store.S.CalcDyads(1);
  // One pair of each kind among four: 0.25 each.
  for (int j = 0; j < 4; ++j) EXPECT_DOUBLE_EQ(store.S.CPDyads[static_cast<std::size_t>(j)][1], 0.25) << j;
  EXPECT_EQ(store.S.CPDyads[0][0], 0.0); // other columns untouched
}

TEST(Dyads, NoPairAtAllGivesZeros) {
  TStore store(MakeRun(ptLiving, 3));
  store.Grow(1, {UnitA});
  store.Grow(2, {UnitB});
  store.S.CPDyads[2][1] = 0.7; // a stale value is overwritten
  store.S.CalcDyads(1);
  for (int j = 0; j < 4; ++j) EXPECT_EQ(store.S.CPDyads[static_cast<std::size_t>(j)][1], 0.0) << j;
  store.S.CalcDyads(2); // beyond the records: ignored
  store.S.CalcDyads(-1);
}

TEST(Dyads, LongRandomChainsAgreeWithAPairByPairCount) {
  // Chains long enough to cross several blocks of the store, each counted
  // pair by pair from its plain sequence.
  TStore store(MakeRun(ptLiving, 6));
  std::mt19937 rng(5u);
  std::int64_t counts[4] = {};
  for (std::int32_t chain = 1; chain <= 6; ++chain) {
    const std::int32_t length = 100 + static_cast<std::int32_t>(rng() % 1500);
    std::vector<std::uint8_t> kinds;
    for (std::int32_t k = 0; k < length; ++k) {
      // Runs of equal units, so all four pair kinds are well represented.
      const std::uint8_t kind = kinds.empty() || rng() % 4 == 0 ? static_cast<std::uint8_t>(rng() % 2) : kinds.back();
      kinds.push_back(kind);
      ASSERT_TRUE(store.S.Propagate(chain, kind));
    }
    for (std::size_t p = 1; p < kinds.size(); ++p) ++counts[2 * kinds[p - 1] + kinds[p]];
  }
  store.S.CalcDyads(1);
  const double total = static_cast<double>(counts[0] + counts[1] + counts[2] + counts[3]);
  for (int j = 0; j < 4; ++j)
    EXPECT_DOUBLE_EQ(store.S.CPDyads[static_cast<std::size_t>(j)][1], static_cast<double>(counts[j]) / total) << j;
}

// ---------------------------------------------------------------------------
// Counts taken eight units at a time against a byte-by-byte count

// Dyad counts and B units of chains read one position at a time through
// TChainRow, the plainest reading of the store.
struct TPlainCounts {
  std::int64_t Dyads[4] = {}; // AA, AB, BA, BB
  std::vector<std::int32_t> B; // per chain, index 0 unused
};

TPlainCounts CountByteByByte(const TSimState& s) {
  TPlainCounts c;
  c.B.assign(static_cast<std::size_t>(s.ChainsNumber) + 1, 0);
  for (std::int32_t i = 1; i <= s.ChainsNumber; ++i) {
    const TChainRow row = s.ChainUnits[i];
    const std::int32_t d = s.ChainDP[static_cast<std::size_t>(i)];
    for (std::int32_t p = 1; p <= d; ++p) {
      c.B[static_cast<std::size_t>(i)] += row[p];
      if (p > 1) ++c.Dyads[2 * row[p - 1] + row[p]];
    }
  }
  return c;
}

// Grows chain to length units: runs of equal units, all B, or alternating.
void GrowPattern(TSimState& s, std::int32_t chain, std::int32_t length, int pattern, std::mt19937& rng) {
  std::uint8_t kind = UnitA;
  for (std::int32_t k = 0; k < length; ++k) {
    if (pattern == 0 && rng() % 3 == 0) kind = static_cast<std::uint8_t>(rng() % 2);
    if (pattern == 1) kind = UnitB;
    if (pattern == 2) kind = static_cast<std::uint8_t>(k % 2);
    ASSERT_TRUE(s.Propagate(chain, kind));
  }
}

// Everything the fast counts feed, compared with the byte-by-byte count:
// CountB of each chain at its length and at every length up to 600 units,
// the four dyad fractions, and the living-process Mn and Mw (summed in the
// same chain order, so equal to the last bit).
void ExpectSameAsByteByByte(TSimState& s) {
  const TPlainCounts plain = CountByteByByte(s);
  for (std::int32_t i = 1; i <= s.ChainsNumber; ++i) {
    const std::int32_t d = s.ChainDP[static_cast<std::size_t>(i)];
    ASSERT_EQ(s.ChainUnits.CountB(i, d), plain.B[static_cast<std::size_t>(i)]) << "chain " << i << " DP " << d;
    std::int32_t prefix = 0;
    const TChainRow row = s.ChainUnits[i];
    for (std::int32_t dp = 1; dp <= std::min(d, 600); ++dp) {
      prefix += row[dp];
      ASSERT_EQ(s.ChainUnits.CountB(i, dp), prefix) << "chain " << i << " first " << dp << " units";
    }
  }
  s.CalcDyads(1);
  std::int64_t total = plain.Dyads[0] + plain.Dyads[1] + plain.Dyads[2] + plain.Dyads[3];
  if (total == 0) total = 1;
  for (int j = 0; j < 4; ++j)
    EXPECT_EQ(s.CPDyads[static_cast<std::size_t>(j)][1],
              static_cast<double>(plain.Dyads[j]) / static_cast<double>(total)) << j;

  double s1 = 0.0, s2 = 0.0;
  std::int64_t count = 0;
  for (std::int32_t i = 1; i <= s.ChainsNumber; ++i) {
    const std::int32_t d = s.ChainDP[static_cast<std::size_t>(i)];
    if (d <= 0) continue;
    const std::int32_t b = plain.B[static_cast<std::size_t>(i)];
    const double m = s.InitiatorMolWeight + (b * s.MonomerBMolWeight + (d - b) * s.MonomerAMolWeight);
    s1 += m;
    s2 += m * m;
    ++count;
  }
  s.Mn = s.Mw = -1.0;
  s.CalcMassDistributions();
  if (count == 0) {
    EXPECT_EQ(s.Mn, -1.0); // nothing grown: left alone
  } else {
    EXPECT_EQ(s.Mn, s1 / static_cast<double>(count));
    EXPECT_EQ(s.Mw, s2 / s1);
  }
}

// CalcCheckPointStatistics(k), the one-pass version a run uses at each check
// point, against CalcMassDistributions() and CalcDyads(k) called apart: every
// array element, Mn and Mw equal to the last bit.
void ExpectOnePassSameAsSeparate(TSimState& s, std::int32_t k) {
  s.CalcMassDistributions();
  s.CalcDyads(k);
  const std::vector<TMassBin> bins = s.MassHistogram.Bins;
  const double axis = s.MassHistogram.AxisLength;
  const double mn = s.Mn, mw = s.Mw;
  const std::array<TRealArray, 4> dyads = s.CPDyads;
  s.MassHistogram.Release();
  for (TRealArray& row : s.CPDyads) std::fill(row.begin(), row.end(), -1.0);
  s.CalcCheckPointStatistics(k);
  EXPECT_EQ(s.MassHistogram.AxisLength, axis);
  EXPECT_EQ(s.MassHistogram.Bins, bins);
  EXPECT_EQ(s.Mn, mn);
  EXPECT_EQ(s.Mw, mw);
  for (std::size_t j = 0; j < 4; ++j)
    EXPECT_EQ(s.CPDyads[j][static_cast<std::size_t>(k)], dyads[j][static_cast<std::size_t>(k)]) << j;
}

TEST(WordWiseCounts, ChainLengthsAroundWordAndBlockBorders) {
  // 8 units make a word and 256 a block of the store; the first block holds
  // positions 1..255 only (position 0 is the head byte), so a chain of 255
  // fills it and 256 starts the next one.
  const std::int32_t lengths[] = {0, 1, 2, 7, 8, 9, 15, 16, 17, 247, 248, 254, 255, 256, 257, 263, 264,
                                  511, 512, 513, 767, 1000, 32766, MaxDP};
  std::mt19937 rng(11u);
  for (const std::int32_t length : lengths) {
    SCOPED_TRACE("length " + std::to_string(length));
    TStore store(MakeRun(ptLiving, 4));
    TSimState& s = store.S;
    for (std::int32_t chain = 1; chain <= 3; ++chain) GrowPattern(s, chain, length, chain - 1, rng);
    GrowPattern(s, 4, static_cast<std::int32_t>(rng() % 700), 0, rng);
    // Bytes the counts must not read: a head byte of 2 and stale B units
    // just past each chain's end (as a removed unit or a recombined-away
    // chain leaves them).
    for (std::int32_t chain = 1; chain <= 4; ++chain) {
      const TChainRow row = s.ChainUnits[chain];
      row[0] = 2;
      const std::int32_t d = s.ChainDP[static_cast<std::size_t>(chain)];
      for (std::int32_t p = d + 1; p <= std::min(d + 16, MaxDP); ++p) row[p] = UnitB;
    }
    ExpectSameAsByteByByte(s);
    ExpectOnePassSameAsSeparate(s, 1);
  }
}

TEST(WordWiseCounts, ManyRandomChainsWithRecombination) {
  // Random lengths up to 1500 units, then recombinations that copy units
  // across blocks and leave the emptied chains' bytes behind.
  TStore store(MakeRun(ptLiving, 120));
  TSimState& s = store.S;
  std::mt19937 rng(23u);
  for (std::int32_t chain = 1; chain <= 120; ++chain)
    GrowPattern(s, chain, static_cast<std::int32_t>(rng() % 1500), static_cast<int>(rng() % 3), rng);
  for (std::int32_t x = 1; x <= 40; x += 3) ASSERT_TRUE(s.RecombineStrided(x, x + 60));
  ExpectSameAsByteByByte(s);
  ExpectOnePassSameAsSeparate(s, 1);
}

TEST(WordWiseCounts, OnePassStatisticsOfFreeRadicalAndAtrpStores) {
  // End groups, the alternating hydrogen of single-end chains and ATRP's
  // living chains all depend on the chain order and on each chain's B count.
  std::mt19937 rng(31u);
  for (const std::uint8_t type : {ptFreeRadical, ptATRP}) {
    SCOPED_TRACE(static_cast<int>(type));
    TStore store(MakeRun(type, 60));
    TSimState& s = store.S;
    const std::int32_t chains = s.ChainsNumber;
    for (std::int32_t chain = 1; chain <= chains; ++chain) {
      if (rng() % 5 == 0) continue; // some slots never start
      s.ChainUnits[chain][0] = 1;
      GrowPattern(s, chain, 1 + static_cast<std::int32_t>(rng() % 700), static_cast<int>(rng() % 3), rng);
      if (type == ptATRP && rng() % 2 == 0) s.ChainLiving[static_cast<std::size_t>(chain)] = 0;
    }
    for (std::int32_t x = 2; x + 1 <= chains; x += 7) {
      if (type == ptATRP)
        s.Recombine(x, x + 1);
      else
        s.RecombineStrided(x, x + 1);
    }
    ExpectOnePassSameAsSeparate(s, 1);
    EXPECT_GT(s.Mn, 0.0);
  }
}

TEST(WordWiseCounts, OnePassStatisticsOfRunsWithoutMonomerB) {
  // A run without monomer B takes its dyads and masses from the chain
  // lengths; the store read unit by unit must give the same, for every
  // process type's mass rule and with recombined chains.
  std::mt19937 rng(37u);
  for (const std::uint8_t type : {ptLiving, ptFreeRadical, ptATRP, ptLivingReversible}) {
    SCOPED_TRACE(static_cast<int>(type));
    TRunDescription run = MakeRun(type, 50);
    run.MonomerBNumber = 0;
    TStore store(run);
    TSimState& s = store.S;
    for (std::int32_t chain = 1; chain <= s.ChainsNumber; ++chain) {
      if (rng() % 4 == 0) continue;
      if (type == ptFreeRadical || type == ptATRP) s.ChainUnits[chain][0] = 1;
      const std::int32_t length = 1 + static_cast<std::int32_t>(rng() % 900);
      for (std::int32_t k = 0; k < length; ++k) ASSERT_TRUE(s.Propagate(chain, UnitA));
    }
    if (type == ptFreeRadical)
      for (std::int32_t x = 2; x + 1 <= s.ChainsNumber; x += 9) s.RecombineStrided(x, x + 1);
    ExpectOnePassSameAsSeparate(s, 1);
    EXPECT_EQ(s.CPDyads[0][1], 1.0);
    EXPECT_GT(s.Mn, 0.0);
  }
}

TEST(WordWiseCounts, OnePassLeavesNothingGrownAndOutOfRangeColumnsAlone) {
  TStore store(MakeRun(ptLiving, 3));
  TSimState& s = store.S;
  s.Mn = 42.0;
  s.CalcCheckPointStatistics(1); // nothing grown: masses untouched, dyads 0
  EXPECT_EQ(s.Mn, 42.0);
  EXPECT_TRUE(s.MassHistogram.Empty());
  for (std::size_t j = 0; j < 4; ++j) EXPECT_EQ(s.CPDyads[j][1], 0.0);
  store.Grow(1, {UnitA, UnitB});
  s.CalcCheckPointStatistics(5); // beyond the records: masses only
  // Mn = 10 + 100 + 50 = 160; the one pair is AB, but no column was written.
  EXPECT_DOUBLE_EQ(s.Mn, 160.0);
  for (std::size_t j = 0; j < 4; ++j) EXPECT_EQ(s.CPDyads[j][1], 0.0);
  s.CalcCheckPointStatistics(1);
  EXPECT_EQ(s.CPDyads[1][1], 1.0);
}

TEST(WordWiseCounts, EmptyStoreAndEmptyChains) {
  TStore store(MakeRun(ptLiving, 3));
  TSimState& s = store.S;
  EXPECT_EQ(s.ChainUnits.CountB(1, 0), 0);
  ExpectSameAsByteByByte(s); // no pair anywhere: all dyad fractions 0
}

// ---------------------------------------------------------------------------
// Mass distributions

TEST(MassDistributions, LivingChainMassAndArrays) {
  TStore store(MakeRun(ptLiving, 3));
  store.Grow(1, {UnitA, UnitA, UnitB}); // 10 + 100 + 100 + 50 = 260
  store.Grow(2, {UnitA});               // 10 + 100 = 110
  store.S.CalcMassDistributions();
  const TSimState& s = store.S;
  // Length: Trunc(dmax x max(MA, MB) + 2 x MI) + 100 = Trunc(3 x 100 + 20) + 100 = 420.
  ASSERT_EQ(s.MassHistogram.AxisLength, 420.0);
  EXPECT_EQ(s.MassHistogram.LastMass(), 419.0);
  // Only the two bins that hold a chain are stored, lightest first.
  ASSERT_EQ(s.MassHistogram.Bins.size(), 2u);
  EXPECT_EQ(s.MassHistogram.Bins[0], (TMassBin{110.0, 1.0, 110.0}));
  EXPECT_EQ(s.MassHistogram.Bins[1], (TMassBin{260.0, 1.0, 260.0}));
  EXPECT_EQ(s.MassHistogram.NumberAt(260), 1.0);
  EXPECT_EQ(s.MassHistogram.NumberAt(110), 1.0);
  EXPECT_DOUBLE_EQ(s.MassHistogram.WeightAt(260), 260.0);
  double chains = 0.0;
  for (const TMassBin& bin : s.MassHistogram.Bins) chains += bin.Number;
  EXPECT_EQ(chains, 2.0); // the empty chain 3 is not counted
  // Mn = (110 + 260) / 2 = 185; Mw = (110^2 + 260^2) / 370 = 79700 / 370.
  EXPECT_DOUBLE_EQ(s.Mn, 185.0);
  EXPECT_DOUBLE_EQ(s.Mw, 79700.0 / 370.0);
  EXPECT_TRUE(s.NeedsAggregation.load());
}

TEST(MassDistributions, FreeRadicalHydrogenAlternatesOverSingleEndChains) {
  // MI is halved to 5 for free radical (one half initiator per end).
  TStore store(MakeRun(ptFreeRadical, 5));
  TSimState& s = store.S;
  for (std::int32_t chain : {1, 2, 4, 5}) {
    s.ChainUnits[chain][0] = 1;
    store.Grow(chain, {UnitA});
  }
  // Chains 2 and 3 recombine before chain 4 starts: chain 2 carries two ends.
  s.ChainUnits[3][0] = 1;
  store.Grow(3, {UnitB});
  ASSERT_TRUE(s.RecombineStrided(2, 3));
  s.CalcMassDistributions();
  // In chain order, the chains with one end group gain +h, -h, +h:
  // chain 1: 100 + 5 + 1.00794 = 106.00794 (bin 106)
  // chain 2: A + B + 2 ends = 100 + 50 + 10 = 160, no correction
  // chain 4: 100 + 5 - 1.00794 = 103.99206 (bin 103)
  // chain 5: 100 + 5 + 1.00794 = 106.00794 (bin 106)
  EXPECT_EQ(s.MassHistogram.NumberAt(106), 2.0);
  EXPECT_EQ(s.MassHistogram.NumberAt(103), 1.0);
  EXPECT_EQ(s.MassHistogram.NumberAt(160), 1.0);
  EXPECT_DOUBLE_EQ(s.MassHistogram.WeightAt(106), 2.0 * (105.0 + HydrogenMass));
  EXPECT_DOUBLE_EQ(s.MassHistogram.WeightAt(103), 105.0 - HydrogenMass);
  EXPECT_DOUBLE_EQ(s.Mn, (2.0 * (105.0 + HydrogenMass) + (105.0 - HydrogenMass) + 160.0) / 4.0);
}

TEST(MassDistributions, AtrpLivingAndDeadChains) {
  TStore store(MakeRun(ptATRP, 5));
  TSimState& s = store.S;
  for (std::int32_t chain = 1; chain <= 5; ++chain) {
    s.ChainUnits[chain][0] = 1;
    store.Grow(chain, {UnitA});
  }
  // Chain 1 stays living: 100 + MI = 110.
  s.ChainLiving[2] = 0; // dead, one end: 100 + MX + h = 181.00794
  s.ChainLiving[3] = 0; // dead, one end: 100 + MX - h = 178.99206
  ASSERT_TRUE(s.Recombine(4, 5)); // dead, two ends: 200 + 2 MX = 360
  s.CalcMassDistributions();
  EXPECT_EQ(s.MassHistogram.NumberAt(110), 1.0);
  EXPECT_EQ(s.MassHistogram.NumberAt(181), 1.0);
  EXPECT_EQ(s.MassHistogram.NumberAt(178), 1.0);
  EXPECT_EQ(s.MassHistogram.NumberAt(360), 1.0);
  EXPECT_DOUBLE_EQ(s.Mn, (110.0 + 181.0 + 179.0 + 360.0) / 4.0);
}

TEST(MassDistributions, AtrpHeavyAttachedGroupStaysInsideTheArrays) {
  // MX = 300 exceeds MI = 10 by far more than 49 g/mol: the usual length
  // Trunc(2 x 100 + 20) + 100 = 320 would end before a recombined A-A chain
  // of 200 + 2 x 300 = 800 g/mol.
  TRunDescription run = MakeRun(ptATRP, 2);
  run.InitiatorAttachMolWeight = 300.0;
  TStore store(run);
  TSimState& s = store.S;
  store.Grow(1, {UnitA});
  store.Grow(2, {UnitA});
  ASSERT_TRUE(s.Recombine(1, 2));
  s.CalcMassDistributions();
  ASSERT_GT(s.MassHistogram.AxisLength, 800.0);
  EXPECT_EQ(s.MassHistogram.NumberAt(800), 1.0);
  EXPECT_DOUBLE_EQ(s.Mn, 800.0);
}

TEST(MassDistributions, NothingWhileNoChainHasGrown) {
  TStore store(MakeRun(ptLiving, 3));
  TSimState& s = store.S;
  s.MassHistogram.Begin(8.0);
  s.MassHistogram.Add(7.0, 7.5);
  s.MassHistogram.Finish();
  s.Mn = 42.0;
  s.Mw = 43.0;
  s.CalcMassDistributions();
  EXPECT_EQ(s.MassHistogram.AxisLength, 8.0);
  EXPECT_EQ(s.MassHistogram.NumberAt(7.0), 1.0);
  EXPECT_EQ(s.Mn, 42.0);
  EXPECT_EQ(s.Mw, 43.0);
  EXPECT_FALSE(s.NeedsAggregation.load());
}

TEST(MassDistributions, FreeRadicalWithHalfTheSlotsGrownIsComputed) {
  // Two initiator molecules give four chain slots. With two chains grown the
  // DP-0 count (2) equals the initiator count, which is not "nothing grown":
  // the statistics must follow the store.
  TStore store(MakeRun(ptFreeRadical, 2));
  TSimState& s = store.S;
  s.ChainUnits[1][0] = 1;
  s.ChainUnits[2][0] = 1;
  store.Grow(1, {UnitA});
  store.Grow(2, {UnitA, UnitA});
  ASSERT_EQ(s.DPDistribution[0], s.CPInitiator[0]);
  s.CalcMassDistributions();
  // 100 + 5 + h and 200 + 5 - h: Mn = 310 / 2 = 155.
  EXPECT_DOUBLE_EQ(s.Mn, 155.0);
  EXPECT_EQ(s.MassHistogram.NumberAt(106), 1.0);
  EXPECT_EQ(s.MassHistogram.NumberAt(203), 1.0);
}

TEST(MassDistributions, OtherProcessTypesNeverReachTheStatistics) {
  // A store is never sized for a type without a kernel (the run is refused
  // when it is sized), so no mass rule is ever missing.
  TSimState s;
  EXPECT_THROW(s.AllocateMemory(MakeRun(7, 2)), std::invalid_argument);
  s.CalcMassDistributions();
  EXPECT_TRUE(s.MassHistogram.Bins.empty());
}

} // namespace
