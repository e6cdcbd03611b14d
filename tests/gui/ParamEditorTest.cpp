// The parameter editor window driven as a user drives it: the number fields'
// rules, the component panels, the checking-points page, the layout by
// process type, Open / Validate / Save As / Accept and their states, and
// Accept handing the file to the main window.

#include "ParamEditorTestSupport.h"
#include "ShellTestSupport.h"

#include "params/uParamFile.h"
#include "params/ui/uParamEditorLauncher.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include <cstdlib>

namespace {

using namespace EditorTest;
using Params::ciActivator;
using Params::ciInitiator;
using Params::ciMonomerA;
using Params::ciMonomerB;
using Params::ciSolvent;

const QString LivingExample = Examples + "/living-caprolactone.kpx";

class Editor : public TEditorFixture {
protected:
  // The editor on a copy of the living example (a valid description).
  Params::TParamSettingForm& OpenedOnExample() {
    const QString copy = TempFile("current.kpx");
    QFile::copy(LivingExample, copy);
    Params::TParamSettingForm& form = Form(copy);
    return form;
  }
  std::vector<std::string> Lines() const { return SplitLines(FForm->CheckingPointsList->toPlainText()); }
  static std::vector<std::string> SplitLines(const QString& text) {
    std::vector<std::string> out;
    if (!text.isEmpty())
      for (const QString& line : text.split('\n'))
        out.push_back(line.toStdString());
    return out;
  }
};

// ---------------------------------------------------------------------------
// Number fields

TEST_F(Editor, NumberFieldsTurnEmptyIntoZeroAndReportBadAndNegativeValues) {
  Params::TParamSettingForm& form = Form();
  form.PageControl->setCurrentWidget(form.General);
  Params::TEditPositiveNumber* total = form.TotalVolume;
  Type(total, "12");
  EXPECT_EQ(total->text(), "12");
  Type(total, "");  // cleared: "0" at once
  EXPECT_EQ(total->text(), "0");
  EXPECT_TRUE(FDialogs.Errors.empty());

  Type(total, "-");  // a lone minus is not a number; the text stays as typed
  EXPECT_EQ(total->text(), "-");
  ASSERT_EQ(FDialogs.Errors.size(), 1u);
  EXPECT_EQ(FDialogs.Errors[0], "EConvertError\r\nTotalVolume\r\n'-' is not a valid floating point value");
  QTest::keyClicks(total, "1");
  total->LeaveField();  // -1 on leaving: the value must not be negative
  EXPECT_EQ(FDialogs.Errors.back(), "EMathError\r\nTotalVolume\r\nNonNegative Value Required");
  EXPECT_TRUE(total->hasFocus());
  // Leaving by moving the focus runs the same rule and brings the focus back.
  FDialogs.Clear();
  form.InitiatorNumber->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(FDialogs.Errors, (std::vector<std::string>{"EMathError\r\nTotalVolume\r\nNonNegative Value Required"}));
  EXPECT_TRUE(total->hasFocus());

  // A field hidden by its panel's rules reports nothing.
  FDialogs.Clear();
  Params::TEditPositiveNumber* oxidized = form.Compounds[ciMonomerA]->Oxidized;
  EXPECT_FALSE(oxidized->Shown());
  oxidized->setText("abc");
  oxidized->LeaveField();
  EXPECT_TRUE(FDialogs.Errors.empty());
}

// ---------------------------------------------------------------------------
// Component panels

TEST_F(Editor, SolventOffersVolumeAndWeightOnlyAndIsLockedWhenTheTotalIsKnown) {
  Params::TParamSettingForm& form = Form();
  Params::TCompoundInterface* solvent = form.Compounds[ciSolvent];
  EXPECT_EQ(solvent->Units->Count(), 2);
  EXPECT_EQ(solvent->Units->title(), "Sol&vent");
  EXPECT_TRUE(solvent->Formula->isHidden());
  EXPECT_TRUE(solvent->Length->isHidden());
  EXPECT_EQ(form.Compounds[ciMonomerB]->Units->title(), "Monomer &B");

  form.MixtureVolume->Click(1);  // sum of components
  form.PageControl->setCurrentWidget(form.Components);
  EXPECT_TRUE(solvent->isEnabled());
  EXPECT_TRUE(solvent->Note->isHidden());
  solvent->Units->Click(0);
  Enter(solvent->Amount, "50");
  EXPECT_EQ(solvent->Amount->Label()->text(), "Volume (ml)");

  form.MixtureVolume->Click(0);  // total known: the General page, the field focused
  EXPECT_EQ(form.PageControl->currentWidget(), form.General);
  EXPECT_TRUE(form.TotalVolume->isEnabled());
  EXPECT_FALSE(solvent->isEnabled());
  EXPECT_FALSE(solvent->Units->isEnabled());
  EXPECT_FALSE(solvent->Note->isHidden());
  // The amount was emptied; the visible field shows "0" for it.
  EXPECT_EQ(solvent->Amount->text(), "0");
}

TEST_F(Editor, MonomerFieldsFollowUnitAndVolumeMode) {
  Params::TParamSettingForm& form = Form();
  Params::TCompoundInterface* a = form.Compounds[ciMonomerA];
  form.MixtureVolume->Click(1);
  form.PageControl->setCurrentWidget(form.Components);
  a->Units->Click(1);  // weight: density needed for the volume
  EXPECT_FALSE(a->Density->isHidden());
  EXPECT_TRUE(a->Volume->isHidden());
  EXPECT_EQ(a->Amount->Label()->text(), "Weight (g)");
  a->Units->Click(2);  // moles in the sum mode: the volume is typed
  EXPECT_TRUE(a->Density->isHidden());
  EXPECT_FALSE(a->Volume->isHidden());
  EXPECT_EQ(a->Amount->Label()->text(), "Moles");

  form.MixtureVolume->Click(0);  // total known: no component volume wanted
  EXPECT_TRUE(a->Volume->isHidden());

  // The initiator shows its attached group; the activator has no length.
  form.PageControl->setCurrentWidget(form.Components);
  EXPECT_FALSE(form.Compounds[ciInitiator]->AttachedGroup->isHidden());
  form.Compounds[ciActivator]->Units->Click(3);
  EXPECT_TRUE(form.Compounds[ciActivator]->Length->isHidden());
  EXPECT_FALSE(form.Compounds[ciActivator]->Oxidized->isHidden());
}

TEST_F(Editor, LeavingAFormulaFieldComputesItsMolarMassOrReportsIt) {
  Params::TParamSettingForm& form = Form();
  Params::TCompoundInterface* a = form.Compounds[ciMonomerA];
  form.PageControl->setCurrentWidget(form.Components);
  Type(a->Formula, "C6H10O2");
  a->CheckFormula(a->Formula);
  // 6 x 12.0107 + 10 x 1.00794 + 2 x 15.9994 = 114.1424 (the library's table gives 114.1426).
  EXPECT_NEAR(a->MolarMass(), 114.14, 0.01);
  EXPECT_TRUE(FDialogs.Errors.empty());

  Type(a->Formula, "C6H10Q2");
  a->Length->setFocus(Qt::TabFocusReason);  // leaving the field checks it
  EXPECT_EQ(a->MolarMass(), 0.0);
  EXPECT_TRUE(FDialogs.HasError("Invalid Formula for \"MonomerA Formula\""));

  Params::TCompoundInterface* initiator = form.Compounds[ciInitiator];
  initiator->Units->Click(2);
  initiator->AttachedGroup->clear();
  initiator->CheckFormula(initiator->AttachedGroup);
  EXPECT_TRUE(FDialogs.HasError("Invalid Formula for \"Initiator Attached Group\""));
}

// ---------------------------------------------------------------------------
// Validation messages

TEST_F(Editor, InitiatorNumberMustBeAPositiveInteger) {
  Params::TParamSettingForm& form = OpenedOnExample();
  ASSERT_EQ(form.ProcessType(), 0);
  ASSERT_TRUE(form.ValidateButtonClick());
  EXPECT_EQ(FDialogs.Informations.back(), "All Parameters are Valid!");

  for (const char* bad : {"0", "-5"}) {
    FDialogs.Clear();
    form.InitiatorNumber->SetTextQuiet(bad);
    EXPECT_FALSE(form.ValidateButtonClick()) << bad;
    EXPECT_TRUE(FDialogs.HasError("EMathError\r\nRequired an Integer Value>0")) << bad;
  }
  FDialogs.Clear();
  Enter(form.InitiatorNumber, "12.5");
  EXPECT_FALSE(form.ValidateButtonClick());
  EXPECT_TRUE(FDialogs.HasError("EConvertError\r\n'12.5' is not a valid integer value"));
  // A later failure disables them again: nothing valid is left to save.
  EXPECT_FALSE(form.SaveAsButton->isEnabled());
  EXPECT_FALSE(form.AcceptButton->isEnabled());
}

TEST_F(Editor, BadFormulaEndsTheValidationWithoutSuccess) {
  Params::TParamSettingForm& form = OpenedOnExample();
  form.Compounds[ciMonomerA]->Formula->setText("Xx9");
  EXPECT_FALSE(form.ValidateButtonClick());
  EXPECT_TRUE(FDialogs.HasError("Invalid Formula for \"MonomerA Formula\""));
  EXPECT_TRUE(FDialogs.Informations.empty());
  EXPECT_FALSE(form.SaveAsButton->isEnabled());
}

// ---------------------------------------------------------------------------
// Checking points

TEST_F(Editor, GeneratorFillsTheListLinearlyAndLogarithmically) {
  Params::TParamSettingForm& form = Form();
  form.PageControl->setCurrentWidget(form.Controls);
  EXPECT_EQ(form.CheckingPointsNumber->value(), 50);
  EXPECT_EQ(form.CheckingPointsMethod->ItemIndex(), 1);
  form.CheckingPointsNumber->setValue(5);
  Enter(form.FinalValue, "100");
  form.CheckingPointsGeneration->click();
  EXPECT_EQ(Lines(), (std::vector<std::string>{"0.0000", "25.0000", "50.0000", "75.0000", "100.0000"}));

  form.CheckingPointsNumber->setValue(4);
  Enter(form.StartingValue, "1");
  form.CheckingPointsDistr->Click(Params::cdLogarithmic);
  ASSERT_EQ(form.CheckingPointsDistr->ItemIndex(), Params::cdLogarithmic);
  form.CheckingPointsGeneration->click();
  EXPECT_EQ(Lines(), (std::vector<std::string>{"0.0000", "1.0000", "10.0000", "100.0000"}));
  EXPECT_TRUE(FDialogs.Errors.empty());
}

TEST_F(Editor, UndefinedGenerationsEndWithAMathErrorAndAListStillShown) {
  Params::TParamSettingForm& form = Form();
  form.PageControl->setCurrentWidget(form.Controls);
  form.CheckingPointsList->setPlainText("0\n5");
  Enter(form.FinalValue, "100");
  form.CheckingPointsNumber->setValue(1);
  form.CheckingPointsGeneration->click();
  EXPECT_TRUE(FDialogs.HasError("EMathError\r\nLinear Time Scale Requires at least 2 Checking Points"));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"0", "5"}));
  EXPECT_TRUE(form.CheckingPointsList->updatesEnabled());

  Enter(form.StartingValue, "1");
  form.CheckingPointsDistr->Click(Params::cdLogarithmic);
  form.CheckingPointsNumber->setValue(2);
  form.CheckingPointsGeneration->click();
  EXPECT_TRUE(FDialogs.HasError("EMathError\r\nLogarithmic Time Scale Requires at least 3 Checking Points"));
  // Starting value 0 set after the scale was chosen.
  form.CheckingPointsNumber->setValue(10);
  form.StartingValue->SetTextQuiet("0");
  form.CheckingPointsGeneration->click();
  EXPECT_TRUE(FDialogs.HasError("EMathError\r\nLogarithic distribution requires value > 0!"));
  Enter(form.FinalValue, "-1");
  FDialogs.Clear();
  form.CheckingPointsGeneration->click();
  EXPECT_TRUE(FDialogs.HasError("EMathError\r\nNonNegative Value Required"));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"0", "5"}));
}

TEST_F(Editor, ListRulesWhileTyping) {
  Params::TParamSettingForm& form = Form();
  form.PageControl->setCurrentWidget(form.Controls);
  QPlainTextEdit* list = form.CheckingPointsList;
  list->setFocus(Qt::TabFocusReason);
  QTest::keyClicks(list, "0");
  QTest::keyClick(list, Qt::Key_Return);
  QTest::keyClicks(list, "10");
  QTest::keyClick(list, Qt::Key_Return);
  QTest::keyClicks(list, "20");
  EXPECT_EQ(form.CheckingPointsNumber->value(), 3);
  // The first positive time (a logarithmic spread cannot start at 0).
  EXPECT_EQ(form.StartingValue->text(), "10");
  EXPECT_EQ(form.FinalValue->text(), "20");
  // Enter at the end: no empty line counts.
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(form.CheckingPointsNumber->value(), 3);
  EXPECT_EQ(form.Values().CheckingPoints, (std::vector<std::string>{"0", "10", "20"}));
  QTest::keyClick(list, Qt::Key_Backspace);

  // A negative value on the caret line is reported; the text stays.
  QTest::keyClick(list, Qt::Key_Return);
  QTest::keyClicks(list, "-4");
  EXPECT_TRUE(FDialogs.HasError("EMathError\r\nNonNegative Value Required"));
  EXPECT_EQ(Lines().back(), "-4");

  // A middle line emptied goes at once.
  FDialogs.Clear();
  list->setPlainText("0\n10\n20");
  QTextCursor cursor(list->document()->findBlockByNumber(1));
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  list->setTextCursor(cursor);
  QTest::keyClick(list, Qt::Key_Delete);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"0", "20"}));
  EXPECT_EQ(form.CheckingPointsNumber->value(), 2);

  // A zero first line can be edited and kept.
  cursor = QTextCursor(list->document()->firstBlock());
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  list->setTextCursor(cursor);
  QTest::keyClicks(list, "0");
  EXPECT_EQ(Lines().front(), "0");
  EXPECT_TRUE(FDialogs.Errors.empty());
}

TEST_F(Editor, ListKeepsAtMostOneHundredLinesAndChecksTheOrderWhenLeft) {
  Params::TParamSettingForm& form = Form();
  form.PageControl->setCurrentWidget(form.Controls);
  QStringList hundred;
  for (int i = 0; i < 100; ++i)
    hundred << QString::number(i);
  QPlainTextEdit* list = form.CheckingPointsList;
  list->setPlainText(hundred.join('\n'));
  EXPECT_EQ(form.CheckingPointsNumber->value(), 100);
  list->moveCursor(QTextCursor::End);
  QTest::keyClick(list, Qt::Key_Return);
  QTest::keyClicks(list, "5");  // the 101st line
  EXPECT_TRUE(FDialogs.HasError("Number of Check Points Exceeds 100"));
  EXPECT_EQ(Lines().size(), 100u);
  EXPECT_EQ(Lines().back(), "99");

  FDialogs.Clear();
  list->setPlainText("0\n10\n5\n20");
  form.CheckingPointsListExit();
  EXPECT_EQ(FDialogs.Errors, (std::vector<std::string>{"Exception\r\nValue in Line 2 must be Lower than the Next Ones"}));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"0", "10", "5", "20"}));
  FDialogs.Clear();
  list->setPlainText("0\n10\n10\n20");
  form.CheckingPointsListExit();
  EXPECT_TRUE(FDialogs.Errors.empty());
}

TEST_F(Editor, MethodByConversionAndLogarithmicScaleGuards) {
  Params::TParamSettingForm& form = Form();
  form.PageControl->setCurrentWidget(form.Controls);
  form.CheckingPointsMethod->Click(0);
  EXPECT_EQ(FDialogs.Informations, (std::vector<std::string>{"Not Implemented Yet!"}));
  EXPECT_EQ(form.CheckingPointsMethod->ItemIndex(), 1);

  // Entering the group with a starting value of 0, even to pick linear.
  form.CheckingPointsDistrEnter();
  EXPECT_TRUE(FDialogs.HasError("Logarithic distribution requires value > 0!"));
  EXPECT_EQ(form.CheckingPointsDistr->ItemIndex(), Params::cdLinear);
  form.CheckingPointsDistr->Click(Params::cdLogarithmic);
  EXPECT_EQ(form.CheckingPointsDistr->ItemIndex(), Params::cdLinear);
}

// ---------------------------------------------------------------------------
// Layout by process type

TEST_F(Editor, ProcessTypeSetsWidthPanelsAndTransferColumns) {
  Params::TParamSettingForm& form = Form();
  EXPECT_EQ(form.windowTitle(), "Parameters Setting");
  EXPECT_EQ(form.ProcessTypeGroup->ItemIndex(), -1);
  EXPECT_EQ(form.MixtureVolume->ItemIndex(), -1);
  EXPECT_EQ(form.InitiatorNumber->text(), "");
  EXPECT_FALSE(form.SaveAsButton->isEnabled());
  EXPECT_FALSE(form.AcceptButton->isEnabled());
  EXPECT_EQ(form.PageControl->tabText(3), "C&hecking Points"); // P is Accept & Exit's
  EXPECT_TRUE(form.Compounds[ciActivator]->isHidden());

  form.ProcessTypeGroup->Click(2);  // ATRP: five panels
  // Five panel widths, or what the laid-out pages need at the least.
  const int step = Params::TParamSettingForm::PanelStep;
  EXPECT_EQ(form.width(), std::max(5 * step + 15, form.minimumSizeHint().width()));
  form.PageControl->setCurrentWidget(form.Reactivities);
  EXPECT_FALSE(form.RadicalEquilibrium->isHidden());
  EXPECT_FALSE(form.Termination->isHidden());
  EXPECT_TRUE(form.Depropagation->isHidden());
  EXPECT_TRUE(form.PropagationFields[6]->isHidden());  // I*Ac
  form.PageControl->setCurrentWidget(form.Components);
  EXPECT_FALSE(form.Compounds[ciActivator]->isHidden());

  form.ProcessTypeGroup->Click(0);  // living: four panels, chain transfer
  EXPECT_EQ(form.width(), std::max(4 * step + 15, form.minimumSizeHint().width()));
  EXPECT_TRUE(form.RadicalEquilibrium->isHidden());
  EXPECT_TRUE(form.Termination->isHidden());
  EXPECT_FALSE(form.PropagationFields[6]->isHidden());
  EXPECT_FALSE(form.PropagationHeadings[3]->isHidden());
  EXPECT_TRUE(form.Compounds[ciActivator]->isHidden());

  form.ProcessTypeGroup->Click(1);  // free radical: efficiency and decomposition
  EXPECT_FALSE(form.InitDecomposit->isHidden());
  EXPECT_FALSE(form.InitiationEfficiency->isHidden());
  EXPECT_FALSE(form.Termination->isHidden());
  form.ProcessTypeGroup->Click(3);
  EXPECT_FALSE(form.Depropagation->isHidden());
  EXPECT_TRUE(form.InitDecomposit->isHidden());
}

TEST_F(Editor, TabOrderFollowsThePagesReadingOrder) {
  Params::TParamSettingForm& form = Form();
  form.ProcessTypeGroup->Click(1);
  form.MixtureVolume->Click(0);
  // The next field that takes the keyboard focus after `from`.
  const auto next = [](QWidget* from) {
    QWidget* w = from->nextInFocusChain();
    while (w != from && !(w->focusPolicy() & Qt::TabFocus && w->isVisibleTo(from->window()) && w->isEnabled()))
      w = w->nextInFocusChain();
    return w;
  };
  EXPECT_EQ(next(form.TotalVolume), form.InitiatorNumber);
  form.PageControl->setCurrentWidget(form.Reactivities);
  // Row by row through the propagation grid: I*A, I*B, then A*A.
  EXPECT_EQ(next(form.PropagationFields[0]), form.PropagationFields[3]);
  EXPECT_EQ(next(form.PropagationFields[3]), form.PropagationFields[1]);
  form.PageControl->setCurrentWidget(form.Controls);
  EXPECT_EQ(next(form.StartingValue), form.FinalValue);
  EXPECT_EQ(next(form.FinalValue), form.CheckingPointsGeneration);
}

// ---------------------------------------------------------------------------
// Open, save, accept

TEST_F(Editor, OpenShowsTheFileAndRefusesAnInvalidOne) {
  Params::TParamSettingForm& form = OpenedOnExample();
  EXPECT_EQ(form.windowTitle(), "Parameters Setting [current.kpx]");
  EXPECT_EQ(form.ProcessTypeGroup->ItemIndex(), 0);
  EXPECT_EQ(form.InitiatorNumber->text(), "1000");
  EXPECT_EQ(form.Compounds[ciMonomerA]->Formula->text(), "C6H10O2");
  EXPECT_EQ(form.StartingValue->text(), "10.0000"); // the first positive time
  EXPECT_EQ(form.FinalValue->text(), "21600.0000");
  EXPECT_EQ(form.CheckingPointsNumber->value(), 41);

  // A hand-written file has no validity marker: refused, fields kept.
  const QString broken = TestData + "/prepare-broken-no-process-type.kpx";
  FDialogs.OpenAnswer = broken;
  form.OpenButton->click();
  EXPECT_EQ(FDialogs.LastFilter, "Propagon Parameters (*.kpx)");
  EXPECT_EQ(form.windowTitle(), "Parameters Setting [prepare-broken-no-process-type.kpx]");
  ASSERT_FALSE(FDialogs.Informations.empty());
  EXPECT_NE(FDialogs.Informations.back().find("is not a Valid Parameters File!"), std::string::npos);
  EXPECT_EQ(form.InitiatorNumber->text(), "1000");
}

TEST_F(Editor, EmptyCheckingPointsSectionLeavesStartAndFinalAtZero) {
  const QString file = TempFile("no-points.kpx");
  QFile::copy(LivingExample, file);
  {
    Params::TParameterFile ini(file.toStdString());
    ini.EraseSection(Params::CheckingPointsSection);
    ini.UpdateFile();
  }
  Params::TParamSettingForm& form = Form(file);
  EXPECT_EQ(form.StartingValue->text(), "0");
  EXPECT_EQ(form.FinalValue->text(), "0");
  EXPECT_TRUE(form.Values().CheckingPoints.empty());
}

TEST_F(Editor, SavingOrAcceptingWithoutProcessTypeOrCurrentFileWritesNothing) {
  Params::TParamSettingForm& form = Form();
  const QString target = TempFile("nothing.kpx");
  EXPECT_FALSE(form.SaveParameterFile(target));
  EXPECT_TRUE(FDialogs.HasError("No Process Type Selected!\r\nNothing was Saved."));
  EXPECT_FALSE(QFile::exists(target));

  FDialogs.Clear();
  form.ProcessTypeGroup->Click(0);
  form.ButtonAcceptClick();  // no current file
  ASSERT_EQ(FDialogs.Errors.size(), 1u);
  EXPECT_EQ(FDialogs.Errors[0].rfind("No Current Parameter File!", 0), 0u);
  EXPECT_TRUE(form.AcceptedFileName().isEmpty());
  EXPECT_TRUE(form.isVisible());
}

TEST_F(Editor, SaveAsThenAcceptWritesBothFiles) {
  Params::TParamSettingForm& form = OpenedOnExample();
  Enter(form.InitiatorNumber, "2000");
  ASSERT_TRUE(form.ValidateButtonClick());
  const QString other = TempFile("other.kpx");
  FDialogs.SaveAnswer = other;
  form.SaveAsButton->click();
  EXPECT_EQ(form.CurrentFile(), TempFile("current.kpx"));  // Save As keeps the current file
  form.AcceptButton->click();
  EXPECT_EQ(form.AcceptedFileName(), TempFile("current.kpx"));
  EXPECT_FALSE(form.isVisible());
  const std::string current = ReadAll(TempFile("current.kpx"));
  EXPECT_EQ(ReadAll(other), current);
  EXPECT_NE(current.find("InitiatorNumber=2000"), std::string::npos);
  EXPECT_NE(current.find("FileValid=1"), std::string::npos);
}

TEST_F(Editor, AFailedLaterValidationSavesNothingAndAnInvalidFileIsRefusedWhenOpened) {
  Params::TParamSettingForm& form = OpenedOnExample();
  ASSERT_TRUE(form.ValidateButtonClick());
  form.Compounds[ciMonomerA]->Formula->setText("Xx9");
  EXPECT_FALSE(form.ValidateButtonClick());
  EXPECT_FALSE(form.SaveAsButton->isEnabled());  // the failure leaves nothing to save
  const QString refused = TempFile("refused.kpx");
  EXPECT_FALSE(form.SaveParameterFile(refused));
  EXPECT_FALSE(QFile::exists(refused));

  // A file marked invalid (as a save after a failed memory check once wrote
  // it) is refused when opened.
  const QString invalid = TempFile("invalid.kpx");
  QFile::copy(LivingExample, invalid);
  Params::TParameterFile(invalid.toStdString()).SetFileValid(false);
  FDialogs.Clear();
  FDialogs.OpenAnswer = invalid;
  form.OpenButtonClick();
  ASSERT_EQ(FDialogs.Informations.size(), 1u);
  EXPECT_NE(FDialogs.Informations[0].find("is not a Valid Parameters File!"), std::string::npos);
}

TEST_F(Editor, ARefusedWriteIsReportedAndNothingIsHandedOver) {
  Params::TParamSettingForm& form = OpenedOnExample();
  ASSERT_TRUE(form.ValidateButtonClick());
  const QString unwritable = TempFile("no-such-folder/out.kpx");
  EXPECT_FALSE(form.SaveParameterFile(unwritable));
  ASSERT_FALSE(FDialogs.Errors.empty());
  EXPECT_NE(FDialogs.Errors.back().find("Unable to write to"), std::string::npos) << FDialogs.Errors.back();
  EXPECT_FALSE(QFile::exists(unwritable));

  // Accept into a current file that cannot be written keeps the editor open.
  form.SetCurrentFile(unwritable);
  form.ButtonAcceptClick();
  EXPECT_TRUE(form.AcceptedFileName().isEmpty());
  EXPECT_TRUE(form.isVisible());
}

// ---------------------------------------------------------------------------
// The main window

class EditorInMainWindow : public ShellTest::TMainFormFixture {};

TEST_F(EditorInMainWindow, AcceptLoadsTheFileIntoTheMainWindow) {
  Propagon::TSeparatorGuard dot('.');
  // The real library beside the program, for the editor's molar masses.
  const QString library = QStringLiteral(PROPAGON_MALDI_LIBRARY);
  ASSERT_TRUE(QFile::copy(library, FExeDir + "libMaldi.so"));
  ASSERT_TRUE(QFile::copy(QFileInfo(library).absolutePath() + "/ISOTOPE.DAT", FExeDir + "ISOTOPE.DAT"));
  const QString file = FExeDir + "accepted.kpx";
  ASSERT_TRUE(QFile::copy(LivingExample, file));
  Shell::TMainForm& main = Form();
  ASSERT_TRUE(main.MaldiBinding().MolMassAvailable());
  TScriptedEditorDialogs dialogs;
  QString seenCurrent;
  main.SetParameterEditor([&](Shell::TMainForm& owner) {
    Params::TParamSettingForm editor(Params::MainWindowEditorContext(owner, dialogs), &owner);
    editor.show();
    dialogs.OpenAnswer = file;
    editor.OpenButtonClick();
    seenCurrent = editor.CurrentFile();
    editor.InitiatorNumber->SetTextQuiet("3000");
    editor.ValidateButtonClick();
    editor.ButtonAcceptClick();
    return editor.AcceptedFileName();
  });
  main.aParamSettingsExecute();
  EXPECT_EQ(seenCurrent, file);
  EXPECT_TRUE(dialogs.Errors.empty()) << dialogs.Errors.front();
  EXPECT_EQ(QFileInfo(main.ParameterFileName()).canonicalFilePath(), QFileInfo(file).canonicalFilePath());
  ASSERT_NE(main.RunParameterFile(), nullptr);
  EXPECT_EQ(main.RunParameterFile()->ReadString("General", "InitiatorNumber", ""), "3000");
  EXPECT_TRUE(main.aPerformSimulation->isEnabled());
  // The window's place is kept under one section, restored at the next opening.
  EXPECT_NE(Ini(Params::ParamSettingPlacementSection, "Width"), "<absent>");

  // The next opening starts with the main window's file; Exit hands nothing over.
  main.SetParameterEditor([&](Shell::TMainForm& owner) {
    Params::TParamSettingForm editor(Params::MainWindowEditorContext(owner, dialogs), &owner);
    editor.show();
    seenCurrent = editor.windowTitle();
    editor.ExitButton->click();
    return editor.AcceptedFileName();
  });
  main.aParamSettingsExecute();
  EXPECT_EQ(seenCurrent, "Parameters Setting [accepted.kpx]");
}

} // namespace
