#pragma once
// Chain microstructure view: every chain a column of pixels, one pixel per
// monomer unit from the first unit (top) to the last, in the colour of its
// monomer; a grid line every 100 units and a DP ruler on the left. During a
// run the picture grows unit by unit.
//
// Which chains are shown: living, ATRP and living reversible runs show chain
// h in column h; free-radical runs, which may hold 10^5 chains and more, show
// every StructureChainStep-th chain, chain h in column h / StructureChainStep,
// where StructureChainStep = max(1, N div width) and N is the number of
// chains expected by the end of the run (ExpectedChainsN). The view writes
// the step into the store, where the free-radical kernel reads it to decide
// which events to send.
//
// Enlarged mode shows the chains Magnification times larger; entering it
// pauses a running simulation so the picture stands still, leaving it lets
// a paused simulation continue.
//
// Threading: as for the DP distribution view (uDistribForm.h): window thread
// only; the chain store is read inside the run's synchronous calls, while
// the run is paused and after it has ended.

#include "plots/uLiveViewForm.h"
#include "plots/uLiveViewTools.h"

#include <QColor>

#include <optional>

class QAction;

namespace Plots {

class TLiveViewHost;

class TStructureForm : public TLiveViewForm {
  Q_OBJECT

public:
  static constexpr const char* DockedCaption = "Chains";
  // Settings section and keys.
  static constexpr const char* SettingsSection = "Chains";
  static constexpr int DefaultColorA = 65535;   // RGB(255, 255, 0), as a Windows colour value
  static constexpr int DefaultColorB = 8421504; // RGB(128, 128, 128)
  static constexpr int DefaultMagnification = 2;
  // Enlargements beyond this would need pictures of gigabytes.
  static constexpr int MaxMagnification = 20;
  static constexpr int NormalPlotHeight = 4000;
  static constexpr int DefaultExpectedChains = 2047;

  explicit TStructureForm(TLiveViewHost* host = nullptr, QWidget* parent = nullptr);
  ~TStructureForm() override;

  // ---- called by the run (through the observer) and the main window ----

  // Full repaint from the chain store in the current mode; sets the caption.
  void PaintBoxPaint();
  void PaintBoxPaintLarge();
  // White with a black frame (the main window's Clear).
  void ClearPlot();
  // Horizontal lines every 100 units (every 100 * Magnification pixels when
  // enlarged). The run calls it at every check point, the main window on
  // Pause: moments when the store may be read, so a picture that lags
  // behind the store is repainted whole instead.
  void DrawGrid();
  // Lays the view out again and recomputes StructureChainStep. The run calls
  // it when it allocates its store and at InitializeRun; a free-radical store
  // then brings its ExpectedChainsN.
  void StructureFormResize();
  void FormResize();

  // Live painting, one call per event (h = chain, p = position, t = unit kind,
  // d = chain that gave k units to the end of chain h).
  void DrawUnit(int h, int p, int t);
  void DrawUnitStrided(int h, int p, int t);
  void EraseUnit(int h, int p);
  void DrawSegment(int h, int d, int k);
  void DrawSegmentStrided(int h, int d, int k);

  // Normal (false) or enlarged (true) mode; the main window's Enlarge and
  // Restore Microstructure actions.
  void SetMagnified(bool on);
  bool Magnified() const { return FMagnified; }

  // ---- context menu ----

  // Opens the colour dialog for palette entry 0 (A) or 1 (B).
  void PopUpSetColor(int index);
  // The dialog's answer (nullopt = cancelled): a chosen colour replaces the
  // entry; the entry is stored in the settings either way; then repaint.
  void ApplyColorChoice(int index, std::optional<QColor> chosen);
  // Opens the input dialog, then ApplyMagnificationText.
  void PopUpMagnificationClick();
  // A whole number becomes the magnification (stored, both areas resized and
  // repainted); anything else shows the conversion error and changes nothing.
  bool ApplyMagnificationText(const QString& text);
  // aEditCopyPlotExecute, aPrintPlotExecute, aPrintPlotAccept: TLiveViewForm.

  // ---- state, for the program and its tests ----

  QColor ColorA() const;
  QColor ColorB() const;
  int Magnification() const { return FMagnification; }
  int ExpectedChainsN() const { return FExpectedChainsN; }
  // A new expected chain count (a parameter file was opened); lays out again.
  void SetExpectedChainsN(int n);
  int StructureChainStep() const { return FStructureChainStep; }
  int PaintBoxWidth() const;
  int PaintBoxHeight() const;
  // PlotImage (the chains' picture: index 0 white, 1 black, 2 monomer A,
  // 3 monomer B), FlushPainting, MarkStale, PopupMenu, aEditCopyPlot,
  // aPrintPlot: TLiveViewForm.
  QImage PlotPicture() override;

protected:
  void changeEvent(QEvent* event) override;
  void LayOut() override { FormResize(); }
  void Repaint() override;
  bool Live() const override;
  void CoordinatesPaintBoxPaint(QPainter& painter) override;

private:
  bool StoreHasChains() const;
  int EffectiveMagnification() const;
  void SetPlotHeights(int height);
  void FormActivate();
  void FormDeactivate();
  // Column of chain h in normal mode, or -1 when h is not shown.
  bool ReadyForEvent();
  int ColumnOf(int h) const;
  int StridedColumnOf(int h) const;
  void PaintUnits(int column, int chain, int first, int last);

  QAction* FSetColorA;
  QAction* FSetColorB;
  QAction* FMagnificationItem;

  int FExpectedChainsN = DefaultExpectedChains;
  int FStructureChainStep = 1;
  int FMagnification = DefaultMagnification;
  bool FMagnified = false;
  bool FPauseRequested = false;  // Enlarge asked the run to pause
  int FRulerWidth = 57;
};

// Windows colour value (red in the low byte) to and from a colour.
QColor ColorFromWindowsValue(int value);
int WindowsValueOf(QColor color);

} // namespace Plots
