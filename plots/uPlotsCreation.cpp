#include "plots/uPlotsCreation.h"

#include "charts/uChart.h"
#include "engine/uDataStruct.h"
#include "plots/uCenters.h"
#include "plots/uChartForm.h"
#include "plots/uDPChartForm.h"
#include "plots/uDistribForm.h"
#include "plots/uDyads.h"
#include "plots/uKineticsChartForm.h"
#include "plots/uMassDistrForm.h"
#include "plots/uPlotHost.h"
#include "plots/uSEC_Broadened.h"
#include "plots/uStructureForm.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace Plots {

namespace {

struct TSlotDesign {
  const char* Entry;
  const char* Caption;
};

constexpr std::array<TSlotDesign, TPlotsListForm::SlotCount> Slots{{
    {"Chains Structure", "Chains"},
    {"DP Distribution", "DP Dist."},
    {"Conversion", "Conversion"},
    {"Centers", "Centers"},
    {"Averaged DP", "DP Av."},
    {"Dyads", "Dyads"},
    {"Mass Distribution", "Mass Dist."},
    {"SEC Plot", "SEC Plot"},
    {"MALDI Spectrum", "MALDI"},
}};

// Stands in for a plot window this build of the program does not contain:
// it says so instead of showing an empty chart that looks like a result.
class TUnavailablePlotForm : public QWidget {
public:
  TUnavailablePlotForm(TPlotHost* host, const QString& entry) : FHost(host) {
    setObjectName(QStringLiteral("UnavailablePlotForm"));
    auto* label = new QLabel(QStringLiteral("The plot \"%1\" is not available in this version of the program.")
                                 .arg(entry),
                             this);
    label->setObjectName(QStringLiteral("UnavailableLabel"));
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    resize(TChartForm::DesignWidth, TChartForm::DesignHeight);
  }

protected:
  void closeEvent(QCloseEvent* event) override {
    if (FHost)
      FHost->SaveFormPlacement(this, windowTitle());
    hide();
    event->ignore();
  }

private:
  TPlotHost* FHost;
};

} // namespace

bool TPlotsListForm::IsLiveView(int slot) { return slot == slStructure || slot == slDistribution; }

QString TPlotsListForm::EntryText(int slot) {
  return slot >= 0 && slot < SlotCount ? QString::fromLatin1(Slots[static_cast<std::size_t>(slot)].Entry) : QString();
}

QString TPlotsListForm::SlotCaption(int slot) {
  return slot >= 0 && slot < SlotCount ? QString::fromLatin1(Slots[static_cast<std::size_t>(slot)].Caption)
                                       : QString();
}

TPlotsListForm::TPlotsListForm(TPlotHost* host, QWidget* parent) : QDialog(parent), FHost(host) {
  setObjectName(QStringLiteral("PlotsListForm"));
  setWindowTitle(QStringLiteral("Plots Creation Form"));
  setWindowFlags((windowFlags() | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint) &
                 ~Qt::WindowContextHelpButtonHint);

  auto* label = new QLabel(QStringLiteral("Defined Plots"), this);
  DefinedPlotsList = new QListWidget(this);
  DefinedPlotsList->setObjectName(QStringLiteral("DefinedPlotsList"));
  label->setBuddy(DefinedPlotsList);
  // The two live views are drawn at every event of a run: they make it
  // 50-100 times slower, even on a hidden tab. The entries say so (their
  // texts are settings keys and stay as they are).
  const QIcon slow = style()->standardIcon(QStyle::SP_MessageBoxWarning);
  for (int slot = 0; slot < SlotCount; ++slot) {
    auto* item = new QListWidgetItem(EntryText(slot), DefinedPlotsList);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    if (IsLiveView(slot)) {
      item->setIcon(slow);
      item->setToolTip(QString::fromLatin1(LiveViewNote));
    }
  }
  LiveViewNoteLabel = new QLabel(QStringLiteral("Marked views are drawn live: while one is selected, "
                                                "a run is 50-100 times slower."),
                                 this);
  LiveViewNoteLabel->setObjectName(QStringLiteral("LiveViewNoteLabel"));
  LiveViewNoteLabel->setWordWrap(true);
  QFont small = LiveViewNoteLabel->font();
  small.setPointSizeF(small.pointSizeF() * 0.9);
  LiveViewNoteLabel->setFont(small);
  btnOK = new QPushButton(QStringLiteral("&OK"), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnOK->setDefault(true);
  btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(DefinedPlotsList);
  layout->addWidget(LiveViewNoteLabel);
  layout->addLayout(buttons);
  // At least the design's 193 x 185, more where the fonts need it.
  const QSize hint = sizeHint();
  setFixedSize(std::max(193, hint.width()), std::max(185 + 40, hint.height()));

  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
  connect(DefinedPlotsList, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    if (!FLoading)
      DefinedPlotsListClickCheck(DefinedPlotsList->row(item));
  });

  FFactories[slStructure] = [](TPlotHost* h) -> QWidget* { return new TStructureForm(h); };
  FFactories[slDistribution] = [](TPlotHost* h) -> QWidget* { return new TDistributionForm(h); };
  FFactories[slKinetics] = [](TPlotHost* h) -> QWidget* { return new TKineticsChartForm(h); };
  FFactories[slCenters] = [](TPlotHost* h) -> QWidget* { return new TCentersForm(h); };
  FFactories[slDP] = [](TPlotHost* h) -> QWidget* { return new TDPChartForm(h); };
  FFactories[slDyads] = [](TPlotHost* h) -> QWidget* { return new TDyadForm(h); };
  FFactories[slMassDistribution] = [](TPlotHost* h) -> QWidget* { return new TMassDistrChartForm(h); };
  FFactories[slSEC] = [](TPlotHost* h) -> QWidget* { return new TSECPlot(h); };
  // The MALDI window lives above plots/: the program registers its factory.
}

TPlotsListForm::~TPlotsListForm() {
  // FormDestroy (with the placements saved) is the program's business while
  // the host still lives; here the windows that are left just go.
  FHost = nullptr;
  for (int slot = 0; slot < SlotCount; ++slot)
    delete FPlotWindowList[static_cast<std::size_t>(slot)].data();
}

void TPlotsListForm::RegisterWindowFactory(int slot, TWindowFactory factory) {
  if (slot >= 0 && slot < SlotCount)
    FFactories[static_cast<std::size_t>(slot)] = std::move(factory);
}

bool TPlotsListForm::Checked(int slot) const {
  const QListWidgetItem* item = DefinedPlotsList->item(slot);
  return item && item->checkState() == Qt::Checked;
}

void TPlotsListForm::SetChecked(int slot, bool checked) {
  if (QListWidgetItem* item = DefinedPlotsList->item(slot))
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void TPlotsListForm::FormCreate() {
  FLoading = true;
  for (int slot = 0; slot < SlotCount; ++slot) {
    const bool checked = FHost && FHost->ReadSettingBool(QString::fromLatin1(ListSection), EntryText(slot), false);
    SetChecked(slot, checked);
  }
  FLoading = false;
  CreateSelectedPlots();
}

void TPlotsListForm::ShowSelection() {
  exec();
  hide();
}

void TPlotsListForm::btnOKClick() {
  if (FHost)
    for (int slot = 0; slot < SlotCount; ++slot)
      FHost->WriteSettingBool(QString::fromLatin1(ListSection), EntryText(slot), Checked(slot));
  CreateSelectedPlots();
  accept();
}

void TPlotsListForm::btnCancelClick() { reject(); }

void TPlotsListForm::DefinedPlotsListClickCheck(int slot) {
  // The live drawing stops at once, whichever way the mark went and even if
  // the user cancels: the view is about to go, or the next OK sets the flag
  // again when it creates the view.
  if (!FHost || !FHost->SimulationRunning())
    return;
  if (slot == slStructure)
    Engine::SimState().SetShowStructure(false);
  else if (slot == slDistribution)
    Engine::SimState().SetShowDistribution(false);
}

QWidget* TPlotsListForm::CreateWindow(int slot) {
  const TWindowFactory& factory = FFactories[static_cast<std::size_t>(slot)];
  QWidget* window = factory ? factory(FHost) : nullptr;
  if (!window)
    window = new TUnavailablePlotForm(FHost, EntryText(slot));
  return window;
}

void TPlotsListForm::CreateSelectedPlots() {
  for (int slot = 0; slot < SlotCount; ++slot) {
    QPointer<QWidget>& held = FPlotWindowList[static_cast<std::size_t>(slot)];
    if (!Checked(slot)) {
      EmptySlot(slot);
      continue;
    }
    if (held)
      continue;
    QWidget* window = CreateWindow(slot);
    held = window;
    const bool running = FHost && FHost->SimulationRunning();
    if (running && slot == slStructure)
      Engine::SimState().SetShowStructure(true);
    if (running && slot == slDistribution)
      Engine::SimState().SetShowDistribution(true);
    const QString caption = SlotCaption(slot);
    window->setWindowTitle(caption);
    // The main window keeps its tabs in the order of this tag.
    window->setProperty("Tag", slot + 1);
    if (FHost) {
      if (FHost->ReadSettingBool(caption, QStringLiteral("IsDocked"), true)) {
        FHost->DockPlotWindow(window, slot + 1);
      } else {
        const QRect bounds(FHost->ReadSettingInteger(caption, QStringLiteral("Left"), 200),
                           FHost->ReadSettingInteger(caption, QStringLiteral("Top"), 100),
                           FHost->ReadSettingInteger(caption, QStringLiteral("Width"), 300),
                           FHost->ReadSettingInteger(caption, QStringLiteral("Height"), 200));
        FHost->FloatPlotWindow(window, bounds);
      }
      FHost->ShowPlotWindow(window);
    } else {
      window->show();
    }
  }
  if (FHost)
    FHost->ShowMessagesPage();
}

void TPlotsListForm::EmptySlot(int slot) {
  QPointer<QWidget>& held = FPlotWindowList[static_cast<std::size_t>(slot)];
  if (!held)
    return;
  QWidget* window = held;
  held = nullptr;
  if (FHost)
    FHost->ReleasePlotWindow(window);
  delete window;
}

void TPlotsListForm::ShowAllPlots() {
  for (int slot = 0; slot < SlotCount; ++slot) {
    QWidget* window = PlotWindow(slot);
    if (!window || !Checked(slot))
      continue;
    if (FHost)
      FHost->ShowPlotWindow(window);
    else
      window->show();
  }
}

void TPlotsListForm::FormDestroy() {
  for (int slot = 0; slot < SlotCount; ++slot) {
    if (QWidget* window = PlotWindow(slot))
      window->close(); // saves its placement
    EmptySlot(slot);
  }
}

QWidget* TPlotsListForm::PlotWindow(int slot) const {
  return slot >= 0 && slot < SlotCount ? FPlotWindowList[static_cast<std::size_t>(slot)].data() : nullptr;
}

TStructureForm* TPlotsListForm::StructureForm() const {
  return qobject_cast<TStructureForm*>(PlotWindow(slStructure));
}
TDistributionForm* TPlotsListForm::DistributionForm() const {
  return qobject_cast<TDistributionForm*>(PlotWindow(slDistribution));
}
TKineticsChartForm* TPlotsListForm::KineticsChartForm() const {
  return qobject_cast<TKineticsChartForm*>(PlotWindow(slKinetics));
}
TCentersForm* TPlotsListForm::CentersForm() const { return qobject_cast<TCentersForm*>(PlotWindow(slCenters)); }
TDPChartForm* TPlotsListForm::DPChartForm() const { return qobject_cast<TDPChartForm*>(PlotWindow(slDP)); }
TDyadForm* TPlotsListForm::DyadForm() const { return qobject_cast<TDyadForm*>(PlotWindow(slDyads)); }
TChartForm* TPlotsListForm::ChartWindow(int slot) const { return qobject_cast<TChartForm*>(PlotWindow(slot)); }

// ---- the run's calls ----------------------------------------------------------

void TPlotsListForm::GetLiveViewFlags(bool& showStructure, bool& showDistribution) {
  showStructure = Checked(slStructure);
  showDistribution = Checked(slDistribution);
}

void TPlotsListForm::StructureFormResize() {
  if (TStructureForm* view = StructureForm())
    view->StructureFormResize();
}

void TPlotsListForm::InitializePlots() {
  if (TDyadForm* w = DyadForm())
    w->InitializePlots();
  if (TDPChartForm* w = DPChartForm())
    w->InitializePlots();
  if (TKineticsChartForm* w = KineticsChartForm())
    w->InitializePlots();
  if (TCentersForm* w = CentersForm())
    w->InitializePlots();
}

void TPlotsListForm::UpdateUserInterface(int checkPoint) {
  if (TDyadForm* w = DyadForm())
    w->AddPoint();
  if (TDPChartForm* w = DPChartForm())
    w->AddPoint(checkPoint);
  if (TKineticsChartForm* w = KineticsChartForm())
    w->AddPoint();
  if (TCentersForm* w = CentersForm())
    w->AddPoint();
  const Engine::TSimState& state = Engine::SimState();
  if (state.ShowDistribution())
    if (TDistributionForm* view = DistributionForm())
      view->PaintBoxPaint();
  if (state.ShowStructure())
    if (TStructureForm* view = StructureForm())
      view->DrawGrid();
}

void TPlotsListForm::DrawUnit(int chain, int position, int kind) {
  if (TStructureForm* view = StructureForm())
    view->DrawUnit(chain, position, kind);
}

void TPlotsListForm::DrawUnitStrided(int chain, int position, int kind) {
  if (TStructureForm* view = StructureForm())
    view->DrawUnitStrided(chain, position, kind);
}

void TPlotsListForm::EraseUnit(int chain, int position) {
  if (TStructureForm* view = StructureForm())
    view->EraseUnit(chain, position);
}

void TPlotsListForm::DrawSegment(int to, int from, int length) {
  if (TStructureForm* view = StructureForm())
    view->DrawSegment(to, from, length);
}

void TPlotsListForm::DrawSegmentStrided(int to, int from, int length) {
  if (TStructureForm* view = StructureForm())
    view->DrawSegmentStrided(to, from, length);
}

void TPlotsListForm::ShowOneChainChange() {
  if (TDistributionForm* view = DistributionForm())
    view->ShowOneChainChange();
}

void TPlotsListForm::ShowTwoChainsChange() {
  if (TDistributionForm* view = DistributionForm())
    view->ShowTwoChainsChange();
}

void TPlotsListForm::EndOfRunStatistics() {
  // The SEC trace first, then the smoothed distributions.
  for (int slot : {slSEC, slMassDistribution})
    if (TChartForm* chart = ChartWindow(slot))
      chart->EndOfRunStatistics();
}

// ---- the main window's commands ----------------------------------------------

void TPlotsListForm::ClearData() {
  for (int slot = slKinetics; slot <= slSEC; ++slot)
    if (TChartForm* chart = ChartWindow(slot))
      chart->ClearData();
  if (TStructureForm* view = StructureForm())
    view->ClearPlot();
  if (TDistributionForm* view = DistributionForm())
    view->ClearPaintBox();
}

void TPlotsListForm::RefreshOnPause(QWidget* activePage) {
  for (int slot : {slSEC, slMassDistribution})
    if (TChartForm* chart = ChartWindow(slot))
      chart->RecalculateOnPause();
  if (TStructureForm* view = StructureForm())
    view->DrawGrid();
  auto repaint = [](QWidget* window) {
    if (auto* chart = qobject_cast<TChartForm*>(window))
      chart->AChart->Refresh();
    else
      window->update();
  };
  if (activePage) {
    repaint(activePage);
    for (TChartForm* chart : activePage->findChildren<TChartForm*>())
      repaint(chart);
  }
  for (int slot = slCenters; slot < SlotCount; ++slot)
    if (QWidget* window = PlotWindow(slot); window && window->isVisible())
      repaint(window);
  RunStateChanged();
}

void TPlotsListForm::RunStateChanged() {
  for (int slot = 0; slot < SlotCount; ++slot)
    if (TChartForm* chart = ChartWindow(slot))
      chart->RunStateChanged();
}

void TPlotsListForm::BeforeResume() {
  if (TStructureForm* view = StructureForm())
    view->SetMagnified(false);
}

bool TPlotsListForm::IsMicrostructureView(const QWidget* page) const {
  const QWidget* view = PlotWindow(slStructure);
  return view && page && (page == view || page->isAncestorOf(view));
}

void TPlotsListForm::ParameterFileChanged() {
  for (int slot = 0; slot < SlotCount; ++slot)
    if (TChartForm* chart = ChartWindow(slot))
      chart->FormPaint();
}

void TPlotsListForm::SetMagnified(bool magnified) {
  if (TStructureForm* view = StructureForm())
    view->SetMagnified(magnified);
}

} // namespace Plots
