#pragma once
// The DP averages chart ("DP Av." in the plot selection): number-, weight-
// and z-average degree of polymerization on the left axis and the dispersity
// DI = DPw / DPn on the right axis, computed from the DP histogram at every
// check point.
//
// The averages are not recorded per check point, so a window created after a
// run has started cannot show the earlier course: it shows the initial point
// and the state of the check point reached, at that check point's time, and
// continues from there.
//
// Threading: window thread; the run calls InitializePlots and AddPoint
// through the observer while it waits (see TChartForm).

#include "plots/uChartForm.h"

#include <cstdint>

namespace Plots {

// Averages of a DP histogram n(i), i = 0 … 32767, over the chains of DP >= 1.
struct TDPAverages {
  double DPn = 0.0;
  double DPw = 0.0;
  double DPz = 0.0;
  double DI = 1.0;
};

// DPn = S1/S0, DPw = S2/S1, DPz = S3/S2, DI = DPw/DPn with Sm = sum i^m n(i)
// (exact 64-bit sums, so the largest runs cannot overflow). No chain of
// DP >= 1 gives 0, 0, 0 and DI = 1. `histogram` holds `count` entries.
TDPAverages CalcDPAverages(const std::int32_t* histogram, std::size_t count);

class TDPChartForm : public TChartForm {
  Q_OBJECT

public:
  enum : int { Series1 = 0, Series2 = 1, Series3 = 2, Series4 = 3 };

  explicit TDPChartForm(TPlotHost* host = nullptr, QWidget* parent = nullptr);

  // Removes all points; (0, 0) for DPn, DPw, DPz and (0, 1) for DI.
  void InitializePlots();
  // The averages of the current histogram at check point k. Without an
  // index, k is the number of points DPn holds (the initial point is 0).
  void AddPoint(int checkPoint = -1);
  // The initial point and the current state at check point n (see above).
  void RestorePlots(int n) override;
};

} // namespace Plots
