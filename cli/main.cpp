// polykin-cli: the headless side of Propagon for scripted and batch use.
//
// Each sub-command lives in its own file and registers itself on the
// application with an Add...Command(CLI::App&) function; its callback ends the
// program with a non-zero exit code by throwing CLI::RuntimeError(code).

#include "cli/uCliSignals.h"
#include "cli/uPrepareCommand.h"
#include "cli/uRunCommand.h"

#include <CLI/CLI.hpp>

#include <clocale>
#include <exception>
#include <iostream>

namespace {

int Main(int argc, char** argv) {
  // Times of day in the log follow the user's locale; numbers never do (the
  // results are written with "." whatever the locale says).
  std::setlocale(LC_TIME, "");
  // The streams write to the descriptors themselves, not through the C
  // library's FILE objects: once the isotopic library has written a
  // diagnostic to the wide error stream, the C library drops every narrow
  // write to it, and our own "Error: ..." lines would vanish.
  std::ios_base::sync_with_stdio(false);
  Cli::InstallSignalHandlers();

  CLI::App app("Propagon headless runner: Monte Carlo simulation of polymerization processes", "polykin-cli");
  app.require_subcommand(1);
  Cli::AddRunCommand(app);
  Cli::AddPrepareCommand(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    // Usage errors are "any other error" for scripts: exit code 1.
    if (e.get_name() == "RuntimeError" || code == 0) return code;
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "Error: " << e.what() << std::endl;
    return 1;
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  const int code = Main(argc, argv);
  std::cout.flush();
  return Cli::ExitCodeAfterSignal(code);
}
