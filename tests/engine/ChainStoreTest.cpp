// The chain store: sizing by process type, reset, the shared chain-store
// operations with their boundaries and messages, the live-view notifications
// and the release of the arrays.

#include "engine/uDataStruct.h"
#include "engine/uranmt.h"
#include "params/uErrors.h"
#include "params/uParamFile.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace Engine;
using TestSupport::TLogCapture;

TRunDescription MakeRun(std::uint8_t type, std::int32_t initiators, std::int32_t monomerA = 1000, std::int32_t monomerB = 500) {
  TRunDescription run;
  run.ProcessType = type;
  run.InitiatorNumber = initiators;
  run.MonomerANumber = monomerA;
  run.MonomerBNumber = monomerB;
  run.MonomerAMolWeight = 100.0;
  run.MonomerBMolWeight = 50.0;
  run.InitiatorMolWeight = 10.0;
  run.InitiatorAttachMolWeight = 80.0;
  run.ActivatorNumber = 30;
  run.OxidizedActivatorNumber = 3;
  run.CheckPointTime = {0.0, 1.0, 2.0};
  return run;
}

// A store sized and reset for a run.
struct TStore {
  TSimState S;
  explicit TStore(const TRunDescription& run) {
    S.AllocateMemory(run);
    S.FixedSeed = 1u;
    S.InitializeRun();
  }
  // Checks the histogram invariant: DPDistribution[d] counts the chains of DP d.
  void ExpectHistogramMatches() const {
    std::vector<std::int32_t> counts(static_cast<std::size_t>(MaxDP) + 1, 0);
    for (std::int32_t i = 1; i <= S.ChainsNumber; ++i) ++counts[S.ChainDP[static_cast<std::size_t>(i)]];
    ASSERT_EQ(counts, S.DPDistribution);
  }
  // Grows a chain to d units of one kind directly through the store's own
  // operation (the boundary tests need long chains).
  void Grow(std::int32_t chain, std::int32_t units, std::uint8_t kind = UnitA) {
    for (std::int32_t k = 0; k < units; ++k) ASSERT_TRUE(S.Propagate(chain, kind));
  }
};

std::vector<std::uint8_t> Units(const TSimState& s, std::int32_t chain) {
  std::vector<std::uint8_t> units;
  const TChainRow row = s.ChainUnits[chain];
  for (std::int32_t p = 1; p <= s.ChainDP[static_cast<std::size_t>(chain)]; ++p) units.push_back(row[p]);
  return units;
}

// Records every observer call as a line of text, with the DP of the chain
// concerned as the store shows it during the call.
class TRecordingObserver : public TSimObserver {
public:
  explicit TRecordingObserver(const TSimState& state) : FState(state) {}
  std::vector<std::string> Calls;

  void StructureFormResize() override { Calls.push_back("StructureFormResize"); }
  void InitializePlots() override { Calls.push_back("InitializePlots"); }
  void DrawUnit(int chain, int position, int kind) override {
    Calls.push_back("DrawUnit " + std::to_string(chain) + " " + std::to_string(position) + " " + std::to_string(kind));
  }
  void DrawUnitStrided(int chain, int position, int kind) override {
    Calls.push_back("DrawUnitStrided " + std::to_string(chain) + " " + std::to_string(position) + " " + std::to_string(kind));
  }
  void EraseUnit(int chain, int position) override {
    Calls.push_back("EraseUnit " + std::to_string(chain) + " " + std::to_string(position) + " dp " +
                    std::to_string(FState.ChainDP[static_cast<std::size_t>(chain)]));
  }
  void DrawSegment(int x, int y, int length) override {
    Calls.push_back("DrawSegment " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(length));
  }
  void DrawSegmentStrided(int x, int y, int length) override {
    Calls.push_back("DrawSegmentStrided " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(length));
  }
  void ShowOneChainChange() override {
    const TDPChange& c = FState.LastDPChange;
    Calls.push_back("ShowOneChainChange " + std::to_string(c.FromDP1) + "->" + std::to_string(c.ToDP2));
  }
  void ShowTwoChainsChange() override {
    const TDPChange& c = FState.LastDPChange;
    Calls.push_back("ShowTwoChainsChange " + std::to_string(c.FromDP1) + "," + std::to_string(c.FromDP2) + "->" +
                    std::to_string(c.ToDP1) + "," + std::to_string(c.ToDP2));
  }

private:
  const TSimState& FState;
};

// ---------------------------------------------------------------------------
// Sizing

TEST(ChainStoreAllocation, LogsItsStepsAndSizesByProcessType) {
  TLogCapture log;
  TSimState s;
  bool terminateRequested = false;
  s.AllocateMemory(MakeRun(ptFreeRadical, 40000), [&] { terminateRequested = true; });
  EXPECT_FALSE(s.AllocationFailed);
  EXPECT_FALSE(terminateRequested);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Reading Memory Requirements...", "Allocate Memory ...",
                                                   "Process Created Succesfully!"}));
  // Free radical: two chain slots per initiator molecule, so 80000 chains,
  // more than 16-bit list entries could name.
  EXPECT_EQ(s.ChainsNumber, 80000);
  EXPECT_EQ(s.MersNumber, 1500);
  EXPECT_EQ(s.ActiveI.size(), 80000u);
  EXPECT_EQ(s.ActiveB.size(), 80000u);
  EXPECT_TRUE(s.DormantI.empty());
  EXPECT_EQ(s.ChainUnits.Rows(), 80001);
  // Room for every position of every row (plus the block table).
  EXPECT_GE(s.ChainUnits.ReservedBytes(), 80001u * 32768u);
  EXPECT_DOUBLE_EQ(s.InitiatorMolWeight, 5.0); // one half of the initiator per chain end
  EXPECT_EQ(s.ExpectedChainsN, 80000);         // absent key: ChainsNumber
  EXPECT_EQ(s.CheckPointsHigh, 2);
  EXPECT_EQ(s.CPDyads[3].size(), 3u);
  EXPECT_EQ(s.DPDistribution.size(), 32768u);
  s.ActiveA[79999] = 79999 + 1;
  EXPECT_EQ(s.ActiveA[79999], 80000); // no wrap at 65536

  TSimState atrp;
  atrp.AllocateMemory(MakeRun(ptATRP, 500));
  EXPECT_EQ(atrp.ChainsNumber, 500);
  EXPECT_EQ(atrp.DormantB.size(), 500u);
  EXPECT_EQ(atrp.ChainLiving.size(), 501u);
  EXPECT_EQ(atrp.ActivatorNumber, 30);
  EXPECT_EQ(atrp.OxidizedActivatorNumber, 3);
  EXPECT_DOUBLE_EQ(atrp.InitiatorAttachMolWeight, 80.0);
  EXPECT_DOUBLE_EQ(atrp.InitiatorMolWeight, 10.0);

  TSimState living;
  living.StructureChainStep = 9;
  living.AllocateMemory(MakeRun(ptLiving, 50));
  EXPECT_EQ(living.Mers.size(), 1501u);
  EXPECT_EQ(living.StructureChainStep.load(), 1);
  EXPECT_TRUE(living.ActiveI.empty());

  TSimState reversible;
  reversible.AllocateMemory(MakeRun(ptLivingReversible, 50));
  EXPECT_EQ(reversible.ChainEndCode.size(), 51u);
  EXPECT_TRUE(reversible.Mers.empty());
}

TEST(ChainStoreAllocation, ExpectedChainCountReachesTheStructureView) {
  TSimState s;
  TRecordingObserver observer(s);
  s.Observer = &observer;
  TRunDescription run = MakeRun(ptFreeRadical, 100);
  run.ExpectedChainsN = 64;
  s.AllocateMemory(run);
  EXPECT_EQ(s.ExpectedChainsN, 64);
  EXPECT_EQ(observer.Calls, std::vector<std::string>{"StructureFormResize"});
}

TEST(ChainStoreAllocation, ImpossibleNumbersFailWithTheAllocationErrorPath) {
  struct TCase {
    TRunDescription Run;
    std::string Reason;
  };
  std::vector<TCase> cases;
  cases.push_back({MakeRun(ptLiving, 0), "Invalid InitiatorNumber in the Parameters File: 0"});
  cases.push_back({MakeRun(ptLiving, 10, -1), "Invalid MonomerANumber in the Parameters File: -1"});
  cases.push_back({MakeRun(ptLiving, 10, 5, -3), "Invalid MonomerBNumber in the Parameters File: -3"});
  cases.push_back({MakeRun(ptLiving, 10, 2000000000, 2000000000),
                   "Too many monomer molecules in the Parameters File: 4000000000"});
  cases.push_back({MakeRun(ptFreeRadical, 1200000000), "Too many initiator molecules in the Parameters File: 1200000000"});
  TRunDescription noCheckPoints = MakeRun(ptLiving, 10);
  noCheckPoints.CheckPointTime.clear();
  cases.push_back({noCheckPoints, "No Checking Points in the Parameters File!"});
  // No kernel runs for another type: sizing it would "complete" a run in
  // which nothing was simulated.
  cases.push_back({MakeRun(7, 10),
                   "ProcessType 7 is not a Process Type (0 living, 1 free radical, 2 ATRP, 3 living reversible)"});
  // Check point 0 is the initial state.
  TRunDescription lateStart = MakeRun(ptLiving, 10);
  lateStart.CheckPointTime = {5.0, 10.0};
  cases.push_back({lateStart, "The First Checking Point must be 0 (the Start of the Run), not 5"});

  for (const TCase& c : cases) {
    TLogCapture log;
    TSimState s;
    int terminateRequests = 0;
    EXPECT_THROW(s.AllocateMemory(c.Run, [&] { ++terminateRequests; }), std::exception) << c.Reason;
    EXPECT_TRUE(s.AllocationFailed);
    EXPECT_EQ(terminateRequests, 1);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Reading Memory Requirements...", "Allocate Memory ...", c.Reason,
                                                     "Memory Allocation Error!"}));
    EXPECT_FALSE(s.ChainUnits.Allocated());
  }
}

// A parameter file in a fresh temporary folder, removed afterwards.
class ChainStoreFromFile : public ::testing::Test {
protected:
  void SetUp() override {
    FFolder = std::filesystem::temp_directory_path() /
              ("propagon-store-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(FFolder);
  }
  void TearDown() override { std::filesystem::remove_all(FFolder); }
  std::string FileName() const { return (FFolder / "run.kpx").string(); }
  // A free-radical run as the parameter editor writes it, molar masses with
  // either decimal separator.
  void WriteFreeRadicalRun(Params::TParameterFile& file) {
    file.BeginUpdate();
    file.WriteInteger("General", "ProcessType", 1);
    file.WriteInteger("SimulationParameters", "InitiatorNumber", 1000);
    file.WriteInteger("SimulationParameters", "MonomerANumber", 870000);
    file.WriteInteger("SimulationParameters", "MonomerBNumber", 0);
    file.WriteString("Components", "MonomerAMolWeight", "104,1512");
    file.WriteString("Components", "MonomerBMolWeight", "100.1170");
    file.WriteString("Components", "InitiatorMolWeight", "164,2100");
    file.WriteString("CheckingPoints", "0", "0");
    file.WriteString("CheckingPoints", "1", "600,0000");
    file.WriteString("CheckingPoints", "2", "3600.0000");
    file.EndUpdate();
  }

private:
  std::filesystem::path FFolder;
};

TEST_F(ChainStoreFromFile, ReadsTheRunFromTheParameterFile) {
  Params::TParameterFile file(FileName());
  WriteFreeRadicalRun(file);
  file.WriteInteger("General", "ExpectedChainsN", 1500);
  TLogCapture log;
  TSimState s;
  s.AllocateMemory(file);
  EXPECT_FALSE(s.AllocationFailed);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Reading Memory Requirements...", "Allocate Memory ...",
                                                   "Process Created Succesfully!"}));
  EXPECT_EQ(s.ProcessType, ptFreeRadical);
  EXPECT_EQ(s.ChainsNumber, 2000);
  EXPECT_EQ(s.MonomerANumber, 870000);
  EXPECT_EQ(s.MersNumber, 870000);
  EXPECT_EQ(s.CheckPointsHigh, 2);
  EXPECT_EQ(s.CheckPointTime, (TRealArray{0.0, 600.0, 3600.0}));
  EXPECT_DOUBLE_EQ(s.MonomerAMolWeight, 104.1512);
  EXPECT_DOUBLE_EQ(s.MonomerBMolWeight, 100.117);
  EXPECT_DOUBLE_EQ(s.InitiatorMolWeight, 82.105); // 164.21 halved
  EXPECT_EQ(s.ExpectedChainsN, 1500);
}

TEST_F(ChainStoreFromFile, AtrpKeysAndTheExpectedChainsDefault) {
  Params::TParameterFile file(FileName());
  WriteFreeRadicalRun(file);
  Params::TParameterFile atrpFile((std::filesystem::path(FileName()).parent_path() / "atrp.kpx").string());
  WriteFreeRadicalRun(atrpFile);
  atrpFile.WriteInteger("General", "ProcessType", 2);
  atrpFile.WriteInteger("SimulationParameters", "ActivatorNumber", 120);
  atrpFile.WriteInteger("SimulationParameters", "OxidizedActivatorNumber", 6);
  atrpFile.WriteString("Components", "InitiatorAttachMolWeight", "79,9040");

  TSimState radical;
  radical.AllocateMemory(file);
  EXPECT_EQ(radical.ExpectedChainsN, 2000); // absent: ChainsNumber

  TSimState atrp;
  atrp.AllocateMemory(atrpFile);
  EXPECT_EQ(atrp.ChainsNumber, 1000);
  EXPECT_EQ(atrp.ActivatorNumber, 120);
  EXPECT_EQ(atrp.OxidizedActivatorNumber, 6);
  EXPECT_DOUBLE_EQ(atrp.InitiatorAttachMolWeight, 79.904);
  EXPECT_DOUBLE_EQ(atrp.InitiatorMolWeight, 164.21); // not halved for ATRP
}

TEST_F(ChainStoreFromFile, UnreadableMolarMassTakesTheErrorPath) {
  Params::TParameterFile file(FileName());
  WriteFreeRadicalRun(file);
  file.WriteString("Components", "MonomerBMolWeight", "abc");
  TLogCapture log;
  TSimState s;
  bool terminateRequested = false;
  EXPECT_THROW(s.AllocateMemory(file, [&] { terminateRequested = true; }), std::invalid_argument);
  EXPECT_TRUE(s.AllocationFailed);
  EXPECT_TRUE(terminateRequested);
  // The key is named with its text.
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Reading Memory Requirements...", "Allocate Memory ...",
                                                   "Invalid MonomerBMolWeight in the Parameters File: abc (a molar "
                                                   "mass must be above 0 and at most 1e100 g/mol)",
                                                   "Memory Allocation Error!"}));
}

TEST_F(ChainStoreFromFile, MolarMassesMustBeFiniteAndAboveZero) {
  struct TCase {
    const char* Key;
    const char* Text;
  };
  for (const TCase c : {TCase{"MonomerAMolWeight", "0"}, TCase{"MonomerBMolWeight", "-100"},
                        TCase{"InitiatorMolWeight", "nan"}, TCase{"MonomerAMolWeight", "inf"},
                        TCase{"MonomerAMolWeight", "1e306"}}) {
    Params::TParameterFile file(FileName());
    WriteFreeRadicalRun(file);
    file.WriteString("Components", c.Key, c.Text);
    TLogCapture log;
    TSimState s;
    bool terminateRequested = false;
    EXPECT_THROW(s.AllocateMemory(file, [&] { terminateRequested = true; }), std::invalid_argument) << c.Text;
    EXPECT_TRUE(s.AllocationFailed);
    EXPECT_TRUE(terminateRequested);
    ASSERT_GE(log.Lines().size(), 2u);
    // The key and its text are named, then the allocation fails.
    EXPECT_EQ(log.Lines()[log.Lines().size() - 2].rfind(std::string("Invalid ") + c.Key +
                                                           " in the Parameters File: " + c.Text, 0),
              0u)
        << log.Lines()[log.Lines().size() - 2];
    EXPECT_EQ(log.Lines().back(), "Memory Allocation Error!");
  }
  // An ATRP attached group too.
  Params::TParameterFile atrp(FileName());
  WriteFreeRadicalRun(atrp);
  atrp.WriteInteger("General", "ProcessType", 2);
  atrp.WriteString("Components", "InitiatorAttachMolWeight", "0");
  TSimState s;
  EXPECT_THROW(s.AllocateMemory(atrp), std::invalid_argument);
}

TEST_F(ChainStoreFromFile, HugeButFiniteMolarMassGivesBoundedHistograms) {
  // 1e12 g/mol a unit: the mass axis of a 3-unit chain reaches 3e12 g/mol,
  // which no array indexed by mass could hold. The histograms keep one bin
  // per chain mass and the curves a bounded grid.
  Params::TParameterFile file(FileName());
  WriteFreeRadicalRun(file);
  file.WriteString("Components", "MonomerAMolWeight", "1e12");
  TSimState s;
  s.AllocateMemory(file);
  s.InitializeRun();
  s.ChainUnits[1][0] = 1;
  s.ChainUnits[2][0] = 1;
  for (std::uint8_t k = 0; k < 3; ++k) ASSERT_TRUE(s.PropagateStrided(1, UnitA));
  ASSERT_TRUE(s.PropagateStrided(2, UnitA));
  s.CalcMassDistributions();
  ASSERT_EQ(s.MassHistogram.Bins.size(), 2u);
  EXPECT_GT(s.MassHistogram.AxisLength, 3e12);
  EXPECT_EQ(s.MassHistogram.NumberAt(std::trunc(3e12 + 82.105 + HydrogenMass)), 1.0);
  EXPECT_DOUBLE_EQ(s.Mn, (4e12 + 2 * 82.105) / 2.0);
  EXPECT_TRUE(std::isfinite(s.Mw));
}

TEST_F(ChainStoreFromFile, AProcessTypeWithoutAKernelIsRefusedWhole) {
  // 257 is not read into 8 bits as type 1, nor -1 as 255, nor a text as 0.
  for (const std::string type : {"257", "-1", "7", "one"}) {
    Params::TParameterFile file(FileName());
    WriteFreeRadicalRun(file);
    file.WriteString("General", "ProcessType", type);
    TLogCapture log;
    TSimState s;
    EXPECT_THROW(s.AllocateMemory(file), std::invalid_argument) << type;
    EXPECT_TRUE(s.AllocationFailed);
    const std::string shown = type == "one" ? "\"one\"" : type;
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{"Reading Memory Requirements...",
                                        "ProcessType " + shown +
                                            " is not a Process Type (0 living, 1 free radical, 2 ATRP, 3 living reversible)",
                                        "Memory Allocation Error!"}));
    EXPECT_FALSE(s.ChainUnits.Allocated());
  }
}

// ---------------------------------------------------------------------------
// Reset

TEST(ChainStoreReset, FreshStoreAndRecordZeroPerProcessType) {
  TStore living(MakeRun(ptLiving, 20, 7, 4));
  EXPECT_EQ(living.S.DPDistribution[0], 20);
  for (std::int32_t d = 1; d <= MaxDP; ++d) ASSERT_EQ(living.S.DPDistribution[static_cast<std::size_t>(d)], 0) << d;
  EXPECT_EQ(living.S.CPInitiator[0], 20);
  EXPECT_EQ(living.S.CPMonomerA[0], 7);
  EXPECT_EQ(living.S.CPMonomerB[0], 4);
  EXPECT_EQ(living.S.CPDeadChains[0], 0);
  // Mer 0 is the sentinel of a chain without units, its kind that of free A;
  // mers 1..7 free A, 8..11 free B.
  ASSERT_EQ(living.S.Mers.size(), 12u);
  for (std::size_t m = 0; m <= 7; ++m) EXPECT_EQ(living.S.Mers[m].Kind, 2) << m;
  for (std::size_t m = 8; m <= 11; ++m) EXPECT_EQ(living.S.Mers[m].Kind, 3) << m;

  TStore atrp(MakeRun(ptATRP, 6));
  EXPECT_EQ(atrp.S.DormantINumber, 6);
  EXPECT_EQ(atrp.S.ActiveINumber + atrp.S.ActiveANumber + atrp.S.ActiveBNumber + atrp.S.DormantANumber +
                atrp.S.DormantBNumber,
            0);
  EXPECT_EQ(atrp.S.DormantI, (TChainList{1, 2, 3, 4, 5, 6}));
  for (std::uint8_t living_ : atrp.S.ChainLiving) EXPECT_EQ(living_, 1);

  TStore reversible(MakeRun(ptLivingReversible, 5));
  for (std::int32_t i = 1; i <= 5; ++i) EXPECT_EQ(reversible.S.ChainEndCode[static_cast<std::size_t>(i)], ecI);
}

TEST(ChainStoreReset, SeedsTheGeneratorAndTellsTheViews) {
  TSimState s;
  TRecordingObserver observer(s);
  s.AllocateMemory(MakeRun(ptLiving, 3));
  s.Observer = &observer;
  s.FixedSeed = 777u;
  s.InitializeRun();
  EXPECT_EQ(s.SeedUsed, 777u);
  std::mt19937 reference(777u);
  EXPECT_EQ(RandomInt32(), static_cast<std::uint32_t>(reference()));
  EXPECT_EQ(observer.Calls, (std::vector<std::string>{"StructureFormResize", "InitializePlots"}));

  // Without a fixed seed a run seeds with the millisecond tick counter read
  // during InitializeRun (compared modulo 2^32, as the counter wraps).
  s.FixedSeed.reset();
  const std::uint32_t before = GetTickCount();
  s.InitializeRun();
  const std::uint32_t after = GetTickCount();
  EXPECT_LE(s.SeedUsed - before, after - before);
  std::mt19937 tickSeeded(s.SeedUsed);
  EXPECT_EQ(RandomInt32(), static_cast<std::uint32_t>(tickSeeded()));
}

TEST(ChainStoreReset, SecondResetEmptiesEveryChainAgain) {
  TStore store(MakeRun(ptFreeRadical, 400));
  store.Grow(3, 300, UnitB);  // crosses a block of 256 positions
  store.Grow(800, 5, UnitB);
  store.S.ChainUnits[17][0] = 1;
  store.S.CPDyads[1][2] = 0.5;
  store.S.InitializeRun();
  EXPECT_EQ(store.S.DPDistribution[0], 800);
  EXPECT_EQ(store.S.ChainDP[3], 0);
  const TChainRow row3 = store.S.ChainUnits[3];
  for (std::int32_t p = 0; p <= 300; ++p) ASSERT_EQ(row3[p], 0) << p;
  EXPECT_EQ(store.S.ChainUnits[800][1], 0);
  EXPECT_EQ(store.S.ChainUnits[17][0], 0);
  EXPECT_EQ(store.S.CPDyads[1][2], 0.0);
}

// ---------------------------------------------------------------------------
// Appending units

TEST(ChainStorePropagate, AppendsAndKeepsTheHistogram) {
  TStore store(MakeRun(ptATRP, 10));
  TSimState& s = store.S;
  EXPECT_TRUE(s.Propagate(4, UnitA));
  EXPECT_TRUE(s.Propagate(4, UnitB));
  EXPECT_TRUE(s.PropagateStrided(9, UnitB));
  EXPECT_EQ(Units(s, 4), (std::vector<std::uint8_t>{0, 1}));
  EXPECT_EQ(Units(s, 9), (std::vector<std::uint8_t>{1}));
  EXPECT_EQ(s.LastDPChange.FromDP1, 0);
  EXPECT_EQ(s.LastDPChange.ToDP2, 1);
  EXPECT_EQ(s.DPDistribution[0], 8);
  EXPECT_EQ(s.DPDistribution[1], 1);
  EXPECT_EQ(s.DPDistribution[2], 1);
  store.ExpectHistogramMatches();
}

TEST(ChainStorePropagate, GrowsTo32767AndRefusesBeyond) {
  TLogCapture log;
  TStore store(MakeRun(ptFreeRadical, 2));
  TSimState& s = store.S;
  store.Grow(2, 32766, UnitB);
  // DP 32766 -> 32767: the last position of the row.
  EXPECT_TRUE(s.PropagateStrided(2, UnitA));
  EXPECT_EQ(s.ChainDP[2], 32767);
  EXPECT_EQ(s.ChainUnits[2][32767], UnitA);
  EXPECT_EQ(s.ChainUnits[2][32766], UnitB);
  EXPECT_EQ(s.DPDistribution[32767], 1);
  EXPECT_FALSE(log.Contains("Chain DP to big for Propagation!"));
  const TDPChange before = s.LastDPChange;
  // At 32767 the chain is full: nothing changes but the message.
  EXPECT_FALSE(s.PropagateStrided(2, UnitB));
  EXPECT_FALSE(s.Propagate(2, UnitB));
  EXPECT_EQ(s.ChainDP[2], 32767);
  EXPECT_EQ(s.DPDistribution[32767], 1);
  EXPECT_EQ(s.DPDistribution[0], 3);
  EXPECT_EQ(s.ChainUnits[2][32767], UnitA);
  EXPECT_EQ(s.LastDPChange.FromDP1, before.FromDP1);
  EXPECT_EQ(s.LastDPChange.ToDP2, before.ToDP2);
  EXPECT_TRUE(log.Contains("Chain DP to big for Propagation!"));
  store.ExpectHistogramMatches();
}

TEST(ChainStorePropagate, RepeatedRefusalsAreSummedOncePerCheckPoint) {
  TStore store(MakeRun(ptFreeRadical, 1));
  TSimState& s = store.S;
  store.Grow(1, MaxDP);
  TLogCapture log;
  for (int k = 0; k < 5; ++k) s.PropagateStrided(1, UnitA);
  s.LogRefusalSummary();
  // Next interval: a single refusal logs its line and no summary.
  s.PropagateStrided(1, UnitA);
  s.LogRefusalSummary();
  s.LogRefusalSummary(); // nothing refused: nothing logged
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                             "Chain DP to big for Propagation!",
                             "Chain DP to big for Propagation! (refused 5 times since the previous check point)",
                             "Chain DP to big for Propagation!"}));
}

// ---------------------------------------------------------------------------
// Recombination

TEST(ChainStoreRecombine, JoinsHeadToHead) {
  TStore store(MakeRun(ptFreeRadical, 4));
  TSimState& s = store.S;
  // x = chain 2 with A A B, y = chain 5 with B A.
  for (std::uint8_t k : {UnitA, UnitA, UnitB}) s.PropagateStrided(2, k);
  for (std::uint8_t k : {UnitB, UnitA}) s.PropagateStrided(5, k);
  s.ChainUnits[2][0] = 1;
  s.ChainUnits[5][0] = 1;
  EXPECT_TRUE(s.RecombineStrided(2, 5));
  // y's units follow in reverse order: A A B + (A B) = A A B A B.
  EXPECT_EQ(Units(s, 2), (std::vector<std::uint8_t>{0, 0, 1, 0, 1}));
  EXPECT_EQ(s.ChainDP[5], 0);
  EXPECT_EQ(s.ChainUnits[2][0], 2); // two initiator ends
  EXPECT_EQ(s.ChainUnits[5][0], 0); // emptied slot
  EXPECT_EQ(s.DPDistribution[5], 1);
  EXPECT_EQ(s.DPDistribution[3], 0);
  EXPECT_EQ(s.DPDistribution[2], 0);
  EXPECT_EQ(s.DPDistribution[0], 7); // y counts among the empty chains again
  EXPECT_EQ(s.LastDPChange.FromDP1, 2);
  EXPECT_EQ(s.LastDPChange.FromDP2, 3);
  EXPECT_EQ(s.LastDPChange.ToDP1, 0);
  EXPECT_EQ(s.LastDPChange.ToDP2, 5);
  store.ExpectHistogramMatches();
}

TEST(ChainStoreRecombine, ProductBelow32767IsTheLimit) {
  TLogCapture log;
  TStore store(MakeRun(ptATRP, 4));
  TSimState& s = store.S;
  store.Grow(1, 20000, UnitA);
  store.Grow(2, 12766, UnitB);
  store.Grow(3, 20000, UnitA);
  store.Grow(4, 12767, UnitB);
  // 20000 + 12766 = 32766 is accepted.
  EXPECT_TRUE(s.Recombine(1, 2));
  EXPECT_EQ(s.ChainDP[1], 32766);
  EXPECT_EQ(s.ChainUnits[1][20001], UnitB);
  EXPECT_EQ(s.ChainUnits[1][32766], UnitB);
  EXPECT_EQ(s.DeadChainsNumber, 2);
  EXPECT_FALSE(log.Contains("Recombination give to big DP! Change some parameters!"));
  // 20000 + 12767 = 32767 is refused; both chains are dead all the same.
  EXPECT_FALSE(s.Recombine(3, 4));
  EXPECT_TRUE(log.Contains("Recombination give to big DP! Change some parameters!"));
  EXPECT_EQ(s.ChainDP[3], 20000);
  EXPECT_EQ(s.ChainDP[4], 12767);
  EXPECT_EQ(s.DPDistribution[20000], 1);
  EXPECT_EQ(s.DPDistribution[12767], 1);
  EXPECT_EQ(s.ChainLiving[3], 0);
  EXPECT_EQ(s.ChainLiving[4], 0);
  EXPECT_EQ(s.DeadChainsNumber, 2); // only the successful recombination counts
  store.ExpectHistogramMatches();
}

// Random appends and recombinations against a plain model of the chains,
// with chains long enough to span several blocks of the store.
TEST(ChainStoreRecombine, RandomOperationsAgreeWithAModel) {
  TStore store(MakeRun(ptFreeRadical, 30));
  TSimState& s = store.S;
  std::vector<std::vector<std::uint8_t>> model(61);
  std::mt19937 rng(11u);
  for (int step = 0; step < 40000; ++step) {
    const std::int32_t x = static_cast<std::int32_t>(rng() % 60) + 1;
    if (rng() % 100 < 97) {
      const std::uint8_t kind = static_cast<std::uint8_t>(rng() % 2);
      s.PropagateStrided(x, kind);
      model[static_cast<std::size_t>(x)].push_back(kind);
    } else {
      const std::int32_t y = static_cast<std::int32_t>(rng() % 60) + 1;
      if (y == x) continue;
      auto& mx = model[static_cast<std::size_t>(x)];
      auto& my = model[static_cast<std::size_t>(y)];
      if (mx.size() + my.size() < static_cast<std::size_t>(MaxDP)) {
        mx.insert(mx.end(), my.rbegin(), my.rend());
        my.clear();
      }
      s.RecombineStrided(x, y);
    }
  }
  for (std::int32_t i = 1; i <= 60; ++i) ASSERT_EQ(Units(s, i), model[static_cast<std::size_t>(i)]) << "chain " << i;
  store.ExpectHistogramMatches();
  // Chains emptied by a recombination gave their later blocks back and took
  // new ones as they grew again: exactly the blocks the lengths need are held.
  std::size_t needed = 0;
  for (std::int32_t i = 1; i <= 60; ++i) needed += static_cast<std::size_t>(s.ChainDP[static_cast<std::size_t>(i)] / TChainUnits::BlockLength);
  EXPECT_GT(needed, 60u);
  EXPECT_EQ(s.ChainUnits.BlocksInUse(), needed);
}

// ---------------------------------------------------------------------------
// Living reversible

TEST(ChainStoreReversible, EndCodesAfterAddingAndReleasing) {
  TStore store(MakeRun(ptLivingReversible, 3));
  TSimState& s = store.S;
  std::int32_t freeA = 10, freeB = 10;
  // Chain 1: I* + A -> IA* (4); releasing it returns to I* (6).
  EXPECT_TRUE(s.ReversibleAddA(1, ecIA, freeA));
  EXPECT_EQ(s.ChainUnits[1][0], 2); // head byte: the initiator code
  EXPECT_EQ(freeA, 9);
  s.ReversibleRemoveA(1, UnitA, freeA);
  EXPECT_EQ(s.ChainEndCode[1], ecI);
  EXPECT_EQ(s.ChainDP[1], 0);
  EXPECT_EQ(freeA, 10);
  // Chain 2: A then B (AB*); releasing the B leaves one A: code 4.
  s.ReversibleAddA(2, ecIA, freeA);
  s.ReversibleAddB(2, ecAB, freeB);
  EXPECT_EQ(freeB, 9);
  s.ReversibleRemoveB(2, UnitA, freeB);
  EXPECT_EQ(s.ChainEndCode[2], ecIA);
  EXPECT_EQ(freeB, 10);
  // Chain 3: B then A (BA*); releasing the A leaves one B: code 5.
  s.ReversibleAddB(3, ecIB, freeB);
  s.ReversibleAddA(3, ecBA, freeA);
  s.ReversibleRemoveA(3, UnitB, freeA);
  EXPECT_EQ(s.ChainEndCode[3], ecIB);
  // AB* releasing its B: the code comes from the unit before the A.
  s.ReversibleAddA(3, ecBA, freeA);  // B A
  s.ReversibleAddB(3, ecAB, freeB);  // B A B
  s.ReversibleRemoveB(3, UnitA, freeB);
  EXPECT_EQ(s.ChainEndCode[3], ecBA); // B before the A: 2 x 1 + 0
  s.ReversibleAddA(2, ecAA, freeA);   // A A
  s.ReversibleAddB(2, ecAB, freeB);   // A A B
  s.ReversibleRemoveB(2, UnitA, freeB);
  EXPECT_EQ(s.ChainEndCode[2], ecAA);
  EXPECT_EQ(Units(s, 2), (std::vector<std::uint8_t>{0, 0}));
  EXPECT_EQ(s.LastDPChange.FromDP1, 3);
  EXPECT_EQ(s.LastDPChange.ToDP2, 2);
  store.ExpectHistogramMatches();
}

TEST(ChainStoreReversible, AdditionAtMaxDPIsSkipped) {
  TLogCapture log;
  TStore store(MakeRun(ptLivingReversible, 1));
  TSimState& s = store.S;
  std::int32_t freeA = 40000, freeB = 10;
  for (std::int32_t k = 0; k < MaxDP; ++k) ASSERT_TRUE(s.ReversibleAddA(1, k == 0 ? ecIA : ecAA, freeA));
  EXPECT_FALSE(s.ReversibleAddB(1, ecAB, freeB));
  EXPECT_EQ(freeB, 10);                // the monomer stays free
  EXPECT_EQ(s.ChainEndCode[1], ecAA);  // the end is unchanged
  EXPECT_EQ(s.ChainDP[1], MaxDP);
  EXPECT_TRUE(log.Contains("Chain DP to big for Propagation!"));
}

// ---------------------------------------------------------------------------
// Notifications

TEST(ChainStoreNotifications, ReachTheObserverOnlyWhileAFlagIsOn) {
  // ATRP sizing (3000 chains, ChainLiving present) serves both variants.
  TStore store(MakeRun(ptATRP, 3000));
  TSimState& s = store.S;
  TRecordingObserver observer(s);
  s.Observer = &observer;
  s.PropagateStrided(4, UnitA);
  s.Propagate(5, UnitB);
  s.RecombineStrided(4, 5);
  EXPECT_TRUE(observer.Calls.empty());

  s.SetShowDistribution(true);
  s.Propagate(7, UnitA);
  s.Propagate(8, UnitB);
  s.Recombine(7, 8);
  EXPECT_EQ(observer.Calls, (std::vector<std::string>{"ShowOneChainChange 0->1", "ShowOneChainChange 0->1",
                                                      "ShowTwoChainsChange 1,1->0,2"}));
  observer.Calls.clear();

  s.SetShowDistribution(false);
  s.SetShowStructure(true);
  s.Propagate(2046, UnitA);   // shown: below 2047
  s.Propagate(2047, UnitB);   // not shown
  s.Propagate(2999, UnitA);
  s.Recombine(2047, 2999);    // neither below 2047
  s.Recombine(2046, 2047);    // x below 2047
  s.StructureChainStep = 3;
  s.PropagateStrided(2100, UnitB); // a multiple of 3
  s.PropagateStrided(2101, UnitA); // not
  s.PropagateStrided(10, UnitA);   // below 2047 but not a multiple: the strided view skips it
  s.RecombineStrided(2101, 2100);  // y is a multiple
  EXPECT_EQ(observer.Calls, (std::vector<std::string>{"DrawUnit 2046 1 0", "DrawSegment 2046 2047 2",
                                                      "DrawUnitStrided 2100 1 1", "DrawSegmentStrided 2101 2100 1"}));
  observer.Calls.clear();

  s.SetShowStructure(false);
  s.Propagate(11, UnitA);
  s.PropagateStrided(12, UnitA);
  EXPECT_TRUE(observer.Calls.empty());
}

// Records the combined calls as such, to see how the events were grouped.
class TGroupingObserver : public TRecordingObserver {
public:
  using TRecordingObserver::TRecordingObserver;
  void DrawUnitAndShowChange(int chain, int position, int kind, bool strided) override {
    Calls.push_back("[");
    TRecordingObserver::DrawUnitAndShowChange(chain, position, kind, strided);
    Calls.push_back("]");
  }
  void DrawSegmentAndShowChanges(int to, int from, int length, bool strided) override {
    Calls.push_back("[");
    TRecordingObserver::DrawSegmentAndShowChanges(to, from, length, strided);
    Calls.push_back("]");
  }
};

TEST(ChainStoreNotifications, WithBothViewsAnEventIsOneCallWhenItIsDrawn) {
  TStore store(MakeRun(ptATRP, 3000));
  TSimState& s = store.S;
  TGroupingObserver observer(s);
  s.Observer = &observer;
  s.SetShowStructure(true);
  s.SetShowDistribution(true);
  s.StructureChainStep = 3;
  s.Propagate(7, UnitA);
  s.Propagate(2500, UnitB);        // not drawn: the distribution alone
  s.Recombine(7, 2500);
  s.PropagateStrided(9, UnitB);    // a multiple of 3
  s.PropagateStrided(10, UnitA);   // not drawn
  s.RecombineStrided(10, 9);
  // The grouped calls carry the same calls, in the same order, with the
  // state of the event (the DP change) read inside them.
  EXPECT_EQ(observer.Calls,
            (std::vector<std::string>{"[", "DrawUnit 7 1 0", "ShowOneChainChange 0->1", "]",
                                      "ShowOneChainChange 0->1",
                                      "[", "DrawSegment 7 2500 1", "ShowTwoChainsChange 1,1->0,2", "]",
                                      "[", "DrawUnitStrided 9 1 1", "ShowOneChainChange 0->1", "]",
                                      "ShowOneChainChange 0->1",
                                      "[", "DrawSegmentStrided 10 9 1", "ShowTwoChainsChange 1,1->0,2", "]"}));
}

TEST(ChainStoreNotifications, ReleaseErasesBeforeTheLengthChanges) {
  TStore store(MakeRun(ptLivingReversible, 3000));
  TSimState& s = store.S;
  TRecordingObserver observer(s);
  s.Observer = &observer;
  std::int32_t freeA = 100;
  s.ReversibleAddA(5, ecIA, freeA);
  s.ReversibleAddA(2500, ecIA, freeA);
  s.SetShowStructure(true);
  s.SetShowDistribution(true);
  s.ReversibleAddA(5, ecAA, freeA);
  s.ReversibleRemoveA(5, UnitA, freeA);
  s.ReversibleRemoveA(2500, UnitA, freeA); // chain not shown: only the DP view hears of it
  EXPECT_EQ(observer.Calls, (std::vector<std::string>{"DrawUnit 5 2 0", "ShowOneChainChange 1->2",
                                                      "EraseUnit 5 2 dp 2", "ShowOneChainChange 2->1",
                                                      "ShowOneChainChange 1->0"}));
}

// ---------------------------------------------------------------------------
// Release

TEST(ChainStoreRelease, ThreadMemoryThenEverythingElse) {
  TLogCapture log;
  TStore store(MakeRun(ptATRP, 10));
  TSimState& s = store.S;
  s.Propagate(1, UnitA);
  s.FreeThreadMemory();
  EXPECT_EQ(log.Lines().back(), "Done!");
  EXPECT_EQ(log.Lines()[log.Lines().size() - 2], "Freeing Thread Memory...");
  for (const TChainList* list : {&s.ActiveI, &s.ActiveA, &s.ActiveB, &s.DormantI, &s.DormantA, &s.DormantB})
    EXPECT_TRUE(list->empty());
  EXPECT_TRUE(s.ChainEndMer.empty());
  EXPECT_TRUE(s.CPACenters.empty());
  EXPECT_TRUE(s.CPDyads[0].empty());
  // The results stay for the windows until Clear.
  EXPECT_EQ(s.ChainDP[1], 1);
  EXPECT_EQ(s.ChainUnits[1][1], UnitA);
  EXPECT_EQ(s.CPInitiator.size(), 3u);
  EXPECT_EQ(s.ChainLiving.size(), 11u);

  s.FreeAllocatedMemory();
  EXPECT_FALSE(s.ChainUnits.Allocated());
  EXPECT_TRUE(s.ChainDP.empty());
  EXPECT_TRUE(s.DPDistribution.empty());
  EXPECT_TRUE(s.CheckPointTime.empty());
  EXPECT_TRUE(s.ChainLiving.empty());
  EXPECT_EQ(s.ChainsNumber, 0);
  EXPECT_FALSE(s.CheckPointRecordsAllocated());
  // Statistics over a cleared store find nothing to do and keep their values.
  s.Mn = 123.0;
  s.CalcMassDistributions();
  s.CalcDyads(1);
  EXPECT_EQ(s.Mn, 123.0);
}

} // namespace
