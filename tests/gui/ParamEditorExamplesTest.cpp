// Every example parameter file built from scratch in the editor, as a user
// types it, validated and saved: the editor's file must be byte for byte the
// file that `polykin-cli prepare` writes from the example into a new file (the
// same texts through the same save), and an example that is already in the
// editor's own form must come back unchanged.

#include "ParamEditorTestSupport.h"

#include "params/uParamFile.h"
#include "params/uPrepareFile.h"

#include <QDir>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

namespace {

using namespace EditorTest;
using Params::TEditPositiveNumber;

class EditorExamples : public TEditorFixture {
protected:
  // Makes a field hold `want`: typed when the user can reach it, otherwise
  // (hidden by the rules or disabled) given as the file gives it.
  void Fill(TEditPositiveNumber* field, const std::string& want) {
    const QString text = QString::fromStdString(want);
    if (field->text() == text)
      return;
    if (field->Shown() && field->isEnabled() && !text.isEmpty()) {
      const std::size_t before = FDialogs.Errors.size();
      Enter(field, text);
      // Typing "2E8" passes through "2E", which the field reports as it is
      // typed; only those intermediate texts may have been reported.
      for (std::size_t i = before; i < FDialogs.Errors.size(); ++i) {
        const std::string& error = FDialogs.Errors[i];
        const std::string head = "EConvertError\r\n" + field->objectName().toStdString() + "\r\n'";
        ASSERT_EQ(error.rfind(head, 0), 0u) << error;
        const std::string typed = error.substr(head.size(), error.find('\'', head.size()) - head.size());
        EXPECT_EQ(want.rfind(typed, 0), 0u) << error;
        EXPECT_LT(typed.size(), want.size()) << error;
      }
      FDialogs.Errors.resize(before);
    } else {
      field->SetTextQuiet(text);
    }
  }
  static void FillFormula(Params::TCompoundInterface* panel, QLineEdit* field, const std::string& want) {
    const QString text = QString::fromStdString(want);
    if (field->text() == text)
      return;
    if (field->isVisibleTo(panel) && !text.isEmpty())
      Type(field, text);
    else
      field->setText(text);
    if (!text.isEmpty())
      panel->CheckFormula(field);  // leaving the field
  }

  void FillComponents(const Params::TProcessValues& script) {
    Params::TParamSettingForm& form = Form();
    form.PageControl->setCurrentWidget(form.Components);
    for (std::size_t i = 0; i < 5; ++i) {
      Params::TCompoundInterface* panel = form.Compounds[i];
      const Params::TComponentValues& want = script.Components[i];
      if (panel->Units->ItemIndex() != want.Units && want.Units >= 0) {
        ASSERT_TRUE(panel->Units->isEnabled()) << panel->objectName().toStdString();
        panel->Units->Click(want.Units);
      }
      if (want.Units < 0)
        panel->Units->SetItemIndex(-1);
      FillFormula(panel, panel->Formula, want.Formula);
      FillFormula(panel, panel->AttachedGroup, want.AttachedGroup);
      Fill(panel->Length, want.Length);
      Fill(panel->Amount, want.Amount);
      Fill(panel->Density, want.Density);
      Fill(panel->Volume, want.Volume);
      Fill(panel->Oxidized, want.Oxidized);
    }
  }

  void BuildFromScratch(const Params::TProcessValues& script) {
    Params::TParamSettingForm& form = Form();
    form.PageControl->setCurrentWidget(form.General);
    form.ProcessTypeGroup->Click(script.ProcessType);
    // The solvent is edited in the sum-of-components mode only.
    form.MixtureVolume->Click(1);
    FillComponents(script);
    form.PageControl->setCurrentWidget(form.General);
    if (script.MixtureVolume != 1)
      form.MixtureVolume->Click(script.MixtureVolume);
    Fill(form.TotalVolume, script.TotalVolume);
    Fill(form.InitiatorNumber, script.InitiatorNumber);
    // The change of the volume mode ran the panels' rules again.
    FillComponents(script);

    form.PageControl->setCurrentWidget(form.Reactivities);
    for (std::size_t k = 0; k < 12; ++k)
      Fill(form.PropagationFields[k], script.Propagation[k]);
    for (std::size_t k = 0; k < 6; ++k) {
      Fill(form.TerminationFields[k], script.Termination[k]);
      Fill(form.ActivationFields[k], script.Activation[k]);
      Fill(form.DepropagationFields[k], script.Depropagation[k]);
    }
    Fill(form.InitDecomposit, script.InitDecomposit);
    Fill(form.InitiationEfficiency, script.InitiationEfficiency);

    form.PageControl->setCurrentWidget(form.Controls);
    if (script.CheckingPointsMethod >= 0)
      form.CheckingPointsMethod->Click(script.CheckingPointsMethod);
    if (script.CheckingPointsDistr == Params::cdLogarithmic)
      Enter(form.StartingValue, "1");  // the logarithmic scale wants a start above 0
    form.CheckingPointsDistr->Click(script.CheckingPointsDistr);
    QPlainTextEdit* list = form.CheckingPointsList;
    list->setFocus(Qt::TabFocusReason);
    for (std::size_t i = 0; i < script.CheckingPoints.size(); ++i) {
      if (i > 0)
        QTest::keyClick(list, Qt::Key_Return);
      QTest::keyClicks(list, QString::fromStdString(script.CheckingPoints[i]));
    }
    form.CheckingPointsListExit();
    form.CheckingPointsNumber->setValue(script.CheckingPointsNumber);
  }
};

TEST_F(EditorExamples, EachExampleTypedValidatedAndSavedGivesThePreparedFile) {
  ASSERT_TRUE(Library().MolMassAvailable());
  const QStringList examples = QDir(Examples).entryList({"*.kpx"}, QDir::Files, QDir::Name);
  ASSERT_GE(examples.size(), 2);
  for (const QString& name : examples) {
    SCOPED_TRACE(name.toStdString());
    const QString example = Examples + "/" + name;
    // What the user types: the texts of the example.
    Params::TProcessValues script;
    FDialogs.Clear();
    Params::LoadParameterValues(Params::TParameterFile(example.toStdString()), script,
                                Library().MolMassLookup(), FDialogs);
    ASSERT_TRUE(FDialogs.Errors.empty()) << FDialogs.Errors.front();
    // What the same texts give through the command line's prepare.
    const QString expected = TempFile("expected-" + name);
    const Params::TPrepareResult prepared = Params::PrepareParameterFile(
        example.toStdString(), expected.toStdString(), Library().MolMassLookup(), FDialogs);
    ASSERT_EQ(prepared.ExitCode, 0) << prepared.Message;

    FForm.reset();
    FDialogs.Clear();
    Params::TParamSettingForm& form = Form();
    BuildFromScratch(script);
    EXPECT_TRUE(FDialogs.Errors.empty()) << FDialogs.Errors.front();

    ASSERT_TRUE(form.ValidateButtonClick()) << (FDialogs.Errors.empty() ? "" : FDialogs.Errors.back());
    EXPECT_TRUE(form.SaveAsButton->isEnabled());
    EXPECT_TRUE(form.AcceptButton->isEnabled());
    const QString saved = TempFile("saved-" + name);
    FDialogs.SaveAnswer = saved;
    form.SaveAsButton->click();
    EXPECT_EQ(FDialogs.LastFilter, "Propagon Parameters (*.kpx)");
    EXPECT_EQ(ReadAll(saved), ReadAll(expected));
    // An example in the editor's own form (validity section first) is
    // exactly what the editor saves.
    const std::string original = ReadAll(example);
    if (original.rfind("[Propago", 0) == 0) {
      EXPECT_EQ(ReadAll(saved), original);
    }
  }
}

} // namespace
