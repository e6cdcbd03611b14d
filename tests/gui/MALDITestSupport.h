#pragma once
// Helpers of the MALDI window tests: a host with plain settings, the active
// library binding for a test's lifetime, chain stores filled by hand, and
// whole runs of parameter files written by hand (prepared as the parameter
// editor saves them, then simulated by the engine).

#include "engine/uDataStruct.h"
#include "engine/uSimThread.h"
#include "params/uMessageReporter.h"
#include "params/uParamFile.h"
#include "params/uPrepareFile.h"
#include "plots/uPlotHost.h"
#include "shell/uMaldiBinding.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>

namespace MALDITest {

class TMaldiHost : public Plots::TPlotHost {
public:
  std::unique_ptr<Params::TParameterFile> File;
  QString FileName;
  bool Running = false;
  bool Paused = false;
  // "section/key" -> value, in the order written per section.
  std::map<QString, QString> Strings;
  std::map<QString, QStringList> Sections;

  QString ParameterFileName() const override { return FileName; }
  const Params::TParameterFile* RunParameterFile() const override { return File.get(); }
  bool SimulationRunning() const override { return Running; }
  bool SimulationPaused() const override { return Paused; }
  QString ReadSettingString(const QString& section, const QString& key, const QString& defaultValue) const override {
    const auto it = Strings.find(section + QLatin1Char('/') + key);
    return it == Strings.end() ? defaultValue : it->second;
  }
  void WriteSettingString(const QString& section, const QString& key, const QString& value) override {
    // Keys are case-insensitive and unique, as in the settings file.
    QStringList& keys = Sections[section];
    bool known = false;
    for (const QString& k : keys)
      known = known || k.compare(key, Qt::CaseInsensitive) == 0;
    if (!known)
      keys.push_back(key);
    Strings[section + QLatin1Char('/') + key] = value;
  }
  QStringList ReadSettingSection(const QString& section) const override {
    const auto it = Sections.find(section);
    return it == Sections.end() ? QStringList() : it->second;
  }

  void UseParameterFile(const std::string& path) {
    FileName = QString::fromStdString(path);
    File = std::make_unique<Params::TParameterFile>(path);
  }
};

// Makes `binding` the program's library binding for the guard's lifetime.
class TBindingGuard {
public:
  explicit TBindingGuard(Shell::TMaldiBinding* binding) : FPrevious(Shell::SetActiveMaldiBinding(binding)) {}
  ~TBindingGuard() { Shell::SetActiveMaldiBinding(FPrevious); }
  TBindingGuard(const TBindingGuard&) = delete;
  TBindingGuard& operator=(const TBindingGuard&) = delete;

private:
  Shell::TMaldiBinding* FPrevious;
};

// A test with the real MALDI library as the program's binding, a temporary
// folder and a plot host; the program-wide store is freed afterwards.
class TMaldiLibraryTest : public ::testing::Test {
protected:
  void SetUp() override {
    Binding.CheckMALDILibrary(MALDI_LIBRARY_FILE);
    ASSERT_TRUE(Binding.SpectrumAvailable());
  }
  void TearDown() override { Engine::SimState().FreeAll(); }
  Shell::TMaldiBinding Binding;
  TBindingGuard Guard{&Binding};
  QTemporaryDir Dir;
  TMaldiHost Host;
};

// The program-wide store sized for `chains` chains (free radical: two per
// initiator), with unit masses of styrene (A) and MMA (B), and a mass axis
// reaching `largestMass` as the chain statistics leave it.
inline Engine::TSimState& Store(std::uint8_t processType, std::int32_t chains, double largestMass = 2000.0) {
  Engine::TSimState& s = Engine::SimState();
  s.FreeAll();
  Engine::TRunDescription run;
  run.ProcessType = processType;
  run.InitiatorNumber = processType == Engine::ptFreeRadical ? chains / 2 : chains;
  run.MonomerANumber = 10;
  run.MonomerAMolWeight = 104.1491;
  run.MonomerBMolWeight = 100.1158;
  run.CheckPointTime = {0.0, 1.0};
  s.AllocateMemory(run);
  // The statistics of a run whose mass axis ends at largestMass.
  s.MassHistogram.Begin(largestMass + 1.0);
  s.MassHistogram.Finish();
  return s;
}

inline void SetChain(Engine::TSimState& s, std::int32_t chain, int unitsA, int unitsB, std::uint8_t head = 0) {
  s.ChainDP[static_cast<std::size_t>(chain)] = static_cast<std::uint16_t>(unitsA + unitsB);
  s.ChainUnits[chain][0] = head;
  for (int p = 1; p <= unitsA + unitsB; ++p)
    s.ChainUnits[chain][p] = p <= unitsA ? Engine::UnitA : Engine::UnitB;
}

// Prepares a hand-written parameter file into `folder` (molar masses from
// `binding`) and runs it to the end with a fixed seed. Returns the prepared
// file's path; the store holds the product.
inline std::string RunHandWritten(const std::string& input, const QTemporaryDir& folder,
                                  const Shell::TMaldiBinding& binding, std::uint32_t seed) {
  const std::string output = folder.filePath(QStringLiteral("run.kpx")).toStdString();
  std::ostringstream messages;
  Params::TStreamReporter reporter(messages);
  const Params::TPrepareResult prepared = Params::PrepareParameterFile(input, output, binding.MolMassLookup(), reporter);
  EXPECT_EQ(prepared.ExitCode, 0) << prepared.Message << messages.str();
  const Params::TParameterFile file(output);
  Engine::TSimState& state = Engine::SimState();
  state.FreeAll();
  state.FixedSeed = seed;
  Engine::TSimObserver observer;
  {
    Engine::TSimThread thread(file, observer, state);
    thread.Start();
    thread.WaitFor();
    thread.OnSimulationEnd();
    EXPECT_FALSE(thread.Failed()) << thread.ErrorMessage();
  }
  state.FixedSeed.reset();
  return output;
}

} // namespace MALDITest
