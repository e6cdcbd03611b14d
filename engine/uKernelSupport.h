#pragma once
// Small pieces shared by the free-radical, ATRP and living reversible kernels.

#include "engine/uDataStruct.h"
#include "engine/uranmt.h"
#include "params/uParamFile.h"

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace Engine {

// Reads rate constants from "SimulationRates".
//
// rrLocal: ReadLocalFloat, either decimal separator, and a missing or
// malformed value throws EConvertError (free radical, ATRP).
// rrPlain: the plain real reader, current separator only, and a missing or
// malformed value reads as 1.0 (living reversible).
//
// A rate constant must be finite and not negative: a negative rate would make
// the total rate, and with it the waiting times, meaningless (time running
// backwards, a loop that never reaches its check point). Such a value throws
// std::invalid_argument with the key in the message.
class TRateReader {
public:
  enum TMode { rrLocal, rrPlain };

  TRateReader(const Params::TParameterFile& file, TMode mode) : FFile(file), FMode(mode) {}

  double operator()(const char* key) const {
    const double value = Finite(key);
    if (value < 0.0)
      throw std::invalid_argument(std::string("Rate constant \"") + key + "\" of section \"" +
                                  Params::SimulationRatesSection + "\" is negative");
    return value;
  }

  // Any finite value (the initiation efficiency is a probability threshold).
  double Finite(const char* key) const {
    const double value = FMode == rrLocal ? FFile.ReadLocalFloat(Params::SimulationRatesSection, key)
                                          : FFile.ReadFloat(Params::SimulationRatesSection, key, 1.0);
    if (!std::isfinite(value))
      throw std::invalid_argument(std::string("Rate constant \"") + key + "\" of section \"" +
                                  Params::SimulationRatesSection + "\" is not a finite number");
    return value;
  }

private:
  const Params::TParameterFile& FFile;
  TMode FMode;
};

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
