#pragma once
// The message log of the program, seen from the Qt-free core.
//
// Every subsystem reports progress, warnings and most errors as lines of the
// message log. The core does not know where those lines go: the desktop
// program installs a sink that appends to the Messages tab, the command line
// one that prints, tests one that records. With no sink installed the lines
// are dropped.
//
// Thread safety: LogMessage may be called from the simulation thread; the
// sink is responsible for reaching the window thread. Installing or removing
// a sink is done on the main thread while no run is going.

#include <string>

namespace Propagon {

class TLogSink {
public:
  virtual ~TLogSink() = default;
  // Receives one line (it may itself contain "\r\n" line breaks).
  virtual void LogLine(const std::string& line) = 0;
};

// Appends one line to whatever log is installed (UTF-8 text).
void LogMessage(const std::string& line);

// Installs a sink (nullptr removes it) and returns the one it replaces.
TLogSink* SetLogSink(TLogSink* sink);

// Installs a sink for the lifetime of the guard and restores the previous one.
class TLogSinkGuard {
public:
  explicit TLogSinkGuard(TLogSink* sink) : FPrevious(SetLogSink(sink)) {}
  ~TLogSinkGuard() { SetLogSink(FPrevious); }
  TLogSinkGuard(const TLogSinkGuard&) = delete;
  TLogSinkGuard& operator=(const TLogSinkGuard&) = delete;

private:
  TLogSink* FPrevious;
};

} // namespace Propagon
