// Atom-transfer radical (co)polymerization (ATRP).
//
// Every chain starts from an initiator capped by a transferable atom X. The
// activator L takes X away and makes the end a radical (R-X + L -> R* + LX);
// the oxidized activator LX gives it back (R* + LX -> R-X + L). Only radical
// ends add monomer; two radicals terminate by disproportionation or
// recombination. Gillespie's direct method over 18 channels, with six
// unordered lists (capped and radical ends of kind I, A, B) so that picking a
// random member is constant time.
//
// A chain at the longest length the store holds (MaxDP) refuses a unit: the
// event changes nothing but the refusal count (the monomer stays free, the
// radical keeps its kind and its list).

#include "engine/uKernelRates.h"
#include "engine/uKernelSupport.h"
#include "engine/uKernels.h"
#include "engine/uranmt.h"
#include "params/uLogMessage.h"
#include "params/uParamFile.h"

#include <algorithm>
#include <cmath>

namespace Engine {

TATRPRates ReadATRPRates(const Params::TParameterFile& file) {
  TRateReader read(file);
  TATRPRates r;
  r.kAA = read("A*A");
  r.kAB = read("A*B");
  r.kBA = read("B*A");
  r.kBB = read("B*B");
  r.kIA = read("I*A");
  r.kIB = read("I*B");
  r.kaI = read("ActivI");
  r.kaA = read("ActivA");
  r.kaB = read("ActivB");
  r.kdeI = read("DeactI");
  r.kdeA = read("DeactA");
  r.kdeB = read("DeactB");
  r.kdAA = read("DisprAA");
  r.kdAB = read("DisprAB");
  r.kdBB = read("DisprBB");
  r.kcAA = read("RecombAA");
  r.kcAB = read("RecombAB");
  r.kcBB = read("RecombBB");
  return r;
}

namespace {

// Before the first event: no channel's rate may pass the largest double. At
// most every chain is in one list, all the monomer is free, and the whole
// copper of the run (L + LX stays constant) is on one side.
void RefuseUnboundedRates(const TSimState& s, const TATRPRates& r) {
  const double chains = s.ChainsNumber, a = s.MonomerANumber, b = s.MonomerBNumber;
  const double copper = static_cast<double>(s.ActivatorNumber) + s.OxidizedActivatorNumber;
  TRateBounds bounds;
  AddRadicalChannelBounds(bounds, r, chains, a, b);
  bounds.Add("ActivI", r.kaI, copper, chains);
  bounds.Add("ActivA", r.kaA, copper, chains);
  bounds.Add("ActivB", r.kaB, copper, chains);
  bounds.Add("DeactI", r.kdeI, copper, chains);
  bounds.Add("DeactA", r.kdeA, copper, chains);
  bounds.Add("DeactB", r.kdeB, copper, chains);
}

class TATRPKernel {
public:
  TATRPKernel(TSimRun& run, const TATRPRates& rates) : FRun(run), FState(run.State), FRates(rates) {}

  void Run();

private:
  // WithB false: no monomer B, so every channel of a B unit or B end has
  // rate 0 for the whole run and is left out of the sums (the same sums to
  // the bit, see the free-radical kernel).
  template <class Kernel>
  friend void ::Engine::RunCheckPointCycleWithOrWithoutB(TSimRun& run, Kernel& kernel, bool withB);
  template <bool WithB>
  void Advance(double tEnd);
  void StoreRecord(std::int32_t k);

  TSimRun& FRun;
  TSimState& FState;
  const TATRPRates FRates;

  double FTime = 0.0;
  double FJA = 0.0, FJB = 0.0;
  double FJAPrev = 0.0, FJBPrev = 0.0;
  std::int32_t FFreeA = 0, FFreeB = 0;
  // L and LX molecules; 64-bit because their sum, which stays constant, may
  // exceed the 32-bit range each of them is read in.
  std::int64_t FActivator = 0, FDeactivator = 0;
  std::uint64_t FSteps = 0;
};

void TATRPKernel::Run() {
  TSimState& s = FState;
  RefuseUnboundedRates(s, FRates);
  s.InitializeRun();
  s.ChainUnits.AdviseDenseFirstBlock(); // every chain grows
  FFreeA = s.MonomerANumber;
  FFreeB = s.MonomerBNumber;
  FActivator = s.ActivatorNumber;
  FDeactivator = s.OxidizedActivatorNumber;
  FRun.ResetCounters();

  RunCheckPointCycleWithOrWithoutB(FRun, *this, s.MonomerBNumber != 0);

  if (s.DeadChainsNumber == s.ChainsNumber) Propagon::LogMessage("All Chains Terminated!");
  if (static_cast<std::int64_t>(FFreeA) + FFreeB == 0) Propagon::LogMessage("All Monomer Consumed!");
}

void TATRPKernel::StoreRecord(std::int32_t k) {
  TSimState& s = FState;
  const std::size_t i = static_cast<std::size_t>(k);
  s.CPInitiator[i] = s.DormantINumber + s.ActiveINumber;
  s.CPMonomerA[i] = FFreeA;
  s.CPMonomerB[i] = FFreeB;
  StoreCentreAverages(s, k, FTime, FJA - FJAPrev, FJB - FJBPrev, s.ActiveANumber, s.ActiveBNumber);
  FJAPrev = FJA;
  FJBPrev = FJB;
  s.CPDeadChains[i] = s.DeadChainsNumber;
}

// One check-point interval; counts in locals as in the free-radical kernel.
template <bool WithB>
void TATRPKernel::Advance(double tEnd) {
  TSimState& s = FState;
  const TATRPRates& r = FRates;
  TRunControl& control = FRun.Control;

  std::int32_t* const dormantI = s.DormantI.data();
  std::int32_t* const dormantA = s.DormantA.data();
  std::int32_t* const dormantB = s.DormantB.data();
  std::int32_t* const activeI = s.ActiveI.data();
  std::int32_t* const activeA = s.ActiveA.data();
  std::int32_t* const activeB = s.ActiveB.data();
  std::uint8_t* const living = s.ChainLiving.data();
  std::int32_t nIX = s.DormantINumber, nAX = s.DormantANumber, nBX = s.DormantBNumber;
  std::int32_t nIs = s.ActiveINumber, nAs = s.ActiveANumber, nBs = s.ActiveBNumber;
  std::int32_t nA = FFreeA, nB = FFreeB;
  std::int64_t nL = FActivator, nLX = FDeactivator;
  double t = FTime;
  double ja = FJA;
  double jb = FJB;
  std::uint64_t steps = FSteps;

  auto writeBack = [&]() {
    s.DormantINumber = nIX;
    s.DormantANumber = nAX;
    s.DormantBNumber = nBX;
    s.ActiveINumber = nIs;
    s.ActiveANumber = nAs;
    s.ActiveBNumber = nBs;
    FFreeA = nA;
    FFreeB = nB;
    FActivator = nL;
    FDeactivator = nLX;
    FTime = t;
    FJA = ja;
    FJB = jb;
    FSteps = steps;
    FRun.PublishProgress(t, steps, steps);
  };

  // The 18 channel rates, each recomputed only when a count it depends on
  // changes, always by the same expression (so a carried rate equals a fresh
  // one bit for bit). Counts are converted to double before they are
  // multiplied: products of two counts are exact to 2^53 and cannot overflow.
  double w1, w2 = 0.0, w3 = 0.0, w4 = 0.0, w5, w6 = 0.0;       // propagation and initiation
  double w7, w8, w9 = 0.0;                                     // activation
  double w10, w11, w12 = 0.0;                                  // deactivation
  double w13, w14, w15 = 0.0, w16 = 0.0, w17 = 0.0, w18 = 0.0; // termination of ordered pairs
  auto onFreeA = [&]() {
    const double a = nA;
    w1 = static_cast<double>(nAs) * r.kAA * a;
    if constexpr (WithB) w3 = a * nBs * r.kBA;
    w5 = a * nIs * r.kIA;
  };
  auto onFreeB = [&]() {
    if constexpr (!WithB) return;
    const double b = nB;
    w2 = static_cast<double>(nAs) * r.kAB * b;
    w4 = b * nBs * r.kBB;
    w6 = b * nIs * r.kIB;
  };
  auto onRadicalsA = [&]() {
    const double as = nAs;
    w1 = as * r.kAA * nA;
    w11 = static_cast<double>(nLX) * as * r.kdeA;
    const double pAA = nAs > 1 ? as * (as - 1.0) : 0.0;
    w13 = pAA * r.kdAA;
    w14 = pAA * r.kcAA;
    if constexpr (!WithB) return;
    w2 = as * r.kAB * nB;
    const double pAB = as * nBs;
    w15 = pAB * r.kdAB;
    w16 = pAB * r.kcAB;
  };
  auto onRadicalsB = [&]() {
    if constexpr (!WithB) return;
    const double bs = nBs;
    w3 = static_cast<double>(nA) * bs * r.kBA;
    w4 = static_cast<double>(nB) * bs * r.kBB;
    w12 = static_cast<double>(nLX) * bs * r.kdeB;
    const double pAB = static_cast<double>(nAs) * bs;
    w15 = pAB * r.kdAB;
    w16 = pAB * r.kcAB;
    const double pBB = nBs > 1 ? bs * (bs - 1.0) : 0.0;
    w17 = pBB * r.kdBB;
    w18 = pBB * r.kcBB;
  };
  auto onRadicalsI = [&]() {
    const double is = nIs;
    w5 = static_cast<double>(nA) * is * r.kIA;
    if constexpr (WithB) w6 = static_cast<double>(nB) * is * r.kIB;
    w10 = is * static_cast<double>(nLX) * r.kdeI;
  };
  // Activator L with the capped ends (also when a capped count changed).
  auto onActivator = [&]() {
    const double l = nL;
    w7 = static_cast<double>(nIX) * r.kaI * l;
    w8 = l * static_cast<double>(nAX) * r.kaA;
    if constexpr (WithB) w9 = l * static_cast<double>(nBX) * r.kaB;
  };
  auto onDeactivator = [&]() {
    const double lx = nLX;
    w10 = static_cast<double>(nIs) * lx * r.kdeI;
    w11 = lx * static_cast<double>(nAs) * r.kdeA;
    if constexpr (WithB) w12 = lx * static_cast<double>(nBs) * r.kdeB;
  };
  onFreeA();
  onFreeB();
  onRadicalsA();
  onRadicalsB();
  onRadicalsI();
  onActivator();
  onDeactivator();

  // With many chains the capped chain an activation wakes is far away in
  // memory, behind three dependent reads: its place in the list, its length,
  // its row. Its place is drawn one activation ahead, and the events in
  // between (three on average) ask for the three in turn; the list changes by
  // a few entries meanwhile, so the place is scaled to the list's length when
  // it is used.
  std::uint32_t nextWakeDraw = RandomInt32();
  int wakeStage = 0;
  const std::uint16_t* const chainDP = s.ChainDP.data();
  const auto wakePlace = [&]() {
    return static_cast<std::int32_t>(UniformFromInt32(nextWakeDraw) * static_cast<double>(nAX));
  };
  while (t < tEnd) {
    if (wakeStage != 0 && nAX > 0) [[likely]] {
      const std::int32_t next = dormantA[wakePlace()];
      if (wakeStage == 1) {
        __builtin_prefetch(&chainDP[next]);
        wakeStage = 2;
      } else {
        __builtin_prefetch(&s.ChainUnits[next][std::min<std::int32_t>(chainDP[next] + 1, MaxDP)], 1);
        wakeStage = 0;
      }
    }
    // The total is summed as three groups of six (growth, the activation
    // equilibrium, termination), each as a balanced tree, so the next event
    // waits on five dependent additions rather than seventeen: a mispredicted
    // channel branch restarts right here. The channel within the chosen group
    // is then found from the partial sums in channel order, which the branch
    // prediction runs ahead of.
    // Without monomer B the zero terms are left out: x + 0 is x.
    const double growth = WithB ? ((w1 + w2) + (w3 + w4)) + (w5 + w6) : w1 + w5;
    const double equilibrium = WithB ? ((w7 + w8) + (w9 + w10)) + (w11 + w12) : ((w7 + w8) + w10) + w11;
    const double termination = WithB ? ((w13 + w14) + (w15 + w16)) + (w17 + w18) : w13 + w14;
    const double r1 = w1;
    const double r2 = WithB ? r1 + w2 : r1;
    const double r3 = WithB ? r2 + w3 : r2;
    const double r4 = WithB ? r3 + w4 : r3;
    const double r5 = r4 + w5;
    const double r6 = WithB ? r5 + w6 : r5;
    const double r7 = w7;
    const double r8 = r7 + w8;
    const double r9 = WithB ? r8 + w9 : r8;
    const double r10 = r9 + w10;
    const double r11 = r10 + w11;
    const double r12 = WithB ? r11 + w12 : r11;
    const double r13 = w13;
    const double r14 = r13 + w14;
    const double r15 = WithB ? r14 + w15 : r14;
    const double r16 = WithB ? r15 + w16 : r15;
    const double r17 = WithB ? r16 + w17 : r16;
    const double r18 = WithB ? r17 + w18 : r17;
    const double growthAndEquilibrium = growth + equilibrium;
    const double total = growthAndEquilibrium + termination;
    if (!(total > 0.0)) [[unlikely]] {
      FRun.RequestTermination();
      break;
    }
    const double as = nAs, bs = nBs;

    const double dt = RandomNegLogOpen() / total;
    if (t + dt >= tEnd) {
      // The next event falls after the check point: record the present state
      // (see the free-radical kernel); the next interval draws afresh.
      ja += (tEnd - t) * as;
      jb += (tEnd - t) * bs;
      t = tEnd;
      break;
    }
    t += dt;
    ja += dt * as;
    jb += dt * bs;
    ++steps;

    // Position within the chosen group, below the group's sum in channel
    // order (r6, r12, r18), so that it never lands on a channel of rate 0:
    // the tree sum and the subtraction of the groups before it may differ
    // from that by a rounding, which is clamped.
    double x = total * RandomUniform();
    int group = 0;
    double last = r6;
    if (x >= growthAndEquilibrium) {
      group = 2;
      x -= growthAndEquilibrium;
      last = r18;
    } else if (x >= growth) {
      group = 1;
      x -= growth;
      last = r12;
    }
    if (!(x < last)) [[unlikely]]
      x = std::nextafter(last, 0.0);
    if (group == 0) {
      // Propagation; a unit the store refuses (chain at MaxDP) gives its
      // monomer and the list move back (see the free-radical kernel).
      if (x < r1) {
        --nA;
        onFreeA();
        if (!s.Propagate(activeA[RandomIndex(nAs)], UnitA)) [[unlikely]] {
          ++nA;
          onFreeA();
        }
      } else if (WithB && x < r2) {
        --nB;
        const std::int32_t o = RandomIndex(nAs);
        const std::int32_t chain = MoveChainAt(o, activeA, nAs, activeB, nBs);
        onFreeB();
        onRadicalsA();
        onRadicalsB();
        if (!s.Propagate(chain, UnitB)) [[unlikely]] {
          ++nB;
          UndoMoveChainAt(o, chain, activeA, nAs, nBs);
          onFreeB();
          onRadicalsA();
          onRadicalsB();
        }
      } else if (WithB && x < r3) {
        --nA;
        const std::int32_t o = RandomIndex(nBs);
        const std::int32_t chain = MoveChainAt(o, activeB, nBs, activeA, nAs);
        onFreeA();
        onRadicalsA();
        onRadicalsB();
        if (!s.Propagate(chain, UnitA)) [[unlikely]] {
          ++nA;
          UndoMoveChainAt(o, chain, activeB, nBs, nAs);
          onFreeA();
          onRadicalsA();
          onRadicalsB();
        }
      } else if (WithB && x < r4) {
        --nB;
        onFreeB();
        if (!s.Propagate(activeB[RandomIndex(nBs)], UnitB)) [[unlikely]] {
          ++nB;
          onFreeB();
        }
      } else if (!WithB || x < r5) {
        --nA;
        const std::int32_t chain = MoveRandomChain(activeI, nIs, activeA, nAs);
        onFreeA();
        onRadicalsI();
        onRadicalsA();
        s.ChainUnits[chain][0] = 1;
        s.Propagate(chain, UnitA);
      } else {
        --nB;
        const std::int32_t chain = MoveRandomChain(activeI, nIs, activeB, nBs);
        onFreeB();
        onRadicalsI();
        onRadicalsB();
        s.ChainUnits[chain][0] = 1;
        s.Propagate(chain, UnitB);
      }
    } else if (group == 1) {
      if (x < r9) {
        // Activation: R-X + L -> R* + LX
        ++nLX;
        --nL;
        std::int32_t chain;
        if (x < r7) {
          chain = MoveRandomChain(dormantI, nIX, activeI, nIs);
          onRadicalsI();
        } else if (!WithB || x < r8) {
          chain = MoveChainAt(wakePlace(), dormantA, nAX, activeA, nAs);
          nextWakeDraw = RandomInt32();
          __builtin_prefetch(&dormantA[wakePlace()]);
          wakeStage = 1;
          onRadicalsA();
        } else {
          chain = MoveRandomChain(dormantB, nBX, activeB, nBs);
          onRadicalsB();
        }
        onActivator();
        onDeactivator();
        // A chain that wakes up usually grows within the next few events: ask
        // for the place of its next unit now, so that the write then finds it
        // in the cache (with many chains their rows do not stay cached).
        const std::int32_t next = std::min<std::int32_t>(s.ChainDP[static_cast<std::size_t>(chain)] + 1, MaxDP);
        __builtin_prefetch(&s.ChainUnits[chain][next], 1);
      } else {
        // Deactivation: R* + LX -> R-X + L
        --nLX;
        ++nL;
        if (x < r10) {
          MoveRandomChain(activeI, nIs, dormantI, nIX);
          onRadicalsI();
        } else if (!WithB || x < r11) {
          MoveRandomChain(activeA, nAs, dormantA, nAX);
          onRadicalsA();
        } else {
          MoveRandomChain(activeB, nBs, dormantB, nBX);
          onRadicalsB();
        }
        onActivator();
        onDeactivator();
      }
    } else {
      // Termination of two radicals; the second is picked after the first
      // has left its list.
      std::int32_t* firstList = activeA;
      std::int32_t* firstCount = &nAs;
      std::int32_t* secondList = activeA;
      std::int32_t* secondCount = &nAs;
      bool recombination;
      if (!WithB || x < r14) {
        recombination = !(x < r13);
      } else if (x < r16) {
        secondList = activeB;
        secondCount = &nBs;
        recombination = !(x < r15);
      } else {
        firstList = activeB;
        firstCount = &nBs;
        secondList = activeB;
        secondCount = &nBs;
        recombination = !(x < r17);
      }
      const bool touchesB = firstList == activeB || secondList == activeB;
      const bool touchesA = firstList == activeA;
      if (recombination) {
        const std::int32_t chainX = TakeRandomChain(firstList, *firstCount);
        const std::int32_t chainY = TakeRandomChain(secondList, *secondCount);
        if (touchesA) onRadicalsA();
        if (WithB && touchesB) onRadicalsB();
        // A refused recombination (product past the longest chain) still
        // leaves both radicals terminated and marked dead by the store; they
        // are counted among the dead chains like any terminated pair, so that
        // the dead-chain record and "All Chains Terminated!" stay true.
        if (!s.Recombine(chainX, chainY)) s.DeadChainsNumber += 2;
      } else {
        living[TakeRandomChain(firstList, *firstCount)] = 0;
        living[TakeRandomChain(secondList, *secondCount)] = 0;
        s.DeadChainsNumber += 2;
        if (touchesA) onRadicalsA();
        if (touchesB) onRadicalsB();
      }
    }

    if ((steps & 0xFFFF) == 0) [[unlikely]]
      FRun.PublishProgress(t, steps, steps);
    // Pause and Stop: one relaxed load per event (see the free-radical kernel).
    if (control.Requests() != 0) [[unlikely]] {
      writeBack();
      if (control.BetweenEvents(FRun.Observer())) break;
    }
  }
  writeBack();
}

} // namespace

void SimulateATRP(TSimRun& run, const TATRPRates& rates) {
  TATRPKernel kernel(run, rates);
  kernel.Run();
}

void SimulateATRP(TSimRun& run) {
  const TATRPRates rates = ReadATRPRates(run.File);
  SimulateATRP(run, rates);
}

} // namespace Engine
