// libMaldi.so as the program sees it: loaded by file name with dlopen, its
// four operations looked up with dlsym, ISOTOPE.DAT found beside the file.

#include "maldi/Maldi.h"
#include "maldi/uSpectrumTableFile.h"

#include "tests/maldi/MaldiTestSupport.h"

#include <dlfcn.h>

namespace {

using MaldiTest::ReadBytes;
using MaldiTest::TTempFolder;
using MaldiTest::TWideErrorCapture;

// One loaded copy of the library with its four entry points.
class TLoadedLibrary {
public:
  explicit TLoadedLibrary(const std::string& path) : FHandle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (FHandle == nullptr) {
      ADD_FAILURE() << "dlopen " << path << ": " << dlerror();
      return;
    }
    CalcMolMass = Lookup<TCalcMolMassFunc>("CalcMolMass");
    PrepareSpectrum = Lookup<TPrepareSpectrumFunc>("PrepareSpectrum");
    PrepareAbstractedSpectrum = Lookup<TPrepareSpectrumFunc>("PrepareAbstractedSpectrum");
    PrepareHighestPeaks = Lookup<TPrepareSpectrumFunc>("PrepareHighestPeaks");
  }
  ~TLoadedLibrary() {
    if (FHandle != nullptr)
      dlclose(FHandle);
  }
  TLoadedLibrary(const TLoadedLibrary&) = delete;
  TLoadedLibrary& operator=(const TLoadedLibrary&) = delete;

  bool Complete() const {
    return CalcMolMass && PrepareSpectrum && PrepareAbstractedSpectrum && PrepareHighestPeaks;
  }
  void* Symbol(const char* name) const { return FHandle ? dlsym(FHandle, name) : nullptr; }

  TCalcMolMassFunc CalcMolMass = nullptr;
  TPrepareSpectrumFunc PrepareSpectrum = nullptr;
  TPrepareSpectrumFunc PrepareAbstractedSpectrum = nullptr;
  TPrepareSpectrumFunc PrepareHighestPeaks = nullptr;

private:
  template <class F>
  F Lookup(const char* name) {
    return reinterpret_cast<F>(dlsym(FHandle, name));
  }
  void* FHandle;
};

std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// A copy of the built library in `folder`, which the loader treats as a
// separate module with its own folder.
std::string CopyLibrary(const TTempFolder& folder) {
  const std::string copy = folder.File("libMaldi.so");
  std::filesystem::copy_file(MALDI_LIBRARY_FILE, copy);
  return copy;
}

TEST(MaldiLibrary, ExportsExactlyTheFourOperationsThatWork) {
  TLoadedLibrary library(MALDI_LIBRARY_FILE);
  ASSERT_TRUE(library.Complete());
  // The library's C++ internals stay hidden.
  EXPECT_EQ(library.Symbol("_ZN5Maldi15IsotopeFilePathB5cxx11Ev"), nullptr);

  // Polystyrene unit C8H8: 8 x 12.011 + 8 x 1.008 = 104.152 (IUPAC weights).
  EXPECT_NEAR(library.CalcMolMass(u"C8H8"), 104.15, 0.01);
  TTempFolder folder;
  const std::u16string spectrum = Utf16(folder.File("Maldi4.tmp"));
  const std::u16string abstracted = Utf16(folder.File("Maldi3.tmp"));
  const std::u16string highest = Utf16(folder.File("highest.tmp"));
  EXPECT_EQ(library.PrepareSpectrum(3, u"C8H8", u"", u"C4H9H", u"Na", spectrum.c_str()), 1);
  EXPECT_EQ(library.PrepareAbstractedSpectrum(3, u"C8H8", u"", u"C4H9", u"Na", abstracted.c_str()), 1);
  EXPECT_EQ(library.PrepareHighestPeaks(3, u"C8H8", u"", u"C4H9H", u"Na", highest.c_str()), 1);

  Maldi::TSpectrumTable full, lessOne;
  std::string error;
  ASSERT_TRUE(Maldi::ReadPatternTable(ReadBytes(folder.File("Maldi4.tmp")), full, error)) << error;
  ASSERT_TRUE(Maldi::ReadPatternTable(ReadBytes(folder.File("Maldi3.tmp")), lessOne, error)) << error;
  EXPECT_EQ(full.N, 3);
  ASSERT_EQ(full.Records.size(), 16U);
  // Na C4H9 less one H is Na C4H8; with the H end group it is Na C4H10: the
  // lightest peaks differ by two hydrogen atoms, 2 x 1.0078250321 u.
  EXPECT_NEAR(full.Record(2, 0)[0].Mass - lessOne.Record(2, 0)[0].Mass, 2 * 1.0078250321, 1e-9);
  EXPECT_EQ(ReadBytes(folder.File("highest.tmp")).size(), 8U + 16U * 8U);
}

TEST(MaldiLibrary, ReportsProblemsOnTheWideErrorStreamOnly) {
  TLoadedLibrary library(MALDI_LIBRARY_FILE);
  ASSERT_TRUE(library.Complete());
  TWideErrorCapture errors;
  EXPECT_EQ(library.CalcMolMass(u"Xy2"), 0.0);
  EXPECT_EQ(library.CalcMolMass(u""), 0.0);
  EXPECT_EQ(library.CalcMolMass(u"H-1"), 0.0);
  EXPECT_EQ(library.CalcMolMass(nullptr), 0.0);
  EXPECT_EQ(errors.Text(), L"'Xy' is not an element:\nXy2\n^\n");

  TTempFolder folder;
  const std::u16string file = Utf16(folder.File("overflow.tmp"));
  // 40000 units of C100000 would be 4 x 10^9 carbon atoms.
  EXPECT_EQ(library.PrepareSpectrum(40000, u"C100000", u"", u"", u"", file.c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(folder.File("overflow.tmp")));
  EXPECT_EQ(library.PrepareSpectrum(1, u"C8H8", u"", u"", u"", nullptr), 0);
  // A lone surrogate has no file name on this system.
  const char16_t broken[] = {u'/', 0xD800, u'x', 0};
  EXPECT_EQ(library.PrepareHighestPeaks(1, u"C8H8", u"", u"", u"", broken), 0);
  EXPECT_NE(errors.Text().find(L"Atom count out of range\n"), std::wstring::npos);
}

TEST(MaldiLibrary, ReadsTheIsotopeTableBesideItsOwnFile) {
  TTempFolder folder;
  const std::string copy = CopyLibrary(folder);
  // A table in which carbon weighs exactly 100 proves which file was read.
  MaldiTest::WriteBytes(folder.File("ISOTOPE.DAT"), "C\n100.0 1.0\n\nH\n1.0 1.0\n");
  TLoadedLibrary library(copy);
  ASSERT_TRUE(library.Complete());
  EXPECT_DOUBLE_EQ(library.CalcMolMass(u"C2H"), 201.0);
  // The table is read at every call: a change takes effect at once.
  MaldiTest::WriteBytes(folder.File("ISOTOPE.DAT"), "C\n50.0 1.0\n\nH\n1.0 1.0\n");
  EXPECT_DOUBLE_EQ(library.CalcMolMass(u"C2H"), 101.0);
}

TEST(MaldiLibrary, WithoutIsotopeTableFailsAndKeepsEarlierFiles) {
  TTempFolder folder;
  const std::string copy = CopyLibrary(folder);
  TLoadedLibrary library(copy);
  ASSERT_TRUE(library.Complete());
  const std::string earlier = folder.File("Maldi2.tmp");
  MaldiTest::WriteBytes(earlier, "spectrum of the last run");
  const std::u16string name = Utf16(earlier);
  TWideErrorCapture errors;
  EXPECT_EQ(library.CalcMolMass(u"C8H8"), 0.0);
  EXPECT_EQ(library.PrepareSpectrum(2, u"C8H8", u"", u"H2", u"Na", name.c_str()), 0);
  EXPECT_EQ(library.PrepareAbstractedSpectrum(2, u"C8H8", u"", u"H2", u"Na", name.c_str()), 0);
  EXPECT_EQ(library.PrepareHighestPeaks(2, u"C8H8", u"", u"H2", u"Na", name.c_str()), 0);
  EXPECT_EQ(ReadBytes(earlier), "spectrum of the last run");
  std::wstring fourTimes;
  for (int k = 0; k < 4; ++k)
    fourTimes += L"Could not open isotope file: \n";
  EXPECT_EQ(errors.Text(), fourTimes);
}

} // namespace
