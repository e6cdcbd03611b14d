// The parameter editor never saves the numbers of one validation with the
// fields of another: any edit or Open after a successful validation disables
// Save As and Accept until the next one succeeds.

#include "params/uMemoryCheck.h"
#include "params/uParamFile.h"
#include "params/uPrepareFile.h"

#include "tests/gui/ParamEditorTestSupport.h"

#include <QFile>
#include <QPushButton>
#include <QTabWidget>

namespace {

using namespace EditorTest;

class EditorValidation : public TEditorFixture {
protected:
  EditorValidation() { Params::SetAvailableMemorySource([] { return std::int64_t(1) << 40; }); }
  ~EditorValidation() override { Params::SetAvailableMemorySource({}); }

  bool SaveEnabled() const { return FForm->SaveAsButton->isEnabled() && FForm->AcceptButton->isEnabled(); }
  bool SaveDisabled() const { return !FForm->SaveAsButton->isEnabled() && !FForm->AcceptButton->isEnabled(); }
  QString Copy(const QString& example) {
    const QString copy = TempFile(example);
    QFile::remove(copy);
    QFile::copy(Examples + "/" + example, copy);
    return copy;
  }
  static std::string Key(const QString& file, const char* section, const char* key) {
    return Params::TParameterFile(file.toStdString()).ReadString(section, key, "<absent>");
  }
};

TEST_F(EditorValidation, OpeningAnotherFileAfterValidatingDisablesTheSave) {
  // The report: atrp-styrene validated, then free-radical-styrene-mma opened
  // and saved: the file had atrp's 10^7 molecules of A and none of B.
  Params::TParamSettingForm& form = Form(Copy("atrp-styrene.kpx"));
  ASSERT_TRUE(form.ValidateButtonClick());
  ASSERT_TRUE(SaveEnabled());

  FDialogs.OpenAnswer = Copy("free-radical-styrene-mma.kpx");
  form.OpenButtonClick();
  EXPECT_TRUE(SaveDisabled());
  // Even a save called past the disabled buttons writes nothing.
  const QString stale = TempFile("stale.kpx");
  FDialogs.Clear();
  EXPECT_FALSE(form.SaveParameterFile(stale));
  EXPECT_TRUE(FDialogs.HasError(
      "The Parameters Changed after the Last Validation!\r\nValidate them again; Nothing was Saved."));
  EXPECT_FALSE(QFile::exists(stale));
  form.ButtonAcceptClick();
  EXPECT_TRUE(form.AcceptedFileName().isEmpty());

  // Validated again, the save carries the numbers of the file now open.
  ASSERT_TRUE(form.ValidateButtonClick());
  EXPECT_TRUE(SaveEnabled());
  const QString saved = TempFile("saved.kpx");
  FDialogs.SaveAnswer = saved;
  form.SaveAsButton->click();
  const QString expected = TempFile("expected.kpx");
  ASSERT_EQ(Params::PrepareParameterFile(Copy("free-radical-styrene-mma.kpx").toStdString(),
                                         expected.toStdString(), Library().MolMassLookup(), FDialogs)
                .ExitCode,
            0);
  for (const char* key : {"InitiatorNumber", "MonomerANumber", "MonomerBNumber", "RequiredMemory"})
    EXPECT_EQ(Key(saved, "SimulationParameters", key), Key(expected, "SimulationParameters", key)) << key;
  EXPECT_NE(Key(saved, "SimulationParameters", "MonomerBNumber"), "0");
}

TEST_F(EditorValidation, AnyEditDisablesTheSaveButRefreshesWithTheSameTextsDoNot) {
  Params::TParamSettingForm& form = Form(Copy("free-radical-styrene-mma.kpx"));
  ASSERT_TRUE(form.ValidateButtonClick());
  // Looking through the pages recomputes and redraws, but changes nothing.
  for (QWidget* page : {form.Components, form.Reactivities, form.Controls, form.General})
    form.PageControl->setCurrentWidget(page);
  EXPECT_TRUE(SaveEnabled());

  // A number typed into the General page.
  Enter(form.InitiatorNumber, "2000");
  EXPECT_TRUE(SaveDisabled());
  ASSERT_TRUE(form.ValidateButtonClick());
  EXPECT_TRUE(SaveEnabled());

  // A formula on the Components page, a rate, a check point, a radio button.
  form.PageControl->setCurrentWidget(form.Components);
  Type(form.Compounds[Params::ciMonomerB]->Formula, "C5H8O2C");
  EXPECT_TRUE(SaveDisabled());
  ASSERT_TRUE(form.ValidateButtonClick());
  form.PageControl->setCurrentWidget(form.Reactivities);
  Type(form.PropagationFields[1], "123");
  EXPECT_TRUE(SaveDisabled());
  ASSERT_TRUE(form.ValidateButtonClick());
  form.CheckingPointsList->appendPlainText("99999");
  EXPECT_TRUE(SaveDisabled());
  ASSERT_TRUE(form.ValidateButtonClick());
  form.MixtureVolume->Click(form.MixtureVolume->ItemIndex() == 0 ? 1 : 0);
  EXPECT_TRUE(SaveDisabled());

  // A validation that fails leaves the buttons disabled, and so does one
  // that fails after a success.
  FDialogs.OpenAnswer = form.CurrentFile();
  form.OpenButtonClick();
  ASSERT_TRUE(form.ValidateButtonClick());
  form.InitiatorNumber->SetTextQuiet("0");  // even without a change signal
  EXPECT_FALSE(form.ValidateButtonClick());
  EXPECT_TRUE(SaveDisabled());
}

} // namespace
