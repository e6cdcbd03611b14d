#include "shell/uIntro.h"

#include "shell/uIcons.h"
#include "shell/uMainForm.h"
#include "shell/uMyIniFile.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace Shell {

TIntroForm::TIntroForm(TMainForm* mainForm) : QDialog(mainForm), FMainForm(mainForm) {
  setObjectName("IntroForm");
  setWindowTitle("Introduction");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setModal(false);

  auto* picture = new QLabel(this);
  picture->setObjectName("IntroPicture");
  picture->setPixmap(ApplicationPicture(128));
  picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

  auto* text = new QLabel(this);
  text->setObjectName("IntroText");
  text->setWordWrap(true);
  text->setTextFormat(Qt::RichText);
  text->setText(
      "<h2>Propagon</h2>"
      "<p>Monte Carlo simulation of polymerization processes, molecule by molecule: "
      "living and living reversible polymerization, free-radical polymerization and "
      "ATRP, with up to two monomers.</p>"
      "<ol>"
      "<li><b>File &gt; Open Parameters</b> (Ctrl+O) loads a process description (<tt>.kpx</tt>); "
      "<b>File &gt; Open Example</b> starts in the folder of the examples that come with the "
      "program, a good start. A <tt>.kpx</tt> file dropped on the window opens too.</li>"
      "<li><b>View &gt; Create Plots</b> chooses the windows to watch: kinetics, "
      "averages, distributions, SEC trace, chain microstructure, MALDI spectrum.</li>"
      "<li><b>Perform Simulation</b> (F9) runs it; Pause (F10) shows the statistics of the moment, "
      "Stop (Shift+F9) ends the run after its current step.</li>"
      "<li><b>Edit &gt; Parameter Settings</b> writes your own process.</li>"
      "</ol>"
      "<p>The demo walks through one run with pictures; the manual (F1) describes every "
      "window and the models behind them.</p>");
  text->setMinimumWidth(380);

  FHideIntro = new QCheckBox("Do&n't show the window at start", this);
  FHideIntro->setObjectName("HideIntro");
  FShowDemo = new QPushButton("Show &Demo", this);
  FShowDemo->setObjectName("btnShowDemo");
  FShowManual = new QPushButton("Show &Manual", this);
  FShowManual->setObjectName("btnShowManual");
  FOK = new QPushButton("&OK", this);
  FOK->setObjectName("btnOK");
  FOK->setDefault(true);

  auto* top = new QHBoxLayout;
  top->addWidget(picture);
  top->addWidget(text, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(FHideIntro);
  buttons->addStretch(1);
  buttons->addWidget(FShowDemo);
  buttons->addWidget(FShowManual);
  buttons->addWidget(FOK);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(buttons);

  connect(FShowDemo, &QPushButton::clicked, this, [this] { FMainForm->aShowDemo->trigger(); });
  connect(FShowManual, &QPushButton::clicked, this, [this] { FMainForm->aShowManual->trigger(); });
  connect(FOK, &QPushButton::clicked, this, &QDialog::close);
  connect(FHideIntro, &QCheckBox::clicked, this, &TIntroForm::HideIntroClick);
}

void TIntroForm::showEvent(QShowEvent* event) {
  FHideIntro->setChecked(FMainForm->Settings().ReadBool(ApplicationTitle, "HideIntro", false));
  QDialog::showEvent(event);
  CentreOnMainForm();
}

void TIntroForm::CentreOnMainForm() {
  adjustSize();
  const QRect main = FMainForm->frameGeometry();
  move(main.center() - rect().center());
}

void TIntroForm::HideIntroClick(bool checked) {
  FMainForm->Settings().WriteBool(ApplicationTitle, "HideIntro", checked);
}

} // namespace Shell
