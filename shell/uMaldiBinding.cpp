#include "shell/uMaldiBinding.h"

#include "params/uLogMessage.h"
#include "shell/uLibraryProbe.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace Shell {

namespace {

TMaldiBinding* GActiveBinding = nullptr;

bool FileExists(const std::filesystem::path& p) {
  std::error_code ec;
  return std::filesystem::is_regular_file(p, ec);
}

} // namespace

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  auto bad = [&] {
    out.push_back(u'\uFFFD');
    ++i;
  };
  while (i < n) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      out.push_back(static_cast<char16_t>(c));
      ++i;
      continue;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((c & 0xE0) == 0xC0) {
      extra = 1, cp = c & 0x1F, minimum = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2, cp = c & 0x0F, minimum = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3, cp = c & 0x07, minimum = 0x10000;
    } else {
      bad();
      continue;
    }
    if (i + static_cast<std::size_t>(extra) >= n) { // truncated at the end of the text
      bad();
      continue;
    }
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      const unsigned char cc = s[i + static_cast<std::size_t>(k)];
      if ((cc & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogate code points and values beyond U+10FFFF are
    // not characters; they would smuggle unexpected units into the formula.
    if (!ok || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      bad();
      continue;
    }
    i += static_cast<std::size_t>(extra) + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

TMaldiBinding::TMaldiBinding(TRecordLibraryName recordLibraryName)
    : FRecordLibraryName(std::move(recordLibraryName)) {}

TMaldiBinding::~TMaldiBinding() {
  if (GActiveBinding == this)
    GActiveBinding = nullptr;
  Release();
}

void TMaldiBinding::Record(const std::string& path) const {
  if (FRecordLibraryName)
    FRecordLibraryName(path);
}

void TMaldiBinding::CheckMALDILibrary(const std::string& path) {
  using Propagon::LogMessage;
  const std::string libName = MaldiLibraryFileName;

  if (!FileExists(path))
    LogMessage("Error: Library File \"" + libName +
               "\" not Exists!\r\nPlease locate it by Menu/File/MALDI DLL");

  // The path is remembered even when the file is missing, so the user sees
  // in the settings which file the program looked for.
  Record(path);

  // dlopen("") would hand back the program itself, and a name without a
  // slash would be searched on the library path instead of the current
  // folder; both are not what the user named.
  void* handle = nullptr;
  std::string reason;
  if (path.empty()) {
    reason = "empty file name";
  } else {
    const std::string loadName = path.find('/') == std::string::npos ? "./" + path : path;
    // Tried in a child process first: a damaged file would end this one.
    const TLibraryProbe probe = ProbeLibrary(loadName);
    if (probe.Result == TLibraryProbe::TResult::Crashed) {
      reason = "not a usable library: loading it in a test process ended with " + probe.Reason;
    } else {
      dlerror();
      handle = dlopen(loadName.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!handle) {
        const char* err = dlerror();
        reason = err ? err : "unknown error";
      }
    }
  }

  if (handle) {
    FHandle = handle;
    FLibraryPath = path;
    FOpened.push_back(handle);

    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!FileExists(folder / IsotopeTableFileName))
      LogMessage("Error: Cannot Find \"" + std::string(IsotopeTableFileName) +
                 "\"!\r\nPlease keep it together with \"" + libName + "\"");

    FSpectrumAvailable = dlsym(handle, "PrepareSpectrum") != nullptr;
    FMolMassAvailable = dlsym(handle, "CalcMolMass") != nullptr;
    if (FSpectrumAvailable && FMolMassAvailable)
      Record(path);
    if (!FSpectrumAvailable)
      LogMessage("MALDI Spectrum not Allowed!");
    if (!FMolMassAvailable)
      LogMessage("Edition of Process Parameters not Allowed!");
  } else {
    // The library loaded before (if any) stays in force with its flags:
    // forgetting its handle while the flags still promise entry points
    // would send callers through a null pointer.
    LogMessage("Error: Unable to Load Library from File \"" + path +
               "\"!\r\nSee Section 8 in the Manual");
    LogMessage("Reason: " + reason);
  }
}

bool TMaldiBinding::SearchEnabled() const {
  return !(FHandle != nullptr && FSpectrumAvailable) || !FMolMassAvailable;
}

void* TMaldiBinding::Symbol(const char* name) const {
  if (!FHandle || !name)
    return nullptr;
  return dlsym(FHandle, name);
}

double TMaldiBinding::CalcMolMass(const std::string& formula) const {
  if (!FMolMassAvailable)
    return 0.0;
  auto proc = reinterpret_cast<TCalcMolMassProc>(Symbol("CalcMolMass"));
  if (!proc)
    return 0.0;
  const std::u16string wide = Utf8ToUtf16(formula);
  return proc(wide.c_str());
}

std::function<double(const std::string&)> TMaldiBinding::MolMassLookup() const {
  return [this](const std::string& formula) { return CalcMolMass(formula); };
}

int TMaldiBinding::CallTable(const char* name, int n, const std::string& formulaA,
                             const std::string& formulaB, const std::string& endGroups,
                             const std::string& cation, const std::string& fileName) const {
  auto proc = reinterpret_cast<TPrepareTableProc>(Symbol(name));
  if (!proc)
    return 0;
  const std::u16string a = Utf8ToUtf16(formulaA);
  const std::u16string b = Utf8ToUtf16(formulaB);
  const std::u16string e = Utf8ToUtf16(endGroups);
  const std::u16string c = Utf8ToUtf16(cation);
  const std::u16string f = Utf8ToUtf16(fileName);
  return proc(static_cast<std::int32_t>(n), a.c_str(), b.c_str(), e.c_str(), c.c_str(), f.c_str());
}

int TMaldiBinding::PrepareSpectrum(int n, const std::string& formulaA, const std::string& formulaB,
                                   const std::string& endGroups, const std::string& cation,
                                   const std::string& fileName) const {
  return CallTable("PrepareSpectrum", n, formulaA, formulaB, endGroups, cation, fileName);
}

int TMaldiBinding::PrepareAbstractedSpectrum(int n, const std::string& formulaA,
                                             const std::string& formulaB,
                                             const std::string& endGroups,
                                             const std::string& cation,
                                             const std::string& fileName) const {
  return CallTable("PrepareAbstractedSpectrum", n, formulaA, formulaB, endGroups, cation, fileName);
}

int TMaldiBinding::PrepareHighestPeaks(int n, const std::string& formulaA,
                                       const std::string& formulaB, const std::string& endGroups,
                                       const std::string& cation,
                                       const std::string& fileName) const {
  return CallTable("PrepareHighestPeaks", n, formulaA, formulaB, endGroups, cation, fileName);
}

void TMaldiBinding::Release() {
  for (auto it = FOpened.rbegin(); it != FOpened.rend(); ++it)
    dlclose(*it);
  FOpened.clear();
  FHandle = nullptr;
  FLibraryPath.clear();
  FSpectrumAvailable = false;
  FMolMassAvailable = false;
}

TMaldiBinding* ActiveMaldiBinding() { return GActiveBinding; }

TMaldiBinding* SetActiveMaldiBinding(TMaldiBinding* binding) {
  TMaldiBinding* previous = GActiveBinding;
  GActiveBinding = binding;
  return previous;
}

} // namespace Shell
