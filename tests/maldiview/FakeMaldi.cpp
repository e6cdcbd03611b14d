// A stand-in for libMaldi.so that writes small, exactly known tables, so the
// assembly can be checked without the isotope code: record (i, j) holds one
// peak of intensity 100 at mass 100 i + 10 j + 1. Every call is appended to
// "calls.log" in the folder of the table file: operation, n, formula A,
// formula B, end groups, cation, file name, separated by '|'.
//
// Built twice: complete, and without PrepareAbstractedSpectrum (a library
// that the loader accepts but that cannot prepare the I~= curve).

#include <cstdint>
#include <cstring>
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

void PutInt32(std::ofstream& out, std::int32_t v) {
  unsigned char b[4];
  for (int k = 0; k < 4; ++k)
    b[k] = static_cast<unsigned char>((static_cast<std::uint32_t>(v) >> (8 * k)) & 0xFF);
  out.write(reinterpret_cast<const char*>(b), 4);
}

void PutDouble(std::ofstream& out, double v) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &v, 8);
  unsigned char b[8];
  for (int k = 0; k < 8; ++k)
    b[k] = static_cast<unsigned char>((bits >> (8 * k)) & 0xFF);
  out.write(reinterpret_cast<const char*>(b), 8);
}

std::int32_t WriteTable(const char* op, std::int32_t n, const char16_t* a, const char16_t* b, const char16_t* e,
                        const char16_t* c, const char16_t* f) {
  const std::string file = Narrow(f);
  const std::string folder = file.substr(0, file.find_last_of('/') + 1);
  std::ofstream(folder + "calls.log", std::ios::app)
      << op << '|' << n << '|' << Narrow(a) << '|' << Narrow(b) << '|' << Narrow(e) << '|' << Narrow(c) << '|'
      << file << '\n';
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  PutInt32(out, 100 * n + 10 * n + 2);
  PutInt32(out, n);
  for (std::int32_t i = 0; i <= n; ++i)
    for (std::int32_t j = 0; j <= n; ++j) {
      PutInt32(out, 1);
      PutDouble(out, 100.0 * i + 10.0 * j + 1.0);
      PutDouble(out, 100.0);
    }
  return out ? 1 : 0;
}

} // namespace

FAKE_EXPORT double CalcMolMass(const char16_t* formula) { return formula[0] == 0 ? 0.0 : 100.0; }

FAKE_EXPORT std::int32_t PrepareSpectrum(std::int32_t n, const char16_t* a, const char16_t* b, const char16_t* e,
                                         const char16_t* c, const char16_t* f) {
  return WriteTable("PrepareSpectrum", n, a, b, e, c, f);
}

#ifndef FAKE_MALDI_WITHOUT_ABSTRACTED
FAKE_EXPORT std::int32_t PrepareAbstractedSpectrum(std::int32_t n, const char16_t* a, const char16_t* b,
                                                   const char16_t* e, const char16_t* c, const char16_t* f) {
  return WriteTable("PrepareAbstractedSpectrum", n, a, b, e, c, f);
}
#endif
