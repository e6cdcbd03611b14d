#include "params/uParamSetting.h"

#include "params/uGrowthBound.h"

#include "params/uErrors.h"
#include "params/uLogMessage.h"
#include "params/uMessageReporter.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"

#include <algorithm>
#include <cmath>

namespace Params {

namespace {

// The library's file name as the messages name it.
constexpr const char* MaldiLibraryName = "libMaldi.so";

std::string Prefix(int component) { return ComponentNames[static_cast<std::size_t>(component)]; }

double Multiply(double a, double b) {
  const double r = a * b;
  if (std::isnan(r))
    throw Propagon::EInvalidOp();
  if (std::isinf(r) && std::isfinite(a) && std::isfinite(b))
    throw Propagon::EOverflow();
  return r;
}

double Rate(const std::string& text, const char* key) {
  return FieldValue(text, std::string(ChemicalRatesSection) + "/" + key);
}

std::string RealText(double value) {
  if (!std::isfinite(value))
    throw Propagon::EOverflow();  // never write INF or NAN into a parameter file
  return Propagon::FloatToStr(value);
}

} // namespace

double FieldValue(const std::string& text, const std::string& field) {
  if (text.find_first_not_of(" \t") == std::string::npos)
    return 0.0;
  double value = 0.0;
  if (!Propagon::TryStrToFloat(text, value)) {
    Propagon::EConvertError error(Propagon::InvalidFloatMessage(text));
    error.SetField(field);
    throw error;
  }
  return value;
}

double Divide(double numerator, double denominator) {
  if (denominator == 0.0) {
    if (numerator == 0.0 || std::isnan(numerator))
      throw Propagon::EInvalidOp();
    throw Propagon::EZeroDivide();
  }
  const double r = numerator / denominator;
  if (std::isnan(r))
    throw Propagon::EInvalidOp();
  if (std::isinf(r) && std::isfinite(numerator))
    throw Propagon::EOverflow();
  return r;
}

double GetComponentVolume(TProcessValues& values, int component) {
  TComponentValues& c = values.Components[static_cast<std::size_t>(component)];
  const std::string prefix = std::string(ComponentsSection) + "/" + Prefix(component);
  switch (c.Units) {
  case cuWeight: {
    const double v = Divide(FieldValue(c.Amount, prefix + "Amount"), FieldValue(c.Density, prefix + "Density"));
    c.Volume = Propagon::FormatFloat("0.###", v);
    return FieldValue(c.Volume, prefix + "Volume");
  }
  case cuMoles:
  case cuConcentration:
    return FieldValue(c.Volume, prefix + "Volume");
  default:  // volume, or no unit selected
    c.Volume = c.Amount;
    return FieldValue(c.Amount, prefix + "Amount");
  }
}

double GetVolume(TProcessValues& values) {
  if (values.CheckVolumesCalcMode()) {
    const double sum = GetComponentVolume(values, ciSolvent) + GetComponentVolume(values, ciMonomerA) +
                       GetComponentVolume(values, ciMonomerB);
    values.TotalVolume = Propagon::FormatFloat("##0.00", sum);
    return sum * 0.001;
  }
  return FieldValue(values.TotalVolume, std::string(GeneralSection) + "/TotalVolume") * 0.001;
}

double GetConcentration(TProcessValues& values, int component) {
  if (component == ciSolvent)
    return 0.0;
  TComponentValues& c = values.Components[static_cast<std::size_t>(component)];
  const std::string prefix = std::string(ComponentsSection) + "/" + Prefix(component);
  const double amount = FieldValue(c.Amount, prefix + "Amount");
  switch (c.Units) {
  case cuVolume: {
    const double density = FieldValue(c.Density, prefix + "Density");
    const double moles = Divide(Multiply(density, amount), c.MolarMass);
    return Divide(moles, GetVolume(values));
  }
  case cuWeight:
    return Divide(Divide(amount, c.MolarMass), GetVolume(values));
  case cuMoles:
    return Divide(amount, GetVolume(values));
  default:  // concentration, or no unit selected
    return amount;
  }
}

std::int64_t RoundMolecules(double value) {
  if (std::isnan(value))
    throw Propagon::EInvalidOp();
  if (std::fabs(value) >= 9.2e18)
    throw Propagon::EOverflow();
  return Propagon::RoundHalfEven(value);
}

std::int64_t GetMoleculesNumber(TProcessValues& values, const TValidationState& state, int component) {
  const double c = GetConcentration(values, component);
  const double v = GetVolume(values);
  const double ni = static_cast<double>(state.NI);
  if (v == 0.0) {
    // Every amount is a concentration (anything else would have divided by the
    // zero volume already): the volume cancels out.
    return RoundMolecules(Divide(Multiply(ni, c), state.I0));
  }
  const double s = Divide(ni, Multiply(Multiply(v, state.I0), AvogadroNumber));
  return RoundMolecules(Multiply(Multiply(Multiply(c, v), AvogadroNumber), s));
}

namespace {

// Bytes per chain slot that every process type touches: its length (16-bit),
// the living kernel's end-mer entry and the statistics' B count (32-bit
// each).
constexpr std::int64_t BytesPerSlot = 2 + 4 + 4;
// Bytes per chain slot of a process's own lists: free radical three 32-bit
// radical lists; ATRP six 32-bit lists and the living flag; living
// reversible the end code.
constexpr std::int64_t ListBytesPerChain[4] = {0, 3 * 4, 6 * 4 + 1, 1};
// The first 128-position block of the sequence of a chain that starts: these
// blocks lie chain after chain, so they fill pages in the order chains are
// numbered (and started).
constexpr std::int64_t FirstBlockBytes = 128;
// The mass histograms hold at most one bin per chain, and a homopolymer has
// at most three masses per chain length (one end group with a hydrogen more
// or less, or two): a bin is 24 bytes, twice that while the bins grow, 16
// bytes of lookup slots and 24 of the copy a chart window takes.
constexpr std::int64_t BytesPerMassBin = 2 * 24 + 16 + 24;
constexpr std::int64_t HomopolymerMassBins = 3 * (MaxDP + 1);
// The living kernel's record per monomer molecule (TMer: 3 x 32-bit + kind).
constexpr std::int64_t MerBytes = 16;
// Bytes per check point: the engine's records (four 32-bit counts, two
// centre averages, four dyad fractions, the time) and the row the command
// line keeps for checkpoints.tsv.
constexpr std::int64_t BytesPerCheckPoint = 4 * 4 + 2 * 8 + 4 * 8 + 8 + 184;

// What the store's later blocks (positions 128 on) can make resident for
// `started` chains holding `units` units: the units themselves (one byte
// each) and, for each chain long enough to have later blocks (at most
// units / 128 of them), one partly used 128-byte block and at most 1 KiB of
// block table (the table is stored block by block: one column of 256 spans
// at most a page per 1024 long chains); 4 bytes per chain slot name the rows.
std::int64_t LaterBlocksBytes(std::int64_t slots, std::int64_t started, std::int64_t units) {
  const std::int64_t longChains = std::min(started, units / 128);
  return units + longChains * (128 + 1024) + slots * 4;
}

}  // namespace

std::int64_t EstimateRequiredMemory(int processType, std::int64_t NI, std::int64_t NA, std::int64_t NB,
                                    std::int64_t checkPointsHigh, const TFreeRadicalGrowth* growth) {
  const bool known = processType >= 0 && processType <= 3;
  const std::int64_t slots = (processType == 1 ? 2 * NI : NI) + 1;  // slot 0 belongs to no chain
  const std::int64_t monomers = NA + NB;
  // Chains that can start and units they can hold: all of them, except in a
  // free-radical run whose rates bound both.
  std::int64_t started = slots, units = monomers;
  if (processType == 1 && growth != nullptr) {
    started = std::min(slots, FreeRadicalStartedChainsBound(NI, growth->f, growth->kd, growth->tLast) + 1);
    // Each chain that starts takes one monomer unit with its primary radical.
    units = std::min(monomers, FreeRadicalUnitsBound(*growth, NI, NA, NB) + started);
  }
  std::int64_t bytes = slots * (BytesPerSlot + (known ? ListBytesPerChain[processType] : 0));
  bytes += started * FirstBlockBytes + LaterBlocksBytes(slots, started, units);
  const std::int64_t bins = NA == 0 || NB == 0 ? std::min(started, HomopolymerMassBins) : started;
  bytes += bins * BytesPerMassBin;
  if (processType == 0)
    bytes += (monomers + 1) * MerBytes;
  bytes += (checkPointsHigh + 1) * BytesPerCheckPoint;
  bytes += 4 * (MaxDP + 1);  // the DP distribution
  return bytes + MemoryBase;
}

TFreeRadicalGrowth FreeRadicalGrowthOf(const TProcessValues& values, const TValidationState& state) {
  // The per-event constants exactly as SaveSimulationParameters writes them
  // (text and back), so an estimate made later from the saved file agrees.
  const double scaling = Divide(state.I0, static_cast<double>(state.NI));
  const auto perEvent = [&](const std::string& text, const char* key) {
    return FieldValue(RealText(Multiply(Rate(text, key), scaling)), key);
  };
  const auto propagation = [&](int k) { return perEvent(values.Propagation[k], PropagationKeys[k]); };
  const auto termination = [&](int k) {
    return perEvent(values.Termination[k], TerminationKeys[k]) +
           perEvent(values.Termination[k + 3], TerminationKeys[k + 3]);
  };
  TFreeRadicalGrowth g;
  g.kAA = propagation(1);
  g.kBA = propagation(2);
  g.kAB = propagation(4);
  g.kBB = propagation(5);
  g.ktAA = termination(0);
  g.ktAB = termination(1);
  g.ktBB = termination(2);
  g.kd = Rate(values.InitDecomposit, "InitDecomposit");
  g.f = Rate(values.InitiationEfficiency, "InitiationEfficiency");
  g.tLast = LastCheckingPoint(values);
  return g;
}

std::int64_t ExpectedChainsNumber(std::int64_t NI, double f, double kd, double tLast) {
  const double escaped = f * static_cast<double>(NI) * (1.0 - std::exp(-kd * tLast));
  return 2 * RoundMolecules(escaped);
}

double LastCheckingPoint(const TProcessValues& values) {
  for (auto it = values.CheckingPoints.rbegin(); it != values.CheckingPoints.rend(); ++it)
    if (it->find_first_not_of(" \t") != std::string::npos)
      return FieldValue(*it, CheckingPointsSection);
  return 0.0;
}

void SaveSimulationParameters(TParameterFile& file, TProcessValues& values, const TValidationState& state) {
  const char* sp = SimulationParametersSection;
  const char* sr = SimulationRatesSection;
  const char* cr = ChemicalRatesSection;
  // The estimate is written whole: 2^31 bytes and more do not wrap.
  file.WriteInteger(sp, "RequiredMemory", state.RequiredMemoryEstimate);
  file.WriteInteger(sp, "InitiatorNumber", state.NI);
  file.WriteInteger(sp, "MonomerANumber", state.NA);
  file.WriteInteger(sp, "MonomerBNumber", state.NB);
  const double ni = static_cast<double>(state.NI);
  file.WriteString(sp, "IniConc", Propagon::FormatGeneral(state.I0, 8));
  file.WriteString(sp, "SimVolume", Propagon::FormatGeneral(Divide(Divide(ni, state.I0), AvogadroNumber), 4));
  const double scaling = Divide(state.I0, ni);
  file.WriteString(sp, "ScalingCoeff", RealText(scaling));

  const auto scaled = [&](const std::string& text, const char* key) {
    return RealText(Multiply(Rate(text, key), scaling));
  };
  switch (values.ProcessType) {
  case 0: {
    double kmax = 0.0;
    for (std::size_t k = 0; k < PropagationKeys.size(); ++k)
      kmax = std::max(kmax, Rate(values.Propagation[k], PropagationKeys[k]));
    file.WriteString(cr, "MaxRateConstant", RealText(kmax));
    const double monomers = static_cast<double>(state.NA + state.NB);
    file.WriteString(cr, "TimeInterval", RealText(Divide(Divide(Divide(1.0, kmax), state.I0), monomers)));
    for (std::size_t k = 0; k < PropagationKeys.size(); ++k)
      file.WriteString(sr, PropagationKeys[k],
                       RealText(Divide(Rate(values.Propagation[k], PropagationKeys[k]), kmax)));
    break;
  }
  case 1: {
    for (std::size_t i = 0; i < 3; ++i) {
      file.WriteString(sr, TerminationKeys[i], scaled(values.Termination[i], TerminationKeys[i]));
      file.WriteString(sr, TerminationKeys[i + 3], scaled(values.Termination[i + 3], TerminationKeys[i + 3]));
    }
    file.WriteString(cr, "InitDecomposit", values.InitDecomposit);
    file.WriteString(cr, "InitiationEfficiency", values.InitiationEfficiency);
    file.WriteString(sr, "InitDecomposit", values.InitDecomposit);
    file.WriteString(sr, "InitiationEfficiency", values.InitiationEfficiency);
    const double kd = Rate(values.InitDecomposit, "InitDecomposit");
    const double f = Rate(values.InitiationEfficiency, "InitiationEfficiency");
    file.WriteInteger(GeneralSection, "ExpectedChainsN",
                      ExpectedChainsNumber(state.NI, f, kd, LastCheckingPoint(values)));
    for (std::size_t k = 0; k < 6; ++k)
      file.WriteString(sr, PropagationKeys[k], scaled(values.Propagation[k], PropagationKeys[k]));
    break;
  }
  case 2:
    file.WriteInteger(sp, "ActivatorNumber", state.NL);
    file.WriteInteger(sp, "OxidizedActivatorNumber", state.NLX);
    for (std::size_t i = 0; i < 3; ++i) {
      file.WriteString(sr, TerminationKeys[i], scaled(values.Termination[i], TerminationKeys[i]));
      file.WriteString(sr, TerminationKeys[i + 3], scaled(values.Termination[i + 3], TerminationKeys[i + 3]));
      file.WriteString(sr, ActivationKeys[i + 3], scaled(values.Activation[i + 3], ActivationKeys[i + 3]));
      file.WriteString(sr, ActivationKeys[i], scaled(values.Activation[i], ActivationKeys[i]));
    }
    for (std::size_t k = 0; k < 6; ++k)
      file.WriteString(sr, PropagationKeys[k], scaled(values.Propagation[k], PropagationKeys[k]));
    break;
  case 3:
    for (std::size_t k = 0; k < 6; ++k)
      file.WriteString(sr, PropagationKeys[k], scaled(values.Propagation[k], PropagationKeys[k]));
    break;
  default:
    break;
  }
}

void ShowInvalidFormula(int component, bool attachedGroup, TMessageReporter& reporter) {
  const std::string text =
      "Invalid Formula for \"" + Prefix(component) + " " + (attachedGroup ? "Attached Group" : "Formula") + "\"";
  Propagon::LogMessage(text);
  reporter.ShowError(text);
}

double CalcFormulaMass(const std::string& formula, int component, bool attachedGroup,
                       const TMolMassLookup& lookup, TMessageReporter& reporter) {
  double mass = 0.0;
  if (lookup)
    mass = lookup(formula);
  else
    Propagon::LogMessage(std::string("Function not Assigned! Error in \"") + MaldiLibraryName + "\"!");
  if (!(mass > 0.0 && mass <= MaxMolarMass)) {
    ShowInvalidFormula(component, attachedGroup, reporter);
    return 0.0;
  }
  return mass;
}

void SaveParameterFile(const std::string& fileName, TProcessValues& values, const TValidationState& state,
                       const TMolMassLookup& lookup, TMessageReporter& reporter) {
  if (values.ProcessType < 0 || values.ProcessType > 3)
    throw Propagon::EMathError("Process Type not Selected!");
  TParameterFile file(fileName);
  file.BeginUpdate();
  try {
    file.SetFileValid(!state.ValidationFailed);

    const char* gen = GeneralSection;
    file.WriteInteger(gen, "ProcessType", values.ProcessType);
    file.WriteString(gen, "ProcessName", ProcessNames[static_cast<std::size_t>(values.ProcessType)]);
    file.WriteInteger(gen, "MixtureVolume", values.MixtureVolume);
    file.WriteString(gen, "InitiatorNumber", values.InitiatorNumber);
    file.WriteString(gen, "TotalVolume", values.TotalVolume);

    const char* comp = ComponentsSection;
    for (int i = 0; i < 5; ++i) {
      TComponentValues& c = values.Components[static_cast<std::size_t>(i)];
      const std::string prefix = Prefix(i);
      if (i != ciSolvent) {
        file.WriteString(comp, prefix + "Formula", c.Formula);
        file.WriteString(comp, prefix + "Length", c.Length);
        file.WriteString(comp, prefix + "MolWeight", Propagon::FormatFloat("0.0000", c.MolarMass));
        if (i == ciInitiator) {
          file.WriteString(comp, "InitiatorAttachedGroup", c.AttachedGroup);
          const double group = CalcFormulaMass(c.AttachedGroup, i, true, lookup, reporter);
          file.WriteString(comp, "InitiatorAttachMolWeight", Propagon::FormatFloat("0.0000", group));
        }
        file.WriteString(comp, prefix + "Concentr", Propagon::FormatFloat("0.0000", GetConcentration(values, i)));
        if (i == ciActivator)
          file.WriteString(comp, prefix + "Oxidized", c.Oxidized);
      }
      file.WriteString(comp, prefix + "Density", c.Density);
      file.WriteInteger(comp, prefix + "Units", c.Units);
      file.WriteString(comp, prefix + "Amount", c.Amount);
      file.WriteString(comp, prefix + "Volume", c.Volume);
    }

    SaveSimulationParameters(file, values, state);

    const char* ctl = ControlsSection;
    file.WriteInteger(ctl, "CheckingPointsMethod", values.CheckingPointsMethod);
    file.WriteInteger(ctl, "CheckingPointsDistr", values.CheckingPointsDistr);
    file.WriteInteger(ctl, "CheckingPointsNumber", values.CheckingPointsNumber);

    const char* cr = ChemicalRatesSection;
    for (std::size_t centre = 0; centre < 3; ++centre)
      for (std::size_t column = 0; column < 4; ++column) {
        const std::size_t k = 3 * column + centre;
        file.WriteString(cr, PropagationKeys[k], values.Propagation[k]);
      }
    if (values.ProcessType == 1 || values.ProcessType == 2)
      for (std::size_t k = 0; k < 6; ++k)
        file.WriteString(cr, TerminationKeys[k], values.Termination[k]);
    if (values.ProcessType == 2)
      for (std::size_t k = 0; k < 6; ++k)
        file.WriteString(cr, ActivationKeys[k], values.Activation[k]);
    if (values.ProcessType == 3)
      for (std::size_t k = 0; k < 6; ++k) {
        file.WriteString(cr, DepropagationKeys[k], values.Depropagation[k]);
        file.WriteString(SimulationRatesSection, DepropagationKeys[k], values.Depropagation[k]);
      }

    file.WriteCheckingPoints(values.CheckingPoints);
    file.EndUpdate();
  } catch (...) {
    file.CancelUpdate();
    throw;
  }
}

void LoadParameterValues(const TParameterFile& file, TProcessValues& values, const TMolMassLookup& lookup,
                         TMessageReporter& reporter) {
  const char* gen = GeneralSection;
  const char* ctl = ControlsSection;
  const char* cr = ChemicalRatesSection;
  values.ProcessType = file.ReadInteger(gen, "ProcessType", -1);
  values.MixtureVolume = file.ReadInteger(gen, "MixtureVolume", -1);
  values.CheckingPointsMethod = file.ReadInteger(ctl, "CheckingPointsMethod", -1);
  values.CheckingPointsDistr = file.ReadInteger(ctl, "CheckingPointsDistr", -1);
  values.CheckingPointsNumber = file.ReadInteger(ctl, "CheckingPointsNumber", 1);
  file.ReadCheckingPoints(values.CheckingPoints);
  values.InitiatorNumber = file.ReadLocalString(gen, "InitiatorNumber");
  values.TotalVolume = file.ReadLocalString(gen, "TotalVolume");
  values.InitDecomposit = file.ReadLocalString(cr, "InitDecomposit");
  values.InitiationEfficiency = file.ReadLocalString(cr, "InitiationEfficiency");

  const char* comp = ComponentsSection;
  for (int i = 0; i < 5; ++i) {
    TComponentValues& c = values.Components[static_cast<std::size_t>(i)];
    const std::string prefix = Prefix(i);
    c.Units = file.ReadInteger(comp, prefix + "Units", -1);
    c.Amount = file.ReadLocalString(comp, prefix + "Amount");
    c.Density = file.ReadLocalString(comp, prefix + "Density");
    c.Volume = file.ReadLocalString(comp, prefix + "Volume");
    c.Oxidized = file.ReadLocalString(comp, prefix + "Oxidized");
    c.Formula = file.ReadString(comp, prefix + "Formula", "");
    c.MolarMass = c.Formula.empty() ? 0.0 : CalcFormulaMass(c.Formula, i, false, lookup, reporter);
    c.Length = file.ReadString(comp, prefix + "Length", "2");
    c.AttachedGroup = file.ReadString(comp, prefix + "AttachedGroup", "");
  }

  for (std::size_t k = 0; k < 12; ++k)
    values.Propagation[k] = file.ReadLocalString(cr, PropagationKeys[k]);
  for (std::size_t k = 0; k < 6; ++k) {
    values.Termination[k] = file.ReadLocalString(cr, TerminationKeys[k]);
    values.Activation[k] = file.ReadLocalString(cr, ActivationKeys[k]);
    values.Depropagation[k] = file.ReadLocalString(cr, DepropagationKeys[k]);
  }

  // The editor shows "0" in every emptied number field it shows; the rate
  // fields it shows for the process type are saved that way. This matters
  // beyond looks: the depropagation texts are copied into SimulationRates,
  // whose reader takes an empty value for 1.0.
  const int type = values.ProcessType;
  const auto zeroIfEmpty = [](std::string& text) {
    if (text.find_first_not_of(" \t") == std::string::npos)
      text = "0";
  };
  zeroIfEmpty(values.TotalVolume);
  for (std::size_t k = 0; k < 12; ++k)
    if (k < 6 || type == 0)  // the chain-transfer columns only for living polymerization
      zeroIfEmpty(values.Propagation[k]);
  for (std::size_t k = 0; k < 6; ++k) {
    if (type == 1 || type == 2)
      zeroIfEmpty(values.Termination[k]);
    if (type == 2)
      zeroIfEmpty(values.Activation[k]);
    if (type == 3)
      zeroIfEmpty(values.Depropagation[k]);
  }
  if (type == 1) {
    zeroIfEmpty(values.InitDecomposit);
    zeroIfEmpty(values.InitiationEfficiency);
  }
}

} // namespace Params
