// The ATRP yardstick of the whole-run benchmark (bench/whole-run.sh -p atrp):
// the program's ATRP algorithm as the shortest loop a competent programmer
// would write, with nothing the program adds around it.
//
// Same algorithm and the same random numbers: Gillespie's direct method over
// the 18 channels (propagation and initiation, activation R-X + L -> R* + LX,
// deactivation, termination of radical pairs), all rates recomputed every
// event, the total summed in three groups (growth, the activation
// equilibrium, termination) and the channel found within its group by a
// linear search, -ln(u)/R waiting times, std::mt19937 turned into deviates
// exactly as the program does. Capped and radical ends of kind I, A, B in six
// unordered lists with swap-remove; the capped A end an activation wakes is
// placed by a number drawn one activation ahead, as the program draws it (so
// a seed gives the program's events, one for one). Every chain's sequence is
// kept, and at every check point the DP averages over all chains are taken.
// It writes nothing but one summary line.
//
//   atrp_minimal_loop PREPARED.kpx [SEED]
// prints: events=N conversion=X DPn=Y DPw=Z

#include "bench/MinimalLoopSupport.h"

#include <cmath>

namespace {

using namespace MinimalLoop;

struct TRates {
  double kAA, kAB, kBA, kBB, kIA, kIB, kaI, kaA, kaB, kdeI, kdeA, kdeB, kdAA, kdAB, kdBB, kcAA, kcAB, kcBB;
};

TRates ReadRates(const Params::TParameterFile& file) {
  auto read = [&](const char* key) { return file.ReadLocalFloat("SimulationRates", key); };
  return {read("A*A"),     read("A*B"),     read("B*A"),      read("B*B"),      read("I*A"),      read("I*B"),
          read("ActivI"),  read("ActivA"),  read("ActivB"),   read("DeactI"),   read("DeactA"),   read("DeactB"),
          read("DisprAA"), read("DisprAB"), read("DisprBB"),  read("RecombAA"), read("RecombAB"), read("RecombBB")};
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: atrp_minimal_loop PREPARED.kpx [SEED]\n");
    return 1;
  }
  Params::TParameterFile file(argv[1]);
  const TRates r = ReadRates(file);
  const std::int64_t initiators = file.ReadInt64("SimulationParameters", "InitiatorNumber", 0);
  std::int64_t nA = file.ReadInt64("SimulationParameters", "MonomerANumber", 0);
  std::int64_t nB = file.ReadInt64("SimulationParameters", "MonomerBNumber", 0);
  std::int64_t nL = file.ReadInt64("SimulationParameters", "ActivatorNumber", 0);
  std::int64_t nLX = file.ReadInt64("SimulationParameters", "OxidizedActivatorNumber", 0);
  const double monomer0 = static_cast<double>(nA + nB);
  const std::vector<double> checkPoints = Start(file, argc, argv);

  // Chain c = 1 … N starts as a capped initiator end; chain 0 is unused.
  TChains chains(static_cast<std::size_t>(initiators) + 1);
  TList cappedI, cappedA, cappedB, activeI, activeA, activeB;
  for (std::int32_t c = 1; c <= initiators; ++c) cappedI.push_back(c);
  double t = 0.0;
  std::uint64_t events = 0;
  TAverages dp;
  bool ended = false;

  for (std::size_t k = 1; k < checkPoints.size() && !ended; ++k) {
    std::uint32_t wake = Generator(); // places the next activation of a capped A end
    while (t < checkPoints[k]) {
      const double a = static_cast<double>(nA), b = static_cast<double>(nB);
      const double l = static_cast<double>(nL), lx = static_cast<double>(nLX);
      const double is = static_cast<double>(activeI.size()), as = static_cast<double>(activeA.size()),
                   bs = static_cast<double>(activeB.size());
      const double pAA = as > 1 ? as * (as - 1) : 0.0, pAB = as * bs, pBB = bs > 1 ? bs * (bs - 1) : 0.0;
      double w[19];
      w[1] = as * r.kAA * a;
      w[2] = as * r.kAB * b;
      w[3] = a * bs * r.kBA;
      w[4] = b * bs * r.kBB;
      w[5] = a * is * r.kIA;
      w[6] = b * is * r.kIB;
      w[7] = static_cast<double>(cappedI.size()) * r.kaI * l;
      w[8] = l * static_cast<double>(cappedA.size()) * r.kaA;
      w[9] = l * static_cast<double>(cappedB.size()) * r.kaB;
      w[10] = is * lx * r.kdeI;
      w[11] = lx * as * r.kdeA;
      w[12] = lx * bs * r.kdeB;
      w[13] = pAA * r.kdAA;
      w[14] = pAA * r.kcAA;
      w[15] = pAB * r.kdAB;
      w[16] = pAB * r.kcAB;
      w[17] = pBB * r.kdBB;
      w[18] = pBB * r.kcBB;
      double group[3];
      for (int g = 0; g < 3; ++g) {
        const double* v = w + 1 + 6 * g;
        group[g] = ((v[0] + v[1]) + (v[2] + v[3])) + (v[4] + v[5]);
      }
      const double growthAndEquilibrium = group[0] + group[1];
      const double total = growthAndEquilibrium + group[2];
      if (!(total > 0.0)) {
        ended = true;
        break;
      }
      const double dt = -std::log(Open()) / total;
      if (t + dt >= checkPoints[k]) {
        t = checkPoints[k];
        break;
      }
      t += dt;
      ++events;
      double x = total * Uniform();
      int g = 0;
      if (x >= growthAndEquilibrium) {
        g = 2;
        x -= growthAndEquilibrium;
      } else if (x >= group[0]) {
        g = 1;
        x -= group[0];
      }
      // The channel within the group: the first whose running sum exceeds x
      // (x is kept below the group's running sum, which the tree sum and the
      // subtraction may miss by a rounding).
      double sum[6];
      sum[0] = w[1 + 6 * g];
      for (int i = 1; i < 6; ++i) sum[i] = sum[i - 1] + w[1 + 6 * g + i];
      if (!(x < sum[5])) x = std::nextafter(sum[5], 0.0);
      int i = 0;
      while (!(sum[i] > x)) ++i;
      const int j = 1 + 6 * g + i;

      switch (j) {
      case 1: case 2: case 3: case 4: case 5: case 6: // propagation and initiation
        Grow(j, chains, activeI, activeA, activeB, nA, nB);
        break;
      case 7: case 8: case 9: { // activation
        ++nLX;
        --nL;
        if (j == 8) {
          MoveAt(cappedA, static_cast<std::int32_t>(UniformOf(wake) * static_cast<double>(cappedA.size())), activeA);
          wake = Generator();
        } else {
          TList& from = j == 7 ? cappedI : cappedB;
          MoveAt(from, Pick(from), j == 7 ? activeI : activeB);
        }
        break;
      }
      case 10: case 11: case 12: { // deactivation
        --nLX;
        ++nL;
        TList& from = j == 10 ? activeI : j == 11 ? activeA : activeB;
        MoveAt(from, Pick(from), j == 10 ? cappedI : j == 11 ? cappedA : cappedB);
        break;
      }
      default: // termination: 13/14 A*A*, 15/16 A*B*, 17/18 B*B*; even = recombination
        Terminate(chains, j <= 16 ? activeA : activeB, j <= 14 ? activeA : activeB, j % 2 == 0);
        break;
      }
    }
    dp = Averages(chains);
  }
  PrintSummary(events, monomer0, static_cast<double>(nA + nB), dp);
  return 0;
}
