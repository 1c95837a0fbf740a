#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

extern char** environ;

namespace qm {

namespace {

// Process groups running now, for the signal handler: a fixed table of
// lock-free atomics (0 = free slot).
constexpr int kGroupSlots = 128;
std::atomic<int> g_groups[kGroupSlots];
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the group table");

int RegisterGroup(int pgid) {
  for (int i = 0; i < kGroupSlots; ++i) {
    int expected = 0;
    if (g_groups[i].compare_exchange_strong(expected, pgid)) return i;
  }
  return -1;
}

void UnregisterGroup(int slot) {
  if (slot >= 0) g_groups[slot].store(0);
}

// The environment of a child: ours, with the temporary folder variables
// pointing at `folder` when one is given.
std::vector<std::string> ChildEnvironment(const std::filesystem::path& folder) {
  static const char* const kNames[] = {"TMPDIR=", "TEMP=", "TMP=", "MAGICK_TEMPORARY_PATH="};
  std::vector<std::string> env;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    bool replaced = false;
    if (!folder.empty()) {
      for (const char* name : kNames) replaced = replaced || std::strncmp(*e, name, std::strlen(name)) == 0;
    }
    if (!replaced) env.emplace_back(*e);
  }
  if (!folder.empty()) {
    for (const char* name : kNames) env.push_back(name + folder.string());
  }
  return env;
}

void AppendOutput(std::string& output, const char* data, std::size_t n) {
  // Keep the head of the output for the log; the rest is drained only.
  if (output.size() < 16384) output.append(data, n);
}

}  // namespace

std::string ProcessResult::FirstLine() const {
  std::size_t start = 0;
  while (start < output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(start, end - start);
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first != std::string::npos) {
      const std::size_t last = line.find_last_not_of(" \t\r");
      return line.substr(first, last - first + 1);
    }
    start = end + 1;
  }
  return {};
}

void ProcessControl::Kill() {
  std::lock_guard lock(mutex_);
  killed_ = true;
  if (pid_ > 0) ::kill(-pid_, SIGKILL);
}

bool ProcessControl::Killed() const {
  std::lock_guard lock(mutex_);
  return killed_;
}

void KillRunningProcessGroups() noexcept {
  for (std::atomic<int>& group : g_groups) {
    const int pgid = group.load();
    if (pgid > 0) ::kill(-pgid, SIGKILL);
  }
}

ProcessResult RunProcess(const std::vector<std::string>& argv, ProcessControl* control, const ProcessLimits& limits) {
  ProcessResult result;
  if (argv.empty()) return result;
  if (control != nullptr && control->Killed()) {
    result.output = "not started: stopped before it began";
    return result;
  }
  // Everything the child needs is made before fork: only async-signal-safe
  // calls run between fork and exec.
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> envText = ChildEnvironment(limits.temporaryFolder);
  std::vector<char*> env;
  env.reserve(envText.size() + 1);
  for (std::string& e : envText) env.push_back(e.data());
  env.push_back(nullptr);

  int out[2], failed[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    result.output = std::string("cannot start: ") + std::strerror(errno);
    return result;
  }
  if (::pipe2(failed, O_CLOEXEC) != 0) {
    result.output = std::string("cannot start: ") + std::strerror(errno);
    ::close(out[0]);
    ::close(out[1]);
    return result;
  }

  // The parent-death signal goes to the child when the forking thread ends;
  // every caller waits for its child on the thread that started it.
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    const int in = ::open("/dev/null", O_RDONLY);
    if (in > 0) {
      ::dup2(in, 0);
      ::close(in);
    }
    ::dup2(out[1], 1);
    ::dup2(out[1], 2);
    ::execve(argv[0].c_str(), args.data(), env.data());
    const int error = errno;
    [[maybe_unused]] const ssize_t n = ::write(failed[1], &error, sizeof error);
    ::_exit(127);
  }
  const int forkError = errno;
  ::close(out[1]);
  ::close(failed[1]);
  if (pid < 0) {
    ::close(out[0]);
    ::close(failed[0]);
    result.output = std::string("cannot start: ") + std::strerror(forkError);
    return result;
  }
  // Both sides set the group, so it exists before anyone signals it.
  ::setpgid(pid, pid);
  const int slot = RegisterGroup(pid);
  int execError = 0;
  ssize_t got = 0;
  while ((got = ::read(failed[0], &execError, sizeof execError)) < 0 && errno == EINTR) {
  }
  ::close(failed[0]);
  result.started = got != static_cast<ssize_t>(sizeof execError);
  if (!result.started) result.output = std::string("cannot start: ") + std::strerror(execError);
  if (control != nullptr) {
    std::lock_guard lock(control->mutex_);
    control->pid_ = pid;
    if (control->killed_) ::kill(-pid, SIGKILL);
  }

  using Clock = std::chrono::steady_clock;
  const bool limited = limits.timeLimitSeconds > 0 && result.started;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(limits.timeLimitSeconds);
  char buf[4096];
  int stoppedPolls = 0;
  while (true) {
    // After the kill, a few seconds more for the pipe to close: a process
    // that left the group may still hold it.
    int timeout = -1;
    if (limited) {
      const Clock::time_point until = result.timedOut ? deadline + std::chrono::seconds(5) : deadline;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
      timeout = static_cast<int>(std::max<long long>(0, std::min<long long>(left, 60000)));
    }
    if (limits.stop != nullptr) {
      if (!result.stopped && limits.stop->load()) {
        result.stopped = true;
        ::kill(-pid, SIGKILL);
      }
      timeout = timeout < 0 ? 200 : std::min(timeout, 200);
    }
    pollfd p{out[0], POLLIN, 0};
    const int ready = ::poll(&p, 1, timeout);
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      if (result.stopped && ++stoppedPolls > 25) break;  // 5 s for a process that left the group
      if (!limited) continue;
      if (result.timedOut && Clock::now() >= deadline + std::chrono::seconds(5)) break;
      if (!result.timedOut && Clock::now() >= deadline) {
        result.timedOut = true;
        ::kill(-pid, SIGKILL);
      }
      continue;
    }
    const ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (!result.timedOut) AppendOutput(result.output, buf, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  // Wait without reaping; end what the program left running in its group
  // while its number still holds the group; take the pid out of reach of
  // Kill; then reap it, so no signal ever reaches a process that took the
  // number.
  siginfo_t info{};
  while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  ::kill(-pid, SIGKILL);  // what is left of its group
  UnregisterGroup(slot);
  if (control != nullptr) {
    std::lock_guard lock(control->mutex_);
    control->pid_ = -1;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return result;
  }
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  else if (WIFSIGNALED(status)) result.exitStatus = 128 + WTERMSIG(status);
  return result;
}

}  // namespace qm
