#pragma once
// The introduction window: shown at start unless the user ticked
// "Do&n't show the window at start", and from View > Intro Screen.
//
// Not modal, stays on top, centred on the main window; it frees itself when
// closed. The check box writes "HideIntro" into the settings at every click.

#include <QDialog>

class QCheckBox;
class QPushButton;

namespace Shell {

class TMainForm;

class TIntroForm : public QDialog {
  Q_OBJECT

public:
  explicit TIntroForm(TMainForm* mainForm);

  QCheckBox* HideIntro() const { return FHideIntro; }
  QPushButton* ShowDemoButton() const { return FShowDemo; }
  QPushButton* ShowManualButton() const { return FShowManual; }
  QPushButton* OKButton() const { return FOK; }

  // Places the window over the main window's centre.
  void CentreOnMainForm();

protected:
  void showEvent(QShowEvent* event) override;

private:
  void HideIntroClick(bool checked);

  TMainForm* FMainForm;
  QCheckBox* FHideIntro;
  QPushButton* FShowDemo;
  QPushButton* FShowManual;
  QPushButton* FOK;
};

} // namespace Shell
