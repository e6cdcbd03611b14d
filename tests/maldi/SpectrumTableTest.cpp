// The table operations end to end: file layout and size, record order, the
// byte-exact match with the from-scratch algorithm, and every failure path.

#include "maldi/uMaldiOperations.h"
#include "maldi/uSpectrumTableFile.h"

#include "tests/maldi/MaldiTestSupport.h"
#include "tests/maldi/ReferencePattern.h"

#include <cmath>

namespace {

using Maldi::TRecordKind;
using Maldi::TSpectrumRequest;
using MaldiTest::ReadBytes;
using MaldiTest::TTempFolder;
using MaldiTest::TWideErrorCapture;

TSpectrumRequest Request(int32_t n, std::u16string a, std::u16string b, std::u16string ends,
                         std::u16string cation, std::string file) {
  TSpectrumRequest request;
  request.N = n;
  request.FormulaA = std::move(a);
  request.FormulaB = std::move(b);
  request.EndGroups = std::move(ends);
  request.Cation = std::move(cation);
  request.FileName = std::move(file);
  return request;
}

Maldi::TSpectrumTable Decode(const std::string& path) {
  Maldi::TSpectrumTable table;
  std::string error;
  EXPECT_TRUE(Maldi::ReadPatternTable(ReadBytes(path), table, error)) << error;
  return table;
}

Maldi::Composition Formula(const std::u16string& formula) {
  Maldi::Composition composition;
  Parser::ParseFormula(formula, MaldiTest::BuiltTable().symbols, composition);
  return composition;
}

TEST(SpectrumTable, WritesOneRecordForNZero) {
  TTempFolder folder;
  const std::string file = folder.File("Maldi4.tmp");
  ASSERT_EQ(Maldi::PrepareTableWith(TRecordKind::Pattern, Request(0, u"C8H8", u"", u"C4H9H", u"Na", file),
                                    MALDI_ISOTOPE_FILE),
            1);
  const Maldi::TSpectrumTable table = Decode(file);
  EXPECT_EQ(table.N, 0);
  ASSERT_EQ(table.Records.size(), 1U);
  // The molecule is Na + C4H10, nominal mass 23 + 58 = 81. Its last peak above
  // 1e-8 is nominal 85: 13C4 alone has 0.0107^4 = 1.3e-8, with 13C3-2H another
  // 4 x 0.0107^3 x 0.9893 x 10 x 0.000115 = 5.6e-9. Mass 85.0..., ceiling 86.
  EXPECT_EQ(table.MassCeiling, 86);
  const auto& peaks = table.Records[0];
  EXPECT_NEAR(peaks[0].Mass, 22.98976967 + 4 * 12.0 + 10 * 1.0078250321, 1e-9);
  EXPECT_DOUBLE_EQ(peaks[0].Intensity, 100.0);
  EXPECT_EQ(ReadBytes(file).size(), 8 + 4 + 16 * peaks.size());
}

TEST(SpectrumTable, EmptyFormulasGiveTheSinglePeakAtMassZero) {
  TTempFolder folder;
  const std::string file = folder.File("empty.tmp");
  ASSERT_EQ(Maldi::PrepareTableWith(TRecordKind::Pattern, Request(2, u"", u"", u"", u"", file), MALDI_ISOTOPE_FILE), 1);
  const Maldi::TSpectrumTable table = Decode(file);
  // Ceiling: trunc(0.0) + 1.
  EXPECT_EQ(table.MassCeiling, 1);
  ASSERT_EQ(table.Records.size(), 9U);
  for (const auto& record : table.Records) {
    ASSERT_EQ(record.size(), 1U);
    EXPECT_EQ(record[0].Mass, 0.0);
    EXPECT_EQ(record[0].Intensity, 100.0);
  }
  // 8 header bytes + 9 records of 4 + 16 bytes.
  EXPECT_EQ(ReadBytes(file).size(), 8U + 9U * 20U);
}

TEST(SpectrumTable, OrdersRecordsByUnitsOfAThenUnitsOfB) {
  TTempFolder folder;
  const std::string file = folder.File("copolymer.tmp");
  const int32_t n = 4;
  ASSERT_EQ(Maldi::PrepareTableWith(TRecordKind::Pattern,
                                    Request(n, u"C8H8", u"C5H8O2", u"C4H9 H", u"Na", file), MALDI_ISOTOPE_FILE),
            1);
  const Maldi::TSpectrumTable table = Decode(file);
  std::size_t size = 8;
  for (int32_t i = 0; i <= n; ++i)
    for (int32_t j = 0; j <= n; ++j) {
      const auto& record = table.Record(i, j);
      size += 4 + 16 * record.size();
      // The first peak is the all-light molecule: Na C(4+8i+5j) H(10+8i+8j) O(2j).
      const double monoisotopic = 22.98976967 + (4 + 8 * i + 5 * j) * 12.0 +
                                  (10 + 8 * i + 8 * j) * 1.0078250321 + 2 * j * 15.9949146221;
      EXPECT_NEAR(record.front().Mass, monoisotopic, 1e-8) << i << "+" << j;
      double largest = 0.0;
      for (const auto& peak : record)
        largest = std::max(largest, peak.Intensity);
      EXPECT_NEAR(largest, 100.0, 1e-12);
    }
  EXPECT_EQ(ReadBytes(file).size(), size);
}

TEST(SpectrumTable, MatchesTheFromScratchAlgorithmByteForByte) {
  TTempFolder folder;
  struct TCase {
    int32_t N;
    std::u16string A, B, Ends, Cation;
  };
  const TCase cases[] = {
      {7, u"C8H8", u"", u"C4H9H", u"Na"},             // homopolymer: B empty
      {6, u"C8H8", u"C5H8O2", u"C4H9H", u"Na"},       // copolymer
      {5, u"C8H8", u"C8H8", u"C4H9H", u"K"},          // B equal to A
      {4, u"C2H3Br", u"C2H4", u"CH3", u"Ag"},         // placeholders in every record
      {3, u"CF2", u"", u"", u"Li"},                   // no hydrogen at all
      {6, u"C8H8", u"C2H4O", u"C4H9H-20", u"Na"},     // negative H for small i
      {2, u"", u"", u"", u""},                        // single peak at 0
  };
  const ReferenceMaldi::TRecords references[] = {ReferenceMaldi::TRecords::Pattern,
                                                 ReferenceMaldi::TRecords::AbstractedPattern,
                                                 ReferenceMaldi::TRecords::HighestPeak};
  const TRecordKind kinds[] = {TRecordKind::Pattern, TRecordKind::AbstractedPattern, TRecordKind::HighestPeak};
  for (const TCase& c : cases) {
    for (int kind = 0; kind < 3; ++kind) {
      const std::string file = folder.File("table.tmp");
      ASSERT_EQ(Maldi::PrepareTableWith(kinds[kind], Request(c.N, c.A, c.B, c.Ends, c.Cation, file),
                                        MALDI_ISOTOPE_FILE),
                1);
      const std::string expected =
          ReferenceMaldi::TableFile(references[kind], c.N, Formula(c.A), Formula(c.B), Formula(c.Ends),
                                    Formula(c.Cation), MaldiTest::BuiltTable());
      const std::string written = ReadBytes(file);
      ASSERT_EQ(written.size(), expected.size()) << "kind " << kind << " A=" << c.N;
      EXPECT_TRUE(written == expected) << "kind " << kind << " n=" << c.N;
    }
  }
}

TEST(SpectrumTable, RepeatsEachRowWhenFormulaBIsEmpty) {
  TTempFolder folder;
  const std::string file = folder.File("homopolymer.tmp");
  ASSERT_EQ(Maldi::PrepareTableWith(TRecordKind::Pattern, Request(3, u"C3H6", u"", u"H2", u"H", file), MALDI_ISOTOPE_FILE),
            1);
  const Maldi::TSpectrumTable table = Decode(file);
  for (int32_t i = 0; i <= 3; ++i) {
    for (int32_t j = 1; j <= 3; ++j) {
      ASSERT_EQ(table.Record(i, j).size(), table.Record(i, 0).size());
      for (std::size_t k = 0; k < table.Record(i, 0).size(); ++k)
        EXPECT_EQ(table.Record(i, j)[k].Mass, table.Record(i, 0)[k].Mass);
    }
  }
  EXPECT_NE(table.Record(1, 0).front().Mass, table.Record(0, 0).front().Mass);
}

TEST(SpectrumTable, WritesNoPeaksForMoleculesWithoutAPattern) {
  TTempFolder folder;
  // Abstracting a hydrogen from poly(tetrafluoroethylene) with no hydrogen
  // anywhere: every record is count 0 instead of a pattern of 2^32 atoms.
  const std::string file = folder.File("Maldi3.tmp");
  ASSERT_EQ(Maldi::PrepareTableWith(TRecordKind::AbstractedPattern, Request(2, u"C2F4", u"", u"CF3CF3", u"Na", file),
                                    MALDI_ISOTOPE_FILE),
            1);
  const Maldi::TSpectrumTable table = Decode(file);
  for (const auto& record : table.Records)
    EXPECT_TRUE(record.empty());
  // 8 + 9 x 4 bytes: counts only.
  EXPECT_EQ(ReadBytes(file).size(), 44U);
}

TEST(SpectrumTable, HighestPeakFileHoldsOneMassPerMolecule) {
  TTempFolder folder;
  const std::string file = folder.File("highest.tmp");
  const int32_t n = 5;
  ASSERT_EQ(Maldi::PrepareTableWith(TRecordKind::HighestPeak, Request(n, u"C8H8", u"C5H8O2", u"C4H10", u"Na", file),
                                    MALDI_ISOTOPE_FILE),
            1);
  const std::string bytes = ReadBytes(file);
  EXPECT_EQ(bytes.size(), 8U + 8U * 36U);
  int32_t ceiling = 0;
  int32_t readN = 0;
  std::vector<double> masses;
  std::string error;
  ASSERT_TRUE(Maldi::ReadHighestPeakTable(bytes, ceiling, readN, masses, error)) << error;
  EXPECT_EQ(readN, n);
  // Na C4H10 alone: the all-light molecule is the most abundant.
  EXPECT_NEAR(masses[0], 22.98976967 + 48.0 + 10 * 1.0078250321, 1e-9);
  EXPECT_GT(masses[1], masses[0]) << "record (0, 1) adds one unit of B";
}

TEST(SpectrumTable, TiesAndPlaceholdersFollowTheRecordRules) {
  TTempFolder folder;
  // Q has two equally abundant isotopes two units apart.
  const std::string isotopes = folder.File("ISOTOPE.DAT");
  MaldiTest::WriteBytes(isotopes, "C\n12.0 1.0\n\nH\n1.0 1.0\n\nQ\n50.0 0.5\n52.0 0.5\n");
  const std::string patterns = folder.File("patterns.tmp");
  ASSERT_EQ(Maldi::PrepareTableWith(TRecordKind::Pattern, Request(0, u"", u"", u"Q", u"", patterns), isotopes), 1);
  const Maldi::TSpectrumTable table = Decode(patterns);
  ASSERT_EQ(table.Records[0].size(), 3U);
  EXPECT_EQ(table.Records[0][0].Intensity, 100.0);
  EXPECT_EQ(table.Records[0][1].Mass, Maldi::PlaceholderMass);
  EXPECT_EQ(table.Records[0][1].Intensity, 0.0);
  EXPECT_EQ(table.Records[0][2].Intensity, 100.0);
  const std::string highest = folder.File("highest.tmp");
  ASSERT_EQ(Maldi::PrepareTableWith(TRecordKind::HighestPeak, Request(0, u"", u"", u"Q", u"", highest), isotopes), 1);
  int32_t ceiling = 0;
  int32_t n = 0;
  std::vector<double> masses;
  std::string error;
  ASSERT_TRUE(Maldi::ReadHighestPeakTable(ReadBytes(highest), ceiling, n, masses, error));
  EXPECT_EQ(masses[0], 50.0) << "of equal peaks the lighter one";
  EXPECT_EQ(ceiling, 53);
}

TEST(SpectrumTable, MissingIsotopeFileLeavesAnEarlierTableUntouched) {
  TTempFolder folder;
  const std::string file = folder.File("Maldi1.tmp");
  MaldiTest::WriteBytes(file, "earlier table");
  TWideErrorCapture errors;
  EXPECT_EQ(Maldi::PrepareTableWith(TRecordKind::Pattern, Request(3, u"C8H8", u"", u"H2", u"Na", file),
                                    folder.File("ISOTOPE.DAT")),
            0);
  EXPECT_EQ(ReadBytes(file), "earlier table");
  EXPECT_EQ(errors.Text(), L"Could not open isotope file: \n");
  EXPECT_EQ(Maldi::CalcMolMassWith(u"C8H8", folder.File("ISOTOPE.DAT")), 0.0);
}

TEST(SpectrumTable, ReportsFilesThatCannotBeWrittenAndRefusesBadCounts) {
  TTempFolder folder;
  {
    TWideErrorCapture errors;
    const std::string file = folder.File("no/such/folder/Maldi1.tmp");
    EXPECT_EQ(Maldi::PrepareTableWith(TRecordKind::Pattern, Request(1, u"C8H8", u"", u"", u"Na", file), MALDI_ISOTOPE_FILE), 0);
    EXPECT_EQ(errors.Text(), L"Could not create spectrum table file: " + std::wstring(file.begin(), file.end()) + L"\n");
  }
  if (std::filesystem::exists("/dev/full")) {
    // A full disk: every byte is refused at the flush.
    TWideErrorCapture errors;
    EXPECT_EQ(Maldi::PrepareTableWith(TRecordKind::Pattern, Request(2, u"C8H8", u"", u"", u"Na", "/dev/full"),
                                      MALDI_ISOTOPE_FILE),
              0);
    EXPECT_EQ(errors.Text(), L"Could not write spectrum table file: /dev/full\n");
  }
  {
    TWideErrorCapture errors;
    const std::string file = folder.File("negative.tmp");
    EXPECT_EQ(Maldi::PrepareTableWith(TRecordKind::Pattern, Request(-1, u"C8H8", u"", u"", u"Na", file), MALDI_ISOTOPE_FILE), 0);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(errors.Text(), L"Invalid number of units: -1\n");
    // (46340 + 1)^2 records are more than a 32-bit count.
    EXPECT_EQ(Maldi::PrepareTableWith(TRecordKind::Pattern, Request(Maldi::MaxUnits + 1, u"C8H8", u"", u"", u"Na", file),
                                      MALDI_ISOTOPE_FILE),
              0);
    EXPECT_FALSE(std::filesystem::exists(file));
  }
  // 40000 units of C100000 are 4 x 10^9 carbon atoms, beyond 32 bits; the
  // corners of the table are checked before the file is opened.
  const std::string file = folder.File("overflow.tmp");
  EXPECT_THROW(Maldi::PrepareTableWith(TRecordKind::Pattern, Request(40000, u"C100000", u"", u"", u"Na", file),
                                       MALDI_ISOTOPE_FILE),
               std::overflow_error);
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(SpectrumTable, AFormulaThatDoesNotParseRefusesTheTableAndNamesItsRole) {
  TTempFolder folder;
  const std::string bad = folder.File("bad.tmp");
  MaldiTest::WriteBytes(bad, "earlier table");
  TWideErrorCapture errors;
  // A spectrum made without formula B or the cation would look right and be
  // wrong: nothing is written, the earlier file stays.
  EXPECT_EQ(Maldi::PrepareTableWith(TRecordKind::Pattern, Request(2, u"C8H8", u"Xy", u"C4H10", u"Na", bad), MALDI_ISOTOPE_FILE), 0);
  EXPECT_EQ(errors.Text(), L"'Xy' is not an element:\nXy\n^\nNo spectrum table: formula B is not a formula of ISOTOPE.DAT\n");
  EXPECT_EQ(Maldi::PrepareTableWith(TRecordKind::Pattern, Request(2, u"C8H8", u"", u"C4H10", u"Na+", bad), MALDI_ISOTOPE_FILE), 0);
  EXPECT_NE(errors.Text().find(L"Parse error:\nNa+\n  ^\nNo spectrum table: the cation is not a formula of ISOTOPE.DAT\n"), std::wstring::npos);
  EXPECT_EQ(ReadBytes(bad), "earlier table");
  // Empty formulas are no error.
  EXPECT_EQ(Maldi::PrepareTableWith(TRecordKind::Pattern, Request(2, u"C8H8", u"", u"", u"", bad), MALDI_ISOTOPE_FILE), 1);
  EXPECT_EQ(Maldi::CalcMolMassWith(u"C6(H5", MALDI_ISOTOPE_FILE), 0.0);
  EXPECT_EQ(Maldi::CalcMolMassWith(u"", MALDI_ISOTOPE_FILE), 0.0);
  EXPECT_EQ(Maldi::CalcMolMassWith(u"H-1", MALDI_ISOTOPE_FILE), 0.0);
}

TEST(SpectrumTableReader, RejectsShortAndDamagedFiles) {
  std::string bytes;
  Maldi::AppendInt32(bytes, 100);
  Maldi::AppendInt32(bytes, 1);
  Maldi::Pattern pattern{{50.0, 0.25}, {51.0, 0.5}};
  for (int r = 0; r < 3; ++r) {
    Maldi::Pattern copy = pattern;
    Maldi::AppendPatternRecord(bytes, copy);
  }
  Maldi::TSpectrumTable table;
  std::string error;
  EXPECT_FALSE(Maldi::ReadPatternTable(bytes, table, error)) << "4 records needed for n = 1";
  EXPECT_EQ(error, "the file ends in record 3");
  // A fourth record that promises two peaks but holds one.
  Maldi::AppendInt32(bytes, 2);
  Maldi::AppendDouble(bytes, 50.0);
  Maldi::AppendDouble(bytes, 50.0);
  EXPECT_FALSE(Maldi::ReadPatternTable(bytes, table, error));
  EXPECT_EQ(error, "the file ends in record 3");
  bytes.resize(bytes.size() - 20);
  Maldi::AppendInt32(bytes, 0);
  ASSERT_TRUE(Maldi::ReadPatternTable(bytes, table, error)) << error;
  // 0.25 and 0.5 scaled so that the larger is 100.
  EXPECT_EQ(table.Record(0, 1)[1].Intensity, 100.0);
  EXPECT_EQ(table.Record(0, 1)[0].Intensity, 50.0);
  EXPECT_TRUE(table.Record(1, 1).empty());
  // A header claiming more records than the bytes could hold.
  std::string claims;
  Maldi::AppendInt32(claims, 0);
  Maldi::AppendInt32(claims, 1000);
  Maldi::AppendInt32(claims, 0);
  EXPECT_FALSE(Maldi::ReadPatternTable(claims, table, error));
  EXPECT_EQ(error, "the file ends before its last record");
  // A count that claims more peaks than the file holds is caught before use.
  std::string huge;
  Maldi::AppendInt32(huge, 0);
  Maldi::AppendInt32(huge, 0);
  Maldi::AppendInt32(huge, 2000000000);
  EXPECT_FALSE(Maldi::ReadPatternTable(huge, table, error));
  EXPECT_FALSE(Maldi::ReadPatternTable(std::string("abc"), table, error));
}

} // namespace
