// import, lists and separate: the Image List side of the main window.
#include <algorithm>
#include <cstdio>

#include "cli/cli.h"
#include "platform/json.h"
#include "separation/commands.h"

namespace qm::cli {

namespace {

int RunImport(Env& env, const std::vector<std::string>& args) {
  if (args.empty()) return UsageError("import needs at least one FILE");
  const std::vector<std::filesystem::path> files(args.begin(), args.end());
  ImportFiles(files, env.host);
  return env.JobExit();
}

void WriteList(JsonWriter& json, const char* key, const std::vector<std::string>& entries) {
  json.Key(key).BeginArray();
  for (const std::string& e : entries) json.String(e);
  json.EndArray();
}

int RunLists(Env&, const std::vector<std::string>& args) {
  if (args.size() > 1) return UsageError("lists takes at most one ITEM");
  JsonWriter json;
  json.BeginObject();
  WriteList(json, "imageList", ImageList());
  WriteList(json, "separationList", args.empty() ? std::vector<std::string>{} : SeparationList(args[0]));
  WriteList(json, "prnList", PrnList());
  json.EndObject();
  std::printf("%s\n", json.str().c_str());
  return kExitOk;
}

int RunSeparate(Env& env, const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("separate needs one ITEM");
  const std::vector<std::string> items = ImageList();
  if (std::find(items.begin(), items.end(), args[0]) == items.end()) {
    env.host.ShowMessage(kChooseImageItem);
    return kExitFailure;
  }
  JobContext ctx = env.Job();
  SeparateCommand(ctx, args[0]);
  return env.JobExit();
}

}  // namespace

QM_CLI_COMMAND("import", "FILE...            the Import command", false, RunImport);
QM_CLI_COMMAND("lists", "[ITEM]              Image List, Separation List of ITEM, Prn List, as JSON", false,
               RunLists);
QM_CLI_COMMAND("separate", "ITEM              the Separate command on an Image List item", true, RunSeparate);

}  // namespace qm::cli
