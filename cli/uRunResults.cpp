#include "cli/uRunResults.h"

#include "engine/uSimThread.h"
#include "params/uAtomicFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <stdexcept>
#include <type_traits>

namespace Cli {

TDPAverages DPAverages(const Engine::TIntegerArray& histogram) {
  // Sums over DP >= 1. A run holds fewer than 2^31 units in all, so
  // S3 <= 32767^2 x (2^31 - 1) < 2^63 and the 64-bit sums are exact.
  std::int64_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
  for (std::size_t i = 1; i < histogram.size(); ++i) {
    const std::int64_t n = histogram[i];
    if (n == 0) continue;
    const std::int64_t d = static_cast<std::int64_t>(i);
    s0 += n;
    s1 += d * n;
    s2 += d * d * n;
    s3 += d * d * d * n;
  }
  TDPAverages averages;
  if (s0 >= 1) {
    averages.DPn = static_cast<double>(s1) / static_cast<double>(s0);
    averages.DPw = static_cast<double>(s2) / static_cast<double>(s1);
    averages.DPz = static_cast<double>(s3) / static_cast<double>(s2);
    averages.Dispersity = averages.DPw / averages.DPn;
  }
  return averages;
}

TCheckPointRow TakeCheckPointRow(const Engine::TSimState& state, std::int32_t k) {
  TCheckPointRow row;
  const std::size_t i = static_cast<std::size_t>(k);
  const auto value = [i](const auto& array) { return i < array.size() ? array[i] : typename std::decay_t<decltype(array)>::value_type{}; };
  row.CheckPoint = k;
  row.Time = value(state.CheckPointTime);
  row.Initiator = value(state.CPInitiator);
  row.DeadChains = value(state.CPDeadChains);
  row.MonomerA = value(state.CPMonomerA);
  row.MonomerB = value(state.CPMonomerB);
  row.Conversion = Engine::CheckPointConversion(state, k);
  row.ACenters = value(state.CPACenters);
  row.BCenters = value(state.CPBCenters);
  for (std::size_t j = 0; j < 4; ++j) row.Dyads[j] = value(state.CPDyads[j]);
  row.DP = DPAverages(state.DPDistribution);
  // The statistics keep their previous values while no chain has grown; a
  // row of that moment has no molar mass to show.
  if (state.LargestDP() > 0) {
    row.Mn = state.Mn;
    row.Mw = state.Mw;
  }
  return row;
}

void TRunRecorder::InitializePlots() {
  FRows.clear();
  FRows.push_back(TakeCheckPointRow(FState, 0));
  DisplaySimulSummary(0);
  if (OnRunInitialized) OnRunInitialized();
}

void TRunRecorder::DisplaySimulSummary(int checkPoint) {
  std::string summary = Engine::SimulSummaryText(FState, checkPoint);
  std::lock_guard lock(FSummaryMutex);
  FLastSummary = std::move(summary);
}

void TRunRecorder::UpdateUserInterface(int checkPoint) { FRows.push_back(TakeCheckPointRow(FState, checkPoint)); }

std::string TRunRecorder::LastSummary() const {
  std::lock_guard lock(FSummaryMutex);
  return FLastSummary;
}

std::string FormatNumber(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

namespace {

// Each table is written to a temporary file beside it, flushed to the device
// and renamed over the old one: a full disk or a failed write leaves the
// results of an earlier run in that folder whole, never a truncated table.
std::ostream& OpenOutput(Propagon::TAtomicFile& file) {
  if (!file.IsOpen()) throw std::runtime_error("Unable to write to " + file.FileName());
  return file.Stream();
}

void Finish(Propagon::TAtomicFile& file) {
  if (!file.Commit()) throw std::runtime_error("Unable to write to " + file.FileName());
}

std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    switch (c) {
    case '"': quoted += "\\\""; break;
    case '\\': quoted += "\\\\"; break;
    case '\n': quoted += "\\n"; break;
    case '\r': quoted += "\\r"; break;
    case '\t': quoted += "\\t"; break;
    default:
      if (static_cast<unsigned char>(c) < 0x20) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
        quoted += escaped;
      } else {
        quoted += c;
      }
    }
  }
  return quoted + "\"";
}

// JSON has no NaN or infinity: such a figure is written as null.
std::string JsonNumber(double value) { return std::isfinite(value) ? FormatNumber(value) : "null"; }

} // namespace

void WriteCheckPoints(const std::filesystem::path& path, const std::vector<TCheckPointRow>& rows) {
  Propagon::TAtomicFile file(path.string());
  std::ostream& out = OpenOutput(file);
  out << "checkpoint\ttime_s\tinitiator\tdead_chains\tmonomer_A\tmonomer_B\tconversion\tA_centers\tB_centers"
         "\tAA\tAB\tBA\tBB\tDPn\tDPw\tDPz\tdispersity\tMn\tMw\n";
  for (const TCheckPointRow& r : rows) {
    out << r.CheckPoint << '\t' << FormatNumber(r.Time) << '\t' << r.Initiator << '\t' << r.DeadChains << '\t'
        << r.MonomerA << '\t' << r.MonomerB << '\t' << FormatNumber(r.Conversion) << '\t' << FormatNumber(r.ACenters)
        << '\t' << FormatNumber(r.BCenters);
    for (double dyad : r.Dyads) out << '\t' << FormatNumber(dyad);
    out << '\t' << FormatNumber(r.DP.DPn) << '\t' << FormatNumber(r.DP.DPw) << '\t' << FormatNumber(r.DP.DPz) << '\t'
        << FormatNumber(r.DP.Dispersity) << '\t' << FormatNumber(r.Mn) << '\t' << FormatNumber(r.Mw) << '\n';
  }
  Finish(file);
}

void WriteDPDistribution(const std::filesystem::path& path, const Engine::TSimState& state) {
  Propagon::TAtomicFile file(path.string());
  std::ostream& out = OpenOutput(file);
  out << "DP\tchains\n";
  const std::int32_t largest = state.LargestDP();
  for (std::int32_t d = 0; d <= largest && static_cast<std::size_t>(d) < state.DPDistribution.size(); ++d)
    out << d << '\t' << state.DPDistribution[static_cast<std::size_t>(d)] << '\n';
  Finish(file);
}

void WriteMassDistribution(const std::filesystem::path& path, const Engine::TSimState& state) {
  Propagon::TAtomicFile file(path.string());
  std::ostream& out = OpenOutput(file);
  out << "mass\tnumber\tweight\n";
  for (const Engine::TMassBin& bin : state.MassHistogram.Bins) {
    if (bin.Number == 0.0) continue;
    out << FormatNumber(bin.Mass) << '\t' << FormatNumber(bin.Number) << '\t' << FormatNumber(bin.Weight) << '\n';
  }
  Finish(file);
}

void WriteChains(const std::filesystem::path& path, const Engine::TSimState& state) {
  Propagon::TAtomicFile file(path.string());
  std::ostream& out = OpenOutput(file);
  out << "chain\tDP\thead\tsequence\n";
  std::string sequence;
  const bool stored = state.ChainUnits.Allocated() && static_cast<std::size_t>(state.ChainsNumber) < state.ChainDP.size();
  for (std::int32_t i = 1; stored && i <= state.ChainsNumber; ++i) {
    const std::int32_t dp = state.ChainDP[static_cast<std::size_t>(i)];
    sequence.clear();
    state.ChainUnits.ForEachSpan(i, 1, dp, [&sequence](const std::uint8_t* data, std::int32_t count) {
      for (std::int32_t j = 0; j < count; ++j) sequence += data[j] == Engine::UnitB ? 'B' : 'A';
    });
    out << i << '\t' << dp << '\t' << static_cast<int>(state.ChainUnits[i][0]) << '\t' << sequence << '\n';
  }
  Finish(file);
}

void WriteSummary(const std::filesystem::path& path, const TRunSummary& s) {
  Propagon::TAtomicFile file(path.string());
  std::ostream& out = OpenOutput(file);
  const double seconds = s.WallSeconds;
  const double eventsPerSecond = seconds > 0.0 ? static_cast<double>(s.Events) / seconds : 0.0;
  const double stepsPerSecond = seconds > 0.0 ? static_cast<double>(s.Steps) / seconds : 0.0;
  out << "{\n"
      << "  \"process_type\": " << s.ProcessType << ",\n"
      << "  \"chains\": " << s.Chains << ",\n"
      << "  \"checkpoints\": " << s.CheckPoints << ",\n"
      << "  \"seed\": " << s.Seed << ",\n"
      << "  \"steps\": " << s.Steps << ",\n"
      << "  \"events\": " << s.Events << ",\n"
      << "  \"wall_seconds\": " << JsonNumber(seconds) << ",\n"
      << "  \"events_per_second\": " << JsonNumber(eventsPerSecond) << ",\n"
      << "  \"steps_per_second\": " << JsonNumber(stepsPerSecond) << ",\n"
      << "  \"conversion\": " << JsonNumber(s.Conversion) << ",\n"
      << "  \"Mn\": " << JsonNumber(s.Mn) << ",\n"
      << "  \"Mw\": " << JsonNumber(s.Mw) << ",\n"
      << "  \"DPn\": " << JsonNumber(s.DPn) << ",\n"
      << "  \"dispersity\": " << JsonNumber(s.Dispersity) << ",\n"
      << "  \"status\": " << JsonString(s.Status) << "\n"
      << "}\n";
  Finish(file);
}

} // namespace Cli
