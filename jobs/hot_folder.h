// Hot folder: the imported image folder whose name contains "hotfolder", which
// a tick (jobs/hot_folder_tick.h) prints every 3000 ms: the main window's
// timer or quillmark-cli watch.
//
// A symbolic link is never taken: the tick sets it aside (SetAsideLink).
// A file is taken only once it has settled: its size and modification time
// have been the same at three looks in a row (two ticks without a change),
// and no process is writing it (platform/open_writers.h). A copy that pauses
// with its file open, as network copies do, waits however long it pauses.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/open_writers.h"

namespace qm {

inline constexpr int kHotFolderPeriodMs = 3000;

// The name test of a tick: "hotfolder" in any letter case; a name without
// it stops the hot folder with this message.
bool IsHotFolderName(std::string_view name);
inline constexpr const char* kNameNeedsHotfolder = "Custom file name should contain \"hotfolder\" !";

inline constexpr int kSettledLooks = 3;  // the same stamp at this many looks in a row

class HotFolderWatch {
 public:
  // Looks at the files of `folder` and returns, in listing order, those that
  // have settled: the same size and modification time at kSettledLooks looks
  // at the same folder in a row, at none of which a writer had the file.
  std::vector<std::string> Settled(const std::filesystem::path& folder);
  void Reset();

 private:
  using Stamp = std::pair<std::uintmax_t, std::filesystem::file_time_type>;
  struct Seen {
    Stamp stamp;
    int looks = 1;  // in a row with this stamp and no writer
  };
  std::filesystem::path folder_;
  std::unique_ptr<FolderWriters> writers_;
  std::map<std::string, Seen> seen_;
};

// A tick prints from the item's batch folder (BatchItemName,
// jobs/commands.h): the settled files are moved there for the Print
// command, so a file dropped meanwhile under the same name is a new file
// beside it, never written into the one being printed.
// Moves the files `names` from `from` to `to` (created); false when one failed.
bool MoveFiles(const std::filesystem::path& from, const std::filesystem::path& to,
               const std::vector<std::string>& names);
// Where a hot folder's files that failed to print go: RipIn/Failed/<item>/,
// which is no item of the Image List.
std::filesystem::path FailedFolder(const std::string& item);
// Moves `file` of `from` into FailedFolder(item) under a free name; the new
// path, empty when the move failed.
std::filesystem::path SetAsideFailed(const std::filesystem::path& from, const std::string& file,
                                     const std::string& item);

// The symbolic links among the entries of `folder`, sorted. A link in a hot
// folder is never followed: its target may be any file of the machine.
std::vector<std::string> SymbolicLinks(const std::filesystem::path& folder);
// Moves the link itself into FailedFolder(item) under a free name (its
// target is neither read, moved nor deleted); the new path, empty when the
// move failed.
std::filesystem::path SetAsideLink(const std::filesystem::path& from, const std::string& link,
                                   const std::string& item);

}  // namespace qm
