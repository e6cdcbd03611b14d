#include "shell/About.h"

#include "shell/uIcons.h"
#include "shell/uMyIniFile.h"
#include "shell/uSystemInfo.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>

namespace Shell {

TAboutBox::TAboutBox(QWidget* parent, const QString& programFile, const QString& meminfoFile)
    : QDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle("About Propago®");

  auto* picture = new QLabel(this);
  picture->setPixmap(ApplicationPicture(96));
  picture->setAlignment(Qt::AlignTop);

  FProductName = new QLabel("Propagon", this);
  FProductName->setObjectName("ProductName");
  QFont big = FProductName->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  FProductName->setFont(big);

  std::string version = GetFileVersion(programFile.toStdString());
  if (version.empty())
    version = BuildVersion(); // a program file without the mark (moved, stripped)
  FVersion = new QLabel(QString::fromStdString("Version " + version), this);
  FVersion->setObjectName("Version");

  auto* comments = new QLabel(
      "Monte Carlo simulator of polymerization processes:\n"
      "kinetics, distributions, SEC traces, chain microstructure\n"
      "and isotopically resolved MALDI-ToF spectra.",
      this);

  // What the program is built from, and where its isotope data come from.
  auto* credits = new QLabel(
      QString("Built with Qt %1 (GNU LGPL v3, The Qt Company) and QCustomPlot 2.1\n"
              "(GNU GPL v3, Emanuel Eichhammer). Isotope masses and abundances:\n"
              "NIST, \"Atomic Weights and Isotopic Compositions\".")
          .arg(QString::fromLatin1(qVersion())),
      this);
  credits->setObjectName("Credits");
  QFont small = credits->font();
  small.setPointSizeF(small.pointSizeF() * 0.9);
  credits->setFont(small);

  const TMemoryStatus memory = ReadMemoryStatus(meminfoFile.toStdString());
  FPhysMem = new QLabel(memory.Valid ? QString::fromStdString(FormatPhysicalMemory(memory.TotalPhys))
                                     : QStringLiteral("unknown"),
                        this);
  FPhysMem->setObjectName("PhysMem");
  FFreeRes = new QLabel(memory.Valid ? QString::fromStdString(FormatMemoryLoad(memory.MemoryLoad))
                                     : QStringLiteral("unknown"),
                        this);
  FFreeRes->setObjectName("FreeRes");

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* grid = new QGridLayout(this);
  grid->addWidget(picture, 0, 0, 5, 1);
  grid->addWidget(FProductName, 0, 1, 1, 2);
  grid->addWidget(FVersion, 1, 1, 1, 2);
  grid->addWidget(comments, 2, 1, 1, 2);
  // The system this build runs on is Linux, whatever the original said.
  grid->addWidget(new QLabel("Physical Memory Available to Linux:", this), 3, 1);
  grid->addWidget(FPhysMem, 3, 2, Qt::AlignRight);
  grid->addWidget(new QLabel("Memory in Use:", this), 4, 1);
  grid->addWidget(FFreeRes, 4, 2, Qt::AlignRight);
  grid->addWidget(credits, 5, 1, 1, 2);
  grid->addWidget(buttons, 6, 0, 1, 3);
}

} // namespace Shell
