#pragma once
// The plot selection as the main window uses it: the "Plots Creation Form"
// of plots/ (which owns the plot windows), the host object through which
// those windows reach the main window, and the forwarding of the main
// window's commands and the run's calls to them.
//
// Created hidden by the main window at start-up (it creates the windows
// chosen last time); FormDestroy at close lets every window save its
// placement. Window thread only.

#include "shell/uPlotWindows.h"

#include <memory>

namespace Plots {
class TPlotsListForm;
}

namespace Shell {

class TMainForm;
class TShellPlotHost;

class TPlotSelection : public TPlotWindows {
public:
  explicit TPlotSelection(TMainForm& mainForm);
  ~TPlotSelection() override;

  Plots::TPlotsListForm& ListForm() const { return *FListForm; }
  TShellPlotHost& Host() const { return *FHost; }

  // Reads the check marks and creates the windows chosen last time.
  void FormCreate();

  // TPlotWindows
  void ShowSelection() override;
  void ShowAllPlots() override;
  void ClearData() override;
  void RefreshOnPause(QWidget* activePage) override;
  void BeforeResume() override;
  void RunEnded() override;
  bool IsMicrostructureView(const QWidget* page) const override;
  void SetMagnified(bool magnified) override;
  void CloseAll() override;

  // Engine::TSimObserver (window thread, the run waiting)
  void GetLiveViewFlags(bool& showStructure, bool& showDistribution) override;
  void StructureFormResize() override;
  void InitializePlots() override;
  void UpdateUserInterface(int checkPoint) override;
  void DrawUnit(int chain, int position, int kind) override;
  void DrawUnitStrided(int chain, int position, int kind) override;
  void EraseUnit(int chain, int position) override;
  void DrawSegment(int to, int from, int length) override;
  void DrawSegmentStrided(int to, int from, int length) override;
  void ShowOneChainChange() override;
  void ShowTwoChainsChange() override;

private:
  std::unique_ptr<TShellPlotHost> FHost;
  Plots::TPlotsListForm* FListForm; // a child of the main window
  bool FDestroyed = false;
};

} // namespace Shell
