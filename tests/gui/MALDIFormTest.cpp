// The MALDI window: settings, curves per process type, labels, the view
// controls, and what it does when no spectrum can be made.

#include "MALDITestSupport.h"

#include "charts/uChart.h"
#include "maldiview/uMALDIForm.h"
#include "maldiview/uMALDILimits.h"
#include "tests/support/LogCapture.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSlider>
#include <QToolButton>

#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace MALDITest;
using Charts::TAxisId;
using MaldiView::TMALDIForm;

QString FakeLibrary(const char* variant) {
  return QString::fromLatin1(PROPAGON_MALDIVIEW_FAKE_DIR) + "/" + variant + "/libMaldi.so";
}

// A window with a fake library (record (i, j): one peak at 100 i + 10 j + 1),
// a parameter file with formulas, and its own temporary folder.
class MALDIWindow : public ::testing::Test {
protected:
  void SetUp() override {
    Binding.CheckMALDILibrary(FakeLibrary("complete").toStdString());
    ASSERT_TRUE(Dir.isValid());
    const std::string kpx = Dir.filePath(QStringLiteral("run.kpx")).toStdString();
    std::ofstream(kpx) << "[Components]\nInitiatorFormula=C8H12N4\nInitiatorAttachedGroup=C4H6N\n"
                          "MonomerAFormula=C8H8\nMonomerBFormula=C5H8O2\n";
    Host.UseParameterFile(kpx);
  }
  void TearDown() override {
    Form.reset();
    Engine::SimState().FreeAll();
  }

  // Creates the window, shown, with the dialog answered by OK with the given settings.
  void Create(const QString& upper = QStringLiteral("1000"), const QString& cation = QStringLiteral("Na+")) {
    Form = std::make_unique<TMALDIForm>(&Host);
    Form->Spectrum().TempDir = Dir.path().toStdString() + "/";
    Form->resize(700, 450);
    Form->show();
    Form->SetSettingsDialogRunner([upper, cation](TMALDIForm& form) {
      form.SetUpperLimit(upper);
      form.SetCation(cation);
      return int(QDialog::Accepted);
    });
  }

  // Titles of the visible curves.
  QStringList Shown() const {
    QStringList titles;
    for (int s = 0; s < Form->AChart->SeriesCount(); ++s)
      if (Form->AChart->SeriesVisible(s))
        titles << Form->AChart->SeriesTitle(s);
    return titles;
  }

  QString MessageText() const {
    auto* box = qobject_cast<QMessageBox*>(Form->LastMessage());
    return box ? box->text() : QString();
  }

  Shell::TMaldiBinding Binding;
  TBindingGuard Guard{&Binding};
  QTemporaryDir Dir;
  TMaldiHost Host;
  std::unique_ptr<TMALDIForm> Form;
};

TEST_F(MALDIWindow, DesignAndSettings) {
  Host.Strings["MALDI/UpperLimitsN"] = "3000";
  Host.Strings["MALDI/Cation"] = "K";
  Host.Strings["MALDI/LabellingLevel"] = "1";
  Create();
  EXPECT_EQ(Form->windowTitle(), QStringLiteral("MALDI"));
  EXPECT_EQ(Form->UpperLimit(), QStringLiteral("3000"));
  EXPECT_EQ(Form->Cation(), QStringLiteral("K"));
  EXPECT_EQ(Form->LabelLevelEdit->text(), QStringLiteral("1"));
  EXPECT_EQ(Form->LabelLevel(), 2);
  const QStringList titles{"I~~I", "I~H", "I~=", "I~X"};
  const QColor colours[] = {QColor(64, 0, 0), QColor(0, 128, 255), QColor(255, 0, 0), QColor(0, 255, 64)};
  ASSERT_EQ(Form->AChart->SeriesCount(), 4);
  for (int s = 0; s < 4; ++s) {
    EXPECT_EQ(Form->AChart->SeriesTitle(s), titles[s]);
    EXPECT_EQ(Form->AChart->SeriesColor(s), colours[s]);
    EXPECT_EQ(Form->AChart->MarkStyle(s).TextColor, colours[s]);
    EXPECT_DOUBLE_EQ(Form->AChart->MarkStyle(s).Angle, 90.0);
    EXPECT_EQ(Form->AChart->MarkStyle(s).ArrowLength, TMALDIForm::MarkArrowLength);
  }
  EXPECT_EQ(Form->AChart->AxisTitle(TAxisId::Bottom), QStringLiteral("m/z"));
  EXPECT_EQ(Form->AChart->AxisTitle(TAxisId::Left), QStringLiteral("Number of Chains"));
  EXPECT_EQ(Form->AChart->Panning(), Charts::TPanning::Horizontal);
  EXPECT_EQ(Form->ChartPopupMenu->actions().first(), Form->aShowLabels);
  Form->ChartPopupMenuPopup();
  EXPECT_FALSE(Form->aXLogarithm->isVisible());
  EXPECT_EQ(Form->aRecalcMALDI->toolTip(), QStringLiteral("Calculate Present MALDI Spectrum"));
  Form->aRecalcMALDI->setEnabled(false);
  EXPECT_FALSE(Form->ButtonCalcMALDI->isEnabled());
  Form->aRecalcMALDI->setEnabled(true);
  EXPECT_TRUE(Form->ButtonCalcMALDI->isEnabled());
  EXPECT_EQ(Form->ButtonCalcMALDI->toolTip(), QStringLiteral("Calculate MALDI Spectrum of Current Product"));
  EXPECT_EQ(Form->ButtonResetLabels->toolTip(), QStringLiteral("Set Automatic Labels Positions"));
  EXPECT_EQ(Form->StaticText1->text(),
            QStringLiteral("left                   POSITION                 right              shrink           "
                           "MAGNIFICATION          expand"));
  EXPECT_EQ(Form->ExpandTrackBar->minimum(), 1);
  EXPECT_EQ(Form->ExpandTrackBar->value(), 1);

  Form->SetCation(QStringLiteral("Ag+"));
  Form->LabelLevelEdit->setText(QStringLiteral("0"));
  EXPECT_EQ(Form->LabelLevel(), 1);
  Form->LabelLevelEdit->setText(QStringLiteral("5"));
  EXPECT_EQ(Form->LabelLevel(), 5);
  Form->LabelLevelEdit->setText(QStringLiteral("5a")); // not an integer: level stays
  EXPECT_EQ(Form->LabelLevel(), 5);
  Form->close();
  EXPECT_FALSE(Form->isVisible());
  EXPECT_EQ(Host.Strings["MALDI/UpperLimitsN"], QStringLiteral("3000"));
  EXPECT_EQ(Host.Strings["MALDI/Cation"], QStringLiteral("Ag"));
  EXPECT_EQ(Host.Strings["MALDI/LabellingLevel"], QStringLiteral("5a"));
}

TEST_F(MALDIWindow, DefaultLabelLevelIs20) {
  Create();
  EXPECT_EQ(Form->LabelLevelEdit->text(), QStringLiteral("20"));
  EXPECT_EQ(Form->LabelLevel(), 20);
}

TEST_F(MALDIWindow, CurvesShownPerProcessType) {
  struct TCase {
    std::uint8_t Type;
    QStringList Titles;
  };
  for (const TCase& c : {TCase{Engine::ptLiving, {"I~X"}}, TCase{Engine::ptFreeRadical, {"I~~I", "I~H", "I~="}},
                         TCase{Engine::ptATRP, {"I~~I", "I~H", "I~=", "I~X"}}}) {
    Engine::TSimState& s = Store(c.Type, 4);
    for (int chain = 1; chain <= 4; ++chain)
      SetChain(s, chain, 3, 1, chain == 4 && c.Type != Engine::ptLiving ? 2 : 0);
    if (c.Type == Engine::ptATRP) {
      s.ChainLiving.assign(5, 0);
      s.ChainLiving[1] = 1;
    }
    Create();
    ASSERT_TRUE(Form->aRecalcMALDIExecute()) << int(c.Type);
    EXPECT_EQ(Shown(), c.Titles) << int(c.Type);
    // n = trunc(1000 / 100.1158) + 1 = 10; the axis has 10001 points.
    EXPECT_EQ(Form->Spectrum().N, 10);
    for (int series = 0; series < 4; ++series) {
      if (Form->AChart->SeriesVisible(series)) {
        EXPECT_EQ(Form->AChart->PointCount(series), 10001) << series;
      }
    }
    // The whole axis is shown.
    EXPECT_DOUBLE_EQ(Form->AChart->AxisMinimum(TAxisId::Bottom), 0.0);
    EXPECT_DOUBLE_EQ(Form->AChart->AxisMaximum(TAxisId::Bottom), 1000.0);
  }
}

TEST_F(MALDIWindow, LabelLevelRebuildsFromTheTablesAndMarksShowLabels) {
  Engine::TSimState& s = Store(Engine::ptLiving, 30);
  for (int chain = 1; chain <= 30; ++chain)
    SetChain(s, chain, chain <= 25 ? 3 : 2, 1); // 25 chains (3,1) at m/z 311, 5 chains (2,1) at 211
  Create();
  ASSERT_TRUE(Form->aRecalcMALDIExecute());
  // Level 20: only the 25-chain peak is labelled; the mark text comes from the labels.
  EXPECT_DOUBLE_EQ(Form->AChart->YValue(3, 3110), 25.0);
  EXPECT_EQ(Form->Spectrum().Curves[3].Labels.size(), 1u);
  Form->LabelLevelEdit->setText(QStringLiteral("4"));
  EXPECT_EQ(Form->Spectrum().Curves[3].Labels.size(), 2u);
  EXPECT_EQ(Form->Spectrum().Curves[3].Label(2110), "2+1");
  EXPECT_TRUE(Form->AChart->MarksVisible(3));
  Form->aShowLabels->trigger();
  EXPECT_FALSE(Form->AChart->MarksVisible(3));
  // Dragged labels go back.
  Form->AChart->SetMarkOffset(3, 3110, QPointF(30, -12));
  Form->aResetLabels->trigger();
  EXPECT_EQ(Form->AChart->MarkOffset(3, 3110), QPointF());
}

TEST_F(MALDIWindow, MagnificationAndBrowsing) {
  Engine::TSimState& s = Store(Engine::ptLiving, 2);
  SetChain(s, 1, 3, 1);
  Create();
  ASSERT_TRUE(Form->aRecalcMALDIExecute());
  // 10001 points on a chart 500 pixels wide: maximum 10000 div 500 + 1 = 21, ticks 21 div 5 = 4.
  EXPECT_EQ(TMALDIForm::MagnificationMaximum(10001, 500), 21);
  Form->UpdateExpandTrackBar(500);
  EXPECT_EQ(Form->ExpandTrackBar->maximum(), 21);
  EXPECT_EQ(Form->ExpandTrackBar->tickInterval(), 4);
  EXPECT_EQ(TMALDIForm::MagnificationMaximum(10001, 0), 10001); // a chart not laid out yet counts 1 pixel
  Form->resize(600, 400);
  QCoreApplication::processEvents();
  const int width = Form->AChart->width();
  ASSERT_GT(width, 500);
  EXPECT_EQ(Form->ExpandTrackBar->maximum(), 10000 / width + 1);
  EXPECT_EQ(Form->ExpandTrackBar->tickInterval(), (10000 / width + 1) / 5);

  // Magnification 11: pages of 10000 div 11 = 909 points, w = 90.9;
  // browse -5 … 5.
  Form->ExpandTrackBar->setValue(11);
  EXPECT_EQ(Form->BrowseTrackBar->minimum(), -5);
  EXPECT_NEAR(Form->ViewWidth(), 90.9, 1e-9);
  Form->BrowseTrackBar->setValue(-5);
  // c = 500 - 5 x 90.9 = 45.5.
  EXPECT_NEAR(Form->ViewCentre(), 45.5, 1e-9);
  EXPECT_NEAR(Form->AChart->AxisMinimum(TAxisId::Bottom), 45.5 - 45.45, 1e-9);
  // Magnification 7: browse -3 … 3; position -5 lies outside and is halved to -2.
  Form->ExpandTrackBar->setValue(7);
  EXPECT_EQ(Form->BrowseTrackBar->minimum(), -3);
  EXPECT_EQ(Form->BrowseTrackBar->maximum(), 3);
  EXPECT_EQ(Form->BrowseTrackBar->value(), -2);
  // w = x(10000 div 7 = 1428) = 142.8; c = 500 - 2 x 142.8.
  EXPECT_NEAR(Form->ViewCentre(), 500.0 - 2 * 142.8, 1e-9);
  EXPECT_EQ(Form->BrowseTrackBar->tickInterval(), 3 / 5 + 1);

  // The left axis follows the largest visible intensity: 1 chain at m/z 311
  // is not in view at c = 214.4 +- 71.4, so nothing is scaled there...
  const double before = Form->AChart->AxisMaximum(TAxisId::Left);
  Form->ScaleLeftAxis();
  EXPECT_DOUBLE_EQ(Form->AChart->AxisMaximum(TAxisId::Left), before);
  // ...and browsing onto it gives 1.2 x 1 chain.
  Form->BrowseTrackBar->setValue(-1); // c = 357.2, 285.8 … 428.6
  EXPECT_DOUBLE_EQ(Form->AChart->AxisMaximum(TAxisId::Left), 1.2);
  // Undo zoom keeps the right end of the axis fixed.
  Form->AChart->ZoomTo(300, 320, 0, 1);
  Form->AChart->UndoZoom();
  EXPECT_DOUBLE_EQ(Form->AChart->AxisMaximum(TAxisId::Bottom), 1000.0);
}

TEST_F(MALDIWindow, LivingReversibleExplainsWhyThereIsNoSpectrum) {
  Engine::TSimState& s = Store(Engine::ptLiving, 2);
  SetChain(s, 1, 3, 1);
  Create();
  ASSERT_TRUE(Form->aRecalcMALDIExecute());
  ASSERT_EQ(Shown(), QStringList{"I~X"});

  Store(Engine::ptLivingReversible, 2);
  TestSupport::TLogCapture log;
  EXPECT_FALSE(Form->aRecalcMALDIExecute());
  EXPECT_TRUE(log.Contains("Prepare MALDI Exit Code = 0"));
  EXPECT_TRUE(MessageText().contains(QStringLiteral("defined end groups"))) << MessageText().toStdString();
  // The previous spectrum stays.
  EXPECT_EQ(Shown(), QStringList{"I~X"});
  EXPECT_DOUBLE_EQ(Form->AChart->YValue(3, 3110), 1.0);
}

TEST_F(MALDIWindow, MissingAbstractedOperationAndMissingTables) {
  Engine::TSimState& s = Store(Engine::ptFreeRadical, 4);
  SetChain(s, 1, 3, 1);
  SetChain(s, 2, 3, 1);
  Create();
  ASSERT_TRUE(Form->aRecalcMALDIExecute());
  EXPECT_DOUBLE_EQ(Form->AChart->YValue(1, 3110), 1.0);

  Shell::TMaldiBinding partial;
  partial.CheckMALDILibrary(FakeLibrary("no-abstracted").toStdString());
  {
    TBindingGuard use(&partial);
    TestSupport::TLogCapture log;
    EXPECT_FALSE(Form->aRecalcMALDIExecute());
    EXPECT_TRUE(log.Contains("Prepare MALDI Exit Code = 0"));
    EXPECT_TRUE(MessageText().contains(QStringLiteral("\"PrepareAbstractedSpectrum\"")));
    EXPECT_EQ(Shown(), (QStringList{"I~~I", "I~H", "I~="}));
  }
  // A table file removed behind the window's back: the level change reports
  // it and keeps the curves built before it.
  QFile::remove(Dir.filePath(QStringLiteral("Maldi2.tmp")));
  Form->LabelLevelEdit->setText(QStringLiteral("7"));
  EXPECT_TRUE(MessageText().contains(QStringLiteral("Maldi2.tmp"))) << MessageText().toStdString();
  EXPECT_EQ(Shown(), QStringList{"I~~I"});
}

TEST_F(MALDIWindow, NotDuringARunningSimulationNorWithoutLibrary) {
  Engine::TSimState& s = Store(Engine::ptLiving, 2);
  SetChain(s, 1, 3, 1);
  Create();
  Host.Running = true;
  Form->FormActivate();
  EXPECT_FALSE(Form->aRecalcMALDI->isEnabled());
  EXPECT_FALSE(Form->aRecalcMALDIExecute());
  EXPECT_TRUE(MessageText().contains(QStringLiteral("paused"))) << MessageText().toStdString();
  Host.Paused = true; // the store stands still; the button follows when the mouse comes over the window
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QCoreApplication::sendEvent(Form.get(), &enter);
  EXPECT_TRUE(Form->aRecalcMALDI->isEnabled());
  Host.Running = false;
  {
    TBindingGuard none(nullptr);
    Form->FormActivate();
    EXPECT_FALSE(Form->aRecalcMALDI->isEnabled());
    EXPECT_FALSE(Form->aRecalcMALDIExecute());
    EXPECT_TRUE(MessageText().startsWith(QStringLiteral("MALDI Spectrum not Allowed!")));
  }
  // No product yet.
  s.MassHistogram.Release();
  Form->FormActivate();
  EXPECT_FALSE(Form->aRecalcMALDI->isEnabled());
}

TEST_F(MALDIWindow, AbortedDialogChangesNothing) {
  Engine::TSimState& s = Store(Engine::ptLiving, 2);
  SetChain(s, 1, 3, 1);
  Create();
  Form->SetSettingsDialogRunner([](TMALDIForm& form) {
    form.SetUpperLimit(QStringLiteral("555"));
    return MaldiView::TMALDISettingsForm::AbortResult;
  });
  TestSupport::TLogCapture log;
  EXPECT_FALSE(Form->aRecalcMALDIExecute());
  EXPECT_TRUE(Shown().isEmpty());
  EXPECT_FALSE(log.HasPrefix("Prepare MALDI Exit Code"));
}

TEST_F(MALDIWindow, LongCalculationsShowProgress) {
  Engine::TSimState& s = Store(Engine::ptATRP, 2);
  SetChain(s, 1, 3, 1);
  s.ChainLiving.assign(3, 1);
  Create();
  const int saved = TMALDIForm::ProgressDelayMs;
  TMALDIForm::ProgressDelayMs = 0; // every calculation counts as long
  const bool made = Form->aRecalcMALDIExecute();
  TMALDIForm::ProgressDelayMs = saved;
  ASSERT_TRUE(made);
  EXPECT_EQ(Form->ProgressShown(), 1);
  // A process without tables shows the dialog too, and says why it ends at once.
  Store(Engine::ptLivingReversible, 2);
  TMALDIForm::ProgressDelayMs = 0;
  EXPECT_FALSE(Form->aRecalcMALDIExecute());
  TMALDIForm::ProgressDelayMs = saved;
  EXPECT_EQ(Form->ProgressShown(), 2);
  EXPECT_TRUE(MessageText().contains(QStringLiteral("defined end groups")));
  auto* progress = Form->findChild<QProgressDialog*>(QStringLiteral("MALDIProgress"));
  EXPECT_EQ(progress, nullptr); // gone again
  EXPECT_DOUBLE_EQ(Form->AChart->YValue(3, 3110), 1.0);
}

TEST_F(MALDIWindow, FloatingWindowsKeepTheirMinimumWidth) {
  Create();
  QWidget page;
  Form->setParent(&page); // docked into a tab: no minimum of its own
  EXPECT_EQ(Form->minimumWidth(), 0);
  Form->setParent(nullptr); // floats again
  EXPECT_EQ(Form->minimumWidth(), TMALDIForm::FloatingMinimumWidth);
  Form->setParent(&page);
  EXPECT_EQ(Form->minimumWidth(), 0);
  Form->setParent(nullptr);
}

TEST_F(MALDIWindow, UnitMassesOfZero) {
  // Monomer B without formula (molar mass 0): monomer A alone sizes the spectrum.
  Engine::TSimState& s = Store(Engine::ptLiving, 2);
  SetChain(s, 1, 3, 0);
  s.MonomerBMolWeight = 0.0;
  Create();
  ASSERT_TRUE(Form->aRecalcMALDIExecute());
  EXPECT_EQ(Form->Spectrum().N, 10); // trunc(1000 / 104.1491) + 1
  // Neither unit has a molar mass: a clear message, the spectrum stays.
  s.MonomerAMolWeight = 0.0;
  TestSupport::TLogCapture log;
  EXPECT_FALSE(Form->aRecalcMALDIExecute());
  EXPECT_TRUE(MessageText().contains(QStringLiteral("both unit molar masses are 0"))) << MessageText().toStdString();
  EXPECT_TRUE(log.HasPrefix("The MALDI spectrum needs the molar mass of a monomer unit"));
  EXPECT_EQ(Shown(), QStringList{"I~X"});
}

// A click anywhere on the Calculate button, its lower half too, reaches it
// through the window (the caption under the sliders spans its column).
TEST_F(MALDIWindow, TheWholeCalculateButtonTakesClicks) {
  Engine::TSimState& s = Store(Engine::ptLiving, 2);
  SetChain(s, 1, 3, 1);
  Create();
  int dialogs = 0;
  Form->SetSettingsDialogRunner([&](TMALDIForm&) {
    ++dialogs;
    return MaldiView::TMALDISettingsForm::AbortResult;
  });
  Form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  ASSERT_TRUE(Form->ButtonCalcMALDI->isEnabled());
  const QRect button = Form->ButtonCalcMALDI->geometry();
  for (const QPoint& p : {button.center() - QPoint(0, button.height() / 4), button.center() + QPoint(0, button.height() / 3)}) {
    const QPoint inWindow = Form->ButtonCalcMALDI->parentWidget()->mapTo(Form.get(), p);
    EXPECT_EQ(Form->childAt(inWindow), Form->ButtonCalcMALDI) << p.y();
    QTest::mouseClick(Form->windowHandle(), Qt::LeftButton, Qt::NoModifier, inWindow);
  }
  EXPECT_EQ(dialogs, 2);
  // The caption is still drawn under the sliders, beneath the button.
  EXPECT_TRUE(Form->StaticText1->isVisible());
}

// After a run the button follows at once, without the mouse having to leave
// and enter the window again.
TEST_F(MALDIWindow, CalculateFollowsTheRunWithoutAnEnterEvent) {
  Engine::TSimState& s = Store(Engine::ptLiving, 2);
  SetChain(s, 1, 3, 1);
  Create();
  Host.Running = true;
  Form->RunStateChanged();
  EXPECT_FALSE(Form->ButtonCalcMALDI->isEnabled());
  Host.Running = false;
  Form->RunStateChanged();
  EXPECT_TRUE(Form->ButtonCalcMALDI->isEnabled());
}

} // namespace
