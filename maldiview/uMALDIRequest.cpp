#include "maldiview/uMALDIRequest.h"

#include "maldiview/uMALDISpectrum.h"
#include "shell/uMaldiBinding.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace MaldiView {

TTableFolder::TTableFolder(const std::string& parent) {
  std::string pattern = (parent.empty() ? TemporaryDirectory() : parent);
  if (!pattern.empty() && pattern.back() != '/')
    pattern += '/';
  pattern += "polykin-maldi-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  // mkdtemp creates the folder with mode 0700, and never an existing one.
  if (::mkdtemp(buffer.data()) != nullptr)
    FPath = buffer.data();
}

TTableFolder::~TTableFolder() {
  std::error_code ignored;
  if (!FPath.empty())
    std::filesystem::remove_all(FPath, ignored);
}

bool CheckCation(const Shell::TMaldiBinding& binding, const std::string& cationText, std::string& error) {
  const std::string formula = CationFormula(cationText);
  if (formula.empty()) {
    error = "The cation is empty (for example Na+)";
    return false;
  }
  if (!binding.MolMassAvailable())
    return true;
  const double mass = binding.CalcMolMass(formula);
  if (mass > 0.0 && std::isfinite(mass))
    return true;
  error = "The cation \"" + cationText + "\" is not a formula of the isotope table (for example Na+, K+ or H+)";
  return false;
}

} // namespace MaldiView
