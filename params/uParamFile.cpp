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
  lines.clear();
  for (int n = 0; ValueExists(CheckingPointsSection, std::to_string(n)); ++n)
    lines.push_back(ReadLocalString(CheckingPointsSection, std::to_string(n)));
}

void TParameterFile::ReadCheckingPointsArray(int& highIndex, std::vector<double>& values) const {
  int count = 0;
  while (ValueExists(CheckingPointsSection, std::to_string(count)))
    ++count;
  highIndex = count - 1;
  values.assign(static_cast<std::size_t>(count), 0.0);
  for (int n = 0; n < count; ++n)
    values[static_cast<std::size_t>(n)] = ReadLocalFloat(CheckingPointsSection, std::to_string(n));
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
