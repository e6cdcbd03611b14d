// Speed of the two live views: events per second of a run that changes the
// chain store through its operations while the DP distribution and the
// microstructure views are live.
//
//   Direct/*        the views called on the same thread (the cost of the
//                   views themselves: pixels and gathered screen updates)
//   Blocking/*      the run on its own thread, every event sent to the window
//                   thread through the desktop program's blocking observer
//                   (one hand-off per event, both views' share together)
//   Off/*           no live view: the store operations alone
//
// Each benchmark performs `events` propagation/recombination events on a
// free-radical store (PropagateStrided/RecombineStrided, every
// StructureChainStep-th chain shown) or an ATRP store (Propagate/Recombine,
// chains below 2047 shown).

#include "engine/uDataStruct.h"
#include "engine/uKernelRates.h"
#include "engine/uKernels.h"
#include "params/uParamFile.h"
#include "plots/uDistribForm.h"
#include "plots/uStructureForm.h"
#include "shell/uGuiObserver.h"

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>

namespace {

class TViews : public Engine::TSimObserver {
public:
  Plots::TStructureForm Structure;
  Plots::TDistributionForm Distribution;

  TViews() {
    Structure.resize(700, 500);
    Distribution.resize(700, 400);
    Structure.show();
    Distribution.show();
  }
  void StructureFormResize() override { Structure.StructureFormResize(); }
  void DrawUnit(int c, int p, int k) override { Structure.DrawUnit(c, p, k); }
  void DrawUnitStrided(int c, int p, int k) override { Structure.DrawUnitStrided(c, p, k); }
  void EraseUnit(int c, int p) override { Structure.EraseUnit(c, p); }
  void DrawSegment(int a, int b, int l) override { Structure.DrawSegment(a, b, l); }
  void DrawSegmentStrided(int a, int b, int l) override { Structure.DrawSegmentStrided(a, b, l); }
  void ShowOneChainChange() override { Distribution.ShowOneChainChange(); }
  void ShowTwoChainsChange() override { Distribution.ShowTwoChainsChange(); }
  void UpdateUserInterface(int) override {
    const Engine::TSimState& s = Engine::SimState();
    if (s.ShowDistribution()) Distribution.PaintBoxPaint();
    if (s.ShowStructure()) Structure.DrawGrid();
  }
};

// The desktop program's hand-off: every call runs on the window thread while
// the simulation thread waits for it.
struct TBlockingViews {
  explicit TBlockingViews(TViews& views) : Observer(&views.Distribution, &views) {}
  Shell::TBlockingObserver Observer;
};

TViews* GViews = nullptr;

void Prepare(std::uint8_t processType, int initiators) {
  Engine::TSimState& s = Engine::SimState();
  s.SetShowStructure(false);
  s.SetShowDistribution(false);
  s.FreeAll();
  s.Observer = GViews;
  s.FixedSeed = 1;
  Engine::TRunDescription run;
  run.ProcessType = processType;
  run.InitiatorNumber = initiators;
  run.MonomerANumber = 1 << 28;
  run.MonomerBNumber = 1 << 28;
  run.MonomerAMolWeight = run.MonomerBMolWeight = run.InitiatorMolWeight = 100;
  run.CheckPointTime = {0.0, 1.0};
  s.AllocateMemory(run);
  s.InitializeRun();
  GViews->Distribution.PaintBoxPaint();
  GViews->Structure.PaintBoxPaint();
}

// `events` events: mostly propagation, one recombination in 200.
void RunEvents(std::uint8_t processType, std::int64_t events, std::mt19937& rng) {
  Engine::TSimState& s = Engine::SimState();
  const int chains = s.ChainsNumber;
  for (std::int64_t e = 0; e < events; ++e) {
    const int a = 1 + static_cast<int>(rng() % static_cast<unsigned>(chains));
    if (rng() % 200 == 0) {
      const int b = 1 + static_cast<int>(rng() % static_cast<unsigned>(chains));
      if (a != b && s.ChainDP[a] + s.ChainDP[b] < 30000) {
        if (processType == Engine::ptFreeRadical)
          s.RecombineStrided(a, b);
        else
          s.Recombine(a, b);
      }
    } else if (s.ChainDP[a] < 30000) {
      const auto kind = static_cast<std::uint8_t>(rng() & 1);
      if (processType == Engine::ptFreeRadical)
        s.PropagateStrided(a, kind);
      else
        s.Propagate(a, kind);
    }
  }
}

constexpr std::int64_t EventsPerIteration = 200000;

void Direct(benchmark::State& state, std::uint8_t processType, int initiators, bool live) {
  Prepare(processType, initiators);
  Engine::SimState().SetShowStructure(live);
  Engine::SimState().SetShowDistribution(live);
  std::mt19937 rng(5);
  for (auto _ : state) {
    RunEvents(processType, EventsPerIteration, rng);
    // The gathered screen updates of the iteration, as the event loop would.
    QApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations() * EventsPerIteration);
  Engine::SimState().SetShowStructure(false);
  Engine::SimState().SetShowDistribution(false);
}

void Blocking(benchmark::State& state, std::uint8_t processType, int initiators, bool structure,
              bool distribution) {
  Prepare(processType, initiators);
  TBlockingViews forwarder(*GViews);
  Engine::SimState().Observer = &forwarder.Observer;
  Engine::SimState().SetShowStructure(structure);
  Engine::SimState().SetShowDistribution(distribution);
  std::mt19937 rng(5);
  const std::int64_t events = EventsPerIteration / 4;
  for (auto _ : state) {
    QEventLoop loop;
    std::atomic<bool> done{false};
    std::thread run([&] {
      RunEvents(processType, events, rng);
      done = true;
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    run.join();
  }
  state.SetItemsProcessed(state.iterations() * events);
  Engine::SimState().SetShowStructure(false);
  Engine::SimState().SetShowDistribution(false);
  Engine::SimState().Observer = GViews;
}

// Free radical: 50 000 initiators, 100 000 chain slots.
BENCHMARK_CAPTURE(Direct, FreeRadicalBothViews, Engine::ptFreeRadical, 50000, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Direct, FreeRadicalOff, Engine::ptFreeRadical, 50000, false)->Unit(benchmark::kMillisecond);
// ATRP-like store: 2000 chains, all below the display limit.
BENCHMARK_CAPTURE(Direct, LivingChainsBothViews, Engine::ptATRP, 2000, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Direct, LivingChainsOff, Engine::ptATRP, 2000, false)->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(Blocking, FreeRadicalBothViews, Engine::ptFreeRadical, 50000, true, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Blocking, FreeRadicalDistribution, Engine::ptFreeRadical, 50000, false, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Blocking, FreeRadicalStructure, Engine::ptFreeRadical, 50000, true, false)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Blocking, LivingChainsBothViews, Engine::ptATRP, 2000, true, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// Full repaints from the store, 100 000 chains (free radical, sampled) and
// 2000 long chains.
void FullRepaint(benchmark::State& state, std::uint8_t processType, int initiators) {
  Prepare(processType, initiators);
  std::mt19937 rng(9);
  RunEvents(processType, 3000000, rng);
  for (auto _ : state) {
    GViews->Structure.PaintBoxPaint();
    GViews->Distribution.PaintBoxPaint();
  }
}
BENCHMARK_CAPTURE(FullRepaint, FreeRadical100k, Engine::ptFreeRadical, 50000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FullRepaint, Living2000, Engine::ptATRP, 2000)->Unit(benchmark::kMillisecond);

// Whole kernel runs on their own thread, the window thread serving the
// blocking calls, as in the desktop program. Items are the kernel's events
// (reactions applied), per second of wall time.
//
// Living: 2000 chains, 300 000 A and 200 000 B, copolymerization with
// segment exchange, to 4000 s. Free radical: 20 000 initiator
// molecules (40 000 chain slots), 2 000 000 A and B each; kd = 1e-3 1/s, f = 1,
// propagation 1e-6 per radical and monomer, termination 1e-4 per pair, to
// 150 s (about 800 000 events).
void KernelRun(benchmark::State& state, std::uint8_t processType, bool structure, bool distribution) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("living.kpx").toStdString();
  {
    std::ofstream out(path, std::ios::binary);
    out << "[Propago\xAE Parameters File]\r\nFileValid=1\r\n[General]\r\nProcessType=0\r\n"
        << "[Components]\r\nMonomerAMolWeight=104.15\r\nMonomerBMolWeight=100.12\r\nInitiatorMolWeight=58.12\r\n"
        << "[SimulationParameters]\r\nInitiatorNumber=2000\r\nMonomerANumber=300000\r\nMonomerBNumber=200000\r\n"
        << "[ChemicalRates]\r\nTimeInterval=0.01\r\n[SimulationRates]\r\n"
        << "I*A=1\r\nA*A=0.8\r\nB*A=0.3\r\nI*B=0.6\r\nA*B=0.5\r\nB*B=1\r\n"
        << "I*Ac=0.005\r\nA*Ac=0.002\r\nB*Ac=0.004\r\nI*Bc=0.003\r\nA*Bc=0.005\r\nB*Bc=0.001\r\n"
        << "[CheckingPoints]\r\n0=0\r\n1=1000\r\n2=2000\r\n3=4000\r\n";
  }
  const Params::TParameterFile livingFile(path);
  const Params::TParameterFile noFile("");
  Engine::TRunDescription fr;
  fr.ProcessType = Engine::ptFreeRadical;
  fr.InitiatorNumber = 20000;
  fr.MonomerANumber = fr.MonomerBNumber = 2000000;
  fr.MonomerAMolWeight = fr.MonomerBMolWeight = fr.InitiatorMolWeight = 100;
  fr.CheckPointTime = {0, 50, 100, 150};
  Engine::TFreeRadicalRates rates;
  rates.kd = 1e-3;
  rates.f = 1;
  rates.kIA = rates.kIB = 1e-5;
  rates.kAA = rates.kBB = rates.kAB = rates.kBA = 1e-6;
  rates.kcAA = rates.kcAB = rates.kcBB = rates.kdAA = rates.kdAB = rates.kdBB = 1e-4;

  TBlockingViews forwarder(*GViews);
  Engine::TSimState& s = Engine::SimState();
  std::uint64_t events = 0;
  for (auto _ : state) {
    s.SetShowStructure(false);
    s.SetShowDistribution(false);
    s.FreeAll();
    s.Observer = &forwarder.Observer;
    s.FixedSeed = 77;
    Engine::TRunControl control;
    QEventLoop loop;
    std::thread run([&] {
      const Params::TParameterFile& file = processType == Engine::ptLiving ? livingFile : noFile;
      if (processType == Engine::ptLiving)
        s.AllocateMemory(file);
      else
        s.AllocateMemory(fr);
      s.SetShowStructure(structure);
      s.SetShowDistribution(distribution);
      Engine::TSimRun simRun(s, file, control);
      if (processType == Engine::ptLiving)
        Engine::SimulateLiving(simRun);
      else
        Engine::SimulateFreeRadical(simRun, rates);
      events += simRun.Events();
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    run.join();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(events));
  state.counters["events"] = static_cast<double>(events) / static_cast<double>(state.iterations());
  s.SetShowStructure(false);
  s.SetShowDistribution(false);
  s.Observer = GViews;
}

BENCHMARK_CAPTURE(KernelRun, LivingOff, Engine::ptLiving, false, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(KernelRun, LivingStructure, Engine::ptLiving, true, false)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(KernelRun, LivingDistribution, Engine::ptLiving, false, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(KernelRun, LivingBothViews, Engine::ptLiving, true, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(KernelRun, FreeRadicalOff, Engine::ptFreeRadical, false, false)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(KernelRun, FreeRadicalStructure, Engine::ptFreeRadical, true, false)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(KernelRun, FreeRadicalDistribution, Engine::ptFreeRadical, false, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(KernelRun, FreeRadicalBothViews, Engine::ptFreeRadical, true, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  TViews views;
  GViews = &views;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Engine::SimState().Observer = nullptr;
  Engine::SimState().FreeAll();
  return 0;
}
