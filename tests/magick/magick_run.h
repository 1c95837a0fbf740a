// Runs the built `magick` with arguments (no shell quoting issues: every
// argument is single-quoted), returning its exit status.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace qm::magick {

inline int RunMagick(const std::vector<std::string>& args) {
  std::string command = "'" + (test::BuiltAppDir() / "magick").string() + "'";
  for (const auto& a : args) command += " '" + a + "'";
  command += " 2>/dev/null";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace qm::magick
