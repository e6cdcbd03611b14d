#include "params/ui/uChemCompound.h"

#include "params/uErrors.h"
#include "params/uMessageReporter.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"
#include "params/uValidation.h"

#include <QButtonGroup>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QLabel>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace Params {

// ---------------------------------------------------------------------------
// TRadioGroup

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), FGroup(new QButtonGroup(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 4, 6, 4);
  layout->setSpacing(2);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    FGroup->addButton(button, i);
    layout->addWidget(button);
    FButtons.push_back(button);
  }
  connect(FGroup, &QButtonGroup::idClicked, this, &TRadioGroup::Clicked);
}

int TRadioGroup::ItemIndex() const { return FGroup->checkedId(); }

void TRadioGroup::SetItemIndex(int index) {
  if (index >= 0 && index < Count()) {
    FButtons[static_cast<std::size_t>(index)]->setChecked(true);
    return;
  }
  // An exclusive group cannot uncheck its last button.
  FGroup->setExclusive(false);
  for (QRadioButton* button : FButtons)
    button->setChecked(false);
  FGroup->setExclusive(true);
}

void TRadioGroup::KeepItems(int count) {
  while (Count() > count) {
    QRadioButton* button = FButtons.back();
    FButtons.pop_back();
    FGroup->removeButton(button);
    delete button;
  }
}

void TRadioGroup::Click(int index) {
  if (index < 0 || index >= Count())
    return;
  FButtons[static_cast<std::size_t>(index)]->click();
}

// ---------------------------------------------------------------------------
// TEditPositiveNumber

TEditPositiveNumber::TEditPositiveNumber(const QString& name, const QString& label, const QString& hint,
                                         TMessageReporter& reporter, QWidget* parent)
    : QLineEdit(parent), FReporter(reporter), FLabel(new QLabel(label, parent)) {
  setObjectName(name);
  FLabel->setBuddy(this);
  setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  setToolTip(hint);
  setMinimumWidth(40);
  setText("0");
  QLineEdit::setVisible(false);
  FLabel->setVisible(false);
  connect(this, &QLineEdit::textChanged, this, [this] { TextChange(); });
}

void TEditPositiveNumber::SetLabelText(const QString& text) {
  if (FLabel)
    FLabel->setText(text);
}

void TEditPositiveNumber::SetUnitText(const QString& text) {
  if (!FUnit) {
    FUnit = new QLabel(parentWidget());
    FUnit->setObjectName(objectName() + "Unit");
    FUnit->setVisible(isVisibleTo(parentWidget()));
  }
  FUnit->setText(text);
}

void TEditPositiveNumber::DropLabel() {
  delete FLabel;
  FLabel = nullptr;
}

void TEditPositiveNumber::SetTextQuiet(const QString& text) {
  const QSignalBlocker blocker(this);
  setText(text);
}

void TEditPositiveNumber::setVisible(bool visible) {
  QLineEdit::setVisible(visible);
  if (FLabel)
    FLabel->setVisible(visible);
  if (FUnit)
    FUnit->setVisible(visible);
}

bool TEditPositiveNumber::Shown() const {
  for (const QWidget* w = this; w && !w->isWindow(); w = w->parentWidget()) {
    // Pages of a page control are hidden while another page is in front.
    if (w->isHidden() && !qobject_cast<const QStackedWidget*>(w->parentWidget()))
      return false;
  }
  return true;
}

void TEditPositiveNumber::ShowConversionError() {
  FReporter.ShowError("EConvertError\r\n" + objectName().toStdString() + "\r\n" +
                      Propagon::InvalidFloatMessage(Text()));
}

void TEditPositiveNumber::TextChange() {
  if (FInRule || !Shown())
    return;
  FInRule = true;
  if (text().isEmpty()) {
    setText("0");
  } else {
    double value = 0.0;
    if (!Propagon::TryStrToFloat(Text(), value))
      ShowConversionError();
  }
  FInRule = false;
}

void TEditPositiveNumber::LeaveField() {
  if (FInRule)
    return;
  FInRule = true;
  if (text().isEmpty())
    setText("0");
  if (Shown()) {
    double value = 0.0;
    if (!Propagon::TryStrToFloat(Text(), value)) {
      ShowConversionError();
    } else if (value < 0) {
      setFocus(Qt::OtherFocusReason);
      FReporter.ShowError("EMathError\r\n" + objectName().toStdString() + "\r\nNonNegative Value Required");
    }
  }
  FInRule = false;
}

void TEditPositiveNumber::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  // A box or menu taking the focus is not the user leaving the field.
  if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
    return;
  LeaveField();
}

// ---------------------------------------------------------------------------
// TCompoundInterface

TCompoundInterface::TCompoundInterface(const TEditorServices& services, QWidget* parent)
    : QFrame(parent), FServices(services) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(2);
  TMessageReporter& reporter = *FServices.Reporter;

  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(3, 3, 3, 3);
  layout->setHorizontalSpacing(4);
  layout->setVerticalSpacing(3);

  Units = new TRadioGroup(QString(), {"Volume", "Weight", "Moles", "Concentration"}, this);
  Units->setMinimumHeight(100);
  layout->addWidget(Units, 0, 0, 1, 3);

  FormulaLabel = new QLabel("Formula", this);
  Formula = new QLineEdit(this);
  Formula->setToolTip("The Chemical Formula");
  FormulaLabel->setBuddy(Formula);
  layout->addWidget(FormulaLabel, 1, 0, 1, 3);
  layout->addWidget(Formula, 2, 0, 1, 3);

  Length = new TEditPositiveNumber("Length", "Length", "Number of Bonds Built in the Main Chain ", reporter, this);
  Amount = new TEditPositiveNumber("Amount", AmountLabels[0], QString(), reporter, this);
  Density = new TEditPositiveNumber("Density", "Density", "Density, g/cm3", reporter, this);
  Volume = new TEditPositiveNumber("Volume", "Volume", "Volume, mL", reporter, this);
  Oxidized = new TEditPositiveNumber("Oxidized", "Oxidized", "Amount of Oxidized Activator", reporter, this);
  // The units the values are read in (Density and Volume as their hints
  // say; Oxidized is the oxidized share of the activator).
  Density->SetUnitText(QString::fromUtf8("g/cm\u00b3"));
  Volume->SetUnitText("mL");
  Oxidized->SetUnitText("mol/mol");
  Density->SetTextQuiet("1");
  Length->SetTextQuiet("2");
  Length->setVisible(true);
  int row = 3;
  for (TEditPositiveNumber* field : {Length, Amount, Density, Volume, Oxidized}) {
    layout->addWidget(field->Label(), row, 0);
    layout->addWidget(field, row, 1);
    if (field->UnitLabel())
      layout->addWidget(field->UnitLabel(), row, 2);
    ++row;
  }

  AttachedGroupLabel = new QLabel("Attached Group", this);
  AttachedGroup = new QLineEdit(this);
  AttachedGroup->setToolTip("The Chemical Formula of the Initiator Group Attached to a Chain");
  AttachedGroupLabel->setBuddy(AttachedGroup);
  AttachedGroupLabel->setVisible(false);
  AttachedGroup->setVisible(false);
  layout->addWidget(AttachedGroupLabel, row++, 0, 1, 3);
  layout->addWidget(AttachedGroup, row++, 0, 1, 3);

  Note = new QLabel("Editing disabled by the selection of the option Known Mixture Volume", this);
  Note->setWordWrap(true);
  Note->setVisible(false);
  layout->addWidget(Note, row++, 0, 1, 3);
  layout->setRowStretch(row, 1);
  layout->setColumnStretch(1, 1);

  Formula->installEventFilter(this);
  AttachedGroup->installEventFilter(this);
  connect(Units, &TRadioGroup::Clicked, this, [this] { UnitsClick(); });
}

void TCompoundInterface::SetIndex(int i) {
  FIndex = i;
  Units->setTitle(ComponentCaptions[static_cast<std::size_t>(i)]);
  const QString prefix = ComponentNames[static_cast<std::size_t>(i)];
  setObjectName(prefix);
  // Field names prefixed by the component, so a message names the field.
  for (TEditPositiveNumber* field : {Length, Amount, Density, Volume, Oxidized})
    field->setObjectName(prefix + field->objectName());
  if (i == ciSolvent) {
    Units->KeepItems(2);
    SetFormulaVisible(false);
    Length->setVisible(false);
  }
}

void TCompoundInterface::SetFormulaVisible(bool visible) {
  FormulaLabel->setVisible(visible);
  Formula->setVisible(visible);
}

bool TCompoundInterface::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut && (watched == Formula || watched == AttachedGroup)) {
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
      CheckFormula(static_cast<QLineEdit*>(watched));
  }
  return QFrame::eventFilter(watched, event);
}

void TCompoundInterface::CheckFormula(QLineEdit* field) {
  TProcessValues values;
  auto& component = values.Components[static_cast<std::size_t>(FIndex)];
  component = Values();
  Params::CheckFormula(values, FIndex, field == AttachedGroup, FServices.Lookup, *FServices.Reporter);
  if (field == Formula)
    FMolarMass = component.MolarMass;
}

void TCompoundInterface::ComputeComponentVolume() {
  TProcessValues values;
  values.Components[static_cast<std::size_t>(FIndex)] = Values();
  try {
    GetComponentVolume(values, FIndex);
    SetVolumeText(values.Components[static_cast<std::size_t>(FIndex)].Volume);
  } catch (const Propagon::EPropagonError& e) {
    FServices.Reporter->ShowError(e.FullText());
  }
}

void TCompoundInterface::UnitsClick() {
  const bool sum = FServices.VolumesCalcMode && FServices.VolumesCalcMode();
  const int u = Units->ItemIndex();
  switch (FIndex) {
  case ciSolvent:
    Units->setEnabled(sum);
    Amount->setEnabled(sum);
    if (!sum)
      Amount->setText(QString());
    if (u == cuVolume) {
      Volume->setVisible(false);
      Density->setVisible(false);
      Volume->SetTextQuiet(Amount->text());
    } else if (u == cuWeight) {
      Volume->setVisible(false);
      Density->setVisible(sum);
      if (sum)
        ComputeComponentVolume();
    }
    break;
  case ciInitiator:
    AttachedGroupLabel->setVisible(true);
    AttachedGroup->setVisible(true);
    Volume->setVisible(false);
    Density->setVisible(u == cuVolume);
    break;
  case ciMonomerA:
  case ciMonomerB:
    if (u == cuVolume) {
      Volume->setVisible(false);
      Density->setVisible(true);
      Volume->SetTextQuiet(Amount->text());
    } else if (u == cuWeight) {
      Volume->setVisible(false);
      Density->setVisible(sum);
      if (sum)
        ComputeComponentVolume();
    } else if (u >= cuMoles) {
      Volume->setVisible(sum);
      Density->setVisible(false);
    }
    break;
  case ciActivator:
    if (u >= 0) {
      Volume->setVisible(false);
      Density->setVisible(u == cuVolume);
      Oxidized->setVisible(true);
      Length->setVisible(false);
      if (u == cuWeight)
        SetFormulaVisible(true);
    }
    break;
  default:
    break;
  }
  if (u >= 0 && u < static_cast<int>(AmountLabels.size())) {
    Amount->SetLabelText(AmountLabels[static_cast<std::size_t>(u)]);
    Amount->setVisible(true);
  }
}

void TCompoundInterface::ApplyVisibility() {
  const bool sum = FServices.VolumesCalcMode && FServices.VolumesCalcMode();
  const int u = Units->ItemIndex();
  switch (FIndex) {
  case ciSolvent:
    Units->setEnabled(sum);
    Amount->setEnabled(sum);
    Volume->setVisible(false);
    Density->setVisible(u == cuWeight && sum);
    break;
  case ciInitiator:
    if (u >= 0) {
      AttachedGroupLabel->setVisible(true);
      AttachedGroup->setVisible(true);
      Volume->setVisible(false);
      Density->setVisible(u == cuVolume);
    }
    break;
  case ciMonomerA:
  case ciMonomerB:
    if (u >= 0) {
      Volume->setVisible(u >= cuMoles && sum);
      Density->setVisible(u == cuVolume || (u == cuWeight && sum));
    }
    break;
  case ciActivator:
    if (u >= 0) {
      Volume->setVisible(false);
      Density->setVisible(u == cuVolume);
      Oxidized->setVisible(true);
      Length->setVisible(false);
    }
    break;
  default:
    break;
  }
  if (u >= 0 && u < static_cast<int>(AmountLabels.size())) {
    Amount->SetLabelText(AmountLabels[static_cast<std::size_t>(u)]);
    Amount->setVisible(true);
  }
}

TComponentValues TCompoundInterface::Values() const {
  TComponentValues v;
  v.Units = Units->ItemIndex();
  v.Amount = Amount->Text();
  v.Density = Density->Text();
  v.Volume = Volume->Text();
  v.Oxidized = Oxidized->Text();
  v.Formula = Formula->text().toStdString();
  v.Length = Length->Text();
  v.AttachedGroup = AttachedGroup->text().toStdString();
  v.MolarMass = FMolarMass;
  return v;
}

void TCompoundInterface::SetValues(const TComponentValues& v) {
  Units->SetItemIndex(v.Units);
  Amount->SetTextQuiet(QString::fromStdString(v.Amount));
  Density->SetTextQuiet(QString::fromStdString(v.Density));
  Volume->SetTextQuiet(QString::fromStdString(v.Volume));
  Oxidized->SetTextQuiet(QString::fromStdString(v.Oxidized));
  Formula->setText(QString::fromStdString(v.Formula));
  Length->SetTextQuiet(QString::fromStdString(v.Length));
  AttachedGroup->setText(QString::fromStdString(v.AttachedGroup));
  FMolarMass = v.MolarMass;
  ApplyVisibility();
}

void TCompoundInterface::SetVolumeText(const std::string& text) { Volume->SetTextQuiet(QString::fromStdString(text)); }

} // namespace Params
