// DP distribution view: full repaint, live painting against the full
// repaint, data text, picture, printing, caption and context menu.

#include "LiveViewsTestSupport.h"

#include "params/uNumberFormat.h"
#include "plots/uPaintBox.h"
#include "tests/support/FileSizeLimit.h"

#include <QClipboard>
#include <QDir>
#include <QDockWidget>
#include <QMainWindow>
#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

using namespace ViewsTest;
using Plots::TDistributionForm;
using Plots::TPaintBox;

namespace {

class DistributionView : public ::testing::Test {
protected:
  void SetUp() override {
    Form = new TDistributionForm(&Host);
    Form->show();
    QApplication::processEvents();
    Observer.Distribution = Form;
  }
  void TearDown() override {
    ReleaseStore();
    CloseMessageBoxes();
    delete Form;
  }

  // Column x of the bar picture: the number of black pixels strictly inside
  // the frame rows, i.e. the bar height above the bottom frame line.
  int BarPixels(int x) const {
    const QImage& img = Form->PlotImage();
    int n = 0;
    for (int y = 1; y < img.height() - 1; ++y)
      if (img.pixelIndex(x, y) == TPaintBox::Black) ++n;
    return n;
  }

  TFakeHost Host;
  TViewsObserver Observer;
  TDistributionForm* Form = nullptr;
};

} // namespace

TEST_F(DistributionView, FramePaintedBeforeAnyRunAndDataItemsHidden) {
  ReleaseStore();
  Form->PaintBoxPaint();
  const QImage& img = Form->PlotImage();
  ASSERT_EQ(img.width(), TDistributionForm::PlotWidth);
  // Frame black, inside white.
  EXPECT_EQ(img.pixelIndex(0, 5), TPaintBox::Black);
  EXPECT_EQ(img.pixelIndex(img.width() - 1, 5), TPaintBox::Black);
  EXPECT_EQ(img.pixelIndex(10, 0), TPaintBox::Black);
  EXPECT_EQ(img.pixelIndex(10, img.height() - 1), TPaintBox::Black);
  EXPECT_EQ(BarPixels(10), 0);
  Form->PopupMenuPopup();
  EXPECT_FALSE(Form->aEditCopyData()->isVisible());
  EXPECT_FALSE(Form->aPlotDataSaveAs()->isVisible());
  EXPECT_TRUE(Form->aEditCopyPlot()->isVisible());
  EXPECT_TRUE(Form->aPrintPlot()->isVisible());
  // Copy Data without data: the header alone.
  EXPECT_EQ(Form->DataText(), "DP\tFraction\r\n");
}

TEST_F(DistributionView, BarsFollowTheHistogramAndLongChainsAreNotDrawn) {
  PrepareStore(Engine::ptATRP, 30, nullptr);
  Engine::TSimState& s = Engine::SimState();
  // 10 chains of DP 3, 5 of DP 7, 1 of DP 3001 (beyond the columns).
  for (int c = 1; c <= 10; ++c)
    for (int k = 0; k < 3; ++k) s.Propagate(c, 0);
  for (int c = 11; c <= 15; ++c)
    for (int k = 0; k < 7; ++k) s.Propagate(c, 1);
  for (int k = 0; k < 3001; ++k) s.Propagate(16, 0);
  Form->PaintBoxPaint();
  const int H = Form->PaintHeight();
  // m = 10 chains: q = trunc(H / 10 * 0.7), bars of 10q and 5q pixels.
  const auto expected = Plots::DistributionScale(H, 10);
  EXPECT_DOUBLE_EQ(Form->Scale().Q, expected.Q);
  EXPECT_EQ(BarPixels(3), static_cast<int>(10 * expected.Q));
  EXPECT_EQ(BarPixels(7), static_cast<int>(5 * expected.Q));
  EXPECT_EQ(BarPixels(4), 0);
  // DP 0 holds 14 chains but its column is the frame; nothing drawn elsewhere.
  int drawnColumns = 0;
  for (int x = 1; x < TDistributionForm::PlotWidth - 1; ++x)
    if (BarPixels(x) > 0) ++drawnColumns;
  EXPECT_EQ(drawnColumns, 2);
  // ...but the long chain is in the data: 1 of 30 chains.
  Propagon::TSeparatorGuard dot('.');
  EXPECT_NE(Form->DataText().find("\r\n3001\t0.033333333\r\n"), std::string::npos);
  Form->PopupMenuPopup();
  EXPECT_TRUE(Form->aEditCopyData()->isVisible());
  EXPECT_TRUE(Form->aPlotDataSaveAs()->isVisible());
}

// Live painting moves bar tops by u pixels per event with the scale of the
// last full repaint. While no bar outgrows the tallest one of that repaint,
// the scale of a new full repaint is the same, so the pictures must agree
// pixel for pixel. Two set-ups: q >= 1 (40 chains in the tallest bar) and
// q < 1 (1000 chains).
struct TLiveSetUp {
  int Tallest;   // chains in the tallest bar (DP 2000)
  int Others;    // chains that take part in the events
  int GrowUpTo;  // the events keep those chains below this DP
};

class DistributionLiveVsFull : public DistributionView, public ::testing::WithParamInterface<TLiveSetUp> {};

TEST_P(DistributionLiveVsFull, LivePictureEqualsFullRepaint) {
  const int tallest = GetParam().Tallest;
  const int others = GetParam().Others;
  PrepareStore(Engine::ptATRP, tallest + others, &Observer);
  Engine::TSimState& s = Engine::SimState();
  // The tallest bar: `tallest` chains of DP 2000, never touched again.
  for (int c = 1; c <= tallest; ++c)
    for (int k = 0; k < 2000; ++k) s.Propagate(c, 0);
  Form->PaintBoxPaint();
  const Plots::TDistributionScale before = Form->Scale();
  EXPECT_EQ(before.Q >= 1, tallest <= 100) << "set-up does not reach the intended scale range";

  s.SetShowDistribution(true);
  std::mt19937 rng(12345);
  const int first = tallest + 1;
  const int last = tallest + others;
  std::uniform_int_distribution<int> pick(first, last);
  // Growth, recombinations (two chains: one empties, one grows) including
  // two chains of equal length; no bar gets as tall as the tallest.
  for (int event = 0; event < 30 * others; ++event) {
    const int a = pick(rng);
    if (rng() % 5 == 0) {
      const int b = pick(rng);
      if (a != b && s.ChainDP[a] + s.ChainDP[b] < 1500) s.Recombine(a, b);
    } else if (s.ChainDP[a] < GetParam().GrowUpTo) {
      s.Propagate(a, static_cast<std::uint8_t>(rng() % 2));
    }
  }
  // Equal lengths on both sides of a recombination (F1 = F2).
  for (int k = 0; k < 9; ++k) {
    if (s.ChainDP[first] < 9) s.Propagate(first, 0);
    if (s.ChainDP[first + 1] < 9) s.Propagate(first + 1, 0);
  }
  while (s.ChainDP[first] < s.ChainDP[first + 1]) s.Propagate(first, 0);
  while (s.ChainDP[first + 1] < s.ChainDP[first]) s.Propagate(first + 1, 0);
  ASSERT_EQ(s.ChainDP[first], s.ChainDP[first + 1]);
  s.Recombine(first, first + 1);
  s.SetShowDistribution(false);

  const QImage live = Form->PlotImage().copy();
  Form->PaintBoxPaint();
  EXPECT_DOUBLE_EQ(Form->Scale().Q, before.Q);
  EXPECT_EQ(DifferentPixels(live, Form->PlotImage()), 0);
  // And the live painting did change the picture (it is not a blank).
  int grownColumns = 0;
  for (int x = 1; x < 1500; ++x)
    if (BarPixels(x) > 0) ++grownColumns;
  EXPECT_GT(grownColumns, 5);
}

// q >= 1: 20 chains spread thinly; q < 1: 300 chains crowded below DP 25 so
// that their bars reach whole pixels.
INSTANTIATE_TEST_SUITE_P(Scales, DistributionLiveVsFull,
                         ::testing::Values(TLiveSetUp{40, 20, 1400}, TLiveSetUp{1000, 300, 25}));

TEST_F(DistributionView, OneEventMovesOneChainBetweenBars) {
  PrepareStore(Engine::ptATRP, 10, &Observer);
  Engine::TSimState& s = Engine::SimState();
  for (int c = 1; c <= 4; ++c) s.Propagate(c, 0);  // 4 chains of DP 1
  Form->PaintBoxPaint();
  const double q = Form->Scale().Q;  // m = 4: q = trunc(H / 4 * 0.7)
  ASSERT_GE(q, 1.0);
  s.SetShowDistribution(true);
  s.Propagate(1, 1);  // DP 1 -> 2
  EXPECT_EQ(BarPixels(1), static_cast<int>(3 * q));
  EXPECT_EQ(BarPixels(2), static_cast<int>(1 * q));
  // A chain at DP 0 that grows leaves the frame column alone.
  s.Propagate(9, 0);
  EXPECT_EQ(Form->PlotImage().pixelIndex(0, 1), TPaintBox::Black);
  EXPECT_EQ(BarPixels(1), static_cast<int>(4 * q));
  // Until the next full repaint the shown area waits for the screen update.
  EXPECT_FALSE(Form->findChild<TPaintBox*>()->PendingRect().isEmpty());
  Form->FlushPainting();
  EXPECT_TRUE(Form->findChild<TPaintBox*>()->PendingRect().isEmpty());
}

TEST_F(DistributionView, CopyDataPutsTheTextOnTheClipboard) {
  Propagon::TSeparatorGuard dot('.');
  PrepareStore(Engine::ptATRP, 4, nullptr);
  Engine::TSimState& s = Engine::SimState();
  // n(0) = 2, n(1) = 1, n(3) = 1.
  s.Propagate(1, 0);
  for (int k = 0; k < 3; ++k) s.Propagate(2, 0);
  Form->aEditCopyDataExecute();
  EXPECT_EQ(QApplication::clipboard()->text(), QString("DP\tFraction\r\n1\t0.25\r\n2\t0\r\n3\t0.25\r\n"));
}

TEST_F(DistributionView, SaveDataWritesTheFileAndReportsFailures) {
  Propagon::TSeparatorGuard dot('.');
  PrepareStore(Engine::ptATRP, 4, nullptr);
  Engine::SimState().Propagate(1, 0);  // one of four chains at DP 1
  QTemporaryDir dir;
  const QString name = dir.filePath("dist.txt");
  ASSERT_TRUE(Form->aPlotDataSaveAsAccept(name));
  QFile file(name);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("DP\tFraction\r\n1\t0.25\r\n"));
  EXPECT_EQ(LastMessageBox(), nullptr);

  // A folder that does not exist: the user is told, with the system's reason.
  const QString bad = dir.filePath("missing/dist.txt");
  EXPECT_FALSE(Form->aPlotDataSaveAsAccept(bad));
  QMessageBox* box = LastMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->text().contains(bad));
  EXPECT_FALSE(QFile::exists(bad));
}

TEST_F(DistributionView, SaveDataOnAFullDiskKeepsTheFileSavedBefore) {
  Propagon::TSeparatorGuard dot('.');
  PrepareStore(Engine::ptATRP, 300, nullptr);
  for (int chain = 1; chain <= 200; ++chain) // DP 1 … 200: 200 lines, about 2.5 KB
    for (int k = 0; k < chain; ++k)
      Engine::SimState().Propagate(chain, 0);
  QTemporaryDir dir;
  const QString name = dir.filePath("dist.txt");
  ASSERT_TRUE(Form->aPlotDataSaveAsAccept(name));
  QFile file(name);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray before = file.readAll();
  file.close();
  ASSERT_GT(before.size(), 2048);

  Engine::SimState().Propagate(250, 1);
  {
    // A 1 KiB file-size limit stands in for the full disk.
    TestSupport::TFileSizeLimit full(1024);
    EXPECT_FALSE(Form->aPlotDataSaveAsAccept(name));
  }
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), before) << "the old table stays whole";
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("dist.txt")});
  QMessageBox* box = LastMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->text().contains(name));
}

TEST_F(DistributionView, PictureAndPrintout) {
  PrepareStore(Engine::ptATRP, 4, nullptr);
  Engine::SimState().Propagate(1, 0);
  Form->PaintBoxPaint();
  const QPalette before = Form->findChild<QWidget*>("PlotPanel")->palette();
  const QImage picture = Form->PlotPicture();
  // Window client width - 2 by the panel's height.
  EXPECT_EQ(picture.width(), Form->width() - 2);
  EXPECT_EQ(picture.height(), Form->findChild<QWidget*>("PlotPanel")->height());
  // The closing line 3 pixels left of the right edge, black over the bars.
  EXPECT_EQ(picture.pixelColor(picture.width() - 3, 20), QColor(Qt::black));
  EXPECT_EQ(Form->findChild<QWidget*>("PlotPanel")->palette(), before);
  // The bar of DP 1 is in the picture: some black pixels left of DP 10.
  const QPoint bars = Form->findChild<TPaintBox*>()->mapTo(Form, QPoint(0, 0));
  bool black = false;
  for (int y = bars.y() + 1; y < bars.y() + Form->PaintHeight() - 2; ++y)
    black = black || picture.pixelColor(bars.x() + 1, y) == QColor(Qt::black);
  EXPECT_TRUE(black);

  Form->aEditCopyPlotExecute();
  EXPECT_EQ(QApplication::clipboard()->image().size(), picture.size());

  QTemporaryDir dir;
  QPrinter printer(QPrinter::ScreenResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(dir.filePath("dist.pdf"));
  EXPECT_TRUE(Form->aPrintPlotAccept(printer));
  EXPECT_EQ(printer.docName(), QString("Propagon - ChainsStructure"));
  EXPECT_GT(QFile(dir.filePath("dist.pdf")).size(), 0);
  // A printer that cannot start: no job, no message.
  QPrinter broken(QPrinter::ScreenResolution);
  broken.setOutputFormat(QPrinter::PdfFormat);
  broken.setOutputFileName(dir.filePath("missing/dist.pdf"));
  EXPECT_FALSE(Form->aPrintPlotAccept(broken));
  EXPECT_EQ(LastMessageBox(), nullptr);
}

TEST_F(DistributionView, CaptionDependsOnDockingAndClosingSavesPlacement) {
  Host.FileName = "/data/runs/styrene.kpx";
  Form->PaintBoxPaint();
  EXPECT_EQ(Form->windowTitle(), QString("DP Distribution: styrene.kpx"));
  QWidget dock;
  Form->setParent(&dock);
  Form->PaintBoxPaint();
  EXPECT_EQ(Form->windowTitle(), QString("DP Dist."));
  // Inside a frame of the main window that floats, the host says so.
  Host.Floating = true;
  Form->PaintBoxPaint();
  EXPECT_EQ(Form->windowTitle(), QString("DP Distribution: styrene.kpx"));
  Host.Floating.reset();
  // A dock frame: docked, then floating with its frame.
  QMainWindow mainWindow;
  QDockWidget frame;
  frame.setWidget(Form);
  mainWindow.addDockWidget(Qt::LeftDockWidgetArea, &frame);
  Form->PaintBoxPaint();
  EXPECT_EQ(Form->windowTitle(), QString("DP Dist."));
  frame.setFloating(true);
  Form->PaintBoxPaint();
  EXPECT_EQ(Form->windowTitle(), QString("DP Distribution: styrene.kpx"));
  frame.setWidget(nullptr);
  mainWindow.removeDockWidget(&frame);
  frame.setParent(nullptr);
  Form->setParent(nullptr);
  Form->show();
  Form->close();
  EXPECT_EQ(Host.PlacementSections, QStringList{"DP Dist."});
  EXPECT_FALSE(Form->isVisible());
}

TEST_F(DistributionView, DuringARunTheDataComeFromTheViewsOwnCopy) {
  Propagon::TSeparatorGuard dot('.');
  PrepareStore(Engine::ptATRP, 4, &Observer);
  Engine::TSimState& s = Engine::SimState();
  s.Propagate(1, 0);
  Form->PaintBoxPaint();  // a check point: 1 of 4 chains at DP 1
  Host.Running = true;    // from now on the store is being written
  s.SetShowDistribution(true);
  s.Propagate(2, 0);      // live: DP 0 -> 1 reaches the view
  EXPECT_EQ(Form->DataText(), "DP\tFraction\r\n1\t0.5\r\n");
  s.SetShowDistribution(false);
  s.Propagate(2, 0);      // no longer live: the copy stays as it was
  EXPECT_EQ(Form->DataText(), "DP\tFraction\r\n1\t0.5\r\n");
  Host.Paused = true;     // at the pause gate the store itself is read
  EXPECT_EQ(Form->DataText(), "DP\tFraction\r\n1\t0.25\r\n2\t0.25\r\n");
  // Clear (before the next run) forgets the copy.
  Host.Running = false;
  Form->ClearPaintBox();
  s.FreeAllocatedMemory();
  EXPECT_EQ(Form->DataText(), "DP\tFraction\r\n");
}

TEST_F(DistributionView, AViewCreatedDuringARunStartsWithAFullRepaint) {
  PrepareStore(Engine::ptATRP, 10, &Observer);
  Engine::TSimState& s = Engine::SimState();
  for (int c = 1; c <= 5; ++c) s.Propagate(c, 0);  // 5 chains of DP 1
  Host.Running = true;
  delete Form;
  Form = new TDistributionForm(&Host);  // no histogram of this run yet
  Observer.Distribution = Form;
  Form->show();
  s.SetShowDistribution(true);
  s.Propagate(6, 0);  // the first event paints everything: 6 chains of DP 1
  const auto scale = Plots::DistributionScale(Form->PaintHeight(), 6);
  EXPECT_DOUBLE_EQ(Form->Scale().Q, scale.Q);
  EXPECT_EQ(BarPixels(1), static_cast<int>(6 * scale.Q));
}

TEST_F(DistributionView, APictureLostToAResizeDuringARunCatchesUpAtTheNextEvent) {
  PrepareStore(Engine::ptATRP, 10, &Observer);
  Engine::TSimState& s = Engine::SimState();
  for (int c = 1; c <= 3; ++c) s.Propagate(c, 0);  // 3 chains of DP 1
  Form->PaintBoxPaint();
  Host.Running = true;
  s.SetShowDistribution(true);
  Form->resize(Form->width(), Form->height() + 30);
  QApplication::processEvents();
  EXPECT_EQ(BarPixels(1), 0);
  s.Propagate(4, 0);  // the next event repaints everything: 4 chains of DP 1
  EXPECT_EQ(BarPixels(1), static_cast<int>(4 * Plots::DistributionScale(Form->PaintHeight(), 4).Q));
}

TEST_F(DistributionView, RulerLabelsStandUnderTheirColumns) {
  // Tick i is at PaintBox's left edge + 100 i, i.e. over column (DP) 100 i.
  for (int i : {1, 9, 10, 29}) EXPECT_EQ(Form->RulerTickX(i) - Form->PaintBoxLeft(), 100 * i);
  EXPECT_EQ(Form->findChild<TPaintBox*>()->x(), Form->PaintBoxLeft());
}

TEST_F(DistributionView, SystemRepaintDuringARunWaitsForAReadableStore) {
  PrepareStore(Engine::ptATRP, 4, nullptr);
  Engine::TSimState& s = Engine::SimState();
  Form->PaintBoxPaint();
  Host.Running = true;  // a run goes on: the histogram must not be read
  s.Propagate(1, 0);
  Form->MarkStale();
  Form->findChild<TPaintBox*>()->repaint();
  EXPECT_EQ(BarPixels(1), 0);
  Host.Paused = true;   // standing at the pause gate: now it may be read
  Form->findChild<TPaintBox*>()->repaint();
  EXPECT_GT(BarPixels(1), 0);
}
