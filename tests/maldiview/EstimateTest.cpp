// The estimate of the settings dialog, the unit limit n, the cation text and
// the temporary folder.

#include "maldiview/uMALDISpectrum.h"
#include "params/uNumberFormat.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

using namespace MaldiView;

TEST(MaldiEstimate, SpeciesAndTimePerProcessType) {
  // Upper limit 2000, MA = 100, MB = 104: m = 100, k = trunc(2000/100) + 1 = 21,
  // k^2 = 441 patterns per table; x 0.0005 s: 0.2205, 0.6615 (x3), 0.882 (x4).
  struct TCase {
    int Type;
    std::int64_t Species;
    const char* Text;
  };
  const TCase cases[] = {
      {0, 441, "Number of Species = 441\r\nApprox. Preparation Time = 0.2s"},
      {1, 1323, "Number of Species = 1323\r\nApprox. Preparation Time = 0.7s"},
      {2, 1764, "Number of Species = 1764\r\nApprox. Preparation Time = 0.9s"},
      {3, 441, "Number of Species = 441\r\nApprox. Preparation Time = 0.2s"},
  };
  for (const TCase& c : cases) {
    TPreparationEstimate estimate;
    ASSERT_TRUE(EstimatePreparation(2000.0, 100.0, 104.0, c.Type, estimate)) << c.Type;
    EXPECT_EQ(estimate.Species, c.Species) << c.Type;
    EXPECT_EQ(estimate.Text, c.Text) << c.Type;
    EXPECT_EQ(estimate.Level, TEstimateLevel::Normal) << c.Type;
  }
  // The smaller mass decides whichever monomer it belongs to.
  TPreparationEstimate swapped;
  ASSERT_TRUE(EstimatePreparation(2000.0, 104.0, 100.0, 0, swapped));
  EXPECT_EQ(swapped.Species, 441);
}

TEST(MaldiEstimate, ColourThresholdsAreStrict) {
  EXPECT_EQ(EstimateLevel(10.0), TEstimateLevel::Normal);
  EXPECT_EQ(EstimateLevel(10.1), TEstimateLevel::Long);
  EXPECT_EQ(EstimateLevel(60.0), TEstimateLevel::Long);
  EXPECT_EQ(EstimateLevel(60.5), TEstimateLevel::VeryLong);
  // Through the estimate: m = 100, upper 14100 -> k = 142, 4 x 142^2 = 80656
  // species = 40.3 s (yellow); upper 100000 -> k = 1001, 1002001 x 0.0005 = 501 s (red).
  TPreparationEstimate estimate;
  ASSERT_TRUE(EstimatePreparation(14100.0, 100.0, 100.0, 2, estimate));
  EXPECT_EQ(estimate.Species, 80656);
  EXPECT_EQ(estimate.Level, TEstimateLevel::Long);
  ASSERT_TRUE(EstimatePreparation(100000.0, 100.0, 100.0, 0, estimate));
  EXPECT_EQ(estimate.Species, 1002001);
  EXPECT_EQ(estimate.Level, TEstimateLevel::VeryLong);
}

TEST(MaldiEstimate, UsesTheLocaleSeparatorAndRefusesNonsense) {
  const Propagon::TSeparatorGuard comma(',');
  TPreparationEstimate estimate;
  ASSERT_TRUE(EstimatePreparation(2000.0, 100.0, 104.0, 1, estimate));
  EXPECT_EQ(estimate.Text, "Number of Species = 1323\r\nApprox. Preparation Time = 0,7s");
  // No unit mass at all: nothing to estimate, the previous text stays.
  TPreparationEstimate untouched = estimate;
  EXPECT_FALSE(EstimatePreparation(2000.0, 0.0, 0.0, 1, untouched));
  EXPECT_EQ(untouched.Text, estimate.Text);
  EXPECT_FALSE(EstimatePreparation(-5.0, 100.0, 100.0, 1, untouched));
}

TEST(MaldiUnitLimit, SmallerMassAndZeroMasses) {
  std::int32_t n = -1;
  std::string error;
  // 2000 / 100 = 20 -> n = 21.
  ASSERT_TRUE(UnitLimit(2000.0, 104.0, 100.0, n, error));
  EXPECT_EQ(n, 21);
  // A homopolymer file with no monomer B formula has MB = 0: MA decides
  // (2000 / 104 = 19.23 -> n = 20) instead of a division by zero.
  ASSERT_TRUE(UnitLimit(2000.0, 104.0, 0.0, n, error));
  EXPECT_EQ(n, 20);
  ASSERT_TRUE(UnitLimit(2000.0, 0.0, 104.0, n, error));
  EXPECT_EQ(n, 20);
  n = 7;
  EXPECT_FALSE(UnitLimit(2000.0, 0.0, 0.0, n, error));
  EXPECT_NE(error.find("both unit molar masses are 0"), std::string::npos) << error;
  EXPECT_EQ(n, 7);
  EXPECT_FALSE(UnitLimit(0.0, 100.0, 100.0, n, error));
  EXPECT_FALSE(UnitLimit(MaxUpperLimit * 2, 100.0, 100.0, n, error));
  // 10000 / 1 + 1 units of a 1 g/mol unit is beyond what can be prepared.
  EXPECT_FALSE(UnitLimit(10000.0, 1.0, 1.0, n, error));
  EXPECT_NE(error.find("too high"), std::string::npos) << error;
}

TEST(MaldiUnitLimit, UpperLimitText) {
  double value = 0.0;
  std::string error;
  {
    const Propagon::TSeparatorGuard comma(',');
    ASSERT_TRUE(ParseUpperLimit("2500,5", value, error));
    EXPECT_DOUBLE_EQ(value, 2500.5);
    ASSERT_TRUE(ParseUpperLimit("2500.5", value, error)); // the other separator is adapted
    EXPECT_DOUBLE_EQ(value, 2500.5);
  }
  value = 3.0;
  EXPECT_FALSE(ParseUpperLimit("abc", value, error));
  EXPECT_EQ(error, "'abc' is not a valid floating point value");
  EXPECT_DOUBLE_EQ(value, 3.0);
}

TEST(MaldiCation, OneTrailingPlusIsRemoved) {
  EXPECT_EQ(CationFormula("K+"), "K");
  EXPECT_EQ(CationFormula("Na"), "Na");
  EXPECT_EQ(CationFormula(""), "");
  EXPECT_EQ(CationFormula("Ca++"), "Ca+");
}

// Sets an environment variable for the scope and restores it.
class TEnvGuard {
public:
  TEnvGuard(const char* name, const char* value) : FName(name) {
    if (const char* old = std::getenv(name))
      FOld = old;
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~TEnvGuard() {
    if (FOld)
      ::setenv(FName, FOld->c_str(), 1);
    else
      ::unsetenv(FName);
  }

private:
  const char* FName;
  std::optional<std::string> FOld;
};

TEST(MaldiTemporaryDirectory, TempThenTmpdirThenTmp) {
  {
    TEnvGuard temp("TEMP", "/var/scratch");
    TEnvGuard tmpdir("TMPDIR", "/other");
    EXPECT_EQ(TemporaryDirectory(), "/var/scratch/");
  }
  {
    TEnvGuard temp("TEMP", nullptr);
    TEnvGuard tmpdir("TMPDIR", "/run/user/1000/");
    EXPECT_EQ(TemporaryDirectory(), "/run/user/1000/");
  }
  {
    TEnvGuard temp("TEMP", "");
    TEnvGuard tmpdir("TMPDIR", nullptr);
    EXPECT_EQ(TemporaryDirectory(), "/tmp/");
  }
}

TEST(MaldiLabelLevel, LevelsOfOneOrLessAreRaised) {
  int level = 30;
  ASSERT_TRUE(ParseLabelLevel("1", level));
  EXPECT_EQ(level, 2);
  ASSERT_TRUE(ParseLabelLevel("0", level));
  EXPECT_EQ(level, 1);
  ASSERT_TRUE(ParseLabelLevel("5", level));
  EXPECT_EQ(level, 5);
  EXPECT_FALSE(ParseLabelLevel("2.5", level));
  EXPECT_FALSE(ParseLabelLevel("", level));
  EXPECT_EQ(level, 5);
}

} // namespace
