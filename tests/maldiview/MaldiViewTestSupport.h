#pragma once
// Helpers of the spectrum assembly tests: a temporary folder, hand-made table
// files, and chain stores filled chain by chain.

#include "engine/uDataStruct.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace MaldiViewTest {

// A fresh folder under the system's temporary folder, removed at the end.
class TTempDir {
public:
  TTempDir() {
    static int counter = 0;
    FPath = std::filesystem::temp_directory_path() /
            ("propagon-maldiview-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(FPath);
  }
  ~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  // With a trailing '/', as the assembly wants its folder.
  std::string Folder() const { return FPath.string() + "/"; }
  std::string File(const std::string& name) const { return (FPath / name).string(); }

private:
  std::filesystem::path FPath;
};

// Peaks of one record: (mass, intensity in percent).
using TPeaks = std::vector<std::pair<double, double>>;

// Bytes of a pattern-record table: header (ceiling, n), then (n + 1)^2
// records in the order i outer, j inner, taken from `record(i, j)`.
template <class F>
std::string TableBytes(std::int32_t n, F&& record) {
  std::string bytes;
  auto putInt = [&bytes](std::int32_t v) {
    for (int k = 0; k < 4; ++k)
      bytes.push_back(static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * k)) & 0xFF));
  };
  auto putDouble = [&bytes](double v) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, 8);
    for (int k = 0; k < 8; ++k)
      bytes.push_back(static_cast<char>((bits >> (8 * k)) & 0xFF));
  };
  putInt(1000);
  putInt(n);
  for (std::int32_t i = 0; i <= n; ++i)
    for (std::int32_t j = 0; j <= n; ++j) {
      const TPeaks peaks = record(i, j);
      putInt(static_cast<std::int32_t>(peaks.size()));
      for (const auto& [mass, intensity] : peaks) {
        putDouble(mass);
        putDouble(intensity);
      }
    }
  return bytes;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Sizes the program-wide store for `chains` chains of a process type (free
// radical: `chains` must be even, as the store holds two chains per
// initiator) with the unit masses of styrene (A) and methyl methacrylate (B).
inline Engine::TSimState& Store(std::uint8_t processType, std::int32_t chains, double massA = 104.1491,
                                double massB = 100.1158) {
  Engine::TSimState& s = Engine::SimState();
  s.FreeAll();
  Engine::TRunDescription run;
  run.ProcessType = processType;
  run.InitiatorNumber = processType == Engine::ptFreeRadical ? chains / 2 : chains;
  run.MonomerANumber = 10;
  run.MonomerAMolWeight = massA;
  run.MonomerBMolWeight = massB;
  run.CheckPointTime = {0.0, 1.0};
  s.AllocateMemory(run);
  return s;
}

// Gives chain `chain` the sequence `units` ('A' or 'B' per unit) and head byte.
inline void SetChain(Engine::TSimState& s, std::int32_t chain, const std::string& units, std::uint8_t head = 0) {
  s.ChainDP[static_cast<std::size_t>(chain)] = static_cast<std::uint16_t>(units.size());
  s.ChainUnits[chain][0] = head;
  for (std::size_t p = 0; p < units.size(); ++p)
    s.ChainUnits[chain][static_cast<std::int32_t>(p) + 1] = units[p] == 'B' ? Engine::UnitB : Engine::UnitA;
}

// A sequence of `a` units A then `b` units B.
inline std::string Units(int a, int b) { return std::string(static_cast<std::size_t>(a), 'A') + std::string(static_cast<std::size_t>(b), 'B'); }

} // namespace MaldiViewTest
