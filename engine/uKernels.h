#pragma once
// The four process kernels. TSimThread::Execute runs the one of the file's
// ProcessType on the simulation thread, after AllocateMemory.
//
// How a kernel is written
// -----------------------
// A kernel receives the run (uSimThread.h) and follows the same frame:
//
//     void SimulateSomething(TSimRun& run) {
//       TSimState& s = run.State;
//       const double k1 = run.File.ReadLocalFloat("SimulationRates", "...");   // may throw:
//       ...                                     // an unreadable value ends the run (Execute catches it)
//       s.InitializeRun();                      // seeds, resets the store, records check point 0
//       double t = 0.0;
//       std::uint64_t steps = 0, events = 0;
//       RunCheckPointCycle(run,
//           [&](std::int32_t k, double tEnd) {            // events of interval k
//             while (t < tEnd) {
//               ... one event: t, steps, events ...
//               run.Control.PassPauseGate(run.Observer());  // between events: one relaxed load
//             }
//             run.PublishProgress(t, steps, events);
//           },
//           [&](std::int32_t k) {                         // the record of check point k
//             s.CPInitiator[k] = ...; s.CPMonomerA[k] = ...; ...
//           });
//     }
//
// RunCheckPointCycle calls, after each interval, CompleteCheckPoint: the log
// line "Check Point: k; Time:= t", the record, CurrentCheckPoint, the molar-mass
// statistics with the observer's DisplaySimulSummary, the dyads with
// UpdateUserInterface, and then leaves the cycle if termination was requested.
// A kernel that needs its own loop calls run.CompleteCheckPoint(k, store)
// itself and stops when it returns true.
//
// Pause: call run.Control.PassPauseGate(run.Observer()) between two events
// (at least once per event, never inside one: the store must be consistent
// when the thread is held). It costs one relaxed atomic load when no pause is
// requested. A kernel that looks at Stop after every event uses
// run.Control.BetweenEvents(run.Observer()) instead, which passes the gate and
// returns true when the loop must be left; both cost the same single load.
//
// Stop: run.Control.Terminated() is the cooperative flag. Kernels other than
// the living one look at it only through CompleteCheckPoint (after a check
// point has been recorded). A kernel that finds that no event can happen any
// more calls run.RequestTermination() and leaves its event loop; the cycle
// then records the current check point and ends.
//
// Progress: run.PublishProgress(t, steps, events) now and then (every few
// thousand attempts, and at the end of each interval): steps are loop
// iterations, events the reactions applied. The command line's summary and
// progress bar read them.
//
// Live views: the chain-store operations of TSimState notify the observer
// themselves; a kernel that changes the store with its own code tests
// s.LiveViews (one relaxed load) and calls the observer as its process
// requires.

#include "engine/uSimThread.h"

namespace Params {
class TParameterFile;
}

namespace Engine {

// The living kernel's constants: P[picked mer][chain end] from section
// "SimulationRates" (each a rate constant divided by the largest one, so
// between 0 and 1) and the time one attempt stands for.
struct TLivingRates {
  // Rows by the picked mer: 0 a unit A in a chain, 1 a unit B in a chain
  // (segment transfer), 2 a free A, 3 a free B (propagation). Columns by the
  // kind of the chain's end: 0 A*, 1 B*, 2 I* (no units). Keys:
  //   row 0 "A*Ac" "B*Ac" "I*Ac"     row 2 "A*A" "B*A" "I*A"
  //   row 1 "A*Bc" "B*Bc" "I*Bc"     row 3 "A*B" "B*B" "I*B"
  double P[4][3] = {};
  double TimeInterval = 0.0; // "TimeInterval" of "ChemicalRates", s per attempt
};

// Reads the twelve probabilities and the time step with ReadLocalFloat: a
// missing or malformed value throws EConvertError. A time step that is not a
// positive number throws EMathError (the clock would never reach the next
// check point).
TLivingRates ReadLivingRates(const Params::TParameterFile& file);

// Living (co)polymerization with segment exchange between chains.
void SimulateLiving(TSimRun& run);
// The same on constants at hand (tests, benchmarks); the store must have been
// sized for process type 0.
void SimulateLiving(TSimRun& run, const TLivingRates& rates);
// Free-radical polymerization.
void SimulateFreeRadical(TSimRun& run);
// Atom-transfer radical polymerization.
void SimulateATRP(TSimRun& run);
// Living reversible polymerization with depropagation.
void SimulateLivingReversible(TSimRun& run);

} // namespace Engine
