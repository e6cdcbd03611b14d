#pragma once
// Records every message the core wants shown, answering questions as told.

#include "params/uMessageReporter.h"

#include <string>
#include <vector>

namespace ParamsTest {

class TRecordingReporter : public Params::TMessageReporter {
public:
  void ShowInformation(const std::string& text) override { Messages.push_back("information: " + text); }
  void ShowWarning(const std::string& text) override { Messages.push_back("warning: " + text); }
  void ShowError(const std::string& text) override { Messages.push_back("error: " + text); }
  bool AskConfirmation(const std::string& text) override {
    Messages.push_back("question: " + text);
    return Answer;
  }
  bool Contains(const std::string& message) const {
    for (const auto& m : Messages)
      if (m == message)
        return true;
    return false;
  }

  std::vector<std::string> Messages;
  bool Answer = true;
};

} // namespace ParamsTest
