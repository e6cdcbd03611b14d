#include "shell/uGuiObserver.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <mutex>

namespace Shell {

// One call is in flight at a time (the simulation thread waits for each), so
// the observer keeps a single hand-off and numbers the calls: a queued call
// runs only if it is still the one offered, so a call given up on at shutdown
// never runs later. The waiting side sleeps on the condition variable and is
// woken by the window thread as soon as the work is done; it wakes by itself
// only every 50 ms, to notice Abandon() when the event loop no longer runs.
// Every hand-off goes through the mutex, so the order is visible to the
// thread sanitizer (Qt's own locks are not instrumented); the window thread
// notifies after unlocking, so the simulation thread never wakes into a
// mutex still held.
struct TBlockingObserver::TChannel {
  std::mutex Mutex;
  std::condition_variable Done;
  std::atomic<bool> Abandoned{false};
  // Keeps a second calling thread (there is none in the program) from
  // overwriting the call in flight.
  std::mutex Callers;
  // Guarded by Mutex.
  std::uint64_t LastIssued = 0;
  std::uint64_t Offered = 0; // the call the simulation thread waits for, 0: none
  bool Started = false;      // the window thread has begun the offered work
  bool Finished = false;
  void (*Run)(void*) = nullptr;
  void* Work = nullptr;

  // On the window thread, for the queued call numbered `call`.
  void Serve(std::uint64_t call) {
    std::unique_lock<std::mutex> lock(Mutex);
    if (Offered != call || Started)
      return; // the simulation thread has stopped waiting for it
    Started = true;
    void (*run)(void*) = Run;
    void* work = Work;
    lock.unlock();
    if (!Abandoned.load())
      run(work);
    lock.lock();
    Finished = true;
    lock.unlock();
    Done.notify_one();
  }
};

TBlockingObserver::TBlockingObserver(QObject* context, Engine::TSimObserver* target)
    : FContext(context), FTarget(target), FChannel(std::make_shared<TChannel>()) {}

TBlockingObserver::~TBlockingObserver() { Abandon(); }

void TBlockingObserver::Abandon() { FChannel->Abandoned.store(true); }

bool TBlockingObserver::Abandoned() const { return FChannel->Abandoned.load(); }

bool TBlockingObserver::Call(std::function<void()> work) { return CallHere(work); }

bool TBlockingObserver::CallRef(void (*run)(void*), void* work) {
  if (FChannel->Abandoned.load())
    return false;
  QObject* context = FContext.data();
  if (!context)
    return false;
  if (QThread::currentThread() == context->thread()) {
    run(work);
    return true;
  }
  // Held for the whole wait: the channel stays valid even if the observer
  // were destroyed meanwhile.
  const std::shared_ptr<TChannel> shared = FChannel;
  TChannel& channel = *shared;
  std::lock_guard<std::mutex> oneAtATime(channel.Callers);
  std::unique_lock<std::mutex> lock(channel.Mutex);
  const std::uint64_t call = ++channel.LastIssued;
  channel.Offered = call;
  channel.Started = false;
  channel.Finished = false;
  channel.Run = run;
  channel.Work = work;
  lock.unlock();
  QMetaObject::invokeMethod(
      context, [shared, call] { shared->Serve(call); }, Qt::QueuedConnection);

  lock.lock();
  bool done = true;
  while (!channel.Finished) {
    if (channel.Done.wait_for(lock, std::chrono::milliseconds(50)) == std::cv_status::timeout &&
        channel.Abandoned.load() && !channel.Started) {
      // Not begun yet: withdrawn, so the window thread never runs it after
      // we have left (the work refers to this thread's stack). Work already
      // begun is waited for, as it will finish on its own.
      done = false;
      break;
    }
  }
  channel.Offered = 0;
  channel.Run = nullptr;
  channel.Work = nullptr;
  return done;
}

void TBlockingObserver::GetLiveViewFlags(bool& showStructure, bool& showDistribution) {
  bool s = false;
  bool d = false;
  CallHere([&] { FTarget->GetLiveViewFlags(s, d); });
  showStructure = s;
  showDistribution = d;
}

void TBlockingObserver::StructureFormResize() {
  CallHere([this] { FTarget->StructureFormResize(); });
}

void TBlockingObserver::InitializePlots() {
  CallHere([this] { FTarget->InitializePlots(); });
}

void TBlockingObserver::DisplaySimulSummary(int checkPoint) {
  CallHere([this, checkPoint] { FTarget->DisplaySimulSummary(checkPoint); });
}

void TBlockingObserver::UpdateUserInterface(int checkPoint) {
  CallHere([this, checkPoint] { FTarget->UpdateUserInterface(checkPoint); });
}

void TBlockingObserver::DrawUnit(int chain, int position, int kind) {
  CallHere([=, this] { FTarget->DrawUnit(chain, position, kind); });
}

void TBlockingObserver::DrawUnitStrided(int chain, int position, int kind) {
  CallHere([=, this] { FTarget->DrawUnitStrided(chain, position, kind); });
}

void TBlockingObserver::EraseUnit(int chain, int position) {
  CallHere([=, this] { FTarget->EraseUnit(chain, position); });
}

void TBlockingObserver::DrawSegment(int x, int y, int length) {
  CallHere([=, this] { FTarget->DrawSegment(x, y, length); });
}

void TBlockingObserver::DrawSegmentStrided(int x, int y, int length) {
  CallHere([=, this] { FTarget->DrawSegmentStrided(x, y, length); });
}

void TBlockingObserver::ShowOneChainChange() {
  CallHere([this] { FTarget->ShowOneChainChange(); });
}

void TBlockingObserver::ShowTwoChainsChange() {
  CallHere([this] { FTarget->ShowTwoChainsChange(); });
}

void TBlockingObserver::DrawUnitAndShowChange(int chain, int position, int kind, bool strided) {
  CallHere([=, this] { FTarget->DrawUnitAndShowChange(chain, position, kind, strided); });
}

void TBlockingObserver::DrawSegmentAndShowChanges(int to, int from, int length, bool strided) {
  CallHere([=, this] { FTarget->DrawSegmentAndShowChanges(to, from, length, strided); });
}

void TBlockingObserver::SimulationPaused() {
  CallHere([this] { FTarget->SimulationPaused(); });
}

void TBlockingObserver::ExecuteReturned() {
  if (FChannel->Abandoned.load())
    return;
  QObject* context = FContext.data();
  if (!context)
    return;
  Engine::TSimObserver* target = FTarget;
  QMetaObject::invokeMethod(
      context,
      [shared = FChannel, target] {
        if (!shared->Abandoned.load())
          target->ExecuteReturned();
      },
      Qt::QueuedConnection);
}

void TBlockingObserver::EndOfRunStatistics() { FTarget->EndOfRunStatistics(); }

void TBlockingObserver::SimulationEnded() { FTarget->SimulationEnded(); }

} // namespace Shell
