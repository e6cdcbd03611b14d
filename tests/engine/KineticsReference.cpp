#include "tests/engine/KineticsReference.h"

#include <cmath>

namespace KineticsReference {

TFreeRadicalState IntegrateFreeRadical(const TFreeRadicalModel& m, TFreeRadicalState s,
                                       double duration, int steps) {
  double y[5] = {s.initiator, s.primary, s.radicals, s.monomer, s.radicalIntegral};
  IntegrateRK4(y, duration, steps, [&m](const double (&v)[5], double (&d)[5]) {
    const double decomposition = m.kd * v[0];
    const double initiation = m.kIA * v[3] * v[1];
    d[0] = -decomposition;
    d[1] = 2.0 * m.f * decomposition - initiation;
    d[2] = initiation - 2.0 * m.kt * v[2] * v[2];
    d[3] = -m.kAA * v[3] * v[2] - initiation;
    d[4] = v[2];
  });
  s.initiator = y[0];
  s.primary = y[1];
  s.radicals = y[2];
  s.monomer = y[3];
  s.radicalIntegral = y[4];
  return s;
}

double SteadyStateLnConversion(const TFreeRadicalModel& m, double initiator0, double t) {
  return m.kAA * std::sqrt(m.f * m.kd * initiator0 / m.kt) * 2.0 / m.kd * (1.0 - std::exp(-m.kd * t / 2.0));
}

double TAtrpState::Dispersity() const {
  const double m0 = active[0] + dormant[0];
  const double m1 = active[1] + dormant[1];
  const double m2 = active[2] + dormant[2];
  return m2 * m0 / (m1 * m1);
}

double TAtrpState::MeanDP() const {
  return (active[1] + dormant[1]) / (active[0] + dormant[0]);
}

TAtrpState IntegrateAtrp(const TAtrpModel& m, TAtrpState s, double duration, int steps) {
  double y[9] = {s.active[0], s.active[1], s.active[2], s.dormant[0], s.dormant[1],
                 s.dormant[2], s.monomer, s.activator, s.deactivator};
  IntegrateRK4(y, duration, steps, [&m](const double (&v)[9], double (&d)[9]) {
    const double act = m.ka * v[7];   // activation frequency of one capped end
    const double deact = m.kda * v[8]; // deactivation frequency of one radical
    const double grow = m.kp * v[6];   // propagation frequency of one radical
    for (int k = 0; k < 3; ++k) {
      const double exchange = act * v[3 + k] - deact * v[k];
      d[k] = exchange;
      d[3 + k] = -exchange;
    }
    // Adding one unit to a chain of DP i moves i^0 -> (i+1)^0, i -> i+1, i^2 -> i^2 + 2i + 1.
    d[1] += grow * v[0];
    d[2] += grow * (2.0 * v[1] + v[0]);
    d[6] = -grow * v[0];
    d[7] = -act * v[3] + deact * v[0];
    d[8] = -d[7];
  });
  for (int k = 0; k < 3; ++k) {
    s.active[k] = y[k];
    s.dormant[k] = y[3 + k];
  }
  s.monomer = y[6];
  s.activator = y[7];
  s.deactivator = y[8];
  return s;
}

double ReversibleEquilibriumMonomer(double chains, double units, double kp, double kdp) {
  const double ceiling = kdp / kp;
  // f(nA) = nA - ceiling * m / (1 + m) is increasing in nA; f(0) < 0 < f(units).
  double lo = 0.0;
  double hi = units;
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    const double meanDP = (units - mid) / chains;
    if (mid - ceiling * meanDP / (1.0 + meanDP) < 0.0) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return 0.5 * (lo + hi);
}

double MayoLewis(double fA, double rA, double rB) {
  const double fB = 1.0 - fA;
  return (rA * fA * fA + fA * fB) / (rA * fA * fA + 2.0 * fA * fB + rB * fB * fB);
}

double CumulativeComposition(double fA0, double rA, double rB, double conversion) {
  if (conversion <= 0.0) return MayoLewis(fA0, rA, rB);
  // Skeist: d fA / dX = (fA - FA(fA)) / (1 - X); RK4 in X.
  double y[1] = {fA0};
  double x = 0.0;
  const int steps = 1000;
  const double h = conversion / steps;
  for (int s = 0; s < steps; ++s) {
    auto rhs = [&](double fA, double X) { return (fA - MayoLewis(fA, rA, rB)) / (1.0 - X); };
    const double k1 = rhs(y[0], x);
    const double k2 = rhs(y[0] + 0.5 * h * k1, x + 0.5 * h);
    const double k3 = rhs(y[0] + 0.5 * h * k2, x + 0.5 * h);
    const double k4 = rhs(y[0] + h * k3, x + h);
    y[0] += h / 6.0 * (k1 + 2.0 * k2 + 2.0 * k3 + k4);
    x += h;
  }
  // Units of A formed = A consumed: fA0 - (1 - X) fA, per initial monomer molecule.
  return (fA0 - (1.0 - conversion) * y[0]) / conversion;
}

} // namespace KineticsReference
