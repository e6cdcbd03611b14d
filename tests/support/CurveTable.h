#pragma once
// Reads a smoothed-distribution table back into the curve it stands for:
// every shown point, with the points the table leaves out between two of its
// rows taken from the straight line through them (as a chart draws it).

#include <cstddef>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace TestSupport {

struct TCurveOfTable {
  std::vector<double> Mass, Number, Weight; // the rows as written
  std::vector<double> SN, SW;               // every point 0 … shown-1
  bool Readable = true;
};

inline TCurveOfTable CurveOfTable(const std::string& text, std::size_t shown, double step = 1.0) {
  TCurveOfTable curve;
  std::istringstream in(text);
  std::string line;
  std::getline(in, line); // header
  while (std::getline(in, line)) {
    double m = 0, n = 0, w = 0;
    if (std::sscanf(line.c_str(), "%lf\t%lf\t%lf", &m, &n, &w) != 3) {
      curve.Readable = false;
      return curve;
    }
    curve.Mass.push_back(m);
    curve.Number.push_back(n);
    curve.Weight.push_back(w);
  }
  curve.SN.assign(shown, 0.0);
  curve.SW.assign(shown, 0.0);
  std::size_t row = 0;
  for (std::size_t i = 0; i < shown; ++i) {
    const double mass = static_cast<double>(i) * step;
    while (row < curve.Mass.size() && curve.Mass[row] < mass)
      ++row;
    if (row < curve.Mass.size() && curve.Mass[row] == mass) {
      curve.SN[i] = curve.Number[row];
      curve.SW[i] = curve.Weight[row];
    } else if (row > 0 && row < curve.Mass.size()) {
      const double t = (mass - curve.Mass[row - 1]) / (curve.Mass[row] - curve.Mass[row - 1]);
      curve.SN[i] = curve.Number[row - 1] + t * (curve.Number[row] - curve.Number[row - 1]);
      curve.SW[i] = curve.Weight[row - 1] + t * (curve.Weight[row] - curve.Weight[row - 1]);
    } else {
      // Outside the rows: the table must cover the whole axis.
      curve.Readable = false;
    }
  }
  return curve;
}

} // namespace TestSupport
