#pragma once
// The program's chart: a widget that every chart window of the program owns.
//
// A chart holds an ordered list of series. A series is an ordered list of X/Y
// points; a point may be a null point, which keeps its place (its index and
// X value) but is not drawn, so the line is interrupted there. Series are
// drawn in list order (later series over earlier ones); the legend and every
// index-based query follow the same order.
//
// Three axes: bottom (X of every series), left and right (Y; each series
// names its vertical axis). Each axis has a title, a minimum and a maximum
// that are either fixed or follow the data, a logarithmic and an inverted
// mode, a value-format pattern (the program's number-format patterns, e.g.
// "0.###", "#,##0.0000", "0.0e-0") and optionally a list of custom labels
// that replace the automatic ones.
//
// The user zooms by dragging a rectangle with the left mouse button towards
// the lower right; dragging towards the upper left undoes one zoom step.
// Every zoom step is kept in a history so that UndoZoom returns to the
// previous view and finally to the unzoomed one. Dragging with the right
// button pans the view (when panning is allowed); a right click without
// dragging asks for the context menu.
//
// Series indices are 0-based positions in the list; point indices are
// 0-based positions in a series. Out-of-range indices are ignored by setters
// and give neutral values (0, empty text, -1) from getters, never a crash.
//
// All methods run on the window thread.

#include <QColor>
#include <QImage>
#include <QPen>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QPrinter;

namespace Charts {

enum class TAxisId { Bottom = 0, Left = 1, Right = 2 };

// Which directions a right-button drag may move the view.
enum class TPanning { None, Horizontal, Vertical, Both };

// How the text marks of one series look. Marks sit above their point,
// ArrowLength pixels away, joined to it by a line when Arrow is set.
struct TMarkStyle {
  double Angle = 0.0;            // degrees, counter-clockwise; 90 reads upwards
  bool Arrow = true;             // line from the point to the mark
  int ArrowLength = 8;           // pixels between point and mark
  bool Frame = true;             // thin frame around the text
  QColor Background = QColor(255, 255, 225);
  int Transparency = 0;          // percent of the background that shows through
  QColor TextColor = Qt::black;
  int HorizontalMargin = 2;      // pixels left and right of the text
};

// Pictures for the clipboard, files and the printer are often read in grey
// scale. Their series pens are drawn darker than the screen's when the
// colour's grey value (qGray, 0 black … 255 white) exceeds MaxOutputGrey, in
// the same hue, and at least 2 pixels wide when it exceeds MaxThinPenGrey: a
// 1-pixel line in a light colour almost vanishes on paper. The screen keeps
// the series' own colours and widths.
constexpr int MaxOutputGrey = 150;
constexpr int MaxThinPenGrey = 100;
QPen OutputPen(const QColor& color, int width, Qt::PenStyle style);

// Margins in percent of the page (printing) or of the chart (layout).
struct TMarginsPercent {
  double Left = 0.0;
  double Top = 0.0;
  double Right = 0.0;
  double Bottom = 0.0;
};

class TChart : public QWidget {
  Q_OBJECT

public:
  // Receives the series index and the point index; returns the mark text
  // (empty: no mark at that point).
  using TMarkTextFunction = std::function<QString(int series, int index)>;

  explicit TChart(QWidget* parent = nullptr);
  ~TChart() override;
  TChart(const TChart&) = delete;
  TChart& operator=(const TChart&) = delete;

  // ---- series -------------------------------------------------------------
  // Appends a series and returns its index.
  int AddSeries(const QString& title, const QColor& color, TAxisId verticalAxis = TAxisId::Left);
  int SeriesCount() const;
  // Moves a series to another place in the order (drawing, legend, data).
  void MoveSeries(int from, int to);

  // Points. AddXY/AddNull return the index of the new point, or -1.
  int AddXY(int series, double x, double y);
  int AddNull(int series, double x, double y = 0.0);
  // Replaces all points of a series at once (x and y of equal length; the
  // shorter length is used otherwise). No null points.
  void SetPoints(int series, const std::vector<double>& x, const std::vector<double>& y);
  // New Y values for the points a series has, its X kept (a recalculated
  // curve on the same axis: no need to copy a million X values again). Null
  // flags are cleared as by SetPoints; values beyond the last point are
  // ignored, as SetPoints ignores the longer vector's tail. False, and
  // nothing changed, when y has fewer values than the series has points.
  bool SetYValues(int series, const std::vector<double>& y);
  void ClearSeries(int series);
  void ClearAllSeries();
  int PointCount(int series) const;
  double XValue(int series, int index) const;
  double YValue(int series, int index) const;
  bool IsNull(int series, int index) const;
  // A null point keeps its values; turning it normal again shows it at them.
  void SetNull(int series, int index, bool null);

  QString SeriesTitle(int series) const;
  void SetSeriesTitle(int series, const QString& title);
  QColor SeriesColor(int series) const;
  void SetSeriesColor(int series, const QColor& color);
  Qt::PenStyle SeriesPenStyle(int series) const;
  void SetSeriesPenStyle(int series, Qt::PenStyle style);
  int SeriesPenWidth(int series) const;
  void SetSeriesPenWidth(int series, int pixels);
  bool SeriesVisible(int series) const;
  void SetSeriesVisible(int series, bool visible);
  bool SeriesInLegend(int series) const;
  void SetSeriesInLegend(int series, bool inLegend);
  // Whether the line is drawn at all (a series of marks alone has none).
  bool SeriesLineVisible(int series) const;
  void SetSeriesLineVisible(int series, bool visible);
  TAxisId SeriesVerticalAxis(int series) const;
  void SetSeriesVerticalAxis(int series, TAxisId axis);

  // First and last index of the points of a series whose X lies within the
  // bottom axis's current (possibly zoomed) range; -1 and -1 when none does.
  int FirstVisibleIndex(int series) const;
  int LastVisibleIndex(int series) const;

  // ---- point marks --------------------------------------------------------
  void SetMarkTextFunction(int series, TMarkTextFunction function);
  bool MarksVisible(int series) const;
  void SetMarksVisible(int series, bool visible);
  TMarkStyle MarkStyle(int series) const;
  void SetMarkStyle(int series, const TMarkStyle& style);
  // Lets the user drag marks with the left mouse button.
  void SetMarksDraggable(bool draggable);
  // Offset (pixels) a drag has given to a mark, and its reset.
  QPointF MarkOffset(int series, int index) const;
  void SetMarkOffset(int series, int index, const QPointF& offset);
  void ResetMarkPositions(int series);
  // Width in pixels of the mark of a point as last drawn (0 if none).
  double MarkWidth(int series, int index) const;

  // ---- axes ---------------------------------------------------------------
  QString AxisTitle(TAxisId axis) const;
  void SetAxisTitle(TAxisId axis, const QString& title);
  // Current range, settled against the data (as drawn next).
  double AxisMinimum(TAxisId axis) const;
  double AxisMaximum(TAxisId axis) const;
  // Fixing a bound sets it and stops it following the data.
  void SetAxisMinimum(TAxisId axis, double value);
  void SetAxisMaximum(TAxisId axis, double value);
  bool AxisAutomaticMinimum(TAxisId axis) const;
  bool AxisAutomaticMaximum(TAxisId axis) const;
  void SetAxisAutomaticMinimum(TAxisId axis, bool automatic);
  void SetAxisAutomaticMaximum(TAxisId axis, bool automatic);
  void SetAxisAutomatic(TAxisId axis, bool automatic);
  // An automatic maximum is rounded up to the next label step.
  void SetAxisRoundUpMaximum(TAxisId axis, bool roundUp);
  bool AxisLogarithmic(TAxisId axis) const;
  void SetAxisLogarithmic(TAxisId axis, bool logarithmic);
  bool AxisInverted(TAxisId axis) const;
  void SetAxisInverted(TAxisId axis, bool inverted);
  QString AxisValueFormat(TAxisId axis) const;
  void SetAxisValueFormat(TAxisId axis, const QString& pattern);
  bool AxisGrid(TAxisId axis) const;
  void SetAxisGrid(TAxisId axis, bool grid);
  bool AxisVisible(TAxisId axis) const;
  void SetAxisVisible(TAxisId axis, bool visible);
  // Custom labels replace the automatic ones while the list is not empty.
  void AddAxisCustomLabel(TAxisId axis, double position, const QString& text);
  void ClearAxisCustomLabels(TAxisId axis);
  int AxisCustomLabelCount(TAxisId axis) const;
  // Positions and texts of the labels as last drawn (Refresh draws).
  std::vector<double> AxisLabelPositions(TAxisId axis) const;
  std::vector<QString> AxisLabelTexts(TAxisId axis) const;
  // The text of a value with the axis's current format.
  QString FormatAxisValue(TAxisId axis, double value) const;
  void SetAxisTitleFontSize(TAxisId axis, int points);
  int AxisTitleFontSize(TAxisId axis) const;
  void SetAxisLabelFontSize(TAxisId axis, int points);
  int AxisLabelFontSize(TAxisId axis) const;

  // ---- chart ----------------------------------------------------------------
  QString Title() const;
  void SetTitle(const QString& title);
  void SetTitleFontSize(int points);
  int TitleFontSize() const;
  // A second, smaller line under the title (hidden while empty), for facts
  // about the curves that belong on every copy of the picture.
  QString Subtitle() const;
  void SetSubtitle(const QString& text);
  // A second scale along the top of the plot that follows the bottom axis
  // (range, direction, fonts): ticks at bottom-axis positions with their own
  // texts, e.g. molar masses over an elution volume. No ticks: no scale.
  void SetTopScale(const QString& title, const std::vector<std::pair<double, QString>>& ticks);
  QString TopScaleTitle() const;
  std::vector<std::pair<double, QString>> TopScaleTicks() const;
  bool LegendVisible() const;
  void SetLegendVisible(bool visible);
  // Qt::transparent (or an invalid colour) means no background.
  QColor BackgroundColor() const;
  void SetBackgroundColor(const QColor& color);
  // Space kept free around the plot, in percent of the chart's size.
  void SetChartMargins(const TMarginsPercent& margins);
  TMarginsPercent ChartMargins() const;
  void SetPrintMargins(const TMarginsPercent& margins);
  TMarginsPercent PrintMargins() const;

  // Settles the axis ranges against the data and redraws now.
  void Refresh();
  // Asks for a redraw at the next turn of the event loop.
  void Invalidate();

  // ---- zoom and panning ---------------------------------------------------
  // Zooms to the given value ranges as a user's rubber band would: the
  // current view goes onto the history, the three axes get fixed ranges
  // (the right axis in proportion), and Zoomed is emitted.
  void ZoomTo(double xMin, double xMax, double yMin, double yMax);
  // The same for a rectangle in widget pixels.
  void ZoomToPixels(const QRect& rect);
  void UndoZoom();
  bool IsZoomed() const;
  int ZoomHistoryCount() const;
  void SetZoomEnabled(bool enabled);
  bool ZoomEnabled() const;
  void SetPanning(TPanning panning);
  TPanning Panning() const;
  // Moves the view by a number of pixels, as a right-button drag does.
  void PanByPixels(int dx, int dy);
  // Widget pixel of a value on an axis, and the value of a pixel.
  double ValueToPixel(TAxisId axis, double value) const;
  double PixelToValue(TAxisId axis, double pixel) const;
  // The plotting area in widget pixels.
  QRect PlotArea() const;

  // ---- output ---------------------------------------------------------------
  // The whole chart at its current size.
  QByteArray ToSvg();
  QByteArray ToPdf();
  QImage ToImage();
  // Puts SVG, PDF and PNG of the chart on the clipboard; false on failure.
  bool CopyToClipboard();
  // Prints one page within the print margins, laid out for the page (the
  // output layout sees the page's size); false on failure.
  bool Print(QPrinter& printer);
  // The chart laid out for `layoutSize` (logical pixels) and drawn `scale`
  // times larger: a picture of layoutSize × scale pixels, white behind a
  // transparent chart background, with the matching resolution recorded.
  QImage RenderImage(const QSize& layoutSize, double scale);
  // Called with the size the chart is about to be laid out for when it is
  // drawn for another device (the printed page), and with its own size again
  // afterwards: the owner scales fonts and pens for it.
  void SetOutputLayout(std::function<void(const QSize&)> layout);

signals:
  void Zoomed();
  void ZoomUndone();
  void Scrolled();
  void DoubleClicked();
  void ContextMenuRequested(const QPoint& globalPos);
  void Resized();
  void LegendClicked(int series);

protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void LayOutFor(const QSize& layoutSize);
  class TPrivate;
  std::unique_ptr<TPrivate> FPrivate;
  friend class TPrivate;
};

} // namespace Charts
