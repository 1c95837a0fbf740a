#include "jobs/hot_folder.h"

#include <algorithm>
#include <system_error>

#include "platform/platform.h"

namespace qm {

namespace fs = std::filesystem;

bool IsHotFolderName(std::string_view name) {
  return ToLower(name).find("hotfolder") != std::string::npos;
}

std::vector<std::string> HotFolderWatch::Settled(const fs::path& folder) {
  if (folder != folder_ || !writers_) {
    folder_ = folder;
    seen_.clear();
    writers_ = std::make_unique<FolderWriters>(folder);
  }
  const std::set<std::string> writing = writers_->Writing();
  std::map<std::string, Seen> now;
  std::vector<std::string> settled;
  for (const std::string& name : ListFolder(folder, "*.*", EntryKind::Files)) {
    std::error_code e1, e2;
    const fs::path p = folder / name;
    if (fs::is_symlink(fs::symlink_status(p, e1))) continue;  // set aside, never followed
    const Stamp stamp{fs::file_size(p, e1), fs::last_write_time(p, e2)};
    if (e1 || e2) continue;  // gone or unreadable: look again next time
    Seen seen{stamp};
    const auto it = seen_.find(name);
    if (writing.count(name)) {
      seen.looks = 0;  // a writer has it: its stillness counts from the next look
    } else if (it != seen_.end() && it->second.stamp == stamp) {
      seen.looks = it->second.looks + 1;
    }
    if (seen.looks >= kSettledLooks) settled.push_back(name);
    now.emplace(name, seen);
  }
  seen_ = std::move(now);
  return settled;
}

void HotFolderWatch::Reset() {
  folder_.clear();
  seen_.clear();
  writers_.reset();
}

bool MoveFiles(const fs::path& from, const fs::path& to, const std::vector<std::string>& names) {
  CreateFolder(to);
  bool ok = true;
  for (const std::string& name : names) ok = MoveFile(from / name, to / name) && ok;
  return ok;
}

fs::path FailedFolder(const std::string& item) { return AppDir() / "RipIn" / "Failed" / item; }

fs::path SetAsideFailed(const fs::path& from, const std::string& file, const std::string& item) {
  const fs::path folder = FailedFolder(item);
  if (!CreateFolder(folder)) return {};
  const fs::path target = FreeName(folder, file);
  return MoveFile(from / file, target) ? target : fs::path();
}

std::vector<std::string> SymbolicLinks(const fs::path& folder) {
  std::vector<std::string> links;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code lec;
    if (it->is_symlink(lec)) links.push_back(it->path().filename().string());
  }
  std::sort(links.begin(), links.end());
  return links;
}

fs::path SetAsideLink(const fs::path& from, const std::string& link, const std::string& item) {
  const fs::path folder = FailedFolder(item);
  if (!CreateFolder(folder)) return {};
  const fs::path target = FreeName(folder, link);
  // rename moves the link itself; its target is never opened.
  std::error_code ec;
  fs::rename(from / link, target, ec);
  return ec ? fs::path() : target;
}

}  // namespace qm
