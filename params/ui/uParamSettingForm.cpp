#include "params/ui/uParamSettingForm.h"

#include "params/uCheckingPoints.h"
#include "params/uErrors.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"
#include "params/uValidation.h"
#include "params/ui/uEditorDialogs.h"

#include <QEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextBlock>
#include <QVBoxLayout>

#include <algorithm>

namespace Params {

namespace {

const char* const FormCaption = "Parameters Setting";
// Second-order rate constants, and the first-order ones.
const char* const SecondOrderUnit = "L/(mol\u00B7s)";
const char* const FirstOrderUnit = "1/s";

QLabel* UnitLabel(const char* unit, QWidget* parent) {
  auto* label = new QLabel(QString::fromUtf8(unit), parent);
  label->setStyleSheet("color: #555555");
  return label;
}

QLabel* Heading(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setAlignment(Qt::AlignCenter);
  return label;
}

bool UserFocusReason(const QEvent* event) {
  const auto reason = static_cast<const QFocusEvent*>(event)->reason();
  return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

} // namespace

TValidationState& EditorValidationState() {
  static TValidationState state;
  return state;
}

TParamSettingForm::TParamSettingForm(const TParamSettingContext& context, QWidget* parent)
    : QDialog(parent), FContext(context), FCurrentFile(context.CurrentFile) {
  FServices.Reporter = FContext.Dialogs;
  FServices.Lookup = FContext.Lookup;
  FServices.VolumesCalcMode = [this] { return MixtureVolume && MixtureVolume->ItemIndex() == 1; };
  setObjectName("ParamSettingForm");
  setWindowTitle(FormCaption);
  FormCreate();
}

TParamSettingForm::~TParamSettingForm() {
  if (FContext.Dialogs && FContext.Dialogs->ParentWidget() == this)
    FContext.Dialogs->SetParentWidget(nullptr);
}

void TParamSettingForm::ShowError(const std::string& text) { FContext.Dialogs->ShowError(text); }

TEditPositiveNumber* TParamSettingForm::RateField(const QString& name, QWidget* parent) {
  auto* field = new TEditPositiveNumber(name, name, QString(), *FContext.Dialogs, parent);
  field->setVisible(true);
  field->setMinimumWidth(45);
  field->setMaximumWidth(90);
  return field;
}

// ---------------------------------------------------------------------------
// Creation

void TParamSettingForm::FormCreate() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 0);
  layout->setSpacing(0);
  PageControl = new QTabWidget(this);
  layout->addWidget(PageControl, 1);

  General = CreateGeneralPage();
  Components = CreateComponentsPage();
  Reactivities = CreateReactivitiesPage();
  Controls = CreateControlsPage();
  PageControl->addTab(General, "&General");
  PageControl->addTab(Components, "Co&mponents");
  PageControl->addTab(Reactivities, "&Reactivities");
  PageControl->addTab(Controls, "C&hecking Points");

  auto* bar = new QWidget(this);
  bar->setFixedHeight(37);
  auto* barLayout = new QHBoxLayout(bar);
  barLayout->setContentsMargins(4, 4, 4, 4);
  OpenButton = new QPushButton("&Open...", bar);
  OpenButton->setShortcut(QKeySequence("Ctrl+O"));
  // "Short|Long" hints: the tool tip and the status-line text.
  OpenButton->setToolTip("Open");
  OpenButton->setStatusTip("Opens an existing file");
  ValidateButton = new QPushButton("Validate...", bar);
  ValidateButton->setToolTip("Validate Data and Memory Requirements");
  SaveAsButton = new QPushButton("Save &As...", bar);
  SaveAsButton->setToolTip("Save As");
  SaveAsButton->setStatusTip("Saves the active file with a new name");
  SaveAsButton->setEnabled(false);
  AcceptButton = new QPushButton("Acce&pt && Exit", bar);
  AcceptButton->setToolTip("Loads the Edited File to the Main Window");
  AcceptButton->setEnabled(false);
  ExitButton = new QPushButton("&Exit", bar);
  for (QPushButton* button : {OpenButton, ValidateButton, SaveAsButton, AcceptButton, ExitButton}) {
    button->setAutoDefault(false);
    barLayout->addWidget(button);
  }
  layout->addWidget(bar);

  connect(OpenButton, &QPushButton::clicked, this, [this] { OpenButtonClick(); });
  connect(ValidateButton, &QPushButton::clicked, this, [this] { ValidateButtonClick(); });
  connect(SaveAsButton, &QPushButton::clicked, this, [this] { SaveAsButtonClick(); });
  connect(AcceptButton, &QPushButton::clicked, this, [this] { ButtonAcceptClick(); });
  connect(ExitButton, &QPushButton::clicked, this, [this] { reject(); });
  connect(PageControl, &QTabWidget::currentChanged, this, [this] { PageControlChange(); });
  WatchEdits();

  ApplyProcessLayout();
  // The smallest size is the layout's: the pages' fields never overlap.
  const QSize hint = minimumSizeHint();
  resize(std::max(4 * PanelStep + 15, hint.width()), std::max(378, hint.height()));
}

QWidget* TParamSettingForm::CreateGeneralPage() {
  auto* page = new QWidget;
  page->setObjectName("General");
  auto* layout = new QGridLayout(page);
  ProcessTypeGroup = new TRadioGroup("Process T&ype",
                                     {"&Living Polymerization", "&Free Radical Polymerization",
                                      "&Controlled Radical Polymerization (ATRP)", "Living Re&versible Polymerization"},
                                     page);
  ProcessTypeGroup->setObjectName("ProcessType");
  layout->addWidget(ProcessTypeGroup, 0, 0, 1, 4);

  MixtureVolume = new TRadioGroup("Mi&xture Volume", {"&Total known", "S&um of Components"}, page);
  MixtureVolume->setObjectName("MixtureVolume");
  layout->addWidget(MixtureVolume, 1, 0, 2, 1);

  TotalVolume = new TEditPositiveNumber("TotalVolume", "Total Volume", "Volume of the Mixture, mL",
                                        *FContext.Dialogs, page);
  TotalVolume->setVisible(true);
  TotalVolume->setMaximumWidth(100);
  layout->addWidget(TotalVolume->Label(), 1, 1, Qt::AlignRight);
  layout->addWidget(TotalVolume, 1, 2);
  layout->addWidget(new QLabel("mL", page), 1, 3);

  InitiatorNumber = new TEditPositiveNumber("InitiatorNumber", "Number of Initiator Molecules",
                                            "Number of Initiator Molecules Modeled in the Simulation",
                                            *FContext.Dialogs, page);
  InitiatorNumber->SetTextQuiet(QString());
  InitiatorNumber->setVisible(true);
  InitiatorNumber->setMaximumWidth(100);
  layout->addWidget(InitiatorNumber->Label(), 2, 1, Qt::AlignRight);
  layout->addWidget(InitiatorNumber, 2, 2);

  auto* warning = new QLabel("Warning! The mean DP should not exceed 650. A higher DP are allowed only for "
                             "narrow dispersities.",
                             page);
  QFont bold = warning->font();
  bold.setBold(true);
  warning->setFont(bold);
  warning->setWordWrap(true);
  layout->addWidget(warning, 3, 0, 1, 4);
  layout->setRowStretch(4, 1);
  layout->setColumnStretch(0, 1);

  connect(ProcessTypeGroup, &TRadioGroup::Clicked, this, [this] { ProcessTypeClick(); });
  connect(MixtureVolume, &TRadioGroup::Clicked, this, [this] { MixtureVolumeClick(); });
  return page;
}

QWidget* TParamSettingForm::CreateComponentsPage() {
  auto* page = new QWidget;
  page->setObjectName("Components");
  auto* layout = new QHBoxLayout(page);
  layout->setContentsMargins(5, 10, 5, 5);
  layout->setSpacing(10);
  for (int i = 0; i < 5; ++i) {
    auto* panel = new TCompoundInterface(FServices, page);
    panel->SetIndex(i);
    Compounds[static_cast<std::size_t>(i)] = panel;
    layout->addWidget(panel, 1, Qt::AlignTop);
  }
  return page;
}

QWidget* TParamSettingForm::CreateReactivitiesPage() {
  auto* page = new QWidget;
  page->setObjectName("Reactivities");
  auto* layout = new QVBoxLayout(page);

  // Propagation and chain transfer: rows by centre, columns by unit.
  PropagationPanel = new QGroupBox("Propagation and Chain Transfer", page);
  PropagationPanel->setObjectName("Propagation_And_CT");
  auto* grid = new QGridLayout(PropagationPanel);
  const char* columns[4] = {"A", "B", "Ac", "Bc"};
  const char* centres[3] = {"I*", "A*", "B*"};
  for (int k = 0; k < 4; ++k) {
    PropagationHeadings[static_cast<std::size_t>(k)] = Heading(columns[k], PropagationPanel);
    grid->addWidget(PropagationHeadings[static_cast<std::size_t>(k)], 0, 1 + k);
  }
  for (int r = 0; r < 3; ++r) {
    grid->addWidget(new QLabel(centres[r], PropagationPanel), 1 + r, 0);
    for (int k = 0; k < 4; ++k) {
      const std::size_t key = static_cast<std::size_t>(3 * k + r);
      auto* field = RateField(PropagationKeys[key], PropagationPanel);
      field->DropLabel();
      field->setToolTip(QString("%1 + %2").arg(centres[r], columns[k]));
      PropagationFields[key] = field;
      grid->addWidget(field, 1 + r, 1 + k);
    }
    grid->addWidget(UnitLabel(SecondOrderUnit, PropagationPanel), 1 + r, 5);
  }
  // Free radical only: efficiency and decomposition beside the grid.
  auto* side = new QGridLayout;
  InitiationEfficiency = new TEditPositiveNumber("InitiationEfficiency", "Initiation Efficiency",
                                                 "Fraction of Radicals Starting a Chain", *FContext.Dialogs,
                                                 PropagationPanel);
  InitDecomposit = new TEditPositiveNumber("InitDecomposit", "Rate of Initiator Decomposition",
                                           "Decomposition Rate Constant Multiplied by the Efficiency Factor",
                                           *FContext.Dialogs, PropagationPanel);
  InitDecomposit->Label()->setWordWrap(true);
  InitiationEfficiency->setMaximumWidth(90);
  InitDecomposit->setMaximumWidth(90);
  side->addWidget(InitiationEfficiency->Label(), 0, 0, 1, 2);
  side->addWidget(InitiationEfficiency, 1, 0);
  side->addWidget(InitDecomposit->Label(), 2, 0, 1, 2);
  side->addWidget(InitDecomposit, 3, 0);
  FDecompositUnit = UnitLabel(FirstOrderUnit, PropagationPanel);
  FDecompositUnit->setVisible(false);
  side->addWidget(FDecompositUnit, 3, 1);
  grid->addLayout(side, 0, 6, 4, 1);
  grid->setColumnStretch(7, 1);
  layout->addWidget(PropagationPanel);

  auto* lower = new QHBoxLayout;
  Termination = new QGroupBox("Termination", page);
  Termination->setObjectName("Termination");
  {
    auto* g = new QGridLayout(Termination);
    const char* pairs[3] = {"A*+A*", "A*+B*", "B*+B*"};
    const char* rows[2] = {"Disproport", "Recombinat"};
    for (int k = 0; k < 3; ++k)
      g->addWidget(Heading(pairs[k], Termination), 0, 1 + k);
    for (int r = 0; r < 2; ++r) {
      g->addWidget(new QLabel(rows[r], Termination), 1 + r, 0);
      for (int k = 0; k < 3; ++k) {
        const std::size_t key = static_cast<std::size_t>(3 * r + k);
        TerminationFields[key] = RateField(TerminationKeys[key], Termination);
        TerminationFields[key]->DropLabel();
        g->addWidget(TerminationFields[key], 1 + r, 1 + k);
      }
      g->addWidget(UnitLabel(SecondOrderUnit, Termination), 1 + r, 4);
    }
    g->setRowStretch(3, 1);
  }
  RadicalEquilibrium = new QGroupBox("Activation-Deactivation", page);
  RadicalEquilibrium->setObjectName("RadicalEquilibrium");
  {
    auto* g = new QGridLayout(RadicalEquilibrium);
    g->addWidget(Heading("Activation", RadicalEquilibrium), 0, 1);
    g->addWidget(Heading("Deactivation", RadicalEquilibrium), 0, 3);
    const char* left[3] = {"IX + L", "AX + L", "BX + L"};
    const char* right[3] = {"I* + LX", "A* + LX", "B* + LX"};
    for (int r = 0; r < 3; ++r) {
      const std::size_t i = static_cast<std::size_t>(r);
      g->addWidget(new QLabel(left[r], RadicalEquilibrium), 1 + r, 0);
      ActivationFields[i] = RateField(ActivationKeys[i], RadicalEquilibrium);
      ActivationFields[i + 3] = RateField(ActivationKeys[i + 3], RadicalEquilibrium);
      ActivationFields[i]->DropLabel();
      ActivationFields[i + 3]->DropLabel();
      g->addWidget(ActivationFields[i], 1 + r, 1);
      g->addWidget(new QLabel(right[r], RadicalEquilibrium), 1 + r, 2);
      g->addWidget(ActivationFields[i + 3], 1 + r, 3);
      g->addWidget(UnitLabel(SecondOrderUnit, RadicalEquilibrium), 1 + r, 4);
    }
    g->setRowStretch(4, 1);
  }
  Depropagation = new QGroupBox("Depropagation", page);
  Depropagation->setObjectName("Depropagation");
  Depropagation->setToolTip("Rates of depropagation reactions.");
  {
    auto* g = new QGridLayout(Depropagation);
    g->addWidget(new QLabel("XY*  -->  X* + Y", Depropagation), 0, 0, 1, 3);
    for (int i = 0; i < 6; ++i) {
      const std::size_t k = static_cast<std::size_t>(i);
      DepropagationFields[k] = RateField(DepropagationKeys[k], Depropagation);
      g->addWidget(DepropagationFields[k]->Label(), 1 + i, 0);
      g->addWidget(DepropagationFields[k], 1 + i, 1);
      g->addWidget(UnitLabel(FirstOrderUnit, Depropagation), 1 + i, 2);
    }
    g->setRowStretch(7, 1);
  }
  lower->addWidget(Termination);
  lower->addWidget(RadicalEquilibrium);
  lower->addWidget(Depropagation);
  lower->addStretch(1);
  layout->addLayout(lower, 1);
  return page;
}

QWidget* TParamSettingForm::CreateControlsPage() {
  auto* page = new QWidget;
  page->setObjectName("Controls");
  auto* layout = new QHBoxLayout(page);
  auto* left = new QVBoxLayout;
  CheckingPointsMethod = new TRadioGroup("Metho&d", {"by &Conversion", "by &Time"}, page);
  CheckingPointsMethod->setObjectName("CheckingPointsMethod");
  CheckingPointsMethod->SetItemIndex(1);
  CheckingPointsDistr =
      new TRadioGroup("Distri&bution", {"&Linear Time Scale", "Logar&ithmic Time Scale"}, page);
  CheckingPointsDistr->setObjectName("CheckingPointsDistr");
  CheckingPointsDistr->SetItemIndex(cdLinear);
  left->addWidget(CheckingPointsMethod);
  left->addWidget(CheckingPointsDistr);

  auto* fields = new QGridLayout;
  auto* pointsLabel = new QLabel("Poi&nts Number", page);
  CheckingPointsNumber = new QSpinBox(page);
  CheckingPointsNumber->setObjectName("CheckingPointsNumber");
  CheckingPointsNumber->setRange(1, MaxCheckPoints);
  CheckingPointsNumber->setValue(50);
  pointsLabel->setBuddy(CheckingPointsNumber);
  fields->addWidget(pointsLabel, 0, 0);
  fields->addWidget(CheckingPointsNumber, 0, 1);
  StartingValue = new TEditPositiveNumber("StartingValue", "Starting Value", "First Checking Point, s",
                                          *FContext.Dialogs, page);
  FinalValue = new TEditPositiveNumber("FinalValue", "Final Value", "Last Checking Point, s", *FContext.Dialogs,
                                       page);
  StartingValue->setVisible(true);
  FinalValue->setVisible(true);
  fields->addWidget(StartingValue->Label(), 1, 0);
  fields->addWidget(StartingValue, 1, 1);
  fields->addWidget(new QLabel("s", page), 1, 2);
  fields->addWidget(FinalValue->Label(), 2, 0);
  fields->addWidget(FinalValue, 2, 1);
  fields->addWidget(new QLabel("s", page), 2, 2);
  left->addLayout(fields);
  CheckingPointsGeneration = new QPushButton("Generate Checking Point&s", page);
  CheckingPointsGeneration->setAutoDefault(false);
  left->addWidget(CheckingPointsGeneration);
  left->addStretch(1);
  layout->addLayout(left);

  auto* right = new QVBoxLayout;
  right->addWidget(new QLabel("Checking Points, s", page));
  CheckingPointsList = new QPlainTextEdit(page);
  CheckingPointsList->setObjectName("CheckingPointsList");
  CheckingPointsList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  CheckingPointsList->setLineWrapMode(QPlainTextEdit::NoWrap);
  right->addWidget(CheckingPointsList, 1);
  layout->addLayout(right, 1);

  connect(CheckingPointsGeneration, &QPushButton::clicked, this, [this] { CheckingPointsGenerationClick(); });
  connect(CheckingPointsList, &QPlainTextEdit::textChanged, this, [this] {
    if (!FInListChange)
      CheckingPointsListChange();
  });
  connect(CheckingPointsMethod, &TRadioGroup::Clicked, this, [this] { CheckingPointsMethodClick(); });
  connect(CheckingPointsDistr, &TRadioGroup::Clicked, this, [this](int index) {
    // A mouse click completes after the guard of the group's entry.
    double start = 0.0;
    if (index == cdLogarithmic &&
        (!Propagon::TryStrToFloat(StartingValue->Text(), start) || !(start > 0)))
      CheckingPointsDistr->SetItemIndex(cdLinear);
  });
  CheckingPointsList->installEventFilter(this);
  for (int i = 0; i < CheckingPointsDistr->Count(); ++i)
    CheckingPointsDistr->Button(i)->installEventFilter(this);
  return page;
}

// ---------------------------------------------------------------------------
// Window events

void TParamSettingForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!FShown) {
    FShown = true;
    FormShow();
  }
}

void TParamSettingForm::FormShow() {
  FShown = true;
  FContext.Dialogs->SetParentWidget(this);
  if (FContext.RestorePlacement)
    FContext.RestorePlacement(this);
  PageControl->setCurrentWidget(General);
  if (!FCurrentFile.isEmpty())
    ParamFileOpenAccept(FCurrentFile);
}

void TParamSettingForm::done(int result) {
  if (FContext.SavePlacement)
    FContext.SavePlacement(this);
  QDialog::done(result);
}

bool TParamSettingForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == CheckingPointsList && event->type() == QEvent::FocusOut && UserFocusReason(event))
    CheckingPointsListExit();
  if (event->type() == QEvent::FocusIn && UserFocusReason(event) && CheckingPointsDistr)
    for (int i = 0; i < CheckingPointsDistr->Count(); ++i)
      if (watched == CheckingPointsDistr->Button(i)) {
        CheckingPointsDistrEnter();
        break;
      }
  return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Layout by process type and page

void TParamSettingForm::ProcessTypeClick() {
  FProcessType = ProcessTypeGroup->ItemIndex();
  if (FProcessType < 0)
    return;
  const int panels = FProcessType <= 1 ? 4 : 5;
  ApplyProcessLayout();
  // The pages' minimum follows the panels and columns just shown or hidden.
  for (QWidget* page : {General, Components, Reactivities, Controls})
    page->layout()->activate();
  layout()->activate();
  resize(std::max(panels * PanelStep + 15, minimumSizeHint().width()), height());
}

void TParamSettingForm::ApplyProcessLayout() {
  const int type = FProcessType;
  Termination->setVisible(type == 1 || type == 2);
  RadicalEquilibrium->setVisible(type == 2);
  Depropagation->setVisible(type == 3);
  // Chain transfer (Ac, Bc columns) only in living polymerization.
  const bool transfer = type == 0;
  for (int k = 2; k < 4; ++k)
    PropagationHeadings[static_cast<std::size_t>(k)]->setVisible(transfer);
  for (std::size_t key = 6; key < 12; ++key)
    PropagationFields[key]->setVisible(transfer);
  InitDecomposit->setVisible(type == 1);
  InitiationEfficiency->setVisible(type == 1);
  FDecompositUnit->setVisible(type == 1);
  // Components.
  Compounds[ciActivator]->setVisible(type == 2);
  const bool sum = MixtureVolume->ItemIndex() == 1;
  Compounds[ciSolvent]->setEnabled(sum);
  Compounds[ciSolvent]->Note->setVisible(MixtureVolume->ItemIndex() == 0);
  TotalVolume->setEnabled(MixtureVolume->ItemIndex() != 1);
}

void TParamSettingForm::MixtureVolumeClick() {
  const bool totalKnown = MixtureVolume->ItemIndex() == 0;
  TotalVolume->setEnabled(totalKnown);
  if (totalKnown) {
    PageControl->setCurrentWidget(General);
    TotalVolume->setFocus(Qt::OtherFocusReason);
  }
  for (TCompoundInterface* panel : Compounds)
    panel->UnitsClick();
  ApplyProcessLayout();
}

void TParamSettingForm::PageControlChange() {
  ApplyProcessLayout();
  QWidget* page = PageControl->currentWidget();
  if (page == General)
    RefreshVolume();
  else if (page == Components)
    ComponentsShow();
}

void TParamSettingForm::ComponentsShow() { Compounds[ciInitiator]->UnitsClick(); }

void TParamSettingForm::RefreshVolume() {
  TProcessValues values = Values();
  try {
    GetVolume(values);
  } catch (const Propagon::EPropagonError& e) {
    ShowError(e.FullText());
    return;
  }
  if (values.CheckVolumesCalcMode()) {
    TotalVolume->SetTextQuiet(QString::fromStdString(values.TotalVolume));
    for (int i : {ciSolvent, ciMonomerA, ciMonomerB})
      Compounds[static_cast<std::size_t>(i)]->SetVolumeText(values.Components[static_cast<std::size_t>(i)].Volume);
  }
}

// ---------------------------------------------------------------------------
// Values

TProcessValues TParamSettingForm::Values() const {
  TProcessValues v;
  v.ProcessType = ProcessTypeGroup->ItemIndex();
  v.MixtureVolume = MixtureVolume->ItemIndex();
  v.TotalVolume = TotalVolume->Text();
  v.InitiatorNumber = InitiatorNumber->Text();
  for (std::size_t i = 0; i < 5; ++i)
    v.Components[i] = Compounds[i]->Values();
  for (std::size_t k = 0; k < 12; ++k)
    v.Propagation[k] = PropagationFields[k]->Text();
  for (std::size_t k = 0; k < 6; ++k) {
    v.Termination[k] = TerminationFields[k]->Text();
    v.Activation[k] = ActivationFields[k]->Text();
    v.Depropagation[k] = DepropagationFields[k]->Text();
  }
  v.InitDecomposit = InitDecomposit->Text();
  v.InitiationEfficiency = InitiationEfficiency->Text();
  v.CheckingPointsMethod = CheckingPointsMethod->ItemIndex();
  v.CheckingPointsDistr = CheckingPointsDistr->ItemIndex();
  v.CheckingPointsNumber = CheckingPointsNumber->value();
  v.CheckingPoints = ListLines();
  return v;
}

void TParamSettingForm::SetValues(const TProcessValues& v) {
  const auto set = [](TEditPositiveNumber* field, const std::string& text) {
    field->SetTextQuiet(QString::fromStdString(text));
  };
  ProcessTypeGroup->SetItemIndex(v.ProcessType);
  MixtureVolume->SetItemIndex(v.MixtureVolume);
  TotalVolume->setEnabled(v.MixtureVolume != 1);
  CheckingPointsMethod->SetItemIndex(v.CheckingPointsMethod);
  CheckingPointsDistr->SetItemIndex(v.CheckingPointsDistr);
  CheckingPointsNumber->setValue(v.CheckingPointsNumber);
  SetListLines(v.CheckingPoints);
  SetStartFinalFromList();
  set(InitiatorNumber, v.InitiatorNumber);
  set(TotalVolume, v.TotalVolume);
  set(InitDecomposit, v.InitDecomposit);
  set(InitiationEfficiency, v.InitiationEfficiency);
  for (std::size_t i = 0; i < 5; ++i)
    Compounds[i]->SetValues(v.Components[i]);
  for (std::size_t k = 0; k < 12; ++k)
    set(PropagationFields[k], v.Propagation[k]);
  for (std::size_t k = 0; k < 6; ++k) {
    set(TerminationFields[k], v.Termination[k]);
    set(ActivationFields[k], v.Activation[k]);
    set(DepropagationFields[k], v.Depropagation[k]);
  }
  FProcessType = v.ProcessType;
  ProcessTypeClick();
  ApplyProcessLayout();
}

// ---------------------------------------------------------------------------
// Buttons

void TParamSettingForm::OpenButtonClick() {
  const QString chosen = FContext.Dialogs->GetOpenFileName(FCurrentFile, ParameterFileFilter);
  if (chosen.isEmpty())
    return;
  FCurrentFile = chosen;
  ParamFileOpenAccept(chosen);
}

void TParamSettingForm::ParamFileOpenAccept(const QString& fileName) {
  SetValidated(false);  // whatever the file holds, the last validation was of other fields
  setWindowTitle(QString(FormCaption) + " [" + QFileInfo(fileName).fileName() + "]");
  const TParameterFile file(fileName.toStdString());
  if (!file.CheckFileValid(*FContext.Dialogs))
    return;
  TProcessValues values;
  try {
    LoadParameterValues(file, values, FContext.Lookup, *FContext.Dialogs);
  } catch (const Propagon::EPropagonError& e) {
    ShowError(e.FullText());
    return;
  }
  SetValues(values);
}

bool TParamSettingForm::ValidateButtonClick() {
  TProcessValues values = Values();
  TValidationState& state = EditorValidationState();
  const TValidationOutcome outcome =
      ValidateParameters(values, state, TValidationContext{*FContext.Dialogs, FContext.Lookup});
  // What the validation computed is shown: molar masses, the volumes of the
  // sum-of-components mode, the number of points.
  for (std::size_t i = 0; i < 5; ++i) {
    TComponentValues shown = Compounds[i]->Values();
    shown.MolarMass = values.Components[i].MolarMass;
    if (values.CheckVolumesCalcMode())
      shown.Volume = values.Components[i].Volume;
    Compounds[i]->SetValues(shown);
  }
  if (values.CheckVolumesCalcMode())
    TotalVolume->SetTextQuiet(QString::fromStdString(values.TotalVolume));
  CheckingPointsNumber->setValue(values.CheckingPointsNumber);
  // A failed validation leaves nothing a save could write as valid.
  SetValidated(outcome.Result == TValidationResult::Valid);
  return outcome.Result == TValidationResult::Valid;
}

void TParamSettingForm::WatchEdits() {
  for (QLineEdit* edit : findChildren<QLineEdit*>())  // the spin box's edit too
    connect(edit, &QLineEdit::textChanged, this, [this] { EditMade(); });
  for (QRadioButton* button : findChildren<QRadioButton*>())
    connect(button, &QRadioButton::toggled, this, [this] { EditMade(); });
  connect(CheckingPointsList, &QPlainTextEdit::textChanged, this, [this] { EditMade(); });
  connect(CheckingPointsNumber, &QSpinBox::valueChanged, this, [this] { EditMade(); });
}

void TParamSettingForm::EditMade() {
  // Refreshes that put back the same texts (a page change recomputing the
  // volume, the validation showing its results) leave the validation current.
  if (FValidated && !ValidationCurrent())
    SetValidated(false);
}

void TParamSettingForm::SetValidated(bool validated) {
  FValidated = validated;
  if (validated)
    FValidatedValues = Values();
  SaveAsButton->setEnabled(validated);
  AcceptButton->setEnabled(validated);
}

bool TParamSettingForm::ValidationCurrent() const { return FValidated && Values() == FValidatedValues; }

bool TParamSettingForm::SaveParameterFile(const QString& fileName) {
  TProcessValues values = Values();
  if (values.ProcessType < 0 || values.ProcessType >= static_cast<int>(ProcessNames.size())) {
    ShowError("No Process Type Selected!\r\nNothing was Saved.");
    return false;
  }
  // The molecule numbers written are those of the last validation: only
  // valid for the very fields it saw.
  if (!ValidationCurrent()) {
    SetValidated(false);
    ShowError("The Parameters Changed after the Last Validation!\r\nValidate them again; Nothing was Saved.");
    return false;
  }
  bool saved = false;
  try {
    Params::SaveParameterFile(fileName.toStdString(), values, EditorValidationState(), FContext.Lookup,
                              *FContext.Dialogs);
    saved = true;
  } catch (const Propagon::EPropagonError& e) {
    ShowError(e.FullText());
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
  update();
  return saved;
}

void TParamSettingForm::SaveAsButtonClick() {
  const QString chosen = FContext.Dialogs->GetSaveFileName(FCurrentFile, ParameterFileFilter);
  if (!chosen.isEmpty())
    ParamFileSaveAsAccept(chosen);
}

void TParamSettingForm::ParamFileSaveAsAccept(const QString& fileName) { SaveParameterFile(fileName); }

void TParamSettingForm::ButtonAcceptClick() {
  if (FCurrentFile.isEmpty()) {
    ShowError("No Current Parameter File!\r\nOpen a File to Accept the Parameters into; Nothing was Saved.");
    return;
  }
  if (!SaveParameterFile(FCurrentFile))
    return;
  FAcceptedFileName = FCurrentFile;
  accept();
}

// ---------------------------------------------------------------------------
// Checking points

std::vector<std::string> TParamSettingForm::ListLines() const {
  std::vector<std::string> lines;
  const QString text = CheckingPointsList->toPlainText();
  if (text.isEmpty())
    return lines;
  for (const QString& line : text.split('\n'))
    lines.push_back(line.toStdString());
  // An empty last line is only where the caret waits for the next value.
  while (!lines.empty() && lines.back().find_first_not_of(" \t\r") == std::string::npos)
    lines.pop_back();
  return lines;
}

void TParamSettingForm::SetListLines(const std::vector<std::string>& lines) {
  FInListChange = true;
  QStringList text;
  for (const std::string& line : lines)
    text << QString::fromStdString(line);
  CheckingPointsList->setPlainText(text.join('\n'));
  FInListChange = false;
}

void TParamSettingForm::SetStartFinalFromList() {
  const std::vector<std::string> lines = ListLines();
  // A list always begins at time 0, which the logarithmic scale cannot start
  // from: the starting value is the first positive time (the first line
  // when there is none), so a file just opened can be spread anew.
  std::string start = lines.empty() ? std::string("0") : lines.front();
  for (const std::string& line : lines) {
    double value = 0.0;
    if (Propagon::TryStrToFloat(line, value) && value > 0) {
      start = line;
      break;
    }
  }
  StartingValue->SetTextQuiet(QString::fromStdString(start));
  FinalValue->SetTextQuiet(lines.empty() ? "0" : QString::fromStdString(lines.back()));
}

void TParamSettingForm::CheckingPointsGenerationClick() {
  std::vector<std::string> lines;
  try {
    lines = GenerateCheckingPoints(CheckingPointsDistr->ItemIndex() == cdLogarithmic ? cdLogarithmic : cdLinear,
                                   CheckingPointsNumber->value(), StartingValue->Text(), FinalValue->Text());
  } catch (const Propagon::EPropagonError& e) {
    setFocus(Qt::OtherFocusReason);
    ShowError(e.FullText());
    return;
  }
  SetListLines(lines);
}

void TParamSettingForm::CheckingPointsListChange() {
  if (FInListChange)
    return;
  FInListChange = true;
  QTextDocument* doc = CheckingPointsList->document();
  const auto lineCount = [&] { return doc->isEmpty() ? 0 : doc->blockCount(); };
  const auto removeBlock = [&](const QTextBlock& block) {
    QTextCursor cursor(doc);
    if (block.next().isValid()) {
      cursor.setPosition(block.position());
      cursor.setPosition(block.next().position(), QTextCursor::KeepAnchor);
    } else if (block.previous().isValid()) {
      cursor.setPosition(block.position() - 1);
      cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    } else {
      cursor.select(QTextCursor::Document);
    }
    cursor.removeSelectedText();
  };

  const int caretLine = CheckingPointsList->textCursor().blockNumber();
  // 1. An emptied line goes at once; the empty last line the caret sits on
  //    after Enter is no line yet (it counts nowhere) and stays for typing.
  const QTextBlock caretBlock = doc->findBlockByNumber(caretLine);
  if (caretBlock.isValid() && caretBlock.text().trimmed().isEmpty() && caretBlock.next().isValid())
    removeBlock(caretBlock);
  const std::vector<std::string> lines = ListLines();
  // 2. The limit.
  if (static_cast<int>(lines.size()) > MaxCheckPoints) {
    while (lineCount() > MaxCheckPoints)
      removeBlock(doc->lastBlock());
    FInListChange = false;
    ShowError(CheckingPointsLimitMessage());
    return;
  }
  // 3. The caret line's value.
  if (caretLine < static_cast<int>(lines.size())) {
    const std::string error = CheckingPointLineError(lines[static_cast<std::size_t>(caretLine)]);
    if (!error.empty()) {
      FInListChange = false;
      ShowError(error);
      return;
    }
  }
  // 4. Count, final and starting values in step with the list.
  CheckingPointsNumber->setValue(std::max<int>(1, static_cast<int>(lines.size())));
  SetStartFinalFromList();
  FInListChange = false;
}

void TParamSettingForm::CheckingPointsListExit() {
  const std::string error = CheckingPointsOrderError(ListLines());
  if (!error.empty())
    ShowError(error);
}

void TParamSettingForm::CheckingPointsMethodClick() {
  if (CheckingPointsMethod->ItemIndex() == 0) {
    FContext.Dialogs->ShowInformation("Not Implemented Yet!");
    CheckingPointsMethod->SetItemIndex(1);
  }
}

void TParamSettingForm::CheckingPointsDistrEnter() {
  if (FInDistrCheck)
    return;
  double start = 0.0;
  if (Propagon::TryStrToFloat(StartingValue->Text(), start) && start > 0)
    return;
  FInDistrCheck = true;
  CheckingPointsDistr->SetItemIndex(cdLinear);
  StartingValue->setFocus(Qt::OtherFocusReason);
  ShowError("Logarithic distribution requires value > 0!");
  FInDistrCheck = false;
}

} // namespace Params
