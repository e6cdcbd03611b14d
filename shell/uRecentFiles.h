#pragma once
// The parameter files opened last, newest first, kept in the settings file
// (section "RecentFiles", keys "File1" … "File8") so File › Recent Files
// offers them again at the next start. Window thread only.

#include <QString>
#include <QStringList>

namespace Shell {

class TMyIniFile;

class TRecentFiles {
public:
  static constexpr int MaxCount = 8;
  static constexpr const char* Section = "RecentFiles";

  explicit TRecentFiles(TMyIniFile& settings) : FSettings(settings) {}

  // The stored list, newest first; empty and repeated entries dropped.
  QStringList Files() const;
  // Puts `fileName` (made absolute) first, dropping an older entry of the
  // same file and the oldest beyond MaxCount.
  void Add(const QString& fileName);
  // Drops a file (it no longer exists).
  void Remove(const QString& fileName);

private:
  void Store(const QStringList& files);
  TMyIniFile& FSettings;
};

// The folder of the example parameter files: the installed
// share/propagon/examples beside the program's bin folder, an examples
// folder beside the program, or the source tree's examples/ of this build.
// Empty when none of them holds a .kpx file.
QString ExamplesFolder(const QString& exeDir);

} // namespace Shell
