// Living reversible (co)polymerization: every chain end adds monomer A or B
// and can release its terminal unit back into the free monomer, at a rate that
// depends on the last two units of the end (the initiator counting as a unit
// kind of its own). Chains never terminate and never exchange units.
//
// Chains interact only through the shared free monomer, so time advances in
// slices: within a slice each chain in turn runs through its own exponential
// waiting times, seeing the monomer counts left by the chains before it. The
// slice length adapts so that about half an event per chain happens per slice.
//
// Each chain's end is kept as a code 2 x penultimate + terminal (A = 0, B = 1,
// initiator = 2): 0 AA*, 1 AB*, 2 BA*, 3 BB*, 4 IA*, 5 IB*, 6 I* (no units).

#include "engine/uKernelRates.h"
#include "engine/uKernelSupport.h"
#include "engine/uKernels.h"
#include "engine/uranmt.h"
#include "params/uLogMessage.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"

#include <algorithm>
#include <cmath>

namespace Engine {

TReversibleRates ReadReversibleRates(const Params::TParameterFile& file) {
  TRateReader read(file);
  TReversibleRates r;
  r.kIA = read("I*A");
  r.kIB = read("I*B");
  r.kAA = read("A*A");
  r.kAB = read("A*B");
  r.kBA = read("B*A");
  r.kBB = read("B*B");
  r.kIAr = read("IA*");
  r.kIBr = read("IB*");
  r.kAAr = read("AA*");
  r.kABr = read("AB*");
  r.kBAr = read("BA*");
  r.kBBr = read("BB*");
  return r;
}

double AdaptReversibleSlice(double slice, std::int64_t events, std::int32_t chains) noexcept {
  if (static_cast<double>(events) > chains * 0.5) return chains * slice * 0.5 / static_cast<double>(events);
  return slice * 1.02;
}

namespace {

// The rates of one end code: adding A costs nA x AddA, adding B nB x AddB,
// releasing the terminal unit happens at Release (1/s).
struct TEndRates {
  double AddA[7];
  double AddB[7];
  double Release[7];
};

TEndRates MakeEndRates(const TReversibleRates& r) {
  // A terminal A adds A with kAA and B with kAB, a terminal B with kBA and
  // kBB, a bare initiator end with kIA and kIB; the release constant is that
  // of the end dyad. A bare initiator end has nothing to release.
  return TEndRates{{r.kAA, r.kBA, r.kAA, r.kBA, r.kAA, r.kBA, r.kIA},
                   {r.kAB, r.kBB, r.kAB, r.kBB, r.kAB, r.kBB, r.kIB},
                   {r.kAAr, r.kABr, r.kBAr, r.kBBr, r.kIAr, r.kIBr, 0.0}};
}

class TReversibleKernel {
public:
  TReversibleKernel(TSimRun& run, const TReversibleRates& rates)
      : FRun(run), FState(run.State), FRates(MakeEndRates(rates)) {}

  void Run();

private:
  // False when the run was stopped inside the slice.
  bool Slice(double slice);
  void StoreRecord(std::int32_t k);

  TSimRun& FRun;
  TSimState& FState;
  const TEndRates FRates;

  std::int32_t FFreeA = 0, FFreeB = 0;
  std::int32_t FBare = 0;   // chains with code 6 (nI)
  // Events of the current slice (E). 64-bit: the first slice is half the
  // first interval whatever the rates, and 10^5 chains with a few thousand
  // events each in it already pass 2^31.
  std::int64_t FEvents = 0;
  std::uint64_t FSteps = 0; // waiting times drawn
  std::uint64_t FApplied = 0;
};

void TReversibleKernel::Run() {
  TSimState& s = FState;
  {
    // One end's total rate: all the monomer free, plus its release rate.
    const double a = s.MonomerANumber, b = s.MonomerBNumber;
    const TEndRates& r = FRates;
    static constexpr const char* AddAKeys[7] = {"A*A", "B*A", "A*A", "B*A", "A*A", "B*A", "I*A"};
    static constexpr const char* AddBKeys[7] = {"A*B", "B*B", "A*B", "B*B", "A*B", "B*B", "I*B"};
    static constexpr const char* ReleaseKeys[7] = {"AA*", "AB*", "BA*", "BB*", "IA*", "IB*", ""};
    for (int code = 0; code < 7; ++code) {
      TRateBounds bounds;
      bounds.Add(AddAKeys[code], r.AddA[code], a);
      bounds.Add(AddBKeys[code], r.AddB[code], b);
      bounds.Add(ReleaseKeys[code], r.Release[code], 1.0);
    }
  }
  s.InitializeRun();
  s.ChainUnits.AdviseDenseFirstBlock(); // every chain grows
  FFreeA = s.MonomerANumber;
  FFreeB = s.MonomerBNumber;
  FBare = s.ChainsNumber;
  FRun.ResetCounters();
  double t = 0.0;
  FRun.LogCheckPoint(0);
  if (s.CheckPointsHigh < 1) return;

  const std::int32_t chains = s.ChainsNumber;
  const double target = chains * 0.5; // events per slice aimed at
  double slice = s.CheckPointTime[1] * 0.5;
  double saved = slice;
  bool cut = false;
  FEvents = static_cast<std::int64_t>(Propagon::RoundHalfEven(target));

  for (std::int32_t k = 1; k <= s.CheckPointsHigh; ++k) {
    const double tEnd = s.CheckPointTime[static_cast<std::size_t>(k)];
    while (t < tEnd) {
      if (cut) {
        // The slice before was cut short at a check point: the length it
        // replaced comes back, and the adaptation starts from target.
        slice = saved;
        FEvents = static_cast<std::int64_t>(Propagon::RoundHalfEven(target));
        cut = false;
      }
      const double previous = slice;
      slice = AdaptReversibleSlice(slice, FEvents, chains);
      // A slice of length 0 would never move the clock (first check point at
      // time 0): start again from half of what is left of the interval, as the
      // first slice of a run does.
      if (!(slice > 0.0)) slice = (tEnd - t) * 0.5;
      // A slice that would pass the check point ends exactly on it. The test
      // comes after the adaptation, so a lengthened slice cannot overshoot.
      if (tEnd - t < slice) {
        saved = previous;
        slice = tEnd - t;
        cut = true;
      }
      FEvents = 0;
      // The cut slice lands on the check point itself, not one rounding step
      // short of it, which would leave a sliver of a slice to run.
      t = cut ? tEnd : std::min(t + slice, tEnd);
      // A stopped slice leaves the rest of its chains for good: the state
      // reached is recorded under the current check point.
      if (!Slice(slice)) break;
    }
    FRun.PublishProgress(t, FSteps, FApplied);
    FRun.CompleteCheckPoint(k, [this](std::int32_t i) { StoreRecord(i); });
    const bool noMonomer = static_cast<std::int64_t>(FFreeA) + FFreeB == 0;
    if (noMonomer) FRun.RequestTermination();
    if (FRun.Control.Terminated()) {
      if (noMonomer) Propagon::LogMessage("All Monomer Consumed!");
      break;
    }
  }
}

void TReversibleKernel::StoreRecord(std::int32_t k) {
  TSimState& s = FState;
  const std::size_t i = static_cast<std::size_t>(k);
  s.CPInitiator[i] = FBare;
  s.CPMonomerA[i] = FFreeA;
  s.CPMonomerB[i] = FFreeB;
  // Ends whose terminal unit is A (codes 0, 2, 4) or B (1, 3, 5).
  std::int32_t endsA = 0, endsB = 0;
  const std::uint8_t* code = s.ChainEndCode.data();
  for (std::int32_t c = 1; c <= s.ChainsNumber; ++c) {
    const std::uint8_t e = code[c];
    endsA += e < ecI && (e & 1) == 0;
    endsB += (e & 1) != 0;
  }
  s.CPACenters[i] = endsA;
  s.CPBCenters[i] = endsB;
  s.CPDeadChains[i] = 0;
}

// One slice: every chain in turn spends `slice` seconds of its own time.
bool TReversibleKernel::Slice(double slice) {
  TSimState& s = FState;
  const TEndRates& r = FRates;
  TRunControl& control = FRun.Control;
  std::uint8_t* const endCode = s.ChainEndCode.data();
  const std::int32_t chains = s.ChainsNumber;
  std::int32_t nA = FFreeA;
  std::int32_t nB = FFreeB;
  std::int32_t bare = FBare;
  std::int64_t events = 0;
  std::uint64_t steps = FSteps;
  std::uint64_t applied = FApplied;
  const auto writeBack = [&] {
    FFreeA = nA;
    FFreeB = nB;
    FBare = bare;
    FEvents = events;
    FSteps = steps;
    FApplied = applied;
  };
  // Pause and Stop between two events (each event is complete, in whichever
  // chain): true when the run must leave the slice. Called only once a
  // request is pending, so the counts stay in registers otherwise.
  const auto attend = [&] {
    writeBack();
    return control.BetweenEvents(FRun.Observer());
  };

  for (std::int32_t chain = 1; chain <= chains; ++chain) {
    double b = slice; // time left to this chain in the slice
    for (;;) {
      const std::uint8_t code = endCode[chain];
      const double r1 = nA * r.AddA[code];
      const double r2 = nB * r.AddB[code];
      const double total = r1 + r2 + r.Release[code];
      // An end that can do nothing (no monomer to add, nothing to release)
      // waits out the slice: test the rate rather than divide by zero.
      if (!(total > 0.0)) break;
      ++steps;
      b -= RandomNegLogOpen() / total;
      if (b < 0.0) break; // the next event falls after the end of the slice
      ++events;
      const double x = RandomUniform() * total;
      if (code == ecI) {
        // Bare initiator end: the first unit.
        if (x > r1) {
          if (s.ReversibleAddB(chain, ecIB, nB)) {
            --bare;
            ++applied;
          }
        } else if (s.ReversibleAddA(chain, ecIA, nA)) {
          --bare;
          ++applied;
        }
      } else if (x < r1) {
        // Adding A makes the old terminal unit the penultimate one.
        applied += s.ReversibleAddA(chain, static_cast<std::uint8_t>(2 * (code & 1)), nA);
      } else if (x < r1 + r2) {
        applied += s.ReversibleAddB(chain, static_cast<std::uint8_t>(2 * (code & 1) + 1), nB);
      } else {
        // Release of the terminal unit; the penultimate one becomes terminal.
        const std::uint8_t penultimate = static_cast<std::uint8_t>((code >> 1) & 1);
        if (code & 1)
          s.ReversibleRemoveB(chain, penultimate, nB);
        else
          s.ReversibleRemoveA(chain, penultimate, nA);
        if (code >= ecIA) ++bare;
        ++applied;
      }
      // One relaxed load per event: a chain may run through many events in
      // one slice, and Stop must not wait for the slice to end.
      if (control.Requests() != 0) [[unlikely]]
        if (attend()) return false;
    }
    // And every 1024 chains for the chains that draw no event (a few
    // microseconds of idle draws).
    if ((chain & 1023) == 0 && control.Requests() != 0) [[unlikely]]
      if (attend()) return false;
  }
  writeBack();
  return true;
}

} // namespace

void SimulateLivingReversible(TSimRun& run, const TReversibleRates& rates) {
  TReversibleKernel kernel(run, rates);
  kernel.Run();
}

void SimulateLivingReversible(TSimRun& run) {
  const TReversibleRates rates = ReadReversibleRates(run.File);
  SimulateLivingReversible(run, rates);
}

} // namespace Engine
