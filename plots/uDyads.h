#pragma once
// The dyad chart ("Dyads" in the plot selection): the fractions of the dyads
// AA, AB, BA and BB among all neighbouring unit pairs of all chains, at every
// check point. A dyad that does not occur leaves a gap, not a line along 0.
//
// The dyad records are released when a run ends, so a window created after
// the end of a run stays empty.
//
// Threading: window thread; the run calls InitializePlots and AddPoint
// through the observer while it waits (see TChartForm).

#include "plots/uChartForm.h"

namespace Plots {

class TDyadForm : public TChartForm {
  Q_OBJECT

public:
  enum : int { Series1 = 0, Series2 = 1, Series3 = 2, Series4 = 3 };
  // Fractions below this count as absent (drawn as gaps).
  static constexpr double Threshold = 1e-10;

  explicit TDyadForm(TPlotHost* host = nullptr, QWidget* parent = nullptr);

  // Removes all points; (0, 0) for each dyad.
  void InitializePlots();
  // Check point k = number of points of AA; ignored beyond the records.
  void AddPoint();
  // InitializePlots, AddPoint n times, repaint; nothing without records.
  void RestorePlots(int n) override;
};

} // namespace Plots
