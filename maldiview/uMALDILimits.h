#pragma once
// The MALDI settings dialog ("MALDI Settings"), shown every time the user asks
// for a spectrum: the cation attached to every molecule, the upper m/z limit,
// and beforehand how many isotopic patterns the library will compute and
// roughly how long that takes.
//
// The cations offered are the keys of the settings section
// "MALDISettingsForm"; Enter in the cation box adds the text there.
//
// Results: OK (QDialog::Accepted) takes the settings over into the MALDI
// window; Abort — and closing the dialog by its frame or with Escape — leaves
// everything as it was.
//
// Window thread only.

#include <QDialog>
#include <QPointer>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Plots {
class TPlotHost;
}

namespace MaldiView {

class TMALDIForm;

class TMALDISettingsForm : public QDialog {
  Q_OBJECT

public:
  // Settings section of the cation list: the dialog's name.
  static constexpr const char* CationsSection = "MALDISettingsForm";
  static constexpr int ClientWidth = 178;
  static constexpr int ClientHeight = 158;
  // The result of Abort (OK is QDialog::Accepted).
  static constexpr int AbortResult = 3;

  TMALDISettingsForm(TMALDIForm* owner, Plots::TPlotHost* host, QWidget* parent = nullptr);

  // Centred on the MALDI window when that floats, otherwise on the main window.
  void FormCreate();
  // FillCationsBox, the window's cation, and the upper limit from the mass
  // axis (which updates the estimate).
  void FormShow();
  void FillCationsBox();
  // The estimate text and colour, and whether OK may be pressed.
  void ModifyMessage();
  void LabeledEditUpperLimitChange();
  // Enter in the cation box: remember the cation in the settings and offer it.
  void CationsKeyPress();
  // OK: a cation the library cannot weigh is refused with a message (the
  // dialog stays open); otherwise the settings go to the MALDI window.
  void ButtonOKClick();
  void ButtonAbortClick();
  // The last message box shown (nullptr when none is open).
  QWidget* LastMessage() const { return FLastMessage; }

  QLabel* LabelCation = nullptr;
  QComboBox* Cations = nullptr;
  QLabel* LabelUpperLimit = nullptr;
  QLineEdit* LabeledEditUpperLimit = nullptr;
  QLabel* LabelPreparationTime = nullptr;
  QPushButton* ButtonAbort = nullptr;
  QPushButton* ButtonOK = nullptr;

protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  TMALDIForm* FOwner;
  Plots::TPlotHost* FHost;
  QPointer<QWidget> FLastMessage;
};

} // namespace MaldiView
