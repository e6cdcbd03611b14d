// The block logarithm of the generator's open-interval deviates against the C
// library's log, and the generator's stream when logarithms are drawn from it.

#include "engine/uVectorLog.h"
#include "engine/uranmt.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Distance in units in the last place between two positive doubles.
std::uint64_t UlpDistance(double a, double b) {
  const auto ia = std::bit_cast<std::int64_t>(a);
  const auto ib = std::bit_cast<std::int64_t>(b);
  return static_cast<std::uint64_t>(ia > ib ? ia - ib : ib - ia);
}

struct TAgreement {
  std::uint64_t Compared = 0;
  std::uint64_t Exact = 0;
  std::uint64_t WorstUlps = 0;
  std::uint32_t WorstInput = 0;
};

void Compare(const std::vector<std::uint32_t>& inputs, TAgreement& agreement) {
  std::vector<double> out(inputs.size());
  Engine::NegLogOpenBlock(inputs.data(), out.data(), static_cast<int>(inputs.size()));
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const double expected = -std::log(Engine::OpenFromInt32(inputs[i]));
    const std::uint64_t d = UlpDistance(out[i], expected);
    ++agreement.Compared;
    if (d == 0) ++agreement.Exact;
    if (d > agreement.WorstUlps) {
      agreement.WorstUlps = d;
      agreement.WorstInput = inputs[i];
    }
  }
}

// Every output maps to u = (r ^ 2^31 + 0.5) 2^-32; the extremes of u (near
// 2^-33, where -ln u is largest, and near 1 - 2^-33, where it is tiny and the
// reduction cancels most) are compared exhaustively, the rest on a stride that
// meets every exponent and mantissa pattern: 40 million values in all.
TEST(VectorLog, AgreesWithTheCLibraryWithinOneUlpOverTheWholeInputRange) {
  TAgreement agreement;
  std::vector<std::uint32_t> block;
  block.reserve(1u << 20);
  auto flush = [&]() {
    Compare(block, agreement);
    block.clear();
  };
  auto add = [&](std::uint32_t r) {
    block.push_back(r);
    if (block.size() == block.capacity()) flush();
  };
  // u near 0 (r ^ 2^31 small) and near 1 (r ^ 2^31 close to 2^32).
  for (std::uint32_t v = 0; v < (1u << 22); ++v) add(v ^ 0x80000000u);
  for (std::uint32_t v = 0; v < (1u << 22); ++v) add((0xFFFFFFFFu - v) ^ 0x80000000u);
  // Around u = 1/2 and u = sqrt(2)/2, where the reduction changes its exponent.
  for (std::uint32_t v = 0; v < (1u << 20); ++v) add(0x80000000u ^ (0x80000000u - (1u << 19) + v));
  for (std::uint32_t v = 0; v < (1u << 20); ++v) add(0x80000000u ^ (0xB504F334u - (1u << 19) + v));
  // A stride prime to 2^32 through all of it.
  for (std::uint64_t v = 0; v < (1u << 25); ++v) add(static_cast<std::uint32_t>(v * 127u + 0x9E3779B9u));
  flush();

  EXPECT_GE(agreement.Compared, 40'000'000u);
  EXPECT_LE(agreement.WorstUlps, 1u) << "input 0x" << std::hex << agreement.WorstInput;
  // Nearly all values agree to the bit: the waiting times of a run differ from
  // the C library's only in rare last bits.
  EXPECT_GT(static_cast<double>(agreement.Exact) / static_cast<double>(agreement.Compared), 0.95);
}

TEST(VectorLog, BlockAndSingleValueGiveTheSameBitsForAnyLengthAndOffset) {
  std::vector<std::uint32_t> r(1001);
  for (std::size_t i = 0; i < r.size(); ++i) r[i] = static_cast<std::uint32_t>(i * 2654435761u);
  for (int n : {0, 1, 3, 4, 5, 17, 1001}) {
    std::vector<double> out(static_cast<std::size_t>(n) + 1, -1.0);
    Engine::NegLogOpenBlock(r.data(), out.data(), n);
    for (int i = 0; i < n; ++i) {
      const double single = Engine::NegLogOpen(Engine::OpenFromInt32(r[static_cast<std::size_t>(i)]));
      ASSERT_EQ(std::bit_cast<std::uint64_t>(out[static_cast<std::size_t>(i)]), std::bit_cast<std::uint64_t>(single))
          << "n " << n << " i " << i;
      ASSERT_GT(out[static_cast<std::size_t>(i)], 0.0);
    }
    EXPECT_EQ(out[static_cast<std::size_t>(n)], -1.0) << "wrote past the block";
  }
}

// A logarithm consumes exactly the output it is formed from, whether the
// first one is asked for at the start of a block, in the middle or after a
// reseed, so a kernel's other draws stay where they were.
TEST(VectorLog, LogarithmsConsumeTheGeneratorsOutputsInOrder) {
  for (int skip : {0, 1, 300, 623, 624, 625}) {
    Engine::TMersenneTwister drawn(20240601u), reference(20240601u);
    for (int i = 0; i < skip; ++i) ASSERT_EQ(drawn.Next(), reference.Next());
    for (int i = 0; i < 5000; ++i) {
      if (i % 3 == 0) {
        const double logarithm = drawn.NextNegLogOpen();
        const double expected = -std::log(Engine::OpenFromInt32(reference.Next()));
        ASSERT_LE(UlpDistance(logarithm, expected), 1u) << "skip " << skip << " draw " << i;
      } else {
        ASSERT_EQ(drawn.Next(), reference.Next()) << "skip " << skip << " draw " << i;
      }
    }
    // Reseeding starts the stream over, logarithms included.
    drawn.Seed(7u);
    reference.Seed(7u);
    EXPECT_LE(UlpDistance(drawn.NextNegLogOpen(), -std::log(Engine::OpenFromInt32(reference.Next()))), 1u);
    EXPECT_EQ(drawn.Next(), reference.Next());
  }
}

} // namespace
