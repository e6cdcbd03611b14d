// The ATRP kernel: the end of a run when nothing can happen, the balance of
// activator and deactivator, the lists and ChainLiving flags after whole
// copolymerization runs, refused recombination, rate reading, and the
// kinetics of fast reversible deactivation against the method of moments.

#include "engine/uKernels.h"
#include "params/uErrors.h"
#include "tests/engine/KernelRunSupport.h"
#include "tests/engine/KineticsReference.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

using namespace Engine;
using namespace KernelRun;
using TestSupport::TLogCapture;
namespace KR = KineticsReference;

constexpr std::uint32_t Seed = 31337u;

TRunDescription DescribeATRP(std::int32_t chains, std::int32_t a, std::int32_t b, std::int32_t activator,
                             std::int32_t deactivator, std::vector<double> checkPoints) {
  TRunDescription d = Describe(ptATRP, chains, a, b, std::move(checkPoints));
  d.ActivatorNumber = activator;
  d.OxidizedActivatorNumber = deactivator;
  return d;
}

// All 18 channels on.
TATRPRates Copolymerization() {
  TATRPRates r;
  r.kIA = 2e-3;
  r.kIB = 1e-3;
  r.kAA = 1e-3;
  r.kAB = 2e-3;
  r.kBA = 1.5e-3;
  r.kBB = 0.5e-3;
  r.kaI = 2e-3;
  r.kaA = 1e-3;
  r.kaB = 0.5e-3;
  r.kdeI = 0.05;
  r.kdeA = 0.1;
  r.kdeB = 0.2;
  r.kdAA = 2e-2;
  r.kcAA = 1e-2;
  r.kdAB = 1e-2;
  r.kcAB = 2e-2;
  r.kdBB = 3e-2;
  r.kcBB = 1e-2;
  return r;
}

TEST(ATRPKernel, WithoutActivatorAndRadicalsTheFirstCheckPointHoldsTheInitialState) {
  TLogCapture log;
  TSimState s;
  const TOutcome out =
      RunKernel(s, DescribeATRP(50, 5000, 0, 0, 10, {0, 5, 10}), Copolymerization(), &SimulateATRP, Seed);
  EXPECT_TRUE(out.Terminated);
  EXPECT_EQ(out.LastCheckPoint, 1);
  EXPECT_EQ(out.Steps, 0u);
  EXPECT_EQ(s.CPInitiator[1], 50);
  EXPECT_EQ(s.CPMonomerA[1], 5000);
  EXPECT_EQ(s.CPDeadChains[1], 0);
  EXPECT_EQ(s.CPACenters[1], 0.0);
  EXPECT_EQ(s.DormantINumber, 50);
  EXPECT_FALSE(log.HasPrefix("Check Point: 2"));
  EXPECT_FALSE(log.Contains("All Chains Terminated!"));
}

TEST(ATRPKernel, ActivatorAndDeactivatorStayInBalance) {
  // Three activator molecules and no deactivator among 100 capped initiators,
  // no monomer: each activation turns one L into LX and one end into a
  // radical, each deactivation the reverse, so at most three radicals can
  // ever exist at once. Fast activation keeps all three L in use.
  TSimState s;
  TATRPRates r;
  r.kaI = 1.0;
  r.kdeI = 0.01;
  TCheckPointObserver observer;
  int fullyActivated = 0;
  observer.AtCheckPoint = [&](int k) {
    EXPECT_LE(s.ActiveINumber, 3) << "check point " << k;
    EXPECT_EQ(s.ActiveINumber + s.DormantINumber, 100);
    EXPECT_EQ(s.CPInitiator[static_cast<std::size_t>(k)], 100);
    fullyActivated += s.ActiveINumber == 3;
  };
  std::vector<double> times;
  for (int k = 0; k <= 20; ++k) times.push_back(k);
  RunKernel(s, DescribeATRP(100, 0, 0, 3, 0, times), r, &SimulateATRP, Seed, &observer);
  EXPECT_EQ(observer.LastCheckPoint, 20);
  // A radical lives 1 / (kdeI LX) = 33 s, a free activator 1 / (kaI N) = 0.01 s.
  EXPECT_GE(fullyActivated, 18);
}

TEST(ATRPKernel, CopolymerizationKeepsListsFlagsAndHeadBytesConsistent) {
  TLogCapture log;
  TSimState s;
  const std::int32_t chains = 400, a0 = 30000, b0 = 20000;
  TCheckPointObserver observer;
  observer.AtCheckPoint = [&](int k) {
    const std::size_t i = static_cast<std::size_t>(k);
    std::int64_t a = 0, b = 0;
    CountUnits(s, a, b);
    EXPECT_EQ(a + s.CPMonomerA[i], a0) << k;
    EXPECT_EQ(b + s.CPMonomerB[i], b0) << k;
    EXPECT_EQ(s.CPInitiator[i], s.DormantINumber + s.ActiveINumber);
    EXPECT_EQ(s.CPDeadChains[i], s.DeadChainsNumber);
  };
  RunKernel(s, DescribeATRP(chains, a0, b0, 200, 20, {0, 5, 10, 20, 40}), Copolymerization(), &SimulateATRP, Seed,
      &observer);
  ASSERT_EQ(observer.LastCheckPoint, 4);
  ExpectDistributionMatchesStore(s);

  std::vector<int> listed(static_cast<std::size_t>(chains) + 1, 0);
  auto check = [&](const TChainList& list, std::int32_t n, int kind, const char* name) {
    for (std::int32_t c : Members(list, n)) {
      ASSERT_GE(c, 1);
      ASSERT_LE(c, chains);
      ++listed[static_cast<std::size_t>(c)];
      EXPECT_EQ(s.ChainLiving[static_cast<std::size_t>(c)], 1) << name << " " << c;
      if (kind < 0) {
        EXPECT_EQ(s.ChainDP[static_cast<std::size_t>(c)], 0) << name << " " << c;
        EXPECT_EQ(HeadByte(s, c), 0) << name << " " << c;
      } else {
        EXPECT_EQ(LastUnit(s, c), kind) << name << " " << c;
        EXPECT_EQ(HeadByte(s, c), 1) << name << " " << c;
      }
    }
  };
  check(s.DormantI, s.DormantINumber, -1, "DormantI");
  check(s.ActiveI, s.ActiveINumber, -1, "ActiveI");
  check(s.DormantA, s.DormantANumber, UnitA, "DormantA");
  check(s.ActiveA, s.ActiveANumber, UnitA, "ActiveA");
  check(s.DormantB, s.DormantBNumber, UnitB, "DormantB");
  check(s.ActiveB, s.ActiveBNumber, UnitB, "ActiveB");

  // Every chain is in exactly one list or terminated; terminated chains are
  // the DeadChainsNumber, two per termination event.
  int dead = 0, products = 0, emptied = 0;
  for (std::int32_t c = 1; c <= chains; ++c) {
    const bool living = s.ChainLiving[static_cast<std::size_t>(c)] != 0;
    EXPECT_EQ(listed[static_cast<std::size_t>(c)], living ? 1 : 0) << "chain " << c;
    if (living) continue;
    ++dead;
    const std::uint8_t head = HeadByte(s, c);
    if (head == 2) ++products;
    if (head == 0 && s.ChainDP[static_cast<std::size_t>(c)] == 0) ++emptied;
  }
  EXPECT_EQ(dead, s.DeadChainsNumber);
  EXPECT_EQ(dead % 2, 0);
  EXPECT_GT(dead, 20) << "the run should have terminated some chains";
  EXPECT_GT(products, 0);
  EXPECT_EQ(products, emptied) << "a recombination joins two chains into one slot";
}

TEST(ATRPKernel, ARunWithoutMonomerBTakesTheEventsOfOneWhoseBNeverReacts) {
  // Every channel of A and I ends on: activation, deactivation, growth and
  // both terminations. No channel adds monomer B, so no B end ever forms and
  // the rates of B ends multiply zero counts.
  TATRPRates r = Copolymerization();
  r.kAB = r.kBB = r.kIB = 0.0;
  const std::int64_t units = ExpectSameEventsWithoutBAndWithInertB(
      DescribeATRP(300, 40000, 0, 150, 30, {0, 20, 60, 200}), r, &SimulateATRP, 17);
  EXPECT_GT(units, 5000);
}

TEST(ATRPKernel, ARefusedRecombinationStillCountsBothChainsDead) {
  // Two chains, always active (fast activation, no deactivation), share
  // 40 000 monomer molecules, about 20 000 each. Their recombination, long
  // after the monomer is gone, would give more than 32 767 units, which the
  // store refuses. The two radicals have left their lists and are marked
  // dead all the same, so they count among the dead chains and every chain
  // is then terminated.
  TLogCapture log;
  TSimState s;
  TATRPRates r;
  r.kaI = 10.0;
  r.kIA = 1.0;
  r.kAA = 1.0;
  r.kcAA = 1e-3;
  const TOutcome out = RunKernel(s, DescribeATRP(2, 40000, 0, 2, 0, {0, 1e5}), r, &SimulateATRP, Seed);
  EXPECT_TRUE(out.Terminated);
  EXPECT_EQ(s.ChainDP[1] + s.ChainDP[2], 40000) << "the product would be too long";
  EXPECT_EQ(s.CPMonomerA[1], 0);
  EXPECT_EQ(s.ChainLiving[1], 0);
  EXPECT_EQ(s.ChainLiving[2], 0);
  EXPECT_EQ(s.DeadChainsNumber, 2);
  EXPECT_EQ(s.CPDeadChains[1], 2);
  EXPECT_TRUE(log.Contains("Recombination give to big DP! Change some parameters!"));
  EXPECT_TRUE(log.Contains("All Chains Terminated!"));
  EXPECT_TRUE(log.Contains("All Monomer Consumed!"));
}

TEST(ATRPKernel, DisproportionationMarksBothChainsDead) {
  // Disproportionation of A* with B* only: every termination leaves two
  // dead chains that keep their units and their head byte 1.
  TSimState s;
  TATRPRates r;
  r.kaI = r.kaA = r.kaB = 1.0;
  r.kIA = r.kIB = r.kAA = r.kAB = r.kBA = r.kBB = 1e-3;
  r.kdAB = 0.05;
  RunKernel(s, DescribeATRP(200, 10000, 10000, 200, 0, {0, 2, 4}), r, &SimulateATRP, Seed);
  int dead = 0;
  for (std::int32_t c = 1; c <= 200; ++c) {
    if (s.ChainLiving[static_cast<std::size_t>(c)] != 0) continue;
    ++dead;
    EXPECT_GE(s.ChainDP[static_cast<std::size_t>(c)], 1);
    EXPECT_EQ(HeadByte(s, c), 1);
  }
  EXPECT_GT(dead, 20);
  EXPECT_EQ(dead, s.DeadChainsNumber);
}

TEST(ATRPRates, EveryKeyReachesItsChannelAndAMissingOneIsAnError) {
  std::string text = "A*A=1\r\nA*B=2\r\nB*A=3\r\nB*B=4\r\nI*A=5\r\nI*B=6\r\nActivI=7\r\nActivA=8\r\nActivB=9\r\n"
                     "DeactI=10\r\nDeactA=11\r\nDeactB=12\r\nDisprAA=13\r\nDisprAB=14\r\nDisprBB=15\r\n"
                     "RecombAA=16\r\nRecombAB=17\r\nRecombBB=1,8E1\r\n";
  {
    const TTempText kpx(RatesFileText(text));
    const Params::TParameterFile file(kpx.Path());
    const TATRPRates r = ReadATRPRates(file);
    const double values[18] = {r.kAA,  r.kAB,  r.kBA,  r.kBB,  r.kIA,  r.kIB,  r.kaI,  r.kaA,  r.kaB,
                               r.kdeI, r.kdeA, r.kdeB, r.kdAA, r.kdAB, r.kdBB, r.kcAA, r.kcAB, r.kcBB};
    for (int i = 0; i < 18; ++i) EXPECT_DOUBLE_EQ(values[i], i + 1.0) << i;
  }
  text.replace(text.find("DeactB=12"), 9, "DeactB=x2");
  const TTempText kpx(RatesFileText(text));
  const Params::TParameterFile file(kpx.Path());
  EXPECT_THROW(ReadATRPRates(file), Propagon::EConvertError);
}

// ---- kinetics of fast reversible deactivation ------------------------------

// 20 000 capped initiators, 2e6 monomer molecules (target DP 100), activator
// L = 20 000 and deactivator LX = 2 000 molecules; ka = 1e-4, kda = 0.1,
// kp = 1e-4 per molecule pair, no termination, initiator ends as reactive as
// chain ends. The exchange is fast (a radical is deactivated 218 times per
// second and adds 200 units per second at the start), the radical count
// settles within milliseconds at the root of
//   kda (LX0 + n) n = ka (L0 - n) (N - n),  n = 180,
// and then ln(M0/M) = kp n t, while
//   Mw/Mn = 1 + 1/DPn + (kp N / (kda LX)) (2/p - 1)
// (p the conversion). The method of moments integrates the same mechanism
// without those approximations and is the reference; the closed forms are
// checked with a looser tolerance.
TEST(ATRPPhysics, ConversionAndDispersityFollowFastReversibleDeactivation) {
  const std::int32_t chains = 20000, monomer = 2000000, l0 = 20000, lx0 = 2000;
  const double ka = 1e-4, kda = 0.1, kp = 1e-4;
  TATRPRates r;
  r.kaI = r.kaA = ka;
  r.kdeI = r.kdeA = kda;
  r.kIA = r.kAA = kp;
  const std::vector<double> times = {0, 10, 20, 40, 60};
  TSimState s;
  std::vector<double> dispersity(times.size(), 0.0), meanDP(times.size(), 0.0);
  TCheckPointObserver observer;
  observer.AtCheckPoint = [&](int k) {
    TMoments m;
    for (std::int32_t c = 1; c <= chains; ++c) m.Add(s.ChainDP[static_cast<std::size_t>(c)]);
    dispersity[static_cast<std::size_t>(k)] = m.Dispersity();
    meanDP[static_cast<std::size_t>(k)] = m.Mn();
  };
  RunKernel(s, DescribeATRP(chains, monomer, 0, l0, lx0, times), r, &SimulateATRP, Seed, &observer);
  ASSERT_EQ(observer.LastCheckPoint, 4);

  KR::TAtrpState ode;
  ode.dormant[0] = chains;
  ode.monomer = monomer;
  ode.activator = l0;
  ode.deactivator = lx0;
  const double n = 180.0;
  for (std::size_t k = 1; k < times.size(); ++k) {
    ode = KR::IntegrateAtrp({ka, kda, kp}, ode, times[k] - times[k - 1], 40000);
    const double t = times[k];
    ASSERT_NEAR(ode.active[0], n, 1.0) << "equilibrium radical count";
    // Noise of ln(M0/M): the radical integral (relative sd below 0.1 %) and
    // the propagation count; mean field is off by about 1/n. 1.2 %.
    const double lnSim = std::log(static_cast<double>(monomer) / s.CPMonomerA[k]);
    const double lnOde = std::log(monomer / ode.monomer);
    EXPECT_NEAR(lnSim / lnOde, 1.0, 0.012) << "t = " << t;
    EXPECT_NEAR(lnSim, kp * n * t, 0.02 * kp * n * t) << "ln(M0/M) = kp [R*] t";
    EXPECT_NEAR(meanDP[k], ode.MeanDP(), 0.012 * ode.MeanDP());
    // Dispersity: the sample estimate of Mw/Mn - 1 from N chains of a nearly
    // normal distribution has relative sd sqrt(2/N); 5 sd and 3 % for the
    // mean field.
    const double excess = ode.Dispersity() - 1.0;
    EXPECT_NEAR(dispersity[k] - 1.0, excess, excess * (5.0 * std::sqrt(2.0 / chains) + 0.03)) << "t = " << t;
    const double p = 1.0 - s.CPMonomerA[k] / static_cast<double>(monomer);
    const double closed = 1.0 / meanDP[k] + kp * chains / (kda * (lx0 + n)) * (2.0 / p - 1.0);
    EXPECT_NEAR(dispersity[k] - 1.0, closed, 0.1 * closed) << "t = " << t;
  }
  // No termination: every chain is living, the time average of the radicals
  // is the equilibrium count.
  EXPECT_EQ(s.DeadChainsNumber, 0);
  EXPECT_NEAR(s.CPACenters[4], n, 5.0);
}

} // namespace
