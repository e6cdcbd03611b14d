// The settings file: where it lives (beside the program or in the user's
// configuration folder), window placement, check lists, refused writes, the
// version mark; and the memory figures of the about box.

#include "shell/uMyIniFile.h"
#include "shell/uSystemInfo.h"
#include "tests/gui/ShellTestSupport.h"
#include "tests/support/LogCapture.h"

#include "params/uNumberFormat.h"

#include <QDockWidget>
#include <QListWidget>
#include <QMainWindow>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string ReadAll(const QString& file) {
  std::ifstream in(file.toStdString(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Sets an environment variable for the lifetime of the guard.
class TEnvGuard {
public:
  TEnvGuard(const char* name, const QString& value) : FName(name) {
    if (const char* old = std::getenv(name))
      FOld = old, FHad = true;
    setenv(name, value.toUtf8().constData(), 1);
  }
  ~TEnvGuard() {
    if (FHad)
      setenv(FName, FOld.c_str(), 1);
    else
      unsetenv(FName);
  }

private:
  const char* FName;
  std::string FOld;
  bool FHad = false;
};

TEST(SettingsLocation, BesideAWritableProgramFolder) {
  QTemporaryDir exe;
  const auto loc = Shell::SettingsLocation(exe.path().toStdString(), "polykin");
  EXPECT_TRUE(loc.BesideProgram);
  EXPECT_EQ(loc.SettingsFile, exe.path().toStdString() + "/polykin.ini");
  EXPECT_EQ(loc.LogFile, exe.path().toStdString() + "/polykin.log");
}

TEST(SettingsLocation, ReadOnlyInstallationUsesTheConfigFolderAndStartsFromShippedDefaults) {
  QTemporaryDir exe, config;
  TEnvGuard xdg("XDG_CONFIG_HOME", config.path());
  // Defaults shipped beside the program, in a folder the user cannot write.
  {
    std::ofstream ini((exe.path() + "/polykin.ini").toStdString());
    ini << "[Propagon]\r\nScalingFactor=0.007\r\n";
  }
  const std::string exeDir = exe.path().toStdString() + "/";
  auto readOnly = [&](const std::string& path) { return path.rfind(exeDir, 0) != 0; };
  const auto loc = Shell::SettingsLocation(exeDir, "polykin", readOnly);
  EXPECT_FALSE(loc.BesideProgram);
  EXPECT_EQ(loc.Folder, config.path().toStdString() + "/propagon/");
  EXPECT_EQ(loc.SettingsFile, loc.Folder + "polykin.ini");
  EXPECT_EQ(loc.LogFile, loc.Folder + "polykin.log");

  Shell::TMyIniFile settings(loc.SettingsFile);
  EXPECT_EQ(settings.ReadString("Propagon", "ScalingFactor", ""), "0.007");
  settings.WriteBool("Propagon", "HideIntro", true);
  EXPECT_FALSE(settings.WriteFailed());
  // The user's own copy is kept on later starts, not replaced by the defaults.
  const auto again = Shell::SettingsLocation(exeDir, "polykin", readOnly);
  Shell::TMyIniFile reread(again.SettingsFile);
  EXPECT_TRUE(reread.ReadBool("Propagon", "HideIntro", false));
}

TEST(SettingsLocation, RelativeXdgConfigHomeIsIgnored) {
  QTemporaryDir home;
  TEnvGuard xdg("XDG_CONFIG_HOME", "relative/config");
  TEnvGuard h("HOME", home.path());
  const auto loc = Shell::SettingsLocation("/nonexistent-program-folder", "polykin",
                                           [](const std::string&) { return false; });
  EXPECT_EQ(loc.Folder, home.path().toStdString() + "/.config/propagon/");
}

TEST(MyIniFile, RefusedWriteIsLoggedOnceKeptForTheSessionAndWrittenLater) {
  QTemporaryDir dir;
  const QString folder = dir.filePath("not-yet");
  const std::string file = (folder + "/polykin.ini").toStdString();
  TestSupport::TLogCapture log;
  Shell::TMyIniFile settings(file);
  settings.WriteBool("Propagon", "HideIntro", true);
  settings.WriteInteger("Propagon", "SelectedPage", 2);
  EXPECT_TRUE(settings.WriteFailed());
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0], "Unable to write to " + file);
  // Readable for the rest of the session, whatever the letter case.
  EXPECT_TRUE(settings.ReadBool("propagon", "hideintro", false));
  EXPECT_EQ(settings.ReadInteger("Propagon", "SelectedPage", 0), 2);
  EXPECT_EQ(settings.ReadString("Propagon", "SelectedPage", ""), "2");

  // Once the folder can be written, the next write carries the kept values.
  ASSERT_TRUE(QDir().mkpath(folder));
  settings.WriteString("Propagon", "ParametersPath", "/data/");
  Params::TIniFile disk(file);
  EXPECT_TRUE(disk.ReadBool("Propagon", "HideIntro", false));
  EXPECT_EQ(disk.ReadInteger("Propagon", "SelectedPage", 0), 2);
  EXPECT_EQ(disk.ReadString("Propagon", "ParametersPath", ""), "/data/");
  EXPECT_EQ(log.Lines().size(), 1u);
}

class Placement : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(FDir.isValid()); }
  QString File() const { return FDir.filePath("polykin.ini"); }
  QTemporaryDir FDir;
};

TEST_F(Placement, FloatingWindowWritesDockStateAndBoundsInOrder) {
  Shell::TMyIniFile settings(File().toStdString());
  QWidget window;
  window.setWindowTitle("SEC Plot");
  window.setGeometry(210, 120, 530, 340);
  settings.SaveFormPlacement(&window, "SEC Plot");
  // One record, keys in the order IsDocked, Height, Width, Top, Left.
  EXPECT_EQ(ReadAll(File()), "[SEC Plot]\r\nIsDocked=0\r\nHeight=340\r\nWidth=530\r\nTop=120\r\nLeft=210\r\n");

  QWidget restored;
  settings.RestoreFormPlacement(&restored, "SEC Plot");
  EXPECT_EQ(restored.geometry(), QRect(210, 120, 530, 340));
  EXPECT_FALSE(settings.ReadIsDocked(&window));
}

TEST_F(Placement, DockedWindowOnlyRecordsIsDockedAndUnknownWindowsStartDocked) {
  Shell::TMyIniFile settings(File().toStdString());
  QMainWindow main;
  auto* dock = new QDockWidget("Conversion", &main);
  auto* form = new QWidget;
  form->setWindowTitle("Conversion");
  dock->setWidget(form);
  main.addDockWidget(Qt::TopDockWidgetArea, dock);
  EXPECT_TRUE(settings.ReadIsDocked(form)); // never seen: docked

  settings.SaveFormPlacement(form, "Conversion");
  EXPECT_EQ(ReadAll(File()), "[Conversion]\r\nIsDocked=1\r\n");

  // Defaults of a window without a record: left 200, top 100, 300 x 200.
  QWidget fresh;
  settings.RestoreFormPlacement(&fresh, "Never Seen");
  EXPECT_EQ(fresh.geometry(), QRect(200, 100, 300, 200));

  // A floating dock widget is the window whose bounds are kept.
  dock->setFloating(true);
  dock->setGeometry(400, 300, 350, 250);
  settings.SaveFormPlacement(form, "Conversion");
  EXPECT_EQ(settings.ReadString("Conversion", "IsDocked", ""), "0");
  EXPECT_EQ(settings.ReadInteger("Conversion", "Left", 0), 400);
  EXPECT_EQ(settings.ReadInteger("Conversion", "Height", 0), 250);
}

TEST_F(Placement, CheckListStateRoundTripsByItemText) {
  Shell::TMyIniFile settings(File().toStdString());
  QListWidget list;
  list.setObjectName("DefinedPlotsList");
  for (const char* text : {"Chains Structure", "DP Distribution", "Conversion", "SEC Plot"}) {
    auto* item = new QListWidgetItem(text, &list);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
  list.item(2)->setCheckState(Qt::Checked);
  list.item(3)->setCheckState(Qt::Checked);
  settings.WriteCheckListState(&list);
  EXPECT_EQ(settings.ReadString("DefinedPlotsList", "SEC Plot", ""), "1");
  EXPECT_EQ(settings.ReadString("DefinedPlotsList", "Chains Structure", ""), "0");

  QListWidget other;
  other.setObjectName("DefinedPlotsList");
  for (const char* text : {"SEC Plot", "Conversion", "MALDI Spectrum"}) {
    auto* item = new QListWidgetItem(text, &other);
    item->setCheckState(Qt::Checked);
  }
  settings.ReadCheckListState(&other);
  EXPECT_EQ(other.item(0)->checkState(), Qt::Checked);   // by text, not index
  EXPECT_EQ(other.item(1)->checkState(), Qt::Checked);
  EXPECT_EQ(other.item(2)->checkState(), Qt::Unchecked); // absent key: unchecked
}

TEST(FileVersion, ProgramFilesCarryTheBuildVersionOthersNone) {
  const std::string version = Shell::BuildVersion();
  // Four dotted numbers.
  EXPECT_EQ(std::count(version.begin(), version.end(), '.'), 3);
  EXPECT_EQ(Shell::GetFileVersion(QCoreApplication::applicationFilePath().toStdString()), version);
  EXPECT_EQ(Shell::GetFileVersion(std::string(PROPAGON_TEST_DATA) + "/shell/living-small.kpx"), "");
  EXPECT_EQ(Shell::GetFileVersion("/nonexistent/file"), "");
}

TEST(MemoryStatus, ReadsMeminfoWithAndWithoutMemAvailable) {
  const std::string data = std::string(PROPAGON_TEST_DATA) + "/shell/";
  const auto modern = Shell::ReadMemoryStatus(data + "meminfo-16GB.txt");
  ASSERT_TRUE(modern.Valid);
  EXPECT_EQ(modern.TotalPhys, std::int64_t{16384000} * 1024);
  EXPECT_EQ(modern.AvailPhys, std::int64_t{4096000} * 1024);
  EXPECT_EQ(modern.MemoryLoad, 75); // 12288000 / 16384000 in use

  // Before MemAvailable: free + buffers + cache = 512000 + 102400 + 409600
  // = 1024000 kB of 2048000 -> 50 % in use.
  const auto old = Shell::ReadMemoryStatus(data + "meminfo-without-memavailable.txt");
  ASSERT_TRUE(old.Valid);
  EXPECT_EQ(old.AvailPhys, std::int64_t{1024000} * 1024);
  EXPECT_EQ(old.MemoryLoad, 50);

  EXPECT_FALSE(Shell::ReadMemoryStatus(data + "meminfo-garbled.txt").Valid);
  EXPECT_FALSE(Shell::ReadMemoryStatus("/nonexistent/meminfo").Valid);
  // The running system has a readable one.
  EXPECT_TRUE(Shell::ReadMemoryStatus().Valid);
}

TEST(MemoryStatus, AboutBoxTextsUseTheLocaleGrouping) {
  Propagon::TSeparatorGuard separators(',', '.');
  // 1536 MB = 1572864 KB, grouped with the thousands separator '.'.
  EXPECT_EQ(Shell::FormatPhysicalMemory(std::int64_t{1536} * 1024 * 1024), "1.572.864 KB");
  EXPECT_EQ(Shell::FormatMemoryLoad(42), "42 %");
}

} // namespace
