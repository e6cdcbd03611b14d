// Reading ISOTOPE.DAT: block structure, placeholders, the quirks of blank
// lines and repeated symbols, damaged input, and the shipped table itself.

#include "maldi/uIsotopeTable.h"

#include "tests/maldi/MaldiTestSupport.h"

#include <cmath>

namespace {

using Maldi::IsotopeTable;
using Maldi::PlaceholderMass;
using MaldiTest::TableFromText;

std::u16string SymbolOf(const IsotopeTable& table, int32_t index) {
  for (const auto& [symbol, at] : table.symbols)
    if (at == index)
      return symbol;
  return u"(none)";
}

TEST(IsotopeTable, ReadsBlocksAndFillsMassGapsWithPlaceholders) {
  // Element B has isotopes at 10 and 12 (one nominal mass missing) and 15
  // (two missing): trunc(12 - 10 - 0.5) = 1 and trunc(15 - 12 - 0.5) = 2.
  const IsotopeTable table = TableFromText(
      "A first element\n"
      "1.0 0.75 comment\n"
      "2.0 0.25\n"
      "\n"
      "B\r\n"
      "10.0 0.5\r\n"
      "12.0 0.25\r\n"
      "15.0 0.25\r\n"
      "\n"
      "C\n"
      "  +12.0   1e0\n");
  ASSERT_EQ(table.elements.size(), 3U);
  EXPECT_EQ(table.symbols, (std::map<std::u16string, int32_t>{{u"A", 0}, {u"B", 1}, {u"C", 2}}));
  const Maldi::Pattern& a = table.elements[0].front();
  ASSERT_EQ(a.size(), 2U);
  EXPECT_EQ(a[0].mass, 1.0);
  EXPECT_EQ(a[1].abundance, 0.25);
  const Maldi::Pattern& b = table.elements[1].front();
  ASSERT_EQ(b.size(), 6U);
  EXPECT_EQ(b[1].mass, PlaceholderMass);
  EXPECT_EQ(b[1].abundance, 0.0);
  EXPECT_EQ(b[2].mass, 12.0);
  EXPECT_EQ(b[3].mass, PlaceholderMass);
  EXPECT_EQ(b[4].mass, PlaceholderMass);
  EXPECT_EQ(b[5].mass, 15.0);
  EXPECT_EQ(table.elements[2].front().size(), 1U);
  EXPECT_EQ(table.elements[2].front()[0].abundance, 1.0);
}

TEST(IsotopeTable, KeepsTheDocumentedQuirksOfBlankLinesAndSymbols) {
  // Two blank lines: the second is a symbol line (empty symbol), "B" then fails
  // as an isotope line and ends that block, and "10.0 1.0" becomes a symbol.
  const IsotopeTable twoBlank = TableFromText("A\n1.0 1.0\n\n\nB\n10.0 1.0\n");
  ASSERT_EQ(twoBlank.elements.size(), 3U);
  EXPECT_EQ(SymbolOf(twoBlank, 1), u"");
  EXPECT_TRUE(twoBlank.elements[1].front().empty());
  EXPECT_EQ(SymbolOf(twoBlank, 2), u"10.0");
  EXPECT_EQ(twoBlank.symbols.count(u"B"), 0U);

  // A blank first line registers the empty symbol as element 0; "C" is then
  // the line that ends block 0, and "12.0 1.0" names element 1.
  const IsotopeTable blankFirst = TableFromText("\nC\n12.0 1.0\n");
  EXPECT_EQ(SymbolOf(blankFirst, 0), u"");
  ASSERT_EQ(blankFirst.elements.size(), 2U);
  EXPECT_EQ(SymbolOf(blankFirst, 1), u"12.0");
  EXPECT_EQ(blankFirst.symbols.count(u"C"), 0U);

  // A repeated symbol names the later block; the earlier one stays unnamed.
  const IsotopeTable repeated = TableFromText("X\n1.0 1.0\n\nX\n2.0 1.0\n");
  ASSERT_EQ(repeated.elements.size(), 2U);
  EXPECT_EQ(repeated.symbols.at(u"X"), 1);
  EXPECT_EQ(repeated.symbols.size(), 1U);

  // A symbol line at the end of the file gives an element without isotopes.
  const IsotopeTable lastEmpty = TableFromText("A\n1.0 1.0\n\nZ");
  ASSERT_EQ(lastEmpty.elements.size(), 2U);
  EXPECT_TRUE(lastEmpty.elements[1].front().empty());

  // Descending masses are stored as written, without placeholders.
  const IsotopeTable descending = TableFromText("D\n5.0 0.5\n2.0 0.5\n");
  ASSERT_EQ(descending.elements[0].front().size(), 2U);
  EXPECT_EQ(descending.elements[0].front()[1].mass, 2.0);
}

TEST(IsotopeTable, DamagedLinesEndABlockWithoutHarm) {
  // A malformed number, an infinite mass and an absurd gap (which would
  // otherwise ask for 10^300 placeholders) each end the block like a blank line.
  const IsotopeTable table = TableFromText(
      "A\n1.0 1.0\n1,5 0.2\n"
      "B\n2.0 1.0\ninf 0.5\n"
      "E\n3.0 1.0\n1e300 0.5\n"
      "F\n4.0\n");
  ASSERT_EQ(table.elements.size(), 4U);
  for (int index = 0; index < 3; ++index)
    EXPECT_EQ(table.elements[std::size_t(index)].front().size(), 1U) << "element " << index;
  EXPECT_EQ(table.symbols.count(u"E"), 1U);
  EXPECT_TRUE(table.elements[3].front().empty()) << "one number is not an isotope line";
  // Bytes above 0x7F become one character each.
  const IsotopeTable latin = TableFromText("\xC4x\n1.0 1.0\n");
  EXPECT_EQ(latin.symbols.count(u"\u00C4x"), 1U);
}

TEST(IsotopeTable, MissingFileKeepsThePreviousTableAndIsReported) {
  IsotopeTable table = TableFromText("A\n1.0 1.0\n");
  MaldiTest::TWideErrorCapture errors;
  EXPECT_FALSE(Maldi::EnsureIsotopeTable("/nonexistent/folder/ISOTOPE.DAT", table));
  EXPECT_EQ(errors.Text(), L"Could not open isotope file: \n");
  EXPECT_EQ(table.elements.size(), 1U);
  EXPECT_TRUE(Maldi::LoadIsotopeTable(MALDI_ISOTOPE_FILE, table));
  EXPECT_GT(table.elements.size(), 1U) << "a successful load replaces the contents";
}

TEST(IsotopeTable, IsFoundBesideTheModuleThatHoldsTheCode) {
  // The tests link the table code statically, so its module is the test
  // program, which lives in the same folder as libMaldi.so.
  EXPECT_TRUE(std::filesystem::equivalent(Maldi::IsotopeFilePath(), MALDI_ISOTOPE_FILE))
      << Maldi::IsotopeFilePath();
}

TEST(ShippedIsotopeTable, HoldsEveryNaturalElementWithHydrogenSecond) {
  const IsotopeTable& table = MaldiTest::BuiltTable();
  EXPECT_EQ(table.symbols.at(u"C"), 0);
  EXPECT_EQ(table.symbols.at(u"H"), 1) << "abstracted spectra remove one atom of element 1";
  // Elements 1-83 less Tc and Pm (no stable isotope), plus Th, Pa and U:
  // 81 + 3 = 84 elements with a natural isotopic composition.
  int elements = 0;
  for (const auto& [symbol, index] : table.symbols) {
    const Maldi::Pattern& isotopes = table.elements[std::size_t(index)].front();
    ASSERT_FALSE(isotopes.empty()) << "empty block";
    double sum = 0.0;
    for (const Maldi::Peak& peak : isotopes)
      sum += peak.abundance;
    EXPECT_NEAR(sum, 1.0, 1e-9) << "abundances of one element add up to 1";
    if (!symbol.empty() && symbol[0] >= u'A' && symbol[0] <= u'Z' && symbol != u"D")
      ++elements;
  }
  EXPECT_EQ(elements, 84);
  EXPECT_EQ(table.symbols.count(u"Tc"), 0U);
  // Labelled isotopes: [13C] is pure carbon-13, D is deuterium.
  EXPECT_EQ(table.elements[std::size_t(table.symbols.at(u"13C"))].front().size(), 1U);
  EXPECT_NEAR(table.elements[std::size_t(table.symbols.at(u"D"))].front()[0].mass, 2.0141, 1e-4);
  // Tin spans 112-124 with gaps at 113, 121 and 123: 13 entries, 3 placeholders.
  const Maldi::Pattern& tin = table.elements[std::size_t(table.symbols.at(u"Sn"))].front();
  EXPECT_EQ(tin.size(), 13U);
  EXPECT_EQ(tin[1].mass, PlaceholderMass);
}

} // namespace
