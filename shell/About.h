#pragma once
// The about box: product name, the program file's version, the physical
// memory and the memory in use.

#include <QDialog>

class QLabel;

namespace Shell {

class TAboutBox : public QDialog {
  Q_OBJECT

public:
  // `programFile`: the program whose version is shown; `meminfoFile`: where
  // the memory figures come from.
  explicit TAboutBox(QWidget* parent, const QString& programFile,
                     const QString& meminfoFile = QStringLiteral("/proc/meminfo"));

  QLabel* ProductName() const { return FProductName; }
  QLabel* Version() const { return FVersion; }
  QLabel* PhysMem() const { return FPhysMem; }
  QLabel* FreeRes() const { return FFreeRes; }

private:
  QLabel* FProductName;
  QLabel* FVersion;
  QLabel* FPhysMem;
  QLabel* FFreeRes;
};

} // namespace Shell
