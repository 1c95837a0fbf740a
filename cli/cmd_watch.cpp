// watch: the hot folder of an Image List item without a window.
//
// SIGINT and SIGTERM outside a tick's job end the loop once the tick is done
// (a job the tick has not started yet does not start): the command returns 0.
// During the job, which runs with the AppDir's lock held, they end the
// process at once, leaving nothing half done: the running tools' groups are
// killed, the job's temporaries removed, the Working folder emptied and the
// batch put back into the hot folder, then the process exits 0. A file is
// thus either printed (its PRN file in place and the file gone from the
// batch) or back in its hot folder.
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <thread>

#include "cli/cli.h"
#include "jobs/hot_folder_tick.h"
#include "jobs/commands.h"
#include "output/job_support.h"
#include "platform/json.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "platform/temporaries.h"

namespace qm::cli {

namespace {

namespace fs = std::filesystem;

std::atomic<int> g_stop{0};
std::atomic<int> g_inJob{0};
constexpr std::size_t kPathBytes = 4096;
char g_folder[kPathBytes], g_batch[kPathBytes], g_working[kPathBytes];

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler uses g_stop and g_inJob");

bool CopyPath(char (&to)[kPathBytes], const fs::path& path) {
  if (path.native().size() >= kPathBytes) return false;
  std::memcpy(to, path.c_str(), path.native().size() + 1);
  return true;
}

// Calls `each(dir, name, type)` for the entries of the open folder `dir`,
// "." and ".." left out. Raw getdents64: async-signal-safe.
template <class Each>
void ForEachEntry(int dir, Each each) noexcept {
  alignas(8) char buf[4096];
  while (true) {
    const long n = ::syscall(SYS_getdents64, dir, buf, sizeof buf);
    if (n <= 0) return;
    for (long off = 0; off < n;) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(buf + off);
      off += entry->d_reclen;
      if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
      each(entry->d_name, entry->d_type);
    }
  }
}

// Moves the batch folder's files back into the hot folder under their own
// names, never over a newer file (RENAME_NOREPLACE); a file that cannot go
// back stays in the batch, which the next job to take the AppDir's lock
// returns under a free name. Then empties the Working folder of the job's
// files. Async-signal-safe.
void PutBackNow() noexcept {
  const int batch = ::open(g_batch, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int folder = ::open(g_folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (batch >= 0 && folder >= 0) {
    // Twice: a folder changed while it is read may hide an entry once.
    for (int pass = 0; pass < 2; ++pass) {
      ::lseek(batch, 0, SEEK_SET);
      ForEachEntry(batch, [&](const char* name, unsigned char) {
        ::syscall(SYS_renameat2, batch, name, folder, name, RENAME_NOREPLACE);
      });
    }
    ::rmdir(g_batch);  // only once empty
  }
  if (batch >= 0) ::close(batch);
  if (folder >= 0) ::close(folder);
  const int working = ::open(g_working, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (working < 0) return;
  ForEachEntry(working, [&](const char* name, unsigned char type) {
    if (type != DT_DIR) ::unlinkat(working, name, 0);
  });
  ::close(working);
}

extern "C" void OnStopSignal(int) {
  if (g_inJob.load() == 0) {
    g_stop.store(1);
    return;
  }
  AbandonRunningWork();
  PutBackNow();
  ::_exit(kExitOk);
}

void StopOnSignals() { HandleStopSignals(OnStopSignal); }

// Marks a tick's job, which holds the AppDir's lock, for the signal handler
// for as long as it runs.
struct InJob {
  InJob() { g_inJob.store(1); }
  ~InJob() { g_inJob.store(0); }
};

// Standard output: one JSON object per file handled; messages, warnings
// and (with --verbose) logs on standard error.
class WatchReport : public TickReport {
 public:
  explicit WatchReport(CliHost& host) : host_(host) {}
  void Printed(const std::string& file, const fs::path& prn, double seconds) override {
    JsonWriter json;
    json.BeginObject()
        .Key("event").String("printed")
        .Key("file").String(file)
        .Key("prn").String(prn.string())
        .Key("seconds").Float(std::round(seconds * 100.0) / 100.0)
        .EndObject();
    Emit(json);
  }
  void Failed(const NotPrinted& failed) override {
    ++failures;
    JsonWriter json;
    json.BeginObject()
        .Key("event").String("failed")
        .Key("file").String(failed.file)
        .Key("keptAs").String((failed.keptAs.empty() ? failed.folder / failed.file : failed.keptAs).string())
        .Key("cause").String(failed.cause)
        .EndObject();
    Emit(json);
    host_.Warn(failed.Text());
  }
  void Warning(std::string_view text) override { host_.Warn(text); }
  void Log(std::string_view line) override { host_.Log(line); }
  void Refresh() override {}
  int failures = 0;

 private:
  static void Emit(const JsonWriter& json) {
    // Flushed at once: a signal may end the process before the next line.
    std::printf("%s\n", json.str().c_str());
    std::fflush(stdout);
  }
  CliHost& host_;
};

// Empty when the hot folder can be read, else why not.
std::string FolderProblem(const fs::path& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return "cannot read the hot folder " + folder.string() + ": " + std::strerror(errno);
  ::closedir(dir);
  return {};
}

// Sleeps `period`, or less when a signal asks the loop to stop.
void Pause(std::chrono::milliseconds period) {
  const auto end = std::chrono::steady_clock::now() + period;
  while (!g_stop) {
    const auto left = end - std::chrono::steady_clock::now();
    if (left <= std::chrono::milliseconds(0)) return;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(50)));
  }
}

int RunWatch(Env& env, const std::vector<std::string>& args) {
  std::chrono::milliseconds interval(kHotFolderPeriodMs);
  bool once = false;
  std::vector<std::string> items;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--once") {
      once = true;
    } else if (args[i] == "--interval") {
      const auto seconds = i + 1 < args.size() ? ParseSeconds(args[++i]) : std::nullopt;
      if (!seconds || seconds->count() == 0) {
        return UsageError("--interval takes a number of seconds above 0 (3, 0.5)");
      }
      interval = *seconds;
    } else if (args[i].rfind("--", 0) == 0) {
      return UsageError("unknown watch option '" + args[i] + "'");
    } else {
      items.push_back(args[i]);
    }
  }
  if (items.size() != 1) return UsageError("watch takes ITEM");
  const std::string& item = items[0];
  CliHost& host = env.host;
  if (!IsHotFolderName(item)) {
    host.ShowMessage(kNameNeedsHotfolder);
    return kExitFailure;
  }
  if (!IsImageListItem(item)) {
    host.ShowMessage(kChooseImageItem);
    return kExitFailure;
  }
  // A preset that is not applied would refuse every file at every tick; the
  // start-up's message says why.
  if (!env.session.setting.Applied()) return Failure("no preset is applied: the hot folder cannot print");
  const fs::path folder = CustomFilesDir() / item;
  if (const std::string problem = FolderProblem(folder); !problem.empty()) return Failure(problem);
  if (!CopyPath(g_folder, folder) || !CopyPath(g_batch, CustomFilesDir() / BatchItemName(item)) ||
      !CopyPath(g_working, WorkingDir())) {
    return Failure("the AppDir's path is too long for the hot folder's signal handler");
  }
  StopOnSignals();

  WatchReport report(host);
  HotFolderTick tick(
      report,
      [&env](const std::function<bool(JobContext&)>& job) {
        JobContext ctx = env.Job();
        const InJob inJob;
        // A stop asked for before the job was marked: it does not start,
        // and the tick puts its batch back.
        if (g_stop.load()) return false;
        return job(ctx);
      },
      [](JobContext& ctx, const std::string& printed, FileFailure* failure) {
        return PrintCommand(ctx, printed, failure);
      });
  // --once: the looks a file needs to settle, then ticks while they still
  // print or set aside a file (a failure stops a tick's Print, the files
  // after it wait for the next tick).
  for (int ticks = 0; !g_stop; ++ticks) {
    if (const std::string problem = FolderProblem(folder); !problem.empty()) return Failure(problem);
    const TickOutcome outcome = tick.Tick(item);
    if (once && ticks + 1 >= kSettledLooks && !outcome.skipped && outcome.printed + outcome.failed == 0) break;
    if (!once || ticks + 1 < kSettledLooks) Pause(interval);
  }
  return once && report.failures > 0 ? kExitFailure : kExitOk;
}

}  // namespace

QM_CLI_COMMAND("watch", "ITEM [--interval SECONDS] [--once]", "print an item's hot folder as its files settle",
               "The hot folder of ITEM, an Image List item whose name contains \"hotfolder\", without a\n"
               "window: a tick every 3 seconds (--interval SECONDS), as the window's timer does. A file is\n"
               "printed once it has kept its size and time at three looks in a row and no process writes\n"
               "it, then leaves the folder (\"Preserved\" is off for the tick's jobs); a file that fails,\n"
               "and a symbolic link, is moved to RipIn/Failed/<ITEM>/. A tick that finds another job on\n"
               "the AppDir passes (logged with --verbose). --once: the three looks, the interval apart,\n"
               "then ticks until one prints nothing more, then exits.\n"
               "Prints: one JSON object per file on standard output, {\"event\": \"printed\", \"file\",\n"
               "\"prn\", \"seconds\"} or {\"event\": \"failed\", \"file\", \"keptAs\", \"cause\"}; messages and\n"
               "warnings on standard error. SIGTERM or SIGINT ends it: a job under way is stopped, its\n"
               "temporary files removed and its files put back into the hot folder; exit status 0.\n"
               "Exit status: 0 stopped by a signal (or --once without a failure), 1 a name without\n"
               "\"hotfolder\", an ITEM not in the Image List, an unreadable hot folder, no preset applied,\n"
               "or with --once a file that failed; 2 bad usage.",
               true, RunWatch);

}  // namespace qm::cli
