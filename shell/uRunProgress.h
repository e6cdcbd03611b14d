#pragma once
// Progress of a run between check points, in the status line: a bar for the
// simulated time against the next check point and a label with the events
// per second (and whether a live view or a pause holds the run back).
//
// The window never reads the simulation state here: the kernels publish
// their clock, their event count and the last recorded check point to a few
// atomics of the run (TSimRun::PublishProgress), and a timer on the window
// thread samples those through the function handed to Begin, a few times a
// second. The check-point times come from the parameter file, read before
// the run starts.

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

class QLabel;
class QProgressBar;
class QTimer;

namespace Shell {

struct TProgressSample {
  double Time = 0.0;          // simulated time reached
  int CheckPoint = 0;         // last recorded check point
  std::uint64_t Events = 0;   // reactions applied so far
  bool LiveView = false;      // a live view is drawn at every event
  bool Paused = false;        // held at the pause gate
};

// "2.1·10^7" (mantissa with `digits` decimals; plain below 10^4).
QString PowerOfTenText(double value, int digits = 1);

class TRunProgress : public QWidget {
  Q_OBJECT

public:
  explicit TRunProgress(QWidget* parent = nullptr);

  using TSampler = std::function<bool(TProgressSample&)>;
  // Starts sampling every `intervalMs`; `checkPointTimes` are the scheduled
  // times (index 0 the start). The sampler returns false when no run is left.
  void Begin(std::vector<double> checkPointTimes, TSampler sampler, int intervalMs = 250);
  // Stops sampling and hides the bar.
  void End();
  // Stops sampling and shows `text` in place of the bar (the end of a run).
  void ShowNotice(const QString& text);
  // One sample now (the timer's work; tests call it directly).
  void Sample();

  QProgressBar* Bar() const { return FBar; }
  QString Text() const;

private:
  QProgressBar* FBar;
  QLabel* FLabel;
  QTimer* FTimer;
  TSampler FSampler;
  std::vector<double> FTimes;
  std::uint64_t FLastEvents = 0;
  qint64 FLastMs = 0;
  double FRate = 0.0;
};

} // namespace Shell
