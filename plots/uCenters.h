#pragma once
// The active-centre chart ("Centers" in the plot selection): the
// concentrations of centres ending in A ([A*]) and in B ([B*]), and either
// their sum (free-radical and ATRP runs) or the centres that still end in the
// initiator ([I*], living runs), at every check point.
//
// The centre records are released when a run ends, so a window created after
// the end of a run stays empty.
//
// Threading: window thread; the run calls InitializePlots and AddPoint
// through the observer while it waits (see TChartForm).

#include "plots/uChartForm.h"

namespace Plots {

class TCentersForm : public TChartForm {
  Q_OBJECT

public:
  enum : int { Series1 = 0, Series2 = 1, Series3 = 2 };

  explicit TCentersForm(TPlotHost* host = nullptr, QWidget* parent = nullptr);

  // Removes all points, reads SimVolume (f = 1 / (SimVolume * NA)), adds
  // (0, 0) to each series and sets the third title and the left-axis format
  // for the process type. When SimVolume cannot be read the window stays
  // empty (and the reason is logged).
  void InitializePlots();
  // Check point k = number of points of [A*]; ignored beyond the records.
  void AddPoint();
  // InitializePlots, AddPoint n times, redraw; nothing without records.
  void RestorePlots(int n) override;

  // The factor from a number of centres to mol/L of the current run.
  double Factor() const { return FFactor; }

private:
  double FFactor = 0.0;
  bool FInitialized = false;
};

} // namespace Plots
