// What a job may do to the main window. Jobs take their arguments (item,
// entry, input path) explicitly; list selections stay in the window.
#pragma once

#include <string_view>

#include "platform/message_sink.h"

namespace qm {

// The job's two displays, each a status line and a progress bar: the
// Separation one (the file being separated) and the Prn one (the printer
// file being written). Each front end shows them its own way.
enum class StatusLine { Separation, Prn };
enum class ProgressBar { Separation, Prn };

class JobHost : public MessageSink {
 public:
  virtual void SetStatus(StatusLine line, std::string_view text) = 0;
  virtual void SetProgress(ProgressBar bar, int position) = 0;
  virtual void RefreshLists() = 0;  // Update List
  // Tool command lines, exit statuses and other notes for --verbose.
  virtual void Log(std::string_view line) = 0;
};

// A host that shows nothing: for tests and library callers.
class NullJobHost : public JobHost {
 public:
  void ShowMessage(std::string_view, std::string_view = {}) override {}
  void Warn(std::string_view) override {}
  void SetStatus(StatusLine, std::string_view) override {}
  void SetProgress(ProgressBar, int) override {}
  void RefreshLists() override {}
  void Log(std::string_view) override {}
};

}  // namespace qm
