// The results folder in-process: the fresh folder beside the target, the
// swap, and what happens when the earlier folder changes under a run.

#include "cli/uResultsFolder.h"
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace {

using namespace CliTest;
namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

TEST(ResultsFolder, TheFreshFolderReplacesTheEarlierOneWholeWithItsMode) {
  TTempDir dir;
  const fs::path target = dir.Path() / "res";
  fs::create_directory(target);
  ::chmod(target.c_str(), 0750);
  Write(target / "chains.tsv", "old");
  Write(target / "log.txt.part-AbC123", "left by a killed writer");

  Cli::TResultsFolder folder;
  std::string error;
  ASSERT_TRUE(folder.Prepare(target, error)) << error;
  EXPECT_TRUE(folder.HadEarlier());
  EXPECT_EQ(folder.Staging().parent_path(), target.parent_path());
  struct stat st {};
  ASSERT_EQ(::stat(folder.Staging().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u) << "nobody else can plant a link while it is written";
  Write(folder.Staging() / "summary.json", "new");
  EXPECT_EQ(folder.InTarget("Unable to write to " + (folder.Staging() / "sec.tsv").string()),
            "Unable to write to " + (target / "sec.tsv").string());

  ASSERT_TRUE(folder.Commit(error)) << error;
  EXPECT_EQ(ReadText(target / "summary.json"), "new");
  EXPECT_FALSE(fs::exists(target / "chains.tsv"));
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0750u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(ResultsFolder, AnEarlierFolderRemovedDuringTheRunDoesNotCostTheNewResults) {
  TTempDir dir;
  const fs::path target = dir.Path() / "res";
  fs::create_directory(target);
  Cli::TResultsFolder folder;
  std::string error;
  ASSERT_TRUE(folder.Prepare(target, error)) << error;
  Write(folder.Staging() / "summary.json", "new");
  fs::remove_all(target);
  ASSERT_TRUE(folder.Commit(error)) << error;
  EXPECT_EQ(ReadText(target / "summary.json"), "new");
}

TEST(ResultsFolder, DiscardedOrAbandonedFreshFoldersLeaveNothing) {
  TTempDir dir;
  const fs::path target = dir.Path() / "a" / "b" / "res"; // the levels above are made
  {
    Cli::TResultsFolder folder;
    std::string error;
    ASSERT_TRUE(folder.Prepare(target, error)) << error;
    Write(folder.Staging() / "log.txt", "x");
  }
  EXPECT_TRUE(fs::is_empty(dir.Path() / "a" / "b"));
  EXPECT_FALSE(fs::exists(target));

  // Names of a run's outputs, and the temporaries of their writers.
  EXPECT_TRUE(Cli::IsRunOutputName("mass_distribution_smoothed.tsv"));
  EXPECT_TRUE(Cli::IsRunOutputName("summary.json.part-x1Y2z3"));
  EXPECT_FALSE(Cli::IsRunOutputName("summary.json.bak"));
  EXPECT_FALSE(Cli::IsRunOutputName(".part-"));
  EXPECT_FALSE(Cli::IsRunOutputName("notes.txt"));
}

} // namespace
