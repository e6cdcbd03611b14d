// Hostile input of every kind the library reads: random formulas, random
// isotope tables, and a wide error stream that refuses output.

#include "maldi/uDiagnostics.h"
#include "maldi/uIsotopePattern.h"
#include "maldi/uMaldiOperations.h"
#include "maldi/uSpectrumTableFile.h"

#include "tests/maldi/MaldiTestSupport.h"

#include <fcntl.h>
#include <unistd.h>

#include <random>

namespace {

using Maldi::Composition;

template <std::size_t N>
std::string Pick(std::mt19937& random, const char* const (&pieces)[N], int count) {
  std::string text;
  for (int k = 0; k < count; ++k)
    text += pieces[random() % N];
  return text;
}

TEST(Robustness, RandomFormulasParseOrFailWithACaretMessage) {
  const char* const pieces[] = {"C", "H", "O", "Na", "Co", "(", ")", "[", "]", "[13C]", "2", "0", "10", "-",
                                "%", "%END%", " ", "\t", "x", "+", "9999999999", "Xy", "(H2O)", "08"};
  std::mt19937 random(77);
  int parsed = 0;
  int failed = 0;
  for (int trial = 0; trial < 5000; ++trial) {
    const std::string ascii = Pick(random, pieces, int(random() % 16));
    const std::u16string formula(ascii.begin(), ascii.end());
    Composition composition;
    try {
      Parser::ParseFormula(formula, MaldiTest::BuiltTable().symbols, composition);
      ++parsed;
    } catch (const Parser::Error& error) {
      ++failed;
      // Message, colon and line end; the formula; a caret line.
      const std::u16string& message = error.Message();
      ASSERT_NE(message.find(u":\n" + formula + u"\n"), std::u16string::npos) << ascii;
      ASSERT_EQ(message.substr(message.size() - 2), u"^\n") << ascii;
      const std::size_t caretLine = message.rfind(u'\n', message.size() - 2) + 1;
      ASSERT_LE(message.size() - 2 - caretLine, formula.size()) << "caret beyond the formula: " << ascii;
      ASSERT_TRUE(composition.empty());
    }
    // Whatever parsed has a pattern or none, but never a crash; keep the
    // computation small.
    bool small = true;
    for (const auto& entry : composition)
      small = small && entry.second < 3000;
    if (small) {
      const Maldi::Pattern pattern = Maldi::CalculatePattern(composition, MaldiTest::BuiltTable(), 1e-8);
      double total = 0.0;
      for (const Maldi::Peak& peak : pattern)
        total += peak.abundance;
      ASSERT_LE(total, 1.0 + 1e-9) << ascii;
      ASSERT_EQ(pattern.empty(), !Maldi::HasPattern(composition, MaldiTest::BuiltTable())) << ascii;
    }
  }
  // Both outcomes must have been exercised for the trial to mean anything.
  EXPECT_GT(parsed, 100);
  EXPECT_GT(failed, 100);
}

TEST(Robustness, RandomIsotopeTablesGiveTablesAndFiles) {
  const char* const pieces[] = {"A", "Bb", "C", "H", " ", "\n", "\n", "\r\n", "1", "2.5", "1e3", "-4", "0",
                                "0.5", "nan", "x", "\t", "99999", "1e-300", ".", "+", "e"};
  std::mt19937 random(4242);
  MaldiTest::TTempFolder folder;
  int written = 0;
  for (int trial = 0; trial < 200; ++trial) {
    // Half of the tables start with usable carbon and hydrogen.
    const std::string text =
        std::string(trial % 2 == 0 ? "C\n12.0 1.0\n\nH\n1.0 1.0\n\n" : "") + Pick(random, pieces, int(random() % 60));
    MaldiTest::WriteBytes(folder.File("ISOTOPE.DAT"), text);
    Maldi::IsotopeTable table;
    ASSERT_TRUE(Maldi::LoadIsotopeTable(folder.File("ISOTOPE.DAT"), table));
    for (const auto& [symbol, index] : table.symbols)
      ASSERT_LT(std::size_t(index), table.elements.size());
    // Every element in small numbers, and a whole table file from them.
    for (uint32_t element = 0; element < table.elements.size(); ++element)
      for (int32_t count = 1; count <= 5; ++count)
        Maldi::CalculatePattern(Composition{{element, count}}, table, 1e-8);
    std::u16string formula;
    for (const auto& [symbol, index] : table.symbols)
      if (!symbol.empty())
        formula += u"[" + symbol + u"]";
    Maldi::TSpectrumRequest request;
    request.N = 2;
    request.FormulaA = formula;
    request.FileName = folder.File("table.tmp");
    // Most random tables lack usable carbon and hydrogen, some formulas do
    // not parse (brackets in symbols): refused with a reason, or written whole.
    MaldiTest::TWideErrorCapture errors;
    std::filesystem::remove(request.FileName);
    const int32_t result = Maldi::PrepareTableWith(Maldi::TRecordKind::Pattern, request, folder.File("ISOTOPE.DAT"));
    if (result == 0) {
      ASSERT_FALSE(errors.Text().empty()) << text;
      ASSERT_FALSE(std::filesystem::exists(request.FileName));
      continue;
    }
    ASSERT_EQ(result, 1);
    Maldi::TSpectrumTable decoded;
    std::string error;
    ASSERT_TRUE(Maldi::ReadPatternTable(MaldiTest::ReadBytes(request.FileName), decoded, error)) << error;
    ++written;
  }
  EXPECT_GT(written, 0) << "both outcomes must have been exercised";
  EXPECT_LT(written, 200);
}

// A wide stream buffer that takes nothing, as std::wcerr behaves when the
// host already wrote narrow text to stderr.
class TRefusingBuffer : public std::wstreambuf {
protected:
  int_type overflow(int_type) override { return traits_type::eof(); }
  std::streamsize xsputn(const wchar_t*, std::streamsize) override { return 0; }
};

TEST(Robustness, RefusedWideOutputStillReachesStandardError) {
  MaldiTest::TTempFolder folder;
  const std::string capture = folder.File("stderr.txt");
  TRefusingBuffer refusing;
  std::wstreambuf* previous = std::wcerr.rdbuf(&refusing);
  std::fflush(stderr);
  const int saved = ::dup(2);
  const int file = ::open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(file, 0);
  ::dup2(file, 2);
  Maldi::WriteDiagnostic(u"Parse error:\nC\u00C4\n ^\n");
  const bool usable = std::wcerr.good();
  ::dup2(saved, 2);
  ::close(saved);
  ::close(file);
  std::wcerr.rdbuf(previous);
  EXPECT_TRUE(usable) << "the stream must take the next message again";
  // The same text in UTF-8: U+00C4 is C3 84.
  EXPECT_EQ(MaldiTest::ReadBytes(capture), "Parse error:\nC\xC3\x84\n ^\n");
}

TEST(Robustness, TextConversionsHandleEveryCodeUnit) {
  std::string utf8;
  EXPECT_TRUE(Maldi::ToUtf8(u"/tmp/sp\u00E9ctre-\U0001F600.tmp", utf8));
  EXPECT_EQ(utf8, "/tmp/sp\xC3\xA9" "ctre-\xF0\x9F\x98\x80.tmp");
  EXPECT_EQ(Maldi::FromNarrow(utf8), u"/tmp/sp\u00E9ctre-\U0001F600.tmp");
  const char16_t lone[] = {u'a', 0xDC00, u'b', 0};
  EXPECT_FALSE(Maldi::ToUtf8(lone, utf8));
  EXPECT_EQ(Maldi::ToWide(lone), L"a\uFFFDb");
  EXPECT_EQ(Maldi::FromNarrow("a\xFF" "b\xC3"), u"a\uFFFDb\uFFFD");
}

} // namespace
