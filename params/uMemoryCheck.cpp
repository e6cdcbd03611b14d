#include "params/uMemoryCheck.h"

#include "params/uLogMessage.h"
#include "params/uMessageReporter.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"
#include "params/uParamSetting.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>
#include <sys/sysinfo.h>
#include <sys/utsname.h>

namespace Params {

namespace {

std::mutex GSourceMutex;
std::function<std::int64_t()> GSource;
std::atomic<bool> GWow64Detected{false};

constexpr std::int64_t Max32BitProcessMemory = 2147483647;

namespace fs = std::filesystem;

// Limits from 2^60 bytes on mean "none" (cgroup v1 writes 2^63 rounded down to a page).
constexpr std::int64_t NoLimit = std::int64_t{1} << 60;

// The first number in a file; -1 when there is none ("max" included).
std::int64_t ReadNumber(const fs::path& file) {
  std::ifstream in(file);
  long long value = -1;
  if (!(in >> value))
    return -1;
  return static_cast<std::int64_t>(value);
}

// A "name value" line of memory.stat; 0 when absent.
std::int64_t ReadStat(const fs::path& file, const std::string& wanted) {
  std::ifstream in(file);
  std::string name;
  long long value = 0;
  while (in >> name >> value)
    if (name == wanted)
      return static_cast<std::int64_t>(value);
  return 0;
}

// What one cgroup folder still allows: its limit less its working set (use
// less the page cache that can be dropped); -1 when it sets no limit.
std::int64_t FolderAllows(const fs::path& folder, bool v2) {
  const std::int64_t limit = ReadNumber(folder / (v2 ? "memory.max" : "memory.limit_in_bytes"));
  if (limit < 0 || limit >= NoLimit)
    return -1;
  const std::int64_t usage = ReadNumber(folder / (v2 ? "memory.current" : "memory.usage_in_bytes"));
  const std::int64_t inactive = ReadStat(folder / "memory.stat", v2 ? "inactive_file" : "total_inactive_file");
  const std::int64_t used = std::max<std::int64_t>(0, usage - inactive);
  return std::max<std::int64_t>(0, limit - used);
}

// The tightest allowance along the cgroup path and its ancestors (every
// ancestor's limit applies too). Inside a container the path the kernel
// reports may not exist under the container's mount, whose root is then the
// container's own group: such levels are skipped.
std::int64_t PathAllows(const fs::path& base, const std::string& path, bool v2) {
  std::int64_t allows = -1;
  std::error_code ec;
  for (fs::path p = fs::path(path).relative_path();; p = p.parent_path()) {
    const fs::path folder = base / p;
    if (fs::is_directory(folder, ec)) {
      const std::int64_t here = FolderAllows(folder, v2);
      if (here >= 0 && (allows < 0 || here < allows))
        allows = here;
    }
    if (p.empty())
      break;
  }
  return allows;
}

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

std::int64_t CgroupAvailableMemory(const std::string& procSelfCgroup, const std::string& cgroupRoot) {
  const fs::path root = cgroupRoot;
  std::error_code ec;
  // cgroup v2 is mounted at the root, or at "unified" beside the v1 controllers.
  const fs::path unified = fs::exists(root / "cgroup.controllers", ec) ? root : root / "unified";
  std::int64_t allows = -1;
  std::istringstream lines(procSelfCgroup);
  for (std::string line; std::getline(lines, line);) {
    // hierarchy-id:controllers:path
    const std::size_t first = line.find(':');
    const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos)
      continue;
    const std::string id = line.substr(0, first);
    const std::string controllers = line.substr(first + 1, second - first - 1);
    const std::string path = line.substr(second + 1);
    std::int64_t here = -1;
    if (id == "0" && controllers.empty()) {
      here = PathAllows(unified, path, true);
    } else {
      std::istringstream names(controllers);
      for (std::string name; std::getline(names, name, ',');)
        if (name == "memory")
          here = PathAllows(root / "memory", path, false);
    }
    if (here >= 0 && (allows < 0 || here < allows))
      allows = here;
  }
  return allows;
}

std::int64_t AvailablePhysicalMemory() {
  std::lock_guard<std::mutex> lock(GSourceMutex);
  if (GSource)
    return GSource();
  std::int64_t available = SystemAvailableMemory();
  // Inside a container the group's limit, not the machine's free memory,
  // decides when the kernel ends the program.
  std::ifstream self("/proc/self/cgroup");
  std::stringstream text;
  text << self.rdbuf();
  const std::int64_t group = CgroupAvailableMemory(text.str(), "/sys/fs/cgroup");
  if (group >= 0 && group < available)
    available = group;
  return available;
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

std::int64_t EstimateRequiredMemoryOfFile(const TParameterFile& file) {
  // Numbers a run refuses (negative, beyond 32 bits) count as none here: the
  // run names them itself, which says more than a memory report would.
  const auto molecules = [&file](const char* key) {
    const std::int64_t n = file.ReadInt64(SimulationParametersSection, key, 0);
    return n < 0 || n > INT32_MAX ? 0 : n;
  };
  std::int64_t points = 0;
  while (file.ValueExists(CheckingPointsSection, std::to_string(points)))
    ++points;
  return EstimateRequiredMemory(file.ReadInteger(GeneralSection, "ProcessType", 0), molecules("InitiatorNumber"),
                                molecules("MonomerANumber"), molecules("MonomerBNumber"),
                                std::max<std::int64_t>(0, points - 1));
}

bool CheckRequiredMemory(const TParameterFile& file, TMessageReporter& reporter) {
  const double stored = file.ReadLocalFloat(SimulationParametersSection, "RequiredMemory");
  std::int64_t required = 0;
  if (stored >= 9.2e18)  // beyond any machine: too low whatever is free
    required = INT64_MAX;
  else if (stored > 0)
    required = static_cast<std::int64_t>(stored);  // truncates toward zero
  // A file edited after its validation (or by hand) may ask for far more than
  // it says: the molecule numbers it holds decide.
  const std::int64_t fresh = EstimateRequiredMemoryOfFile(file);
  if (fresh > required) {
    const auto kB = [](std::int64_t bytes) { return Propagon::FormatFloat("# ### ##0 kB", static_cast<double>(bytes / 1024)); };
    Propagon::LogMessage("The stored memory requirement (" + kB(required) +
                         ") is below the estimate from the molecule numbers of the file (" + kB(fresh) +
                         "); the estimate is checked");
    required = fresh;
  }
  return CheckMemory(required, reporter);
}

} // namespace Params
