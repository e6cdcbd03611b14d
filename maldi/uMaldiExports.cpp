// The exported C entry points. Each body runs inside one guard: no exception
// crosses into the host, which may not even be C++; problems are written to
// the wide error stream and the documented failure value is returned.

#include "maldi/Maldi.h"

#include "maldi/uDiagnostics.h"
#include "maldi/uFormulaParser.h"
#include "maldi/uIsotopeTable.h"
#include "maldi/uMaldiOperations.h"

#include <exception>
#include <new>
#include <string>

namespace {

template <class Result, class Body>
Result Guarded(Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (const Parser::Error& error) {
    Maldi::WriteDiagnostic(error.Message());
  } catch (const std::bad_alloc&) {
    Maldi::WriteDiagnostic(u"Out of memory\n");
  } catch (const std::exception& error) {
    Maldi::WriteDiagnostic(Maldi::FromNarrow(error.what()) + u"\n");
  } catch (...) {
    Maldi::WriteDiagnostic(u"Unexpected error\n");
  }
  return failure;
}

// The host never passes null, but a null pointer is read as an empty string
// rather than followed.
std::u16string Text(const char16_t* text) { return text != nullptr ? std::u16string(text) : u""; }

int32_t PrepareTable(Maldi::TRecordKind kind, int32_t n, const char16_t* formulaA,
                     const char16_t* formulaB, const char16_t* endGroups, const char16_t* cation,
                     const char16_t* fileName) {
  return Guarded<int32_t>(0, [&]() -> int32_t {
    Maldi::TSpectrumRequest request;
    request.N = n;
    request.FormulaA = Text(formulaA);
    request.FormulaB = Text(formulaB);
    request.EndGroups = Text(endGroups);
    request.Cation = Text(cation);
    if (!Maldi::ToUtf8(Text(fileName), request.FileName) || request.FileName.empty()) {
      // A file name with a broken UTF-16 sequence has no path on this system;
      // writing to an approximation of it could destroy another file.
      Maldi::WriteDiagnostic(u"Could not create spectrum table file: " + Text(fileName) + u"\n");
      return 0;
    }
    return Maldi::PrepareTableWith(kind, request, Maldi::IsotopeFilePath());
  });
}

} // namespace

extern "C" {

MALDI_API double CalcMolMass(const char16_t* formula) {
  return Guarded<double>(0.0, [&] { return Maldi::CalcMolMassWith(Text(formula), Maldi::IsotopeFilePath()); });
}

MALDI_API int32_t PrepareSpectrum(int32_t n, const char16_t* formulaA, const char16_t* formulaB,
                                  const char16_t* endGroups, const char16_t* cation,
                                  const char16_t* fileName) {
  return PrepareTable(Maldi::TRecordKind::Pattern, n, formulaA, formulaB, endGroups, cation, fileName);
}

MALDI_API int32_t PrepareAbstractedSpectrum(int32_t n, const char16_t* formulaA,
                                            const char16_t* formulaB, const char16_t* endGroups,
                                            const char16_t* cation, const char16_t* fileName) {
  return PrepareTable(Maldi::TRecordKind::AbstractedPattern, n, formulaA, formulaB, endGroups, cation,
                      fileName);
}

MALDI_API int32_t PrepareHighestPeaks(int32_t n, const char16_t* formulaA, const char16_t* formulaB,
                                      const char16_t* endGroups, const char16_t* cation,
                                      const char16_t* fileName) {
  return PrepareTable(Maldi::TRecordKind::HighestPeak, n, formulaA, formulaB, endGroups, cation,
                      fileName);
}

} // extern "C"
