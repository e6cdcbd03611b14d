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
//               if (run.Control.BetweenEvents(run.Observer())) break;  // Pause/Stop: one relaxed load
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
// Pause: call run.Control.BetweenEvents(run.Observer()) between two events
// (at least once per event, never inside one: the store must be consistent
// when the thread is held). It passes the pause gate and returns true when
// the loop must be left (Stop), and costs one relaxed atomic load while
// nothing is requested.
//
// Stop: run.Control.Terminated() is the cooperative flag. Every kernel looks
// at it after every event (BetweenEvents, the same single load as the pause
// gate), so Stop takes effect at once whether or not a live view slows the
// events down: the kernel leaves its loop, and the cycle records the state
// reached under the current check point index and ends. A kernel that finds
// that no event can happen any more calls run.RequestTermination() and leaves
// its event loop the same way.
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
// missing or malformed value throws EConvertError naming its key, a negative
// or non-finite probability std::invalid_argument naming its key. A time step
// that is not a positive number throws EMathError (the clock would never
// reach the next check point).
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
