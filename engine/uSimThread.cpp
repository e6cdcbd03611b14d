#include "engine/uSimThread.h"

#include "engine/uKernels.h"
#include "params/uLogMessage.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"

#include <pthread.h>

#include <ctime>
#include <exception>
#include <new>
#include <stdexcept>

namespace Engine {

namespace {

// True from the creation of a run until its end-of-run handler has finished.
std::atomic<bool> GSimulationRunning{false};

// Linux keeps 15 characters of a thread name; the debugger shows that much.
void SetCurrentThreadName(const std::string& name) {
  pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

std::string ErrorText(const std::exception& error) {
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return "Not enough memory";
  return error.what();
}

} // namespace

// ---------------------------------------------------------------------------
// TRunControl

void TRunControl::Terminate() noexcept {
  {
    std::lock_guard lock(FMutex);
    // Stop releases a pause: a paused run must be able to complete its step.
    std::uint32_t requests = FRequests.load(std::memory_order_relaxed);
    FRequests.store((requests | rqStop) & ~rqPause, std::memory_order_relaxed);
  }
  FChanged.notify_all();
}

void TRunControl::Pause() noexcept {
  {
    std::lock_guard lock(FMutex);
    // A run asked to terminate is not paused any more: it must finish.
    if ((FRequests.load(std::memory_order_relaxed) & rqStop) == 0)
      FRequests.fetch_or(rqPause, std::memory_order_relaxed);
  }
  FChanged.notify_all();
}

void TRunControl::Resume() noexcept {
  {
    std::lock_guard lock(FMutex);
    FRequests.fetch_and(~rqPause, std::memory_order_relaxed);
  }
  FChanged.notify_all();
}

bool TRunControl::Held() const {
  std::lock_guard lock(FMutex);
  return FHeld;
}

bool TRunControl::WaitUntilHeld(std::chrono::milliseconds timeout) {
  std::unique_lock lock(FMutex);
  FChanged.wait_for(lock, timeout, [this] {
    return FHeld || FFinished || (FRequests.load(std::memory_order_relaxed) & rqPause) == 0;
  });
  return FHeld;
}

void TRunControl::MarkFinished() noexcept {
  {
    std::lock_guard lock(FMutex);
    FFinished = true;
  }
  FChanged.notify_all();
}

bool TRunControl::AttendRequests(std::uint32_t requests, TSimObserver* observer) {
  if (requests & rqPause) HoldWhilePaused(observer);
  return Terminated();
}

void TRunControl::HoldWhilePaused(TSimObserver* observer) {
  // The state is consistent here (between two events) and stays so until the
  // thread leaves the gate: the observer may compute statistics and repaint.
  // The call is made without holding the mutex, so Resume and Terminate from
  // the window thread never wait for it.
  if (observer != nullptr) observer->SimulationPaused();
  std::unique_lock lock(FMutex);
  FHeld = true;
  FChanged.notify_all();
  FChanged.wait(lock, [this] { return (FRequests.load(std::memory_order_relaxed) & rqPause) == 0; });
  FHeld = false;
  lock.unlock();
  FChanged.notify_all();
}

// ---------------------------------------------------------------------------
// TSimRun

bool TSimRun::FinishCheckPoint(std::int32_t k) {
  FCurrentCheckPoint.store(k, std::memory_order_relaxed);
  // The summary line needs Mn of the state reached: the statistics are
  // computed here, on the simulation thread, before the observer shows them.
  // Masses and dyads come from one reading of the store.
  State.CalcCheckPointStatistics(k);
  TSimObserver* observer = State.Observer;
  if (observer != nullptr) observer->DisplaySimulSummary(k);
  if (observer != nullptr) observer->UpdateUserInterface(k);
  return Control.Terminated();
}

void TSimRun::LogCheckPoint(std::int32_t k) const {
  // Refusals of the interval (chains at MaxDP) are summed up before the line
  // of the check point that closes it.
  State.LogRefusalSummary();
  Propagon::LogMessage(CheckPointLogLine(k, State.CheckPointTime[static_cast<std::size_t>(k)]));
}

void TSimRun::ResetCounters() noexcept {
  FCurrentCheckPoint.store(0, std::memory_order_relaxed);
  PublishProgress(0.0, 0, 0);
}

// ---------------------------------------------------------------------------
// Texts

std::string CheckPointLogLine(std::int32_t k, double time) {
  return "Check Point: " + std::to_string(k) + "; Time:= " + Propagon::FormatCheckPointTime(time);
}

std::string LongTimeString() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  if (std::strftime(text, sizeof text, "%X", &local) == 0) return {};
  return text;
}

double CheckPointConversion(const TSimState& state, std::int32_t k) {
  if (!state.CheckPointRecordsAllocated() || k < 0 || k > state.CheckPointsHigh) return 0.0;
  const auto at = [](const TIntegerArray& a, std::int32_t i) { return static_cast<double>(a[static_cast<std::size_t>(i)]); };
  const double initial = at(state.CPMonomerA, 0) + at(state.CPMonomerB, 0);
  // A mixture without monomer has nothing to convert; 0 rather than 0/0.
  if (initial == 0.0) return 0.0;
  return 1.0 - (at(state.CPMonomerA, k) + at(state.CPMonomerB, k)) / initial;
}

std::string SimulSummaryText(const TSimState& state, std::int32_t k) {
  double time = 0.0, conversion = 0.0, mn = 0.0;
  if (state.CheckPointRecordsAllocated() && k >= 0 && k <= state.CheckPointsHigh &&
      static_cast<std::size_t>(k) < state.CheckPointTime.size()) {
    time = state.CheckPointTime[static_cast<std::size_t>(k)];
    conversion = CheckPointConversion(state, k);
    // The statistics keep their values while no chain has grown, which may
    // be those of the previous run.
    if (state.LargestDP() > 0) mn = state.Mn;
  }
  return Propagon::FormatFloat("Time= 0.00s", time) + "  " + Propagon::FormatFloat("Conv= 0.000", conversion) + "  " +
         Propagon::FormatFloat("Mn= 0", mn);
}

// ---------------------------------------------------------------------------
// TSimThread

bool SimulationRunning() noexcept { return GSimulationRunning.load(std::memory_order_acquire); }

TSimThread::TSimThread(const Params::TParameterFile& runParameterFile, TSimObserver& observer, TSimState& state)
    : FState(state), FFile(runParameterFile), FObserver(observer), FRun(state, runParameterFile, FControl) {
  bool expected = false;
  if (!GSimulationRunning.compare_exchange_strong(expected, true, std::memory_order_acq_rel))
    throw std::logic_error("A simulation is still running");
  FOwnsRunningFlag = true;
  FState.Observer = &FObserver;
  Propagon::LogMessage("Simulation Thread Created Succesfully");
  Propagon::LogMessage("Allocate Memory for User Interface...");
}

TSimThread::~TSimThread() {
  if (FStarted && !FEndHandled) {
    FControl.Terminate();
    try {
      OnSimulationEnd();
    } catch (...) {
      // A destructor must not throw; the flag below is released regardless.
    }
  }
  if (FThread.joinable()) FThread.join();
  if (FOwnsRunningFlag) {
    if (FState.Observer == &FObserver) FState.Observer = nullptr;
    GSimulationRunning.store(false, std::memory_order_release);
    FOwnsRunningFlag = false;
  }
}

void TSimThread::Start() {
  if (FStarted) return;
  FStarted = true;
  FThread = std::thread([this] { ThreadMain(); });
}

void TSimThread::WaitFor() {
  if (FThread.joinable()) FThread.join();
}

std::string TSimThread::ErrorMessage() const {
  std::lock_guard lock(FErrorMutex);
  return FErrorMessage;
}

void TSimThread::ThreadMain() {
  const auto started = std::chrono::steady_clock::now();
  std::string error;
  try {
    Execute();
  } catch (const std::exception& e) {
    error = ErrorText(e);
  } catch (...) {
    error = "Unknown error";
  }
  if (!error.empty() || FState.AllocationFailed) {
    // The run ends here as after a normal end, but the user learns why its
    // results stop short: an unreadable rate constant or molar mass is named.
    if (error.empty()) error = "Memory Allocation Error!";
    else Propagon::LogMessage("Simulation Error: " + error);
    {
      std::lock_guard lock(FErrorMutex);
      FErrorMessage = error;
    }
    FFailed.store(true, std::memory_order_release);
  }
  FWallSeconds.store(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
                     std::memory_order_release);
  FControl.MarkFinished();
  FExecuteFinished.store(true, std::memory_order_release);
  FObserver.ExecuteReturned();
}

void TSimThread::Execute() {
  SetCurrentThreadName("SimulationThread");

  bool showStructure = false, showDistribution = false;
  FState.SetShowStructure(false);
  FState.SetShowDistribution(false);
  FObserver.GetLiveViewFlags(showStructure, showDistribution);
  FState.SetShowStructure(showStructure);
  FState.SetShowDistribution(showDistribution);

  // Throws after logging "Memory Allocation Error!" and requesting termination.
  FState.AllocateMemory(FFile, [this] { FControl.Terminate(); });

  if (FControl.Terminated()) return;
  Propagon::LogMessage("Simulation Started at: " + LongTimeString());
  switch (FState.ProcessType) {
  case ptLiving:
    SimulateLiving(FRun);
    break;
  case ptFreeRadical:
    SimulateFreeRadical(FRun);
    break;
  case ptATRP:
    SimulateATRP(FRun);
    break;
  case ptLivingReversible:
    SimulateLivingReversible(FRun);
    break;
  default:
    // Not reached: AllocateMemory refuses a type without a kernel.
    break;
  }
}

void TSimThread::OnSimulationEnd() {
  if (FEndHandled) return;
  FEndHandled = true;
  if (!FStarted) {
    // Never started: nothing was allocated by this run.
    if (FOwnsRunningFlag) {
      GSimulationRunning.store(false, std::memory_order_release);
      FOwnsRunningFlag = false;
    }
    return;
  }
  WaitFor();

  // The flag is released even if a step below fails, so a new run can start.
  struct TReleaseRunningFlag {
    TSimThread& Thread;
    ~TReleaseRunningFlag() {
      if (Thread.FOwnsRunningFlag) {
        if (Thread.FState.Observer == &Thread.FObserver) Thread.FState.Observer = nullptr;
        GSimulationRunning.store(false, std::memory_order_release);
        Thread.FOwnsRunningFlag = false;
      }
    }
  };
  {
    TReleaseRunningFlag release{*this};
    // Every step runs whatever the one before it came to: a step that fails
    // (most likely for want of memory, the final statistics being the
    // largest allocation of the handler) is logged, what was computed before
    // it stays, and the run is closed all the same.
    EndOfRunStep("Simulation Finished", [this] {
      if (!FState.AllocationFailed) Propagon::LogMessage("Simulation Finished at: " + LongTimeString());
    });
    EndOfRunStep("The Final Statistics", [this] { FState.CalcMassDistributions(); });
    EndOfRunStep("The Final Plots", [this] { FObserver.EndOfRunStatistics(); });
    EndOfRunStep("Freeing Thread Memory", [this] { FState.FreeThreadMemory(); });
    EndOfRunStep("The Closing Messages", [] { Propagon::LogMessage("The Window Can be Closed!"); });
  }
  EndOfRunStep("The End of the Run", [this] { FObserver.SimulationEnded(); });
}

template <class Step>
void TSimThread::EndOfRunStep(const char* what, Step&& step) noexcept {
  std::string reason;
  try {
    step();
    return;
  } catch (const std::bad_alloc&) {
    reason = "Out of Memory";
  } catch (const std::exception& e) {
    reason = e.what();
  } catch (...) {
    reason = "Unknown error";
  }
  try {
    Propagon::LogMessage(std::string(what) + " Failed: " + reason + " (the results computed before are kept)");
  } catch (...) {
    // Not even the line could be made: the handler still goes on.
  }
}

} // namespace Engine
