// The system's message boxes, as one interface: the GUI shows a dialog, the
// command-line program prints the text, tests record it. Texts are passed
// exactly as the system quotes them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm {

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void ShowMessage(std::string_view text) = 0;
};

// Keeps every message, for tests and for callers that show them later.
class RecordingSink : public MessageSink {
 public:
  void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
  std::vector<std::string> messages;
};

}  // namespace qm
