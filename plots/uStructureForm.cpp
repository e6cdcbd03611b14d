#include "plots/uStructureForm.h"

#include "engine/uDataStruct.h"
#include "params/uNumberFormat.h"
#include "plots/uLiveViewHost.h"
#include "plots/uPaintBox.h"

#include <QAction>
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QInputDialog>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace Plots {

QColor ColorFromWindowsValue(int value) {
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

int WindowsValueOf(QColor color) { return color.red() | (color.green() << 8) | (color.blue() << 16); }

namespace {

constexpr std::uint8_t ColorIndexA = TPaintBox::FirstFreeColor;
constexpr std::uint8_t ColorIndexB = TPaintBox::FirstFreeColor + 1;

inline std::uint8_t UnitColor(std::uint8_t kind) { return kind == Engine::UnitA ? ColorIndexA : ColorIndexB; }

const char* ColorKey(int index) { return index == 0 ? "ColorA" : "ColorB"; }

} // namespace

TStructureForm::TStructureForm(TLiveViewHost* host, QWidget* parent)
    : TLiveViewForm(host, parent,
                    {"StructureForm", DockedCaption, "Chains Microstructure: ", SettingsSection, QSize(541, 305),
                     Qt::ScrollBarAlwaysOn, Qt::ScrollBarAsNeeded, 4}) {
  FCoordinatesPaintBox->setGeometry(0, 0, FRulerWidth, NormalPlotHeight);
  connect(FPaintBox, &TPaintBox::Resized, this, [this] {
    FStale = true;
    RepaintWhenReadable();
  });

  FSetColorA = new QAction(QStringLiteral("Set Color&A"), this);
  FSetColorA->setObjectName(QStringLiteral("PopUpSetColorA"));
  connect(FSetColorA, &QAction::triggered, this, [this] { PopUpSetColor(0); });
  FSetColorB = new QAction(QStringLiteral("Set Color&B"), this);
  FSetColorB->setObjectName(QStringLiteral("PopUpSetColorB"));
  connect(FSetColorB, &QAction::triggered, this, [this] { PopUpSetColor(1); });

  CreatePlotActions();

  FMagnificationItem = new QAction(QStringLiteral("&Magnification"), this);
  FMagnificationItem->setObjectName(QStringLiteral("PopUpMagnification"));
  FMagnificationItem->setToolTip(QStringLiteral("Sets Magification of Chains Structure "));
  FMagnificationItem->setStatusTip(QStringLiteral("Sets Magification of Chains Structure "));
  connect(FMagnificationItem, &QAction::triggered, this, &TStructureForm::PopUpMagnificationClick);

  for (QAction* a : {FEditCopyPlot, FPrintPlot}) {
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(a);
  }

  FPopupMenu->addAction(FSetColorA);
  FPopupMenu->addAction(FSetColorB);
  FPopupMenu->addAction(FEditCopyPlot);
  FPopupMenu->addAction(FPrintPlot);
  FPopupMenu->addAction(FMagnificationItem);
  FPaintBox->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(FPaintBox, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { FPopupMenu->popup(FPaintBox->mapToGlobal(pos)); });

  // FormCreate: the expected chain count of an open parameter file, the
  // palette and the magnification from the settings.
  if (FHost) {
    if (!FHost->ParameterFileName().isEmpty()) FExpectedChainsN = FHost->ExpectedChainsN(DefaultExpectedChains);
    const QString section = QString::fromLatin1(SettingsSection);
    FPaintBox->SetColor(ColorIndexA, ColorFromWindowsValue(
                                         FHost->ReadSettingInteger(section, QStringLiteral("ColorA"), DefaultColorA)));
    FPaintBox->SetColor(ColorIndexB, ColorFromWindowsValue(
                                         FHost->ReadSettingInteger(section, QStringLiteral("ColorB"), DefaultColorB)));
    FMagnification = FHost->ReadSettingInteger(section, QStringLiteral("Magnification"), DefaultMagnification);
  } else {
    FPaintBox->SetColor(ColorIndexA, ColorFromWindowsValue(DefaultColorA));
    FPaintBox->SetColor(ColorIndexB, ColorFromWindowsValue(DefaultColorB));
  }
  SetPlotHeights(NormalPlotHeight);
  FormResize();
  ClearPlot();
}

TStructureForm::~TStructureForm() = default;

// ---- store access -------------------------------------------------------------

bool TStructureForm::StoreHasChains() const {
  const Engine::TSimState& s = Engine::SimState();
  return s.ChainsNumber > 0 && s.ChainDP.size() == static_cast<std::size_t>(s.ChainsNumber) + 1 &&
         s.ChainUnits.Allocated() && s.ChainUnits.Rows() >= s.ChainsNumber + 1;
}

QColor TStructureForm::ColorA() const { return FPaintBox->Color(ColorIndexA); }
QColor TStructureForm::ColorB() const { return FPaintBox->Color(ColorIndexB); }
int TStructureForm::PaintBoxWidth() const { return FPaintBox->width(); }
int TStructureForm::PaintBoxHeight() const { return FPaintBox->height(); }
bool TStructureForm::Live() const { return Engine::SimState().ShowStructure(); }

int TStructureForm::EffectiveMagnification() const {
  // Values below 1 are kept as the user typed them but shown as 1.
  return std::clamp(FMagnification, 1, MaxMagnification);
}

// ---- layout -----------------------------------------------------------------------

void TStructureForm::StructureFormResize() {
  // Called by the run while it waits: the store is consistent. A
  // free-radical store carries the chain count expected by the end of the run.
  const Engine::TSimState& s = Engine::SimState();
  if (s.ProcessType == Engine::ptFreeRadical && s.ExpectedChainsN > 0) FExpectedChainsN = s.ExpectedChainsN;
  FormResize();
}

void TStructureForm::SetExpectedChainsN(int n) {
  FExpectedChainsN = n > 0 ? n : DefaultExpectedChains;
  FormResize();
}

void TStructureForm::FormResize() {
  FScale5 = std::sqrt(static_cast<double>(width()) * height()) * 0.005;
  const QFontMetrics fm(RulerFont());
  FRulerWidth = fm.horizontalAdvance(QStringLiteral("2000")) + 5;
  const int top = fm.height() / 2;
  // The panel is as wide as the visible area and as high as the chains need.
  const int panelWidth = std::max(FScrollBox1->viewport()->width(), FRulerWidth + 2);
  const int plotHeight = FPaintBox->height();
  FPlotPanel->resize(panelWidth, std::max(3000, top + plotHeight));
  FCoordinatesPaintBox->setGeometry(0, 0, FRulerWidth, FCoordinatesPaintBox->height());
  FPaintBox->setGeometry(FRulerWidth, top, panelWidth - FRulerWidth, plotHeight);
  const int step = StructureChainStepFor(FExpectedChainsN, FPaintBox->width());
  // Another step puts other chains into the columns: the picture must be
  // painted again from the store.
  if (step != FStructureChainStep) FStale = true;
  FStructureChainStep = step;
  Engine::SimState().StructureChainStep.store(FStructureChainStep, std::memory_order_relaxed);
  FCoordinatesPaintBox->update();
}

void TStructureForm::SetPlotHeights(int height) {
  FCoordinatesPaintBox->resize(FCoordinatesPaintBox->width(), height);
  FPaintBox->resize(FPaintBox->width(), height);
  FormResize();
}

void TStructureForm::CoordinatesPaintBoxPaint(QPainter& painter) {
  const QFont rulerFont = RulerFont();
  painter.setFont(rulerFont);
  painter.setPen(Qt::black);
  const QFontMetrics fm(rulerFont);
  const int rw = FRulerWidth;
  TextOut(painter, rw - fm.horizontalAdvance(QStringLiteral("0")) - 1, 0, QStringLiteral("0"));
  const int x200 = rw - fm.horizontalAdvance(QStringLiteral("200")) - 1;
  const int x2000 = rw - fm.horizontalAdvance(QStringLiteral("2000")) - 1;
  // The labels stay 100, 200, ... in enlarged mode; only their spacing grows.
  const int g = FMagnified ? EffectiveMagnification() : 1;
  const int height = FCoordinatesPaintBox->height();
  for (int k = 1; 100 * g * k < height; ++k)
    TextOut(painter, k <= 9 ? x200 : x2000, 100 * g * k, QString::number(100 * k));
}

// ---- painting ----------------------------------------------------------------------

void TStructureForm::ClearPlot() { FPaintBox->ClearFramed(); }

void TStructureForm::DrawGrid() {
  // Called where the store may be read (a check point of the run, a pause):
  // the moment for a picture that lags behind the store to catch up.
  if (FStale && !FPainting) return Repaint();
  const int g = FMagnified ? EffectiveMagnification() : 1;
  const int width = FPaintBox->ImageWidth();
  const int height = FPaintBox->ImageHeight();
  for (int y = 100 * g; y < height; y += 100 * g) FPaintBox->HLine(y, 0, width - 1, TPaintBox::Black);
}

void TStructureForm::Repaint() {
  if (FMagnified)
    PaintBoxPaintLarge();
  else
    PaintBoxPaint();
}

void TStructureForm::PaintUnits(int column, int chain, int first, int last) {
  // Units first..last of the chain into pixels (column, first..last), cut at
  // the bottom of the picture.
  last = std::min(last, FPaintBox->ImageHeight() - 1);
  if (first > last) return;
  const Engine::TSimState& s = Engine::SimState();
  int y = first;
  s.ChainUnits.ForEachSpan(chain, first, last, [&](const std::uint8_t* data, std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i, ++y) FPaintBox->SetPixel(column, y, UnitColor(data[i]));
  });
}

void TStructureForm::PaintBoxPaint() {
  FPainting = true;
  UpdateCaption();
  FPaintBox->BeginBulk();
  ClearPlot();
  FStale = false;
  if (StoreHasChains()) {
    const Engine::TSimState& s = Engine::SimState();
    const int W = FPaintBox->ImageWidth();
    const int K = s.ChainsNumber;
    const int last = std::min(W - 2, K);
    const bool freeRadical = s.ProcessType == Engine::ptFreeRadical;
    for (int x = 0; x <= last; ++x) {
      int h = x;
      if (freeRadical) {
        const long long sampled = static_cast<long long>(x) * FStructureChainStep;
        if (sampled > FExpectedChainsN || sampled > K) break;
        h = static_cast<int>(sampled);
      }
      PaintUnits(x, h, 1, s.ChainDP[static_cast<std::size_t>(h)]);
    }
  }
  DrawGrid();
  FPaintBox->EndBulk();
  FPainting = false;
}

void TStructureForm::PaintBoxPaintLarge() {
  FPainting = true;
  FPaintBox->BeginBulk();
  ClearPlot();
  FStale = false;
  const int g = EffectiveMagnification();
  if (StoreHasChains()) {
    const Engine::TSimState& s = Engine::SimState();
    const int W = FPaintBox->ImageWidth();
    const int H = FPaintBox->ImageHeight();
    const int K = s.ChainsNumber;
    const bool freeRadical = s.ProcessType == Engine::ptFreeRadical;
    const long long e = std::max(1LL, static_cast<long long>(FExpectedChainsN / std::max(W, 1)) * g);
    const int last = std::min(W - 2, K);
    for (int i = 0; i <= last; ++i) {
      const int x0 = g * i;
      if (x0 >= W) break;  // the rest lies beyond the picture
      int h = i;
      if (freeRadical) {
        const long long sampled = i * e;
        if (sampled > FExpectedChainsN || sampled > K) break;
        h = static_cast<int>(sampled);
      }
      const int len = std::min<int>(s.ChainDP[static_cast<std::size_t>(h)], H / g);
      if (len < 1) continue;
      int j = 1;
      s.ChainUnits.ForEachSpan(h, 1, len, [&](const std::uint8_t* data, std::int32_t count) {
        for (std::int32_t k = 0; k < count; ++k, ++j)
          FPaintBox->FillRect(x0, g * j, x0 + g, g * (j + 1), UnitColor(data[k]));
      });
    }
  }
  DrawGrid();
  FPaintBox->EndBulk();
  FPainting = false;
}

int TStructureForm::ColumnOf(int h) const {
  // The columns a normal repaint paints: 0 ... min(width - 2, chains).
  if (h < 0 || h > FPaintBox->ImageWidth() - 2 || h > Engine::SimState().ChainsNumber) return -1;
  return h;
}

int TStructureForm::StridedColumnOf(int h) const {
  const int step = FStructureChainStep;
  if (h < 0 || h % step != 0 || h > FExpectedChainsN || h > Engine::SimState().ChainsNumber) return -1;
  const int x = h / step;
  return x <= FPaintBox->ImageWidth() - 2 ? x : -1;
}

// Events come from the run's synchronous calls, where the store may be read.
// A picture that no longer shows the store (resized, recoloured, or created
// during the run) is repainted whole there first, then the event is applied
// on top (repeating what the repaint already shows, or, for EraseUnit, which
// comes before the chain is shortened, removing the unit). While enlarged
// (the run normally stands still then) an event that still arrives is not
// drawn pixel by pixel; the picture is repainted once the run stands still.
bool TStructureForm::ReadyForEvent() {
  if (FMagnified) {
    MarkStale();
    return false;
  }
  if (FStale) PaintBoxPaint();
  return true;
}

void TStructureForm::DrawUnit(int h, int p, int t) {
  if (!ReadyForEvent()) return;
  const int x = ColumnOf(h);
  if (x >= 0) FPaintBox->SetPixel(x, p, UnitColor(static_cast<std::uint8_t>(t)));
}

void TStructureForm::DrawUnitStrided(int h, int p, int t) {
  if (!ReadyForEvent()) return;
  const int x = StridedColumnOf(h);
  if (x >= 0) FPaintBox->SetPixel(x, p, UnitColor(static_cast<std::uint8_t>(t)));
}

void TStructureForm::EraseUnit(int h, int p) {
  if (!ReadyForEvent()) return;
  const int x = ColumnOf(h);
  if (x >= 0) FPaintBox->RestoreBackgroundPixel(x, p);
}

void TStructureForm::DrawSegment(int h, int d, int k) {
  if (!ReadyForEvent()) return;
  if (k < 1 || !StoreHasChains()) return;
  const Engine::TSimState& s = Engine::SimState();
  if (d >= 0 && d <= s.ChainsNumber) {
    const int xd = ColumnOf(d);
    const int lenD = s.ChainDP[static_cast<std::size_t>(d)];
    if (xd >= 0) FPaintBox->RestoreBackgroundV(xd, lenD + 1, lenD + k);
  }
  if (h >= 0 && h <= s.ChainsNumber) {
    const int xh = ColumnOf(h);
    const int lenH = s.ChainDP[static_cast<std::size_t>(h)];
    if (xh >= 0) PaintUnits(xh, h, std::max(1, lenH - k + 1), lenH);
  }
}

void TStructureForm::DrawSegmentStrided(int h, int d, int k) {
  if (!ReadyForEvent()) return;
  if (k < 1 || !StoreHasChains()) return;
  const Engine::TSimState& s = Engine::SimState();
  const int xd = StridedColumnOf(d);
  if (xd >= 0) {
    const int lenD = s.ChainDP[static_cast<std::size_t>(d)];
    FPaintBox->RestoreBackgroundV(xd, lenD + 1, lenD + k);
  }
  const int xh = StridedColumnOf(h);
  if (xh >= 0) {
    const int lenH = s.ChainDP[static_cast<std::size_t>(h)];
    PaintUnits(xh, h, std::max(1, lenH - k + 1), lenH);
  }
}

// ---- modes -----------------------------------------------------------------------------

void TStructureForm::SetMagnified(bool on) {
  if (on) {
    // The enlarged picture shows a standing state: a running simulation
    // waits at its pause gate until Restore.
    if (FHost && FHost->SimulationRunning() && !FHost->SimulationPaused()) {
      FHost->PauseSimulation();
      FPauseRequested = true;
    }
    FMagnified = true;
    SetPlotHeights(EffectiveMagnification() * NormalPlotHeight);
  } else {
    FMagnified = false;
    SetPlotHeights(NormalPlotHeight);
  }
  FStale = true;
  RepaintWhenReadable();
  FCoordinatesPaintBox->update();
  // Restore lets a paused run go on, also one the user paused before, and
  // one whose pause this view asked for but that has not reached its gate.
  if (!on) {
    if (FHost && FHost->SimulationRunning() && (FHost->SimulationPaused() || FPauseRequested))
      FHost->ResumeSimulation();
    FPauseRequested = false;
  }
}

// ---- context menu ----------------------------------------------------------------------

void TStructureForm::PopUpSetColor(int index) {
  const QColor current = FPaintBox->Color(index == 0 ? ColorIndexA : ColorIndexB);
  const QColor chosen = QColorDialog::getColor(current, this);
  ApplyColorChoice(index, chosen.isValid() ? std::optional<QColor>(chosen) : std::nullopt);
}

void TStructureForm::ApplyColorChoice(int index, std::optional<QColor> chosen) {
  if (index != 0 && index != 1) return;
  const std::uint8_t entry = index == 0 ? ColorIndexA : ColorIndexB;
  if (chosen && chosen->isValid()) FPaintBox->SetColor(entry, *chosen);
  if (FHost)
    FHost->WriteSettingInteger(QString::fromLatin1(SettingsSection), QString::fromLatin1(ColorKey(index)),
                               WindowsValueOf(FPaintBox->Color(entry)));
  FStale = true;
  RepaintWhenReadable();
}

void TStructureForm::PopUpMagnificationClick() {
  bool ok = false;
  const QString text = QInputDialog::getText(this, QStringLiteral("Magnification"),
                                             QStringLiteral("Type the Magnification"), QLineEdit::Normal,
                                             QString::number(FMagnification), &ok);
  if (ok) ApplyMagnificationText(text);
}

bool TStructureForm::ApplyMagnificationText(const QString& text) {
  std::int32_t value = 0;
  const std::string raw = text.toStdString();
  if (!Propagon::TryStrToInt(raw, value)) {
    ShowError(this, QStringLiteral("Error"), QString::fromStdString(Propagon::InvalidIntegerMessage(raw)));
    return false;
  }
  if (value > MaxMagnification) {
    ShowError(this, QStringLiteral("Error"),
              QStringLiteral("Magnification %1 is too large; the largest is %2.").arg(value).arg(MaxMagnification));
    return false;
  }
  FMagnification = value;
  if (FHost)
    FHost->WriteSettingInteger(QString::fromLatin1(SettingsSection), QStringLiteral("Magnification"), value);
  SetPlotHeights(EffectiveMagnification() * NormalPlotHeight);
  FStale = true;
  RepaintWhenReadable();
  FCoordinatesPaintBox->update();
  return true;
}

QImage TStructureForm::PlotPicture() {
  const QSize size(FPaintBox->x() + FPaintBox->width() + 2, height() - 2);
  QImage picture = CapturePlotPanel(size);
  // Close the picture at the bottom with a black line across the chains.
  const QRect chains = VisiblePaintBox();
  const int y = size.height() - 3;
  if (!chains.isEmpty() && y >= 0) {
    QPainter painter(&picture);
    painter.setPen(Qt::black);
    painter.drawLine(chains.left(), y, chains.right(), y);
  }
  return picture;
}

// ---- activation and closing ---------------------------------------------------------------

void TStructureForm::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange) {
    if (isActiveWindow())
      FormActivate();
    else
      FormDeactivate();
  }
}

void TStructureForm::FormActivate() {
  if (!FHost) return;
  // Docked, the view is active only when its tab is the main window's
  // current one; the main window knows that.
  FHost->ShowMagGlass(Floating() || FHost->MicrostructureTabActive());
}

void TStructureForm::FormDeactivate() {
  if (!FHost) return;
  FHost->ShowMagGlass(Floating() ? isVisible() || isActiveWindow() : FHost->MicrostructureTabActive());
}

} // namespace Plots
