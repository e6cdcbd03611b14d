#include "shell/uGuiObserver.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace Shell {

namespace {

// One queued call: the window thread runs it unless it was abandoned, then
// signals the waiting simulation thread.
struct TPendingCall {
  std::mutex Mutex;
  std::condition_variable Done;
  bool Started = false;   // the window thread has begun the work
  bool Finished = false;
  bool Cancelled = false; // the simulation thread has stopped waiting
};

} // namespace

TBlockingObserver::TBlockingObserver(QObject* context, Engine::TSimObserver* target)
    : FContext(context), FTarget(target), FAbandoned(std::make_shared<std::atomic<bool>>(false)) {}

TBlockingObserver::~TBlockingObserver() { Abandon(); }

void TBlockingObserver::Abandon() { FAbandoned->store(true); }

bool TBlockingObserver::Call(std::function<void()> work) {
  if (FAbandoned->load())
    return false;
  QObject* context = FContext.data();
  if (!context)
    return false;
  if (QThread::currentThread() == context->thread()) {
    work();
    return true;
  }
  auto pending = std::make_shared<TPendingCall>();
  auto abandoned = FAbandoned;
  // The hand-off goes through the call's own mutex as well as through Qt's
  // event queue: the queue orders it, the mutex makes the order visible to
  // the thread sanitizer (Qt's own locks are not instrumented).
  {
    std::lock_guard<std::mutex> handOff(pending->Mutex);
    QMetaObject::invokeMethod(
        context,
        [pending, abandoned, work = std::move(work)] {
          {
            std::lock_guard<std::mutex> lock(pending->Mutex);
            if (pending->Cancelled)
              return; // the simulation thread has stopped waiting for it
            pending->Started = true;
          }
          if (!abandoned->load())
            work();
          std::lock_guard<std::mutex> lock(pending->Mutex);
          pending->Finished = true;
          pending->Done.notify_all();
        },
        Qt::QueuedConnection);
  }

  // Wait in slices so that an Abandon() during shutdown (when the event loop
  // may no longer run) frees the simulation thread.
  std::unique_lock<std::mutex> lock(pending->Mutex);
  while (!pending->Finished) {
    if (pending->Done.wait_for(lock, std::chrono::milliseconds(50)) == std::cv_status::timeout &&
        FAbandoned->load() && !pending->Started) {
      // Not begun yet: mark it so the window thread never runs it after we
      // have left (the work refers to this thread's stack). Work already
      // begun is waited for, as it will finish on its own.
      pending->Cancelled = true;
      return false;
    }
  }
  return true;
}

void TBlockingObserver::GetLiveViewFlags(bool& showStructure, bool& showDistribution) {
  bool s = false;
  bool d = false;
  Call([&] { FTarget->GetLiveViewFlags(s, d); });
  showStructure = s;
  showDistribution = d;
}

void TBlockingObserver::StructureFormResize() {
  Call([this] { FTarget->StructureFormResize(); });
}

void TBlockingObserver::InitializePlots() {
  Call([this] { FTarget->InitializePlots(); });
}

void TBlockingObserver::DisplaySimulSummary(int checkPoint) {
  Call([this, checkPoint] { FTarget->DisplaySimulSummary(checkPoint); });
}

void TBlockingObserver::UpdateUserInterface(int checkPoint) {
  Call([this, checkPoint] { FTarget->UpdateUserInterface(checkPoint); });
}

void TBlockingObserver::DrawUnit(int chain, int position, int kind) {
  Call([=, this] { FTarget->DrawUnit(chain, position, kind); });
}

void TBlockingObserver::DrawUnitStrided(int chain, int position, int kind) {
  Call([=, this] { FTarget->DrawUnitStrided(chain, position, kind); });
}

void TBlockingObserver::EraseUnit(int chain, int position) {
  Call([=, this] { FTarget->EraseUnit(chain, position); });
}

void TBlockingObserver::DrawSegment(int x, int y, int length) {
  Call([=, this] { FTarget->DrawSegment(x, y, length); });
}

void TBlockingObserver::DrawSegmentStrided(int x, int y, int length) {
  Call([=, this] { FTarget->DrawSegmentStrided(x, y, length); });
}

void TBlockingObserver::ShowOneChainChange() {
  Call([this] { FTarget->ShowOneChainChange(); });
}

void TBlockingObserver::ShowTwoChainsChange() {
  Call([this] { FTarget->ShowTwoChainsChange(); });
}

void TBlockingObserver::SimulationPaused() {
  Call([this] { FTarget->SimulationPaused(); });
}

void TBlockingObserver::ExecuteReturned() {
  if (FAbandoned->load())
    return;
  QObject* context = FContext.data();
  if (!context)
    return;
  auto abandoned = FAbandoned;
  Engine::TSimObserver* target = FTarget;
  QMetaObject::invokeMethod(
      context,
      [abandoned, target] {
        if (!abandoned->load())
          target->ExecuteReturned();
      },
      Qt::QueuedConnection);
}

void TBlockingObserver::EndOfRunStatistics() { FTarget->EndOfRunStatistics(); }

void TBlockingObserver::SimulationEnded() { FTarget->SimulationEnded(); }

} // namespace Shell
