// The living polymerization kernel, run synchronously on a state of its own:
// the store's invariants after random runs with segment exchange, the
// records of each check point, determinism of a seed, the Poisson
// distribution of an ideal living polymerization and the MaxDP limit.

#include "engine/uKernels.h"
#include "engine/uSimThread.h"
#include "params/uErrors.h"
#include "params/uParamFile.h"
#include "tests/engine/LivingRunFile.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <stdexcept>
#include <vector>

namespace {

using namespace Engine;
using LivingRun::ExpectLivingInvariants;
using LivingRun::TLivingFile;
using LivingRun::TTempFile;
using TestSupport::TLogCapture;

// Counts the notifications and checks the state seen during each check-point
// call.
class TCheckingObserver : public TSimObserver {
public:
  explicit TCheckingObserver(const TSimState& state) : FState(state) {}
  int UnitsDrawn = 0, Segments = 0, OneChain = 0, TwoChains = 0, Summaries = 0, Updates = 0;
  std::vector<int> DrawnChains;
  std::vector<std::int32_t> FreeAAtCheckPoint, FreeBAtCheckPoint;

  void DrawUnit(int chain, int position, int kind) override {
    ++UnitsDrawn;
    DrawnChains.push_back(chain);
    // The unit is already in the store when the view is told.
    EXPECT_EQ(FState.ChainDP[static_cast<std::size_t>(chain)], position);
    EXPECT_EQ(FState.ChainUnits[chain][position], kind);
  }
  void DrawSegment(int, int, int) override { ++Segments; }
  void ShowOneChainChange() override {
    ++OneChain;
    EXPECT_EQ(FState.LastDPChange.ToDP2, FState.LastDPChange.FromDP1 + 1);
  }
  void ShowTwoChainsChange() override {
    ++TwoChains;
    const TDPChange& c = FState.LastDPChange;
    // Units only move: the two chains hold as many units after as before.
    EXPECT_EQ(c.FromDP1 + c.FromDP2, c.ToDP1 + c.ToDP2);
  }
  void DisplaySimulSummary(int) override { ++Summaries; }
  void UpdateUserInterface(int) override {
    ++Updates;
    std::int32_t a = 0, b = 0;
    ExpectLivingInvariants(FState, &a, &b);
    FreeAAtCheckPoint.push_back(a);
    FreeBAtCheckPoint.push_back(b);
  }

private:
  const TSimState& FState;
};

// Allocates the state from the file and runs the kernel on this thread.
struct TSynchronousRun {
  TSimState State;
  TCheckingObserver Observer{State};
  TRunControl Control;

  void Run(const std::string& path, std::uint32_t seed, std::uint8_t liveViews = 0) {
    Params::TParameterFile file(path);
    State.Observer = &Observer;
    State.FixedSeed = seed;
    State.LiveViews.store(liveViews);
    State.AllocateMemory(file);
    TSimRun run(State, file, Control);
    SimulateLiving(run);
    Steps = run.Steps();
    Events = run.Events();
  }
  std::uint64_t Steps = 0, Events = 0;
};

// A copolymerization with every reaction possible: propagation of both
// monomers and segment transfer from every kind of end to every kind of unit.
TLivingFile Copolymerization() {
  TLivingFile fileDesc;
  fileDesc.Chains = 60;
  fileDesc.MonomerA = 3000;
  fileDesc.MonomerB = 2000;
  fileDesc.TimeInterval = "0.01";
  fileDesc.Rates = {{"I*A", "1"},    {"A*A", "0.8"},  {"B*A", "0.3"},   {"I*B", "0.6"},
                {"A*B", "0.5"},  {"B*B", "1"},    {"I*Ac", "0.05"}, {"A*Ac", "0.02"},
                {"B*Ac", "0.04"}, {"I*Bc", "0.03"}, {"A*Bc", "0.05"}, {"B*Bc", "0.01"}};
  fileDesc.CheckPoints = {"0", "50", "200", "600", "1500", "4000"};
  return fileDesc;
}

TEST(LivingKernel, KeepsTheStoreConsistentThroughPropagationAndSegmentExchange) {
  TTempFile file(Copolymerization());
  for (std::uint32_t seed : {1u, 77u, 4242u}) {
    TSynchronousRun r;
    r.Run(file.Path(), seed, TSimState::lvStructure | TSimState::lvDistribution);
    const TSimState& s = r.State;
    ASSERT_EQ(r.Observer.Updates, 5) << "one update per check point after index 0";
    EXPECT_EQ(r.Observer.Summaries, 5);

    // The invariants hold at the end, and at every check point (checked by
    // the observer); the records agree with the store.
    std::int32_t freeA = 0, freeB = 0;
    ExpectLivingInvariants(s, &freeA, &freeB);
    EXPECT_EQ(s.CPMonomerA[5], freeA);
    EXPECT_EQ(s.CPMonomerB[5], freeB);
    for (int k = 1; k <= 5; ++k) {
      EXPECT_EQ(s.CPMonomerA[static_cast<std::size_t>(k)], r.Observer.FreeAAtCheckPoint[static_cast<std::size_t>(k) - 1]);
      EXPECT_EQ(s.CPMonomerB[static_cast<std::size_t>(k)], r.Observer.FreeBAtCheckPoint[static_cast<std::size_t>(k) - 1]);
      EXPECT_EQ(s.CPDeadChains[static_cast<std::size_t>(k)], 0);
    }
    // Chains without units are the recorded initiator count; the centres
    // are the chains ending in A and in B.
    std::int32_t empty = 0, endA = 0, endB = 0;
    for (std::int32_t i = 1; i <= s.ChainsNumber; ++i) {
      const std::int32_t dp = s.ChainDP[static_cast<std::size_t>(i)];
      if (dp == 0) {
        ++empty;
        EXPECT_EQ(s.ChainEndMer[static_cast<std::size_t>(i)], 0);
      } else {
        (s.ChainUnits[i][dp] == UnitA ? endA : endB) += 1;
      }
    }
    EXPECT_EQ(s.CPInitiator[5], empty);
    EXPECT_EQ(s.CPACenters[5], endA);
    EXPECT_EQ(s.CPBCenters[5], endB);
    EXPECT_EQ(endA + endB + empty, s.ChainsNumber);

    // Both kinds of event happened, and each was notified once: a unit per
    // propagation, a segment per transfer.
    EXPECT_GT(r.Observer.UnitsDrawn, 0);
    EXPECT_GT(r.Observer.Segments, 0);
    EXPECT_EQ(r.Observer.OneChain, r.Observer.UnitsDrawn);
    EXPECT_EQ(r.Observer.TwoChains, r.Observer.Segments);
    EXPECT_EQ(r.Events, static_cast<std::uint64_t>(r.Observer.OneChain + r.Observer.TwoChains));
    // Propagations consumed exactly the monomer that is gone.
    EXPECT_EQ(r.Observer.OneChain, 5000 - freeA - freeB);
  }
}

TEST(LivingKernel, AdvancesTheClockByOneIntervalPerAttempt) {
  TLivingFile fileDesc = Copolymerization();
  fileDesc.TimeInterval = "0.25";
  fileDesc.CheckPoints = {"0", "10", "10", "30.1"};
  TTempFile file(fileDesc);
  TSynchronousRun r;
  r.Run(file.Path(), 5);
  // t advances by 0.25 per attempt while t < CheckPointTime[k]: 40 attempts
  // reach 10 exactly, the repeated check point adds none, and 30.1 needs
  // ceil(30.1 / 0.25) = 121 in all (0.25 x 120 = 30 is still below 30.1).
  EXPECT_EQ(r.Steps, 121u);
}

TEST(LivingKernel, WithAllProbabilitiesZeroRecordsTheInitialStateAtEveryCheckPoint) {
  TLivingFile fileDesc;
  fileDesc.Chains = 10;
  fileDesc.MonomerA = 200;
  fileDesc.MonomerB = 100;
  fileDesc.CheckPoints = {"0", "0.5", "1"};
  TTempFile file(fileDesc);
  TSynchronousRun r;
  r.Run(file.Path(), 9);
  const TSimState& s = r.State;
  EXPECT_EQ(r.Steps, 1000u) << "the clock advances even though nothing reacts";
  EXPECT_EQ(r.Events, 0u);
  for (std::size_t k = 0; k <= 2; ++k) {
    EXPECT_EQ(s.CPInitiator[k], 10);
    EXPECT_EQ(s.CPMonomerA[k], 200);
    EXPECT_EQ(s.CPMonomerB[k], 100);
    EXPECT_EQ(s.CPACenters[k], 0.0);
    EXPECT_EQ(s.CPBCenters[k], 0.0);
  }
  EXPECT_EQ(s.DPDistribution[0], 10);
}

TEST(LivingKernel, BareInitiatorEndsReactThroughTheThirdColumn) {
  // Only I* reacts: every chain takes exactly one unit (A or B, in the ratio
  // of the free monomers picked) and then stops growing, because A* and B*
  // have probability 0.
  TLivingFile fileDesc;
  fileDesc.Chains = 50;
  fileDesc.MonomerA = 500;
  fileDesc.MonomerB = 500;
  fileDesc.Rates = {{"I*A", "1"}, {"I*B", "1"}};
  fileDesc.CheckPoints = {"0", "100"};
  TTempFile file(fileDesc);
  TSynchronousRun r;
  r.Run(file.Path(), 3);
  const TSimState& s = r.State;
  EXPECT_EQ(s.DPDistribution[1], 50);
  EXPECT_EQ(s.CPInitiator[1], 0);
  EXPECT_EQ(s.CPMonomerA[1] + s.CPMonomerB[1], 950);
  EXPECT_EQ(s.CPACenters[1] + s.CPBCenters[1], 50.0);
  EXPECT_GT(s.CPACenters[1], 0.0);
  EXPECT_GT(s.CPBCenters[1], 0.0);
}

TEST(LivingKernel, SegmentTransferFromTheFirstUnitEmptiesTheGivingChain) {
  // Two chains, two A mers. Only I* propagates (I*A = 1, A*A = 0), so each
  // chain takes exactly one unit; then only A* attacks units (A*Ac = 1). The
  // unit of a chain of DP 1 is its first, so the transfer moves the whole
  // chain: the giver is left without units (an I* end again, counted in
  // CPInitiator) and the receiver holds both. Nothing can happen after that:
  // the receiver only finds its own units, the empty chain has I*Ac = 0.
  TLivingFile fileDesc;
  fileDesc.Chains = 2;
  fileDesc.MonomerA = 2;
  fileDesc.Rates = {{"I*A", "1"}, {"A*Ac", "1"}};
  fileDesc.CheckPoints = {"0", "5"};
  TTempFile file(fileDesc);
  TSynchronousRun r;
  r.Run(file.Path(), 11, TSimState::lvStructure | TSimState::lvDistribution);
  const TSimState& s = r.State;
  ExpectLivingInvariants(s);
  EXPECT_EQ(r.Events, 3u) << "two propagations and one transfer";
  EXPECT_EQ(r.Observer.Segments, 1);
  ASSERT_EQ(s.DPDistribution[2], 1);
  EXPECT_EQ(s.DPDistribution[0], 1);
  const std::int32_t empty = s.ChainDP[1] == 0 ? 1 : 2;
  EXPECT_EQ(s.ChainEndMer[static_cast<std::size_t>(empty)], 0);
  EXPECT_EQ(s.CPInitiator[1], 1);
  EXPECT_EQ(s.CPACenters[1], 1.0);
}

TEST(LivingKernel, TheSameSeedRepeatsTheRunExactly) {
  TTempFile file(Copolymerization());
  TSynchronousRun first, second, other;
  first.Run(file.Path(), 2024);
  second.Run(file.Path(), 2024);
  other.Run(file.Path(), 2025);
  EXPECT_EQ(first.State.SeedUsed, 2024u);
  EXPECT_EQ(first.Steps, second.Steps);
  EXPECT_EQ(first.Events, second.Events);
  EXPECT_EQ(first.State.DPDistribution, second.State.DPDistribution);
  EXPECT_EQ(first.State.CPMonomerA, second.State.CPMonomerA);
  EXPECT_EQ(first.State.CPMonomerB, second.State.CPMonomerB);
  EXPECT_EQ(first.State.CPACenters, second.State.CPACenters);
  bool sequencesDiffer = false;
  for (std::int32_t i = 1; i <= first.State.ChainsNumber; ++i) {
    EXPECT_EQ(LivingRun::Units(first.State, i), LivingRun::Units(second.State, i)) << "chain " << i;
    sequencesDiffer = sequencesDiffer || LivingRun::Units(first.State, i) != LivingRun::Units(other.State, i);
  }
  EXPECT_TRUE(sequencesDiffer) << "another seed must give another run";
}

// Upper 0.9999 quantile of the chi-square distribution with df degrees of
// freedom, by the Wilson-Hilferty approximation:
// df (1 - 2/(9 df) + z sqrt(2/(9 df)))^3 with z = 3.719 (normal 0.9999 quantile).
double ChiSquareQuantile9999(int df) {
  const double c = 2.0 / (9.0 * df);
  return df * std::pow(1.0 - c + 3.719 * std::sqrt(c), 3.0);
}

TEST(LivingKernel, IdealLivingPolymerizationGivesAPoissonDistribution) {
  // P(I*A) = P(A*A) = 1 and no transfer: each attempt that picks a free mer
  // adds it to a chain chosen uniformly, whatever the chain's length. With
  // all K = 100000 units placed on N = 1000 chains, each DP is binomial
  // (K, 1/N): mean 100, variance K (1/N)(1 - 1/N) = 99.9 - the Poisson
  // distribution of the ideal living polymerization with nu = 100.
  TLivingFile fileDesc;
  fileDesc.Chains = 1000;
  fileDesc.MonomerA = 100000;
  fileDesc.TimeInterval = "1";
  fileDesc.Rates = {{"I*A", "1"}, {"A*A", "1"}};
  // About 100000 x ln(100000) = 1.15e6 attempts pick every mer once; 4e6
  // leave a chance of exp(-40) per mer of staying free.
  fileDesc.CheckPoints = {"0", "4000000"};
  TTempFile file(fileDesc);
  TSynchronousRun r;
  r.Run(file.Path(), 12345);
  const TSimState& s = r.State;
  ASSERT_EQ(s.CPMonomerA[1], 0) << "full conversion expected";

  const double n = 1000.0, mean = 100.0;
  double sum2 = 0.0;
  for (std::int32_t i = 1; i <= s.ChainsNumber; ++i) {
    const double d = s.ChainDP[static_cast<std::size_t>(i)] - mean;
    sum2 += d * d;
  }
  const double variance = sum2 / n; // the mean is exactly 100 (all units placed)
  // The sample variance of 1000 Poisson(100) values has a standard error of
  // about sqrt((mu4 - sigma^4) / n) = sqrt((3 x 100^2 + 100 - 100^2) / 1000)
  // = 4.48; 5 standard errors of tolerance.
  EXPECT_NEAR(variance, 99.9, 5 * 4.48);

  // Chi-square of the histogram against the binomial counts, over bins with
  // at least 5 expected chains (the tails pooled into the outer bins).
  std::vector<double> expected(static_cast<std::size_t>(MaxDP) + 1, 0.0);
  double logP = 100000 * std::log1p(-0.001); // P(DP = 0)
  for (int d = 0; d <= 400; ++d) {
    expected[static_cast<std::size_t>(d)] = n * std::exp(logP);
    logP += std::log((100000.0 - d) / (d + 1.0)) + std::log(0.001 / 0.999);
  }
  double chi2 = 0.0, observedTail = 0.0, expectedTail = 0.0;
  int bins = 0;
  int low = 0;
  while (expected[static_cast<std::size_t>(low)] < 5.0) ++low;
  int high = 400;
  while (expected[static_cast<std::size_t>(high)] < 5.0) --high;
  for (int d = 0; d <= MaxDP; ++d) {
    const double o = s.DPDistribution[static_cast<std::size_t>(d)];
    const double e = d <= 400 ? expected[static_cast<std::size_t>(d)] : 0.0;
    if (d <= low || d >= high) {
      observedTail += o;
      expectedTail += e;
      if (d == low || d == MaxDP) {
        chi2 += (observedTail - expectedTail) * (observedTail - expectedTail) / expectedTail;
        ++bins;
        observedTail = expectedTail = 0.0;
      }
      continue;
    }
    chi2 += (o - e) * (o - e) / e;
    ++bins;
  }
  EXPECT_LT(chi2, ChiSquareQuantile9999(bins - 1)) << "bins " << bins;
}

TEST(LivingKernel, SkipsPropagationAndTransferBeyondMaxDP) {
  // One chain and more monomer than a row holds: it grows to 32767 units and
  // the remaining propagations are refused with the log line; the monomer
  // they would have used stays free.
  TLogCapture log;
  TLivingFile fileDesc;
  fileDesc.Chains = 1;
  fileDesc.MonomerA = 33000;
  fileDesc.TimeInterval = "1";
  fileDesc.Rates = {{"I*A", "1"}, {"A*A", "1"}};
  fileDesc.CheckPoints = {"0", "1000000"};
  {
    TTempFile file(fileDesc);
    TSynchronousRun r;
    r.Run(file.Path(), 8);
    EXPECT_EQ(r.State.ChainDP[1], MaxDP);
    EXPECT_EQ(r.State.CPMonomerA[1], 33000 - MaxDP);
    ExpectLivingInvariants(r.State);
    EXPECT_TRUE(log.Contains("Chain DP to big for Propagation!"));
  }

  // Two chains exchanging segments while they hold more units together than
  // one row can: a transfer that would overfill the receiving row is
  // refused, and the mers of the segment stay in the giving chain (checked by
  // the invariants: every mer's Chain is the chain it is linked into).
  fileDesc.Chains = 2;
  fileDesc.MonomerA = 40000;
  fileDesc.Rates = {{"I*A", "1"}, {"A*A", "1"}, {"A*Ac", "0.002"}};
  fileDesc.CheckPoints = {"0", "300000"};
  TLogCapture transferLog;
  TTempFile file(fileDesc);
  TSynchronousRun r;
  r.Run(file.Path(), 21);
  const TSimState& s = r.State;
  ExpectLivingInvariants(s);
  EXPECT_LE(s.ChainDP[1], MaxDP);
  EXPECT_LE(s.ChainDP[2], MaxDP);
  EXPECT_GT(s.ChainDP[1] + s.ChainDP[2], MaxDP) << "the run must have pushed against the limit";
  // For this seed no chain reaches the limit by propagation; the refusals
  // logged are those of transfers (62 of them).
  EXPECT_TRUE(transferLog.Contains("Chain DP to big for Propagation!"));
}

TEST(LivingKernel, DrawsUnitsOnlyForTheChainsTheViewShows) {
  // 2100 chains: the microstructure view shows chains 1..2046 only, while the
  // DP distribution view hears of every propagation.
  TLivingFile fileDesc;
  fileDesc.Chains = 2100;
  fileDesc.MonomerA = 8000;
  fileDesc.TimeInterval = "1";
  fileDesc.Rates = {{"I*A", "1"}, {"A*A", "1"}};
  fileDesc.CheckPoints = {"0", "20000"};
  TTempFile file(fileDesc);
  TSynchronousRun r;
  r.Run(file.Path(), 4, TSimState::lvStructure | TSimState::lvDistribution);
  const TSimState& s = r.State;
  std::int64_t shownUnits = 0, allUnits = 0;
  for (std::int32_t i = 1; i <= s.ChainsNumber; ++i) {
    allUnits += s.ChainDP[static_cast<std::size_t>(i)];
    if (i < StructureDisplayLimit) shownUnits += s.ChainDP[static_cast<std::size_t>(i)];
  }
  EXPECT_EQ(r.Observer.UnitsDrawn, shownUnits);
  EXPECT_EQ(r.Observer.OneChain, allUnits);
  for (int chain : r.Observer.DrawnChains) ASSERT_LT(chain, StructureDisplayLimit);
}

TEST(LivingKernel, RefusesATimeIntervalThatCannotAdvanceTheClock) {
  for (const char* interval : {"0", "-1"}) {
    TLivingFile fileDesc;
    fileDesc.TimeInterval = interval;
    TTempFile file(fileDesc);
    TSynchronousRun r;
    EXPECT_THROW(r.Run(file.Path(), 1), std::exception) << interval;
  }
}

TEST(LivingKernel, RefusesANegativeOrMissingProbabilityWithItsKey) {
  // A negative probability is refused as the other kernels refuse a negative
  // rate constant, and a missing one is named rather than read as ''.
  TLivingFile negative;
  negative.Rates = {{"I*A", "1"}, {"A*Bc", "-0.5"}};
  TTempFile negativeFile(negative);
  try {
    ReadLivingRates(Params::TParameterFile(negativeFile.Path()));
    FAIL() << "no error";
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("\"A*Bc\""), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("negative"), std::string::npos) << e.what();
  }
  TLivingFile missing;
  missing.Rates = {{"I*A", "1"}, {"B*B", ""}};
  TTempFile missingFile(missing);
  try {
    ReadLivingRates(Params::TParameterFile(missingFile.Path()));
    FAIL() << "no error";
  } catch (const Propagon::EConvertError& e) {
    EXPECT_STREQ(e.what(), "Rate constant \"B*B\" is missing or not a number");
  }
  TLivingFile noInterval;
  noInterval.TimeInterval = "";
  TTempFile noIntervalFile(noInterval);
  try {
    ReadLivingRates(Params::TParameterFile(noIntervalFile.Path()));
    FAIL() << "no error";
  } catch (const Propagon::EConvertError& e) {
    EXPECT_STREQ(e.what(), "\"TimeInterval\" of section \"ChemicalRates\" is missing or not a number");
  }
}

} // namespace
