// The molar-mass distribution chart and the SEC trace window, driven as the
// run and the user drive them: after a free-radical run, on track-bar moves,
// with the context-menu items, and during a run that may be rebuilding the
// mass histograms.

#include "charts/uChart.h"
#include "engine/uDataStruct.h"
#include "params/uNumberFormat.h"
#include "plots/calc/uMassDistrCalc.h"
#include "plots/calc/uSECTrace.h"
#include "plots/uMassDistrForm.h"
#include "plots/uPlotHost.h"
#include "plots/uSEC_Broadened.h"
#include "tests/support/FloryRun.h"

#include <QAction>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QSlider>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using Charts::TAxisId;
using Plots::TMassDistrChartForm;
using Plots::TSECPlot;

// A host that says whether a run is going and whether it is paused.
class TRunStateHost : public Plots::TPlotHost {
public:
  bool Running = false;
  bool Paused = false;
  bool SimulationRunning() const override { return Running; }
  bool SimulationPaused() const override { return Paused; }
};

// A free-radical run terminated by disproportionation (about 10 000 chains,
// DPn about 150; tests/support/FloryRun.h), with its final
// statistics, as the end-of-run handler leaves the state.
void RunFreeRadical() {
  TestSupport::SimulateFloryFreeRadical();
  Engine::SimState().CalcMassDistributions();
}

// Set when a test has changed the run's statistics; the next test starts
// from a fresh run.
bool GStateChanged = false;

// What the chain statistics would leave after a later check point with
// chains ten times heavier: every chain of bin i moved to bin 10 i.
void MakeChainsTenTimesHeavier() {
  GStateChanged = true;
  Engine::TSimState& s = Engine::SimState();
  for (Engine::TMassBin& bin : s.MassHistogram.Bins) {
    bin.Mass *= 10.0;
    bin.Weight *= 10.0;
  }
  s.MassHistogram.AxisLength *= 10.0;
  s.Mn *= 10.0;
  s.Mw *= 10.0;
  s.NeedsAggregation = true;
}

// The state's histograms as whole arrays N(i) and W(i), i = 0 … b: what the
// charts are checked against through the array smoothing.
std::vector<double> DenseNumber() {
  const Engine::TMassHistogram& h = Engine::SimState().MassHistogram;
  std::vector<double> number(static_cast<std::size_t>(h.AxisLength), 0.0);
  for (const Engine::TMassBin& bin : h.Bins)
    number[static_cast<std::size_t>(bin.Mass)] = bin.Number;
  return number;
}
std::vector<double> DenseWeight() {
  const Engine::TMassHistogram& h = Engine::SimState().MassHistogram;
  std::vector<double> weight(static_cast<std::size_t>(h.AxisLength), 0.0);
  for (const Engine::TMassBin& bin : h.Bins)
    weight[static_cast<std::size_t>(bin.Mass)] = bin.Weight;
  return weight;
}
std::size_t AxisPoints() { return static_cast<std::size_t>(Engine::SimState().MassHistogram.AxisLength); }

class TDistrChartsTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { RunFreeRadical(); }
  static void TearDownTestSuite() { Engine::SimState().FreeAll(); }
  // Each test starts from the run's own statistics.
  void SetUp() override {
    if (GStateChanged)
      RunFreeRadical();
    GStateChanged = false;
  }
};

// ---------------------------------------------------------------------------
// Molar-mass distribution chart

TEST_F(TDistrChartsTest, MassDistrWindowIsBuiltAsDesigned) {
  TMassDistrChartForm form;
  ASSERT_NE(form.ResolutionTrackBar, nullptr);
  EXPECT_EQ(form.ResolutionTrackBar->minimum(), 1);
  EXPECT_EQ(form.ResolutionTrackBar->maximum(), 100);
  EXPECT_EQ(form.ResolutionTrackBar->value(), 21);
  EXPECT_EQ(form.ResolutionTrackBar->singleStep(), 2);
  EXPECT_EQ(form.ResolutionTrackBar->pageStep(), 10);
  EXPECT_EQ(form.ResolutionTrackBar->tickInterval(), 10);
  EXPECT_EQ(form.ResolutionTrackBar->width(), 200);
  EXPECT_EQ(form.IntervalWidthLabel->text(), QStringLiteral("1        Averaged Points Number        99"));
  EXPECT_EQ(form.Panel1->height(), 51);
  EXPECT_EQ(form.minimumWidth(), 214);
  Charts::TChart* chart = form.AChart;
  // The quantities with their unit; the left axis names the curve in front
  // (the weight curve at first).
  EXPECT_EQ(chart->AxisTitle(TAxisId::Bottom), QStringLiteral("molar mass, g/mol"));
  EXPECT_EQ(chart->AxisTitle(TAxisId::Left), QStringLiteral("weight fraction"));
  EXPECT_EQ(chart->AxisValueFormat(TAxisId::Left), QStringLiteral("#,##0.0000"));
  EXPECT_TRUE(chart->AxisAutomaticMinimum(TAxisId::Left));
  ASSERT_EQ(chart->SeriesCount(), 5);
  const char* titles[] = {"Mn", "Mw", "Mn", "Mw", "Labels"};
  for (int s = 0; s < 5; ++s)
    EXPECT_EQ(chart->SeriesTitle(s), QString::fromLatin1(titles[s])) << s;
  EXPECT_EQ(chart->SeriesColor(0), QColor(255, 0, 0));
  EXPECT_EQ(chart->SeriesColor(1), QColor(0, 128, 255));
  EXPECT_EQ(chart->SeriesPenStyle(2), Qt::DashLine);
  EXPECT_EQ(chart->SeriesColor(3), QColor(128, 255, 128));
  EXPECT_TRUE(chart->SeriesInLegend(0));
  EXPECT_TRUE(chart->SeriesInLegend(1));
  for (int s = 2; s < 5; ++s)
    EXPECT_FALSE(chart->SeriesInLegend(s)) << s;
  EXPECT_FALSE(chart->SeriesLineVisible(4));
  EXPECT_TRUE(chart->MarksVisible(4));
  const Charts::TMarkStyle marks = chart->MarkStyle(4);
  EXPECT_EQ(marks.Angle, 90.0);
  EXPECT_FALSE(marks.Arrow);
  EXPECT_EQ(marks.ArrowLength, 20);
  EXPECT_FALSE(marks.Frame);
  EXPECT_EQ(marks.Background, QColor(128, 255, 128));
  EXPECT_EQ(marks.Transparency, 70);
  EXPECT_EQ(marks.HorizontalMargin, 10);

  // Context menu: the two radio items, the GPC view and a separator above
  // the base items; X-Logarithm hidden when the menu opens.
  const QList<QAction*> items = form.ChartPopupMenu->actions();
  ASSERT_GE(items.size(), 5);
  EXPECT_EQ(items[0], form.PopUpNumberDistr);
  EXPECT_EQ(items[1], form.PopUpWeightDistr);
  EXPECT_EQ(items[2], form.PopUpLogMolarMass);
  EXPECT_FALSE(form.PopUpLogMolarMass->isChecked()); // the per-g/mol curves are the default
  EXPECT_TRUE(items[3]->isSeparator());
  EXPECT_EQ(items[4], form.aXLogarithm);
  EXPECT_EQ(form.PopUpNumberDistr->text(), QStringLiteral("Number Distribution"));
  EXPECT_EQ(form.PopUpWeightDistr->text(), QStringLiteral("&Weight Distribution"));
  EXPECT_TRUE(form.PopUpWeightDistr->isChecked());
  EXPECT_FALSE(form.PopUpNumberDistr->isChecked());
  form.ChartPopupMenuPopup();
  EXPECT_FALSE(form.aXLogarithm->isVisible());
}

TEST_F(TDistrChartsTest, NothingToShowLeavesTheChartEmpty) {
  TMassDistrChartForm form;
  Engine::TSimState& s = Engine::SimState();
  const std::int32_t grown = s.DPDistribution[0];
  s.DPDistribution[0] = s.ChainsNumber; // as before any chain has grown
  form.CalcSmoothDistributions();
  form.ResolutionTrackBar->setValue(30);
  s.DPDistribution[0] = grown;
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(form.AChart->PointCount(i), 0) << i;
}

TEST_F(TDistrChartsTest, CurvesMarkersAndLabelsAfterARun) {
  const Engine::TSimState& s = Engine::SimState();
  TMassDistrChartForm form;
  form.CalcSmoothDistributions();
  Charts::TChart* chart = form.AChart;
  const int b = static_cast<int>(AxisPoints()) - 1;
  // b points each: the last mass bin is not shown.
  ASSERT_EQ(chart->PointCount(0), b);
  ASSERT_EQ(chart->PointCount(1), b);
  std::vector<double> sn, sw;
  Plots::SmoothDistributions(DenseNumber(), DenseWeight(), 21, sn, sw);
  for (int i = 0; i < b; i += 97) {
    ASSERT_EQ(chart->XValue(0, i), static_cast<double>(i));
    ASSERT_EQ(chart->YValue(0, i), sn[static_cast<std::size_t>(i)]);
    ASSERT_EQ(chart->YValue(1, i), sw[static_cast<std::size_t>(i)]);
  }
  // Markers from 0 to the left axis's top at Mn and Mw; the labels at their feet.
  const double top = chart->AxisMaximum(TAxisId::Left);
  EXPECT_GT(top, 0.0);
  ASSERT_EQ(chart->PointCount(2), 2);
  EXPECT_EQ(chart->XValue(2, 0), s.Mn);
  EXPECT_EQ(chart->XValue(2, 1), s.Mn);
  EXPECT_EQ(chart->YValue(2, 0), 0.0);
  EXPECT_EQ(chart->YValue(2, 1), top);
  EXPECT_EQ(chart->XValue(3, 1), s.Mw);
  EXPECT_EQ(chart->YValue(3, 1), top);
  ASSERT_EQ(chart->PointCount(4), 2);
  EXPECT_EQ(form.SeriesGetMarkText(4, 0), QStringLiteral("Mn = %1").arg(std::lround(s.Mn)));
  EXPECT_EQ(form.SeriesGetMarkText(4, 1), QStringLiteral("Mw = %1").arg(std::lround(s.Mw)));
  // The axis spans about 4e-4: its labels get the decimals to tell them
  // apart (the zoom rule: range 4e-4 -> 7 characters, "0.#####").
  EXPECT_EQ(chart->AxisValueFormat(TAxisId::Left), Plots::ZoomAxisFormat(top - chart->AxisMinimum(TAxisId::Left)));
  EXPECT_EQ(chart->AxisValueFormat(TAxisId::Left), QStringLiteral("0.#####"));
  chart->Refresh();
  const std::vector<QString> texts = chart->AxisLabelTexts(TAxisId::Left);
  for (std::size_t i = 1; i < texts.size(); ++i)
    EXPECT_NE(texts[i], texts[i - 1]);
  // The curves reach the top of the axis, not beyond.
  const double highest = *std::max_element(sw.begin(), sw.end());
  EXPECT_LE(highest, top);
}

TEST_F(TDistrChartsTest, TrackBarFrom21To51RecomputesAndZeroesTheStart) {
  TMassDistrChartForm form;
  form.CalcSmoothDistributions();
  form.ResolutionTrackBar->setValue(51);
  ASSERT_EQ(form.SN().size(), AxisPoints());
  for (std::size_t i = 0; i < 51; ++i) {
    ASSERT_EQ(form.SN()[i], 0.0);
    ASSERT_EQ(form.SW()[i], 0.0);
  }
  std::vector<double> sn, sw;
  Plots::SmoothDistributions(DenseNumber(), DenseWeight(), 51, sn, sw);
  EXPECT_EQ(form.SN(), sn);
  EXPECT_EQ(form.SW(), sw);
  EXPECT_EQ(form.AChart->YValue(0, 5000), sn[5000]);

  // With the number curve brought to the front, a move still gives each
  // curve its own values, on the same mass axis.
  form.PopUpNumberDistr->trigger();
  form.ResolutionTrackBar->setValue(31);
  Plots::SmoothDistributions(DenseNumber(), DenseWeight(), 31, sn, sw);
  const int number = form.SeriesIndex(TMassDistrChartForm::Series1);
  const int weight = form.SeriesIndex(TMassDistrChartForm::Series2);
  ASSERT_NE(number, weight);
  for (int i = 0; i < form.AChart->PointCount(number); i += 501) {
    ASSERT_EQ(form.AChart->XValue(number, i), static_cast<double>(i));
    ASSERT_EQ(form.AChart->YValue(number, i), sn[static_cast<std::size_t>(i)]);
    ASSERT_EQ(form.AChart->YValue(weight, i), sw[static_cast<std::size_t>(i)]);
  }
}

TEST_F(TDistrChartsTest, NumberDistributionComesToTheFrontAndLeadsTheTable) {
  TMassDistrChartForm form;
  form.CalcSmoothDistributions();
  EXPECT_EQ(form.DataTable().front(), "molar mass, g/mol\tMn\tMw\tMn\tMw\tLabels");
  form.PopUpNumberDistr->trigger();
  EXPECT_TRUE(form.PopUpNumberDistr->isChecked());
  EXPECT_FALSE(form.PopUpWeightDistr->isChecked());
  // The weight curve moved first, so the red number curve is drawn over it.
  EXPECT_EQ(form.SeriesIndex(TMassDistrChartForm::Series2), 0);
  EXPECT_EQ(form.SeriesIndex(TMassDistrChartForm::Series1), 1);
  EXPECT_EQ(form.AChart->SeriesColor(1), QColor(255, 0, 0));
  const std::vector<std::string> table = form.DataTable();
  EXPECT_EQ(table.front(), "molar mass, g/mol\tMw\tMn\tMn\tMw\tLabels");
  EXPECT_EQ(form.AChart->AxisTitle(TAxisId::Left), QStringLiteral("mole fraction"));
  // Row of mass 5000: weight column before number column.
  std::vector<double> sn, sw;
  Plots::SmoothDistributions(DenseNumber(), DenseWeight(), 21, sn, sw);
  const std::string expected = "5000\t" + Plots::ChartNumberText(sw[5000]).toStdString() + "\t" +
                               Plots::ChartNumberText(sn[5000]).toStdString() + "\t";
  EXPECT_EQ(table[5001].substr(0, expected.size()), expected);
  // Already in front: nothing moves. Weight Distribution brings it back.
  form.PopUpNumberDistr->trigger();
  EXPECT_EQ(form.SeriesIndex(TMassDistrChartForm::Series2), 0);
  form.PopUpWeightDistr->trigger();
  EXPECT_EQ(form.SeriesIndex(TMassDistrChartForm::Series1), 0);
  EXPECT_EQ(form.SeriesIndex(TMassDistrChartForm::Series2), 1);
  // Recalculating keeps the order and fills the right series.
  form.PopUpNumberDistr->trigger();
  form.ResolutionTrackBar->setValue(1);
  EXPECT_EQ(form.AChart->YValue(form.SeriesIndex(TMassDistrChartForm::Series1), 5000), form.SN()[5000]);
  EXPECT_EQ(form.AChart->PointCount(form.SeriesIndex(TMassDistrChartForm::Series5)), 2);
}

TEST_F(TDistrChartsTest, TrackBarDuringARunSmoothsTheLastCalculationOnly) {
  TRunStateHost host;
  TMassDistrChartForm form(&host);
  host.Running = true;
  host.Paused = true;
  form.CalcSmoothDistributions(); // at a pause
  const std::vector<double> number = DenseNumber(), weight = DenseWeight();

  // The run goes on and rebuilds the histograms (here: heavier chains).
  host.Paused = false;
  MakeChainsTenTimesHeavier();
  form.ResolutionTrackBar->setValue(41);
  std::vector<double> sn, sw;
  Plots::SmoothDistributions(number, weight, 41, sn, sw);
  EXPECT_EQ(form.SN(), sn); // the copy of the last calculation, at the new width
  EXPECT_EQ(form.AChart->PointCount(0), static_cast<int>(number.size()) - 1);

  // Paused, the state may be read: the new histograms are taken.
  host.Paused = true;
  form.ResolutionTrackBar->setValue(43);
  Plots::SmoothDistributions(DenseNumber(), DenseWeight(), 43, sn, sw);
  EXPECT_EQ(form.SN(), sn);
  EXPECT_EQ(form.AChart->PointCount(0), static_cast<int>(AxisPoints()) - 1);

  // After Clear, during the next run, a track-bar move draws nothing.
  host.Paused = false;
  form.ClearData();
  form.ResolutionTrackBar->setValue(45);
  EXPECT_EQ(form.AChart->PointCount(0), 0);

  // Calculated with no run (read straight from the state, no copy kept), a
  // move during a later run leaves the curves as they are.
  host.Running = false;
  form.CalcSmoothDistributions();
  const double shown = form.AChart->YValue(0, 5000);
  host.Running = true;
  form.ResolutionTrackBar->setValue(61);
  EXPECT_EQ(form.AChart->YValue(0, 5000), shown);
  EXPECT_EQ(form.AChart->PointCount(0), static_cast<int>(AxisPoints()) - 1);
}

// ---------------------------------------------------------------------------
// SEC trace

TEST_F(TDistrChartsTest, SECWindowIsBuiltAsDesigned) {
  const char separator = Propagon::DecimalSeparator();
  Propagon::SetDecimalSeparator('.');
  TSECPlot form;
  Propagon::SetDecimalSeparator(separator);
  EXPECT_EQ(form.BroadeningTrackBar->minimum(), 1);
  EXPECT_EQ(form.BroadeningTrackBar->maximum(), 200);
  EXPECT_EQ(form.BroadeningTrackBar->value(), 100);
  EXPECT_EQ(form.BroadeningTrackBar->pageStep(), 20);
  EXPECT_EQ(form.BroadeningTrackBar->tickInterval(), 100);
  EXPECT_EQ(form.BroadeningTrackBar->width(), 200);
  EXPECT_EQ(form.Panel1->height(), 50);
  EXPECT_EQ(form.LabelTrackScale->text(),
            QStringLiteral("0.001                     0.01                        0.1"));
  EXPECT_EQ(form.LabelBroadening->text(), QStringLiteral("Broadening = 0.0100"));
  EXPECT_TRUE(form.NeedsAggregation());
  Charts::TChart* chart = form.AChart;
  EXPECT_FALSE(chart->LegendVisible());
  EXPECT_EQ(chart->AxisTitle(TAxisId::Bottom), QStringLiteral("Volume, a.u."));
  EXPECT_TRUE(chart->AxisInverted(TAxisId::Bottom));
  EXPECT_FALSE(chart->AxisAutomaticMinimum(TAxisId::Bottom));
  EXPECT_TRUE(chart->AxisAutomaticMaximum(TAxisId::Bottom));
  EXPECT_EQ(chart->AxisTitle(TAxisId::Left), QStringLiteral("Signal, a.u."));
  ASSERT_EQ(chart->SeriesCount(), 4);
  EXPECT_EQ(chart->SeriesTitle(1), QStringLiteral("Mn"));
  EXPECT_EQ(chart->SeriesTitle(2), QStringLiteral("Mw"));
  EXPECT_EQ(chart->SeriesTitle(3), QStringLiteral("Labels"));
  EXPECT_EQ(chart->SeriesColor(0), QColor(255, 0, 0));
  EXPECT_EQ(chart->SeriesPenStyle(1), Qt::DashLine);
  for (int s = 0; s < 4; ++s)
    EXPECT_FALSE(chart->SeriesInLegend(s));
  EXPECT_EQ(chart->MarkStyle(3).Angle, 90.0);
  EXPECT_EQ(chart->MarkStyle(3).Transparency, 70);
  EXPECT_FALSE(chart->MarkStyle(3).Frame);
  for (QAction* action : form.ChartPopupMenu->actions())
    EXPECT_TRUE(action->icon().isNull()) << action->text().toStdString();
  form.ChartPopupMenuPopup();
  EXPECT_FALSE(form.aXLogarithm->isVisible());
  EXPECT_FALSE(form.N2->isVisible());
}

TEST_F(TDistrChartsTest, TraceMarkersAndElutionLabelsAfterARun) {
  Engine::TSimState& s = Engine::SimState();
  s.NeedsAggregation = true; // as the final statistics leave it
  TSECPlot form;
  form.CalculateSEC();
  EXPECT_FALSE(form.NeedsAggregation());
  EXPECT_FALSE(s.NeedsAggregation.load());
  Charts::TChart* chart = form.AChart;
  ASSERT_EQ(chart->PointCount(0), 1000);
  double highest = 0.0;
  for (int k = 0; k < 1000; ++k) {
    highest = std::max(highest, chart->YValue(0, k));
    if (k < 100) {
      ASSERT_EQ(chart->YValue(0, k), 0.0) << k;
    }
  }
  EXPECT_EQ(highest, 1.0);
  EXPECT_EQ(chart->XValue(0, 999), form.Trace().X()[999]);

  const double top = chart->AxisMaximum(TAxisId::Left);
  EXPECT_GE(top, 1.0);
  ASSERT_EQ(chart->PointCount(1), 2);
  EXPECT_DOUBLE_EQ(chart->XValue(1, 0), std::log10(s.Mn));
  EXPECT_EQ(chart->YValue(1, 1), top);
  EXPECT_DOUBLE_EQ(chart->XValue(2, 1), std::log10(s.Mw));
  ASSERT_EQ(chart->PointCount(3), 2);
  EXPECT_DOUBLE_EQ(chart->XValue(3, 0), std::log10(s.Mn));
  EXPECT_DOUBLE_EQ(chart->XValue(3, 1), std::log10(s.Mw));
  EXPECT_EQ(form.SeriesGetMarkText(3, 0), QStringLiteral("Mn = %1").arg(std::lround(s.Mn)));
  EXPECT_EQ(form.SeriesGetMarkText(3, 1), QStringLiteral("Mw = %1").arg(std::lround(s.Mw)));

  // Elution volumes: one label per decade from 0 to the axis's top, the one
  // at log10 M = k reading L + 3 - k.
  const int labels = chart->AxisCustomLabelCount(TAxisId::Bottom);
  EXPECT_EQ(labels, static_cast<int>(std::floor(chart->AxisMaximum(TAxisId::Bottom))) + 1);
  chart->Refresh();
  const std::vector<double> positions = chart->AxisLabelPositions(TAxisId::Bottom);
  const std::vector<QString> texts = chart->AxisLabelTexts(TAxisId::Bottom);
  ASSERT_EQ(positions.size(), texts.size());
  ASSERT_FALSE(positions.empty());
  for (std::size_t i = 0; i < positions.size(); ++i)
    EXPECT_EQ(texts[i], QString::number(labels + 3 - static_cast<int>(std::lround(positions[i])))) << positions[i];
}

// The GPC view: the same smoothed curves per decade over a logarithmic
// molar-mass axis, with the markers where they were; off again, the
// per-g/mol curves come back.
TEST_F(TDistrChartsTest, LogMolarMassViewShowsTheCurvesPerDecade) {
  const Engine::TSimState& s = Engine::SimState();
  TMassDistrChartForm form;
  form.resize(600, 400);
  form.CalcSmoothDistributions();
  Charts::TChart* chart = form.AChart;
  const int number = form.SeriesIndex(TMassDistrChartForm::Series1);
  const int weight = form.SeriesIndex(TMassDistrChartForm::Series2);
  const int perGram = chart->PointCount(weight);
  ASSERT_GT(perGram, 1000);

  form.PopUpLogMolarMass->trigger();
  EXPECT_TRUE(form.LogMolarMassView());
  EXPECT_TRUE(chart->AxisLogarithmic(TAxisId::Bottom));
  EXPECT_EQ(chart->AxisTitle(TAxisId::Bottom), QStringLiteral("molar mass, g/mol (logarithmic)"));
  EXPECT_TRUE(chart->AxisTitle(TAxisId::Left).startsWith(QStringLiteral("w(log M)")));
  const int n = chart->PointCount(weight);
  ASSERT_GT(n, 50);
  EXPECT_LE(n, 1000);
  EXPECT_EQ(chart->PointCount(number), n);
  // Area per decade over log10 M: the area of the weight curve per g/mol.
  double areaLog = 0.0, top = 0.0, mp = 0.0;
  for (int k = 1; k < n; ++k) {
    areaLog += 0.5 * (chart->YValue(weight, k) + chart->YValue(weight, k - 1)) *
               std::log10(chart->XValue(weight, k) / chart->XValue(weight, k - 1));
    if (chart->YValue(weight, k) > top) {
      top = chart->YValue(weight, k);
      mp = chart->XValue(weight, k);
    }
  }
  double area = 0.0;
  for (std::size_t i = 100; i + 1 < form.SW().size(); ++i)
    area += form.SW()[i];
  EXPECT_NEAR(areaLog, area, 0.03 * area);
  // A most-probable distribution per decade peaks at 2 Mn.
  EXPECT_NEAR(mp / (2.0 * s.Mn), 1.0, 0.15);
  // The markers stand at Mn and Mw, as before.
  EXPECT_DOUBLE_EQ(chart->XValue(form.SeriesIndex(TMassDistrChartForm::Series3), 0), s.Mn);
  EXPECT_DOUBLE_EQ(chart->XValue(form.SeriesIndex(TMassDistrChartForm::Series4), 0), s.Mw);
  // A track-bar move keeps the view.
  form.ResolutionTrackBar->setValue(51);
  EXPECT_TRUE(chart->AxisLogarithmic(TAxisId::Bottom));
  EXPECT_LE(chart->PointCount(weight), 1000);

  form.PopUpLogMolarMass->trigger();
  EXPECT_FALSE(form.LogMolarMassView());
  EXPECT_FALSE(chart->AxisLogarithmic(TAxisId::Bottom));
  EXPECT_EQ(chart->AxisMinimum(TAxisId::Bottom), 0.0);
  EXPECT_EQ(chart->PointCount(weight), perGram);
  EXPECT_EQ(chart->AxisTitle(TAxisId::Left), QStringLiteral("weight fraction"));
}

// The SEC window reads as a GPC report: a molar-mass scale over the elution
// volume and Mp, Mn, Mw, Mz and the dispersity under the title.
TEST_F(TDistrChartsTest, SECShowsAMolarMassScaleAndTheAverages) {
  const Engine::TSimState& s = Engine::SimState();
  TSECPlot form;
  EXPECT_TRUE(form.AChart->TopScaleTicks().empty());
  form.CalculateSEC();
  Charts::TChart* chart = form.AChart;
  EXPECT_EQ(chart->TopScaleTitle(), QStringLiteral("molar mass, g/mol"));
  const auto ticks = chart->TopScaleTicks();
  ASSERT_FALSE(ticks.empty());
  bool thousand = false, tenThousand = false;
  for (const auto& [position, text] : ticks) {
    thousand = thousand || (position == 3.0 && text == QStringLiteral("1000"));
    tenThousand = tenThousand || (position == 4.0 && text == QString::fromUtf8("10\u2074"));
  }
  EXPECT_TRUE(thousand);
  EXPECT_TRUE(tenThousand);
  EXPECT_LE(ticks.back().first, form.Trace().Decades());
  const QString averages = chart->Subtitle();
  EXPECT_TRUE(averages.startsWith(QStringLiteral("Mp = "))) << averages.toStdString();
  EXPECT_TRUE(averages.contains(QStringLiteral("Mn = %1").arg(std::lround(s.Mn)))) << averages.toStdString();
  EXPECT_TRUE(averages.contains(QStringLiteral("Mw = %1").arg(std::lround(s.Mw))));
  EXPECT_TRUE(averages.contains(QStringLiteral("Mz = ")));
  EXPECT_TRUE(averages.contains(QString::fromUtf8("\u0110 = %1").arg(s.Mw / s.Mn, 0, 'f', 2)));
  // Clear takes the averages with the curves.
  form.ClearData();
  EXPECT_TRUE(chart->Subtitle().isEmpty());
}

TEST_F(TDistrChartsTest, BroadeningLabelFollowsTheTrackBar) {
  const char separator = Propagon::DecimalSeparator();
  Propagon::SetDecimalSeparator(',');
  TSECPlot form;
  form.BroadeningTrackBar->setValue(200);
  EXPECT_EQ(form.LabelBroadening->text(), QStringLiteral("Broadening = 0,1000"));
  Propagon::SetDecimalSeparator('.');
  form.BroadeningTrackBar->setValue(100);
  EXPECT_EQ(form.LabelBroadening->text(), QStringLiteral("Broadening = 0.0100"));
  Propagon::SetDecimalSeparator(separator);
  // The trace was redrawn at each move and is still normalised to 1.
  EXPECT_EQ(*std::max_element(form.Trace().Y().begin(), form.Trace().Y().end()), 1.0);
}

TEST_F(TDistrChartsTest, HeavierChainsAreAggregatedAgainWithTheSameLabels) {
  TSECPlot form;
  form.CalculateSEC();
  const int decades = form.Trace().Decades();
  const int labels = form.AChart->AxisCustomLabelCount(TAxisId::Bottom);
  MakeChainsTenTimesHeavier(); // sets the chain statistics' flag
  EXPECT_TRUE(form.NeedsAggregation());
  form.CalculateSEC();
  EXPECT_FALSE(form.NeedsAggregation());
  EXPECT_EQ(form.Trace().Decades(), decades + 1);
  EXPECT_EQ(form.AChart->AxisCustomLabelCount(TAxisId::Bottom), labels);
  EXPECT_DOUBLE_EQ(form.AChart->XValue(2, 0), std::log10(Engine::SimState().Mw));
}

TEST_F(TDistrChartsTest, TrackBarDuringARunNeverAggregatesTheRebuiltHistogram) {
  TRunStateHost host;
  TSECPlot form(&host);
  form.CalculateSEC();
  const Plots::TSECTrace::TGrid cells = form.Trace().Wg();
  const int decades = form.Trace().Decades();

  host.Running = true;
  MakeChainsTenTimesHeavier();
  form.BroadeningTrackBar->setValue(150);
  // Broadened anew from the grid of the last aggregation; the pending
  // aggregation waits.
  EXPECT_EQ(form.Trace().Wg(), cells);
  EXPECT_EQ(form.Trace().Decades(), decades);
  EXPECT_TRUE(form.NeedsAggregation());
  EXPECT_EQ(form.LabelBroadening->text().toStdString(), Plots::BroadeningLabelText(Plots::BroadeningSigma(150)));
  EXPECT_EQ(*std::max_element(form.Trace().Y().begin(), form.Trace().Y().end()), 1.0);

  // Paused: the new histogram is aggregated.
  host.Paused = true;
  form.BroadeningTrackBar->setValue(151);
  EXPECT_FALSE(form.NeedsAggregation());
  EXPECT_EQ(form.Trace().Decades(), decades + 1);

  // After Clear, a move during the next run leaves the chart empty.
  host.Paused = false;
  form.ClearData();
  form.BroadeningTrackBar->setValue(152);
  EXPECT_EQ(form.AChart->PointCount(0), 0);
}

TEST_F(TDistrChartsTest, SECWithoutHistogramsOnlyUpdatesItsLabel) {
  Engine::TSimState& s = Engine::SimState();
  TSECPlot form;
  const int high = s.CheckPointsHigh;
  s.CheckPointsHigh = -1; // records released (Clear)
  form.BroadeningTrackBar->setValue(200);
  s.CheckPointsHigh = high;
  EXPECT_EQ(form.AChart->PointCount(0), 0);
  EXPECT_TRUE(form.NeedsAggregation());
  EXPECT_EQ(form.LabelBroadening->text().toStdString(), Plots::BroadeningLabelText(0.1));
}

TEST_F(TDistrChartsTest, EndOfRunAndPauseRecomputeBothWindows) {
  TMassDistrChartForm masses;
  TSECPlot sec;
  Plots::TChartForm* windows[] = {&masses, &sec};
  for (Plots::TChartForm* w : windows)
    w->EndOfRunStatistics();
  EXPECT_GT(masses.AChart->PointCount(0), 0);
  EXPECT_EQ(sec.AChart->PointCount(0), 1000);
  masses.ClearData();
  sec.ClearData();
  for (Plots::TChartForm* w : windows)
    w->RecalculateOnPause();
  EXPECT_GT(masses.AChart->PointCount(0), 0);
  EXPECT_EQ(sec.AChart->PointCount(0), 1000);
}

} // namespace

namespace {

TEST_F(TDistrChartsTest, FloatingWindowsLiftTheirLabelsByHalfTheFirstLabel) {
  // Floating: a window of its own. Docked: a child of a tab page.
  QWidget page;
  TMassDistrChartForm floating;
  TSECPlot docked(nullptr, &page);
  TSECPlot floatingSec;
  for (Plots::TChartForm* form : {static_cast<Plots::TChartForm*>(&floating), static_cast<Plots::TChartForm*>(&docked),
                                  static_cast<Plots::TChartForm*>(&floatingSec)}) {
    form->resize(600, 420);
    form->show();
    form->EndOfRunStatistics();
    form->AChart->Refresh(); // draws the marks, so their widths are known
    form->AChartResize();
  }
  const double width = floating.AChart->MarkWidth(4, 0);
  ASSERT_GT(width, 0.0);
  EXPECT_EQ(floating.AChart->MarkStyle(4).ArrowLength, std::lround(width / 2.0));
  const double secWidth = floatingSec.AChart->MarkWidth(3, 0);
  ASSERT_GT(secWidth, 0.0);
  EXPECT_EQ(floatingSec.AChart->MarkStyle(3).ArrowLength, std::lround(secWidth / 2.0));
  EXPECT_EQ(docked.AChart->MarkStyle(3).ArrowLength, 20);
}

} // namespace
