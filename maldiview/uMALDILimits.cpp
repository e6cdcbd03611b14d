#include "maldiview/uMALDILimits.h"

#include "engine/uDataStruct.h"
#include "maldiview/uMALDIForm.h"
#include "maldiview/uMALDIRequest.h"
#include "maldiview/uMALDISpectrum.h"
#include "params/uLogMessage.h"
#include "params/uNumberFormat.h"
#include "plots/uLiveViewTools.h"
#include "plots/uPlotHost.h"
#include "shell/uMaldiBinding.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace MaldiView {

TMALDISettingsForm::TMALDISettingsForm(TMALDIForm* owner, Plots::TPlotHost* host, QWidget* parent)
    : QDialog(parent), FOwner(owner), FHost(host) {
  setObjectName(QString::fromLatin1(CationsSection));
  setWindowTitle(QStringLiteral("MALDI Settings"));
  setModal(true);

  LabelCation = new QLabel(QStringLiteral("&Cation:"), this);
  LabelCation->setObjectName(QStringLiteral("LabelCation"));
  Cations = new QComboBox(this);
  Cations->setObjectName(QStringLiteral("Cations"));
  Cations->setEditable(true);
  // Enter is handled by CationsKeyPress, which also keeps the list sorted.
  Cations->setInsertPolicy(QComboBox::NoInsert);
  Cations->setFixedWidth(74);
  Cations->setEditText(QStringLiteral("Na+"));
  LabelCation->setBuddy(Cations);
  Cations->lineEdit()->installEventFilter(this);

  LabelUpperLimit = new QLabel(QStringLiteral("&Upper Limit:     "), this);
  LabelUpperLimit->setObjectName(QStringLiteral("LabelUpperLimit"));
  LabeledEditUpperLimit = new QLineEdit(QStringLiteral("0"), this);
  LabeledEditUpperLimit->setObjectName(QStringLiteral("LabeledEditUpperLimit"));
  LabeledEditUpperLimit->setAlignment(Qt::AlignRight);
  LabelUpperLimit->setBuddy(LabeledEditUpperLimit);

  LabelPreparationTime = new QLabel(this);
  LabelPreparationTime->setObjectName(QStringLiteral("LabelPreparationTime"));
  LabelPreparationTime->setAutoFillBackground(true);
  // Two lines of their own (the text breaks them); wrapping would cut the
  // second one in the narrow dialog.
  LabelPreparationTime->setWordWrap(false);
  LabelPreparationTime->setMargin(2);
  const QFontMetrics metrics(LabelPreparationTime->font());
  LabelPreparationTime->setMinimumSize(
      metrics.horizontalAdvance(QStringLiteral("Approx. Preparation Time = 99999.9s")) + 8,
      2 * metrics.lineSpacing() + 8);

  ButtonAbort = new QPushButton(QStringLiteral("Abort"), this);
  ButtonAbort->setObjectName(QStringLiteral("ButtonAbort"));
  ButtonOK = new QPushButton(QStringLiteral("OK"), this);
  ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
  // Return presses OK, except in the cation box, where it adds the cation
  // (its event filter takes the key before the dialog sees it).
  ButtonAbort->setAutoDefault(false);
  ButtonAbort->setDefault(false);
  ButtonOK->setAutoDefault(true);
  ButtonOK->setDefault(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 6, 8, 6);
  layout->setSpacing(3);
  layout->addWidget(LabelCation);
  layout->addWidget(Cations);
  layout->addWidget(LabelUpperLimit);
  layout->addWidget(LabeledEditUpperLimit);
  layout->addWidget(LabelPreparationTime);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ButtonAbort);
  buttons->addWidget(ButtonOK);
  layout->addLayout(buttons);
  // The dialog grows with its texts rather than clipping them.
  layout->setSizeConstraint(QLayout::SetMinimumSize);
  resize(std::max(ClientWidth, sizeHint().width()), std::max(ClientHeight, sizeHint().height()));

  connect(LabeledEditUpperLimit, &QLineEdit::textChanged, this, [this] { LabeledEditUpperLimitChange(); });
  // OK follows the cation text at once (the estimate need not change for it).
  connect(Cations, &QComboBox::editTextChanged, this,
          [this](const QString& text) { ButtonOK->setEnabled(!text.isEmpty()); });
  connect(ButtonOK, &QPushButton::clicked, this, [this] { ButtonOKClick(); });
  connect(ButtonAbort, &QPushButton::clicked, this, [this] { ButtonAbortClick(); });
  setAttribute(Qt::WA_DeleteOnClose, false);
  FormCreate();
}

void TMALDISettingsForm::FormCreate() {
  QWidget* anchor = nullptr;
  if (FOwner && FOwner->isWindow())
    anchor = FOwner;
  else if (FHost && FHost->MainWindow())
    anchor = FHost->MainWindow();
  else if (FOwner)
    anchor = FOwner->window();
  if (anchor) {
    const QRect frame = anchor->frameGeometry();
    move(frame.center() - QPoint(width() / 2, height() / 2));
  }
}

void TMALDISettingsForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TMALDISettingsForm::FormShow() {
  FillCationsBox();
  // The window's cation; a window without one yet keeps the suggestion Na+.
  if (FOwner && !FOwner->Cation().isEmpty())
    Cations->setEditText(FOwner->Cation());
  const Engine::TSimState& state = Engine::SimState();
  const double largest = state.MassHistogram.Empty() ? 0.0 : state.MassHistogram.LastMass();
  const QString upper = QString::fromStdString(Propagon::FormatFloat("0", largest));
  if (LabeledEditUpperLimit->text() == upper)
    ModifyMessage();
  else
    LabeledEditUpperLimit->setText(upper); // updates the estimate
}

void TMALDISettingsForm::FillCationsBox() {
  const QString text = Cations->currentText();
  Cations->clear();
  if (FHost) {
    QStringList keys = FHost->ReadSettingSection(QString::fromLatin1(CationsSection));
    keys.sort(Qt::CaseInsensitive);
    Cations->addItems(keys);
  }
  Cations->setEditText(text);
}

void TMALDISettingsForm::ModifyMessage() {
  const Engine::TSimState& state = Engine::SimState();
  double upper = 0.0;
  std::string error;
  TPreparationEstimate estimate;
  // A text that is not a number, or a store without unit masses: the
  // previous estimate stays.
  if (ParseUpperLimit(LabeledEditUpperLimit->text().toStdString(), upper, error) &&
      EstimatePreparation(upper, state.MonomerAMolWeight, state.MonomerBMolWeight, state.ProcessType, estimate)) {
    LabelPreparationTime->setText(QString::fromStdString(estimate.Text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    QPalette palette = LabelPreparationTime->palette();
    QColor colour = QWidget::palette().color(QPalette::Button);
    if (estimate.Level == TEstimateLevel::Long)
      colour = QColor(255, 255, 0);
    else if (estimate.Level == TEstimateLevel::VeryLong)
      colour = QColor(255, 0, 0);
    palette.setColor(QPalette::Window, colour);
    LabelPreparationTime->setPalette(palette);
  }
  ButtonOK->setEnabled(!Cations->currentText().isEmpty());
}

void TMALDISettingsForm::LabeledEditUpperLimitChange() {
  if (isVisible())
    ModifyMessage();
}

bool TMALDISettingsForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Cations->lineEdit() && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      CationsKeyPress();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TMALDISettingsForm::CationsKeyPress() {
  const QString text = Cations->currentText();
  // An empty key would be a line "=" in the settings file.
  if (text.isEmpty())
    return;
  if (FHost)
    FHost->WriteSettingString(QString::fromLatin1(CationsSection), text, QString());
  Cations->addItem(text);
  Cations->model()->sort(0);
  Cations->setEditText(text);
}

void TMALDISettingsForm::ButtonOKClick() {
  // A cation the library cannot weigh would give a spectrum without it.
  if (const Shell::TMaldiBinding* binding = Shell::ActiveMaldiBinding()) {
    std::string error;
    if (!CheckCation(*binding, Cations->currentText().toStdString(), error)) {
      FLastMessage = Plots::ShowWarning(this, QStringLiteral("MALDI Settings"), QString::fromStdString(error));
      Cations->setFocus(Qt::OtherFocusReason);
      return;
    }
  }
  if (FOwner) {
    FOwner->SetUpperLimit(LabeledEditUpperLimit->text());
    FOwner->SetCation(Cations->currentText());
  }
  Propagon::LogMessage("Calculating MALDI spectrum...");
  accept();
}

void TMALDISettingsForm::ButtonAbortClick() { done(AbortResult); }

} // namespace MaldiView
