#include "plots/uDistribForm.h"

#include "engine/uDataStruct.h"
#include "params/uLogMessage.h"
#include "params/uNumberFormat.h"
#include "plots/uLiveViewHost.h"
#include "plots/uPaintBox.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QPainter>
#include <QSaveFile>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <new>

namespace Plots {

TDistributionForm::TDistributionForm(TLiveViewHost* host, QWidget* parent)
    : TLiveViewForm(host, parent,
                    {"DistributionForm", DockedCaption, "DP Distribution: ", DockedCaption, QSize(513, 305),
                     Qt::ScrollBarAlwaysOff, Qt::ScrollBarAlwaysOn, 2}) {
  connect(FScrollBox1->horizontalScrollBar(), &QScrollBar::valueChanged, FCoordinatesPaintBox,
          qOverload<>(&QWidget::update));
  connect(FPaintBox, &TPaintBox::Resized, this, [this] {
    // A new size means a new, empty picture: repaint it now if the store may
    // be read, otherwise show the frame and catch up later.
    if (StoreReadable()) {
      PaintBoxPaint();
    } else {
      FPaintBox->ClearFramed();
      MarkStale();
    }
  });

  FEditCopyData = new QAction(QStringLiteral("Copy &Data"), this);
  FEditCopyData->setObjectName(QStringLiteral("aEditCopyData"));
  FEditCopyData->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
  FEditCopyData->setToolTip(QStringLiteral("Copy"));
  FEditCopyData->setStatusTip(QStringLiteral("Copies the Plots Data and puts it on the Clipboard"));
  FEditCopyData->setIcon(MenuIcon("edit-copy", QStyle::SP_FileDialogDetailedView));
  connect(FEditCopyData, &QAction::triggered, this, &TDistributionForm::aEditCopyDataExecute);

  FPlotDataSaveAs = new QAction(QStringLiteral("Save Data &As..."), this);
  FPlotDataSaveAs->setObjectName(QStringLiteral("aPlotDataSaveAs"));
  FPlotDataSaveAs->setToolTip(QStringLiteral("Save As"));
  FPlotDataSaveAs->setStatusTip(QStringLiteral("Saves the Plot Data with a new name"));
  FPlotDataSaveAs->setIcon(MenuIcon("document-save-as", QStyle::SP_DialogSaveButton));
  connect(FPlotDataSaveAs, &QAction::triggered, this, &TDistributionForm::aPlotDataSaveAsExecute);

  CreatePlotActions();

  for (QAction* a : {FEditCopyData, FPlotDataSaveAs, FEditCopyPlot, FPrintPlot}) {
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(a);
  }

  FPopupMenu->addAction(FEditCopyData);
  FPopupMenu->addAction(FPlotDataSaveAs);
  FPopupMenu->addAction(FEditCopyPlot);
  FPopupMenu->addAction(FPrintPlot);
  connect(FPopupMenu, &QMenu::aboutToShow, this, &TDistributionForm::PopupMenuPopup);

  PlotPanelResize();
  ClearPaintBox();
}

TDistributionForm::~TDistributionForm() = default;

// ---- store access ---------------------------------------------------------

bool TDistributionForm::StoreHistogramExists() {
  return Engine::SimState().DPDistribution.size() == static_cast<std::size_t>(Engine::MaxDP) + 1;
}

void TDistributionForm::TakeHistogram() const {
  // Only where the store may be read: inside the run's synchronous calls,
  // while it is paused, or when no run is going.
  if (StoreHistogramExists())
    FHistogram = Engine::SimState().DPDistribution;
  else
    FHistogram.clear();
}

bool TDistributionForm::HistogramExists() const { return !FHistogram.empty(); }

bool TDistributionForm::Live() const { return Engine::SimState().ShowDistribution(); }

int TDistributionForm::PaintHeight() const { return FPaintBox->ImageHeight(); }

// ---- layout ----------------------------------------------------------------

void TDistributionForm::PlotPanelResize() {
  FScale5 = std::sqrt(static_cast<double>(width()) * height()) * 0.005;
  const QFontMetrics fm(RulerFont());
  FHalfText = fm.height() / 2;
  const int left = PaintBoxLeft();
  const QSize view = FScrollBox1->viewport()->size();
  // Horizontal scrolling only: the panel is as high as the visible area
  // (at most 1200 pixels) and at least as wide as the 3000 bar columns.
  const int panelHeight = std::clamp(view.height(), 1, MaxPlotHeight);
  const int panelWidth = std::max(left + PlotWidth + fm.horizontalAdvance(QStringLiteral("2000")), view.width());
  FPlotPanel->resize(panelWidth, panelHeight);
  const int rulerHeight = 7 * FHalfText;
  FCoordinatesPaintBox->setGeometry(0, panelHeight - rulerHeight, panelWidth, rulerHeight);
  FPaintBox->setGeometry(left, 0, PlotWidth, std::max(panelHeight - rulerHeight, 1));
  FCoordinatesPaintBox->update();
}

int TDistributionForm::PaintBoxLeft() const {
  const QFontMetrics fm(RulerFont());
  return fm.horizontalAdvance(QStringLiteral("0")) / 2 + 2;
}

int TDistributionForm::RulerTickX(int i) const { return PaintBoxLeft() + 100 * i; }

void TDistributionForm::CoordinatesPaintBoxPaint(QPainter& painter) {
  const QFont rulerFont = RulerFont();
  painter.setFont(rulerFont);
  painter.setPen(Qt::black);
  const QFontMetrics fm(rulerFont);
  const int h = FHalfText;
  TextOut(painter, 2, h, QStringLiteral("0"));
  const int x0 = RulerTickX(0);
  painter.drawLine(x0, 0, x0, h);
  const int half200 = fm.horizontalAdvance(QStringLiteral("200")) / 2;
  const int half2000 = fm.horizontalAdvance(QStringLiteral("2000")) / 2;
  for (int i = 1; i <= 29; ++i) {
    const int x = RulerTickX(i);
    painter.drawLine(x, 0, x, h);
    TextOut(painter, x - (i <= 9 ? half200 : half2000), h, QString::number(i * 100));
  }
  // "DP" in the middle of what the scroll box shows, wherever it is scrolled.
  const QFont captionFont = RulerFont(2);
  painter.setFont(captionFont);
  const QFontMetrics cm(captionFont);
  const QString caption = QStringLiteral("DP");
  const int middle = FScrollBox1->horizontalScrollBar()->value() + FScrollBox1->viewport()->width() / 2;
  TextOut(painter, middle - cm.horizontalAdvance(caption) / 2, 6 * h - cm.height(), caption);
  painter.setFont(rulerFont);
}

// ---- painting ----------------------------------------------------------------

void TDistributionForm::ClearPaintBox() {
  // Clear comes before every run: the next event of a live view then starts
  // with a full repaint from the new run's histogram.
  FHistogram.clear();
  FPaintBox->ClearFramed();
}

void TDistributionForm::PaintBoxPaint() {
  FPainting = true;
  UpdateCaption();
  FPaintBox->BeginBulk();
  ClearPaintBox();
  FStale = false;
  TakeHistogram();
  if (!HistogramExists()) {
    FPaintBox->EndBulk();
    FPainting = false;
    return;
  }
  const std::int32_t* n = FHistogram.data();
  std::int32_t m = 0;
  for (int i = 1; i <= Engine::MaxDP; ++i) m = std::max(m, n[i]);
  const int H = FPaintBox->ImageHeight();
  const int W = FPaintBox->ImageWidth();
  FScale = DistributionScale(H, m);
  // Column x shows DP x; DP 0 (the frame column) and DP >= width are not drawn.
  for (int x = 1; x <= W - 1 && x <= Engine::MaxDP; ++x) {
    const int c = BarHeight(n[x], FScale.Q);
    FPaintBox->VLine(x, H - 1, H - c - 1, TPaintBox::Black);
  }
  FPaintBox->EndBulk();
  FPainting = false;
}

void TDistributionForm::EraseAbove(int dp, int length) {
  // Only the columns a full repaint may leave partly white: not the frame
  // column 0, not the last column (painted over the frame) and nothing beyond.
  if (dp < 1 || dp > FPaintBox->ImageWidth() - 2 || dp > Engine::MaxDP) return;
  const int H = FPaintBox->ImageHeight();
  const int top = H - BarHeight(FHistogram[static_cast<std::size_t>(dp)], FScale.Q) - 2;
  FPaintBox->RestoreBackgroundV(dp, top - length + 1, top);
}

void TDistributionForm::DrawFromTop(int dp, int length) {
  if (dp < 1 || dp > FPaintBox->ImageWidth() - 2 || dp > Engine::MaxDP) return;
  const int H = FPaintBox->ImageHeight();
  const int top = H - BarHeight(FHistogram[static_cast<std::size_t>(dp)], FScale.Q) - 1;
  FPaintBox->VLine(dp, top, top + length - 1, TPaintBox::Black);
}

void TDistributionForm::FollowCounts(std::initializer_list<std::int32_t> dps) {
  // The view's copy of the histogram follows the store entry by entry.
  if (!StoreHistogramExists()) {
    FHistogram.clear();
    return;
  }
  const std::vector<std::int32_t>& n = Engine::SimState().DPDistribution;
  for (const std::int32_t dp : dps)
    if (dp >= 0 && dp <= Engine::MaxDP) FHistogram[static_cast<std::size_t>(dp)] = n[static_cast<std::size_t>(dp)];
}

bool TDistributionForm::RepaintIfNew() {
  // A view without a histogram of this run (created during it, or cleared)
  // has neither the counts nor the scale that event painting builds on, and
  // a picture that lost its contents (resized) shows nothing to build on: it
  // paints the whole histogram once instead.
  if (!FStale && FHistogram.size() == Engine::SimState().DPDistribution.size()) return false;
  PaintBoxPaint();
  return true;
}

void TDistributionForm::ShowOneChainChange() {
  if (RepaintIfNew()) return;
  const Engine::TDPChange& change = Engine::SimState().LastDPChange;
  FollowCounts({change.FromDP1, change.ToDP2});
  if (!HistogramExists()) return;
  EraseAbove(change.FromDP1, FScale.U);
  DrawFromTop(change.ToDP2, FScale.U);
}

void TDistributionForm::ShowTwoChainsChange() {
  if (RepaintIfNew()) return;
  const Engine::TDPChange& change = Engine::SimState().LastDPChange;
  FollowCounts({change.FromDP1, change.FromDP2, change.ToDP1, change.ToDP2});
  if (!HistogramExists()) return;
  if (change.FromDP1 == change.FromDP2) {
    EraseAbove(change.FromDP1, 2 * FScale.U);
  } else {
    EraseAbove(change.FromDP1, FScale.U);
    EraseAbove(change.FromDP2, FScale.U);
  }
  DrawFromTop(change.ToDP1, 2 * FScale.U);
  DrawFromTop(change.ToDP2, 2 * FScale.U);
}

// ---- context menu ---------------------------------------------------------------

void TDistributionForm::contextMenuEvent(QContextMenuEvent* event) {
  PopupMenuPopup();
  FPopupMenu->popup(event->globalPos());
}

void TDistributionForm::PopupMenuPopup() {
  if (StoreReadable()) TakeHistogram();
  const bool data = HistogramExists();
  FEditCopyData->setVisible(data);
  FPlotDataSaveAs->setVisible(data);
}

std::string TDistributionForm::DataText() const {
  // While the run changes the store the text comes from the view's copy:
  // the histogram of the last check point, or of the last event while live.
  if (StoreReadable()) TakeHistogram();
  if (!HistogramExists()) return DistributionDataText(nullptr, -1);
  return DistributionDataText(FHistogram.data(), Engine::MaxDP);
}

void TDistributionForm::aEditCopyDataExecute() {
  try {
    const std::string text = DataText();
    QApplication::clipboard()->setText(QString::fromStdString(text));
  } catch (const std::bad_alloc&) {
    ShowWarning(this, QStringLiteral("Warning"), QString::fromLatin1(LowMemoryWarning));
    Propagon::LogMessage(LowMemoryLogLine);
  }
}

void TDistributionForm::aPlotDataSaveAsExecute() {
  const QString fileName = QFileDialog::getSaveFileName(this, QStringLiteral("Save Data As"), QString(),
                                                        QStringLiteral("Text files (*.txt);;All files (*)"));
  if (!fileName.isEmpty()) aPlotDataSaveAsAccept(fileName);
}

bool TDistributionForm::aPlotDataSaveAsAccept(const QString& fileName) {
  // The whole text is built first and written through a temporary file, so
  // a failure leaves an existing file as it was.
  QSaveFile file(fileName);
  QString error;
  try {
    const std::string text = DataText();
    // Flushed before the commit: QSaveFile::commit (Qt 6.4) renames even when
    // the last buffered bytes could not be written.
    if (file.open(QIODevice::WriteOnly) &&
        file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()) &&
        file.flush() && file.commit())
      return true;
    error = file.errorString();
  } catch (const std::bad_alloc&) {
    error = QStringLiteral("Out of memory");
  }
  file.cancelWriting();
  ShowError(this, QStringLiteral("Error"), QStringLiteral("Cannot write %1:\n%2").arg(fileName, error));
  return false;
}

QImage TDistributionForm::PlotPicture() {
  const QSize size(width() - 2, FPlotPanel->height());
  QImage picture = CapturePlotPanel(size);
  // Close the picture on the right with a black line over the bar area.
  const QRect bars = VisiblePaintBox();
  const int x = size.width() - 3;
  if (!bars.isEmpty() && x >= 0) {
    QPainter painter(&picture);
    painter.setPen(Qt::black);
    painter.drawLine(x, bars.top(), x, bars.bottom());
  }
  return picture;
}

} // namespace Plots
