#pragma once
// Save Plot As: the picture of a chart in a file, as PNG at a chosen
// resolution, as SVG or as PDF (chosen by the file's extension). The file is
// replaced whole or not at all.

#include <QString>

namespace Charts {
class TChart;
}

namespace Plots {

// The file filters of the save dialog, PNG first.
QString ChartPictureFilters();

// Writes the chart's picture to `fileName`; `dpi` is the resolution of a PNG
// (the picture is the chart's on-screen layout, enlarged dpi/screen-dpi
// times). An unknown extension is written as PNG with ".png" appended.
// False with the reason in `error` when the file cannot be written.
bool SaveChartPicture(Charts::TChart& chart, QString& fileName, int dpi, QString& error);

} // namespace Plots
