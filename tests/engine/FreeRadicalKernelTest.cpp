// The free-radical kernel: its channels, list moves and head bytes, chain
// slots handed out in pairs, the end of a run when nothing can happen, the
// records of each check point, refusals at the longest chain, rate reading,
// and the invariants of the store after whole copolymerization runs.

#include "engine/uKernelSupport.h"
#include "engine/uKernels.h"
#include "params/uErrors.h"
#include "tests/engine/KernelRunSupport.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <stdexcept>

namespace {

using namespace Engine;
using namespace KernelRun;
using TestSupport::TLogCapture;

constexpr std::uint32_t Seed = 20240611u;

TFreeRadicalRates Homopolymerization() {
  TFreeRadicalRates r;
  r.kd = 0.5;
  r.f = 1.0;
  r.kIA = 1e-3;
  r.kAA = 1e-3;
  r.kdAA = 1e-2;
  return r;
}

// Every rate of the 13 channels on, two monomers.
TFreeRadicalRates Copolymerization() {
  TFreeRadicalRates r;
  r.kd = 0.2;
  r.f = 0.6;
  r.kIA = 2e-3;
  r.kIB = 1e-3;
  r.kAA = 1e-3;
  r.kAB = 2e-3;
  r.kBA = 1.5e-3;
  r.kBB = 0.5e-3;
  r.kdAA = 4e-3;
  r.kcAA = 2e-3;
  r.kdAB = 3e-3;
  r.kcAB = 3e-3;
  r.kdBB = 1e-3;
  r.kcBB = 5e-3;
  return r;
}

TEST(FreeRadicalKernel, WithNoPossibleEventTheFirstCheckPointHoldsTheInitialStateAndTheRunEnds) {
  TLogCapture log;
  TSimState s;
  TFreeRadicalRates r = Homopolymerization();
  r.kd = 0.0; // no radicals and no decomposition: the total rate is 0 at the first step
  const TOutcome out = RunKernel(s, Describe(ptFreeRadical, 10, 1000, 0, {0, 10, 20}), r, &SimulateFreeRadical, Seed);

  EXPECT_TRUE(out.Terminated);
  EXPECT_EQ(out.LastCheckPoint, 1);
  EXPECT_EQ(out.Steps, 0u);
  EXPECT_TRUE(log.Contains("Check Point: 1; Time:= 10"));
  EXPECT_FALSE(log.HasPrefix("Check Point: 2"));
  EXPECT_EQ(s.CPInitiator[1], 10);
  EXPECT_EQ(s.CPMonomerA[1], 1000);
  EXPECT_EQ(s.CPMonomerB[1], 0);
  // The interval averaged over has length 0: the counts of the moment (none).
  EXPECT_EQ(s.CPACenters[1], 0.0);
  EXPECT_EQ(s.CPBCenters[1], 0.0);
  EXPECT_FALSE(log.Contains("All Chains Terminated!")) << "ten initiator molecules are left";
  EXPECT_FALSE(log.Contains("All Monomer Consumed!"));
}

TEST(FreeRadicalKernel, ZeroEfficiencyConsumesTheInitiatorWithoutStartingAChain) {
  // Every decomposition consumes its molecule; with f = 0 no radical ever
  // escapes the cage. 50 molecules at kd = 1/s: the initiator decays with kd
  // (binomial, p = exp(-kd t)) and the monomer is never touched.
  TLogCapture log;
  TSimState s;
  TFreeRadicalRates r = Homopolymerization();
  r.f = 0.0;
  r.kd = 1.0;
  const TOutcome out =
      RunKernel(s, Describe(ptFreeRadical, 50, 1000, 0, {0, 0.5, 1, 1.5}), r, &SimulateFreeRadical, Seed);

  for (int k = 1; k <= 3; ++k) {
    const double p = std::exp(-0.5 * k);
    EXPECT_NEAR(s.CPInitiator[k], 50 * p, 5.0 * std::sqrt(50 * p * (1 - p)) + 1) << k;
    EXPECT_LE(s.CPInitiator[k], s.CPInitiator[k - 1]) << k;
    EXPECT_EQ(s.CPMonomerA[k], 1000) << k;
    EXPECT_EQ(s.CPACenters[k], 0.0) << k;
  }
  EXPECT_EQ(out.Events, static_cast<std::uint64_t>(50 - s.InitiatorNumber)) << "each decomposition is an event";
  EXPECT_EQ(s.DPDistribution[0], 100);
  EXPECT_EQ(s.ActiveINumber, 0);
  EXPECT_FALSE(out.Terminated) << "about 11 molecules are left";
  EXPECT_EQ(out.LastCheckPoint, 3);
}

TEST(FreeRadicalKernel, EveryDecompositionConsumesItsMoleculeAndAFractionFStartsTwoChains) {
  // Primary radicals that find no monomer stay where they are: ActiveI then
  // counts every radical formed. 2e5 molecules, kd = 0.1/s, f = 0.3, seen at
  // every check point: [I] follows exp(-kd t) and 2 f of every decomposed
  // molecule became radicals (radicals form at 2 f kd [I]).
  TSimState s;
  TFreeRadicalRates r;
  r.kd = 0.1;
  r.f = 0.3;
  r.kIA = 1.0;
  const std::int32_t n = 200000;
  TCheckPointObserver observer;
  std::vector<std::int32_t> primary(1, 0);
  observer.AtCheckPoint = [&](int) { primary.push_back(s.ActiveINumber); };
  const std::vector<double> times = {0, 2, 5, 10, 20, 40};
  RunKernel(s, Describe(ptFreeRadical, n, 0, 0, times), r, &SimulateFreeRadical, Seed, &observer);
  ASSERT_EQ(primary.size(), times.size());
  for (std::size_t k = 1; k < times.size(); ++k) {
    const double p = std::exp(-r.kd * times[k]);
    const double initiator = s.CPInitiator[k];
    EXPECT_NEAR(initiator, n * p, 5.0 * std::sqrt(n * p * (1 - p))) << times[k];
    // Pairs formed: binomial over the molecules, each decomposed and
    // escaping with probability f (1 - p).
    const double q = r.f * (1 - p);
    EXPECT_EQ(primary[k] % 2, 0);
    EXPECT_NEAR(primary[k] / 2.0, n * q, 5.0 * std::sqrt(n * q * (1 - q))) << times[k];
    // Given the decompositions, the pairs are binomial with f.
    const double decomposed = n - initiator;
    EXPECT_NEAR(primary[k] / 2.0, r.f * decomposed, 5.0 * std::sqrt(decomposed * r.f * (1 - r.f)) + 1) << times[k];
  }
}

TEST(FreeRadicalKernel, DecompositionsHandOutChainSlotsInPairs) {
  TLogCapture log;
  TSimState s;
  TFreeRadicalRates r;
  r.kd = 1.0;
  r.f = 1.0;
  r.kIA = 1.0; // no monomer: primary radicals stay where they are
  const TOutcome out = RunKernel(s, Describe(ptFreeRadical, 3, 0, 0, {0, 1e4}), r, &SimulateFreeRadical, Seed);

  // Three decompositions in order give chains (1, 2), (3, 4), (5, 6); then no
  // initiator and no monomer are left and the run ends.
  EXPECT_TRUE(out.Terminated);
  EXPECT_EQ(out.Events, 3u);
  EXPECT_EQ(s.ActiveINumber, 6);
  EXPECT_EQ(Members(s.ActiveI, 6), (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(s.InitiatorNumber, 0);
  EXPECT_EQ(s.CPInitiator[1], 0);
  const auto lines = log.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Initiator Consumed Totally!"), 1);
  EXPECT_TRUE(log.Contains("All Chains Terminated!"));
  EXPECT_TRUE(log.Contains("All Monomer Consumed!"));
  EXPECT_LT(log.IndexOf("Initiator Consumed Totally!"), log.IndexOf("Check Point: 1; Time:= 10000"));
}

TEST(FreeRadicalKernel, DisproportionatedChainsKeepOneInitiatorEnd) {
  TSimState s;
  const TFreeRadicalRates r = Homopolymerization(); // disproportionation only
  RunKernel(s, Describe(ptFreeRadical, 200, 20000, 0, {0, 2, 4}), r, &SimulateFreeRadical, Seed);

  const std::int32_t handedOut = 2 * (200 - s.InitiatorNumber);
  ASSERT_GT(handedOut, 100);
  std::set<std::int32_t> radicals;
  for (std::int32_t c : Members(s.ActiveI, s.ActiveINumber)) radicals.insert(c);
  for (std::int32_t c : Members(s.ActiveA, s.ActiveANumber)) radicals.insert(c);
  int dead = 0;
  for (std::int32_t c = 1; c <= s.ChainsNumber; ++c) {
    const std::int32_t d = s.ChainDP[static_cast<std::size_t>(c)];
    if (c > handedOut) {
      EXPECT_EQ(d, 0) << "slot " << c << " was never handed out";
      EXPECT_EQ(HeadByte(s, c), 0);
    } else if (d > 0) {
      EXPECT_EQ(HeadByte(s, c), 1) << "chain " << c;
      dead += radicals.count(c) == 0;
    }
  }
  EXPECT_GT(dead, 50);
  ExpectDistributionMatchesStore(s);
}

TEST(FreeRadicalKernel, RecombinationJoinsTwoChainsAndEmptiesOneSlot) {
  TSimState s;
  TFreeRadicalRates r = Homopolymerization();
  r.kcAA = r.kdAA; // recombination only
  r.kdAA = 0.0;
  RunKernel(s, Describe(ptFreeRadical, 200, 20000, 0, {0, 2, 4}), r, &SimulateFreeRadical, Seed);

  const std::int32_t handedOut = 2 * (200 - s.InitiatorNumber);
  std::set<std::int32_t> primary(s.ActiveI.begin(), s.ActiveI.begin() + s.ActiveINumber);
  int products = 0, emptied = 0, growing = 0;
  for (std::int32_t c = 1; c <= handedOut; ++c) {
    const std::uint8_t head = HeadByte(s, c);
    const std::int32_t d = s.ChainDP[static_cast<std::size_t>(c)];
    if (head == 2) {
      ++products;
      EXPECT_GE(d, 2) << "a product holds the units of two chains";
    } else if (head == 1) {
      ++growing; // radicals still growing (terminated single ends do not exist here)
      EXPECT_GE(d, 1);
    } else if (primary.count(c) == 0) {
      ++emptied;
      EXPECT_EQ(d, 0) << "slot " << c << " gave its units to its partner";
    }
  }
  EXPECT_GT(products, 50);
  EXPECT_EQ(products, emptied) << "every recombination empties exactly one slot";
  EXPECT_EQ(growing, s.ActiveANumber);
  ExpectDistributionMatchesStore(s);
}

TEST(FreeRadicalKernel, CountProductsBeyond32BitsStayExact) {
  // 30 000 initiator molecules decompose at once (kd = 1e4 1/s) into 60 000
  // radicals; each takes one of the 200 000 monomer molecules at initiation.
  // Then nA x nA* = 140 000 x 60 000 = 8.4e9, far past 2^31, and without
  // termination the free monomer decays as exp(-kAA nA* t):
  //   kAA = 1e-5: nA(1 s) = 140 000 exp(-0.6) = 76 833,
  // the initiation taking about 1 ms (lag below 0.1 %). The propagations are
  // a thinned Poisson count, sd about sqrt(140000 x 0.45 x 0.55) = 186; a 32-bit
  // product would wrap to a negative rate and derail the run entirely.
  TSimState s;
  TFreeRadicalRates r;
  r.kd = 1e4;
  r.f = 1.0;
  r.kIA = 1e-2;
  r.kAA = 1e-5;
  RunKernel(s, Describe(ptFreeRadical, 30000, 200000, 0, {0, 1}), r, &SimulateFreeRadical, Seed);

  EXPECT_EQ(s.ActiveANumber, 60000);
  EXPECT_NEAR(s.CPMonomerA[1], 76833.0, 5 * 186.0 + 0.002 * 76833.0);
  // The time average of the radicals over the interval: 60 000 after the
  // first millisecond or so.
  EXPECT_NEAR(s.CPACenters[1], 60000.0, 60000.0 * 0.003);
}

TEST(FreeRadicalKernel, ZeroLengthIntervalStoresTheCountsOfTheMoment) {
  TSimState s;
  const TFreeRadicalRates r = Homopolymerization();
  // Check point 1 coincides with check point 0: no event, an interval of
  // length 0, and neither 0/0 nor a skipped record.
  const TOutcome out = RunKernel(s, Describe(ptFreeRadical, 100, 10000, 0, {0, 0, 5}), r, &SimulateFreeRadical, Seed);
  EXPECT_EQ(out.LastCheckPoint, 2);
  EXPECT_EQ(s.CPACenters[1], 0.0);
  EXPECT_EQ(s.CPBCenters[1], 0.0);
  EXPECT_TRUE(std::isfinite(s.CPACenters[2]));
  EXPECT_GT(s.CPACenters[2], 0.0);
}

TEST(FreeRadicalKernel, ChainsAtTheLongestLengthRefuseGrowthAndKeepTheMonomer) {
  TLogCapture log;
  TSimState s;
  TFreeRadicalRates r;
  r.kd = 1e3;
  r.f = 1.0;
  r.kIA = 1.0;
  r.kAA = 1.0;
  // One initiator molecule gives two radicals that share 70 000 monomer
  // molecules without terminating: both reach 32 767 units within about
  // 1.4 s, and every addition after that is refused and leaves its monomer
  // free: 70 000 - 2 x 32 767 = 4 466 molecules stay.
  const TOutcome out = RunKernel(s, Describe(ptFreeRadical, 1, 70000, 0, {0, 5, 10}), r, &SimulateFreeRadical, Seed);

  EXPECT_FALSE(out.Terminated) << "the refused additions keep their rate";
  EXPECT_EQ(s.ChainDP[1], MaxDP);
  EXPECT_EQ(s.ChainDP[2], MaxDP);
  EXPECT_EQ(s.DPDistribution[MaxDP], 2);
  EXPECT_EQ(s.CPMonomerA[1], 70000 - 2 * MaxDP);
  EXPECT_EQ(s.CPMonomerA[2], 70000 - 2 * MaxDP);
  EXPECT_EQ(s.ActiveANumber, 2) << "a refused radical stays a radical";
  const auto lines = log.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Chain DP to big for Propagation!"), 2) << "once per interval";
  EXPECT_TRUE(log.HasPrefix("Chain DP to big for Propagation! (refused "));
  EXPECT_FALSE(log.Contains("All Monomer Consumed!"));
  EXPECT_TRUE(log.Contains("All Chains Terminated!")) << "the initiator is used up";
}

TEST(FreeRadicalKernel, ARefusedUnitGivesTheListMoveBackInOrder) {
  // A radical that changes its kind moves between lists before the store
  // is asked for the unit; a refusal must leave both lists as they were,
  // member order included, so the run goes on exactly as if nothing had
  // been drawn. Every place, the last one included.
  for (std::int32_t o = 0; o < 4; ++o) {
    std::int32_t from[4] = {11, 12, 13, 14}, to[4] = {21, 0, 0, 0};
    std::int32_t nFrom = 4, nTo = 1;
    const std::int32_t chain = MoveChainAt(o, from, nFrom, to, nTo);
    EXPECT_EQ(chain, 11 + o);
    UndoMoveChainAt(o, chain, from, nFrom, nTo);
    EXPECT_EQ(nFrom, 4);
    EXPECT_EQ(nTo, 1);
    EXPECT_EQ(std::vector<std::int32_t>(from, from + 4), (std::vector<std::int32_t>{11, 12, 13, 14})) << o;
  }
}

TEST(FreeRadicalKernel, CopolymerizationKeepsEveryInvariantOfTheStore) {
  TSimState s;
  TLogCapture log;
  TCheckPointObserver observer;
  std::int64_t units0 = 30000 + 20000;
  observer.AtCheckPoint = [&](int k) {
    // Monomer is conserved: free + bound = initial (no refusal in this run).
    std::int64_t a = 0, b = 0;
    CountUnits(s, a, b);
    EXPECT_EQ(a + s.CPMonomerA[k], 30000) << k;
    EXPECT_EQ(b + s.CPMonomerB[k], 20000) << k;
    EXPECT_EQ(a + b + s.CPMonomerA[k] + s.CPMonomerB[k], units0);
  };
  const TFreeRadicalRates r = Copolymerization();
  const TOutcome out =
      RunKernel(s, Describe(ptFreeRadical, 500, 30000, 20000, {0, 1, 2, 4, 8}), r, &SimulateFreeRadical, Seed, &observer);
  EXPECT_EQ(out.LastCheckPoint, 4);
  ExpectDistributionMatchesStore(s);

  // Lists are disjoint; a member's last unit (or its empty chain) matches
  // the list it is in; only handed-out slots appear (at most two for every
  // decomposed molecule).
  const std::int32_t handedOut = 2 * (500 - s.InitiatorNumber);
  std::set<std::int32_t> seen;
  auto check = [&](const TChainList& list, std::int32_t n, int kind) {
    for (std::int32_t c : Members(list, n)) {
      EXPECT_TRUE(seen.insert(c).second) << "chain " << c << " is in two lists";
      EXPECT_GE(c, 1);
      EXPECT_LE(c, handedOut);
      if (kind < 0) {
        EXPECT_EQ(s.ChainDP[static_cast<std::size_t>(c)], 0);
        EXPECT_EQ(HeadByte(s, c), 0);
      } else {
        EXPECT_EQ(LastUnit(s, c), kind) << "chain " << c;
        EXPECT_EQ(HeadByte(s, c), 1);
      }
    }
  };
  check(s.ActiveI, s.ActiveINumber, -1);
  check(s.ActiveA, s.ActiveANumber, UnitA);
  check(s.ActiveB, s.ActiveBNumber, UnitB);
  // Every decomposition consumes its molecule, so the initiator decays as
  // exp(-kd t) whatever f: 500 exp(-0.2 x 8) = 100.9, binomial sd 9.0.
  EXPECT_NEAR(s.CPInitiator[4], 100.9, 5 * 9.0);
  EXPECT_FALSE(log.Contains("Recombination give to big DP! Change some parameters!"));
}

TEST(FreeRadicalKernel, TheSameSeedRepeatsTheRunExactly) {
  TSimState s;
  const TFreeRadicalRates r = Copolymerization();
  const TRunDescription d = Describe(ptFreeRadical, 300, 20000, 10000, {0, 1, 3});
  RunKernel(s, d, r, &SimulateFreeRadical, 77);
  const std::vector<std::uint16_t> firstDP = s.ChainDP;
  const std::vector<std::int32_t> firstA = s.CPMonomerA;
  const std::vector<double> firstCentres = s.CPACenters;
  RunKernel(s, d, r, &SimulateFreeRadical, 77);
  EXPECT_EQ(s.ChainDP, firstDP);
  EXPECT_EQ(s.CPMonomerA, firstA);
  EXPECT_EQ(s.CPACenters, firstCentres);
  RunKernel(s, d, r, &SimulateFreeRadical, 78);
  EXPECT_NE(s.ChainDP, firstDP);
}

TEST(FreeRadicalKernel, ARunWithoutMonomerBTakesTheEventsOfOneWhoseBNeverReacts) {
  // Recombination and disproportionation both on.
  TFreeRadicalRates r = Homopolymerization();
  r.f = 0.7;
  r.kcAA = 2e-2;
  const std::int64_t units = ExpectSameEventsWithoutBAndWithInertB(
      Describe(ptFreeRadical, 400, 30000, 0, {0, 2, 5, 12}), r, &SimulateFreeRadical, 91);
  EXPECT_GT(units, 5000);
}

TEST(FreeRadicalKernel, StopEndsTheRunAfterTheCurrentEventAndRecordsTheStateReached) {
  // Requested before the first event, Stop lets that one event complete (a
  // decomposition: nothing else can happen yet) and the state of that moment
  // is recorded under check point 1.
  TLogCapture log;
  TSimState s;
  s.FixedSeed = Seed;
  s.AllocateMemory(Describe(ptFreeRadical, 200, 20000, 0, {0, 3, 6, 9}));
  const Params::TParameterFile noFile("");
  TRunControl control;
  TSimRun run(s, noFile, control);
  control.Terminate();
  SimulateFreeRadical(run, Homopolymerization());
  EXPECT_EQ(run.CurrentCheckPoint(), 1);
  EXPECT_EQ(run.Steps(), 1u);
  EXPECT_LT(run.ProgressTime(), 3.0);
  EXPECT_EQ(s.CPInitiator[1], 199);
  EXPECT_EQ(s.CPMonomerA[1], 20000);
  EXPECT_EQ(s.ActiveINumber, 2);
  EXPECT_TRUE(log.Contains("Check Point: 1; Time:= 3"));
  EXPECT_FALSE(log.HasPrefix("Check Point: 2"));
}

// ---- reading the constants -----------------------------------------------

const char* AllFourteen = "A*A=1\r\nA*B=2\r\nB*A=3\r\nB*B=4\r\nI*A=5\r\nI*B=6\r\nDisprAA=7\r\nDisprAB=8\r\n"
                          "DisprBB=9\r\nRecombAA=10\r\nRecombAB=11\r\nRecombBB=12\r\nInitDecomposit=1,5E-5\r\n"
                          "InitiationEfficiency=0.6\r\n";

TEST(FreeRadicalRates, EveryKeyReachesItsChannelWithEitherSeparator) {
  const TTempText kpx(RatesFileText(AllFourteen));
  const Params::TParameterFile file(kpx.Path());
  const TFreeRadicalRates r = ReadFreeRadicalRates(file);
  EXPECT_EQ(r.kAA, 1);
  EXPECT_EQ(r.kAB, 2);
  EXPECT_EQ(r.kBA, 3);
  EXPECT_EQ(r.kBB, 4);
  EXPECT_EQ(r.kIA, 5);
  EXPECT_EQ(r.kIB, 6);
  EXPECT_EQ(r.kdAA, 7);
  EXPECT_EQ(r.kdAB, 8);
  EXPECT_EQ(r.kdBB, 9);
  EXPECT_EQ(r.kcAA, 10);
  EXPECT_EQ(r.kcAB, 11);
  EXPECT_EQ(r.kcBB, 12);
  EXPECT_DOUBLE_EQ(r.kd, 1.5e-5);
  EXPECT_DOUBLE_EQ(r.f, 0.6);
}

TEST(FreeRadicalRates, AMissingValueIsAConversionError) {
  std::string text = AllFourteen;
  text.erase(text.find("RecombAB=11\r\n"), 13);
  const TTempText kpx(RatesFileText(text));
  const Params::TParameterFile file(kpx.Path());
  try {
    ReadFreeRadicalRates(file);
    FAIL() << "no error";
  } catch (const Propagon::EConvertError& e) {
    EXPECT_STREQ(e.what(), "Rate constant \"RecombAB\" is missing or not a number");
    EXPECT_EQ(e.Field(), "SimulationRates/RecombAB");
  }
}

TEST(FreeRadicalRates, ANegativeRateIsRefusedWithItsKey) {
  std::string text = AllFourteen;
  text.replace(text.find("B*B=4"), 5, "B*B=-4");
  const TTempText kpx(RatesFileText(text));
  const Params::TParameterFile file(kpx.Path());
  try {
    ReadFreeRadicalRates(file);
    FAIL() << "no error";
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("\"B*B\""), std::string::npos) << e.what();
  }
}

} // namespace
