#include "params/uFileSizeLimit.h"

#include "params/uMessageReporter.h"

#include <cstdio>
#include <sys/stat.h>

namespace Params {

std::string ParameterFileSizeError(const std::string& fileName) {
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0 || static_cast<std::int64_t>(st.st_size) <= MaxParameterFileSize)
    return {};
  char size[64];
  std::snprintf(size, sizeof size, "%.1f MB (the limit is %lld MB)", static_cast<double>(st.st_size) / 1048576.0,
                static_cast<long long>(MaxParameterFileSize / 1048576));
  return "\"" + fileName + "\"\r\nis too large for a Parameters File: " + size;
}

bool CheckParameterFileSize(const std::string& fileName, TMessageReporter& reporter) {
  const std::string error = ParameterFileSizeError(fileName);
  if (error.empty())
    return true;
  reporter.ShowError(error);
  return false;
}

} // namespace Params
