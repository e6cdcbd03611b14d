// The calculations behind the two live views: bar scale, data text and the
// microstructure sampling step.

#include "engine/uDataStruct.h"
#include "params/uNumberFormat.h"
#include "plots/uLiveViewTools.h"
#include "plots/uStructureForm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using Plots::DistributionScale;

TEST(DistributionScale, WholePixelsPerChainAboveOne) {
  // 200 px / 50 chains * 0.7 = 2.8 pixels per chain, cut to 2; u = 2 + 1.
  const auto s = DistributionScale(200, 50);
  EXPECT_DOUBLE_EQ(s.Q, 2.0);
  EXPECT_EQ(s.U, 3);
}

TEST(DistributionScale, FractionalScaleBelowOne) {
  // 200 px / 1000 chains * 0.7 = 0.14 pixels per chain, kept as it is; u = 2.
  const auto s = DistributionScale(200, 1000);
  EXPECT_NEAR(s.Q, 0.14, 1e-12);
  EXPECT_EQ(s.U, 2);
  // A bar of 1000 chains is trunc(140.0000...) or 139 pixels: the scale is
  // what the repaint uses, so compare with its own product.
  EXPECT_EQ(Plots::BarHeight(1000, s.Q), static_cast<int>(1000 * s.Q));
}

TEST(DistributionScale, EmptyHistogramCountsAsOneChain) {
  // m is at least 1: 100 px * 0.7 = 70 pixels per chain, u = 71.
  const auto s = DistributionScale(100, 0);
  EXPECT_DOUBLE_EQ(s.Q, 70.0);
  EXPECT_EQ(s.U, 71);
  // Exactly 1 pixel per chain: 10 px / 7 chains * 0.7 = 1.0 (q >= 1, so u = 2).
  const auto one = DistributionScale(10, 7);
  EXPECT_NEAR(one.Q, 1.0, 1e-12);
  EXPECT_EQ(one.U, 2);
}

TEST(DistributionDataText, FractionsOfAllChainsIncludingDPZero) {
  Propagon::TSeparatorGuard dot('.');
  // n(0) = 2, n(1) = 1, n(3) = 1: four chains, so DP 1 and DP 3 are 1/4 each.
  std::vector<std::int32_t> n(Engine::MaxDP + 1, 0);
  n[0] = 2;
  n[1] = 1;
  n[3] = 1;
  EXPECT_EQ(Plots::DistributionDataText(n.data(), Engine::MaxDP), "DP\tFraction\r\n1\t0.25\r\n2\t0\r\n3\t0.25\r\n");
}

TEST(DistributionDataText, LocaleSeparatorAndEightDigits) {
  Propagon::TSeparatorGuard comma(',');
  // One chain in three at DP 1: 1/3 with 8 significant digits.
  std::vector<std::int32_t> n(Engine::MaxDP + 1, 0);
  n[1] = 1;
  n[2] = 2;
  EXPECT_EQ(Plots::DistributionDataText(n.data(), Engine::MaxDP),
            "DP\tFraction\r\n1\t0,33333333\r\n2\t0,66666667\r\n");
}

TEST(DistributionDataText, LongChainsAreCountedAndHeaderAloneWithoutGrowth) {
  Propagon::TSeparatorGuard dot('.');
  std::vector<std::int32_t> n(Engine::MaxDP + 1, 0);
  // Only DP 0: the header alone.
  n[0] = 5;
  EXPECT_EQ(Plots::DistributionDataText(n.data(), Engine::MaxDP), "DP\tFraction\r\n");
  // A chain of DP 3500 (beyond the drawn columns) is in the text: 1 of 6 chains.
  n[3500] = 1;
  const std::string text = Plots::DistributionDataText(n.data(), Engine::MaxDP);
  EXPECT_NE(text.find("\r\n3500\t0.16666667\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\n2999\t0\r\n"), std::string::npos);
  // Header + DP 1 ... 3500.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3501);
  // No histogram at all.
  EXPECT_EQ(Plots::DistributionDataText(nullptr, -1), "DP\tFraction\r\n");
}

TEST(StructureChainStep, ExpectedChainsPerPixelColumn) {
  // 2047 div 449 = 4 (449 * 4 = 1796, 449 * 5 = 2245 > 2047).
  EXPECT_EQ(Plots::StructureChainStepFor(2047, 449), 4);
  // Fewer chains than columns: every chain is shown.
  EXPECT_EQ(Plots::StructureChainStepFor(100, 449), 1);
  // A hidden window without width must not divide by zero.
  EXPECT_EQ(Plots::StructureChainStepFor(2047, 0), 2047);
}

TEST(WindowsColors, DefaultsOfTheSettings) {
  // 65535 = 0x00FFFF: red 255, green 255, blue 0 (yellow); 8421504 = 0x808080.
  EXPECT_EQ(Plots::ColorFromWindowsValue(65535), QColor(255, 255, 0));
  EXPECT_EQ(Plots::ColorFromWindowsValue(8421504), QColor(128, 128, 128));
  EXPECT_EQ(Plots::WindowsValueOf(QColor(255, 0, 0)), 255);
  EXPECT_EQ(Plots::WindowsValueOf(QColor(0, 0, 255)), 0xFF0000);
}
