#pragma once
// Deterministic reference kinetics for the physical validation of the
// stochastic kernels.
//
// Every model here is written in the engine's own units: molecule numbers in
// the simulated volume and per-molecule (per ordered pair) rate constants, the
// values a parameter file carries in its "SimulationRates" section. The
// stochastic kernels must converge to these mean-field solutions when the
// molecule numbers are large; the tests derive their tolerances from the
// number of molecules and events involved.

namespace KineticsReference {

// Classical fourth-order Runge-Kutta on a fixed number of steps.
// `derivative(y, dydt)` fills dydt from y; both have `n` entries.
template <int n, class TDerivative>
void IntegrateRK4(double (&y)[n], double duration, int steps, TDerivative derivative) {
  const double h = duration / steps;
  double k1[n], k2[n], k3[n], k4[n], tmp[n];
  for (int s = 0; s < steps; ++s) {
    derivative(y, k1);
    for (int i = 0; i < n; ++i) tmp[i] = y[i] + 0.5 * h * k1[i];
    derivative(tmp, k2);
    for (int i = 0; i < n; ++i) tmp[i] = y[i] + 0.5 * h * k2[i];
    derivative(tmp, k3);
    for (int i = 0; i < n; ++i) tmp[i] = y[i] + h * k3[i];
    derivative(tmp, k4);
    for (int i = 0; i < n; ++i) y[i] += h / 6.0 * (k1[i] + 2.0 * k2[i] + 2.0 * k3[i] + k4[i]);
  }
}

// Free-radical homopolymerization of A (mean field).
//   initiator   -> 2 I*          rate f kd N_I   (radicals that escape the cage)
//   initiator   -> inactive      rate (1 - f) kd N_I   (so the initiator decays with kd)
//   I* + A      -> A*            kIA
//   A* + A      -> A*            kAA
//   A* + A*     -> dead          kt = kdAA + kcAA per ordered pair: kt n^2 events, 2 radicals each
struct TFreeRadicalModel {
  double kd, f, kIA, kAA, kt;
};
struct TFreeRadicalState {
  double initiator = 0;       // undecomposed initiator molecules
  double primary = 0;         // I* radicals
  double radicals = 0;        // A* radicals
  double monomer = 0;         // free A
  double radicalIntegral = 0; // time integral of the A* count
};
TFreeRadicalState IntegrateFreeRadical(const TFreeRadicalModel& model, TFreeRadicalState state,
                                       double duration, int steps);

// Steady-state rate law of the same model: with the radical count at its
// quasi-steady value n = sqrt(f kd N_I / kt) and N_I = N_I0 exp(-kd t),
//   ln(M0 / M) = kAA sqrt(f kd N_I0 / kt) * 2 / kd * (1 - exp(-kd t / 2)).
double SteadyStateLnConversion(const TFreeRadicalModel& model, double initiator0, double t);

// ATRP homopolymerization without termination, by the method of moments.
// Initiator ends behave as units of A (kaI = kaA = ka, kdeI = kdeA = kda,
// kIA = kAA = kp), so the moments include chains of DP 0.
struct TAtrpModel {
  double ka, kda, kp;
};
struct TAtrpState {
  double active[3] = {0, 0, 0};  // moments 0, 1, 2 of the radical chains
  double dormant[3] = {0, 0, 0}; // moments 0, 1, 2 of the capped chains
  double monomer = 0;
  double activator = 0;          // L
  double deactivator = 0;        // LX
  double Dispersity() const;     // Mw/Mn over all chains
  double MeanDP() const;
};
TAtrpState IntegrateAtrp(const TAtrpModel& model, TAtrpState state, double duration, int steps);

// Equilibrium free monomer of a living reversible homopolymerization with
// `chains` chains, `units` monomer units in all (free + bound), propagation
// constant kp (per molecule pair) and depropagation constant kdp (1/s), the
// initiator end behaving as an A unit. Chain lengths are then geometric with
// ratio x = nA kp / kdp, so nA = (kdp / kp) x with x = m / (1 + m) and
// m = (units - nA) / chains the mean DP; solved by bisection.
double ReversibleEquilibriumMonomer(double chains, double units, double kp, double kdp);

// Mayo-Lewis instantaneous copolymer composition (mole fraction of A in the
// units formed) for the feed fraction fA and reactivity ratios rA, rB.
double MayoLewis(double fA, double rA, double rB);

// Cumulative copolymer composition after the overall conversion X, from the
// Skeist equation dfA/dX = (fA - FA) / (1 - X), integrated numerically.
double CumulativeComposition(double fA0, double rA, double rB, double conversion);

} // namespace KineticsReference
