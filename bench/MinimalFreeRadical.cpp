// The yardstick of the whole-run benchmark (bench/whole-run.sh): the
// free-radical algorithm of the program written as the shortest loop a
// competent programmer would write, with nothing the program adds around it.
//
// Same algorithm and the same random numbers: Gillespie's direct method over
// the 13 channels (all rates recomputed every event, linear search of the
// cumulative rates), -ln(u)/R waiting times, the standard library's
// std::mt19937 turned into deviates exactly as the program does (so a seed
// gives the program's events, one for one), radicals in
// unordered lists with swap-remove, every chain's sequence kept (one growable
// byte vector per chain), the initiator law of the program (every
// decomposition consumes the molecule; with probability f it gives two
// radicals), and at every check point the number- and weight-average DP over
// all chains. It writes nothing but one summary line, so the program's tables,
// log and curves are what the comparison charges to the program.
//
//   fr_minimal_loop PREPARED.kpx [SEED]
// prints: events=N conversion=X DPn=Y DPw=Z

#include "bench/MinimalLoopSupport.h"

#include <cmath>

namespace {

using namespace MinimalLoop;

struct TRates {
  double kAA, kAB, kBA, kBB, kIA, kIB, kdAA, kdAB, kdBB, kcAA, kcAB, kcBB, kd, f;
};

TRates ReadRates(const Params::TParameterFile& file) {
  auto read = [&](const char* key) { return file.ReadLocalFloat("SimulationRates", key); };
  return {read("A*A"),     read("A*B"),     read("B*A"),     read("B*B"),      read("I*A"),
          read("I*B"),     read("DisprAA"), read("DisprAB"), read("DisprBB"),  read("RecombAA"),
          read("RecombAB"), read("RecombBB"), read("InitDecomposit"), read("InitiationEfficiency")};
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: fr_minimal_loop PREPARED.kpx [SEED]\n");
    return 1;
  }
  Params::TParameterFile file(argv[1]);
  const TRates r = ReadRates(file);
  std::int64_t initiator = file.ReadInt64("SimulationParameters", "InitiatorNumber", 0);
  std::int64_t nA = file.ReadInt64("SimulationParameters", "MonomerANumber", 0);
  std::int64_t nB = file.ReadInt64("SimulationParameters", "MonomerBNumber", 0);
  const double monomer0 = static_cast<double>(nA + nB);
  const std::vector<double> checkPoints = Start(file, argc, argv);

  TChains chains;
  chains.reserve(static_cast<std::size_t>(2 * initiator));
  TList activeI, activeA, activeB;
  double t = 0.0;
  std::uint64_t events = 0;
  TAverages dp;
  for (std::size_t k = 1; k < checkPoints.size(); ++k) {
    while (t < checkPoints[k]) {
      const double a = static_cast<double>(nA), b = static_cast<double>(nB);
      const double as = static_cast<double>(activeA.size()), bs = static_cast<double>(activeB.size());
      const double is = static_cast<double>(activeI.size());
      const double pAA = as > 1 ? as * (as - 1) : 0.0, pAB = as * bs, pBB = bs > 1 ? bs * (bs - 1) : 0.0;
      double R[14];
      R[0] = 0.0;
      R[1] = a * as * r.kAA;
      R[2] = R[1] + b * as * r.kAB;
      R[3] = R[2] + a * bs * r.kBA;
      R[4] = R[3] + b * bs * r.kBB;
      R[5] = R[4] + a * is * r.kIA;
      R[6] = R[5] + b * is * r.kIB;
      R[7] = R[6] + pAA * r.kdAA;
      R[8] = R[7] + pAA * r.kcAA;
      R[9] = R[8] + pAB * r.kdAB;
      R[10] = R[9] + pAB * r.kcAB;
      R[11] = R[10] + pBB * r.kdBB;
      R[12] = R[11] + pBB * r.kcBB;
      R[13] = R[12] + static_cast<double>(initiator) * r.kd;
      if (!(R[13] > 0.0)) break;
      const double dt = -std::log(Open()) / R[13];
      if (t + dt >= checkPoints[k]) {
        t = checkPoints[k];
        break;
      }
      t += dt;
      ++events;
      const double x = R[13] * Uniform();
      int j = 1;
      while (!(R[j] > x)) ++j;
      switch (j) {
      case 1: case 2: case 3: case 4: case 5: case 6:
        Grow(j, chains, activeI, activeA, activeB, nA, nB);
        break;
      case 13:
        --initiator;
        if (Uniform() < r.f) {
          for (int n = 0; n < 2; ++n) {
            activeI.push_back(static_cast<std::int32_t>(chains.size()));
            chains.emplace_back();
          }
        }
        break;
      default:
        // Termination of a pair: 7/8 A*A*, 9/10 A*B*, 11/12 B*B*; even = recombination.
        Terminate(chains, j <= 10 ? activeA : activeB, j <= 8 ? activeA : activeB, j % 2 == 0);
        break;
      }
    }
    // Check point: number- and weight-average DP of the grown chains.
    dp = Averages(chains);
  }
  PrintSummary(events, monomer0, static_cast<double>(nA + nB), dp);
  return 0;
}
