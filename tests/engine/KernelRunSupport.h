#pragma once
// Runs of the free-radical, ATRP and living reversible kernels on a store
// sized directly (no parameter file), with a fixed seed, and the invariants
// their chain stores keep between events.

#include "engine/uDataStruct.h"
#include "engine/uKernelRates.h"
#include "engine/uSimThread.h"
#include "params/uParamFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace KernelRun {

using namespace Engine;

// The numbers that size a run. Molar masses are those of styrene (A), methyl
// methacrylate (B) and AIBN, so the statistics the cycle computes at each
// check point work on realistic values.
inline TRunDescription Describe(std::uint8_t type, std::int32_t initiators, std::int32_t monomerA,
                                std::int32_t monomerB, std::vector<double> checkPoints) {
  TRunDescription run;
  run.ProcessType = type;
  run.InitiatorNumber = initiators;
  run.MonomerANumber = monomerA;
  run.MonomerBNumber = monomerB;
  run.MonomerAMolWeight = 104.1491;
  run.MonomerBMolWeight = 100.1158;
  run.InitiatorMolWeight = 164.2044;
  run.InitiatorAttachMolWeight = 79.904;
  run.CheckPointTime = std::move(checkPoints);
  return run;
}

// Calls `atCheckPoint(k)` from DisplaySimulSummary (the check point has just
// been recorded), so a test can look at the state at every check point.
class TCheckPointObserver : public TSimObserver {
public:
  std::function<void(int)> AtCheckPoint;
  int LastCheckPoint = 0;
  void DisplaySimulSummary(int k) override {
    LastCheckPoint = k;
    if (AtCheckPoint) AtCheckPoint(k);
  }
};

struct TOutcome {
  bool Terminated = false; // the kernel requested termination (or Stop was set)
  std::int32_t LastCheckPoint = 0;
  std::uint64_t Steps = 0;
  std::uint64_t Events = 0;
  double TimeReached = 0.0;
};

// The seed of a run: the test's own, shifted by PROPAGON_SEED_SHIFT when that
// is set, so the statistical tolerances can be checked over many seeds:
//   for i in $(seq 1 50); do PROPAGON_SEED_SHIFT=$i bin/engine_tests ...; done
inline std::uint32_t TestSeed(std::uint32_t seed) {
  const char* shift = std::getenv("PROPAGON_SEED_SHIFT");
  return shift == nullptr ? seed : seed + static_cast<std::uint32_t>(std::strtoul(shift, nullptr, 10));
}

// Sizes `s` for the run and performs it with the given constants.
template <class Rates>
TOutcome RunKernel(TSimState& s, const TRunDescription& description, const Rates& rates,
             void (*kernel)(TSimRun&, const Rates&), std::uint32_t seed, TSimObserver* observer = nullptr) {
  s.FreeAll();
  s.Observer = observer;
  s.FixedSeed = TestSeed(seed);
  s.AllocateMemory(description);
  const Params::TParameterFile noFile("");
  TRunControl control;
  TSimRun run(s, noFile, control);
  kernel(run, rates);
  return TOutcome{control.Terminated(), run.CurrentCheckPoint(), run.Steps(), run.Events(), run.ProgressTime()};
}

inline std::vector<std::uint8_t> Units(const TSimState& s, std::int32_t chain) {
  std::vector<std::uint8_t> units;
  const TChainRow row = s.ChainUnits[chain];
  for (std::int32_t p = 1; p <= s.ChainDP[static_cast<std::size_t>(chain)]; ++p) units.push_back(row[p]);
  return units;
}

inline std::uint8_t HeadByte(const TSimState& s, std::int32_t chain) { return s.ChainUnits[chain][0]; }

inline std::uint8_t LastUnit(const TSimState& s, std::int32_t chain) {
  const std::int32_t d = s.ChainDP[static_cast<std::size_t>(chain)];
  return d == 0 ? std::uint8_t{255} : s.ChainUnits[chain][d];
}

// DPDistribution is the histogram of ChainDP and sums to ChainsNumber.
inline void ExpectDistributionMatchesStore(const TSimState& s) {
  std::vector<std::int32_t> histogram(static_cast<std::size_t>(MaxDP) + 1, 0);
  for (std::int32_t i = 1; i <= s.ChainsNumber; ++i) ++histogram[s.ChainDP[static_cast<std::size_t>(i)]];
  EXPECT_EQ(histogram, s.DPDistribution);
}

// Units of A and B in all chains (positions 1..DP).
inline void CountUnits(const TSimState& s, std::int64_t& a, std::int64_t& b) {
  a = b = 0;
  for (std::int32_t i = 1; i <= s.ChainsNumber; ++i) {
    const std::int32_t d = s.ChainDP[static_cast<std::size_t>(i)];
    const std::int32_t nb = s.ChainUnits.CountB(i, d);
    b += nb;
    a += d - nb;
  }
}

// The members of the first `count` entries of a list.
inline std::vector<std::int32_t> Members(const TChainList& list, std::int32_t count) {
  return std::vector<std::int32_t>(list.begin(), list.begin() + count);
}

// Number- and weight-average DP and dispersity of the chains selected.
struct TMoments {
  double Count = 0, Sum = 0, SumSquares = 0;
  void Add(double dp) {
    Count += 1;
    Sum += dp;
    SumSquares += dp * dp;
  }
  double Mn() const { return Sum / Count; }
  double Dispersity() const { return SumSquares * Count / (Sum * Sum); }
};

// A text file in a fresh temporary folder, removed at the end.
class TTempText {
public:
  explicit TTempText(const std::string& text, const std::string& name = "run.kpx") {
    static int counter = 0;
    FFolder = std::filesystem::temp_directory_path() /
              ("propagon-kernel-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(FFolder);
    FPath = (FFolder / name).string();
    std::ofstream(FPath, std::ios::binary) << text;
  }
  ~TTempText() {
    std::error_code ignored;
    std::filesystem::remove_all(FFolder, ignored);
  }
  TTempText(const TTempText&) = delete;
  TTempText& operator=(const TTempText&) = delete;
  const std::string& Path() const { return FPath; }

private:
  std::filesystem::path FFolder;
  std::string FPath;
};

// A parameter file holding only the validity marker and these rates.
inline std::string RatesFileText(const std::string& rates) {
  return "[Propago\xAE Parameters File]\r\nFileValid=1\r\n[SimulationRates]\r\n" + rates;
}

// Without monomer B a kernel leaves the B channels out of its sums; with one
// B molecule that no channel can touch it adds their zero rates. Runs of the
// two descriptions (which differ only in that molecule) must take the same
// events to the bit: the same chains unit by unit, records and time
// integrals. Returns the units held in chains, so a test can see the run did
// something.
template <class Rates>
std::int64_t ExpectSameEventsWithoutBAndWithInertB(TRunDescription withoutB, const Rates& rates,
                                                   void (*kernel)(TSimRun&, const Rates&), std::uint32_t seed) {
  withoutB.MonomerBNumber = 0;
  TRunDescription inert = withoutB;
  inert.MonomerBNumber = 1;
  TSimState a, b;
  RunKernel(a, withoutB, rates, kernel, seed);
  RunKernel(b, inert, rates, kernel, seed);
  EXPECT_EQ(a.ChainDP, b.ChainDP);
  EXPECT_EQ(a.CPMonomerA, b.CPMonomerA);
  EXPECT_EQ(a.CPInitiator, b.CPInitiator);
  EXPECT_EQ(a.CPDeadChains, b.CPDeadChains);
  EXPECT_EQ(a.CPACenters, b.CPACenters);
  EXPECT_EQ(b.CPMonomerB, std::vector<std::int32_t>(b.CPMonomerB.size(), 1));
  std::int64_t units = 0;
  for (std::int32_t i = 1; i <= a.ChainsNumber; ++i) {
    const std::int32_t d = a.ChainDP[static_cast<std::size_t>(i)];
    units += d;
    EXPECT_EQ(a.ChainUnits[i][0], b.ChainUnits[i][0]) << "chain " << i;
    for (std::int32_t p = 1; p <= d; ++p)
      if (a.ChainUnits[i][p] != UnitA) {
        ADD_FAILURE() << "chain " << i << " holds a B unit at " << p;
        return units;
      }
  }
  EXPECT_EQ(units + a.CPMonomerA.back(), withoutB.MonomerANumber);
  return units;
}

} // namespace KernelRun
