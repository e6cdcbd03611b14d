#include "maldiview/uMALDISpectrum.h"

#include "engine/uDataStruct.h"
#include "maldi/uSpectrumTableFile.h"
#include "params/uAtomicFile.h"
#include "params/uIniFile.h"
#include "params/uErrors.h"
#include "params/uLogMessage.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"
#include "shell/uMaldiBinding.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <new>
#include <sstream>

namespace MaldiView {

namespace {

// Seconds the library was reckoned to need per isotopic pattern when the
// estimate was designed; it is what the user sees before a calculation.
constexpr double SecondsPerSpecies = 0.0005;

// Head byte of a chain formed by recombination.
constexpr std::uint8_t RecombinationHead = 2;

std::string ReadComponent(const Params::TParameterFile& file, const char* key) {
  return file.ReadString("Components", key, "");
}

} // namespace

std::vector<int> CurvesOfProcess(int processType) {
  switch (processType) {
  case Engine::ptLiving:
    return {3};
  case Engine::ptFreeRadical:
    return {0, 1, 2};
  case Engine::ptATRP:
    return {0, 1, 2, 3};
  default:
    return {};
  }
}

std::string TemporaryDirectory() {
  for (const char* name : {"TEMP", "TMPDIR"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      std::string folder = value;
      if (folder.back() != '/')
        folder += '/';
      return folder;
    }
  }
  return "/tmp/";
}

double SmallestUnitMass(double massA, double massB) {
  const bool aUsable = massA > 0.0 && std::isfinite(massA);
  const bool bUsable = massB > 0.0 && std::isfinite(massB);
  if (aUsable && bUsable)
    return massA >= massB ? massB : massA;
  if (aUsable)
    return massA;
  if (bUsable)
    return massB;
  return 0.0;
}

bool UnitLimit(double upperLimit, double massA, double massB, std::int32_t& n, std::string& error) {
  const double m = SmallestUnitMass(massA, massB);
  if (m <= 0.0) {
    error = "The MALDI spectrum needs the molar mass of a monomer unit: both unit molar masses are 0";
    return false;
  }
  if (!(upperLimit > 0.0 && upperLimit <= MaxUpperLimit)) {
    error = "The upper limit of the MALDI spectrum must be a positive number up to " +
            Propagon::FormatFloat("0", MaxUpperLimit);
    return false;
  }
  const double units = std::trunc(upperLimit / m) + 1.0;
  if (units > MaxUnitLimit) {
    error = "The upper limit of the MALDI spectrum is too high: it allows " + Propagon::FormatFloat("0", units) +
            " units of a monomer, at most " + std::to_string(MaxUnitLimit) + " are possible";
    return false;
  }
  n = static_cast<std::int32_t>(units);
  return true;
}

bool ParseUpperLimit(const std::string& text, double& upperLimit, std::string& error) {
  double value = 0.0;
  if (!Propagon::TryStrToFloat(Propagon::AdaptSeparator(text), value)) {
    error = Propagon::InvalidFloatMessage(text);
    return false;
  }
  upperLimit = value;
  return true;
}

std::string CationFormula(const std::string& text) {
  if (!text.empty() && text.back() == '+')
    return text.substr(0, text.size() - 1);
  return text;
}

TEstimateLevel EstimateLevel(double seconds) {
  if (seconds > 60.0)
    return TEstimateLevel::VeryLong;
  if (seconds > 10.0)
    return TEstimateLevel::Long;
  return TEstimateLevel::Normal;
}

bool EstimatePreparation(double upperLimit, double massA, double massB, int processType,
                         TPreparationEstimate& estimate) {
  const double m = SmallestUnitMass(massA, massB);
  if (m <= 0.0 || !std::isfinite(upperLimit) || upperLimit < 0.0)
    return false;
  const double k = std::trunc(upperLimit / m) + 1.0;
  double species = k * k;
  if (processType == Engine::ptFreeRadical)
    species *= 3.0;
  else if (processType == Engine::ptATRP)
    species *= 4.0;
  if (species > 9.0e18)
    return false;
  estimate.Species = static_cast<std::int64_t>(species);
  estimate.Seconds = species * SecondsPerSpecies;
  estimate.Level = EstimateLevel(estimate.Seconds);
  estimate.Text = "Number of Species = " + std::to_string(estimate.Species) +
                  "\r\nApprox. Preparation Time = " + Propagon::FormatFloat("0.0", estimate.Seconds) + "s";
  return true;
}

// ---- counting ---------------------------------------------------------------------

void TDistribData::Resize(std::int32_t n) {
  const std::size_t side = static_cast<std::size_t>(n) + 1;
  FCells.assign(side * side, 0u);
  FN = n;
}

void TDistribData::Release() {
  FCells = {};
  FN = -1;
}

std::uint64_t TDistribData::Total() const {
  std::uint64_t total = 0;
  for (const std::uint32_t c : FCells)
    total += c;
  return total;
}

void PrepareABDistribution(const Engine::TSimState& state, std::int32_t n, TCountTables& tables) {
  const std::vector<int> curves = CurvesOfProcess(state.ProcessType);
  for (int c = 0; c < CurveCount; ++c) {
    bool used = false;
    for (const int u : curves)
      used = used || u == c;
    if (used)
      tables[static_cast<std::size_t>(c)].Resize(n);
    else
      tables[static_cast<std::size_t>(c)].Release();
  }
  if (curves.empty())
    return;

  const int type = state.ProcessType;
  const bool hasLiving = type == Engine::ptATRP && state.ChainLiving.size() > static_cast<std::size_t>(state.ChainsNumber);
  const std::int32_t last =
      std::min<std::int32_t>(state.ChainsNumber, static_cast<std::int32_t>(state.ChainDP.size()) - 1);
  int s = -1;
  for (std::int32_t chain = 1; chain <= last; ++chain) {
    const std::int32_t dp = state.ChainDP[static_cast<std::size_t>(chain)];
    if (dp == 0)
      continue;
    const std::int32_t unitsB = state.ChainUnits.CountB(chain, dp);
    const std::int32_t unitsA = dp - unitsB;
    if (unitsA > n || unitsB > n)
      continue;
    if (type == Engine::ptLiving) {
      tables[3].Add(unitsA, unitsB);
      continue;
    }
    if (type == Engine::ptATRP && hasLiving && state.ChainLiving[static_cast<std::size_t>(chain)] != 0) {
      tables[3].Add(unitsA, unitsB);
      continue;
    }
    if (state.ChainUnits[chain][0] == RecombinationHead) {
      tables[0].Add(unitsA, unitsB);
      continue;
    }
    // Disproportionation leaves one saturated and one unsaturated chain end;
    // the store does not say which chain got which, so the chains are shared
    // out alternately over the whole store.
    s = -s;
    tables[s == 1 ? 1 : 2].Add(unitsA, unitsB);
  }
}

// ---- the library's tables ------------------------------------------------------------

TTableJob MakeTableJob(const Params::TParameterFile& file, int processType, std::int32_t n,
                       const std::string& cation, const std::string& directory) {
  TTableJob job;
  job.N = n;
  job.Cation = cation;
  job.Directory = directory;
  job.Curves = CurvesOfProcess(processType);
  if (job.Curves.empty())
    return job;
  job.FormulaA = ReadComponent(file, "MonomerAFormula");
  job.FormulaB = ReadComponent(file, "MonomerBFormula");
  const std::string initiator = ReadComponent(file, "InitiatorFormula");
  const std::string attached = ReadComponent(file, "InitiatorAttachedGroup");
  if (processType == Engine::ptLiving) {
    job.EndGroups[3] = attached;
  } else {
    // A recombined chain carries the fragment that ended up on each of its
    // two ends, not the whole initiator molecule: an azo initiator loses N2
    // on decomposition, and a peroxide's formula is only by chance twice its
    // fragment.
    job.EndGroups[0] = attached + attached;
    job.EndGroups[1] = attached + "H";
    job.EndGroups[2] = attached;
    if (processType == Engine::ptATRP)
      job.EndGroups[3] = initiator;
  }
  return job;
}

namespace {

// Collects what the library writes to the wide error stream during one call
// (it shares this program's C++ runtime) and passes it on to the terminal as
// well, so the reason of a failure reaches the log. The library is called
// one call at a time, and nothing else writes that stream meanwhile.
class TLibraryMessages {
public:
  TLibraryMessages() : FPrevious(std::wcerr.rdbuf(&FBuffer)) {}
  ~TLibraryMessages() {
    std::wcerr.rdbuf(FPrevious);
    const std::wstring text = FBuffer.str();
    if (!text.empty())
      std::wcerr << text << std::flush;
  }
  TLibraryMessages(const TLibraryMessages&) = delete;
  TLibraryMessages& operator=(const TLibraryMessages&) = delete;

  // UTF-8, without the last line end.
  std::string Text() const {
    std::string out;
    for (const wchar_t w : FBuffer.str()) Params::AppendUtf8(out, static_cast<char32_t>(w));
    while (!out.empty() && out.back() == '\n')
      out.pop_back();
    return out;
  }

private:
  std::wstringbuf FBuffer;
  std::wstreambuf* FPrevious;
};

} // namespace

TTableResult RunTableJob(const Shell::TMaldiBinding& binding, const TTableJob& job, const TTableProgress& progress) {
  TTableResult result;
  if (job.Curves.empty()) {
    result.Error = "The MALDI spectrum needs a process with defined end groups (living, free-radical or ATRP "
                   "polymerization)";
    return result;
  }
  // Both entry points are looked up before the first call, so a library
  // without the abstracted operation fails at once with a clear reason
  // instead of after the first tables.
  if (binding.Symbol("PrepareSpectrum") == nullptr) {
    result.Error = "The MALDI library offers no \"PrepareSpectrum\": no spectrum can be prepared";
    return result;
  }
  bool needsAbstracted = false;
  for (const int c : job.Curves)
    needsAbstracted = needsAbstracted || c == 2;
  if (needsAbstracted && binding.Symbol("PrepareAbstractedSpectrum") == nullptr) {
    result.Error = "The MALDI library offers no \"PrepareAbstractedSpectrum\": the spectrum of chains with an "
                   "unsaturated end (I~=) cannot be prepared; load a complete library";
    return result;
  }
  const int total = static_cast<int>(job.Curves.size());
  for (int done = 0; done < total; ++done) {
    if (progress && !progress(done, total)) {
      result.ExitCode = 0;
      result.Cancelled = true;
      result.Error = "The MALDI spectrum calculation was cancelled";
      return result;
    }
    const int c = job.Curves[static_cast<std::size_t>(done)];
    const std::string fileName = job.Directory + CurveDesigns[static_cast<std::size_t>(c)].FileName;
    const std::string& ends = job.EndGroups[static_cast<std::size_t>(c)];
    std::string said;  // what the library wrote to the wide error stream
    {
      const TLibraryMessages messages;
      result.ExitCode = c == 2 ? binding.PrepareAbstractedSpectrum(job.N, job.FormulaA, job.FormulaB, ends,
                                                                   job.Cation, fileName)
                               : binding.PrepareSpectrum(job.N, job.FormulaA, job.FormulaB, ends, job.Cation,
                                                         fileName);
      said = messages.Text();
    }
    if (result.ExitCode != 1) {
      // The library names the line of ISOTOPE.DAT or the formula at fault.
      result.Error = "The MALDI library could not write \"" + fileName + "\"" +
                     (said.empty() ? std::string(" (is ISOTOPE.DAT beside the library, and the folder writable?)")
                                   : ": " + said);
      return result;
    }
  }
  if (progress)
    progress(total, total);
  return result;
}

// ---- building the curves ----------------------------------------------------------

std::int64_t AxisHigh(double upperLimit) {
  if (!(upperLimit > 0.0))
    return 0;
  return static_cast<std::int64_t>(std::trunc(static_cast<double>(PointsPerUnit) * upperLimit));
}

void BuildAxis(double upperLimit, std::vector<double>& axis) {
  const std::int64_t high = AxisHigh(upperLimit);
  axis.resize(static_cast<std::size_t>(high) + 1);
  for (std::int64_t k = 0; k <= high; ++k)
    axis[static_cast<std::size_t>(k)] = static_cast<double>(k) * (1.0 / PointsPerUnit);
}

bool SetData_Isotopic(const std::string& fileName, const TDistribData& table, double upperLimit, int labelLevel,
                      TCurveData& curve, std::int32_t& n, std::string& error) {
  std::ifstream stream(fileName, std::ios::binary);
  if (!stream) {
    error = "Cannot open the MALDI table file \"" + fileName + "\": " + std::strerror(errno);
    return false;
  }
  const std::string bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  if (stream.bad()) {
    error = "Cannot read the MALDI table file \"" + fileName + "\"";
    return false;
  }
  Maldi::TSpectrumTable spectrum;
  std::string reason;
  if (!Maldi::ReadPatternTable(bytes, spectrum, reason)) {
    error = "The MALDI table file \"" + fileName + "\" is damaged: " + reason;
    return false;
  }
  // The counts were sized for the n of this calculation; a file with more
  // units belongs to another one and would be read past the counts.
  if (spectrum.N > table.N()) {
    error = "The MALDI table file \"" + fileName + "\" holds " + std::to_string(spectrum.N) +
            " units of each monomer, the chains were counted up to " + std::to_string(table.N()) +
            ": it belongs to another calculation";
    return false;
  }

  const std::int64_t high = AxisHigh(upperLimit);
  TCurveData built;
  built.Active = true;
  built.Intensities.assign(static_cast<std::size_t>(high) + 1, 0.0);
  for (std::int32_t i = 0; i <= spectrum.N; ++i) {
    for (std::int32_t j = 0; j <= spectrum.N; ++j) {
      const std::uint32_t count = table.At(i, j);
      if (count == 0)
        continue;
      for (const Maldi::TTablePeak& peak : spectrum.Record(i, j)) {
        if (!(peak.Mass <= upperLimit))
          continue;
        const double position = std::trunc(peak.Mass * PointsPerUnit + 0.5);
        // Placeholder peaks (mass -10000000) and anything else off the axis.
        if (position < 0.0 || position > static_cast<double>(high))
          continue;
        const auto k = static_cast<std::size_t>(position);
        built.Intensities[k] += count * peak.Intensity * 0.01;
        if (built.Intensities[k] >= labelLevel && std::fabs(peak.Intensity - 100.0) < 0.1)
          built.Labels[static_cast<std::int32_t>(k)] = std::to_string(i) + "+" + std::to_string(j);
      }
    }
  }
  curve = std::move(built);
  n = spectrum.N;
  return true;
}

bool ParseLabelLevel(const std::string& text, int& level) {
  std::int32_t value = 0;
  if (!Propagon::TryStrToInt(text, value))
    return false;
  level = value <= 1 ? value + 1 : value;
  return true;
}

// ---- the whole calculation ------------------------------------------------------

bool TMALDISpectrum::ComputeUnitLimit(const Engine::TSimState& state, std::string& error) {
  double upper = 0.0;
  if (!ParseUpperLimit(UpperLimit, upper, error))
    return false;
  std::int32_t n = 0;
  if (!UnitLimit(upper, state.MonomerAMolWeight, state.MonomerBMolWeight, n, error))
    return false;
  N = n;
  UpperLimitValue = upper;
  return true;
}

TTableJob TMALDISpectrum::MakeJob(const Params::TParameterFile& file, const Engine::TSimState& state) const {
  return MakeTableJob(file, state.ProcessType, N, Cation, TempDir);
}

int TMALDISpectrum::FinishTables(const TTableResult& result) {
  Propagon::LogMessage("Prepare MALDI Exit Code = " + std::to_string(result.ExitCode));
  if (result.ExitCode != 1 && !result.Error.empty())
    Propagon::LogMessage(result.Error);
  return result.ExitCode;
}

int TMALDISpectrum::SaveTemporarySpectrum(const Shell::TMaldiBinding& binding, const Params::TParameterFile& file,
                                          const Engine::TSimState& state) {
  const TTableResult result = RunTableJob(binding, MakeJob(file, state));
  return FinishTables(result);
}

void TMALDISpectrum::PrepareABDistribution(const Engine::TSimState& state) {
  MaldiView::PrepareABDistribution(state, N, Tables);
}

bool TMALDISpectrum::BuildCurves(int processType, std::string& error) {
  for (TCurveData& curve : Curves)
    curve.Active = false;
  BuildAxis(UpperLimitValue, Axis);
  for (const int c : CurvesOfProcess(processType)) {
    const auto index = static_cast<std::size_t>(c);
    std::int32_t n = N;
    if (!SetData_Isotopic(TempDir + CurveDesigns[index].FileName, Tables[index], UpperLimitValue, LabelLevel,
                          Curves[index], n, error)) {
      Propagon::LogMessage(error);
      return false;
    }
    N = n;
  }
  ProcessType = processType;
  return true;
}

bool TMALDISpectrum::RebuildLabels(std::string& error) {
  if (ProcessType < 0)
    return true; // no spectrum yet
  return BuildCurves(ProcessType, error);
}

bool TMALDISpectrum::Calculate(const Shell::TMaldiBinding& binding, const Params::TParameterFile& file,
                               const Engine::TSimState& state, std::string& error) {
  try {
    if (!ComputeUnitLimit(state, error)) {
      Propagon::LogMessage(error);
      return false;
    }
    const TTableResult result = RunTableJob(binding, MakeJob(file, state));
    if (FinishTables(result) != 1) {
      error = result.Error;
      return false;
    }
    PrepareABDistribution(state);
    return BuildCurves(state.ProcessType, error);
  } catch (const std::bad_alloc&) {
    error = "Not enough memory for a MALDI spectrum up to m/z " + UpperLimit;
    Propagon::LogMessage(error);
    return false;
  }
}

void TMALDISpectrum::Release() {
  Axis = {};
  for (TCurveData& curve : Curves)
    curve = TCurveData{};
  for (TDistribData& table : Tables)
    table.Release();
  ProcessType = -1;
}

std::vector<int> TMALDISpectrum::ActiveCurves() const {
  std::vector<int> active;
  for (int c = 0; c < CurveCount; ++c)
    if (Curves[static_cast<std::size_t>(c)].Active)
      active.push_back(c);
  return active;
}

namespace {

std::string DataNumber(double value) { return Propagon::FormatGeneral(value, 10, 0, -4, '.'); }

// Replaced whole or not at all: a failed write keeps an earlier file.
bool WriteText(const std::string& path, const std::string& text, std::string& error) {
  if (!Propagon::WriteFileAtomically(path, text)) {
    error = "Unable to write to " + path;
    return false;
  }
  return true;
}

} // namespace

bool TMALDISpectrum::WriteSpectrumFile(const std::string& path, std::string& error) const {
  const std::vector<int> active = ActiveCurves();
  std::string text = "mz";
  for (const int c : active)
    text += std::string("\t") + CurveDesigns[static_cast<std::size_t>(c)].Title;
  text += '\n';
  for (std::size_t k = 0; k < Axis.size(); ++k) {
    text += DataNumber(Axis[k]);
    for (const int c : active) {
      const auto& intensities = Curves[static_cast<std::size_t>(c)].Intensities;
      text += '\t';
      text += DataNumber(k < intensities.size() ? intensities[k] : 0.0);
    }
    text += '\n';
  }
  return WriteText(path, text, error);
}

bool TMALDISpectrum::WriteLabelsFile(const std::string& path, std::string& error) const {
  std::string text = "mz\tcurve\tlabel\n";
  for (const int c : ActiveCurves()) {
    const TCurveData& curve = Curves[static_cast<std::size_t>(c)];
    for (const auto& [k, label] : curve.Labels)
      if (k >= 0 && static_cast<std::size_t>(k) < Axis.size())
        text += DataNumber(Axis[static_cast<std::size_t>(k)]) + "\t" +
                CurveDesigns[static_cast<std::size_t>(c)].Title + "\t" + label + "\n";
  }
  return WriteText(path, text, error);
}

} // namespace MaldiView
