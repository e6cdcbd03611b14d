#include "params/uAtomicFile.h"

#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Propagon {

namespace {
// The permission bits of a file created now: 0666 less the umask.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}
} // namespace

TAtomicFile::TAtomicFile(std::string fileName) : FFileName(std::move(fileName)) {
  // A link is replaced like a missing file, with the mode a new file gets.
  mode_t mode = NewFileMode();
  struct stat st {};
  if (::lstat(FFileName.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    if (!S_ISREG(st.st_mode) || ::access(FFileName.c_str(), W_OK) != 0)
      return;
    mode = st.st_mode & 07777;
  }
  std::string pattern = FFileName + ".part-XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0)
    return;
  FTemporary = pattern;
  const bool modeSet = ::fchmod(fd, mode) == 0;
  ::close(fd);
  if (modeSet)
    FStream.open(FTemporary, std::ios::binary | std::ios::trunc);
  if (!FStream.is_open()) {
    ::unlink(FTemporary.c_str());
    FTemporary.clear();
  }
}

TAtomicFile::~TAtomicFile() {
  if (!FDone)
    Discard();
}

bool TAtomicFile::Commit() {
  if (FDone)
    return FCommitted;
  FDone = true;
  if (!FStream.is_open())
    return false;
  FStream.flush();
  bool ok = static_cast<bool>(FStream);
  FStream.close();
  ok = ok && !FStream.fail();
  if (ok) {
    const int fd = ::open(FTemporary.c_str(), O_RDONLY | O_CLOEXEC);
    ok = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
      ok = ::close(fd) == 0 && ok;
  }
  ok = ok && ::rename(FTemporary.c_str(), FFileName.c_str()) == 0;
  if (!ok)
    ::unlink(FTemporary.c_str());
  FCommitted = ok;
  return ok;
}

void TAtomicFile::Discard() {
  FDone = true;
  if (FStream.is_open())
    FStream.close();
  if (!FTemporary.empty() && !FCommitted)
    ::unlink(FTemporary.c_str());
}

bool WriteFileAtomically(const std::string& fileName, std::string_view bytes) {
  TAtomicFile file(fileName);
  if (!file.IsOpen())
    return false;
  file.Stream().write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return file.Commit();
}

} // namespace Propagon
