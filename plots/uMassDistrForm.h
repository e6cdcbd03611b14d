#pragma once
// The molar-mass distribution chart ("Mass Distribution" in the plot
// selection, caption "Mass Dist."): the number and the weight distribution
// of the chains' molar masses, smoothed by a moving average whose width the
// user sets with a track bar, with dashed lines and turned labels at Mn and
// Mw.
//
// The curves come from the mass histograms of the chain statistics
// (TSimState: MassHistogram, Mn, Mw); the
// computation is TMassDistrCalc (plots/calc/uMassDistrCalc.h).
//
// When it recalculates: at the end of a run and on pause (EndOfRunStatistics,
// RecalculateOnPause, or CalcSmoothDistributions called directly), and when
// the track bar moves. Nothing is recomputed at the check points, so while a
// run goes on the window shows its last calculation.
//
// Threading: window thread. The histograms are rebuilt by the simulation
// thread at every check point, so the window reads them only when that
// cannot happen: in the calls above, and on a track-bar move while no run is
// going or the run is paused (the host says which). A calculation while a run
// exists (pause, end of run) keeps a copy of the histograms, and a track-bar
// move during the running run smooths that copy instead.

#include "plots/calc/uMassDistrCalc.h"
#include "plots/uChartForm.h"

#include <array>
#include <vector>

class QActionGroup;
class QLabel;
class QSlider;

namespace Plots {

class TMassDistrChartForm : public TChartForm {
  Q_OBJECT

public:
  // Design identities of the five series. Their places in the chart's order
  // change with the Number/Weight Distribution items: SeriesIndex gives the
  // current place.
  enum TDesignSeries : int { Series1 = 0, Series2 = 1, Series3 = 2, Series4 = 3, Series5 = 4 };

  explicit TMassDistrChartForm(TPlotHost* host = nullptr, QWidget* parent = nullptr);

  // Computes SN and SW from the state's histograms at the track bar's width
  // and redraws the five series. The state must be readable (end of run,
  // pause, no run). Does nothing without records, while no chain has grown,
  // or without mass histograms.
  void CalcSmoothDistributions();
  // The track bar moved: recompute (see the threading note above).
  void ResolutionTrackBarChange();

  void EndOfRunStatistics() override;
  void RecalculateOnPause() override;

  // "Mn = 12345" for label point 0, "Mw = …" for point 1: the point's X
  // rounded to a whole number.
  QString SeriesGetMarkText(int series, int index) const;
  // Number Distribution: Series2 one place earlier (the number curve comes
  // to the front). Weight Distribution: the same with Series1.
  void PopUpNumberDistrClick();
  void PopUpWeightDistrClick();
  // The distributions per decade, w(log M) and n(log M), over a logarithmic
  // molar-mass axis (off: the per-g/mol curves, the default).
  void SetLogMolarMassView(bool on);
  bool LogMolarMassView() const { return FLogView; }
  void ChartPopupMenuPopup() override;
  void AChartResize() override;

  // Current place of a design series in the chart's order.
  int SeriesIndex(TDesignSeries series) const;
  // The smoothed arrays (b + 1 entries after a calculation).
  const std::vector<double>& SN() const { return FCalc.SN(); }
  const std::vector<double>& SW() const { return FCalc.SW(); }

  QWidget* Panel1 = nullptr;
  QSlider* ResolutionTrackBar = nullptr;
  QLabel* IntervalWidthLabel = nullptr;
  QAction* PopUpNumberDistr = nullptr;
  QAction* PopUpWeightDistr = nullptr;
  QAction* PopUpLogMolarMass = nullptr;
  QAction* N1 = nullptr;

private:
  // Puts SN, SW and the markers into the series.
  void DrawCurves();
  void DrawLogCurves();
  // Moves a design series one place earlier, unless it is first.
  void MoveEarlier(TDesignSeries series);
  // Bottom: the molar mass and its unit; left: the curve in front.
  void UpdateAxisTitles();
  bool FLogView = false;

  TMassDistrCalc FCalc;
  // Mass axis without its last bin: the X values of the two curves.
  std::vector<double> FShownMasses;
  double FShownStep = 1.0; // the grid step FShownMasses were made for
  // Design series in their current chart order.
  std::array<int, 5> FOrder{Series1, Series2, Series3, Series4, Series5};
  QActionGroup* FDistrGroup = nullptr;
};

} // namespace Plots
