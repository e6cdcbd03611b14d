// The chart window base: the data table of Copy Data and Save Data As, the
// number texts, X-Logarithm, the axis formats after a zoom, font scaling,
// pictures, printing, the title, closing and the context menu.

#include "PlotsTestSupport.h"

#include "charts/uChart.h"
#include "charts/uChartEditor.h"
#include "params/uNumberFormat.h"
#include "plots/uChartForm.h"
#include "plots/uLiveViewTools.h"
#include "tests/support/FileSizeLimit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPrinter>

#include <gtest/gtest.h>

using Charts::TAxisId;
using Plots::TChartForm;

namespace {

class ChartFormTest : public testing::Test {
protected:
  void SetUp() override {
    Form = std::make_unique<TChartForm>(&Host);
    Form->setWindowTitle(QStringLiteral("Conversion"));
    Form->show();
    Chart = Form->AChart;
  }
  void TearDown() override { PlotsTest::ClearState(); }

  PlotsTest::TTestHost Host;
  std::unique_ptr<TChartForm> Form;
  Charts::TChart* Chart = nullptr;
};

TEST_F(ChartFormTest, DataTableOfAZoomedChartTakesTheVisibleRowsAndTheLongestSeriesX) {
  const Propagon::TSeparatorGuard separators('.', ',');
  Chart->SetAxisTitle(TAxisId::Bottom, QStringLiteral("time, s"));
  const int a = Chart->AddSeries(QStringLiteral("short"), Qt::red);
  const int b = Chart->AddSeries(QStringLiteral("long"), Qt::blue);
  const int hidden = Chart->AddSeries(QStringLiteral("hidden"), Qt::black);
  // short: X 0..3; long: X 0..7 at half steps of its own (0, 0.5, …, 3.5),
  // so its last visible index reaches further than short's in any view.
  for (int i = 0; i < 4; ++i)
    Chart->AddXY(a, i, 10 + i);
  for (int i = 0; i < 8; ++i)
    Chart->AddXY(b, 0.5 * i, 100 + i);
  Chart->AddXY(hidden, 0.0, -1.0);
  Chart->SetSeriesVisible(hidden, false);
  Chart->Refresh();

  Chart->ZoomTo(0.9, 2.1, 0.0, 200.0);
  // Visible: short indices 1..2 (X 1, 2), long indices 2..4 (X 1, 1.5, 2).
  // F = 1, L = 4 from "long"; every column is read at the same index.
  const std::vector<std::string> table = Form->DataTable();
  ASSERT_EQ(table.size(), 5u);
  EXPECT_EQ(table[0], "time, s\tshort\tlong\thidden");
  EXPECT_EQ(table[1], "0.5\t11\t101\t");
  EXPECT_EQ(table[2], "1\t12\t102\t");
  EXPECT_EQ(table[3], "1.5\t13\t103\t");
  EXPECT_EQ(table[4], "2\t\t104\t"); // short has 4 points: index 4 is empty
}

TEST_F(ChartFormTest, DataTableOfEmptySeriesIsTheHeaderAlone) {
  Chart->SetAxisTitle(TAxisId::Bottom, QStringLiteral("Time, s"));
  Chart->AddSeries(QStringLiteral("AA"), Qt::red);
  Chart->AddSeries(QStringLiteral("AB"), Qt::green);
  EXPECT_EQ(Form->DataText(), "Time, s\tAA\tAB\r\n");
  Form->aEditCopyDataExecute();
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("Time, s\tAA\tAB\r\n"));
}

TEST_F(ChartFormTest, NumbersAreWrittenWithTenDigitsAndTheLocaleSeparator) {
  const Propagon::TSeparatorGuard separators(',', '.');
  EXPECT_EQ(Plots::ChartNumberText(1234.5), QStringLiteral("1234,5"));
  EXPECT_EQ(Plots::ChartNumberText(0.00012), QStringLiteral("0,00012"));
  EXPECT_EQ(Plots::ChartNumberText(0.000012), QStringLiteral("1,2E-5"));
  // 1/3 rounded to 10 significant digits; 1.234567891E12 has 13 integer digits.
  EXPECT_EQ(Plots::ChartNumberText(1.0 / 3.0), QStringLiteral("0,3333333333"));
  EXPECT_EQ(Plots::ChartNumberText(1234567891234.0), QStringLiteral("1,234567891E12"));

  const int s = Chart->AddSeries(QStringLiteral("A"), Qt::red);
  Chart->AddXY(s, 0.000012, 1234.5);
  Form->aEditCopyDataExecute();
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("\tA\r\n1,2E-5\t1234,5\r\n"));
}

TEST_F(ChartFormTest, SaveDataAsWritesTheTableAndReportsAFileThatCannotBeWritten) {
  QTemporaryDir dir;
  const int s = Chart->AddSeries(QStringLiteral("A"), Qt::red);
  Chart->AddXY(s, 1.0, 2.0);
  Chart->AddXY(s, 3.0, 4.0);
  const QString name = dir.filePath(QStringLiteral("data.txt"));
  ASSERT_TRUE(Form->aPlotDataSaveAsAccept(name));
  QFile file(name);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("\tA\r\n1\t2\r\n3\t4\r\n"));

  // A folder that does not exist: false, and a message box that does not
  // block the window thread says why.
  EXPECT_FALSE(Form->aPlotDataSaveAsAccept(dir.filePath(QStringLiteral("missing/data.txt"))));
  const auto boxes = Form->findChildren<QMessageBox*>();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes.front()->text().contains(QStringLiteral("missing/data.txt")));
}

TEST_F(ChartFormTest, SaveDataAsOnAFullDiskKeepsTheFileSavedBefore) {
  QTemporaryDir dir;
  const int s = Chart->AddSeries(QStringLiteral("A"), Qt::red);
  for (int i = 0; i < 200; ++i)
    Chart->AddXY(s, i, 2.0 * i);
  const QString name = dir.filePath(QStringLiteral("data.txt"));
  ASSERT_TRUE(Form->aPlotDataSaveAsAccept(name));
  QFile file(name);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray before = file.readAll();
  file.close();
  ASSERT_GT(before.size(), 1024);

  Chart->AddXY(s, 1000.0, 1.0);
  {
    // A 1 KiB file-size limit stands in for the full disk.
    TestSupport::TFileSizeLimit full(1024);
    EXPECT_FALSE(Form->aPlotDataSaveAsAccept(name));
  }
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), before) << "the old table stays whole";
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("data.txt")});
  const auto boxes = Form->findChildren<QMessageBox*>();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes.front()->text().startsWith(QStringLiteral("Cannot write ") + name));
}

TEST_F(ChartFormTest, AxisFormatAfterAZoomFollowsTheRange) {
  // d = -trunc(log10(range) - 4), n = max(3, d) characters of "0.###…":
  // 1000 -> d = 1 -> "0.#"; 1 -> 4 -> "0.##"; 0.01 -> 6 -> "0.####".
  EXPECT_EQ(Plots::ZoomAxisFormat(1000.0), QStringLiteral("0.#"));
  EXPECT_EQ(Plots::ZoomAxisFormat(1.0), QStringLiteral("0.##"));
  EXPECT_EQ(Plots::ZoomAxisFormat(0.01), QStringLiteral("0.####"));
  // 1e-30: d = 34, cut to the 17 characters of the pattern (15 decimals).
  EXPECT_EQ(Plots::ZoomAxisFormat(1e-30), QStringLiteral("0.###############"));
  EXPECT_EQ(Plots::ZoomAxisFormat(0.0), QString());

  const int s = Chart->AddSeries(QStringLiteral("A"), Qt::red);
  for (int i = 0; i <= 10; ++i)
    Chart->AddXY(s, i * 0.01, i * 100.0);
  Chart->Refresh();
  const QString rightBefore = Chart->AxisValueFormat(TAxisId::Right);
  Chart->ZoomTo(0.04, 0.05, 0.0, 1000.0);
  EXPECT_EQ(Chart->AxisValueFormat(TAxisId::Bottom), QStringLiteral("0.####"));
  EXPECT_EQ(Chart->AxisValueFormat(TAxisId::Left), QStringLiteral("0.#"));
  EXPECT_NE(Chart->AxisValueFormat(TAxisId::Right), rightBefore); // range 1 -> "0.##"
  // Undoing the zoom keeps the formats.
  Form->aUndoZoomExecute();
  EXPECT_EQ(Chart->AxisValueFormat(TAxisId::Bottom), QStringLiteral("0.####"));
}

TEST_F(ChartFormTest, XLogarithmStartsAtTheDecadeOfTheFirstNonZeroXAndHidesPointZero) {
  const int first = Chart->AddSeries(QStringLiteral("A"), Qt::red);
  const int second = Chart->AddSeries(QStringLiteral("B"), Qt::blue);
  const int empty = Chart->AddSeries(QStringLiteral("C"), Qt::black);
  Form->ChartPopupMenuPopup();
  EXPECT_FALSE(Form->aXLogarithm->isEnabled()); // first series empty

  Chart->AddXY(first, 0.0, 1.0);
  Chart->AddXY(first, 35.0, 2.0);
  Chart->AddXY(first, 700.0, 3.0);
  Chart->AddXY(second, 0.0, 5.0);
  Chart->AddXY(second, 100.0, 6.0);
  Form->ChartPopupMenuPopup();
  EXPECT_TRUE(Form->aXLogarithm->isEnabled());
  EXPECT_FALSE(Form->aXLogarithm->isChecked());

  Chart->ZoomTo(10.0, 200.0, 0.0, 6.0);
  Form->aXLogarithm->trigger();
  EXPECT_FALSE(Chart->IsZoomed()); // one zoom step undone first
  EXPECT_TRUE(Chart->AxisLogarithmic(TAxisId::Bottom));
  EXPECT_FALSE(Chart->AxisAutomaticMinimum(TAxisId::Bottom));
  EXPECT_DOUBLE_EQ(Chart->AxisMinimum(TAxisId::Bottom), 10.0); // 10^floor(log10 35)
  EXPECT_TRUE(Chart->IsNull(first, 0));
  EXPECT_TRUE(Chart->IsNull(second, 0));
  EXPECT_FALSE(Chart->IsNull(first, 1));
  EXPECT_EQ(Chart->PointCount(empty), 0);
  Form->ChartPopupMenuPopup();
  EXPECT_TRUE(Form->aXLogarithm->isChecked());

  Form->aXLogarithm->trigger();
  EXPECT_FALSE(Chart->AxisLogarithmic(TAxisId::Bottom));
  EXPECT_TRUE(Chart->AxisAutomaticMinimum(TAxisId::Bottom));
  EXPECT_FALSE(Chart->IsNull(first, 0));
  EXPECT_FALSE(Chart->IsNull(second, 0));
  EXPECT_DOUBLE_EQ(Chart->AxisMinimum(TAxisId::Bottom), 0.0);
}

TEST_F(ChartFormTest, FontsAndPensFollowTheChartSize) {
  Chart->AddSeries(QStringLiteral("A"), Qt::red);
  Chart->AddSeries(QStringLiteral("B"), Qt::blue);
  Form->resize(TChartForm::DesignWidth, TChartForm::DesignHeight);
  QApplication::processEvents();
  ASSERT_EQ(Chart->size(), QSize(535, 348));
  // s = sqrt(535 * 348) * 0.005 = 2.1574: titles round(8.63) = 9, labels
  // round(6.47) = 6, chart title round(10.79) = 11, pens round(1.357) = 1.
  EXPECT_NEAR(Form->FontScale(), 2.1574, 1e-4);
  EXPECT_EQ(Chart->AxisTitleFontSize(TAxisId::Bottom), 9);
  EXPECT_EQ(Chart->AxisLabelFontSize(TAxisId::Left), 6);
  EXPECT_EQ(Chart->AxisTitleFontSize(TAxisId::Right), 9);
  EXPECT_EQ(Chart->TitleFontSize(), 11);
  EXPECT_EQ(Chart->SeriesPenWidth(1), 1);

  // ScalingFactor 0.01 on a 500 x 500 chart: s = 5, so 20, 15, 25 and
  // round(4.2) = 4; s = 2.5 (0.005) gives round(1.7) = 2 and labels
  // round(7.5) = 8 (halves to even).
  Host.Scaling = 0.01;
  Form->resize(500, 500);
  QApplication::processEvents();
  EXPECT_EQ(Chart->AxisTitleFontSize(TAxisId::Left), 20);
  EXPECT_EQ(Chart->AxisLabelFontSize(TAxisId::Bottom), 15);
  EXPECT_EQ(Chart->TitleFontSize(), 25);
  EXPECT_EQ(Chart->SeriesPenWidth(0), 4);
  Host.Scaling = 0.005;
  Form->resize(501, 500); // a new size is needed for a resize event
  Form->resize(500, 500);
  QApplication::processEvents();
  EXPECT_EQ(Chart->AxisLabelFontSize(TAxisId::Bottom), 8);
  EXPECT_EQ(Chart->AxisTitleFontSize(TAxisId::Bottom), 10);
  EXPECT_EQ(Chart->SeriesPenWidth(0), 2);
}

TEST_F(ChartFormTest, TitleShowsTheCaptionAndTheParameterFileName) {
  QTemporaryDir dir;
  Host.UseParameterFile(dir, "ScalingCoeff=1\r\n");
  Form->FormPaint();
  EXPECT_EQ(Chart->Title(), QStringLiteral("Conversion: run1.kpx"));
  Form->setWindowTitle(QStringLiteral("Dyads"));
  EXPECT_EQ(Chart->Title(), QStringLiteral("Dyads: run1.kpx"));
}

TEST_F(ChartFormTest, CopyPlotAndPrintLeaveTheBackgroundAsItWas) {
  const int s = Chart->AddSeries(QStringLiteral("A"), Qt::red);
  Chart->AddXY(s, 0.0, 0.0);
  Chart->AddXY(s, 1.0, 1.0);
  Chart->SetBackgroundColor(QColor(250, 250, 240));
  ASSERT_TRUE(Form->aEditCopyPlotExecute());
  EXPECT_EQ(Chart->BackgroundColor(), QColor(250, 250, 240));
  const QMimeData* mime = QApplication::clipboard()->mimeData();
  ASSERT_NE(mime, nullptr);
  EXPECT_TRUE(mime->hasFormat(QStringLiteral("image/svg+xml")));
  EXPECT_TRUE(mime->hasImage());
  // The picture went out with a transparent background.
  const QImage image = qvariant_cast<QImage>(mime->imageData());
  EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);

  QTemporaryDir dir;
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(dir.filePath(QStringLiteral("plot.pdf")));
  ASSERT_TRUE(Form->aPrintPlotAccept(printer));
  EXPECT_EQ(printer.docName(), QStringLiteral("AChart"));
  EXPECT_EQ(Chart->BackgroundColor(), QColor(250, 250, 240));
  EXPECT_GT(QFile(dir.filePath(QStringLiteral("plot.pdf"))).size(), 0);
  // Print margins of the chart window: 15 % left and right, 18 % top and bottom.
  const Charts::TMarginsPercent m = Chart->PrintMargins();
  EXPECT_DOUBLE_EQ(m.Left, 15.0);
  EXPECT_DOUBLE_EQ(m.Top, 18.0);
  EXPECT_DOUBLE_EQ(m.Right, 15.0);
  EXPECT_DOUBLE_EQ(m.Bottom, 18.0);
}

TEST_F(ChartFormTest, ClosingSavesThePlacementAndOnlyHides) {
  QPointer<TChartForm> guard(Form.get());
  EXPECT_TRUE(Form->isVisible());
  Form->close();
  EXPECT_FALSE(Form->isVisible());
  EXPECT_FALSE(guard.isNull());
  ASSERT_EQ(Host.SavedPlacements.size(), 1u);
  EXPECT_EQ(Host.SavedPlacements[0], QStringLiteral("Conversion"));
}

TEST_F(ChartFormTest, ActionsMenuAndEditor) {
  EXPECT_EQ(Form->aXLogarithm->text(), QStringLiteral("X-Logarithm"));
  EXPECT_EQ(Form->aUndoZoom->text(), QStringLiteral("&Undo Zoom"));
  EXPECT_EQ(Form->aEditCopyData->text(), QStringLiteral("Copy &Data"));
  EXPECT_EQ(Form->aEditCopyData->shortcut(), QKeySequence(QStringLiteral("Ctrl+D")));
  EXPECT_EQ(Form->aEditCopyData->toolTip(), QStringLiteral("Copy"));
  EXPECT_EQ(Form->aEditCopyData->statusTip(), QStringLiteral("Copies the Plots Data and puts it on the Clipboard"));
  EXPECT_EQ(Form->aPlotDataSaveAs->text(), QStringLiteral("Save Data &As..."));
  EXPECT_EQ(Form->aPlotDataSaveAs->statusTip(), QStringLiteral("Saves the Plot Data with a new name"));
  EXPECT_EQ(Form->aEditCopyPlot->text(), QStringLiteral("Copy P&lot"));
  EXPECT_EQ(Form->aEditCopyPlot->shortcut(), QKeySequence(QStringLiteral("Ctrl+L")));
  EXPECT_EQ(Form->aEditCopyPlot->statusTip(), QStringLiteral("Copies the Plot Picture and puts it on the Clipboard"));
  EXPECT_EQ(Form->aPrintPlot->text(), QStringLiteral("&Print Plot"));
  EXPECT_EQ(Form->aPrintPlot->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));

  const QList<QAction*> items = Form->ChartPopupMenu->actions();
  ASSERT_EQ(items.size(), 8);
  EXPECT_EQ(items[0], Form->aXLogarithm);
  EXPECT_TRUE(items[1]->isSeparator());
  EXPECT_EQ(items[2], Form->aUndoZoom);
  EXPECT_EQ(items[3], Form->aEditCopyData);
  EXPECT_EQ(items[4], Form->aPlotDataSaveAs);
  EXPECT_EQ(items[5], Form->aEditCopyPlot);
  EXPECT_EQ(items[6], Form->aSavePlotAs);
  EXPECT_EQ(items[7], Form->aPrintPlot);

  Form->AChartDblClick();
  EXPECT_EQ(Form->ChartEditor()->windowTitle(), QStringLiteral("Editing Conversion Chart"));
  EXPECT_TRUE(Form->ChartEditor()->isVisible());
  Form->ChartEditor()->close();
}

// Dark pixels in the columns [x0, x1) of the rows [y0, y1).
int Ink(const QImage& image, int x0, int x1, int y0, int y1) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      n += qGray(image.pixel(x, y)) < 128;
  return n;
}

// A window much larger than the printed area: the page gets fonts for its
// own size, so the long title stands whole within it; the window's fonts
// are back afterwards.
TEST_F(ChartFormTest, PrintLaysTheChartOutForThePage) {
  const int s = Chart->AddSeries(QStringLiteral("A"), Qt::red);
  Chart->AddXY(s, 0.0, 0.0);
  Chart->AddXY(s, 1.0, 1.0);
  Form->setWindowTitle(QStringLiteral("EC Plot"));
  Host.FileName = QStringLiteral("/data/living-caprolactone-lactide.kpx");
  Form->FormPaint();
  Form->resize(1500, 900);
  QApplication::processEvents();
  const int windowTitleSize = Chart->TitleFontSize();
  const int windowAxisSize = Chart->AxisTitleFontSize(TAxisId::Bottom);

  // The printed area of an A4 page within the print margins, at screen scale.
  const QSize page(420, 560);
  const QImage image = Chart->RenderImage(page, 300.0 / std::max(1, Chart->logicalDpiX()));
  ASSERT_FALSE(image.isNull());
  if (qEnvironmentVariableIsSet("PROPAGON_KEEP_PICTURES"))
    image.save(qEnvironmentVariable("PROPAGON_KEEP_PICTURES") + QStringLiteral("/print-layout.png"));
  const int band = image.height() / 10; // the title's rows
  const int edge = image.width() / 50;
  EXPECT_GT(Ink(image, edge, image.width() - edge, 0, band), 0);
  EXPECT_EQ(Ink(image, 0, edge, 0, band), 0);
  EXPECT_EQ(Ink(image, image.width() - edge, image.width(), 0, band), 0);
  EXPECT_EQ(Chart->TitleFontSize(), windowTitleSize);
  EXPECT_EQ(Chart->AxisTitleFontSize(TAxisId::Bottom), windowAxisSize);

  // The printer takes the same way.
  QTemporaryDir dir;
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(dir.filePath(QStringLiteral("ec.pdf")));
  ASSERT_TRUE(Form->aPrintPlotAccept(printer));
  EXPECT_EQ(Chart->TitleFontSize(), windowTitleSize);
  EXPECT_GT(QFile(dir.filePath(QStringLiteral("ec.pdf"))).size(), 0);
  if (qEnvironmentVariableIsSet("PROPAGON_KEEP_PICTURES"))
    QFile::copy(dir.filePath(QStringLiteral("ec.pdf")), qEnvironmentVariable("PROPAGON_KEEP_PICTURES") + QStringLiteral("/print-layout.pdf"));
}

// Save Plot As: PNG at the chosen resolution, SVG and PDF by extension, and
// a clear error for a folder that cannot be written.
TEST_F(ChartFormTest, SavePlotAsWritesPngSvgAndPdf) {
  const int s = Chart->AddSeries(QStringLiteral("A"), Qt::red);
  Chart->AddXY(s, 0.0, 0.0);
  Chart->AddXY(s, 1.0, 1.0);
  Form->resize(500, 300);
  QApplication::processEvents();
  QTemporaryDir dir;
  ASSERT_TRUE(Form->aSavePlotAsAccept(dir.filePath(QStringLiteral("plot.png")), 300));
  QImage png(dir.filePath(QStringLiteral("plot.png")));
  ASSERT_FALSE(png.isNull());
  const double factor = 300.0 / Chart->logicalDpiX();
  EXPECT_NEAR(png.width(), Chart->width() * factor, 1.0);
  EXPECT_NEAR(png.height(), Chart->height() * factor, 1.0);
  EXPECT_NEAR(png.dotsPerMeterX() * 0.0254, 300.0, 1.0);
  EXPECT_EQ(qGray(png.pixel(1, 1)), 255); // white behind the chart

  ASSERT_TRUE(Form->aSavePlotAsAccept(dir.filePath(QStringLiteral("plot.svg")), 300));
  QFile svg(dir.filePath(QStringLiteral("plot.svg")));
  ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
  EXPECT_TRUE(svg.readAll().contains("<svg"));
  ASSERT_TRUE(Form->aSavePlotAsAccept(dir.filePath(QStringLiteral("plot.pdf")), 300));
  QFile pdf(dir.filePath(QStringLiteral("plot.pdf")));
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  EXPECT_TRUE(pdf.read(5) == "%PDF-");

  EXPECT_FALSE(Form->aSavePlotAsAccept(dir.filePath(QStringLiteral("missing/plot.png")), 150));
  const auto boxes = Form->findChildren<QMessageBox*>();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes.front()->text().startsWith(QStringLiteral("Cannot write "))) << boxes.front()->text().toStdString();
  EXPECT_TRUE(boxes.front()->text().contains(QStringLiteral("missing/plot.png")));
}

} // namespace
