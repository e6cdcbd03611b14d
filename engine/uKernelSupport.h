#pragma once
// Small pieces shared by the free-radical, ATRP and living reversible kernels.

#include "engine/uDataStruct.h"
#include "engine/uranmt.h"
#include "params/uErrors.h"
#include "params/uParamFile.h"

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace Engine {

// Reads rate constants from "SimulationRates" with ReadLocalFloat (either
// decimal separator). Every kernel reads the same way: a missing, empty or
// malformed value is an EConvertError that names the key ("Rate constant
// "A*A" is missing or not a number"), never a default that would run a
// different process than the one described.
//
// A rate constant must be finite and not negative: a negative rate would make
// the total rate, and with it the waiting times, meaningless (time running
// backwards, a loop that never reaches its check point). Such a value throws
// std::invalid_argument with the key in the message.
class TRateReader {
public:
  explicit TRateReader(const Params::TParameterFile& file) : FFile(file) {}

  double operator()(const char* key) const {
    const double value = Finite(key);
    if (value < 0.0)
      throw std::invalid_argument(std::string("Rate constant \"") + key + "\" of section \"" +
                                  Params::SimulationRatesSection + "\" is negative");
    return value;
  }

  // Any finite value (the initiation efficiency is a probability threshold).
  double Finite(const char* key) const {
    double value = 0.0;
    try {
      value = FFile.ReadLocalFloat(Params::SimulationRatesSection, key);
    } catch (const Propagon::EConvertError&) {
      Propagon::EConvertError error(std::string("Rate constant \"") + key + "\" is missing or not a number");
      error.SetField(std::string(Params::SimulationRatesSection) + "/" + key);
      throw error;
    }
    if (!std::isfinite(value))
      throw std::invalid_argument(std::string("Rate constant \"") + key + "\" of section \"" +
                                  Params::SimulationRatesSection + "\" is not a finite number");
    return value;
  }

private:
  const Params::TParameterFile& FFile;
};

// The largest rate each channel can reach in a run, checked before the first
// event: a constant times the largest counts it can be multiplied with. A
// channel whose largest rate, or a sum of such rates, is not a finite number
// would make every waiting time 0 and the clock would never move; the run is
// refused with the key named instead. The bounds are far above what a run
// reaches (every chain a radical, all the monomer still free), so a sound
// parameter set is never refused.
class TRateBounds {
public:
  // `count1` x `count2` x `rate` for the channel of `key`.
  void Add(const char* key, double rate, double count1, double count2 = 1.0) {
    const double bound = rate * count1 * count2;
    if (!std::isfinite(bound)) Refuse(key);
    FTotal += bound;
    if (bound > FLargest) {
      FLargest = bound;
      FLargestKey = key;
    }
    if (!std::isfinite(FTotal)) Refuse(FLargestKey);
  }

private:
  [[noreturn]] static void Refuse(const char* key) {
    throw std::invalid_argument(std::string("Rate constant \"") + key + "\" of section \"" +
                                Params::SimulationRatesSection +
                                "\" is too large: the total rate of the run would not be a finite number");
  }

  double FTotal = 0.0;
  double FLargest = -1.0;
  const char* FLargestKey = "";
};

// The bounds of the channels radical kernels share (free radical, ATRP):
// propagation and initiation with all the monomer free and every chain a
// radical, and termination of every pair of chains.
template <class Rates>
void AddRadicalChannelBounds(TRateBounds& bounds, const Rates& r, double chains, double a, double b) {
  bounds.Add("A*A", r.kAA, a, chains);
  bounds.Add("A*B", r.kAB, b, chains);
  bounds.Add("B*A", r.kBA, a, chains);
  bounds.Add("B*B", r.kBB, b, chains);
  bounds.Add("I*A", r.kIA, a, chains);
  bounds.Add("I*B", r.kIB, b, chains);
  bounds.Add("DisprAA", r.kdAA, chains, chains);
  bounds.Add("RecombAA", r.kcAA, chains, chains);
  bounds.Add("DisprAB", r.kdAB, chains, chains);
  bounds.Add("RecombAB", r.kcAB, chains, chains);
  bounds.Add("DisprBB", r.kdBB, chains, chains);
  bounds.Add("RecombBB", r.kcBB, chains, chains);
}

// The time averages of the A* and B* radical counts over the interval that
// check point k closes, from the growth of their time integrals. The interval
// runs from the previous check point time to the time reached; when it has
// length 0 (the total rate was 0 exactly at the previous check point, or the
// first step found no possible event) there is nothing to average over and the
// counts of the moment are stored instead of 0/0.
inline void StoreCentreAverages(TSimState& s, std::int32_t k, double timeReached, double integralA,
                                double integralB, std::int32_t countA, std::int32_t countB) {
  const std::size_t i = static_cast<std::size_t>(k);
  const double interval = timeReached - s.CheckPointTime[i - 1];
  if (interval > 0.0) {
    s.CPACenters[i] = integralA / interval;
    s.CPBCenters[i] = integralB / interval;
  } else {
    s.CPACenters[i] = countA;
    s.CPBCenters[i] = countB;
  }
}

// The unordered lists of radical and dormant chains (free radical, ATRP):
// a chain is picked with one RandomIndex draw, and the list's last entry
// fills the place it leaves, so both kernels draw and reorder identically.

// Moves the chain at place o of one list to the end of another; returns it.
inline std::int32_t MoveChainAt(std::int32_t o, std::int32_t* from, std::int32_t& nFrom, std::int32_t* to,
                                std::int32_t& nTo) noexcept {
  const std::int32_t chain = from[o];
  to[nTo++] = chain;
  from[o] = from[--nFrom];
  return chain;
}

// Undoes MoveChainAt(o, from, nFrom, to, nTo) that moved `chain`: both lists
// are as they were before, member order included.
inline void UndoMoveChainAt(std::int32_t o, std::int32_t chain, std::int32_t* from, std::int32_t& nFrom,
                            std::int32_t& nTo) noexcept {
  --nTo;
  from[nFrom++] = from[o];
  from[o] = chain;
}

// Moves a chain picked at random from one list to the end of another; returns it.
inline std::int32_t MoveRandomChain(std::int32_t* from, std::int32_t& nFrom, std::int32_t* to,
                                    std::int32_t& nTo) noexcept {
  return MoveChainAt(RandomIndex(nFrom), from, nFrom, to, nTo);
}

// Removes a chain picked at random from a list; returns it.
inline std::int32_t TakeRandomChain(std::int32_t* list, std::int32_t& n) noexcept {
  const std::int32_t o = RandomIndex(n);
  const std::int32_t chain = list[o];
  list[o] = list[--n];
  return chain;
}

} // namespace Engine
