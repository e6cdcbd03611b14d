#pragma once
// The program's settings file, polykin.ini.
//
// TMyIniFile is the INI file of the core (Params::TIniFile: case-insensitive
// names, in-place update, every write on disk at once) plus what the windows
// need: window placement (docked or floating, and the bounds of a floating
// window), the check state of check lists, and the program's version.
//
// Where the file lives: beside the program, named like it with ".ini"; when
// that folder (or an existing file there) cannot be written — the normal case
// for an installed program — in the user's configuration folder
// ($XDG_CONFIG_HOME/propagon, default ~/.config/propagon) under the same name.
// The saved message log follows the same rule (SettingsLocation).
//
// A write the file system refuses never ends the program: the change is kept
// in memory for the rest of the session and the message log says once
// "Unable to write to <file>", so settings are never lost without a word.
//
// Window thread only.

#include "params/uIniFile.h"

#include <QRect>
#include <QString>

#include <array>
#include <functional>
#include <map>
#include <utility>
#include <vector>
#include <string>

class QWidget;
class QListWidget;

namespace Shell {

// Section of the program-wide values; also the main window's placement section.
inline constexpr const char* ApplicationTitle = "Propagon";

// Where the settings file and the saved log go.
struct TSettingsLocation {
  std::string Folder;       // with a trailing '/'
  std::string SettingsFile; // Folder + program name + ".ini"
  std::string LogFile;      // Folder + program name + ".log"
  bool BesideProgram = true;
};

// Chooses the folder for a program at `exeDir` (with or without trailing
// '/') called `programName` ("polykin"). The program's folder is used when the
// settings file there is writable, or absent in a writable folder; otherwise
// the configuration folder, which is created if needed. When the
// configuration folder has no settings file yet but the program's folder has
// a read-only one (defaults shipped with an installation), it is copied, so
// the user starts from those values.
TSettingsLocation SettingsLocation(const std::string& exeDir, const std::string& programName);
// The same with the writability test supplied (tests: a root user may write
// everywhere, so a read-only installation cannot be made real there).
TSettingsLocation SettingsLocation(const std::string& exeDir, const std::string& programName,
                                   const std::function<bool(const std::string& path)>& writable);

class TMyIniFile : public Params::TIniFile {
public:
  explicit TMyIniFile(std::string fileName);

  // Writes that never throw: a refused write is logged once (see above). They
  // hide the throwing writes of the base, so every write through a
  // TMyIniFile is safe.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, std::int64_t value);
  void WriteBool(const std::string& section, const std::string& key, bool value);
  void WriteFloat(const std::string& section, const std::string& key, double value);
  void UpdateFile();
  // True once a write was refused in this session.
  bool WriteFailed() const { return FWriteFailed; }

  // Reads that also see values whose write was refused (kept in memory for
  // the session, and written again with the next write that succeeds).
  std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
  std::int32_t ReadInteger(const std::string& section, const std::string& key, std::int32_t def) const;
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;
  double ReadFloat(const std::string& section, const std::string& key, double def) const;

  // "IsDocked" in the section named after the window's caption; true when
  // unknown (a window not seen before starts docked).
  bool ReadIsDocked(const QWidget* control) const;
  // Writes "IsDocked" := not floating; for a floating window also "Height",
  // "Width", "Top" and "Left" of its bounds (in this order).
  // A widget is floating when it is (or sits directly in) a floating
  // QDockWidget, or when it is a top-level window that is not a dock widget.
  void SaveFormPlacement(const QWidget* form, const QString& section);
  // Sets the bounds of the window (the dock widget around a docked form) from
  // "Left" (200), "Top" (100), "Width" (300) and "Height" (200), pulled fully
  // onto the available area of a screen (FitOntoScreen).
  void RestoreFormPlacement(QWidget* form, const QString& section) const;

  // One boolean per item, keyed by the item's text, in the section named
  // after the list's objectName(); absent items read unchecked.
  void ReadCheckListState(QListWidget* list) const;
  void WriteCheckListState(const QListWidget* list);

private:
  // Runs a write; a refused one is logged once and its (section, key,
  // value) entries are kept in FUnsaved.
  template <class F>
  void Guarded(F&& write, std::vector<std::array<std::string, 3>> entries);
  const std::string* Unsaved(const std::string& section, const std::string& key) const;
  bool FWriteFailed = false;
  std::map<std::pair<std::string, std::string>, std::array<std::string, 3>> FUnsaved;
};

// Floating state and the window that carries the bounds of a placed form.
bool IsFloating(const QWidget* form);
QWidget* PlacementWindow(QWidget* form);
const QWidget* PlacementWindow(const QWidget* form);

// Bounds stored on another screen, at another scaling or before a panel
// moved can leave a window's title or status bar out of reach. The bounds
// are moved (and, when larger, shrunk) so that the window with its frame lies
// wholly inside the available area of the screen it overlaps most (the
// primary screen when it overlaps none). Without a screen they stay as given.
QRect FitOntoScreen(const QRect& bounds);

// The version of a program file of this project as "major.minor.release.build",
// read from the version mark the build puts into every such file (the
// equivalent of a version resource); empty when the file carries none.
std::string GetFileVersion(const std::string& fileName);
// The version of the running build, in the same form.
std::string BuildVersion();

} // namespace Shell
