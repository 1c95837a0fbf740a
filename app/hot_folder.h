// Hot folder: the imported image folder whose name contains "hotfolder", which
// the main window's timer prints every 3000 ms.
//
// A file is taken only once it has settled: its size and modification time
// are the same as at the previous tick, so a file still being copied into the
// folder waits for a later tick instead of being printed half-written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm::gui {

inline constexpr int kHotFolderPeriodMs = 3000;

// The name test of a tick: "hotfolder" in any letter case.
bool IsHotFolderName(std::string_view name);

class HotFolderWatch {
 public:
  // Looks at the files of `folder` and returns, in listing order, those whose
  // size and modification time are unchanged since the previous look at the
  // same folder. The first look at a folder returns none.
  std::vector<std::string> Settled(const std::filesystem::path& folder);
  void Reset();

 private:
  using Stamp = std::pair<std::uintmax_t, std::filesystem::file_time_type>;
  std::filesystem::path folder_;
  std::map<std::string, Stamp> seen_;
};

// The item folder a tick prints from when some files of the hot folder have
// not settled: the settled files are moved there for the Print command.
// Hidden, and never listed as an item.
std::string BatchItemName(const std::string& item);
// Moves the files `names` from `from` to `to` (created); false when one failed.
bool MoveFiles(const std::filesystem::path& from, const std::filesystem::path& to,
               const std::vector<std::string>& names);
// Moves every file of `batch` back to `folder` and removes `batch`. A file
// whose name a newer file in `folder` has taken meanwhile comes back as
// "name (2).ext" (FreeName), never over it; the names so changed are returned
// as "old -> new".
std::vector<std::string> ReturnBatch(const std::filesystem::path& batch, const std::filesystem::path& folder);

// Where a hot folder's files that failed to print go: RipIn/Failed/<item>/,
// which is no item of the Image List.
std::filesystem::path FailedFolder(const std::string& item);
// Moves `file` of `from` into FailedFolder(item) under a free name; the new
// path, empty when the move failed.
std::filesystem::path SetAsideFailed(const std::filesystem::path& from, const std::string& file,
                                     const std::string& item);

}  // namespace qm::gui
