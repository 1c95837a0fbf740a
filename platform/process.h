// Starting external programs. A program is started directly with an argument
// vector (no shell), so no value can inject a command; its standard input is
// /dev/null and its output goes to the log only.
#pragma once

#include <filesystem>
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

// Runs argv[0] with the arguments argv[1..] and waits for it without a time
// limit. Never throws.
ProcessResult RunProcess(const std::vector<std::string>& argv);

// Opens a path with the desktop's default program (xdg-open), detached; an
// executable file is started directly. The result is not checked.
void OpenWithDefaultProgram(const std::filesystem::path& path);

}  // namespace qm
