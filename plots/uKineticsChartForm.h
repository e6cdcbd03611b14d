#pragma once
// The kinetics chart ("Conversion" in the plot selection): initiator,
// terminated chains, monomer A, monomer B and both monomers against time, at
// the start and at every check point of a run, as concentrations (mol/L),
// conversions, or the first-order plot ln([X]0/[X]).
//
// The initiator and terminated-chain curves are magnified by
// F = max(A(0), B(0)) / I(0) so that they share the monomers' scale; their
// titles say so ("[I] x 250.0").
//
// Threading: window thread; the run calls InitializePlots and AddPoint
// through the observer while it waits (see TChartForm).

#include "plots/uChartForm.h"

class QActionGroup;

namespace Plots {

class TKineticsChartForm : public TChartForm {
  Q_OBJECT

public:
  enum class TYAxisMode { Concentrations, Conversions, SemiLog };
  // Series indices in chart order.
  enum : int { Series1 = 0, Series2 = 1, Series3 = 2, Series4 = 3, Series5 = 4 };

  explicit TKineticsChartForm(TPlotHost* host = nullptr, QWidget* parent = nullptr);

  // Starts the curves afresh for the current run: titles with F, the left
  // axis of the mode, and the initial point of each series. When ScalingCoeff
  // cannot be read the window stays empty (and the reason is logged).
  void InitializePlots();
  // Appends check point k = number of points of [A] (the initial point is
  // check point 0). Ignored before InitializePlots and beyond the records.
  void AddPoint();
  // InitializePlots, AddPoint n times, redraw.
  void RestorePlots(int n) override;
  // Rebuilds the curves in the current mode over the check points shown.
  void RecalculateYAxis();
  void ChartPopupMenuPopup() override;

  void ActionYAxisConcentrExecute();
  void ActionYAxisConversionExecute();
  void ActionYAxisSemiLogExecute();

  TYAxisMode YAxisMode() const { return FYAxisMode; }
  // The magnification F of the initiator curves of the current run.
  double Factor() const { return FFactor; }

  QAction* ActionYAxisConcentr = nullptr;
  QAction* ActionYAxisConversion = nullptr;
  QAction* ActionYAxisSemiLog = nullptr;

private:
  void SetMode(TYAxisMode mode);
  QString LeftAxisTitle() const;

  QActionGroup* FYAxisGroup = nullptr;
  TYAxisMode FYAxisMode = TYAxisMode::Concentrations;
  double FScalingCoeff = 0.0; // SC: molecules -> mol/L
  double FFactor = 1.0;       // F
  bool FInitialized = false;
};

} // namespace Plots
