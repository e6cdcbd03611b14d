#pragma once
// Records the message-log lines written while it is alive.

#include "params/uLogMessage.h"

#include <mutex>
#include <string>
#include <vector>

namespace TestSupport {

class TLogCapture : public Propagon::TLogSink {
public:
  TLogCapture();
  ~TLogCapture() override;
  void LogLine(const std::string& line) override;

  std::vector<std::string> Lines() const;
  bool Contains(const std::string& line) const;
  // Index of the first line equal to `line`, or -1.
  int IndexOf(const std::string& line) const;
  // True when some line starts with `prefix`.
  bool HasPrefix(const std::string& prefix) const;

private:
  mutable std::mutex FMutex;
  std::vector<std::string> FLines;
  Propagon::TLogSink* FPrevious;
};

} // namespace TestSupport
