#pragma once
// Pieces shared by the two painted live views: the calculations that decide
// what is drawn (kept free of widgets so they can be checked on their own),
// the picture for the clipboard and the printer, and messages that do not
// block the window thread.

#include <QIcon>
#include <QImage>
#include <QString>
#include <QStyle>

#include <cstdint>
#include <string>

class QPrinter;
class QWidget;

namespace Plots {

// ---- DP distribution ----------------------------------------------------

// Bar scale of the DP distribution: q pixels per chain and the height u of
// the strokes that show one event.
struct TDistributionScale {
  double Q = 1.0;
  int U = 2;
};

// q = paintHeight / m * 0.7 with m = max(maxCount, 1); q above 1 is cut to
// a whole number; u = trunc(q) + 1 when q >= 1, otherwise 2.
TDistributionScale DistributionScale(int paintHeight, std::int64_t maxCount);

// Height in pixels of the bar of `count` chains: trunc(count * q).
int BarHeight(std::int64_t count, double q);

// The histogram n(0..last) as tab-separated text: the header "DP\tFraction",
// then for every DP i = 1 ... L (L the highest DP with chains) the DP and the
// number fraction n(i) / sum n(0..L) with at most 8 significant digits.
// Every line ends with "\r\n". An empty or all-zero histogram gives the header.
std::string DistributionDataText(const std::int32_t* histogram, int last);

// ---- chain microstructure -----------------------------------------------

// Sampling step of the microstructure view: max(1, N div width). A paint
// area that has no width yet (a hidden window) counts as 1 pixel wide.
int StructureChainStepFor(int expectedChains, int paintWidth);

// ---- pictures and messages ----------------------------------------------

// Renders the visible part of `window` into a picture of `size`, white
// where nothing of the window shows. `source` (in window coordinates, cut
// to the window) is copied into the same rectangle of the picture.
QImage CaptureVisiblePart(QWidget* window, QSize size, QPoint sourceTopLeft);

// Prints `picture` on one portrait page: stretched into the rectangle from
// (m, m) to (page width - m, page height / 2 - m), m = page width / 10.
// The job is titled "Propagon - ChainsStructure". Returns false (and reports
// nothing) when the printer cannot be started.
bool PrintPicture(QPrinter& printer, const QImage& picture);

// Message boxes that return at once (the window thread keeps running, so a
// simulation thread waiting for it is never stuck behind a dialog).
// Returns the box (deleted when closed) so tests can read it.
QWidget* ShowWarning(QWidget* parent, const QString& title, const QString& text);
QWidget* ShowError(QWidget* parent, const QString& title, const QString& text);

// Menu icon: the desktop theme's icon, or the style's standard one (the
// chart windows use the same pairs for the same actions).
QIcon MenuIcon(const char* themeName, QStyle::StandardPixmap fallback);

// The job title of both views' printouts.
inline constexpr const char* PrintJobTitle = "Propagon - ChainsStructure";

// Warning and log line when the clipboard text cannot be built.
inline constexpr const char* LowMemoryWarning =
    "To Low Memory for the Given Data Range!\r\nZoom the Area of Interest and try Again!\r\nor Save the "
    "Data to a Text File!";
inline constexpr const char* LowMemoryLogLine = "Unsufficient Memory for Copy of the Plot Data";

} // namespace Plots
