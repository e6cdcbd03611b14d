#pragma once
// The output folder of one `polykin-cli run`, replaced as a whole.
//
// A run writes every table and its log into a fresh folder beside the target
// ("<name>.part-XXXXXX", mode 0700 while it is written, so nobody can plant a
// link in it) and swaps that folder in only when the run's outputs are
// complete. A rerun that fails therefore never leaves empty tables, or tables
// of two runs side by side, in place of good results: the earlier folder is
// kept whole and the command says so.
//
// An existing target must be a folder of the user running the program and
// may hold nothing but what a run writes (it is replaced, not merged into);
// a link naming the folder is followed (the user named it) and stays.

#include <filesystem>
#include <string>

namespace Cli {

class TResultsFolder {
public:
  TResultsFolder() = default;
  // A folder neither committed nor discarded is discarded.
  ~TResultsFolder();
  TResultsFolder(const TResultsFolder&) = delete;
  TResultsFolder& operator=(const TResultsFolder&) = delete;

  // Checks the target and creates the fresh folder beside it. False with the
  // reason in `error` (nothing is created then).
  bool Prepare(const std::filesystem::path& target, std::string& error);

  // The folder as the user named it, and the fresh one the run writes into.
  const std::filesystem::path& Target() const { return FTarget; }
  const std::filesystem::path& Staging() const { return FStaging; }
  // The target existed before this run (its results are at stake).
  bool HadEarlier() const { return FHadEarlier; }

  // Puts the fresh folder in place of the target and removes the earlier
  // one. False with the reason; then the earlier folder stays.
  bool Commit(std::string& error);
  // Removes the fresh folder; the target stays as it was.
  void Discard();

  // `message` with the fresh folder's path replaced by the target's: a
  // message names the file the user will look for.
  std::string InTarget(std::string message) const;

private:
  std::filesystem::path FTarget;   // as named
  std::filesystem::path FResolved; // the real folder replaced (a link followed)
  std::filesystem::path FStaging;
  unsigned FMode = 0755;
  bool FHadEarlier = false;
  bool FDone = true;
};

// The file names a run may leave in its folder.
bool IsRunOutputName(const std::string& name);

} // namespace Cli
