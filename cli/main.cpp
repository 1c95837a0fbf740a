#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>

#include "cli/cli.h"
#include "settings/limits.h"
#include "platform/json.h"
#include "platform/platform.h"
#include "platform/temporaries.h"
#include "jobs/messages.h"
#include "settings/initiation.h"
#include "settings/preset.h"
#include "settings/underbase.h"

namespace qm::cli {

namespace {
std::map<std::string, Command>& Registry() {
  static std::map<std::string, Command> commands;
  return commands;
}

constexpr const char* kUsage =
    "usage: quillmark-cli [--app-dir DIR] [--preset NAME.cfg] [--set KEY=VALUE]...\n"
    "                     [--progress auto|none|json] [--wait SECONDS] [--verbose]\n"
    "                     COMMAND [ARGS]\n"
    "       quillmark-cli --version | --help | help COMMAND | COMMAND --help\n";

// "  NAME ARGS" padded to a fixed column, or on a line of its own when it is
// longer, then the text.
void PrintColumns(std::FILE* out, const std::string& left, const char* text) {
  constexpr std::size_t kColumn = 27;
  if (left.size() + 2 > kColumn) {
    std::fprintf(out, "%s\n%*s%s\n", left.c_str(), static_cast<int>(kColumn), "", text);
  } else {
    std::fprintf(out, "%-*s%s\n", static_cast<int>(kColumn), left.c_str(), text);
  }
}

void PrintHelp(std::FILE* out) {
  std::fputs(kUsage, out);
  std::fputs("commands:\n", out);
  for (const auto& [name, command] : Registry()) {
    std::string left = "  " + name;
    if (*command.arguments) left += std::string(" ") + command.arguments;
    PrintColumns(out, left, command.summary);
  }
  std::fputs("options:\n", out);
  PrintColumns(out, "  --app-dir DIR", "the AppDir (else QUILLMARK_APPDIR, else the program's own)");
  PrintColumns(out, "  --preset NAME.cfg", "the preset to apply instead of dfPreset");
  PrintColumns(out, "  --set KEY=VALUE", "a start-up default (df...), a preset or underbase.txt key, this run only");
  PrintColumns(out, "  --progress MODE", "auto (a bar on a terminal), none, or json lines");
  PrintColumns(out, "  --wait SECONDS", "separate, compose, print: wait up to SECONDS for another job");
  PrintColumns(out, "  --verbose", "log lines: tool command lines and exit statuses");
  PrintColumns(out, "  --version", "print the version");
  std::fputs("exit status: 0 done, 1 a failure message was shown, 2 bad usage\n", out);
}

void PrintCommandHelp(const Command& command) {
  std::printf("usage: quillmark-cli [OPTIONS] %s%s%s\n\n%s\n\n%s\n", command.name, *command.arguments ? " " : "",
              command.arguments, command.summary, command.details);
}

// Checks --set KEY=VALUE and files it as a start-up default, a preset key or
// an underbase key (with the preset keys: applied after underbase.txt);
// the reason when it is bad usage.
std::optional<std::string> AddSetting(Options& options, std::string key, std::string value) {
  if (key == kToolTimeLimitKey) {
    options.toolTimeLimit = ParseToolTimeLimit(value);
    if (!options.toolTimeLimit) return "ToolTimeLimit takes a whole number of seconds (0 to 604800)";
    return std::nullopt;
  }
  if (const InitiationKey* init = FindInitiationKey(key)) {
    if (init->isFlag() && value != "0" && value != "1") return "the flag " + key + " takes only 0 or 1";
    options.sets.emplace_back(std::move(key), std::move(value));
    return std::nullopt;
  }
  if (IsUnderbaseKey(key)) {
    UnderbaseSettings check;
    if (const Status set = SetUnderbaseValue(check, key, value); !set) return set.cause();
    options.presetSets.emplace_back(std::move(key), std::move(value));
    return std::nullopt;
  }
  const PresetKey* preset = FindPresetKey(key);
  if (!preset) return "unknown setting '" + key + "'";
  const bool flag = preset->kind == SettingKind::kFlag;
  if (flag && value != "0" && value != "1") return "the flag " + key + " takes only 0 or 1";
  if (preset->onlyEntries && std::find(preset->entries.begin(), preset->entries.end(), value) == preset->entries.end()) {
    return key + " takes only " + Alternatives(preset->entries);
  }
  options.presetSets.emplace_back(std::move(key), std::move(value));
  return std::nullopt;
}

bool WantsHelp(const std::vector<std::string>& args) {
  return std::find_if(args.begin(), args.end(), [](const std::string& a) { return a == "--help" || a == "-h"; }) !=
         args.end();
}
}  // namespace

void RegisterCommand(const Command& command) { Registry()[command.name] = command; }

std::optional<std::chrono::milliseconds> ParseSeconds(const std::string& text) {
  const std::size_t dot = text.find('.');
  const std::string whole = text.substr(0, dot), fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
  auto digits = [](const std::string& s) { return s.find_first_not_of("0123456789") == std::string::npos; };
  if (whole.empty() || whole.size() > 9 || !digits(whole) || !digits(fraction)) return std::nullopt;
  if (dot != std::string::npos && fraction.empty()) return std::nullopt;
  long long ms = std::stoll(whole) * 1000;
  const std::string thousandths = (fraction + "000").substr(0, 3);
  ms += std::stoll(thousandths);
  return std::chrono::milliseconds(ms);
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "quillmark-cli: %s\n", message.c_str());
  std::fprintf(stderr, "Try 'quillmark-cli --help'.\n");
  return kExitUsage;
}

int Failure(const std::string& error) {
  std::fprintf(stderr, "quillmark-cli: %s\n", error.c_str());
  return kExitFailure;
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
  // The stage follows the status line that took a file.
  if (text != kNone) {
    stage_ = line == StatusLine::Separation ? "separate" : options_.command == "compose" ? "compose" : "print";
  }
}

void CliHost::SetProgress(ProgressBar bar, int position) {
  const int index = bar == ProgressBar::Separation ? 0 : 1;
  if (options_.progress == ProgressMode::Json) {
    JsonWriter json;
    json.BeginObject()
        .Key("progress").Int(position)
        .Key("bar").Int(bar == ProgressBar::Separation ? kSeparationBarNumber : kPrnBarNumber)
        .Key("stage").String(stage_)
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
    } else if (arg == "--version") {
      std::printf("quillmark-cli %s\n", QM_VERSION);
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
      if (auto bad = AddSetting(options, v->substr(0, eq), v->substr(eq + 1))) return UsageError(*bad);
    } else if (arg == "--progress") {
      auto v = value("--progress");
      if (v == "auto") options.progress = ProgressMode::Auto;
      else if (v == "none") options.progress = ProgressMode::None;
      else if (v == "json") options.progress = ProgressMode::Json;
      else return UsageError("--progress takes auto, none or json");
    } else if (arg == "--wait") {
      auto v = value("--wait");
      const auto seconds = v ? ParseSeconds(*v) : std::nullopt;
      if (!seconds) return UsageError("--wait takes a number of seconds (30, 0.5), got '" + v.value_or("") + "'");
      options.wait = *seconds;
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
  if (rest[0] == "help") {
    if (rest.size() == 1) {
      PrintHelp(stdout);
      return kExitOk;
    }
    const auto named = Registry().find(rest[1]);
    if (rest.size() > 2 || named == Registry().end()) return UsageError("help takes one COMMAND");
    PrintCommandHelp(named->second);
    return kExitOk;
  }
  const auto found = Registry().find(rest[0]);
  if (found == Registry().end()) return UsageError("unknown command '" + rest[0] + "'");
  const Command& command = found->second;
  if (WantsHelp(rest)) {
    PrintCommandHelp(command);
    return kExitOk;
  }
  // A mistyped AppDir is never created: every command would fill it.
  if (const std::string problem = AppDirProblem(); !problem.empty()) return UsageError(problem);
  options.command = command.name;

  CliHost host(options);
  Session session;
  if (command.needsStartup) {
    RunHeadlessStartup(AppDir(), session, options.sets, options.preset, host, options.presetSets);
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
