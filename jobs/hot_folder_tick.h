// One tick of a hot folder, the same for every front end (the main window's
// timer, quillmark-cli watch):
//
//   look    the folder's files are looked at (HotFolderWatch), also when the
//           tick goes no further, so their stillness counts at every tick;
//   lock    the AppDir's job lock is taken; held by another job, the tick
//           passes without touching the folder and the next one tries again;
//           taken, the files a killed tick left in a batch folder go back;
//   links   symbolic links are set aside in RipIn/Failed/<item>/, never read;
//   batch   the settled files move to the batch folder and the Print command
//           runs there with "Preserved" off, so each file is printed once;
//   failed  the file whose job failed is set aside in RipIn/Failed/<item>/;
//   return  what Print did not reach goes back to the hot folder.
//
// An empty hot folder runs the Print command on the item itself, which finds
// nothing and refreshes the lists. The tick reports what it did through a
// TickReport; it shows nothing itself.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "jobs/hot_folder.h"
#include "platform/job_lock.h"
#include "platform/status.h"
#include "jobs/job_context.h"

namespace qm {

// A file the tick did not print, and where it went.
struct NotPrinted {
  std::string file;               // its name in the hot folder
  std::filesystem::path keptAs;   // in RipIn/Failed/<item>/; empty when the move failed
  std::string cause;
  std::filesystem::path folder;   // the hot folder

  // The warning of the window's notice line: "<file> was not printed
  // (<cause>) and was moved to <keptAs>" (or "stays in <folder>").
  std::string Text() const;
};

class TickReport {
 public:
  virtual ~TickReport() = default;
  // A file printed to `prn`; its job took `seconds`. Called on the thread
  // that runs the job (the window's worker thread), as soon as it is done.
  virtual void Printed(const std::string& file, const std::filesystem::path& prn, double seconds) = 0;
  virtual void Failed(const NotPrinted& failed) = 0;
  virtual void Warning(std::string_view text) = 0;
  virtual void Log(std::string_view line) = 0;
  // Files wait in the folder (not settled yet): the lists show them.
  virtual void Refresh() = 0;
};

// Runs one job as the front end runs its commands: it builds the job's
// context (settings, limits, its host) and returns what `job` returns.
using JobRun = std::function<bool(const std::function<bool(JobContext&)>& job)>;
// The Print command on an item folder (jobs/commands.h).
using PrintRun = std::function<bool(JobContext& ctx, const std::string& item, FileFailure* failure)>;

struct TickOutcome {
  bool skipped = false;  // another job held the lock
  int printed = 0;
  int failed = 0;        // files and links set aside
};

class HotFolderTick {
 public:
  HotFolderTick(TickReport& report, JobRun run, PrintRun print);

  // One tick on the hot folder RipIn/CustomFiles/<item> (the name rule is
  // the caller's).
  TickOutcome Tick(const std::string& item);
  // Forgets what the looks have seen.
  void Reset() { watch_.Reset(); }

 private:
  bool RunPrint(const std::string& printed, const std::filesystem::path& batch, FileFailure* failure,
                TickOutcome& outcome);

  TickReport& report_;
  JobRun run_;
  PrintRun print_;
  HotFolderWatch watch_;
};

// Logs the files of killed ticks that `lock` returned to their hot folders
// and warns of those that came back under another name.
void ReportReturned(const JobLock& lock, TickReport& report);

}  // namespace qm
