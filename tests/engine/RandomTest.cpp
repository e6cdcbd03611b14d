// The program's generator against the reference MT19937 (std::mt19937 is the
// standard's definition of it) and the deviates built from its outputs.

#include "engine/uranmt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace {

using Engine::TMersenneTwister;

// Published reference values of MT19937 with the default seed 5489: the first
// output, and the 10000th output (the C++ standard's check of std::mt19937).
constexpr std::uint32_t FirstOutputOf5489 = 3499211612u;
constexpr std::uint32_t Output10000Of5489 = 4123659995u;

TEST(Random, ReferenceOutputsForSeed5489) {
  Engine::RandomSeed(5489u);
  EXPECT_EQ(Engine::RandomInt32(), FirstOutputOf5489);
  for (int k = 2; k < 10000; ++k) Engine::RandomInt32();
  EXPECT_EQ(Engine::RandomInt32(), Output10000Of5489);
}

TEST(Random, NeverSeededGeneratorBehavesAsSeeded5489) {
  // The program's generator is a TMersenneTwister constant-initialised the
  // same way, so a default-constructed one shows what an unseeded run draws.
  TMersenneTwister unseeded;
  EXPECT_EQ(unseeded.Next(), FirstOutputOf5489);
  for (int k = 2; k < 10000; ++k) unseeded.Next();
  EXPECT_EQ(unseeded.Next(), Output10000Of5489);
}

// The block regeneration must give the reference sequence bit for bit:
// millions of outputs for seeds at the edges of the seed range and for the
// reference seeds, crossing thousands of regenerations.
TEST(Random, BlockGeneratorEqualsStdMt19937OverMillionsOfOutputs) {
  for (std::uint32_t seed : {0u, 1u, 5489u, 19650218u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    std::mt19937 reference(seed);
    Engine::RandomSeed(seed);
    std::int64_t mismatches = 0;
    for (int k = 0; k < 2'000'000; ++k)
      if (Engine::RandomInt32() != static_cast<std::uint32_t>(reference())) ++mismatches;
    EXPECT_EQ(mismatches, 0) << "seed " << seed;
  }
}

TEST(Random, BlockGeneratorEqualsStdMt19937ForManySeeds) {
  // 2000 seeds spread over the 32-bit range, each followed past two
  // regenerations (624 outputs each).
  std::mt19937 seeds(2024u);
  for (int s = 0; s < 2000; ++s) {
    const std::uint32_t seed = static_cast<std::uint32_t>(seeds());
    std::mt19937 reference(seed);
    TMersenneTwister generator(seed);
    for (int k = 0; k < 1500; ++k) {
      const std::uint32_t expected = static_cast<std::uint32_t>(reference());
      const std::uint32_t got = generator.Next();
      if (got != expected) {
        ADD_FAILURE() << "seed " << seed << " output " << k;
        return;
      }
    }
  }
}

TEST(Random, ReseedingInsideABlockRestartsTheSequence) {
  Engine::RandomSeed(42u);
  for (int k = 0; k < 1000; ++k) Engine::RandomInt32(); // part way into the second block
  Engine::RandomSeed(7u);
  std::mt19937 reference(7u);
  for (int k = 0; k < 5000; ++k) ASSERT_EQ(Engine::RandomInt32(), static_cast<std::uint32_t>(reference())) << k;
}

TEST(Random, DeviateBoundaries) {
  // r = 0x80000000 is -2^31 read signed: (-2^31 + 2^31) x 2^-32 = 0, and the
  // open deviate is 0.5 x 2^-32 = 2^-33.
  EXPECT_EQ(Engine::UniformFromInt32(0x80000000u), 0.0);
  EXPECT_EQ(Engine::OpenFromInt32(0x80000000u), std::ldexp(1.0, -33));
  // r = 0x7FFFFFFF is 2^31 - 1: (2^32 - 1) x 2^-32 = 1 - 2^-32, and the open
  // deviate (2^32 - 0.5) x 2^-32 = 1 - 2^-33; both exact in double precision.
  EXPECT_EQ(Engine::UniformFromInt32(0x7FFFFFFFu), 1.0 - std::ldexp(1.0, -32));
  EXPECT_EQ(Engine::OpenFromInt32(0x7FFFFFFFu), 1.0 - std::ldexp(1.0, -33));
  EXPECT_LT(Engine::UniformFromInt32(0x7FFFFFFFu), 1.0);
  EXPECT_LT(Engine::OpenFromInt32(0x7FFFFFFFu), 1.0);
  // r = 0 is the middle of the range: exactly 0.5 (and 0.5 + 2^-33).
  EXPECT_EQ(Engine::UniformFromInt32(0u), 0.5);
  EXPECT_EQ(Engine::OpenFromInt32(0u), 0.5 + std::ldexp(1.0, -33));
}

TEST(Random, DeviatesComeFromTheNextOutput) {
  std::mt19937 reference(99u);
  Engine::RandomSeed(99u);
  for (int k = 0; k < 1000; ++k) {
    const std::uint32_t r1 = static_cast<std::uint32_t>(reference());
    const std::uint32_t r2 = static_cast<std::uint32_t>(reference());
    ASSERT_EQ(Engine::RandomUniform(), Engine::UniformFromInt32(r1));
    ASSERT_EQ(Engine::RandomOpen(), Engine::OpenFromInt32(r2));
  }
}

TEST(Random, IndexStaysBelowItsRange) {
  // The largest deviate times n must truncate to n - 1, also for the largest
  // item counts (the product is formed in double before truncation).
  const double largest = Engine::UniformFromInt32(0x7FFFFFFFu);
  for (std::int32_t n : {1, 2, 3, 1000, 65536, 1 << 20, 1 << 30, std::numeric_limits<std::int32_t>::max()}) {
    EXPECT_EQ(static_cast<std::int32_t>(largest * n), n - 1) << n;
    EXPECT_EQ(static_cast<std::int32_t>(Engine::UniformFromInt32(0x80000000u) * n), 0) << n;
  }
  Engine::RandomSeed(3u);
  std::int64_t hits[7] = {};
  for (int k = 0; k < 70000; ++k) {
    const std::int32_t i = Engine::RandomIndex(7);
    ASSERT_GE(i, 0);
    ASSERT_LT(i, 7);
    ++hits[i];
  }
  // Each of the 7 values expects 10000 hits, standard deviation
  // sqrt(70000 x 1/7 x 6/7) = 92.6; 6 sigma is 556.
  for (std::int64_t h : hits) EXPECT_NEAR(static_cast<double>(h), 10000.0, 556.0);
}

TEST(Random, UniformAndExponentialMoments) {
  Engine::RandomSeed(12345u);
  constexpr int draws = 1'000'000;
  double sumU = 0.0, sumE = 0.0;
  double minOpen = 1.0, maxOpen = 0.0;
  for (int k = 0; k < draws; ++k) {
    sumU += Engine::RandomUniform();
    const double o = Engine::RandomOpen();
    minOpen = std::min(minOpen, o);
    maxOpen = std::max(maxOpen, o);
    sumE += Engine::RandomExponential(4.0);
  }
  // Uniform: mean 1/2, sd of the mean sqrt(1/12 / 1e6) = 2.9e-4; 6 sigma 1.7e-3.
  EXPECT_NEAR(sumU / draws, 0.5, 1.7e-3);
  EXPECT_GT(minOpen, 0.0);
  EXPECT_LT(maxOpen, 1.0);
  // Exponential with rate 4: mean 0.25, sd of the mean 0.25 / 1000; 6 sigma 1.5e-3.
  EXPECT_NEAR(sumE / draws, 0.25, 1.5e-3);
  // Acceptance with p = 0.3: 3e5 expected, sd sqrt(1e6 x 0.21) = 458; 6 sigma 2750.
  int accepted = 0;
  for (int k = 0; k < draws; ++k) accepted += Engine::RandomAccept(0.3) ? 1 : 0;
  EXPECT_NEAR(accepted, 300000, 2750);
}

} // namespace
