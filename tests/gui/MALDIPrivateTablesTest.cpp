// The MALDI window's table files live in a folder of its own (mode 0700,
// under the temporary directory, removed with the window), and the settings
// dialog refuses a cation the library cannot weigh.

#include "MALDITestSupport.h"

#include "maldiview/uMALDIForm.h"
#include "maldiview/uMALDILimits.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace {

using namespace MALDITest;
using MaldiView::TMALDIForm;
using MaldiView::TMALDISettingsForm;
namespace fs = std::filesystem;

// TEMP (the variable the window reads) pointed at a folder of the test.
class TTempVariable {
public:
  explicit TTempVariable(const QString& folder) {
    if (const char* old = std::getenv("TEMP"))
      FOld = old, FHadOld = true;
    ::setenv("TEMP", folder.toLocal8Bit().constData(), 1);
  }
  ~TTempVariable() {
    if (FHadOld)
      ::setenv("TEMP", FOld.c_str(), 1);
    else
      ::unsetenv("TEMP");
  }
  TTempVariable(const TTempVariable&) = delete;
  TTempVariable& operator=(const TTempVariable&) = delete;

private:
  std::string FOld;
  bool FHadOld = false;
};

class MALDIPrivateTables : public TMaldiLibraryTest {};

TEST_F(MALDIPrivateTables, TablesGoToAPrivateFolderThatGoesWithTheWindow) {
  const QTemporaryDir shared;  // stands for the /tmp every user shares
  TTempVariable temp(shared.path());
  // Planted by someone else: a link under a table's name, and that name's target.
  const fs::path victim = fs::path(Dir.path().toStdString()) / "victim";
  { std::ofstream(victim) << "not yours"; }
  fs::create_symlink(victim, fs::path(shared.path().toStdString()) / "Maldi4.tmp");

  Host.UseParameterFile(RunHandWritten(std::string(PROPAGON_TEST_DATA) + "/prepare-living-handwritten.kpx", Dir,
                                       Binding, 3));
  auto form = std::make_unique<TMALDIForm>(&Host);
  auto second = std::make_unique<TMALDIForm>(&Host);  // another window (or program) at the same time
  const fs::path folder = fs::path(form->Spectrum().TempDir).parent_path();
  ASSERT_FALSE(form->Spectrum().TempDir.empty());
  EXPECT_EQ(folder.parent_path(), fs::path(shared.path().toStdString()));
  EXPECT_NE(form->Spectrum().TempDir, second->Spectrum().TempDir);
  struct stat st {};
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(st.st_uid, ::getuid());

  form->show();
  form->SetSettingsDialogRunner([](TMALDIForm& f) {
    f.SetUpperLimit(QStringLiteral("1500"));
    f.SetCation(QStringLiteral("Na+"));
    return int(QDialog::Accepted);
  });
  ASSERT_TRUE(form->aRecalcMALDIExecute());
  // The file keeps its name, inside the private folder; the planted link and
  // its target are untouched.
  EXPECT_TRUE(fs::is_regular_file(folder / "Maldi4.tmp"));
  EXPECT_TRUE(fs::is_symlink(fs::path(shared.path().toStdString()) / "Maldi4.tmp"));
  std::ifstream in(victim);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "not yours");
  // The label level rereads the tables from the same folder.
  form->LabelLevelEdit->setText(QStringLiteral("5"));
  EXPECT_EQ(form->LastMessage(), nullptr);

  form.reset();
  EXPECT_FALSE(fs::exists(folder)) << "removed with the window";
  EXPECT_TRUE(fs::exists(fs::path(second->Spectrum().TempDir)));
}

TEST_F(MALDIPrivateTables, ACationTheLibraryCannotWeighIsRefusedInTheDialog) {
  Engine::TSimState& s = Store(Engine::ptLiving, 4, 2000.0);
  s.MonomerAMolWeight = 100.0;
  s.MonomerBMolWeight = 104.0;
  TMALDIForm form(&Host);
  for (const char* bad : {"Xx+", "((((", "Na+Na+"}) {
    SCOPED_TRACE(bad);
    TMALDISettingsForm dialog(&form, &Host);
    dialog.show();
    dialog.Cations->setEditText(QString::fromLatin1(bad));
    dialog.ButtonOKClick();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_NE(dialog.LastMessage(), nullptr);
    const auto* label = dialog.LastMessage()->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text().toStdString(), std::string("The cation \"") + bad +
                                               "\" is not a formula of the isotope table (for example Na+, K+ or H+)");
    EXPECT_TRUE(form.Cation().isEmpty()) << "nothing taken over";
  }
  TMALDISettingsForm dialog(&form, &Host);
  dialog.show();
  dialog.Cations->setEditText(QStringLiteral("K+"));
  dialog.ButtonOKClick();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(form.Cation(), QStringLiteral("K"));
}

} // namespace
