// The engine commands the main window runs, as replaceable functions: the
// program runs the jobs layer's, the window's tests run
// stand-ins.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/status.h"
#include "jobs/commands.h"
#include "jobs/job_context.h"

namespace qm::gui {

struct EngineCommands {
  std::function<std::vector<std::string>(const std::vector<std::filesystem::path>&, MessageSink&)>
      importFiles;
  std::function<std::vector<std::string>()> imageList;
  std::function<std::vector<std::string>(const std::string& item)> separationList;
  std::function<std::vector<std::string>()> prnList;
  std::function<bool(JobContext&, const std::string& item)> separate;
  std::function<bool(JobContext&, const std::string& item, const std::string& entry, const LightInkBoxes&)> compose;
  // The Print command; `failure` (may be null) names a file whose job failed.
  std::function<bool(JobContext&, const std::string& item, FileFailure* failure)> print;
};

// The commands of the engine layers linked into this program.
EngineCommands DefaultEngineCommands();

}  // namespace qm::gui
