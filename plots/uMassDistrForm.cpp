#include "plots/uMassDistrForm.h"

#include "charts/uChart.h"
#include "engine/uDataStruct.h"
#include "plots/calc/uMolarMassViews.h"
#include "plots/calc/uSECTrace.h"
#include "plots/uPlotHost.h"

#include <QAction>
#include <QActionGroup>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace Plots {

using Charts::TAxisId;

TMassDistrChartForm::TMassDistrChartForm(TPlotHost* host, QWidget* parent) : TChartForm(host, parent) {
  setObjectName(QStringLiteral("MassDistrChartForm"));
  setWindowTitle(QStringLiteral("&Mass Distr"));
  resize(494, height());
  setMinimumWidth(214);

  // Panel1 along the top: the track bar and its label under it.
  Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFixedHeight(51);
  ResolutionTrackBar = new QSlider(Qt::Horizontal, Panel1);
  ResolutionTrackBar->setObjectName(QStringLiteral("ResolutionTrackBar"));
  ResolutionTrackBar->setFixedWidth(200);
  ResolutionTrackBar->setRange(ResolutionMinimum, ResolutionMaximum);
  ResolutionTrackBar->setValue(ResolutionInitial);
  ResolutionTrackBar->setSingleStep(2);
  ResolutionTrackBar->setPageStep(10);
  ResolutionTrackBar->setTickInterval(10);
  ResolutionTrackBar->setTickPosition(QSlider::TicksBelow);
  ResolutionTrackBar->setToolTip(QStringLiteral("Averaged points: %1").arg(ResolutionInitial));
  IntervalWidthLabel = new QLabel(QStringLiteral("1        Averaged Points Number        99"), Panel1);
  IntervalWidthLabel->setObjectName(QStringLiteral("IntervalWidthLabel"));
  auto* panelLayout = new QVBoxLayout(Panel1);
  panelLayout->setContentsMargins(6, 2, 6, 2);
  panelLayout->setSpacing(0);
  panelLayout->addWidget(ResolutionTrackBar);
  panelLayout->addWidget(IntervalWidthLabel);
  if (auto* layout = qobject_cast<QVBoxLayout*>(this->layout()))
    layout->insertWidget(0, Panel1);

  AChart->SetAxisAutomatic(TAxisId::Left, true);
  AChart->SetAxisValueFormat(TAxisId::Left, QStringLiteral("#,##0.0000"));

  const QColor markerGreen(128, 255, 128);
  AChart->AddSeries(QStringLiteral("Mn"), QColor(255, 0, 0));   // Series1: number distribution
  AChart->AddSeries(QStringLiteral("Mw"), QColor(0, 128, 255)); // Series2: weight distribution
  for (const char* title : {"Mn", "Mw"}) {                      // Series3, Series4: markers
    const int s = AChart->AddSeries(QString::fromLatin1(title), markerGreen);
    AChart->SetSeriesPenStyle(s, Qt::DashLine);
    AChart->SetSeriesInLegend(s, false);
  }
  const int labels = AChart->AddSeries(QStringLiteral("Labels"), markerGreen); // Series5
  AChart->SetSeriesInLegend(labels, false);
  AChart->SetSeriesLineVisible(labels, false);
  SetUpAverageLabels(labels, markerGreen);

  PopUpNumberDistr = new QAction(QStringLiteral("Number Distribution"), this);
  PopUpNumberDistr->setObjectName(QStringLiteral("PopUpNumberDistr"));
  PopUpWeightDistr = new QAction(QStringLiteral("&Weight Distribution"), this);
  PopUpWeightDistr->setObjectName(QStringLiteral("PopUpWeightDistr"));
  FDistrGroup = new QActionGroup(this);
  for (QAction* action : {PopUpNumberDistr, PopUpWeightDistr}) {
    action->setCheckable(true);
    FDistrGroup->addAction(action);
  }
  PopUpWeightDistr->setChecked(true);
  connect(PopUpNumberDistr, &QAction::triggered, this, [this] { PopUpNumberDistrClick(); });
  connect(PopUpWeightDistr, &QAction::triggered, this, [this] { PopUpWeightDistrClick(); });
  // The same curves per decade of molar mass over a logarithmic axis, the
  // way GPC software shows them; the per-g/mol curves stay the default.
  PopUpLogMolarMass = new QAction(QStringLiteral("Log &Molar-Mass Axis (GPC View)"), this);
  PopUpLogMolarMass->setObjectName(QStringLiteral("PopUpLogMolarMass"));
  PopUpLogMolarMass->setCheckable(true);
  connect(PopUpLogMolarMass, &QAction::toggled, this, [this](bool on) { SetLogMolarMassView(on); });
  N1 = InsertMenuItems({PopUpNumberDistr, PopUpWeightDistr, PopUpLogMolarMass});
  UpdateAxisTitles();

  connect(ResolutionTrackBar, &QSlider::valueChanged, this, [this] { ResolutionTrackBarChange(); });

  AChartResize();
  // FormCreate: base steps, then the label texts.
  FormCreate();
  AChart->SetMarkTextFunction(labels, [this](int series, int index) { return SeriesGetMarkText(series, index); });
}

int TMassDistrChartForm::SeriesIndex(TDesignSeries series) const {
  const auto it = std::find(FOrder.begin(), FOrder.end(), static_cast<int>(series));
  return static_cast<int>(it - FOrder.begin());
}

void TMassDistrChartForm::CalcSmoothDistributions() {
  const Engine::TSimState& state = Engine::SimState();
  if (!MassHistogramsReady(state))
    return;
  if (FHost && FHost->SimulationRunning()) {
    // Paused or ending: the run may go on, and track-bar moves meanwhile
    // work on a copy of these histograms.
    FCalc.TakeHistograms(state);
    FCalc.Smooth(ResolutionTrackBar->value());
  } else {
    // No run: nothing changes the histograms until the next calculation.
    FCalc.SmoothState(state, ResolutionTrackBar->value());
  }
  DrawCurves();
}

void TMassDistrChartForm::ResolutionTrackBarChange() {
  ResolutionTrackBar->setToolTip(QStringLiteral("Averaged points: %1").arg(ResolutionTrackBar->value()));
  if (!StateBusy()) {
    CalcSmoothDistributions();
    return;
  }
  // A running run may be rebuilding the histograms: smooth the copy of the
  // last calculation, and only while its curves are shown (after Clear or at
  // the start of a run there is nothing to redraw).
  if (!FCalc.HasHistograms() || AChart->PointCount(SeriesIndex(Series1)) == 0)
    return;
  FCalc.Smooth(ResolutionTrackBar->value());
  DrawCurves();
}

void TMassDistrChartForm::EndOfRunStatistics() { CalcSmoothDistributions(); }

void TMassDistrChartForm::RecalculateOnPause() { CalcSmoothDistributions(); }

void TMassDistrChartForm::UpdateAxisTitles() {
  // The quantity and its unit; the left axis names the curve in front.
  const bool weight = PopUpWeightDistr->isChecked();
  AChart->SetAxisTitle(TAxisId::Bottom, FLogView ? QStringLiteral("molar mass, g/mol (logarithmic)")
                                                 : QStringLiteral("molar mass, g/mol"));
  AChart->SetAxisTitle(TAxisId::Left, FLogView ? (weight ? QStringLiteral("w(log M), weight fraction per decade")
                                                         : QStringLiteral("n(log M), mole fraction per decade"))
                                               : (weight ? QStringLiteral("weight fraction")
                                                         : QStringLiteral("mole fraction")));
}

void TMassDistrChartForm::SetLogMolarMassView(bool on) {
  if (PopUpLogMolarMass->isChecked() != on)
    PopUpLogMolarMass->setChecked(on); // comes back through toggled
  if (FLogView == on)
    return;
  FLogView = on;
  AChart->SetAxisLogarithmic(TAxisId::Bottom, on);
  if (!on)
    AChart->SetAxisMinimum(TAxisId::Bottom, 0.0);
  UpdateAxisTitles();
  DrawCurves();
}

void TMassDistrChartForm::DrawLogCurves() {
  const TLogMassCurves curves = LogMassCurves(FCalc);
  if (curves.M.empty())
    return;
  AChart->SetPoints(SeriesIndex(Series1), curves.M, curves.NumberLog);
  AChart->SetPoints(SeriesIndex(Series2), curves.M, curves.WeightLog);
  AChart->SetAxisMinimum(TAxisId::Bottom, std::pow(10.0, std::floor(std::log10(curves.M.front()))));
}

void TMassDistrChartForm::DrawCurves() {
  const long last = FCalc.LastIndex(); // b
  if (last < 0)
    return;
  if (FLogView) {
    for (int s = 0; s < AChart->SeriesCount(); ++s)
      if (s != SeriesIndex(Series1) && s != SeriesIndex(Series2))
        AChart->ClearSeries(s);
    DrawLogCurves();
    DrawAverageMarkers(SeriesIndex(Series3), SeriesIndex(Series4), SeriesIndex(Series5), FCalc.Mn(), FCalc.Mw(),
                       AChart->AxisMaximum(TAxisId::Left));
    AChart->Invalidate();
    return;
  }
  // Points 0 … b-1 at M(i) = i g/mol (i x the grid step on a coarser grid).
  const std::size_t shown = static_cast<std::size_t>(last);
  const double step = FCalc.GridStep();
  const bool axisChanged = FShownMasses.size() != shown || FShownStep != step;
  if (axisChanged) {
    FShownMasses.resize(shown);
    for (std::size_t i = 0; i < shown; ++i)
      FShownMasses[i] = static_cast<double>(i) * step;
    FShownStep = step;
  }

  // The two curves are overwritten in place (a cleared series would be
  // zero-filled again before the copy: 32 MB more to write at 10^6 g/mol);
  // only the markers and labels are rebuilt.
  const int numberCurve = SeriesIndex(Series1);
  const int weightCurve = SeriesIndex(Series2);
  for (int s = 0; s < AChart->SeriesCount(); ++s)
    if (s != numberCurve && s != weightCurve)
      AChart->ClearSeries(s);
  // A track-bar move keeps the mass axis: only the values are new.
  const std::vector<double>& sn = FCalc.SN();
  const std::vector<double>& sw = FCalc.SW();
  const bool sameAxis = !axisChanged && static_cast<std::size_t>(AChart->PointCount(numberCurve)) == shown &&
                        static_cast<std::size_t>(AChart->PointCount(weightCurve)) == shown &&
                        sn.size() >= shown && sw.size() >= shown;
  if (!sameAxis || !AChart->SetYValues(numberCurve, sn) || !AChart->SetYValues(weightCurve, sw)) {
    AChart->SetPoints(numberCurve, FShownMasses, sn);
    AChart->SetPoints(weightCurve, FShownMasses, sw);
  }
  // The markers reach the top of the left axis: its range is settled
  // against the new curves first (without drawing; the chart draws once,
  // with the markers, at the next turn of the event loop).
  // Mole fractions per g/mol of long chains are of the order 1/Mn: with
  // four decimals the labels of such an axis would all read 0.0001 or
  // 0.0000. Below a range of 0.01 the labels get the decimals the range
  // needs, by the rule a zoom applies.
  const double range = AChart->AxisMaximum(TAxisId::Left) - AChart->AxisMinimum(TAxisId::Left);
  const QString format = range >= 0.01 ? QString() : ZoomAxisFormat(range);
  AChart->SetAxisValueFormat(TAxisId::Left, format.isEmpty() ? QStringLiteral("#,##0.0000") : format);
  const double yMax = AChart->AxisMaximum(TAxisId::Left);
  const double mn = FCalc.Mn();
  const double mw = FCalc.Mw();
  DrawAverageMarkers(SeriesIndex(Series3), SeriesIndex(Series4), SeriesIndex(Series5), mn, mw, yMax);
  AChart->Invalidate();
}

QString TMassDistrChartForm::SeriesGetMarkText(int series, int index) const {
  const double x = AChart->XValue(series, index);
  return QString::fromStdString(AverageMarkText(index != 0, x));
}

void TMassDistrChartForm::MoveEarlier(TDesignSeries series) {
  const int place = SeriesIndex(series);
  if (place <= 0)
    return;
  AChart->MoveSeries(place, place - 1);
  std::swap(FOrder[static_cast<std::size_t>(place)], FOrder[static_cast<std::size_t>(place - 1)]);
  AChart->Invalidate();
}

void TMassDistrChartForm::PopUpNumberDistrClick() {
  PopUpNumberDistr->setChecked(true);
  MoveEarlier(Series2);
  UpdateAxisTitles();
}

void TMassDistrChartForm::PopUpWeightDistrClick() {
  PopUpWeightDistr->setChecked(true);
  MoveEarlier(Series1);
  UpdateAxisTitles();
}

void TMassDistrChartForm::ChartPopupMenuPopup() {
  TChartForm::ChartPopupMenuPopup();
  aXLogarithm->setVisible(false);
}

void TMassDistrChartForm::AChartResize() {
  TChartForm::AChartResize();
  // The labels get their points together with the marker lines.
  LiftAverageLabels(SeriesIndex(Series5));
}

} // namespace Plots
