// The number-pattern formatter and the text conversions beside it.
//
// Layout: bytes 0-7 a double (any bit pattern, NaN and infinities included),
// byte 8 the precision and digits of the general and fixed notations, the
// rest the picture pattern and, read back, a number text.

#include "params/uNumberFormat.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9 || size > 1024)
    return -1;
  double value = 0.0;
  std::memcpy(&value, data, 8);
  const int precision = 1 + data[8] % 18;
  const int digits = data[8] / 18 % 14;
  const std::string_view text(reinterpret_cast<const char*>(data) + 9, size - 9);

  (void)Propagon::FormatFloat(text, value, '.', ',');
  (void)Propagon::FormatFloat(text, value, ',', '.');
  (void)Propagon::FormatGeneral(value, precision, digits % 5);
  (void)Propagon::FormatFixed(value, precision, digits);
  (void)Propagon::FormatCheckPointTime(value);
  (void)Propagon::FormatDataNumber(value, precision);
  (void)Propagon::RoundHalfEven(value);

  // A finite value written in 15-digit general notation reads back close to itself.
  if (std::isfinite(value) && std::fabs(value) < 1e300) {
    const std::string written = Propagon::FloatToStr(value);
    double back = 0.0;
    if (!Propagon::TryStrToFloat(written, back, '.'))
      std::abort();
    if (value != 0.0 && std::fabs(back - value) > 1e-13 * std::fabs(value))
      std::abort();
  }
  double parsed = 0.0;
  if (Propagon::TryStrToFloat(text, parsed, '.') && !std::isfinite(parsed))
    std::abort();
  std::int32_t integer = 0;
  (void)Propagon::TryStrToInt(text, integer);
  std::int64_t wide = 0;
  (void)Propagon::TryStrToInt64(text, wide);
  (void)Propagon::AdaptSeparator(text, ',');
  return 0;
}
