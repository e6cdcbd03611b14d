#include "cli/uResultsFolder.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Cli {

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::string_view, 10> RunOutputNames = {
    "checkpoints.tsv", "dp_distribution.tsv", "mass_distribution.tsv", "mass_distribution_smoothed.tsv",
    "sec.tsv",         "summary.json",        "chains.tsv",            "maldi.tsv",
    "maldi_labels.tsv", "log.txt"};

std::string Quoted(const fs::path& path) { return "\"" + path.string() + "\""; }

// A fresh folder named pattern + six random characters; empty when none could be made.
fs::path MakeFolder(const fs::path& pattern) {
  std::string name = pattern.string() + "XXXXXX";
  if (::mkdtemp(name.data()) == nullptr)
    return {};
  return name;
}

// The folder as an absolute path without a trailing separator or dots, so that
// its name can carry a suffix and it can be renamed.
fs::path Normalized(const fs::path& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec).lexically_normal();
  if (p.has_parent_path() && p.filename().empty())
    p = p.parent_path();
  return p;
}

} // namespace

bool IsRunOutputName(const std::string& name) {
  for (const std::string_view output : RunOutputNames) {
    if (name == output)
      return true;
    // The temporary file of a writer that was killed before it could clean up.
    if (name.size() > output.size() + 6 && name.compare(0, output.size(), output) == 0 &&
        name.compare(output.size(), 6, ".part-") == 0)
      return true;
  }
  return false;
}

TResultsFolder::~TResultsFolder() {
  if (!FDone)
    Discard();
}

bool TResultsFolder::Prepare(const fs::path& target, std::string& error) {
  FTarget = target;
  FResolved = Normalized(target);
  FHadEarlier = false;
  std::error_code ec;
  struct stat st {};
  if (::lstat(FResolved.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // The user named a link to the folder: the folder it names is replaced.
    const fs::path real = fs::canonical(FResolved, ec);
    if (ec) {
      error = "The output folder " + Quoted(target) + " is a link to nothing: " + ec.message();
      return false;
    }
    FResolved = real;
  }
  if (::stat(FResolved.c_str(), &st) == 0) {
    if (!S_ISDIR(st.st_mode)) {
      error = "Cannot create the output folder " + Quoted(target) + ": a file of that name exists";
      return false;
    }
    if (st.st_uid != ::geteuid()) {
      error = "The output folder " + Quoted(target) +
              " belongs to another user; polykin-cli writes only into folders of its own user";
      return false;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(FResolved, ec)) {
      const std::string name = entry.path().filename().string();
      // A folder under an output's name holds someone's files, not a table.
      std::error_code kind;
      if (!IsRunOutputName(name) || entry.symlink_status(kind).type() == fs::file_type::directory) {
        error = "The output folder " + Quoted(target) + " holds \"" + name +
                "\", which is not a result of a run; each run replaces the folder as a whole, so name a new "
                "folder, an empty one or one written by an earlier run";
        return false;
      }
    }
    if (ec) {
      error = "Cannot read the output folder " + Quoted(target) + ": " + ec.message();
      return false;
    }
    FHadEarlier = true;
    FMode = st.st_mode & 07777;
  } else {
    fs::create_directories(FResolved.parent_path(), ec);
    if (ec) {
      error = "Cannot create the output folder " + Quoted(target) + ": " + ec.message();
      return false;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    FMode = 0777 & ~mask;
  }
  FStaging = MakeFolder(FResolved.string() + ".part-");
  if (FStaging.empty()) {
    error = "Cannot create the output folder " + Quoted(target) + ": " + std::strerror(errno);
    return false;
  }
  FDone = false;
  return true;
}

bool TResultsFolder::Commit(std::string& error) {
  if (FDone) {
    error = "The results folder was already put in place or discarded";
    return false;
  }
  const auto fail = [&](const std::string& what) {
    error = "Cannot put the results in place in " + Quoted(FTarget) + ": " + what + " (" + std::strerror(errno) + ")";
    Discard();
    return false;
  };
  if (::chmod(FStaging.c_str(), FMode) != 0)
    return fail("cannot set the folder's permissions");
  const auto moveIn = [this] { return ::rename(FStaging.c_str(), FResolved.c_str()) == 0; };
  if (!FHadEarlier) {
    if (!moveIn())
      return fail("cannot rename the new folder");
    FDone = true;
    return true;
  }
  // One step where the file system allows it: the new and the earlier folder
  // trade places, and the earlier one, now under the temporary name, goes.
  if (::renameat2(AT_FDCWD, FStaging.c_str(), AT_FDCWD, FResolved.c_str(), RENAME_EXCHANGE) != 0) {
    // The earlier folder was removed during the run: nothing to trade with.
    if (errno == ENOENT && moveIn()) {
      FDone = true;
      return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
      return fail("cannot exchange the folders");
    // Two steps: the earlier folder moves aside (onto an empty folder made for
    // it), the new one moves in, and on failure the earlier one moves back.
    const fs::path aside = MakeFolder(FResolved.string() + ".old-");
    if (aside.empty())
      return fail("cannot make room for the earlier folder");
    if (::rename(FResolved.c_str(), aside.c_str()) != 0) {
      ::rmdir(aside.c_str());
      return fail("cannot move the earlier folder aside");
    }
    if (::rename(FStaging.c_str(), FResolved.c_str()) != 0) {
      const int reason = errno;
      ::rename(aside.c_str(), FResolved.c_str());
      errno = reason;
      return fail("cannot rename the new folder");
    }
    FStaging = aside;
  }
  std::error_code ignored;
  fs::remove_all(FStaging, ignored);
  FDone = true;
  return true;
}

void TResultsFolder::Discard() {
  FDone = true;
  if (FStaging.empty())
    return;
  std::error_code ignored;
  fs::remove_all(FStaging, ignored);
}

std::string TResultsFolder::InTarget(std::string message) const {
  const std::string from = FStaging.string();
  const std::string to = FTarget.string();
  if (from.empty())
    return message;
  for (std::size_t at = message.find(from); at != std::string::npos; at = message.find(from, at + to.size()))
    message.replace(at, from.size(), to);
  return message;
}

} // namespace Cli
