// Free-radical (co)polymerization: initiator decomposition into two primary
// radicals, initiation, propagation of A* and B* radicals with A and B, and
// termination of radical pairs by disproportionation or recombination.
//
// Gillespie's direct method over 13 channels. At every step the cumulative
// rates are formed from the molecule counts in a fixed channel order, the
// waiting time is drawn from the exponential distribution of the total rate,
// and the channel is the first whose cumulative rate exceeds a uniform
// fraction of the total. Radicals are kept in unordered lists (swap-remove),
// so picking a random radical of a kind is constant time.
//
// Initiator efficiency: every decomposition consumes its molecule, so the
// initiator decays with kd; with probability f the two primary radicals
// escape the solvent cage, otherwise they recombine in it to an inactive
// product and no chain starts. Radicals are therefore formed at 2 f kd [I].
//
// Chain slots: the store holds 2 x InitiatorNumber chains; every decomposition
// whose radicals escape hands out the next two slot numbers as primary
// radicals.
//
// A chain at the longest length the store holds (MaxDP) refuses a unit: the
// event changes nothing but the refusal count (the monomer stays free, the
// radical keeps its kind and its list).

#include "engine/uKernelRates.h"
#include "engine/uKernels.h"
#include "engine/uKernelSupport.h"
#include "engine/uranmt.h"
#include "params/uLogMessage.h"
#include "params/uParamFile.h"

#include <cmath>

namespace Engine {

TFreeRadicalRates ReadFreeRadicalRates(const Params::TParameterFile& file) {
  TRateReader read(file);
  TFreeRadicalRates r;
  r.kAA = read("A*A");
  r.kAB = read("A*B");
  r.kBA = read("B*A");
  r.kBB = read("B*B");
  r.kIA = read("I*A");
  r.kIB = read("I*B");
  r.kdAA = read("DisprAA");
  r.kdAB = read("DisprAB");
  r.kdBB = read("DisprBB");
  r.kcAA = read("RecombAA");
  r.kcAB = read("RecombAB");
  r.kcBB = read("RecombBB");
  r.kd = read("InitDecomposit");
  // The efficiency is a probability, compared with a uniform deviate: any
  // finite value is meaningful (0 rejects every decomposition, 1 or more
  // accepts every one), so only a non-finite text is refused.
  r.f = read.Finite("InitiationEfficiency");
  return r;
}

namespace {

// Before the first event: no channel's rate may pass the largest double. At
// most every chain slot is a radical and all the monomer is free.
void RefuseUnboundedRates(const TSimState& s, const TFreeRadicalRates& r) {
  const double chains = s.ChainsNumber, a = s.MonomerANumber, b = s.MonomerBNumber;
  TRateBounds bounds;
  AddRadicalChannelBounds(bounds, r, chains, a, b);
  bounds.Add("InitDecomposit", r.kd, s.InitiatorNumber);
}

class TFreeRadicalKernel {
public:
  TFreeRadicalKernel(TSimRun& run, const TFreeRadicalRates& rates)
      : FRun(run), FState(run.State), FRates(rates) {}

  void Run();

private:
  // WithB false: a run without monomer B, where every channel of a B unit
  // or B radical has rate 0 for the whole run. Those rates are then left out
  // of the sums instead of added as zeros (the same sums to the bit), which
  // shortens the chain of additions every event waits on.
  template <class Kernel>
  friend void ::Engine::RunCheckPointCycleWithOrWithoutB(TSimRun& run, Kernel& kernel, bool withB);
  template <bool WithB>
  void Advance(double tEnd);
  void StoreRecord(std::int32_t k);

  TSimRun& FRun;
  TSimState& FState;
  const TFreeRadicalRates FRates;

  // Kernel locals that outlive one interval.
  double FTime = 0.0;
  double FJA = 0.0, FJB = 0.0;         // time integrals of the A* and B* counts
  double FJAPrev = 0.0, FJBPrev = 0.0; // their values at the previous check point
  std::int32_t FFreeA = 0, FFreeB = 0;
  std::int32_t FSlotsLeft = 0;         // chain slots not yet handed out
  std::uint64_t FSteps = 0;
};

void TFreeRadicalKernel::Run() {
  TSimState& s = FState;
  RefuseUnboundedRates(s, FRates);
  s.InitializeRun();
  s.ActiveINumber = 0;
  FFreeA = s.MonomerANumber;
  FFreeB = s.MonomerBNumber;
  FSlotsLeft = s.ChainsNumber;
  FRun.ResetCounters();

  RunCheckPointCycleWithOrWithoutB(FRun, *this, s.MonomerBNumber != 0);

  if (s.InitiatorNumber == 0) Propagon::LogMessage("All Chains Terminated!");
  if (static_cast<std::int64_t>(FFreeA) + FFreeB == 0) Propagon::LogMessage("All Monomer Consumed!");
}

void TFreeRadicalKernel::StoreRecord(std::int32_t k) {
  TSimState& s = FState;
  const std::size_t i = static_cast<std::size_t>(k);
  StoreCentreAverages(s, k, FTime, FJA - FJAPrev, FJB - FJBPrev, s.ActiveANumber, s.ActiveBNumber);
  FJAPrev = FJA;
  FJBPrev = FJB;
  s.CPInitiator[i] = s.InitiatorNumber;
  s.CPMonomerA[i] = FFreeA;
  s.CPMonomerB[i] = FFreeB;
  s.CPDeadChains[i] = 0;
}

// The events of one check-point interval. Every count the loop changes lives
// in a local for the duration (stores into the chain store's byte rows may
// alias anything, so members would be reloaded after each of them); the
// locals go back into the state before the pause gate can hold the thread and
// when the interval ends.
template <bool WithB>
void TFreeRadicalKernel::Advance(double tEnd) {
  TSimState& s = FState;
  const TFreeRadicalRates& r = FRates;
  TRunControl& control = FRun.Control;

  std::int32_t* const activeI = s.ActiveI.data();
  std::int32_t* const activeA = s.ActiveA.data();
  std::int32_t* const activeB = s.ActiveB.data();
  std::int32_t nIs = s.ActiveINumber;
  std::int32_t nAs = s.ActiveANumber;
  std::int32_t nBs = s.ActiveBNumber;
  std::int32_t initiator = s.InitiatorNumber;
  std::int32_t nA = FFreeA;
  std::int32_t nB = FFreeB;
  std::int32_t slots = FSlotsLeft;
  const std::int32_t chains = s.ChainsNumber;
  double t = FTime;
  double ja = FJA;
  double jb = FJB;
  std::uint64_t steps = FSteps;

  auto writeBack = [&]() {
    s.ActiveINumber = nIs;
    s.ActiveANumber = nAs;
    s.ActiveBNumber = nBs;
    s.InitiatorNumber = initiator;
    FFreeA = nA;
    FFreeB = nB;
    FSlotsLeft = slots;
    FTime = t;
    FJA = ja;
    FJB = jb;
    FSteps = steps;
    FRun.PublishProgress(t, steps, steps);
  };

  // The 13 channel rates, each kept until a count it depends on changes (an
  // event touches one or two counts, so most rates carry over). Counts are
  // converted to double before they are multiplied: the product of two counts
  // is then exact up to 2^53 and rounded like a 64-bit integer product
  // converted to double, so 50 000 monomer molecules x 50 000 radicals cannot
  // overflow. Each rate is always recomputed from the counts by the same
  // expression, so a carried rate is bit for bit the one a full recomputation
  // would give.
  double wAA, wAB = 0.0, wBA = 0.0, wBB = 0.0, wIA, wIB = 0.0;       // propagation and initiation
  double wdAA, wcAA, wdAB = 0.0, wcAB = 0.0, wdBB = 0.0, wcBB = 0.0; // termination of ordered pairs
  double wDecomposition;
  auto onFreeA = [&]() {
    const double a = nA;
    wAA = a * nAs * r.kAA;
    if constexpr (WithB) wBA = a * nBs * r.kBA;
    wIA = a * nIs * r.kIA;
  };
  auto onFreeB = [&]() {
    if constexpr (!WithB) return;
    const double b = nB;
    wAB = b * nAs * r.kAB;
    wBB = b * nBs * r.kBB;
    wIB = b * nIs * r.kIB;
  };
  auto onRadicalsA = [&]() {
    const double as = nAs;
    wAA = static_cast<double>(nA) * as * r.kAA;
    const double pAA = nAs > 1 ? as * (as - 1.0) : 0.0; // ordered pairs of distinct radicals
    wdAA = pAA * r.kdAA;
    wcAA = pAA * r.kcAA;
    if constexpr (!WithB) return;
    wAB = static_cast<double>(nB) * as * r.kAB;
    const double pAB = as * nBs;
    wdAB = pAB * r.kdAB;
    wcAB = pAB * r.kcAB;
  };
  auto onRadicalsB = [&]() {
    if constexpr (!WithB) return;
    const double bs = nBs;
    wBA = static_cast<double>(nA) * bs * r.kBA;
    wBB = static_cast<double>(nB) * bs * r.kBB;
    const double pAB = static_cast<double>(nAs) * bs;
    wdAB = pAB * r.kdAB;
    wcAB = pAB * r.kcAB;
    const double pBB = nBs > 1 ? bs * (bs - 1.0) : 0.0;
    wdBB = pBB * r.kdBB;
    wcBB = pBB * r.kcBB;
  };
  auto onPrimary = [&]() {
    const double is = nIs;
    wIA = static_cast<double>(nA) * is * r.kIA;
    if constexpr (WithB) wIB = static_cast<double>(nB) * is * r.kIB;
  };
  auto onInitiator = [&]() { wDecomposition = static_cast<double>(initiator) * r.kd; };
  onFreeA();
  onFreeB();
  onRadicalsA();
  onRadicalsB();
  onPrimary();
  onInitiator();

  while (t < tEnd) {
    // Cumulative rates in channel order.
    // Without monomer B the B channels' zeros are left out: x + 0 is x.
    const double r1 = wAA;
    const double r2 = WithB ? r1 + wAB : r1;
    const double r3 = WithB ? r2 + wBA : r2;
    const double r4 = WithB ? r3 + wBB : r3;
    const double r5 = r4 + wIA;
    const double r6 = WithB ? r5 + wIB : r5;
    const double r7 = r6 + wdAA;
    const double r8 = r7 + wcAA;
    const double r9 = WithB ? r8 + wdAB : r8;
    const double r10 = WithB ? r9 + wcAB : r9;
    const double r11 = WithB ? r10 + wdBB : r10;
    const double r12 = WithB ? r11 + wcBB : r11;
    const double r13 = r12 + wDecomposition;
    if (!(r13 > 0.0)) [[unlikely]] {
      // Nothing can happen any more: the run ends after this check point.
      FRun.RequestTermination();
      break;
    }
    const double as = nAs, bs = nBs;

    const double dt = RandomNegLogOpen() / r13;
    if (t + dt >= tEnd) {
      // The next event falls after the check point: the state recorded there
      // is the present one, not one an event later (with few events per
      // interval that event could be seconds away). Waiting times are
      // memoryless, so the next interval simply draws a fresh one.
      ja += (tEnd - t) * as;
      jb += (tEnd - t) * bs;
      t = tEnd;
      break;
    }
    t += dt;
    ja += dt * as; // counts before the event
    jb += dt * bs;
    ++steps;

    const double x = r13 * RandomUniform();
    // Propagation. The store refuses a unit for a chain at MaxDP; the
    // monomer and the list move are then taken back, so a refusal changes
    // nothing. (Undoing the rare refusal keeps the common path free of a
    // wait for the chain's length.)
    if (x < r1) {
      // A* + A
      --nA;
      onFreeA();
      if (!s.PropagateStrided(activeA[RandomIndex(nAs)], UnitA)) [[unlikely]] {
        ++nA;
        onFreeA();
      }
    } else if (x < r6) {
      if (WithB && x < r2) {
        // A* + B: the radical becomes B*
        --nB;
        const std::int32_t o = RandomIndex(nAs);
        const std::int32_t chain = MoveChainAt(o, activeA, nAs, activeB, nBs);
        onFreeB();
        onRadicalsA();
        onRadicalsB();
        if (!s.PropagateStrided(chain, UnitB)) [[unlikely]] {
          ++nB;
          UndoMoveChainAt(o, chain, activeA, nAs, nBs);
          onFreeB();
          onRadicalsA();
          onRadicalsB();
        }
      } else if (WithB && x < r3) {
        // B* + A: the radical becomes A*
        --nA;
        const std::int32_t o = RandomIndex(nBs);
        const std::int32_t chain = MoveChainAt(o, activeB, nBs, activeA, nAs);
        onFreeA();
        onRadicalsA();
        onRadicalsB();
        if (!s.PropagateStrided(chain, UnitA)) [[unlikely]] {
          ++nA;
          UndoMoveChainAt(o, chain, activeB, nBs, nAs);
          onFreeA();
          onRadicalsA();
          onRadicalsB();
        }
      } else if (WithB && x < r4) {
        // B* + B
        --nB;
        onFreeB();
        if (!s.PropagateStrided(activeB[RandomIndex(nBs)], UnitB)) [[unlikely]] {
          ++nB;
          onFreeB();
        }
      } else if (!WithB || x < r5) {
        // I* + A: a chain starts with its initiator end group
        --nA;
        const std::int32_t chain = MoveRandomChain(activeI, nIs, activeA, nAs);
        onFreeA();
        onRadicalsA();
        onPrimary();
        s.ChainUnits[chain][0] = 1;
        s.PropagateStrided(chain, UnitA);
      } else {
        // I* + B
        --nB;
        const std::int32_t chain = MoveRandomChain(activeI, nIs, activeB, nBs);
        onFreeB();
        onRadicalsB();
        onPrimary();
        s.ChainUnits[chain][0] = 1;
        s.PropagateStrided(chain, UnitB);
      }
    } else if (x < r12) {
      // Termination: the first radical is picked and removed, then the second
      // is picked from what is left.
      std::int32_t* firstList = activeA;
      std::int32_t* firstCount = &nAs;
      std::int32_t* secondList = activeA;
      std::int32_t* secondCount = &nAs;
      bool recombination = false;
      if (!WithB || x < r8) {
        recombination = !(x < r7);
      } else if (x < r10) {
        secondList = activeB;
        secondCount = &nBs;
        recombination = !(x < r9);
      } else {
        firstList = activeB;
        firstCount = &nBs;
        secondList = activeB;
        secondCount = &nBs;
        recombination = !(x < r11);
      }
      const std::int32_t chainX = TakeRandomChain(firstList, *firstCount);
      const std::int32_t chainY = TakeRandomChain(secondList, *secondCount);
      if (firstList == activeA) onRadicalsA();
      if (WithB && secondList == activeB) onRadicalsB();
      // Disproportionation leaves both chains as they are (units, head bytes).
      if (recombination) s.RecombineStrided(chainX, chainY);
    } else if (initiator > 0) {
      // Decomposition of one initiator molecule, which it always consumes;
      // its radicals escape the cage with probability f. A molecule leaves
      // at least two unused slots behind it, so the pair always finds them.
      --initiator;
      onInitiator();
      if (RandomUniform() < r.f) {
        activeI[nIs++] = chains - slots + 1;
        activeI[nIs++] = chains - slots + 2;
        slots -= 2;
        onPrimary();
      }
      if (initiator == 0) Propagon::LogMessage("Initiator Consumed Totally!");
    }

    if ((steps & 0xFFFF) == 0) [[unlikely]]
      FRun.PublishProgress(t, steps, steps);
    // Pause and Stop: one relaxed load per event. The state must be whole
    // before the thread can be held there or leave; a stopped run records
    // the state of this moment under the current check point.
    if (control.Requests() != 0) [[unlikely]] {
      writeBack();
      if (control.BetweenEvents(FRun.Observer())) break;
    }
  }
  writeBack();
}

} // namespace

void SimulateFreeRadical(TSimRun& run, const TFreeRadicalRates& rates) {
  TFreeRadicalKernel kernel(run, rates);
  kernel.Run();
}

void SimulateFreeRadical(TSimRun& run) {
  const TFreeRadicalRates rates = ReadFreeRadicalRates(run.File);
  SimulateFreeRadical(run, rates);
}

} // namespace Engine
