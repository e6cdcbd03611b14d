#pragma once
// Trying a shared library in a short child process before the program loads it.
//
// Loading a library runs its code inside the process: a truncated or
// corrupted libMaldi.so ends the program with SIGBUS or SIGSEGV before any
// check can speak. The probe starts this same program file again as a child
// that does nothing but load the library and look up the four operations,
// and reports how that went; only a library the child survived is loaded here.
//
// The child is recognised before main() runs (the environment variable
// below), so every program that links the binding can be its own probe.

#include <string>

namespace Shell {

inline constexpr const char* LibraryProbeVariable = "PROPAGON_PROBE_LIBRARY";

struct TLibraryProbe {
  enum class TResult {
    Usable,      // the child loaded it (its exports are listed below)
    NotLoadable, // the loader refused it cleanly; loading here fails the same way
    Crashed,     // the child died or hung while loading: not a usable library
    NotProbed,   // no child could be started; the caller decides
  };
  TResult Result = TResult::NotProbed;
  // Crashed: what ended the child ("signal 7 (Bus error)", "exit code 1",
  // "no answer within 10 s").
  std::string Reason;
  bool CalcMolMass = false;
  bool PrepareSpectrum = false;
};

// Probes the library at `path` (a name with a slash). Waits at most
// `timeoutSeconds` for the child.
TLibraryProbe ProbeLibrary(const std::string& path, double timeoutSeconds = 10.0);

} // namespace Shell
