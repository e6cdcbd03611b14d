// The plot selection: which windows exist after OK and Cancel, where they go,
// what the settings keep, the live-view flags, and the run's calls reaching
// the chart windows, up to whole kernel runs of the example files.

#include "PlotsTestSupport.h"

#include "charts/uChart.h"
#include "engine/uKernels.h"
#include "plots/uCenters.h"
#include "plots/uDPChartForm.h"
#include "plots/uDistribForm.h"
#include "plots/uDyads.h"
#include "plots/uKineticsChartForm.h"
#include "plots/uPlotsCreation.h"
#include "plots/uStructureForm.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPointer>

#include <gtest/gtest.h>

#include <cmath>

using Plots::TPlotsListForm;

namespace {

class PlotsCreationTest : public testing::Test {
protected:
  void SetUp() override {
    PlotsTest::ClearState();
    Engine::SimState().LiveViews.store(0);
    Form = std::make_unique<TPlotsListForm>(&Host);
  }
  void TearDown() override {
    Form->FormDestroy();
    Form.reset();
    Engine::SimState().Observer = nullptr;
    Engine::SimState().LiveViews.store(0);
    PlotsTest::ClearState();
  }

  int WindowCount() const {
    int n = 0;
    for (int slot = 0; slot < TPlotsListForm::SlotCount; ++slot)
      n += Form->PlotWindow(slot) != nullptr;
    return n;
  }
  bool Setting(int slot) const {
    return Host.ReadSettingBool(QStringLiteral("DefinedPlotsList"), TPlotsListForm::EntryText(slot), false);
  }

  PlotsTest::TTestHost Host;
  std::unique_ptr<TPlotsListForm> Form;
};

// The two views that slow a run down say so in the list; the others do not.
TEST_F(PlotsCreationTest, LiveViewsAreMarkedAsSlowingTheRun) {
  Form->show();
  for (int slot = 0; slot < TPlotsListForm::SlotCount; ++slot) {
    const QListWidgetItem* item = Form->DefinedPlotsList->item(slot);
    const bool live = slot == TPlotsListForm::slStructure || slot == TPlotsListForm::slDistribution;
    EXPECT_EQ(item->text(), TPlotsListForm::EntryText(slot)); // the settings key stays
    EXPECT_EQ(!item->icon().isNull(), live) << slot;
    EXPECT_EQ(item->toolTip().contains(QStringLiteral("50-100 times slower")), live) << slot;
  }
  ASSERT_NE(Form->LiveViewNoteLabel, nullptr);
  EXPECT_TRUE(Form->LiveViewNoteLabel->isVisible());
  EXPECT_TRUE(Form->rect().contains(Form->LiveViewNoteLabel->geometry()));
}

TEST_F(PlotsCreationTest, FirstStartHasNoWindowsAndOkCreatesTheCheckedOnesDocked) {
  Form->FormCreate();
  EXPECT_EQ(WindowCount(), 0);
  EXPECT_EQ(Form->windowTitle(), QStringLiteral("Plots Creation Form"));
  ASSERT_EQ(Form->DefinedPlotsList->count(), 9);
  EXPECT_EQ(Form->DefinedPlotsList->item(2)->text(), QStringLiteral("Conversion"));
  EXPECT_EQ(Form->DefinedPlotsList->item(7)->text(), QStringLiteral("SEC Plot"));

  Form->SetChecked(TPlotsListForm::slKinetics, true);
  Form->SetChecked(TPlotsListForm::slSEC, true);
  Form->btnOKClick();
  EXPECT_EQ(WindowCount(), 2);
  ASSERT_NE(Form->KineticsChartForm(), nullptr);
  EXPECT_EQ(Form->KineticsChartForm()->windowTitle(), QStringLiteral("Conversion"));
  EXPECT_EQ(Form->KineticsChartForm()->property("Tag").toInt(), 3);
  // Docked as tabs, tagged by slot + 1.
  ASSERT_EQ(Host.Docked.size(), 2u);
  EXPECT_EQ(Host.Docked[0].first, Form->PlotWindow(TPlotsListForm::slKinetics));
  EXPECT_EQ(Host.Docked[0].second, 3);
  EXPECT_EQ(Host.Docked[1].second, 8);
  EXPECT_TRUE(Host.Floated.empty());
  EXPECT_GE(Host.MessagesPageShown, 2); // after FormCreate and after OK
  // The settings hold true for the two and false for the other seven.
  for (int slot = 0; slot < TPlotsListForm::SlotCount; ++slot)
    EXPECT_EQ(Setting(slot), slot == TPlotsListForm::slKinetics || slot == TPlotsListForm::slSEC) << slot;

  QWidget* sec = Form->PlotWindow(TPlotsListForm::slSEC);
  ASSERT_NE(sec, nullptr);
  EXPECT_EQ(sec->windowTitle(), QStringLiteral("SEC Plot"));
  EXPECT_NE(Form->ChartWindow(TPlotsListForm::slSEC), nullptr);

  // Nobody registered a MALDI window: the slot says the plot is not there
  // instead of showing an empty chart.
  Form->SetChecked(TPlotsListForm::slMALDI, true);
  Form->btnOKClick();
  QWidget* maldi = Form->PlotWindow(TPlotsListForm::slMALDI);
  ASSERT_NE(maldi, nullptr);
  EXPECT_EQ(maldi->windowTitle(), QStringLiteral("MALDI"));
  EXPECT_EQ(Form->ChartWindow(TPlotsListForm::slMALDI), nullptr);
  auto* label = maldi->findChild<QLabel*>(QStringLiteral("UnavailableLabel"));
  ASSERT_NE(label, nullptr);
  EXPECT_TRUE(label->text().contains(QStringLiteral("not available")));
}

TEST_F(PlotsCreationTest, UncheckingDestroysAndCheckingAgainCreatesAFreshWindow) {
  Form->FormCreate();
  Form->SetChecked(TPlotsListForm::slDyads, true);
  Form->btnOKClick();
  QPointer<QWidget> first = Form->PlotWindow(TPlotsListForm::slDyads);
  ASSERT_FALSE(first.isNull());
  Form->DyadForm()->AChart->AddXY(0, 1.0, 0.5);

  Form->SetChecked(TPlotsListForm::slDyads, false);
  Form->btnOKClick();
  EXPECT_TRUE(first.isNull()); // destroyed
  EXPECT_EQ(Form->DyadForm(), nullptr);
  ASSERT_EQ(Host.Released.size(), 1u);

  Form->SetChecked(TPlotsListForm::slDyads, true);
  Form->btnOKClick();
  ASSERT_NE(Form->DyadForm(), nullptr);
  EXPECT_EQ(Form->DyadForm()->AChart->PointCount(0), 0); // new and empty
}

TEST_F(PlotsCreationTest, CancelChangesNothingUntilTheNextOk) {
  Form->FormCreate();
  Form->SetChecked(TPlotsListForm::slCenters, true);
  Form->btnCancelClick();
  EXPECT_EQ(WindowCount(), 0);
  EXPECT_FALSE(Setting(TPlotsListForm::slCenters));
  EXPECT_TRUE(Form->Checked(TPlotsListForm::slCenters)); // as the user left it
  Form->btnOKClick();
  EXPECT_NE(Form->CentersForm(), nullptr);
  EXPECT_TRUE(Setting(TPlotsListForm::slCenters));
}

TEST_F(PlotsCreationTest, StartUpRestoresTheChoiceAndTheFloatingBounds) {
  Host.WriteSettingBool(QStringLiteral("DefinedPlotsList"), QStringLiteral("Averaged DP"), true);
  Host.WriteSettingBool(QStringLiteral("DefinedPlotsList"), QStringLiteral("Conversion"), true);
  Host.WriteSettingBool(QStringLiteral("Conversion"), QStringLiteral("IsDocked"), false);
  Host.WriteSettingInteger(QStringLiteral("Conversion"), QStringLiteral("Left"), 40);
  Host.WriteSettingInteger(QStringLiteral("Conversion"), QStringLiteral("Top"), 50);
  Host.WriteSettingInteger(QStringLiteral("Conversion"), QStringLiteral("Width"), 640);
  Host.WriteSettingInteger(QStringLiteral("Conversion"), QStringLiteral("Height"), 480);
  Form->FormCreate();
  EXPECT_TRUE(Form->Checked(TPlotsListForm::slDP));
  EXPECT_NE(Form->DPChartForm(), nullptr);
  EXPECT_EQ(Form->DPChartForm()->windowTitle(), QStringLiteral("DP Av."));
  ASSERT_EQ(Host.Floated.size(), 1u);
  EXPECT_EQ(Host.Floated[0].first, Form->PlotWindow(TPlotsListForm::slKinetics));
  EXPECT_EQ(Host.Floated[0].second, QRect(40, 50, 640, 480));
  ASSERT_EQ(Host.Docked.size(), 1u); // DP Av. has no placement yet: docked
  EXPECT_EQ(Host.Docked[0].second, 5);
}

TEST_F(PlotsCreationTest, ShowAllPlotsBringsBackClosedWindowsOfCheckedEntriesOnly) {
  Form->FormCreate();
  Form->SetChecked(TPlotsListForm::slCenters, true);
  Form->btnOKClick();
  QWidget* centres = Form->PlotWindow(TPlotsListForm::slCenters);
  centres->close();
  EXPECT_FALSE(centres->isVisible());
  EXPECT_EQ(Host.SavedPlacements.back(), QStringLiteral("Centers"));
  // Checked but never OK'd: no window to show.
  Form->SetChecked(TPlotsListForm::slDyads, true);
  Form->ShowAllPlots();
  EXPECT_TRUE(centres->isVisible());
  EXPECT_EQ(Form->DyadForm(), nullptr);
}

TEST_F(PlotsCreationTest, LiveViewFlagsFollowTheMarksAndStopAtOnceWhenToggled) {
  Form->FormCreate();
  bool structure = true;
  bool distribution = true;
  Form->GetLiveViewFlags(structure, distribution);
  EXPECT_FALSE(structure);
  EXPECT_FALSE(distribution);

  Form->SetChecked(TPlotsListForm::slDistribution, true);
  Form->btnOKClick();
  Form->GetLiveViewFlags(structure, distribution);
  EXPECT_FALSE(structure);
  EXPECT_TRUE(distribution);
  ASSERT_NE(Form->DistributionForm(), nullptr);

  // During a run: toggling "DP Distribution" switches its live drawing off
  // at once, even when the user then cancels.
  Host.Running = true;
  Engine::SimState().SetShowDistribution(true);
  Form->SetChecked(TPlotsListForm::slDistribution, false);
  EXPECT_FALSE(Engine::SimState().ShowDistribution());
  Form->btnCancelClick();
  EXPECT_FALSE(Engine::SimState().ShowDistribution());
  EXPECT_NE(Form->DistributionForm(), nullptr); // Cancel destroys nothing

  // Checking "Chains Structure" during a run and pressing OK creates the view
  // and switches its live drawing on.
  Form->SetChecked(TPlotsListForm::slDistribution, true);
  Form->SetChecked(TPlotsListForm::slStructure, true);
  EXPECT_FALSE(Engine::SimState().ShowStructure());
  Form->btnOKClick();
  ASSERT_NE(Form->StructureForm(), nullptr);
  EXPECT_TRUE(Engine::SimState().ShowStructure());
  EXPECT_TRUE(Form->IsMicrostructureView(Form->StructureForm()));
  EXPECT_FALSE(Form->IsMicrostructureView(Form->DistributionForm()));
}

TEST_F(PlotsCreationTest, RegisteredFactoriesMakeTheLaterWindows) {
  int made = 0;
  Form->RegisterWindowFactory(TPlotsListForm::slMALDI, [&made](Plots::TPlotHost* host) -> QWidget* {
    ++made;
    return new Plots::TChartForm(host);
  });
  Form->FormCreate();
  Form->SetChecked(TPlotsListForm::slMALDI, true);
  Form->btnOKClick();
  EXPECT_EQ(made, 1);
  ASSERT_NE(Form->ChartWindow(TPlotsListForm::slMALDI), nullptr);
  EXPECT_EQ(Form->ChartWindow(TPlotsListForm::slMALDI)->windowTitle(), QStringLiteral("MALDI"));
}

TEST_F(PlotsCreationTest, TheRunsCallsFillAndClearTheChartWindows) {
  QTemporaryDir dir;
  Host.UseParameterFile(dir, "ScalingCoeff=0.001\r\nSimVolume=1e-18\r\n");
  PlotsTest::TRecord r0{0.0, 10, 100, 50};
  PlotsTest::TRecord r1{1.0, 5, 80, 45, 0, 3.0, 2.0};
  r1.Dyads[0] = 0.5;
  r1.Dyads[1] = 0.25;
  r1.Dyads[2] = 0.25;
  PlotsTest::SetRecords(Engine::ptLiving, {r0, r1});
  Form->FormCreate();
  for (int slot : {2, 3, 4, 5})
    Form->SetChecked(slot, true);
  Form->btnOKClick();

  Form->InitializePlots();
  Form->UpdateUserInterface(1);
  EXPECT_EQ(Form->KineticsChartForm()->AChart->PointCount(2), 2);
  EXPECT_EQ(Form->CentersForm()->AChart->PointCount(0), 2);
  EXPECT_EQ(Form->DPChartForm()->AChart->PointCount(0), 2);
  EXPECT_EQ(Form->DyadForm()->AChart->PointCount(0), 2);
  EXPECT_DOUBLE_EQ(Form->DyadForm()->AChart->YValue(1, 1), 0.25);

  Form->ClearData();
  for (int slot : {2, 3, 4, 5})
    EXPECT_EQ(Form->ChartWindow(slot)->AChart->PointCount(0), 0) << slot;

  // Another file opened: every chart title names it.
  Host.FileName = dir.filePath(QStringLiteral("second run.kpx"));
  Form->ParameterFileChanged();
  EXPECT_EQ(Form->KineticsChartForm()->AChart->Title(), QStringLiteral("Conversion: second run.kpx"));
  EXPECT_EQ(Form->DyadForm()->AChart->Title(), QStringLiteral("Dyads: second run.kpx"));
}

// A whole kernel run of each example: every chart gets the initial point and
// one point per recorded check point, at the check points' times, and the
// kinetics curve is the record scaled to mol/L.
TEST_F(PlotsCreationTest, ExampleRunsFillEveryChartCheckPointByCheckPoint) {
  for (const char* example : {"living-caprolactone.kpx", "living-caprolactone-lactide.kpx"}) {
    SCOPED_TRACE(example);
    const QString path = QStringLiteral(PROPAGON_EXAMPLES_DIR "/") + QString::fromLatin1(example);
    Host.FileName = path;
    Host.File = std::make_unique<Params::TParameterFile>(path.toStdString());
    PlotsTest::ClearState();
    Form->FormDestroy();
    Form = std::make_unique<TPlotsListForm>(&Host);
    Form->FormCreate();
    for (int slot : {2, 3, 4, 5})
      Form->SetChecked(slot, true);
    Form->btnOKClick();

    Engine::TSimState& s = Engine::SimState();
    s.Observer = Form.get();
    s.FixedSeed = 7;
    s.AllocateMemory(*Host.File);
    Engine::TRunControl control;
    Engine::TSimRun run(s, *Host.File, control);
    Engine::SimulateLiving(run);
    const int last = s.CheckPointsHigh;
    ASSERT_GT(last, 2);

    for (int slot : {2, 3, 4, 5}) {
      const Charts::TChart& c = *Form->ChartWindow(slot)->AChart;
      for (int series = 0; series < c.SeriesCount(); ++series) {
        ASSERT_EQ(c.PointCount(series), last + 1) << "slot " << slot << " series " << series;
        for (int k = 0; k <= last; ++k)
          EXPECT_DOUBLE_EQ(c.XValue(series, k), s.CheckPointTime[static_cast<std::size_t>(k)]);
      }
    }
    const double sc = Host.File->ReadLocalFloat("SimulationParameters", "ScalingCoeff");
    const Charts::TChart& kinetics = *Form->KineticsChartForm()->AChart;
    for (int k = 0; k <= last; ++k)
      EXPECT_NEAR(kinetics.YValue(2, k), s.CPMonomerA[static_cast<std::size_t>(k)] * sc, 1e-12);
    // DPn at the end agrees with the histogram left by the run.
    const Plots::TDPAverages a = Plots::CalcDPAverages(s.DPDistribution.data(), s.DPDistribution.size());
    EXPECT_DOUBLE_EQ(Form->DPChartForm()->AChart->YValue(0, last), a.DPn);
    EXPECT_GT(a.DPn, 1.0);
    PlotsTest::Snapshot(*Form->KineticsChartForm(), (std::string("run-kinetics-") + example).c_str());
    PlotsTest::Snapshot(*Form->DPChartForm(), (std::string("run-dp-") + example).c_str());
    PlotsTest::Snapshot(*Form->DyadForm(), (std::string("run-dyads-") + example).c_str());
    PlotsTest::Snapshot(*Form->CentersForm(), (std::string("run-centers-") + example).c_str());
    s.Observer = nullptr;
    s.FreeThreadMemory();
  }
}

} // namespace
