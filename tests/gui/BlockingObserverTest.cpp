// The queued observer between the simulation thread and the windows: calls
// run on the window thread, in order, while the caller waits; the end notice
// never waits; shutdown releases a waiting caller without running its call.

#include "shell/uGuiObserver.h"
#include "tests/gui/ShellTestSupport.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using ShellTest::WaitUntil;

// Records every call with the thread it ran on.
class TRecordingTarget : public Engine::TSimObserver {
public:
  struct TCall {
    std::string Name;
    int Value;
    bool OnWindowThread;
  };
  void Record(const std::string& name, int value) {
    std::lock_guard<std::mutex> lock(FMutex);
    FCalls.push_back({name, value, QThread::currentThread() == QCoreApplication::instance()->thread()});
  }
  std::vector<TCall> Calls() {
    std::lock_guard<std::mutex> lock(FMutex);
    return FCalls;
  }
  void GetLiveViewFlags(bool& s, bool& d) override {
    Record("GetLiveViewFlags", 0);
    s = true;
    d = false;
  }
  void DisplaySimulSummary(int k) override { Record("DisplaySimulSummary", k); }
  void UpdateUserInterface(int k) override { Record("UpdateUserInterface", k); }
  void DrawUnit(int chain, int, int) override { Record("DrawUnit", chain); }
  void DrawSegment(int to, int, int) override { Record("DrawSegment", to); }
  void ShowOneChainChange() override { Record("ShowOneChainChange", 0); }
  void ShowTwoChainsChange() override { Record("ShowTwoChainsChange", 0); }
  void SimulationPaused() override { Record("SimulationPaused", 0); }
  void ExecuteReturned() override { Record("ExecuteReturned", 0); }

private:
  std::mutex FMutex;
  std::vector<TCall> FCalls;
};

TEST(BlockingObserver, CallsRunOnTheWindowThreadInOrderWhileTheCallerWaits) {
  QObject context;
  TRecordingTarget target;
  Shell::TBlockingObserver observer(&context, &target);

  std::atomic<int> returned{0};
  bool structure = false, distribution = true;
  std::thread simulation([&] {
    observer.GetLiveViewFlags(structure, distribution);
    ++returned;
    observer.DisplaySimulSummary(1);
    ++returned;
    observer.UpdateUserInterface(1);
    ++returned;
    observer.DrawUnit(7, 3, 0);
    ++returned;
    observer.ExecuteReturned(); // does not wait
    ++returned;
  });
  // Nothing returns before the window thread serves the first call.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(returned.load(), 0);
  ASSERT_TRUE(WaitUntil([&] { return returned.load() == 5; }, 10000));
  simulation.join();
  ASSERT_TRUE(WaitUntil([&] { return target.Calls().size() == 5; }, 10000));

  const auto calls = target.Calls();
  const std::vector<std::string> order{"GetLiveViewFlags", "DisplaySimulSummary", "UpdateUserInterface", "DrawUnit",
                                       "ExecuteReturned"};
  for (std::size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(calls[i].Name, order[i]);
    EXPECT_TRUE(calls[i].OnWindowThread) << calls[i].Name;
  }
  EXPECT_EQ(calls[3].Value, 7);
  // The answers of the window thread reach the simulation thread.
  EXPECT_TRUE(structure);
  EXPECT_FALSE(distribution);
}

// Back-to-back calls share one hand-off: none may be lost (the caller would
// hang), run twice or out of order, and each answer must reach its caller.
TEST(BlockingObserver, ManyCallsInARowRunOnceEachInOrder) {
  QObject context;
  TRecordingTarget target;
  Shell::TBlockingObserver observer(&context, &target);
  constexpr int calls = 5000;
  std::atomic<bool> finished{false};
  std::atomic<int> wrongAnswers{0};
  std::thread simulation([&] {
    for (int i = 0; i < calls; ++i) {
      observer.DrawUnit(i, 0, 0);
      bool s = false, d = true;
      observer.GetLiveViewFlags(s, d);
      if (!s || d)
        ++wrongAnswers;
    }
    finished = true;
  });
  // The window thread serves the calls as fast as they come, looking up
  // every 50 ms; a lost call would leave the caller waiting, which the time
  // limit turns into a failure.
  QEventLoop loop;
  QTimer lookUp;
  QObject::connect(&lookUp, &QTimer::timeout, &loop, &QEventLoop::quit);
  lookUp.start(50);
  QElapsedTimer elapsed;
  elapsed.start();
  while (!finished.load() && elapsed.elapsed() < 60000)
    loop.exec();
  ASSERT_TRUE(finished.load());
  simulation.join();
  const auto recorded = target.Calls();
  ASSERT_EQ(recorded.size(), 2u * calls);
  int outOfOrder = 0;
  for (int i = 0; i < calls; ++i)
    if (recorded[2 * i].Name != "DrawUnit" || recorded[2 * i].Value != i ||
        recorded[2 * i + 1].Name != "GetLiveViewFlags" || !recorded[2 * i].OnWindowThread)
      ++outOfOrder;
  EXPECT_EQ(outOfOrder, 0);
  EXPECT_EQ(wrongAnswers.load(), 0);
}

// An event of both live views crosses to the window thread once, and there
// the drawing and the distribution change run in that order.
TEST(BlockingObserver, AnEventOfBothViewsRunsBothPartsOnTheWindowThread) {
  QObject context;
  TRecordingTarget target;
  Shell::TBlockingObserver observer(&context, &target);
  std::atomic<bool> finished{false};
  std::thread simulation([&] {
    observer.DrawUnitAndShowChange(4, 2, 1, false);
    observer.DrawSegmentAndShowChanges(5, 6, 3, false);
    finished = true;
  });
  ASSERT_TRUE(WaitUntil([&] { return finished.load(); }, 10000));
  simulation.join();
  const auto calls = target.Calls();
  const std::vector<std::string> order{"DrawUnit", "ShowOneChainChange", "DrawSegment", "ShowTwoChainsChange"};
  ASSERT_EQ(calls.size(), order.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(calls[i].Name, order[i]);
    EXPECT_TRUE(calls[i].OnWindowThread) << calls[i].Name;
  }
  EXPECT_EQ(calls[0].Value, 4);
  EXPECT_EQ(calls[2].Value, 5);
}

TEST(BlockingObserver, OnTheWindowThreadItCallsDirectly) {
  QObject context;
  TRecordingTarget target;
  Shell::TBlockingObserver observer(&context, &target);
  observer.UpdateUserInterface(4);
  ASSERT_EQ(target.Calls().size(), 1u);
  EXPECT_EQ(target.Calls()[0].Value, 4);
}

TEST(BlockingObserver, AbandonReleasesAWaitingCallerAndTheCallNeverRunsLater) {
  QObject context;
  TRecordingTarget target;
  Shell::TBlockingObserver observer(&context, &target);
  std::atomic<bool> done{false};
  std::thread simulation([&] {
    observer.SimulationPaused();
    done = true;
  });
  // The window thread does not serve events here (as during shutdown).
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(done.load());
  observer.Abandon();
  simulation.join(); // returns: the wait was given up
  EXPECT_TRUE(done.load());
  QCoreApplication::processEvents();
  EXPECT_TRUE(target.Calls().empty());
  // Later calls do nothing at all.
  std::thread later([&] { observer.UpdateUserInterface(2); });
  later.join();
  QCoreApplication::processEvents();
  EXPECT_TRUE(target.Calls().empty());
}

TEST(BlockingObserver, ContextGoneMeansNoCalls) {
  TRecordingTarget target;
  auto context = std::make_unique<QObject>();
  Shell::TBlockingObserver observer(context.get(), &target);
  context.reset();
  std::thread simulation([&] { observer.UpdateUserInterface(1); });
  simulation.join();
  EXPECT_TRUE(target.Calls().empty());
}

} // namespace
