#pragma once
// Everything the main window asks of the user or of the desktop through a
// modal dialog or another program: the file dialogs, message boxes, the
// library browser, modal sub-windows and the system's document viewer.
//
// The main window never calls QFileDialog, QMessageBox or QDesktopServices
// itself; it goes through a TShellDialogs. The program uses TQtShellDialogs;
// the GUI tests install a scripted one, so every action can be triggered
// without a modal event loop or a browser opening.
//
// TShellDialogs is also the Params::TMessageReporter of the core (invalid
// parameter file, memory warning), shown as message boxes.
//
// Window thread only.

#include "params/uMessageReporter.h"

#include <QString>

class QDialog;
class QWidget;

namespace Shell {

class TShellDialogs : public Params::TMessageReporter {
public:
  // Parent window of the boxes (the main window once it exists).
  void SetParentWidget(QWidget* parent) { FParent = parent; }
  QWidget* ParentWidget() const { return FParent; }

  // The open dialog of parameter files. `folder` empty: the platform's last
  // used folder. Returns the chosen file, or empty when cancelled.
  virtual QString GetOpenFileName(const QString& folder, const QString& selected,
                                  const QString& filter) = 0;
  // "Searching for MALDI ToF DLL": a browser of folders and files with an
  // edit box, starting in `folder`. Returns the chosen file or empty.
  virtual QString BrowseForLibrary(const QString& title, const QString& folder) = 0;
  // A message shown near the centre of the main window (closing refused).
  virtual void ShowMessage(const QString& text) = 0;
  // Shows a dialog modally and returns its result (QDialog::Accepted/Rejected).
  virtual int ExecModal(QDialog* dialog) = 0;
  // Opens a document with the system's default viewer. Returns 0 on success,
  // otherwise an error number (errno values: 2 when the file does not exist).
  virtual int OpenDocument(const QString& fileName) = 0;

protected:
  QWidget* FParent = nullptr;
};

// The real dialogs: QFileDialog, QMessageBox, QDesktopServices.
class TQtShellDialogs : public TShellDialogs {
public:
  QString GetOpenFileName(const QString& folder, const QString& selected,
                          const QString& filter) override;
  QString BrowseForLibrary(const QString& title, const QString& folder) override;
  void ShowMessage(const QString& text) override;
  int ExecModal(QDialog* dialog) override;
  int OpenDocument(const QString& fileName) override;

  void ShowInformation(const std::string& text) override;
  void ShowWarning(const std::string& text) override;
  void ShowError(const std::string& text) override;
  bool AskConfirmation(const std::string& text) override;
};

// "A|B" hints: the short text before the bar is the tool tip, the long text
// after it the status-line hint; a hint without a bar is both.
QString ShortHint(const QString& hint);
QString LongHint(const QString& hint);

// The core's texts use "\r\n" line breaks; Qt widgets want "\n".
QString DisplayText(const std::string& text);

} // namespace Shell
