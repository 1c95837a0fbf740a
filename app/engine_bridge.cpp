#include "app/engine_bridge.h"

#include "platform/platform.h"
#ifdef QM_HAVE_SEPARATION
#include "separation/commands.h"
#endif
#ifdef QM_HAVE_OUTPUT
#include "output/commands.h"
#endif

namespace qm::gui {

EngineCommands DefaultEngineCommands() {
  EngineCommands c;
#ifdef QM_HAVE_SEPARATION
  c.importFiles = [](const std::vector<std::filesystem::path>& files, MessageSink& sink) {
    return ImportFiles(files, sink);
  };
  c.imageList = [] { return ImageList(); };
  c.separationList = [](const std::string& item) { return SeparationList(item); };
  c.prnList = [] { return PrnList(); };
  c.separate = [](JobContext& ctx, const std::string& item) { return SeparateCommand(ctx, item); };
#else
  // Without the separation layer the lists are still shown.
  c.imageList = [] { return ListFolder(CustomFilesDir(), "*", EntryKind::Folders); };
  c.separationList = [](const std::string& item) {
    return ListFolder(SeparationDir() / item, "*.tif?", EntryKind::Any);
  };
  c.prnList = [] { return ListFolder(UserPrnDir(), "*.pr?", EntryKind::Any); };
#endif
#ifdef QM_HAVE_OUTPUT
  c.compose = [](JobContext& ctx, const std::string& item, const std::string& entry) {
    return ComposeCommand(ctx, item, entry);
  };
  c.print = [](JobContext& ctx, const std::string& item, FileFailure* failure) {
    return PrintCommand(ctx, item, failure);
  };
#endif
  return c;
}

}  // namespace qm::gui
