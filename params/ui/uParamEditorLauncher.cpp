#include "params/ui/uParamEditorLauncher.h"

#include "params/ui/uEditorDialogs.h"
#include "params/ui/uParamSettingForm.h"
#include "shell/uMainForm.h"
#include "shell/uMaldiBinding.h"
#include "shell/uMyIniFile.h"

namespace Params {

TParamSettingContext MainWindowEditorContext(Shell::TMainForm& mainForm, TEditorDialogs& dialogs) {
  TParamSettingContext context;
  context.Dialogs = &dialogs;
  // A library without "CalcMolMass" is an empty lookup: every formula check
  // then logs the missing function.
  if (mainForm.MaldiBinding().MolMassAvailable())
    context.Lookup = mainForm.MaldiBinding().MolMassLookup();
  context.CurrentFile = mainForm.ParameterFileName();
  Shell::TMyIniFile* settings = &mainForm.Settings();
  context.RestorePlacement = [settings](QWidget* form) {
    // The first opening keeps the size the pages need, not the settings' defaults.
    if (settings->ValueExists(ParamSettingPlacementSection, "Width"))
      settings->RestoreFormPlacement(form, ParamSettingPlacementSection);
  };
  context.SavePlacement = [settings](const QWidget* form) {
    settings->SaveFormPlacement(form, ParamSettingPlacementSection);
  };
  return context;
}

QString ExecParameterEditor(Shell::TMainForm& mainForm) {
  TQtEditorDialogs dialogs;
  TParamSettingForm form(MainWindowEditorContext(mainForm, dialogs), &mainForm);
  form.exec();
  return form.AcceptedFileName();
}

} // namespace Params
