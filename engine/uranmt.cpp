#include "engine/uranmt.h"

#include "engine/uVectorLog.h"

#include <ctime>

namespace Engine {

// Constant-initialised, so a draw before any RandomSeed (or before main runs
// other static initialisers) already sees the default-seeded state.
constinit TMersenneTwister GRandom{TMersenneTwister::DefaultSeed};

namespace {

constexpr std::uint32_t UpperMask = 0x80000000u;
constexpr std::uint32_t LowerMask = 0x7FFFFFFFu;

// One twist step: the reference recurrence for word i from words i, i+1 and
// i+397 (all indices mod 624). The branch on the low bit is written as a mask
// so the loops below vectorize.
inline std::uint32_t Twist(std::uint32_t current, std::uint32_t next, std::uint32_t far) noexcept {
  const std::uint32_t y = (current & UpperMask) | (next & LowerMask);
  return far ^ (y >> 1) ^ ((0u - (y & 1u)) & TMersenneTwister::Matrix);
}

inline std::uint32_t Temper(std::uint32_t y) noexcept {
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}

} // namespace

// The reference generator updates word i from words i+1 and i+397 in place.
// Split at the points where i+397 wraps around, each part is a loop without
// a dependence shorter than 227 words, which the compiler turns into vector
// code: words 0..226 read the old words 397..623, words 227..622 read the new
// words 0..395, and word 623 reads the new words 0 and 396. The outputs are
// tempered afterwards in one more vector loop. The result is bit for bit the
// reference sequence (the tests compare it with std::mt19937).
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("avx2", "default")))
#endif
void TMersenneTwister::Refill() noexcept {
  constexpr int N = StateSize;
  constexpr int M = Shift;
  std::uint32_t* mt = FState;
  for (int i = 0; i < N - M; ++i)
    mt[i] = Twist(mt[i], mt[i + 1], mt[i + M]);
  for (int i = N - M; i < N - 1; ++i)
    mt[i] = Twist(mt[i], mt[i + 1], mt[i + M - N]);
  mt[N - 1] = Twist(mt[N - 1], mt[0], mt[M - 1]);

  std::uint32_t* out = FOutput;
  for (int i = 0; i < N; ++i)
    out[i] = Temper(mt[i]);
  FIndex = 0;
  if (FWithLogs) NegLogOpenBlock(FOutput, FNegLog, N);
}

// The first logarithm asked for in a block: the rest of the block gets its
// logarithms now, every later block at its refill.
void TMersenneTwister::StartLogs() noexcept {
  FWithLogs = true;
  NegLogOpenBlock(FOutput + FIndex, FNegLog + FIndex, StateSize - FIndex);
}

std::uint32_t GetTickCount() noexcept {
  // Milliseconds since boot, as the platform's tick counter counts them; only
  // the low 32 bits are kept, so the value wraps after about 49.7 days.
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);
}

} // namespace Engine
