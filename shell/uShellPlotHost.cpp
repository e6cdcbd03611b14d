#include "shell/uShellPlotHost.h"

#include "params/uParamFile.h"
#include "shell/uMainForm.h"
#include "shell/uMyIniFile.h"
#include "shell/uPlotWindows.h"

#include <QDockWidget>

namespace Shell {

QString TShellPlotHost::ParameterFileName() const { return FMainForm.ParameterFileName(); }

int TShellPlotHost::ExpectedChainsN(int defaultValue) const {
  const Params::TParameterFile* file = FMainForm.RunParameterFile();
  return file ? file->ReadInteger("General", "ExpectedChainsN", defaultValue) : defaultValue;
}

int TShellPlotHost::ReadSettingInteger(const QString& section, const QString& key, int defaultValue) const {
  return FMainForm.Settings().ReadInteger(section.toStdString(), key.toStdString(), defaultValue);
}

void TShellPlotHost::WriteSettingInteger(const QString& section, const QString& key, int value) {
  FMainForm.Settings().WriteInteger(section.toStdString(), key.toStdString(), value);
}

QString TShellPlotHost::ReadSettingString(const QString& section, const QString& key,
                                          const QString& defaultValue) const {
  return QString::fromStdString(
      FMainForm.Settings().ReadString(section.toStdString(), key.toStdString(), defaultValue.toStdString()));
}

void TShellPlotHost::WriteSettingString(const QString& section, const QString& key, const QString& value) {
  FMainForm.Settings().WriteString(section.toStdString(), key.toStdString(), value.toStdString());
}

QStringList TShellPlotHost::ReadSettingSection(const QString& section) const {
  QStringList keys;
  for (const std::string& key : FMainForm.Settings().ReadSection(section.toStdString()))
    keys << QString::fromStdString(key);
  return keys;
}

QWidget* TShellPlotHost::MainWindow() const { return &FMainForm; }

void TShellPlotHost::SaveFormPlacement(QWidget* form, const QString& section) {
  FMainForm.Settings().SaveFormPlacement(form, section);
}

bool TShellPlotHost::SimulationRunning() const { return FMainForm.SimulationRunning(); }

bool TShellPlotHost::SimulationPaused() const { return FMainForm.SimulationHeld(); }

void TShellPlotHost::PauseSimulation() { FMainForm.HoldRun(); }

void TShellPlotHost::ResumeSimulation() { FMainForm.ReleaseRun(); }

void TShellPlotHost::ShowMagGlass(bool visible) { FMainForm.ShowMagGlass(visible); }

bool TShellPlotHost::MicrostructureTabActive() const {
  const QDockWidget* page = FMainForm.ActivePage();
  return page && !page->isFloating() && FMainForm.PlotWindows() &&
         FMainForm.PlotWindows()->IsMicrostructureView(page->widget());
}

double TShellPlotHost::ScalingFactor() const { return FMainForm.ScalingFactor(); }

const Params::TParameterFile* TShellPlotHost::RunParameterFile() const { return FMainForm.RunParameterFile(); }

bool TShellPlotHost::RunStarted() const { return FMainForm.RunHasTakenPlace(); }

int TShellPlotHost::CurrentCheckPoint() const { return FMainForm.CurrentCheckPoint(); }

bool TShellPlotHost::ReadSettingBool(const QString& section, const QString& key, bool defaultValue) const {
  return FMainForm.Settings().ReadBool(section.toStdString(), key.toStdString(), defaultValue);
}

void TShellPlotHost::WriteSettingBool(const QString& section, const QString& key, bool value) {
  FMainForm.Settings().WriteBool(section.toStdString(), key.toStdString(), value);
}

void TShellPlotHost::DockPlotWindow(QWidget* window, int tag) { FMainForm.DockForm(window, tag); }

void TShellPlotHost::FloatPlotWindow(QWidget* window, const QRect& bounds) { FMainForm.FloatForm(window, bounds); }

void TShellPlotHost::ShowPlotWindow(QWidget* window) { FMainForm.ShowForm(window); }

void TShellPlotHost::ReleasePlotWindow(QWidget* window) { FMainForm.ReleaseForm(window); }

void TShellPlotHost::ShowMessagesPage() { FMainForm.ShowMessagesPage(); }

} // namespace Shell
