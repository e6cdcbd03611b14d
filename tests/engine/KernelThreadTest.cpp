// The free-radical, ATRP and living reversible kernels run from parameter
// files by the simulation thread: Execute picks them by ProcessType, a pause
// holds them between two events with the store consistent, Stop ends them
// after the current event, and an unreadable rate ends the run.

#include "engine/uSimThread.h"
#include "params/uParamFile.h"
#include "tests/engine/KernelRunSupport.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <atomic>

#include <chrono>
#include <map>
#include <sstream>
#include <thread>

namespace {

using namespace Engine;
using namespace KernelRun;
using TestSupport::TLogCapture;
using namespace std::chrono_literals;

// A parameter file as the editor saves it, reduced to the keys the engine
// reads for the process type.
std::string RunFile(int type, std::int32_t initiators, std::int32_t monomerA, std::int32_t monomerB,
                    const std::map<std::string, std::string>& rates, const std::vector<std::string>& checkPoints) {
  std::ostringstream out;
  out << "[Propago\xAE Parameters File]\r\nFileValid=1\r\n";
  out << "[General]\r\nProcessType=" << type << "\r\n";
  out << "[Components]\r\nMonomerAMolWeight=104.1494\r\nMonomerBMolWeight=100.1160\r\n"
         "InitiatorMolWeight=164.2081\r\nInitiatorAttachMolWeight=79.9040\r\n";
  out << "[SimulationParameters]\r\nRequiredMemory=1000000\r\nInitiatorNumber=" << initiators
      << "\r\nMonomerANumber=" << monomerA << "\r\nMonomerBNumber=" << monomerB
      << "\r\nActivatorNumber=" << initiators << "\r\nOxidizedActivatorNumber=" << initiators / 10 << "\r\n";
  out << "[SimulationRates]\r\n";
  for (const auto& [key, value] : rates) out << key << "=" << value << "\r\n";
  out << "[CheckingPoints]\r\n";
  for (std::size_t k = 0; k < checkPoints.size(); ++k) out << k << "=" << checkPoints[k] << "\r\n";
  return out.str();
}

const std::map<std::string, std::string> FreeRadicalRates = {
    {"A*A", "0.001"},     {"A*B", "0.002"},     {"B*A", "0.0015"},         {"B*B", "0.0005"},
    {"I*A", "0.002"},     {"I*B", "0.001"},     {"DisprAA", "0.004"},      {"DisprAB", "0.003"},
    {"DisprBB", "0.001"}, {"RecombAA", "0.002"}, {"RecombAB", "0.003"},    {"RecombBB", "0.005"},
    {"InitDecomposit", "0,2"}, {"InitiationEfficiency", "0.6"}};

struct TThreadRun {
  TLogCapture Log;
  TSimState State;
  TSimObserver Observer;
};

// Runs the file to its end on a simulation thread.
void RunToEnd(TThreadRun& r, const std::string& text) {
  const TTempText kpx(text);
  const Params::TParameterFile file(kpx.Path());
  r.State.FixedSeed = 4711;
  TSimThread thread(file, r.Observer, r.State);
  thread.Start();
  thread.WaitFor();
  EXPECT_FALSE(thread.Failed()) << thread.ErrorMessage();
  thread.OnSimulationEnd();
}

TEST(KernelThread, EachProcessTypeRunsItsKernelFromTheFile) {
  {
    TThreadRun r;
    RunToEnd(r, RunFile(1, 300, 20000, 10000, FreeRadicalRates, {"0", "1", "2"}));
    EXPECT_TRUE(r.Log.HasPrefix("Simulation Started at: "));
    EXPECT_TRUE(r.Log.Contains("Check Point: 2; Time:= 2"));
    EXPECT_TRUE(r.Log.HasPrefix("Simulation Finished at: "));
    EXPECT_LT(r.State.CPMonomerA[2], 20000) << "monomer was used";
    EXPECT_LT(r.State.CPInitiator[2], 300) << "initiator decomposed";
  }
  {
    TThreadRun r;
    std::map<std::string, std::string> rates = {{"A*A", "0.001"}, {"I*A", "0.001"}, {"ActivI", "0.01"},
                                                {"ActivA", "0.01"}, {"DeactI", "0.5"}, {"DeactA", "0.5"},
                                                {"RecombAA", "0.01"}};
    for (const char* key : {"A*B", "B*A", "B*B", "I*B", "ActivB", "DeactB", "DisprAA", "DisprAB", "DisprBB",
                            "RecombAB", "RecombBB"})
      rates[key] = "0";
    RunToEnd(r, RunFile(2, 200, 20000, 0, rates, {"0", "5", "10"}));
    EXPECT_TRUE(r.Log.Contains("Check Point: 2; Time:= 10"));
    EXPECT_LT(r.State.CPMonomerA[2], 20000);
    EXPECT_LT(r.State.CPInitiator[2], 200) << "initiator ends were activated and grew";
  }
  {
    TThreadRun r;
    // Every key is read, the release constants with either separator.
    RunToEnd(r, RunFile(3, 100, 5000, 0,
                        {{"I*A", "0.001"}, {"A*A", "0.001"}, {"I*B", "0"}, {"A*B", "0"}, {"B*A", "0"}, {"B*B", "0"},
                         {"IA*", "1"}, {"IB*", "1"}, {"AA*", "0,5"}, {"AB*", "1"}, {"BA*", "1"}, {"BB*", "1"}},
                        {"0", "1", "3"}));
    EXPECT_TRUE(r.Log.Contains("Check Point: 0; Time:= 0"));
    EXPECT_TRUE(r.Log.Contains("Check Point: 2; Time:= 3"));
    EXPECT_LT(r.State.CPMonomerA[2], 5000);
  }
}

TEST(KernelThread, APausedFreeRadicalRunHoldsAConsistentStoreAndStopEndsItAtOnce) {
  TLogCapture log;
  const TTempText kpx(RunFile(1, 2000, 2000000, 0,
                              {{"A*A", "1e-4"}, {"I*A", "1e-4"}, {"DisprAA", "1e-3"}, {"InitDecomposit", "0.05"},
                               {"InitiationEfficiency", "1"}, {"A*B", "0"}, {"B*A", "0"}, {"B*B", "0"},
                               {"I*B", "0"}, {"DisprAB", "0"}, {"DisprBB", "0"}, {"RecombAA", "0"},
                               {"RecombAB", "0"}, {"RecombBB", "0"}},
                              {"0", "1e6", "2e6"}));
  const Params::TParameterFile file(kpx.Path());
  TSimState state;
  state.FixedSeed = 99;
  TSimObserver observer;
  TSimThread thread(file, observer, state);
  thread.Start();
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (thread.Run().Steps() < 100000 && !thread.ExecuteFinished() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  thread.Pause();
  ASSERT_TRUE(thread.Control().WaitUntilHeld(60s));

  // Held between two events: the radical counts in the state match the
  // chains, and the chains hold every unit taken from the monomer.
  std::set<std::int32_t> radicals(state.ActiveA.begin(), state.ActiveA.begin() + state.ActiveANumber);
  EXPECT_EQ(static_cast<std::int32_t>(radicals.size()), state.ActiveANumber);
  for (std::int32_t c : radicals) EXPECT_EQ(LastUnit(state, c), UnitA);
  for (std::int32_t c : Members(state.ActiveI, state.ActiveINumber)) EXPECT_EQ(state.ChainDP[static_cast<std::size_t>(c)], 0);
  EXPECT_LE(state.ActiveINumber + state.ActiveANumber, 2 * (2000 - state.InitiatorNumber));
  ExpectDistributionMatchesStore(state);
  const std::vector<std::int32_t> histogram = state.DPDistribution;
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(state.DPDistribution, histogram) << "nothing changes while held";

  // Stop ends the run after the event it is in: the state reached, long
  // before 10^6 s of simulated time, is recorded under check point 1.
  const std::uint64_t stepsHeld = thread.Run().Steps();
  thread.Terminate();
  thread.WaitFor();
  EXPECT_FALSE(thread.Failed());
  EXPECT_GT(state.CPACenters[1], 0.0) << "averaged over the interval actually run";
  thread.OnSimulationEnd();
  EXPECT_EQ(thread.CurrentCheckPoint(), 1);
  EXPECT_LE(thread.Run().Steps(), stepsHeld + 1);
  EXPECT_LT(thread.Run().ProgressTime(), 1e6);
  EXPECT_TRUE(log.Contains("Check Point: 1; Time:= 1E0006"));
  EXPECT_FALSE(log.HasPrefix("Check Point: 2"));
  EXPECT_TRUE(log.HasPrefix("Simulation Finished at: "));
}

TEST(KernelThread, AnUnreadableRateEndsTheRunBeforeAnyEvent) {
  TLogCapture log;
  std::map<std::string, std::string> rates = FreeRadicalRates;
  rates["DisprBB"] = "fast";
  const TTempText kpx(RunFile(1, 100, 1000, 0, rates, {"0", "1"}));
  const Params::TParameterFile file(kpx.Path());
  TSimState state;
  TSimObserver observer;
  TSimThread thread(file, observer, state);
  thread.Start();
  thread.WaitFor();
  EXPECT_TRUE(thread.Failed());
  EXPECT_EQ(thread.ErrorMessage(), "Rate constant \"DisprBB\" is missing or not a number");
  thread.OnSimulationEnd();
  EXPECT_FALSE(log.HasPrefix("Check Point: 1"));
  EXPECT_TRUE(log.HasPrefix("Simulation Finished at: ")) << "an error in a kernel ends the run as a normal end";
  EXPECT_EQ(thread.Run().Steps(), 0u);
}

// ---- Stop within a moment ---------------------------------------------------

// A window that takes a millisecond for every per-event update of the live
// DP distribution view (a slow hand-off to a busy window thread).
class TSlowLiveView : public TSimObserver {
public:
  explicit TSlowLiveView(bool live) : FLive(live) {}
  void GetLiveViewFlags(bool& structure, bool& distribution) override {
    structure = false;
    distribution = FLive;
  }
  void ShowOneChainChange() override { std::this_thread::sleep_for(1ms); }
  void ShowTwoChainsChange() override { std::this_thread::sleep_for(1ms); }
  // The kernel has sized its run and starts its events.
  void InitializePlots() override { Started.store(true); }

  std::atomic<bool> Started{false};

private:
  bool FLive;
};

// Runs the file until its kernel has started and had 20 ms for events,
// requests Stop and returns the seconds until Execute returned.
double SecondsToStop(const std::string& text, bool liveView) {
  const TTempText kpx(text);
  const Params::TParameterFile file(kpx.Path());
  TSimState state;
  state.FixedSeed = 5;
  TSlowLiveView observer(liveView);
  TSimThread thread(file, observer, state);
  thread.Start();
  const auto started = std::chrono::steady_clock::now();
  // Sizing the store of a big run takes a while on a loaded machine: Stop
  // must come once the kernel is performing events.
  while (!observer.Started.load() && !thread.ExecuteFinished() && std::chrono::steady_clock::now() - started < 20s)
    std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(thread.ExecuteFinished()) << "the run must still be going when Stop comes";
  const auto stop = std::chrono::steady_clock::now();
  thread.Terminate();
  while (!thread.ExecuteFinished() && std::chrono::steady_clock::now() - stop < 30s)
    std::this_thread::sleep_for(100us);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - stop).count();
  thread.WaitFor();
  EXPECT_FALSE(thread.Failed()) << thread.ErrorMessage();
  EXPECT_EQ(thread.CurrentCheckPoint(), 1) << "the state reached is recorded under the current check point";
  thread.OnSimulationEnd();
  return seconds;
}

// One run per process type whose single interval would take hours.
std::vector<std::pair<std::string, std::string>> EndlessRuns() {
  const std::vector<std::string> endless = {"0", "1e12"};
  std::map<std::string, std::string> atrp = {{"A*A", "0.001"}, {"I*A", "0.001"}, {"ActivI", "0.01"},
                                             {"ActivA", "0.01"}, {"DeactI", "0.5"}, {"DeactA", "0.5"}};
  for (const char* key : {"A*B", "B*A", "B*B", "I*B", "ActivB", "DeactB", "DisprAA", "DisprAB", "DisprBB",
                          "RecombAA", "RecombAB", "RecombBB"})
    atrp[key] = "0";
  std::map<std::string, std::string> reversible = {{"I*A", "0.001"}, {"A*A", "0.001"}};
  for (const char* key : {"I*B", "A*B", "B*A", "B*B", "IA*", "IB*", "AA*", "AB*", "BA*", "BB*"}) reversible[key] = "1";
  std::string living = RunFile(0, 100, 2000000, 0, {{"I*A", "1"}, {"A*A", "1"}}, endless);
  for (const char* key : {"B*A", "I*B", "A*B", "B*B", "I*Ac", "A*Ac", "B*Ac", "I*Bc", "A*Bc", "B*Bc"})
    living.insert(living.find("[CheckingPoints]"), std::string(key) + "=0\r\n");
  living.insert(living.find("[SimulationRates]"), "[ChemicalRates]\r\nTimeInterval=1e-9\r\n");
  return {{"living", living},
          {"free radical", RunFile(1, 2000, 100000000, 50000000, FreeRadicalRates, endless)},
          {"ATRP", RunFile(2, 200, 100000000, 0, atrp, endless)},
          {"living reversible", RunFile(3, 100, 100000000, 0, reversible, endless)}};
}

TEST(KernelThread, StopTakesEffectWithinAMomentInEveryProcessType) {
  // Every kernel looks at Stop after each event: with no live view the run
  // ends within microseconds, with a live view whose every update costs a
  // millisecond within one update. 0.2 s is what the user may wait.
  for (const auto& [name, text] : EndlessRuns()) {
    for (const bool live : {false, true}) {
      TLogCapture log;
      const double seconds = SecondsToStop(text, live);
      EXPECT_LT(seconds, 0.2) << name << (live ? " with a live view" : "");
      EXPECT_TRUE(log.Contains("Check Point: 1; Time:= 1E0012")) << name;
      EXPECT_TRUE(log.HasPrefix("Simulation Finished at: ")) << name;
    }
  }
}

TEST(KernelThread, ARateThatMakesTheTotalInfiniteIsRefusedBeforeTheFirstEvent) {
  // A*A = 1e305 per molecule pair times 10^6 monomer molecules and 200
  // radicals is past the largest double: every waiting time would be 0 and
  // the clock would never move.
  std::map<std::string, std::string> rates = FreeRadicalRates;
  rates["A*A"] = "1e305";
  const TTempText kpx(RunFile(1, 100, 1000000, 0, rates, {"0", "1"}));
  const Params::TParameterFile file(kpx.Path());
  TLogCapture log;
  TSimState state;
  TSimObserver observer;
  TSimThread thread(file, observer, state);
  thread.Start();
  thread.WaitFor();
  EXPECT_TRUE(thread.Failed());
  EXPECT_NE(thread.ErrorMessage().find("Rate constant \"A*A\""), std::string::npos) << thread.ErrorMessage();
  EXPECT_NE(thread.ErrorMessage().find("not be a finite number"), std::string::npos) << thread.ErrorMessage();
  EXPECT_EQ(thread.Run().Steps(), 0u);
  thread.OnSimulationEnd();
  EXPECT_FALSE(log.HasPrefix("Check Point: 1"));
}

} // namespace
