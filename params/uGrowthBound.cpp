#include "params/uGrowthBound.h"

#include <algorithm>
#include <cmath>

namespace Params {

namespace {

bool Usable(double x) { return std::isfinite(x) && x >= 0.0; }

} // namespace

std::int64_t FreeRadicalStartedChainsBound(std::int64_t NI, double f, double kd, double tLast) {
  const std::int64_t slots = 2 * std::max<std::int64_t>(NI, 0);
  if (!Usable(kd) || !Usable(tLast) || !std::isfinite(f)) return slots;
  const double p = std::clamp(f, 0.0, 1.0) * -std::expm1(-kd * tLast); // a molecule gives radicals
  const double n = static_cast<double>(NI);
  const double mean = 2.0 * n * p;
  const double spread = 2.0 * std::sqrt(n * p * (1.0 - p));
  const double bound = std::ceil(mean + 8.0 * spread + 16.0);
  return bound >= static_cast<double>(slots) ? slots : static_cast<std::int64_t>(bound);
}

std::int64_t FreeRadicalUnitsBound(const TFreeRadicalGrowth& g, std::int64_t NI, std::int64_t NA, std::int64_t NB) {
  const std::int64_t monomers = std::max<std::int64_t>(NA, 0) + std::max<std::int64_t>(NB, 0);
  for (double x : {g.kAA, g.kAB, g.kBA, g.kBB, g.ktAA, g.ktAB, g.ktBB, g.kd, g.tLast})
    if (!Usable(x)) return monomers;
  if (!std::isfinite(g.f) || NI <= 0 || monomers == 0) return monomers;
  const double f = std::clamp(g.f, 0.0, 1.0);

  // Which radicals can exist decides which constants bound the run: without
  // B there are only A* radicals (and the other way round).
  double kp, m;
  if (NB <= 0) {
    kp = g.kAA;
    m = g.ktAA;
  } else if (NA <= 0) {
    kp = g.kBB;
    m = g.ktBB;
  } else {
    kp = std::max({g.kAA, g.kAB, g.kBA, g.kBB});
    // Ordered pairs: x(x-1) ktAA + xy ktAB + y(y-1) ktBB >= min(ktAA, ktAB/2, ktBB) (x+y)(x+y-1).
    m = std::min({g.ktAA, 0.5 * g.ktAB, g.ktBB});
  }

  // State: C chain radicals and L = ln(M / M0). Primary radicals count as
  // chains at once. Over a step the radicals are born at G = 2 f kd I, taken
  // at the start of the step (the largest value within it: the initiator only
  // decays), and each termination removes two of them:
  //   dC/dt = G - a (C^2 - C), a = 2 m;   dL/dt = -kp C.
  // With G fixed this Riccati equation has a closed form, so a step may be
  // long against the radicals' lifetime and needs only be short against the
  // initiator's decay and the length of the run.
  const double m0 = static_cast<double>(monomers);
  double C = 0.0, L = 0.0, t = 0.0;
  const double a = 2.0 * m;
  const double h0 = std::min(g.tLast / 2000.0, g.kd > 0.0 ? 0.01 / g.kd : g.tLast);
  while (t < g.tLast) {
    const double h = std::min(h0, g.tLast - t);
    const double G = 2.0 * f * g.kd * static_cast<double>(NI) * std::exp(-g.kd * t);
    double integral; // of C over the step
    if (a > 0.0) {
      const double root = std::sqrt(1.0 + 4.0 * G / a);
      const double cPlus = 0.5 * (1.0 + root), cMinus = 0.5 * (1.0 - root);
      const double lambda = a * root;
      // u = (C - C+) / (C - C-) decays as exp(-lambda t).
      const double u0 = (C - cPlus) / (C - cMinus);
      const double decay = std::exp(-lambda * h);
      const double u = u0 * decay;
      integral = cPlus * h + (cPlus - cMinus) / lambda * (std::log1p(-u) - std::log1p(-u0));
      C = (cPlus - cMinus * u) / (1.0 - u);
    } else {
      integral = C * h + 0.5 * G * h * h;
      C += G * h;
    }
    L -= kp * integral;
    t += h;
    if (!std::isfinite(C) || !std::isfinite(L)) return monomers;
    if (L < -40.0) return monomers; // everything consumed
  }
  const double formed = -std::expm1(L) * m0;
  // The run's scatter about the mean: a tenth more, and a thousand units.
  const double bound = std::ceil(formed * 1.1 + 1000.0);
  return bound >= m0 ? monomers : static_cast<std::int64_t>(bound);
}

} // namespace Params
