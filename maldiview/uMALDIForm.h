#pragma once
// The MALDI window (caption "MALDI"): the simulated MALDI-ToF spectrum of the
// current product, intensity in numbers of chains against m/z, one curve per
// kind of chain end (I~~I, I~H, I~=, I~X), with labels "i+j" (i units of A,
// j of B) on the main peaks.
//
// Above the chart a control bar: a browse slider that moves the view by whole
// view widths, the calculate button, a magnification slider, the label level
// and a button that puts dragged labels back. The chart pans horizontally
// with the right mouse button; labels are turned upright and can be dragged.
//
// Settings (section "MALDI"): "UpperLimitsN", "Cation", "LabellingLevel".
//
// The calculation runs on the window thread, except for the library calls,
// which run on a worker thread while this thread keeps the window painted and
// shows a progress dialog once they take longer than half a second. The
// spectrum is only calculated from a store that no run is changing (after a
// run, or while it is paused).
//
// Window thread only.

#include "maldiview/uMALDISpectrum.h"
#include "plots/uChartForm.h"

#include <QPointer>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QSlider;
class QToolButton;

namespace MaldiView {

class TTableFolder;

class TMALDIForm : public Plots::TChartForm {
  Q_OBJECT

public:
  static constexpr int DesignWidth = 576;
  static constexpr int DesignHeight = 333;
  static constexpr int ControlBarHeight = 51;
  static constexpr int FloatingMinimumWidth = 584;
  static constexpr int MarkArrowLength = 20;
  // Settings section: the caption.
  static constexpr const char* SettingsSection = "MALDI";
  // Library calls that take longer than this show a progress dialog.
  static int ProgressDelayMs;

  explicit TMALDIForm(Plots::TPlotHost* host = nullptr, QWidget* parent = nullptr);
  ~TMALDIForm() override;

  // ---- settings taken over from the dialog ------------------------------------
  QString UpperLimit() const { return QString::fromStdString(FSpectrum.UpperLimit); }
  void SetUpperLimit(const QString& text) { FSpectrum.UpperLimit = text.toStdString(); }
  QString Cation() const { return QString::fromStdString(FSpectrum.Cation); }
  // The cation without one trailing "+" (an empty text stays empty).
  void SetCation(const QString& text);
  int LabelLevel() const { return FSpectrum.LabelLevel; }

  // ---- handlers ---------------------------------------------------------------------
  // Reads the three settings (the level through LabelLevelEditChange).
  void FormCreate();
  // Writes the three settings; the base saves the placement and hides.
  void FormClose();
  // The calculate button is enabled when the library offers "PrepareSpectrum",
  // the store has molar masses, and no run is changing the store.
  void FormActivate();
  // A run started, ended, paused or resumed: Calculate follows at once (a
  // docked window gets no activation or enter event for it).
  void RunStateChanged() override;
  // A floating window is at least FloatingMinimumWidth wide; docked, no minimum.
  void FormEndDock();
  // Base behaviour, then X-Logarithm is hidden (m/z is always linear).
  void ChartPopupMenuPopup() override;
  // Nothing: the spectrum is made on demand, not from the run's records.
  void RestorePlots(int n) override;
  void AChartResize() override;

  // ---- commands -------------------------------------------------------------------
  // The settings dialog, then Recalculate. Returns whether a new spectrum is shown.
  bool aRecalcMALDIExecute();
  // Steps 2 … 7 of a recalculation with the settings as they are.
  bool Recalculate();
  void LabelLevelEditChange();
  void aShowLabelsExecute();
  void aResetLabelsExecute();

  // ---- view control ---------------------------------------------------------------
  void BrowseTrackBarChange();
  void ExpandTrackBarChange();
  // Magnification range and ticks for the chart's width (or the given one).
  void UpdateExpandTrackBar();
  void UpdateExpandTrackBar(int chartWidth);
  void SetPlotRange();
  void ScaleLeftAxis();
  void AChartScroll();
  void AChartUndoZoom();
  // Magnification maximum for `points` axis points on a chart `width` pixels
  // wide: (points - 1) div width + 1.
  static int MagnificationMaximum(int points, int width);
  double ViewCentre() const { return FCentre; }
  double ViewWidth() const { return FWidth; }

  // ---- for the program and its tests --------------------------------------------
  const TMALDISpectrum& Spectrum() const { return FSpectrum; }
  TMALDISpectrum& Spectrum() { return FSpectrum; }
  // Runs the settings dialog and returns its result; tests replace it, the
  // program shows the dialog modally.
  using TSettingsDialogRunner = std::function<int(TMALDIForm& form)>;
  void SetSettingsDialogRunner(TSettingsDialogRunner runner) { FRunDialog = std::move(runner); }
  // The last message box shown (nullptr when none is open).
  QWidget* LastMessage() const { return FLastMessage; }
  // How often a progress dialog has been shown.
  int ProgressShown() const { return FProgressShown; }

  QWidget* ControlBar = nullptr;
  QSlider* BrowseTrackBar = nullptr;
  QToolButton* ButtonCalcMALDI = nullptr;
  QSlider* ExpandTrackBar = nullptr;
  QLabel* StaticText1 = nullptr;
  QLineEdit* LabelLevelEdit = nullptr;
  QLabel* LabelLevelLabel = nullptr;
  QToolButton* ButtonResetLabels = nullptr;
  QAction* aRecalcMALDI = nullptr;
  QAction* aShowLabels = nullptr;
  QAction* aResetLabels = nullptr;

protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  // The mouse coming over the window: the calculate button follows a run
  // that has ended or paused meanwhile (a docked window gets no activation).
  void enterEvent(QEnterEvent* event) override;

private:
  TTableResult RunTables(const TTableJob& job);
  void ShowCurves();
  void ShowMessage(const QString& text);

  std::unique_ptr<TTableFolder> FTableFolder;  // before FSpectrum, which names it
  TMALDISpectrum FSpectrum;
  double FCentre = 0.0;
  double FWidth = 0.0;
  bool FCreated = false;
  TSettingsDialogRunner FRunDialog;
  QPointer<QWidget> FLastMessage;
  int FProgressShown = 0;
};

} // namespace MaldiView
