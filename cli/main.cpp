#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>

#include "cli/cli.h"
#include "platform/json.h"
#include "platform/platform.h"
#include "platform/temporaries.h"
#include "settings/initiation.h"

namespace qm::cli {

namespace {
std::map<std::string, Command>& Registry() {
  static std::map<std::string, Command> commands;
  return commands;
}

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: quillmark-cli [--app-dir DIR] [--preset NAME.cfg] [--set KEY=VALUE]...\n"
               "                     [--progress auto|none|json] [--verbose] COMMAND [ARGS]\n"
               "commands:\n");
  for (const auto& [name, command] : Registry()) {
    std::fprintf(out, "  %s %s\n", name.c_str(), command.usage);
  }
}

bool IsFlagKey(const std::string& key) {
  for (const InitiationKey& k : InitiationKeys()) {
    if (key == k.key) return k.isFlag;
  }
  return false;
}

bool IsKnownKey(const std::string& key) {
  for (const InitiationKey& k : InitiationKeys()) {
    if (key == k.key) return true;
  }
  return false;
}
}  // namespace

void RegisterCommand(const Command& command) { Registry()[command.name] = command; }

int UsageError(const std::string& message) {
  std::fprintf(stderr, "quillmark-cli: %s\n", message.c_str());
  std::fprintf(stderr, "Try 'quillmark-cli --help'.\n");
  return kExitUsage;
}

CliHost::CliHost(const Options& options) : options_(options), terminal_(::isatty(2) != 0) {}

void CliHost::ShowMessage(std::string_view text, std::string_view cause) {
  ++messages_;
  if (terminal_ && options_.progress == ProgressMode::Auto) std::fputs("\r\033[K", stderr);
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  if (!cause.empty()) {
    std::string line(cause);  // one line, whatever a library put into it
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::fprintf(stderr, "  %s\n", line.c_str());
  }
  std::fflush(stderr);
}

void CliHost::Warn(std::string_view text) {
  if (terminal_ && options_.progress == ProgressMode::Auto) std::fputs("\r\033[K", stderr);
  std::fprintf(stderr, "Warning: %.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
}

void CliHost::SetStatus(StatusLine line, std::string_view text) {
  status_[line == StatusLine::Separation ? 0 : 1] = std::string(text);
}

void CliHost::SetProgress(ProgressBar bar, int position) {
  const int index = bar == ProgressBar::Separation ? 0 : 1;
  if (options_.progress == ProgressMode::Json) {
    JsonWriter json;
    json.BeginObject()
        .Key("progress").Int(position)
        .Key("bar").Int(static_cast<int>(bar))
        .Key("status").String(status_[index])
        .EndObject();
    std::fprintf(stderr, "%s\n", json.str().c_str());
  } else if (options_.progress == ProgressMode::Auto && terminal_) {
    const int width = 30, filled = position * width / 100;
    std::fprintf(stderr, "\r\033[K[%.*s%*s] %3d%% %s", filled, "==============================",
                 width - filled, "", position, status_[index].c_str());
    if (position == 0) std::fputs("\r\033[K", stderr);
  }
  std::fflush(stderr);
}

void CliHost::Log(std::string_view line) {
  if (!options_.verbose) return;
  std::fprintf(stderr, "log: %.*s\n", static_cast<int>(line.size()), line.data());
  std::fflush(stderr);
}

int Main(int argc, char** argv) {
  RemoveTemporariesOnSignals();  // Ctrl-C leaves no half-written file behind
  Options options;
  std::vector<std::string> rest;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* name) -> std::optional<std::string> {
      if (i + 1 >= argc) return std::nullopt;
      (void)name;
      return std::string(argv[++i]);
    };
    if (!rest.empty()) {
      rest.push_back(arg);
    } else if (arg == "--help" || arg == "-h") {
      PrintHelp(stdout);
      return kExitOk;
    } else if (arg == "--app-dir") {
      auto v = value("--app-dir");
      if (!v || v->empty()) return UsageError("--app-dir needs a folder");
      SetAppDirOverride(*v);
    } else if (arg == "--preset") {
      auto v = value("--preset");
      if (!v) return UsageError("--preset needs a preset file name");
      options.preset = *v;
    } else if (arg == "--set") {
      auto v = value("--set");
      if (!v) return UsageError("--set needs KEY=VALUE");
      const std::size_t eq = v->find('=');
      if (eq == std::string::npos) return UsageError("--set needs KEY=VALUE, got '" + *v + "'");
      std::string key = v->substr(0, eq), val = v->substr(eq + 1);
      if (!IsKnownKey(key)) return UsageError("unknown setting '" + key + "'");
      if (IsFlagKey(key) && val != "0" && val != "1") {
        return UsageError("the flag " + key + " takes only 0 or 1");
      }
      options.sets.emplace_back(std::move(key), std::move(val));
    } else if (arg == "--progress") {
      auto v = value("--progress");
      if (v == "auto") options.progress = ProgressMode::Auto;
      else if (v == "none") options.progress = ProgressMode::None;
      else if (v == "json") options.progress = ProgressMode::Json;
      else return UsageError("--progress takes auto, none or json");
    } else if (arg == "--verbose") {
      options.verbose = true;
    } else if (arg.rfind("--", 0) == 0) {
      return UsageError("unknown option '" + arg + "'");
    } else {
      rest.push_back(arg);
    }
  }
  if (rest.empty()) {
    PrintHelp(stderr);
    return kExitUsage;
  }
  const auto found = Registry().find(rest[0]);
  if (found == Registry().end()) return UsageError("unknown command '" + rest[0] + "'");
  const Command& command = found->second;

  CliHost host(options);
  Session session;
  if (command.needsStartup) {
    RunHeadlessStartup(AppDir(), session, options.sets, options.preset, host);
  }
  Env env{options, host, session};
  const std::vector<std::string> args(rest.begin() + 1, rest.end());
  try {
    return command.run(env, args);
  } catch (const std::exception& e) {
    // Library errors become a failure with their text; the program never
    // ends on bad input.
    std::fprintf(stderr, "quillmark-cli: %s\n", e.what());
    return kExitFailure;
  }
}

}  // namespace qm::cli

int main(int argc, char** argv) { return qm::cli::Main(argc, argv); }
