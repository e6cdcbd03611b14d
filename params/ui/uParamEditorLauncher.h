#pragma once
// The main window's "Para&meter Settings": the parameter editor shown
// modally on the main window's current file, with the library's molar masses
// and the window placement of the settings file. Returns the file accepted
// with "Acce&pt && Exit" (empty otherwise); the main window then clears its
// run and opens that file. Install with
// mainForm.SetParameterEditor(&Params::ExecParameterEditor).

#include <QString>

namespace Shell {
class TMainForm;
}

namespace Params {

class TEditorDialogs;
struct TParamSettingContext;

QString ExecParameterEditor(Shell::TMainForm& mainForm);

// What the editor gets from the main window: its current file, the
// library's molar masses (none when the library lacks "CalcMolMass") and the
// placement in the settings file; `dialogs` answers the editor's questions.
TParamSettingContext MainWindowEditorContext(Shell::TMainForm& mainForm, TEditorDialogs& dialogs);

// The settings section of the editor window's position and size, used both
// to restore it at opening and to store it at closing.
inline constexpr const char* ParamSettingPlacementSection = "ParamSettingForm";

} // namespace Params
