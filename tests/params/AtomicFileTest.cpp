// Output files replaced whole or not at all (params/uAtomicFile.h).

#include "params/uAtomicFile.h"
#include "tests/params/TempDir.h"
#include "tests/support/FileSizeLimit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ParamsTest::ReadBytes;
using ParamsTest::TTempDir;
using ParamsTest::WriteBytes;

// Names in the folder other than the ones a test made: a temporary file left
// behind would show up here.
std::size_t EntryCount(const std::filesystem::path& folder) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
    ++n;
  return n;
}

mode_t ModeOf(const std::string& file) {
  struct stat st {};
  ::stat(file.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(AtomicFile, WritesANewFileAndReplacesAnOldOneKeepingItsPermissions) {
  TTempDir dir;
  const std::string file = dir.File("table.tsv");
  ASSERT_TRUE(Propagon::WriteFileAtomically(file, "a\t1\n"));
  EXPECT_EQ(ReadBytes(file), "a\t1\n");
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(ModeOf(file), 0666 & ~mask) << "a new file as a plain open would make it";

  ::chmod(file.c_str(), 0640);
  {
    Propagon::TAtomicFile out(file);
    ASSERT_TRUE(out.IsOpen());
    out.Stream() << "b\t2\n";
    // Until the commit the old text is what a reader sees.
    EXPECT_EQ(ReadBytes(file), "a\t1\n");
    EXPECT_TRUE(out.Commit());
    EXPECT_TRUE(out.Commit()) << "a second call repeats the answer";
  }
  EXPECT_EQ(ReadBytes(file), "b\t2\n");
  EXPECT_EQ(ModeOf(file), 0640u);
  EXPECT_EQ(EntryCount(dir.Path()), 1u);
}

TEST(AtomicFile, ASymbolicLinkIsReplacedNeverWrittenThrough) {
  TTempDir dir;
  // A link planted where an output goes (log.txt -> someone's file) must not
  // redirect the write: the link is replaced, the file it named stays.
  WriteBytes(dir.File("real.txt"), "old");
  std::filesystem::create_symlink(dir.File("real.txt"), dir.File("link.txt"));
  ASSERT_TRUE(Propagon::WriteFileAtomically(dir.File("link.txt"), "new"));
  EXPECT_FALSE(std::filesystem::is_symlink(dir.File("link.txt")));
  EXPECT_EQ(ReadBytes(dir.File("link.txt")), "new");
  EXPECT_EQ(ReadBytes(dir.File("real.txt")), "old");
  EXPECT_EQ(EntryCount(dir.Path()), 2u);

  // A dangling link, or one to a folder, is replaced the same way.
  std::filesystem::create_symlink(dir.File("nowhere"), dir.File("dangling.txt"));
  std::filesystem::create_directory(dir.File("folder"));
  std::filesystem::create_symlink(dir.File("folder"), dir.File("to-folder.txt"));
  EXPECT_TRUE(Propagon::WriteFileAtomically(dir.File("dangling.txt"), "a"));
  EXPECT_TRUE(Propagon::WriteFileAtomically(dir.File("to-folder.txt"), "b"));
  EXPECT_EQ(ReadBytes(dir.File("dangling.txt")), "a");
  EXPECT_EQ(ReadBytes(dir.File("to-folder.txt")), "b");
  EXPECT_FALSE(std::filesystem::exists(dir.File("nowhere")));
  EXPECT_TRUE(std::filesystem::is_empty(dir.File("folder")));
}

TEST(AtomicFile, AFullDiskKeepsTheOldFileByteForByte) {
  TTempDir dir;
  const std::string file = dir.File("log.txt");
  const std::string old(300, 'o');
  WriteBytes(file, old);
  {
    // Room for 100 bytes: the 200-byte text fails part way.
    TestSupport::TFileSizeLimit full(100);
    Propagon::TAtomicFile out(file);
    ASSERT_TRUE(out.IsOpen());
    out.Stream() << std::string(200, 'n');
    EXPECT_FALSE(out.Commit());
  }
  EXPECT_EQ(ReadBytes(file), old);
  EXPECT_EQ(EntryCount(dir.Path()), 1u) << "no temporary file is left";
}

TEST(AtomicFile, AnUncommittedFileLeavesTheOldOne) {
  TTempDir dir;
  const std::string file = dir.File("sec.tsv");
  WriteBytes(file, "old");
  {
    Propagon::TAtomicFile out(file);
    out.Stream() << "half a tab";
  }
  EXPECT_EQ(ReadBytes(file), "old");
  {
    Propagon::TAtomicFile out(file);
    out.Stream() << "discarded";
    out.Discard();
    EXPECT_FALSE(out.Commit());
  }
  EXPECT_EQ(ReadBytes(file), "old");
  EXPECT_EQ(EntryCount(dir.Path()), 1u);
}

TEST(AtomicFile, FoldersAndFilesThatRefuseTheWriteAreRefused) {
  TTempDir dir;
  EXPECT_FALSE(Propagon::WriteFileAtomically(dir.File("no-such-folder/a.txt"), "x"));
  std::filesystem::create_directory(dir.Path() / "folder");
  EXPECT_FALSE(Propagon::WriteFileAtomically(dir.File("folder"), "x")) << "a folder is not replaced by a file";
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "folder"));

  // A read-only file, and a writable file in a read-only folder: permission
  // checks do not apply to root, so the writes run in a child process that
  // has become an ordinary user.
  const std::filesystem::path locked = dir.Path() / "locked";
  std::filesystem::create_directory(locked);
  const std::string readOnly = (locked / "read-only.txt").string();
  const std::string writable = (locked / "writable.txt").string();
  WriteBytes(readOnly, "old 1");
  WriteBytes(writable, "old 2");
  ::chmod(readOnly.c_str(), 0444);
  ::chmod(writable.c_str(), 0666);
  ::chmod(locked.c_str(), 0555);
  ::chmod(dir.Path().c_str(), 0755);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
      ::_exit(3);
    const bool first = Propagon::WriteFileAtomically(readOnly, "new");
    const bool second = Propagon::WriteFileAtomically(writable, "new");
    ::_exit(first ? 1 : second ? 2 : 0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ::chmod(locked.c_str(), 0755);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: a read-only file was replaced; 2: a file in a read-only folder was; "
                                       "3: no ordinary user to test with";
  EXPECT_EQ(ReadBytes(readOnly), "old 1");
  EXPECT_EQ(ReadBytes(writable), "old 2");
  EXPECT_EQ(EntryCount(locked), 2u);
}

} // namespace
