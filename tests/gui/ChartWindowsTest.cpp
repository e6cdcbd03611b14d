// The chart windows filled check point by check point: kinetics, DP
// averages, dyads and active centres, from records written into the
// simulation state as a run leaves them.

#include "PlotsTestSupport.h"

#include "charts/uChart.h"
#include "params/uNumberFormat.h"
#include "plots/uCenters.h"
#include "plots/uDPChartForm.h"
#include "plots/uDyads.h"
#include "plots/uKineticsChartForm.h"

#include <QAction>

#include <gtest/gtest.h>

#include <cmath>

using Charts::TAxisId;
using PlotsTest::TRecord;

namespace {

class ChartWindowsTest : public testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(Dir.isValid()); }
  void TearDown() override { PlotsTest::ClearState(); }

  QTemporaryDir Dir;
  PlotsTest::TTestHost Host;
};

// ---- kinetics -----------------------------------------------------------------

// A copolymerization: I(0) = 10, A(0) = 1000, B(0) = 500, A used up at
// check point 3.
std::vector<TRecord> CopolymerRecords() {
  return {{0.0, 10, 1000, 500}, {1.0, 8, 600, 400}, {2.0, 6, 200, 300}, {3.0, 5, 0, 250}, {4.0, 4, 0, 200}, {5.0, 4, 0, 150}};
}

TEST_F(ChartWindowsTest, KineticsConcentrationsAreCountsTimesScalingAndFactor) {
  const Propagon::TSeparatorGuard separators('.', ',');
  Host.UseParameterFile(Dir, "ScalingCoeff=0.002\r\n");
  PlotsTest::SetRecords(Engine::ptLiving, CopolymerRecords());
  Plots::TKineticsChartForm form(&Host);
  form.InitializePlots();
  for (int k = 1; k <= 5; ++k)
    form.AddPoint();
  Charts::TChart& c = *form.AChart;
  // F = max(1000, 500) / 10 = 100.
  EXPECT_DOUBLE_EQ(form.Factor(), 100.0);
  EXPECT_EQ(c.SeriesTitle(0), QStringLiteral("[I] x 100.0"));
  EXPECT_EQ(c.SeriesTitle(1), QStringLiteral("[T] x 100.0"));
  EXPECT_EQ(c.AxisTitle(TAxisId::Left), QStringLiteral("Concentration (mol/L)"));
  for (int s = 0; s < 5; ++s)
    ASSERT_EQ(c.PointCount(s), 6) << s;
  // Check point 1 (t = 1): [I] = 8 * 0.002 * 100 = 1.6, [A] = 600 * 0.002
  // = 1.2, [B] = 0.8, [A]+[B] = 2.0.
  EXPECT_DOUBLE_EQ(c.XValue(2, 1), 1.0);
  EXPECT_NEAR(c.YValue(0, 1), 1.6, 1e-12);
  EXPECT_NEAR(c.YValue(2, 1), 1.2, 1e-12);
  EXPECT_NEAR(c.YValue(3, 1), 0.8, 1e-12);
  EXPECT_NEAR(c.YValue(4, 1), 2.0, 1e-12);
  EXPECT_NEAR(c.YValue(2, 0), 2.0, 1e-12); // initial [A] = 1000 * 0.002
  EXPECT_TRUE(c.SeriesVisible(1));         // living: [T] shown
  PlotsTest::Snapshot(form, "kinetics-concentrations");
}

TEST_F(ChartWindowsTest, KineticsModesRebuildOverTheShownCheckPoints) {
  Host.UseParameterFile(Dir, "ScalingCoeff=0.002\r\n");
  PlotsTest::SetRecords(Engine::ptLiving, CopolymerRecords());
  Plots::TKineticsChartForm form(&Host);
  form.InitializePlots();
  for (int k = 1; k <= 5; ++k)
    form.AddPoint();
  Charts::TChart& c = *form.AChart;

  form.ChartPopupMenuPopup();
  EXPECT_TRUE(form.ActionYAxisConversion->isEnabled());
  form.ActionYAxisConversion->trigger();
  EXPECT_TRUE(form.ActionYAxisConversion->isChecked());
  EXPECT_FALSE(form.ActionYAxisConcentr->isChecked());
  EXPECT_EQ(c.AxisTitle(TAxisId::Left), QStringLiteral("Conversion"));
  for (int s = 0; s < 5; ++s)
    ASSERT_EQ(c.PointCount(s), 6) << s; // initial point + five check points
  // Check point 2: 1 - 6/10 = 0.4; 1 - 200/1000 = 0.8; 1 - 300/500 = 0.4;
  // 1 - 500/1500 = 2/3; [T] = 0/10.
  EXPECT_NEAR(c.YValue(0, 2), 0.4, 1e-12);
  EXPECT_NEAR(c.YValue(1, 2), 0.0, 1e-12);
  EXPECT_NEAR(c.YValue(2, 2), 0.8, 1e-12);
  EXPECT_NEAR(c.YValue(3, 2), 0.4, 1e-12);
  EXPECT_NEAR(c.YValue(4, 2), 2.0 / 3.0, 1e-12);
  EXPECT_DOUBLE_EQ(c.YValue(2, 0), 0.0);

  form.ActionYAxisSemiLog->trigger();
  EXPECT_EQ(c.AxisTitle(TAxisId::Left), QStringLiteral("Ln([X]o/[X])"));
  // Check point 1: -ln(600/1000) = 0.5108; [T]: -ln(1 - 0) = 0.
  EXPECT_NEAR(c.YValue(2, 1), -std::log(0.6), 1e-12);
  EXPECT_NEAR(c.YValue(1, 1), 0.0, 1e-12);
  // A used up from check point 3: null points at 0, not -ln 0.
  EXPECT_FALSE(c.IsNull(2, 2));
  EXPECT_TRUE(c.IsNull(2, 3));
  EXPECT_DOUBLE_EQ(c.YValue(2, 3), 0.0);
  EXPECT_TRUE(c.IsNull(2, 5));
  EXPECT_EQ(c.PointCount(2), 6);
  PlotsTest::Snapshot(form, "kinetics-semilog");

  form.ActionYAxisConcentr->trigger();
  EXPECT_NEAR(c.YValue(2, 1), 1.2, 1e-12);
  EXPECT_EQ(c.PointCount(4), 6);
}

TEST_F(ChartWindowsTest, KineticsHomopolymerKeepsBAtItsInitialPoint) {
  const Propagon::TSeparatorGuard separators(',', '.');
  Host.UseParameterFile(Dir, "ScalingCoeff=0,001\r\n");
  // A(0) = 1000, B(0) = 0, I(0) = 10: F = 100.
  PlotsTest::SetRecords(Engine::ptFreeRadical, {{0.0, 10, 1000, 0}, {1.0, 9, 900, 0}, {2.0, 8, 700, 0}});
  Plots::TKineticsChartForm form(&Host);
  form.InitializePlots();
  form.AddPoint();
  form.AddPoint();
  Charts::TChart& c = *form.AChart;
  EXPECT_EQ(c.SeriesTitle(0), QStringLiteral("[I] x 100,0"));
  EXPECT_FALSE(c.SeriesVisible(1)); // free radical: no [T]
  EXPECT_EQ(c.PointCount(3), 3);    // concentrations: B gets its zeros

  form.ActionYAxisConversionExecute();
  EXPECT_EQ(c.PointCount(3), 1);
  EXPECT_EQ(c.PointCount(2), 3);
  form.ActionYAxisSemiLogExecute();
  EXPECT_EQ(c.PointCount(3), 1);
  EXPECT_EQ(c.PointCount(2), 3);
  EXPECT_NEAR(c.YValue(2, 2), -std::log(0.7), 1e-12);
}

TEST_F(ChartWindowsTest, KineticsWindowCreatedDuringARunShowsTheCheckPointsReached) {
  Host.UseParameterFile(Dir, "ScalingCoeff=0.002\r\n");
  PlotsTest::SetRecords(Engine::ptATRP, CopolymerRecords());
  Host.Started = true;
  Host.Running = true;
  Host.CheckPoint = 3;
  Plots::TKineticsChartForm form(&Host);
  Charts::TChart& c = *form.AChart;
  EXPECT_EQ(form.YAxisMode(), Plots::TKineticsChartForm::TYAxisMode::Concentrations);
  for (int s = 0; s < 5; ++s)
    EXPECT_EQ(c.PointCount(s), 4) << s; // check points 0 … 3
  EXPECT_DOUBLE_EQ(c.XValue(0, 3), 3.0);
  EXPECT_TRUE(c.SeriesVisible(1)); // ATRP shows [T]

  // After Clear (records released) a new window stays empty.
  PlotsTest::ClearState();
  Plots::TKineticsChartForm late(&Host);
  EXPECT_EQ(late.AChart->PointCount(2), 0);
}

TEST_F(ChartWindowsTest, KineticsWithoutReadableScalingCoeffStaysEmpty) {
  Host.UseParameterFile(Dir, "ScalingCoeff=abc\r\n");
  PlotsTest::SetRecords(Engine::ptLiving, CopolymerRecords());
  Plots::TKineticsChartForm form(&Host);
  form.InitializePlots();
  form.AddPoint();
  EXPECT_EQ(form.AChart->PointCount(2), 0);
}

TEST_F(ChartWindowsTest, KineticsInitialPointsAreNullOnALogarithmicTimeAxis) {
  Host.UseParameterFile(Dir, "ScalingCoeff=0.002\r\n");
  PlotsTest::SetRecords(Engine::ptLiving, CopolymerRecords());
  Plots::TKineticsChartForm form(&Host);
  form.InitializePlots();
  form.AddPoint();
  form.aXLogarithmExecute();
  ASSERT_TRUE(form.AChart->AxisLogarithmic(TAxisId::Bottom));
  form.InitializePlots();
  for (int s = 0; s < 5; ++s)
    EXPECT_TRUE(form.AChart->IsNull(s, 0)) << s;
}

// ---- DP averages ----------------------------------------------------------------

TEST_F(ChartWindowsTest, DPAveragesOfTheWorkedExample) {
  std::vector<std::int32_t> n(Engine::MaxDP + 1, 0);
  n[0] = 5; // chains without units do not count
  n[10] = 3;
  n[20] = 1;
  const Plots::TDPAverages a = Plots::CalcDPAverages(n.data(), n.size());
  // S0 = 4, S1 = 30 + 20 = 50, S2 = 300 + 400 = 700, S3 = 3000 + 8000 = 11000.
  EXPECT_DOUBLE_EQ(a.DPn, 12.5);
  EXPECT_DOUBLE_EQ(a.DPw, 14.0);
  EXPECT_NEAR(a.DPz, 11000.0 / 700.0, 1e-12); // 15.714…
  EXPECT_NEAR(a.DI, 1.12, 1e-12);

  // No chain has grown: 0, 0, 0 and DI = 1.
  std::vector<std::int32_t> none(Engine::MaxDP + 1, 0);
  none[0] = 100;
  const Plots::TDPAverages zero = Plots::CalcDPAverages(none.data(), none.size());
  EXPECT_EQ(zero.DPn, 0.0);
  EXPECT_EQ(zero.DPz, 0.0);
  EXPECT_EQ(zero.DI, 1.0);

  // The largest run: 65535 chains of DP 32767 (2^31 - 2^15 - 1 units).
  // S3 = 65535 * 32767^3 = 2.3e18 needs 64 bits; the averages are exact.
  std::vector<std::int32_t> big(Engine::MaxDP + 1, 0);
  big[Engine::MaxDP] = 65535;
  const Plots::TDPAverages large = Plots::CalcDPAverages(big.data(), big.size());
  EXPECT_DOUBLE_EQ(large.DPn, 32767.0);
  EXPECT_DOUBLE_EQ(large.DPz, 32767.0);
  EXPECT_DOUBLE_EQ(large.DI, 1.0);
}

TEST_F(ChartWindowsTest, DPChartAddsTheAveragesOfTheCurrentHistogram) {
  PlotsTest::SetRecords(Engine::ptLiving, {{0.0, 4, 100, 0}, {2.0, 4, 50, 0}, {4.0, 4, 0, 0}});
  Plots::TDPChartForm form(&Host);
  form.InitializePlots();
  Charts::TChart& c = *form.AChart;
  ASSERT_EQ(c.PointCount(0), 1);
  EXPECT_DOUBLE_EQ(c.YValue(3, 0), 1.0); // DI starts at 1
  Engine::SimState().DPDistribution[10] = 3;
  Engine::SimState().DPDistribution[20] = 1;
  form.AddPoint();
  EXPECT_DOUBLE_EQ(c.XValue(0, 1), 2.0);
  EXPECT_DOUBLE_EQ(c.YValue(0, 1), 12.5);
  EXPECT_DOUBLE_EQ(c.YValue(1, 1), 14.0);
  EXPECT_NEAR(c.YValue(3, 1), 1.12, 1e-12);
  EXPECT_EQ(c.SeriesVerticalAxis(3), TAxisId::Right);
  EXPECT_DOUBLE_EQ(c.AxisMinimum(TAxisId::Right), 1.0);
  EXPECT_FALSE(c.AxisGrid(TAxisId::Right));

  // A window created at check point 2 starts from there, at t(2), not at t(1).
  Host.Started = true;
  Host.CheckPoint = 2;
  Plots::TDPChartForm late(&Host);
  ASSERT_EQ(late.AChart->PointCount(0), 2);
  EXPECT_DOUBLE_EQ(late.AChart->XValue(0, 1), 4.0);
  EXPECT_DOUBLE_EQ(late.AChart->YValue(0, 1), 12.5);
}

// ---- dyads ------------------------------------------------------------------------

TEST_F(ChartWindowsTest, DyadsThatDoNotOccurLeaveGaps) {
  TRecord start{0.0, 10, 100, 0};
  TRecord one{1.0, 0, 50, 0};
  one.Dyads[0] = 1.0; // a homopolymer: only AA
  TRecord two{2.0, 0, 20, 0};
  two.Dyads[0] = 1.0;
  two.Dyads[1] = 5e-11; // below 1e-10: absent
  PlotsTest::SetRecords(Engine::ptLiving, {start, one, two});
  Plots::TDyadForm form(&Host);
  form.InitializePlots();
  form.AddPoint();
  form.AddPoint();
  Charts::TChart& c = *form.AChart;
  for (int s = 0; s < 4; ++s)
    ASSERT_EQ(c.PointCount(s), 3);
  EXPECT_FALSE(c.IsNull(0, 1));
  EXPECT_DOUBLE_EQ(c.YValue(0, 2), 1.0);
  for (int s = 1; s < 4; ++s) {
    EXPECT_FALSE(c.IsNull(s, 0)) << s; // the initial point stays
    EXPECT_TRUE(c.IsNull(s, 1)) << s;
    EXPECT_TRUE(c.IsNull(s, 2)) << s;
  }
  EXPECT_TRUE(c.AxisAutomaticMinimum(TAxisId::Left));

  // Created during the run: rebuilt; after the run (dyad records released): empty.
  Host.Started = true;
  Host.CheckPoint = 2;
  Plots::TDyadForm during(&Host);
  EXPECT_EQ(during.AChart->PointCount(0), 3);
  for (auto& row : Engine::SimState().CPDyads)
    row.clear();
  Plots::TDyadForm after(&Host);
  EXPECT_EQ(after.AChart->PointCount(0), 0);
}

// ---- centres ------------------------------------------------------------------------

TEST_F(ChartWindowsTest, CentresOfALivingRunShowTheInitiatorEnds) {
  // SimVolume 1e-18 L: f = 1 / (1e-18 * 6.02214179e23) = 1.66054e-6 mol/L per centre.
  Host.UseParameterFile(Dir, "SimVolume=1e-18\r\n");
  TRecord start{0.0, 100, 1000, 0};
  TRecord one{1.0, 40, 500, 0, 0, 55.0, 5.0};
  PlotsTest::SetRecords(Engine::ptLiving, {start, one}, 100);
  Plots::TCentersForm form(&Host);
  form.InitializePlots();
  form.AddPoint();
  Charts::TChart& c = *form.AChart;
  const double f = 1.0 / (1e-18 * 6.02214179e23);
  EXPECT_NEAR(form.Factor(), f, f * 1e-12);
  EXPECT_EQ(c.SeriesTitle(2), QStringLiteral("[I*]"));
  EXPECT_EQ(c.AxisValueFormat(TAxisId::Left), QStringLiteral("#,##0.###"));
  ASSERT_EQ(c.PointCount(2), 2);
  EXPECT_DOUBLE_EQ(c.YValue(2, 0), 0.0); // initial point (0, 0) like the others
  // K - A* - B* = 100 - 55 - 5 = 40 centres still at the initiator.
  EXPECT_NEAR(c.YValue(2, 1), 40.0 * f, f * 1e-9);
  EXPECT_NEAR(c.YValue(0, 1), 55.0 * f, f * 1e-9);
  EXPECT_NEAR(c.YValue(1, 1), 5.0 * f, f * 1e-9);
}

TEST_F(ChartWindowsTest, CentresOfRadicalRunsShowTheSum) {
  Host.UseParameterFile(Dir, "SimVolume=2e-18\r\n");
  TRecord start{0.0, 100, 1000, 100};
  TRecord one{1.0, 90, 900, 90, 0, 2.5, 1.5};
  for (std::uint8_t type : {Engine::ptFreeRadical, Engine::ptATRP}) {
    PlotsTest::SetRecords(type, {start, one}, 200);
    Plots::TCentersForm form(&Host);
    form.InitializePlots();
    form.AddPoint();
    Charts::TChart& c = *form.AChart;
    EXPECT_EQ(c.SeriesTitle(2), QStringLiteral("[A*]+[B*]"));
    EXPECT_EQ(c.AxisValueFormat(TAxisId::Left), QStringLiteral("0.0e-0"));
    // (2.5 + 1.5) centres in 2e-18 L.
    EXPECT_NEAR(c.YValue(2, 1), 4.0 / (2e-18 * 6.02214179e23), 1e-12);
  }
  // A window created after the run, when the centre records are released, stays empty.
  Engine::SimState().CPACenters.clear();
  Host.Started = true;
  Host.CheckPoint = 1;
  Plots::TCentersForm after(&Host);
  EXPECT_EQ(after.AChart->PointCount(0), 0);
}

} // namespace
