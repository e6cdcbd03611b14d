// Formula grammar, atom counts, and the exact three-line error messages with
// their caret positions.

#include "maldi/uFormulaParser.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Maldi::Composition;

// Element indices of a small table: the parser only needs the symbol map.
enum : uint32_t { C = 0, H = 1, O = 2, Co = 3, Na = 4, C13 = 5, Cl = 6 };

const std::map<std::u16string, int32_t>& Symbols() {
  static const std::map<std::u16string, int32_t> symbols{
      {u"C", C}, {u"H", H}, {u"O", O}, {u"Co", Co}, {u"Na", Na}, {u"13C", C13}, {u"Cl", Cl}};
  return symbols;
}

Composition Parse(const std::u16string& formula) {
  Composition composition;
  Parser::ParseFormula(formula, Symbols(), composition);
  return composition;
}

// The message the parser raises for `formula`, or "(no error)".
std::u16string ErrorOf(const std::u16string& formula) {
  Composition composition{{C, 5}};
  try {
    Parser::ParseFormula(formula, Symbols(), composition);
  } catch (const Parser::Error& error) {
    EXPECT_TRUE(composition.empty()) << "a failed parse must leave the composition empty";
    return error.Message();
  }
  return u"(no error)";
}

TEST(FormulaParser, CountsAtomsOfPlainAndNestedFormulas) {
  EXPECT_TRUE(Parse(u"").empty());
  EXPECT_EQ(Parse(u"C"), (Composition{{C, 1}}));
  // Letter case tells carbon monoxide from cobalt.
  EXPECT_EQ(Parse(u"CO"), (Composition{{C, 1}, {O, 1}}));
  EXPECT_EQ(Parse(u"Co"), (Composition{{Co, 1}}));
  EXPECT_EQ(Parse(u"H2O"), (Composition{{H, 2}, {O, 1}}));
  EXPECT_EQ(Parse(u"(H2O)3"), (Composition{{H, 6}, {O, 3}}));
  EXPECT_EQ(Parse(u"((CH2)2)3"), (Composition{{C, 6}, {H, 12}}));
  // Dodecane: 1 + 10 + 1 carbons, 3 + 20 + 3 hydrogens.
  EXPECT_EQ(Parse(u"CH3(CH2)10CH3"), (Composition{{C, 12}, {H, 26}}));
  // White space before any token is skipped.
  EXPECT_EQ(Parse(u" C 8\tH8 "), (Composition{{C, 8}, {H, 8}}));
  EXPECT_EQ(Parse(u"()"), Composition{});
}

TEST(FormulaParser, ReadsBracketedNamesAndSignedOctalNumbers) {
  EXPECT_EQ(Parse(u"[13C]2"), (Composition{{C13, 2}}));
  EXPECT_EQ(Parse(u"[C]H4"), (Composition{{C, 1}, {H, 4}}));
  // A negative multiplier subtracts; a net count of 0 drops the element.
  EXPECT_EQ(Parse(u"H-1"), (Composition{{H, -1}}));
  EXPECT_EQ(Parse(u"CH4H-4"), (Composition{{C, 1}}));
  // Base detection as in wcstol(text, 0): 010 is octal 8, 08 stops at the 8,
  // a lone minus sign is 0.
  EXPECT_EQ(Parse(u"C010"), (Composition{{C, 8}}));
  EXPECT_EQ(Parse(u"C08"), Composition{});
  EXPECT_EQ(Parse(u"C-H"), (Composition{{H, 1}}));
  EXPECT_EQ(Parse(u"C-010"), (Composition{{C, -8}}));
}

TEST(FormulaParser, ReportsEachErrorWithFormulaAndCaret) {
  EXPECT_EQ(ErrorOf(u"2H"), u"End of input expected:\n2H\n^\n");
  // The list inside the parenthesis ends at the number, which is not ")".
  EXPECT_EQ(ErrorOf(u"(2H)"), u"Expected right parenthesis:\n(2H)\n ^\n");
  EXPECT_EQ(ErrorOf(u"h2o"), u"Parse error:\nh2o\n^\n");
  EXPECT_EQ(ErrorOf(u"Na+"), u"Parse error:\nNa+\n  ^\n");
  EXPECT_EQ(ErrorOf(u"[C"), u"Missing left bracket:\n[C\n^\n");
  EXPECT_EQ(ErrorOf(u"[C%]"), u"Missing left bracket:\n[C%]\n^\n");
  EXPECT_EQ(ErrorOf(u"C%H"), u"Illegal character: '%':\nC%H\n ^\n");
  EXPECT_EQ(ErrorOf(u"Xy2"), u"'Xy' is not an element:\nXy2\n^\n");
  EXPECT_EQ(ErrorOf(u"[14C]"), u"'14C' is not an element:\n[14C]\n^\n");
  // The end of the formula (column 5) is where ")" was expected.
  EXPECT_EQ(ErrorOf(u"C6(H5"), u"Expected right parenthesis:\nC6(H5\n     ^\n");
  // The caret stands where the scan for the token began, before the blanks.
  EXPECT_EQ(ErrorOf(u"C  +"), u"Parse error:\nC  +\n ^\n");
  EXPECT_EQ(ErrorOf(u"C)"), u"End of input expected:\nC)\n ^\n");
}

TEST(FormulaParser, SurvivesHostileInput) {
  // Counts beyond 32 bits are refused rather than wrapped around.
  EXPECT_EQ(ErrorOf(u"(C65536)65536"), u"Atom count out of range:\n(C65536)65536\n             ^\n");
  EXPECT_EQ(ErrorOf(u"C2147483647C"), u"Atom count out of range:\nC2147483647C\n            ^\n");
  // A number too long for 32 bits saturates as the platform's conversion does.
  EXPECT_EQ(Parse(u"C99999999999"), (Composition{{C, 2147483647}}));
  // Nesting deep enough to exhaust the stack is an error, not a crash.
  const std::u16string deep = std::u16string(100000, u'(') + u"C" + std::u16string(100000, u')');
  EXPECT_NE(ErrorOf(deep).find(u"Too many nested parentheses:\n"), std::u16string::npos);
  const std::u16string nested = std::u16string(Parser::MaxNesting, u'(') + u"H" +
                                std::u16string(Parser::MaxNesting, u')') + u"2";
  EXPECT_EQ(Parse(nested), (Composition{{H, 2}}));
  // Non-ASCII letters are no letters to the C locale; a surrogate pair neither.
  EXPECT_EQ(ErrorOf(u"CÄ"), u"Parse error:\nCÄ\n ^\n");
  EXPECT_EQ(ErrorOf(u"C\U0001F600"), u"Parse error:\nC\U0001F600\n ^\n");
  // The end marker inside the formula ends the input there.
  EXPECT_EQ(Parse(u"C%END%H"), (Composition{{C, 1}}));
}

TEST(FormulaParser, ErrorIsAStdExceptionWithReadableText) {
  try {
    Parse(u"Xy");
    FAIL() << "no error raised";
  } catch (const std::exception& error) {
    EXPECT_STREQ(error.what(), "'Xy' is not an element:\nXy\n^\n");
  }
}

TEST(Composition, AddsScaledCountsAndRefusesOverflow) {
  Composition sum{{C, 4}, {H, 10}};
  Maldi::AddComposition(sum, Composition{{C, 8}, {H, 8}}, 3);
  EXPECT_EQ(sum, (Composition{{C, 28}, {H, 34}}));
  const Composition before = sum;
  EXPECT_THROW(Maldi::AddComposition(sum, Composition{{H, 1}, {C, 1000}}, 3000000), std::overflow_error);
  EXPECT_EQ(sum, before) << "a refused sum must leave the composition unchanged";
}

} // namespace
