#pragma once
// A paint area with its own picture.
//
// The two live views (DP distribution and chain microstructure) are painted
// pixel by pixel, often once per simulated event. Painting straight onto the
// screen for every event would cost a full widget repaint each time, so each
// view paints into a backing image held here and only the rectangle that
// changed is passed on to the screen. Screen updates are gathered: the dirty
// rectangles of many events are merged and shown together after a short
// delay, so a run that sends 10^5 events per second causes a few dozen screen
// paints per second, not 10^5.
//
// The picture is an 8-bit image whose pixel values index a small colour table
// (the views use white, black and the two monomer colours). Changing a colour
// of the table recolours the picture without touching its pixels.
//
// All functions run on the window thread. Coordinates outside the picture are
// clipped; no call fails.

#include <QColor>
#include <QImage>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <vector>

namespace Plots {

class TPaintBox : public QWidget {
  Q_OBJECT

public:
  // Colour indices shared by both views.
  enum : std::uint8_t { White = 0, Black = 1, FirstFreeColor = 2 };

  explicit TPaintBox(QWidget* parent = nullptr, int colorCount = 2);

  // The picture takes the widget's size whenever the widget is resized;
  // its contents are then white until the owner paints it again.
  const QImage& Image() const { return FImage; }
  int ImageWidth() const { return FImage.width(); }
  int ImageHeight() const { return FImage.height(); }

  void SetColor(int index, QColor color);
  QColor Color(int index) const;

  // White with a black one-pixel frame; also remembered as the background
  // that RestoreBackground puts back.
  void ClearFramed();
  // The cleared picture's value at (x, y): black on the frame, white inside.
  std::uint8_t Background(int x, int y) const;

  void SetPixel(int x, int y, std::uint8_t color);
  // Vertical line from y0 to y1, both included, in either order.
  void VLine(int x, int y0, int y1, std::uint8_t color);
  // Vertical line from y0 to y1 (both included) set back to the cleared picture.
  void RestoreBackgroundV(int x, int y0, int y1);
  void RestoreBackgroundPixel(int x, int y);
  // Horizontal line from x0 to x1, both included.
  void HLine(int y, int x0, int x1, std::uint8_t color);
  // Rectangle including its left and top edges, excluding right and bottom.
  void FillRect(int left, int top, int right, int bottom, std::uint8_t color);

  // Marks the whole picture changed (after a full repaint).
  void InvalidateAll();
  // A full repaint changes most pixels: between BeginBulk and EndBulk no
  // rectangle is gathered per pixel; EndBulk marks the whole picture changed.
  void BeginBulk() { FBulk = true; }
  void EndBulk() {
    FBulk = false;
    InvalidateAll();
  }
  // Shows every pending change now instead of after the gathering delay.
  void FlushUpdates();
  // Gathered area not yet passed to the screen (empty when none).
  QRect PendingRect() const { return FDirty; }

  // Minimum time between two screen updates caused by pixel changes.
  static constexpr int GatherMilliseconds = 25;

signals:
  // Emitted after the widget's size (and with it the picture's) changed.
  void Resized();

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void Touch(int left, int top, int right, int bottom);  // inclusive bounds
  std::uint8_t* Row(int y) { return FImage.scanLine(y); }

  QImage FImage;
  QRect FDirty;
  bool FBulk = false;
  QTimer FGatherTimer;
};

} // namespace Plots
