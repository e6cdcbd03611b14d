#include "engine/uVectorLog.h"

#include <bit>

namespace Engine {

namespace {

// ln 2 split so that k x Ln2Hi is exact for the exponents met here.
constexpr double Ln2Hi = 6.93147180369123816490e-01; // 0x3FE62E42FEE00000
constexpr double Ln2Lo = 1.90821492927058770002e-10; // 0x3DEA39EF35793C76
// Minimax coefficients of (ln((1+s)/(1-s)) - 2s) / s in powers of s^2.
constexpr double Lg1 = 6.666666666666735130e-01;
constexpr double Lg2 = 3.999999999940941908e-01;
constexpr double Lg3 = 2.857142874366239149e-01;
constexpr double Lg4 = 2.222219843214978396e-01;
constexpr double Lg5 = 1.818357216161805012e-01;
constexpr double Lg6 = 1.531383769920937332e-01;
constexpr double Lg7 = 1.479819860511658591e-01;

// ln x for a positive normal finite x. Written without branches or
// integer-to-double conversions so that a loop over it vectorizes.
inline double LogPositiveNormal(double x) noexcept {
  // x = 2^k m with m in [sqrt(2)/2, sqrt(2)): shifting the bits by the
  // distance of sqrt(2)/2's high word to 1.0 carries into the exponent exactly
  // when m would reach sqrt(2).
  const std::uint64_t shifted = std::bit_cast<std::uint64_t>(x) + (std::uint64_t{0x3FF00000 - 0x3FE6A09E} << 32);
  const std::uint64_t exponent = shifted >> 52;
  // The exponent as a double without a conversion instruction: 2^52 + e
  // read as bits, less 2^52.
  const double dk = std::bit_cast<double>(exponent | 0x4330000000000000ull) - 4503599627370496.0 - 1023.0;
  const double m = std::bit_cast<double>((shifted & 0x000FFFFFFFFFFFFFull) + 0x3FE6A09E00000000ull);

  const double f = m - 1.0;
  const double hfsq = 0.5 * f * f;
  const double s = f / (2.0 + f);
  const double z = s * s;
  const double w = z * z;
  const double t1 = w * (Lg2 + w * (Lg4 + w * Lg6));
  const double t2 = z * (Lg1 + w * (Lg3 + w * (Lg5 + w * Lg7)));
  const double r = t2 + t1;
  // k ln2_hi + f carries nearly all of the value: added as an exact pair
  // (Knuth's two-sum), so that only the small remainder is rounded before the
  // last addition. This makes 97 % of the results the C library's to the bit,
  // against 93 % for the plain sum.
  const double hi = dk * Ln2Hi;
  const double sum = hi + f;
  const double fPart = sum - hi;
  const double sumError = (hi - (sum - fPart)) + (f - fPart);
  const double small = s * (hfsq + r) + dk * Ln2Lo - hfsq;
  return sum + (sumError + small);
}

} // namespace

double NegLogOpen(double x) noexcept { return -LogPositiveNormal(x); }

// Two builds of the loop, chosen once at load time by the processor: four
// lanes with AVX2, two with the baseline SSE2. Neither uses fused
// multiply-adds, so both give the same bits.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("avx2", "default")))
#endif
void NegLogOpenBlock(const std::uint32_t* r, double* out, int n) noexcept {
  for (int i = 0; i < n; ++i) {
    // OpenFromInt32, with the unsigned-to-double conversion done on the bits
    // (2^52 + v read as a double, less 2^52: exact) so that it vectorizes.
    const std::uint64_t v = r[i] ^ 0x80000000u;
    const double u = (std::bit_cast<double>(0x4330000000000000ull | v) - 4503599627370496.0 + 0.5) * 0x1p-32;
    out[i] = -LogPositiveNormal(u);
  }
}

} // namespace Engine
