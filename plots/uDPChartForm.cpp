#include "plots/uDPChartForm.h"

#include "charts/uChart.h"
#include "engine/uDataStruct.h"

namespace Plots {

using Charts::TAxisId;

TDPAverages CalcDPAverages(const std::int32_t* histogram, std::size_t count) {
  TDPAverages result;
  if (!histogram || count == 0)
    return result;
  // L: the longest chain present.
  std::size_t last = count - 1;
  while (last > 0 && histogram[last] == 0)
    --last;
  // S3 of 2^31 - 1 units all in chains of 32767 is below 2^31 * 32767^2
  // < 2^61: 64-bit sums are exact for every run the store can hold.
  std::int64_t s0 = 0;
  std::int64_t s1 = 0;
  std::int64_t s2 = 0;
  std::int64_t s3 = 0;
  for (std::size_t i = 1; i <= last; ++i) {
    const std::int64_t n = histogram[i];
    const std::int64_t dp = static_cast<std::int64_t>(i);
    s0 += n;
    s1 += dp * n;
    s2 += dp * dp * n;
    s3 += dp * dp * dp * n;
  }
  if (s0 >= 1 && s1 > 0 && s2 > 0) {
    result.DPn = static_cast<double>(s1) / static_cast<double>(s0);
    result.DPw = static_cast<double>(s2) / static_cast<double>(s1);
    result.DPz = static_cast<double>(s3) / static_cast<double>(s2);
    result.DI = result.DPw / result.DPn;
  }
  return result;
}

TDPChartForm::TDPChartForm(TPlotHost* host, QWidget* parent) : TChartForm(host, parent) {
  setObjectName(QStringLiteral("DPChartForm"));
  setWindowTitle(QStringLiteral("Averaged DP"));
  AChart->SetAxisTitle(TAxisId::Bottom, QStringLiteral("Time, s"));
  AChart->SetAxisTitle(TAxisId::Left, QStringLiteral("DPn. DPw"));
  // Pen patterns keep the curves apart in grey (red and green print alike).
  AChart->SetSeriesPenStyle(AChart->AddSeries(QStringLiteral("DPn"), QColor(255, 0, 0)), Qt::SolidLine);
  AChart->SetSeriesPenStyle(AChart->AddSeries(QStringLiteral("DPw"), QColor(0, 128, 0)), Qt::DashLine);
  // Pure yellow vanishes on white; a deep yellow keeps the hue and can be read.
  AChart->SetSeriesPenStyle(AChart->AddSeries(QStringLiteral("DPz"), QColor(215, 175, 0)), Qt::DotLine);
  AChart->SetSeriesPenStyle(AChart->AddSeries(QStringLiteral("DI"), QColor(0, 0, 255), TAxisId::Right),
                            Qt::DashDotLine);
  AChart->SetAxisTitle(TAxisId::Right, QStringLiteral("DI"));
  AChart->SetAxisMinimum(TAxisId::Right, 1.0);
  AChart->SetAxisAutomaticMaximum(TAxisId::Right, true);
  AChart->SetAxisGrid(TAxisId::Right, false);
  AChartResize();
  FormCreate();
}

void TDPChartForm::InitializePlots() {
  AChart->ClearAllSeries();
  FormPaint();
  // The dispersity starts at 1.
  for (int s = Series1; s <= Series4; ++s)
    AddStartPoint(s, s == Series4 ? 1.0 : 0.0);
}

void TDPChartForm::AddPoint(int checkPoint) {
  const Engine::TSimState& state = Engine::SimState();
  const int k = checkPoint >= 0 ? checkPoint : AChart->PointCount(Series1);
  if (k > state.CheckPointsHigh || static_cast<std::size_t>(k) >= state.CheckPointTime.size())
    return;
  const double x = state.CheckPointTime[static_cast<std::size_t>(k)];
  const TDPAverages a = CalcDPAverages(state.DPDistribution.data(), state.DPDistribution.size());
  AChart->AddXY(Series3, x, a.DPz);
  AChart->AddXY(Series2, x, a.DPw);
  AChart->AddXY(Series1, x, a.DPn);
  AChart->AddXY(Series4, x, a.DI);
  AChart->Invalidate();
}

void TDPChartForm::RestorePlots(int n) {
  InitializePlots();
  if (n >= 1)
    AddPoint(n);
  AChart->Refresh();
}

} // namespace Plots
