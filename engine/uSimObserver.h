#pragma once
// How a simulation run reaches the windows.
//
// The engine knows nothing of windows. Everything a run has to tell the
// outside world goes through one TSimObserver: the desktop program implements
// it with blocking calls queued to the window thread (the simulation thread
// waits until the window has done its work, so the window may read the chain
// store during the call); the command line and the tests implement it with
// plain calls on the simulation thread.
//
// Threading contract: every method is called on the simulation thread (or on
// the thread that runs the kernel in a test). While a method runs, the
// simulation state is not changed by anyone, so an implementation may read it.
// An implementation must not start, stop or clear a run from inside a call.
//
// Per-event methods (Draw*, EraseUnit, Show*ChainChange) are called only while
// the corresponding live-view flag of the run is set; with both flags off a run
// makes no per-event call at all.

namespace Engine {

class TSimObserver {
public:
  virtual ~TSimObserver() = default;

  // Start of Execute: which live views are on (item 0 of the plot selection is
  // the microstructure view, item 1 the DP distribution view).
  virtual void GetLiveViewFlags(bool& showStructure, bool& showDistribution) {
    showStructure = false;
    showDistribution = false;
  }

  // The microstructure view recomputes its layout (after AllocateMemory set
  // the expected chain count, and from InitializeRun).
  virtual void StructureFormResize() {}

  // End of InitializeRun: each existing chart window clears its curves and
  // takes the initial point.
  virtual void InitializePlots() {}

  // A check point has been recorded (CurrentCheckPoint = checkPoint). Called
  // on the simulation thread after the molar-mass statistics of the store have
  // been computed there; the implementation puts the summary line on display.
  virtual void DisplaySimulSummary(int checkPoint) { (void)checkPoint; }

  // Once per check point, after DisplaySimulSummary: the windows add their new
  // point and the live views repaint (runs on the window thread in the GUI).
  virtual void UpdateUserInterface(int checkPoint) { (void)checkPoint; }

  // Per-event notifications of the microstructure view.
  virtual void DrawUnit(int chain, int position, int kind) { (void)chain; (void)position; (void)kind; }
  virtual void DrawUnitStrided(int chain, int position, int kind) { (void)chain; (void)position; (void)kind; }
  virtual void EraseUnit(int chain, int position) { (void)chain; (void)position; }
  virtual void DrawSegment(int x, int y, int length) { (void)x; (void)y; (void)length; }
  virtual void DrawSegmentStrided(int x, int y, int length) { (void)x; (void)y; (void)length; }

  // Per-event notifications of the DP distribution view (it reads LastDPChange).
  virtual void ShowOneChainChange() {}
  virtual void ShowTwoChainsChange() {}
};

} // namespace Engine
