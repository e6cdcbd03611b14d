#pragma once
// The natural logarithm of a block of the generator's open-interval deviates,
// computed a whole block at a time in vector registers.
//
// Every waiting time of a run is -ln(u)/R with u = (r + 2^31 + 0.5) x 2^-32 for
// one 32-bit output r (OpenFromInt32). Called one by one, the C library's log
// costs some fifty instructions and a call that spills the kernel's rates to
// the stack. Here the logarithm of every output of a block is formed at once:
// the same reduction and polynomial as the classic fdlibm log (reduction to
// m in [sqrt(2)/2, sqrt(2)), ln m = 2 atanh(f / (2 + f)) by a degree-14
// polynomial in s = f / (2 + f)), without the branches that domain the inputs
// here never reach (0, negatives, subnormals, infinities, NaN).
//
// Accuracy: within 1 ulp of the C library's log for every input (the tests
// compare tens of millions of them, the extremes included); most agree to the
// bit. The code contains no fused multiply-add and the file is built without
// contraction, so the result is the same on every processor and with either
// vector width the build selects at run time.

#include <cstdint>

namespace Engine {

// out[i] = -ln(OpenFromInt32(r[i])) for i = 0..n-1 (n >= 0); out > 0 always.
void NegLogOpenBlock(const std::uint32_t* r, double* out, int n) noexcept;

// -ln(x) for one x in (0, 1) by the same formula (the scalar tail and tests).
double NegLogOpen(double x) noexcept;

} // namespace Engine
