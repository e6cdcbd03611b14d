// A stand-in for libMaldi.so with the same C entry points, built in three
// variants (complete, without CalcMolMass) so the loader's checks can be
// driven without the real isotope code.
//
// CalcMolMass returns the sum of the UTF-16 code units of its argument, which
// lets a test see exactly which units crossed the boundary. The table
// operations write their own name and their arguments, one per line (non-ASCII
// units as '?'), to the file named by the last argument.

#include <cstdint>
#include <fstream>
#include <string>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::string Narrow(const char16_t* s) {
  std::string out;
  for (; *s; ++s)
    out.push_back(*s < 128 ? static_cast<char>(*s) : '?');
  return out;
}

std::int32_t WriteArgs(const char* op, std::int32_t n, const char16_t* a, const char16_t* b,
                       const char16_t* e, const char16_t* c, const char16_t* f) {
  std::ofstream out(Narrow(f));
  out << op << '\n' << n << '\n' << Narrow(a) << '\n' << Narrow(b) << '\n'
      << Narrow(e) << '\n' << Narrow(c) << '\n';
  return out ? 1 : 0;
}

} // namespace

#ifndef FAKE_MALDI_WITHOUT_CALCMOLMASS
FAKE_EXPORT double CalcMolMass(const char16_t* formula) {
  double sum = 0.0;
  for (; *formula; ++formula)
    sum += static_cast<double>(*formula);
  return sum;
}
#endif

FAKE_EXPORT std::int32_t PrepareSpectrum(std::int32_t n, const char16_t* a, const char16_t* b,
                                         const char16_t* e, const char16_t* c, const char16_t* f) {
  return WriteArgs("PrepareSpectrum", n, a, b, e, c, f);
}

FAKE_EXPORT std::int32_t PrepareAbstractedSpectrum(std::int32_t n, const char16_t* a,
                                                   const char16_t* b, const char16_t* e,
                                                   const char16_t* c, const char16_t* f) {
  return WriteArgs("PrepareAbstractedSpectrum", n, a, b, e, c, f);
}

FAKE_EXPORT std::int32_t PrepareHighestPeaks(std::int32_t n, const char16_t* a, const char16_t* b,
                                             const char16_t* e, const char16_t* c,
                                             const char16_t* f) {
  return WriteArgs("PrepareHighestPeaks", n, a, b, e, c, f);
}
