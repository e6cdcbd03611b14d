#pragma once
// The plot selection ("Plots Creation Form"): the small dialog in which the
// user chooses which plot windows exist, and the owner of those windows.
//
// Nine slots, one per entry of the check list and in its order. A checked
// entry's window is created (and docked or placed as it was left last time)
// when the user presses OK or at program start; an unchecked entry's window
// is destroyed. Closing a window only hides it; Show All Plots brings it back.
// The check marks are kept in the settings section "DefinedPlotsList".
//
// The selection is also where the run's calls reach the windows: it
// implements the engine's observer for the plot windows (InitializePlots and
// UpdateUserInterface in the order dyads, DP, kinetics, centres; the live
// views' per-event calls) and the main window's commands on them (Clear,
// Pause, Show All Plots, end of run). The shell forwards its observer calls
// and commands here.
//
// The MALDI window belongs to a layer above this one: its factory is
// registered by the program before FormCreate. An entry without a factory
// gets a window that says the plot is not available.
//
// Threading: window thread only. The observer methods are called there by
// the shell's blocking observer while the simulation thread waits.

#include "engine/uSimObserver.h"

#include <QDialog>
#include <QPointer>

#include <array>
#include <functional>

class QLabel;
class QListWidget;
class QPushButton;

namespace Plots {

class TCentersForm;
class TChartForm;
class TDPChartForm;
class TDistributionForm;
class TDyadForm;
class TKineticsChartForm;
class TPlotHost;
class TStructureForm;

class TPlotsListForm : public QDialog, public Engine::TSimObserver {
  Q_OBJECT

public:
  static constexpr int SlotCount = 9;
  enum TSlot : int {
    slStructure = 0,
    slDistribution = 1,
    slKinetics = 2,
    slCenters = 3,
    slDP = 4,
    slDyads = 5,
    slMassDistribution = 6,
    slSEC = 7,
    slMALDI = 8,
  };
  // Settings section of the check marks: the list's name.
  static constexpr const char* ListSection = "DefinedPlotsList";

  // The entry text (also the settings key) and the window caption (also the
  // placement section) of a slot.
  static QString EntryText(int slot);
  // The two views drawn at every event (they slow a run down), and the hint
  // their entries carry.
  static bool IsLiveView(int slot);
  static constexpr const char* LiveViewNote =
      "Drawn live at every event: while this view is selected, a run is 50-100 times slower.";
  static QString SlotCaption(int slot);

  using TWindowFactory = std::function<QWidget*(TPlotHost* host)>;

  // Creates the dialog with its nine empty slots; FormCreate fills them.
  explicit TPlotsListForm(TPlotHost* host, QWidget* parent = nullptr);
  // Destroys the windows still held without saving anything (the host may
  // be gone by then): call FormDestroy first at program end.
  ~TPlotsListForm() override;

  // Replaces the maker of a slot's window (before FormCreate; a window that
  // already exists stays until its slot is emptied).
  void RegisterWindowFactory(int slot, TWindowFactory factory);

  // ---- the dialog ------------------------------------------------------------
  // Reads the nine check marks from the settings and creates their windows.
  void FormCreate();
  // Create Plots: shows the dialog modally, then hides it.
  void ShowSelection();
  // Writes the check marks, applies them and closes the dialog.
  void btnOKClick();
  // Closes the dialog; the marks stay as the user left them until the next OK.
  void btnCancelClick();
  // The user toggled an entry: during a run, toggling a live view's entry
  // stops that view's live drawing at once.
  void DefinedPlotsListClickCheck(int slot);
  // Creates the windows of checked entries with empty slots and destroys
  // those of unchecked entries.
  void CreateSelectedPlots();
  // Shows every window whose entry is checked and whose slot holds one.
  void ShowAllPlots();
  // Program end: every window saves its placement and is destroyed.
  void FormDestroy();

  bool Checked(int slot) const;
  void SetChecked(int slot, bool checked);

  // ---- the windows -------------------------------------------------------------
  QWidget* PlotWindow(int slot) const;
  TStructureForm* StructureForm() const;
  TDistributionForm* DistributionForm() const;
  TKineticsChartForm* KineticsChartForm() const;
  TCentersForm* CentersForm() const;
  TDPChartForm* DPChartForm() const;
  TDyadForm* DyadForm() const;
  TChartForm* ChartWindow(int slot) const;

  // ---- the run's calls (engine observer) ------------------------------------
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
  void EndOfRunStatistics() override;

  // ---- the main window's commands ----------------------------------------------
  // Clear: the data of the chart windows of slots 2 … 7 and both live views.
  void ClearData();
  // Pause: recompute the statistics windows, redraw the microstructure
  // grid, repaint `activePage` and the visible chart windows from slot 3 on.
  void RefreshOnPause(QWidget* activePage);
  // Resume: the microstructure view back to normal magnification.
  void BeforeResume();
  // A run started, ended, was paused or resumed: every chart window hears it.
  void RunStateChanged();
  bool IsMicrostructureView(const QWidget* page) const;
  // Another parameter file was opened: the chart titles name it.
  void ParameterFileChanged();
  void SetMagnified(bool magnified);

  QListWidget* DefinedPlotsList = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;
  QLabel* LiveViewNoteLabel = nullptr;

private:
  QWidget* CreateWindow(int slot);
  void EmptySlot(int slot);

  TPlotHost* FHost;
  std::array<QPointer<QWidget>, SlotCount> FPlotWindowList;
  std::array<TWindowFactory, SlotCount> FFactories;
  bool FLoading = false;
};

} // namespace Plots
