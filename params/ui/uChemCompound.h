#pragma once
// The widgets of the parameter editor's "Co&mponents" page and the fields
// shared by its other pages.
//
// TEditPositiveNumber: a labeled edit field holding a non-negative real as
// text, with the change and leave rules of the editor. TRadioGroup: a titled
// group of radio buttons with an item index (-1: none selected).
// TCompoundInterface: the panel of one component of the reaction mixture
// (solvent, initiator, monomer A, monomer B, activator), its units group and
// fields, which fields show for which unit and volume mode, and the check of
// its formulas through the isotope library.
//
// The panels hold texts only; every quantity is computed by the plain-value
// functions of params/uParamSetting.h and params/uValidation.h on the
// TComponentValues the panel gives out.

#include "params/uParamSetting.h"

#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>

#include <array>
#include <functional>
#include <vector>

class QButtonGroup;
class QLabel;
class QRadioButton;

namespace Params {

class TMessageReporter;

// What the editor's fields need from the window around them.
struct TEditorServices {
  TMessageReporter* Reporter = nullptr;
  // "CalcMolMass" of the loaded library; empty when it lacks the function.
  TMolMassLookup Lookup;
  // True in the sum-of-components volume mode.
  std::function<bool()> VolumesCalcMode;
};

// "Sol&vent", "&Initiator", ... by component index. Monomer A takes N as
// its access key: A belongs to the window's "Save &As...".
inline constexpr std::array<const char*, 5> ComponentCaptions = {"Sol&vent", "&Initiator", "Mo&nomer A",
                                                                 "Monomer &B", "A&ctivator"};
// Labels of the Amount field by unit.
inline constexpr std::array<const char*, 4> AmountLabels = {"Volume (ml)", "Weight (g)", "Moles",
                                                            "Conc.(mol/L)"};

// A titled group of radio buttons; ItemIndex -1 when none is selected.
class TRadioGroup : public QGroupBox {
  Q_OBJECT
public:
  TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);
  int ItemIndex() const;
  // Selects an item (-1: none) without a click.
  void SetItemIndex(int index);
  // Keeps only the first `count` items.
  void KeepItems(int count);
  int Count() const { return static_cast<int>(FButtons.size()); }
  QRadioButton* Button(int index) const { return FButtons[static_cast<std::size_t>(index)]; }

signals:
  // The user selected an item (mouse or keyboard), also by Click().
  void Clicked(int index);

public:
  // Selects the item as a click of the user does.
  void Click(int index);

private:
  QButtonGroup* FGroup;
  std::vector<QRadioButton*> FButtons;
};

// A labeled one-line edit holding a non-negative real. Hidden when created,
// "0" for an empty text. While visible, every change turns an empty text into
// "0" and reports a text that is not a number; leaving the field reports a
// negative value (and keeps the focus there) or a text that is not a number.
// The messages name the field by its objectName().
class TEditPositiveNumber : public QLineEdit {
  Q_OBJECT
public:
  TEditPositiveNumber(const QString& name, const QString& label, const QString& hint,
                      TMessageReporter& reporter, QWidget* parent = nullptr);
  QLabel* Label() const { return FLabel; }
  // For a field of a grid whose row and column headings name it.
  void DropLabel();
  void SetLabelText(const QString& text);
  // The unit shown beside the field (created on first use; shown and hidden
  // with the field).
  void SetUnitText(const QString& text);
  QLabel* UnitLabel() const { return FUnit; }
  // The text without the change rule (opening a file, refreshing computed values).
  void SetTextQuiet(const QString& text);
  std::string Text() const { return text().toStdString(); }
  // Shows or hides the label along with the field.
  void setVisible(bool visible) override;
  // The field is visible in the sense of the rules: not hidden by itself or
  // by a hidden panel (a page that is not in front does not count).
  bool Shown() const;

  // The rules, also callable by tests without focus events.
  void TextChange();
  void LeaveField();

protected:
  void focusOutEvent(QFocusEvent* event) override;

private:
  void ShowConversionError();
  TMessageReporter& FReporter;
  QLabel* FLabel;
  QLabel* FUnit = nullptr;
  bool FInRule = false;
};

class TCompoundInterface : public QFrame {
  Q_OBJECT
public:
  TCompoundInterface(const TEditorServices& services, QWidget* parent = nullptr);

  // Binds the panel to component i: caption, units offered (the solvent only
  // Volume and Weight), fields (the solvent has no Formula and Length).
  void SetIndex(int i);
  int Index() const { return FIndex; }

  // The units group's click: the visibility rules of the component for the
  // selected unit and volume mode, with their effects on the texts.
  void UnitsClick();
  // Only the visibility part of UnitsClick (after a file was opened).
  void ApplyVisibility();

  // Leaving a formula field: its molar mass through the library; an empty
  // or unusable formula shows the invalid-formula box.
  void CheckFormula(QLineEdit* field);

  // The panel as plain values, and back (no rules run).
  TComponentValues Values() const;
  void SetValues(const TComponentValues& values);
  double MolarMass() const { return FMolarMass; }
  // The Volume text computed elsewhere (the sum-of-components volume).
  void SetVolumeText(const std::string& text);

  TRadioGroup* Units = nullptr;
  QLabel* FormulaLabel = nullptr;
  QLineEdit* Formula = nullptr;
  TEditPositiveNumber* Length = nullptr;
  TEditPositiveNumber* Amount = nullptr;
  TEditPositiveNumber* Density = nullptr;
  TEditPositiveNumber* Volume = nullptr;
  TEditPositiveNumber* Oxidized = nullptr;
  QLabel* AttachedGroupLabel = nullptr;
  QLineEdit* AttachedGroup = nullptr;
  // The note of the solvent panel (the window shows or hides it).
  QLabel* Note = nullptr;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void ComputeComponentVolume();
  void SetFormulaVisible(bool visible);
  TEditorServices FServices;
  int FIndex = 0;
  double FMolarMass = 0.0;
};

} // namespace Params
