// The checking-points parser: the generator's fields, the per-line check and
// the order check of the list, all from one input split into lines.
//
// Layout: byte 0 picks the distribution, byte 1 the points number; the rest
// is text, its first two lines the Starting and Final Value fields and all of
// it the list's lines.

#include "params/uCheckingPoints.h"
#include "params/uErrors.h"
#include "params/uNumberFormat.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > 8192)
    return -1;
  const int distr = data[0] & 1;
  const int points = int(data[1]) - 8; // also a few negative and zero counts
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t k = 2; k < size; ++k) {
    const char c = char(data[k]);
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line.push_back(c);
    }
  }
  lines.push_back(line);
  try {
    const std::vector<std::string> made =
        Params::GenerateCheckingPoints(distr, points, lines[0], lines.size() > 1 ? lines[1] : "");
    if (int(made.size()) != points)
      std::abort();
    // What the generator writes, the list accepts.
    for (const std::string& value : made)
      if (!Params::CheckingPointLineError(value).empty())
        std::abort();
    if (!Params::CheckingPointsOrderError(made).empty())
      std::abort();
  } catch (const Propagon::EConvertError&) {
  } catch (const Propagon::EMathError&) {
  }
  for (const std::string& value : lines)
    (void)Params::CheckingPointLineError(value);
  (void)Params::CheckingPointsOrderError(lines);
  return 0;
}
