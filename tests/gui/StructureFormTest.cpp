// Chain microstructure view: layout and sampling step, full repaint, live
// painting against the full repaint, enlarged mode with the run's pause,
// colours, magnification, picture and printout.

#include "LiveViewsTestSupport.h"

#include "plots/uPaintBox.h"

#include <QClipboard>
#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

using namespace ViewsTest;
using Plots::TPaintBox;
using Plots::TStructureForm;

namespace {

constexpr int White = TPaintBox::White;
constexpr int Black = TPaintBox::Black;
constexpr int ColorA = TPaintBox::FirstFreeColor;
constexpr int ColorB = TPaintBox::FirstFreeColor + 1;

class StructureView : public ::testing::Test {
protected:
  void SetUp() override { Create(); }
  void TearDown() override {
    ReleaseStore();
    CloseMessageBoxes();
    delete Form;
  }
  void Create() {
    delete Form;
    Form = new TStructureForm(&Host);
    Form->show();
    QApplication::processEvents();
    Observer.Structure = Form;
  }
  // Widens or narrows the window until the chains' area is `width` pixels.
  void SetPaintWidth(int width) {
    for (int attempt = 0; attempt < 3 && Form->PaintBoxWidth() != width; ++attempt) {
      Form->resize(Form->width() + width - Form->PaintBoxWidth(), Form->height());
      QApplication::processEvents();
    }
    ASSERT_EQ(Form->PaintBoxWidth(), width);
  }
  int Pixel(int x, int y) const { return Form->PlotImage().pixelIndex(x, y); }

  TFakeHost Host;
  TViewsObserver Observer;
  TStructureForm* Form = nullptr;
};

} // namespace

TEST_F(StructureView, SamplingStepFromExpectedChainsAndWidth) {
  SetPaintWidth(449);
  Form->SetExpectedChainsN(2047);
  // 2047 div 449 = 4; the store gets the same step for the free-radical kernel.
  EXPECT_EQ(Form->StructureChainStep(), 4);
  EXPECT_EQ(Engine::SimState().StructureChainStep.load(), 4);
  Form->SetExpectedChainsN(100);
  EXPECT_EQ(Form->StructureChainStep(), 1);
  // A free-radical store brings its own expected count: 10000 div 449 = 22.
  PrepareStore(Engine::ptFreeRadical, 3000, &Observer, 10000);
  EXPECT_EQ(Form->ExpectedChainsN(), 10000);
  EXPECT_EQ(Form->StructureChainStep(), 22);
  // Without ExpectedChainsN the run's chain count: 2 x 3000 = 6000, 6000 div 449 = 13.
  PrepareStore(Engine::ptFreeRadical, 3000, &Observer);
  EXPECT_EQ(Form->StructureChainStep(), 13);
}

TEST_F(StructureView, ExpectedChainsReadFromTheOpenParameterFileAtCreation) {
  EXPECT_EQ(Form->ExpectedChainsN(), 2047);  // no file open: the default
  Host.FileName = "/tmp/run.kpx";
  Host.Expected = 5000;
  Create();
  EXPECT_EQ(Form->ExpectedChainsN(), 5000);
}

TEST_F(StructureView, ChainsAsColumnsWithGridEveryHundredUnits) {
  PrepareStore(Engine::ptATRP, 20, &Observer);
  Engine::TSimState& s = Engine::SimState();
  // Chain 3: 250 units alternating A A B; chain 5: 2 units B.
  for (int j = 1; j <= 250; ++j) s.Propagate(3, j % 3 == 0 ? 1 : 0);
  s.Propagate(5, 1);
  s.Propagate(5, 1);
  Form->PaintBoxPaint();
  // Unit j of chain 3 at pixel (3, j), except on the grid lines 100 and 200.
  EXPECT_EQ(Pixel(3, 1), ColorA);
  EXPECT_EQ(Pixel(3, 3), ColorB);
  EXPECT_EQ(Pixel(3, 99), ColorB);   // 99 = 3 x 33
  EXPECT_EQ(Pixel(3, 100), Black);   // grid line crosses the chain
  EXPECT_EQ(Pixel(3, 101), ColorA);
  EXPECT_EQ(Pixel(3, 200), Black);
  EXPECT_EQ(Pixel(3, 250), ColorA);  // 250 is not a multiple of 3
  EXPECT_EQ(Pixel(3, 251), White);
  EXPECT_EQ(Pixel(5, 2), ColorB);
  EXPECT_EQ(Pixel(5, 3), White);
  EXPECT_EQ(Pixel(4, 1), White);
  // Frame.
  EXPECT_EQ(Pixel(0, 50), Black);
  EXPECT_EQ(Pixel(10, 0), Black);
  EXPECT_EQ(Pixel(Form->PlotImage().width() - 1, 50), Black);
  EXPECT_EQ(Form->PlotImage().height(), TStructureForm::NormalPlotHeight);
}

// Live painting with a short run of store operations, then the grid that the
// run draws at its check point: must equal a full repaint.
TEST_F(StructureView, LivePaintingEqualsFullRepaintForUnitsAndSegments) {
  PrepareStore(Engine::ptATRP, 700, &Observer);  // more chains than columns
  Engine::TSimState& s = Engine::SimState();
  Form->PaintBoxPaint();
  s.SetShowStructure(true);
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> pick(1, 700);
  for (int event = 0; event < 60000; ++event) {
    const int a = pick(rng);
    if (rng() % 50 == 0) {
      const int b = pick(rng);
      if (a != b && s.ChainDP[a] + s.ChainDP[b] < 5000) s.Recombine(a, b);
    } else if (s.ChainDP[a] < 4500) {
      s.Propagate(a, static_cast<std::uint8_t>(rng() % 2));
    }
  }
  // One chain across the bottom frame row (3999) and beyond the picture.
  for (int j = 0; j < 4100; ++j) s.Propagate(2, 1);
  Observer.UpdateUserInterface(1);
  s.SetShowStructure(false);
  const QImage live = Form->PlotImage().copy();
  Form->PaintBoxPaint();
  EXPECT_EQ(DifferentPixels(live, Form->PlotImage()), 0);
  EXPECT_EQ(Pixel(2, 3999), ColorB);
}

TEST_F(StructureView, LivePaintingEqualsFullRepaintWithDepropagation) {
  PrepareStore(Engine::ptLivingReversible, 300, &Observer);
  Engine::TSimState& s = Engine::SimState();
  Form->PaintBoxPaint();
  s.SetShowStructure(true);
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> pick(1, 300);
  std::int32_t freeA = 1000000, freeB = 1000000;
  for (int event = 0; event < 40000; ++event) {
    const int c = pick(rng);
    const int d = s.ChainDP[c];
    if (d > 0 && rng() % 3 == 0) {
      // Remove the terminal unit; the unit before it becomes terminal.
      const std::uint8_t terminal = s.ChainUnits[c][d];
      const std::uint8_t next = d > 1 ? s.ChainUnits[c][d - 1] : 0;
      if (terminal == 0)
        s.ReversibleRemoveA(c, next, freeA);
      else
        s.ReversibleRemoveB(c, next, freeB);
    } else if (rng() % 2 == 0) {
      s.ReversibleAddA(c, 0, freeA);
    } else {
      s.ReversibleAddB(c, 1, freeB);
    }
  }
  Observer.UpdateUserInterface(1);
  const QImage live = Form->PlotImage().copy();
  Form->PaintBoxPaint();
  EXPECT_EQ(DifferentPixels(live, Form->PlotImage()), 0);
}

TEST_F(StructureView, FreeRadicalLivePaintingShowsEveryStepthChain) {
  SetPaintWidth(449);
  // 1500 initiators: 3000 chain slots, expected 3000: step 3000 div 449 = 6.
  PrepareStore(Engine::ptFreeRadical, 1500, &Observer);
  ASSERT_EQ(Form->StructureChainStep(), 6);
  Engine::TSimState& s = Engine::SimState();
  Form->PaintBoxPaint();
  s.SetShowStructure(true);
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> pick(1, 3000);
  for (int event = 0; event < 200000; ++event) {
    const int a = pick(rng);
    if (rng() % 100 == 0) {
      const int b = pick(rng);
      if (a != b && s.ChainDP[a] + s.ChainDP[b] < 3000) s.RecombineStrided(a, b);
    } else if (s.ChainDP[a] < 2500) {
      s.PropagateStrided(a, static_cast<std::uint8_t>(rng() % 2));
    }
  }
  Observer.UpdateUserInterface(1);
  const QImage live = Form->PlotImage().copy();
  Form->PaintBoxPaint();
  EXPECT_EQ(DifferentPixels(live, Form->PlotImage()), 0);
  // Column 10 shows chain 60: its first unit has its colour.
  ASSERT_GT(s.ChainDP[60], 0);
  EXPECT_EQ(Pixel(10, 1), s.ChainUnits[60][1] == 0 ? ColorA : ColorB);
}

TEST_F(StructureView, EnlargingPausesARunningSimulationAndRestoreResumesIt) {
  Host.Settings["Chains/Magnification"] = 3;
  Create();
  PrepareStore(Engine::ptATRP, 50, &Observer);
  Engine::SimState().Propagate(1, 0);
  Host.Running = true;
  Form->SetMagnified(true);
  EXPECT_EQ(Host.Pauses, 1);
  EXPECT_TRUE(Form->Magnified());
  EXPECT_EQ(Form->PaintBoxHeight(), 3 * 4000);
  // Paused now: the enlarged picture is painted, unit 1 of chain 1 as a
  // 3 x 3 block from (3, 3).
  EXPECT_EQ(Pixel(3, 3), ColorA);
  EXPECT_EQ(Pixel(5, 5), ColorA);
  EXPECT_EQ(Pixel(6, 3), White);
  EXPECT_EQ(Pixel(3, 300), Black);  // grid every 3 x 100 pixels
  Form->SetMagnified(false);
  EXPECT_EQ(Host.Resumes, 1);
  EXPECT_FALSE(Form->Magnified());
  EXPECT_EQ(Form->PaintBoxHeight(), 4000);
  EXPECT_EQ(Pixel(1, 1), ColorA);

  // Paused by the user before enlarging: no second pause, Restore resumes.
  Host.Paused = true;
  Form->SetMagnified(true);
  EXPECT_EQ(Host.Pauses, 1);
  Form->SetMagnified(false);
  EXPECT_EQ(Host.Resumes, 2);

  // No run: nothing but the mode changes.
  Host.Running = false;
  Host.Paused = false;
  Form->SetMagnified(true);
  Form->SetMagnified(false);
  EXPECT_EQ(Host.Pauses, 1);
  EXPECT_EQ(Host.Resumes, 2);
}

TEST_F(StructureView, APictureLostToAResizeDuringARunCatchesUpAtTheNextEvent) {
  PrepareStore(Engine::ptATRP, 20, &Observer);
  Engine::TSimState& s = Engine::SimState();
  for (int j = 0; j < 5; ++j) s.Propagate(1, 0);
  Form->PaintBoxPaint();
  Host.Running = true;  // the store may not be read outside the run's calls
  s.SetShowStructure(true);
  // A tab shown for the first time, a window resized: a new, empty picture.
  Form->resize(Form->width() + 40, Form->height() + 10);
  QApplication::processEvents();
  EXPECT_EQ(Pixel(1, 1), White);
  // The next event comes in a call where the store may be read: the whole
  // picture is back, with the event.
  s.Propagate(2, 1);
  EXPECT_EQ(Pixel(1, 5), ColorA);
  EXPECT_EQ(Pixel(2, 1), ColorB);
}

TEST_F(StructureView, RestoreResumesARunStillOnItsWayToThePauseGate) {
  // The kernel may finish its current event before it stands still: Restore
  // right after Enlarge must not leave it paused.
  Host.Running = true;
  Host.HoldAtOnce = false;
  Form->SetMagnified(true);
  EXPECT_EQ(Host.Pauses, 1);
  EXPECT_FALSE(Host.Paused);
  Form->SetMagnified(false);
  EXPECT_EQ(Host.Resumes, 1);
}

TEST_F(StructureView, EnlargeAndRestoreActionsFollowTheActiveView) {
  // A floating view asks for the actions when it becomes active and keeps
  // them while it is visible.
  Host.Floating = true;
  QApplication::setActiveWindow(Form);
  QEvent activation(QEvent::ActivationChange);
  QApplication::sendEvent(Form, &activation);
  ASSERT_FALSE(Host.MagGlass.isEmpty());
  EXPECT_TRUE(Host.MagGlass.last());
  // Docked on a tab that is not the current one: no actions.
  Host.Floating = false;
  Host.MicrostructureTab = false;
  QApplication::sendEvent(Form, &activation);
  EXPECT_FALSE(Host.MagGlass.last());
  Host.MicrostructureTab = true;
  QApplication::sendEvent(Form, &activation);
  EXPECT_TRUE(Host.MagGlass.last());
}

TEST_F(StructureView, MagnificationMustBeAWholeNumber) {
  EXPECT_EQ(Form->Magnification(), 2);  // default
  EXPECT_FALSE(Form->ApplyMagnificationText("2.5"));
  EXPECT_EQ(Form->Magnification(), 2);
  QMessageBox* box = LastMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), QString("'2.5' is not a valid integer value"));
  EXPECT_FALSE(Host.Settings.contains("Chains/Magnification"));
  CloseMessageBoxes();

  EXPECT_TRUE(Form->ApplyMagnificationText("4"));
  EXPECT_EQ(Form->Magnification(), 4);
  EXPECT_EQ(Host.Settings.value("Chains/Magnification"), 4);
  EXPECT_EQ(Form->PaintBoxHeight(), 4 * 4000);

  // A magnification whose picture would need gigabytes is refused.
  EXPECT_FALSE(Form->ApplyMagnificationText("5000"));
  EXPECT_EQ(Form->Magnification(), 4);
  EXPECT_NE(LastMessageBox(), nullptr);
}

TEST_F(StructureView, ColourItemsStoreBothEntriesAndRepaint) {
  EXPECT_EQ(Form->ColorA(), QColor(255, 255, 0));
  EXPECT_EQ(Form->ColorB(), QColor(128, 128, 128));
  PrepareStore(Engine::ptATRP, 10, &Observer);
  Engine::SimState().Propagate(1, 0);
  Form->ApplyColorChoice(0, QColor(Qt::red));
  Form->ApplyColorChoice(1, std::nullopt);  // dialog cancelled
  EXPECT_EQ(Form->ColorA(), QColor(Qt::red));
  EXPECT_EQ(Form->ColorB(), QColor(128, 128, 128));
  // Windows colour values: red = 255; grey 128,128,128 = 0x808080 = 8421504.
  EXPECT_EQ(Host.Settings.value("Chains/ColorA"), 255);
  EXPECT_EQ(Host.Settings.value("Chains/ColorB"), 8421504);
  EXPECT_EQ(QColor(Form->PlotImage().pixel(1, 1)), QColor(Qt::red));
  // The next view reads them back.
  Create();
  EXPECT_EQ(Form->ColorA(), QColor(Qt::red));
}

TEST_F(StructureView, PictureCaptionAndPrintout) {
  Host.FileName = "/data/copolymer.kpx";
  PrepareStore(Engine::ptATRP, 10, &Observer);
  for (int j = 0; j < 50; ++j) Engine::SimState().Propagate(1, 1);
  Form->PaintBoxPaint();
  EXPECT_EQ(Form->windowTitle(), QString("Chains Microstructure: copolymer.kpx"));
  const QImage picture = Form->PlotPicture();
  const QWidget* box = Form->findChild<TPaintBox*>();
  EXPECT_EQ(picture.width(), box->x() + box->width() + 2);
  EXPECT_EQ(picture.height(), Form->height() - 2);
  // Chain 1 in grey inside the picture; the closing line 3 pixels above the bottom.
  const QPoint origin = box->mapTo(Form, QPoint(0, 0));
  EXPECT_EQ(picture.pixelColor(origin.x() + 1, origin.y() + 10), QColor(128, 128, 128));
  EXPECT_EQ(picture.pixelColor(origin.x() + 20, picture.height() - 3), QColor(Qt::black));
  Form->aEditCopyPlotExecute();
  EXPECT_EQ(QApplication::clipboard()->image().size(), picture.size());

  QTemporaryDir dir;
  QPrinter printer(QPrinter::ScreenResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(dir.filePath("chains.pdf"));
  EXPECT_TRUE(Form->aPrintPlotAccept(printer));
  EXPECT_EQ(printer.docName(), QString("Propagon - ChainsStructure"));
  EXPECT_GT(QFile(dir.filePath("chains.pdf")).size(), 0);

  QWidget dock;
  Form->setParent(&dock);
  Form->PaintBoxPaint();
  EXPECT_EQ(Form->windowTitle(), QString("Chains"));
  Form->setParent(nullptr);
  Form->show();
  Form->close();
  EXPECT_EQ(Host.PlacementSections, QStringList{"Chains"});
}

TEST_F(StructureView, ClearBlanksThePictureAndEventsInEnlargedModeWaitForARepaint) {
  PrepareStore(Engine::ptATRP, 10, &Observer);
  Engine::TSimState& s = Engine::SimState();
  s.Propagate(1, 0);
  Form->PaintBoxPaint();
  Form->ClearPlot();
  EXPECT_EQ(Pixel(1, 1), White);
  // While enlarged (no run, so nothing pauses) events are not drawn one by
  // one; the view repaints from the store instead.
  Form->SetMagnified(true);
  s.SetShowStructure(true);
  s.Propagate(2, 1);
  s.SetShowStructure(false);
  Form->findChild<TPaintBox*>()->repaint();
  // Magnification 2: unit 1 of chain 2 is the block at (4, 2).
  EXPECT_EQ(Pixel(4, 2), ColorB);
}
