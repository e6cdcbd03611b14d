// The live views fed by real kernel runs: a living copolymerization with
// segment exchange and a free-radical copolymerization, run on this thread
// with an observer that calls the views directly. After the run the live
// picture must be what a full repaint paints.

#include "LiveViewsTestSupport.h"

#include "engine/uKernelRates.h"
#include "engine/uKernels.h"
#include "params/uParamFile.h"
#include "plots/uPaintBox.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

using namespace ViewsTest;
using Plots::TPaintBox;

namespace {

// Repaints the DP distribution only at the first check point, so that what
// the views show at the end comes from live painting alone.
class TKernelObserver : public TViewsObserver {
public:
  int Updates = 0;
  std::int64_t OneChainEvents = 0;
  std::int64_t TwoChainEvents = 0;
  std::int64_t StructureEvents = 0;

  void InitializePlots() override {
    Structure->PaintBoxPaint();
    Distribution->PaintBoxPaint();
  }
  void UpdateUserInterface(int checkPoint) override {
    ++Updates;
    RepaintAtCheckPoints = checkPoint == 1;
    TViewsObserver::UpdateUserInterface(checkPoint);
  }
  void DrawUnit(int c, int p, int k) override { ++StructureEvents, TViewsObserver::DrawUnit(c, p, k); }
  void DrawUnitStrided(int c, int p, int k) override {
    ++StructureEvents, TViewsObserver::DrawUnitStrided(c, p, k);
  }
  void DrawSegment(int a, int b, int l) override { ++StructureEvents, TViewsObserver::DrawSegment(a, b, l); }
  void DrawSegmentStrided(int a, int b, int l) override {
    ++StructureEvents, TViewsObserver::DrawSegmentStrided(a, b, l);
  }
  void ShowOneChainChange() override { ++OneChainEvents, TViewsObserver::ShowOneChainChange(); }
  void ShowTwoChainsChange() override { ++TwoChainEvents, TViewsObserver::ShowTwoChainsChange(); }
};

class KernelRun : public ::testing::Test {
protected:
  void SetUp() override {
    Structure = new Plots::TStructureForm(&Host);
    Distribution = new Plots::TDistributionForm(&Host);
    Structure->show();
    Distribution->show();
    QApplication::processEvents();
    Observer.Structure = Structure;
    Observer.Distribution = Distribution;
    Engine::TSimState& s = Engine::SimState();
    s.FreeAll();
    s.Observer = &Observer;
    s.FixedSeed = 2024;
    s.SetShowStructure(true);
    s.SetShowDistribution(true);
  }
  void TearDown() override {
    ReleaseStore();
    delete Structure;
    delete Distribution;
  }

  // Both views against full repaints of the final store.
  void ExpectLivePicturesExact() {
    const Engine::TSimState& s = Engine::SimState();
    // Microstructure: identical to a full repaint.
    const QImage live = Structure->PlotImage().copy();
    Structure->PaintBoxPaint();
    EXPECT_EQ(DifferentPixels(live, Structure->PlotImage()), 0);

    // DP distribution: every column shows trunc(n(x) q) with the scale of the
    // check-point repaint (cut at the picture's height).
    const QImage& bars = Distribution->PlotImage();
    const double q = Distribution->Scale().Q;
    const int H = bars.height();
    int wrong = 0, drawn = 0;
    for (int x = 1; x < bars.width() - 1; ++x) {
      int black = 0;
      for (int y = 1; y < H - 1; ++y) black += bars.pixelIndex(x, y) == TPaintBox::Black;
      const int expected = std::min(Plots::BarHeight(s.DPDistribution[static_cast<std::size_t>(x)], q), H - 2);
      wrong += black != expected;
      drawn += black > 0;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(drawn, 10);
  }

  TFakeHost Host;
  TKernelObserver Observer;
  Plots::TStructureForm* Structure = nullptr;
  Plots::TDistributionForm* Distribution = nullptr;
  Engine::TRunControl Control;
};

} // namespace

TEST_F(KernelRun, LivingCopolymerizationWithSegmentExchange) {
  // 300 chains, 30 000 A and 20 000 B; propagation of both monomers on every
  // kind of end and segment transfer between chains (the "c" keys).
  QTemporaryDir dir;
  const std::string path = dir.filePath("living.kpx").toStdString();
  {
    std::ofstream out(path, std::ios::binary);
    out << "[Propago\xAE Parameters File]\r\nFileValid=1\r\n[General]\r\nProcessType=0\r\n"
        << "[Components]\r\nMonomerAMolWeight=104.15\r\nMonomerBMolWeight=100.12\r\nInitiatorMolWeight=58.12\r\n"
        << "[SimulationParameters]\r\nInitiatorNumber=300\r\nMonomerANumber=30000\r\nMonomerBNumber=20000\r\n"
        << "[ChemicalRates]\r\nTimeInterval=0.01\r\n[SimulationRates]\r\n"
        << "I*A=1\r\nA*A=0.8\r\nB*A=0.3\r\nI*B=0.6\r\nA*B=0.5\r\nB*B=1\r\n"
        << "I*Ac=0.05\r\nA*Ac=0.02\r\nB*Ac=0.04\r\nI*Bc=0.03\r\nA*Bc=0.05\r\nB*Bc=0.01\r\n"
        << "[CheckingPoints]\r\n0=0\r\n1=20\r\n2=100\r\n3=300\r\n";
  }
  Params::TParameterFile file(path);
  Engine::TSimState& s = Engine::SimState();
  s.AllocateMemory(file);
  Engine::TSimRun run(s, file, Control);
  Engine::SimulateLiving(run);
  ASSERT_EQ(Observer.Updates, 3);
  // Both kinds of event reached the views.
  EXPECT_GT(Observer.OneChainEvents, 1000);
  EXPECT_GT(Observer.TwoChainEvents, 10);
  EXPECT_GT(Observer.StructureEvents, 1000);
  ExpectLivePicturesExact();
}

TEST_F(KernelRun, FreeRadicalCopolymerizationShowsSampledChains) {
  // 2000 initiator molecules (4000 chain slots), 400 000 A and B each.
  // Initiation 2 kd I = 4 radicals/s against termination ~n^2 kt gives about
  // 60 radicals; each adds about k M = 1e-5 x 8e5 = 8 units/s for a lifetime of
  // about 15 s: chains of roughly a hundred units, a third of the initiator
  // used by 400 s.
  Engine::TRunDescription desc;
  desc.ProcessType = Engine::ptFreeRadical;
  desc.InitiatorNumber = 2000;
  desc.MonomerANumber = 400000;
  desc.MonomerBNumber = 400000;
  desc.MonomerAMolWeight = 104.15;
  desc.MonomerBMolWeight = 100.12;
  desc.InitiatorMolWeight = 164.2;
  desc.CheckPointTime = {0, 100, 200, 400};
  Engine::TSimState& s = Engine::SimState();
  s.AllocateMemory(desc);
  Engine::TFreeRadicalRates rates;
  rates.kd = 1e-3;
  rates.f = 1;
  rates.kIA = rates.kIB = 1e-4;
  rates.kAA = rates.kBB = 1e-5;
  rates.kAB = rates.kBA = 5e-6;
  rates.kcAA = rates.kcAB = rates.kcBB = 1e-3;
  rates.kdAA = rates.kdAB = rates.kdBB = 1e-3;
  const Params::TParameterFile noFile("");
  Engine::TSimRun run(s, noFile, Control);
  Engine::SimulateFreeRadical(run, rates);
  ASSERT_EQ(Observer.Updates, 3);
  // 4000 expected chains over the chains' width: every step-th chain is shown.
  EXPECT_EQ(Structure->StructureChainStep(), Plots::StructureChainStepFor(4000, Structure->PaintBoxWidth()));
  EXPECT_GT(Structure->StructureChainStep(), 1);
  EXPECT_GT(Observer.TwoChainEvents, 10);  // recombinations
  EXPECT_GT(Observer.StructureEvents, 100);
  ExpectLivePicturesExact();
}
