#include "charts/uChart.h"

#include "params/uNumberFormat.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QMimeData>
#include <QPdfWriter>
#include <QPrinter>
#include <QRubberBand>
#include <QSvgGenerator>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <utility>

namespace Charts {

namespace {

constexpr int AxisCount = 3;
// A press and release closer than this (pixels) is a click, not a drag.
constexpr int DragThreshold = 4;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
// Series with more points than this are drawn on the screen without
// antialiasing.
constexpr std::size_t AntialiasedPointLimit = 4000;
// Graphs with more points than this hand the plotting library only the
// points that can make a difference on the screen: per pixel column the
// first, the lowest, the highest and the last. A line through them covers
// the same pixels as the line through all points, but the library no longer
// reads a million points per redraw, and a wide pen (which is stroked as an
// outline, join by join) strokes at most four points per column.
constexpr std::size_t ThinningPointLimit = 20000;
constexpr int BucketsPerPixel = 1;

int AxisIndex(TAxisId axis) { return static_cast<int>(axis); }

// Chooses 1, 2, 2.5 or 5 times a power of ten, the label steps people read
// without effort.
double NiceStep(double rawStep) {
  if (!(rawStep > 0.0) || !std::isfinite(rawStep))
    return 1.0;
  const double magnitude = std::pow(10.0, std::floor(std::log10(rawStep)));
  const double mantissa = rawStep / magnitude;
  double nice = 10.0;
  if (mantissa <= 1.0)
    nice = 1.0;
  else if (mantissa <= 2.0)
    nice = 2.0;
  else if (mantissa <= 2.5)
    nice = 2.5;
  else if (mantissa <= 5.0)
    nice = 5.0;
  return nice * magnitude;
}

QString FormatWithPattern(const QString& pattern, double value) {
  return QString::fromStdString(Propagon::FormatFloat(pattern.toStdString(), value));
}

// Number of decimals a value-format pattern can show (the digit placeholders
// after its decimal point), or -1 for a scientific pattern, whose labels are
// exact at any step.
int PatternDecimals(const QString& pattern) {
  int decimals = 0;
  bool afterPoint = false;
  QChar quote;
  for (int i = 0; i < pattern.size(); ++i) {
    const QChar c = pattern[i];
    if (!quote.isNull()) {
      if (c == quote)
        quote = QChar();
      continue;
    }
    if (c == QLatin1Char('"') || c == QLatin1Char('\''))
      quote = c;
    else if (c == QLatin1Char(';'))
      break;
    else if ((c == QLatin1Char('E') || c == QLatin1Char('e')) && i + 1 < pattern.size() &&
             (pattern[i + 1] == QLatin1Char('+') || pattern[i + 1] == QLatin1Char('-')))
      return -1;
    else if (c == QLatin1Char('.') && !afterPoint)
      afterPoint = true;
    else if (afterPoint && (c == QLatin1Char('0') || c == QLatin1Char('#')))
      ++decimals;
  }
  return decimals;
}

// Labels of a linear axis: the axis's value format, and no more labels than
// fit side by side (bottom axis) or above each other (vertical axes) without
// touching. QCustomPlot's own ticker aims at a fixed count, which in a small
// docked window makes long labels run into each other.
class TFormatTicker : public QCPAxisTicker {
public:
  TFormatTicker(QCPAxis* axis, const QString* pattern) : FAxis(axis), FPattern(pattern) {
    setTickStepStrategy(tssReadability);
  }

  void generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                QVector<double>& ticks, QVector<double>* subTicks, QVector<QString>* tickLabels) override {
    const bool horizontal = FAxis->orientation() == Qt::Horizontal;
    // Ticks are chosen before the plotting area is laid out, so its size is
    // the one of the previous layout; before the first one, estimate it from
    // the widget.
    // Drawn for a smaller device (a printed page, a picture laid out for its
    // own size), the plotting area of the previous layout may not fit the
    // viewport any more: then the viewport bounds it.
    int length = horizontal ? FAxis->axisRect()->width() : FAxis->axisRect()->height();
    const QRect viewport = FAxis->parentPlot()->viewport();
    const int room = (horizontal ? viewport.width() : viewport.height()) - 100;
    if (length < 50 || length > room)
      length = std::max(50, room);
    FLength = length;
    const QFontMetrics metrics(FAxis->tickLabelFont());
    // Aim at about one label per 80 pixels across, one per 35 up.
    int count = std::clamp(length / (horizontal ? 80 : 35), 2, 10);
    for (; count >= 1; --count) {
      setTickCount(count);
      QCPAxisTicker::generate(range, locale, formatChar, precision, ticks, subTicks, tickLabels);
      if (!tickLabels || LabelsFit(ticks, *tickLabels, metrics, horizontal))
        break;
    }
  }

protected:
  // A label must show its tick exactly: with one decimal, steps of 0.25
  // would be written 2.8, 2.5, 2.3, … Steps the format cannot show become
  // the next smaller step it can (2 instead of 2.5), and never finer than
  // its last decimal.
  double getTickStep(const QCPRange& range) override {
    double step = QCPAxisTicker::getTickStep(range);
    const int decimals = PatternDecimals(*FPattern);
    if (decimals < 0 || !(step > 0.0))
      return step;
    const double unit = std::pow(10.0, -decimals);
    if (step < unit * (1.0 - 1e-9))
      return unit;
    const double units = step / unit;
    if (std::fabs(units - std::round(units)) > 1e-6 * units) {
      const double magnitude = std::pow(10.0, std::floor(std::log10(step) + 1e-12));
      step = std::max(unit, std::floor(step / magnitude) * magnitude);
    }
    return step;
  }

  QString getTickLabel(double tick, const QLocale&, QChar, int) override {
    // Steps like 0.1 leave rounding residue (3e-17 instead of 0).
    if (std::fabs(tick) < 1e-12 * std::max(std::fabs(FAxis->range().size()), 1e-300))
      tick = 0.0;
    return FormatWithPattern(*FPattern, tick);
  }

private:
  bool LabelsFit(const QVector<double>& ticks, const QVector<QString>& labels, const QFontMetrics& metrics,
                 bool horizontal) const {
    const int gap = metrics.height() / 2;
    const double span = FAxis->range().size();
    if (!(span > 0.0))
      return true;
    for (int i = 1; i < ticks.size() && i < labels.size(); ++i) {
      const double distance = std::fabs(ticks[i] - ticks[i - 1]) / span * FLength;
      const double needed = horizontal
          ? (metrics.horizontalAdvance(labels[i]) + metrics.horizontalAdvance(labels[i - 1])) / 2.0 + gap
          : metrics.height() + gap / 2.0;
      if (distance < needed)
        return false;
    }
    return true;
  }

  QCPAxis* FAxis;
  const QString* FPattern;
  int FLength = 1;
};

class TLogFormatTicker : public QCPAxisTickerLog {
public:
  explicit TLogFormatTicker(const QString* pattern) : FPattern(pattern) {
    setLogBase(10.0);
    setSubTickCount(8);
  }

protected:
  QString getTickLabel(double tick, const QLocale&, QChar, int) override {
    return FormatWithPattern(*FPattern, tick);
  }

private:
  const QString* FPattern;
};

struct TAxisRange {
  bool AutoMin = true;
  bool AutoMax = true;
  double Min = 0.0;
  double Max = 1.0;
};

struct TAxisData {
  QString Title;
  TAxisRange Range;
  bool RoundUpMax = false;
  bool Log = false;
  bool Inverted = false;
  bool Grid = true;
  bool Visible = true;
  QString Format = QStringLiteral("#,##0.###");
  std::vector<std::pair<double, QString>> CustomLabels;
  int TitleFontSize = 9;
  int LabelFontSize = 8;
};

// Leaves new elements of a resized vector uninitialised, for arrays that
// are written in full right after (a million points per track-bar move).
template <typename T>
struct TNoInitAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = TNoInitAllocator<U>;
  };
  TNoInitAllocator() = default;
  template <typename U>
  TNoInitAllocator(const TNoInitAllocator<U>&) noexcept {}
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

using TValues = std::vector<double, TNoInitAllocator<double>>;

struct TSeriesData {
  QString Title;
  QColor Color;
  Qt::PenStyle PenStyle = Qt::SolidLine;
  int PenWidth = 1;
  bool Visible = true;
  bool InLegend = true;
  bool LineVisible = true;
  TAxisId VerticalAxis = TAxisId::Left;
  TValues X;
  TValues Y;
  std::vector<char> Null;
  // X never decreases along the series: drawn as a graph, which thins out
  // points that fall onto the same pixel (the mass distributions have
  // millions). Otherwise drawn as a curve that follows the point order.
  bool SortedX = true;
  QCPAbstractPlottable* Plottable = nullptr;
  bool DataDirty = true;
  // The graph holds a thinned-out copy of the points for the view it was
  // made for (see TPrivate::SyncData): its first bucket's left edge and the
  // bucket width in X units.
  bool Thinned = false;
  double ThinnedLower = 0.0;
  double ThinnedStep = 0.0;
  // The extent of the drawn X and Y values (index 0: all, index 1: the
  // positive ones a logarithmic axis can show), found at most once per
  // change of the points: an axis that follows the data asks for it on
  // every redraw, and a mass distribution has a million points.
  struct TBounds {
    bool Found = false;
    double Lo = 0.0;
    double Hi = 0.0;
  };
  mutable std::array<TBounds, 2> XBounds, YBounds;
  mutable bool XBoundsValid = false;
  mutable bool YBoundsValid = false;
  void InvalidateBounds() { XBoundsValid = YBoundsValid = false; }
  const TBounds& Bounds(bool x, bool log) const {
    if (x && !XBoundsValid) {
      XBounds = SortedX ? SortedBounds(X) : ScanBounds(X);
      XBoundsValid = true;
    }
    if (!x && !YBoundsValid) {
      YBounds = ScanBounds(Y);
      YBoundsValid = true;
    }
    return (x ? XBounds : YBounds)[log ? 1 : 0];
  }

private:
  // One pass for both kinds of axis.
  std::array<TBounds, 2> ScanBounds(const TValues& values) const {
    std::array<TBounds, 2> b;
    const double inf = std::numeric_limits<double>::infinity();
    double lo = inf, hi = -inf, posLo = inf, posHi = -inf;
    for (std::size_t i = 0; i < values.size(); ++i) {
      const double v = values[i];
      if (Null[i] || !std::isfinite(v))
        continue;
      lo = v < lo ? v : lo;
      hi = v > hi ? v : hi;
      if (v > 0.0) {
        posLo = v < posLo ? v : posLo;
        posHi = v > posHi ? v : posHi;
      }
    }
    b[0] = {lo <= hi, lo, hi};
    b[1] = {posLo <= posHi, posLo, posHi};
    return b;
  }
  // Values in increasing order (no NaN, see SortedX): the extremes are the
  // first and last drawn values, and the positive extent starts at the first
  // positive one.
  std::array<TBounds, 2> SortedBounds(const TValues& values) const {
    std::array<TBounds, 2> b;
    const std::size_t n = values.size();
    std::size_t first = 0;
    while (first < n && (Null[first] || !std::isfinite(values[first])))
      ++first;
    std::size_t last = n;
    while (last > first && (Null[last - 1] || !std::isfinite(values[last - 1])))
      --last;
    if (first == last)
      return b;
    b[0] = {true, values[first], values[last - 1]};
    if (values[last - 1] > 0.0) {
      std::size_t firstPositive = first;
      while (Null[firstPositive] || !std::isfinite(values[firstPositive]) || values[firstPositive] <= 0.0)
        ++firstPositive;
      b[1] = {true, values[firstPositive], values[last - 1]};
    }
    return b;
  }

public:
  TChart::TMarkTextFunction MarkText;
  bool MarksVisible = false;
  TMarkStyle Marks;
  std::map<int, QPointF> MarkOffsets;
  // Where each mark was drawn last, for dragging and widths.
  std::map<int, QPolygonF> MarkShapes;
  std::map<int, double> MarkWidths;
};

} // namespace

class TChart::TPrivate {
public:
  explicit TPrivate(TChart* owner);

  TChart* Owner;
  QCustomPlot* Plot = nullptr;
  QCPTextElement* TitleElement = nullptr;
  QCPTextElement* SubtitleElement = nullptr;
  QString SubtitleText;
  QString TopTitle;
  std::vector<std::pair<double, QString>> TopTicks;
  QCPLayerable* MarksLayer = nullptr;
  std::vector<TSeriesData> Series;
  std::array<TAxisData, AxisCount> Axes;
  std::vector<std::array<TAxisRange, AxisCount>> ZoomHistory;
  bool ZoomEnabled = true;
  TPanning Panning = TPanning::Both;
  bool MarksDraggable = false;
  TMarginsPercent Margins;
  TMarginsPercent PrintMargins;
  QColor Background = Qt::white;
  QString TitleText;
  std::function<void(const QSize&)> OutputLayout;
  int TitleSize = 10;
  bool RangesDirty = true;
  QRect LastPlotArea;
  int LayoutCorrections = 0;

  enum class TDrag { None, ZoomPending, Zoom, PanPending, Pan, Mark, LeftClick };
  TDrag Drag = TDrag::None;
  QPoint DragStart;
  QPoint DragLast;
  QRubberBand* RubberBand = nullptr;
  int DragSeries = -1;
  int DragIndex = -1;
  QPointF DragOffsetStart;

  bool ValidSeries(int s) const { return s >= 0 && s < static_cast<int>(Series.size()); }
  bool ValidPoint(int s, int i) const {
    return ValidSeries(s) && i >= 0 && i < static_cast<int>(Series[s].X.size());
  }
  QCPAxis* Axis(TAxisId id) const;
  QCPAxis* Axis(int index) const { return Axis(static_cast<TAxisId>(index)); }
  void ApplyTopScale();

  void CreatePlottable(TSeriesData& series);
  void ApplySeriesStyle(TSeriesData& series);
  // Pictures for the clipboard and the printer: pens readable in grey
  // scale, everything antialiased.
  bool ForOutput = false;
  void SetOutputStyle(bool forOutput);
  void SyncData(TSeriesData& series);
  // New points for a series: X from xs, or the series' own X kept (keepX;
  // then n equals its point count). Null flags and marks are cleared.
  void AssignPoints(TSeriesData& series, bool keepX, const double* xs, const double* ys, std::size_t n);
  // Whether a graph of n points from X = front to back is thinned for the
  // current view, and the buckets' left edge and width.
  bool ThinningStep(std::size_t n, double front, double back, double& lower, double& step) const;
  void RebuildOrder();
  void ApplyAxisStyle(int index);
  void ApplyAxisTicker(int index);
  void ApplyTitle();
  void ApplyMargins();
  void UpdateLegend();
  void FitLegendWrap();
  void EnsureRanges();
  void ApplyRange(int index);
  bool DataBounds(int index, double& lo, double& hi) const;
  void PrepareForDrawing();
  void Changed() {
    RangesDirty = true;
    Owner->Invalidate();
  }

  std::array<TAxisRange, AxisCount> CurrentState() const;
  void RestoreState(const std::array<TAxisRange, AxisCount>& state);
  void ZoomToPixelRect(QRectF rect);
  void PanPixels(int dx, int dy);
  bool FindMark(const QPointF& pos, int& series, int& index) const;
  void DrawMarks(QCPPainter* painter);
  void RenderTo(QPaintDevice& device, int width, int height, double dpiScale);

  bool HandleMouse(QEvent* event);
};

namespace {

// Draws the text marks of every series over the curves.
class TMarksLayerable : public QCPLayerable {
public:
  TMarksLayerable(QCustomPlot* plot, std::function<void(QCPPainter*)> drawMarks)
      : QCPLayerable(plot, QStringLiteral("marks")), FDrawMarks(std::move(drawMarks)) {}

protected:
  void applyDefaultAntialiasingHint(QCPPainter* painter) const override {
    applyAntialiasingHint(painter, true, QCP::aeOther);
  }
  void draw(QCPPainter* painter) override;
  QRect clipRect() const override {
    return mParentPlot->axisRect() ? mParentPlot->axisRect()->rect() : QCPLayerable::clipRect();
  }

private:
  std::function<void(QCPPainter*)> FDrawMarks;
};

void TMarksLayerable::draw(QCPPainter* painter) { FDrawMarks(painter); }

} // namespace

// ---------------------------------------------------------------------------

QPen OutputPen(const QColor& color, int width, Qt::PenStyle style) {
  QColor c = color.isValid() ? color.toRgb() : QColor(Qt::black);
  const int grey = qGray(c.rgb());
  if (grey > MaxOutputGrey) {
    // Darker in the same hue: every channel scaled by the same factor.
    const double f = static_cast<double>(MaxOutputGrey) / grey;
    c = QColor(static_cast<int>(c.red() * f), static_cast<int>(c.green() * f),
               static_cast<int>(c.blue() * f), c.alpha());
  }
  width = std::max(0, width);
  if (grey > MaxThinPenGrey)
    width = std::max(width, 2);
  return QPen(c, width, style);
}

namespace {

// Collects the points of a graph in X order and keeps per bucket of X the
// first, the lowest, the highest and the last one, in their order. NaN
// values (null points) are kept as they are, so gaps stay gaps.
class TThinner {
public:
  TThinner(double lower, double step, QVector<QCPGraphData>& out)
      : FLower(lower), FStep(step), FPerUnit(1.0 / step), FOut(out) {}

  // The common case, a point in the bucket of the one before, first.
  void Add(double x, double y) {
    if (FCount > 0 && x < FNextEdge && !std::isnan(y)) {
      if (y < FLow.Y) {
        FLow = {x, y};
        FLowSeq = FCount;
      }
      if (y > FHigh.Y) {
        FHigh = {x, y};
        FHighSeq = FCount;
      }
      FLast = {x, y};
      ++FCount;
      return;
    }
    Start(x, y);
  }

  void Flush() {
    if (FCount == 0)
      return;
    Append(FFirst);
    const bool lowFirst = FLowSeq <= FHighSeq;
    const std::size_t aSeq = lowFirst ? FLowSeq : FHighSeq;
    const std::size_t bSeq = lowFirst ? FHighSeq : FLowSeq;
    const std::size_t lastSeq = FCount - 1;
    if (aSeq != 0 && aSeq != lastSeq)
      Append(lowFirst ? FLow : FHigh);
    if (bSeq != 0 && bSeq != lastSeq && bSeq != aSeq)
      Append(lowFirst ? FHigh : FLow);
    if (lastSeq != 0)
      Append(FLast);
    FCount = 0;
  }

private:
  struct TPoint {
    double X;
    double Y;
  };

  void Append(const TPoint& p) {
    FOut.append(QCPGraphData());
    FOut.last().key = p.X;
    FOut.last().value = p.Y;
  }

  // A NaN (kept as a gap) or the first point of a new bucket.
  void Start(double x, double y) {
    Flush();
    if (std::isnan(y)) {
      Append({x, y});
      return;
    }
    const double bucket = std::floor((x - FLower) * FPerUnit);
    FNextEdge = FLower + (bucket + 1.0) * FStep;
    if (!(x < FNextEdge)) // rounding at the edge
      FNextEdge = FLower + (bucket + 2.0) * FStep;
    FFirst = FLow = FHigh = FLast = {x, y};
    FLowSeq = FHighSeq = 0;
    FCount = 1;
  }

  double FLower;
  double FStep;
  double FPerUnit;
  QVector<QCPGraphData>& FOut;
  double FNextEdge = 0.0;
  std::size_t FCount = 0;
  TPoint FFirst{}, FLow{}, FHigh{}, FLast{};
  std::size_t FLowSeq = 0;
  std::size_t FHighSeq = 0;
};

// Thins n points sorted by X into buckets of width step from lower on. A
// bucket is found by binary search and scanned in one tight loop; buckets
// that hold a null point (flagged in null, if given, or a NaN value) go
// point by point through TThinner, which keeps the gap.
void ThinSorted(const double* xs, const double* ys, const char* null, std::size_t n, double lower, double step,
                QVector<QCPGraphData>& out) {
  TThinner gaps(lower, step, out);
  const auto append = [&out](double x, double y) {
    out.append(QCPGraphData());
    out.last().key = x;
    out.last().value = y;
  };
  std::size_t i = 0;
  while (i < n) {
    const double bucket = std::floor((xs[i] - lower) / step);
    double edge = lower + (bucket + 1.0) * step;
    if (!(xs[i] < edge)) // rounding at the edge
      edge = lower + (bucket + 2.0) * step;
    const std::size_t end = static_cast<std::size_t>(std::lower_bound(xs + i + 1, xs + n, edge) - xs);
    // The extremes first, without branches (the values of a noisy curve
    // change direction at random); their first places are found after, in
    // the bucket the loop has just brought into the cache.
    // Four lanes (spelled out, so that they stay in registers), so that each
    // comparison need not wait for the one before.
    double low0 = ys[i], low1 = low0, low2 = low0, low3 = low0;
    double high0 = low0, high1 = low0, high2 = low0, high3 = low0;
    bool nan = false;
    std::size_t k = i;
    for (; k + 4 <= end; k += 4) {
      const double y0 = ys[k], y1 = ys[k + 1], y2 = ys[k + 2], y3 = ys[k + 3];
      nan |= (y0 != y0) | (y1 != y1) | (y2 != y2) | (y3 != y3);
      low0 = y0 < low0 ? y0 : low0;
      low1 = y1 < low1 ? y1 : low1;
      low2 = y2 < low2 ? y2 : low2;
      low3 = y3 < low3 ? y3 : low3;
      high0 = y0 > high0 ? y0 : high0;
      high1 = y1 > high1 ? y1 : high1;
      high2 = y2 > high2 ? y2 : high2;
      high3 = y3 > high3 ? y3 : high3;
    }
    for (; k < end; ++k) {
      const double y = ys[k];
      nan |= y != y;
      low0 = y < low0 ? y : low0;
      high0 = y > high0 ? y : high0;
    }
    bool gap = nan;
    const double lowValue = std::min(std::min(low0, low1), std::min(low2, low3));
    const double highValue = std::max(std::max(high0, high1), std::max(high2, high3));
    if (null && !gap)
      gap = std::any_of(null + i, null + end, [](char flag) { return flag != 0; });
    std::size_t low = i;
    std::size_t high = i;
    if (!gap) {
      while (ys[low] != lowValue)
        ++low;
      while (ys[high] != highValue)
        ++high;
    }
    if (gap) {
      for (std::size_t k = i; k < end; ++k)
        gaps.Add(xs[k], null && null[k] ? NaN : ys[k]);
      gaps.Flush();
    } else {
      const std::size_t last = end - 1;
      const std::size_t a = std::min(low, high);
      const std::size_t b = std::max(low, high);
      append(xs[i], ys[i]);
      if (a != i && a != last)
        append(xs[a], ys[a]);
      if (b != i && b != last && b != a)
        append(xs[b], ys[b]);
      if (last != i)
        append(xs[last], ys[last]);
    }
    i = end;
  }
}

} // namespace

// ---------------------------------------------------------------------------
// TPrivate

TChart::TPrivate::TPrivate(TChart* owner) : Owner(owner) {
  Plot = new QCustomPlot(owner);
  Plot->setObjectName(QStringLiteral("ChartPlot"));
  Plot->setInteractions(QCP::Interactions());
  Plot->setAutoAddPlottableToLegend(false);
  Plot->setNoAntialiasingOnDrag(false);
  Plot->setAntialiasedElements(QCP::aeItems | QCP::aeOther);

  // Layout, top to bottom: title, legend, plotting area. The legend gets its
  // own row so that it never covers a curve.
  QCPLayoutGrid* layout = Plot->plotLayout();
  layout->insertRow(0);
  layout->insertRow(0);
  TitleElement = new QCPTextElement(Plot, QString());
  layout->addElement(0, 0, TitleElement);
  QCPAxisRect* rect = Plot->axisRect();
  QCPLegend* legend = Plot->legend;
  rect->insetLayout()->take(legend);
  // Centred in its row: empty cells on both sides take the spare width.
  auto* legendRow = new QCPLayoutGrid;
  layout->addElement(1, 0, legendRow);
  legendRow->setMargins(QMargins());
  legendRow->setColumnSpacing(0);
  legendRow->addElement(0, 0, new QCPLayoutElement(Plot));
  legendRow->addElement(0, 1, legend);
  legendRow->addElement(0, 2, new QCPLayoutElement(Plot));
  legendRow->setColumnStretchFactors({1.0, 0.001, 1.0});
  layout->setRowStretchFactor(0, 0.001);
  layout->setRowStretchFactor(1, 0.001);
  layout->setRowSpacing(2);
  legend->setFillOrder(QCPLegend::foColumnsFirst);
  legend->setBorderPen(Qt::NoPen);
  legend->setBrush(Qt::NoBrush);
  legend->setIconSize(28, 10);
  legend->setMargins(QMargins(4, 0, 4, 0));
  legend->setColumnSpacing(14);
  legend->setVisible(true);

  Plot->xAxis2->setVisible(false);
  // The right axis appears with the first series that uses it.
  Axes[AxisIndex(TAxisId::Right)].Visible = false;
  Axes[AxisIndex(TAxisId::Right)].Grid = false;
  for (int i = 0; i < AxisCount; ++i) {
    QCPAxis* axis = Axis(i);
    axis->grid()->setPen(QPen(QColor(200, 200, 200), 0, Qt::DotLine));
    axis->grid()->setZeroLinePen(Qt::NoPen);
    ApplyAxisTicker(i);
    ApplyAxisStyle(i);
  }

  Plot->addLayer(QStringLiteral("marks"), Plot->layer(QStringLiteral("main")), QCustomPlot::limAbove);
  MarksLayer = new TMarksLayerable(Plot, [this](QCPPainter* painter) { DrawMarks(painter); });

  RubberBand = new QRubberBand(QRubberBand::Rectangle, Plot);
  RubberBand->hide();
  ApplyTitle();
}

QCPAxis* TChart::TPrivate::Axis(TAxisId id) const {
  switch (id) {
  case TAxisId::Bottom:
    return Plot->xAxis;
  case TAxisId::Left:
    return Plot->yAxis;
  case TAxisId::Right:
    return Plot->yAxis2;
  }
  return Plot->xAxis;
}

void TChart::TPrivate::CreatePlottable(TSeriesData& series) {
  if (series.Plottable)
    Plot->removePlottable(series.Plottable);
  QCPAxis* valueAxis = Axis(series.VerticalAxis);
  if (series.SortedX) {
    auto* graph = new QCPGraph(Plot->xAxis, valueAxis);
    graph->setLineStyle(QCPGraph::lsLine);
    graph->setAdaptiveSampling(true);
    series.Plottable = graph;
  } else {
    auto* curve = new QCPCurve(Plot->xAxis, valueAxis);
    curve->setLineStyle(QCPCurve::lsLine);
    series.Plottable = curve;
  }
  series.DataDirty = true;
  series.Thinned = false;
  series.InvalidateBounds();
  ApplySeriesStyle(series);
}

void TChart::TPrivate::ApplySeriesStyle(TSeriesData& series) {
  QCPAbstractPlottable* p = series.Plottable;
  if (!p)
    return;
  const Qt::PenStyle style = series.LineVisible ? series.PenStyle : Qt::NoPen;
  QPen pen = ForOutput ? OutputPen(series.Color, series.PenWidth, style)
                       : QPen(series.Color, std::max(0, series.PenWidth), style);
  pen.setCapStyle(Qt::FlatCap);
  pen.setJoinStyle(Qt::RoundJoin);
  p->setPen(pen);
  p->setName(series.Title);
  p->setVisible(series.Visible);
  if (auto* graph = qobject_cast<QCPGraph*>(p))
    graph->setLineStyle(series.LineVisible ? QCPGraph::lsLine : QCPGraph::lsNone);
  if (auto* curve = qobject_cast<QCPCurve*>(p))
    curve->setLineStyle(series.LineVisible ? QCPCurve::lsLine : QCPCurve::lsNone);
}

void TChart::TPrivate::SetOutputStyle(bool forOutput) {
  ForOutput = forOutput;
  for (auto& series : Series) {
    ApplySeriesStyle(series);
    // Pictures of any size get every point; the screen's thinned copy is
    // made again at its next redraw.
    if (forOutput)
      SyncData(series);
  }
  // On the screen big series are drawn without antialiasing (SyncData); on
  // paper and in vector pictures that would show as jagged lines.
  Plot->setAntialiasedElements(forOutput ? QCP::aeAll : QCP::aeItems | QCP::aeOther);
}

namespace {

// Runs its function when it goes out of scope, also by an exception.
class TScopeExit {
public:
  explicit TScopeExit(std::function<void()> function) : FFunction(std::move(function)) {}
  ~TScopeExit() { FFunction(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

private:
  std::function<void()> FFunction;
};

} // namespace

bool TChart::TPrivate::ThinningStep(std::size_t n, double front, double back, double& lower,
                                    double& step) const {
  const TAxisData& bottom = Axes[AxisIndex(TAxisId::Bottom)];
  if (ForOutput || n <= ThinningPointLimit || bottom.Log)
    return false;
  // The plotting area of the last layout (before the first one, the widget's).
  int width = Plot->axisRect()->width();
  if (width < 50)
    width = std::max(50, Plot->viewport().width());
  const QCPRange range = Plot->xAxis->range();
  lower = range.lower;
  step = range.size() / (static_cast<double>(width) * BucketsPerPixel);
  if (!(step > 0.0) || !std::isfinite(step))
    return false;
  // Zoomed in so far that few points share a bucket: all of them.
  const double buckets = (back - front) / step;
  return buckets * 4.0 < static_cast<double>(n);
}

void TChart::TPrivate::SyncData(TSeriesData& series) {
  if (!series.Plottable)
    return;
  auto* graph = qobject_cast<QCPGraph*>(series.Plottable);
  double lower = 0.0;
  double step = 0.0;
  const bool thin = graph && series.SortedX && !series.X.empty() &&
                    ThinningStep(series.X.size(), series.X.front(), series.X.back(), lower, step);
  if (!series.DataDirty && thin == series.Thinned &&
      (!thin || (lower == series.ThinnedLower && step == series.ThinnedStep)))
    return;
  const std::size_t n = series.X.size();
  if (graph && thin) {
    QVector<QCPGraphData> data;
    data.reserve(static_cast<qsizetype>(std::min<double>(static_cast<double>(n),
                                                          (series.X.back() - series.X.front()) / step * 4.0 + 64.0)));
    ThinSorted(series.X.data(), series.Y.data(), series.Null.data(), n, lower, step, data);
    graph->data()->set(data, true);
    series.Thinned = true;
    series.ThinnedLower = lower;
    series.ThinnedStep = step;
    graph->setAntialiased(n < AntialiasedPointLimit);
  } else if (graph) {
    QCPGraphDataContainer& container = *graph->data();
    if (!series.Thinned && static_cast<std::size_t>(container.size()) == n) {
      // Same number of points: overwrite the graph's points where they are,
      // without allocating and sorting anew.
      auto it = container.begin();
      for (std::size_t i = 0; i < n; ++i, ++it) {
        it->key = series.X[i];
        it->value = series.Null[i] ? NaN : series.Y[i];
      }
    } else {
      QVector<QCPGraphData> data(static_cast<qsizetype>(n));
      QCPGraphData* out = data.data();
      for (std::size_t i = 0; i < n; ++i) {
        out[i].key = series.X[i];
        out[i].value = series.Null[i] ? NaN : series.Y[i];
      }
      container.set(data, true);
    }
    series.Thinned = false;
    // Thousands of points per pixel column: antialiasing them costs more
    // than the drawing itself and shows nothing finer on the screen.
    // Exported and printed pictures are always antialiased (RenderTo).
    graph->setAntialiased(n < AntialiasedPointLimit);
  } else if (auto* curve = qobject_cast<QCPCurve*>(series.Plottable)) {
    QVector<QCPCurveData> data(static_cast<qsizetype>(n));
    QCPCurveData* out = data.data();
    for (std::size_t i = 0; i < n; ++i) {
      out[i].t = static_cast<double>(i);
      out[i].key = series.X[i];
      out[i].value = series.Null[i] ? NaN : series.Y[i];
    }
    curve->data()->set(data, true);
  }
  series.DataDirty = false;
}

void TChart::TPrivate::RebuildOrder() {
  // Drawing order within a layer is the order of insertion: move every
  // series out and back in chart order.
  QCPLayer* main = Plot->layer(QStringLiteral("main"));
  QCPLayer* grid = Plot->layer(QStringLiteral("grid"));
  for (auto& s : Series)
    if (s.Plottable)
      s.Plottable->setLayer(grid);
  for (auto& s : Series)
    if (s.Plottable)
      s.Plottable->setLayer(main);
  UpdateLegend();
}

void TChart::TPrivate::UpdateLegend() {
  QCPLegend* legend = Plot->legend;
  legend->clearItems();
  for (auto& s : Series) {
    if (!s.InLegend || !s.Plottable)
      continue;
    s.Plottable->addToLegend(legend);
    if (auto* item = legend->itemWithPlottable(s.Plottable)) {
      // A hidden series stays in the legend, greyed, so a click can bring it back.
      item->setTextColor(s.Visible ? Qt::black : QColor(160, 160, 160));
      item->setFont(QFont(Owner->font().family(), std::max(7, Axes[1].LabelFontSize + 1)));
    }
  }
  FitLegendWrap();
}

void TChart::TPrivate::FitLegendWrap() {
  QCPLegend* legend = Plot->legend;
  const int count = legend->itemCount();
  if (count == 0)
    return;
  // As many entries in a row as fit across the chart: with k per row,
  // column j is as wide as its widest entry.
  std::vector<int> widths;
  for (int i = 0; i < count; ++i)
    widths.push_back(legend->item(i) ? legend->item(i)->minimumOuterSizeHint().width() : 0);
  const int available = std::max(1, Plot->width() - 20);
  int perRow = 1;
  for (int k = count; k > 1; --k) {
    int total = legend->margins().left() + legend->margins().right() + legend->columnSpacing() * (k - 1);
    for (int j = 0; j < k; ++j) {
      int column = 0;
      for (int i = j; i < count; i += k)
        column = std::max(column, widths[static_cast<std::size_t>(i)]);
      total += column;
    }
    if (total <= available) {
      perRow = k;
      break;
    }
  }
  if (legend->wrap() != perRow) {
    legend->setWrap(perRow);
    legend->setFillOrder(QCPLegend::foColumnsFirst, true);
  }
}

void TChart::TPrivate::ApplyAxisStyle(int index) {
  QCPAxis* axis = Axis(index);
  const TAxisData& a = Axes[index];
  axis->setLabel(a.Title);
  QFont titleFont = Owner->font();
  titleFont.setPointSize(std::max(1, a.TitleFontSize));
  axis->setLabelFont(titleFont);
  QFont labelFont = Owner->font();
  labelFont.setPointSize(std::max(1, a.LabelFontSize));
  axis->setTickLabelFont(labelFont);
  axis->setRangeReversed(a.Inverted);
  axis->grid()->setVisible(a.Grid);
  axis->grid()->setSubGridVisible(false);
  axis->setVisible(a.Visible);
  axis->setScaleType(a.Log ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
}

void TChart::TPrivate::ApplyAxisTicker(int index) {
  QCPAxis* axis = Axis(index);
  TAxisData& a = Axes[index];
  if (!a.CustomLabels.empty()) {
    auto ticker = QSharedPointer<QCPAxisTickerText>::create();
    for (const auto& [position, text] : a.CustomLabels)
      ticker->addTick(position, text);
    axis->setTicker(ticker);
  } else if (a.Log) {
    axis->setTicker(QSharedPointer<TLogFormatTicker>::create(&a.Format));
  } else {
    axis->setTicker(QSharedPointer<TFormatTicker>::create(axis, &a.Format));
  }
}

void TChart::TPrivate::ApplyTitle() {
  TitleElement->setText(TitleText);
  QFont f = Owner->font();
  f.setPointSize(std::max(1, TitleSize));
  f.setBold(true);
  TitleElement->setFont(f);
  TitleElement->setVisible(!TitleText.isEmpty());
  if (SubtitleElement) {
    SubtitleElement->setText(SubtitleText);
    QFont sf = Owner->font();
    sf.setPointSize(std::max(1, static_cast<int>(std::lround(TitleSize * 0.75))));
    SubtitleElement->setFont(sf);
    SubtitleElement->setVisible(!SubtitleText.isEmpty());
  }
}

void TChart::TPrivate::ApplyTopScale() {
  QCPAxis* top = Plot->xAxis2;
  QCPAxis* bottom = Plot->xAxis;
  const bool shown = !TopTicks.empty();
  top->setVisible(shown);
  if (!shown)
    return;
  auto ticker = QSharedPointer<QCPAxisTickerText>::create();
  for (const auto& [position, text] : TopTicks)
    ticker->addTick(position, text);
  top->setTicker(ticker);
  top->setLabel(TopTitle);
  top->setLabelFont(bottom->labelFont());
  top->setTickLabelFont(bottom->tickLabelFont());
  top->setRangeReversed(bottom->rangeReversed());
  top->setScaleType(bottom->scaleType());
  top->setRange(bottom->range());
  top->grid()->setVisible(false);
}

void TChart::TPrivate::ApplyMargins() {
  const int w = Owner->width();
  const int h = Owner->height();
  Plot->plotLayout()->setMargins(QMargins(static_cast<int>(std::lround(w * Margins.Left / 100.0)),
                                          static_cast<int>(std::lround(h * Margins.Top / 100.0)),
                                          static_cast<int>(std::lround(w * Margins.Right / 100.0)),
                                          static_cast<int>(std::lround(h * Margins.Bottom / 100.0))));
}

bool TChart::TPrivate::DataBounds(int index, double& lo, double& hi) const {
  const bool log = Axes[index].Log;
  bool found = false;
  lo = std::numeric_limits<double>::infinity();
  hi = -lo;
  for (const auto& s : Series) {
    if (!s.Visible)
      continue;
    if (index != AxisIndex(TAxisId::Bottom) && AxisIndex(s.VerticalAxis) != index)
      continue;
    const auto& b = s.Bounds(index == AxisIndex(TAxisId::Bottom), log);
    if (!b.Found)
      continue;
    lo = std::min(lo, b.Lo);
    hi = std::max(hi, b.Hi);
    found = true;
  }
  return found;
}

void TChart::TPrivate::ApplyRange(int index) {
  const TAxisData& a = Axes[index];
  double lo = 0.0;
  double hi = 1.0;
  const bool found = DataBounds(index, lo, hi);
  if (!found) {
    lo = a.Log ? 1.0 : 0.0;
    hi = a.Log ? 10.0 : 1.0;
  }
  double mn = a.Range.AutoMin ? lo : a.Range.Min;
  double mx = a.Range.AutoMax ? hi : a.Range.Max;
  if (a.Log) {
    // A logarithmic axis cannot reach 0: round automatic ends out to whole
    // decades and replace an impossible fixed minimum by the data's decade.
    if (a.Range.AutoMin || mn <= 0.0)
      mn = std::pow(10.0, std::floor(std::log10(lo > 0.0 ? lo : 1.0)));
    if (a.Range.AutoMax || mx <= 0.0)
      mx = std::pow(10.0, std::ceil(std::log10(hi > 0.0 ? hi : 10.0)));
    if (mx <= mn)
      mx = mn * 10.0;
  } else {
    if (mx <= mn) {
      // One value only (or a fixed bound beyond the data): open the range
      // on the side that follows the data.
      const double span = std::max(std::fabs(mn) * 0.1, 1e-12);
      if (a.Range.AutoMax || !a.Range.AutoMin)
        mx = mn + (mn == 0.0 ? 1.0 : span);
      else
        mn = mx - (mx == 0.0 ? 1.0 : span);
    }
    if (a.Range.AutoMax && a.RoundUpMax) {
      const double step = NiceStep((mx - mn) / 5.0);
      const double rounded = std::ceil(mx / step - 1e-9) * step;
      if (rounded >= mx && std::isfinite(rounded))
        mx = rounded;
    }
  }
  Axis(index)->setRange(mn, mx);
}

void TChart::TPrivate::EnsureRanges() {
  if (!RangesDirty)
    return;
  RangesDirty = false;
  for (int i = 0; i < AxisCount; ++i)
    ApplyRange(i);
}

void TChart::TPrivate::PrepareForDrawing() {
  // Ranges first: thinned graphs are made for the bottom axis's range.
  EnsureRanges();
  for (auto& s : Series)
    SyncData(s);
  FitLegendWrap();
  const bool titleShown = !TitleText.isEmpty();
  TitleElement->setVisible(titleShown);
  // Hidden layout elements still occupy their minimum size; give empty rows none.
  TitleElement->setMinimumSize(0, 0);
  TitleElement->setMaximumSize(QWIDGETSIZE_MAX, titleShown ? QWIDGETSIZE_MAX : 0);
  TitleElement->setMargins(titleShown ? QMargins(2, 2, 2, 2) : QMargins());
  if (SubtitleElement) {
    const bool shown = !SubtitleText.isEmpty();
    SubtitleElement->setVisible(shown);
    SubtitleElement->setMinimumSize(0, 0);
    SubtitleElement->setMaximumSize(QWIDGETSIZE_MAX, shown ? QWIDGETSIZE_MAX : 0);
    SubtitleElement->setMargins(shown ? QMargins(2, 0, 2, 2) : QMargins());
  }
  const bool legendShown = Plot->legend->visible() && Plot->legend->itemCount() > 0;
  Plot->legend->setMaximumSize(QWIDGETSIZE_MAX, legendShown ? QWIDGETSIZE_MAX : 0);
  Plot->legend->setMinimumSize(0, 0);
  ApplyTopScale(); // after the ranges: the top scale follows the bottom axis
}

std::array<TAxisRange, AxisCount> TChart::TPrivate::CurrentState() const {
  std::array<TAxisRange, AxisCount> state;
  for (int i = 0; i < AxisCount; ++i)
    state[i] = Axes[i].Range;
  return state;
}

void TChart::TPrivate::RestoreState(const std::array<TAxisRange, AxisCount>& state) {
  for (int i = 0; i < AxisCount; ++i)
    Axes[i].Range = state[i];
  RangesDirty = true;
}

void TChart::TPrivate::ZoomToPixelRect(QRectF rect) {
  EnsureRanges();
  rect = rect.normalized();
  if (rect.width() < 1.0 || rect.height() < 1.0)
    return;
  ZoomHistory.push_back(CurrentState());
  for (int i = 0; i < AxisCount; ++i) {
    QCPAxis* axis = Axis(i);
    const bool horizontal = axis->orientation() == Qt::Horizontal;
    double a = axis->pixelToCoord(horizontal ? rect.left() : rect.bottom());
    double b = axis->pixelToCoord(horizontal ? rect.right() : rect.top());
    if (a > b)
      std::swap(a, b);
    if (!(b > a) || !std::isfinite(a) || !std::isfinite(b))
      continue;
    Axes[i].Range = TAxisRange{false, false, a, b};
  }
  RangesDirty = true;
  Plot->replot();
  emit Owner->Zoomed();
}

void TChart::TPrivate::PanPixels(int dx, int dy) {
  EnsureRanges();
  if (ZoomHistory.empty())
    ZoomHistory.push_back(CurrentState());
  for (int i = 0; i < AxisCount; ++i) {
    QCPAxis* axis = Axis(i);
    const bool horizontal = axis->orientation() == Qt::Horizontal;
    if (horizontal && (Panning == TPanning::None || Panning == TPanning::Vertical))
      continue;
    if (!horizontal && (Panning == TPanning::None || Panning == TPanning::Horizontal))
      continue;
    const int shift = horizontal ? dx : dy;
    const QCPRange r = axis->range();
    double a = axis->pixelToCoord(axis->coordToPixel(r.lower) - shift);
    double b = axis->pixelToCoord(axis->coordToPixel(r.upper) - shift);
    if (a > b)
      std::swap(a, b);
    if (!(b > a) || !std::isfinite(a) || !std::isfinite(b))
      continue;
    Axes[i].Range = TAxisRange{false, false, a, b};
  }
  RangesDirty = true;
  Plot->replot();
  emit Owner->Scrolled();
}

bool TChart::TPrivate::FindMark(const QPointF& pos, int& series, int& index) const {
  // Later series are drawn on top, so they are hit first.
  for (int s = static_cast<int>(Series.size()) - 1; s >= 0; --s) {
    for (const auto& [i, shape] : Series[s].MarkShapes) {
      if (shape.containsPoint(pos, Qt::OddEvenFill)) {
        series = s;
        index = i;
        return true;
      }
    }
  }
  return false;
}

void TChart::TPrivate::DrawMarks(QCPPainter* painter) {
  for (int s = 0; s < static_cast<int>(Series.size()); ++s) {
    TSeriesData& series = Series[s];
    series.MarkShapes.clear();
    series.MarkWidths.clear();
    if (!series.MarksVisible || !series.Visible || !series.MarkText || series.X.empty())
      continue;
    const int first = Owner->FirstVisibleIndex(s);
    const int last = Owner->LastVisibleIndex(s);
    if (first < 0)
      continue;
    QCPAxis* xAxis = Plot->xAxis;
    QCPAxis* yAxis = Axis(series.VerticalAxis);
    const TMarkStyle& style = series.Marks;
    QFont font = Owner->font();
    font.setPointSize(std::max(6, Axes[AxisIndex(TAxisId::Bottom)].LabelFontSize));
    painter->setFont(font);
    const QFontMetricsF metrics(font);
    QColor background = style.Background;
    background.setAlpha(std::clamp(255 * (100 - style.Transparency) / 100, 0, 255));
    for (int i = first; i <= last; ++i) {
      if (series.Null[i])
        continue;
      const QString text = series.MarkText(s, i);
      if (text.isEmpty())
        continue;
      const QPointF point(xAxis->coordToPixel(series.X[i]), yAxis->coordToPixel(series.Y[i]));
      if (!std::isfinite(point.x()) || !std::isfinite(point.y()))
        continue;
      QPointF offset;
      if (auto it = series.MarkOffsets.find(i); it != series.MarkOffsets.end())
        offset = it->second;
      const QPointF anchor = QPointF(point.x(), point.y() - style.ArrowLength) + offset;
      if (style.Arrow) {
        painter->setPen(QPen(series.Color, 1));
        painter->drawLine(point, anchor);
      }
      const double w = metrics.horizontalAdvance(text) + 2.0 * style.HorizontalMargin;
      const double h = metrics.height() + 2.0;
      // Unturned marks stand centred above their anchor; turned marks start
      // at it and run along their angle.
      const bool turned = std::fabs(style.Angle) > 1e-9;
      const QRectF box = turned ? QRectF(0.0, -h / 2.0, w, h) : QRectF(-w / 2.0, -h, w, h);
      QTransform transform;
      transform.translate(anchor.x(), anchor.y());
      transform.rotate(-style.Angle);
      painter->save();
      painter->setTransform(transform, true);
      painter->setPen(style.Frame ? QPen(QColor(90, 90, 90), 0) : QPen(Qt::NoPen));
      painter->setBrush(background);
      painter->drawRect(box);
      painter->setPen(style.TextColor);
      painter->drawText(box, Qt::AlignCenter, text);
      painter->restore();
      series.MarkShapes[i] = transform.map(QPolygonF(box));
      series.MarkWidths[i] = w;
    }
  }
}

void TChart::TPrivate::RenderTo(QPaintDevice& device, int width, int height, double dpiScale) {
  PrepareForDrawing();
  SetOutputStyle(true);
  const TScopeExit restore([this] { SetOutputStyle(false); });
  QCPPainter painter;
  if (!painter.begin(&device))
    return;
  painter.setMode(QCPPainter::pmVectorized);
  painter.setMode(QCPPainter::pmNoCaching);
  painter.scale(dpiScale, dpiScale);
  Plot->toPainter(&painter, width, height);
  painter.end();
}

bool TChart::TPrivate::HandleMouse(QEvent* event) {
  auto* mouse = static_cast<QMouseEvent*>(event);
  const QPoint pos = mouse->position().toPoint();
  switch (event->type()) {
  case QEvent::MouseButtonPress:
    DragStart = pos;
    DragLast = pos;
    if (mouse->button() == Qt::LeftButton) {
      if (MarksDraggable && FindMark(pos, DragSeries, DragIndex)) {
        Drag = TDrag::Mark;
        DragOffsetStart = Owner->MarkOffset(DragSeries, DragIndex);
      } else if (ZoomEnabled && Plot->axisRect()->rect().contains(pos)) {
        Drag = TDrag::ZoomPending;
      } else {
        Drag = TDrag::LeftClick;
      }
    } else if (mouse->button() == Qt::RightButton) {
      Drag = TDrag::PanPending;
    }
    return true;
  case QEvent::MouseMove: {
    const QPoint delta = pos - DragStart;
    const bool moved = std::abs(delta.x()) > DragThreshold || std::abs(delta.y()) > DragThreshold;
    if (Drag == TDrag::ZoomPending && moved)
      Drag = TDrag::Zoom;
    if (Drag == TDrag::PanPending && moved && Panning != TPanning::None)
      Drag = TDrag::Pan;
    if (Drag == TDrag::Zoom) {
      RubberBand->setGeometry(QRect(DragStart, pos).normalized());
      RubberBand->show();
    } else if (Drag == TDrag::Pan) {
      PanPixels(pos.x() - DragLast.x(), pos.y() - DragLast.y());
    } else if (Drag == TDrag::Mark) {
      Series[DragSeries].MarkOffsets[DragIndex] = DragOffsetStart + QPointF(delta);
      Plot->replot(QCustomPlot::rpQueuedReplot);
    }
    DragLast = pos;
    return true;
  }
  case QEvent::MouseButtonRelease: {
    const TDrag drag = Drag;
    Drag = TDrag::None;
    RubberBand->hide();
    if (drag == TDrag::Zoom) {
      // Towards the lower right: zoom in; towards the upper left: one step back.
      if (pos.x() > DragStart.x() && pos.y() > DragStart.y())
        ZoomToPixelRect(QRectF(DragStart, pos).intersected(Plot->axisRect()->rect()));
      else
        Owner->UndoZoom();
    } else if (drag == TDrag::PanPending) {
      emit Owner->ContextMenuRequested(mouse->globalPosition().toPoint());
    } else if (drag == TDrag::ZoomPending || drag == TDrag::LeftClick) {
      if (auto* item = qobject_cast<QCPPlottableLegendItem*>(Plot->layoutElementAt(pos))) {
        for (int s = 0; s < static_cast<int>(Series.size()); ++s) {
          if (Series[s].Plottable == item->plottable()) {
            Owner->SetSeriesVisible(s, !Series[s].Visible);
            emit Owner->LegendClicked(s);
            break;
          }
        }
      }
    }
    return true;
  }
  case QEvent::MouseButtonDblClick:
    if (mouse->button() == Qt::LeftButton)
      emit Owner->DoubleClicked();
    return true;
  default:
    return false;
  }
}

// ---------------------------------------------------------------------------
// TChart

TChart::TChart(QWidget* parent) : QWidget(parent), FPrivate(std::make_unique<TPrivate>(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(FPrivate->Plot);
  FPrivate->Plot->installEventFilter(this);
  FPrivate->Plot->setContextMenuPolicy(Qt::DefaultContextMenu);
  connect(FPrivate->Plot, &QCustomPlot::beforeReplot, this, [this] { FPrivate->PrepareForDrawing(); });
  // The same correction for redraws the event loop does: when a layout moved
  // the plotting area, the labels were chosen for the old one. Two
  // corrections in a row at most, so label widths that change the area back
  // and forth cannot keep the chart redrawing.
  connect(FPrivate->Plot, &QCustomPlot::afterLayout, this, [this] {
    TPrivate& d = *FPrivate;
    const QRect rect = d.Plot->axisRect()->rect();
    if (rect != d.LastPlotArea && d.LayoutCorrections < 2) {
      ++d.LayoutCorrections;
      d.Plot->replot(QCustomPlot::rpQueuedReplot);
    } else {
      d.LayoutCorrections = 0;
    }
    d.LastPlotArea = rect;
  });
  SetBackgroundColor(Qt::white);
}

TChart::~TChart() = default;

// ---- series ----------------------------------------------------------------

int TChart::AddSeries(const QString& title, const QColor& color, TAxisId verticalAxis) {
  TPrivate& d = *FPrivate;
  d.Series.emplace_back();
  TSeriesData& s = d.Series.back();
  s.Title = title;
  s.Color = color;
  s.VerticalAxis = verticalAxis;
  d.CreatePlottable(s);
  if (verticalAxis == TAxisId::Right && !d.Axes[AxisIndex(TAxisId::Right)].Visible)
    SetAxisVisible(TAxisId::Right, true);
  d.UpdateLegend();
  d.Changed();
  return static_cast<int>(d.Series.size()) - 1;
}

int TChart::SeriesCount() const { return static_cast<int>(FPrivate->Series.size()); }

void TChart::MoveSeries(int from, int to) {
  TPrivate& d = *FPrivate;
  if (!d.ValidSeries(from) || !d.ValidSeries(to) || from == to)
    return;
  TSeriesData moved = std::move(d.Series[from]);
  d.Series.erase(d.Series.begin() + from);
  d.Series.insert(d.Series.begin() + to, std::move(moved));
  d.RebuildOrder();
  d.Changed();
}

int TChart::AddXY(int series, double x, double y) {
  TPrivate& d = *FPrivate;
  if (!d.ValidSeries(series))
    return -1;
  TSeriesData& s = d.Series[series];
  // NaN is in no order: a series with a NaN X is drawn as a curve.
  const bool appendsInOrder = !std::isnan(x) && (s.X.empty() || x >= s.X.back());
  s.X.push_back(x);
  s.Y.push_back(y);
  s.Null.push_back(0);
  if (!appendsInOrder && s.SortedX) {
    s.SortedX = false;
    d.CreatePlottable(s);
    d.RebuildOrder();
  } else if (!s.DataDirty && !s.Thinned) {
    // Appending in X order: the graph takes the point without a rebuild
    // (one point per check point during a run).
    if (auto* graph = qobject_cast<QCPGraph*>(s.Plottable))
      graph->addData(x, y);
    else
      s.DataDirty = true;
  }
  s.InvalidateBounds();
  d.Changed();
  return static_cast<int>(s.X.size()) - 1;
}

int TChart::AddNull(int series, double x, double y) {
  const int index = AddXY(series, x, y);
  if (index >= 0)
    SetNull(series, index, true);
  return index;
}

void TChart::SetPoints(int series, const std::vector<double>& x, const std::vector<double>& y) {
  TPrivate& d = *FPrivate;
  if (!d.ValidSeries(series))
    return;
  d.AssignPoints(d.Series[series], false, x.data(), y.data(), std::min(x.size(), y.size()));
}

bool TChart::SetYValues(int series, const std::vector<double>& y) {
  TPrivate& d = *FPrivate;
  if (!d.ValidSeries(series) || y.size() < d.Series[series].X.size())
    return false;
  d.AssignPoints(d.Series[series], true, nullptr, y.data(), d.Series[series].X.size());
  return true;
}

void TChart::TPrivate::AssignPoints(TSeriesData& s, bool keepX, const double* xs, const double* ys,
                                    std::size_t n) {
  TPrivate& d = *this;
  // Sized without clearing: the pass below writes every element.
  if (!keepX)
    s.X.resize(n);
  s.Y.resize(n);
  s.Null.assign(n, 0);
  s.MarkOffsets.clear();
  // One pass over the new points (a mass distribution has a million): their
  // order, the extent of Y, and the graph's own copy, overwritten in place
  // when it holds as many points (a track-bar move).
  QCPGraphDataContainer* container = nullptr;
  if (auto* graph = qobject_cast<QCPGraph*>(s.Plottable); graph && !s.Thinned && n <= ThinningPointLimit && graph->data()->size() == static_cast<int>(n))
    container = graph->data().data();
  QCPGraphDataContainer::iterator out;
  if (container)
    out = container->begin();
  if (keepX)
    xs = s.X.data();
  // A big graph is thinned in the same pass, for the view as it stands; a
  // redraw for another view thins it again (SyncData).
  auto* graph = qobject_cast<QCPGraph*>(s.Plottable);
  double thinLower = 0.0;
  double thinStep = 0.0;
  const bool thin = graph && n > 0 && d.ThinningStep(n, xs[0], xs[n - 1], thinLower, thinStep);
  QVector<QCPGraphData> thinned;
  const double inf = std::numeric_limits<double>::infinity();
  // Kept X keeps its order; new X is checked as it is copied.
  bool sorted = keepX ? s.SortedX : true;
  double previous = -inf;
  double lo = inf, hi = -inf, posLo = inf, posHi = -inf;
  double* xOut = s.X.data();
  double* yOut = s.Y.data();
  for (std::size_t i = 0; i < n; ++i) {
    const double yi = ys[i];
    if (!keepX) {
      const double xi = xs[i];
      xOut[i] = xi;
      // False for a decrease and for NaN.
      sorted = sorted && xi >= previous;
      previous = xi;
    }
    yOut[i] = yi;
    if (std::isfinite(yi)) {
      lo = yi < lo ? yi : lo;
      hi = yi > hi ? yi : hi;
      if (yi > 0.0) {
        posLo = yi < posLo ? yi : posLo;
        posHi = yi > posHi ? yi : posHi;
      }
    }
  }
  if (container) {
    for (std::size_t i = 0; i < n; ++i, ++out) {
      out->key = xs[i];
      out->value = ys[i];
    }
  }
  if (thin && sorted)
    ThinSorted(xs, ys, nullptr, n, thinLower, thinStep, thinned);
  s.InvalidateBounds();
  s.YBounds[0] = {lo <= hi, lo, hi};
  s.YBounds[1] = {posLo <= posHi, posLo, posHi};
  s.YBoundsValid = true;
  if (sorted != s.SortedX) {
    s.SortedX = sorted;
    d.CreatePlottable(s);
    d.RebuildOrder();
  }
  if (thin && sorted) {
    graph->data()->set(thinned, true);
    graph->setAntialiased(n < AntialiasedPointLimit);
    s.Thinned = true;
    s.ThinnedLower = thinLower;
    s.ThinnedStep = thinStep;
    s.DataDirty = false;
  } else if (container && sorted) {
    s.DataDirty = false;
    static_cast<QCPGraph*>(s.Plottable)->setAntialiased(n < AntialiasedPointLimit);
  } else {
    s.DataDirty = true;
  }
  d.Changed();
}

void TChart::ClearSeries(int series) {
  TPrivate& d = *FPrivate;
  if (!d.ValidSeries(series))
    return;
  TSeriesData& s = d.Series[series];
  s.X.clear();
  s.Y.clear();
  s.Null.clear();
  s.MarkOffsets.clear();
  s.MarkShapes.clear();
  s.MarkWidths.clear();
  if (!s.SortedX) {
    s.SortedX = true;
    d.CreatePlottable(s);
    d.RebuildOrder();
  }
  s.DataDirty = true;
  s.InvalidateBounds();
  d.Changed();
}

void TChart::ClearAllSeries() {
  for (int s = 0; s < SeriesCount(); ++s)
    ClearSeries(s);
}

int TChart::PointCount(int series) const {
  return FPrivate->ValidSeries(series) ? static_cast<int>(FPrivate->Series[series].X.size()) : 0;
}

double TChart::XValue(int series, int index) const {
  return FPrivate->ValidPoint(series, index) ? FPrivate->Series[series].X[index] : 0.0;
}

double TChart::YValue(int series, int index) const {
  return FPrivate->ValidPoint(series, index) ? FPrivate->Series[series].Y[index] : 0.0;
}

bool TChart::IsNull(int series, int index) const {
  return FPrivate->ValidPoint(series, index) && FPrivate->Series[series].Null[index] != 0;
}

void TChart::SetNull(int series, int index, bool null) {
  TPrivate& d = *FPrivate;
  if (!d.ValidPoint(series, index))
    return;
  TSeriesData& s = d.Series[series];
  if ((s.Null[index] != 0) == null)
    return;
  s.Null[index] = null ? 1 : 0;
  s.DataDirty = true;
  s.InvalidateBounds();
  d.Changed();
}

QString TChart::SeriesTitle(int series) const {
  return FPrivate->ValidSeries(series) ? FPrivate->Series[series].Title : QString();
}

void TChart::SetSeriesTitle(int series, const QString& title) {
  TPrivate& d = *FPrivate;
  if (!d.ValidSeries(series))
    return;
  d.Series[series].Title = title;
  d.ApplySeriesStyle(d.Series[series]);
  d.UpdateLegend();
  Invalidate();
}

QColor TChart::SeriesColor(int series) const {
  return FPrivate->ValidSeries(series) ? FPrivate->Series[series].Color : QColor();
}

void TChart::SetSeriesColor(int series, const QColor& color) {
  TPrivate& d = *FPrivate;
  if (!d.ValidSeries(series) || !color.isValid())
    return;
  d.Series[series].Color = color;
  d.ApplySeriesStyle(d.Series[series]);
  Invalidate();
}

Qt::PenStyle TChart::SeriesPenStyle(int series) const {
  return FPrivate->ValidSeries(series) ? FPrivate->Series[series].PenStyle : Qt::SolidLine;
}

void TChart::SetSeriesPenStyle(int series, Qt::PenStyle style) {
  TPrivate& d = *FPrivate;
  if (!d.ValidSeries(series))
    return;
  d.Series[series].PenStyle = style;
  d.ApplySeriesStyle(d.Series[series]);
  Invalidate();
}

int TChart::SeriesPenWidth(int series) const {
  return FPrivate->ValidSeries(series) ? FPrivate->Series[series].PenWidth : 0;
}

void TChart::SetSeriesPenWidth(int series, int pixels) {
  TPrivate& d = *FPrivate;
  if (!d.ValidSeries(series))
    return;
  d.Series[series].PenWidth = std::max(0, pixels);
  d.ApplySeriesStyle(d.Series[series]);
  Invalidate();
}

bool TChart::SeriesVisible(int series) const {
  return FPrivate->ValidSeries(series) && FPrivate->Series[series].Visible;
}

void TChart::SetSeriesVisible(int series, bool visible) {
  TPrivate& d = *FPrivate;
  if (!d.ValidSeries(series))
    return;
  d.Series[series].Visible = visible;
  d.ApplySeriesStyle(d.Series[series]);
  d.UpdateLegend();
  d.Changed();
}

bool TChart::SeriesInLegend(int series) const {
  return FPrivate->ValidSeries(series) && FPrivate->Series[series].InLegend;
}

void TChart::SetSeriesInLegend(int series, bool inLegend) {
  TPrivate& d = *FPrivate;
  if (!d.ValidSeries(series))
    return;
  d.Series[series].InLegend = inLegend;
  d.UpdateLegend();
  Invalidate();
}

bool TChart::SeriesLineVisible(int series) const {
  return FPrivate->ValidSeries(series) && FPrivate->Series[series].LineVisible;
}

void TChart::SetSeriesLineVisible(int series, bool visible) {
  TPrivate& d = *FPrivate;
  if (!d.ValidSeries(series))
    return;
  d.Series[series].LineVisible = visible;
  d.ApplySeriesStyle(d.Series[series]);
  Invalidate();
}

TAxisId TChart::SeriesVerticalAxis(int series) const {
  return FPrivate->ValidSeries(series) ? FPrivate->Series[series].VerticalAxis : TAxisId::Left;
}

void TChart::SetSeriesVerticalAxis(int series, TAxisId axis) {
  TPrivate& d = *FPrivate;
  if (!d.ValidSeries(series) || axis == TAxisId::Bottom)
    return;
  d.Series[series].VerticalAxis = axis;
  d.CreatePlottable(d.Series[series]);
  d.RebuildOrder();
  if (axis == TAxisId::Right)
    SetAxisVisible(TAxisId::Right, true);
  d.Changed();
}

int TChart::FirstVisibleIndex(int series) const {
  TPrivate& d = *FPrivate;
  if (!d.ValidSeries(series))
    return -1;
  d.EnsureRanges();
  const TSeriesData& s = d.Series[series];
  const QCPRange range = d.Plot->xAxis->range();
  if (s.SortedX) {
    const auto it = std::lower_bound(s.X.begin(), s.X.end(), range.lower);
    if (it == s.X.end() || *it > range.upper)
      return -1;
    return static_cast<int>(it - s.X.begin());
  }
  for (std::size_t i = 0; i < s.X.size(); ++i)
    if (s.X[i] >= range.lower && s.X[i] <= range.upper)
      return static_cast<int>(i);
  return -1;
}

int TChart::LastVisibleIndex(int series) const {
  TPrivate& d = *FPrivate;
  if (!d.ValidSeries(series))
    return -1;
  d.EnsureRanges();
  const TSeriesData& s = d.Series[series];
  const QCPRange range = d.Plot->xAxis->range();
  if (s.SortedX) {
    const auto it = std::upper_bound(s.X.begin(), s.X.end(), range.upper);
    if (it == s.X.begin() || *(it - 1) < range.lower)
      return -1;
    return static_cast<int>(it - s.X.begin()) - 1;
  }
  for (std::size_t i = s.X.size(); i-- > 0;)
    if (s.X[i] >= range.lower && s.X[i] <= range.upper)
      return static_cast<int>(i);
  return -1;
}

// ---- marks -----------------------------------------------------------------

void TChart::SetMarkTextFunction(int series, TMarkTextFunction function) {
  if (!FPrivate->ValidSeries(series))
    return;
  FPrivate->Series[series].MarkText = std::move(function);
  Invalidate();
}

bool TChart::MarksVisible(int series) const {
  return FPrivate->ValidSeries(series) && FPrivate->Series[series].MarksVisible;
}

void TChart::SetMarksVisible(int series, bool visible) {
  if (!FPrivate->ValidSeries(series))
    return;
  FPrivate->Series[series].MarksVisible = visible;
  Invalidate();
}

TMarkStyle TChart::MarkStyle(int series) const {
  return FPrivate->ValidSeries(series) ? FPrivate->Series[series].Marks : TMarkStyle();
}

void TChart::SetMarkStyle(int series, const TMarkStyle& style) {
  if (!FPrivate->ValidSeries(series))
    return;
  FPrivate->Series[series].Marks = style;
  Invalidate();
}

void TChart::SetMarksDraggable(bool draggable) { FPrivate->MarksDraggable = draggable; }

QPointF TChart::MarkOffset(int series, int index) const {
  if (!FPrivate->ValidSeries(series))
    return {};
  const auto& offsets = FPrivate->Series[series].MarkOffsets;
  const auto it = offsets.find(index);
  return it == offsets.end() ? QPointF() : it->second;
}

void TChart::SetMarkOffset(int series, int index, const QPointF& offset) {
  if (!FPrivate->ValidPoint(series, index))
    return;
  FPrivate->Series[series].MarkOffsets[index] = offset;
  Invalidate();
}

void TChart::ResetMarkPositions(int series) {
  if (!FPrivate->ValidSeries(series))
    return;
  FPrivate->Series[series].MarkOffsets.clear();
  Invalidate();
}

double TChart::MarkWidth(int series, int index) const {
  if (!FPrivate->ValidSeries(series))
    return 0.0;
  const auto& widths = FPrivate->Series[series].MarkWidths;
  const auto it = widths.find(index);
  return it == widths.end() ? 0.0 : it->second;
}

// ---- axes ------------------------------------------------------------------

QString TChart::AxisTitle(TAxisId axis) const { return FPrivate->Axes[AxisIndex(axis)].Title; }

void TChart::SetAxisTitle(TAxisId axis, const QString& title) {
  FPrivate->Axes[AxisIndex(axis)].Title = title;
  FPrivate->ApplyAxisStyle(AxisIndex(axis));
  Invalidate();
}

double TChart::AxisMinimum(TAxisId axis) const {
  FPrivate->EnsureRanges();
  return FPrivate->Axis(axis)->range().lower;
}

double TChart::AxisMaximum(TAxisId axis) const {
  FPrivate->EnsureRanges();
  return FPrivate->Axis(axis)->range().upper;
}

void TChart::SetAxisMinimum(TAxisId axis, double value) {
  if (!std::isfinite(value))
    return;
  TAxisRange& r = FPrivate->Axes[AxisIndex(axis)].Range;
  r.Min = value;
  r.AutoMin = false;
  FPrivate->Changed();
}

void TChart::SetAxisMaximum(TAxisId axis, double value) {
  if (!std::isfinite(value))
    return;
  TAxisRange& r = FPrivate->Axes[AxisIndex(axis)].Range;
  r.Max = value;
  r.AutoMax = false;
  FPrivate->Changed();
}

bool TChart::AxisAutomaticMinimum(TAxisId axis) const { return FPrivate->Axes[AxisIndex(axis)].Range.AutoMin; }
bool TChart::AxisAutomaticMaximum(TAxisId axis) const { return FPrivate->Axes[AxisIndex(axis)].Range.AutoMax; }

void TChart::SetAxisAutomaticMinimum(TAxisId axis, bool automatic) {
  FPrivate->Axes[AxisIndex(axis)].Range.AutoMin = automatic;
  FPrivate->Changed();
}

void TChart::SetAxisAutomaticMaximum(TAxisId axis, bool automatic) {
  FPrivate->Axes[AxisIndex(axis)].Range.AutoMax = automatic;
  FPrivate->Changed();
}

void TChart::SetAxisAutomatic(TAxisId axis, bool automatic) {
  TAxisRange& r = FPrivate->Axes[AxisIndex(axis)].Range;
  r.AutoMin = automatic;
  r.AutoMax = automatic;
  FPrivate->Changed();
}

void TChart::SetAxisRoundUpMaximum(TAxisId axis, bool roundUp) {
  FPrivate->Axes[AxisIndex(axis)].RoundUpMax = roundUp;
  FPrivate->Changed();
}

bool TChart::AxisLogarithmic(TAxisId axis) const { return FPrivate->Axes[AxisIndex(axis)].Log; }

void TChart::SetAxisLogarithmic(TAxisId axis, bool logarithmic) {
  const int i = AxisIndex(axis);
  if (FPrivate->Axes[i].Log == logarithmic)
    return;
  FPrivate->Axes[i].Log = logarithmic;
  FPrivate->ApplyAxisTicker(i);
  FPrivate->ApplyAxisStyle(i);
  FPrivate->Changed();
}

bool TChart::AxisInverted(TAxisId axis) const { return FPrivate->Axes[AxisIndex(axis)].Inverted; }

void TChart::SetAxisInverted(TAxisId axis, bool inverted) {
  FPrivate->Axes[AxisIndex(axis)].Inverted = inverted;
  FPrivate->ApplyAxisStyle(AxisIndex(axis));
  Invalidate();
}

QString TChart::AxisValueFormat(TAxisId axis) const { return FPrivate->Axes[AxisIndex(axis)].Format; }

void TChart::SetAxisValueFormat(TAxisId axis, const QString& pattern) {
  // The tickers read the pattern through a pointer; the string is replaced
  // in place.
  FPrivate->Axes[AxisIndex(axis)].Format = pattern;
  Invalidate();
}

bool TChart::AxisGrid(TAxisId axis) const { return FPrivate->Axes[AxisIndex(axis)].Grid; }

void TChart::SetAxisGrid(TAxisId axis, bool grid) {
  FPrivate->Axes[AxisIndex(axis)].Grid = grid;
  FPrivate->ApplyAxisStyle(AxisIndex(axis));
  Invalidate();
}

bool TChart::AxisVisible(TAxisId axis) const { return FPrivate->Axes[AxisIndex(axis)].Visible; }

void TChart::SetAxisVisible(TAxisId axis, bool visible) {
  FPrivate->Axes[AxisIndex(axis)].Visible = visible;
  FPrivate->ApplyAxisStyle(AxisIndex(axis));
  Invalidate();
}

void TChart::AddAxisCustomLabel(TAxisId axis, double position, const QString& text) {
  if (!std::isfinite(position))
    return;
  const int i = AxisIndex(axis);
  FPrivate->Axes[i].CustomLabels.emplace_back(position, text);
  FPrivate->ApplyAxisTicker(i);
  Invalidate();
}

void TChart::ClearAxisCustomLabels(TAxisId axis) {
  const int i = AxisIndex(axis);
  FPrivate->Axes[i].CustomLabels.clear();
  FPrivate->ApplyAxisTicker(i);
  Invalidate();
}

int TChart::AxisCustomLabelCount(TAxisId axis) const {
  return static_cast<int>(FPrivate->Axes[AxisIndex(axis)].CustomLabels.size());
}

std::vector<double> TChart::AxisLabelPositions(TAxisId axis) const {
  const QVector<double> ticks = FPrivate->Axis(axis)->tickVector();
  return {ticks.begin(), ticks.end()};
}

std::vector<QString> TChart::AxisLabelTexts(TAxisId axis) const {
  const QVector<QString> labels = FPrivate->Axis(axis)->tickVectorLabels();
  return {labels.begin(), labels.end()};
}

QString TChart::FormatAxisValue(TAxisId axis, double value) const {
  return FormatWithPattern(FPrivate->Axes[AxisIndex(axis)].Format, value);
}

void TChart::SetAxisTitleFontSize(TAxisId axis, int points) {
  FPrivate->Axes[AxisIndex(axis)].TitleFontSize = std::max(1, points);
  FPrivate->ApplyAxisStyle(AxisIndex(axis));
  Invalidate();
}

int TChart::AxisTitleFontSize(TAxisId axis) const { return FPrivate->Axes[AxisIndex(axis)].TitleFontSize; }

void TChart::SetAxisLabelFontSize(TAxisId axis, int points) {
  FPrivate->Axes[AxisIndex(axis)].LabelFontSize = std::max(1, points);
  FPrivate->ApplyAxisStyle(AxisIndex(axis));
  if (axis == TAxisId::Left)
    FPrivate->UpdateLegend();
  Invalidate();
}

int TChart::AxisLabelFontSize(TAxisId axis) const { return FPrivate->Axes[AxisIndex(axis)].LabelFontSize; }

// ---- chart -----------------------------------------------------------------

QString TChart::Title() const { return FPrivate->TitleText; }

void TChart::SetTitle(const QString& title) {
  if (FPrivate->TitleText == title)
    return;
  FPrivate->TitleText = title;
  FPrivate->ApplyTitle();
  Invalidate();
}

void TChart::SetTitleFontSize(int points) {
  FPrivate->TitleSize = std::max(1, points);
  FPrivate->ApplyTitle();
  Invalidate();
}

QString TChart::Subtitle() const { return FPrivate->SubtitleText; }

void TChart::SetSubtitle(const QString& text) {
  TPrivate& d = *FPrivate;
  if (!d.SubtitleElement && text.isEmpty())
    return;
  if (!d.SubtitleElement) {
    // Its own row between the title and the legend.
    QCPLayoutGrid* layout = d.Plot->plotLayout();
    layout->insertRow(1);
    d.SubtitleElement = new QCPTextElement(d.Plot, QString());
    layout->addElement(1, 0, d.SubtitleElement);
    layout->setRowStretchFactor(1, 0.001);
  }
  d.SubtitleText = text;
  d.ApplyTitle();
  Invalidate();
}

void TChart::SetTopScale(const QString& title, const std::vector<std::pair<double, QString>>& ticks) {
  TPrivate& d = *FPrivate;
  d.TopTitle = title;
  d.TopTicks = ticks;
  d.ApplyTopScale();
  Invalidate();
}

QString TChart::TopScaleTitle() const { return FPrivate->TopTitle; }

std::vector<std::pair<double, QString>> TChart::TopScaleTicks() const { return FPrivate->TopTicks; }

int TChart::TitleFontSize() const { return FPrivate->TitleSize; }

bool TChart::LegendVisible() const { return FPrivate->Plot->legend->visible(); }

void TChart::SetLegendVisible(bool visible) {
  FPrivate->Plot->legend->setVisible(visible);
  Invalidate();
}

QColor TChart::BackgroundColor() const { return FPrivate->Background; }

void TChart::SetBackgroundColor(const QColor& color) {
  FPrivate->Background = color;
  if (!color.isValid() || color.alpha() == 0)
    FPrivate->Plot->setBackground(Qt::NoBrush);
  else
    FPrivate->Plot->setBackground(QBrush(color));
  Invalidate();
}

void TChart::SetChartMargins(const TMarginsPercent& margins) {
  FPrivate->Margins = margins;
  FPrivate->ApplyMargins();
  Invalidate();
}

TMarginsPercent TChart::ChartMargins() const { return FPrivate->Margins; }
void TChart::SetPrintMargins(const TMarginsPercent& margins) { FPrivate->PrintMargins = margins; }
TMarginsPercent TChart::PrintMargins() const { return FPrivate->PrintMargins; }

void TChart::Refresh() {
  FPrivate->RangesDirty = true;
  FPrivate->PrepareForDrawing();
  // Labels are chosen for the plotting area of the previous layout: when the
  // layout moved it (first drawing, new label widths), draw once more.
  const QRect before = FPrivate->Plot->axisRect()->rect();
  FPrivate->Plot->replot(QCustomPlot::rpImmediateRefresh);
  if (FPrivate->Plot->axisRect()->rect() != before)
    FPrivate->Plot->replot(QCustomPlot::rpImmediateRefresh);
}

void TChart::Invalidate() { FPrivate->Plot->replot(QCustomPlot::rpQueuedReplot); }

// ---- zoom ------------------------------------------------------------------

void TChart::ZoomTo(double xMin, double xMax, double yMin, double yMax) {
  TPrivate& d = *FPrivate;
  d.PrepareForDrawing();
  d.Plot->replot(QCustomPlot::rpImmediateRefresh);
  const QPointF a(d.Plot->xAxis->coordToPixel(xMin), d.Plot->yAxis->coordToPixel(yMin));
  const QPointF b(d.Plot->xAxis->coordToPixel(xMax), d.Plot->yAxis->coordToPixel(yMax));
  d.ZoomToPixelRect(QRectF(a, b));
}

void TChart::ZoomToPixels(const QRect& rect) {
  FPrivate->PrepareForDrawing();
  FPrivate->Plot->replot(QCustomPlot::rpImmediateRefresh);
  FPrivate->ZoomToPixelRect(QRectF(rect));
}

void TChart::UndoZoom() {
  TPrivate& d = *FPrivate;
  if (!d.ZoomHistory.empty()) {
    d.RestoreState(d.ZoomHistory.back());
    d.ZoomHistory.pop_back();
  }
  d.RangesDirty = true;
  d.Plot->replot();
  emit ZoomUndone();
}

bool TChart::IsZoomed() const { return !FPrivate->ZoomHistory.empty(); }
int TChart::ZoomHistoryCount() const { return static_cast<int>(FPrivate->ZoomHistory.size()); }
void TChart::SetZoomEnabled(bool enabled) { FPrivate->ZoomEnabled = enabled; }
bool TChart::ZoomEnabled() const { return FPrivate->ZoomEnabled; }
void TChart::SetPanning(TPanning panning) { FPrivate->Panning = panning; }
TPanning TChart::Panning() const { return FPrivate->Panning; }

void TChart::PanByPixels(int dx, int dy) {
  FPrivate->PrepareForDrawing();
  FPrivate->Plot->replot(QCustomPlot::rpImmediateRefresh);
  FPrivate->PanPixels(dx, dy);
}

double TChart::ValueToPixel(TAxisId axis, double value) const {
  FPrivate->EnsureRanges();
  return FPrivate->Axis(axis)->coordToPixel(value);
}

double TChart::PixelToValue(TAxisId axis, double pixel) const {
  FPrivate->EnsureRanges();
  return FPrivate->Axis(axis)->pixelToCoord(pixel);
}

QRect TChart::PlotArea() const { return FPrivate->Plot->axisRect()->rect(); }

// ---- output ----------------------------------------------------------------

QByteArray TChart::ToSvg() {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QSvgGenerator generator;
  generator.setOutputDevice(&buffer);
  generator.setResolution(logicalDpiX());
  generator.setSize(size());
  generator.setViewBox(QRect(QPoint(0, 0), size()));
  generator.setTitle(FPrivate->TitleText);
  FPrivate->RenderTo(generator, width(), height(), 1.0);
  return bytes;
}

QByteArray TChart::ToPdf() {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter writer(&buffer);
  // Same resolution as the screen, so fonts keep their size relative to the chart.
  const int dpi = std::max(1, logicalDpiX());
  writer.setResolution(dpi);
  writer.setPageSize(QPageSize(QSizeF(width() * 72.0 / dpi, height() * 72.0 / dpi), QPageSize::Point));
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  writer.setTitle(FPrivate->TitleText);
  writer.setCreator(QStringLiteral("Propagon"));
  FPrivate->RenderTo(writer, width(), height(), 1.0);
  return bytes;
}

QImage TChart::ToImage() {
  QImage image(size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  FPrivate->RenderTo(image, width(), height(), 1.0);
  return image;
}

bool TChart::CopyToClipboard() {
  QClipboard* clipboard = QApplication::clipboard();
  if (!clipboard)
    return false;
  const QByteArray svg = ToSvg();
  const QByteArray pdf = ToPdf();
  const QImage image = ToImage();
  if (svg.isEmpty() || image.isNull())
    return false;
  auto* mime = new QMimeData;
  mime->setData(QStringLiteral("image/svg+xml"), svg);
  if (!pdf.isEmpty())
    mime->setData(QStringLiteral("application/pdf"), pdf);
  mime->setImageData(image);
  clipboard->setMimeData(mime);
  return true;
}

bool TChart::Print(QPrinter& printer) {
  const QRectF page = printer.pageRect(QPrinter::DevicePixel);
  const TMarginsPercent& m = FPrivate->PrintMargins;
  const QRectF target(page.width() * m.Left / 100.0, page.height() * m.Top / 100.0,
                      page.width() * (1.0 - (m.Left + m.Right) / 100.0),
                      page.height() * (1.0 - (m.Top + m.Bottom) / 100.0));
  if (target.width() < 1.0 || target.height() < 1.0)
    return false;
  // Laid out at screen scale for the printed area (not for the window, whose
  // fonts may be far too large for it), then enlarged by the painter.
  const double scale = printer.resolution() / static_cast<double>(std::max(1, logicalDpiX()));
  const int w = std::max(1, static_cast<int>(target.width() / scale));
  const int h = std::max(1, static_cast<int>(target.height() / scale));
  LayOutFor(QSize(w, h));
  const TScopeExit relayout([this] { LayOutFor(size()); });
  FPrivate->PrepareForDrawing();
  FPrivate->SetOutputStyle(true);
  const TScopeExit restore([this] { FPrivate->SetOutputStyle(false); });
  QCPPainter painter;
  if (!painter.begin(&printer))
    return false;
  painter.setMode(QCPPainter::pmVectorized);
  painter.setMode(QCPPainter::pmNoCaching);
  painter.translate(target.topLeft());
  painter.scale(scale, scale);
  FPrivate->Plot->toPainter(&painter, w, h);
  return painter.end();
}

QImage TChart::RenderImage(const QSize& layoutSize, double scale) {
  if (layoutSize.isEmpty() || !(scale > 0.0))
    return {};
  const QSize pixels(std::max(1, static_cast<int>(std::lround(layoutSize.width() * scale))),
                     std::max(1, static_cast<int>(std::lround(layoutSize.height() * scale))));
  QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull())
    return image;
  image.fill(Qt::white);
  // Painted at the screen's resolution (the painter enlarges); the picture's
  // own resolution is recorded afterwards, or the fonts would grow twice.
  image.setDotsPerMeterX(qRound(std::max(1, logicalDpiX()) / 0.0254));
  image.setDotsPerMeterY(qRound(std::max(1, logicalDpiY()) / 0.0254));
  const bool other = layoutSize != size();
  if (other)
    LayOutFor(layoutSize);
  const TScopeExit relayout([this, other] {
    if (other)
      LayOutFor(size());
  });
  FPrivate->RenderTo(image, layoutSize.width(), layoutSize.height(), scale);
  const int dotsPerMeter = static_cast<int>(std::lround(std::max(1, logicalDpiX()) * scale / 0.0254));
  image.setDotsPerMeterX(dotsPerMeter);
  image.setDotsPerMeterY(dotsPerMeter);
  return image;
}

void TChart::SetOutputLayout(std::function<void(const QSize&)> layout) { FPrivate->OutputLayout = std::move(layout); }

void TChart::LayOutFor(const QSize& layoutSize) {
  if (FPrivate->OutputLayout)
    FPrivate->OutputLayout(layoutSize);
}

// ---- events ----------------------------------------------------------------

void TChart::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FPrivate->ApplyMargins();
  FPrivate->FitLegendWrap();
  emit Resized();
}

bool TChart::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FPrivate->Plot) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
      return FPrivate->HandleMouse(event);
    case QEvent::Wheel:
      return true;
    case QEvent::ContextMenu: {
      // Mouse-made requests come from the right-button release (a right
      // drag pans); the keyboard's menu key asks directly.
      auto* menu = static_cast<QContextMenuEvent*>(event);
      if (menu->reason() != QContextMenuEvent::Mouse)
        emit ContextMenuRequested(menu->globalPos());
      return true;
    }
    default:
      break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

} // namespace Charts
