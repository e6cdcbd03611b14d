#pragma once
// Random numbers of the simulation: one program-wide MT19937 generator.
//
// Every random decision of a run (which molecule reacts, which reaction
// happens, how long the system waits) draws from this one generator. It is the
// Mersenne Twister MT19937 in its published reference form, so a seed gives
// exactly the sequence std::mt19937 gives for it; a generator never seeded
// behaves as seeded with 5489, the reference default.
//
// The generator regenerates its whole 624-word state in one pass and tempers
// the 624 outputs in a second pass (both vectorize), then hands the outputs out
// one by one. A draw is therefore a load and an index increment; the state
// work is paid once per 624 draws.
//
// Threading: the state is global and unprotected. During a run only the
// simulation thread draws from it; seeding happens in InitializeRun.

#include <cmath>
#include <cstdint>

namespace Engine {

class TMersenneTwister {
public:
  static constexpr int StateSize = 624;
  static constexpr int Shift = 397;
  static constexpr std::uint32_t Matrix = 0x9908B0DFu;
  static constexpr std::uint32_t DefaultSeed = 5489u;

  constexpr explicit TMersenneTwister(std::uint32_t seed = DefaultSeed) noexcept { Seed(seed); }

  // Reference single-seed initialisation: word k = 1812433253 x (word k-1 XOR
  // (word k-1 >> 30)) + k, in 32-bit arithmetic. The next draw regenerates.
  constexpr void Seed(std::uint32_t seed) noexcept {
    FState[0] = seed;
    for (int k = 1; k < StateSize; ++k)
      FState[k] = 1812433253u * (FState[k - 1] ^ (FState[k - 1] >> 30)) + static_cast<std::uint32_t>(k);
    FIndex = StateSize;
    FWithLogs = false;
  }

  // The next tempered 32-bit output.
  std::uint32_t Next() noexcept {
    if (FIndex >= StateSize) [[unlikely]]
      Refill();
    return FOutput[FIndex++];
  }

  // -ln(OpenFromInt32(r)) of the next output r, which it consumes exactly as
  // Next does. The logarithms of a block are formed together in vector
  // registers (uVectorLog.h) once the generator has been asked for one, so a
  // run that never asks pays nothing; the value agrees with the C library's
  // log within 1 ulp.
  double NextNegLogOpen() noexcept {
    if (FIndex >= StateSize) [[unlikely]]
      Refill();
    if (!FWithLogs) [[unlikely]]
      StartLogs();
    return FNegLog[FIndex++];
  }

  // Regenerates the state and tempers the next 624 outputs.
  void Refill() noexcept;

private:
  void StartLogs() noexcept;

  alignas(64) std::uint32_t FState[StateSize] = {};
  alignas(64) std::uint32_t FOutput[StateSize] = {};
  alignas(64) double FNegLog[StateSize] = {};
  int FIndex = StateSize;
  bool FWithLogs = false; // FNegLog follows FOutput
};

// The program's generator (constant-initialised with the default seed).
extern TMersenneTwister GRandom;

// Seeds the generator (reference initialisation).
inline void RandomSeed(std::uint32_t seed) noexcept { GRandom.Seed(seed); }

// The next 32-bit output of MT19937.
inline std::uint32_t RandomInt32() noexcept { return GRandom.Next(); }

// The deviates of one 32-bit output r. Read as a signed integer, r + 2^31 is
// the unsigned r with its top bit flipped.
// [0, 1): (r + 2^31) x 2^-32, exact in double precision; 0 for r = 0x80000000,
// 1 - 2^-32 for r = 0x7FFFFFFF.
constexpr double UniformFromInt32(std::uint32_t r) noexcept {
  return static_cast<double>(r ^ 0x80000000u) * 0x1p-32;
}
// (0, 1): (r + 2^31 + 0.5) x 2^-32; 2^-33 and 1 - 2^-33 for the same outputs.
constexpr double OpenFromInt32(std::uint32_t r) noexcept {
  return (static_cast<double>(r ^ 0x80000000u) + 0.5) * 0x1p-32;
}

// Uniform deviate in [0, 1) from the next output.
inline double RandomUniform() noexcept { return UniformFromInt32(RandomInt32()); }

// Uniform deviate in (0, 1) from the next output, never 0 nor 1; for logarithms.
inline double RandomOpen() noexcept { return OpenFromInt32(RandomInt32()); }

// Random index 0..n-1 for n >= 1: Trunc(RandomUniform() x n). The product is
// always below n. Kernels add 1 where their items are numbered from 1.
inline std::int32_t RandomIndex(std::int32_t n) noexcept {
  return static_cast<std::int32_t>(RandomUniform() * static_cast<double>(n));
}

// -ln(RandomOpen()), from the generator's block of logarithms (within 1 ulp
// of the C library's log; the same output is consumed).
inline double RandomNegLogOpen() noexcept { return GRandom.NextNegLogOpen(); }

// Exponential waiting time for a total rate R > 0: -ln(RandomOpen()) / R.
inline double RandomExponential(double rate) noexcept { return RandomNegLogOpen() / rate; }

// True with probability p: RandomUniform() < p.
inline bool RandomAccept(double p) noexcept { return RandomUniform() < p; }

// Milliseconds since the system started, 32 bits, wrapping: the seed of a run.
std::uint32_t GetTickCount() noexcept;

} // namespace Engine
