// The output folder of `polykin-cli run` and the file of `prepare --out`, as
// a careless or hostile neighbour meets them: links planted in the folder,
// folders of another user, reruns that fail, signals and file-size limits
// in the middle of a run. Nothing that existed before is lost or overwritten.

#include "params/uIniFile.h"

#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using namespace CliTest;
namespace fs = std::filesystem;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Every entry below `root` whose name holds ".part" (a writer's temporary).
std::vector<std::string> Temporaries(const fs::path& root) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (Has(entry.path().filename().string(), ".part")) found.push_back(entry.path().string());
  return found;
}

// Runs a shell command line in `cwd` and gives the exit status the shell saw.
int Shell(const std::string& line, const fs::path& cwd) {
  const std::string command = "cd '" + cwd.string() + "' && " + line;
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const std::string Cli = "'" PROPAGON_CLI "'";
const std::string Living = "'" + Example("living-caprolactone.kpx") + "'";

TEST(OutputFolder, LinksPlantedInTheFolderAreReplacedNotWrittenThrough) {
  TTempDir dir;
  ASSERT_EQ(RunCli("run " + Living + " --out res --seed 1 --quiet", dir.Path()).ExitCode, 0);
  // Someone else's file, and links to it where the next run writes.
  WriteBytes(dir.Path() / "victim", "precious\n");
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown((dir / "victim").c_str(), 65534, 65534), 0);
  }
  for (const char* name : {"checkpoints.tsv", "log.txt", "summary.json"}) {
    fs::remove(dir.Path() / "res" / name);
    fs::create_symlink(dir.Path() / "victim", dir.Path() / "res" / name);
  }
  const TProcessResult r = RunCli("run " + Living + " --out res --seed 2 --quiet", dir.Path());
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(ReadText(dir.Path() / "victim"), "precious\n");
  for (const char* name : {"checkpoints.tsv", "log.txt", "summary.json"}) {
    EXPECT_FALSE(fs::is_symlink(dir.Path() / "res" / name)) << name;
    EXPECT_GT(fs::file_size(dir.Path() / "res" / name), 100u) << name;
  }
  EXPECT_EQ(ReadSummary(dir.Path() / "res" / "summary.json").at("seed"), "2");

  // A link named as the folder itself is the user's own choice: the folder
  // it names receives the results, the link stays.
  fs::create_directory(dir.Path() / "real");
  fs::create_directory_symlink(dir.Path() / "real", dir.Path() / "link");
  ASSERT_EQ(RunCli("run " + Living + " --out link --seed 3 --quiet", dir.Path()).ExitCode, 0);
  EXPECT_TRUE(fs::is_symlink(dir.Path() / "link"));
  EXPECT_EQ(ReadSummary(dir.Path() / "real" / "summary.json").at("seed"), "3");
  EXPECT_TRUE(Temporaries(dir.Path()).empty());
}

TEST(OutputFolder, AFolderOfAnotherUserOrWithOtherFilesIsRefused) {
  TTempDir dir;
  // As root a folder is given away; otherwise the root folder is another user's.
  std::string theirs = "/";
  if (::geteuid() == 0) {
    fs::create_directory(dir.Path() / "theirs");
    ASSERT_EQ(::chown((dir / "theirs").c_str(), 65534, 65534), 0);
    theirs = "theirs";
  }
  TProcessResult r = RunCli("run " + Living + " --out " + theirs + " --seed 1", dir.Path());
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_TRUE(Has(r.Err, "Error: The output folder \"" + theirs + "\" belongs to another user")) << r.Err;
  if (theirs != "/") {
    EXPECT_TRUE(fs::is_empty(dir.Path() / "theirs"));
  }

  // A folder holding anything but results is not replaced (it would be lost).
  fs::create_directory(dir.Path() / "mine");
  WriteBytes(dir.Path() / "mine" / "notes.txt", "mine\n");
  r = RunCli("run " + Living + " --out mine --seed 1", dir.Path());
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_TRUE(Has(r.Err, "holds \"notes.txt\", which is not a result of a run")) << r.Err;
  EXPECT_EQ(ReadText(dir.Path() / "mine" / "notes.txt"), "mine\n");

  // An empty folder of one's own is fine.
  fs::create_directory(dir.Path() / "empty");
  EXPECT_EQ(RunCli("run " + Living + " --out empty --seed 1 --quiet", dir.Path()).ExitCode, 0);
  EXPECT_TRUE(fs::exists(dir.Path() / "empty" / "summary.json"));
  EXPECT_TRUE(Temporaries(dir.Path()).empty());
}

TEST(OutputFolder, PrepareRefusesToWriteThroughALink) {
  TTempDir dir;
  fs::copy_file(Fixture("prepare-living-handwritten.kpx"), dir.Path() / "in.kpx");
  WriteBytes(dir.Path() / "victim", "precious\n");
  fs::create_symlink(dir.Path() / "victim", dir.Path() / "out.kpx");
  TProcessResult r = RunCli("prepare in.kpx --out out.kpx", dir.Path());
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_TRUE(Has(r.Err, "Error: \"out.kpx\" is a symbolic link")) << r.Err;
  EXPECT_TRUE(Has(r.Err, "Nothing was written.")) << r.Err;
  EXPECT_EQ(ReadText(dir.Path() / "victim"), "precious\n");
  EXPECT_TRUE(fs::is_symlink(dir.Path() / "out.kpx"));

  // Written back over an input that is a link: the same.
  fs::create_symlink(dir.Path() / "in.kpx", dir.Path() / "in-link.kpx");
  const std::string before = ReadText(dir.Path() / "in.kpx");
  r = RunCli("prepare in-link.kpx", dir.Path());
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(ReadText(dir.Path() / "in.kpx"), before);
}

TEST(OutputFolder, AFailedRerunKeepsTheEarlierResultsWhole) {
  TTempDir dir;
  ASSERT_EQ(RunCli("run " + Living + " --out res --seed 1 --chains --quiet", dir.Path()).ExitCode, 0);
  std::map<std::string, std::string> before;
  for (const auto& entry : fs::directory_iterator(dir.Path() / "res"))
    before[entry.path().filename().string()] = ReadText(entry.path());
  ASSERT_EQ(before.size(), 8u);

  // Fails before its first event (a rate that is not a number).
  TProcessResult r = RunCli("run '" + Fixture("run-unreadable-rate.kpx") + "' --out res --seed 2", dir.Path());
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_TRUE(Has(r.Err, "The results of the earlier run in \"res\" are kept")) << r.Err;
  // Too little memory for the stored requirement: no run, the same.
  r = RunCli("run '" + Fixture("run-memory-too-high.kpx") + "' --out res --seed 2", dir.Path());
  EXPECT_EQ(r.ExitCode, 3);
  EXPECT_TRUE(Has(r.Err, "are kept")) << r.Err;
  std::map<std::string, std::string> after;
  for (const auto& entry : fs::directory_iterator(dir.Path() / "res"))
    after[entry.path().filename().string()] = ReadText(entry.path());
  EXPECT_EQ(after, before);

  // A good rerun without --chains replaces the folder whole: no chains.tsv
  // of the earlier seed beside the new tables.
  ASSERT_EQ(RunCli("run " + Living + " --out res --seed 5 --quiet", dir.Path()).ExitCode, 0);
  EXPECT_FALSE(fs::exists(dir.Path() / "res" / "chains.tsv"));
  EXPECT_EQ(ReadSummary(dir.Path() / "res" / "summary.json").at("seed"), "5");

  // With no earlier results, the failed run's log is the account of it.
  r = RunCli("run '" + Fixture("run-unreadable-rate.kpx") + "' --out fresh --seed 2", dir.Path());
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_TRUE(Has(ReadText(dir.Path() / "fresh" / "log.txt"), "Simulation Finished at: "));
  EXPECT_TRUE(Temporaries(dir.Path()).empty());
}

// polykin-cli run started in the background, a signal sent after a second.
int RunAndSignal(const fs::path& cwd, const std::string& out, const std::string& signal) {
  return Shell("(" + Cli + " run '" + Fixture("run-endless.kpx") + "' --out " + out +
                   " --seed 4 --quiet >/dev/null 2>&1 & pid=$!; sleep 1; kill -" + signal +
                   " $pid; wait $pid; exit $?)",
               cwd);
}

TEST(Signals, TermAndHangUpStopTheRunAndWriteWhatIsComplete) {
  TTempDir dir;
  for (const auto& [signal, code] : {std::pair<std::string, int>{"TERM", 143}, {"HUP", 129}}) {
    SCOPED_TRACE(signal);
    const std::string out = "stopped-" + signal;
    EXPECT_EQ(RunAndSignal(dir.Path(), out, signal), code);
    const auto summary = ReadSummary(dir.Path() / out / "summary.json");
    EXPECT_EQ(summary.at("status"), "\"stopped\"");
    EXPECT_TRUE(Has(ReadText(dir.Path() / out / "log.txt"), "Simulation Terminated by User!"));
    EXPECT_GE(ReadTable(dir.Path() / out / "checkpoints.tsv").Rows.size(), 2u);
  }
  EXPECT_TRUE(Temporaries(dir.Path()).empty());
}

TEST(Signals, AFileSizeLimitMakesWritesFailWithAMessage) {
  TTempDir dir;
  // No trap here: the program itself must not die of SIGXFSZ (status 153).
  ASSERT_EQ(RunCli("run " + Living + " --out res --seed 1 --quiet", dir.Path()).ExitCode, 0);
  const std::string checkpoints = ReadText(dir.Path() / "res" / "checkpoints.tsv");
  const int code = Shell("(ulimit -f 1; " + Cli + " run " + Living + " --out res --seed 2 --quiet) >/dev/null 2>err",
                         dir.Path());
  EXPECT_EQ(code, 1);
  EXPECT_TRUE(Has(ReadText(dir.Path() / "err"), "Unable to write to res/")) << ReadText(dir.Path() / "err");
  EXPECT_EQ(ReadText(dir.Path() / "res" / "checkpoints.tsv"), checkpoints);

  fs::copy_file(Fixture("prepare-freeradical-handwritten.kpx"), dir.Path() / "in.kpx");
  const int prepare = Shell("(ulimit -f 1; " + Cli + " prepare in.kpx --out new.kpx) >/dev/null 2>err", dir.Path());
  EXPECT_EQ(prepare, 1);
  EXPECT_TRUE(Has(ReadText(dir.Path() / "err"), "Unable to write to")) << ReadText(dir.Path() / "err");
  EXPECT_FALSE(fs::exists(dir.Path() / "new.kpx"));
  fs::remove(dir.Path() / "err");
  EXPECT_TRUE(Temporaries(dir.Path()).empty());
}

TEST(PrepareMessages, ErrorLinesSurviveTheLibrarysWideDiagnostic) {
  TTempDir dir;
  fs::copy_file(Fixture("prepare-freeradical-handwritten.kpx"), dir.Path() / "in.kpx");
  Params::TIniFile(dir / "in.kpx").WriteString("Components", "MonomerBFormula", "Xx9");
  const TProcessResult r = RunCli("prepare in.kpx --out out.kpx", dir.Path());
  EXPECT_EQ(r.ExitCode, 2);
  // The library's own diagnostic, then ours after it.
  const auto diagnostic = r.Err.find("'Xx' is not an element");
  ASSERT_NE(diagnostic, std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("Error: ", diagnostic), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("Nothing was written.", diagnostic), std::string::npos) << r.Err;
  EXPECT_FALSE(fs::exists(dir.Path() / "out.kpx"));
}

// libMaldi.so cut short inside its code: loading it in the process would end
// the process with SIGBUS.
void WriteTruncatedLibrary(const fs::path& folder) {
  const fs::path real = fs::path(PROPAGON_CLI).parent_path() / "libMaldi.so";
  fs::create_directories(folder);
  WriteBytes(folder / "libMaldi.so", ReadText(real).substr(0, 50000));
  fs::copy_file(real.parent_path() / "ISOTOPE.DAT", folder / "ISOTOPE.DAT");
}

TEST(DamagedLibrary, ATruncatedLibraryIsNamedNotLoaded) {
  TTempDir dir;
  WriteTruncatedLibrary(dir.Path() / "lib");
  fs::copy_file(Fixture("prepare-atrp-handwritten.kpx"), dir.Path() / "in.kpx");
  TProcessResult r = RunCli("prepare in.kpx --out atrp.kpx --library lib/libMaldi.so", dir.Path());
  EXPECT_EQ(r.ExitCode, 3) << r.Err;
  EXPECT_TRUE(Has(r.Out, "Error: Unable to Load Library from File \"lib/libMaldi.so\"!")) << r.Out;
  // SIGBUS (signal 7); a sanitizer build's child reports it and exits instead.
  EXPECT_TRUE(Has(r.Out, "Reason: not a usable library: loading it in a test process ended with signal 7") ||
              Has(r.Out, "Reason: not a usable library: loading it in a test process ended with exit code"))
      << r.Out;
  EXPECT_FALSE(fs::exists(dir.Path() / "atrp.kpx"));

  // run --maldi with the damaged library beside the program: the run's
  // outputs and its log are in place, the spectrum is refused with a reason.
  ASSERT_EQ(RunCli("prepare in.kpx --out atrp.kpx", dir.Path()).ExitCode, 0);
  fs::copy_file(PROPAGON_CLI, dir.Path() / "lib" / "polykin-cli");
  const int code = Shell("lib/polykin-cli run atrp.kpx --out res --seed 5 --quiet --maldi Na+:2500 2>err", dir.Path());
  EXPECT_EQ(code, 1);
  EXPECT_TRUE(Has(ReadText(dir.Path() / "err"), "No MALDI spectrum: the library")) << ReadText(dir.Path() / "err");
  for (const char* name : {"checkpoints.tsv", "summary.json", "sec.tsv"})
    EXPECT_TRUE(fs::exists(dir.Path() / "res" / name)) << name;
  const std::string log = ReadText(dir.Path() / "res" / "log.txt");
  EXPECT_TRUE(Has(log, "Results written to \"res\"")) << log;
  EXPECT_TRUE(Has(log, "not a usable library")) << log;
  EXPECT_FALSE(fs::exists(dir.Path() / "res" / "maldi.tsv"));
  EXPECT_TRUE(Temporaries(dir.Path()).empty());
}

} // namespace
