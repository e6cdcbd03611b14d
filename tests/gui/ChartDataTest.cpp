// The chart adapter's data path as the distribution windows use it: whole
// series replaced at once (again and again, with the same number of points),
// ranges that follow every change of the points, null points that stay gaps,
// and the pens of printed and exported pictures.

#include "charts/uChart.h"

#include <QApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

using Charts::TAxisId;
using Charts::TChart;

namespace {

class ChartDataTest : public testing::Test {
protected:
  void SetUp() override {
    Chart.resize(535, 348);
    Chart.show();
    Chart.SetLegendVisible(false);
  }

  static std::vector<double> Ramp(int n) {
    std::vector<double> x(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
      x[static_cast<std::size_t>(i)] = i;
    return x;
  }

  // Pixels of a colour in one pixel column of the plotting area of a
  // picture of the chart.
  int PixelsInColumn(const QImage& image, double x, QRgb color) {
    const int column = static_cast<int>(std::lround(Chart.ValueToPixel(TAxisId::Bottom, x)));
    const QRect area = Chart.PlotArea();
    int count = 0;
    for (int row = area.top(); row <= area.bottom(); ++row)
      if ((image.pixel(column, row) & 0xffffff) == (color & 0xffffff))
        ++count;
    return count;
  }

  TChart Chart;
};

TEST_F(ChartDataTest, RangesFollowEveryChangeOfThePoints) {
  const int s = Chart.AddSeries(QStringLiteral("distribution"), Qt::red);
  const std::vector<double> x = Ramp(10000);
  std::vector<double> y(x.size(), 1.0);
  y[5000] = 4.0;
  Chart.SetPoints(s, x, y);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Left), 4.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Bottom), 9999.0);
  Chart.Refresh();

  // The same number of points again (a track-bar move): new values, new range.
  y[5000] = 1.0;
  y[7000] = 9.0;
  y[0] = -2.0;
  Chart.SetPoints(s, x, y);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Left), 9.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMinimum(TAxisId::Left), -2.0);
  Chart.Refresh();
  EXPECT_DOUBLE_EQ(Chart.YValue(s, 7000), 9.0);

  // Nulling the highest point takes it out of the range; showing it again
  // brings it back.
  Chart.SetNull(s, 7000, true);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Left), 1.0);
  // A point appended while the series waits to be redrawn counts at once.
  Chart.AddXY(s, 20000.0, 6.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Left), 6.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Bottom), 20000.0);
  Chart.SetNull(s, 7000, false);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Left), 9.0);

  // A logarithmic axis sees only the positive values: 1 … 9 rounded out to
  // the decades 1 … 10.
  Chart.SetAxisLogarithmic(TAxisId::Left, true);
  EXPECT_DOUBLE_EQ(Chart.AxisMinimum(TAxisId::Left), 1.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Left), 10.0);
  Chart.SetAxisLogarithmic(TAxisId::Left, false);

  // Emptied, the series no longer stretches anything: the unit range.
  Chart.ClearSeries(s);
  EXPECT_DOUBLE_EQ(Chart.AxisMinimum(TAxisId::Left), 0.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Left), 1.0);
}

TEST_F(ChartDataTest, BottomRangeOfSortedSeriesSkipsNullEnds) {
  const int s = Chart.AddSeries(QStringLiteral("a"), Qt::red);
  Chart.SetPoints(s, {0.0, 10.0, 20.0, 30.0}, {1.0, 2.0, 3.0, 4.0});
  Chart.SetNull(s, 0, true);
  Chart.SetNull(s, 3, true);
  EXPECT_DOUBLE_EQ(Chart.AxisMinimum(TAxisId::Bottom), 10.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Bottom), 20.0);
  // On a logarithmic bottom axis X = 0 has no place even when shown: the
  // positive X values 10 … 30 round out to the decades 10 … 100.
  Chart.SetNull(s, 0, false);
  Chart.SetNull(s, 3, false);
  Chart.SetAxisLogarithmic(TAxisId::Bottom, true);
  EXPECT_DOUBLE_EQ(Chart.AxisMinimum(TAxisId::Bottom), 10.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Bottom), 100.0);
}

TEST_F(ChartDataTest, SeriesOutOfOrderOrWithNaNKeepTheirPointsAndRanges) {
  const int s = Chart.AddSeries(QStringLiteral("loop"), Qt::blue);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // X runs back and holds a NaN: kept in the given order, NaN ignored by the range.
  Chart.SetPoints(s, {5.0, nan, 1.0, 3.0}, {1.0, 2.0, 3.0, nan});
  ASSERT_EQ(Chart.PointCount(s), 4);
  EXPECT_DOUBLE_EQ(Chart.XValue(s, 2), 1.0);
  EXPECT_TRUE(std::isnan(Chart.XValue(s, 1)));
  EXPECT_DOUBLE_EQ(Chart.AxisMinimum(TAxisId::Bottom), 1.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Bottom), 5.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Left), 3.0);
  Chart.Refresh();
  // Back in order with as many points: the visible index range works by X again.
  Chart.SetPoints(s, {1.0, 2.0, 3.0, 4.0}, {4.0, 3.0, 2.0, 1.0});
  Chart.Refresh();
  EXPECT_EQ(Chart.FirstVisibleIndex(s), 0);
  EXPECT_EQ(Chart.LastVisibleIndex(s), 3);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Left), 4.0);
  // A NaN appended point turns the series into one drawn in point order
  // without losing the points before it.
  Chart.AddXY(s, nan, 2.0);
  EXPECT_EQ(Chart.PointCount(s), 5);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Bottom), 4.0);
}

TEST_F(ChartDataTest, NullPointsStayGapsWhenTheSeriesIsReplacedInPlace) {
  Chart.SetBackgroundColor(Qt::white);
  const int s = Chart.AddSeries(QStringLiteral("flat"), Qt::red);
  Chart.SetSeriesPenWidth(s, 3);
  Chart.SetAxisMinimum(TAxisId::Left, 0.0);
  Chart.SetAxisMaximum(TAxisId::Left, 10.0);
  // Ten thousand points: drawn without antialiasing on the screen, thinned
  // out per pixel column by the graph.
  const std::vector<double> x = Ramp(10000);
  const std::vector<double> y(x.size(), 5.0);
  Chart.SetPoints(s, x, y);
  Chart.Refresh();
  // Points 4000 … 6000 become null points: the line stops there.
  for (int i = 4000; i <= 6000; ++i)
    Chart.SetNull(s, i, true);
  Chart.Refresh();
  const QRgb red = QColor(Qt::red).rgb();
  // Exported pictures draw darker pens (see OutputPen); red is dark enough
  // to keep its colour: qGray(255, 0, 0) = 255·11/32 = 87 ≤ 100.
  QImage image = Chart.ToImage();
  EXPECT_GT(PixelsInColumn(image, 2000.0, red), 0);
  EXPECT_EQ(PixelsInColumn(image, 5000.0, red), 0);
  EXPECT_GT(PixelsInColumn(image, 8000.0, red), 0);

  // Replacing the points (same count) shows them all again: no stale gap.
  Chart.SetPoints(s, x, y);
  Chart.Refresh();
  for (int i = 4000; i <= 6000; ++i)
    ASSERT_FALSE(Chart.IsNull(s, i));
  image = Chart.ToImage();
  EXPECT_GT(PixelsInColumn(image, 5000.0, red), 0);

  // And the way the distribution window redraws: empty, then refill.
  Chart.ClearSeries(s);
  Chart.SetPoints(s, x, y);
  Chart.SetNull(s, 5000, true);
  Chart.SetNull(s, 5001, true);
  Chart.Refresh();
  EXPECT_TRUE(Chart.IsNull(s, 5000));
  EXPECT_DOUBLE_EQ(Chart.YValue(s, 5000), 5.0); // a null point keeps its value
}

// Whether a pixel column of the chart as drawn on the screen holds a pixel
// of the colour between two values of the left axis.
bool ColourBetween(TChart& chart, double x, double yFrom, double yTo, QRgb color) {
  const QImage screen = chart.grab().toImage();
  const int column = static_cast<int>(std::lround(chart.ValueToPixel(TAxisId::Bottom, x)));
  const int top = static_cast<int>(std::floor(chart.ValueToPixel(TAxisId::Left, yTo)));
  const int bottom = static_cast<int>(std::ceil(chart.ValueToPixel(TAxisId::Left, yFrom)));
  for (int row = std::max(0, top); row <= std::min(screen.height() - 1, bottom); ++row)
    if ((screen.pixel(column, row) & 0xffffff) == (color & 0xffffff))
      return true;
  return false;
}

TEST_F(ChartDataTest, ThinnedScreenDrawingKeepsPeaksDipsGapsAndZoomedDetail) {
  const int s = Chart.AddSeries(QStringLiteral("distribution"), Qt::red);
  Chart.SetAxisMinimum(TAxisId::Left, 0.0);
  Chart.SetAxisMaximum(TAxisId::Left, 10.0);
  // 200 000 points at 5, with a one-point peak to 9, a one-point dip to 1,
  // a zig-zag 4/6 from 60 000 to 60 100 and a gap of null points.
  const std::vector<double> x = Ramp(200000);
  std::vector<double> y(x.size(), 5.0);
  y[50000] = 9.0;
  y[150000] = 1.0;
  for (std::size_t i = 60000; i <= 60100; ++i)
    y[i] = i % 2 ? 6.0 : 4.0;
  Chart.SetPoints(s, x, y);
  for (int i = 95000; i <= 105000; ++i)
    Chart.SetNull(s, i, true);
  Chart.Refresh();
  const QRgb red = QColor(Qt::red).rgb(); // no antialiasing: exact colour
  EXPECT_TRUE(ColourBetween(Chart, 50000.0, 8.7, 9.3, red));
  EXPECT_TRUE(ColourBetween(Chart, 150000.0, 0.7, 1.3, red));
  EXPECT_TRUE(ColourBetween(Chart, 20000.0, 4.8, 5.2, red));
  EXPECT_FALSE(ColourBetween(Chart, 100000.0, 0.0, 10.0, red));

  // Zoomed in to 20 points, every point counts: at the odd X = 60 015 the
  // line turns at 6 (a copy thinned for the whole range would run at 5).
  Chart.ZoomTo(60005.0, 60025.0, 0.0, 10.0);
  Chart.Refresh();
  EXPECT_TRUE(ColourBetween(Chart, 60015.0, 5.8, 6.2, red));
  EXPECT_TRUE(ColourBetween(Chart, 60016.0, 3.8, 4.2, red));
  // Back to the whole range, and a new set of points of the same size.
  Chart.UndoZoom();
  Chart.Refresh();
  EXPECT_TRUE(ColourBetween(Chart, 50000.0, 8.7, 9.3, red));
  y[50000] = 5.0;
  y[30000] = 8.0;
  Chart.SetPoints(s, x, y);
  Chart.Refresh();
  EXPECT_FALSE(ColourBetween(Chart, 50000.0, 8.7, 9.3, red));
  EXPECT_TRUE(ColourBetween(Chart, 30000.0, 7.7, 8.3, red));
  // The gap went with the old points.
  EXPECT_TRUE(ColourBetween(Chart, 100000.0, 4.8, 5.2, red));
}

TEST_F(ChartDataTest, NewValuesOnTheSameAxisRedrawLikeNewPoints) {
  const int s = Chart.AddSeries(QStringLiteral("distribution"), Qt::red);
  Chart.SetAxisMinimum(TAxisId::Left, 0.0);
  Chart.SetAxisMaximum(TAxisId::Left, 10.0);
  const std::vector<double> x = Ramp(200000); // thinned on the screen
  std::vector<double> y(x.size(), 5.0);
  y[50000] = 9.0;
  Chart.SetPoints(s, x, y);
  Chart.SetNull(s, 120000, true);
  Chart.Refresh();
  const QRgb red = QColor(Qt::red).rgb();
  ASSERT_TRUE(ColourBetween(Chart, 50000.0, 8.7, 9.3, red));

  // One value more than there are points: the tail is ignored, as by SetPoints.
  y[50000] = 5.0;
  y[30000] = 1.0;
  y.push_back(7.0);
  ASSERT_TRUE(Chart.SetYValues(s, y));
  Chart.Refresh();
  EXPECT_EQ(Chart.PointCount(s), 200000);
  EXPECT_DOUBLE_EQ(Chart.XValue(s, 30000), 30000.0);
  EXPECT_DOUBLE_EQ(Chart.YValue(s, 30000), 1.0);
  EXPECT_FALSE(Chart.IsNull(s, 120000)); // null flags go with the old values
  EXPECT_FALSE(ColourBetween(Chart, 50000.0, 8.7, 9.3, red));
  EXPECT_TRUE(ColourBetween(Chart, 30000.0, 0.7, 1.3, red));

  // Too few values: refused, nothing changed.
  EXPECT_FALSE(Chart.SetYValues(s, std::vector<double>(1000, 2.0)));
  EXPECT_DOUBLE_EQ(Chart.YValue(s, 30000), 1.0);
  EXPECT_EQ(Chart.PointCount(s), 200000);
  EXPECT_FALSE(Chart.SetYValues(s + 1, y)); // no such series

  // The automatic left axis follows the new values.
  Chart.SetAxisAutomatic(TAxisId::Left, true);
  y[0] = 12.0;
  ASSERT_TRUE(Chart.SetYValues(s, y));
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Left), 12.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMinimum(TAxisId::Left), 1.0);
}

TEST(ChartOutputPen, LightColoursGetDarkerAndWiderDarkOnesStay) {
  // The marker green RGB(128, 255, 128): qGray = (11·128 + 16·255 + 5·128)/32
  // = 191 > 150, so every channel is scaled by 150/191: (100, 200, 100),
  // whose grey value is (1100 + 3200 + 500)/32 = 150; and 2 px wide.
  const QPen green = Charts::OutputPen(QColor(128, 255, 128), 1, Qt::DashLine);
  EXPECT_EQ(green.color(), QColor(100, 200, 100));
  EXPECT_EQ(qGray(green.color().rgb()), 150);
  EXPECT_EQ(green.width(), 2);
  EXPECT_EQ(green.style(), Qt::DashLine);
  // RGB(0, 128, 255): qGray = (16·128 + 5·255)/32 = 103: the colour stays,
  // the 1 px line becomes 2 px.
  const QPen blue = Charts::OutputPen(QColor(0, 128, 255), 1, Qt::SolidLine);
  EXPECT_EQ(blue.color(), QColor(0, 128, 255));
  EXPECT_EQ(blue.width(), 2);
  // Red, qGray 87, and black stay as they are; wider pens stay wider.
  EXPECT_EQ(Charts::OutputPen(Qt::red, 1, Qt::SolidLine).width(), 1);
  EXPECT_EQ(Charts::OutputPen(Qt::red, 1, Qt::SolidLine).color(), QColor(Qt::red));
  EXPECT_EQ(Charts::OutputPen(QColor(128, 255, 128), 4, Qt::SolidLine).width(), 4);
  // White would vanish on paper: drawn in the grey 150.
  EXPECT_EQ(Charts::OutputPen(Qt::white, 1, Qt::SolidLine).color(), QColor(150, 150, 150));
}

TEST_F(ChartDataTest, ExportedPicturesUseThePrintPensAndTheScreenKeepsItsOwn) {
  const int s = Chart.AddSeries(QStringLiteral("Mn marker"), QColor(128, 255, 128));
  Chart.SetSeriesPenStyle(s, Qt::DashLine);
  Chart.SetPoints(s, {0.0, 1.0, 2.0}, {0.0, 1.0, 0.5});
  Chart.Refresh();
  const QString svg = QString::fromUtf8(Chart.ToSvg());
  // The darker green of OutputPen (100, 200, 100) = #64c864, 2 px wide.
  EXPECT_TRUE(svg.contains(QStringLiteral("stroke=\"#64c864\""))) << svg.left(2000).toStdString();
  EXPECT_FALSE(svg.contains(QStringLiteral("stroke=\"#80ff80\"")));
  EXPECT_TRUE(svg.contains(QStringLiteral("stroke-width=\"2\"")));
  // The screen keeps the series' own colour and width.
  EXPECT_EQ(Chart.SeriesColor(s), QColor(128, 255, 128));
  EXPECT_EQ(Chart.SeriesPenWidth(s), 1);
  // And the next picture is drawn the same way again.
  EXPECT_TRUE(QString::fromUtf8(Chart.ToSvg()).contains(QStringLiteral("stroke=\"#64c864\"")));
}

} // namespace
