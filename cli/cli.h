// quillmark-cli: the headless front end of the engine.
//
// Standard output carries only a command's result (JSON); standard error
// carries each message text on a line of its own, the progress display and,
// with --verbose, "log: " lines. Exit status: 0 when the command completed
// without a failure message, 1 when it showed one, 2 for bad usage.
//
// Commands live in cmd_*.cpp files and register themselves with
// QM_CLI_COMMAND, so each layer adds its commands without touching main.
#pragma once

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/job_host.h"
#include "jobs/job_context.h"
#include "settings/limits.h"
#include "settings/startup.h"

namespace qm::cli {

enum class ProgressMode { Auto, None, Json };

struct Options {
  std::optional<std::string> preset;
  std::vector<std::pair<std::string, std::string>> sets;        // InitiationSettings keys
  std::vector<std::pair<std::string, std::string>> presetSets;  // preset keys, this run only
  std::optional<int> toolTimeLimit;                             // --set ToolTimeLimit=N
  ProgressMode progress = ProgressMode::Auto;
  bool verbose = false;
  // --wait: how long a job command waits for another job on the AppDir.
  std::chrono::milliseconds wait{0};
  std::string command;  // the command being run
};

// The window of the command line: messages and logs on standard error.
class CliHost : public JobHost {
 public:
  explicit CliHost(const Options& options);
  void ShowMessage(std::string_view text, std::string_view cause = {}) override;
  void Warn(std::string_view text) override;
  void SetStatus(StatusLine line, std::string_view text) override;
  void SetProgress(ProgressBar bar, int position) override;
  void RefreshLists() override {}
  void Log(std::string_view line) override;
  int messageCount() const { return messages_; }

 private:
  const Options& options_;
  bool terminal_;
  int messages_ = 0;
  std::string status_[2];
  std::string stage_ = "separate";  // of the progress JSON: separate, print or compose
};

// The "bar" of the progress JSON: the numbers of the main window's progress
// bars, which callers of the JSON rely on.
inline constexpr int kSeparationBarNumber = 1041;
inline constexpr int kPrnBarNumber = 1043;

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct Env {
  const Options& options;
  CliHost& host;
  Session& session;  // filled by the start-up when the command needs it

  JobContext Job() {
    JobContext ctx{session.setting, session.init, host};
    ctx.lockWait = options.wait;
    std::string problem;
    ctx.toolTimeLimit = ReadAppDirLimits(options.toolTimeLimit ? nullptr : &problem).toolTimeLimit;
    if (options.toolTimeLimit) ctx.toolTimeLimit = *options.toolTimeLimit;
    if (!problem.empty()) host.Warn(problem);
    return ctx;
  }
  // A job's exit status: 1 as soon as any message was shown.
  int JobExit(bool ok = true) const { return ok && host.messageCount() == 0 ? kExitOk : kExitFailure; }
};

struct Command {
  const char* name;
  const char* arguments;  // "ITEM ENTRY", for the help texts
  const char* summary;    // one line, for --help
  const char* details;    // for `help COMMAND`: what it does, prints and its exit statuses
  bool needsStartup;      // read the initiation file, select and apply the preset
  int (*run)(Env& env, const std::vector<std::string>& args);
};

void RegisterCommand(const Command& command);

struct Registrar {
  explicit Registrar(const Command& command) { RegisterCommand(command); }
};

#define QM_CLI_CONCAT2(a, b) a##b
#define QM_CLI_CONCAT(a, b) QM_CLI_CONCAT2(a, b)
#define QM_CLI_COMMAND(...) \
  static const ::qm::cli::Registrar QM_CLI_CONCAT(qm_cli_registrar_, __LINE__)(::qm::cli::Command{__VA_ARGS__})

// SECONDS as digits with an optional fraction ("30", "0.5"), at most
// 999999999; nullopt for anything else.
std::optional<std::chrono::milliseconds> ParseSeconds(const std::string& text);

// Prints a usage error and returns kExitUsage.
int UsageError(const std::string& message);

// Prints "quillmark-cli: <error>" and returns kExitFailure: a command that
// could not do its work and shows no message of the system's own.
int Failure(const std::string& error);

}  // namespace qm::cli
