#include "plots/uPaintBox.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>

namespace Plots {

TPaintBox::TPaintBox(QWidget* parent, int colorCount) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  FImage = QImage(1, 1, QImage::Format_Indexed8);
  QList<QRgb> table(std::max(colorCount, 2), qRgb(255, 255, 255));
  table[Black] = qRgb(0, 0, 0);
  FImage.setColorTable(table);
  FImage.fill(White);
  FGatherTimer.setSingleShot(true);
  FGatherTimer.setInterval(GatherMilliseconds);
  connect(&FGatherTimer, &QTimer::timeout, this, &TPaintBox::FlushUpdates);
}

void TPaintBox::SetColor(int index, QColor color) {
  if (index < 0 || index >= FImage.colorCount()) return;
  FImage.setColor(index, color.rgb());
  InvalidateAll();
}

QColor TPaintBox::Color(int index) const {
  if (index < 0 || index >= FImage.colorCount()) return {};
  return QColor::fromRgb(FImage.color(index));
}

void TPaintBox::ClearFramed() {
  FImage.fill(White);
  const int w = FImage.width();
  const int h = FImage.height();
  HLine(0, 0, w - 1, Black);
  HLine(h - 1, 0, w - 1, Black);
  VLine(0, 0, h - 1, Black);
  VLine(w - 1, 0, h - 1, Black);
  InvalidateAll();
}

std::uint8_t TPaintBox::Background(int x, int y) const {
  return (x == 0 || y == 0 || x == FImage.width() - 1 || y == FImage.height() - 1) ? Black : White;
}

void TPaintBox::SetPixel(int x, int y, std::uint8_t color) {
  if (x < 0 || y < 0 || x >= FImage.width() || y >= FImage.height()) return;
  Row(y)[x] = color;
  Touch(x, y, x, y);
}

void TPaintBox::VLine(int x, int y0, int y1, std::uint8_t color) {
  if (y0 > y1) std::swap(y0, y1);
  if (x < 0 || x >= FImage.width()) return;
  y0 = std::max(y0, 0);
  y1 = std::min(y1, FImage.height() - 1);
  if (y0 > y1) return;
  const qsizetype stride = FImage.bytesPerLine();
  std::uint8_t* p = Row(y0) + x;
  for (int y = y0; y <= y1; ++y, p += stride) *p = color;
  Touch(x, y0, x, y1);
}

void TPaintBox::RestoreBackgroundV(int x, int y0, int y1) {
  if (y0 > y1) std::swap(y0, y1);
  if (x < 0 || x >= FImage.width()) return;
  // A frame column stays black; inside, only the frame rows are black.
  if (x == 0 || x == FImage.width() - 1) {
    VLine(x, y0, y1, Black);
    return;
  }
  VLine(x, y0, y1, White);
  const int bottom = FImage.height() - 1;
  if (y0 <= 0 && 0 <= y1) SetPixel(x, 0, Black);
  if (y0 <= bottom && bottom <= y1) SetPixel(x, bottom, Black);
}

void TPaintBox::RestoreBackgroundPixel(int x, int y) { SetPixel(x, y, Background(x, y)); }

void TPaintBox::HLine(int y, int x0, int x1, std::uint8_t color) {
  if (x0 > x1) std::swap(x0, x1);
  if (y < 0 || y >= FImage.height()) return;
  x0 = std::max(x0, 0);
  x1 = std::min(x1, FImage.width() - 1);
  if (x0 > x1) return;
  std::fill(Row(y) + x0, Row(y) + x1 + 1, color);
  Touch(x0, y, x1, y);
}

void TPaintBox::FillRect(int left, int top, int right, int bottom, std::uint8_t color) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, FImage.width());
  bottom = std::min(bottom, FImage.height());
  if (left >= right || top >= bottom) return;
  for (int y = top; y < bottom; ++y) std::fill(Row(y) + left, Row(y) + right, color);
  Touch(left, top, right - 1, bottom - 1);
}

void TPaintBox::InvalidateAll() {
  FDirty = FImage.rect();
  if (!FGatherTimer.isActive()) FGatherTimer.start();
}

void TPaintBox::Touch(int left, int top, int right, int bottom) {
  if (FBulk) return;
  const QRect r(QPoint(left, top), QPoint(right, bottom));
  if (FDirty.isEmpty()) {
    FDirty = r;
    // One timer start per gathered batch: the first change of a batch arms
    // it, later changes of the same batch only widen the rectangle.
    if (!FGatherTimer.isActive()) FGatherTimer.start();
  } else {
    FDirty |= r;
  }
}

void TPaintBox::FlushUpdates() {
  FGatherTimer.stop();
  if (FDirty.isEmpty()) return;
  update(FDirty);
  FDirty = QRect();
}

void TPaintBox::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  // Only the exposed part is converted to screen pixels: the scroll boxes
  // show a small window onto pictures several thousand pixels large.
  for (const QRect& r : event->region()) {
    const QRect src = r & FImage.rect();
    if (!src.isEmpty())
      painter.drawImage(src.topLeft(), FImage.copy(src).convertToFormat(QImage::Format_RGB32));
    // Outside the picture (never, once the picture follows the widget size).
    for (const QRect& rest : QRegion(r).subtracted(QRegion(src))) painter.fillRect(rest, Qt::white);
  }
}

void TPaintBox::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const QSize s = event->size().expandedTo(QSize(1, 1));
  if (s != FImage.size()) {
    const QList<QRgb> table = FImage.colorTable();
    FImage = QImage(s, QImage::Format_Indexed8);
    FImage.setColorTable(table);
    FImage.fill(White);
    FDirty = QRect();
  }
  emit Resized();
}

} // namespace Plots
