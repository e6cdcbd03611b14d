#pragma once
// The molar-mass histograms of the chain statistics, held sparsely.
//
// A chain of molar mass M counts in the bin of whole g/mol trunc(M): the
// number histogram N(i) counts the chains of bin i, the weight histogram W(i)
// sums their masses, on the mass axis M(i) = i g/mol for i = 0 … b. Only the
// bins that hold a chain are stored, in increasing mass, so the memory grows
// with the chains (at most one bin each), never with the heaviest mass; b is
// kept as the axis length AxisLength = b + 1, the length the axis has as an
// array (room for two initiator fragments above the heaviest monomer content,
// plus 100 g/mol).
//
//     for (const TMassBin& bin : state.MassHistogram.Bins)   // increasing Mass
//       use(bin.Mass, bin.Number, bin.Weight);
//
// Built once per statistics pass with Add in chain order: the masses of one
// bin are summed in the order the chains come, so the sums are the ones an
// array indexed by mass would hold.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Engine {

struct TMassBin {
  double Mass = 0.0;   // i, whole g/mol
  double Number = 0.0; // N(i), chains
  double Weight = 0.0; // W(i), g/mol
  friend bool operator==(const TMassBin&, const TMassBin&) = default;
};

class TMassHistogram {
public:
  // Non-empty bins in increasing Mass.
  std::vector<TMassBin> Bins;
  // b + 1: the number of points of the mass axis 0 … b (0: no histogram).
  double AxisLength = 0.0;

  bool Empty() const noexcept { return AxisLength <= 0.0; }
  // b, the last mass of the axis (-1 without a histogram).
  double LastMass() const noexcept { return AxisLength - 1.0; }
  // N(i) and W(i) of a whole mass i (0 for a bin without chains).
  double NumberAt(double mass) const noexcept;
  double WeightAt(double mass) const noexcept;

  // Starts a new histogram with the given axis length, keeping the memory of
  // the previous one for reuse.
  void Begin(double axisLength);
  // Counts one chain of molar mass m in bin `mass` (= trunc(m)).
  void Add(double mass, double m);
  // Sorts the bins by mass; the histogram is complete.
  void Finish();
  // Forgets the histogram and returns its memory.
  void Release() noexcept;

  // Bytes held per stored bin (bins and lookup table), for the memory estimate.
  static constexpr std::size_t BytesPerBin = sizeof(TMassBin) + 2 * sizeof(std::int32_t);

private:
  const TMassBin* Find(double mass) const noexcept;
  void Grow();
  // Open addressing over bin indices + 1 (0: empty slot), capacity a power
  // of two at least twice the bins.
  std::vector<std::int32_t> FSlots;
};

} // namespace Engine
