#include "params/uErrors.h"
#include "params/uNumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace Propagon;

// Every test pins the separators: the machine's locale must not change results.
class NumberFormat : public ::testing::Test {
protected:
  TSeparatorGuard FGuard{'.', ','};
};

TEST_F(NumberFormat, MemoryReportPatternGroupsWithLiteralSpaces) {
  // 2147483647 bytes / 1024 = 2097151.999 -> integer part 2097151.
  EXPECT_EQ(FormatFloat("Available Memory: # ### ##0 kB", 2097151), "Available Memory: 2 097 151 kB");
  EXPECT_EQ(FormatFloat("# ### ##0 kB", 1234567), "1 234 567 kB");
  EXPECT_EQ(FormatFloat("# ### ##0 kB", 12), "12 kB");         // no leading separators
  EXPECT_EQ(FormatFloat("# ### ##0 kB", 0), "0 kB");           // the 0 placeholder always shows
  EXPECT_EQ(FormatFloat("# ### ##0 kB", 1234), "1 234 kB");
  // More digits than placeholders are grouped on the same way (24 GiB in kB).
  EXPECT_EQ(FormatFloat("# ### ##0 kB", 25165824000.0), "25 165 824 000 kB");
  // Too little memory: the remainder is negative, sign before the first digit.
  EXPECT_EQ(FormatFloat("Remained Memory: # ### ##0 kB", -1234), "Remained Memory: -1 234 kB");
}

TEST_F(NumberFormat, FixedDecimalPatterns) {
  EXPECT_EQ(FormatFloat("0.0000", 0.5), "0.5000");
  EXPECT_EQ(FormatFloat("0.0000", 18.0153), "18.0153");
  EXPECT_EQ(FormatFloat("0.000", 2.0 / 3.0), "0.667");
  EXPECT_EQ(FormatFloat("##0.00", 0.5), "0.50");
  EXPECT_EQ(FormatFloat("##0.00", 12345.678), "12345.68");  // surplus digits are kept
  // 10 g at density 0.9 is 11.1111... mL; "0.###" keeps three decimals at most.
  EXPECT_EQ(FormatFloat("0.###", 10.0 / 0.9), "11.111");
  EXPECT_EQ(FormatFloat("0.###", 11.0), "11");      // no needless separator
  EXPECT_EQ(FormatFloat("0.###", 2.5), "2.5");
  // Status line: "Time= 0.00s", "Conv= 0.000", "Mn= 0".
  EXPECT_EQ(FormatFloat("Time= 0.00s", 1.5), "Time= 1.50s");
  EXPECT_EQ(FormatFloat("Conv= 0.000", 0.12345), "Conv= 0.123");
  EXPECT_EQ(FormatFloat("Mn= 0", 2345.6), "Mn= 2346");
  EXPECT_EQ(FormatFloat("Mw = 0", 23456.4), "Mw = 23456");
  EXPECT_EQ(FormatFloat("[I] x 0.0", 250), "[I] x 250.0");
  EXPECT_EQ(FormatFloat("Broadening = 0.0000", 0.01), "Broadening = 0.0100");
}

TEST_F(NumberFormat, RoundingOfShownDigitsIsHalfAwayFromZeroOnTheDecimalText) {
  EXPECT_EQ(FormatFloat("0.00", 0.125), "0.13");   // 0.125 is exact in binary
  EXPECT_EQ(FormatFloat("0.00", -0.125), "-0.13");
  EXPECT_EQ(FormatFloat("0.00", 1.005), "1.00");   // 1.005 is 1.00499999999999989... as a double
  EXPECT_EQ(FormatFloat("0.00", 9.999), "10.00");  // carry into a new integer digit
  EXPECT_EQ(FormatFloat("0.00", -0.001), "0.00");  // no minus on a zero result
  EXPECT_EQ(FormatFloat("0", 0.5), "1");
}

TEST_F(NumberFormat, ThousandsSeparatorAndQuotedText) {
  EXPECT_EQ(FormatFloat("#,##0.###", 1234.5), "1,234.5");
  EXPECT_EQ(FormatFloat("#,##0.###", 0), "0");
  EXPECT_EQ(FormatFloat("#,##0.###", 1234567.12345), "1,234,567.123");
  EXPECT_EQ(FormatFloat("#,##0.0000", 0.25), "0.2500");
  // The About box: total physical memory in KB.
  EXPECT_EQ(FormatFloat("#,###\" KB\"", 16384000), "16,384,000 KB");
  TSeparatorGuard german(',', '.');
  EXPECT_EQ(FormatFloat("#,##0.###", 1234.5), "1.234,5");
}

TEST_F(NumberFormat, ScientificPatterns) {
  // Centre concentrations: 1.23E-4 with one decimal of mantissa.
  EXPECT_EQ(FormatFloat("0.0e-0", 0.000123), "1.2e-4");
  EXPECT_EQ(FormatFloat("0.0e-0", 12345), "1.2e4");
  EXPECT_EQ(FormatFloat("0.0e-0", 0), "0.0e0");
  EXPECT_EQ(FormatFloat("0.00E+00", 0.000123), "1.23E-04");
  EXPECT_EQ(FormatFloat("0.00E+00", 12345), "1.23E+04");
  EXPECT_EQ(FormatFloat("0.0e-0", 9.96), "1.0e1");  // rounding carries into the exponent
}

TEST_F(NumberFormat, AxisFormatPrefixesAndSections) {
  const std::string axis = "0.###############";
  EXPECT_EQ(FormatFloat(axis.substr(0, 3), 1234.56), "1234.6");     // range 1000 -> "0.#"
  EXPECT_EQ(FormatFloat(axis.substr(0, 4), 0.456), "0.46");         // range 1 -> "0.##"
  EXPECT_EQ(FormatFloat(axis.substr(0, 6), 0.012345), "0.0123");    // range 0.01 -> "0.####"
  EXPECT_EQ(FormatFloat("0.00;(0.00);zero", -1.5), "(1.50)");
  EXPECT_EQ(FormatFloat("0.00;(0.00);zero", 0), "zero");
  EXPECT_EQ(FormatFloat("", 0.5), "0.5");
}

TEST_F(NumberFormat, GeneralNotationOfParameterFiles) {
  // SimVolume of 1000 molecules at 0.01 mol/L: 1000 / 0.01 / 6.02214179E23 = 1.6605e-19 L.
  EXPECT_EQ(FormatGeneral(1000 / 0.01 / 6.02214179E23, 4), "1.661E-19");
  EXPECT_EQ(FloatToStr(0.01 / 1000), "1E-5");      // ScalingCoeff of the same example
  EXPECT_EQ(FloatToStr(0.5), "0.5");
  EXPECT_EQ(FloatToStr(0.00012), "0.00012");
  EXPECT_EQ(FloatToStr(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
  EXPECT_EQ(FloatToStr(1234567890123456.0), "1.23456789012346E15");
  EXPECT_EQ(FloatToStr(-2.5e-12), "-2.5E-12");
  EXPECT_EQ(FloatToStr(0), "0");
  EXPECT_EQ(FormatGeneral(0.0123456789, 8), "0.012345679");  // IniConc, 8 digits
  EXPECT_EQ(FloatToStr(std::nan("")), "NAN");
  EXPECT_EQ(FloatToStr(-INFINITY), "-INF");
  TSeparatorGuard comma(',');
  EXPECT_EQ(FloatToStr(1.5e-12), "1,5E-12");
}

TEST_F(NumberFormat, CheckPointTimesUseSixDigitsAndFourExponentDigits) {
  EXPECT_EQ(FormatCheckPointTime(0), "0");
  EXPECT_EQ(FormatCheckPointTime(123.456789), "123.457");
  EXPECT_EQ(FormatCheckPointTime(999999), "999999");
  EXPECT_EQ(FormatCheckPointTime(1234567), "1.23457E0006");   // seven integer digits
  EXPECT_EQ(FormatCheckPointTime(999999.7), "1E0006");         // rounds up to seven digits
  EXPECT_EQ(FormatCheckPointTime(0.00001), "0.00001");         // the smallest plain value
  EXPECT_EQ(FormatCheckPointTime(0.000001), "1E-0006");
}

TEST_F(NumberFormat, ChartDataNumbers) {
  EXPECT_EQ(FormatDataNumber(1234.5), "1234.5");
  EXPECT_EQ(FormatDataNumber(0.00012), "0.00012");
  EXPECT_EQ(FormatDataNumber(0.000012), "1.2E-5");
  EXPECT_EQ(FormatDataNumber(1.234567891E12), "1.234567891E12");  // 13 digits: scientific
  EXPECT_EQ(FormatDataNumber(1234567890), "1234567890");           // 10 digits: plain
  EXPECT_EQ(FormatDataNumber(1.0 / 3.0, 8), "0.33333333");
}

TEST_F(NumberFormat, FixedNotationOfGeneratedCheckPoints) {
  EXPECT_EQ(FormatFixed(123.456789, 6, 4), "123.4570");  // 6 digits 123.457, then 4 decimals
  EXPECT_EQ(FormatFixed(25, 6, 4), "25.0000");
  EXPECT_EQ(FormatFixed(0, 6, 4), "0.0000");
  EXPECT_EQ(FormatFixed(std::exp(std::log(100.0) / 2), 6, 4), "10.0000");  // 9.999999999999998
  EXPECT_EQ(FormatFixed(1234567, 6, 4), "1.23457E6");
  TSeparatorGuard comma(',');
  EXPECT_EQ(FormatFixed(0.5, 6, 4), "0,5000");
}

TEST_F(NumberFormat, RoundHalfEven) {
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(-3.5), -4);
  EXPECT_EQ(RoundHalfEven(2.4999999), 2);
  EXPECT_EQ(RoundHalfEven(2.5000001), 3);
  EXPECT_EQ(RoundHalfEven(2147483646.5), 2147483646);
  EXPECT_EQ(RoundHalfEven(1e30), INT64_MAX);
  EXPECT_EQ(RoundHalfEven(std::nan("")), 0);
}

TEST_F(NumberFormat, TextToRealConversion) {
  double v = 0;
  EXPECT_TRUE(TryStrToFloat("0.25", v));   EXPECT_EQ(v, 0.25);
  EXPECT_TRUE(TryStrToFloat(" -1.5E-12 ", v)); EXPECT_EQ(v, -1.5e-12);
  EXPECT_TRUE(TryStrToFloat(".5", v));     EXPECT_EQ(v, 0.5);
  EXPECT_TRUE(TryStrToFloat("5.", v));     EXPECT_EQ(v, 5.0);
  EXPECT_TRUE(TryStrToFloat("+7", v));     EXPECT_EQ(v, 7.0);
  EXPECT_TRUE(TryStrToFloat("1e-400", v)); EXPECT_EQ(v, 0.0);   // underflow reads as zero
  for (const char* bad : {"", " ", "0,25", "1.2.3", "1e", "1e+", "inf", "nan", "0x10", "1 000",
                          "1e400", "--1", "e5", "."})
    EXPECT_FALSE(TryStrToFloat(bad, v)) << bad;
  EXPECT_TRUE(TryStrToFloat("0,25", v, ','));
  EXPECT_EQ(v, 0.25);
  try {
    StrToFloat("abc");
    FAIL() << "no conversion error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.FullText(), "EConvertError\r\n'abc' is not a valid floating point value");
  }
}

TEST_F(NumberFormat, TextToIntegerConversion) {
  EXPECT_EQ(StrToInt("1000"), 1000);
  EXPECT_EQ(StrToInt("-5"), -5);
  EXPECT_EQ(StrToInt("0x1F"), 31);
  EXPECT_EQ(StrToInt("$10"), 16);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  std::int32_t i = 0;
  for (const char* bad : {"12.5", "", "2147483648", "1e3", "0x", "--1", "12a"})
    EXPECT_FALSE(TryStrToInt(bad, i)) << bad;
  try {
    StrToInt("12.5");
    FAIL() << "no conversion error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'12.5' is not a valid integer value");
  }
  std::int64_t big = 0;
  EXPECT_TRUE(TryStrToInt64("3221225472", big));  // 3 GiB does not fit 32 bits
  EXPECT_EQ(big, 3221225472LL);
}

TEST_F(NumberFormat, SeparatorAdaptationReplacesOnlyTheLastSeparator) {
  EXPECT_EQ(AdaptSeparator("0,25", '.'), "0.25");
  EXPECT_EQ(AdaptSeparator("0.25", '.'), "0.25");
  EXPECT_EQ(AdaptSeparator("0.25", ','), "0,25");
  EXPECT_EQ(AdaptSeparator("1.234,5", '.'), "1.234.5");  // not a number afterwards
  EXPECT_EQ(AdaptSeparator("1,5E-12", '.'), "1.5E-12");
  EXPECT_EQ(AdaptSeparator("100", '.'), "100");
}

TEST(NumberFormatLocale, InitReadsTheEnvironmentAndLeavesTheCLocaleAlone) {
  TSeparatorGuard guard('.', ',');
  // The test environment has no German locale installed necessarily; whatever it
  // has, the result is one of the two separators the readers understand.
  InitDecimalSeparator();
  EXPECT_TRUE(DecimalSeparator() == '.' || DecimalSeparator() == ',');
  EXPECT_NE(ThousandSeparator(), DecimalSeparator());
  double v = 0;
  EXPECT_TRUE(TryStrToFloat(std::string("2") + DecimalSeparator() + "5", v));
  EXPECT_EQ(v, 2.5);
}

} // namespace
