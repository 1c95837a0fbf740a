// quillmark-cli as a child process, the way an operator's script or a print
// shop's supervisor runs it: separate standard output and error, a time
// limit, a way to kill it mid-job, an optional file-size limit (a full disk);
// and the preset helper of the end-to-end tests.
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
};

// A started quillmark-cli --app-dir APP --progress none ARGS..., standard
// input /dev/null. `limitFileSize` > 0 sets RLIMIT_FSIZE in the child with
// SIGXFSZ ignored, so an oversized write fails with EFBIG.
class CliChild {
 public:
  CliChild(const fs::path& appDir, const std::vector<std::string>& args, long limitFileSize = 0);
  ~CliChild();
  CliChild(const CliChild&) = delete;
  CliChild& operator=(const CliChild&) = delete;

  // Waits up to `limit`; a child still running then is killed (timedOut).
  CliResult Wait(std::chrono::seconds limit = std::chrono::seconds(120));
  // Polls until `ready` holds while the child runs (true), or the child
  // ends or `limit` passes (false).
  bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds limit);
  void Kill(int signal);

 private:
  TempDir io_;
  pid_t pid_ = -1;
  bool reaped_ = false;
  int finalStatus_ = 0;
};

CliResult RunCli(const fs::path& appDir, const std::vector<std::string>& args, long limitFileSize = 0);

// Sets KEY=VALUE in a text file of the Configuration (CR LF kept), adding
// the line when the key is absent.
void SetConfigValue(const fs::path& file, const std::string& key, const std::string& value);

// The preset of fast jobs: the Default preset at 72 dpi, both Print raster
// mode checks off, "Preserved" (dfPreserveCF) on.
void UseFastPreset(const ScratchAppDir& app);

// Every file below `folder` (relative paths), sorted.
std::vector<std::string> FilesBelow(const fs::path& folder);

}  // namespace qm::test
