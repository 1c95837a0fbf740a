#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace qm {

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
  if (pid_ > 0) ::kill(pid_, SIGKILL);
}

bool ProcessControl::Killed() const {
  std::lock_guard lock(mutex_);
  return killed_;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, ProcessControl* control) {
  ProcessResult result;
  if (argv.empty()) return result;
  if (control != nullptr && control->Killed()) {
    result.output = "not started: stopped before it began";
    return result;
  }
  int pipefd[2];
  if (::pipe2(pipefd, O_CLOEXEC) != 0) return result;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipefd[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipefd[1], 2);

  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  pid_t pid = -1;
  int rc = 0;
  if (control == nullptr) {
    rc = ::posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
  } else {
    // A process another thread may kill also dies with this one (a job killed
    // mid-way leaves no Ghostscript writing into the Working folder). Only
    // async-signal-safe calls between fork and exec.
    const pid_t parent = ::getpid();
    pid = ::fork();
    if (pid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(127);
      const int in = ::open("/dev/null", O_RDONLY);
      if (in > 0) {
        ::dup2(in, 0);
        ::close(in);
      }
      ::dup2(pipefd[1], 1);
      ::dup2(pipefd[1], 2);
      ::execve(argv[0].c_str(), args.data(), environ);
      ::_exit(127);
    }
    if (pid < 0) rc = errno;
  }
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipefd[1]);
  if (rc != 0) {
    ::close(pipefd[0]);
    result.output = std::string("cannot start: ") + std::strerror(rc);
    return result;
  }
  result.started = true;
  if (control != nullptr) {
    std::lock_guard lock(control->mutex_);
    control->pid_ = pid;
    if (control->killed_) ::kill(pid, SIGKILL);
  }
  // Keep the head of the output for the log; drain the rest so the child never blocks.
  char buf[4096];
  while (true) {
    ssize_t n = ::read(pipefd[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (result.output.size() < 16384) result.output.append(buf, static_cast<std::size_t>(n));
  }
  ::close(pipefd[0]);
  if (control != nullptr) {
    // Wait without reaping, then take the pid out of reach of Kill before
    // reaping it, so a kill never reaches a process that took its number.
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
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
