#pragma once
// Helpers shared by the fuzz targets: a scratch file per process for the
// readers that take a file name, and a message reporter that only counts.

#include "params/uMessageReporter.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <unistd.h>

namespace FuzzSupport {

// A file in the temporary folder that belongs to this process; each call
// replaces its contents with `data`.
inline std::string WriteScratchFile(const char* stem, const std::uint8_t* data, std::size_t size,
                                    const char* suffix = ".kpx") {
  const char* dir = std::getenv("TMPDIR");
  std::string path = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/propagon-fuzz-" +
                     stem + "-" + std::to_string(::getpid()) + suffix;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

// Answers every question with "No" and keeps nothing.
class TQuietReporter : public Params::TMessageReporter {
public:
  void ShowInformation(const std::string&) override { ++Messages; }
  void ShowWarning(const std::string&) override { ++Messages; }
  void ShowError(const std::string&) override { ++Messages; }
  bool AskConfirmation(const std::string&) override {
    ++Messages;
    return false;
  }
  std::size_t Messages = 0;
};

} // namespace FuzzSupport
