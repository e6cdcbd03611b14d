#pragma once
// Output files that are replaced whole or not at all.
//
// Everything the program saves over an existing file (result tables, curve
// data, the message log) goes through TAtomicFile: the text is written to a
// temporary file beside the target ("<name>.part-XXXXXX"), flushed to the
// device and only then renamed over the old file. A full disk, a file-size
// limit or a folder that refuses new files therefore leaves the old version
// byte for byte; the temporary file is removed. The parameter and settings
// files do the same inside Params::TIniFile.
//
// As a direct write would, a target that exists but is read-only, or is not
// a regular file, is refused. A symbolic link is never written through: the
// link itself is replaced by the new file and the file it named stays as it
// was (a link planted in a shared folder cannot redirect the write). A replaced file keeps its permission bits;
// a new one gets 0666 less the umask.
//
// One object is used by one thread at a time.

#include <fstream>
#include <ostream>
#include <string>
#include <string_view>

namespace Propagon {

class TAtomicFile {
public:
  // Opens the temporary file; IsOpen() tells whether that worked.
  explicit TAtomicFile(std::string fileName);
  // A file neither committed nor discarded is discarded: the target stays as
  // it was.
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  bool IsOpen() const { return FStream.is_open(); }
  const std::string& FileName() const { return FFileName; }
  // The temporary file being written (empty when none could be made).
  const std::string& TemporaryName() const { return FTemporary; }
  // Where the text goes until Commit.
  std::ostream& Stream() { return FStream; }

  // Flushes, syncs the temporary file to the device and renames it over the
  // target. False when any write since opening failed, or the rename did;
  // then the temporary file is removed and the target is untouched. A second
  // call returns the first one's answer.
  bool Commit();
  // Removes the temporary file; the target stays as it was.
  void Discard();

private:
  std::string FFileName;
  std::string FTemporary;
  std::ofstream FStream;
  bool FDone = false;
  bool FCommitted = false;
};

// Writes bytes to fileName through a TAtomicFile; false when the old file (if
// any) was kept because the new one could not be written whole.
bool WriteFileAtomically(const std::string& fileName, std::string_view bytes);

} // namespace Propagon
