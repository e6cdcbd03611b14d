// Spectra through the real libMaldi.so: a polystyrene sample with Na+ whose
// peaks are checked against masses computed here from first principles.

#include "MaldiViewTestSupport.h"

#include "maldiview/uMALDISpectrum.h"
#include "params/uParamFile.h"
#include "shell/uMaldiBinding.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

using namespace MaldiView;
using namespace MaldiViewTest;

// Isotopes (NIST; the masses and abundances chemists use for C, H and Na):
// 12C 12 exactly, 98.93 %; 13C 13.0033548378 u, 1.07 %; 1H 1.00782503207 u,
// 99.9885 %; 2H 2.0141017778 u, 0.0115 %; 23Na 22.9897692809 u, 100 %.
constexpr double C12 = 12.0, C13 = 13.0033548378, PC13 = 0.0107;
constexpr double H1 = 1.00782503207, H2 = 2.0141017778, PH2 = 0.000115;
constexpr double Na23 = 22.9897692809;

struct TPeak {
  double Mass = 0.0;
  double Abundance = 0.0;
};

double Binomial(int n, int k, double p) {
  return std::exp(std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0) + k * std::log(p) +
                  (n - k) * std::log1p(-p));
}

// Isotopic peaks of CcHhNa grouped by nominal mass (isotopologues with the
// same number of extra neutrons), each at its abundance-weighted mass: what
// a spectrometer of unit resolution shows. Up to 6 heavy atoms suffice for
// molecules below 3000 u.
std::map<int, TPeak> NaAdductPeaks(int c, int h) {
  std::map<int, TPeak> peaks;
  for (int k13 = 0; k13 <= 6; ++k13)
    for (int kD = 0; kD + k13 <= 6; ++kD) {
      const double p = Binomial(c, k13, PC13) * Binomial(h, kD, PH2);
      const double mass = (c - k13) * C12 + k13 * C13 + (h - kD) * H1 + kD * H2 + Na23;
      TPeak& peak = peaks[k13 + kD];
      peak.Mass = (peak.Mass * peak.Abundance + mass * p) / (peak.Abundance + p);
      peak.Abundance += p;
    }
  return peaks;
}

std::size_t AxisIndex(double mass) { return static_cast<std::size_t>(std::trunc(mass * 10.0 + 0.5)); }

TEST(MaldiRealLibrary, PolystyreneWithSodiumPeaksAtIndependentMasses) {
  Shell::TMaldiBinding binding;
  binding.CheckMALDILibrary(MALDI_LIBRARY_FILE);
  ASSERT_TRUE(binding.SpectrumAvailable());
  TTempDir dir;
  // Anionic polystyrene: sec-butyl head, H tail (C4H10 in all), styrene C8H8.
  // Monomer B is left without formula and molar mass: MA alone sizes n.
  std::ofstream(dir.File("ps.kpx")) << "[Components]\nInitiatorFormula=C4H9Li\nInitiatorAttachedGroup=C4H10\n"
                                       "MonomerAFormula=C8H8\nMonomerBFormula=\n";
  const Params::TParameterFile file(dir.File("ps.kpx"));
  // 100 chains of 10 styrene units, 50 of 20.
  Engine::TSimState& s = Store(Engine::ptLiving, 150, 104.1491, 0.0);
  for (int c = 1; c <= 150; ++c)
    SetChain(s, c, Units(c <= 100 ? 10 : 20, 0));

  TMALDISpectrum spectrum;
  spectrum.TempDir = dir.Folder();
  spectrum.UpperLimit = "2500";
  spectrum.Cation = CationFormula("Na+");
  spectrum.LabelLevel = 20;
  std::string error;
  ASSERT_TRUE(spectrum.Calculate(binding, file, s, error)) << error;
  // n = trunc(2500 / 104.1491) + 1 = 24 + 1.
  EXPECT_EQ(spectrum.N, 25);
  ASSERT_EQ(spectrum.ActiveCurves(), (std::vector<int>{3}));
  const TCurveData& curve = spectrum.Curves[3];

  struct TSample {
    int Units;
    int Chains;
  };
  for (const TSample sample : {TSample{10, 100}, TSample{20, 50}}) {
    // C4H10 + n C8H8 + Na.
    const std::map<int, TPeak> peaks = NaAdductPeaks(4 + 8 * sample.Units, 10 + 8 * sample.Units);
    int main = 0;
    for (const auto& [shift, peak] : peaks)
      if (peak.Abundance > peaks.at(main).Abundance)
        main = shift;
    // 10-mer: C84H90Na, monoisotopic 1121.694 u is the most abundant (the
    // 13C peak is 84 x 1.07 / 98.93 = 0.92 of it). 20-mer: C164H170Na, the
    // 13C peak at 2163.32 u leads (1.77 x the monoisotopic 2162.320 u).
    EXPECT_EQ(main, sample.Units == 10 ? 0 : 1);
    const std::size_t k = AxisIndex(peaks.at(main).Mass);
    EXPECT_EQ(curve.Label(static_cast<std::int32_t>(k)), std::to_string(sample.Units) + "+0") << sample.Units;
    // The main peak adds one count per chain.
    EXPECT_NEAR(curve.Intensities[k], sample.Chains, 1e-6 * sample.Chains) << sample.Units;
    // Every other peak carries its share relative to the main one.
    for (const auto& [shift, peak] : peaks) {
      if (peak.Abundance / peaks.at(main).Abundance < 1e-3)
        continue;
      EXPECT_NEAR(curve.Intensities[AxisIndex(peak.Mass)],
                  sample.Chains * peak.Abundance / peaks.at(main).Abundance, 0.002 * sample.Chains)
          << sample.Units << " M+" << shift;
    }
  }
  // Nothing else is in the spectrum: the chains add up across all peaks to
  // the chains times the pattern sums (checked through the label count).
  EXPECT_EQ(curve.Labels.size(), 2u);
}

TEST(MaldiRealLibrary, RecombinedFreeRadicalChainsCarryTwoAttachedGroups) {
  Shell::TMaldiBinding binding;
  binding.CheckMALDILibrary(MALDI_LIBRARY_FILE);
  ASSERT_TRUE(binding.SpectrumAvailable());
  TTempDir dir;
  // Styrene from AIBN: C8H12N4 loses N2, each end carries C4H6N.
  std::ofstream(dir.File("fr.kpx")) << "[Components]\nInitiatorFormula=C8H12N4\nInitiatorAttachedGroup=C4H6N\n"
                                       "MonomerAFormula=C8H8\nMonomerBFormula=C5H8O2\n";
  const Params::TParameterFile file(dir.File("fr.kpx"));
  // Two chain slots: the recombination product and the slot it emptied.
  Engine::TSimState& s = Store(Engine::ptFreeRadical, 2);
  SetChain(s, 1, Units(23, 0), 2);
  TMALDISpectrum spectrum;
  spectrum.TempDir = dir.Folder();
  spectrum.UpperLimit = "3000";
  spectrum.Cation = CationFormula("Na+");
  spectrum.LabelLevel = 0;
  std::string error;
  ASSERT_TRUE(spectrum.Calculate(binding, file, s, error)) << error;
  const TCurveData& curve = spectrum.Curves[0];
  ASSERT_EQ(curve.Labels.size(), 1u);
  EXPECT_EQ(curve.Labels.begin()->second, "23+0");
  // By hand: C8H12N2 + 23 C8H8 + Na = C192H196N2Na, monoisotopic
  // 192 x 12 + 196 x 1.007825 + 2 x 14.003074 + 22.989769 = 2552.53 u. With
  // 192 carbons the two-13C isotopologue leads (expected 13C count 2.05), so
  // the main peak lies near 2554.5; the whole initiator molecule would put it
  // 28.006 u higher, near 2582.5.
  const double labelled = spectrum.Axis[static_cast<std::size_t>(curve.Labels.begin()->first)];
  EXPECT_NEAR(labelled, 2554.5, 0.11);
}

TEST(MaldiRealLibrary, AtrpCopolymerGivesFourCurvesWithTheirEndGroups) {
  Shell::TMaldiBinding binding;
  binding.CheckMALDILibrary(MALDI_LIBRARY_FILE);
  TTempDir dir;
  // ATRP of styrene (A) and MMA (B) from ethyl 2-bromoisobutyrate.
  std::ofstream(dir.File("atrp.kpx")) << "[Components]\nInitiatorFormula=C6H11BrO2\nInitiatorAttachedGroup=C6H11O2\n"
                                         "MonomerAFormula=C8H8\nMonomerBFormula=C5H8O2\n";
  const Params::TParameterFile file(dir.File("atrp.kpx"));
  // Two chains per curve: 1, 2 still capped; 3, 4 recombined; 5 … 8 dead
  // otherwise, shared out to I~H (5, 7) and I~= (6, 8).
  Engine::TSimState& s = Store(Engine::ptATRP, 8);
  for (int c = 1; c <= 8; ++c)
    SetChain(s, c, "AABAB", c == 3 || c == 4 ? 2 : 0);
  s.ChainLiving.assign(9, 0);
  s.ChainLiving[1] = s.ChainLiving[2] = 1;
  TMALDISpectrum spectrum;
  spectrum.TempDir = dir.Folder();
  spectrum.UpperLimit = "1000";
  spectrum.Cation = "Na";
  spectrum.LabelLevel = 1;
  std::string error;
  ASSERT_TRUE(spectrum.Calculate(binding, file, s, error)) << error;
  ASSERT_EQ(spectrum.ActiveCurves(), (std::vector<int>{0, 1, 2, 3}));
  // Each curve holds one molecule labelled 3+2 (3 styrene, 2 MMA); its label
  // sits at the main peak, whose nominal mass follows from the end groups:
  // 3 C8H8 + 2 C5H8O2 = C34H40O4 (monoisotopic 512.2927) plus Na (22.9898)
  // and   I~X  C6H11BrO2 (193.9943, 79Br): 729.277 (81Br nearly as abundant at +2)
  //       I~H  C6H11O2 + H (116.0837): 651.366
  //       I~=  C6H11O2 - H (114.0681): 649.350
  //       I~~I 2 C6H11O2 (230.1518): 765.434
  const double expected[] = {765.434, 651.366, 649.350, 729.277};
  for (int c = 0; c < CurveCount; ++c) {
    const TCurveData& curve = spectrum.Curves[static_cast<std::size_t>(c)];
    ASSERT_EQ(curve.Labels.size(), 1u) << c;
    const double labelled = spectrum.Axis[static_cast<std::size_t>(curve.Labels.begin()->first)];
    EXPECT_EQ(curve.Labels.begin()->second, "3+2") << c;
    // The main peak is the monoisotopic one or the next (13C at 40 C atoms is
    // 0.43 of it; 81Br 0.97 of 79Br): within 2.02 u of the monoisotopic mass.
    EXPECT_GE(labelled, expected[c] - 0.06) << c;
    EXPECT_LE(labelled, expected[c] + 2.02 + 0.06) << c;
  }
}

TEST(MaldiRealLibrary, ADamagedIsotopeTableGivesNoSpectrumAndItsReasonReachesTheLog) {
  // The library copied beside a damaged ISOTOPE.DAT.
  TTempDir dir;
  std::filesystem::copy_file(MALDI_LIBRARY_FILE, dir.File("libMaldi.so"));
  std::ofstream(dir.File("ISOTOPE.DAT")) << "C\n12.0 0.9893\n13.0033548378 0.0107\n\nH\n1.0078250321 0.999885\n"
                                           "nan 0.000115\n\nNa\n22.98976967 1\n";
  Shell::TMaldiBinding binding;
  binding.CheckMALDILibrary(dir.File("libMaldi.so"));
  ASSERT_TRUE(binding.SpectrumAvailable());
  std::ofstream(dir.File("ps.kpx")) << "[Components]\nInitiatorFormula=C4H9Li\nInitiatorAttachedGroup=C4H10\n"
                                       "MonomerAFormula=C8H8\nMonomerBFormula=\n";
  const Params::TParameterFile file(dir.File("ps.kpx"));
  Engine::TSimState& s = Store(Engine::ptLiving, 10, 104.1491, 0.0);
  for (int c = 1; c <= 10; ++c)
    SetChain(s, c, Units(10, 0));
  TMALDISpectrum spectrum;
  spectrum.TempDir = dir.Folder();
  spectrum.UpperLimit = "2500";
  spectrum.Cation = "Na";
  TestSupport::TLogCapture log;
  std::string error;
  EXPECT_FALSE(spectrum.Calculate(binding, file, s, error));
  EXPECT_TRUE(log.Contains("Prepare MALDI Exit Code = 0"));
  const std::string reason = "ISOTOPE.DAT cannot be used: line 7: \"nan 0.000115\" of element H is not an isotope "
                             "line (a mass above 0 and an abundance from 0 to 1)";
  EXPECT_NE(error.find(reason), std::string::npos) << error;
  EXPECT_TRUE(log.HasPrefix("The MALDI library could not write \"" + dir.Folder() + "Maldi4.tmp\": " + reason));
  EXPECT_FALSE(std::filesystem::exists(dir.File("Maldi4.tmp")));
  s.FreeAll();
}

} // namespace
