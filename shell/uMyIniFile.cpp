#include "shell/uMyIniFile.h"

#include "params/uErrors.h"
#include "params/uLogMessage.h"
#include "params/uNumberFormat.h"

#include <QDockWidget>
#include <QGuiApplication>
#include <QScreen>
#include <QListWidget>
#include <QWidget>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#ifndef PROPAGON_FILE_VERSION
#define PROPAGON_FILE_VERSION "0.0.0.0"
#endif

// The version mark: a fixed key, the four numbers and an end byte, kept in
// every program file that links this module. GetFileVersion finds it again.
extern "C" {
__attribute__((used)) const char PropagonFileVersionMark[] =
    "\x02PROPAGON-FILE-VERSION=" PROPAGON_FILE_VERSION "\x03";
}

namespace Shell {

namespace fs = std::filesystem;

namespace {

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/')
    folder.push_back('/');
  return folder;
}

bool Writable(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

std::string ConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  // The XDG rules ignore a relative XDG_CONFIG_HOME.
  if (xdg && *xdg == '/')
    return WithSlash(xdg) + "propagon/";
  const char* home = std::getenv("HOME");
  if (home && *home)
    return WithSlash(home) + ".config/propagon/";
  return WithSlash(fs::temp_directory_path().string()) + "propagon/";
}

} // namespace

TSettingsLocation SettingsLocation(const std::string& exeDir, const std::string& programName) {
  return SettingsLocation(exeDir, programName, Writable);
}

TSettingsLocation SettingsLocation(const std::string& exeDir, const std::string& programName,
                                   const std::function<bool(const std::string& path)>& writable) {
  TSettingsLocation loc;
  const std::string besideFolder = WithSlash(exeDir);
  const std::string besideIni = besideFolder + programName + ".ini";
  const bool iniThere = Exists(besideIni);
  if ((iniThere && writable(besideIni) && writable(besideFolder)) ||
      (!iniThere && writable(besideFolder))) {
    // The INI writer replaces the file by renaming a temporary one beside it,
    // so the folder must be writable even when the file itself is.
    loc.Folder = besideFolder;
  } else {
    loc.Folder = ConfigFolder();
    loc.BesideProgram = false;
    std::error_code ec;
    fs::create_directories(loc.Folder, ec);
    const std::string target = loc.Folder + programName + ".ini";
    if (iniThere && !Exists(target))
      fs::copy_file(besideIni, target, ec);
  }
  loc.SettingsFile = loc.Folder + programName + ".ini";
  loc.LogFile = loc.Folder + programName + ".log";
  return loc;
}

TMyIniFile::TMyIniFile(std::string fileName) : Params::TIniFile(std::move(fileName)) {}

template <class F>
void TMyIniFile::Guarded(F&& write, std::vector<std::array<std::string, 3>> entries) {
  try {
    if (!FUnsaved.empty()) {
      // Values refused earlier go along with this write.
      BeginUpdate();
      for (const auto& [name, entry] : FUnsaved)
        Params::TIniFile::WriteString(entry[0], entry[1], entry[2]);
      write();
      EndUpdate();
      FUnsaved.clear();
    } else {
      write();
    }
  } catch (const Propagon::EIniFileException& e) {
    CancelUpdate();
    if (!FWriteFailed)
      Propagon::LogMessage(e.what());
    FWriteFailed = true;
    for (auto& entry : entries)
      FUnsaved[{Params::FoldName(entry[0]), Params::FoldName(entry[1])}] = std::move(entry);
  }
}

const std::string* TMyIniFile::Unsaved(const std::string& section, const std::string& key) const {
  if (FUnsaved.empty())
    return nullptr;
  auto it = FUnsaved.find({Params::FoldName(section), Params::FoldName(key)});
  return it == FUnsaved.end() ? nullptr : &it->second[2];
}

void TMyIniFile::WriteString(const std::string& section, const std::string& key,
                             const std::string& value) {
  Guarded([&] { Params::TIniFile::WriteString(section, key, value); }, {{section, key, value}});
}

void TMyIniFile::WriteInteger(const std::string& section, const std::string& key,
                              std::int64_t value) {
  Guarded([&] { Params::TIniFile::WriteInteger(section, key, value); },
          {{section, key, std::to_string(value)}});
}

void TMyIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  Guarded([&] { Params::TIniFile::WriteBool(section, key, value); }, {{section, key, value ? "1" : "0"}});
}

void TMyIniFile::WriteFloat(const std::string& section, const std::string& key, double value) {
  Guarded([&] { Params::TIniFile::WriteFloat(section, key, value); },
          {{section, key, Propagon::FloatToStr(value)}});
}

void TMyIniFile::UpdateFile() {
  Guarded([&] { Params::TIniFile::UpdateFile(); }, {});
}

std::string TMyIniFile::ReadString(const std::string& section, const std::string& key,
                                   const std::string& def) const {
  if (const std::string* v = Unsaved(section, key))
    return *v;
  return Params::TIniFile::ReadString(section, key, def);
}

std::int32_t TMyIniFile::ReadInteger(const std::string& section, const std::string& key,
                                     std::int32_t def) const {
  if (const std::string* v = Unsaved(section, key)) {
    std::int32_t value = 0;
    return Propagon::TryStrToInt(*v, value) ? value : def;
  }
  return Params::TIniFile::ReadInteger(section, key, def);
}

bool TMyIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  if (Unsaved(section, key))
    return ReadInteger(section, key, def ? 1 : 0) != 0;
  return Params::TIniFile::ReadBool(section, key, def);
}

double TMyIniFile::ReadFloat(const std::string& section, const std::string& key, double def) const {
  if (const std::string* v = Unsaved(section, key)) {
    double value = 0.0;
    return Propagon::TryStrToFloat(*v, value) ? value : def;
  }
  return Params::TIniFile::ReadFloat(section, key, def);
}

bool IsFloating(const QWidget* form) {
  if (!form)
    return false;
  if (auto dock = qobject_cast<const QDockWidget*>(form))
    return dock->isFloating();
  if (auto dock = qobject_cast<const QDockWidget*>(form->parentWidget()))
    return dock->isFloating();
  return form->isWindow();
}

const QWidget* PlacementWindow(const QWidget* form) {
  if (!form)
    return nullptr;
  if (auto dock = qobject_cast<const QDockWidget*>(form->parentWidget()))
    return dock;
  return form;
}

QWidget* PlacementWindow(QWidget* form) {
  return const_cast<QWidget*>(PlacementWindow(static_cast<const QWidget*>(form)));
}

bool TMyIniFile::ReadIsDocked(const QWidget* control) const {
  if (!control)
    return true;
  return ReadBool(control->windowTitle().toStdString(), "IsDocked", true);
}

void TMyIniFile::SaveFormPlacement(const QWidget* form, const QString& section) {
  if (!form)
    return;
  const std::string s = section.toStdString();
  const bool floating = IsFloating(form);
  // One disk write for the whole placement, so a window's record is never
  // half old, half new.
  std::vector<std::array<std::string, 3>> entries{{s, "IsDocked", floating ? "0" : "1"}};
  if (floating) {
    const QRect r = PlacementWindow(form)->geometry();
    entries.push_back({s, "Height", std::to_string(r.height())});
    entries.push_back({s, "Width", std::to_string(r.width())});
    entries.push_back({s, "Top", std::to_string(r.y())});
    entries.push_back({s, "Left", std::to_string(r.x())});
  }
  Guarded(
      [&] {
        BeginUpdate();
        for (const auto& e : entries)
          Params::TIniFile::WriteString(e[0], e[1], e[2]);
        EndUpdate();
      },
      entries);
  UpdateFile();
}

void TMyIniFile::RestoreFormPlacement(QWidget* form, const QString& section) const {
  if (!form)
    return;
  const std::string s = section.toStdString();
  const int width = ReadInteger(s, "Width", 300);
  const int height = ReadInteger(s, "Height", 200);
  const int top = ReadInteger(s, "Top", 100);
  const int left = ReadInteger(s, "Left", 200);
  PlacementWindow(form)->setGeometry(FitOntoScreen(QRect(left, top, width, height)));
}

QRect FitOntoScreen(const QRect& bounds) {
  const QList<QScreen*> screens = QGuiApplication::screens();
  QScreen* best = QGuiApplication::primaryScreen();
  qint64 bestArea = 0;
  for (QScreen* screen : screens) {
    const QRect common = screen->availableGeometry().intersected(bounds);
    const qint64 area = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
    if (area > bestArea) {
      bestArea = area;
      best = screen;
    }
  }
  if (!best)
    return bounds;
  // The bounds are the client area; the frame adds a title bar above and a
  // thin border around it, which must be reachable too.
  const QMargins frame(4, 30, 4, 4);
  const QRect avail = best->availableGeometry().marginsRemoved(frame);
  if (avail.isEmpty())
    return bounds;
  QRect r(bounds.topLeft(), bounds.size().boundedTo(avail.size()).expandedTo(QSize(1, 1)));
  if (r.right() > avail.right())
    r.moveRight(avail.right());
  if (r.bottom() > avail.bottom())
    r.moveBottom(avail.bottom());
  if (r.left() < avail.left())
    r.moveLeft(avail.left());
  if (r.top() < avail.top())
    r.moveTop(avail.top());
  return r;
}

void TMyIniFile::ReadCheckListState(QListWidget* list) const {
  if (!list)
    return;
  const std::string s = list->objectName().toStdString();
  for (int i = 0; i < list->count(); ++i) {
    QListWidgetItem* item = list->item(i);
    const bool checked = ReadBool(s, item->text().toStdString(), false);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
  }
}

void TMyIniFile::WriteCheckListState(const QListWidget* list) {
  if (!list)
    return;
  const std::string s = list->objectName().toStdString();
  std::vector<std::array<std::string, 3>> entries;
  for (int i = 0; i < list->count(); ++i) {
    const QListWidgetItem* item = list->item(i);
    entries.push_back({s, item->text().toStdString(), item->checkState() == Qt::Checked ? "1" : "0"});
  }
  Guarded(
      [&] {
        BeginUpdate();
        for (const auto& e : entries)
          Params::TIniFile::WriteString(e[0], e[1], e[2]);
        EndUpdate();
      },
      entries);
}

std::string GetFileVersion(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in)
    return {};
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The key also stands in this function's own code as a separate literal;
  // only an occurrence followed by four dotted numbers and the end byte is
  // the mark.
  const std::string key = std::string("\x02PROPAGON-FILE") + "-VERSION=";
  for (std::size_t at = bytes.find(key); at != std::string::npos; at = bytes.find(key, at + 1)) {
    std::size_t i = at + key.size();
    std::string version;
    int dots = 0;
    bool digit = false;
    while (i < bytes.size() && bytes[i] != '\x03') {
      const char c = bytes[i];
      if (c >= '0' && c <= '9') {
        digit = true;
      } else if (c == '.' && digit) {
        ++dots;
        digit = false;
      } else {
        break;
      }
      version.push_back(c);
      ++i;
    }
    if (i < bytes.size() && bytes[i] == '\x03' && dots == 3 && digit)
      return version;
  }
  return {};
}

std::string BuildVersion() { return PROPAGON_FILE_VERSION; }

} // namespace Shell
