#include "params/uNumberFormat.h"

#include "params/uErrors.h"

#include <atomic>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

namespace Propagon {

namespace {

std::atomic<char> GDecimalSeparator{'.'};
std::atomic<char> GThousandSeparator{','};

// A non-negative decimal number 0.d1d2d3... x 10^Exponent, Digits without
// leading or trailing zeros; an empty Digits is zero.
struct TDecimal {
  std::string Digits;
  int Exponent = 0;
  bool IsZero() const { return Digits.empty(); }
};

void TrimTrailingZeros(TDecimal& x) {
  while (!x.Digits.empty() && x.Digits.back() == '0')
    x.Digits.pop_back();
  if (x.Digits.empty())
    x.Exponent = 0;
}

// 17 significant digits identify every double, so rounding this text is
// rounding the value as the user sees it.
TDecimal ToDecimal(double magnitude) {
  TDecimal x;
  if (!(magnitude > 0.0))
    return x;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.16e", magnitude);  // d.dddddddddddddddde±XX
  std::string s(buf);
  const auto e = s.find('e');
  x.Digits = s.substr(0, 1) + s.substr(2, e - 2);
  x.Exponent = std::atoi(s.c_str() + e + 1) + 1;
  TrimTrailingZeros(x);
  return x;
}

// Keeps `count` significant digits, rounding half away from zero.
void RoundDigits(TDecimal& x, int count) {
  if (x.IsZero() || count >= static_cast<int>(x.Digits.size()))
    return;
  if (count < 0) {
    x.Digits.clear();
    x.Exponent = 0;
    return;
  }
  const bool up = x.Digits[static_cast<std::size_t>(count)] >= '5';
  x.Digits.resize(static_cast<std::size_t>(count));
  if (up) {
    int i = count - 1;
    while (i >= 0 && x.Digits[static_cast<std::size_t>(i)] == '9') {
      x.Digits[static_cast<std::size_t>(i)] = '0';
      --i;
    }
    if (i >= 0) {
      ++x.Digits[static_cast<std::size_t>(i)];
    } else {
      x.Digits.insert(x.Digits.begin(), '1');
      ++x.Exponent;
    }
  }
  TrimTrailingZeros(x);
}

// Digit at position p of 0.d1d2..., counted from the decimal point (p = 0 is d1).
char DigitAt(const TDecimal& x, int p) {
  if (p < 0 || p >= static_cast<int>(x.Digits.size()))
    return '0';
  return x.Digits[static_cast<std::size_t>(p)];
}

std::string ExponentText(int exponent, int minDigits, bool alwaysSign) {
  std::string digits = std::to_string(exponent < 0 ? -exponent : exponent);
  if (static_cast<int>(digits.size()) < minDigits)
    digits.insert(0, static_cast<std::size_t>(minDigits) - digits.size(), '0');
  if (exponent < 0)
    return "-" + digits;
  return alwaysSign ? "+" + digits : digits;
}

// Integer digits grouped from the right by `size` with `separator`.
std::string Group(const std::string& digits, std::size_t size, const std::string& separator) {
  if (size == 0 || separator.empty())
    return digits;
  std::string out;
  const std::size_t n = digits.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % size == 0)
      out += separator;
    out += digits[i];
  }
  return out;
}

// ---- picture patterns ----

enum class TTokenKind { Literal, Zero, Hash, Point, Comma, Exponent };

struct TToken {
  TTokenKind Kind;
  std::string Text;       // literal text, or the exponent letter
  bool ExpSign = false;   // "E+": always write the sign
  int ExpDigits = 0;      // least number of exponent digits
};

std::vector<std::string> SplitSections(std::string_view pattern) {
  std::vector<std::string> sections(1);
  char quote = 0;
  for (char c : pattern) {
    if (quote) {
      if (c == quote)
        quote = 0;
      sections.back() += c;
    } else if (c == '"' || c == '\'') {
      quote = c;
      sections.back() += c;
    } else if (c == ';') {
      sections.emplace_back();
    } else {
      sections.back() += c;
    }
  }
  return sections;
}

std::vector<TToken> Tokenize(const std::string& section) {
  std::vector<TToken> tokens;
  auto literal = [&](const std::string& text) {
    if (!tokens.empty() && tokens.back().Kind == TTokenKind::Literal)
      tokens.back().Text += text;
    else
      tokens.push_back({TTokenKind::Literal, text});
  };
  bool seenPoint = false;
  for (std::size_t i = 0; i < section.size(); ++i) {
    const char c = section[i];
    if (c == '"' || c == '\'') {
      const auto end = section.find(c, i + 1);
      const auto stop = end == std::string::npos ? section.size() : end;
      literal(section.substr(i + 1, stop - i - 1));
      i = stop;
    } else if (c == '0') {
      tokens.push_back({TTokenKind::Zero, {}});
    } else if (c == '#') {
      tokens.push_back({TTokenKind::Hash, {}});
    } else if (c == '.' && !seenPoint) {
      seenPoint = true;
      tokens.push_back({TTokenKind::Point, {}});
    } else if (c == ',') {
      tokens.push_back({TTokenKind::Comma, {}});
    } else if ((c == 'E' || c == 'e') && i + 1 < section.size() &&
               (section[i + 1] == '+' || section[i + 1] == '-')) {
      TToken t{TTokenKind::Exponent, std::string(1, c)};
      t.ExpSign = section[i + 1] == '+';
      i += 2;
      while (i < section.size() && section[i] == '0') {
        ++t.ExpDigits;
        ++i;
      }
      --i;
      tokens.push_back(t);
    } else {
      literal(std::string(1, c));
    }
  }
  return tokens;
}

bool IsDigitToken(const TToken& t) { return t.Kind == TTokenKind::Zero || t.Kind == TTokenKind::Hash; }

std::string FormatSection(const std::string& section, double magnitude, bool negative,
                          char decimalSeparator, char thousandSeparator) {
  const std::vector<TToken> tokens = Tokenize(section);

  // The number body runs from the first placeholder (or a point before it) to
  // the last placeholder or exponent; literals outside it are prefix and suffix.
  int first = -1, last = -1;
  for (int i = 0; i < static_cast<int>(tokens.size()); ++i) {
    const auto k = tokens[static_cast<std::size_t>(i)].Kind;
    if (IsDigitToken(tokens[static_cast<std::size_t>(i)]) || k == TTokenKind::Point ||
        k == TTokenKind::Exponent) {
      if (first < 0)
        first = i;
      last = i;
    }
  }
  std::string prefix, suffix;
  for (int i = 0; i < static_cast<int>(tokens.size()); ++i) {
    const TToken& t = tokens[static_cast<std::size_t>(i)];
    if (t.Kind != TTokenKind::Literal)
      continue;
    if (first < 0 || i < first)
      prefix += t.Text;
    else if (i > last)
      suffix += t.Text;
  }
  if (first < 0)
    return prefix;  // no digits at all: the text alone

  // Integer part: placeholders with the literals between them.
  std::vector<std::string> between;  // literal before each integer placeholder
  int intPlaces = 0, minIntDigits = 0;
  bool thousands = false, seenIntZero = false;
  std::size_t i = static_cast<std::size_t>(first);
  std::string pending;
  for (; i <= static_cast<std::size_t>(last); ++i) {
    const TToken& t = tokens[i];
    if (t.Kind == TTokenKind::Point || t.Kind == TTokenKind::Exponent)
      break;
    if (IsDigitToken(t)) {
      between.push_back(intPlaces == 0 ? std::string() : pending);
      pending.clear();
      ++intPlaces;
      if (t.Kind == TTokenKind::Zero)
        seenIntZero = true;
      if (seenIntZero)
        ++minIntDigits;
    } else if (t.Kind == TTokenKind::Comma) {
      thousands = true;
    } else if (t.Kind == TTokenKind::Literal && intPlaces > 0) {
      pending += t.Text;
    } else if (t.Kind == TTokenKind::Literal) {
      prefix += t.Text;  // between a quoted prefix and the first digit
    }
  }
  // Decimal part: placeholders, with literals kept in place.
  struct TDecItem {
    bool IsDigit;
    std::string Literal;
  };
  std::vector<TDecItem> decItems;
  int maxDec = 0, minDec = 0;
  const TToken* exponent = nullptr;
  if (i <= static_cast<std::size_t>(last) && tokens[i].Kind == TTokenKind::Point) {
    for (++i; i <= static_cast<std::size_t>(last); ++i) {
      const TToken& t = tokens[i];
      if (t.Kind == TTokenKind::Exponent)
        break;
      if (IsDigitToken(t)) {
        decItems.push_back({true, {}});
        ++maxDec;
        if (t.Kind == TTokenKind::Zero)
          minDec = maxDec;
      } else if (t.Kind == TTokenKind::Literal) {
        decItems.push_back({false, t.Text});
      }
    }
  }
  if (i <= static_cast<std::size_t>(last) && tokens[i].Kind == TTokenKind::Exponent)
    exponent = &tokens[i];
  // Literals between the exponent and the last token belong to the suffix.
  std::string exponentTail;
  if (exponent)
    for (++i; i <= static_cast<std::size_t>(last); ++i)
      if (tokens[i].Kind == TTokenKind::Literal)
        exponentTail += tokens[i].Text;

  TDecimal x = ToDecimal(magnitude);
  std::string intDigits, expText;
  if (exponent) {
    const int mantInt = intPlaces > 0 ? intPlaces : 1;
    RoundDigits(x, mantInt + maxDec);
    const int shown = x.IsZero() ? 0 : x.Exponent - mantInt;
    for (int p = 0; p < mantInt; ++p)
      intDigits += DigitAt(x, p);
    x.Exponent = mantInt;  // the decimals follow the mantissa's integer digits
    expText = exponent->Text + ExponentText(shown, exponent->ExpDigits, exponent->ExpSign);
  } else {
    RoundDigits(x, x.Exponent + maxDec);
    for (int p = 0; p < x.Exponent; ++p)
      intDigits += DigitAt(x, p);
  }
  if (static_cast<int>(intDigits.size()) < minIntDigits)
    intDigits.insert(0, static_cast<std::size_t>(minIntDigits) - intDigits.size(), '0');

  std::string decDigits;
  for (int p = 0; p < maxDec; ++p)
    decDigits += DigitAt(x, x.Exponent + p);
  while (static_cast<int>(decDigits.size()) > minDec && decDigits.back() == '0')
    decDigits.pop_back();

  const bool showMinus = negative && !x.IsZero();

  // Integer digits laid into the placeholders.
  std::string intText;
  bool uniform = true;
  std::string groupSep;
  std::size_t groupSize = 0;
  for (std::size_t p = 1; p < between.size(); ++p) {
    if (between[p].empty())
      continue;
    if (groupSep.empty())
      groupSep = between[p];
    else if (between[p] != groupSep)
      uniform = false;
    groupSize = between.size() - p;
  }
  if (thousands) {
    intText = Group(intDigits, 3, std::string(1, thousandSeparator));
  } else if (groupSep.empty()) {
    intText = intDigits;
  } else if (uniform) {
    intText = Group(intDigits, groupSize, groupSep);
  } else {
    // Irregular literals stay at their places; surplus digits go to the first placeholder.
    const int n = static_cast<int>(intDigits.size());
    const int shift = n - intPlaces;  // > 0: extra digits
    bool emitted = false;
    for (int p = 0; p < intPlaces; ++p) {
      std::string here;
      if (p == 0 && shift > 0)
        here = intDigits.substr(0, static_cast<std::size_t>(shift) + 1);
      else {
        const int index = p + shift;
        if (index >= 0)
          here = std::string(1, intDigits[static_cast<std::size_t>(index)]);
      }
      if (!here.empty()) {
        if (emitted)
          intText += between[static_cast<std::size_t>(p)];
        intText += here;
        emitted = true;
      }
    }
  }

  std::string out = prefix;
  if (showMinus)
    out += '-';
  out += intText;
  if (!decDigits.empty()) {
    out += decimalSeparator;
    std::size_t used = 0;
    for (const TDecItem& item : decItems) {
      if (used >= decDigits.size())
        break;
      if (item.IsDigit)
        out += decDigits[used++];
      else
        out += item.Literal;
    }
  }
  out += expText;
  out += exponentTail;
  out += suffix;
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

// ---- separators ---------------------------------------------------------

char DecimalSeparator() { return GDecimalSeparator.load(std::memory_order_relaxed); }
char ThousandSeparator() { return GThousandSeparator.load(std::memory_order_relaxed); }
void SetDecimalSeparator(char separator) { GDecimalSeparator.store(separator, std::memory_order_relaxed); }
void SetThousandSeparator(char separator) { GThousandSeparator.store(separator, std::memory_order_relaxed); }

void InitDecimalSeparator() {
  const char* current = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = current ? current : "C";
  char decimal = '.', thousand = 0;
  if (std::setlocale(LC_NUMERIC, "")) {
    const std::lconv* lc = std::localeconv();
    if (lc && lc->decimal_point && std::char_traits<char>::length(lc->decimal_point) == 1)
      decimal = lc->decimal_point[0];
    if (lc && lc->thousands_sep && std::char_traits<char>::length(lc->thousands_sep) == 1)
      thousand = lc->thousands_sep[0];
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
  if (decimal != '.' && decimal != ',')
    decimal = '.';  // only these two are understood by the readers of other users' files
  if (thousand == 0 || thousand == decimal)
    thousand = decimal == ',' ? '.' : ',';
  SetDecimalSeparator(decimal);
  SetThousandSeparator(thousand);
}

TSeparatorGuard::TSeparatorGuard(char decimal, char thousand)
    : FDecimal(DecimalSeparator()), FThousand(ThousandSeparator()) {
  SetDecimalSeparator(decimal);
  if (thousand)
    SetThousandSeparator(thousand);
}

TSeparatorGuard::~TSeparatorGuard() {
  SetDecimalSeparator(FDecimal);
  SetThousandSeparator(FThousand);
}

// ---- rounding -----------------------------------------------------------

std::int64_t RoundHalfEven(double value) {
  if (std::isnan(value))
    return 0;
  if (value >= 9223372036854775807.0)
    return std::numeric_limits<std::int64_t>::max();
  if (value <= -9223372036854775808.0)
    return std::numeric_limits<std::int64_t>::min();
  const double floorValue = std::floor(value);
  const double diff = value - floorValue;  // exact for doubles
  auto result = static_cast<std::int64_t>(floorValue);
  if (diff > 0.5 || (diff == 0.5 && (result % 2 != 0)))
    ++result;
  return result;
}

// ---- pattern formats ----------------------------------------------------

std::string FormatFloat(std::string_view pattern, double value) {
  return FormatFloat(pattern, value, DecimalSeparator(), ThousandSeparator());
}

std::string FormatFloat(std::string_view pattern, double value, char decimalSeparator,
                        char thousandSeparator) {
  if (pattern.empty())
    return FormatGeneral(value, 15, 0, -4, decimalSeparator);
  if (std::isnan(value))
    return "NAN";
  if (std::isinf(value))
    return value > 0 ? "INF" : "-INF";
  const std::vector<std::string> sections = SplitSections(pattern);
  std::string section = sections[0];
  bool negative = value < 0;
  if (value < 0 && sections.size() >= 2 && !sections[1].empty()) {
    section = sections[1];
    negative = false;  // the negative section writes its own sign
  } else if (value == 0 && sections.size() >= 3 && !sections[2].empty()) {
    section = sections[2];
  }
  return FormatSection(section, std::fabs(value), negative, decimalSeparator, thousandSeparator);
}

// ---- general notation ---------------------------------------------------

std::string FormatGeneral(double value, int precision, int minExponentDigits, int smallestPlainPower) {
  return FormatGeneral(value, precision, minExponentDigits, smallestPlainPower, DecimalSeparator());
}

std::string FormatGeneral(double value, int precision, int minExponentDigits, int smallestPlainPower,
                          char decimalSeparator) {
  if (std::isnan(value))
    return "NAN";
  if (std::isinf(value))
    return value > 0 ? "INF" : "-INF";
  if (precision < 1)
    precision = 1;
  TDecimal x = ToDecimal(std::fabs(value));
  RoundDigits(x, precision);
  if (x.IsZero())
    return "0";
  std::string out = value < 0 ? "-" : "";
  // 0.d x 10^E is at least 10^k exactly when E >= k + 1.
  const bool plain = x.Exponent <= precision && x.Exponent >= smallestPlainPower + 1;
  if (plain) {
    if (x.Exponent <= 0) {
      out += '0';
      out += decimalSeparator;
      out.append(static_cast<std::size_t>(-x.Exponent), '0');
      out += x.Digits;
    } else {
      for (int p = 0; p < x.Exponent; ++p)
        out += DigitAt(x, p);
      if (static_cast<int>(x.Digits.size()) > x.Exponent) {
        out += decimalSeparator;
        out += x.Digits.substr(static_cast<std::size_t>(x.Exponent));
      }
    }
  } else {
    out += x.Digits[0];
    if (x.Digits.size() > 1) {
      out += decimalSeparator;
      out += x.Digits.substr(1);
    }
    out += 'E';
    out += ExponentText(x.Exponent - 1, minExponentDigits, false);
  }
  return out;
}

std::string FloatToStr(double value) { return FormatGeneral(value, 15); }

std::string FormatCheckPointTime(double value) { return FormatGeneral(value, 6, 4, -5); }

std::string FormatDataNumber(double value, int precision) { return FormatGeneral(value, precision, 0, -4); }

std::string FormatFixed(double value, int precision, int digits) {
  if (std::isnan(value) || std::isinf(value))
    return FormatGeneral(value, precision);
  TDecimal x = ToDecimal(std::fabs(value));
  RoundDigits(x, precision);
  if (x.Exponent > precision)
    return FormatGeneral(value, precision, 0, -330);
  RoundDigits(x, x.Exponent + digits);
  std::string out = (value < 0 && !x.IsZero()) ? "-" : "";
  if (x.Exponent <= 0)
    out += '0';
  for (int p = 0; p < x.Exponent; ++p)
    out += DigitAt(x, p);
  if (digits > 0) {
    out += DecimalSeparator();
    for (int p = 0; p < digits; ++p)
      out += DigitAt(x, x.Exponent + p);
  }
  return out;
}

// ---- conversion from text -----------------------------------------------

bool TryStrToFloat(std::string_view text, double& value, char decimalSeparator) {
  std::string_view s = Trim(text);
  std::string normal;
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    if (s[i] == '-')
      normal += '-';
    ++i;
  }
  int mantissaDigits = 0, leadingIntDigits = 0;
  bool significant = false;
  for (; i < s.size() && IsDigit(s[i]); ++i) {
    normal += s[i];
    ++mantissaDigits;
    if (s[i] != '0')
      significant = true;
    if (significant)
      ++leadingIntDigits;
  }
  if (i < s.size() && s[i] == decimalSeparator) {
    normal += '.';
    for (++i; i < s.size() && IsDigit(s[i]); ++i) {
      normal += s[i];
      ++mantissaDigits;
    }
  }
  if (mantissaDigits == 0)
    return false;
  long exponent = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    normal += 'e';
    ++i;
    bool negExp = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
      negExp = s[i] == '-';
      if (negExp)
        normal += '-';
      ++i;
    }
    int expDigits = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i) {
      normal += s[i];
      ++expDigits;
      if (exponent < 100000)
        exponent = exponent * 10 + (s[i] - '0');
    }
    if (expDigits == 0)
      return false;
    if (negExp)
      exponent = -exponent;
  }
  if (i != s.size())
    return false;
  double result = 0.0;
  const auto [ptr, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), result);
  if (ec == std::errc::result_out_of_range) {
    // Too small to represent reads as zero; too large is not a number we can hold.
    if (leadingIntDigits + exponent < 0) {
      value = 0.0;
      return true;
    }
    return false;
  }
  if (ec != std::errc() || ptr != normal.data() + normal.size() || !std::isfinite(result))
    return false;
  value = result;
  return true;
}

bool TryStrToFloat(std::string_view text, double& value) {
  return TryStrToFloat(text, value, DecimalSeparator());
}

namespace {
// Built by appending: GCC 12 at -O3 reports a false -Wrestrict overlap for
// "literal" + std::string, which would break warnings-as-errors builds.
std::string QuotedValueMessage(std::string_view text, std::string_view tail) {
  std::string message;
  message.reserve(text.size() + tail.size() + 2);
  message.push_back('\'');
  message.append(text);
  message.push_back('\'');
  message.append(tail);
  return message;
}
} // namespace

std::string InvalidFloatMessage(std::string_view text) {
  return QuotedValueMessage(text, " is not a valid floating point value");
}

std::string InvalidIntegerMessage(std::string_view text) {
  return QuotedValueMessage(text, " is not a valid integer value");
}

double StrToFloat(std::string_view text) { return StrToFloat(text, DecimalSeparator()); }

double StrToFloat(std::string_view text, char decimalSeparator) {
  double value = 0.0;
  if (!TryStrToFloat(text, value, decimalSeparator))
    throw EConvertError(InvalidFloatMessage(text));
  return value;
}

bool TryStrToInt64(std::string_view text, std::int64_t& value) {
  std::string_view s = Trim(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s.front() == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty() || s.front() == '+' || s.front() == '-')
    return false;
  std::uint64_t magnitude = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
  if (ec != std::errc() || ptr != s.data() + s.size())
    return false;
  if (negative) {
    if (magnitude > 9223372036854775808ULL)
      return false;
    value = magnitude == 9223372036854775808ULL ? std::numeric_limits<std::int64_t>::min()
                                                : -static_cast<std::int64_t>(magnitude);
  } else {
    if (magnitude > 9223372036854775807ULL)
      return false;
    value = static_cast<std::int64_t>(magnitude);
  }
  return true;
}

bool TryStrToInt(std::string_view text, std::int32_t& value) {
  std::int64_t wide = 0;
  if (!TryStrToInt64(text, wide) || wide < std::numeric_limits<std::int32_t>::min() ||
      wide > std::numeric_limits<std::int32_t>::max())
    return false;
  value = static_cast<std::int32_t>(wide);
  return true;
}

std::int32_t StrToInt(std::string_view text) {
  std::int32_t value = 0;
  if (!TryStrToInt(text, value))
    throw EConvertError(InvalidIntegerMessage(text));
  return value;
}

std::string AdaptSeparator(std::string_view text, char decimalSeparator) {
  std::string out(text);
  const auto pos = out.find_last_of(".,");
  if (pos != std::string::npos)
    out[pos] = decimalSeparator;
  return out;
}

std::string AdaptSeparator(std::string_view text) { return AdaptSeparator(text, DecimalSeparator()); }

} // namespace Propagon
