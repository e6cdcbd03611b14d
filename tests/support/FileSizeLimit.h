#pragma once
// A full disk, as far as one process can tell: while a TFileSizeLimit lives,
// no write may take a regular file beyond `bytes` (RLIMIT_FSIZE). Such a
// write fails with EFBIG instead of raising SIGXFSZ, which is ignored for the
// time. Pipes and terminals are not affected, so test output still flows.
// Single-threaded tests only: the limit holds for the whole process.

#include <csignal>
#include <sys/resource.h>

namespace TestSupport {

class TFileSizeLimit {
public:
  explicit TFileSizeLimit(rlim_t bytes) {
    FSignal = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &FOld);
    rlimit limit = FOld;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TFileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &FOld);
    std::signal(SIGXFSZ, FSignal);
  }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
  rlimit FOld{};
  void (*FSignal)(int) = SIG_DFL;
};

} // namespace TestSupport
