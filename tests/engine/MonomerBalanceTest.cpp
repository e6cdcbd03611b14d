// Monomer is never lost, whatever the kernel: at every check point the free
// monomer and the units held in chains add up to the initial monomer, for A
// and for B separately, also in runs that push chains against the longest
// length the store holds (MaxDP). A refused addition leaves its monomer free.

#include "engine/uKernels.h"
#include "tests/engine/KernelRunSupport.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace Engine;
using namespace KernelRun;
using TestSupport::TLogCapture;

constexpr std::int32_t MonomerA = 50000;
constexpr std::int32_t MonomerB = 30000;

// Checks the balance at every check point and counts the chains at MaxDP.
struct TBalanceObserver : TCheckPointObserver {
  explicit TBalanceObserver(TSimState& s) {
    AtCheckPoint = [this, &s](int k) {
      std::int64_t a = 0, b = 0;
      CountUnits(s, a, b);
      EXPECT_EQ(a + s.CPMonomerA[static_cast<std::size_t>(k)], MonomerA) << "A at check point " << k;
      EXPECT_EQ(b + s.CPMonomerB[static_cast<std::size_t>(k)], MonomerB) << "B at check point " << k;
      ++CheckPoints;
    };
  }
  int CheckPoints = 0;
};

std::int32_t ChainsAtTheLimit(const TSimState& s) { return s.DPDistribution[static_cast<std::size_t>(MaxDP)]; }

// Every kernel below has two chains (two radicals in the free-radical run)
// and 80 000 monomer molecules, more than two full rows hold: at least one
// chain reaches MaxDP and goes on being offered units it must refuse.

TEST(MonomerBalance, LivingPolymerizationWithSegmentExchange) {
  TLogCapture log;
  TSimState s;
  TBalanceObserver observer(s);
  TLivingRates r;
  for (int ke = 0; ke < 3; ++ke) {
    r.P[2][ke] = 1.0;   // propagation with free A
    r.P[3][ke] = 1.0;   // and free B
    r.P[0][ke] = 0.01;  // segment transfer from A and B units
    r.P[1][ke] = 0.01;
  }
  r.TimeInterval = 1e-4;
  const auto kernel = static_cast<void (*)(TSimRun&, const TLivingRates&)>(&SimulateLiving);
  RunKernel(s, Describe(ptLiving, 2, MonomerA, MonomerB, {0, 10, 50, 100}), r, kernel, 31, &observer);
  EXPECT_EQ(observer.CheckPoints, 3);
  EXPECT_GE(ChainsAtTheLimit(s), 1);
  EXPECT_TRUE(log.HasPrefix("Chain DP to big for Propagation!"));
}

TEST(MonomerBalance, FreeRadicalPolymerization) {
  TLogCapture log;
  TSimState s;
  TBalanceObserver observer(s);
  TFreeRadicalRates r;
  r.kd = 1e3;
  r.f = 1.0;
  r.kIA = r.kIB = 1.0;
  r.kAA = r.kAB = r.kBA = r.kBB = 1.0;
  r.kcAB = 1e-4; // a late recombination, refused at the limit
  RunKernel(s, Describe(ptFreeRadical, 1, MonomerA, MonomerB, {0, 0.5, 1, 2, 4}), r, &SimulateFreeRadical, 32,
            &observer);
  EXPECT_EQ(observer.CheckPoints, 4);
  EXPECT_GE(ChainsAtTheLimit(s), 1);
  EXPECT_TRUE(log.HasPrefix("Chain DP to big for Propagation!"));
  EXPECT_GT(s.CPMonomerA.back() + s.CPMonomerB.back(), 0) << "the refused units stay free";
}

TEST(MonomerBalance, ATRP) {
  TLogCapture log;
  TSimState s;
  TBalanceObserver observer(s);
  TATRPRates r;
  r.kIA = r.kIB = 1.0;
  r.kAA = r.kAB = r.kBA = r.kBB = 1.0;
  r.kaI = r.kaA = r.kaB = 10.0;
  r.kdeI = r.kdeA = r.kdeB = 1.0;
  r.kcAA = r.kcAB = r.kcBB = 1e-4;
  TRunDescription d = Describe(ptATRP, 2, MonomerA, MonomerB, {0, 1, 2, 4});
  d.ActivatorNumber = 2;
  RunKernel(s, d, r, &SimulateATRP, 33, &observer);
  EXPECT_EQ(observer.CheckPoints, 3);
  EXPECT_GE(ChainsAtTheLimit(s), 1);
  EXPECT_TRUE(log.HasPrefix("Chain DP to big for Propagation!"));
}

TEST(MonomerBalance, LivingReversiblePolymerization) {
  TLogCapture log;
  TSimState s;
  TBalanceObserver observer(s);
  TReversibleRates r;
  r.kIA = r.kIB = r.kAA = r.kAB = r.kBA = r.kBB = 1e-3;
  r.kIAr = r.kIBr = r.kAAr = r.kABr = r.kBAr = r.kBBr = 0.05;
  RunKernel(s, Describe(ptLivingReversible, 2, MonomerA, MonomerB, {0, 200, 500, 1000}), r,
            &SimulateLivingReversible, 34, &observer);
  EXPECT_EQ(observer.CheckPoints, 3);
  EXPECT_GE(ChainsAtTheLimit(s), 1);
  EXPECT_TRUE(log.HasPrefix("Chain DP to big for Propagation!"));
}

} // namespace
