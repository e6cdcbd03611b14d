#pragma once
// The simulation state: chain store, kernels' working structures, check-point
// records and chain statistics, held in one program-wide object.
//
// One simulation exists at a time. Its state lives in the single instance
// returned by SimState(); the members keep the names the whole program uses
// (ChainDP, ChainUnits, DPDistribution, CheckPointTime, ...). A kernel reaches
// it as
//
//     Engine::TSimState& s = Engine::SimState();
//     std::uint16_t* chainDP = s.ChainDP.data();   // raw pointers for hot loops
//     s.PropagateStrided(chain, 0);                // inline, no call when no live view
//
// Threading contract: the simulation thread is the only writer while a run is
// going. The window thread reads the state only inside the observer calls the
// simulation thread makes (it waits meanwhile), while the run is paused, and
// after the run has ended. Nothing here takes a lock. The exceptions are the
// live-view flags and StructureChainStep, which the window thread may change
// at any time: they are atomics, read before each notification, and a change
// takes effect from the next event.
//
// Chain store memory: ChainUnits is (ChainsNumber+1) x 32768 bytes on paper.
// It is one zero-filled reservation of address space; pages become resident
// only where units are written, so a run's memory grows with the polymer
// formed, not with ChainsNumber. See TChainUnits.

#include "engine/uMassHistogram.h"
#include "engine/uSimObserver.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace Params {
class TParameterFile;
}

namespace Engine {

// Longest chain the store holds; a sequence row has positions 0..MaxDP.
inline constexpr std::int32_t MaxDP = 32767;
inline constexpr std::int32_t ChainRowLength = MaxDP + 1;
// Chains numbered below this are the ones the microstructure view shows
// (outside the free-radical kernel, which uses StructureChainStep).
inline constexpr std::int32_t StructureDisplayLimit = 2047;
// Molar mass of a hydrogen atom, g/mol (disproportionation end groups).
inline constexpr double HydrogenMass = 1.00794;

// ProcessType values as stored in parameter files.
inline constexpr std::uint8_t ptLiving = 0;
inline constexpr std::uint8_t ptFreeRadical = 1;
inline constexpr std::uint8_t ptATRP = 2;
inline constexpr std::uint8_t ptLivingReversible = 3;

// Unit kinds in sequences: 0 = A, 1 = B.
inline constexpr std::uint8_t UnitA = 0;
inline constexpr std::uint8_t UnitB = 1;

// ChainEndCode values: 2 x penultimate + terminal, A = 0, B = 1, initiator = 2.
inline constexpr std::uint8_t ecAA = 0, ecAB = 1, ecBA = 2, ecBB = 3, ecIA = 4, ecIB = 5, ecI = 6;

using TRealArray = std::vector<double>;
using TIntegerArray = std::vector<std::int32_t>;
// Radical and dormant lists: chain numbers with 32-bit entries (16-bit entries
// would wrap above 65535 chains and silently corrupt a free-radical run).
using TChainList = std::vector<std::int32_t>;

// One monomer molecule of the living kernel, free or in a chain.
struct TMer {
  std::int32_t Prev;  // mer before it in its chain; 0 = the chain's initiator end
  std::int32_t Next;  // mer after it; 0 = last unit of its chain
  std::int32_t Chain; // chain holding it; 0 = free monomer
  std::uint8_t Kind;  // 0 A in a chain, 1 B in a chain, 2 free A, 3 free B
};
using TMersArray = std::vector<TMer>;

// The last change of chain lengths, read by the live DP distribution view.
struct TDPChange {
  std::int32_t FromDP1 = 0;
  std::int32_t FromDP2 = 0;
  std::int32_t ToDP1 = 0;
  std::int32_t ToDP2 = 0;
};

class TChainUnits;

// One chain's sequence row as seen through TChainUnits: row[p] is position p
// (0 = head byte, 1..ChainDP = unit kinds). Positions 0..MaxDP are valid.
class TChainRow {
public:
  TChainRow(std::uint8_t* first, const TChainUnits* units, std::int32_t chain) noexcept
      : FFirst(first), FUnits(units), FChain(chain) {}
  std::uint8_t& operator[](std::int32_t position) const noexcept;

private:
  std::uint8_t* FFirst; // the chain's first block (positions 0..127)
  const TChainUnits* FUnits;
  std::int32_t FChain;
};

// The sequence store: (rows) x 32768 bytes, addressed as ChainUnits[chain][position].
//
// Nothing is ever written in bulk: every part is an anonymous mapping that
// the operating system fills with zeros, so only what a run writes becomes
// resident. A row is kept in blocks of 128 positions:
// - the first block of every chain (positions 0..127) lies in one band, chain
//   after chain, so short chains share pages and a kernel in which every chain
//   grows from the start writes one dense band;
// - later blocks are handed out from one arena in the order chains first
//   reach them, through a table row of block numbers that a chain gets when
//   it first reaches position 128. A long chain therefore fills whole pages
//   of its own, whatever its neighbours do: the resident memory of a run is
//   the units formed plus, per chain that passed 128 units, one partly used
//   block and 4 bytes of block table per block, where blocks laid out by chain number
//   would cost a 4 KB page for each block of a chain whose neighbours stay
//   short (free radical: 3.5 times the units). The first block is as short as
//   that so that a process of short chains (ATRP, DP around 100) does not
//   carry twice its units in first blocks.
// - the later blocks of a chain emptied by a recombination go back to the
//   arena for the next chain that grows.
// A row is therefore not contiguous: read it through operator[], or a run of
// positions at a time with ForEachSpan. Positions beyond a chain's length may
// hold units of an earlier owner of their block; nothing reads them.
class TChainUnits {
public:
  static constexpr int BlockShift = 7;
  static constexpr std::int32_t BlockLength = 1 << BlockShift; // positions per block
  static constexpr std::int32_t BlocksPerRow = ChainRowLength / BlockLength;

  constexpr TChainUnits() noexcept = default;
  ~TChainUnits();
  TChainUnits(const TChainUnits&) = delete;
  TChainUnits& operator=(const TChainUnits&) = delete;

  // Reserves rows x 32768 zero bytes; releases any earlier reservation first.
  // Throws std::bad_alloc when the address space cannot be reserved.
  void Allocate(std::int32_t rows);
  // Returns the reservation to the operating system.
  void Release() noexcept;
  // Makes every byte zero again by dropping the resident pages (nothing is
  // written; rows never used cost nothing).
  void Clear() noexcept;
  // Start of a run: a reservation fresh from Allocate is left alone (it is
  // all zero already); one that an earlier run may have written is cleared.
  void PrepareForRun() noexcept;
  // For kernels in which every chain grows from the start (living, ATRP,
  // living reversible): the first 128 positions of all rows will be written
  // anyway, so that band may be backed by 2 MB pages. Random chains are then
  // reached without a page walk, which with 10^5 chains is most of the cost
  // of waking a chain. Costs at most one partly used 2 MB page more than 4 KB
  // pages would; rows beyond the band stay in small pages.
  void AdviseDenseFirstBlock() noexcept;

  bool Allocated() const noexcept { return FBase != nullptr; }
  std::int32_t Rows() const noexcept { return FRows; }
  std::size_t ReservedBytes() const noexcept { return FBytes; }
  // Blocks beyond the first ones handed out since the last Clear and not
  // given back (each 128 bytes of the arena).
  std::size_t BlocksInUse() const noexcept { return FBlocksInUse; }

  TChainRow operator[](std::int32_t chain) const noexcept {
    return TChainRow(FBase + (static_cast<std::size_t>(chain) << BlockShift), this, chain);
  }

  // Calls fn(const std::uint8_t* data, std::int32_t count) for the contiguous
  // pieces of positions first..last (inclusive) of a chain, in order. Reads
  // only: a block never written reads as zeros.
  template <class F>
  void ForEachSpan(std::int32_t chain, std::int32_t first, std::int32_t last, F&& fn) const;

  // Number of B units (bytes equal to 1) at positions 1..dp of a chain.
  std::int32_t CountB(std::int32_t chain, std::int32_t dp) const noexcept;

  // Gives the blocks after the first of a chain back to the arena (the chain
  // keeps its first block; its later positions read as zeros again).
  void ReleaseLaterBlocks(std::int32_t chain) noexcept;

private:
  friend class TChainRow;
  // Position `position` (128 or more) of a chain; hands out its block on
  // first use.
  std::uint8_t& LaterUnit(std::int32_t chain, std::int32_t position) const noexcept;
  // The table entry of block `block` (1..255) of a chain, giving the chain
  // its table row on first use.
  std::uint32_t* TableEntry(std::int32_t chain, std::int32_t block) const noexcept {
    std::uint32_t& row = FRowOf[chain];
    if (row == 0) [[unlikely]]
      row = FNextRow++;
    return FTable + static_cast<std::size_t>(block) * FTableStride + row;
  }
  // The block number of block `block` of a chain, 0 when it has none (no
  // table row is given out).
  std::uint32_t FindBlock(std::int32_t chain, std::int32_t block) const noexcept {
    const std::uint32_t row = FRowOf[chain];
    return row == 0 ? 0 : FTable[static_cast<std::size_t>(block) * FTableStride + row];
  }
  std::uint32_t NewBlock() const noexcept;

  std::uint8_t* FBase = nullptr;  // first blocks, rows x 128 bytes
  std::uint8_t* FArena = nullptr; // later blocks; block number n at FArena + n x 128 (n >= 1)
  // Block tables: a chain that reaches position 128 gets a row of 256 block
  // numbers (entries 1..255 used, 0 = not yet reached), rows handed out in
  // that order. The table is stored block by block (entry b of row r at
  // b x FTableStride + r), so the entries of one block index of consecutive
  // rows share pages: the table costs about 4 bytes per later block in use,
  // not a whole row for every chain that just passed its first block.
  std::uint32_t* FTable = nullptr;  // 256 x (rows + 1) entries; row 0 is none
  std::size_t FTableStride = 0;     // rows + 1
  std::uint32_t* FRowOf = nullptr;  // table row of each chain, 0 = none yet
  std::size_t FBaseBytes = 0, FArenaBytes = 0, FTableBytes = 0, FRowOfBytes = 0;
  mutable std::uint32_t FNextRow = 1;
  std::size_t FBytes = 0;
  std::int32_t FRows = 0;
  std::uint32_t FArenaBlocks = 0;           // block numbers 1..FArenaBlocks-1 exist
  mutable std::uint32_t FNextBlock = 1;     // next never used block
  mutable std::uint32_t FFreeBlock = 0;     // first given-back block (its first 4 bytes link the next)
  mutable std::size_t FBlocksInUse = 0;
  bool FInUse = false;          // a run may have written into it since Allocate/Clear
};

// What AllocateMemory reads from a parameter file: the numbers that size a
// run. Kept apart from the file so a run can also be sized directly (tests,
// benchmarks).
struct TRunDescription {
  std::uint8_t ProcessType = 0;
  std::int32_t InitiatorNumber = 0;
  std::int32_t MonomerANumber = 0;
  std::int32_t MonomerBNumber = 0;
  double MonomerAMolWeight = 0.0;
  double MonomerBMolWeight = 0.0;
  double InitiatorMolWeight = 0.0; // as in the file (not yet halved)
  double InitiatorAttachMolWeight = 0.0;
  std::int32_t ActivatorNumber = 0;
  std::int32_t OxidizedActivatorNumber = 0;
  std::optional<std::int32_t> ExpectedChainsN; // free radical; absent = ChainsNumber
  TRealArray CheckPointTime;                   // index 0..CheckPointsHigh
};

class TSimState {
public:
  constexpr TSimState() noexcept = default;
  TSimState(const TSimState&) = delete;
  TSimState& operator=(const TSimState&) = delete;

  // ---- scalars of the run (read by AllocateMemory) ----
  std::uint8_t ProcessType = 0;
  std::int32_t InitiatorNumber = 0; // free radical: decremented as initiator decomposes
  std::int32_t MonomerANumber = 0;
  std::int32_t MonomerBNumber = 0;
  std::int32_t MersNumber = 0;
  std::int32_t ChainsNumber = 0;
  double MonomerAMolWeight = 0.0;
  double MonomerBMolWeight = 0.0;
  double InitiatorMolWeight = 0.0; // halved for free radical (one half per initiator end)
  double InitiatorAttachMolWeight = 0.0; // ATRP only
  std::int32_t ActivatorNumber = 0;          // ATRP only
  std::int32_t OxidizedActivatorNumber = 0;  // ATRP only
  // Free radical: chains expected by the last check point ("ExpectedChainsN",
  // default ChainsNumber), for the microstructure view's layout.
  std::int32_t ExpectedChainsN = 0;
  TRealArray CheckPointTime;        // 0..CheckPointsHigh, s
  std::int32_t CheckPointsHigh = -1;
  bool AllocationFailed = false;

  // ---- the chain store ----
  std::vector<std::uint16_t> ChainDP; // 0..ChainsNumber
  TChainUnits ChainUnits;             // [0..ChainsNumber][0..MaxDP]
  TIntegerArray DPDistribution;       // 0..MaxDP
  TDPChange LastDPChange;
  std::vector<std::uint8_t> ChainLiving; // ATRP: 1 while the chain is not terminated

  // ---- living kernel ----
  TMersArray Mers;           // 0..MersNumber; mer 0 is the sentinel (Kind 2)
  TIntegerArray ChainEndMer; // 0..ChainsNumber

  // ---- free radical and ATRP: unordered lists of chain numbers ----
  TChainList ActiveI, ActiveA, ActiveB;
  TChainList DormantI, DormantA, DormantB;
  std::int32_t ActiveINumber = 0, ActiveANumber = 0, ActiveBNumber = 0;
  std::int32_t DormantINumber = 0, DormantANumber = 0, DormantBNumber = 0;
  std::int32_t DeadChainsNumber = 0; // ATRP: terminated chains

  // ---- living reversible ----
  std::vector<std::uint8_t> ChainEndCode; // 0..ChainsNumber, ec* values

  // ---- check-point records, 0..CheckPointsHigh ----
  TIntegerArray CPInitiator, CPMonomerA, CPMonomerB, CPDeadChains;
  TRealArray CPACenters, CPBCenters;
  std::array<TRealArray, 4> CPDyads; // rows AA, AB, BA, BB

  // ---- statistics outputs ----
  // The molar-mass histograms N(i), W(i) on the axis 0 … b g/mol, with only
  // their non-empty bins stored (memory proportional to the chains).
  TMassHistogram MassHistogram;
  double Mn = 0.0;
  double Mw = 0.0;
  // Set whenever the mass distributions were recomputed; the SEC window
  // clears it when it has aggregated them again.
  std::atomic<bool> NeedsAggregation{false};

  // ---- live views ----
  // Stride of the chains the microstructure view shows in the free-radical
  // kernel (at least 1); written by that view.
  std::atomic<std::int32_t> StructureChainStep{1};
  // The views are notified only while their flag is set. Both flags sit in
  // one byte so the per-event test is a single relaxed load.
  static constexpr std::uint8_t lvStructure = 1;
  static constexpr std::uint8_t lvDistribution = 2;
  std::atomic<std::uint8_t> LiveViews{0};
  bool ShowStructure() const noexcept { return (LiveViews.load(std::memory_order_relaxed) & lvStructure) != 0; }
  bool ShowDistribution() const noexcept { return (LiveViews.load(std::memory_order_relaxed) & lvDistribution) != 0; }
  void SetShowStructure(bool on) noexcept { SetLiveView(lvStructure, on); }
  void SetShowDistribution(bool on) noexcept { SetLiveView(lvDistribution, on); }
  // Where notifications go (may be null: then nothing is sent). Set before a
  // run starts and left alone while it runs.
  TSimObserver* Observer = nullptr;

  // ---- seeding ----
  // A fixed seed for InitializeRun (command line --seed, tests); without one
  // each run seeds with the millisecond tick counter.
  std::optional<std::uint32_t> FixedSeed;
  std::uint32_t SeedUsed = 0; // the seed of the current run

  // ---- refused growth ----
  // Refusals since the last LogRefusalSummary. The first refusal of an
  // interval logs its message at once; the rest are only counted, so a lone
  // radical hitting MaxDP over and over does not flood the log.
  std::int64_t PropagationRefusals = 0;
  std::int64_t RecombinationRefusals = 0;

  // ---- operations: sizing and lifetime ----

  // Reads the run's scalars and check points from the parameter file and sizes
  // every array for ProcessType, zero-filled. Logs "Reading Memory
  // Requirements...", "Allocate Memory ..." and "Process Created Succesfully!".
  // On any failure (unreadable value, impossible sizes, out of memory) logs
  // "Memory Allocation Error!", calls requestTerminate and rethrows the error,
  // leaving AllocationFailed set. Simulation thread.
  void AllocateMemory(const Params::TParameterFile& file, const std::function<void()>& requestTerminate = {});
  // The same with the numbers already read (same log lines and failure path).
  void AllocateMemory(const TRunDescription& run, const std::function<void()>& requestTerminate = {});
  // Resets the store for a new run and records check point 0; seeds the
  // generator; tells the observer (StructureFormResize, InitializePlots).
  void InitializeRun();
  // End of a run (main thread): releases the kernels' working structures
  // (ChainEndMer, Mers, the six lists, ChainEndCode, CPACenters, CPBCenters,
  // CPDyads). Logs "Freeing Thread Memory..." then "Done!".
  void FreeThreadMemory();
  // Clear, start of a new run, exit: releases CheckPointTime, the integer
  // check-point records, ChainDP, DPDistribution, ChainLiving and ChainUnits.
  void FreeAllocatedMemory();
  // Everything, including the statistics arrays (program exit, tests).
  void FreeAll();

  // ---- operations: chain store (simulation thread, hot path) ----

  // Appends one unit (UnitA/UnitB). At MaxDP the chain is left as it is, the
  // refusal is logged ("Chain DP to big for Propagation!") and false returned.
  // Propagate notifies DrawUnit for chains below 2047 (ATRP); PropagateStrided
  // DrawUnitStrided for multiples of StructureChainStep (free radical).
  bool Propagate(std::int32_t chain, std::uint8_t kind) noexcept;
  bool PropagateStrided(std::int32_t chain, std::uint8_t kind) noexcept;
  // Joins chain y onto chain x head to head (y's units reversed). A product of
  // MaxDP or more is refused ("Recombination give to big DP! Change some
  // parameters!") and false returned. Recombine (ATRP) also marks both chains
  // dead, even when refused, and adds 2 to DeadChainsNumber on success.
  bool Recombine(std::int32_t x, std::int32_t y) noexcept;
  bool RecombineStrided(std::int32_t x, std::int32_t y) noexcept;
  // Living reversible: appends A (B), sets the end code and takes the unit
  // from the kernel's free monomer count. At MaxDP nothing changes (refusal
  // logged as for Propagate) and false is returned.
  bool ReversibleAddA(std::int32_t chain, std::uint8_t code, std::int32_t& freeA) noexcept;
  bool ReversibleAddB(std::int32_t chain, std::uint8_t code, std::int32_t& freeB) noexcept;
  // Living reversible: removes the terminal A (B), returns it to the kernel's
  // free count and sets the new end code from newTerminalKind (the kind of the
  // unit that becomes terminal) and the unit before it (6 when no unit is left,
  // 4 or 5 when one is). The chain must hold at least one unit.
  void ReversibleRemoveA(std::int32_t chain, std::uint8_t newTerminalKind, std::int32_t& freeA) noexcept;
  void ReversibleRemoveB(std::int32_t chain, std::uint8_t newTerminalKind, std::int32_t& freeB) noexcept;

  // Counts a refused propagation (the living kernel's own steps use it too)
  // and logs "Chain DP to big for Propagation!" if it is the interval's first.
  void RefusePropagation() noexcept;
  void RefuseRecombination() noexcept;

  // The live views' notifications of one event that added a unit to a chain
  // (DrawUnit and/or ShowOneChainChange) or moved units from chain y onto
  // chain x (DrawSegment and/or ShowTwoChainsChange); `views` is the
  // LiveViews value the caller read. With both views live they go out as one
  // observer call. The store operations above notify by themselves; kernels
  // that write the store directly call these.
  void NotifyUnit(std::uint8_t views, std::int32_t chain, std::int32_t position, std::uint8_t kind, bool strided);
  void NotifySegment(std::uint8_t views, std::int32_t x, std::int32_t y, std::int32_t length, bool strided);
  // Called once per check point by the run: logs how often growth was refused
  // in the interval when it was more than once, and starts a new interval.
  void LogRefusalSummary();

  // ---- statistics (each check point, pause and end of run) ----

  // Dyad fractions of all chains into column k of CPDyads (ignored when k is
  // outside the allocated records).
  void CalcDyads(std::int32_t k);
  // Mass histograms, Mn and Mw from the chain store. Does nothing while no
  // chain has grown (DPDistribution[0] == ChainsNumber) or without records.
  void CalcMassDistributions();
  // Both of the above for check point k with one reading of the store (the
  // dyad pass keeps each chain's B count for the masses); results equal to
  // CalcMassDistributions() followed by CalcDyads(k).
  void CalcCheckPointStatistics(std::int32_t k);

  // ---- queries ----
  bool CheckPointRecordsAllocated() const noexcept {
    return CheckPointsHigh >= 0 && CPInitiator.size() > static_cast<std::size_t>(CheckPointsHigh);
  }
  // Largest DP with a non-zero DPDistribution entry (0 when none or unallocated).
  std::int32_t LargestDP() const noexcept;

private:
  void SizeArrays(const TRunDescription& run);
  // Dyad counts AA, AB, BA, BB over all chains; with chainB, also each
  // chain's number of B units (chainB[i], every chain 1..ChainsNumber).
  std::array<std::int64_t, 4> CountDyads(std::int32_t* chainB) const noexcept;
  // The same for a run without monomer B, from the chain lengths alone.
  std::array<std::int64_t, 4> HomopolymerDyads(std::int32_t* chainB) const noexcept;
  void StoreDyads(std::int32_t k, const std::array<std::int64_t, 4>& counts);
  // CalcMassDistributions with the B counts taken from chainB when given.
  void MassDistributions(const std::int32_t* chainB);
  std::vector<std::int32_t> FChainB; // scratch of CalcCheckPointStatistics
  void SetLiveView(std::uint8_t bit, bool on) noexcept;
  // Slow paths of the notifications, out of line.
  void NotifyErase(std::uint8_t views, std::int32_t chain, std::int32_t position);
  void NotifyAfterErase(std::uint8_t views);
  bool AppendUnit(std::int32_t chain, std::uint8_t kind, bool strided) noexcept;
  bool JoinChains(std::int32_t x, std::int32_t y, bool atrp, bool strided) noexcept;
  void RemoveTerminal(std::int32_t chain, std::uint8_t newTerminalKind) noexcept;
};

// The program-wide simulation state.
extern TSimState GSimState;
inline TSimState& SimState() noexcept { return GSimState; }

// ---------------------------------------------------------------------------
// Inline parts of the hot path.

inline std::uint8_t& TChainRow::operator[](std::int32_t position) const noexcept {
  if (position < TChainUnits::BlockLength) [[likely]]
    return FFirst[position];
  return FUnits->LaterUnit(FChain, position);
}

inline std::uint8_t& TChainUnits::LaterUnit(std::int32_t chain, std::int32_t position) const noexcept {
  std::uint32_t* entry = TableEntry(chain, position >> BlockShift);
  if (*entry == 0) [[unlikely]]
    *entry = NewBlock();
  return FArena[(static_cast<std::size_t>(*entry) << BlockShift) + static_cast<std::size_t>(position & (BlockLength - 1))];
}

namespace Detail {
// What an unwritten block reads as.
extern const std::uint8_t ZeroBlock[TChainUnits::BlockLength];
} // namespace Detail

template <class F>
void TChainUnits::ForEachSpan(std::int32_t chain, std::int32_t first, std::int32_t last, F&& fn) const {
  while (first <= last) {
    const std::int32_t block = first >> BlockShift;
    const std::int32_t offset = first & (BlockLength - 1);
    const std::int32_t blockLast = block * BlockLength + BlockLength - 1;
    const std::int32_t stop = last < blockLast ? last : blockLast;
    const std::uint8_t* data;
    if (block == 0) {
      data = FBase + (static_cast<std::size_t>(chain) << BlockShift);
    } else {
      const std::uint32_t n = FindBlock(chain, block);
      data = n != 0 ? FArena + (static_cast<std::size_t>(n) << BlockShift) : Detail::ZeroBlock;
    }
    fn(data + offset, stop - first + 1);
    first = stop + 1;
  }
}

inline bool TSimState::AppendUnit(std::int32_t chain, std::uint8_t kind, bool strided) noexcept {
  const std::int32_t d = ChainDP[static_cast<std::size_t>(chain)];
  if (d >= MaxDP) [[unlikely]] {
    RefusePropagation();
    return false;
  }
  --DPDistribution[static_cast<std::size_t>(d)];
  LastDPChange.FromDP1 = d;
  LastDPChange.ToDP2 = d + 1;
  ++DPDistribution[static_cast<std::size_t>(d) + 1];
  ChainDP[static_cast<std::size_t>(chain)] = static_cast<std::uint16_t>(d + 1);
  ChainUnits[chain][d + 1] = kind;
  if (const std::uint8_t views = LiveViews.load(std::memory_order_relaxed)) [[unlikely]]
    NotifyUnit(views, chain, d + 1, kind, strided);
  return true;
}

inline bool TSimState::Propagate(std::int32_t chain, std::uint8_t kind) noexcept {
  return AppendUnit(chain, kind, false);
}

inline bool TSimState::PropagateStrided(std::int32_t chain, std::uint8_t kind) noexcept {
  return AppendUnit(chain, kind, true);
}

inline bool TSimState::Recombine(std::int32_t x, std::int32_t y) noexcept {
  return JoinChains(x, y, true, false);
}

inline bool TSimState::RecombineStrided(std::int32_t x, std::int32_t y) noexcept {
  return JoinChains(x, y, false, true);
}

inline bool TSimState::ReversibleAddA(std::int32_t chain, std::uint8_t code, std::int32_t& freeA) noexcept {
  // The head byte of a living reversible chain is the initiator code 2. It is
  // written with the first unit rather than for every chain at InitializeRun,
  // so chains that never grow keep their rows untouched.
  if (ChainDP[static_cast<std::size_t>(chain)] == 0) ChainUnits[chain][0] = 2;
  if (!AppendUnit(chain, UnitA, false)) return false;
  ChainEndCode[static_cast<std::size_t>(chain)] = code;
  --freeA;
  return true;
}

inline bool TSimState::ReversibleAddB(std::int32_t chain, std::uint8_t code, std::int32_t& freeB) noexcept {
  if (ChainDP[static_cast<std::size_t>(chain)] == 0) ChainUnits[chain][0] = 2;
  if (!AppendUnit(chain, UnitB, false)) return false;
  ChainEndCode[static_cast<std::size_t>(chain)] = code;
  --freeB;
  return true;
}

inline void TSimState::RemoveTerminal(std::int32_t chain, std::uint8_t newTerminalKind) noexcept {
  const std::int32_t d = ChainDP[static_cast<std::size_t>(chain)];
  // Position d-2 holds the new penultimate unit; at d = 2 it is the head byte,
  // the initiator code 2, so the code is 4 or 5 without reading the row.
  std::uint8_t code = ecI;
  if (d == 2)
    code = static_cast<std::uint8_t>(newTerminalKind + 4);
  else if (d > 2)
    code = static_cast<std::uint8_t>(newTerminalKind + 2 * ChainUnits[chain][d - 2]);
  ChainEndCode[static_cast<std::size_t>(chain)] = code;
  --DPDistribution[static_cast<std::size_t>(d)];
  LastDPChange.FromDP1 = d;
  const std::uint8_t views = LiveViews.load(std::memory_order_relaxed);
  if (views) [[unlikely]]
    NotifyErase(views, chain, d);
  ChainDP[static_cast<std::size_t>(chain)] = static_cast<std::uint16_t>(d - 1);
  ++DPDistribution[static_cast<std::size_t>(d) - 1];
  LastDPChange.ToDP2 = d - 1;
  if (views) [[unlikely]]
    NotifyAfterErase(views);
}

inline void TSimState::ReversibleRemoveA(std::int32_t chain, std::uint8_t newTerminalKind, std::int32_t& freeA) noexcept {
  RemoveTerminal(chain, newTerminalKind);
  ++freeA;
}

inline void TSimState::ReversibleRemoveB(std::int32_t chain, std::uint8_t newTerminalKind, std::int32_t& freeB) noexcept {
  RemoveTerminal(chain, newTerminalKind);
  ++freeB;
}

} // namespace Engine
