// The library calls per process type, through a fake library that records
// them and writes known tables; the whole calculation on top of it.

#include "MaldiViewTestSupport.h"

#include "maldiview/uMALDISpectrum.h"
#include "params/uParamFile.h"
#include "shell/uMaldiBinding.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using namespace MaldiView;
using namespace MaldiViewTest;

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

class MaldiTableJob : public ::testing::Test {
protected:
  void SetUp() override {
    Binding.CheckMALDILibrary(std::string(PROPAGON_MALDIVIEW_FAKE_DIR) + "/complete/libMaldi.so");
    ASSERT_TRUE(Binding.SpectrumAvailable());
    std::ofstream(Dir.File("run.kpx")) << "[Components]\n"
                                          "InitiatorFormula=C8H12N4\n"
                                          "InitiatorAttachedGroup=C4H6N\n"
                                          "MonomerAFormula=C8H8\n"
                                          "MonomerBFormula=C5H8O2\n";
  }
  void TearDown() override { Engine::SimState().FreeAll(); }

  std::string CallLine(const char* op, int n, const std::string& ends, const char* file) const {
    return std::string(op) + "|" + std::to_string(n) + "|C8H8|C5H8O2|" + ends + "|Na|" + Dir.Folder() + file;
  }

  TTempDir Dir;
  Shell::TMaldiBinding Binding;
};

TEST_F(MaldiTableJob, OneCallPerCurveWithTheEndGroupsOfTheProcess) {
  const Params::TParameterFile file(Dir.File("run.kpx"));
  const std::string log = Dir.File("calls.log");

  ASSERT_EQ(RunTableJob(Binding, MakeTableJob(file, 0, 3, "Na", Dir.Folder())).ExitCode, 1);
  EXPECT_EQ(Lines(log), (std::vector<std::string>{CallLine("PrepareSpectrum", 3, "C4H6N", "Maldi4.tmp")}));

  std::remove(log.c_str());
  ASSERT_EQ(RunTableJob(Binding, MakeTableJob(file, 1, 3, "Na", Dir.Folder())).ExitCode, 1);
  // Free radical: AIBN (C8H12N4) loses N2, so a recombined chain carries two
  // C4H6N fragments, as in ATRP.
  EXPECT_EQ(Lines(log), (std::vector<std::string>{CallLine("PrepareSpectrum", 3, "C4H6NC4H6N", "Maldi1.tmp"),
                                                   CallLine("PrepareSpectrum", 3, "C4H6NH", "Maldi2.tmp"),
                                                   CallLine("PrepareAbstractedSpectrum", 3, "C4H6N", "Maldi3.tmp")}));

  std::remove(log.c_str());
  ASSERT_EQ(RunTableJob(Binding, MakeTableJob(file, 2, 3, "Na", Dir.Folder())).ExitCode, 1);
  EXPECT_EQ(Lines(log), (std::vector<std::string>{CallLine("PrepareSpectrum", 3, "C4H6NC4H6N", "Maldi1.tmp"),
                                                   CallLine("PrepareSpectrum", 3, "C4H6NH", "Maldi2.tmp"),
                                                   CallLine("PrepareAbstractedSpectrum", 3, "C4H6N", "Maldi3.tmp"),
                                                   CallLine("PrepareSpectrum", 3, "C8H12N4", "Maldi4.tmp")}));
}

TEST_F(MaldiTableJob, LivingReversibleLogsExitCodeZeroAndWhy) {
  const Params::TParameterFile file(Dir.File("run.kpx"));
  Engine::TSimState& s = Store(Engine::ptLivingReversible, 2);
  TMALDISpectrum spectrum;
  spectrum.TempDir = Dir.Folder();
  spectrum.Cation = "Na";
  TestSupport::TLogCapture log;
  EXPECT_EQ(spectrum.SaveTemporarySpectrum(Binding, file, s), 0);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                             "Prepare MALDI Exit Code = 0",
                             "The MALDI spectrum needs a process with defined end groups (living, free-radical or "
                             "ATRP polymerization)"}));
  EXPECT_FALSE(std::filesystem::exists(Dir.File("calls.log")));
}

TEST_F(MaldiTableJob, ALibraryWithoutTheAbstractedOperationIsRefusedBeforeAnyCall) {
  Shell::TMaldiBinding partial;
  partial.CheckMALDILibrary(std::string(PROPAGON_MALDIVIEW_FAKE_DIR) + "/no-abstracted/libMaldi.so");
  ASSERT_TRUE(partial.SpectrumAvailable());
  const Params::TParameterFile file(Dir.File("run.kpx"));
  const TTableResult atrp = RunTableJob(partial, MakeTableJob(file, 2, 3, "Na", Dir.Folder()));
  EXPECT_EQ(atrp.ExitCode, 0);
  EXPECT_NE(atrp.Error.find("\"PrepareAbstractedSpectrum\""), std::string::npos) << atrp.Error;
  EXPECT_FALSE(std::filesystem::exists(Dir.File("calls.log")));
  // A living run needs no abstracted table: the same library serves it.
  EXPECT_EQ(RunTableJob(partial, MakeTableJob(file, 0, 3, "Na", Dir.Folder())).ExitCode, 1);
  // No library at all.
  const Shell::TMaldiBinding none;
  EXPECT_EQ(RunTableJob(none, MakeTableJob(file, 0, 3, "Na", Dir.Folder())).ExitCode, 0);
}

TEST_F(MaldiTableJob, ProgressReportsEachTableAndCanCancelBetweenThem) {
  const Params::TParameterFile file(Dir.File("run.kpx"));
  std::vector<std::pair<int, int>> seen;
  const TTableResult all = RunTableJob(Binding, MakeTableJob(file, 2, 2, "Na", Dir.Folder()), [&](int done, int total) {
    seen.emplace_back(done, total);
    return true;
  });
  EXPECT_EQ(all.ExitCode, 1);
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}}));

  std::remove(Dir.File("calls.log").c_str());
  const TTableResult cancelled =
      RunTableJob(Binding, MakeTableJob(file, 2, 2, "Na", Dir.Folder()), [](int done, int) { return done < 2; });
  EXPECT_TRUE(cancelled.Cancelled);
  EXPECT_EQ(cancelled.ExitCode, 0);
  EXPECT_EQ(Lines(Dir.File("calls.log")).size(), 2u);
}

TEST_F(MaldiTableJob, CalculationFromStoreToCurves) {
  // Fake tables: molecule (i, j) has its one peak at 100 i + 10 j + 1.
  const Params::TParameterFile file(Dir.File("run.kpx"));
  Engine::TSimState& s = Store(Engine::ptFreeRadical, 6);
  SetChain(s, 1, Units(3, 1));     // I~H
  SetChain(s, 2, Units(3, 1));     // I~=
  SetChain(s, 3, Units(2, 0), 2);  // I~~I
  SetChain(s, 4, Units(3, 1));     // I~H
  SetChain(s, 5, Units(12, 0));    // 12 units of A > n: not counted
  TMALDISpectrum spectrum;
  spectrum.TempDir = Dir.Folder();
  spectrum.Cation = "Na";
  spectrum.UpperLimit = "1000";
  spectrum.LabelLevel = 2;
  TestSupport::TLogCapture log;
  std::string error;
  ASSERT_TRUE(spectrum.Calculate(Binding, file, s, error)) << error;
  // n = trunc(1000 / 100.1158) + 1 = 9 + 1 = 10 (MMA is the lighter unit).
  EXPECT_EQ(spectrum.N, 10);
  EXPECT_TRUE(log.Contains("Prepare MALDI Exit Code = 1"));
  EXPECT_EQ(spectrum.ActiveCurves(), (std::vector<int>{0, 1, 2}));
  ASSERT_EQ(spectrum.Axis.size(), 10001u);
  // (3, 1) at m/z 311 -> index 3110: two chains in I~H, one in I~=.
  EXPECT_DOUBLE_EQ(spectrum.Curves[1].Intensities[3110], 2.0);
  EXPECT_EQ(spectrum.Curves[1].Label(3110), "3+1");
  EXPECT_DOUBLE_EQ(spectrum.Curves[2].Intensities[3110], 1.0);
  EXPECT_EQ(spectrum.Curves[2].Label(3110), ""); // 1 chain is below label level 2
  EXPECT_DOUBLE_EQ(spectrum.Curves[0].Intensities[2010], 1.0);

  // A later calculation that cannot be made leaves this spectrum alone.
  spectrum.UpperLimit = "x";
  EXPECT_FALSE(spectrum.Calculate(Binding, file, s, error));
  EXPECT_EQ(error, "'x' is not a valid floating point value");
  EXPECT_DOUBLE_EQ(spectrum.Curves[1].Intensities[3110], 2.0);
  EXPECT_EQ(spectrum.N, 10);
}

} // namespace
