#pragma once
// What the parameter editor asks of the user through a modal dialog: the
// message boxes of the core (TMessageReporter) and the two file dialogs.
//
// The editor never calls QMessageBox or QFileDialog itself. The program uses
// TQtEditorDialogs; tests install a scripted one, so every button can be
// pressed without a modal event loop.

#include "params/uMessageReporter.h"

#include <QString>

class QWidget;

namespace Params {

// "Propagon Parameters (*.kpx)|*.kpx" in Qt's notation.
inline constexpr const char* ParameterFileFilter = "Propagon Parameters (*.kpx)";
inline constexpr const char* ParameterFileExtension = "kpx";

class TEditorDialogs : public TMessageReporter {
public:
  // The open dialog; `current` is the file name it holds. Empty when cancelled.
  virtual QString GetOpenFileName(const QString& current, const QString& filter) = 0;
  // The save dialog (asks before overwriting; default extension "kpx").
  virtual QString GetSaveFileName(const QString& current, const QString& filter) = 0;

  // Parent of the boxes (the editor window while it is open).
  void SetParentWidget(QWidget* parent) { FParent = parent; }
  QWidget* ParentWidget() const { return FParent; }

protected:
  QWidget* FParent = nullptr;
};

// Message boxes and file dialogs of Qt. The information box ("All
// Parameters are Valid!") stands near the centre of the parent window.
class TQtEditorDialogs : public TEditorDialogs {
public:
  QString GetOpenFileName(const QString& current, const QString& filter) override;
  QString GetSaveFileName(const QString& current, const QString& filter) override;
  void ShowInformation(const std::string& text) override;
  void ShowWarning(const std::string& text) override;
  void ShowError(const std::string& text) override;
  bool AskConfirmation(const std::string& text) override;
};

// The core writes "\r\n" (and "\n\r") line breaks; Qt widgets want "\n".
QString BoxText(const std::string& text);

} // namespace Params
