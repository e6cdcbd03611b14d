#include "engine/uDataStruct.h"

#include "engine/uranmt.h"
#include "params/uErrors.h"
#include "params/uLogMessage.h"
#include "params/uNumberFormat.h"
#include "params/uParamFile.h"
#include "params/uRunChecks.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace Engine {

TSimState GSimState;

// ===========================================================================
// TChainUnits

namespace {

std::size_t PhysicalMemoryBytes() noexcept {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize);
}

std::uint8_t* MapZeroBytes(std::size_t bytes) {
  // Larger than the machine's memory: the reservation is address space only,
  // and the commit accounting must not refuse it for pages that are never
  // touched. Smaller ones are accounted normally, so a machine configured for
  // strict overcommit still refuses what it could not back.
  int flags = MAP_PRIVATE | MAP_ANONYMOUS;
  const std::size_t physical = PhysicalMemoryBytes();
  if (physical == 0 || bytes > physical) flags |= MAP_NORESERVE;
  void* base = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, flags, -1, 0);
  if (base == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_NOHUGEPAGE
  // A huge page would make one written byte resident as 2 MB; the store's
  // point is that untouched parts cost nothing.
  madvise(base, bytes, MADV_NOHUGEPAGE);
#endif
  return static_cast<std::uint8_t*>(base);
}

} // namespace

const std::uint8_t Detail::ZeroBlock[TChainUnits::BlockLength] = {};

TChainUnits::~TChainUnits() { Release(); }

void TChainUnits::Allocate(std::int32_t rows) {
  Release();
  if (rows <= 0) throw std::bad_alloc();
  const std::size_t n = static_cast<std::size_t>(rows);
  const std::size_t laterBlocks = n * static_cast<std::size_t>(BlocksPerRow - 1);
  // Block numbers are 32-bit. A run holds at most one partly used later
  // block per chain plus its units / 128 full ones, and its units are at most
  // its monomer molecules (below 2^31), so 2^32 - 1 numbers always suffice.
  const std::size_t arenaBlocks = std::min<std::size_t>(laterBlocks + 1, 0xFFFFFFFFu);
  try {
    FBaseBytes = n << BlockShift;
    FBase = MapZeroBytes(FBaseBytes);
    FArenaBytes = arenaBlocks << BlockShift;
    FArena = MapZeroBytes(FArenaBytes);
    FTableStride = n + 1;
    FTableBytes = FTableStride * static_cast<std::size_t>(BlocksPerRow) * sizeof(std::uint32_t);
    FTable = reinterpret_cast<std::uint32_t*>(MapZeroBytes(FTableBytes));
    FRowOfBytes = n * sizeof(std::uint32_t);
    FRowOf = reinterpret_cast<std::uint32_t*>(MapZeroBytes(FRowOfBytes));
  } catch (...) {
    Release();
    throw;
  }
  FBytes = FBaseBytes + FArenaBytes + FTableBytes + FRowOfBytes;
  FRows = rows;
  FArenaBlocks = static_cast<std::uint32_t>(arenaBlocks);
  FNextBlock = 1;
  FFreeBlock = 0;
  FBlocksInUse = 0;
  FNextRow = 1;
  FInUse = false;
}

void TChainUnits::Release() noexcept {
  if (FBase != nullptr) munmap(FBase, FBaseBytes);
  if (FArena != nullptr) munmap(FArena, FArenaBytes);
  if (FTable != nullptr) munmap(FTable, FTableBytes);
  if (FRowOf != nullptr) munmap(FRowOf, FRowOfBytes);
  FBase = nullptr;
  FArena = nullptr;
  FTable = nullptr;
  FRowOf = nullptr;
  FBaseBytes = FArenaBytes = FTableBytes = FRowOfBytes = FBytes = FTableStride = 0;
  FNextRow = 1;
  FRows = 0;
  FArenaBlocks = 0;
  FNextBlock = 1;
  FFreeBlock = 0;
  FBlocksInUse = 0;
  FInUse = false;
}

void TChainUnits::Clear() noexcept {
  if (FBase == nullptr) return;
  // Dropping the pages of a private anonymous mapping makes them read as
  // zero again; only pages that were resident cost anything.
  const bool dropped = madvise(FBase, FBaseBytes, MADV_DONTNEED) == 0 &&
                       madvise(FArena, FArenaBytes, MADV_DONTNEED) == 0 &&
                       madvise(FTable, FTableBytes, MADV_DONTNEED) == 0 &&
                       madvise(FRowOf, FRowOfBytes, MADV_DONTNEED) == 0;
  if (!dropped) {
    // Should not happen; fall back to a fresh mapping of the same size.
    const std::int32_t rows = FRows;
    try {
      Allocate(rows);
    } catch (...) {
      Release();
    }
  }
  FNextBlock = 1;
  FFreeBlock = 0;
  FBlocksInUse = 0;
  FNextRow = 1;
  FInUse = false;
}

void TChainUnits::PrepareForRun() noexcept {
  if (FInUse) Clear();
  FInUse = FBase != nullptr;
}

void TChainUnits::AdviseDenseFirstBlock() noexcept {
#ifdef MADV_HUGEPAGE
  // Only whole 2 MB pages inside the band; the advice is a hint, and a
  // system without transparent huge pages simply ignores it.
  constexpr std::size_t HugePage = std::size_t{1} << 21;
  const std::size_t band = FBaseBytes & ~(HugePage - 1);
  if (FBase != nullptr && band > 0) madvise(FBase, band, MADV_HUGEPAGE);
#endif
}

std::uint32_t TChainUnits::NewBlock() const noexcept {
  ++FBlocksInUse;
  if (FFreeBlock != 0) {
    const std::uint32_t n = FFreeBlock;
    std::memcpy(&FFreeBlock, FArena + (static_cast<std::size_t>(n) << BlockShift), sizeof FFreeBlock);
    return n;
  }
  // Cannot run out (see Allocate); were it to, the last block is shared
  // rather than writing outside the reservation.
  if (FNextBlock >= FArenaBlocks) [[unlikely]]
    return FArenaBlocks - 1;
  return FNextBlock++;
}

void TChainUnits::ReleaseLaterBlocks(std::int32_t chain) noexcept {
  if (FRowOf[chain] == 0) return;
  for (std::int32_t block = 1; block < BlocksPerRow; ++block) {
    std::uint32_t* entry = TableEntry(chain, block);
    const std::uint32_t n = *entry;
    // A chain's blocks are handed out in order as it grows, so the first
    // block it never reached ends the list.
    if (n == 0) break;
    std::memcpy(FArena + (static_cast<std::size_t>(n) << BlockShift), &FFreeBlock, sizeof FFreeBlock);
    FFreeBlock = n;
    *entry = 0;
    --FBlocksInUse;
  }
}

namespace {

// Unit bytes are 0 (A) or 1 (B), so eight neighbouring units read as one
// 64-bit word whose byte lanes are the units. Adding such words adds the
// lanes; a word ANDed with itself moved up by one unit has a 1 in each lane
// whose unit and the unit before it are both B. The lane sums are folded
// into a count every 32 words (256 units), so no lane exceeds 32.
constexpr std::int32_t WordsPerFold = 32;

inline std::uint64_t LoadUnits(const std::uint8_t* p) noexcept {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
  return w; // lane k (bits 8k..8k+7) is p[k]
}

// The units data[j..count) (fewer than 8 of them, j > 0 or count >= 8) as a
// word in lanes 0.., the other lanes zero. It reads the eight bytes ending at
// data[count-1], all inside the span, rather than copying a partial word.
inline std::uint64_t LoadLastUnits(const std::uint8_t* data, std::int32_t j, std::int32_t count) noexcept {
  return LoadUnits(data + count - 8) >> (8 * (8 - (count - j)));
}

// A span of fewer than 8 units as a word, the missing lanes zero.
inline std::uint64_t LoadShortSpan(const std::uint8_t* data, std::int32_t count) noexcept {
  std::uint64_t w = 0;
  for (std::int32_t k = 0; k < count; ++k) w |= static_cast<std::uint64_t>(data[k]) << (8 * k);
  return w;
}

// Sum of the eight byte lanes (each at most 255).
inline std::uint32_t LaneTotal(std::uint64_t lanes) noexcept {
  constexpr std::uint64_t evenBytes = 0x00FF00FF00FF00FFull;
  const std::uint64_t pairs = (lanes & evenBytes) + ((lanes >> 8) & evenBytes);
  return static_cast<std::uint32_t>((pairs * 0x0001000100010001ull) >> 48);
}

// Number of B units in data[0..count).
std::int64_t CountUnitsB(const std::uint8_t* data, std::int32_t count) noexcept {
  std::int64_t total = 0;
  std::int32_t j = 0;
  while (count - j >= 8) {
    std::uint64_t lanes = 0;
    const std::int32_t words = std::min(WordsPerFold, (count - j) / 8);
    for (std::int32_t w = 0; w < words; ++w, j += 8) lanes += LoadUnits(data + j);
    total += LaneTotal(lanes);
  }
  if (j < count) total += LaneTotal(count >= 8 ? LoadLastUnits(data, j, count) : LoadShortSpan(data, count));
  return total;
}

// B units and BB neighbour pairs in data[0..count); before is the unit just
// before data[0] (0 when there is none) and becomes data[count-1].
void CountUnitsAndPairsB(const std::uint8_t* data, std::int32_t count, std::uint8_t& before, std::int64_t& units,
                         std::int64_t& pairsBB) noexcept {
  std::uint64_t carry = before; // the unit before the next word, in lane 0
  std::int32_t j = 0;
  while (count - j >= 8) {
    std::uint64_t lanes = 0, pairLanes = 0;
    const std::int32_t words = std::min(WordsPerFold, (count - j) / 8);
    for (std::int32_t w = 0; w < words; ++w, j += 8) {
      const std::uint64_t cur = LoadUnits(data + j);
      lanes += cur;
      pairLanes += cur & ((cur << 8) | carry);
      carry = cur >> 56;
    }
    units += LaneTotal(lanes);
    pairsBB += LaneTotal(pairLanes);
  }
  if (j < count) {
    const std::uint64_t cur = count >= 8 ? LoadLastUnits(data, j, count) : LoadShortSpan(data, count);
    units += LaneTotal(cur);
    pairsBB += LaneTotal(cur & ((cur << 8) | carry));
  }
  if (count > 0) before = data[count - 1];
}

} // namespace

std::int32_t TChainUnits::CountB(std::int32_t chain, std::int32_t dp) const noexcept {
  std::int64_t b = 0;
  ForEachSpan(chain, 1, dp, [&b](const std::uint8_t* data, std::int32_t count) { b += CountUnitsB(data, count); });
  return static_cast<std::int32_t>(b);
}

// ===========================================================================
// Sizing and lifetime

namespace {

[[noreturn]] void RefuseInput(const std::string& line) {
  Propagon::LogMessage(line);
  throw std::invalid_argument(line);
}

// A molecule number of the run. The profile reader gives the default for a
// text that is not a 32-bit integer, which would turn "99999999999" into a
// run without that component; such a value is refused with its text.
std::int32_t ReadCount(const Params::TParameterFile& file, const std::string& section, const std::string& key,
                       std::int32_t def) {
  const std::string text = file.ReadString(section, key, "");
  std::int32_t value = def;
  if (text.find_first_not_of(" \t") != std::string::npos && !Propagon::TryStrToInt(text, value))
    RefuseInput("Invalid " + key + " in the Parameters File: " + text);
  return value;
}

// A molar mass of the parameter file, g/mol. Every chain mass is built from
// these (up to MaxDP units and two end groups) and squared for Mw, so a mass
// that is not a finite number above 0, or one so large that a chain's mass
// or its square would overflow, is refused with its key and text.
double ReadMolarMass(const Params::TParameterFile& file, const std::string& key) {
  double mass = 0.0;
  try {
    mass = file.ReadLocalFloat("Components", key);
  } catch (const Propagon::EConvertError&) {
    mass = std::numeric_limits<double>::quiet_NaN(); // not a number: refused below with its key
  }
  if (!(mass > 0.0 && mass <= Params::MaxMolarMass))
    RefuseInput("Invalid " + key + " in the Parameters File: " + file.ReadString("Components", key, "") +
                " (a molar mass must be above 0 and at most 1e100 g/mol)");
  return mass;
}

// Release a vector's storage (clear() keeps the capacity).
template <class T>
void ReleaseArray(std::vector<T>& array) noexcept {
  std::vector<T>().swap(array);
}

} // namespace

void TSimState::SizeArrays(const TRunDescription& run) {
  // Impossible numbers are refused with a line saying which, before anything
  // is sized from them: a negative count or one whose chain slots overflow
  // 32 bits would otherwise index outside the arrays.
  constexpr std::int64_t int32Max = std::numeric_limits<std::int32_t>::max();
  if (run.CheckPointTime.empty()) RefuseInput("No Checking Points in the Parameters File!");
  // No kernel runs for any other type: a run that "completes" with nothing
  // simulated would be a failure reported as success.
  if (const std::string problem = Params::ProcessTypeProblem(run.ProcessType); !problem.empty()) RefuseInput(problem);
  // Check point 0 is the initial state, recorded before any event.
  if (const std::string problem = Params::FirstCheckPointProblem(run.CheckPointTime.front()); !problem.empty())
    RefuseInput(problem);
  // A falling list would record later states under earlier times.
  for (std::size_t k = 1; k < run.CheckPointTime.size(); ++k)
    if (!(run.CheckPointTime[k] >= run.CheckPointTime[k - 1]))
      RefuseInput("Value in Line " + std::to_string(k) + " must be Lower than the Next Ones");
  if (run.InitiatorNumber < 1)
    RefuseInput("Invalid InitiatorNumber in the Parameters File: " + std::to_string(run.InitiatorNumber));
  if (run.MonomerANumber < 0)
    RefuseInput("Invalid MonomerANumber in the Parameters File: " + std::to_string(run.MonomerANumber));
  if (run.MonomerBNumber < 0)
    RefuseInput("Invalid MonomerBNumber in the Parameters File: " + std::to_string(run.MonomerBNumber));
  const std::int64_t mers = static_cast<std::int64_t>(run.MonomerANumber) + run.MonomerBNumber;
  if (mers >= int32Max) RefuseInput("Too many monomer molecules in the Parameters File: " + std::to_string(mers));
  // A description made in code may leave a molar mass at 0 (a monomer that
  // takes no part); anything negative, not finite or too large is refused.
  const std::pair<const char*, double> masses[] = {{"MonomerAMolWeight", run.MonomerAMolWeight},
                                                   {"MonomerBMolWeight", run.MonomerBMolWeight},
                                                   {"InitiatorMolWeight", run.InitiatorMolWeight},
                                                   {"InitiatorAttachMolWeight", run.InitiatorAttachMolWeight}};
  for (const auto& [key, mass] : masses)
    if (!(mass >= 0.0 && mass <= Params::MaxMolarMass))
      RefuseInput(std::string("Invalid ") + key + " in the Parameters File: " + Propagon::FormatGeneral(mass, 15) +
                  " (a molar mass must be above 0 and at most 1e100 g/mol)");
  std::int64_t chains = run.InitiatorNumber;
  if (run.ProcessType == ptFreeRadical) chains *= 2;
  if (chains >= int32Max) RefuseInput("Too many initiator molecules in the Parameters File: " + std::to_string(run.InitiatorNumber));

  ProcessType = run.ProcessType;
  CheckPointTime = run.CheckPointTime;
  CheckPointsHigh = static_cast<std::int32_t>(CheckPointTime.size()) - 1;
  InitiatorNumber = run.InitiatorNumber;
  MonomerANumber = run.MonomerANumber;
  MonomerBNumber = run.MonomerBNumber;
  MersNumber = static_cast<std::int32_t>(mers);
  MonomerAMolWeight = run.MonomerAMolWeight;
  MonomerBMolWeight = run.MonomerBMolWeight;
  InitiatorMolWeight = run.InitiatorMolWeight;
  ChainsNumber = static_cast<std::int32_t>(chains);

  const std::size_t perChain = static_cast<std::size_t>(ChainsNumber) + 1;
  const std::size_t records = static_cast<std::size_t>(CheckPointsHigh) + 1;

  switch (ProcessType) {
  case ptLiving:
    Mers.assign(static_cast<std::size_t>(MersNumber) + 1, TMer{});
    StructureChainStep.store(1, std::memory_order_relaxed);
    break;
  case ptFreeRadical:
    ActiveI.assign(static_cast<std::size_t>(ChainsNumber), 0);
    ActiveA.assign(static_cast<std::size_t>(ChainsNumber), 0);
    ActiveB.assign(static_cast<std::size_t>(ChainsNumber), 0);
    // Each chain carries one half of an initiator molecule per initiator end.
    InitiatorMolWeight /= 2.0;
    ExpectedChainsN = run.ExpectedChainsN.value_or(ChainsNumber);
    if (Observer != nullptr) Observer->StructureFormResize();
    break;
  case ptATRP:
    for (TChainList* list : {&DormantI, &ActiveI, &DormantA, &ActiveA, &DormantB, &ActiveB})
      list->assign(static_cast<std::size_t>(ChainsNumber), 0);
    ChainLiving.assign(perChain, 0);
    ActivatorNumber = run.ActivatorNumber;
    OxidizedActivatorNumber = run.OxidizedActivatorNumber;
    InitiatorAttachMolWeight = run.InitiatorAttachMolWeight;
    StructureChainStep.store(1, std::memory_order_relaxed);
    break;
  case ptLivingReversible:
    ChainEndCode.assign(perChain, 0);
    StructureChainStep.store(1, std::memory_order_relaxed);
    break;
  default:
    break; // no kernel runs for other types; the common arrays are still sized
  }

  for (TRealArray& row : CPDyads) row.assign(records, 0.0);
  CPACenters.assign(records, 0.0);
  CPBCenters.assign(records, 0.0);
  ChainUnits.Allocate(ChainsNumber + 1);
  ChainEndMer.assign(perChain, 0);
  ChainDP.assign(perChain, 0);
  DPDistribution.assign(static_cast<std::size_t>(MaxDP) + 1, 0);
  CPInitiator.assign(records, 0);
  CPMonomerA.assign(records, 0);
  CPMonomerB.assign(records, 0);
  CPDeadChains.assign(records, 0);
}

void TSimState::AllocateMemory(const TRunDescription& run, const std::function<void()>& requestTerminate) {
  AllocationFailed = true;
  try {
    Propagon::LogMessage("Reading Memory Requirements...");
    Propagon::LogMessage("Allocate Memory ...");
    SizeArrays(run);
    AllocationFailed = false;
    Propagon::LogMessage("Process Created Succesfully!");
  } catch (...) {
    Propagon::LogMessage("Memory Allocation Error!");
    if (requestTerminate) requestTerminate();
    throw;
  }
}

void TSimState::InitializeRun() {
  const std::uint32_t seed = FixedSeed.has_value() ? *FixedSeed : GetTickCount();
  RandomSeed(seed);
  SeedUsed = seed;

  std::fill(DPDistribution.begin(), DPDistribution.end(), 0);
  if (!DPDistribution.empty()) DPDistribution[0] = ChainsNumber;
  std::fill(ChainEndMer.begin(), ChainEndMer.end(), 0);
  std::fill(ChainDP.begin(), ChainDP.end(), std::uint16_t{0});
  // A fresh reservation is all zero and stays untouched; after an earlier run
  // on the same reservation its pages are dropped, never overwritten.
  ChainUnits.PrepareForRun();
  for (TRealArray& row : CPDyads) std::fill(row.begin(), row.end(), 0.0);
  LastDPChange = TDPChange{};
  PropagationRefusals = 0;
  RecombinationRefusals = 0;

  switch (ProcessType) {
  case ptLiving: {
    // Mer 0 is the sentinel of every chain without units: its kind reads as
    // a free A so the end of such a chain reads as I*.
    std::fill(Mers.begin(), Mers.end(), TMer{0, 0, 0, 3});
    const std::size_t lastA = std::min(static_cast<std::size_t>(MonomerANumber) + 1, Mers.size());
    for (std::size_t m = 0; m < lastA; ++m) Mers[m].Kind = 2;
    break;
  }
  case ptFreeRadical:
    ActiveINumber = 0;
    ActiveANumber = 0;
    ActiveBNumber = 0;
    break;
  case ptATRP:
    DormantINumber = InitiatorNumber;
    ActiveINumber = ActiveANumber = ActiveBNumber = 0;
    DormantANumber = DormantBNumber = 0;
    for (std::size_t k = 0; k < DormantI.size(); ++k) DormantI[k] = static_cast<std::int32_t>(k) + 1;
    std::fill(ChainLiving.begin(), ChainLiving.end(), std::uint8_t{1});
    break;
  case ptLivingReversible:
    // Every chain starts as a bare initiator end. Its head byte (2) is written
    // with the chain's first unit (ReversibleAddA/B), not here, so that
    // InitializeRun touches no sequence row.
    if (!ChainEndCode.empty()) std::fill(ChainEndCode.begin() + 1, ChainEndCode.end(), ecI);
    break;
  default:
    break;
  }
  if (!CPACenters.empty()) CPACenters[0] = 0.0;
  if (!CPBCenters.empty()) CPBCenters[0] = 0.0;

  if (Observer != nullptr) Observer->StructureFormResize();
  if (!CPInitiator.empty()) {
    CPInitiator[0] = InitiatorNumber;
    CPMonomerA[0] = MonomerANumber;
    CPMonomerB[0] = MonomerBNumber;
    CPDeadChains[0] = 0;
  }
  DeadChainsNumber = 0;
  if (Observer != nullptr) Observer->InitializePlots();
}

void TSimState::FreeThreadMemory() {
  Propagon::LogMessage("Freeing Thread Memory...");
  try {
    ReleaseArray(ChainEndMer);
    ReleaseArray(Mers);
    for (TChainList* list : {&ActiveI, &ActiveA, &ActiveB, &DormantI, &DormantA, &DormantB}) ReleaseArray(*list);
    ReleaseArray(ChainEndCode);
    ReleaseArray(CPACenters);
    ReleaseArray(CPBCenters);
    for (TRealArray& row : CPDyads) ReleaseArray(row);
    ReleaseArray(FChainB);
  } catch (...) {
    Propagon::LogMessage("Memory Release Error!");
    return;
  }
  Propagon::LogMessage("Done!");
}

void TSimState::FreeAllocatedMemory() {
  ReleaseArray(CheckPointTime);
  ReleaseArray(CPInitiator);
  ReleaseArray(CPMonomerA);
  ReleaseArray(CPMonomerB);
  ReleaseArray(CPDeadChains);
  ReleaseArray(ChainDP);
  ReleaseArray(DPDistribution);
  ReleaseArray(ChainLiving);
  ChainUnits.Release();
  // Loops over 1..ChainsNumber or 0..CheckPointsHigh in windows that repaint
  // after a Clear must find nothing rather than released arrays.
  ChainsNumber = 0;
  CheckPointsHigh = -1;
}

void TSimState::FreeAll() {
  FreeAllocatedMemory();
  ReleaseArray(ChainEndMer);
  ReleaseArray(Mers);
  for (TChainList* list : {&ActiveI, &ActiveA, &ActiveB, &DormantI, &DormantA, &DormantB}) ReleaseArray(*list);
  ReleaseArray(ChainEndCode);
  ReleaseArray(CPACenters);
  ReleaseArray(CPBCenters);
  for (TRealArray& row : CPDyads) ReleaseArray(row);
  ReleaseArray(FChainB);
  MassHistogram.Release();
}

// ===========================================================================
// Chain-store operations: the parts off the hot path

void TSimState::SetLiveView(std::uint8_t bit, bool on) noexcept {
  if (on)
    LiveViews.fetch_or(bit, std::memory_order_relaxed);
  else
    LiveViews.fetch_and(static_cast<std::uint8_t>(~bit), std::memory_order_relaxed);
}

namespace {

bool ShownStrided(std::int32_t chain, std::int32_t step) noexcept { return step > 0 && chain % step == 0; }

} // namespace

void TSimState::NotifyUnit(std::uint8_t views, std::int32_t chain, std::int32_t position, std::uint8_t kind, bool strided) {
  if (Observer == nullptr) return;
  bool draw = false;
  if (views & lvStructure)
    draw = strided ? ShownStrided(chain, StructureChainStep.load(std::memory_order_relaxed)) : chain < StructureDisplayLimit;
  const bool show = (views & lvDistribution) != 0;
  if (draw && show)
    Observer->DrawUnitAndShowChange(chain, position, kind, strided);
  else if (draw && strided)
    Observer->DrawUnitStrided(chain, position, kind);
  else if (draw)
    Observer->DrawUnit(chain, position, kind);
  else if (show)
    Observer->ShowOneChainChange();
}

void TSimState::NotifyErase(std::uint8_t views, std::int32_t chain, std::int32_t position) {
  if (Observer != nullptr && (views & lvStructure) && chain < StructureDisplayLimit) Observer->EraseUnit(chain, position);
}

void TSimState::NotifyAfterErase(std::uint8_t views) {
  if (Observer != nullptr && (views & lvDistribution)) Observer->ShowOneChainChange();
}

void TSimState::NotifySegment(std::uint8_t views, std::int32_t x, std::int32_t y, std::int32_t length, bool strided) {
  if (Observer == nullptr) return;
  bool draw = false;
  if (views & lvStructure) {
    if (strided) {
      const std::int32_t step = StructureChainStep.load(std::memory_order_relaxed);
      draw = ShownStrided(x, step) || ShownStrided(y, step);
    } else {
      draw = x < StructureDisplayLimit || y < StructureDisplayLimit;
    }
  }
  const bool show = (views & lvDistribution) != 0;
  if (draw && show)
    Observer->DrawSegmentAndShowChanges(x, y, length, strided);
  else if (draw && strided)
    Observer->DrawSegmentStrided(x, y, length);
  else if (draw)
    Observer->DrawSegment(x, y, length);
  else if (show)
    Observer->ShowTwoChainsChange();
}

bool TSimState::JoinChains(std::int32_t x, std::int32_t y, bool atrp, bool strided) noexcept {
  const std::int32_t dx = ChainDP[static_cast<std::size_t>(x)];
  const std::int32_t dy = ChainDP[static_cast<std::size_t>(y)];
  const std::int32_t sum = dx + dy;
  // Both radicals are terminated whether or not they can be joined.
  if (atrp && !ChainLiving.empty()) {
    ChainLiving[static_cast<std::size_t>(x)] = 0;
    ChainLiving[static_cast<std::size_t>(y)] = 0;
  }
  if (sum >= MaxDP) {
    RefuseRecombination();
    return false;
  }
  --DPDistribution[static_cast<std::size_t>(dx)];
  --DPDistribution[static_cast<std::size_t>(dy)];
  ++DPDistribution[static_cast<std::size_t>(sum)];
  ++DPDistribution[0];
  ChainDP[static_cast<std::size_t>(x)] = static_cast<std::uint16_t>(sum);
  ChainDP[static_cast<std::size_t>(y)] = 0;
  LastDPChange = TDPChange{dy, dx, 0, sum};
  const TChainRow rowX = ChainUnits[x];
  const TChainRow rowY = ChainUnits[y];
  rowX[0] = 2;
  rowY[0] = 0;
  // The two radical ends meet head to head: y's units follow x's in reverse.
  for (std::int32_t k = 1; k <= dy; ++k) rowX[dx + k] = rowY[dy - k + 1];
  // y's units now live in x: its later blocks serve the next chain to grow.
  if (dy >= TChainUnits::BlockLength) ChainUnits.ReleaseLaterBlocks(y);
  if (atrp) DeadChainsNumber += 2;
  if (const std::uint8_t views = LiveViews.load(std::memory_order_relaxed)) [[unlikely]] {
    try {
      NotifySegment(views, x, y, dy, strided);
    } catch (...) {
      // A view that fails to repaint must not take the run down with it.
    }
  }
  return true;
}

void TSimState::RefusePropagation() noexcept {
  if (PropagationRefusals++ == 0) {
    try {
      Propagon::LogMessage("Chain DP to big for Propagation!");
    } catch (...) {
    }
  }
}

void TSimState::RefuseRecombination() noexcept {
  if (RecombinationRefusals++ == 0) {
    try {
      Propagon::LogMessage("Recombination give to big DP! Change some parameters!");
    } catch (...) {
    }
  }
}

void TSimState::LogRefusalSummary() {
  if (PropagationRefusals > 1)
    Propagon::LogMessage("Chain DP to big for Propagation! (refused " + std::to_string(PropagationRefusals) +
                         " times since the previous check point)");
  if (RecombinationRefusals > 1)
    Propagon::LogMessage("Recombination give to big DP! Change some parameters! (refused " +
                         std::to_string(RecombinationRefusals) + " times since the previous check point)");
  PropagationRefusals = 0;
  RecombinationRefusals = 0;
}

std::int32_t TSimState::LargestDP() const noexcept {
  for (std::int32_t d = static_cast<std::int32_t>(DPDistribution.size()) - 1; d > 0; --d)
    if (DPDistribution[static_cast<std::size_t>(d)] != 0) return d;
  return 0;
}

// ===========================================================================
// Chain statistics

std::array<std::int64_t, 4> TSimState::CountDyads(std::int32_t* chainB) const noexcept {
  // Unit kinds are 0 or 1, so over the n = d-1 neighbour pairs of a chain
  // (prev, cur) the four counts follow from three sums: BB = sum(prev*cur),
  // AB = sum(cur) - BB, BA = sum(prev) - BB, AA = n - sum(prev) - sum(cur) + BB.
  // The sums are taken eight units at a time (CountUnitsAndPairsB); 64-bit
  // totals keep very large stores exact.
  std::int64_t aa = 0, ab = 0, ba = 0, bb = 0;
  const std::int32_t chains = std::min<std::int32_t>(ChainsNumber, static_cast<std::int32_t>(ChainDP.size()) - 1);
  for (std::int32_t i = 1; i <= chains; ++i) {
    const std::int32_t d = ChainDP[static_cast<std::size_t>(i)];
    if (d <= 1) {
      if (chainB != nullptr) chainB[i] = d == 1 ? ChainUnits[i][1] : 0;
      continue;
    }
    std::int64_t units = 0, products = 0;
    std::uint8_t before = 0; // the unit before the current span (none before position 1)
    ChainUnits.ForEachSpan(i, 1, d, [&](const std::uint8_t* data, std::int32_t count) {
      CountUnitsAndPairsB(data, count, before, units, products);
    });
    if (chainB != nullptr) chainB[i] = static_cast<std::int32_t>(units);
    const TChainRow row = ChainUnits[i];
    const std::int64_t sumCur = units - row[1];  // positions 2..d
    const std::int64_t sumPrev = units - row[d]; // positions 1..d-1
    const std::int64_t pairs = d - 1;
    bb += products;
    ab += sumCur - products;
    ba += sumPrev - products;
    aa += pairs - sumPrev - sumCur + products;
  }
  return {aa, ab, ba, bb};
}

void TSimState::StoreDyads(std::int32_t k, const std::array<std::int64_t, 4>& counts) {
  std::int64_t total = counts[0] + counts[1] + counts[2] + counts[3];
  if (total == 0) total = 1;
  const double t = static_cast<double>(total);
  for (std::size_t j = 0; j < 4; ++j) CPDyads[j][static_cast<std::size_t>(k)] = static_cast<double>(counts[j]) / t;
}

void TSimState::CalcDyads(std::int32_t k) {
  if (k < 0 || static_cast<std::size_t>(k) >= CPDyads[0].size() || !ChainUnits.Allocated()) return;
  StoreDyads(k, CountDyads(nullptr));
}

std::array<std::int64_t, 4> TSimState::HomopolymerDyads(std::int32_t* chainB) const noexcept {
  // Every unit is A: each chain of d units holds d-1 AA pairs and no B.
  std::int64_t aa = 0;
  const std::int32_t chains = std::min<std::int32_t>(ChainsNumber, static_cast<std::int32_t>(ChainDP.size()) - 1);
  for (std::int32_t i = 1; i <= chains; ++i) {
    const std::int32_t d = ChainDP[static_cast<std::size_t>(i)];
    if (d > 1) aa += d - 1;
    chainB[i] = 0;
  }
  return {aa, 0, 0, 0};
}

void TSimState::CalcCheckPointStatistics(std::int32_t k) {
  if (!ChainUnits.Allocated()) return;
  // The store is read once: the dyad pass leaves each chain's B count in
  // FChainB, and the masses are computed from those counts. A run without
  // monomer B cannot hold a B unit, so it need not read the store at all:
  // its counts follow from the chain lengths.
  FChainB.resize(ChainDP.size());
  const std::array<std::int64_t, 4> counts =
      MonomerBNumber == 0 ? HomopolymerDyads(FChainB.data()) : CountDyads(FChainB.data());
  MassDistributions(FChainB.data());
  if (k >= 0 && static_cast<std::size_t>(k) < CPDyads[0].size()) StoreDyads(k, counts);
}

void TSimState::CalcMassDistributions() { MassDistributions(nullptr); }

void TSimState::MassDistributions(const std::int32_t* chainB) {
  // Nothing to do without records, or while no chain has grown: every chain
  // slot still counted at DP 0. (Comparing with the initial initiator count
  // would also fire in free radical, where there are two slots per initiator
  // molecule, as soon as exactly half of the slots had grown.)
  if (!CheckPointRecordsAllocated() || DPDistribution.empty() || !ChainUnits.Allocated()) return;
  if (DPDistribution[0] == ChainsNumber) return;
  NeedsAggregation.store(true, std::memory_order_relaxed);

  const double ma = MonomerAMolWeight;
  const double mb = MonomerBMolWeight;
  const double mi = InitiatorMolWeight;
  const double mx = InitiatorAttachMolWeight;
  const double heaviest = ma > mb ? ma : mb;
  const std::int32_t dmax = LargestDP();
  double top = static_cast<double>(dmax) * heaviest + 2.0 * mi;
  double n = std::trunc(std::max(top, 0.0)) + 100.0;
  // The usual length leaves room for two initiator fragments per chain. An
  // ATRP attached group more than 49 g/mol heavier than the initiator would
  // fall off its end: lengthen the axis to the heaviest possible chain.
  if (ProcessType == ptATRP) {
    const double heaviestChain = static_cast<double>(dmax) * heaviest + 2.0 * std::max(mi, mx) + HydrogenMass;
    n = std::max(n, std::trunc(std::max(heaviestChain, 0.0)) + 1.0);
  }

  // Built apart and swapped in whole: a failure on the way (out of memory)
  // leaves the histograms and averages of the previous calculation.
  TMassHistogram next;
  next.Begin(n);
  switch (ProcessType) {
  case ptLiving:
  case ptLivingReversible:
  case ptFreeRadical:
  case ptATRP:
    break;
  default:
    // A type without a mass rule gets an empty histogram on its axis.
    next.Finish();
    std::swap(MassHistogram, next);
    return;
  }

  // One of each pair of disproportionated chains is saturated, the other
  // unsaturated: chains with exactly one initiator end group, taken in chain
  // order, alternately gain and lose a hydrogen atom.
  double h = HydrogenMass;
  double s1 = 0.0, s2 = 0.0;
  std::int64_t count = 0;
  const std::int32_t chains = std::min<std::int32_t>(ChainsNumber, static_cast<std::int32_t>(ChainDP.size()) - 1);
  for (std::int32_t i = 1; i <= chains; ++i) {
    const std::int32_t units = ChainDP[static_cast<std::size_t>(i)];
    if (units <= 0) continue;
    const std::int32_t b = chainB != nullptr ? chainB[i] : ChainUnits.CountB(i, units);
    const double u = static_cast<double>(b) * mb + static_cast<double>(units - b) * ma;
    double m = 0.0;
    if (ProcessType == ptLiving || ProcessType == ptLivingReversible) {
      m = mi + u;
    } else {
      const bool living = ProcessType == ptATRP && i < static_cast<std::int32_t>(ChainLiving.size()) &&
                          ChainLiving[static_cast<std::size_t>(i)] != 0;
      if (living) {
        m = u + mi;
      } else {
        const std::uint8_t ends = ChainUnits[i][0];
        m = u + static_cast<double>(ends) * (ProcessType == ptATRP ? mx : mi);
        if (ends == 1) {
          m += h;
          h = -h;
        }
      }
    }
    const double bin = std::trunc(m);
    // Only nonsensical molar masses (negative, not finite; the run refuses
    // such molar masses) can miss the axis; such a chain still counts in the
    // averages.
    if (bin >= 0.0 && bin < n) next.Add(bin, m);
    ++count;
    s1 += m;
    s2 += m * m;
  }
  next.Finish();
  std::swap(MassHistogram, next);
  if (count > 0) {
    Mn = s1 / static_cast<double>(count);
    Mw = s2 / s1;
  }
}

// ===========================================================================
// Reading a run from its parameter file

void TSimState::AllocateMemory(const Params::TParameterFile& file, const std::function<void()>& requestTerminate) {
  AllocationFailed = true;
  try {
    Propagon::LogMessage("Reading Memory Requirements...");
    TRunDescription run;
    // Read whole: 257 must not become type 1 in an 8-bit field.
    if (const std::string problem = Params::ProcessTypeTextProblem(file.ReadString("General", "ProcessType", ""));
        !problem.empty())
      RefuseInput(problem);
    run.ProcessType = static_cast<std::uint8_t>(file.ReadInteger("General", "ProcessType", 0));
    Propagon::LogMessage("Allocate Memory ...");
    int high = -1;
    file.ReadCheckingPointsArray(high, run.CheckPointTime);
    if (const std::string cut = file.CheckingPointsListWarning(); !cut.empty())
      Propagon::LogMessage(cut);
    run.InitiatorNumber = ReadCount(file, "SimulationParameters", "InitiatorNumber", 0);
    run.MonomerANumber = ReadCount(file, "SimulationParameters", "MonomerANumber", 0);
    run.MonomerBNumber = ReadCount(file, "SimulationParameters", "MonomerBNumber", 0);
    run.MonomerAMolWeight = ReadMolarMass(file, "MonomerAMolWeight");
    run.MonomerBMolWeight = ReadMolarMass(file, "MonomerBMolWeight");
    run.InitiatorMolWeight = ReadMolarMass(file, "InitiatorMolWeight");
    if (run.ProcessType == ptFreeRadical) {
      const std::int64_t slots = 2 * static_cast<std::int64_t>(run.InitiatorNumber);
      const std::int32_t byDefault = static_cast<std::int32_t>(
          std::clamp<std::int64_t>(slots, 0, std::numeric_limits<std::int32_t>::max()));
      run.ExpectedChainsN = file.ReadInteger("General", "ExpectedChainsN", byDefault);
    }
    if (run.ProcessType == ptATRP) {
      run.ActivatorNumber = ReadCount(file, "SimulationParameters", "ActivatorNumber", 0);
      run.OxidizedActivatorNumber = ReadCount(file, "SimulationParameters", "OxidizedActivatorNumber", 0);
      run.InitiatorAttachMolWeight = ReadMolarMass(file, "InitiatorAttachMolWeight");
    }
    SizeArrays(run);
    AllocationFailed = false;
    Propagon::LogMessage("Process Created Succesfully!");
  } catch (...) {
    Propagon::LogMessage("Memory Allocation Error!");
    if (requestTerminate) requestTerminate();
    throw;
  }
}

} // namespace Engine
