#pragma once
// The library's only diagnostic channel: the wide standard error stream.

#include <string>

namespace Maldi {

// Writes `text` to std::wcerr exactly as given (no line end added). If the wide
// stream refuses it (stderr already used for narrow output by the host, or a
// character the C locale cannot encode), the text goes to file descriptor 2 as
// UTF-8 instead and the stream is made usable again for the next message.
void WriteDiagnostic(const std::u16string& text);

// UTF-16 to the platform's wchar_t (UTF-32 on Linux); lone surrogates become
// U+FFFD.
std::wstring ToWide(const std::u16string& text);

// UTF-16 to UTF-8. Returns false (and leaves `out` partly filled) when the text
// holds a lone surrogate, which has no UTF-8 form.
bool ToUtf8(const std::u16string& text, std::string& out);

// UTF-8 text (paths, exception messages) to UTF-16; bytes that are not UTF-8
// become U+FFFD.
std::u16string FromNarrow(const std::string& text);

} // namespace Maldi
