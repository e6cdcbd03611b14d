#include "plots/uSEC_Broadened.h"

#include "charts/uChart.h"
#include "engine/uDataStruct.h"
#include "plots/calc/uMolarMassViews.h"
#include "plots/uPlotHost.h"

#include <QAction>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>
#include <vector>

namespace Plots {

using Charts::TAxisId;

TSECPlot::TSECPlot(TPlotHost* host, QWidget* parent) : TChartForm(host, parent) {
  setObjectName(QStringLiteral("SECPlot"));
  setWindowTitle(QStringLiteral("SEC Plot"));

  // Panel1 along the top: the track bar with its scale under it, the
  // current width to the right.
  Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFixedHeight(50);
  BroadeningTrackBar = new QSlider(Qt::Horizontal, Panel1);
  BroadeningTrackBar->setObjectName(QStringLiteral("BroadeningTrackBar"));
  BroadeningTrackBar->setFixedWidth(200);
  BroadeningTrackBar->setRange(BroadeningMinimum, BroadeningMaximum);
  BroadeningTrackBar->setValue(BroadeningInitial);
  BroadeningTrackBar->setPageStep(20);
  BroadeningTrackBar->setTickInterval(100);
  BroadeningTrackBar->setTickPosition(QSlider::TicksBelow);
  LabelTrackScale = new QLabel(QStringLiteral("0.001                     0.01                        0.1"), Panel1);
  LabelTrackScale->setObjectName(QStringLiteral("LabelTrackScale"));
  LabelBroadening = new QLabel(Panel1);
  LabelBroadening->setObjectName(QStringLiteral("LabelBroadening"));
  auto* barColumn = new QVBoxLayout;
  barColumn->setSpacing(0);
  barColumn->addWidget(BroadeningTrackBar);
  barColumn->addWidget(LabelTrackScale);
  auto* panelLayout = new QHBoxLayout(Panel1);
  panelLayout->setContentsMargins(6, 2, 6, 2);
  panelLayout->addLayout(barColumn);
  panelLayout->addSpacing(12);
  panelLayout->addWidget(LabelBroadening);
  panelLayout->addStretch();
  if (auto* layout = qobject_cast<QVBoxLayout*>(this->layout()))
    layout->insertWidget(0, Panel1);

  AChart->SetLegendVisible(false);
  AChart->SetAxisTitle(TAxisId::Bottom, QStringLiteral("Volume, a.u."));
  AChart->SetAxisInverted(TAxisId::Bottom, true);
  AChart->SetAxisMinimum(TAxisId::Bottom, 1.0);
  AChart->SetAxisAutomaticMaximum(TAxisId::Bottom, true);
  AChart->SetAxisRoundUpMaximum(TAxisId::Bottom, true);
  AChart->SetAxisTitle(TAxisId::Left, QStringLiteral("Signal, a.u."));
  AChart->SetAxisMinimum(TAxisId::Left, 0.0);
  AChart->SetAxisAutomaticMaximum(TAxisId::Left, true);
  AChart->SetAxisRoundUpMaximum(TAxisId::Left, true);

  const QColor markerGreen(128, 255, 128);
  AChart->AddSeries(QString(), QColor(255, 0, 0)); // Series1: the trace
  for (const char* title : {"Mn", "Mw"}) {         // Series2, Series3: markers
    const int s = AChart->AddSeries(QString::fromLatin1(title), markerGreen);
    AChart->SetSeriesPenStyle(s, Qt::DashLine);
  }
  AChart->AddSeries(QStringLiteral("Labels"), markerGreen); // Series4
  AChart->SetSeriesLineVisible(Series4, false);
  for (int s = Series1; s <= Series4; ++s)
    AChart->SetSeriesInLegend(s, false);
  SetUpAverageLabels(Series4, markerGreen);

  // The context menu of this window shows no icons.
  for (QAction* action : {aXLogarithm, aUndoZoom, aEditCopyData, aPlotDataSaveAs, aEditCopyPlot, aSavePlotAs, aPrintPlot})
    action->setIcon(QIcon());

  connect(BroadeningTrackBar, &QSlider::valueChanged, this, [this] { BroadeningTrackBarChange(); });

  AChartResize();
  // FormCreate: base steps; aggregation pending; label texts; the width.
  FormCreate();
  FTrace.SetNeedsAggregation();
  AChart->SetMarkTextFunction(Series4, [this](int series, int index) { return SeriesGetMarkText(series, index); });
  LabelBroadening->setText(QString::fromStdString(BroadeningLabelText(BroadeningSigma(BroadeningInitial))));
}

bool TSECPlot::NeedsAggregation() const {
  return FTrace.NeedsAggregation() || Engine::SimState().NeedsAggregation.load(std::memory_order_relaxed);
}

void TSECPlot::CalculateSEC() {
  const double sigma = BroadeningSigma(BroadeningTrackBar->value());
  LabelBroadening->setText(QString::fromStdString(BroadeningLabelText(sigma)));
  if (!MassHistogramsReady(Engine::SimState()))
    return;
  if (NeedsAggregation())
    AggregateMasses();
  DrawTrace();
}

void TSECPlot::BroadeningTrackBarChange() {
  if (!StateBusy()) {
    CalculateSEC();
    return;
  }
  // A running run may be rebuilding the weight histogram: broaden the grid
  // of the last aggregation, and only while its trace is shown (after Clear
  // or at the start of a run there is nothing to redraw). A pending
  // aggregation waits for the next calculation at a safe moment.
  LabelBroadening->setText(QString::fromStdString(BroadeningLabelText(BroadeningSigma(BroadeningTrackBar->value()))));
  if (!FTrace.HasWeight() || AChart->PointCount(Series1) == 0)
    return;
  DrawTrace();
}

void TSECPlot::AggregateMasses() { FTrace.AggregateFrom(Engine::SimState()); }

void TSECPlot::EndOfRunStatistics() { CalculateSEC(); }

void TSECPlot::RecalculateOnPause() { CalculateSEC(); }

void TSECPlot::DrawTrace() {
  FTrace.Broaden(BroadeningSigma(BroadeningTrackBar->value()));
  // Points 0 … 999; grid point 1000 is not shown.
  const std::vector<double> x(FTrace.X().begin(), FTrace.X().end() - 1);
  const std::vector<double> y(FTrace.Y().begin(), FTrace.Y().end() - 1);
  AChart->SetPoints(Series1, x, y);
  // The markers reach the top of the left axis: its range is settled
  // against the new trace first (without drawing; the chart draws once, with
  // markers and labels, at the next turn of the event loop).
  const double top = AChart->AxisMaximum(TAxisId::Left);
  for (int s = Series2; s <= Series4; ++s)
    AChart->ClearSeries(s);
  const double mn = FTrace.Mn();
  const double mw = FTrace.Mw();
  // Averages of an empty store are 0, which has no place on a log axis.
  if (mn > 0.0 && mw > 0.0) {
    DrawAverageMarkers(Series2, Series3, Series4, std::log10(mn), std::log10(mw), top);
  }
  SetCustomLabels();
  // The molar masses over the elution volume, and the averages a GPC
  // report gives, on every copy of the picture.
  std::vector<std::pair<double, QString>> ticks;
  for (const auto& [position, text] : MolarMassScaleTicks(FTrace.Decades()))
    ticks.emplace_back(position, QString::fromStdString(text));
  AChart->SetTopScale(QStringLiteral("molar mass, g/mol"), ticks);
  AChart->SetSubtitle(mn > 0.0 ? QString::fromStdString(AveragesText(TraceAverages(FTrace))) : QString());
  AChart->Invalidate();
}

void TSECPlot::SetCustomLabels() {
  int count = AChart->AxisCustomLabelCount(TAxisId::Bottom);
  if (count == 0) {
    // The first time: one label per whole decade from 0 to the axis's top.
    const double maximum = AChart->AxisMaximum(TAxisId::Bottom);
    count = std::isfinite(maximum) && maximum >= 0.0 ? static_cast<int>(std::floor(maximum)) + 1 : 0;
  }
  AChart->ClearAxisCustomLabels(TAxisId::Bottom);
  for (const auto& [position, text] : ElutionVolumeLabels(count))
    AChart->AddAxisCustomLabel(TAxisId::Bottom, position, QString::fromStdString(text));
}

QString TSECPlot::SeriesGetMarkText(int series, int index) const {
  (void)series;
  return QString::fromStdString(index == 0 ? AverageMarkText(false, FTrace.Mn()) : AverageMarkText(true, FTrace.Mw()));
}

void TSECPlot::ChartPopupMenuPopup() {
  TChartForm::ChartPopupMenuPopup();
  aXLogarithm->setVisible(false);
  N2->setVisible(false);
}

void TSECPlot::AChartResize() {
  TChartForm::AChartResize();
  LiftAverageLabels(Series4);
}

} // namespace Plots
