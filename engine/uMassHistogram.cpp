#include "engine/uMassHistogram.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace Engine {

namespace {

std::size_t SlotOf(double mass, std::size_t mask) noexcept {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &mass, sizeof bits);
  // Whole masses differ mostly in the high mantissa bits: mix them down.
  bits ^= bits >> 29;
  bits *= 0xBF58476D1CE4E5B9ull;
  bits ^= bits >> 32;
  return static_cast<std::size_t>(bits) & mask;
}

} // namespace

void TMassHistogram::Begin(double axisLength) {
  Bins.clear();
  std::fill(FSlots.begin(), FSlots.end(), 0);
  AxisLength = axisLength;
}

void TMassHistogram::Grow() {
  const std::size_t capacity = std::max<std::size_t>(64, FSlots.size() * 2);
  FSlots.assign(capacity, 0);
  const std::size_t mask = capacity - 1;
  for (std::size_t b = 0; b < Bins.size(); ++b) {
    std::size_t slot = SlotOf(Bins[b].Mass, mask);
    while (FSlots[slot] != 0) slot = (slot + 1) & mask;
    FSlots[slot] = static_cast<std::int32_t>(b + 1);
  }
}

void TMassHistogram::Add(double mass, double m) {
  if (2 * (Bins.size() + 1) > FSlots.size()) Grow();
  const std::size_t mask = FSlots.size() - 1;
  std::size_t slot = SlotOf(mass, mask);
  while (const std::int32_t entry = FSlots[slot]) {
    TMassBin& bin = Bins[static_cast<std::size_t>(entry - 1)];
    if (bin.Mass == mass) {
      bin.Number += 1.0;
      bin.Weight += m;
      return;
    }
    slot = (slot + 1) & mask;
  }
  // A new bin starts from 0 as an array entry would: 0 + m.
  Bins.push_back(TMassBin{mass, 1.0, 0.0 + m});
  FSlots[slot] = static_cast<std::int32_t>(Bins.size());
}

void TMassHistogram::Finish() {
  std::sort(Bins.begin(), Bins.end(), [](const TMassBin& a, const TMassBin& b) { return a.Mass < b.Mass; });
  // The lookup table has served; the sorted bins are searched by bisection.
  std::vector<std::int32_t>().swap(FSlots);
}

void TMassHistogram::Release() noexcept {
  std::vector<TMassBin>().swap(Bins);
  std::vector<std::int32_t>().swap(FSlots);
  AxisLength = 0.0;
}

const TMassBin* TMassHistogram::Find(double mass) const noexcept {
  const auto it = std::lower_bound(Bins.begin(), Bins.end(), mass,
                                   [](const TMassBin& bin, double value) { return bin.Mass < value; });
  return it != Bins.end() && it->Mass == mass ? &*it : nullptr;
}

double TMassHistogram::NumberAt(double mass) const noexcept {
  const TMassBin* bin = Find(mass);
  return bin != nullptr ? bin->Number : 0.0;
}

double TMassHistogram::WeightAt(double mass) const noexcept {
  const TMassBin* bin = Find(mass);
  return bin != nullptr ? bin->Weight : 0.0;
}

} // namespace Engine
