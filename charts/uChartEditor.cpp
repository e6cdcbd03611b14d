#include "charts/uChartEditor.h"

#include "charts/uChart.h"
#include "params/uNumberFormat.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <array>

namespace Charts {

namespace {

enum TItemKind { ChartItem = 1, SeriesItem = 2, AxisItem = 3, GroupItem = 4 };
constexpr int KindRole = Qt::UserRole;
constexpr int IndexRole = Qt::UserRole + 1;

struct TPenStyleName {
  Qt::PenStyle Style;
  const char* Name;
};

constexpr std::array<TPenStyleName, 5> PenStyles{{
    {Qt::SolidLine, "Solid"},
    {Qt::DashLine, "Dash"},
    {Qt::DotLine, "Dot"},
    {Qt::DashDotLine, "Dash Dot"},
    {Qt::DashDotDotLine, "Dash Dot Dot"},
}};

const char* AxisName(int axis) {
  switch (axis) {
  case 0:
    return "Bottom Axis";
  case 1:
    return "Left Axis";
  default:
    return "Right Axis";
  }
}

QString NumberText(double value) { return QString::fromStdString(Propagon::FormatGeneral(value, 10)); }

} // namespace

class TChartEditor::TPrivate {
public:
  TChart* Chart = nullptr;
  QTreeWidget* Tree = nullptr;
  QStackedWidget* Pages = nullptr;
  QLabel* Message = nullptr;
  QString LastMessage;
  int CurrentSeries = -1;
  int CurrentAxis = 0;

  // chart page
  QLineEdit* TitleEdit = nullptr;
  QCheckBox* LegendCheck = nullptr;
  // series page
  QLineEdit* SeriesTitleEdit = nullptr;
  QPushButton* SeriesColorButton = nullptr;
  QComboBox* SeriesPenStyleCombo = nullptr;
  QSpinBox* SeriesPenWidthSpin = nullptr;
  QCheckBox* SeriesVisibleCheck = nullptr;
  QCheckBox* SeriesLegendCheck = nullptr;
  // axis page
  QLineEdit* AxisTitleEdit = nullptr;
  QCheckBox* AxisAutoMinCheck = nullptr;
  QLineEdit* AxisMinEdit = nullptr;
  QCheckBox* AxisAutoMaxCheck = nullptr;
  QLineEdit* AxisMaxEdit = nullptr;
  QCheckBox* AxisLogCheck = nullptr;
  QCheckBox* AxisInvertedCheck = nullptr;
  QCheckBox* AxisGridCheck = nullptr;
  QCheckBox* AxisVisibleCheck = nullptr;
  QLineEdit* AxisFormatEdit = nullptr;
  QLabel* AxisFormatPreview = nullptr;

  TAxisId Axis() const { return static_cast<TAxisId>(CurrentAxis); }
  void Refuse(const QString& text) {
    LastMessage = text;
    Message->setText(text);
  }
  void Accept() {
    LastMessage.clear();
    Message->clear();
  }

  void FillTree();
  void ShowChartPage();
  void ShowSeriesPage(int series);
  void ShowAxisPage(int axis);
  void UpdateColorButton();
  void UpdateFormatPreview();
  bool ReadNumber(QLineEdit* edit, double& value);
  void ApplyMinimum();
  void ApplyMaximum();
};

void TChartEditor::TPrivate::FillTree() {
  const QSignalBlocker blocker(Tree);
  Tree->clear();
  auto* chart = new QTreeWidgetItem(Tree, QStringList(QStringLiteral("Chart")));
  chart->setData(0, KindRole, ChartItem);
  auto* series = new QTreeWidgetItem(Tree, QStringList(QStringLiteral("Series")));
  series->setData(0, KindRole, GroupItem);
  for (int s = 0; s < Chart->SeriesCount(); ++s) {
    QString title = Chart->SeriesTitle(s);
    if (title.isEmpty())
      title = QStringLiteral("Series%1").arg(s + 1);
    auto* item = new QTreeWidgetItem(series, QStringList(title));
    item->setData(0, KindRole, SeriesItem);
    item->setData(0, IndexRole, s);
  }
  auto* axes = new QTreeWidgetItem(Tree, QStringList(QStringLiteral("Axes")));
  axes->setData(0, KindRole, GroupItem);
  for (int a = 0; a < 3; ++a) {
    auto* item = new QTreeWidgetItem(axes, QStringList(QString::fromLatin1(AxisName(a))));
    item->setData(0, KindRole, AxisItem);
    item->setData(0, IndexRole, a);
  }
  Tree->expandAll();
}

void TChartEditor::TPrivate::ShowChartPage() {
  const QSignalBlocker b1(TitleEdit);
  const QSignalBlocker b2(LegendCheck);
  TitleEdit->setText(Chart->Title());
  LegendCheck->setChecked(Chart->LegendVisible());
  Pages->setCurrentIndex(0);
}

void TChartEditor::TPrivate::ShowSeriesPage(int series) {
  CurrentSeries = series;
  const QSignalBlocker b1(SeriesTitleEdit);
  const QSignalBlocker b2(SeriesPenStyleCombo);
  const QSignalBlocker b3(SeriesPenWidthSpin);
  const QSignalBlocker b4(SeriesVisibleCheck);
  const QSignalBlocker b5(SeriesLegendCheck);
  SeriesTitleEdit->setText(Chart->SeriesTitle(series));
  int styleIndex = 0;
  for (std::size_t i = 0; i < PenStyles.size(); ++i)
    if (PenStyles[i].Style == Chart->SeriesPenStyle(series))
      styleIndex = static_cast<int>(i);
  SeriesPenStyleCombo->setCurrentIndex(styleIndex);
  SeriesPenWidthSpin->setValue(Chart->SeriesPenWidth(series));
  SeriesVisibleCheck->setChecked(Chart->SeriesVisible(series));
  SeriesLegendCheck->setChecked(Chart->SeriesInLegend(series));
  UpdateColorButton();
  Pages->setCurrentIndex(1);
}

void TChartEditor::TPrivate::ShowAxisPage(int axis) {
  CurrentAxis = axis;
  const TAxisId id = Axis();
  for (QWidget* w : std::initializer_list<QWidget*>{AxisTitleEdit, AxisAutoMinCheck, AxisMinEdit, AxisAutoMaxCheck,
                                                   AxisMaxEdit, AxisLogCheck, AxisInvertedCheck, AxisGridCheck,
                                                   AxisVisibleCheck, AxisFormatEdit})
    w->blockSignals(true);
  AxisTitleEdit->setText(Chart->AxisTitle(id));
  AxisAutoMinCheck->setChecked(Chart->AxisAutomaticMinimum(id));
  AxisAutoMaxCheck->setChecked(Chart->AxisAutomaticMaximum(id));
  AxisMinEdit->setText(NumberText(Chart->AxisMinimum(id)));
  AxisMaxEdit->setText(NumberText(Chart->AxisMaximum(id)));
  AxisMinEdit->setEnabled(!AxisAutoMinCheck->isChecked());
  AxisMaxEdit->setEnabled(!AxisAutoMaxCheck->isChecked());
  AxisLogCheck->setChecked(Chart->AxisLogarithmic(id));
  AxisInvertedCheck->setChecked(Chart->AxisInverted(id));
  AxisGridCheck->setChecked(Chart->AxisGrid(id));
  AxisVisibleCheck->setChecked(Chart->AxisVisible(id));
  AxisFormatEdit->setText(Chart->AxisValueFormat(id));
  for (QWidget* w : std::initializer_list<QWidget*>{AxisTitleEdit, AxisAutoMinCheck, AxisMinEdit, AxisAutoMaxCheck,
                                                   AxisMaxEdit, AxisLogCheck, AxisInvertedCheck, AxisGridCheck,
                                                   AxisVisibleCheck, AxisFormatEdit})
    w->blockSignals(false);
  UpdateFormatPreview();
  Pages->setCurrentIndex(2);
}

void TChartEditor::TPrivate::UpdateColorButton() {
  const QColor color = Chart->SeriesColor(CurrentSeries);
  QPixmap swatch(24, 12);
  swatch.fill(color.isValid() ? color : Qt::transparent);
  SeriesColorButton->setIcon(QIcon(swatch));
  SeriesColorButton->setText(color.isValid() ? color.name() : QString());
}

void TChartEditor::TPrivate::UpdateFormatPreview() {
  AxisFormatPreview->setText(QStringLiteral("e.g. ") + Chart->FormatAxisValue(Axis(), Chart->AxisMaximum(Axis())));
}

bool TChartEditor::TPrivate::ReadNumber(QLineEdit* edit, double& value) {
  const std::string text = edit->text().trimmed().toStdString();
  if (!Propagon::TryStrToFloat(Propagon::AdaptSeparator(text), value)) {
    Refuse(QString::fromStdString(Propagon::InvalidFloatMessage(text)));
    return false;
  }
  return true;
}

void TChartEditor::TPrivate::ApplyMinimum() {
  double value = 0.0;
  if (!ReadNumber(AxisMinEdit, value))
    return;
  if (!Chart->AxisAutomaticMaximum(Axis()) && value >= Chart->AxisMaximum(Axis())) {
    Refuse(QStringLiteral("The minimum must be below the maximum."));
    return;
  }
  if (Chart->AxisLogarithmic(Axis()) && value <= 0.0) {
    Refuse(QStringLiteral("A logarithmic axis needs a minimum above 0."));
    return;
  }
  Accept();
  Chart->SetAxisMinimum(Axis(), value);
  Chart->Refresh();
}

void TChartEditor::TPrivate::ApplyMaximum() {
  double value = 0.0;
  if (!ReadNumber(AxisMaxEdit, value))
    return;
  if (!Chart->AxisAutomaticMinimum(Axis()) && value <= Chart->AxisMinimum(Axis())) {
    Refuse(QStringLiteral("The maximum must be above the minimum."));
    return;
  }
  if (Chart->AxisLogarithmic(Axis()) && value <= 0.0) {
    Refuse(QStringLiteral("A logarithmic axis needs a maximum above 0."));
    return;
  }
  Accept();
  Chart->SetAxisMaximum(Axis(), value);
  Chart->Refresh();
}

TChartEditor::TChartEditor(TChart* chart, QWidget* parent) : QDialog(parent), FPrivate(std::make_unique<TPrivate>()) {
  TPrivate& d = *FPrivate;
  d.Chart = chart;
  setObjectName(QStringLiteral("ChartEditor"));
  setWindowTitle(QStringLiteral("Editing Chart"));
  resize(560, 360);

  d.Tree = new QTreeWidget(this);
  d.Tree->setObjectName(QStringLiteral("ChartTree"));
  d.Tree->setHeaderHidden(true);
  d.Tree->setMinimumWidth(160);
  d.Pages = new QStackedWidget(this);

  // Chart page.
  auto* chartPage = new QWidget(d.Pages);
  auto* chartForm = new QFormLayout(chartPage);
  d.TitleEdit = new QLineEdit(chartPage);
  d.TitleEdit->setObjectName(QStringLiteral("TitleEdit"));
  d.LegendCheck = new QCheckBox(QStringLiteral("Show &Legend"), chartPage);
  d.LegendCheck->setObjectName(QStringLiteral("LegendCheck"));
  chartForm->addRow(QStringLiteral("&Title:"), d.TitleEdit);
  chartForm->addRow(QString(), d.LegendCheck);
  d.Pages->addWidget(chartPage);

  // Series page.
  auto* seriesPage = new QWidget(d.Pages);
  auto* seriesForm = new QFormLayout(seriesPage);
  d.SeriesTitleEdit = new QLineEdit(seriesPage);
  d.SeriesTitleEdit->setObjectName(QStringLiteral("SeriesTitleEdit"));
  d.SeriesColorButton = new QPushButton(seriesPage);
  d.SeriesColorButton->setObjectName(QStringLiteral("SeriesColorButton"));
  d.SeriesPenStyleCombo = new QComboBox(seriesPage);
  d.SeriesPenStyleCombo->setObjectName(QStringLiteral("SeriesPenStyleCombo"));
  for (const auto& style : PenStyles)
    d.SeriesPenStyleCombo->addItem(QString::fromLatin1(style.Name));
  d.SeriesPenWidthSpin = new QSpinBox(seriesPage);
  d.SeriesPenWidthSpin->setObjectName(QStringLiteral("SeriesPenWidthSpin"));
  d.SeriesPenWidthSpin->setRange(0, 20);
  d.SeriesVisibleCheck = new QCheckBox(QStringLiteral("&Visible"), seriesPage);
  d.SeriesVisibleCheck->setObjectName(QStringLiteral("SeriesVisibleCheck"));
  d.SeriesLegendCheck = new QCheckBox(QStringLiteral("Show in Le&gend"), seriesPage);
  d.SeriesLegendCheck->setObjectName(QStringLiteral("SeriesLegendCheck"));
  seriesForm->addRow(QStringLiteral("&Title:"), d.SeriesTitleEdit);
  seriesForm->addRow(QStringLiteral("&Colour:"), d.SeriesColorButton);
  seriesForm->addRow(QStringLiteral("&Pen Style:"), d.SeriesPenStyleCombo);
  seriesForm->addRow(QStringLiteral("Pen &Width:"), d.SeriesPenWidthSpin);
  seriesForm->addRow(QString(), d.SeriesVisibleCheck);
  seriesForm->addRow(QString(), d.SeriesLegendCheck);
  d.Pages->addWidget(seriesPage);

  // Axis page.
  auto* axisPage = new QWidget(d.Pages);
  auto* axisForm = new QFormLayout(axisPage);
  d.AxisTitleEdit = new QLineEdit(axisPage);
  d.AxisTitleEdit->setObjectName(QStringLiteral("AxisTitleEdit"));
  d.AxisAutoMinCheck = new QCheckBox(QStringLiteral("Auto&matic"), axisPage);
  d.AxisAutoMinCheck->setObjectName(QStringLiteral("AxisAutoMinCheck"));
  d.AxisMinEdit = new QLineEdit(axisPage);
  d.AxisMinEdit->setObjectName(QStringLiteral("AxisMinEdit"));
  d.AxisAutoMaxCheck = new QCheckBox(QStringLiteral("Autom&atic"), axisPage);
  d.AxisAutoMaxCheck->setObjectName(QStringLiteral("AxisAutoMaxCheck"));
  d.AxisMaxEdit = new QLineEdit(axisPage);
  d.AxisMaxEdit->setObjectName(QStringLiteral("AxisMaxEdit"));
  d.AxisLogCheck = new QCheckBox(QStringLiteral("&Logarithmic"), axisPage);
  d.AxisLogCheck->setObjectName(QStringLiteral("AxisLogCheck"));
  d.AxisInvertedCheck = new QCheckBox(QStringLiteral("&Inverted"), axisPage);
  d.AxisInvertedCheck->setObjectName(QStringLiteral("AxisInvertedCheck"));
  d.AxisGridCheck = new QCheckBox(QStringLiteral("&Grid"), axisPage);
  d.AxisGridCheck->setObjectName(QStringLiteral("AxisGridCheck"));
  d.AxisVisibleCheck = new QCheckBox(QStringLiteral("&Visible"), axisPage);
  d.AxisVisibleCheck->setObjectName(QStringLiteral("AxisVisibleCheck"));
  d.AxisFormatEdit = new QLineEdit(axisPage);
  d.AxisFormatEdit->setObjectName(QStringLiteral("AxisFormatEdit"));
  d.AxisFormatPreview = new QLabel(axisPage);
  d.AxisFormatPreview->setObjectName(QStringLiteral("AxisFormatPreview"));
  auto* minRow = new QHBoxLayout;
  minRow->addWidget(d.AxisMinEdit);
  minRow->addWidget(d.AxisAutoMinCheck);
  auto* maxRow = new QHBoxLayout;
  maxRow->addWidget(d.AxisMaxEdit);
  maxRow->addWidget(d.AxisAutoMaxCheck);
  auto* modeRow = new QHBoxLayout;
  modeRow->addWidget(d.AxisLogCheck);
  modeRow->addWidget(d.AxisInvertedCheck);
  modeRow->addWidget(d.AxisGridCheck);
  modeRow->addWidget(d.AxisVisibleCheck);
  axisForm->addRow(QStringLiteral("&Title:"), d.AxisTitleEdit);
  auto* minLabel = new QLabel(QStringLiteral("Mi&nimum:"), axisPage);
  minLabel->setBuddy(d.AxisMinEdit);
  auto* maxLabel = new QLabel(QStringLiteral("Ma&ximum:"), axisPage);
  maxLabel->setBuddy(d.AxisMaxEdit);
  axisForm->addRow(minLabel, minRow);
  axisForm->addRow(maxLabel, maxRow);
  axisForm->addRow(QString(), modeRow);
  axisForm->addRow(QStringLiteral("Value &Format:"), d.AxisFormatEdit);
  axisForm->addRow(QString(), d.AxisFormatPreview);
  d.Pages->addWidget(axisPage);

  d.Message = new QLabel(this);
  d.Message->setObjectName(QStringLiteral("MessageLabel"));
  d.Message->setStyleSheet(QStringLiteral("color: rgb(180, 0, 0);"));
  d.Message->setWordWrap(true);

  auto* splitter = new QSplitter(this);
  splitter->addWidget(d.Tree);
  auto* right = new QWidget(splitter);
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->addWidget(d.Pages);
  rightLayout->addWidget(d.Message);
  rightLayout->addStretch();
  splitter->addWidget(right);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({150, 370});
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(splitter);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::accept);

  connect(d.Tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (!item)
      return;
    FPrivate->Accept();
    switch (item->data(0, KindRole).toInt()) {
    case SeriesItem:
      FPrivate->ShowSeriesPage(item->data(0, IndexRole).toInt());
      break;
    case AxisItem:
      FPrivate->ShowAxisPage(item->data(0, IndexRole).toInt());
      break;
    case ChartItem:
      FPrivate->ShowChartPage();
      break;
    default:
      break;
    }
  });

  // Chart page edits.
  connect(d.TitleEdit, &QLineEdit::editingFinished, this, [&d] { d.Chart->SetTitle(d.TitleEdit->text()); });
  connect(d.LegendCheck, &QCheckBox::toggled, this, [&d](bool on) { d.Chart->SetLegendVisible(on); });

  // Series page edits.
  connect(d.SeriesTitleEdit, &QLineEdit::editingFinished, this, [&d] {
    d.Chart->SetSeriesTitle(d.CurrentSeries, d.SeriesTitleEdit->text());
    if (QTreeWidgetItem* item = d.Tree->currentItem(); item && item->data(0, KindRole).toInt() == SeriesItem)
      item->setText(0, d.SeriesTitleEdit->text());
  });
  connect(d.SeriesColorButton, &QPushButton::clicked, this, [this, &d] {
    const QColor color = QColorDialog::getColor(d.Chart->SeriesColor(d.CurrentSeries), this);
    if (color.isValid())
      SetSelectedSeriesColor(color);
  });
  connect(d.SeriesPenStyleCombo, &QComboBox::currentIndexChanged, this, [&d](int index) {
    if (index >= 0 && index < static_cast<int>(PenStyles.size()))
      d.Chart->SetSeriesPenStyle(d.CurrentSeries, PenStyles[index].Style);
  });
  connect(d.SeriesPenWidthSpin, &QSpinBox::valueChanged, this,
          [&d](int value) { d.Chart->SetSeriesPenWidth(d.CurrentSeries, value); });
  connect(d.SeriesVisibleCheck, &QCheckBox::toggled, this,
          [&d](bool on) { d.Chart->SetSeriesVisible(d.CurrentSeries, on); });
  connect(d.SeriesLegendCheck, &QCheckBox::toggled, this,
          [&d](bool on) { d.Chart->SetSeriesInLegend(d.CurrentSeries, on); });

  // Axis page edits.
  connect(d.AxisTitleEdit, &QLineEdit::editingFinished, this,
          [&d] { d.Chart->SetAxisTitle(d.Axis(), d.AxisTitleEdit->text()); });
  connect(d.AxisAutoMinCheck, &QCheckBox::toggled, this, [&d](bool on) {
    d.Accept();
    if (on) {
      d.Chart->SetAxisAutomaticMinimum(d.Axis(), true);
      d.Chart->Refresh();
      d.AxisMinEdit->setText(NumberText(d.Chart->AxisMinimum(d.Axis())));
    } else {
      d.ApplyMinimum();
    }
    d.AxisMinEdit->setEnabled(!on);
  });
  connect(d.AxisAutoMaxCheck, &QCheckBox::toggled, this, [&d](bool on) {
    d.Accept();
    if (on) {
      d.Chart->SetAxisAutomaticMaximum(d.Axis(), true);
      d.Chart->Refresh();
      d.AxisMaxEdit->setText(NumberText(d.Chart->AxisMaximum(d.Axis())));
    } else {
      d.ApplyMaximum();
    }
    d.AxisMaxEdit->setEnabled(!on);
  });
  connect(d.AxisMinEdit, &QLineEdit::editingFinished, this, [&d] { d.ApplyMinimum(); });
  connect(d.AxisMaxEdit, &QLineEdit::editingFinished, this, [&d] { d.ApplyMaximum(); });
  connect(d.AxisLogCheck, &QCheckBox::toggled, this, [&d](bool on) {
    d.Chart->SetAxisLogarithmic(d.Axis(), on);
    d.Chart->Refresh();
    d.ShowAxisPage(d.CurrentAxis);
  });
  connect(d.AxisInvertedCheck, &QCheckBox::toggled, this,
          [&d](bool on) { d.Chart->SetAxisInverted(d.Axis(), on); });
  connect(d.AxisGridCheck, &QCheckBox::toggled, this, [&d](bool on) { d.Chart->SetAxisGrid(d.Axis(), on); });
  connect(d.AxisVisibleCheck, &QCheckBox::toggled, this, [&d](bool on) { d.Chart->SetAxisVisible(d.Axis(), on); });
  connect(d.AxisFormatEdit, &QLineEdit::editingFinished, this, [&d] {
    d.Chart->SetAxisValueFormat(d.Axis(), d.AxisFormatEdit->text());
    d.UpdateFormatPreview();
  });

  Reload();
}

TChartEditor::~TChartEditor() = default;

void TChartEditor::Reload() {
  FPrivate->FillTree();
  SelectChart();
}

void TChartEditor::SelectChart() {
  TPrivate& d = *FPrivate;
  d.Tree->setCurrentItem(d.Tree->topLevelItem(0));
  d.ShowChartPage();
}

void TChartEditor::SelectSeries(int series) {
  TPrivate& d = *FPrivate;
  QTreeWidgetItem* group = d.Tree->topLevelItem(1);
  if (!group || series < 0 || series >= group->childCount())
    return;
  d.Tree->setCurrentItem(group->child(series));
  d.ShowSeriesPage(series);
}

void TChartEditor::SelectAxis(TAxisId axis) {
  TPrivate& d = *FPrivate;
  QTreeWidgetItem* group = d.Tree->topLevelItem(2);
  const int index = static_cast<int>(axis);
  if (!group || index < 0 || index >= group->childCount())
    return;
  d.Tree->setCurrentItem(group->child(index));
  d.ShowAxisPage(index);
}

void TChartEditor::SetSelectedSeriesColor(const QColor& color) {
  TPrivate& d = *FPrivate;
  if (d.CurrentSeries < 0 || !color.isValid())
    return;
  d.Chart->SetSeriesColor(d.CurrentSeries, color);
  d.UpdateColorButton();
}

QString TChartEditor::InputMessage() const { return FPrivate->LastMessage; }

void TChartEditor::showEvent(QShowEvent* event) {
  Reload();
  QDialog::showEvent(event);
}

} // namespace Charts
