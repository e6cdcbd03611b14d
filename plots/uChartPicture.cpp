#include "plots/uChartPicture.h"

#include "charts/uChart.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

#include <algorithm>

namespace Plots {

QString ChartPictureFilters() {
  return QStringLiteral("PNG image (*.png);;SVG picture (*.svg);;PDF document (*.pdf)");
}

bool SaveChartPicture(Charts::TChart& chart, QString& fileName, int dpi, QString& error) {
  const QString suffix = QFileInfo(fileName).suffix().toLower();
  QByteArray bytes;
  if (suffix == QLatin1String("svg")) {
    bytes = chart.ToSvg();
  } else if (suffix == QLatin1String("pdf")) {
    bytes = chart.ToPdf();
  } else {
    if (suffix != QLatin1String("png"))
      fileName += QStringLiteral(".png");
    const double scale = std::clamp(dpi, 30, 2400) / static_cast<double>(std::max(1, chart.logicalDpiX()));
    const QImage image = chart.RenderImage(chart.size(), scale);
    if (image.isNull()) {
      error = QStringLiteral("Not enough memory for a picture of this resolution.");
      return false;
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) {
      error = writer.errorString();
      return false;
    }
  }
  if (bytes.isEmpty()) {
    error = QStringLiteral("The picture could not be drawn.");
    return false;
  }
  // Flushed before the commit: a full disk must not leave half a picture.
  QSaveFile file(fileName);
  bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
  if (written)
    written = file.commit();
  if (!written) {
    error = file.errorString();
    file.cancelWriting();
  }
  return written;
}

} // namespace Plots
