#pragma once
// Helpers of the parameter editor tests: dialogs that answer from a script
// and record every box, the real isotope library for molar masses, an editor
// window on them, and typing into fields as a user does.

#include "params/uCheckingPoints.h"
#include "params/uNumberFormat.h"
#include "params/ui/uEditorDialogs.h"
#include "params/ui/uParamSettingForm.h"
#include "shell/uMaldiBinding.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace EditorTest {

inline const QString Examples = QStringLiteral(PROPAGON_EXAMPLES_DIR);
inline const QString TestData = QStringLiteral(PROPAGON_TEST_DATA);

class TScriptedEditorDialogs : public Params::TEditorDialogs {
public:
  QString OpenAnswer, SaveAnswer;
  QStringList OpenAsked, SaveAsked;
  QString LastFilter;
  std::vector<std::string> Informations, Warnings, Errors;

  QString GetOpenFileName(const QString& current, const QString& filter) override {
    OpenAsked << current;
    LastFilter = filter;
    return OpenAnswer;
  }
  QString GetSaveFileName(const QString& current, const QString& filter) override {
    SaveAsked << current;
    LastFilter = filter;
    return SaveAnswer;
  }
  void ShowInformation(const std::string& text) override { Informations.push_back(text); }
  void ShowWarning(const std::string& text) override { Warnings.push_back(text); }
  void ShowError(const std::string& text) override { Errors.push_back(text); }
  bool AskConfirmation(const std::string&) override { return true; }

  bool HasError(const std::string& text) const {
    return std::find(Errors.begin(), Errors.end(), text) != Errors.end();
  }
  void Clear() {
    Informations.clear();
    Warnings.clear();
    Errors.clear();
  }
};

// The real libMaldi.so of the build, loaded once for the executable.
inline Shell::TMaldiBinding& Library() {
  static Shell::TMaldiBinding binding;
  static bool loaded = false;
  if (!loaded) {
    binding.CheckMALDILibrary(PROPAGON_MALDI_LIBRARY);
    loaded = true;
  }
  return binding;
}

class TEditorFixture : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(FDir.isValid()); }
  void TearDown() override { FForm.reset(); }

  Params::TParamSettingForm& Form(const QString& currentFile = {}) {
    if (!FForm) {
      Params::TParamSettingContext context;
      context.Dialogs = &FDialogs;
      context.Lookup = Library().MolMassLookup();
      context.CurrentFile = currentFile;
      FForm = std::make_unique<Params::TParamSettingForm>(context);
      FForm->show();
      QApplication::setActiveWindow(FForm.get());
    }
    return *FForm;
  }

  QString TempFile(const QString& name) const { return FDir.path() + "/" + name; }

  // Types `text` into a field as a user does: focus, select all, keys (an
  // empty text is a Delete of the selection).
  static void Type(QLineEdit* field, const QString& text) {
    field->setFocus(Qt::TabFocusReason);
    field->selectAll();
    if (text.isEmpty())
      QTest::keyClick(field, Qt::Key_Delete);
    else
      QTest::keyClicks(field, text);
  }
  // Types, then leaves the field (its leave rule runs).
  static void Enter(Params::TEditPositiveNumber* field, const QString& text) {
    Type(field, text);
    field->LeaveField();
  }

  Propagon::TSeparatorGuard FDot{'.'};
  QTemporaryDir FDir;
  TScriptedEditorDialogs FDialogs;
  std::unique_ptr<Params::TParamSettingForm> FForm;
};

inline std::string ReadAll(const QString& fileName) {
  std::ifstream in(fileName.toStdString(), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

} // namespace EditorTest
