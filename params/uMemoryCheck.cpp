#include "params/uMemoryCheck.h"

#include "params/uLogMessage.h"
#include "params/uMessageReporter.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"

#include <atomic>
#include <climits>
#include <cmath>
#include <fstream>
#include <mutex>
#include <sstream>
#include <sys/sysinfo.h>
#include <sys/utsname.h>

namespace Params {

namespace {

std::mutex GSourceMutex;
std::function<std::int64_t()> GSource;
std::atomic<bool> GWow64Detected{false};

constexpr std::int64_t Max32BitProcessMemory = 2147483647;

std::int64_t SystemAvailableMemory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string line;
  std::int64_t memFree = -1, buffers = 0, cached = 0;
  while (std::getline(meminfo, line)) {
    std::istringstream fields(line);
    std::string name;
    std::int64_t kB = 0;
    if (!(fields >> name >> kB))
      continue;
    if (name == "MemAvailable:")
      return kB * 1024;
    if (name == "MemFree:")
      memFree = kB;
    else if (name == "Buffers:")
      buffers = kB;
    else if (name == "Cached:")
      cached = kB;
  }
  // Kernels before 3.14 have no MemAvailable: free plus reclaimable caches.
  if (memFree >= 0)
    return (memFree + buffers + cached) * 1024;
  struct sysinfo info {};
  if (::sysinfo(&info) == 0)
    return static_cast<std::int64_t>(info.freeram + info.bufferram) * info.mem_unit;
  return 0;
}

} // namespace

std::int64_t AvailablePhysicalMemory() {
  std::lock_guard<std::mutex> lock(GSourceMutex);
  return GSource ? GSource() : SystemAvailableMemory();
}

void SetAvailableMemorySource(std::function<std::int64_t()> source) {
  std::lock_guard<std::mutex> lock(GSourceMutex);
  GSource = std::move(source);
}

bool IsWow64() {
  if constexpr (sizeof(void*) >= 8) {
    return false;
  } else {
    struct utsname name {};
    if (::uname(&name) != 0)
      return false;
    const std::string machine = name.machine;
    const bool wow64 = machine == "x86_64" || machine == "aarch64" || machine == "ppc64le" || machine == "s390x";
    if (wow64)
      Propagon::LogMessage("Detected Windows 64-bit");
    return wow64;
  }
}

bool Wow64Detected() { return GWow64Detected.load(std::memory_order_relaxed); }
void SetWow64Detected(bool detected) { GWow64Detected.store(detected, std::memory_order_relaxed); }

std::string MemoryReport(std::int64_t available, std::int64_t required) {
  const auto kB = [](std::int64_t bytes) { return static_cast<double>(bytes / 1024); };  // truncates toward zero
  std::int64_t remained = 0;
  if (__builtin_sub_overflow(available, required, &remained))
    remained = required > 0 ? INT64_MIN : INT64_MAX;
  std::string text = Propagon::FormatFloat("Available Memory: # ### ##0 kB", kB(available)) + "\r\n" +
                     Propagon::FormatFloat("Required Memory: # ### ##0 kB", kB(required)) + "\r\n" +
                     "Remained Memory: " + Propagon::FormatFloat("# ### ##0 kB", kB(remained));
  if (available < required)
    text += "\r\nTo Low Memory for the Specified Set of Parameters!\r\nTry to Adjust Parameters or Close Some Programs!";
  return text;
}

bool CheckMemory(std::int64_t required, TMessageReporter& reporter) {
  std::int64_t available = AvailablePhysicalMemory();
  if (Wow64Detected() && available > Max32BitProcessMemory)
    available = Max32BitProcessMemory;
  const bool tooLow = available < required;
  const std::string text = MemoryReport(available, required);
  if (tooLow)
    reporter.ShowWarning(text);
  Propagon::LogMessage(text);
  return tooLow;
}

bool CheckRequiredMemory(const TParameterFile& file, TMessageReporter& reporter) {
  const double stored = file.ReadLocalFloat(SimulationParametersSection, "RequiredMemory");
  std::int64_t required = 0;
  if (stored >= 9.2e18)  // beyond any machine: too low whatever is free
    required = INT64_MAX;
  else if (stored > 0)
    required = static_cast<std::int64_t>(stored);  // truncates toward zero
  return CheckMemory(required, reporter);
}

} // namespace Params
