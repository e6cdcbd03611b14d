#pragma once
// DP distribution view: the number of chains of every degree of
// polymerization as a bar chart with one pixel column per DP (DP 1 ... 2999),
// painted directly and kept up to date event by event during a run.
//
// Threading: every function runs on the window thread. The simulation thread
// reaches the view through the program's observer, whose calls run here while
// the simulation thread waits; only inside those calls, while the run is
// paused and after it has ended does the view read the chain store
// (Engine::SimState()). A repaint the system asks for at any other moment
// shows the picture as it was last painted and catches up on the next safe
// occasion; Copy Data and Save Data As then give the histogram as the view
// last read it (at the last check point, or at the last event while live).
//
// Live painting is approximate by design: between two full repaints (one per
// check point) the bar scale stays as it was, and each event only moves the
// top of one or two bars. As long as no bar outgrows the picture the result
// is pixel for pixel what a full repaint with the same scale paints.

#include "plots/uLiveViewTools.h"

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QPrinter;
class QScrollArea;

namespace Plots {

class TLiveViewHost;
class TPaintBox;

class TDistributionForm : public QWidget {
  Q_OBJECT

public:
  // Caption and settings section of the view while docked.
  static constexpr const char* DockedCaption = "DP Dist.";
  // Width of the bar area: DP 0 ... 2999, one pixel each.
  static constexpr int PlotWidth = 3000;
  static constexpr int MaxPlotHeight = 1200;

  explicit TDistributionForm(TLiveViewHost* host = nullptr, QWidget* parent = nullptr);
  ~TDistributionForm() override;

  // ---- called by the run (through the observer) and the main window ----

  // Full repaint from the DP histogram; also sets the caption. The run calls
  // it at every check point while the view is live.
  void PaintBoxPaint();
  // One chain moved from LastDPChange.FromDP1 to LastDPChange.ToDP2.
  void ShowOneChainChange();
  // A giving chain FromDP1 -> ToDP1 and a receiving chain FromDP2 -> ToDP2.
  void ShowTwoChainsChange();
  // White bar area with a black frame (the main window's Clear).
  void ClearPaintBox();

  // ---- context menu ----

  // Copy Data and Save Data As are offered only while a histogram exists.
  void PopupMenuPopup();
  void aEditCopyDataExecute();
  // Asks for a file, then aPlotDataSaveAsAccept.
  void aPlotDataSaveAsExecute();
  // Writes the data text to `fileName`; a failure is shown with the system's
  // error text and false returned.
  bool aPlotDataSaveAsAccept(const QString& fileName);
  void aEditCopyPlotExecute();
  // Print dialog, then aPrintPlotAccept.
  void aPrintPlotExecute();
  bool aPrintPlotAccept(QPrinter& printer);

  // ---- state, for the program and its tests ----

  // The data text of Copy Data and Save Data As (header only without data).
  std::string DataText() const;
  // The picture of Copy Plot and Print Plot.
  QImage PlotPicture();
  // Scale of the last full repaint.
  TDistributionScale Scale() const { return FScale; }
  // The bar area's own picture (index 0 white, 1 black).
  const QImage& PlotImage() const;
  int PaintHeight() const;
  // Shows pending pixel changes on the screen now.
  void FlushPainting();
  // The store changed while the view could not read it: repaint when safe.
  void MarkStale();

  QMenu* PopupMenu() const { return FPopupMenu; }
  QAction* aEditCopyData() const { return FEditCopyData; }
  QAction* aPlotDataSaveAs() const { return FPlotDataSaveAs; }
  QAction* aEditCopyPlot() const { return FEditCopyPlot; }
  QAction* aPrintPlot() const { return FPrintPlot; }

  // Ruler geometry (for the program's tests): the x of the tick of DP 100*i
  // in PlotPanel coordinates, and PaintBox's left edge there.
  int RulerTickX(int i) const;
  int PaintBoxLeft() const;

protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  class TRuler;
  friend class TRuler;

  void PlotPanelResize();
  void CoordinatesPaintBoxPaint(QPainter& painter);
  void UpdateCaption();
  bool Floating() const;
  bool StoreReadable() const;
  bool HistogramExists() const;
  static bool StoreHistogramExists();
  void TakeHistogram() const;
  void FollowCounts(std::initializer_list<std::int32_t> dps);
  bool RepaintIfNew();
  // Moves the top of column x: erase above the new top, draw from it down.
  void EraseAbove(int dp, int length);
  void DrawFromTop(int dp, int length);
  void FormClose();
  void RepaintWhenReadable();

  TLiveViewHost* FHost;
  QScrollArea* FScrollBox1;
  QWidget* FPlotPanel;
  TPaintBox* FPaintBox;
  TRuler* FCoordinatesPaintBox;
  QMenu* FPopupMenu;
  QAction* FEditCopyData;
  QAction* FPlotDataSaveAs;
  QAction* FEditCopyPlot;
  QAction* FPrintPlot;

  double FScale5 = 1.0;     // s5: font scale from the window size
  int FHalfText = 6;        // h: half the text height of "0" in the ruler font
  TDistributionScale FScale;
  // The histogram as last read from the store at a safe moment; painting,
  // Copy Data and Save Data As use it while a run is changing the store.
  mutable std::vector<std::int32_t> FHistogram;
  bool FStale = true;       // the picture may not show the current histogram
  bool FPainting = false;
  QTimer FStaleTimer;
};

} // namespace Plots
