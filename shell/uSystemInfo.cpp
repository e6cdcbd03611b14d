#include "shell/uSystemInfo.h"

#include "params/uNumberFormat.h"

#include <fstream>
#include <sstream>

namespace Shell {

TMemoryStatus ReadMemoryStatus(const std::string& meminfoFile) {
  TMemoryStatus status;
  std::ifstream in(meminfoFile);
  if (!in)
    return status;
  std::int64_t total = -1, available = -1, freeMem = -1, buffers = -1, cached = -1;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string key;
    std::int64_t kb = -1;
    if (!(fields >> key >> kb) || kb < 0)
      continue;
    if (key == "MemTotal:")
      total = kb;
    else if (key == "MemAvailable:")
      available = kb;
    else if (key == "MemFree:")
      freeMem = kb;
    else if (key == "Buffers:")
      buffers = kb;
    else if (key == "Cached:")
      cached = kb;
  }
  if (available < 0 && freeMem >= 0)
    available = freeMem + (buffers > 0 ? buffers : 0) + (cached > 0 ? cached : 0);
  if (total <= 0 || available < 0)
    return status;
  if (available > total)
    available = total;
  status.Valid = true;
  status.TotalPhys = total * 1024;
  status.AvailPhys = available * 1024;
  // Whole per cent of the memory in use, truncated as the system's own
  // memory-load figure is.
  status.MemoryLoad = static_cast<int>((total - available) * 100 / total);
  return status;
}

std::string FormatPhysicalMemory(std::int64_t totalPhysBytes) {
  return Propagon::FormatFloat("#,###\" KB\"", static_cast<double>(totalPhysBytes / 1024));
}

std::string FormatMemoryLoad(int memoryLoad) { return std::to_string(memoryLoad) + " %"; }

} // namespace Shell
