#pragma once
// The simulation run: the thread that performs it, the requests (Pause, Stop)
// that reach it between events, and the check-point cycle every kernel follows.
//
// Life of a run (docs/threading.md has the full contract):
//
//     TSimThread thread(runParameterFile, observer);   // created suspended;
//                                                      // SimulationRunning() is now true
//     thread.Start();                                  // Execute runs on its own std::thread
//     ...  thread.Pause(); thread.Resume(); thread.Terminate();   // any time, never block
//     // Execute returns -> observer.ExecuteReturned() on the simulation thread
//     thread.OnSimulationEnd();                        // on the OWNER's thread: joins, final
//                                                      // statistics, FreeThreadMemory, log lines;
//                                                      // SimulationRunning() is false afterwards
//
// The desktop program queues OnSimulationEnd to its window thread from
// ExecuteReturned; the command line and the tests call WaitFor() and then
// OnSimulationEnd(). Only one TSimThread may exist between construction and
// the end of its OnSimulationEnd: the simulation state is program-wide, and
// no run may start, and no store be released, before the previous run's
// end-of-run handler has finished.
//
// Nothing here takes a lock on the hot path. Pause and Stop are one atomic word
// that the kernel reads with one relaxed load between events; the pause gate
// blocks on a condition variable only while a pause is actually requested.

#include "engine/uDataStruct.h"
#include "engine/uSimObserver.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace Params {
class TParameterFile;
}

namespace Engine {

// ---------------------------------------------------------------------------
// Requests to a running simulation.
//
// Owner side (any thread, never blocks except WaitUntilHeld): Pause, Resume,
// Terminate. Kernel side (simulation thread): BetweenEvents after every
// event (pause gate and Stop in one load), Terminated after a check point.
class TRunControl {
public:
  static constexpr std::uint32_t rqStop = 1;
  static constexpr std::uint32_t rqPause = 2;

  TRunControl() = default;
  TRunControl(const TRunControl&) = delete;
  TRunControl& operator=(const TRunControl&) = delete;

  // ---- kernel side ----

  // Pending requests (rqStop | rqPause), one relaxed load.
  std::uint32_t Requests() const noexcept { return FRequests.load(std::memory_order_relaxed); }
  // Termination has been requested (Stop, or the kernel's own request).
  bool Terminated() const noexcept { return (Requests() & rqStop) != 0; }

  // The per-event test of every kernel: passes the pause gate and tells
  // whether to leave the loop (Stop).
  // Costs one relaxed load while nothing is requested.
  bool BetweenEvents(TSimObserver* observer) {
    const std::uint32_t requests = Requests();
    if (requests == 0) [[likely]]
      return false;
    return AttendRequests(requests, observer);
  }

  // The pause gate alone: holds the thread while a pause is requested,
  // otherwise returns at once.
  void PassPauseGate(TSimObserver* observer) {
    if (Requests() & rqPause) [[unlikely]]
      HoldWhilePaused(observer);
  }

  // ---- owner side ----

  // Cooperative termination; also releases a pause, so a paused run ends.
  void Terminate() noexcept;
  // The kernel stops at its next pause gate and stays there until Resume or
  // Terminate. Between Pause and the moment the thread is held the run may
  // still perform events; use WaitUntilHeld or TSimObserver::SimulationPaused
  // to know when the state is still.
  void Pause() noexcept;
  void Resume() noexcept;
  bool PauseRequested() const noexcept { return (Requests() & rqPause) != 0; }
  // True while the simulation thread is held at the pause gate.
  bool Held() const;
  // Waits until the thread is held at the gate, the pause is withdrawn, or
  // the run has finished (MarkFinished); true only in the first case. Never
  // call it from a thread the simulation thread may be waiting for (the
  // window thread of a blocking observer): use SimulationPaused there.
  bool WaitUntilHeld(std::chrono::milliseconds timeout);

  // The run has left the kernel for good: no gate will be passed any more.
  void MarkFinished() noexcept;

private:
  bool AttendRequests(std::uint32_t requests, TSimObserver* observer);
  void HoldWhilePaused(TSimObserver* observer);

  std::atomic<std::uint32_t> FRequests{0};
  mutable std::mutex FMutex;
  std::condition_variable FChanged;
  bool FHeld = false;
  bool FFinished = false;
};

// ---------------------------------------------------------------------------
// What a kernel works with during one run, and the check-point cycle.
//
// A kernel (uKernels.h) receives one TSimRun. It reads its rate constants from
// File, calls State.InitializeRun(), and then follows the cycle: for each
// check point k = 1..CheckPointsHigh it performs events until its simulated
// time reaches CheckPointTime[k] and calls CompleteCheckPoint(k, store), or
// lets RunCheckPointCycle do that loop. See uKernels.h for an example.
class TSimRun {
public:
  TSimRun(TSimState& state, const Params::TParameterFile& file, TRunControl& control)
      : State(state), File(file), Control(control) {}
  TSimRun(const TSimRun&) = delete;
  TSimRun& operator=(const TSimRun&) = delete;

  TSimState& State;
  const Params::TParameterFile& File;
  TRunControl& Control;

  // Observer of the run (may be null): State.Observer.
  TSimObserver* Observer() const noexcept { return State.Observer; }

  // ---- the check-point cycle ----

  // Steps 2 to 6 of the cycle for check point k, once the kernel's events up
  // to CheckPointTime[k] are done (or the kernel left its loop early):
  //   LogCheckPoint(k); store(k) writes the record of check point k;
  //   CurrentCheckPoint := k; molar-mass statistics and dyad fractions
  //   (CalcCheckPointStatistics(k), one reading of the store); observer
  //   DisplaySimulSummary(k), then UpdateUserInterface(k); the refusal
  //   summary of the interval.
  // Returns true when termination has been requested: the kernel then leaves
  // its cycle.
  template <class StoreRecord>
  bool CompleteCheckPoint(std::int32_t k, StoreRecord&& store) {
    LogCheckPoint(k);
    store(k);
    return FinishCheckPoint(k);
  }
  // The part of CompleteCheckPoint after the record is stored.
  bool FinishCheckPoint(std::int32_t k);

  // Logs "Check Point: k; Time:= t" with the scheduled time of check point k.
  void LogCheckPoint(std::int32_t k) const;

  // Index of the last recorded check point (0 after InitializeRun).
  std::int32_t CurrentCheckPoint() const noexcept { return FCurrentCheckPoint.load(std::memory_order_relaxed); }

  // The kernel asks for termination itself (no event can happen any more).
  void RequestTermination() noexcept { Control.Terminate(); }

  // ---- progress, for progress displays and the command line's summary ----
  // A kernel publishes its counters from time to time (every few thousand
  // attempts and at each check point): steps are loop iterations (attempts),
  // events the reactions applied, time the simulated time reached.
  void PublishProgress(double time, std::uint64_t steps, std::uint64_t events) noexcept {
    FTime.store(time, std::memory_order_relaxed);
    FSteps.store(steps, std::memory_order_relaxed);
    FEvents.store(events, std::memory_order_relaxed);
  }
  double ProgressTime() const noexcept { return FTime.load(std::memory_order_relaxed); }
  std::uint64_t Steps() const noexcept { return FSteps.load(std::memory_order_relaxed); }
  std::uint64_t Events() const noexcept { return FEvents.load(std::memory_order_relaxed); }

  void ResetCounters() noexcept;

private:
  std::atomic<std::int32_t> FCurrentCheckPoint{0};
  std::atomic<double> FTime{0.0};
  std::atomic<std::uint64_t> FSteps{0};
  std::atomic<std::uint64_t> FEvents{0};
};

// Runs the whole cycle: for k = 1..CheckPointsHigh, advance(k, CheckPointTime[k])
// performs the events of the interval, then CompleteCheckPoint(k, store).
// With CheckPointsHigh = 0 nothing is performed.
template <class Advance, class StoreRecord>
void RunCheckPointCycle(TSimRun& run, Advance&& advance, StoreRecord&& store) {
  for (std::int32_t k = 1; k <= run.State.CheckPointsHigh; ++k) {
    advance(k, run.State.CheckPointTime[static_cast<std::size_t>(k)]);
    if (run.CompleteCheckPoint(k, store)) break;
  }
}

// The same cycle for a kernel whose events come in two builds, with and
// without monomer B (kernel.Advance<WithB>(tEnd)), the build chosen once for
// the run; kernel.StoreRecord(k) records each check point.
template <class Kernel>
void RunCheckPointCycleWithOrWithoutB(TSimRun& run, Kernel& kernel, bool withB) {
  RunCheckPointCycle(
      run,
      [&kernel, withB](std::int32_t, double tEnd) {
        if (withB)
          kernel.template Advance<true>(tEnd);
        else
          kernel.template Advance<false>(tEnd);
      },
      [&kernel](std::int32_t k) { kernel.StoreRecord(k); });
}

// ---------------------------------------------------------------------------
// Texts of a run.

// "Check Point: " + k + "; Time:= " + time in general notation, 6 digits.
std::string CheckPointLogLine(std::int32_t k, double time);
// The time of day in the user's long time format (the C library's %X).
std::string LongTimeString();
// Conversion of check point k as the status line computes it:
// 1 - (CPMonomerA[k] + CPMonomerB[k]) / (CPMonomerA[0] + CPMonomerB[0]);
// 0 when the mixture held no monomer at all.
double CheckPointConversion(const TSimState& state, std::int32_t k);
// The summary line of check point k: "Time= 0.00s  Conv= 0.000  Mn= 0" with
// CheckPointTime[k], the conversion and Mn (current decimal separator). All
// three are 0 when no check point records are allocated (after Clear); Mn is
// 0 while no chain has grown.
std::string SimulSummaryText(const TSimState& state, std::int32_t k);

// ---------------------------------------------------------------------------
// True from the construction of a TSimThread until its OnSimulationEnd has
// finished (or the object was destroyed without ever being started).
bool SimulationRunning() noexcept;

class TSimThread {
public:
  // Creates the run suspended: nothing runs before Start. Installs observer
  // as the state's observer, sets SimulationRunning() and logs "Simulation
  // Thread Created Succesfully" and "Allocate Memory for User Interface...".
  // Throws std::logic_error while another run has not finished its end-of-run
  // handler. The parameter file and the observer must outlive the object.
  TSimThread(const Params::TParameterFile& runParameterFile, TSimObserver& observer,
             TSimState& state = SimState());
  // A run still going is terminated and waited for, and its end-of-run handler
  // runs here if the owner has not run it: destroying the object always leaves
  // SimulationRunning() false and the kernels' structures released.
  virtual ~TSimThread();
  TSimThread(const TSimThread&) = delete;
  TSimThread& operator=(const TSimThread&) = delete;

  // Starts Execute on its own thread (the "resume" of the suspended thread).
  // A second call does nothing.
  void Start();
  bool Started() const noexcept { return FStarted; }

  // Requests; none of them blocks (see TRunControl).
  void Pause() noexcept { FControl.Pause(); }
  void Resume() noexcept { FControl.Resume(); }
  void Terminate() noexcept { FControl.Terminate(); }
  bool Terminated() const noexcept { return FControl.Terminated(); }
  bool PauseRequested() const noexcept { return FControl.PauseRequested(); }
  TRunControl& Control() noexcept { return FControl; }

  // Live views, switched by the plot selection at any time; a change takes
  // effect from the next event.
  void SetShowStructure(bool on) noexcept { FState.SetShowStructure(on); }
  void SetShowDistribution(bool on) noexcept { FState.SetShowDistribution(on); }
  bool ShowStructure() const noexcept { return FState.ShowStructure(); }
  bool ShowDistribution() const noexcept { return FState.ShowDistribution(); }

  // Execute has returned (the simulation thread is about to end).
  bool ExecuteFinished() const noexcept { return FExecuteFinished.load(std::memory_order_acquire); }
  // Waits for the simulation thread to end (owner's thread; never from an
  // observer call). Does nothing when it was never started or already joined.
  void WaitFor();

  // The end-of-run handler, on the owner's thread once Execute has returned
  // (it waits for the thread's end first):
  //   unless AllocationFailed, logs "Simulation Finished at: " + time of day;
  //   CalcMassDistributions; observer EndOfRunStatistics; FreeThreadMemory;
  //   logs "The Window Can be Closed!"; SimulationRunning() := false; observer
  //   SimulationEnded. Runs once; later calls do nothing. Never throws: a
  //   step that fails (out of memory, a window that cannot redraw) is logged
  //   and the steps after it still run.
  void OnSimulationEnd();
  bool EndHandled() const noexcept { return FEndHandled; }

  // The run's counters and check point (readable from any thread).
  const TSimRun& Run() const noexcept { return FRun; }
  std::int32_t CurrentCheckPoint() const noexcept { return FRun.CurrentCheckPoint(); }

  // The error that ended Execute, if any ("" otherwise). Allocation failures
  // and kernel errors both end the run early; Failed() tells the owner that
  // the results are incomplete.
  bool Failed() const noexcept { return FFailed.load(std::memory_order_acquire); }
  std::string ErrorMessage() const;
  // Wall-clock seconds Execute took (0 before it returned).
  double WallSeconds() const noexcept { return FWallSeconds.load(std::memory_order_acquire); }

protected:
  // The thread body: thread name, live-view flags, AllocateMemory, "Simulation
  // Started at: ", and the kernel of ProcessType.
  virtual void Execute();

private:
  void ThreadMain();
  // One step of OnSimulationEnd: an error it raises is logged as "<what>
  // Failed: <reason> (the results computed before are kept)" and goes no
  // further.
  template <class Step>
  void EndOfRunStep(const char* what, Step&& step) noexcept;

  TSimState& FState;
  const Params::TParameterFile& FFile;
  TSimObserver& FObserver;
  TRunControl FControl;
  TSimRun FRun;
  std::thread FThread;
  bool FStarted = false;
  bool FEndHandled = false;
  bool FOwnsRunningFlag = false;
  std::atomic<bool> FExecuteFinished{false};
  std::atomic<bool> FFailed{false};
  std::atomic<double> FWallSeconds{0.0};
  mutable std::mutex FErrorMutex;
  std::string FErrorMessage;
};

} // namespace Engine
