// import, lists and separate: the Image List side of the main window.
#include <algorithm>
#include <cstdio>

#include "cli/cli.h"
#include "platform/json.h"
#include "platform/platform.h"
#include "jobs/commands.h"

namespace qm::cli {

namespace {

int RunImport(Env& env, const std::vector<std::string>& args) {
  if (args.empty()) return UsageError("import needs at least one FILE");
  const std::vector<std::filesystem::path> files(args.begin(), args.end());
  const ImportReport report = ImportFilesReport(files, env.host);
  JsonWriter json;
  json.BeginObject().Key("imported").BeginArray();
  for (const ImportedFile& f : report.imported) {
    json.BeginObject().Key("file").String(f.source.string()).Key("item").String(f.item);
    json.Key("copy").String(f.copy.string()).EndObject();
  }
  json.EndArray().Key("failed").BeginArray();
  for (const FailedImport& f : report.failed) {
    json.BeginObject().Key("file").String(f.source.string()).Key("reason").String(f.reason).EndObject();
  }
  json.EndArray().EndObject();
  std::printf("%s\n", json.str().c_str());
  return env.JobExit();
}

void WriteList(JsonWriter& json, const char* key, const std::vector<std::string>& entries) {
  json.Key(key).BeginArray();
  for (const std::string& e : entries) json.String(e);
  json.EndArray();
}

bool IsItem(const std::string& item) {
  const std::vector<std::string> items = ImageList();
  return std::find(items.begin(), items.end(), item) != items.end();
}

int RunLists(Env& env, const std::vector<std::string>& args) {
  if (args.size() > 1) return UsageError("lists takes at most one ITEM");
  if (!args.empty() && !IsItem(args[0])) {
    env.host.ShowMessage(kChooseImageItem, "no item '" + args[0] + "' in " + CustomFilesDir().string());
    return kExitFailure;
  }
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
  if (!IsItem(args[0])) {
    env.host.ShowMessage(kChooseImageItem);
    return kExitFailure;
  }
  JobContext ctx = env.Job();
  SeparateCommand(ctx, args[0]);
  return env.JobExit();
}

}  // namespace

QM_CLI_COMMAND("import", "FILE...", "import artwork into RipIn/CustomFiles, as JSON",
               "The Import command: copies each FILE into RipIn/CustomFiles/<stem>/ (a folder per file\n"
               "name without its extension; a name already there gets a numbered copy).\n"
               "Prints: {\"imported\": [{\"file\": ..., \"item\": ..., \"copy\": ...}, ...],\n"
               "\"failed\": [{\"file\": ..., \"reason\": ...}, ...]}; each failed file also gives\n"
               "\"Fail to import files!\" on standard error with the file and the reason.\n"
               "Exit status: 0 all files imported, 1 some failed, 2 bad usage.",
               false, RunImport);
QM_CLI_COMMAND("lists", "[ITEM]", "Image List, Separation List of ITEM, Prn List, as JSON",
               "The three lists of the main window: the items of RipIn/CustomFiles, the plane files\n"
               "RipIn/Separation/ITEM/*.tif? of ITEM, and the PRN files RipIn/UserPrn/*.pr?.\n"
               "Prints: {\"imageList\": [...], \"separationList\": [...], \"prnList\": [...]}; an ITEM\n"
               "that is not in the Image List prints no JSON and \"Choose an item from Image List!\".\n"
               "Exit status: 0 listed, 1 unknown ITEM, 2 bad usage.",
               false, RunLists);
QM_CLI_COMMAND("separate", "ITEM", "separate an imported item into plane files",
               "The Separate command: every file of the item, in listing order, separated into one plane\n"
               "per ink (halftoned when dfDitheredCk is on) and filed under RipIn/Separation/ITEM/.\n"
               "Prints: nothing on standard output; messages, warnings and progress on standard error.\n"
               "Another job on the AppDir refuses it (\"Another job is using the working folder!\");\n"
               "--wait SECONDS, before the command, waits that long for it to end first.\n"
               "Exit status: 0 every file separated, 1 a failure message was shown, 2 bad usage.",
               true, RunSeparate);

}  // namespace qm::cli
