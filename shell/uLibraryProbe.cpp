#include "shell/uLibraryProbe.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace Shell {

namespace {

constexpr const char* Operations[] = {"CalcMolMass", "PrepareSpectrum", "PrepareAbstractedSpectrum",
                                      "PrepareHighestPeaks"};

void WriteAll(int fd, const char* text) {
  for (std::size_t done = 0, size = std::strlen(text); done < size;) {
    const ssize_t n = ::write(fd, text + done, size - done);
    if (n <= 0)
      return;
    done += static_cast<std::size_t>(n);
  }
}

// The child's whole life: runs before main() and any static object of the
// program is needed, so it uses nothing but the loader and write(2).
// Answer on standard output: "loaded" and the exports found, or "refused"
// and the loader's reason.
__attribute__((constructor)) void ProbeChild() {
  const char* path = std::getenv(LibraryProbeVariable);
  if (path == nullptr)
    return;
  void* handle = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = ::dlerror();
    WriteAll(1, "refused\n");
    WriteAll(1, reason != nullptr ? reason : "unknown error");
    ::_exit(2);
  }
  WriteAll(1, "loaded\n");
  for (const char* name : Operations)
    if (::dlsym(handle, name) != nullptr) {
      WriteAll(1, name);
      WriteAll(1, "\n");
    }
  ::_exit(0);
}

std::string SignalText(int signal) {
  const char* name = ::strsignal(signal);
  return "signal " + std::to_string(signal) + (name != nullptr ? " (" + std::string(name) + ")" : std::string());
}

} // namespace

TLibraryProbe ProbeLibrary(const std::string& path, double timeoutSeconds) {
  TLibraryProbe probe;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0)
    return probe;

  std::vector<std::string> environment;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e)
    if (std::strncmp(*e, LibraryProbeVariable, std::strlen(LibraryProbeVariable)) != 0)
      environment.emplace_back(*e);
  environment.push_back(std::string(LibraryProbeVariable) + "=" + path);
  std::vector<char*> envp;
  for (std::string& entry : environment)
    envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe";
  std::string name = "propagon-library-probe";
  char* argv[] = {name.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  // Whatever the library's own code prints while it loads is not ours to show.
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t child = -1;
  const int spawned = ::posix_spawn(&child, self.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned != 0) {
    ::close(pipeFds[0]);
    return probe;
  }

  std::string answer;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  bool timedOut = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd fd{pipeFds[0], POLLIN, 0};
    const int ready = ::poll(&fd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready <= 0) {
      timedOut = ready == 0;
      break;
    }
    char buffer[512];
    const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break; // the child closed its end: it has ended
    answer.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(pipeFds[0]);
  if (timedOut)
    ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }

  if (timedOut) {
    probe.Result = TLibraryProbe::TResult::Crashed;
    probe.Reason = "no answer within " + std::to_string(static_cast<int>(timeoutSeconds)) + " s";
  } else if (WIFSIGNALED(status)) {
    probe.Result = TLibraryProbe::TResult::Crashed;
    probe.Reason = SignalText(WTERMSIG(status));
  } else if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && answer.compare(0, 7, "loaded\n") == 0) {
    probe.Result = TLibraryProbe::TResult::Usable;
    probe.CalcMolMass = answer.find("\nCalcMolMass\n") != std::string::npos;
    probe.PrepareSpectrum = answer.find("\nPrepareSpectrum\n") != std::string::npos;
  } else if (WIFEXITED(status) && WEXITSTATUS(status) == 2 && answer.compare(0, 8, "refused\n") == 0) {
    probe.Result = TLibraryProbe::TResult::NotLoadable;
    probe.Reason = answer.substr(8);
  } else {
    // Ended some other way (its constructors called exit, say): nothing
    // says the library is safe to run here.
    probe.Result = TLibraryProbe::TResult::Crashed;
    // (A sanitizer build turns the child's SIGBUS into such an exit.)
    probe.Reason = "exit code " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }
  return probe;
}

} // namespace Shell
