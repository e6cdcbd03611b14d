#pragma once
// The largest parameter file the program opens.
//
// A parameter file of a few hundred megabytes is no description of a process
// anyone typed; reading it would take many times its size in memory and end
// in an allocation failure. Such a file is refused, with its size and the
// limit named, before a byte of it is read.

#include <cstdint>
#include <string>

namespace Params {

class TMessageReporter;

// 32 MB: a list of 10^6 check points as the editor writes it is about 19 MB.
inline constexpr std::int64_t MaxParameterFileSize = 32 * 1024 * 1024;

// "\"<file name>\"\r\nis too large for a Parameters File: 300.0 MB (the limit is 32 MB)",
// or empty when the file is within the limit (or absent: it reads as empty).
std::string ParameterFileSizeError(const std::string& fileName);

// Shows ParameterFileSizeError as an error box; true when the file may be read.
bool CheckParameterFileSize(const std::string& fileName, TMessageReporter& reporter);

} // namespace Params
