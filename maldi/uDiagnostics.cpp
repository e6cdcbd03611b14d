#include "maldi/uDiagnostics.h"

#include <unistd.h>

#include <iostream>

namespace Maldi {

namespace {

constexpr char32_t ReplacementCharacter = 0xFFFD;

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Calls `emit` with every code point of `text`; a lone surrogate is passed as
// 0xFFFFFFFF so each caller decides what to make of it.
template <class Emit>
void ForEachCodePoint(const std::u16string& text, Emit emit) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      emit(0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      emit(char32_t(0xFFFFFFFF));
    } else {
      emit(char32_t(c));
    }
  }
}

void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

} // namespace

std::wstring ToWide(const std::u16string& text) {
  std::wstring out;
  out.reserve(text.size());
  ForEachCodePoint(text, [&](char32_t cp) {
    out += wchar_t(cp == char32_t(0xFFFFFFFF) ? ReplacementCharacter : cp);
  });
  return out;
}

bool ToUtf8(const std::u16string& text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  bool whole = true;
  ForEachCodePoint(text, [&](char32_t cp) {
    if (cp == char32_t(0xFFFFFFFF))
      whole = false;
    else
      AppendUtf8(cp, out);
  });
  return whole;
}

std::u16string FromNarrow(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  auto emit = [&out](char32_t cp) {
    if (cp >= 0x10000) {
      out += char16_t(0xD800 + ((cp - 0x10000) >> 10));
      out += char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += char16_t(cp);
    }
  };
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : -1;
    char32_t cp = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
    bool valid = extra >= 0 && i + std::size_t(extra) < text.size() + (extra == 0 ? 1 : 0);
    for (int k = 1; valid && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + std::size_t(k)]);
      if ((next & 0xC0) != 0x80)
        valid = false;
      else
        cp = (cp << 6) | (next & 0x3F);
    }
    if (!valid || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      emit(ReplacementCharacter);
      ++i;
    } else {
      emit(cp);
      i += std::size_t(extra) + 1;
    }
  }
  return out;
}

void WriteDiagnostic(const std::u16string& text) {
  std::wcerr << ToWide(text);
  std::wcerr.flush();
  if (std::wcerr)
    return;
  // glibc refuses wide output on a stream the host already wrote bytes to, and
  // the "C" locale cannot encode non-ASCII characters; the message still
  // belongs on standard error, so write it as UTF-8 directly.
  std::wcerr.clear();
  std::string bytes;
  ForEachCodePoint(text, [&](char32_t cp) {
    AppendUtf8(cp == char32_t(0xFFFFFFFF) ? ReplacementCharacter : cp, bytes);
  });
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(2, bytes.data() + done, bytes.size() - done);
    if (written <= 0)
      break;
    done += std::size_t(written);
  }
}

} // namespace Maldi
