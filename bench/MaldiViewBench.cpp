// MALDI spectra of an ATRP styrene-MMA product: the whole recalculation up to
// m/z 5000 and 12000 (four table files from libMaldi.so, counting, curves),
// and its parts; with the desktop program built, the same recalculation in
// the MALDI window (library on its worker thread, four curves of 50001 points
// set and drawn offscreen). The window must finish the m/z 5000 case in
// under 2 s.

#include "engine/uDataStruct.h"
#include "maldiview/uMALDISpectrum.h"
#include "params/uParamFile.h"
#include "shell/uMaldiBinding.h"

#ifdef MALDIVIEW_BENCH_WINDOW
#include "maldiview/uMALDIForm.h"
#include "plots/uPlotHost.h"

#include <QApplication>
#include <QDialog>
#endif

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// 100000 chains of styrene (A) and MMA (B), DP 1 … 120, a third still capped
// by bromine, a sixth recombined; the rest dead by disproportionation.
struct TProduct {
  fs::path Folder;
  std::string FileName;
  TProduct() {
    Folder = fs::temp_directory_path() / ("propagon-maldiview-bench-" + std::to_string(::getpid()));
    fs::create_directories(Folder);
    FileName = (Folder / "atrp.kpx").string();
    std::ofstream(FileName) << "[Components]\nInitiatorFormula=C8H9Br\nInitiatorAttachedGroup=C8H9\n"
                               "MonomerAFormula=C8H8\nMonomerBFormula=C5H8O2\n";
    Engine::TSimState& s = Engine::SimState();
    s.FreeAll();
    Engine::TRunDescription run;
    run.ProcessType = Engine::ptATRP;
    run.InitiatorNumber = 100000;
    run.MonomerANumber = 1;
    run.MonomerAMolWeight = 104.1491;
    run.MonomerBMolWeight = 100.1158;
    run.CheckPointTime = {0.0, 1.0};
    s.AllocateMemory(run);
    for (std::int32_t c = 1; c <= s.ChainsNumber; ++c) {
      const std::int32_t dp = 1 + (c * 7919) % 120;
      s.ChainDP[static_cast<std::size_t>(c)] = static_cast<std::uint16_t>(dp);
      s.ChainUnits[c][0] = c % 6 == 0 ? 2 : 0;
      for (std::int32_t p = 1; p <= dp; ++p)
        s.ChainUnits[c][p] = (c + p) % 3 == 0 ? Engine::UnitB : Engine::UnitA;
      s.ChainLiving[static_cast<std::size_t>(c)] = c % 3 == 1 ? 1 : 0;
    }
  }
  ~TProduct() {
    Engine::SimState().FreeAll();
    std::error_code ignored;
    fs::remove_all(Folder, ignored);
  }
};

TProduct& Product() {
  static TProduct product;
  return product;
}

void Recalculate(benchmark::State& state, const char* upper) {
  Shell::TMaldiBinding binding;
  binding.CheckMALDILibrary(MALDI_LIBRARY_FILE);
  const Params::TParameterFile file(Product().FileName);
  MaldiView::TMALDISpectrum spectrum;
  spectrum.TempDir = Product().Folder.string() + "/";
  spectrum.Cation = "Na";
  spectrum.UpperLimit = upper;
  std::string error;
  for (auto _ : state) {
    if (!spectrum.Calculate(binding, file, Engine::SimState(), error))
      state.SkipWithError(error.c_str());
  }
  state.counters["n"] = spectrum.N;
  state.counters["curves"] = static_cast<double>(spectrum.ActiveCurves().size());
}

void BM_RecalculateUpTo5000(benchmark::State& state) { Recalculate(state, "5000"); }
void BM_RecalculateUpTo12000(benchmark::State& state) { Recalculate(state, "12000"); }

void BM_PrepareABDistribution(benchmark::State& state) {
  MaldiView::TCountTables tables;
  Product();
  for (auto _ : state)
    MaldiView::PrepareABDistribution(Engine::SimState(), 50, tables);
}

BENCHMARK(BM_RecalculateUpTo5000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RecalculateUpTo12000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_PrepareABDistribution)->Unit(benchmark::kMillisecond);

#ifdef MALDIVIEW_BENCH_WINDOW
class TBenchHost : public Plots::TPlotHost {
public:
  std::unique_ptr<Params::TParameterFile> File;
  const Params::TParameterFile* RunParameterFile() const override { return File.get(); }
};

void BM_WindowRecalculateUpTo5000(benchmark::State& state) {
  Shell::TMaldiBinding binding;
  binding.CheckMALDILibrary(MALDI_LIBRARY_FILE);
  Shell::TMaldiBinding* previous = Shell::SetActiveMaldiBinding(&binding);
  TBenchHost host;
  host.File = std::make_unique<Params::TParameterFile>(Product().FileName);
  Engine::SimState().MassHistogram.Begin(5001.0);
  Engine::SimState().MassHistogram.Finish();
  MaldiView::TMALDIForm form(&host);
  form.Spectrum().TempDir = Product().Folder.string() + "/";
  form.resize(1000, 600);
  form.show();
  form.SetSettingsDialogRunner([](MaldiView::TMALDIForm& f) {
    f.SetUpperLimit(QStringLiteral("5000"));
    f.SetCation(QStringLiteral("Na+"));
    return int(QDialog::Accepted);
  });
  for (auto _ : state) {
    if (!form.aRecalcMALDIExecute())
      state.SkipWithError("no spectrum");
    form.repaint(); // the chart drawn as the user sees it
  }
  Shell::SetActiveMaldiBinding(previous);
}
BENCHMARK(BM_WindowRecalculateUpTo5000)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

} // namespace

int main(int argc, char** argv) {
#ifdef MALDIVIEW_BENCH_WINDOW
  if (!std::getenv("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
#endif
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
