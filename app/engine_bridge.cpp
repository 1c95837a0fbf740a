#include "app/engine_bridge.h"

#include "jobs/commands.h"
#include "jobs/commands.h"

namespace qm::gui {

EngineCommands DefaultEngineCommands() {
  EngineCommands c;
  c.importFiles = [](const std::vector<std::filesystem::path>& files, MessageSink& sink) {
    return ImportFiles(files, sink);
  };
  c.imageList = [] { return ImageList(); };
  c.separationList = [](const std::string& item) { return SeparationList(item); };
  c.prnList = [] { return PrnList(); };
  c.separate = [](JobContext& ctx, const std::string& item) { return SeparateCommand(ctx, item); };
  c.compose = [](JobContext& ctx, const std::string& item, const std::string& entry, const LightInkBoxes& boxes) {
    return ComposeCommand(ctx, item, entry, boxes);
  };
  c.print = [](JobContext& ctx, const std::string& item, FileFailure* failure) {
    return PrintCommand(ctx, item, failure);
  };
  return c;
}

}  // namespace qm::gui
