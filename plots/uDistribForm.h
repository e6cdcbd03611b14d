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

#include "plots/uLiveViewForm.h"
#include "plots/uLiveViewTools.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

class QAction;

namespace Plots {

class TLiveViewHost;

class TDistributionForm : public TLiveViewForm {
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
  // aEditCopyPlotExecute, aPrintPlotExecute, aPrintPlotAccept: TLiveViewForm.

  // ---- state, for the program and its tests ----

  // The data text of Copy Data and Save Data As (header only without data).
  std::string DataText() const;
  // The picture of Copy Plot and Print Plot.
  QImage PlotPicture() override;
  // Scale of the last full repaint.
  TDistributionScale Scale() const { return FScale; }
  // PlotImage (the bar area's own picture, index 0 white, 1 black),
  // FlushPainting, MarkStale, PopupMenu, aEditCopyPlot, aPrintPlot:
  // TLiveViewForm.
  int PaintHeight() const;

  QAction* aEditCopyData() const { return FEditCopyData; }
  QAction* aPlotDataSaveAs() const { return FPlotDataSaveAs; }

  // Ruler geometry (for the program's tests): the x of the tick of DP 100*i
  // in PlotPanel coordinates, and PaintBox's left edge there.
  int RulerTickX(int i) const;
  int PaintBoxLeft() const;

protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void LayOut() override { PlotPanelResize(); }
  void Repaint() override { PaintBoxPaint(); }
  bool Live() const override;
  void CoordinatesPaintBoxPaint(QPainter& painter) override;

private:
  void PlotPanelResize();
  bool HistogramExists() const;
  static bool StoreHistogramExists();
  void TakeHistogram() const;
  void FollowCounts(std::initializer_list<std::int32_t> dps);
  bool RepaintIfNew();
  // Moves the top of column x: erase above the new top, draw from it down.
  void EraseAbove(int dp, int length);
  void DrawFromTop(int dp, int length);

  QAction* FEditCopyData;
  QAction* FPlotDataSaveAs;

  int FHalfText = 6;        // h: half the text height of "0" in the ruler font
  TDistributionScale FScale;
  // The histogram as last read from the store at a safe moment; painting,
  // Copy Data and Save Data As use it while a run is changing the store.
  mutable std::vector<std::int32_t> FHistogram;
};

} // namespace Plots
