#include "jobs/hot_folder_tick.h"

#include <chrono>
#include <utility>

#include "platform/platform.h"
#include "jobs/commands.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

// The job's host as the Print command sees it: every call goes on to the
// front end's host; a file of the batch folder taken (its status line) and
// printed (its "printed <file> to <prn>" log line) is reported.
class TickHost : public JobHost {
 public:
  TickHost(JobHost& inner, fs::path batch, TickReport& report, TickOutcome& outcome)
      : inner_(inner), batch_(std::move(batch)), report_(report), outcome_(outcome) {}

  void ShowMessage(std::string_view text, std::string_view cause) override { inner_.ShowMessage(text, cause); }
  void Warn(std::string_view text) override { inner_.Warn(text); }
  void SetStatus(StatusLine line, std::string_view text) override {
    const fs::path path(text);
    if (line == StatusLine::Separation && path.parent_path() == batch_) {
      file_ = path.filename().string();
      start_ = std::chrono::steady_clock::now();
    }
    inner_.SetStatus(line, text);
  }
  void SetProgress(ProgressBar bar, int position) override { inner_.SetProgress(bar, position); }
  void RefreshLists() override { inner_.RefreshLists(); }
  void Log(std::string_view line) override {
    inner_.Log(line);
    if (file_.empty()) return;
    const std::string head = "printed " + (batch_ / file_).string() + " to ";
    if (line.substr(0, head.size()) != head) return;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start_;
    ++outcome_.printed;
    report_.Printed(file_, fs::path(line.substr(head.size())), took.count());
    file_.clear();
  }

 private:
  JobHost& inner_;
  fs::path batch_;
  TickReport& report_;
  TickOutcome& outcome_;
  std::string file_;  // the file being printed
  std::chrono::steady_clock::time_point start_;
};

}  // namespace

std::string NotPrinted::Text() const {
  return file + " was not printed (" + cause + ") and " +
         (keptAs.empty() ? "stays in " + folder.string() : "was moved to " + keptAs.string());
}

void ReportReturned(const JobLock& lock, TickReport& report) {
  for (const std::string& file : lock.Returned()) report.Log("back in its hot folder from a tick that did not end: " + file);
  for (const std::string& renamed : lock.Renamed()) report.Warning("a newer file took the name in the hot folder: " + renamed);
}

HotFolderTick::HotFolderTick(TickReport& report, JobRun run, PrintRun print)
    : report_(report), run_(std::move(run)), print_(std::move(print)) {}

bool HotFolderTick::RunPrint(const std::string& printed, const fs::path& batch, FileFailure* failure,
                             TickOutcome& outcome) {
  // Nobody may be there to answer a box, and the tick holds the job lock for
  // its command. The files are moved out of the hot folder, never copied,
  // whatever "Preserved" says, so each is printed once.
  return run_([&](JobContext& ctx) {
    InitiationSettings moveFiles = ctx.init;
    moveFiles.dfPreserveCF = false;
    TickHost host(ctx.host, batch, report_, outcome);
    JobContext job{ctx.setting, moveFiles, host};
    job.lockWait = ctx.lockWait;
    job.lockHeld = true;
    job.toolTimeLimit = ctx.toolTimeLimit;
    job.admitPage = ctx.admitPage;
    return print_(job, printed, failure);
  });
}

TickOutcome HotFolderTick::Tick(const std::string& item) {
  TickOutcome outcome;
  const fs::path folder = CustomFilesDir() / item;
  const std::string batchItem = BatchItemName(item);
  const fs::path batch = CustomFilesDir() / batchItem;
  // Looked at also when the tick goes no further, so the files' stillness
  // is counted at every tick.
  const std::vector<std::string> settled = watch_.Settled(folder);
  // The tick touches the folder only while it holds the job lock. Another
  // job holding it (quillmark-cli on the same AppDir) is no failure: the
  // tick is skipped and the next one tries again.
  JobLock lock;
  if (!lock.Held()) {
    report_.Log("hot folder " + item + ": tick skipped, " + lock.Refusal());
    outcome.skipped = true;
    return outcome;
  }
  ReportReturned(lock, report_);  // files a killed tick left in a batch folder
  for (const std::string& link : SymbolicLinks(folder)) {
    ++outcome.failed;
    report_.Failed(NotPrinted{link, SetAsideLink(folder, link, item), "a symbolic link", folder});
  }
  if (settled.empty()) {
    // An empty hot folder runs the Print command, which finds nothing and
    // refreshes the lists; files that have not settled wait.
    if (ListFolder(folder, "*.*", EntryKind::Files).empty()) {
      RunPrint(item, folder, nullptr, outcome);
    } else {
      report_.Refresh();
    }
    return outcome;
  }
  // The settled files are printed from the batch folder; a file dropped
  // meanwhile under one of their names is a new file in the hot folder.
  MoveFiles(folder, batch, settled);
  FileFailure failure;
  const bool ok = RunPrint(batchItem, batch, &failure, outcome);
  // A file that failed is set aside where the operator finds it, so that it
  // is neither lost nor printed again at every tick.
  if (!ok && !failure.file.empty()) {
    ++outcome.failed;
    report_.Failed(NotPrinted{failure.file, SetAsideFailed(batch, failure.file, item), failure.cause, folder});
  }
  // What the Print command did not reach.
  for (const std::string& renamed : ReturnBatch(batch, folder).renamed) {
    report_.Warning("a newer file took the name in the hot folder " + item + ": " + renamed);
  }
  return outcome;
}

}  // namespace qm
