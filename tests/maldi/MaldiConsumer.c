/* A C program linked against libMaldi.so: the header compiles as C11 and the
 * four operations work through plain C calls. Exits with the number of failed
 * checks; the table file goes to the folder named by the first argument. */

#include "maldi/Maldi.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

static int failures = 0;

static void Check(int condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "failed: %s\n", what);
    ++failures;
  }
}

/* ASCII path to a NUL-terminated UTF-16 string. */
static void ToUtf16(const char* text, char16_t* out, size_t capacity) {
  size_t k = 0;
  for (; text[k] != '\0' && k + 1 < capacity; ++k)
    out[k] = (char16_t)(unsigned char)text[k];
  out[k] = 0;
}

static long FileSize(const char* path) {
  FILE* file = fopen(path, "rb");
  long size = -1;
  if (file != NULL) {
    fseek(file, 0, SEEK_END);
    size = ftell(file);
    fclose(file);
  }
  return size;
}

int main(int argc, char** argv) {
  char path[1024];
  char16_t widePath[1024];
  /* Water: 2 x 1.008 + 15.999 = 18.015 g/mol (IUPAC standard atomic weights). */
  Check(fabs(CalcMolMass(u"H2O") - 18.015) < 0.01, "CalcMolMass(H2O)");
  Check(CalcMolMass(u"h2o") == 0.0, "CalcMolMass of an invalid formula is 0");
  if (argc < 2) {
    fprintf(stderr, "usage: maldi_c_consumer FOLDER\n");
    return 1;
  }

  snprintf(path, sizeof path, "%s/consumer-spectrum.tmp", argv[1]);
  ToUtf16(path, widePath, 1024);
  Check(PrepareSpectrum(1, u"C8H8", u"", u"C4H9H", u"Na", widePath) == 1, "PrepareSpectrum");
  Check(FileSize(path) > 8 + 4 * 20, "pattern table holds four records with peaks");

  snprintf(path, sizeof path, "%s/consumer-abstracted.tmp", argv[1]);
  ToUtf16(path, widePath, 1024);
  Check(PrepareAbstractedSpectrum(1, u"C8H8", u"", u"C4H9", u"Na", widePath) == 1, "PrepareAbstractedSpectrum");

  snprintf(path, sizeof path, "%s/consumer-highest.tmp", argv[1]);
  ToUtf16(path, widePath, 1024);
  Check(PrepareHighestPeaks(2, u"C8H8", u"", u"C4H9H", u"Na", widePath) == 1, "PrepareHighestPeaks");
  /* Header plus (2 + 1)^2 masses of 8 bytes. */
  Check(FileSize(path) == 8 + 9 * 8, "highest-peak table size");

  {
    /* The pointer types of the header match the functions. */
    TCalcMolMassFunc calc = &CalcMolMass;
    TPrepareSpectrumFunc prepare = &PrepareSpectrum;
    Check(calc(u"") == 0.0 && prepare != NULL, "pointer types");
  }
  return failures;
}
