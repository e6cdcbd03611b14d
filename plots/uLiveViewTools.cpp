#include "plots/uLiveViewTools.h"

#include "params/uNumberFormat.h"

#include <QApplication>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPrinter>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace Plots {

TDistributionScale DistributionScale(int paintHeight, std::int64_t maxCount) {
  const double m = static_cast<double>(std::max<std::int64_t>(maxCount, 1));
  TDistributionScale s;
  s.Q = paintHeight / m * 0.7;
  if (s.Q > 1) s.Q = std::trunc(s.Q);
  s.U = s.Q >= 1 ? static_cast<int>(std::trunc(s.Q)) + 1 : 2;
  return s;
}

int BarHeight(std::int64_t count, double q) {
  const double h = std::trunc(static_cast<double>(count) * q);
  // Counts far beyond the picture height are cut to a height that cannot
  // overflow the pixel arithmetic; anything above the picture is clipped.
  return static_cast<int>(std::clamp(h, -1.0e8, 1.0e8));
}

std::string DistributionDataText(const std::int32_t* histogram, int last) {
  std::string text = "DP\tFraction\r\n";
  if (histogram == nullptr || last < 0) return text;
  int top = last;
  while (top > 0 && histogram[top] == 0) --top;
  // Chains of DP 0 belong to the total (they are chains of the mixture that
  // never grew) but get no line of their own.
  double total = 0;
  for (int i = 0; i <= top; ++i) total += histogram[i];
  if (total <= 0) return text;
  const double f = 1.0 / total;
  text.reserve(text.size() + static_cast<std::size_t>(top) * 16);
  for (int i = 1; i <= top; ++i) {
    text += std::to_string(i);
    text += '\t';
    text += Propagon::FormatDataNumber(histogram[i] * f, 8);
    text += "\r\n";
  }
  return text;
}

int StructureChainStepFor(int expectedChains, int paintWidth) {
  return std::max(1, expectedChains / std::max(paintWidth, 1));
}

QImage CaptureVisiblePart(QWidget* window, QSize size, QPoint sourceTopLeft) {
  QImage picture(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  picture.fill(Qt::white);
  const QImage shot = window->grab().toImage();
  // grab() may return a picture scaled by the device pixel ratio; the copy
  // works in the window's own pixels.
  const QImage plain = shot.size() == window->size()
                           ? shot
                           : shot.scaled(window->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
  const QRect source = QRect(sourceTopLeft, QPoint(window->width() - 1, window->height() - 1)) &
                       plain.rect() & picture.rect();
  if (!source.isEmpty()) {
    QPainter painter(&picture);
    painter.drawImage(source.topLeft(), plain, source);
  }
  return picture;
}

bool PrintPicture(QPrinter& printer, const QImage& picture) {
  printer.setDocName(QString::fromLatin1(PrintJobTitle));
  printer.setPageOrientation(QPageLayout::Portrait);
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  const int pageWidth = printer.width();
  const int pageHeight = printer.height();
  const int m = pageWidth / 10;
  const QRect target(QPoint(m, m), QPoint(pageWidth - m, pageHeight / 2 - m));
  if (target.isValid()) painter.drawImage(target, picture);
  return painter.end();
}

QIcon MenuIcon(const char* themeName, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(QString::fromLatin1(themeName), QApplication::style()->standardIcon(fallback));
}

namespace {
QWidget* ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
  auto* box = new QMessageBox(icon, title, text, QMessageBox::Ok, parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setObjectName(QStringLiteral("LiveViewMessage"));
  box->open();
  return box;
}
} // namespace

QWidget* ShowWarning(QWidget* parent, const QString& title, const QString& text) {
  return ShowBox(parent, QMessageBox::Warning, title, text);
}

QWidget* ShowError(QWidget* parent, const QString& title, const QString& text) {
  return ShowBox(parent, QMessageBox::Critical, title, text);
}

} // namespace Plots
