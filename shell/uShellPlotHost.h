#pragma once
// The main window as the plot windows see it: the shell's implementation of
// Plots::TPlotHost (which includes the live views' TLiveViewHost).
//
// Settings go to the program's settings file, docking to the main window's
// tabs, run questions to the main window's simulation control. Window thread
// only, like the interface.

#include "plots/uPlotHost.h"

namespace Shell {

class TMainForm;

class TShellPlotHost : public Plots::TPlotHost {
public:
  explicit TShellPlotHost(TMainForm& mainForm) : FMainForm(mainForm) {}

  // TLiveViewHost
  QString ParameterFileName() const override;
  int ExpectedChainsN(int defaultValue) const override;
  int ReadSettingInteger(const QString& section, const QString& key, int defaultValue) const override;
  void WriteSettingInteger(const QString& section, const QString& key, int value) override;
  void SaveFormPlacement(QWidget* form, const QString& section) override;
  bool SimulationRunning() const override;
  bool SimulationPaused() const override;
  void PauseSimulation() override;
  void ResumeSimulation() override;
  void ShowMagGlass(bool visible) override;
  bool MicrostructureTabActive() const override;

  // TPlotHost
  double ScalingFactor() const override;
  const Params::TParameterFile* RunParameterFile() const override;
  bool RunStarted() const override;
  int CurrentCheckPoint() const override;
  bool ReadSettingBool(const QString& section, const QString& key, bool defaultValue) const override;
  void WriteSettingBool(const QString& section, const QString& key, bool value) override;
  QString ReadSettingString(const QString& section, const QString& key, const QString& defaultValue) const override;
  void WriteSettingString(const QString& section, const QString& key, const QString& value) override;
  QStringList ReadSettingSection(const QString& section) const override;
  QWidget* MainWindow() const override;
  void DockPlotWindow(QWidget* window, int tag) override;
  void FloatPlotWindow(QWidget* window, const QRect& bounds) override;
  void ShowPlotWindow(QWidget* window) override;
  void ReleasePlotWindow(QWidget* window) override;
  void ShowMessagesPage() override;

private:
  TMainForm& FMainForm;
};

} // namespace Shell
