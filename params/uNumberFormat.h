#pragma once
// Number texts of the whole program: parameter files, log lines, the status
// line, chart labels and chart data.
//
// Reals are written with the decimal separator of the user's locale, read once
// at start-up (InitDecimalSeparator); tests and the command line may set it.
// The separator is kept in an atomic so the simulation thread may format log
// lines while the main thread is idle; it is only changed between runs.
//
// Rounding of shown digits: the value is first written with 17 significant
// digits (enough to identify any double) and that decimal text is rounded half
// away from zero, so 0.125 shown with two decimals is 0.13 and 1.005 (really
// 1.00499999999999989...) is 1.00. Molecule numbers are rounded half to even
// (RoundHalfEven), a different rule for a different purpose.

#include <cstdint>
#include <string>
#include <string_view>

namespace Propagon {

// ---- separators ---------------------------------------------------------

// The decimal separator used for writing and for converting texts ('.' until
// InitDecimalSeparator or SetDecimalSeparator says otherwise).
char DecimalSeparator();
// The separator that a ',' in a pattern stands for.
char ThousandSeparator();

// Reads the user's locale (LC_NUMERIC of the environment, as setlocale(…, "")
// sees it) and keeps its decimal and thousands separators. The global C locale
// is left as it was. A separator that is not a single byte falls back to '.'
// (decimal) or to ',' / '.' (thousands, whichever differs from the decimal one).
void InitDecimalSeparator();

void SetDecimalSeparator(char separator);
void SetThousandSeparator(char separator);

// Sets the separators for its lifetime and restores the previous ones (tests).
class TSeparatorGuard {
public:
  explicit TSeparatorGuard(char decimal, char thousand = 0);
  ~TSeparatorGuard();
  TSeparatorGuard(const TSeparatorGuard&) = delete;
  TSeparatorGuard& operator=(const TSeparatorGuard&) = delete;

private:
  char FDecimal;
  char FThousand;
};

// ---- rounding -----------------------------------------------------------

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
// Values outside the 64-bit range saturate; NaN gives 0. Callers that need the
// range checked check the double first.
std::int64_t RoundHalfEven(double value);

// ---- pattern formats ----------------------------------------------------

// Formats value with a picture pattern:
//   0  digit placeholder that always shows a digit
//   #  digit placeholder that shows a digit only when needed
//   .  the decimal separator (the first one; digits after it are decimals)
//   ,  anywhere in the integer part: group thousands with ThousandSeparator()
//   E+ E- e+ e-  scientific notation; the 0s after it give the least number of
//      exponent digits; "+" always writes the sign, "-" only a minus
//   "…" '…'  literal text
//   ;  separates sections for positive;negative;zero values
// Every other character is literal text. Characters between the digit
// placeholders of the integer part (as the spaces of "# ### ##0") are group
// separators: they are written only between digits, and a number with more
// digits than placeholders is grouped on in the same way (1234567 with
// "# ### ##0" is "1 234 567"). A value without a negative section gets a minus
// sign just before its first digit. An empty pattern gives FloatToStr(value).
// Examples: "0.0000" 0.5 -> "0.5000"; "0.###" 11.11111 -> "11.111";
// "Time= 0.00s" 1.5 -> "Time= 1.50s"; "0.0e-0" 0.000123 -> "1.2e-4".
std::string FormatFloat(std::string_view pattern, double value);
std::string FormatFloat(std::string_view pattern, double value, char decimalSeparator,
                        char thousandSeparator);

// ---- general notation ---------------------------------------------------

// General notation with `precision` significant digits: the shortest text of
// the value rounded to that many digits (no trailing zeros, no needless
// separator). Plain notation while the rounded value has at most `precision`
// digits before the separator and is 0 or not below 10^smallestPlainPower in
// magnitude; otherwise scientific: mantissa, "E", "-" for a negative exponent
// (no sign for a positive one), exponent with at least minExponentDigits digits.
// NaN and infinities give "NAN", "INF", "-INF".
std::string FormatGeneral(double value, int precision, int minExponentDigits = 0,
                          int smallestPlainPower = -4);
std::string FormatGeneral(double value, int precision, int minExponentDigits,
                          int smallestPlainPower, char decimalSeparator);

// 15-digit general notation: reals in parameter files (plain down to 0.0001,
// so 0.00012 -> "0.00012" and 0.00001 -> "1E-5").
std::string FloatToStr(double value);

// Check-point times in the log: 6 digits, exponent of at least 4 digits
// (123.456789 -> "123.457", 1234567 -> "1.23457E0006", 0.000001 -> "1E-0006").
std::string FormatCheckPointTime(double value);

// Numbers of chart data (copy and save): at most `precision` significant
// digits (10 for charts, 8 for the DP distribution), plain down to 0.0001
// (1234.5 -> "1234.5", 0.00012 -> "0.00012", 0.000012 -> "1.2E-5").
std::string FormatDataNumber(double value, int precision = 10);

// Fixed notation: rounded to `precision` significant digits, then written with
// exactly `digits` decimals (123.456789, 6, 4 -> "123.4570"); a value with more
// than `precision` digits before the separator is written in general notation
// with `precision` digits (1234567, 6, 4 -> "1.23457E6").
std::string FormatFixed(double value, int precision, int digits);

// ---- conversion from text -----------------------------------------------

// Converts a real written with `decimalSeparator`: optional blanks, optional
// sign, digits with at most one separator, optional exponent "E"/"e" with
// optional sign and digits, optional blanks. No thousands separators, no
// "INF"/"NAN". Returns false on anything else, on an empty text, and on a
// magnitude beyond double range.
bool TryStrToFloat(std::string_view text, double& value, char decimalSeparator);
bool TryStrToFloat(std::string_view text, double& value);  // DecimalSeparator()

// As TryStrToFloat; throws EConvertError "'%s' is not a valid floating point value".
double StrToFloat(std::string_view text);
double StrToFloat(std::string_view text, char decimalSeparator);

// Converts a 32-bit integer: optional blanks, optional sign, decimal digits or
// a hexadecimal number after "$" or "0x"; false on anything else or out of range.
bool TryStrToInt(std::string_view text, std::int32_t& value);
// As TryStrToInt; throws EConvertError "'%s' is not a valid integer value".
std::int32_t StrToInt(std::string_view text);
// 64-bit variant used for stored byte counts.
bool TryStrToInt64(std::string_view text, std::int64_t& value);

// Separator adaptation of the local readers: the last '.' or ',' of the text
// is replaced by `decimalSeparator`; every other character stays.
std::string AdaptSeparator(std::string_view text, char decimalSeparator);
std::string AdaptSeparator(std::string_view text);  // DecimalSeparator()

// The message of a failed real conversion: "'" + text + "' is not a valid floating point value".
std::string InvalidFloatMessage(std::string_view text);
std::string InvalidIntegerMessage(std::string_view text);

} // namespace Propagon
