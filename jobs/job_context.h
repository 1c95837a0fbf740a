// What every job reads and drives: the applied settings, the live start-up
// defaults (read at the moment of use) and the window.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

#include "platform/job_host.h"
#include "platform/job_lock.h"
#include "platform/status.h"
#include "jobs/messages.h"
#include "settings/active_setting.h"
#include "settings/initiation.h"
#include "settings/limits.h"

namespace qm {

struct JobContext {
  const ActiveSetting& setting;
  InitiationSettings& init;
  JobHost& host;
  // How long a command waits for the AppDir's job lock (quillmark-cli
  // --wait); none by default.
  std::chrono::milliseconds lockWait{0};
  // The caller already holds the job lock for this command (a hot-folder
  // tick takes it before it touches the folder).
  bool lockHeld = false;
  // The longest one run of an external tool may take (limits.txt,
  // --set ToolTimeLimit); 0: no limit.
  int toolTimeLimit = kDefaultToolTimeLimit;
  // Set from outside (a network job canceled) to end the job's tools at
  // once; the job then fails with that cause. None by default.
  const std::atomic<bool>* stop = nullptr;
  // Judges a PDF page's size in device pixels once Ghostscript's probe has
  // measured it, before any raster work: a failure ends the job with its
  // cause (a disk too small for what the page would write).
  std::function<Status(uint32_t width, uint32_t height)> admitPage = nullptr;
};

// The job lock of a command: taken into `lock` (waiting up to ctx.lockWait),
// or nothing to take when the caller holds it. Refused: shows "Another job is
// using the working folder!" with who holds it, and returns false. Taken: logs
// the files of killed ticks it returned to their hot folders and warns of
// those that came back under another name.
inline bool TakeJobLock(JobContext& ctx, std::optional<JobLock>& lock) {
  if (ctx.lockHeld) return true;
  lock.emplace(ctx.lockWait);
  if (!lock->Held()) {
    ctx.host.ShowMessage(kAnotherJobMessage, lock->Refusal());
    return false;
  }
  for (const std::string& file : lock->Returned()) {
    ctx.host.Log("back in its hot folder from a tick that did not end: " + file);
  }
  for (const std::string& renamed : lock->Renamed()) {
    ctx.host.Warn("a newer file took the name in the hot folder: " + renamed);
  }
  return true;
}

}  // namespace qm
