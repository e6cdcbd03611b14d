// The living-reversible yardstick of the whole-run benchmark
// (bench/whole-run.sh -p reversible): the program's algorithm as the
// shortest loop a competent programmer would write, with nothing the program
// adds around it.
//
// Same algorithm and the same random numbers: time advances in slices whose
// length adapts so that about half an event per chain happens in each; within
// a slice every chain in turn runs through its own exponential waiting times
// (-ln(u)/R, R from the free monomer and its end), adding A or B or
// releasing its terminal unit, with the rate constants of its end dyad.
// std::mt19937 is turned into deviates exactly as the program does, so a seed
// gives the program's events one for one. Every chain's sequence is kept (a
// growable byte vector per chain, its end read from its last two units), and
// at every check point the DP averages over all chains are taken. It writes
// nothing but one summary line.
//
//   reversible_minimal_loop PREPARED.kpx [SEED]
// prints: events=N conversion=X DPn=Y DPw=Z

#include "bench/MinimalLoopSupport.h"

#include <cmath>

namespace {

using namespace MinimalLoop;

// Rates by end code 2 x penultimate + terminal (A 0, B 1, initiator 2):
// 0 AA*, 1 AB*, 2 BA*, 3 BB*, 4 IA*, 5 IB*, 6 a bare initiator.
struct TRates {
  double AddA[7], AddB[7], Release[7];
};

TRates ReadRates(const Params::TParameterFile& file) {
  auto read = [&](const char* key) { return file.ReadLocalFloat("SimulationRates", key); };
  const double kAA = read("A*A"), kAB = read("A*B"), kBA = read("B*A"), kBB = read("B*B");
  return {{kAA, kBA, kAA, kBA, kAA, kBA, read("I*A")},
          {kAB, kBB, kAB, kBB, kAB, kBB, read("I*B")},
          {read("AA*"), read("AB*"), read("BA*"), read("BB*"), read("IA*"), read("IB*"), 0.0}};
}

int EndCode(const std::vector<std::uint8_t>& c) {
  if (c.empty()) return 6;
  if (c.size() == 1) return 4 + c.back();
  return 2 * c[c.size() - 2] + c.back();
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: reversible_minimal_loop PREPARED.kpx [SEED]\n");
    return 1;
  }
  Params::TParameterFile file(argv[1]);
  const TRates r = ReadRates(file);
  const std::int64_t chainsNumber = file.ReadInt64("SimulationParameters", "InitiatorNumber", 0);
  std::int64_t nA = file.ReadInt64("SimulationParameters", "MonomerANumber", 0);
  std::int64_t nB = file.ReadInt64("SimulationParameters", "MonomerBNumber", 0);
  const double monomer0 = static_cast<double>(nA + nB);
  const std::vector<double> checkPoints = Start(file, argc, argv);
  if (checkPoints.size() < 2) return 0;

  TChains chains(static_cast<std::size_t>(chainsNumber) + 1);
  const double n = static_cast<double>(chainsNumber);
  const double target = n * 0.5; // events per slice aimed at
  double slice = checkPoints[1] * 0.5, saved = slice;
  bool cut = false;
  std::int64_t sliceEvents = static_cast<std::int64_t>(std::nearbyint(target));
  std::uint64_t events = 0;
  double t = 0.0;
  TAverages dp;

  for (std::size_t k = 1; k < checkPoints.size(); ++k) {
    const double tEnd = checkPoints[k];
    while (t < tEnd) {
      if (cut) {
        slice = saved;
        sliceEvents = static_cast<std::int64_t>(std::nearbyint(target));
        cut = false;
      }
      const double previous = slice;
      slice = static_cast<double>(sliceEvents) > target ? n * slice * 0.5 / static_cast<double>(sliceEvents)
                                                        : slice * 1.02;
      if (!(slice > 0.0)) slice = (tEnd - t) * 0.5;
      if (tEnd - t < slice) {
        saved = previous;
        slice = tEnd - t;
        cut = true;
      }
      sliceEvents = 0;
      t = cut ? tEnd : std::min(t + slice, tEnd);
      for (std::size_t c = 1; c < chains.size(); ++c) {
        std::vector<std::uint8_t>& chain = chains[c];
        double left = slice;
        for (;;) {
          const int code = EndCode(chain);
          const double r1 = static_cast<double>(nA) * r.AddA[code];
          const double r2 = static_cast<double>(nB) * r.AddB[code];
          const double total = r1 + r2 + r.Release[code];
          if (!(total > 0.0)) break;
          left -= -std::log(Open()) / total;
          if (left < 0.0) break;
          ++sliceEvents;
          ++events;
          const double x = Uniform() * total;
          // A bare end takes B only above r1; a chain at the longest length
          // is refused a unit and nothing changes.
          const bool addA = code == 6 ? !(x > r1) : x < r1;
          const bool addB = code == 6 ? x > r1 : !addA && x < r1 + r2;
          if (addA || addB) {
            if (chain.size() >= MaxDP) continue;
            chain.push_back(addA ? 0 : 1);
            --(addA ? nA : nB);
          } else {
            ++(chain.back() == 0 ? nA : nB);
            chain.pop_back();
          }
        }
      }
    }
    dp = Averages(chains);
    if (nA + nB == 0) break;
  }
  PrintSummary(events, monomer0, static_cast<double>(nA + nB), dp);
  return 0;
}
