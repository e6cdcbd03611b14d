#include "plots/uKineticsChartForm.h"

#include "charts/uChart.h"
#include "engine/uDataStruct.h"
#include "params/uLogMessage.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"
#include "plots/uPlotHost.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

#include <cmath>
#include <exception>

namespace Plots {

using Charts::TAxisId;

namespace {

struct TSeriesDesign {
  const char* Title;
  QColor Color;
  Qt::PenStyle Pen;
};

// Red, black, azure (0, 128, 255), spring green and pink, as the program has
// always shown them. Green (0, 255, 128) and pink (255, 128, 255) were chosen
// for a grey chart background; on white they all but vanish, so they are
// drawn a shade deeper with the same hue. The pen patterns keep the curves
// apart on a grey-scale printout, where red and azure, and green and pink,
// come out as nearly the same grey.
const TSeriesDesign Designs[] = {
    {"[I]", QColor(255, 0, 0), Qt::DashLine},
    {"[T]", QColor(0, 0, 0), Qt::DashDotDotLine},
    {"[A]", QColor(0, 128, 255), Qt::SolidLine},
    {"[B]", QColor(0, 190, 95), Qt::DashDotLine},
    {"[A]+[B]", QColor(215, 80, 215), Qt::DotLine},
};

} // namespace

TKineticsChartForm::TKineticsChartForm(TPlotHost* host, QWidget* parent) : TChartForm(host, parent) {
  setObjectName(QStringLiteral("KineticsChartForm"));
  setWindowTitle(QStringLiteral("Kinetics"));
  for (const TSeriesDesign& design : Designs) {
    const int s = AChart->AddSeries(QString::fromLatin1(design.Title), design.Color);
    AChart->SetSeriesPenStyle(s, design.Pen);
  }
  AChart->SetAxisTitle(TAxisId::Bottom, QStringLiteral("time, s"));

  ActionYAxisConcentr = new QAction(QStringLiteral("Y-Concentrations"), this);
  ActionYAxisConcentr->setObjectName(QStringLiteral("ActionYAxisConcentr"));
  ActionYAxisConversion = new QAction(QStringLiteral("Y-Conversions"), this);
  ActionYAxisConversion->setObjectName(QStringLiteral("ActionYAxisConversion"));
  ActionYAxisSemiLog = new QAction(QStringLiteral("Y-Semi Log"), this);
  ActionYAxisSemiLog->setObjectName(QStringLiteral("ActionYAxisSemiLog"));
  FYAxisGroup = new QActionGroup(this);
  FYAxisGroup->setExclusive(true);
  for (QAction* action : {ActionYAxisConcentr, ActionYAxisConversion, ActionYAxisSemiLog}) {
    action->setCheckable(true);
    FYAxisGroup->addAction(action);
  }
  ActionYAxisConcentr->setChecked(true);
  connect(ActionYAxisConcentr, &QAction::triggered, this, [this] { ActionYAxisConcentrExecute(); });
  connect(ActionYAxisConversion, &QAction::triggered, this, [this] { ActionYAxisConversionExecute(); });
  connect(ActionYAxisSemiLog, &QAction::triggered, this, [this] { ActionYAxisSemiLogExecute(); });
  InsertMenuItems({ActionYAxisConcentr, ActionYAxisConversion, ActionYAxisSemiLog});

  // FormCreate: concentration mode, then the base steps.
  FYAxisMode = TYAxisMode::Concentrations;
  AChart->SetAxisTitle(TAxisId::Left, LeftAxisTitle());
  AChartResize();
  FormCreate();
}

QString TKineticsChartForm::LeftAxisTitle() const {
  switch (FYAxisMode) {
  case TYAxisMode::Conversions:
    return QStringLiteral("Conversion");
  case TYAxisMode::SemiLog:
    return QStringLiteral("Ln([X]o/[X])");
  case TYAxisMode::Concentrations:
    break;
  }
  return QStringLiteral("Concentration (mol/L)");
}

void TKineticsChartForm::InitializePlots() {
  const Engine::TSimState& state = Engine::SimState();
  FInitialized = false;
  AChart->ClearAllSeries();
  FormPaint();
  if (!state.CheckPointRecordsAllocated())
    return;

  AChart->SetSeriesVisible(Series2, state.ProcessType != Engine::ptFreeRadical);
  const double i0 = state.CPInitiator[0];
  const double a0 = state.CPMonomerA[0];
  const double b0 = state.CPMonomerB[0];
  // A validated file always has initiator; without it there is nothing to
  // magnify by (and no infinite factor in the titles).
  FFactor = i0 > 0.0 ? std::max(a0, b0) / i0 : 1.0;
  const QString factor = QString::fromStdString(Propagon::FormatFloat("0.0", FFactor));
  AChart->SetSeriesTitle(Series1, QStringLiteral("[I] x ") + factor);
  AChart->SetSeriesTitle(Series2, QStringLiteral("[T] x ") + factor);

  AChart->SetAxisTitle(TAxisId::Left, LeftAxisTitle());
  const Params::TParameterFile* file = FHost ? FHost->RunParameterFile() : nullptr;
  if (!file)
    return;
  try {
    FScalingCoeff = file->ReadLocalFloat(Params::SimulationParametersSection, "ScalingCoeff");
  } catch (const std::exception& error) {
    Propagon::LogMessage(error.what());
    return;
  }
  AChart->SetAxisAutomatic(TAxisId::Left, true);

  const double sc = FScalingCoeff;
  const double t0 = state.CPDeadChains[0];
  double values[5] = {0.0, 0.0, 0.0, 0.0, 0.0};
  if (FYAxisMode == TYAxisMode::Concentrations) {
    values[Series1] = i0 * sc * FFactor;
    values[Series2] = t0 * sc * FFactor;
    values[Series3] = a0 * sc;
    values[Series4] = b0 * sc;
    values[Series5] = (a0 + b0) * sc;
  }
  for (int s = Series1; s <= Series5; ++s)
    AddStartPoint(s, values[s]);
  FInitialized = true;
}

void TKineticsChartForm::AddPoint() {
  const Engine::TSimState& state = Engine::SimState();
  const int k = AChart->PointCount(Series3);
  if (!FInitialized || k < 1 || k > state.CheckPointsHigh || !state.CheckPointRecordsAllocated())
    return;
  const double x = state.CheckPointTime[static_cast<std::size_t>(k)];
  const double i0 = state.CPInitiator[0];
  const double a0 = state.CPMonomerA[0];
  const double b0 = state.CPMonomerB[0];
  const double ik = state.CPInitiator[static_cast<std::size_t>(k)];
  const double tk = state.CPDeadChains[static_cast<std::size_t>(k)];
  const double ak = state.CPMonomerA[static_cast<std::size_t>(k)];
  const double bk = state.CPMonomerB[static_cast<std::size_t>(k)];
  const double sc = FScalingCoeff;

  switch (FYAxisMode) {
  case TYAxisMode::Concentrations:
    AChart->AddXY(Series1, x, ik * sc * FFactor);
    AChart->AddXY(Series2, x, tk * sc * FFactor);
    AChart->AddXY(Series3, x, ak * sc);
    AChart->AddXY(Series4, x, bk * sc);
    AChart->AddXY(Series5, x, (ak + bk) * sc);
    break;
  case TYAxisMode::Conversions: {
    // A reference amount of 0 has no conversion: a gap, so that every
    // series keeps one point per check point.
    auto add = [this, x](int s, double reference, double value) {
      if (reference > 0.0)
        AChart->AddXY(s, x, value);
      else
        AChart->AddNull(s, x, 0.0);
    };
    add(Series1, i0, 1.0 - ik / i0);
    add(Series2, i0, tk / i0);
    add(Series3, a0, 1.0 - ak / a0);
    if (b0 > 0.0)
      AChart->AddXY(Series4, x, 1.0 - bk / b0);
    add(Series5, a0 + b0, 1.0 - (ak + bk) / (a0 + b0));
    break;
  }
  case TYAxisMode::SemiLog: {
    // -ln r of the remaining fraction r; used up (r = 0) or undefined
    // gives a gap at 0.
    auto add = [this, x](int s, double reference, double remaining) {
      const double r = reference > 0.0 ? remaining : 0.0;
      if (r > 0.0 && std::isfinite(r))
        AChart->AddXY(s, x, -std::log(r));
      else
        AChart->AddNull(s, x, 0.0);
    };
    add(Series1, i0, ik / i0);
    add(Series2, i0, 1.0 - tk / i0);
    add(Series3, a0, ak / a0);
    if (b0 > 0.0)
      add(Series4, b0, bk / b0);
    add(Series5, a0 + b0, (ak + bk) / (a0 + b0));
    break;
  }
  }
  AChart->Invalidate();
}

void TKineticsChartForm::RestorePlots(int n) {
  InitializePlots();
  for (int k = 1; k <= n; ++k)
    AddPoint();
  AChart->Refresh();
}

void TKineticsChartForm::RecalculateYAxis() {
  const int m = AChart->PointCount(Series3) - 1;
  if (m < 0) {
    // Nothing shown (no run yet, or cleared): only the axis follows the mode.
    AChart->SetAxisTitle(TAxisId::Left, LeftAxisTitle());
    return;
  }
  InitializePlots();
  for (int k = 1; k <= m; ++k)
    AddPoint();
  AChart->Refresh();
}

void TKineticsChartForm::ChartPopupMenuPopup() {
  TChartForm::ChartPopupMenuPopup();
  for (QAction* action : {ActionYAxisConcentr, ActionYAxisConversion, ActionYAxisSemiLog})
    action->setEnabled(aXLogarithm->isEnabled());
}

void TKineticsChartForm::SetMode(TYAxisMode mode) {
  FYAxisMode = mode;
  QAction* checked = mode == TYAxisMode::Concentrations ? ActionYAxisConcentr
                     : mode == TYAxisMode::Conversions  ? ActionYAxisConversion
                                                        : ActionYAxisSemiLog;
  checked->setChecked(true);
  RecalculateYAxis();
}

void TKineticsChartForm::ActionYAxisConcentrExecute() { SetMode(TYAxisMode::Concentrations); }
void TKineticsChartForm::ActionYAxisConversionExecute() { SetMode(TYAxisMode::Conversions); }
void TKineticsChartForm::ActionYAxisSemiLogExecute() { SetMode(TYAxisMode::SemiLog); }

} // namespace Plots
