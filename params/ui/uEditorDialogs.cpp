#include "params/ui/uEditorDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QWidget>

namespace Params {

QString BoxText(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace("\r\n", "\n");
  s.replace("\n\r", "\n");
  s.replace('\r', '\n');
  return s;
}

QString TQtEditorDialogs::GetOpenFileName(const QString& current, const QString& filter) {
  QFileDialog dialog(FParent, QString(), current.isEmpty() ? QString() : QFileInfo(current).absolutePath(),
                     filter);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(ParameterFileExtension);
  if (!current.isEmpty())
    dialog.selectFile(current);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return {};
  return dialog.selectedFiles().first();
}

QString TQtEditorDialogs::GetSaveFileName(const QString& current, const QString& filter) {
  QFileDialog dialog(FParent, QString(), current.isEmpty() ? QString() : QFileInfo(current).absolutePath(),
                     filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(ParameterFileExtension);
  // Asking before overwriting is the save dialog's default; there is no read-only option.
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return {};
  return dialog.selectedFiles().first();
}

void TQtEditorDialogs::ShowInformation(const std::string& text) {
  QMessageBox box(QMessageBox::Information, QApplication::applicationDisplayName(), BoxText(text),
                  QMessageBox::Ok, FParent);
  if (FParent) {
    // Top-left corner 100 left and 30 above the centre of the editor window.
    const QRect frame = FParent->frameGeometry();
    box.move(frame.left() + frame.width() / 2 - 100, frame.top() + frame.height() / 2 - 30);
  }
  box.exec();
}

void TQtEditorDialogs::ShowWarning(const std::string& text) {
  QMessageBox::warning(FParent, QApplication::applicationDisplayName(), BoxText(text));
}

void TQtEditorDialogs::ShowError(const std::string& text) {
  QMessageBox::critical(FParent, QApplication::applicationDisplayName(), BoxText(text));
}

bool TQtEditorDialogs::AskConfirmation(const std::string& text) {
  return QMessageBox::question(FParent, QApplication::applicationDisplayName(), BoxText(text),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

} // namespace Params
