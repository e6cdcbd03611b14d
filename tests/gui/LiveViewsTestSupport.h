#pragma once
// Helpers of the live-view tests: a host that records what the views ask of
// the program, an observer that forwards the run's calls to the views with
// plain calls (as the command line and the tests do), and store set-ups.

#include "engine/uDataStruct.h"
#include "engine/uSimObserver.h"
#include "plots/uDistribForm.h"
#include "plots/uLiveViewHost.h"
#include "plots/uStructureForm.h"

#include <QApplication>
#include <QMap>
#include <QMessageBox>

#include <cstdint>
#include <optional>

namespace ViewsTest {

class TFakeHost : public Plots::TLiveViewHost {
public:
  QString FileName;
  int Expected = 0; // 0: the caller's default
  bool Running = false;
  bool Paused = false;
  int Pauses = 0;
  int Resumes = 0;
  QMap<QString, int> Settings; // "Section/Key" -> value
  QStringList PlacementSections;
  QList<bool> MagGlass;
  bool HoldAtOnce = true;       // a pause request reaches the gate at once
  std::optional<bool> Floating; // unset: the view floats when it is a window
  bool MicrostructureTab = false;

  QString ParameterFileName() const override { return FileName; }
  int ExpectedChainsN(int defaultValue) const override { return Expected > 0 ? Expected : defaultValue; }
  int ReadSettingInteger(const QString& section, const QString& key, int defaultValue) const override {
    return Settings.value(section + "/" + key, defaultValue);
  }
  void WriteSettingInteger(const QString& section, const QString& key, int value) override {
    Settings[section + "/" + key] = value;
  }
  void SaveFormPlacement(QWidget*, const QString& section) override { PlacementSections << section; }
  bool SimulationRunning() const override { return Running; }
  bool SimulationPaused() const override { return Paused; }
  void PauseSimulation() override {
    ++Pauses;
    Paused = HoldAtOnce;
  }
  void ResumeSimulation() override {
    ++Resumes;
    Paused = false;
  }
  void ShowMagGlass(bool visible) override { MagGlass << visible; }
  bool MicrostructureTabActive() const override { return MicrostructureTab; }
  bool IsFloating(const QWidget* form) const override {
    return Floating.has_value() ? *Floating : Plots::TLiveViewHost::IsFloating(form);
  }
};

// Forwards the run's calls to the two views, as the desktop program's
// observer does (there through blocking calls to the window thread).
class TViewsObserver : public Engine::TSimObserver {
public:
  Plots::TStructureForm* Structure = nullptr;
  Plots::TDistributionForm* Distribution = nullptr;
  bool RepaintAtCheckPoints = true;

  void StructureFormResize() override {
    if (Structure) Structure->StructureFormResize();
  }
  void UpdateUserInterface(int) override {
    const Engine::TSimState& s = Engine::SimState();
    if (Distribution && s.ShowDistribution() && RepaintAtCheckPoints) Distribution->PaintBoxPaint();
    if (Structure && s.ShowStructure()) Structure->DrawGrid();
  }
  void DrawUnit(int chain, int position, int kind) override { Structure->DrawUnit(chain, position, kind); }
  void DrawUnitStrided(int chain, int position, int kind) override {
    Structure->DrawUnitStrided(chain, position, kind);
  }
  void EraseUnit(int chain, int position) override { Structure->EraseUnit(chain, position); }
  void DrawSegment(int x, int y, int length) override { Structure->DrawSegment(x, y, length); }
  void DrawSegmentStrided(int x, int y, int length) override { Structure->DrawSegmentStrided(x, y, length); }
  void ShowOneChainChange() override { Distribution->ShowOneChainChange(); }
  void ShowTwoChainsChange() override { Distribution->ShowTwoChainsChange(); }
};

// Sizes and resets the program's store for a run of `processType` with
// `initiators` initiator molecules (free radical: twice as many chain slots).
inline void PrepareStore(std::uint8_t processType, int initiators, Engine::TSimObserver* observer,
                         std::optional<int> expectedChains = std::nullopt) {
  Engine::TSimState& s = Engine::SimState();
  s.FreeAll();
  s.SetShowStructure(false);
  s.SetShowDistribution(false);
  s.Observer = observer;
  s.FixedSeed = 1;
  Engine::TRunDescription run;
  run.ProcessType = processType;
  run.InitiatorNumber = initiators;
  run.MonomerANumber = 10000000;
  run.MonomerBNumber = 10000000;
  run.MonomerAMolWeight = 100;
  run.MonomerBMolWeight = 100;
  run.InitiatorMolWeight = 100;
  run.ExpectedChainsN = expectedChains;
  run.CheckPointTime = {0.0, 1.0};
  s.AllocateMemory(run);
  s.InitializeRun();
}

// Leaves the program's store empty and detached from the test's views.
inline void ReleaseStore() {
  Engine::TSimState& s = Engine::SimState();
  s.SetShowStructure(false);
  s.SetShowDistribution(false);
  s.Observer = nullptr;
  s.FixedSeed.reset();
  s.FreeAll();
}

// The message box a view opened last (nullptr when none).
inline QMessageBox* LastMessageBox() {
  QMessageBox* found = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->objectName() == "LiveViewMessage" && box->isVisible())
      found = box;
  return found;
}

inline void CloseMessageBoxes() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->objectName() == "LiveViewMessage") box->close();
  QApplication::processEvents();
}

// Number of pixels that differ between two pictures of the same size.
inline int DifferentPixels(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return -1;
  int n = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (a.pixel(x, y) != b.pixel(x, y)) ++n;
  return n;
}

} // namespace ViewsTest
