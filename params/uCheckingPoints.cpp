#include "params/uCheckingPoints.h"

#include "params/uErrors.h"
#include "params/uNumberFormat.h"
#include "params/uParamSetting.h"

#include <cmath>

namespace Params {

namespace {

bool Blank(const std::string& text) { return text.find_first_not_of(" \t\r") == std::string::npos; }

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos)
    return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

} // namespace

std::vector<std::string> GenerateCheckingPoints(int distr, int pointsNumber, const std::string& startText,
                                                const std::string& finalText) {
  const double s = FieldValue(startText, "Starting Value");
  const double f = FieldValue(finalText, "Final Value");
  if (f < 0 || s < 0)
    throw Propagon::EMathError("NonNegative Value Required");
  const int n = pointsNumber;
  std::vector<std::string> lines;
  if (distr == cdLogarithmic) {
    // ln 0 and a step over n - 2 intervals leave nothing defined below these.
    if (s <= 0)
      throw Propagon::EMathError("Logarithic distribution requires value > 0!");
    if (n < 3)
      throw Propagon::EMathError("Logarithmic Time Scale Requires at least 3 Checking Points");
    if (f < s)
      throw Propagon::EMathError("Final Value must not be Lower than the Starting Value");
    const double ls = std::log(s);
    const double lf = std::log(f);
    const double d = (lf - ls) / (n - 2);
    lines.push_back(Propagon::FormatFixed(0.0, 6, 4));
    for (int i = 1; i <= n - 1; ++i)
      lines.push_back(Propagon::FormatFixed(std::exp(ls + (i - 1) * d), 6, 4));
    return lines;
  }
  if (n < 2)
    throw Propagon::EMathError("Linear Time Scale Requires at least 2 Checking Points");
  const double step = f / (n - 1);
  for (int i = 0; i < n; ++i)
    lines.push_back(Propagon::FormatFixed(i * step, 6, 4));
  return lines;
}

std::string CheckingPointLineError(const std::string& line) {
  double value = 0.0;
  if (!Propagon::TryStrToFloat(line, value))
    return "EConvertError\r\n" + Propagon::InvalidFloatMessage(line);
  if (value < 0)
    return "EMathError\r\nNonNegative Value Required";
  return {};
}

std::string CheckingPointsLimitMessage() {
  return "Number of Check Points Exceeds " + std::to_string(MaxCheckPoints);
}

std::string CheckingPointsOrderError(const std::vector<std::string>& lines) {
  bool havePrevious = false;
  double previous = 0.0;
  int previousLine = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (Blank(lines[i]))
      continue;
    double value = 0.0;
    if (!Propagon::TryStrToFloat(Trimmed(lines[i]), value))
      return "EConvertError\r\n" + Propagon::InvalidFloatMessage(lines[i]);
    if (havePrevious && value < previous)
      return "Exception\r\nValue in Line " + std::to_string(previousLine) + " must be Lower than the Next Ones";
    havePrevious = true;
    previous = value;
    previousLine = static_cast<int>(i) + 1;
  }
  return {};
}

} // namespace Params
