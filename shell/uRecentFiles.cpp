#include "shell/uRecentFiles.h"

#include "shell/uMyIniFile.h"

#include <QDir>
#include <QFileInfo>

namespace Shell {

namespace {
std::string Key(int i) { return "File" + std::to_string(i + 1); }
} // namespace

QStringList TRecentFiles::Files() const {
  QStringList files;
  for (int i = 0; i < MaxCount; ++i) {
    const QString name = QString::fromStdString(FSettings.ReadString(Section, Key(i), ""));
    if (!name.isEmpty() && !files.contains(name))
      files << name;
  }
  return files;
}

void TRecentFiles::Add(const QString& fileName) {
  const QString full = QFileInfo(fileName).absoluteFilePath();
  QStringList files = Files();
  files.removeAll(full);
  files.prepend(full);
  Store(files);
}

void TRecentFiles::Remove(const QString& fileName) {
  QStringList files = Files();
  if (files.removeAll(fileName) > 0)
    Store(files);
}

void TRecentFiles::Store(const QStringList& files) {
  for (int i = 0; i < MaxCount; ++i)
    FSettings.WriteString(Section, Key(i), i < files.size() ? files[i].toStdString() : std::string());
}

QString ExamplesFolder(const QString& exeDir) {
  QStringList candidates{exeDir + "/../share/propagon/examples", exeDir + "/examples"};
#ifdef PROPAGON_SOURCE_EXAMPLES_DIR
  candidates << QStringLiteral(PROPAGON_SOURCE_EXAMPLES_DIR);
#endif
  for (const QString& c : candidates) {
    const QDir dir(c);
    if (dir.exists() && !dir.entryList({"*.kpx"}, QDir::Files).isEmpty())
      return QDir::cleanPath(dir.absolutePath());
  }
  return {};
}

} // namespace Shell
