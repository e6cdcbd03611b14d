// What the main window and the command line check when they open a file to
// run it: a process type with a kernel, and check points from 0.

#include "params/uParamFile.h"
#include "params/uRunChecks.h"
#include "tests/params/TempDir.h"

#include <gtest/gtest.h>

namespace {

using ParamsTest::TTempDir;
using ParamsTest::WriteBytes;

std::string Problem(const TTempDir& dir, const std::string& general, const std::string& checkPoints) {
  const std::string name = dir.File("run.kpx");
  WriteBytes(name, "[Propago\xAE Parameters File]\r\nFileValid=1\r\n[General]\r\n" + general +
                       "[CheckingPoints]\r\n" + checkPoints);
  return Params::RunnableFileProblem(Params::TParameterFile(name));
}

TEST(RunnableFile, ProcessTypesWithoutAKernelAreNamed) {
  TTempDir dir;
  const std::string points = "0=0\r\n1=10\r\n";
  for (const char* type : {"0", "1", "2", "3", " 2 "})
    EXPECT_EQ(Problem(dir, std::string("ProcessType=") + type + "\r\n", points), "") << type;
  // Absent, as the engine has always read it: living.
  EXPECT_EQ(Problem(dir, "", points), "");
  const std::string kinds = " is not a Process Type (0 living, 1 free radical, 2 ATRP, 3 living reversible)";
  EXPECT_EQ(Problem(dir, "ProcessType=7\r\n", points), "ProcessType 7" + kinds);
  EXPECT_EQ(Problem(dir, "ProcessType=-1\r\n", points), "ProcessType -1" + kinds);
  EXPECT_EQ(Problem(dir, "ProcessType=257\r\n", points), "ProcessType 257" + kinds) << "not 257 mod 256 = 1";
  EXPECT_EQ(Problem(dir, "ProcessType=1.5\r\n", points), "ProcessType \"1.5\"" + kinds);
  EXPECT_EQ(Problem(dir, "ProcessType=99999999999\r\n", points), "ProcessType 99999999999" + kinds);
}

TEST(RunnableFile, CheckPointsStartAtZero) {
  TTempDir dir;
  const std::string type = "ProcessType=1\r\n";
  EXPECT_EQ(Problem(dir, type, "0=0,0000\r\n1=10\r\n"), "");
  EXPECT_EQ(Problem(dir, type, "0=5\r\n1=10\r\n"), "The First Checking Point must be 0 (the Start of the Run), not 5");
  EXPECT_EQ(Problem(dir, type, "0=1e-9\r\n"), "The First Checking Point must be 0 (the Start of the Run), not 1E-9");
  // Nothing to say about a list the run itself refuses with its own words.
  EXPECT_EQ(Problem(dir, type, ""), "");
  EXPECT_EQ(Problem(dir, type, "0=soon\r\n"), "");
  EXPECT_EQ(Params::FirstCheckPointProblem(0.0), "");
  EXPECT_EQ(Params::ProcessTypeProblem(3), "");
}

} // namespace
