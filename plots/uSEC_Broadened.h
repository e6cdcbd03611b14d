#pragma once
// The simulated SEC trace ("SEC Plot" in the plot selection): the weight
// distribution of the chains regrouped on a logarithmic mass grid and
// broadened with a Gaussian whose width the user sets with a track bar,
// drawn against log10 M on an inverted axis labelled as an elution volume,
// with dashed lines and turned labels at Mn and Mw.
//
// The computation is TSECTrace (plots/calc/uSECTrace.h); this window owns one
// and draws it.
//
// When it recalculates: at the end of a run and on pause (EndOfRunStatistics,
// RecalculateOnPause, or CalculateSEC called directly), and when the track
// bar moves. The chain statistics flag every rebuild of the mass histograms
// (TSimState::NeedsAggregation); the next calculation then aggregates again.
//
// Threading: window thread. The weight histogram is rebuilt by the simulation
// thread at every check point, so the window aggregates it only when that
// cannot happen: in the calls above, and on a track-bar move while no run is
// going or the run is paused (the host says which). A track-bar move during a
// running run broadens the grid the window aggregated last time and leaves
// the pending aggregation for the next safe calculation.

#include "plots/calc/uSECTrace.h"
#include "plots/uChartForm.h"

class QLabel;
class QSlider;

namespace Plots {

class TSECPlot : public TChartForm {
  Q_OBJECT

public:
  enum : int { Series1 = 0, Series2 = 1, Series3 = 2, Series4 = 3 };

  explicit TSECPlot(TPlotHost* host = nullptr, QWidget* parent = nullptr);

  // Computes and draws the trace for the track bar's position: the label,
  // then (with records and mass histograms) aggregation when needed, the
  // broadening, the markers and the elution-volume labels. The state must be
  // readable (end of run, pause, no run).
  void CalculateSEC();
  // The track bar moved: recompute (see the threading note above).
  void BroadeningTrackBarChange();
  // Rebuilds the grid from the state's weight histogram.
  void AggregateMasses();
  // Replaces the bottom-axis labels by elution volumes: with L labels, the
  // one at log10 M = k reads L + 3 - k. L is fixed by the first call: the
  // whole decades the axis shows then, from 0 to its maximum.
  void SetCustomLabels();

  void EndOfRunStatistics() override;
  void RecalculateOnPause() override;

  // "Mn = 12345" for label point 0, "Mw = 23456" for any other.
  QString SeriesGetMarkText(int series, int index) const;
  void ChartPopupMenuPopup() override;
  void AChartResize() override;

  // The window's own flag or the chain statistics' one is set.
  bool NeedsAggregation() const;
  const TSECTrace& Trace() const { return FTrace; }

  QWidget* Panel1 = nullptr;
  QSlider* BroadeningTrackBar = nullptr;
  QLabel* LabelTrackScale = nullptr;
  QLabel* LabelBroadening = nullptr;

private:
  // Broadens at the track bar's width and puts trace, markers and labels
  // into the chart.
  void DrawTrace();

  TSECTrace FTrace;
};

} // namespace Plots
