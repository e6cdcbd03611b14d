// Inputs the fuzzers of tools/fuzz found or that the bad-input catalogue
// (docs/bad-inputs.md) lists for the library: each must give a sound answer
// quickly and never crash.

#include "maldi/uFormulaParser.h"
#include "maldi/uIsotopePattern.h"
#include "maldi/uIsotopeTable.h"
#include "maldi/uMaldiOperations.h"
#include "maldi/uSpectrumTableFile.h"

#include "tests/maldi/MaldiTestSupport.h"

#include <chrono>
#include <cmath>
#include <vector>
#include <string>

namespace {

using MaldiTest::TableFromText;

// Mean isotope mass of carbon in the shipped table:
// 12 x 0.9893 + 13.0033548378 x 0.0107 = 12.01073589676446 (abundances sum to 1).
std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

constexpr double CarbonMean = 12.0 * 0.9893 + 13.0033548378 * 0.0107;

TEST(Hardening, IsotopeLinesWithImpossibleNumbersEndTheBlock) {
  // Found by isotope_table_fuzz: an abundance of 14101778 made the pattern
  // sums overflow to infinity and the molar mass NaN. An abundance outside
  // 0..1 or a mass that is not positive is a damaged line, which ends the
  // block as any other text does; the next line then names a new element.
  const Maldi::IsotopeTable table = TableFromText(
      "C\n12.0 0.9893\n13.0033548378 0.0107\n\n"
      "H\n1.0078250321 0.999885\n2.014101778 14101778\n"
      "X\n-5.0 0.5\n"
      "Y\n7.0 -0.5\n"
      "Z\n9.0 1.0\n");
  ASSERT_EQ(table.symbols.count(u"H"), 1U);
  const Maldi::Pattern& hydrogen = table.elements[std::size_t(table.symbols.at(u"H"))].front();
  ASSERT_EQ(hydrogen.size(), 1U); // the damaged 2H line is not an isotope
  EXPECT_EQ(hydrogen[0].abundance, 0.999885);
  // The damaged line itself is dropped and the next line names a block: X
  // and Y get no isotopes (their only lines are damaged), Z its one.
  const auto isotopesOf = [&](const char16_t* symbol) {
    return table.elements[std::size_t(table.symbols.at(symbol))].front().size();
  };
  EXPECT_EQ(isotopesOf(u"X"), 0U);
  EXPECT_EQ(isotopesOf(u"Y"), 0U);
  EXPECT_EQ(isotopesOf(u"Z"), 1U);

  Maldi::Composition styrene;
  Parser::ParseFormula(u"C8H8", table.symbols, styrene);
  const double mass = Maldi::CompositionMolarMass(styrene, table);
  EXPECT_TRUE(std::isfinite(mass));
  // The pattern's abundances sum to 1 for C and to 0.999885 per H atom, and
  // MolarMass sums mass x abundance: (8 x 12.0107359 + 8 x 1.0078250321) x 0.999885^8.
  EXPECT_NEAR(mass, (8 * CarbonMean + 8 * 1.0078250321) * std::pow(0.999885, 8), 1e-6);
}

TEST(Hardening, AHugeStepDownInMassNeedsNoPlaceholders) {
  // Found by isotope_table_fuzz: 1.0 after 2e49 gave a gap of -2e49 units,
  // whose conversion to a placeholder count overflowed. Descending masses are
  // stored as written, without placeholders, however far apart.
  const Maldi::IsotopeTable table = TableFromText("A\n2e49 0.5\n1.0 0.5\n");
  ASSERT_EQ(table.elements.size(), 1U);
  const Maldi::Pattern& a = table.elements[0].front();
  ASSERT_EQ(a.size(), 2U);
  EXPECT_EQ(a[1].mass, 1.0);
}

TEST(Hardening, AFormulaOfABillionAtomsGetsItsMassAtOnce) {
  // Found by formula_fuzz: "C2147483647" took 7 s in a release build (over 10 s
  // instrumented) and C1000000000 came out 2.6 % light, its pattern's tails
  // pruned away in every convolution. Large molecules now sum mean element
  // masses: exactly count x mean.
  const Maldi::IsotopeTable& table = MaldiTest::BuiltTable();
  for (const auto& [formula, carbons] : {std::pair{u"C1000000000", 1e9}, std::pair{u"C2147483647", 2147483647.0}}) {
    Maldi::Composition c;
    Parser::ParseFormula(formula, table.symbols, c);
    EXPECT_NEAR(Maldi::CompositionMolarMass(c, table), carbons * CarbonMean, 1e-9 * carbons * CarbonMean);
  }
  // The same through the library's operation, as the program calls it.
  EXPECT_NEAR(Maldi::CalcMolMassWith(u"C1000000000", MALDI_ISOTOPE_FILE), 1e9 * CarbonMean, 1e-9 * 1e9 * CarbonMean);
}

TEST(Hardening, MolarMassAgreesOnBothSidesOfTheLargeMoleculeLimit) {
  // Styrene units, 16 atoms each, just below and just above the limit. Mean
  // masses of the shipped table: C as above, H 1.0078250321 x 0.999885 +
  // 2.014101778 x 0.000115 = 1.00794075382. Above the limit the mass is
  // exactly units x unit mass; below it the pruned pattern loses a little of
  // its tails (under 1e-6 of the mass at this size).
  const Maldi::IsotopeTable& table = MaldiTest::BuiltTable();
  const double unitMass = 8 * CarbonMean + 8 * (1.0078250321 * 0.999885 + 2.014101778 * 0.000115);
  const int units = int(Maldi::LargeMoleculeAtoms / 16);
  for (const int n : {units, units + 1}) {
    Maldi::Composition c;
    Parser::ParseFormula(u"(C8H8)" + Ascii(std::to_string(n)), table.symbols, c);
    const double expected = n * unitMass;
    EXPECT_NEAR(Maldi::CompositionMolarMass(c, table), expected, (n == units ? 1e-6 : 1e-12) * expected) << n;
  }
}

TEST(Hardening, FormulaCountsBeyond32BitsAreRefusedNotWrapped) {
  const Maldi::IsotopeTable& table = MaldiTest::BuiltTable();
  Maldi::Composition c;
  // "Atom count out of range", with a caret under the multiplier.
  EXPECT_THROW(Parser::ParseFormula(u"(C2147483647)2", table.symbols, c), Parser::Error);
  EXPECT_TRUE(c.empty());
  // The library's operation answers 0.0 with a message instead of throwing.
  MaldiTest::TWideErrorCapture capture;
  EXPECT_EQ(Maldi::CalcMolMassWith(u"(C8H8)1000000000", MALDI_ISOTOPE_FILE), 0.0);
}

TEST(Hardening, SpectrumTableReaderRefusesGarbage) {
  // Binary garbage: a header claiming 2^31 - 1 units, then a few bytes.
  std::string bytes("\x10\x00\x00\x00\xff\xff\xff\x7f garbage", 17);
  Maldi::TSpectrumTable table;
  std::string error;
  EXPECT_FALSE(Maldi::ReadPatternTable(bytes, table, error));
  EXPECT_EQ(error, "the file ends before its last record");
  // A record claiming a negative or a huge peak count.
  bytes = std::string("\x10\x00\x00\x00\x00\x00\x00\x00\xff\xff\xff\x7f", 12);
  EXPECT_FALSE(Maldi::ReadPatternTable(bytes, table, error));
  EXPECT_EQ(error, "the file ends in record 0");
  bytes = std::string("\x10\x00\x00\x00\x00\x00\x00\x00\xfe\xff\xff\xff", 12);
  EXPECT_TRUE(Maldi::ReadPatternTable(bytes, table, error));
  EXPECT_TRUE(table.Record(0, 0).empty());
}

// A damaged ISOTOPE.DAT beside the library: every operation fails and says
// which line or element is at fault; no earlier table file is touched.
TEST(Hardening, ADamagedIsotopeTableIsAnErrorThatNamesTheLineOrElement) {
  const std::string carbon = "C\n12.0 0.9893\n13.0033548378 0.0107\n\n";
  const std::string hydrogen = "H\n1.0078250321 0.999885\n2.014101778 0.000115\n\n";
  const std::string sodium = "Na\n22.98976967 1\n\n";
  struct TCase {
    const char* What;
    std::string Table;
    std::wstring Message;
  };
  const std::vector<TCase> cases = {
      {"empty", "", L"ISOTOPE.DAT cannot be used: it has no carbon (C)\n"},
      {"no hydrogen", carbon + sodium, L"ISOTOPE.DAT cannot be used: it has no hydrogen (H)\n"},
      {"hydrogen not second", carbon + sodium + hydrogen,
       L"ISOTOPE.DAT cannot be used: hydrogen (H) is block 3, not the second block\n"},
      {"truncated in a line", carbon + hydrogen + "Na\n22.98",
       L"ISOTOPE.DAT cannot be used: line 10: \"22.98\" of element Na is not an isotope line (a mass above 0 and "
       L"an abundance from 0 to 1)\n"},
      {"negative abundance", carbon + "H\n1.0078250321 -0.5\n\n" + sodium,
       L"ISOTOPE.DAT cannot be used: line 6: \"1.0078250321 -0.5\" of element H is not an isotope line (a mass "
       L"above 0 and an abundance from 0 to 1)\n"},
      {"NaN mass", carbon + hydrogen + "Na\nnan 1\n\n",
       L"ISOTOPE.DAT cannot be used: line 10: \"nan 1\" of element Na is not an isotope line (a mass above 0 and "
       L"an abundance from 0 to 1)\n"},
      {"abundance 0", carbon + "H\n1.0078250321 0\n2.014101778 0\n\n" + sodium,
       L"ISOTOPE.DAT cannot be used: the abundances of element H add up to 0, not 1\n"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    MaldiTest::TTempFolder folder;
    MaldiTest::WriteBytes(folder.File("ISOTOPE.DAT"), c.Table);
    MaldiTest::TWideErrorCapture errors;
    EXPECT_EQ(Maldi::CalcMolMassWith(u"C8H8", folder.File("ISOTOPE.DAT")), 0.0);
    EXPECT_EQ(errors.Text(), c.Message);
    const std::string file = folder.File("Maldi1.tmp");
    MaldiTest::WriteBytes(file, "earlier table");
    Maldi::TSpectrumRequest request;
    request.N = 3;
    request.FormulaA = u"C8H8";
    request.Cation = u"Na";
    request.FileName = file;
    EXPECT_EQ(Maldi::PrepareTableWith(Maldi::TRecordKind::Pattern, request, folder.File("ISOTOPE.DAT")), 0);
    EXPECT_EQ(MaldiTest::ReadBytes(file), "earlier table");
  }

  // Sound carbon and hydrogen, but the cation's element is damaged: the
  // formulas that do not use it still work.
  MaldiTest::TTempFolder folder;
  MaldiTest::WriteBytes(folder.File("ISOTOPE.DAT"), carbon + hydrogen + "Na\n22.98976967 0\n\n");
  MaldiTest::TWideErrorCapture errors;
  EXPECT_NEAR(Maldi::CalcMolMassWith(u"C8H8", folder.File("ISOTOPE.DAT")), 104.15, 0.01);
  EXPECT_EQ(Maldi::CalcMolMassWith(u"Na", folder.File("ISOTOPE.DAT")), 0.0);
  EXPECT_EQ(errors.Text(), L"ISOTOPE.DAT cannot be used: the abundances of element Na add up to 0, not 1\n");
}

TEST(Hardening, AnAbsurdIsotopeTableIsRefusedAtOnce) {
  // Reported: 20 000 isotopes 1000 u apart took 60 s and 1.7 GB per call.
  std::string absurd = "C\n12.0 1.0\n\nH\n1.0 1.0\n\nX\n";
  for (int k = 0; k < 20000; ++k)
    absurd += std::to_string(1.0 + 999.0 * k) + " 0.00005\n";
  MaldiTest::TTempFolder folder;
  MaldiTest::WriteBytes(folder.File("ISOTOPE.DAT"), absurd);
  MaldiTest::TWideErrorCapture errors;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Maldi::CalcMolMassWith(u"C8H8", folder.File("ISOTOPE.DAT")), 0.0);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  EXPECT_NE(errors.Text().find(L"element X spans more than 64 nominal masses"), std::wstring::npos) << errors.Text();
  // And a file far larger than any isotope table is not read at all.
  MaldiTest::WriteBytes(folder.File("ISOTOPE.DAT"), std::string(Maldi::MaxTableBytes + 1, '\n'));
  EXPECT_EQ(Maldi::CalcMolMassWith(u"C8H8", folder.File("ISOTOPE.DAT")), 0.0);
  EXPECT_NE(errors.Text().find(L"more than an isotope table needs"), std::wstring::npos);
}

TEST(Hardening, TheShippedIsotopeTableIsSound) {
  EXPECT_EQ(Maldi::TableProblem(MaldiTest::BuiltTable()), "");
  for (uint32_t element = 0; element < MaldiTest::BuiltTable().elements.size(); ++element) {
    const std::string problem = Maldi::ElementProblem(MaldiTest::BuiltTable(), element);
    // Elements without natural isotopes may be listed empty; none is half there.
    EXPECT_TRUE(problem.empty() || problem.find("has no isotopes") != std::string::npos) << problem;
  }
}

} // namespace
