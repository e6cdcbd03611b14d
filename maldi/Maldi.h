/* The C interface of the Maldi library (libMaldi.so): isotopic patterns and
 * molar masses of chemical formulas.
 *
 * Usable from C11 and C++. The program loads the library at run time and looks
 * the four operations up by these undecorated names; the pointer types below
 * are for that lookup.
 *
 * Contract shared by all four operations:
 *  - strings are NUL-terminated UTF-16 (char16_t) owned by the caller and only
 *    read during the call; a formula follows the grammar of the formula parser
 *    (for example "C8H8", "CH3(CH2)10CH3", "[13C]6H6");
 *  - the isotope table ISOTOPE.DAT is read from the library's own folder at the
 *    start of every call; nothing else is kept between calls;
 *  - no exception or error code leaves the library: problems are written to the
 *    wide standard error stream and the caller judges success by the result;
 *  - calls may come from any thread, but the program calls one at a time.
 */
#ifndef PROPAGON_MALDI_H
#define PROPAGON_MALDI_H

#ifdef __cplusplus
#include <cstdint>
#else
#include <stdint.h>
#include <uchar.h>
#endif

#if defined(_WIN32)
#  ifdef MALDI_BUILDING_LIBRARY
#    define MALDI_API __declspec(dllexport)
#  else
#    define MALDI_API __declspec(dllimport)
#  endif
#else
#  define MALDI_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Average molar mass of the formula in g/mol (sum of mass x abundance over its
 * isotopic pattern). Exactly 0.0 for an empty or invalid formula, for a formula
 * with a negative net atom count, and when ISOTOPE.DAT cannot be read or used
 * (damaged, no carbon or hydrogen, an element of the formula without a usable
 * pattern). */
MALDI_API double CalcMolMass(const char16_t* formula);

/* The three table operations write the binary spectrum table fileName for the
 * molecules cation + endGroups + i x formulaA + j x formulaB, i, j = 0 ... n
 * (i outer, j inner). They return 1 when the whole table was written and 0 when
 * nothing usable was written: ISOTOPE.DAT missing, damaged or without carbon
 * and hydrogen, a formula that does not parse or names an element the table
 * cannot give (an earlier file of that name is then left untouched; the line
 * or element at fault is named on the wide error stream), n negative or too
 * large, or the file could not be created or written.
 *
 * PrepareSpectrum: one pattern record per molecule.
 * PrepareAbstractedSpectrum: the same, each molecule with one hydrogen atom less.
 * PrepareHighestPeaks: the mass of the most abundant peak per molecule. */
MALDI_API int32_t PrepareSpectrum(int32_t n, const char16_t* formulaA, const char16_t* formulaB,
                                  const char16_t* endGroups, const char16_t* cation,
                                  const char16_t* fileName);
MALDI_API int32_t PrepareAbstractedSpectrum(int32_t n, const char16_t* formulaA,
                                            const char16_t* formulaB, const char16_t* endGroups,
                                            const char16_t* cation, const char16_t* fileName);
MALDI_API int32_t PrepareHighestPeaks(int32_t n, const char16_t* formulaA, const char16_t* formulaB,
                                      const char16_t* endGroups, const char16_t* cation,
                                      const char16_t* fileName);

/* Pointer types for looking the operations up with dlsym. */
typedef double (*TCalcMolMassFunc)(const char16_t* formula);
typedef int32_t (*TPrepareSpectrumFunc)(int32_t n, const char16_t* formulaA,
                                        const char16_t* formulaB, const char16_t* endGroups,
                                        const char16_t* cation, const char16_t* fileName);

#ifdef __cplusplus
}
#endif

#endif /* PROPAGON_MALDI_H */
