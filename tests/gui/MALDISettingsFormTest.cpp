// The MALDI settings dialog: cation list, upper limit from the mass axis, the
// estimate and its colours, OK and Abort.

#include "MALDITestSupport.h"

#include "maldiview/uMALDIForm.h"
#include "maldiview/uMALDILimits.h"
#include "tests/support/LogCapture.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace MALDITest;
using MaldiView::TMALDIForm;
using MaldiView::TMALDISettingsForm;

class MALDISettings : public ::testing::Test {
protected:
  void SetUp() override {
    // MA = 100, MB = 104 as in the estimate's worked example.
    Engine::TSimState& s = Store(Engine::ptFreeRadical, 4, 2000.0);
    s.MonomerAMolWeight = 100.0;
    s.MonomerBMolWeight = 104.0;
    Host.Sections["MALDISettingsForm"] = {"Na+", "K+", "Ag+"};
    Form = std::make_unique<TMALDIForm>(&Host);
  }
  void TearDown() override { Engine::SimState().FreeAll(); }

  QColor Background(const TMALDISettingsForm& dialog) const {
    return dialog.LabelPreparationTime->palette().color(QPalette::Window);
  }

  TMaldiHost Host;
  std::unique_ptr<TMALDIForm> Form;
};

TEST_F(MALDISettings, ShowFillsTheListAndTakesTheUpperLimitFromTheMassAxis) {
  Form->SetCation(QStringLiteral("K+"));
  TMALDISettingsForm dialog(Form.get(), &Host);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("MALDI Settings"));
  dialog.show();
  ASSERT_EQ(dialog.Cations->count(), 3);
  EXPECT_EQ(dialog.Cations->itemText(0), QStringLiteral("Ag+")); // sorted
  EXPECT_EQ(dialog.Cations->currentText(), QStringLiteral("K")); // the window's cation
  EXPECT_EQ(dialog.LabeledEditUpperLimit->text(), QStringLiteral("2000"));
  // Free radical: 3 x 21^2 = 1323 species, 0.6615 s.
  EXPECT_EQ(dialog.LabelPreparationTime->text(),
            QStringLiteral("Number of Species = 1323\nApprox. Preparation Time = 0.7s"));
  EXPECT_EQ(Background(dialog), dialog.palette().color(QPalette::Button));
  EXPECT_TRUE(dialog.ButtonOK->isEnabled());
}

TEST_F(MALDISettings, EstimateColoursAndTextsThatAreNoNumber) {
  TMALDISettingsForm dialog(Form.get(), &Host);
  dialog.show();
  // 3 x (trunc(8200/100) + 1)^2 = 3 x 83^2 = 20667 species = 10.3 s: yellow.
  dialog.LabeledEditUpperLimit->setText(QStringLiteral("8200"));
  EXPECT_EQ(Background(dialog), QColor(255, 255, 0));
  // 3 x 201^2 = 121203 species = 60.6 s: red.
  dialog.LabeledEditUpperLimit->setText(QStringLiteral("20000"));
  EXPECT_EQ(Background(dialog), QColor(255, 0, 0));
  const QString red = dialog.LabelPreparationTime->text();
  EXPECT_EQ(red, QStringLiteral("Number of Species = 121203\nApprox. Preparation Time = 60.6s"));
  // Not a number: the estimate stays as it was.
  dialog.LabeledEditUpperLimit->setText(QStringLiteral("20000x"));
  EXPECT_EQ(dialog.LabelPreparationTime->text(), red);
  // No cation, no OK.
  dialog.Cations->setEditText(QString());
  EXPECT_FALSE(dialog.ButtonOK->isEnabled());
}

TEST_F(MALDISettings, EnterAddsTheCationOnceToTheSettings) {
  TMALDISettingsForm dialog(Form.get(), &Host);
  dialog.show();
  dialog.Cations->setEditText(QStringLiteral("Li+"));
  for (int k = 0; k < 2; ++k) {
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(dialog.Cations->lineEdit(), &enter);
  }
  // Stored once (one key), offered twice in the open list.
  EXPECT_EQ(Host.Sections["MALDISettingsForm"], (QStringList{"Na+", "K+", "Ag+", "Li+"}));
  EXPECT_EQ(Host.ReadSettingString("MALDISettingsForm", "Li+", "absent"), QString());
  EXPECT_EQ(dialog.Cations->findText(QStringLiteral("Li+")), 2); // Ag+, K+, Li+, Li+, Na+
  EXPECT_EQ(dialog.Cations->count(), 5);
  EXPECT_TRUE(dialog.isVisible()); // Enter pressed no button
  // A new dialog offers it from the settings.
  TMALDISettingsForm next(Form.get(), &Host);
  next.show();
  EXPECT_EQ(next.Cations->count(), 4);
}

TEST_F(MALDISettings, OkPassesTheCationWithoutItsChargeAndAbortChangesNothing) {
  TestSupport::TLogCapture log;
  {
    TMALDISettingsForm dialog(Form.get(), &Host);
    dialog.show();
    dialog.Cations->setEditText(QStringLiteral("K+"));
    dialog.LabeledEditUpperLimit->setText(QStringLiteral("1500"));
    dialog.ButtonOKClick();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  EXPECT_EQ(Form->Cation(), QStringLiteral("K"));
  EXPECT_EQ(Form->UpperLimit(), QStringLiteral("1500"));
  EXPECT_TRUE(log.Contains("Calculating MALDI spectrum..."));
  {
    TMALDISettingsForm dialog(Form.get(), &Host);
    dialog.show();
    dialog.Cations->setEditText(QStringLiteral("Cs+"));
    dialog.LabeledEditUpperLimit->setText(QStringLiteral("900"));
    dialog.ButtonAbortClick();
    EXPECT_EQ(dialog.result(), TMALDISettingsForm::AbortResult);
  }
  EXPECT_EQ(Form->Cation(), QStringLiteral("K"));
  EXPECT_EQ(Form->UpperLimit(), QStringLiteral("1500"));
}

// The estimate's two lines are shown whole, however long the numbers; Return
// in the upper-limit field presses OK (in the cation box it adds a cation).
TEST_F(MALDISettings, EstimateIsNotClippedAndReturnPressesOk) {
  TestSupport::TLogCapture log;
  TMALDISettingsForm dialog(Form.get(), &Host);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  dialog.LabeledEditUpperLimit->setText(QStringLiteral("200000"));
  QCoreApplication::processEvents();
  QLabel* label = dialog.LabelPreparationTime;
  const QFontMetrics metrics(label->font());
  for (const QString& line : label->text().split(QLatin1Char('\n')))
    EXPECT_GE(label->contentsRect().width(), metrics.horizontalAdvance(line)) << line.toStdString();
  EXPECT_GE(label->contentsRect().height(), 2 * metrics.height());
  EXPECT_TRUE(dialog.rect().contains(label->geometry()));

  dialog.LabeledEditUpperLimit->setFocus();
  QTest::keyClick(dialog.LabeledEditUpperLimit, Qt::Key_Return);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(Form->UpperLimit(), QStringLiteral("200000"));
}

} // namespace
