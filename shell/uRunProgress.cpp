#include "shell/uRunProgress.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace Shell {

QString PowerOfTenText(double value, int digits) {
  if (!std::isfinite(value))
    return QStringLiteral("?");
  if (std::fabs(value) < 1e4)
    return QString::number(value, 'f', std::fabs(value) < 10 && value != std::floor(value) ? digits : 0);
  int exponent = static_cast<int>(std::floor(std::log10(std::fabs(value))));
  double mantissa = value / std::pow(10.0, exponent);
  // 9.96 with one decimal would read 10.0·10^6.
  if (std::fabs(std::round(mantissa * std::pow(10.0, digits))) >= 10.0 * std::pow(10.0, digits)) {
    mantissa /= 10.0;
    ++exponent;
  }
  return QString::number(mantissa, 'f', digits) + QStringLiteral("\u00b710^") + QString::number(exponent);
}

TRunProgress::TRunProgress(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("RunProgress"));
  FBar = new QProgressBar(this);
  FBar->setObjectName(QStringLiteral("RunProgressBar"));
  FBar->setRange(0, 1000);
  FBar->setTextVisible(true);
  // Wide enough for its text with four-digit times and check points.
  FBar->setMinimumWidth(
      FBar->fontMetrics().horizontalAdvance(QStringLiteral("t= 0000.000 s of 0000.000 s (check point 000 of 000)")) + 24);
  FLabel = new QLabel(this);
  FLabel->setObjectName(QStringLiteral("RunProgressText"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(FBar);
  layout->addWidget(FLabel);
  FTimer = new QTimer(this);
  connect(FTimer, &QTimer::timeout, this, &TRunProgress::Sample);
  FBar->hide();
}

void TRunProgress::Begin(std::vector<double> checkPointTimes, TSampler sampler, int intervalMs) {
  FTimes = std::move(checkPointTimes);
  FSampler = std::move(sampler);
  FLastEvents = 0;
  FLastMs = QDateTime::currentMSecsSinceEpoch();
  FRate = 0.0;
  FBar->setValue(0);
  FBar->setFormat(QStringLiteral("starting"));
  FBar->show();
  FLabel->clear();
  FTimer->start(intervalMs);
}

void TRunProgress::End() {
  FTimer->stop();
  FSampler = nullptr;
  FBar->hide();
  FLabel->clear();
}

void TRunProgress::ShowNotice(const QString& text) {
  End();
  FLabel->setText(text);
}

void TRunProgress::Sample() {
  TProgressSample s;
  if (!FSampler || !FSampler(s))
    return;
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  // The kernels publish every few thousand events: with a live view on, a
  // quarter of a second may pass without a new count, which is no stop.
  const bool stale = s.Events == FLastEvents && now - FLastMs < 2000;
  if (now > FLastMs && s.Events >= FLastEvents && !stale) {
    if (!s.Paused)
      FRate = static_cast<double>(s.Events - FLastEvents) * 1000.0 / static_cast<double>(now - FLastMs);
    FLastEvents = s.Events;
    FLastMs = now;
  }
  const int high = static_cast<int>(FTimes.size()) - 1;
  const int k = std::max(0, std::min(s.CheckPoint, high));
  if (high >= 1 && k < high) {
    const double from = FTimes[static_cast<std::size_t>(k)];
    const double to = FTimes[static_cast<std::size_t>(k + 1)];
    const double fraction = to > from ? (s.Time - from) / (to - from) : 1.0;
    FBar->setValue(static_cast<int>(std::lround(1000.0 * std::clamp(fraction, 0.0, 1.0))));
    FBar->setFormat(QStringLiteral("t= %1 s of %2 s (check point %3 of %4)")
                        .arg(QString::number(std::max(s.Time, from), 'g', 4), QString::number(to, 'g', 4))
                        .arg(k + 1)
                        .arg(high));
  } else {
    FBar->setValue(1000);
    FBar->setFormat(QStringLiteral("last check point"));
  }
  QString text = s.Paused ? QStringLiteral("Paused") : PowerOfTenText(FRate) + QStringLiteral(" events/s");
  if (s.LiveView)
    text += QStringLiteral("  |  live view on: the run is 50-100x slower");
  FLabel->setText(text);
}

QString TRunProgress::Text() const {
  return FBar->isHidden() ? FLabel->text() : FBar->text() + QStringLiteral("  ") + FLabel->text();
}

} // namespace Shell
