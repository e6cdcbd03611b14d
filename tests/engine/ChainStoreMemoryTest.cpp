// The memory a store really uses grows with the polymer formed, not with the
// number of chain slots: on paper 100 000 chains take 100 001 x 32768 bytes
// (3.28 GB) of sequence rows.

#include "engine/uDataStruct.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <fstream>

namespace {

using namespace Engine;

constexpr std::int64_t MiB = 1024 * 1024;
constexpr std::int64_t PaperBytes = 100001LL * 32768LL; // 3 276 832 768

// Resident set of this process in bytes (second field of /proc/self/statm, in pages).
std::int64_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::int64_t sizePages = 0, residentPages = 0;
  statm >> sizePages >> residentPages;
  EXPECT_TRUE(statm.good()) << "cannot read /proc/self/statm";
  return residentPages * static_cast<std::int64_t>(sysconf(_SC_PAGESIZE));
}

TRunDescription HundredThousandChains(std::uint8_t type) {
  TRunDescription run;
  run.ProcessType = type;
  run.InitiatorNumber = 100000;
  run.MonomerANumber = 1000;
  run.MonomerBNumber = 1000;
  run.MonomerAMolWeight = 100.0;
  run.MonomerBMolWeight = 100.0;
  run.InitiatorMolWeight = 10.0;
  run.CheckPointTime = {0.0, 1.0};
  return run;
}

TEST(ChainStoreMemory, AFewShortChainsInAHundredThousandSlots) {
  const std::int64_t before = ResidentBytes();
  TSimState s;
  s.AllocateMemory(HundredThousandChains(ptLiving));
  s.FixedSeed = 1u;
  s.InitializeRun();
  ASSERT_GE(s.ChainUnits.ReservedBytes(), static_cast<std::size_t>(PaperBytes));
  for (std::int32_t chain = 1; chain <= 20; ++chain)
    for (std::int32_t k = 0; k < 50; ++k) ASSERT_TRUE(s.Propagate(chain * 4999, static_cast<std::uint8_t>(k % 2)));
  const std::int64_t grown = ResidentBytes() - before;
  // Besides the touched pages of the rows (at most 20 pages of 4 KB) the run
  // holds ChainDP, ChainEndMer (600 KB), DPDistribution (128 KB) and Mers
  // (32 KB): well under 16 MiB, against 3.28 GB on paper.
  EXPECT_LT(grown, 16 * MiB) << "resident growth " << grown << " bytes";
  EXPECT_LT(grown, PaperBytes / 100);
}

TEST(ChainStoreMemory, EveryChainShortStaysNearTheUnitsFormed) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' shadow memory grows the resident set with every page touched";
#endif
  const std::int64_t before = ResidentBytes();
  TSimState s;
  s.AllocateMemory(HundredThousandChains(ptFreeRadical)); // 200 000 slots
  s.FixedSeed = 1u;
  s.InitializeRun();
  // 100 000 chains of 5 units: short chains share pages in bands of 128
  // positions, so about 100 000 x 128 bytes = 12.8 MB become resident. With
  // one row per chain each chain would take a page of its own: 410 MB.
  for (std::int32_t chain = 1; chain <= 100000; ++chain)
    for (std::int32_t k = 0; k < 5; ++k) s.PropagateStrided(chain, 0);
  const std::int64_t grown = ResidentBytes() - before;
  // + 200 001 x 2 (ChainDP) + 200 001 x 4 (ChainEndMer) + 3 x 200 000 x 4
  // (radical lists) = 3.6 MB of per-chain arrays.
  EXPECT_LT(grown, 48 * MiB) << "resident growth " << grown << " bytes";
}

TEST(ChainStoreMemory, LongChainsAmongShortOnesStayNearTheUnitsFormed) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' shadow memory grows the resident set with every page touched";
#endif
  const std::int64_t before = ResidentBytes();
  TSimState s;
  s.AllocateMemory(HundredThousandChains(ptFreeRadical)); // 200 000 slots
  s.FixedSeed = 1u;
  s.InitializeRun();
  // Every fifth of the first 100 000 chains grows to 2048 units (41 MB), as
  // in a free-radical run where long chains have short neighbours. Blocks laid
  // out by chain number would give each later block of these chains most of
  // a 4 KB page: about 200 MB.
  constexpr std::int64_t Units = 20000LL * 2048LL;
  for (std::int32_t chain = 5; chain <= 100000; chain += 5)
    for (std::int32_t k = 0; k < 2048; ++k) s.PropagateStrided(chain, static_cast<std::uint8_t>(k & 1));
  const std::int64_t grown = ResidentBytes() - before;
  // The units, the first-block pages the chains share with their neighbours
  // (12.8 MB), the block table (a 1 KiB row per long chain: 20 MB) and the
  // per-chain arrays (about 7 MB).
  EXPECT_LT(grown, Units * 3 / 2 + 32 * MiB) << "resident growth " << grown << " bytes";
  EXPECT_EQ(s.ChainUnits.BlocksInUse(), 20000u * 16u); // positions 128..2048
  for (std::int32_t chain : {5, 50000, 100000}) {
    ASSERT_EQ(s.ChainDP[static_cast<std::size_t>(chain)], 2048);
    EXPECT_EQ(s.ChainUnits.CountB(chain, 2048), 1024) << "chain " << chain;
  }
}

TEST(ChainStoreMemory, ResetTouchesNoRowAndReturnsUsedPages) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' shadow memory grows the resident set with every page touched";
#endif
  const std::int64_t before = ResidentBytes();
  TSimState s;
  // Living reversible writes head byte 2 for every chain; done for all rows
  // at reset it would touch 100 000 pages (410 MB).
  s.AllocateMemory(HundredThousandChains(ptLivingReversible));
  s.FixedSeed = 1u;
  s.InitializeRun();
  EXPECT_LT(ResidentBytes() - before, 8 * MiB);

  std::int32_t freeA = 1000;
  for (std::int32_t chain = 1; chain <= 100000; chain += 7)
    for (std::int32_t k = 0; k < 300; ++k) s.ReversibleAddA(chain, k == 0 ? ecIA : ecAA, freeA);
  // 14 286 chains x 300 units: every page of the band of first blocks
  // (100 000 x 128 bytes = 12.8 MB) and two later blocks per chain (3.7 MB).
  const std::int64_t used = ResidentBytes() - before;
  EXPECT_GT(used, 14 * MiB);

  // A second reset on the same store drops those pages instead of writing
  // zeros into them.
  s.InitializeRun();
  EXPECT_LT(ResidentBytes() - before, 8 * MiB);
  EXPECT_EQ(s.ChainUnits[8][1], 0);
  EXPECT_EQ(s.ChainUnits[8][0], 0);
}

} // namespace
