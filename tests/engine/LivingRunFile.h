#pragma once
// Parameter files of living runs written on the fly, and the invariants of the
// living chain store checked against them.

#include "engine/uDataStruct.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace LivingRun {

// A living run as the engine reads it: molecule numbers, the time step, the
// twelve probabilities (absent keys are 0) and the check-point times.
struct TLivingFile {
  std::int32_t Chains = 100;
  std::int32_t MonomerA = 1000;
  std::int32_t MonomerB = 0;
  std::string TimeInterval = "0.001";
  std::map<std::string, std::string> Rates;
  std::vector<std::string> CheckPoints = {"0", "1"};
  // Texts that replace a whole key (to provoke failures).
  std::string MonomerAMolWeight = "114.1424";
};

// Writes the file into a fresh temporary folder and removes it at the end.
class TTempFile {
public:
  explicit TTempFile(const TLivingFile& fileDesc, const std::string& name = "living.kpx") {
    FFolder = std::filesystem::temp_directory_path() /
              ("propagon-run-" + std::to_string(::getpid()) + "-" + std::to_string(Counter()++));
    std::filesystem::create_directories(FFolder);
    FPath = (FFolder / name).string();
    std::ofstream out(FPath, std::ios::binary);
    out << "[Propago\xAE Parameters File]\r\nFileValid=1\r\n";
    out << "[General]\r\nProcessType=0\r\n";
    out << "[Components]\r\nMonomerAMolWeight=" << fileDesc.MonomerAMolWeight
        << "\r\nMonomerBMolWeight=144.1264\r\nInitiatorMolWeight=60.0950\r\n";
    out << "[SimulationParameters]\r\nRequiredMemory=1000000\r\nInitiatorNumber=" << fileDesc.Chains
        << "\r\nMonomerANumber=" << fileDesc.MonomerA << "\r\nMonomerBNumber=" << fileDesc.MonomerB << "\r\n";
    out << "[ChemicalRates]\r\nTimeInterval=" << fileDesc.TimeInterval << "\r\n";
    out << "[SimulationRates]\r\n";
    for (const char* key : {"I*A", "A*A", "B*A", "I*B", "A*B", "B*B", "I*Ac", "A*Ac", "B*Ac", "I*Bc", "A*Bc", "B*Bc"}) {
      const auto it = fileDesc.Rates.find(key);
      out << key << "=" << (it == fileDesc.Rates.end() ? std::string("0") : it->second) << "\r\n";
    }
    out << "[CheckingPoints]\r\n";
    for (std::size_t k = 0; k < fileDesc.CheckPoints.size(); ++k) out << k << "=" << fileDesc.CheckPoints[k] << "\r\n";
  }
  ~TTempFile() {
    std::error_code ignored;
    std::filesystem::remove_all(FFolder, ignored);
  }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;

  const std::string& Path() const { return FPath; }
  std::filesystem::path Folder() const { return FFolder; }

private:
  static int& Counter() {
    static int counter = 0;
    return counter;
  }
  std::filesystem::path FFolder;
  std::string FPath;
};

// The sequence of a chain as stored in ChainUnits.
inline std::vector<std::uint8_t> Units(const Engine::TSimState& s, std::int32_t chain) {
  std::vector<std::uint8_t> units;
  const Engine::TChainRow row = s.ChainUnits[chain];
  for (std::int32_t p = 1; p <= s.ChainDP[static_cast<std::size_t>(chain)]; ++p) units.push_back(row[p]);
  return units;
}

// The invariants of the living store between events:
//  * DPDistribution[d] counts the chains of DP d;
//  * following Prev from ChainEndMer[i] visits ChainDP[i] mers of chain i whose
//    kinds, read backwards, are the chain's sequence, ending at Prev 0, and the
//    Next links run the other way;
//  * every free mer (Kind 2 or 3) belongs to no chain, and the free A and B
//    counts plus the units in chains give back the monomer of the start.
// Returns the free A and B counts found.
inline void ExpectLivingInvariants(const Engine::TSimState& s, std::int32_t* freeA = nullptr,
                                   std::int32_t* freeB = nullptr) {
  using namespace Engine;
  std::vector<std::int32_t> histogram(static_cast<std::size_t>(MaxDP) + 1, 0);
  std::int64_t units = 0;
  for (std::int32_t i = 1; i <= s.ChainsNumber; ++i) {
    const std::int32_t dp = s.ChainDP[static_cast<std::size_t>(i)];
    ++histogram[static_cast<std::size_t>(dp)];
    units += dp;
    const std::vector<std::uint8_t> sequence = Units(s, i);
    std::int32_t mer = s.ChainEndMer[static_cast<std::size_t>(i)];
    std::int32_t next = 0;
    for (std::int32_t position = dp; position >= 1; --position) {
      ASSERT_GT(mer, 0) << "chain " << i << " ends early at position " << position;
      const TMer& record = s.Mers[static_cast<std::size_t>(mer)];
      ASSERT_EQ(record.Chain, i) << "mer " << mer;
      ASSERT_EQ(record.Kind, sequence[static_cast<std::size_t>(position) - 1]) << "chain " << i << " position " << position;
      ASSERT_EQ(record.Next, next) << "mer " << mer;
      next = mer;
      mer = record.Prev;
    }
    ASSERT_EQ(mer, 0) << "chain " << i << " is longer than its DP";
  }
  EXPECT_EQ(histogram, s.DPDistribution);

  std::int32_t a = 0, b = 0;
  for (std::int32_t m = 1; m <= s.MersNumber; ++m) {
    const TMer& record = s.Mers[static_cast<std::size_t>(m)];
    if (record.Kind >= 2) {
      ASSERT_EQ(record.Chain, 0) << "free mer " << m;
      (record.Kind == 2 ? a : b) += 1;
    }
  }
  EXPECT_EQ(a + b + units, s.MersNumber) << "monomer is not conserved";
  // Mers 1..MonomerANumber are A, the rest B, free or in a chain: the kinds
  // never change, so the A units in chains are MonomerANumber - free A.
  std::int64_t aUnits = 0;
  for (std::int32_t i = 1; i <= s.ChainsNumber; ++i)
    for (std::uint8_t kind : Units(s, i)) aUnits += kind == UnitA;
  EXPECT_EQ(aUnits + a, s.MonomerANumber);
  if (freeA != nullptr) *freeA = a;
  if (freeB != nullptr) *freeB = b;
}

} // namespace LivingRun
