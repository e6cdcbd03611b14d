#include "shell/uIcons.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace Shell {

namespace {

QImage Render(QSvgRenderer& svg, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  svg.render(&p);
  return image;
}

// Grey tones pulled towards mid grey, and half transparent: readable on
// light and dark backgrounds, clearly "off".
QImage Greyed(const QImage& source) {
  QImage image = source.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = line[x];
      const int a = qAlpha(c);
      if (a == 0)
        continue;
      const int grey = (qGray(c) + 2 * 160) / 3;
      line[x] = qRgba(grey, grey, grey, a * 55 / 100);
    }
  }
  return image;
}

} // namespace

QIcon ActionIcon(const QString& name) {
  const QString path = QStringLiteral(":/propagon/icons/%1.svg").arg(name);
  if (!QFile::exists(path))
    return {};
  QSvgRenderer svg(path);
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48}) {
    const QImage normal = Render(svg, size);
    icon.addPixmap(QPixmap::fromImage(normal), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(Greyed(normal)), QIcon::Disabled);
  }
  return icon;
}

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addPixmap(ApplicationPicture(size));
  return icon;
}

QPixmap ApplicationPicture(int size) {
  QSvgRenderer svg(QStringLiteral(":/propagon/icons/polykin.svg"));
  return QPixmap::fromImage(Render(svg, size));
}

} // namespace Shell
