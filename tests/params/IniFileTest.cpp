#include "params/uErrors.h"
#include "params/uIniFile.h"
#include "params/uNumberFormat.h"
#include "tests/params/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace {

using Params::TIniFile;
using ParamsTest::ReadBytes;
using ParamsTest::TTempDir;
using ParamsTest::WriteBytes;

TEST(IniFile, NamesMatchWithoutRegardToCaseAndTheFirstDuplicateWins) {
  TTempDir dir;
  const auto name = dir.File("a.ini");
  WriteBytes(name, "[General]\r\nProcessType=2\r\nprocesstype=3\r\n[GENERAL]\r\nOther=1\r\n");
  TIniFile ini(name);
  EXPECT_EQ(ini.ReadInteger("general", "PROCESSTYPE", -1), 2);
  EXPECT_FALSE(ini.ValueExists("General", "Other"));  // only the first section is used
  EXPECT_EQ(ini.ReadString("General", "Missing", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("NoSection", "ProcessType", "x"), "x");
  // Latin-1 capitals fold too: "Ä" matches "ä".
  ini.WriteString("Section", "\xC3\x84rger", "1");
  EXPECT_TRUE(ini.ValueExists("section", "\xC3\xA4rger"));
}

TEST(IniFile, WritesUpdateInPlaceAppendAndKeepUntouchedBytes) {
  TTempDir dir;
  const auto name = dir.File("a.ini");
  // Mixed line ends, a comment, blank lines and a last line without a line end.
  const std::string original = "; comment\n[One]\r\nA = 1\nB=2\r\n\r\n[Two]\r\nC=3";
  WriteBytes(name, original);
  TIniFile ini(name);
  EXPECT_EQ(ini.ReadString("One", "a", ""), "1");  // blanks around names and values ignored

  ini.WriteString("ONE", "b", "20");  // in place, keeps the line end of that line
  EXPECT_EQ(ReadBytes(name), "; comment\n[One]\r\nA = 1\nb=20\r\n\r\n[Two]\r\nC=3");

  ini.WriteString("One", "D", "4");  // appended after the last non-blank line of One
  EXPECT_EQ(ReadBytes(name), "; comment\n[One]\r\nA = 1\nb=20\r\nD=4\r\n\r\n[Two]\r\nC=3");

  ini.WriteString("Two", "E", "5");  // the last line gets a line end first
  ini.WriteString("Three", "F", "6");  // a new section at the end
  EXPECT_EQ(ReadBytes(name),
            "; comment\n[One]\r\nA = 1\nb=20\r\nD=4\r\n\r\n[Two]\r\nC=3\r\nE=5\r\n[Three]\r\nF=6\r\n");

  // Comments in front of a section stay in front of it.
  const auto commented = dir.File("c.ini");
  WriteBytes(commented, "[A]\r\nX=1\r\n\r\n; about B\r\n[B]\r\nY=2\r\n");
  TIniFile c(commented);
  c.WriteString("A", "Z", "3");
  EXPECT_EQ(ReadBytes(commented), "[A]\r\nX=1\r\nZ=3\r\n\r\n; about B\r\n[B]\r\nY=2\r\n");

  ini.EraseSection("two");
  ini.DeleteKey("One", "A");
  EXPECT_EQ(ReadBytes(name), "; comment\n[One]\r\nb=20\r\nD=4\r\n\r\n[Three]\r\nF=6\r\n");
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"One", "Three"}));
  EXPECT_EQ(ini.ReadSection("One"), (std::vector<std::string>{"b", "D"}));
}

TEST(IniFile, NewFilesAreWindows1252OnDiskAndUtf8InMemory) {
  TTempDir dir;
  const auto name = dir.File("new.kpx");
  {
    TIniFile ini(name);
    ini.WriteString("Propago\xC2\xAE Parameters File", "FileValid", "1");
    ini.WriteString("Components", "Note", "\xE2\x82\xAC 5 \xCE\xB1");  // "€ 5 α": α is not in 1252
  }
  EXPECT_EQ(ReadBytes(name),
            "[Propago\xAE Parameters File]\r\nFileValid=1\r\n[Components]\r\nNote=\x80 5 ?\r\n");
  TIniFile again(name);
  EXPECT_EQ(again.ReadString("PROPAGO\xC2\xAE parameters file", "FileValid", ""), "1");
  EXPECT_EQ(again.ReadString("Components", "Note", ""), "\xE2\x82\xAC 5 ?");
}

TEST(IniFile, FileTypedAsUtf8IsReadAndWrittenAsUtf8) {
  TTempDir dir;
  const auto name = dir.File("typed.kpx");
  WriteBytes(name, "[Propago\xC2\xAE Parameters File]\nFileValid=1\n");
  TIniFile ini(name);
  EXPECT_TRUE(ini.ReadBool("Propago\xC2\xAE Parameters File", "FileValid", false));
  ini.WriteString("General", "Name", "\xC3\xA9");  // é stays two UTF-8 bytes
  EXPECT_EQ(ReadBytes(name), "[Propago\xC2\xAE Parameters File]\nFileValid=1\n[General]\r\nName=\xC3\xA9\r\n");
  // A byte-order mark is kept in front of the first section.
  const auto bom = dir.File("bom.kpx");
  WriteBytes(bom, "\xEF\xBB\xBF[S]\r\nK=1\r\n");
  TIniFile withBom(bom);
  EXPECT_EQ(withBom.ReadInteger("S", "K", 0), 1);
  withBom.WriteInteger("S", "K", 2);
  EXPECT_EQ(ReadBytes(bom), "\xEF\xBB\xBF[S]\r\nK=2\r\n");
}

TEST(IniFile, ValuesAreCutAt2047CharactersAndLineBreaksCannotSplitAnEntry) {
  TTempDir dir;
  TIniFile ini(dir.File("a.ini"));
  ini.WriteString("S", "Long", std::string(3000, 'x'));
  EXPECT_EQ(ini.ReadString("S", "Long", "").size(), 2047u);
  // 2047 characters, not bytes: a 1252 byte becomes two UTF-8 bytes in memory.
  ini.WriteString("S", "Accents", std::string(2046, 'y') + "\xC3\xA9\xC3\xA9");
  EXPECT_EQ(ini.ReadString("S", "Accents", ""), std::string(2046, 'y') + "\xC3\xA9");
  ini.WriteString("S", "Broken", "a\r\n[Evil]\r\nb");
  EXPECT_EQ(ini.ReadString("S", "Broken", ""), "a  [Evil]  b");
  EXPECT_FALSE(ini.SectionExists("Evil"));
}

TEST(IniFile, TypedReadersFallBackToTheirDefaults) {
  TTempDir dir;
  const auto name = dir.File("a.ini");
  WriteBytes(name, "[S]\r\nHex=0x1F\r\nBad=12abc\r\nEmpty=\r\nYes=7\r\nNo=0\r\nReal=2.5\r\nComma=2,5\r\n");
  Propagon::TSeparatorGuard point('.');
  TIniFile ini(name);
  EXPECT_EQ(ini.ReadInteger("S", "Hex", -1), 31);
  EXPECT_EQ(ini.ReadInteger("S", "Bad", -1), -1);
  EXPECT_EQ(ini.ReadInteger("S", "Empty", 1), 1);
  EXPECT_TRUE(ini.ReadBool("S", "Yes", false));     // any non-zero integer is true
  EXPECT_FALSE(ini.ReadBool("S", "No", true));
  EXPECT_TRUE(ini.ReadBool("S", "Missing", true));
  EXPECT_EQ(ini.ReadFloat("S", "Real", 1.0), 2.5);
  EXPECT_EQ(ini.ReadFloat("S", "Comma", 1.0), 1.0);  // the plain reader knows only its own separator
  ini.WriteFloat("S", "Out", 1.5e-12);
  EXPECT_EQ(ini.ReadString("S", "Out", ""), "1.5E-12");
  ini.WriteInteger("S", "Big", 3221225472LL);
  EXPECT_EQ(ini.ReadInt64("S", "Big", 0), 3221225472LL);
  EXPECT_EQ(ini.ReadInteger("S", "Big", -1), -1);  // does not fit 32 bits
}

TEST(IniFile, RefusedWritesReportTheFileAndLeaveItIntact) {
  TTempDir dir;
  const auto missingFolder = dir.File("no/such/folder/a.kpx");
  TIniFile ini(missingFolder);
  try {
    ini.WriteString("S", "K", "1");
    FAIL() << "the write was not refused";
  } catch (const Propagon::EIniFileException& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + missingFolder);
  }
  EXPECT_EQ(ini.ReadString("S", "K", "none"), "none");  // memory follows the disk again

  // A folder standing where the file should be.
  std::filesystem::create_directory(dir.File("folder.kpx"));
  TIniFile onFolder(dir.File("folder.kpx"));
  EXPECT_THROW(onFolder.WriteString("S", "K", "1"), Propagon::EIniFileException);

  // No temporary file is left behind by the failed writes.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path()))
    ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(IniFile, WritesKeepPermissionsAndFollowSymbolicLinks) {
  TTempDir dir;
  const auto real = dir.File("real.ini");
  WriteBytes(real, "[S]\r\nK=1\r\n");
  ::chmod(real.c_str(), 0640);
  std::filesystem::create_symlink(real, dir.File("link.ini"));
  TIniFile ini(dir.File("link.ini"));
  ini.WriteString("S", "K", "2");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.ini")));
  EXPECT_EQ(ReadBytes(real), "[S]\r\nK=2\r\n");
  struct stat st {};
  ::stat(real.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(IniFile, ReadsSeeChangesMadeByOthers) {
  TTempDir dir;
  const auto name = dir.File("a.ini");
  TIniFile ini(name);
  EXPECT_FALSE(ini.SectionExists("S"));
  WriteBytes(name, "[S]\r\nK=1\r\n");
  EXPECT_EQ(ini.ReadInteger("S", "K", 0), 1);
  WriteBytes(name, "[S]\r\nK=22\r\n");  // different size: seen at once
  EXPECT_EQ(ini.ReadInteger("S", "K", 0), 22);
  std::filesystem::remove(name);
  EXPECT_EQ(ini.ReadInteger("S", "K", 0), 0);
}

TEST(IniFile, UpdatesGroupWritesAndCancelLeavesTheFileAsItWas) {
  TTempDir dir;
  const auto name = dir.File("a.ini");
  WriteBytes(name, "[S]\r\nK=1\r\n");
  TIniFile ini(name);
  ini.BeginUpdate();
  ini.WriteString("S", "K", "2");
  ini.WriteString("S", "L", "3");
  EXPECT_EQ(ReadBytes(name), "[S]\r\nK=1\r\n");     // nothing on disk yet
  EXPECT_EQ(ini.ReadString("S", "L", ""), "3");      // but readable
  ini.EndUpdate();
  EXPECT_EQ(ReadBytes(name), "[S]\r\nK=2\r\nL=3\r\n");

  ini.BeginUpdate();
  ini.WriteString("S", "K", "9");
  ini.CancelUpdate();
  EXPECT_EQ(ini.ReadString("S", "K", ""), "2");
  EXPECT_EQ(ReadBytes(name), "[S]\r\nK=2\r\nL=3\r\n");
}

TEST(IniFile, Windows1252Conversions) {
  EXPECT_EQ(Params::Cp1252ToUtf8("\x80\xAE\xE9\x81"), "\xE2\x82\xAC\xC2\xAE\xC3\xA9\xC2\x81");
  EXPECT_EQ(Params::Utf8ToCp1252("\xE2\x82\xAC\xC2\xAE\xC3\xA9\xC2\x81"), "\x80\xAE\xE9\x81");
  EXPECT_EQ(Params::Utf8ToCp1252("\xE4\xB8\xAD\xFF"), "??");  // CJK and a stray byte
}

} // namespace
