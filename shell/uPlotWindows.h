#pragma once
// What the main window needs of the plot windows.
//
// The plot windows and their selection dialog live in plots/ and
// maldiview/, below the shell. The main window reaches them only through this
// interface: the plot selection (or an adapter over it) implements it and is
// handed to TMainForm::SetPlotWindows. Without one, the main window runs and
// logs as usual and simply has no plots. Every default does nothing.
//
// The engine's observer calls (live-view flags, InitializePlots, the
// per-check-point UpdateUserInterface, the per-event calls) reach the plot
// windows on the window thread through the main window, which forwards them
// here; the simulation thread waits meanwhile, so the windows may read the
// simulation state.
//
// Window thread only.

#include "engine/uSimObserver.h"

class QWidget;

namespace Shell {

class TPlotWindows : public Engine::TSimObserver {
public:
  // Create Plots: the selection dialog, shown modally, hidden afterwards.
  virtual void ShowSelection() {}
  // Show All Plots: shows every selected window that exists.
  virtual void ShowAllPlots() {}
  // Clear: ClearData of the chart windows of slots 2..7, ClearPlot of the
  // microstructure view, ClearPaintBox of the DP distribution view.
  virtual void ClearData() {}
  // Pause, after the mass distributions were computed from the paused run:
  // recompute the SEC and mass-distribution windows, DrawGrid on the
  // microstructure view, repaint `activePage` and the visible charts of
  // slot 3 on.
  virtual void RefreshOnPause(QWidget* activePage) { (void)activePage; }
  // Resume: the microstructure view back to normal magnification.
  virtual void BeforeResume() {}
  // End of a run, after CalcMassDistributions: CalculateSEC of the SEC
  // window, CalcSmoothDistributions of the mass-distribution window.
  virtual void RunEnded() {}
  // Whether `page` (a docked window) is the microstructure view.
  virtual bool IsMicrostructureView(const QWidget* page) const { (void)page; return false; }
  // Enlarge/Restore Microstructure.
  virtual void SetMagnified(bool magnified) { (void)magnified; }
  // Program end: every window saves its placement and is destroyed.
  virtual void CloseAll() {}
};

} // namespace Shell
