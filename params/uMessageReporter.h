#pragma once
// How the Qt-free core shows a message that needs the user's attention.
//
// The desktop program implements it with message boxes, the command line with
// lines on the error stream, tests with a recorder. Every call returns only
// after the user has seen the message (a modal box in the GUI).

#include <iosfwd>
#include <string>

namespace Params {

class TMessageReporter {
public:
  virtual ~TMessageReporter() = default;
  // An information box with one OK button ("All Parameters are Valid!").
  virtual void ShowInformation(const std::string& text) = 0;
  // A warning box with one OK button (the memory report, "[R*] is very low!").
  virtual void ShowWarning(const std::string& text) = 0;
  // An error box with one OK button (invalid formula, error kind + message).
  virtual void ShowError(const std::string& text) = 0;
  // A question with Yes and No; true for Yes.
  virtual bool AskConfirmation(const std::string& text) = 0;
};

// Writes every message as text lines to a stream ("Warning: ...",
// "Error: ..."); questions get the fixed answer given at construction. Used by
// the command line, where nobody can answer.
class TStreamReporter : public TMessageReporter {
public:
  explicit TStreamReporter(std::ostream& out, bool answer = false) : FOut(out), FAnswer(answer) {}
  void ShowInformation(const std::string& text) override;
  void ShowWarning(const std::string& text) override;
  void ShowError(const std::string& text) override;
  bool AskConfirmation(const std::string& text) override;

private:
  void Write(const char* prefix, const std::string& text);
  std::ostream& FOut;
  bool FAnswer;
};

} // namespace Params
