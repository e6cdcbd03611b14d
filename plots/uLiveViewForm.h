#pragma once
// What the two painted live views (DP distribution, chain microstructure)
// share as windows: a scroll box holding a panel with the picture and its
// ruler, the rules for when the chain store may be read and a picture that
// lags behind it is repainted, the caption, the Copy Plot and Print Plot
// actions and closing by hiding.
//
// Threading: window thread only (see uDistribForm.h).

#include <QImage>
#include <QTimer>
#include <QWidget>

class QAction;
class QMenu;
class QPainter;
class QPrinter;
class QScrollArea;

namespace Plots {

class TLiveViewHost;
class TPaintBox;

class TLiveViewForm : public QWidget {
  Q_OBJECT

public:
  ~TLiveViewForm() override;

  void aEditCopyPlotExecute();
  // Print dialog, then aPrintPlotAccept.
  void aPrintPlotExecute();
  bool aPrintPlotAccept(QPrinter& printer);

  // The picture of Copy Plot and Print Plot.
  virtual QImage PlotPicture() = 0;
  // The picture area's own image (palette indices, see TPaintBox).
  const QImage& PlotImage() const;
  // Shows pending pixel changes on the screen now.
  void FlushPainting();
  // The store changed while the view could not read it: repaint when safe.
  void MarkStale();

  QMenu* PopupMenu() const { return FPopupMenu; }
  QAction* aEditCopyPlot() const { return FEditCopyPlot; }
  QAction* aPrintPlot() const { return FPrintPlot; }

protected:
  // How one view differs in its frame: names, captions and the scroll bars.
  struct TFrame {
    const char* ObjectName;
    // Caption while docked; the floating caption is FloatingCaption followed
    // by the parameter file's name.
    const char* DockedCaption;
    const char* FloatingCaption;
    // Settings section of the window placement.
    const char* PlacementSection;
    QSize InitialSize;
    Qt::ScrollBarPolicy VerticalScrollBar;
    Qt::ScrollBarPolicy HorizontalScrollBar;
    int PaletteSize;
  };

  TLiveViewForm(TLiveViewHost* host, QWidget* parent, const TFrame& frame);

  // The view's own layout of panel, ruler and picture (on every resize).
  virtual void LayOut() = 0;
  // Full repaint from the store in the current mode.
  virtual void Repaint() = 0;
  // Whether the run paints this view event by event.
  virtual bool Live() const = 0;
  // Paints the ruler beside the picture.
  virtual void CoordinatesPaintBoxPaint(QPainter& painter) = 0;

  // Creates Copy Plot and Print Plot (shortcuts, icons, window actions) and
  // the empty popup menu; the view adds its actions in its own order.
  void CreatePlotActions();

  bool StoreReadable() const;
  bool Floating() const;
  void UpdateCaption();
  void RepaintWhenReadable();

  // The panel as the user sees it, on white, into a picture of `size`
  // (the panel's palette is put back afterwards).
  QImage CapturePlotPanel(QSize size);
  // The picture area where the scroll box shows it, in window coordinates.
  QRect VisiblePaintBox() const;

  // Ruler font: the window font scaled with FScale5, plus `extraPoints`.
  QFont RulerFont(int extraPoints = 0) const;
  // Top-left text placement as the original canvas did it: (x, y) is the
  // top-left corner of the text cell, not the baseline.
  static void TextOut(QPainter& painter, int x, int y, const QString& text);

  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

  void FormClose();

  TFrame FFrame;
  TLiveViewHost* FHost;
  QScrollArea* FScrollBox1;
  QWidget* FPlotPanel;
  TPaintBox* FPaintBox;
  QWidget* FCoordinatesPaintBox;  // the ruler; paints with CoordinatesPaintBoxPaint
  QMenu* FPopupMenu = nullptr;
  QAction* FEditCopyPlot = nullptr;
  QAction* FPrintPlot = nullptr;
  QTimer FStaleTimer;

  double FScale5 = 1.0;  // s5: font scale from the window size
  bool FStale = true;     // the picture may not show the store
  bool FPainting = false; // a full repaint is under way

private:
  class TRuler;
};

} // namespace Plots
