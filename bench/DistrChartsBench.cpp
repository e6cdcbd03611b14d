// How long a track-bar move of the molar-mass distribution chart and of the
// SEC trace takes, the redraw included, for mass histograms reaching
// 10^4, 10^5 and 10^6 g/mol; and the two computations alone.
//
// The histograms are those of a most-probable distribution of 10^6 chains
// of a 100 g/mol monomer with Mn a twentieth of the heaviest mass, written
// straight into the simulation state. The windows are shown offscreen at
// 600 x 420 pixels; a move is the track bar's valueChanged (recalculation
// and the first redraw) plus the event processing that paints the markers.
//
// Run: QT_QPA_PLATFORM=offscreen bin/distr_charts_bench

#include "engine/uDataStruct.h"
#include "plots/calc/uMassDistrCalc.h"
#include "plots/calc/uSECTrace.h"
#include "plots/uMassDistrForm.h"
#include "plots/uSEC_Broadened.h"

#include <QApplication>
#include <QSlider>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>

namespace {

// A state that passes the windows' guards, with histograms up to `top` g/mol.
void FillState(std::size_t top) {
  Engine::TSimState& s = Engine::SimState();
  s.FreeAll();
  s.ChainsNumber = 1000000;
  s.CheckPointsHigh = 1;
  s.CPInitiator.assign(2, s.ChainsNumber);
  s.DPDistribution.assign(Engine::MaxDP + 1, 0);
  s.DPDistribution[0] = 1;
  const std::size_t bins = top + 100;
  s.MassHistogram.Begin(static_cast<double>(bins));
  const double dpn = static_cast<double>(top) / 100.0 / 20.0;
  const double p = 1.0 - 1.0 / dpn;
  double s0 = 0, s1 = 0, s2 = 0;
  for (std::size_t n = 1; n * 100 <= top; ++n) {
    const double chains = std::round(1e6 * (1.0 - p) * std::pow(p, static_cast<double>(n - 1)));
    const double m = 100.0 * static_cast<double>(n);
    if (chains > 0.0)
      s.MassHistogram.Bins.push_back(Engine::TMassBin{m, chains, chains * m});
    s0 += chains;
    s1 += chains * m;
    s2 += chains * m * m;
  }
  s.Mn = s1 / s0;
  s.Mw = s2 / s1;
  s.NeedsAggregation = true;
}

void BM_MassDistrTrackBarMove(benchmark::State& bench) {
  FillState(static_cast<std::size_t>(bench.range(0)));
  Plots::TMassDistrChartForm form;
  form.resize(600, 420);
  form.show();
  form.CalcSmoothDistributions();
  QApplication::processEvents();
  int width = 21;
  for (auto _ : bench) {
    width = width == 21 ? 23 : 21;
    form.ResolutionTrackBar->setValue(width);
    QApplication::processEvents();
  }
  Engine::SimState().FreeAll();
}
BENCHMARK(BM_MassDistrTrackBarMove)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_SECTrackBarMove(benchmark::State& bench) {
  FillState(static_cast<std::size_t>(bench.range(0)));
  Plots::TSECPlot form;
  form.resize(600, 420);
  form.show();
  form.CalculateSEC(); // aggregates once
  QApplication::processEvents();
  int position = 100;
  for (auto _ : bench) {
    position = position == 100 ? 101 : 100;
    form.BroadeningTrackBar->setValue(position);
    QApplication::processEvents();
  }
  Engine::SimState().FreeAll();
}
BENCHMARK(BM_SECTrackBarMove)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The computations without any window.
void BM_SmoothDistributions(benchmark::State& bench) {
  FillState(static_cast<std::size_t>(bench.range(0)));
  const Engine::TMassHistogram& h = Engine::SimState().MassHistogram;
  std::vector<double> number(static_cast<std::size_t>(h.AxisLength), 0.0), weight(number.size(), 0.0);
  for (const Engine::TMassBin& bin : h.Bins) {
    number[static_cast<std::size_t>(bin.Mass)] = bin.Number;
    weight[static_cast<std::size_t>(bin.Mass)] = bin.Weight;
  }
  std::vector<double> sn, sw;
  for (auto _ : bench) {
    Plots::SmoothDistributions(number, weight, 21, sn, sw);
    benchmark::DoNotOptimize(sn.data());
  }
  Engine::SimState().FreeAll();
}
BENCHMARK(BM_SmoothDistributions)->Arg(1000000)->Unit(benchmark::kMillisecond);

// What the window computes per move when the state may be read: its copy of
// the histograms, then the smoothing.
void BM_TakeAndSmooth(benchmark::State& bench) {
  FillState(static_cast<std::size_t>(bench.range(0)));
  Plots::TMassDistrCalc calc;
  int width = 21;
  for (auto _ : bench) {
    width = width == 21 ? 23 : 21;
    calc.TakeHistograms(Engine::SimState());
    calc.Smooth(width);
    benchmark::DoNotOptimize(calc.SN().data());
  }
  Engine::SimState().FreeAll();
}
BENCHMARK(BM_TakeAndSmooth)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_AggregateMasses(benchmark::State& bench) {
  FillState(static_cast<std::size_t>(bench.range(0)));
  const Engine::TSimState& s = Engine::SimState();
  Plots::TSECTrace trace;
  for (auto _ : bench)
    benchmark::DoNotOptimize(trace.AggregateMasses(s.MassHistogram.Bins));
  Engine::SimState().FreeAll();
}
BENCHMARK(BM_AggregateMasses)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_Broaden(benchmark::State& bench) {
  FillState(1000000);
  const Engine::TSimState& s = Engine::SimState();
  Plots::TSECTrace trace;
  trace.AggregateMasses(s.MassHistogram.Bins);
  int position = 100;
  for (auto _ : bench) {
    // A new width every time: the Gaussian weights are recomputed too.
    position = position == 100 ? 101 : 100;
    benchmark::DoNotOptimize(trace.Broaden(Plots::BroadeningSigma(position)));
  }
  Engine::SimState().FreeAll();
}
BENCHMARK(BM_Broaden)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
