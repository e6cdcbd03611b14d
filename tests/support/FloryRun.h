#pragma once
// A free-radical run whose chains form a most-probable (Flory) distribution,
// for the tests of the mass-distribution and SEC calculations and of their
// windows.
//
// Per-molecule constants chosen for a quick run near the stationary state:
// 2 f kd N_I = 12 000 radicals/s are formed and terminated in pairs,
// kt R^2 = 6000 with kt = 6.67 gives R = 30 radicals; the kinetic chain
// length kp M / (2 kt R) = 6e-4 * 1e8 / 400 = 150 units, which is DPn with
// disproportionation only. 1e8 monomer molecules, of which about 1.8e6 react
// in the second: conversion about 2 %, so M and R stay nearly constant. About
// 10 000 chains.

#include "engine/uDataStruct.h"
#include "engine/uKernelRates.h"
#include "engine/uSimThread.h"
#include "params/uParamFile.h"

namespace TestSupport {

// Frees the simulation state and runs the simulation to its end (seed 4242,
// check points at 0, 0.5 and 1 s); the chain statistics are left to the
// caller.
inline void SimulateFloryFreeRadical() {
  Engine::TSimState& s = Engine::SimState();
  s.FreeAll();
  s.FixedSeed = 4242u;
  Engine::TRunDescription run;
  run.ProcessType = Engine::ptFreeRadical;
  run.InitiatorNumber = 20000;
  run.MonomerANumber = 100000000;
  run.MonomerAMolWeight = 104.15;  // styrene
  run.InitiatorMolWeight = 164.21; // AIBN, halved per end by the store
  run.CheckPointTime = {0.0, 0.5, 1.0};
  s.AllocateMemory(run);
  Engine::TFreeRadicalRates r;
  r.kd = 0.3;
  r.f = 1.0;
  r.kIA = 6e-4;
  r.kAA = 6e-4;
  r.kdAA = 6.67;
  const Params::TParameterFile noFile("");
  Engine::TRunControl control;
  Engine::TSimRun simRun(s, noFile, control);
  Engine::SimulateFreeRadical(simRun, r);
}

} // namespace TestSupport
