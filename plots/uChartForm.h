#pragma once
// The common base of every chart window (kinetics, DP averages, dyads,
// centres, molar-mass distribution, SEC trace, MALDI spectrum).
//
// A chart window owns one chart, AChart, that fills it, and gives every chart
// window the same context menu: X-Logarithm, Undo Zoom, Copy Data, Save Data
// As, Copy Plot and Print Plot. It scales fonts and pens with its size, adapts
// the number format of the axis labels after a zoom, shows the parameter file
// name in the chart title, saves its placement when it is closed (closing
// only hides it) and rebuilds its curves from the recorded results when it is
// created after a run has started.
//
// Construction: a subclass sets up its series in its constructor and calls
// FormCreate() last, so RestorePlots reaches the subclass's override.
//
// Threading: window thread only. The run reaches a chart window through the
// observer's calls, which run on the window thread while the simulation
// thread waits (see engine/uSimObserver.h); that is the only time, besides a
// pause and the end of the run, when a window reads the simulation state.

#include <QString>
#include <QWidget>

#include <string>
#include <vector>

class QAction;
class QColor;
class QMenu;
class QPrinter;

namespace Charts {
class TChart;
class TChartEditor;
}

namespace Plots {

class TPlotHost;

class TChartForm : public QWidget {
  Q_OBJECT

public:
  // Design size of the client area.
  static constexpr int DesignWidth = 535;
  static constexpr int DesignHeight = 348;

  explicit TChartForm(TPlotHost* host = nullptr, QWidget* parent = nullptr);
  ~TChartForm() override;

  // Rebuilds the curves from the recorded results up to check point n
  // (CurrentCheckPoint). Nothing in the base.
  virtual void RestorePlots(int n);

  // Removes every point of every series (the main window's Clear).
  void ClearData();

  // Windows that compute from the chain statistics rather than from the
  // check-point records override these. End of a run, after the final
  // statistics: recompute (the SEC trace, the smoothed distributions).
  virtual void EndOfRunStatistics() {}
  // A paused run, after the statistics of the paused state: recompute.
  virtual void RecalculateOnPause() {}
  // A run started, ended, was paused or resumed (window thread, after the
  // main window's own state changed).
  virtual void RunStateChanged() {}

  // ---- event handlers -------------------------------------------------------
  // When a run has been started and its records are held: RestorePlots.
  void FormCreate();
  // Chart title := caption + ": " + file name of the parameter file.
  void FormPaint();
  // Saves the placement under the caption and hides the window.
  void FormClose();
  // Opens the chart editor titled "Editing <caption> Chart".
  void AChartDblClick();
  // Before the context menu opens: X-Logarithm enabled when the first
  // series has a point, checked when the bottom axis is logarithmic.
  virtual void ChartPopupMenuPopup();
  // Font sizes and pen widths from the chart's size and ScalingFactor.
  virtual void AChartResize();
  // The same for a chart laid out at `size` (the window, or a printed page).
  void ScaleFontsFor(const QSize& size);
  // Value formats of the three axes from their ranges after a user's zoom.
  virtual void AChartZoom();

  // ---- actions ----------------------------------------------------------------
  void aXLogarithmExecute();
  void aUndoZoomExecute();
  // Puts the data table on the clipboard as text.
  void aEditCopyDataExecute();
  // Asks for a file name, then aPlotDataSaveAsAccept.
  void aPlotDataSaveAsExecute();
  // Writes the data table to `fileName`; a failure is shown to the user with
  // the system's error text and false returned.
  bool aPlotDataSaveAsAccept(const QString& fileName);
  // SVG, PDF and PNG of the chart (transparent background) to the clipboard.
  bool aEditCopyPlotExecute();
  // Save dialog (PNG, SVG or PDF; a PNG asks for its resolution), then
  // aSavePlotAsAccept.
  void aSavePlotAsExecute();
  // Writes the picture (format by extension, dpi for PNG); an error box and
  // false when it cannot be written.
  bool aSavePlotAsAccept(QString fileName, int dpi);
  // Print dialog, then aPrintPlotAccept.
  void aPrintPlotExecute();
  // Prints the chart as the job "AChart" within the print margins.
  bool aPrintPlotAccept(QPrinter& printer);

  // ---- for the program and its tests ------------------------------------------
  // The data table of Copy Data and Save Data As, one string per line
  // (without line ends): the header, then the rows of the visible index range.
  std::vector<std::string> DataTable() const;
  // The table as one text, every line ended by "\r\n".
  std::string DataText() const;
  // Font scale s of the last resize.
  double FontScale() const { return FFontScale; }
  // The chart editor (created on first use).
  Charts::TChartEditor* ChartEditor();
  TPlotHost* Host() const { return FHost; }

  Charts::TChart* AChart = nullptr;
  QMenu* ChartPopupMenu = nullptr;
  QAction* aXLogarithm = nullptr;
  QAction* aUndoZoom = nullptr;
  QAction* aEditCopyData = nullptr;
  QAction* aPlotDataSaveAs = nullptr;
  QAction* aEditCopyPlot = nullptr;
  QAction* aSavePlotAs = nullptr;
  QAction* aPrintPlot = nullptr;
  // The separator below X-Logarithm.
  QAction* N2 = nullptr;

protected:
  // Puts subclass items above the base items of the context menu, followed
  // by a separator (returned).
  QAction* InsertMenuItems(const std::vector<QAction*>& actions);

  // (0, y) as the first point of `series`, where every curve that follows
  // the check points starts: a gap on a logarithmic time axis, which has no
  // place for 0, a point otherwise.
  void AddStartPoint(int series, double y = 0.0);

  // A run is going and not paused: it may be rebuilding the chain
  // statistics right now.
  bool StateBusy() const;

  // Windows that compute from the chain statistics (mass distribution, SEC
  // trace) mark Mn and Mw with two dashed vertical lines and a series of two
  // turned labels.
  // Label style of the marker series: turned upright, no frame or arrow,
  // on a half-transparent `background`; marks shown.
  void SetUpAverageLabels(int labelSeries, const QColor& background);
  // The lines at xMn and xMw from 0 to `top`, the labels at their feet.
  void DrawAverageMarkers(int mnSeries, int mwSeries, int labelSeries, double xMn, double xMw, double top);
  // A floating window lifts its turned labels by half the first label's
  // length, clear of the axis; docked they keep the design distance.
  void LiftAverageLabels(int labelSeries);

  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

  TPlotHost* FHost;

private:
  void PopupAt(const QPoint& globalPos);

  Charts::TChartEditor* FChartEditor = nullptr;
  double FFontScale = 1.0;
};

// The text of a number in chart data: general format, at most 10 significant
// digits, the locale's decimal separator (1234.5, 0.00012, 1.2E-5).
QString ChartNumberText(double value);

// The value-format pattern for an axis range after a zoom: the first n
// characters of "0.###############", n = max(3, -trunc(log10(range) - 4));
// empty when the range is not positive (the axis keeps its format).
QString ZoomAxisFormat(double range);

} // namespace Plots
