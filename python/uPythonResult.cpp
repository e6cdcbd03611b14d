#include "python/uPythonResult.h"

#include "engine/uDataStruct.h"
#include "plots/calc/uMassDistrCalc.h"

namespace PyPropagon {

void TakeFinalState(TRunData& data, bool chains) {
  Engine::TSimState& state = Engine::SimState();
  data.DPCounts = Cli::DPDistributionCounts(state);
  data.Mass = Cli::MassDistributionBins(state);
  data.Sec = std::make_shared<Plots::TSECTrace>();
  // As sec.tsv: nothing to show until some chain has grown.
  data.HasSec = Plots::MassHistogramsReady(state) && data.Sec->AggregateFrom(state);
  data.HasChains = chains;
  if (!chains) return;
  TChains& c = data.Chains;
  Cli::ForEachChain(state, [&c](std::int32_t, std::int32_t dp, int head, const std::string& sequence) {
    c.Sequences.insert(c.Sequences.end(), sequence.begin(), sequence.end());
    c.Offsets.push_back(static_cast<std::int64_t>(c.Sequences.size()));
    c.DP.push_back(dp);
    c.Head.push_back(static_cast<std::uint8_t>(head));
  });
}

} // namespace PyPropagon
