// Starting external programs. A program is started directly with an argument
// vector (no shell), so no value can inject a command; its standard input is
// /dev/null and its output goes to the log only.
//
// Every program runs contained: in a process group of its own (whatever it
// starts is ended with it), with a parent-death signal set before exec (it
// dies with this process, even one killed by SIGKILL, which no handler
// sees), optionally with a time limit after which the whole group is killed,
// and optionally with a private temporary folder (TMPDIR, TEMP, TMP and
// MAGICK_TEMPORARY_PATH name it). While it runs its group is registered, so
// the SIGINT and SIGTERM handler (platform/temporaries.h) kills it too.
#pragma once

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace qm {

struct ProcessResult {
  bool started = false;
  int exitStatus = -1;   // exit code, or 128 + signal number
  bool timedOut = false;  // killed for running past ProcessLimits::timeLimitSeconds
  bool stopped = false;   // killed because ProcessLimits::stop was set
  std::string output;    // standard output and error, for the log

  // The first non-blank line of the output (a tool's error), trimmed; empty
  // when it printed nothing.
  std::string FirstLine() const;
};

struct ProcessLimits {
  int timeLimitSeconds = 0;               // 0: none
  std::filesystem::path temporaryFolder;  // empty: the inherited environment's
  // Set by another thread to end the program with its group at once (a job
  // canceled from outside); looked at five times a second.
  const std::atomic<bool>* stop = nullptr;
};

// Lets another thread end a process that RunProcess runs: Kill sends its
// group SIGKILL (its exit status is then 128 + 9), or keeps it from starting
// when it has not started yet. Only the group RunProcess started is ever
// signalled, never one after its leader has been reaped.
class ProcessControl {
 public:
  void Kill();
  bool Killed() const;

 private:
  friend ProcessResult RunProcess(const std::vector<std::string>&, ProcessControl*, const ProcessLimits&);
  mutable std::mutex mutex_;
  int pid_ = -1;
  bool killed_ = false;
};

// Runs argv[0] with the arguments argv[1..] and waits for it, at most
// `limits.timeLimitSeconds`. A program that cannot be started ends with exit
// status 127 and the cause in its output. Never throws.
ProcessResult RunProcess(const std::vector<std::string>& argv, ProcessControl* control = nullptr,
                         const ProcessLimits& limits = {});

// Kills every process group RunProcess has running. Async-signal-safe.
void KillRunningProcessGroups() noexcept;

}  // namespace qm
