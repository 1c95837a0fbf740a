// Running quillmark-cli as a child process the way an operator's script or a
// print shop's supervisor does: separate standard output and error, a time
// limit, and a way to kill it mid-job. Shared by the bad-input and
// reliability tests.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace qm::test {

struct CliResult {
  int exitStatus = -1;  // when it exited
  int signal = 0;       // when a signal ended it
  bool timedOut = false;
  std::string out, err;
  std::chrono::duration<double> elapsed{};
};

// quillmark-cli of the build under test.
fs::path CliPath();

// A started child with its output files.
class CliChild {
 public:
  // Starts quillmark-cli --app-dir APP --progress none ARGS... with standard
  // input /dev/null. `limitFileSize` > 0 sets RLIMIT_FSIZE in the child with
  // SIGXFSZ ignored, so an oversized write fails with EFBIG (a full disk).
  CliChild(const fs::path& appDir, const std::vector<std::string>& args, long limitFileSize = 0);
  ~CliChild();
  CliChild(const CliChild&) = delete;
  CliChild& operator=(const CliChild&) = delete;

  pid_t pid() const { return pid_; }
  // Waits up to `limit`; a child still running then is killed and the
  // result says timedOut.
  CliResult Wait(std::chrono::seconds limit = std::chrono::seconds(120));
  // Polls every few milliseconds until `ready` holds or the child ends or
  // `limit` passes; true when ready held while the child still ran.
  bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds limit);
  void Kill(int signal);

 private:
  TempDir io_;
  pid_t pid_ = -1;
  bool reaped_ = false;
  int finalStatus_ = 0;
  std::chrono::steady_clock::time_point start_;
};

// Starts and waits.
CliResult RunCli(const fs::path& appDir, const std::vector<std::string>& args,
                 std::chrono::seconds limit = std::chrono::seconds(120), long limitFileSize = 0);

// A scratch AppDir set up for fast jobs: the default preset at 72 dpi, both
// Print raster-mode checks off, "Preserved" (dfPreserveCF) on.
void UseFastPreset(const ScratchAppDir& app);

// Sets KEY=VALUE lines of a text file of the Configuration (CR LF kept).
void SetConfigValue(const fs::path& file, const std::string& key, const std::string& value);

// Imports `file` into the AppDir through the CLI; the item name it got.
std::string ImportOne(const fs::path& appDir, const fs::path& file);

// Every file below `folder` (relative paths), sorted.
std::vector<std::string> FilesBelow(const fs::path& folder);

// Files below the AppDir's RipIn whose names match "*.pr?" (relative paths).
std::vector<std::string> PrnFilesBelow(const fs::path& appDir);

}  // namespace qm::test
