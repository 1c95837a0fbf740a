// The system's message boxes, as one interface: the GUI shows a dialog, the
// command-line program prints the text, tests record it. Texts are passed
// as they are, character for character.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm {

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // A message box. `cause`, when not empty, says why a failure happened: the
  // command line prints it on an indented line after the text, the window
  // shows it as the box's detail and keeps it in its status line.
  virtual void ShowMessage(std::string_view text, std::string_view cause = {}) = 0;
  // Something of the artwork (an ink, a plane, a file) that a job leaves out
  // while it still succeeds, named with the reason. Never a modal box: a hot
  // folder must not stall on it.
  virtual void Warn(std::string_view text) = 0;
};

// Keeps every message, cause and warning, for tests and for callers that
// show them later.
class RecordingSink : public MessageSink {
 public:
  void ShowMessage(std::string_view text, std::string_view cause = {}) override {
    messages.emplace_back(text);
    causes.emplace_back(cause);
  }
  void Warn(std::string_view text) override { warnings.emplace_back(text); }
  std::vector<std::string> messages, causes, warnings;
};

}  // namespace qm
