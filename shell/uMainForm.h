#pragma once
// The program's main window: opens a parameter file, runs, pauses and stops
// the simulation, shows the message log and the one-line summary, and hosts
// the plot windows as tabs.
//
// Threads. The window lives on the window thread. A run happens on the
// simulation thread (Engine::TSimThread); its observer calls reach this window
// through a TBlockingObserver, i.e. as queued calls the simulation thread
// waits for. This window never waits for the simulation thread: Stop only sets
// the run's termination flag, Pause sets the run's pause gate, and the end of
// the run is handled when the run reports it. SimulationRunning() is true from
// Perform until the end-of-run handling has finished; Open, Perform and Clear
// asked for during the last step of a stopped run are carried out right after
// it (no run starts and no store is released while one is still going).
//
// Tabs. The "Messages" page and every docked plot window are dock widgets,
// tabified in one group that fills the window. A window dragged out floats; a
// window dragged back (or docked through the menu) is put back into the tab
// group at the position its tag asks for.

#include "engine/uSimObserver.h"
#include "shell/uIntro.h"
#include "shell/uMaldiBinding.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QDockWidget;
class QDragEnterEvent;
class QDropEvent;
class QMenu;
class QLabel;
class QPlainTextEdit;

namespace Params {
class TParameterFile;
}
namespace Propagon {
class TLogSink;
}
namespace Engine {
class TSimThread;
}

namespace Shell {

class TBlockingObserver;
class TGuiLogSink;
class TMyIniFile;
class TPlotWindows;
class TPlotSelection;
class TRunProgress;
class TShellDialogs;

struct TMainFormOptions {
  // Folder of the program file, with or without a trailing '/'.
  QString ExeDir;
  // Command-line arguments after the program name.
  QStringList Arguments;
  // The settings file (owned by the caller; lives longer than the window).
  TMyIniFile* Settings = nullptr;
  // Dialogs and message boxes (owned by the caller).
  TShellDialogs* Dialogs = nullptr;
  // Where the message log is saved at close (empty: not saved).
  QString LogFileName;
  // Install the window as the program's log sink (off in tests that capture).
  bool InstallLogSink = true;
  // Create the plot selection (and the plot windows chosen last time).
  bool CreatePlotSelection = true;
};

class TMainForm : public QMainWindow, public Engine::TSimObserver {
  Q_OBJECT

public:
  explicit TMainForm(const TMainFormOptions& options);
  ~TMainForm() override;

  // ---- actions (the program's vocabulary) ----
  QAction* aOpenParam = nullptr;
  QAction* aFileExit = nullptr;
  QAction* aPerformSimulation = nullptr;
  QAction* aPauseSimulation = nullptr;
  QAction* aStopSimulation = nullptr;
  QAction* aCreatePlots = nullptr;
  QAction* aShowAllPlots = nullptr;
  QAction* aClear = nullptr;
  QAction* aParamSettings = nullptr;
  QAction* aBrowseForMALDIFolder = nullptr;
  QAction* aShowIntro = nullptr;
  QAction* aShowDemo = nullptr;
  QAction* aShowManual = nullptr;
  QAction* aAbout = nullptr;
  QAction* aMicrostructureEnlarge = nullptr;
  QAction* aMicrostructureRestore = nullptr;
  QAction* aFloatPage = nullptr;  // float / dock the active plot window
  QAction* aDockAllPlots = nullptr;
  QAction* aOpenExample = nullptr;  // the open dialog in the examples folder
  QMenu* RecentFilesMenu = nullptr; // File › Recent Files (the last 8 opened)

  // ---- program-wide values ----
  const QString& ExeDir() const { return FExeDir; }
  const QString& ParameterFileName() const { return FParameterFileName; }
  const QString& ParametersPath() const { return FParametersPath; }
  double ScalingFactor() const { return FScalingFactor; }
  Params::TParameterFile* RunParameterFile() const { return FRunParameterFile.get(); }
  TMyIniFile& Settings() const { return *FSettings; }
  TShellDialogs& Dialogs() const { return *FDialogs; }
  TMaldiBinding& MaldiBinding() { return FMaldi; }
  // From Perform until the end-of-run handling has finished.
  bool SimulationRunning() const { return FSimulationRunning; }
  // Pause has been asked for and not withdrawn (Pause toggles it).
  bool SimulationPauseRequested() const;
  // The run is held at its pause gate (statistics may be read).
  bool SimulationHeld() const;
  int CurrentCheckPoint() const { return FCurrentCheckPoint.load(); }
  // A run has been started since the program started (chart windows
  // created later rebuild their curves when this is true).
  bool RunHasTakenPlace() const { return FRunHasTakenPlace; }

  // ---- start-up and the command ----
  // The start-up steps after the window exists (busy cursor, settings,
  // number format, 64-bit test, library, placement). Run by the constructor.
  void FormCreate();
  // First show: the command-line file and the introduction window. Run once
  // by the first showEvent; tests call it directly.
  void FormShow();
  // Opens ParameterFileName: validity check, Clear, memory check, Perform.
  void OpenParameterFile();
  // Opens a file by name as the open dialog would (tests, the editor's
  // accepted file).
  void OpenParameterFileByName(const QString& fileName);
  // Enabled states after `action` (see the state table in the manual).
  void SetButtonsStatus(QAction* action);
  // Shows or hides Enlarge/Restore Microstructure.
  void ShowMagGlass(bool visible);
  // Loads and examines the MALDI library; updates Search MALDI DLL.
  void CheckMALDILibrary(const QString& path);

  // ---- log and status line ----
  // Appends one line to the Messages page (window thread).
  void AppendLog(const QString& line);
  QStringList LogLines() const;
  QString StatusText() const;
  // The status line for check point k from the simulation state.
  static QString SummaryText(int checkPoint);
  // "Time= 0.00s  Conv= 0.000  Mn= 0" for given numbers.
  static QString SummaryText(double time, double conversion, double mn);
  void SetStatusText(const QString& text);
  // The summary as the status line shows it: with the unit of Mn.
  static QString WithUnits(const QString& summary);
  // The run's progress between check points (status line, right part).
  TRunProgress* RunProgress() const { return FRunProgress; }
  // The parameter files opened last, newest first.
  QStringList RecentFiles() const;
  // Opens the Recent Files entry `index` (a vanished file is dropped).
  void OpenRecentFile(int index);
  // The folder File › Open Example starts in (empty when none was found).
  QString ExamplesFolder() const;
  void aOpenExampleExecute();

  // ---- pages and docking ----
  QDockWidget* MessagesPage() const { return FMessagesPage; }
  QPlainTextEdit* MessageMemo() const { return FMessageMemo; }
  // Brings the Messages page to the front.
  void ShowMessagesPage();
  // Docks `form` as a tab (creating its dock widget the first time). The tag
  // is the preferred tab index; the Messages page is index 0.
  QDockWidget* DockForm(QWidget* form, int tag);
  // Floats `form` (docking it first if needed) with the given bounds.
  QDockWidget* FloatForm(QWidget* form, const QRect& bounds);
  // The dock widget that carries `form` (nullptr if it was never docked).
  QDockWidget* DockOf(const QWidget* form) const;
  // Shows a form that was closed, with its frame: a docked one goes back to
  // its tab (Show All Plots).
  void ShowForm(QWidget* form);
  // Removes a form's dock widget (the form is being destroyed or reparented).
  void ReleaseForm(QWidget* form);
  // Docked pages in tab order (Messages first).
  std::vector<QDockWidget*> TabOrder() const { return FTabOrder; }
  // The page on the active tab.
  QDockWidget* ActivePage() const { return FActivePage; }
  void ActivatePage(QDockWidget* page);
  // Where a page with `tag` goes among `tabCount` tabs when it is appended
  // and moved left while its tag is below the index of its tab.
  static int TabInsertIndex(int tag, int tabCount);

  // ---- plot windows ----
  void SetPlotWindows(TPlotWindows* plots);
  TPlotWindows* PlotWindows() const { return FPlots; }
  // The plot selection the window created at start-up (nullptr when the
  // options said not to).
  TPlotSelection* PlotSelection() const { return FPlotSelection.get(); }

  // ---- simulation control (the action handlers) ----
  void aOpenParamExecute();
  void aPerformSimulationExecute();
  void aPauseSimulationExecute();
  void aStopSimulationExecute();
  void aClearExecute();
  // Holds the run at its pause gate / lets it go, without the Pause
  // button's hints (the microstructure view's enlarged mode).
  void HoldRun();
  void ReleaseRun();
  void aBrowseForMALDIFolderExecute();
  void aShowIntroExecute();
  void aShowDemoExecute();
  void aShowManualExecute();
  void aAboutExecute();
  void aParamSettingsExecute();
  // The parameter editor: shown modally by Parameter Settings (it starts with
  // ParameterFileName()); it returns the file accepted with "Accept & Exit",
  // or an empty text. The main window then clears and opens that file. Set by
  // the program entry (the editor lives in its own target).
  using TEditorFactory = std::function<QString(TMainForm& mainForm)>;
  void SetParameterEditor(TEditorFactory editor) { FParameterEditor = std::move(editor); }

  // Whether closing is allowed now; shows the refusal message when Stop is
  // enabled. (closeEvent asks this.)
  bool FormCloseQuery();
  // Placement and log saved (closeEvent runs it after FormCloseQuery).
  void FormClose();

  // The introduction window while it is open.
  TIntroForm* IntroForm() const { return FIntro; }

  // ---- Engine::TSimObserver, on the window thread ----
  void GetLiveViewFlags(bool& showStructure, bool& showDistribution) override;
  void StructureFormResize() override;
  void InitializePlots() override;
  void DisplaySimulSummary(int checkPoint) override;
  void UpdateUserInterface(int checkPoint) override;
  void DrawUnit(int chain, int position, int kind) override;
  void DrawUnitStrided(int chain, int position, int kind) override;
  void EraseUnit(int chain, int position) override;
  void DrawSegment(int x, int y, int length) override;
  void DrawSegmentStrided(int x, int y, int length) override;
  void ShowOneChainChange() override;
  void ShowTwoChainsChange() override;
  void SimulationPaused() override;
  void ExecuteReturned() override;
  void EndOfRunStatistics() override;
  void SimulationEnded() override;

  // The running simulation (nullptr between runs); the plot selection
  // switches its live views through it.
  Engine::TSimThread* SimThread() const { return FSimThread.get(); }

signals:
  // Perform has started a run.
  void RunStarted();
  // A run has ended and its end-of-run handling is done.
  void RunEnded();

protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void HidePage(QDockWidget* dock);
  void FillRecentFilesMenu();
  void BeginProgress();
  void UpdatePauseState();
  void CreateActions();
  void CreateMenus();
  void CreatePages();
  void OnTabActivated(QDockWidget* page);
  void OnDockTopLevelChanged(QDockWidget* dock, bool floating);
  void ApplyTabOrder();
  void RestoreMainPlacement();
  void OpenDocument(const QString& relativeName, const QString& errorPrefix);
  // Runs `work` now, or right after the end-of-run handling of the run
  // that is still finishing.
  void WhenIdle(std::function<void()> work);
  void StartRun();
  void DoClear();
  void UpdateMicrostructureActions();
  void IntroClosed();

  TMyIniFile* FSettings;
  TShellDialogs* FDialogs;
  QString FExeDir;
  QStringList FArguments;
  QString FLogFileName;
  QString FParameterFileName;
  QString FParametersPath;
  QString FOpenDialogFileName;
  double FScalingFactor = 0.005;
  std::unique_ptr<Params::TParameterFile> FRunParameterFile;
  TMaldiBinding FMaldi;
  TMaldiBinding* FPreviousActiveBinding = nullptr;
  TPlotWindows* FPlots = nullptr;
  bool FCreatePlotSelection = true;
  std::unique_ptr<TPlotSelection> FPlotSelection;
  TEditorFactory FParameterEditor;

  QDockWidget* FMessagesPage = nullptr;
  QPlainTextEdit* FMessageMemo = nullptr;
  QLabel* FStatusLabel = nullptr;
  TRunProgress* FRunProgress = nullptr;
  std::vector<QDockWidget*> FTabOrder;
  QDockWidget* FActivePage = nullptr;
  QPointer<TIntroForm> FIntro;

  std::unique_ptr<TGuiLogSink> FLogSink;
  Propagon::TLogSink* FPreviousLogSink = nullptr;
  std::unique_ptr<TBlockingObserver> FObserver;
  std::unique_ptr<Engine::TSimThread> FSimThread;
  bool FSimulationRunning = false;
  std::atomic<int> FCurrentCheckPoint{0};
  bool FRunHasTakenPlace = false;
  bool FStopAsked = false;
  bool FShown = false;
  bool FPauseStatisticsShown = false;
  std::vector<std::function<void()>> FAfterRun;
};

} // namespace Shell
