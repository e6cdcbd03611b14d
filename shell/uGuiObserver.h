#pragma once
// The desktop program's side of the engine's observer.
//
// The simulation thread calls an Engine::TSimObserver; the windows may only be
// touched on the window thread. TBlockingObserver forwards every call to a
// target observer that lives on the window thread, as a queued call, and lets
// the simulation thread wait until the window thread has run it. While it
// waits, the simulation state does not change, so the target may read the
// chain store during the call (the contract of engine/uSimObserver.h). Called
// on the window thread itself, it calls the target directly.
//
// Why this cannot deadlock: the window thread never waits for the simulation
// thread. Stop only sets the run's termination flag and returns to the event
// loop, which goes on serving the queued calls; the end of the run is handled
// when the run reports it (ExecuteReturned), not by joining. So a call the
// simulation thread waits for is always served, Stop or not, and it is not
// given up on Stop: the last check point of a stopped run still reaches the
// charts. The one exception is shutdown:
// Abandon() releases every waiting call without running it (and any call
// made afterwards returns at once), so the window thread may then join the
// simulation thread safely.
//
// Threading: the forwarding methods are called on the simulation thread;
// Abandon() on the window thread.

#include "engine/uSimObserver.h"

#include <QPointer>

#include <functional>
#include <memory>
#include <type_traits>

class QObject;

namespace Shell {

class TBlockingObserver : public Engine::TSimObserver {
public:
  // `context` lives on the window thread and carries the queued calls;
  // `target` is called there.
  TBlockingObserver(QObject* context, Engine::TSimObserver* target);
  ~TBlockingObserver() override;

  void GetLiveViewFlags(bool& showStructure, bool& showDistribution) override;
  void StructureFormResize() override;
  void InitializePlots() override;
  void DisplaySimulSummary(int checkPoint) override;
  void UpdateUserInterface(int checkPoint) override;
  void DrawUnit(int chain, int position, int kind) override;
  void DrawUnitStrided(int chain, int position, int kind) override;
  void EraseUnit(int chain, int position) override;
  void DrawSegment(int x, int y, int length) override;
  void DrawSegmentStrided(int x, int y, int length) override;
  void ShowOneChainChange() override;
  void ShowTwoChainsChange() override;
  // One hand-off for both live views' share of an event.
  void DrawUnitAndShowChange(int chain, int position, int kind, bool strided) override;
  void DrawSegmentAndShowChanges(int to, int from, int length, bool strided) override;
  // Blocking like the calls above: the run is held at its pause gate.
  void SimulationPaused() override;
  // Must not wait: queues the target's ExecuteReturned to the window thread,
  // behind every log line and call the run has queued before.
  void ExecuteReturned() override;
  // Already on the window thread (inside OnSimulationEnd): direct calls.
  void EndOfRunStatistics() override;
  void SimulationEnded() override;

  // Releases waiting calls and turns later calls into no-ops (shutdown).
  void Abandon();
  bool Abandoned() const;

  // Runs `work` on the window thread and waits for it (directly when already
  // there). Returns false when the call was abandoned instead.
  bool Call(std::function<void()> work);

private:
  // The hand-off shared with the queued calls (which may outlive the observer).
  struct TChannel;

  // The per-event calls come here: the work is referred to, not copied, as
  // the caller waits for it anyway.
  template <class F>
  bool CallHere(F&& work) {
    return CallRef(
        [](void* w) { (*static_cast<std::remove_reference_t<F>*>(w))(); },
        const_cast<void*>(static_cast<const void*>(&work)));
  }
  bool CallRef(void (*run)(void*), void* work);

  QPointer<QObject> FContext;
  Engine::TSimObserver* FTarget;
  std::shared_ptr<TChannel> FChannel;
};

} // namespace Shell
