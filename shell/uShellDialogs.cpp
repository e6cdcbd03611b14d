#include "shell/uShellDialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include <cerrno>

namespace Shell {

QString ShortHint(const QString& hint) {
  const qsizetype bar = hint.indexOf('|');
  return bar < 0 ? hint : hint.left(bar);
}

QString LongHint(const QString& hint) {
  const qsizetype bar = hint.indexOf('|');
  return bar < 0 ? hint : hint.mid(bar + 1);
}

QString DisplayText(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace("\r\n", "\n");
  s.replace("\n\r", "\n");
  s.replace('\r', '\n');
  return s;
}

QString TQtShellDialogs::GetOpenFileName(const QString& folder, const QString& selected,
                                         const QString& filter) {
  QString start = selected;
  if (!folder.isEmpty())
    start = selected.isEmpty() ? folder : QFileInfo(folder, QFileInfo(selected).fileName()).filePath();
  return QFileDialog::getOpenFileName(FParent, QString(), start, filter);
}

QString TQtShellDialogs::BrowseForLibrary(const QString& title, const QString& folder) {
  // The file name field of the dialog is the edit box: a path may be typed.
  QFileDialog dialog(FParent, title, folder);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters({QStringLiteral("Shared libraries (*.so *.so.*)"), QStringLiteral("All files (*)")});
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return {};
  return dialog.selectedFiles().constFirst();
}

void TQtShellDialogs::ShowMessage(const QString& text) {
  // A box without a parent of its own is centred on the main window by
  // passing the window as parent.
  QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok, FParent);
  box.exec();
}

int TQtShellDialogs::ExecModal(QDialog* dialog) { return dialog ? dialog->exec() : QDialog::Rejected; }

int TQtShellDialogs::OpenDocument(const QString& fileName) {
  QFileInfo info(fileName);
  if (!info.exists())
    return ENOENT;
  if (!info.isReadable())
    return EACCES;
  // The viewer is started by xdg-open (or the desktop's portal); failure to
  // find one is all that is reported back.
  return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath())) ? 0 : ENOEXEC;
}

void TQtShellDialogs::ShowInformation(const std::string& text) {
  QMessageBox::information(FParent, QApplication::applicationName(), DisplayText(text));
}

void TQtShellDialogs::ShowWarning(const std::string& text) {
  QMessageBox::warning(FParent, QApplication::applicationName(), DisplayText(text));
}

void TQtShellDialogs::ShowError(const std::string& text) {
  QMessageBox::critical(FParent, QApplication::applicationName(), DisplayText(text));
}

bool TQtShellDialogs::AskConfirmation(const std::string& text) {
  return QMessageBox::question(FParent, QApplication::applicationName(), DisplayText(text),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

} // namespace Shell
