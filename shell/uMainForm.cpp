#include "shell/uMainForm.h"

#include "engine/uDataStruct.h"
#include "engine/uSimThread.h"
#include "params/uErrors.h"
#include "params/uLogMessage.h"
#include "params/uMemoryCheck.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"
#include "params/uRunChecks.h"
#include "shell/About.h"
#include "shell/uGuiObserver.h"
#include "shell/uIcons.h"
#include "shell/uIntro.h"
#include "shell/uMyIniFile.h"
#include "shell/uPlotSelection.h"
#include "shell/uPlotWindows.h"
#include "shell/uRecentFiles.h"
#include "shell/uRunProgress.h"
#include "shell/uShellDialogs.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QSaveFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTextCursor>
#include <QThread>
#include <QToolBar>

#include <cerrno>
#include <mutex>
#include <stdexcept>

namespace Shell {

// ---------------------------------------------------------------------------
// The log sink of the desktop program: lines reach the Messages page on the
// window thread, in the order they were written. Lines from the simulation
// thread are queued to the window; they travel in the same queue as the
// run's blocking calls and its end notice, so none of them overtakes another.
class TGuiLogSink : public Propagon::TLogSink {
public:
  explicit TGuiLogSink(TMainForm* form) : FForm(form) {}
  void LogLine(const std::string& line) override {
    if (QThread::currentThread() == FForm->thread()) {
      // Lines queued earlier by the simulation thread come first.
      Drain();
      FForm->AppendLog(QString::fromStdString(line));
      return;
    }
    bool first = false;
    {
      std::lock_guard<std::mutex> lock(FMutex);
      first = FPending.empty();
      FPending.push_back(line);
    }
    // One queued drain per batch; it runs before any call the simulation
    // thread queues after this line.
    if (first) {
      QPointer<TMainForm> form = FForm;
      QMetaObject::invokeMethod(
          FForm,
          [this, form] {
            if (form)
              Drain();
          },
          Qt::QueuedConnection);
    }
  }
  // Appends the lines the simulation thread has written so far (window thread).
  void Drain() {
    std::vector<std::string> lines;
    {
      std::lock_guard<std::mutex> lock(FMutex);
      lines.swap(FPending);
    }
    for (const std::string& line : lines)
      FForm->AppendLog(QString::fromStdString(line));
  }

private:
  TMainForm* FForm;
  std::mutex FMutex;
  std::vector<std::string> FPending;
};

namespace {

// The busy cursor during long work on the window thread: the desktop theme's
// (animated) wait cursor.
class TBusyCursor {
public:
  TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
};

QString WithSlash(QString folder) {
  if (!folder.endsWith('/'))
    folder += '/';
  return folder;
}

void Log(const QString& line) { Propagon::LogMessage(line.toStdString()); }

QAction* MakeAction(QObject* parent, const char* name, const QString& caption, const QString& hint,
                    const QString& icon) {
  auto* action = new QAction(caption, parent);
  action->setObjectName(name);
  if (!hint.isEmpty()) {
    action->setToolTip(ShortHint(hint));
    action->setStatusTip(LongHint(hint));
  }
  if (!icon.isEmpty())
    action->setIcon(ActionIcon(icon));
  return action;
}

// The hint of an action whose hint the program changes while it runs.
void SetHint(QAction* action, const QString& hint) {
  action->setToolTip(ShortHint(hint));
  action->setStatusTip(LongHint(hint));
}

} // namespace

// ---------------------------------------------------------------------------
// Construction and start-up

TMainForm::TMainForm(const TMainFormOptions& options)
    : FSettings(options.Settings), FDialogs(options.Dialogs), FExeDir(WithSlash(options.ExeDir)),
      FArguments(options.Arguments), FLogFileName(options.LogFileName),
      FMaldi([this](const std::string& path) {
        FSettings->WriteString(ApplicationTitle, "MALDILibraryName", path);
      }),
      FCreatePlotSelection(options.CreatePlotSelection) {
  if (!FSettings || !FDialogs)
    throw std::invalid_argument("TMainForm needs a settings file and dialogs");
  setObjectName("MainForm");
  FDialogs->SetParentWidget(this);
  setWindowIcon(ApplicationIcon());

  CreatePages();
  CreateActions();
  CreateMenus();

  if (options.InstallLogSink) {
    FLogSink = std::make_unique<TGuiLogSink>(this);
    FPreviousLogSink = Propagon::SetLogSink(FLogSink.get());
  }
  FObserver = std::make_unique<TBlockingObserver>(this, this);
  FPreviousActiveBinding = SetActiveMaldiBinding(&FMaldi);

  FormCreate();
}

TMainForm::~TMainForm() {
  // FormDestroy. A run still going (the program is being ended from
  // outside) is released from every wait and ended before anything it uses
  // goes away.
  FPlots = nullptr; // the plot windows may be gone already
  if (FSimThread) {
    FObserver->Abandon();
    FSimThread->Terminate();
    FSimThread.reset(); // joins and runs the end-of-run handler
  }
  if (FPlotSelection) {
    FPlotSelection->CloseAll(); // placement saved, windows destroyed
    FPlotSelection.reset();
  }
  FSettings->UpdateFile();
  Engine::SimState().FreeAllocatedMemory();
  FRunParameterFile.reset();
  if (ActiveMaldiBinding() == &FMaldi)
    SetActiveMaldiBinding(FPreviousActiveBinding);
  FMaldi.Release();
  if (FLogSink) {
    Propagon::TLogSink* current = Propagon::SetLogSink(FPreviousLogSink);
    if (current != FLogSink.get())
      Propagon::SetLogSink(current); // another sink came after ours: keep it
  }
  if (FIntro)
    delete FIntro.data();
  // The dock widgets are deleted by the window's base class after the
  // members are gone: their signals must not reach this object any more.
  for (QDockWidget* dock : findChildren<QDockWidget*>()) {
    disconnect(dock, nullptr, this, nullptr);
    dock->removeEventFilter(this);
    if (QWidget* form = dock->widget())
      form->removeEventFilter(this);
  }
  disconnect(this, nullptr, this, nullptr);
}

void TMainForm::FormCreate() {
  // The busy cursor is the desktop theme's animated wait cursor (TBusyCursor).
  FScalingFactor = FSettings->ReadFloat(ApplicationTitle, "ScalingFactor", 0.005);
  FParametersPath = FExeDir;

  const QString besideProgram = FExeDir + MaldiLibraryFileName;
  QString libraryPath = besideProgram;
  if (!QFileInfo::exists(besideProgram))
    libraryPath = QString::fromStdString(
        FSettings->ReadString(ApplicationTitle, "MALDILibraryName", besideProgram.toStdString()));

  setWindowTitle(ApplicationTitle);
  Propagon::InitDecimalSeparator();
  Params::SetWow64Detected(Params::IsWow64());
  CheckMALDILibrary(libraryPath);
  RestoreMainPlacement();
  if (FCreatePlotSelection) {
    FPlotSelection = std::make_unique<TPlotSelection>(*this);
    SetPlotWindows(FPlotSelection.get());
    FPlotSelection->FormCreate();
  }
}

void TMainForm::RestoreMainPlacement() {
  Settings().RestoreFormPlacement(this, ApplicationTitle);
  // A first start has no stored bounds: the stored defaults (300 x 200) are
  // too small for the menus, tool bar and log, so the window opens at the
  // default position with a size a user can work in, within the screen.
  if (!FSettings->ValueExists(ApplicationTitle, "Width")) {
    QSize size(960, 640);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect avail = screen->availableGeometry();
      size = size.boundedTo(QSize(avail.width() - 200, avail.height() - 100)).expandedTo(QSize(300, 200));
    }
    resize(size);
  }
  // Stored bounds are pulled onto the screen by RestoreFormPlacement.
}

void TMainForm::CreatePages() {
  // The tab group fills the window; there is no central widget.
  setDockNestingEnabled(false);
  setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);
  setTabPosition(Qt::AllDockWidgetAreas, QTabWidget::North);

  FMessageMemo = new QPlainTextEdit;
  FMessageMemo->setObjectName("MessageMemo");
  FMessageMemo->setReadOnly(true);
  FMessageMemo->setLineWrapMode(QPlainTextEdit::NoWrap); // both scroll bars
  FMessageMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  FMessageMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  FMessagesPage = new QDockWidget("Messages", this);
  FMessagesPage->setObjectName("TabMessages");
  FMessagesPage->setWidget(FMessageMemo);
  FMessagesPage->setFeatures(QDockWidget::NoDockWidgetFeatures);
  // The log is a page, not a window: no title bar of its own (its tab
  // carries the caption once plot windows share the area).
  FMessagesPage->setTitleBarWidget(new QWidget(FMessagesPage));
  FMessagesPage->setAllowedAreas(Qt::TopDockWidgetArea);
  FMessagesPage->setProperty("tag", 0);
  addDockWidget(Qt::TopDockWidgetArea, FMessagesPage);
  FTabOrder.push_back(FMessagesPage);
  FActivePage = FMessagesPage;

  connect(this, &QMainWindow::tabifiedDockWidgetActivated, this, &TMainForm::OnTabActivated);

  FStatusLabel = new QLabel;
  FStatusLabel->setObjectName("StatusText");
  statusBar()->setObjectName("StatusBar");
  statusBar()->addWidget(FStatusLabel, 1);
  // A hint (the status tip of the control under the mouse) takes the place of
  // the time, conversion and Mn while it stands. The status bar hides the
  // label for it only when the hint appears; a run that ends under a resting
  // mouse brings the hint back with the label still shown, and the two texts
  // were drawn over each other.
  connect(statusBar(), &QStatusBar::messageChanged, FStatusLabel,
          [this](const QString& message) { FStatusLabel->setVisible(message.isEmpty()); });
  FRunProgress = new TRunProgress;
  statusBar()->addPermanentWidget(FRunProgress);
  setAcceptDrops(true);
}

void TMainForm::CreateActions() {
  aOpenParam = MakeAction(this, "aOpenParam", "&Open Parameters", "Open|Opens an existing parameters file", "open");
  aOpenParam->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  aFileExit = MakeAction(this, "aFileExit", "E&xit", "Exit|Quits the application", "exit");
  aPerformSimulation = MakeAction(this, "aPerformSimulation", "Per&form Simulation", "Starts the Simulation", "perform");
  aPauseSimulation = MakeAction(this, "aPauseSimulation", "Pa&use Simulations",
                                "Toggles Executing of the Simulation (Pause/Resume)", "pause");
  aStopSimulation = MakeAction(this, "aStopSimulation", "St&op Simul", "Simulation is Stopped!", "stop");
  aCreatePlots = MakeAction(this, "aCreatePlots", "&Create Plots", "Create various plots presenting simulated data",
                            "create-plots");
  aShowAllPlots = MakeAction(this, "aShowAllPlots", "&Show All Plots", "", "show-all-plots");
  aClear = MakeAction(this, "aClear", "&Clear", "", "clear");
  aParamSettings = MakeAction(this, "aParamSettings", "Para&meter Settings", "Editor of Parameters of Simulated Process",
                              "param-settings");
  aBrowseForMALDIFolder = MakeAction(this, "aBrowseForMALDIFolder", "Search &MALDI DLL", "", "search-dll");
  aShowIntro = MakeAction(this, "aShowIntro", "&Intro Screen", "", "intro");
  aShowDemo = MakeAction(this, "aShowDemo", "Show &Demo", "", "demo");
  aShowManual = MakeAction(this, "aShowManual", "Show &Manual", "", "manual");
  aAbout = MakeAction(this, "aAbout", "&About", "", "about");
  aMicrostructureEnlarge = MakeAction(this, "aMicrostructureEnlarge", "Enlarge Microstructure",
                                      "Show Enlarged Chains Microstructure Form", "enlarge");
  aMicrostructureRestore = MakeAction(this, "aMicrostructureRestore", "Restore Microstructure",
                                      "Restore Optimal Magnification of Chains Microstructure", "restore");
  aFloatPage = MakeAction(this, "aFloatPage", "&Float Plot Window",
                          "Float|Takes the plot window of the active tab out of the main window (or docks it back)", "");
  aDockAllPlots = MakeAction(this, "aDockAllPlots", "&Dock All Plot Windows",
                             "Dock|Puts every floating plot window back as a tab", "");

  aOpenExample = MakeAction(this, "aOpenExample", "Open &Example...",
                            "Open Example|Opens one of the example parameter files that come with the program", "");
  // The keys of a run, as debuggers and build tools have them.
  aPerformSimulation->setShortcut(QKeySequence(Qt::Key_F9));
  aPauseSimulation->setShortcut(QKeySequence(Qt::Key_F10));
  aStopSimulation->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F9));
  aFileExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  aShowManual->setShortcut(QKeySequence(Qt::Key_F1));
  aPauseSimulation->setCheckable(true);

  aPerformSimulation->setEnabled(false);
  aPauseSimulation->setEnabled(false);
  aStopSimulation->setEnabled(false);
  aMicrostructureEnlarge->setVisible(false);
  aMicrostructureRestore->setVisible(false);

  connect(aOpenParam, &QAction::triggered, this, &TMainForm::aOpenParamExecute);
  connect(aOpenExample, &QAction::triggered, this, &TMainForm::aOpenExampleExecute);
  connect(aFileExit, &QAction::triggered, this, &QWidget::close);
  connect(aPerformSimulation, &QAction::triggered, this, &TMainForm::aPerformSimulationExecute);
  connect(aPauseSimulation, &QAction::triggered, this, &TMainForm::aPauseSimulationExecute);
  connect(aStopSimulation, &QAction::triggered, this, &TMainForm::aStopSimulationExecute);
  connect(aClear, &QAction::triggered, this, &TMainForm::aClearExecute);
  connect(aCreatePlots, &QAction::triggered, this, [this] {
    if (FPlots)
      FPlots->ShowSelection();
  });
  connect(aShowAllPlots, &QAction::triggered, this, [this] {
    if (FPlots)
      FPlots->ShowAllPlots();
  });
  connect(aParamSettings, &QAction::triggered, this, &TMainForm::aParamSettingsExecute);
  connect(aBrowseForMALDIFolder, &QAction::triggered, this, &TMainForm::aBrowseForMALDIFolderExecute);
  connect(aShowIntro, &QAction::triggered, this, &TMainForm::aShowIntroExecute);
  connect(aShowDemo, &QAction::triggered, this, &TMainForm::aShowDemoExecute);
  connect(aShowManual, &QAction::triggered, this, &TMainForm::aShowManualExecute);
  connect(aAbout, &QAction::triggered, this, &TMainForm::aAboutExecute);
  connect(aMicrostructureEnlarge, &QAction::triggered, this, [this] {
    if (FPlots)
      FPlots->SetMagnified(true);
  });
  connect(aMicrostructureRestore, &QAction::triggered, this, [this] {
    if (FPlots)
      FPlots->SetMagnified(false);
  });
  connect(aFloatPage, &QAction::triggered, this, [this] {
    QDockWidget* page = FActivePage;
    if (!page || page == FMessagesPage)
      return;
    page->setFloating(!page->isFloating());
  });
  connect(aDockAllPlots, &QAction::triggered, this, [this] {
    // Closed windows stay closed; the docked ones go back to the places
    // their tags ask for, and the Messages page is the one shown last.
    for (QDockWidget* dock : findChildren<QDockWidget*>())
      if (dock != FMessagesPage && dock->isFloating() && dock->isVisible())
        dock->setFloating(false);
    ShowMessagesPage();
  });
}

void TMainForm::CreateMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("FileMenu");
  file->addAction(aOpenParam);
  file->addAction(aOpenExample);
  RecentFilesMenu = file->addMenu("Recent &Files");
  RecentFilesMenu->setObjectName("RecentFilesMenu");
  connect(RecentFilesMenu, &QMenu::aboutToShow, this, &TMainForm::FillRecentFilesMenu);
  FillRecentFilesMenu();
  file->addSeparator();
  file->addAction(aClear);
  file->addAction(aBrowseForMALDIFolder);
  file->addSeparator();
  file->addAction(aFileExit);

  QMenu* edit = menuBar()->addMenu("&Edit");
  edit->setObjectName("EditMenu");
  edit->addAction(aParamSettings);

  QMenu* view = menuBar()->addMenu("&View");
  view->setObjectName("ViewMenu");
  view->addAction(aShowAllPlots);
  view->addAction(aCreatePlots);
  view->addAction(aShowIntro);
  view->addSeparator();
  view->addAction(aFloatPage);
  view->addAction(aDockAllPlots);

  QMenu* simulation = menuBar()->addMenu("&Simulation");
  simulation->setObjectName("SimulationMenu");
  simulation->addAction(aPerformSimulation);
  simulation->addAction(aPauseSimulation);
  simulation->addAction(aStopSimulation);

  QMenu* help = menuBar()->addMenu("&Help");
  help->setObjectName("HelpMenu");
  help->addAction(aAbout);
  help->addAction(aShowDemo);
  help->addAction(aShowManual);

  QToolBar* tools = addToolBar("Tools");
  tools->setObjectName("ToolBar");
  tools->setMovable(false);
  tools->setIconSize(QSize(24, 24));
  tools->addAction(aOpenParam);
  tools->addAction(aCreatePlots);
  tools->addAction(aParamSettings);
  tools->addSeparator();
  tools->addAction(aPerformSimulation);
  tools->addAction(aPauseSimulation);
  tools->addAction(aStopSimulation);
  tools->addAction(aMicrostructureEnlarge);
  tools->addAction(aMicrostructureRestore);
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!FShown) {
    FShown = true;
    // After the window is on the screen, so that message boxes of the
    // opened file have it as their parent.
    QMetaObject::invokeMethod(this, [this] { FormShow(); }, Qt::QueuedConnection);
  }
}

void TMainForm::FormShow() {
  FShown = true;
  if (!FArguments.isEmpty() && !FArguments.first().isEmpty()) {
    const QFileInfo argument(FArguments.first());
    const QString name = argument.completeBaseName() + ".kpx";
    // A file named on the command line that exists is that file (a desktop
    // launcher passes the absolute path of what was double-clicked). Only
    // when it does not, its name part is looked for in the current folder,
    // then beside the program, then in the folder given with it.
    QStringList candidates;
    if (argument.isFile())
      candidates << argument.absoluteFilePath();
    candidates << QDir::current().filePath(name) << FExeDir + name;
    const QString asGiven = argument.dir().filePath(name);
    if (!candidates.contains(asGiven))
      candidates << asGiven;
    QString found;
    for (const QString& c : candidates)
      if (QFileInfo(c).isFile()) {
        found = c;
        break;
      }
    if (!found.isEmpty()) {
      FParameterFileName = QFileInfo(found).absoluteFilePath();
      FParametersPath = WithSlash(QFileInfo(found).absolutePath());
      FOpenDialogFileName = FParameterFileName;
      OpenParameterFile();
    } else {
      Log("Parameter file \"" + name + "\" not found in \"" + QDir::currentPath() + "\" nor in \"" + FExeDir + "\"");
    }
  }
  if (!FSettings->ReadBool(ApplicationTitle, "HideIntro", false))
    aShowIntroExecute();
}

// ---------------------------------------------------------------------------
// Parameter files

void TMainForm::aOpenParamExecute() {
  // aOpenParamBeforeExecute: without a stored folder the dialog starts
  // beside the program; otherwise in the folder last used.
  const std::string stored = FSettings->ReadString(ApplicationTitle, "ParametersPath", "");
  const QString folder = stored.empty() ? FExeDir : QString::fromStdString(stored);
  const QString chosen = FDialogs->GetOpenFileName(folder, FOpenDialogFileName, "Propagon Parameters (*.kpx)");
  if (chosen.isEmpty())
    return;
  OpenParameterFileByName(chosen);
}

QString TMainForm::ExamplesFolder() const { return Shell::ExamplesFolder(FExeDir); }

void TMainForm::aOpenExampleExecute() {
  const QString folder = ExamplesFolder();
  if (folder.isEmpty()) {
    Log("No Example Parameter Files Found beside \"" + FExeDir + "\" (share/propagon/examples)!");
    return;
  }
  const QString chosen = FDialogs->GetOpenFileName(folder, QString(), "Propagon Parameters (*.kpx)");
  if (!chosen.isEmpty())
    OpenParameterFileByName(chosen);
}

QStringList TMainForm::RecentFiles() const { return TRecentFiles(*FSettings).Files(); }

void TMainForm::OpenRecentFile(int index) {
  const QStringList files = RecentFiles();
  if (index < 0 || index >= files.size())
    return;
  const QString name = files[index];
  if (!QFileInfo(name).isFile()) {
    Log("The File \"" + name + "\" does not Exist any more; it is Removed from the Recent Files.");
    TRecentFiles(*FSettings).Remove(name);
    FillRecentFilesMenu();
    return;
  }
  OpenParameterFileByName(name);
}

void TMainForm::FillRecentFilesMenu() {
  RecentFilesMenu->clear();
  const QStringList files = RecentFiles();
  for (int i = 0; i < files.size(); ++i) {
    // "&1 name.kpx", with the folder as the hint; "&" in a name is shown.
    QString label = QFileInfo(files[i]).fileName();
    label.replace('&', "&&");
    QAction* entry = RecentFilesMenu->addAction(QString("&%1 %2").arg(i + 1).arg(label));
    entry->setStatusTip(files[i]);
    entry->setToolTip(files[i]);
    connect(entry, &QAction::triggered, this, [this, i] { OpenRecentFile(i); });
  }
  if (files.isEmpty())
    RecentFilesMenu->addAction("(none)")->setEnabled(false);
}

namespace {
// The first local .kpx file among dropped things.
QString DroppedParameterFile(const QMimeData* data) {
  if (!data || !data->hasUrls())
    return {};
  for (const QUrl& url : data->urls())
    if (url.isLocalFile() && url.toLocalFile().endsWith(".kpx", Qt::CaseInsensitive))
      return url.toLocalFile();
  return {};
}
} // namespace

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (aOpenParam->isEnabled() && !DroppedParameterFile(event->mimeData()).isEmpty())
    event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
  const QString file = DroppedParameterFile(event->mimeData());
  if (file.isEmpty() || !aOpenParam->isEnabled())
    return;
  event->acceptProposedAction();
  OpenParameterFileByName(file);
}

void TMainForm::OpenParameterFileByName(const QString& fileName) {
  const QString full = QFileInfo(fileName).absoluteFilePath();
  WhenIdle([this, full] {
    FOpenDialogFileName = full;
    FParameterFileName = full;
    OpenParameterFile();
  });
}

void TMainForm::OpenParameterFile() {
  TBusyCursor busy;
  FRunParameterFile.reset();
  ShowMessagesPage();
  FRunParameterFile = std::make_unique<Params::TParameterFile>(FParameterFileName.toStdString());
  FParametersPath = WithSlash(QFileInfo(FParameterFileName).absolutePath());
  FSettings->WriteString(ApplicationTitle, "ParametersPath", FParametersPath.toStdString());

  if (!FRunParameterFile->CheckFileValid(*FDialogs))
    return;
  // A process type without a kernel, or check points not starting at 0,
  // cannot be run: said at once, and Perform stays off.
  if (const std::string problem = Params::RunnableFileProblem(*FRunParameterFile); !problem.empty()) {
    Log(QString::fromStdString(problem));
    FDialogs->ShowError(problem);
    FRunParameterFile.reset();
    return;
  }
  DoClear();
  TRecentFiles(*FSettings).Add(FParameterFileName);
  Log("Loading the File \"" + FParameterFileName + "\" ...");
  setWindowTitle(QString(ApplicationTitle) + " [" + QFileInfo(FParameterFileName).fileName() + "]");
  bool tooLow = true;
  try {
    tooLow = Params::CheckRequiredMemory(*FRunParameterFile, *FDialogs);
  } catch (const Propagon::EPropagonError& e) {
    // No usable memory estimate: the file was not written by the editor's
    // validation. It cannot be run safely without one.
    Log(QString::fromStdString(e.FullText()));
    Log("The File has no Memory Estimate! Please Validate It in the Parameter Settings!");
  }
  if (!tooLow) {
    SetButtonsStatus(aOpenParam);
    Log("Press the Start Button!");
  }
}

// ---------------------------------------------------------------------------
// Buttons

void TMainForm::SetButtonsStatus(QAction* action) {
  if (action == aStopSimulation) {
    aOpenParam->setEnabled(true);
    aStopSimulation->setEnabled(false);
    aPerformSimulation->setEnabled(true);
  } else if (action == aPerformSimulation) {
    aPerformSimulation->setEnabled(false);
    aStopSimulation->setEnabled(true);
    aOpenParam->setEnabled(false);
  } else if (action == aOpenParam) {
    aPerformSimulation->setEnabled(true);
  } else if (action == aClear) {
    aPerformSimulation->setEnabled(false);
  }
  aPauseSimulation->setEnabled(aStopSimulation->isEnabled());
  aClear->setEnabled(aOpenParam->isEnabled());
  aParamSettings->setEnabled(aOpenParam->isEnabled());
  aOpenExample->setEnabled(aOpenParam->isEnabled());
  RecentFilesMenu->setEnabled(aOpenParam->isEnabled());
  UpdatePauseState();
  // The icons carry a greyed picture for the disabled state (ActionIcon).
  UpdateMicrostructureActions();
}

void TMainForm::ShowMagGlass(bool visible) {
  aMicrostructureEnlarge->setVisible(visible);
  aMicrostructureRestore->setVisible(visible);
}

void TMainForm::UpdateMicrostructureActions() {
  const QWidget* page = FActivePage ? FActivePage->widget() : nullptr;
  ShowMagGlass(FPlots && page && FPlots->IsMicrostructureView(page));
}

// ---------------------------------------------------------------------------
// Simulation control

bool TMainForm::SimulationPauseRequested() const { return FSimThread && FSimThread->PauseRequested(); }

bool TMainForm::SimulationHeld() const { return FSimThread && FSimThread->Control().Held(); }

void TMainForm::WhenIdle(std::function<void()> work) {
  if (!FSimulationRunning) {
    work();
    return;
  }
  // A stopped run is completing its last step and still owns the store and
  // the parameter file: the request follows its end-of-run handling.
  if (FAfterRun.empty())
    Log("Waiting for the Last Step of the Simulation to Complete...");
  FAfterRun.push_back(std::move(work));
}

void TMainForm::aPerformSimulationExecute() {
  WhenIdle([this] { StartRun(); });
}

void TMainForm::StartRun() {
  if (!FRunParameterFile || !FRunParameterFile->CheckFileValid(*FDialogs)) {
    ShowMessagesPage();
    Log("Not Valid Parameter File! Please Validate It!");
    return;
  }
  const int selected = FSettings->ReadInteger(ApplicationTitle, "SelectedPage", 0);
  if (selected != 0 && selected > 0 && selected < static_cast<int>(FTabOrder.size()))
    ActivatePage(FTabOrder[static_cast<std::size_t>(selected)]);
  DoClear();
  Log("Creating Simulation Thread...");
  try {
    FSimThread = std::make_unique<Engine::TSimThread>(*FRunParameterFile, *FObserver);
  } catch (const std::exception& e) {
    Log(QString("Error: ") + e.what());
    return;
  }
  // The run's thread keeps the default priority: raising it needs
  // privileges a desktop program does not have on Linux, and the window
  // thread mostly sleeps anyway.
  FSimulationRunning = true;
  FRunHasTakenPlace = true;
  FStopAsked = false;
  FCurrentCheckPoint = 0;
  SetButtonsStatus(aPerformSimulation);
  SetHint(aPauseSimulation, "Pause Simulation");
  BeginProgress(); // reads the file before the run does
  FSimThread->Start();
  SetHint(aStopSimulation, "Stops the Simulation");
  emit RunStarted();
}

void TMainForm::BeginProgress() {
  std::vector<double> times;
  try {
    int high = -1;
    FRunParameterFile->ReadCheckingPointsArray(high, times);
  } catch (const std::exception&) {
    times.clear(); // the run reports an unreadable list itself
  }
  FRunProgress->Begin(std::move(times), [this](TProgressSample& sample) {
    if (!FSimThread)
      return false;
    // Atomics only: the run goes on while the window looks.
    const Engine::TSimRun& run = FSimThread->Run();
    sample.Time = run.ProgressTime();
    sample.CheckPoint = run.CurrentCheckPoint();
    sample.Events = run.Events();
    sample.LiveView = FSimThread->ShowStructure() || FSimThread->ShowDistribution();
    sample.Paused = FSimThread->PauseRequested() && !FSimThread->Terminated();
    return true;
  });
}

void TMainForm::UpdatePauseState() {
  aPauseSimulation->setChecked(FSimThread && FSimulationRunning && FSimThread->PauseRequested() &&
                               !FSimThread->Terminated());
}

void TMainForm::aPauseSimulationExecute() {
  // The action is checkable: its mark follows the run, not the click.
  struct TMark {
    TMainForm* F;
    ~TMark() {
      F->UpdatePauseState();
      F->FRunProgress->Sample();
    }
  } mark{this};
  if (!FSimThread || FSimThread->Terminated())
    return;
  if (!FSimThread->PauseRequested()) {
    // The statistics follow when the run reports that it stands still at
    // its gate (SimulationPaused); until then it may finish its event.
    FSimThread->Pause();
    SetHint(aPauseSimulation, "Continue Simulation");
  } else {
    if (FPlots)
      FPlots->BeforeResume();
    FSimThread->Resume();
    SetHint(aPauseSimulation, "Pause Simulation");
  }
}

void TMainForm::HoldRun() {
  if (FSimThread && !FSimThread->Terminated())
    FSimThread->Pause();
}

void TMainForm::ReleaseRun() {
  if (FSimThread)
    FSimThread->Resume();
}

void TMainForm::aStopSimulationExecute() {
  Log("Simulation Terminated by User!");
  Log("Complete the Last Step...");
  Log("");
  if (FSimThread) {
    FStopAsked = true;
    FSimThread->Terminate(); // also lets a paused run go on to its end
  }
  SetHint(aStopSimulation, "Simulation is Stopped!");
  SetHint(aPauseSimulation, "Toggles Executing of the Simulation (Pause/Resume)");
  SetButtonsStatus(aStopSimulation);
}

void TMainForm::aClearExecute() {
  WhenIdle([this] { DoClear(); });
}

void TMainForm::DoClear() {
  if (FPlots)
    FPlots->ClearData();
  SetButtonsStatus(aClear);
  Engine::SimState().FreeAllocatedMemory();
  FCurrentCheckPoint = 0;
  SetStatusText(WithUnits(SummaryText(0.0, 0.0, 0.0)));
}

// ---------------------------------------------------------------------------
// Observer calls, on the window thread while the simulation thread waits

void TMainForm::GetLiveViewFlags(bool& showStructure, bool& showDistribution) {
  showStructure = false;
  showDistribution = false;
  if (FPlots)
    FPlots->GetLiveViewFlags(showStructure, showDistribution);
}

void TMainForm::StructureFormResize() {
  if (FPlots)
    FPlots->StructureFormResize();
}

void TMainForm::InitializePlots() {
  if (FPlots)
    FPlots->InitializePlots();
}

void TMainForm::DisplaySimulSummary(int checkPoint) {
  FCurrentCheckPoint = checkPoint;
  SetStatusText(WithUnits(SummaryText(checkPoint)));
}

void TMainForm::UpdateUserInterface(int checkPoint) {
  if (FPlots)
    FPlots->UpdateUserInterface(checkPoint);
}

void TMainForm::DrawUnit(int chain, int position, int kind) {
  if (FPlots)
    FPlots->DrawUnit(chain, position, kind);
}

void TMainForm::DrawUnitStrided(int chain, int position, int kind) {
  if (FPlots)
    FPlots->DrawUnitStrided(chain, position, kind);
}

void TMainForm::EraseUnit(int chain, int position) {
  if (FPlots)
    FPlots->EraseUnit(chain, position);
}

void TMainForm::DrawSegment(int x, int y, int length) {
  if (FPlots)
    FPlots->DrawSegment(x, y, length);
}

void TMainForm::DrawSegmentStrided(int x, int y, int length) {
  if (FPlots)
    FPlots->DrawSegmentStrided(x, y, length);
}

void TMainForm::ShowOneChainChange() {
  if (FPlots)
    FPlots->ShowOneChainChange();
}

void TMainForm::ShowTwoChainsChange() {
  if (FPlots)
    FPlots->ShowTwoChainsChange();
}

void TMainForm::SimulationPaused() {
  // The run stands still at its gate until this returns, and stays there
  // until Resume: the chain store may be read.
  TBusyCursor busy;
  Engine::SimState().CalcMassDistributions();
  if (FPlots)
    FPlots->RefreshOnPause(FActivePage ? FActivePage->widget() : nullptr);
  const int k = FSimThread ? FSimThread->CurrentCheckPoint() : FCurrentCheckPoint.load();
  DisplaySimulSummary(k);
}

void TMainForm::ExecuteReturned() {
  // Queued behind everything the run sent before it ended.
  if (!FSimThread)
    return;
  TBusyCursor busy;
  FSimThread->OnSimulationEnd(); // joins the finished thread; calls the hooks below
}

void TMainForm::EndOfRunStatistics() {
  if (FPlots)
    FPlots->RunEnded();
}

void TMainForm::SimulationEnded() {
  ShowMessagesPage();
  FMessageMemo->moveCursor(QTextCursor::End);
  FMessageMemo->ensureCursorVisible();
  FSimulationRunning = false;
  if (FSimThread) {
    // How long it took and how much happened, where the user looks.
    const double seconds = FSimThread->WallSeconds();
    const QString notice = QString("Run %1 %2 s, %3 events")
                               .arg(FStopAsked ? "stopped after" : "finished in")
                               .arg(QString::number(seconds, 'f', 1))
                               .arg(PowerOfTenText(static_cast<double>(FSimThread->Run().Events())));
    Log(notice);
    FRunProgress->ShowNotice(notice);
  } else {
    FRunProgress->End();
  }
  SetButtonsStatus(aStopSimulation);
  SetHint(aStopSimulation, "Simulation is Stopped!");
  SetHint(aPauseSimulation, "Toggles Executing of the Simulation (Pause/Resume)");
  // The thread object goes once its handler has returned (this is called
  // from inside it).
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (FSimThread && FSimThread->EndHandled())
          FSimThread.reset();
        std::vector<std::function<void()>> pending;
        pending.swap(FAfterRun);
        for (auto& work : pending)
          WhenIdle(std::move(work));
        emit RunEnded();
      },
      Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------
// Log and status line

void TMainForm::AppendLog(const QString& line) {
  QString text = line;
  text.replace("\r\n", "\n");
  text.replace('\r', '\n');
  FMessageMemo->appendPlainText(text);
}

QStringList TMainForm::LogLines() const {
  QString text = FMessageMemo->toPlainText();
  if (text.isEmpty())
    return {};
  return text.split('\n');
}

QString TMainForm::WithUnits(const QString& summary) { return summary + " g/mol"; }

QString TMainForm::StatusText() const { return FStatusLabel->text(); }

void TMainForm::SetStatusText(const QString& text) { FStatusLabel->setText(text); }

QString TMainForm::SummaryText(int checkPoint) {
  return QString::fromStdString(Engine::SimulSummaryText(Engine::SimState(), checkPoint));
}

QString TMainForm::SummaryText(double time, double conversion, double mn) {
  return QString::fromStdString(Propagon::FormatFloat("Time= 0.00s", time) + "  " +
                                Propagon::FormatFloat("Conv= 0.000", conversion) + "  " +
                                Propagon::FormatFloat("Mn= 0", mn));
}

// ---------------------------------------------------------------------------
// Pages and docking

void TMainForm::ShowMessagesPage() { ActivatePage(FMessagesPage); }

void TMainForm::ActivatePage(QDockWidget* page) {
  if (!page)
    return;
  if (page->isFloating()) {
    page->raise();
    page->activateWindow();
  } else {
    page->show();
    page->raise(); // brings a tabified dock widget's tab to the front
  }
  OnTabActivated(page);
}

int TMainForm::TabInsertIndex(int tag, int tabCount) {
  // Appended as the last tab, then moved left one position at a time while
  // its tag is smaller than its index, at most tabCount - 1 times.
  int index = tabCount - 1;
  for (int moves = 0; moves < tabCount - 1 && index > 0 && tag < index; ++moves)
    --index;
  return index < 0 ? 0 : index;
}

QDockWidget* TMainForm::DockOf(const QWidget* form) const {
  if (!form)
    return nullptr;
  return qobject_cast<QDockWidget*>(form->parentWidget());
}

QDockWidget* TMainForm::DockForm(QWidget* form, int tag) {
  if (!form)
    return nullptr;
  QDockWidget* dock = DockOf(form);
  if (!dock) {
    dock = new QDockWidget(form->windowTitle(), this);
    dock->setObjectName("Dock_" + (form->objectName().isEmpty() ? form->windowTitle() : form->objectName()));
    dock->setAllowedAreas(Qt::AllDockWidgetAreas);
    dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                      QDockWidget::DockWidgetFloatable);
    dock->setWidget(form);
    form->show();
    connect(dock, &QDockWidget::topLevelChanged, this,
            [this, dock](bool floating) { OnDockTopLevelChanged(dock, floating); });
    // The caption of the window is the caption of its tab.
    connect(form, &QWidget::windowTitleChanged, dock, &QWidget::setWindowTitle);
    connect(dock, &QObject::destroyed, this, [this, dock] {
      std::erase(FTabOrder, dock);
      if (FActivePage == dock)
        FActivePage = FMessagesPage;
    });
    // The frame's close box closes the window itself (placement saved, form
    // hidden), and a hidden window takes its frame with it.
    dock->installEventFilter(this);
    form->installEventFilter(this);
    addDockWidget(Qt::TopDockWidgetArea, dock);
  }
  dock->setProperty("tag", tag);
  if (dock->isFloating())
    dock->setFloating(false); // comes back through topLevelChanged
  else
    OnDockTopLevelChanged(dock, false);
  dock->show();
  return dock;
}

QDockWidget* TMainForm::FloatForm(QWidget* form, const QRect& bounds) {
  QDockWidget* dock = DockOf(form);
  if (!dock)
    dock = DockForm(form, form ? form->property("tag").toInt() : 0);
  if (!dock)
    return nullptr;
  dock->setFloating(true);
  dock->setGeometry(FitOntoScreen(bounds));
  return dock;
}

void TMainForm::ShowForm(QWidget* form) {
  if (!form)
    return;
  form->show();
  QDockWidget* dock = DockOf(form);
  if (!dock || dock->isVisible())
    return;
  if (dock->isFloating()) {
    dock->show();
    dock->raise();
  } else {
    dock->show();
    OnDockTopLevelChanged(dock, false); // back at the tab its tag asks for
  }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close) {
    auto* dock = qobject_cast<QDockWidget*>(watched);
    if (dock && dock != FMessagesPage && dock->widget()) {
      // Closing the frame is closing the window: the form saves its
      // placement (while the frame still says docked or floating) and hides.
      event->ignore();
      dock->widget()->close();
      return true;
    }
  } else if (event->type() == QEvent::HideToParent) {
    auto* form = qobject_cast<QWidget*>(watched);
    QDockWidget* dock = form ? DockOf(form) : nullptr;
    if (dock && dock != FMessagesPage && dock->isVisible())
      HidePage(dock);
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMainForm::HidePage(QDockWidget* dock) {
  std::erase(FTabOrder, dock);
  const bool wasActive = FActivePage == dock;
  dock->hide();
  if (wasActive)
    ActivatePage(FMessagesPage);
}

void TMainForm::ReleaseForm(QWidget* form) {
  QDockWidget* dock = DockOf(form);
  if (!dock)
    return;
  dock->removeEventFilter(this);
  form->removeEventFilter(this);
  std::erase(FTabOrder, dock);
  if (FActivePage == dock)
    FActivePage = FMessagesPage;
  dock->setWidget(nullptr);
  form->setParent(nullptr);
  removeDockWidget(dock);
  dock->deleteLater();
}

void TMainForm::OnDockTopLevelChanged(QDockWidget* dock, bool floating) {
  std::erase(FTabOrder, dock);
  if (floating) {
    if (FActivePage == dock)
      ActivatePage(FMessagesPage);
    return;
  }
  // Back in the window (dragged in, docked through the menu, or new): into
  // the tab group at the place its tag asks for.
  const int tag = dock->property("tag").toInt();
  const int count = static_cast<int>(FTabOrder.size()) + 1;
  const int index = TabInsertIndex(tag, count);
  FTabOrder.insert(FTabOrder.begin() + index, dock);
  ApplyTabOrder();
  ActivatePage(dock);
}

void TMainForm::ApplyTabOrder() {
  // Each tabifyDockWidget(a, b) moves b right after a in a's tab group, so
  // going through the list in order leaves the tabs in list order.
  for (std::size_t i = 1; i < FTabOrder.size(); ++i) {
    if (dockWidgetArea(FTabOrder[i]) != Qt::TopDockWidgetArea)
      addDockWidget(Qt::TopDockWidgetArea, FTabOrder[i]);
    tabifyDockWidget(FTabOrder[i - 1], FTabOrder[i]);
  }
}

void TMainForm::OnTabActivated(QDockWidget* page) {
  if (!page)
    return;
  FActivePage = page;
  if (QWidget* w = page->widget()) {
    w->update();
    if (!page->isFloating())
      w->setFocus();
  }
  UpdateMicrostructureActions();
}

void TMainForm::SetPlotWindows(TPlotWindows* plots) {
  FPlots = plots;
  UpdateMicrostructureActions();
}

// ---------------------------------------------------------------------------
// Library, documents, other windows

void TMainForm::CheckMALDILibrary(const QString& path) {
  FMaldi.CheckMALDILibrary(path.toStdString());
  // A library without its isotope table beside it loads, but cannot compute
  // a spectrum: the user must still be able to pick another one.
  const bool tableFound =
      FMaldi.Loaded() &&
      QFileInfo::exists(QFileInfo(QString::fromStdString(FMaldi.LibraryPath())).dir().filePath(IsotopeTableFileName));
  aBrowseForMALDIFolder->setEnabled(FMaldi.SearchEnabled() || !tableFound);
}

void TMainForm::aBrowseForMALDIFolderExecute() {
  const QString chosen = FDialogs->BrowseForLibrary("Searching for MALDI ToF DLL", FExeDir);
  if (!chosen.isEmpty())
    CheckMALDILibrary(chosen);
}

void TMainForm::OpenDocument(const QString& relativeName, const QString& errorPrefix) {
  // Relative to the current folder as always; beside the program, and in
  // the installed documentation folder, when started from elsewhere.
  const QString name = QFileInfo(relativeName).fileName();
  const QStringList candidates{QDir::current().filePath(relativeName), FExeDir + relativeName,
                               FExeDir + "../share/doc/propagon/" + name};
  QString target = candidates.first();
  for (const QString& c : candidates)
    if (QFileInfo(c).isFile()) {
      target = c;
      break;
    }
  const int error = FDialogs->OpenDocument(target);
  if (error != 0)
    Log(errorPrefix + QString::number(error));
}

void TMainForm::aShowDemoExecute() { OpenDocument("Docs/propagon_demo.html", "Open html Error: "); }

void TMainForm::aShowManualExecute() { OpenDocument("Docs/Manual & Documentation.pdf", "Open PDF Error: "); }

void TMainForm::aShowIntroExecute() {
  if (!FIntro) {
    FIntro = new TIntroForm(this);
    connect(FIntro, &QObject::destroyed, this, [this] { aShowIntro->setEnabled(true); });
  }
  FIntro->show();
  FIntro->raise();
  aShowIntro->setEnabled(false);
}

void TMainForm::aAboutExecute() {
  TAboutBox box(this, QCoreApplication::applicationFilePath());
  FDialogs->ExecModal(&box);
}

void TMainForm::aParamSettingsExecute() {
  if (!FParameterEditor) {
    Log("The Parameter Editor is not Available in this Build!");
    return;
  }
  const QString accepted = FParameterEditor(*this);
  if (accepted.isEmpty())
    return;
  WhenIdle([this, accepted] {
    DoClear();
    FOpenDialogFileName = QFileInfo(accepted).absoluteFilePath();
    FParameterFileName = FOpenDialogFileName;
    OpenParameterFile();
  });
}

// ---------------------------------------------------------------------------
// Closing

bool TMainForm::FormCloseQuery() {
  if (!FSimulationRunning)
    return true;
  // After Stop the run completes its last step: refused without a word.
  if (aStopSimulation->isEnabled())
    FDialogs->ShowMessage(DisplayText("Simulation in Progress!\n\rPress the Stop Button to Finish!"));
  return false;
}

void TMainForm::FormClose() {
  FSettings->SaveFormPlacement(this, ApplicationTitle);
  if (FPlots)
    FPlots->CloseAll();
  if (FLogFileName.isEmpty())
    return;
  // The log of the session before is replaced only by a complete one. The
  // explicit flush matters: QSaveFile::commit (Qt 6.4) renames even when the
  // last buffered bytes could not be written.
  QSaveFile file(FLogFileName);
  QString text = FMessageMemo->toPlainText();
  if (!text.isEmpty() && !text.endsWith('\n'))
    text += '\n';
  const QByteArray bytes = text.toUtf8();
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(bytes) != bytes.size() || !file.flush() ||
      !file.commit()) {
    // The window is going away; the terminal is the last place to say it.
    qWarning("Unable to write to %s", qPrintable(FLogFileName));
  }
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (!FormCloseQuery()) {
    event->ignore();
    return;
  }
  FormClose();
  if (FIntro)
    FIntro->close();
  event->accept();
}

} // namespace Shell
