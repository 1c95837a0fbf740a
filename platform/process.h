// Starting external programs. A program is started directly with an argument
// vector (no shell), so no value can inject a command; its standard input is
// /dev/null and its output goes to the log only.
#pragma once

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace qm {

struct ProcessResult {
  bool started = false;
  int exitStatus = -1;  // exit code, or 128 + signal number
  std::string output;   // standard output and error, for the log

  // The first non-blank line of the output (a tool's error), trimmed; empty
  // when it printed nothing.
  std::string FirstLine() const;
};

// Lets another thread end a process that RunProcess runs: Kill sends it
// SIGKILL (its exit status is then 128 + 9), or keeps it from starting when
// it has not started yet. Only the process RunProcess started is ever
// signalled, never one after it has been reaped.
class ProcessControl {
 public:
  void Kill();
  bool Killed() const;

 private:
  friend ProcessResult RunProcess(const std::vector<std::string>&, ProcessControl*);
  mutable std::mutex mutex_;
  int pid_ = -1;
  bool killed_ = false;
};

// Runs argv[0] with the arguments argv[1..] and waits for it without a time
// limit. With a control, the process is also killed when this process dies
// (a program that cannot be started then ends with exit status 127). Never
// throws.
ProcessResult RunProcess(const std::vector<std::string>& argv, ProcessControl* control = nullptr);

}  // namespace qm
