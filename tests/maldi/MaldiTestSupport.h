#pragma once
// Helpers of the Maldi tests: the built isotope table, wide error capture,
// temporary folders and file contents.

#include "maldi/uIsotopeTable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace MaldiTest {

// The ISOTOPE.DAT copied beside the built library.
inline const Maldi::IsotopeTable& BuiltTable() {
  static const Maldi::IsotopeTable table = [] {
    Maldi::IsotopeTable loaded;
    if (!Maldi::LoadIsotopeTable(MALDI_ISOTOPE_FILE, loaded))
      ADD_FAILURE() << "cannot read " << MALDI_ISOTOPE_FILE;
    return loaded;
  }();
  return table;
}

inline Maldi::IsotopeTable TableFromText(const std::string& text) {
  std::istringstream input(text);
  Maldi::IsotopeTable table;
  Maldi::ReadIsotopeTable(input, table);
  return table;
}

// Everything written to std::wcerr while alive. The library shares the
// process's C++ runtime, so this sees its messages too, even through dlopen.
class TWideErrorCapture {
public:
  TWideErrorCapture() : FPrevious(std::wcerr.rdbuf(&FBuffer)) {}
  ~TWideErrorCapture() { std::wcerr.rdbuf(FPrevious); }
  TWideErrorCapture(const TWideErrorCapture&) = delete;
  TWideErrorCapture& operator=(const TWideErrorCapture&) = delete;
  std::wstring Text() const { return FBuffer.str(); }

private:
  std::wstringbuf FBuffer;
  std::wstreambuf* FPrevious;
};

// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the test.
class TTempFolder {
public:
  TTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "maldi-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
      ADD_FAILURE() << "cannot create a temporary folder";
    FPath = pattern;
  }
  ~TTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;
  std::filesystem::path Path() const { return FPath; }
  std::string File(const std::string& name) const { return (FPath / name).string(); }

private:
  std::filesystem::path FPath;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream input(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << input.rdbuf();
  return bytes.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream output(path, std::ios::binary | std::ios::trunc);
  output << bytes;
}

} // namespace MaldiTest
