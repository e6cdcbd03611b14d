#include "cli/uRunSession.h"

#include "cli/uRunCommand.h"
#include "engine/uSimThread.h"
#include "params/uLogMessage.h"
#include "params/uMemoryCheck.h"
#include "params/uParamFile.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <mutex>

namespace Cli {

namespace {

// The recorder, plus the end of Execute as an event the caller waits for.
class TSessionObserver : public TRunRecorder {
public:
  using TRunRecorder::TRunRecorder;
  std::mutex Mutex;
  std::condition_variable Changed;
  bool Returned = false;

  void ExecuteReturned() override {
    {
      std::lock_guard lock(Mutex);
      Returned = true;
    }
    Changed.notify_all();
  }
};

// Last scheduled time, for the progress (read here, not from the state the
// simulation thread is filling).
double LastScheduledTime(const Params::TParameterFile& file) {
  try {
    int high = -1;
    std::vector<double> times;
    file.ReadCheckingPointsArray(high, times);
    if (!times.empty()) return times.back();
  } catch (const std::exception&) {
    // The run reports an unreadable check point itself.
  }
  return 0.0;
}

} // namespace

TRunOutcome ExecuteRun(Params::TParameterFile& file, Params::TMessageReporter& reporter,
                       const TRunSessionOptions& options) {
  TRunOutcome outcome;
  Propagon::LogMessage("Loading the File \"" + std::filesystem::absolute(file.FileName()).string() + "\" ...");
  try {
    if (Params::CheckRequiredMemory(file, reporter)) {
      outcome.Code = ExitLowMemory;
      return outcome;
    }
  } catch (const std::exception& e) {
    outcome.Code = ExitError;
    outcome.Error = e.what();
    return outcome;
  }
  const double lastTime = LastScheduledTime(file);

  Engine::TSimState& state = Engine::SimState();
  if (Engine::SimulationRunning()) {
    outcome.Code = ExitError;
    outcome.Error = "A simulation is still running";
    return outcome;
  }
  state.FreeAllocatedMemory();
  state.FixedSeed = options.Seed;
  TSessionObserver observer(state);
  observer.OnRunInitialized = [&state] { Propagon::LogMessage("Random Seed: " + std::to_string(state.SeedUsed)); };

  Propagon::LogMessage("Creating Simulation Thread...");
  outcome.Started = true;
  Engine::TSimThread thread(file, observer, state);
  thread.Start();
  {
    auto lastDraw = std::chrono::steady_clock::now();
    std::uint64_t lastEvents = 0;
    std::unique_lock lock(observer.Mutex);
    while (!observer.Returned) {
      // A stop request (Ctrl+C, SIGTERM, Python) is seen within 10 ms.
      observer.Changed.wait_for(lock, std::chrono::milliseconds(10));
      if (observer.Returned) break;
      // The hooks may take their time (a Python callback); the simulation
      // thread only needs the mutex to report its end.
      lock.unlock();
      if (!outcome.Interrupted && options.StopRequested && options.StopRequested()) {
        outcome.Interrupted = true;
        // As the Stop button: the run completes its step and ends.
        Propagon::LogMessage("Simulation Terminated by User!");
        Propagon::LogMessage("Complete the Last Step...");
        Propagon::LogMessage("");
        thread.Terminate();
      }
      const auto now = std::chrono::steady_clock::now();
      const double seconds = std::chrono::duration<double>(now - lastDraw).count();
      if (options.Progress && seconds >= options.ProgressInterval) {
        const std::uint64_t events = thread.Run().Events();
        TRunProgress progress;
        progress.EventsPerSecond = static_cast<double>(events - lastEvents) / seconds;
        lastEvents = events;
        lastDraw = now;
        progress.Time = thread.Run().ProgressTime();
        progress.LastTime = lastTime;
        progress.Fraction = lastTime > 0.0 ? progress.Time / lastTime : 1.0;
        progress.Summary = observer.LastSummary();
        options.Progress(progress);
      }
      lock.lock();
    }
  }
  thread.WaitFor();
  thread.OnSimulationEnd();

  TRunSummary& summary = outcome.Summary;
  summary.ProcessType = state.ProcessType;
  summary.Chains = state.ChainsNumber;
  summary.CheckPoints = observer.Rows().size();
  summary.Seed = state.SeedUsed;
  summary.Steps = thread.Run().Steps();
  summary.Events = thread.Run().Events();
  summary.WallSeconds = thread.WallSeconds();
  if (!observer.Rows().empty()) {
    const TCheckPointRow& last = observer.Rows().back();
    summary.Conversion = last.Conversion;
    summary.DPn = last.DP.DPn;
    summary.Dispersity = last.DP.Dispersity;
  }
  if (state.LargestDP() > 0) {
    summary.Mn = state.Mn;
    summary.Mw = state.Mw;
  }
  outcome.Failed = thread.Failed();
  if (outcome.Failed) outcome.FailureMessage = thread.ErrorMessage();
  summary.Status = outcome.Failed ? "failed" : outcome.Interrupted ? "stopped" : "completed";
  outcome.Rows = observer.Rows();
  outcome.Code = outcome.Failed ? ExitError : outcome.Interrupted ? ExitInterrupted : ExitSuccess;
  return outcome;
}

} // namespace Cli
