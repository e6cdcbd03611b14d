#include "params/uErrors.h"
#include "params/uFileSizeLimit.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"
#include "tests/params/RecordingReporter.h"
#include "tests/params/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

using Params::TParameterFile;
using ParamsTest::ReadBytes;
using ParamsTest::TRecordingReporter;
using ParamsTest::TTempDir;
using ParamsTest::WriteBytes;

const std::string Marker = "[Propago\xAE Parameters File]\r\nFileValid=1\r\n";

TEST(ParameterFile, EitherSeparatorReadsTheSameRealWhateverTheReadersSeparator) {
  TTempDir dir;
  const auto name = dir.File("sep.kpx");
  WriteBytes(name, Marker + "[R]\r\nComma=0,25\r\nPoint=0.25\r\nBoth=1.234,5\r\nExp=1,5E-12\r\n");
  TParameterFile file(name);
  for (char separator : {'.', ','}) {
    Propagon::TSeparatorGuard guard(separator);
    EXPECT_EQ(file.ReadLocalFloat("R", "Comma"), 0.25);
    EXPECT_EQ(file.ReadLocalFloat("R", "Point"), 0.25);
    EXPECT_EQ(file.ReadLocalFloat("R", "Exp"), 1.5e-12);
    EXPECT_EQ(file.ReadLocalString("R", "Comma"), std::string("0") + separator + "25");
    // The last separator is the comma; the point stays and the text is no number.
    try {
      file.ReadLocalFloat("R", "Both");
      FAIL() << "1.234,5 was accepted";
    } catch (const Propagon::EConvertError& e) {
      EXPECT_EQ(std::string(e.what()),
                std::string("'1.234") + separator + "5' is not a valid floating point value");
    }
  }
}

TEST(ParameterFile, FilesWithoutATrueMarkerAreRefusedByName) {
  TTempDir dir;
  const auto zero = dir.File("zero.kpx");
  WriteBytes(zero, "[Propago\xAE Parameters File]\r\nFileValid=0\r\n[General]\r\nProcessType=1\r\n");
  const auto none = dir.File("none.kpx");
  WriteBytes(none, "[General]\r\nProcessType=1\r\n");
  for (const auto& name : {zero, none, dir.File("absent.kpx")}) {
    TRecordingReporter reporter;
    EXPECT_FALSE(TParameterFile(name).CheckFileValid(reporter));
    ASSERT_EQ(reporter.Messages.size(), 1u);
    EXPECT_EQ(reporter.Messages[0], "information: \"" + name + "\"\r\nis not a Valid Parameters File!");
  }
}

TEST(ParameterFile, AFileOverTheSizeLimitIsRefusedBeforeItIsRead) {
  // The check every opener makes (the main window, the editor, the command line).
  TTempDir dir;
  const auto name = dir.File("huge.kpx");
  WriteBytes(name, Marker);
  std::filesystem::resize_file(name, Params::MaxParameterFileSize + 1);
  TRecordingReporter reporter;
  EXPECT_FALSE(TParameterFile(name).CheckFileValid(reporter));
  ASSERT_EQ(reporter.Messages.size(), 1u);
  EXPECT_EQ(reporter.Messages[0],
            "error: \"" + name + "\"\r\nis too large for a Parameters File: 32.0 MB (the limit is 32 MB)");

  // At the limit exactly the marker is read as usual.
  std::filesystem::resize_file(name, Params::MaxParameterFileSize);
  TRecordingReporter atLimit;
  EXPECT_TRUE(TParameterFile(name).CheckFileValid(atLimit));
  EXPECT_TRUE(atLimit.Messages.empty());
  EXPECT_EQ(Params::ParameterFileSizeError(dir.File("absent.kpx")), "");
}

TEST(ParameterFile, AFileHoldingOnlyTheMarkerIsAcceptedAndReadsAsDefaults) {
  TTempDir dir;
  const auto name = dir.File("only.kpx");
  WriteBytes(name, Marker);
  TParameterFile file(name);
  TRecordingReporter reporter;
  EXPECT_TRUE(file.CheckFileValid(reporter));
  EXPECT_TRUE(reporter.Messages.empty());
  EXPECT_EQ(file.ReadInteger("General", "ProcessType", -1), -1);
  EXPECT_EQ(file.ReadString("Components", "InitiatorFormula", ""), "");
  EXPECT_EQ(file.ReadLocalString("General", "TotalVolume"), "");
  try {
    file.ReadLocalFloat("ChemicalRates", "TimeInterval");
    FAIL() << "an absent local real was accepted";
  } catch (const Propagon::EConvertError& e) {
    EXPECT_EQ(std::string(e.what()), "'' is not a valid floating point value");
  }
}

TEST(ParameterFile, SetFileValidWritesTheMarkerAsTheSingleByte0xAE) {
  TTempDir dir;
  const auto name = dir.File("new.kpx");
  TParameterFile file(name);
  file.SetFileValid(true);
  EXPECT_EQ(ReadBytes(name), Marker);
  file.SetFileValid(false);
  EXPECT_EQ(ReadBytes(name), "[Propago\xAE Parameters File]\r\nFileValid=0\r\n");
}

TEST(ParameterFile, CheckingPointsSkipEmptyLinesAndStopAtTheFirstGap) {
  TTempDir dir;
  const auto name = dir.File("cp.kpx");
  WriteBytes(name, Marker + "[CheckingPoints]\r\n0=0\r\n1=1,5\r\n2=7\r\n");
  Propagon::TSeparatorGuard point('.');
  TParameterFile file(name);
  file.WriteCheckingPoints({"0.0000", "", "10.0000", "  ", "100,0000"});
  EXPECT_EQ(ReadBytes(name), Marker + "[CheckingPoints]\r\n0=0.0000\r\n1=10.0000\r\n2=100,0000\r\n");
  std::vector<std::string> lines{"stale"};
  file.ReadCheckingPoints(lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"0.0000", "10.0000", "100.0000"}));
  int high = 0;
  std::vector<double> times;
  file.ReadCheckingPointsArray(high, times);
  EXPECT_EQ(high, 2);
  EXPECT_EQ(times, (std::vector<double>{0.0, 10.0, 100.0}));

  // Keys after a gap are not read.
  WriteBytes(name, Marker + "[CheckingPoints]\r\n0=1\r\n2=3\r\n");
  file.ReadCheckingPointsArray(high, times);
  EXPECT_EQ(high, 0);
  EXPECT_EQ(times.size(), 1u);
}

TEST(ParameterFile, EmptyCheckingPointsSectionGivesNoPoints) {
  TTempDir dir;
  const auto name = dir.File("cp.kpx");
  WriteBytes(name, Marker + "[CheckingPoints]\r\n[Controls]\r\nCheckingPointsNumber=5\r\n");
  TParameterFile file(name);
  std::vector<std::string> lines{"stale"};
  file.ReadCheckingPoints(lines);
  EXPECT_TRUE(lines.empty());
  int high = 7;
  std::vector<double> times{1.0};
  file.ReadCheckingPointsArray(high, times);
  EXPECT_EQ(high, -1);
  EXPECT_TRUE(times.empty());
  // Writing an empty list leaves no section behind and keeps the others.
  file.WriteCheckingPoints({});
  EXPECT_FALSE(file.SectionExists("CheckingPoints"));
  EXPECT_EQ(file.ReadInteger("Controls", "CheckingPointsNumber", 1), 5);
}

TEST(ParameterFile, BadCheckingPointRaisesTheConversionError) {
  TTempDir dir;
  const auto name = dir.File("cp.kpx");
  WriteBytes(name, Marker + "[CheckingPoints]\r\n0=0\r\n1=ten\r\n");
  TParameterFile file(name);
  int high = 0;
  std::vector<double> times;
  EXPECT_THROW(file.ReadCheckingPointsArray(high, times), Propagon::EConvertError);
}

TEST(ParameterFile, ALongValueIsReadCutTo2047Characters) {
  TTempDir dir;
  const auto name = dir.File("long.kpx");
  WriteBytes(name, Marker + "[Components]\r\nMonomerAFormula=" + std::string(5000, 'C') + "\r\n");
  TParameterFile file(name);
  EXPECT_EQ(file.ReadString("Components", "MonomerAFormula", ""), std::string(2047, 'C'));
}

TEST(StreamReporter, WritesEachBoxAsIndentedLinesAndAnswersAsTold) {
  std::ostringstream out;
  Params::TStreamReporter reporter(out, true);
  reporter.ShowWarning("[R*] is very low!\n\rAn effect of confined volume will appear");  // LF CR
  reporter.ShowError("EMathError\r\nRequired an Integer Value>0");                         // CR LF
  reporter.ShowInformation("All Parameters are Valid!");
  EXPECT_TRUE(reporter.AskConfirmation("Overwrite?"));
  EXPECT_EQ(out.str(),
            "Warning: [R*] is very low!\n         An effect of confined volume will appear\n"
            "Error: EMathError\n       Required an Integer Value>0\n"
            "All Parameters are Valid!\n"
            "Question: Overwrite?\n(answered Yes)\n");
}

} // namespace
