#pragma once
// What a run leaves for Python, taken from the program-wide simulation state
// right after the run (ExecuteRun) and before the next one can start. Plain
// C++: nothing here touches the interpreter, so it runs without the GIL.

#include "cli/uRunResults.h"
#include "cli/uRunSession.h"
#include "plots/calc/uSECTrace.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace PyPropagon {

// Every chain's sequence in one flat array of letters 'A' and 'B': chain i
// (0-based, chain number i + 1) is Sequences[Offsets[i] .. Offsets[i + 1]).
struct TChains {
  std::vector<std::uint8_t> Sequences;
  std::vector<std::int64_t> Offsets{0};
  std::vector<std::int32_t> DP;
  std::vector<std::uint8_t> Head;
};

struct TRunData {
  Cli::TRunOutcome Outcome;
  std::vector<std::int64_t> DPCounts;
  Cli::TMassBins Mass;
  // The weight histogram regrouped on the SEC grid; broadened on demand.
  std::shared_ptr<Plots::TSECTrace> Sec;
  bool HasSec = false;
  bool HasChains = false;
  TChains Chains;
  std::vector<std::string> Log;
};

// Fills everything but Outcome and Log from Engine::SimState().
void TakeFinalState(TRunData& data, bool chains);

} // namespace PyPropagon
