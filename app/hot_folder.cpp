#include "app/hot_folder.h"

#include <system_error>

#include "platform/platform.h"

namespace qm::gui {

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

// The same name as the engine's BatchItemName, which the Image List leaves out.
std::string BatchItemName(const std::string& item) { return "." + item + ".batch"; }

bool MoveFiles(const fs::path& from, const fs::path& to, const std::vector<std::string>& names) {
  CreateFolder(to);
  bool ok = true;
  for (const std::string& name : names) ok = MoveFile(from / name, to / name) && ok;
  return ok;
}

std::vector<std::string> ReturnBatch(const fs::path& batch, const fs::path& folder) {
  std::vector<std::string> renamed;
  std::error_code ec;
  if (!fs::is_directory(batch, ec)) return renamed;
  for (const std::string& name : ListFolder(batch, "*.*", EntryKind::Files)) {
    const fs::path target = FreeName(folder, name);
    if (!MoveFile(batch / name, target)) continue;  // stays in the batch for the next tick
    if (target.filename() != name) renamed.push_back(name + " -> " + target.filename().string());
  }
  if (ListFolder(batch, "*", EntryKind::Any).empty()) fs::remove(batch, ec);
  return renamed;
}

std::vector<std::pair<std::string, std::string>> LeftBatches() {
  std::vector<std::pair<std::string, std::string>> batches;
  for (const std::string& name : ListFolder(CustomFilesDir(), ".*.batch", EntryKind::Folders)) {
    const std::string item = name.substr(1, name.size() - 7);
    if (!item.empty() && BatchItemName(item) == name) batches.emplace_back(name, item);
  }
  return batches;
}

fs::path FailedFolder(const std::string& item) { return AppDir() / "RipIn" / "Failed" / item; }

fs::path SetAsideFailed(const fs::path& from, const std::string& file, const std::string& item) {
  const fs::path folder = FailedFolder(item);
  if (!CreateFolder(folder)) return {};
  const fs::path target = FreeName(folder, file);
  return MoveFile(from / file, target) ? target : fs::path();
}

}  // namespace qm::gui
