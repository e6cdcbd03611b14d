#pragma once
// Helpers of the chart-window tests: a host with plain fields, recorded
// check points written straight into the simulation state, and a parameter
// file in a temporary folder.

#include "engine/uDataStruct.h"
#include "params/uParamFile.h"
#include "plots/uPlotHost.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QWidget>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace PlotsTest {

class TTestHost : public Plots::TPlotHost {
public:
  QString FileName;
  std::unique_ptr<Params::TParameterFile> File;
  double Scaling = 0.005;
  bool Started = false;
  bool Running = false;
  int CheckPoint = 0;
  std::map<QString, bool> Bools;
  std::map<QString, int> Integers;
  std::vector<QString> SavedPlacements;
  std::vector<std::pair<QWidget*, int>> Docked;
  std::vector<std::pair<QWidget*, QRect>> Floated;
  std::vector<QWidget*> Released;
  int MessagesPageShown = 0;

  QString ParameterFileName() const override { return FileName; }
  double ScalingFactor() const override { return Scaling; }
  const Params::TParameterFile* RunParameterFile() const override { return File.get(); }
  bool RunStarted() const override { return Started; }
  bool SimulationRunning() const override { return Running; }
  int CurrentCheckPoint() const override { return CheckPoint; }
  bool ReadSettingBool(const QString& section, const QString& key, bool defaultValue) const override {
    const auto it = Bools.find(section + QLatin1Char('/') + key);
    return it == Bools.end() ? defaultValue : it->second;
  }
  void WriteSettingBool(const QString& section, const QString& key, bool value) override {
    Bools[section + QLatin1Char('/') + key] = value;
  }
  int ReadSettingInteger(const QString& section, const QString& key, int defaultValue) const override {
    const auto it = Integers.find(section + QLatin1Char('/') + key);
    return it == Integers.end() ? defaultValue : it->second;
  }
  void WriteSettingInteger(const QString& section, const QString& key, int value) override {
    Integers[section + QLatin1Char('/') + key] = value;
  }
  void SaveFormPlacement(QWidget* form, const QString& section) override {
    (void)form;
    SavedPlacements.push_back(section);
  }
  void DockPlotWindow(QWidget* window, int tag) override { Docked.emplace_back(window, tag); }
  void FloatPlotWindow(QWidget* window, const QRect& bounds) override { Floated.emplace_back(window, bounds); }
  void ReleasePlotWindow(QWidget* window) override { Released.push_back(window); }
  void ShowMessagesPage() override { ++MessagesPageShown; }

  // Writes a parameter file with the given SimulationParameters lines and
  // opens it as the run's file.
  void UseParameterFile(const QTemporaryDir& dir, const std::string& simulationParameters) {
    FileName = dir.filePath(QStringLiteral("run1.kpx"));
    QFile f(FileName);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
      const std::string text = "[SimulationParameters]\r\n" + simulationParameters;
      f.write(text.data(), static_cast<qint64>(text.size()));
    }
    f.close();
    File = std::make_unique<Params::TParameterFile>(FileName.toStdString());
  }
};

// One recorded check point.
struct TRecord {
  double Time;
  int Initiator;
  int MonomerA;
  int MonomerB;
  int DeadChains = 0;
  double ACenters = 0.0;
  double BCenters = 0.0;
  double Dyads[4] = {0.0, 0.0, 0.0, 0.0};
};

// Puts the records of check points 0 … records.size()-1 into the simulation
// state as a run leaves them (CheckPointsHigh = last index).
inline void SetRecords(std::uint8_t processType, const std::vector<TRecord>& records, int chains = 10) {
  Engine::TSimState& s = Engine::SimState();
  s.FreeAll();
  s.ProcessType = processType;
  s.ChainsNumber = chains;
  s.CheckPointsHigh = static_cast<std::int32_t>(records.size()) - 1;
  s.CheckPointTime.clear();
  for (const TRecord& r : records) {
    s.CheckPointTime.push_back(r.Time);
    s.CPInitiator.push_back(r.Initiator);
    s.CPMonomerA.push_back(r.MonomerA);
    s.CPMonomerB.push_back(r.MonomerB);
    s.CPDeadChains.push_back(r.DeadChains);
    s.CPACenters.push_back(r.ACenters);
    s.CPBCenters.push_back(r.BCenters);
    for (int row = 0; row < 4; ++row)
      s.CPDyads[static_cast<std::size_t>(row)].push_back(r.Dyads[row]);
  }
  s.DPDistribution.assign(Engine::MaxDP + 1, 0);
}

inline void ClearState() { Engine::SimState().FreeAll(); }

// Saves a picture of a window when PROPAGON_SNAPSHOT_DIR names a folder
// (for looking at the charts; the tests never compare pixels).
inline void Snapshot(QWidget& window, const char* name) {
  const char* dir = std::getenv("PROPAGON_SNAPSHOT_DIR");
  if (!dir || !*dir)
    return;
  QDir().mkpath(QString::fromLocal8Bit(dir));
  // Let queued redraws happen first, as the event loop would.
  QCoreApplication::processEvents();
  window.grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(name) + QStringLiteral(".png")));
}

} // namespace PlotsTest
