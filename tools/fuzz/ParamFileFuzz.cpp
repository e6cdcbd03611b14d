// The parameter file from disk through everything that reads it: the
// validity check, the editor's open, `polykin-cli prepare` (validation and the
// editor's save), and the run's reads: AllocateMemory and the rate readers of
// all four kernels.
//
// Runs are sized only up to a few hundred thousand molecules: larger numbers
// are valid requests for memory this process should not take, and the
// memory refusal is covered by the engine's tests.

#include "engine/uDataStruct.h"
#include "engine/uKernelRates.h"
#include "engine/uKernels.h"
#include "params/uErrors.h"
#include "params/uParamFile.h"
#include "params/uParamSetting.h"
#include "params/uPrepareFile.h"

#include "FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>

namespace {

// Formulas weigh 100 g/mol per character, so every non-empty one has a mass.
double LookupMolMass(const std::string& formula) { return 100.0 * double(formula.size()); }

bool SmallRun(const Params::TParameterFile& file) {
  constexpr std::int32_t limit = 300000;
  for (const char* key : {"InitiatorNumber", "MonomerANumber", "MonomerBNumber", "ActivatorNumber",
                          "OxidizedActivatorNumber"}) {
    const std::int32_t n = file.ReadInteger("SimulationParameters", key, 0);
    if (n > limit || n < -limit)
      return false;
  }
  const std::int32_t expected = file.ReadInteger("General", "ExpectedChainsN", 0);
  return expected <= limit && expected >= -limit;
}

void RunReads(const Params::TParameterFile& file) {
  if (SmallRun(file)) {
    Engine::TSimState state;
    try {
      state.AllocateMemory(file);
    } catch (const std::bad_alloc&) {
    } catch (const std::exception&) {
      // unreadable or impossible sizes: the documented refusal
    }
    state.FreeAll();
  }
  try { (void)Engine::ReadFreeRadicalRates(file); } catch (const std::exception&) {}
  try { (void)Engine::ReadATRPRates(file); } catch (const std::exception&) {}
  try { (void)Engine::ReadReversibleRates(file); } catch (const std::exception&) {}
  try { (void)Engine::ReadLivingRates(file); } catch (const std::exception&) {}
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 16384)
    return -1;
  const std::string input = FuzzSupport::WriteScratchFile("param", data, size);
  const std::string output = input + ".out.kpx";
  FuzzSupport::TQuietReporter reporter;
  {
    Params::TParameterFile file(input);
    (void)file.CheckFileValid(reporter);
    Params::TProcessValues values;
    try {
      Params::LoadParameterValues(file, values, LookupMolMass, reporter);
    } catch (const Propagon::EPropagonError&) {
    }
    RunReads(file);
  }
  std::remove(output.c_str());
  const Params::TPrepareResult result = Params::PrepareParameterFile(input, output, LookupMolMass, reporter);
  if (result.ExitCode == 0) {
    Params::TParameterFile prepared(output);
    if (!prepared.CheckFileValid(reporter))
      std::abort(); // a prepared file carries the marker
    RunReads(prepared);
  } else if (result.Message.empty()) {
    std::abort(); // every refusal says why
  }
  return 0;
}
