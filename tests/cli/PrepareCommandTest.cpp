// polykin-cli prepare, end to end: hand-written files of every process type
// become runnable, broken ones are refused with the editor's message and exit
// code 2, a missing library is named, and every example is a fixed point.

#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using namespace CliTest;

// Files are written with the locale's decimal separator: pin it.
class CliPrepare : public ::testing::Test {
protected:
  CliPrepare() { ::setenv("LC_ALL", "C", 1); }
};

TEST_F(CliPrepare, EveryExampleIsWrittenBackUnchanged) {
  TTempDir dir;
  int examples = 0;
  for (const auto& entry : std::filesystem::directory_iterator(PROPAGON_EXAMPLES)) {
    if (entry.path().extension() != ".kpx")
      continue;
    ++examples;
    SCOPED_TRACE(entry.path().filename().string());
    const std::string copy = dir / entry.path().filename().string();
    std::filesystem::copy_file(entry.path(), copy, std::filesystem::copy_options::overwrite_existing);
    const TProcessResult prepared = RunCli("prepare '" + copy + "'", dir.Path());
    ASSERT_EQ(prepared.ExitCode, 0) << prepared.Err;
    EXPECT_EQ(ReadText(copy), ReadText(entry.path()))
        << "regenerate it: polykin-cli prepare " << entry.path().string();
  }
  EXPECT_GT(examples, 0);
}

TEST_F(CliPrepare, HandWrittenFilesOfEveryTypeBecomeRunnable) {
  TTempDir dir;
  for (const char* type : {"living", "freeradical", "atrp", "reversible"}) {
    SCOPED_TRACE(type);
    const std::string input = Fixture(std::string("prepare-") + type + "-handwritten.kpx");
    const std::string ready = dir / (std::string(type) + ".kpx");
    const TProcessResult prepared = RunCli("prepare '" + input + "' --out '" + ready + "'", dir.Path());
    ASSERT_EQ(prepared.ExitCode, 0) << prepared.Err;
    EXPECT_NE(prepared.Out.find("All Parameters are Valid!\n"), std::string::npos);
    EXPECT_NE(prepared.Out.find("Prepared \"" + ready + "\"\n"), std::string::npos);
    EXPECT_NE(ReadText(ready).find("[Propago\xAE Parameters File]\r\nFileValid=1\r\n"), std::string::npos);
    // The real library's molar masses, e.g. C6H10O2 for caprolactone.
    if (std::string(type) == "living") {
      EXPECT_NE(ReadText(ready).find("MonomerAMolWeight=114.1"), std::string::npos);
    }

    const TProcessResult run = RunCli("run '" + ready + "' --out results --seed 3", dir.Path());
    EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    EXPECT_NE(run.Out.find("The Window Can be Closed!"), std::string::npos);
    std::filesystem::remove_all(dir.Path() / "results");
  }
}

TEST_F(CliPrepare, BrokenFilesAreRefusedWithTheEditorsMessage) {
  TTempDir dir;
  TProcessResult r = RunCli("prepare '" + Fixture("prepare-broken-initiator-number.kpx") + "' --out out.kpx", dir.Path());
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("Error: EConvertError\n'12.5' is not a valid integer value\n"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("(in General/InitiatorNumber of"), std::string::npos);
  EXPECT_NE(r.Err.find("Nothing was written."), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.kpx"));

  r = RunCli("prepare '" + Fixture("prepare-broken-no-process-type.kpx") + "' --out out.kpx", dir.Path());
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("Error: EMathError\nProcess Type not Selected!\n"), std::string::npos) << r.Err;

  r = RunCli("prepare missing.kpx", dir.Path());
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("Cannot read the parameter file \"missing.kpx\""), std::string::npos) << r.Err;

  r = RunCli("prepare", dir.Path());  // no file named
  EXPECT_EQ(r.ExitCode, 1);
}

TEST_F(CliPrepare, AMissingLibraryIsNamed) {
  TTempDir dir;
  const std::string input = dir / "living.kpx";
  std::filesystem::copy_file(Fixture("prepare-living-handwritten.kpx"), input);
  const std::string before = ReadText(input);
  const TProcessResult r = RunCli("prepare living.kpx --library '" + (dir / "libMaldi.so") + "'", dir.Path());
  EXPECT_EQ(r.ExitCode, 3);
  EXPECT_NE(r.Err.find("the isotopic library \"" + (dir / "libMaldi.so") + "\" is missing"), std::string::npos)
      << r.Err;
  EXPECT_EQ(ReadText(input), before);
}

} // namespace
