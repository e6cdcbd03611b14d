#pragma once
// What a MALDI spectrum needs before the library is asked for its tables:
// a cation the library can weigh, and a folder of this process alone for
// the table files.
//
// The table files keep their names ("Maldi1.tmp" ... "Maldi4.tmp"), but in a
// folder created with mode 0700 under the temporary directory and removed
// with its object: two program instances, two users or a link planted under
// one of those names can no longer overwrite or redirect each other's tables.
//
// Used by the MALDI window, its settings dialog and `polykin-cli run --maldi`.

#include <filesystem>
#include <string>

namespace Shell {
class TMaldiBinding;
}

namespace MaldiView {

// A fresh private folder under `parent` (TemporaryDirectory() by default),
// removed with everything in it when the object goes.
class TTableFolder {
public:
  explicit TTableFolder(const std::string& parent = {});
  ~TTableFolder();
  TTableFolder(const TTableFolder&) = delete;
  TTableFolder& operator=(const TTableFolder&) = delete;

  bool Valid() const { return !FPath.empty(); }
  // With a trailing '/'; empty when the folder could not be created.
  std::string Folder() const { return FPath.empty() ? std::string() : FPath.string() + "/"; }

private:
  std::filesystem::path FPath;
};

// The cation as typed ("Na+") must be a formula the library weighs above 0
// once its trailing "+" is dropped; "Xx+", "((((" or "Na+Na+" are not (a
// spectrum made without them would be silently wrong). False with a message
// naming the cation. A library without "CalcMolMass" cannot tell: true (its
// table operations refuse a cation that does not parse).
bool CheckCation(const Shell::TMaldiBinding& binding, const std::string& cationText, std::string& error);

} // namespace MaldiView
