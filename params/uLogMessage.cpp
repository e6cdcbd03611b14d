#include "params/uLogMessage.h"

#include <atomic>

namespace Propagon {

namespace {
// Atomic so that a simulation thread logging while the main thread swaps the
// sink (only ever done between runs) never reads a torn pointer.
std::atomic<TLogSink*> GLogSink{nullptr};
} // namespace

void LogMessage(const std::string& line) {
  if (TLogSink* sink = GLogSink.load(std::memory_order_acquire))
    sink->LogLine(line);
}

TLogSink* SetLogSink(TLogSink* sink) {
  return GLogSink.exchange(sink, std::memory_order_acq_rel);
}

} // namespace Propagon
