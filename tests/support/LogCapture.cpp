#include "tests/support/LogCapture.h"

#include <algorithm>

namespace TestSupport {

TLogCapture::TLogCapture() : FPrevious(Propagon::SetLogSink(this)) {}

TLogCapture::~TLogCapture() { Propagon::SetLogSink(FPrevious); }

void TLogCapture::LogLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(FMutex);
  FLines.push_back(line);
}

std::vector<std::string> TLogCapture::Lines() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FLines;
}

bool TLogCapture::Contains(const std::string& line) const { return IndexOf(line) >= 0; }

int TLogCapture::IndexOf(const std::string& line) const {
  std::lock_guard<std::mutex> lock(FMutex);
  auto it = std::find(FLines.begin(), FLines.end(), line);
  return it == FLines.end() ? -1 : static_cast<int>(it - FLines.begin());
}

bool TLogCapture::HasPrefix(const std::string& prefix) const {
  std::lock_guard<std::mutex> lock(FMutex);
  return std::any_of(FLines.begin(), FLines.end(),
                     [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

} // namespace TestSupport
