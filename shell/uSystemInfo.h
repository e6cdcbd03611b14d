#pragma once
// Facts about the machine and the program file that the shell shows or uses:
// physical memory for the about box, the program's own folder.
//
// Qt-free.

#include <cstdint>
#include <string>

namespace Shell {

struct TMemoryStatus {
  bool Valid = false;
  std::int64_t TotalPhys = 0;     // bytes of physical memory
  std::int64_t AvailPhys = 0;     // bytes available to programs now
  int MemoryLoad = 0;             // per cent of the physical memory in use, 0..100
};

// Reads MemTotal and MemAvailable (kB) of a meminfo file. Kernels before 3.14
// have no MemAvailable; then MemFree + Buffers + Cached stands for it. An
// unreadable or malformed file gives Valid = false.
TMemoryStatus ReadMemoryStatus(const std::string& meminfoFile = "/proc/meminfo");

// The about box's lines: "#,###\" KB\"" of TotalPhys / 1024 with the locale's
// thousands separator, and "%d %%" of MemoryLoad.
std::string FormatPhysicalMemory(std::int64_t totalPhysBytes);
std::string FormatMemoryLoad(int memoryLoad);

} // namespace Shell
