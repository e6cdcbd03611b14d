// Physical validation of the free-radical kernel against deterministic
// kinetics, with fixed seeds and tolerances derived from the number of
// molecules and events involved.
//
// All constants are per molecule (the "SimulationRates" values): a
// bimolecular constant times a product of counts gives events per second;
// termination constants count ordered pairs, so n radicals terminate at
// kt n (n - 1) events per second, two radicals per event, which is the
// d[R]/dt = -2 kt [R]^2 convention.

#include "engine/uKernels.h"
#include "params/uGrowthBound.h"
#include "tests/engine/KernelRunSupport.h"
#include "tests/engine/KineticsReference.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace Engine;
using namespace KernelRun;
namespace KR = KineticsReference;

// ---- the memory estimate's bound on growth --------------------------------

// The memory estimate charges a free-radical run for the units its rates can
// form by the last check point, not for every monomer molecule: that bound
// must hold the units the kernel forms, and stay close to them.
TEST(FreeRadicalPhysics, TheEstimatesGrowthBoundHoldsTheUnitsFormed) {
  struct TCase {
    double Kd, F, Kp, Kt;
    bool Recombination;
  };
  for (const TCase c : {TCase{0.01, 0.5, 2.64e-5, 500.0 / 90000.0, false}, TCase{0.05, 0.7, 4e-5, 0.02, true},
                        TCase{1e-3, 1.0, 1e-5, 1e-3, false}}) {
    TFreeRadicalRates r;
    r.kd = c.Kd;
    r.f = c.F;
    r.kIA = r.kAA = c.Kp;
    (c.Recombination ? r.kcAA : r.kdAA) = c.Kt;
    const std::vector<double> checkPoints = {0, 50, 100};
    TSimState s;
    RunKernel(s, Describe(ptFreeRadical, 100000, 10000000, 0, checkPoints), r, &SimulateFreeRadical, 99);
    const double formed = 10000000.0 - s.CPMonomerA[2];
    Params::TFreeRadicalGrowth g;
    g.kAA = c.Kp;
    g.ktAA = c.Kt;
    g.kd = c.Kd;
    g.f = c.F;
    g.tLast = 100;
    const double bound = static_cast<double>(Params::FreeRadicalUnitsBound(g, 100000, 10000000, 0));
    EXPECT_GE(bound, formed) << c.Kd;
    EXPECT_LT(bound, 1.3 * formed + 2000) << c.Kd;
    const double started = 2.0 * (100000 - s.CPInitiator[2]) * c.F;
    EXPECT_GE(static_cast<double>(Params::FreeRadicalStartedChainsBound(100000, c.F, c.Kd, 100)), started) << c.Kd;
  }
}

// ---- rate law --------------------------------------------------------------

// Homopolymerization with 1e5 initiator molecules, f = 0.5, kd = 0.01 1/s
// over 100 s: 63 212 molecules decompose, 31 606 of them into radical pairs
// that escape the cage. Steady radicals n = sqrt(f kd N_I / kt) = 300 at the
// start (kt = 500 / 300^2), 182 at the end; kp nA = 264 1/s per radical, so
// ln(M0/M) reaches about 0.62.
struct TRateLawCase {
  std::int32_t Initiators = 100000;
  std::int32_t Monomer = 10000000;
  double Kd = 0.01, F = 0.5, Kp = 2.64e-5, Kt = 500.0 / 90000.0;
  std::vector<double> CheckPoints = {0, 20, 40, 60, 80, 100};

  TFreeRadicalRates Rates() const {
    TFreeRadicalRates r;
    r.kd = Kd;
    r.f = F;
    r.kIA = Kp;
    r.kAA = Kp;
    r.kdAA = Kt;
    return r;
  }
  KR::TFreeRadicalModel Model() const { return {Kd, F, Kp, Kp, Kt}; }
};

TEST(FreeRadicalPhysics, HomopolymerizationFollowsTheRateLawOfItsConventions) {
  const TRateLawCase c;
  TSimState s;
  RunKernel(s, Describe(ptFreeRadical, c.Initiators, c.Monomer, 0, c.CheckPoints), c.Rates(), &SimulateFreeRadical, 4242);

  KR::TFreeRadicalState ode;
  ode.initiator = c.Initiators;
  ode.monomer = c.Monomer;
  double previousIntegral = 0.0;
  for (std::size_t k = 1; k < c.CheckPoints.size(); ++k) {
    const double dt = c.CheckPoints[k] - c.CheckPoints[k - 1];
    ode = KR::IntegrateFreeRadical(c.Model(), ode, dt, 20000);
    const double t = c.CheckPoints[k];

    // Initiator: every decomposition consumes its molecule, whether or not
    // its radicals escape the cage, so it decays with kd (binomial sd).
    const double p = std::exp(-c.Kd * t);
    EXPECT_NEAR(s.CPInitiator[k], c.Initiators * p, 5.0 * std::sqrt(c.Initiators * p * (1 - p)) + 1) << t;
    // The first-order plot of the kinetics chart, -ln([I]/[I]0), has the
    // slope kd: at t, kd t within the binomial noise of the count.
    const double firstOrder = -std::log(static_cast<double>(s.CPInitiator[k]) / c.Initiators);
    EXPECT_NEAR(firstOrder / t, c.Kd, 5.0 * std::sqrt((1 - p) / (c.Initiators * p)) / t) << t;

    // Conversion. Its noise comes from the radical count: each radical pair
    // born adds an independent kinetic chain, so the relative sd of the
    // radical time integral is 1 / sqrt(2 x pairs born); mean field replaces
    // <n(n-1)> by n^2, a relative bias below 1/n.
    const double pairs = c.F * c.Initiators * (1.0 - p);
    const double lnSim = std::log(static_cast<double>(c.Monomer) / s.CPMonomerA[k]);
    const double lnOde = std::log(c.Monomer / ode.monomer);
    const double tolerance = 5.0 / std::sqrt(2.0 * pairs) + 1.0 / ode.radicals;
    EXPECT_NEAR(lnSim / lnOde, 1.0, tolerance) << "t = " << t << ": ln(M0/M) " << lnSim << " against " << lnOde;

    // Time-averaged radical count over the interval: variance of the
    // integral about dt / kt (fluctuations relax at 4 kt n), plus the bias.
    const double odeAverage = (ode.radicalIntegral - previousIntegral) / dt;
    previousIntegral = ode.radicalIntegral;
    EXPECT_NEAR(s.CPACenters[k], odeAverage, 5.0 / std::sqrt(c.Kt * dt) + 1.0) << t;
  }

  // The closed steady-state form: ln(M0/M) = kp sqrt(f kd N_I0 / kt) 2/kd
  // (1 - exp(-kd t / 2)). It leaves out initiation, which takes one monomer
  // molecule per chain (2 x 31 606 of 1e7, 1 % of ln(M0/M)), and the first
  // tenth of a second before the radicals reach their steady count; 3 %.
  const double closed = KR::SteadyStateLnConversion(c.Model(), c.Initiators, c.CheckPoints.back());
  const double lnSim = std::log(static_cast<double>(c.Monomer) / s.CPMonomerA.back());
  EXPECT_NEAR(lnSim / closed, 1.0, 0.03) << lnSim << " against " << closed;
  // Counting unordered pairs (kt n^2 / 2) would give sqrt(2) times as many
  // radicals, and an initiator decaying with f kd (a decomposition whose
  // radicals stay in the cage keeping its molecule) a closed form 12 %
  // higher: both far outside the tolerances above.
}

// ---- dispersity of dead chains at low conversion ---------------------------

// 1e5 initiator molecules, f = 1, kd = 1e-3 1/s for 200 s: 18 127 radical
// pairs. Steady radicals n = sqrt(kd N_I / kt) = 400 (kt = 100 / 400^2), each
// living 1 / (2 kt n) = 2 s and adding kp nA = 50 units per second: about 100
// units per chain. 2e8 monomer molecules keep the conversion below 2 %, so
// the probability p that a radical propagates rather than terminates stays
// put, and the initiator decay changes n by only 10 % over the run.
//
// A chain's DP is then 1 (initiation) plus a geometric number of steps:
//   disproportionation: Mn = 1/(1-p), Mw/Mn = 1 + p = 2 - 1/Mn;
//   recombination: the sum of two such chains, Mw/Mn = 1 + p/2 = 1.5 - 1/Mn.
// The estimate of Mw/Mn from N chains has sd 2/sqrt(N) (geometric) or
// 0.87/sqrt(N) (sum of two), by the delta method on the first two moments.
// Chains started during the first 10 s, before the radical count is
// steady, are left out: slots are handed out in decomposition order, and
// 2 N_I (1 - exp(-kd 10 s)) = 1 990 slots are used by then.
struct TDispersityCase {
  std::int32_t Initiators = 100000;
  std::int32_t Monomer = 200000000;
  double Kd = 1e-3, Kp = 2.5e-7, Kt = 100.0 / 160000.0;
  std::int32_t FirstSteadyChain = 1991;
};

TMoments DeadChainMoments(const TSimState& s, std::uint8_t head, std::int32_t firstChain) {
  std::set<std::int32_t> radicals(s.ActiveA.begin(), s.ActiveA.begin() + s.ActiveANumber);
  TMoments m;
  for (std::int32_t c = firstChain; c <= s.ChainsNumber; ++c) {
    const std::int32_t d = s.ChainDP[static_cast<std::size_t>(c)];
    if (d > 0 && HeadByte(s, c) == head && radicals.count(c) == 0) m.Add(d);
  }
  return m;
}

TEST(FreeRadicalPhysics, DisproportionationGivesDispersityNearTwo) {
  const TDispersityCase c;
  TFreeRadicalRates r;
  r.kd = c.Kd;
  r.f = 1.0;
  r.kIA = c.Kp;
  r.kAA = c.Kp;
  r.kdAA = c.Kt;
  TSimState s;
  RunKernel(s, Describe(ptFreeRadical, c.Initiators, c.Monomer, 0, {0, 100, 200}), r, &SimulateFreeRadical, 1717);

  const TMoments m = DeadChainMoments(s, 1, c.FirstSteadyChain);
  ASSERT_GT(m.Count, 30000);
  EXPECT_NEAR(m.Mn(), 101.0, 10.0); // 1 + kp nA / (2 kt n) = 1 + 50 / 0.5
  const double expected = 2.0 - 1.0 / m.Mn();
  // 5 sd, plus 0.01 for the spread of kinetic chain lengths that the slow
  // initiator decay and the radical count fluctuations leave.
  EXPECT_NEAR(m.Dispersity(), expected, 5.0 * 2.0 / std::sqrt(m.Count) + 0.01) << "Mn " << m.Mn();
}

TEST(FreeRadicalPhysics, RecombinationGivesDispersityNearOneAndAHalf) {
  const TDispersityCase c;
  TFreeRadicalRates r;
  r.kd = c.Kd;
  r.f = 1.0;
  r.kIA = c.Kp;
  r.kAA = c.Kp;
  r.kcAA = c.Kt;
  TSimState s;
  RunKernel(s, Describe(ptFreeRadical, c.Initiators, c.Monomer, 0, {0, 100, 200}), r, &SimulateFreeRadical, 1718);

  const TMoments m = DeadChainMoments(s, 2, c.FirstSteadyChain);
  ASSERT_GT(m.Count, 15000);
  EXPECT_NEAR(m.Mn(), 202.0, 20.0); // two chains of 101
  const double expected = 1.5 - 1.0 / m.Mn();
  EXPECT_NEAR(m.Dispersity(), expected, 5.0 * 0.87 / std::sqrt(m.Count) + 0.01) << "Mn " << m.Mn();
}

// ---- copolymer composition -------------------------------------------------

// Terminal model with rA = kAA/kAB = 5 and rB = kBB/kBA = 0.2 at a feed of
// fA = 0.3: Mayo-Lewis gives FA = 0.682. The constants are chosen so that an
// A* and a B* radical add A with the same probability 0.682 (kAA nA = kBA nA,
// kAB nB = kBB nB), which makes successive units independent: the sd of the
// measured fraction over N units is then the binomial sqrt(FA (1-FA) / N).
// 5e4 initiator molecules give 9 063 radical pairs in 200 s, chains of about
// 160 units, 2.9e6 units in all: conversion 1.6 %, over which the feed drifts
// by 0.006; the expectation integrates that drift (Skeist equation). The
// first unit of each chain comes from initiation (kIA : kIB), not from the
// terminal model, and is left out.
TEST(FreeRadicalPhysics, CopolymerCompositionFollowsMayoLewis) {
  const double rA = 5.0, rB = 0.2, fA0 = 0.3;
  const std::int32_t monomerA = 54000000, monomerB = 126000000;
  TFreeRadicalRates r;
  r.kd = 1e-3;
  r.f = 1.0;
  r.kAB = 1e-7;
  r.kAA = rA * r.kAB;
  r.kBA = 5e-7;
  r.kBB = rB * r.kBA;
  r.kIA = 5e-7;
  r.kIB = 1e-7;
  const double kt = 50.0 / 160000.0; // 400 radicals
  r.kdAA = r.kdAB = r.kdBB = kt;
  TSimState s;
  RunKernel(s, Describe(ptFreeRadical, 50000, monomerA, monomerB, {0, 100, 200}), r, &SimulateFreeRadical, 99);

  std::int64_t a = 0, b = 0;
  for (std::int32_t c = 1; c <= s.ChainsNumber; ++c) {
    const std::int32_t d = s.ChainDP[static_cast<std::size_t>(c)];
    if (d < 2) continue;
    const std::int32_t nb = s.ChainUnits.CountB(c, d) - (s.ChainUnits[c][1] == UnitB ? 1 : 0);
    b += nb;
    a += (d - 1) - nb;
  }
  const double units = static_cast<double>(a + b);
  ASSERT_GT(units, 2e6);
  const double conversion =
      1.0 - static_cast<double>(s.CPMonomerA.back() + static_cast<std::int64_t>(s.CPMonomerB.back())) /
                (static_cast<double>(monomerA) + monomerB);
  EXPECT_LT(conversion, 0.03);
  const double expected = KR::CumulativeComposition(fA0, rA, rB, conversion);
  EXPECT_NEAR(KR::MayoLewis(fA0, rA, rB), 0.6818, 1e-4); // (5 x 0.09 + 0.21) / 0.968
  const double measured = static_cast<double>(a) / units;
  EXPECT_NEAR(measured, expected, 5.0 * std::sqrt(expected * (1 - expected) / units))
      << "conversion " << conversion;
}

} // namespace
