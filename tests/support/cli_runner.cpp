#include "tests/support/cli_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace qm::test {

CliChild::CliChild(const fs::path& appDir, const std::vector<std::string>& args, long limitFileSize) {
  std::vector<std::string> argv = {(BuiltAppDir() / "quillmark-cli").string(), "--app-dir", appDir.string(),
                                   "--progress", "none"};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string outPath = (io_ / "out").string(), errPath = (io_ / "err").string();
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) ::_exit(120);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (limitFileSize > 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit rl{static_cast<rlim_t>(limitFileSize), static_cast<rlim_t>(limitFileSize)};
      ::setrlimit(RLIMIT_FSIZE, &rl);
    }
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    ::execv(raw[0], raw.data());
    ::_exit(121);
  }
}

CliChild::~CliChild() {
  if (pid_ > 0 && !reaped_) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
}

void CliChild::Kill(int signal) {
  if (pid_ > 0 && !reaped_) ::kill(pid_, signal);
}

bool CliChild::WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!reaped_ && std::chrono::steady_clock::now() < end) {
    if (ready()) return true;
    if (::waitpid(pid_, &finalStatus_, WNOHANG) == pid_) reaped_ = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

CliResult CliChild::Wait(std::chrono::seconds limit) {
  CliResult r;
  int status = finalStatus_;
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!reaped_ && ::waitpid(pid_, &status, WNOHANG) != pid_) {
    if (std::chrono::steady_clock::now() > end) {
      r.timedOut = true;
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  reaped_ = true;
  if (WIFEXITED(status)) r.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
  r.out = ReadFileBytes(io_ / "out");
  r.err = ReadFileBytes(io_ / "err");
  return r;
}

CliResult RunCli(const fs::path& appDir, const std::vector<std::string>& args, long limitFileSize) {
  return CliChild(appDir, args, limitFileSize).Wait();
}

void SetConfigValue(const fs::path& file, const std::string& key, const std::string& value) {
  std::string text = ReadFileBytes(file);
  const std::string start = key + "=";
  std::size_t at = text.rfind("\n" + start);
  at = at == std::string::npos ? (text.rfind(start, 0) == 0 ? 0 : std::string::npos) : at + 1;
  if (at == std::string::npos) {
    text += "\r\n" + start + value + "\r\n";
  } else {
    const std::size_t end = text.find_first_of("\r\n", at);
    text.replace(at, (end == std::string::npos ? text.size() : end) - at, start + value);
  }
  WriteFileBytes(file, text);
}

void UseFastPreset(const ScratchAppDir& app) {
  for (const char* key : {"xResolution", "yResolution"}) SetConfigValue(app / "Configuration/Default.cfg", key, "72");
  const fs::path ini = app / "Configuration/initiation.ini";
  for (const char* key : {"dfVectorX", "dfVectorY"}) SetConfigValue(ini, key, "72");
  SetConfigValue(ini, "dfPreserveCF", "1");
  SetConfigValue(ini, "dfTurboMd", "0");
  SetConfigValue(ini, "dfLargeImageMd", "0");
}

std::vector<std::string> FilesBelow(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(folder, ec)) {
    if (e.is_regular_file()) names.push_back(fs::relative(e.path(), folder).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace qm::test
