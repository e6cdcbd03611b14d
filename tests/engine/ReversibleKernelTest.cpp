// The living reversible kernel: end codes against the chains they describe,
// the slice adaptation, slices cut at check points, ends that can do nothing,
// the end of the run when the monomer is gone, the longest chain, the plain
// rate reader, and the equilibrium monomer concentration kdp/kp.

#include "engine/uKernels.h"
#include "params/uErrors.h"
#include "params/uNumberFormat.h"
#include "tests/engine/KernelRunSupport.h"
#include "tests/engine/KineticsReference.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace Engine;
using namespace KernelRun;
using TestSupport::TLogCapture;
namespace KR = KineticsReference;

constexpr std::uint32_t Seed = 8675309u;

// All twelve constants on, different from each other.
TReversibleRates Copolymerization() {
  TReversibleRates r;
  r.kIA = 2e-3;
  r.kIB = 1e-3;
  r.kAA = 1e-3;
  r.kAB = 2e-3;
  r.kBA = 1.5e-3;
  r.kBB = 0.5e-3;
  r.kIAr = 3.0;
  r.kIBr = 1.0;
  r.kAAr = 2.0;
  r.kABr = 0.5;
  r.kBAr = 1.5;
  r.kBBr = 4.0;
  return r;
}

// The code a chain's end must carry: 2 x penultimate + terminal, the
// initiator counting as 2 (6 for a chain without units).
std::uint8_t ExpectedCode(const TSimState& s, std::int32_t chain) {
  const std::int32_t d = s.ChainDP[static_cast<std::size_t>(chain)];
  if (d == 0) return ecI;
  const TChainRow row = s.ChainUnits[chain];
  const std::uint8_t penultimate = d == 1 ? std::uint8_t{2} : row[d - 1];
  return static_cast<std::uint8_t>(2 * penultimate + row[d]);
}

TEST(ReversibleKernel, EndCodesDescribeTheChainEndsThroughoutACopolymerization) {
  TLogCapture log;
  TSimState s;
  const std::int32_t chains = 300, a0 = 20000, b0 = 10000;
  TCheckPointObserver observer;
  observer.AtCheckPoint = [&](int k) {
    const std::size_t i = static_cast<std::size_t>(k);
    int bare = 0, endsA = 0, endsB = 0;
    for (std::int32_t c = 1; c <= chains; ++c) {
      const std::uint8_t code = s.ChainEndCode[static_cast<std::size_t>(c)];
      ASSERT_EQ(code, ExpectedCode(s, c)) << "chain " << c << " at check point " << k;
      if (s.ChainDP[static_cast<std::size_t>(c)] > 0) {
        EXPECT_EQ(HeadByte(s, c), 2) << "chain " << c;
      }
      bare += code == ecI;
      endsA += code == ecAA || code == ecBA || code == ecIA;
      endsB += code == ecAB || code == ecBB || code == ecIB;
    }
    EXPECT_EQ(s.CPInitiator[i], bare);
    EXPECT_EQ(s.CPACenters[i], endsA);
    EXPECT_EQ(s.CPBCenters[i], endsB);
    EXPECT_EQ(s.CPDeadChains[i], 0);
    std::int64_t a = 0, b = 0;
    CountUnits(s, a, b);
    EXPECT_EQ(a + s.CPMonomerA[i], a0);
    EXPECT_EQ(b + s.CPMonomerB[i], b0);
    ExpectDistributionMatchesStore(s);
  };
  const TOutcome out = RunKernel(s, Describe(ptLivingReversible, chains, a0, b0, {0, 0.5, 1, 2, 4, 8}), Copolymerization(),
                           &SimulateLivingReversible, Seed, &observer);
  EXPECT_EQ(observer.LastCheckPoint, 5);
  EXPECT_FALSE(out.Terminated);
  EXPECT_GT(out.Events, 10000u);
  // Check point 0 is logged by the kernel itself before the first slice.
  EXPECT_EQ(log.IndexOf("Check Point: 0; Time:= 0"), log.IndexOf("Check Point: 1; Time:= 0.5") - 1);
}

TEST(ReversibleKernel, SliceLengthAimsAtHalfAnEventPerChain) {
  // 100 chains aim at 50 events per slice.
  EXPECT_DOUBLE_EQ(AdaptReversibleSlice(1.0, 80, 100), 50.0 / 80.0);
  EXPECT_DOUBLE_EQ(AdaptReversibleSlice(1.0, 40, 100), 1.02);
  EXPECT_DOUBLE_EQ(AdaptReversibleSlice(1.0, 50, 100), 1.02) << "exactly on target lengthens";
  EXPECT_DOUBLE_EQ(AdaptReversibleSlice(2.0, 0, 100), 2.04);
  EXPECT_DOUBLE_EQ(AdaptReversibleSlice(0.3, 1000, 100), 0.3 * 100 * 0.5 / 1000);
  // 2 x 10^5 chains with 15 000 events each in a first slice: 3 x 10^9
  // events, past 2^31. The count is 64-bit, so the slice shrinks to the
  // target instead of growing on a wrapped, negative count.
  const std::int64_t many = 3000000000;
  EXPECT_DOUBLE_EQ(AdaptReversibleSlice(1.0, many, 200000), 200000 * 0.5 / 3e9);
  EXPECT_LT(AdaptReversibleSlice(1.0, std::int64_t{1} << 32, 200000), 1.0);
}

// A homopolymer near equilibrium: about 4 events per chain and second.
TReversibleRates NearEquilibrium() {
  TReversibleRates r;
  r.kIA = r.kAA = 1e-3;
  r.kIAr = r.kAAr = 2.0;
  return r;
}

TEST(ReversibleKernel, SlicesCutAtCheckPointsEndExactlyThereAndResumeTheirLength) {
  TSimState s;
  // Check points 1 and 2 lie a ten-thousandth of a second apart, far closer
  // than a slice: both intervals are cut slices in a row. The slice length
  // of before comes back afterwards; a run that went on from the cut length
  // (growing 2 % per slice) would draw many times more waiting times.
  const TOutcome plain =
      RunKernel(s, Describe(ptLivingReversible, 1000, 10000, 0, {0, 4, 6}), NearEquilibrium(), &SimulateLivingReversible, Seed);
  const TOutcome cut = RunKernel(s, Describe(ptLivingReversible, 1000, 10000, 0, {0, 4, 4.0001, 4.0002, 6}), NearEquilibrium(),
                           &SimulateLivingReversible, Seed);
  EXPECT_EQ(plain.TimeReached, 6.0) << "the last slice ends on the check point, not a rounding step off it";
  EXPECT_EQ(cut.TimeReached, 6.0);
  EXPECT_EQ(cut.LastCheckPoint, 4);
  EXPECT_LT(static_cast<double>(cut.Steps), 1.2 * static_cast<double>(plain.Steps))
      << "steps " << cut.Steps << " against " << plain.Steps;
}

TEST(ReversibleKernel, AFirstCheckPointAtTimeZeroStillLetsTheClockRun) {
  // The first slice is half the first check point time: 0 here. The run must
  // still reach the later check points rather than spin on slices of length 0.
  TSimState s;
  const TOutcome out = RunKernel(s, Describe(ptLivingReversible, 100, 5000, 0, {0, 0, 3}), NearEquilibrium(),
                           &SimulateLivingReversible, Seed);
  EXPECT_EQ(out.LastCheckPoint, 2);
  EXPECT_EQ(out.TimeReached, 3.0);
  EXPECT_GT(out.Events, 100u);
  EXPECT_EQ(s.CPMonomerA[1], 5000) << "nothing happens before time 0";
}

TEST(ReversibleKernel, EndsThatCanDoNothingWaitOutEverySlice) {
  // No constant for a bare initiator end: with every chain bare, the total
  // rate of every chain is 0. The run goes through its check points with
  // nothing changed (and without infinite waiting times).
  TLogCapture log;
  TSimState s;
  TReversibleRates r = NearEquilibrium();
  r.kIA = 0.0;
  const TOutcome out =
      RunKernel(s, Describe(ptLivingReversible, 50, 1000, 0, {0, 1, 2, 3}), r, &SimulateLivingReversible, Seed);
  EXPECT_EQ(out.LastCheckPoint, 3);
  EXPECT_FALSE(out.Terminated);
  EXPECT_EQ(out.Steps, 0u);
  EXPECT_EQ(out.TimeReached, 3.0);
  for (int k = 1; k <= 3; ++k) {
    EXPECT_EQ(s.CPInitiator[k], 50);
    EXPECT_EQ(s.CPMonomerA[k], 1000);
  }
}

TEST(ReversibleKernel, TheRunEndsOnceNoFreeMonomerIsLeft) {
  TLogCapture log;
  TSimState s;
  TReversibleRates r;
  // No depropagation: the free monomer decays as exp(-kp N t) = exp(-2 t),
  // gone long before the first check point.
  r.kIA = r.kAA = 0.2;
  r.kIAr = r.kAAr = r.kIBr = r.kABr = r.kBAr = r.kBBr = 0.0;
  const TOutcome out =
      RunKernel(s, Describe(ptLivingReversible, 10, 1000, 0, {0, 50, 100, 150}), r, &SimulateLivingReversible, Seed);
  EXPECT_TRUE(out.Terminated);
  EXPECT_EQ(out.LastCheckPoint, 1);
  EXPECT_EQ(s.CPMonomerA[1], 0);
  EXPECT_TRUE(log.Contains("All Monomer Consumed!"));
  EXPECT_FALSE(log.HasPrefix("Check Point: 2"));
}

TEST(ReversibleKernel, AChainAtTheLongestLengthRefusesAdditionsAndKeepsTheMonomer) {
  // One chain, no depropagation, 40 000 monomer molecules: the chain stops at
  // 32 767 units and the remaining 7 233 molecules stay free, each refused
  // addition being logged at most once per check point interval.
  TLogCapture log;
  TSimState s;
  TReversibleRates r;
  r.kIA = r.kAA = 1e-3;
  r.kIAr = r.kAAr = 0.0;
  const TOutcome out =
      RunKernel(s, Describe(ptLivingReversible, 1, 40000, 0, {0, 2500, 5000}), r, &SimulateLivingReversible, Seed);
  EXPECT_EQ(out.LastCheckPoint, 2);
  EXPECT_EQ(s.ChainDP[1], MaxDP);
  EXPECT_EQ(s.CPMonomerA[2], 40000 - MaxDP);
  EXPECT_EQ(s.ChainEndCode[1], ecAA);
  const auto lines = log.Lines();
  EXPECT_LE(std::count(lines.begin(), lines.end(), "Chain DP to big for Propagation!"), 2);
  EXPECT_TRUE(log.HasPrefix("Chain DP to big for Propagation! (refused "));
}

TEST(ReversibleRates, EitherSeparatorAndAMissingValueIsAnErrorNamingItsKey) {
  const Propagon::TSeparatorGuard dot('.');
  const std::string all = "I*A=0.25\r\nI*B=1\r\nA*A=1\r\nA*B=2,5\r\nB*A=1\r\nB*B=1\r\n"
                          "IA*=1\r\nIB*=1\r\nAA*=3E-2\r\nAB*=1\r\nBA*=1\r\nBB*=1\r\n";
  {
    const TTempText kpx(RatesFileText(all));
    const TReversibleRates r = ReadReversibleRates(Params::TParameterFile(kpx.Path()));
    EXPECT_EQ(r.kIA, 0.25);
    EXPECT_EQ(r.kAB, 2.5) << "either decimal separator, as the other kernels read";
    EXPECT_EQ(r.kAAr, 0.03);
  }
  // A missing or malformed constant never becomes 1.0: the run is refused
  // with the key named.
  for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
           {"BB*=1\r\n", ""}, {"BB*=1\r\n", "BB*=abc\r\n"}, {"BB*=1\r\n", "BB*=\r\n"}}) {
    std::string text = all;
    text.replace(text.find(from), from.size(), to);
    const TTempText kpx(RatesFileText(text));
    try {
      ReadReversibleRates(Params::TParameterFile(kpx.Path()));
      FAIL() << "no error for " << to;
    } catch (const Propagon::EConvertError& e) {
      EXPECT_STREQ(e.what(), "Rate constant \"BB*\" is missing or not a number");
    }
  }
}

// ---- equilibrium ------------------------------------------------------------

// 10 000 chains, kp = 1e-5 per molecule pair and kdp = 2 1/s for every end
// (the initiator end behaves as an A unit): an end adds at kp nA and releases
// at kdp, so the free monomer settles where the two balance,
//   nA = (kdp / kp) (1 - nI / N) = 2e5 (1 - nI / N),
// nI the chains without units. Started at 2e6 molecules it relaxes as
//   nA(t) = 2e5 + (2e6 - 2e5) exp(-kp N t)  (rate 0.1 1/s).
// The free monomer exchanges molecule by molecule with the chains, so it
// fluctuates with an sd of at most sqrt(nA) = 447.
TEST(ReversiblePhysics, FreeMonomerApproachesTheCeilingConcentration) {
  const std::int32_t chains = 10000, monomer = 2000000;
  const double kp = 1e-5, kdp = 2.0;
  TReversibleRates r;
  r.kIA = r.kAA = kp;
  r.kIAr = r.kAAr = kdp;
  TSimState s;
  const std::vector<double> times = {0, 20, 40, 60, 80};
  const TOutcome out =
      RunKernel(s, Describe(ptLivingReversible, chains, monomer, 0, times), r, &SimulateLivingReversible, 2718);
  EXPECT_EQ(out.TimeReached, 80.0);
  for (std::size_t k = 3; k < times.size(); ++k) {
    const double bare = s.CPInitiator[k];
    const double expected = kdp / kp * (1.0 - bare / chains) + (monomer - kdp / kp) * std::exp(-kp * chains * times[k]);
    EXPECT_NEAR(s.CPMonomerA[k], expected, 5.0 * std::sqrt(expected)) << "t = " << times[k];
  }
  // The ceiling itself, in concentration terms [M]eq = kdp / kp: within 1 %.
  EXPECT_NEAR(s.CPMonomerA.back() / (kdp / kp), 1.0, 0.01);
}

// Below the ceiling concentration no long chains form: with 1e5 molecules for
// 10 000 chains and kdp / kp = 2e5 the chains stay short and geometric, and
// nA = (kdp/kp) m / (1 + m), m = (1e5 - nA) / 1e4 the mean DP, gives
// m^2 + 11 m - 10 = 0, m = 0.8443 and nA = 91 557; a fraction
// 1 - nA kp / kdp = 0.542 of the chains has no unit at all. The free monomer
// fluctuates by less than sqrt(nA).
TEST(ReversiblePhysics, BelowTheCeilingConcentrationOnlyOligomersForm) {
  const std::int32_t chains = 10000, monomer = 100000;
  const double kp = 1e-5, kdp = 2.0;
  TReversibleRates r;
  r.kIA = r.kAA = kp;
  r.kIAr = r.kAAr = kdp;
  TSimState s;
  RunKernel(s, Describe(ptLivingReversible, chains, monomer, 0, {0, 50, 100}), r, &SimulateLivingReversible, 1414);
  const double expected = KR::ReversibleEquilibriumMonomer(chains, monomer, kp, kdp);
  EXPECT_NEAR(expected, 91557.0, 1.0);
  EXPECT_NEAR(s.CPMonomerA[2], expected, 5.0 * std::sqrt(expected));
  // Bare chains: binomial sd sqrt(N x (1-x)) = 50.
  EXPECT_NEAR(s.CPInitiator[2], chains * (1.0 - expected * kp / kdp), 5.0 * 50.0);
}

} // namespace
