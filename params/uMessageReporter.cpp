#include "params/uMessageReporter.h"

#include <ostream>

namespace Params {

// Message texts use CR LF (and one uses LF CR) between lines, as the boxes of
// the desktop program do; on a terminal every break becomes one newline.
void TStreamReporter::Write(const char* prefix, const std::string& text) {
  std::string out = prefix;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n') && text[i + 1] != c)
        ++i;
      out += '\n';
      out.append(std::char_traits<char>::length(prefix), ' ');
    } else {
      out += c;
    }
  }
  FOut << out << '\n';
  FOut.flush();
}

void TStreamReporter::ShowInformation(const std::string& text) { Write("", text); }
void TStreamReporter::ShowWarning(const std::string& text) { Write("Warning: ", text); }
void TStreamReporter::ShowError(const std::string& text) { Write("Error: ", text); }

bool TStreamReporter::AskConfirmation(const std::string& text) {
  Write("Question: ", text);
  FOut << (FAnswer ? "(answered Yes)" : "(answered No)") << '\n';
  return FAnswer;
}

} // namespace Params
