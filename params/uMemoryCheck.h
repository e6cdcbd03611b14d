#pragma once
// Is there enough free physical memory for a parameter set?
//
// The chain store of a run is reserved in one go, so the parameter validation
// stores its memory estimate in the parameter file and asks CheckMemory; the
// main window asks again with the stored value when it opens the file
// (CheckRequiredMemory). The free memory is MemAvailable of /proc/meminfo, a
// 64-bit byte count (a 32-bit count would cap at 4 GB on current machines),
// or less when the program's control group (a container, a systemd slice)
// allows less: the kernel ends a program at the group's limit.

#include <cstdint>
#include <functional>
#include <string>

namespace Params {

class TMessageReporter;
class TParameterFile;

// Free physical memory in bytes as the system reports it now, within the
// control group's limit.
std::int64_t AvailablePhysicalMemory();

// What the control groups of this process still allow, in bytes: for every
// group named in `procSelfCgroup` (the text of /proc/self/cgroup) and its
// ancestors under `cgroupRoot` (/sys/fs/cgroup) that set a memory limit
// (cgroup v2 "memory.max", v1 "memory.limit_in_bytes"), the limit less the
// working set (usage less the inactive page cache); the smallest of them.
// -1 when no group sets a limit.
std::int64_t CgroupAvailableMemory(const std::string& procSelfCgroup, const std::string& cgroupRoot);

// Replaces the source of the free memory (tests); an empty function restores
// the system's. Not for use while a check runs on another thread.
void SetAvailableMemorySource(std::function<std::int64_t()> source);

// True when a 32-bit program runs on a 64-bit system (then only 2 GB can be
// used); always false in a 64-bit build. Logs "Detected Windows 64-bit" when true.
bool IsWow64();

// Set once at start-up by the main window from IsWow64(); caps the free memory
// at 2147483647 bytes while true.
bool Wow64Detected();
void SetWow64Detected(bool detected);

// The report text: "Available Memory: 1 234 kB", "Required Memory: ...",
// "Remained Memory: ..." (negative when too low) and, when too low, the two
// advice lines; lines joined by CR LF.
std::string MemoryReport(std::int64_t available, std::int64_t required);

// True when the memory is too low for `required` bytes. Logs the report in
// every case and shows it as a warning when too low.
bool CheckMemory(std::int64_t required, TMessageReporter& reporter);

// The estimate of validation (EstimateRequiredMemory) from what the file
// holds: its process type, the molecule numbers of "SimulationParameters"
// and its check points.
std::int64_t EstimateRequiredMemoryOfFile(const TParameterFile& file);

// CheckMemory of "RequiredMemory" in "SimulationParameters", read with
// ReadLocalFloat (a value of 2^31 bytes or more is read whole) and truncated to
// a 64-bit integer, or of EstimateRequiredMemoryOfFile when that is larger
// (logged). An absent or malformed value raises Propagon::EConvertError.
bool CheckRequiredMemory(const TParameterFile& file, TMessageReporter& reporter);

} // namespace Params
