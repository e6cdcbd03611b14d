#pragma once
// The interactive editor of a chart.
//
// A tree on the left lists the chart itself, its series and its three axes;
// the page on the right edits the selected one:
//   chart  - title, legend shown;
//   series - title, colour, pen style and width, shown, listed in the legend;
//   axis   - title, automatic or fixed minimum and maximum, logarithmic,
//            inverted, grid, shown, value-format pattern (with a preview).
// Every change goes to the chart at once, as the user makes it, and the chart
// redraws; there is nothing to apply or to undo. A number that cannot be read,
// or a range whose minimum is not below its maximum, is refused with a message
// on the page and the chart keeps its previous value.
//
// Runs on the window thread; the chart must outlive the dialog.

#include <QDialog>

#include <memory>

namespace Charts {

class TChart;
enum class TAxisId;

class TChartEditor : public QDialog {
  Q_OBJECT

public:
  explicit TChartEditor(TChart* chart, QWidget* parent = nullptr);
  ~TChartEditor() override;

  // Re-reads the chart (series may have been added or retitled since).
  void Reload();

  // Select the page of the chart, a series, or an axis.
  void SelectChart();
  void SelectSeries(int series);
  void SelectAxis(TAxisId axis);

  // The colour the colour button would have chosen, for the selected series.
  void SetSelectedSeriesColor(const QColor& color);

  // The message of the last refused input, empty when the last input was taken.
  QString InputMessage() const;

protected:
  void showEvent(QShowEvent* event) override;

private:
  class TPrivate;
  std::unique_ptr<TPrivate> FPrivate;
};

} // namespace Charts
