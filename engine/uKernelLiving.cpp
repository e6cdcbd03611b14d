// Living (co)polymerization with segment exchange: a fixed-time-step rejection
// scheme. Every attempt advances the clock by the same interval, picks one mer
// (free monomer or unit in a chain) and one chain at random, and lets them
// react with the probability P[kind of the mer][kind of the chain end]:
// a free monomer propagates the chain, a unit of another chain is attacked by
// the chain end, which takes over that unit and everything after it.
//
// Speed. An attempt is three random numbers and two table reads, repeated
// hundreds of millions of times per run, while reactions are a small fraction
// of attempts late in a run. The two reads therefore go to byte arrays kept
// beside the mer records: the kind code of every mer (1 MB for 10^6 mers,
// resident in L2) and the end kind of every chain (one byte per chain), instead
// of the 16-byte mer records and the dependent read through ChainEndMer. The
// acceptance test u < P is done on the integer output of the generator against
// a precomputed threshold, which is exactly equivalent (see Threshold).
// Everything the rest of the program reads (Mers, ChainEndMer, ChainDP,
// ChainUnits, DPDistribution) is kept up to date on every event.

#include "engine/uKernels.h"

#include "engine/uKernelSupport.h"
#include "engine/uranmt.h"
#include "params/uErrors.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace Engine {

namespace {

// Kind of a chain end as the probability matrix indexes it: the Kind of the
// chain's end mer, 0 = A*, 1 = B*, 2 = I* (no units: the sentinel mer 0).
constexpr std::uint8_t EndA = 0, EndB = 1, EndI = 2;

// Mer kind codes of the mirror array: Kind x 4, so that code + end kind is the
// index into the flattened 4 x 4 threshold table.
constexpr std::uint32_t CodeOf(std::uint8_t kind) { return static_cast<std::uint32_t>(kind) << 2; }
constexpr std::uint32_t FirstFreeCode = 8; // codes 8 (free A) and 12 (free B)

// Keys of P[picked mer kind][chain end kind] in section "SimulationRates".
constexpr const char* ProbabilityKeys[4][3] = {
    {"A*Ac", "B*Ac", "I*Ac"}, // unit A in a chain: segment transfer
    {"A*Bc", "B*Bc", "I*Bc"}, // unit B in a chain: segment transfer
    {"A*A", "B*A", "I*A"},    // free monomer A: propagation
    {"A*B", "B*B", "I*B"},    // free monomer B: propagation
};

// u < p with u = (r XOR 2^31) / 2^32 is the same test as (r XOR 2^31) < T for
// the integer T = ceil(p x 2^32): p x 2^32 is exact (a power-of-two scaling),
// and for an integer x, x < y holds exactly when x < ceil(y). Probabilities of
// 1 or more accept every output, 0 or less (and NaN) none.
std::uint64_t Threshold(double p) {
  if (!(p > 0.0)) return 0;
  if (p >= 1.0) return std::uint64_t{1} << 32;
  return static_cast<std::uint64_t>(std::ceil(p * 4294967296.0));
}

// A step that does not advance the clock would never reach the next check
// point: the run would spin until stopped. It is refused like an unreadable
// value.
void CheckTimeInterval(double dt) {
  if (!(dt > 0.0) || !std::isfinite(dt))
    throw Propagon::EMathError("TimeInterval must be a positive number of seconds, not " +
                               Propagon::FormatGeneral(dt, 15));
}

// Every this many attempts the kernel publishes its progress.
constexpr std::uint64_t ProgressMask = (std::uint64_t{1} << 14) - 1;

} // namespace

TLivingRates ReadLivingRates(const Params::TParameterFile& file) {
  TLivingRates rates;
  // The probabilities are read, and refused when missing or negative, as the
  // other kernels read their rate constants.
  const TRateReader read(file);
  for (int km = 0; km < 4; ++km)
    for (int ke = 0; ke < 3; ++ke) rates.P[km][ke] = read(ProbabilityKeys[km][ke]);
  try {
    rates.TimeInterval = file.ReadLocalFloat(Params::ChemicalRatesSection, "TimeInterval");
  } catch (const Propagon::EConvertError&) {
    Propagon::EConvertError error("\"TimeInterval\" of section \"ChemicalRates\" is missing or not a number");
    error.SetField(std::string(Params::ChemicalRatesSection) + "/TimeInterval");
    throw error;
  }
  CheckTimeInterval(rates.TimeInterval);
  return rates;
}

void SimulateLiving(TSimRun& run) { SimulateLiving(run, ReadLivingRates(run.File)); }

void SimulateLiving(TSimRun& run, const TLivingRates& rates) {
  CheckTimeInterval(rates.TimeInterval);
  TSimState& s = run.State;
  const double dt = rates.TimeInterval;

  s.InitializeRun();
  s.ChainUnits.AdviseDenseFirstBlock(); // every chain grows

  const std::int32_t mersNumber = s.MersNumber;
  const std::int32_t chainsNumber = s.ChainsNumber;
  TMer* const mers = s.Mers.data();
  std::int32_t* const chainEndMer = s.ChainEndMer.data();
  std::uint16_t* const chainDP = s.ChainDP.data();
  std::int32_t* const dpDistribution = s.DPDistribution.data();
  TChainUnits& chainUnits = s.ChainUnits;
  TSimObserver* const observer = run.Observer();
  TRunControl& control = run.Control;

  // The per-attempt reads (see the top of the file).
  std::vector<std::uint8_t> merCode(static_cast<std::size_t>(mersNumber) + 1);
  for (std::int32_t m = 0; m <= mersNumber; ++m) merCode[static_cast<std::size_t>(m)] = static_cast<std::uint8_t>(CodeOf(mers[m].Kind));
  std::vector<std::uint8_t> endKind(static_cast<std::size_t>(chainsNumber) + 1, EndI);
  // The Next links once more, 4 bytes a mer: the segment walk of a transfer
  // is a chain of dependent reads, and a quarter of the memory (and of the
  // pages) of the mer records makes each of them cheaper.
  std::vector<std::int32_t> nextLink(static_cast<std::size_t>(mersNumber) + 1, 0);
  std::uint64_t threshold[16] = {};
  for (int km = 0; km < 4; ++km)
    for (int ke = 0; ke < 3; ++ke) threshold[CodeOf(static_cast<std::uint8_t>(km)) + ke] = Threshold(rates.P[km][ke]);
  std::uint8_t* const code = merCode.data();
  std::uint8_t* const chainEnd = endKind.data();
  std::int32_t* const next = nextLink.data();

  const double mersScale = static_cast<double>(mersNumber);
  const double chainsScale = static_cast<double>(chainsNumber);
  // Without monomer or without chains nothing can react (and there is nothing
  // to pick): the clock still advances attempt by attempt.
  const bool anythingToPick = mersNumber > 0 && chainsNumber > 0;

  double t = 0.0;
  std::int32_t nI = chainsNumber;
  std::int32_t nA = s.MonomerANumber;
  std::int32_t nB = s.MonomerBNumber;
  std::uint64_t steps = 0;
  std::uint64_t events = 0;
  run.PublishProgress(t, steps, events);

  const auto publish = [&] { run.PublishProgress(t, steps, events); };

  // Appends free mer m (unit kind u) to chain ch.
  const auto propagate = [&](std::int32_t m, std::int32_t ch, std::uint8_t u) {
    const std::int32_t d = chainDP[ch];
    if (d >= MaxDP) [[unlikely]] {
      // The sequence row is full: the step is skipped, the monomer stays free.
      s.RefusePropagation();
      return;
    }
    const std::int32_t e = chainEndMer[ch];
    if (d == 0) --nI;
    --dpDistribution[d];
    s.LastDPChange.FromDP1 = d;
    ++dpDistribution[d + 1];
    s.LastDPChange.ToDP2 = d + 1;
    chainDP[ch] = static_cast<std::uint16_t>(d + 1);
    chainUnits[ch][d + 1] = u;
    mers[e].Next = m;
    next[e] = m;
    mers[m].Prev = e;
    mers[m].Chain = ch;
    mers[m].Kind = u;
    chainEndMer[ch] = m;
    code[m] = static_cast<std::uint8_t>(CodeOf(u));
    chainEnd[ch] = u;
    if (const std::uint8_t views = s.LiveViews.load(std::memory_order_relaxed)) [[unlikely]]
      s.NotifyUnit(views, ch, d + 1, u, false);
    if (u == UnitB)
      --nB;
    else
      --nA;
    ++events;
  };

  // The end of chain ch attacks unit m of chain g and takes over m and every
  // unit after it.
  const auto transferSegment = [&](std::int32_t m, std::int32_t ch, std::int32_t g) {
    std::int32_t x = m;
    std::int32_t n = 1;
    mers[x].Chain = ch;
    while (next[x] != 0) {
      x = next[x];
      mers[x].Chain = ch;
      ++n;
    }
    const std::int32_t dc = chainDP[ch];
    const std::int32_t dg = chainDP[g];
    if (dc + n > MaxDP) [[unlikely]] {
      // The receiving row cannot hold the segment: give the mers back to g and
      // skip the step.
      x = m;
      mers[x].Chain = g;
      while (next[x] != 0) {
        x = next[x];
        mers[x].Chain = g;
      }
      s.RefusePropagation();
      return;
    }
    const std::int32_t e = chainEndMer[ch];
    const std::int32_t p = mers[m].Prev;
    chainEndMer[ch] = chainEndMer[g];
    chainEndMer[g] = p;
    mers[p].Next = 0;
    next[p] = 0;
    mers[m].Prev = e;
    mers[e].Next = m;
    next[e] = m;
    chainEnd[ch] = chainEnd[g];
    chainEnd[g] = p == 0 ? EndI : mers[p].Kind;

    if (dc == 0) --nI;
    s.LastDPChange.FromDP1 = dg;
    s.LastDPChange.FromDP2 = dc;
    --dpDistribution[dc];
    --dpDistribution[dg];
    const std::int32_t dcNew = dc + n;
    const std::int32_t dgNew = dg - n;
    if (dgNew == 0) ++nI;
    s.LastDPChange.ToDP1 = dgNew;
    s.LastDPChange.ToDP2 = dcNew;
    chainDP[ch] = static_cast<std::uint16_t>(dcNew);
    chainDP[g] = static_cast<std::uint16_t>(dgNew);
    ++dpDistribution[dcNew];
    ++dpDistribution[dgNew];

    // The moved unit kinds, in the same order, onto the end of ch.
    const TChainRow target = chainUnits[ch];
    std::int32_t position = dc + 1;
    chainUnits.ForEachSpan(g, dgNew + 1, dgNew + n, [&](const std::uint8_t* data, std::int32_t count) {
      for (std::int32_t i = 0; i < count; ++i) target[position++] = data[i];
    });

    if (const std::uint8_t views = s.LiveViews.load(std::memory_order_relaxed)) [[unlikely]]
      s.NotifySegment(views, ch, g, n, false);
    ++events;
  };

  const auto advance = [&](std::int32_t, double tEnd) {
    if (!anythingToPick) {
      while (t < tEnd) {
        t += dt;
        ++steps;
        if ((steps & ProgressMask) == 0) publish();
        if (control.BetweenEvents(observer)) break;
      }
      run.PublishProgress(t, steps, events);
      return;
    }
    // The clock, the attempt count and the generator live in locals of this
    // loop, so that they stay in registers: nothing else draws random numbers
    // while the kernel runs, and the program's generator gets its state back
    // at the end of the interval (the sequence is the same either way).
    double time = t;
    std::uint64_t attempts = steps;
    TMersenneTwister generator = GRandom;
    while (time < tEnd) {
      time += dt;
      ++attempts;
      if ((attempts & ProgressMask) == 0) [[unlikely]]
        run.PublishProgress(time, attempts, events);
      // Mer, chain, acceptance: three draws in this order.
      const std::uint32_t r1 = generator.Next();
      const std::uint32_t r2 = generator.Next();
      const std::uint32_t r3 = generator.Next();
      const std::int32_t m = static_cast<std::int32_t>(UniformFromInt32(r1) * mersScale) + 1;
      const std::int32_t ch = static_cast<std::int32_t>(UniformFromInt32(r2) * chainsScale) + 1;
      const std::uint32_t pair = static_cast<std::uint32_t>(code[m]) + chainEnd[ch];
      if (static_cast<std::uint64_t>(r3 ^ 0x80000000u) < threshold[pair]) {
        if (pair >= FirstFreeCode) {
          propagate(m, ch, static_cast<std::uint8_t>((pair >> 2) - 2));
        } else {
          const std::int32_t g = mers[m].Chain;
          // A unit of the attacking chain itself: nothing happens, and the
          // attempt goes straight back to the time test.
          if (g == ch) continue;
          transferSegment(m, ch, g);
        }
      }
      if (control.BetweenEvents(observer)) break;
    }
    GRandom = generator;
    t = time;
    steps = attempts;
    run.PublishProgress(t, steps, events);
  };

  const auto store = [&](std::int32_t k) {
    const std::size_t i = static_cast<std::size_t>(k);
    s.CPInitiator[i] = nI;
    s.CPMonomerA[i] = nA;
    s.CPMonomerB[i] = nB;
    // Active centres by the kind of the end unit; chains without units are
    // not counted.
    std::int32_t aCenters = 0, bCenters = 0;
    for (std::int32_t ch = 1; ch <= chainsNumber; ++ch) {
      aCenters += chainEnd[ch] == EndA;
      bCenters += chainEnd[ch] == EndB;
    }
    s.CPACenters[i] = aCenters;
    s.CPBCenters[i] = bCenters;
  };

  RunCheckPointCycle(run, advance, store);
}

} // namespace Engine
