#include "maldiview/uMALDIForm.h"

#include "maldiview/uMALDIRequest.h"

#include "charts/uChart.h"
#include "engine/uDataStruct.h"
#include "maldiview/uMALDILimits.h"
#include "params/uLogMessage.h"
#include "plots/uLiveViewTools.h"
#include "plots/uPlotHost.h"
#include "shell/uMaldiBinding.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <new>
#include <thread>

namespace MaldiView {

using Charts::TAxisId;

int TMALDIForm::ProgressDelayMs = 500;

namespace {

constexpr std::array<QRgb, CurveCount> CurveColours{qRgb(64, 0, 0), qRgb(0, 128, 255), qRgb(255, 0, 0),
                                                    qRgb(0, 255, 64)};

// The program's busy cursor for the lifetime of the guard.
class TBusyCursor {
public:
  TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
};

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(QString::fromLatin1(name), QApplication::style()->standardIcon(fallback));
}

} // namespace

TMALDIForm::TMALDIForm(Plots::TPlotHost* host, QWidget* parent)
    : Plots::TChartForm(host, parent), FTableFolder(std::make_unique<TTableFolder>()) {
  // The library's tables go to a folder of this window alone, removed with it.
  FSpectrum.TempDir = FTableFolder->Folder();
  setObjectName(QStringLiteral("MALDIForm"));
  setWindowTitle(QStringLiteral("MALDI"));
  resize(DesignWidth, DesignHeight);

  aRecalcMALDI = new QAction(ThemeIcon("view-refresh", QStyle::SP_BrowserReload), QStringLiteral("Calculate"), this);
  aRecalcMALDI->setObjectName(QStringLiteral("aRecalcMALDI"));
  aRecalcMALDI->setToolTip(QStringLiteral("Calculate Present MALDI Spectrum"));
  aShowLabels = new QAction(QStringLiteral("Show Labels"), this);
  aShowLabels->setObjectName(QStringLiteral("aShowLabels"));
  aShowLabels->setCheckable(true);
  aShowLabels->setChecked(true);
  aResetLabels =
      new QAction(ThemeIcon("edit-undo", QStyle::SP_DialogResetButton), QStringLiteral("Reset Labels"), this);
  aResetLabels->setObjectName(QStringLiteral("aResetLabels"));
  aResetLabels->setToolTip(QStringLiteral("Set Automatic Labels Positions"));

  // ---- the control bar ----
  ControlBar = new QWidget(this);
  ControlBar->setObjectName(QStringLiteral("ControlBar"));
  ControlBar->setFixedHeight(ControlBarHeight);
  BrowseTrackBar = new QSlider(Qt::Horizontal, ControlBar);
  BrowseTrackBar->setObjectName(QStringLiteral("BrowseTrackBar"));
  BrowseTrackBar->setRange(0, 0);
  BrowseTrackBar->setPageStep(1);
  BrowseTrackBar->setTickPosition(QSlider::TicksBelow);
  ButtonCalcMALDI = new QToolButton(ControlBar);
  ButtonCalcMALDI->setObjectName(QStringLiteral("ButtonCalcMALDI"));
  // Bound to the command by hand: a default action would put the command's
  // own hint on the button.
  ButtonCalcMALDI->setIcon(aRecalcMALDI->icon());
  ButtonCalcMALDI->setToolTip(QStringLiteral("Calculate MALDI Spectrum of Current Product"));
  connect(ButtonCalcMALDI, &QToolButton::clicked, aRecalcMALDI, &QAction::trigger);
  connect(aRecalcMALDI, &QAction::changed, ButtonCalcMALDI,
          [this] { ButtonCalcMALDI->setEnabled(aRecalcMALDI->isEnabled()); });
  ButtonCalcMALDI->setIconSize(QSize(28, 28));
  ButtonCalcMALDI->setAutoRaise(true);
  ExpandTrackBar = new QSlider(Qt::Horizontal, ControlBar);
  ExpandTrackBar->setObjectName(QStringLiteral("ExpandTrackBar"));
  ExpandTrackBar->setRange(1, 200);
  ExpandTrackBar->setValue(1);
  ExpandTrackBar->setSingleStep(2);
  ExpandTrackBar->setTickInterval(20);
  ExpandTrackBar->setTickPosition(QSlider::TicksBelow);
  StaticText1 = new QLabel(QStringLiteral("left                   POSITION                 right              shrink   "
                                          "        MAGNIFICATION          expand"),
                           ControlBar);
  StaticText1->setObjectName(QStringLiteral("StaticText1"));
  QFont small = StaticText1->font();
  small.setPointSize(std::max(6, small.pointSize() - 1));
  StaticText1->setFont(small);
  LabelLevelEdit = new QLineEdit(QStringLiteral("30"), ControlBar);
  LabelLevelEdit->setObjectName(QStringLiteral("LabelLevelEdit"));
  LabelLevelEdit->setAlignment(Qt::AlignRight);
  LabelLevelEdit->setFixedWidth(48);
  LabelLevelLabel = new QLabel(QStringLiteral("Labels Level"), ControlBar);
  LabelLevelLabel->setObjectName(QStringLiteral("LabelLevelLabel"));
  LabelLevelLabel->setFont(small);
  LabelLevelLabel->setBuddy(LabelLevelEdit);
  ButtonResetLabels = new QToolButton(ControlBar);
  ButtonResetLabels->setObjectName(QStringLiteral("ButtonResetLabels"));
  ButtonResetLabels->setDefaultAction(aResetLabels);
  ButtonResetLabels->setFixedSize(40, 40);
  ButtonResetLabels->setIconSize(QSize(24, 24));

  auto* bar = new QGridLayout(ControlBar);
  bar->setContentsMargins(4, 2, 4, 2);
  bar->setHorizontalSpacing(6);
  bar->setVerticalSpacing(0);
  bar->addWidget(BrowseTrackBar, 0, 0);
  bar->addWidget(ButtonCalcMALDI, 0, 1, 2, 1, Qt::AlignCenter);
  bar->addWidget(ExpandTrackBar, 0, 2);
  bar->addWidget(StaticText1, 1, 0, 1, 3);
  bar->addWidget(LabelLevelEdit, 0, 3, Qt::AlignCenter);
  bar->addWidget(LabelLevelLabel, 1, 3, Qt::AlignCenter);
  bar->addWidget(ButtonResetLabels, 0, 4, 2, 1, Qt::AlignCenter);
  StaticText1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // The caption spans the Calculate button's column: it must neither take
  // the button's clicks nor paint over its lower half.
  StaticText1->setAttribute(Qt::WA_TransparentForMouseEvents);
  ButtonCalcMALDI->raise();
  // The captions under the sliders are one text, as in the original design:
  // the sliders take its width so "left … right" stands under the position
  // slider and "shrink … expand" under the magnification slider.
  const int captionWidth = QFontMetrics(StaticText1->font()).horizontalAdvance(StaticText1->text());
  const int sliderWidth = std::max(80, (captionWidth - 40 - 2 * bar->horizontalSpacing()) / 2);
  BrowseTrackBar->setFixedWidth(sliderWidth);
  ExpandTrackBar->setFixedWidth(sliderWidth);
  ButtonCalcMALDI->setFixedWidth(40);
  bar->setColumnStretch(5, 1);
  bar->addWidget(new QWidget(ControlBar), 0, 5);
  if (auto* layout = qobject_cast<QVBoxLayout*>(this->layout()))
    layout->insertWidget(0, ControlBar);

  // ---- the chart ----
  AChart->SetPanning(Charts::TPanning::Horizontal);
  AChart->SetAxisTitle(TAxisId::Bottom, QStringLiteral("m/z"));
  AChart->SetAxisTitle(TAxisId::Left, QStringLiteral("Number of Chains"));
  AChart->SetMarksDraggable(true);
  for (int c = 0; c < CurveCount; ++c) {
    const QColor colour = QColor::fromRgb(CurveColours[static_cast<std::size_t>(c)]);
    const int s = AChart->AddSeries(QString::fromLatin1(CurveDesigns[static_cast<std::size_t>(c)].Title), colour);
    AChart->SetSeriesVisible(s, false);
    AChart->SetSeriesInLegend(s, false);
    Charts::TMarkStyle style = AChart->MarkStyle(s);
    style.Angle = 90.0;
    style.Arrow = true;
    style.ArrowLength = MarkArrowLength;
    style.TextColor = colour;
    AChart->SetMarkStyle(s, style);
    AChart->SetMarksVisible(s, true);
    AChart->SetMarkTextFunction(s, [this](int series, int index) {
      return QString::fromStdString(FSpectrum.Curves[static_cast<std::size_t>(series)].Label(index));
    });
  }

  InsertMenuItems({aShowLabels});

  connect(aRecalcMALDI, &QAction::triggered, this, [this] { aRecalcMALDIExecute(); });
  connect(aShowLabels, &QAction::triggered, this, [this] { aShowLabelsExecute(); });
  connect(aResetLabels, &QAction::triggered, this, [this] { aResetLabelsExecute(); });
  connect(LabelLevelEdit, &QLineEdit::textChanged, this, [this] { LabelLevelEditChange(); });
  connect(BrowseTrackBar, &QSlider::valueChanged, this, [this] { BrowseTrackBarChange(); });
  connect(ExpandTrackBar, &QSlider::valueChanged, this, [this] { ExpandTrackBarChange(); });
  connect(AChart, &Charts::TChart::Scrolled, this, [this] { AChartScroll(); });
  connect(AChart, &Charts::TChart::ZoomUndone, this, [this] { AChartUndoZoom(); });

  FCreated = true;
  FormCreate();
}

TMALDIForm::~TMALDIForm() { FSpectrum.Release(); }

// ---- handlers ---------------------------------------------------------------------

void TMALDIForm::FormCreate() {
  TChartForm::FormCreate();
  const QString section = QString::fromLatin1(SettingsSection);
  if (FHost) {
    SetUpperLimit(FHost->ReadSettingString(section, QStringLiteral("UpperLimitsN"), QString()));
    FSpectrum.Cation = FHost->ReadSettingString(section, QStringLiteral("Cation"), QString()).toStdString();
  }
  const QString level =
      FHost ? FHost->ReadSettingString(section, QStringLiteral("LabellingLevel"), QStringLiteral("20"))
            : QStringLiteral("20");
  if (LabelLevelEdit->text() == level)
    LabelLevelEditChange();
  else
    LabelLevelEdit->setText(level);
  FormActivate();
}

void TMALDIForm::FormClose() {
  if (FHost) {
    const QString section = QString::fromLatin1(SettingsSection);
    FHost->WriteSettingString(section, QStringLiteral("UpperLimitsN"), UpperLimit());
    FHost->WriteSettingString(section, QStringLiteral("Cation"), Cation());
    FHost->WriteSettingString(section, QStringLiteral("LabellingLevel"), LabelLevelEdit->text());
  }
  TChartForm::FormClose();
}

void TMALDIForm::FormActivate() {
  const Shell::TMaldiBinding* binding = Shell::ActiveMaldiBinding();
  const bool storeQuiet = !FHost || !FHost->SimulationRunning() || FHost->SimulationPaused();
  aRecalcMALDI->setEnabled(binding != nullptr && binding->SpectrumAvailable() &&
                           !Engine::SimState().MassHistogram.Empty() && storeQuiet);
}

void TMALDIForm::FormEndDock() { setMinimumWidth(isWindow() ? FloatingMinimumWidth : 0); }

void TMALDIForm::ChartPopupMenuPopup() {
  TChartForm::ChartPopupMenuPopup();
  aXLogarithm->setVisible(false);
}

void TMALDIForm::RestorePlots(int n) { (void)n; }

void TMALDIForm::AChartResize() {
  TChartForm::AChartResize();
  if (!FCreated)
    return;
  UpdateExpandTrackBar();
  for (int c = 0; c < AChart->SeriesCount(); ++c) {
    Charts::TMarkStyle style = AChart->MarkStyle(c);
    style.ArrowLength = MarkArrowLength;
    AChart->SetMarkStyle(c, style);
  }
}

void TMALDIForm::closeEvent(QCloseEvent* event) {
  // Closing only hides the window (the plot selection destroys it).
  FormClose();
  event->ignore();
}

void TMALDIForm::showEvent(QShowEvent* event) {
  TChartForm::showEvent(event);
  FormActivate();
}

void TMALDIForm::changeEvent(QEvent* event) {
  TChartForm::changeEvent(event);
  if (event->type() == QEvent::ParentChange)
    FormEndDock();
  else if (event->type() == QEvent::ActivationChange && isActiveWindow())
    FormActivate();
}

void TMALDIForm::RunStateChanged() { FormActivate(); }

void TMALDIForm::enterEvent(QEnterEvent* event) {
  TChartForm::enterEvent(event);
  FormActivate();
}

void TMALDIForm::SetCation(const QString& text) { FSpectrum.Cation = CationFormula(text.toStdString()); }

// ---- the calculation ---------------------------------------------------------------

void TMALDIForm::ShowMessage(const QString& text) {
  FLastMessage = Plots::ShowWarning(this, QStringLiteral("MALDI Spectrum"), text);
}

bool TMALDIForm::aRecalcMALDIExecute() {
  FormActivate();
  if (!aRecalcMALDI->isEnabled()) {
    const Shell::TMaldiBinding* binding = Shell::ActiveMaldiBinding();
    if (binding == nullptr || !binding->SpectrumAvailable())
      ShowMessage(QStringLiteral("MALDI Spectrum not Allowed!\nThe MALDI library is not loaded or offers no "
                                 "\"PrepareSpectrum\" (Menu/File/MALDI DLL)."));
    else if (Engine::SimState().MassHistogram.Empty())
      ShowMessage(QStringLiteral("There is no product yet: perform a simulation first."));
    else
      ShowMessage(QStringLiteral("The MALDI spectrum can be calculated when the run has ended or while it is "
                                 "paused."));
    return false;
  }
  int result = QDialog::Rejected;
  if (FRunDialog) {
    result = FRunDialog(*this);
  } else {
    TMALDISettingsForm dialog(this, FHost, this);
    result = dialog.exec();
  }
  repaint();
  if (result != QDialog::Accepted)
    return false;
  return Recalculate();
}

TTableResult TMALDIForm::RunTables(const TTableJob& job) {
  const Shell::TMaldiBinding* binding = Shell::ActiveMaldiBinding();
  std::atomic<int> done{0};
  std::atomic<bool> finished{false};
  std::atomic<bool> cancel{false};
  TTableResult result;
  // The library is not re-entrant; while it works on the worker thread the
  // window thread only paints (user input is held back until the progress
  // dialog, which is application-modal, takes it).
  std::thread worker([&] {
    result = RunTableJob(*binding, job, [&](int d, int) {
      done.store(d);
      return !cancel.load();
    });
    finished.store(true);
  });
  QElapsedTimer timer;
  timer.start();
  std::unique_ptr<QProgressDialog> progress;
  const int total = static_cast<int>(job.Curves.size());
  // At least one turn, so a delay of 0 always shows the dialog.
  do {
    if (!progress && timer.elapsed() >= ProgressDelayMs) {
      ++FProgressShown;
      progress = std::make_unique<QProgressDialog>(QString(), QStringLiteral("Abort"), 0, total, this);
      progress->setObjectName(QStringLiteral("MALDIProgress"));
      progress->setWindowTitle(QStringLiteral("MALDI Spectrum"));
      progress->setWindowModality(Qt::ApplicationModal);
      progress->setMinimumDuration(0);
      progress->setAutoClose(false);
      progress->setAutoReset(false);
      progress->show();
    }
    if (progress && total > 0) {
      const int d = std::min(done.load(), total - 1);
      const auto file = QString::fromLatin1(CurveDesigns[static_cast<std::size_t>(job.Curves[static_cast<std::size_t>(d)])].FileName);
      progress->setLabelText(QStringLiteral("Preparing the isotopic patterns of %1 molecules\ntable %2 of %3 (%4)")
                                 .arg((static_cast<qint64>(job.N) + 1) * (job.N + 1))
                                 .arg(d + 1)
                                 .arg(total)
                                 .arg(file));
      progress->setValue(done.load());
      if (progress->wasCanceled())
        cancel.store(true);
    }
    QCoreApplication::processEvents(progress ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents, 20);
    if (!finished.load())
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (!finished.load());
  worker.join();
  return result;
}

bool TMALDIForm::Recalculate() {
  const Shell::TMaldiBinding* binding = Shell::ActiveMaldiBinding();
  const Params::TParameterFile* file = FHost ? FHost->RunParameterFile() : nullptr;
  if (binding == nullptr || !binding->SpectrumAvailable()) {
    ShowMessage(QStringLiteral("MALDI Spectrum not Allowed!"));
    return false;
  }
  if (file == nullptr) {
    ShowMessage(QStringLiteral("No parameter file is open: its formulas make the spectrum."));
    return false;
  }
  if (FSpectrum.TempDir.empty()) {
    const QString error = QStringLiteral("No MALDI spectrum: cannot create a folder for its tables in ") +
                          QString::fromStdString(TemporaryDirectory());
    Propagon::LogMessage(error.toStdString());
    ShowMessage(error);
    return false;
  }
  TBusyCursor busy;
  const Engine::TSimState& state = Engine::SimState();
  std::string error;
  // The unit limit of the spectrum now shown, for when no new one is made.
  const std::int32_t previousN = FSpectrum.N;
  const double previousUpper = FSpectrum.UpperLimitValue;
  if (!FSpectrum.ComputeUnitLimit(state, error)) {
    Propagon::LogMessage(error);
    ShowMessage(QString::fromStdString(error));
    return false;
  }
  const TTableResult tables = RunTables(FSpectrum.MakeJob(*file, state));
  if (TMALDISpectrum::FinishTables(tables) != 1) {
    FSpectrum.N = previousN;
    FSpectrum.UpperLimitValue = previousUpper;
    if (!tables.Cancelled)
      ShowMessage(QString::fromStdString(tables.Error));
    return false;
  }
  bool built = false;
  try {
    FSpectrum.PrepareABDistribution(state);
    built = FSpectrum.BuildCurves(state.ProcessType, error);
  } catch (const std::bad_alloc&) {
    error = "Not enough memory for a MALDI spectrum up to m/z " + FSpectrum.UpperLimit;
    Propagon::LogMessage(error);
  }
  ShowCurves();
  AChart->SetAxisAutomaticMaximum(TAxisId::Left, true);
  UpdateExpandTrackBar();
  if (!FSpectrum.Axis.empty()) {
    FCentre = (FSpectrum.Axis.front() + FSpectrum.Axis.back()) / 2.0;
    FWidth = FSpectrum.Axis.back() - FSpectrum.Axis.front();
  }
  SetPlotRange();
  if (!built)
    ShowMessage(QString::fromStdString(error));
  return built;
}

void TMALDIForm::ShowCurves() {
  for (int c = 0; c < CurveCount; ++c) {
    const TCurveData& curve = FSpectrum.Curves[static_cast<std::size_t>(c)];
    if (curve.Active)
      AChart->SetPoints(c, FSpectrum.Axis, curve.Intensities);
    AChart->SetSeriesVisible(c, curve.Active);
    AChart->SetSeriesInLegend(c, curve.Active);
    AChart->SetMarksVisible(c, curve.Active && aShowLabels->isChecked());
  }
  AChart->Refresh();
}

// ---- labels ------------------------------------------------------------------------

void TMALDIForm::LabelLevelEditChange() {
  int level = FSpectrum.LabelLevel;
  // A text that is not an integer (also while it is being typed) keeps the level.
  if (!ParseLabelLevel(LabelLevelEdit->text().toStdString(), level))
    return;
  FSpectrum.LabelLevel = level;
  if (!isVisible() || FSpectrum.ProcessType < 0)
    return;
  std::string error;
  const bool rebuilt = FSpectrum.RebuildLabels(error);
  ShowCurves();
  ScaleLeftAxis();
  if (!rebuilt)
    ShowMessage(QString::fromStdString(error));
}

void TMALDIForm::aShowLabelsExecute() {
  for (int c = 0; c < CurveCount; ++c)
    if (FSpectrum.Curves[static_cast<std::size_t>(c)].Active)
      AChart->SetMarksVisible(c, aShowLabels->isChecked());
  AChart->Refresh();
}

void TMALDIForm::aResetLabelsExecute() {
  for (int c = 0; c < CurveCount; ++c)
    if (FSpectrum.Curves[static_cast<std::size_t>(c)].Active)
      AChart->ResetMarkPositions(c);
  AChart->Refresh();
}

// ---- view control ------------------------------------------------------------------------

int TMALDIForm::MagnificationMaximum(int points, int width) {
  if (width <= 0)
    width = 1;
  return std::max(points - 1, 0) / width + 1;
}

void TMALDIForm::UpdateExpandTrackBar() { UpdateExpandTrackBar(AChart->width()); }

void TMALDIForm::UpdateExpandTrackBar(int chartWidth) {
  if (!ExpandTrackBar)
    return;
  const int maximum = MagnificationMaximum(static_cast<int>(FSpectrum.Axis.size()), chartWidth);
  ExpandTrackBar->setMaximum(maximum);
  ExpandTrackBar->setTickInterval(maximum / 5);
}

void TMALDIForm::SetPlotRange() {
  AChart->SetAxisMinimum(TAxisId::Bottom, FCentre - FWidth / 2.0);
  AChart->SetAxisMaximum(TAxisId::Bottom, FCentre + FWidth / 2.0);
  ScaleLeftAxis();
}

void TMALDIForm::ScaleLeftAxis() {
  const std::vector<double>& axis = FSpectrum.Axis;
  if (axis.empty())
    return;
  const double from = AChart->AxisMinimum(TAxisId::Bottom);
  const double to = AChart->AxisMaximum(TAxisId::Bottom);
  const auto first = static_cast<std::size_t>(std::lower_bound(axis.begin(), axis.end(), from) - axis.begin());
  const auto last = static_cast<std::size_t>(std::upper_bound(axis.begin(), axis.end(), to) - axis.begin());
  double largest = 0.0;
  for (int c = 0; c < CurveCount; ++c) {
    const TCurveData& curve = FSpectrum.Curves[static_cast<std::size_t>(c)];
    if (!curve.Active)
      continue;
    for (std::size_t k = first; k < last && k < curve.Intensities.size(); ++k)
      largest = std::max(largest, curve.Intensities[k]);
  }
  if (largest >= 1e-7)
    AChart->SetAxisMaximum(TAxisId::Left, 1.2 * largest);
  AChart->Invalidate();
}

void TMALDIForm::ExpandTrackBarChange() {
  const std::vector<double>& axis = FSpectrum.Axis;
  if (axis.size() < 2)
    return;
  const int p = std::max(1, ExpandTrackBar->value());
  const std::size_t perPage = (axis.size() - 1) / static_cast<std::size_t>(p);
  FWidth = axis[perPage] - axis.front();
  const int half = p / 2;
  const int previous = BrowseTrackBar->value();
  int position = previous;
  if (position < -half || position > half)
    position /= 2; // toward zero
  {
    const QSignalBlocker block(BrowseTrackBar);
    BrowseTrackBar->setRange(-half, half);
    BrowseTrackBar->setValue(position);
    BrowseTrackBar->setTickInterval(half / 5 + 1);
  }
  if (BrowseTrackBar->value() != previous)
    BrowseTrackBarChange();
  SetPlotRange();
}

void TMALDIForm::BrowseTrackBarChange() {
  const std::vector<double>& axis = FSpectrum.Axis;
  if (axis.size() < 2)
    return;
  FCentre = (axis.front() + axis.back()) / 2.0 + BrowseTrackBar->value() * FWidth;
  SetPlotRange();
}

void TMALDIForm::AChartScroll() {
  ScaleLeftAxis();
  AChart->Refresh();
}

void TMALDIForm::AChartUndoZoom() {
  if (!FSpectrum.Axis.empty())
    AChart->SetAxisMaximum(TAxisId::Bottom, FSpectrum.Axis.back());
}

} // namespace MaldiView
