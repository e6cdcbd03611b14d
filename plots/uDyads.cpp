#include "plots/uDyads.h"

#include "charts/uChart.h"
#include "engine/uDataStruct.h"

namespace Plots {

using Charts::TAxisId;

namespace {

bool DyadRecordsHold(const Engine::TSimState& state, int k) {
  if (k < 0 || k > state.CheckPointsHigh || static_cast<std::size_t>(k) >= state.CheckPointTime.size())
    return false;
  for (const auto& row : state.CPDyads)
    if (row.size() <= static_cast<std::size_t>(k))
      return false;
  return true;
}

} // namespace

TDyadForm::TDyadForm(TPlotHost* host, QWidget* parent) : TChartForm(host, parent) {
  setObjectName(QStringLiteral("DyadForm"));
  setWindowTitle(QStringLiteral("Dyad Fractions"));
  AChart->SetAxisTitle(TAxisId::Bottom, QStringLiteral("Time, s"));
  AChart->SetAxisTitle(TAxisId::Left, QStringLiteral("Fractions"));
  AChart->SetAxisAutomatic(TAxisId::Left, true);
  // Red and green print as the same grey: the pen patterns tell them apart.
  // Pure yellow vanishes on white; a deep yellow keeps the hue and can be read.
  AChart->SetSeriesPenStyle(AChart->AddSeries(QStringLiteral("AA"), QColor(255, 0, 0)), Qt::SolidLine);
  AChart->SetSeriesPenStyle(AChart->AddSeries(QStringLiteral("AB"), QColor(0, 128, 0)), Qt::DashLine);
  AChart->SetSeriesPenStyle(AChart->AddSeries(QStringLiteral("BA"), QColor(215, 175, 0)), Qt::DotLine);
  AChart->SetSeriesPenStyle(AChart->AddSeries(QStringLiteral("BB"), QColor(0, 0, 255)), Qt::DashDotLine);
  AChartResize();
  FormCreate();
}

void TDyadForm::InitializePlots() {
  AChart->ClearAllSeries();
  FormPaint();
  for (int s = Series1; s <= Series4; ++s)
    AddStartPoint(s);
}

void TDyadForm::AddPoint() {
  const Engine::TSimState& state = Engine::SimState();
  const int k = AChart->PointCount(Series1);
  if (!DyadRecordsHold(state, k))
    return;
  const double x = state.CheckPointTime[static_cast<std::size_t>(k)];
  for (int s = Series1; s <= Series4; ++s) {
    const double v = state.CPDyads[static_cast<std::size_t>(s)][static_cast<std::size_t>(k)];
    if (v < Threshold)
      AChart->AddNull(s, x, v);
    else
      AChart->AddXY(s, x, v);
  }
  AChart->Invalidate();
}

void TDyadForm::RestorePlots(int n) {
  if (!DyadRecordsHold(Engine::SimState(), n))
    return;
  InitializePlots();
  for (int k = 1; k <= n; ++k)
    AddPoint();
  AChart->Refresh();
}

} // namespace Plots
