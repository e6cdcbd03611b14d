#include "plots/uLiveViewForm.h"

#include "params/uNumberFormat.h"
#include "plots/uLiveViewHost.h"
#include "plots/uLiveViewTools.h"
#include "plots/uPaintBox.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMenu>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace Plots {

// The ruler beside the picture; it paints through the form, which knows the
// scale and the scroll position.
class TLiveViewForm::TRuler : public QWidget {
public:
  TRuler(TLiveViewForm* form, QWidget* parent) : QWidget(parent), FForm(form) {}

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    FForm->CoordinatesPaintBoxPaint(painter);
  }

private:
  TLiveViewForm* FForm;
};

TLiveViewForm::TLiveViewForm(TLiveViewHost* host, QWidget* parent, const TFrame& frame)
    : QWidget(parent), FFrame(frame), FHost(host) {
  setObjectName(QString::fromLatin1(frame.ObjectName));
  setWindowTitle(QString::fromLatin1(frame.DockedCaption));
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  resize(frame.InitialSize);

  FScrollBox1 = new QScrollArea(this);
  FScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
  FScrollBox1->setWidgetResizable(false);
  FScrollBox1->setVerticalScrollBarPolicy(frame.VerticalScrollBar);
  FScrollBox1->setHorizontalScrollBarPolicy(frame.HorizontalScrollBar);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(FScrollBox1);

  FPlotPanel = new QWidget;
  FPlotPanel->setObjectName(QStringLiteral("PlotPanel"));
  FPaintBox = new TPaintBox(FPlotPanel, frame.PaletteSize);
  FPaintBox->setObjectName(QStringLiteral("PaintBox"));
  FCoordinatesPaintBox = new TRuler(this, FPlotPanel);
  FCoordinatesPaintBox->setObjectName(QStringLiteral("CoordinatesPaintBox"));
  FScrollBox1->setWidget(FPlotPanel);
  FScrollBox1->viewport()->installEventFilter(this);
  FPaintBox->installEventFilter(this);
  FStaleTimer.setInterval(50);
  connect(&FStaleTimer, &QTimer::timeout, this, &TLiveViewForm::RepaintWhenReadable);
}

TLiveViewForm::~TLiveViewForm() = default;

void TLiveViewForm::CreatePlotActions() {
  FEditCopyPlot = new QAction(QStringLiteral("Copy P&lot"), this);
  FEditCopyPlot->setObjectName(QStringLiteral("aEditCopyPlot"));
  FEditCopyPlot->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  FEditCopyPlot->setToolTip(QStringLiteral("Copy"));
  FEditCopyPlot->setStatusTip(QStringLiteral("Copies the Plot Picture and puts it on the Clipboard"));
  FEditCopyPlot->setIcon(MenuIcon("image-x-generic", QStyle::SP_FileIcon));
  connect(FEditCopyPlot, &QAction::triggered, this, &TLiveViewForm::aEditCopyPlotExecute);

  FPrintPlot = new QAction(QStringLiteral("&Print Plot"), this);
  FPrintPlot->setObjectName(QStringLiteral("aPrintPlot"));
  FPrintPlot->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  FPrintPlot->setIcon(MenuIcon("document-print", QStyle::SP_ComputerIcon));
  connect(FPrintPlot, &QAction::triggered, this, &TLiveViewForm::aPrintPlotExecute);

  FPopupMenu = new QMenu(this);
  FPopupMenu->setObjectName(QStringLiteral("PopupMenu"));
}

// ---- store access -------------------------------------------------------------

bool TLiveViewForm::StoreReadable() const {
  // Inside the run's synchronous calls the view is called directly and does
  // not ask; this answers for repaints the window system requests.
  return FHost == nullptr || !FHost->SimulationRunning() || FHost->SimulationPaused();
}

const QImage& TLiveViewForm::PlotImage() const { return FPaintBox->Image(); }

void TLiveViewForm::FlushPainting() { FPaintBox->FlushUpdates(); }

void TLiveViewForm::MarkStale() {
  FStale = true;
  RepaintWhenReadable();
}

void TLiveViewForm::RepaintWhenReadable() {
  if (!FStale) {
    FStaleTimer.stop();
  } else if (StoreReadable()) {
    FStaleTimer.stop();
    Repaint();
  } else if (!FStaleTimer.isActive()) {
    // The run writes the store (or is still on its way to the pause gate):
    // look again shortly, so the picture catches up as soon as the run
    // pauses or ends.
    FStaleTimer.start();
  }
}

// ---- layout and caption -----------------------------------------------------------

void TLiveViewForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

bool TLiveViewForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FScrollBox1->viewport() && event->type() == QEvent::Resize) {
    LayOut();
  } else if (watched == FPaintBox && event->type() == QEvent::Paint && !FPainting) {
    // A repaint the window system asked for shows the store when it may be
    // read. While the run writes the store a live picture follows it event
    // by event; one that is not live (or has lost its contents) catches up
    // as soon as the store may be read.
    if (!StoreReadable()) {
      if (FStale || !Live()) MarkStale();
    } else if (FStale) {
      Repaint();
    }
  }
  return QWidget::eventFilter(watched, event);
}

QFont TLiveViewForm::RulerFont(int extraPoints) const {
  QFont f = font();
  f.setPointSize(std::max(1, static_cast<int>(Propagon::RoundHalfEven(4 * FScale5)) + extraPoints));
  return f;
}

void TLiveViewForm::TextOut(QPainter& painter, int x, int y, const QString& text) {
  painter.drawText(x, y + painter.fontMetrics().ascent(), text);
}

bool TLiveViewForm::Floating() const { return FHost ? FHost->IsFloating(this) : isWindow(); }

void TLiveViewForm::UpdateCaption() {
  if (Floating()) {
    const QString file = FHost ? QFileInfo(FHost->ParameterFileName()).fileName() : QString();
    setWindowTitle(QString::fromLatin1(FFrame.FloatingCaption) + file);
  } else {
    setWindowTitle(QString::fromLatin1(FFrame.DockedCaption));
  }
}

// ---- Copy Plot and Print Plot --------------------------------------------------------

QImage TLiveViewForm::CapturePlotPanel(QSize size) {
  // White panel background for the picture only; the guard puts the old
  // look back whatever happens on the way.
  struct TBackgroundGuard {
    QWidget* Panel;
    QPalette Old;
    bool OldFill;
    ~TBackgroundGuard() {
      Panel->setPalette(Old);
      Panel->setAutoFillBackground(OldFill);
    }
  } guard{FPlotPanel, FPlotPanel->palette(), FPlotPanel->autoFillBackground()};
  QPalette white = FPlotPanel->palette();
  white.setColor(QPalette::Window, Qt::white);
  FPlotPanel->setPalette(white);
  FPlotPanel->setAutoFillBackground(true);
  FlushPainting();

  const QPoint panel = FPlotPanel->mapTo(this, QPoint(0, 0));
  return CaptureVisiblePart(this, size, panel + QPoint(2, 2));
}

QRect TLiveViewForm::VisiblePaintBox() const {
  const QRect viewport(FScrollBox1->viewport()->mapTo(this, QPoint(0, 0)), FScrollBox1->viewport()->size());
  return QRect(FPaintBox->mapTo(this, QPoint(0, 0)), FPaintBox->size()) & viewport;
}

void TLiveViewForm::aEditCopyPlotExecute() { QApplication::clipboard()->setImage(PlotPicture()); }

void TLiveViewForm::aPrintPlotExecute() {
  QPrinter printer;
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() == QDialog::Accepted) aPrintPlotAccept(printer);
}

bool TLiveViewForm::aPrintPlotAccept(QPrinter& printer) { return PrintPicture(printer, PlotPicture()); }

// ---- closing ------------------------------------------------------------------------------

void TLiveViewForm::closeEvent(QCloseEvent* event) {
  // Closing only hides the view; the plot selection decides when it goes.
  FormClose();
  event->ignore();
  hide();
}

void TLiveViewForm::FormClose() {
  if (FHost) FHost->SaveFormPlacement(this, QString::fromLatin1(FFrame.PlacementSection));
}

} // namespace Plots
