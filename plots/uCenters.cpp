#include "plots/uCenters.h"

#include "charts/uChart.h"
#include "engine/uDataStruct.h"
#include "params/uLogMessage.h"
#include "params/uParamFile.h"
#include "params/uParamSetting.h"
#include "plots/uPlotHost.h"

#include <exception>

namespace Plots {

using Charts::TAxisId;

namespace {

bool CenterRecordsHold(const Engine::TSimState& state, int k) {
  return k >= 0 && k <= state.CheckPointsHigh && static_cast<std::size_t>(k) < state.CheckPointTime.size() &&
         static_cast<std::size_t>(k) < state.CPACenters.size() && static_cast<std::size_t>(k) < state.CPBCenters.size();
}

bool RadicalProcess(std::uint8_t processType) {
  return processType == Engine::ptFreeRadical || processType == Engine::ptATRP;
}

} // namespace

TCentersForm::TCentersForm(TPlotHost* host, QWidget* parent) : TChartForm(host, parent) {
  setObjectName(QStringLiteral("CentersForm"));
  setWindowTitle(QStringLiteral("Centers"));
  AChart->SetAxisTitle(TAxisId::Bottom, QStringLiteral("Time, s"));
  AChart->SetAxisTitle(TAxisId::Left, QStringLiteral("Concentration, mol/L"));
  AChart->SetAxisValueFormat(TAxisId::Left, QStringLiteral("0.0e-0"));
  // Red and green print as the same grey: the pen patterns tell them apart.
  AChart->SetSeriesPenStyle(AChart->AddSeries(QStringLiteral("[A*]"), QColor(255, 0, 0)), Qt::SolidLine);
  AChart->SetSeriesPenStyle(AChart->AddSeries(QStringLiteral("[B*]"), QColor(0, 128, 0)), Qt::DashLine);
  AChart->SetSeriesPenStyle(AChart->AddSeries(QStringLiteral("[A*]+[B*]"), QColor(0, 0, 255)), Qt::DotLine);
  AChartResize();
  FormCreate();
}

void TCentersForm::InitializePlots() {
  const Engine::TSimState& state = Engine::SimState();
  FInitialized = false;
  AChart->ClearAllSeries();
  FormPaint();
  const Params::TParameterFile* file = FHost ? FHost->RunParameterFile() : nullptr;
  if (!file)
    return;
  double volume = 0.0;
  try {
    volume = file->ReadLocalFloat(Params::SimulationParametersSection, "SimVolume");
  } catch (const std::exception& error) {
    Propagon::LogMessage(error.what());
    return;
  }
  // A volume of 0 would turn every count into an infinite concentration.
  FFactor = volume > 0.0 ? 1.0 / (volume * Params::AvogadroNumber) : 0.0;

  for (int s = Series1; s <= Series3; ++s)
    AddStartPoint(s);
  if (RadicalProcess(state.ProcessType)) {
    AChart->SetSeriesTitle(Series3, QStringLiteral("[A*]+[B*]"));
    AChart->SetAxisValueFormat(TAxisId::Left, QStringLiteral("0.0e-0"));
  } else {
    AChart->SetSeriesTitle(Series3, QStringLiteral("[I*]"));
    AChart->SetAxisValueFormat(TAxisId::Left, QStringLiteral("#,##0.###"));
  }
  FInitialized = true;
}

void TCentersForm::AddPoint() {
  const Engine::TSimState& state = Engine::SimState();
  const int k = AChart->PointCount(Series1);
  if (!FInitialized || !CenterRecordsHold(state, k))
    return;
  const std::size_t i = static_cast<std::size_t>(k);
  const double x = state.CheckPointTime[i];
  const double a = state.CPACenters[i];
  const double b = state.CPBCenters[i];
  AChart->AddXY(Series1, x, a * FFactor);
  AChart->AddXY(Series2, x, b * FFactor);
  if (RadicalProcess(state.ProcessType))
    AChart->AddXY(Series3, x, (a + b) * FFactor);
  else
    AChart->AddXY(Series3, x, FFactor * (static_cast<double>(state.ChainsNumber) - a - b));
  AChart->Invalidate();
}

void TCentersForm::RestorePlots(int n) {
  if (!CenterRecordsHold(Engine::SimState(), n))
    return;
  InitializePlots();
  for (int k = 1; k <= n; ++k)
    AddPoint();
  AChart->Refresh();
}

} // namespace Plots
