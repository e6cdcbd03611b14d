#include "shell/uPlotSelection.h"

#include "maldiview/uMALDIForm.h"
#include "plots/uPlotsCreation.h"
#include "shell/uMainForm.h"
#include "shell/uShellPlotHost.h"

namespace Shell {

TPlotSelection::TPlotSelection(TMainForm& mainForm)
    : FHost(std::make_unique<TShellPlotHost>(mainForm)),
      FListForm(new Plots::TPlotsListForm(FHost.get(), &mainForm)) {
  FListForm->hide();
  FListForm->RegisterWindowFactory(Plots::TPlotsListForm::slMALDI,
                                   [](Plots::TPlotHost* host) -> QWidget* { return new MaldiView::TMALDIForm(host); });
  // After the main window's own state has changed, so the windows read it.
  QObject::connect(&mainForm, &TMainForm::RunStarted, FListForm, [this] { FListForm->RunStateChanged(); });
  QObject::connect(&mainForm, &TMainForm::RunEnded, FListForm, [this] { FListForm->RunStateChanged(); });
}

TPlotSelection::~TPlotSelection() {
  // The list form is a child of the main window and may outlive this
  // object by a moment: its windows must not call a host that is gone.
  if (!FDestroyed)
    FListForm->FormDestroy();
  delete FListForm;
}

void TPlotSelection::FormCreate() { FListForm->FormCreate(); }

void TPlotSelection::ShowSelection() { FListForm->ShowSelection(); }
void TPlotSelection::ShowAllPlots() { FListForm->ShowAllPlots(); }
void TPlotSelection::ClearData() { FListForm->ClearData(); }
void TPlotSelection::RefreshOnPause(QWidget* activePage) { FListForm->RefreshOnPause(activePage); }
void TPlotSelection::BeforeResume() { FListForm->BeforeResume(); }
void TPlotSelection::RunEnded() { FListForm->EndOfRunStatistics(); }
bool TPlotSelection::IsMicrostructureView(const QWidget* page) const { return FListForm->IsMicrostructureView(page); }
void TPlotSelection::SetMagnified(bool magnified) { FListForm->SetMagnified(magnified); }

void TPlotSelection::CloseAll() {
  if (FDestroyed)
    return;
  FDestroyed = true;
  FListForm->FormDestroy();
}

void TPlotSelection::GetLiveViewFlags(bool& showStructure, bool& showDistribution) {
  FListForm->GetLiveViewFlags(showStructure, showDistribution);
}
void TPlotSelection::StructureFormResize() { FListForm->StructureFormResize(); }
void TPlotSelection::InitializePlots() { FListForm->InitializePlots(); }
void TPlotSelection::UpdateUserInterface(int checkPoint) { FListForm->UpdateUserInterface(checkPoint); }
void TPlotSelection::DrawUnit(int chain, int position, int kind) { FListForm->DrawUnit(chain, position, kind); }
void TPlotSelection::DrawUnitStrided(int chain, int position, int kind) {
  FListForm->DrawUnitStrided(chain, position, kind);
}
void TPlotSelection::EraseUnit(int chain, int position) { FListForm->EraseUnit(chain, position); }
void TPlotSelection::DrawSegment(int to, int from, int length) { FListForm->DrawSegment(to, from, length); }
void TPlotSelection::DrawSegmentStrided(int to, int from, int length) {
  FListForm->DrawSegmentStrided(to, from, length);
}
void TPlotSelection::ShowOneChainChange() { FListForm->ShowOneChainChange(); }
void TPlotSelection::ShowTwoChainsChange() { FListForm->ShowTwoChainsChange(); }

} // namespace Shell
