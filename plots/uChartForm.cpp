#include "plots/uChartForm.h"

#include "charts/uChart.h"
#include "charts/uChartEditor.h"
#include "engine/uDataStruct.h"
#include "params/uLogMessage.h"
#include "params/uNumberFormat.h"
#include "plots/uLiveViewTools.h"
#include "plots/uChartPicture.h"
#include "plots/uPlotHost.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QSaveFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QMenu>
#include <QInputDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QStyle>
#include <QVBoxLayout>

#include <cmath>
#include <new>

namespace Plots {

using Charts::TAxisId;

namespace {

// Puts the chart's background back however the output ended.
class TBackgroundGuard {
public:
  explicit TBackgroundGuard(Charts::TChart* chart) : FChart(chart), FColor(chart->BackgroundColor()) {
    FChart->SetBackgroundColor(QColor());
  }
  ~TBackgroundGuard() { FChart->SetBackgroundColor(FColor); }
  TBackgroundGuard(const TBackgroundGuard&) = delete;
  TBackgroundGuard& operator=(const TBackgroundGuard&) = delete;

private:
  Charts::TChart* FChart;
  QColor FColor;
};

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(QString::fromLatin1(name), QApplication::style()->standardIcon(fallback));
}

// Rounds to the nearest integer, halves to the even neighbour.
int RoundEven(double value) { return static_cast<int>(Propagon::RoundHalfEven(value)); }

} // namespace

QString ChartNumberText(double value) { return QString::fromStdString(Propagon::FormatDataNumber(value, 10)); }

QString ZoomAxisFormat(double range) {
  if (!(range > 0.0) || !std::isfinite(range))
    return {};
  static const QString Full = QStringLiteral("0.###############");
  const double d = -std::trunc(std::log10(range) - 4.0);
  const int n = static_cast<int>(std::clamp(std::max(3.0, d), 3.0, static_cast<double>(Full.size())));
  return Full.left(n);
}

TChartForm::TChartForm(TPlotHost* host, QWidget* parent) : QWidget(parent), FHost(host) {
  setObjectName(QStringLiteral("ChartForm"));
  resize(DesignWidth, DesignHeight);
  QFont designFont(QStringLiteral("Tahoma"));
  designFont.setPointSize(8);
  setFont(designFont);

  AChart = new Charts::TChart(this);
  AChart->setObjectName(QStringLiteral("AChart"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(AChart);

  // Initial set-up of the chart: legend by title, no title, zoom history,
  // 2 % margin at the bottom and 1 % at the left, print margins 15/18/15/18 %.
  AChart->SetLegendVisible(true);
  AChart->SetTitle(QString());
  AChart->SetChartMargins({1.0, 0.0, 0.0, 2.0});
  AChart->SetPrintMargins({15.0, 18.0, 15.0, 18.0});
  AChart->SetAxisMinimum(TAxisId::Bottom, 0.0);
  AChart->SetAxisAutomaticMaximum(TAxisId::Bottom, true);
  AChart->SetAxisMinimum(TAxisId::Left, 0.0);
  AChart->SetAxisAutomaticMaximum(TAxisId::Left, true);
  AChart->SetAxisRoundUpMaximum(TAxisId::Left, true);

  aXLogarithm = new QAction(QStringLiteral("X-Logarithm"), this);
  aXLogarithm->setObjectName(QStringLiteral("aXLogarithm"));
  aXLogarithm->setCheckable(true);
  aXLogarithm->setEnabled(false);
  aUndoZoom = new QAction(ThemeIcon("zoom-original", QStyle::SP_ArrowBack), QStringLiteral("&Undo Zoom"), this);
  aUndoZoom->setObjectName(QStringLiteral("aUndoZoom"));
  aEditCopyData = new QAction(ThemeIcon("edit-copy", QStyle::SP_FileDialogDetailedView), QStringLiteral("Copy &Data"), this);
  aEditCopyData->setObjectName(QStringLiteral("aEditCopyData"));
  aEditCopyData->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
  aEditCopyData->setToolTip(QStringLiteral("Copy"));
  aEditCopyData->setStatusTip(QStringLiteral("Copies the Plots Data and puts it on the Clipboard"));
  aPlotDataSaveAs = new QAction(ThemeIcon("document-save-as", QStyle::SP_DialogSaveButton), QStringLiteral("Save Data &As..."), this);
  aPlotDataSaveAs->setObjectName(QStringLiteral("aPlotDataSaveAs"));
  aPlotDataSaveAs->setToolTip(QStringLiteral("Save As"));
  aPlotDataSaveAs->setStatusTip(QStringLiteral("Saves the Plot Data with a new name"));
  aEditCopyPlot = new QAction(ThemeIcon("image-x-generic", QStyle::SP_FileIcon), QStringLiteral("Copy P&lot"), this);
  aEditCopyPlot->setObjectName(QStringLiteral("aEditCopyPlot"));
  aEditCopyPlot->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  aEditCopyPlot->setToolTip(QStringLiteral("Copy"));
  aEditCopyPlot->setStatusTip(QStringLiteral("Copies the Plot Picture and puts it on the Clipboard"));
  aSavePlotAs = new QAction(ThemeIcon("document-save-as", QStyle::SP_DialogSaveButton), QStringLiteral("Save Pl&ot As..."), this);
  aSavePlotAs->setObjectName(QStringLiteral("aSavePlotAs"));
  aSavePlotAs->setToolTip(QStringLiteral("Save Plot As"));
  aSavePlotAs->setStatusTip(QStringLiteral("Saves the Plot Picture as a PNG image, an SVG picture or a PDF document"));
  aPrintPlot = new QAction(ThemeIcon("document-print", QStyle::SP_ComputerIcon), QStringLiteral("&Print Plot"), this);
  aPrintPlot->setObjectName(QStringLiteral("aPrintPlot"));
  aPrintPlot->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  // The shortcuts work while the window (docked or floating) has the focus.
  for (QAction* action : {aXLogarithm, aUndoZoom, aEditCopyData, aPlotDataSaveAs, aEditCopyPlot, aSavePlotAs, aPrintPlot}) {
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action);
  }

  connect(aXLogarithm, &QAction::triggered, this, [this] { aXLogarithmExecute(); });
  connect(aUndoZoom, &QAction::triggered, this, [this] { aUndoZoomExecute(); });
  connect(aEditCopyData, &QAction::triggered, this, [this] { aEditCopyDataExecute(); });
  connect(aPlotDataSaveAs, &QAction::triggered, this, [this] { aPlotDataSaveAsExecute(); });
  connect(aEditCopyPlot, &QAction::triggered, this, [this] { aEditCopyPlotExecute(); });
  connect(aSavePlotAs, &QAction::triggered, this, [this] { aSavePlotAsExecute(); });
  connect(aPrintPlot, &QAction::triggered, this, [this] { aPrintPlotExecute(); });

  ChartPopupMenu = new QMenu(this);
  ChartPopupMenu->setObjectName(QStringLiteral("ChartPopupMenu"));
  ChartPopupMenu->addAction(aXLogarithm);
  N2 = ChartPopupMenu->addSeparator();
  ChartPopupMenu->addAction(aUndoZoom);
  ChartPopupMenu->addAction(aEditCopyData);
  ChartPopupMenu->addAction(aPlotDataSaveAs);
  ChartPopupMenu->addAction(aEditCopyPlot);
  ChartPopupMenu->addAction(aSavePlotAs);
  ChartPopupMenu->addAction(aPrintPlot);

  connect(AChart, &Charts::TChart::ContextMenuRequested, this, [this](const QPoint& pos) { PopupAt(pos); });
  connect(AChart, &Charts::TChart::DoubleClicked, this, [this] { AChartDblClick(); });
  connect(AChart, &Charts::TChart::Zoomed, this, [this] { AChartZoom(); });
  connect(AChart, &Charts::TChart::Resized, this, [this] { AChartResize(); });
  // Printed pages get the fonts and pens of their own size.
  AChart->SetOutputLayout([this](const QSize& size) { ScaleFontsFor(size); });
  AChartResize();
}

TChartForm::~TChartForm() = default;

void TChartForm::RestorePlots(int n) { (void)n; }

void TChartForm::ClearData() {
  AChart->ClearAllSeries();
  AChart->SetSubtitle(QString()); // its facts were about the curves
  AChart->Invalidate();
}

void TChartForm::FormCreate() {
  // The records of check points 0 … CurrentCheckPoint exist only between the
  // start of a run and the next Clear.
  const Engine::TSimState& state = Engine::SimState();
  if (!FHost || !FHost->RunStarted() || !state.CheckPointRecordsAllocated())
    return;
  const int n = std::clamp(FHost->CurrentCheckPoint(), 0, state.CheckPointsHigh);
  RestorePlots(n);
}

void TChartForm::FormPaint() {
  const QString file = FHost ? QFileInfo(FHost->ParameterFileName()).fileName() : QString();
  AChart->SetTitle(file.isEmpty() ? windowTitle() : windowTitle() + QStringLiteral(": ") + file);
}

void TChartForm::FormClose() {
  if (FHost)
    FHost->SaveFormPlacement(this, windowTitle());
  hide();
}

void TChartForm::AChartDblClick() {
  Charts::TChartEditor* editor = ChartEditor();
  editor->setWindowTitle(QStringLiteral("Editing ") + windowTitle() + QStringLiteral(" Chart"));
  editor->Reload();
  // Window-modal without a nested event loop: the run's calls go on being
  // served while the user edits.
  editor->open();
}

Charts::TChartEditor* TChartForm::ChartEditor() {
  if (!FChartEditor) {
    FChartEditor = new Charts::TChartEditor(AChart, this);
    FChartEditor->setObjectName(QStringLiteral("ChartEditor"));
  }
  return FChartEditor;
}

void TChartForm::ChartPopupMenuPopup() {
  aXLogarithm->setEnabled(AChart->SeriesCount() > 0 && AChart->PointCount(0) > 0);
  aXLogarithm->setChecked(AChart->AxisLogarithmic(TAxisId::Bottom));
}

void TChartForm::AChartResize() { ScaleFontsFor(AChart->size()); }

void TChartForm::ScaleFontsFor(const QSize& size) {
  const double scaling = FHost ? FHost->ScalingFactor() : 0.005;
  FFontScale = std::sqrt(static_cast<double>(size.width()) * size.height()) * scaling;
  const double s = FFontScale;
  for (TAxisId axis : {TAxisId::Bottom, TAxisId::Left, TAxisId::Right}) {
    AChart->SetAxisTitleFontSize(axis, RoundEven(4.0 * s));
    AChart->SetAxisLabelFontSize(axis, RoundEven(3.0 * s));
  }
  AChart->SetTitleFontSize(RoundEven(5.0 * s));
  const int pen = std::max(0, RoundEven(s - 0.8));
  for (int i = 0; i < AChart->SeriesCount(); ++i)
    AChart->SetSeriesPenWidth(i, pen);
}

void TChartForm::AChartZoom() {
  for (TAxisId axis : {TAxisId::Left, TAxisId::Bottom, TAxisId::Right}) {
    const QString format = ZoomAxisFormat(AChart->AxisMaximum(axis) - AChart->AxisMinimum(axis));
    if (!format.isEmpty())
      AChart->SetAxisValueFormat(axis, format);
  }
}

void TChartForm::aXLogarithmExecute() {
  aUndoZoomExecute();
  const bool logarithmic = !AChart->AxisLogarithmic(TAxisId::Bottom);
  AChart->SetAxisLogarithmic(TAxisId::Bottom, logarithmic);
  if (logarithmic) {
    // The first decade that holds data: the first non-zero X of the first
    // series (35 -> 10). Negative X has no place on the axis either.
    double minimum = AChart->AxisMinimum(TAxisId::Bottom);
    if (AChart->SeriesCount() > 0) {
      for (int i = 0; i < AChart->PointCount(0); ++i) {
        const double x = AChart->XValue(0, i);
        if (x > 0.0) {
          minimum = std::pow(10.0, std::floor(std::log10(x)));
          break;
        }
      }
    }
    AChart->SetAxisMinimum(TAxisId::Bottom, minimum);
  } else {
    AChart->SetAxisAutomaticMinimum(TAxisId::Bottom, true);
  }
  // Point 0 lies at X = 0 (the start of the run): hidden on a log axis.
  for (int s = 0; s < AChart->SeriesCount(); ++s)
    if (AChart->PointCount(s) > 0)
      AChart->SetNull(s, 0, logarithmic);
  aXLogarithm->setChecked(logarithmic);
  AChart->Refresh();
}

void TChartForm::aUndoZoomExecute() { AChart->UndoZoom(); }

std::vector<std::string> TChartForm::DataTable() const {
  std::vector<std::string> lines;
  const int seriesCount = AChart->SeriesCount();
  std::string header = AChart->AxisTitle(TAxisId::Bottom).toStdString();
  for (int s = 0; s < seriesCount; ++s)
    header += '\t' + AChart->SeriesTitle(s).toStdString();
  lines.push_back(std::move(header));

  // Rows F … L of the visible index range; the X column comes from the
  // series that reaches furthest (the first of several that tie).
  int first = -1;
  int last = -1;
  int xSeries = -1;
  for (int s = 0; s < seriesCount; ++s) {
    const int f = AChart->FirstVisibleIndex(s);
    const int l = AChart->LastVisibleIndex(s);
    if (l > last) {
      last = l;
      xSeries = s;
    }
    if (f >= 0 && (first < 0 || f < first))
      first = f;
  }
  if (xSeries < 0 || last < 0)
    return lines;
  first = std::max(first, 0);
  for (int r = first; r <= last; ++r) {
    std::string line = ChartNumberText(AChart->XValue(xSeries, r)).toStdString();
    for (int s = 0; s < seriesCount; ++s) {
      line += '\t';
      if (r < AChart->PointCount(s))
        line += ChartNumberText(AChart->YValue(s, r)).toStdString();
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string TChartForm::DataText() const {
  std::string text;
  for (const std::string& line : DataTable()) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void TChartForm::aEditCopyDataExecute() {
  try {
    const QString text = QString::fromStdString(DataText());
    QClipboard* clipboard = QApplication::clipboard();
    if (!clipboard)
      throw std::bad_alloc();
    clipboard->setText(text);
  } catch (const std::bad_alloc&) {
    ShowWarning(this, QStringLiteral("Warning"), QString::fromLatin1(LowMemoryWarning));
    Propagon::LogMessage(LowMemoryLogLine);
  }
}

void TChartForm::aPlotDataSaveAsExecute() {
  const QString fileName = QFileDialog::getSaveFileName(this, QStringLiteral("Save Data As"), QString(),
                                                        QStringLiteral("Text files (*.txt);;All files (*)"));
  if (!fileName.isEmpty())
    aPlotDataSaveAsAccept(fileName);
}

bool TChartForm::aPlotDataSaveAsAccept(const QString& fileName) {
  // Written beside the chosen file and renamed over it at the end: a full
  // disk or a refused write leaves an existing file as it was.
  QSaveFile file(fileName);
  bool written = file.open(QIODevice::WriteOnly);
  if (written) {
    for (const std::string& line : DataTable()) {
      const std::string ended = line + "\r\n";
      if (file.write(ended.data(), static_cast<qint64>(ended.size())) != static_cast<qint64>(ended.size())) {
        written = false;
        break;
      }
    }
  }
  // Flushed before the commit: QSaveFile::commit (Qt 6.4) renames even when
  // the last buffered bytes could not be written.
  if (written)
    written = file.flush();
  if (written)
    written = file.commit();
  const QString error = file.errorString();
  if (!written)
    file.cancelWriting();
  if (!written) {
    ShowError(this, QStringLiteral("Error"), QStringLiteral("Cannot write %1:\n%2").arg(fileName, error));
    return false;
  }
  return true;
}

bool TChartForm::aEditCopyPlotExecute() {
  const TBackgroundGuard guard(AChart);
  return AChart->CopyToClipboard();
}

void TChartForm::aSavePlotAsExecute() {
  QString filter;
  QString fileName = QFileDialog::getSaveFileName(this, QStringLiteral("Save Plot As"), windowTitle(),
                                                  ChartPictureFilters(), &filter);
  if (fileName.isEmpty())
    return;
  if (QFileInfo(fileName).suffix().isEmpty())
    fileName += filter.contains(QLatin1String("svg")) ? QStringLiteral(".svg")
                : filter.contains(QLatin1String("pdf")) ? QStringLiteral(".pdf")
                                                        : QStringLiteral(".png");
  int dpi = 300;
  if (QFileInfo(fileName).suffix().compare(QLatin1String("png"), Qt::CaseInsensitive) == 0) {
    bool ok = false;
    dpi = QInputDialog::getInt(this, QStringLiteral("Save Plot As"), QStringLiteral("Resolution (dots per inch):"),
                               300, 72, 1200, 50, &ok);
    if (!ok)
      return;
  }
  aSavePlotAsAccept(fileName, dpi);
}

bool TChartForm::aSavePlotAsAccept(QString fileName, int dpi) {
  const TBackgroundGuard guard(AChart);
  QString error;
  if (!SaveChartPicture(*AChart, fileName, dpi, error)) {
    ShowError(this, QStringLiteral("Error"), QStringLiteral("Cannot write %1:\n%2").arg(fileName, error));
    return false;
  }
  return true;
}

void TChartForm::aPrintPlotExecute() {
  QPrinter printer;
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() == QDialog::Accepted)
    aPrintPlotAccept(printer);
}

bool TChartForm::aPrintPlotAccept(QPrinter& printer) {
  printer.setDocName(QStringLiteral("AChart"));
  const TBackgroundGuard guard(AChart);
  return AChart->Print(printer);
}

QAction* TChartForm::InsertMenuItems(const std::vector<QAction*>& actions) {
  QAction* before = aXLogarithm;
  for (QAction* action : actions)
    ChartPopupMenu->insertAction(before, action);
  return ChartPopupMenu->insertSeparator(before);
}

void TChartForm::AddStartPoint(int series, double y) {
  if (AChart->AxisLogarithmic(Charts::TAxisId::Bottom))
    AChart->AddNull(series, 0.0, y);
  else
    AChart->AddXY(series, 0.0, y);
}

bool TChartForm::StateBusy() const { return FHost && FHost->SimulationRunning() && !FHost->SimulationPaused(); }

void TChartForm::SetUpAverageLabels(int labelSeries, const QColor& background) {
  Charts::TMarkStyle style;
  style.Angle = 90.0;
  style.Arrow = false;
  style.ArrowLength = 20;
  style.Frame = false;
  style.Background = background;
  style.Transparency = 70;
  style.HorizontalMargin = 10;
  AChart->SetMarkStyle(labelSeries, style);
  AChart->SetMarksVisible(labelSeries, true);
}

void TChartForm::DrawAverageMarkers(int mnSeries, int mwSeries, int labelSeries, double xMn, double xMw,
                                    double top) {
  AChart->AddXY(mnSeries, xMn, 0.0);
  AChart->AddXY(mnSeries, xMn, top);
  AChart->AddXY(mwSeries, xMw, 0.0);
  AChart->AddXY(mwSeries, xMw, top);
  AChart->AddXY(labelSeries, xMn, 0.0);
  AChart->AddXY(labelSeries, xMw, 0.0);
}

void TChartForm::LiftAverageLabels(int labelSeries) {
  if (!isWindow() || AChart->PointCount(labelSeries) == 0)
    return;
  const double width = AChart->MarkWidth(labelSeries, 0);
  if (width <= 0.0)
    return;
  Charts::TMarkStyle style = AChart->MarkStyle(labelSeries);
  style.ArrowLength = static_cast<int>(std::lround(width / 2.0));
  AChart->SetMarkStyle(labelSeries, style);
}

void TChartForm::PopupAt(const QPoint& globalPos) {
  ChartPopupMenuPopup();
  ChartPopupMenu->popup(globalPos);
}

void TChartForm::closeEvent(QCloseEvent* event) {
  // Closing never destroys a chart window: only the plot selection does.
  FormClose();
  event->ignore();
}

void TChartForm::showEvent(QShowEvent* event) {
  FormPaint();
  QWidget::showEvent(event);
}

void TChartForm::paintEvent(QPaintEvent* event) {
  // Another parameter file may have been opened since the last paint.
  FormPaint();
  QWidget::paintEvent(event);
}

void TChartForm::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowTitleChange)
    FormPaint();
  QWidget::changeEvent(event);
}

void TChartForm::contextMenuEvent(QContextMenuEvent* event) { PopupAt(event->globalPos()); }

} // namespace Plots
