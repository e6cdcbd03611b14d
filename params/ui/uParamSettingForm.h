#pragma once
// The parameter editor window: four pages (General, Components,
// Reactivities, Checking Points) over a bar with Open, Validate, Save As,
// Accept & Exit and Exit.
//
// The window holds texts and selections only. It copies them into
// Params::TProcessValues (Values) and back (SetValues), and everything it
// computes, checks or writes goes through the plain-value functions of
// params/: GetVolume, ValidateParameters, SaveParameterFile,
// LoadParameterValues, GenerateCheckingPoints. So the file it saves is the
// file `polykin-cli prepare` writes from the same texts.

#include "params/uParamSetting.h"
#include "params/ui/uChemCompound.h"

#include <QDialog>
#include <QString>

#include <array>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QGroupBox;

namespace Params {

class TEditorDialogs;

struct TParamSettingContext {
  // Message boxes and file dialogs (owned by the caller).
  TEditorDialogs* Dialogs = nullptr;
  // "CalcMolMass" of the loaded library; empty when it lacks the function.
  TMolMassLookup Lookup;
  // The main window's current parameter file (empty: none); opened at show.
  QString CurrentFile;
  // Window placement: restored at show, stored at close (either may be empty).
  std::function<void(QWidget*)> RestorePlacement;
  std::function<void(const QWidget*)> SavePlacement;
};

// The outcome of validations, kept from one opening of the editor to the
// next as long as the program runs; saves write "FileValid" from it.
TValidationState& EditorValidationState();

class TParamSettingForm : public QDialog {
  Q_OBJECT
public:
  explicit TParamSettingForm(const TParamSettingContext& context, QWidget* parent = nullptr);
  ~TParamSettingForm() override;

  // ---- operations (the buttons and the window's events) ----
  void FormShow();
  void ProcessTypeClick();
  void MixtureVolumeClick();
  void PageControlChange();
  void ComponentsShow();
  // "&Open...": asks for a file, makes it the current file and opens it.
  void OpenButtonClick();
  // Loads a file into the pages (the current file is not changed).
  void ParamFileOpenAccept(const QString& fileName);
  // "Validate...": true when all parameters are valid.
  bool ValidateButtonClick();
  // "Save &As...": asks for a name and saves there.
  void SaveAsButtonClick();
  void ParamFileSaveAsAccept(const QString& fileName);
  // "Acce&pt && Exit": saves into the current file and closes; the main
  // window then opens AcceptedFileName().
  void ButtonAcceptClick();
  // Writes the whole parameter file; false (with the message shown) when
  // nothing was written.
  bool SaveParameterFile(const QString& fileName);

  // ---- checking points ----
  void CheckingPointsGenerationClick();
  void CheckingPointsListChange();
  void CheckingPointsListExit();
  void CheckingPointsMethodClick();
  void CheckingPointsDistrEnter();

  // ---- state ----
  TProcessValues Values() const;
  void SetValues(const TProcessValues& values);
  int ProcessType() const { return FProcessType; }
  const QString& CurrentFile() const { return FCurrentFile; }
  void SetCurrentFile(const QString& fileName) { FCurrentFile = fileName; }
  // The file handed to the main window by "Acce&pt && Exit" (empty otherwise).
  const QString& AcceptedFileName() const { return FAcceptedFileName; }
  // Width of a component panel plus its gap, the unit of the window width.
  static constexpr int PanelStep = 125;

  // ---- widgets (tests drive them as a user does) ----
  QTabWidget* PageControl = nullptr;
  QWidget* General = nullptr;
  QWidget* Components = nullptr;
  QWidget* Reactivities = nullptr;
  QWidget* Controls = nullptr;
  TRadioGroup* ProcessTypeGroup = nullptr;
  TRadioGroup* MixtureVolume = nullptr;
  TEditPositiveNumber* TotalVolume = nullptr;
  TEditPositiveNumber* InitiatorNumber = nullptr;
  std::array<TCompoundInterface*, 5> Compounds{};
  QGroupBox* PropagationPanel = nullptr;
  QGroupBox* RadicalEquilibrium = nullptr;
  QGroupBox* Termination = nullptr;
  QGroupBox* Depropagation = nullptr;
  std::array<TEditPositiveNumber*, 12> PropagationFields{};
  std::array<TEditPositiveNumber*, 6> TerminationFields{};
  std::array<TEditPositiveNumber*, 6> ActivationFields{};
  std::array<TEditPositiveNumber*, 6> DepropagationFields{};
  std::array<QLabel*, 4> PropagationHeadings{};
  TEditPositiveNumber* InitiationEfficiency = nullptr;
  TEditPositiveNumber* InitDecomposit = nullptr;
  TRadioGroup* CheckingPointsMethod = nullptr;
  TRadioGroup* CheckingPointsDistr = nullptr;
  QSpinBox* CheckingPointsNumber = nullptr;
  TEditPositiveNumber* StartingValue = nullptr;
  TEditPositiveNumber* FinalValue = nullptr;
  QPushButton* CheckingPointsGeneration = nullptr;
  QPlainTextEdit* CheckingPointsList = nullptr;
  QPushButton* OpenButton = nullptr;
  QPushButton* ValidateButton = nullptr;
  QPushButton* SaveAsButton = nullptr;
  QPushButton* AcceptButton = nullptr;
  QPushButton* ExitButton = nullptr;

  void done(int result) override;

protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void FormCreate();
  QWidget* CreateGeneralPage();
  QWidget* CreateComponentsPage();
  QWidget* CreateReactivitiesPage();
  QWidget* CreateControlsPage();
  TEditPositiveNumber* RateField(const QString& name, QWidget* parent);
  void ApplyProcessLayout();
  void ShowComponentsPage();
  void ShowReactivitiesPage();
  void RefreshVolume();
  void ShowError(const std::string& text);
  std::vector<std::string> ListLines() const;
  void SetListLines(const std::vector<std::string>& lines);
  void SetStartFinalFromList();
  // Any edit or Open after a successful validation makes it stale: Save As
  // and Accept are disabled until the next successful validation, so a save
  // never writes the molecule numbers of other fields as valid.
  void WatchEdits();
  void EditMade();
  void SetValidated(bool validated);
  bool ValidationCurrent() const;

  TParamSettingContext FContext;
  TEditorServices FServices;
  int FProcessType = -1;
  QString FCurrentFile;
  QString FAcceptedFileName;
  bool FShown = false;
  bool FInListChange = false;
  bool FInDistrCheck = false;
  QLabel* FDecompositUnit = nullptr;
  bool FValidated = false;
  TProcessValues FValidatedValues;  // the fields as the last successful validation left them
};

} // namespace Params
