#include "params/uParamFile.h"

#include "params/uFileSizeLimit.h"
#include "params/uMessageReporter.h"
#include "params/uNumberFormat.h"


namespace Params {

namespace {
bool IsBlank(const std::string& s) { return s.find_first_not_of(" \t") == std::string::npos; }
} // namespace

TParameterFile::TParameterFile(std::string fileName) : TIniFile(std::move(fileName)) {}

bool TParameterFile::CheckFileValid(TMessageReporter& reporter) const {
  if (!CheckParameterFileSize(FileName(), reporter))
    return false;
  const bool valid = ReadBool(FileValidSection, FileValidKey, false);
  if (!valid)
    reporter.ShowInformation("\"" + FileName() + "\"\r\nis not a Valid Parameters File!");
  return valid;
}

void TParameterFile::SetFileValid(bool valid) { WriteBool(FileValidSection, FileValidKey, valid); }

std::string TParameterFile::ReadLocalString(const std::string& section, const std::string& key) const {
  return Propagon::AdaptSeparator(ReadString(section, key, ""));
}

double TParameterFile::ReadLocalFloat(const std::string& section, const std::string& key) const {
  return Propagon::StrToFloat(ReadLocalString(section, key));
}

void TParameterFile::ReadCheckingPoints(std::vector<std::string>& lines) const {
  lines = ReadNumberedValues(CheckingPointsSection);
  for (std::string& line : lines)
    line = Propagon::AdaptSeparator(line);
}

void TParameterFile::ReadCheckingPointsArray(int& highIndex, std::vector<double>& values) const {
  std::vector<std::string> lines;
  ReadCheckingPoints(lines);
  highIndex = static_cast<int>(lines.size()) - 1;
  values.assign(lines.size(), 0.0);
  for (std::size_t n = 0; n < lines.size(); ++n)
    values[n] = Propagon::StrToFloat(lines[n]);
}

std::string TParameterFile::CheckingPointsListWarning() const {
  std::size_t count = 0;
  long long highest = -1;  // a numbered key beyond the first missing number means a gap
  CountNumberedKeys(CheckingPointsSection, count, highest);
  const std::string used = std::to_string(count) + (count == 1 ? " point" : " points");
  if (highest >= static_cast<long long>(count))
    return "Warning: the CheckingPoints list has a gap: key " + std::to_string(count) +
           " is missing, so keys up to " + std::to_string(highest) + " are not used; the run uses the first " +
           used;
  // The editor writes the points number beside the list; a list that stops
  // before it was cut.
  const std::int64_t written = ReadInt64(ControlsSection, "CheckingPointsNumber", 0);
  if (written > static_cast<std::int64_t>(count))
    return "Warning: the CheckingPoints list stops after " + used + ", but the file was written with " +
           std::to_string(written) + " (Controls/CheckingPointsNumber); the run uses the first " + used;
  return {};
}

void TParameterFile::WriteCheckingPoints(const std::vector<std::string>& lines) {
  BeginUpdate();
  try {
    EraseSection(CheckingPointsSection);
    int n = 0;
    for (const std::string& line : lines)
      if (!IsBlank(line))
        WriteString(CheckingPointsSection, std::to_string(n++), line);
    EndUpdate();
  } catch (...) {
    CancelUpdate();
    throw;
  }
}

} // namespace Params
