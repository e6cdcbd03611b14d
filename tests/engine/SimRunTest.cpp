// The simulation run: the thread's life from creation to the end-of-run
// handler, the check-point cycle and its log lines, Stop, Pause and resume,
// the two failure paths, and the one-run-at-a-time rule.

#include "engine/uSimThread.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"
#include "tests/engine/LivingRunFile.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <new>

#include <algorithm>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace Engine;
using LivingRun::ExpectLivingInvariants;
using LivingRun::TLivingFile;
using LivingRun::TTempFile;
using TestSupport::TLogCapture;
using namespace std::chrono_literals;

// Records the observer calls in order, with the thread each came on.
class TRecordingObserver : public TSimObserver {
public:
  mutable std::mutex Mutex;
  std::vector<std::string> Calls;
  std::thread::id ExecuteReturnedThread, EndOfRunThread, EndedThread, PausedThread;
  bool RunningDuringEndOfRun = false, RunningWhenEnded = true;
  int Paused = 0;
  std::vector<std::string> Summaries;
  const TSimState* State = nullptr;

  void Record(const std::string& call) {
    std::lock_guard lock(Mutex);
    Calls.push_back(call);
  }
  std::vector<std::string> CallList() const {
    std::lock_guard lock(Mutex);
    return Calls;
  }
  void GetLiveViewFlags(bool& structure, bool& distribution) override {
    Record("GetLiveViewFlags");
    structure = false;
    distribution = false;
  }
  void InitializePlots() override { Record("InitializePlots"); }
  void DisplaySimulSummary(int k) override {
    Record("DisplaySimulSummary " + std::to_string(k));
    if (State != nullptr) Summaries.push_back(SimulSummaryText(*State, k));
  }
  void UpdateUserInterface(int k) override { Record("UpdateUserInterface " + std::to_string(k)); }
  void SimulationPaused() override {
    std::lock_guard lock(Mutex);
    ++Paused;
    PausedThread = std::this_thread::get_id();
  }
  void ExecuteReturned() override {
    ExecuteReturnedThread = std::this_thread::get_id();
    Record("ExecuteReturned");
  }
  void EndOfRunStatistics() override {
    EndOfRunThread = std::this_thread::get_id();
    RunningDuringEndOfRun = SimulationRunning();
    Record("EndOfRunStatistics");
  }
  void SimulationEnded() override {
    EndedThread = std::this_thread::get_id();
    RunningWhenEnded = SimulationRunning();
    Record("SimulationEnded");
  }
};

// A homopolymerization long enough that it is still running when the test
// acts on it: 1e12 attempts would take hours.
TLivingFile EndlessRun() {
  TLivingFile fileDesc;
  fileDesc.Chains = 200;
  fileDesc.MonomerA = 20000;
  fileDesc.TimeInterval = "1";
  fileDesc.Rates = {{"I*A", "1"}, {"A*A", "1"}};
  fileDesc.CheckPoints = {"0", "1e12", "2e12"};
  return fileDesc;
}

// Waits (up to a generous limit) until the run has performed some attempts.
void WaitForProgress(const TSimThread& thread, std::uint64_t steps) {
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (thread.Run().Steps() < steps && !thread.ExecuteFinished() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
}

TEST(SimulationRun, WithASingleCheckPointPerformsNothingAndEndsNormally) {
  TLogCapture log;
  TLivingFile fileDesc;
  fileDesc.Rates = {{"I*A", "1"}, {"A*A", "1"}};
  fileDesc.CheckPoints = {"0"};
  TTempFile file(fileDesc);
  Params::TParameterFile parameters(file.Path());
  TSimState state;
  state.FixedSeed = 3;
  TRecordingObserver observer;
  {
    TSimThread thread(parameters, observer, state);
    EXPECT_TRUE(SimulationRunning());
    thread.Start();
    thread.WaitFor();
    EXPECT_TRUE(SimulationRunning()) << "running until the end-of-run handler has finished";
    thread.OnSimulationEnd();
    EXPECT_FALSE(SimulationRunning());
    EXPECT_EQ(thread.Run().Steps(), 0u);
    EXPECT_EQ(thread.CurrentCheckPoint(), 0);
    EXPECT_FALSE(thread.Failed());
  }
  EXPECT_EQ(observer.CallList(), (std::vector<std::string>{"GetLiveViewFlags", "InitializePlots", "ExecuteReturned",
                                                           "EndOfRunStatistics", "SimulationEnded"}));
  EXPECT_FALSE(log.HasPrefix("Check Point: "));
  EXPECT_TRUE(log.HasPrefix("Simulation Started at: "));
  EXPECT_TRUE(log.HasPrefix("Simulation Finished at: "));
  // Only the initial state is recorded; nothing has grown.
  EXPECT_EQ(state.CheckPointsHigh, 0);
  EXPECT_EQ(state.CPMonomerA[0], 1000);
  EXPECT_EQ(state.DPDistribution[0], 100);
}

TEST(SimulationRun, FollowsTheCheckPointCycleAndEndsOnTheOwnersThread) {
  TLogCapture log;
  TLivingFile fileDesc;
  fileDesc.Chains = 20;
  fileDesc.MonomerA = 400;
  fileDesc.TimeInterval = "0.5";
  fileDesc.Rates = {{"I*A", "1"}, {"A*A", "1"}};
  fileDesc.CheckPoints = {"0", "10", "123.456789", "1234567"};
  TTempFile file(fileDesc);
  Params::TParameterFile parameters(file.Path());
  TSimState state;
  state.FixedSeed = 99;
  TRecordingObserver observer;
  observer.State = &state;
  TSimThread thread(parameters, observer, state);
  thread.Start();
  thread.WaitFor();
  EXPECT_TRUE(thread.ExecuteFinished());
  thread.OnSimulationEnd();

  EXPECT_EQ(observer.CallList(),
            (std::vector<std::string>{"GetLiveViewFlags", "InitializePlots", "DisplaySimulSummary 1",
                                      "UpdateUserInterface 1", "DisplaySimulSummary 2", "UpdateUserInterface 2",
                                      "DisplaySimulSummary 3", "UpdateUserInterface 3", "ExecuteReturned",
                                      "EndOfRunStatistics", "SimulationEnded"}));
  EXPECT_EQ(thread.CurrentCheckPoint(), 3);
  // Execute ends on the simulation thread; the end-of-run handler runs on
  // the owner's (this) thread, with the run still counted as going until
  // its very end.
  EXPECT_NE(observer.ExecuteReturnedThread, std::this_thread::get_id());
  EXPECT_EQ(observer.EndOfRunThread, std::this_thread::get_id());
  EXPECT_EQ(observer.EndedThread, std::this_thread::get_id());
  EXPECT_TRUE(observer.RunningDuringEndOfRun);
  EXPECT_FALSE(observer.RunningWhenEnded);

  const std::vector<std::string> lines = log.Lines();
  const auto at = [&](const std::string& line) { return log.IndexOf(line); };
  const auto prefixAt = [&](const std::string& prefix) {
    for (std::size_t i = 0; i < lines.size(); ++i)
      if (lines[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    return -1;
  };
  // The scheduled times, in general notation with 6 digits.
  const std::vector<int> order = {at("Simulation Thread Created Succesfully"),
                                  at("Allocate Memory for User Interface..."),
                                  at("Reading Memory Requirements..."),
                                  at("Allocate Memory ..."),
                                  at("Process Created Succesfully!"),
                                  prefixAt("Simulation Started at: "),
                                  at("Check Point: 1; Time:= 10"),
                                  at("Check Point: 2; Time:= 123.457"),
                                  at("Check Point: 3; Time:= 1.23457E0006"),
                                  prefixAt("Simulation Finished at: "),
                                  at("Freeing Thread Memory..."),
                                  at("Done!"),
                                  at("The Window Can be Closed!")};
  for (std::size_t i = 0; i < order.size(); ++i) ASSERT_GE(order[i], 0) << "line " << i << " missing";
  for (std::size_t i = 1; i < order.size(); ++i) EXPECT_LT(order[i - 1], order[i]) << "line " << i << " out of order";

  // The summary line of each check point: the scheduled time, the conversion
  // of the recorded monomer counts, Mn of the statistics of that moment.
  ASSERT_EQ(observer.Summaries.size(), 3u);
  EXPECT_EQ(observer.Summaries[0].rfind("Time= 10.00s  Conv= ", 0), 0u) << observer.Summaries[0];
  // 20 chains, 400 A units of 114.1424 g/mol and initiator 60.0950 g/mol: at
  // full conversion Mn = 60.095 + 20 x 114.1424 = 2342.943.
  EXPECT_EQ(observer.Summaries[2], "Time= 1234567.00s  Conv= 1.000  Mn= 2343");
  // The kernels' working structures are gone, the results stay.
  EXPECT_TRUE(state.Mers.empty());
  EXPECT_TRUE(state.CPDyads[0].empty());
  EXPECT_EQ(state.CPMonomerA[3], 0);
  EXPECT_EQ(state.DPDistribution[0], 0);
}

// A window that runs out of memory while it computes its end-of-run curves.
class TOutOfMemoryAtTheEnd : public TRecordingObserver {
public:
  void EndOfRunStatistics() override {
    TRecordingObserver::EndOfRunStatistics();
    throw std::bad_alloc();
  }
};

TEST(SimulationRun, OutOfMemoryInTheEndOfRunHandlerIsLoggedAndTheRunStillCloses) {
  TLogCapture log;
  TLivingFile fileDesc;
  fileDesc.Chains = 20;
  fileDesc.MonomerA = 400;
  fileDesc.TimeInterval = "0.5";
  fileDesc.Rates = {{"I*A", "1"}, {"A*A", "1"}};
  fileDesc.CheckPoints = {"0", "10", "100"};
  TTempFile file(fileDesc);
  Params::TParameterFile parameters(file.Path());
  TSimState state;
  state.FixedSeed = 5;
  TOutOfMemoryAtTheEnd observer;
  TSimThread thread(parameters, observer, state);
  thread.Start();
  thread.WaitFor();
  EXPECT_NO_THROW(thread.OnSimulationEnd());
  EXPECT_FALSE(SimulationRunning());
  // The failure is named, and every later step still runs.
  const std::vector<std::string> lines = log.Lines();
  const auto at = [&](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) - lines.begin();
  };
  const auto failed = at("The Final Plots Failed: Out of Memory (the results computed before are kept)");
  ASSERT_LT(failed, static_cast<std::ptrdiff_t>(lines.size()));
  EXPECT_LT(failed, at("Freeing Thread Memory..."));
  EXPECT_LT(at("Freeing Thread Memory..."), at("Done!"));
  EXPECT_LT(at("Done!"), at("The Window Can be Closed!"));
  EXPECT_LT(at("The Window Can be Closed!"), static_cast<std::ptrdiff_t>(lines.size()));
  EXPECT_EQ(observer.CallList().back(), "SimulationEnded");
  // The final statistics were computed before the failure and are kept.
  EXPECT_FALSE(state.MassHistogram.Empty());
  EXPECT_GT(state.Mn, 0.0);
  // A new run can start.
  TRecordingObserver next;
  EXPECT_NO_THROW(TSimThread(parameters, next, state));
}

TEST(SimulationRun, AllocationFailureEndsWithoutTheFinishedLine) {
  TLogCapture log;
  TLivingFile fileDesc;
  fileDesc.MonomerAMolWeight = "heavy";
  TTempFile file(fileDesc);
  Params::TParameterFile parameters(file.Path());
  TSimState state;
  TRecordingObserver observer;
  TSimThread thread(parameters, observer, state);
  thread.Start();
  thread.WaitFor();
  EXPECT_TRUE(thread.Terminated()) << "AllocateMemory asks the thread to terminate";
  thread.OnSimulationEnd();
  EXPECT_TRUE(thread.Failed());
  EXPECT_TRUE(state.AllocationFailed);
  EXPECT_FALSE(SimulationRunning());

  const int error = log.IndexOf("Memory Allocation Error!");
  ASSERT_GE(error, 0);
  // The reason follows, naming the key, so the user knows which value to correct.
  EXPECT_EQ(log.IndexOf("Simulation Error: Invalid MonomerAMolWeight in the Parameters File: heavy (a molar mass "
                        "must be above 0 and at most 1e100 g/mol)"),
            error + 1);
  EXPECT_FALSE(log.HasPrefix("Simulation Started at: "));
  EXPECT_FALSE(log.HasPrefix("Simulation Finished at: "));
  const int freeing = log.IndexOf("Freeing Thread Memory...");
  EXPECT_GT(freeing, error);
  EXPECT_EQ(log.IndexOf("Done!"), freeing + 1);
  EXPECT_EQ(log.IndexOf("The Window Can be Closed!"), freeing + 2);
}

TEST(SimulationRun, KernelErrorEndsLikeANormalRunAndNamesTheError) {
  TLogCapture log;
  TLivingFile fileDesc;
  fileDesc.Rates = {{"I*A", "1"}, {"B*Bc", "1,2,3"}};
  TTempFile file(fileDesc);
  Params::TParameterFile parameters(file.Path());
  TSimState state;
  TRecordingObserver observer;
  TSimThread thread(parameters, observer, state);
  thread.Start();
  thread.WaitFor();
  thread.OnSimulationEnd();
  EXPECT_TRUE(thread.Failed());
  EXPECT_FALSE(state.AllocationFailed);
  // "1,2,3" is no number with either separator: the error names the key.
  EXPECT_EQ(thread.ErrorMessage(), "Rate constant \"B*Bc\" is missing or not a number");

  const int started = [&] {
    const auto lines = log.Lines();
    for (std::size_t i = 0; i < lines.size(); ++i)
      if (lines[i].rfind("Simulation Started at: ", 0) == 0) return static_cast<int>(i);
    return -1;
  }();
  ASSERT_GE(started, 0);
  EXPECT_EQ(log.IndexOf("Simulation Error: Rate constant \"B*Bc\" is missing or not a number"), started + 1);
  EXPECT_FALSE(log.HasPrefix("Check Point: "));
  EXPECT_TRUE(log.HasPrefix("Simulation Finished at: "));
  EXPECT_TRUE(log.Contains("Freeing Thread Memory..."));
  EXPECT_TRUE(log.Contains("Done!"));
  EXPECT_TRUE(log.Contains("The Window Can be Closed!"));
}

// Stops the run from inside the N-th propagation notification.
class TStoppingObserver : public TRecordingObserver {
public:
  TSimThread* Thread = nullptr;
  int StopAt = 0, Propagations = 0;
  void GetLiveViewFlags(bool& structure, bool& distribution) override {
    structure = false;
    distribution = true;
  }
  void ShowOneChainChange() override {
    if (++Propagations == StopAt) Thread->Terminate();
  }
};

TEST(SimulationRun, StopEndsTheLivingRunAfterTheCurrentAttempt) {
  TLogCapture log;
  TTempFile file(EndlessRun());
  Params::TParameterFile parameters(file.Path());
  TSimState state;
  state.FixedSeed = 17;
  TStoppingObserver observer;
  observer.StopAt = 500;
  TSimThread thread(parameters, observer, state);
  observer.Thread = &thread;
  thread.Start();
  thread.WaitFor();
  // The attempt that was stopped is complete and nothing follows it: 500
  // units were placed, and the state reached is recorded at once under the
  // current check point index, 1.
  EXPECT_EQ(observer.Propagations, 500);
  EXPECT_EQ(thread.CurrentCheckPoint(), 1);
  EXPECT_EQ(state.CPMonomerA[1], 20000 - 500);
  EXPECT_EQ(state.CPMonomerA[2], 0) << "check point 2 is never recorded";
  EXPECT_EQ(thread.Run().Events(), 500u);
  ExpectLivingInvariants(state);
  thread.OnSimulationEnd();
  EXPECT_TRUE(log.Contains("Check Point: 1; Time:= 1E0012"));
  EXPECT_FALSE(log.HasPrefix("Check Point: 2"));
  EXPECT_TRUE(log.HasPrefix("Simulation Finished at: "));
  EXPECT_FALSE(thread.Failed());
}

TEST(SimulationRun, StopFromTheOwnerEndsARunningKernel) {
  TTempFile file(EndlessRun());
  Params::TParameterFile parameters(file.Path());
  TSimState state;
  TRecordingObserver observer;
  TSimThread thread(parameters, observer, state);
  thread.Start();
  WaitForProgress(thread, 100000);
  thread.Terminate();
  thread.WaitFor(); // returns only because the kernel saw the flag
  EXPECT_EQ(thread.CurrentCheckPoint(), 1);
  thread.OnSimulationEnd();
  EXPECT_FALSE(SimulationRunning());
}

TEST(SimulationRun, PauseHoldsTheRunBetweenEventsUntilResumed) {
  TTempFile file(EndlessRun());
  Params::TParameterFile parameters(file.Path());
  TSimState state;
  TRecordingObserver observer;
  TSimThread thread(parameters, observer, state);
  thread.Start();
  WaitForProgress(thread, 50000);

  thread.Pause();
  ASSERT_TRUE(thread.Control().WaitUntilHeld(60s));
  EXPECT_TRUE(thread.Control().Held());
  {
    std::lock_guard lock(observer.Mutex);
    EXPECT_EQ(observer.Paused, 1);
    EXPECT_NE(observer.PausedThread, std::this_thread::get_id()) << "told on the simulation thread";
  }
  // Held between two events: the store is consistent and does not change.
  ExpectLivingInvariants(state);
  const std::vector<std::int32_t> histogram = state.DPDistribution;
  const std::uint64_t steps = thread.Run().Steps();
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(state.DPDistribution, histogram);
  EXPECT_EQ(thread.Run().Steps(), steps);

  thread.Resume();
  WaitForProgress(thread, steps + (std::uint64_t{1} << 15));
  EXPECT_GT(thread.Run().Steps(), steps) << "the run goes on after Resume";
  EXPECT_FALSE(thread.Control().Held());

  // Stop releases a pause: a paused run completes its step and ends.
  thread.Pause();
  ASSERT_TRUE(thread.Control().WaitUntilHeld(60s));
  thread.Terminate();
  thread.WaitFor();
  thread.OnSimulationEnd();
  EXPECT_FALSE(SimulationRunning());
}

// The window thread of the desktop program in miniature: the observer hands
// each check-point update to the "main thread" and waits for it, polling the
// stop flag as the contract requires.
class TBlockingObserver : public TSimObserver {
public:
  TSimThread* Thread = nullptr;
  std::mutex Mutex;
  std::condition_variable Changed;
  bool Pending = false, Served = false, GaveUp = false;

  void UpdateUserInterface(int) override {
    std::unique_lock lock(Mutex);
    Pending = true;
    Changed.notify_all();
    while (!Served) {
      if (Thread->Terminated()) {
        GaveUp = true;
        return;
      }
      Changed.wait_for(lock, 10ms);
    }
  }
};

TEST(SimulationRun, StopDuringABlockingWindowCallDoesNotDeadlock) {
  TLivingFile fileDesc = EndlessRun();
  fileDesc.CheckPoints = {"0", "1000", "1e12"};
  TTempFile file(fileDesc);
  Params::TParameterFile parameters(file.Path());
  TSimState state;
  TBlockingObserver observer;
  TSimThread thread(parameters, observer, state);
  observer.Thread = &thread;
  thread.Start();
  {
    std::unique_lock lock(observer.Mutex);
    ASSERT_TRUE(observer.Changed.wait_for(lock, 60s, [&] { return observer.Pending; }));
  }
  // The simulation thread now waits for us; we never serve it, we stop it.
  thread.Terminate();
  thread.WaitFor();
  EXPECT_TRUE(observer.GaveUp);
  EXPECT_EQ(thread.CurrentCheckPoint(), 1);
  thread.OnSimulationEnd();
}

TEST(SimulationRun, OnlyOneRunAtATimeAndDestructionCleansUp) {
  TLogCapture log;
  TTempFile file(EndlessRun());
  Params::TParameterFile parameters(file.Path());
  TSimState state;
  TRecordingObserver observer;
  {
    TSimThread first(parameters, observer, state);
    EXPECT_THROW((TSimThread{parameters, observer, state}), std::logic_error);
    first.Start();
    WaitForProgress(first, 1000);
    // Destroyed while running and without its end-of-run handler: the object
    // stops the run, waits for it and runs the handler itself.
  }
  EXPECT_FALSE(SimulationRunning());
  EXPECT_TRUE(log.Contains("The Window Can be Closed!"));
  EXPECT_TRUE(state.Mers.empty());

  // A thread that never started releases the flag without touching the store.
  { TSimThread unused(parameters, observer, state); }
  EXPECT_FALSE(SimulationRunning());
  TSimThread next(parameters, observer, state);
  EXPECT_TRUE(SimulationRunning());
}

TEST(SimulationRunTexts, CheckPointLinesAndSummaryLine) {
  Propagon::TSeparatorGuard separator('.');
  EXPECT_EQ(CheckPointLogLine(0, 0.0), "Check Point: 0; Time:= 0");
  EXPECT_EQ(CheckPointLogLine(12, 0.000001), "Check Point: 12; Time:= 1E-0006");
  // Without records (after Clear) all three numbers are 0.
  TSimState cleared;
  EXPECT_EQ(SimulSummaryText(cleared, 0), "Time= 0.00s  Conv= 0.000  Mn= 0");

  // Recorded counts: 300 + 100 of 1000 + 600 monomers left is a conversion
  // of 1 - 400/1600 = 0.75; Mn 1234.5 shows rounded to 1235 (half away).
  TSimState s;
  TRunDescription run;
  run.InitiatorNumber = 10;
  run.MonomerANumber = 1000;
  run.MonomerBNumber = 600;
  run.MonomerAMolWeight = run.MonomerBMolWeight = run.InitiatorMolWeight = 1.0;
  run.CheckPointTime = {0.0, 12.345};
  s.AllocateMemory(run);
  s.FixedSeed = 1;
  s.InitializeRun();
  s.CPMonomerA[1] = 300;
  s.CPMonomerB[1] = 100;
  s.Mn = 1234.5;
  // Nothing has grown yet: an Mn left over (from a previous run) is not shown.
  EXPECT_EQ(SimulSummaryText(s, 1), "Time= 12.35s  Conv= 0.750  Mn= 0");
  ASSERT_TRUE(s.Propagate(1, UnitA));
  EXPECT_DOUBLE_EQ(CheckPointConversion(s, 1), 0.75);
  EXPECT_EQ(SimulSummaryText(s, 1), "Time= 12.35s  Conv= 0.750  Mn= 1235");

  // A mixture without monomer converts nothing (not 0/0).
  TSimState empty;
  run.MonomerANumber = run.MonomerBNumber = 0;
  empty.AllocateMemory(run);
  empty.FixedSeed = 1;
  empty.InitializeRun();
  EXPECT_EQ(CheckPointConversion(empty, 1), 0.0);
}

} // namespace
