#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>

#include "platform/platform.h"

#include "platform/atomic_file.h"

namespace qm {

bool CopyFileOver(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  if (!fs::is_regular_file(from, ec)) return false;
  return fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec) && !ec;
}

bool MoveFile(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  if (!fs::exists(from, ec)) return false;
  fs::rename(from, to, ec);
  if (!ec) return true;
  // Across file systems: copy, then remove the source.
  if (!CopyFileOver(from, to)) return false;
  fs::remove(from, ec);
  return true;
}

bool DeleteFile(const fs::path& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return false;
  return fs::remove(path, ec) && !ec;
}

bool CreateFolder(const fs::path& path) {
  std::error_code ec;
  fs::create_directories(path, ec);
  return fs::is_directory(path, ec);
}

bool CopyFolder(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  if (!fs::is_directory(from, ec)) return false;
  fs::create_directories(to, ec);
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
  return !ec;
}

namespace {
bool WriteAll(int fd, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}
}  // namespace

bool WriteFileAtomically(const fs::path& path, std::string_view bytes) {
  const auto file = AtomicFile::Create(path);
  return file && WriteAll(file.value()->fd(), bytes) && file.value()->Commit().ok();
}

fs::path FreeName(const fs::path& folder, const std::string& name) {
  auto taken = [&](const std::string& n) {
    std::error_code ec;
    return fs::exists(ResolveCaseInsensitive(folder, n), ec);
  };
  if (!taken(name)) return folder / name;
  const std::size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  for (int n = 2;; ++n) {
    const std::string candidate = stem + " (" + std::to_string(n) + ")" + ext;
    if (!taken(candidate)) return folder / candidate;
  }
}

fs::path ResolveCaseInsensitive(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  fs::path exact = folder / name;
  if (fs::exists(exact, ec)) return exact;
  for (const std::string& entry : ListFolder(folder, "*", EntryKind::Any)) {
    if (EqualsNoCase(entry, name)) return folder / entry;
  }
  return exact;
}

}  // namespace qm
