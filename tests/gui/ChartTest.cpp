// The chart adapter, driven as the chart windows and the user drive it:
// points and null points, automatic and fixed ranges, zoom history, visible
// index ranges, marks, labels, output and the editor dialog.

#include "charts/uChart.h"
#include "charts/uChartEditor.h"
#include "params/uNumberFormat.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPrinter>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using Charts::TAxisId;
using Charts::TChart;

namespace {

class ChartTest : public testing::Test {
protected:
  void SetUp() override {
    Chart.resize(535, 348);
    Chart.show();
  }

  // Ten points (i, i*i) in a fresh series.
  int AddParabola() {
    const int s = Chart.AddSeries(QStringLiteral("parabola"), Qt::red);
    for (int i = 0; i < 10; ++i)
      Chart.AddXY(s, i, i * i);
    return s;
  }

  QWidget* Plot() { return Chart.findChild<QWidget*>(QStringLiteral("ChartPlot")); }

  void SendMouse(QEvent::Type type, Qt::MouseButton button, QPoint pos) {
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(pos), Plot()->mapToGlobal(QPointF(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(Plot(), &event);
  }

  void Drag(Qt::MouseButton button, QPoint from, QPoint to) {
    SendMouse(QEvent::MouseButtonPress, button, from);
    SendMouse(QEvent::MouseMove, button, (from + to) / 2);
    SendMouse(QEvent::MouseMove, button, to);
    SendMouse(QEvent::MouseButtonRelease, button, to);
  }

  TChart Chart;
};

TEST_F(ChartTest, PointsNullPointsAndSeriesPropertiesReadBack) {
  const int s = Chart.AddSeries(QStringLiteral("[A]"), QColor(0, 128, 255));
  EXPECT_EQ(Chart.AddXY(s, 0.0, 1.5), 0);
  EXPECT_EQ(Chart.AddNull(s, 1.0, 7.0), 1);
  EXPECT_EQ(Chart.AddXY(s, 2.0, -3.0), 2);
  ASSERT_EQ(Chart.PointCount(s), 3);
  EXPECT_DOUBLE_EQ(Chart.XValue(s, 1), 1.0);
  EXPECT_DOUBLE_EQ(Chart.YValue(s, 1), 7.0); // a null point keeps its values
  EXPECT_TRUE(Chart.IsNull(s, 1));
  EXPECT_FALSE(Chart.IsNull(s, 0));
  Chart.SetNull(s, 1, false);
  EXPECT_FALSE(Chart.IsNull(s, 1));
  Chart.SetNull(s, 0, true);
  EXPECT_TRUE(Chart.IsNull(s, 0));

  // Indices outside the series or the chart are ignored, never a crash.
  EXPECT_EQ(Chart.AddXY(7, 1.0, 1.0), -1);
  EXPECT_EQ(Chart.PointCount(-1), 0);
  EXPECT_DOUBLE_EQ(Chart.YValue(s, 99), 0.0);
  EXPECT_FALSE(Chart.IsNull(s, 99));
  Chart.SetNull(s, 99, true);
  EXPECT_EQ(Chart.FirstVisibleIndex(5), -1);

  Chart.SetSeriesPenStyle(s, Qt::DashLine);
  Chart.SetSeriesPenWidth(s, 3);
  Chart.SetSeriesVisible(s, false);
  Chart.SetSeriesInLegend(s, false);
  EXPECT_EQ(Chart.SeriesTitle(s), QStringLiteral("[A]"));
  EXPECT_EQ(Chart.SeriesColor(s), QColor(0, 128, 255));
  EXPECT_EQ(Chart.SeriesPenStyle(s), Qt::DashLine);
  EXPECT_EQ(Chart.SeriesPenWidth(s), 3);
  EXPECT_FALSE(Chart.SeriesVisible(s));
  EXPECT_FALSE(Chart.SeriesInLegend(s));

  Chart.ClearSeries(s);
  EXPECT_EQ(Chart.PointCount(s), 0);
  EXPECT_EQ(Chart.SeriesCount(), 1);
}

TEST_F(ChartTest, AutomaticRangesFollowVisibleNonNullData) {
  const int s = Chart.AddSeries(QStringLiteral("a"), Qt::red);
  Chart.SetAxisMinimum(TAxisId::Left, 0.0);
  Chart.SetAxisRoundUpMaximum(TAxisId::Left, true);
  Chart.AddXY(s, 0.0, 1.0);
  Chart.AddXY(s, 4.0, 7.3);
  Chart.AddNull(s, 5.0, 100.0); // not drawn: must not stretch the axis
  Chart.Refresh();
  // Bottom axis: automatic, 0 … 5 (a null point keeps its X in the data;
  // its Y is ignored). Left: fixed 0, data maximum 7.3 rounded up to the
  // next step of NiceStep(7.3 / 5 = 1.46) = 2, i.e. 8.
  EXPECT_DOUBLE_EQ(Chart.AxisMinimum(TAxisId::Left), 0.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Left), 8.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMinimum(TAxisId::Bottom), 0.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Bottom), 4.0);

  // A hidden series does not count either.
  const int big = Chart.AddSeries(QStringLiteral("big"), Qt::black);
  Chart.AddXY(big, 50.0, 1000.0);
  Chart.SetSeriesVisible(big, false);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Left), 8.0);
  Chart.SetSeriesVisible(big, true);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Left), 1000.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Bottom), 50.0);

  // A right-axis series scales the right axis only.
  const int right = Chart.AddSeries(QStringLiteral("DI"), Qt::blue, TAxisId::Right);
  Chart.SetAxisMinimum(TAxisId::Right, 1.0);
  Chart.AddXY(right, 0.0, 1.0);
  Chart.AddXY(right, 1.0, 1.5);
  EXPECT_TRUE(Chart.AxisVisible(TAxisId::Right));
  EXPECT_DOUBLE_EQ(Chart.AxisMinimum(TAxisId::Right), 1.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Right), 1.5);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Left), 1000.0);
}

TEST_F(ChartTest, DegenerateRangesStayDrawable) {
  const int s = Chart.AddSeries(QStringLiteral("flat"), Qt::red);
  // No data at all: a unit range.
  EXPECT_LT(Chart.AxisMinimum(TAxisId::Left), Chart.AxisMaximum(TAxisId::Left));
  // One value only: the automatic maximum opens above it.
  Chart.SetAxisMinimum(TAxisId::Right, 1.0);
  const int di = Chart.AddSeries(QStringLiteral("DI"), Qt::blue, TAxisId::Right);
  Chart.AddXY(di, 0.0, 1.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMinimum(TAxisId::Right), 1.0);
  EXPECT_GT(Chart.AxisMaximum(TAxisId::Right), 1.0);
  // A fixed minimum above all data still gives a positive range.
  Chart.AddXY(s, 0.0, 5.0);
  Chart.SetAxisMinimum(TAxisId::Left, 10.0);
  EXPECT_GT(Chart.AxisMaximum(TAxisId::Left), 10.0);
}

TEST_F(ChartTest, LogarithmicAxisRoundsToDecadesAndRefusesZero) {
  const int s = Chart.AddSeries(QStringLiteral("a"), Qt::red);
  Chart.AddXY(s, 0.0, 1.0); // X = 0 has no place on a log axis
  Chart.AddXY(s, 35.0, 2.0);
  Chart.AddXY(s, 5000.0, 3.0);
  Chart.SetAxisMinimum(TAxisId::Bottom, 0.0);
  Chart.SetAxisLogarithmic(TAxisId::Bottom, true);
  EXPECT_TRUE(Chart.AxisLogarithmic(TAxisId::Bottom));
  // The fixed minimum 0 is impossible: the decade of the smallest positive
  // X (35 -> 10) replaces it; the automatic maximum rounds 5000 up to 10^4.
  EXPECT_DOUBLE_EQ(Chart.AxisMinimum(TAxisId::Bottom), 10.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Bottom), 10000.0);
  Chart.SetAxisMinimum(TAxisId::Bottom, 100.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMinimum(TAxisId::Bottom), 100.0);
  Chart.Refresh();
  // Labels at the decades inside the range.
  const std::vector<double> ticks = Chart.AxisLabelPositions(TAxisId::Bottom);
  ASSERT_FALSE(ticks.empty());
  for (double t : ticks)
    EXPECT_NEAR(std::log10(t), std::round(std::log10(t)), 1e-9) << t;
}

TEST_F(ChartTest, VisibleIndexRangeFollowsZoom) {
  const int s = AddParabola();
  const int empty = Chart.AddSeries(QStringLiteral("empty"), Qt::black);
  Chart.Refresh();
  EXPECT_EQ(Chart.FirstVisibleIndex(s), 0);
  EXPECT_EQ(Chart.LastVisibleIndex(s), 9);
  EXPECT_EQ(Chart.FirstVisibleIndex(empty), -1);
  EXPECT_EQ(Chart.LastVisibleIndex(empty), -1);

  Chart.ZoomTo(2.5, 6.5, 0.0, 50.0);
  // X within [2.5, 6.5]: points 3, 4, 5, 6.
  EXPECT_NEAR(Chart.AxisMinimum(TAxisId::Bottom), 2.5, 1e-6);
  EXPECT_NEAR(Chart.AxisMaximum(TAxisId::Bottom), 6.5, 1e-6);
  EXPECT_EQ(Chart.FirstVisibleIndex(s), 3);
  EXPECT_EQ(Chart.LastVisibleIndex(s), 6);

  // A series whose X runs backwards is searched point by point.
  const int back = Chart.AddSeries(QStringLiteral("back"), Qt::blue);
  for (int i = 9; i >= 0; --i)
    Chart.AddXY(back, i, 1.0);
  // Index k holds X = 9 - k: X 6 … 3 are indices 3 … 6.
  EXPECT_EQ(Chart.FirstVisibleIndex(back), 3);
  EXPECT_EQ(Chart.LastVisibleIndex(back), 6);
  EXPECT_DOUBLE_EQ(Chart.XValue(back, 0), 9.0);

  // Zoomed beyond all data: nothing visible.
  Chart.ZoomTo(20.0, 30.0, 0.0, 1.0);
  EXPECT_EQ(Chart.FirstVisibleIndex(s), -1);
  EXPECT_EQ(Chart.LastVisibleIndex(s), -1);
}

TEST_F(ChartTest, ZoomHistoryUndoesStepByStepToTheAutomaticView) {
  const int s = AddParabola();
  Chart.SetAxisMinimum(TAxisId::Left, 0.0);
  Chart.Refresh();
  QSignalSpy zoomed(&Chart, &TChart::Zoomed);
  QSignalSpy undone(&Chart, &TChart::ZoomUndone);
  EXPECT_FALSE(Chart.IsZoomed());

  Chart.ZoomTo(1.0, 8.0, 0.0, 60.0);
  Chart.ZoomTo(2.0, 4.0, 0.0, 20.0);
  EXPECT_EQ(zoomed.count(), 2);
  EXPECT_EQ(Chart.ZoomHistoryCount(), 2);
  EXPECT_NEAR(Chart.AxisMaximum(TAxisId::Bottom), 4.0, 1e-6);

  Chart.UndoZoom();
  EXPECT_NEAR(Chart.AxisMinimum(TAxisId::Bottom), 1.0, 1e-6);
  EXPECT_NEAR(Chart.AxisMaximum(TAxisId::Bottom), 8.0, 1e-6);
  // While zoomed the ranges are fixed: new data does not move them.
  Chart.AddXY(s, 20.0, 400.0);
  EXPECT_NEAR(Chart.AxisMaximum(TAxisId::Bottom), 8.0, 1e-6);

  Chart.UndoZoom();
  EXPECT_FALSE(Chart.IsZoomed());
  // Unzoomed: automatic again, so the new point counts; the fixed minimum
  // of the left axis is back as it was.
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Bottom), 20.0);
  EXPECT_DOUBLE_EQ(Chart.AxisMinimum(TAxisId::Left), 0.0);
  EXPECT_FALSE(Chart.AxisAutomaticMinimum(TAxisId::Left));
  EXPECT_TRUE(Chart.AxisAutomaticMaximum(TAxisId::Bottom));
  Chart.UndoZoom(); // nothing left to undo: stays unzoomed
  EXPECT_FALSE(Chart.IsZoomed());
  EXPECT_EQ(undone.count(), 3);
}

TEST_F(ChartTest, RubberBandGesturesZoomAndUndo) {
  AddParabola();
  Chart.Refresh();
  QSignalSpy zoomed(&Chart, &TChart::Zoomed);
  const QRect area = Chart.PlotArea();
  ASSERT_GT(area.width(), 100);
  const double fullMax = Chart.AxisMaximum(TAxisId::Bottom);

  // Towards the lower right: zoom into the rectangle.
  const QPoint from = area.topLeft() + QPoint(area.width() / 4, area.height() / 4);
  const QPoint to = area.topLeft() + QPoint(area.width() / 2, area.height() * 3 / 4);
  Drag(Qt::LeftButton, from, to);
  ASSERT_EQ(zoomed.count(), 1);
  EXPECT_TRUE(Chart.IsZoomed());
  EXPECT_NEAR(Chart.AxisMinimum(TAxisId::Bottom), 0.25 * fullMax, 0.02 * fullMax);
  EXPECT_NEAR(Chart.AxisMaximum(TAxisId::Bottom), 0.5 * fullMax, 0.02 * fullMax);

  // Towards the upper left: back to the unzoomed view.
  Drag(Qt::LeftButton, to, from);
  EXPECT_FALSE(Chart.IsZoomed());
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Bottom), fullMax);

  // A click is no zoom.
  Drag(Qt::LeftButton, from, from + QPoint(1, 1));
  EXPECT_EQ(zoomed.count(), 1);
}

TEST_F(ChartTest, RightButtonPansOrAsksForTheMenu) {
  AddParabola();
  Chart.Refresh();
  QSignalSpy menu(&Chart, &TChart::ContextMenuRequested);
  QSignalSpy scrolled(&Chart, &TChart::Scrolled);
  QSignalSpy dbl(&Chart, &TChart::DoubleClicked);
  const QPoint centre = Chart.PlotArea().center();

  Drag(Qt::RightButton, centre, centre);
  EXPECT_EQ(menu.count(), 1);
  EXPECT_EQ(scrolled.count(), 0);

  Chart.SetPanning(Charts::TPanning::Horizontal);
  const double xMin = Chart.AxisMinimum(TAxisId::Bottom);
  const double yMin = Chart.AxisMinimum(TAxisId::Left);
  Drag(Qt::RightButton, centre, centre + QPoint(-60, 40));
  EXPECT_EQ(menu.count(), 1); // a drag is no click
  EXPECT_GT(scrolled.count(), 0);
  // Dragging left moves the view right; the vertical part is ignored.
  EXPECT_GT(Chart.AxisMinimum(TAxisId::Bottom), xMin);
  EXPECT_DOUBLE_EQ(Chart.AxisMinimum(TAxisId::Left), yMin);
  Chart.UndoZoom();
  EXPECT_DOUBLE_EQ(Chart.AxisMinimum(TAxisId::Bottom), xMin);

  SendMouse(QEvent::MouseButtonDblClick, Qt::LeftButton, centre);
  EXPECT_EQ(dbl.count(), 1);
}

TEST_F(ChartTest, ValueFormatPatternsAndCustomLabels) {
  const Propagon::TSeparatorGuard separators(',', '.');
  const int s = Chart.AddSeries(QStringLiteral("a"), Qt::red);
  Chart.AddXY(s, 0.0, 0.0);
  Chart.AddXY(s, 1.0, 0.5);
  Chart.SetAxisValueFormat(TAxisId::Left, QStringLiteral("0.00"));
  Chart.Refresh();
  // Every left label has two decimals after the locale's separator.
  const std::vector<QString> texts = Chart.AxisLabelTexts(TAxisId::Left);
  ASSERT_FALSE(texts.empty());
  for (const QString& t : texts)
    EXPECT_TRUE(t.contains(QRegularExpression(QStringLiteral("^-?\\d+,\\d\\d$")))) << t.toStdString();
  EXPECT_EQ(Chart.FormatAxisValue(TAxisId::Left, 0.125), QStringLiteral("0,13"));

  Chart.AddAxisCustomLabel(TAxisId::Bottom, 0.0, QStringLiteral("start"));
  Chart.AddAxisCustomLabel(TAxisId::Bottom, 1.0, QStringLiteral("end"));
  Chart.Refresh();
  const std::vector<QString> custom = Chart.AxisLabelTexts(TAxisId::Bottom);
  ASSERT_EQ(custom.size(), 2u);
  EXPECT_EQ(custom[0], QStringLiteral("start"));
  EXPECT_EQ(custom[1], QStringLiteral("end"));
  Chart.ClearAxisCustomLabels(TAxisId::Bottom);
  Chart.Refresh();
  EXPECT_GT(Chart.AxisLabelTexts(TAxisId::Bottom).size(), 2u);
}

TEST_F(ChartTest, BottomAxisLabelsNeverTouchInANarrowChart) {
  const int s = Chart.AddSeries(QStringLiteral("a"), Qt::red);
  Chart.AddXY(s, 0.0, 0.0);
  Chart.AddXY(s, 123456789.0, 1.0);
  Chart.SetAxisValueFormat(TAxisId::Bottom, QStringLiteral("#,##0.000"));
  for (int width : {220, 535, 1200}) {
    Chart.resize(width, 300);
    QApplication::processEvents();
    Chart.Refresh();
    const std::vector<double> ticks = Chart.AxisLabelPositions(TAxisId::Bottom);
    const std::vector<QString> texts = Chart.AxisLabelTexts(TAxisId::Bottom);
    ASSERT_GE(ticks.size(), 2u) << width;
    QFont font = Chart.font();
    font.setPointSize(Chart.AxisLabelFontSize(TAxisId::Bottom));
    const QFontMetrics metrics(font);
    for (std::size_t i = 1; i < ticks.size(); ++i) {
      const double gap = Chart.ValueToPixel(TAxisId::Bottom, ticks[i]) - Chart.ValueToPixel(TAxisId::Bottom, ticks[i - 1]);
      const double halfWidths = (metrics.horizontalAdvance(texts[i]) + metrics.horizontalAdvance(texts[i - 1])) / 2.0;
      EXPECT_GT(gap, halfWidths) << "width " << width << " labels " << texts[i - 1].toStdString() << " / "
                                 << texts[i].toStdString();
    }
  }
}

TEST_F(ChartTest, LabelsShowTheirTicksExactlyInTheAxisFormat) {
  const Propagon::TSeparatorGuard separators('.', ',');
  const int s = Chart.AddSeries(QStringLiteral("a"), Qt::red);
  Chart.AddXY(s, 0.0, 0.0);
  Chart.AddXY(s, 1.0, 2.75);
  // Ranges 0 … 2.75 invite steps of 0.25; with one decimal they would read
  // 2.8, 2.5, 2.3. Every label must parse back to its own tick.
  for (const QString& format : {QStringLiteral("0.#"), QStringLiteral("0.##"), QStringLiteral("#,##0")}) {
    Chart.SetAxisValueFormat(TAxisId::Left, format);
    for (int height = 200; height <= 800; height += 100) {
      Chart.resize(535, height);
      QApplication::processEvents();
      Chart.Refresh();
      const std::vector<double> ticks = Chart.AxisLabelPositions(TAxisId::Left);
      const std::vector<QString> texts = Chart.AxisLabelTexts(TAxisId::Left);
      ASSERT_EQ(ticks.size(), texts.size());
      EXPECT_GE(ticks.size(), 2u) << format.toStdString() << " " << height;
      for (std::size_t i = 0; i < ticks.size(); ++i) {
        double parsed = 0.0;
        ASSERT_TRUE(Propagon::TryStrToFloat(texts[i].toStdString(), parsed)) << texts[i].toStdString();
        EXPECT_NEAR(parsed, ticks[i], 1e-9) << format.toStdString() << " height " << height;
      }
    }
  }
}

TEST_F(ChartTest, MarksTakeTheirTextFromTheCallbackAndCanBeDragged) {
  const int s = AddParabola();
  Chart.SetMarkTextFunction(s, [](int, int index) {
    return index == 4 ? QStringLiteral("Mn = 16") : QString();
  });
  Chart.SetMarksVisible(s, true);
  Chart.Refresh();
  EXPECT_GT(Chart.MarkWidth(s, 4), 0.0);
  EXPECT_DOUBLE_EQ(Chart.MarkWidth(s, 3), 0.0); // empty text: no mark

  // Turned marks start at the point and read upwards: as wide as before,
  // but now tall instead of wide on screen.
  Charts::TMarkStyle style;
  style.Angle = 90.0;
  style.Arrow = false;
  style.ArrowLength = 20;
  style.Transparency = 70;
  Chart.SetMarkStyle(s, style);
  Chart.SetMarksDraggable(true);
  Chart.Refresh();
  const double width = Chart.MarkWidth(s, 4);
  EXPECT_GT(width, 0.0);

  // Drag the mark by its middle: 20 pixels above the point plus half its length.
  const QPoint point(qRound(Chart.ValueToPixel(TAxisId::Bottom, 4.0)),
                     qRound(Chart.ValueToPixel(TAxisId::Left, 16.0)));
  const QPoint onMark = point - QPoint(0, 20 + qRound(width / 2));
  Drag(Qt::LeftButton, onMark, onMark + QPoint(30, 0));
  EXPECT_NEAR(Chart.MarkOffset(s, 4).x(), 30.0, 0.5);
  EXPECT_FALSE(Chart.IsZoomed()); // dragging a mark is not a zoom
  Chart.ResetMarkPositions(s);
  EXPECT_EQ(Chart.MarkOffset(s, 4), QPointF());
}

TEST_F(ChartTest, MovingASeriesReordersDataAndLegend) {
  const int a = Chart.AddSeries(QStringLiteral("Mn"), Qt::red);
  const int b = Chart.AddSeries(QStringLiteral("Mw"), Qt::blue);
  Chart.AddXY(a, 1.0, 10.0);
  Chart.AddXY(b, 1.0, 20.0);
  Chart.AddXY(b, 2.0, 30.0);
  Chart.MoveSeries(b, a);
  EXPECT_EQ(Chart.SeriesTitle(0), QStringLiteral("Mw"));
  EXPECT_EQ(Chart.PointCount(0), 2);
  EXPECT_DOUBLE_EQ(Chart.YValue(0, 1), 30.0);
  EXPECT_EQ(Chart.SeriesColor(1), QColor(Qt::red));
  EXPECT_DOUBLE_EQ(Chart.YValue(1, 0), 10.0);
}

TEST_F(ChartTest, PicturesForClipboardAndPrinter) {
  AddParabola();
  Chart.SetTitle(QStringLiteral("Conversion: run1.kpx"));
  Chart.SetBackgroundColor(QColor()); // none
  Chart.Refresh();
  const QByteArray svg = Chart.ToSvg();
  EXPECT_TRUE(svg.contains("<svg"));
  EXPECT_TRUE(svg.contains("Conversion: run1.kpx"));
  EXPECT_TRUE(Chart.ToPdf().startsWith("%PDF"));
  const QImage image = Chart.ToImage();
  ASSERT_EQ(image.size(), Chart.size());
  EXPECT_EQ(qAlpha(image.pixel(1, 1)), 0); // transparent background

  ASSERT_TRUE(Chart.CopyToClipboard());
  const QMimeData* mime = QApplication::clipboard()->mimeData();
  ASSERT_NE(mime, nullptr);
  EXPECT_TRUE(mime->hasFormat(QStringLiteral("image/svg+xml")));
  EXPECT_TRUE(mime->hasFormat(QStringLiteral("application/pdf")));
  EXPECT_TRUE(mime->hasImage());

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(dir.filePath(QStringLiteral("chart.pdf")));
  Chart.SetPrintMargins({15.0, 18.0, 15.0, 18.0});
  ASSERT_TRUE(Chart.Print(printer));
  QFile printed(dir.filePath(QStringLiteral("chart.pdf")));
  ASSERT_TRUE(printed.open(QIODevice::ReadOnly));
  EXPECT_TRUE(printed.readAll().startsWith("%PDF"));

  // Margins that leave no room are refused, not drawn inside out.
  Chart.SetPrintMargins({60.0, 10.0, 60.0, 10.0});
  EXPECT_FALSE(Chart.Print(printer));
}

TEST_F(ChartTest, EditorChangesTheChartAndRefusesBadNumbers) {
  const Propagon::TSeparatorGuard separators('.', ',');
  const int s = AddParabola();
  Charts::TChartEditor editor(&Chart);

  editor.SelectChart();
  auto* title = editor.findChild<QLineEdit*>(QStringLiteral("TitleEdit"));
  ASSERT_NE(title, nullptr);
  title->setText(QStringLiteral("My chart"));
  emit title->editingFinished();
  EXPECT_EQ(Chart.Title(), QStringLiteral("My chart"));
  editor.findChild<QCheckBox*>(QStringLiteral("LegendCheck"))->setChecked(false);
  EXPECT_FALSE(Chart.LegendVisible());

  editor.SelectSeries(s);
  editor.findChild<QComboBox*>(QStringLiteral("SeriesPenStyleCombo"))->setCurrentIndex(2);
  EXPECT_EQ(Chart.SeriesPenStyle(s), Qt::DotLine);
  editor.findChild<QSpinBox*>(QStringLiteral("SeriesPenWidthSpin"))->setValue(4);
  EXPECT_EQ(Chart.SeriesPenWidth(s), 4);
  editor.findChild<QCheckBox*>(QStringLiteral("SeriesVisibleCheck"))->setChecked(false);
  EXPECT_FALSE(Chart.SeriesVisible(s));
  editor.SetSelectedSeriesColor(QColor(10, 20, 30));
  EXPECT_EQ(Chart.SeriesColor(s), QColor(10, 20, 30));

  editor.SelectAxis(TAxisId::Left);
  auto* autoMax = editor.findChild<QCheckBox*>(QStringLiteral("AxisAutoMaxCheck"));
  auto* maxEdit = editor.findChild<QLineEdit*>(QStringLiteral("AxisMaxEdit"));
  auto* autoMin = editor.findChild<QCheckBox*>(QStringLiteral("AxisAutoMinCheck"));
  auto* minEdit = editor.findChild<QLineEdit*>(QStringLiteral("AxisMinEdit"));
  maxEdit->setText(QStringLiteral("150"));
  autoMax->setChecked(false);
  EXPECT_FALSE(Chart.AxisAutomaticMaximum(TAxisId::Left));
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Left), 150.0);

  // Not a number: refused with the conversion message, the chart unchanged.
  maxEdit->setText(QStringLiteral("1x0"));
  emit maxEdit->editingFinished();
  EXPECT_EQ(editor.InputMessage(), QStringLiteral("'1x0' is not a valid floating point value"));
  EXPECT_DOUBLE_EQ(Chart.AxisMaximum(TAxisId::Left), 150.0);

  // A minimum above the fixed maximum: refused.
  minEdit->setText(QStringLiteral("200"));
  autoMin->setChecked(false);
  EXPECT_FALSE(editor.InputMessage().isEmpty());
  EXPECT_LT(Chart.AxisMinimum(TAxisId::Left), 150.0);
  minEdit->setText(QStringLiteral("10,5")); // either separator is read
  emit minEdit->editingFinished();
  EXPECT_TRUE(editor.InputMessage().isEmpty());
  EXPECT_DOUBLE_EQ(Chart.AxisMinimum(TAxisId::Left), 10.5);

  editor.findChild<QCheckBox*>(QStringLiteral("AxisLogCheck"))->setChecked(true);
  EXPECT_TRUE(Chart.AxisLogarithmic(TAxisId::Left));
  auto* format = editor.findChild<QLineEdit*>(QStringLiteral("AxisFormatEdit"));
  format->setText(QStringLiteral("0.0e-0"));
  emit format->editingFinished();
  EXPECT_EQ(Chart.AxisValueFormat(TAxisId::Left), QStringLiteral("0.0e-0"));
  auto* axisTitle = editor.findChild<QLineEdit*>(QStringLiteral("AxisTitleEdit"));
  axisTitle->setText(QStringLiteral("Fractions"));
  emit axisTitle->editingFinished();
  EXPECT_EQ(Chart.AxisTitle(TAxisId::Left), QStringLiteral("Fractions"));
}

} // namespace
