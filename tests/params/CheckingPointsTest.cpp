// The checking-points generator and the rules of the list's lines.

#include "params/uCheckingPoints.h"

#include "params/uErrors.h"
#include "params/uNumberFormat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

TEST(GenerateCheckingPoints, LinearSpreadsFromZeroToFinalIgnoringStart) {
  Propagon::TSeparatorGuard dot('.');
  // step = 100 / (5 - 1) = 25
  EXPECT_EQ(Params::GenerateCheckingPoints(Params::cdLinear, 5, "0", "100"),
            (Lines{"0.0000", "25.0000", "50.0000", "75.0000", "100.0000"}));
  // The starting value plays no part in a linear list.
  EXPECT_EQ(Params::GenerateCheckingPoints(Params::cdLinear, 5, "30", "100"),
            (Lines{"0.0000", "25.0000", "50.0000", "75.0000", "100.0000"}));
  // 1/3 rounded to six significant digits is 0.333333, shown with four decimals.
  EXPECT_EQ(Params::GenerateCheckingPoints(Params::cdLinear, 4, "", "1"),
            (Lines{"0.0000", "0.3333", "0.6667", "1.0000"}));
}

TEST(GenerateCheckingPoints, LogarithmicStartsWithZeroThenEvenInLogarithm) {
  Propagon::TSeparatorGuard dot('.');
  // d = (ln 100 - ln 1) / (4 - 2) = ln 10: 1, 10, 100 after the leading 0.
  EXPECT_EQ(Params::GenerateCheckingPoints(Params::cdLogarithmic, 4, "1", "100"),
            (Lines{"0.0000", "1.0000", "10.0000", "100.0000"}));
  // The example file's list: 41 points from 10 s to 21600 s; the second
  // value is 10 x (2160)^(1/39) = 12.17578..., rounded to six digits 12.1758.
  const Lines lines = Params::GenerateCheckingPoints(Params::cdLogarithmic, 41, "10", "21600");
  ASSERT_EQ(lines.size(), 41u);
  EXPECT_EQ(lines[2], "12.1758");
  EXPECT_EQ(lines[40], "21600.0000");
}

TEST(GenerateCheckingPoints, UserSeparatorAndScientificAboveAMillion) {
  Propagon::TSeparatorGuard comma(',');
  EXPECT_EQ(Params::GenerateCheckingPoints(Params::cdLinear, 2, "0", "2,5"), (Lines{"0,0000", "2,5000"}));
  // 2000000 has seven digits before the separator: general notation, six digits.
  EXPECT_EQ(Params::GenerateCheckingPoints(Params::cdLinear, 2, "0", "2000000")[1], "2E6");
}

std::string Failure(int distr, int n, const std::string& s, const std::string& f) {
  try {
    Params::GenerateCheckingPoints(distr, n, s, f);
  } catch (const Propagon::EPropagonError& e) {
    return e.FullText();
  }
  return "generated";
}

TEST(GenerateCheckingPoints, RefusesWhatLeavesTheStepUndefined) {
  Propagon::TSeparatorGuard dot('.');
  EXPECT_EQ(Failure(Params::cdLinear, 5, "0", "-1"), "EMathError\r\nNonNegative Value Required");
  EXPECT_EQ(Failure(Params::cdLogarithmic, 5, "-1", "10"), "EMathError\r\nNonNegative Value Required");
  EXPECT_EQ(Failure(Params::cdLinear, 5, "0", "1x"), "EConvertError\r\n'1x' is not a valid floating point value");
  EXPECT_EQ(Failure(Params::cdLinear, 1, "0", "100"),
            "EMathError\r\nLinear Time Scale Requires at least 2 Checking Points");
  EXPECT_EQ(Failure(Params::cdLogarithmic, 2, "1", "100"),
            "EMathError\r\nLogarithmic Time Scale Requires at least 3 Checking Points");
  EXPECT_EQ(Failure(Params::cdLogarithmic, 1, "1", "100"),
            "EMathError\r\nLogarithmic Time Scale Requires at least 3 Checking Points");
  EXPECT_EQ(Failure(Params::cdLogarithmic, 10, "0", "100"),
            "EMathError\r\nLogarithic distribution requires value > 0!");
  EXPECT_EQ(Failure(Params::cdLogarithmic, 10, "100", "1"),
            "EMathError\r\nFinal Value must not be Lower than the Starting Value");
}

TEST(CheckingPointsRules, LinesMustBeNonNegativeNumbers) {
  Propagon::TSeparatorGuard dot('.');
  EXPECT_EQ(Params::CheckingPointLineError("0"), "");
  EXPECT_EQ(Params::CheckingPointLineError("12.5"), "");
  EXPECT_EQ(Params::CheckingPointLineError("-3"), "EMathError\r\nNonNegative Value Required");
  EXPECT_EQ(Params::CheckingPointLineError("-"), "EConvertError\r\n'-' is not a valid floating point value");
  EXPECT_EQ(Params::CheckingPointsLimitMessage(), "Number of Check Points Exceeds 100");
}

TEST(CheckingPointsRules, OrderCheckNamesTheEarlierLine) {
  Propagon::TSeparatorGuard dot('.');
  // 5 < 10: the earlier line of the pair is line 2.
  EXPECT_EQ(Params::CheckingPointsOrderError({"0", "10", "5", "20"}),
            "Exception\r\nValue in Line 2 must be Lower than the Next Ones");
  EXPECT_EQ(Params::CheckingPointsOrderError({"0", "10", "10", "20"}), "");
  EXPECT_EQ(Params::CheckingPointsOrderError({}), "");
  EXPECT_EQ(Params::CheckingPointsOrderError({"0", "abc"}),
            "EConvertError\r\n'abc' is not a valid floating point value");
}

} // namespace
