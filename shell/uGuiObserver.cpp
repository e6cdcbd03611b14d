#include "shell/uGuiObserver.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <mutex>
#include <thread>

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
//
// Live views make a call per event, microseconds apart. A thread that goes
// to sleep between two of them must be woken for the next one, and on a
// virtual machine whose idle processors halt that wake-up alone takes tens
// of microseconds, ten times the work. So both sides look for the other a
// little while before they sleep: the simulation thread for the end of its
// call, the window thread, once it has served a call, for the next one,
// which it then serves at once (the queued call for it finds it taken). The
// window thread goes back to its event loop after a few milliseconds of
// calls in a row, so painting, input and Stop are never held up for long.
namespace {
using TClock = std::chrono::steady_clock;
// How long the simulation thread looks for the end of its call before it
// sleeps, and the window thread for a next call before it returns.
constexpr auto SimulationSpin = std::chrono::microseconds(60);
constexpr auto WindowSpin = std::chrono::microseconds(150);
// Calls served in a row before the window thread returns to its event loop.
constexpr auto WindowBatch = std::chrono::milliseconds(4);

// Gives way while looking: should both threads share one processor, the one
// looked for gets to run at once instead of at the end of a time slice.
inline void CpuRelax() { std::this_thread::yield(); }
} // namespace

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
  void (*Run)(void*) = nullptr;
  void* Work = nullptr;
  // Written under Mutex; read without it by the sides looking for each other.
  std::atomic<bool> Finished{false};
  std::atomic<std::uint64_t> Pending{0}; // the last call offered

  // On the window thread, for the queued call numbered `call`; then for the
  // calls that follow it closely.
  void Serve(std::uint64_t call) {
    if (!ServeOne(call))
      return; // the simulation thread has stopped waiting for it
    const TClock::time_point batchEnd = TClock::now() + WindowBatch;
    TClock::time_point idleEnd = TClock::now() + WindowSpin;
    while (!Abandoned.load(std::memory_order_relaxed)) {
      const std::uint64_t next = Pending.load(std::memory_order_acquire);
      if (next != call) {
        call = next;
        ServeOne(call);
        const TClock::time_point now = TClock::now();
        if (now >= batchEnd)
          return;
        idleEnd = now + WindowSpin;
        continue;
      }
      if (TClock::now() >= idleEnd)
        return;
      CpuRelax();
    }
  }

  // Runs the offered call if it is `call` and nobody has begun it.
  bool ServeOne(std::uint64_t call) {
    std::unique_lock<std::mutex> lock(Mutex);
    if (Offered != call || Started)
      return false;
    Started = true;
    void (*run)(void*) = Run;
    void* work = Work;
    lock.unlock();
    if (!Abandoned.load())
      run(work);
    lock.lock();
    Finished.store(true, std::memory_order_release);
    lock.unlock();
    Done.notify_one();
    return true;
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
  channel.Finished.store(false, std::memory_order_relaxed);
  channel.Run = run;
  channel.Work = work;
  lock.unlock();
  channel.Pending.store(call, std::memory_order_release);
  QMetaObject::invokeMethod(
      context, [shared, call] { shared->Serve(call); }, Qt::QueuedConnection);

  // A short look before sleeping: a quick call is over before a sleeping
  // thread could even have been woken.
  const TClock::time_point spinEnd = TClock::now() + SimulationSpin;
  while (!channel.Finished.load(std::memory_order_acquire) && TClock::now() < spinEnd)
    CpuRelax();
  lock.lock();
  bool done = true;
  while (!channel.Finished.load(std::memory_order_relaxed)) {
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
