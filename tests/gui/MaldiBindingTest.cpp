// The run-time binding of libMaldi.so: the checks and log lines of
// CheckMALDILibrary with stand-in libraries (complete, without CalcMolMass,
// without ISOTOPE.DAT beside it, not a library at all, missing), the flags
// other windows consult, and the string crossing into the C entry points.

#include "shell/uLibraryProbe.h"
#include "shell/uMaldiBinding.h"
#include "tests/support/LogCapture.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

const std::string FakeDir = PROPAGON_FAKE_MALDI_DIR;
const std::string CompleteLib = FakeDir + "/complete/libMaldi.so";
const std::string NoMolMassLib = FakeDir + "/no-molmass/libMaldi.so";
const std::string NoIsotopeLib = FakeDir + "/no-isotope-table/libMaldi.so";
const std::string NotALibrary = std::string(PROPAGON_TEST_DATA) + "/shell/not-a-library/libMaldi.so";

const std::string NotExistsLine =
    "Error: Library File \"libMaldi.so\" not Exists!\r\nPlease locate it by Menu/File/MALDI DLL";
const std::string NoIsotopeLine =
    "Error: Cannot Find \"ISOTOPE.DAT\"!\r\nPlease keep it together with \"libMaldi.so\"";

std::string LoadErrorLine(const std::string& path) {
  return "Error: Unable to Load Library from File \"" + path + "\"!\r\nSee Section 8 in the Manual";
}

struct TRecorded {
  std::vector<std::string> Paths;
  Shell::TMaldiBinding::TRecordLibraryName Recorder() {
    return [this](const std::string& p) { Paths.push_back(p); };
  }
};

std::vector<std::string> ReadLines(const std::string& fileName) {
  std::ifstream in(fileName);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

TEST(MaldiBinding, CompleteLibraryLoadsSilentlyWithBothFlagsAndDisablesSearch) {
  TestSupport::TLogCapture log;
  TRecorded recorded;
  Shell::TMaldiBinding binding(recorded.Recorder());
  EXPECT_FALSE(binding.SpectrumAvailable());
  EXPECT_FALSE(binding.MolMassAvailable());
  EXPECT_TRUE(binding.SearchEnabled()); // nothing loaded yet

  binding.CheckMALDILibrary(CompleteLib);
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_TRUE(binding.Loaded());
  EXPECT_TRUE(binding.SpectrumAvailable());
  EXPECT_TRUE(binding.MolMassAvailable());
  EXPECT_FALSE(binding.SearchEnabled());
  EXPECT_EQ(binding.LibraryPath(), CompleteLib);
  // Recorded once when examined and once more because both entry points exist.
  EXPECT_EQ(recorded.Paths, (std::vector<std::string>{CompleteLib, CompleteLib}));
}

TEST(MaldiBinding, LibraryWithoutCalcMolMassKeepsSearchEnabledAndStillRecordsPath) {
  TestSupport::TLogCapture log;
  TRecorded recorded;
  Shell::TMaldiBinding binding(recorded.Recorder());
  binding.CheckMALDILibrary(NoMolMassLib);

  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Edition of Process Parameters not Allowed!"}));
  EXPECT_TRUE(binding.SpectrumAvailable());
  EXPECT_FALSE(binding.MolMassAvailable());
  EXPECT_TRUE(binding.SearchEnabled());
  // Only the unconditional record: the second one needs both entry points.
  EXPECT_EQ(recorded.Paths, (std::vector<std::string>{NoMolMassLib}));
  // Callers get the library's own failure value, never a call through null.
  EXPECT_EQ(binding.CalcMolMass("H2O"), 0.0);
  EXPECT_EQ(binding.MolMassLookup()("H2O"), 0.0);
}

TEST(MaldiBinding, MissingIsotopeTableOnlyAddsTheErrorLine) {
  TestSupport::TLogCapture log;
  Shell::TMaldiBinding binding;
  binding.CheckMALDILibrary(NoIsotopeLib);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{NoIsotopeLine}));
  EXPECT_TRUE(binding.SpectrumAvailable());
  EXPECT_TRUE(binding.MolMassAvailable());
  EXPECT_FALSE(binding.SearchEnabled());
}

TEST(MaldiBinding, MissingFileReportsBothLinesRecordsPathAndLeavesFlagsOff) {
  TestSupport::TLogCapture log;
  TRecorded recorded;
  Shell::TMaldiBinding binding(recorded.Recorder());
  const std::string missing = FakeDir + "/nowhere/libMaldi.so";
  binding.CheckMALDILibrary(missing);

  ASSERT_GE(log.Lines().size(), 2u);
  EXPECT_EQ(log.Lines()[0], NotExistsLine);
  EXPECT_EQ(log.Lines()[1], LoadErrorLine(missing));
  EXPECT_TRUE(log.HasPrefix("Reason: ")); // the loader's own explanation follows
  EXPECT_FALSE(binding.Loaded());
  EXPECT_FALSE(binding.SpectrumAvailable());
  EXPECT_FALSE(binding.MolMassAvailable());
  EXPECT_TRUE(binding.SearchEnabled());
  EXPECT_EQ(recorded.Paths, (std::vector<std::string>{missing}));

  // A later successful search sets the flags.
  binding.CheckMALDILibrary(CompleteLib);
  EXPECT_TRUE(binding.SpectrumAvailable());
  EXPECT_TRUE(binding.MolMassAvailable());
  EXPECT_FALSE(binding.SearchEnabled());
}

TEST(MaldiBinding, FileThatIsNotALibraryKeepsThePreviousLibraryUsable) {
  TestSupport::TLogCapture log;
  Shell::TMaldiBinding binding;
  binding.CheckMALDILibrary(CompleteLib);
  binding.CheckMALDILibrary(NotALibrary);

  EXPECT_TRUE(log.Contains(LoadErrorLine(NotALibrary)));
  EXPECT_FALSE(log.Contains(NotExistsLine)); // the file is there, it just does not load
  // The flags keep their values and the library they describe is still the
  // one that answers: H2O = 'H' 72 + '2' 50 + 'O' 79 = 201 in the stand-in.
  EXPECT_TRUE(binding.MolMassAvailable());
  EXPECT_EQ(binding.LibraryPath(), CompleteLib);
  EXPECT_DOUBLE_EQ(binding.CalcMolMass("H2O"), 201.0);
}

TEST(MaldiBinding, ATruncatedLibraryIsTriedApartAndNeverLoadedHere) {
  // Cut inside its segments: the loader maps pages past the end of the file
  // and the first touch raises SIGBUS, in whichever process loads it.
  QTemporaryDir dir;
  const std::string cut = dir.filePath("libMaldi.so").toStdString();
  {
    std::ifstream in(CompleteLib, std::ios::binary);
    std::string bytes(1000, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::ofstream(cut, std::ios::binary) << bytes;
  }
  TestSupport::TLogCapture log;
  Shell::TMaldiBinding binding;
  binding.CheckMALDILibrary(CompleteLib);
  binding.CheckMALDILibrary(cut);
  EXPECT_TRUE(log.Contains(LoadErrorLine(cut)));
  // SIGBUS; a sanitizer build's child reports it and exits with 1 instead.
  EXPECT_TRUE(log.Contains("Reason: not a usable library: loading it in a test process ended with signal 7 (Bus error)") ||
              log.Contains("Reason: not a usable library: loading it in a test process ended with exit code 1"))
      << "the probe names what ended it";
  EXPECT_EQ(binding.LibraryPath(), CompleteLib);
  EXPECT_DOUBLE_EQ(binding.CalcMolMass("H2O"), 201.0);

  // The probe on its own: a good library answers with its exports, a text
  // file is refused by the loader (loading it here is harmless and says why).
  const Shell::TLibraryProbe good = Shell::ProbeLibrary(CompleteLib);
  EXPECT_EQ(good.Result, Shell::TLibraryProbe::TResult::Usable);
  EXPECT_TRUE(good.CalcMolMass && good.PrepareSpectrum);
  const Shell::TLibraryProbe noMolMass = Shell::ProbeLibrary(NoMolMassLib);
  EXPECT_FALSE(noMolMass.CalcMolMass);
  EXPECT_EQ(Shell::ProbeLibrary(NotALibrary).Result, Shell::TLibraryProbe::TResult::NotLoadable);
  EXPECT_EQ(Shell::ProbeLibrary(cut).Result, Shell::TLibraryProbe::TResult::Crashed);
}

TEST(MaldiBinding, EmptyPathNeverBindsTheProgramItself) {
  TestSupport::TLogCapture log;
  Shell::TMaldiBinding binding;
  binding.CheckMALDILibrary("");
  EXPECT_TRUE(log.Contains(NotExistsLine));
  EXPECT_TRUE(log.Contains(LoadErrorLine("")));
  EXPECT_FALSE(binding.Loaded());
  EXPECT_EQ(binding.Symbol("main"), nullptr);
}

TEST(MaldiBinding, FormulasCrossAsUtf16CodeUnits) {
  Shell::TMaldiBinding binding;
  binding.CheckMALDILibrary(CompleteLib);
  // The stand-in sums the code units it receives.
  EXPECT_DOUBLE_EQ(binding.CalcMolMass(""), 0.0);
  // "é" is U+00E9 = 233, one unit.
  EXPECT_DOUBLE_EQ(binding.CalcMolMass("\xC3\xA9"), 233.0);
  // U+1D407 is the surrogate pair D835 DC07 = 55349 + 56327 = 111676.
  EXPECT_DOUBLE_EQ(binding.CalcMolMass("\xF0\x9D\x90\x87"), 111676.0);
  auto lookup = binding.MolMassLookup();
  EXPECT_DOUBLE_EQ(lookup("C2H4O"), 67.0 + 50 + 72 + 52 + 79); // 320
}

TEST(MaldiBinding, MalformedUtf8BecomesReplacementCharacters) {
  // Truncated two-byte lead, overlong '/' (C0 AF), an encoded surrogate
  // (ED A0 80) and a stray continuation byte: each bad byte is one U+FFFD.
  EXPECT_EQ(Shell::Utf8ToUtf16("A\xC3"), u"A\uFFFD");
  EXPECT_EQ(Shell::Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(Shell::Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(Shell::Utf8ToUtf16("\x80Na"), u"\uFFFDNa");
  EXPECT_EQ(Shell::Utf8ToUtf16("H\xE2\x82\x82O"), u"H\u2082O");
}

TEST(MaldiBinding, TableOperationsPassTheirArgumentsInOrder) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  Shell::TMaldiBinding binding;
  binding.CheckMALDILibrary(CompleteLib);
  const std::string file = dir.filePath("Maldi1.tmp").toStdString();

  EXPECT_EQ(binding.PrepareSpectrum(7, "C6H10O2", "C2H4O", "HO+H", "Na", file), 1);
  EXPECT_EQ(ReadLines(file), (std::vector<std::string>{"PrepareSpectrum", "7", "C6H10O2", "C2H4O",
                                                       "HO+H", "Na"}));
  EXPECT_EQ(binding.PrepareAbstractedSpectrum(0, "A", "", "E", "K", file), 1);
  EXPECT_EQ(ReadLines(file)[0], "PrepareAbstractedSpectrum");
  EXPECT_EQ(ReadLines(file)[3], ""); // an empty formula B crosses as an empty string
  EXPECT_EQ(binding.PrepareHighestPeaks(2, "A", "B", "E", "K", file), 1);
  EXPECT_EQ(ReadLines(file)[0], "PrepareHighestPeaks");
}

TEST(MaldiBinding, WithoutLibraryEveryCallReturnsItsFailureValue) {
  Shell::TMaldiBinding binding;
  EXPECT_EQ(binding.CalcMolMass("H2O"), 0.0);
  EXPECT_EQ(binding.PrepareSpectrum(1, "A", "B", "E", "Na", "/nonexistent/x"), 0);
  EXPECT_EQ(binding.Symbol("CalcMolMass"), nullptr);
}

TEST(MaldiBinding, ReleaseClearsFlagsAndActiveBindingFollowsLifetime) {
  {
    Shell::TMaldiBinding binding;
    binding.CheckMALDILibrary(CompleteLib);
    EXPECT_EQ(Shell::SetActiveMaldiBinding(&binding), nullptr);
    EXPECT_EQ(Shell::ActiveMaldiBinding(), &binding);
    binding.Release();
    EXPECT_FALSE(binding.Loaded());
    EXPECT_FALSE(binding.SpectrumAvailable());
    EXPECT_FALSE(binding.MolMassAvailable());
    EXPECT_EQ(binding.CalcMolMass("H2O"), 0.0);
  }
  // A destroyed binding removes itself, so no window can reach a dead object.
  EXPECT_EQ(Shell::ActiveMaldiBinding(), nullptr);
}

} // namespace
