#pragma once
// What `polykin-cli run` records during a run and writes into its output
// folder: one row per check point, the final distributions, the chains and a
// summary. Numbers are written with "." and full precision (the shortest text
// that reads back as the same double), whatever the user's locale.
//
// The check-point rows must be taken while the run goes on: the active-centre
// and dyad records are released at the end of the run, and the DP histogram
// only exists for the moment reached. TRunRecorder takes them in the
// observer calls of the check-point cycle, on the simulation thread, while the
// store is not changing.

#include "engine/uDataStruct.h"
#include "engine/uSimObserver.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace Cli {

// Number-average, weight-average and z-average DP and the dispersity of a DP
// histogram over DP >= 1, as the DP chart computes them: with S_j = sum of
// i^j n(i), DPn = S1/S0, DPw = S2/S1, DPz = S3/S2, dispersity = DPw/DPn;
// 0, 0, 0 and 1 when no chain has grown.
struct TDPAverages {
  double DPn = 0.0;
  double DPw = 0.0;
  double DPz = 0.0;
  double Dispersity = 1.0;
};
TDPAverages DPAverages(const Engine::TIntegerArray& histogram);

// One line of checkpoints.tsv.
struct TCheckPointRow {
  std::int32_t CheckPoint = 0;
  double Time = 0.0; // scheduled CheckPointTime[k], s
  std::int32_t Initiator = 0;
  std::int32_t DeadChains = 0;
  std::int32_t MonomerA = 0;
  std::int32_t MonomerB = 0;
  double Conversion = 0.0;
  double ACenters = 0.0;
  double BCenters = 0.0;
  double Dyads[4] = {0.0, 0.0, 0.0, 0.0}; // AA, AB, BA, BB
  TDPAverages DP;
  double Mn = 0.0; // 0 while no chain has grown
  double Mw = 0.0;
};

// The row of check point k from the state as it is now (during the cycle's
// observer calls, or at check point 0 right after InitializeRun).
TCheckPointRow TakeCheckPointRow(const Engine::TSimState& state, std::int32_t k);

// Records the rows of a run; other observer calls are forwarded to optional
// hooks (the command line prints the seed and draws its progress from them).
class TRunRecorder : public Engine::TSimObserver {
public:
  explicit TRunRecorder(const Engine::TSimState& state) : FState(state) {}

  // Check point 0, recorded by InitializeRun.
  void InitializePlots() override;
  void DisplaySimulSummary(int checkPoint) override;
  // Check point k, after the dyads of k are computed.
  void UpdateUserInterface(int checkPoint) override;

  const std::vector<TCheckPointRow>& Rows() const { return FRows; }
  // Summary line of the last recorded check point ("Time= ...  Conv= ...  Mn= ...");
  // may be read from another thread while the run goes on.
  std::string LastSummary() const;

  std::function<void()> OnRunInitialized;

private:
  const Engine::TSimState& FState;
  std::vector<TCheckPointRow> FRows;
  // Written on the simulation thread, read by the progress display.
  mutable std::mutex FSummaryMutex;
  std::string FLastSummary;
};

// The figures of summary.json.
struct TRunSummary {
  int ProcessType = 0;
  std::int32_t Chains = 0;
  std::size_t CheckPoints = 0; // rows recorded, check point 0 included
  std::uint32_t Seed = 0;
  std::uint64_t Steps = 0;  // kernel loop iterations
  std::uint64_t Events = 0; // reactions applied
  double WallSeconds = 0.0;
  double Conversion = 0.0;
  double Mn = 0.0;
  double Mw = 0.0;
  double DPn = 0.0;
  double Dispersity = 1.0;
  std::string Status = "completed"; // "completed", "stopped" or "failed"
};

// Shortest decimal text that reads back as the same double, with "."; "nan",
// "inf", "-inf" for the non-finite values.
std::string FormatNumber(double value);

// The column names of checkpoints.tsv, in order (one per field of TCheckPointRow).
extern const std::vector<std::string> CheckPointColumns;

// The final distributions as the tables hold them, for readers that keep
// them in memory (the Python module): the DP histogram from DP 0 to the
// largest DP, and the non-empty bins of the mass histograms.
std::vector<std::int64_t> DPDistributionCounts(const Engine::TSimState& state);
struct TMassBins {
  std::vector<double> Mass, Number, Weight;
};
TMassBins MassDistributionBins(const Engine::TSimState& state);
// Every chain in order 1 .. ChainsNumber: number, DP, head byte and the
// sequence as letters A and B. Nothing when the store is released.
void ForEachChain(const Engine::TSimState& state,
                  const std::function<void(std::int32_t chain, std::int32_t dp, int head, const std::string& sequence)>& fn);

// The output files. Each throws std::runtime_error naming the file when it
// cannot be written.
void WriteCheckPoints(const std::filesystem::path& path, const std::vector<TCheckPointRow>& rows);
// DP 0 .. the largest DP of the final histogram.
void WriteDPDistribution(const std::filesystem::path& path, const Engine::TSimState& state);
// The non-empty bins of the final mass histograms.
void WriteMassDistribution(const std::filesystem::path& path, const Engine::TSimState& state);
// Every chain: number, DP, head byte, sequence as letters A and B.
void WriteChains(const std::filesystem::path& path, const Engine::TSimState& state);
void WriteSummary(const std::filesystem::path& path, const TRunSummary& summary);

} // namespace Cli
