// Run control under stress: many runs paused, resumed and stopped at random
// moments; allocations far beyond the machine's memory; the heap of a
// long run between check points.

#include "engine/uSimThread.h"
#include "params/uParamFile.h"
#include "tests/engine/LivingRunFile.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <limits>
#include <mutex>
#include <random>
#include <thread>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace Engine;
using LivingRun::ExpectLivingInvariants;
using LivingRun::TLivingFile;
using LivingRun::TTempFile;
using TestSupport::TLogCapture;
using namespace std::chrono_literals;

// Counts the calls that must come exactly once per run.
class TCountingObserver : public TSimObserver {
public:
  std::atomic<int> ExecuteReturnedCalls{0}, EndOfRunCalls{0}, EndedCalls{0}, InitializeCalls{0};
  void InitializePlots() override { ++InitializeCalls; }
  void ExecuteReturned() override { ++ExecuteReturnedCalls; }
  void EndOfRunStatistics() override { ++EndOfRunCalls; }
  void SimulationEnded() override { ++EndedCalls; }
};

// A copolymerization with segment exchange that runs far longer than any
// test waits: every attempt changes the store in one of several ways.
TLivingFile BusyRun() {
  TLivingFile fileDesc;
  fileDesc.Chains = 150;
  fileDesc.MonomerA = 15000;
  fileDesc.MonomerB = 5000;
  fileDesc.TimeInterval = "1";
  fileDesc.Rates = {{"I*A", "1"}, {"A*A", "1"}, {"B*A", "0.5"}, {"I*B", "1"}, {"A*B", "0.5"},
                {"B*B", "1"}, {"A*Ac", "0.01"}, {"B*Bc", "0.01"}};
  fileDesc.CheckPoints = {"0", "1e12", "2e12"};
  return fileDesc;
}

// DPDistribution is the histogram of ChainDP: the one invariant every
// kernel's store keeps.
void ExpectHistogramMatches(const TSimState& s) {
  std::vector<std::int32_t> histogram(s.DPDistribution.size(), 0);
  for (std::int32_t i = 1; i <= s.ChainsNumber; ++i) {
    const auto dp = static_cast<std::size_t>(s.ChainDP[static_cast<std::size_t>(i)]);
    ASSERT_LT(dp, histogram.size());
    ++histogram[dp];
  }
  EXPECT_EQ(histogram, s.DPDistribution);
}

TEST(RunControlStress, RandomPausesAndStopsLeaveAConsistentStoreAndEndOnce) {
  TTempFile file(BusyRun());
  Params::TParameterFile parameters(file.Path());
  TSimState state;
  std::mt19937 random(20240611); // fixed: a failure can be repeated
  std::uniform_int_distribution<int> micros(0, 3000), actions(0, 4);
  for (int cycle = 0; cycle < 24; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    TCountingObserver observer;
    {
      TSimThread thread(parameters, observer, state);
      thread.Start();
      const int pauses = actions(random);
      for (int p = 0; p < pauses; ++p) {
        std::this_thread::sleep_for(std::chrono::microseconds(micros(random)));
        thread.Pause();
        if (thread.Control().WaitUntilHeld(60s)) {
          // Held between two events: every invariant of the store holds.
          ExpectLivingInvariants(state);
        }
        if (p % 2 == 0) thread.Pause(); // a repeated request changes nothing
        thread.Resume();
      }
      std::this_thread::sleep_for(std::chrono::microseconds(micros(random)));
      if (cycle % 3 == 1) thread.Pause(); // Stop also releases a pause on its way
      thread.Terminate();
      thread.WaitFor();
      // The run has left the kernel after a whole event: the store is whole.
      // (A stop that came before the kernel reset the store leaves it as
      // sized, with no chain counted yet.)
      if (observer.InitializeCalls.load() > 0) {
        ExpectLivingInvariants(state);
        ExpectHistogramMatches(state);
      }
      thread.OnSimulationEnd();
      thread.OnSimulationEnd(); // a second call does nothing
      EXPECT_TRUE(thread.EndHandled());
    }
    EXPECT_EQ(observer.ExecuteReturnedCalls.load(), 1);
    EXPECT_EQ(observer.EndOfRunCalls.load(), 1);
    EXPECT_EQ(observer.EndedCalls.load(), 1);
    EXPECT_FALSE(SimulationRunning());
    if (cycle % 4 == 3) state.FreeAllocatedMemory(); // Clear between runs
  }
}

TEST(RunControlStress, StopBeforeAnyEventAndDestructionWithoutAnEndHandlerEndOnce) {
  TTempFile file(BusyRun());
  Params::TParameterFile parameters(file.Path());
  TSimState state;
  for (int cycle = 0; cycle < 10; ++cycle) {
    TCountingObserver observer;
    {
      TSimThread thread(parameters, observer, state);
      if (cycle % 2 == 0) thread.Terminate(); // Stop before Start: the run ends at once
      thread.Start();
      if (cycle % 3 == 0) thread.Pause();
      // Destroyed here: the destructor stops, waits and runs the end handler.
    }
    EXPECT_EQ(observer.ExecuteReturnedCalls.load(), 1) << cycle;
    EXPECT_EQ(observer.EndOfRunCalls.load(), 1) << cycle;
    EXPECT_EQ(observer.EndedCalls.load(), 1) << cycle;
    EXPECT_FALSE(SimulationRunning());
  }
}

// Limits the address space of the process to its current size plus `extra`
// bytes for its lifetime.
class TAddressSpaceCap {
public:
  explicit TAddressSpaceCap(std::int64_t extra) {
    std::ifstream statm("/proc/self/statm");
    std::int64_t pages = 0;
    statm >> pages;
    FActive = ::getrlimit(RLIMIT_AS, &FPrevious) == 0;
    rlimit cap = FPrevious;
    cap.rlim_cur = static_cast<rlim_t>(pages * ::sysconf(_SC_PAGESIZE) + extra);
    FActive = FActive && ::setrlimit(RLIMIT_AS, &cap) == 0;
  }
  ~TAddressSpaceCap() {
    if (FActive) ::setrlimit(RLIMIT_AS, &FPrevious);
  }
  TAddressSpaceCap(const TAddressSpaceCap&) = delete;
  TAddressSpaceCap& operator=(const TAddressSpaceCap&) = delete;

private:
  rlimit FPrevious{};
  bool FActive = false;
};

TEST(RunControlStress, AnAllocationFarBeyondMemoryFailsCleanlyAndTheNextRunWorks) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  // The sanitizers' operator new reports a refused request as a fatal error
  // instead of throwing std::bad_alloc, whatever their options say.
  GTEST_SKIP() << "a refused allocation aborts under the sanitizers";
#endif
  // 2^31 - 2 monomer molecules: their records alone take 32 GiB. The test
  // caps the address space of the process at a few GiB more than it uses, so the request
  // fails the same way on any machine, whatever its memory and overcommit
  // settings, and nothing is ever touched.
  TLivingFile huge = BusyRun();
  huge.Chains = 1000;
  huge.MonomerA = std::numeric_limits<std::int32_t>::max() - 1;
  huge.MonomerB = 0;
  TTempFile hugeFile(huge);
  Params::TParameterFile hugeParameters(hugeFile.Path());
  TSimState state;
  {
    TLogCapture log;
    TCountingObserver observer;
    TSimThread thread(hugeParameters, observer, state);
    {
      TAddressSpaceCap cap(std::int64_t{4} << 30);
      thread.Start();
      thread.WaitFor();
    }
    thread.OnSimulationEnd();
    EXPECT_TRUE(thread.Failed());
    EXPECT_TRUE(state.AllocationFailed);
    EXPECT_TRUE(log.Contains("Memory Allocation Error!"));
    EXPECT_TRUE(log.Contains("The Window Can be Closed!"));
    EXPECT_EQ(observer.EndedCalls.load(), 1);
  }
  EXPECT_FALSE(SimulationRunning());

  // The program is usable: a normal run on the same store completes.
  TLivingFile small = BusyRun();
  small.CheckPoints = {"0", "50"};
  TTempFile smallFile(small);
  Params::TParameterFile smallParameters(smallFile.Path());
  TLogCapture log;
  TCountingObserver observer;
  TSimThread thread(smallParameters, observer, state);
  thread.Start();
  thread.WaitFor();
  EXPECT_FALSE(thread.Failed()) << thread.ErrorMessage();
  EXPECT_FALSE(state.AllocationFailed);
  ExpectLivingInvariants(state);
  thread.OnSimulationEnd();
  EXPECT_TRUE(log.Contains("Process Created Succesfully!"));
}

// Bytes the heap holds for the program (in use from the arenas and in
// mapped chunks): what a leak or a structure growing with the events would
// raise. The chain store's own reservation is mapped once when the run is
// sized and is not counted.
std::int64_t HeapInUse() {
  const struct mallinfo2 info = ::mallinfo2();
  return static_cast<std::int64_t>(info.uordblks + info.hblkhd);
}

// Heap in use at each check point, less the molar-mass histograms: they hold
// one bin per distinct chain mass, and under segment exchange the masses keep
// spreading, so they may rightly grow (never beyond one bin per chain).
// Everything else a run keeps must stay flat.
class TMemoryObserver : public TSimObserver {
public:
  explicit TMemoryObserver(const TSimState& state) : FState(state) {}
  std::mutex Mutex;
  std::vector<std::int64_t> Resident;
  void DisplaySimulSummary(int) override {
    const std::int64_t distributions =
        static_cast<std::int64_t>(sizeof(TMassBin) * FState.MassHistogram.Bins.capacity());
    std::lock_guard lock(Mutex);
    Resident.push_back(HeapInUse() - distributions);
  }

private:
  const TSimState& FState;
};

TEST(RunControlStress, MemoryStaysFlatBetweenCheckPointsOfALongRun) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' own bookkeeping grows with every allocation; leaks are their job there";
#endif
  // All monomer is in chains within the first interval; afterwards segment
  // exchange goes on at the same total DP for many check points. Nothing
  // the run keeps may grow with the number of events or check points.
  TLivingFile fileDesc = BusyRun();
  fileDesc.Chains = 200;
  fileDesc.MonomerA = 20000;
  fileDesc.MonomerB = 0;
  fileDesc.TimeInterval = "0.001"; // 1000 attempts per second: 3 million in all
  fileDesc.Rates = {{"I*A", "1"}, {"A*A", "1"}, {"A*Ac", "0.1"}};
  fileDesc.CheckPoints.clear();
  for (int k = 0; k <= 60; ++k) fileDesc.CheckPoints.push_back(std::to_string(k * 50));
  TTempFile file(fileDesc);
  Params::TParameterFile parameters(file.Path());
  TSimState state;
  TMemoryObserver observer(state);
  TSimThread thread(parameters, observer, state);
  thread.Start();
  thread.WaitFor();
  ASSERT_FALSE(thread.Failed()) << thread.ErrorMessage();
  thread.OnSimulationEnd();
  std::lock_guard lock(observer.Mutex);
  ASSERT_GE(observer.Resident.size(), 50u);
  // From check point 5 on: within 2 MB.
  const std::int64_t early = observer.Resident[5];
  const std::int64_t late = observer.Resident.back();
  EXPECT_LT(late - early, 2 << 20) << "the heap grew from " << early << " to " << late << " bytes";
}

} // namespace
