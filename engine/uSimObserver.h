#pragma once
// How a simulation run reaches the windows.
//
// The engine knows nothing of windows. Everything a run has to tell the
// outside world goes through one TSimObserver: the desktop program implements
// it with blocking calls queued to the window thread (the simulation thread
// waits until the window has done its work, so the window may read the chain
// store during the call); the command line and the tests implement it with
// plain calls on the simulation thread. docs/threading.md has the whole
// contract; in short:
//
// * Methods of the first two groups below are called on the simulation
//   thread. While one of them runs the simulation state is not changed by
//   anyone, so an implementation may read it.
// * A blocking implementation must keep polling TSimThread::Terminated()
//   (or the run's TRunControl) while it waits for the window thread, and give
//   up waiting once termination has been requested, so that Stop can never
//   leave the simulation thread hanging on a window thread that is itself
//   waiting for the run. The simulation thread never waits for the window
//   thread anywhere else.
// * ExecuteReturned is the one exception to "may block": it must return
//   without waiting for the owner's thread.
// * The end-of-run hooks are called on the owner's thread, from
//   TSimThread::OnSimulationEnd.
// * An implementation must not start, stop or clear a run from inside a call.
//
// Per-event methods (Draw*, EraseUnit, Show*ChainChange) are called only while
// the corresponding live-view flag of the run is set; with both flags off a run
// makes no per-event call at all.

namespace Engine {

class TSimObserver {
public:
  virtual ~TSimObserver() = default;

  // ---- once per run and per check point (simulation thread) ----

  // Start of Execute: which live views are on (item 0 of the plot selection is
  // the microstructure view, item 1 the DP distribution view).
  virtual void GetLiveViewFlags(bool& showStructure, bool& showDistribution) {
    showStructure = false;
    showDistribution = false;
  }

  // The microstructure view recomputes its layout (after AllocateMemory set
  // the expected chain count, and from InitializeRun).
  virtual void StructureFormResize() {}

  // End of InitializeRun: check point 0 has been recorded; each existing chart
  // window clears its curves and takes the initial point.
  virtual void InitializePlots() {}

  // A check point has been recorded (CurrentCheckPoint = checkPoint). Called
  // after the molar-mass statistics of the store (Mn, Mw, mass histograms)
  // have been computed on the simulation thread; the implementation puts the
  // summary line (SimulSummaryText) on display.
  virtual void DisplaySimulSummary(int checkPoint) { (void)checkPoint; }

  // Once per check point, after DisplaySimulSummary and after the dyad
  // fractions of the check point have been computed (CPDyads column
  // checkPoint): the windows add their new point and the live views repaint.
  virtual void UpdateUserInterface(int checkPoint) { (void)checkPoint; }

  // The run has stopped at its pause gate, between two events. Called once per
  // pause, before the simulation thread waits for Resume or Stop; the state
  // stays unchanged until then, so the implementation may compute statistics
  // and repaint from it (during the call or later while still paused).
  virtual void SimulationPaused() {}

  // ---- per event (simulation thread, only with a live view on) ----

  // Microstructure view.
  virtual void DrawUnit(int chain, int position, int kind) { (void)chain; (void)position; (void)kind; }
  virtual void DrawUnitStrided(int chain, int position, int kind) { (void)chain; (void)position; (void)kind; }
  virtual void EraseUnit(int chain, int position) { (void)chain; (void)position; }
  // Units moved from chain `from` onto the end of chain `to` (segment
  // transfer, recombination).
  virtual void DrawSegment(int to, int from, int length) { (void)to; (void)from; (void)length; }
  virtual void DrawSegmentStrided(int to, int from, int length) { (void)to; (void)from; (void)length; }

  // DP distribution view (it reads LastDPChange).
  virtual void ShowOneChainChange() {}
  virtual void ShowTwoChainsChange() {}

  // Both views live: an event's drawing and its distribution change, in that
  // order and with nothing changed in between, as one call (the strided
  // forms when `strided`). The defaults make the two calls; a blocking
  // implementation overrides them to hand off once per event, not twice.
  virtual void DrawUnitAndShowChange(int chain, int position, int kind, bool strided) {
    if (strided)
      DrawUnitStrided(chain, position, kind);
    else
      DrawUnit(chain, position, kind);
    ShowOneChainChange();
  }
  virtual void DrawSegmentAndShowChanges(int to, int from, int length, bool strided) {
    if (strided)
      DrawSegmentStrided(to, from, length);
    else
      DrawSegment(to, from, length);
    ShowTwoChainsChange();
  }

  // ---- end of the run ----

  // Simulation thread, the last thing it does: Execute has returned (normally,
  // stopped, or by an error). Must not wait for the owner's thread. The owner
  // reacts by having TSimThread::OnSimulationEnd run on its own thread: the
  // desktop program queues it to the window thread; the command line and the
  // tests simply call it after TSimThread::WaitFor.
  virtual void ExecuteReturned() {}

  // Owner's thread, inside OnSimulationEnd, after the final molar-mass
  // statistics: the SEC and molar-mass distribution windows recompute.
  virtual void EndOfRunStatistics() {}

  // Owner's thread, the last step of OnSimulationEnd, after "The Window Can be
  // Closed!" has been logged and SimulationRunning() has become false: the
  // main window shows its Messages page and sets its buttons as after Stop.
  virtual void SimulationEnded() {}
};

} // namespace Engine
